// The traditional PKWARE stream cipher of ZIP archives, as data bins. Used for encrypted archive
// entries and for enciphered script data files.
#pragma once
#include <cstddef>

#include "io/DataBin.h"

namespace ove {

// CRC-32 (reflected polynomial 0xEDB88320), as in ZIP and PNG.
u32 Crc32Step(u32 crc, u8 byte);
// CRC-32 of a block, continuing from `crc` (0 to start).
u32 Crc32(const void* data, size_t count, u32 crc = 0);

// Base of both cipher streams: the three keys and the inner stream, which it owns.
class CZIPCrypt : public CDataBin {
public:
    ~CZIPCrypt() override;
    u32 Tell() override { return m_position; }
    u32 GetSize() override { return m_size; }
    bool IsOpen() override { return m_inner != nullptr; }
    // The twelfth byte of the encryption header, or -1 when no header was read or written.
    i32 CheckByte() const { return m_checkByte; }

protected:
    explicit CZIPCrypt(CDataBin* inner) : m_inner(inner) {}
    void InitKeys(const char* password);
    void UpdateKeys(u8 plain);
    u8 KeyStreamByte() const;
    u8 DecryptByte(u8 cipher) {
        u8 plain = static_cast<u8>(cipher ^ KeyStreamByte());
        UpdateKeys(plain);
        return plain;
    }
    u8 EncryptByte(u8 plain) {
        u8 cipher = static_cast<u8>(plain ^ KeyStreamByte());
        UpdateKeys(plain);
        return cipher;
    }

    CDataBin* m_inner;
    u32 m_size = 0;
    u32 m_position = 0;
    u32 m_savedKeys[3] = {};
    u32 m_keys[3] = {};
    i32 m_checkByte = -1;
};

// Reads an enciphered stream: the 12-byte header is consumed at construction, after which the
// stream presents the plaintext that follows it.
class CZIPDecrypt : public CZIPCrypt {
public:
    CZIPDecrypt(CDataBin* inner, const char* password);
    void Seek(u32 position) override;
    u32 Write(const void*, u32) override { return 0; }
    u32 Read(void* data, u32 count) override;
    bool CanWrite() override { return false; }
    bool CanRead() override { return m_inner && m_inner->CanRead(); }
    // Same result as the base form, without rewinding the cipher to the header to step back.
    u8 PeekByte() override;

private:
    u32 m_innerStart = 0;  // where the header began in the inner stream
};

// Writes an enciphered stream: a 12-byte header (11 random bytes and the check byte) is written
// at construction; position and size count it.
class CZIPEncrypt : public CZIPCrypt {
public:
    CZIPEncrypt(CDataBin* inner, const char* password, u8 checkByte);
    void Seek(u32) override {}
    u32 Write(const void* data, u32 count) override;
    u32 Read(void*, u32) override { return 0; }
    bool CanWrite() override { return m_inner && m_inner->CanWrite(); }
    bool CanRead() override { return false; }
};

}  // namespace ove
