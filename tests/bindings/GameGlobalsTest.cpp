#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "HeapFixture.h"
#include "bindings/Bindings.h"
#include "bindings/JSColour.h"
#include "bindings/JSGame.h"
#include "host/Game.h"
#include "image/Bitmap.h"
#include "image/RunMask.h"
#include "platform/MessageBox.h"
#include "walk/BackdropPicture.h"

using gameapitest::ScriptFixture;
using namespace ove;

namespace {

// Script tests that need no game: every function must be harmless without one. The game globals
// come before Colour in the host's module order.
class GameGlobalsTest : public ScriptFixture {
protected:
    void* Services() override { return static_cast<IEngineServices*>(m_game.get()); }
    bool StartModules(duk_context* ctx) override { return StartGameAPI(ctx) && StartColourAPI(ctx); }
    void StopModules(duk_context* ctx) override {
        StopGameAPI(ctx);
        StopColourAPI(ctx);
    }

    std::unique_ptr<CGame> m_game;
};

// Script tests against a game host that has a backdrop but no window.
class GameBackdropTest : public GameGlobalsTest {
protected:
    void SetUp() override {
        m_game = std::make_unique<CGame>(ove::CreateScriptRuntime());
        GameGlobalsTest::SetUp();
    }
    void TearDown() override {
        GameGlobalsTest::TearDown();
        m_game.reset();  // deletes the backdrop and forgets itself as the process's game
    }

    // A picture of w x h whose control mask holds (x + y) & 0xFF and whose walk mask is 1 in the
    // left half and 0 in the right half.
    void LoadPicture(int32_t w, int32_t h, bool masks = true, const std::string& name = {}) {
        auto picture = std::make_unique<CBackdropPicture>();
        picture->SetImage(std::make_unique<CBitmap>(static_cast<u32>(w), static_cast<u32>(h), 32u));
        if (masks) {
            std::vector<u8> control, walk;
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x) {
                    control.push_back(static_cast<u8>(x + y));
                    walk.push_back(x < w / 2 ? 1 : 0);
                }
            picture->SetMask(CBackdropPicture::kControl, std::make_unique<CRunMask>(CRunMask::Encode(
                                                             control.data(), static_cast<u32>(control.size()))));
            picture->SetMask(CBackdropPicture::kWalk,
                             std::make_unique<CRunMask>(CRunMask::Encode(walk.data(), static_cast<u32>(walk.size()))));
        }
        m_game->PlaceBackdrop(std::move(picture), w, h, m_game->Backdrop().PriorityViewportHeightSetting(), name);
    }
};

// Runs `run` with headless message boxes and returns what they wrote to standard error.
std::string CapturedBoxes(const std::function<void()>& run) {
    bool wasHeadless = HeadlessMessageBoxes();
    SetHeadlessMessageBoxes(true);
    testing::internal::CaptureStderr();
    run();
    std::string text = testing::internal::GetCapturedStderr();
    SetHeadlessMessageBoxes(wasHeadless);
    return text;
}

}  // namespace

// ---------------------------------------------------------------- RandomInt

// The ranges themselves are the logic's; here: the arguments reach it as the script gave them.
TEST_F(GameGlobalsTest, RandomIntCoversItsRangeAndNoMore) {
    EXPECT_EQ(Eval("[RandomInt(4, 4), RandomInt(-10, -10), RandomInt(0)].join()"), "4,-10,0");
    EXPECT_EQ(Eval("var ok = true; for (var i = 0; i < 200; ++i) { var v = RandomInt(-3, 99, 'skipped', -1);"
                   "  ok = ok && v >= -3 && v <= -1 && v === Math.floor(v); } ok"),
              "true");
}

// ---------------------------------------------------------------- Alert

TEST_F(GameGlobalsTest, AlertJoinsItsArgumentsWithSpaces) {
    std::string shown = CapturedBoxes([&] { EXPECT_EQ(Eval("Alert(1, 'a', true)"), "undefined"); });
    EXPECT_EQ(shown, "Alert: 1 a true\n");
    shown = CapturedBoxes([&] { Eval("alert(null, undefined, {}, [1, 2], 0.5)"); });
    EXPECT_EQ(shown, "Alert: null undefined [object Object] 1,2 0.5\n");
    shown = CapturedBoxes([&] { Eval("Alert()"); });
    EXPECT_EQ(shown, "Alert: \n");
    shown = CapturedBoxes([&] { Eval("Alert('', '')"); });
    EXPECT_EQ(shown, "Alert:  \n");
}

