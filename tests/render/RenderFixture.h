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

// Every pixel of a 32-bit bitmap from colourAt(x, y).
inline void Paint(ove::CBitmapInterface& b, const std::function<std::uint32_t(int, int)>& colourAt) {
    for (int y = 0; y < int(b.Height()); ++y)
        for (int x = 0; x < int(b.Width()); ++x) SetPixel(b, x, y, colourAt(x, y));
}
inline void Fill(ove::CBitmapInterface& b, std::uint32_t argb) {
    Paint(b, [argb](int, int) { return argb; });
}

// A pixel a picture must have, and why.
struct SPixel {
    int x, y;
    std::uint32_t argb;
    const char* why = "";
};
inline void ExpectPixels(const ove::CBitmapInterface& img, std::initializer_list<SPixel> want) {
    for (const SPixel& p : want)
        EXPECT_EQ(Hex(PixelAt(img, p.x, p.y)), Hex(p.argb)) << "at " << p.x << "," << p.y << " " << p.why;
}

// Every pixel of the picture against want(x, y); the first few that differ are named.
inline void ExpectImage(const ove::CBitmapInterface& img, const std::function<std::uint32_t(int, int)>& want) {
    int wrong = 0;
    for (int y = 0; y < int(img.Height()); ++y)
        for (int x = 0; x < int(img.Width()); ++x)
            if (PixelAt(img, x, y) != want(x, y) && wrong++ < 5)
                ADD_FAILURE() << x << "," << y << ": " << Hex(PixelAt(img, x, y)) << " want " << Hex(want(x, y));
    EXPECT_EQ(wrong, 0);
}
inline void ExpectSameImage(const ove::CBitmapInterface& img, const ove::CBitmapInterface& expected) {
    ASSERT_EQ(img.Width(), expected.Width());
    ASSERT_EQ(img.Height(), expected.Height());
    ExpectImage(img, [&](int x, int y) { return PixelAt(expected, x, y); });
}
// Inside [x1, x2) x [y1, y2) `inside`, `outside` everywhere else.
inline void ExpectBox(const ove::CBitmapInterface& img, int x1, int y1, int x2, int y2, std::uint32_t inside,
                      std::uint32_t outside) {
    ExpectImage(img, [=](int x, int y) { return x >= x1 && x < x2 && y >= y1 && y < y2 ? inside : outside; });
}

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
