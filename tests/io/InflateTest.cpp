#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "io/DataBin.h"
#include "io/Inflate.h"
#include "support/DeflateTestUtil.h"
#include "support/InflatePieces.h"
#include "support/TestSupport.h"

using namespace ove;
using namespace pngtest;

namespace {

// Inflates `stream` placed after `lead` garbage bytes and followed by `trail` garbage bytes.
struct InflateResult {
    bool ok = false;
    Bytes out;
    u32 inputTell = 0;
    u32 outputTell = 0;
};

InflateResult RunInflate(const Bytes& stream, bool deflate64 = false, std::size_t lead = 0, std::size_t trail = 0) {
    Bytes in(lead, 0xA5);
    in.insert(in.end(), stream.begin(), stream.end());
    in.insert(in.end(), trail, 0x5A);
    CBuffer input(std::move(in));
    input.Seek(static_cast<u32>(lead));
    CBuffer output;
    InflateResult r;
    r.ok = deflate64 ? Inflate64(&input, &output) : Inflate(&input, &output);
    r.out = output.Bytes();
    r.inputTell = input.Tell();
    r.outputTell = output.Tell();
    return r;
}

// The start of a final dynamic block up to the code lengths: counts and the code-length code.
std::vector<std::uint32_t> DynamicPrelude(BitWriter& bw, std::size_t lit, std::size_t dist,
                                          const std::vector<unsigned>& clLens) {
    static const unsigned kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    bw.Block(true, 2);
    bw.Bits(static_cast<unsigned>(lit - 257), 5);
    bw.Bits(static_cast<unsigned>(dist - 1), 5);
    bw.Bits(15, 4);
    for (unsigned sym : kOrder) bw.Bits(clLens[sym], 3);
    return CanonicalCodes(clLens);
}

// A final dynamic block header whose code-length code gives every length 0-15 a 4-bit code (unless
// other code-length lengths are asked for).
void WriteDynamicHeader(BitWriter& bw, const std::vector<unsigned>& lit, const std::vector<unsigned>& dist,
                        std::vector<unsigned> clLens = {}) {
    if (clLens.empty()) {
        clLens.assign(19, 0);
        for (int i = 0; i < 16; ++i) clLens[i] = 4;
    }
    auto clCodes = DynamicPrelude(bw, lit.size(), dist.size(), clLens);
    for (unsigned l : lit) bw.Code(clCodes[l], clLens[l]);
    for (unsigned l : dist) bw.Code(clCodes[l], clLens[l]);
}

std::string Text(const Bytes& b) { return std::string(b.begin(), b.end()); }

}  // namespace

TEST(Inflate, ZlibStreamsOfAllLevelsAndStrategiesDecodeIdentically) {
    const struct {
        const char* name;
        Bytes data;
    } inputs[] = {
        {"text", TextBytes(300000, 1)},
        {"random", RandomBytes(100000, 2)},  // at level 0, stored blocks crossing the window
        {"mixed", MixedBytes(2500000, 3)},   // crosses several internal flush chunks
        {"tiny", Bytes{'x'}},
        {"empty", Bytes{}},
    };
    const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
    for (const auto& input : inputs) {
        for (int level = 0; level <= 9; ++level) {
            for (int strategy : strategies) {
                if (level == 0 && strategy != Z_DEFAULT_STRATEGY) continue;
                SCOPED_TRACE(std::string(input.name) + " level " + std::to_string(level) + " strategy " +
                             std::to_string(strategy));
                Bytes stream = ZlibDeflate(input.data, level, strategy);
                ASSERT_FALSE(stream.empty());
                InflateResult r = RunInflate(stream, false, 7, 5);
                ASSERT_TRUE(r.ok);
                EXPECT_TRUE(r.out == input.data);
                // Input left just past the stream, output back where it started.
                EXPECT_EQ(r.inputTell, 7 + stream.size());
                EXPECT_EQ(r.outputTell, 0u);
            }
        }
    }
}

TEST(Inflate, SmallWindowsAndMemLevelsDecode) {
    Bytes data = MixedBytes(200000, 9);
    for (int windowBits = 9; windowBits <= 15; windowBits += 3) {
        for (int memLevel : {1, 9}) {
            Bytes stream = ZlibDeflate(data, 9, Z_DEFAULT_STRATEGY, -windowBits, memLevel);
            InflateResult r = RunInflate(stream);
            ASSERT_TRUE(r.ok) << windowBits << " " << memLevel;
            EXPECT_TRUE(r.out == data);
        }
    }
}

