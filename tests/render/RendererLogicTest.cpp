// Platform-free parts of the renderer: queues and their error codes, tiling, format choice, cel
// placement. No device is needed for any of these.
#include <gtest/gtest.h>

#include "image/Bitmap.h"
#include "render/Renderer.h"
#include "RenderFixture.h"

using namespace ove;
using ovetest::CTestDrawable;

TEST(RendererQueues, ObjectQueueErrorsAndMessages) {
    CRenderer r;
    CTestDrawable a(0.5f, true, nullptr), b(0.5f, true, nullptr);
    EXPECT_FALSE(r.AddObject(nullptr));
    EXPECT_EQ(r.GetLastError(), 4);
    EXPECT_STREQ(r.GetErrorMessage(), "Invalid argument");
    EXPECT_TRUE(r.AddObject(&a));
    EXPECT_EQ(r.GetLastError(), 0);
    EXPECT_STREQ(r.GetErrorMessage(), "The operation completed succesfully");
    EXPECT_FALSE(r.AddObject(&a));
    EXPECT_EQ(r.GetLastError(), 6);
    EXPECT_STREQ(r.GetErrorMessage(), "This object already exists in the rendering queue");
    EXPECT_FALSE(r.RemoveObject(&b));
    EXPECT_EQ(r.GetLastError(), 5);
    EXPECT_STREQ(r.GetErrorMessage(), "No such object is in the rendering queue");
    EXPECT_TRUE(r.RemoveObject(&a));
    EXPECT_FALSE(r.IsObjectQueued(&a)) << "a double add must have left a single entry";
}

TEST(RendererQueues, GUIAndOverlayQueues) {
    CRenderer r;
    CTestDrawable e(0.0f, true, nullptr);
    EXPECT_FALSE(r.AddGUIElement(nullptr));
    EXPECT_EQ(r.GetLastError(), 4);
    EXPECT_TRUE(r.AddGUIElement(&e));
    EXPECT_FALSE(r.AddGUIElement(&e));
    EXPECT_EQ(r.GetLastError(), 8);
    EXPECT_STREQ(r.GetErrorMessage(), "This GUI element already exists in the rendering queue");
    EXPECT_TRUE(r.RemoveGUIElement(&e));
    EXPECT_FALSE(r.RemoveGUIElement(&e));
    EXPECT_EQ(r.GetLastError(), 7);
    EXPECT_STREQ(r.GetErrorMessage(), "No such GUI element is in the rendering queue");

    CBitmapProxy layer(std::make_unique<CBitmapBuffer>(2, 2, PixelFormat::Rgba8888));
    EXPECT_FALSE(r.AddOverlay(nullptr));
    EXPECT_EQ(r.GetLastError(), 4);
    EXPECT_TRUE(r.AddOverlay(&layer));
    EXPECT_FALSE(r.AddOverlay(&layer));
    EXPECT_EQ(r.GetLastError(), 10);
    EXPECT_STREQ(r.GetErrorMessage(), "Unknown error");
    EXPECT_TRUE(r.RemoveOverlay(&layer));
    EXPECT_FALSE(r.RemoveOverlay(&layer));
    EXPECT_EQ(r.GetLastError(), 9);
    EXPECT_STREQ(r.GetErrorMessage(), "Unknown error");
}

TEST(RendererQueues, CursorFollowsTheObjectQueue) {
    CRenderer r;
    CTestDrawable c(0.5f, false, nullptr);
    EXPECT_FALSE(r.SetCursor(&c));
    EXPECT_EQ(r.GetLastError(), 5);
    EXPECT_EQ(r.GetCursor(), nullptr);
    ASSERT_TRUE(r.AddObject(&c));
    EXPECT_TRUE(r.SetCursor(&c));
    EXPECT_EQ(r.GetCursor(), &c);
    EXPECT_TRUE(r.RemoveObject(&c));
    EXPECT_EQ(r.GetCursor(), nullptr) << "removing the cursor object clears the cursor";
    EXPECT_TRUE(r.SetCursor(nullptr));
    EXPECT_EQ(r.GetLastError(), 0);
}

