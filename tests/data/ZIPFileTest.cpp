#include <gtest/gtest.h>

#include <algorithm>

#include "ZipTestUtil.h"
#include "data/PackedArchive.h"
#include "data/ZIPCipher.h"
#include "data/ZIPFile.h"
#include "io/FileFolder.h"

using namespace ove;
using namespace ziptest;
namespace fs = std::filesystem;

namespace {

// The entry opens and holds exactly these bytes.
void ExpectEntry(CZIPFile& zip, const std::string& name, const Bytes& data) {
    std::unique_ptr<CDataBin> bin(zip.OpenFile(name));
    ASSERT_TRUE(bin) << name;
    EXPECT_EQ(bin->GetSize(), data.size()) << name;
    EXPECT_EQ(ReadBin(*bin), data) << name;
}

// Reads every file of the tree through the archive and compares it with the original.
void ExpectTreeReadable(CZIPFile& zip, const Tree& tree) {
    for (const auto& [name, data] : tree) {
        EXPECT_TRUE(zip.Exists(name)) << name;
        ExpectEntry(zip, name, data);
    }
}

// Every encrypted entry must refuse to open or give other bytes; most are refused outright.
void ExpectTreeUnreadable(CZIPFile& zip, const Tree& tree) {
    int refused = 0;
    for (const auto& [name, data] : tree) {
        if (data.empty()) continue;
        std::unique_ptr<CDataBin> bin(zip.OpenFile(name));
        if (!bin) {
            ++refused;
        } else {
            EXPECT_NE(ReadBin(*bin), data) << name;
        }
    }
    EXPECT_GT(refused, 0);
}

const SZIPEntry* FindEntry(CZIPFile& zip, const std::string& name) {
    zip.Scan();
    for (const SZIPEntry& e : zip.Entries())
        if (e.rawName == name) return &e;
    return nullptr;
}

// Archives the tree with a peer tool's command; returns the archive path (empty when the tool failed).
fs::path PeerZip(const ovetest::TempDir& dir, const Tree& tree, const std::string& command) {
    WriteTree(dir, "src", tree);
    fs::path out = dir / "peer.zip";
    std::string cmd = "cd " + Quote(dir / "src") + " && " + command + " " + Quote(out) + " . >/dev/null";
    return ovetest::Run(cmd) == 0 ? out : fs::path();
}

// A local header as the engine reads it.
Bytes LocalHeader(u32 signature, u32 flags, u32 method, u32 modTime, u32 crc, u32 packed, u32 size,
                  const std::string& name) {
    Bytes h;
    auto put = [&](u32 v, int bytes) {
        for (int i = 0; i < bytes; ++i) h.push_back(static_cast<u8>(v >> (8 * i)));
    };
    put(signature, 4);
    for (u32 v : {20u, flags, method, modTime, 0x21u}) put(v, 2);
    for (u32 v : {crc, packed, size}) put(v, 4);
    put(static_cast<u32>(name.size()), 2);
    put(0, 2);
    h.insert(h.end(), name.begin(), name.end());
    return h;
}

void Append(Bytes& to, const Bytes& from) { to.insert(to.end(), from.begin(), from.end()); }

// A stored entry record (plain).
Bytes StoredRecord(u32 signature, const std::string& name, const Bytes& data, u32 method = 0) {
    Bytes r = LocalHeader(signature, 0, method, 0, Crc32(data.data(), data.size()), static_cast<u32>(data.size()),
                          static_cast<u32>(data.size()), name);
    Append(r, data);
    return r;
}

// Builds an archive in memory with CZIPWriter: deflated where it helps, otherwise stored.
Bytes WriteArchive(const Tree& tree, u32 signature, const std::string& password) {
    CBuffer out;
    CZIPWriter writer(&out, signature, password);
    for (const auto& [name, data] : tree) {
        Bytes packed = RawDeflate(data);
        bool store = packed.size() >= data.size();
        const Bytes& payload = store ? data : packed;
        EXPECT_TRUE(writer.AddEntry(name, store ? 0 : 8, payload.data(), static_cast<u32>(payload.size()),
                                    Crc32(data.data(), data.size()), static_cast<u32>(data.size())));
    }
    EXPECT_TRUE(writer.Finish());
    return out.Bytes();
}

}  // namespace

// ---- Archives made by peers

