// Our Inflate against zlib's inflate and libdeflate on the same raw DEFLATE stream (zlib level 6),
// in one run. Prints the decompressed throughput of each and our ratios.
#include <zlib.h>

#ifdef OVE_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "io/DataBin.h"
#include "io/Inflate.h"

namespace {

using Bytes = std::vector<unsigned char>;

// About 24 MB: prose-like text, repetitive binary records, noisy pixel-like rows and runs.
Bytes MakeCorpus(std::size_t size) {
    static const char* kWords[] = {"the",   "adventure", "engine", "draws", "sprites", "walk",   "behind", "a",
                                   "door",  "key",       "opens",  "the",   "castle",  "north",  "room",   "script",
                                   "calls", "Init",      "Run",    "to",    "player",  "says",   "hello",  "of"};
    std::mt19937 rng(1234);
    Bytes b;
    b.reserve(size);
    while (b.size() < size) {
        switch (rng() % 4) {
        case 0:  // text
            for (int i = 0, n = 200 + rng() % 4000; i < n; ++i) {
                const char* w = kWords[rng() % (sizeof kWords / sizeof *kWords)];
                b.insert(b.end(), w, w + std::strlen(w));
                b.push_back(rng() % 14 == 0 ? '\n' : ' ');
            }
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

Bytes RawDeflate(const Bytes& in, int level) {
    z_stream zs{};
    deflateInit2(&zs, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
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

// Median of the runs in CPU time of this thread (user and system, so page faults count): on a
// machine shared with other work, wall-clock time measures the other work as much as ours.
double ThreadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

template <class F>
double MedianSeconds(int runs, F&& f) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const double t0 = ThreadSeconds();
        f();
        t.push_back(ThreadSeconds() - t0);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

bool Same(const unsigned char* out, std::size_t size, const Bytes& expected) {
    return out && size == expected.size() && std::memcmp(out, expected.data(), size) == 0;
}

}  // namespace

// Every side decodes the same stream into fresh memory sized from the known output size, as a
// caller that knows the declared size would, and every output is compared with the corpus.
int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const Bytes corpus = MakeCorpus(24u << 20);
    const Bytes stream = RawDeflate(corpus, 6);
    const std::size_t size = corpus.size();
    std::printf("corpus %zu bytes, deflated (zlib level 6) to %zu bytes\n", size, stream.size());

    std::unique_ptr<unsigned char[]> zout;
    std::size_t zsize = 0;
    const double tz = MedianSeconds(runs, [&] {
        zout = std::make_unique_for_overwrite<unsigned char[]>(size);
        z_stream zs{};
        inflateInit2(&zs, -15);
        zs.next_in = const_cast<Bytef*>(stream.data());
        zs.avail_in = static_cast<uInt>(stream.size());
        zs.next_out = zout.get();
        zs.avail_out = static_cast<uInt>(size);
        zsize = inflate(&zs, Z_FINISH) == Z_STREAM_END ? zs.total_out : 0;
        inflateEnd(&zs);
    });
    const bool zok = Same(zout.get(), zsize, corpus);
    zout.reset();

    [[maybe_unused]] double td = 0;
    bool dok = true;
#ifdef OVE_HAVE_LIBDEFLATE
    std::unique_ptr<unsigned char[]> dout;
    std::size_t dsize = 0;
    td = MedianSeconds(runs, [&] {
        dout = std::make_unique_for_overwrite<unsigned char[]>(size);
        libdeflate_decompressor* d = libdeflate_alloc_decompressor();
        if (libdeflate_deflate_decompress(d, stream.data(), stream.size(), dout.get(), size, &dsize) !=
            LIBDEFLATE_SUCCESS)
            dsize = 0;
        libdeflate_free_decompressor(d);
    });
    dok = Same(dout.get(), dsize, corpus);
    dout.reset();
#endif

    // Through data bins, as archives use it: the output buffer reserves the declared size.
    ove::CBuffer input(stream.data(), static_cast<ove::u32>(stream.size()));
    std::unique_ptr<ove::CBuffer> bout;
    bool bok = true;
    const double tb = MedianSeconds(runs, [&] {
        bout = std::make_unique<ove::CBuffer>();
        bout->Reserve(static_cast<ove::u32>(size));
        input.Seek(0);
        bok = ove::Inflate(&input, bout.get(), size) && bok;
    });
    bok = bok && Same(bout->Bytes().data(), bout->Bytes().size(), corpus);
    bout.reset();

    // In memory, told the expected size.
    std::unique_ptr<Bytes> vout;
    bool vok = true;
    const double tv = MedianSeconds(runs, [&] {
        vout = std::make_unique<Bytes>();
        vok = ove::inflate_detail::InflateToVector(stream.data(), stream.size(), false, *vout, nullptr, size) && vok;
    });
    vok = vok && Same(vout->data(), vout->size(), corpus);
    vout.reset();

    const double mb = size / 1e6;
    std::printf("zlib inflate            : %8.1f MB/s%s\n", mb / tz, zok ? "" : "  (WRONG)");
#ifdef OVE_HAVE_LIBDEFLATE
    std::printf("libdeflate              : %8.1f MB/s%s\n", mb / td, dok ? "" : "  (WRONG)");
#endif
    std::printf("ove Inflate (CBuffer)   : %8.1f MB/s%s\n", mb / tb, bok ? "" : "  (WRONG)");
    std::printf("ove in-memory decoder   : %8.1f MB/s%s\n", mb / tv, vok ? "" : "  (WRONG)");
    std::printf("ratio ove/zlib          : %.2f (in-memory %.2f)\n", tz / tb, tz / tv);
#ifdef OVE_HAVE_LIBDEFLATE
    std::printf("ratio ove/libdeflate    : %.2f (in-memory %.2f)\n", td / tb, td / tv);
#endif
    return zok && dok && bok && vok ? 0 : 1;
}
