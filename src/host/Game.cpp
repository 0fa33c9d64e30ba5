#include "Game.h"

#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <thread>

#include "data/PackedArchive.h"
#include "data/SafeFile.h"
#include "data/ZIPFile.h"
#include "host/Settings.h"
#include "host/SourceChoice.h"
#include "host/UserFolders.h"
#include "io/FileAccess.h"
#include "io/FileFolder.h"
#include "platform/Clock.h"
#include "platform/Events.h"
#include "platform/MessageBox.h"
#include "render/Renderer.h"
#include "resources/ResourceCache.h"
#include "resources/View.h"
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

void CTimer::Mark() { m_mark = ClockSeconds(); }

float CTimer::Elapsed() const { return static_cast<float>(ClockSeconds() - m_mark); }

// ---------------------------------------------------------------- lifecycle

CGame::CGame(std::unique_ptr<IScriptRuntime> runtime, SRunOptions options)
    : m_runtime(std::move(runtime)),
      m_options(std::move(options)),
      m_backdrop(std::make_unique<CBackdropState>(m_renderer, m_resources)),
      m_gui(std::make_unique<CGUIRoot>(m_renderer, m_runtime.get())),
      m_sprites(std::make_unique<CSpriteList>(*this, m_renderer, *m_backdrop, m_runtime.get())) {
    // Elements made from now on join this game's GUI.
    SetGUIHost(m_gui.get());
}

CGame::~CGame() {
    if (m_runtime) m_runtime->Stop();
    // The process outlives the game (tests run many): its folders and clock go with it.
    FileAccess().Reset();
    SetVirtualClock(false);
    // Sprites hold views, whose textures go back to the renderer.
    m_sprites->DeleteAll();
    // Elements hold fonts: before the default font and the renderer go.
    m_gui->DeleteAll();
    m_gui->SetDefaultFont(nullptr);
    if (m_defaultFont) {
        // The host's own reference, then the cache's entry (teardown releases the default font).
        m_defaultFont->Release();
        if (m_resources) m_resources->ForgetFont(m_defaultFont);
        m_defaultFont = nullptr;
    }
    StopRenderer();
    if (m_window) m_window->AttachGame(nullptr);  // the window keeps no pointer to the game
    if (GetGUIHost() == m_gui.get()) SetGUIHost(nullptr);
    // The members go in reverse order of declaration: the cache before the sound manager it hands
    // sounds back to, the window last.
}

void CGame::StopRenderer() {
    if (!m_renderer) return;
    m_renderer->Shutdown();
    m_renderer.reset();
    // Give the display a moment to switch back from full screen.
    if (m_fullScreen && !HeadlessMessageBoxes()) std::this_thread::sleep_for(std::chrono::milliseconds(1000));
}

void CGame::PlaceBackdrop(std::unique_ptr<CBackdropPicture> picture, int32_t shownWidth, int32_t shownHeight,
                          int32_t priorityHeight, const std::string& name) {
    m_backdrop->Place(std::move(picture), shownWidth, shownHeight, priorityHeight, name);
}

std::unique_ptr<CBackdropPicture> CGame::TakeBackdrop() { return m_backdrop->Take(); }

void CGame::Install(std::unique_ptr<CFileFolder> source) { m_folder = std::move(source); }
void CGame::Install(std::unique_ptr<CResourceCache> cache) { m_resources = std::move(cache); }
void CGame::Install(std::unique_ptr<CRenderer> made) { m_renderer = std::move(made); }
void CGame::Install(std::unique_ptr<CSoundManager> manager) { m_sound = std::move(manager); }

bool CGame::StartScript() { return m_runtime && m_runtime->Start(static_cast<IEngineServices*>(this)); }

void CGame::ShowError(const std::string& text, bool owned) {
    ShowMessageBox("Error", text, BoxIcon::Error, owned && m_window ? m_window->GetHandle() : nullptr);
}

