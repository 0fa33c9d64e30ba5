// Helpers shared by the fuzz targets: the bytes reach every parser through a data bin, as
// they do in the engine.
#pragma once
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "io/DataBin.h"

namespace ove::fuzz {

// A memory bin holding a copy of the input (the engine reads archives and files into these).
inline CBuffer MakeBin(const std::uint8_t* data, std::size_t size) {
    return CBuffer(data, static_cast<u32>(size));
}

// Some parsers open a path; an anonymous memory file gives them one without touching the disk.
class CMemoryFile {
public:
    CMemoryFile(const std::uint8_t* data, std::size_t size) {
        fd_ = ::memfd_create("ove-fuzz", 0);
        if (fd_ < 0) return;
        std::size_t done = 0;
        while (done < size) {
            ssize_t n = ::write(fd_, data + done, size - done);
            if (n <= 0) break;
            done += std::size_t(n);
        }
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~CMemoryFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    CMemoryFile(const CMemoryFile&) = delete;
    CMemoryFile& operator=(const CMemoryFile&) = delete;
    const std::string& Path() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
};

// Reads a stream to its end in pieces, so that a bin claiming a huge size costs only what it yields.
inline std::size_t Drain(CDataBin& bin, std::size_t limit = 64u << 20) {
    std::vector<std::uint8_t> chunk(4096);
    std::size_t total = 0;
    while (total < limit) {
        u32 n = bin.Read(chunk.data(), static_cast<u32>(chunk.size()));
        if (n == 0) break;
        total += n;
    }
    return total;
}

}  // namespace ove::fuzz
