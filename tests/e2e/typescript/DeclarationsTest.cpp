// docs/ove.d.ts against the TypeScript compiler: the demo game's scripts type-check with it, a
// script that misuses the API does not, and every name the engine really registers (globals,
// and members of each class's prototype chain) is declared, constants with the engine's values. Skipped without tsc
// (scripts/setup.sh installs it under ~/.cache/ove-npm) or without the engine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "Tsc.h"
#include "e2e/demo/DemoTestUtil.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

const fs::path kSource = fs::path(OVE_TEST_SOURCE_DIR).parent_path();
const fs::path kDeclarations = kSource / "docs" / "ove.d.ts";

class DeclarationsTest : public ::testing::Test {
protected:
    void SetUp() override {
        tsc = FindTsc();
        if (tsc.empty()) GTEST_SKIP() << "tsc not installed (scripts/setup.sh installs it)";
    }

    int Check(std::string* log, const std::string& files = "*.js") { return TypeCheck(tsc, dir.path(), files, log); }

    std::string tsc;
    ovetest::TempDir dir;
};

TEST_F(DeclarationsTest, DemoScriptsTypeCheck) {
    int scripts = 0;
    for (const auto& entry : fs::directory_iterator(kSource / "samples" / "demo")) {
        if (entry.path().extension() != ".ovs") continue;
        fs::copy_file(entry.path(), dir / (entry.path().stem().string() + ".js"));
        ++scripts;
    }
    ASSERT_GT(scripts, 0);
    std::string log;
    EXPECT_EQ(Check(&log), 0) << log;
}

TEST_F(DeclarationsTest, MisusedApiIsReported) {
    // Each line is wrong in one way: argument type, unknown member, read-only property, missing new.
    dir.Write("bad.js",
              "SetBackdrop(true);\n"
              "var s = new Sprite(); s.WalkTo(\"far\", 2);\n"
              "s.viewName = \"hero\";\n"
              "var img = new Image(4, 4); img.width = 8;\n"
              "var r = RandomInt(1, 2, 3, 4, 5, 6) + ReadKey(1);\n");
    std::string log;
    EXPECT_NE(Check(&log), 0);
    for (const char* where : {"bad.js(1,", "bad.js(2,", "bad.js(3,", "bad.js(4,", "bad.js(5,"})
        EXPECT_NE(log.find(where), std::string::npos) << where << " not reported:\n" << log;
}

