// Machines without a sound device: the engine runs games with sound off instead of failing to start.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "e2e/demo/DemoTestUtil.h"
#include "support/SoundTestUtil.h"
#include "support/TestSupport.h"

using namespace soundtest;
namespace fs = std::filesystem;

namespace {

using ovetest::CXServer;

// Runs the engine in a window on the X server, from `cwd`, with the audio driver left to SDL's
// choice.
demotest::SRun RunWindowed(const CXServer& x, const fs::path& cwd, const std::string& args) {
    const ovetest::TempDir home;
    fs::create_directories(home / "runtime");
    // An empty runtime folder keeps the run away from a sound server of the session running the
    // tests: the real devices of this machine are all there is.
    return demotest::RunCommand("cd '" + cwd.string() + "' && env -u SDL_AUDIODRIVER -u PULSE_SERVER" +
                                " SDL_VIDEODRIVER=x11 DISPLAY=" + x.Display() + " XDG_RUNTIME_DIR='" +
                                (home / "runtime").string() + "' XDG_CONFIG_HOME='" + (home / "config").string() +
                                "' XDG_DATA_HOME='" + (home / "data").string() + "' timeout -s KILL 120 '" +
                                OVE_BUILD_DIR + "/ove' " + args);
}

// Without a sound card the one line says sound is off; with one there may be no line at all.
void ExpectSoundOffLine(const std::string& err) {
    const bool card = fs::exists("/dev/snd");
    if (card && err.empty()) return;
    EXPECT_EQ(err.rfind("ove: warning: sound is off", 0), 0u) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << "exactly one line:\n" << err;
}

}  // namespace

TEST(NoDevice, DemoAndAGameWithMusicRunInAWindow) {
    if (!ovetest::HaveProgram("Xvfb")) GTEST_SKIP() << "Xvfb is needed (scripts/setup.sh installs it)";
    CXServer x;
    ASSERT_EQ(x.Start(), "");

    ovetest::TempDir game;
    const Bytes ogg = OggTone(game.path(), 2000);
    if (ogg.empty()) GTEST_SKIP() << "oggenc is needed (scripts/setup.sh installs it)";
    game.Write("DATA/music.OVA", ogg);
    game.Write("DATA/main.ovs", R"(
var music, running = true;
function Init() {
    music = LoadSound('music');
    music.looping = true;
    PlaySound(music);
    if (!music.playing || music.length < 1900) debug('music', music.playing, music.length);
}
function Run() { while (running) Display(); }
function Quit() { running = false; if (!music.playing) debug('music stopped'); }
)");
    demotest::SRun r = RunWindowed(x, game.path(), "--verbose --frames 300");
    EXPECT_EQ(r.status, 0) << r.err;
    ExpectSoundOffLine(r.err);

    const fs::path demo = fs::path(OVE_BUILD_DIR) / "samples" / "demo";
    if (!fs::exists(demo / "DATA" / "main.ovs"))
        GTEST_SKIP() << "build the demo first: cmake --build <build> --target demo";
    ovetest::TempDir cwd;
    r = RunWindowed(x, cwd.path(), "--frames 300 --game '" + demo.string() + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    ExpectSoundOffLine(r.err);
}