TEST(Inflate, ReadsFromAndWritesToFiles) {
    ovetest::TempDir dir;
    Bytes data = MixedBytes(300000, 5);
    auto compressed = dir.Write("in.bin", ZlibDeflate(data, 6));
    {
        CFile input(compressed.c_str(), "rb");
        CFile output((dir / "out.bin").c_str(), "wb");
        ASSERT_TRUE(Inflate(&input, &output));
    }
    EXPECT_TRUE(ovetest::ReadFileBytes(dir / "out.bin") == data);
}

TEST(Inflate, StoredBlockLengthsAndReservedBlockType) {
    // The complement of the length is not checked.
    BitWriter bw;
    bw.Block(true, 0);
    for (int b : {3, 0, 0x12, 0x34, 0x61, 0x62, 0x63}) bw.Byte(b);
    InflateResult r = RunInflate(bw.Data());
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(Text(r.out), "abc");
    // A stored block longer than the data, and a block of the reserved type 3.
    BitWriter stored;
    stored.Block(true, 0);
    for (int b : {0xFF, 0x00, 0x00, 0xFF, 1, 2, 3}) stored.Byte(b);
    EXPECT_FALSE(RunInflate(stored.Data()).ok);
    EXPECT_FALSE(RunInflate(Bytes{0x07, 0, 0, 0}).ok);
}

TEST(Inflate, MissingOrUnusableStreamsFail) {
    CBuffer input(ZlibDeflate(TextBytes(100, 1), 6));
    CBuffer output;
    EXPECT_FALSE(Inflate(nullptr, &output));
    EXPECT_FALSE(Inflate(&input, nullptr));
    EXPECT_FALSE(Inflate64(nullptr, nullptr));
    // A read-only segment cannot take output.
    CSegment readOnly(new CBuffer(Bytes(10, 0)), 0, 10);
    EXPECT_FALSE(Inflate(&input, &readOnly));
    // A file opened only for writing cannot be read.
    ovetest::TempDir dir;
    CFile writeOnly((dir / "w.bin").c_str(), "wb");
    EXPECT_FALSE(Inflate(&writeOnly, &output));
    // Nothing at all to decode.
    CBuffer empty;
    EXPECT_FALSE(Inflate(&empty, &output));
}

TEST(Inflate, FixedBlockSymbols) {
    // Literal/length symbols of one fixed block; each length is followed by the distance code.
    const struct {
        std::vector<unsigned> symbols;
        unsigned distance;
        std::string expected;  // "fail": must fail
    } cases[] = {
        {{'a', 257, 256}, 0, "aaaa"},                 // length 3 at distance 1
        {{'z', 285, 256}, 0, std::string(259, 'z')},  // code 285 is length 258 in plain deflate
        {{257, 256}, 0, "fail"},                      // back-reference before the first byte
        {{'a', 257, 256}, 1, "fail"},                 // distance 2, one byte written
        {{'a', 286, 256}, 0, "fail"},                 // length symbols 286 and 287 do not exist
        {{'a', 287, 256}, 0, "fail"},
    };
    for (const auto& c : cases) {
        BitWriter bw;
        bw.Block(true, 1);
        for (unsigned sym : c.symbols) {
            bw.FixedLit(sym);
            if (sym > 256) bw.FixedDist(c.distance);
        }
        InflateResult r = RunInflate(bw.Data());
        EXPECT_EQ(r.ok ? Text(r.out) : "fail", c.expected) << c.symbols[0] << " " << c.symbols[1];
    }
}

