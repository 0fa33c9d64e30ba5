// ovetool web: a game folder as a static web site played by the engine built for browsers.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "Command.h"
#include "data/PackedArchive.h"
#include "data/ZIPFile.h"
#include "host/Settings.h"
#include "io/FileFolder.h"
#include "platform/CodePage.h"

namespace ovetool {
// The page template, made from tools/web/index.html at build time (cmake/WebPage.cmake).
extern const unsigned char kWebPage[];
extern const std::size_t kWebPageSize;
}  // namespace ovetool

namespace fs = std::filesystem;
using namespace ove;

namespace {

constexpr const char* kCommand = "web";
// An export is these files; a folder holding the first and the fourth is taken for an earlier one.
constexpr const char* kOutputs[] = {"index.html", "ove.js", "ove.wasm", "game.json", "game.data"};

struct SWebOptions {
    std::vector<std::string> positional;
    std::string engine;
    std::string zip;
    std::string error;
};

SWebOptions ParseOptions(const ovetool::Args& args) {
    SWebOptions o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string* value = nullptr;
        std::string name = a.substr(0, a.find('='));
        if (name == "--engine") value = &o.engine;
        else if (name == "--zip") value = &o.zip;
        if (value) {
            if (name.size() < a.size()) *value = a.substr(name.size() + 1);
            else if (i + 1 < args.size()) *value = args[++i];
            if (value->empty()) o.error = name + " needs a value";
        } else if (a.size() > 1 && a[0] == '-') {
            o.error = "unknown option " + a;
        } else {
            o.positional.push_back(a);
        }
        if (!o.error.empty()) break;
    }
    if (o.error.empty() && o.positional.size() != 2) o.error = "give the game folder and the output folder";
    return o;
}

void Fail(const std::string& message) { std::fprintf(stderr, "ovetool web: %s\n", message.c_str()); }

std::string Quoted(const fs::path& p) { return "'" + p.string() + "'"; }

