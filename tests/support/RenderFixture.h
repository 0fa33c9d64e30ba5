// Headless OpenGL fixture: a hidden SDL window on the offscreen driver (EGL, Mesa) and a renderer.
#pragma once
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "image/Bitmap.h"
#include "render/Renderer.h"
#include "support/Pixels.h"

namespace ovetest {

// A cel showing the whole of a w x h texture.
inline ove::SCel WholeCel(ove::TextureHandle texture, std::uint32_t w, std::uint32_t h) {
    ove::SCel cel;
    cel.width = w;
    cel.height = h;
    cel.uRight = cel.vBottom = 1.0f;
    cel.texture = texture;
    return cel;
}

// A drawable whose Draw runs a function; depth and flags as set.
class CTestDrawable : public ove::CSpriteBase {
public:
    CTestDrawable(float depth, bool noncorporeal, std::function<void(ove::CRenderer&)> draw)
        : depth(depth), noncorporeal(noncorporeal), draw(std::move(draw)) {}
    float GetDepth() override { return depth; }
    void Draw(ove::CRenderer& r) override {
        if (draw) draw(r);
    }
    bool IsNoncorporeal() override { return noncorporeal; }
    bool IsOnTop() override { return onTop; }
    bool IsTranslucent() override { return translucent; }
    bool DrawsAtOwnDepth() override { return ownDepth; }
    float depth;
    bool noncorporeal;
    bool onTop = false;
    bool translucent = false;
    bool ownDepth = false;
    std::function<void(ove::CRenderer&)> draw;
};

// A drawable that fills a rectangle at its own depth in a blend mode.
inline std::unique_ptr<CTestDrawable> Filler(int priority, bool noncorporeal, float x1, float y1, float x2, float y2,
                                             std::uint32_t colour, int blend = ove::kBlendOpaque) {
    auto d = std::make_unique<CTestDrawable>(ove::CRenderer::PriorityDepth(priority), noncorporeal, nullptr);
    CTestDrawable* self = d.get();
    d->draw = [=](ove::CRenderer& r) {
        r.SetBlendMode(blend);
        r.FillRect(x1, y1, x2, y2, colour, self->depth);
    };
    return d;
}

// SDL video on the offscreen driver, once per program.
inline void InitHeadlessVideo() {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (!SDL_WasInit(SDL_INIT_VIDEO)) SDL_InitSubSystem(SDL_INIT_VIDEO);
}

// A hidden window (and back buffer) of w x h and an unfiltered renderer on it for a game of gw x gh.
// Returns why there is none, or "".
inline std::string OpenRenderer(SDL_Window*& window, std::unique_ptr<ove::CRenderer>& renderer, int w, int h, int gw,
                                int gh) {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return std::string("SDL video: ") + SDL_GetError();
    ove::CRenderer::PrepareWindowAttributes();
    window = SDL_CreateWindow("render test", 0, 0, w, h, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window) return std::string("no OpenGL window: ") + SDL_GetError();
    renderer = std::make_unique<ove::CRenderer>();
    if (!renderer->Initialise(window)) return std::string("Initialise: ") + renderer->GetErrorMessage();
    renderer->SetGameSize(gw, gh);
    if (!renderer->Create())
        return std::string("no OpenGL 3.3 context: ") + renderer->GetErrorMessage() + " / " + SDL_GetError();
    renderer->SetFiltering(false, true);
    return "";
}

class GLRenderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitHeadlessVideo(); }

    // Window (and back buffer) of w x h; game size gw x gh (the window's by default).
    void Open(int w, int h, int gw = 0, int gh = 0) {
        const std::string why = OpenRenderer(window, renderer, w, h, gw ? gw : w, gh ? gh : h);
        if (!why.empty()) GTEST_SKIP() << why;
    }

    void TearDown() override {
        renderer.reset();
        if (window) SDL_DestroyWindow(window);
        window = nullptr;
    }

    std::unique_ptr<ove::CBitmap> Capture() {
        return renderer->RenderToImage(renderer->GetWidth(), renderer->GetHeight());
    }

    SDL_Window* window = nullptr;
    std::unique_ptr<ove::CRenderer> renderer;
};

}  // namespace ovetest
