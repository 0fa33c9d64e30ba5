// A running script host whose current directory (the game's folder) is a fresh temp folder.
#pragma once
#include <string>

#include "io/FileAccess.h"
#include "support/ScriptFixture.h"

namespace ovetest {

class FileScriptTest : public ScriptTest {
protected:
    void SetUp() override {
        ove::FileAccess().SetGameFolder(".");  // confined as a started game is
        ScriptTest::SetUp();
    }
    void TearDown() override {
        ove::FileAccess().Reset();
        ScriptTest::TearDown();
    }

    // As ScriptTest's, but a binding that leaves the stack unbalanced fails the test.
    std::string Eval(const std::string& expression) {
        duk_context* c = ctx();
        const duk_idx_t top = duk_get_top(c);
        std::string out = duk_peval_lstring(c, expression.data(), expression.size()) != 0
                              ? std::string("<error: ") + duk_safe_to_string(c, -1) + ">"
                              : duk_safe_to_string(c, -1);
        duk_pop(c);
        EXPECT_EQ(duk_get_top(c), top) << expression;
        return out;
    }

    std::string Bytes(const std::string& name) { return ReadFileText(m_dir / name); }

    TempDir m_dir;
    ScopedCwd m_cwd{m_dir.path()};
};

}  // namespace ovetest
