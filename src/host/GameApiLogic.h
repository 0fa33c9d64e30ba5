// Arithmetic behind the global game API: backdrop sizing and coordinate mapping, the priority
// viewport height, random ranges, the program's parameter line and Alert's text. Platform-free,
// so the game host and the bindings share one tested copy.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ove {

class CRunMask;

struct SGamePoint {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const SGamePoint&) const = default;
};

struct SGameSize {
    int32_t width = 0;
    int32_t height = 0;
    bool operator==(const SGameSize&) const = default;
};

// What the backdrop mapping needs from the game host.
struct SBackdropGeometry {
    bool hasPicture = false;
    int32_t pictureWidth = 0, pictureHeight = 0;  // the loaded picture's size
    int32_t shownWidth = 0, shownHeight = 0;      // backdropWidth, backdropHeight
    int32_t offsetX = 0, offsetY = 0;             // backdropX, backdropY
};

// Shown size for a requested (w, h) over a picture of pw x ph (0 x 0 without a picture): a zero
// side follows the picture's aspect from the other, both zero give the picture's own size.
// A zero picture side never divides: the derived side is 0 then.
SGameSize BackdropDimensions(int32_t w, int32_t h, int32_t pictureWidth, int32_t pictureHeight);

// backdrop -> screen: shown * b / picture + offset, per axis (truncating). Without a picture only
// the offset is applied; a zero picture side maps that axis to the offset.
SGamePoint BackdropToScreen(const SBackdropGeometry& g, SGamePoint backdrop);
// screen -> backdrop: (s - offset) * picture / shown. A zero shown side maps that axis to 0.
SGamePoint ScreenToBackdrop(const SBackdropGeometry& g, SGamePoint screen);

// Height used for automatic sprite depths. A setting >= 0 wins; otherwise the shown backdrop
// height when it is non-zero and fits the renderer, else the picture's height when it is
// positive and fits, else the renderer's height.
int32_t PriorityViewportHeight(int32_t setting, int32_t shownHeight, bool hasPicture, int32_t pictureHeight,
                               int32_t rendererHeight);

// RandomInt's range from its `count` integer arguments: none 0..32767, one 0..a, more
// first..last. False (outputs untouched) when low > high.
bool RandomRange(const int32_t* args, std::size_t count, int32_t* low, int32_t* high);
// Maps a draw of the 15-bit generator (0..32767) into [low, high]; the range size is computed in
// 64 bits so ranges wider than 32 bits work (the draw then lands in low .. low + 32767).
int32_t RandomInRange(int32_t low, int32_t high, int32_t draw);
// One draw of the 15-bit generator (the C library's rand(), reduced to 0..32767).
int32_t RandomDraw15();

// The command line as the program received it: the program name (quoted when it holds a space)
// followed by the game's parameters.
std::string ProcessCommandLine(std::string_view programName, std::string_view params);
// Skips the program name: everything up to and including the first space outside double quotes.
// A line without such a space is all program name and gives "".
std::string ParamsFromCommandLine(std::string_view commandLine);

// Value of a backdrop mask at a backdrop pixel (row-major over a picture `width` pixels wide);
// 0 without a mask and outside the picture, so a point past the right edge never reads the
// next row.
uint8_t MaskValueAt(const CRunMask* mask, int32_t width, int32_t height, int32_t x, int32_t y);

// Alert's text: the parts joined with single spaces.
std::string JoinAlertText(const std::vector<std::string>& parts);

}  // namespace ove
