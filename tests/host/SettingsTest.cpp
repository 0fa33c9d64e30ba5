#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/Settings.h"
#include "io/DataBin.h"
#include "io/FileFolder.h"
#include "support/MemoryFolder.h"
#include "support/TestSupport.h"

using namespace ove;
namespace fs = std::filesystem;

namespace {

using Files = std::map<std::string, std::string>;
using ovetest::CMemoryFolder;

std::string SettingsXML(const std::string& children) { return "<settings>\n" + children + "\n</settings>\n"; }

// Reads settings.xml from a data directory in a fresh temporary working directory.
SStartupSettings ReadFrom(const std::string& xml) {
    ovetest::TempDir dir;
    ovetest::ScopedCwd cwd(dir.path());
    dir.Write("DATA/settings.xml", xml);
    CDirectory folder("DATA");
    SStartupSettings s;
    ReadSettings(folder, s);
    return s;
}

// All the settings in one line, for comparing them whole.
std::string Describe(const SStartupSettings& s) {
    return "window " + std::to_string(s.windowWidth) + "x" + std::to_string(s.windowHeight) + ", game " +
           std::to_string(s.gameWidth) + "x" + std::to_string(s.gameHeight) + (s.flexible ? " flexible" : "") +
           ", title '" + s.title + "', script '" + s.scriptName + "', font '" + s.fontName + "'" +
           (s.fullScreen ? ", full screen" : "") + ", sound font '" + s.soundFont + "'" +
           (s.settingsRead ? ", read" : "");
}

const std::string kDefaults = "window 320x240, game 320x240, title 'OVE', script 'main', font '', sound font ''";

// What ReadFrom gives, and what it wrote to standard error.
struct SRead {
    SStartupSettings settings;
    std::string warnings;
};

SRead ReadWithWarnings(const std::string& xml) {
    testing::internal::CaptureStderr();
    SStartupSettings s = ReadFrom(xml);
    return {s, testing::internal::GetCapturedStderr()};
}

SStartupSettings Resolved(const std::string& xml, int aw, int ah) {
    SStartupSettings s = ReadFrom(xml);
    ResolveWindowSize(s, aw, ah);
    return s;
}

}  // namespace

// ---- reading settings.xml

TEST(Settings, NoSettingsFileKeepsDefaults) {
    ovetest::TempDir dir;
    ovetest::ScopedCwd cwd(dir.path());
    CCompoundFolder folder;
    SStartupSettings s;
    EXPECT_FALSE(ReadSettings(folder, s));
    ResolveWindowSize(s, 1920, 1040);
    EXPECT_EQ(Describe(s), kDefaults);
}

TEST(Settings, EveryElementAndAttributeApplies) {
    SStartupSettings s = ReadFrom(
        SettingsXML("<game width='640' height='400' resolution='flexible' name='N' title='T'/>"
                    "<window width='1000' height='700' title='My Game'/>"
                    "<default font='Big' script='start' fullscreen='true'/>"
                    "<sound soundfont='fonts/gm.sf2'/>"));
    // The game's name and title are for the source dialog only.
    EXPECT_EQ(Describe(s),
              "window 1000x700, game 640x400 flexible, title 'My Game', script 'start', font 'Big', "
              "full screen, sound font 'fonts/gm.sf2', read");
}

TEST(Settings, ComparisonsAreExactAndCaseSensitive) {
    SStartupSettings s = ReadFrom(
        SettingsXML("<default fullscreen='TRUE'/><game resolution='Flexible'/><window width='Auto' height='auto '/>"
                    "<Game width='999'/><WINDOW title='no'/>"));
    // 'Auto' is not auto and reads as the number 0.
    EXPECT_EQ(Describe(s), "window 0x0, game 320x240, title 'OVE', script 'main', font '', sound font '', read");
}

TEST(Settings, LaterChildrenOverrideAndAbsentAttributesKeepValues) {
    SStartupSettings s = ReadFrom(
        SettingsXML("<default fullscreen='true' font='A'/>"
                    "<game width='640' height='480' resolution='flexible'/>"
                    "<unknown width='1'/>"
                    "<game width='800' resolution='fixed'/>"
                    "<default fullscreen='yes'/>"  // any other value clears it
                    "<window title='One'/><window title='Two' colour='red'/>"));
    EXPECT_EQ(Describe(s), "window 320x240, game 800x480, title 'Two', script 'main', font 'A', sound font '', read");
}

