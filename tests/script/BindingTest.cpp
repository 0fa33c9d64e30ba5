// The native-binding helpers, exercised through a small test class family: Shape <- Box, and an
// unrelated Other.
#include <climits>
#include <list>
#include <stdexcept>

#include "script/Binding.h"
#include "support/ScriptFixture.h"

namespace ovetest {
namespace {

struct NativeShape {
    int value = 0;
    ove::ScriptHandle handle = 0;
};

// The "game's" list of native objects; destroyed ones are poisoned, not freed, so that a use
// after destruction shows up as a wrong value instead of depending on ASan.
std::list<NativeShape> g_shapes;
int g_destroyed = 0;

NativeShape* MakeShape(int value) {
    g_shapes.push_back(NativeShape{value, 0});
    return &g_shapes.back();
}

duk_ret_t ShapeCtor(duk_context* ctx) {
    if (!duk_is_constructor_call(ctx)) return DUK_RET_TYPE_ERROR;
    int32_t value = ove::OptInt(ctx, 0, 0);
    NativeShape* shape = MakeShape(value);
    shape->handle = ove::BindThisHandle(ctx, shape, "Shape", ove::kGuiPrefix);
    return 0;
}

duk_ret_t BoxCtor(duk_context* ctx) {
    if (!duk_is_constructor_call(ctx)) return DUK_RET_TYPE_ERROR;
    ove::BindThis(ctx, MakeShape(ove::OptInt(ctx, 0, 0) * 10), "Box");
    return 0;
}

duk_ret_t OtherCtor(duk_context* ctx) {
    if (!duk_is_constructor_call(ctx)) return DUK_RET_TYPE_ERROR;
    ove::BindThis(ctx, MakeShape(-1), "Other");
    return 0;
}

duk_ret_t GetValue(duk_context* ctx) {
    duk_push_int(ctx, ove::This<NativeShape>(ctx, "Shape")->value);
    return 1;
}

duk_ret_t SetValue(duk_context* ctx) {
    int32_t v = ove::ArgInt(ctx, 0);
    ove::This<NativeShape>(ctx, "Shape")->value = v;
    return 0;
}

void DestroyShape(duk_context* ctx, void* native) {
    auto* shape = static_cast<NativeShape*>(native);
    ove::ScriptHandle handle = shape->handle;
    shape->handle = 0;
    ove::UnbindHandle(ctx, handle, ove::kGuiPrefix);
    shape->value = -999;  // poisoned
    ++g_destroyed;
}

void DestroyThrowing(duk_context*, void*) { throw std::runtime_error("cannot destroy\n"); }

// Script-visible probes of the helpers.
duk_ret_t UseShape(duk_context* ctx) {
    duk_push_int(ctx, ove::Require<NativeShape>(ctx, 0, "Shape")->value);
    return 1;
}

duk_ret_t UseBox(duk_context* ctx) {
    duk_push_int(ctx, ove::Require<NativeShape>(ctx, 0, "Box")->value);
    return 1;
}

duk_ret_t Int(duk_context* ctx) {
    duk_push_number(ctx, ove::ArgInt(ctx, 0));
    return 1;
}

duk_ret_t Unsigned(duk_context* ctx) {
    duk_push_number(ctx, ove::ArgUnsigned(ctx, 0));
    return 1;
}

duk_ret_t Point(duk_context* ctx) {
    int32_t x = -7, y = -7;
    int used = ove::ReadPoint(ctx, 0, x, y);
    ove::PushPoint(ctx, x, y);
    duk_push_int(ctx, used);
    duk_put_prop_string(ctx, -2, "used");
    return 1;
}

duk_ret_t Throwing(duk_context*) { throw std::runtime_error("native trouble"); }

duk_ret_t RawThisPointer(duk_context* ctx) {
    duk_push_boolean(ctx, ove::GetNativePointer(ctx, ove::kThisIndex) != nullptr);
    return 1;
}

const duk_function_list_entry kShapeMethods[] = {
    {"GetValue", GetValue, 0},
    {"RawThisPointer", RawThisPointer, 0},
    {nullptr, nullptr, 0},
};
const ove::SAccessor kShapeAccessors[] = {
    {"value", GetValue, SetValue},
    {"readOnly", GetValue, nullptr},
    {nullptr, nullptr, nullptr},
};

class BindingTest : public ScriptTest {
protected:
    void SetUp() override {
        ScriptTest::SetUp();
        g_shapes.clear();
        g_destroyed = 0;
        duk_context* c = ctx();
        duk_idx_t top = duk_get_top(c);
        ove::RegisterClass(c, {"Shape", nullptr, ShapeCtor, 1, kShapeMethods, kShapeAccessors});
        ove::RegisterClass(c, {"Box", "Shape", BoxCtor, 1, nullptr, nullptr});
        ove::RegisterClass(c, {"Other", nullptr, OtherCtor, 0, nullptr, nullptr});
        ove::RegisterCreateFunction(c, "CreateShape", "Shape", 1);
        ove::RegisterCreateFunction(c, "CreateBox", "Box", 1);
        ove::RegisterDestroyFunction(c, "DestroyShape", "Shape", DestroyShape);
        ove::RegisterDestroyFunction(c, "DestroyOther", "Other", DestroyThrowing);
        ove::RegisterFunction(c, "UseShape", UseShape, 1);
        ove::RegisterFunction(c, "UseBox", UseBox, 1);
        ove::RegisterFunction(c, "Int", Int, 1);
        ove::RegisterFunction(c, "Unsigned", Unsigned, 1);
        ove::RegisterFunction(c, "Point", Point, -1);
        ove::RegisterFunction(c, "Throwing", ove::Guarded<Throwing>, 0);
        EXPECT_EQ(duk_get_top(c), top);
    }
};

TEST_F(BindingTest, ConstructionAndCreateFunctions) {
    EXPECT_EQ(ThrownName("Shape(1)"), "TypeError");
    Run("var s = new Shape(4), c = CreateShape(6), b = CreateBox(2);");
    EXPECT_EQ(Eval("s.GetValue() + ' ' + c.value + ' ' + b.GetValue()"), "4 6 20");
    EXPECT_EQ(Eval("s instanceof Shape && b instanceof Box && b instanceof Shape && !(s instanceof Box)"), "true");
    EXPECT_EQ(Eval("s.constructor === Shape && Object.getPrototypeOf(b) === Box.prototype"), "true");
    // CreateX uses the constructor as registered, even after script replaced the global.
    Run("Shape = function () { this.fake = true; };");
    EXPECT_EQ(Eval("CreateShape(3).GetValue()"), "3");
    EXPECT_EQ(Eval("Object.getOwnPropertyNames(this).some(function (k) { return k.indexOf('proto') >= 0; })"), "false");
}

TEST_F(BindingTest, AccessorsAndMethods) {
    Run("var s = new Shape(1); s.value = 12.9;");
    EXPECT_EQ(Eval("s.GetValue()"), "12");
    Run("s.readOnly = 50;");
    EXPECT_EQ(Eval("s.readOnly"), "12");
    EXPECT_EQ(Thrown("s.value = 'x'"), "TypeError: Shape.value: the value must be a number, got string \"x\"");
    EXPECT_EQ(Thrown("new Shape('big')"), "TypeError: Shape: argument 1 must be a number, got string \"big\"");
    EXPECT_EQ(Eval("Object.keys(Shape.prototype).sort().join()"), "GetValue,RawThisPointer,readOnly,value");
    EXPECT_EQ(Eval("delete Shape.prototype.value"), "false");
    EXPECT_EQ(Eval("'value' in Shape.prototype"), "true");
    // The methods check what `this` is.
    for (const char* call : {"call(new Other())", "call({})", "call(7)", "call()"})
        EXPECT_EQ(Thrown(std::string("Shape.prototype.GetValue.") + call), "TypeError: Shape expected") << call;
    EXPECT_EQ(Thrown("Shape.prototype.RawThisPointer.call({})").rfind("TypeError: pointer required", 0), 0u);
}

TEST_F(BindingTest, RequireMessagesAndDestroyTwice) {
    Run("var s = new Shape(8);");
    EXPECT_EQ(Eval("UseShape(s)"), "8");
    for (const char* use : {"UseShape({})", "UseShape()", "UseShape(new Other())"})
        EXPECT_EQ(Thrown(use), "TypeError: Shape expected") << use;
    EXPECT_EQ(Thrown("UseBox(s)"), "TypeError: Box expected");
    EXPECT_EQ(Eval("UseShape(new Box(3))"), "30");

    EXPECT_EQ(Eval("!!s._ptr + ' ' + typeof s._ptr"), "true pointer");
    Run("DestroyShape(s); DestroyShape(s);");
    EXPECT_EQ(g_destroyed, 1);
    EXPECT_EQ(Eval("!!s._ptr"), "false");
    EXPECT_EQ(Thrown("UseShape(s)"), "ReferenceError: Shape has no associated native object");
    EXPECT_EQ(ThrownName("s.GetValue()"), "ReferenceError");
    EXPECT_EQ(ThrownName("s.value = 3"), "ReferenceError");
    EXPECT_EQ(Thrown("DestroyShape({})"), "TypeError: DestroyShape: argument 1 must be a Shape, got an object");
    EXPECT_EQ(ThrownName("DestroyShape()"), "TypeError");
    // An instance that never had a native object.
    EXPECT_EQ(Thrown("UseShape(Object.create(Shape.prototype))"),
              "ReferenceError: Shape has no associated native object");
}

TEST_F(BindingTest, BindingsCannotBeForged) {
    Run("var s = new Shape(5), o = new Other();");
    // The visible pointer is read-only and only mirrors the binding.
    Run("s._ptr = null; o._ptr = s._ptr;");
    EXPECT_EQ(Eval("UseShape(s)"), "5");
    EXPECT_EQ(ThrownName("Object.defineProperty(s, '_ptr', {value: null})"), "TypeError");
    // A fresh object given a copied pointer is still unbound.
    EXPECT_EQ(Thrown("var f = Object.create(Shape.prototype); f._ptr = s._ptr; UseShape(f)"),
              "ReferenceError: Shape has no associated native object");
    // An object of another class dressed up as a Shape is refused.
    EXPECT_EQ(Thrown("Object.setPrototypeOf(o, Shape.prototype); UseShape(o)"), "TypeError: Shape expected");
    EXPECT_EQ(Thrown("Shape.prototype.GetValue.call(o)"), "TypeError: Shape expected");
    // An object inheriting from a bound one does not share its binding, so destroying it cannot
    // leave the original pointing at a destroyed native object.
    Run("var child = Object.create(s); DestroyShape(child);");
    EXPECT_EQ(g_destroyed, 0);
    EXPECT_EQ(Eval("UseShape(s)"), "5");
    EXPECT_EQ(Thrown("UseShape(child)"), "ReferenceError: Shape has no associated native object");
    // Proxies do not pass for the object they wrap.
    for (const char* use : {"UseShape(new Proxy(s, {}))", "Shape.prototype.GetValue.call(new Proxy(s, {}))"})
        EXPECT_EQ(Thrown(use), "TypeError: Shape expected") << use;
    // A frozen object can still be destroyed.
    Run("Object.freeze(s); DestroyShape(s);");
    EXPECT_EQ(g_destroyed, 1);
    EXPECT_EQ(Thrown("UseShape(s)"), "ReferenceError: Shape has no associated native object");
    // A class prototype that inherits from a bound object lends its instances nothing.
    Run("var lender = new Other(); Object.setPrototypeOf(Shape.prototype, lender);");
    EXPECT_EQ(Thrown("UseShape(Object.create(Shape.prototype))"),
              "ReferenceError: Shape has no associated native object");
    EXPECT_EQ(Eval("UseShape(new Shape(6))"), "6");
}

// Each probe of the same object in a row is answered from what the last one found: what changes
// in between must still be seen.
TEST_F(BindingTest, RepeatedUsesSeeChangesMadeBetweenThem) {
    Run("var b = new Box(2), o = new Other(); UseBox(b);");
    EXPECT_EQ(Thrown("Object.setPrototypeOf(b, Other.prototype); UseBox(b)"), "TypeError: Box expected");
    EXPECT_EQ(Eval("Object.setPrototypeOf(b, Box.prototype); UseBox(b)"), "20");
    EXPECT_EQ(Thrown("DestroyShape(b); UseBox(b)"), "ReferenceError: Box has no associated native object");
    // A fresh object that may take a dropped one's memory is not taken for it.
    EXPECT_EQ(Eval("var refused = 0;"
                   "for (var i = 0; i < 200; ++i) {"
                   "  var t = new Box(1); UseBox(t); t = null;"
                   "  try { UseBox(Object.create(Box.prototype)); } catch (e) { ++refused; }"
                   "} refused"),
              "200");
}

TEST_F(BindingTest, ExceptionsFromNativeCodeBecomeScriptErrors) {
    EXPECT_EQ(Thrown("Throwing()"), "Error: native trouble");
    Run("var o = new Other();");
    EXPECT_EQ(Thrown("DestroyOther(o)"), "Error: cannot destroy");
    EXPECT_EQ(Eval("1 + 1"), "2");
}

TEST_F(BindingTest, HandlesFindTheirScriptObject) {
    duk_context* c = ctx();
    EXPECT_EQ(ove::HandleKey(0xAB, "gui@"), "gui@000000AB");
    EXPECT_EQ(ove::HandleKey(0x1234ABCDu, "layer@"), "layer@1234ABCD");

    Run("var s = new Shape(1);");
    NativeShape& shape = g_shapes.back();
    ASSERT_EQ(shape.handle, reinterpret_cast<ove::ScriptHandle>(&shape));

    duk_idx_t top = duk_get_top(c);
    ove::PushBound(c, shape.handle, ove::kGuiPrefix);
    duk_get_global_string(c, "s");
    EXPECT_TRUE(duk_strict_equals(c, -1, -2));
    duk_pop_2(c);
    ove::PushBound(c, 0, ove::kGuiPrefix);
    EXPECT_TRUE(duk_is_undefined(c, -1));
    duk_pop(c);
    ove::PushBound(c, shape.handle, ove::kLayerPrefix);  // another prefix, another key
    EXPECT_TRUE(duk_is_undefined(c, -1));
    duk_pop(c);
    EXPECT_EQ(ove::BindHandle(c, -1, 0, ove::kGuiPrefix), 0u);
    EXPECT_EQ(duk_get_top(c), top);

    // The stash keeps the object alive after script dropped it.
    Run("s = null; Duktape.gc();");
    ove::PushBound(c, shape.handle, ove::kGuiPrefix);
    EXPECT_TRUE(duk_is_object(c, -1));
    duk_put_global_string(c, "again");
    EXPECT_EQ(Eval("again.GetValue()"), "1");

    ove::UnbindHandle(c, shape.handle, ove::kGuiPrefix);
    EXPECT_EQ(Eval("!!again._ptr"), "false");
    ove::PushBound(c, shape.handle, ove::kGuiPrefix);
    EXPECT_TRUE(duk_is_undefined(c, -1));
    duk_pop(c);
    ove::UnbindHandle(c, shape.handle, ove::kGuiPrefix);  // harmless twice
    ove::UnbindHandle(c, 0, ove::kGuiPrefix);
    EXPECT_EQ(duk_get_top(c), top);
}

TEST_F(BindingTest, KeptValuesUseCountedKeys) {
    duk_context* c = ctx();
    duk_idx_t top = duk_get_top(c);
    Run("var calls = 0, self = 'unset'; function cb() { calls++; self = this === undefined ? 'none' : typeof this; }");
    duk_get_global_string(c, "cb");
    int32_t first = ove::KeepValue(c, -1);
    int32_t second = ove::KeepValue(c, -1);
    duk_pop(c);
    EXPECT_EQ(first, static_cast<int32_t>(0xCB000000u));
    EXPECT_EQ(second, first + 1);
    EXPECT_EQ(duk_get_top(c), top);

    Run("cb = null; Duktape.gc();");  // kept values stay alive
    EXPECT_TRUE(ove::CallKept(c, first));
    EXPECT_TRUE(ove::CallKept(c, second));
    EXPECT_FALSE(ove::CallKept(c, second + 1));
    EXPECT_FALSE(ove::CallKept(c, 12345));
    EXPECT_EQ(Eval("calls"), "2");
    EXPECT_EQ(duk_get_top(c), top);

    // Errors: to the caller when asked, else to the pending-fatal slot.
    Run("function bad() { throw new Error('kept failure'); }");
    duk_get_global_string(c, "bad");
    int32_t badKey = ove::KeepValue(c, -1);
    duk_pop(c);
    std::string error;
    EXPECT_TRUE(ove::CallKept(c, badKey, &error));
    EXPECT_EQ(error, "ERROR: Error: kept failure\n");
    EXPECT_FALSE(ove::HasPendingFatal());
    EXPECT_TRUE(ove::CallKept(c, badKey));
    EXPECT_EQ(ove::TakePendingFatal(), "ERROR: Error: kept failure\n");
    EXPECT_EQ(duk_get_top(c), top);

    // A new heap starts counting again.
    ASSERT_TRUE(m_game->StartScript());
    duk_push_int(ctx(), 1);
    EXPECT_EQ(ove::KeepValue(ctx(), -1), static_cast<int32_t>(0xCB000000u));
    duk_pop(ctx());
}

TEST_F(BindingTest, HandlersAreFoundAndCalledProtected) {
    duk_context* c = ctx();
    duk_idx_t top = duk_get_top(c);
    Run("function Base() {} Base.prototype.onKey = function (k, m) { got = [this.tag, k, m].join(); };"
        "var obj = new Base(); obj.tag = 'me'; obj.onFocus = 5;"
        "var trap = {}; Object.defineProperty(trap, 'onKey', {get: function () { throw new Error('getter'); }});");

    duk_get_global_string(c, "obj");
    ASSERT_TRUE(ove::FindHandler(c, "onKey"));  // inherited
    EXPECT_EQ(duk_get_top(c), top + 2);
    duk_push_int(c, 65);
    duk_push_string(c, "shift");
    EXPECT_TRUE(ove::CallHandler(c, 2));
    EXPECT_EQ(duk_get_top(c), top);
    EXPECT_EQ(Eval("got"), "me,65,shift");

    // Not a function, absent, not an object, behind a throwing getter or proxy: nothing is found.
    ASSERT_TRUE(ove::RunSource("var proxy = new Proxy({}, {get: function () { throw 1; }});").ok);
    for (auto [value, name] :
         {std::pair{"obj", "onFocus"}, {"obj", "onBlur"}, {"3", "onKey"}, {"trap", "onKey"}, {"proxy", "onKey"}}) {
        ASSERT_EQ(duk_peval_string(c, value), 0) << value;
        EXPECT_FALSE(ove::FindHandler(c, name)) << value << "." << name;
    }
    EXPECT_EQ(duk_get_top(c), top);

    Run("obj.onKey = function () { throw new TypeError('in handler'); };");
    duk_get_global_string(c, "obj");
    ASSERT_TRUE(ove::FindHandler(c, "onKey"));
    std::string error;
    EXPECT_FALSE(ove::CallHandler(c, 0, &error));
    EXPECT_EQ(error, "ERROR: TypeError: in handler\n");
    EXPECT_EQ(duk_get_top(c), top);
    EXPECT_FALSE(ove::HasPendingFatal());
    Run("var still = 'usable';");
    EXPECT_EQ(Eval("still"), "usable");
}

TEST_F(BindingTest, IntegerArgumentsClampAndTruncate) {
    EXPECT_EQ(Eval("Int(3.9) + ',' + Int(-3.9) + ',' + Int(NaN) + ',' + Int(-0)"), "3,-3,0,0");
    EXPECT_EQ(Eval("Int(1e20) + ',' + Int(-1e20) + ',' + Int(Infinity)"), "2147483647,-2147483648,2147483647");
    EXPECT_EQ(Eval("Unsigned(-5) + ',' + Unsigned(1e20) + ',' + Unsigned(4294967295.5) + ',' + Unsigned(NaN)"),
              "0,4294967295,4294967295,0");
}

// Argument errors name the function, the argument and what it got; the type stays TypeError.
TEST_F(BindingTest, ArgumentErrorsSayWhatWasWrong) {
    // Long texts are cut, quotes and control bytes escaped, so the message stays one short line; an
    // object that merely inherits from a bound one is no Box.
    const std::pair<const char*, std::string> calls[] = {
        {"Int('5')", "string \"5\""},
        {"Int()", "undefined"},
        {"Int(null)", "null"},
        {"Int([1])", "an array"},
        {"Int(new Box(1))", "a Box"},
        {"Int(Object.create(new Box(1)))", "an object"},
        {"Int(function () {})", "a function"},
        {"Int('a\"b\\n' + new Array(60).join('z'))", "string \"a\\\"b\\x0A" + std::string(36, 'z') + "\"..."},
        // A script that renamed or replaced the function does not change the name in messages.
        {"var f = Int; Int = null; f('q')", "string \"q\""},
    };
    for (const auto& [call, got] : calls)
        EXPECT_EQ(Thrown(call), "TypeError: Int: argument 1 must be a number, got " + got) << call;
    EXPECT_EQ(Thrown("Unsigned(true)"), "TypeError: Unsigned: argument 1 must be a number, got boolean true");
    EXPECT_EQ(Eval("try { Int('5'); } catch (e) { e instanceof TypeError; }"), "true");
}

TEST_F(BindingTest, PointsAsObjectOrTwoNumbers) {
    EXPECT_EQ(Eval("JSON.stringify(Point({x: 3, y: 4}))"), "{\"x\":3,\"y\":4,\"used\":1}");
    EXPECT_EQ(Eval("JSON.stringify(Point(3, 4))"), "{\"x\":3,\"y\":4,\"used\":2}");
    EXPECT_EQ(Eval("JSON.stringify(Point({x: 2.7, y: '6', z: 1}, 99))"), "{\"x\":2,\"y\":6,\"used\":1}");
    EXPECT_EQ(Eval("JSON.stringify(Point({}))"), "{\"x\":0,\"y\":0,\"used\":1}");
    EXPECT_EQ(Eval("JSON.stringify(Point(3))"), "{\"x\":-7,\"y\":-7,\"used\":0}");
    EXPECT_EQ(Eval("JSON.stringify(Point('a', 'b'))"), "{\"x\":-7,\"y\":-7,\"used\":0}");
    EXPECT_EQ(Eval("JSON.stringify(Point())"), "{\"x\":-7,\"y\":-7,\"used\":0}");
    EXPECT_EQ(Eval("JSON.stringify(Point(1e12, -1e12))"), "{\"x\":2147483647,\"y\":-2147483648,\"used\":2}");
}

TEST_F(BindingTest, HelpersKeepTheStackBalanced) {
    duk_context* c = ctx();
    Run("var s = new Shape(2);");
    duk_idx_t top = duk_get_top(c);
    duk_get_global_string(c, "s");  // index top
    EXPECT_TRUE(ove::IsInstance(c, -1, "Shape"));
    EXPECT_FALSE(ove::IsInstance(c, -1, "Other"));
    EXPECT_FALSE(ove::IsInstance(c, -1, "NoSuchClass"));
    EXPECT_TRUE(ove::IsInstance(c, -1, "Object"));  // not ours: plain instanceof
    EXPECT_NE(ove::GetNativeIf(c, -1, "Shape"), nullptr);
    EXPECT_EQ(ove::GetNativeIf(c, -1, "Box"), nullptr);
    EXPECT_NE(ove::GetNativePointer(c, -1), nullptr);
    int32_t x = 0, y = 0;
    EXPECT_EQ(ove::ReadPoint(c, -1, x, y), 1);
    ove::PushPoint(c, 1, 2);
    duk_pop(c);
    ove::DefineGlobalNumber(c, "G", 1);
    ove::DefineGlobalString(c, "GS", "x");
    ove::DefineAccessor(c, -1, "extra", GetValue, nullptr);
    ove::PushPrototype(c, "Shape");
    EXPECT_TRUE(duk_is_object(c, -1));
    duk_pop(c);
    ove::PushPrototype(c, "Nope");
    EXPECT_TRUE(duk_is_undefined(c, -1));
    duk_pop(c);
    ove::PushNewInstance(c, "Box", MakeShape(77));
    duk_put_global_string(c, "handed");
    duk_pop(c);
    EXPECT_EQ(duk_get_top(c), top);
    EXPECT_EQ(Eval("s.extra + ' ' + UseBox(handed) + ' ' + (handed instanceof Box)"), "2 77 true");
}

}  // namespace
}  // namespace ovetest
