// A running script host on a temporary data folder, for the script tests.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "io/FileFolder.h"
#include "data/ResourceCache.h"
#include "host/Game.h"
#include "script/ScriptHost.h"
#include "TestSupport.h"

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
        folder_ = std::make_unique<ove::CCompoundFolder>();
        folder_->Add(new ove::CDirectory(data_.path().string()));
        // Loose files in whatever directory the tests run from must not leak in.
        folder_->SetLocalFirst(false);
        resources_ = std::make_unique<ove::CResourceCache>(nullptr, nullptr, folder_.get());
        game_ = std::make_unique<ove::CGame>();
        game_->folder = folder_.get();
        game_->resources = resources_.get();
        ove::SetGame(game_.get());
        ASSERT_TRUE(ove::StartScriptHost(game_.get()));
    }

    void TearDown() override {
        ove::StopScriptHost();
        // The test owns these; the game must not release them.
        game_->folder = nullptr;
        game_->resources = nullptr;
        ove::SetGame(nullptr);
        game_.reset();
    }

    duk_context* ctx() { return ove::ScriptContext(); }

    // Writes a script file into the data folder.
    void Script(const std::string& fileName, const std::string& source) { data_.Write(fileName, source); }

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
        else
            out = duk_safe_to_string(c, -1);
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

    TempDir data_;
    std::unique_ptr<ove::CCompoundFolder> folder_;
    std::unique_ptr<ove::CResourceCache> resources_;
    std::unique_ptr<ove::CGame> game_;
};

}  // namespace ovetest
