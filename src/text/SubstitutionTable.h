// Word-substitution tables: replacement lists read from ".tbl" text files and applied to strings
// in priority order (to adapt texts before they are shown).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ove {

class CFileFolder;

struct SSubstitution {
    std::string pattern;      // never empty
    std::string replacement;  // may be empty: the pattern is removed
    char mode = '~';          // '^' prefix, '~' anywhere, '=' whole word
};

// Limits that keep damaged or hostile input from taking the process down.
inline constexpr std::size_t kMaxSubstitutionFile = 16u << 20;  // bytes of one ".tbl" file
inline constexpr std::size_t kMaxSubstitutedText = 16u << 20;   // bytes of a substituted text

// One entry per line: "pattern<sep>replacement" with the first '^', else '~', else '=' as the
// separator. Lines without a separator or with an empty pattern are ignored. Never fails.
std::vector<SSubstitution> ParseSubstitutions(std::string_view bytes);

struct CSubstitutionTable {
    std::string name;
    std::string file;  // as given, without ".tbl"
    int32_t priority = INT32_MAX;
    std::vector<SSubstitution> entries;

    // Applies every entry in file order. Throws std::length_error when the text would grow
    // beyond kMaxSubstitutedText.
    void Apply(std::string& text) const;
};

// The registered tables, kept in ascending priority (equal priorities in registration order).
class CSubstitutionTables {
public:
    // Replaces any table of that name. Opens file + ".tbl", else the file as given; when neither
    // opens, nothing is registered and the result is false. A file that opens but cannot be read
    // whole, or is larger than kMaxSubstitutionFile, throws std::runtime_error and registers
    // nothing.
    bool Register(CFileFolder& folder, const std::string& name, const std::string& file, int32_t priority = INT32_MAX);
    void Remove(const std::string& name);
    // Re-reads every table; a table whose file no longer opens keeps no entries. Returns the
    // number of tables. Throws as Register does (the tables read so far keep their new content).
    std::size_t Reload(CFileFolder& folder);
    // Every table in order on a copy of the text. Throws std::length_error as Apply does.
    std::string Apply(std::string text) const;
    void Clear() { m_tables.clear(); }
    const std::vector<CSubstitutionTable>& Tables() const { return m_tables; }

private:
    std::vector<CSubstitutionTable> m_tables;
};

// Opens file + ".tbl" or the file itself and parses it into *entries. False when neither opens;
// throws std::runtime_error on a damaged or oversized file.
bool LoadSubstitutionFile(CFileFolder& folder, const std::string& file, std::vector<SSubstitution>* entries);

}  // namespace ove