TEST(PeerArchives, PlainAndEncryptedArchivesFromInfoZipAnd7Zip) {
    Tree tree = SampleTree();
    const struct {
        const char* tool;
        const char* command;
        const char* entry;
        u32 method;
        bool encrypted;  // with the password Sesame
    } archivers[] = {
        {"zip", "zip -q -r -X", "Rooms/hall/description.txt", 8, false},
        {"zip", "zip -q -r -X -0", "Rooms/hall/description.txt", 0, false},
        // Far repeats and long runs in theme.bin give the encoder reasons to use deflate64's extras.
        {"7z", "7z a -tzip -mm=Deflate64 -mx=1", "music/theme.bin", 9, false},
        {"7z", "7z a -tzip -mm=Deflate64 -mx=9", "music/theme.bin", 9, false},
        {"zip", "zip -q -r -X -P Sesame", "Rooms/hall/description.txt", 8, true},
        {"zip", "zip -q -r -X -0 -P Sesame", "Rooms/hall/description.txt", 0, true},
        {"7z", "7z a -tzip -mm=Deflate -mem=ZipCrypto -pSesame", "Rooms/hall/description.txt", 8, true},
        {"7z", "7z a -tzip -mm=Deflate64 -mem=ZipCrypto -pSesame", "music/theme.bin", 9, true},
        {"7z", "7z a -tzip -mm=Copy -mem=ZipCrypto -pSesame", "Rooms/hall/description.txt", 0, true},
    };
    int ran = 0;
    for (const auto& a : archivers) {
        if (!ovetest::HaveProgram(a.tool)) continue;
        SCOPED_TRACE(a.command);
        ++ran;
        ovetest::TempDir dir;
        fs::path archive = PeerZip(dir, tree, a.command);
        ASSERT_FALSE(archive.empty());
        CZIPFile zip(archive.string());
        if (a.encrypted) zip.SetPassword("Sesame");
        EXPECT_EQ(zip.GetName(), "[ZIP:" + archive.string() + "]");
        ExpectTreeReadable(zip, tree);
        const SZIPEntry* e = FindEntry(zip, a.entry);
        ASSERT_TRUE(e);
        EXPECT_EQ(e->method, a.method);
        EXPECT_EQ(e->encrypted, a.encrypted);
        EXPECT_FALSE(zip.Exists("missing.txt"));
        EXPECT_EQ(zip.OpenFile("missing.txt"), nullptr);
        if (a.encrypted) {
            CZIPFile wrong(archive.string()), none(archive.string());
            wrong.SetPassword("sesame");
            ExpectTreeUnreadable(wrong, tree);
            EXPECT_TRUE(wrong.Exists("main.ovs")) << "a wrong password hides the contents, not the names";
            ExpectTreeUnreadable(none, tree);
        }
        if (a.method != 8 || a.encrypted) continue;  // the rest once, on Info-ZIP's deflated archive
        EXPECT_TRUE(zip.Exists("Sprites/")) << "folder records are entries too";
        // Lookups ignore case and the direction of slashes, but not the rest of the name.
        for (const char* name : {"SPRITES/HERO.PNG", "sprites/hero.png", "sprites\\hero.png", "SPRITES\\Hero.png"})
            ExpectEntry(zip, name, tree["Sprites/Hero.PNG"]);
        EXPECT_FALSE(zip.Exists("Sprites/Hero.PN"));
        EXPECT_FALSE(zip.Exists("/Sprites/Hero.PNG"));
    }
    if (ran == 0) GTEST_SKIP() << "neither zip nor 7z installed";
}

TEST(PeerArchives, StoredEncryptedEntrySeeksBackwards) {
    if (!ovetest::HaveProgram("zip")) GTEST_SKIP() << "zip not installed";
    ovetest::TempDir dir;
    Tree tree = SampleTree();
    CZIPFile zip(PeerZip(dir, tree, "zip -q -r -X -0 -P pw").string());
    zip.SetPassword("pw");
    const Bytes& original = tree["music/theme.bin"];
    const SZIPEntry* e = FindEntry(zip, "music/theme.bin");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->compressedSize, original.size() + 12);
    std::unique_ptr<CDataBin> bin(zip.OpenFile("music/theme.bin"));
    ASSERT_TRUE(bin);
    EXPECT_EQ(bin->GetSize(), original.size());
    u8 chunk[64];
    bin->Seek(150000);
    ASSERT_EQ(bin->Read(chunk, 64), 64u);
    EXPECT_EQ(Bytes(chunk, chunk + 64), Bytes(original.begin() + 150000, original.begin() + 150064));
    bin->Seek(10);
    ASSERT_EQ(bin->Read(chunk, 64), 64u);
    EXPECT_EQ(Bytes(chunk, chunk + 64), Bytes(original.begin() + 10, original.begin() + 74));
}

