// The Image script class: 32-bit pictures that scripts create, load, decode, encode, save, draw
// into, capture from the screen and show as image layers of the renderer.
#pragma once
#include <duktape.h>

namespace ove {

class CBitmapProxy;

// Module start and clean-up (Image, CreateImage ... UnregisterImageLayer, FORMAT_*). The clean-up
// takes every image still alive out of the renderer and deletes it.
bool StartImageAPI(duk_context* ctx);
void StopImageAPI(duk_context* ctx);

// The native object of the value when it is a bound Image, else null. Never raises.
CBitmapProxy* ImageFromScriptValue(duk_context* ctx, duk_idx_t index);

}  // namespace ove
