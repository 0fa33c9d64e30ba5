// Substitution tables: the ".tbl" reader, the three modes, the table order and damaged files.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "support/MemoryFolder.h"
#include "text/SubstitutionTable.h"

using namespace ove;

namespace {

std::string ApplyOne(const std::string& table, std::string text) {
    CSubstitutionTable t;
    t.entries = ParseSubstitutions(table);
    t.Apply(text);
    return text;
}

}  // namespace

TEST(SubstitutionFile, LinesSeparatorsAndWhiteSpace) {
    auto e = ParseSubstitutions(
        "  colour = color \r\n"  // trailing CR and blanks go, leading blanks go
        "no separator here\n"
        " = empty pattern\n"
        "a~b^c\n"  // '^' wins over an earlier '~'
        "x = y\n"
        "please^\n"
        "w ~ =~ z\n"     // separator characters after the separator are skipped
        "last~tail  ");  // the unterminated last line keeps its trailing blanks
    std::vector<std::string> entries;
    for (const auto& entry : e) entries.push_back(entry.pattern + entry.mode + entry.replacement + "|");
    EXPECT_EQ(entries,
              (std::vector<std::string>{"colour=color|", "a~b^c|", "x=y|", "please^|", "w~z|", "last~tail  |"}));
    EXPECT_TRUE(ParseSubstitutions("").empty());
    EXPECT_TRUE(ParseSubstitutions("\n\n   \n").empty());
}

TEST(SubstitutionApply, ModesChainsAndTheWholeText) {
    const struct {
        const char *table, *text, *want;
    } rows[] = {
        // Whole words; a skipped occurrence does not hide a word that overlaps it.
        {"colour=color\n", "colours", "colours"},
        {"colour=color\n", "my colour is", "my color is"},
        {"colour=color\n", "colour colour,colour", "color colour,colour"},
        {"colour=color\n", "colour", "color"},
        {"x x=Q\n", "yx x x", "yx Q"},
        // Empty replacements. Whole words: one gap in the middle, leading blanks at the start,
        // trailing at the end; a word removed at the end stops the table.
        {"please^\n", "please   open the door", "open the door"},
        {"please^\n", "say please", "say please"},
        {"um~\n", "um, hum", ", h"},
        {"very=\n", "a very big very  dog", "a big  dog"},
        {"very=\n", "very  very big", "big"},
        {"very=\n", "so very", "so"},
        {"very=\nso~SO\n", "so very", "so"},
        {"very=\nso~SO\n", "so very nice", "SO nice"},
        // Entries chain; replacements are not searched again, so a growing entry ends; the whole
        // text equal to the pattern is replaced, then the entry's own mode runs on it.
        {"a~b\nb~c\n", "ab", "cc"},
        {"a~aa\n", "aXa", "aaXaa"},
        {"a~ab\n", "a", "abb"},
        {"go^gone\n", "go", "gonene"},
    };
    for (const auto& r : rows) EXPECT_EQ(ApplyOne(r.table, r.text), r.want) << r.table << r.text;
}

TEST(SubstitutionTables, OrderFilesAndReload) {
    ovetest::CMemoryFolder folder;
    folder.files["first.tbl"] = "x~[first]\n";
    folder.files["second"] = "x~[second]\n[first]~1\n";  // opened under its name as given
    folder.files["early.tbl"] = "x~early\n";
    CSubstitutionTables tables;
    EXPECT_TRUE(tables.Register(folder, "one", "first", 5));
    EXPECT_TRUE(tables.Register(folder, "two", "second", 5));
    EXPECT_TRUE(tables.Register(folder, "zero", "early", 1));
    EXPECT_FALSE(tables.Register(folder, "none", "missing"));
    ASSERT_EQ(tables.Tables().size(), 3u);
    EXPECT_EQ(tables.Tables()[0].name, "zero");
    EXPECT_EQ(tables.Tables()[1].name, "one");
    EXPECT_EQ(tables.Apply("x"), "early");
    tables.Remove("zero");
    EXPECT_EQ(tables.Apply("x"), "1");

    // Registering a name again replaces that table and places it by its new priority.
    EXPECT_TRUE(tables.Register(folder, "one", "first", 9));
    EXPECT_EQ(tables.Tables()[0].name, "two");
    EXPECT_EQ(tables.Apply("x"), "[second]");
    // A failed registration still drops the old table of that name.
    EXPECT_FALSE(tables.Register(folder, "two", "missing"));
    EXPECT_EQ(tables.Tables().size(), 1u);

    folder.files["first.tbl"] = "x~changed\n";
    EXPECT_TRUE(tables.Register(folder, "two", "second", 9));
    EXPECT_EQ(tables.Reload(folder), 2u);
    EXPECT_EQ(tables.Apply("x"), "changed");
    folder.files.erase("first.tbl");
    EXPECT_EQ(tables.Reload(folder), 2u);
    EXPECT_TRUE(tables.Tables()[0].entries.empty());
    EXPECT_EQ(tables.Apply("x"), "[second]");
}

TEST(SubstitutionTables, DamagedFilesAndRunawayGrowth) {
    ovetest::CMemoryFolder folder;
    folder.files["short.tbl"] = "a~b\n";
    folder.claimedSize["short.tbl"] = 1000;  // says more than it holds
    folder.files["huge.tbl"] = "a~b\n";
    folder.claimedSize["huge.tbl"] = 0xFFFFFFF0u;  // must be refused before any allocation
    CSubstitutionTables tables;
    EXPECT_THROW(tables.Register(folder, "s", "short"), std::runtime_error);
    EXPECT_THROW(tables.Register(folder, "h", "huge"), std::runtime_error);
    EXPECT_TRUE(tables.Tables().empty());

    // Binary junk parses without harm.
    std::string junk;
    for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 7919) & 0xFF);
    EXPECT_NO_THROW(ParseSubstitutions(junk));

    // Every entry doubles the text: the limit stops it with an error instead of eating memory.
    std::string doubling;
    for (int i = 0; i < 40; ++i) doubling += "a~aa\n";
    CSubstitutionTable t;
    t.entries = ParseSubstitutions(doubling);
    std::string text = "a";
    EXPECT_THROW(t.Apply(text), std::length_error);
}
