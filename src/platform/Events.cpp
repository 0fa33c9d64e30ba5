#include "Events.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "Clock.h"
#include "CodePage.h"
#include "Keys.h"

namespace ove {

namespace {

struct STimer {
    IMessageTarget* target;
    std::uint32_t id;
    std::uint32_t interval;
    std::uint32_t due;
};

std::unordered_map<Uint32, IMessageTarget*> g_targets;  // by SDL window id
std::vector<STimer> g_timers;
bool g_quit = false;

// The last key press decides what the text input that follows it means.
bool g_suppressText = false;
bool g_altText = false;
std::uint32_t g_keyFlags = 1;
std::uint32_t g_mouseKeys = 0;

IMessageTarget* TargetOf(Uint32 windowId, bool keyboard) {
    if (windowId == 0) {
        SDL_Window* focus = keyboard ? SDL_GetKeyboardFocus() : SDL_GetMouseFocus();
        if (focus) windowId = SDL_GetWindowID(focus);
        else if (g_targets.size() == 1) return g_targets.begin()->second;
    }
    auto it = g_targets.find(windowId);
    if (it == g_targets.end()) {
        SDL_LogDebug(SDL_LOG_CATEGORY_APPLICATION, "No window object attached.");
        return nullptr;
    }
    return it->second;
}

void Send(IMessageTarget* target, EMessage kind, std::int32_t param = 0, std::uint32_t flags = 0, std::int32_t x = 0,
          std::int32_t y = 0, std::int32_t clicks = 0, const char* text = nullptr) {
    if (!target) return;
    SMessage m;
    m.message = kind;
    m.param = param;
    m.flags = flags;
    m.x = x;
    m.y = y;
    m.clicks = clicks;
    m.text = text;
    target->WindowProc(m);
}

std::uint32_t ModifierKeys(Uint16 mods) {
    std::uint32_t keys = 0;
    if (mods & KMOD_SHIFT) keys |= kMouseShift;
    if (mods & KMOD_CTRL) keys |= kMouseControl;
    return keys;
}

void OnWindowEvent(const SDL_WindowEvent& w) {
    IMessageTarget* target = TargetOf(w.windowID, false);
    if (!target) return;
    switch (w.event) {
    case SDL_WINDOWEVENT_SIZE_CHANGED: {
        SDL_Window* window = SDL_GetWindowFromID(w.windowID);
        int maximised = window && (SDL_GetWindowFlags(window) & SDL_WINDOW_MAXIMIZED) ? 2 : 0;
        Send(target, EMessage::Size, maximised, 0, w.data1, w.data2);
        break;
    }
    case SDL_WINDOWEVENT_MOVED: Send(target, EMessage::Move, 0, 0, w.data1, w.data2); break;
    case SDL_WINDOWEVENT_EXPOSED: Send(target, EMessage::Paint); break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        Send(target, EMessage::ActivateApp, 1);
        Send(target, EMessage::Activate, 1);
        Send(target, EMessage::SetFocus);
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        Send(target, EMessage::Activate, 0);
        Send(target, EMessage::ActivateApp, 0);
        Send(target, EMessage::KillFocus);
        break;
    case SDL_WINDOWEVENT_ENTER: Send(target, EMessage::SetCursor, 1); break;
    case SDL_WINDOWEVENT_CLOSE: Send(target, EMessage::Close); break;
    default: break;
    }
}

void OnKey(const SDL_KeyboardEvent& k) {
    const bool down = k.type == SDL_KEYDOWN;
    SKeyTranslation key = TranslateKey(k.keysym.scancode, k.keysym.sym, k.keysym.mod);
    if (down) {
        g_suppressText = key.suppressText;
        g_altText = key.alt;
    } else {
        g_suppressText = false;
        g_altText = false;
    }
    if (key.virtualKey == 0) return;
    IMessageTarget* target = TargetOf(k.windowID, true);
    std::uint32_t flags = MakeKeyFlags(key, k.repeat != 0, !down);
    if (down) {
        g_keyFlags = flags & ~kKeyFlagCharacter;
        Send(target, key.system ? EMessage::SysKeyDown : EMessage::KeyDown, key.virtualKey, flags);
        // Keys whose character SDL does not report as text type it here.
        if (key.character >= 0) Send(target, key.alt ? EMessage::SysChar : EMessage::Char, key.character, g_keyFlags);
    } else {
        Send(target, key.system ? EMessage::SysKeyUp : EMessage::KeyUp, key.virtualKey, flags);
    }
}

void OnText(const SDL_TextInputEvent& t) {
    if (g_suppressText && !g_altText) return;  // Ctrl chords type nothing but control characters
    IMessageTarget* target = TargetOf(t.windowID, true);
    for (char c : Utf8ToCp1252(t.text, '?')) {
        Send(target, g_altText ? EMessage::SysChar : EMessage::Char, static_cast<std::uint8_t>(c), g_keyFlags);
    }
}

void OnMouseButton(const SDL_MouseButtonEvent& b) {
    const bool down = b.type == SDL_MOUSEBUTTONDOWN;
    EMessage kind;
    std::uint32_t bit;
    switch (b.button) {
    case SDL_BUTTON_LEFT:
        kind = down ? EMessage::LButtonDown : EMessage::LButtonUp;
        bit = kMouseLeft;
        break;
    case SDL_BUTTON_RIGHT:
        kind = down ? EMessage::RButtonDown : EMessage::RButtonUp;
        bit = kMouseRight;
        break;
    case SDL_BUTTON_MIDDLE:
        kind = down ? EMessage::MButtonDown : EMessage::MButtonUp;
        bit = kMouseMiddle;
        break;
    default: return;
    }
    if (down) g_mouseKeys |= bit;
    else g_mouseKeys &= ~bit;
    Send(TargetOf(b.windowID, false), kind, 0, g_mouseKeys | ModifierKeys(SDL_GetModState()), b.x, b.y, b.clicks);
}

void OnMouseMotion(const SDL_MouseMotionEvent& m) {
    IMessageTarget* target = TargetOf(m.windowID, false);
    std::uint32_t keys = ModifierKeys(SDL_GetModState());
    if (m.state & SDL_BUTTON_LMASK) keys |= kMouseLeft;
    if (m.state & SDL_BUTTON_RMASK) keys |= kMouseRight;
    if (m.state & SDL_BUTTON_MMASK) keys |= kMouseMiddle;
    Send(target, EMessage::SetCursor, 1);
    Send(target, EMessage::MouseMove, 0, keys, m.x, m.y);
}

void OnMouseWheel(const SDL_MouseWheelEvent& w) {
    // 120 per notch; smooth-scrolling devices send fractions of a notch.
    float amount = w.preciseY != 0.0f ? w.preciseY : static_cast<float>(w.y);
    if (w.direction == SDL_MOUSEWHEEL_FLIPPED) amount = -amount;
    auto delta = static_cast<std::int32_t>(std::lround(amount * 120.0f));
    if (delta == 0) return;
    Send(TargetOf(w.windowID, false), EMessage::MouseWheel, delta, g_mouseKeys | ModifierKeys(SDL_GetModState()),
         w.mouseX, w.mouseY);
}

void OnDisplayEvent() {
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return;
    int bits = static_cast<int>(SDL_BITSPERPIXEL(mode.format));
    std::vector<IMessageTarget*> targets;
    for (auto& entry : g_targets) targets.push_back(entry.second);
    for (IMessageTarget* target : targets) Send(target, EMessage::DisplayChange, bits, 0, mode.w, mode.h);
}

void Dispatch(const SDL_Event& e) {
    switch (e.type) {
    case SDL_QUIT: g_quit = true; break;
    case SDL_WINDOWEVENT: OnWindowEvent(e.window); break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: OnKey(e.key); break;
    case SDL_TEXTINPUT: OnText(e.text); break;
    case SDL_MOUSEMOTION: OnMouseMotion(e.motion); break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: OnMouseButton(e.button); break;
    case SDL_MOUSEWHEEL: OnMouseWheel(e.wheel); break;
    case SDL_DISPLAYEVENT: OnDisplayEvent(); break;
    case SDL_DROPFILE:
        if (e.drop.file) {
            std::string path = Utf8ToCp1252(e.drop.file);
            SDL_free(e.drop.file);
            Send(TargetOf(e.drop.windowID, false), EMessage::DropFiles, 0, 0, 0, 0, 0, path.c_str());
        }
        break;
    case SDL_DROPTEXT: SDL_free(e.drop.file); break;
    default: break;
    }
}

bool TimeReached(std::uint32_t now, std::uint32_t due) { return static_cast<std::int32_t>(now - due) >= 0; }

void DeliverTimers() {
    if (g_timers.empty()) return;
    std::uint32_t now = ClockMilliseconds();
    std::vector<std::pair<IMessageTarget*, std::uint32_t>> due;
    for (STimer& t : g_timers) {
        if (TimeReached(now, t.due)) {
            due.emplace_back(t.target, t.id);
            t.due = now + t.interval;
        }
    }
    for (auto& [target, id] : due) {
        // A handler may have killed this timer meanwhile.
        bool alive = false;
        for (const STimer& t : g_timers) alive = alive || (t.target == target && t.id == id);
        if (alive) Send(target, EMessage::Timer, static_cast<std::int32_t>(id));
    }
}

}  // namespace

void AttachMessageTarget(SDL_Window* window, IMessageTarget* target) {
    if (!window) return;
    Uint32 id = SDL_GetWindowID(window);
    if (target) g_targets[id] = target;
    else g_targets.erase(id);
}

void DetachMessageTarget(IMessageTarget* target) {
    for (auto it = g_targets.begin(); it != g_targets.end();) {
        if (it->second == target) it = g_targets.erase(it);
        else ++it;
    }
    std::erase_if(g_timers, [target](const STimer& t) { return t.target == target; });
}

// ---- recording and replay

namespace {

struct SLoggedEvent {
    long turn = 0;
    long pump = 0;
    SDL_Event event{};
};

std::FILE* g_record = nullptr;
bool g_replaying = false;
std::vector<SLoggedEvent> g_replay;
std::size_t g_replayNext = 0;
long g_turn = 0, g_pump = 0;
std::vector<std::uint8_t> g_replayKeys(SDL_NUM_SCANCODES, 0);

bool IsInputEvent(Uint32 type) {
    switch (type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
    case SDL_TEXTINPUT:
    case SDL_TEXTEDITING:
    case SDL_MOUSEMOTION:
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
    case SDL_MOUSEWHEEL:
    case SDL_QUIT: return true;
    default: return false;
    }
}

// Marks the close requests the engine makes itself (--frames).
constexpr Sint32 kEngineClose = 0x6F7665;

bool IsCloseEvent(const SDL_Event& e) {
    return e.type == SDL_QUIT || (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_CLOSE);
}

bool IsPlayersClose(const SDL_Event& e) {
    return IsCloseEvent(e) && !(e.type == SDL_WINDOWEVENT && e.window.data1 == kEngineClose);
}

void Record(const SDL_Event& e) {
    if (!g_record) return;
    char line[256];
    line[0] = '\0';
    switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        std::snprintf(line, sizeof line, "key %s %d %d %u %u", e.type == SDL_KEYDOWN ? "down" : "up",
                      static_cast<int>(e.key.keysym.scancode), static_cast<int>(e.key.keysym.sym),
                      static_cast<unsigned>(e.key.keysym.mod), static_cast<unsigned>(e.key.repeat));
        break;
    case SDL_TEXTINPUT: {
        // As hexadecimal bytes: the text may hold spaces and anything else.
        std::string hex;
        for (const char* c = e.text.text; *c; ++c) {
            char two[3];
            std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(*c));
            hex += two;
        }
        std::snprintf(line, sizeof line, "text %s", hex.c_str());
        break;
    }
    case SDL_MOUSEMOTION:
        std::snprintf(line, sizeof line, "motion %d %d %u", e.motion.x, e.motion.y,
                      static_cast<unsigned>(e.motion.state));
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        std::snprintf(line, sizeof line, "button %s %u %u %d %d", e.type == SDL_MOUSEBUTTONDOWN ? "down" : "up",
                      static_cast<unsigned>(e.button.button), static_cast<unsigned>(e.button.clicks), e.button.x,
                      e.button.y);
        break;
    case SDL_MOUSEWHEEL: std::snprintf(line, sizeof line, "wheel %d %d", e.wheel.x, e.wheel.y); break;
    default:
        if (IsCloseEvent(e)) std::snprintf(line, sizeof line, "close");
        break;
    }
    if (line[0]) std::fprintf(g_record, "%ld %ld %s\n", g_turn, g_pump, line);
}

