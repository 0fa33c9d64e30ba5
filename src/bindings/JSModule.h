// Script modules: Import, ImportOnce, LoadScript, ReloadScript, ScriptExists, DestroyScript.
#pragma once
#include <duktape.h>

namespace ove {

// Registers the six functions. The imported set starts empty with each heap.
bool StartModuleAPI(duk_context* ctx);
void StopModuleAPI(duk_context* ctx);

}  // namespace ove
