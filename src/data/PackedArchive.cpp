#include "PackedArchive.h"

#include "ZIPFile.h"

namespace ove {

namespace {

// Kept scrambled so that the password does not show up as a plain string in the binary.
constexpr u8 kScrambleKey = 0xA5;
char g_password[] = {char(0xC8), char(0x95), char(0xF7), char(0xC1), char(0x91), char(0xFD), char(0xD4), 0};

// Stored in the opposite byte order to the one the archives use, for the same reason.
constexpr u32 kStoredSignature = 0x4F560304;

}  // namespace

const std::string& PackedArchivePassword() {
    static const std::string password = [] {
        for (char* p = g_password; *p; ++p) *p = static_cast<char>(*p ^ kScrambleKey);
        return std::string(g_password);
    }();
    return password;
}

u32 PackedArchiveSignature() {
    u32 s = kStoredSignature;
    return (s >> 24) | ((s >> 8) & 0xFF00) | ((s << 8) & 0xFF0000) | (s << 24);
}

CZIPFile* OpenPackedArchive(const std::string& path) {
    auto* zip = new CZIPFile(path);
    zip->SetSignature(PackedArchiveSignature());
    zip->SetPassword(PackedArchivePassword());
    return zip;
}

}  // namespace ove
