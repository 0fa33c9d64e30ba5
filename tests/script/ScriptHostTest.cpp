// The script host: protected evaluation, error texts, pending fatals from nested callbacks.
#include "script/Binding.h"
#include "support/ScriptFixture.h"

namespace ovetest {
namespace {

using ove::RunSource;
using ove::SRunResult;

TEST(ScriptHostStopped, NothingRunsWithoutAHost) {
    ove::StopScriptHost();
    EXPECT_FALSE(ove::ScriptHostRunning());
    EXPECT_EQ(ove::ScriptContext(), nullptr);
    SRunResult r = RunSource("var x = 1;", "main");
    EXPECT_FALSE(r.running);
    EXPECT_FALSE(r.ok);
    ove::StopScriptHost();  // harmless twice
}

using HostTest = ScriptTest;

TEST_F(HostTest, GlobalCodeDefinesGlobals) {
    EXPECT_TRUE(ove::ScriptHostRunning());
    EXPECT_EQ(ove::ScriptServices(ove::ScriptContext()), static_cast<ove::IEngineServices*>(m_game.get()));
    Run("var a = 2; function sq(v) { return v * v; } this.viaThis = 7;");
    EXPECT_EQ(Eval("sq(a) + viaThis"), "11");
    // The result of the code is discarded and the stack is left as found.
    duk_idx_t top = duk_get_top(ctx());
    Run("1 + 2");
    EXPECT_EQ(duk_get_top(ctx()), top);
}

TEST_F(HostTest, UncaughtErrorsAreReportedAndTheHeapGoesOn) {
    duk_idx_t top = duk_get_top(ctx());
    SRunResult r = RunSource("x + 1", "main");
    EXPECT_TRUE(r.running);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "ERROR: ReferenceError: identifier 'x' undefined\n");
    EXPECT_EQ(duk_get_top(ctx()), top);

    r = RunSource("throw 'plain';", nullptr);
    EXPECT_EQ(r.error, "ERROR: plain\n");

    r = RunSource("function (", "broken");
    EXPECT_EQ(r.error.rfind("ERROR: SyntaxError", 0), 0u) << r.error;

    // An error whose conversion to a string itself throws still gives a text.
    r = RunSource("throw { toString: function () { throw new Error('again'); } };", "main");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.rfind("ERROR: ", 0), 0u);
    EXPECT_EQ(r.error.back(), '\n');

    Run("var after = 'fine';");
    EXPECT_EQ(Eval("after"), "fine");
    EXPECT_EQ(duk_get_top(ctx()), top);
}

TEST_F(HostTest, FileNameReachesTheEngine) {
    Run("var where = (function () { try { null.x; } catch (e) { return e.fileName; } })();");
    EXPECT_EQ(Eval("where"), "test");
    ASSERT_TRUE(RunSource("var where2 = (function () { try { null.x; } catch (e) { return e.fileName; } })();").ok);
    EXPECT_EQ(Eval("where2"), "eval");
}

TEST_F(HostTest, ReadOnlyGlobalsResistAssignment) {
    ove::DefineGlobalNumber(ctx(), "WIDTH", 640);
    ove::DefineGlobalString(ctx(), "PARAMS", "-x 1");
    Run("WIDTH = 1; PARAMS = 'changed'; var deleted = delete WIDTH;");
    EXPECT_EQ(Eval("WIDTH + ' ' + PARAMS + ' ' + deleted"), "640 -x 1 false");
    EXPECT_EQ(Eval("Object.keys(this).indexOf('WIDTH') >= 0"), "true");
    EXPECT_EQ(Thrown("(function () { 'use strict'; WIDTH = 2; })()").rfind("TypeError", 0), 0u);
    // The engine itself may redefine it (a resize with flexible resolution).
    ove::DefineGlobalNumber(ctx(), "WIDTH", 800);
    EXPECT_EQ(Eval("WIDTH"), "800");
    ove::DefineGlobalDouble(ctx(), "HALF", 0.5);
    EXPECT_EQ(Eval("HALF"), "0.5");
}

// ---- pending fatals

duk_ret_t FailDeep(duk_context* ctx) {
    ove::SetPendingFatal("ERROR: Error: from a handler\n");
    ove::RaisePendingFatal(ctx);
    return 0;
}

