#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "HeapFixture.h"
#include "bindings/JSColour.h"
#include "platform/SystemColours.h"

using gameapitest::ScriptFixture;
using namespace ove;

namespace {

class ColourTest : public ScriptFixture {
protected:
    // The native colour of a script expression, read with ColourFromScript.
    uint32_t Native(const std::string& expr) {
        Push(expr);
        uint32_t argb = ColourFromScript(m_ctx, -1);
        duk_pop(m_ctx);
        return argb;
    }
    // The colour argument rule applied to a script value.
    bool Read(const std::string& expr, uint32_t* out, bool opaque = true) {
        Push(expr);
        duk_idx_t top = duk_get_top(m_ctx);
        bool ok = ReadColour(m_ctx, -1, out, opaque);
        EXPECT_EQ(duk_get_top(m_ctx), top);
        duk_pop(m_ctx);
        return ok;
    }
    // The stored (uncut) value of a hidden channel of a script value.
    double Stored(const std::string& expr, const char* hiddenKey) {
        Push(expr);
        duk_get_prop_string(m_ctx, -1, hiddenKey);
        double v = duk_get_number_default(m_ctx, -1, -1.0);
        duk_pop_2(m_ctx);
        return v;
    }
};

}  // namespace

// clang-format off
TEST_F(ColourTest, ConstructorDefaultsAndArguments) {
    // Anything but a number keeps the default of its position.
    for (auto [args, argb] : {std::pair{"", 0xFF000000u}, {"1, 2, 3", 0xFF010203u}, {"0x12, 0x34, 0x56, 0x78", 0x78123456u},
                              {"'12', null, {}, undefined", 0xFF000000u}, {"5, 6, 7, 'x'", 0xFF050607u}})
        EXPECT_EQ(Native("new Colour(" + std::string(args) + ")"), argb) << args;
    EXPECT_EQ(Eval("new Colour() instanceof Colour"), "true");
    EXPECT_EQ(Eval("Object.getPrototypeOf(new Colour()) === Colour.prototype"), "true");
    EXPECT_EQ(Thrown("Colour(1, 2, 3)"), "TypeError") << "the constructor needs new";
}
// clang-format on

TEST_F(ColourTest, ChannelsAreStoredUncutHiddenAndUsedAsLowEightBits) {
    EXPECT_EQ(Stored("new Colour(300)", DUK_HIDDEN_SYMBOL("r")), 300.0);
    EXPECT_EQ(Eval("new Colour(300).r8"), "44");
    EXPECT_EQ(Native("new Colour(300, 0, 0, 0)"), 0x002C0000u);
    // Numbers as unsigned 32-bit values: negative and NaN 0, too large all ones, fractions cut.
    for (auto [arg, stored] : {std::pair{"-5", 0.0}, {"NaN", 0.0}, {"1e12", 4294967295.0}, {"2.9", 2.0}})
        EXPECT_EQ(Stored("new Colour(" + std::string(arg) + ")", DUK_HIDDEN_SYMBOL("r")), stored) << arg;
    EXPECT_EQ(Eval("new Colour(1e12).r8"), "255");
    // Channels are read as integers, which clamp at 2^31 - 1 rather than wrap.
    EXPECT_EQ(Eval("new Colour(0x7FFFFF10).r8"), "16");
    EXPECT_EQ(Eval("new Colour(0x80000010).r8"), "255");
    EXPECT_EQ(Native("new Colour(0xFFFFFF00, 0x80000000, 0x100000001, 0xFFFFFFFF)"), 0xFFFFFFFFu);
    EXPECT_EQ(Eval("new Colour(0, 0, 0, 256 + 7).a8"), "7");
    // The channels are hidden from script.
    EXPECT_EQ(Eval("JSON.stringify(new Colour(1, 2, 3, 4))"), "{}");
    EXPECT_EQ(Eval("Object.getOwnPropertyNames(new Colour(1, 2, 3)).length"), "0");
    EXPECT_EQ(Eval("var c = new Colour(1, 2, 3); c.r = 200; c.r8"), "1");
}