TEST(PeerArchives, WriterOutputPassesPeerTests) {
    if (!ovetest::HaveProgram("unzip")) GTEST_SKIP() << "unzip not installed";
    ovetest::TempDir dir;
    Tree tree = SampleTree();
    dir.Write("plain.zip", WriteArchive(tree, kZIPLocalSignature, ""));
    dir.Write("locked.zip", WriteArchive(tree, kZIPLocalSignature, "Lock3d"));
    EXPECT_EQ(ovetest::Run("unzip -qq -t " + Quote(dir / "plain.zip") + " >/dev/null"), 0);
    EXPECT_EQ(ovetest::Run("unzip -qq -t -P Lock3d " + Quote(dir / "locked.zip") + " >/dev/null"), 0);
    EXPECT_NE(ovetest::Run("unzip -qq -t -P wrong " + Quote(dir / "locked.zip") + " >/dev/null 2>&1"), 0);
    if (ovetest::HaveProgram("7z")) {
        EXPECT_EQ(ovetest::Run("7z t -pLock3d " + Quote(dir / "locked.zip") + " >/dev/null"), 0);
    }
}

// ---- Packed archives and hand-made records

TEST(PackedArchive, NeedsTheAlternativeSignatureAndPassword) {
    ovetest::TempDir dir;
    Tree tree = SampleTree();
    fs::path path = dir.Write("GAME.DAT", WriteArchive(tree, PackedArchiveSignature(), PackedArchivePassword()));

    std::unique_ptr<CZIPFile> game(OpenPackedArchive(path.string()));
    ExpectTreeReadable(*game, tree);
    for (const SZIPEntry& e : game->Entries()) EXPECT_TRUE(e.encrypted) << e.rawName;

    CZIPFile plain(path.string());
    EXPECT_FALSE(plain.Exists("main.ovs")) << "the standard signature alone does not read it";
    EXPECT_EQ(plain.OpenFile("main.ovs"), nullptr);

    CZIPFile noPassword(path.string());
    noPassword.SetSignature(PackedArchiveSignature());
    EXPECT_TRUE(noPassword.Exists("main.ovs"));
    ExpectTreeUnreadable(noPassword, tree);
}

TEST(PackedArchive, AcceptsStandardHeadersToo) {
    ovetest::TempDir dir;
    Bytes a = StoredRecord(PackedArchiveSignature(), "a.txt", TextBytes("alpha"));
    Append(a, StoredRecord(kZIPLocalSignature, "b.txt", TextBytes("beta")));
    fs::path path = dir.Write("mixed.dat", a);
    std::unique_ptr<CZIPFile> zip(OpenPackedArchive(path.string()));
    ExpectEntry(*zip, "B.TXT", TextBytes("beta"));
}

TEST(HandMade, CheckByteFromTimeWhenDescriptorFollows) {
    ovetest::TempDir dir;
    Bytes plain = TextBytes("described later");
    // Check bytes: the CRC-32's top byte, or 0xC5 from the time (the data must match the CRC-32).
    const u32 crc = Crc32(plain.data(), plain.size()), modTime = 0xC5A0;
    const u8 fromCrc = static_cast<u8>(crc >> 24);
    ASSERT_NE(fromCrc, 0xC5);
    Bytes archive;
    for (auto [name, flags, check] :
         {std::tuple{"time.txt", 1u | 8u, 0xC5}, std::tuple{"crc.txt", 1u, int(fromCrc)},
          std::tuple{"timewrong.txt", 1u | 8u, int(fromCrc)}, std::tuple{"crcwrong.txt", 1u, 0xC5}}) {
        Bytes data = Encipher(plain, "pw", static_cast<u8>(check));
        Append(archive, LocalHeader(kZIPLocalSignature, flags, 0, modTime, crc, static_cast<u32>(data.size()),
                                    static_cast<u32>(plain.size()), name));
        Append(archive, data);
        if (flags & 8) Append(archive, Bytes(16, 0xEE));  // descriptor, skipped whole
    }
    Append(archive, StoredRecord(kZIPLocalSignature, "after.txt", TextBytes("after")));
    CZIPFile zip(dir.Write("dd.zip", archive).string());
    zip.SetPassword("pw");
    for (const char* good : {"time.txt", "crc.txt"}) ExpectEntry(zip, good, plain);
    EXPECT_TRUE(zip.Exists("timewrong.txt"));
    EXPECT_EQ(zip.OpenFile("timewrong.txt"), nullptr);
    EXPECT_EQ(zip.OpenFile("crcwrong.txt"), nullptr);
    ExpectEntry(zip, "after.txt", TextBytes("after"));  // the walk skips the 16-byte descriptors
}