TEST(Inflate, Deflate64LongLengthsAndFarDistances) {
    // A stored block of 40,000 random bytes, then a fixed block copying 300 bytes from distance 40,000
    // (code 30: base 32769 + 7231) with code 285 (base 3 + 297 in 16 extra bits).
    // Then distance code 31 (base 49153) and the longest deflate64 match (3 + 65535) after 60,000
    // bytes in two stored blocks.
    for (auto [size, lengthExtra, distCode, distExtra] :
         {std::tuple{40000u, 297u, 30u, 7231u}, std::tuple{60000u, 65535u, 31u, 60000u - 49153u}}) {
        const Bytes head = RandomBytes(size, size);
        BitWriter bw;
        bw.Stored(false, Bytes(head.begin(), head.begin() + 30000));
        bw.Stored(false, Bytes(head.begin() + 30000, head.end()));
        bw.Block(true, 1);
        bw.FixedLit(285);
        bw.Bits(lengthExtra, 16);
        bw.FixedDist(distCode);
        bw.Bits(distExtra, 14);
        bw.FixedLit(256);
        Bytes expected = head;
        for (unsigned i = 0; i < 3 + lengthExtra; ++i) expected.push_back(expected[expected.size() - size]);
        InflateResult r = RunInflate(bw.Data(), true);
        ASSERT_TRUE(r.ok) << distCode;
        EXPECT_TRUE(r.out == expected) << distCode;
        // Plain deflate has no distance codes 30 and 31.
        EXPECT_FALSE(RunInflate(bw.Data(), false).ok) << distCode;
    }
}

TEST(Inflate, TruncatedStreamsFail) {
    for (const Bytes& data : {TextBytes(20000, 13), MixedBytes(50000, 14), RandomBytes(3000, 15)}) {
        for (int level : {0, 1, 6, 9}) {
            Bytes stream = ZlibDeflate(data, level);
            // Every strict prefix is truncated: it must fail, never decode garbage past its end.
            for (std::size_t cut = 0; cut < stream.size(); cut += 1 + cut / 7) {
                Bytes part(stream.begin(), stream.begin() + cut);
                EXPECT_FALSE(RunInflate(part).ok) << "cut at " << cut << " of " << stream.size();
                EXPECT_FALSE(RunInflate(part, true).ok);
            }
            Bytes last(stream.begin(), stream.end() - 1);
            EXPECT_FALSE(RunInflate(last).ok);
        }
    }
}

TEST(Inflate, FailureKeepsWholeFlushedWindows) {
    // 200,000 decoded bytes, then a block of the reserved type 3.
    Bytes data = MixedBytes(200000, 16);
    Bytes stream = ZlibDeflate(data, 6, Z_DEFAULT_STRATEGY, -15, 8, Z_FULL_FLUSH);
    ASSERT_FALSE(stream.empty());
    stream.push_back(0x07);  // final block of type 3
    InflateResult r = RunInflate(stream);
    EXPECT_FALSE(r.ok);
    ASSERT_EQ(r.out.size(), 3u * 65536);
    EXPECT_TRUE(std::equal(r.out.begin(), r.out.end(), data.begin()));
}

TEST(Inflate, DynamicCodeSets) {
    auto run = [](const std::vector<unsigned>& lit, const std::vector<unsigned>& dist, auto&& body,
                  const std::vector<unsigned>& clLens = {}) {
        BitWriter bw;
        WriteDynamicHeader(bw, lit, dist, clLens);
        body(bw);
        return RunInflate(bw.Data());
    };
    const std::vector<unsigned> dist(1, 1);
    // An incomplete literal/length code: 'a' = 0, end of block = 10; "11" is unused.
    std::vector<unsigned> lit(257, 0);
    lit['a'] = 1;
    lit[256] = 2;
    InflateResult r = run(lit, dist, [](BitWriter& b) {
        b.Code(0, 1);
        b.Code(0, 1);
        b.Code(2, 2);
    });
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(Text(r.out), "aa");
    EXPECT_FALSE(run(lit, dist, [](BitWriter& b) {
                     b.Code(0, 1);
                     b.Code(3, 2);  // the unused code
                     b.Code(2, 2);
                 }).ok);
    // Oversubscribed literal/length code, and oversubscribed code-length code.
    auto zeros = [](BitWriter& b) { b.Bits(0, 8); };
    std::vector<unsigned> over(257, 0);
    over['a'] = over['b'] = over[256] = 1;
    EXPECT_FALSE(run(over, dist, zeros).ok);
    EXPECT_FALSE(run(lit, dist, zeros, std::vector<unsigned>(19, 1)).ok);
    // Repeat of the previous length with nothing before it, and a repeat running past the end.
    // (Symbol 16 with 2 extra bits first; twice symbol 18 with 7 bits: 2 x 138 zeros > 258.)
    for (auto [symbol, extraBits, extra, times] : {std::tuple{16, 2, 0, 1}, {18, 7, 127, 2}}) {
        std::vector<unsigned> cl(19, 0);
        cl[0] = cl[1] = cl[16] = cl[18] = 2;
        BitWriter bw;
        auto clCodes = DynamicPrelude(bw, 257, 1, cl);
        for (int i = 0; i < times; ++i) {
            bw.Code(clCodes[symbol], 2);
            bw.Bits(static_cast<unsigned>(extra), static_cast<unsigned>(extraBits));
        }
        bw.Bits(0, 16);
        EXPECT_FALSE(RunInflate(bw.Data()).ok) << symbol;
    }
    // A literal-only block may have no distance codes at all: 'q' = 0, end of block = 1.
    std::vector<unsigned> only(257, 0);
    only['q'] = only[256] = 1;
    r = run(only, {0}, [](BitWriter& b) {
        b.Code(0, 1);
        b.Code(1, 1);
    });
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(Text(r.out), "q");
}

