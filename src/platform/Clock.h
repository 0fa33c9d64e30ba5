// The engine's clock. Real time by default. Fixed-step runs make it virtual: it stands still while
// the game computes and moves only when the engine advances it (Wait advances it by exactly the
// time waited), so that the same run gives the same frames every time, as fast as they can be drawn.
#pragma once
#include <cstdint>

namespace ove {

void SetVirtualClock(bool on);
bool ClockIsVirtual();

// Seconds since the clock started (the first call).
double ClockSeconds();
// The same in milliseconds, wrapping as tick counts do.
std::uint32_t ClockMilliseconds();
// Virtual clock only: moves it forward to `seconds` (never backwards).
void AdvanceClockTo(double seconds);

// Milliseconds since 1970 as scripts see the date: real, or in virtual runs a fixed start date
// plus the virtual time.
double WallClockMilliseconds();

}  // namespace ove
