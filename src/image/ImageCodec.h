// Image codecs: decode files from data bins into bitmaps and encode bitmaps into data bins.
// Every operation starts with a clear error state; a failure leaves (general code << 16) | detail
// in it and returns null or false. GetErrorText turns the state into the fixed message.
#pragma once
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "image/Bitmap.h"
#include "io/DataBin.h"

namespace ove {

// General error codes (the high 16 bits of the error state).
enum ECodecError : u32 {
    kCodecOk = 0,
    kCodecNoMemory = 1,
    kCodecReadError = 2,
    kCodecWriteError = 3,
    kCodecBadHeader = 4,
    kCodecBadFormat = 5,
    kCodecUnsupported = 6,  // the low 16 bits may hold a codec-specific detail
    kCodecTruncated = 7,
    kCodecNoBitmap = 8,
};

constexpr u32 CodecErrorValue(u32 general, u32 detail = 0) { return (general << 16) | detail; }

// What codecs throw internally; caught at the end of Load/Save and stored as the error state.
struct SCodecFailure {
    u32 value;  // full error state value
};

// An ordered list of decoded frames; owns their bitmaps.
class CFrameList {
public:
    struct SFrame {
        std::unique_ptr<CBitmapInterface> bitmap;
        u32 param1 = 0;
        u32 param2 = 0;
    };
    // Appends a frame; the first one added sets the list's width and height.
    void Add(std::unique_ptr<CBitmapInterface> bitmap);
    std::size_t Count() const { return m_frames.size(); }
    SFrame& operator[](std::size_t i) { return m_frames[i]; }
    const SFrame& operator[](std::size_t i) const { return m_frames[i]; }
    u32 Width() const { return m_width; }
    u32 Height() const { return m_height; }

private:
    std::vector<SFrame> m_frames;
    u32 m_width = 0;
    u32 m_height = 0;
};

class CImageCodec {
public:
    CImageCodec() = default;
    virtual ~CImageCodec() = default;
    CImageCodec(const CImageCodec&) = delete;
    CImageCodec& operator=(const CImageCodec&) = delete;

    // Base: Load wrapped as a one-frame list.
    virtual std::unique_ptr<CFrameList> LoadImage(CDataBin* source);
    // Decodes from the source's current position into a new bitmap; null on failure.
    // Base: first frame of LoadImage (a codec overrides at least one of the two).
    virtual std::unique_ptr<CBitmapInterface> Load(CDataBin* source);
    // Base: saves the first frame with Save.
    virtual bool SaveImage(const CFrameList& frames, CDataBin* destination);
    // Encodes the bitmap, writing at the destination's current position.
    virtual bool Save(const CBitmapInterface* bitmap, CDataBin* destination);
    // Message for the current error state. Codecs with details under code 6 override it and fall
    // back to this one.
    virtual const char* GetErrorText() const;

    // Asks Load for a 32-bit Rgba8888 picture where the codec can decode straight into one (the
    // pixels are those the conversion of its own format would give); other codecs ignore it.
    void PreferRgba8888(bool prefer) { m_preferRgba = prefer; }

    u32 GetError() const { return m_error; }
    u32 GetGeneralError() const { return m_error >> 16; }
    u32 GetErrorDetail() const { return m_error & 0xFFFF; }
    // Message of a general code alone.
    static const char* GeneralErrorText(u32 general);

protected:
    // Raise a general code (stored as code << 16) or a code with a detail.
    [[noreturn]] static void Raise(u32 general, u32 detail = 0) {
        throw SCodecFailure{CodecErrorValue(general, detail)};
    }
    // Reads exactly count bytes; fewer raise kCodecTruncated.
    static void ReadExact(CDataBin& source, void* data, u32 count);
    // Writes exactly count bytes; fewer raise kCodecWriteError.
    static void WriteExact(CDataBin& destination, const void* data, u32 count);

    // Runs an operation body the way every Load and Save does: clears the error state, catches
    // SCodecFailure (and allocation failures, as code 1) into it, and returns the body's result or a
    // value-initialised one (null, false) on failure. Locals of the body are freed on failure.
    template <class Body>
    auto Protect(Body&& body) -> decltype(body()) {
        m_error = 0;
        try {
            return body();
        } catch (const SCodecFailure& f) {
            m_error = f.value;
        } catch (const std::bad_alloc&) {
            m_error = CodecErrorValue(kCodecNoMemory);
        }
        return decltype(body()){};
    }

    u32 m_error = 0;
    bool m_preferRgba = false;

private:
    bool m_inBaseCall = false;  // guards the Load <-> LoadImage default pair against recursion
};

}  // namespace ove
