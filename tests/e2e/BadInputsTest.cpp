// Damaged files of every format must be refused quickly and cheaply, both by the asset tool and by
// the engine, whatever they claim about their sizes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "data/PackedArchive.h"
#include "data/ZIPCipher.h"
#include "data/ZIPFile.h"
#include "io/DataBin.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

constexpr double kMaxSeconds = 1.0;
#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer's shadow memory and the tool's libraries (the room editor's HTTP and TLS) come
// on top; what this guards against is a file that costs a gigabyte.
constexpr long kMaxKilobytes = 128 * 1024;
#else
constexpr long kMaxKilobytes = 64 * 1024;
#endif

struct SOutcome {
    bool exited = false;
    int status = -1;  // exit status, or the signal when !exited
    double seconds = 0;
    long maxRssKb = 0;
    std::string err;
};

// Runs a program in a folder with its output captured, measuring wall time and peak resident memory.
SOutcome RunMeasured(const std::vector<std::string>& argv, const fs::path& folder) {
    fs::path errFile = folder / "stderr.txt";
    auto start = std::chrono::steady_clock::now();
    pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(folder.c_str()) != 0) ::_exit(126);
        int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(err, 2);
        rlimit cpu{5, 5};  // a hang ends as a signal, not a stuck test
        ::setrlimit(RLIMIT_CPU, &cpu);
        ::setenv("SDL_VIDEODRIVER", "offscreen", 1);
        ::setenv("SDL_AUDIODRIVER", "dummy", 1);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    SOutcome out;
    int status = 0;
    rusage usage{};
    if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid) return out;
    out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    out.maxRssKb = usage.ru_maxrss;
    out.exited = WIFEXITED(status);
    out.status = out.exited ? WEXITSTATUS(status) : WTERMSIG(status);
    auto bytes = ovetest::ReadFileBytes(errFile);
    out.err.assign(bytes.begin(), bytes.end());
    return out;
}

std::vector<std::string> BadFiles() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(fs::path(OVE_TEST_SOURCE_DIR) / "support" / "hostile"))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string Kind(const std::string& name) { return name.substr(0, name.find('-')); }

// The name the engine and the tool would see such a file under.
std::string Extension(const std::string& kind) {
    if (kind == "view") return "OVV";
    if (kind == "inflate") return "bin";
    return kind;
}

std::vector<unsigned char> ReadBad(const std::string& name) {
    return ovetest::ReadFileBytes(fs::path(OVE_TEST_SOURCE_DIR) / "support" / "hostile" / name);
}

// The damaged views carry one byte ahead of their tag: they are tried as they are and without it,
// so that the loader, not just the tag check, meets them.
std::vector<std::vector<unsigned char>> Variants(const std::string& name) {
    std::vector<unsigned char> bytes = ReadBad(name);
    std::vector<std::vector<unsigned char>> variants{bytes};
    if (Kind(name) == "view" && bytes.size() > 1) variants.emplace_back(bytes.begin() + 1, bytes.end());
    return variants;
}

std::string Tool() { return std::string(OVE_BUILD_DIR) + "/ovetool"; }
std::string Engine() { return std::string(OVE_BUILD_DIR) + "/ove"; }

// A packed game archive whose main script loads the view "bomb", stored deflated as `payload`
// with a size the archive does not check until it inflates.
std::vector<unsigned char> PackedGame(const std::vector<unsigned char>& payload, ove::u32 method) {
    ove::CBuffer out;
    ove::CZIPWriter zip(&out, ove::PackedArchiveSignature(), ove::PackedArchivePassword());
    std::string script = "function Init() { var s = new Sprite(); s.view = 'bomb'; }\nfunction Run() {}\n";
    zip.AddEntry("main.ovs", 0, script.data(), ove::u32(script.size()), ove::Crc32(script.data(), script.size()),
                 ove::u32(script.size()));
    zip.AddEntry("bomb.OVV", method, payload.data(), ove::u32(payload.size()), 0, 0xFFFFFFFFu);
    zip.Finish();
    return {out.Bytes().begin(), out.Bytes().end()};
}

// The raw payload of the first entry of a bad archive, when its directory can be read at all.
bool FirstEntryPayload(const fs::path& archive, std::vector<unsigned char>& payload, ove::u32& method) {
    ove::CZIPFile zip(archive.string());
    if (!zip.Scan() || zip.Entries().empty()) return false;
    const ove::SZIPEntry& e = zip.Entries().front();
    auto bytes = ovetest::ReadFileBytes(archive);
    if (e.dataOffset > bytes.size() || e.compressedSize > bytes.size() - e.dataOffset) return false;
    payload.assign(bytes.begin() + e.dataOffset, bytes.begin() + e.dataOffset + e.compressedSize);
    method = e.method;
    return true;
}

void ExpectBounded(const SOutcome& r, double seconds, long kilobytes) {
    EXPECT_TRUE(r.exited) << "ended by signal " << r.status << "\n" << r.err;
    EXPECT_EQ(r.err.find("AddressSanitizer"), std::string::npos) << r.err;
    EXPECT_LT(r.seconds, seconds);
    EXPECT_LT(r.maxRssKb, kilobytes);
}

