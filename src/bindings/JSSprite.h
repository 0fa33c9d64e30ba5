// The Sprite script class and its globals (CreateSprite, DestroySprite, ForgetView, ViewExists,
// the animation and placement constants).
#pragma once
#include <duktape.h>

namespace ove {

bool StartSpriteAPI(duk_context* ctx);
void StopSpriteAPI(duk_context* ctx);

}  // namespace ove
