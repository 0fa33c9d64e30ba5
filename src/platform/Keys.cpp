#include "Keys.h"

#include <SDL.h>

namespace ove {

namespace {

struct SKeyRow {
    SDL_Scancode sdl;
    int32_t vk;
    int32_t scan;
    bool extended;
};

// Position-based part of the table: the key's place on a PC keyboard gives its scan code, and,
// for everything but letters, its virtual key.
// clang-format off
constexpr SKeyRow kRows[] = {
    {SDL_SCANCODE_A, 'A', 0x1E, false}, {SDL_SCANCODE_B, 'B', 0x30, false},
    {SDL_SCANCODE_C, 'C', 0x2E, false}, {SDL_SCANCODE_D, 'D', 0x20, false},
    {SDL_SCANCODE_E, 'E', 0x12, false}, {SDL_SCANCODE_F, 'F', 0x21, false},
    {SDL_SCANCODE_G, 'G', 0x22, false}, {SDL_SCANCODE_H, 'H', 0x23, false},
    {SDL_SCANCODE_I, 'I', 0x17, false}, {SDL_SCANCODE_J, 'J', 0x24, false},
    {SDL_SCANCODE_K, 'K', 0x25, false}, {SDL_SCANCODE_L, 'L', 0x26, false},
    {SDL_SCANCODE_M, 'M', 0x32, false}, {SDL_SCANCODE_N, 'N', 0x31, false},
    {SDL_SCANCODE_O, 'O', 0x18, false}, {SDL_SCANCODE_P, 'P', 0x19, false},
    {SDL_SCANCODE_Q, 'Q', 0x10, false}, {SDL_SCANCODE_R, 'R', 0x13, false},
    {SDL_SCANCODE_S, 'S', 0x1F, false}, {SDL_SCANCODE_T, 'T', 0x14, false},
    {SDL_SCANCODE_U, 'U', 0x16, false}, {SDL_SCANCODE_V, 'V', 0x2F, false},
    {SDL_SCANCODE_W, 'W', 0x11, false}, {SDL_SCANCODE_X, 'X', 0x2D, false},
    {SDL_SCANCODE_Y, 'Y', 0x15, false}, {SDL_SCANCODE_Z, 'Z', 0x2C, false},
    {SDL_SCANCODE_1, '1', 0x02, false}, {SDL_SCANCODE_2, '2', 0x03, false},
    {SDL_SCANCODE_3, '3', 0x04, false}, {SDL_SCANCODE_4, '4', 0x05, false},
    {SDL_SCANCODE_5, '5', 0x06, false}, {SDL_SCANCODE_6, '6', 0x07, false},
    {SDL_SCANCODE_7, '7', 0x08, false}, {SDL_SCANCODE_8, '8', 0x09, false},
    {SDL_SCANCODE_9, '9', 0x0A, false}, {SDL_SCANCODE_0, '0', 0x0B, false},
    {SDL_SCANCODE_RETURN, kVkReturn, 0x1C, false},
    {SDL_SCANCODE_ESCAPE, kVkEscape, 0x01, false},
    {SDL_SCANCODE_BACKSPACE, kVkBack, 0x0E, false},
    {SDL_SCANCODE_TAB, kVkTab, 0x0F, false},
    {SDL_SCANCODE_SPACE, kVkSpace, 0x39, false},
    {SDL_SCANCODE_MINUS, 0xBD, 0x0C, false},
    {SDL_SCANCODE_EQUALS, 0xBB, 0x0D, false},
    {SDL_SCANCODE_LEFTBRACKET, 0xDB, 0x1A, false},
    {SDL_SCANCODE_RIGHTBRACKET, 0xDD, 0x1B, false},
    {SDL_SCANCODE_BACKSLASH, 0xDC, 0x2B, false},
    {SDL_SCANCODE_NONUSHASH, 0xDC, 0x2B, false},
    {SDL_SCANCODE_SEMICOLON, 0xBA, 0x27, false},
    {SDL_SCANCODE_APOSTROPHE, 0xDE, 0x28, false},
    {SDL_SCANCODE_GRAVE, 0xC0, 0x29, false},
    {SDL_SCANCODE_COMMA, 0xBC, 0x33, false},
    {SDL_SCANCODE_PERIOD, 0xBE, 0x34, false},
    {SDL_SCANCODE_SLASH, 0xBF, 0x35, false},
    {SDL_SCANCODE_NONUSBACKSLASH, 0xE2, 0x56, false},
    {SDL_SCANCODE_CAPSLOCK, kVkCapital, 0x3A, false},
    {SDL_SCANCODE_F1, kVkF1 + 0, 0x3B, false}, {SDL_SCANCODE_F2, kVkF1 + 1, 0x3C, false},
    {SDL_SCANCODE_F3, kVkF1 + 2, 0x3D, false}, {SDL_SCANCODE_F4, kVkF1 + 3, 0x3E, false},
    {SDL_SCANCODE_F5, kVkF1 + 4, 0x3F, false}, {SDL_SCANCODE_F6, kVkF1 + 5, 0x40, false},
    {SDL_SCANCODE_F7, kVkF1 + 6, 0x41, false}, {SDL_SCANCODE_F8, kVkF1 + 7, 0x42, false},
    {SDL_SCANCODE_F9, kVkF1 + 8, 0x43, false}, {SDL_SCANCODE_F10, kVkF1 + 9, 0x44, false},
    {SDL_SCANCODE_F11, kVkF1 + 10, 0x57, false}, {SDL_SCANCODE_F12, kVkF1 + 11, 0x58, false},
    {SDL_SCANCODE_F13, kVkF1 + 12, 0x64, false}, {SDL_SCANCODE_F14, kVkF1 + 13, 0x65, false},
    {SDL_SCANCODE_F15, kVkF1 + 14, 0x66, false}, {SDL_SCANCODE_F16, kVkF1 + 15, 0x67, false},
    {SDL_SCANCODE_F17, kVkF1 + 16, 0x68, false}, {SDL_SCANCODE_F18, kVkF1 + 17, 0x69, false},
    {SDL_SCANCODE_F19, kVkF1 + 18, 0x6A, false}, {SDL_SCANCODE_F20, kVkF1 + 19, 0x6B, false},
    {SDL_SCANCODE_F21, kVkF1 + 20, 0x6C, false}, {SDL_SCANCODE_F22, kVkF1 + 21, 0x6D, false},
    {SDL_SCANCODE_F23, kVkF1 + 22, 0x6E, false}, {SDL_SCANCODE_F24, kVkF1 + 23, 0x76, false},
    {SDL_SCANCODE_PRINTSCREEN, kVkSnapshot, 0x37, true},
    {SDL_SCANCODE_SCROLLLOCK, kVkScroll, 0x46, false},
    {SDL_SCANCODE_PAUSE, kVkPause, 0x45, false},
    {SDL_SCANCODE_INSERT, kVkInsert, 0x52, true},
    {SDL_SCANCODE_HOME, kVkHome, 0x47, true},
    {SDL_SCANCODE_PAGEUP, kVkPrior, 0x49, true},
    {SDL_SCANCODE_DELETE, kVkDelete, 0x53, true},
    {SDL_SCANCODE_END, kVkEnd, 0x4F, true},
    {SDL_SCANCODE_PAGEDOWN, kVkNext, 0x51, true},
    {SDL_SCANCODE_RIGHT, kVkRight, 0x4D, true},
    {SDL_SCANCODE_LEFT, kVkLeft, 0x4B, true},
    {SDL_SCANCODE_DOWN, kVkDown, 0x50, true},
    {SDL_SCANCODE_UP, kVkUp, 0x48, true},
    {SDL_SCANCODE_NUMLOCKCLEAR, kVkNumLock, 0x45, true},
    {SDL_SCANCODE_KP_DIVIDE, kVkDivide, 0x35, true},
    {SDL_SCANCODE_KP_MULTIPLY, kVkMultiply, 0x37, false},
    {SDL_SCANCODE_KP_MINUS, kVkSubtract, 0x4A, false},
    {SDL_SCANCODE_KP_PLUS, kVkAdd, 0x4E, false},
    {SDL_SCANCODE_KP_ENTER, kVkReturn, 0x1C, true},
    // Keypad digits: the virtual key given here is the one without Num Lock.
    {SDL_SCANCODE_KP_1, kVkEnd, 0x4F, false}, {SDL_SCANCODE_KP_2, kVkDown, 0x50, false},
    {SDL_SCANCODE_KP_3, kVkNext, 0x51, false}, {SDL_SCANCODE_KP_4, kVkLeft, 0x4B, false},
    {SDL_SCANCODE_KP_5, kVkClear, 0x4C, false}, {SDL_SCANCODE_KP_6, kVkRight, 0x4D, false},
    {SDL_SCANCODE_KP_7, kVkHome, 0x47, false}, {SDL_SCANCODE_KP_8, kVkUp, 0x48, false},
    {SDL_SCANCODE_KP_9, kVkPrior, 0x49, false}, {SDL_SCANCODE_KP_0, kVkInsert, 0x52, false},
    {SDL_SCANCODE_KP_PERIOD, kVkDelete, 0x53, false},
    {SDL_SCANCODE_APPLICATION, 0x5D, 0x5D, true},
    {SDL_SCANCODE_LCTRL, kVkControl, 0x1D, false},
    {SDL_SCANCODE_LSHIFT, kVkShift, 0x2A, false},
    {SDL_SCANCODE_LALT, kVkMenu, 0x38, false},
    {SDL_SCANCODE_LGUI, 0x5B, 0x5B, true},
    {SDL_SCANCODE_RCTRL, kVkControl, 0x1D, true},
    {SDL_SCANCODE_RSHIFT, kVkShift, 0x36, false},
    {SDL_SCANCODE_RALT, kVkMenu, 0x38, true},
    {SDL_SCANCODE_RGUI, 0x5C, 0x5C, true},
};
// clang-format on

const SKeyRow* FindRow(int scancode) {
    for (const SKeyRow& row : kRows) {
        if (row.sdl == scancode) return &row;
    }
    return nullptr;
}

bool IsKeypadDigit(int scancode) {
    return (scancode >= SDL_SCANCODE_KP_1 && scancode <= SDL_SCANCODE_KP_0) || scancode == SDL_SCANCODE_KP_PERIOD;
}

}  // namespace

SKeyTranslation TranslateKey(int sdlScancode, int sdlKeycode, unsigned mods) {
    SKeyTranslation key;
    const SKeyRow* row = FindRow(sdlScancode);
    if (!row) return key;
    key.virtualKey = row->vk;
    key.scanCode = row->scan;
    key.extended = row->extended;

    // Letters follow the layout (an AZERTY 'A' is where QWERTY has Q); keys of layouts without
    // Latin letters keep their position.
    if (sdlKeycode >= 'a' && sdlKeycode <= 'z') key.virtualKey = sdlKeycode - 'a' + 'A';
    // Shift turns Num Lock's digits back into the navigation keys, as on Windows.
    const bool keypadDigits = (mods & KMOD_NUM) != 0 && !(mods & KMOD_SHIFT);
    if (IsKeypadDigit(sdlScancode) && keypadDigits) {
        key.virtualKey = sdlScancode == SDL_SCANCODE_KP_PERIOD
                             ? kVkDecimal
                             : kVkNumpad0 +
                                   (sdlScancode == SDL_SCANCODE_KP_0 ? 0 : sdlScancode - SDL_SCANCODE_KP_1 + 1);
    }

    const bool ctrl = (mods & KMOD_CTRL) != 0;
    key.alt = (mods & KMOD_LALT) != 0 && !ctrl;
    key.system = key.alt || key.virtualKey == kVkF10;
    const int vk = key.virtualKey;

    if (ctrl && !(mods & KMOD_ALT)) {
        // Ctrl chords type control characters or nothing.
        key.suppressText = true;
        const bool shift = (mods & KMOD_SHIFT) != 0;
        if (vk >= 'A' && vk <= 'Z') key.character = vk - 'A' + 1;
        else if (shift) {
            // With Shift only Ctrl+^ and Ctrl+_ remain control characters.
            if (sdlKeycode == '6') key.character = 30;
            else if (sdlKeycode == '-') key.character = 31;
        } else if (sdlKeycode == '[') key.character = 27;
        else if (sdlKeycode == '\\') key.character = 28;
        else if (sdlKeycode == ']') key.character = 29;
        else if (vk == kVkReturn) key.character = 10;
        else if (vk == kVkBack) key.character = 127;
        else if (vk == kVkSpace) key.character = 32;
        else if (vk == kVkEscape) key.character = 27;
        else if (vk == kVkPause) key.character = 3;  // Ctrl+Pause is Break
        return key;
    }
    if (key.alt) key.suppressText = true;
    if (ctrl && (mods & KMOD_LALT)) {
        // Ctrl with the left Alt is no AltGr here: the chord types nothing (X11 would still send
        // the digits and punctuation) and routes its scan code.
        key.suppressText = true;
        return key;
    }

    switch (vk) {
    case kVkReturn: key.character = 13; return key;
    case kVkBack: key.character = 8; return key;
    case kVkTab: key.character = 9; return key;
    case kVkEscape: key.character = 27; return key;
    default: break;
    }
    switch (sdlScancode) {
    case SDL_SCANCODE_KP_DIVIDE:
    case SDL_SCANCODE_KP_MULTIPLY:
    case SDL_SCANCODE_KP_MINUS:
    case SDL_SCANCODE_KP_PLUS: key.typesText = true; return key;
    default: break;
    }
    if (IsKeypadDigit(sdlScancode)) {
        key.typesText = keypadDigits;
        // A navigation key types nothing, even where the system sends a digit (Shift with Num
        // Lock off on X11).
        if (!keypadDigits) key.suppressText = true;
        return key;
    }
    // Printable keys carry their character as the keycode; Delete is 127 but types nothing.
    if ((sdlKeycode & SDLK_SCANCODE_MASK) == 0 && sdlKeycode >= 32 && sdlKeycode != 127) key.typesText = true;
    return key;
}

std::uint32_t MakeKeyFlags(const SKeyTranslation& key, bool repeat, bool release) {
    std::uint32_t flags = 1u | (static_cast<std::uint32_t>(key.scanCode & 0xFF) << 16);
    if (key.extended) flags |= kKeyFlagExtended;
    if (key.HasCharacter()) flags |= kKeyFlagCharacter;
    if (key.alt) flags |= kKeyFlagAlt;
    if (repeat || release) flags |= kKeyFlagRepeat;
    if (release) flags |= kKeyFlagRelease;
    return flags;
}

int32_t KeyCodeToVirtualKey(int32_t code) {
    switch (code) {
    case 18432: return kVkUp;
    case 20480: return kVkDown;
    case 19200: return kVkLeft;
    case 19712: return kVkRight;
    case 18176: return kVkHome;
    case 20224: return kVkEnd;
    case 18688: return kVkPrior;
    case 20736: return kVkNext;
    case 20992: return kVkInsert;
    case 21248: return kVkDelete;
    case 7424: return kVkControl;
    case 10752: return kVkLShift;
    case 13824: return kVkRShift;
    case 8:
    case 13:
    case 27:
    case 32: return code;
    default: break;
    }
    if (code >= 'a' && code <= 'z') return code - 'a' + 'A';
    if ((code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9')) return code;
    return 0;
}

void VirtualKeyScancodes(int32_t vk, int out[4]) {
    int n = 0;
    const auto add = [&](int scancode) {
        if (n < 3) out[n++] = scancode;
    };
    switch (vk) {
    case kVkShift:
        add(SDL_SCANCODE_LSHIFT);
        add(SDL_SCANCODE_RSHIFT);
        break;
    case kVkControl:
        add(SDL_SCANCODE_LCTRL);
        add(SDL_SCANCODE_RCTRL);
        break;
    case kVkMenu:
        add(SDL_SCANCODE_LALT);
        add(SDL_SCANCODE_RALT);
        break;
    case kVkLShift: add(SDL_SCANCODE_LSHIFT); break;
    case kVkRShift: add(SDL_SCANCODE_RSHIFT); break;
    case kVkLControl: add(SDL_SCANCODE_LCTRL); break;
    case kVkRControl: add(SDL_SCANCODE_RCTRL); break;
    case kVkLMenu: add(SDL_SCANCODE_LALT); break;
    case kVkRMenu: add(SDL_SCANCODE_RALT); break;
    case kVkReturn:
        add(SDL_SCANCODE_RETURN);
        add(SDL_SCANCODE_KP_ENTER);
        break;
    default:
        if (vk >= 'A' && vk <= 'Z') {
            // The key that types the letter on the current layout.
            SDL_Scancode sc = SDL_GetScancodeFromKey(vk - 'A' + 'a');
            add(sc != SDL_SCANCODE_UNKNOWN ? sc : SDL_SCANCODE_A + (vk - 'A'));
            break;
        }
        for (const SKeyRow& row : kRows) {
            // Keypad rows carry their navigation key: they count only while Num Lock is off,
            // which the caller cannot know here, so the grey keys alone answer.
            if (row.vk == vk && !IsKeypadDigit(row.sdl)) add(row.sdl);
        }
        break;
    }
    out[n] = 0;
}

bool IsVirtualKeyDownIn(const std::uint8_t* state, int numKeys, unsigned sdlMods, int32_t vk) {
    if (!state) return false;
    int scancodes[4];
    VirtualKeyScancodes(vk, scancodes);
    for (int i = 0; scancodes[i] != 0; ++i) {
        if (scancodes[i] < numKeys && state[scancodes[i]]) return true;
    }
    // The keypad is a second set of navigation keys while it types no digits.
    if (vk == 0 || ((sdlMods & KMOD_NUM) && !(sdlMods & KMOD_SHIFT))) return false;
    for (const SKeyRow& row : kRows) {
        if (row.vk == vk && IsKeypadDigit(row.sdl) && row.sdl < numKeys && state[row.sdl]) return true;
    }
    return false;
}

namespace {
const Uint8* g_keyboardOverride = nullptr;
int g_keyboardOverrideKeys = 0;
}  // namespace

void OverrideKeyboardState(const std::uint8_t* state, int numKeys) {
    g_keyboardOverride = state;
    g_keyboardOverrideKeys = numKeys;
}

bool IsVirtualKeyDown(int32_t vk) {
    if (g_keyboardOverride)
        return IsVirtualKeyDownIn(g_keyboardOverride, g_keyboardOverrideKeys, SDL_GetModState(), vk);
    int numKeys = 0;
    const Uint8* state = SDL_GetKeyboardState(&numKeys);
    return IsVirtualKeyDownIn(state, numKeys, SDL_GetModState(), vk);
}

}  // namespace ove
