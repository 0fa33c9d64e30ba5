// The GUI script API: binding, construction and destruction, properties and their errors.
#include "GuiApiFixture.h"

#include "gui/GUIButton.h"
#include "gui/GUICheckbox.h"
#include "gui/ListBox.h"

using namespace ove;
using namespace guiapitest;

TEST_F(GuiApiTest, ConstructionParentsAndDestruction) {
    Start();
    const std::size_t roots = m_game->GUIRoots().size();
    ASSERT_EQ(Run("w = new Window(); b = new Button(w); r = CreateButton('not a parent');"
                  "g = CreateGraphicButton(w); c = new Checkbox(w); m = new MessageBox(); t = CreateInput(w);"
                  "l = CreateListBox(w); lab = CreateLabel(w);"),
              "");
    EXPECT_EQ(m_game->GUIRoots().size(), roots + 3) << "window, the string-parented button and the message box";
    EXPECT_EQ(Eval("[b.parent === w, r.parent, t.parent === w, w.parent]"), "true,,true,");
    EXPECT_EQ(Eval("[g instanceof Button, g instanceof Label, m instanceof Window, t instanceof GUIElement,"
                   " c instanceof Label, l instanceof Label]"),
              "true,true,true,true,true,false");
    // Constructors need new.
    for (const char* bad : {"Label()", "new GUIElement()", "DestroyLabel({})"})
        EXPECT_EQ(Error(bad).substr(0, 9), "TypeError") << bad;

    // Any DestroyX takes any element; the children go with their parent and lose their objects.
    EXPECT_EQ(Run("DestroyLabel(w); DestroyWindow(w);"), "");
    EXPECT_EQ(m_game->GUIRoots().size(), roots + 2);
    for (const char* gone : {"b.text = 'x'", "t.SelectAll()", "w.Center()"})
        EXPECT_EQ(Error(gone).substr(0, 14), "ReferenceError") << gone;
    EXPECT_EQ(Run("DestroyButton(r); DestroyMessageBox(m);"), "");
    EXPECT_EQ(m_game->GUIRoots().size(), roots);
}

TEST_F(GuiApiTest, ElementGeometryAndFlags) {
    Start();
    ASSERT_EQ(Run("w = new Window(); w.MoveTo(10, 20); w.Resize(100, 50);"), "");
    EXPECT_EQ(Eval("[w.x1, w.y1, w.x2, w.y2, w.width, w.height]"), "10,20,109,69,100,50");
    EXPECT_EQ(Eval("(w.Center(), [w.x1, w.y1, w.x2])"), "110,95,209");
    EXPECT_EQ(Eval("(w.CenterAt(0, 0), [w.x1, w.y1])"), "-50,-25");
    EXPECT_EQ(Eval("(w.MoveBy(60, 30), [w.x1, w.y1, w.x2, w.y2])"), "10,5,109,54");
    EXPECT_EQ(Eval("[w.HitTestRect(109, 54), w.HitTestRect(110, 54)]"), "true,false");

    EXPECT_EQ(Eval("(w.SetPadding(2, 5), [w.padding, w.client_x1, w.client_y1, w.client_x2, w.client_y2])"),
              "2,15,7,104,52");
    EXPECT_EQ(Eval("(w.SetPadding(1, 2, 3), [w.client_x1 - w.x1, w.client_y1 - w.y1, w.x2 - w.client_x2,"
                   " w.y2 - w.client_y2])"),
              "2,1,2,3");
    EXPECT_EQ(Eval("(w.SetPadding(1, 2, 3, 4), [w.client_x1 - w.x1, w.x2 - w.client_x2])"), "4,2");
    EXPECT_EQ(Eval("(w.SetPadding(), w.padding = 3, [w.client_x1 - w.x1, w.client_width, w.client_height])"),
              "3,94,44");
    // Writing a client edge moves the outer edge so that the value results.
    EXPECT_EQ(Eval("(w.client_x1 = 50, w.client_y2 = 80, [w.x1, w.y2, w.client_x1, w.client_y2])"), "47,83,50,80");

    EXPECT_EQ(Eval("(w.priority = 7, w.priority)"), "15");
    EXPECT_EQ(Eval("(w.priority = -2, w.priority)"), "16");
    EXPECT_EQ(Eval("(b = new Button(w), w.visible = false, [w.visible, b.visible])"), "false,false");
    EXPECT_EQ(
        Eval("(w.visible = true, b.disabled = 1, b.noncorporeal = 'yes', [b.visible, b.disabled, b.noncorporeal])"),
        "true,true,true");
}

