// ove: runs a game.
#include <SDL.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bindings/Bindings.h"
#include "host/CommandLine.h"
#include "host/Game.h"
#include "platform/Browser.h"
#include "platform/Events.h"
#include "platform/MessageBox.h"
#include "platform/Signals.h"
#include "script/ScriptHost.h"

int main(int argc, char** argv) {
#ifdef __EMSCRIPTEN__
    // Emscripten starts with a umask of 0777, which would save files nobody may read back.
    ::umask(022);
#endif
    std::vector<std::string> args(argv + 1, argv + argc);
    ove::SCommandLine cl = ove::ParseCommandLine(args);
    if (!cl.error.empty()) {
        std::fprintf(stderr, "ove: %s\n\n%s", cl.error.c_str(), ove::CommandLineUsage());
        return 2;
    }
    if (cl.help) {
        std::fputs(ove::CommandLineUsage(), stdout);
        return 0;
    }
    if (cl.version) {
        std::printf("ove %s\n", OVE_VERSION);
        return 0;
    }
    if (cl.headless) {
        // An explicit driver choice in the environment wins.
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        ove::SetHeadlessMessageBoxes(true);
    }
    // A screenshot named on the command line is the caller's file: resolve it before moving into
    // the game's folder.
    if (!cl.screenshot.empty()) {
        std::error_code ec;
        const std::filesystem::path absolute = std::filesystem::absolute(cl.screenshot, ec);
        if (!ec) cl.screenshot = absolute.string();
    }
    // Likewise the input record and replay, and the replay's screenshots.
    auto callersFile = [](std::string& path) {
        std::error_code ec;
        const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
        if (!ec && !path.empty()) path = absolute.string();
    };
    callersFile(cl.record);
    callersFile(cl.replay);
    ove::SReplaySettings replay;
    if (!cl.replay.empty()) {
        std::string why;
        if (!ove::StartInputReplay(cl.replay, replay, &why)) {
            std::fprintf(stderr, "ove: cannot replay: %s\n", why.c_str());
            return 2;
        }
        for (auto& shot : replay.shots) callersFile(shot.second);
    }
    if (!cl.gameDir.empty() && ::chdir(cl.gameDir.c_str()) != 0) {
        std::fprintf(stderr, "ove: cannot change to game directory '%s': %s\n", cl.gameDir.c_str(),
                     std::strerror(errno));
        return 1;
    }
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER | SDL_INIT_EVENTS) != 0) {
        ove::ShowMessageBox("Error", std::string("Couldn't initialise video: ") + SDL_GetError(), ove::BoxIcon::Error);
        return 1;
    }
    // After SDL_Init, so that SDL's own handlers stay underneath.
    ove::InstallSignalHandlers();

    int status = 0;
    {
        ove::SRunOptions options;
        options.frameLimit = cl.frames;
        options.screenshotPath = cl.screenshot;
        options.archiveOption = cl.archive;
        options.directoryOption = cl.directory;
#ifdef __EMSCRIPTEN__
        // A page runs one game, and its console is where authors look.
        options.askForSource = false;
        options.verbose = true;
#else
        options.verbose = cl.verbose;
#endif
        options.trustGame = cl.trustGame;
        ove::SetScriptTimeout(cl.scriptTimeout);
        options.fixedStep = cl.fixedStep || !cl.replay.empty() || !cl.record.empty();
        options.realPacing = !cl.record.empty() && cl.replay.empty();
        options.seedGiven = cl.seedGiven;
        options.seed = cl.seed;
        options.recordPath = cl.record;
        if (!cl.replay.empty()) {
            if (replay.hasSeed && !cl.seedGiven) {
                options.seedGiven = true;
                options.seed = replay.seed;
            }
            options.forcedWindowWidth = replay.width;
            options.forcedWindowHeight = replay.height;
            options.turnShots = replay.shots;
        }
        auto game = std::make_unique<ove::CGame>(ove::CreateScriptRuntime(), std::move(options));
        // A cancelled choice of game ends quietly: nothing ran, so there is nothing to save.
        bool started = game->Startup();
        if (started && game->InitGame(cl.params)) game->Run();
        bool saved = !started || game->SaveScreenshot();
        status = game->Failed() || !saved ? 1 : 0;
    }
    ove::StopInputLog();
    SDL_Quit();
    ove::ReportExitToPage(ove::ExitStatus(status));
    return ove::ExitStatus(status);
}
