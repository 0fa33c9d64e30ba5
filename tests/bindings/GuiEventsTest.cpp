// Script events of widgets, driven by mouse and key input through the game host's routing.
#include "GuiApiFixture.h"

#include "gui/GUIButton.h"
#include "platform/Keys.h"

using namespace ove;
using namespace guiapitest;

namespace {

const char* kGame = R"(
var log = [], seen = [];
function Init() {}
function Run() {}
function onMouseEvent(x, y, b) { seen.push(x + ',' + y + ',' + b); }
)";

}  // namespace

TEST_F(GuiApiTest, ButtonClicksOnlyWhenPressedAndReleasedInside) {
    Start(kGame);
    ASSERT_EQ(Run("b = new Button(); b.MoveTo(10, 10); b.Resize(40, 20);"
                  "b.onClick = function () { log.push('click'); };"
                  "b.onEnter = function () { log.push('enter'); };"
                  "b.onLeave = function () { log.push('leave'); };"),
              "");
    auto* button = static_cast<CGUIButton*>(m_game->GUIRoots().back());
    Move(20, 20);
    EXPECT_EQ(button->state, kButtonOver);
    Press(20, 20);
    Move(100, 100);
    EXPECT_EQ(button->state, kButtonNormal);
    Release(100, 100);
    EXPECT_EQ(Eval("log.splice(0).join()"), "enter,leave");
    EXPECT_EQ(Eval("seen.splice(0).join(' ')"), "20,20,0 100,100,1 100,100,0")
        << "moves over the button and the release outside reach the game";
    // Leaving resets the press: coming back before the release does not click either.
    Move(20, 20);
    Press(20, 20);
    Move(100, 100);
    Move(20, 20);
    Release(20, 20);
    EXPECT_EQ(Eval("log.splice(0).join()"), "enter,leave,enter");
    Press(20, 20);
    Release(20, 20);
    EXPECT_EQ(Eval("log.splice(0).join()"), "click");
    // The button handles presses itself: the script's onLButtonDown is never called, and a
    // disabled button lets the press through to the game.
    ASSERT_EQ(Run("b.onLButtonDown = function () { log.push('down'); }; b.disabled = true; seen = [];"), "");
    Move(100, 100);
    Move(20, 20);
    EXPECT_EQ(button->state, kButtonDisabled);
    ASSERT_EQ(Run("seen = []; log = [];"), "");
    Press(20, 20);
    EXPECT_EQ(Eval("log.join()"), "");
    EXPECT_EQ(Eval("seen.join(' ')"), "20,20,1");
}

TEST_F(GuiApiTest, ListRowClicksChangeThenDoubleClick) {
    Start(kGame);
    ASSERT_EQ(Run("l = new ListBox(); l.MoveTo(0, 100); l.Resize(100, 60);"
                  "l.AddItem('a'); l.AddItem('b'); l.AddItem('c');"
                  "l.onChange = function (i) { log.push('change' + i); };"
                  "l.onDoubleClick = function (i) { log.push('double' + i); };"),
              "");
    // Rows start at the client top (108) and are 8 high: row 1 is y 116 .. 123.
    Click(50, 118);
    Now() += 150;
    Click(50, 118);
    EXPECT_EQ(Eval("log.join()"), "change1,double1");
    EXPECT_EQ(Eval("l.index"), "1");
}

TEST_F(GuiApiTest, TypingIntoAFocusedInput) {
    Start(kGame);
    ASSERT_EQ(Run("t = CreateInput(); t.MoveTo(0, 50); t.Resize(80, 12); t.type = INPUT_INT;"
                  "t.onChange = function () { log.push(t.text); };"),
              "");
    m_game->RouteKey('1');
    EXPECT_EQ(m_game->ReadKey(), '1') << "without the focus keys go to the game";
    Click(5, 55);
    m_game->RouteKey('0');
    m_game->RouteKey('0');
    m_game->RouteKey('7');
    m_game->RouteKey('x');
    EXPECT_EQ(Eval("log.join()"), "0,0,7");
    EXPECT_EQ(Eval("[t.text, t.value]"), "7,7");
    EXPECT_EQ(m_game->ReadKey(), 0) << "the refused letter is consumed by the input";
}

