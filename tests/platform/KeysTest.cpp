// SDL keys -> the engine's virtual keys, scan codes and characters, and the held-key table.
#include <SDL.h>
#include <gtest/gtest.h>

#include <vector>

#include "platform/Keys.h"

using ove::SKeyTranslation;
using ove::TranslateKey;

namespace {

// The code the game window routes for a key press that types no character.
int Routed(SDL_Scancode sc, SDL_Keycode key, unsigned mods = KMOD_NONE) {
    SKeyTranslation k = TranslateKey(sc, key, mods);
    EXPECT_FALSE(k.HasCharacter()) << SDL_GetScancodeName(sc);
    return k.scanCode * 256;
}

}  // namespace

// clang-format off
TEST(Keys, KeysWithoutCharacterGiveTheNamedKeyCodes) {
    struct Row {
        SDL_Scancode sc;
        SDL_Keycode key;
        int code;
        unsigned mods = KMOD_NONE;
    };
    const unsigned cs = KMOD_LCTRL | KMOD_LSHIFT;
    // The engine's named key constants. Modifier keys route themselves even though they change the
    // modifier state; Enter, Backspace, Space and the brackets route their scan codes with
    // Ctrl+Shift, and any key with Ctrl and the left Alt.
    const Row rows[] = {
        {SDL_SCANCODE_F1, SDLK_F1, 15104},         {SDL_SCANCODE_F2, SDLK_F2, 15360},
        {SDL_SCANCODE_F5, SDLK_F5, 16128},         {SDL_SCANCODE_F9, SDLK_F9, 17152},
        {SDL_SCANCODE_F11, SDLK_F11, 22272},       {SDL_SCANCODE_F12, SDLK_F12, 22528},
        {SDL_SCANCODE_HOME, SDLK_HOME, 18176},     {SDL_SCANCODE_UP, SDLK_UP, 18432},
        {SDL_SCANCODE_PAGEUP, SDLK_PAGEUP, 18688}, {SDL_SCANCODE_LEFT, SDLK_LEFT, 19200},
        {SDL_SCANCODE_RIGHT, SDLK_RIGHT, 19712},   {SDL_SCANCODE_END, SDLK_END, 20224},
        {SDL_SCANCODE_DOWN, SDLK_DOWN, 20480},     {SDL_SCANCODE_PAGEDOWN, SDLK_PAGEDOWN, 20736},
        {SDL_SCANCODE_INSERT, SDLK_INSERT, 20992}, {SDL_SCANCODE_DELETE, SDLK_DELETE, 21248},
        {SDL_SCANCODE_LCTRL, SDLK_LCTRL, 7424},    {SDL_SCANCODE_RCTRL, SDLK_RCTRL, 7424},
        {SDL_SCANCODE_LSHIFT, SDLK_LSHIFT, 10752}, {SDL_SCANCODE_RSHIFT, SDLK_RSHIFT, 13824},
        {SDL_SCANCODE_KP_5, SDLK_KP_5, 19456},     // keypad 5 without Num Lock
        {SDL_SCANCODE_KP_7, SDLK_KP_7, 18176},     // keypad Home
        {SDL_SCANCODE_PAUSE, SDLK_PAUSE, 17664},
        {SDL_SCANCODE_LCTRL, SDLK_LCTRL, 7424, KMOD_LCTRL}, {SDL_SCANCODE_RSHIFT, SDLK_RSHIFT, 13824, KMOD_RSHIFT},
        {SDL_SCANCODE_RETURN, SDLK_RETURN, 7168, cs},   {SDL_SCANCODE_BACKSPACE, SDLK_BACKSPACE, 3584, cs},
        {SDL_SCANCODE_SPACE, SDLK_SPACE, 14592, cs},    {SDL_SCANCODE_LEFTBRACKET, SDLK_LEFTBRACKET, 6656, cs},
        {SDL_SCANCODE_Q, SDLK_q, 0x10 * 256, KMOD_RCTRL | KMOD_LALT},
    };
    for (const Row& r : rows) EXPECT_EQ(Routed(r.sc, r.key, r.mods), r.code) << SDL_GetScancodeName(r.sc) << " " << r.mods;
}
// clang-format on

