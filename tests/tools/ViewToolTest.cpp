// ovetool view, font, pict and dump, end to end: pictures written with libpng, results read back
// with the engine's loaders.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "LayersToolFixture.h"
#include "io/DataBin.h"
#include "resources/View.h"
#include "support/Bytes.h"
#include "support/TestSupport.h"
#include "walk/BackdropPicture.h"

using namespace ove;
using tilestest::WritePng;
using viewtest::CelPixels;
using viewtest::Cels;
using viewtest::Describe;
using viewtest::Values;
namespace fs = std::filesystem;

namespace {

TResourceRef<CView> LoadViewFile(const fs::path& path, bool font) {
    CFile file(path.c_str(), "rb");
    TResourceRef<CView> view(font ? new CFont("f") : new CView("v"));
    view->Load(&file, nullptr);
    return view;
}

std::unique_ptr<CBackdropPicture> LoadPictFile(const fs::path& path) {
    CFile file(path.c_str(), "rb");
    auto picture = std::make_unique<CBackdropPicture>();
    return picture->Load(&file) ? std::move(picture) : nullptr;
}

// Every piece must appear in the tool's output.
void ExpectHas(const std::string& out, std::initializer_list<const char*> pieces) {
    for (const char* piece : pieces) EXPECT_NE(out.find(piece), std::string::npos) << piece << " in:\n" << out;
}

using ViewToolTest = tilestest::CToolFixture;

}  // namespace

TEST_F(ViewToolTest, ViewWithLoopsOffsetsAndMirror) {
    // a: 3 x 2 RGBA, every pixel different; b: 4 x 4; c: 1 x 1.
    std::vector<u8> a(3 * 2 * 4), b(4 * 4 * 4, 0x40), c = {9, 8, 7, 255};
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = u8(10 + i * 7);
    a[3] = 255;
    ASSERT_TRUE(WritePng(dir / "a.png", 3, 2, PNG_FORMAT_RGBA, a.data()));
    ASSERT_TRUE(WritePng(dir / "b.png", 4, 4, PNG_FORMAT_RGBA, b.data()));
    ASSERT_TRUE(WritePng(dir / "c.png", 1, 1, PNG_FORMAT_RGBA, c.data()));
    ASSERT_EQ(Tool("view hero.VIEW --blend 2 --smooth --loop a.png@3,-4 b.png --loop c.png --mirror 0"), 0) << out;

    auto view = LoadViewFile(dir / "hero.VIEW", false);
    EXPECT_EQ(view->BlendMode(), 2u);
    EXPECT_EQ(view->Smooth(), 1);
    EXPECT_EQ(Cels(*view), "[3x2(3,-4) 4x4(0,0)][1x1(0,0)][3x2(-3,-4) 4x4(0,0)]");
    // PNG pixels are R, G, B, A from the top-left.
    std::vector<u32> expected;
    for (std::size_t i = 0; i < a.size(); i += 4)
        expected.push_back(u32(a[i + 3]) << 24 | u32(a[i]) << 16 | u32(a[i + 1]) << 8 | a[i + 2]);
    EXPECT_EQ(CelPixels(*view, 0, 0), expected);
    EXPECT_EQ(view->GetCelPixel(1, 0, 0, 0), 0xFF090807u);

    ASSERT_EQ(Tool("dump hero.VIEW"), 0) << out;
    ExpectHas(out, {"loops: 3", "cel 0: 3x2 offset (3,-4)", "loop 2: mirror of loop 0", "blend 2, smooth 1"});
}

