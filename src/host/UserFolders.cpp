#include "UserFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace ove {

namespace {

std::string Home() {
    if (const char* h = std::getenv("HOME"); h && *h) return h;
    if (passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/tmp";
}

// The folder is created when missing, as games expect to write there straight away.
std::string Ensure(const std::string& dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return dir;
}

std::string FromEnv(const char* variable, const char* fallbackUnderHome) {
    const char* v = std::getenv(variable);
    // Relative values are invalid by the XDG rules and are ignored.
    if (v && *v == '/') return Ensure(v);
    return Ensure(Home() + "/" + fallbackUnderHome);
}

}  // namespace

std::string AppDataFolder() { return FromEnv("XDG_CONFIG_HOME", ".config"); }
std::string LocalAppDataFolder() { return FromEnv("XDG_DATA_HOME", ".local/share"); }

std::string DocumentsFolder() {
    std::ifstream dirs(AppDataFolder() + "/user-dirs.dirs");
    std::string line;
    const std::string key = "XDG_DOCUMENTS_DIR=";
    while (std::getline(dirs, line)) {
        if (line.rfind(key, 0) != 0) continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0) value = Home() + value.substr(5);
        if (!value.empty() && value[0] == '/') return Ensure(value);
    }
    return Ensure(Home() + "/Documents");
}

}  // namespace ove
