#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "data/DataBin.h"
#include "data/FileFolder.h"
#include "host/Settings.h"
#include "support/TestSupport.h"

using namespace ove;
namespace fs = std::filesystem;

namespace {

using Files = std::map<std::string, std::string>;

// A data source held in memory, standing in for a packed archive.
class CMemoryFolder : public CFileFolder {
public:
    explicit CMemoryFolder(std::map<std::string, std::string> files) : files_(std::move(files)) {}
    bool Exists(std::string path) override { return files_.count(path) != 0; }
    CDataBin* OpenFile(std::string path) override {
        auto it = files_.find(path);
        if (it == files_.end()) return nullptr;
        return new CBuffer(it->second.data(), static_cast<u32>(it->second.size()));
    }

private:
    std::map<std::string, std::string> files_;
};

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
    EXPECT_FALSE(s.settingsRead);
    EXPECT_EQ(s.windowWidth, 320);
    EXPECT_EQ(s.windowHeight, 240);
    EXPECT_EQ(s.gameWidth, 320);
    EXPECT_EQ(s.gameHeight, 240);
    EXPECT_EQ(s.title, "OVE");
    EXPECT_EQ(s.scriptName, "main");
    EXPECT_EQ(s.fontName, "");
    EXPECT_FALSE(s.fullScreen);
    EXPECT_FALSE(s.flexible);
}

TEST(Settings, EveryElementAndAttributeApplies) {
    SStartupSettings s = ReadFrom(SettingsXML(
        "<game width='640' height='400' resolution='flexible' name='N' title='T'/>"
        "<window width='1000' height='700' title='My Game'/>"
        "<default font='Big' script='start' fullscreen='true'/>"
        "<sound soundfont='fonts/gm.sf2'/>"));
    EXPECT_TRUE(s.settingsRead);
    EXPECT_EQ(s.soundFont, "fonts/gm.sf2");
    EXPECT_EQ(s.gameWidth, 640);
    EXPECT_EQ(s.gameHeight, 400);
    EXPECT_TRUE(s.flexible);
    EXPECT_EQ(s.windowWidth, 1000);
    EXPECT_EQ(s.windowHeight, 700);
    EXPECT_EQ(s.title, "My Game") << "game name/title are for the source dialog only";
    EXPECT_EQ(s.fontName, "Big");
    EXPECT_EQ(s.scriptName, "start");
    EXPECT_TRUE(s.fullScreen);
}

TEST(Settings, ComparisonsAreExactAndCaseSensitive) {
    SStartupSettings s = ReadFrom(SettingsXML(
        "<default fullscreen='TRUE'/><game resolution='Flexible'/><window width='Auto' height='auto '/>"
        "<Game width='999'/><WINDOW title='no'/>"));
    EXPECT_TRUE(s.settingsRead);
    EXPECT_FALSE(s.fullScreen);
    EXPECT_FALSE(s.flexible);
    EXPECT_EQ(s.windowWidth, 0) << "'Auto' is not auto and reads as the number 0";
    EXPECT_EQ(s.windowHeight, 0);
    EXPECT_EQ(s.gameWidth, 320);
    EXPECT_EQ(s.title, "OVE");

    // A root named `Settings` makes the whole file ignored.
    s = ReadFrom("<Settings><window width='800' title='x'/></Settings>");
    EXPECT_FALSE(s.settingsRead);
    EXPECT_EQ(s.windowWidth, 320);
    EXPECT_EQ(s.title, "OVE");
}

TEST(Settings, LaterChildrenOverrideAndAbsentAttributesKeepValues) {
    SStartupSettings s = ReadFrom(SettingsXML(
        "<default fullscreen='true' font='A'/>"
        "<game width='640' height='480' resolution='flexible'/>"
        "<unknown width='1'/>"
        "<game width='800' resolution='fixed'/>"
        "<default fullscreen='yes'/>"
        "<window title='One'/><window title='Two' colour='red'/>"));
    EXPECT_EQ(s.gameWidth, 800);
    EXPECT_EQ(s.gameHeight, 480);
    EXPECT_FALSE(s.flexible);
    EXPECT_FALSE(s.fullScreen) << "any other value clears it";
    EXPECT_EQ(s.fontName, "A");
    EXPECT_EQ(s.title, "Two");
}

TEST(Settings, NumbersReadLikeAtoi) {
    auto game = [](const std::string& w) { return ReadFrom(SettingsXML("<game width='" + w + "'/>")).gameWidth; };
    EXPECT_EQ(game("640px"), 640);
    EXPECT_EQ(game(" \t12"), 12);
    EXPECT_EQ(game("+7"), 7);
    EXPECT_EQ(game("-5"), -5);
    EXPECT_EQ(game("abc"), 0);
    EXPECT_EQ(game(""), 0);
    EXPECT_EQ(game("0x20"), 0);
    EXPECT_EQ(game("12.9"), 12);
    EXPECT_EQ(game("99999999999999999999"), INT_MAX);
}