TEST_F(ViewToolTest, ViewRefusesBadArgumentsAndNamesBadCelOffsets) {
    std::vector<u8> px = {1, 2, 3, 255};
    ASSERT_TRUE(WritePng(dir / "p.png", 1, 1, PNG_FORMAT_RGBA, px.data()));
    // No loop, a missing picture, a picture outside a loop, a mirror of a missing loop or of itself,
    // an unknown blend mode, and a loop without pictures wherever it stands.
    for (const char* args : {"x.VIEW", "x.VIEW --loop missing.png", "x.VIEW p.png", "x.VIEW --loop p.png --mirror 2",
                             "x.VIEW --loop p.png --mirror 1", "x.VIEW --blend 7 --loop p.png",
                             "x.VIEW --loop --loop p.png", "x.VIEW --loop p.png --loop", "x.VIEW --loop --mirror 0"})
        EXPECT_NE(Tool(std::string("view ") + args), 0) << args;
    EXPECT_FALSE(fs::exists(dir / "x.VIEW"));
    // A mirror may name a loop that comes later.
    EXPECT_EQ(Tool("view x.VIEW --mirror 1 --loop p.png"), 0);
    EXPECT_EQ(Cels(*LoadViewFile(dir / "x.VIEW", false)), "[1x1(0,0)][1x1(0,0)]");

    EXPECT_NE(Tool("view v.OVV --loop p.png@abc"), 0);
    ExpectHas(out, {"p.png@abc: the cel offset after '@' must be two whole numbers"});
    EXPECT_FALSE(fs::exists(dir / "v.OVV"));
    EXPECT_NE(Tool("view v.OVV --loop p.png@1,2,3"), 0);
    ExpectHas(out, {"not '1,2,3'"});
    // A file whose own name holds '@' is still a picture, not an offset.
    fs::copy_file(dir / "p.png", dir / "p@home.png");
    ASSERT_EQ(Tool("view v.OVV --loop p@home.png p.png@-2,5"), 0) << out;
    EXPECT_EQ(Cels(*LoadViewFile(dir / "v.OVV", false)), "[1x1(0,0) 1x1(-2,5)]");
}

TEST_F(ViewToolTest, FontFromGreyAndColourGrids) {
    // 16 x 16 cells of 4 x 5; cell c has grey level c at its top-left pixel, 255 at its bottom-right.
    const u32 cw = 4, ch = 5, w = cw * 16, h = ch * 16;
    std::vector<u8> grey(w * h, 0);
    for (u32 c = 0; c < 256; ++c) {
        grey[(c / 16) * ch * w + (c % 16) * cw] = u8(c);
        grey[((c / 16) * ch + ch - 1) * w + (c % 16) * cw + cw - 1] = 255;
    }
    ASSERT_TRUE(WritePng(dir / "grid.png", w, h, PNG_FORMAT_GRAY, grey.data()));
    ASSERT_EQ(Tool("font small.FONT --grid grid.png --cell 4x5"), 0) << out;
    auto font = LoadViewFile(dir / "small.FONT", true);
    ASSERT_EQ(font->LoopCount(), 1u);
    ASSERT_EQ(font->CelCount(0), 256u);
    for (i32 c = 0; c < 256; ++c) {
        ASSERT_EQ(font->GetCel(0, c)->width, cw);
        ASSERT_EQ(font->GetCel(0, c)->height, ch);
        EXPECT_EQ(font->GetCelPixel(0, c, 0, 0), u32(c) << 24 | 0xFFFFFF) << c;
        EXPECT_EQ(font->GetCelPixel(0, c, 3, 4), 0xFFFFFFFFu) << c;
        EXPECT_EQ(font->GetCelPixel(0, c, 1, 1), 0x00FFFFFFu) << c;
    }
    ASSERT_EQ(Tool("dump small.FONT"), 0);
    ExpectHas(out, {"FONT: header 17 bytes, 8 bits per pixel", "loop 0: 256 cels"});

    EXPECT_NE(Tool("font bad.FONT --grid grid.png --cell 5x5"), 0);  // grid too small
    EXPECT_NE(Tool("font bad.FONT --grid grid.png"), 0);
    EXPECT_NE(Tool("font bad.FONT"), 0);

    // A colour grid keeps its colours. libpng stores the colour of a fully transparent pixel as it
    // is; only visible ones are checked.
    std::vector<u8> rgba(16 * 16 * 4, 0);
    for (u32 i = 0; i < 256; ++i) {
        rgba[i * 4] = u8(i);
        rgba[i * 4 + 1] = 7;
        rgba[i * 4 + 3] = u8(255 - i);
    }
    ASSERT_TRUE(WritePng(dir / "colour.png", 16, 16, PNG_FORMAT_RGBA, rgba.data()));
    ASSERT_EQ(Tool("font c.FONT --grid colour.png --cell 1x1"), 0);
    font = LoadViewFile(dir / "c.FONT", true);
    ASSERT_EQ(font->CelCount(0), 256u);
    for (i32 c = 0; c < 255; c += 17)
        EXPECT_EQ(font->GetCelPixel(0, c, 0, 0), u32(255 - c) << 24 | u32(c) << 16 | 0x0700u) << c;
}

