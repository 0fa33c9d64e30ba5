// Run-length masks: lookups, expansion and loading from bytes.
#include <gtest/gtest.h>

#include <random>
#include <utility>

#include "image/RunMask.h"
#include "io/DataBin.h"
#include "support/Bytes.h"

using namespace ove;
using viewtest::Bytes;
using viewtest::RunWord;

namespace {

CRunMask LoadMask(const Bytes& b, bool* ok = nullptr) {
    CBuffer buffer(b.v);
    CRunMask mask;
    bool loaded = mask.Load(&buffer);
    if (ok) *ok = loaded;
    return mask;
}

}  // namespace

TEST(RunMask, ValueAtExpandAndLevels) {
    Bytes b;
    b.U32(10).U32(3).U32(RunWord(5, 3)).U32(RunWord(7, 4)).U32(RunWord(9, 0));
    bool ok = false;
    CRunMask mask = LoadMask(b, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(mask.PixelCount(), 10u);
    EXPECT_EQ(mask.RunCount(), 3u);
    const u8 expected[12] = {5, 5, 5, 7, 7, 7, 7, 0, 0, 0, 0, 0};
    for (u32 i = 0; i < 12; ++i) EXPECT_EQ(mask.ValueAt(i), expected[i]) << i;  // past the runs: 0
    EXPECT_EQ(mask.ValueAt(0xFFFFFFFFu), 0);

    std::vector<u8> buffer(12, 0xAA), level(12, 0xAA);
    mask.Expand(buffer.data(), buffer.size());
    EXPECT_EQ(std::vector<u8>(expected, expected + 12), buffer);
    // Only the pixels of that value are written.
    EXPECT_EQ(mask.ExpandLevel(level.data(), level.size(), 7), 4u);
    EXPECT_EQ(level, (std::vector<u8>{0xAA, 0xAA, 0xAA, 7, 7, 7, 7, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA}));
    EXPECT_EQ(mask.ExpandLevel(level.data(), level.size(), 3), 0u);
}

TEST(RunMask, RunsBeyondThePixelCountOrBufferAreCut) {
    Bytes b;
    b.U32(4).U32(2).U32(RunWord(1, 10)).U32(RunWord(2, 10));
    CRunMask mask = LoadMask(b);
    for (auto [at, value] : {std::pair{3u, 1}, {4u, 0}, {12u, 0}}) EXPECT_EQ(mask.ValueAt(at), value) << at;
    // A buffer smaller than the pixel count gets only its own bytes (guard bytes untouched).
    std::vector<u8> buffer(8, 0xEE);
    mask.Expand(buffer.data(), 2);
    EXPECT_EQ(buffer, (std::vector<u8>{1, 1, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(mask.ExpandLevel(buffer.data(), 3, 1), 3u);
    EXPECT_EQ(buffer[3], 0xEE);
    // A larger one is zero beyond the pixel count.
    std::vector<u8> large(8, 0xEE);
    mask.Expand(large.data(), large.size());
    EXPECT_EQ(large, (std::vector<u8>{1, 1, 1, 1, 0, 0, 0, 0}));
    EXPECT_EQ(mask.ExpandLevel(large.data(), large.size(), 2), 0u);
}

TEST(RunMask, TruncatedRunsFailWithoutAllocatingTheCount) {
    Bytes b;
    b.U32(100).U32(0x40000000).U32(RunWord(1, 100));
    bool ok = true;
    CRunMask mask = LoadMask(b, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(mask.RunCount(), 0u);
    EXPECT_EQ(mask.ValueAt(0), 0);
    Bytes shortHead;
    shortHead.U32(5);
    EXPECT_FALSE(LoadMask(shortHead).RunCount());
}

TEST(RunMask, EncodeRoundTripsThroughTheFileLayout) {
    std::mt19937 rng(7);
    std::vector<u8> values(5000);
    for (std::size_t i = 0; i < values.size();) {
        u8 v = u8(rng() % 4);
        std::size_t n = 1 + rng() % 40;
        for (; n && i < values.size(); --n) values[i++] = v;
    }
    CRunMask mask = CRunMask::Encode(values.data(), static_cast<u32>(values.size()));
    CBuffer file;
    mask.Write(&file);
    file.Seek(0);
    CRunMask loaded;
    ASSERT_TRUE(loaded.Load(&file));
    EXPECT_EQ(loaded.Runs(), mask.Runs());
    std::vector<u8> expanded(values.size());
    loaded.Expand(expanded.data(), expanded.size());
    EXPECT_EQ(expanded, values);
    for (u32 i = 0; i < values.size(); i += 37) EXPECT_EQ(loaded.ValueAt(i), values[i]);
    u32 twos = 0;
    for (u8 v : values) twos += v == 2;
    std::vector<u8> level(values.size());
    EXPECT_EQ(loaded.ExpandLevel(level.data(), level.size(), 2), twos);
}

TEST(RunMask, EncodeSplitsRunsLongerThan24Bits) {
    std::vector<u8> values(CRunMask::kMaxRunLength + 5, 3);
    CRunMask mask = CRunMask::Encode(values.data(), static_cast<u32>(values.size()));
    ASSERT_EQ(mask.RunCount(), 2u);
    EXPECT_EQ(CRunMask::RunLength(mask.Runs()[0]), CRunMask::kMaxRunLength);
    EXPECT_EQ(CRunMask::RunLength(mask.Runs()[1]), 5u);
    EXPECT_EQ(mask.ValueAt(CRunMask::kMaxRunLength + 4), 3);
}
