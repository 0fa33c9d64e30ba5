// Game controllers: ReadGameControllers on a scripted device source, and on SDL's virtual
// joysticks through the system source.
#include <gtest/gtest.h>

#include <SDL.h>

#include <vector>

#include "bindings/JSInput.h"
#include "platform/Joystick.h"
#include "support/ScriptFixture.h"

using namespace ove;

namespace {

// Devices whose answers the test sets directly.
class CFakeJoysticks : public IJoystickSource {
public:
    struct SDevice {
        bool present = true;
        SJoystickCaps caps;
        SJoystickPosition position;
    };
    std::vector<SDevice> devices;
    int capsReads = 0;

    uint32_t DeviceCount() override { return static_cast<uint32_t>(devices.size()); }
    bool GetPosition(uint32_t index, SJoystickPosition& position) override {
        if (index >= devices.size() || !devices[index].present) return false;
        position = devices[index].position;
        return true;
    }
    bool GetCaps(uint32_t index, SJoystickCaps& caps) override {
        ++capsReads;
        if (index >= devices.size() || !devices[index].present) return false;
        caps = devices[index].caps;
        return true;
    }

    // A stick with x, y and a throttle on z, a hat and four buttons.
    static SDevice Stick(const char* name, uint32_t device) {
        SDevice d;
        d.caps.name = name;
        for (int a = 0; a < 3; ++a) {
            d.caps.axisPresent[a] = true;
            d.caps.axisMin[a] = 0;
            d.caps.axisMax[a] = 65535;
        }
        d.caps.hasPov = true;
        d.caps.buttonCount = 4;
        d.position.device = device;
        return d;
    }
};

}  // namespace

class ControllerScriptTest : public ovetest::ScriptTest {
protected:
    void TearDown() override {
        SetJoystickSource(nullptr);
        ScriptTest::TearDown();
    }
};

TEST_F(ControllerScriptTest, ObjectsCarryPresentAxesHatAndButtons) {
    CFakeJoysticks fake;
    fake.devices = {CFakeJoysticks::Stick("Flight stick", 1)};
    SJoystickCaps& caps = fake.devices[0].caps;
    caps.axisPresent[4] = true;  // u with a degenerate range
    caps.axisMin[4] = caps.axisMax[4] = 100;
    SJoystickPosition& pos = fake.devices[0].position;
    pos.axes[0] = 0, pos.axes[1] = 65535, pos.axes[4] = 100;
    pos.axes[2] = 16383;                // a quarter of the way
    pos.buttons = 0b1010 | (1u << 20);  // a bit beyond the button count is not listed
    pos.pov = kPovCentred;
    SetJoystickSource(&fake);

    Run("var c = ReadGameControllers(); var s = c[0];");
    EXPECT_EQ(Eval("c.length"), "1");
    EXPECT_EQ(Eval("[s.id, s.name].join()"), "0,Flight stick");
    EXPECT_EQ(Eval("Object.keys(s.axes).join()"), "x,y,z,u");
    EXPECT_EQ(Eval("[s.axes.x, s.axes.y, isNaN(s.axes.u)].join()"), "-1,1,true");
    EXPECT_EQ(Eval("Math.abs(s.axes.z + 0.5) < 0.0001"), "true");
    EXPECT_EQ(Eval("s.pov"), "false");
    EXPECT_EQ(Eval("s.buttons.join()"), "false,true,false,true");
    EXPECT_EQ(HatToPov(SDL_HAT_UP | SDL_HAT_DOWN), kPovCentred);

    pos.pov = 9000;
    EXPECT_EQ(Eval("ReadGameControllers()[0].pov"), "90");
    pos.pov = 36000;  // out of range: centred
    EXPECT_EQ(Eval("ReadGameControllers()[0].pov"), "false");

    // A device without a hat has no pov at all; one that stops answering is left out.
    fake.devices.push_back(CFakeJoysticks::Stick("No hat", 2));
    fake.devices[1].caps.hasPov = false;
    EXPECT_EQ(Eval("'pov' in ReadGameControllers()[1]"), "false");
    fake.devices[0].present = false;
    EXPECT_EQ(Eval("var l = ReadGameControllers(); [l.length, l[0].id, l[0].name].join()"), "1,1,No hat");
    // Capabilities are read when a device (re)connects, or another device takes its index.
    EXPECT_EQ(fake.capsReads, 2);
    fake.devices[0].present = true;
    fake.devices[1].position.device = 9;
    fake.devices[1].caps.name = "Other";
    EXPECT_EQ(Eval("ReadGameControllers().map(function (c) { return c.name; }).join()"), "Flight stick,Other");
    EXPECT_EQ(fake.capsReads, 4);
}

