#include <gtest/gtest.h>

#include "io/DataBin.h"
#include "io/FileFolder.h"
#include "support/TestSupport.h"

using namespace ove;

namespace {

// Folder tests run in a fresh current directory.
class Folder : public ::testing::Test {
protected:
    ovetest::TempDir dir;
    ovetest::ScopedCwd cwd{dir.path()};
};

}  // namespace

TEST(Buffer, SeekClampsAndWriteGrowsOnlyPastTheEnd) {
    CBuffer b;
    EXPECT_EQ(b.Write("abcd", 4), 4u);
    b.Seek(100);
    EXPECT_EQ(b.Tell(), 4u);
    b.Seek(1);
    EXPECT_EQ(b.Write("X", 1), 1u);
    EXPECT_EQ(b.GetSize(), 4u);
    b.Seek(3);
    EXPECT_EQ(b.Write("YZ", 2), 2u);
    EXPECT_EQ(b.GetSize(), 5u);
    EXPECT_EQ(std::string(b.Bytes().begin(), b.Bytes().end()), "aXcYZ");
    EXPECT_EQ(b.PeekByte(), 0) << "peek at the end stays inside the bytes";
    char out[8] = {};
    b.Seek(2);
    EXPECT_EQ(b.Read(out, 8), 3u);
    EXPECT_STREQ(out, "cYZ");
}

TEST(Segment, ClampsWindowToInnerAndPeeksWithTheBaseForm) {
    auto* inner = new CBuffer("0123456789", 10);
    CSegment beyond(inner, 20, 5);
    EXPECT_EQ(beyond.GetSize(), 0u);
    EXPECT_EQ(inner->Tell(), 10u) << "positioned at the inner end";

    CSegment cut(new CBuffer("0123456789", 10), 7, 10);
    EXPECT_EQ(cut.GetSize(), 3u);
    char out[8] = {};
    EXPECT_EQ(cut.Read(out, 8), 3u);
    EXPECT_STREQ(out, "789");
    EXPECT_EQ(cut.Write("x", 1), 0u);
    EXPECT_FALSE(cut.CanWrite());
    // The base form of PeekByte seeks back one even when nothing was read.
    cut.Seek(3);
    EXPECT_EQ(cut.PeekByte(), 0);
    EXPECT_EQ(cut.Tell(), 2u);
    cut.Seek(0);
    EXPECT_EQ(cut.PeekByte(), '7');
    EXPECT_EQ(cut.Tell(), 0u);
}

TEST(File, AccessModesFollowTheModeString) {
    ovetest::TempDir dir;
    auto p = dir.Write("f.bin", "hello");
    CFile rb(p.c_str(), "rb");
    EXPECT_TRUE(rb.CanRead());
    EXPECT_FALSE(rb.CanWrite());
    EXPECT_EQ(rb.Write("x", 1), 0u);
    EXPECT_EQ(rb.GetSize(), 5u);
    EXPECT_EQ(rb.PeekByte(), 'h');
    EXPECT_EQ(rb.Tell(), 0u);
    EXPECT_EQ(CFile(p.c_str(), "r+").AccessMode(), 3u);
    EXPECT_EQ(CFile((dir / "g").c_str(), "w+").AccessMode(), 3u);
    CFile missing((dir / "none").c_str(), "rb");
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(missing.GetSize(), 0u);
}

TEST_F(Folder, LocalFirstFindsNonEmptyLooseFileAndSkipsEmptyOne) {
    dir.Write("DATA/a.txt", "from-dir");
    dir.Write("a.txt", "loose");
    for (const char* empty : {"DATA/empty.txt", "empty.txt"}) dir.Write(empty, "");

    CCompoundFolder folder;
    folder.Add(new CDirectory("DATA"));
    std::string resolved;
    std::unique_ptr<CDataBin> a(folder.Open("a.txt", &resolved));
    ASSERT_TRUE(a);
    EXPECT_EQ(resolved, "a.txt");
    EXPECT_EQ(a->GetSize(), 5u);

    std::unique_ptr<CDataBin> e(folder.Open("empty.txt", &resolved));
    ASSERT_TRUE(e) << "an empty file inside a directory source is found";
    EXPECT_EQ(e->GetSize(), 0u);
    EXPECT_EQ(resolved, folder.GetName() + "empty.txt");

    folder.SetLocalFirst(false);
    std::unique_ptr<CDataBin> d(folder.Open("a.txt", &resolved));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->GetSize(), 8u);
}

TEST_F(Folder, LookupIgnoresCaseAndBackslashesAndAMissingDirectoryServesTheCurrentOne) {
    dir.Write("DATA/Rooms/hall.ovs", "x");
    CDirectory d("data");
    EXPECT_TRUE(d.Exists("rooms\\HALL.OVS"));
    EXPECT_TRUE(std::unique_ptr<CDataBin>(d.OpenFile("ROOMS/hall.OVS")));
    EXPECT_FALSE(d.Exists("rooms/hall.ov"));
    EXPECT_TRUE(IsDirectory("data/ROOMS"));
    EXPECT_FALSE(IsDirectory("data/rooms/hall.ovs"));
    dir.Write("here.txt", "1");
    CDirectory missing("no-such-dir");
    EXPECT_EQ(missing.BasePath(), std::filesystem::current_path().string());
    EXPECT_TRUE(missing.Exists("here.txt"));
}

TEST_F(Folder, CompoundOrderAndNames) {
    dir.Write("A/x", "first");
    dir.Write("B/x", "second!");
    dir.Write("B/y", "only-b");
    CCompoundFolder c, other;
    EXPECT_NE(c.GetName(), other.GetName());
    c.Add(nullptr);
    EXPECT_EQ(c.Count(), 0u);
    c.Add(new CDirectory("A"));
    c.Add(new CDirectory("B"));
    std::unique_ptr<CDataBin> x(c.OpenFile("x"));
    ASSERT_TRUE(x);
    EXPECT_EQ(x->GetSize(), 5u);
    EXPECT_FALSE(c.Exists("z"));
    // Directories exist but do not open as files.
    dir.Write("B/sub/x", "1");
    EXPECT_TRUE(c.Exists("sub"));
    EXPECT_FALSE(std::unique_ptr<CDataBin>(c.Open("sub")));
    EXPECT_FALSE(std::unique_ptr<CDataBin>(OpenLocalFile("B")));
}
