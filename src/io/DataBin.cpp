#include "DataBin.h"

#include <algorithm>
#include <cstring>

namespace ove {

u8 CDataBin::PeekByte() {
    u8 b = 0;
    Read(&b, 1);
    Seek(Tell() - 1);
    return b;
}

std::vector<u8> ReadAll(CDataBin& bin) {
    std::vector<u8> out;
    u32 size = bin.GetSize(), pos = bin.Tell();
    if (size > pos) out.resize(size - pos);
    u32 got = out.empty() ? 0 : bin.Read(out.data(), static_cast<u32>(out.size()));
    out.resize(got);
    return out;
}

// ---- CFile

CFile::CFile(const char* path, const char* mode) {
    if (!mode) access_ = 0;
    else if (std::strchr(mode, '+')) access_ = 3;
    else if (std::strchr(mode, 'w')) access_ = 2;
    else if (std::strchr(mode, 'r')) access_ = 1;
    else access_ = 0;
    if (path && *path && mode) stream_ = std::fopen(path, mode);
}

CFile::~CFile() {
    if (stream_) std::fclose(stream_);
}

void CFile::Seek(u32 position) {
    if (stream_) std::fseek(stream_, static_cast<long>(position), SEEK_SET);
}

u32 StreamTell(std::FILE* stream) {
    if (!stream) return 0;
    long p = std::ftell(stream);
    return p < 0 ? 0 : static_cast<u32>(p);
}

u32 StreamSize(std::FILE* stream) {
    if (!stream) return 0;
    long here = std::ftell(stream);
    std::fseek(stream, 0, SEEK_END);
    long end = std::ftell(stream);
    std::fseek(stream, here, SEEK_SET);
    return end < 0 ? 0 : static_cast<u32>(end);
}

u32 CFile::Tell() { return StreamTell(stream_); }

u32 CFile::GetSize() { return StreamSize(stream_); }

u32 CFile::Write(const void* data, u32 count) {
    if (!stream_ || !(access_ & 2) || count == 0) return 0;
    return static_cast<u32>(std::fwrite(data, 1, count, stream_));
}

u32 CFile::Read(void* data, u32 count) {
    if (!stream_ || !(access_ & 1) || count == 0) return 0;
    return static_cast<u32>(std::fread(data, 1, count, stream_));
}

u8 CFile::PeekByte() {
    if (!stream_) return 0;
    int c = std::fgetc(stream_);
    if (c == EOF) return 0;
    std::fseek(stream_, -1, SEEK_CUR);
    return static_cast<u8>(c);
}

// ---- CBuffer

CBuffer::CBuffer(const void* data, u32 count)
    : bytes_(static_cast<const u8*>(data), static_cast<const u8*>(data) + count) {}

void CBuffer::Seek(u32 position) { position_ = std::min<u32>(position, GetSize()); }

u32 CBuffer::Write(const void* data, u32 count) {
    if (count == 0) return 0;
    size_t end = static_cast<size_t>(position_) + count;
    if (end > 0xFFFFFFFFull) return 0;  // a 32-bit stream cannot grow past 4 GiB
    if (end > bytes_.size()) bytes_.resize(end);
    std::memcpy(bytes_.data() + position_, data, count);
    position_ += count;
    return count;
}

u32 CBuffer::Read(void* data, u32 count) {
    if (count == 0) return 0;
    u32 k = std::min<u32>(GetSize() - position_, count);
    if (k) std::memcpy(data, bytes_.data() + position_, k);
    position_ += k;
    return k;
}

void CBuffer::Reserve(u32 count) { bytes_.reserve(static_cast<size_t>(position_) + count); }

u8 CBuffer::PeekByte() { return position_ < bytes_.size() ? bytes_[position_] : 0; }

// ---- CSegment

CSegment::CSegment(CDataBin* inner, u32 start, u32 length) : inner_(inner) {
    if (!inner_) return;
    u32 s = inner_->GetSize();
    start_ = std::min(start, s);
    length_ = (static_cast<uint64_t>(start_) + length > s) ? s - start_ : length;
    inner_->Seek(start_);
}

CSegment::~CSegment() { delete inner_; }

void CSegment::Seek(u32 position) {
    if (inner_) inner_->Seek(start_ + std::min(position, length_));
}

u32 CSegment::Tell() { return inner_ ? inner_->Tell() - start_ : 0; }

u32 CSegment::Read(void* data, u32 count) {
    if (!inner_) return 0;
    u32 at = Tell();
    if (at >= length_) return 0;  // the inner stream was moved outside the window
    return inner_->Read(data, std::min(length_ - at, count));
}

}  // namespace ove
