#include "View.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_map>

#include "io/DataBin.h"
#include "render/Renderer.h"

namespace ove {

using i64 = std::int64_t;
using u64 = std::uint64_t;

namespace {

u32 LE32(const u8* b) { return u32(b[0]) | u32(b[1]) << 8 | u32(b[2]) << 16 | u32(b[3]) << 24; }

void PutU32(CDataBin& out, u32 v) {
    u8 b[4] = {u8(v), u8(v >> 8), u8(v >> 16), u8(v >> 24)};
    out.Write(b, 4);
}

u32 Remaining(CDataBin* source) {
    u32 size = source->GetSize(), pos = source->Tell();
    return pos < size ? size - pos : 0;
}

bool IsRgba32(const CBitmapInterface& b) {
    return b.Format() == PixelFormat::Rgba8888 || b.Format() == PixelFormat::Rgbx8888;
}

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

}  // namespace

// ---- CResource

u32 CResource::Release() {
    if (m_refCount > 0) --m_refCount;
    if (m_refCount == 0) {
        delete this;
        return 0;
    }
    return m_refCount;
}

// ---- CView

CView::CView(const char* name) {
    if (name && *name) {
        m_name = name;
        m_hasName = true;
    }
}

CView::~CView() { ReleaseSheets(); }

void CView::ReleaseSheets() {
    // Textures go back to the renderer that made them while it is still the live one; a renderer
    // that has shut down has already dropped every texture.
    bool live = m_renderer && m_renderer == GetRenderer();
    for (auto& sheet : m_sheets) {
        if (sheet.texture && live) m_renderer->ReleaseTexture(sheet.texture);
        sheet.texture = nullptr;
    }
    m_sheets.clear();
    m_sheetBytes = 0;
}

void CView::Fail(const std::string& text) {
    if (m_loadError.empty()) m_loadError = text;
}

void CView::Reset() {
    ReleaseSheets();
    m_loadError.clear();
    m_sheetBudget = kMaxSheetBytes;
    m_loops.clear();
    m_loopCount = 0;
    m_blendMode = 1;
    m_smooth = 0;
    m_renderer = nullptr;
}

std::size_t CView::CelCount(i32 loop) const {
    if (loop < 0 || std::size_t(loop) >= m_loops.size()) return 0;
    return m_loops[std::size_t(loop)]->cels.size();
}

const SCel* CView::GetCel(i32 loop, i32 cel) const {
    if (loop < 0 || std::size_t(loop) >= m_loops.size()) return nullptr;
    const auto& cels = m_loops[std::size_t(loop)]->cels;
    if (cel < 0 || std::size_t(cel) >= cels.size()) return nullptr;
    return &cels[std::size_t(cel)];
}

const std::vector<SCel>& CView::Loop(std::size_t loop) const {
    static const std::vector<SCel> kNone;
    return loop < m_loops.size() ? m_loops[loop]->cels : kNone;
}

i32 CView::CelSheet(i32 loop, i32 cel) const {
    if (!GetCel(loop, cel)) return -1;
    return m_loops[std::size_t(loop)]->sheets[std::size_t(cel)];
}

void CView::Load(CDataBin* source) { Load(source, GetRenderer()); }

void CView::Load(CDataBin* source, CRenderer* renderer) {
    Reset();
    if (!source) return;
    const u64 start = source->Tell();

    // Sheets stay in proportion to the file: cels of an unknown depth or without area read no
    // pixels, so they must not buy unlimited sheet memory either.
    m_sheetBudget = std::min<std::size_t>(kMaxSheetBytes, (std::size_t(32) << 20) + std::size_t(16) * Remaining(source));
    u8 head[8];
    if (source->Read(head, 8) != 8) {
        Fail("the file is too short for a VIEW or FONT header");
        return;
    }
    if (std::memcmp(head, "VIEW", 4) != 0 && std::memcmp(head, "FONT", 4) != 0) {
        Fail("not a VIEW or FONT file");
        return;
    }
    const u32 headerLength = LE32(head + 4);

    // Header fields keep their defaults where the header is shorter than standard.
    u8 header[17] = {};
    header[8] = 1;  // blend mode
    u8 got[17];
    u32 n = source->Read(got, std::min<u32>(headerLength, 17));
    std::memcpy(header, got, n);
    source->Seek(static_cast<u32>(std::min<u64>(start + 8 + headerLength, source->GetSize())));

    const u32 bits = LE32(header);
    const u8 key[3] = {header[4], header[5], header[6]};  // red, green, blue
    m_blendMode = LE32(header + 8);
    m_smooth = header[16];
    const u32 loopCount = std::min(LE32(header + 12), kMaxLoops);
    // Loops are filled in place first and shared out once complete (see the mirrors below). Only
    // the loops whose records are there take memory: the rest stay empty, however many the header
    // declares.
    m_loopCount = loopCount;
    std::vector<SLoopCels> filled;
    std::vector<std::pair<u32, i32>> mirrors;  // loop, the loop it mirrors
    std::vector<u8> data;

    const u32 bytesPerPixel = bits == 8 ? 1 : bits == 24 ? 3 : bits == 32 ? 4 : 0;
    bool stop = false;
    for (u32 i = 0; i < loopCount && !stop; ++i) {
        u8 record[8];
        if (source->Read(record, 8) != 8) {
            Fail("the file ends before loop " + std::to_string(i));
            break;
        }
        const u32 type = LE32(record), value = LE32(record + 4);
        filled.emplace_back();
        if (type == 1) {
            mirrors.emplace_back(i, value <= 0x7FFFFFFFu ? static_cast<i32>(value) : -1);
            if (value >= loopCount) Fail("loop " + std::to_string(i) + " mirrors a loop that does not exist");
            continue;
        }
        // Sprites cycle through a loop's cels: one with none has nothing to show.
        if (value == 0) Fail("loop " + std::to_string(i) + " has no cels");
        for (u32 c = 0; c < value; ++c) {
            u8 celHead[16];
            if (source->Read(celHead, 16) != 16) {
                Fail("the file ends inside loop " + std::to_string(i));
                stop = true;
                break;
            }
            const u32 w = LE32(celHead), h = LE32(celHead + 4);
            const i32 xOffset = static_cast<i32>(LE32(celHead + 8));
            const i32 yOffset = static_cast<i32>(LE32(celHead + 12));
            const u64 rowBytes = u64(w) * bytesPerPixel;
            if (w > kMaxCelSide || h > kMaxCelSide || rowBytes * h > Remaining(source)) {
                Fail(w > kMaxCelSide || h > kMaxCelSide ? "a cel of loop " + std::to_string(i) + " is too large"
                                                        : "the file ends inside a cel of loop " + std::to_string(i));
                stop = true;
                break;
            }

            // Cels of an unknown depth read nothing and stay transparent: no picture to build.
            std::unique_ptr<CBitmap> bitmap;
            if (w && h && bytesPerPixel) {
                bitmap = std::make_unique<CBitmap>(w, h, PixelFormat::Rgba8888);
                if (bitmap->IsEmpty()) {
                    Fail("not enough memory for a cel");
                    stop = true;
                    break;
                }
                {
                    data.resize(static_cast<std::size_t>(rowBytes * h));
                    source->Read(data.data(), static_cast<u32>(data.size()));
                    const u8* in = data.data();
                    // The file's first row is the top of the picture, the bitmap's last memory row.
                    for (u32 y = 0; y < h; ++y) {
                        u8* out = bitmap->TopRow(y);
                        for (u32 x = 0; x < w; ++x, out += 4, in += bytesPerPixel) {
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
            }

            SCel cel;
            cel.translucent = HasTranslucentPixels(bitmap.get()) ? 1 : 0;
            const i32 sheet = Pack(bitmap.get(), w, h, &cel.x, &cel.y);
            if (sheet < 0) {
                Fail("the cels need more sheet memory than a file of this size can describe");
                stop = true;
                break;
            }
            cel.xOffset = xOffset;
            cel.yOffset = yOffset;
            cel.width = w;
            cel.height = h;
            filled[i].cels.push_back(cel);
            filled[i].sheets.push_back(sheet);
        }
    }

    m_renderer = renderer;
    if (renderer) {
        for (auto& sheet : m_sheets) {
            // Textures are made at the full size, as the texture coordinates assume.
            if (!Cover(sheet, u32(sheet.width), u32(sheet.height))) continue;
            sheet.texture = renderer->CreateTexture(sheet.bitmap.get());
        }
    }

    constexpr float kEpsilon = 0.0001f;
    for (SLoopCels& loop : filled) {
        for (std::size_t c = 0; c < loop.cels.size(); ++c) {
            SCel& cel = loop.cels[c];
            const SSheet& sheet = m_sheets[std::size_t(loop.sheets[c])];
            const float invW = 1.0f / static_cast<float>(sheet.width);
            const float invH = 1.0f / static_cast<float>(sheet.height);
            cel.texture = sheet.texture;
            cel.uLeft = (static_cast<float>(cel.x) + kEpsilon) * invW;
            cel.vTop = (static_cast<float>(cel.y) - kEpsilon) * invH;
            cel.uRight = invW * (static_cast<float>(cel.x + i32(cel.width)) + kEpsilon);
            cel.vBottom = invH * (static_cast<float>(cel.y + i32(cel.height)) - kEpsilon);
        }
    }

    static const LoopPtr kNoCels = std::make_shared<const SLoopCels>();
    m_loops.reserve(filled.size());
    for (SLoopCels& loop : filled)
        m_loops.push_back(loop.cels.empty() ? kNoCels : std::make_shared<const SLoopCels>(std::move(loop)));
    filled.clear();

    // Mirrors in loop order, each taking its source as it stands at that moment; a reference
    // outside the loop list leaves the loop empty. A mirrored set has the x offsets negated (with
    // wrap-around, so that mirroring twice gives the original back even for the most negative
    // offset) and the horizontal texture coordinates exchanged.
    std::unordered_map<const SLoopCels*, LoopPtr> mirrored;  // cel set -> its mirror image
    auto mirrorOf = [&](const LoopPtr& source) -> LoopPtr {
        if (source->cels.empty()) return source;
        if (auto it = mirrored.find(source.get()); it != mirrored.end()) return it->second;
        auto image = std::make_shared<SLoopCels>(*source);
        for (SCel& cel : image->cels) {
            cel.xOffset = static_cast<i32>(0u - static_cast<u32>(cel.xOffset));
            std::swap(cel.uLeft, cel.uRight);
        }
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

void CView::AddImage(const CBitmapInterface* cel, i32* x, i32* y) {
    if (!cel) return;
    i32 px = 0, py = 0;
    if (!cel->IsEmpty() && !IsRgba32(*cel)) {
        CBitmap converted(cel, PixelFormat::Rgba8888);
        Pack(converted.IsEmpty() ? nullptr : &converted, cel->Width(), cel->Height(), &px, &py);
    } else {
        Pack(cel, cel->Width(), cel->Height(), &px, &py);
    }
    if (x) *x = px;
    if (y) *y = py;
}

i32 CView::Pack(const CBitmapInterface* cel, u32 w, u32 h, i32* x, i32* y) {
    const i32 pad = Padding();
    const i32 cw = static_cast<i32>(w), ch = static_cast<i32>(h);
    i32 index = -1;
    for (std::size_t i = 0; i < m_sheets.size() && index < 0; ++i) {
        SSheet& s = m_sheets[i];
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
        if (m_sheetBytes + bytes > m_sheetBudget) return -1;
        SSheet sheet;
        sheet.bitmap = std::make_unique<CBitmap>();
        sheet.width = static_cast<i32>(sw);
        sheet.height = static_cast<i32>(sh);
        m_sheetBytes += bytes;
        m_sheets.push_back(std::move(sheet));
        index = static_cast<i32>(m_sheets.size() - 1);
    }

    SSheet& s = m_sheets[std::size_t(index)];
    *x = s.cursorX;
    *y = s.rowTop;
    if (cel && !cel->IsEmpty()) {
        const u32 cols = std::min(w, cel->Width()), rows = std::min(h, cel->Height());
        if (!Cover(s, u32(*x) + cols, u32(*y) + rows)) return -1;
        for (u32 r = 0; r < rows; ++r)
            std::memcpy(s.bitmap->TopRow(u32(*y) + r) + std::size_t(*x) * 4, cel->TopRow(r), std::size_t(cols) * 4);
    }
    s.cursorX += cw + pad;
    s.rowBottom = std::max(s.rowBottom, s.rowTop + ch + pad);
    return index;
}

bool CView::Cover(SSheet& sheet, u32 w, u32 h) {
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

namespace {

// One axis of Align, worked out in 64 bits: offsets straight from a file may be anything, and a
// result beyond 32 bits is pinned to the nearest end (it lies far outside every cel either way).
i32 AlignAxis(i32 value, u32 size, i32 offset, int alignment) {
    i64 v = value;
    if (alignment == 1) v += i64(size) / 2 - offset;
    else if (alignment == 2) v += i64(size) - offset;
    else v -= offset;
    return static_cast<i32>(std::clamp<i64>(v, std::numeric_limits<i32>::min(), std::numeric_limits<i32>::max()));
}

}  // namespace

void CView::Align(const SCel& cel, i32* x, i32* y, int horizontal, int vertical) {
    *x = AlignAxis(*x, cel.width, cel.xOffset, horizontal);
    *y = AlignAxis(*y, cel.height, cel.yOffset, vertical);
}

bool CView::HitTest(const SCel& cel, i32 x, i32 y, int horizontal, int vertical) {
    Align(cel, &x, &y, horizontal, vertical);
    return x >= 0 && i64(x) < i64(cel.width) && y >= 0 && i64(y) <= i64(cel.height);
}

u32 CView::GetCelPixel(i32 loop, i32 cel, i32 x, i32 y) const {
    const SCel* c = GetCel(loop, cel);
    if (!c || x < 0 || y < 0 || u32(x) >= c->width || u32(y) >= c->height) return 0;
    const i32 sheet = m_loops[std::size_t(loop)]->sheets[std::size_t(cel)];
    if (sheet < 0 || std::size_t(sheet) >= m_sheets.size()) return 0;
    const CBitmap& b = *m_sheets[std::size_t(sheet)].bitmap;
    const u32 col = u32(c->x + x), row = u32(c->y + y);
    if (col >= b.Width() || row >= b.Height()) return 0;
    return LE32(b.TopRow(row) + std::size_t(col) * 4);
}

// ---- CViewBuilder

CViewBuilder::CViewBuilder() : m_buffer(std::make_unique<CBuffer>()) {
    m_buffer->Write("VIEW", 4);
    PutU32(*m_buffer, 17);
    PutU32(*m_buffer, 32);  // bits per pixel
    PutU32(*m_buffer, 0);   // colour key
    PutU32(*m_buffer, 1);   // blend mode
    PutU32(*m_buffer, 0);   // loops
    const u8 smooth = 0;
    m_buffer->Write(&smooth, 1);
}

CViewBuilder::~CViewBuilder() {
    if (m_view) m_view->Release();
}

void CViewBuilder::NewLoop(i32 mirrorOf) {
    if (m_view || !m_buffer) return;
    const u32 p = m_buffer->GetSize();
    m_buffer->Seek(20);
    PutU32(*m_buffer, ++m_loopCount);
    m_buffer->Seek(p);
    if (mirrorOf < 0) {
        PutU32(*m_buffer, 0);
        PutU32(*m_buffer, 0);
        m_celCount = 0;
        m_celCountPos = static_cast<i32>(p + 4);
    } else {
        PutU32(*m_buffer, 1);
        PutU32(*m_buffer, static_cast<u32>(mirrorOf));
        m_celCount = 0;
        m_celCountPos = -1;
    }
}

bool CViewBuilder::NewCel(const CBitmapInterface* image, i32 x, i32 y, i32 width, i32 height) {
    if (m_view || !m_buffer || !image || image->IsEmpty() || m_celCountPos < 0) return false;
    if (!IsRgba32(*image)) return false;
    // Clip to the image (in 64 bits: the sums must not wrap).
    i64 x0 = x, y0 = y, w = width, h = height;
    if (x0 < 0) { w += x0; x0 = 0; }
    if (y0 < 0) { h += y0; y0 = 0; }
    w = std::min<i64>(w, i64(image->Width()) - x0);
    h = std::min<i64>(h, i64(image->Height()) - y0);
    if (w <= 0 || h <= 0) return false;

    const u32 p = m_buffer->GetSize();
    m_buffer->Seek(static_cast<u32>(m_celCountPos));
    PutU32(*m_buffer, ++m_celCount);
    m_buffer->Seek(p);
    PutU32(*m_buffer, static_cast<u32>(w));
    PutU32(*m_buffer, static_cast<u32>(h));
    PutU32(*m_buffer, 0);
    PutU32(*m_buffer, 0);
    m_buffer->Reserve(static_cast<u32>(w * h * 4));
    for (i64 row = y0 + h - 1; row >= y0; --row)
        m_buffer->Write(image->Row(static_cast<u32>(row)) + x0 * 4, static_cast<u32>(w * 4));
    return true;
}

CView* CViewBuilder::Fixate() { return Fixate(GetRenderer()); }

CView* CViewBuilder::Fixate(CRenderer* renderer) {
    if (!m_view) {
        m_buffer->Seek(0);
        m_view = new CView("[generated]");  // owned through its reference count
        m_view->Load(m_buffer.get(), renderer);
        m_view->AddRef();
        m_buffer.reset();
    }
    return m_view;
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
    const u32 bpp = m_bits == 8 ? 1 : m_bits == 24 ? 3 : m_bits == 32 ? 4 : 0;
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
    const u32 bpp = m_bits == 8 ? 1 : m_bits == 24 ? 3 : m_bits == 32 ? 4 : 0;
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
