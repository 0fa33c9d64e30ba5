#include "Game.h"

#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <thread>

#include "io/FileAccess.h"
#include "io/FileFolder.h"
#include "data/SafeFile.h"
#include "data/PackedArchive.h"
#include "resources/ResourceCache.h"
#include "resources/View.h"
#include "data/ZIPFile.h"
#include "host/Settings.h"
#include "host/SourceChoice.h"
#include "host/UserFolders.h"
#include "platform/Clock.h"
#include "platform/Events.h"
#include "platform/MessageBox.h"
#include "render/Renderer.h"
#include "scene/Sprite.h"
#include "sound/SoundFont.h"
#include "sound/SoundStartup.h"
#include "walk/BackdropPicture.h"
#include "walk/Walker.h"
#include "win/GameWindow.h"
#include "win/PropWindow.h"

namespace ove {

namespace {

// Messages the host raises; caught at the edge of Startup, InitGame, Run and MessagePump.
struct SHostError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The "Select source" dialog: one combo-box row per kind of source that needs a choice.
bool AskForSource(const std::vector<std::string>* archiveTitles, const std::vector<std::string>* directoryTitles,
                  int& archiveIndex, int& directoryIndex) {
    auto dialog = std::make_unique<CPropWindow>(nullptr, "Select source");
    int archiveRow = 0, directoryRow = 0;
    auto addRow = [&](const char* label, const std::vector<std::string>& titles) {
        int row = dialog->AddComboBox(label, false);
        for (size_t i = 0; i < titles.size(); ++i) dialog->AddItem(titles[i], i == 0);
        return row;
    };
    if (archiveTitles) archiveRow = addRow("Packed archive", *archiveTitles);
    if (directoryTitles) directoryRow = addRow("Directory", *directoryTitles);
    if (!dialog->ShowModal()) {
        if (dialog->CouldNotShow()) throw SHostError("Couldn't create window");
        return false;
    }
    if (archiveRow) archiveIndex = dialog->GetSelection(archiveRow);
    if (directoryRow) directoryIndex = dialog->GetSelection(directoryRow);
    return true;
}

}  // namespace

// ---------------------------------------------------------------- timer

CTimer::CTimer() { Mark(); }

void CTimer::Mark() { mark_ = ClockSeconds(); }

float CTimer::Elapsed() const { return static_cast<float>(ClockSeconds() - mark_); }

// ---------------------------------------------------------------- lifecycle

CGame::CGame(std::unique_ptr<IScriptRuntime> runtime, SRunOptions options)
    : runtime_(std::move(runtime)), options_(std::move(options)),
      backdrop_(std::make_unique<CBackdropState>(renderer_, resources_)),
      gui_(std::make_unique<CGUIRoot>(renderer_, runtime_.get())),
      sprites_(std::make_unique<CSpriteList>(*this, renderer_, *backdrop_, runtime_.get())) {
    // Elements made from now on join this game's GUI.
    SetGUIHost(gui_.get());
}

CGame::~CGame() {
    if (runtime_) runtime_->Stop();
    // The process outlives the game (tests run many): its folders and clock go with it.
    FileAccess().Reset();
    SetVirtualClock(false);
    // Sprites hold views, whose textures go back to the renderer.
    sprites_->DeleteAll();
    // Elements hold fonts: before the default font and the renderer go.
    gui_->DeleteAll();
    gui_->SetDefaultFont(nullptr);
    if (defaultFont_) {
        // The host's own reference, then the cache's entry (teardown releases the default font).
        defaultFont_->Release();
        if (resources_) resources_->ForgetFont(defaultFont_);
        defaultFont_ = nullptr;
    }
    StopRenderer();
    if (window_) window_->AttachGame(nullptr);  // the window keeps no pointer to the game
    if (GetGUIHost() == gui_.get()) SetGUIHost(nullptr);
    // The members go in reverse order of declaration: the cache before the sound manager it hands
    // sounds back to, the window last.
}

void CGame::StopRenderer() {
    if (!renderer_) return;
    renderer_->Shutdown();
    renderer_.reset();
    // Give the display a moment to switch back from full screen.
    if (fullScreen_ && !HeadlessMessageBoxes()) std::this_thread::sleep_for(std::chrono::milliseconds(1000));
}

void CGame::PlaceBackdrop(std::unique_ptr<CBackdropPicture> picture, int32_t shownWidth, int32_t shownHeight,
                          int32_t priorityHeight, const std::string& name) {
    backdrop_->Place(std::move(picture), shownWidth, shownHeight, priorityHeight, name);
}

std::unique_ptr<CBackdropPicture> CGame::TakeBackdrop() { return backdrop_->Take(); }

void CGame::Install(std::unique_ptr<CFileFolder> source) { folder_ = std::move(source); }
void CGame::Install(std::unique_ptr<CResourceCache> cache) { resources_ = std::move(cache); }
void CGame::Install(std::unique_ptr<CRenderer> made) { renderer_ = std::move(made); }
void CGame::Install(std::unique_ptr<CSoundManager> manager) { sound_ = std::move(manager); }

bool CGame::StartScript() {
    return runtime_ && runtime_->Start(static_cast<IEngineServices*>(this));
}

void CGame::ShowError(const std::string& text, bool owned) {
    ShowMessageBox("Error", text, BoxIcon::Error, owned && window_ ? window_->GetHandle() : nullptr);
}

bool CGame::Startup() {
    try {
        FileAccess().Reset();  // the previous game's folders are not this one's
        SetVirtualClock(options_.fixedStep);
        timer_ = std::make_unique<CTimer>();
        // A fixed seed makes a run repeat: the engine's Random and the scripts' Math.random.
        if (!options_.seedGiven && options_.fixedStep && options_.recordPath.empty()) options_.seedGiven = true;  // seed 0
        if (!options_.seedGiven) options_.seed = SDL_GetTicks();
        std::srand(options_.seed);
        if ((options_.seedGiven || options_.fixedStep) && runtime_) runtime_->SeedRandom(options_.seed);

        const std::string& password = PackedArchivePassword();
        auto openArchive = [&password](const std::string& name) -> CFileFolder* {
            auto* zip = new CZIPFile(name);
            zip->SetSignature(PackedArchiveSignature());
            zip->SetPassword(password);
            return zip;
        };

        SourceMap archives, directories;
        SurveyCurrentDirectory(openArchive, archives, directories);
        // Headless runs have nobody to ask: the first game of each kind, said on standard error.
        SourceAsker ask;
        if (!HeadlessMessageBoxes()) ask = AskForSource;
        std::string notes;
        SSourceChoice choice = ChooseSource(archives, directories, options_.archiveOption, options_.directoryOption, ask, &notes);
        std::fputs(notes.c_str(), stderr);
        if (choice.cancelled) return false;
        archiveName_ = choice.archiveName;
        directoryName_ = choice.directoryName;

        std::unique_ptr<CCompoundFolder> source(BuildDataSource(archiveName_, directoryName_, openArchive));

        SStartupSettings settings;
        ReadSettings(*source, settings);
        if (settings.settingsRead) {
            SDL_Rect work{0, 0, 1024, 768};
            if (SDL_GetDisplayUsableBounds(0, &work) != 0) SDL_GetDisplayBounds(0, &work);
            ResolveWindowSize(settings, work.w, work.h);
        }
        if (options_.forcedWindowWidth > 0 && options_.forcedWindowHeight > 0) {
            // A replay's events are in the recorded window's coordinates.
            settings.windowWidth = options_.forcedWindowWidth;
            settings.windowHeight = options_.forcedWindowHeight;
        }
        if (std::string problem = SizeProblem(settings); !problem.empty()) throw SHostError(problem);
        scriptName_ = settings.scriptName;
        fontName_ = settings.fontName;
        fullScreen_ = settings.fullScreen ? 1 : 0;

        window_ = std::make_unique<CGameWindow>();
        std::string why;
        if (!window_->Create(&CRenderer::PrepareWindowAttributes, &why, settings.windowWidth, settings.windowHeight) ||
            !window_->GetHandle()) {
            if (!why.empty()) std::fprintf(stderr, "ove: %s\n", why.c_str());
            throw SHostError("Couldn't create window");
        }
        window_->AttachGame(this);
        if (settings.flexible) window_->SetMinClientSize(settings.gameWidth, settings.gameHeight);
        else window_->SetMinClientSize(settings.windowWidth, settings.windowHeight);
        window_->SetClientSize(settings.windowWidth, settings.windowHeight);
        window_->SetTitle(settings.title);
        viewport_ = window_->GetViewport();
        KeepWindowOnMonitor();


        renderer_ = std::make_unique<CRenderer>();
        renderer_->Initialise(window_->GetHandle());
        renderer_->SetFullscreen(false);
        renderer_->SetFlexibleResolution(settings.flexible);
        if (settings.flexible) renderer_->SetGameSize(settings.windowWidth, settings.windowHeight);
        else renderer_->SetGameSize(settings.gameWidth, settings.gameHeight);
        if (!renderer_->Create()) throw SHostError(renderer_->GetErrorMessage());
        if (!options_.screenshotPath.empty()) renderer_->EnableFrameCapture(true);
        window_->UpdateLayout();

        sound_ = CreateSoundManager(FindSoundFont(settings.soundFont));

        folder_ = std::move(source);
        resources_ = std::make_unique<CResourceCache>(renderer_.get(), sound_.get(), folder_.get());
        ConfineFiles();
        if (!options_.recordPath.empty()) {
            char header[96];
            std::snprintf(header, sizeof header, "seed %u\nwindow %d %d\n", static_cast<unsigned>(options_.seed),
                          static_cast<int>(settings.windowWidth), static_cast<int>(settings.windowHeight));
            std::string why;
            if (!StartInputRecording(options_.recordPath, header, &why)) throw SHostError("Couldn't record the input: " + why);
        }
        if (!options_.turnShots.empty() && renderer_) renderer_->EnableFrameCapture(true);
        return true;
    } catch (const std::exception& e) {
        StopRenderer();
        failed_ = true;
        ShowError(e.what(), false);
        return false;
    }
}

bool CGame::InitGame(const std::string& commandLine) {
    try {
        if (timer_) timer_->Mark();
        params_ = commandLine;
        mouseButtons_ = 0;
        keyCount_ = 0;

        LoadDefaultFont();

        if (StartScript()) {
            runtime_->DefineGlobal("PARAMS", commandLine);
            runtime_->DefineGlobal("WIDTH", renderer_ ? renderer_->GetWidth() : 0);
            runtime_->DefineGlobal("HEIGHT", renderer_ ? renderer_->GetHeight() : 0);
            runtime_->DefineGlobal("FOLDER_APPDATA", AppDataFolder());
            runtime_->DefineGlobal("FOLDER_LOCAL_APPDATA", LocalAppDataFolder());
            runtime_->DefineGlobal("FOLDER_MY_DOCUMENTS", DocumentsFolder());
        }

        std::unique_ptr<CDataBin> main(resources_ ? resources_->OpenResource(scriptName_, "OVS") : nullptr);
        if (!main) {
            TellWhereMainScriptWasSought();
            throw SHostError("Couldn't load main script");
        }
        std::vector<u8> bytes = ReadAll(*main);
        main.reset();
        // Named after its file, so that errors and stacks say "main.ovs:12".
        std::string mainFile = resources_->ResourceFileName(scriptName_, "OVS");
        if (!runtime_) throw SHostError("Unable to call Init()");
        SRunResult loaded = runtime_->RunFile(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), mainFile.c_str());
        if (loaded.running && !loaded.ok) throw SHostError(loaded.error);

        SRunResult init = runtime_->CallGlobal("Init");
        if (!init.running) throw SHostError("Unable to call Init()");
        if (!init.ok) throw SHostError(init.error);

        if (window_) window_->Show(EShow::ShowNormal);
        if (fullScreen_ && renderer_) renderer_->SetFullscreen(true);
        return true;
    } catch (const std::exception& e) {
        failed_ = true;
        ShowError(e.what());
        if (runtime_) runtime_->Stop();
        sprites_->DeleteAll();
        StopRenderer();
        return false;
    }
}

