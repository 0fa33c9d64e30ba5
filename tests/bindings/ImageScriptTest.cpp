// The Image class as scripts see it: construction, loading, codecs, saving, errors, destruction
// and views cut from images.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "bindings/JSImage.h"
#include "image/CodecBMP.h"
#include "render/Renderer.h"
#include "resources/View.h"
#include "script/Binding.h"
#include "support/PngTestUtil.h"
#include "support/ScriptFixture.h"

using namespace ove;
namespace fs = std::filesystem;

namespace {

class ImageScriptTest : public ovetest::ScriptTest {
protected:
    void SetBinary(const char* name, const std::vector<unsigned char>& bytes) {
        duk_push_lstring(ctx(), reinterpret_cast<const char*>(bytes.data()), bytes.size());
        duk_put_global_string(ctx(), name);
    }
    CBitmapProxy* Native(const char* global) {
        duk_get_global_string(ctx(), global);
        CBitmapProxy* p = ImageFromScriptValue(ctx(), -1);
        duk_pop(ctx());
        return p;
    }
    bool Starts(const std::string& statement, const std::string& prefix) {
        return Thrown(statement).rfind(prefix, 0) == 0;
    }
};

// Counts the pixels of `a` and `b` (4 x 3 images) whose colours agree after `map` is applied to a's.
const char* kSame =
    "function Same(a, b, map) { var n = 0; for (var y = 0; y < 3; ++y) for (var x = 0; x < 4; ++x)"
    "  n += map(a.GetPixel(x, y).rgba) === b.GetPixel(x, y).rgba; return n; }"
    "var src = new Image(4, 3); for (var y = 0; y < 3; ++y) for (var x = 0; x < 4; ++x)"
    "  src.SetPixel(x, y, RGBA8(x * 60 + 10, y * 100 + 20, (x + y) * 30, 255 - x * 40 - y));";

}  // namespace

TEST_F(ImageScriptTest, ConstructionLoadingAndErrors) {
    Run("var a = new Image(3, 2); a.width = 9; a.priority = 7;");
    EXPECT_EQ(
        Eval("[a.width, a.height, a.GetPixel(2, 1).rgba, a.GetPixel(-1, 0) instanceof Colour, a.priority].join()"),
        "3,2,0,true,7");
    EXPECT_EQ(Native("a")->level, 7u);
    EXPECT_TRUE(Starts("new Image()", "SyntaxError"));
    EXPECT_TRUE(Starts("Image(2, 2)", "TypeError"));
    EXPECT_EQ(Thrown("CreateImage(0, 4)"), "Error: Couldn't allocate memory buffer for image");
    EXPECT_EQ(Thrown("a.FillRect(0, 0, 1, 1, 0xFF0000)"), "TypeError: Colour expected");
    EXPECT_EQ(Thrown("Image.prototype.GetPixel.call({}, 0, 0)"), "TypeError: Image expected");

    const auto png = pngtest::WritePng(pngtest::PngPicture{2, 1}, {{255, 0, 0, 10, 20, 30}});
    ASSERT_FALSE(png.empty());
    m_data.Write("pic.PNG", png);
    m_data.Write("pic", png);
    EXPECT_EQ(Eval("var p = LoadImage('pic.PNG'); [p.width, p.GetPixel(0, 0).rgba, p.GetPixel(1, 0).rgba].join()"),
              "2," + std::to_string(0xFFFF0000u) + "," + std::to_string(0xFF0A141Eu));
    EXPECT_EQ(Thrown("LoadImage('missing')"), "Error: Unable to find image file [missing]");

    // Scripts get the bare message; one line on standard error names the file and the reason.
    m_data.Write("cut.png", std::vector<unsigned char>(png.begin(), png.begin() + 20));
    m_data.Write("empty.bmp", std::vector<unsigned char>());
    const std::pair<const char*, const char*> cases[] = {
        {"pic", "unknown format"}, {"cut.png", "damaged or not a PNG picture ("}, {"empty.bmp", "empty"}};
    for (const auto& [name, why] : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(Thrown(std::string("new Image('") + name + "')"), "Error: Unable to load image file") << name;
        const std::string line = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(line.starts_with(std::string("ove: warning: ") + name + ": ")) << line;
        EXPECT_NE(line.find(why), std::string::npos) << line;
        EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
    }
}

