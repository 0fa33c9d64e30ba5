// Import, ImportOnce, LoadScript, ReloadScript, ScriptExists and DestroyScript on real script files.
#include <filesystem>

#include "support/ScriptFixture.h"

namespace ovetest {
namespace {

using ModuleTest = ScriptTest;

TEST_F(ModuleTest, ImportOnceIgnoresCaseImportAlwaysRunsAndCounts) {
    Script("util.ovs", "var runs = (typeof runs === 'number' ? runs : 0) + 1; function helper() { return 'h'; }");
    Run("ImportOnce('Util'); ImportOnce('util'); ImportOnce('UTIL');");
    EXPECT_EQ(Eval("runs"), "1");
    EXPECT_EQ(Eval("helper()"), "h");

    // Import ignores the imported set; a later ImportOnce still does nothing.
    Run("Import('util'); Import('util');");
    EXPECT_EQ(Eval("runs"), "3");
    Run("ImportOnce('util');");
    EXPECT_EQ(Eval("runs"), "3");
    // A script brought in by Import alone counts as imported too.
    Script("a.ovs", "count = (typeof count === 'number' ? count : 0) + 1;");
    Run("Import('a'); ImportOnce('A');");
    EXPECT_EQ(Eval("count"), "1");
}

TEST_F(ModuleTest, ImportReturnsUndefinedAndDefinesGlobals) {
    Script("lib.ovs", "var x = 2; function twice(v) { return v * x; }");
    EXPECT_EQ(Eval("typeof Import('lib')"), "undefined");
    EXPECT_EQ(Eval("twice(21)"), "42");
    // Errors and stacks name the script by its file.
    Script("thrower.ovs", "var where = (function () { try { null.x; } catch (e) { return e.fileName; } })();");
    Run("Import('thrower')");
    EXPECT_EQ(Eval("where"), "thrower.ovs");
}

TEST_F(ModuleTest, MissingScriptAndBadArguments) {
    const std::pair<const char*, const char*> calls[] = {
        {"Import('nothere')", "ReferenceError: Couldn't load script [nothere]"},
        {"ImportOnce('Nothere')", "ReferenceError: Couldn't load script [Nothere]"},
        {"LoadScript('gone')", "ReferenceError: Couldn't load script [gone]"},
        {"Import(5)", "TypeError: Import: argument 1 (name) must be a string, got number 5"},
        {"LoadScript({})", "TypeError: LoadScript: argument 1 (name) must be a string, got an object"},
        {"ReloadScript(5)",
         "TypeError: ReloadScript: argument 1 (module) must be a module from LoadScript, got number 5"},
        {"ScriptExists(null)", "TypeError: ScriptExists: argument 1 (name) must be a string, got null"},
    };
    for (const auto& [call, error] : calls) EXPECT_EQ(Thrown(call), error) << call;
}

TEST_F(ModuleTest, ErrorsInImportedScriptsTravelUpAndRetry) {
    Script("broken.ovs",
           "attempts = (typeof attempts === 'number' ? attempts : 0) + 1; throw new RangeError('inner');");
    EXPECT_EQ(Thrown("ImportOnce('broken')"), "RangeError: inner");
    // A failed import is not counted as imported: the next ImportOnce runs it again.
    EXPECT_EQ(Thrown("ImportOnce('broken')"), "RangeError: inner");
    EXPECT_EQ(Eval("attempts"), "2");

    Script("syntax.ovs", "function (");
    EXPECT_EQ(ThrownName("Import('syntax')"), "SyntaxError");

    // Uncaught, the error reaches the host's report.
    ove::SRunResult r = ove::RunSource("Import('broken')", "main");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "ERROR: RangeError: inner\n");
    EXPECT_EQ(Eval("1 + 1"), "2");
}

TEST_F(ModuleTest, ScriptsImportingEachOtherOnceTerminate) {
    Script("ping.ovs", "ImportOnce('pong'); var ping = 1;");
    Script("pong.ovs", "ImportOnce('ping'); var pong = 2;");
    Run("ImportOnce('ping');");
    EXPECT_EQ(Eval("ping + pong"), "3");
}

TEST_F(ModuleTest, EndlessImportRecursionIsAScriptError) {
    Script("self.ovs", "Import('self');");
    ove::SRunResult r = ove::RunSource("Import('self')", "main");
    EXPECT_TRUE(r.running);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.rfind("ERROR: RangeError", 0), 0u) << r.error;
    EXPECT_EQ(Eval("2 * 3"), "6");
}