TEST_F(GameGlobalsTest, AlertPassesOnConversionErrorsWithoutShowingABox) {
    std::string shown = CapturedBoxes([&] {
        EXPECT_EQ(Eval("try { Alert('x', { toString: function () { throw new Error('no text') } }); 'shown' }"
                       "catch (e) { e.message }"),
                  "no text");
    });
    EXPECT_EQ(shown, "");
}

// ---------------------------------------------------------------- functions without a game

TEST_F(GameGlobalsTest, WithoutAGameEveryFunctionIsHarmless) {
    EXPECT_EQ(Eval("Animate(); Display(); Idle(); Mark(); Wait(0.01); Delay(0.01);"
                   "SetBackdropDimensions(1, 2); SetBackdropOffset(3, 4); SetPriorityViewportHeight(5); 'ok'"),
              "ok");
    EXPECT_EQ(Eval("[GetBackdropWidth(), GetBackdropHeight(), GetBackdropXOffset(), GetBackdropYOffset()].join()"),
              "0,0,0,0");
    EXPECT_EQ(Eval("GetBackdrop().rgba"), "0");
    EXPECT_EQ(Eval("JSON.stringify(BackdropToScreen(3, 4))"), "{\"x\":3,\"y\":4}");
    EXPECT_EQ(Eval("[GetControl(1, 1), GetWalkability({x: 1, y: 1})].join()"), "0,0");
    EXPECT_EQ(Eval("[BackdropExists('hall'), PictureExists('hall')].join()"), "false,false");
    EXPECT_EQ(Eval("GoFullScreen(); ClearBackdrop(); SetTitle('t'); SetBackdrop('hall');"
                   "SetBackdrop(RED); 'ok'"),
              "ok");
    EXPECT_EQ(Eval("GetHotspot(1, 1)"), "*");
    EXPECT_EQ(Eval("GetParams()"), "");
}

// The message names the function, the argument and what it got; a number given as text is not
// taken for a number, and a missing point is an error rather than (0, 0).
TEST_F(GameGlobalsTest, ArgumentErrorsSayWhatWasWrong) {
    const std::string pointOrSprite = "must be a point {x, y}, a Sprite or a number";
    const std::pair<const char*, std::string> calls[] = {
        {"GetHotspot('70', '100')", "TypeError: GetHotspot: argument 1 (x) " + pointOrSprite + ", got string \"70\""},
        {"GetHotspot()", "TypeError: GetHotspot: argument 1 (x) " + pointOrSprite + ", got undefined"},
        {"GetWalkability(null)", "TypeError: GetWalkability: argument 1 (x) " + pointOrSprite + ", got null"},
        {"GetControl(70, '100')", "TypeError: GetControl: argument 2 (y) must be a number, got string \"100\""},
        {"ScreenToBackdrop('x')",
         "TypeError: ScreenToBackdrop: argument 1 (x) must be a point {x, y} or a number, got string \"x\""},
        {"BackdropToScreen(5)", "TypeError: BackdropToScreen: argument 2 (y) must be a number, got undefined"},
        {"Wait('1')", "TypeError: Wait: argument 1 (seconds) must be a number, got string \"1\""},
        {"SetBackdrop(true)",
         "TypeError: SetBackdrop: argument 1 must be a Colour, a number or a picture name, got boolean true"},
        {"PictureExists(7)", "TypeError: PictureExists: argument 1 (name) must be a string, got number 7"},
        {"BackdropExists()", "TypeError: BackdropExists: argument 1 (name) must be a string, got undefined"},
        {"SetBackdropOffset(1)", "TypeError: SetBackdropOffset: argument 2 (y) must be a number, got undefined"},
        {"RandomInt(5, 1)", "RangeError: RandomInt: low end 5 is above high end 1"},
        {"RandomInt(-1)", "RangeError: RandomInt: high end -1 is below 0"},
        {"RandomInt(1, 2, 3, 'x')", "TypeError: RandomInt: argument 4 (high) must be a number, got string \"x\""},
        // Still the same functions when the arguments are right.
        {"GetHotspot({x: 70, y: 100})", "no error"},
        {"GetWalkability(1, 2)", "no error"},
    };
    for (const auto& [call, error] : calls) EXPECT_EQ(Thrown(call, true), error) << call;
    // A plain object is not a Colour, and not a name either.
    for (const char* call : {"Delay()", "SetTitle(5)", "SetBackdrop({ r8: 1 })", "SetBackdropDimensions('a', 1)",
                             "RandomInt('6')", "RandomInt(1, null)"})
        EXPECT_EQ(Thrown(call), "TypeError") << call;
    EXPECT_EQ(Thrown("RandomInt(9, 0, 0, 8)"), "RangeError");
}

