#include "Clock.h"

#include <chrono>

namespace ove {

namespace {

using SteadyClock = std::chrono::steady_clock;

bool g_virtual = false;
double g_virtualNow = 0;
// 2001-01-01 00:00:00 UTC: any fixed day would do, as long as every run starts there.
constexpr double kVirtualEpochMs = 978307200000.0;

SteadyClock::time_point Start() {
    static const SteadyClock::time_point start = SteadyClock::now();
    return start;
}

}  // namespace

void SetVirtualClock(bool on) {
    if (on && !g_virtual) g_virtualNow = 0;
    g_virtual = on;
}

bool ClockIsVirtual() { return g_virtual; }

double ClockSeconds() {
    if (g_virtual) return g_virtualNow;
    return std::chrono::duration<double>(SteadyClock::now() - Start()).count();
}

std::uint32_t ClockMilliseconds() {
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ClockSeconds() * 1000.0));
}

void AdvanceClockTo(double seconds) {
    if (g_virtual && seconds > g_virtualNow) g_virtualNow = seconds;
}

double WallClockMilliseconds() {
    if (g_virtual) return kVirtualEpochMs + g_virtualNow * 1000.0;
    using namespace std::chrono;
    return static_cast<double>(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

}  // namespace ove