TEST(Keys, F10IsASystemKeyWithoutAltUnknownKeysGiveNothing) {
    SKeyTranslation k = TranslateKey(SDL_SCANCODE_F10, SDLK_F10, KMOD_NONE);
    EXPECT_TRUE(k.system);
    EXPECT_FALSE(k.alt);
    EXPECT_EQ(k.virtualKey, 121);
    EXPECT_EQ(k.scanCode * 256, 17408);
    EXPECT_FALSE(TranslateKey(SDL_SCANCODE_F9, SDLK_F9, KMOD_NONE).system);
    // Unknown keys are not delivered.
    EXPECT_EQ(TranslateKey(SDL_SCANCODE_AUDIOPLAY, SDLK_AUDIOPLAY, 0).virtualKey, 0);
}

// clang-format off
TEST(Keys, PrintableKeysLeaveTheirCharacterToTextInput) {
    for (auto [sc, key] : {std::pair{SDL_SCANCODE_A, SDLK_a}, {SDL_SCANCODE_SPACE, SDLK_SPACE},
                           {SDL_SCANCODE_3, SDLK_3}, {SDL_SCANCODE_SLASH, SDLK_SLASH}}) {
        SKeyTranslation k = TranslateKey(sc, key, KMOD_LSHIFT);
        EXPECT_TRUE(k.typesText) << SDL_GetScancodeName(sc);
        EXPECT_EQ(k.character, -1);
        EXPECT_FALSE(k.suppressText);
    }
    // Delete's keycode is 127, but it types nothing.
    EXPECT_FALSE(TranslateKey(SDL_SCANCODE_DELETE, SDLK_DELETE, KMOD_NONE).HasCharacter());
    // A non-Latin key (keycode of an accented letter) still types.
    EXPECT_TRUE(TranslateKey(SDL_SCANCODE_2, 0xE9, KMOD_NONE).typesText);
}
// clang-format on

// Control keys type their own characters; Ctrl chords type control characters. With Ctrl+Shift
// only letters, ^ and _ do; Enter, Backspace, Space and the brackets route their scan codes.
// clang-format off
TEST(Keys, ControlKeysAndCtrlChords) {
    const unsigned cs = KMOD_LCTRL | KMOD_LSHIFT;
    const struct {
        SDL_Scancode sc;
        SDL_Keycode key;
        unsigned mods;
        int character;
    } typed[] = {
        {SDL_SCANCODE_RETURN, SDLK_RETURN, 0, 13},         {SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER, 0, 13},
        {SDL_SCANCODE_BACKSPACE, SDLK_BACKSPACE, 0, 8},    {SDL_SCANCODE_TAB, SDLK_TAB, KMOD_LSHIFT, 9},
        {SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, 0, 27},         {SDL_SCANCODE_A, SDLK_a, KMOD_LCTRL, 1},
        {SDL_SCANCODE_Z, SDLK_z, KMOD_RCTRL | KMOD_LSHIFT, 26}, {SDL_SCANCODE_H, SDLK_h, KMOD_LCTRL, 8},
        {SDL_SCANCODE_LEFTBRACKET, SDLK_LEFTBRACKET, KMOD_LCTRL, 27}, {SDL_SCANCODE_RETURN, SDLK_RETURN, KMOD_LCTRL, 10},
        {SDL_SCANCODE_BACKSPACE, SDLK_BACKSPACE, KMOD_LCTRL, 127}, {SDL_SCANCODE_PAUSE, SDLK_PAUSE, KMOD_RCTRL, 3},
        {SDL_SCANCODE_C, SDLK_c, cs, 3},                   {SDL_SCANCODE_6, SDLK_6, cs, 30},
        {SDL_SCANCODE_MINUS, SDLK_MINUS, cs, 31},          {SDL_SCANCODE_6, SDLK_6, KMOD_LCTRL, -1},
    };
    for (const auto& t : typed)
        EXPECT_EQ(TranslateKey(t.sc, t.key, t.mods).character, t.character) << SDL_GetScancodeName(t.sc) << " " << t.mods;
    // Ctrl+digit types nothing: it routes the scan code, and the text SDL may send is dropped.
    SKeyTranslation digit = TranslateKey(SDL_SCANCODE_1, SDLK_1, KMOD_LCTRL);
    EXPECT_FALSE(digit.HasCharacter());
    EXPECT_TRUE(digit.suppressText);
    EXPECT_EQ(digit.scanCode * 256, 512);
    EXPECT_FALSE(TranslateKey(SDL_SCANCODE_A, SDLK_a, KMOD_LCTRL).system);
    EXPECT_TRUE(TranslateKey(SDL_SCANCODE_SPACE, SDLK_SPACE, cs).suppressText);
}
// clang-format on

