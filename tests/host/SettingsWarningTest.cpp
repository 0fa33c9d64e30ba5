// settings.xml that cannot be used as written: the game starts as before, but says why on
// standard error; a size that cannot be created stops start-up with a clear message.
#include <gtest/gtest.h>

#include <string>

#include "io/FileFolder.h"
#include "host/Settings.h"
#include "support/TestSupport.h"

using namespace ove;

namespace {

struct SRead {
    SStartupSettings settings;
    std::string warnings;
};

SRead ReadWithWarnings(const std::string& xml) {
    ovetest::TempDir dir;
    ovetest::ScopedCwd cwd(dir.path());
    dir.Write("DATA/settings.xml", xml);
    CDirectory folder("DATA");
    SRead r;
    testing::internal::CaptureStderr();
    ReadSettings(folder, r.settings);
    r.warnings = testing::internal::GetCapturedStderr();
    return r;
}

}  // namespace

TEST(SettingsWarnings, UnreadableFilesKeepTheDefaultsAndSaySo) {
    SRead broken = ReadWithWarnings("<settings><game width=640/></settings>");
    EXPECT_FALSE(broken.settings.settingsRead);
    EXPECT_EQ(broken.settings.gameWidth, 320);
    EXPECT_EQ(broken.warnings,
              "ove: warning: settings.xml: cannot be read (Quoted string expected); every setting keeps its default\n");

    SRead wrongRoot = ReadWithWarnings("<Settings><game width=\"640\"/></Settings>");
    EXPECT_FALSE(wrongRoot.settings.settingsRead);
    EXPECT_EQ(wrongRoot.warnings,
              "ove: warning: settings.xml: the root element is <Settings>, not <settings>; every setting keeps "
              "its default\n");

    SRead fine = ReadWithWarnings(
        "<settings><game width=\"640\" height=\"480\" resolution=\"fixed\"/>"
        "<window width=\"auto\" height=\"auto\"/><default fullscreen=\"false\"/></settings>");
    EXPECT_TRUE(fine.settings.settingsRead);
    EXPECT_EQ(fine.warnings, "");
}

TEST(SettingsWarnings, ValuesThatAreNotWhatTheyShouldBeAreNamedAndStillApplied) {
    SRead r = ReadWithWarnings(
        "<settings><game width=\"wide\" height=\"480px\" resolution=\"Flexible\"/>"
        "<window width=\"-1\" height=\"99999999999\"/><default fullscreen=\"TRUE\"/></settings>");
    EXPECT_EQ(r.settings.gameWidth, 0);
    EXPECT_EQ(r.settings.gameHeight, 480);
    EXPECT_FALSE(r.settings.flexible);
    EXPECT_EQ(r.settings.windowWidth, kAutoSize) << "read as before";
    EXPECT_EQ(r.settings.windowHeight, 2147483647);
    EXPECT_FALSE(r.settings.fullScreen);
    EXPECT_EQ(r.warnings,
              "ove: warning: settings.xml: <game width=\"wide\">: not a number; read as 0\n"
              "ove: warning: settings.xml: <game height=\"480px\">: text after the number is ignored; read as 480\n"
              "ove: warning: settings.xml: <game resolution=\"Flexible\">: not \"flexible\"; the resolution is fixed\n"
              "ove: warning: settings.xml: <window width=\"-1\">: a size cannot be negative; read as -1\n"
              "ove: warning: settings.xml: <window height=\"99999999999\">: out of range; read as 2147483647\n"
              "ove: warning: settings.xml: <default fullscreen=\"TRUE\">: not \"true\"; the game starts in a window\n");
}

TEST(SettingsWarnings, SizesTheEngineCannotCreateAreAStartupError) {
    SStartupSettings s;
    EXPECT_EQ(SizeProblem(s), "") << "the defaults";
    s.gameWidth = kMaxScreenSide;
    s.gameHeight = 1;
    EXPECT_EQ(SizeProblem(s), "");
    s.gameWidth = kMaxScreenSide + 1;
    EXPECT_EQ(SizeProblem(s),
              "settings.xml: the game size 16385 x 1 cannot be used; each side must be 1 to 16384 pixels");
    s.gameWidth = 640;
    s.windowHeight = 0;
    EXPECT_EQ(SizeProblem(s), "settings.xml: the window size 320 x 0 cannot be used; each side must be 1 to 16384 pixels");

    // A game width that is not a number leaves 0 x 240 after the "auto" window is worked out.
    SRead r = ReadWithWarnings("<settings><game width=\"wide\"/><window width=\"auto\" height=\"auto\"/></settings>");
    ResolveWindowSize(r.settings, 1920, 1080);
    EXPECT_EQ(SizeProblem(r.settings),
              "settings.xml: the game size 0 x 240 cannot be used; each side must be 1 to 16384 pixels");
}