void CGame::Run() {
    // --frames 0: the window is closed before the first frame.
    if (options_.frameLimit == 0 && window_) PostWindowClose(window_->GetHandle());
    SRunResult run = runtime_ ? runtime_->CallGlobal("Run") : SRunResult{};
    if (run.running && run.ok) return;
    failed_ = true;
    ShowError(run.running ? run.error : "Unable to call Run()");
}

bool CGame::MessagePump(unsigned, unsigned) {
    // The script has returned to the engine; handlers reached from the pump get their own time.
    if (runtime_) runtime_->NoteEngineContact();
    bool open = PumpEvents();
    if (runtime_) runtime_->NoteEngineContact();
    if (open) return true;
    SRunResult quit = runtime_ ? runtime_->CallGlobal("Quit") : SRunResult{};
    if (!quit.running) {
        ShowError("Unable to call Quit()", false);
    } else if (!quit.ok) {
        // Reached from inside the script's Run(): the native caller re-raises it so that Run() ends.
        runtime_->SetPendingFatal(quit.error);
    }
    return false;
}

void CGame::ConfineFiles() {
    // The game's folder is where it was started; the player folders are the engine's own.
    CFileAccess& access = FileAccess();
    access.Reset();
    access.SetGameFolder(".");
    // A data folder chosen on the command line may lie elsewhere.
    if (!directoryName_.empty() && IsDirectory(directoryName_)) access.AddFolder(FindOnDisk(directoryName_));
    access.SetTrustReads(options_.trustGame);
    for (const std::string& player : {AppDataFolder(), LocalAppDataFolder()}) {
        access.AddFolder(player);
        RemoveStaleTemporaries(player, 4);  // saves cut short by a killed engine
    }
    access.AddFolder(DocumentsFolder());
}