// Runs a headless game that lists the engine's globals and class members, then checks a script
// that touches every one of them.
TEST_F(DeclarationsTest, EveryRegisteredNameIsDeclared) {
    dir.Write("game/DATA/main.ovs", R"JS(
var lines = [], g = this;
var skip = { Object: 1, Function: 1, Array: 1, String: 1, Boolean: 1, Number: 1, Date: 1, RegExp: 1,
    Error: 1, EvalError: 1, RangeError: 1, ReferenceError: 1, SyntaxError: 1, TypeError: 1,
    URIError: 1, Math: 1, JSON: 1, Duktape: 1, Proxy: 1, Reflect: 1, Symbol: 1, Promise: 1,
    ArrayBuffer: 1, Buffer: 1, DataView: 1, Int8Array: 1, Uint8Array: 1, Uint8ClampedArray: 1, Int16Array: 1,
    Uint16Array: 1, Int32Array: 1, Uint32Array: 1, Float32Array: 1, Float64Array: 1, TextEncoder: 1,
    TextDecoder: 1, CBOR: 1, performance: 1, globalThis: 1, NaN: 1, Infinity: 1, undefined: 1,
    eval: 1, parseInt: 1, parseFloat: 1, isNaN: 1, isFinite: 1, decodeURI: 1, decodeURIComponent: 1,
    encodeURI: 1, encodeURIComponent: 1, escape: 1, unescape: 1, print: 1, require: 1,
    Init: 1, Run: 1, Quit: 1, lines: 1, g: 1, skip: 1, protoNames: 1 };
// The engine's class tree, one "//extends Class Base" line per class whose prototype inherits from
// another class's.
var protoNames = [];
Object.getOwnPropertyNames(g).forEach(function (n) {
    var v = g[n];
    if (!skip[n] && typeof v === "function" && v.prototype && /^[A-Z]/.test(n)) protoNames.push([v.prototype, n]);
});
protoNames.forEach(function (c) {
    var base = Object.getPrototypeOf(c[0]);
    protoNames.forEach(function (b) { if (b[0] === base) lines.push("//extends " + c[1] + " " + b[1]); });
});
Object.getOwnPropertyNames(g).sort().forEach(function (n) {
    if (skip[n] || n.charAt(0) === "\xFF") return;
    lines.push("void " + n + ";");
    var v = g[n];
    // A constant declared with its value must have the engine's value.
    if (typeof v === "number") lines.push("const value_" + n + ": typeof " + n + " = " + v + ";");
    if (typeof v !== "function" || !v.prototype || !/^[A-Z]/.test(n)) return;
    var members = [];
    for (var p = v.prototype; p && p !== Object.prototype; p = Object.getPrototypeOf(p))
        Object.getOwnPropertyNames(p).forEach(function (m) {
            if (m !== "constructor" && m !== "_ptr" && m.charAt(0) !== "\xFF") members.push('"' + m + '"');
        });
    if (members.length) lines.push("const use_" + n + ": Known<" + n + ">[] = [" + members.join(", ") + "];");
});
function Init() {}
function Run() { Alert("\n" + lines.join("\n") + "\n"); }
function Quit() {}
)JS");
    const demotest::SRun run = demotest::RunEngine(dir / "game", "--frames 1");
    ASSERT_EQ(run.status, 0) << run.err;
    std::string listing = run.err;
    auto start = listing.find("Alert: \n");
    ASSERT_NE(start, std::string::npos) << listing;
    listing = listing.substr(start + 8);
    // Sanity: the listing holds names from several families, not an empty run.
    for (const char* name : {"void SetBackdrop;", "void CreateSprite;", "void STYLE_OS;", "use_Sprite:",
                             "use_TileLayer:", "\"title_background\"", "const value_F12: typeof F12 = 22528;"})
        EXPECT_NE(listing.find(name), std::string::npos) << name;
    // Each class extends in the declarations the class whose prototype it inherits from.
    std::set<std::string> engineTree, declaredTree;
    std::istringstream listed(listing);
    for (std::string line; std::getline(listed, line);)
        if (line.rfind("//extends ", 0) == 0) engineTree.insert(line.substr(10));
    EXPECT_TRUE(engineTree.count("Button Label")) << "no class tree in the listing";
    const std::string declarations = ovetest::ReadFileText(kDeclarations);
    const std::regex declared(R"(declare class (\w+) extends (\w+))");
    for (auto it = std::sregex_iterator(declarations.begin(), declarations.end(), declared);
         it != std::sregex_iterator(); ++it) {
        const std::string derived = (*it)[1], base = (*it)[2];
        // Only classes the engine registers: the declarations' own helper types are not listed.
        if (listing.find("void " + derived + ";") != std::string::npos) declaredTree.insert(derived + " " + base);
    }
    for (const std::string& pair : engineTree)
        EXPECT_TRUE(declaredTree.count(pair))
            << "the engine has " << pair << " (class, base) but the declarations do not";
    for (const std::string& pair : declaredTree)
        EXPECT_TRUE(engineTree.count(pair))
            << "the declarations have " << pair << " (class, base) but the engine does not";

    // Known<T>: the declared member names of T, without the index signature that lets scripts keep
    // their own data on GUI elements (which would accept any name).
    dir.Write("names.ts", "type Known<T> = keyof { [K in keyof T as string extends K ? never : K]: 0 };\n" + listing);
    std::string log;
    EXPECT_EQ(Check(&log, "names.ts"), 0) << "names the engine registers but the declarations lack:\n" << log;
}

}  // namespace
