#include "ScriptHost.h"

#include "duktape/Duktape.h"
#include "io/FileAccess.h"
#include "platform/Clock.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "Binding.h"

namespace ove {

namespace {

// Marks an Error thrown by RaisePendingFatal, so that whoever catches it reports the pending
// text rather than "ERROR: Error: ERROR: ...".
constexpr const char* kFatalMark = DUK_HIDDEN_SYMBOL("fatal");

duk_context* g_context = nullptr;
std::span<const SScriptModule> g_modules;
void* g_services = nullptr;                       // handed to the host's heap, for its API modules
std::size_t g_started = 0;                        // modules started, so a failed start cleans up only those
int g_depth = 0;                                  // nesting of RunSource calls
int g_nesting = 0;                                // script entered from native code, nested (RunSource and callbacks)
double g_timeout = 10;                            // seconds a script may keep the engine waiting; 0: no limit
std::chrono::steady_clock::time_point g_contact;  // when the engine last had control
bool g_timedOut = false;
bool g_pendingSet = false;
std::string g_pending;

// Real internal failures only: every script evaluation is protected. Must not return and must
// not unwind through the engine's C frames, so it reports and aborts.
// The host's own heap carries this mark as its user data; private heaps carry their name, and heaps
// made without a name (tests, tools) carry none.
char g_hostHeapMark;

void FatalHandler(void* udata, const char* message) {
    char title[300];
    if (udata && udata != &g_hostHeapMark)
        std::snprintf(title, sizeof title, "ERROR@%s", static_cast<const char*>(udata));
    else std::snprintf(title, sizeof title, "ERROR");
    std::fprintf(stderr, "%s: %s\n", title, message && *message ? message : "?");
    std::fflush(stderr);
    std::abort();
}

struct SModuleStart {
    const SScriptModule* module;
    bool ok;
    char message[512];
};

duk_ret_t StartModuleSafe(duk_context* ctx, void* udata) {
    auto* start = static_cast<SModuleStart*>(udata);
    start->ok = false;
    try {
        start->ok = start->module->start(ctx);
    } catch (...) {
        DescribeCurrentException(start->message, sizeof start->message);
    }
    return 0;
}

void CleanupModules(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (!g_modules[i].cleanup) continue;
        try {
            g_modules[i].cleanup(g_context);
        } catch (...) {
            char message[512];
            DescribeCurrentException(message, sizeof message);
            std::fprintf(stderr, "script module %s: clean-up failed: %s\n", g_modules[i].name, message);
        }
    }
}

// The executor's interrupt check: a pending fatal stops the host heap's script code at once, so no
// catch or finally block of the game runs after it, and a script that keeps the engine waiting too
// long is stopped, in the host heap or a private one. Once it answers yes it keeps answering yes
// until the host has control again.
int ScriptInterrupt(void* heapUserData) {
    // A heap of its own (no host, no name) answers to nobody's limits.
    if (heapUserData == nullptr) return 0;
    if (heapUserData == &g_hostHeapMark && g_pendingSet) return 1;
    if (g_timedOut) return 1;
    if (g_timeout > 0 &&
        std::chrono::duration<double>(std::chrono::steady_clock::now() - g_contact).count() > g_timeout)
        g_timedOut = true;
    return g_timedOut ? 1 : 0;
}

double ScriptDateNow() { return WallClockMilliseconds(); }

// Names the running native function for the file-access warnings.
void NameRunningCall(char* buffer, std::size_t size) {
    if (size) buffer[0] = '\0';
    if (g_context && duk_check_stack(g_context, 4)) CurrentFunctionName(g_context, buffer, size);
}

std::string TimeoutText() {
    char text[160];
    std::snprintf(text, sizeof text, "script stopped: it ran for more than %g s without returning to the engine",
                  g_timeout);
    return text;
}

bool IsFatalCarrier(duk_context* ctx, duk_idx_t index) {
    if (!duk_is_object(ctx, index)) return false;
    duk_get_prop_string(ctx, index, kFatalMark);
    bool marked = duk_get_boolean(ctx, -1);
    duk_pop(ctx);
    return marked;
}

}  // namespace

duk_context* CreateScriptHeap(const char* name) {
    return duk_create_heap(nullptr, nullptr, nullptr, const_cast<char*>(name), FatalHandler);
}

