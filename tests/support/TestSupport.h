// Helpers shared by the test programs.
#pragma once
#include <chrono>
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
    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }
    // Writes a file (creating parent folders) and returns its path.
    std::filesystem::path Write(const std::string& name, const std::string& content) const;
    std::filesystem::path Write(const std::string& name, const std::vector<unsigned char>& content) const;

private:
    std::filesystem::path m_path;
};

// Changes the current directory for the lifetime of the object.
class ScopedCwd {
public:
    explicit ScopedCwd(const std::filesystem::path& dir);
    ~ScopedCwd();

private:
    std::filesystem::path m_old;
};

std::vector<unsigned char> ReadFileBytes(const std::filesystem::path& p);
std::string ReadFileText(const std::filesystem::path& p);
// How many entries a folder holds.
std::size_t CountEntries(const std::filesystem::path& dir);
// Runs a shell command; returns its exit status (-1 when it could not run).
int Run(const std::string& command);
// True when a program is on PATH.
bool HaveProgram(const std::string& name);

// A child process started with posix_spawnp: input and output go to /dev/null, standard error to
// `errFile`; `fd3` (when given) becomes its descriptor 3; `env` entries are added to (and win over)
// this process's environment; SIGINT and SIGTERM are at their defaults whatever this test
// inherited. Stopped (SIGTERM, then SIGKILL) if it is still running at the end.
class CChild {
public:
    CChild() = default;
    CChild(const CChild&) = delete;
    CChild& operator=(const CChild&) = delete;
    ~CChild() { Stop(); }
    bool Start(const std::vector<std::string>& args, const std::string& errFile,
               const std::vector<std::string>& env = {}, int fd3 = -1);
    void Signal(int sig) const;
    // The exit status (128 + N when signal N ended it), or -1 when it did not end in time.
    int Wait(std::chrono::milliseconds limit);
    void Stop();

private:
    int m_pid = -1;
};

// A private X server: Xvfb picks a free display number itself and tells it through a pipe.
class CXServer {
public:
    // "" when the server runs, else what went wrong. `extra` goes to Xvfb's command line.
    std::string Start(const std::vector<std::string>& extra = {});
    const std::string& Display() const { return m_display; }  // ":N", empty until started

private:
    CChild m_server;
    std::string m_display;
};

}  // namespace ovetest
