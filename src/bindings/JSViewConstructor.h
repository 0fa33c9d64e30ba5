// The View script class: views built in memory from images (loops, mirrored loops, cels), and the
// turning of script values into views for every API that takes one.
#pragma once
#include <duktape.h>

namespace ove {

class CView;

bool StartViewAPI(duk_context* ctx);
void StopViewAPI(duk_context* ctx);

// The view a script value names: a string, or a number as text, through the game's view cache; a
// View object fixated; with `images`, an Image as a one-cel view of the whole picture (graphic
// buttons and list boxes take those). Null when there is none (or no game). Never raises.
CView* ViewFromScriptValue(duk_context* ctx, duk_idx_t index, bool images = false);

}  // namespace ove
