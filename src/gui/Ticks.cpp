#include "gui/Ticks.h"

#include "platform/Clock.h"

namespace ove {

namespace {
TickQuery g_tickQuery = nullptr;
}

std::uint32_t GetGUITickCount() {
    if (g_tickQuery) return g_tickQuery();
    return ClockMilliseconds();
}

void SetGUITickQuery(TickQuery query) { g_tickQuery = query; }

}  // namespace ove