bool CGame::Startup() {
    try {
        FileAccess().Reset();  // the previous game's folders are not this one's
        SetVirtualClock(m_options.fixedStep);
        m_timer = std::make_unique<CTimer>();
        // A fixed seed makes a run repeat: the engine's Random and the scripts' Math.random.
        if (!m_options.seedGiven && m_options.fixedStep && m_options.recordPath.empty())
            m_options.seedGiven = true;  // seed 0
        if (!m_options.seedGiven) m_options.seed = SDL_GetTicks();
        std::srand(m_options.seed);
        if ((m_options.seedGiven || m_options.fixedStep) && m_runtime) m_runtime->SeedRandom(m_options.seed);

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
        if (!HeadlessMessageBoxes() && m_options.askForSource) ask = AskForSource;
        std::string notes;
        SSourceChoice choice = ChooseSource(archives, directories, m_options.archiveOption, m_options.directoryOption,
                                            ask, &notes);
        std::fputs(notes.c_str(), stderr);
        if (choice.cancelled) return false;
        m_archiveName = choice.archiveName;
        m_directoryName = choice.directoryName;

        std::unique_ptr<CCompoundFolder> source(BuildDataSource(m_archiveName, m_directoryName, openArchive));

        SStartupSettings settings;
        ReadSettings(*source, settings);
        if (settings.settingsRead) {
            SDL_Rect work{0, 0, 1024, 768};
            if (SDL_GetDisplayUsableBounds(0, &work) != 0) SDL_GetDisplayBounds(0, &work);
            ResolveWindowSize(settings, work.w, work.h);
        }
        if (m_options.forcedWindowWidth > 0 && m_options.forcedWindowHeight > 0) {
            // A replay's events are in the recorded window's coordinates.
            settings.windowWidth = m_options.forcedWindowWidth;
            settings.windowHeight = m_options.forcedWindowHeight;
        }
        if (std::string problem = SizeProblem(settings); !problem.empty()) throw SHostError(problem);
        m_scriptName = settings.scriptName;
        m_fontName = settings.fontName;
#ifdef __EMSCRIPTEN__
        // A page may go full screen only on the player's gesture: its own button does.
        m_fullScreen = 0;
#else
        m_fullScreen = settings.fullScreen ? 1 : 0;
#endif

        m_window = std::make_unique<CGameWindow>();
        std::string why;
        if (!m_window->Create(&CRenderer::PrepareWindowAttributes, &why, settings.windowWidth, settings.windowHeight) ||
            !m_window->GetHandle()) {
            if (!why.empty()) std::fprintf(stderr, "ove: %s\n", why.c_str());
            throw SHostError("Couldn't create window");
        }
        m_window->AttachGame(this);
        if (settings.flexible) m_window->SetMinClientSize(settings.gameWidth, settings.gameHeight);
        else m_window->SetMinClientSize(settings.windowWidth, settings.windowHeight);
        m_window->SetClientSize(settings.windowWidth, settings.windowHeight);
        m_window->SetTitle(settings.title);
        m_viewport = m_window->GetViewport();
        KeepWindowOnMonitor();

        m_renderer = std::make_unique<CRenderer>();
        m_renderer->Initialise(m_window->GetHandle());
        m_renderer->SetFullscreen(false);
        m_renderer->SetFlexibleResolution(settings.flexible);
        if (settings.flexible) m_renderer->SetGameSize(settings.windowWidth, settings.windowHeight);
        else m_renderer->SetGameSize(settings.gameWidth, settings.gameHeight);
        if (!m_renderer->Create()) throw SHostError(m_renderer->GetErrorMessage());
        if (!m_options.screenshotPath.empty()) m_renderer->EnableFrameCapture(true);
        m_window->UpdateLayout();

        m_sound = CreateSoundManager(FindSoundFont(settings.soundFont));

        m_folder = std::move(source);
        m_resources = std::make_unique<CResourceCache>(m_renderer.get(), m_sound.get(), m_folder.get());
        ConfineFiles();
        if (!m_options.recordPath.empty()) {
            char header[96];
            std::snprintf(header, sizeof header, "seed %u\nwindow %d %d\n", static_cast<unsigned>(m_options.seed),
                          static_cast<int>(settings.windowWidth), static_cast<int>(settings.windowHeight));
            std::string why;
            if (!StartInputRecording(m_options.recordPath, header, &why))
                throw SHostError("Couldn't record the input: " + why);
        }
        if (!m_options.turnShots.empty() && m_renderer) m_renderer->EnableFrameCapture(true);
        return true;
    } catch (const std::exception& e) {
        StopRenderer();
        m_failed = true;
        ShowError(e.what(), false);
        return false;
    }
}