TEST_F(ViewToolTest, FontFromTrueType) {
    const fs::path ttf = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    if (!fs::exists(ttf)) GTEST_SKIP() << "no DejaVu Sans";
    ASSERT_EQ(Tool("font sans.FONT --ttf '" + ttf.string() + "' --size 16"), 0) << out;
    auto font = LoadViewFile(dir / "sans.FONT", true);
    ASSERT_EQ(font->LoopCount(), 1u);
    ASSERT_EQ(font->CelCount(0), 256u);
    const u32 height = font->GetCel(0, 0)->height;
    EXPECT_GE(height, 16u);
    EXPECT_LE(height, 24u);
    for (i32 c = 0; c < 256; ++c) ASSERT_EQ(font->GetCel(0, c)->height, height) << c;
    EXPECT_EQ(font->GetCel(0, 0)->width, 0u);  // control codes have no glyph
    EXPECT_EQ(font->GetCel(0, 10)->width, 0u);
    EXPECT_EQ(font->GetCel(0, 0x81)->width, 0u);  // a hole in code page 1252
    EXPECT_GT(font->GetCel(0, 'W')->width, font->GetCel(0, 'i')->width);
    auto inked = [&](i32 c) {
        int n = 0;
        for (u32 y = 0; y < height; ++y)
            for (u32 x = 0; x < font->GetCel(0, c)->width; ++x) {
                u32 p = font->GetCelPixel(0, c, i32(x), i32(y));
                EXPECT_EQ(p & 0xFFFFFF, 0xFFFFFFu);  // white, the text colour tints it
                n += (p >> 24) > 128;
            }
        return n;
    };
    EXPECT_EQ(inked(' '), 0);
    EXPECT_GT(font->GetCel(0, ' ')->width, 0u);
    EXPECT_GT(inked('A'), 10);
    EXPECT_GT(inked(0x80), 5);  // the euro sign sits at 0x80 in code page 1252
    EXPECT_GT(inked(0xE9), 5);  // e acute
    // 'g' reaches below the baseline: ink in the bottom rows, which 'a' lacks.
    auto inkBelow = [&](i32 c, u32 fromRow) {
        int n = 0;
        for (u32 y = fromRow; y < height; ++y)
            for (u32 x = 0; x < font->GetCel(0, c)->width; ++x)
                n += (font->GetCelPixel(0, c, i32(x), i32(y)) >> 24) > 64;
        return n;
    };
    EXPECT_GT(inkBelow('g', height - 4), 0);
    EXPECT_EQ(inkBelow('a', height - 3), 0);

    EXPECT_NE(Tool("font x.FONT --ttf missing.ttf --size 12"), 0);
    EXPECT_NE(Tool("font x.FONT --ttf '" + ttf.string() + "'"), 0);
}

