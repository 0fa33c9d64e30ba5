// The TileLayers / TileLayer script API on a running script host.
#include <gtest/gtest.h>

#include "support/ScriptFixture.h"
#include "support/TestSupport.h"
#include "tiles/TileLayerSet.h"
#include "tiles/TilesTestUtil.h"

using ovetest::ScriptTest;

namespace {

class TileScript : public ScriptTest {
protected:
    void SetUp() override {
        ScriptTest::SetUp();
        m_data.Write("tiles.OVV", tilestest::ViewBytes({3, 2}, 16, 8));
        m_data.Write("odd.OVV", tilestest::ViewBytes({1, 1}, 16, 8, 1, 4));
        Run("var set = new TileLayers(); var l = set.AddLayer('ground', 4, 3); l.view = 'tiles';");
    }
    // Each statement throws an error of that name.
    void ExpectThrows(const char* name, std::initializer_list<std::string> statements) {
        for (const std::string& s : statements) EXPECT_EQ(ThrownName(s), name) << s;
    }
};

}  // namespace

TEST_F(TileScript, SetsAndLayersAreBound) {
    ExpectThrows("TypeError", {"TileLayers()", "new TileLayer()"});
    EXPECT_EQ(Eval("CreateLayers() instanceof TileLayers"), "true");
    EXPECT_EQ(Eval("JSON.stringify(set.properties)"), "{}");
    EXPECT_EQ(Eval("set.count"), "1");
    EXPECT_EQ(Eval("set.GetLayer(0) === l && set.GetLayer('ground') === l"), "true");
    EXPECT_EQ(
        Eval("set.GetLayer(5) === undefined && set.GetLayer('x') === undefined && set.GetLayer({}) === undefined"),
        "true");

    Run("var top = set.AddLayer('top', 1, 1); var mid = set.InsertLayer('mid', 1, 1, top);"
        "var first = set.InsertLayer('first', 1, 1, 0); var byName = set.InsertLayer('n', 1, 1, 'ground');");
    EXPECT_EQ(Eval("[0,1,2,3,4].map(function (i) { return set.GetLayer(i).name; }).join()"), "first,n,ground,mid,top");
    EXPECT_EQ(ThrownName("set.InsertLayer('x', 1, 1, {})"), "TypeError");
    for (const char* before : {"9", "-1", "'nosuch'", "true", "CreateLayers().AddLayer('o', 1, 1)"})
        EXPECT_EQ(ThrownName(std::string("set.InsertLayer('x', 1, 1, ") + before + ")"), "ReferenceError") << before;
    EXPECT_EQ(ThrownName("set.AddLayer('big', 65535, 65535)"), "RangeError");
    EXPECT_EQ(Eval("set.count"), "5");

    // Destroying the set unbinds every layer; a second destroy is harmless.
    Run("SetLayers(set);");
    auto* native = m_game->ActiveTileLayers();
    ASSERT_NE(native, nullptr);
    EXPECT_EQ(native->Count(), 5u);
    Run("DestroyLayers(set); DestroyLayers(set);");
    EXPECT_EQ(m_game->ActiveTileLayers(), nullptr);
    ExpectThrows("ReferenceError", {"l.columns", "set.count"});
    ExpectThrows("TypeError", {"DestroyLayers({})", "SetLayers(1)"});
}

TEST_F(TileScript, SetLayersAndExistence) {
    m_data.Write("world.OVT", "LYRS");
    EXPECT_EQ(Eval("LayersetExists('world') + ',' + LayersetExists('nowhere')"), "true,false");
    Run("SetLayers(set)");
    EXPECT_EQ(m_game->ActiveTileLayers()->Layer(0)->name, "ground");
    for (const char* off : {"undefined", "null", "false"}) {
        Run("SetLayers(set)");
        Run(std::string("SetLayers(") + off + ")");
        EXPECT_EQ(m_game->ActiveTileLayers(), nullptr) << off;
    }
}

