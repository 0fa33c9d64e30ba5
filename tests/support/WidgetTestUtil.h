// A stand-in GUI host that records script handler calls, a block font, and held-key and tick
// overrides for the widget tests.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "SceneTestUtil.h"
#include "gui/GUIElement.h"
#include "gui/Ticks.h"
#include "image/Bitmap.h"
#include "io/DataBin.h"
#include "resources/View.h"

namespace guiwtest {

// A font file of `count` glyphs, each width(c) x h: opaque white where inked(c) (so a glyph shows
// its tint), empty otherwise.
inline std::vector<unsigned char> FontFile(int count, int h, const std::function<int(int)>& width,
                                           const std::function<bool(int)>& inked) {
    ove::CViewWriter writer("FONT");
    writer.AddLoop();
    for (int c = 0; c < count; ++c) {
        const auto w = static_cast<ove::u32>(width(c));
        if (!inked(c)) {
            writer.AddEmptyCel(w, static_cast<ove::u32>(h), 0, 0);
            continue;
        }
        ove::CBitmap glyph(w, static_cast<ove::u32>(h), 32u);
        for (int y = 0; y < h; ++y) std::fill_n(reinterpret_cast<std::uint32_t*>(glyph.TopRow(y)), w, 0xFFFFFFFFu);
        writer.AddCel(glyph, 0, 0);
    }
    ove::CBuffer buffer;
    writer.Write(&buffer);
    return {buffer.Bytes().begin(), buffer.Bytes().end()};
}

// 128 glyphs, each a 4 x 8 white block, loaded with the renderer when one is given.
inline ove::CFont* MakeBlockFont(ove::CRenderer* renderer) {
    const std::vector<unsigned char> bytes = FontFile(
        128, 8, [](int) { return 4; }, [](int) { return true; });
    ove::CBuffer buffer(bytes.data(), static_cast<ove::u32>(bytes.size()));
    auto* font = new ove::CFont("block");
    font->Load(&buffer, renderer);
    return font;
}

// A view of one loop holding one w x h cel of a single colour.
inline ove::CView* MakeView(int w, int h, std::uint32_t argb, ove::CRenderer* renderer) {
    const std::vector<unsigned char> bytes = scenetest::ViewFile(1, 1, w, h, argb);
    ove::CBuffer buffer(bytes.data(), static_cast<ove::u32>(bytes.size()));
    auto* view = new ove::CView("icons");
    view->Load(&buffer, renderer);
    return view;
}

struct SCall {
    std::string name;
    std::vector<std::int32_t> args;
    bool operator==(const SCall& o) const { return name == o.name && args == o.args; }
};

inline std::ostream& operator<<(std::ostream& os, const SCall& c) {
    os << c.name << "(";
    for (std::size_t i = 0; i < c.args.size(); ++i) os << (i ? ", " : "") << c.args[i];
    return os << ")";
}

class CTestHost : public ove::IGUIHost {
public:
    CTestHost() { ove::SetGUIHost(this); }
    ~CTestHost() override {
        for (auto it = roots.rbegin(); it != roots.rend(); ++it) delete *it;
        ove::SetGUIHost(nullptr);
    }

    ove::CFont* GetDefaultFont() override { return font.Get(); }
    void AddRootElement(ove::CGUIElement* e) override { roots.push_back(e); }
    bool CallElementHandler(ove::CGUIElement* e, const char* name, const std::int32_t* args, int count) override {
        calls.push_back({name, std::vector<std::int32_t>(args, args + count)});
        if (onCall) onCall(e, name);
        return true;
    }
    ove::CGUIElement* GetFocusElement() override { return focused; }
    void SetFocusElement(ove::CGUIElement* e) override { focused = e; }
    ove::CGUIElement* GetMouseCapture() override { return nullptr; }
    void SetMouseCapture(ove::CGUIElement*) override {}
    ove::CGUIElement* GetActiveWindow() override { return nullptr; }
    void BringToTop(ove::CGUIElement*) override {}
    // Deletes at once: harsher than a host that waits for the end of the event.
    void DestroyGUIElement(ove::CGUIElement* e) override {
        if (focused == e) focused = nullptr;
        roots.erase(std::remove(roots.begin(), roots.end(), e), roots.end());
        if (e->GetParent()) e->GetParent()->DetachChild(e);
        e->MarkDestroyed();
        delete e;
        ++destroyed;
    }
    std::int32_t GetTargetWidth() override { return width; }
    std::int32_t GetTargetHeight() override { return height; }

    std::vector<SCall> TakeCalls() {
        std::vector<SCall> out;
        out.swap(calls);
        return out;
    }

    ove::TResourceRef<ove::CFont> font;
    std::vector<ove::CGUIElement*> roots;
    ove::CGUIElement* focused = nullptr;
    std::vector<SCall> calls;
    std::function<void(ove::CGUIElement*, const char*)> onCall;
    std::int32_t width = 320, height = 200;
    int destroyed = 0;
};

// Keys held (Shift, Control) and the tick count, as the tests set them.
inline std::set<std::int32_t>& HeldKeys() {
    static std::set<std::int32_t> keys;
    return keys;
}
inline std::uint32_t& Now() {
    static std::uint32_t now = 0;
    return now;
}

class WidgetTest : public ::testing::Test {
protected:
    void SetUp() override {
        HeldKeys().clear();
        Now() = 1000;
        ove::SetKeyHeldQuery([](std::int32_t vk) { return HeldKeys().count(vk) != 0; });
        ove::SetGUITickQuery([] { return Now(); });
    }
    void TearDown() override {
        ove::SetKeyHeldQuery(nullptr);
        ove::SetGUITickQuery(nullptr);
    }
};

}  // namespace guiwtest
