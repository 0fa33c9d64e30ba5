// ovetool list / unpack / pack, run as a program.
#include <gtest/gtest.h>

#include <sstream>

#include "data/PackedArchive.h"
#include "data/ZIPCipher.h"
#include "data/ZIPFile.h"
#include "data/ZipTestUtil.h"

using namespace ove;
using namespace ziptest;
namespace fs = std::filesystem;

namespace {

const std::string kTool = OVE_BUILD_DIR "/ovetool";

// Runs ovetool with the arguments; standard output and error go to files in `dir`.
int Tool(const ovetest::TempDir& dir, const std::string& args) {
    return ovetest::Run(Quote(kTool) + " " + args + " >" + Quote(dir / "out.txt") + " 2>" + Quote(dir / "err.txt"));
}

Tree ReadTree(const fs::path& root) {
    Tree t;
    for (auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) t[fs::relative(e.path(), root).generic_string()] = ovetest::ReadFileBytes(e.path());
    return t;
}

class PackToolTest : public ::testing::Test {
protected:
    ovetest::TempDir dir;
};

}  // namespace

TEST_F(PackToolTest, PackWritesAGameArchiveThatReadsBack) {
    Tree tree = SampleTree();
    WriteTree(dir, "game", tree);
    ASSERT_EQ(Tool(dir, "pack " + Quote(dir / "game") + " " + Quote(dir / "GAME.DAT")), 0)
        << ovetest::ReadFileText(dir / "err.txt");

    std::unique_ptr<CZIPFile> zip(OpenPackedArchive((dir / "GAME.DAT").string()));
    ASSERT_TRUE(zip->Scan());
    EXPECT_EQ(zip->Entries().size(), tree.size()) << "files only, no folder records";
    bool deflated = false;
    for (const SZIPEntry& e : zip->Entries()) {
        EXPECT_TRUE(e.encrypted) << e.rawName;
        EXPECT_TRUE(tree.count(e.rawName)) << "names relative to DIR with '/': " << e.rawName;
        deflated |= e.method == 8;
    }
    EXPECT_TRUE(deflated);
    for (const auto& [name, data] : tree) {
        std::unique_ptr<CDataBin> bin(zip->OpenFile(name));
        ASSERT_TRUE(bin) << name;
        EXPECT_EQ(ReadBin(*bin), data) << name;
    }

    CZIPFile plain((dir / "GAME.DAT").string());
    EXPECT_FALSE(plain.Exists("main.ovs"));

    // list and unpack --game give back the same tree.
    ASSERT_EQ(Tool(dir, "list --game " + Quote(dir / "GAME.DAT")), 0) << ovetest::ReadFileText(dir / "err.txt");
    std::string listing = ovetest::ReadFileText(dir / "out.txt");
    for (const auto& [name, data] : tree) EXPECT_NE(listing.find(name), std::string::npos) << name;
    ASSERT_EQ(Tool(dir, "unpack " + Quote(dir / "GAME.DAT") + " " + Quote(dir / "back") + " --game"), 0)
        << ovetest::ReadFileText(dir / "err.txt");
    EXPECT_EQ(ReadTree(dir / "back"), tree);

    // The tool knows its own archives without being told.
    ASSERT_EQ(Tool(dir, "list " + Quote(dir / "GAME.DAT")), 0) << ovetest::ReadFileText(dir / "err.txt");
    EXPECT_EQ(ovetest::ReadFileText(dir / "out.txt"), listing);
    ASSERT_EQ(Tool(dir, "unpack " + Quote(dir / "GAME.DAT") + " " + Quote(dir / "again")), 0)
        << ovetest::ReadFileText(dir / "err.txt");
    EXPECT_EQ(ReadTree(dir / "again"), tree);
}

TEST_F(PackToolTest, PackSkipsItsOwnOutputInsideTheFolder) {
    Tree tree = {{"main.ovs", TextBytes("x")}};
    WriteTree(dir, "game", tree);
    dir.Write("game/GAME.DAT", "stale");
    ASSERT_EQ(Tool(dir, "pack " + Quote(dir / "game") + " " + Quote(dir / "game/GAME.DAT")), 0);
    std::unique_ptr<CZIPFile> zip(OpenPackedArchive((dir / "game/GAME.DAT").string()));
    ASSERT_TRUE(zip->Scan());
    ASSERT_EQ(zip->Entries().size(), 1u);
    EXPECT_EQ(zip->Entries()[0].rawName, "main.ovs");
}

TEST_F(PackToolTest, UnpackPeerArchiveWithPassword) {
    if (!ovetest::HaveProgram("zip")) GTEST_SKIP() << "zip not installed";
    Tree tree = SampleTree();
    WriteTree(dir, "src", tree);
    ASSERT_EQ(ovetest::Run("cd " + Quote(dir / "src") + " && zip -q -r -P Sesame " + Quote(dir / "p.zip") + " ."), 0);

    ASSERT_EQ(Tool(dir, "unpack " + Quote(dir / "p.zip") + " " + Quote(dir / "ok") + " --password Sesame"), 0)
        << ovetest::ReadFileText(dir / "err.txt");
    EXPECT_EQ(ReadTree(dir / "ok"), tree);
    EXPECT_TRUE(fs::is_directory(dir / "ok/Rooms/hall"));

    EXPECT_EQ(Tool(dir, "unpack " + Quote(dir / "p.zip") + " " + Quote(dir / "bad") + " --password nope"), 1);
    std::string err = ovetest::ReadFileText(dir / "err.txt");
    EXPECT_NE(err.find("main.ovs"), std::string::npos) << "unreadable entries are named: " << err;

    EXPECT_EQ(Tool(dir, "list " + Quote(dir / "p.zip")), 1);
    EXPECT_NE(ovetest::ReadFileText(dir / "err.txt").find("Rooms/hall/description.txt"), std::string::npos);
    EXPECT_EQ(Tool(dir, "list " + Quote(dir / "p.zip") + " --password Sesame"), 0);
}

