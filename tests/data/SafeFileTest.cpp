// Safe files replace the old file only on commit; temporary files left by writers killed half-way
// are cleaned up, a live writer's never are.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "data/SafeFile.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

TEST(SafeFile, CommitReplacesAbandonKeeps) {
    ovetest::TempDir dir;
    std::ofstream(dir / "f") << "old";
    std::filesystem::permissions(dir / "f", std::filesystem::perms(0640));
    {
        ove::CSafeFile f((dir / "f").string());
        ASSERT_TRUE(f.CanWrite());
        EXPECT_EQ(f.Write("new!", 4), 4u);
        EXPECT_EQ(ovetest::ReadFileText(dir / "f"), "old");
        f.Abandon();
    }
    EXPECT_EQ(ovetest::ReadFileText(dir / "f"), "old");
    EXPECT_EQ(ovetest::CountEntries(dir.path()), 1u);
    {
        ove::CSafeFile f((dir / "f").string());
        f.Write("new!", 4);
        EXPECT_TRUE(f.Commit());
    }
    EXPECT_EQ(ovetest::ReadFileText(dir / "f"), "new!");
    EXPECT_EQ(std::filesystem::status(dir / "f").permissions(), std::filesystem::perms(0640));
    EXPECT_FALSE(ove::CSafeFile((dir / "no such folder" / "f").string()).IsOpen());
}

TEST(SafeFileCleanup, TheNextSaveRemovesWhatKilledWritersLeft) {
    ovetest::TempDir dir;
    dir.Write(".save.dat.tmp-ab12CD", "half a save");    // a writer killed half-way
    dir.Write("deeper/.old.dat.tmp-Qw3rty", "half");     // in a subfolder
    dir.Write("notes.tmp-abcdef", "a game's own file");  // not a temporary name: no dot
    dir.Write(".x.tmp-abc", "too short a suffix");
    dir.Write("save.dat", "previous save");

    ove::CSafeFile live((dir / "other.dat").string());  // a writer still at work
    ASSERT_TRUE(live.IsOpen());
    std::string liveTemp = live.TemporaryPath();

    {
        ove::CSafeFile save((dir / "save.dat").string());
        ASSERT_TRUE(save.IsOpen());
        EXPECT_TRUE(save.Write("new", 3) == 3 && save.Commit());
    }
    EXPECT_FALSE(fs::exists(dir / ".save.dat.tmp-ab12CD"));
    EXPECT_TRUE(fs::exists(liveTemp)) << "a live writer's file is in use";
    EXPECT_TRUE(fs::exists(dir / "notes.tmp-abcdef"));
    EXPECT_TRUE(fs::exists(dir / ".x.tmp-abc"));
    EXPECT_TRUE(fs::exists(dir / "deeper/.old.dat.tmp-Qw3rty")) << "a save cleans its own folder only";

    // At start the player folders are cleaned with their subfolders.
    EXPECT_EQ(ove::RemoveStaleTemporaries(dir.path().string(), 4), 1u);
    EXPECT_FALSE(fs::exists(dir / "deeper/.old.dat.tmp-Qw3rty"));
    EXPECT_TRUE(live.Commit());
    EXPECT_EQ(ovetest::ReadFileBytes(dir / "save.dat").size(), 3u);
}

}  // namespace