void CGame::LoadDefaultFont() {
    if (!resources_ || fontName_.empty()) return;
    defaultFont_ = resources_->LoadFont(fontName_);
    if (defaultFont_) defaultFont_->AddRef();
    gui_->SetDefaultFont(defaultFont_);
}

void CGame::KeepWindowOnMonitor() {
    SDL_Window* handle = window_ ? window_->GetHandle() : nullptr;
    if (!handle) return;
    SDL_Rect work;
    int display = SDL_GetWindowDisplayIndex(handle);
    if (SDL_GetDisplayUsableBounds(display < 0 ? 0 : display, &work) != 0) return;
    SWindowRect w = window_->GetWindowRect();
    SScreenOffset d = KeepOnMonitorOffset({w.x, w.y, w.x + w.width, w.y + w.height},
                                          {work.x, work.y, work.x + work.w, work.y + work.h});
    if (d.dx || d.dy) window_->MoveBy(d.dx, d.dy);
}

const char* CGame::GetHotspot(int32_t x, int32_t y) const {
    if (CSprite* sprite = sprites_->HitAt(x, y)) return sprite->GetName();
    return backdrop_->HotspotAt(x, y);
}

void CGame::SetTitle(const std::string& title) {
    if (window_) window_->SetTitle(title);
}

