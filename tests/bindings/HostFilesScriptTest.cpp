// The drive, directory and file functions as scripts call them, in a temporary current directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "io/DataBin.h"
#include "support/ScriptFixture.h"

using namespace ove;
namespace fs = std::filesystem;

namespace {

// Scripts run with a temporary current directory.
class HostFilesScriptTest : public ovetest::ScriptTest {
protected:
    ovetest::TempDir m_work;
    ovetest::ScopedCwd m_cwd{m_work.path()};
};

}  // namespace

TEST_F(HostFilesScriptTest, DrivesAndTheirTypes) {
    EXPECT_EQ(Eval("var d = GetDrives(); Array.isArray(d) + ':' + d.join()"), "true:C");
    EXPECT_EQ(Eval("[GetDriveType('C'), GetDriveType('c'), GetDriveType('c:\\\\whatever'), GetDriveType('A'), "
                   "GetDriveType('z')].join()"),
              "3,3,3,0,0");
    for (const char* bad :
         {"GetDriveType('1')", "GetDriveType('')", "GetDriveType(':C')", "GetDriveType(3)", "GetDriveType()"})
        EXPECT_EQ(Thrown(bad).rfind("TypeError", 0), 0u) << bad;
    EXPECT_EQ(Eval("DRIVETYPE_FIXED = 9; DRIVETYPE_FIXED"), "3");
}

TEST_F(HostFilesScriptTest, ListingAndFileOperations) {
    m_work.Write("b.txt", "1");
    m_work.Write("Saves/1.sav", "1");
    EXPECT_EQ(Eval("[GetFiles().join(), GetFiles(undefined).join(), GetDirectories().join()].join('|')"),
              "b.txt|b.txt|.,..,Saves");
    EXPECT_EQ(Eval("var l = GetFiles('SAVES\\\\*.none'); Array.isArray(l) + ':' + l.length"), "true:0");
    for (const char* bad : {"GetFiles(5)", "GetDirectories(null)", "CreateDirectory(1)", "CreateDirectory()"})
        EXPECT_EQ(Thrown(bad).rfind("TypeError", 0), 0u) << bad;
    EXPECT_EQ(Eval("[CreateDirectory('New'), RenameFile('new', 'Old'), RenameFile()].join()"), "true,true,false");
    // DeleteFile and RenameFile take any value as its text, and never throw.
    m_work.Write("42", "x");
    m_work.Write("null", "x");
    EXPECT_EQ(Eval("[DeleteFile(42), DeleteFile(null), DeleteFile('Saves'), "
                   "DeleteFile({ toString: function () { throw new Error('no'); } })].join()"),
              "true,true,false,false");
    EXPECT_FALSE(fs::exists(m_work / "42"));
    EXPECT_TRUE(fs::is_directory(m_work / "Old"));
}

TEST_F(HostFilesScriptTest, ChangingDirectorySwitchesLooseResourceFiles) {
    ovetest::TempDir loose;
    loose.Write("hall.OVV", "from the current directory");
    m_data.Write("hall.OVV", "from the data folder");
    auto readHall = [&] {
        std::unique_ptr<CDataBin> bin(m_resources->OpenResource("hall", "OVV"));
        if (!bin) return std::string("none");
        std::string s(bin->GetSize(), '\0');
        bin->Read(s.data(), static_cast<uint32_t>(s.size()));
        return s;
    };
    EXPECT_EQ(readHall(), "from the data folder");
    EXPECT_EQ(Eval("SetCurrentDirectory('" + loose.path().string() + "')"), "true");
    EXPECT_EQ(fs::path(Eval("GetCurrentDirectory()")), fs::canonical(loose.path()));
    EXPECT_TRUE(m_resources->DiskFirst());
    EXPECT_EQ(readHall(), "from the current directory");

    // A failed change, or a value that is not a string, turns the loose lookup off.
    EXPECT_EQ(Eval("SetCurrentDirectory('no such folder')"), "false");
    EXPECT_FALSE(m_resources->DiskFirst());
    EXPECT_EQ(readHall(), "from the data folder");
    EXPECT_EQ(fs::path(Eval("GetCurrentDirectory()")), fs::canonical(loose.path()));
    loose.Write("file", "x");
    EXPECT_EQ(Eval("[SetCurrentDirectory('FILE'), SetCurrentDirectory('.')].join()"), "false,true");
    EXPECT_TRUE(m_resources->DiskFirst());
    EXPECT_EQ(Eval("SetCurrentDirectory(5)"), "false");
    EXPECT_FALSE(m_resources->DiskFirst());
    EXPECT_EQ(Eval("SetCurrentDirectory()"), "false");
    EXPECT_EQ(Eval("SetCurrentDirectory({ toString: function () { return '.'; } })"), "false");
}

TEST_F(HostFilesScriptTest, ReadTextFileKeepsLineEndsAndBytes) {
    m_data.Write("notes.txt", std::string("line one\r\nline two\r\n\0 end", 25));
    m_data.Write("utf8.txt", "caf\xC3\xA9!");
    m_data.Write("cp1252.txt",
                 "caf\xE9 \x80"
                 "5");
    m_data.Write("utf16.txt", std::string("\xFF\xFEh\0i\0", 6));
    m_data.Write("empty.txt", "");
    EXPECT_EQ(Eval("var t = ReadTextFile('NOTES.TXT'); [t.length, t.charCodeAt(8), t.charCodeAt(9), "
                   "t.charCodeAt(20), t.slice(-3)].join()"),
              "25,13,10,0,end");
    EXPECT_EQ(Eval("var t = ReadTextFile('utf8.txt'); [t.length, t.charCodeAt(3), t.slice(-2)].join()"),
              "5,233,\xC3\xA9!");
    // Bytes that are not UTF-8 are one character each, in code page 1252.
    EXPECT_EQ(
        Eval("var t = ReadTextFile('cp1252.txt'); [t.length, t.charCodeAt(3), t.charCodeAt(5), t.slice(-1)].join()"),
        "7,233,8364,5");
    EXPECT_EQ(Eval("var t = ReadTextFile('utf16.txt'); [typeof t, t.length, t.charCodeAt(0), t.charCodeAt(1), "
                   "typeof t.slice(1)].join()"),
              "string,6,255,254,string");
    EXPECT_EQ(Eval("ReadTextFile('empty.txt')"), "");
    EXPECT_EQ(Eval("try { ReadTextFile('missing.txt'); 'read' } catch (e) { e.name }"), "Error");
    EXPECT_EQ(Thrown("ReadTextFile(7)").rfind("TypeError", 0), 0u);
    // Loose files in the current directory come first when the data source looks there.
    m_work.Write("notes.txt", "loose");
    m_folder->SetLocalFirst(true);
    EXPECT_EQ(Eval("ReadTextFile('notes.txt')"), "loose");
}