TEST(Keys, LeftAltMakesSystemChordsRightAltTypes) {
    SKeyTranslation altA = TranslateKey(SDL_SCANCODE_A, SDLK_a, KMOD_LALT);
    EXPECT_TRUE(altA.system);
    EXPECT_TRUE(altA.alt);
    EXPECT_TRUE(altA.suppressText);
    EXPECT_EQ(256 + altA.virtualKey, 321);
    EXPECT_EQ(256 + TranslateKey(SDL_SCANCODE_Z, SDLK_z, KMOD_LALT | KMOD_LSHIFT).virtualKey, 346);
    // AltGr (right Alt) types characters like @ on many layouts.
    SKeyTranslation altGr = TranslateKey(SDL_SCANCODE_Q, SDLK_q, KMOD_RALT);
    EXPECT_FALSE(altGr.system);
    EXPECT_TRUE(altGr.typesText);
    EXPECT_FALSE(altGr.suppressText);
    // Ctrl with the left Alt types nothing: the keys route their scan codes.
    for (auto [sc, key] :
         {std::pair{SDL_SCANCODE_Q, SDLK_q}, {SDL_SCANCODE_1, SDLK_1}, {SDL_SCANCODE_RETURN, SDLK_RETURN}}) {
        SKeyTranslation ctrlAlt = TranslateKey(sc, key, KMOD_LCTRL | KMOD_LALT);
        EXPECT_FALSE(ctrlAlt.system) << SDL_GetScancodeName(sc);
        EXPECT_FALSE(ctrlAlt.HasCharacter()) << SDL_GetScancodeName(sc);
        EXPECT_TRUE(ctrlAlt.suppressText) << SDL_GetScancodeName(sc);
    }
}

TEST(Keys, LettersFollowTheLayoutOtherKeysTheirPosition) {
    // AZERTY: the key in QWERTY's Q place types 'a'.
    SKeyTranslation k = TranslateKey(SDL_SCANCODE_Q, SDLK_a, KMOD_LALT);
    EXPECT_EQ(k.virtualKey, 'A');
    EXPECT_EQ(k.scanCode, 0x10);
    // A Cyrillic layout keeps the Latin letter of the position.
    EXPECT_EQ(TranslateKey(SDL_SCANCODE_F, 0x0430, KMOD_NONE).virtualKey, 'F');
}

TEST(Keys, KeypadFollowsNumLock) {
    SKeyTranslation on = TranslateKey(SDL_SCANCODE_KP_4, SDLK_KP_4, KMOD_NUM);
    EXPECT_TRUE(on.typesText);
    EXPECT_EQ(on.virtualKey, 100);  // numpad 4
    SKeyTranslation off = TranslateKey(SDL_SCANCODE_KP_4, SDLK_KP_4, KMOD_NONE);
    EXPECT_FALSE(off.HasCharacter());
    EXPECT_EQ(off.virtualKey, 37);
    EXPECT_EQ(off.scanCode * 256, 19200);  // same code as the grey Left key
    EXPECT_TRUE(TranslateKey(SDL_SCANCODE_KP_PLUS, SDLK_KP_PLUS, KMOD_NONE).typesText);
    // Shift gives the navigation keys whatever Num Lock says, and no digit.
    for (unsigned mods : {unsigned(KMOD_NUM | KMOD_LSHIFT), unsigned(KMOD_RSHIFT)}) {
        SKeyTranslation shifted = TranslateKey(SDL_SCANCODE_KP_4, SDLK_KP_4, mods);
        EXPECT_FALSE(shifted.HasCharacter()) << mods;
        EXPECT_TRUE(shifted.suppressText) << mods;
        EXPECT_EQ(shifted.virtualKey, 37) << mods;
        EXPECT_EQ(shifted.scanCode * 256, 19200) << mods;
    }
    EXPECT_EQ(TranslateKey(SDL_SCANCODE_KP_PERIOD, SDLK_KP_PERIOD, KMOD_NUM | KMOD_LSHIFT).virtualKey, 46);
}