bool StartScriptHost(std::span<const SScriptModule> modules, void* services) {
    if (g_context) StopScriptHost();
    g_context = duk_create_heap(nullptr, nullptr, nullptr, &g_hostHeapMark, FatalHandler);
    if (!g_context) return false;
    OveSetScriptInterrupt(ScriptInterrupt);
    FileAccess().SetCallNamer(NameRunningCall);
    OveSetDateNow(ScriptDateNow);  // virtual in fixed-step runs
    NoteEngineContact();
    g_timedOut = false;
    ResetBindingState();
    g_pendingSet = false;
    g_pending.clear();
    g_started = 0;
    g_modules = modules;
    SetScriptServices(g_context, services);  // visible to the module start functions

    for (const SScriptModule& module : g_modules) {
        SModuleStart start{&module, false, {}};
        duk_int_t rc = duk_safe_call(g_context, StartModuleSafe, &start, 0, 1);
        if (rc != DUK_EXEC_SUCCESS)
            std::fprintf(stderr, "script module %s: %s\n", module.name, duk_safe_to_string(g_context, -1));
        else if (start.message[0]) std::fprintf(stderr, "script module %s: %s\n", module.name, start.message);
        duk_pop(g_context);
        if (rc != DUK_EXEC_SUCCESS || !start.ok) {
            // The failed module may have registered part of itself: clean it up with the others.
            g_started += 1;
            StopScriptHost();
            return false;
        }
        ++g_started;
    }
    return true;
}

void StopScriptHost() {
    if (!g_context) return;
    CleanupModules(g_started);
    g_started = 0;
    duk_destroy_heap(g_context);
    g_context = nullptr;
    g_services = nullptr;
    g_depth = 0;
    g_nesting = 0;
    g_timedOut = false;
    g_pendingSet = false;
    g_pending.clear();
    ResetBindingState();
}

bool ScriptHostRunning() { return g_context != nullptr; }
duk_context* ScriptContext() { return g_context; }

// The services live in the heap's stash, so that every thread of the heap finds them; the host's
// own context answers without the lookup.
constexpr const char* kServicesKey = DUK_HIDDEN_SYMBOL("services");

void* ScriptServices(duk_context* ctx) {
    if (!ctx) return nullptr;
    if (ctx == g_context) return g_services;
    if (!duk_check_stack(ctx, 2)) return nullptr;
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, kServicesKey);
    void* services = duk_get_pointer(ctx, -1);
    duk_pop_2(ctx);
    return services;
}

void SetScriptServices(duk_context* ctx, void* services) {
    if (!ctx) return;
    if (ctx == g_context) g_services = services;
    duk_push_global_stash(ctx);
    duk_push_pointer(ctx, services);
    duk_put_prop_string(ctx, -2, kServicesKey);
    duk_pop(ctx);
}

namespace {

// Runs `run` (which leaves its error on the stack top when it fails) as one entry into script:
// nesting, timeouts and pending fatals are handled as RunSource describes.
template <class F>
SRunResult Protected(F&& run) {
    SRunResult result;
    duk_context* ctx = g_context;
    if (!ctx) return result;
    result.running = true;
    if (g_depth == 0) {
        // A fresh top-level evaluation: a fatal left over from an earlier one was already
        // reported (or belonged to a run that has ended).
        g_pendingSet = false;
        g_pending.clear();
        g_timedOut = false;
        NoteEngineContact();
    }
    if (g_pendingSet) {
        // The run is ending: nothing more runs, and the outermost evaluation reports the fatal.
        result.ok = true;
        return result;
    }
    if (!EnterScript()) {
        result.error = g_depth == 0 ? TakePendingFatal() : g_pending;
        return result;
    }

    duk_idx_t top = duk_get_top(ctx);
    ++g_depth;
    bool ok = run(ctx);
    --g_depth;
    if (ok) {
        result.ok = true;
        if (g_depth == 0 && g_pendingSet) {
            // Script code caught the error that carried a fatal; the fatal still ends the run.
            result.ok = false;
            result.error = TakePendingFatal();
        }
    } else if (g_pendingSet) {
        // The fatal is what ends the run, whatever was thrown on the way out (the interrupt's
        // RangeError that keeps script code from going on).
        result.error = g_depth == 0 ? TakePendingFatal() : g_pending;
    } else {
        result.error = ScriptErrorText(ctx, -1, true);
    }
    duk_set_top(ctx, top);
    LeaveScript();
    if (g_depth == 0) g_timedOut = false;
    return result;
}

}  // namespace

SRunResult RunSource(std::string_view source, const char* fileName) {
    return Protected([&](duk_context* ctx) {
        duk_push_string(ctx, fileName ? fileName : "eval");
        // Program code, not eval code: a strict script's top-level functions must become globals too.
        return duk_pcompile_lstring_filename(ctx, 0, source.data(), source.size()) == 0 &&
               duk_pcall(ctx, 0) == DUK_EXEC_SUCCESS;
    });
}

