// View and font resources: the loops and sheets of a view or font file (data/ViewFile.h) with the
// textures made from the sheets, shared by reference count.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "data/ViewFile.h"
#include "image/Bitmap.h"
#include "render/Cel.h"

namespace ove {

class CDataBin;
class CBuffer;
class CRenderer;

// Base of the resources the cache shares. The count starts at 0; holders call AddRef and the last
// Release deletes the object, which must therefore live on the heap.
class CResource {
public:
    virtual ~CResource() = default;
    CResource(const CResource&) = delete;
    CResource& operator=(const CResource&) = delete;

    u32 AddRef() { return ++m_refCount; }
    // Drops one reference; at 0 the resource is deleted. Returns the count left.
    u32 Release();
    u32 RefCount() const { return m_refCount; }

protected:
    CResource() = default;

private:
    u32 m_refCount = 0;
};

// A counted reference to a resource: AddRef on taking, Release on letting go.
template <class T>
class TResourceRef {
public:
    TResourceRef() = default;
    explicit TResourceRef(T* p) : m_p(p) {
        if (m_p) m_p->AddRef();
    }
    TResourceRef(const TResourceRef& o) : TResourceRef(o.m_p) {}
    TResourceRef(TResourceRef&& o) noexcept : m_p(o.m_p) { o.m_p = nullptr; }
    TResourceRef& operator=(TResourceRef o) noexcept {
        std::swap(m_p, o.m_p);
        return *this;
    }
    ~TResourceRef() {
        if (m_p) m_p->Release();
    }
    void Reset(T* p = nullptr) { *this = TResourceRef(p); }
    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    T& operator*() const { return *m_p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    T* m_p = nullptr;
};

// One sheet as the view holds it: the 32-bit bitmap (see SViewSheet: it covers only what pixels
// were copied to until a texture is made), the full size, and the texture made from it.
struct SSheet {
    const CBitmap* bitmap = nullptr;
    i32 width = 0;  // full size: texture coordinates and placement use it
    i32 height = 0;
    TextureHandle texture = nullptr;
};

class CView : public CResource {
public:
    // Limits that keep a corrupt file from asking for absurd amounts of memory.
    static constexpr u32 kMaxLoops = CViewFile::kMaxLoops;
    static constexpr u32 kMaxCelSide = CViewFile::kMaxCelSide;
    static constexpr std::size_t kMaxSheetBytes = CViewFile::kMaxSheetBytes;  // all sheets together

    // Empty resource: blend mode 1, filtering off. A null or empty name gives no name.
    explicit CView(const char* name = nullptr);
    ~CView() override;

    // Reads a VIEW or FONT file from the source's position as CViewFile::Read does (the tag does
    // not pick the class: the caller does), keeping what it could read. Textures are made with the
    // renderer when one is given; without one the sheets and texture coordinates are still set up
    // (tools and tests).
    void Load(CDataBin* source, CRenderer* renderer);
    void Load(CDataBin* source);  // with the current renderer, if any
    // What was wrong with the file last loaded, empty when nothing was: a wrong tag, data that end
    // early, a cel beyond the limits, a loop without cels, a mirror of a loop that does not exist.
    // The loader still keeps what it could read (games see the same view either way); tools report
    // the text.
    const std::string& LoadError() const { return m_loadError; }

    // Copies a cel bitmap into a sheet (a new one when none has room) and reports where it went.
    virtual void AddImage(const CBitmapInterface* cel, i32* x, i32* y);

    const char* Name() const { return m_hasName ? m_name.c_str() : nullptr; }
    u32 BlendMode() const { return m_blendMode; }
    u8 Smooth() const { return m_smooth; }

    std::size_t LoopCount() const { return m_loopCount; }
    // Cels of a loop; 0 for an index out of range.
    std::size_t CelCount(i32 loop) const;
    const std::vector<SCel>& Loop(std::size_t loop) const;  // empty for an index out of range
    // The cel or null when either index is out of range.
    const SCel* GetCel(i32 loop, i32 cel) const;
    // Sheet a cel was packed into, or -1.
    i32 CelSheet(i32 loop, i32 cel) const;

