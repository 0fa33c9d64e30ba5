// ZIP-style archives as a data source: the local headers are walked from the start of the file
// (the central directory is never read). Also the writer used by the packer.
#pragma once
#include <string>
#include <unordered_map>
#include <vector>

#include "io/FileFolder.h"

namespace ove {

constexpr u32 kZIPLocalSignature = 0x04034B50;    // "PK\3\4"
constexpr u32 kZIPCentralSignature = 0x02014B50;  // "PK\1\2"
constexpr u32 kZIPEndSignature = 0x06054B50;      // "PK\5\6"

// One accepted local header.
struct SZIPEntry {
    std::string name;     // normalised: '\' -> '/', a-z -> A-Z
    std::string rawName;  // as stored in the archive
    u32 dataOffset = 0;
    u32 compressedSize = 0;
    u32 uncompressedSize = 0;
    u32 crc32 = 0;
    bool encrypted = false;
    u32 method = 0;     // 0 stored, 8 deflate, 9 deflate64
    u32 checkByte = 0;  // what the twelfth decrypted header byte must be
};

// An entry the walk found cut short by the end of the archive file; it is not served.
struct SZIPDropped {
    std::string rawName;
    u32 headerOffset = 0;
};

// Upper-cases ASCII letters and turns backslashes into slashes, as archive lookups compare names.
std::string NormaliseZIPName(const std::string& name);

class CZIPFile : public CFileFolder {
public:
    explicit CZIPFile(std::string archivePath);

    // Alternative local-header signature accepted besides the standard one.
    void SetSignature(u32 signature) { m_signature = signature; }
    void SetPassword(std::string password) { m_password = std::move(password); }

    bool Exists(std::string path) override;
    CDataBin* OpenFile(std::string path) override;
    std::string StoredName(std::string path) override;
    std::string GetName() override { return m_name; }

    // Walks the archive on first call; true when the walk reached its end without a bad record.
    bool Scan();
    // Entries in archive order (after Scan). Some may be unreachable duplicates.
    const std::vector<SZIPEntry>& Entries() const { return m_entries; }
    // Entries cut short by the end of the file (after Scan).
    const std::vector<SZIPDropped>& Dropped() const { return m_dropped; }
    // Whether the walk met at least one record (a local or central header): false for an empty or
    // foreign file that is too short to be told apart from an archive without entries.
    bool SawRecord() const { return m_sawRecord; }
    // Opens one entry (null when it cannot be read: wrong password, corrupt data, a size or CRC-32
    // that differs from the header's, ...). Inflated entries are checked whole before they are
    // handed out; stored entries are read on demand and checked as their last byte is read in
    // order (see CZIPCheckedStream).
    CDataBin* OpenEntry(const SZIPEntry& entry);
    const std::string& ArchivePath() const { return m_path; }

private:
    const SZIPEntry* Lookup(const std::string& path);

    std::vector<SZIPEntry> m_entries;
    std::vector<SZIPDropped> m_dropped;
    bool m_sawRecord = false;
    std::unordered_map<std::string, size_t> m_index;  // normalised name -> first entry
    bool m_scanned = false;
    bool m_scanSucceeded = false;
    std::string m_path;
    std::string m_diskPath;  // m_path as found on disk
    std::string m_name;
    u32 m_signature = kZIPLocalSignature;
    std::string m_password;
};

// A stored entry's bytes, checked against its CRC-32 as they are read. The check follows the bytes
// that have been read in order from the start (a reader may seek about; what it skips is checked
// once it reads there). When the last byte has been covered and the CRC-32 differs, the read that
// completes it returns 0 and so does every later one: a reader sees a short file, never damaged
// bytes as a whole success.
class CZIPCheckedStream : public CDataBin {
public:
    CZIPCheckedStream(CDataBin* inner, u32 crc);  // takes ownership of inner
    ~CZIPCheckedStream() override;
    void Seek(u32 position) override { m_inner->Seek(position); }
    u32 Tell() override { return m_inner->Tell(); }
    u32 GetSize() override { return m_inner->GetSize(); }
    u32 Write(const void*, u32) override { return 0; }
    u32 Read(void* data, u32 count) override;
    bool IsOpen() override { return m_inner->IsOpen(); }
    bool CanWrite() override { return false; }
    bool CanRead() override { return m_inner->CanRead(); }
    u8 PeekByte() override;
    // The whole entry has been read and its CRC-32 differs.
    bool Damaged() const { return m_damaged; }

private:
    CDataBin* m_inner;
    u32 m_expected;
    u32 m_running = 0xFFFFFFFFu;  // CRC-32 register over bytes [0, m_checked)
    u32 m_checked = 0;
    bool m_damaged = false;
};

// Writes a ZIP-style archive: local headers (with the given signature), entry data and a
// central directory. Payloads come already compressed; with a password every entry is
// enciphered (check byte = top byte of the CRC-32, no data descriptors).
class CZIPWriter {
public:
    // `out` is not owned and must stay alive until Finish.
    CZIPWriter(CDataBin* out, u32 signature = kZIPLocalSignature, std::string password = {});

    // method 0: payload is the file itself; method 8 or 9: its compressed form. `crc` and
    // `plainSize` describe the uncompressed bytes. Returns false when the output failed.
    bool AddEntry(const std::string& name, u32 method, const void* payload, u32 payloadSize, u32 crc, u32 plainSize,
                  u32 dosDateTime = 0x00210000);
    // Central directory and end record. Returns false when the output failed.
    bool Finish();

private:
    struct Record {
        std::string name;
        u32 flags, method, crc, compressedSize, plainSize, dosDateTime, offset;
    };
    bool Put(const void* data, u32 count);

    CDataBin* m_out;
    u32 m_signature;
    std::string m_password;
    std::vector<Record> m_records;
    bool m_ok = true;
};

}  // namespace ove
