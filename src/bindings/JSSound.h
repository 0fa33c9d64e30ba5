// Sounds for scripts: the Sound class, LoadSound, PlaySound, StopSound, SoundExists, GetVolume,
// SetVolume and DestroySound.
#pragma once
#include <duktape.h>

namespace ove {

bool StartSoundAPI(duk_context* ctx);
// Forgets the script side's links to sounds (the sounds themselves belong to the resource cache).
void StopSoundAPI(duk_context* ctx);

}  // namespace ove
