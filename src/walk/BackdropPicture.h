// A backdrop picture resource ("PICT"): the image plus up to four run-length masks (control,
// depth, walk, click) and the names of the click-mask hotspots.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "image/Bitmap.h"
#include "image/RunMask.h"

namespace ove {

class CDataBin;

class CBackdropPicture {
public:
    enum EMask { kControl = 0, kDepth = 1, kWalk = 2, kClick = 3, kMaskCount = 4 };

    CBackdropPicture() = default;
    CBackdropPicture(const CBackdropPicture&) = delete;
    CBackdropPicture& operator=(const CBackdropPicture&) = delete;

    // Parses a picture from the stream's position. A wrong magic ends loading silently with no image
    // and size 0 x 0; an unusable image header (or pixels that are not all there) ends it with no
    // image but the size from the picture header; truncated chunks end it with what was read. True when
    // the picture has an image. A picture the game must refuse (an attribute it does not know
    // inside a hotspot record) gives false with the reason in Refusal().
    bool Load(CDataBin* file);
    // Why the last Load refused the picture ("Unknown hotspot attribute"); empty when it did not.
    const std::string& Refusal() const { return m_refusal; }
    // Writes the picture in the format Load reads (image as stored: 8, 16, 24 or 32 bits).
    // False when there is no image of a storable depth.
    bool Save(CDataBin* file) const;

    i32 Width() const { return m_width; }
    i32 Height() const { return m_height; }
    CBitmap* Bitmap() { return m_bitmap.get(); }
    const CBitmap* Bitmap() const { return m_bitmap.get(); }

    const CRunMask* Mask(EMask which) const {
        return which >= 0 && which < kMaskCount ? m_masks[which].get() : nullptr;
    }
    const CRunMask* ControlMask() const { return m_masks[kControl].get(); }
    const CRunMask* DepthMask() const { return m_masks[kDepth].get(); }
    const CRunMask* WalkMask() const { return m_masks[kWalk].get(); }
    const CRunMask* ClickMask() const { return m_masks[kClick].get(); }

    // Name stored for a hotspot number, or null.
    const char* HotspotName(u32 number) const;
    const std::map<u32, std::string>& Hotspots() const { return m_hotspots; }

    // Building (tools and tests). SetImage takes the picture's size from the bitmap.
    void SetImage(std::unique_ptr<CBitmap> bitmap);
    void SetMask(EMask which, std::unique_ptr<CRunMask> mask);
    void SetHotspotName(u32 number, std::string name);

private:
    void Clear();
    // The chunk list after the pixels; stops at "ENDF", at a repeated mask slot or at the end of data.
    void LoadChunks(CDataBin* file);
    // Hotspot records until a head that is not one; false when the data ended inside them.
    bool LoadHotspots(CDataBin* file);

    i32 m_width = 0;
    i32 m_height = 0;
    std::unique_ptr<CBitmap> m_bitmap;
    std::unique_ptr<CRunMask> m_masks[kMaskCount];
    std::map<u32, std::string> m_hotspots;
    std::string m_refusal;
};

}  // namespace ove