TEST_F(TileScript, PropertiesAndModes) {
    EXPECT_EQ(Eval("[l.columns, l.rows, l.celwidth, l.celheight, l.width, l.height, l.view].join()"),
              "4,3,16,8,64,24,tiles");
    Run("l.scale = 2; l.priority = 4; l.offset_x = 3; l.delay = 5; l.visible = false; l.name = 'g2';");
    EXPECT_EQ(Eval("[l.screenwidth, l.screenheight, l.priority, l.offset_x, l.delay, l.visible, l.name].join()"),
              "128,48,4,3,5,false,g2");
    Run("l.mode_x = REPEAT; l.mode_y = FIXED;");
    EXPECT_EQ(Eval("l.mode_x + ',' + l.mode_y"), "3,0");
    ExpectThrows("RangeError", {"l.mode_x = 4", "l.mode_y = -1"});
    EXPECT_EQ(Eval("l.mode_x"), "3");
    Run("l.center = 5;");  // ignored
    EXPECT_EQ(Eval("typeof l.center.x"), "number");

    EXPECT_EQ(Thrown("l.view = 'missing'"), "ReferenceError: Couldn't load sprite [missing]");
    EXPECT_EQ(Thrown("l.view = {}"), "ReferenceError: Couldn't load sprite [[unknown]]");
    EXPECT_EQ(Thrown("l.view = 42"), "ReferenceError: Couldn't load sprite [42]");
    Run("l.view = 'odd';");  // cels of different sizes: refused, the old view stays
    EXPECT_EQ(Eval("l.view"), "tiles");
    Run("l.view = null;");
    EXPECT_EQ(Eval("l.view + ',' + l.celwidth"), "null,0");
}

TEST_F(TileScript, PointsAndTiles) {
    // Both point forms agree; results are new objects of the right kind.
    EXPECT_EQ(Eval("JSON.stringify(l.TileToWorld(2, 1)) + JSON.stringify(l.TileToWorld({col: 2, row: 1}))"),
              "{\"x\":32,\"y\":8}{\"x\":32,\"y\":8}");
    EXPECT_EQ(Eval("JSON.stringify(l.WorldToTile({x: -1, y: 17}))"), "{\"col\":-1,\"row\":2}");
    EXPECT_EQ(Eval("JSON.stringify(l.ScreenToTile(40, 9))"), "{\"col\":2,\"row\":1}");
    Run("l.offset_x = 5;");
    EXPECT_EQ(Eval("JSON.stringify(l.WorldToScreen(1, 2)) + JSON.stringify(l.ScreenToWorld({x: 6, y: 2}))"),
              "{\"x\":6,\"y\":2}{\"x\":1,\"y\":2}");
    EXPECT_EQ(Eval("JSON.stringify(l.TileToScreen(1, 0))"), "{\"x\":21,\"y\":0}");
    ExpectThrows("SyntaxError", {"l.TileToWorld(1)", "l.WorldToScreen('a', 2)", "l.CenterOnWorld()",
                                 "l.ClearTile(true)", "l.SetTile()", "l.ReadWorldPixel(1)"});
    EXPECT_EQ(
        Eval("l.GetTile('a') === undefined && l.GetWorldTile() === undefined && l.GetScreenTile(1) === undefined"),
        "true");

    // Tile forms.
    Run("l.SetTile(0, 0, {loop: 1, base_cel: 1});"
        "l.SetTile({col: 1, row: 0}, {loop: 0, base_cel: 1, animated: true, current_cel: 2});"
        "l.SetTile(2, 0, 1);"           // a loop alone: animated from cel 0
        "l.SetTile(3, 0, 0, 2);"        // static
        "l.SetTile(0, 1, 0, 1, true);"  // animated, current = base
        "l.SetTile(1, 1, 0, 0, true, 2);"
        "l.SetTile(2, 1, 5);"     // no loop 5: ignored
        "l.SetTile(99, 0, 0);");  // outside: ignored
    auto tile = [&](int c, int r) {
        return Eval("JSON.stringify(l.GetTile(" + std::to_string(c) + ", " + std::to_string(r) + "))");
    };
    EXPECT_EQ(tile(0, 0), "{\"loop\":1,\"base_cel\":1,\"current_cel\":1,\"animated\":false}");
    EXPECT_EQ(tile(1, 0), "{\"loop\":0,\"base_cel\":1,\"current_cel\":2,\"animated\":true}");
    EXPECT_EQ(tile(2, 0), "{\"loop\":1,\"base_cel\":0,\"current_cel\":0,\"animated\":true}");
    EXPECT_EQ(tile(3, 0), "{\"loop\":0,\"base_cel\":2,\"current_cel\":2,\"animated\":false}");
    EXPECT_EQ(tile(0, 1), "{\"loop\":0,\"base_cel\":1,\"current_cel\":1,\"animated\":true}");
    EXPECT_EQ(tile(1, 1), "{\"loop\":0,\"base_cel\":0,\"current_cel\":2,\"animated\":true}");
    EXPECT_EQ(tile(2, 1), "undefined");
    EXPECT_EQ(Eval("JSON.stringify(l.GetWorldTile({x: 17, y: 3})) === JSON.stringify(l.GetTile(1, 0))"), "true");
    ExpectThrows("SyntaxError", {"l.SetTile(0, 0, 'x')", "l.SetTile(0, 0, {base_cel: 1})", "l.SetTile(0, 0, 1, 'a')",
                                 "l.SetTile(0, 0, 1, 0, 1)"});

    EXPECT_EQ(Eval("l.ReadWorldPixel(3, 3).rgba"), std::to_string(tilestest::CelColour(1, 1)));
    EXPECT_EQ(Eval("l.ReadWorldPixel(3, 20).rgba"), "0");
    Run("l.SetTile(0, 0, null); l.SetTile({col: 3, row: 0}); l.ClearTile(1, 0);");
    EXPECT_EQ(tile(0, 0) + tile(3, 0) + tile(1, 0), "undefinedundefinedundefined");
    Run("l.Clear();");
    EXPECT_EQ(tile(0, 1), "undefined");
}

