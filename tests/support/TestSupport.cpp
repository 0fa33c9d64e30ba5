#include "TestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include <cstdlib>
#include <fstream>
#include <random>

extern char** environ;

namespace ovetest {

bool CChild::Start(const std::vector<std::string>& args, const std::string& errFile,
                   const std::vector<std::string>& env, int fd3) {
    std::vector<char*> argv, envp;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    for (char** e = environ; *e; ++e) envp.push_back(*e);  // the first of a name wins
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (fd3 >= 0) posix_spawn_file_actions_adddup2(&actions, fd3, 3);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const bool ok = posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), envp.data()) == 0;
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    m_pid = ok ? pid : -1;
    return ok;
}

void CChild::Signal(int sig) const {
    if (m_pid > 0) kill(m_pid, sig);
}

int CChild::Wait(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (m_pid > 0) {
        int status = 0;
        const pid_t r = waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) {
            m_pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (r < 0 || std::chrono::steady_clock::now() > end) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
}

void CChild::Stop() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    for (int i = 0; i < 100 && waitpid(m_pid, nullptr, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (waitpid(m_pid, nullptr, WNOHANG) == 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    m_pid = -1;
}

std::string CXServer::Start(const std::vector<std::string>& extra) {
    int fds[2];
    if (pipe(fds) != 0) return "pipe failed";
    // -noreset: without it the server resets whenever its last client leaves (each xwininfo or
    // xdotool poll), and a program connecting during the reset is refused.
    std::vector<std::string> args = {"Xvfb",        "-displayfd", "3",   "-screen", "0",
                                     "1024x768x24", "-nolisten",  "tcp", "-noreset"};
    args.insert(args.end(), extra.begin(), extra.end());
    const bool started = m_server.Start(args, "/dev/null", {}, fds[1]);
    close(fds[1]);
    std::string number;
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
         started && std::chrono::steady_clock::now() < end;) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char c;
        if (read(fds[0], &c, 1) != 1 || c == '\n') break;
        number += c;
    }
    close(fds[0]);
    if (!started || number.empty()) return "Xvfb did not start";
    m_display = ":" + number;
    return "";
}

TempDir::TempDir() {
    std::random_device rd;
    for (;;) {
        auto p = std::filesystem::temp_directory_path() /
                 ("ove-test-" + std::to_string(::getpid()) + "-" + std::to_string(rd()));
        if (std::filesystem::create_directory(p)) {
            m_path = p;
            break;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::filesystem::path TempDir::Write(const std::string& name, const std::string& content) const {
    return Write(name, std::vector<unsigned char>(content.begin(), content.end()));
}

std::filesystem::path TempDir::Write(const std::string& name, const std::vector<unsigned char>& content) const {
    auto p = m_path / name;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream f(p, std::ios::binary);
    f.write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
    return p;
}

ScopedCwd::ScopedCwd(const std::filesystem::path& dir) : m_old(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
}

ScopedCwd::~ScopedCwd() {
    std::error_code ec;
    std::filesystem::current_path(m_old, ec);
}

std::vector<unsigned char> ReadFileBytes(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(f), {});
}

std::string ReadFileText(const std::filesystem::path& p) {
    auto bytes = ReadFileBytes(p);
    return std::string(bytes.begin(), bytes.end());
}

std::size_t CountEntries(const std::filesystem::path& dir) {
    std::size_t n = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir)) ++n;
    return n;
}

int Run(const std::string& command) {
    int rc = std::system(command.c_str());
    if (rc == -1) return -1;
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

bool HaveProgram(const std::string& name) { return Run("command -v " + name + " >/dev/null 2>&1") == 0; }

}  // namespace ovetest
