#include "Binding.h"

#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <functional>
#include <map>
#include <new>
#include <vector>

#include "ScriptHost.h"

namespace ove {

namespace {

// Hidden keys: script code cannot name a key that begins with byte 0xFF.
constexpr const char* kNativeKey = DUK_HIDDEN_SYMBOL("native");
constexpr const char* kClassKey = DUK_HIDDEN_SYMBOL("class");
constexpr const char* kCtorKey = DUK_HIDDEN_SYMBOL("ctor");
constexpr const char* kDestroyKey = DUK_HIDDEN_SYMBOL("destroy");
constexpr const char* kVisiblePtr = "_ptr";
// The name argument errors give a native function, and whether it is an accessor's setter.
constexpr const char* kFunctionNameKey = DUK_HIDDEN_SYMBOL("fname");
constexpr const char* kSetterKey = DUK_HIDDEN_SYMBOL("setter");

constexpr uint32_t kFirstKeepKey = 0xCB000000u;
uint32_t g_keepCounter = kFirstKeepKey;

// Class name -> base class name ("" for none). Consulted when checking the class an object was
// bound as, which script code cannot change (unlike prototypes and globals).
std::map<std::string, std::string, std::less<>>& Bases() {
    static std::map<std::string, std::string, std::less<>> bases;
    return bases;
}

// Prototypes already looked up, by the address of the class-name text the caller passed (the
// same literal at every call of a binding), so that the per-call path formats and interns no key.
// A prototype stays alive under its hidden global for as long as the heap.
struct SProtoEntry {
    const char* name;
    void* prototype;
    void* classString;  // the interned class name, as bound objects store it
};
std::vector<SProtoEntry> g_prototypes;

// The interned hidden keys, so that the per-call path looks properties up by address instead of
// interning the key text again. Kept reachable from the stash: an address stays the string's.
void* g_nativeKeyString = nullptr;
void* g_classKeyString = nullptr;

// Pushes `text` as an interned string kept alive under `stashKey` for the heap's lifetime.
void* KeepString(duk_context* ctx, const char* text, const char* stashKey) {
    duk_push_global_stash(ctx);
    duk_push_string(ctx, text);
    void* address = duk_get_heapptr(ctx, -1);
    duk_put_prop_string(ctx, -2, stashKey);
    duk_pop(ctx);
    return address;
}

const SProtoEntry* FindPrototype(duk_context* ctx, const char* className);

bool DerivesFrom(const char* bound, const char* className) {
    if (!bound || !className) return false;
    std::string_view current = bound;
    for (int guard = 0; guard < 64; ++guard) {
        if (current == className) return true;
        auto it = Bases().find(current);
        if (it == Bases().end() || it->second.empty()) return false;
        current = it->second;
    }
    return false;
}

void ProtoKey(char* key, std::size_t size, const char* className) {
    std::snprintf(key, size, "\xFF%s:proto", className);
}

void StashKey(char* key, std::size_t size, ScriptHandle handle, const char* prefix) {
    std::snprintf(key, size, "%s%08" PRIXPTR, prefix ? prefix : "", handle);
}

// Normalises an index, pushing `this` for kThisIndex. Returns the absolute index and whether a
// value was pushed that the caller must pop.
duk_idx_t Resolve(duk_context* ctx, duk_idx_t index, bool& pushed) {
    if (index == kThisIndex) {
        duk_push_this(ctx);
        pushed = true;
        return duk_get_top_index(ctx);
    }
    pushed = false;
    return duk_normalize_index(ctx, index);
}

// Pushes the object's own value under `key`: a value the object merely inherits (from a bound
// object it was created from) reads as undefined. Only meaningful for keys that native code sets.
void PushOwnHidden(duk_context* ctx, duk_idx_t obj, const char* key) {
    duk_get_prop_string(ctx, obj, key);
    if (duk_is_undefined(ctx, -1)) return;
    duk_get_prototype(ctx, obj);
    if (duk_is_object(ctx, -1)) {
        duk_get_prop_string(ctx, -1, key);
        bool inherited = duk_strict_equals(ctx, -1, -3);
        duk_pop_2(ctx);
        if (inherited) {
            duk_pop(ctx);
            duk_push_undefined(ctx);
        }
    } else {
        duk_pop(ctx);
    }
}

// Walks the prototype chain of the value at `obj` looking for the object at `proto`.
bool ChainContains(duk_context* ctx, duk_idx_t obj, duk_idx_t proto) {
    if (!duk_is_object(ctx, obj) || !duk_is_object(ctx, proto)) return false;
    duk_get_prototype(ctx, obj);
    bool found = false;
    for (int guard = 0; guard < 10000 && duk_is_object(ctx, -1); ++guard) {
        if (duk_strict_equals(ctx, -1, proto)) {
            found = true;
            break;
        }
        duk_get_prototype(ctx, -1);
        duk_remove(ctx, -2);
    }
    duk_pop(ctx);
    return found;
}

enum class Probe { kOk, kNotInstance, kNoNative };

// Pushes the value of the property whose interned key is at `key` on the object at `obj`.
void PushByKey(duk_context* ctx, duk_idx_t obj, void* key) {
    duk_push_heapptr(ctx, key);
    duk_get_prop(ctx, obj);
}

// The last object ProbeDirect accepted, as it was then. Hidden keys are written only through
// SetNativePointer, which bumps the epoch: while the epoch holds, that object still has the same
// own values, so its prototype (script can change it) and one lookup of its native value are
// enough. The lookup is what tells a new object at a freed one's address apart: it has no own
// native value, and the class prototype lends none.
// Script reads several properties of one object in a row, so this one entry saves most lookups.
// The class's name and prototype are copied: g_prototypes may grow (and move) in between.
struct SLastProbe {
    void* object = nullptr;
    const char* className = nullptr;
    void* prototype = nullptr;
    void* native = nullptr;
    std::uint64_t epoch = 0;
};
SLastProbe g_lastProbe;
std::uint64_t g_bindingEpoch = 1;

bool ProbeRemembered(duk_context* ctx, duk_idx_t obj, const char* className, void** native) {
    if (g_lastProbe.epoch != g_bindingEpoch || !g_lastProbe.className || g_lastProbe.className != className ||
        duk_get_heapptr(ctx, obj) != g_lastProbe.object)
        return false;
    duk_get_prototype(ctx, obj);
    bool same = duk_get_heapptr(ctx, -1) == g_lastProbe.prototype;
    duk_pop(ctx);
    if (!same) return false;
    PushByKey(ctx, obj, g_nativeKeyString);
    same = duk_is_pointer(ctx, -1) && duk_get_pointer(ctx, -1) == g_lastProbe.native;
    duk_pop(ctx);
    if (same) *native = g_lastProbe.native;
    return same;
}

// The common case, checked by address only: an object the binding made for exactly this class,
// its own prototype the class's. Answers only kOk; anything else takes the general path.
bool ProbeDirect(duk_context* ctx, duk_idx_t obj, const char* className, void** native) {
    if (ProbeRemembered(ctx, obj, className, native)) return true;
    const SProtoEntry* entry = FindPrototype(ctx, className);
    if (!entry || !duk_is_object(ctx, obj)) return false;
    if (!g_nativeKeyString) {
        g_nativeKeyString = KeepString(ctx, kNativeKey, DUK_HIDDEN_SYMBOL("nativeKey"));
        g_classKeyString = KeepString(ctx, kClassKey, DUK_HIDDEN_SYMBOL("classKey"));
    }
    duk_get_prototype(ctx, obj);
    bool ok = duk_get_heapptr(ctx, -1) == entry->prototype;
    if (ok) {
        // Own values only: one the prototype chain lends reads the same there (see PushOwnHidden).
        const duk_idx_t proto = duk_get_top_index(ctx);
        PushByKey(ctx, obj, g_classKeyString);
        PushByKey(ctx, proto, g_classKeyString);
        ok = duk_get_heapptr(ctx, -2) == entry->classString && !duk_strict_equals(ctx, -1, -2);
        duk_pop_2(ctx);
        if (ok) {
            PushByKey(ctx, obj, g_nativeKeyString);
            PushByKey(ctx, proto, g_nativeKeyString);
            *native = duk_is_pointer(ctx, -2) ? duk_get_pointer(ctx, -2) : nullptr;
            ok = *native && !duk_strict_equals(ctx, -1, -2);
            duk_pop_2(ctx);
        }
    }
    duk_pop(ctx);
    if (ok) g_lastProbe = {duk_get_heapptr(ctx, obj), entry->name, entry->prototype, *native, g_bindingEpoch};
    else *native = nullptr;
    return ok;
}

// Classifies the value at the absolute index `obj` as an X and reads its native object.
Probe ProbeNative(duk_context* ctx, duk_idx_t obj, const char* className, void** native) {
    *native = nullptr;
    if (ProbeDirect(ctx, obj, className, native)) return Probe::kOk;
    if (!IsInstance(ctx, obj, className)) return Probe::kNotInstance;
    PushOwnHidden(ctx, obj, kNativeKey);
    void* address = duk_is_pointer(ctx, -1) ? duk_get_pointer(ctx, -1) : nullptr;
    duk_pop(ctx);
    if (!address) return Probe::kNoNative;
    PushOwnHidden(ctx, obj, kClassKey);
    bool ok = DerivesFrom(duk_get_string(ctx, -1), className);
    duk_pop(ctx);
    if (!ok) return Probe::kNotInstance;  // bound as an unrelated class: a forged prototype
    *native = address;
    return Probe::kOk;
}

struct SGlobalDef {
    const char* name;
    int kind;  // 0 int, 1 double, 2 string
    double number;
    const char* text;
};

duk_ret_t DefineGlobalSafe(duk_context* ctx, void* udata) {
    auto* def = static_cast<const SGlobalDef*>(udata);
    duk_push_global_object(ctx);
    duk_push_string(ctx, def->name);
    if (def->kind == 2) duk_push_string(ctx, def->text ? def->text : "");
    else duk_push_number(ctx, def->number);
    duk_def_prop(ctx, -3,
                 DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_CLEAR_WRITABLE | DUK_DEFPROP_SET_ENUMERABLE |
                     DUK_DEFPROP_CLEAR_CONFIGURABLE | DUK_DEFPROP_FORCE);
    duk_pop(ctx);
    return 0;
}

void DefineGlobal(duk_context* ctx, const SGlobalDef& def) {
    if (duk_safe_call(ctx, DefineGlobalSafe, const_cast<SGlobalDef*>(&def), 0, 1) != DUK_EXEC_SUCCESS) {
        // Only an out-of-memory heap gets here; the global then stays as it was.
    }
    duk_pop(ctx);
}

duk_ret_t CreateByNew(duk_context* ctx) {
    duk_idx_t argc = duk_get_top(ctx);
    duk_push_current_function(ctx);
    duk_get_prop_string(ctx, -1, kCtorKey);
    duk_remove(ctx, -2);
    for (duk_idx_t i = 0; i < argc; ++i) duk_dup(ctx, i);
    duk_new(ctx, argc);
    return 1;
}

duk_ret_t DestroyByClass(duk_context* ctx) {
    duk_push_current_function(ctx);
    duk_get_prop_string(ctx, -1, kClassKey);
    const char* className = duk_get_string(ctx, -1);
    duk_get_prop_string(ctx, -2, kDestroyKey);
    auto destroy = reinterpret_cast<NativeDestroyer>(duk_get_pointer(ctx, -1));
    duk_pop(ctx);
    // The class name stays on the stack (index 2) while it is used.
    if (!className) RaiseCallError(ctx, DUK_ERR_ERROR, "the function is not tied to a class");
    void* native = nullptr;
    Probe probe = ProbeNative(ctx, 0, className, &native);
    if (probe == Probe::kNotInstance) {
        char expected[160];
        std::snprintf(expected, sizeof expected, "%s %s", std::strchr("AEIOU", className[0]) ? "an" : "a", className);
        RaiseArgError(ctx, DUK_ERR_TYPE_ERROR, 0, nullptr, expected);
    }
    if (probe == Probe::kNoNative) return 0;  // already destroyed
    SetNativePointer(ctx, 0, nullptr);
    char message[512];
    bool failed = false;
    try {
        if (destroy) destroy(ctx, native);
    } catch (...) {
        DescribeCurrentException(message, sizeof message);
        failed = true;
    }
    if (failed) return duk_error(ctx, DUK_ERR_ERROR, "%s", message);
    return 0;
}

struct SHandlerLookup {
    const char* name;
    bool found;
};

duk_ret_t LookupHandler(duk_context* ctx, void* udata) {
    auto* lookup = static_cast<SHandlerLookup*>(udata);
    duk_get_prop_string(ctx, -1, lookup->name);
    lookup->found = duk_is_function(ctx, -1);
    return 0;
}

void DefineNamedAccessor(duk_context* ctx, duk_idx_t objectIndex, const char* name, duk_c_function getter,
                         duk_c_function setter, const char* label) {
    duk_idx_t obj = duk_normalize_index(ctx, objectIndex);
    duk_uint_t flags = DUK_DEFPROP_SET_ENUMERABLE | DUK_DEFPROP_CLEAR_CONFIGURABLE;
    duk_push_string(ctx, name);
    if (getter) {
        duk_push_c_function(ctx, getter, 0);
        NameFunction(ctx, label);
        flags |= DUK_DEFPROP_HAVE_GETTER;
    }
    if (setter) {
        duk_push_c_function(ctx, setter, 1);
        NameFunction(ctx, label, true);
        flags |= DUK_DEFPROP_HAVE_SETTER;
    }
    duk_def_prop(ctx, obj, flags);
}

// Reports the error on top of the stack (without popping it) the way CallHandler/CallKept do.
void ReportCallbackError(duk_context* ctx, std::string* error) {
    if (error) {
        *error = ScriptErrorText(ctx, -1, true);
    } else {
        // An error that carries a pending fatal is already in the slot.
        std::string text = ScriptErrorText(ctx, -1, false);
        SetPendingFatal(text);
    }
}

}  // namespace

// ---------------------------------------------------------------- native pointers

void SetNativePointer(duk_context* ctx, duk_idx_t index, void* address, const char* className) {
    bool pushed;
    duk_idx_t obj = Resolve(ctx, index, pushed);
    if (!duk_is_object(ctx, obj)) {
        if (pushed) duk_pop(ctx);
        duk_error(ctx, DUK_ERR_TYPE_ERROR, "object required");
    }
    const duk_uint_t flags = DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_CLEAR_WRITABLE | DUK_DEFPROP_CLEAR_ENUMERABLE |
                             DUK_DEFPROP_CLEAR_CONFIGURABLE | DUK_DEFPROP_FORCE;
    ++g_bindingEpoch;  // whatever was probed may change below
    duk_push_string(ctx, kNativeKey);
    duk_push_pointer(ctx, address);
    duk_def_prop(ctx, obj, flags);
    duk_push_string(ctx, kVisiblePtr);
    duk_push_pointer(ctx, address);
    duk_def_prop(ctx, obj, flags);
    if (className) {
        duk_push_string(ctx, kClassKey);
        duk_push_string(ctx, className);
        duk_def_prop(ctx, obj, flags);
    }
    if (pushed) duk_pop(ctx);
}

void* GetNativePointer(duk_context* ctx, duk_idx_t index) {
    bool pushed;
    duk_idx_t obj = Resolve(ctx, index, pushed);
    if (duk_is_object(ctx, obj)) PushOwnHidden(ctx, obj, kNativeKey);
    else duk_push_undefined(ctx);
    void* address = duk_require_pointer(ctx, -1);
    duk_pop(ctx);
    if (pushed) duk_pop(ctx);
    return address;
}

bool IsInstance(duk_context* ctx, duk_idx_t index, const char* className) {
    bool pushed;
    duk_idx_t obj = Resolve(ctx, index, pushed);
    bool result = false;
    if (duk_is_object(ctx, obj) && className) {
        PushPrototype(ctx, className);
        if (duk_is_object(ctx, -1)) {
            result = ChainContains(ctx, obj, duk_get_top_index(ctx));
        } else {
            // Not one of ours: fall back on the global's prototype, read without running getters
            // of script objects (a function's `prototype` is a plain data property).
            duk_pop(ctx);
            duk_get_global_string(ctx, className);
            if (duk_is_function(ctx, -1) && !duk_is_lightfunc(ctx, -1) && !duk_is_bound_function(ctx, -1)) {
                duk_get_prop_string(ctx, -1, "prototype");
                result = ChainContains(ctx, obj, duk_get_top_index(ctx));
                duk_pop(ctx);
            }
        }
        duk_pop(ctx);
    }
    if (pushed) duk_pop(ctx);
    return result;
}

void* RequireNative(duk_context* ctx, duk_idx_t index, const char* className) {
    bool pushed;
    duk_idx_t obj = Resolve(ctx, index, pushed);
    void* native = nullptr;
    Probe probe = ProbeNative(ctx, obj, className, &native);
    if (pushed) duk_pop(ctx);
    if (probe == Probe::kNotInstance) duk_error(ctx, DUK_ERR_TYPE_ERROR, "%s expected", className);
    if (probe == Probe::kNoNative)
        duk_error(ctx, DUK_ERR_REFERENCE_ERROR, "%s has no associated native object", className);
    return native;
}

void* ThisNative(duk_context* ctx, const char* className) {
    duk_push_this(ctx);
    void* native = nullptr;
    Probe probe = ProbeNative(ctx, duk_get_top_index(ctx), className, &native);
    duk_pop(ctx);
    if (probe == Probe::kNotInstance) duk_error(ctx, DUK_ERR_TYPE_ERROR, "%s expected", className);
    if (probe == Probe::kNoNative)
        RaiseCallError(ctx, DUK_ERR_REFERENCE_ERROR, "the %s has no associated native object", className);
    return native;
}

void RequireConstructorCall(duk_context* ctx) {
    if (!duk_is_constructor_call(ctx)) RaiseCallError(ctx, DUK_ERR_TYPE_ERROR, "must be called with new");
}

void* GetNativeIf(duk_context* ctx, duk_idx_t index, const char* className) {
    bool pushed;
    duk_idx_t obj = Resolve(ctx, index, pushed);
    void* native = nullptr;
    ProbeNative(ctx, obj, className, &native);
    if (pushed) duk_pop(ctx);
    return native;
}

// ---------------------------------------------------------------- classes

void RegisterClass(duk_context* ctx, const SClassDef& def) {
    char key[256];
    duk_push_object(ctx);  // the prototype
    duk_idx_t proto = duk_get_top_index(ctx);
    if (def.base) {
        PushPrototype(ctx, def.base);
        if (!duk_is_object(ctx, -1)) duk_error(ctx, DUK_ERR_ERROR, "base class %s not registered", def.base);
        duk_set_prototype(ctx, proto);
    }
    if (def.methods) {
        duk_put_function_list(ctx, proto, def.methods);
        for (const duk_function_list_entry* m = def.methods; m->key; ++m) {
            duk_get_prop_string(ctx, proto, m->key);
            std::snprintf(key, sizeof key, "%s.%s", def.name, m->key);
            if (duk_is_function(ctx, -1)) NameFunction(ctx, key);
            duk_pop(ctx);
        }
    }
    if (def.accessors) {
        for (const SAccessor* a = def.accessors; a->name; ++a) {
            std::snprintf(key, sizeof key, "%s.%s", def.name, a->name);
            DefineNamedAccessor(ctx, proto, a->name, a->getter, a->setter, key);
        }
    }

    // A class registered again gets a new prototype: forget the old one.
    std::erase_if(g_prototypes, [&](const SProtoEntry& e) { return std::strcmp(e.name, def.name) == 0; });
    ProtoKey(key, sizeof key, def.name);
    duk_dup(ctx, proto);
    duk_put_global_string(ctx, key);

    duk_push_c_function(ctx, def.constructor, def.constructorArgs);
    NameFunction(ctx, def.name);
    duk_push_string(ctx, "prototype");
    duk_dup(ctx, proto);
    duk_def_prop(ctx, -3,
                 DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_CLEAR_WRITABLE | DUK_DEFPROP_CLEAR_ENUMERABLE |
                     DUK_DEFPROP_CLEAR_CONFIGURABLE | DUK_DEFPROP_FORCE);
    duk_push_string(ctx, "constructor");
    duk_dup(ctx, -2);
    duk_def_prop(ctx, proto,
                 DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_SET_WRITABLE | DUK_DEFPROP_CLEAR_ENUMERABLE |
                     DUK_DEFPROP_SET_CONFIGURABLE);
    duk_put_global_string(ctx, def.name);
    duk_pop(ctx);  // the prototype

    Bases()[def.name] = def.base ? def.base : "";
}

namespace {

const SProtoEntry* FindPrototype(duk_context* ctx, const char* className) {
    for (const SProtoEntry& e : g_prototypes)
        if (e.name == className) return &e;
    if (!className || g_prototypes.size() >= 256) return nullptr;
    char key[256];
    ProtoKey(key, sizeof key, className);
    duk_get_global_string(ctx, key);
    void* prototype = duk_is_object(ctx, -1) ? duk_get_heapptr(ctx, -1) : nullptr;
    duk_pop(ctx);
    if (!prototype) return nullptr;
    std::snprintf(key, sizeof key, "\xFF%s:name", className);
    g_prototypes.push_back(SProtoEntry{className, prototype, KeepString(ctx, className, key)});
    return &g_prototypes.back();
}

}  // namespace

void PushPrototype(duk_context* ctx, const char* className) {
    if (const SProtoEntry* e = FindPrototype(ctx, className)) {
        duk_push_heapptr(ctx, e->prototype);
        return;
    }
    char key[256];
    ProtoKey(key, sizeof key, className);
    duk_get_global_string(ctx, key);
}

void PushNewInstance(duk_context* ctx, const char* className, void* native) {
    duk_push_object(ctx);
    PushPrototype(ctx, className);
    if (duk_is_object(ctx, -1)) duk_set_prototype(ctx, -2);
    else duk_pop(ctx);
    SetNativePointer(ctx, -1, native, className);
}

void BindThis(duk_context* ctx, void* native, const char* className) {
    SetNativePointer(ctx, kThisIndex, native, className);
}

ScriptHandle BindThisHandle(duk_context* ctx, void* native, const char* className, const char* prefix) {
    SetNativePointer(ctx, kThisIndex, native, className);
    duk_push_this(ctx);
    ScriptHandle handle = BindHandle(ctx, -1, reinterpret_cast<ScriptHandle>(native), prefix);
    duk_pop(ctx);
    return handle;
}

void RegisterCreateFunction(duk_context* ctx, const char* functionName, const char* className, duk_idx_t argCount) {
    duk_push_c_function(ctx, CreateByNew, argCount);
    NameFunction(ctx, functionName);
    duk_get_global_string(ctx, className);  // the constructor as registered
    duk_put_prop_string(ctx, -2, kCtorKey);
    duk_put_global_string(ctx, functionName);
}

void RegisterDestroyFunction(duk_context* ctx, const char* functionName, const char* className,
                             NativeDestroyer destroy) {
    duk_push_c_function(ctx, DestroyByClass, 1);
    NameFunction(ctx, functionName);
    duk_push_string(ctx, className);
    duk_put_prop_string(ctx, -2, kClassKey);
    duk_push_pointer(ctx, reinterpret_cast<void*>(destroy));
    duk_put_prop_string(ctx, -2, kDestroyKey);
    duk_put_global_string(ctx, functionName);
}

// ---------------------------------------------------------------- handles

std::string HandleKey(ScriptHandle handle, const char* prefix) {
    char key[160];
    StashKey(key, sizeof key, handle, prefix);
    return key;
}

ScriptHandle BindHandle(duk_context* ctx, duk_idx_t index, ScriptHandle handle, const char* prefix) {
    if (handle == 0) return 0;
    char key[160];
    StashKey(key, sizeof key, handle, prefix);
    duk_idx_t obj = duk_normalize_index(ctx, index);
    duk_push_global_stash(ctx);
    duk_dup(ctx, obj);
    duk_put_prop_string(ctx, -2, key);
    duk_pop(ctx);
    return handle;
}

void PushBound(duk_context* ctx, ScriptHandle handle, const char* prefix) {
    if (handle == 0) {
        duk_push_undefined(ctx);
        return;
    }
    char key[160];
    StashKey(key, sizeof key, handle, prefix);
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, key);
    duk_remove(ctx, -2);
}

