// View and font files ("VIEW"/"FONT"), CPU side: loops of cels read from a file and packed into
// 32-bit sheet bitmaps, and the writer the asset tools use. No textures: the layer that draws makes
// them from the sheets.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "image/Bitmap.h"

namespace ove {

class CDataBin;

// One sheet: a 32-bit bitmap the cels are packed into, filled row by row. Cels are placed within the
// sheet's full size, but the bitmap only covers the top-left part that pixels were copied to (the
// rest is transparent black) until it is asked for in full, so that loading costs memory in
// proportion to the pixels the file holds.
struct SViewSheet {
    std::unique_ptr<CBitmap> bitmap;
    i32 width = 0;  // full size: texture coordinates and placement use it
    i32 height = 0;
    i32 cursorX = 0;
    i32 rowTop = 0;
    i32 rowBottom = 0;
};

// The sheets of one view and the packing into them, within a budget of sheet bytes.
class CViewSheets {
public:
    static constexpr std::size_t kMaxSheetBytes = std::size_t(256) << 20;  // all sheets together

    explicit CViewSheets(std::size_t budget = kMaxSheetBytes) : m_budget(budget) {}

    // Places a w x h cel, leaving padding pixels free to its right and below, and copies the bitmap
    // (32-bit, may be null for an empty cel) there. Returns the sheet index and the position, or -1
    // when the sheets would grow beyond their budget or memory runs out.
    i32 Pack(const CBitmapInterface* cel, u32 w, u32 h, i32 padding, i32* x, i32* y);
    // Pack for a picture of any format (converted to 32 bits first); null packs nothing.
    void AddImage(const CBitmapInterface* cel, i32 padding, i32* x, i32* y);

    std::size_t Count() const { return m_sheets.size(); }
    const SViewSheet& Sheet(std::size_t i) const { return m_sheets[i]; }
    // Makes sheet i's bitmap cover its full size (what a texture needs); null when memory runs out.
    const CBitmap* Full(std::size_t i);
    // The pixel (0xAARRGGBB) at (col, row) from a sheet's top-left; 0 outside what it holds.
    u32 Pixel(i32 sheet, u32 col, u32 row) const;

private:
    // Makes the sheet's bitmap cover at least w x h pixels from its top-left corner (at most its full
    // size), growing it in doublings.
    static bool Cover(SViewSheet& sheet, u32 w, u32 h);

    std::vector<SViewSheet> m_sheets;
    std::size_t m_bytes = 0;
    std::size_t m_budget;
};

// One cel as read: its place in a sheet, its size and hot spot.
struct SViewCel {
    i32 x = 0;  // position in the sheet
    i32 y = 0;
    i32 xOffset = 0;
    i32 yOffset = 0;
    u32 width = 0;
    u32 height = 0;
    i32 sheet = -1;
    // Some pixel has an alpha strictly between 0 and 255.
    u8 translucent = 0;
};

// A loop's cels. A mirrored loop has its x offsets negated; whoever maps its cels to texture
// coordinates exchanges left and right.
struct SViewLoop {
    std::vector<SViewCel> cels;
    bool mirrored = false;
};

class CViewFile {
public:
    // Limits that keep a corrupt file from asking for absurd amounts of memory.
    static constexpr u32 kMaxLoops = 1u << 16;
    static constexpr u32 kMaxCelSide = 8192;
    static constexpr std::size_t kMaxSheetBytes = CViewSheets::kMaxSheetBytes;
    // Space left to the right of and below each cel in a sheet: none for views; fonts keep a
    // 1-pixel gap so that filtering never bleeds between glyphs.
    static constexpr i32 kViewPadding = 0;
    static constexpr i32 kFontPadding = 1;

    // Reads a VIEW or FONT file from the source's position (the tag does not pick the padding: the
    // caller does). A wrong tag leaves the file empty. Missing data reads as zeros within a header;
    // loop and cel records stop at the end of the data (the loops left over stay empty), and a cel
    // whose pixels are not all there, or whose size is beyond the limits, ends reading.
    void Read(CDataBin* source, i32 padding = kViewPadding);

