// A script heap with API modules started, for script-level tests.
#pragma once
#include <gtest/gtest.h>

#include <duktape.h>

#include <string>

namespace gameapitest {

class ScriptFixture : public ::testing::Test {
public:
    bool CallStartModules(duk_context* ctx) { return StartModules(ctx); }

protected:
    void SetUp() override;
    void TearDown() override;
    // The modules to start, in the host's order (raising is fine: it runs protected).
    virtual bool StartModules(duk_context* ctx);
    virtual void StopModules(duk_context* ctx);
    // What the modules reach the game through (none: they run without a game).
    virtual void* Services() { return nullptr; }

    // Evaluates `source` as global code. Returns the result converted to a string, or "throw "
    // followed by the error's text. Fails the test when the value stack is left unbalanced.
    std::string Eval(const std::string& source);
    // What the statement throws: the error's name, or "Name: message" when asked; "no error" if nothing.
    std::string Thrown(const std::string& statement, bool withMessage = false) {
        return Eval("try { " + statement + "; 'no error' } catch (e) { e.name" +
                    (withMessage ? " + ': ' + e.message" : "") + " }");
    }
    // Evaluates `source` and leaves its result on the stack (the test pops it).
    void Push(const std::string& source);

    duk_context* m_ctx = nullptr;
};

}  // namespace gameapitest