// The window replayed events go to: the game's (the only one attached while the game runs).
Uint32 ReplayWindow() { return g_targets.empty() ? 0 : g_targets.begin()->first; }

// Parses one event line (after the turn and the pump). False when it is not one.
bool ParseEvent(const char* rest, SDL_Event& e) {
    char kind[16] = "", state[8] = "";
    int n = 0;
    if (std::sscanf(rest, "%15s%n", kind, &n) != 1) return false;
    rest += n;
    e = SDL_Event{};
    const std::string k = kind;
    if (k == "key") {
        int scancode = 0, sym = 0;
        unsigned mod = 0, repeat = 0;
        if (std::sscanf(rest, "%7s %d %d %u %u", state, &scancode, &sym, &mod, &repeat) != 5) return false;
        if (scancode < 0 || scancode >= SDL_NUM_SCANCODES) return false;
        e.type = std::string(state) == "down" ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.state = e.type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
        e.key.keysym.scancode = static_cast<SDL_Scancode>(scancode);
        e.key.keysym.sym = sym;
        e.key.keysym.mod = static_cast<Uint16>(mod);
        e.key.repeat = static_cast<Uint8>(repeat);
        return std::string(state) == "down" || std::string(state) == "up";
    }
    if (k == "text") {
        char hex[2 * SDL_TEXTINPUTEVENT_TEXT_SIZE + 1] = "";
        if (std::sscanf(rest, "%64s", hex) != 1) return false;
        std::size_t len = std::strlen(hex);
        if (len % 2 || len / 2 >= SDL_TEXTINPUTEVENT_TEXT_SIZE) return false;
        e.type = SDL_TEXTINPUT;
        for (std::size_t i = 0; i < len / 2; ++i) {
            unsigned byte = 0;
            if (std::sscanf(hex + 2 * i, "%2x", &byte) != 1) return false;
            e.text.text[i] = static_cast<char>(byte);
        }
        return true;
    }
    if (k == "motion") {
        unsigned buttons = 0;
        e.type = SDL_MOUSEMOTION;
        if (std::sscanf(rest, "%d %d %u", &e.motion.x, &e.motion.y, &buttons) != 3) return false;
        e.motion.state = buttons;
        return true;
    }
    if (k == "button") {
        unsigned button = 0, clicks = 0;
        if (std::sscanf(rest, "%7s %u %u %d %d", state, &button, &clicks, &e.button.x, &e.button.y) != 5) return false;
        e.type = std::string(state) == "down" ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        e.button.state = e.type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
        e.button.button = static_cast<Uint8>(button);
        e.button.clicks = static_cast<Uint8>(clicks);
        return std::string(state) == "down" || std::string(state) == "up";
    }
    if (k == "wheel") {
        e.type = SDL_MOUSEWHEEL;
        e.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
        return std::sscanf(rest, "%d %d", &e.wheel.x, &e.wheel.y) == 2;
    }
    if (k == "close") {
        e.type = SDL_WINDOWEVENT;
        e.window.event = SDL_WINDOWEVENT_CLOSE;
        return true;
    }
    return false;
}

