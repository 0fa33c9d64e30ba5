// The demo's room as the engine sees it: GetHotspot, GetControl and GetWalkability on the built
// room.OVP must answer what the source mask pictures and the hotspot list say, read here with
// libpng, both at the picture's own size and when the room is shown scaled and moved.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "DemoTestUtil.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using demotest::SPicture;

struct SPoint {
    int x, y;
};

std::string HotspotAt(const SPicture& click, const std::vector<std::string>& names, int x, int y) {
    const int v = click.At(x, y)[0];
    if (v == 0) return "*";
    return v <= int(names.size()) ? names[std::size_t(v) - 1] : "null";
}

// The picture's points to ask about: a grid over the whole room (even coordinates, so that they
// survive the half-size view exactly) and the first and last pixel of every hotspot, where an
// off-by-one in the masks' runs would show.
std::vector<SPoint> QueryPoints(const SPicture& click) {
    std::vector<SPoint> points;
    for (int y = 2; y < click.height; y += 12)
        for (int x = 4; x < click.width; x += 24) points.push_back({x, y});
    for (int v = 1; v < 256; ++v) {
        SPoint first{-1, -1}, last{-1, -1};
        for (int y = 0; y < click.height; ++y)
            for (int x = 0; x < click.width; ++x)
                if (click.At(x, y)[0] == v) {
                    if (first.x < 0) first = {x, y};
                    last = {x, y};
                }
        if (first.x < 0) continue;
        points.push_back(first);
        points.push_back(last);
    }
    return points;
}

}  // namespace

TEST(DemoMasks, EngineAnswersWhatTheMasksSay) {
    const fs::path picture = demotest::DemoDir() / "DATA" / "room.OVP";
    if (!fs::exists(picture)) FAIL() << demotest::kBuildDemoFirst;
    const fs::path art = demotest::DemoArtDir();
    const SPicture click = demotest::ReadPng(art / "click.png");
    const SPicture control = demotest::ReadPng(art / "control.png");
    const SPicture walk = demotest::ReadPng(art / "walk.png");
    const std::vector<std::string> names = demotest::HotspotNames();
    ASSERT_EQ(click.width, 480);
    ASSERT_EQ(control.width, 480);
    ASSERT_EQ(walk.width, 480);
    ASSERT_FALSE(names.empty());
    const std::vector<SPoint> points = QueryPoints(click);
    ASSERT_GT(points.size(), 100u);

    std::ostringstream list;
    for (const SPoint& p : points) list << "[" << p.x << "," << p.y << "],";
    ovetest::TempDir game;
    fs::create_directories(game / "DATA");
    fs::copy_file(picture, game / "DATA" / "room.OVP");
    // Hotspots are looked up at screen points, the control and walk masks at room points.
    game.Write("DATA/main.ovs", "var P = [" + list.str() + R"(];
function Init() {
    SetBackdrop("room");
    var out = [];
    for (var i = 0; i < P.length; i++) {
        var x = P[i][0], y = P[i][1];
        out.push(GetHotspot(x, y) + " " + GetControl(x, y) + " " + GetWalkability({x: x, y: y}));
    }
    Alert(out.join("\n"));
    // Half size, moved: screen points change, room points do not.
    SetBackdropDimensions(240, 0);
    SetBackdropOffset(13, 7);
    out = [];
    for (var i = 0; i < P.length; i++) {
        var x = P[i][0], y = P[i][1];
        if (x % 2 || y % 2) continue;
        var s = BackdropToScreen(x, y), b = ScreenToBackdrop(s);
        out.push(s.x + " " + s.y + " " + GetHotspot(s) + " " + GetControl(x, y) + " " + GetWalkability(b.x, b.y));
    }
    Alert(out.join("\n"));
    // Outside the room: no row wraps into the next.
    Alert(GetHotspot(5, 5), GetHotspot(13 + 240, 7), GetControl(520, 186), GetWalkability(480, 200), GetWalkability(-1, 200));
}
function Run() {}
)");
    demotest::SRun r = demotest::RunEngine(game.path(), "");
    ASSERT_EQ(r.status, 0) << r.err;

    std::string natural = "Alert: ", scaled = "Alert: ";
    for (const SPoint& p : points) {
        const std::string line = HotspotAt(click, names, p.x, p.y) + " " + std::to_string(control.At(p.x, p.y)[0]) +
                                 " " + std::to_string(walk.At(p.x, p.y)[0]) + "\n";
        natural += line;
        if (p.x % 2 == 0 && p.y % 2 == 0)
            scaled += std::to_string(p.x / 2 + 13) + " " + std::to_string(p.y / 2 + 7) + " " + line;
    }
    // A failure shows the lines that differ, and so the points.
    EXPECT_EQ(r.err, natural + scaled + "Alert: * * 0 0 0\n");
}

// Every hotspot of the list is somewhere in the click mask, and every value in the mask is named.
TEST(DemoMasks, HotspotListAndClickMaskAgree) {
    const SPicture click = demotest::ReadPng(demotest::DemoArtDir() / "click.png");
    const std::vector<std::string> names = demotest::HotspotNames();
    ASSERT_EQ(click.width, 480);
    std::vector<int> count(256, 0);
    for (int y = 0; y < click.height; ++y)
        for (int x = 0; x < click.width; ++x) ++count[click.At(x, y)[0]];
    for (std::size_t v = 1; v < 256; ++v) {
        if (v <= names.size()) EXPECT_GT(count[v], 0) << "hotspot " << names[v - 1] << " has no pixels";
        else EXPECT_EQ(count[v], 0) << "click value " << v << " has no name";
    }
}
