// The Image class as scripts see it: construction and loading, codecs, saving, drawing, errors,
// destruction and views cut from images.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "data/View.h"
#include "demo/DemoTestUtil.h"
#include "image/CodecBMP.h"
#include "image/ImageLoad.h"
#include "image/ImageDraw.h"
#include "render/Renderer.h"
#include "script/Binding.h"
#include "script/ScriptFixture.h"
#include "script/bindings/JSImage.h"

using namespace ove;
namespace fs = std::filesystem;

namespace {

class ImageScriptTest : public ovetest::ScriptTest {
protected:
    // A global holding the bytes as a binary string.
    void SetBinary(const char* name, const std::vector<unsigned char>& bytes) {
        duk_push_lstring(ctx(), reinterpret_cast<const char*>(bytes.data()), bytes.size());
        duk_put_global_string(ctx(), name);
    }
    std::vector<unsigned char> GetBinary(const std::string& expression) {
        duk_context* c = ctx();
        EXPECT_EQ(duk_peval_string(c, expression.c_str()), 0) << duk_safe_to_string(c, -1);
        duk_size_t n = 0;
        const char* s = duk_get_lstring(c, -1, &n);
        std::vector<unsigned char> out(s, s + (s ? n : 0));
        duk_pop(c);
        return out;
    }
    CBitmapProxy* Native(const char* global) {
        duk_get_global_string(ctx(), global);
        CBitmapProxy* p = ImageFromScriptValue(ctx(), -1);
        duk_pop(ctx());
        return p;
    }
    // Collects twice: an object with a finalizer needs two passes.
    void Collect() {
        duk_gc(ctx(), 0);
        duk_gc(ctx(), 0);
    }
};

// A script filling a 4 x 3 image with distinct colours and alphas.
const char* kPattern =
    "var src = new Image(4, 3);"
    "for (var y = 0; y < 3; ++y) for (var x = 0; x < 4; ++x)"
    "  src.SetPixel(x, y, RGBA8(x * 60 + 10, y * 100 + 20, (x + y) * 30, 255 - x * 40 - y));";

}  // namespace

TEST_F(ImageScriptTest, ConstructionAndArguments) {
    Run("var a = new Image(3, 2); var b = CreateImage(5, 1);");
    EXPECT_EQ(Eval("[a.width, a.height, b.width, b.height, a instanceof Image, b instanceof Image].join()"),
              "3,2,5,1,true,true");
    // Zeroed: transparent black.
    EXPECT_EQ(Eval("var c = a.GetPixel(2, 1); [c instanceof Colour, c.rgba].join()"), "true,0");
    EXPECT_EQ(Eval("[FORMAT_BMP, FORMAT_JPEG, FORMAT_PNG, FORMAT_QOI].join()"), "1,2,3,4");

    EXPECT_EQ(Thrown("new Image()").rfind("SyntaxError", 0), 0u);
    EXPECT_EQ(Thrown("new Image(1, 2, 3)").rfind("SyntaxError", 0), 0u);
    EXPECT_EQ(Thrown("Image(2, 2)").rfind("TypeError", 0), 0u);
    EXPECT_EQ(Thrown("new Image(0, 4)"), "Error: Couldn't allocate memory buffer for image");
    EXPECT_EQ(Thrown("new Image(-3, 4)"), "Error: Couldn't allocate memory buffer for image");
    EXPECT_EQ(Thrown("new Image(100000, 100000)"), "Error: Couldn't allocate memory buffer for image");

    // Read-only size; priority is the layer level.
    Run("a.width = 99; a.priority = 7;");
    EXPECT_EQ(Eval("[a.width, a.priority].join()"), "3,7");
    EXPECT_EQ(Native("a")->level, 7u);
}

