// Opening resources by name and type tag (the folder, the case-insensitive disk-first lookup), and
// the views the cache shares.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "image/Bitmap.h"
#include "io/FileFolder.h"
#include "resources/ResourceCache.h"
#include "resources/View.h"
#include "support/TestSupport.h"

namespace ovetest {
namespace {

std::string Content(ove::CDataBin* bin) {
    std::unique_ptr<ove::CDataBin> owned(bin);
    if (!owned) return "<none>";
    std::vector<ove::u8> bytes = ove::ReadAll(*owned);
    return std::string(bytes.begin(), bytes.end());
}

class ResourceCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder.Add(new ove::CDirectory(m_data.path().string()));
        m_folder.SetLocalFirst(false);
    }
    TempDir m_data;
    TempDir m_cwd;
    ove::CCompoundFolder m_folder;
};

TEST_F(ResourceCacheTest, NameAndTagFormTheFileName) {
    m_data.Write("hall.ovs", "script");
    m_data.Write("hall.OVV", "view");
    ove::CResourceCache cache(nullptr, nullptr, &m_folder);
    EXPECT_EQ(Content(cache.OpenResource("hall", "OVS")), "script");
    EXPECT_EQ(Content(cache.OpenResource("HALL", "ovv")), "view");
    EXPECT_EQ(Content(cache.OpenResource("hall", "OVF")), "<none>");
    EXPECT_TRUE(cache.ResourceExists("Hall", "OVS"));
    EXPECT_FALSE(cache.ResourceExists("hall", "OVT"));
    EXPECT_FALSE(cache.ResourceExists("hal", "OVS"));

    std::string fileName;
    EXPECT_TRUE(ove::CResourceCache::FileName("room", "OVP", fileName));
    EXPECT_EQ(fileName, "room.OVP");
}

void WriteView(const std::filesystem::path& path, const char* tag, int cels) {
    ove::CViewWriter writer(tag);
    writer.AddLoop();
    for (int i = 0; i < cels; ++i) writer.AddEmptyCel(4, 4, 0, 0);
    ove::CFile out(path.c_str(), "wb");
    ASSERT_TRUE(writer.Write(&out));
}

TEST_F(ResourceCacheTest, ViewsAreSharedUntilForgottenOrUnused) {
    WriteView(m_data / "hero.ovv", "VIEW", 2);
    WriteView(m_data / "small.OVF", "FONT", 3);
    ove::CResourceCache cache(nullptr, nullptr, &m_folder);
    ove::TResourceRef<ove::CView> holder(cache.LoadView("hero"));
    ASSERT_TRUE(holder);
    EXPECT_EQ(cache.LoadView("hero"), holder.Get());
    EXPECT_EQ(holder->CelCount(0), 2u);
    EXPECT_EQ(cache.LoadView("nobody"), nullptr);
    EXPECT_EQ(cache.ViewCount(), 1u) << "missing views are not inserted";
    ove::CFont* f = cache.LoadFont("small");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->CelCount(0), 3u);
    // Releasing frees only what the cache alone holds.
    cache.ReleaseUnused();
    EXPECT_EQ(cache.FontCount(), 0u);
    EXPECT_EQ(cache.ViewCount(), 1u);
    EXPECT_EQ(holder->RefCount(), 2u);
    // A forgotten view lives on while a holder keeps it; a new load makes a new one.
    cache.ForgetView("hero");
    EXPECT_EQ(cache.ViewCount(), 0u);
    EXPECT_EQ(holder->RefCount(), 1u);
    EXPECT_EQ(holder->CelCount(0), 2u);
    EXPECT_NE(cache.LoadView("hero"), holder.Get());
    cache.ReleaseUnused();
    EXPECT_EQ(cache.ViewCount(), 0u);
}

TEST_F(ResourceCacheTest, OverlongNamesAndNoFolderFindNothing) {
    ove::CResourceCache cache(nullptr, nullptr, &m_folder);
    std::string fileName;
    EXPECT_TRUE(ove::CResourceCache::FileName(std::string(255, 'a'), "OVS", fileName));   // 259 characters
    EXPECT_FALSE(ove::CResourceCache::FileName(std::string(256, 'a'), "OVS", fileName));  // 260
    EXPECT_EQ(cache.OpenResource(std::string(400, 'a'), "OVS"), nullptr);
    EXPECT_FALSE(cache.ResourceExists(std::string(400, 'a'), "OVS"));
    ove::CResourceCache none(nullptr, nullptr, nullptr);
    EXPECT_EQ(none.OpenResource("hall", "OVS"), nullptr);
    EXPECT_FALSE(none.ResourceExists("hall", "OVS"));
}

