#include "gui/Ticks.h"

#include <chrono>

namespace ove {

namespace {
TickQuery g_tickQuery = nullptr;
}

std::uint32_t GetGUITickCount() {
    if (g_tickQuery) return g_tickQuery();
    using namespace std::chrono;
    return static_cast<std::uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void SetGUITickQuery(TickQuery query) { g_tickQuery = query; }

}  // namespace ove
