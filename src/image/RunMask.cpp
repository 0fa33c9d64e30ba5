#include "RunMask.h"

#include <algorithm>
#include <cstring>

#include "io/DataBin.h"

namespace ove {

namespace {

bool ReadU32(CDataBin* file, u32& value) {
    u8 b[4];
    if (file->Read(b, 4) != 4) return false;
    value = u32(b[0]) | u32(b[1]) << 8 | u32(b[2]) << 16 | u32(b[3]) << 24;
    return true;
}

void WriteU32(CDataBin* file, u32 value) {
    u8 b[4] = {u8(value), u8(value >> 8), u8(value >> 16), u8(value >> 24)};
    file->Write(b, 4);
}

}  // namespace

bool CRunMask::Load(CDataBin* file) {
    m_runs.clear();
    m_ends.clear();
    m_pixelCount = 0;
    if (!file) return false;
    u32 pixels = 0, count = 0;
    if (!ReadU32(file, pixels) || !ReadU32(file, count)) return false;
    // Never trust the count for the allocation: the runs must be in the stream.
    u32 size = file->GetSize(), pos = file->Tell();
    if (pos > size || u64(count) * 4 > size - pos) return false;
    std::vector<u8> raw(std::size_t(count) * 4);
    if (count && file->Read(raw.data(), count * 4) != count * 4) return false;
    m_runs.resize(count);
    for (u32 i = 0; i < count; ++i) {
        const u8* b = &raw[std::size_t(i) * 4];
        m_runs[i] = u32(b[0]) | u32(b[1]) << 8 | u32(b[2]) << 16 | u32(b[3]) << 24;
    }
    m_pixelCount = pixels;
    Index();
    return true;
}

void CRunMask::Write(CDataBin* file) const {
    WriteU32(file, m_pixelCount);
    WriteU32(file, RunCount());
    std::vector<u8> raw(m_runs.size() * 4);
    for (std::size_t i = 0; i < m_runs.size(); ++i) {
        u32 r = m_runs[i];
        raw[i * 4] = u8(r);
        raw[i * 4 + 1] = u8(r >> 8);
        raw[i * 4 + 2] = u8(r >> 16);
        raw[i * 4 + 3] = u8(r >> 24);
    }
    if (!raw.empty()) file->Write(raw.data(), static_cast<u32>(raw.size()));
}

CRunMask CRunMask::Encode(const u8* values, u32 count) {
    CRunMask mask;
    mask.m_pixelCount = count;
    u32 i = 0;
    while (i < count) {
        u8 v = values[i];
        u32 n = 1;
        while (i + n < count && values[i + n] == v && n < kMaxRunLength) ++n;
        mask.m_runs.push_back(u32(v) << 24 | n);
        i += n;
    }
    mask.Index();
    return mask;
}

void CRunMask::Index() {
    m_ends.resize(m_runs.size());
    u64 end = 0;
    for (std::size_t i = 0; i < m_runs.size(); ++i) {
        end = std::min<u64>(end + RunLength(m_runs[i]), m_pixelCount);
        m_ends[i] = static_cast<u32>(end);
    }
}

u8 CRunMask::ValueAt(u32 index) const {
    if (index >= m_pixelCount) return 0;
    // First run whose end lies beyond the index; zero-length runs are skipped by this naturally.
    auto it = std::upper_bound(m_ends.begin(), m_ends.end(), index);
    if (it == m_ends.end()) return 0;
    return RunValue(m_runs[std::size_t(it - m_ends.begin())]);
}

void CRunMask::Expand(u8* buffer, std::size_t size) const {
    if (!buffer) return;
    std::size_t limit = std::min<std::size_t>(size, m_pixelCount);
    std::size_t at = 0;
    for (std::size_t i = 0; i < m_runs.size() && at < limit; ++i) {
        std::size_t n = std::min<std::size_t>(RunLength(m_runs[i]), limit - at);
        std::memset(buffer + at, RunValue(m_runs[i]), n);
        at += n;
    }
    if (at < size) std::memset(buffer + at, 0, size - at);
}

u32 CRunMask::ExpandLevel(u8* buffer, std::size_t size, u8 value) const {
    if (!buffer) return 0;
    std::size_t limit = std::min<std::size_t>(size, m_pixelCount);
    std::size_t at = 0;
    u32 written = 0;
    for (std::size_t i = 0; i < m_runs.size() && at < limit; ++i) {
        std::size_t n = std::min<std::size_t>(RunLength(m_runs[i]), limit - at);
        if (RunValue(m_runs[i]) == value) {
            std::memset(buffer + at, value, n);
            written += static_cast<u32>(n);
        }
        at += n;
    }
    return written;
}

}  // namespace ove
