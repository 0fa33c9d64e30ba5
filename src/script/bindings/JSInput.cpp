#include "JSInput.h"

#include <cstdio>

#include "host/Game.h"
#include "platform/Events.h"
#include "platform/Keys.h"
#include "platform/NativeWindow.h"
#include "script/Binding.h"
#include "script/ScriptHost.h"

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
    if (CGame* game = GetGame()) code = game->ReadKey();
    RaisePendingFatal(ctx);
    duk_push_int(ctx, code);
    return 1;
}

// The key may reach a GUI element's onKey handler, whose error must end the run as it would
// from ReadKey.
duk_ret_t PostKey(duk_context* ctx) {
    int32_t code = ArgInt(ctx, 0);
    if (CGame* game = GetGame()) game->PostKey(code);
    RaisePendingFatal(ctx);
    return 0;
}

duk_ret_t KeyDown(duk_context* ctx) {
    int32_t code = ArgInt(ctx, 0);
    duk_push_boolean(ctx, IsKeyCodeDown(GetGame(), code));
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
    {"BACKSPACE", 8}, {"TAB", 9}, {"ENTER", 13}, {"ESCAPE", 27}, {"SPACEBAR", 32},
    {"PLUS", 43}, {"MINUS", 45}, {"EQUALS", 61},
    {"CTRL", Scan(0x1D)}, {"LSHIFT", Scan(0x2A)}, {"RSHIFT", Scan(0x36)},
    {"F1", Scan(0x3B)}, {"F2", Scan(0x3C)}, {"F3", Scan(0x3D)}, {"F4", Scan(0x3E)}, {"F5", Scan(0x3F)},
    {"F6", Scan(0x40)}, {"F7", Scan(0x41)}, {"F8", Scan(0x42)}, {"F9", Scan(0x43)}, {"F10", Scan(0x44)},
    {"F11", Scan(0x57)}, {"F12", Scan(0x58)},
    {"HOME", Scan(0x47)}, {"UP", Scan(0x48)}, {"PAGE_UP", Scan(0x49)},
    {"LEFT", Scan(0x4B)}, {"NUMPAD5", Scan(0x4C)}, {"RIGHT", Scan(0x4D)},
    {"END", Scan(0x4F)}, {"DOWN", Scan(0x50)}, {"PAGE_DOWN", Scan(0x51)},
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

}  // namespace

bool IsKeyCodeDown(const CGame* game, int32_t code) {
    const int32_t virtualKey = KeyCodeToVirtualKey(code);
    if (virtualKey == 0 || !game || !game->window) return false;
    SDL_Window* window = game->window->GetSDLWindow();
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
    return true;
}

void StopInputAPI(duk_context*) {}

}  // namespace ove
