// Mouse and key routing, focus, capture, modality and element destruction through the game host,
// with script objects that log their handlers.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "bindings/Bindings.h"
#include "gui/GUIButton.h"
#include "gui/GUICheckbox.h"
#include "gui/GUIWindow.h"
#include "host/Game.h"
#include "io/FileFolder.h"
#include "render/Renderer.h"
#include "resources/ResourceCache.h"
#include "script/Binding.h"
#include "script/ScriptHost.h"
#include "support/ScriptFixture.h"
#include "support/TestFont.h"
#include "support/TestSupport.h"

using namespace ove;

namespace {

std::map<std::string, CGUIElement*> g_named;

// Destroy(name): destroys a named element through the host, as the script API does.
duk_ret_t DestroyNamed(duk_context* ctx) {
    auto it = g_named.find(duk_safe_to_string(ctx, 0));
    if (it != g_named.end() && GetGUIHost()) GetGUIHost()->DestroyGUIElement(it->second);
    return 0;
}

class FocusLabel : public CTextLabel {
public:
    using CTextLabel::CTextLabel;
    bool CanFocus() override { return true; }
};

class GUIRouting : public ::testing::Test {
protected:
    void SetUp() override {
        m_game = std::make_unique<CGame>(ove::CreateScriptRuntime());
        m_game->Install(std::unique_ptr<CFileFolder>(std::make_unique<CDirectory>(m_dir.path().string())));
        m_game->Install(std::make_unique<CResourceCache>(nullptr, nullptr, m_game->Folder()));
        ASSERT_TRUE(m_game->StartScript());
        RegisterFunction(ScriptContext(), "Destroy", DestroyNamed, 1);
        Run("LOG = []; function onMouseEvent(x, y, b) { LOG.push('global ' + x + ',' + y + ',' + b); }");
    }
    void TearDown() override {
        m_game.reset();
        g_named.clear();
    }
    void Run(const std::string& source) { ASSERT_EQ(ovetest::RunScript(source), ""); }
    // The handlers logged since the last call.
    std::string Log() { return ovetest::EvalScript("(function () { var s = LOG.join('; '); LOG = []; return s; })()"); }
    // An element with a script object named `name` whose handlers are given as script source
    // ("onClick: function () { ... }"); every handler listed in `log` just logs its name.
    template <class T>
    T* Make(CGUIElement* parent, const std::string& name, int x1, int y1, int x2, int y2, const std::string& log = "",
            const std::string& extra = "") {
        auto* e = new T(parent);  // a root joins the host's list, a child its parent
        e->x1 = x1, e->y1 = y1, e->x2 = x2, e->y2 = y2;
        std::string source = name + " = {";
        std::istringstream handlers(log);
        for (std::string h; handlers >> h;)
            source += h + ": function () { LOG.push('" + name + " " + h + "' + (arguments.length ? ' ' + " +
                      "Array.prototype.join.call(arguments, ',') : '')); },";
        source += extra + "};";
        Run(source);
        duk_context* ctx = ScriptContext();
        duk_get_global_string(ctx, name.c_str());
        e->scriptObject = BindHandle(ctx, -1, reinterpret_cast<ScriptHandle>(e), kGuiPrefix);
        duk_pop(ctx);
        g_named[name] = e;
        return e;
    }
    // Mouse events of a kind each (0 move, 1 press, 3 release), in order.
    void Mouse(std::initializer_list<std::array<int, 3>> events) {
        for (const auto& [x, y, kind] : events) m_game->MouseEvent(x, y, kind, 0);
    }
    void Mouse(int x, int y, int kind) { Mouse({{x, y, kind}}); }
    void Click(int x, int y) { Mouse({{x, y, 0}, {x, y, 1}, {x, y, 3}}); }

    ovetest::TempDir m_dir;
    std::unique_ptr<CGame> m_game;
};

}  // namespace

TEST_F(GUIRouting, HitTestingFollowsOrderCorporealityAndVisibility) {
    auto* w = Make<CGUIWindow>(nullptr, "w", 0, 0, 99, 99, "onLButtonDown");
    w->SetStyle(kStyleSolid);  // frame 1 + padding 4: children are offset by 5
    auto* a = Make<CTextLabel>(w, "a", 0, 0, 20, 20, "onLButtonDown");
    auto* c = Make<CTextLabel>(w, "c", 10, 10, 30, 30, "onLButtonDown");
    EXPECT_EQ(m_game->FindGUIElementAt(16, 16), c) << "the later child is above";
    EXPECT_EQ(m_game->FindGUIElementAt(6, 6), a);
    EXPECT_EQ(m_game->FindGUIElementAt(4, 4), w) << "the frame belongs to the window";
    c->noncorporeal = 1;
    EXPECT_EQ(m_game->FindGUIElementAt(16, 16), a);
    a->disabled = 1;
    EXPECT_EQ(m_game->FindGUIElementAt(16, 16), a) << "disabled elements are still found";
    w->visible = 0;
    EXPECT_EQ(m_game->FindGUIElementAt(16, 16), nullptr);
    EXPECT_FALSE(a->IsVisible()) << "an element whose parent is hidden is hidden";
    w->visible = 1;

    // A disabled check box lets the click bubble to its parent.
    auto* box = Make<CGUICheckbox>(w, "box", 40, 40, 60, 50, "onChange");
    Click(50, 50);
    EXPECT_EQ(Log(), "global 50,50,0; w onLButtonDown 50,50; box onChange") << "the press bubbles, the release toggles";
    EXPECT_TRUE(box->IsChecked());
    box->disabled = 1;
    Click(50, 50);
    EXPECT_EQ(Log(), "global 50,50,0; w onLButtonDown 50,50; global 50,50,0") << "the release bubbles too";
    EXPECT_TRUE(box->IsChecked());
}