void UnbindHandle(duk_context* ctx, ScriptHandle handle, const char* prefix) {
    if (handle == 0) return;
    char key[160];
    StashKey(key, sizeof key, handle, prefix);
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, key);
    if (duk_is_object(ctx, -1)) SetNativePointer(ctx, -1, nullptr);
    duk_pop(ctx);
    duk_del_prop_string(ctx, -1, key);
    duk_pop(ctx);
}

// ---------------------------------------------------------------- kept values

int32_t KeepValue(duk_context* ctx, duk_idx_t index) {
    duk_idx_t value = duk_normalize_index(ctx, index);
    auto key = static_cast<int32_t>(g_keepCounter++);
    duk_push_global_stash(ctx);
    duk_push_int(ctx, key);
    duk_dup(ctx, value);
    duk_put_prop(ctx, -3);
    duk_pop(ctx);
    return key;
}

namespace {

// A call that did not run because the run is ending reports the fatal that ends it (and leaves it
// pending for the outermost evaluation).
void CopyPendingFatal(std::string* error) {
    if (!error) return;
    *error = TakePendingFatal();
    SetPendingFatal(*error);
}

}  // namespace

bool CallKept(duk_context* ctx, int32_t key, std::string* error) {
    duk_push_global_stash(ctx);
    duk_push_int(ctx, key);
    if (!duk_has_prop(ctx, -2)) {
        duk_pop(ctx);
        return false;
    }
    duk_pop(ctx);
    // Nothing runs once a fatal is pending, nor past the nesting limit (which makes one).
    if (HasPendingFatal() || !EnterScript()) {
        CopyPendingFatal(error);
        return true;
    }
    duk_push_global_stash(ctx);
    duk_push_int(ctx, key);
    duk_get_prop(ctx, -2);
    duk_remove(ctx, -2);
    if (duk_pcall(ctx, 0) != DUK_EXEC_SUCCESS) ReportCallbackError(ctx, error);
    duk_pop(ctx);
    LeaveScript();
    return true;
}

