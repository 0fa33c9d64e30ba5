// Game controllers as the engine sees them: per device index, capabilities (name, axis ranges,
// a point-of-view hat, buttons) and the current position. The system source reads SDL's
// joysticks; pads SDL knows as game controllers are read through its controller mapping so that
// every known pad gives the same axes and buttons.
#pragma once
#include <cstdint>
#include <string>

namespace ove {

// Axes in the order the engine names them: x, y, z, r, u, v.
constexpr int kJoystickAxes = 6;
// The button bits of one position word.
constexpr uint32_t kJoystickMaxButtons = 32;
// Hat value of a centred point of view (hundredths of a degree otherwise).
constexpr uint32_t kPovCentred = 65535;

struct SJoystickCaps {
    std::string name;
    int32_t axisMin[kJoystickAxes] = {};
    int32_t axisMax[kJoystickAxes] = {};
    bool axisPresent[kJoystickAxes] = {};
    bool hasPov = false;
    uint32_t buttonCount = 0;
};

struct SJoystickPosition {
    // Identifies the device behind the index: another value means another device took the index.
    uint32_t device = 0;
    int32_t axes[kJoystickAxes] = {};
    uint32_t buttons = 0;  // bit i: button i pressed
    uint32_t pov = kPovCentred;
};

class IJoystickSource {
public:
    virtual ~IJoystickSource() = default;
    // Device indices run from 0 to the count - 1.
    virtual uint32_t DeviceCount() = 0;
    // False when no device answers at the index.
    virtual bool GetPosition(uint32_t index, SJoystickPosition& position) = 0;
    virtual bool GetCaps(uint32_t index, SJoystickCaps& caps) = 0;
};

// The joysticks of the machine. The joystick subsystem starts on first use.
IJoystickSource& SystemJoysticks();
// Lets go of every device the system source opened.
void CloseSystemJoysticks();

// Hat bits (up 1, right 2, down 4, left 8) as hundredths of a degree clockwise from forward.
uint32_t HatToPov(uint8_t hat);

}  // namespace ove