std::string Megabytes(std::uintmax_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

bool IsInside(const fs::path& path, const fs::path& folder) {
    auto [f, p] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
    return f == folder.end();
}

// The folder holding ove.js and ove.wasm, or empty after saying where it looked. A folder named on
// the command line or in the environment is the only one tried: a stale installed engine must not
// stand in for it.
fs::path FindEngine(const std::string& option) {
    std::vector<fs::path> places;
    const char* variable = std::getenv("OVE_WEB_ENGINE");
    if (!option.empty()) {
        places = {option};
    } else if (variable && *variable) {
        places = {variable};
    } else {
        std::error_code ec;
        const fs::path exe = fs::read_symlink("/proc/self/exe", ec).parent_path();
        if (!ec) places = {(exe / "../share/ove/web").lexically_normal(), exe / "web"};
    }
    std::string looked;
    for (const fs::path& place : places) {
        std::error_code ec;
        if (fs::is_regular_file(place / "ove.js", ec) && fs::is_regular_file(place / "ove.wasm", ec)) return place;
        looked += "\n  " + place.string();
    }
    Fail("the engine for the web (ove.js and ove.wasm) is not in" + looked +
         "\nbuild it with: bash scripts/build-web.sh, or name its folder with --engine DIR (or OVE_WEB_ENGINE)");
    return {};
}

struct SGameFile {
    std::string path;  // relative, with '/'
    fs::path source;
    std::uint64_t offset = 0, size = 0;
};

// Every regular file under the game folder, in name order. Dot-files and dot-folders are left out,
// and so are the output folder and the archive should they lie inside. Links are followed while
// they stay inside the folder.
class CGameWalk {
public:
    CGameWalk(fs::path root, std::vector<fs::path> skip) : m_root(std::move(root)), m_skip(std::move(skip)) {}

    bool Walk() {
        m_open.push_back(m_root);
        return Walk(m_root, "");
    }
    std::vector<SGameFile>& Files() { return m_files; }

private:
    bool Walk(const fs::path& dir, const std::string& prefix) {
        std::error_code ec;
        std::vector<fs::directory_entry> entries;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(*it);
        if (ec) {
            Fail("cannot read " + Quoted(dir) + ": " + ec.message());
            return false;
        }
        std::sort(entries.begin(), entries.end());
        for (const fs::directory_entry& entry : entries) {
            const std::string name = entry.path().filename().string();
            if (name[0] == '.') continue;
            const std::string rel = prefix.empty() ? name : prefix + "/" + name;
            const fs::path real = fs::canonical(entry.path(), ec);
            if (ec) {
                std::fprintf(stderr, "ovetool web: skipping %s (a link to nothing)\n", rel.c_str());
                continue;
            }
            if (!IsInside(real, m_root)) {
                Fail(rel + " links outside the game folder (to " + real.string() +
                     "); put a copy of the file in the folder instead");
                return false;
            }
            if (std::find(m_skip.begin(), m_skip.end(), real) != m_skip.end()) continue;
            if (fs::is_directory(real, ec)) {
                if (std::find(m_open.begin(), m_open.end(), real) != m_open.end()) {
                    Fail(rel + " links back to a folder that holds it");
                    return false;
                }
                m_open.push_back(real);
                if (!Walk(real, rel)) return false;
                m_open.pop_back();
            } else if (fs::is_regular_file(real, ec)) {
                // The browser's file names are Unicode strings.
                if (!IsValidUtf8(rel)) {
                    Fail(rel + ": the name is not UTF-8; rename the file");
                    return false;
                }
                m_files.push_back({rel, real});
            } else {
                std::fprintf(stderr, "ovetool web: skipping %s (not a regular file)\n", rel.c_str());
            }
        }
        return true;
    }

    fs::path m_root;
    std::vector<fs::path> m_skip;
    std::vector<fs::path> m_open;  // the folders being walked, to stop at a link back to one
    std::vector<SGameFile> m_files;
};

// The title the desktop shows for the game: its settings.xml (loose, in DATA or in GAME.DAT), else
// the folder's name.
std::string GameTitle(const fs::path& game) {
    CCompoundFolder folder;
    folder.Add(new CDirectory(game.string()));
    const std::string data = FindOnDisk((game / "DATA").string());
    if (!data.empty() && IsDirectory(data)) folder.Add(new CDirectory(data));
    const std::string archive = FindOnDisk((game / "GAME.DAT").string());
    if (!archive.empty() && !IsDirectory(archive)) folder.Add(OpenPackedArchive(archive));
    std::unique_ptr<CDataBin> settings(folder.OpenFile("settings.xml"));
    return DisplayTextToUtf8(GameTitleOf(settings.get(), game.filename().string()));
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string HtmlText(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// The export's files are written beside their final names and take them only once all are
// complete, so a failed export leaves an earlier one as it was.
class CPendingFiles {
public:
    explicit CPendingFiles(fs::path folder) : m_folder(std::move(folder)) {}
    ~CPendingFiles() {
        std::error_code ec;
        for (const fs::path& part : m_parts) fs::remove(part, ec);
    }
    CPendingFiles(const CPendingFiles&) = delete;
    CPendingFiles& operator=(const CPendingFiles&) = delete;

    fs::path Part(const std::string& name) {
        m_names.push_back(name);
        return m_parts.emplace_back(m_folder / ("." + name + ".part"));
    }
    bool Commit() {
        for (size_t i = 0; i < m_parts.size(); ++i) {
            std::error_code ec;
            fs::rename(m_parts[i], m_folder / m_names[i], ec);
            if (ec) {
                Fail("cannot write " + Quoted(m_folder / m_names[i]) + ": " + ec.message());
                return false;
            }
        }
        m_parts.clear();
        return true;
    }

private:
    fs::path m_folder;
    std::vector<fs::path> m_parts;
    std::vector<std::string> m_names;
};

// Appends the file to `out` and folds its bytes into `crc` when given; the number of bytes, or -1
// when it could not be read.
std::int64_t CopyInto(const fs::path& from, std::ofstream& out, uLong* crc = nullptr) {
    std::ifstream in(from, std::ios::binary);
    if (!in) return -1;
    std::vector<char> chunk(1 << 20);
    std::int64_t total = 0;
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const std::streamsize n = in.gcount();
        if (n <= 0) break;
        if (crc) *crc = crc32(*crc, reinterpret_cast<const Bytef*>(chunk.data()), static_cast<uInt>(n));
        out.write(chunk.data(), n);
        total += n;
    }
    return in.bad() ? -1 : total;
}

bool WriteText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (out) return true;
    Fail("cannot write " + Quoted(path));
    return false;
}

std::vector<u8> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<u8>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

u32 DosNow() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    if (!localtime_r(&t, &tm) || tm.tm_year < 80) return 0x00210000;
    const u32 date = ((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday;
    const u32 time = (tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2);
    return (date << 16) | time;
}

// One plain ZIP archive of the export's files at its root, as game portals take a web game.
bool WriteZip(const fs::path& folder, const fs::path& zipPath) {
    const fs::path part = zipPath.string() + ".part";
    bool ok = false;
    {
        CFile out(part.c_str(), "wb");
        CZIPWriter writer(&out);
        ok = out.IsOpen();
        const u32 when = DosNow();
        for (const char* name : kOutputs) {
            if (!ok) break;
            const std::vector<u8> data = ReadBytes(folder / name);
            if (data.size() > 0x7FFFFFFF) {
                Fail(std::string(name) + " is too large for a ZIP archive");
                ok = false;
                break;
            }
            const uLong size = static_cast<uLong>(data.size());
            const u32 crc = static_cast<u32>(crc32(crc32(0, nullptr, 0), data.data(), static_cast<uInt>(size)));
            std::vector<u8> packed(compressBound(size));
            z_stream z{};
            bool deflated = deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
            if (deflated) {
                z.next_in = const_cast<Bytef*>(data.data());
                z.avail_in = static_cast<uInt>(size);
                z.next_out = packed.data();
                z.avail_out = static_cast<uInt>(packed.size());
                deflated = deflate(&z, Z_FINISH) == Z_STREAM_END && z.total_out < size;
                packed.resize(z.total_out);
                deflateEnd(&z);
            }
            // What deflate cannot shrink (the engine, pictures and sounds often) is stored.
            const std::vector<u8>& payload = deflated ? packed : data;
            ok = writer.AddEntry(name, deflated ? 8 : 0, payload.data(), static_cast<u32>(payload.size()), crc,
                                 static_cast<u32>(size), when);
        }
        ok = ok && writer.Finish();
    }
    std::error_code ec;
    if (ok) fs::rename(part, zipPath, ec);
    if (!ok || ec) {
        fs::remove(part, ec);
        Fail("cannot write " + Quoted(zipPath));
        return false;
    }
    return true;
}

int CmdWeb(const ovetool::Args& args) {
    const SWebOptions o = ParseOptions(args);
    if (!o.error.empty()) return ovetool::UsageError(kCommand, o.error);
    std::error_code ec;
    const fs::path game = fs::canonical(o.positional[0], ec);
    if (ec || !fs::is_directory(game, ec)) {
        Fail(o.positional[0] + " is not a game folder");
        return 1;
    }
    const fs::path out = fs::weakly_canonical(fs::absolute(o.positional[1]), ec);
    const fs::path zip = o.zip.empty() ? fs::path() : fs::weakly_canonical(fs::absolute(o.zip), ec);
    if (out == game) {
        Fail("the output folder must not be the game folder");
        return 1;
    }
    const fs::path engine = FindEngine(o.engine);
    if (engine.empty()) return 1;

    CGameWalk walk(game, {out, zip});
    if (!walk.Walk()) return 1;
    std::vector<SGameFile>& files = walk.Files();

    if (fs::exists(out, ec) && !fs::is_empty(out, ec)) {
        if (!fs::is_directory(out, ec) ||
            !(fs::is_regular_file(out / "index.html", ec) && fs::is_regular_file(out / "game.json", ec))) {
            Fail(Quoted(out) +
                 " is not empty and holds no earlier export (index.html and game.json); "
                 "give a new or empty folder");
            return 1;
        }
    } else if (!fs::create_directories(out, ec) && ec) {
        Fail("cannot create " + Quoted(out) + ": " + ec.message());
        return 1;
    }

    CPendingFiles pending(out);
    std::uintmax_t expected = 0;
    for (const SGameFile& f : files)
        if (const std::uintmax_t size = fs::file_size(f.source, ec); !ec) expected += size;
    std::fprintf(stderr, "ovetool web: copying %zu files (%s)\n", files.size(), Megabytes(expected).c_str());
    {
        const fs::path dataPath = pending.Part("game.data");
        std::ofstream data(dataPath, std::ios::binary);
        std::uint64_t offset = 0;
        for (size_t i = 0; i < files.size(); ++i) {
            ovetool::Progress("web", i, files.size());
            const std::int64_t n = CopyInto(files[i].source, data);
            if (n < 0) {
                Fail("cannot read " + Quoted(files[i].source));
                return 1;
            }
            files[i].offset = offset;
            files[i].size = static_cast<std::uint64_t>(n);
            offset += files[i].size;
        }
        ovetool::Progress("web", files.size(), files.size());
        data.close();
        if (!data) {
            Fail("cannot write " + Quoted(dataPath));
            return 1;
        }

        const std::string title = GameTitle(game);
        std::string manifest = "{\"files\":[";
        for (size_t i = 0; i < files.size(); ++i)
            manifest += std::string(i ? "," : "") + "\n{\"path\":" + JsonString(files[i].path) +
                        ",\"offset\":" + std::to_string(files[i].offset) +
                        ",\"size\":" + std::to_string(files[i].size) + "}";
        manifest += "],\n\"total\":" + std::to_string(offset) + ",\n\"title\":" + JsonString(title) + "}\n";
        if (!WriteText(pending.Part("game.json"), manifest)) return 1;

        uLong engineCrc = crc32(0, nullptr, 0);
        for (const char* name : {"ove.js", "ove.wasm"}) {
            const fs::path to = pending.Part(name);
            std::ofstream copy(to, std::ios::binary);
            if (CopyInto(engine / name, copy, &engineCrc) < 0) {
                Fail("cannot read " + Quoted(engine / name));
                return 1;
            }
            copy.close();
            if (!copy) {
                Fail("cannot write " + Quoted(to));
                return 1;
            }
        }

        std::string page(reinterpret_cast<const char*>(ovetool::kWebPage), ovetool::kWebPageSize);
        char tag[16];
        std::snprintf(tag, sizeof tag, "%08lx", engineCrc & 0xFFFFFFFFul);
        ReplaceAll(page, "{{OVE_ENGINE_TAG}}", tag);
        ReplaceAll(page, "{{OVE_TITLE}}", HtmlText(title));
        if (!WriteText(pending.Part("index.html"), page)) return 1;
    }
    if (!pending.Commit()) return 1;

    if (!zip.empty()) {
        std::fprintf(stderr, "ovetool web: writing %s\n", zip.c_str());
        if (!WriteZip(out, zip)) return 1;
    }
    std::printf(
        "%s: the game as a web site (engine from %s); serve the folder with any web server, e.g.\n"
        "  python3 -m http.server -d %s\n",
        out.c_str(), engine.c_str(), Quoted(out).c_str());
    return 0;
}

}  // namespace

OVE_TOOL_COMMAND("web", CmdWeb);
