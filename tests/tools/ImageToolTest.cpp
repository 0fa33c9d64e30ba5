// `ovetool convert`: pictures between formats, and failures that say which tool and why.
#include <gtest/gtest.h>

#include "image/ImageLoad.h"
#include "image/ImageTestUtil.h"

using namespace ove;
using namespace imagetest;

TEST(ImageSave, OvetoolConvert) {
    const fs::path tool = fs::path(OVE_BUILD_DIR) / "ovetool";
    if (!fs::exists(tool)) GTEST_SKIP() << "ovetool not built";
    ovetest::TempDir dir;
    const SBmp s{.width = 5, .height = 3, .bitCount = 4, .palette = {0x102030, 0xFFFFFF, 0x00FF00}, .coloursUsed = 3,
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

    fs::path broken = dir.Write("broken.qoi", Bytes{'q', 'o', 'i', 'f', 0, 0, 0, 1, 0, 0, 0, 1, 9, 0});
    fs::path log = dir / "err.txt";
    EXPECT_EQ(ovetest::Run(Q(tool) + " convert " + Q(broken) + " " + Q(dir / "x.bmp") + " 2> " + Q(log)), 1);
    Bytes text = ovetest::ReadFileBytes(log);
    EXPECT_NE(std::string(text.begin(), text.end()).find("Invalid header."), std::string::npos);
    EXPECT_EQ(ovetest::Run(Q(tool) + " convert " + Q(in) + " " + Q(dir / "x.png") + " 2> " + Q(log)), 1);
    text = ovetest::ReadFileBytes(log);
    EXPECT_NE(std::string(text.begin(), text.end()).find("Saving to PNG files is not supported."), std::string::npos);
}

TEST(PngWrite, OvetoolConvertFailuresCarryTheToolsName) {
    ovetest::TempDir dir;
    const std::string err = (dir / "err").string();
    EXPECT_EQ(ovetest::Run(std::string("'") + OVE_BUILD_DIR + "/ovetool' convert '" + (dir / "missing.png").string() +
                           "' x.bmp 2>'" + err + "'"),
              1);
    const std::vector<unsigned char> text = ovetest::ReadFileBytes(err);
    EXPECT_EQ(std::string(text.begin(), text.end()).rfind("ovetool convert: ", 0), 0u);
}
