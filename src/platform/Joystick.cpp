#include "Joystick.h"

#include <SDL.h>

#include <algorithm>
#include <map>

namespace ove {

uint32_t HatToPov(uint8_t hat) {
    switch (hat & 0x0F) {
    case SDL_HAT_UP: return 0;
    case SDL_HAT_RIGHTUP: return 4500;
    case SDL_HAT_RIGHT: return 9000;
    case SDL_HAT_RIGHTDOWN: return 13500;
    case SDL_HAT_DOWN: return 18000;
    case SDL_HAT_LEFTDOWN: return 22500;
    case SDL_HAT_LEFT: return 27000;
    case SDL_HAT_LEFTUP: return 31500;
    default: return kPovCentred;  // centred, or opposite directions at once
    }
}

namespace {

// Buttons of a mapped pad in the order a Windows driver numbers them for the common pads:
// face buttons, shoulders, back/start, stick clicks, then the guide button. The d-pad is the hat.
constexpr SDL_GameControllerButton kPadButtons[] = {
    SDL_CONTROLLER_BUTTON_A,
    SDL_CONTROLLER_BUTTON_B,
    SDL_CONTROLLER_BUTTON_X,
    SDL_CONTROLLER_BUTTON_Y,
    SDL_CONTROLLER_BUTTON_LEFTSHOULDER,
    SDL_CONTROLLER_BUTTON_RIGHTSHOULDER,
    SDL_CONTROLLER_BUTTON_BACK,
    SDL_CONTROLLER_BUTTON_START,
    SDL_CONTROLLER_BUTTON_LEFTSTICK,
    SDL_CONTROLLER_BUTTON_RIGHTSTICK,
    SDL_CONTROLLER_BUTTON_GUIDE,
};
constexpr uint32_t kPadButtonCount = sizeof kPadButtons / sizeof kPadButtons[0];

// x, y: left stick; z, r: right stick across and down; u, v: left and right trigger (at rest at
// the bottom of their range).
constexpr SDL_GameControllerAxis kPadAxes[kJoystickAxes] = {
    SDL_CONTROLLER_AXIS_LEFTX,  SDL_CONTROLLER_AXIS_LEFTY,       SDL_CONTROLLER_AXIS_RIGHTX,
    SDL_CONTROLLER_AXIS_RIGHTY, SDL_CONTROLLER_AXIS_TRIGGERLEFT, SDL_CONTROLLER_AXIS_TRIGGERRIGHT,
};

struct SDevice {
    SDL_Joystick* joystick = nullptr;          // always set
    SDL_GameController* controller = nullptr;  // set for mapped pads (owns the joystick then)
};

class CSystemJoysticks final : public IJoystickSource {
public:
    // Nothing is closed at exit: SDL_Quit has closed the devices by then.
    uint32_t DeviceCount() override {
        if (!Start()) return 0;
        // The states move only when SDL polls the devices; other events stay queued.
        SDL_JoystickUpdate();
        int n = SDL_NumJoysticks();
        return n > 0 ? static_cast<uint32_t>(n) : 0;
    }

    bool GetPosition(uint32_t index, SJoystickPosition& position) override {
        SDevice* device = Find(index);
        if (!device) return false;
        position = {};
        position.device = static_cast<uint32_t>(SDL_JoystickInstanceID(device->joystick));
        if (device->controller) {
            SDL_GameController* pad = device->controller;
            for (int a = 0; a < kJoystickAxes; ++a) position.axes[a] = SDL_GameControllerGetAxis(pad, kPadAxes[a]);
            for (uint32_t b = 0; b < kPadButtonCount; ++b)
                if (SDL_GameControllerGetButton(pad, kPadButtons[b])) position.buttons |= 1u << b;
            uint8_t hat = 0;
            if (SDL_GameControllerGetButton(pad, SDL_CONTROLLER_BUTTON_DPAD_UP)) hat |= SDL_HAT_UP;
            if (SDL_GameControllerGetButton(pad, SDL_CONTROLLER_BUTTON_DPAD_RIGHT)) hat |= SDL_HAT_RIGHT;
            if (SDL_GameControllerGetButton(pad, SDL_CONTROLLER_BUTTON_DPAD_DOWN)) hat |= SDL_HAT_DOWN;
            if (SDL_GameControllerGetButton(pad, SDL_CONTROLLER_BUTTON_DPAD_LEFT)) hat |= SDL_HAT_LEFT;
            position.pov = HatToPov(hat);
            return true;
        }
        SDL_Joystick* stick = device->joystick;
        const int axes = std::min(SDL_JoystickNumAxes(stick), kJoystickAxes);
        for (int a = 0; a < axes; ++a) position.axes[a] = SDL_JoystickGetAxis(stick, a);
        const int buttons = std::min<int>(SDL_JoystickNumButtons(stick), kJoystickMaxButtons);
        for (int b = 0; b < buttons; ++b)
            if (SDL_JoystickGetButton(stick, b)) position.buttons |= 1u << b;
        if (SDL_JoystickNumHats(stick) > 0) position.pov = HatToPov(SDL_JoystickGetHat(stick, 0));
        return true;
    }