// The system source on SDL's joysticks. Virtual devices stand in for real ones.
class SystemJoystickTest : public ovetest::ScriptTest {
protected:
    void SetUp() override {
        ScriptTest::SetUp();
        SetJoystickSource(nullptr);
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
        if (SDL_NumJoysticks() > 0) GTEST_SKIP() << "this machine has joysticks";
    }
    void TearDown() override {
        for (SDL_Joystick* j : m_opened) SDL_JoystickClose(j);
        for (int i = SDL_NumJoysticks() - 1; i >= 0; --i)
            if (SDL_JoystickIsVirtual(i)) SDL_JoystickDetachVirtual(i);
        ScriptTest::TearDown();
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }
    // Attaches a virtual device and opens it for setting its state.
    SDL_Joystick* Attach(SDL_JoystickType type, int axes, int buttons, int hats) {
        const int index = SDL_JoystickAttachVirtual(type, axes, buttons, hats);
        EXPECT_GE(index, 0) << SDL_GetError();
        SDL_Joystick* j = index >= 0 ? SDL_JoystickOpen(index) : nullptr;
        if (j) m_opened.push_back(j);
        return j;
    }
    std::vector<SDL_Joystick*> m_opened;
};

TEST_F(SystemJoystickTest, AVirtualStickReportsAxesHatAndButtons) {
    EXPECT_EQ(Eval("var l = ReadGameControllers(); Array.isArray(l) + ',' + l.length"), "true,0");
    SDL_Joystick* stick = Attach(SDL_JOYSTICK_TYPE_FLIGHT_STICK, 3, 5, 1);
    ASSERT_NE(stick, nullptr);
    ASSERT_FALSE(SDL_IsGameController(0)) << "expected a plain joystick";
    SDL_JoystickSetVirtualAxis(stick, 0, SDL_JOYSTICK_AXIS_MIN);
    SDL_JoystickSetVirtualAxis(stick, 1, SDL_JOYSTICK_AXIS_MAX);
    SDL_JoystickSetVirtualAxis(stick, 2, 0);
    SDL_JoystickSetVirtualButton(stick, 1, SDL_PRESSED);
    SDL_JoystickSetVirtualButton(stick, 4, SDL_PRESSED);
    SDL_JoystickSetVirtualHat(stick, 0, SDL_HAT_LEFTDOWN);
    Run("var l = ReadGameControllers(); var s = l[0];");
    EXPECT_EQ(Eval("l.length"), "1");
    EXPECT_EQ(Eval("Object.keys(s.axes).join()"), "x,y,z");
    EXPECT_EQ(Eval("[s.axes.x, s.axes.y, Math.abs(s.axes.z) < 0.0001].join()"), "-1,1,true");
    EXPECT_EQ(Eval("s.buttons.join()"), "false,true,false,false,true");
    EXPECT_EQ(Eval("s.pov"), "225");

    // Unplugged: left out of the next list.
    SDL_JoystickDetachVirtual(0);
    EXPECT_EQ(Eval("ReadGameControllers().length"), "0");
}

TEST_F(SystemJoystickTest, AKnownPadIsReadThroughItsMapping) {
    SDL_Joystick* pad = Attach(SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX, SDL_CONTROLLER_BUTTON_MAX, 0);
    ASSERT_NE(pad, nullptr);
    if (!SDL_IsGameController(0)) GTEST_SKIP() << "SDL gives virtual pads no mapping here";
    // Opened at rest first: SDL puts a pad's triggers at rest when the pad is opened.
    EXPECT_EQ(Eval("var s = ReadGameControllers()[0]; [Math.abs(s.axes.x) < 0.001, s.axes.u, s.axes.v, s.pov].join()"),
              "true,-1,-1,false");
    SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_LEFTX, SDL_JOYSTICK_AXIS_MAX);
    SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, SDL_JOYSTICK_AXIS_MAX);
    SDL_JoystickSetVirtualButton(pad, SDL_CONTROLLER_BUTTON_B, SDL_PRESSED);
    SDL_JoystickSetVirtualButton(pad, SDL_CONTROLLER_BUTTON_START, SDL_PRESSED);
    SDL_JoystickSetVirtualButton(pad, SDL_CONTROLLER_BUTTON_DPAD_RIGHT, SDL_PRESSED);
    Run("var s = ReadGameControllers()[0];");
    EXPECT_EQ(Eval("Object.keys(s.axes).join()"), "x,y,z,r,u,v");
    // Triggers rest at -1 and read 1 fully pressed.
    EXPECT_EQ(Eval("[s.axes.x, s.axes.u, s.axes.v].join()"), "1,-1,1");
    EXPECT_EQ(Eval("s.buttons.length"), "11");
    EXPECT_EQ(Eval("[s.buttons[0], s.buttons[1], s.buttons[7]].join()"), "false,true,true");
    EXPECT_EQ(Eval("s.pov"), "90");
}
