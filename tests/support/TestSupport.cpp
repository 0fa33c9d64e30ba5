#include "TestSupport.h"

#include <duktape.h>

#include "script/ScriptHost.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>

namespace ovetest {

TempDir::TempDir() {
    std::random_device rd;
    for (;;) {
        auto p = std::filesystem::temp_directory_path() /
                 ("ove-test-" + std::to_string(::getpid()) + "-" + std::to_string(rd()));
        if (std::filesystem::create_directory(p)) {
            path_ = p;
            break;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::filesystem::path TempDir::Write(const std::string& name, const std::string& content) const {
    return Write(name, std::vector<unsigned char>(content.begin(), content.end()));
}

std::filesystem::path TempDir::Write(const std::string& name, const std::vector<unsigned char>& content) const {
    auto p = path_ / name;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream f(p, std::ios::binary);
    f.write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
    return p;
}

ScopedCwd::ScopedCwd(const std::filesystem::path& dir) : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
}

ScopedCwd::~ScopedCwd() {
    std::error_code ec;
    std::filesystem::current_path(old_, ec);
}

std::vector<unsigned char> ReadFileBytes(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(f), {});
}

int Run(const std::string& command) {
    int rc = std::system(command.c_str());
    if (rc == -1) return -1;
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

bool HaveProgram(const std::string& name) { return Run("command -v " + name + " >/dev/null 2>&1") == 0; }

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
