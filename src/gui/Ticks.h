// The millisecond tick count the widgets time themselves by (caret blink, double-click).
#pragma once
#include <cstdint>

namespace ove {

// Milliseconds since start-up (wraps after 49 days), or what an installed query says.
std::uint32_t GetGUITickCount();
// Installs a tick source (tests step time that way); null restores the real clock.
using TickQuery = std::uint32_t (*)();
void SetGUITickQuery(TickQuery query);

}  // namespace ove
