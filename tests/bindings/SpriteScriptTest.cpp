// The Sprite and View script API against a game host without a window: views and backdrops come
// from a temporary data folder.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "scene/Sprite.h"
#include "support/Bytes.h"
#include "support/SceneTestUtil.h"
#include "support/ScriptFixture.h"

using namespace ove;
using namespace scenetest;

namespace {

class SpriteScriptTest : public ovetest::ScriptTest {
protected:
    void SetUp() override {
        ScriptTest::SetUp();
        m_data.Write("four.OVV", ViewFile(4, 3, 4, 6, 0xFFFF0000u));
        m_data.Write("12.OVV", ViewFile(1, 2, 2, 2, 0xFF00FF00u));
        // Walk mask: columns 0..14 and 25..39 walkable (two islands), with a wall in the left
        // island at column 7 over rows 0..15. Click mask: hotspot 1 everywhere.
        m_data.Write("room.OVP", PictureFile(
                                     40, 20, 0xFF000000u,
                                     [](int x, int y) -> std::uint8_t {
                                         if (x == 7 && y <= 15) return 0;
                                         return (x < 15 || x >= 25) ? 1 : 0;
                                     },
                                     nullptr, [](int, int) -> std::uint8_t { return 1; }));
    }

    // Each statement throws an error of that name.
    void ExpectThrows(const char* name, std::initializer_list<const char*> statements) {
        for (const char* statement : statements) EXPECT_EQ(ThrownName(statement), name) << statement;
    }
    void Frames(int n) {
        for (int i = 0; i < n; ++i) m_game->SpriteList().Update();
    }
};

}  // namespace

TEST_F(SpriteScriptTest, SpritesAreCreatedBoundAndDestroyed) {
    EXPECT_EQ(Eval("(s = new Sprite(), t = CreateSprite(), t instanceof Sprite)"), "true");
    EXPECT_EQ(m_game->Sprites().size(), 2u);
    ExpectThrows("TypeError", {"Sprite()", "DestroySprite({})"});
    Run("DestroySprite(t); DestroySprite(t);");  // destroying twice is harmless
    EXPECT_EQ(m_game->Sprites().size(), 1u);
    ExpectThrows("ReferenceError", {"t.x = 1", "t.MoveTo(1, 2)"});
    EXPECT_EQ(
        Eval("JSON.stringify([s.name, s.view, s.x, s.y, s.xalign, s.yalign, s.step, s.visible, s.active, s.cycling])"),
        "[null,null,0,0,1,2,4,true,true,false]");
}

TEST_F(SpriteScriptTest, ViewsLoadByNameOrNumberAndReportFailures) {
    EXPECT_EQ(Eval("(s = new Sprite(), s.view = 'four', [s.view, s.loops, s.cels, s.width, s.height])"),
              "four,4,3,4,6");
    EXPECT_EQ(Eval("(s.view = 12, [s.view, s.loops, s.cels])"), "12,1,2");
    EXPECT_EQ(Thrown("s.view = 'nope'"), "ReferenceError: Couldn't load sprite [nope]");
    EXPECT_EQ(Thrown("s.view = {}"), "ReferenceError: Couldn't load sprite [[unknown]]");
    EXPECT_EQ(Eval("s.view"), "12") << "a failed load keeps the view";
    EXPECT_EQ(Eval("[ViewExists('four'), ViewExists(12), ViewExists('nope')]"), "true,true,false");
    EXPECT_EQ(m_game->Resources()->ViewCount(), 2u);
    Run("ForgetView('four'); ForgetView(12);");
    EXPECT_EQ(m_game->Resources()->ViewCount(), 0u);
    EXPECT_EQ(Eval("[s.view, s.cels]"), "12,2") << "the sprite keeps its own reference";
}

