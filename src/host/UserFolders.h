// The user's folders that games store saves and settings in (XDG base directories).
#pragma once
#include <string>

namespace ove {

// Roaming application data: $XDG_CONFIG_HOME, else ~/.config.
std::string AppDataFolder();
// Local application data: $XDG_DATA_HOME, else ~/.local/share.
std::string LocalAppDataFolder();
// Documents: XDG_DOCUMENTS_DIR from ~/.config/user-dirs.dirs, else ~/Documents.
std::string DocumentsFolder();

}  // namespace ove
