// The TileLayers and TileLayer script classes, CreateLayers, DestroyLayers, LayersetExists,
// SetLayers and the edge-mode constants.
#pragma once
#include <duktape.h>

namespace ove {

class CView;

bool StartTileAPI(duk_context* ctx);
// Deletes every layer set the scripts still hold (the heap is about to go).
void StopTileAPI(duk_context* ctx);

}  // namespace ove
