#include "SoundFont.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace ove {

namespace {

bool Readable(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), R_OK) == 0;
}

}  // namespace

std::string FindSoundFont(const std::string& configured) {
    static const char* const kSystemFonts[] = {
        "/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2",
        "/usr/share/sounds/sf2/TimGM6mb.sf2",   "/usr/share/soundfonts/default.sf2",
        "/usr/share/soundfonts/FluidR3_GM.sf2", "/usr/share/sounds/sf3/default-GM.sf3",
    };
    // The player's choice beats the game's, which beats the system's.
    if (const char* env = std::getenv("OVE_SOUNDFONT"); env && Readable(env)) return env;
    if (Readable(configured)) return configured;
    for (const char* path : kSystemFonts)
        if (Readable(path)) return path;
    return {};
}

}  // namespace ove
