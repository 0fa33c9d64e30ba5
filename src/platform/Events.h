// The event pump: SDL events become window messages delivered to the message target (the
// window object) of the SDL window they belong to. Messages are processed only when the engine
// pumps; until then input waits in SDL's queue.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct SDL_Window;

namespace ove {

enum class EMessage : std::uint32_t {
    Close,        // the user asked to close the window
    Size,         // x, y: new client size; param: 0 restored, 2 maximised
    Move,         // x, y: client origin on the desktop
    Paint,        // the window's content was lost
    Activate,     // param: 1 active, 0 inactive
    ActivateApp,  // param: 1 the application became active, 0 it lost activation
    SetFocus,     // keyboard focus gained
    KillFocus,    // keyboard focus lost
    SetCursor,    // the pointer moved over the client area: choose the cursor
    KeyDown,      // param: virtual key; flags: key flags (Keys.h)
    KeyUp,
    SysKeyDown,  // Alt chords and F10
    SysKeyUp,
    Char,         // param: code page 1252 byte (0..255); flags: the key's flags
    SysChar,      // a character typed with Alt held
    MouseMove,    // x, y: client coordinates; flags: mouse key state (kMouse...)
    LButtonDown,  // clicks: 1 single, 2 double, ...
    LButtonUp,
    RButtonDown,
    RButtonUp,
    MButtonDown,
    MButtonUp,
    MouseWheel,     // param: delta, 120 per notch, positive away from the user; x, y: pointer
    Timer,          // param: timer id
    DisplayChange,  // param: bits per pixel; x, y: desktop size
    DropFiles,      // text: the dropped file's path (code page 1252)
};

// Mouse key-state bits of mouse messages.
enum : std::uint32_t {
    kMouseLeft = 0x01,
    kMouseRight = 0x02,
    kMouseShift = 0x04,
    kMouseControl = 0x08,
    kMouseMiddle = 0x10,
};

struct SMessage {
    EMessage message = EMessage::Paint;
    std::int32_t x = 0, y = 0;
    std::int32_t param = 0;
    std::uint32_t flags = 0;
    std::int32_t clicks = 0;
    const char* text = nullptr;
};

// Receives the messages of one SDL window.
class IMessageTarget {
public:
    virtual void WindowProc(const SMessage& message) = 0;

protected:
    ~IMessageTarget() = default;
};

// Messages of the SDL window go to the target from now on.
void AttachMessageTarget(SDL_Window* window, IMessageTarget* target);
// Forgets the target: its windows and its timers.
void DetachMessageTarget(IMessageTarget* target);

// Processes every pending event, then the timers that are due. False when a quit was requested
// (SDL_QUIT, or PostQuit); the request is consumed, so the next pump goes on normally.
bool PumpEvents();
// Waits up to timeoutMs for an event, then pumps. Used by modal loops.
bool WaitAndPumpEvents(std::uint32_t timeoutMs);
// Requests the end of the game: the next pump reports it (once, however often it is asked).
void PostQuit();
// Queues a close request for the window, as if the user had clicked its close box.
void PostWindowClose(SDL_Window* window);
// Moves pending system input into SDL's queue without processing it (the held-key state is
// brought up to date; the events stay queued for the next pump).
void GatherEvents();

// ---- Input recording and replay, by game turn (the format is in docs/formats.md).
// Every input event the pumps deliver is written with the turn and the pump within the turn it
// came in. False when the file cannot be written. `header` lines go first (seed, window size).
bool StartInputRecording(const std::string& path, const std::string& header, std::string* error);
// What a replay file asks for besides its events.
struct SReplaySettings {
    bool hasSeed = false;
    std::uint32_t seed = 0;
    std::int32_t width = 0, height = 0;               // 0: as the game's settings say
    std::vector<std::pair<long, std::string>> shots;  // screenshots: turn, file
};
// Loads the events; from then on the pumps deliver them at their turns and pumps, and ignore
// input from the devices. False, with a message naming the line, when the file cannot be read.
bool StartInputReplay(const std::string& path, SReplaySettings& settings, std::string* error);
// A new game turn begins (recording and replay count pumps within it).
void BeginInputTurn(long turn);
// Ends recording (flushes the file) and replay.
void StopInputLog();

// A timer that sends EMessage::Timer with the id to the target every intervalMs milliseconds,
// delivered by the pump, until killed. Setting an existing id restarts it.
void SetWindowTimer(IMessageTarget* target, std::uint32_t id, std::uint32_t intervalMs);
void KillWindowTimer(IMessageTarget* target, std::uint32_t id);

}  // namespace ove
