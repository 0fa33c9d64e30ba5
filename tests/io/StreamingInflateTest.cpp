// The streaming decoder: input pulled in pieces of any size, output handed over in pieces, caps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "io/DataBin.h"
#include "io/Inflate.h"
#include "support/DeflateTestUtil.h"
#include "support/InflatePieces.h"

using namespace ove;
using namespace pngtest;
using namespace ove::inflate_detail;

namespace {

// Collects the output and the sizes it came in; refuses once it holds `refuseAfter` bytes.
class CCollect : public CInflateSink {
public:
    bool Take(const std::uint8_t* data, std::size_t count) override {
        if (out.size() + count > refuseAfter) return false;
        out.insert(out.end(), data, data + count);
        sizes.push_back(count);
        return true;
    }
    Bytes out;
    std::vector<std::size_t> sizes;
    std::size_t refuseAfter = SIZE_MAX;
};

// Lends memory of a given size, followed by guard bytes that must stay untouched.
class CLender : public CInflateSink {
public:
    explicit CLender(std::size_t room) : m_memory(room + kGuard, 0xA5), m_room(room) {}
    std::uint8_t* Lend(std::size_t& size) override {
        size = m_room;
        return m_memory.data();
    }
    bool Take(const std::uint8_t* data, std::size_t count) override {
        inPlace = inPlace && data == m_memory.data() + taken;
        taken += count;
        return true;
    }
    bool Holds(const Bytes& data) const {
        return std::equal(data.begin(), data.end(), m_memory.begin(), m_memory.begin() + taken);
    }
    bool GuardIntact() const {
        return std::all_of(m_memory.begin() + m_room, m_memory.end(), [](std::uint8_t b) { return b == 0xA5; });
    }
    std::size_t taken = 0;
    bool inPlace = true;

private:
    static constexpr std::size_t kGuard = 512;
    Bytes m_memory;
    std::size_t m_room;
};

}  // namespace

TEST(StreamingInflate, LentMemoryIsFilledExactlyAndNeverPastItsEnd) {
    // Sizes around the decoder's margin, stored and coded blocks, matches up to the very end.
    Bytes tail(5000, 'q');
    for (std::size_t size : {std::size_t(0), std::size_t(1), std::size_t(100), std::size_t(319), std::size_t(321),
                             std::size_t(5000), std::size_t(400000)}) {
        Bytes data = size == 5000 ? tail : MixedBytes(size, static_cast<std::uint32_t>(size));
        for (int level : {0, 1, 9}) {
            SCOPED_TRACE("size " + std::to_string(size) + " level " + std::to_string(level));
            const Bytes stream = ZlibDeflate(data, level);
            {
                CPieces source(stream, 1000);
                CLender sink(size);
                ASSERT_EQ(InflateStream(source, sink, false, UINT64_MAX, 4096), EStreamResult::Ended);
                EXPECT_EQ(sink.taken, size);
                EXPECT_TRUE(sink.Holds(data) && sink.inPlace && sink.GuardIntact());
            }
            if (size == 0) continue;
            {
                // One byte short: refused, and only whole granules were handed over.
                CPieces source(stream, 1000);
                CLender sink(size - 1);
                EXPECT_EQ(InflateStream(source, sink, false, UINT64_MAX, 64), EStreamResult::Refused);
                EXPECT_TRUE(sink.GuardIntact());
            }
            {
                // A cap inside the memory stops there.
                CPieces source(stream, 1000);
                CLender sink(size);
                EXPECT_EQ(InflateStream(source, sink, false, size / 2 + 1), EStreamResult::Capped);
                EXPECT_EQ(sink.taken, size / 2 + 1);
                EXPECT_TRUE(sink.Holds(Bytes(data.begin(), data.begin() + size / 2 + 1)) && sink.GuardIntact());
            }
        }
    }
}

