#include "Events.h"

#include <SDL.h>

#include <cmath>
#include <string>
#include <unordered_map>
#include <vector>

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
    std::uint32_t now = SDL_GetTicks();
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

bool PumpEvents() {
    SDL_Event e;
    while (SDL_PollEvent(&e)) Dispatch(e);
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
    SDL_PushEvent(&e);
}

void SetWindowTimer(IMessageTarget* target, std::uint32_t id, std::uint32_t intervalMs) {
    std::uint32_t due = SDL_GetTicks() + intervalMs;
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
