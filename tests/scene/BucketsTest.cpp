#include <gtest/gtest.h>

#include <cstdint>

#include "scene/Buckets.h"

using namespace ove;

TEST(BucketsTest, GrowsByEightAndClearsByCount) {
    CBuckets b(2);
    for (int i = 0; i < 8; ++i) b.Add(0, i);
    EXPECT_EQ(b.Capacity(0), 8);
    b.Add(0, 8);
    EXPECT_EQ(b.Capacity(0), 16);
    std::int32_t size = 0;
    const std::int32_t* v = b.Contents(0, size);
    ASSERT_EQ(size, 9);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(v[i], i);
    b.ClearAll();
    EXPECT_EQ(b.Contents(0, size), nullptr);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(b.Capacity(0), 16);
    EXPECT_EQ(b.Capacity(1), 0);
    EXPECT_EQ(CBuckets(-3).Count(), 0);
}
