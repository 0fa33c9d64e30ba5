// ovetool list / unpack / pack: inspect ZIP files and packed game archives, and build GAME.DAT.
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Command.h"
#include "data/PackedArchive.h"
#include "data/ZIPCipher.h"
#include "data/ZIPFile.h"

namespace fs = std::filesystem;
using namespace ove;

namespace {

struct ArchiveOptions {
    std::vector<std::string> positional;
    std::string password;
    bool havePassword = false;
    bool game = false;
    std::string error;
};

ArchiveOptions ParseOptions(const ovetool::Args& args) {
    ArchiveOptions o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--game") {
            o.game = true;
        } else if (a == "--password") {
            if (i + 1 >= args.size()) {
                o.error = "--password needs a value";
                return o;
            }
            o.password = args[++i];
            o.havePassword = true;
        } else if (a.rfind("--password=", 0) == 0) {
            o.password = a.substr(11);
            o.havePassword = true;
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            o.error = "unknown option " + a;
            return o;
        } else {
            o.positional.push_back(a);
        }
    }
    return o;
}

u32 Get32(const u8* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (u32(p[3]) << 24); }

// Sends standard error to /dev/null while it lives.
class QuietStderr {
public:
    QuietStderr() {
        std::fflush(stderr);
        m_saved = ::dup(2);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (m_saved >= 0 && null >= 0) ::dup2(null, 2);
        if (null >= 0) ::close(null);
    }
    ~QuietStderr() {
        std::fflush(stderr);
        if (m_saved < 0) return;
        ::dup2(m_saved, 2);
        ::close(m_saved);
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int m_saved;
};

// The reader for the command line's archive, or null after printing why not.
std::unique_ptr<CZIPFile> OpenArchive(const char* command, const ArchiveOptions& o) {
    const std::string& path = o.positional[0];
    if (!FileExists(path.c_str()) || IsDirectory(path)) {
        std::fprintf(stderr, "ovetool %s: cannot open %s\n", command, path.c_str());
        return nullptr;
    }
    bool packed = o.game;
    {
        CFile probe(path.c_str(), "rb");
        if (probe.IsOpen() && probe.GetSize() == 0) {
            std::fprintf(stderr, "ovetool %s: %s: empty file, not an archive\n", command, path.c_str());
            return nullptr;
        }
        // Our own archives are known by the signature of their first local header.
        u8 head[4] = {};
        if (probe.Read(head, 4) == 4 && Get32(head) == PackedArchiveSignature()) packed = true;
    }
    std::unique_ptr<CZIPFile> zip(packed ? OpenPackedArchive(path) : new CZIPFile(path));
    if (o.havePassword) zip->SetPassword(o.password);
    bool scanned;
    {
        // The reader warns under the engine's name; the tool says it under its own just below.
        QuietStderr quiet;
        scanned = zip->Scan();
    }
    if (!scanned) {
        std::fprintf(stderr, "ovetool %s: %s: Unknown format\n", command, path.c_str());
        return nullptr;
    }
    if (!zip->SawRecord()) {
        std::fprintf(stderr, "ovetool %s: %s: not an archive\n", command, path.c_str());
        return nullptr;
    }
    return zip;
}

// Names the entries the walk dropped because the file ends inside them; true when there were any.
bool ReportDropped(const char* command, const CZIPFile& zip) {
    for (const SZIPDropped& d : zip.Dropped())
        std::fprintf(stderr, "ovetool %s: %s: archive ends inside this entry (at offset %u); dropped\n", command,
                     d.rawName.empty() ? "(unnamed entry)" : d.rawName.c_str(), d.headerOffset);
    return !zip.Dropped().empty();
}

// Reads an opened entry to its end, handing each chunk to `sink` (which may refuse it). True when
// every byte arrived: a stored entry whose CRC-32 differs stops short at its end.
template <class Sink>
bool ReadEntry(CDataBin& bin, Sink&& sink) {
    std::vector<u8> chunk(1 << 16);
    std::uint64_t total = 0;
    for (;;) {
        const u32 n = bin.Read(chunk.data(), static_cast<u32>(chunk.size()));
        if (n == 0) break;
        if (!sink(chunk.data(), n)) return false;
        total += n;
    }
    return total == bin.GetSize();
}

const char* kDamaged = "damaged (size or CRC-32 does not match), or wrong password";

const char* MethodName(u32 method) {
    switch (method) {
    case 0: return "stored";
    case 8: return "deflate";
    case 9: return "deflate64";
    default: return "?";
    }
}

bool IsDirectoryEntry(const SZIPEntry& e) {
    return !e.rawName.empty() && (e.rawName.back() == '/' || e.rawName.back() == '\\');
}

// The entry's name as a relative path, or empty when it would leave the target folder.
std::string SafeRelativePath(const std::string& raw) {
    std::string name = raw;
    std::replace(name.begin(), name.end(), '\\', '/');
    if (name.empty() || name[0] == '/' || (name.size() > 1 && name[1] == ':')) return {};
    size_t pos = 0;
    while (pos <= name.size()) {
        size_t slash = name.find('/', pos);
        std::string part = name.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
        if (part == "..") return {};
        if (slash == std::string::npos) break;
        pos = slash + 1;
    }
    return name;
}

int CmdList(const ovetool::Args& args) {
    ArchiveOptions o = ParseOptions(args);
    if (!o.error.empty() || o.positional.size() != 1) return ovetool::UsageError("list", o.error);
    auto zip = OpenArchive("list", o);
    if (!zip) return 1;
    int status = 0;
    std::set<std::string> seen;
    std::printf("%10s %10s  %-9s %s\n", "size", "packed", "method", "name");
    for (const SZIPEntry& e : zip->Entries()) {
        const bool duplicate = !seen.insert(e.name).second;
        std::unique_ptr<CDataBin> bin(zip->OpenEntry(e));
        // Every entry is read through, so that a damaged stored one is found too.
        if (!bin || !ReadEntry(*bin, [](const u8*, u32) { return true; })) {
            std::fprintf(stderr, "ovetool list: %s: %s\n", e.rawName.c_str(), kDamaged);
            status = 1;
        }
        std::printf("%10u %10u  %-9s %s%s%s\n", bin ? bin->GetSize() : e.uncompressedSize, e.compressedSize,
                    MethodName(e.method), e.rawName.c_str(), e.encrypted ? "  (encrypted)" : "",
                    duplicate ? "  (hidden by an earlier entry)" : "");
    }
    if (ReportDropped("list", *zip)) status = 1;
    return status;
}

int CmdUnpack(const ovetool::Args& args) {
    ArchiveOptions o = ParseOptions(args);
    if (!o.error.empty() || o.positional.size() != 2) return ovetool::UsageError("unpack", o.error);
    auto zip = OpenArchive("unpack", o);
    if (!zip) return 1;
    const fs::path target = o.positional[1];
    std::error_code ec;
    fs::create_directories(target, ec);
    if (!fs::is_directory(target)) {
        std::fprintf(stderr, "ovetool unpack: cannot create %s\n", target.c_str());
        return 1;
    }

    int status = 0;
    std::set<std::string> seen;
    const auto& entries = zip->Entries();
    for (size_t i = 0; i < entries.size(); ++i) {
        const SZIPEntry& e = entries[i];
        ovetool::Progress("unpack", i, entries.size());
        if (!seen.insert(e.name).second) continue;  // the engine serves only the first of a name
        std::string rel = SafeRelativePath(e.rawName);
        if (rel.empty()) {
            std::fprintf(stderr, "\novetool unpack: unsafe name %s\n", e.rawName.c_str());
            status = 1;
            continue;
        }
        const fs::path out = target / rel;
        if (IsDirectoryEntry(e)) {
            fs::create_directories(out, ec);
            continue;
        }
        std::unique_ptr<CDataBin> bin(zip->OpenEntry(e));
        if (!bin) {
            std::fprintf(stderr, "\novetool unpack: %s: %s\n", e.rawName.c_str(), kDamaged);
            status = 1;
            continue;
        }
        fs::create_directories(out.parent_path(), ec);
        bool written = true, complete = false;
        {
            CFile file(out.c_str(), "wb");
            written = file.IsOpen();
            if (written)
                complete = ReadEntry(*bin, [&](const u8* data, u32 n) { return written = file.Write(data, n) == n; });
        }
        if (!written) {
            std::fprintf(stderr, "\novetool unpack: cannot write %s\n", out.c_str());
            status = 1;
        } else if (!complete) {
            // No damaged file is left behind looking like a good one.
            fs::remove(out, ec);
            std::fprintf(stderr, "\novetool unpack: %s: %s\n", e.rawName.c_str(), kDamaged);
            status = 1;
        }
    }
    ovetool::Progress("unpack", entries.size(), entries.size());
    if (ReportDropped("unpack", *zip)) status = 1;
    return status;
}

// Raw deflate (no zlib header), best compression.
bool Deflate(const std::vector<u8>& in, std::vector<u8>& out) {
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) return false;
    out.resize(deflateBound(&z, static_cast<uLong>(in.size())));
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return rc == Z_STREAM_END;
}