TEST(Settings, NumbersReadLikeAtoi) {
    const std::pair<const char*, int> cases[] = {{"640px", 640}, {" \t12", 12}, {"+7", 7},
                                                 {"-5", -5},     {"abc", 0},    {"", 0},
                                                 {"0x20", 0},    {"12.9", 12},  {"99999999999999999999", INT_MAX}};
    for (const auto& [text, value] : cases)
        EXPECT_EQ(ReadFrom(SettingsXML("<game width='" + std::string(text) + "'/>")).gameWidth, value) << text;
}

TEST(Settings, BrokenFilesAreIgnored) {
    for (const char* xml : {"", "<settings><game width='640'/>", "\xEF\xBB\xBF<settings/>",
                            "<!DOCTYPE settings><settings><game width='640'/></settings>"})
        EXPECT_EQ(Describe(ReadFrom(xml)), kDefaults) << xml;
    EXPECT_TRUE(ReadFrom("<?xml version='1.0'?>\n<settings/>").settingsRead);
}

TEST(Settings, ReadThroughTheFolderSoALooseFileWins) {
    ovetest::TempDir dir;
    ovetest::ScopedCwd cwd(dir.path());
    dir.Write("DATA/settings.xml", SettingsXML("<window title='data'/>"));
    dir.Write("settings.xml", SettingsXML("<window title='loose'/>"));
    CCompoundFolder folder;
    folder.Add(new CDirectory("DATA"));
    SStartupSettings s;
    ASSERT_TRUE(ReadSettings(folder, s));
    EXPECT_EQ(s.title, "loose");
}

// ---- window size

TEST(WindowSize, AutoSizesFollowTheGameAndTheWorkArea) {
    const struct {
        const char* children;
        int areaWidth, areaHeight;
        int width, height;  // -1: not checked
    } cases[] = {
        // Both auto: whole factors within the work area (the last one k = min(4, 3)).
        {"<game width='640' height='480'/><window width='auto' height='auto'/>", 1920, 1040, 1280, 960},
        {"<game width='640' height='480'/><window width='auto' height='auto'/>", 1024, 740, 640, 480},
        {"<game width='640' height='480'/><window width='auto' height='auto'/>", 2600, 1500, 1920, 1440},
        // A game larger than the work area is cut to it.
        {"<game width='2000' height='1000'/><window width='auto' height='auto'/>", 1920, 1040, 1920, 1000},
        // One auto follows the game's aspect, with integer division.
        {"<window width='800' height='auto'/>", 1920, 1040, 800, 600},
        {"<game width='640' height='400'/><window width='auto' height='500'/>", 1, 1, 800, 500},
        {"<game width='300' height='200'/><window width='auto' height='333'/>", 1, 1, 499, -1},
        // Never dividing by zero, and products past the int range do not overflow.
        {"<game width='0' height='abc'/><window width='auto' height='auto'/>", 1920, 1040, 0, 0},
        {"<game height='0'/><window width='auto' height='300'/>", 1920, 1040, 320, -1},
        {"<game width='0'/><window width='300' height='auto'/>", 1920, 1040, -1, 240},
        {"<game width='2000000000' height='1'/><window width='auto' height='2000000000'/>", 1, 1, INT_MAX, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.children) + " in " + std::to_string(c.areaWidth) + "x" +
                     std::to_string(c.areaHeight));
        SStartupSettings s = Resolved(SettingsXML(c.children), c.areaWidth, c.areaHeight);
        if (c.width >= 0) {
            EXPECT_EQ(s.windowWidth, c.width);
        }
        if (c.height >= 0) {
            EXPECT_EQ(s.windowHeight, c.height);
        }
    }
    // Only when a settings file was read.
    SStartupSettings s;
    s.windowWidth = s.windowHeight = kAutoSize;
    ResolveWindowSize(s, 1920, 1040);
    EXPECT_EQ(s.windowWidth, kAutoSize);
}

// ---- keeping the window on its monitor

TEST(KeepOnMonitor, Offsets) {
    const SScreenRect work{0, 0, 1920, 1040};
    const struct {
        SScreenRect window, work;
        int dx, dy;
    } cases[] = {
        {{100, 100, 740, 580}, work, 0, 0},
        {{1500, 900, 2140, 1380}, work, -220, -340},             // past the right and bottom edges
        {{1280, 560, 1920, 1040}, work, 0, 0},                   // touching the edges counts as at them
        {{-50, -20, 590, 460}, work, 50, 20},                    // left of and above the work area
        {{100, 10, 2100, 1100}, work, -100, -10},                // larger than the work area: top-left wins
        {{1900, 0, 2300, 300}, {1920, 40, 3840, 1080}, 20, 40},  // second monitor
    };
    for (const auto& c : cases) {
        SScreenOffset o = KeepOnMonitorOffset(c.window, c.work);
        EXPECT_EQ(o.dx, c.dx) << c.window.left << "," << c.window.top;
        EXPECT_EQ(o.dy, c.dy) << c.window.left << "," << c.window.top;
    }
}