// ---------------------------------------------------------------- handlers

bool FindHandler(duk_context* ctx, const char* name) {
    if (!duk_is_object(ctx, -1)) {
        duk_pop(ctx);
        return false;
    }
    SHandlerLookup lookup{name, false};
    duk_dup_top(ctx);
    duk_safe_call(ctx, LookupHandler, &lookup, 1, 1);
    duk_pop(ctx);
    if (!lookup.found) {
        duk_pop(ctx);
        return false;
    }
    duk_push_string(ctx, name);
    return true;
}

bool CallHandler(duk_context* ctx, duk_idx_t argCount, std::string* error) {
    duk_idx_t obj = duk_get_top(ctx) - argCount - 2;
    if (HasPendingFatal() || !EnterScript()) {
        CopyPendingFatal(error);
        duk_set_top(ctx, obj);
        return false;
    }
    bool ok = duk_pcall_prop(ctx, obj, argCount) == DUK_EXEC_SUCCESS;
    if (!ok) ReportCallbackError(ctx, error);
    duk_pop_2(ctx);
    LeaveScript();
    return ok;
}

// ---------------------------------------------------------------- globals and functions

void DefineGlobalNumber(duk_context* ctx, const char* name, int32_t value) {
    DefineGlobal(ctx, SGlobalDef{name, 0, static_cast<double>(value), nullptr});
}