TEST_F(HostTest, PendingFatalEndsTheRunWithItsOwnText) {
    ove::RegisterFunction(ctx(), "FailDeep", FailDeep, 0);
    SRunResult r = RunSource("function Run() { FailDeep(); } Run();", "CGame::Run");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "ERROR: Error: from a handler\n");
    EXPECT_FALSE(ove::HasPendingFatal());

    // Script code cannot catch it: nothing after it runs, the catch block included.
    r = RunSource("var seen = 'no'; try { FailDeep(); } catch (e) { seen = e.message; } var after = 1;", "CGame::Run");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "ERROR: Error: from a handler\n");
    EXPECT_EQ(Eval("seen + ' ' + after"), "no undefined");

    // A fresh run starts clean.
    Run("var next = 2;");
}

TEST_F(HostTest, PendingSlotKeepsTheFirstText) {
    EXPECT_FALSE(ove::HasPendingFatal());
    EXPECT_EQ(ove::TakePendingFatal(), "");
    ove::SetPendingFatal("first\n");
    ove::SetPendingFatal("second\n");
    EXPECT_TRUE(ove::HasPendingFatal());
    EXPECT_EQ(ove::TakePendingFatal(), "first\n");
    EXPECT_FALSE(ove::HasPendingFatal());
    // Raising with nothing pending does nothing.
    duk_idx_t top = duk_get_top(ctx());
    ove::RaisePendingFatal(ctx());
    EXPECT_EQ(duk_get_top(ctx()), top);
}

// A stand-in for Display: pumps "events" that reach script handlers, then returns to script.
duk_ret_t Pump(duk_context* ctx) {
    // A GUI-style handler call on the object stashed under gui@1.
    ove::PushBound(ctx, 1, ove::kGuiPrefix);
    if (ove::FindHandler(ctx, "onClick")) {
        duk_push_int(ctx, 5);
        ove::CallHandler(ctx, 1);
    }
    // A mouse-event-style source evaluation, which reports its own errors.
    bool mouseOk;
    {  // nothing with a destructor may be alive when RaisePendingFatal longjmps
        SRunResult inner = RunSource("if (typeof onMouseEvent === 'function') onMouseEvent();", "CGame::MouseEvent");
        mouseOk = inner.ok;
    }
    duk_push_boolean(ctx, mouseOk);
    duk_put_global_string(ctx, "mouseOk");
    ove::RaisePendingFatal(ctx);
    return 0;
}

TEST_F(HostTest, ErrorsInNestedHandlersEndRunButNotMouseEvents) {
    ove::RegisterFunction(ctx(), "Pump", Pump, 0);
    duk_push_object(ctx());
    ove::BindHandle(ctx(), -1, 1, ove::kGuiPrefix);
    duk_put_global_string(ctx(), "button");

    // A mouse-event error is its caller's business; the run goes on.
    Run("function onMouseEvent() { undefinedThing(); } button.onClick = function (v) { clicks = v; }; Pump();");
    EXPECT_EQ(Eval("clicks + ' ' + mouseOk"), "5 false");

    // A handler error unwinds the script through the native call.
    Run("delete onMouseEvent; button.onClick = function () { throw new Error('click failed'); };");
    SRunResult r = RunSource("var reached = false; Pump(); reached = true;", "CGame::Run");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "ERROR: Error: click failed\n");
    EXPECT_EQ(Eval("reached"), "false");

    // Handlers nested two deep: the innermost text is the one reported.
    Run("button.onClick = function () { if (!this.inner) { this.inner = true; Pump(); } else throw new Error('deep'); "
        "};");
    r = RunSource("Pump();", "CGame::Run");
    EXPECT_EQ(r.error, "ERROR: Error: deep\n");

    // The heap is usable after all of it.
    Run("button.onClick = function (v) { clicks = v * 2; }; Pump();");
    EXPECT_EQ(Eval("clicks"), "10");
}

// Errors that native functions raise name the function and say what was wrong, with the same
// error types the engine's bare return codes gave.
TEST_F(HostTest, NativeFailuresNameTheFunctionAndTheProblem) {
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
}  // namespace ovetest