TEST_F(GuiApiTest, ColoursStylesEffectsAndFonts) {
    Start();
    ASSERT_EQ(Run("l = new Label(); l.text_effect = EFFECT_OUTLINE; l.effect_colour = 0x00123456;"), "");
    EXPECT_EQ(Eval("l.effect_colour.rgba.toString(16)"), "ff123456") << "the outline forces its colour opaque";
    EXPECT_EQ(Eval("(l.text_effect = EFFECT_SHADOW, l.effect_colour.rgba.toString(16))"), "80000000")
        << "writing the effect resets its colour to black";
    EXPECT_EQ(Eval("(l.effect_colour = RGBA8(1, 2, 3, 255), [l.text_effect, l.effect_colour.a8])"), "3,128");
    EXPECT_EQ(Eval("(l.colour = 0x0000FF, l.colour.rgba.toString(16))"), "ff0000ff");
    EXPECT_EQ(Eval("(l.background = TRANSPARENT, l.background.a8)"), "0");
    EXPECT_EQ(Error("l.colour = 'red'").substr(0, 9), "TypeError");

    EXPECT_EQ(Eval("(l.style = STYLE_SOLID_SHADOW, l.border = RED, [l.style, l.shadow.toString()])"),
              "9,RGBA8(0xFF, 0x55, 0x55, 0xFF)");
    EXPECT_EQ(Eval("(l.style = STYLE_FLAT, l.border = BLUE, l.shadow.toString())"), "RGBA8(0xFF, 0x55, 0x55, 0xFF)");

    EXPECT_EQ(Eval("l.font"), "small") << "a root element takes the default font";
    EXPECT_EQ(Eval("(l.font = 'big', l.font)"), "big");
    EXPECT_EQ(Error("l.font = 'nope'"), "ReferenceError: Couldn't load font [nope]");
    EXPECT_EQ(Eval("l.font"), "big") << "a failed load keeps the font";
    EXPECT_EQ(Eval("(w = new Window(), w.font = 'big', new Label(w).font)"), "big") << "children take the parent's";
}

TEST_F(GuiApiTest, LabelTextAndSizing) {
    Start();
    ASSERT_EQ(Run("l = new Label(); l.MoveTo(5, 5); l.text = 'Xi X';"), "");
    EXPECT_EQ(Eval("l.text"), "Xi X");
    EXPECT_EQ(Eval("(l.text = 12, typeof l.text)"), "string");
    // Auto-size: 'Xi X' is 4 + 2 + 4 + 4 = 14 wide and 6 high.
    EXPECT_EQ(Eval("(l.text = 'Xi X', l.AutoSize(), [l.width, l.height])"), "14,6");
    EXPECT_EQ(Eval("(l.AutoSize(undefined, 6), [l.width, l.height])"), "14,6");
    EXPECT_EQ(Eval("(l.AutoSize(10), [l.width, l.height])"), "6,12") << "reflowed at the space";
    EXPECT_EQ(Eval("(l.x2 = 44, [l.width, l.height])"), "40,12") << "x2 resizes and turns auto-size off";
    EXPECT_EQ(Eval("(l.text = 'XXXXXXXX', [l.width, l.height])"), "40,12");
    EXPECT_EQ(Eval("(l.wrapping = true, l.wrapping)"), "true");
    EXPECT_EQ(Eval("(l.ResizeClient(7, 8), [l.width, l.height])"), "7,8");

    // Non-ASCII text goes in through the code page and comes back as written.
    EXPECT_EQ(Eval("(l.text = 'caf\\u00e9 \\u20ac', l.text === 'caf\\u00e9 \\u20ac')"), "true");
    CGUIElement* label = m_game->GUIRoots().back();
    EXPECT_EQ(std::string(label->GetText()), "caf\xE9 \x80");
    EXPECT_EQ(Eval("(l.text = '\\u4e2d', l.text)"), "?") << "a character outside the code page";
    EXPECT_EQ(Eval("(l.text = '\\ud83d\\ude00!\\ud83d', l.text)"), "?!?") << "beyond U+FFFF, and a stray half";
    // A binary string (not UTF-8) keeps its bytes both ways.
    EXPECT_EQ(Eval("(raw = CBOR.decode(new Uint8Array([0x62, 0x58, 0xE9])), l.text = raw, l.text === raw)"), "true");
    EXPECT_EQ(std::string(label->GetText()), "X\xE9");
}