TEST(HandMade, SignaturesDecideWhatIsRead) {
    ovetest::TempDir dir;
    Bytes good = StoredRecord(kZIPLocalSignature, "good.txt", TextBytes("good"));

    // Unknown signature first: nothing at all.
    Bytes first = StoredRecord(0x12345678, "bad.txt", TextBytes("bad"));
    Append(first, good);
    CZIPFile a(dir.Write("first.zip", first).string());
    testing::internal::CaptureStderr();
    EXPECT_FALSE(a.Exists("good.txt"));
    EXPECT_FALSE(a.Scan());
    // Said once, naming the archive.
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.rfind("ove: warning: " + a.ArchivePath() + ": ", 0), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;

    // Unknown signature later: the archive behaves as empty, earlier entries included.
    Bytes later = good;
    Append(later, StoredRecord(0x12345678, "bad.txt", TextBytes("bad")));
    CZIPFile b(dir.Write("later.zip", later).string());
    EXPECT_FALSE(b.Exists("good.txt"));
    EXPECT_EQ(b.OpenFile("good.txt"), nullptr);

    // A central-directory header ends the walk cleanly, whatever follows it.
    Bytes central = good;
    Append(central, StoredRecord(kZIPCentralSignature, "x", TextBytes("garbage that is not a record")));
    CZIPFile c(dir.Write("central.zip", central).string());
    EXPECT_TRUE(c.Scan());
    EXPECT_TRUE(c.Exists("good.txt"));
    EXPECT_EQ(c.Entries().size(), 1u);
}

TEST(HandMade, UnsupportedMethodsAndDuplicates) {
    ovetest::TempDir dir;
    Bytes archive;
    for (auto [name, text, method] : {std::tuple{"bzip.txt", "pretend bzip2", 12u},
                                      {"Dup\\Name.txt", "first", 0u},
                                      {"dup/name.TXT", "second", 0u},
                                      {"lzma.txt", "pretend lzma", 14u},
                                      {"last.txt", "last", 0u}})
        Append(archive, StoredRecord(kZIPLocalSignature, name, TextBytes(text), method));
    CZIPFile zip(dir.Write("methods.zip", archive).string());
    EXPECT_FALSE(zip.Exists("bzip.txt"));
    EXPECT_FALSE(zip.Exists("lzma.txt"));
    EXPECT_EQ(zip.Entries().size(), 3u);
    ExpectEntry(zip, "DUP/NAME.TXT", TextBytes("first"));
    ExpectEntry(zip, "last.txt", TextBytes("last"));
}

TEST(HandMade, MissingArchiveIsEmptyAndNamesMatchWithoutCase) {
    ovetest::TempDir dir;
    CZIPFile missing((dir / "nothing.zip").string());
    EXPECT_TRUE(missing.Scan());
    EXPECT_FALSE(missing.Exists("main.ovs"));
    EXPECT_EQ(missing.OpenFile("main.ovs"), nullptr);
    dir.Write("game.dat", StoredRecord(kZIPLocalSignature, "a.txt", TextBytes("a")));
    ovetest::ScopedCwd cwd(dir.path());
    CZIPFile zip("GAME.DAT");
    EXPECT_TRUE(zip.Exists("a.txt"));
}

TEST(HandMade, OpenedEntriesOutliveTheArchiveObject) {
    ovetest::TempDir dir;
    Tree tree = SampleTree();
    fs::path path = dir.Write("g.dat", WriteArchive(tree, kZIPLocalSignature, "x"));
    std::unique_ptr<CDataBin> stored, deflated;
    {
        CZIPFile zip(path.string());
        zip.SetPassword("x");
        stored.reset(zip.OpenFile("Sprites/Hero.PNG"));  // incompressible: stored
        deflated.reset(zip.OpenFile("Rooms/hall/description.txt"));
        ASSERT_EQ(FindEntry(zip, "Sprites/Hero.PNG")->method, 0u);
    }
    ASSERT_TRUE(stored && deflated);
    EXPECT_EQ(ReadBin(*stored), tree["Sprites/Hero.PNG"]);
    EXPECT_EQ(ReadBin(*deflated), tree["Rooms/hall/description.txt"]);
}

