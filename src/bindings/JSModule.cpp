// Script modules. Import and ImportOnce run another script in the shared global scope; LoadScript
// runs one in a private heap and hands back a copy of its globals; ReloadScript refreshes the
// functions of such a copy.
#include "JSModule.h"

#include <cctype>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "bindings/Bindings.h"
#include "resources/ResourceCache.h"
#include "script/Binding.h"
#include "script/ScriptHost.h"

namespace ove {

namespace {

constexpr const char* kScriptTag = "OVS";
constexpr const char* kScriptNameKey = DUK_HIDDEN_SYMBOL("script");
// Deeper nesting of data in a loaded script's globals is not copied.
constexpr int kMaxCopyDepth = 64;

// Names brought in by Import/ImportOnce, in lower case.
std::set<std::string>& Imported() {
    static std::set<std::string> imported;
    return imported;
}

// Text and file name of the last script read, waiting to be pushed. Kept out of the native frames
// so that a failing push cannot longjmp over their destructors.
std::string g_scratch;
std::string g_scratchName;

CResourceCache* Resources(duk_context* ctx) {
    IEngineServices* game = Engine(ctx);
    return game ? game->Resources() : nullptr;
}

std::string LowerCase(const char* name) {
    std::string key = name;
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return key;
}

bool IsImported(const char* name) { return Imported().count(LowerCase(name)) != 0; }

// Adds the name; true when it was not there before.
bool MarkImported(const char* name) { return Imported().insert(LowerCase(name)).second; }

void UnmarkImported(const char* name) { Imported().erase(LowerCase(name)); }

// Reads the script resource and the name of the file it came from (what error messages and stacks
// call it). False when it does not exist or cannot be read.
bool ReadScript(duk_context* ctx, const char* name, std::string& out, std::string& fileName) {
    CResourceCache* resources = Resources(ctx);
    if (!resources) return false;
    try {
        std::unique_ptr<CDataBin> bin(resources->OpenResource(name, kScriptTag));
        if (!bin) return false;
        std::vector<u8> bytes = ReadAll(*bin);
        out.assign(bytes.begin(), bytes.end());
        fileName = resources->ResourceFileName(name, kScriptTag);
        return true;
    } catch (...) {  // no C++ exception may reach the engine
        out.clear();
        return false;
    }
}

bool ReadScriptToScratch(duk_context* ctx, const char* name) { return ReadScript(ctx, name, g_scratch, g_scratchName); }

void ReleaseScratch() {
    std::string().swap(g_scratch);
    std::string().swap(g_scratchName);
}

// Pushes the scratch text and then its file name (and empties both).
void PushScratch(duk_context* ctx) {
    duk_push_lstring(ctx, g_scratch.data(), g_scratch.size());
    duk_push_lstring(ctx, g_scratchName.data(), g_scratchName.size());
    ReleaseScratch();
}

// ---------------------------------------------------------------- copying between heaps
// A value captured from a private heap, independent of both heaps.
struct SValue {
    enum Kind { kUndefined, kNull, kBoolean, kNumber, kString, kFunction, kArray, kObject };
    Kind kind = kUndefined;
    bool boolean = false;
    double number = 0;
    std::string bytes;              // string text, or function bytecode
    std::vector<std::string> keys;  // array and object members
    std::vector<SValue> values;
};

struct SCapture {
    // in
    const char* name = nullptr;
    const char* fileName = nullptr;
    const char* source = nullptr;
    std::size_t sourceSize = 0;
    bool functionsOnly = false;  // ReloadScript: own enumerable functions of the global only
    // out
    SValue root;
    std::vector<void*> path;  // objects being copied, to cut reference cycles
    char nativeError[512] = {};
};

// Reads the value on top of the private stack into `out`. False: not copyable (skip it).
// Runs inside a protected call on the private heap: an error there (a throwing getter) unwinds
// to it, and everything built so far is owned by the SCapture outside.
bool CaptureValue(duk_context* ctx, SValue& out, SCapture& capture, int depth);

void CaptureMembers(duk_context* ctx, duk_idx_t obj, SValue& out, SCapture& capture, int depth, bool top) {
    duk_enum(ctx, obj, top && capture.functionsOnly ? DUK_ENUM_OWN_PROPERTIES_ONLY : 0);
    while (duk_next(ctx, -1, 1)) {
        duk_size_t keyLength = 0;
        const char* key = duk_get_lstring(ctx, -2, &keyLength);
        bool wanted = key != nullptr;
        if (wanted && top && std::strcmp(key, "performance") == 0 && keyLength == 11) wanted = false;
        if (wanted && top && capture.functionsOnly && !duk_is_function(ctx, -1)) wanted = false;
        if (wanted) {
            out.keys.emplace_back(key, keyLength);
            out.values.emplace_back();
            if (!CaptureValue(ctx, out.values.back(), capture, depth + 1)) {
                out.keys.pop_back();
                out.values.pop_back();
            }
        }
        duk_pop_2(ctx);
    }
    duk_pop(ctx);  // the enumerator
}

bool CaptureValue(duk_context* ctx, SValue& out, SCapture& capture, int depth) {
    duk_require_stack(ctx, 8);
    if (duk_is_function(ctx, -1)) {
        // Only functions written in script have bytecode; native and bound ones are skipped.
        if (!duk_is_ecmascript_function(ctx, -1) || duk_is_bound_function(ctx, -1)) return false;
        duk_dup_top(ctx);
        duk_dump_function(ctx);
        duk_size_t size = 0;
        const void* data = duk_get_buffer_data(ctx, -1, &size);
        out.kind = SValue::kFunction;
        if (data && size) out.bytes.assign(static_cast<const char*>(data), size);
        duk_pop(ctx);
        return true;
    }
    if (duk_is_symbol(ctx, -1)) return false;
    switch (duk_get_type(ctx, -1)) {
    case DUK_TYPE_UNDEFINED: out.kind = SValue::kUndefined; return true;
    case DUK_TYPE_NULL: out.kind = SValue::kNull; return true;
    case DUK_TYPE_BOOLEAN:
        out.kind = SValue::kBoolean;
        out.boolean = duk_get_boolean(ctx, -1);
        return true;
    case DUK_TYPE_STRING: {
        duk_size_t length = 0;
        const char* text = duk_get_lstring(ctx, -1, &length);
        out.kind = SValue::kString;
        if (text && length) out.bytes.assign(text, length);
        return true;
    }
    case DUK_TYPE_NUMBER:
        out.kind = SValue::kNumber;
        out.number = duk_get_number(ctx, -1);
        return true;
    case DUK_TYPE_OBJECT: break;
    default: return false;  // buffers, pointers, light functions
    }
    if (duk_is_buffer_data(ctx, -1)) return false;
    if (depth > kMaxCopyDepth) return false;
    void* identity = duk_get_heapptr(ctx, -1);
    for (void* p : capture.path)
        if (p == identity) return false;  // a reference back up the tree: cut the cycle
    out.kind = duk_is_array(ctx, -1) ? SValue::kArray : SValue::kObject;
    capture.path.push_back(identity);
    CaptureMembers(ctx, duk_get_top_index(ctx), out, capture, depth, false);
    capture.path.pop_back();
    return true;
}

// Runs the script in the private heap and captures its globals.
duk_ret_t RunAndCapture(duk_context* ctx, void* udata) {
    auto* capture = static_cast<SCapture*>(udata);
    duk_push_lstring(ctx, capture->source, capture->sourceSize);
    duk_push_string(ctx, capture->fileName);
    duk_compile(ctx, 0);  // program code: strict scripts define globals too
    duk_call(ctx, 0);
    duk_pop(ctx);
    duk_push_global_object(ctx);
    try {
        capture->root.kind = SValue::kObject;
        CaptureMembers(ctx, duk_get_top_index(ctx), capture->root, *capture, 0, true);
    } catch (...) {
        DescribeCurrentException(capture->nativeError, sizeof capture->nativeError);
    }
    return 0;
}

// Pushes the main-heap copy of a captured value.
void PushCopy(duk_context* ctx, const SValue& value);

void PutMembers(duk_context* ctx, duk_idx_t target, const SValue& value) {
    for (std::size_t i = 0; i < value.keys.size(); ++i) {
        PushCopy(ctx, value.values[i]);
        duk_put_prop_lstring(ctx, target, value.keys[i].data(), value.keys[i].size());
    }
}

void PushCopy(duk_context* ctx, const SValue& value) {
    duk_require_stack(ctx, 4);
    switch (value.kind) {
    case SValue::kUndefined: duk_push_undefined(ctx); break;
    case SValue::kNull: duk_push_null(ctx); break;
    case SValue::kBoolean: duk_push_boolean(ctx, value.boolean); break;
    case SValue::kNumber: duk_push_number(ctx, value.number); break;
    case SValue::kString: duk_push_lstring(ctx, value.bytes.data(), value.bytes.size()); break;
    case SValue::kFunction: {
        void* buffer = duk_push_fixed_buffer(ctx, value.bytes.size());
        if (!value.bytes.empty()) std::memcpy(buffer, value.bytes.data(), value.bytes.size());
        duk_load_function(ctx);
        break;
    }
    case SValue::kArray:
        duk_push_array(ctx);
        PutMembers(ctx, duk_get_top_index(ctx), value);
        break;
    case SValue::kObject:
        duk_push_object(ctx);
        PutMembers(ctx, duk_get_top_index(ctx), value);
        break;
    }
}

struct SBuild {
    const SCapture* capture;
};

// LoadScript: a new module object holding the script name and the copied globals.
duk_ret_t BuildModule(duk_context* ctx, void* udata) {
    const SCapture& capture = *static_cast<SBuild*>(udata)->capture;
    duk_push_object(ctx);
    duk_push_string(ctx, kScriptNameKey);
    duk_push_string(ctx, capture.name);
    duk_def_prop(ctx, -3,
                 DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_SET_WRITABLE | DUK_DEFPROP_CLEAR_ENUMERABLE |
                     DUK_DEFPROP_SET_CONFIGURABLE);
    // A safe call shares the caller's stack frame: address the module relative to the top.
    PutMembers(ctx, duk_get_top_index(ctx), capture.root);
    return 1;
}

// ReloadScript: the new functions replace those of the module object (the one argument).
duk_ret_t UpdateModule(duk_context* ctx, void* udata) {
    const SCapture& capture = *static_cast<SBuild*>(udata)->capture;
    PutMembers(ctx, duk_get_top_index(ctx), capture.root);
    return 0;
}

enum class PrivateResult { kOk, kMissing, kScriptError, kMainError };

// Reads the script, runs it in a private heap and copies the result into the main heap: for
// LoadScript (moduleIndex < 0) a new module object is pushed; for ReloadScript the functions go
// into the object at moduleIndex and nothing is pushed. On kMainError the main heap's error
// value is pushed; on kScriptError the report is in the pending-fatal slot. Never raises: all
// C++ objects live here and are gone before the caller raises anything.
PrivateResult RunPrivately(duk_context* ctx, const char* scriptName, duk_idx_t moduleIndex) {
    std::string name = scriptName;
    std::string source, fileName;
    if (!ReadScript(ctx, scriptName, source, fileName)) return PrivateResult::kMissing;

    SCapture capture;
    capture.name = name.c_str();
    capture.fileName = fileName.c_str();
    capture.source = source.data();
    capture.sourceSize = source.size();
    capture.functionsOnly = moduleIndex >= 0;

    std::string failure;
    {
        std::unique_ptr<duk_context, void (*)(duk_context*)> heap(CreateScriptHeap(name.c_str()),
                                                                  [](duk_context* c) { duk_destroy_heap(c); });
        if (!heap) return PrivateResult::kMissing;
        if (duk_safe_call(heap.get(), RunAndCapture, &capture, 0, 1) != DUK_EXEC_SUCCESS) {
            std::string title = "ERROR@" + name;
            ReportScriptError(heap.get(), -1, title.c_str());
            const char* message = duk_safe_to_string(heap.get(), -1);
            failure = title + ": " + message + "\n";
        } else if (capture.nativeError[0]) {
            failure = "ERROR@" + name + ": " + capture.nativeError + "\n";
        }
    }
    source.clear();
    if (!failure.empty()) {
        SetPendingFatal(failure);
        return PrivateResult::kScriptError;
    }

    SBuild build{&capture};
    if (moduleIndex < 0) {
        if (duk_safe_call(ctx, BuildModule, &build, 0, 1) != DUK_EXEC_SUCCESS) return PrivateResult::kMainError;
        return PrivateResult::kOk;
    }
    duk_dup(ctx, moduleIndex);
    if (duk_safe_call(ctx, UpdateModule, &build, 1, 1) != DUK_EXEC_SUCCESS) return PrivateResult::kMainError;
    duk_pop(ctx);
    return PrivateResult::kOk;
}

// ---------------------------------------------------------------- script functions

duk_ret_t RunImport(duk_context* ctx, bool once) {
    const char* name = ArgString(ctx, 0, "name");
    if (once && IsImported(name)) return 0;
    if (!ReadScriptToScratch(ctx, name))
        return duk_error(ctx, DUK_ERR_REFERENCE_ERROR, "Couldn't load script [%s]", name);
    // Marked before it runs, so that scripts importing each other with ImportOnce do not recurse
    // without end; unmarked again if it fails, so that a later ImportOnce retries it.
    bool added = MarkImported(name);
    PushScratch(ctx);
    // Program code, like the main script: a strict module's functions become globals too.
    if (duk_pcompile(ctx, 0) != 0 || duk_pcall(ctx, 0) != DUK_EXEC_SUCCESS) {
        if (added) UnmarkImported(name);
        return duk_throw(ctx);
    }
    return 0;
}

duk_ret_t Import(duk_context* ctx) { return RunImport(ctx, false); }
duk_ret_t ImportOnce(duk_context* ctx) { return RunImport(ctx, true); }

duk_ret_t LoadScript(duk_context* ctx) {
    const char* name = ArgString(ctx, 0, "name");
    switch (RunPrivately(ctx, name, -1)) {
    case PrivateResult::kOk: return 1;
    case PrivateResult::kMissing: return duk_error(ctx, DUK_ERR_REFERENCE_ERROR, "Couldn't load script [%s]", name);
    case PrivateResult::kScriptError:
        RaisePendingFatal(ctx);  // raises: the fatal is pending
        RaiseCallError(ctx, DUK_ERR_ERROR, "the script [%s] failed", name);
    case PrivateResult::kMainError: return duk_throw(ctx);
    }
    return 0;
}

duk_ret_t ReloadScript(duk_context* ctx) {
    if (!duk_is_object(ctx, 0)) RaiseArgError(ctx, DUK_ERR_TYPE_ERROR, 0, "module", "a module from LoadScript");
    duk_get_prop_string(ctx, 0, kScriptNameKey);
    const char* name = duk_get_string(ctx, -1);  // stays on the stack while used
    if (!name || !*name) {
        duk_push_false(ctx);
        return 1;
    }
    switch (RunPrivately(ctx, name, 0)) {
    case PrivateResult::kOk: duk_push_true(ctx); return 1;
    case PrivateResult::kMissing: return duk_error(ctx, DUK_ERR_REFERENCE_ERROR, "Couldn't load script [%s]", name);
    case PrivateResult::kScriptError:
        RaisePendingFatal(ctx);  // raises: the fatal is pending
        RaiseCallError(ctx, DUK_ERR_ERROR, "the script [%s] failed", name);
    case PrivateResult::kMainError: return duk_throw(ctx);
    }
    return 0;
}

bool Exists(duk_context* ctx, const char* name) {
    CResourceCache* resources = Resources(ctx);
    return resources && resources->ResourceExists(name, kScriptTag);
}

duk_ret_t ScriptExists(duk_context* ctx) {
    const char* name = ArgString(ctx, 0, "name");
    duk_push_boolean(ctx, Exists(ctx, name));
    return 1;
}

duk_ret_t DestroyScript(duk_context*) { return 0; }

}  // namespace

bool StartModuleAPI(duk_context* ctx) {
    Imported().clear();
    RegisterFunction(ctx, "Import", Import, 1);
    RegisterFunction(ctx, "ImportOnce", ImportOnce, 1);
    RegisterFunction(ctx, "LoadScript", LoadScript, 1);
    RegisterFunction(ctx, "ReloadScript", ReloadScript, 1);
    RegisterFunction(ctx, "ScriptExists", ScriptExists, 1);
    RegisterFunction(ctx, "DestroyScript", DestroyScript, 1);
    return true;
}

void StopModuleAPI(duk_context*) {
    Imported().clear();
    ReleaseScratch();
}

}  // namespace ove
