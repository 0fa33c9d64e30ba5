// A running script host on a temporary data folder, for the script tests.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "TestSupport.h"
#include "bindings/Bindings.h"
#include "host/Game.h"
#include "io/FileFolder.h"
#include "resources/ResourceCache.h"
#include "script/ScriptHost.h"

namespace ovetest {

// Against the running script host: the expression's value as text, or "error: ..." when it threw.
std::string EvalScript(const std::string& expression);
// Runs statements: "" when they ran, the error text otherwise.
std::string RunScript(const std::string& source);
// "Name: message" of what the statement throws, or "no error".
std::string ScriptError(const std::string& statement);

class ScriptTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto folder = std::make_unique<ove::CCompoundFolder>();
        folder->Add(new ove::CDirectory(m_data.path().string()));
        // Loose files in whatever directory the tests run from must not leak in.
        folder->SetLocalFirst(false);
        auto resources = std::make_unique<ove::CResourceCache>(nullptr, nullptr, folder.get());
        m_folder = folder.get();
        m_resources = resources.get();
        m_game = std::make_unique<ove::CGame>(ove::CreateScriptRuntime());
        m_game->Install(std::unique_ptr<ove::CFileFolder>(std::move(folder)));
        m_game->Install(std::move(resources));
        ASSERT_TRUE(m_game->StartScript());
    }

    void TearDown() override {
        ove::StopScriptHost();
        m_game.reset();
    }

    duk_context* ctx() { return ove::ScriptContext(); }

    // Writes a script file into the data folder.
    void Script(const std::string& fileName, const std::string& source) { m_data.Write(fileName, source); }

    // Runs source and expects it to end without an uncaught error.
    void Run(const std::string& source) {
        ove::SRunResult r = ove::RunSource(source, "test");
        EXPECT_TRUE(r.running);
        EXPECT_TRUE(r.ok) << r.error;
    }

    // The value of an expression, converted to a string ("<error: ...>" when it throws).
    std::string Eval(const std::string& expression) {
        duk_context* c = ctx();
        duk_idx_t top = duk_get_top(c);
        std::string out;
        if (duk_peval_lstring(c, expression.data(), expression.size()) != 0)
            out = std::string("<error: ") + duk_safe_to_string(c, -1) + ">";
        else out = duk_safe_to_string(c, -1);
        duk_set_top(c, top);
        return out;
    }

    // The text of the error that the statement throws, as "Name: message" ("" when none).
    std::string Thrown(const std::string& statement) {
        return Eval("(function () { try { " + statement + "; } catch (e) { return String(e); } return ''; })()");
    }
    // Just the error's name ("TypeError"), "" when nothing is thrown.
    std::string ThrownName(const std::string& statement) {
        const std::string text = Thrown(statement);
        return text.substr(0, text.find(':'));
    }

    TempDir m_data;
    ove::CCompoundFolder* m_folder = nullptr;  // the game's
    ove::CResourceCache* m_resources = nullptr;
    std::unique_ptr<ove::CGame> m_game;
};

}  // namespace ovetest
