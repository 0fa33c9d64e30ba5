#include "render/Cel.h"

namespace ove {

void Place(const SCel& cel, int horizontal, int vertical, std::int32_t width, std::int32_t height,
           SCelCorner corners[4]) {
    std::int32_t a = horizontal == kAlignCentre ? (width >> 1) : horizontal == kAlignRight ? width - 1 : 0;
    std::int32_t b = vertical == kAlignMiddle ? (height >> 1) : vertical == kAlignBottom ? height - 1 : 0;
    float left = float(cel.xOffset - a);
    float top = float(cel.yOffset - b);
    float right = left + float(width);
    float bottom = top + float(height);
    corners[0] = {left, top, cel.uLeft, cel.vTop};
    corners[1] = {right, top, cel.uRight, cel.vTop};
    corners[2] = {right, bottom, cel.uRight, cel.vBottom};
    corners[3] = {left, bottom, cel.uLeft, cel.vBottom};
}

}  // namespace ove