TEST_F(ModuleTest, FileNamesMatchWithoutRegardToCase) {
    Script("hall.ovs", "var hall = 'loaded';");
    Script("Sub/Room.OvS", "var room = 'too';");
    EXPECT_EQ(Eval("ScriptExists('hall')"), "true");
    EXPECT_EQ(Eval("ScriptExists('HALL')"), "true");
    Run("Import('hall'); Import('sub/room');");
    EXPECT_EQ(Eval("hall + ' ' + room"), "loaded too");
    // ScriptExists never throws for a string.
    for (const char* name : {"nothing", "", "not/there/at/all"})
        EXPECT_EQ(Eval("ScriptExists('" + std::string(name) + "')"), "false") << name;
    EXPECT_EQ(Eval("ScriptExists(new Array(400).join('x'))"), "false");
    // An empty script can be imported.
    Script("here.ovs", "");
    Run("Import('here');");
}

TEST_F(ModuleTest, LoadScriptCopiesGlobalsAndFunctionsSeeTheMainHeap) {
    Script("mod.ovs", "var n = 5; function f() { return n; }");
    Run("var m = LoadScript('mod');");
    EXPECT_EQ(Eval("m.n"), "5");
    EXPECT_EQ(Eval("typeof m.f"), "function");
    // The copied function looks n up among the main heap's globals, not in the module.
    EXPECT_EQ(Thrown("m.f()"), "ReferenceError: identifier 'n' undefined");
    Run("var n = 42;");
    EXPECT_EQ(Eval("m.f()"), "42");
    // Only the script's own globals are visible; the hidden name is not.
    EXPECT_EQ(Eval("Object.keys(m).sort().join(',')"), "f,n");
    EXPECT_EQ(Eval("typeof n"), "number");

    // A strict script's globals are copied the same way.
    Script("strict.ovs", "'use strict';\nvar k = 3;\nfunction g() { return 4; }\n");
    EXPECT_EQ(Eval("(function () { var s = LoadScript('strict'); return s.k + s.g(); })()"), "7");
}

TEST_F(ModuleTest, LoadScriptCopiesDataByValue) {
    Script("data.ovs",
           "var s = 'text', t = true, z = null, u = undefined, big = 1e300, neg = -0.5;\n"
           "var list = [1, 'two', [3, 4], {five: 5}];\n"
           "var nested = {a: {b: {c: 'deep'}}, fn: function (k) { return k * 2; }};\n"
           "var loop = {v: 1}; loop.self = loop;\n"
           "var bytes = new Uint8Array(4);\n"
           "var nativeFn = Math.max, bound = function () {}.bind(null);\n"
           "var performance = 'shadowed';\n");
    Run("var d = LoadScript('data');");
    EXPECT_EQ(Eval("d.s + ' ' + d.t + ' ' + d.z + ' ' + ('u' in d) + ' ' + d.u"), "text true null true undefined");
    EXPECT_EQ(Eval("d.big === 1e300 && d.neg === -0.5"), "true");
    EXPECT_EQ(Eval("Array.isArray(d.list) && Array.isArray(d.list[2])"), "true");
    EXPECT_EQ(Eval("JSON.stringify(d.list)"), "[1,\"two\",[3,4],{\"five\":5}]");
    EXPECT_EQ(Eval("d.nested.a.b.c"), "deep");
    EXPECT_EQ(Eval("d.nested.fn(21)"), "42");
    // A reference cycle is cut instead of copied for ever.
    EXPECT_EQ(Eval("d.loop.v + ' ' + ('self' in d.loop)"), "1 false");
    // Buffers, native and bound functions and the engine's `performance` are not copied.
    EXPECT_EQ(Eval("['bytes', 'nativeFn', 'bound', 'performance'].filter(function (k) { return k in d; }).join()"), "");
}

TEST_F(ModuleTest, LoadScriptHeapsAreIsolated) {
    Script("iso.ovs", "var sawImport = typeof Import; var sawMain = typeof mainOnly;");
    Run("var mainOnly = 1; var iso = LoadScript('iso');");
    EXPECT_EQ(Eval("iso.sawImport + ' ' + iso.sawMain"), "undefined undefined");
    // Loading twice gives two independent objects.
    Run("var iso2 = LoadScript('iso'); iso2.sawImport = 'changed';");
    EXPECT_EQ(Eval("iso.sawImport"), "undefined");
}

