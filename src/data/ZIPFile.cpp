#include "ZIPFile.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include "Warning.h"
#include "ZIPCipher.h"
#include "io/Inflate.h"

namespace ove {

namespace {

constexpr u32 kLocalHeaderSize = 30;
constexpr u32 kDescriptorSize = 16;
constexpr u32 kEncryptionHeaderSize = 12;
// The declared size only pre-sizes the output; a corrupt header must not make us reserve gigabytes.
constexpr u32 kMaxReserve = 64u << 20;

u32 Get16(const u8* p) { return p[0] | (p[1] << 8); }
u32 Get32(const u8* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<u32>(p[3]) << 24); }

void Put16(std::vector<u8>& v, u32 x) {
    v.push_back(static_cast<u8>(x));
    v.push_back(static_cast<u8>(x >> 8));
}
void Put32(std::vector<u8>& v, u32 x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}

// Lets a cipher stream write into a stream it must not delete.
class CBorrowed : public CDataBin {
public:
    explicit CBorrowed(CDataBin* target) : m_target(target) {}
    void Seek(u32 position) override { m_target->Seek(position); }
    u32 Tell() override { return m_target->Tell(); }
    u32 GetSize() override { return m_target->GetSize(); }
    u32 Write(const void* data, u32 count) override { return m_target->Write(data, count); }
    u32 Read(void* data, u32 count) override { return m_target->Read(data, count); }
    bool IsOpen() override { return m_target->IsOpen(); }
    bool CanWrite() override { return m_target->CanWrite(); }
    bool CanRead() override { return m_target->CanRead(); }

private:
    CDataBin* m_target;
};

}  // namespace

