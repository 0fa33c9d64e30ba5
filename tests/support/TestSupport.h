// Helpers shared by the test programs.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

namespace ovetest {

// Built with AddressSanitizer: memory figures then include its quarantine and shadow.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// A fresh, empty directory under the system temp folder, removed when the object dies.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    // Writes a file (creating parent folders) and returns its path.
    std::filesystem::path Write(const std::string& name, const std::string& content) const;
    std::filesystem::path Write(const std::string& name, const std::vector<unsigned char>& content) const;

private:
    std::filesystem::path path_;
};

// Changes the current directory for the lifetime of the object.
class ScopedCwd {
public:
    explicit ScopedCwd(const std::filesystem::path& dir);
    ~ScopedCwd();

private:
    std::filesystem::path old_;
};

std::vector<unsigned char> ReadFileBytes(const std::filesystem::path& p);
// Runs a shell command; returns its exit status (-1 when it could not run).
int Run(const std::string& command);
// True when a program is on PATH.
bool HaveProgram(const std::string& name);

// Against the running script host: the expression's value as text, or "error: ..." when it threw.
std::string EvalScript(const std::string& expression);
// Runs statements: "" when they ran, the error text otherwise.
std::string RunScript(const std::string& source);
// "Name: message" of what the statement throws, or "no error".
std::string ScriptError(const std::string& statement);

}  // namespace ovetest