TEST(RendererErrors, MessageTable) {
    EXPECT_STREQ(RendererErrorMessage(-1), "Unknown failure");
    EXPECT_STREQ(RendererErrorMessage(1), "Couldn't create Direct3D8 interface");
    EXPECT_STREQ(RendererErrorMessage(2),
                 "No compatible depth/stencil buffer format available. Try changing your display resolution "
                 "to 32-bit colour.");
    EXPECT_STREQ(RendererErrorMessage(3), "Couldn't create Direct3DDevice interface");
    EXPECT_STREQ(RendererErrorMessage(11), "No filename was specified");
    EXPECT_STREQ(RendererErrorMessage(12), "No data source");
    EXPECT_STREQ(RendererErrorMessage(13), "Cannot load the specified sprite");
    EXPECT_STREQ(RendererErrorMessage(14), "Cannot create sprite");
    EXPECT_STREQ(RendererErrorMessage(15), "Unknown error");
    EXPECT_STREQ(RendererErrorMessage(-2), "Unknown error");
}

TEST(RendererDevice, InitialiseWithoutWindowFails) {
    CRenderer r;
    EXPECT_FALSE(r.Initialise(nullptr));
    EXPECT_EQ(r.GetLastError(), 1);
    EXPECT_FALSE(r.HasDevice());
    EXPECT_EQ(GetRenderer(), nullptr);
}

TEST(RendererDepth, PriorityLevels) {
    EXPECT_FLOAT_EQ(CRenderer::PriorityDepth(0), 1.0f);
    EXPECT_NEAR(CRenderer::PriorityDepth(1), 0.966667f, 1e-6);
    EXPECT_FLOAT_EQ(CRenderer::PriorityDepth(15), 0.5f);
}

TEST(Tiling, BandsHalveToFitTheRemainder) {
    auto bands = CutTiles(1000, 256);
    ASSERT_EQ(bands.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(bands[i].start, 256 * i);
        EXPECT_EQ(bands[i].size, 256);
    }
    EXPECT_EQ(bands[3].used, 232);

    bands = CutTiles(300, 1024);
    ASSERT_EQ(bands.size(), 1u);
    EXPECT_EQ(bands[0].size, 512);
    EXPECT_EQ(bands[0].used, 300);

    // 600 with 256: two full tiles, then 88 left -> a 128 tile.
    bands = CutTiles(600, 256);
    ASSERT_EQ(bands.size(), 3u);
    EXPECT_EQ(bands[2].start, 512);
    EXPECT_EQ(bands[2].size, 128);
    EXPECT_EQ(bands[2].used, 88);

    EXPECT_TRUE(CutTiles(0, 256).empty());
    // Exactly a power of two fills one tile.
    bands = CutTiles(256, 1024);
    ASSERT_EQ(bands.size(), 1u);
    EXPECT_EQ(bands[0].size, 256);
}

namespace {
bool NoA8R8G8B8(ETextureFormat f) { return f != ETextureFormat::A8R8G8B8; }
bool Everything(ETextureFormat) { return true; }
bool Only565(ETextureFormat f) { return f == ETextureFormat::R5G6B5; }
}  // namespace

TEST(TextureFormat, AlphaClassificationWithoutA8R8G8B8) {
    CBitmapBuffer binary(4, 4, PixelFormat::Rgba8888);
    ovetest::SetPixel(binary, 1, 1, 0xFF112233);
    EXPECT_EQ(ChooseTextureFormat(binary, NoA8R8G8B8), ETextureFormat::A1R5G5B5);
    EXPECT_EQ(ChooseTextureFormat(binary, Everything), ETextureFormat::A8R8G8B8);

    CBitmapBuffer graded(4, 4, PixelFormat::Rgba8888);
    ovetest::SetPixel(graded, 3, 2, 0x80FFFFFF);
    EXPECT_EQ(ChooseTextureFormat(graded, NoA8R8G8B8), ETextureFormat::A4R4G4B4);

    // 0x0F and 0xF0 alphas have high nibbles 0 and 15: still binary.
    CBitmapBuffer nibbles(2, 1, PixelFormat::Rgba8888);
    ovetest::SetPixel(nibbles, 0, 0, 0x0F000000);
    ovetest::SetPixel(nibbles, 1, 0, 0xF0000000);
    EXPECT_EQ(ChooseTextureFormat(nibbles, NoA8R8G8B8), ETextureFormat::A1R5G5B5);

    CBitmapBuffer rgb(2, 2, PixelFormat::Rgb888);
    EXPECT_EQ(ChooseTextureFormat(rgb, Everything), ETextureFormat::R8G8B8);
    EXPECT_EQ(ChooseTextureFormat(rgb, Only565), ETextureFormat::R5G6B5);
    CBitmapBuffer grey(2, 2, PixelFormat::Grey8);
    EXPECT_EQ(ChooseTextureFormat(grey, Everything), ETextureFormat::None);
}

