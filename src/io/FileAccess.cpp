#include "FileAccess.h"

#include <cstdio>
#include <deque>
#include <filesystem>

namespace ove {

namespace fs = std::filesystem;

namespace {

// As the system allows before it gives up with ELOOP.
constexpr int kMaxLinks = 40;

void PushComponents(std::deque<std::string>& queue, const fs::path& path, bool front) {
    std::deque<std::string> parts;
    for (const fs::path& part : path.relative_path()) parts.push_back(part.string());
    if (front) queue.insert(queue.begin(), parts.begin(), parts.end());
    else queue.insert(queue.end(), parts.begin(), parts.end());
}

}  // namespace

std::string ResolveHostPath(std::string_view raw) {
    if (raw.empty()) return {};
    std::error_code ec;
    fs::path path{std::string(raw)};
    if (path.is_relative()) {
        path = fs::current_path(ec) / path;
        if (ec) return {};
    }
    std::deque<std::string> pending;
    PushComponents(pending, path, false);
    fs::path resolved = "/";
    bool existing = true;  // below a missing folder nothing exists, nothing is a link
    int links = 0;
    while (!pending.empty()) {
        std::string part = std::move(pending.front());
        pending.pop_front();
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            // "missing/.." fails in the system too; refuse rather than guess.
            if (!existing) return {};
            resolved = resolved.parent_path();
            continue;
        }
        fs::path next = resolved / part;
        if (existing) {
            fs::file_status st = fs::symlink_status(next, ec);
            if (st.type() == fs::file_type::not_found) {
                existing = false;
            } else if (ec) {
                return {};
            } else if (fs::is_symlink(st)) {
                if (++links > kMaxLinks) return {};
                fs::path target = fs::read_symlink(next, ec);
                if (ec) return {};
                if (target.is_absolute()) resolved = "/";
                PushComponents(pending, target, true);
                continue;
            }
        }
        resolved = std::move(next);
    }
    return resolved.string();
}

bool PathInside(const std::string& path, const std::string& folder) {
    if (path.empty() || folder.empty()) return false;
    if (folder == "/") return true;
    if (path.compare(0, folder.size(), folder) != 0) return false;
    return path.size() == folder.size() || path[folder.size()] == '/';
}

void CFileAccess::SetGameFolder(const std::string& folder) { m_gameFolder = ResolveHostPath(folder); }

void CFileAccess::AddFolder(const std::string& folder) {
    std::string resolved = ResolveHostPath(folder);
    if (!resolved.empty()) m_playerFolders.push_back(resolved);
}

void CFileAccess::Reset() {
    m_gameFolder.clear();
    m_playerFolders.clear();
    m_trustReads = false;
}

bool CFileAccess::Allows(std::string_view path, Mode mode) const {
    if (!Confined()) return true;
    if (mode == Mode::kRead && m_trustReads) return true;
    std::string resolved = ResolveHostPath(path);
    if (resolved.empty()) return false;
    if (PathInside(resolved, m_gameFolder)) return true;
    for (const std::string& folder : m_playerFolders)
        if (PathInside(resolved, folder)) return true;
    return false;
}

bool CFileAccess::Check(const char* call, std::string_view path, Mode mode) const {
    if (Allows(path, mode)) return true;
    char named[128] = "";
    if (!call && m_namer) m_namer(named, sizeof named);
    if (!call) call = named[0] ? named : "file access";
    std::fprintf(stderr, "ove: %s: refused to %s \"%.*s\": outside the game's folder and the player folders\n", call,
                 mode == Mode::kRead ? "read" : "write", static_cast<int>(path.size()), path.data());
    std::fflush(stderr);
    return false;
}

CFileAccess& FileAccess() {
    static CFileAccess access;
    return access;
}

}  // namespace ove
