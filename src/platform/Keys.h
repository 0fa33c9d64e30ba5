// Keyboard translation: SDL key events become the virtual keys, scan codes and characters the
// window layer works with (the codes of a PC keyboard with a US layout under Windows), and the
// held-key query behind KeyDown.
#pragma once
#include <cstdint>

namespace ove {

// Virtual-key codes the engine names.
enum : std::int32_t {
    kVkBack = 8,
    kVkTab = 9,
    kVkClear = 12,
    kVkReturn = 13,
    kVkShift = 16,
    kVkControl = 17,
    kVkMenu = 18,
    kVkPause = 19,
    kVkCapital = 20,
    kVkEscape = 27,
    kVkSpace = 32,
    kVkPrior = 33,
    kVkNext = 34,
    kVkEnd = 35,
    kVkHome = 36,
    kVkLeft = 37,
    kVkUp = 38,
    kVkRight = 39,
    kVkDown = 40,
    kVkSnapshot = 44,
    kVkInsert = 45,
    kVkDelete = 46,
    kVkNumpad0 = 96,
    kVkMultiply = 106,
    kVkAdd = 107,
    kVkSubtract = 109,
    kVkDecimal = 110,
    kVkDivide = 111,
    kVkF1 = 112,
    kVkF10 = 121,
    kVkF24 = 135,
    kVkNumLock = 144,
    kVkScroll = 145,
    kVkLShift = 160,
    kVkRShift = 161,
    kVkLControl = 162,
    kVkRControl = 163,
    kVkLMenu = 164,
    kVkRMenu = 165,
};

// Bits of the flags word that comes with key and character messages: repeat count in bits
// 0-15 (always 1), scan code in bits 16-23, then these.
enum : std::uint32_t {
    kKeyFlagExtended = 1u << 24,   // right-hand Ctrl/Alt, the grey navigation keys, keypad Enter
    kKeyFlagCharacter = 1u << 25,  // the key types a character (it follows as a character message)
    kKeyFlagAlt = 1u << 29,        // Alt held (the chord goes to the system-key handlers)
    kKeyFlagRepeat = 1u << 30,     // the key was already down (auto-repeat); set on release too
    kKeyFlagRelease = 1u << 31,
};

inline int32_t KeyFlagsScanCode(std::uint32_t flags) { return static_cast<int32_t>((flags >> 16) & 0xFF); }

// What one key press means.
struct SKeyTranslation {
    int32_t virtualKey = 0;  // 0: a key the engine does not know (not delivered)
    int32_t scanCode = 0;    // PC set-1 scan code
    bool extended = false;
    bool system = false;        // Alt chord (left Alt without Ctrl) or F10: a system key
    bool alt = false;           // left Alt held without Ctrl
    bool typesText = false;     // the character arrives as text input
    int32_t character = -1;     // character the key types by itself (Enter, Tab, Ctrl+letter, ...)
    bool suppressText = false;  // text input that follows is part of a Ctrl or Alt chord
    bool HasCharacter() const { return typesText || character >= 0; }
};

// Translates an SDL key (SDL_Scancode, SDL_Keycode, SDL_Keymod values). Only the left Alt key
// makes Alt chords: the right one is AltGr on most layouts and types characters.
SKeyTranslation TranslateKey(int sdlScancode, int sdlKeycode, unsigned sdlMods);

// The flags word of a key message.
std::uint32_t MakeKeyFlags(const SKeyTranslation& key, bool repeat, bool release);

// The virtual key whose state answers KeyDown for a key code (cursor keys, Home/End/Page keys,
// Insert, Delete, Ctrl, the Shift keys, Backspace, Enter, Escape, space, letters and digits);
// 0 for codes that have none.
int32_t KeyCodeToVirtualKey(int32_t code);

// The SDL scancodes that make a virtual key down (at most 4, ended by 0). The keypad's
// navigation keys are not among them: they count only while Num Lock is off or Shift is held.
void VirtualKeyScancodes(int32_t virtualKey, int out[4]);

// Whether a virtual key is down in a keyboard state (indexed by SDL scancode) with the given
// SDL modifier state.
bool IsVirtualKeyDownIn(const std::uint8_t* state, int numKeys, unsigned sdlMods, int32_t virtualKey);

// Whether a virtual key is held now (SDL's keyboard state, updated whenever events are gathered).
bool IsVirtualKeyDown(int32_t virtualKey);
// Replays: the held keys come from this array of SDL scan codes instead of the keyboard (null:
// the keyboard again). The array must outlive the override.
void OverrideKeyboardState(const std::uint8_t* state, int numKeys);

}  // namespace ove
