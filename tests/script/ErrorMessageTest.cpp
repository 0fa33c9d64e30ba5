// Errors that native functions raise name the function and say what was wrong, with the same
// error types the engine's bare return codes gave.
#include <gtest/gtest.h>

#include <string>

#include "support/ScriptFixture.h"

namespace {

using ErrorMessageTest = ovetest::ScriptTest;

TEST_F(ErrorMessageTest, FailuresNameTheFunctionAndTheProblem) {
    Run("var s = new Sprite();");
    struct SCase {
        const char* statement;
        const char* type;
        const char* function;
        const char* detail;  // a piece of the message that says what was wrong
    };
    const SCase cases[] = {
        {"s.PlayAnimation(99, 0)", "SyntaxError", "Sprite.PlayAnimation", "mode 99"},
        {"s.walkconstr = '<=abc'", "SyntaxError", "Sprite.walkconstr", "\"<=abc\""},
        {"new FileReader('absent.dat').Read()", "ReferenceError", "FileReader.Read", "no associated native object"},
        {"DecodeImage(FORMAT_QOI, 'garbage')", "Error", "DecodeImage", "QOI"},
        {"ReadTextFile('missing.txt')", "Error", "ReadTextFile", "missing.txt"},
        {"Sprite()", "TypeError", "Sprite", "new"},
        {"Colour.prototype.toString.call(7)", "TypeError", "Colour.toString", "number 7"},
    };
    for (const SCase& c : cases) {
        const std::string text = Thrown(c.statement);
        EXPECT_TRUE(text.starts_with(std::string(c.type) + ": " + c.function + ": ")) << c.statement << " -> " << text;
        EXPECT_NE(text.find(c.detail), std::string::npos) << c.statement << " -> " << text;
        EXPECT_EQ(text.find("rc -"), std::string::npos) << c.statement << " -> " << text;
    }
}

}  // namespace
