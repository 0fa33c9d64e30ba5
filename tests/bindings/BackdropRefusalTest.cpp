// A backdrop picture the game must refuse is the script's error, at the SetBackdrop that asked for it.
#include <gtest/gtest.h>

#include "support/Bytes.h"
#include "support/ScriptFixture.h"

namespace {

using ovetest::ScriptTest;

TEST_F(ScriptTest, SetBackdropRaisesTheRefusalOfAPicture) {
    viewtest::Bytes b;
    b.Tag("PICT").U32(1).U32(1).Zeros(24).Tag("IMGE").U32(0).U32(24).U32(0).U8(1).U8(2).U8(3);
    b.Tag("HOTS").U32(0).Tag("HSPT").I32(1).U32(0).Tag("SIZE").U32(4).U32(0);
    data_.Write("hall.OVP", b.v);
    EXPECT_EQ(Thrown("SetBackdrop('hall')"), "Error: Unknown hotspot attribute");
    EXPECT_EQ(Eval("GetBackdropWidth()"), "0") << "the refused picture is not shown";
}

}  // namespace
