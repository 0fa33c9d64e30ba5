// Chooses the run's sound manager.
#pragma once
#include <memory>
#include <string>

#include "SoundManager.h"

namespace ove {

// The mixer; when it cannot start, the basic manager on a real device; when no device opens at
// all, the mixer on SDL's silent dummy output, so that every sound still loads and plays unheard
// and games run as they would. In that last case one line on standard error says that sound is
// off and what SDL answered. `soundFont` is as for CSoundManagerMixer.
std::unique_ptr<CSoundManager> CreateSoundManager(const std::string& soundFont);

}  // namespace ove
