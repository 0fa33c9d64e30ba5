// Script writers that fail or die half-way leave the previous save as it was.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "FileFixture.h"
#include "data/SafeFile.h"

namespace ovetest {
namespace {

// Runs `body` in a child process and returns its wait status.
template <class F>
int InChild(F body) {
    pid_t pid = fork();
    if (pid == 0) {
        body();
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

using KilledWriter = FileScriptTest;

TEST_F(KilledWriter, SigkillHalfWayLeavesThePreviousSave) {
    Eval("var w = new FileWriter('save.dat'); w.Write('good save', 1); w.Close()");
    const std::string good = Bytes("save.dat");
    ASSERT_FALSE(good.empty());

    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t pid = fork();
    if (pid == 0) {
        // The engine in the child writes more than one buffer's worth, then waits to be killed.
        duk_peval_string(ctx(), "var w = new FileWriter('save.dat'); for (var i = 0; i < 20000; ++i) w.Write(i);");
        char c = 'x';
        (void)!write(ready[1], &c, 1);
        for (;;) pause();
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    // Some of the new bytes have reached the temporary file.
    bool partial = false;
    for (auto& e : std::filesystem::directory_iterator(m_dir.path()))
        partial |= e.path().filename() != "save.dat" && std::filesystem::file_size(e.path()) > 0;
    EXPECT_TRUE(partial);
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    close(ready[0]);
    close(ready[1]);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(Bytes("save.dat"), good);
    EXPECT_EQ(Eval("var r = new FileReader('save.dat'); r.Read() + r.Read()"), "good save1");
}

TEST_F(KilledWriter, FullDiskFailsTheWriteAndKeepsThePreviousSave) {
    Eval("var w = new FileWriter('save.dat'); w.Write('good'); w.Close()");
    const std::string good = Bytes("save.dat");
    int status = InChild([&] {
        // A file-size limit makes the disk look full to this process.
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{64, 64};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::string r = Eval(
            "var w = new FileWriter('save.dat'); var e = 'none';"
            "try { for (var i = 0; i < 100000; ++i) w.Write('abcdefgh'); } catch (x) { e = x.name; }"
            "var again = ''; try { w.Write(1); } catch (x) { again = x.name; } w.Close(); e + ' ' + again");
        _exit(r == "Error Error" ? 0 : 1);
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(Bytes("save.dat"), good);
    EXPECT_EQ(ovetest::CountEntries(m_dir.path()), 1u);
}

}  // namespace
}  // namespace ovetest
