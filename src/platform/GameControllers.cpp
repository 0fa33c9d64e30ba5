#include "GameControllers.h"

#include <cmath>
#include <limits>

namespace ove {

double ScaleAxis(int32_t raw, int32_t min, int32_t max) {
    if (max == min) return std::numeric_limits<double>::quiet_NaN();
    return 2.0 * (static_cast<double>(raw) - min) / (static_cast<double>(max) - min) - 1.0;
}

int32_t PovDegrees(uint32_t pov) {
    // Only 0 ... 359.99 degrees name a direction; anything else counts as centred.
    return pov < 36000 ? static_cast<int32_t>(pov / 100) : -1;
}

namespace {

void Disconnect(SGameController& record) {
    const uint32_t id = record.id;
    record = {};
    record.id = id;
    for (double& a : record.axes) a = std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

bool PollGameController(IJoystickSource& source, SGameController& record) {
    SJoystickPosition position;
    if (!source.GetPosition(record.id, position)) {
        if (record.connected) Disconnect(record);
        return false;
    }
    if (!record.connected || record.device != position.device) {
        SJoystickCaps caps;
        if (!source.GetCaps(record.id, caps)) {
            Disconnect(record);
            return false;
        }
        record.name = caps.name;
        for (int a = 0; a < kJoystickAxes; ++a) {
            record.axisMin[a] = caps.axisMin[a];
            record.axisMax[a] = caps.axisMax[a];
            record.axisPresent[a] = caps.axisPresent[a];
        }
        record.hasPov = caps.hasPov;
        record.buttonCount = caps.buttonCount > kJoystickMaxButtons ? kJoystickMaxButtons : caps.buttonCount;
        record.device = position.device;
        record.connected = true;
    }
    record.buttons = position.buttons;
    for (int a = 0; a < kJoystickAxes; ++a)
        record.axes[a] = ScaleAxis(position.axes[a], record.axisMin[a], record.axisMax[a]);
    record.pov = record.hasPov ? position.pov : kPovCentred;
    return true;
}

std::vector<const SGameController*> CGameControllers::Read(IJoystickSource& source) {
    std::vector<const SGameController*> listed;
    const uint32_t count = source.DeviceCount();
    for (uint32_t index = 0; index < count; ++index) {
        auto [it, added] = m_records.try_emplace(index);
        if (added) it->second.id = index;
        if (PollGameController(source, it->second)) listed.push_back(&it->second);
    }
    return listed;
}

}  // namespace ove
