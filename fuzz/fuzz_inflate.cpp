// Raw deflate streams as archive entries hold them, decoded three ways that must agree: through
// data bins (as archives do), in memory, and pulled in small pieces through the stream reader.
// The in-memory decoder and the stream reader meet the end of their input in different places.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "FuzzInput.h"
#include "io/Inflate.h"

using namespace ove;

namespace {

#ifndef OVE_FUZZ_DEFLATE64
constexpr bool kDeflate64 = false;
#else
constexpr bool kDeflate64 = true;
#endif

class CPieces : public inflate_detail::CInflateSource {
public:
    CPieces(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    std::size_t Pull(std::uint8_t* to, std::size_t room) override {
        const std::size_t n = std::min({room, std::size_t(7), m_size - m_pos});
        if (n) std::memcpy(to, m_data + m_pos, n);
        m_pos += n;
        return n;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size, m_pos = 0;
};

class CCollect : public inflate_detail::CInflateSink {
public:
    bool Take(const std::uint8_t* data, std::size_t count) override {
        out.insert(out.end(), data, data + count);
        return true;
    }
    std::vector<std::uint8_t> out;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::uint64_t kLimit = std::uint64_t(8) << 20;
    CBuffer in = fuzz::MakeBin(data, size);
    CBuffer out;
    const bool ok = kDeflate64 ? Inflate64(&in, &out, kLimit) : Inflate(&in, &out, kLimit);

    // One byte over the limit shows that the output would not have fitted.
    std::vector<std::uint8_t> memory;
    const bool memoryOk = inflate_detail::InflateToVector(data, size, kDeflate64, memory, nullptr, 0, kLimit + 1);
    if (ok != (memoryOk && memory.size() <= kLimit)) std::abort();
    if (ok && out.Bytes() != memory) std::abort();

    CPieces source(data, size);
    CCollect sink;
    const auto result = inflate_detail::InflateStream(source, sink, kDeflate64, kLimit + 1);
    if ((result == inflate_detail::EStreamResult::Corrupt) == memoryOk) std::abort();
    if (memoryOk && sink.out != memory) std::abort();
    return 0;
}
