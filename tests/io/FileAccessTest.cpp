// The file-access policy: what a game may read and write, however a path is spelled.
#include <gtest/gtest.h>

#include <filesystem>

#include "io/FileAccess.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using Mode = ove::CFileAccess::Mode;

TEST(FileAccess, PathsResolveAsTheSystemWouldThenStayInsideTheirFolders) {
    ovetest::TempDir root;
    root.Write("game/DATA/main.ovs", "");
    root.Write("outside/secret.txt", "x");
    root.Write("saves/keep.dat", "");
    fs::create_directory_symlink(root / "outside", root / "game/escape");   // a link pointing out
    fs::create_symlink(root / "outside/new.txt", root / "game/dangling");   // writing creates outside
    fs::create_directory_symlink(root / "game/DATA", root / "outside/in");  // a link pointing in

    ovetest::ScopedCwd cwd(root / "game");
    ove::CFileAccess access;
    EXPECT_TRUE(access.Allows("/etc/passwd", Mode::kWrite)) << "unconfined until the game folder is set";
    access.SetGameFolder(".");
    access.AddFolder((root / "saves").string());

    const struct {
        const char* path;
        bool read, write;
    } cases[] = {
        {"DATA/main.ovs", true, true},
        {"DATA/new/deeper/file.txt", true, true},
        {".", true, true},
        {"DATA/../DATA//./main.ovs", true, true},
        {"../saves/keep.dat", true, true},
        {"../outside/secret.txt", false, false},
        {"..", false, false},
        {"/etc/hostname", false, false},
        {"escape/secret.txt", false, false},
        {"escape/../game/DATA/main.ovs", true, true},  // ".." goes up from the link's target: back in here
        {"dangling", false, false},
        {"../outside/in/main.ovs", true, true},  // what matters is where the file really is
        {"missing/../../outside/secret.txt", false, false},
        {"", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(access.Allows(c.path, Mode::kRead), c.read);
        EXPECT_EQ(access.Allows(c.path, Mode::kWrite), c.write);
    }

    // Trust lifts the read confinement only.
    access.SetTrustReads(true);
    EXPECT_TRUE(access.Allows("../outside/secret.txt", Mode::kRead));
    EXPECT_FALSE(access.Allows("../outside/secret.txt", Mode::kWrite));
    EXPECT_FALSE(access.Allows("dangling", Mode::kWrite));
}

TEST(FileAccess, LinkLoopsAreRefused) {
    ovetest::TempDir root;
    fs::create_symlink(root / "b", root / "a");
    fs::create_symlink(root / "a", root / "b");
    EXPECT_EQ(ove::ResolveHostPath((root / "a/x").string()), "");
    EXPECT_TRUE(ove::PathInside("/g/a", "/g"));
    EXPECT_FALSE(ove::PathInside("/ga", "/g"));
    EXPECT_TRUE(ove::PathInside("/g", "/g"));
}

}  // namespace
