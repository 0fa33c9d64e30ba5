// The engine's own DEFLATE decoder (RFC 1951), with the deflate64 variant used by ZIP method 9.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "DataBin.h"
#include "Uninitialised.h"

namespace ove {

// Decode the raw DEFLATE stream from the input's current position to its end and append the result
// at the output's current position. On success the input is left just past the last byte of the
// stream and the output back where it was when decoding began. On failure whatever was already
// flushed (whole 64 KiB blocks) stays in the output. False when either stream is missing, the input
// cannot be read, the output cannot be written, the stream is corrupt or truncated, or it would
// produce more than `limit` bytes (an archive entry's declared size, say).
bool Inflate(CDataBin* input, CDataBin* output, std::uint64_t limit = UINT64_MAX);
// The same with deflate64: 64 KiB window, length code 285 with 16 extra bits, distance codes 30 and 31.
bool Inflate64(CDataBin* input, CDataBin* output, std::uint64_t limit = UINT64_MAX);

namespace inflate_detail {

// Decodes a raw stream held in memory and appends to `out`. `consumed` receives the number of
// input bytes the stream used (the last one possibly partly); `expected` is a size hint for the
// output. For callers that already hold the data in memory; Inflate and Inflate64 are built on the
// same decoder. Decoding ends successfully, without looking further, once `cap` bytes have been
// produced (`consumed` is then not meaningful). On failure `out` is left as it was.
bool InflateToVector(const std::uint8_t* data, std::size_t size, bool deflate64, ByteVector& out,
                     std::size_t* consumed = nullptr, std::size_t expected = 0, std::size_t cap = SIZE_MAX);

// Fresh memory of `bytes` bytes at `to` is about to be written whole: asks the system for large
// pages and for its page tables to be set up at once, which is much cheaper than faulting it in
// page by page. Only a hint; the contents do not change. Small blocks are left alone.
void PrepareForWriting(void* to, std::size_t bytes);

// Streaming decode: compressed bytes are pulled from a source as the decoder needs them and the
// output is handed to a sink piece by piece, so neither side has to be held in memory whole.
class CInflateSource {
public:
    virtual ~CInflateSource() = default;
    // Copies up to `room` further bytes of the stream to `to`; 0 once there are no more.
    virtual std::size_t Pull(std::uint8_t* to, std::size_t room) = 0;
};

class CInflateSink {
public:
    virtual ~CInflateSink() = default;
    // Takes the next decoded bytes, in order. False refuses them and ends decoding as a failure.
    virtual bool Take(const std::uint8_t* data, std::size_t count) = 0;
    // Memory in one piece for the whole output, when the sink has it (its declared size, say):
    // the decoder then writes straight into it, exactly and never past `size` bytes, and hands the
    // bytes over by Take with pointers into it, which need not be copied. A stream longer than
    // `size` is refused. Null when the sink has no such memory.
    virtual std::uint8_t* Lend(std::size_t& size) {
        size = 0;
        return nullptr;
    }
};

enum class EStreamResult {
    Ended,    // the final block ended
    Capped,   // `cap` bytes were produced; the rest of the stream was not looked at
    Corrupt,  // a damaged or truncated stream
    Refused,  // the sink refused its bytes
};

// Decodes the stream from `source` into `sink`, at most `cap` bytes. The sink receives whole
// multiples of `granule` bytes until the end, where it receives the rest; after a failure it has
// received only whole multiples. `consumedBytes` (optional) receives how much of the stream the
// decoder used when it Ended.
EStreamResult InflateStream(CInflateSource& source, CInflateSink& sink, bool deflate64, std::uint64_t cap = UINT64_MAX,
                            std::size_t granule = 1, std::uint64_t* consumedBytes = nullptr);

}  // namespace inflate_detail

}  // namespace ove