TEST(Inflate, AgreesWithZlibOnDamagedStreams) {
    // Wherever zlib accepts a damaged stream, we must accept it with the same bytes; everywhere else
    // we must at least stay inside our buffers (checked by the sanitizer build).
    std::mt19937 rng(17);
    const Bytes sources[] = {TextBytes(4000, 18), MixedBytes(6000, 19), RandomBytes(500, 20)};
    int agreed = 0;
    for (int iter = 0; iter < 3000; ++iter) {
        const Bytes& src = sources[iter % 3];
        Bytes stream = ZlibDeflate(src, 1 + iter % 9, iter % 5 == 4 ? Z_FIXED : Z_DEFAULT_STRATEGY);
        int flips = 1 + rng() % 3;
        for (int f = 0; f < flips; ++f) stream[rng() % stream.size()] ^= static_cast<std::uint8_t>(1 + rng() % 255);
        Bytes expected;
        bool zlibOk = ZlibInflateRaw(stream, expected, 1 << 18);
        InflateResult ours = RunInflate(stream, false);
        RunInflate(stream, true);
        if (zlibOk) {
            ++agreed;
            ASSERT_TRUE(ours.ok) << "iteration " << iter;
            ASSERT_TRUE(ours.out == expected) << "iteration " << iter;
        }
    }
    EXPECT_GT(agreed, 0);
}

TEST(Inflate, InMemoryDecoderAppendsAndReportsConsumedBytes) {
    Bytes data = MixedBytes(100000, 21);
    Bytes stream = ZlibDeflate(data, 6);
    stream.push_back(0xEE);
    ByteVector out = {'>', '>'};
    std::size_t consumed = 0;
    ASSERT_TRUE(inflate_detail::InflateToVector(stream.data(), stream.size(), false, out, &consumed));
    EXPECT_EQ(consumed, stream.size() - 1);
    ASSERT_EQ(out.size(), data.size() + 2);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin() + 2));
    // A failure leaves the vector as it was.
    stream.resize(stream.size() / 2);
    EXPECT_FALSE(inflate_detail::InflateToVector(stream.data(), stream.size(), false, out));
    EXPECT_EQ(out.size(), data.size() + 2);
}

TEST(Inflate, InMemoryDecoderStopsAtItsCap) {
    Bytes data = MixedBytes(500000, 22);
    Bytes stream = ZlibDeflate(data, 6);
    for (std::size_t cap : {std::size_t(0), std::size_t(1), std::size_t(4096), std::size_t(300001), data.size()}) {
        ByteVector out;
        ASSERT_TRUE(inflate_detail::InflateToVector(stream.data(), stream.size(), false, out, nullptr, 1000, cap));
        ASSERT_EQ(out.size(), cap);
        EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin()));
    }
    // Whatever comes after the cap is not looked at, not even damage.
    Bytes damaged = stream;
    damaged.resize(damaged.size() * 3 / 4);
    ByteVector out;
    EXPECT_TRUE(inflate_detail::InflateToVector(damaged.data(), damaged.size(), false, out, nullptr, 0, 10000));
    EXPECT_FALSE(inflate_detail::InflateToVector(damaged.data(), damaged.size(), false, out, nullptr, 0, data.size()));
    // Nor after an empty stored block (a sync flush) right where stored data reached the cap, in a
    // stream cut after it.
    const Bytes flushed = ZlibDeflate(data, 0, Z_DEFAULT_STRATEGY, -15, 8, Z_SYNC_FLUSH);
    EXPECT_TRUE(inflate_detail::InflateToVector(flushed.data(), flushed.size(), false, out, nullptr, 0, data.size()));
}

