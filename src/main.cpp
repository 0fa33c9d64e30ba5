// ove: runs a game.
#include <SDL.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/CommandLine.h"
#include "host/Game.h"
#include "script/ScriptHost.h"
#include "platform/MessageBox.h"

int main(int argc, char** argv) {
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
    if (!cl.gameDir.empty() && ::chdir(cl.gameDir.c_str()) != 0) {
        std::fprintf(stderr, "ove: cannot change to game directory '%s': %s\n", cl.gameDir.c_str(),
                     std::strerror(errno));
        return 1;
    }
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER | SDL_INIT_EVENTS) != 0) {
        ove::ShowMessageBox("Error", std::string("Couldn't initialise video: ") + SDL_GetError(), ove::BoxIcon::Error);
        return 1;
    }

    int status = 0;
    {
        auto game = std::make_unique<ove::CGame>();
        game->frameLimit = cl.frames;
        game->screenshotPath = cl.screenshot;
        game->archiveOption = cl.archive;
        game->directoryOption = cl.directory;
        game->verbose = cl.verbose;
        game->trustGame = cl.trustGame;
        ove::SetScriptTimeout(cl.scriptTimeout);
        // A cancelled choice of game ends quietly: nothing ran, so there is nothing to save.
        bool started = game->Startup();
        if (started && game->InitGame(cl.params)) game->Run();
        bool saved = !started || game->SaveScreenshot();
        status = game->failed || !saved ? 1 : 0;
    }
    SDL_Quit();
    return status;
}
