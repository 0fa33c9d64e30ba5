// Platform-free parts of the renderer: queues and their error codes, tiling, format choice, cel
// placement. No device is needed for any of these.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "image/Bitmap.h"
#include "render/Renderer.h"
#include "support/RenderFixture.h"

using namespace ove;
using ovetest::CTestDrawable;

namespace {

// "code: message" of the renderer's last error.
std::string LastError(CRenderer& r) { return std::to_string(r.GetLastError()) + ": " + r.GetErrorMessage(); }

}  // namespace

TEST(RendererQueues, ObjectQueueErrorsAndMessages) {
    CRenderer r;
    CTestDrawable a(0.5f, true, nullptr), b(0.5f, true, nullptr);
    EXPECT_FALSE(r.AddObject(nullptr));
    EXPECT_EQ(LastError(r), "4: Invalid argument");
    EXPECT_TRUE(r.AddObject(&a));
    EXPECT_EQ(LastError(r), "0: The operation completed succesfully");
    EXPECT_FALSE(r.AddObject(&a));
    EXPECT_EQ(LastError(r), "6: This object already exists in the rendering queue");
    EXPECT_FALSE(r.RemoveObject(&b));
    EXPECT_EQ(LastError(r), "5: No such object is in the rendering queue");
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
    EXPECT_EQ(LastError(r), "8: This GUI element already exists in the rendering queue");
    EXPECT_TRUE(r.RemoveGUIElement(&e));
    EXPECT_FALSE(r.RemoveGUIElement(&e));
    EXPECT_EQ(LastError(r), "7: No such GUI element is in the rendering queue");

    CBitmapProxy layer(std::make_unique<CBitmapBuffer>(2, 2, PixelFormat::Rgba8888));
    EXPECT_FALSE(r.AddOverlay(nullptr));
    EXPECT_EQ(r.GetLastError(), 4);
    EXPECT_TRUE(r.AddOverlay(&layer));
    EXPECT_FALSE(r.AddOverlay(&layer));
    EXPECT_EQ(LastError(r), "10: Unknown error");
    EXPECT_TRUE(r.RemoveOverlay(&layer));
    EXPECT_FALSE(r.RemoveOverlay(&layer));
    EXPECT_EQ(LastError(r), "9: Unknown error");
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

TEST(RendererDevice, InitialiseWithoutWindowFails) {
    CRenderer r;
    EXPECT_FALSE(r.Initialise(nullptr));
    EXPECT_EQ(LastError(r), "1: Couldn't create Direct3D8 interface");
    EXPECT_FALSE(r.HasDevice());
    EXPECT_EQ(GetRenderer(), nullptr);
}

TEST(Tiling, BandsHalveToFitTheRemainder) {
    // "start:size/used" of each band.
    auto bands = [](int length, int maxSize) {
        std::string out;
        for (const auto& b : CutTiles(length, maxSize))
            out += std::to_string(b.start) + ":" + std::to_string(b.size) + "/" + std::to_string(b.used) + " ";
        return out;
    };
    EXPECT_EQ(bands(1000, 256), "0:256/256 256:256/256 512:256/256 768:256/232 ");
    EXPECT_EQ(bands(300, 1024), "0:512/300 ");
    EXPECT_EQ(bands(600, 256), "0:256/256 256:256/256 512:128/88 ") << "88 left: a 128 tile";
    EXPECT_EQ(bands(0, 256), "");
    EXPECT_EQ(bands(256, 1024), "0:256/256 ") << "exactly a power of two fills one tile";
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
    // The corners (top-left, top-right, bottom-right, bottom-left) as "x,y u,v" each.
    auto quad = [&](int h, int v, int w, int ht) {
        SCelCorner c[4];
        Place(cel, h, v, w, ht, c);
        std::string out;
        char s[64];
        for (const SCelCorner& k : c) out += (std::snprintf(s, sizeof s, "%g,%g %g,%g; ", k.x, k.y, k.u, k.v), s);
        return out;
    };
    EXPECT_EQ(quad(kAlignLeft, kAlignTop, 5, 4), "3,-2 0.1,0.2; 8,-2 0.3,0.2; 8,2 0.3,0.4; 3,2 0.1,0.4; ");
    EXPECT_EQ(quad(kAlignCentre, kAlignMiddle, 5, 4), "1,-4 0.1,0.2; 6,-4 0.3,0.2; 6,0 0.3,0.4; 1,0 0.1,0.4; ");
    // Right and bottom use width - 1 and height - 1: the last column sits on the position.
    EXPECT_EQ(quad(kAlignRight, kAlignBottom, 5, 4), "-1,-5 0.1,0.2; 4,-5 0.3,0.2; 4,-1 0.3,0.4; -1,-1 0.1,0.4; ");
    // A forced size replaces the cel's.
    EXPECT_EQ(quad(kAlignRight, kAlignTop, 10, 8), "-6,-2 0.1,0.2; 4,-2 0.3,0.2; 4,6 0.3,0.4; -6,6 0.1,0.4; ");
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