// ---- game titles and the source survey

TEST(GameTitle, ProbingRules) {
    auto title = [](const std::string& xml) {
        CBuffer bin(xml.data(), static_cast<u32>(xml.size()));
        return GameTitleOf(&bin, "dflt");
    };
    EXPECT_EQ(title(SettingsXML("<game title='T' name='N'/>")), "N");
    EXPECT_EQ(title(SettingsXML("<game title='T'/>")), "T");
    EXPECT_EQ(title(SettingsXML("<window title='W'/><game name='G'/>")), "W");
    EXPECT_EQ(title(SettingsXML("<game width='1'/><other name='O'/><window width='2'/><window title='W'/>")), "W");
    EXPECT_EQ(title(SettingsXML("<game name=''/><window title='W'/>")), "") << "present but empty still counts";
    EXPECT_EQ(title(SettingsXML("<Game name='G'/>")), "dflt");
    EXPECT_EQ(title("<Settings><game name='G'/></Settings>"), "dflt");
    EXPECT_EQ(title("<settings><game name='G'/>"), "dflt");
    EXPECT_EQ(GameTitleOf(nullptr, "dflt"), "dflt");
}

TEST(SourceSurvey, OfferOnlyCandidatesWithTheMainScript) {
    SourceMap map;
    CMemoryFolder noScript(Files{{"settings.xml", SettingsXML("<game name='X'/>")}});
    OfferSource(noScript, "A.DAT", map);
    EXPECT_TRUE(map.empty());

    CMemoryFolder bare(Files{{"main.ovs", "function Init(){}"}});
    OfferSource(bare, "B.DAT", map);
    CMemoryFolder titled(Files{{"main.ovs", "x"}, {"settings.xml", SettingsXML("<game name='Titled'/>")}});
    OfferSource(titled, "C.DAT", map);
    CMemoryFolder broken(Files{{"main.ovs", "x"}, {"settings.xml", "<settings"}});
    OfferSource(broken, "D.DAT", map);
    EXPECT_EQ(map, (SourceMap{{"B.DAT", "B.DAT"}, {"C.DAT", "Titled"}, {"D.DAT", "D.DAT"}}));
}

TEST(SourceSurvey, CandidateTitleComesFromItsOwnSettingsFile) {
    ovetest::TempDir dir;
    ovetest::ScopedCwd cwd(dir.path());
    dir.Write("settings.xml", SettingsXML("<game name='Loose'/>"));
    dir.Write("DATA1/main.ovs", "x");
    dir.Write("DATA1/settings.xml", SettingsXML("<game name='Own'/>"));
    SourceMap map;
    CDirectory candidate("DATA1");
    OfferSource(candidate, "DATA1", map);
    EXPECT_EQ(map["DATA1"], "Own");
}

TEST(SourceSurvey, ListsArchivesAndDataDirectoriesByName) {
    ovetest::TempDir dir;
    ovetest::ScopedCwd cwd(dir.path());
    // notes.data matches neither pattern, DATAFILE is a file and X.DAT a directory, DATA3 has no script.
    for (const char* name : {"A.DAT", "B.DAT", "c.dat", "NoGame.DAT", "notes.data", "DATAFILE", "X.DAT/main.ovs",
                             "DATA/main.ovs", "data_old/main.ovs", "DATA3/readme.txt", "Library/main.ovs"})
        dir.Write(name, "x");
    dir.Write("DATA/settings.xml", SettingsXML("<window title='Main data'/>"));

    const std::map<std::string, std::map<std::string, std::string>> archives = {
        {"A.DAT", {{"main.ovs", "x"}, {"settings.xml", SettingsXML("<game name='Beta'/>")}}},
        {"B.DAT", {{"main.ovs", "x"}, {"settings.xml", SettingsXML("<game title='Alpha'/>")}}},
        {"c.dat", {{"main.ovs", "x"}}},
        {"NoGame.DAT", {{"other.ovs", "x"}}},
    };
    std::vector<std::string> opened;
    ArchiveOpener opener = [&](const std::string& name) -> CFileFolder* {
        opened.push_back(name);
        auto it = archives.find(name);
        return it == archives.end() ? nullptr : new CMemoryFolder(it->second);
    };

    SourceMap archiveMap, directoryMap;
    SurveyCurrentDirectory(opener, archiveMap, directoryMap);
    EXPECT_EQ(opened, (std::vector<std::string>{"A.DAT", "B.DAT", "NoGame.DAT", "c.dat"}));
    EXPECT_EQ(archiveMap, (SourceMap{{"A.DAT", "Beta"}, {"B.DAT", "Alpha"}, {"c.dat", "c.dat"}}));
    EXPECT_EQ(directoryMap, (SourceMap{{"DATA", "Main data"}, {"data_old", "data_old"}}));

    // The choice dialog lists titles in file-name order and maps a choice back to the file.
    EXPECT_EQ(TitlesOf(archiveMap), (std::vector<std::string>{"Beta", "Alpha", "c.dat"}));
    EXPECT_EQ(NameAt(archiveMap, 1), "B.DAT");
    EXPECT_EQ(NameAt(archiveMap, 3), "");
    EXPECT_EQ(NameAt(archiveMap, -1), "");
}