TEST(CelPlace, AlignmentsAndTextureCorners) {
    SCel cel;
    cel.xOffset = 3;
    cel.yOffset = -2;
    cel.width = 5;
    cel.height = 4;
    cel.uLeft = 0.1f;
    cel.vTop = 0.2f;
    cel.uRight = 0.3f;
    cel.vBottom = 0.4f;
    SCelCorner c[4];
    Place(cel, kAlignLeft, kAlignTop, 5, 4, c);
    EXPECT_FLOAT_EQ(c[0].x, 3.0f);
    EXPECT_FLOAT_EQ(c[0].y, -2.0f);
    EXPECT_FLOAT_EQ(c[2].x, 8.0f);
    EXPECT_FLOAT_EQ(c[2].y, 2.0f);
    EXPECT_FLOAT_EQ(c[1].u, 0.3f);
    EXPECT_FLOAT_EQ(c[1].v, 0.2f);
    EXPECT_FLOAT_EQ(c[3].u, 0.1f);
    EXPECT_FLOAT_EQ(c[3].v, 0.4f);
    Place(cel, kAlignCentre, kAlignMiddle, 5, 4, c);
    EXPECT_FLOAT_EQ(c[0].x, 3.0f - 2.0f);
    EXPECT_FLOAT_EQ(c[0].y, -2.0f - 2.0f);
    // Right and bottom use width - 1 and height - 1: the last column sits on the position.
    Place(cel, kAlignRight, kAlignBottom, 5, 4, c);
    EXPECT_FLOAT_EQ(c[0].x, 3.0f - 4.0f);
    EXPECT_FLOAT_EQ(c[0].y, -2.0f - 3.0f);
    // A forced size replaces the cel's.
    Place(cel, kAlignRight, kAlignTop, 10, 8, c);
    EXPECT_FLOAT_EQ(c[0].x, 3.0f - 9.0f);
    EXPECT_FLOAT_EQ(c[1].x, 3.0f - 9.0f + 10.0f);
    EXPECT_FLOAT_EQ(c[3].y, -2.0f + 8.0f);
}

TEST(RendererSize, FixedGamesStretchFlexibleOnesDoNot) {
    CRenderer r;
    r.SetDisplayMode(640, 480, 32);
    EXPECT_EQ(r.GetWidth(), 640);
    r.SetGameSize(320, 240);
    EXPECT_FLOAT_EQ(r.GetScaleX(), 2.0f);
    EXPECT_FLOAT_EQ(r.GetScaleY(), 2.0f);
    // A letter-boxed viewport of 533 x 400 keeps the logical size and changes the scale.
    r.SetViewportRect(133, 0, 533, 400);
    EXPECT_EQ(r.GetWidth(), 320);
    EXPECT_FLOAT_EQ(r.GetScaleX(), 533.0f / 320.0f);
    EXPECT_FLOAT_EQ(r.GetScaleY(), 400.0f / 240.0f);

    CRenderer flexible;
    flexible.SetFlexibleResolution(true);
    flexible.SetDisplayMode(640, 480, 32);
    flexible.SetGameSize(800, 600);
    EXPECT_FLOAT_EQ(flexible.GetScaleX(), 1.0f);
    EXPECT_EQ(flexible.GetWidth(), 800);
    flexible.SetFullscreen(true);
    EXPECT_FALSE(flexible.IsFullscreen()) << "ignored while the resolution is flexible";
}
