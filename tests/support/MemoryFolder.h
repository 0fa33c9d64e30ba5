// A data source held in memory (standing in for an archive); a file named in claimedSize reports
// that size but delivers only what it holds.
#pragma once
#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "io/DataBin.h"
#include "io/FileFolder.h"

namespace ovetest {

class CMemoryFolder : public ove::CFileFolder {
public:
    explicit CMemoryFolder(std::map<std::string, std::string> contents = {}) : files(std::move(contents)) {}
    bool Exists(std::string path) override { return files.count(path) != 0; }
    ove::CDataBin* OpenFile(std::string path) override {
        auto it = files.find(path);
        if (it == files.end()) return nullptr;
        auto claim = claimedSize.find(path);
        if (claim == claimedSize.end()) return new ove::CBuffer(it->second.data(), ove::u32(it->second.size()));
        return new CLyingBin(it->second, claim->second);
    }

    std::map<std::string, std::string> files;
    std::map<std::string, ove::u32> claimedSize;

private:
    class CLyingBin : public ove::CDataBin {
    public:
        CLyingBin(std::string bytes, ove::u32 claim) : m_bytes(std::move(bytes)), m_claim(claim) {}
        void Seek(ove::u32 position) override { m_position = std::min<ove::u32>(position, ove::u32(m_bytes.size())); }
        ove::u32 Tell() override { return m_position; }
        ove::u32 GetSize() override { return m_claim; }
        ove::u32 Write(const void*, ove::u32) override { return 0; }
        ove::u32 Read(void* data, ove::u32 count) override {
            const ove::u32 k = std::min<ove::u32>(ove::u32(m_bytes.size()) - m_position, count);
            std::memcpy(data, m_bytes.data() + m_position, k);
            m_position += k;
            return k;
        }
        bool IsOpen() override { return true; }
        bool CanWrite() override { return false; }
        bool CanRead() override { return true; }

    private:
        std::string m_bytes;
        ove::u32 m_claim;
        ove::u32 m_position = 0;
    };
};

}  // namespace ovetest