TEST_F(GuiApiTest, InputsTakeTheCodePageButNoControlCharacters) {
    Start(kGame);
    ASSERT_EQ(
        Run("t = CreateInput(); t.MoveTo(0, 50); t.Resize(80, 12); t.onChange = function () { log.push(t.text); };"),
        "");
    Click(5, 55);
    // Typed text arrives as UTF-8 and reaches the input as code page bytes, read as signed.
    const Uint32 id = SDL_GetWindowID(m_game->Window()->GetHandle());
    SDL_Event text{.text = {SDL_TEXTINPUT, 0, id, "caf\xC3\xA9"}};
    SDL_PushEvent(&text);
    m_game->MessagePump();
    for (unsigned char c : {0x80u, 0x9Cu, 0xA0u, 0xFFu}) m_game->RouteKey(static_cast<std::int8_t>(c));
    const std::string typed = "caf\xE9\x80\x9C\xA0\xFF";
    EXPECT_EQ(std::string(m_game->GUIRoots().back()->GetText()), typed);
    EXPECT_EQ(Eval("log.length"), std::to_string(typed.size()));
    EXPECT_EQ(Eval("t.text === 'caf\\u00e9\\u20ac\\u0153\\u00a0\\u00ff'"), "true");
    // Control characters and the code page's undefined bytes are refused and left to the game.
    for (std::int32_t key : {7, 27, 127, -0x7F, -0x63}) {  // 0x81 and 0x9D as signed bytes
        m_game->RouteKey(key);
        EXPECT_EQ(m_game->ReadKey(), key) << key;
    }
    EXPECT_EQ(std::string(m_game->GUIRoots().back()->GetText()), typed);
    EXPECT_EQ(Eval("(t.text = 'a\\u00e9\\tb\\u0001', t.text)"), "a\u00e9b") << "set from script";
}

TEST_F(GuiApiTest, AModalWindowTakesEveryClick) {
    Start(kGame);
    ASSERT_EQ(Run("w1 = new Window(); w1.Resize(100, 100);"
                  "b = new Button(w1); b.Resize(50, 20); b.onClick = function () { log.push('click'); };"
                  "w2 = new Window(); w2.MoveTo(200, 0); w2.Resize(100, 100);"
                  "w2.onLButtonDown = function (x, y) { log.push('modal' + x + ',' + y); };"
                  "w2.BeginModal();"),
              "");
    Click(10, 10);
    Click(150, 150);
    EXPECT_EQ(Eval("log.splice(0).join()"), "modal10,10,modal150,150");
    EXPECT_EQ(Eval("seen.splice(0).join(' ')"), "10,10,0 150,150,0") << "only the moves";
    auto* modal = m_game->GUIRoots().back();
    ASSERT_EQ(Run("w2.EndModal();"), "");
    Click(10, 10);
    EXPECT_EQ(m_game->GUIRoots().back(), m_game->FindGUIElementAt(10, 10)->GetParent())
        << "a click brings its window to the top";
    EXPECT_NE(m_game->GUIRoots().back(), modal);
    Click(150, 150);
    EXPECT_EQ(Eval("log.splice(0).join()"), "click");
    EXPECT_EQ(Eval("seen.splice(0).join(' ')"), "10,10,0 150,150,0 150,150,1 150,150,0");
}

TEST_F(GuiApiTest, TabMovesTheFocus) {
    Start(kGame);
    ASSERT_EQ(Run("w = new Window(); w.Resize(200, 100);"
                  "a = CreateInput(w); a.Resize(50, 12); new Label(w);"
                  "c = CreateInput(w); c.MoveTo(0, 20); c.Resize(50, 12);"
                  "[a, c].forEach(function (e, n) { var id = 'ac'[n];"
                  "  e.onFocus = function () { log.push('focus ' + id); };"
                  "  e.onBlur = function () { log.push('blur ' + id); };"
                  "  e.onChange = function () { log.push('change ' + id); }; });"),
              "");
    EXPECT_EQ(Eval("a.Focus()"), "true");
    m_game->RouteKey(9);
    m_game->RouteKey(9);
    EXPECT_EQ(Eval("log.splice(0).join()"), "focus a,blur a,focus c,blur c,focus a");
    HeldKeys().insert(kVkShift);
    m_game->RouteKey(9);
    HeldKeys().clear();
    EXPECT_EQ(Eval("log.splice(0).join()"), "blur a,focus c");
}

