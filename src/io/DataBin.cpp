#include "DataBin.h"

#include "Durable.h"

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
    if (!mode) m_access = 0;
    else if (std::strchr(mode, '+')) m_access = 3;
    else if (std::strchr(mode, 'w')) m_access = 2;
    else if (std::strchr(mode, 'r')) m_access = 1;
    else m_access = 0;
    if (path && *path && mode) m_stream = std::fopen(path, mode);
}

CFile::~CFile() {
    if (!m_stream) return;
    std::fclose(m_stream);
    if (m_access & 2) PersistFileChanges();
}

void CFile::Seek(u32 position) {
    if (m_stream) std::fseek(m_stream, static_cast<long>(position), SEEK_SET);
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

u32 CFile::Tell() { return StreamTell(m_stream); }

u32 CFile::GetSize() { return StreamSize(m_stream); }

u32 CFile::Write(const void* data, u32 count) {
    if (!m_stream || !(m_access & 2) || count == 0) return 0;
    return static_cast<u32>(std::fwrite(data, 1, count, m_stream));
}

u32 CFile::Read(void* data, u32 count) {
    if (!m_stream || !(m_access & 1) || count == 0) return 0;
    return static_cast<u32>(std::fread(data, 1, count, m_stream));
}

u8 CFile::PeekByte() {
    if (!m_stream) return 0;
    int c = std::fgetc(m_stream);
    if (c == EOF) return 0;
    std::fseek(m_stream, -1, SEEK_CUR);
    return static_cast<u8>(c);
}

// ---- CBuffer

CBuffer::CBuffer(const void* data, u32 count)
    : m_bytes(static_cast<const u8*>(data), static_cast<const u8*>(data) + count) {}

void CBuffer::Seek(u32 position) { m_position = std::min<u32>(position, GetSize()); }

u32 CBuffer::Write(const void* data, u32 count) {
    if (count == 0) return 0;
    size_t end = static_cast<size_t>(m_position) + count;
    if (end > 0xFFFFFFFFull) return 0;  // a 32-bit stream cannot grow past 4 GiB
    if (end > m_bytes.size()) m_bytes.resize(end);
    std::memcpy(m_bytes.data() + m_position, data, count);
    m_position += count;
    return count;
}

u32 CBuffer::Read(void* data, u32 count) {
    if (count == 0) return 0;
    u32 k = std::min<u32>(GetSize() - m_position, count);
    if (k) std::memcpy(data, m_bytes.data() + m_position, k);
    m_position += k;
    return k;
}

void CBuffer::Reserve(u32 count) { m_bytes.reserve(static_cast<size_t>(m_position) + count); }

u8 CBuffer::PeekByte() { return m_position < m_bytes.size() ? m_bytes[m_position] : 0; }

// ---- CSegment

CSegment::CSegment(CDataBin* inner, u32 start, u32 length) : m_inner(inner) {
    if (!m_inner) return;
    u32 s = m_inner->GetSize();
    m_start = std::min(start, s);
    m_length = (static_cast<uint64_t>(m_start) + length > s) ? s - m_start : length;
    m_inner->Seek(m_start);
}

CSegment::~CSegment() { delete m_inner; }

void CSegment::Seek(u32 position) {
    if (m_inner) m_inner->Seek(m_start + std::min(position, m_length));
}

u32 CSegment::Tell() { return m_inner ? m_inner->Tell() - m_start : 0; }

u32 CSegment::Read(void* data, u32 count) {
    if (!m_inner) return 0;
    u32 at = Tell();
    if (at >= m_length) return 0;  // the inner stream was moved outside the window
    return m_inner->Read(data, std::min(m_length - at, count));
}

}  // namespace ove
