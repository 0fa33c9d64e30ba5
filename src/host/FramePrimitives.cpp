// Frame primitives and input routing of the game host.
#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "gui/GUIElement.h"
#include "host/Game.h"
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
void SyncObject(CRenderer& renderer_, CSpriteBase* object) {
    if (!object->visibilityChanged || object == renderer_.GetCursor()) return;
    object->visibilityChanged = 0;
    if (object->IsVisible())
        renderer_.AddObject(object);
    else
        renderer_.RemoveObject(object);
}

}  // namespace

void CGame::UpdateRenderQueue() {
    if (!renderer_) return;
    for (CSprite* s : sprites_->Sprites()) SyncObject(*renderer_, s);
    for (CDrawingElement* e : drawingElements_) SyncObject(*renderer_, e);
    // Root GUI elements only: children are drawn by their parents.
    for (CGUIElement* e : gui_->Roots()) {
        if (!e->visibilityChanged) continue;
        e->visibilityChanged = 0;
        if (e->IsVisible())
            renderer_->AddGUIElement(e);
        else
            renderer_->RemoveGUIElement(e);
    }
}

void CGame::Display() {
    // A game that draws without waiting: each frame is a turn of its own.
    if (options_.fixedStep && drewThisTurn_) EndTurn();
    UpdateRenderQueue();
    if (!MessagePump()) return;
    backdrop_->ApplyTransform();
    if (renderer_) {
        renderer_->RenderFrame();
        ++framesRendered_;
        drewThisTurn_ = true;
        if (!options_.fixedStep && options_.frameLimit >= 0 && framesRendered_ == options_.frameLimit && window_)
            PostWindowClose(window_->GetHandle());
    }
    if (sound_) sound_->Prime();
    NoteEngineContact();
}

void CGame::Animate() {
    if (!MessagePump()) return;
    UpdateRenderQueue();
    if (CTileLayerSet* layers = backdrop_->TileLayers()) layers->Animate();
    AnimateGUI();
    sprites_->Update();
}

void CGame::Idle() { MessagePump(); }

void CGame::Mark() {
    if (timer_) timer_->Mark();
}

void CGame::WaitLoop(float seconds, bool render) {
    if (!timer_) return;
    if (options_.fixedStep) {
        FixedStepWait(seconds, render);
        return;
    }
    for (;;) {
        NoteEngineContact();  // waiting is the engine's time, not the script's
        float remaining = seconds - timer_->Elapsed();
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
    if (render && !drewThisTurn_) Display();
    if (HasPendingFatal()) return;
    const double target = timer_->MarkTime() + (seconds > 0 ? seconds : 0);
    if (options_.realPacing) {
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
    drewThisTurn_ = false;
    ++turn_;
    for (const auto& [shotTurn, file] : options_.turnShots) {
        if (shotTurn != turn_ || !renderer_) continue;
        if (!renderer_->SaveScreenshot(file)) std::fprintf(stderr, "ove: could not write screenshot %s\n", file.c_str());
    }
    BeginInputTurn(turn_);
    if (options_.frameLimit >= 0 && turn_ == options_.frameLimit && window_) PostWindowClose(window_->GetHandle());
}

void CGame::Wait(float seconds) { WaitLoop(seconds, true); }

void CGame::Delay(float seconds) {
    Mark();
    WaitLoop(seconds, false);
    Mark();
}

int32_t CGame::ReadKey() {
    MessagePump();
    if (keyCount_ == 0) return 0;
    --keyCount_;
    return keyQueue_[keyCount_];
}

void CGame::PostKey(int32_t code) { RouteKey(code); }

void CGame::RouteKey(int32_t code) {
    if (!gui_->RouteKey(code)) QueueKey(code);
}

void CGame::QueueKey(int32_t code) {
    if (keyCount_ < 128) keyQueue_[keyCount_++] = code;
}

void CGame::MouseEvent(int32_t x, int32_t y, int32_t kind, int32_t wheelDelta) {
    switch (kind) {
        case 1: mouseButtons_ |= 1; break;
        case 2: mouseButtons_ |= 2; break;
        case 3: mouseButtons_ &= ~1u; break;
        case 4: mouseButtons_ &= ~2u; break;
        case 5: mouseButtons_ |= 4; break;
        case 6: mouseButtons_ &= ~4u; break;
        default: break;
    }
    int32_t gx = x, gy = y;
    if (renderer_ && viewport_) {
        int cw = viewport_->GetClientWidth(), ch = viewport_->GetClientHeight();
        if (cw > 0) gx = static_cast<int32_t>(static_cast<int64_t>(renderer_->GetWidth()) * x / cw);
        if (ch > 0) gy = static_cast<int32_t>(static_cast<int64_t>(renderer_->GetHeight()) * y / ch);
    }
    if (gui_->RouteMouse(gx, gy, kind, wheelDelta, [&] { sprites_->MoveCursor(gx, gy); })) return;

    if (!runtime_) return;
    const int32_t args[3] = {gx, gy, kind == 7 ? wheelDelta : static_cast<int32_t>(mouseButtons_)};
    SRunResult r = runtime_->CallGlobal(kind == 7 ? "onMouseWheel" : "onMouseEvent", args, true);
    if (r.running && !r.ok && !HasPendingFatal()) ShowError(r.error);
}

void CGame::Resize(int32_t width, int32_t height) {
    if (!renderer_) return;
    if (!renderer_->IsFlexibleResolution()) {
        renderer_->RenderFrame();
        return;
    }
    renderer_->SetGameSize(width, height);
    if (!runtime_) return;
    runtime_->DefineGlobal("WIDTH", width);
    runtime_->DefineGlobal("HEIGHT", height);
    const int32_t args[2] = {width, height};
    SRunResult r = runtime_->CallGlobal("onResize", args, true);
    if (r.running && !r.ok && !HasPendingFatal()) ShowError(r.error);
}

void CGame::ActivateApp(bool) {}

void CGame::ContentLost() {
    if (renderer_) renderer_->InvalidateFrame();
}

}  // namespace ove
