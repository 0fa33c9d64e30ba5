#include "JSFile.h"

#include <filesystem>
#include <memory>
#include <unordered_map>

#include "data/SafeFile.h"
#include "data/TaggedValues.h"
#include "data/ZIPCipher.h"
#include "io/FileAccess.h"
#include "io/FileFolder.h"
#include "script/Binding.h"

namespace ove {

namespace {

namespace fs = std::filesystem;

constexpr const char* kReader = "FileReader";
constexpr const char* kWriter = "FileWriter";
constexpr u8 kWriterCheckByte = 0xFF;

// Every open stream, owned here: the script objects only point at them. Dropping an entry closes
// the stream, and a writer's file is committed then. Static destruction commits whatever the
// engine left open when the process ends without stopping the host.
std::unordered_map<CDataBin*, std::unique_ptr<CDataBin>> g_open;

// Scratch for a value on its way into the engine. Not frame locals, so a raising push cannot
// skip a destructor.
std::string g_text;

std::string Slashes(std::string path) {
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

CDataBin* OpenReader(const char* path, const char* password) {
    std::string onDisk = FindOnDisk(path);
    if (onDisk.empty()) onDisk = Slashes(path);
    if (!FileAccess().Check("FileReader", onDisk, CFileAccess::Mode::kRead)) return nullptr;
    auto file = std::make_unique<CFile>(onDisk.c_str(), "rb");
    if (!file->CanRead()) return nullptr;
    std::unique_ptr<CDataBin> bin = std::move(file);
    if (password) bin = std::make_unique<CZIPDecrypt>(bin.release(), password);
    CDataBin* raw = bin.get();
    g_open.emplace(raw, std::move(bin));
    return raw;
}

CDataBin* OpenWriter(const char* path, const char* password) {
    std::string target = WriterTarget(path);
    if (target.empty()) return nullptr;
    auto file = std::make_unique<CSafeFile>(target);
    if (!file->CanWrite()) return nullptr;
    std::unique_ptr<CDataBin> bin = std::move(file);
    if (password) bin = std::make_unique<CZIPEncrypt>(bin.release(), password, kWriterCheckByte);
    CDataBin* raw = bin.get();
    g_open.emplace(raw, std::move(bin));
    return raw;
}

void Release(CDataBin* bin) { g_open.erase(bin); }

// `new FileReader(path [, password])` and `new FileWriter(path [, password])`.
template <bool kWriting>
duk_ret_t Constructor(duk_context* ctx) {
    RequireConstructorCall(ctx);
    const char* path = ArgString(ctx, 0);
    const char* password = nullptr;
    if (duk_get_top(ctx) > 1 && !duk_is_null_or_undefined(ctx, 1)) password = duk_to_string(ctx, 1);
    CDataBin* bin = kWriting ? OpenWriter(path, password) : OpenReader(path, password);
    // A file that did not open leaves the object without a stream (`valid` false).
    SetNativePointer(ctx, kThisIndex, bin, kWriting ? kWriter : kReader);
    return 0;
}

template <bool kWriting>
duk_ret_t Finalizer(duk_context* ctx) {
    // Also runs for the prototype itself and for unbound objects, which own nothing.
    if (auto* bin = static_cast<CDataBin*>(GetNativeIf(ctx, 0, kWriting ? kWriter : kReader))) Release(bin);
    return 0;
}

template <bool kWriting>
duk_ret_t Valid(duk_context* ctx) {
    duk_push_boolean(ctx, GetNativeIf(ctx, kThisIndex, kWriting ? kWriter : kReader) != nullptr);
    return 1;
}

// Closing twice, or closing a file that never opened, does nothing.
template <bool kWriting>
duk_ret_t Close(duk_context* ctx) {
    const char* name = kWriting ? kWriter : kReader;
    auto* bin = static_cast<CDataBin*>(GetNativeIf(ctx, kThisIndex, name));
    if (!bin) return 0;
    SetNativePointer(ctx, kThisIndex, nullptr, name);
    Release(bin);
    return 0;
}

// ---------------------------------------------------------------- FileReader

duk_ret_t ReaderSize(duk_context* ctx) {
    duk_push_number(ctx, This<CDataBin>(ctx, kReader)->GetSize());
    return 1;
}

duk_ret_t ReaderGetPos(duk_context* ctx) {
    duk_push_number(ctx, This<CDataBin>(ctx, kReader)->Tell());
    return 1;
}

duk_ret_t ReaderSetPos(duk_context* ctx) {
    const u32 position = ArgUnsigned(ctx, 0);
    This<CDataBin>(ctx, kReader)->Seek(position);
    return 0;
}

// Reads one value into g_text (strings in the engine's form); returns its tag, or 0 when the
// result is undefined.
int ReadValue(CDataBin& bin, double& number) {
    STaggedValue value;
    if (ReadTaggedValue(bin, value) != ETaggedRead::kOk) return 0;
    switch (value.tag) {
    case ETag::kInt: number = value.integer; break;
    case ETag::kDouble: number = value.number; break;
    case ETag::kString: UnitsToEngineString(value.units.data(), value.units.size(), g_text); break;
    case ETag::kBinary: g_text.swap(value.bytes); break;
    default: break;
    }
    return static_cast<int>(value.tag);
}

duk_ret_t Read(duk_context* ctx) {
    auto* bin = This<CDataBin>(ctx, kReader);
    double number = 0;
    const int tag = ReadValue(*bin, number);
    switch (tag) {
    case 'I':
    case 'D': duk_push_number(ctx, number); break;
    case 'S':
    case 'B': duk_push_lstring(ctx, g_text.data(), g_text.size()); break;
    case 'N': duk_push_null(ctx); break;
    default: duk_push_undefined(ctx); break;
    }
    g_text.clear();
    g_text.shrink_to_fit();
    return 1;
}

duk_ret_t ReadRaw(duk_context* ctx) {
    u32 count = ArgUnsigned(ctx, 0);
    auto* bin = This<CDataBin>(ctx, kReader);
    // Never more than the stream holds, whatever the count.
    const u32 size = bin->GetSize(), pos = bin->Tell();
    if (count > (size > pos ? size - pos : 0)) count = size > pos ? size - pos : 0;
    void* buffer = duk_push_fixed_buffer(ctx, count);
    const u32 got = count ? bin->Read(buffer, count) : 0;
    duk_push_lstring(ctx, static_cast<const char*>(buffer), got);
    duk_remove(ctx, -2);
    return 1;
}

// ---------------------------------------------------------------- FileWriter

enum class EWrite { kDone, kSkipped, kStreamFailed, kBadString };

// Writes the argument at `index` in the tagged format (or nothing for types the format lacks).
EWrite WriteValue(duk_context* ctx, CDataBin& bin, duk_idx_t index, bool binaryStrings) {
    bool ok = true;
    switch (duk_get_type(ctx, index)) {
    case DUK_TYPE_NUMBER: {
        const double v = duk_get_number(ctx, index);
        ok = IsTaggedInt(v) ? WriteTaggedInt(bin, static_cast<i32>(v)) : WriteTaggedDouble(bin, v);
        break;
    }
    case DUK_TYPE_STRING: {
        duk_size_t length = 0;
        const char* text = duk_get_lstring(ctx, index, &length);
        if (length > 0xFFFFFFFFu) return EWrite::kStreamFailed;
        if (binaryStrings) {
            ok = WriteTaggedBinary(bin, text, static_cast<u32>(length));
        } else {
            std::vector<u16> units;
            if (!EngineStringToUnits(text, length, units)) return EWrite::kBadString;
            ok = WriteTaggedString(bin, units.data(), static_cast<u32>(units.size()));
        }
        break;
    }
    case DUK_TYPE_NULL: ok = WriteTaggedNull(bin); break;
    case DUK_TYPE_UNDEFINED: ok = WriteTaggedUndefined(bin); break;
    default: return EWrite::kSkipped;  // booleans, objects, functions, buffers, pointers
    }
    return ok ? EWrite::kDone : EWrite::kStreamFailed;
}

template <bool kBinary>
duk_ret_t WriteValues(duk_context* ctx) {
    const duk_idx_t count = duk_get_top(ctx);
    auto* bin = This<CDataBin>(ctx, kWriter);
    if (!bin->CanWrite()) RaiseCallError(ctx, DUK_ERR_ERROR, "the file is not open for writing");
    for (duk_idx_t i = 0; i < count; ++i) {
        switch (WriteValue(ctx, *bin, i, kBinary)) {
        case EWrite::kDone:
        case EWrite::kSkipped: break;
        case EWrite::kStreamFailed: RaiseCallError(ctx, DUK_ERR_ERROR, "write failed");
        case EWrite::kBadString:
            RaiseCallError(ctx, DUK_ERR_RANGE_ERROR, "argument %d is not a valid string", int(i) + 1);
        }
    }
    return 0;
}

duk_ret_t WriteRaw(duk_context* ctx) {
    const duk_idx_t count = duk_get_top(ctx);
    auto* bin = This<CDataBin>(ctx, kWriter);
    if (!bin->CanWrite()) RaiseCallError(ctx, DUK_ERR_ERROR, "the file is not open for writing");
    double total = 0;
    for (duk_idx_t i = 0; i < count; ++i) {
        duk_size_t length = 0;
        const char* bytes = duk_to_lstring(ctx, i, &length);  // may run script toString
        if (length == 0) continue;
        if (length > 0xFFFFFFFFu)
            RaiseCallError(ctx, DUK_ERR_RANGE_ERROR, "argument %d is too long to write", int(i) + 1);
        const u32 written = bin->Write(bytes, static_cast<u32>(length));
        total += written;
        if (written < length) RaiseCallError(ctx, DUK_ERR_ERROR, "write failed");
    }
    duk_push_number(ctx, total);
    return 1;
}

const duk_function_list_entry kReaderMethods[] = {
    {"Read", Guarded<Read>, 0},
    {"ReadRaw", ReadRaw, 1},
    {"Close", Close<false>, 0},
    {nullptr, nullptr, 0},
};

const SAccessor kReaderAccessors[] = {
    {"valid", Valid<false>, nullptr},
    {"size", ReaderSize, nullptr},
    {"pos", ReaderGetPos, ReaderSetPos},
    {nullptr, nullptr, nullptr},
};

const duk_function_list_entry kWriterMethods[] = {
    {"Write", Guarded<WriteValues<false>>, DUK_VARARGS},
    {"WriteBinary", Guarded<WriteValues<true>>, DUK_VARARGS},
    {"WriteRaw", WriteRaw, DUK_VARARGS},
    {"Close", Close<true>, 0},
    {nullptr, nullptr, 0},
};

const SAccessor kWriterAccessors[] = {
    {"valid", Valid<true>, nullptr},
    {nullptr, nullptr, nullptr},
};

void SetFinalizer(duk_context* ctx, const char* className, duk_c_function finalizer) {
    PushPrototype(ctx, className);
    duk_push_c_function(ctx, finalizer, 1);
    duk_set_finalizer(ctx, -2);
    duk_pop(ctx);
}

}  // namespace

std::string WriterTarget(const std::string& raw) {
    if (raw.empty()) return {};
    std::string path = Slashes(raw);
    std::string onDisk = FindOnDisk(path);
    if (onDisk.empty()) {
        // A new file: find its folder without regard to case, keep the name as given.
        const std::size_t slash = path.find_last_of('/');
        if (slash != std::string::npos && slash > 0) {
            std::string folder = FindOnDisk(path.substr(0, slash));
            if (!folder.empty()) onDisk = folder + path.substr(slash);
        }
        if (onDisk.empty()) onDisk = path;
    }
    if (!FileAccess().Check("FileWriter", onDisk, CFileAccess::Mode::kWrite)) return {};
    // The file the commit replaces: links resolved, so that a link is never swapped for a file.
    return ResolveHostPath(onDisk);
}

std::size_t OpenFileStreams() { return g_open.size(); }

bool StartFileAPI(duk_context* ctx) {
    RegisterClass(
        ctx, SClassDef{kReader, nullptr, Guarded<Constructor<false>>, DUK_VARARGS, kReaderMethods, kReaderAccessors});
    SetFinalizer(ctx, kReader, Finalizer<false>);
    RegisterClass(
        ctx, SClassDef{kWriter, nullptr, Guarded<Constructor<true>>, DUK_VARARGS, kWriterMethods, kWriterAccessors});
    SetFinalizer(ctx, kWriter, Finalizer<true>);
    return true;
}

void StopFileAPI(duk_context*) { g_open.clear(); }

}  // namespace ove
