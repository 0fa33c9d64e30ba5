// Frames in which nothing changed are not drawn again, while every kind of change is drawn on the
// frame it happens: the window's own pixels, read straight from GL, against a fresh rendering.
#include <functional>

#include "GuiApiFixture.h"

using namespace ove;
using namespace guiapitest;

namespace {

constexpr int kW = 64, kH = 48;
constexpr unsigned kGLBGRA = 0x80E1, kGLUnsignedByte = 0x1401, kGLColourBit = 0x4000, kGLScissor = 0x0C11;

// The window as it shows now, top row first, 0xAARRGGBB.
std::vector<std::uint32_t> WindowPixels() {
    using ReadPixels = void (*)(int, int, int, int, unsigned, unsigned, void*);
    auto read = reinterpret_cast<ReadPixels>(SDL_GL_GetProcAddress("glReadPixels"));
    std::vector<std::uint32_t> rows(std::size_t(kW) * kH), out(rows.size());
    read(0, 0, kW, kH, kGLBGRA, kGLUnsignedByte, rows.data());
    for (int y = 0; y < kH; ++y) std::copy_n(&rows[std::size_t(kH - 1 - y) * kW], kW, &out[std::size_t(y) * kW]);
    return out;
}

// Paints the whole window magenta behind the renderer's back, as a lost window would show junk.
void Scribble() {
    using Enum = void (*)(unsigned);
    using Colour = void (*)(float, float, float, float);
    using Mask = void (*)(unsigned char, unsigned char, unsigned char, unsigned char);
    reinterpret_cast<Enum>(SDL_GL_GetProcAddress("glDisable"))(kGLScissor);
    reinterpret_cast<Mask>(SDL_GL_GetProcAddress("glColorMask"))(1, 1, 1, 1);
    reinterpret_cast<Colour>(SDL_GL_GetProcAddress("glClearColor"))(1.0f, 0.0f, 1.0f, 1.0f);
    reinterpret_cast<Enum>(SDL_GL_GetProcAddress("glClear"))(kGLColourBit);
}

class IdleFrameTest : public GuiApiTest {
protected:
    // A 64 x 48 room (grey, priority level 10 in its top right quarter) with an animated sprite
    // in front of the level, one half hidden behind it, a graphic button that turns blue under
    // the pointer, a focused text input, a label and a cursor sprite.
    void Start() {
        auto twoCels = [](std::uint32_t second) {
            return scenetest::ViewFile(1, 2, 8, 8, 0xFFFF0000u, 0, 1, [second](int, int c, CBitmap& b) {
                if (c == 1) scenetest::FillBitmap(b, second);
            });
        };
        auto room = [](std::uint32_t argb) {
            return scenetest::PictureFile(kW, kH, argb, nullptr,
                                          [](int x, int y) -> std::uint8_t { return x >= 32 && y < 24 ? 10 : 0; });
        };
        m_dir.Write("DATA/room.OVP", room(0xFF303030u));
        m_dir.Write("DATA/hall.OVP", room(0xFF003000u));
        m_dir.Write("DATA/anim.OVV", twoCels(0xFF0000FFu));
        m_dir.Write("DATA/red.OVV", scenetest::ViewFile(1, 1, 6, 6, 0xFFFF0000u));
        m_dir.Write("DATA/blue.OVV", scenetest::ViewFile(1, 1, 6, 6, 0xFF0000FFu));
        m_dir.Write("DATA/arrow.OVV", scenetest::ViewFile(1, 1, 3, 3, 0xFFFFFF00u));
        GuiApiTest::Start("function Init() { SetBackdrop('room'); } function Run() {} function Quit() {}",
                          "64\" height=\"48");
        ASSERT_EQ(Run("s = new Sprite(); s.view = 'anim'; s.xalign = s.yalign = 0; s.x = 40; s.y = 4;"
                      "s.priority = 12; s.delay = 0;"
                      "h = new Sprite(); h.view = 'red'; h.xalign = h.yalign = 0; h.x = 29; h.y = 12; h.priority = 5;"
                      "b = CreateGraphicButton(); b.default_view = 'red'; b.over_view = 'blue'; b.MoveTo(4, 4);"
                      "b.AutoSize();"
                      "t = CreateInput(); t.MoveTo(4, 20); t.Resize(40, 10); t.text = 'XX'; t.Focus();"
                      "lab = CreateLabel(); lab.MoveTo(4, 36); lab.Resize(40, 8); lab.text = 'X';"
                      "c = new Sprite(); c.view = 'arrow'; c.xalign = c.yalign = 0; SetCursor(c);"),
                  "");
        Move(60, 44);
    }