    std::size_t SheetCount() const { return m_sheets.Count(); }
    SSheet Sheet(std::size_t i) const;

    // Cel geometry (alignment 0 left/top, 1 centre/middle, 2 right/bottom).
    // Turns a point relative to the drawing position into one relative to the cel's top-left.
    static void Align(const SCel& cel, i32* x, i32* y, int horizontal, int vertical);
    // Whether an aligned point lies on the cel: 0 <= x < width and 0 <= y <= height.
    static bool HitTest(const SCel& cel, i32 x, i32 y, int horizontal, int vertical);
    // The pixel (0xAARRGGBB) of a cel at (x, y) from its top-left corner; 0 for any index out of
    // range.
    u32 GetCelPixel(i32 loop, i32 cel, i32 x, i32 y) const;

protected:
    // Space left to the right of and below each cel in a sheet: none for views.
    virtual i32 Padding() const { return CViewFile::kViewPadding; }

private:
    void Reset();
    void ReleaseSheets();
    void MakeTextures(CRenderer* renderer);
    // The file's loops with texture coordinates, sharing cel sets as the file's loops do.
    void MakeLoops(const CViewFile& file);

    // A loop's cels with the sheet each was packed into (shared as CViewFile::Loops are).
    struct SLoopCels {
        std::vector<SCel> cels;
        std::vector<i32> sheets;
    };
    using LoopPtr = std::shared_ptr<const SLoopCels>;

    std::vector<LoopPtr> m_loops;  // up to the last loop the file had a record for; the rest are empty
    std::size_t m_loopCount = 0;
    std::string m_name;
    bool m_hasName = false;
    CViewSheets m_sheets;
    std::vector<TextureHandle> m_textures;  // one a sheet when a renderer made them
    u32 m_blendMode = 1;
    u8 m_smooth = 0;
    CRenderer* m_renderer = nullptr;  // the one that made the textures
    std::string m_loadError;
};

// A bitmap font: a view whose loop 0 holds one glyph per character code. Its glyphs are packed with
// a 1-pixel gap to the right and below so that filtering never bleeds between neighbours.
class CFont : public CView {
public:
    explicit CFont(const char* name = nullptr) : CView(name) {}

protected:
    i32 Padding() const override { return CViewFile::kFontPadding; }
};

// Writes a view in memory (the script's view constructor) and turns it into a CView on Fixate.
class CViewBuilder {
public:
    CViewBuilder();
    ~CViewBuilder();
    CViewBuilder(const CViewBuilder&) = delete;
    CViewBuilder& operator=(const CViewBuilder&) = delete;

    // Starts a loop: a normal one (mirrorOf < 0) that takes the cels added next, or a mirror of
    // loop mirrorOf that takes none. Ignored once fixed.
    void NewLoop(i32 mirrorOf = -1);
    // Appends a cel from the width x height rectangle at column x, memory row y (bottom-up, as the
    // bitmap stores rows) of a 32-bit image, offsets 0. The rectangle is clipped to the image and the
    // record holds the clipped size. False, with nothing written, when fixed, when the current loop
    // takes no cels, when the image is not 32-bit or when nothing of the rectangle remains.
    bool NewCel(const CBitmapInterface* image, i32 x, i32 y, i32 width, i32 height);
    // Loads what was written as a view named "[generated]" (once) and returns it; the builder holds
    // one reference to it until it is destroyed.
    CView* Fixate(CRenderer* renderer);
    CView* Fixate();  // with the current renderer, if any
    bool IsFixed() const { return m_view != nullptr; }
    // The bytes written so far (null once fixed).
    const CBuffer* Buffer() const { return m_buffer.get(); }

private:
    std::unique_ptr<CBuffer> m_buffer;
    CView* m_view = nullptr;
    u32 m_loopCount = 0;
    u32 m_celCount = 0;
    i32 m_celCountPos = -1;
};

}  // namespace ove