TEST(Settings, BrokenFilesAreIgnored) {
    for (const char* xml : {"", "<settings><game width='640'/>", "\xEF\xBB\xBF<settings/>",
                            "<!DOCTYPE settings><settings><game width='640'/></settings>"}) {
        SStartupSettings s = ReadFrom(xml);
        EXPECT_FALSE(s.settingsRead) << xml;
        EXPECT_EQ(s.gameWidth, 320) << xml;
    }
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

TEST(WindowSize, BothAutoScaleByWholeFactorsWithinTheWorkArea) {
    const std::string xml = SettingsXML("<game width='640' height='480'/><window width='auto' height='auto'/>");
    SStartupSettings s = Resolved(xml, 1920, 1040);
    EXPECT_EQ(s.windowWidth, 1280);
    EXPECT_EQ(s.windowHeight, 960);
    s = Resolved(xml, 1024, 740);
    EXPECT_EQ(s.windowWidth, 640);
    EXPECT_EQ(s.windowHeight, 480);
    s = Resolved(xml, 2600, 1500);  // k = min(4, 3)
    EXPECT_EQ(s.windowWidth, 1920);
    EXPECT_EQ(s.windowHeight, 1440);
    // A game larger than the work area is cut to it.
    s = Resolved(SettingsXML("<game width='2000' height='1000'/><window width='auto' height='auto'/>"), 1920, 1040);
    EXPECT_EQ(s.windowWidth, 1920);
    EXPECT_EQ(s.windowHeight, 1000);
}

TEST(WindowSize, OneAutoFollowsTheGameAspect) {
    SStartupSettings s = Resolved(SettingsXML("<window width='800' height='auto'/>"), 1920, 1040);
    EXPECT_EQ(s.windowWidth, 800);
    EXPECT_EQ(s.windowHeight, 600);
    s = Resolved(SettingsXML("<game width='640' height='400'/><window width='auto' height='500'/>"), 1, 1);
    EXPECT_EQ(s.windowWidth, 800);
    EXPECT_EQ(s.windowHeight, 500);
    s = Resolved(SettingsXML("<game width='300' height='200'/><window width='auto' height='333'/>"), 1, 1);
    EXPECT_EQ(s.windowWidth, 499) << "integer division";
}

TEST(WindowSize, OnlyWhenASettingsFileWasReadAndNeverDividingByZero) {
    SStartupSettings s;
    s.windowWidth = s.windowHeight = kAutoSize;
    ResolveWindowSize(s, 1920, 1040);
    EXPECT_EQ(s.windowWidth, kAutoSize);

    s = Resolved(SettingsXML("<game width='0' height='abc'/><window width='auto' height='auto'/>"), 1920, 1040);
    EXPECT_EQ(s.windowWidth, 0);
    EXPECT_EQ(s.windowHeight, 0);
    s = Resolved(SettingsXML("<game height='0'/><window width='auto' height='300'/>"), 1920, 1040);
    EXPECT_EQ(s.windowWidth, 320);
    s = Resolved(SettingsXML("<game width='0'/><window width='300' height='auto'/>"), 1920, 1040);
    EXPECT_EQ(s.windowHeight, 240);
    // Products past the int range do not overflow.
    s = Resolved(SettingsXML("<game width='2000000000' height='1'/><window width='auto' height='2000000000'/>"), 1, 1);
    EXPECT_EQ(s.windowWidth, INT_MAX);
}

// ---- keeping the window on its monitor

TEST(KeepOnMonitor, Offsets) {
    const SScreenRect work{0, 0, 1920, 1040};
    auto off = [&](SScreenRect w) { return KeepOnMonitorOffset(w, work); };
    SScreenOffset o = off({100, 100, 740, 580});
    EXPECT_EQ(o.dx, 0);
    EXPECT_EQ(o.dy, 0);
    o = off({1500, 900, 2140, 1380});  // past the right and bottom edges
    EXPECT_EQ(o.dx, -220);
    EXPECT_EQ(o.dy, -340);
    o = off({1280, 560, 1920, 1040});  // touching the edges counts as at them: no move
    EXPECT_EQ(o.dx, 0);
    EXPECT_EQ(o.dy, 0);
    o = off({-50, -20, 590, 460});  // left of and above the work area
    EXPECT_EQ(o.dx, 50);
    EXPECT_EQ(o.dy, 20);
    o = off({100, 10, 2100, 1100});  // larger than the work area: its top-left corner wins
    EXPECT_EQ(o.dx, -100);
    EXPECT_EQ(o.dy, -10);
    o = KeepOnMonitorOffset({1900, 0, 2300, 300}, {1920, 40, 3840, 1080});  // second monitor
    EXPECT_EQ(o.dx, 20);
    EXPECT_EQ(o.dy, 40);
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
    dir.Write("A.DAT", "zip");
    dir.Write("B.DAT", "zip");
    dir.Write("c.dat", "zip");
    dir.Write("NoGame.DAT", "zip");
    dir.Write("notes.data", "x");      // neither pattern
    dir.Write("DATAFILE", "x");        // a file, not a directory
    dir.Write("X.DAT/main.ovs", "x");  // a directory, not an archive
    dir.Write("DATA/main.ovs", "x");
    dir.Write("DATA/settings.xml", SettingsXML("<window title='Main data'/>"));
    dir.Write("data_old/main.ovs", "x");
    dir.Write("DATA3/readme.txt", "no script here");
    dir.Write("Library/main.ovs", "x");

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