void DefineGlobalDouble(duk_context* ctx, const char* name, double value) {
    DefineGlobal(ctx, SGlobalDef{name, 1, value, nullptr});
}

void DefineGlobalString(duk_context* ctx, const char* name, const char* value) {
    DefineGlobal(ctx, SGlobalDef{name, 2, 0.0, value});
}

void RegisterFunction(duk_context* ctx, const char* name, duk_c_function function, duk_idx_t argCount) {
    duk_push_c_function(ctx, function, argCount < 0 ? DUK_VARARGS : argCount);
    NameFunction(ctx, name);
    duk_put_global_string(ctx, name);
}

void DefineAccessor(duk_context* ctx, duk_idx_t objectIndex, const char* name, duk_c_function getter,
                    duk_c_function setter) {
    DefineNamedAccessor(ctx, objectIndex, name, getter, setter, name);
}

// ---------------------------------------------------------------- arguments

int32_t ArgInt(duk_context* ctx, duk_idx_t index, const char* argName) {
    if (!duk_is_number(ctx, index)) RaiseArgError(ctx, DUK_ERR_TYPE_ERROR, index, argName, "a number");
    return static_cast<int32_t>(duk_get_int(ctx, index));
}

uint32_t ArgUnsigned(duk_context* ctx, duk_idx_t index, const char* argName) {
    if (!duk_is_number(ctx, index)) RaiseArgError(ctx, DUK_ERR_TYPE_ERROR, index, argName, "a number");
    return static_cast<uint32_t>(duk_get_uint(ctx, index));
}