SRunResult CallScriptGlobal(const char* name, std::span<const int32_t> args, bool optional) {
    if (optional && g_context && !g_pendingSet) {
        duk_get_global_string(g_context, name);
        const bool callable = duk_is_callable(g_context, -1);
        duk_pop(g_context);
        if (!callable) {
            SRunResult result;
            result.running = result.ok = true;
            return result;
        }
    }
    return Protected([&](duk_context* ctx) {
        if (!duk_get_global_string(ctx, name)) {
            // What calling an undeclared name says in script.
            duk_push_error_object_raw(ctx, DUK_ERR_REFERENCE_ERROR, nullptr, 0, "identifier '%s' undefined", name);
            return false;
        }
        if (!duk_check_stack(ctx, static_cast<duk_idx_t>(args.size()) + 1)) {
            duk_push_error_object_raw(ctx, DUK_ERR_RANGE_ERROR, nullptr, 0, "too many arguments");
            return false;
        }
        for (int32_t a : args) duk_push_int(ctx, a);
        return duk_pcall(ctx, static_cast<duk_idx_t>(args.size())) == DUK_EXEC_SUCCESS;
    });
}

void SetScriptTimeout(double seconds) { g_timeout = seconds > 0 ? seconds : 0; }

void NoteEngineContact() { g_contact = std::chrono::steady_clock::now(); }

bool EnterScript() {
    if (g_nesting >= kMaxScriptNesting) {
        char text[96];
        std::snprintf(text, sizeof text, "ERROR: Error: callbacks nested too deeply (%d levels)\n", g_nesting);
        SetPendingFatal(text);
        return false;
    }
    ++g_nesting;
    return true;
}

void LeaveScript() {
    if (g_nesting > 0) --g_nesting;
}

namespace {

// Pushes the error's fileName, lineNumber and stack as strings (undefined when absent). Runs as a
// safe call: a getter or proxy on a thrown object may throw, and nothing here owns C++ objects.
duk_ret_t ReadErrorFields(duk_context* ctx, void*) {
    static const char* const kFields[] = {"fileName", "lineNumber", "stack"};
    // A safe call shares the caller's frame: its argument is on top, not at index 0.
    const duk_idx_t error = duk_normalize_index(ctx, -1);
    duk_require_stack(ctx, 8);
    for (const char* field : kFields) {
        if (duk_is_object(ctx, error)) duk_get_prop_string(ctx, error, field);
        else duk_push_undefined(ctx);
        if (!duk_is_undefined(ctx, -1)) duk_to_string(ctx, -1);
    }
    return 3;
}

std::string StringAt(duk_context* ctx, duk_idx_t index) {
    const char* text = duk_get_string(ctx, index);
    return text ? text : "";
}

}  // namespace

std::string DescribeScriptError(duk_context* ctx, duk_idx_t index, const char* title) {
    index = duk_normalize_index(ctx, index);
    // Called deep in native frames whose stack reserve may be spent: make room without raising.
    if (!duk_check_stack(ctx, 16))
        return std::string(title && *title ? title : "script error") + ": (no room to say more)\n";
    duk_dup(ctx, index);
    std::string message = duk_safe_to_string(ctx, -1);
    duk_pop(ctx);
    duk_dup(ctx, index);
    bool read = duk_safe_call(ctx, ReadErrorFields, nullptr, 1, 3) == DUK_EXEC_SUCCESS;
    std::string fileName = read ? StringAt(ctx, -3) : "";
    std::string line = read ? StringAt(ctx, -2) : "";
    std::string stack = read ? StringAt(ctx, -1) : "";
    duk_pop_3(ctx);

    std::string out = title && *title ? std::string(title) + ": " : std::string();
    if (!fileName.empty()) out += fileName + (line.empty() || line == "0" ? "" : ":" + line) + ": ";
    out += message + '\n';
    // The stack's first line repeats the message. Frames inside the script engine's own C sources
    // ("(duk_js_var.c:1236) internal") say nothing to a game's author; a compile error's own
    // location ("(rooms.ovs:3) internal") does.
    std::size_t pos = stack.find('\n');
    while (pos != std::string::npos) {
        std::size_t next = stack.find('\n', pos + 1);
        std::string frame = stack.substr(pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1);
        pos = next;
        bool engineInternal = frame.find("(duk_") != std::string::npos && frame.find(") internal") != std::string::npos;
        // "preventsyield" marks frames entered from native code: the engine's business, not the author's.
        constexpr std::string_view kNoYield = " preventsyield";
        if (frame.size() > kNoYield.size() && frame.ends_with(kNoYield)) frame.resize(frame.size() - kNoYield.size());
        if (!frame.empty() && !engineInternal) out += frame + '\n';
    }
    return out;
}