TEST_F(ColourTest, ToStringFormatsChannelsInHex) {
    EXPECT_EQ(Eval("RED.toString()"), "RGBA8(0xFF, 0x55, 0x55, 0xFF)");
    EXPECT_EQ(Eval("String(new Colour(300, 1, 0xAB, 0))"), "RGBA8(0x2C, 0x01, 0xAB, 0x00)");
    EXPECT_EQ(Eval("'' + TRANSPARENT"), "RGBA8(0x00, 0x00, 0x00, 0x00)");
    // Any object may lend itself; a primitive may not.
    EXPECT_EQ(Eval("Colour.prototype.toString.call({})"), "RGBA8(0x00, 0x00, 0x00, 0x00)");
    EXPECT_EQ(Thrown("Colour.prototype.toString.call(5)"), "TypeError");
}

TEST_F(ColourTest, EightBitMembersClampWrites) {
    EXPECT_EQ(Eval("var c = new Colour(1, 2, 3, 4); [c.r8, c.g8, c.b8, c.a8].join()"), "1,2,3,4");
    EXPECT_EQ(Eval("var c = new Colour(); c.r8 = 300; c.g8 = -1; c.b8 = 12.7; c.a8 = 255; c.rgba"),
              std::to_string(0xFFFF000Cu));
    EXPECT_EQ(Eval("var c = new Colour(); c.a8 = 256; c.a8"), "255");
    EXPECT_EQ(Thrown("new Colour().r8 = 'x'"), "TypeError");
}

// clang-format off
TEST_F(ColourTest, FractionMembersMapThroughTwoFiftyFive) {
    EXPECT_EQ(Eval("[new Colour(51).rf, new Colour(0, 0, 0, 255).af].join()"), "0.2,1");
    // Written fractions clamp to 0..1 and cut: 0.5 is 127, 0.999 is 254.
    for (auto [write, read] : {std::pair{"rf = 0.5; c.r8", "127"}, {"rf = 1; c.r8", "255"}, {"gf = 2; c.g8", "255"},
                               {"bf = -1; c.b8", "0"}, {"bf = NaN; c.b8", "0"}, {"af = 0.999; c.a8", "254"}})
        EXPECT_EQ(Eval(std::string("var c = new Colour(9, 9, 9); c.") + write), read) << write;
    EXPECT_EQ(Eval("new Colour(300).rf === 44 / 255"), "true");
}
// clang-format on

TEST_F(ColourTest, WordMembersReadAndWriteWholeColours) {
    EXPECT_EQ(Eval("new Colour(0x12, 0x34, 0x56, 0x78).rgb"), std::to_string(0x123456));
    EXPECT_EQ(Eval("new Colour(0x12, 0x34, 0x56, 0x78).rgba"), std::to_string(0x78123456));
    EXPECT_EQ(Eval("WHITE.rgba"), "4294967295");  // unsigned, not -1
    EXPECT_EQ(Eval("var c = new Colour(0, 0, 0, 9); c.rgb = 0x11223344; [c.r8, c.g8, c.b8, c.a8].join()"),
              "34,51,68,255");
    EXPECT_EQ(Eval("var c = new Colour(); c.rgba = 0x80FF0010; [c.r8, c.g8, c.b8, c.a8].join()"), "255,0,16,128");
    EXPECT_EQ(Eval("var c = new Colour(1, 1, 1, 1); c.rgba = -1; c.rgba"), "0");
    EXPECT_EQ(Eval("var c = new Colour(1, 1, 1, 1); c.rgba = 1e20; c.rgba"), "4294967295");
    for (const char* bad : {"new Colour().rgb = '1'", "new Colour().rgba = {}"})
        EXPECT_EQ(Thrown(bad), "TypeError") << bad;
}

// clang-format off
TEST_F(ColourTest, GlobalFunctionsBuildNewColours) {
    // RGB ignores the number's high byte.
    for (auto [expr, argb] : {std::pair{"RGB8(300, -5, 128)", 0xFFFF0080u}, {"RGBA8(1, 2, 3, 400)", 0xFF010203u},
                              {"RGBA8(1, 2, 3, -4)", 0x00010203u}, {"RGBF(2, -1, 0.5)", 0xFFFF007Fu},
                              {"RGBAF(0, 1, 0, 0.5)", 0x7F00FF00u}, {"RGB(0x12345678)", 0xFF345678u},
                              {"RGBA(0x12345678)", 0x12345678u}, {"RGBA(-1)", 0x00000000u}})
        EXPECT_EQ(Native(expr), argb) << expr;
    EXPECT_EQ(Eval("RGB(1) !== RGB(1) && RGB(1) instanceof Colour && RGBAF(0,0,0,0) instanceof Colour"), "true");
    for (const char* bad : {"RGB8('a', 1, 2)", "RGBF(0, 0)", "RGBA()"}) EXPECT_EQ(Thrown(bad), "TypeError") << bad;
}
// clang-format on

