#include "SoundStartup.h"

#include <SDL.h>
#include <dlfcn.h>

#include <cstdio>

#include "SoundManagerBasic.h"
#include "SoundManagerMixer.h"

namespace ove {

namespace {

#ifndef __EMSCRIPTEN__
void IgnoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

// Without a sound card, libasound writes a dozen lines about it to standard error while SDL looks
// for a device; the one line below says the same. The library stays loaded so that SDL, which
// loads it too, shares the quiet handler.
void QuietAlsa() {
    static void* const library = [] {
        void* lib = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!lib) return lib;
        using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
        if (auto set = reinterpret_cast<int (*)(Handler)>(dlsym(lib, "snd_lib_error_set_handler")))
            set(&IgnoreAlsaMessage);
        return lib;
    }();
    (void)library;
}
#else
void QuietAlsa() {}  // no ALSA in a browser
#endif

}  // namespace

std::unique_ptr<CSoundManager> CreateSoundManager(const std::string& soundFont) {
    QuietAlsa();
    auto mixer = std::make_unique<CSoundManagerMixer>(soundFont);
    if (mixer->IsActive()) return mixer;
    std::string why = mixer->DeviceError();
    mixer.reset();

    auto basic = std::make_unique<CSoundManagerBasic>();
    if (basic->HasDevice()) return basic;
    if (why.empty()) why = basic->DeviceError();
    if (why.empty()) why = "no reason given";
    std::fprintf(stderr, "ove: warning: sound is off, no audio device could be opened: %s\n", why.c_str());

    // The dummy driver consumes the output in real time, so sounds end, loop and report their
    // state as on a real device. Only this manager's start uses it: a later one tries the real
    // device again.
    basic.reset();
    SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
    auto silent = std::make_unique<CSoundManagerMixer>(soundFont);
    SDL_ResetHint(SDL_HINT_AUDIODRIVER);
    if (silent->IsActive()) return silent;
    silent.reset();
    return std::make_unique<CSoundManagerBasic>();  // loads WAVE files and plays nothing
}

}  // namespace ove