// ---------------------------------------------------------------- backdrop geometry

TEST_F(GameBackdropTest, DimensionsFollowThePictureAspectOrKeepTheGivenSides) {
    auto shown = [&](const std::string& args) {
        return Eval("SetBackdropDimensions(" + args + "); [GetBackdropWidth(), GetBackdropHeight()].join()");
    };
    // Without a picture the given sides are kept.
    EXPECT_EQ(shown("0, 240"), "0,240");
    EXPECT_EQ(shown(""), "0,0");
    LoadPicture(640, 400, false);
    // The aspect rule itself is the logic's; here: how the arguments reach it.
    for (auto [args, size] : {std::pair{"0, 100", "160,100"}, {"null", "640,400"}, {"320.9, undefined", "320,200"}})
        EXPECT_EQ(shown(args), size) << args;
    EXPECT_EQ(m_game->BackdropWidth(), 320);
    EXPECT_EQ(m_game->BackdropHeight(), 200);
}

TEST_F(GameBackdropTest, PointsMapBetweenBackdropAndScreen) {
    LoadPicture(640, 400, false);
    EXPECT_EQ(Eval("SetBackdropDimensions(320, 0); JSON.stringify(BackdropToScreen(100, 100))"), "{\"x\":50,\"y\":50}");
    EXPECT_EQ(Eval("JSON.stringify(BackdropToScreen({x: 100, y: 100}))"), "{\"x\":50,\"y\":50}");
    EXPECT_EQ(Eval("JSON.stringify(ScreenToBackdrop(50, 50))"), "{\"x\":100,\"y\":100}");
    EXPECT_EQ(Eval("SetBackdropOffset(10, -20); [GetBackdropXOffset(), GetBackdropYOffset()].join()"), "10,-20");
    EXPECT_EQ(Eval("var p = BackdropToScreen(100, 100); p.x + ',' + p.y"), "60,30");
    EXPECT_EQ(Eval("var p = ScreenToBackdrop({x: 60, y: 30}); p.x + ',' + p.y"), "100,100");
    // Each call gives a new plain object.
    EXPECT_EQ(Eval("BackdropToScreen(1, 1) !== BackdropToScreen(1, 1)"), "true");
    // Without a picture only the offset applies.
    m_game->TakeBackdrop();
    m_game->SetBackdropOffset(5, 7);
    EXPECT_EQ(Eval("var p = BackdropToScreen(100, 100); p.x + ',' + p.y"), "105,107");
    EXPECT_EQ(Eval("var p = ScreenToBackdrop(100, 100); p.x + ',' + p.y"), "95,93");
}

TEST_F(GameBackdropTest, MasksAreReadAtBackdropPoints) {
    LoadPicture(64, 32);
    EXPECT_EQ(Eval("GetControl(5, 9)"), "14");
    EXPECT_EQ(Eval("GetControl({x: 63, y: 31})"), "94");
    EXPECT_EQ(Eval("[GetWalkability(31, 0), GetWalkability(32, 0)].join()"), "1,0");
    // Outside the picture there is nothing, not the next row.
    EXPECT_EQ(Eval("[GetControl(64, 0), GetControl(-1, 3), GetControl(0, 32)].join()"), "0,0,0");
    // Scaling the display does not change backdrop points.
    EXPECT_EQ(Eval("SetBackdropDimensions(32, 16); SetBackdropOffset(100, 100); GetControl(5, 9)"), "14");
    // A picture without masks reads 0.
    LoadPicture(64, 32, false);
    EXPECT_EQ(Eval("[GetControl(5, 9), GetWalkability(5, 9)].join()"), "0,0");
}

