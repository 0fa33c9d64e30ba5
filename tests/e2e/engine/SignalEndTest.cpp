// SIGTERM and SIGINT end the real engine wherever it is: in the game's loop, in a script that
// never returns, behind an error box on a real X server (Xvfb) and in the "Select source" dialog.
#include <gtest/gtest.h>

#include <signal.h>

#include <string>
#include <vector>

#include "e2e/demo/DemoTestUtil.h"
#include "support/TestSupport.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using demotest::Capture;
using demotest::WaitFor;

// One engine run in its own game folder.
struct SEngine {
    ovetest::TempDir dir;
    ovetest::CChild process;
    std::string Err() const { return ovetest::ReadFileText(dir / "err"); }
    bool Start(const std::vector<std::string>& options, const std::vector<std::string>& env) {
        std::vector<std::string> args = {std::string(OVE_BUILD_DIR) + "/ove", "--game", dir.path().string()};
        args.insert(args.end(), options.begin(), options.end());
        return process.Start(args, (dir / "err").string(), env);
    }
};

const char* kLoop = R"(
var running = true;
function Init() {}
function Run() { Alert('running'); while (running) { Display(); Wait(0.01); } }
function Quit() { running = false; Alert('quit'); }
)";

}  // namespace

// Without a box: the game's Quit() runs as on a window close, and the status tells the signal;
// a script that never returns to the engine is ended too.
TEST(SignalEnd, GameLoopQuitsAndABusyScriptIsEnded) {
    const struct {
        const char* script;
        int sig;
        const char* errAfter;  // standard error once the run ended
    } cases[] = {
        {kLoop, SIGTERM, "Alert: running\nAlert: quit\n"},
        {kLoop, SIGINT, "Alert: running\nAlert: quit\n"},
        {"function Init() {} function Run() { Alert('running'); for (;;) {} }", SIGTERM, "Alert: running\n"},
    };
    for (const auto& c : cases) {
        SEngine engine;
        engine.dir.Write("DATA/main.ovs", c.script);
        ASSERT_TRUE(engine.Start({"--headless", "--script-timeout", "0"}, {}));
        ASSERT_TRUE(WaitFor([&] { return engine.Err() == "Alert: running\n"; })) << engine.Err();
        const auto sent = Clock::now();
        engine.process.Signal(c.sig);
        EXPECT_EQ(engine.process.Wait(5s), 128 + c.sig) << c.script;
        EXPECT_LT(Clock::now() - sent, 2s) << c.script;
        EXPECT_EQ(engine.Err(), c.errAfter) << c.script;
    }
}

namespace {

// A private X server with one font that SDL's X11 message box can use (a bare Xvfb has only
// "fixed", which the box does not accept).
class CXServer {
public:
    std::string Start() {
        WriteBoxFont();
        std::string problem = m_server.Start({"-fp", "built-ins," + m_fonts.path().string()});
        m_display = m_server.Display();
        return problem;
    }
    std::vector<std::string> Env() const {
        return {"DISPLAY=" + m_display, "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy"};
    }
    // The names of the top-level windows that are mapped.
    std::string Windows() const {
        return Capture("DISPLAY=" + m_display + " timeout 10 xwininfo -root -children 2>/dev/null");
    }
    // The id of the top-level window with that name, "" when there is none. (The message box
    // names itself in UTF-8, which xwininfo -name does not match.)
    std::string WindowId(const std::string& name) const {
        for (const std::string& line : demotest::Lines(Windows() + "\n"))
            if (line.find("\"" + name + "\"") != std::string::npos) {
                const std::size_t id = line.find("0x");
                if (id != std::string::npos) return line.substr(id, line.find(' ', id) - id);
            }
        return "";
    }
    bool IsViewable(const std::string& name) const {
        const std::string id = WindowId(name);
        return !id.empty() &&
               Capture("DISPLAY=" + m_display + " timeout 10 xwininfo -id " + id + " 2>/dev/null").find("IsViewable") !=
                   std::string::npos;
    }

private:
    // A BDF font of plain bars for the printable ASCII characters.
    void WriteBoxFont() const {
        const std::string name = "-ove-bars-medium-r-normal--13-120-75-75-c-80-iso10646-1";
        std::string bdf = "STARTFONT 2.1\nFONT " + name +
                          "\nSIZE 12 75 75\nFONTBOUNDINGBOX 8 13 0 -2\nSTARTPROPERTIES 2\nFONT_ASCENT 11\n"
                          "FONT_DESCENT 2\nENDPROPERTIES\nCHARS 95\n";
        for (int c = 32; c < 127; ++c) {
            bdf += "STARTCHAR c" + std::to_string(c) + "\nENCODING " + std::to_string(c) +
                   "\nSWIDTH 615 0\nDWIDTH 8 0\nBBX 8 13 0 -2\nBITMAP\n";
            for (int row = 0; row < 13; ++row) bdf += c == 32 ? "00\n" : "7E\n";
            bdf += "ENDCHAR\n";
        }
        m_fonts.Write("bars.bdf", bdf + "ENDFONT\n");
        m_fonts.Write("fonts.dir", "1\nbars.bdf " + name + "\n");
    }