TEST_F(SpriteScriptTest, LoopsCelsAndAnimationProperties) {
    Run("s = new Sprite(); s.view = 'four';");
    EXPECT_EQ(Eval("(s.loop = 6, [s.loop, s.cel])"), "2,0") << "out-of-range loops wrap";
    EXPECT_EQ(Eval("(s.cel = -1, s.cel)"), "2");
    EXPECT_EQ(Eval("(s.cel = 5, s.cel)"), "2");
    EXPECT_EQ(ThrownName("s.animation = 3"), "RangeError");
    EXPECT_EQ(Eval("(s.animation = REVERSE_ONCE, s.animation)"), "10");
    EXPECT_EQ(Eval("(s.delay = 3, s.delay)"), "3");
    EXPECT_EQ(Eval("(s.opacity = 0x180, s.tint = 0x102030, [s.opacity, s.tint.r8, s.tint.g8, s.tint.a8])"),
              "128,16,32,255");
    EXPECT_EQ(Eval("(s.scale = 1.00001, s.scale)"), "1");
    EXPECT_EQ(Eval("(s.scale = 2.5, s.scale)"), "2.5");
    CSprite* sprite = m_game->Sprites().front();
    EXPECT_EQ(sprite->loopFixed, 1);
    Run("s.loop = -1;");
    EXPECT_EQ(sprite->loopFixed, 0);
}

TEST_F(SpriteScriptTest, PlayAnimationAndForceDisplaySizeCheckTheirArguments) {
    Run("s = new Sprite(); s.view = 'four'; log = [];");
    ExpectThrows("SyntaxError", {"s.PlayAnimation(3, 0)", "s.PlayAnimation(1)"});
    ExpectThrows("RangeError", {"s.PlayAnimation(1, 99)", "s.PlayAnimation(1, -1)"});
    Run("s.PlayAnimation(5, 2, function () { log.push('done ' + s.cel); });");
    EXPECT_EQ(Eval("[s.loop, s.cel, s.animation, s.flag]"), "2,0,9,false");
    Frames(2);
    EXPECT_EQ(Eval("[s.cel, s.flag, log.length]"), "2,false,0");
    Frames(1);
    EXPECT_EQ(Eval("[s.flag, log.join()]"), "true,done 2");
    Run("s.PlayAnimation(REVERSE, 1);");
    EXPECT_EQ(Eval("[s.cel, s.animation]"), "2,10");

    ExpectThrows("SyntaxError", {"s.ForceDisplaySize(true)", "s.ForceDisplaySize(1, 2, 3)"});
    CSprite* sprite = m_game->Sprites().front();
    Run("s.ForceDisplaySize(10, 20);");
    EXPECT_EQ(sprite->forceSize, 1);
    EXPECT_EQ(sprite->forcedHeight, 20);
    Run("s.ForceDisplaySize(false);");
    EXPECT_EQ(sprite->forceSize, 0);
}

TEST_F(SpriteScriptTest, WalkConstraintsParseOperatorsAndReferences) {
    Run("s = new Sprite();");
    EXPECT_EQ(Eval("s.walkconstr"), "!=,0");
    EXPECT_EQ(Eval("(s.walkconstr = 'mask3', s.walkconstr)"), "mask,3");
    EXPECT_EQ(Eval("(s.walkconstr = '<=5', s.walkconstr)"), "<=,5");
    EXPECT_EQ(Eval("(s.walkconstr = '=<12', s.walkconstr)"), "<=,12");
    EXPECT_EQ(Eval("(s.walkconstr = ['>', 7], s.walkconstr)"), ">,7");
    for (const char* bad : {"''", "'5'", "'<='", "'foo5'", "'<=5x'", "'<=99999999999'", "3", "['?', 1]"})
        EXPECT_EQ(ThrownName(std::string("s.walkconstr = ") + bad), "SyntaxError") << bad;
    EXPECT_EQ(Eval("s.walkconstr"), ">,7") << "a refused value changes nothing";
    EXPECT_EQ(Eval("(s.walkconstr_ref = [2, 34], [s.walkconstr_ref, s.walkconstr_fn])"), "4,mask");
    EXPECT_EQ(Eval("(s.walkconstr_ref = [1, 3, -1], s.walkconstr_ref)"), "-2147483638");
    EXPECT_EQ(Eval("(s.walkconstr_fn = 'bogus', s.walkconstr_fn)"), "mask");
    EXPECT_EQ(Eval("(s.walkconstr_fn = '<>', s.walkconstr_ref = 9, s.walkconstr)"), "!=,9");
    EXPECT_EQ(ThrownName("s.walkconstr_ref = ['a']"), "TypeError");
}