double ArgNumber(duk_context* ctx, duk_idx_t index, const char* argName) {
    if (!duk_is_number(ctx, index)) RaiseArgError(ctx, DUK_ERR_TYPE_ERROR, index, argName, "a number");
    return duk_get_number(ctx, index);
}

float ArgFloat(duk_context* ctx, duk_idx_t index, const char* argName) {
    return static_cast<float>(ArgNumber(ctx, index, argName));
}

const char* ArgString(duk_context* ctx, duk_idx_t index, const char* argName) {
    if (!duk_is_string(ctx, index)) RaiseArgError(ctx, DUK_ERR_TYPE_ERROR, index, argName, "a string");
    return duk_get_string(ctx, index);
}

bool ArgBool(duk_context* ctx, duk_idx_t index) {
    duk_dup(ctx, index);
    bool value = duk_to_boolean(ctx, -1);
    duk_pop(ctx);
    return value;
}

int32_t OptInt(duk_context* ctx, duk_idx_t index, int32_t fallback, const char* argName) {
    return duk_is_undefined(ctx, index) ? fallback : ArgInt(ctx, index, argName);
}

double OptNumber(duk_context* ctx, duk_idx_t index, double fallback, const char* argName) {
    return duk_is_undefined(ctx, index) ? fallback : ArgNumber(ctx, index, argName);
}