TEST_F(TileScript, AnimateTicksTheActiveSet) {
    Run("l.SetTile(0, 0, 0);");  // loop 0 has 3 cels
    m_game->Animate();           // no active set: nothing moves
    EXPECT_EQ(Eval("l.GetTile(0, 0).current_cel"), "0");
    Run("SetLayers(set);");
    m_game->Animate();
    m_game->Animate();
    EXPECT_EQ(Eval("l.GetTile(0, 0).current_cel"), "2");
}

TEST_F(TileScript, LoadAndSave) {
    const std::string path = (m_data.path() / "saved.OVT").string();
    Run("l.SetTile(1, 2, 1, 1); l.mode_y = CLAMP; set.properties = {title: 'Hall', n: [1, 2]};"
        "set.AddLayer('empty', 2, 2);"
        "set.Save('" +
        path + "');");
    EXPECT_EQ(Eval("var copy = new TileLayers(); copy.properties.keep = 1; copy.Load('saved.OVT');"
                   "JSON.stringify(copy.properties)"),
              "{\"title\":\"Hall\",\"n\":[1,2]}");
    EXPECT_EQ(Eval("var g = copy.GetLayer('ground'); [copy.count, g.mode_y, g.view, g.GetTile(1, 2).loop].join()"),
              "2,2,tiles,1");
    EXPECT_EQ(Eval("copy.GetLayer(0) === g && g instanceof TileLayer"), "true");

    // Loading again replaces the layers: the old objects are unbound.
    Run("copy.Load('saved.OVT');");
    EXPECT_EQ(ThrownName("g.name"), "ReferenceError");
    EXPECT_EQ(Eval("copy.GetLayer(0).name"), "ground");

    // Empty properties: no PROP chunk, and loading that file leaves properties alone.
    Run("set.properties = {}; set.Save('" + path + "'); copy.properties = {other: true}; copy.Load('saved.OVT');");
    EXPECT_EQ(Eval("JSON.stringify(copy.properties)"), "{\"other\":true}");
    const auto bytes = ovetest::ReadFileBytes(path);
    EXPECT_EQ(std::string(bytes.end() - 8, bytes.end()).find("PROP"), std::string::npos);

    // Failures are Errors and leave the set as it was.
    m_data.Write("broken.OVT", std::string("LYRS\x05\0\0\0", 8));
    EXPECT_EQ(Thrown("copy.Load('nothing.OVT')").rfind("Error: Couldn't open tile layers [nothing.OVT]", 0), 0u);
    EXPECT_EQ(Thrown("copy.Load('broken.OVT')").rfind("Error: Couldn't load tile layers [broken.OVT]", 0), 0u);
    m_data.Write("badprop.OVT", std::string("LYRS\0\0\0\0PROP\x03\0\0\0{x}", 19));
    EXPECT_EQ(Thrown("copy.Load('badprop.OVT')").rfind("Error:", 0), 0u);
    EXPECT_EQ(Eval("copy.count + ',' + copy.GetLayer(0).name"), "2,ground");
    EXPECT_EQ(Thrown("set.properties = {}; set.properties.self = set.properties; set.Save('" + path + "')")
                  .rfind("Error:", 0),
              0u);
    EXPECT_EQ(Thrown("set.Save('/nonexistent/dir/x.OVT')").rfind("Error: Couldn't save", 0), 0u);
}