TEST_F(GuiApiTest, CheckboxMessageBoxWindowAndGraphicButton) {
    Start();
    EXPECT_EQ(Eval("(c = new Checkbox(), c.checked = 1, c.checked)"), "true");
    EXPECT_EQ(Eval("(c.text = 'XX', c.AutoSize(), [c.width, c.height])"), "18,6")
        << "6-pixel box, then the caption: 4 padding and 8 of text";
    EXPECT_EQ(Eval("(c.x2 = c.x1 + 29, c.width)"), "30");

    ASSERT_EQ(Run("m = new MessageBox(); m.text = 'XXXX XXXX';"), "");
    EXPECT_EQ(Eval("[m.text, m.wrapping]"), "XXXX XXXX,true");
    EXPECT_EQ(Eval("(m.AutoSize(30, 100), [m.client_width, m.client_height, m.x1 + (m.width >> 1)])"), "16,12,160")
        << "fitted to the wrapped text and centred";
    EXPECT_EQ(Eval("(m.title = 'T\\u00e9', m.title)"), "T\u00e9");
    EXPECT_EQ(Eval("(m.Resize(100, 40), [m.width, m.height, m.y2 - m.y1])"), "100,40,39");
    EXPECT_EQ(
        Eval("(n = new MessageBox(), n.title = 'T', n.text = 'XXXX XXXX', [n.client_width > 16, n.client_height])"),
        "true,6")
        << "a title set before the text leaves the message on one line";

    ASSERT_EQ(Run("w = new Window(); w.movable = true; w.title_colour = 0xFF0000; w.text = 'X';"
                  "b = new Button(w); b.MoveTo(3, 4); b.Resize(20, 10); w.AutoSize();"),
              "");
    EXPECT_EQ(Eval("[w.movable, w.title_colour.r8, w.text, w.client_width, w.client_height]"), "true,255,X,23,14");

    ASSERT_EQ(Run("g = new GraphicButton(); g.view = 'btn';"), "");
    EXPECT_EQ(Eval("[g.view, g.down_view, g.default_loops, g.default_cels, g.default_cel]"), "btn,btn,2,3,-1");
    EXPECT_EQ(Eval("(g.over_loop = 1, g.over_cel = 2, [g.over_loop, g.over_cel, g.default_loop])"), "1,2,0");
    EXPECT_EQ(Eval("(g.cel = 1, [g.cel, g.down_cel, g.over_cel])"), "1,1,1");
    EXPECT_EQ(Eval("(g.cel = null, g.loop = undefined, [g.down_cel, g.over_loop])"), "-1,0");
    EXPECT_EQ(Eval("(g.AutoSize(), [g.width, g.height])"), "10,8");
    EXPECT_EQ(Error("g.AutoSize(1)"),
              "SyntaxError: GraphicButton.AutoSize: takes no arguments or a width and a height (got 1)");
    EXPECT_EQ(Error("g.disabled_view = 'nope'"), "ReferenceError: Couldn't load graphic button [nope]");
    EXPECT_EQ(Error("g.view = {}"), "ReferenceError: Couldn't load graphic button [[unknown]]");
    EXPECT_EQ(Eval("new GraphicButton().default_view"), "null");
    // An Image becomes a one-cel view of the whole picture for graphic buttons (not for sprites).
    ASSERT_EQ(Run("pic = new Image(12, 7); g.down_view = pic;"), "");
    EXPECT_EQ(Eval("[g.down_view, g.down_loops, g.down_cels, g.view]"), "[generated],1,1,btn");
    EXPECT_EQ(Error("new Sprite().view = pic"), "ReferenceError: Couldn't load sprite [[unknown]]");
    // Load errors name the binding that raised them.
    const std::string sources = Eval(
        "[function () { g.view = 'nope'; }, function () { new ListBox().view = 'nope'; },"
        " function () { g.font = 'nope'; }, function () { FontHeight('nope'); }].map(function (f) {"
        "  try { f(); } catch (e) { return String(e.fileName).replace(/^.*[\\/]/, ''); } }).join()");
    EXPECT_EQ(sources, "JSGraphicButton.cpp,JSListBox.cpp,JSGUIElements.cpp,JSText.cpp");
}

