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
inline CBuffer MakeBin(const std::uint8_t* data, std::size_t size) { return CBuffer(data, static_cast<u32>(size)); }

// Some parsers open a path; an anonymous memory file gives them one without touching the disk.
class CMemoryFile {
public:
    CMemoryFile(const std::uint8_t* data, std::size_t size) {
        m_fd = ::memfd_create("ove-fuzz", 0);
        if (m_fd < 0) return;
        std::size_t done = 0;
        while (done < size) {
            ssize_t n = ::write(m_fd, data + done, size - done);
            if (n <= 0) break;
            done += std::size_t(n);
        }
        m_path = "/proc/self/fd/" + std::to_string(m_fd);
    }
    ~CMemoryFile() {
        if (m_fd >= 0) ::close(m_fd);
    }
    CMemoryFile(const CMemoryFile&) = delete;
    CMemoryFile& operator=(const CMemoryFile&) = delete;
    const std::string& Path() const { return m_path; }

private:
    int m_fd = -1;
    std::string m_path;
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
