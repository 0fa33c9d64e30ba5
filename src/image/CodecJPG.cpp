#include "image/CodecJPG.h"

#include <turbojpeg.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <limits>

#include <jerror.h>
#include <jpeglib.h>

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

// Decoding goes through libjpeg itself rather than TurboJPEG's one-call API: that API reports a
// fatal error that follows a warning as a mere warning, and sizes its output from the header
// before any data has been seen. Here every fatal error fails, a premature end of the data fails
// ("Invalid file format.", as any picture that cannot be read whole), and the picture is made only
// after the header has been checked against the data and the first rows have really decoded.
struct SJpegJob {
    const u8* data = nullptr;
    std::size_t size = 0;
    bool rgba = false;                           // decode to Rgba8888 instead of Grey8/Rgb888
    std::unique_ptr<CBitmap>* bitmap = nullptr;  // made by MakePicture, owned by the caller
};

struct SJpegErrors {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    u32 failure;  // codec error value to report when jumping out
};

[[noreturn]] void OnJpegError(j_common_ptr info) {
    SJpegErrors* errors = reinterpret_cast<SJpegErrors*>(info->err);
    std::longjmp(errors->jump, 1);
}

void OnJpegMessage(j_common_ptr info, int level) {
    // Level -1 is a warning about damaged data. Most of them still leave a usable picture, but data
    // that stop early would be padded out with grey: that is a truncated file, not a picture.
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) {
        SJpegErrors* errors = reinterpret_cast<SJpegErrors*>(info->err);
        errors->failure = CodecErrorValue(kCodecBadFormat);
        std::longjmp(errors->jump, 1);
    }
}

// Kept out of DecodeJpeg so that no object with a destructor lives in a frame a longjmp leaves.
bool MakePicture(SJpegJob& job, u32 width, u32 height, bool grey) {
    const PixelFormat format = job.rgba ? PixelFormat::Rgba8888 : grey ? PixelFormat::Grey8 : PixelFormat::Rgb888;
    auto bitmap = std::make_unique<CBitmap>();
    // 32-bit rows have no padding and the decoder fills every one: no need to zero them first.
    if (!(job.rgba ? bitmap->CreateForOverwrite(width, height, format) : bitmap->Create(width, height, format)))
        return false;
    *job.bitmap = std::move(bitmap);
    return true;
}

void DropPicture(SJpegJob& job) { job.bitmap->reset(); }

// The most pixels a stream of `bytes` can describe: every 8 x 8 block of every scan costs at least
// one bit of entropy-coded data.
std::uint64_t MostPixelsFor(std::size_t bytes) { return std::uint64_t(bytes) * 8 * 64; }

// 0 on success, else the codec error value. Only plain data lives in this frame (see MakePicture).
u32 DecodeJpeg(SJpegJob& job) {
    jpeg_decompress_struct info;
    SJpegErrors errors;
    info.err = jpeg_std_error(&errors.mgr);
    errors.mgr.error_exit = OnJpegError;
    errors.mgr.emit_message = OnJpegMessage;
    errors.failure = CodecErrorValue(kCodecBadHeader);
    JSAMPROW rows[16];
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        DropPicture(job);
        return errors.failure;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, job.data, static_cast<unsigned long>(job.size));
    jpeg_read_header(&info, TRUE);

    const u32 width = info.image_width, height = info.image_height;
    if (!width || !height) {
        jpeg_destroy_decompress(&info);
        return CodecErrorValue(kCodecBadHeader);
    }
    if (!PictureSizeAllowed(width, height)) {
        jpeg_destroy_decompress(&info);
        return CodecErrorValue(kCodecNoBitmap);
    }
    if (std::uint64_t(width) * height > MostPixelsFor(job.size)) {
        jpeg_destroy_decompress(&info);
        return CodecErrorValue(kCodecBadFormat);
    }
    const bool grey = info.jpeg_color_space == JCS_GRAYSCALE;
    info.out_color_space = job.rgba ? JCS_EXT_BGRA : grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
    // libjpeg's own working memory (whole-image coefficients of progressive files) stays in
    // proportion to the picture.
    info.mem->max_memory_to_use = static_cast<long>(std::min<std::uint64_t>(
        std::uint64_t(width) * height * 8 + (16u << 20), std::uint64_t(std::numeric_limits<long>::max())));

    errors.failure = CodecErrorValue(kCodecBadFormat);
    jpeg_start_decompress(&info);
    if (info.output_width != width || info.output_height != height) {
        jpeg_destroy_decompress(&info);
        return CodecErrorValue(kCodecBadFormat);
    }

    // The first band of rows goes to a small scratch buffer; the picture is made once they decoded.
    const u32 rowBytes = width * static_cast<u32>(info.output_components);
    const u32 band = std::min<u32>(std::max(1, info.rec_outbuf_height), 16);
    unsigned char* scratch = static_cast<unsigned char*>(
        (*info.mem->alloc_large)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE, std::size_t(rowBytes) * band));
    for (u32 i = 0; i < band; ++i) rows[i] = scratch + std::size_t(i) * rowBytes;
    u32 first = 0;
    while (first < band && info.output_scanline < height) {
        const u32 got = jpeg_read_scanlines(&info, rows + first, band - first);
        if (!got) break;
        first += got;
    }
    if (!first) {
        jpeg_destroy_decompress(&info);
        return CodecErrorValue(kCodecBadFormat);
    }

    if (!MakePicture(job, width, height, grey)) {
        jpeg_destroy_decompress(&info);
        return CodecErrorValue(kCodecNoBitmap);
    }
    CBitmap& bitmap = **job.bitmap;
    // Rows come top first; the bitmap keeps the top row last in memory.
    for (u32 i = 0; i < first; ++i) std::memcpy(bitmap.TopRow(i), rows[i], rowBytes);
    while (info.output_scanline < height) {
        u32 count = 0;
        for (; count < 16 && info.output_scanline + count < height; ++count)
            rows[count] = bitmap.TopRow(info.output_scanline + count);
        if (!jpeg_read_scanlines(&info, rows, count)) {
            jpeg_destroy_decompress(&info);
            DropPicture(job);
            return CodecErrorValue(kCodecBadFormat);
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return 0;
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
        if (data.empty()) Raise(kCodecBadHeader);

        SJpegJob job;
        job.data = data.data();
        job.size = data.size();
        job.rgba = m_preferRgba;
        std::unique_ptr<CBitmap> bitmap;
        job.bitmap = &bitmap;
        const u32 failure = DecodeJpeg(job);
        if (failure) Raise(failure >> 16, failure & 0xFFFF);
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
        const int result = tjCompress2(handle.get(), bitmap->Pixels(), static_cast<int>(bitmap->Width()),
                                       static_cast<int>(bitmap->Stride()), static_cast<int>(bitmap->Height()),
                                       grey ? TJPF_GRAY : TJPF_BGR, &out, &outSize, grey ? TJSAMP_GRAY : TJSAMP_420,
                                       kQuality, TJFLAG_BOTTOMUP);
        std::unique_ptr<unsigned char, STjBufferDeleter> owned(out);
        if (result != 0 || !out) Raise(kCodecUnsupported);
        if (outSize > 0xFFFFFFFFul) Raise(kCodecWriteError);
        WriteExact(*destination, out, static_cast<u32>(outSize));
        return true;
    });
}

}  // namespace ove
