// Helpers shared by the archive tests: a tree of sample files, peer archivers, zlib deflate.
#pragma once
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "data/ZIPCipher.h"
#include "io/DataBin.h"
#include "support/DeflateTestUtil.h"
#include "support/TestSupport.h"

namespace ziptest {

using Bytes = std::vector<unsigned char>;
using Tree = std::map<std::string, Bytes>;  // relative path with '/' -> contents

using pngtest::RandomBytes;

inline Bytes TextBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Data with repeats at distances beyond 32 KiB and runs longer than 258 bytes, which deflate64
// encodes with its extra distance codes and its long length code.
inline Bytes FarRepeats(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes block = RandomBytes(45000, seed);
    Bytes out;
    while (out.size() < n) {
        size_t from = rng() % 5000, len = 600 + rng() % 30000;
        for (size_t i = from; i < from + len && i < block.size(); ++i) out.push_back(block[i]);
        for (int i = 0; i < 8; ++i) out.push_back(static_cast<unsigned char>(rng()));
    }
    out.resize(n);
    return out;
}

// A small game-like tree: text, incompressible and compressible binaries, an empty file, folders
// and mixed-case names.
inline Tree SampleTree() {
    Tree t;
    t["main.ovs"] = TextBytes("function Init() {}\nfunction Run() { while (Display()) Wait(); }\n");
    t["settings.xml"] = TextBytes("<settings><game width=\"320\" height=\"240\" name=\"Zip test\"/></settings>\n");
    t["Sprites/Hero.PNG"] = RandomBytes(3000, 1);
    std::string text;
    for (int i = 0; i < 4000; ++i) text += "line " + std::to_string(i % 97) + " of the story\n";
    t["Rooms/hall/description.txt"] = TextBytes(text);
    t["empty.dat"] = {};
    t["music/theme.bin"] = FarRepeats(200000, 7);
    return t;
}

inline void WriteTree(const ovetest::TempDir& dir, const std::string& sub, const Tree& tree) {
    for (const auto& [name, data] : tree) dir.Write(sub + "/" + name, data);
}

inline std::string Quote(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

// Forwards to a stream it does not own, so a test can inspect what a wrapper wrote.
class CBorrow : public ove::CDataBin {
public:
    explicit CBorrow(ove::CDataBin* target) : m_target(target) {}
    void Seek(ove::u32 p) override { m_target->Seek(p); }
    ove::u32 Tell() override { return m_target->Tell(); }
    ove::u32 GetSize() override { return m_target->GetSize(); }
    ove::u32 Write(const void* d, ove::u32 n) override { return m_target->Write(d, n); }
    ove::u32 Read(void* d, ove::u32 n) override { return m_target->Read(d, n); }
    bool IsOpen() override { return m_target->IsOpen(); }
    bool CanWrite() override { return m_target->CanWrite(); }
    bool CanRead() override { return m_target->CanRead(); }

private:
    ove::CDataBin* m_target;
};

// Enciphers `plain` into a fresh buffer and returns the bytes written (header included).
inline Bytes Encipher(const Bytes& plain, const char* password, ove::u8 check) {
    ove::CBuffer sink;
    {
        ove::CZIPEncrypt enc(new CBorrow(&sink), password, check);
        EXPECT_EQ(enc.Tell(), 12u) << "the header counts in position and size";
        EXPECT_EQ(enc.Write(plain.data(), static_cast<ove::u32>(plain.size())), plain.size());
        EXPECT_EQ(enc.GetSize(), plain.size() + 12);
    }
    return sink.Bytes();
}

inline Bytes ReadBin(ove::CDataBin& bin) {
    bin.Seek(0);
    return ove::ReadAll(bin);
}

inline Bytes RawDeflate(const Bytes& in) {
    return pngtest::ZlibDeflate(in, Z_BEST_COMPRESSION, Z_DEFAULT_STRATEGY, -15, 9);
}

}  // namespace ziptest