void ReportScriptError(duk_context* ctx, duk_idx_t index, const char* title) {
    std::string text = DescribeScriptError(ctx, index, title ? title : "script error");
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
}

std::string ScriptErrorText(duk_context* ctx, duk_idx_t index, bool take) {
    index = duk_normalize_index(ctx, index);
    // Once a fatal is pending, every later error is its fallout (see ScriptInterrupt).
    if (!g_pendingSet && !IsFatalCarrier(ctx, index)) ReportScriptError(ctx, index, nullptr);
    if (IsFatalCarrier(ctx, index)) {
        if (g_pendingSet) return take ? TakePendingFatal() : g_pending;
        // The slot was emptied meanwhile: the error's message is the text.
        duk_get_prop_string(ctx, index, "message");
        const char* message = duk_safe_to_string(ctx, -1);
        std::string text = message;
        duk_pop(ctx);
        return text;
    }
    return "ERROR: " + UncaughtMessage(ctx, index) + '\n';
}

std::string UncaughtMessage(duk_context* ctx, duk_idx_t index) {
    index = duk_normalize_index(ctx, index);
    if (g_timedOut && duk_is_error(ctx, index) && duk_get_error_code(ctx, index) == DUK_ERR_RANGE_ERROR)
        return "RangeError: " + TimeoutText();
    duk_dup(ctx, index);
    std::string message = duk_safe_to_string(ctx, -1);
    duk_pop(ctx);
    return message;
}

void SetPendingFatal(const std::string& text) {
    if (g_pendingSet) return;
    g_pendingSet = true;
    g_pending = text;
    if (g_context) OveCheckInterruptNow(g_context);
}

bool HasPendingFatal() { return g_pendingSet; }

std::string TakePendingFatal() {
    std::string text;
    text.swap(g_pending);
    g_pendingSet = false;
    return text;
}

void RaisePendingFatal(duk_context* ctx) {
    if (!g_pendingSet) return;
    // g_pending is process-wide, not a frame local: nothing is skipped by the longjmp.
    OveCheckInterruptNow(ctx);
    duk_push_error_object(ctx, DUK_ERR_ERROR, "%s", g_pending.c_str());
    duk_push_true(ctx);
    duk_put_prop_string(ctx, -2, kFatalMark);
    duk_throw(ctx);
}

}  // namespace ove

namespace ove {

bool CScriptRuntime::Start(void* services) { return StartScriptHost(m_modules, services); }
void CScriptRuntime::Stop() { StopScriptHost(); }
bool CScriptRuntime::Running() const { return ScriptHostRunning(); }

void CScriptRuntime::DefineGlobal(const char* name, double value) {
    if (g_context) DefineGlobalDouble(g_context, name, value);
}

void CScriptRuntime::DefineGlobal(const char* name, const std::string& value) {
    if (g_context) DefineGlobalString(g_context, name, value.c_str());
}

SRunResult CScriptRuntime::RunFile(std::string_view source, const char* fileName) {
    return RunSource(source, fileName);
}

SRunResult CScriptRuntime::CallGlobal(const char* name, std::span<const int32_t> args, bool optional) {
    return CallScriptGlobal(name, args, optional);
}

void CScriptRuntime::CallKept(int32_t key) {
    if (g_context) ove::CallKept(g_context, key);
}

void CScriptRuntime::ReleaseKept(int32_t key) {
    if (!g_context) return;  // the heap is gone already (teardown)
    duk_push_global_stash(g_context);
    duk_push_int(g_context, key);
    duk_del_prop(g_context, -2);
    duk_pop(g_context);
}

bool CScriptRuntime::CallElementHandler(ScriptHandle object, const char* name, std::span<const int32_t> args) {
    duk_context* ctx = g_context;
    if (!ctx || !object || !duk_check_stack(ctx, static_cast<duk_idx_t>(args.size()) + 4)) return false;
    PushBound(ctx, object, kGuiPrefix);
    if (!FindHandler(ctx, name)) return false;
    for (int32_t a : args) duk_push_int(ctx, a);
    CallHandler(ctx, static_cast<duk_idx_t>(args.size()));
    return true;
}

void CScriptRuntime::ForgetElement(ScriptHandle object) {
    if (g_context && object) UnbindHandle(g_context, object, kGuiPrefix);
}

bool CScriptRuntime::HasPendingFatal() const { return ove::HasPendingFatal(); }
void CScriptRuntime::SetPendingFatal(const std::string& text) { ove::SetPendingFatal(text); }
void CScriptRuntime::NoteEngineContact() { ove::NoteEngineContact(); }
void CScriptRuntime::SeedRandom(uint32_t seed) { OveSeedScriptRandom(seed); }

}  // namespace ove
