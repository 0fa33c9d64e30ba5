// Our inflater against zlib's inflate and libdeflate on the same raw DEFLATE streams, in one run.
// Three kinds of data: a large mixed corpus, PNG-like filtered pixel rows and ZIP-like sets of small
// entries. Ours is measured three ways: decoding in memory (InflateToVector), and through the
// streaming reader (InflateStream, input pulled in pieces) into memory the sink lends for the
// declared size, or handed to a sink that copies it. libdeflate has no streaming decoder, so all of
// ours are compared with its in-memory decode of the same streams.
#include <zlib.h>

#ifdef OVE_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "io/DataBin.h"
#include "io/Inflate.h"

namespace {

using Bytes = std::vector<unsigned char>;

const char* const kWords[] = {"the",   "adventure", "engine", "draws", "sprites", "walk",  "behind", "a",
                              "door",  "key",       "opens",  "the",   "castle",  "north", "room",   "script",
                              "calls", "Init",      "Run",    "to",    "player",  "says",  "hello",  "of"};

void AppendText(Bytes& b, std::mt19937& rng, int words) {
    for (int i = 0; i < words; ++i) {
        const char* w = kWords[rng() % (sizeof kWords / sizeof *kWords)];
        b.insert(b.end(), w, w + std::strlen(w));
        b.push_back(rng() % 14 == 0 ? '\n' : ' ');
    }
}

// About 24 MB: prose-like text, repetitive binary records, noisy pixel-like rows and runs.
Bytes MakeCorpus(std::size_t size) {
    std::mt19937 rng(1234);
    Bytes b;
    b.reserve(size);
    while (b.size() < size) {
        switch (rng() % 4) {
        case 0:  // text
            AppendText(b, rng, 200 + rng() % 4000);
            break;
        case 1:  // records: counters, small values, zero padding
            for (unsigned i = 0, n = 100 + rng() % 2000; i < n; ++i) {
                unsigned v[4] = {i, static_cast<unsigned>(rng() % 100), 0, static_cast<unsigned>(rng())};
                b.insert(b.end(), reinterpret_cast<unsigned char*>(v), reinterpret_cast<unsigned char*>(v) + 16);
            }
            break;
        case 2: {  // smooth noisy gradient, like photographic rows
            unsigned x = rng() % 256;
            for (int i = 0, n = 1000 + rng() % 30000; i < n; ++i) {
                x = (x + (rng() % 7) - 3) & 0xFF;
                b.push_back(static_cast<unsigned char>(x));
            }
            break;
        }
        default:  // runs and far repeats
            if (b.size() > 70000 && rng() % 2) {
                std::size_t from = b.size() - 1 - rng() % 30000, n = 100 + rng() % 5000;
                for (std::size_t i = 0; i < n; ++i) b.push_back(b[from + i]);
            } else {
                b.insert(b.end(), 10 + rng() % 3000, static_cast<unsigned char>(rng()));
            }
        }
    }
    b.resize(size);
    return b;
}

// The filtered scanlines of a PNG image (filter byte, then pixels): a painted backdrop with soft
// gradients and noise (RGB, Paeth), and a sprite sheet of flat-coloured figures on a transparent
// ground (RGBA, Sub and Up).
Bytes MakeFilteredImage(unsigned width, unsigned height, unsigned channels, unsigned seed) {
    std::mt19937 rng(seed);
    const std::size_t stride = std::size_t(width) * channels;
    Bytes pixels(stride * height);
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width; ++x) {
            unsigned char* p = &pixels[y * stride + x * channels];
            if (channels == 3) {
                p[0] = static_cast<unsigned char>((x * 255 / width + rng() % 9) & 0xFF);
                p[1] = static_cast<unsigned char>(((x + y) * 127 / (width + height) + 64 + rng() % 5) & 0xFF);
                p[2] = static_cast<unsigned char>((y * 200 / height + (x / 37 % 3) * 20 + rng() % 7) & 0xFF);
            } else {
                const unsigned cell = (x / 64) * 7 + (y / 64) * 13;
                const int dx = int(x % 64) - 32, dy = int(y % 64) - 32;
                const bool inside = dx * dx + dy * dy < 500 + int(cell % 300);
                const unsigned shade = inside ? (cell * 37 + (dy > 0 ? 40u : 0u) + (dx > 8 ? 25u : 0u)) : 0;
                for (unsigned c = 0; c < 3; ++c) p[c] = static_cast<unsigned char>((shade >> c) * (c + 3));
                p[3] = inside ? 255 : 0;
            }
        }
    }
    Bytes rows;
    rows.reserve((stride + 1) * height);
    for (unsigned y = 0; y < height; ++y) {
        const unsigned char* cur = &pixels[y * stride];
        const unsigned char* up = y ? cur - stride : nullptr;
        const unsigned filter = channels == 3 ? 4 : (y % 2 ? 2 : 1);
        rows.push_back(static_cast<unsigned char>(filter));
        for (std::size_t i = 0; i < stride; ++i) {
            const int a = i >= channels ? cur[i - channels] : 0, b = up ? up[i] : 0,
                      c = up && i >= channels ? up[i - channels] : 0;
            int pred = 0;
            if (filter == 1) pred = a;
            if (filter == 2) pred = b;
            if (filter == 4) {
                const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
                pred = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
            }
            rows.push_back(static_cast<unsigned char>(cur[i] - pred));
        }
    }
    return rows;
}

