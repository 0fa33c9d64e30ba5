// The script API: every class, function and constant a game's scripts see, as wrappers around
// the engine's libraries. The wrappers reach the game only through the services the runtime was
// started with (host/EngineServices.h).
#pragma once
#include <memory>
#include <span>

#include "host/EngineServices.h"
#include "script/ScriptHost.h"

namespace ove {

// The API modules in start order.
std::span<const SScriptModule> ScriptApiModules();
// A script runtime that starts the whole API.
std::unique_ptr<IScriptRuntime> CreateScriptRuntime();
// Starts the shared script host with the whole API on these services (tests drive games this way).
bool StartScriptAPI(IEngineServices* services);

// The services of the game whose heap `ctx` belongs to; null without a game.
inline IEngineServices* Engine(duk_context* ctx) { return static_cast<IEngineServices*>(ScriptServices(ctx)); }

}  // namespace ove