int ReadPoint(duk_context* ctx, duk_idx_t index, int32_t& x, int32_t& y, const char* xKey, const char* yKey) {
    duk_idx_t at = duk_normalize_index(ctx, index);
    if (at < 0) return 0;
    if (duk_is_object(ctx, at) && !duk_is_function(ctx, at)) {
        duk_get_prop_string(ctx, at, xKey);
        int32_t px = static_cast<int32_t>(duk_to_int(ctx, -1));
        duk_get_prop_string(ctx, at, yKey);
        int32_t py = static_cast<int32_t>(duk_to_int(ctx, -1));
        duk_pop_2(ctx);
        x = px;
        y = py;
        return 1;
    }
    if (duk_is_number(ctx, at) && duk_is_number(ctx, at + 1)) {
        x = ArgInt(ctx, at);
        y = ArgInt(ctx, at + 1);
        return 2;
    }
    return 0;
}

int ArgPoint(duk_context* ctx, duk_idx_t index, int32_t& x, int32_t& y, const char* firstExpected) {
    int used = ReadPoint(ctx, index, x, y);
    if (used != 0) return used;
    duk_idx_t at = duk_normalize_index(ctx, index);
    if (at < 0) at = duk_get_top(ctx);  // past the end: reported as missing
    if (!duk_is_number(ctx, at))
        RaiseArgError(ctx, DUK_ERR_TYPE_ERROR, at, "x", firstExpected ? firstExpected : "a point {x, y} or a number");
    RaiseArgError(ctx, DUK_ERR_TYPE_ERROR, at + 1, "y", "a number");
}

