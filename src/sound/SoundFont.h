// Which General MIDI sound font renders sequences.
#pragma once
#include <string>

namespace ove {

// The first readable file of: the environment variable OVE_SOUNDFONT, the game's configured path
// (settings.xml, <sound soundfont="..."/>), then the usual Debian places. Empty when none.
std::string FindSoundFont(const std::string& configured);

}  // namespace ove