TEST_F(ViewToolTest, PictureWithMasksAndHotspots) {
    const u32 w = 6, h = 4;
    std::vector<u8> rgb(w * h * 3), walk(w * h), click(w * h);
    for (u32 i = 0; i < w * h; ++i) {
        rgb[i * 3] = u8(i);
        rgb[i * 3 + 1] = u8(100 + i);
        rgb[i * 3 + 2] = u8(200 + i);
        walk[i] = i % w < 3 ? 0 : 200;
        click[i] = u8(i / 8);  // indices 0, 1, 2
    }
    // The click palette is deliberately not a grey ramp: the indices must come through, not colours.
    const u8 palette[] = {255, 0, 0, 0, 255, 0, 0, 0, 255};
    ASSERT_TRUE(WritePng(dir / "room.png", w, h, PNG_FORMAT_RGB, rgb.data()));
    ASSERT_TRUE(WritePng(dir / "walk.png", w, h, PNG_FORMAT_GRAY, walk.data()));
    ASSERT_TRUE(WritePng(dir / "click.png", w, h, PNG_FORMAT_RGB_COLORMAP, click.data(), palette, 3));
    std::ofstream(dir / "names.txt") << "door\n\nwindow\r\n";
    ASSERT_EQ(Tool("pict room.PICT --image room.png --walk walk.png --click click.png --hotspots names.txt"), 0) << out;

    auto loaded = LoadPictFile(dir / "room.PICT");
    ASSERT_TRUE(loaded);
    const CBackdropPicture& picture = *loaded;
    // An opaque image is stored with 24 bits; the empty line leaves hotspot 2 without a name.
    EXPECT_EQ(Describe(picture),
              "6x4, 24 bits, " + Values("walk", walk) + ", " + Values("click", click) + ", 1:door, 3:window");
    for (u32 y = 0; y < h; ++y)
        for (u32 x = 0; x < w; ++x) {
            const u8* p = picture.Bitmap()->TopRow(y) + x * 3;
            const u32 i = y * w + x;
            EXPECT_EQ(std::vector<u8>(p, p + 3), (std::vector<u8>{rgb[i * 3 + 2], rgb[i * 3 + 1], rgb[i * 3]}));
        }

    ASSERT_EQ(Tool("dump room.PICT"), 0) << out;
    ExpectHas(out, {"PICT: 6x4, 24 bits per pixel", "walk mask: 24 pixels, 8 runs, values 0:12 200:12",
                    "click mask: 24 pixels, 3 runs, values 0:8 1:8 2:8", "control mask: none", "3: window"});
}

TEST_F(ViewToolTest, OneBitGreyMasksHoldLevelsNotIndices) {
    if (!ovetest::HaveProgram("convert")) GTEST_SKIP() << "ImageMagick missing";
    const u32 w = 4, h = 2;
    std::vector<u8> rgb(w * h * 3, 90);
    ASSERT_TRUE(WritePng(dir / "room.png", w, h, PNG_FORMAT_RGB, rgb.data()));
    // A two-colour picture: ImageMagick stores it as 1-bit grey.
    ASSERT_EQ(ovetest::Run("cd '" + dir.path().string() +
                           "' && convert -size 4x2 xc:white -fill black -draw 'point 0,0' -draw 'point 3,1'"
                           " -type bilevel walk.png"),
              0);
    ASSERT_EQ(Tool("pict room.PICT --image room.png --walk walk.png"), 0) << out;
    auto picture = LoadPictFile(dir / "room.PICT");
    ASSERT_TRUE(picture);
    EXPECT_EQ(Describe(*picture), "4x2, 24 bits, walk 0 255 255 255 255 255 255 0");
}