bool CGame::InitGame(const std::string& commandLine) {
    try {
        if (m_timer) m_timer->Mark();
        m_params = commandLine;
        m_mouseButtons = 0;
        m_keyCount = 0;

        LoadDefaultFont();

        if (StartScript()) {
            m_runtime->DefineGlobal("PARAMS", commandLine);
            m_runtime->DefineGlobal("WIDTH", m_renderer ? m_renderer->GetWidth() : 0);
            m_runtime->DefineGlobal("HEIGHT", m_renderer ? m_renderer->GetHeight() : 0);
            m_runtime->DefineGlobal("FOLDER_APPDATA", AppDataFolder());
            m_runtime->DefineGlobal("FOLDER_LOCAL_APPDATA", LocalAppDataFolder());
            m_runtime->DefineGlobal("FOLDER_MY_DOCUMENTS", DocumentsFolder());
        }

        std::unique_ptr<CDataBin> main(m_resources ? m_resources->OpenResource(m_scriptName, "OVS") : nullptr);
        if (!main) {
            TellWhereMainScriptWasSought();
            throw SHostError("Couldn't load main script");
        }
        std::vector<u8> bytes = ReadAll(*main);
        main.reset();
        // Named after its file, so that errors and stacks say "main.ovs:12".
        std::string mainFile = m_resources->ResourceFileName(m_scriptName, "OVS");
        if (!m_runtime) throw SHostError("Unable to call Init()");
        SRunResult loaded = m_runtime->RunFile(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), mainFile.c_str());
        if (loaded.running && !loaded.ok) throw SHostError(loaded.error);

        SRunResult init = m_runtime->CallGlobal("Init");
        if (!init.running) throw SHostError("Unable to call Init()");
        if (!init.ok) throw SHostError(init.error);

        if (m_window) m_window->Show(EShow::ShowNormal);
        if (m_fullScreen && m_renderer) m_renderer->SetFullscreen(true);
        return true;
    } catch (const std::exception& e) {
        m_failed = true;
        ShowError(e.what());
        if (m_runtime) m_runtime->Stop();
        m_sprites->DeleteAll();
        StopRenderer();
        return false;
    }
}

void CGame::Run() {
    // --frames 0: the window is closed before the first frame.
    if (m_options.frameLimit == 0 && m_window) PostWindowClose(m_window->GetHandle());
    SRunResult run = m_runtime ? m_runtime->CallGlobal("Run") : SRunResult{};
    if (run.running && run.ok) return;
    m_failed = true;
    ShowError(run.running ? run.error : "Unable to call Run()");
}

bool CGame::MessagePump(unsigned, unsigned) {
    // The script has returned to the engine; handlers reached from the pump get their own time.
    if (m_runtime) m_runtime->NoteEngineContact();
    bool open = PumpEvents();
    if (m_runtime) m_runtime->NoteEngineContact();
    if (open) return true;
    SRunResult quit = m_runtime ? m_runtime->CallGlobal("Quit") : SRunResult{};
    if (!quit.running) {
        ShowError("Unable to call Quit()", false);
    } else if (!quit.ok) {
        // Reached from inside the script's Run(): the native caller re-raises it so that Run() ends.
        m_runtime->SetPendingFatal(quit.error);
    }
    return false;
}