Bytes RawDeflate(const Bytes& in, int level, int strategy = Z_DEFAULT_STRATEGY) {
    z_stream zs{};
    deflateInit2(&zs, level, Z_DEFLATED, -15, 8, strategy);
    Bytes out(deflateBound(&zs, static_cast<uLong>(in.size())));
    zs.next_in = const_cast<Bytef*>(in.data());
    zs.avail_in = static_cast<uInt>(in.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

struct SEntry {
    Bytes raw;
    Bytes stream;
};

struct SCase {
    const char* name = "";
    std::vector<SEntry> entries;
    std::size_t rawBytes = 0;
    std::size_t streamBytes = 0;
    void Add(Bytes raw, int level, int strategy = Z_DEFAULT_STRATEGY) {
        Bytes stream = RawDeflate(raw, level, strategy);
        rawBytes += raw.size();
        streamBytes += stream.size();
        entries.push_back({std::move(raw), std::move(stream)});
    }
};

// Game archive contents: scripts and settings, small sprite rows, tables of records, already
// packed sounds; 1 KiB to 256 KiB each.
SCase MakeZipLike() {
    SCase c;
    c.name = "zip-like";
    std::mt19937 rng(77);
    for (int i = 0; i < 400; ++i) {
        const std::size_t size = 1024u << (rng() % 9);
        Bytes b;
        b.reserve(size + 4096);
        switch (i % 4) {
        case 0:
            while (b.size() < size) AppendText(b, rng, 50);
            break;
        case 1: {
            Bytes img = MakeFilteredImage(64, static_cast<unsigned>(size / 257 + 1), 4, rng());
            b.assign(img.begin(), img.end());
            break;
        }
        case 2:
            while (b.size() < size) {
                const unsigned v[4] = {static_cast<unsigned>(b.size()), static_cast<unsigned>(rng() % 50), 0, 7};
                b.insert(b.end(), reinterpret_cast<const unsigned char*>(v),
                         reinterpret_cast<const unsigned char*>(v) + 16);
            }
            break;
        default:
            for (unsigned x = 128; b.size() < size;) {
                x = (x + rng() % 31 - 15) & 0xFF;
                b.push_back(static_cast<unsigned char>(x));
            }
        }
        b.resize(size);
        c.Add(std::move(b), i % 3 ? 6 : 9);
    }
    return c;
}

// CPU time of this thread (user and system, so page faults count): on a machine shared with other
// work, wall-clock time measures the other work as much as ours.
double ThreadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

// Fresh output memory for one entry, prepared the way our decoder prepares its own, so that every
// side pays the same for the memory it writes.
std::unique_ptr<unsigned char[]> FreshOutput(std::size_t size) {
    auto p = std::make_unique_for_overwrite<unsigned char[]>(std::max<std::size_t>(size, 1));
    ove::inflate_detail::PrepareForWriting(p.get(), size);
    return p;
}

// A peer's decode of every entry of a case; false when any output differs from the original.
using Decoder = bool (*)(const SCase&);

bool ZlibDecode(const SCase& c) {
    bool ok = true;
    z_stream zs{};
    inflateInit2(&zs, -15);
    for (const SEntry& e : c.entries) {
        auto out = FreshOutput(e.raw.size());
        inflateReset(&zs);
        zs.next_in = const_cast<Bytef*>(e.stream.data());
        zs.avail_in = static_cast<uInt>(e.stream.size());
        zs.next_out = out.get();
        zs.avail_out = static_cast<uInt>(e.raw.size());
        ok = inflate(&zs, Z_FINISH) == Z_STREAM_END && zs.total_out == e.raw.size() &&
             std::memcmp(out.get(), e.raw.data(), e.raw.size()) == 0 && ok;
    }
    inflateEnd(&zs);
    return ok;
}

#ifdef OVE_HAVE_LIBDEFLATE
// One decompressor for the whole case, as a reader of many entries would keep it.
bool LibdeflateDecode(const SCase& c) {
    bool ok = true;
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    for (const SEntry& e : c.entries) {
        auto out = FreshOutput(e.raw.size());
        std::size_t got = 0;
        ok = libdeflate_deflate_decompress(d, e.stream.data(), e.stream.size(), out.get(), e.raw.size(), &got) ==
                 LIBDEFLATE_SUCCESS &&
             got == e.raw.size() && std::memcmp(out.get(), e.raw.data(), got) == 0 && ok;
    }
    libdeflate_free_decompressor(d);
    return ok;
}
#endif

bool OveInMemory(const SCase& c) {
    bool ok = true;
    for (const SEntry& e : c.entries) {
        ove::ByteVector out;
        ok = ove::inflate_detail::InflateToVector(e.stream.data(), e.stream.size(), false, out, nullptr,
                                                  e.raw.size()) &&
             std::ranges::equal(out, e.raw) && ok;
    }
    return ok;
}

// The streaming reader: 64 KiB pulls from the compressed bytes, and a sink with fresh output memory
// of the declared size, which it lends to the decoder or copies the decoded pieces into.
template <bool kLend>
bool OveStream(const SCase& c) {
    class CMemorySource : public ove::inflate_detail::CInflateSource {
    public:
        explicit CMemorySource(const Bytes& b) : m_b(b) {}
        std::size_t Pull(std::uint8_t* to, std::size_t room) override {
            const std::size_t n = std::min({room, std::size_t(65536), m_b.size() - m_pos});
            std::memcpy(to, m_b.data() + m_pos, n);
            m_pos += n;
            return n;
        }

    private:
        const Bytes& m_b;
        std::size_t m_pos = 0;
    };
    class CMemorySink : public ove::inflate_detail::CInflateSink {
    public:
        explicit CMemorySink(std::size_t size) : m_out(FreshOutput(size)), m_size(size) {}
        std::uint8_t* Lend(std::size_t& size) override {
            size = kLend ? m_size : 0;
            return kLend ? m_out.get() : nullptr;
        }
        bool Take(const std::uint8_t* data, std::size_t count) override {
            if (count > m_size - m_used) return false;
            if (data != m_out.get() + m_used) std::memcpy(m_out.get() + m_used, data, count);
            m_used += count;
            return true;
        }
        bool Same(const Bytes& raw) const {
            return m_used == raw.size() && std::memcmp(m_out.get(), raw.data(), m_used) == 0;
        }

    private:
        std::unique_ptr<unsigned char[]> m_out;
        std::size_t m_size, m_used = 0;
    };
    bool ok = true;
    for (const SEntry& e : c.entries) {
        CMemorySource source(e.stream);
        CMemorySink sink(e.raw.size());
        ok = ove::inflate_detail::InflateStream(source, sink, false) == ove::inflate_detail::EStreamResult::Ended &&
             sink.Same(e.raw) && ok;
    }
    return ok;
}

struct SResult {
    const char* name;
    Decoder decode;
    double best = 1e30;
    bool ok = true;
};

}  // namespace

// Every side decodes the same streams into fresh memory of the known output size each time, and
// every output is compared with the original. The sides take turns within each repetition, and the
// best time of each counts.
int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    std::vector<SCase> cases;
    {
        SCase corpus;
        corpus.name = "corpus";
        corpus.Add(MakeCorpus(24u << 20), 6);
        cases.push_back(std::move(corpus));
        SCase png;
        png.name = "png-like";
        png.Add(MakeFilteredImage(1920, 1080, 3, 1), 6, Z_FILTERED);
        png.Add(MakeFilteredImage(2048, 1024, 4, 2), 6, Z_FILTERED);
        png.Add(MakeFilteredImage(640, 480, 3, 3), 9, Z_FILTERED);
        cases.push_back(std::move(png));
        cases.push_back(MakeZipLike());
    }
    bool allOk = true;
    std::printf("best of %d runs, CPU time of this thread; libdeflate decodes in memory in every comparison\n", runs);
    for (const SCase& c : cases) {
        std::vector<SResult> sides = {{"zlib inflate", ZlibDecode},
#ifdef OVE_HAVE_LIBDEFLATE
                                      {"libdeflate (in memory)", LibdeflateDecode},
#endif
                                      {"ove in memory", OveInMemory},
                                      {"ove stream, lent memory", OveStream<true>},
                                      {"ove stream, copying", OveStream<false>}};
        for (int r = 0; r < runs; ++r) {
            for (SResult& s : sides) {
                const double t0 = ThreadSeconds();
                s.ok = s.decode(c) && s.ok;
                s.best = std::min(s.best, ThreadSeconds() - t0);
            }
        }
        std::printf("\n%s: %zu entries, %zu bytes deflated to %zu\n", c.name, c.entries.size(), c.rawBytes,
                    c.streamBytes);
        const double mb = c.rawBytes / 1e6;
        for (const SResult& s : sides) {
            std::printf("  %-24s: %8.1f MB/s%s\n", s.name, mb / s.best, s.ok ? "" : "  (WRONG OUTPUT)");
            allOk = allOk && s.ok;
        }
        const std::size_t n = sides.size();
        const double zlib = sides.front().best, ours = sides[n - 3].best, lent = sides[n - 2].best,
                     copying = sides[n - 1].best;
        std::printf("  ratio ove/zlib          : in memory %.2f, stream %.2f, copying %.2f\n", zlib / ours,
                    zlib / lent, zlib / copying);
#ifdef OVE_HAVE_LIBDEFLATE
        const double libdeflate = sides[1].best;
        std::printf("  ratio ove/libdeflate    : in memory %.2f, stream %.2f, copying %.2f (libdeflate in memory)\n",
                    libdeflate / ours, libdeflate / lent, libdeflate / copying);
#endif
    }
    return allOk ? 0 : 1;
}