    // What was wrong with the file, empty when nothing was: a wrong tag, data that end early, a cel
    // beyond the limits, a loop without cels, a mirror of a loop that does not exist. What could be
    // read is kept either way.
    const std::string& Error() const { return m_error; }
    u32 BlendMode() const { return m_blendMode; }
    u8 Smooth() const { return m_smooth; }
    // Loops the header declares (up to kMaxLoops); only those up to the last record read are in
    // Loops(), the rest are empty.
    std::size_t LoopCount() const { return m_loopCount; }
    // Loops share cel sets: every empty loop the one empty set, and a mirrored loop the mirrored set
    // of its source, made once per source (a mirror of that mirror is the source again), so that
    // mirror records cannot multiply memory.
    using LoopPtr = std::shared_ptr<const SViewLoop>;
    const std::vector<LoopPtr>& Loops() const { return m_loops; }
    const CViewSheets& Sheets() const { return m_sheets; }
    CViewSheets TakeSheets() { return std::move(m_sheets); }

private:
    struct SHeader {
        u32 bits = 0;
        u8 key[3] = {};  // red, green, blue
        u32 blendMode = 1;
        u8 smooth = 0;
        u32 loopCount = 0;
    };

    void Fail(const std::string& text);  // keeps the first problem met
    bool ReadHeader(CDataBin& source, SHeader& header);
    // Reads the loop records into filled; mirror records go to mirrors (loop, the loop it mirrors).
    void ReadLoops(CDataBin& source, const SHeader& header, std::vector<SViewLoop>& filled,
                   std::vector<std::pair<u32, i32>>& mirrors);
    // Reads one cel and packs it; false when reading must stop.
    bool ReadCel(CDataBin& source, const SHeader& header, u32 loop, SViewCel& cel);
    // Shares the filled loops out and resolves the mirrors in loop order.
    void ShareLoops(std::vector<SViewLoop>& filled, const std::vector<std::pair<u32, i32>>& mirrors);

    std::vector<LoopPtr> m_loops;
    std::size_t m_loopCount = 0;
    CViewSheets m_sheets;
    u32 m_blendMode = 1;
    u8 m_smooth = 0;
    i32 m_padding = kViewPadding;
    std::string m_error;
    std::vector<u8> m_data;  // one cel's bytes as stored
};

// Writes VIEW and FONT files (asset tools). Cels are given as 32-bit pictures and stored at the
// writer's depth: 8 bits keep the alpha (drawn white), 24 bits the colour (alpha 0 becomes the
// colour key), 32 bits everything.
class CViewWriter {
public:
    explicit CViewWriter(const char* tag = "VIEW", u32 bitsPerPixel = 32);

    u32 blendMode = 1;
    u8 smooth = 0;
    u32 colourKey = 0;  // 0x00BBGGRR: stored as the bytes red, green, blue, 0

    void AddLoop();
    void AddMirror(u32 loop);
    // Appends a cel to the last loop (starting one when there is none or the last is a mirror).
    // The picture must be 32-bit (Rgba8888/Rgbx8888); false otherwise.
    bool AddCel(const CBitmapInterface& picture, i32 xOffset, i32 yOffset);
    // An empty cel of the given size (no pixels stored; transparent when loaded).
    void AddEmptyCel(u32 width, u32 height, i32 xOffset, i32 yOffset);
    std::size_t LoopCount() const { return m_loops.size(); }

    bool Write(CDataBin* out) const;

private:
    struct SCelData {
        u32 width, height;
        i32 xOffset, yOffset;
        std::vector<u8> bytes;
    };
    struct SLoopData {
        bool mirror = false;
        u32 of = 0;
        std::vector<SCelData> cels;
    };
    char m_tag[4];
    u32 m_bits;
    std::vector<SLoopData> m_loops;
};

// Whether a picture is 32-bit (Rgba8888 or Rgbx8888), as cels are.
bool IsRgba32(const CBitmapInterface& b);

}  // namespace ove
