#include "ScriptHost.h"

#include <cstdio>
#include <cstdlib>

#include "Binding.h"
#include "bindings/JSBuckets.h"
#include "bindings/JSColour.h"
#include "bindings/JSDrawingElement.h"
#include "bindings/JSFile.h"
#include "bindings/JSGUIElements.h"
#include "bindings/JSGame.h"
#include "bindings/JSImage.h"
#include "bindings/JSInput.h"
#include "bindings/JSModule.h"
#include "bindings/JSSound.h"
#include "bindings/JSSprite.h"
#include "bindings/JSText.h"
#include "bindings/JSViewConstructor.h"
#include "bindings/JSTiles.h"

namespace ove {

namespace {

// One API module: `start` registers its classes, functions and constants (false: failed);
// `cleanup` releases what it keeps outside the heap. Both run with the host's context.
struct SScriptModule {
    const char* name;
    bool (*start)(duk_context* ctx);
    void (*cleanup)(duk_context* ctx);
};

// Started in this order, cleaned up in the same order. Each API module lands as one line here
// (plus the include of its bindings header above).
const SScriptModule kModules[] = {
    {"modules", StartModuleAPI, StopModuleAPI},
    {"game", StartGameAPI, StopGameAPI},
    {"Colour", StartColourAPI, StopColourAPI},
    {"Buckets", StartBucketAPI, StopBucketAPI},
    {"DrawingElement", StartDrawingElementAPI, StopDrawingElementAPI},
    {"Image", StartImageAPI, StopImageAPI},
    {"input and files", StartInputAPI, StopInputAPI},
    {"FileReader and FileWriter", StartFileAPI, StopFileAPI},
    {"GUI", StartGUIAPI, StopGUIAPI},
    {"Sound", StartSoundAPI, StopSoundAPI},
    {"Sprite", StartSpriteAPI, StopSpriteAPI},
    {"substitution tables", StartTableAPI, StopTableAPI},
    {"Text", StartTextAPI, StopTextAPI},
    {"tile layers", StartTileAPI, StopTileAPI},
    {"View", StartViewAPI, StopViewAPI},
};

// Marks an Error thrown by RaisePendingFatal, so that whoever catches it reports the pending
// text rather than "ERROR: Error: ERROR: ...".
constexpr const char* kFatalMark = DUK_HIDDEN_SYMBOL("fatal");

duk_context* g_context = nullptr;
CGame* g_game = nullptr;
std::size_t g_started = 0;  // modules started, so a failed start cleans up only those
int g_depth = 0;            // nesting of RunSource calls
bool g_pendingSet = false;
std::string g_pending;

// Real internal failures only: every script evaluation is protected. Must not return and must
// not unwind through the engine's C frames, so it reports and aborts.
void FatalHandler(void* udata, const char* message) {
    char title[300];
    if (udata)
        std::snprintf(title, sizeof title, "ERROR@%s", static_cast<const char*>(udata));
    else
        std::snprintf(title, sizeof title, "ERROR");
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
        if (!kModules[i].cleanup) continue;
        try {
            kModules[i].cleanup(g_context);
        } catch (...) {
            char message[512];
            DescribeCurrentException(message, sizeof message);
            std::fprintf(stderr, "script module %s: clean-up failed: %s\n", kModules[i].name, message);
        }
    }
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

bool StartScriptHost(CGame* game) {
    if (g_context) StopScriptHost();
    g_context = CreateScriptHeap(nullptr);
    if (!g_context) return false;
    ResetBindingState();
    g_pendingSet = false;
    g_pending.clear();
    g_started = 0;
    g_game = game;  // visible to the module start functions

    for (const SScriptModule& module : kModules) {
        SModuleStart start{&module, false, {}};
        duk_int_t rc = duk_safe_call(g_context, StartModuleSafe, &start, 0, 1);
        if (rc != DUK_EXEC_SUCCESS)
            std::fprintf(stderr, "script module %s: %s\n", module.name, duk_safe_to_string(g_context, -1));
        else if (start.message[0])
            std::fprintf(stderr, "script module %s: %s\n", module.name, start.message);
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
    g_game = nullptr;
    g_depth = 0;
    g_pendingSet = false;
    g_pending.clear();
    ResetBindingState();
}

bool ScriptHostRunning() { return g_context != nullptr; }
duk_context* ScriptContext() { return g_context; }
CGame* ScriptGame() { return g_game; }

SRunResult RunSource(std::string_view source, const char* fileName) {
    SRunResult result;
    duk_context* ctx = g_context;
    if (!ctx) return result;
    result.running = true;
    if (g_depth == 0) {
        // A fresh top-level evaluation: a fatal left over from an earlier one was already
        // reported (or belonged to a run that has ended).
        g_pendingSet = false;
        g_pending.clear();
    }

    duk_idx_t top = duk_get_top(ctx);
    ++g_depth;
    duk_push_string(ctx, fileName ? fileName : "eval");
    bool ok = duk_pcompile_lstring_filename(ctx, DUK_COMPILE_EVAL, source.data(), source.size()) == 0 &&
              duk_pcall(ctx, 0) == DUK_EXEC_SUCCESS;
    --g_depth;
    if (ok) {
        result.ok = true;
        if (g_depth == 0 && g_pendingSet) {
            // Script code caught the error that carried a fatal; the fatal still ends the run.
            result.ok = false;
            result.error = TakePendingFatal();
        }
    } else {
        result.error = ScriptErrorText(ctx, -1, true);
    }
    duk_set_top(ctx, top);
    return result;
}

std::string ScriptErrorText(duk_context* ctx, duk_idx_t index, bool take) {
    index = duk_normalize_index(ctx, index);
    if (IsFatalCarrier(ctx, index)) {
        if (g_pendingSet) return take ? TakePendingFatal() : g_pending;
        // The slot was emptied meanwhile: the error's message is the text.
        duk_get_prop_string(ctx, index, "message");
        const char* message = duk_safe_to_string(ctx, -1);
        std::string text = message;
        duk_pop(ctx);
        return text;
    }
    duk_dup(ctx, index);
    const char* message = duk_safe_to_string(ctx, -1);
    std::string text = std::string("ERROR: ") + message + '\n';
    duk_pop(ctx);
    return text;
}

void SetPendingFatal(const std::string& text) {
    if (g_pendingSet) return;
    g_pendingSet = true;
    g_pending = text;
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
    duk_push_error_object(ctx, DUK_ERR_ERROR, "%s", g_pending.c_str());
    duk_push_true(ctx);
    duk_put_prop_string(ctx, -2, kFatalMark);
    duk_throw(ctx);
}

}  // namespace ove