TEST_F(ResourceCacheTest, DiskFirstPrefersTheCurrentDirectory) {
    m_data.Write("hall.OVV", "data");
    m_cwd.Write("Hall.ovv", "disk");
    m_cwd.Write("only.OVV", "");  // empty, but on the disk
    ScopedCwd in(m_cwd.path());
    ove::CResourceCache cache(nullptr, nullptr, &m_folder);
    EXPECT_FALSE(cache.DiskFirst());
    EXPECT_EQ(Content(cache.OpenResource("hall", "OVV")), "data");
    EXPECT_FALSE(cache.ResourceExists("only", "OVV"));

    cache.SetDiskFirst(true);
    EXPECT_TRUE(cache.DiskFirst());
    EXPECT_EQ(Content(cache.OpenResource("hall", "OVV")), "disk");
    EXPECT_EQ(Content(cache.OpenResource("only", "OVV")), "");
    EXPECT_TRUE(cache.ResourceExists("ONLY", "OVV"));
    // Opening falls back on the folder, and so does existence; a directory on the disk is no resource.
    m_data.Write("dataonly.OVV", "x");
    EXPECT_EQ(Content(cache.OpenResource("dataonly", "OVV")), "x");
    EXPECT_TRUE(cache.ResourceExists("dataonly", "OVV"));
    std::filesystem::create_directories(m_cwd / "room.OVP");
    m_data.Write("room.ovp", "picture");
    EXPECT_EQ(Content(cache.OpenResource("room", "OVP")), "picture");
    EXPECT_TRUE(cache.ResourceExists("room", "OVP")) << "found in the folder, as opening does";
    EXPECT_FALSE(cache.ResourceExists("ROOM", "OVV"));
}

// Existence answers what opening finds, wherever that is: loose non-empty files in the current
// directory (the game's folder looks there first), each member of the compound folder, the same
// case rules; directories and empty loose files are not found by either.
TEST_F(ResourceCacheTest, ExistenceAgreesWithOpening) {
    TempDir library;
    m_folder.Add(new ove::CDirectory(library.path().string()));
    m_folder.SetLocalFirst(true);
    m_cwd.Write("Loose.ovp", "loose");
    m_cwd.Write("hollow.OVP", "");
    library.Write("lib.OVP", "library");
    library.Write("hollow.OVP", "");  // an empty file inside a directory source is a file
    std::filesystem::create_directories(m_data.path() / "folder.OVP");
    ScopedCwd in(m_cwd.path());
    ove::CResourceCache cache(nullptr, nullptr, &m_folder);
    for (auto [name, exists] :
         {std::pair{"loose", true}, {"LIB", true}, {"hollow", true}, {"folder", false}, {"none", false}}) {
        std::unique_ptr<ove::CDataBin> file(cache.OpenResource(name, "OVP"));
        EXPECT_EQ(file != nullptr, exists) << name;
        EXPECT_EQ(cache.ResourceExists(name, "OVP"), exists) << name;
    }
}

// A damaged view or font still loads what it can (as before), and the file is named once on
// standard error with the reason, however often the game asks for it.
TEST_F(ResourceCacheTest, DamagedViewsAreReportedOnce) {
    ove::CViewWriter writer;
    ove::CBitmap cel(2, 2, ove::PixelFormat::Rgba8888);
    writer.AddCel(cel, 0, 0);
    writer.AddCel(cel, 1, 1);
    ove::CBuffer good;
    ASSERT_TRUE(writer.Write(&good));
    good.Seek(0);
    std::vector<ove::u8> bytes = ove::ReadAll(good);
    ASSERT_GT(bytes.size(), 40u);
    m_data.Write("good.OVV", bytes);
    // Cut inside the second cel's header, and inside its pixels.
    m_data.Write("cut.OVV", std::vector<ove::u8>(bytes.begin(), bytes.end() - 16 - 8));
    m_data.Write("short.OVV", std::vector<ove::u8>(bytes.begin(), bytes.end() - 8));
    m_data.Write("junk.OVV", "JUNK and more");
    m_data.Write("empty.OVV", "");

    ove::CResourceCache cache(nullptr, nullptr, &m_folder);
    testing::internal::CaptureStderr();
    ASSERT_NE(cache.LoadView("good"), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "a healthy file loads quietly";

    testing::internal::CaptureStderr();
    for (int frame = 0; frame < 3; ++frame) {
        for (const char* name : {"cut", "short", "junk", "empty"}) EXPECT_NE(cache.LoadView(name), nullptr) << name;
        cache.ReleaseUnused();  // even a view loaded afresh is not reported again
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ove: warning: cut.OVV: the file ends early (truncated)\n"
              "ove: warning: short.OVV: a cel is too large or its pixels are missing\n"
              "ove: warning: junk.OVV: not a view or font file (no VIEW or FONT header)\n"
              "ove: warning: empty.OVV: the file is empty\n");
    EXPECT_EQ(cache.LoadView("none"), nullptr);
}

// A source that lists a file it then cannot open, as an archive does with a damaged entry.
class CListsButCannotOpen : public ove::CFileFolder {
public:
    bool Exists(std::string path) override { return path == "torn.OVV"; }
    ove::CDataBin* OpenFile(std::string) override { return nullptr; }
};

TEST_F(ResourceCacheTest, EntriesThatCannotBeOpenedAreReportedOnce) {
    m_folder.Add(new CListsButCannotOpen());
    ove::CResourceCache cache(nullptr, nullptr, &m_folder);
    testing::internal::CaptureStderr();
    EXPECT_EQ(cache.LoadView("torn"), nullptr);
    EXPECT_EQ(cache.LoadView("torn"), nullptr);
    EXPECT_EQ(cache.LoadView("absent"), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ove: warning: torn.OVV: the data source lists it but it cannot be read (damaged or sealed with "
              "another password)\n");
}

}  // namespace
}  // namespace ovetest
