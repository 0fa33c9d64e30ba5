// A script's RenderToImage and the engine's --screenshot of the same frame agree pixel for pixel.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "demo/DemoTestUtil.h"
#include "image/ImageDraw.h"
#include "image/ImageLoad.h"
#include "support/TestSupport.h"

TEST(ImageCapture, MatchesTheScreenshotOfTheSameFrame) {
    ovetest::TempDir game;
    game.Write("DATA/settings.xml", "<settings><game width=\"32\" height=\"24\"/>"
                                    "<window width=\"32\" height=\"24\"/></settings>");
    game.Write("DATA/main.ovs",
               "var running = true, layer;"
               "function Init() {"
               "  SetBackdrop(0x3060C0);"
               "  var r = new Rectangle(); r.x1 = 2; r.y1 = 3; r.x2 = 20; r.y2 = 15; r.fill = 0xFFAA00;"
               "  r.stroke = 0x00FF00; r.priority = 4;"
               "  layer = new Image(32, 24); layer.FillRect(10, 5, 12, 12, RGBA8(255, 255, 255, 128));"
               "  layer.SetPixel(31, 23, RGBA8(255, 0, 0, 255)); layer.priority = 8; RegisterImageLayer(layer);"
               "}"
               "function Run() {"
               "  while (running) {"
               "    Display();"
               "    var shot = RenderToImage(WIDTH, HEIGHT); SaveImage('capture.bmp', shot); DestroyImage(shot);"
               "  }"
               "}"
               "function Quit() { running = false; }");
    demotest::SRun r = demotest::RunEngine(game.path(), "--frames 3 --screenshot shot.bmp");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");

    std::string error;
    auto capture = ove::LoadImageFile((game / "capture.bmp").string(), &error);
    ASSERT_TRUE(capture) << error;
    auto shot = ove::LoadImageFile((game / "shot.bmp").string(), &error);
    ASSERT_TRUE(shot) << error;
    ASSERT_EQ(capture->Width(), 32u);
    ASSERT_EQ(capture->Height(), 24u);
    ASSERT_EQ(shot->Width(), 32u);
    ASSERT_EQ(shot->Height(), 24u);
    int differ = 0;
    std::set<std::uint32_t> colours;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 32; ++x) {
            const std::uint32_t a = ove::ImageGetPixel(*capture, x, y) & 0xFFFFFFu;
            differ += a != (ove::ImageGetPixel(*shot, x, y) & 0xFFFFFFu);
            colours.insert(a);
        }
    EXPECT_EQ(differ, 0);
    // Backdrop, rectangle fill and border, the layer's blended square over both, its red pixel.
    EXPECT_GE(colours.size(), 5u);
    EXPECT_EQ(ove::ImageGetPixel(*capture, 31, 23) & 0xFFFFFFu, 0xFF0000u);
    EXPECT_EQ(ove::ImageGetPixel(*capture, 0, 0) & 0xFFFFFFu, 0x3060C0u);
}