TEST_F(GuiApiTest, WidgetsDestroyedInsideTheirOwnHandlers) {
    Start(kGame);
    const std::size_t roots = m_game->GUIRoots().size();
    ASSERT_EQ(Run("b = new Button(); b.Resize(40, 20);"
                  "b.onClick = function () { DestroyButton(this); log.push('gone'); };"
                  "l = new ListBox(); l.MoveTo(100, 0); l.Resize(60, 60); l.AddItem('a');"
                  "l.onChange = function () { DestroyListBox(l); log.push('list gone'); };"
                  "t = CreateInput(); t.MoveTo(0, 100); t.Resize(50, 12);"
                  "t.onChange = function () { DestroyInput(t); log.push('input gone'); };"
                  "w = new Window(); w.MoveTo(200, 100); w.Resize(50, 50);"
                  "k = new Button(w); k.Resize(10, 10); k.onClick = function () { DestroyWindow(w); log.push('window "
                  "gone'); };"),
              "");
    Click(10, 10);
    Click(110, 10);
    Click(5, 105);
    m_game->RouteKey('a');
    Click(205, 105);
    EXPECT_EQ(Eval("log.join()"), "gone,list gone,input gone,window gone");
    EXPECT_EQ(m_game->GUIRoots().size(), roots);
    EXPECT_EQ(Error("b.text").substr(0, 14), "ReferenceError");
    EXPECT_EQ(Error("k.text").substr(0, 14), "ReferenceError");
    ASSERT_EQ(Run("seen = [];"), "");
    Press(10, 10);
    EXPECT_EQ(Eval("seen.join()"), "10,10,1") << "nothing is left where the button was";
}

TEST_F(GuiApiTest, ParentDestroyedWhileAChildHoldsFocusOrCapture) {
    Start(kGame);
    ASSERT_EQ(Run("w = new Window(); w.Resize(200, 100); t = CreateInput(w); t.Resize(50, 12); t.Focus();"), "");
    ASSERT_NE(m_game->GUI().Focused(), nullptr);
    ASSERT_EQ(Run("DestroyWindow(w);"), "");
    EXPECT_EQ(m_game->GUI().Focused(), nullptr);
    m_game->RouteKey('q');
    EXPECT_EQ(m_game->ReadKey(), 'q');

    // A movable child window captures the mouse while its title bar is dragged.
    ASSERT_EQ(Run("p = new Window(); p.Resize(200, 200);"
                  "cw = new Window(p); cw.MoveTo(10, 10); cw.Resize(100, 50); cw.text = 'T'; cw.movable = true;"),
              "");
    Move(20, 12);
    Press(20, 12);
    ASSERT_NE(m_game->GUI().GetMouseCapture(), nullptr);
    Move(40, 32);
    EXPECT_EQ(Eval("[cw.x1, cw.y1]"), "30,30");
    ASSERT_EQ(Run("DestroyWindow(p);"), "");
    EXPECT_EQ(m_game->GUI().GetMouseCapture(), nullptr);
    EXPECT_EQ(m_game->GUI().Hovered(), nullptr);
    Move(50, 50);
    Release(50, 50);
    EXPECT_EQ(Eval("seen.slice(-1)[0]"), "50,50,0");
}

TEST_F(GuiApiTest, AnErrorInAnElementHandlerEndsTheScriptCall) {
    Start(kGame);
    ASSERT_EQ(Run("t = CreateInput(); t.onFocus = function () { throw new Error('no focus for you'); };"), "");
    EXPECT_EQ(Run("t.Focus(); log.push('after');"), "ERROR: Error: no focus for you\n");
    TakePendingFatal();
    EXPECT_EQ(Eval("log.length"), "0");
}
