// Frame primitives and input routing of the game host.
#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "gui/GUIElement.h"
#include "host/Game.h"
#include "platform/Browser.h"
#include "platform/Clock.h"
#include "platform/Events.h"
#include "render/Renderer.h"
#include "scene/Sprite.h"
#include "sound/SoundManager.h"
#include "tiles/TileLayerSet.h"
#include "walk/BackdropPicture.h"
#include "win/GameWindow.h"

#include "scene/DrawingElement.h"

namespace ove {

namespace {

// An object whose visibility changed joins or leaves the object queue (the cursor stays where
// SetCursor put it). Queue errors (already there, not there) change nothing and are ignored.
void SyncObject(CRenderer& m_renderer, CSpriteBase* object) {
    if (!object->visibilityChanged || object == m_renderer.GetCursor()) return;
    object->visibilityChanged = 0;
    if (object->IsVisible()) m_renderer.AddObject(object);
    else m_renderer.RemoveObject(object);
}

}  // namespace

void CGame::UpdateRenderQueue() {
    if (!m_renderer) return;
    for (CSprite* s : m_sprites->Sprites()) SyncObject(*m_renderer, s);
    for (CDrawingElement* e : m_drawingElements) SyncObject(*m_renderer, e);
    // Root GUI elements only: children are drawn by their parents.
    for (CGUIElement* e : m_gui->Roots()) {
        if (!e->visibilityChanged) continue;
        e->visibilityChanged = 0;
        if (e->IsVisible()) m_renderer->AddGUIElement(e);
        else m_renderer->RemoveGUIElement(e);
    }
}

void CGame::Display() {
    // A game that draws without waiting: each frame is a turn of its own.
    if (m_options.fixedStep && m_drewThisTurn) EndTurn();
    UpdateRenderQueue();
    if (!MessagePump()) return;
    m_backdrop->ApplyTransform();
    if (m_renderer) {
        m_renderer->RenderFrame();
        ++m_framesRendered;
        m_drewThisTurn = true;
        if (!m_options.fixedStep && m_options.frameLimit >= 0 && m_framesRendered == m_options.frameLimit && m_window)
            PostWindowClose(m_window->GetHandle());
    }
    if (m_sound) m_sound->Prime();
    // In a browser the page shows the frame and delivers input only when the game lets go.
    YieldToBrowser();
    NoteEngineContact();
}

void CGame::Animate() {
    if (!MessagePump()) return;
    UpdateRenderQueue();
    if (CTileLayerSet* layers = m_backdrop->TileLayers()) layers->Animate();
    AnimateGUI();
    m_sprites->Update();
}

void CGame::Idle() { MessagePump(); }

void CGame::Mark() {
    if (m_timer) m_timer->Mark();
}

void CGame::WaitLoop(float seconds, bool render) {
    if (!m_timer) return;
    if (m_options.fixedStep) {
        FixedStepWait(seconds, render);
        return;
    }
    for (;;) {
        NoteEngineContact();  // waiting is the engine's time, not the script's
        float remaining = seconds - m_timer->Elapsed();
        if (remaining > 0.016f && render) {
            Display();
            // A closed window or an error in a handler ends the wait: the script must see it now.
            if (HasPendingFatal()) return;
            SDL_Delay(15);
        } else if (remaining > 0.005f) {
            SDL_Delay(5);
        } else if (remaining > 0.001f) {
            SDL_Delay(1);
        } else {
            return;
        }
    }
}

void CGame::FixedStepWait(float seconds, bool render) {
    NoteEngineContact();
    // The turn's one frame, unless the game drew it; Display also pumps the turn's events.
    if (render && !m_drewThisTurn) Display();
    if (HasPendingFatal()) return;
    const double target = m_timer->MarkTime() + (seconds > 0 ? seconds : 0);
    if (m_options.realPacing) {
        // Recording by hand: the player needs the game at its real speed.
        using namespace std::chrono;
        static const steady_clock::time_point origin = steady_clock::now() - duration_cast<steady_clock::duration>(
                                                                                 duration<double>(ClockSeconds()));
        const steady_clock::time_point due = origin + duration_cast<steady_clock::duration>(duration<double>(target));
        if (due > steady_clock::now()) std::this_thread::sleep_until(due);
    }
    AdvanceClockTo(target);
    EndTurn();
    NoteEngineContact();
}

void CGame::EndTurn() {
    m_drewThisTurn = false;
    ++m_turn;
    for (const auto& [shotTurn, file] : m_options.turnShots) {
        if (shotTurn != m_turn || !m_renderer) continue;
        if (!m_renderer->SaveScreenshot(file))
            std::fprintf(stderr, "ove: could not write screenshot %s\n", file.c_str());
    }
    BeginInputTurn(m_turn);
    if (m_options.frameLimit >= 0 && m_turn == m_options.frameLimit && m_window) PostWindowClose(m_window->GetHandle());
}

void CGame::Wait(float seconds) { WaitLoop(seconds, true); }

void CGame::Delay(float seconds) {
    Mark();
    WaitLoop(seconds, false);
    Mark();
}

int32_t CGame::ReadKey() {
    MessagePump();
    if (m_keyCount == 0) return 0;
    --m_keyCount;
    return m_keyQueue[m_keyCount];
}

void CGame::PostKey(int32_t code) { RouteKey(code); }

void CGame::RouteKey(int32_t code) {
    if (!m_gui->RouteKey(code)) QueueKey(code);
}

void CGame::QueueKey(int32_t code) {
    if (m_keyCount < 128) m_keyQueue[m_keyCount++] = code;
}

void CGame::MouseEvent(int32_t x, int32_t y, int32_t kind, int32_t wheelDelta) {
    switch (kind) {
    case 1: m_mouseButtons |= 1; break;
    case 2: m_mouseButtons |= 2; break;
    case 3: m_mouseButtons &= ~1u; break;
    case 4: m_mouseButtons &= ~2u; break;
    case 5: m_mouseButtons |= 4; break;
    case 6: m_mouseButtons &= ~4u; break;
    default: break;
    }
    int32_t gx = x, gy = y;
    if (m_renderer && m_viewport) {
        int cw = m_viewport->GetClientWidth(), ch = m_viewport->GetClientHeight();
        if (cw > 0) gx = static_cast<int32_t>(static_cast<int64_t>(m_renderer->GetWidth()) * x / cw);
        if (ch > 0) gy = static_cast<int32_t>(static_cast<int64_t>(m_renderer->GetHeight()) * y / ch);
    }
    if (m_gui->RouteMouse(gx, gy, kind, wheelDelta, [&] { m_sprites->MoveCursor(gx, gy); })) return;

    if (!m_runtime) return;
    const int32_t args[3] = {gx, gy, kind == 7 ? wheelDelta : static_cast<int32_t>(m_mouseButtons)};
    SRunResult r = m_runtime->CallGlobal(kind == 7 ? "onMouseWheel" : "onMouseEvent", args, true);
    if (r.running && !r.ok && !HasPendingFatal()) ShowError(r.error);
}

void CGame::Resize(int32_t width, int32_t height) {
    if (!m_renderer) return;
    if (!m_renderer->IsFlexibleResolution()) {
        m_renderer->RenderFrame();
        return;
    }
    m_renderer->SetGameSize(width, height);
    if (!m_runtime) return;
    m_runtime->DefineGlobal("WIDTH", width);
    m_runtime->DefineGlobal("HEIGHT", height);
    const int32_t args[2] = {width, height};
    SRunResult r = m_runtime->CallGlobal("onResize", args, true);
    if (r.running && !r.ok && !HasPendingFatal()) ShowError(r.error);
}

void CGame::ActivateApp(bool) {}

void CGame::ContentLost() {
    if (m_renderer) m_renderer->InvalidateFrame();
}

}  // namespace ove
