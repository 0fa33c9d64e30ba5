// Line, Rectangle and Buckets as scripts see them.
#include <gtest/gtest.h>

#include <vector>

#include "render/Renderer.h"
#include "scene/DrawingElement.h"
#include "support/ScriptFixture.h"

using namespace ove;
using ovetest::ScriptTest;

namespace {

class DrawingScriptTest : public ScriptTest {
protected:
    CDrawingElement* Only() {
        EXPECT_EQ(m_game->DrawingElements().size(), 1u);
        return m_game->DrawingElements().empty() ? nullptr : m_game->DrawingElements().front();
    }
};

}  // namespace

TEST_F(DrawingScriptTest, ElementDefaultsAndProperties) {
    Run("var r = new Rectangle(); var l = CreateLine();");
    EXPECT_EQ(Eval("[r.x1, r.y1, r.x2, r.y2, r.priority, r.border, r.visible, r.fill.rgba, r.stroke.rgba].join()"),
              "0,0,0,0,0,1,true,0,0");
    EXPECT_EQ(Eval("[l.width, l.border, r.width, l instanceof DrawingElement, r instanceof Line].join()"),
              "1,,,true,false");
    EXPECT_EQ(m_game->DrawingElements().size(), 2u);

    Run("r.x1 = 3.9; r.y1 = -4; r.x2 = 1e12; r.y2 = 7; r.border = 0; l.width = 9;"
        "r.fill = 0xFF0000; r.stroke = RGBA8(1, 2, 3, 4); r.priority = 5;");
    auto* rect = static_cast<C2DRectangle*>(m_game->DrawingElements().front());
    EXPECT_EQ(rect->x1, 3);
    EXPECT_EQ(rect->y1, -4);
    EXPECT_EQ(rect->x2, 2147483647);
    EXPECT_EQ(rect->border, 0);
    EXPECT_EQ(rect->fill, 0xFFFF0000u);  // a number is opaque
    EXPECT_EQ(rect->stroke, 0x04010203u);
    EXPECT_FLOAT_EQ(rect->depth, 1.0f - 5.0f / 30.0f);
    EXPECT_EQ(Eval("[r.fill instanceof Colour, r.fill.rgba === 0xFFFF0000, r.stroke.a8, r.priority, l.width].join()"),
              "true,true,4,5,9");
    // A read colour is a copy.
    Run("r.fill.r8 = 0;");
    EXPECT_EQ(rect->fill, 0xFFFF0000u);

    rect->visibilityChanged = 0;
    Run("r.visible = 0;");
    EXPECT_EQ(rect->visible, 0);
    EXPECT_EQ(rect->visibilityChanged, 1);
    EXPECT_EQ(Eval("r.visible"), "false");
}

TEST_F(DrawingScriptTest, ArgumentAndBindingErrors) {
    Run("var r = new Rectangle();");
    for (const char* bad : {"Line()", "Rectangle()", "new DrawingElement()", "r.x1 = 'left'", "r.fill = 'red'",
                            "DestroyRectangle({})", "Buckets(2)", "new Buckets('x')", "DestroyBuckets([])"})
        EXPECT_EQ(ThrownName(bad), "TypeError") << bad;
    EXPECT_EQ(Thrown("Object.getOwnPropertyDescriptor(Line.prototype, 'width').get.call(r)"),
              "TypeError: Line expected");
    EXPECT_EQ(Only()->x1, 0);
}

TEST_F(DrawingScriptTest, DestroyAndStopRemoveFromListAndRenderer) {
    m_game->Install(std::make_unique<CRenderer>());  // queues work without a device
    CRenderer& renderer = *m_game->Renderer();
    Run("var a = new Line(); var b = CreateRectangle(); b.visible = false;");
    ASSERT_EQ(m_game->DrawingElements().size(), 2u);
    CDrawingElement* a = m_game->DrawingElements().front();
    CDrawingElement* b = m_game->DrawingElements().back();
    m_game->UpdateRenderQueue();
    EXPECT_TRUE(renderer.IsObjectQueued(a));
    EXPECT_FALSE(renderer.IsObjectQueued(b));
    EXPECT_EQ(a->visibilityChanged, 0);
    Run("b.visible = true; a.visible = false;");
    m_game->UpdateRenderQueue();
    EXPECT_FALSE(renderer.IsObjectQueued(a));
    EXPECT_TRUE(renderer.IsObjectQueued(b));

    // Either Destroy takes any drawing element; a second call does nothing.
    Run("DestroyLine(b); DestroyLine(b);");
    EXPECT_FALSE(renderer.IsObjectQueued(b));
    ASSERT_EQ(m_game->DrawingElements().size(), 1u);
    EXPECT_EQ(m_game->DrawingElements().front(), a);
    EXPECT_EQ(ThrownName("b.x1"), "ReferenceError");
    EXPECT_EQ(ThrownName("b.x1 = 4"), "ReferenceError");
    EXPECT_EQ(Eval("b._ptr"), "null");

    // Elements left at the end are released.
    Run("for (var i = 0; i < 2; ++i) new Line();");
    m_game->UpdateRenderQueue();
    std::vector<const CSpriteBase*> queued(m_game->DrawingElements().begin(), m_game->DrawingElements().end());
    ASSERT_EQ(queued.size(), 3u);
    EXPECT_TRUE(renderer.IsObjectQueued(queued[2]));
    ove::StopScriptHost();
    EXPECT_TRUE(m_game->DrawingElements().empty());
    for (const CSpriteBase* element : queued) EXPECT_FALSE(renderer.IsObjectQueued(element));
}

TEST_F(DrawingScriptTest, Buckets) {
    Run("var none = new Buckets(0); none.AddToBucket(0, 1); none.AddToBucket(-1, 1);");
    EXPECT_EQ(Eval("none.GetBucketContents(0)"), "null");

    Run("var b = CreateBuckets(3);"
        "for (var i = 0; i < 9; ++i) b.AddToBucket(1, i * 10 + 0.7);"
        "b.AddToBucket(2, -5); b.AddToBucket(3, 99); b.AddToBucket(-1, 99);");
    EXPECT_EQ(Eval("b instanceof Buckets"), "true");
    EXPECT_EQ(Eval("JSON.stringify(b.GetBucketContents(1))"), "[0,10,20,30,40,50,60,70,80]");
    EXPECT_EQ(Eval("JSON.stringify([b.GetBucketContents(0), b.GetBucketContents(2), b.GetBucketContents(3)])"),
              "[null,[-5],null]");
    Run("b.ClearAllBuckets();");
    EXPECT_EQ(Eval("JSON.stringify([b.GetBucketContents(1), b.GetBucketContents(2)])"), "[null,null]");
    Run("b.AddToBucket(1, 4);");
    EXPECT_EQ(Eval("JSON.stringify(b.GetBucketContents(1))"), "[4]");

    Run("DestroyBuckets(b); DestroyBuckets(b);");
    EXPECT_EQ(ThrownName("b.AddToBucket(0, 1)"), "ReferenceError");
    // Dropped containers are freed by the collector, which must find them bound or already gone.
    Run("for (var i = 0; i < 100; ++i) new Buckets(1000); Duktape.gc(); Duktape.gc();");
}
