#include "SafeFile.h"

#include "io/Durable.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace ove {

namespace {

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Makes the rename itself durable.
void SyncFolder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// The mode a plain "wb" open would give: the target's own when it exists, else 0666 less the
// process's umask.
mode_t FileMode(const std::string& target) {
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) return st.st_mode & 07777;
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

constexpr const char* kTemporaryMark = ".tmp-";
constexpr std::size_t kTemporarySuffix = 6;  // mkstemp's XXXXXX

}  // namespace

bool IsTemporaryName(std::string_view name) {
    const std::size_t mark = std::strlen(kTemporaryMark);
    if (name.size() < 2 + mark + kTemporarySuffix || name[0] != '.') return false;
    std::size_t at = name.size() - kTemporarySuffix - mark;
    if (name.substr(at, mark) != kTemporaryMark) return false;
    for (char c : name.substr(name.size() - kTemporarySuffix))
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    return true;
}

std::size_t RemoveStaleTemporaries(const std::string& folder, int depth) {
    std::size_t removed = 0;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return 0;
    std::vector<std::string> subfolders;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        std::string path = folder + "/" + name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            if (depth > 0) subfolders.push_back(path);
            continue;
        }
        if (!S_ISREG(st.st_mode) || !IsTemporaryName(name)) continue;
        // A live writer holds a lock on its temporary file; a killed one's lock went with it.
        int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(path.c_str()) == 0) ++removed;
        ::close(fd);
    }
    ::closedir(dir);
    for (const std::string& sub : subfolders) removed += RemoveStaleTemporaries(sub, depth - 1);
    return removed;
}

CSafeFile::CSafeFile(std::string target) : m_target(std::move(target)) {
    if (m_target.empty() || m_target.back() == '/') return;
    // The commit must land on the same file even if the current directory changes meanwhile.
    if (m_target[0] != '/') {
        std::error_code ec;
        std::filesystem::path absolute = std::filesystem::absolute(m_target, ec);
        if (ec) return;
        m_target = absolute.string();
    }
    struct stat st {};
    if (::stat(m_target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return;  // never replace a folder or device

    const std::size_t slash = m_target.find_last_of('/');
    const std::string leaf = slash == std::string::npos ? m_target : m_target.substr(slash + 1);
    const std::string prefix = slash == std::string::npos ? std::string() : m_target.substr(0, slash + 1);
    RemoveStaleTemporaries(FolderOf(m_target), 0);
    std::string pattern = prefix + "." + leaf + kTemporaryMark + std::string(kTemporarySuffix, 'X');
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) return;
    ::flock(fd, LOCK_EX);  // tells RemoveStaleTemporaries that this one is in use
    ::fchmod(fd, FileMode(m_target));
    m_stream = ::fdopen(fd, "wb");
    if (!m_stream) {
        ::close(fd);
        ::unlink(name.data());
        return;
    }
    m_temp = name.data();
}

CSafeFile::~CSafeFile() { Commit(); }

void CSafeFile::Seek(u32 position) {
    if (m_stream) std::fseek(m_stream, static_cast<long>(position), SEEK_SET);
}

u32 CSafeFile::Tell() { return StreamTell(m_stream); }

u32 CSafeFile::GetSize() { return StreamSize(m_stream); }

u32 CSafeFile::Write(const void* data, u32 count) {
    if (!CanWrite() || count == 0) return 0;
    u32 written = static_cast<u32>(std::fwrite(data, 1, count, m_stream));
    if (written < count) m_failed = true;
    return written;
}

bool CSafeFile::Commit() {
    if (m_done || !m_stream) return m_committed;
    m_done = true;
    bool ok = !m_failed && std::fflush(m_stream) == 0 && ::fsync(::fileno(m_stream)) == 0;
    ok = (std::fclose(m_stream) == 0) && ok;
    m_stream = nullptr;
    if (ok && ::rename(m_temp.c_str(), m_target.c_str()) == 0) {
        SyncFolder(FolderOf(m_target));
        PersistFileChanges();
        m_committed = true;
    } else {
        ::unlink(m_temp.c_str());
    }
    return m_committed;
}

void CSafeFile::Abandon() {
    if (m_done || !m_stream) return;
    m_done = true;
    std::fclose(m_stream);
    m_stream = nullptr;
    ::unlink(m_temp.c_str());
}

}  // namespace ove
