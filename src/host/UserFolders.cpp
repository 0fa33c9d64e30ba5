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

std::string XdgFolder(const char* variable, const char* fallbackUnderHome) {
    const char* v = std::getenv(variable);
    // Relative values are invalid by the XDG rules and are ignored.
    if (v && *v == '/') return v;
    return Home() + "/" + fallbackUnderHome;
}

// Whether `inner` is `outer` or lies below it (plain, already absolute paths).
bool Within(std::string inner, std::string outer) {
    while (inner.size() > 1 && inner.back() == '/') inner.pop_back();
    while (outer.size() > 1 && outer.back() == '/') outer.pop_back();
    return inner == outer || (inner.rfind(outer + "/", 0) == 0);
}

}  // namespace

std::string AppDataFolder() { return Ensure(XdgFolder("XDG_CONFIG_HOME", ".config") + "/ove"); }
std::string LocalAppDataFolder() { return Ensure(XdgFolder("XDG_DATA_HOME", ".local/share") + "/ove"); }

std::string DocumentsFolder() {
    // Games may write in the documents folder, so it must not hold the desktop's settings (this
    // file among them) or the home folder's other dot-folders.
    const std::string config = XdgFolder("XDG_CONFIG_HOME", ".config");
    const std::string data = XdgFolder("XDG_DATA_HOME", ".local/share");
    std::ifstream dirs(config + "/user-dirs.dirs");
    std::string line;
    const std::string key = "XDG_DOCUMENTS_DIR=";
    while (std::getline(dirs, line)) {
        if (line.rfind(key, 0) != 0) continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0) value = Home() + value.substr(5);
        if (value.empty() || value[0] != '/') continue;
        if (Within(config, value) || Within(data, value) || Within(Home(), value)) continue;
        return Ensure(value);
    }
    return Ensure(Home() + "/Documents");
}

}  // namespace ove
