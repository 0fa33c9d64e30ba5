// `ovetool convert`: pictures between formats, and failures that say which tool and why.
#include <gtest/gtest.h>

#include <tuple>

#include "image/ImageLoad.h"
#include "image/ImageTestUtil.h"

using namespace ove;
using namespace imagetest;

TEST(ImageSave, OvetoolConvert) {
    const fs::path tool = fs::path(OVE_BUILD_DIR) / "ovetool";
    ovetest::TempDir dir;
    const SBmp s{.width = 5,
                 .height = 3,
                 .bitCount = 4,
                 .palette = {0x102030, 0xFFFFFF, 0x00FF00},
                 .coloursUsed = 3,
                 .pixels = {0x01, 0x20, 0x10, 0, 0x22, 0x22, 0x20, 0, 0x00, 0x11, 0x20, 0}};
    fs::path in = dir.Write("in.bmp", BuildBmp(s));
    std::string error;
    auto original = LoadImageFile(in.string(), &error);
    ASSERT_TRUE(original) << error;
    for (const char* out : {"out.qoi", "out.bmp"}) {
        ASSERT_EQ(ovetest::Run(Q(tool) + " convert " + Q(in) + " " + Q(dir / out)), 0) << out;
        auto converted = LoadImageFile((dir / out).string(), &error);
        ASSERT_TRUE(converted) << error;
        EXPECT_EQ(MaxDiff(FromBitmap(*converted), FromBitmap(*original)), 0) << out;
    }
    ASSERT_EQ(ovetest::Run(Q(tool) + " convert " + Q(dir / "out.qoi") + " " + Q(dir / "out.jpg")), 0);
    EXPECT_TRUE(LoadImageFile((dir / "out.jpg").string(), &error)) << error;

    // Failures say which tool and why.
    fs::path broken = dir.Write("broken.qoi", Bytes{'q', 'o', 'i', 'f', 0, 0, 0, 1, 0, 0, 0, 1, 9, 0});
    fs::path log = dir / "err.txt";
    for (auto [src, out, why] : {std::tuple{broken, "x.bmp", "Invalid header."},
                                 {in, "x.png", "Saving to PNG files is not supported."},
                                 {dir / "missing.png", "x.bmp", ""}}) {
        EXPECT_EQ(ovetest::Run(Q(tool) + " convert " + Q(src) + " " + Q(dir / out) + " 2> " + Q(log)), 1) << src;
        const std::string err = ovetest::ReadFileText(log);
        EXPECT_EQ(err.rfind("ovetool convert: ", 0), 0u) << err;
        EXPECT_NE(err.find(why), std::string::npos) << err;
    }
}
