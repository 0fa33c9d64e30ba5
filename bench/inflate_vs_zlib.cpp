// Our Inflate against zlib's inflate on the same raw DEFLATE stream (zlib level 6), in one run.
// Prints the decompressed throughput of both and our share of zlib's.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "data/DataBin.h"
#include "image/Inflate.h"

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

template <class F>
double BestSeconds(int runs, F&& f) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        f();
        auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const Bytes corpus = MakeCorpus(24u << 20);
    const Bytes stream = RawDeflate(corpus, 6);
    std::printf("corpus %zu bytes, deflated (zlib level 6) to %zu bytes\n", corpus.size(), stream.size());

    Bytes zout(corpus.size());
    bool zok = true;
    double tz = BestSeconds(runs, [&] {
        z_stream zs{};
        inflateInit2(&zs, -15);
        zs.next_in = const_cast<Bytef*>(stream.data());
        zs.avail_in = static_cast<uInt>(stream.size());
        zs.next_out = zout.data();
        zs.avail_out = static_cast<uInt>(zout.size());
        zok = inflate(&zs, Z_FINISH) == Z_STREAM_END && zs.total_out == corpus.size();
        inflateEnd(&zs);
    });

    bool ours = true;
    ove::CBuffer input(stream.data(), static_cast<ove::u32>(stream.size()));
    double to = BestSeconds(runs, [&] {
        input.Seek(0);
        ove::CBuffer output;
        ours = ove::Inflate(&input, &output) && output.Bytes() == corpus;
    });
    // The equality check above is not the decoder's work: time it alone and take it off.
    ove::CBuffer check(corpus.data(), static_cast<ove::u32>(corpus.size()));
    double tcmp = BestSeconds(runs, [&] { ours = ours && check.Bytes() == corpus; });
    to = std::max(to - tcmp, 1e-9);

    Bytes vout;
    bool vok = true;
    double tv = BestSeconds(runs, [&] {
        vout.clear();
        vok = ove::inflate_detail::InflateToVector(stream.data(), stream.size(), false, vout, nullptr, corpus.size());
    });
    vok = vok && vout == corpus;

    const double mb = corpus.size() / 1e6;
    std::printf("zlib inflate            : %8.1f MB/s%s\n", mb / tz, zok ? "" : "  (FAILED)");
    std::printf("ove Inflate (CBuffer)   : %8.1f MB/s%s\n", mb / to, ours ? "" : "  (FAILED)");
    std::printf("ove in-memory decoder   : %8.1f MB/s%s\n", mb / tv, vok ? "" : "  (FAILED)");
    std::printf("ratio ove/zlib          : %.2f (in-memory %.2f)\n", tz / to, tz / tv);
    return zok && ours && vok ? 0 : 1;
}