TEST_F(SpriteScriptTest, MoveToCallsBackOnArrivalOrAtOnceWithoutDistance) {
    Run("s = new Sprite(); log = []; s.x = 3; s.y = 4;");
    EXPECT_EQ(ThrownName("s.MoveTo(1)"), "SyntaxError");
    Run("s.MoveTo(3, 4, function () { log.push('here'); });");
    EXPECT_EQ(Eval("[log.join(), s.Moving()]"), "here,false");
    Run("s.MoveTo(11, 4, function () { log.push('there ' + s.x); });");
    EXPECT_EQ(Eval("[s.Moving(), s.Walking(), s.cycling]"), "true,true,false");
    Frames(2);
    EXPECT_EQ(Eval("[s.x, log.length]"), "11,1");
    Frames(1);
    EXPECT_EQ(Eval("[log.join(), s.Moving()]"), "here,there 11,false");
    Run("s.MoveTo(20, 4); s.CancelWalking();");
    Frames(3);
    EXPECT_EQ(Eval("[s.x, log.length]"), "11,2") << "cancelled: no movement, no callback";
}

TEST_F(SpriteScriptTest, CallbacksMayDestroyTheirOwnSprite) {
    Run("a = new Sprite(); b = new Sprite(); c = new Sprite(); a.view = b.view = 'four';"
        "a.MoveTo(1, 0, function () { DestroySprite(a); });"
        "b.PlayAnimation(FORWARD, 0, function () { DestroySprite(b); DestroySprite(c); });"
        "c.MoveTo(0, 40);");
    Frames(1);
    EXPECT_EQ(m_game->Sprites().size(), 2u);
    // a's callback destroyed a mid-pass: the pass started over, yet c moved only once.
    EXPECT_EQ(Eval("c.y"), "4");
    Frames(2);
    EXPECT_EQ(m_game->Sprites().size(), 0u);
    EXPECT_EQ(ThrownName("c.x"), "ReferenceError");
    Run("d = new Sprite(); d.MoveTo(0, 3, function () { throw new Error('boom'); });");
    Frames(1);
    EXPECT_TRUE(HasPendingFatal()) << "a callback's error ends the run";
    EXPECT_NE(TakePendingFatal().find("boom"), std::string::npos);
}

TEST_F(SpriteScriptTest, PlacementPriorityAndDetachingOnDestroy) {
    Run("p = new Sprite(); k = new Sprite(); p.x = 10; p.y = 20; k.x = 1; k.y = 2; k.SetPlacement(p);");
    CSprite* parent = m_game->Sprites().front();
    CSprite* kid = m_game->Sprites().back();
    EXPECT_EQ(kid->GetParent(), parent);
    EXPECT_EQ(m_game->SpriteScreenPosition(kid), (SGamePoint{11, 22}));
    EXPECT_EQ(Eval("(p.priority = 7, [p.priority, k.priority])"), "7,7");
    EXPECT_EQ(Eval("(p.priority = ONTOP, k.priority)"), "15");
    ExpectThrows("TypeError", {"k.SetPlacement(2)", "k.SetPlacement('p')"});
    Run("DestroySprite(p);");
    EXPECT_EQ(kid->GetPlacement(), kPlaceScreen);
    EXPECT_EQ(kid->GetParent(), nullptr);
    Run("k.SetPlacement(BACKDROP);");
    EXPECT_EQ(kid->GetPlacement(), kPlaceBackdrop);
    EXPECT_EQ(ThrownName("k.SetPlacement(p)"), "ReferenceError");
}

