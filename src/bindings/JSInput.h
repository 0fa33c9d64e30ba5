// The input and file-system module: the key queue and held-key queries with the named key
// codes, game controllers, and the host file system (drives, file lists, file operations, the
// current directory and whole-file reading).
#pragma once
#include <duktape.h>

#include <cstdint>

namespace ove {

class IEngineServices;

bool StartInputAPI(duk_context* ctx);
void StopInputAPI(duk_context* ctx);

// Whether the key of a key code is held now: false unless the game's window has the keyboard
// focus, and false for codes that name no single key (function keys, Alt and Ctrl chords,
// punctuation). Brings the held-key state up to date first.
bool IsKeyCodeDown(IEngineServices* game, int32_t code);

class IJoystickSource;
// Where ReadGameControllers reads devices from (null: the system's joysticks). The records of
// the controllers seen so far are forgotten.
void SetJoystickSource(IJoystickSource* source);

}  // namespace ove