    ovetest::TempDir m_fonts;
    ovetest::CXServer m_server;
    std::string m_display;
};

class SignalEndOnScreen : public ::testing::Test {
protected:
    void SetUp() override {
#if defined(__SANITIZE_ADDRESS__)
        // SDL shows its X11 boxes from a forked child, which never maps its window in an
        // AddressSanitizer build; the main build's run of these tests covers the boxes.
        GTEST_SKIP() << "SDL's X11 message boxes do not show in sanitizer builds";
#endif
        for (const char* tool : {"Xvfb", "xwininfo"})
            if (!ovetest::HaveProgram(tool)) GTEST_SKIP() << tool << " is needed (scripts/setup.sh installs it)";
        ASSERT_EQ(m_x.Start(), "");
    }
    CXServer m_x;
};

}  // namespace

// A box's text is on standard error while the box is up, once. SIGTERM takes the box away and
// ends the engine: with the status of an error after an error box (a game that throws in Init),
// as a signal does after an Alert, whose game then gets its Quit() (boxes are no longer shown).
TEST_F(SignalEndOnScreen, BoxTextIsOnStandardErrorAndSigtermEndsTheBox) {
    const struct {
        const char* script;
        const char* caption;
        const char* line;
        int status;
        const char* thenSaid;
        std::chrono::milliseconds within;  // the game's Quit() takes its time too
    } cases[] = {
        {"function Init() { throw new Error('no treasure map'); } function Run() {}", "Error",
         "Error: ERROR: Error: no treasure map\n", 1, "", 1s},
        {"var running = true; function Init() {}"
         "function Run() { Alert('hello'); while (running) { Display(); Wait(0.01); } }"
         "function Quit() { running = false; Alert('bye'); }",
         "Alert", "Alert: hello\n", 128 + SIGTERM, "Alert: bye\n", 2s},
    };
    for (const auto& c : cases) {
        SEngine engine;
        engine.dir.Write("DATA/main.ovs", c.script);
        ASSERT_TRUE(engine.Start({}, m_x.Env()));
        ASSERT_TRUE(WaitFor([&] { return m_x.IsViewable(c.caption); })) << engine.Err() << m_x.Windows();
        const std::string err = engine.Err();
        ASSERT_NE(err.find(c.line), std::string::npos) << err;
        EXPECT_EQ(err.find(c.line), err.rfind(c.line)) << "said twice:\n" << err;

        const auto sent = Clock::now();
        engine.process.Signal(SIGTERM);
        EXPECT_EQ(engine.process.Wait(5s), c.status) << c.caption;
        EXPECT_LT(Clock::now() - sent, c.within) << c.caption;
        EXPECT_EQ(engine.Err(), err + c.thenSaid);
        // The box went with it.
        EXPECT_TRUE(WaitFor([&] { return m_x.WindowId(c.caption).empty(); }, 3s)) << m_x.Windows();
    }
}

// Two data folders: the engine asks which game to run. A signal then ends it as a signal does.
TEST_F(SignalEndOnScreen, SignalsEndTheSelectSourceDialog) {
    for (int sig : {SIGTERM, SIGINT}) {
        SEngine engine;
        for (const char* folder : {"DATA1", "DATA2"})
            engine.dir.Write(std::string(folder) + "/main.ovs",
                             "function Init() { Alert('started'); } function Run() {}");
        ASSERT_TRUE(engine.Start({}, m_x.Env()));
        ASSERT_TRUE(WaitFor([&] { return m_x.IsViewable("Select source"); })) << engine.Err() << m_x.Windows();
        const auto sent = Clock::now();
        engine.process.Signal(sig);
        EXPECT_EQ(engine.process.Wait(5s), 128 + sig);
        EXPECT_LT(Clock::now() - sent, 2s);
        EXPECT_EQ(engine.Err(), "");
    }
}
