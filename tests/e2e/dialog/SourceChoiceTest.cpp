// Choosing among several games: the rules, then the real engine on a private X server and
// headless.
#include <gtest/gtest.h>

#include <fstream>

#include "e2e/demo/DemoTestUtil.h"
#include "host/SourceChoice.h"
#include "image/ImageDraw.h"
#include "image/ImageLoad.h"
#include "support/TestSupport.h"

using namespace ove;

namespace {

const SourceMap kThreeDirs = {{"DATA1", "One"}, {"DATA2", "Two"}, {"DATA3", "Three"}};
const SourceMap kTwoArchives = {{"A.DAT", "Beta"}, {"B.DAT", "Alpha"}};

struct SAsked {
    int calls = 0;
    std::vector<std::string> archives, directories;
    bool hadArchives = false, hadDirectories = false;
};

SourceAsker Asker(SAsked& asked, bool answer, int archivePick, int directoryPick) {
    return [&asked, answer, archivePick, directoryPick](const std::vector<std::string>* a,
                                                        const std::vector<std::string>* d, int& ai, int& di) {
        ++asked.calls;
        asked.hadArchives = a != nullptr;
        asked.hadDirectories = d != nullptr;
        if (a) asked.archives = *a;
        if (d) asked.directories = *d;
        ai = archivePick;
        di = directoryPick;
        return answer;
    };
}

}  // namespace

TEST(SourceChoice, AsksOnlyAboutKindsWithSeveralGames) {
    SAsked asked;
    std::string notes;
    SSourceChoice c = ChooseSource(kTwoArchives, kThreeDirs, "", "", Asker(asked, true, 1, 2), &notes);
    EXPECT_EQ(asked.calls, 1);
    EXPECT_EQ(asked.archives, (std::vector<std::string>{"Beta", "Alpha"}));  // by file name
    EXPECT_EQ(asked.directories, (std::vector<std::string>{"One", "Two", "Three"}));
    EXPECT_EQ(c.archiveName, "B.DAT");
    EXPECT_EQ(c.directoryName, "DATA3");
    EXPECT_TRUE(notes.empty());

    // One directory, several archives: only the archive row; the directory stays DATA.
    SAsked one;
    c = ChooseSource(kTwoArchives, {{"DATA2", "Two"}}, "", "", Asker(one, true, 0, 0), &notes);
    EXPECT_TRUE(one.hadArchives);
    EXPECT_FALSE(one.hadDirectories);
    EXPECT_EQ(c.archiveName, "A.DAT");
    EXPECT_EQ(c.directoryName, "DATA");

    // A named source needs no question, even when the survey did not offer it.
    SAsked none;
    c = ChooseSource(kTwoArchives, kThreeDirs, "other.dat", "DATA2", Asker(none, true, 0, 0), &notes);
    EXPECT_EQ(none.calls, 0);
    EXPECT_EQ(c.archiveName, "other.dat");
    EXPECT_EQ(c.directoryName, "DATA2");
    c = ChooseSource({}, {}, "", "", Asker(none, false, 0, 0), &notes);
    EXPECT_EQ(none.calls, 0);
    EXPECT_FALSE(c.cancelled);
    EXPECT_EQ(c.archiveName, "GAME.DAT");

    SAsked cancel;
    c = ChooseSource({}, kThreeDirs, "", "", Asker(cancel, false, 0, 1), &notes);
    EXPECT_TRUE(c.cancelled);
    // An index outside the list (a broken asker) falls back to the first.
    c = ChooseSource({}, kThreeDirs, "", "", Asker(cancel, true, 0, 7), &notes);
    EXPECT_EQ(c.directoryName, "DATA1");
}

TEST(SourceChoice, WithoutAskerTheFirstRunsAndIsTold) {
    std::string notes;
    SSourceChoice c = ChooseSource(kTwoArchives, kThreeDirs, "", "DATA3", nullptr, &notes);
    EXPECT_EQ(c.archiveName, "A.DAT");
    EXPECT_EQ(c.directoryName, "DATA3");
    EXPECT_EQ(notes,
              "ove: 2 packed archives hold games; running A.DAT (\"Beta\"); choose another with --archive FILE\n");
    EXPECT_EQ(DescribeSearch("main.OVS", "/games/x", "DATA", false, true, "GAME.DAT", false),
              "ove: looked for main.OVS (in any case) in the current directory /games/x, then directory DATA "
              "(not there), directory Library and packed archive GAME.DAT (not there)\n");
}

// ---------------------------------------------------------------- the engine itself

