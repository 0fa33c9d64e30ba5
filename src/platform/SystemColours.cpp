#include "SystemColours.h"

namespace ove {

namespace {
constexpr std::uint32_t kColours[kSystemColourCount] = {
    0xFFFFFFFFu,  // window background: white
    0xFF000000u,  // window text
    0xFF0A246Au,  // selection: dark blue
    0xFFFFFFFFu,  // selected text
    0xFF0A246Au,  // active title bar
    0xFFFFFFFFu,  // title text
    0xFFD4D0C8u,  // button face: warm grey
    0xFF000000u,  // button text
    0xFFD4D0C8u,  // menu
    0xFF000000u,  // menu text
    0xFF808080u,  // disabled text
    0xFFFFFFE1u,  // tooltip: pale yellow
    0xFF000000u,  // tooltip text
};
}  // namespace

std::uint32_t GetSystemColour(int index) {
    if (index < 0 || index >= kSystemColourCount) return 0xFF000000u;
    return kColours[index];
}

}  // namespace ove