TEST_F(GUIRouting, KeysAndFocus) {
    auto* w = Make<CGUIWindow>(nullptr, "w", 0, 0, 99, 99, "onKey");
    auto* f1 = Make<FocusLabel>(w, "f1", 0, 0, 9, 9, "onFocus onBlur onLButtonDown");
    Mouse(5, 5, 1);
    EXPECT_EQ(Log(), "f1 onFocus; f1 onLButtonDown 5,5") << "a press that gives the focus ends there";
    EXPECT_EQ(m_game->GUI().Focused(), f1);
    m_game->RouteKey('x');
    EXPECT_EQ(Log(), "w onKey 120") << "the key bubbles to the window's handler";

    Mouse(150, 150, 1);
    EXPECT_EQ(Log(), "f1 onBlur; global 150,150,1") << "a press on nothing removes the focus first";
    EXPECT_EQ(m_game->GUI().Focused(), nullptr);
    w->visible = 0;
    m_game->RouteKey('q');
    EXPECT_EQ(m_game->KeyCount(), 1u) << "no focus and no visible window: queued";
    EXPECT_EQ(m_game->ReadKey(), 'q');
}

TEST_F(GUIRouting, MovableWindowsAreDraggedByTheirTitleWithTheMouseCaptured) {
    TResourceRef<CFont> font(texttest::MakeFont(nullptr, 5));
    auto* w = Make<CGUIWindow>(nullptr, "w", 10, 10, 59, 49, "onMove");
    w->SetFont(font.Get());
    w->SetText("T");
    w->movable = 1;
    Mouse(20, 30, 1);
    EXPECT_FALSE(w->dragging) << "below the title bar";
    Mouse(20, 12, 1);
    EXPECT_TRUE(w->dragging);
    EXPECT_EQ(m_game->GUI().GetMouseCapture(), w);
    Mouse(200, 150, 0);
    EXPECT_EQ(w->x1, 190);
    EXPECT_EQ(w->y1, 148);
    EXPECT_EQ(w->Width(), 50);
    Mouse(200, 150, 3);
    EXPECT_EQ(m_game->GUI().GetMouseCapture(), nullptr);
    Mouse(5, 5, 0);
    EXPECT_EQ(w->x1, 190) << "the drag is over";
}

// Leaving a button whose leave handler destroys the element the pointer moves onto.
TEST_F(GUIRouting, LeaveHandlerDestroysTheNextTarget) {
    auto* q = Make<CGUIWindow>(nullptr, "q", 0, 0, 99, 99);
    Make<CGUIButton>(q, "b1", 0, 0, 9, 9, "", "onLeave: function () { Destroy('b2'); }");
    Make<CGUIButton>(q, "b2", 20, 0, 29, 9, "", "onEnter: function () { LOG.push('entered b2'); }");
    Mouse({{5, 5, 0}, {25, 5, 1}});
    EXPECT_EQ(m_game->GUI().Hovered(), nullptr) << "the destroyed target is not hovered";
    EXPECT_EQ(q->Children().size(), 1u);
    EXPECT_EQ(Log(), "global 5,5,0; global 25,5,1") << "no enter on the destroyed button: the press reaches the script";
}

TEST_F(GUIRouting, RootElementsFollowVisibilityIntoTheGUIQueue) {
    m_game->Install(std::make_unique<CRenderer>());  // no device: only the queues
    auto* w = Make<CGUIWindow>(nullptr, "w", 0, 0, 9, 9);
    auto* c = Make<CTextLabel>(w, "c", 0, 0, 4, 4);
    m_game->UpdateRenderQueue();
    EXPECT_TRUE(m_game->Renderer()->IsGUIElementQueued(w));
    EXPECT_FALSE(m_game->Renderer()->IsGUIElementQueued(c)) << "children are drawn by their parent";
    w->SetVisible(false);
    m_game->UpdateRenderQueue();
    EXPECT_FALSE(m_game->Renderer()->IsGUIElementQueued(w));
    w->SetVisible(true);
    m_game->UpdateRenderQueue();
    m_game->DestroyGUIElement(w);
    EXPECT_EQ(m_game->Renderer()->IsGUIElementQueued(w), false);
}
