// The Sound script API against a game host whose sounds come from a temporary data folder.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "bindings/Bindings.h"
#include "host/Game.h"
#include "io/FileFolder.h"
#include "resources/ResourceCache.h"
#include "script/ScriptHost.h"
#include "sound/SoundManagerBasic.h"
#include "sound/SoundManagerMixer.h"
#include "support/ScriptFixture.h"
#include "support/SoundTestUtil.h"
#include "support/TestSupport.h"

using namespace ove;
using namespace soundtest;

namespace {

class SoundScriptTest : public ::testing::Test {
protected:
    void Start(std::unique_ptr<CSoundManager> manager) {
        m_dir.Write("door.WAV", SineWave(250, 44100, 2));  // no resampling: an exact length
        m_dir.Write("bell.OVA", SineWave(120));
        m_dir.Write("bell.WAV", SineWave(900));
        m_dir.Write("broken.WAV", Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'x'});
        m_game = std::make_unique<CGame>(ove::CreateScriptRuntime());
        m_game->Install(std::unique_ptr<CFileFolder>(std::make_unique<CDirectory>(m_dir.path().string())));
        m_game->Install(std::move(manager));
        m_game->Install(std::make_unique<CResourceCache>(nullptr, m_game->Sound(), m_game->Folder()));
        ASSERT_TRUE(m_game->StartScript());
    }

    std::string Eval(const std::string& expression) { return ovetest::EvalScript(expression); }
    std::string Error(const std::string& statement) { return ovetest::ScriptError(statement); }

    ovetest::TempDir m_dir;
    std::unique_ptr<CGame> m_game;
};

}  // namespace

TEST_F(SoundScriptTest, SoundsComeFromTheCacheByName) {
    Start(std::make_unique<CSoundManagerMixer>());
    EXPECT_EQ(Eval("PlaySound('door')"), "250") << "no door.OVA: door.WAV plays";
    EXPECT_EQ(Eval("PlaySound('bell', 40)"), "120") << "OVA before WAV";
    EXPECT_EQ(Eval("LoadSound('bell').volume"), "40");
    EXPECT_EQ(Eval("PlaySound('nothing')"), "null");
    EXPECT_EQ(Eval("[SoundExists('door'), SoundExists('bell'), SoundExists('x')].join()"), "true,true,false");
    EXPECT_EQ(Error("LoadSound('broken')"), "Error: Couldn't create sound");
    EXPECT_EQ(Error("LoadSound('broken')"), "Error: Couldn't create sound");
    EXPECT_EQ(m_game->Resources()->SoundCount(), 4u) << "failed names stay cached without a sound";
    EXPECT_EQ(Error("PlaySound()").substr(0, 11), "SyntaxError");
    EXPECT_EQ(Error("PlaySound(5)").substr(0, 9), "TypeError");
    EXPECT_EQ(Error("PlaySound({})"), "TypeError: Sound expected");
    EXPECT_EQ(Error("StopSound(new Sound())"), "ReferenceError: Sound has no associated native object");
    EXPECT_EQ(Eval("(SetVolume(150), GetVolume())"), "100");
    EXPECT_EQ(Eval("(SetVolume(-3), GetVolume())"), "0");
}

TEST_F(SoundScriptTest, SoundObjectsAndTheirProperties) {
    Start(std::make_unique<CSoundManagerMixer>());
    EXPECT_EQ(Eval("(s = LoadSound('door'), s instanceof Sound)"), "true");
    EXPECT_EQ(Eval("[s.length, s.looping, s.playing, s.volume].join()"), "250,false,false,100");
    EXPECT_EQ(Eval("(s.volume = 30, s.volume = -1, s.volume)"), "30");
    EXPECT_EQ(Error("s.volume = 150").substr(0, 10), "RangeError");
    EXPECT_EQ(Eval("s.volume"), "30");
    EXPECT_EQ(Eval("(s.looping = 'yes', s.looping)"), "true");
    EXPECT_EQ(Eval("(PlaySound(s), s.playing)"), "true");
    EXPECT_EQ(Eval("(StopSound(s), s.playing)"), "false");
}

TEST_F(SoundScriptTest, DestroyedSoundIsUnreachableThroughEveryObject) {
    Start(std::make_unique<CSoundManagerMixer>());
    EXPECT_EQ(Eval("(a = LoadSound('door'), b = LoadSound('door'), a.volume = 20, b.volume)"), "20")
        << "one native sound behind both";
    EXPECT_EQ(Error("DestroySound(a)"), "no error");
    EXPECT_EQ(m_game->Resources()->SoundCount(), 0u);
    EXPECT_EQ(Error("b.volume").substr(0, 14), "ReferenceError");
    EXPECT_EQ(Error("PlaySound(b)"), "ReferenceError: Sound has no associated native object");
    EXPECT_EQ(Error("DestroySound(b); DestroySound(a); DestroySound(new Sound())"), "no error");
    EXPECT_EQ(Error("DestroySound({})"), "TypeError: Sound expected");
    EXPECT_EQ(Eval("(c = LoadSound('door'), c.volume)"), "100") << "loaded afresh";
    EXPECT_EQ(Error("b.length"), "ReferenceError: Sound.length: the Sound has no associated native object")
        << "an old object stays cut off";
}

TEST_F(SoundScriptTest, ANameThatFindsNothingIsReportedOnceWithTheFilesTried) {
    m_dir.Write("pickup.wav", SineWave(100));
    m_dir.Write("music.ogg", Bytes{'O', 'g', 'g', 'S'});
    Start(std::make_unique<CSoundManagerMixer>());
    testing::internal::CaptureStderr();
    EXPECT_EQ(Eval("PlaySound('pickup.wav')"), "null");
    EXPECT_EQ(Eval("PlaySound('pickup.wav')"), "null");
    EXPECT_EQ(Error("LoadSound('pickup.wav')"), "Error: Couldn't create sound");
    EXPECT_EQ(Error("LoadSound('music.ogg')"), "Error: Couldn't create sound");
    EXPECT_EQ(Eval("PlaySound('nothing')"), "null");
    EXPECT_EQ(Eval("PlaySound('door')"), "250");
    const std::string err = testing::internal::GetCapturedStderr();

    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = err.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(err.substr(at, end - at));
    ASSERT_EQ(lines.size(), 3u) << "one line per name:\n" << err;
    auto has = [](const std::string& line, const char* piece) { return line.find(piece) != std::string::npos; };
    EXPECT_TRUE(has(lines[0], "PlaySound") && has(lines[0], "pickup.wav.OVA") && has(lines[0], "pickup.wav.WAV"))
        << lines[0];
    EXPECT_TRUE(has(lines[0], "no extension") && has(lines[0], "pickup.OVA")) << lines[0];
    EXPECT_TRUE(has(lines[1], "LoadSound") && has(lines[1], "music.ogg.WAV") && has(lines[1], "no extension"))
        << lines[1];
    EXPECT_TRUE(has(lines[2], "nothing.OVA") && has(lines[2], "nothing.WAV")) << lines[2];
    EXPECT_FALSE(has(lines[2], "extension")) << "no file of that very name: " << lines[2];
}

TEST_F(SoundScriptTest, UnderTheBasicManagerVolumeIsFixed) {
    Start(std::make_unique<CSoundManagerBasic>());
    EXPECT_EQ(Eval("[LoadSound('door').volume, GetVolume()].join()"), "0,100");
    EXPECT_EQ(Eval("PlaySound('door')"), "250");
}
