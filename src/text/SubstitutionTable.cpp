#include "SubstitutionTable.h"

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "io/FileFolder.h"

namespace ove {

namespace {

// The C library's white-space class in the default locale.
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool IsSeparator(char c) { return c == '^' || c == '~' || c == '='; }

void CheckLength(std::size_t length) {
    if (length > kMaxSubstitutedText) throw std::length_error("Substituted text is too long");
}

// Mode '^': only an occurrence at the very start counts.
void ApplyPrefix(const SSubstitution& entry, std::string& text) {
    const std::string& pattern = entry.pattern;
    if (text.compare(0, pattern.size(), pattern) != 0) return;
    if (!entry.replacement.empty()) {
        CheckLength(text.size() - pattern.size() + entry.replacement.size());
        text.replace(0, pattern.size(), entry.replacement);
        return;
    }
    std::size_t end = pattern.size();
    while (end < text.size() && IsSpace(text[end])) ++end;
    text.erase(0, end);
}

// Mode '~': every occurrence, never rescanning an inserted replacement. Built into a new string
// so that many replacements in a long text stay linear.
void ApplyAnywhere(const SSubstitution& entry, std::string& text) {
    const std::string& pattern = entry.pattern;
    std::size_t found = text.find(pattern);
    if (found == std::string::npos) return;
    std::string out;
    std::size_t copied = 0;
    for (; found != std::string::npos; found = text.find(pattern, copied)) {
        CheckLength(out.size() + (found - copied) + entry.replacement.size() + (text.size() - found - pattern.size()));
        out.append(text, copied, found - copied);
        out += entry.replacement;
        copied = found + pattern.size();
    }
    out.append(text, copied, std::string::npos);
    text = std::move(out);
}

// Mode '='. The string being worked on is `out` followed by text[copied...]; what was removed or
// replaced is never looked at again. Returns false when the table's processing ends here (an
// empty replacement of a word at the end of the text).
bool ApplyWord(const SSubstitution& entry, std::string& text) {
    const std::string& pattern = entry.pattern;
    const std::string& replacement = entry.replacement;
    std::size_t found = text.find(pattern);
    if (found == std::string::npos) return true;
    std::string out;
    std::size_t copied = 0;
    for (; found != std::string::npos;) {
        std::size_t end = found + pattern.size();
        bool spaceBefore;
        if (found > copied) spaceBefore = IsSpace(text[found - 1]);
        else spaceBefore = out.empty() || IsSpace(out.back());
        bool spaceAfter = end == text.size() || IsSpace(text[end]);
        if (!spaceBefore || !spaceAfter) {
            found = text.find(pattern, found + 1);
            continue;
        }
        out.append(text, copied, found - copied);
        if (!replacement.empty()) {
            CheckLength(out.size() + replacement.size() + (text.size() - end));
            out += replacement;
        } else if (out.empty()) {
            // The word opened the text: so does no white space now.
            while (end < text.size() && IsSpace(text[end])) ++end;
        } else if (end == text.size()) {
            while (!out.empty() && IsSpace(out.back())) out.pop_back();
            text = std::move(out);
            return false;
        } else if (IsSpace(out.back()) && IsSpace(text[end])) {
            ++end;  // one gap, not two
        }
        copied = end;
        found = text.find(pattern, copied);
    }
    out.append(text, copied, std::string::npos);
    text = std::move(out);
    return true;
}

// One entry on the text; false ends the table.
bool ApplyEntry(const SSubstitution& entry, std::string& text) {
    if (text == entry.pattern) text = entry.replacement;
    switch (entry.mode) {
    case '^': ApplyPrefix(entry, text); return true;
    case '=': return ApplyWord(entry, text);
    default: ApplyAnywhere(entry, text); return true;
    }
}

}  // namespace

std::vector<SSubstitution> ParseSubstitutions(std::string_view bytes) {
    std::vector<SSubstitution> entries;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t lineEnd = bytes.find('\n', start);
        bool terminated = lineEnd != std::string_view::npos;
        if (!terminated) lineEnd = bytes.size();
        std::size_t first = start;
        while (first < lineEnd && IsSpace(bytes[first])) ++first;
        std::size_t last = lineEnd;
        if (terminated)
            while (last > first && IsSpace(bytes[last - 1])) --last;
        std::string_view line = bytes.substr(first, last - first);
        start = terminated ? lineEnd + 1 : bytes.size();

        std::size_t separator = line.find('^');
        if (separator == std::string_view::npos) separator = line.find('~');
        if (separator == std::string_view::npos) separator = line.find('=');
        if (separator == std::string_view::npos) continue;
        std::size_t patternEnd = separator;
        while (patternEnd > 0 && IsSpace(line[patternEnd - 1])) --patternEnd;
        if (patternEnd == 0) continue;
        std::size_t from = separator + 1;
        while (from < line.size() && (IsSpace(line[from]) || IsSeparator(line[from]))) ++from;
        entries.push_back({std::string(line.substr(0, patternEnd)), std::string(line.substr(from)), line[separator]});
    }
    return entries;
}

void CSubstitutionTable::Apply(std::string& text) const {
    for (const SSubstitution& entry : entries)
        if (!ApplyEntry(entry, text)) return;
}

bool LoadSubstitutionFile(CFileFolder& folder, const std::string& file, std::vector<SSubstitution>* entries) {
    std::unique_ptr<CDataBin> bin(folder.Open(file + ".tbl"));
    if (!bin) bin.reset(folder.Open(file));
    if (!bin) return false;
    u32 size = bin->GetSize();
    if (size > kMaxSubstitutionFile) throw std::runtime_error("Substitution table [" + file + "] is too large");
    std::string bytes(size, '\0');
    bin->Seek(0);
    if (size && bin->Read(bytes.data(), size) != size)
        throw std::runtime_error("Couldn't read substitution table [" + file + "]");
    *entries = ParseSubstitutions(bytes);
    return true;
}

bool CSubstitutionTables::Register(CFileFolder& folder, const std::string& name, const std::string& file,
                                   int32_t priority) {
    Remove(name);
    CSubstitutionTable table{name, file, priority, {}};
    if (!LoadSubstitutionFile(folder, file, &table.entries)) return false;
    auto after = std::upper_bound(m_tables.begin(), m_tables.end(), priority,
                                  [](int32_t p, const CSubstitutionTable& t) { return p < t.priority; });
    m_tables.insert(after, std::move(table));
    return true;
}

void CSubstitutionTables::Remove(const std::string& name) {
    auto it = std::find_if(m_tables.begin(), m_tables.end(),
                           [&](const CSubstitutionTable& t) { return t.name == name; });
    if (it != m_tables.end()) m_tables.erase(it);
}

std::size_t CSubstitutionTables::Reload(CFileFolder& folder) {
    for (CSubstitutionTable& table : m_tables) {
        std::vector<SSubstitution> entries;
        LoadSubstitutionFile(folder, table.file, &entries);
        table.entries = std::move(entries);
    }
    return m_tables.size();
}

std::string CSubstitutionTables::Apply(std::string text) const {
    for (const CSubstitutionTable& table : m_tables) table.Apply(text);
    return text;
}

}  // namespace ove
