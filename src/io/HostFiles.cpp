#include "HostFiles.h"

#include "Durable.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>

#include "io/FileAccess.h"
#include "io/FileFolder.h"

namespace ove {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool MatchPlain(std::string_view p, std::string_view n) {
    // Each character other than '*' takes one character of the name.
    const auto fixed = static_cast<size_t>(std::count_if(p.begin(), p.end(), [](char c) { return c != '*'; }));
    if (fixed > n.size()) return false;
    // Greedy scan with a return point at the last star: O(|p| * |n|).
    size_t pi = 0, ni = 0, starP = std::string_view::npos, starN = 0;
    while (ni < n.size()) {
        if (pi < p.size() && p[pi] == '*') {
            while (pi < p.size() && p[pi] == '*') ++pi;
            if (pi == p.size()) return true;
            starP = pi;
            starN = ni;
        } else if (pi < p.size() && (p[pi] == '?' || Lower(p[pi]) == Lower(n[ni]))) {
            ++pi;
            ++ni;
        } else if (starP != std::string_view::npos) {
            pi = starP;
            ni = ++starN;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') ++pi;
    return pi == p.size();
}

bool IsDirectoryAt(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// "a/b/" is "a/b"; the root stays "/".
std::string TrimTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// Where a new entry of the path would go: its parent as it exists on disk (found without regard
// to case) and the last component as given. Empty when the parent does not exist or the last
// component is "." or "..".
std::string ResolveNew(const std::string& hostPath) {
    std::string path = TrimTrailingSlashes(hostPath);
    if (path.empty() || path == "/") return {};
    const size_t slash = path.rfind('/');
    const std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    if (leaf == "." || leaf == "..") return {};
    if (slash == std::string::npos) return leaf;
    std::string parent = slash == 0 ? "/" : path.substr(0, slash);
    std::string onDisk = FindOnDisk(parent);
    if (onDisk.empty() || !IsDirectoryAt(onDisk)) return {};
    return TrimTrailingSlashes(onDisk) == "/" ? "/" + leaf : TrimTrailingSlashes(onDisk) + "/" + leaf;
}

std::string FindExisting(std::string_view path) {
    std::optional<std::string> host = ToHostPath(path);
    return host ? FindOnDisk(*host) : std::string{};
}

bool SameEntry(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return ::lstat(a.c_str(), &sa) == 0 && ::lstat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool CaseLess(const std::string& a, const std::string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const char x = Lower(a[i]), y = Lower(b[i]);
        if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

}  // namespace

std::vector<char> HostDrives() { return {kRootDrive}; }

int HostDriveType(char letter) { return Upper(letter) == kRootDrive ? kDriveFixed : kDriveUnknown; }

std::optional<std::string> ToHostPath(std::string_view path) {
    std::string host(path);
    std::replace(host.begin(), host.end(), '\\', '/');
    if (host.size() >= 2 && host[1] == ':' && IsLetter(host[0])) {
        if (Upper(host[0]) != kRootDrive) return std::nullopt;
        if (host.size() == 2) return std::string(".");
        host.erase(0, 2);
    }
    return host;
}

bool MatchWildcard(std::string_view pattern, std::string_view name) {
    if (MatchPlain(pattern, name)) return true;
    return pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
           name.find('.') == std::string_view::npos && MatchPlain(pattern.substr(0, pattern.size() - 2), name);
}

std::vector<std::string> ListEntries(std::string_view pattern, bool directories) {
    std::vector<std::string> names;
    std::optional<std::string> host = ToHostPath(pattern);
    if (!host || host->empty() || host->size() > PATH_MAX) return names;
    const size_t slash = host->rfind('/');
    const std::string leaf = slash == std::string::npos ? *host : host->substr(slash + 1);
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : host->substr(0, slash);
    if (leaf.empty() || folder.find_first_of("*?") != std::string::npos) return names;
    folder = FindOnDisk(folder);
    if (folder.empty()) return names;
    if (!FileAccess().Check(nullptr, folder, CFileAccess::Mode::kRead)) return names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return names;
    const std::string prefix = folder.back() == '/' ? folder : folder + "/";
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (!MatchWildcard(leaf, name)) continue;
        if (IsDirectoryAt(prefix + entry->d_name) == directories) names.emplace_back(name);
    }
    ::closedir(dir);
    auto rank = [](const std::string& n) { return n == "." ? 0 : n == ".." ? 1 : 2; };
    std::sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
        if (rank(a) != rank(b)) return rank(a) < rank(b);
        return CaseLess(a, b);
    });
    return names;
}

bool MakeDirectory(std::string_view path) {
    std::optional<std::string> host = ToHostPath(path);
    if (!host) return false;
    // A name that exists in another case is taken already.
    if (!FindOnDisk(TrimTrailingSlashes(*host)).empty()) return false;
    const std::string target = ResolveNew(*host);
    if (target.empty() || !FileAccess().Check("CreateDirectory", target, CFileAccess::Mode::kWrite) ||
        ::mkdir(target.c_str(), 0777) != 0)
        return false;
    PersistFileChanges();
    return true;
}

bool RemoveFile(std::string_view path) {
    const std::string target = FindExisting(path);
    struct stat st {};
    if (target.empty() || ::lstat(target.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    if (!FileAccess().Check("DeleteFile", target, CFileAccess::Mode::kWrite) || ::unlink(target.c_str()) != 0)
        return false;
    PersistFileChanges();
    return true;
}

namespace {

bool RenameOnDisk(std::string_view from, std::string_view to) {
    const std::string source = FindExisting(from);
    std::optional<std::string> host = ToHostPath(to);
    if (source.empty() || !host) return false;
    const std::string target = ResolveNew(*host);
    if (target.empty()) return false;
    // Both ends: a file moved in from outside, rewritten and moved back would launder the rule.
    if (!FileAccess().Check("RenameFile", source, CFileAccess::Mode::kWrite) ||
        !FileAccess().Check("RenameFile", target, CFileAccess::Mode::kWrite))
        return false;
    const std::string existing = FindOnDisk(TrimTrailingSlashes(*host));
    if (!existing.empty()) {
        // Only the same entry under a new case of its name.
        if (!SameEntry(existing, source)) return false;
        return ::rename(source.c_str(), target.c_str()) == 0;
    }
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return true;
    // File systems without the no-replace flag: the target was checked just above.
    if (errno == EINVAL || errno == ENOSYS) return ::rename(source.c_str(), target.c_str()) == 0;
    return false;
#else
    return ::rename(source.c_str(), target.c_str()) == 0;  // a browser's files: one player, no race
#endif
}

}  // namespace

bool RenameEntry(std::string_view from, std::string_view to) {
    if (!RenameOnDisk(from, to)) return false;
    PersistFileChanges();
    return true;
}

bool ChangeDirectory(std::string_view path) {
    const std::string target = FindExisting(path);
    return !target.empty() && FileAccess().Check("SetCurrentDirectory", target, CFileAccess::Mode::kRead) &&
           ::chdir(target.c_str()) == 0;
}

std::string CurrentDirectory() {
    std::vector<char> buffer(PATH_MAX);
    while (!::getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE || buffer.size() > (1u << 20)) return {};
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

}  // namespace ove
