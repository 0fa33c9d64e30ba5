// The TileLayers and TileLayer script classes, CreateLayers, DestroyLayers, LayersetExists,
// SetLayers and the edge-mode constants.
#pragma once
#include <duktape.h>

namespace ove {

class CView;

bool StartTileAPI(duk_context* ctx);
// Deletes every layer set the scripts still hold (the heap is about to go).
void StopTileAPI(duk_context* ctx);

// The view a script value names: a string (or a number taken as text, converted in place) is
// loaded through the game's view cache. Null when nothing can be loaded. Never raises.
CView* ViewFromScript(duk_context* ctx, duk_idx_t index);

}  // namespace ove
