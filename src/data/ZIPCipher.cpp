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

CZIPCrypt::~CZIPCrypt() { delete m_inner; }

void CZIPCrypt::InitKeys(const char* password) {
    m_keys[0] = 0x12345678;
    m_keys[1] = 0x23456789;
    m_keys[2] = 0x34567890;
    if (password)
        for (const char* p = password; *p; ++p) UpdateKeys(static_cast<u8>(*p));
}

void CZIPCrypt::UpdateKeys(u8 plain) {
    m_keys[0] = Crc32Step(m_keys[0], plain);
    m_keys[1] = (m_keys[1] + (m_keys[0] & 0xFF)) * 134775813u + 1;
    m_keys[2] = Crc32Step(m_keys[2], static_cast<u8>(m_keys[1] >> 24));
}

u8 CZIPCrypt::KeyStreamByte() const {
    u32 k = (m_keys[2] & 0xFFFF) | 2;
    return static_cast<u8>((k * (k ^ 1)) >> 8);
}

// ---- CZIPDecrypt

CZIPDecrypt::CZIPDecrypt(CDataBin* inner, const char* password) : CZIPCrypt(inner) {
    InitKeys(password);
    if (m_inner) {
        m_innerStart = m_inner->Tell();
        u8 header[kHeaderSize] = {};
        u32 got = m_inner->Read(header, kHeaderSize);
        for (u32 i = 0; i < got; ++i) header[i] = DecryptByte(header[i]);
        // A stream too short to hold the header has no check byte and no plaintext.
        if (got == kHeaderSize) m_checkByte = header[kHeaderSize - 1];
        u32 total = m_inner->GetSize();
        u32 dataStart = m_innerStart + kHeaderSize;
        m_size = total > dataStart ? total - dataStart : 0;
    }
    std::memcpy(m_savedKeys, m_keys, sizeof m_keys);
    m_position = 0;
}

u32 CZIPDecrypt::Read(void* data, u32 count) {
    if (!m_inner || count == 0) return 0;
    u32 k = m_inner->Read(data, count);
    m_position += k;
    u8* p = static_cast<u8*>(data);
    for (u32 i = 0; i < k; ++i) p[i] = DecryptByte(p[i]);
    return k;
}

void CZIPDecrypt::Seek(u32 position) {
    if (!m_inner) return;
    if (position < m_position) {
        // The cipher only runs forwards: restart just after the header.
        m_inner->Seek(m_innerStart + kHeaderSize);
        std::memcpy(m_keys, m_savedKeys, sizeof m_keys);
        m_position = 0;
    }
    u8 scratch[kChunk];
    while (m_position < position) {
        if (Read(scratch, std::min(kChunk, position - m_position)) == 0) break;
    }
}

u8 CZIPDecrypt::PeekByte() {
    if (m_inner) {
        u32 keys[3];
        std::memcpy(keys, m_keys, sizeof keys);
        const u32 innerAt = m_inner->Tell();
        u8 b = 0;
        if (Read(&b, 1) == 1) {
            std::memcpy(m_keys, keys, sizeof keys);
            m_inner->Seek(innerAt);
            --m_position;
            return b;
        }
    }
    Seek(Tell() - 1);  // at the end the base form steps back one byte; keep that
    return 0;
}

// ---- CZIPEncrypt

CZIPEncrypt::CZIPEncrypt(CDataBin* inner, const char* password, u8 checkByte) : CZIPCrypt(inner) {
    InitKeys(password);
    if (m_inner) {
        u8 header[kHeaderSize];
        for (u32 i = 0; i + 1 < kHeaderSize; ++i) header[i] = static_cast<u8>(std::rand() & 0xFF);
        header[kHeaderSize - 1] = checkByte;
        m_checkByte = checkByte;
        Write(header, kHeaderSize);
    }
}

u32 CZIPEncrypt::Write(const void* data, u32 count) {
    if (!m_inner || count == 0) return 0;
    const u8* src = static_cast<const u8*>(data);
    u8 chunk[kChunk];
    u32 total = 0;
    while (total < count) {
        u32 n = std::min(kChunk, count - total);
        for (u32 i = 0; i < n; ++i) chunk[i] = EncryptByte(src[total + i]);
        u32 written = m_inner->Write(chunk, n);
        m_position += written;
        m_size += written;
        total += written;
        if (written < n) break;
    }
    return total;
}

}  // namespace ove