TEST_F(GameBackdropTest, GetBackdropGivesTheNameOrTheColour) {
    m_game->SetBackdropSolid(0xFF123456u);
    EXPECT_EQ(Eval("var c = GetBackdrop(); (c instanceof Colour) + ' ' + c.rgba.toString(16)"), "true ff123456");
    EXPECT_EQ(Eval("GetBackdrop() !== GetBackdrop()"), "true");
    LoadPicture(8, 8, false, "hall");
    EXPECT_EQ(Eval("GetBackdrop()"), "hall");
}

TEST_F(GameBackdropTest, PriorityViewportHeightSetting) {
    auto setting = [&](const std::string& arg) {
        Eval("SetPriorityViewportHeight(" + arg + ")");
        return m_game->Backdrop().PriorityViewportHeightSetting();
    };
    for (auto [arg, height] : {std::pair{"100", 100},
                               {"null", -1},
                               {"0", 0},
                               {"undefined", -1},
                               {"-5", 0},
                               {"5e9", INT_MAX},
                               {"12.8", 12},
                               {"", -1}})
        EXPECT_EQ(setting(arg), height) << arg;
    EXPECT_EQ(Thrown("SetPriorityViewportHeight('7')"), "TypeError");
    EXPECT_EQ(m_game->Backdrop().PriorityViewportHeightSetting(), -1);
}

TEST_F(GameBackdropTest, SolidBackdropsAreOpaqueUnlessGivenAsColour) {
    EXPECT_EQ(Eval("SetBackdrop(0x123456); GetBackdrop().rgba.toString(16)"), "ff123456");
    EXPECT_EQ(Eval("SetBackdrop(-1); GetBackdrop().rgba.toString(16)"), "ff000000");
    EXPECT_EQ(Eval("SetBackdrop(RGBA(0x10203040)); GetBackdrop().rgba.toString(16)"), "10203040");
    EXPECT_EQ(m_game->BackdropPicture(), nullptr);
}

TEST_F(GameBackdropTest, NamedBackdropsResetTheOffsetsUnknownOnesLeaveNoPicture) {
    LoadPicture(640, 400, false, "hall");
    EXPECT_EQ(Eval("SetBackdropOffset(5, 6); SetBackdropDimensions(320, 0); SetBackdrop('hall');"
                   "[GetBackdropXOffset(), GetBackdropYOffset(), GetBackdropWidth(), GetBackdropHeight()].join()"),
              "0,0,320,200");
    EXPECT_NE(m_game->BackdropPicture(), nullptr);  // the same name keeps the picture
    EXPECT_EQ(Eval("ClearBackdrop(); [GetBackdropWidth(), GetBackdropHeight(), GetBackdrop().rgba].join()"), "0,0,0");
    EXPECT_EQ(m_game->BackdropPicture(), nullptr);
    // An unknown picture name leaves no picture but keeps the name.
    LoadPicture(640, 400, false, "hall");
    EXPECT_EQ(Eval("SetBackdropOffset(3, 4); SetBackdrop('cellar');"
                   "[GetBackdrop(), GetBackdropWidth(), GetBackdropHeight(), GetBackdropXOffset()].join()"),
              "cellar,0,0,0");
    EXPECT_EQ(m_game->BackdropPicture(), nullptr);
    // A solid colour forgets the name; GetBackdrop then answers with the colour.
    EXPECT_EQ(Eval("SetBackdrop(0x0000FF); var c = GetBackdrop(); (c instanceof Colour) + ' ' + c.toString()"),
              "true RGBA8(0x00, 0x00, 0xFF, 0xFF)");
    EXPECT_EQ(m_game->BackdropName(), "");
}