TEST_F(SpriteScriptTest, HotspotsPreferTheNearestNamedSprite) {
    m_game->SetBackdropPicture("room");
    Run("a = new Sprite(); b = new Sprite(); a.view = b.view = 'four';"
        "a.x = b.x = 20; a.y = b.y = 10; a.priority = b.priority = 5; a.name = 'first'; b.name = 'second';");
    EXPECT_EQ(Eval("GetHotspot(20, 8)"), "first") << "equal depths: the first in the list";
    EXPECT_EQ(Eval("(b.priority = 6, GetHotspot(20, 8))"), "second");
    EXPECT_EQ(Eval("(b.ignore = true, GetHotspot(20, 8))"), "first");
    EXPECT_EQ(Eval("(a.noncorporeal = true, GetHotspot(20, 8))"), "door");
    EXPECT_EQ(Eval("(a.noncorporeal = false, a.visible = false, GetHotspot(20, 8))"), "door");
    EXPECT_EQ(Eval("(a.visible = true, a.name = '', GetHotspot(a))"), "door") << "unnamed sprites are no hotspots";
    EXPECT_EQ(Eval("(a.name = 'x', GetHotspot(a))"), "x");
    EXPECT_EQ(Eval("GetHotspot(30, 2)"), "door");
    EXPECT_EQ(Eval("(a.x = 2, a.y = 5, GetWalkability(a) + ',' + GetWalkability({x: 20, y: 5}))"), "1,0");
}

TEST_F(SpriteScriptTest, CursorSpriteTakesTheTopLeftHotSpotAndStops) {
    for (const char* bad : {"SetCursor({})", "SetCursor()"})
        EXPECT_EQ(Thrown(bad), "TypeError: Sprite expected") << bad;
    Run("s = new Sprite(); s.view = 'four'; s.visible = false; SetCursor(s);");
    EXPECT_EQ(Eval("[s.xalign, s.yalign, s.cycling, s.visible]"), "0,0,false,true");
    Run("ClearCursor(); DestroySprite(s);");
    for (const char* dead : {"SetCursor(s)", "GetControl(s)", "GetHotspot(s)"})
        EXPECT_EQ(Thrown(dead), "ReferenceError: Sprite has no associated native object") << dead;
}

TEST_F(SpriteScriptTest, WalksGoAroundWallsAndBetweenIslands) {
    m_game->SetBackdropPicture("room");
    Run("s = new Sprite(); s.x = 2; s.y = 5; s.step = 1; log = [];");
    EXPECT_EQ(
        Eval("[s.AllowedAt(2, 5), s.AllowedAt(7, 5), s.AllowedAt(20, 5), s.AllowedAt(-1, 0), s.AllowedAt(40, 0)]"),
        "true,false,false,false,false");
    // Around the wall at column 7, which leaves rows 16..19 open.
    ASSERT_EQ(Eval("s.WalkTo(12, 5, function () { log.push('arrived'); })"), "true");
    EXPECT_EQ(Eval("s.cycling"), "true");
    int frames = 0;
    while (Eval("s.Moving()") == "true" && frames < 200) {
        Frames(1);
        ++frames;
        ASSERT_EQ(Eval("s.AllowedAt(s.x, s.y)"), "true") << "frame " << frames << " at " << Eval("[s.x, s.y]");
    }
    EXPECT_EQ(Eval("[s.x, s.y, log.join()]"), "12,5,arrived");
    EXPECT_GT(frames, 20) << "the detour below the wall is longer than the straight line";

    // The other island cannot be reached: the nearest ring point in this one is taken.
    ASSERT_EQ(Eval("s.WalkTo(30, 5)"), "true");
    Frames(100);
    EXPECT_EQ(Eval("[s.x, s.y]"), "14,5");
    // Outside the picture: the rings come back inside it.
    ASSERT_EQ(Eval("s.WalkTo(-50, 5)"), "true");
    Frames(100);
    EXPECT_EQ(Eval("[s.x, s.y]"), "0,5");
}

