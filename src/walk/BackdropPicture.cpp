#include "BackdropPicture.h"

#include <cstring>
#include <stdexcept>
#include <vector>

#include "io/DataBin.h"

namespace ove {

namespace {

bool ReadBytes(CDataBin* file, void* data, u32 count) { return file->Read(data, count) == count; }

u32 LE32(const u8* b) { return u32(b[0]) | u32(b[1]) << 8 | u32(b[2]) << 16 | u32(b[3]) << 24; }

void PutU32(std::vector<u8>& out, u32 v) {
    out.push_back(u8(v));
    out.push_back(u8(v >> 8));
    out.push_back(u8(v >> 16));
    out.push_back(u8(v >> 24));
}

void PutTag(std::vector<u8>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

u32 Remaining(CDataBin* file) {
    u32 size = file->GetSize(), pos = file->Tell();
    return pos < size ? size - pos : 0;
}

bool IsTag(const u8* b, const char* tag) { return std::memcmp(b, tag, 4) == 0; }

constexpr const char* kMaskTags[CBackdropPicture::kMaskCount] = {"CTRL", "DPTH", "WALK", "CLCK"};

}  // namespace

void CBackdropPicture::Clear() {
    m_width = m_height = 0;
    m_bitmap.reset();
    for (auto& m : m_masks) m.reset();
    m_hotspots.clear();
    m_refusal.clear();
}

const char* CBackdropPicture::HotspotName(u32 number) const {
    auto it = m_hotspots.find(number);
    return it == m_hotspots.end() ? nullptr : it->second.c_str();
}

void CBackdropPicture::SetImage(std::unique_ptr<CBitmap> bitmap) {
    m_bitmap = std::move(bitmap);
    m_width = m_bitmap ? static_cast<i32>(m_bitmap->Width()) : 0;
    m_height = m_bitmap ? static_cast<i32>(m_bitmap->Height()) : 0;
}

void CBackdropPicture::SetMask(EMask which, std::unique_ptr<CRunMask> mask) {
    if (which >= 0 && which < kMaskCount) m_masks[which] = std::move(mask);
}

void CBackdropPicture::SetHotspotName(u32 number, std::string name) { m_hotspots[number] = std::move(name); }

bool CBackdropPicture::Load(CDataBin* file) {
    Clear();
    if (!file) return false;

    u8 head[36];
    if (!ReadBytes(file, head, sizeof head) || !IsTag(head, "PICT")) return false;
    // The size stands once the magic does, even when the image cannot be read after it.
    const i32 width = static_cast<i32>(LE32(head + 4));
    const i32 height = static_cast<i32>(LE32(head + 8));
    m_width = width;
    m_height = height;

    u8 image[16];
    if (!ReadBytes(file, image, sizeof image) || !IsTag(image, "IMGE")) return false;
    u32 bits = LE32(image + 8);
    if (LE32(image + 12) != 0) return false;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    if (width <= 0 || height <= 0) return false;

    // The pixels must be in the stream before anything is allocated for them.
    u64 rowBytes = u64(width) * (bits / 8);
    u64 total = rowBytes * u64(height);
    if (total > Remaining(file) || total > kMaxBitmapBytes) return false;
    auto bitmap = std::make_unique<CBitmap>(u32(width), u32(height), bits);
    if (bitmap->IsEmpty()) return false;
    for (i32 y = 0; y < height; ++y) {
        // The file's first row is the top of the picture, the bitmap's last memory row.
        if (!ReadBytes(file, bitmap->TopRow(u32(y)), static_cast<u32>(rowBytes))) return false;
    }
    m_bitmap = std::move(bitmap);

    LoadChunks(file);
    return m_refusal.empty();
}

void CBackdropPicture::LoadChunks(CDataBin* file) {
    for (;;) {
        u8 head[8];
        if (!ReadBytes(file, head, sizeof head)) return;  // no "ENDF": keep what was read
        if (IsTag(head, "ENDF")) return;
        u32 size = LE32(head + 4);

        int slot = -1;
        for (int i = 0; i < kMaskCount; ++i)
            if (IsTag(head, kMaskTags[i])) slot = i;
        if (slot >= 0) {
            if (m_masks[slot]) return;
            auto mask = std::make_unique<CRunMask>();
            if (!mask->Load(file)) return;
            m_masks[slot] = std::move(mask);
        } else if (IsTag(head, "HOTS")) {
            if (!LoadHotspots(file)) return;
        } else {
            // Skip an unknown chunk; one that claims more than is left ends the list.
            if (size > Remaining(file)) return;
            file->Seek(file->Tell() + size);
        }
    }
}

bool CBackdropPicture::LoadHotspots(CDataBin* file) {
    for (;;) {
        u8 head[12];
        if (!ReadBytes(file, head, sizeof head)) return false;
        i32 number = static_cast<i32>(LE32(head + 4));
        // A head that is not a record ends the list; it has been consumed.
        if (!IsTag(head, "HSPT") || number < 1) return true;
        for (;;) {
            u8 attr[8];
            if (!ReadBytes(file, attr, sizeof attr)) return false;
            u32 size = LE32(attr + 4);
            if (IsTag(attr, "HEND")) break;
            if (!IsTag(attr, "NAME")) {
                m_refusal = "Unknown hotspot attribute";
                return false;
            }
            if (size > Remaining(file)) return false;
            if (size == 0) continue;
            std::string name(size, '\0');
            if (!ReadBytes(file, name.data(), size)) return false;
            // Stored as a C string: an embedded NUL ends the name.
            name.resize(std::strlen(name.c_str()));
            m_hotspots[u32(number)] = std::move(name);
        }
    }
}

bool CBackdropPicture::Save(CDataBin* file) const {
    if (!file || !m_bitmap || m_bitmap->IsEmpty()) return false;
    u32 bits = m_bitmap->BitsPerPixel();
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    u32 w = m_bitmap->Width(), h = m_bitmap->Height();

    std::vector<u8> out;
    PutTag(out, "PICT");
    PutU32(out, w);
    PutU32(out, h);
    out.resize(out.size() + 24, 0);
    PutTag(out, "IMGE");
    PutU32(out, 0);
    PutU32(out, bits);
    PutU32(out, 0);
    std::size_t rowBytes = std::size_t(w) * (bits / 8);
    for (u32 y = 0; y < h; ++y) {
        const u8* row = m_bitmap->TopRow(y);
        out.insert(out.end(), row, row + rowBytes);
    }
    if (file->Write(out.data(), static_cast<u32>(out.size())) != out.size()) return false;

    for (int i = 0; i < kMaskCount; ++i) {
        if (!m_masks[i]) continue;
        std::vector<u8> chunk;
        PutTag(chunk, kMaskTags[i]);
        PutU32(chunk, 8 + 4 * m_masks[i]->RunCount());
        file->Write(chunk.data(), static_cast<u32>(chunk.size()));
        m_masks[i]->Write(file);
    }
    if (!m_hotspots.empty()) {
        std::vector<u8> body;
        for (const auto& [number, name] : m_hotspots) {
            if (number < 1 || number > 0x7FFFFFFFu) continue;  // would read back as the list's end
            PutTag(body, "HSPT");
            PutU32(body, number);
            PutU32(body, 0);
            PutTag(body, "NAME");
            PutU32(body, static_cast<u32>(name.size()));
            body.insert(body.end(), name.begin(), name.end());
            PutTag(body, "HEND");
            PutU32(body, 0);
        }
        body.resize(body.size() + 12, 0);  // a head that is not a record ends the list
        std::vector<u8> chunk;
        PutTag(chunk, "HOTS");
        PutU32(chunk, static_cast<u32>(body.size()));
        chunk.insert(chunk.end(), body.begin(), body.end());
        file->Write(chunk.data(), static_cast<u32>(chunk.size()));
    }
    std::vector<u8> end;
    PutTag(end, "ENDF");
    PutU32(end, 0);
    return file->Write(end.data(), static_cast<u32>(end.size())) == end.size();
}

}  // namespace ove