// Delivers the replayed events due by this pump, as the devices would have.
void DeliverReplayed() {
    while (g_replayNext < g_replay.size()) {
        SLoggedEvent& logged = g_replay[g_replayNext];
        if (logged.turn > g_turn || (logged.turn == g_turn && logged.pump > g_pump)) break;
        ++g_replayNext;
        SDL_Event e = logged.event;
        const Uint32 window = ReplayWindow();
        switch (e.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            e.key.windowID = window;
            g_replayKeys[e.key.keysym.scancode] = e.type == SDL_KEYDOWN ? 1 : 0;
            SDL_SetModState(static_cast<SDL_Keymod>(e.key.keysym.mod));
            break;
        case SDL_TEXTINPUT: e.text.windowID = window; break;
        case SDL_MOUSEMOTION: e.motion.windowID = window; break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: e.button.windowID = window; break;
        case SDL_MOUSEWHEEL: e.wheel.windowID = window; break;
        case SDL_WINDOWEVENT: e.window.windowID = window; break;
        default: break;
        }
        e.common.timestamp = ClockMilliseconds();
        Dispatch(e);
    }
}

}  // namespace

bool StartInputRecording(const std::string& path, const std::string& header, std::string* error) {
    StopInputLog();
    g_record = std::fopen(path.c_str(), "w");
    if (!g_record) {
        if (error) *error = "cannot write " + path;
        return false;
    }
    std::fprintf(g_record, "ove-input 1\n%s", header.c_str());
    g_turn = g_pump = 0;
    return true;
}