namespace {

// Raw deflate of `data` in `pieces` parts, each with its own level and strategy: stored, fixed and
// dynamic blocks follow each other within one stream.
Bytes DeflateMixedBlocks(const Bytes& data, std::size_t pieces) {
    static const int kParams[][2] = {{0, Z_DEFAULT_STRATEGY}, {6, Z_FIXED},       {6, Z_DEFAULT_STRATEGY}, {9, Z_RLE},
                                     {1, Z_FILTERED},         {6, Z_HUFFMAN_ONLY}};
    z_stream zs{};
    deflateInit2(&zs, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&zs, static_cast<uLong>(data.size())) + 1024 * pieces);
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    for (std::size_t i = 0; i < pieces; ++i) {
        deflateParams(&zs, kParams[i % 6][0], kParams[i % 6][1]);
        const std::size_t from = data.size() * i / pieces, to = data.size() * (i + 1) / pieces;
        zs.next_in = const_cast<Bytef*>(data.data() + from);
        zs.avail_in = static_cast<uInt>(to - from);
        deflate(&zs, i + 1 == pieces ? Z_FINISH : Z_NO_FLUSH);
    }
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

class CAppendSink : public inflate_detail::CInflateSink {
public:
    bool Take(const std::uint8_t* data, std::size_t count) override {
        out.insert(out.end(), data, data + count);
        return true;
    }
    Bytes out;
};

}  // namespace

TEST(Inflate, FastPathEdgesDecodeLikeTheOriginal) {
    // Repeats of every period up to 40 (copies overlapping their own output at each distance,
    // matches of every length up to 258), inputs of every size up to 100 (ends of the input at
    // every offset from the fast loop's margin), and long mixed data with stored, fixed and
    // dynamic blocks in turn (crossing the output's internal hand-overs).
    struct SCase {
        Bytes data;
        Bytes stream;
    };
    std::vector<SCase> cases;
    for (std::size_t period = 1; period <= 40; ++period) {
        Bytes b = RandomBytes(period, static_cast<std::uint32_t>(period));
        for (std::size_t run = 3; b.size() < 6000; run = run % 300 + 7) {
            for (std::size_t i = 0; i < run; ++i) b.push_back(b[b.size() - period]);
            b.push_back(static_cast<std::uint8_t>(run));
        }
        cases.push_back({b, ZlibDeflate(b, 9)});
    }
    for (std::size_t size = 0; size <= 100; ++size) {
        const Bytes b = MixedBytes(size, static_cast<std::uint32_t>(size));
        cases.push_back({b, ZlibDeflate(b, static_cast<int>(size % 10))});
    }
    const Bytes mixed = MixedBytes(900000, 44);
    cases.push_back({mixed, DeflateMixedBlocks(mixed, 13)});
    for (const SCase& c : cases) {
        SCOPED_TRACE("size " + std::to_string(c.data.size()) + ", stream " + std::to_string(c.stream.size()));
        ASSERT_FALSE(c.stream.empty());
        ByteVector memory;
        std::size_t consumed = 0;
        ASSERT_TRUE(inflate_detail::InflateToVector(c.stream.data(), c.stream.size(), false, memory, &consumed));
        EXPECT_TRUE(std::ranges::equal(memory, c.data));
        EXPECT_EQ(consumed, c.stream.size());
        for (std::size_t piece : {std::size_t(1), std::size_t(13), std::size_t(65536)}) {
            CPieces source(c.stream, piece);
            CAppendSink sink;
            ASSERT_EQ(inflate_detail::InflateStream(source, sink, false), inflate_detail::EStreamResult::Ended)
                << piece;
            EXPECT_TRUE(sink.out == c.data) << piece;
        }
        // Output exactly at the limit is fine; one byte short is not.
        CBuffer input(c.stream);
        CBuffer exact;
        ASSERT_TRUE(Inflate(&input, &exact, c.data.size()));
        EXPECT_TRUE(exact.Bytes() == c.data);
        if (!c.data.empty()) {
            input.Seek(0);
            CBuffer shortOutput;
            EXPECT_FALSE(Inflate(&input, &shortOutput, c.data.size() - 1));
        }
    }
}
