// Opening resources by name and type tag: the folder, the case-insensitive disk-first lookup.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "data/FileFolder.h"
#include "data/ResourceCache.h"
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
        folder_.Add(new ove::CDirectory(data_.path().string()));
        folder_.SetLocalFirst(false);
    }
    TempDir data_;
    TempDir cwd_;
    ove::CCompoundFolder folder_;
};

TEST_F(ResourceCacheTest, NameAndTagFormTheFileName) {
    data_.Write("hall.ovs", "script");
    data_.Write("hall.OVV", "view");
    ove::CResourceCache cache(nullptr, nullptr, &folder_);
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

TEST_F(ResourceCacheTest, OverlongNamesFindNothing) {
    ove::CResourceCache cache(nullptr, nullptr, &folder_);
    std::string fileName;
    EXPECT_TRUE(ove::CResourceCache::FileName(std::string(255, 'a'), "OVS", fileName));   // 259 characters
    EXPECT_FALSE(ove::CResourceCache::FileName(std::string(256, 'a'), "OVS", fileName));  // 260
    EXPECT_EQ(cache.OpenResource(std::string(400, 'a'), "OVS"), nullptr);
    EXPECT_FALSE(cache.ResourceExists(std::string(400, 'a'), "OVS"));
}

TEST_F(ResourceCacheTest, DiskFirstPrefersTheCurrentDirectory) {
    data_.Write("hall.OVV", "data");
    cwd_.Write("Hall.ovv", "disk");
    cwd_.Write("only.OVV", "");  // empty, but on the disk
    ScopedCwd in(cwd_.path());
    ove::CResourceCache cache(nullptr, nullptr, &folder_);
    EXPECT_FALSE(cache.DiskFirst());
    EXPECT_EQ(Content(cache.OpenResource("hall", "OVV")), "data");
    EXPECT_FALSE(cache.ResourceExists("only", "OVV"));

    cache.SetDiskFirst(true);
    EXPECT_TRUE(cache.DiskFirst());
    EXPECT_EQ(Content(cache.OpenResource("hall", "OVV")), "disk");
    EXPECT_EQ(Content(cache.OpenResource("only", "OVV")), "");
    EXPECT_TRUE(cache.ResourceExists("ONLY", "OVV"));
    // Existence with disk-first asks the disk alone.
    data_.Write("dataonly.OVV", "x");
    EXPECT_FALSE(cache.ResourceExists("dataonly", "OVV"));
    // Opening falls back on the folder.
    EXPECT_EQ(Content(cache.OpenResource("dataonly", "OVV")), "x");
}

TEST_F(ResourceCacheTest, DirectoriesAreNotResources) {
    std::filesystem::create_directories(cwd_ / "room.OVP");
    data_.Write("room.ovp", "picture");
    ScopedCwd in(cwd_.path());
    ove::CResourceCache cache(nullptr, nullptr, &folder_);
    cache.SetDiskFirst(true);
    EXPECT_FALSE(cache.ResourceExists("room", "OVP"));
    EXPECT_EQ(Content(cache.OpenResource("room", "OVP")), "picture");
}

TEST_F(ResourceCacheTest, NoFolderFindsNothing) {
    ove::CResourceCache cache(nullptr, nullptr, nullptr);
    EXPECT_EQ(cache.OpenResource("hall", "OVS"), nullptr);
    EXPECT_FALSE(cache.ResourceExists("hall", "OVS"));
}

}  // namespace
}  // namespace ovetest
