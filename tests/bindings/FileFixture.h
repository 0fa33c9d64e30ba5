// A running script host whose current directory (the game's folder) is a fresh temp folder.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "host/Game.h"
#include "bindings/Bindings.h"
#include "io/FileAccess.h"
#include "script/ScriptHost.h"
#include "support/TestSupport.h"

namespace ovetest {

class FileScriptTest : public ::testing::Test {
protected:
    void SetUp() override {
        game_ = std::make_unique<ove::CGame>(ove::CreateScriptRuntime());
        ove::FileAccess().SetGameFolder(".");  // confined as a started game is
        ASSERT_TRUE(game_->StartScript());
    }

    void TearDown() override {
        ove::FileAccess().Reset();
        ove::StopScriptHost();
        game_.reset();
    }

    duk_context* ctx() { return ove::ScriptContext(); }

    // The value of an expression as a string ("<error: ...>" when it throws). Checks the stack.
    std::string Eval(const std::string& expression) {
        duk_context* c = ctx();
        duk_idx_t top = duk_get_top(c);
        std::string out;
        if (duk_peval_lstring(c, expression.data(), expression.size()) != 0)
            out = std::string("<error: ") + duk_safe_to_string(c, -1) + ">";
        else
            out = duk_safe_to_string(c, -1);
        duk_pop(c);
        EXPECT_EQ(duk_get_top(c), top) << expression;
        return out;
    }

    std::string Bytes(const std::string& name) { return ReadFileText(dir_ / name); }

    TempDir dir_;
    ScopedCwd cwd_{dir_.path()};
    std::unique_ptr<ove::CGame> game_;
};

}  // namespace ovetest