bool StartInputReplay(const std::string& path, SReplaySettings& settings, std::string* error) {
    StopInputLog();
    std::FILE* f = std::fopen(path.c_str(), "r");
    if (!f) {
        if (error) *error = "cannot read " + path;
        return false;
    }
    std::vector<SLoggedEvent> events;
    char line[512];
    long number = 0;
    bool ok = true;
    std::string problem;
    while (ok && std::fgets(line, sizeof line, f)) {
        ++number;
        std::size_t len = std::strlen(line);
        while (len && (line[len - 1] == '\n' || line[len - 1] == '\r')) line[--len] = '\0';
        if (len == 0 || line[0] == '#') continue;
        if (number == 1) {
            ok = std::strcmp(line, "ove-input 1") == 0;
            if (!ok) problem = "it does not start with \"ove-input 1\"";
            continue;
        }
        char shot[400] = "";
        long turn = 0, pump = 0;
        unsigned seed = 0;
        int n = 0;
        if (std::sscanf(line, "seed %u", &seed) == 1) {
            settings.hasSeed = true;
            settings.seed = seed;
        } else if (std::sscanf(line, "window %d %d", &settings.width, &settings.height) == 2) {
            ok = settings.width > 0 && settings.height > 0 && settings.width <= 16384 && settings.height <= 16384;
        } else if (std::sscanf(line, "shot %ld %399s", &turn, shot) == 2) {
            settings.shots.emplace_back(turn, shot);
        } else if (std::sscanf(line, "%ld %ld%n", &turn, &pump, &n) == 2 && turn >= 0 && pump >= 0) {
            SLoggedEvent logged;
            logged.turn = turn;
            logged.pump = pump;
            ok = ParseEvent(line + n, logged.event);
            if (ok) events.push_back(logged);
        } else {
            ok = false;
        }
        if (!ok && problem.empty()) problem = "line " + std::to_string(number) + " is not an event: " + line;
    }
    std::fclose(f);
    if (!ok || number == 0) {
        if (error) *error = path + ": " + (problem.empty() ? "empty file" : problem);
        return false;
    }
    std::stable_sort(events.begin(), events.end(), [](const SLoggedEvent& a, const SLoggedEvent& b) {
        return a.turn != b.turn ? a.turn < b.turn : a.pump < b.pump;
    });
    g_replay = std::move(events);
    g_replayNext = 0;
    g_replaying = true;
    std::fill(g_replayKeys.begin(), g_replayKeys.end(), 0);
    OverrideKeyboardState(g_replayKeys.data(), static_cast<int>(g_replayKeys.size()));
    g_turn = g_pump = 0;
    return true;
}

