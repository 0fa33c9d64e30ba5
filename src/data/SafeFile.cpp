#include "SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    struct stat st{};
    if (::stat(target.c_str(), &st) == 0) return st.st_mode & 07777;
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

CSafeFile::CSafeFile(std::string target) : target_(std::move(target)) {
    if (target_.empty() || target_.back() == '/') return;
    // The commit must land on the same file even if the current directory changes meanwhile.
    if (target_[0] != '/') {
        std::error_code ec;
        std::filesystem::path absolute = std::filesystem::absolute(target_, ec);
        if (ec) return;
        target_ = absolute.string();
    }
    struct stat st{};
    if (::stat(target_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return;  // never replace a folder or device

    const std::size_t slash = target_.find_last_of('/');
    const std::string leaf = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    const std::string prefix = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
    std::string pattern = prefix + "." + leaf + ".tmp-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) return;
    ::fchmod(fd, FileMode(target_));
    stream_ = ::fdopen(fd, "wb");
    if (!stream_) {
        ::close(fd);
        ::unlink(name.data());
        return;
    }
    temp_ = name.data();
}

CSafeFile::~CSafeFile() { Commit(); }

void CSafeFile::Seek(u32 position) {
    if (stream_) std::fseek(stream_, static_cast<long>(position), SEEK_SET);
}

u32 CSafeFile::Tell() { return StreamTell(stream_); }

u32 CSafeFile::GetSize() { return StreamSize(stream_); }

u32 CSafeFile::Write(const void* data, u32 count) {
    if (!CanWrite() || count == 0) return 0;
    u32 written = static_cast<u32>(std::fwrite(data, 1, count, stream_));
    if (written < count) failed_ = true;
    return written;
}

bool CSafeFile::Commit() {
    if (done_ || !stream_) return committed_;
    done_ = true;
    bool ok = !failed_ && std::fflush(stream_) == 0 && ::fsync(::fileno(stream_)) == 0;
    ok = (std::fclose(stream_) == 0) && ok;
    stream_ = nullptr;
    if (ok && ::rename(temp_.c_str(), target_.c_str()) == 0) {
        SyncFolder(FolderOf(target_));
        committed_ = true;
    } else {
        ::unlink(temp_.c_str());
    }
    return committed_;
}

void CSafeFile::Abandon() {
    if (done_ || !stream_) return;
    done_ = true;
    std::fclose(stream_);
    stream_ = nullptr;
    ::unlink(temp_.c_str());
}

}  // namespace ove