TEST(SourceSurvey, SingleDirectoryOtherThanDataIsNotUsed) {
    ovetest::TempDir dir;
    ovetest::ScopedCwd cwd(dir.path());
    dir.Write("DATA2/main.ovs", "x");
    SourceMap archiveMap, directoryMap;
    SurveyCurrentDirectory(nullptr, archiveMap, directoryMap);
    EXPECT_EQ(directoryMap.size(), 1u);
    EXPECT_TRUE(archiveMap.empty());

    // With one entry there is no choice, so the data directory stays "DATA", which is absent.
    std::unique_ptr<CCompoundFolder> folder(BuildDataSource("GAME.DAT", "DATA", nullptr));
    EXPECT_EQ(folder->Count(), 0u);
    EXPECT_FALSE(folder->Exists("main.ovs"));
}

TEST(DataSource, DirectoryThenLibraryThenArchive) {
    ovetest::TempDir dir;
    ovetest::ScopedCwd cwd(dir.path());
    dir.Write("DATA/a.txt", "data");
    dir.Write("Library/a.txt", "library");
    dir.Write("Library/b.txt", "library");
    dir.Write("GAME.DAT", "zip");
    std::vector<std::string> opened;
    ArchiveOpener opener = [&](const std::string& name) -> CFileFolder* {
        opened.push_back(name);
        return new CMemoryFolder(Files{{"a.txt", "archive"}, {"b.txt", "archive"}, {"c.txt", "archive"}});
    };
    std::unique_ptr<CCompoundFolder> folder(BuildDataSource("GAME.DAT", "DATA", opener));
    EXPECT_EQ(opened, std::vector<std::string>{"GAME.DAT"});
    ASSERT_EQ(folder->Count(), 3u);
    auto read = [&](const char* name) {
        std::unique_ptr<CDataBin> bin(folder->OpenFile(name));
        if (!bin) return std::string("(none)");
        std::vector<u8> bytes = ReadAll(*bin);
        return std::string(bytes.begin(), bytes.end());
    };
    EXPECT_EQ(read("a.txt"), "data");
    EXPECT_EQ(read("b.txt"), "library");
    EXPECT_EQ(read("c.txt"), "archive");

    // A chosen archive is opened by its own name; a missing one is skipped.
    opened.clear();
    folder.reset(BuildDataSource("OTHER.DAT", "DATA", opener));
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(folder->Count(), 2u);

    // Names match without regard to case, and the archive is opened under its name on disk.
    dir.Write("other.dat", "zip");
    folder.reset(BuildDataSource("OTHER.DAT", "data", opener));
    EXPECT_EQ(opened, std::vector<std::string>{"other.dat"});
    EXPECT_EQ(folder->Count(), 3u);
}

// ---- settings that cannot be used as written: the game starts as before, but says why

TEST(SettingsWarnings, UnreadableFilesKeepTheDefaultsAndSaySo) {
    SRead broken = ReadWithWarnings("<settings><game width=640/></settings>");
    EXPECT_FALSE(broken.settings.settingsRead);
    EXPECT_EQ(broken.settings.gameWidth, 320);
    EXPECT_EQ(broken.warnings,
              "ove: warning: settings.xml: cannot be read (Quoted string expected); every setting keeps its default\n");

    SRead wrongRoot = ReadWithWarnings("<Settings><window width='800' title='x'/></Settings>");
    EXPECT_EQ(Describe(wrongRoot.settings), kDefaults);
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
    EXPECT_EQ(SizeProblem(s),
              "settings.xml: the window size 320 x 0 cannot be used; each side must be 1 to 16384 pixels");
}
