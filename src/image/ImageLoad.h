// Loading and saving image files the way the engine does: the codec is chosen by the file-name
// extension, and loaded pictures end up as 32-bit Rgba8888 bitmaps.
#pragma once
#include <memory>
#include <string>

#include "image/Bitmap.h"
#include "image/ImageCodec.h"
#include "io/DataBin.h"

namespace ove {

// The Image API's format numbers (FORMAT_BMP ...).
enum class ImageFileFormat : i32 {
    Unknown = 0,
    BMP = 1,
    JPEG = 2,
    PNG = 3,
    QOI = 4,
};

// Format by the text after the last '.' of the name, without regard to case: "bmp", "png", "jpg",
// "jpeg", "qoi". Unknown for anything else or no '.'.
ImageFileFormat ImageFormatFromName(const std::string& name);
// "BMP", "JPEG", "PNG", "QOI", or "unknown", for messages.
const char* ImageFormatName(ImageFileFormat format);
// Why a file name selects no codec, for messages.
inline constexpr const char* kUnknownImageNameText =
    "unknown format (the name does not end in .bmp, .png, .jpg, .jpeg or .qoi)";
// Format by the first bytes of a file ("BM", the PNG signature, a JPEG start-of-image marker,
// "qoif"); Unknown for anything else. For tools handed files whose names say nothing.
ImageFileFormat ImageFormatFromData(const u8* data, std::size_t size);
// A new codec for the format; null for Unknown (and for PNG when no PNG codec is built in).
std::unique_ptr<CImageCodec> CreateImageCodec(ImageFileFormat format);

// Turns a decoded picture into Rgba8888: an Rgba8888 picture is returned as it is, anything else is
// converted into a new 32-bit CBitmap (transparent index and opacity rules of CBitmap's converting
// constructor). Null when the conversion fails.
std::unique_ptr<CBitmapInterface> ConvertToRgba8888(std::unique_ptr<CBitmapInterface> bitmap);

// Decodes the data with the format's codec and converts to Rgba8888. On failure returns null and
// sets *error (if given) to the codec's message, or "Unable to load image file: unknown format" /
// "Unable to convert image to 32bit RGBA".
std::unique_ptr<CBitmapInterface> DecodeImage(CDataBin* data, ImageFileFormat format, std::string* error);
// Opens the file on disk and decodes it by its extension, as above. A missing file gives
// "Unable to find image file [<path>]", a name of no known format "Unable to load image file: "
// and kUnknownImageNameText.
std::unique_ptr<CBitmapInterface> LoadImageFile(const std::string& path, std::string* error);

// Encodes the bitmap with the format's codec into the destination; on failure false and the codec's
// message (or "Unknown image format") in *error.
bool EncodeImage(const CBitmapInterface& bitmap, ImageFileFormat format, CDataBin* destination, std::string* error);
// Creates the file and encodes by its extension (.bmp writes the bitmap's own depth, 32-bit for
// script images; .jpg/.jpeg 24-bit or grey; .qoi).
bool SaveImageFile(const std::string& path, const CBitmapInterface& bitmap, std::string* error);

}  // namespace ove
