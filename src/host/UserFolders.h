// The user's folders that games store saves and settings in (XDG base directories).
#pragma once
#include <string>

namespace ove {

// The engine's own folders under the XDG base directories, created when missing: games keep their
// saves in them and cannot reach the player's real settings beside them.
// Roaming application data: $XDG_CONFIG_HOME/ove, else ~/.config/ove.
std::string AppDataFolder();
// Local application data: $XDG_DATA_HOME/ove, else ~/.local/share/ove.
std::string LocalAppDataFolder();
// Documents (games export there): XDG_DOCUMENTS_DIR from the desktop's user-dirs.dirs, unless it
// names the home folder itself or a folder holding the desktop's settings; else ~/Documents.
std::string DocumentsFolder();

}  // namespace ove
