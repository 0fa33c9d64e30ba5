// The engine's own command-line options; everything else is the game's PARAMS.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace ove {

struct SCommandLine {
    std::string gameDir;        // --game DIR
    bool headless = false;      // --headless
    long frames = -1;           // --frames N: close the window after N rendered frames
    std::string screenshot;     // --screenshot FILE.png or FILE.bmp
    std::string archive;        // --archive FILE: the packed archive, without asking
    std::string directory;      // --directory DIR: the data directory, without asking
    bool verbose = false;       // --verbose: the script's debug() writes to standard error
    bool trustGame = false;     // --trust-game: the game may read files outside its folders
    double scriptTimeout = 10;  // --script-timeout S: stop a script that keeps the engine waiting; 0 never
    bool fixedStep = false;     // --fixed-step: virtual clock, one frame a game turn, a fixed seed
    bool seedGiven = false;     // --seed N
    std::uint32_t seed = 0;
    std::string record;  // --record FILE: write the input events by game turn
    std::string replay;  // --replay FILE: feed them back (implies --fixed-step)
    bool help = false;
    bool version = false;
    std::string params;  // the remaining arguments joined with spaces
    std::string error;   // set when the options could not be read
};

SCommandLine ParseCommandLine(const std::vector<std::string>& args);
const char* CommandLineUsage();

}  // namespace ove