TEST_F(GuiApiTest, CheckboxIsALabel) {
    Start();
    ASSERT_EQ(Run("c = new Checkbox(); c.text = 'XX XX';"), "");
    EXPECT_EQ(Eval("Object.getPrototypeOf(Checkbox.prototype) === Label.prototype"), "true");
    auto* box = dynamic_cast<CGUICheckbox*>(m_game->GUIRoots().back());
    ASSERT_NE(box, nullptr);
    // Label members reach the check box itself, or its caption for the label's own state.
    EXPECT_EQ(Eval("(c.wrapping = true, c.wrapping)"), "true");
    EXPECT_TRUE(box->Caption()->GetWrapping());
    EXPECT_EQ(Eval("(c.AutoSize(), wide = [c.width, c.height].join(), Label.prototype.AutoSize.call(c, 20),"
                   " narrow = [c.width, c.height].join(), c.AutoSize(20),"
                   " [wide !== narrow, narrow === [c.width, c.height].join()])"),
              "true,true")
        << "the label's AutoSize sizes the whole check box";
    // Label members on an element that is no label fail cleanly.
    EXPECT_EQ(Error("Label.prototype.AutoSize.call(new Window())").substr(0, 10), "TypeError:");
    EXPECT_EQ(Error("Object.getOwnPropertyDescriptor(Label.prototype, 'wrapping').set.call(new TextInput(), true)")
                  .substr(0, 10),
              "TypeError:");
}

TEST_F(GuiApiTest, ErrorsSayWhatWentWrong) {
    Start();
    for (const char* name :
         {"Label", "Button", "GraphicButton", "Checkbox", "Window", "MessageBox", "TextInput", "ListBox"}) {
        const std::string n = name;
        EXPECT_EQ(Error(n + "()"), "TypeError: " + n + ": must be called with new (new " + n + "())");
    }
    EXPECT_EQ(Error("new ListBox().GetItem('x')"),
              "SyntaxError: ListBox.GetItem: needs a point: one object {x, y} or two numbers");
    // Every member, constructor and global of the GUI API, on the wrong objects and with odd
    // arguments: whatever fails names what was wrong, never the engine's bare return code.
    ASSERT_EQ(Run(R"(
        var g = this, bare = [], classes = ['GUIElement', 'Label', 'Button', 'GraphicButton', 'Checkbox', 'Window',
            'MessageBox', 'TextInput', 'ListBox'];
        var argLists = [[], [{}], ['x', 'y'], [null, null, null], [-1, 1e12]];
        function attempt(what, f, self, args) {
            try { f.apply(self, args); } catch (e) { if (/\(rc -?\d+\)/.test(String(e))) bare.push(what + ' ' + e); }
        }
        classes.forEach(function (n) {
            var proto = g[n].prototype, live = n === 'GUIElement' ? new Label() : new g[n]();
            attempt(n, g[n], undefined, []);
            Object.getOwnPropertyNames(proto).forEach(function (m) {
                var d = Object.getOwnPropertyDescriptor(proto, m);
                [d.value, d.get, d.set].forEach(function (f) {
                    if (typeof f !== 'function' || m === 'constructor') return;
                    [{}, new Rectangle(), live].forEach(function (self) {
                        argLists.forEach(function (args) { attempt(n + '.' + m, f, self, args); });
                    });
                });
            });
        });
        Object.getOwnPropertyNames(g).forEach(function (n) {
            var widget = /^(Create|Destroy)(Label|Button|GraphicButton|Checkbox|Window|MessageBox|Input|ListBox)$/;
            if (!widget.test(n) && n !== 'AnimateGUI' && n !== 'FindElementAt') return;
            argLists.forEach(function (args) { attempt(n, g[n], undefined, args); });
        });
    )"),
              "");
    EXPECT_EQ(Eval("bare.join(' | ')"), "");
}

