// Drawing elements for scripts: the DrawingElement base with Line and Rectangle, CreateLine,
// CreateRectangle, DestroyLine and DestroyRectangle.
#pragma once
#include <duktape.h>

namespace ove {

bool StartDrawingElementAPI(duk_context* ctx);
// Removes every remaining element from the renderer and deletes it.
void StopDrawingElementAPI(duk_context* ctx);

}  // namespace ove