void ExpectRefusedQuickly(const SOutcome& r, double seconds, long kilobytes) {
    ExpectBounded(r, seconds, kilobytes);
    EXPECT_NE(r.status, 0) << "accepted; output:\n" << r.err;
    EXPECT_FALSE(r.err.empty()) << "refused without saying why";
}

class BadInput : public ::testing::TestWithParam<std::string> {};

// A plain ZIP archive holding `payload` as its one entry, stored with `method`.
std::vector<unsigned char> PlainArchive(const std::vector<unsigned char>& payload, ove::u32 method) {
    ove::CBuffer out;
    ove::CZIPWriter zip(&out);
    zip.AddEntry("bomb.bin", method, payload.data(), ove::u32(payload.size()), 0, 0xFFFFFFFFu);
    zip.Finish();
    return {out.Bytes().begin(), out.Bytes().end()};
}

// Each file goes to the commands that read its kind: pictures to convert, views to dump, archives
// (and deflate streams, as an archive entry) to list and unpack.
TEST_P(BadInput, AssetToolRefusesItQuickly) {
    const std::string name = GetParam(), kind = Kind(name);
    ovetest::TempDir dir;
    std::vector<std::vector<std::string>> commands;
    std::vector<std::vector<unsigned char>> variants = Variants(name);
    std::string file = "bad." + Extension(kind);
    if (kind == "view") {
        commands = {{Tool(), "dump", file}};
    } else if (kind == "zip" || kind == "inflate") {
        if (kind == "inflate") variants = {PlainArchive(variants[0], 8)};
        file = "bad.zip";
        commands = {{Tool(), "list", file}, {Tool(), "unpack", file, "out"}};
    } else {
        commands = {{Tool(), "convert", file, "out.bmp"}};
    }
    for (std::size_t variant = 0; variant < variants.size(); ++variant) {
        const auto& bytes = variants[variant];
        SCOPED_TRACE("variant " + std::to_string(variant));
        dir.Write(file, bytes);
        for (const auto& command : commands) {
            SCOPED_TRACE("ovetool " + command[1]);
            SOutcome r = RunMeasured(command, dir.path());
            // The file as found must be refused; with its leading byte dropped a damaged view may
            // still describe as what it holds, and the tool must then stay within bounds.
            if (kind == "view" && variant > 0 && r.exited && r.status == 0)
                ExpectBounded(r, kMaxSeconds, kMaxKilobytes);
            else ExpectRefusedQuickly(r, kMaxSeconds, kMaxKilobytes);
        }
    }
}

// The engine's own start-up (GL through EGL, the script heap) sets the baseline the bad file's
// load is measured against.
const SOutcome& EngineBaseline() {
    static const SOutcome baseline = [] {
        ovetest::TempDir dir;
        dir.Write("DATA/main.ovs", "function Init() { Alert('fine'); }\nfunction Run() {}\n");
        return RunMeasured({Engine(), "--headless", "--frames", "2"}, dir.path());
    }();
    return baseline;
}

TEST_P(BadInput, EngineReportsItWithoutBlowingUp) {
    const std::string name = GetParam(), kind = Kind(name);
    const SOutcome& base = EngineBaseline();
    ASSERT_TRUE(base.exited && base.status == 0) << base.err;

    ovetest::TempDir dir;
    if (kind == "bmp" || kind == "png" || kind == "jpg") {
        dir.Write("DATA/bad." + kind, ReadBad(name));
        dir.Write("DATA/main.ovs", "function Init() { var i = new Image('bad." + kind + "'); }\nfunction Run() {}\n");
    } else if (kind == "view") {
        // Both forms at once: each sprite must fail on its own.
        auto variants = Variants(name);
        std::string script = "function Init() {\n";
        for (std::size_t i = 0; i < variants.size(); ++i) {
            dir.Write("DATA/bad" + std::to_string(i) + ".OVV", variants[i]);
            const std::string v = "bad" + std::to_string(i);
            script += "  try { new Sprite().view = '" + v + "'; } catch (e) { Alert(String(e)); }\n";
        }
        dir.Write("DATA/main.ovs", script + "}\nfunction Run() {}\n");
    } else {
        std::vector<unsigned char> payload = ReadBad(name);
        ove::u32 method = 8;
        if (kind == "zip" && !FirstEntryPayload(dir.Write("bad.zip", payload), payload, method))
            GTEST_SKIP() << "the archive's directory is unreadable: the asset tool test covers it";
        dir.Write("GAME.DAT", PackedGame(payload, method));
    }
    SOutcome r = RunMeasured({Engine(), "--headless", "--frames", "2"}, dir.path());
    if (kind == "view") {
        // A damaged view may load as what it holds; the sprite must survive it either way, and
        // the file as found is reported.
        ExpectBounded(r, base.seconds + kMaxSeconds, base.maxRssKb + kMaxKilobytes);
        EXPECT_TRUE(r.status == 0 || r.status == 1) << r.err;
        EXPECT_NE(r.err.find("bad0.OVV"), std::string::npos) << r.err;
        return;
    }
    ExpectRefusedQuickly(r, base.seconds + kMaxSeconds, base.maxRssKb + kMaxKilobytes);
    EXPECT_NE(r.err.find("Error"), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(Files, BadInput, ::testing::ValuesIn(BadFiles()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string n = info.param;
                             for (char& c : n)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });

}  // namespace
