#include "ViewFile.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "io/DataBin.h"
#include "io/Types.h"

namespace ove {

namespace {

u32 LE32(const u8* b) { return u32(b[0]) | u32(b[1]) << 8 | u32(b[2]) << 16 | u32(b[3]) << 24; }

void PutU32(CDataBin& out, u32 v) {
    u8 b[4] = {u8(v), u8(v >> 8), u8(v >> 16), u8(v >> 24)};
    out.Write(b, 4);
}

u32 Remaining(CDataBin& source) {
    u32 size = source.GetSize(), pos = source.Tell();
    return pos < size ? size - pos : 0;
}

u32 BytesPerPixel(u32 bits) { return bits == 8 ? 1 : bits == 24 ? 3 : bits == 32 ? 4 : 0; }

// A 32-bit cel (null: an empty one) with an alpha strictly between 0 and 255.
bool HasTranslucentPixels(const CBitmapInterface* cel) {
    if (!cel || cel->IsEmpty()) return false;
    for (u32 row = 0; row < cel->Height(); ++row) {
        const u8* p = cel->Row(row);
        for (u32 x = 0; x < cel->Width(); ++x, p += 4)
            if (p[3] != 0 && p[3] != 255) return true;
    }
    return false;
}

// Turns a cel's stored rows (the file's first row is the top of the picture) into 32-bit pixels.
void DecodeCel(const u8* in, u32 bits, const u8 key[3], CBitmap& bitmap) {
    const u32 bytesPerPixel = BytesPerPixel(bits);
    for (u32 y = 0; y < bitmap.Height(); ++y) {
        u8* out = bitmap.TopRow(y);
        for (u32 x = 0; x < bitmap.Width(); ++x, out += 4, in += bytesPerPixel) {
            if (bits == 8) {
                out[0] = out[1] = out[2] = 255;
                out[3] = in[0];
            } else if (bits == 24) {
                out[0] = in[0];
                out[1] = in[1];
                out[2] = in[2];
                bool keyed = in[2] == key[0] && in[1] == key[1] && in[0] == key[2];
                out[3] = keyed ? 0 : 255;
            } else {
                std::memcpy(out, in, 4);
            }
        }
    }
}

}  // namespace

bool IsRgba32(const CBitmapInterface& b) {
    return b.Format() == PixelFormat::Rgba8888 || b.Format() == PixelFormat::Rgbx8888;
}

// ---- CViewSheets

i32 CViewSheets::Pack(const CBitmapInterface* cel, u32 w, u32 h, i32 padding, i32* x, i32* y) {
    const i32 cw = static_cast<i32>(w), ch = static_cast<i32>(h);
    i32 index = -1;
    for (std::size_t i = 0; i < m_sheets.size() && index < 0; ++i) {
        SViewSheet& s = m_sheets[i];
        const i32 sw = s.width, sh = s.height;
        if (s.cursorX + cw <= sw && s.rowTop + ch <= sh) {
            index = static_cast<i32>(i);
        } else if (cw <= sw && s.rowBottom + ch <= sh) {
            s.cursorX = 0;
            s.rowTop = s.rowBottom;
            index = static_cast<i32>(i);
        }
    }
    if (index < 0) {
        u32 sw = 256, sh = 256;
        while (sw < w) sw *= 2;
        while (sh < h) sh *= 2;
        const std::size_t bytes = std::size_t(sw) * sh * 4;
        if (m_bytes + bytes > m_budget) return -1;
        SViewSheet sheet;
        sheet.bitmap = std::make_unique<CBitmap>();
        sheet.width = static_cast<i32>(sw);
        sheet.height = static_cast<i32>(sh);
        m_bytes += bytes;
        m_sheets.push_back(std::move(sheet));
        index = static_cast<i32>(m_sheets.size() - 1);
    }

    SViewSheet& s = m_sheets[std::size_t(index)];
    *x = s.cursorX;
    *y = s.rowTop;
    if (cel && !cel->IsEmpty()) {
        const u32 cols = std::min(w, cel->Width()), rows = std::min(h, cel->Height());
        if (!Cover(s, u32(*x) + cols, u32(*y) + rows)) return -1;
        for (u32 r = 0; r < rows; ++r)
            std::memcpy(s.bitmap->TopRow(u32(*y) + r) + std::size_t(*x) * 4, cel->TopRow(r), std::size_t(cols) * 4);
    }
    s.cursorX += cw + padding;
    s.rowBottom = std::max(s.rowBottom, s.rowTop + ch + padding);
    return index;
}

void CViewSheets::AddImage(const CBitmapInterface* cel, i32 padding, i32* x, i32* y) {
    if (!cel) return;
    i32 px = 0, py = 0;
    if (!cel->IsEmpty() && !IsRgba32(*cel)) {
        CBitmap converted(cel, PixelFormat::Rgba8888);
        Pack(converted.IsEmpty() ? nullptr : &converted, cel->Width(), cel->Height(), padding, &px, &py);
    } else {
        Pack(cel, cel->Width(), cel->Height(), padding, &px, &py);
    }
    if (x) *x = px;
    if (y) *y = py;
}

const CBitmap* CViewSheets::Full(std::size_t i) {
    SViewSheet& sheet = m_sheets[i];
    return Cover(sheet, u32(sheet.width), u32(sheet.height)) ? sheet.bitmap.get() : nullptr;
}

u32 CViewSheets::Pixel(i32 sheet, u32 col, u32 row) const {
    if (sheet < 0 || std::size_t(sheet) >= m_sheets.size()) return 0;
    const CBitmap& b = *m_sheets[std::size_t(sheet)].bitmap;
    if (col >= b.Width() || row >= b.Height()) return 0;
    return LE32(b.TopRow(row) + std::size_t(col) * 4);
}

bool CViewSheets::Cover(SViewSheet& sheet, u32 w, u32 h) {
    const CBitmap& old = *sheet.bitmap;
    if (w <= old.Width() && h <= old.Height()) return true;
    auto grow = [](u32 have, u32 need, u32 full) {
        if (need <= have) return have;
        u32 size = std::max<u32>(have, 16);
        while (size < need) size *= 2;
        return std::min(size, full);
    };
    const u32 nw = grow(old.Width(), w, u32(sheet.width)), nh = grow(old.Height(), h, u32(sheet.height));
    // Every byte is written once: the old pixels, transparent black around them.
    auto bigger = std::make_unique<CBitmap>();
    if (!bigger->CreateForOverwrite(nw, nh, PixelFormat::Rgba8888)) return false;
    const std::size_t oldRow = std::size_t(old.Width()) * 4, newRow = std::size_t(nw) * 4;
    for (u32 r = 0; r < nh; ++r) {
        u8* to = bigger->TopRow(r);
        const std::size_t kept = r < old.Height() ? oldRow : 0;
        if (kept) std::memcpy(to, old.TopRow(r), kept);
        std::memset(to + kept, 0, newRow - kept);
    }
    sheet.bitmap = std::move(bigger);
    return true;
}

// ---- CViewFile

void CViewFile::Fail(const std::string& text) {
    if (m_error.empty()) m_error = text;
}

void CViewFile::Read(CDataBin* source, i32 padding) {
    *this = CViewFile();
    m_padding = padding;
    if (!source) return;
    // Sheets stay in proportion to the file: cels of an unknown depth or without area read no
    // pixels, so they must not buy unlimited sheet memory either.
    m_sheets = CViewSheets(
        std::min<std::size_t>(kMaxSheetBytes, (std::size_t(32) << 20) + std::size_t(16) * Remaining(*source)));
    SHeader header;
    if (!ReadHeader(*source, header)) return;
    m_blendMode = header.blendMode;
    m_smooth = header.smooth;
    // Only the loops whose records are there take memory: the rest stay empty, however many the
    // header declares.
    m_loopCount = header.loopCount;
    // Loops are filled in place first and shared out once complete.
    std::vector<SViewLoop> filled;
    std::vector<std::pair<u32, i32>> mirrors;
    ReadLoops(*source, header, filled, mirrors);
    m_data = {};
    ShareLoops(filled, mirrors);
}

bool CViewFile::ReadHeader(CDataBin& source, SHeader& header) {
    const u64 start = source.Tell();
    u8 head[8];
    if (source.Read(head, 8) != 8) {
        Fail("the file is too short for a VIEW or FONT header");
        return false;
    }
    if (std::memcmp(head, "VIEW", 4) != 0 && std::memcmp(head, "FONT", 4) != 0) {
        Fail("not a VIEW or FONT file");
        return false;
    }
    const u32 headerLength = LE32(head + 4);

    // Header fields keep their defaults where the header is shorter than standard.
    u8 fields[17] = {};
    fields[8] = 1;  // blend mode
    u8 got[17];
    u32 n = source.Read(got, std::min<u32>(headerLength, 17));
    std::memcpy(fields, got, n);
    source.Seek(static_cast<u32>(std::min<u64>(start + 8 + headerLength, source.GetSize())));

    header.bits = LE32(fields);
    std::memcpy(header.key, fields + 4, 3);
    header.blendMode = LE32(fields + 8);
    header.smooth = fields[16];
    header.loopCount = std::min(LE32(fields + 12), kMaxLoops);
    return true;
}

void CViewFile::ReadLoops(CDataBin& source, const SHeader& header, std::vector<SViewLoop>& filled,
                          std::vector<std::pair<u32, i32>>& mirrors) {
    for (u32 i = 0; i < header.loopCount; ++i) {
        u8 record[8];
        if (source.Read(record, 8) != 8) {
            Fail("the file ends before loop " + std::to_string(i));
            return;
        }
        const u32 type = LE32(record), value = LE32(record + 4);
        filled.emplace_back();
        if (type == 1) {
            mirrors.emplace_back(i, value <= 0x7FFFFFFFu ? static_cast<i32>(value) : -1);
            if (value >= header.loopCount) Fail("loop " + std::to_string(i) + " mirrors a loop that does not exist");
            continue;
        }
        // Sprites cycle through a loop's cels: one with none has nothing to show.
        if (value == 0) Fail("loop " + std::to_string(i) + " has no cels");
        for (u32 c = 0; c < value; ++c) {
            SViewCel cel;
            if (!ReadCel(source, header, i, cel)) return;
            filled[i].cels.push_back(cel);
        }
    }
}

bool CViewFile::ReadCel(CDataBin& source, const SHeader& header, u32 loop, SViewCel& cel) {
    u8 celHead[16];
    if (source.Read(celHead, 16) != 16) {
        Fail("the file ends inside loop " + std::to_string(loop));
        return false;
    }
    const u32 w = LE32(celHead), h = LE32(celHead + 4);
    const u32 bytesPerPixel = BytesPerPixel(header.bits);
    const u64 rowBytes = u64(w) * bytesPerPixel;
    if (w > kMaxCelSide || h > kMaxCelSide || rowBytes * h > Remaining(source)) {
        Fail(w > kMaxCelSide || h > kMaxCelSide ? "a cel of loop " + std::to_string(loop) + " is too large"
                                                : "the file ends inside a cel of loop " + std::to_string(loop));
        return false;
    }

    // Cels of an unknown depth read nothing and stay transparent: no picture to build.
    std::unique_ptr<CBitmap> bitmap;
    if (w && h && bytesPerPixel) {
        bitmap = std::make_unique<CBitmap>(w, h, PixelFormat::Rgba8888);
        if (bitmap->IsEmpty()) {
            Fail("not enough memory for a cel");
            return false;
        }
        m_data.resize(static_cast<std::size_t>(rowBytes * h));
        source.Read(m_data.data(), static_cast<u32>(m_data.size()));
        DecodeCel(m_data.data(), header.bits, header.key, *bitmap);
    }

    cel.translucent = HasTranslucentPixels(bitmap.get()) ? 1 : 0;
    cel.sheet = m_sheets.Pack(bitmap.get(), w, h, m_padding, &cel.x, &cel.y);
    if (cel.sheet < 0) {
        Fail("the cels need more sheet memory than a file of this size can describe");
        return false;
    }
    cel.xOffset = static_cast<i32>(LE32(celHead + 8));
    cel.yOffset = static_cast<i32>(LE32(celHead + 12));
    cel.width = w;
    cel.height = h;
    return true;
}

void CViewFile::ShareLoops(std::vector<SViewLoop>& filled, const std::vector<std::pair<u32, i32>>& mirrors) {
    static const LoopPtr kNoCels = std::make_shared<const SViewLoop>();
    m_loops.reserve(filled.size());
    for (SViewLoop& loop : filled)
        m_loops.push_back(loop.cels.empty() ? kNoCels : std::make_shared<const SViewLoop>(std::move(loop)));
    filled.clear();

    // Mirrors in loop order, each taking its source as it stands at that moment; a reference
    // outside the loop list leaves the loop empty. A mirrored set has the x offsets negated (with
    // wrap-around, so that mirroring twice gives the original back even for the most negative
    // offset).
    std::unordered_map<const SViewLoop*, LoopPtr> mirrored;  // cel set -> its mirror image
    auto mirrorOf = [&](const LoopPtr& source) -> LoopPtr {
        if (source->cels.empty()) return source;
        if (auto it = mirrored.find(source.get()); it != mirrored.end()) return it->second;
        auto image = std::make_shared<SViewLoop>(*source);
        image->mirrored = !source->mirrored;
        for (SViewCel& cel : image->cels) cel.xOffset = static_cast<i32>(0u - static_cast<u32>(cel.xOffset));
        LoopPtr shared = image;
        mirrored.emplace(source.get(), shared);
        mirrored.emplace(shared.get(), source);
        return shared;
    };
    for (const auto& [l, from] : mirrors) {
        if (from < 0 || std::size_t(from) >= m_loops.size()) continue;
        m_loops[l] = mirrorOf(m_loops[std::size_t(from)]);
    }
}

// ---- CViewWriter

CViewWriter::CViewWriter(const char* tag, u32 bitsPerPixel) : m_bits(bitsPerPixel) {
    std::memcpy(m_tag, tag && std::strlen(tag) >= 4 ? tag : "VIEW", 4);
}

void CViewWriter::AddLoop() { m_loops.emplace_back(); }

void CViewWriter::AddMirror(u32 loop) {
    SLoopData l;
    l.mirror = true;
    l.of = loop;
    m_loops.push_back(std::move(l));
}

void CViewWriter::AddEmptyCel(u32 width, u32 height, i32 xOffset, i32 yOffset) {
    if (m_loops.empty() || m_loops.back().mirror) AddLoop();
    const u32 bpp = BytesPerPixel(m_bits);
    SCelData cel{width, height, xOffset, yOffset, std::vector<u8>(std::size_t(width) * height * bpp, 0)};
    if (m_bits == 24) {
        // Transparent in 24 bits means the colour key.
        for (std::size_t i = 0; i < cel.bytes.size(); i += 3) {
            cel.bytes[i] = u8(colourKey >> 16);
            cel.bytes[i + 1] = u8(colourKey >> 8);
            cel.bytes[i + 2] = u8(colourKey);
        }
    }
    m_loops.back().cels.push_back(std::move(cel));
}

bool CViewWriter::AddCel(const CBitmapInterface& picture, i32 xOffset, i32 yOffset) {
    if (!picture.IsEmpty() && !IsRgba32(picture)) return false;
    if (m_loops.empty() || m_loops.back().mirror) AddLoop();
    const u32 w = picture.IsEmpty() ? 0 : picture.Width(), h = picture.IsEmpty() ? 0 : picture.Height();
    SCelData cel{w, h, xOffset, yOffset, {}};
    const u32 bpp = BytesPerPixel(m_bits);
    cel.bytes.reserve(std::size_t(w) * h * bpp);
    for (u32 y = 0; y < h && bpp; ++y) {
        const u8* p = picture.TopRow(y);
        for (u32 x = 0; x < w; ++x, p += 4) {
            if (m_bits == 8) {
                cel.bytes.push_back(p[3]);
            } else if (m_bits == 24) {
                if (p[3] == 0) {
                    cel.bytes.push_back(u8(colourKey >> 16));
                    cel.bytes.push_back(u8(colourKey >> 8));
                    cel.bytes.push_back(u8(colourKey));
                } else {
                    cel.bytes.insert(cel.bytes.end(), p, p + 3);
                }
            } else {
                cel.bytes.insert(cel.bytes.end(), p, p + 4);
            }
        }
    }
    m_loops.back().cels.push_back(std::move(cel));
    return true;
}

bool CViewWriter::Write(CDataBin* out) const {
    if (!out) return false;
    CBuffer b;
    b.Write(m_tag, 4);
    PutU32(b, 17);
    PutU32(b, m_bits);
    PutU32(b, colourKey & 0xFFFFFFu);
    PutU32(b, blendMode);
    PutU32(b, static_cast<u32>(m_loops.size()));
    b.Write(&smooth, 1);
    for (const SLoopData& loop : m_loops) {
        PutU32(b, loop.mirror ? 1 : 0);
        PutU32(b, loop.mirror ? loop.of : static_cast<u32>(loop.cels.size()));
        if (loop.mirror) continue;
        for (const SCelData& cel : loop.cels) {
            PutU32(b, cel.width);
            PutU32(b, cel.height);
            PutU32(b, static_cast<u32>(cel.xOffset));
            PutU32(b, static_cast<u32>(cel.yOffset));
            if (!cel.bytes.empty()) b.Write(cel.bytes.data(), static_cast<u32>(cel.bytes.size()));
        }
    }
    return out->Write(b.Bytes().data(), b.GetSize()) == b.GetSize();
}

}  // namespace ove
