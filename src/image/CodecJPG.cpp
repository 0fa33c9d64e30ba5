#include "image/CodecJPG.h"

#include <turbojpeg.h>

#include <cstring>

namespace ove {

namespace {

struct STjHandleDeleter {
    void operator()(void* h) const {
        if (h) tjDestroy(h);
    }
};
using TjHandle = std::unique_ptr<void, STjHandleDeleter>;

struct STjBufferDeleter {
    void operator()(unsigned char* p) const {
        if (p) tjFree(p);
    }
};

// Warnings about damaged data still give a full picture, except when the data stop early.
bool IsTolerableWarning(tjhandle handle) {
    if (tjGetErrorCode(handle) != TJERR_WARNING) return false;
    const char* text = tjGetErrorStr2(handle);
    return !(text && std::strstr(text, "Premature end"));
}

// True when a Grey8 palette is the plain ramp, so the cell values are the grey levels themselves.
bool IsPlainGreyRamp(const CBitmapInterface& bmp) {
    const u32* p = bmp.Palette();
    if (!p) return true;
    for (u32 i = 0; i < 256; ++i)
        if ((p[i] & 0xFFFFFFu) != i * 0x010101u) return false;
    return true;
}

}  // namespace

const char* CCodecJPG::GetErrorText() const {
    if (GetGeneralError() == kCodecUnsupported) {
        switch (GetErrorDetail()) {
        case kLibraryMissing: return "Unable to load IJL15.DLL";
        case kLibraryInit: return "Can't initialise library.";
        case kEncodeFailed: return "Can't encode image.";
        default: break;
        }
    }
    return CImageCodec::GetErrorText();
}

std::unique_ptr<CBitmapInterface> CCodecJPG::Load(CDataBin* source) {
    return Protect([&]() -> std::unique_ptr<CBitmapInterface> {
        if (!source) Raise(kCodecReadError);
        const u32 size = source->GetSize(), at = source->Tell();
        std::vector<u8> data(size > at ? size - at : 0);
        ReadExact(*source, data.data(), static_cast<u32>(data.size()));

        TjHandle handle(tjInitDecompress());
        if (!handle) Raise(kCodecUnsupported, kLibraryInit);

        int width = 0, height = 0, subsamp = 0, colourspace = 0;
        if (data.empty() || (tjDecompressHeader3(handle.get(), data.data(), static_cast<unsigned long>(data.size()),
                                                 &width, &height, &subsamp, &colourspace) != 0 &&
                             !IsTolerableWarning(handle.get())))
            Raise(kCodecBadHeader);
        if (width <= 0 || height <= 0) Raise(kCodecBadHeader);

        const bool grey = colourspace == TJCS_GRAY;
        auto bitmap = std::make_unique<CBitmap>(static_cast<u32>(width), static_cast<u32>(height), grey ? 8u : 24u);
        if (bitmap->IsEmpty()) Raise(kCodecNoBitmap);

        if (tjDecompress2(handle.get(), data.data(), static_cast<unsigned long>(data.size()), bitmap->Pixels(), width,
                          static_cast<int>(bitmap->Stride()), height, grey ? TJPF_GRAY : TJPF_BGR,
                          TJFLAG_BOTTOMUP) != 0 &&
            !IsTolerableWarning(handle.get()))
            Raise(kCodecBadFormat);
        return bitmap;
    });
}

bool CCodecJPG::Save(const CBitmapInterface* bitmap, CDataBin* destination) {
    return Protect([&]() -> bool {
        if (!bitmap || bitmap->IsEmpty()) Raise(kCodecReadError);
        if (!destination) Raise(kCodecWriteError);

        TjHandle handle(tjInitCompress());
        if (!handle) Raise(kCodecUnsupported, kLibraryInit);

        std::unique_ptr<CBitmapBuffer> converted;
        const bool grey = bitmap->Format() == PixelFormat::Grey8 && IsPlainGreyRamp(*bitmap);
        if (!grey && bitmap->Format() != PixelFormat::Rgb888) {
            converted = std::make_unique<CBitmapBuffer>(bitmap->Width(), bitmap->Height(), PixelFormat::Rgb888);
            if (converted->IsEmpty()) Raise(kCodecNoMemory);
            if (!converted->CopyFrom(*bitmap)) Raise(kCodecUnsupported);
            bitmap = converted.get();
        }
        if (bitmap->Width() > 0xFFFF || bitmap->Height() > 0xFFFF) Raise(kCodecUnsupported);

        unsigned char* out = nullptr;
        unsigned long outSize = 0;
        const int result =
            tjCompress2(handle.get(), bitmap->Pixels(), static_cast<int>(bitmap->Width()),
                        static_cast<int>(bitmap->Stride()), static_cast<int>(bitmap->Height()),
                        grey ? TJPF_GRAY : TJPF_BGR, &out, &outSize, grey ? TJSAMP_GRAY : TJSAMP_420, kQuality,
                        TJFLAG_BOTTOMUP);
        std::unique_ptr<unsigned char, STjBufferDeleter> owned(out);
        if (result != 0 || !out) Raise(kCodecUnsupported);
        if (outSize > 0xFFFFFFFFul) Raise(kCodecWriteError);
        WriteExact(*destination, out, static_cast<u32>(outSize));
        return true;
    });
}

}  // namespace ove