TEST_F(SpriteScriptTest, AFailedWalkKeepsTheOldCallback) {
    m_game->SetBackdropPicture("room");
    Run("s = new Sprite(); log = []; s.x = 2; s.y = 5; s.MoveTo(3, 5, function () { log.push('old'); });");
    Frames(1);
    Run("s.x = 20;");  // on the blocked band: nowhere to start from
    EXPECT_EQ(Eval("s.WalkTo(2, 5, function () { log.push('new'); })"), "false");
    EXPECT_EQ(Eval("s.Moving()"), "false");
    Run("s.x = 2; s.MoveTo(3, 5);");
    Frames(1);
    EXPECT_EQ(Eval("log.join()"), "old,old");
    Run("s.walkconstr = '==9';");  // nothing matches
    EXPECT_EQ(Eval("s.WalkTo(3, 5)"), "false");
}

TEST_F(SpriteScriptTest, ViewsBuiltInScript) {
    ExpectThrows("TypeError", {"View()", "DestroyView({})"});
    EXPECT_EQ(Eval("typeof ViewConstructor"), "undefined");
    Run("v = new View(); v.NewLoop(); v.NewLoop(0); w = CreateView(); s = new Sprite();");
    EXPECT_EQ(ThrownName("v.NewCel({}, 0, 0, 1, 1)"), "TypeError");
    EXPECT_EQ(Eval("(s.view = v, [s.view, s.loops, s.cels])"), "[generated],2,0");
    EXPECT_EQ(Eval("(v.NewLoop(), v.Fixate(), s.view = v, s.loops)"), "2") << "loops after Fixate are ignored";
    Run("DestroyView(v); DestroyView(w);");
    EXPECT_EQ(Eval("s.loops"), "2") << "the sprite keeps the view";
    EXPECT_EQ(ThrownName("v.NewLoop()"), "ReferenceError");
    EXPECT_EQ(Thrown("s.view = v"), "ReferenceError: Couldn't load sprite [[generated]]");
}

TEST_F(SpriteScriptTest, SpritesOnATileLayerFollowItUntilTheLayersGo) {
    Run("var set = new TileLayers(); var layer = set.AddLayer('ground', 4, 4);"
        "layer.scale = 2; layer.offset_x = 10; layer.offset_y = -3;"
        "var s = new Sprite(); s.x = 5; s.y = 7; s.SetPlacement(layer);");
    CSprite* sprite = m_game->Sprites().back();
    EXPECT_EQ(sprite->GetPlacedPosition().x, 5 * 2 + 10);
    EXPECT_EQ(sprite->GetPlacedPosition().y, 7 * 2 - 3);
    Run("DestroyLayers(set);");
    EXPECT_EQ(sprite->GetPlacement(), kPlaceScreen) << "a sprite must not keep a deleted layer";
    EXPECT_EQ(sprite->GetPlacedPosition().x, 5);
    EXPECT_EQ(sprite->GetPlacedPosition().y, 7);
}

// A backdrop picture the game must refuse is the script's error, at the SetBackdrop that asked for it.
TEST_F(SpriteScriptTest, SetBackdropRaisesTheRefusalOfAPicture) {
    viewtest::Bytes b;
    b.Tag("PICT").U32(1).U32(1).Zeros(24).Tag("IMGE").U32(0).U32(24).U32(0).U8(1).U8(2).U8(3);
    b.Tag("HOTS").U32(0).Tag("HSPT").I32(1).U32(0).Tag("SIZE").U32(4).U32(0);
    m_data.Write("hall.OVP", b.v);
    EXPECT_EQ(Thrown("SetBackdrop('hall')"), "Error: Unknown hotspot attribute");
    EXPECT_EQ(Eval("GetBackdropWidth()"), "0") << "the refused picture is not shown";
}
