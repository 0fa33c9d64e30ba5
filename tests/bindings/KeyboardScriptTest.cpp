// The keyboard part of the input module, run in a real script heap against a game host that has
// no window.
#include <gtest/gtest.h>

#include <duktape.h>

#include <memory>
#include <string>

#include "HeapFixture.h"
#include "bindings/Bindings.h"
#include "bindings/JSInput.h"
#include "host/Game.h"
#include "script/ScriptHost.h"

using namespace ove;

namespace {

class KeyboardScriptTest : public gameapitest::ScriptFixture {
protected:
    void SetUp() override {
        if (WithGame()) m_game = std::make_unique<CGame>(ove::CreateScriptRuntime());
        ScriptFixture::SetUp();
    }
    void TearDown() override {
        ScriptFixture::TearDown();
        TakePendingFatal();
        m_game.reset();
    }
    bool StartModules(duk_context* ctx) override { return StartInputAPI(ctx); }
    void StopModules(duk_context* ctx) override { StopInputAPI(ctx); }
    void* Services() override { return static_cast<IEngineServices*>(m_game.get()); }
    virtual bool WithGame() const { return true; }

    std::unique_ptr<CGame> m_game;
};

class KeyboardWithoutGameTest : public KeyboardScriptTest {
protected:
    bool WithGame() const override { return false; }
};

// Reads every queued key, most recent first, ending with the 0 of the empty queue.
const char* kDrain =
    "var out = []; for (var i = 0; i < 200; i++) { var k = ReadKey(); out.push(k); if (!k) break; } "
    "out.join(' ')";

}  // namespace

TEST_F(KeyboardScriptTest, ReadKeyGivesTheMostRecentKeyFirst) {
    EXPECT_EQ(Eval("PostKey(65); PostKey(66); PostKey(67); " + std::string(kDrain)), "67 66 65 0");
    EXPECT_EQ(Eval("ReadKey()"), "0");
    // Keys queued after a partial read stack on what is left.
    EXPECT_EQ(Eval("PostKey(1); PostKey(2); ReadKey()"), "2");
    EXPECT_EQ(Eval("PostKey(3); " + std::string(kDrain)), "3 1 0");
    EXPECT_EQ(Eval("PostKey(ALTA); PostKey(CTRLC); PostKey(HOME); " + std::string(kDrain)), "18176 3 321 0");
}

TEST_F(KeyboardScriptTest, TheQueueHoldsOneHundredTwentyEightKeys) {
    EXPECT_EQ(Eval("for (var i = 1; i <= 129; i++) PostKey(i); 0"), "0");
    EXPECT_EQ(m_game->KeyCount(), 128u);
    std::string expected;
    for (int i = 128; i >= 1; --i) expected += std::to_string(i) + " ";
    EXPECT_EQ(Eval(kDrain), expected + "0");
    // Reading makes room again.
    EXPECT_EQ(Eval("PostKey(500); ReadKey()"), "500");
}

TEST_F(KeyboardScriptTest, PostKeyTakesAnyIntegerAsGiven) {
    // Codes are not checked: negative characters, scan codes and made-up values all queue.
    EXPECT_EQ(Eval("PostKey(-23); PostKey(19200); PostKey(0x7FFFFFFF); " + std::string(kDrain)),
              "2147483647 19200 -23 0");
    // Integer conversion: fractions truncated toward zero, out of range clamped, NaN 0.
    // (NaN goes in first: its 0 ends the drain, and the queue must then be empty.)
    EXPECT_EQ(Eval("PostKey(NaN); PostKey(65.9); PostKey(-3.7); PostKey(1e12); PostKey(-1e12); " + std::string(kDrain)),
              "-2147483648 2147483647 -3 65 0");
    EXPECT_EQ(m_game->KeyCount(), 0u);
    EXPECT_EQ(Eval("PostKey(7, 'extra'); ReadKey()"), "7");
    EXPECT_EQ(Eval("PostKey(8)"), "undefined");
}

TEST_F(KeyboardScriptTest, ArgumentsMustBeNumbersAndErrorsSayWhatWasExpected) {
    for (const char* call : {"PostKey()", "PostKey('65')", "PostKey(null)", "PostKey(true)", "PostKey({})", "KeyDown()",
                             "KeyDown('a')", "KeyDown(undefined)", "KeyDown([65])"}) {
        EXPECT_EQ(Eval(std::string("try { ") + call + "; 'no error' } catch (e) { e.name }"), "TypeError") << call;
    }
    EXPECT_EQ(Eval("try { PostKey('65') } catch (e) { String(e) }"),
              "TypeError: PostKey: argument 1 (code) must be a number, got string \"65\"");
    EXPECT_EQ(Eval("try { KeyDown() } catch (e) { String(e) }"),
              "TypeError: KeyDown: argument 1 (code) must be a number, got undefined");
    // Nothing was queued by the failed calls; extra arguments are ignored.
    EXPECT_EQ(m_game->KeyCount(), 0u);
    EXPECT_EQ(Eval("ReadKey('ignored', 5)"), "0");
}

TEST_F(KeyboardScriptTest, KeyDownIsFalseWithoutAGameWindow) {
    // The game has no window, so it cannot be the active one: every key reads as up.
    EXPECT_EQ(Eval("[KeyDown(LEFT), KeyDown(65), KeyDown(97), KeyDown(SPACEBAR), KeyDown(F1), KeyDown(0)].join()"),
              "false,false,false,false,false,false");
    EXPECT_FALSE(IsKeyCodeDown(m_game.get(), 19200));
    EXPECT_FALSE(IsKeyCodeDown(nullptr, 65));
}

TEST_F(KeyboardScriptTest, ReadKeyAndPostKeyRaiseAFatalErrorLeftBehindByAHandler) {
    // A handler run while ReadKey pumped messages failed: the error must end the script's Run().
    SetPendingFatal("ERROR: ReferenceError: identifier 'nope' undefined\n");
    EXPECT_EQ(Eval("try { ReadKey(); 'went on' } catch (e) { e.message }"),
              "ERROR: ReferenceError: identifier 'nope' undefined\n");
    TakePendingFatal();
    SetPendingFatal("ERROR: Error: from onKey\n");
    EXPECT_EQ(Eval("try { PostKey(65); 'went on' } catch (e) { e.message }"), "ERROR: Error: from onKey\n");
    TakePendingFatal();
    // The key itself was routed before the error surfaced.
    EXPECT_EQ(Eval("ReadKey()"), "65");
}

TEST_F(KeyboardWithoutGameTest, FunctionsAreHarmlessWithoutAGame) {
    EXPECT_EQ(Eval("PostKey(65); [ReadKey(), KeyDown(65)].join()"), "0,false");
    EXPECT_EQ(Eval("try { PostKey('x') } catch (e) { e.name }"), "TypeError");
}
