#include "JSImage.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "JSColour.h"
#include "bindings/Bindings.h"
#include "image/Bitmap.h"
#include "image/ImageDraw.h"
#include "image/ImageLoad.h"
#include "io/DataBin.h"
#include "io/FileAccess.h"
#include "io/FileFolder.h"
#include "render/Renderer.h"
#include "script/Binding.h"

namespace ove {

namespace {

constexpr const char* kClass = "Image";

// Every image the scripts hold. The module's clean-up deletes what is left, and a finalizer that
// runs after that (when the heap goes) finds nothing to delete.
// Keyed by the pointer the bindings hold, so that a finalizer running after the clean-up can tell
// a deleted image without touching it.
std::unordered_map<void*, CBitmapProxy*>& LiveImages() {
    static std::unordered_map<void*, CBitmapProxy*> images;
    return images;
}

// Bindings hold the base pointer, so that other APIs (View.NewCel) can read any Image as a bitmap.
void* AsNative(CBitmapProxy* image) { return static_cast<CBitmapInterface*>(image); }
CBitmapProxy* FromNative(void* native) { return static_cast<CBitmapProxy*>(static_cast<CBitmapInterface*>(native)); }

CBitmapProxy* ThisImage(duk_context* ctx) { return FromNative(ThisNative(ctx, kClass)); }
CBitmapProxy* ArgImage(duk_context* ctx, duk_idx_t index) { return FromNative(RequireNative(ctx, index, kClass)); }

uint32_t ArgImageColour(duk_context* ctx, duk_idx_t index) {
    if (!IsColour(ctx, index)) return duk_error(ctx, DUK_ERR_TYPE_ERROR, "Colour expected");
    return ColourFromScript(ctx, index);
}

// The renderer image layers go to: the game's, or the one with a device.
CRenderer* LayerRenderer(duk_context* ctx) {
    IEngineServices* game = Engine(ctx);
    if (game && game->Renderer()) return game->Renderer();
    return GetRenderer();
}

// Takes the image out of every layer queue it may be in and deletes it (once).
void ReleaseNative(duk_context* ctx, void* native) {
    auto it = LiveImages().find(native);
    if (it == LiveImages().end()) return;
    CBitmapProxy* image = it->second;
    LiveImages().erase(it);
    IEngineServices* game = Engine(ctx);
    if (game && game->Renderer()) game->Renderer()->RemoveOverlay(image);
    CRenderer* active = GetRenderer();
    if (active && (!game || active != game->Renderer())) active->RemoveOverlay(image);
    delete image;
}

// A new image owning the bitmap, counted as alive. Null when memory runs out.
CBitmapProxy* Adopt(std::unique_ptr<CBitmapInterface> bitmap) noexcept {
    try {
        auto image = std::make_unique<CBitmapProxy>(std::move(bitmap));
        LiveImages().emplace(AsNative(image.get()), image.get());
        return image.release();
    } catch (...) {
        return nullptr;
    }
}

enum EFailure { kFailNone, kFailNoObject, kFailNoMemory, kFailNotFound, kFailNotLoaded, kFailNotConverted };

CBitmapProxy* MakeBlank(int32_t width, int32_t height, EFailure& failure) noexcept {
    if (width <= 0 || height <= 0) {
        failure = kFailNoMemory;
        return nullptr;
    }
    try {
        auto bitmap = std::make_unique<CBitmapBuffer>(uint32_t(width), uint32_t(height), PixelFormat::Rgba8888);
        if (bitmap->IsEmpty()) {
            failure = kFailNoMemory;
            return nullptr;
        }
        CBitmapProxy* image = Adopt(std::move(bitmap));
        if (!image) failure = kFailNoObject;
        return image;
    } catch (...) {
        failure = kFailNoObject;
        return nullptr;
    }
}

// The host's file open: loose files on disk first, then the game's sources.
CDataBin* OpenForLoad(duk_context* ctx, const char* name) {
    IEngineServices* game = Engine(ctx);
    if (game && game->Folder()) return game->Folder()->Open(name);
    return OpenLocalFile(name);
}

// Scripts only see "Unable to load image file"; this line says which file and why.
void WarnNotLoaded(const char* name, const char* why) noexcept {
    std::fprintf(stderr, "ove: warning: %s: unable to load image file: %s\n", name, why);
    std::fflush(stderr);
}

CBitmapProxy* MakeFromFile(duk_context* ctx, const char* name, EFailure& failure) noexcept {
    char why[256] = "";
    try {
        std::unique_ptr<CBitmapInterface> decoded;
        {
            std::unique_ptr<CDataBin> file(OpenForLoad(ctx, name));
            if (!file) {
                failure = kFailNotFound;
                return nullptr;
            }
            // Another extension, or none, loads nothing.
            const ImageFileFormat format = ImageFormatFromName(name);
            std::unique_ptr<CImageCodec> codec = CreateImageCodec(format);
            if (!codec) std::snprintf(why, sizeof why, "%s", kUnknownImageNameText);
            else if (file->GetSize() == 0) std::snprintf(why, sizeof why, "the file is empty");
            else if (!(decoded = codec->Load(file.get())))
                std::snprintf(why, sizeof why, "damaged or not a %s picture (%s)", ImageFormatName(format),
                              codec->GetErrorText());
            else if (decoded->IsEmpty()) std::snprintf(why, sizeof why, "the picture has no pixels");
        }
        if (!decoded || decoded->IsEmpty()) {
            WarnNotLoaded(name, why);
            failure = kFailNotLoaded;
            return nullptr;
        }
        std::unique_ptr<CBitmapInterface> picture = ConvertToRgba8888(std::move(decoded));
        if (!picture) {
            failure = kFailNotConverted;
            return nullptr;
        }
        CBitmapProxy* image = Adopt(std::move(picture));
        if (!image) failure = kFailNoObject;
        return image;
    } catch (...) {
        DescribeCurrentException(why, sizeof why);
        WarnNotLoaded(name, why);
        failure = kFailNotLoaded;
        return nullptr;
    }
}

duk_ret_t RaiseFailure(duk_context* ctx, EFailure failure, const char* name) {
    switch (failure) {
    case kFailNoObject: return duk_error(ctx, DUK_ERR_REFERENCE_ERROR, "Couldn't allocate object for image");
    case kFailNoMemory: return duk_error(ctx, DUK_ERR_ERROR, "Couldn't allocate memory buffer for image");
    case kFailNotFound: return duk_error(ctx, DUK_ERR_ERROR, "Unable to find image file [%s]", name ? name : "");
    case kFailNotLoaded: return duk_error(ctx, DUK_ERR_ERROR, "Unable to load image file");
    case kFailNotConverted: return duk_error(ctx, DUK_ERR_ERROR, "Unable to convert image to 32bit RGBA");
    default: RaiseCallError(ctx, DUK_ERR_ERROR, "failed for no known reason");
    }
}

duk_ret_t Constructor(duk_context* ctx) {
    RequireConstructorCall(ctx);
    const duk_idx_t count = duk_get_top(ctx);
    EFailure failure = kFailNone;
    CBitmapProxy* image = nullptr;
    const char* name = nullptr;
    if (count == 2) {
        const int32_t width = ArgInt(ctx, 0, "width");
        const int32_t height = ArgInt(ctx, 1, "height");
        image = MakeBlank(width, height, failure);
    } else if (count == 1) {
        name = ArgString(ctx, 0, "file name");
        image = MakeFromFile(ctx, name, failure);
    } else {
        RaiseCallError(ctx, DUK_ERR_SYNTAX_ERROR, "takes a file name, or a width and a height, not %d arguments",
                       static_cast<int>(count));
    }
    if (!image) return RaiseFailure(ctx, failure, name);
    BindThis(ctx, AsNative(image), kClass);
    return 0;
}

void DestroyNative(duk_context* ctx, void* native) { ReleaseNative(ctx, native); }

// A dropped Image goes the way DestroyImage would send it.
duk_ret_t Finalize(duk_context* ctx) {
    void* native = GetNativeIf(ctx, 0, kClass);
    if (native) {
        SetNativePointer(ctx, 0, nullptr);
        ReleaseNative(ctx, native);
    }
    return 0;
}

// ---------------------------------------------------------------- global functions

// The capture as a new image, or null when the game has nothing to capture with. The renderer's
// exceptions pass through.
CBitmapProxy* Capture(duk_context* ctx, int32_t width, int32_t height) {
    IEngineServices* game = Engine(ctx);
    if (!game) return nullptr;
    std::unique_ptr<CBitmap> shot = game->RenderToImage(width, height);
    if (!shot || shot->IsEmpty()) return nullptr;
    std::unique_ptr<CBitmapInterface> bitmap;
    if (shot->Format() == PixelFormat::Rgba8888 && shot->Width() == uint32_t(width) &&
        shot->Height() == uint32_t(height)) {
        bitmap = std::move(shot);
    } else {
        auto copy = std::make_unique<CBitmapBuffer>(uint32_t(width), uint32_t(height), PixelFormat::Rgba8888);
        if (copy->IsEmpty() || !copy->CopyFrom(*shot))
            throw std::runtime_error("Couldn't allocate memory buffer for image");
        bitmap = std::move(copy);
    }
    CBitmapProxy* image = Adopt(std::move(bitmap));
    if (!image) throw std::runtime_error("Couldn't allocate object for image");
    return image;
}

duk_ret_t RenderToImageFn(duk_context* ctx) {
    const int32_t width = ArgInt(ctx, 0);
    const int32_t height = ArgInt(ctx, 1);
    CBitmapProxy* image = Capture(ctx, width, height);
    if (!image) return 0;
    PushNewInstance(ctx, kClass, AsNative(image));
    return 1;
}

// Decodes with the format's codec from the first byte. The picture gets the same 32-bit
// conversion as a loaded file, so that palette and grey pictures come out opaque. On failure,
// null and the reason in `why`.
CBitmapProxy* Decode(int32_t format, const void* data, duk_size_t size, char* why, std::size_t whySize) noexcept {
    const char* name = ImageFormatName(static_cast<ImageFileFormat>(format));
    try {
        std::unique_ptr<CBitmapInterface> decoded;
        {
            CBuffer buffer(data, uint32_t(size));
            buffer.Seek(0);
            std::unique_ptr<CImageCodec> codec = CreateImageCodec(static_cast<ImageFileFormat>(format));
            if (!codec) {
                std::snprintf(why, whySize, "no %s codec is built in", name);
                return nullptr;
            }
            decoded = codec->Load(&buffer);
            if (!decoded) {
                std::snprintf(why, whySize, "the data is not a %s picture that can be read (%s)", name,
                              codec->GetErrorText());
                return nullptr;
            }
        }
        std::unique_ptr<CBitmapInterface> picture = ConvertToRgba8888(std::move(decoded));
        if (!picture) {
            std::snprintf(why, whySize, "the %s picture has no pixels or cannot be made 32-bit", name);
            return nullptr;
        }
        CBitmapProxy* image = Adopt(std::move(picture));
        if (!image) std::snprintf(why, whySize, "out of memory");
        return image;
    } catch (...) {
        DescribeCurrentException(why, whySize);
        return nullptr;
    }
}

bool ValidFormat(int32_t format) { return format >= 1 && format <= 4; }

duk_ret_t DecodeImageFn(duk_context* ctx) {
    const int32_t format = ArgInt(ctx, 0, "format");
    duk_size_t size = 0;
    const void* data = nullptr;
    if (duk_is_string(ctx, 1)) data = duk_get_lstring(ctx, 1, &size);
    else if (duk_is_buffer_data(ctx, 1)) data = duk_get_buffer_data(ctx, 1, &size);
    else if (!duk_is_null_or_undefined(ctx, 1))
        RaiseArgError(ctx, DUK_ERR_TYPE_ERROR, 1, "data", "a string or a buffer");
    if (!ValidFormat(format))
        RaiseCallError(ctx, DUK_ERR_RANGE_ERROR, "format %d is not one of the FORMAT_ constants",
                       static_cast<int>(format));
    if (size == 0 || size > 0xFFFFFFFFu) RaiseCallError(ctx, DUK_ERR_RANGE_ERROR, "there is no data to decode");
    char why[256] = "";
    CBitmapProxy* image = Decode(format, data, size, why, sizeof why);
    if (!image) RaiseCallError(ctx, DUK_ERR_ERROR, "%s", why);
    PushNewInstance(ctx, kClass, AsNative(image));
    return 1;
}

struct SBytes {
    const std::vector<u8>* bytes;
};

duk_ret_t PushBytes(duk_context* ctx, void* udata) {
    const std::vector<u8>& bytes = *static_cast<SBytes*>(udata)->bytes;
    duk_push_lstring(ctx, reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return 1;
}

// Pushes the encoded bytes as a binary string (empty or partial when the codec fails), or the
// error of the push itself; true when the string was pushed.
bool PushEncoded(duk_context* ctx, int32_t format, const CBitmapProxy& image) {
    std::vector<u8> bytes;
    try {
        CBuffer buffer;
        std::unique_ptr<CImageCodec> codec = CreateImageCodec(static_cast<ImageFileFormat>(format));
        if (codec) codec->Save(&image, &buffer);
        bytes.swap(buffer.Bytes());
    } catch (...) {
        bytes.clear();
    }
    SBytes udata{&bytes};
    return duk_safe_call(ctx, PushBytes, &udata, 0, 1) == DUK_EXEC_SUCCESS;
}

duk_ret_t EncodeImageFn(duk_context* ctx) {
    const int32_t format = ArgInt(ctx, 0, "format");
    if (!ValidFormat(format))
        RaiseCallError(ctx, DUK_ERR_RANGE_ERROR, "format %d is not one of the FORMAT_ constants",
                       static_cast<int>(format));
    CBitmapProxy* image = ArgImage(ctx, 1);
    if (!PushEncoded(ctx, format, *image)) return duk_throw(ctx);
    return 1;
}

// Writes the file on the local disk. False only when no codec fits the name; codec failures
// leave whatever was written.
bool SaveToFile(const char* name, const CBitmapProxy& image) noexcept {
    try {
        const ImageFileFormat format = ImageFormatFromName(name);
        std::unique_ptr<CImageCodec> codec = CreateImageCodec(format);
        if (!codec) return false;
        std::string path(name);
        for (char& ch : path)
            if (ch == '\\') ch = '/';
        // Refused: nothing is written, as when the file cannot be created.
        if (!FileAccess().Check("SaveImage", path, CFileAccess::Mode::kWrite)) return true;
        CFile file(path.c_str(), "wb");
        if (file.IsOpen()) codec->Save(&image, &file);
        return true;
    } catch (...) {
        return true;
    }
}

duk_ret_t SaveImageFn(duk_context* ctx) {
    const char* name = ArgString(ctx, 0);
    duk_size_t length = 0;
    duk_get_lstring(ctx, 0, &length);
    CBitmapProxy* image = ArgImage(ctx, 1);
    // A name with a NUL inside would pass one name to the extension test and another to the disk.
    if (std::strlen(name) != length) RaiseArgError(ctx, DUK_ERR_ERROR, 0, "file name", "a name without NUL bytes");
    if (!SaveToFile(name, *image))
        RaiseCallError(ctx, DUK_ERR_ERROR, "cannot save \"%s\": %s", name, kUnknownImageNameText);
    return 0;
}

duk_ret_t RegisterImageLayer(duk_context* ctx) {
    CBitmapProxy* image = ArgImage(ctx, 0);
    if (CRenderer* renderer = LayerRenderer(ctx)) renderer->AddOverlay(image);
    return 0;
}

duk_ret_t UnregisterImageLayer(duk_context* ctx) {
    CBitmapProxy* image = ArgImage(ctx, 0);
    if (CRenderer* renderer = LayerRenderer(ctx)) renderer->RemoveOverlay(image);
    return 0;
}

// ---------------------------------------------------------------- methods and properties

duk_ret_t Clear(duk_context* ctx) {
    CBitmapProxy* image = ThisImage(ctx);
    const uint32_t colour = ArgImageColour(ctx, 0);
    ImageClear(*image, colour);
    image->needsUpload = true;
    return 0;
}

duk_ret_t FillRect(duk_context* ctx) {
    CBitmapProxy* image = ThisImage(ctx);
    const int32_t x = ArgInt(ctx, 0), y = ArgInt(ctx, 1), w = ArgInt(ctx, 2), h = ArgInt(ctx, 3);
    const uint32_t colour = ArgImageColour(ctx, 4);
    if (ImageFillRect(*image, x, y, w, h, colour)) image->needsUpload = true;
    return 0;
}

duk_ret_t DrawRect(duk_context* ctx) {
    CBitmapProxy* image = ThisImage(ctx);
    const int32_t x1 = ArgInt(ctx, 0), y1 = ArgInt(ctx, 1), x2 = ArgInt(ctx, 2), y2 = ArgInt(ctx, 3);
    const uint32_t colour = ArgImageColour(ctx, 4);
    if (ImageDrawRect(*image, x1, y1, x2, y2, colour)) image->needsUpload = true;
    return 0;
}

duk_ret_t GetPixel(duk_context* ctx) {
    CBitmapProxy* image = ThisImage(ctx);
    const int32_t x = ArgInt(ctx, 0), y = ArgInt(ctx, 1);
    ColourToScript(ctx, ImageGetPixel(*image, x, y));
    return 1;
}

duk_ret_t SetPixel(duk_context* ctx) {
    CBitmapProxy* image = ThisImage(ctx);
    const int32_t x = ArgInt(ctx, 0), y = ArgInt(ctx, 1);
    const uint32_t colour = ArgImageColour(ctx, 2);
    if (ImageSetPixel(*image, x, y, colour)) image->needsUpload = true;
    return 0;
}

duk_ret_t GetWidth(duk_context* ctx) {
    duk_push_uint(ctx, ThisImage(ctx)->Width());
    return 1;
}

duk_ret_t GetHeight(duk_context* ctx) {
    duk_push_uint(ctx, ThisImage(ctx)->Height());
    return 1;
}

duk_ret_t GetPriority(duk_context* ctx) {
    duk_push_uint(ctx, ThisImage(ctx)->level);
    return 1;
}

duk_ret_t SetPriority(duk_context* ctx) {
    CBitmapProxy* image = ThisImage(ctx);
    image->level = static_cast<uint32_t>(ArgInt(ctx, 0));
    return 0;
}

const duk_function_list_entry kMethods[] = {
    {"Clear", Clear, 1},       {"FillRect", FillRect, 5}, {"DrawRect", DrawRect, 5},
    {"GetPixel", GetPixel, 2}, {"SetPixel", SetPixel, 3}, {nullptr, nullptr, 0},
};

const SAccessor kAccessors[] = {
    {"width", GetWidth, nullptr},
    {"height", GetHeight, nullptr},
    {"priority", GetPriority, SetPriority},
    {nullptr, nullptr, nullptr},
};

}  // namespace

CBitmapProxy* ImageFromScriptValue(duk_context* ctx, duk_idx_t index) {
    void* native = GetNativeIf(ctx, index, kClass);
    return native ? FromNative(native) : nullptr;
}

bool StartImageAPI(duk_context* ctx) {
    GetBlendTable();
    RegisterClass(ctx, SClassDef{kClass, nullptr, Constructor, DUK_VARARGS, kMethods, kAccessors});
    PushPrototype(ctx, kClass);
    duk_push_c_function(ctx, Finalize, 1);
    duk_set_finalizer(ctx, -2);
    duk_pop(ctx);
    RegisterCreateFunction(ctx, "CreateImage", kClass, 2);
    RegisterCreateFunction(ctx, "LoadImage", kClass, 1);
    RegisterDestroyFunction(ctx, "DestroyImage", kClass, DestroyNative);
    RegisterFunction(ctx, "RenderToImage", Guarded<RenderToImageFn>, 2);
    RegisterFunction(ctx, "DecodeImage", DecodeImageFn, 2);
    RegisterFunction(ctx, "EncodeImage", EncodeImageFn, 2);
    RegisterFunction(ctx, "SaveImage", SaveImageFn, 2);
    RegisterFunction(ctx, "RegisterImageLayer", RegisterImageLayer, 1);
    RegisterFunction(ctx, "UnregisterImageLayer", UnregisterImageLayer, 1);
    DefineGlobalNumber(ctx, "FORMAT_BMP", 1);
    DefineGlobalNumber(ctx, "FORMAT_JPEG", 2);
    DefineGlobalNumber(ctx, "FORMAT_PNG", 3);
    DefineGlobalNumber(ctx, "FORMAT_QOI", 4);
    return true;
}

void StopImageAPI(duk_context* ctx) {
    // Images the scripts still hold die with the heap; take them out of the renderer now.
    std::unordered_map<void*, CBitmapProxy*> images;
    images.swap(LiveImages());
    IEngineServices* game = Engine(ctx);
    CRenderer* active = GetRenderer();
    for (auto [native, image] : images) {
        if (game && game->Renderer()) game->Renderer()->RemoveOverlay(image);
        if (active) active->RemoveOverlay(image);
        delete image;
    }
}

}  // namespace ove
