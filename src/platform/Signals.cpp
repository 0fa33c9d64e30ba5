#include "Signals.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>

namespace ove {

namespace {

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "the signal handler may only touch lock-free atomics");

constexpr int kSignals[] = {SIGINT, SIGTERM};

std::atomic<int> g_signal{0};
std::atomic<bool> g_errorBox{false};
// Written by the handler, read by the box watcher: wakes it at once.
int g_wakeRead = -1, g_wakeWrite = -1;
struct sigaction g_ours;
struct sigaction g_previous[2];  // by index in kSignals
bool g_installed[2] = {false, false};

int StatusFor(int sig) { return g_errorBox.load() ? 1 : 128 + sig; }

void Wake() {
    if (g_wakeWrite < 0) return;
    const char byte = 1;
    ssize_t ignored = write(g_wakeWrite, &byte, 1);  // a full pipe is awake already
    (void)ignored;
}

extern "C" void OnTerminate(int sig, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    int none = 0;
    if (g_signal.compare_exchange_strong(none, sig)) {
        Wake();
        // The quit has a second to take its course; the alarm ends whatever holds it up.
        alarm(1);
    }
    // SDL's handler turns the signal into its quit event, which ends the game's loop. It puts
    // itself back when it runs, so ours goes back on top after it.
    for (int i = 0; i < 2; ++i) {
        if (kSignals[i] != sig || !g_installed[i]) continue;
        const struct sigaction& previous = g_previous[i];
        if (previous.sa_flags & SA_SIGINFO) {
            if (previous.sa_sigaction) previous.sa_sigaction(sig, info, context);
        } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
            previous.sa_handler(sig);
        }
        sigaction(sig, &g_ours, nullptr);
    }
    errno = savedErrno;
}

extern "C" void OnAlarm(int) {
    if (const int sig = g_signal.load()) _exit(StatusFor(sig));
}

// Kills the engine's child processes; while a box is up, the only one is the box's helper.
// Returns how many there were.
int KillChildren() {
    const pid_t self = getpid();
    int killed = 0;
    std::error_code ec;
    // Processes come and go meanwhile: errors end the pass, they do not throw.
    for (std::filesystem::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
        const std::filesystem::path& path = it->path();
        const std::string name = path.filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(path / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        // "pid (name) state ppid ...": the name may hold spaces and parentheses.
        const std::size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        char state = 0;
        long parent = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %ld", &state, &parent) != 2 || parent != self) continue;
        if (kill(static_cast<pid_t>(std::strtol(name.c_str(), nullptr, 10)), SIGKILL) == 0) ++killed;
    }
    return killed;
}

std::atomic<bool> g_watchStop{false};
std::thread g_watcher;

void Watch() {
    using Clock = std::chrono::steady_clock;
    Clock::time_point noticed{};
    bool helperKilled = false;
    while (!g_watchStop.load()) {
        pollfd wake{g_wakeRead, POLLIN, 0};
        if (poll(&wake, 1, 20) > 0) {
            char bytes[16];
            while (read(g_wakeRead, bytes, sizeof bytes) > 0) {
            }
        }
        if (g_watchStop.load() || !g_signal.load()) continue;
        const Clock::time_point now = Clock::now();
        if (noticed == Clock::time_point{}) noticed = now;
        // Again on every pass: the helper may be forked only after the signal came.
        if (KillChildren() > 0) helperKilled = true;
        // No helper: the box runs inside the engine and nothing but ending the process stops it.
        if (!helperKilled && now - noticed > std::chrono::milliseconds(250)) _exit(StatusFor(g_signal.load()));
    }
}

}  // namespace

void InstallSignalHandlers() {
    if (g_wakeRead < 0) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
            g_wakeRead = fds[0];
            g_wakeWrite = fds[1];
        }
    }
    g_ours = {};
    g_ours.sa_sigaction = OnTerminate;
    g_ours.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&g_ours.sa_mask);
    for (int sig : kSignals) sigaddset(&g_ours.sa_mask, sig);
    sigaddset(&g_ours.sa_mask, SIGALRM);
    for (int i = 0; i < 2; ++i) {
        struct sigaction previous;
        if (sigaction(kSignals[i], nullptr, &previous) != 0) continue;
        if (!(previous.sa_flags & SA_SIGINFO) && previous.sa_handler == SIG_IGN) continue;
        if ((previous.sa_flags & SA_SIGINFO) && previous.sa_sigaction == OnTerminate) continue;  // installed before
        g_previous[i] = previous;
        g_installed[i] = true;
        sigaction(kSignals[i], &g_ours, nullptr);
    }
    struct sigaction alarmAction = {};
    alarmAction.sa_handler = OnAlarm;
    alarmAction.sa_flags = SA_RESTART;
    sigemptyset(&alarmAction.sa_mask);
    sigaction(SIGALRM, &alarmAction, nullptr);
}

int TerminationSignal() { return g_signal.load(); }

void NoteErrorBox() { g_errorBox.store(true); }

int ExitStatus(int normal) {
    const int sig = g_signal.load();
    return sig ? StatusFor(sig) : normal;
}

CBlockingBoxWatch::CBlockingBoxWatch() {
    // Without the pipe (no handlers installed) there is nothing to watch for.
    if (g_wakeRead < 0 || g_watcher.joinable()) return;
    g_watchStop.store(false);
    try {
        g_watcher = std::thread(Watch);
        m_watching = true;
    } catch (const std::system_error&) {
        // No thread: the alarm still ends the engine a second after a signal.
    }
}

CBlockingBoxWatch::~CBlockingBoxWatch() {
    if (!m_watching) return;
    g_watchStop.store(true);
    Wake();
    g_watcher.join();
}

}  // namespace ove