TEST_F(ImageScriptTest, LoadingByExtension) {
    demotest::SPicture pic;
    pic.width = 2;
    pic.height = 2;
    pic.channels = 3;
    pic.pixels = {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30};
    ASSERT_TRUE(demotest::WritePng(data_ / "pic.PNG", pic));
    fs::copy_file(data_ / "pic.PNG", data_ / "pic");
    fs::copy_file(data_ / "pic.PNG", data_ / "pic.gif");

    Run("var p = LoadImage('pic.PNG');");
    EXPECT_EQ(Eval("[p.width, p.height, p.GetPixel(0, 0).rgba, p.GetPixel(1, 0).rgba, p.GetPixel(1, 1).rgba].join()"),
              "2,2," + std::to_string(0xFFFF0000u) + "," + std::to_string(0xFF00FF00u) + "," +
                  std::to_string(0xFF0A141Eu));
    EXPECT_EQ(Thrown("new Image('pic')"), "Error: Unable to load image file");
    EXPECT_EQ(Thrown("LoadImage('pic.gif')"), "Error: Unable to load image file");
    EXPECT_EQ(Thrown("LoadImage('missing.png')"), "Error: Unable to find image file [missing.png]");
    EXPECT_EQ(Thrown("LoadImage('nothing')"), "Error: Unable to find image file [nothing]");
    EXPECT_EQ(Thrown("LoadImage(12)").rfind("TypeError", 0), 0u);
}

TEST_F(ImageScriptTest, EncodeDecodeRoundTrips) {
    Run(kPattern);
    // QOI keeps every byte, alpha included.
    Run("var q = DecodeImage(FORMAT_QOI, EncodeImage(FORMAT_QOI, src));");
    EXPECT_EQ(Eval("var same = 0; for (var y = 0; y < 3; ++y) for (var x = 0; x < 4; ++x)"
                   "  same += q.GetPixel(x, y).rgba === src.GetPixel(x, y).rgba; [q.width, q.height, same].join()"),
              "4,3,12");
    // BMP keeps the colours; plain 32-bit BMP data carries no alpha, so it comes back opaque.
    Run("var b = DecodeImage(FORMAT_BMP, EncodeImage(FORMAT_BMP, src));");
    EXPECT_EQ(Eval("var same = 0; for (var y = 0; y < 3; ++y) for (var x = 0; x < 4; ++x)"
                   "  same += b.GetPixel(x, y).rgba === ((src.GetPixel(x, y).rgba | 0xFF000000) >>> 0); same"),
              "12");
    const std::vector<unsigned char> bmp = GetBinary("EncodeImage(FORMAT_BMP, src)");
    ASSERT_GE(bmp.size(), 54u + 48u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[28], 32);  // bit count
    // The string holds the file's bytes as they are.
    EXPECT_EQ(bmp.size(), std::size_t(bmp[2] | bmp[3] << 8 | bmp[4] << 16));

    // JPEG is lossy: a flat picture comes back close, opaque, at its size.
    Run("var flat = new Image(16, 8); flat.Clear(RGBA8(200, 100, 50, 255));"
        "var j = DecodeImage(FORMAT_JPEG, EncodeImage(FORMAT_JPEG, flat)); var jc = j.GetPixel(5, 5);");
    EXPECT_EQ(Eval("[j.width, j.height, jc.a8, Math.abs(jc.r8 - 200) < 6, Math.abs(jc.g8 - 100) < 6,"
                   " Math.abs(jc.b8 - 50) < 6].join()"),
              "16,8,255,true,true,true");
    const std::vector<unsigned char> jpeg = GetBinary("EncodeImage(FORMAT_JPEG, flat)");
    ASSERT_GE(jpeg.size(), 2u);
    EXPECT_EQ(jpeg[0], 0xFF);
    EXPECT_EQ(jpeg[1], 0xD8);

    // PNG cannot be written: the string is empty.
    EXPECT_EQ(Eval("EncodeImage(FORMAT_PNG, src).length"), "0");
}

