#include <gtest/gtest.h>

#include <memory>

#include "io/FileFolder.h"
#include "resources/ResourceCache.h"
#include "resources/View.h"
#include "support/TestSupport.h"

using namespace ove;

namespace {

void WriteView(const std::filesystem::path& path, const char* tag, int cels) {
    CViewWriter writer(tag);
    writer.AddLoop();
    for (int i = 0; i < cels; ++i) writer.AddEmptyCel(4, 4, 0, 0);
    CFile out(path.c_str(), "wb");
    ASSERT_TRUE(writer.Write(&out));
}

struct CacheFixture : ::testing::Test {
    ovetest::TempDir dir;
    std::unique_ptr<CCompoundFolder> folder;
    std::unique_ptr<CResourceCache> cache;

    void SetUp() override {
        std::filesystem::create_directories(dir / "DATA");
        WriteView(dir / "DATA" / "hero.ovv", "VIEW", 2);
        WriteView(dir / "DATA" / "small.OVF", "FONT", 3);
        folder = std::make_unique<CCompoundFolder>();
        folder->Add(new CDirectory((dir / "DATA").string()));
        cache = std::make_unique<CResourceCache>(nullptr, nullptr, folder.get());
    }
};

}  // namespace

TEST_F(CacheFixture, ViewsAreSharedByNameAndMissingOnesAreNotInserted) {
    CView* a = cache->LoadView("hero");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(cache->LoadView("hero"), a);
    EXPECT_EQ(a->CelCount(0), 2u);
    EXPECT_EQ(cache->LoadView("nobody"), nullptr);
    EXPECT_EQ(cache->ViewCount(), 1u);
    CFont* f = cache->LoadFont("small");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->CelCount(0), 3u);
}

TEST_F(CacheFixture, ForgottenViewLivesWhileAHolderKeepsIt) {
    TResourceRef<CView> holder(cache->LoadView("hero"));
    ASSERT_TRUE(holder);
    cache->ForgetView("hero");
    EXPECT_EQ(cache->ViewCount(), 0u);
    EXPECT_EQ(holder->RefCount(), 1u);
    EXPECT_EQ(holder->CelCount(0), 2u) << "still usable after the cache let go";
    CView* again = cache->LoadView("hero");
    EXPECT_NE(again, holder.Get()) << "a new load after forgetting makes a new view";
}

TEST_F(CacheFixture, ReleaseUnusedFreesOnlyWhatTheCacheAloneHolds) {
    TResourceRef<CView> used(cache->LoadView("hero"));
    cache->LoadFont("small");
    EXPECT_EQ(cache->FontCount(), 1u);
    cache->ReleaseUnused();
    EXPECT_EQ(cache->FontCount(), 0u);
    EXPECT_EQ(cache->ViewCount(), 1u);
    EXPECT_EQ(used->RefCount(), 2u);
    used.Reset();
    cache->ReleaseUnused();
    EXPECT_EQ(cache->ViewCount(), 0u);
}

TEST_F(CacheFixture, DiskFirstPrefersTheCurrentDirectory) {
    WriteView(dir / "hero.OVV", "VIEW", 5);
    ovetest::ScopedCwd cwd(dir.path());
    cache->SetDiskFirst(true);
    CView* v = cache->LoadView("hero");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->CelCount(0), 5u);
}
