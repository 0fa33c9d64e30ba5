// FileReader and FileWriter from script: the bytes on disk, round trips, ciphers, paths.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "FileFixture.h"
#include "bindings/JSFile.h"

namespace ovetest {
namespace {

std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty()) out += ' ';
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

using FileWriterBytes = FileScriptTest;

TEST_F(FileWriterBytes, ValuesAreTaggedAsTheFormatSays) {
    EXPECT_EQ(Eval("var w = new FileWriter('v.dat'); w.Write(1.5, 7, -2147483648, 2147483647); w.Close(); w.valid"),
              "false");
    EXPECT_EQ(Hex(Bytes("v.dat")),
              "44 00 00 00 00 00 00 F8 3F "   // 1.5
              "49 07 00 00 00 "               // 7
              "49 00 00 00 80 "               // -2147483648
              "44 00 00 C0 FF FF FF DF 41");  // 2147483647 as a double
    Eval(
        "w = new FileWriter('s.dat'); w.Write('\\u00e9', null, undefined, true, {}, [1]); w.WriteBinary('\\u00e9');"
        "w.Close()");
    // 'é' as one unit; booleans and objects write nothing; the binary form keeps the engine's bytes.
    EXPECT_EQ(Hex(Bytes("s.dat")), "53 01 00 00 00 E9 00 4E 56 42 02 00 00 00 C3 A9");
    EXPECT_EQ(Eval("w = new FileWriter('r.dat'); var n = w.WriteRaw('ab', 12, null); w.Close(); n"), "8");
    EXPECT_EQ(Bytes("r.dat"), "ab12null");
}

TEST_F(FileWriterBytes, MalformedStringStopsTheCallAfterEarlierValues) {
    // Bytes 0xFF and 0x80 cannot start a sequence; a binary string carries them.
    std::ofstream(m_dir / "raw.bin", std::ios::binary) << "\xFF\x80";
    EXPECT_EQ(Eval("var bad = new FileReader('raw.bin').ReadRaw(2); var w = new FileWriter('m.dat');"
                   "var e = ''; try { w.Write(5, bad, 6); } catch (x) { e = x.name; } w.Close(); e"),
              "RangeError");
    EXPECT_EQ(Hex(Bytes("m.dat")), "49 05 00 00 00");
}

class FileRoundTrip : public FileScriptTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(FileRoundTrip, EveryValueTypeComesBack) {
    const std::string pw = GetParam();
    const std::string args = pw.empty() ? "" : ", '" + pw + "'";
    Eval(
        "var values = [0, -1, 2147483646, 2147483647, -2147483649, 0.1, 1e300, -Infinity, '', 'plain',"
        "'\\u00e9\\u20ac\\u07ff', '\\ud83d\\ude00', '\\udc00 lone', null, undefined];"
        "var w = new FileWriter('rt.dat'" +
        args +
        "); values.forEach(function (v) { w.Write(v); });"
        "w.WriteBinary('\\u00ff'); w.WriteRaw('tail'); w.Close();");
    EXPECT_EQ(Eval("var r = new FileReader('rt.dat'" + args +
                   "); var same = true;"
                   "values.forEach(function (v) { var got = r.Read(); if (got !== v) same = false; }); same"),
              "true");
    EXPECT_EQ(Eval("r.Read() === '\\u00ff'"), "true");  // the binary form: the engine's own bytes
    EXPECT_EQ(Eval("r.ReadRaw(100) + '|' + r.Read() + '|' + r.pos + '|' + r.size"),
              "tail|undefined|" + Eval("r.size") + "|" + Eval("r.size"));
    if (!pw.empty()) {
        // 12 header bytes on disk, not counted by the reader; the check byte is 0xFF.
        EXPECT_EQ(std::filesystem::file_size(m_dir / "rt.dat"), std::stoul(Eval("r.size")) + 12);
        EXPECT_EQ(Eval("r.pos = 0; r.Read()"), "0");  // seeking back re-reads from the start
    }
}

INSTANTIATE_TEST_SUITE_P(Passwords, FileRoundTrip, ::testing::Values("", "s3cret"));

TEST_F(FileScriptTest, WrongPasswordGivesWrongDataWithoutError) {
    Eval("var w = new FileWriter('p.dat', 'right'); w.Write('a long enough string', 12345); w.Close()");
    EXPECT_EQ(Eval("var r = new FileReader('p.dat', 'wrong'); var a = r.Read(), b = r.Read();"
                   "r.valid + ' ' + (a === 'a long enough string') + ' ' + (b === 12345)"),
              "true false false");
    // Without the password the header and cipher bytes are no value at all, or a wrong one.
    EXPECT_EQ(Eval("new FileReader('p.dat').Read() === 'a long enough string'"), "false");
}

TEST_F(FileScriptTest, TruncatedAndMissingFiles) {
    Eval("var w = new FileWriter('t.dat'); w.Write('abcdef', 1.25, 9); w.Close()");
    std::string full = Bytes("t.dat");
    for (size_t cut = 0; cut < full.size(); ++cut) {
        std::ofstream(m_dir / "cut.dat", std::ios::binary | std::ios::trunc) << full.substr(0, cut);
        std::string got = Eval("var r = new FileReader('cut.dat'); [r.Read(), r.Read(), r.Read()].join(',')");
        // Whole values before the cut come back; the one cut short and everything after is undefined.
        std::string expect = cut < 17 ? ",," : cut < 26 ? "abcdef,," : "abcdef,1.25,";
        EXPECT_EQ(got, expect) << "cut at " << cut;
    }
    EXPECT_EQ(Eval("new FileReader('nothing.dat').valid"), "false");
    EXPECT_EQ(Eval("new FileReader('nothing.dat', 'pw').valid"), "false");
    EXPECT_EQ(Eval("var r = new FileReader('t.dat'); r.pos = r.size - 4; r.ReadRaw(10).length"), "4");
    // A count that claims more than the file holds is refused, not allocated.
    std::ofstream(m_dir / "huge.dat", std::ios::binary) << std::string("S\xFF\xFF\xFF\x7F", 5) << "ab";
    EXPECT_EQ(Eval("String(new FileReader('huge.dat').Read())"), "undefined");
}

TEST_F(FileScriptTest, ClosedAndInvalidObjects) {
    EXPECT_EQ(Eval("try { FileReader('x'); 'no' } catch (e) { e.name }"), "TypeError");
    EXPECT_EQ(Eval("var w = new FileWriter('c.dat'); w.Close(); w.Close(); w.valid"), "false");
    EXPECT_EQ(Eval("try { w.Write(1); 'no' } catch (e) { e.name }"), "ReferenceError");
    EXPECT_EQ(Eval("var r = new FileReader('missing'); r.Close(); try { r.Read(); 'no' } catch (e) { e.name }"),
              "ReferenceError");
    EXPECT_EQ(ove::OpenFileStreams(), 0u);
}

TEST_F(FileScriptTest, FilesAreCompleteAfterCollectionAndHostStop) {
    std::ofstream(m_dir / "gc.dat") << "old";
    // Until the writer is closed the previous file stays as it was.
    Eval(
        "var keep = new FileWriter('stop.dat'); keep.Write(1); (function () { var w = new FileWriter('gc.dat');"
        "w.Write(42); })(); 0");
    EXPECT_EQ(Bytes("stop.dat"), "");
    duk_gc(ctx(), 0);
    EXPECT_EQ(Hex(Bytes("gc.dat")), "49 2A 00 00 00");
    EXPECT_EQ(ove::OpenFileStreams(), 1u);
    ove::StopScriptHost();
    EXPECT_EQ(Hex(Bytes("stop.dat")), "49 01 00 00 00");
    EXPECT_EQ(ove::OpenFileStreams(), 0u);
    // No temporary files are left beside the targets.
    EXPECT_EQ(ovetest::CountEntries(m_dir.path()), 2u);
}

TEST_F(FileScriptTest, ReadersAndWritersStayInsideTheGameFolder) {
    TempDir outside;
    std::ofstream(outside / "keep.dat") << "keep";
    std::filesystem::create_directory(m_dir / "Saves");
    const std::string out = (outside / "keep.dat").string();
    EXPECT_EQ(Eval("new FileWriter('" + out + "').valid"), "false");
    EXPECT_EQ(Eval("new FileWriter('../" + outside.path().filename().string() + "/new.dat').valid"), "false");
    EXPECT_FALSE(std::filesystem::exists(outside / "new.dat"));
    // A link inside the game's folder does not lead a writer out of it.
    std::filesystem::create_symlink(outside / "keep.dat", m_dir / "link.dat");
    EXPECT_EQ(Eval("new FileWriter('link.dat').valid"), "false");
    EXPECT_EQ(Bytes("link.dat"), "keep");
    // Reading outside takes the player's trust; Windows-style names reach the folder whatever its case.
    EXPECT_EQ(Eval("new FileReader('" + out + "').valid"), "false");
    ove::FileAccess().SetTrustReads(true);
    EXPECT_EQ(Eval("new FileReader('" + out + "').valid"), "true");
    EXPECT_EQ(Eval("new FileWriter('" + out + "').valid"), "false");
    EXPECT_EQ(Eval("var w = new FileWriter('saves\\\\slot1.dat'); w.Write(3); w.Close(); "
                   "new FileReader('SAVES/SLOT1.DAT').Read()"),
              "3");
    EXPECT_TRUE(std::filesystem::exists(m_dir / "Saves" / "slot1.dat"));
    EXPECT_EQ(Eval("new FileWriter('Saves').valid"), "false");  // a folder is never replaced
}

}  // namespace
}  // namespace ovetest