TEST(HandMade, ThroughACompoundFolder) {
    ovetest::TempDir dir;
    dir.Write("DATA/main.ovs", "from the directory");
    dir.Write("GAME.DAT", WriteArchive({{"main.ovs", TextBytes("from the archive")},
                                        {"only/in/archive.txt", TextBytes("archived")}},
                                       PackedArchiveSignature(), PackedArchivePassword()));
    ovetest::ScopedCwd cwd(dir.path());
    CCompoundFolder folder;
    folder.Add(new CDirectory("DATA"));
    folder.Add(OpenPackedArchive("GAME.DAT"));
    std::string resolved;
    std::unique_ptr<CDataBin> main(folder.Open("main.ovs", &resolved));
    ASSERT_TRUE(main);
    EXPECT_EQ(ReadBin(*main), TextBytes("from the directory"));
    std::unique_ptr<CDataBin> archived(folder.Open("ONLY\\IN\\ARCHIVE.TXT", &resolved));
    ASSERT_TRUE(archived);
    EXPECT_EQ(ReadBin(*archived), TextBytes("archived"));
    EXPECT_EQ(resolved, folder.GetName() + "ONLY\\IN\\ARCHIVE.TXT");
    EXPECT_TRUE(folder.Exists("only/in/archive.txt"));
}

// ---- Damaged archives: never a crash, never truncated data served as whole

TEST(Damaged, TruncatedAtEveryLength) {
    ovetest::TempDir dir;
    Tree tree = {{"a.txt", TextBytes(std::string(300, 'a') + "end")},
                 {"b.bin", RandomBytes(200, 4)},
                 {"c.txt", TextBytes("short")}};
    for (const std::string& password : {std::string(), std::string("pw")}) {
        Bytes full = WriteArchive(tree, kZIPLocalSignature, password);
        for (size_t n = 0; n < full.size(); ++n) {
            fs::path p = dir.Write("t.zip", Bytes(full.begin(), full.begin() + n));
            CZIPFile zip(p.string());
            zip.SetPassword(password);
            for (const auto& [name, data] : tree) {
                if (!zip.Exists(name)) continue;
                std::unique_ptr<CDataBin> bin(zip.OpenFile(name));
                ASSERT_TRUE(bin) << name << " at length " << n;
                EXPECT_EQ(ReadBin(*bin), data) << name << " at length " << n;
            }
        }
    }
}

TEST(Damaged, RandomCorruptionNeverCrashes) {
    ovetest::TempDir dir;
    Tree tree = SampleTree();
    tree.erase("music/theme.bin");
    Bytes full = WriteArchive(tree, kZIPLocalSignature, "pw");
    std::mt19937 rng(99);
    int opened = 0;
    for (int round = 0; round < 300; ++round) {
        Bytes damaged = full;
        int flips = 1 + static_cast<int>(rng() % 4);
        for (int i = 0; i < flips; ++i) damaged[rng() % damaged.size()] ^= static_cast<u8>(1 + rng() % 255);
        fs::path p = dir.Write("r.zip", damaged);
        CZIPFile zip(p.string());
        zip.SetPassword("pw");
        zip.Scan();
        for (const SZIPEntry& e : zip.Entries()) {
            std::unique_ptr<CDataBin> bin(zip.OpenEntry(e));
            if (!bin) continue;
            ++opened;
            Bytes got = ReadBin(*bin);
            // Whatever is handed out whole is the original: damage shows as a failure or a short read.
            auto original = tree.find(e.rawName);
            if (got.size() == bin->GetSize() && original != tree.end()) {
                EXPECT_EQ(got, original->second) << e.rawName;
            }
            if (got.size() != bin->GetSize()) {
                auto* checked = dynamic_cast<CZIPCheckedStream*>(bin.get());
                EXPECT_TRUE(checked && checked->Damaged()) << e.rawName;
            }
        }
    }
    EXPECT_GT(opened, 0);
}

// ---- Sizes and CRC-32s are checked

