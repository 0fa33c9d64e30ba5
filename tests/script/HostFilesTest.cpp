// Wildcards, script paths and file operations on a temporary folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>

#include "io/HostFiles.h"
#include "support/TestSupport.h"

using namespace ove;
using ovetest::ScopedCwd;
using ovetest::TempDir;
namespace fs = std::filesystem;

namespace {

std::string Join(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : ",") + n;
    return out;
}

}  // namespace

// clang-format off
TEST(WildcardTest, StarsAndQuestionMarksIgnoringCase) {
    struct {
        const char* pattern;
        const char* name;
        bool match;
    } cases[] = {
        {"*", "anything.txt", true},       {"*", "", true},
        {"*.ovs", "MAIN.OVS", true},       {"*.OVS", "main.ovs", true},
        {"*.ovs", "main.ovs.bak", false},  {"save?.dat", "save1.dat", true},
        {"save?.dat", "save.dat", false},  {"a*b*c", "aXXbYYc", true},
        {"a*b*c", "aXXcYYb", false},       {"**a**", "xa", true},
        {"?", "", false},                  {"abc", "abcd", false},
        {"*.*", "README", true},           {"*.*", "a.b.c", true},
        {"save.*", "save", true},          {"save.*", "saves", false},
        {"*.dat", ".dat", true},           {"[ab]", "a", false},
        {"[ab]", "[AB]", true},
    };
    for (const auto& c : cases) EXPECT_EQ(MatchWildcard(c.pattern, c.name), c.match) << c.pattern << " / " << c.name;
    // Case folding is ASCII only: bytes above 127 must match exactly.
    EXPECT_TRUE(MatchWildcard("\xC9t\xE9", "\xC9T\xE9"));
    EXPECT_FALSE(MatchWildcard("\xC9", "\xE9"));
}
// clang-format on

TEST(WildcardTest, HostilePatternsStayFast) {
    // Backtracking matchers take exponential time on this; ours must answer at once.
    const std::string name(200, 'a');
    std::string pattern;
    for (int i = 0; i < 100; ++i) pattern += "*a";
    EXPECT_FALSE(MatchWildcard(pattern + "b", name));
    EXPECT_TRUE(MatchWildcard(pattern, name));
    // A huge pattern is rejected without scanning the name for each of its characters.
    EXPECT_FALSE(MatchWildcard(std::string(1 << 20, '?'), name));
    EXPECT_TRUE(MatchWildcard(std::string(1 << 20, '*'), name));
}

// clang-format off
TEST(HostPathTest, DriveLettersAndBackslashes) {
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"saves\\slot1.sav", "saves/slot1.sav"}, {"C:\\games\\data", "/games/data"}, {"c:/tmp", "/tmp"}, {"C:", "."},
        {"C:saves", "saves"}, {"D:\\x", std::nullopt}, {"1:\\x", "1:/x"}};
    for (const auto& [script, host] : cases) EXPECT_EQ(ToHostPath(script), host) << script;
}
// clang-format on

class HostFilesTest : public ::testing::Test {
protected:
    TempDir m_dir;
    ScopedCwd m_cwd{m_dir.path()};
};

TEST_F(HostFilesTest, ListingSeparatesFilesFromDirectoriesInOrder) {
    m_dir.Write("b.txt", "1");
    m_dir.Write("A.TXT", "1");
    m_dir.Write("notes", "1");
    m_dir.Write("Saves/one.sav", "1");
    fs::create_directory(m_dir / "data.dir");
    fs::create_symlink(m_dir / "Saves", m_dir / "link");
    fs::create_symlink(m_dir / "missing", m_dir / "dangling");
    EXPECT_EQ(Join(ListEntries("*", false)), "A.TXT,b.txt,dangling,notes");
    EXPECT_EQ(Join(ListEntries("*", true)), ".,..,data.dir,link,Saves");
    EXPECT_EQ(Join(ListEntries("*.txt", false)), "A.TXT,b.txt");
    EXPECT_EQ(Join(ListEntries("*.*", false)), "A.TXT,b.txt,dangling,notes");
    // Folders of the pattern are found without regard to case, with either slash.
    EXPECT_EQ(Join(ListEntries("saves\\*.SAV", false)), "one.sav");
    EXPECT_EQ(Join(ListEntries((m_dir.path() / "SAVES" / "*").string(), false)), "one.sav");
    EXPECT_EQ(Join(ListEntries("C:" + m_dir.path().string() + "/*.txt", false)), "A.TXT,b.txt");
}

TEST_F(HostFilesTest, InvalidPatternsFindNothing) {
    m_dir.Write("Saves/one.sav", "1");
    for (const char* pattern : {"", "Saves/", "S*/one.sav", "nowhere/*", "D:\\*", "one.sav/*", "*.none"})
        EXPECT_TRUE(ListEntries(pattern, false).empty()) << pattern;
    EXPECT_TRUE(ListEntries(std::string(100000, '*'), false).empty());
}

TEST_F(HostFilesTest, CreateDeleteAndRename) {
    // Everything under the folder, sorted; folders end in '/'.
    auto tree = [&] {
        std::vector<std::string> all;
        for (const auto& e : fs::recursive_directory_iterator(m_dir.path()))
            all.push_back(fs::relative(e.path(), m_dir.path()).string() + (e.is_directory() ? "/" : ""));
        std::sort(all.begin(), all.end());
        return Join(all);
    };
    EXPECT_TRUE(MakeDirectory("Saves"));
    EXPECT_FALSE(MakeDirectory("saves"));          // exists in another case
    EXPECT_TRUE(MakeDirectory("saves\\Slot1\\"));  // parent found without regard to case
    EXPECT_FALSE(MakeDirectory("nowhere/deeper"));
    EXPECT_FALSE(MakeDirectory("D:\\x"));
    m_dir.Write("Saves/game.sav", "one");
    m_dir.Write("Saves/other.sav", "two");
    EXPECT_EQ(tree(), "Saves/,Saves/Slot1/,Saves/game.sav,Saves/other.sav");

    EXPECT_FALSE(RenameEntry("saves/GAME.SAV", "Saves/OTHER.sav"));  // never replaces
    EXPECT_EQ(ovetest::ReadFileBytes(m_dir / "Saves" / "other.sav").size(), 3u);
    EXPECT_TRUE(RenameEntry("saves/GAME.SAV", "saves/renamed.sav"));
    EXPECT_TRUE(RenameEntry("Saves/renamed.sav", "Saves/RENAMED.SAV"));  // a change of case
    EXPECT_TRUE(RenameEntry("saves\\slot1", "Slot2"));                   // folders too
    EXPECT_FALSE(RenameEntry("missing", "x"));
    EXPECT_FALSE(RenameEntry("Slot2", "nowhere/Slot2"));
    EXPECT_EQ(tree(), "Saves/,Saves/RENAMED.SAV,Saves/other.sav,Slot2/");

    EXPECT_FALSE(RemoveFile("Slot2"));  // not folders
    EXPECT_TRUE(RemoveFile("SAVES/renamed.sav"));
    EXPECT_FALSE(RemoveFile("SAVES/renamed.sav"));
    EXPECT_EQ(tree(), "Saves/,Saves/other.sav,Slot2/");
}
