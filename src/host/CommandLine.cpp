#include "CommandLine.h"

#include <cerrno>
#include <cstdlib>

#include "image/ImageLoad.h"

namespace ove {

namespace {

// Arguments that hold spaces are quoted so the game can split PARAMS again.
void AppendParam(std::string& params, const std::string& arg) {
    if (!params.empty()) params += ' ';
    if (arg.empty() || arg.find_first_of(" \t") != std::string::npos) params += '"' + arg + '"';
    else params += arg;
}

}  // namespace

SCommandLine ParseCommandLine(const std::vector<std::string>& args) {
    SCommandLine cl;
    bool optionsDone = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsDone) {
            AppendParam(cl.params, a);
            continue;
        }
        auto value = [&](const char* option) -> const std::string* {
            if (i + 1 >= args.size()) {
                cl.error = std::string("option ") + option + " needs a value";
                return nullptr;
            }
            return &args[++i];
        };
        if (a == "--") {
            optionsDone = true;
        } else if (a == "--game") {
            if (auto v = value("--game")) cl.gameDir = *v;
            else return cl;
        } else if (a == "--headless") {
            cl.headless = true;
        } else if (a == "--frames") {
            auto v = value("--frames");
            if (!v) return cl;
            char* end = nullptr;
            errno = 0;
            long n = std::strtol(v->c_str(), &end, 10);
            if (v->empty() || *end || errno || n < 0) {
                cl.error = "option --frames needs a whole number, not '" + *v + "'";
                return cl;
            }
            cl.frames = n;
        } else if (a == "--screenshot") {
            auto v = value("--screenshot");
            if (!v) return cl;
            // Refused here rather than after a whole run that then cannot write the picture.
            const ImageFileFormat format = ImageFormatFromName(*v);
            if (format != ImageFileFormat::PNG && format != ImageFileFormat::BMP) {
                cl.error = "option --screenshot needs a file name ending in .png or .bmp, not '" + *v + "'";
                return cl;
            }
            cl.screenshot = *v;
        } else if (a == "--archive") {
            if (auto v = value("--archive")) cl.archive = *v;
            else return cl;
        } else if (a == "--directory") {
            if (auto v = value("--directory")) cl.directory = *v;
            else return cl;
        } else if (a == "--verbose") {
            cl.verbose = true;
        } else if (a == "--fixed-step") {
            cl.fixedStep = true;
        } else if (a == "--seed") {
            auto v = value("--seed");
            if (!v) return cl;
            char* end = nullptr;
            errno = 0;
            unsigned long long n = std::strtoull(v->c_str(), &end, 10);
            if (v->empty() || *end || errno || n > 0xFFFFFFFFull || (*v)[0] == '-') {
                cl.error = "option --seed needs a whole number from 0 to 4294967295, not '" + *v + "'";
                return cl;
            }
            cl.seedGiven = true;
            cl.seed = static_cast<std::uint32_t>(n);
        } else if (a == "--record") {
            if (auto v = value("--record")) cl.record = *v;
            else return cl;
        } else if (a == "--replay") {
            if (auto v = value("--replay")) cl.replay = *v;
            else return cl;
        } else if (a == "--trust-game") {
            cl.trustGame = true;
        } else if (a == "--script-timeout") {
            auto v = value("--script-timeout");
            if (!v) return cl;
            char* end = nullptr;
            errno = 0;
            double seconds = std::strtod(v->c_str(), &end);
            if (v->empty() || *end || errno || !(seconds >= 0) || seconds > 1e6) {
                cl.error = "option --script-timeout needs a number of seconds (0 for no limit), not '" + *v + "'";
                return cl;
            }
            cl.scriptTimeout = seconds;
        } else if (a == "--help" || a == "-h") {
            cl.help = true;
        } else if (a == "--version") {
            cl.version = true;
        } else {
            AppendParam(cl.params, a);
        }
    }
    return cl;
}

const char* CommandLineUsage() {
    return "usage: ove [options] [--] [game parameters]\n"
           "\n"
           "Runs the game in the current directory (or in DIR with --game DIR). The game's files\n"
           "are looked up, in this order, as loose files in that directory, in the data directory\n"
           "(DATA), in a directory named Library and in the packed archive GAME.DAT.\n"
           "\n"
           "Several games may lie side by side: every DATA* directory and every *.DAT archive that\n"
           "holds a main.ovs is a game, titled by the game name in its own settings.xml. When more\n"
           "than one directory or more than one archive holds a game, a \"Select source\" dialog\n"
           "asks which to run (Enter for OK, Escape to end without running anything). A single\n"
           "archive is used only when it is named GAME.DAT, a single directory only when it is DATA.\n"
           "\n"
           "options:\n"
           "  --game DIR             change to DIR first\n"
           "  --archive FILE         use the packed archive FILE, without asking\n"
           "  --directory DIR        use DIR as the data directory, without asking\n"
           "  --headless             no window on screen: offscreen video, dummy audio, message\n"
           "                         boxes written to standard error; where several games would be\n"
           "                         offered, the first of each kind (by name) runs, as said on\n"
           "                         standard error\n"
           "  --frames N             close the window after N rendered frames\n"
           "  --screenshot FILE      save the last rendered frame when the engine ends, as PNG\n"
           "                         (FILE.png) or BMP (FILE.bmp)\n"
           "  --verbose              the script's debug(...) writes to standard error\n"
           "  --fixed-step           a virtual clock: Wait advances it without sleeping, each game\n"
           "                         turn draws one frame, --frames counts turns, Random starts\n"
           "                         from a fixed seed; the same run gives the same frames\n"
           "  --seed N               start the random generators from N\n"
           "  --record FILE          write every input event with its game turn to FILE\n"
           "  --replay FILE          feed the events of FILE back at their turns (implies\n"
           "                         --fixed-step, with the recorded seed and window size)\n"
           "  --trust-game           let the game read files outside its folder and the player\n"
           "                         folders (it never writes outside them)\n"
           "  --script-timeout S     stop a script that runs S seconds without returning to the\n"
           "                         engine (default 10; 0 for no limit)\n"
           "  --help                 show this text\n"
           "  --version              show the engine's version\n"
           "\n"
           "Everything else is passed to the game as PARAMS.\n"
           "Exit status: 0 after a normal end or a cancelled choice, 1 after an error,\n"
           "2 for a command line that cannot be read.\n";
}

}  // namespace ove