TEST(Integrity, DamagedEntriesAreErrorsNeverWrongBytes) {
    ovetest::TempDir dir;
    const Bytes plain = TextBytes(std::string(5000, 'x') + "tail");
    const u32 crc = Crc32(plain.data(), plain.size()), size = static_cast<u32>(plain.size());
    const Bytes packed = RawDeflate(plain);
    const u32 n = static_cast<u32>(packed.size());
    Bytes archive;
    auto add = [&](const char* name, u32 flags, u32 method, u32 entryCrc, u32 entrySize, const Bytes& data) {
        Append(archive, LocalHeader(kZIPLocalSignature, flags, method, 0, entryCrc, static_cast<u32>(data.size()),
                                    entrySize, name));
        Append(archive, data);
    };
    add("good.txt", 0, 8, crc, size, packed);
    add("badcrc.txt", 0, 8, crc ^ 1, size, packed);
    add("short.txt", 0, 8, crc, size - 1, packed);  // inflates past its declared size
    add("long.txt", 0, 8, crc, size + 1, packed);   // ends before it
    add("zip64.txt", 0, 8, crc, 0xFFFFFFFFu, packed);
    add("bomb.txt", 0, 8, crc, n * 2000, packed);  // more than n deflated bytes can describe
    Bytes reserved = packed;
    reserved[0] |= 0x06;  // block type 3 does not exist
    add("reserved.txt", 0, 8, crc, size, reserved);
    add("stored.txt", 0, 0, crc ^ 0x100, size, plain);
    add("storedsize.txt", 0, 0, crc, size + 3, plain);
    // A streamed entry: CRC-32 and size only in the descriptor after the data.
    Append(archive, LocalHeader(kZIPLocalSignature, 8, 8, 0, 0, n, 0, "streamed.txt"));
    Append(archive, packed);
    Bytes descriptor = {0x50, 0x4B, 0x07, 0x08};
    for (u32 v : {crc, n, size})
        for (int i = 0; i < 4; ++i) descriptor.push_back(static_cast<u8>(v >> (8 * i)));
    Append(archive, descriptor);

    CZIPFile zip(dir.Write("d.zip", archive).string());
    for (const char* name : {"good.txt", "streamed.txt"}) ExpectEntry(zip, name, plain);
    for (const char* name :
         {"badcrc.txt", "short.txt", "long.txt", "zip64.txt", "bomb.txt", "reserved.txt", "storedsize.txt"}) {
        EXPECT_TRUE(zip.Exists(name)) << name;
        EXPECT_EQ(zip.OpenFile(name), nullptr) << name;
    }
    // A stored entry is read on demand: the damage shows when its end is read.
    std::unique_ptr<CDataBin> stored(zip.OpenFile("stored.txt"));
    ASSERT_TRUE(stored);
    Bytes got(size);
    EXPECT_EQ(stored->Read(got.data(), 4000), 4000u);
    EXPECT_EQ(stored->Read(got.data() + 4000, size - 4000), 0u);
    EXPECT_TRUE(dynamic_cast<CZIPCheckedStream&>(*stored).Damaged());
    EXPECT_EQ(stored->Read(got.data(), 1), 0u);
}

TEST(Integrity, HostileSamplesAndTruncation) {
    // A 33 KB entry claiming 4 GiB that once inflated to 590 MB.
    CZIPFile bomb(OVE_TEST_SOURCE_DIR "/support/hostile/zip-1.bin");
    ASSERT_TRUE(bomb.Scan());
    ASSERT_EQ(bomb.Entries().size(), 1u);
    EXPECT_EQ(bomb.OpenEntry(bomb.Entries()[0]), nullptr);

    // A file that ends inside its second entry says so.
    ovetest::TempDir dir;
    Bytes archive = StoredRecord(kZIPLocalSignature, "first.txt", TextBytes("one"));
    Bytes second = StoredRecord(kZIPLocalSignature, "second.txt", RandomBytes(100, 3));
    second.resize(second.size() - 10);
    Append(archive, second);
    CZIPFile cut(dir.Write("cut.zip", archive).string());
    EXPECT_TRUE(cut.Scan());
    EXPECT_TRUE(cut.SawRecord());
    EXPECT_EQ(cut.Entries().size(), 1u);
    ASSERT_EQ(cut.Dropped().size(), 1u);
    EXPECT_EQ(cut.Dropped()[0].rawName, "second.txt");
    EXPECT_EQ(cut.Dropped()[0].headerOffset, 30u + 9u + 3u);

    CZIPFile tiny(dir.Write("tiny.zip", TextBytes("hello")).string());
    EXPECT_TRUE(tiny.Scan());
    EXPECT_FALSE(tiny.SawRecord());
}
