// The desktop colours games can ask for (window, selection, title, button, menu, disabled text
// and tooltip colours). Linux desktops have no common table, so these are the colours of the
// classic light Windows theme, which the games were made against.
#pragma once
#include <cstdint>

namespace ove {

enum ESystemColour : int {
    kSysWindow = 0,
    kSysWindowText,
    kSysHighlight,
    kSysHighlightText,
    kSysActiveCaption,
    kSysCaptionText,
    kSysButtonFace,
    kSysButtonText,
    kSysMenu,
    kSysMenuText,
    kSysGrayText,
    kSysInfoBackground,
    kSysInfoText,
    kSystemColourCount
};

// Opaque 0xAARRGGBB colour of an entry; black for an index outside the table.
std::uint32_t GetSystemColour(int index);

}  // namespace ove
