// In a browser the player's folder lives in memory and is copied to the page's lasting storage
// (IndexedDB) only when asked: every change to files is followed by this call. On the desktop
// the file system is lasting already and it does nothing.
#pragma once

namespace ove {

void PersistFileChanges();

}  // namespace ove
