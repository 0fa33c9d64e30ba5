// --screenshot writes PNG or BMP by the file's extension and refuses any other name up front; a
// script's RenderToImage of the same frame agrees with it pixel for pixel.
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e/demo/DemoTestUtil.h"
#include "image/ImageDraw.h"
#include "image/ImageLoad.h"
#include "support/PngTestUtil.h"
#include "support/TestSupport.h"

TEST(Engine, ScreenshotIsPngOrBmpByItsNameAndOtherNamesAreRefused) {
    ovetest::TempDir game;
    game.Write("DATA/settings.xml",
               "<settings><game width=\"96\" height=\"64\"/><window width=\"96\" height=\"64\"/></settings>");
    // A backdrop, a bordered rectangle and a layer of gradients and stripes, half transparent in
    // places: enough for every row filter of the PNG writer.
    game.Write(
        "DATA/main.ovs",
        "var running = true, layer;"
        "function Init() {"
        "  Alert('init'); SetBackdrop(0x3060C0);"
        "  var r = new Rectangle(); r.x1 = 5; r.y1 = 4; r.x2 = 60; r.y2 = 30; r.fill = 0xFFAA00; r.stroke = 0x00FF00;"
        "  layer = new Image(96, 64);"
        "  for (var y = 0; y < 64; ++y) for (var x = 0; x < 96; ++x)"
        "    layer.SetPixel(x, y, RGBA8((x * 7 + y) & 255, (x * y) & 255, (y * 13) & 255, (x >> 3) & 1 ? 255 : 128));"
        "  layer.priority = 8; RegisterImageLayer(layer);"
        "}"
        "function Run() { while (running) { Display(); SaveImage('capture.bmp', RenderToImage(WIDTH, HEIGHT)); } }"
        "function Quit() { running = false; }");

    demotest::SRun png = demotest::RunEngine(game.path(), "--frames 3 --screenshot shot.PNG");
    ASSERT_EQ(png.status, 0) << png.err;
    demotest::SRun bmp = demotest::RunEngine(game.path(), "--frames 3 --screenshot shot.bmp");
    ASSERT_EQ(bmp.status, 0) << bmp.err;

    std::string error;
    auto fromBmp = ove::LoadImageFile((game / "shot.bmp").string(), &error);
    ASSERT_TRUE(fromBmp) << error;
    const pngtest::Rgba expected = pngtest::BitmapToRgba(*fromBmp, false);
    ASSERT_EQ(expected.width, 96u);
    ASSERT_EQ(expected.height, 64u);

    const std::vector<unsigned char> file = ovetest::ReadFileBytes(game / "shot.PNG");
    pngtest::Rgba libpng;
    ASSERT_TRUE(pngtest::ReadWithLibpng(file, libpng)) << "not a PNG file";
    EXPECT_EQ(libpng.width, expected.width);
    EXPECT_EQ(libpng.height, expected.height);
    EXPECT_TRUE(libpng.pixels == expected.pixels);
    auto capture = ove::LoadImageFile((game / "capture.bmp").string(), &error);
    ASSERT_TRUE(capture) << error;
    EXPECT_TRUE(pngtest::BitmapToRgba(*capture, false).pixels == expected.pixels) << "RenderToImage differs";
    // An opaque layer pixel in the far corner: neither picture is flipped.
    EXPECT_EQ(ove::ImageGetPixel(*capture, 95, 63) & 0xFFFFFFu, 0xD86133u);

    // Any other name is a command-line error: nothing runs.
    for (const char* name : {"shot.jpg", "shot", "shot.png.txt"}) {
        demotest::SRun bad = demotest::RunEngine(game.path(), std::string("--frames 3 --screenshot ") + name);
        EXPECT_EQ(bad.status, 2) << name;
        EXPECT_NE(bad.err.find("--screenshot"), std::string::npos) << bad.err;
        EXPECT_EQ(bad.err.find("init"), std::string::npos) << "the game must not start: " << bad.err;
        EXPECT_FALSE(std::filesystem::exists(game / name)) << name;
    }
}