    // One frame as the game loop shows it; true when it was drawn.
    bool Frame() {
        const std::uint64_t drawn = m_game->Renderer()->DrawnFrameCount();
        m_game->Display();
        return m_game->Renderer()->DrawnFrameCount() > drawn;
    }

    std::vector<std::uint32_t> Fresh() {
        auto image = m_game->Renderer()->RenderToImage(kW, kH);
        std::vector<std::uint32_t> out;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) out.push_back(ovetest::PixelAt(*image, x, y));
        return out;
    }

    void PushWindowEvent(std::uint8_t event, int w = 0, int h = 0) {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = SDL_GetWindowID(m_game->Window()->GetSDLWindow());
        e.window.event = event;
        e.window.data1 = w;
        e.window.data2 = h;
        SDL_PushEvent(&e);
    }
};

}  // namespace

TEST_F(IdleFrameTest, ChangesAreDrawnAtOnceAndStillFramesAreNot) {
    Start();
    ASSERT_TRUE(Frame());
    const struct {
        const char* what;
        std::function<void()> change;
    } cases[] = {
        {"nothing", nullptr},
        {"a sprite moves", [&] { EXPECT_EQ(Run("s.x -= 6"), ""); }},
        {"an animation steps a cel", [&] { m_game->Animate(); }},
        {"a tint fades", [&] { EXPECT_EQ(Run("s.opacity = 128"), ""); }},
        {"the pointer moves the cursor", [&] { Move(50, 30); }},
        {"the pointer comes over a button", [&] { Move(6, 6); }},
        {"the caret blinks", [&] { Now() += 0x200; }},
        {"a label's text changes", [&] { EXPECT_EQ(Run("lab.text = 'XXXX'"), ""); }},
        {"the backdrop scrolls", [&] { EXPECT_EQ(Run("SetBackdropOffset(-2, 0)"), ""); }},
        {"another backdrop", [&] { EXPECT_EQ(Run("SetBackdrop('hall')"), ""); }},
    };
    std::vector<std::uint32_t> shown = WindowPixels();
    EXPECT_EQ(ovetest::Hex(shown[14 * kW + 31]), ovetest::Hex(0xFFFF0000u));
    EXPECT_EQ(ovetest::Hex(shown[14 * kW + 32]), ovetest::Hex(0xFF303030u)) << "behind level 10";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.change) c.change();
        EXPECT_EQ(Frame(), c.change != nullptr);
        const std::vector<std::uint32_t> now = WindowPixels();
        if (c.change) {
            EXPECT_NE(now, shown) << "the change shows in this very frame";
        }
        EXPECT_EQ(now, Fresh()) << "the window shows the scene as a full rendering does";
        shown = now;
        // Still frames after it present the same pixels without drawing.
        for (int i = 0; i < 2; ++i) {
            EXPECT_FALSE(Frame());
            EXPECT_EQ(WindowPixels(), shown);
        }
    }
    EXPECT_GT(m_game->Renderer()->PresentedFrameCount(), 2 * m_game->Renderer()->DrawnFrameCount());
}

TEST_F(IdleFrameTest, ExposedOrResizedWindowsAreDrawnAgain) {
    Start();
    ASSERT_TRUE(Frame());
    const std::vector<std::uint32_t> scene = WindowPixels();
    // What a lost window holds stays until the window says so: the frame is not drawn blindly...
    Scribble();
    EXPECT_FALSE(Frame());
    EXPECT_NE(WindowPixels(), scene);
    // ...and an expose brings the scene back at once.
    PushWindowEvent(SDL_WINDOWEVENT_EXPOSED);
    EXPECT_TRUE(Frame());
    EXPECT_EQ(WindowPixels(), scene);

    // Half as high: the game is letter-boxed into the middle, then fills the window again.
    PushWindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, kW, kH / 2);
    EXPECT_TRUE(Frame());
    EXPECT_NE(WindowPixels(), scene);
    EXPECT_FALSE(Frame());
    PushWindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, kW, kH);
    EXPECT_TRUE(Frame());
    EXPECT_EQ(WindowPixels(), scene);
}
