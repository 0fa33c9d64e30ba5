#include "GameApiLogic.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "image/RunMask.h"

namespace ove {

namespace {

// Script values reach here as any 32-bit integers; the products are done in 64 bits and the
// results pinned to the 32-bit range instead of wrapping.
int32_t Clamp32(int64_t v) {
    constexpr int64_t lo = std::numeric_limits<int32_t>::min();
    constexpr int64_t hi = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(std::clamp(v, lo, hi));
}

// a * b / c with C truncation; 0 when c is 0. The one overflow case left (INT64_MIN / -1) cannot
// occur with 32-bit factors.
int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
    if (c == 0) return 0;
    return Clamp32(static_cast<int64_t>(a) * b / c);
}

}  // namespace

SGameSize BackdropDimensions(int32_t w, int32_t h, int32_t pictureWidth, int32_t pictureHeight) {
    if (w == 0 && h == 0) return {pictureWidth, pictureHeight};
    if (w == 0) return {MulDiv(pictureWidth, h, pictureHeight), h};
    if (h == 0) return {w, MulDiv(pictureHeight, w, pictureWidth)};
    return {w, h};
}

SGamePoint BackdropToScreen(const SBackdropGeometry& g, SGamePoint b) {
    if (!g.hasPicture) return {Clamp32(int64_t{b.x} + g.offsetX), Clamp32(int64_t{b.y} + g.offsetY)};
    // A picture with a zero side cannot be scaled from: that axis maps to 0 before the offset,
    // as the other zero sizes do.
    int64_t sx = g.pictureWidth != 0 ? int64_t{g.shownWidth} * b.x / g.pictureWidth : 0;
    int64_t sy = g.pictureHeight != 0 ? int64_t{g.shownHeight} * b.y / g.pictureHeight : 0;
    return {Clamp32(sx + g.offsetX), Clamp32(sy + g.offsetY)};
}

SGamePoint ScreenToBackdrop(const SBackdropGeometry& g, SGamePoint s) {
    int64_t dx = int64_t{s.x} - g.offsetX;
    int64_t dy = int64_t{s.y} - g.offsetY;
    if (!g.hasPicture) return {Clamp32(dx), Clamp32(dy)};
    int64_t bx = g.shownWidth != 0 ? dx * g.pictureWidth / g.shownWidth : 0;
    int64_t by = g.shownHeight != 0 ? dy * g.pictureHeight / g.shownHeight : 0;
    return {Clamp32(bx), Clamp32(by)};
}

int32_t PriorityViewportHeight(int32_t setting, int32_t shownHeight, bool hasPicture, int32_t pictureHeight,
                               int32_t rendererHeight) {
    if (setting >= 0) return setting;
    // Any non-zero shown height that fits counts, even a negative one from an odd
    // SetBackdropDimensions. A picture without rows would give a zero height to divide by.
    if (shownHeight != 0 && shownHeight <= rendererHeight) return shownHeight;
    if (hasPicture && pictureHeight > 0 && pictureHeight <= rendererHeight) return pictureHeight;
    return rendererHeight;
}

bool RandomRange(const int32_t* args, std::size_t count, int32_t* low, int32_t* high) {
    int32_t lo = 0, hi = 32767;
    if (count == 1) {
        hi = args[0];
    } else if (count >= 2) {
        lo = args[0];
        hi = args[count - 1];
    }
    if (lo > hi) return false;
    *low = lo;
    *high = hi;
    return true;
}

int32_t RandomInRange(int32_t low, int32_t high, int32_t draw) {
    int64_t size = int64_t{high} - low + 1;  // 1 .. 2^32, always positive here
    if (size <= 0) return low;
    return static_cast<int32_t>(int64_t{draw} % size + low);
}

int32_t RandomDraw15() { return std::rand() & 0x7FFF; }

std::string ProcessCommandLine(std::string_view programName, std::string_view params) {
    std::string line;
    if (programName.find(' ') != std::string_view::npos) {
        line += '"';
        line += programName;
        line += '"';
    } else {
        line += programName;
    }
    line += ' ';
    line += params;
    return line;
}

std::string ParamsFromCommandLine(std::string_view commandLine) {
    bool quoted = false;
    for (size_t i = 0; i < commandLine.size(); ++i) {
        char c = commandLine[i];
        if (c == '"') quoted = !quoted;
        else if (c == ' ' && !quoted) return std::string(commandLine.substr(i + 1));
    }
    return {};
}

uint8_t MaskValueAt(const CRunMask* mask, int32_t width, int32_t height, int32_t x, int32_t y) {
    if (!mask || x < 0 || y < 0 || x >= width || y >= height) return 0;
    uint64_t index = static_cast<uint64_t>(y) * static_cast<uint64_t>(width) + static_cast<uint64_t>(x);
    return index > UINT32_MAX ? 0 : mask->ValueAt(static_cast<uint32_t>(index));
}

std::string JoinAlertText(const std::vector<std::string>& parts) {
    std::string text;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) text += ' ';
        text += parts[i];
    }
    return text;
}

}  // namespace ove
