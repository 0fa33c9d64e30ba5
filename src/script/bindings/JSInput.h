// The input and file-system module: the key queue and held-key queries with the named key
// codes. Game controllers, the host file system and the FileReader/FileWriter classes join this
// module too.
#pragma once
#include <duktape.h>

#include <cstdint>

namespace ove {

class CGame;

bool StartInputAPI(duk_context* ctx);
void StopInputAPI(duk_context* ctx);

// Whether the key of a key code is held now: false unless the game's window has the keyboard
// focus, and false for codes that name no single key (function keys, Alt and Ctrl chords,
// punctuation). Brings the held-key state up to date first.
bool IsKeyCodeDown(const CGame* game, int32_t code);

}  // namespace ove
