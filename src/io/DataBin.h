// Byte streams every loader reads and every writer writes.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "io/Types.h"

namespace ove {

// Abstract random-access byte stream. Positions and sizes are 32-bit.
class CDataBin {
public:
    virtual ~CDataBin() = default;
    virtual void Seek(u32 position) = 0;
    virtual u32 Tell() = 0;
    virtual u32 GetSize() = 0;
    virtual u32 Write(const void* data, u32 count) = 0;
    virtual u32 Read(void* data, u32 count) = 0;
    virtual bool IsOpen() = 0;
    virtual bool CanWrite() = 0;
    virtual bool CanRead() = 0;
    virtual void Reserve(u32 /*count*/) {}
    // Next byte without consuming it; 0 at the end of the stream.
    virtual u8 PeekByte();

    CDataBin() = default;
    CDataBin(const CDataBin&) = delete;
    CDataBin& operator=(const CDataBin&) = delete;
};

// A file on disk. Mode strings are the C library's ("rb", "wb", "r+", ...).
// Position and size of a stdio stream as data bins report them: 0 without a stream or on failure.
u32 StreamTell(std::FILE* stream);
u32 StreamSize(std::FILE* stream);

class CFile : public CDataBin {
public:
    CFile(const char* path, const char* mode);
    ~CFile() override;
    void Seek(u32 position) override;
    u32 Tell() override;
    u32 GetSize() override;
    u32 Write(const void* data, u32 count) override;
    u32 Read(void* data, u32 count) override;
    bool IsOpen() override { return m_stream != nullptr; }
    bool CanWrite() override { return m_stream && (m_access & 2); }
    bool CanRead() override { return m_stream && (m_access & 1); }
    u8 PeekByte() override;
    u32 AccessMode() const { return m_access; }

private:
    std::FILE* m_stream = nullptr;
    u32 m_access = 0;  // bit 0 read, bit 1 write
};

// A growable memory stream.
class CBuffer : public CDataBin {
public:
    CBuffer() = default;
    explicit CBuffer(std::vector<u8> bytes) : m_bytes(std::move(bytes)) {}
    CBuffer(const void* data, u32 count);
    void Seek(u32 position) override;
    u32 Tell() override { return m_position; }
    u32 GetSize() override { return static_cast<u32>(m_bytes.size()); }
    u32 Write(const void* data, u32 count) override;
    u32 Read(void* data, u32 count) override;
    bool IsOpen() override { return true; }
    bool CanWrite() override { return true; }
    bool CanRead() override { return true; }
    void Reserve(u32 count) override;
    u8 PeekByte() override;

    const std::vector<u8>& Bytes() const { return m_bytes; }
    std::vector<u8>& Bytes() { return m_bytes; }

private:
    u32 m_position = 0;
    std::vector<u8> m_bytes;
};

// Read-only window onto part of another stream, which it owns.
class CSegment : public CDataBin {
public:
    CSegment(CDataBin* inner, u32 start, u32 length);
    ~CSegment() override;
    void Seek(u32 position) override;
    u32 Tell() override;
    u32 GetSize() override { return m_length; }
    u32 Write(const void*, u32) override { return 0; }
    u32 Read(void* data, u32 count) override;
    bool IsOpen() override { return m_inner != nullptr; }
    bool CanWrite() override { return false; }
    bool CanRead() override { return m_inner && m_inner->CanRead(); }

private:
    CDataBin* m_inner;
    u32 m_start = 0;
    u32 m_length = 0;
};

// Whole remaining content of a stream (from its current position).
std::vector<u8> ReadAll(CDataBin& bin);

}  // namespace ove
