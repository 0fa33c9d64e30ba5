// Where the TypeScript compiler is: $OVE_TSC, the copy scripts/setup.sh installs, or PATH; "" if none.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/TestSupport.h"

inline std::string FindTsc() {
    if (const char* env = std::getenv("OVE_TSC"); env && *env) return env;
    if (const char* home = std::getenv("HOME")) {
        const std::filesystem::path cached = std::filesystem::path(home) / ".cache/ove-npm/node_modules/.bin/tsc";
        if (std::filesystem::exists(cached)) return cached.string();
    }
    return ovetest::HaveProgram("tsc") ? "tsc" : "";
}

// Type-checks `files` (a shell pattern, relative to `dir`) against docs/ove.d.ts with `tsc`; the
// exit status, its messages in *log.
inline int TypeCheck(const std::string& tsc, const std::filesystem::path& dir, const std::string& files,
                     std::string* log) {
    const std::filesystem::path out = dir / "tsc.log";
    const int rc = ovetest::Run("cd '" + dir.string() + "' && '" + tsc +
                                "' --noEmit --allowJs --checkJs --target es5 --lib es5 --pretty false '" +
                                OVE_TEST_SOURCE_DIR "/../docs/ove.d.ts' " + files + " > '" + out.string() + "' 2>&1");
    *log = ovetest::ReadFileText(out);
    return rc;
}