TEST_F(GuiApiTest, MessageBoxTitleKeepsThePlace) {
    Start();
    // Fitted to its text: the title bar makes it taller where it stands, centred or moved.
    ASSERT_EQ(Run("m = new MessageBox(); m.text = 'XXXX'; at = [m.x1, m.y1].join(); h = m.height;"), "");
    EXPECT_EQ(Eval("(m.title = 'T', [[m.x1, m.y1].join() === at, m.height > h])"), "true,true");
    EXPECT_EQ(Eval("(m.MoveTo(5, 7), m.title = '', [m.x1, m.y1])"), "5,7");
    // A fixed size (auto-size off) stays put too.
    EXPECT_EQ(Eval("(m.Resize(50, 20), m.MoveTo(3, 4), m.title = 'T', [m.x1, m.y1])"), "3,4");
}

TEST_F(GuiApiTest, TextInputValuesAndListBoxMembers) {
    Start();
    ASSERT_EQ(Run("t = CreateInput();"), "");
    EXPECT_EQ(Eval("[t.type, t.value, t.min, t.max]"), "0,,,-1");
    EXPECT_EQ(Eval("(t.value = 'a\\tb\\u00e9\\u0007c', t.value)"), "ab\u00e9c") << "only accepted characters are kept";
    EXPECT_EQ(Eval("(t.max = 2, t.value)"), "ab");
    EXPECT_EQ(Eval("(t.type = 7, t.type)"), "0");
    EXPECT_EQ(Eval("(t.type = INPUT_INT, [t.text, t.value])"), "0,0");
    EXPECT_EQ(Eval("(t.value = 41.9, [t.text, t.value + 1])"), "41,42");
    EXPECT_EQ(Eval("(t.max = 30, [t.max, t.value])"), "30,30");
    EXPECT_EQ(Eval("(t.min = -5, t.text = '-', [t.min, typeof t.value])"), "-5,undefined");
    EXPECT_EQ(Eval("(t.type = INPUT_FLOAT, t.value = 2.5, [t.text, t.value])"), "2.5,2.5");
    EXPECT_EQ(Eval("[t.read_only, (t.read_only = 1, t.read_only), t.optimal_height]"), "false,true,6");
    EXPECT_EQ(Eval("(t.selection_colour = 0x00FF00, t.selection_colour.g8)"), "255");

    ASSERT_EQ(Run("l = new ListBox(); l.MoveTo(0, 0); l.Resize(60, 40);"), "");
    EXPECT_EQ(Eval("[l.AddItem('X'), l.AddItem('Y', 0, 1), l.AddItem('Z'), l.count, l.index]"), "0,1,2,3,0");
    EXPECT_EQ(Eval("l.item_height"), "8") << "font height + 2";
    // Rows start at the client top, 8 (the padding): row 1 covers y 16 .. 23.
    EXPECT_EQ(Eval("[l.GetItem(10, 17), l.GetItem({x: 10, y: 8}), l.GetItem(10, 39), l.GetItem(100, 17)]"), "1,0,,");
    EXPECT_EQ(Eval("(l.index = 2, l.index = 9, l.index)"), "-1");
    EXPECT_EQ(Eval("(l.view = 'btn', l.view)"), "btn");
    EXPECT_EQ(Error("l.view = 'nope'"), "ReferenceError: Couldn't load sprite [nope]");
    EXPECT_EQ(Eval("(l.Clear(), [l.count, l.index, typeof new ListBox().view])"), "0,-1,undefined");
}

TEST_F(GuiApiTest, FindElementAtClimbsToAScriptObject) {
    Start();
    ASSERT_EQ(Run("w = new Window(); w.MoveTo(10, 10); w.Resize(100, 100);"
                  "c = new Checkbox(w); c.style = STYLE_CLASSIC; c.text = 'X'; c.AutoSize();"),
              "");
    // The classic check mark is a label with no script object of its own, at the box's corner.
    EXPECT_EQ(Eval("FindElementAt(w.client_x1, w.client_y1) === c"), "true");
    EXPECT_EQ(Eval("FindElementAt(105, 105) === w"), "true");
    EXPECT_EQ(Eval("FindElementAt(300, 200)"), "null");
}