void CGame::ConfineFiles() {
    // The game's folder is where it was started; the player folders are the engine's own.
    CFileAccess& access = FileAccess();
    access.Reset();
    access.SetGameFolder(".");
    // A data folder chosen on the command line may lie elsewhere.
    if (!m_directoryName.empty() && IsDirectory(m_directoryName)) access.AddFolder(FindOnDisk(m_directoryName));
    access.SetTrustReads(m_options.trustGame);
    for (const std::string& player : {AppDataFolder(), LocalAppDataFolder()}) {
        access.AddFolder(player);
        RemoveStaleTemporaries(player, 4);  // saves cut short by a killed engine
    }
    access.AddFolder(DocumentsFolder());
}

void CGame::LoadDefaultFont() {
    if (!m_resources || m_fontName.empty()) return;
    m_defaultFont = m_resources->LoadFont(m_fontName);
    if (m_defaultFont) m_defaultFont->AddRef();
    m_gui->SetDefaultFont(m_defaultFont);
}

void CGame::KeepWindowOnMonitor() {
    SDL_Window* handle = m_window ? m_window->GetHandle() : nullptr;
    if (!handle) return;
    SDL_Rect work;
    int display = SDL_GetWindowDisplayIndex(handle);
    if (SDL_GetDisplayUsableBounds(display < 0 ? 0 : display, &work) != 0) return;
    SWindowRect w = m_window->GetWindowRect();
    SScreenOffset d = KeepOnMonitorOffset({w.x, w.y, w.x + w.width, w.y + w.height},
                                          {work.x, work.y, work.x + work.w, work.y + work.h});
    if (d.dx || d.dy) m_window->MoveBy(d.dx, d.dy);
}

const char* CGame::GetHotspot(int32_t x, int32_t y) const {
    if (CSprite* sprite = m_sprites->HitAt(x, y)) return sprite->GetName();
    return m_backdrop->HotspotAt(x, y);
}

void CGame::SetTitle(const std::string& title) {
    if (m_window) m_window->SetTitle(title);
}

void CGame::GoFullScreen() {
    m_fullScreen = 1;
    if (m_renderer) m_renderer->SetFullscreen(true);
}

// ---------------------------------------------------------------- window input

void CGame::ToggleFullScreen() {
    m_fullScreen = m_fullScreen ? 0 : 1;
    if (m_renderer) m_renderer->SetFullscreen(m_fullScreen != 0);
    else if (m_window) m_window->SetFullScreenStyle(m_fullScreen != 0);
}

void CGame::ViewportChanged(int32_t x, int32_t y, int32_t width, int32_t height) {
    if (m_renderer) m_renderer->SetViewportRect(x, y, width, height);
}

int32_t CGame::GetGameWidth() const { return m_renderer ? m_renderer->GetWidth() : 0; }
int32_t CGame::GetGameHeight() const { return m_renderer ? m_renderer->GetHeight() : 0; }
bool CGame::IsFlexibleResolution() const { return m_renderer && m_renderer->IsFlexibleResolution(); }
bool CGame::HasCursorObject() const { return m_renderer && m_renderer->GetCursor() != nullptr; }

bool CGame::SaveScreenshot() {
    const std::string& path = m_options.screenshotPath;
    if (path.empty()) return true;
    if (!m_renderer || !m_renderer->HasDevice()) {
        std::fprintf(stderr, "ove: no frame was rendered; %s not written\n", path.c_str());
        return false;
    }
    if (!m_renderer->SaveScreenshot(path)) {
        std::fprintf(stderr, "ove: could not write screenshot %s\n", path.c_str());
        return false;
    }
    return true;
}

void CGame::TellWhereMainScriptWasSought() const {
    std::error_code ec;
    std::string cwd = std::filesystem::current_path(ec).string();
    std::string archiveOnDisk = FindOnDisk(m_archiveName);
    std::string text = DescribeSearch(m_scriptName + ".OVS", cwd, m_directoryName, IsDirectory(m_directoryName),
                                      IsDirectory("Library"), m_archiveName,
                                      !archiveOnDisk.empty() && !IsDirectory(archiveOnDisk));
    std::fputs(text.c_str(), stderr);
}

}  // namespace ove
