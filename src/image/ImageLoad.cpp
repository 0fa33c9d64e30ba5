#include "image/ImageLoad.h"

#include <cctype>
#include <cstring>

#include "image/CodecBMP.h"
#include "image/CodecJPG.h"
#include "image/CodecPNG.h"
#include "image/CodecQOI.h"

namespace ove {

ImageFileFormat ImageFormatFromName(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) return ImageFileFormat::Unknown;
    std::string ext = name.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == "bmp") return ImageFileFormat::BMP;
    if (ext == "png") return ImageFileFormat::PNG;
    if (ext == "jpg" || ext == "jpeg") return ImageFileFormat::JPEG;
    if (ext == "qoi") return ImageFileFormat::QOI;
    return ImageFileFormat::Unknown;
}

const char* ImageFormatName(ImageFileFormat format) {
    switch (format) {
    case ImageFileFormat::BMP: return "BMP";
    case ImageFileFormat::JPEG: return "JPEG";
    case ImageFileFormat::PNG: return "PNG";
    case ImageFileFormat::QOI: return "QOI";
    default: return "unknown";
    }
}

ImageFileFormat ImageFormatFromData(const u8* data, std::size_t size) {
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') return ImageFileFormat::BMP;
    if (size >= 8 && std::memcmp(data, "\x89PNG\r\n\x1A\n", 8) == 0) return ImageFileFormat::PNG;
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xD8) return ImageFileFormat::JPEG;
    if (size >= 4 && std::memcmp(data, "qoif", 4) == 0) return ImageFileFormat::QOI;
    return ImageFileFormat::Unknown;
}

std::unique_ptr<CImageCodec> CreateImageCodec(ImageFileFormat format) {
    switch (format) {
    case ImageFileFormat::BMP: return std::make_unique<CCodecBMP>();
    case ImageFileFormat::JPEG: return std::make_unique<CCodecJPG>();
    case ImageFileFormat::PNG: return std::make_unique<CCodecPNG>();
    case ImageFileFormat::QOI: return std::make_unique<CCodecQOI>();
    default: return nullptr;
    }
}

std::unique_ptr<CBitmapInterface> ConvertToRgba8888(std::unique_ptr<CBitmapInterface> bitmap) {
    if (!bitmap || bitmap->IsEmpty()) return nullptr;
    if (bitmap->Format() == PixelFormat::Rgba8888) return bitmap;
    auto converted = std::make_unique<CBitmap>(bitmap.get(), PixelFormat::Rgba8888);
    if (converted->IsEmpty()) return nullptr;
    return converted;
}

std::unique_ptr<CBitmapInterface> DecodeImage(CDataBin* data, ImageFileFormat format, std::string* error) {
    std::unique_ptr<CImageCodec> codec = CreateImageCodec(format);
    if (!codec) {
        if (error) *error = "Unable to load image file: unknown format";
        return nullptr;
    }
    // Codecs that can decode straight into 32 bits do so; the rest are converted below.
    codec->PreferRgba8888(true);
    std::unique_ptr<CBitmapInterface> decoded = codec->Load(data);
    if (!decoded) {
        if (error) *error = codec->GetErrorText();
        return nullptr;
    }
    std::unique_ptr<CBitmapInterface> result = ConvertToRgba8888(std::move(decoded));
    if (!result && error) *error = "Unable to convert image to 32bit RGBA";
    return result;
}

std::unique_ptr<CBitmapInterface> LoadImageFile(const std::string& path, std::string* error) {
    CFile file(path.c_str(), "rb");
    if (!file.IsOpen()) {
        if (error) *error = "Unable to find image file [" + path + "]";
        return nullptr;
    }
    const ImageFileFormat format = ImageFormatFromName(path);
    if (format == ImageFileFormat::Unknown) {
        if (error) *error = std::string("Unable to load image file: ") + kUnknownImageNameText;
        return nullptr;
    }
    return DecodeImage(&file, format, error);
}

bool EncodeImage(const CBitmapInterface& bitmap, ImageFileFormat format, CDataBin* destination, std::string* error) {
    std::unique_ptr<CImageCodec> codec = CreateImageCodec(format);
    if (!codec) {
        if (error) *error = "Unknown image format";
        return false;
    }
    if (codec->Save(&bitmap, destination)) return true;
    if (error) *error = codec->GetErrorText();
    return false;
}

bool SaveImageFile(const std::string& path, const CBitmapInterface& bitmap, std::string* error) {
    const ImageFileFormat format = ImageFormatFromName(path);
    if (!CreateImageCodec(format)) {
        if (error) *error = "Unknown image format";
        return false;
    }
    CFile file(path.c_str(), "wb");
    if (!file.IsOpen()) {
        if (error) *error = CImageCodec::GeneralErrorText(kCodecWriteError);
        return false;
    }
    return EncodeImage(bitmap, format, &file, error);
}

}  // namespace ove
