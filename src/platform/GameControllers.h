// The records of the game controllers that script reads: one per device index, kept between
// reads, filled in from the device's capabilities when it (re)connects and updated on each poll.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/Joystick.h"

namespace ove {

struct SGameController {
    uint32_t id = 0;
    std::string name;
    bool connected = false;
    uint32_t device = 0;
    int32_t axisMin[kJoystickAxes] = {};
    int32_t axisMax[kJoystickAxes] = {};
    bool axisPresent[kJoystickAxes] = {};
    bool hasPov = false;
    uint32_t buttonCount = 0;
    uint32_t buttons = 0;
    double axes[kJoystickAxes] = {};
    uint32_t pov = kPovCentred;
};

// raw within min ... max as -1 ... 1; NaN for a degenerate range.
double ScaleAxis(int32_t raw, int32_t min, int32_t max);
// Whole degrees of a hat value, or -1 when it is centred.
int32_t PovDegrees(uint32_t pov);

// Polls one record: false (and the record is reset to unconnected) when the device does not
// answer. A device seen for the first time, or a different device at the same index, has its
// capabilities read first.
bool PollGameController(IJoystickSource& source, SGameController& record);

class CGameControllers {
public:
    // Polls every device index; the controllers that answered, in index order.
    std::vector<const SGameController*> Read(IJoystickSource& source);
    void Clear() { m_records.clear(); }

private:
    std::map<uint32_t, SGameController> m_records;
};

}  // namespace ove
