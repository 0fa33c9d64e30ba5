#include "ScriptFixture.h"

#include <duktape.h>

namespace ovetest {

std::string EvalScript(const std::string& expression) {
    ove::SRunResult r = ove::RunSource("var __r = String(" + expression + ");", "test");
    if (!r.ok) return "error: " + r.error;
    duk_context* ctx = ove::ScriptContext();
    duk_get_global_string(ctx, "__r");
    std::string s = duk_safe_to_string(ctx, -1);
    duk_pop(ctx);
    return s;
}

std::string RunScript(const std::string& source) {
    ove::SRunResult r = ove::RunSource(source, "test");
    return r.ok ? "" : r.error;
}

std::string ScriptError(const std::string& statement) {
    return EvalScript("(function () { try { " + statement +
                      "; return 'no error'; } catch (e) { return e.name + ': ' + e.message; } })()");
}

}  // namespace ovetest