TEST_F(ImageScriptTest, DecodeAndEncodeErrors) {
    Run("var img = new Image(2, 2); var bmp = EncodeImage(FORMAT_BMP, img);");
    EXPECT_EQ(Thrown("DecodeImage(5, bmp)").rfind("RangeError", 0), 0u);
    EXPECT_EQ(Thrown("DecodeImage(0, bmp)").rfind("RangeError", 0), 0u);
    EXPECT_EQ(Thrown("DecodeImage(FORMAT_BMP, '')").rfind("RangeError", 0), 0u);
    EXPECT_EQ(Thrown("DecodeImage(FORMAT_BMP)").rfind("RangeError", 0), 0u);
    EXPECT_EQ(Thrown("DecodeImage(FORMAT_BMP, 'not a picture')").rfind("Error", 0), 0u);
    EXPECT_EQ(Thrown("DecodeImage(FORMAT_PNG, bmp)").rfind("Error", 0), 0u);
    // A truncated file is refused, not read past its end.
    std::vector<unsigned char> bmp = GetBinary("bmp");
    ASSERT_GT(bmp.size(), 60u);
    bmp.resize(60);
    SetBinary("truncated", bmp);
    EXPECT_EQ(Thrown("DecodeImage(FORMAT_BMP, truncated)").rfind("Error", 0), 0u);
    EXPECT_EQ(Thrown("DecodeImage(FORMAT_QOI, 'qoif')").rfind("Error", 0), 0u);

    EXPECT_EQ(Thrown("EncodeImage(5, img)").rfind("RangeError", 0), 0u);
    EXPECT_EQ(Thrown("EncodeImage(FORMAT_BMP, {})"), "TypeError: Image expected");
    Run("var gone = new Image(1, 1); DestroyImage(gone);");
    EXPECT_EQ(Thrown("EncodeImage(FORMAT_BMP, gone)"), "ReferenceError: Image has no associated native object");
}

TEST_F(ImageScriptTest, DecodedPalettePicturesAreOpaque) {
    // An 8-bit BMP with a two-colour palette: its palette entries carry no alpha of their own.
    CBitmapBuffer indexed(2, 1, PixelFormat::Indexed8);
    indexed.SetPaletteEntry(0, 0x000000FFu);  // red
    indexed.SetPaletteEntry(1, 0x00FF0000u);  // blue
    indexed.Row(0)[1] = 1;
    CBuffer file;
    CCodecBMP codec;
    ASSERT_TRUE(codec.Save(&indexed, &file));
    SetBinary("indexedBmp", file.Bytes());
    Run("var d = DecodeImage(FORMAT_BMP, indexedBmp);");
    EXPECT_EQ(Eval("[d.GetPixel(0, 0).rgba, d.GetPixel(1, 0).rgba].join()"),
              std::to_string(0xFFFF0000u) + "," + std::to_string(0xFF0000FFu));
}

TEST_F(ImageScriptTest, SaveImageNames) {
    ovetest::TempDir out;
    ovetest::ScopedCwd cwd(out.path());
    Run(kPattern);
    Run("SaveImage('shot.QOI', src); SaveImage('sub\\\\b.bmp', src);");
    fs::create_directory(out / "sub");
    Run("SaveImage('sub\\\\b.bmp', src);");
    ASSERT_TRUE(fs::exists(out / "shot.QOI"));
    EXPECT_TRUE(fs::exists(out / "sub" / "b.bmp")) << "backslashes are folder separators";
    std::string error;
    auto loaded = LoadImageFile((out / "shot.QOI").string(), &error);
    ASSERT_TRUE(loaded) << error;
    EXPECT_EQ(loaded->Width(), 4u);
    // (3, 2): red 3 * 60 + 10, green 2 * 100 + 20, blue 5 * 30, alpha 255 - 120 - 2.
    EXPECT_EQ(ImageGetPixel(*loaded, 3, 2), 0x85BEDC96u);

    // No '.' at all, a '.' only in a folder name, an unknown extension: Error, nothing written.
    const auto before = std::distance(fs::directory_iterator(out.path()), fs::directory_iterator());
    EXPECT_EQ(Thrown("SaveImage('noextension', src)").rfind("Error", 0), 0u);
    EXPECT_EQ(Thrown("SaveImage('dir.bmp/file', src)").rfind("Error", 0), 0u);
    EXPECT_EQ(Thrown("SaveImage('x.gif', src)").rfind("Error", 0), 0u);
    EXPECT_EQ(Thrown("SaveImage('', src)").rfind("Error", 0), 0u);
    // A NUL inside the name would let the extension test and the file name disagree.
    EXPECT_EQ(Thrown("SaveImage('evil.txt\\u0000.bmp', src)").rfind("Error", 0), 0u);
    EXPECT_EQ(std::distance(fs::directory_iterator(out.path()), fs::directory_iterator()), before);

    EXPECT_EQ(Thrown("SaveImage('a.bmp', 7)"), "TypeError: Image expected");
    // Codec failures are not reported: PNG writes nothing.
    EXPECT_EQ(Thrown("SaveImage('p.png', src)"), "");
    EXPECT_EQ(fs::file_size(out / "p.png"), 0u);
}