// ---------------------------------------------------------------- argument errors

void NameFunction(duk_context* ctx, const char* name, bool setter) {
    duk_push_string(ctx, name ? name : "");
    duk_put_prop_string(ctx, -2, kFunctionNameKey);
    // The standard name too, so that stacks say "at Display () native" instead of "[anon]".
    duk_push_string(ctx, "name");
    duk_push_string(ctx, name ? name : "");
    duk_def_prop(ctx, -3,
                 DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_CLEAR_WRITABLE | DUK_DEFPROP_CLEAR_ENUMERABLE |
                     DUK_DEFPROP_SET_CONFIGURABLE | DUK_DEFPROP_FORCE);
    if (setter) {
        duk_push_true(ctx);
        duk_put_prop_string(ctx, -2, kSetterKey);
    }
}

namespace {

// The registered name of the running native function and whether it is a setter.
bool CallLabel(duk_context* ctx, char* buffer, std::size_t size) {
    if (size == 0) return false;
    buffer[0] = '\0';
    duk_push_current_function(ctx);
    bool setter = false;
    if (duk_is_function(ctx, -1)) {
        duk_get_prop_string(ctx, -1, kFunctionNameKey);
        if (const char* name = duk_get_string(ctx, -1)) std::snprintf(buffer, size, "%s", name);
        duk_get_prop_string(ctx, -2, kSetterKey);
        setter = duk_get_boolean(ctx, -1) != 0;
        duk_pop_2(ctx);
    }
    duk_pop(ctx);
    return setter;
}

void AppendQuoted(const char* s, std::size_t length, char* buffer, std::size_t size) {
    constexpr std::size_t kShown = 40;
    std::size_t n = std::strlen(buffer);
    auto put = [&](const char* text) {
        std::size_t k = std::strlen(text);
        if (n + k + 1 > size) return;
        std::memcpy(buffer + n, text, k + 1);
        n += k;
    };
    put("string \"");
    for (std::size_t i = 0; i < length && i < kShown; ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        char piece[8];
        if (c == '"' || c == '\\') std::snprintf(piece, sizeof piece, "\\%c", c);
        else if (c < 0x20 || c == 0x7F) std::snprintf(piece, sizeof piece, "\\x%02X", c);
        else std::snprintf(piece, sizeof piece, "%c", c);
        put(piece);
    }
    put(length > kShown ? "\"..." : "\"");
}

}  // namespace

void CurrentFunctionName(duk_context* ctx, char* buffer, std::size_t size) { CallLabel(ctx, buffer, size); }

