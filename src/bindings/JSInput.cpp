#include "JSInput.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bindings/Bindings.h"
#include "io/FileFolder.h"
#include "io/HostFiles.h"
#include "platform/CodePage.h"
#include "platform/Events.h"
#include "platform/GameControllers.h"
#include "platform/Joystick.h"
#include "platform/Keys.h"
#include "platform/NativeWindow.h"
#include "resources/ResourceCache.h"
#include "script/Binding.h"
#include "script/ScriptHost.h"
#include "win/GameWindow.h"

namespace ove {

namespace {

struct SFunction {
    const char* name;
    duk_c_function function;
    duk_idx_t args;
};

struct SConstant {
    const char* name;
    int32_t value;
};

// ---------------------------------------------------------------- keyboard

// ReadKey pumps messages, and a handler reached from there (a GUI onKey, onMouseEvent) may leave
// a fatal error behind: it ends the script's Run() once we are back here.
duk_ret_t ReadKey(duk_context* ctx) {
    int32_t code = 0;
    if (IEngineServices* game = Engine(ctx)) code = game->ReadKey();
    RaisePendingFatal(ctx);
    duk_push_int(ctx, code);
    return 1;
}

// The key may reach a GUI element's onKey handler, whose error must end the run as it would
// from ReadKey.
duk_ret_t PostKey(duk_context* ctx) {
    int32_t code = ArgInt(ctx, 0, "code");
    if (IEngineServices* game = Engine(ctx)) game->PostKey(code);
    RaisePendingFatal(ctx);
    return 0;
}

duk_ret_t KeyDown(duk_context* ctx) {
    int32_t code = ArgInt(ctx, 0, "code");
    duk_push_boolean(ctx, IsKeyCodeDown(Engine(ctx), code));
    return 1;
}

const SFunction kKeyFunctions[] = {
    {"ReadKey", ReadKey, 0},
    {"PostKey", PostKey, 1},
    {"KeyDown", KeyDown, 1},
};

// Codes above 255 are the PC keyboard's scan code times 256; Alt chords are 256 + the letter.
constexpr int32_t Scan(int32_t scanCode) { return scanCode * 256; }

const SConstant kKeyConstants[] = {
    {"BACKSPACE", 8},       {"TAB", 9},
    {"ENTER", 13},          {"ESCAPE", 27},
    {"SPACEBAR", 32},       {"PLUS", 43},
    {"MINUS", 45},          {"EQUALS", 61},
    {"CTRL", Scan(0x1D)},   {"LSHIFT", Scan(0x2A)},
    {"RSHIFT", Scan(0x36)}, {"F1", Scan(0x3B)},
    {"F2", Scan(0x3C)},     {"F3", Scan(0x3D)},
    {"F4", Scan(0x3E)},     {"F5", Scan(0x3F)},
    {"F6", Scan(0x40)},     {"F7", Scan(0x41)},
    {"F8", Scan(0x42)},     {"F9", Scan(0x43)},
    {"F10", Scan(0x44)},    {"F11", Scan(0x57)},
    {"F12", Scan(0x58)},    {"HOME", Scan(0x47)},
    {"UP", Scan(0x48)},     {"PAGE_UP", Scan(0x49)},
    {"LEFT", Scan(0x4B)},   {"NUMPAD5", Scan(0x4C)},
    {"RIGHT", Scan(0x4D)},  {"END", Scan(0x4F)},
    {"DOWN", Scan(0x50)},   {"PAGE_DOWN", Scan(0x51)},
    {"INSERT", Scan(0x52)}, {"DELETE", Scan(0x53)},
};

// ALTA ... ALTZ and CTRLA ... CTRLZ.
void DefineLetterConstants(duk_context* ctx) {
    char name[8];
    for (int32_t i = 0; i < 26; ++i) {
        std::snprintf(name, sizeof name, "ALT%c", 'A' + i);
        DefineGlobalNumber(ctx, name, 256 + 'A' + i);
        std::snprintf(name, sizeof name, "CTRL%c", 'A' + i);
        DefineGlobalNumber(ctx, name, 1 + i);
    }
}

void StartKeyboard(duk_context* ctx) {
    for (const SFunction& f : kKeyFunctions) RegisterFunction(ctx, f.name, f.function, f.args);
    for (const SConstant& c : kKeyConstants) DefineGlobalNumber(ctx, c.name, c.value);
    DefineLetterConstants(ctx);
}

// ---------------------------------------------------------------- game controllers

CGameControllers g_controllers;
IJoystickSource* g_joystickSource = nullptr;

void PushController(duk_context* ctx, const SGameController& c) {
    static const char* const kAxisNames[kJoystickAxes] = {"x", "y", "z", "r", "u", "v"};
    duk_push_object(ctx);
    duk_push_uint(ctx, c.id);
    duk_put_prop_string(ctx, -2, "id");
    duk_push_lstring(ctx, c.name.data(), c.name.size());
    duk_put_prop_string(ctx, -2, "name");
    duk_push_object(ctx);
    for (int a = 0; a < kJoystickAxes; ++a) {
        if (!c.axisPresent[a]) continue;
        duk_push_number(ctx, c.axes[a]);
        duk_put_prop_string(ctx, -2, kAxisNames[a]);
    }
    duk_put_prop_string(ctx, -2, "axes");
    if (c.hasPov) {
        const int32_t degrees = PovDegrees(c.pov);
        if (degrees < 0) duk_push_false(ctx);
        else duk_push_int(ctx, degrees);
        duk_put_prop_string(ctx, -2, "pov");
    }
    duk_push_array(ctx);
    for (uint32_t b = 0; b < c.buttonCount; ++b) {
        duk_push_boolean(ctx, (c.buttons >> b) & 1u);
        duk_put_prop_index(ctx, -2, b);
    }
    duk_put_prop_string(ctx, -2, "buttons");
}

duk_ret_t PushControllersSafe(duk_context* ctx, void* udata) {
    const auto& listed = *static_cast<const std::vector<const SGameController*>*>(udata);
    duk_push_array(ctx);
    duk_uarridx_t i = 0;
    for (const SGameController* c : listed) {
        PushController(ctx, *c);
        duk_put_prop_index(ctx, -2, i++);
    }
    return 1;
}

duk_ret_t ReadGameControllers(duk_context* ctx) {
    duk_int_t rc;
    {
        std::vector<const SGameController*> listed = g_controllers.Read(g_joystickSource ? *g_joystickSource
                                                                                         : SystemJoysticks());
        rc = duk_safe_call(ctx, PushControllersSafe, &listed, 0, 1);
    }
    if (rc != DUK_EXEC_SUCCESS) return duk_throw(ctx);
    return 1;
}

void StartControllers(duk_context* ctx) {
    RegisterFunction(ctx, "ReadGameControllers", Guarded<ReadGameControllers>, 0);
}

// ---------------------------------------------------------------- file system

duk_ret_t PushStringsSafe(duk_context* ctx, void* udata) {
    const auto& strings = *static_cast<const std::vector<std::string>*>(udata);
    duk_push_array(ctx);
    duk_uarridx_t i = 0;
    for (const std::string& s : strings) {
        duk_push_lstring(ctx, s.data(), s.size());
        duk_put_prop_index(ctx, -2, i++);
    }
    return 1;
}

// Pushes the array of strings, or raises what went wrong once the strings are gone.
duk_ret_t ReturnStrings(duk_context* ctx, std::vector<std::string> (*make)(const char*), const char* argument) {
    duk_int_t rc;
    {
        std::vector<std::string> strings = make(argument);
        rc = duk_safe_call(ctx, PushStringsSafe, &strings, 0, 1);
    }
    if (rc != DUK_EXEC_SUCCESS) return duk_throw(ctx);
    return 1;
}

duk_ret_t GetDrives(duk_context* ctx) {
    return ReturnStrings(
        ctx,
        [](const char*) {
            std::vector<std::string> letters;
            for (char drive : HostDrives()) letters.emplace_back(1, drive);
            return letters;
        },
        nullptr);
}

duk_ret_t GetDriveType(duk_context* ctx) {
    const char* drive = ArgString(ctx, 0);
    const char c = drive[0];
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
        return duk_error(ctx, DUK_ERR_TYPE_ERROR, "drive letter expected");
    duk_push_int(ctx, HostDriveType(c));
    return 1;
}

// The optional pattern: "*" when it is missing.
const char* PatternArg(duk_context* ctx) { return duk_is_undefined(ctx, 0) ? "*" : ArgString(ctx, 0); }

duk_ret_t GetFiles(duk_context* ctx) {
    return ReturnStrings(
        ctx, [](const char* pattern) { return ListEntries(pattern, false); }, PatternArg(ctx));
}

duk_ret_t GetDirectories(duk_context* ctx) {
    return ReturnStrings(
        ctx, [](const char* pattern) { return ListEntries(pattern, true); }, PatternArg(ctx));
}

duk_ret_t CreateDirectory(duk_context* ctx) {
    const char* path = ArgString(ctx, 0);
    duk_push_boolean(ctx, MakeDirectory(path));
    return 1;
}

// DeleteFile and RenameFile take any value as its text.
duk_ret_t DeleteFile(duk_context* ctx) {
    const char* path = duk_safe_to_string(ctx, 0);
    duk_push_boolean(ctx, RemoveFile(path));
    return 1;
}

duk_ret_t RenameFile(duk_context* ctx) {
    const char* from = duk_safe_to_string(ctx, 0);
    const char* to = duk_safe_to_string(ctx, 1);
    duk_push_boolean(ctx, RenameEntry(from, to));
    return 1;
}

duk_ret_t PushStringSafe(duk_context* ctx, void* udata) {
    const auto& text = *static_cast<const std::string*>(udata);
    duk_push_lstring(ctx, text.data(), text.size());
    return 1;
}

duk_ret_t GetCurrentDirectory(duk_context* ctx) {
    duk_int_t rc;
    {
        std::string path = CurrentDirectory();
        rc = duk_safe_call(ctx, PushStringSafe, &path, 0, 1);
    }
    if (rc != DUK_EXEC_SUCCESS) return duk_throw(ctx);
    return 1;
}

// A successful change also turns on the lookup of resources as loose files in the new current
// directory; anything else turns it off.
duk_ret_t SetCurrentDirectory(duk_context* ctx) {
    const char* path = duk_is_string(ctx, 0) ? duk_get_string(ctx, 0) : nullptr;
    const bool ok = path && ChangeDirectory(path);
    IEngineServices* game = Engine(ctx);
    if (game && game->Resources()) game->Resources()->SetDiskFirst(ok);
    duk_push_boolean(ctx, ok);
    return 1;
}

// The whole file, line ends and all, through the game's data source (loose files included).
// UTF-8 text (ASCII included) arrives as it is. Other bytes are taken as code page 1252, one
// character each: raw, they would break the script engine's string operations (a slice could
// even become a Symbol), while the engine's text drawing turns the characters back into the
// same bytes.
duk_ret_t ReadTextFile(duk_context* ctx) {
    const char* name = ArgString(ctx, 0);
    duk_int_t rc = DUK_EXEC_SUCCESS;
    bool found = false;
    {
        IEngineServices* game = Engine(ctx);
        std::unique_ptr<CDataBin> file(game && game->Folder() ? game->Folder()->Open(name) : nullptr);
        if (file) {
            found = true;
            std::string text(file->GetSize(), '\0');
            // A file that shrank meanwhile gives what could be read.
            text.resize(file->Read(text.data(), static_cast<uint32_t>(text.size())));
            file.reset();
            if (!IsValidUtf8(text)) text = Cp1252ToUtf8(text);
            rc = duk_safe_call(ctx, PushStringSafe, &text, 0, 1);
        }
    }
    if (!found) RaiseCallError(ctx, DUK_ERR_ERROR, "cannot find \"%s\"", name);
    if (rc != DUK_EXEC_SUCCESS) return duk_throw(ctx);
    return 1;
}

const SFunction kFileFunctions[] = {
    {"GetDrives", Guarded<GetDrives>, 0},
    {"GetDriveType", GetDriveType, 1},
    {"GetFiles", Guarded<GetFiles>, 1},
    {"GetDirectories", Guarded<GetDirectories>, 1},
    {"CreateDirectory", Guarded<CreateDirectory>, 1},
    {"DeleteFile", Guarded<DeleteFile>, 1},
    {"RenameFile", Guarded<RenameFile>, 2},
    {"GetCurrentDirectory", Guarded<GetCurrentDirectory>, 0},
    {"SetCurrentDirectory", Guarded<SetCurrentDirectory>, 1},
    {"ReadTextFile", Guarded<ReadTextFile>, 1},
};

const SConstant kDriveConstants[] = {
    {"DRIVETYPE_UNKNOWN", kDriveUnknown}, {"DRIVETYPE_FLOPPY", kDriveFloppy}, {"DRIVETYPE_REMOVABLE", kDriveRemovable},
    {"DRIVETYPE_FIXED", kDriveFixed},     {"DRIVETYPE_REMOTE", kDriveRemote}, {"DRIVETYPE_CDROM", kDriveCDROM},
    {"DRIVETYPE_RAMDISK", kDriveRAMDisk},
};

void StartFileSystem(duk_context* ctx) {
    for (const SFunction& f : kFileFunctions) RegisterFunction(ctx, f.name, f.function, f.args);
    for (const SConstant& c : kDriveConstants) DefineGlobalNumber(ctx, c.name, c.value);
}

}  // namespace

void SetJoystickSource(IJoystickSource* source) {
    g_joystickSource = source;
    g_controllers.Clear();
}

bool IsKeyCodeDown(IEngineServices* game, int32_t code) {
    const int32_t virtualKey = KeyCodeToVirtualKey(code);
    if (virtualKey == 0 || !game || !game->Window()) return false;
    SDL_Window* window = game->Window()->GetSDLWindow();
    if (!window) return false;
    // The held-key state and the focus move only when events are gathered; the messages
    // themselves stay queued for the next pump.
    GatherEvents();
    return NativeWindowHasFocus(window) && IsVirtualKeyDown(virtualKey);
}

// Each part registers its functions and constants in turn: the keyboard first, then game
// controllers, the file system and the file classes.
bool StartInputAPI(duk_context* ctx) {
    StartKeyboard(ctx);
    StartControllers(ctx);
    StartFileSystem(ctx);
    return true;
}

// Controllers seen by this heap are forgotten and their devices let go.
void StopInputAPI(duk_context*) {
    g_controllers.Clear();
    if (!g_joystickSource) CloseSystemJoysticks();
}

}  // namespace ove