TEST_F(ModuleTest, UncaughtErrorInPrivateHeapIsFatal) {
    Script("bad.ovs", "var ok = 1; throw new TypeError('nope');");
    ove::SRunResult r = ove::RunSource("LoadScript('bad');", "main");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "ERROR@bad: TypeError: nope\n");
    EXPECT_FALSE(ove::HasPendingFatal());

    // Script code cannot catch it: the run ends at once, no catch or finally block runs, and an
    // error such a block would throw cannot hide the first.
    r = ove::RunSource(
        "var caught = 'no', cleaned = 'no';"
        "try { LoadScript('bad'); } catch (e) { caught = 'yes'; throw new Error('second'); }"
        "finally { cleaned = 'yes'; }",
        "main");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "ERROR@bad: TypeError: nope\n");
    EXPECT_EQ(Eval("caught + ' ' + cleaned"), "no no");

    Script("noapi.ovs", "Import('x');");
    r = ove::RunSource("LoadScript('noapi')", "main");
    EXPECT_EQ(r.error, "ERROR@noapi: ReferenceError: identifier 'Import' undefined\n");

    Script("throwing-getter.ovs",
           "Object.defineProperty(this, 'g', {enumerable: true, get: function () { throw 7; }});");
    r = ove::RunSource("LoadScript('throwing-getter')", "main");
    EXPECT_EQ(r.error, "ERROR@throwing-getter: 7\n");

    // The main heap goes on afterwards.
    EXPECT_EQ(Eval("[1, 2, 3].length"), "3");
}

TEST_F(ModuleTest, ReloadScriptReplacesFunctionsAndKeepsData) {
    Script("mod.ovs", "var n = 5; function f() { return 'old'; }");
    Run("var m = LoadScript('mod'); m.n = 9; m.extra = 'mine';");
    EXPECT_EQ(Eval("m.f()"), "old");

    Script("mod.ovs", "var n = 1; function f() { return 'new'; } function g() { return 'added'; }");
    EXPECT_EQ(Eval("ReloadScript(m)"), "true");
    EXPECT_EQ(Eval("m.f()"), "new");
    EXPECT_EQ(Eval("m.g()"), "added");
    EXPECT_EQ(Eval("m.n + ' ' + m.extra"), "9 mine");

    EXPECT_EQ(Eval("ReloadScript({})"), "false");
    EXPECT_EQ(Eval("ReloadScript([])"), "false");

    std::filesystem::remove(m_data / "mod.ovs");
    EXPECT_EQ(Thrown("ReloadScript(m)"), "ReferenceError: Couldn't load script [mod]");
    EXPECT_EQ(Eval("m.f()"), "new");

    // Reloading into a frozen module is an ordinary error.
    Script("mod.ovs", "function f() { return 1; }");
    Run("var frozen = Object.freeze(LoadScript('mod'));");
    EXPECT_EQ(ThrownName("ReloadScript(frozen)"), "TypeError");
    EXPECT_EQ(Eval("frozen.f()"), "1");
}

TEST_F(ModuleTest, DestroyScriptLeavesTheModuleAlone) {
    Script("mod.ovs", "var n = 3; function f() { return 4; }");
    Run("var m = LoadScript('mod'); DestroyScript(m); DestroyScript(); DestroyScript(1, 2);");
    EXPECT_EQ(Eval("m.n + m.f()"), "7");
    EXPECT_EQ(Eval("ReloadScript(m)"), "true");
}

TEST_F(ModuleTest, DiskFirstPrefersLooseFiles) {
    TempDir cwd;
    cwd.Write("room.OVS", "var from = 'disk';");
    Script("room.ovs", "var from = 'data';");
    ScopedCwd in(cwd.path());
    Run("Import('room')");
    EXPECT_EQ(Eval("from"), "data");
    m_resources->SetDiskFirst(true);
    Run("Import('room')");
    EXPECT_EQ(Eval("from"), "disk");
    EXPECT_EQ(Eval("ScriptExists('ROOM')"), "true");
}

TEST_F(ModuleTest, RestartingTheHostGivesAFreshHeapThatForgetsImports) {
    Script("once.ovs", "var loaded = true;");
    Run("ImportOnce('once')");
    ASSERT_TRUE(m_game->StartScript());  // restarts
    EXPECT_EQ(Eval("typeof loaded"), "undefined");
    EXPECT_EQ(Eval("typeof Import + typeof LoadScript + typeof DestroyScript"), "functionfunctionfunction");
    Run("ImportOnce('once')");
    EXPECT_EQ(Eval("loaded"), "true");
    // The same after a stop and a start.
    ove::StopScriptHost();
    ASSERT_TRUE(m_game->StartScript());
    EXPECT_EQ(Eval("typeof loaded"), "undefined");
}

}  // namespace
}  // namespace ovetest
