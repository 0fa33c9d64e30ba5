// Native-binding helpers shared by every script API file (bindings/JS*.cpp).
//
// HOW A BINDING FILE USES THESE
//   Constructor of X:   RequireConstructorCall(ctx);
//                       read the arguments; create the native object through the game;
//                       BindThis(ctx, native, "X")  (or BindThisHandle for "gui@"/"layer@" kinds)
//   Failures:           RaiseArgError / RaiseCallError, never a bare `return DUK_RET_...`: the
//                       engine's text for those ("error (rc -4)") names neither the function nor
//                       the problem.
//   Method / accessor:  auto* x = static_cast<CX*>(ThisNative(ctx, "X"));
//   Argument of X:      auto* x = static_cast<CX*>(RequireNative(ctx, 0, "X"));
//   Registration:       RegisterClass(ctx, {"X", "Base", Ctor, 1, methods, accessors});
//                       RegisterCreateFunction(ctx, "CreateX", "X", 1);
//                       RegisterDestroyFunction(ctx, "DestroyX", "X", DestroyNativeX);
//
// THE LONGJMP RULE (read before writing a native function)
//   Raising a script error (duk_error, duk_throw, a failing duk_require_*, any helper below that
//   says "raises", or an error thrown by script code reached through an unprotected duk_call)
//   longjmps out of the native function. Nothing with a destructor may be alive in that frame or
//   in any C++ frame between it and Duktape: no std::string, std::vector, unique_ptr, lock, ...
//   So: read all arguments into plain values first (const char* from the value stack stays valid
//   while the value is on the stack), then do the C++ work inside a separate function or a
//   block scope that ends before anything can raise, and raise only after those objects are gone.
//   Build error messages in a fixed char buffer, or pass the parts to duk_error's printf format.
//   When a C++ call may throw, wrap the native function in Guarded<> below: a C++ exception must
//   never cross a Duktape frame either.
//
// Every helper keeps the value stack balanced unless it says it pushes or pops.
#pragma once
#include <duktape.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>

#include "script/ScriptRuntime.h"