TEST(StreamingInflate, AnyInputPiecesGiveTheSameOutputAndConsumedCount) {
    Bytes data = MixedBytes(700000, 31);
    // Stored blocks between compressed ones, so that copies from the input cross pulls too.
    Bytes stored = RandomBytes(90000, 32);
    data.insert(data.begin() + 100000, stored.begin(), stored.end());
    for (int level : {0, 1, 9}) {
        Bytes stream = ZlibDeflate(data, level);
        const std::size_t size = stream.size();
        stream.insert(stream.end(), {0xAB, 0xCD, 0xEF});  // what follows the stream is not part of it
        for (std::size_t piece :
             {std::size_t(1), std::size_t(3), std::size_t(8), std::size_t(1000), std::size_t(1) << 20}) {
            SCOPED_TRACE("level " + std::to_string(level) + " pieces of " + std::to_string(piece));
            CPieces source(stream, piece);
            CCollect sink;
            std::uint64_t consumed = 0;
            ASSERT_EQ(InflateStream(source, sink, false, UINT64_MAX, 1, &consumed), EStreamResult::Ended);
            EXPECT_EQ(consumed, size);
            EXPECT_TRUE(sink.out == data);
        }
    }
}

TEST(StreamingInflate, GranulesCapsAndRefusals) {
    const Bytes data = MixedBytes(300000, 33);
    const Bytes stream = ZlibDeflate(data, 6);
    {
        // Whole granules until the end, then the rest.
        CPieces source(stream, 4096);
        CCollect sink;
        ASSERT_EQ(InflateStream(source, sink, false, UINT64_MAX, 65536), EStreamResult::Ended);
        EXPECT_TRUE(sink.out == data);
        for (std::size_t i = 0; i + 1 < sink.sizes.size(); ++i) EXPECT_EQ(sink.sizes[i] % 65536, 0u);
    }
    for (std::uint64_t cap : {std::uint64_t(0), std::uint64_t(5), std::uint64_t(123457), std::uint64_t(data.size())}) {
        CPieces source(stream, 777);
        CCollect sink;
        // Decoding stops at the cap without looking further, even when the stream would end there.
        EXPECT_EQ(InflateStream(source, sink, false, cap), EStreamResult::Capped) << cap;
        ASSERT_EQ(sink.out.size(), cap);
        EXPECT_TRUE(std::equal(sink.out.begin(), sink.out.end(), data.begin()));
    }
    {
        CPieces source(stream, 777);
        CCollect sink;
        sink.refuseAfter = 100000;
        EXPECT_EQ(InflateStream(source, sink, false), EStreamResult::Refused);
    }
    // Damage after the cap is not looked at; before it, it is.
    Bytes cut(stream.begin(), stream.begin() + stream.size() / 2);
    CPieces early(cut, 100);
    CCollect sink;
    EXPECT_EQ(InflateStream(early, sink, false, 1000), EStreamResult::Capped);
    CPieces late(cut, 100);
    EXPECT_EQ(InflateStream(late, sink, false), EStreamResult::Corrupt);
}

TEST(StreamingInflate, DataBinOutputStopsAtItsLimitAndKeepsItsPosition) {
    // A long run expands far: the limit the caller knows stops it, leaving whole windows only.
    Bytes data(2000000, 'z');
    const Bytes stream = ZlibDeflate(data, 9);
    CBuffer input(stream.data(), static_cast<u32>(stream.size()));
    CBuffer output;
    EXPECT_FALSE(Inflate(&input, &output, 1000000));
    EXPECT_LE(output.GetSize(), 1000000u);
    EXPECT_EQ(output.GetSize() % 65536, 0u);
    input.Seek(0);
    CBuffer exact;
    ASSERT_TRUE(Inflate(&input, &exact, data.size()));
    EXPECT_TRUE(exact.Bytes() == data);
    EXPECT_EQ(input.Tell(), stream.size());
    // Writing in the middle of a buffer overwrites and extends it, and seeks back to where it began.
    CBuffer middle(Bytes(10, '-'));
    middle.Seek(4);
    input.Seek(0);
    ASSERT_TRUE(Inflate(&input, &middle));
    EXPECT_EQ(middle.GetSize(), data.size() + 4);
    EXPECT_EQ(middle.Tell(), 4u);
    EXPECT_EQ(middle.Bytes()[3], '-');
    EXPECT_EQ(middle.Bytes()[4], 'z');
}
