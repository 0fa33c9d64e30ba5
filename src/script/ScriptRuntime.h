// The script runtime as the game host sees it: start and stop the heap, run the game's files, call
// its global functions, kept callbacks and GUI handlers. No Duktape type crosses this door, so the
// host builds without the script engine's headers.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace ove {

// Outcome of running source text or a script entry point.
struct SRunResult {
    bool running = false;  // false: the runtime was not running and nothing ran
    bool ok = false;       // true: ran to the end with no uncaught error
    std::string error;     // when running && !ok: "ERROR: <message>\n" (or a pending fatal's text)
};

// Handle of a native object's script object (see script/Binding.h).
using ScriptHandle = std::uintptr_t;

class IScriptRuntime {
public:
    virtual ~IScriptRuntime() = default;

    // Creates the heap and starts the API modules; `services` is what the bindings reach the engine
    // through. False when a module failed (nothing then runs). A running heap is stopped first.
    virtual bool Start(void* services) = 0;
    virtual void Stop() = 0;
    virtual bool Running() const = 0;

    virtual void DefineGlobal(const char* name, double value) = 0;
    virtual void DefineGlobal(const char* name, const std::string& value) = 0;
    // Runs a script file's text as global program code; errors and stacks name `fileName`.
    virtual SRunResult RunFile(std::string_view source, const char* fileName) = 0;
    // Calls the global function `name` with integer arguments. A missing function is a
    // ReferenceError, unless `optional`, when nothing runs and the result is ok.
    virtual SRunResult CallGlobal(const char* name, std::span<const int32_t> args = {}, bool optional = false) = 0;
    // A callback a script handed to the engine (a sprite's move or walk); its errors become the
    // pending fatal that ends the run.
    virtual void CallKept(int32_t key) = 0;
    virtual void ReleaseKept(int32_t key) = 0;
    // Calls `object.name(args)` on a GUI element's script object when it has such a handler;
    // false when it has none. Errors become the pending fatal.
    virtual bool CallElementHandler(ScriptHandle object, const char* name, std::span<const int32_t> args) = 0;
    // The GUI element is gone: its script object no longer reaches it.
    virtual void ForgetElement(ScriptHandle object) = 0;

    // A fatal error raised inside a nested callback that has still to end the run.
    virtual bool HasPendingFatal() const = 0;
    virtual void SetPendingFatal(const std::string& text) = 0;
    // The engine has control: a script's time without returning starts again.
    virtual void NoteEngineContact() = 0;
    // Math.random starts from this seed (repeatable runs).
    virtual void SeedRandom(uint32_t seed) = 0;
};

}  // namespace ove
