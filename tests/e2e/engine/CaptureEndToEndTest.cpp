// A script's RenderToImage and the engine's --screenshot of the same frame agree pixel for pixel.
#include <gtest/gtest.h>

#include <set>

#include "e2e/demo/DemoTestUtil.h"
#include "image/ImageDraw.h"
#include "image/ImageLoad.h"
#include "support/TestSupport.h"

TEST(ImageCapture, MatchesTheScreenshotOfTheSameFrame) {
    ovetest::TempDir game;
    game.Write("DATA/settings.xml", "<settings><game width=\"32\" height=\"24\"/><window width=\"32\" height=\"24\"/></settings>");
    game.Write("DATA/main.ovs",
               "var running = true, layer;"
               "function Init() {"
               "  SetBackdrop(0x3060C0);"
               "  var r = new Rectangle(); r.x1 = 2; r.y1 = 3; r.x2 = 20; r.y2 = 15; r.fill = 0xFFAA00; r.stroke = 0x00FF00;"
               "  layer = new Image(32, 24); layer.FillRect(10, 5, 12, 12, RGBA8(255, 255, 255, 128));"
               "  layer.SetPixel(31, 23, RGBA8(255, 0, 0, 255)); layer.priority = 8; RegisterImageLayer(layer);"
               "}"
               "function Run() { while (running) { Display(); SaveImage('capture.bmp', RenderToImage(WIDTH, HEIGHT)); } }"
               "function Quit() { running = false; }");
    demotest::SRun r = demotest::RunEngine(game.path(), "--frames 3 --screenshot shot.bmp");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string error;
    auto capture = ove::LoadImageFile((game / "capture.bmp").string(), &error);
    auto shot = ove::LoadImageFile((game / "shot.bmp").string(), &error);
    ASSERT_TRUE(capture && shot) << error;
    ASSERT_EQ(capture->Width(), 32u);
    ASSERT_EQ(capture->Height(), 24u);
    ASSERT_EQ(shot->Width(), 32u);
    int differ = 0;
    std::set<std::uint32_t> colours;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 32; ++x) {
            colours.insert(ove::ImageGetPixel(*capture, x, y) & 0xFFFFFFu);
            differ += ((ove::ImageGetPixel(*capture, x, y) ^ ove::ImageGetPixel(*shot, x, y)) & 0xFFFFFFu) != 0;
        }
    EXPECT_EQ(differ, 0);
    EXPECT_GE(colours.size(), 5u) << "backdrop, fill, border, the blended square over both, the red pixel";
    EXPECT_EQ(ove::ImageGetPixel(*capture, 31, 23) & 0xFFFFFFu, 0xFF0000u);
}