TEST_F(ImageScriptTest, MethodsCheckTheirArguments) {
    Run("var img = new Image(4, 4);");
    EXPECT_EQ(Thrown("img.FillRect(0, 0, 1, 1, 0xFF0000)"), "TypeError: Colour expected");
    EXPECT_EQ(Thrown("img.SetPixel(0, 0, {r8: 1})"), "TypeError: Colour expected");
    EXPECT_EQ(Thrown("img.Clear()"), "TypeError: Colour expected");
    EXPECT_EQ(Thrown("img.GetPixel('a', 0)").rfind("TypeError", 0), 0u);
    // Script-side edge cases of the drawing calls.
    Run("img.Clear(RGBA8(0, 0, 0, 255)); img.FillRect(-5, -5, 10, 10, RGBA8(255, 255, 255, 255));");
    EXPECT_EQ(Eval("[img.GetPixel(3, 3).rgba, img.GetPixel(0, 0).rgba, img.GetPixel(-1, 0).rgba].join()"),
              std::to_string(0xFFFFFFFFu) + "," + std::to_string(0xFFFFFFFFu) + ",0");
    Run("img.FillRect(0, 0, 1, 1, RGBA8(0, 0, 0, 128));");
    EXPECT_EQ(Eval("var c = img.GetPixel(0, 0); [c.r8, c.g8, c.b8, c.a8].join()"), "127,127,127,255");

    // Drawing marks the pixels for upload; a call that draws nothing does not.
    CBitmapProxy* native = Native("img");
    native->needsUpload = false;
    Run("img.FillRect(9, 9, 2, 2, RGBA8(1, 2, 3, 255)); img.SetPixel(-1, 0, RGBA8(1, 2, 3, 255));");
    EXPECT_FALSE(native->needsUpload);
    Run("img.DrawRect(0, 0, 1, 1, RGBA8(1, 2, 3, 255));");
    EXPECT_TRUE(native->needsUpload);

    // `this` must be a bound Image.
    EXPECT_EQ(Thrown("Image.prototype.GetPixel.call({}, 0, 0)"), "TypeError: Image expected");
    Run("DestroyImage(img); DestroyImage(img);");
    EXPECT_EQ(Thrown("img.GetPixel(0, 0)").rfind("ReferenceError", 0), 0u);
    EXPECT_EQ(Thrown("img.width").rfind("ReferenceError", 0), 0u);
    EXPECT_EQ(Thrown("DestroyImage({})").rfind("TypeError", 0), 0u);
}