TEST_F(ImageScriptTest, EncodeDecodeEveryWritableFormat) {
    Run(kSame);
    EXPECT_EQ(Eval("Same(src, DecodeImage(FORMAT_QOI, EncodeImage(FORMAT_QOI, src)), function (c) { return c; })"),
              "12");
    // Plain 32-bit BMP data carries no alpha: the colours come back opaque.
    EXPECT_EQ(Eval("Same(src, DecodeImage(FORMAT_BMP, EncodeImage(FORMAT_BMP, src)),"
                   "     function (c) { return (c | 0xFF000000) >>> 0; })"),
              "12");
    Run("var flat = new Image(16, 8); flat.Clear(RGBA8(200, 100, 50, 255));"
        "var jc = DecodeImage(FORMAT_JPEG, EncodeImage(FORMAT_JPEG, flat)).GetPixel(5, 5);");
    EXPECT_EQ(Eval("[jc.a8, Math.abs(jc.r8 - 200) < 6, Math.abs(jc.g8 - 100) < 6, Math.abs(jc.b8 - 50) < 6]"),
              "255,true,true,true");
    EXPECT_EQ(Eval("EncodeImage(FORMAT_PNG, src).length"), "0");

    EXPECT_TRUE(Starts("DecodeImage(5, EncodeImage(1, src))", "RangeError"));
    EXPECT_TRUE(Starts("DecodeImage(FORMAT_BMP, '')", "RangeError"));
    EXPECT_TRUE(Starts("EncodeImage(0, src)", "RangeError"));
    EXPECT_TRUE(Starts("DecodeImage(FORMAT_BMP, 'BM not a picture')", "Error"));
    EXPECT_TRUE(Starts("DecodeImage(FORMAT_QOI, 'qoif')", "Error"));
    EXPECT_EQ(Thrown("EncodeImage(FORMAT_BMP, {})"), "TypeError: Image expected");

    // Palette pictures come out opaque: BMP palette entries carry no alpha of their own.
    CBitmapBuffer indexed(2, 1, PixelFormat::Indexed8);
    indexed.SetPaletteEntry(1, 0x00FF0000u);  // blue
    indexed.Row(0)[1] = 1;
    CBuffer file;
    ASSERT_TRUE(CCodecBMP().Save(&indexed, &file));
    SetBinary("indexed", file.Bytes());
    EXPECT_EQ(Eval("var d = DecodeImage(FORMAT_BMP, indexed); [d.GetPixel(0, 0).rgba, d.GetPixel(1, 0).rgba]"),
              std::to_string(0xFF000000u) + "," + std::to_string(0xFF0000FFu));
}

TEST_F(ImageScriptTest, SaveImageNames) {
    ovetest::TempDir out;
    ovetest::ScopedCwd cwd(out.path());
    fs::create_directory(out / "sub");
    Run(kSame);
    Run("SaveImage('sub\\\\b.QOI', src);");
    EXPECT_EQ(Eval("Same(src, LoadImage('sub/b.QOI'), function (c) { return c; })"), "12");
    // No '.', a '.' only in a folder name, an unknown extension, a NUL inside: Error, nothing written.
    for (const char* name : {"noextension", "dir.bmp/file", "x.gif", "", "evil.txt\\u0000.bmp"})
        EXPECT_TRUE(Starts(std::string("SaveImage('") + name + "', src)", "Error")) << name;
    EXPECT_EQ(std::distance(fs::directory_iterator(out.path()), fs::directory_iterator()), 1);
    EXPECT_EQ(Thrown("SaveImage('a.bmp', 7)"), "TypeError: Image expected");
    EXPECT_EQ(Thrown("SaveImage('p.png', src)"), "");  // codec failures are not reported
    EXPECT_EQ(fs::file_size(out / "p.png"), 0u);
}

TEST_F(ImageScriptTest, DestroyedOrCollectedImagesLeaveTheLayerQueue) {
    m_game->Install(std::make_unique<CRenderer>());  // queues work without a device
    CRenderer& renderer = *m_game->Renderer();
    Run("var kept = new Image(2, 2), dropped = new Image(2, 2); RegisterImageLayer(kept); "
        "RegisterImageLayer(dropped);");
    CBitmapProxy* kept = Native("kept");
    CBitmapProxy* dropped = Native("dropped");
    ASSERT_TRUE(renderer.IsOverlayQueued(dropped));
    Run("dropped = undefined;");
    duk_gc(ctx(), 0);
    duk_gc(ctx(), 0);
    EXPECT_FALSE(renderer.IsOverlayQueued(dropped));
    Run("UnregisterImageLayer(kept);");
    EXPECT_FALSE(renderer.IsOverlayQueued(kept));
    Run("RegisterImageLayer(kept); var alias = kept; DestroyImage(kept); DestroyImage(kept);");
    EXPECT_FALSE(renderer.IsOverlayQueued(kept));
    EXPECT_EQ(Thrown("RegisterImageLayer(alias)"), "ReferenceError: Image has no associated native object");
    EXPECT_TRUE(Starts("alias.GetPixel(0, 0)", "ReferenceError"));
}

TEST_F(ImageScriptTest, ViewCelsCountRowsFromTheBottom) {
    // Row y of the picture has red y * 50 + 10; NewCel's y counts memory rows, bottom first.
    Run("var img = new Image(3, 4); for (var y = 0; y < 4; ++y) img.FillRect(0, y, 3, 1, RGBA8(y * 50 + 10, 0, 0, "
        "255));"
        "var v = new View(); v.NewLoop(); v.NewCel(img, 0, 0, 3, 1); v.NewCel(img, 1, 2, 2, 2); v.NewCel(img, -1, 3, "
        "2, 5);");
    EXPECT_TRUE(Starts("v.NewCel(img, 3, 0, 1, 1)", "Error"));
    duk_get_global_string(ctx(), "v");
    auto* builder = static_cast<CViewBuilder*>(GetNativeIf(ctx(), -1, "ViewConstructor"));
    duk_pop(ctx());
    ASSERT_NE(builder, nullptr);
    CView* view = builder->Fixate(nullptr);
    ASSERT_EQ(view->CelCount(0), 3u);
    EXPECT_EQ(view->GetCel(0, 0)->width, 3u);
    EXPECT_EQ(view->GetCelPixel(0, 0, 0, 0), 0xFFA00000u);  // memory row 0: the bottom row
    EXPECT_EQ(view->GetCelPixel(0, 1, 0, 0), 0xFF0A0000u);  // memory rows 2..3: picture rows 1, 0
    EXPECT_EQ(view->GetCelPixel(0, 1, 1, 1), 0xFF3C0000u);
    EXPECT_EQ(view->GetCel(0, 2)->width, 1u);  // clipped to 1 x 1
    EXPECT_EQ(view->GetCel(0, 2)->height, 1u);
}