TEST_F(PackToolTest, BadInvocationsAndMissingFiles) {
    EXPECT_EQ(Tool(dir, "list"), 2);
    EXPECT_EQ(Tool(dir, "unpack onlyone.zip"), 2);
    EXPECT_EQ(Tool(dir, "list x.zip --password"), 2);
    EXPECT_EQ(Tool(dir, "list " + Quote(dir / "missing.zip")), 1);
    EXPECT_EQ(Tool(dir, "pack " + Quote(dir / "nodir") + " " + Quote(dir / "o.dat")), 1);
}

TEST_F(PackToolTest, UnpackRefusesNamesThatLeaveTheFolder) {
    CBuffer out;
    CZIPWriter writer(&out);
    Bytes evil = TextBytes("evil"), fine = TextBytes("fine");
    writer.AddEntry("../escape.txt", 0, evil.data(), 4, Crc32(evil.data(), 4), 4);
    writer.AddEntry("fine.txt", 0, fine.data(), 4, Crc32(fine.data(), 4), 4);
    writer.Finish();
    dir.Write("evil.zip", out.Bytes());
    EXPECT_EQ(Tool(dir, "unpack " + Quote(dir / "evil.zip") + " " + Quote(dir / "x")), 1);
    EXPECT_FALSE(fs::exists(dir / "escape.txt"));
    EXPECT_EQ(ovetest::ReadFileBytes(dir / "x/fine.txt"), fine);
}

TEST_F(PackToolTest, DamagedTruncatedAndForeignFilesAreErrors) {
    // One good entry, then one whose stored bytes no longer match its CRC-32, then one cut short.
    CBuffer out;
    CZIPWriter writer(&out);
    const Bytes good = TextBytes("fine"), bad = TextBytes("flipped!");
    ASSERT_TRUE(writer.AddEntry("good.txt", 0, good.data(), 4, Crc32(good.data(), 4), 4));
    ASSERT_TRUE(writer.AddEntry("bad.txt", 0, bad.data(), 8, Crc32(bad.data(), 8) ^ 1, 8));
    ASSERT_TRUE(writer.AddEntry("cut.txt", 0, bad.data(), 8, Crc32(bad.data(), 8), 8));
    Bytes archive = out.Bytes();
    archive.resize((30 + 8 + 4) + (30 + 7 + 8) + (30 + 7) + 4);  // four bytes into cut.txt's data
    dir.Write("d.zip", archive);

    EXPECT_EQ(Tool(dir, "list " + Quote(dir / "d.zip")), 1);
    const std::string listed = ovetest::ReadFileText(dir / "err.txt");
    EXPECT_NE(listed.find("bad.txt: damaged"), std::string::npos) << listed;
    EXPECT_NE(listed.find("cut.txt: archive ends inside this entry"), std::string::npos) << listed;
    EXPECT_EQ(listed.find("good.txt"), std::string::npos) << listed;

    EXPECT_EQ(Tool(dir, "unpack " + Quote(dir / "d.zip") + " " + Quote(dir / "x")), 1);
    EXPECT_EQ(ovetest::ReadFileBytes(dir / "x/good.txt"), good);
    EXPECT_FALSE(fs::exists(dir / "x/bad.txt")) << "no damaged file is left behind";
    EXPECT_NE(ovetest::ReadFileText(dir / "err.txt").find("bad.txt: damaged"), std::string::npos);

    dir.Write("empty.zip", Bytes());
    dir.Write("note.zip", TextBytes("hello"));
    EXPECT_EQ(Tool(dir, "list " + Quote(dir / "empty.zip")), 1);
    EXPECT_NE(ovetest::ReadFileText(dir / "err.txt").find("empty file"), std::string::npos);
    EXPECT_EQ(Tool(dir, "unpack " + Quote(dir / "note.zip") + " " + Quote(dir / "y")), 1);
    EXPECT_NE(ovetest::ReadFileText(dir / "err.txt").find("not an archive"), std::string::npos);

    // A foreign file, and an archive with a foreign record after a good one: every line the tool
    // writes carries its own name.
    dir.Write("foreign.zip", TextBytes(std::string(64, 'x')));
    Bytes mixed = out.Bytes();
    mixed.resize(30 + 8 + 4);
    const Bytes junk = TextBytes(std::string(40, 'j'));
    mixed.insert(mixed.end(), junk.begin(), junk.end());
    dir.Write("mixed.zip", mixed);
    for (const char* name : {"foreign.zip", "mixed.zip"}) {
        EXPECT_EQ(Tool(dir, "list " + Quote(dir / name)), 1) << name;
        std::istringstream lines(ovetest::ReadFileText(dir / "err.txt"));
        int count = 0;
        for (std::string line; std::getline(lines, line); ++count)
            EXPECT_EQ(line.rfind("ovetool list: ", 0), 0u) << name << ": " << line;
        EXPECT_EQ(count, 1) << name;
    }
    EXPECT_NE(ovetest::ReadFileText(dir / "err.txt").find("Unknown format"), std::string::npos);
}
