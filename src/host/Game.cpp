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
#include "duktape/Duktape.h"
#include "platform/Clock.h"
#include "platform/Events.h"
#include "platform/MessageBox.h"
#include "render/Renderer.h"
#include "sound/SoundFont.h"
#include "sound/SoundStartup.h"
#include "script/Binding.h"
#include "script/ScriptHost.h"
#include "walk/BackdropPicture.h"
#include "walk/Walker.h"
#include "win/GameWindow.h"
#include "win/PropWindow.h"

namespace ove {

static CGame* g_game = nullptr;
CGame* GetGame() { return g_game; }
void SetGame(CGame* game) {
    g_game = game;
    SetGUIHost(game);
}

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

CGame::CGame() = default;

CGame::~CGame() {
    StopScriptHost();
    // The process outlives the game (tests run many): its folders and clock go with it.
    FileAccess().Reset();
    SetVirtualClock(false);
    // Sprites hold views, whose textures go back to the renderer: before Cleanup.
    DeleteSprites();
    // Elements hold fonts: before the default font and the renderer go.
    DeleteGUIElements();
    if (defaultFont) {
        // The host's own reference, then the cache's entry (teardown releases the default font).
        defaultFont->Release();
        if (resources) resources->ForgetFont(defaultFont);
        defaultFont = nullptr;
    }
    Cleanup();
    if (window) window->AttachGame(nullptr);  // the window keeps no pointer to the game
    delete window;
    window = nullptr;
    viewport = nullptr;
    if (g_game == this) g_game = nullptr;
    if (GetGUIHost() == this) SetGUIHost(nullptr);
}

void CGame::Cleanup() {
    delete timer;
    timer = nullptr;
    bool hadRenderer = renderer != nullptr;
    if (renderer) renderer->Shutdown();
    delete renderer;
    renderer = nullptr;
    // Give the display a moment to switch back from full screen.
    if (hadRenderer && fullScreen && !HeadlessMessageBoxes()) std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    delete resources;
    resources = nullptr;
    // After the cache, which hands its sounds back to the manager.
    delete sound;
    sound = nullptr;
    delete folder;
    folder = nullptr;
    delete backdrop;
    backdrop = nullptr;
    delete walker;
    walker = nullptr;
}

void CGame::ShowError(const std::string& text, bool owned) {
    ShowMessageBox("Error", text, BoxIcon::Error, owned && window ? window->GetHandle() : nullptr);
}

bool CGame::Startup() {
    try {
        Cleanup();
        FileAccess().Reset();  // the previous game's folders are not this one's
        SetVirtualClock(fixedStep);
        timer = new CTimer();
        // A fixed seed makes a run repeat: the engine's Random and the scripts' Math.random.
        if (!seedGiven && fixedStep && recordPath.empty()) seedGiven = true;  // seed 0
        if (!seedGiven) seed = SDL_GetTicks();
        std::srand(seed);
        if (seedGiven || fixedStep) OveSeedScriptRandom(seed);

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
        SSourceChoice choice = ChooseSource(archives, directories, archiveOption, directoryOption, ask, &notes);
        std::fputs(notes.c_str(), stderr);
        if (choice.cancelled) {
            Cleanup();
            return false;
        }
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
        if (forcedWindowWidth > 0 && forcedWindowHeight > 0) {
            // A replay's events are in the recorded window's coordinates.
            settings.windowWidth = forcedWindowWidth;
            settings.windowHeight = forcedWindowHeight;
        }
        if (std::string problem = SizeProblem(settings); !problem.empty()) throw SHostError(problem);
        scriptName = settings.scriptName;
        fontName = settings.fontName;
        fullScreen = settings.fullScreen ? 1 : 0;

        window = new CGameWindow();
        std::string why;
        if (!window->Create(&CRenderer::PrepareWindowAttributes, &why, settings.windowWidth, settings.windowHeight) ||
            !window->GetHandle()) {
            if (!why.empty()) std::fprintf(stderr, "ove: %s\n", why.c_str());
            throw SHostError("Couldn't create window");
        }
        window->AttachGame(this);
        if (settings.flexible) window->SetMinClientSize(settings.gameWidth, settings.gameHeight);
        else window->SetMinClientSize(settings.windowWidth, settings.windowHeight);
        window->SetClientSize(settings.windowWidth, settings.windowHeight);
        window->SetTitle(settings.title);
        viewport = window->GetViewport();
        KeepWindowOnMonitor();

        walker = new CWalker();

        SetGame(this);

        renderer = new CRenderer();
        renderer->Initialise(window->GetHandle());
        renderer->SetFullscreen(false);
        renderer->SetFlexibleResolution(settings.flexible);
        if (settings.flexible) renderer->SetGameSize(settings.windowWidth, settings.windowHeight);
        else renderer->SetGameSize(settings.gameWidth, settings.gameHeight);
        if (!renderer->Create()) throw SHostError(renderer->GetErrorMessage());
        if (!screenshotPath.empty()) renderer->EnableFrameCapture(true);
        window->UpdateLayout();

        sound = CreateSoundManager(FindSoundFont(settings.soundFont)).release();

        folder = source.release();
        resources = new CResourceCache(renderer, sound, folder);
        ConfineFiles();
        if (!recordPath.empty()) {
            char header[96];
            std::snprintf(header, sizeof header, "seed %u\nwindow %d %d\n", static_cast<unsigned>(seed),
                          static_cast<int>(settings.windowWidth), static_cast<int>(settings.windowHeight));
            std::string why;
            if (!StartInputRecording(recordPath, header, &why)) throw SHostError("Couldn't record the input: " + why);
        }
        if (!turnShots.empty() && renderer) renderer->EnableFrameCapture(true);
        return true;
    } catch (const std::exception& e) {
        Cleanup();
        failed = true;
        ShowError(e.what(), false);
        return false;
    }
}

bool CGame::InitGame(const std::string& commandLine) {
    try {
        if (timer) timer->Mark();
        params_ = commandLine;
        mouseButtons = 0;
        keyCount = 0;

        LoadDefaultFont();

        StartScriptHost(this);
        if (duk_context* ctx = ScriptContext()) {
            DefineGlobalString(ctx, "PARAMS", commandLine.c_str());
            DefineGlobalNumber(ctx, "WIDTH", renderer ? renderer->GetWidth() : 0);
            DefineGlobalNumber(ctx, "HEIGHT", renderer ? renderer->GetHeight() : 0);
            DefineGlobalString(ctx, "FOLDER_APPDATA", AppDataFolder().c_str());
            DefineGlobalString(ctx, "FOLDER_LOCAL_APPDATA", LocalAppDataFolder().c_str());
            DefineGlobalString(ctx, "FOLDER_MY_DOCUMENTS", DocumentsFolder().c_str());
        }

        std::unique_ptr<CDataBin> main(resources ? resources->OpenResource(scriptName, "OVS") : nullptr);
        if (!main) {
            TellWhereMainScriptWasSought();
            throw SHostError("Couldn't load main script");
        }
        std::vector<u8> bytes = ReadAll(*main);
        main.reset();
        // Named after its file, so that errors and stacks say "main.ovs:12".
        std::string mainFile = resources->ResourceFileName(scriptName, "OVS");
        SRunResult loaded = RunSource(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                                      mainFile.c_str());
        if (loaded.running && !loaded.ok) throw SHostError(loaded.error);

        SRunResult init = RunSource("Init ()", "CGame::InitGame ()");
        if (!init.running) throw SHostError("Unable to call Init()");
        if (!init.ok) throw SHostError(init.error);

        if (window) window->Show(EShow::ShowNormal);
        if (fullScreen && renderer) renderer->SetFullscreen(true);
        return true;
    } catch (const std::exception& e) {
        failed = true;
        ShowError(e.what());
        StopScriptHost();
        DeleteSprites();
        Cleanup();
        return false;
    }
}

void CGame::Run() {
    // --frames 0: the window is closed before the first frame.
    if (frameLimit == 0 && window) PostWindowClose(window->GetHandle());
    SRunResult run = RunSource("Run ()", "CGame::Run");
    if (run.running && run.ok) return;
    failed = true;
    ShowError(run.running ? run.error : "Unable to call Run()");
}

bool CGame::MessagePump(unsigned, unsigned) {
    // The script has returned to the engine; handlers reached from the pump get their own time.
    NoteEngineContact();
    bool open = PumpEvents();
    NoteEngineContact();
    if (open) return true;
    SRunResult quit = RunSource("Quit ()", "CGame::MessagePump");
    if (!quit.running) {
        ShowError("Unable to call Quit()", false);
    } else if (!quit.ok) {
        // Reached from inside the script's Run(): the native caller re-raises it so that Run() ends.
        SetPendingFatal(quit.error);
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
    access.SetTrustReads(trustGame);
    for (const std::string& player : {AppDataFolder(), LocalAppDataFolder()}) {
        access.AddFolder(player);
        RemoveStaleTemporaries(player, 4);  // saves cut short by a killed engine
    }
    access.AddFolder(DocumentsFolder());
}

void CGame::LoadDefaultFont() {
    if (!resources || fontName.empty()) return;
    defaultFont = resources->LoadFont(fontName);
    if (defaultFont) defaultFont->AddRef();
}

void CGame::KeepWindowOnMonitor() {
    SDL_Window* handle = window ? window->GetHandle() : nullptr;
    if (!handle) return;
    SDL_Rect work;
    int display = SDL_GetWindowDisplayIndex(handle);
    if (SDL_GetDisplayUsableBounds(display < 0 ? 0 : display, &work) != 0) return;
    SWindowRect w = window->GetWindowRect();
    SScreenOffset d = KeepOnMonitorOffset({w.x, w.y, w.x + w.width, w.y + w.height},
                                          {work.x, work.y, work.x + work.w, work.y + work.h});
    if (d.dx || d.dy) window->MoveBy(d.dx, d.dy);
}

// ---------------------------------------------------------------- window input

void CGame::ToggleFullScreen() {
    fullScreen = fullScreen ? 0 : 1;
    if (renderer) renderer->SetFullscreen(fullScreen != 0);
    else if (window) window->SetFullScreenStyle(fullScreen != 0);
}

void CGame::ViewportChanged(int32_t x, int32_t y, int32_t width, int32_t height) {
    if (renderer) renderer->SetViewportRect(x, y, width, height);
}

int32_t CGame::GetGameWidth() const { return renderer ? renderer->GetWidth() : 0; }
int32_t CGame::GetGameHeight() const { return renderer ? renderer->GetHeight() : 0; }
bool CGame::IsFlexibleResolution() const { return renderer && renderer->IsFlexibleResolution(); }
bool CGame::HasCursorObject() const { return renderer && renderer->GetCursor() != nullptr; }

bool CGame::SaveScreenshot() {
    if (screenshotPath.empty()) return true;
    if (!renderer || !renderer->HasDevice()) {
        std::fprintf(stderr, "ove: no frame was rendered; %s not written\n", screenshotPath.c_str());
        return false;
    }
    if (!renderer->SaveScreenshot(screenshotPath)) {
        std::fprintf(stderr, "ove: could not write screenshot %s\n", screenshotPath.c_str());
        return false;
    }
    return true;
}

void CGame::TellWhereMainScriptWasSought() const {
    std::error_code ec;
    std::string cwd = std::filesystem::current_path(ec).string();
    std::string archiveOnDisk = FindOnDisk(archiveName_);
    std::string text = DescribeSearch(scriptName + ".OVS", cwd, directoryName_, IsDirectory(directoryName_),
                                      IsDirectory("Library"), archiveName_,
                                      !archiveOnDisk.empty() && !IsDirectory(archiveOnDisk));
    std::fputs(text.c_str(), stderr);
}

}  // namespace ove
