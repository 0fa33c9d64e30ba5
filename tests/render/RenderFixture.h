// Headless OpenGL fixture: a hidden SDL window on the offscreen driver (EGL, Mesa) and a renderer.
#pragma once
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "image/Bitmap.h"
#include "render/Renderer.h"

namespace ovetest {

// ARGB of a picture pixel (x, y from the top-left) of a 32-bit bitmap.
inline std::uint32_t PixelAt(const ove::CBitmapInterface& b, int x, int y) {
    if (x < 0 || y < 0 || std::uint32_t(x) >= b.Width() || std::uint32_t(y) >= b.Height()) {
        ADD_FAILURE() << "pixel (" << x << ", " << y << ") outside the picture";
        return 0xDEADBEEF;
    }
    const std::uint8_t* p = b.TopRow(std::uint32_t(y)) + x * 4;
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

inline void SetPixel(ove::CBitmapInterface& b, int x, int y, std::uint32_t argb) {
    std::uint8_t* p = b.TopRow(std::uint32_t(y)) + x * 4;
    p[0] = std::uint8_t(argb);
    p[1] = std::uint8_t(argb >> 8);
    p[2] = std::uint8_t(argb >> 16);
    p[3] = std::uint8_t(argb >> 24);
}

inline std::string Hex(std::uint32_t v) {
    char s[16];
    std::snprintf(s, sizeof s, "%08X", v);
    return s;
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

class GLRenderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        if (!SDL_WasInit(SDL_INIT_VIDEO)) SDL_InitSubSystem(SDL_INIT_VIDEO);
    }

    // Window (and back buffer) of w x h; game size gw x gh (the window's by default).
    void Open(int w, int h, int gw = 0, int gh = 0) {
        if (!SDL_WasInit(SDL_INIT_VIDEO)) GTEST_SKIP() << "SDL video: " << SDL_GetError();
        ove::CRenderer::PrepareWindowAttributes();
        window = SDL_CreateWindow("render test", 0, 0, w, h, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (!window) GTEST_SKIP() << "no OpenGL window: " << SDL_GetError();
        renderer = std::make_unique<ove::CRenderer>();
        if (!renderer->Initialise(window)) GTEST_SKIP() << "Initialise: " << renderer->GetErrorMessage();
        renderer->SetGameSize(gw ? gw : w, gh ? gh : h);
        if (!renderer->Create())
            GTEST_SKIP() << "no OpenGL 3.3 context: " << renderer->GetErrorMessage() << " / " << SDL_GetError();
        renderer->SetFiltering(false, true);
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