void BeginInputTurn(long turn) {
    g_turn = turn;
    g_pump = 0;
}

void StopInputLog() {
    if (g_record) std::fclose(g_record);
    g_record = nullptr;
    if (g_replaying) OverrideKeyboardState(nullptr, 0);
    g_replaying = false;
    g_replay.clear();
    g_replayNext = 0;
}

bool PumpEvents() {
    SDL_Event e;
    ++g_pump;
    if (g_replaying) DeliverReplayed();
    while (SDL_PollEvent(&e)) {
        // A replay plays what was recorded; the devices have no say (a window close still ends
        // the run, as the box's close button would).
        if (g_replaying && IsInputEvent(e.type) && e.type != SDL_QUIT) continue;
        if (IsInputEvent(e.type) || IsPlayersClose(e)) Record(e);
        Dispatch(e);
    }
    DeliverTimers();
    if (g_quit) {
        g_quit = false;
        return false;
    }
    return true;
}

bool WaitAndPumpEvents(std::uint32_t timeoutMs) {
    if (!g_quit) SDL_WaitEventTimeout(nullptr, static_cast<int>(timeoutMs));
    return PumpEvents();
}

void PostQuit() { g_quit = true; }

void GatherEvents() { SDL_PumpEvents(); }

void PostWindowClose(SDL_Window* window) {
    if (!window) return;
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = SDL_WINDOWEVENT_CLOSE;
    e.window.windowID = SDL_GetWindowID(window);
    e.window.timestamp = SDL_GetTicks();
    e.window.data1 = kEngineClose;  // not the player's: not recorded
    SDL_PushEvent(&e);
}

void SetWindowTimer(IMessageTarget* target, std::uint32_t id, std::uint32_t intervalMs) {
    std::uint32_t due = ClockMilliseconds() + intervalMs;
    for (STimer& t : g_timers) {
        if (t.target == target && t.id == id) {
            t.interval = intervalMs;
            t.due = due;
            return;
        }
    }
    g_timers.push_back({target, id, intervalMs, due});
}

void KillWindowTimer(IMessageTarget* target, std::uint32_t id) {
    std::erase_if(g_timers, [&](const STimer& t) { return t.target == target && t.id == id; });
}

}  // namespace ove
