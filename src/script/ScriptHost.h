// The script host: the one Duktape heap the game runs in, the API modules registered into it,
// protected evaluation of source text and the reporting of uncaught script errors.
//
// Everything here is called from native (C++) code and never throws C++ exceptions. Every
// evaluation is a protected call, so the heap stays usable after any script error.
#pragma once
#include <duktape.h>

#include <span>
#include <string>
#include <string_view>

#include "script/ScriptRuntime.h"

namespace ove {

// One API module: `start` registers its classes, functions and constants (false: failed);
// `cleanup` releases what it keeps outside the heap. Both run with the host's context.
struct SScriptModule {
    const char* name;
    bool (*start)(duk_context* ctx);
    void (*cleanup)(duk_context* ctx);
};

// Creates the heap and starts the API modules in order (the list must outlive the host). A module
// that fails stops the start: the modules already started are cleaned up again, the heap is
// destroyed and the result is false (so later calls report "not running" instead of running half
// an API). A running host is stopped first. `services` is what the modules' functions reach the
// engine through (ScriptServices).
bool StartScriptHost(std::span<const SScriptModule> modules, void* services);
// Runs every module's clean-up in start order, then destroys the heap. Harmless when stopped.
void StopScriptHost();
bool ScriptHostRunning();
duk_context* ScriptContext();  // null when not running
// The services of the heap `ctx` belongs to: those given to StartScriptHost for the host's heap,
// or to SetScriptServices for a heap of its own; null when none were given.
void* ScriptServices(duk_context* ctx);
void SetScriptServices(duk_context* ctx, void* services);

// Compiles `source` as global program code (top-level declarations become globals, in strict
// scripts too; `this` is the global object) under `fileName` ("eval" when null) and calls it protected.
// The result value is discarded. On an uncaught error the text is "ERROR: <message>\n", where
// <message> is the error converted safely to a string ("ReferenceError: identifier 'x' undefined").
// An error raised by RaisePendingFatal is reported with the pending text instead. When the
// outermost evaluation ends normally while a fatal is still pending (script code caught the error
// that carried it), that evaluation fails with the pending text: a fatal error ends the run.
// While a fatal is pending, nested evaluations run nothing (ok, nothing to report).
SRunResult RunSource(std::string_view source, const char* fileName = nullptr);
// Calls the global function `name` with integer arguments, protected and reported as RunSource
// reports. A name that is not a function is a ReferenceError, unless `optional`.
SRunResult CallScriptGlobal(const char* name, std::span<const int32_t> args, bool optional);

// ---- Fatal errors raised inside nested callbacks.
// A handler called from inside a native function (a GUI onClick reached from Display, a sprite
// callback reached from Animate, an uncaught error in a LoadScript heap) cannot end the run by
// itself: its error was caught by the protected call around it. It leaves its text here instead;
// the native function, once back in its own frame, calls RaisePendingFatal, which throws a script
// Error carrying the text so the script unwinds to the host's protected call of Run().
//
// The first fatal wins: a later one does not replace text that is still pending.
void SetPendingFatal(const std::string& text);
bool HasPendingFatal();
std::string TakePendingFatal();  // the text, clearing the slot ("" when none)
// If a fatal is pending, throws a script Error whose message is its text (the slot stays set so
// the host reports the original text). Does nothing otherwise. Longjmps: call it only from a
// native function frame that owns nothing with a destructor (see Binding.h).
void RaisePendingFatal(duk_context* ctx);

// The text for an uncaught error value at `index`: "ERROR: <message>\n", or, for an error thrown by
// RaisePendingFatal, the pending text (taken from the slot when `take` is true). Also writes where
// the error happened to standard error (ReportScriptError), once: a carrier was reported when its
// fatal was first caught.
std::string ScriptErrorText(duk_context* ctx, duk_idx_t index, bool take);

// Where a script error happened, for people: "<title>: <file>:<line>: <message>" and then the
// script's call stack, innermost frame first, one "    at ..." line each. Never raises.
std::string DescribeScriptError(duk_context* ctx, duk_idx_t index, const char* title);
// Writes DescribeScriptError (title "script error" when null) to standard error.
void ReportScriptError(duk_context* ctx, duk_idx_t index, const char* title);

// The message of an uncaught error value ("ReferenceError: identifier 'x' undefined"), or the
// timeout's own text when the script was stopped for keeping the engine waiting.
std::string UncaughtMessage(duk_context* ctx, duk_idx_t index);

// ---- Runaway scripts.
// Script code that runs longer than this without returning to the engine or calling a frame
// function is stopped with a RangeError no catch block survives (10 s by default; 0: no limit).
void SetScriptTimeout(double seconds);
// The engine has control (a frame function runs): the script's time starts again.
void NoteEngineContact();

// Every entry into script from native code (RunSource, handlers, kept callbacks) is counted, so
// that re-entrant callbacks end with a message that says so instead of exhausting the stacks.
constexpr int kMaxScriptNesting = 200;
// False when nested too deeply: the fatal "callbacks nested too deeply (N levels)" is then pending
// and nothing must be called. Pair a true result with LeaveScript.
bool EnterScript();
void LeaveScript();

// Creates a heap with the engine's fatal handler. `name` titles fatal reports ("ERROR@<name>" for
// the private heaps of LoadScript, which also stop when a script keeps the engine waiting too long);
// the string must outlive the heap. A heap made without a name (tests, tools) has no such limits.
duk_context* CreateScriptHeap(const char* name);

// The host as an IScriptRuntime, with the API modules it starts.
class CScriptRuntime final : public IScriptRuntime {
public:
    explicit CScriptRuntime(std::span<const SScriptModule> modules) : m_modules(modules) {}
    ~CScriptRuntime() override { Stop(); }
    bool Start(void* services) override;
    void Stop() override;
    bool Running() const override;
    void DefineGlobal(const char* name, double value) override;
    void DefineGlobal(const char* name, const std::string& value) override;
    SRunResult RunFile(std::string_view source, const char* fileName) override;
    SRunResult CallGlobal(const char* name, std::span<const int32_t> args, bool optional) override;
    void CallKept(int32_t key) override;
    void ReleaseKept(int32_t key) override;
    bool CallElementHandler(ScriptHandle object, const char* name, std::span<const int32_t> args) override;
    void ForgetElement(ScriptHandle object) override;
    bool HasPendingFatal() const override;
    void SetPendingFatal(const std::string& text) override;
    void NoteEngineContact() override;
    void SeedRandom(uint32_t seed) override;

private:
    std::span<const SScriptModule> m_modules;
};

}  // namespace ove