    bool GetCaps(uint32_t index, SJoystickCaps& caps) override {
        SDevice* device = Find(index);
        if (!device) return false;
        caps = {};
        if (device->controller) {
            const char* name = SDL_GameControllerName(device->controller);
            caps.name = name ? name : "";
            for (int a = 0; a < kJoystickAxes; ++a) {
                caps.axisPresent[a] = true;
                caps.axisMin[a] = a >= 4 ? 0 : SDL_JOYSTICK_AXIS_MIN;
                caps.axisMax[a] = SDL_JOYSTICK_AXIS_MAX;
            }
            caps.hasPov = true;
            caps.buttonCount = kPadButtonCount;
            return true;
        }
        SDL_Joystick* stick = device->joystick;
        const char* name = SDL_JoystickName(stick);
        caps.name = name ? name : "";
        const int axes = std::min(SDL_JoystickNumAxes(stick), kJoystickAxes);
        for (int a = 0; a < axes; ++a) {
            caps.axisPresent[a] = true;
            caps.axisMin[a] = SDL_JOYSTICK_AXIS_MIN;
            caps.axisMax[a] = SDL_JOYSTICK_AXIS_MAX;
        }
        caps.hasPov = SDL_JoystickNumHats(stick) > 0;
        caps.buttonCount = static_cast<uint32_t>(
            std::clamp<int>(SDL_JoystickNumButtons(stick), 0, kJoystickMaxButtons));
        return true;
    }

    void Close() {
        if (!SDL_WasInit(SDL_INIT_GAMECONTROLLER)) m_started = false;  // SDL closed them itself
        if (m_started)
            for (auto& [id, device] : m_devices) Release(device);
        m_devices.clear();
        if (m_started) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
        m_started = false;
    }

private:
    bool Start() {
        if (m_started && !SDL_WasInit(SDL_INIT_GAMECONTROLLER)) {
            // SDL was shut down under us, closing every device.
            m_devices.clear();
            m_started = false;
        }
        if (!m_started) m_started = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
        return m_started;
    }

    static void Release(SDevice& device) {
        if (device.controller) SDL_GameControllerClose(device.controller);
        else if (device.joystick) SDL_JoystickClose(device.joystick);
        device = {};
    }

    // The open device at the index, opening it on first sight; devices that went away are let go.
    SDevice* Find(uint32_t index) {
        if (!Start() || index >= static_cast<uint32_t>(std::max(SDL_NumJoysticks(), 0))) return nullptr;
        const int i = static_cast<int>(index);
        const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(i);
        if (id < 0) return nullptr;
        for (auto it = m_devices.begin(); it != m_devices.end();) {
            if (!SDL_JoystickGetAttached(it->second.joystick)) {
                Release(it->second);
                it = m_devices.erase(it);
            } else {
                ++it;
            }
        }
        auto it = m_devices.find(id);
        if (it == m_devices.end()) {
            SDevice device;
            if (SDL_IsGameController(i)) {
                device.controller = SDL_GameControllerOpen(i);
                if (device.controller) device.joystick = SDL_GameControllerGetJoystick(device.controller);
            }
            if (!device.joystick) device.joystick = SDL_JoystickOpen(i);
            if (!device.joystick) return nullptr;
            it = m_devices.emplace(id, device).first;
        }
        return SDL_JoystickGetAttached(it->second.joystick) ? &it->second : nullptr;
    }

    bool m_started = false;
    std::map<SDL_JoystickID, SDevice> m_devices;
};

CSystemJoysticks& System() {
    static CSystemJoysticks joysticks;
    return joysticks;
}

}  // namespace

IJoystickSource& SystemJoysticks() { return System(); }

void CloseSystemJoysticks() { System().Close(); }

}  // namespace ove