namespace {

void WriteGames(const ovetest::TempDir& dir) {
    for (int n = 1; n <= 3; ++n) {
        std::string d = "DATA" + std::to_string(n);
        dir.Write(d + "/settings.xml", "<settings><game name=\"Game " + std::to_string(n) + "\"/></settings>");
        dir.Write(d + "/main.ovs", "function Init() { debug('started', " + std::to_string(n) +
                                       ", {toString: function () { return 'x'; }}); } function Run() {}");
    }
}

struct SDialogRun {
    std::string status, err, geometry;
    std::filesystem::path picture;
};

// Runs tests/e2e/dialog/select-source.sh; skips the test when it cannot run there.
bool RunDialog(const ovetest::TempDir& out, const std::string& keys, SDialogRun& r) {
    using demotest::Quote;
    int rc = ovetest::Run(Quote(std::string(OVE_TEST_SOURCE_DIR) + "/e2e/dialog/select-source.sh") + " " +
                          Quote(std::string(OVE_BUILD_DIR) + "/ove") + " " + Quote(out.path().string()) + " " + keys);
    if (rc == 77) return false;
    EXPECT_EQ(rc, 0) << "the dialog did not appear; the engine said:\n" << ovetest::ReadFileText(out / "err");
    auto text = [&](const char* name) {
        std::string s = ovetest::ReadFileText(out / name);
        while (!s.empty() && s.back() == '\n') s.pop_back();
        return s;
    };
    r.status = text("status");
    r.err = text("err");
    r.geometry = text("geometry");
    r.picture = out / "dialog.png";
    return rc == 0;
}

}  // namespace

TEST(SelectSourceDialog, DownThenEnterStartsTheSecondGame) {
    ovetest::TempDir out;
    SDialogRun r;
    if (!RunDialog(out, "Down Return", r)) GTEST_SKIP() << "needs Xvfb and xdotool";
    EXPECT_EQ(r.status, "0");
    EXPECT_EQ(r.err, "debug: started 2");
    // One row: 360 wide, caption 18 + current y 36 + 2 frames of 3 + 31.
    EXPECT_EQ(r.geometry, "360x91");

    // The picture the X server shows: caption, frame, and OK's default frame where the layout
    // puts it (OK at 194 - 2 frames in the client area, which starts at 3, 21). The other pixels
    // of the painted dialog: PropWindowPixels.FrameCaptionFocusAndDefaultButton.
    std::string error;
    auto bmp = LoadImageFile(r.picture.string(), &error);
    ASSERT_TRUE(bmp) << error;
    ASSERT_EQ(bmp->Width(), 360u);
    ASSERT_EQ(bmp->Height(), 91u);
    auto rgb = [&](int x, int y) { return ImageGetPixel(*bmp, x, y) & 0xFFFFFFu; };
    EXPECT_EQ(rgb(0, 0), 0xFFFFFFu);
    EXPECT_EQ(rgb(359, 90), 0x000000u);
    EXPECT_EQ(rgb(5, 8), 0x0A246Au);                   // caption
    EXPECT_EQ(rgb(3 + 188, 21 + 36 + 10), 0x000000u);  // OK's default frame, left edge
}

// The box of the one row: x 131..349, y 29..49; its list opens below it, 14 pixels a line. Escape
// ends quietly.
TEST(SelectSourceDialog, MouseOpensTheListBelowTheBoxAndEscapeEndsQuietly) {
    for (auto [keys, started] : {std::pair{"click:200,38 click:200,84 Return", "debug: started 3"}, {"Escape", ""}}) {
        ovetest::TempDir out;
        SDialogRun r;
        if (!RunDialog(out, keys, r)) GTEST_SKIP() << "needs Xvfb and xdotool";
        EXPECT_EQ(r.status, "0") << keys;
        EXPECT_EQ(r.err, started) << keys;
    }
}

TEST(SelectSourceHeadless, FirstGameRunsOptionsChooseAndDebugNeedsVerbose) {
    ovetest::TempDir games;
    WriteGames(games);
    demotest::SRun r = demotest::RunEngine(games.path(), "--verbose");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              "ove: 3 data directories hold games; running DATA1 (\"Game 1\"); choose another with --directory DIR\n"
              "debug: started 1 x\n");
    r = demotest::RunEngine(games.path(), "--verbose --directory DATA3");
    EXPECT_EQ(r.err, "debug: started 3 x\n");
    r = demotest::RunEngine(games.path(), "--directory DATA3");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "") << "debug() is silent without --verbose";
}

TEST(EngineStartup, MissingScriptBadScreenshotAndUsage) {
    ovetest::TempDir games;
    games.Write("DATA/other.ovs", "function Init() {}");
    demotest::SRun r = demotest::RunEngine(games.path(), "");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ove: looked for main.OVS (in any case) in the current directory "), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("directory DATA, directory Library (not there) and packed archive GAME.DAT (not there)\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Error: Couldn't load main script\n"), std::string::npos);
    r = demotest::RunEngine(games.path(), "--directory DATA7");
    EXPECT_NE(r.err.find("directory DATA7 (not there)"), std::string::npos) << r.err;

    games.Write("DATA/main.ovs", "function Init() {} function Run() { Display(); }");
    r = demotest::RunEngine(games.path(), "--screenshot no/such/folder/shot.bmp");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("could not write screenshot"), std::string::npos) << r.err;
    r = demotest::RunEngine(games.path(), "--screenshot shot.bmp");
    EXPECT_EQ(r.status, 0) << r.err;

    r = demotest::RunEngine(games.path(), "--help");
    EXPECT_EQ(r.status, 0);
    for (const char* word : {"DATA*", "main.ovs", "*.DAT", "GAME.DAT", "Select source", "--archive FILE",
                             "--directory DIR", "--game DIR", "--headless", "--verbose"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
}
