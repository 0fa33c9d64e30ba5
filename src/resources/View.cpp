#include "View.h"

#include <algorithm>
#include <limits>
#include <unordered_map>

#include "io/DataBin.h"
#include "io/Types.h"
#include "render/Renderer.h"

namespace ove {

namespace {

void PutU32(CDataBin& out, u32 v) {
    u8 b[4] = {u8(v), u8(v >> 8), u8(v >> 16), u8(v >> 24)};
    out.Write(b, 4);
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
    if (m_renderer && m_renderer == GetRenderer())
        for (TextureHandle texture : m_textures)
            if (texture) m_renderer->ReleaseTexture(texture);
    m_textures.clear();
    m_sheets = CViewSheets();
}

void CView::Reset() {
    ReleaseSheets();
    m_loadError.clear();
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

SSheet CView::Sheet(std::size_t i) const {
    const SViewSheet& sheet = m_sheets.Sheet(i);
    return {sheet.bitmap.get(), sheet.width, sheet.height, i < m_textures.size() ? m_textures[i] : nullptr};
}

void CView::Load(CDataBin* source) { Load(source, GetRenderer()); }

void CView::Load(CDataBin* source, CRenderer* renderer) {
    Reset();
    if (!source) return;
    CViewFile file;
    file.Read(source, Padding());
    m_loadError = file.Error();
    m_blendMode = file.BlendMode();
    m_smooth = file.Smooth();
    m_loopCount = file.LoopCount();
    m_sheets = file.TakeSheets();
    MakeTextures(renderer);
    MakeLoops(file);
}

void CView::MakeTextures(CRenderer* renderer) {
    m_renderer = renderer;
    if (!renderer) return;
    m_textures.assign(m_sheets.Count(), nullptr);
    for (std::size_t i = 0; i < m_sheets.Count(); ++i) {
        // Textures are made at the full size, as the texture coordinates assume.
        if (const CBitmap* full = m_sheets.Full(i)) m_textures[i] = renderer->CreateTexture(full);
    }
}

void CView::MakeLoops(const CViewFile& file) {
    constexpr float kEpsilon = 0.0001f;
    auto make = [&](const SViewLoop& from) {
        auto loop = std::make_shared<SLoopCels>();
        loop->cels.reserve(from.cels.size());
        loop->sheets.reserve(from.cels.size());
        for (const SViewCel& c : from.cels) {
            const SSheet sheet = Sheet(std::size_t(c.sheet));
            const float invW = 1.0f / static_cast<float>(sheet.width);
            const float invH = 1.0f / static_cast<float>(sheet.height);
            SCel cel;
            cel.x = c.x;
            cel.y = c.y;
            cel.xOffset = c.xOffset;
            cel.yOffset = c.yOffset;
            cel.width = c.width;
            cel.height = c.height;
            cel.translucent = c.translucent;
            cel.texture = sheet.texture;
            cel.uLeft = (static_cast<float>(cel.x) + kEpsilon) * invW;
            cel.vTop = (static_cast<float>(cel.y) - kEpsilon) * invH;
            cel.uRight = invW * (static_cast<float>(cel.x + i32(cel.width)) + kEpsilon);
            cel.vBottom = invH * (static_cast<float>(cel.y + i32(cel.height)) - kEpsilon);
            if (from.mirrored) std::swap(cel.uLeft, cel.uRight);
            loop->cels.push_back(cel);
            loop->sheets.push_back(c.sheet);
        }
        return LoopPtr(std::move(loop));
    };
    static const LoopPtr kNoCels = std::make_shared<const SLoopCels>();
    std::unordered_map<const SViewLoop*, LoopPtr> made;  // each shared cel set is converted once
    m_loops.reserve(file.Loops().size());
    for (const CViewFile::LoopPtr& loop : file.Loops()) {
        if (loop->cels.empty()) {
            m_loops.push_back(kNoCels);
        } else if (loop.use_count() == 1) {
            m_loops.push_back(make(*loop));  // a set no other loop shares
        } else {
            auto [it, fresh] = made.try_emplace(loop.get());
            if (fresh) it->second = make(*loop);
            m_loops.push_back(it->second);
        }
    }
}

void CView::AddImage(const CBitmapInterface* cel, i32* x, i32* y) { m_sheets.AddImage(cel, Padding(), x, y); }

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
    return m_sheets.Pixel(m_loops[std::size_t(loop)]->sheets[std::size_t(cel)], u32(c->x + x), u32(c->y + y));
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
    if (x0 < 0) {
        w += x0;
        x0 = 0;
    }
    if (y0 < 0) {
        h += y0;
        y0 = 0;
    }
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

}  // namespace ove
