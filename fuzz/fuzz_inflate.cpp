// Raw deflate streams as archive entries hold them, decoded four ways that must agree: through
// data bins (as archives do), in memory, pulled in small pieces through the stream reader, and
// into memory lent by the sink, exactly as large as the output (and one byte smaller, refused).
// The in-memory decoder and the stream reader meet the end of their input in different places.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
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

// Lends exactly `size` bytes on the heap, so that a write past them is caught.
class CLender : public inflate_detail::CInflateSink {
public:
    explicit CLender(std::size_t size) : m_memory(std::make_unique<std::uint8_t[]>(size)), m_size(size) {}
    std::uint8_t* Lend(std::size_t& size) override {
        size = m_size;
        return m_memory.get();
    }
    bool Take(const std::uint8_t* data, std::size_t count) override {
        if (data != m_memory.get() + taken || count > m_size - taken) std::abort();
        taken += count;
        return true;
    }
    bool Holds(const ByteVector& v) const {
        return taken == v.size() && std::equal(v.begin(), v.end(), m_memory.get());
    }
    std::size_t taken = 0;

private:
    std::unique_ptr<std::uint8_t[]> m_memory;
    std::size_t m_size;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::uint64_t kLimit = std::uint64_t(8) << 20;
    CBuffer in = fuzz::MakeBin(data, size);
    CBuffer out;
    const bool ok = kDeflate64 ? Inflate64(&in, &out, kLimit) : Inflate(&in, &out, kLimit);

    // One byte over the limit shows that the output would not have fitted.
    ByteVector memory;
    const bool memoryOk = inflate_detail::InflateToVector(data, size, kDeflate64, memory, nullptr, 0, kLimit + 1);
    if (ok != (memoryOk && memory.size() <= kLimit)) std::abort();
    if (ok && !std::ranges::equal(out.Bytes(), memory)) std::abort();

    CPieces source(data, size);
    CCollect sink;
    const auto result = inflate_detail::InflateStream(source, sink, kDeflate64, kLimit + 1);
    if ((result == inflate_detail::EStreamResult::Corrupt) == memoryOk) std::abort();
    if (memoryOk && !std::ranges::equal(sink.out, memory)) std::abort();

    if (memoryOk && memory.size() <= kLimit) {
        CPieces again(data, size);
        CLender exact(memory.size());
        if (inflate_detail::InflateStream(again, exact, kDeflate64) != inflate_detail::EStreamResult::Ended ||
            !exact.Holds(memory))
            std::abort();
        if (!memory.empty()) {
            CPieces third(data, size);
            CLender tight(memory.size() - 1);
            if (inflate_detail::InflateStream(third, tight, kDeflate64) != inflate_detail::EStreamResult::Refused)
                std::abort();
        }
    }
    return 0;
}
