// The game-globals module: frame primitives, the backdrop and its coordinate mapping, the mouse
// cursor, mask queries, the window title, random numbers, message boxes and shared constants.
#pragma once
#include <duktape.h>

namespace ove {

bool StartGameAPI(duk_context* ctx);
void StopGameAPI(duk_context* ctx);

}  // namespace ove