void DescribeArgument(duk_context* ctx, duk_idx_t index, char* buffer, std::size_t size) {
    if (size == 0) return;
    buffer[0] = '\0';
    duk_idx_t at = duk_normalize_index(ctx, index);
    if (at < 0) {
        std::snprintf(buffer, size, "nothing");
        return;
    }
    switch (duk_get_type(ctx, at)) {
    case DUK_TYPE_UNDEFINED: std::snprintf(buffer, size, "undefined"); return;
    case DUK_TYPE_NULL: std::snprintf(buffer, size, "null"); return;
    case DUK_TYPE_BOOLEAN:
        std::snprintf(buffer, size, "boolean %s", duk_get_boolean(ctx, at) ? "true" : "false");
        return;
    case DUK_TYPE_NUMBER: {
        double v = duk_get_number(ctx, at);
        if (std::isnan(v)) std::snprintf(buffer, size, "number NaN");
        else if (std::isinf(v)) std::snprintf(buffer, size, "number %sInfinity", v < 0 ? "-" : "");
        else std::snprintf(buffer, size, "number %.15g", v);
        return;
    }
    case DUK_TYPE_STRING: {
        if (duk_is_symbol(ctx, at)) {
            std::snprintf(buffer, size, "a symbol");
            return;
        }
        duk_size_t length = 0;
        const char* s = duk_get_lstring(ctx, at, &length);
        AppendQuoted(s ? s : "", s ? length : 0, buffer, size);
        return;
    }
    case DUK_TYPE_OBJECT: {
        if (duk_is_function(ctx, at)) {
            std::snprintf(buffer, size, "a function");
            return;
        }
        if (duk_is_array(ctx, at)) {
            std::snprintf(buffer, size, "an array");
            return;
        }
        // A bound object names the class it was bound as, which script cannot change.
        PushOwnHidden(ctx, at, kClassKey);
        const char* bound = duk_get_string(ctx, -1);
        if (bound && *bound) {
            const bool vowel = std::strchr("AEIOUaeiou", bound[0]) != nullptr;
            std::snprintf(buffer, size, "%s %s", vowel ? "an" : "a", bound);
        } else {
            std::snprintf(buffer, size, "an object");
        }
        duk_pop(ctx);
        return;
    }
    case DUK_TYPE_BUFFER: std::snprintf(buffer, size, "a buffer"); return;
    case DUK_TYPE_POINTER: std::snprintf(buffer, size, "a pointer"); return;
    case DUK_TYPE_LIGHTFUNC: std::snprintf(buffer, size, "a function"); return;
    default: std::snprintf(buffer, size, "nothing"); return;
    }
}

void RaiseArgError(duk_context* ctx, duk_errcode_t type, duk_idx_t index, const char* argName, const char* expected) {
    char function[128];
    const bool setter = CallLabel(ctx, function, sizeof function);
    char got[128];
    DescribeArgument(ctx, index, got, sizeof got);
    char what[96];
    if (setter) std::snprintf(what, sizeof what, "the value");
    else if (argName && *argName)
        std::snprintf(what, sizeof what, "argument %d (%s)", static_cast<int>(index) + 1, argName);
    else std::snprintf(what, sizeof what, "argument %d", static_cast<int>(index) + 1);
    if (function[0])
        duk_error(ctx, type, "%s: %s must be %s, got %s", function, what, expected ? expected : "valid", got);
    duk_error(ctx, type, "%s must be %s, got %s", what, expected ? expected : "valid", got);
    __builtin_unreachable();  // duk_error longjmps; this build of the library does not say so
}

void RaiseCallError(duk_context* ctx, duk_errcode_t type, const char* format, ...) {
    char function[128];
    CallLabel(ctx, function, sizeof function);
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (function[0]) duk_error(ctx, type, "%s: %s", function, text);
    duk_error(ctx, type, "%s", text);
    __builtin_unreachable();
}

void PushPoint(duk_context* ctx, int32_t x, int32_t y) {
    duk_push_object(ctx);
    duk_push_int(ctx, x);
    duk_put_prop_string(ctx, -2, "x");
    duk_push_int(ctx, y);
    duk_put_prop_string(ctx, -2, "y");
}

// ---------------------------------------------------------------- C++ exceptions

void DescribeCurrentException(char* buffer, std::size_t size) {
    if (size == 0) return;
    buffer[0] = '\0';
    try {
        throw;
    } catch (const std::exception& e) {
        std::snprintf(buffer, size, "%s", e.what());
    } catch (const std::string& s) {
        std::snprintf(buffer, size, "%s", s.c_str());
    } catch (const char* s) {
        std::snprintf(buffer, size, "%s", s ? s : "");
    } catch (...) {
        std::snprintf(buffer, size, "%s", "native error");
    }
    // Texts thrown by the engine end with a line feed; a script error message does not.
    std::size_t n = std::strlen(buffer);
    while (n > 0 && (buffer[n - 1] == '\n' || buffer[n - 1] == '\r')) buffer[--n] = '\0';
}

void ResetBindingState() {
    g_keepCounter = kFirstKeepKey;
    Bases().clear();
    g_prototypes.clear();
    g_nativeKeyString = g_classKeyString = nullptr;
    g_lastProbe = {};
}

}  // namespace ove
