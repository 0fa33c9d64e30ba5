// ".tbl" substitution tables: parse, then apply the table to a few texts, the input among them.
#include <stdexcept>
#include <string_view>

#include "FuzzInput.h"
#include "text/SubstitutionTable.h"

using namespace ove;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CSubstitutionTable table;
    table.entries = ParseSubstitutions(bytes);
    std::string texts[] = {"", "the quick brown fox", std::string(bytes.substr(0, 256))};
    for (std::string& text : texts) {
        try {
            table.Apply(text);
        } catch (const std::length_error&) {
            // A table that grows text without end is refused by design; callers report it.
        }
    }
    return 0;
}