TEST(Keys, FlagsWord) {
    SKeyTranslation left = TranslateKey(SDL_SCANCODE_LEFT, SDLK_LEFT, 0);
    std::uint32_t f = ove::MakeKeyFlags(left, false, false);
    EXPECT_EQ(ove::KeyFlagsScanCode(f), 0x4B);
    EXPECT_EQ(f & 0xFFFFu, 1u);
    EXPECT_TRUE(f & ove::kKeyFlagExtended);
    EXPECT_FALSE(f & (ove::kKeyFlagCharacter | ove::kKeyFlagRepeat));
    EXPECT_TRUE(ove::MakeKeyFlags(left, true, false) & ove::kKeyFlagRepeat);
    const std::uint32_t up = ove::MakeKeyFlags(left, false, true);
    EXPECT_EQ(up & (ove::kKeyFlagRelease | ove::kKeyFlagRepeat), ove::kKeyFlagRelease | ove::kKeyFlagRepeat);
    SKeyTranslation altA = TranslateKey(SDL_SCANCODE_A, SDLK_a, KMOD_LALT);
    EXPECT_TRUE(ove::MakeKeyFlags(altA, false, false) & ove::kKeyFlagAlt);
    EXPECT_TRUE(ove::MakeKeyFlags(TranslateKey(SDL_SCANCODE_A, SDLK_a, 0), false, false) & ove::kKeyFlagCharacter);
}

// Representatives of each kind, not a copy of the mapping.
// clang-format off
TEST(Keys, KeyCodesThatCanBeAskedWhetherHeld) {
    const std::pair<int, int> rows[] = {
        {19200, 37}, {13824, 161}, {13, 13}, {32, 32}, {'a', 'A'}, {'z', 'Z'}, {'A', 'A'}, {'0', '0'}, {'9', '9'},
        // no virtual key: function keys, keypad 5, Tab, Alt and Ctrl letters, punctuation
        {15104, 0}, {17408, 0}, {22528, 0}, {19456, 0}, {9, 0}, {321, 0}, {1, 0}, {43, 0}, {61, 0}, {-93, 0},
    };
    for (auto [code, vk] : rows) EXPECT_EQ(ove::KeyCodeToVirtualKey(code), vk) << code;
}
// clang-format on

TEST(Keys, VirtualKeysMapToTheirScancodes) {
    // The keypad's Left is not counted; letters by their US position (no keyboard map loaded).
    const struct {
        int vk;
        std::vector<int> scancodes;
    } rows[] = {
        {37, {SDL_SCANCODE_LEFT}},    {17, {SDL_SCANCODE_LCTRL, SDL_SCANCODE_RCTRL}},
        {160, {SDL_SCANCODE_LSHIFT}}, {13, {SDL_SCANCODE_RETURN, SDL_SCANCODE_KP_ENTER}},
        {'5', {SDL_SCANCODE_5}},      {32, {SDL_SCANCODE_SPACE}},
        {'Q', {SDL_SCANCODE_Q}},      {0, {}},
    };
    for (const auto& r : rows) {
        int out[4];
        ove::VirtualKeyScancodes(r.vk, out);
        std::vector<int> got;
        for (int sc : out) {
            if (sc == 0) break;
            got.push_back(sc);
        }
        EXPECT_EQ(got, r.scancodes) << r.vk;
    }
}

TEST(Keys, HeldKeysOfTheKeypadCountAsNavigationWithoutNumLock) {
    Uint8 state[SDL_NUM_SCANCODES] = {};
    state[SDL_SCANCODE_KP_4] = 1;
    state[SDL_SCANCODE_KP_PERIOD] = 1;
    EXPECT_TRUE(ove::IsVirtualKeyDownIn(state, SDL_NUM_SCANCODES, KMOD_NONE, 37));   // Left
    EXPECT_TRUE(ove::IsVirtualKeyDownIn(state, SDL_NUM_SCANCODES, KMOD_NONE, 46));   // Delete
    EXPECT_FALSE(ove::IsVirtualKeyDownIn(state, SDL_NUM_SCANCODES, KMOD_NONE, 39));  // Right
    EXPECT_FALSE(ove::IsVirtualKeyDownIn(state, SDL_NUM_SCANCODES, KMOD_NUM, 37));
    EXPECT_TRUE(ove::IsVirtualKeyDownIn(state, SDL_NUM_SCANCODES, KMOD_NUM | KMOD_LSHIFT, 37));
    EXPECT_FALSE(ove::IsVirtualKeyDownIn(state, SDL_NUM_SCANCODES, KMOD_NONE, 0));
    // A state array shorter than the keypad's scancodes is not read past its end.
    EXPECT_FALSE(ove::IsVirtualKeyDownIn(state, SDL_SCANCODE_KP_1, KMOD_NONE, 37));
    state[SDL_SCANCODE_LEFT] = 1;
    EXPECT_TRUE(ove::IsVirtualKeyDownIn(state, SDL_NUM_SCANCODES, KMOD_NUM, 37));
}