TEST_F(ViewToolTest, PictureRefusals) {
    std::vector<u8> rgba(4 * 4 * 4, 200), grey(3 * 3, 1), colour(4 * 4 * 3, 0);
    rgba[3] = 100;  // not opaque
    colour[0] = 255;
    ASSERT_TRUE(WritePng(dir / "img.png", 4, 4, PNG_FORMAT_RGBA, rgba.data()));
    ASSERT_TRUE(WritePng(dir / "small.png", 3, 3, PNG_FORMAT_GRAY, grey.data()));
    ASSERT_TRUE(WritePng(dir / "colour.png", 4, 4, PNG_FORMAT_RGB, colour.data()));
    EXPECT_NE(Tool("pict a.PICT"), 0);
    EXPECT_NE(Tool("pict a.PICT --image missing.png"), 0);
    EXPECT_NE(Tool("pict a.PICT --image img.png --walk small.png"), 0);
    EXPECT_NE(Tool("pict a.PICT --image img.png --depth colour.png"), 0);
    ASSERT_EQ(Tool("pict a.PICT --image img.png"), 0);
    auto picture = LoadPictFile(dir / "a.PICT");
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->Bitmap()->BitsPerPixel(), 32u);
    EXPECT_EQ(picture->Bitmap()->TopRow(0)[3], 100);
}

TEST_F(ViewToolTest, DumpRejectsOtherFiles) {
    std::ofstream(dir / "junk.bin") << "JUNKJUNKJUNK";
    EXPECT_NE(Tool("dump junk.bin"), 0);
    ExpectHas(out, {"not a VIEW, FONT, PICT or LYRS file"});
    EXPECT_NE(Tool("dump missing.VIEW"), 0);
    // A truncated view is described as far as it goes, and is an error.
    std::vector<u8> v = {'V', 'I', 'E', 'W', 17, 0, 0, 0, 32, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 0, 0,
                         0,   0,   0,   3,   0,  0, 0, 1, 0,  0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3};
    dir.Write("cut.VIEW", v);
    ASSERT_EQ(Tool("dump cut.VIEW"), 1) << out;
    ExpectHas(out, {"ovetool dump: the file ends inside a cel of loop 0", "loop 0: 3 cels", "(file ends inside cel 0)",
                    "loaded: 2 loops, 0 cels"});
    // A picture whose image is fine but whose hotspot list the game would refuse.
    std::vector<u8> p(36 + 16 + 4, 0);
    std::memcpy(&p[0], "PICT", 4);
    p[4] = p[8] = 1;
    std::memcpy(&p[36], "IMGE", 4);
    p[44] = 32;
    const std::string tail("HOTS\0\0\0\0HSPT\1\0\0\0\0\0\0\0SIZE\0\0\0\0", 28);
    for (char c : tail) p.push_back(u8(c));
    dir.Write("bad.PICT", p);
    EXPECT_NE(Tool("dump bad.PICT"), 0);
    ExpectHas(out, {"error: Unknown hotspot attribute"});
    EXPECT_EQ(out.find("no image"), std::string::npos) << out;
}

TEST_F(ViewToolTest, HelpForOneCommandNamesTheEnginesExtension) {
    ASSERT_EQ(Tool("help view"), 0) << out;
    const std::string byName = out;
    ASSERT_EQ(Tool("view --help"), 0) << out;
    EXPECT_EQ(out, byName);
    EXPECT_EQ(byName.rfind("usage: ovetool view", 0), 0u) << byName;
    ExpectHas(byName, {".OVV"});
    // --help anywhere in the options shows the help and writes nothing.
    EXPECT_EQ(Tool("font out.OVF --size 9 --help"), 0);
    ExpectHas(out, {".OVF"});
    EXPECT_FALSE(fs::exists(dir / "out.OVF"));
    EXPECT_EQ(Tool("help pict"), 0);
    ExpectHas(out, {".OVP"});
    // The command list names every command; an unknown one is a usage error.
    ASSERT_EQ(Tool("help"), 0);
    for (const char* cmd : {"convert", "dump", "font", "layers", "list", "pack", "pict", "unpack", "view"})
        EXPECT_NE(out.find(std::string("  ") + cmd + " "), std::string::npos) << cmd << " missing:\n" << out;
    EXPECT_EQ(Tool("help nosuch"), 2);
    ExpectHas(out, {"unknown command 'nosuch'"});
}
