// Shared body of the two archive targets: scan the directory, then open and read every entry.
#pragma once
#include <memory>

#include "FuzzInput.h"
#include "data/ZIPFile.h"

namespace ove::fuzz {

inline void RunZip(const std::uint8_t* data, std::size_t size, bool packed, u32 signature,
                   const std::string& password) {
    CMemoryFile file(data, size);
    if (file.Path().empty()) return;
    CZIPFile zip(file.Path());
    if (packed) {
        zip.SetSignature(signature);
        zip.SetPassword(password);
    }
    if (!zip.Scan()) return;
    std::size_t opened = 0;
    for (const SZIPEntry& entry : zip.Entries()) {
        if (++opened > 64) break;
        std::unique_ptr<CDataBin> stream(zip.OpenEntry(entry));
        if (stream) Drain(*stream);
    }
    zip.Exists("MAIN.OVS");
}

}  // namespace ove::fuzz