TEST_F(ImageScriptTest, LayersLeaveTheQueueWhenDestroyedOrCollected) {
    CRenderer renderer;  // queues work without a device
    game_->renderer = &renderer;
    Run("var kept = new Image(2, 2); RegisterImageLayer(kept); var dropped = new Image(2, 2);"
        "RegisterImageLayer(dropped);");
    CBitmapProxy* kept = Native("kept");
    CBitmapProxy* dropped = Native("dropped");
    ASSERT_TRUE(kept && dropped);
    EXPECT_TRUE(renderer.IsOverlayQueued(kept));
    EXPECT_TRUE(renderer.IsOverlayQueued(dropped));
    EXPECT_EQ(Thrown("RegisterImageLayer({})"), "TypeError: Image expected");
    Run("dropped = undefined;");
    Collect();
    EXPECT_FALSE(renderer.IsOverlayQueued(dropped)) << "a collected image leaves the layer queue";
    EXPECT_TRUE(renderer.IsOverlayQueued(kept));
    // Registering twice keeps one entry.
    Run("RegisterImageLayer(kept);");
    Run("UnregisterImageLayer(kept);");
    EXPECT_FALSE(renderer.IsOverlayQueued(kept));
    EXPECT_FALSE(renderer.RemoveOverlay(kept)) << "unregistered once, it is gone";
    Run("RegisterImageLayer(kept); var alias = kept; DestroyImage(kept);");
    EXPECT_FALSE(renderer.IsOverlayQueued(kept));
    EXPECT_EQ(Thrown("RegisterImageLayer(alias)"), "ReferenceError: Image has no associated native object");
    // Without any renderer the capture is undefined.
    game_->renderer = nullptr;
    EXPECT_EQ(Eval("typeof RenderToImage(4, 4)"), "undefined");
}

TEST_F(ImageScriptTest, ViewCelsFromAnImage) {
    // Four rows, each its own colour; y of NewCel counts memory rows, from the picture's bottom.
    Run("var img = new Image(3, 4);"
        "for (var y = 0; y < 4; ++y) img.FillRect(0, y, 3, 1, RGBA8(y * 50 + 10, 0, 0, 255));"
        "img.SetPixel(2, 3, RGBA8(0, 0, 255, 255));"
        "var v = new View(); v.NewLoop(); v.NewCel(img, 0, 0, 3, 1); v.NewCel(img, 1, 2, 2, 2);"
        "v.NewCel(img, -1, 3, 2, 5);");
    EXPECT_EQ(Thrown("v.NewCel(img, 3, 0, 1, 1)").rfind("Error", 0), 0u);
    EXPECT_EQ(Thrown("v.NewCel({}, 0, 0, 1, 1)"), "TypeError: Image expected");
    duk_get_global_string(ctx(), "v");
    auto* builder = static_cast<CViewBuilder*>(GetNativeIf(ctx(), -1, "ViewConstructor"));
    duk_pop(ctx());
    ASSERT_NE(builder, nullptr);
    CView* view = builder->Fixate(nullptr);
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->LoopCount(), 1u);
    ASSERT_EQ(view->CelCount(0), 3u);
    const SCel* c0 = view->GetCel(0, 0);
    const SCel* c1 = view->GetCel(0, 1);
    const SCel* c2 = view->GetCel(0, 2);
    ASSERT_TRUE(c0 && c1 && c2);
    EXPECT_EQ(c0->width, 3u);
    EXPECT_EQ(c0->height, 1u);
    EXPECT_EQ(c0->xOffset, 0);
    // Memory row 0 is the picture's bottom row (row 3): red 160, blue at column 2.
    EXPECT_EQ(view->GetCelPixel(0, 0, 0, 0), 0xFFA00000u);
    EXPECT_EQ(view->GetCelPixel(0, 0, 2, 0), 0xFF0000FFu);
    // Memory rows 2..3 are picture rows 1 (bottom of the cel) and 0 (top).
    EXPECT_EQ(c1->width, 2u);
    EXPECT_EQ(c1->height, 2u);
    EXPECT_EQ(view->GetCelPixel(0, 1, 0, 0), 0xFF0A0000u);
    EXPECT_EQ(view->GetCelPixel(0, 1, 1, 1), 0xFF3C0000u);
    // Clipped: x -1 shortens the width to 1, rows past the top are cut.
    EXPECT_EQ(c2->width, 1u);
    EXPECT_EQ(c2->height, 1u);
    EXPECT_EQ(view->GetCelPixel(0, 2, 0, 0), 0xFF0A0000u);
}