u32 DosDateTime(const fs::path& p) {
    std::error_code ec;
    auto ftime = fs::last_write_time(p, ec);
    if (ec) return 0x00210000;
    auto sys = std::chrono::file_clock::to_sys(ftime);
    std::time_t t = std::chrono::system_clock::to_time_t(sys);
    std::tm tm{};
    if (!localtime_r(&t, &tm) || tm.tm_year < 80) return 0x00210000;
    u32 date = ((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday;
    u32 time = (tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2);
    return (date << 16) | time;
}

int CmdPack(const ovetool::Args& args) {
    ArchiveOptions o = ParseOptions(args);
    if (!o.error.empty() || o.positional.size() != 2) return ovetool::UsageError("pack", o.error);
    const fs::path source = o.positional[0], outPath = o.positional[1];
    std::error_code ec;
    if (!fs::is_directory(source, ec)) {
        std::fprintf(stderr, "ovetool pack: %s is not a directory\n", source.c_str());
        return 1;
    }
    // Gather first, so that the output file (which may lie inside DIR) is not packed into itself.
    const fs::path outAbsolute = fs::weakly_canonical(outPath, ec);
    std::vector<std::pair<std::string, fs::path>> files;
    for (auto it = fs::recursive_directory_iterator(source, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (!it->is_regular_file()) continue;
        if (fs::weakly_canonical(it->path(), ec) == outAbsolute) continue;
        files.emplace_back(fs::relative(it->path(), source).generic_string(), it->path());
    }
    if (ec) {
        std::fprintf(stderr, "ovetool pack: cannot read %s: %s\n", source.c_str(), ec.message().c_str());
        return 1;
    }
    std::sort(files.begin(), files.end());

    CFile out(outPath.c_str(), "wb");
    if (!out.IsOpen()) {
        std::fprintf(stderr, "ovetool pack: cannot create %s\n", outPath.c_str());
        return 1;
    }
    CZIPWriter writer(&out, PackedArchiveSignature(), PackedArchivePassword());
    std::vector<u8> compressed;
    for (size_t i = 0; i < files.size(); ++i) {
        ovetool::Progress("pack", i, files.size());
        const auto& [name, path] = files[i];
        CFile in(path.c_str(), "rb");
        std::vector<u8> data = ReadAll(in);
        if (!in.IsOpen() || data.size() != in.GetSize() || data.size() > 0x7FFFFFFF) {
            std::fprintf(stderr, "\novetool pack: cannot read %s\n", path.c_str());
            return 1;
        }
        const u32 size = static_cast<u32>(data.size());
        const u32 crc = Crc32(data.data(), data.size());
        if (!Deflate(data, compressed)) {
            std::fprintf(stderr, "\novetool pack: cannot compress %s\n", path.c_str());
            return 1;
        }
        // Data that deflate cannot shrink (pictures, sounds) is stored and read on demand.
        const bool store = compressed.size() >= data.size();
        const std::vector<u8>& payload = store ? data : compressed;
        if (!writer.AddEntry(name, store ? 0 : 8, payload.data(), static_cast<u32>(payload.size()), crc, size,
                             DosDateTime(path))) {
            std::fprintf(stderr, "\novetool pack: cannot write %s\n", outPath.c_str());
            return 1;
        }
    }
    if (!writer.Finish()) {
        std::fprintf(stderr, "ovetool pack: cannot write %s\n", outPath.c_str());
        return 1;
    }
    ovetool::Progress("pack", files.size(), files.size());
    return 0;
}

}  // namespace

OVE_TOOL_COMMAND("list", CmdList);
OVE_TOOL_COMMAND("unpack", CmdUnpack);
OVE_TOOL_COMMAND("pack", CmdPack);