void CGame::GoFullScreen() {
    fullScreen_ = 1;
    if (renderer_) renderer_->SetFullscreen(true);
}


// ---------------------------------------------------------------- window input

void CGame::ToggleFullScreen() {
    fullScreen_ = fullScreen_ ? 0 : 1;
    if (renderer_) renderer_->SetFullscreen(fullScreen_ != 0);
    else if (window_) window_->SetFullScreenStyle(fullScreen_ != 0);
}

void CGame::ViewportChanged(int32_t x, int32_t y, int32_t width, int32_t height) {
    if (renderer_) renderer_->SetViewportRect(x, y, width, height);
}

int32_t CGame::GetGameWidth() const { return renderer_ ? renderer_->GetWidth() : 0; }
int32_t CGame::GetGameHeight() const { return renderer_ ? renderer_->GetHeight() : 0; }
bool CGame::IsFlexibleResolution() const { return renderer_ && renderer_->IsFlexibleResolution(); }
bool CGame::HasCursorObject() const { return renderer_ && renderer_->GetCursor() != nullptr; }

bool CGame::SaveScreenshot() {
    const std::string& path = options_.screenshotPath;
    if (path.empty()) return true;
    if (!renderer_ || !renderer_->HasDevice()) {
        std::fprintf(stderr, "ove: no frame was rendered; %s not written\n", path.c_str());
        return false;
    }
    if (!renderer_->SaveScreenshot(path)) {
        std::fprintf(stderr, "ove: could not write screenshot %s\n", path.c_str());
        return false;
    }
    return true;
}

void CGame::TellWhereMainScriptWasSought() const {
    std::error_code ec;
    std::string cwd = std::filesystem::current_path(ec).string();
    std::string archiveOnDisk = FindOnDisk(archiveName_);
    std::string text = DescribeSearch(scriptName_ + ".OVS", cwd, directoryName_, IsDirectory(directoryName_),
                                      IsDirectory("Library"), archiveName_,
                                      !archiveOnDisk.empty() && !IsDirectory(archiveOnDisk));
    std::fputs(text.c_str(), stderr);
}

}  // namespace ove