TEST_F(ColourTest, NamedColourGlobalsAreReadOnlyHiddenAndPermanent) {
    EXPECT_EQ(Eval("RED = 5; RED instanceof Colour"), "true");
    EXPECT_EQ(Eval("delete RED"), "false");
    EXPECT_EQ(Eval("Object.keys(this).indexOf('RED')"), "-1");
    EXPECT_EQ(Eval("var d = Object.getOwnPropertyDescriptor(this, 'OS_BG_WINDOW');"
                   "[d.writable, d.enumerable, d.configurable].join()"),
              "false,false,false");
}

TEST_F(ColourTest, ArgumentRuleTurnsValuesIntoNativeColours) {
    // Numbers are opaque unless the member takes alpha from them; a Colour keeps its alpha; any
    // object reads its missing channels as 0.
    const struct {
        const char* expr;
        bool opaque;
        uint32_t argb;
    } rows[] = {
        {"255", true, 0xFF0000FFu},  {"TRANSPARENT", true, 0x00000000u},
        {"-5", true, 0xFF000000u},   {"NaN", true, 0xFF000000u},
        {"1e12", true, 0xFFFFFFFFu}, {"0x12345678", false, 0x12345678u},
        {"({})", true, 0u},          {"new Colour(300, 1, 2, 3)", true, 0x032C0102u},
    };
    for (const auto& r : rows) {
        uint32_t c = 1;
        ASSERT_TRUE(Read(r.expr, &c, r.opaque)) << r.expr;
        EXPECT_EQ(c, r.argb) << r.expr;
    }
    uint32_t c = 1;
    for (const char* bad : {"'red'", "undefined", "true"}) EXPECT_FALSE(Read(bad, &c)) << bad;
}

namespace {
duk_ret_t CallArgColour(duk_context* ctx, void*) {
    duk_push_uint(ctx, ArgColour(ctx, -1));
    return 1;
}
}  // namespace

TEST_F(ColourTest, ArgColourRaisesTypeErrorForNonNumbers) {
    duk_push_string(m_ctx, "red");
    ASSERT_NE(duk_safe_call(m_ctx, CallArgColour, nullptr, 1, 1), DUK_EXEC_SUCCESS);
    EXPECT_EQ(duk_get_error_code(m_ctx, -1), DUK_ERR_TYPE_ERROR);
    duk_pop(m_ctx);
    duk_push_int(m_ctx, 0x00FF00);
    ASSERT_EQ(duk_safe_call(m_ctx, CallArgColour, nullptr, 1, 1), DUK_EXEC_SUCCESS);
    EXPECT_EQ(duk_get_uint(m_ctx, -1), 0xFF00FF00u);
    duk_pop(m_ctx);
    EXPECT_EQ(duk_get_top(m_ctx), 0);
}

TEST_F(ColourTest, NativeRoundTripAndInstanceTest) {
    for (uint32_t argb : {0x00000000u, 0xFFFFFFFFu, 0x80402010u, 0x01FEFD7Fu}) {
        ColourToScript(m_ctx, argb);
        EXPECT_TRUE(IsColour(m_ctx, -1));
        EXPECT_EQ(ColourFromScript(m_ctx, -1), argb);
        duk_pop(m_ctx);
    }
    for (const char* other : {"({})", "7"}) {
        Push(other);
        EXPECT_FALSE(IsColour(m_ctx, -1)) << other;
        EXPECT_EQ(ColourFromScript(m_ctx, -1), 0u) << other;
        duk_pop(m_ctx);
    }
    EXPECT_EQ(duk_get_top(m_ctx), 0);
}

TEST_F(ColourTest, NativeCodeStillMakesColoursAfterScriptReplacesTheGlobal) {
    EXPECT_EQ(Eval("Colour = null; RGB8(1, 2, 3).rgb"), std::to_string(0x010203));
    ColourToScript(m_ctx, 0xFF102030u);
    EXPECT_TRUE(IsColour(m_ctx, -1));
    duk_pop(m_ctx);
    duk_get_global_string(m_ctx, DUK_HIDDEN_SYMBOL("Colour"));
    EXPECT_TRUE(duk_is_function(m_ctx, -1));
    duk_pop(m_ctx);
}
