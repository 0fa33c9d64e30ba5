// Labels: reflow inside the insets, sizing, and the fonts they hold.
#include <gtest/gtest.h>

#include "gui/TextLabel.h"
#include "support/TestFont.h"

using namespace ove;
using texttest::FontHolder;

TEST(Text, LabelReflowsWithinItsInsetsAndShrinksToNothingWithoutText) {
    FontHolder f;
    CTextLabel label(nullptr);
    label.SetFont(f.font);
    label.SetPadding(2, 2, 2, 2);
    label.SetText("AA AA");
    EXPECT_STREQ(label.DisplayText(), "AA AA") << "auto-size off: the text unchanged";
    label.AutoSize(14, 100);
    EXPECT_STREQ(label.DisplayText(), "AA\nAA");
    EXPECT_EQ(label.ClientWidth(), 6);
    EXPECT_EQ(label.ClientHeight(), 10);
    EXPECT_EQ(label.Width(), 10);
    label.SetText(nullptr);
    EXPECT_EQ(label.ClientWidth(), 0);
    EXPECT_EQ(label.ClientHeight(), 0);
    EXPECT_EQ(label.DisplayText(), nullptr);

    label.SetText("AA AA");
    label.SetWrapping(true);
    EXPECT_STREQ(label.DisplayText(), "AA AA") << "changing wrapping discards the reflowed copy";
    label.Resize(30, 8);
    EXPECT_EQ(label.autoWidth, -1);
    EXPECT_EQ(label.x2, 29);

    FontHolder noLoops(5, 256, 0);
    label.SetFont(noLoops.font);
    EXPECT_EQ(label.GetFont(), nullptr) << "a font without loops is refused";
    EXPECT_EQ(f.font->RefCount(), 1u) << "the label let go of the old font";
}