std::string NormaliseZIPName(const std::string& name) {
    std::string out = name;
    for (char& c : out) {
        if (c == '\\') c = '/';
        else if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

// ---- CZIPFile

CZIPFile::CZIPFile(std::string archivePath) : m_path(std::move(archivePath)), m_name("[ZIP:" + m_path + "]") {
    // Archives named by games may differ in case from the file on disk. Entries are opened long
    // after, when a script may have changed the current directory: keep the path absolute.
    m_diskPath = FindOnDisk(m_path);
    if (m_diskPath.empty()) m_diskPath = m_path;
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(m_diskPath, ec);
    if (!ec) m_diskPath = absolute.string();
}

bool CZIPFile::Scan() {
    if (m_scanned) return m_scanSucceeded;
    m_scanned = true;

    CFile file(m_diskPath.c_str(), "rb");  // a file that does not open yields no records
    const uint64_t fileSize = file.GetSize();
    try {
        for (;;) {
            u8 h[kLocalHeaderSize] = {};
            if (file.Read(h, kLocalHeaderSize) < kLocalHeaderSize) break;
            u32 signature = Get32(h);
            if (signature == kZIPCentralSignature) {
                m_sawRecord = true;
                break;
            }
            if (signature != kZIPLocalSignature && signature != m_signature) throw std::runtime_error("Unknown format");

            u32 flags = Get16(h + 6), method = Get16(h + 8), modTime = Get16(h + 10);
            u32 crc = Get32(h + 14), compressed = Get32(h + 18), uncompressed = Get32(h + 22);
            u32 nameLength = Get16(h + 26), extraLength = Get16(h + 28);

            m_sawRecord = true;
            const u32 headerOffset = file.Tell() - kLocalHeaderSize;
            std::string raw(nameLength, '\0');
            const u32 gotName = nameLength ? file.Read(raw.data(), nameLength) : 0;
            uint64_t dataOffset = static_cast<uint64_t>(file.Tell()) + extraLength;
            // A record cut short by the end of the file is dropped rather than served truncated,
            // and the walk says which.
            if (gotName < nameLength || dataOffset + compressed > fileSize) {
                raw.resize(gotName);
                m_dropped.push_back(SZIPDropped{std::move(raw), headerOffset});
                break;
            }
            if ((flags & 8) && (crc == 0 || uncompressed == 0) &&
                dataOffset + compressed + kDescriptorSize <= fileSize) {
                // Streamed entries carry their CRC-32 and size in the descriptor after the data.
                u8 d[kDescriptorSize];
                file.Seek(static_cast<u32>(dataOffset + compressed));
                if (file.Read(d, kDescriptorSize) == kDescriptorSize && Get32(d) == 0x08074B50) {
                    crc = Get32(d + 4);
                    uncompressed = Get32(d + 12);
                }
            }

            if (method == 0 || method == 8 || method == 9) {
                SZIPEntry e;
                e.name = NormaliseZIPName(raw);
                e.rawName = std::move(raw);
                e.dataOffset = static_cast<u32>(dataOffset);
                e.compressedSize = compressed;
                e.uncompressedSize = uncompressed;
                e.crc32 = crc;
                e.encrypted = flags & 1;
                e.method = method;
                e.checkByte = (flags & 8) ? (modTime >> 8) & 0xFF : crc >> 24;
                m_index.emplace(e.name, m_entries.size());  // the first of duplicate names wins
                m_entries.push_back(std::move(e));
            }

            uint64_t next = dataOffset + compressed + ((flags & 8) ? kDescriptorSize : 0);
            if (next >= fileSize) break;
            file.Seek(static_cast<u32>(next));
        }
    } catch (const std::exception& e) {
        // Said once, in every build: otherwise a damaged archive only shows as missing resources.
        Warning(m_path + ": " + e.what());
        m_scanSucceeded = false;
        return false;
    }
    m_scanSucceeded = true;
    return true;
}

const SZIPEntry* CZIPFile::Lookup(const std::string& path) {
    auto it = m_index.find(NormaliseZIPName(path));
    return it == m_index.end() ? nullptr : &m_entries[it->second];
}

bool CZIPFile::Exists(std::string path) { return Scan() && Lookup(path) != nullptr; }

CDataBin* CZIPFile::OpenFile(std::string path) {
    if (!Scan()) return nullptr;
    const SZIPEntry* entry = Lookup(path);
    return entry ? OpenEntry(*entry) : nullptr;
}

std::string CZIPFile::StoredName(std::string path) {
    const SZIPEntry* entry = Scan() ? Lookup(path) : nullptr;
    if (!entry) return {};
    std::size_t slash = entry->rawName.find_last_of("/\\");
    return slash == std::string::npos ? entry->rawName : entry->rawName.substr(slash + 1);
}

CDataBin* CZIPFile::OpenEntry(const SZIPEntry& entry) {
    if (!Scan()) return nullptr;
    auto* file = new CFile(m_diskPath.c_str(), "rb");  // each opened entry has its own handle
    if (!file->IsOpen()) {
        delete file;
        return nullptr;
    }
    std::unique_ptr<CDataBin> stream(new CSegment(file, entry.dataOffset, entry.compressedSize));
    if (entry.encrypted) {
        auto* decrypt = new CZIPDecrypt(stream.release(), m_password.c_str());
        stream.reset(decrypt);
        if (decrypt->CheckByte() != static_cast<i32>(entry.checkByte)) return nullptr;  // wrong password
    }
    if (entry.method == 0) {
        if (stream->GetSize() != entry.uncompressedSize) return nullptr;  // damaged header or data
        if (entry.uncompressedSize == 0) return entry.crc32 == 0 ? stream.release() : nullptr;
        return new CZIPCheckedStream(stream.release(), entry.crc32);
    }

    // The declared size bounds the output: data that would inflate to more are damaged (or
    // hostile), and are refused as soon as they pass it rather than when memory runs out. So does
    // the most that many compressed bytes can expand to (a 258-byte match in two bits for deflate;
    // a 65538-byte one in 18 bits for deflate64), which stops a size field that lies.
    if (entry.uncompressedSize == 0xFFFFFFFFu) return nullptr;  // a ZIP64 size: not supported
    const uint64_t ratio = entry.method == 9 ? 29128 : 1032;
    const uint64_t limit = std::min<uint64_t>(entry.uncompressedSize, uint64_t(stream->GetSize()) * ratio + 1024);
    if (limit < entry.uncompressedSize) return nullptr;  // more than the data can describe
    auto out = std::make_unique<CBuffer>();
    out->Reserve(static_cast<u32>(std::min<uint64_t>(limit, kMaxReserve)));
    bool ok = entry.method == 9 ? Inflate64(stream.get(), out.get(), limit) : Inflate(stream.get(), out.get(), limit);
    stream.reset();
    if (!ok || out->GetSize() != entry.uncompressedSize) return nullptr;
    if (Crc32(out->Bytes().data(), out->Bytes().size()) != entry.crc32) return nullptr;
    out->Seek(0);
    return out.release();
}

// ---- CZIPCheckedStream

CZIPCheckedStream::CZIPCheckedStream(CDataBin* inner, u32 crc) : m_inner(inner), m_expected(crc) {}

CZIPCheckedStream::~CZIPCheckedStream() { delete m_inner; }

u32 CZIPCheckedStream::Read(void* data, u32 count) {
    if (m_damaged) return 0;
    const u32 at = m_inner->Tell();
    const u32 got = m_inner->Read(data, count);
    if (at <= m_checked && at + got > m_checked) {
        const u8* p = static_cast<const u8*>(data) + (m_checked - at);
        for (const u8* end = static_cast<const u8*>(data) + got; p < end; ++p) m_running = Crc32Step(m_running, *p);
        m_checked = at + got;
        if (m_checked >= m_inner->GetSize() && ~m_running != m_expected) {
            m_damaged = true;
            return 0;
        }
    }
    return got;
}

u8 CZIPCheckedStream::PeekByte() {
    const u32 at = Tell();
    u8 b = 0;
    if (Read(&b, 1) != 1) b = 0;
    Seek(at);
    return b;
}

// ---- CZIPWriter

CZIPWriter::CZIPWriter(CDataBin* out, u32 signature, std::string password)
    : m_out(out), m_signature(signature), m_password(std::move(password)) {
    m_ok = m_out && m_out->CanWrite();
}

bool CZIPWriter::Put(const void* data, u32 count) {
    if (m_ok && count && m_out->Write(data, count) != count) m_ok = false;
    return m_ok;
}

bool CZIPWriter::AddEntry(const std::string& name, u32 method, const void* payload, u32 payloadSize, u32 crc,
                          u32 plainSize, u32 dosDateTime) {
    if (!m_ok) return false;
    const bool encrypt = !m_password.empty();
    const u32 extra = encrypt ? kEncryptionHeaderSize : 0;
    if (name.size() > 0xFFFF || payloadSize > 0xFFFFFFFFu - extra) return m_ok = false;

    Record r{name, encrypt ? 1u : 0u, method, crc, payloadSize + extra, plainSize, dosDateTime, m_out->Tell()};
    if (static_cast<uint64_t>(r.offset) + kLocalHeaderSize + name.size() + r.compressedSize > 0xFFFFFFFFu)
        return m_ok = false;  // past what 32-bit offsets can address

    std::vector<u8> h;
    Put32(h, m_signature);
    Put16(h, 20);  // version needed: deflate, traditional encryption
    Put16(h, r.flags);
    Put16(h, method);
    Put32(h, dosDateTime);
    Put32(h, crc);
    Put32(h, r.compressedSize);
    Put32(h, plainSize);
    Put16(h, static_cast<u32>(name.size()));
    Put16(h, 0);
    h.insert(h.end(), name.begin(), name.end());
    if (!Put(h.data(), static_cast<u32>(h.size()))) return false;

    if (encrypt) {
        CZIPEncrypt cipher(new CBorrowed(m_out), m_password.c_str(), static_cast<u8>(crc >> 24));
        if (cipher.GetSize() != kEncryptionHeaderSize) return m_ok = false;
        if (payloadSize && cipher.Write(payload, payloadSize) != payloadSize) return m_ok = false;
    } else if (!Put(payload, payloadSize)) {
        return false;
    }
    m_records.push_back(std::move(r));
    return m_ok;
}

bool CZIPWriter::Finish() {
    if (!m_ok) return false;
    if (m_records.size() > 0xFFFF) return m_ok = false;
    const u32 directoryStart = m_out->Tell();
    for (const Record& r : m_records) {
        std::vector<u8> c;
        Put32(c, kZIPCentralSignature);
        Put16(c, 20);  // made by: MS-DOS attributes, version 2.0
        Put16(c, 20);
        Put16(c, r.flags);
        Put16(c, r.method);
        Put32(c, r.dosDateTime);
        Put32(c, r.crc);
        Put32(c, r.compressedSize);
        Put32(c, r.plainSize);
        Put16(c, static_cast<u32>(r.name.size()));
        Put16(c, 0);  // extra
        Put16(c, 0);  // comment
        Put16(c, 0);  // disk
        Put16(c, 0);  // internal attributes
        Put32(c, 0);  // external attributes
        Put32(c, r.offset);
        c.insert(c.end(), r.name.begin(), r.name.end());
        if (!Put(c.data(), static_cast<u32>(c.size()))) return false;
    }
    const u32 directorySize = m_out->Tell() - directoryStart;
    std::vector<u8> end;
    Put32(end, kZIPEndSignature);
    Put16(end, 0);
    Put16(end, 0);
    Put16(end, static_cast<u32>(m_records.size()));
    Put16(end, static_cast<u32>(m_records.size()));
    Put32(end, directorySize);
    Put32(end, directoryStart);
    Put16(end, 0);
    return Put(end.data(), static_cast<u32>(end.size()));
}

}  // namespace ove
