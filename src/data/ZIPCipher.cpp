#include "ZIPCipher.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

namespace ove {

namespace {

constexpr std::array<u32, 256> MakeCrcTable() {
    std::array<u32, 256> table{};
    for (u32 n = 0; n < 256; ++n) {
        u32 c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<u32, 256> kCrcTable = MakeCrcTable();

constexpr u32 kChunk = 8192;
constexpr u32 kHeaderSize = 12;

}  // namespace

u32 Crc32Step(u32 crc, u8 byte) { return kCrcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8); }

u32 Crc32(const void* data, size_t count, u32 crc) {
    const u8* p = static_cast<const u8*>(data);
    crc = ~crc;
    for (size_t i = 0; i < count; ++i) crc = Crc32Step(crc, p[i]);
    return ~crc;
}

// ---- CZIPCrypt

CZIPCrypt::~CZIPCrypt() { delete inner_; }

void CZIPCrypt::InitKeys(const char* password) {
    keys_[0] = 0x12345678;
    keys_[1] = 0x23456789;
    keys_[2] = 0x34567890;
    if (password)
        for (const char* p = password; *p; ++p) UpdateKeys(static_cast<u8>(*p));
}

void CZIPCrypt::UpdateKeys(u8 plain) {
    keys_[0] = Crc32Step(keys_[0], plain);
    keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
    keys_[2] = Crc32Step(keys_[2], static_cast<u8>(keys_[1] >> 24));
}

u8 CZIPCrypt::KeyStreamByte() const {
    u32 k = (keys_[2] & 0xFFFF) | 2;
    return static_cast<u8>((k * (k ^ 1)) >> 8);
}

// ---- CZIPDecrypt

CZIPDecrypt::CZIPDecrypt(CDataBin* inner, const char* password) : CZIPCrypt(inner) {
    InitKeys(password);
    if (inner_) {
        innerStart_ = inner_->Tell();
        u8 header[kHeaderSize] = {};
        u32 got = inner_->Read(header, kHeaderSize);
        for (u32 i = 0; i < got; ++i) header[i] = DecryptByte(header[i]);
        // A stream too short to hold the header has no check byte and no plaintext.
        if (got == kHeaderSize) checkByte_ = header[kHeaderSize - 1];
        u32 total = inner_->GetSize();
        u32 dataStart = innerStart_ + kHeaderSize;
        size_ = total > dataStart ? total - dataStart : 0;
    }
    std::memcpy(savedKeys_, keys_, sizeof keys_);
    position_ = 0;
}

u32 CZIPDecrypt::Read(void* data, u32 count) {
    if (!inner_ || count == 0) return 0;
    u32 k = inner_->Read(data, count);
    position_ += k;
    u8* p = static_cast<u8*>(data);
    for (u32 i = 0; i < k; ++i) p[i] = DecryptByte(p[i]);
    return k;
}

void CZIPDecrypt::Seek(u32 position) {
    if (!inner_) return;
    if (position < position_) {
        // The cipher only runs forwards: restart just after the header.
        inner_->Seek(innerStart_ + kHeaderSize);
        std::memcpy(keys_, savedKeys_, sizeof keys_);
        position_ = 0;
    }
    u8 scratch[kChunk];
    while (position_ < position) {
        if (Read(scratch, std::min(kChunk, position - position_)) == 0) break;
    }
}

u8 CZIPDecrypt::PeekByte() {
    if (inner_) {
        u32 keys[3];
        std::memcpy(keys, keys_, sizeof keys);
        const u32 innerAt = inner_->Tell();
        u8 b = 0;
        if (Read(&b, 1) == 1) {
            std::memcpy(keys_, keys, sizeof keys);
            inner_->Seek(innerAt);
            --position_;
            return b;
        }
    }
    Seek(Tell() - 1);  // at the end the base form steps back one byte; keep that
    return 0;
}

// ---- CZIPEncrypt

CZIPEncrypt::CZIPEncrypt(CDataBin* inner, const char* password, u8 checkByte) : CZIPCrypt(inner) {
    InitKeys(password);
    if (inner_) {
        u8 header[kHeaderSize];
        for (u32 i = 0; i + 1 < kHeaderSize; ++i) header[i] = static_cast<u8>(std::rand() & 0xFF);
        header[kHeaderSize - 1] = checkByte;
        checkByte_ = checkByte;
        Write(header, kHeaderSize);
    }
}

u32 CZIPEncrypt::Write(const void* data, u32 count) {
    if (!inner_ || count == 0) return 0;
    const u8* src = static_cast<const u8*>(data);
    u8 chunk[kChunk];
    u32 total = 0;
    while (total < count) {
        u32 n = std::min(kChunk, count - total);
        for (u32 i = 0; i < n; ++i) chunk[i] = EncryptByte(src[total + i]);
        u32 written = inner_->Write(chunk, n);
        position_ += written;
        size_ += written;
        total += written;
        if (written < n) break;
    }
    return total;
}

}  // namespace ove