namespace ove {

// The special index meaning "the `this` binding of the current native call".
constexpr duk_idx_t kThisIndex = INT32_MIN;

// ScriptHandle (script/ScriptRuntime.h): a native object's key in the global stash (its own
// address; 0 = not bound).

// Stash-key prefixes of the kinds whose native objects find their own script object.
inline constexpr const char* kGuiPrefix = "gui@";
inline constexpr const char* kLayerPrefix = "layer@";

// ---------------------------------------------------------------- native pointers
// A bound script object holds its native object's address under a hidden key that script cannot
// reach, with the name of the class it was bound as; `_ptr` mirrors the address as a read-only,
// non-enumerable pointer value (null once the native object is gone). Script can neither forge
// nor copy a binding, and an object that merely inherits from a bound one counts as unbound.

// Binds (or, with a null address, unbinds) the object at `index` (or `this`). `className` names
// the class the object is bound as; it is kept when unbinding with null. Raises TypeError when
// the value is not an object.
void SetNativePointer(duk_context* ctx, duk_idx_t index, void* address, const char* className = nullptr);
// The raw address of the object at `index` (or `this`); null when unbound. A value that was
// never bound raises the engine's TypeError for a required pointer.
void* GetNativePointer(duk_context* ctx, duk_idx_t index);
// The value at `index` is an instance of the registered class (its prototype chain contains the
// class's hidden prototype); for a class not registered here, `instanceof` the global of that
// name. Never raises.
bool IsInstance(duk_context* ctx, duk_idx_t index, const char* className);
// RequireX: the native object of the argument at `index`, which must be an X bound as X (or as a
// class derived from X). Raises TypeError "X expected" or ReferenceError
// "X has no associated native object".
void* RequireNative(duk_context* ctx, duk_idx_t index, const char* className);
// The native object of `this` for methods and accessors of X. Raises TypeError "X expected" when
// `this` is not an X, and ReferenceError "X.Method: the X has no associated native object" when
// it has none.
void* ThisNative(duk_context* ctx, const char* className);
// Constructors: raises TypeError "X: must be called with new" unless called with `new`.
void RequireConstructorCall(duk_context* ctx);
// The native object at `index` when it is a bound X, else null. Never raises.
void* GetNativeIf(duk_context* ctx, duk_idx_t index, const char* className);

template <class T>
T* Require(duk_context* ctx, duk_idx_t index, const char* className) {
    return static_cast<T*>(RequireNative(ctx, index, className));
}
template <class T>
T* This(duk_context* ctx, const char* className) {
    return static_cast<T*>(ThisNative(ctx, className));
}

// ---------------------------------------------------------------- classes
struct SAccessor {
    const char* name;
    duk_c_function getter;  // may be null
    duk_c_function setter;  // may be null
};

struct SClassDef {
    const char* name;                        // "Sprite"
    const char* base;                        // "DrawingElement", or null
    duk_c_function constructor;              // must check duk_is_constructor_call
    duk_idx_t constructorArgs;               // DUK_VARARGS for variable
    const duk_function_list_entry* methods;  // null-terminated list, or null
    const SAccessor* accessors;              // list ended by a null name, or null
};

// Creates the prototype (inheriting from the base's), defines methods and accessors on it, stores
// it in the hidden global "\xFF<name>:proto" and makes the global constructor <name> whose
// non-writable `prototype` is it. The base must be registered first (raises Error otherwise).
void RegisterClass(duk_context* ctx, const SClassDef& def);
// Pushes the class's hidden prototype (undefined when the class is not registered).
void PushPrototype(duk_context* ctx, const char* className);
// Pushes a new object of the class bound to `native`, without calling the constructor (for
// functions that hand out objects, such as loaders).
void PushNewInstance(duk_context* ctx, const char* className, void* native);
// Constructor helpers: bind `this` to the native object; the handle variant also stores `this`
// in the stash under the prefix and returns the handle for the native object to keep.
void BindThis(duk_context* ctx, void* native, const char* className);
ScriptHandle BindThisHandle(duk_context* ctx, void* native, const char* className, const char* prefix);

// Global `functionName` doing exactly `new className(...)` with its first `argCount` arguments
// (DUK_VARARGS: all). Uses the constructor as registered, whatever script later did to the global.
void RegisterCreateFunction(duk_context* ctx, const char* functionName, const char* className, duk_idx_t argCount);
// Called by the DestroyX global with the native object after the script object was unbound.
// It takes the handle from the native object and calls UnbindHandle for handle kinds, then asks
// the game to destroy the object. It may throw C++ exceptions (they become a script Error) but
// must not raise script errors.
using NativeDestroyer = void (*)(duk_context* ctx, void* native);
// Global `functionName(object)`: TypeError unless object is an X; nothing when it is already
// unbound (destroying twice is harmless); else unbind and call `destroy`.
void RegisterDestroyFunction(duk_context* ctx, const char* functionName, const char* className,
                             NativeDestroyer destroy);

// ---------------------------------------------------------------- handles (stash "%s%08X")
// stash[prefix + hex(handle)] = object at `index`, when handle != 0. Returns the handle.
ScriptHandle BindHandle(duk_context* ctx, duk_idx_t index, ScriptHandle handle, const char* prefix);
// Pushes the bound object, or undefined when handle is 0 or nothing is bound. Pushes one value.
void PushBound(duk_context* ctx, ScriptHandle handle, const char* prefix);
// Unbinds the stashed object's native pointer and removes the stash entry (handle != 0).
void UnbindHandle(duk_context* ctx, ScriptHandle handle, const char* prefix);
// The stash key, for tests and diagnostics: prefix + at least eight upper-case hex digits.
std::string HandleKey(ScriptHandle handle, const char* prefix);

// ---------------------------------------------------------------- kept values
// Stores the value at `index` in the stash under the next key of the keep counter (which starts
// at 0xCB000000 with each heap) and returns the key as a signed 32-bit number. Keys are never
// reused; entries live as long as the heap.
int32_t KeepValue(duk_context* ctx, duk_idx_t index);
// Calls the kept value with no arguments and no `this` (protected). False when nothing is kept
// under the key. On a script error, the text goes to *error when given, else to the
// pending-fatal slot (ScriptHost.h); the result is then still true.
bool CallKept(duk_context* ctx, int32_t key, std::string* error = nullptr);

// ---------------------------------------------------------------- handlers
// The value on top must be an object whose (own or inherited) property `name` is a function: then
// the object stays and the name is pushed, and the result is true. Otherwise the value is popped
// and the result is false. Getters and proxies run protected; their errors count as "no handler".
bool FindHandler(duk_context* ctx, const char* name);
// After FindHandler returned true and `argCount` arguments were pushed: calls object.name(args)
// with the object as `this` (protected) and pops everything (object, result). Returns true when
// the handler ended normally. On a script error, the text goes to *error when given, else to the
// pending-fatal slot; the caller decides which.
bool CallHandler(duk_context* ctx, duk_idx_t argCount, std::string* error = nullptr);

// ---------------------------------------------------------------- globals and functions
// Read-only, enumerable, non-configurable globals, redefined by force (WIDTH after a resize).
void DefineGlobalNumber(duk_context* ctx, const char* name, int32_t value);
void DefineGlobalDouble(duk_context* ctx, const char* name, double value);
void DefineGlobalString(duk_context* ctx, const char* name, const char* value);
// A plain global property holding a native function (argCount DUK_VARARGS or -1: variable).
void RegisterFunction(duk_context* ctx, const char* name, duk_c_function function, duk_idx_t argCount);
// Accessor on the object at `objectIndex`: getter takes no argument, setter one; either may be
// null. Enumerable, not configurable.
void DefineAccessor(duk_context* ctx, duk_idx_t objectIndex, const char* name, duk_c_function getter,
                    duk_c_function setter);

// ---------------------------------------------------------------- arguments (all may raise)
// Argument errors name the function (as registered: "GetHotspot", "Sprite.MoveTo", "Sprite.x"),
// the argument (its position from 1 and, when the caller gives one, its name) and what it got:
//   GetHotspot: argument 1 (x) must be a number, got string "70"
// The error types stay those of the engine's own checks (TypeError for a wrong type).
//
// Required number as a 32-bit integer: fractions truncated, beyond the range clamped, NaN 0.
// Anything but a number raises a TypeError.
int32_t ArgInt(duk_context* ctx, duk_idx_t index, const char* argName = nullptr);
// Required number clamped to 0 ... 4294967295.
uint32_t ArgUnsigned(duk_context* ctx, duk_idx_t index, const char* argName = nullptr);
double ArgNumber(duk_context* ctx, duk_idx_t index, const char* argName = nullptr);
float ArgFloat(duk_context* ctx, duk_idx_t index, const char* argName = nullptr);
// Required string; the pointer stays valid while the argument is on the stack.
const char* ArgString(duk_context* ctx, duk_idx_t index, const char* argName = nullptr);
// Any value, by truthiness.
bool ArgBool(duk_context* ctx, duk_idx_t index);
// Optional variants: `fallback` when the argument is missing or undefined.
int32_t OptInt(duk_context* ctx, duk_idx_t index, int32_t fallback, const char* argName = nullptr);
double OptNumber(duk_context* ctx, duk_idx_t index, double fallback, const char* argName = nullptr);
// A point: one object with `x` and `y` (or the keys given, such as "col" and "row"; read as
// integers), or two numbers. Returns how many arguments it consumed: 1, 2, or 0 when neither form
// is there (x and y are then left alone).
int ReadPoint(duk_context* ctx, duk_idx_t index, int32_t& x, int32_t& y, const char* xKey = "x",
              const char* yKey = "y");
// ReadPoint for functions that need the point: neither form raises a TypeError naming the
// argument that is wrong ("must be a point {x, y} or a number" for the first, or `firstExpected`).
int ArgPoint(duk_context* ctx, duk_idx_t index, int32_t& x, int32_t& y, const char* firstExpected = nullptr);

// Raises `type` (DUK_ERR_TYPE_ERROR, DUK_ERR_RANGE_ERROR, ...) with
// "<function>: argument <index + 1> (<argName>) must be <expected>, got <description>".
[[noreturn]] void RaiseArgError(duk_context* ctx, duk_errcode_t type, duk_idx_t index, const char* argName,
                                const char* expected);
// Raises `type` with "<function>: " followed by the formatted text.
[[noreturn]] void RaiseCallError(duk_context* ctx, duk_errcode_t type, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
// A short description of the value at `index` for messages: `string "70"`, `number 1.5`, `null`,
// `undefined`, `a Sprite`, `an object`, ... Long strings are cut; control bytes are escaped.
void DescribeArgument(duk_context* ctx, duk_idx_t index, char* buffer, std::size_t size);
// The name of the native function being called, as registered ("" when it has none).
void CurrentFunctionName(duk_context* ctx, char* buffer, std::size_t size);
// Gives the function on top of the stack the name that its argument errors show.
void NameFunction(duk_context* ctx, const char* name, bool setter = false);

// Pushes a new plain object {x, y}.
void PushPoint(duk_context* ctx, int32_t x, int32_t y);

// ---------------------------------------------------------------- C++ exceptions
// Copies the text of the exception being handled into `buffer` (for use inside a catch block).
void DescribeCurrentException(char* buffer, std::size_t size);

// Wraps a native function whose C++ work may throw: the exception is turned into a script Error
// with its text, raised after the exception object is gone. Register Guarded<F> instead of F.
template <duk_c_function F>
duk_ret_t Guarded(duk_context* ctx) {
    char message[512];
    try {
        return F(ctx);
    } catch (...) {
        DescribeCurrentException(message, sizeof message);
    }
    return duk_error(ctx, DUK_ERR_ERROR, "%s", message);
}

// ---------------------------------------------------------------- host only
// Resets the keep counter and forgets the registered classes (called when a heap is created or
// destroyed).
void ResetBindingState();

}  // namespace ove
