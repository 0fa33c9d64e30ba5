// The Sound script API against a game host whose sounds come from a temporary data folder.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "SoundTestUtil.h"
#include "io/FileFolder.h"
#include "data/ResourceCache.h"
#include "host/Game.h"
#include "script/ScriptHost.h"
#include "sound/SoundManagerBasic.h"
#include "sound/SoundManagerMixer.h"
#include "support/TestSupport.h"

using namespace ove;
using namespace soundtest;

namespace {

class SoundScriptTest : public ::testing::Test {
protected:
    void Start(CSoundManager* manager) {
        dir_.Write("door.WAV", SineWave(250, 44100, 2));  // no resampling: an exact length
        dir_.Write("bell.OVA", SineWave(120));
        dir_.Write("bell.WAV", SineWave(900));
        dir_.Write("broken.WAV", Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'x'});
        game_ = std::make_unique<CGame>();
        game_->folder = new CDirectory(dir_.path().string());
        game_->sound = manager;
        game_->resources = new CResourceCache(nullptr, game_->sound, game_->folder);
        SetGame(game_.get());
        ASSERT_TRUE(StartScriptHost(game_.get()));
    }

    std::string Eval(const std::string& expression) { return ovetest::EvalScript(expression); }
    std::string Error(const std::string& statement) { return ovetest::ScriptError(statement); }

    ovetest::TempDir dir_;
    std::unique_ptr<CGame> game_;
};

}  // namespace

TEST_F(SoundScriptTest, SoundsComeFromTheCacheByName) {
    Start(new CSoundManagerMixer());
    EXPECT_EQ(Eval("PlaySound('door')"), "250") << "no door.OVA: door.WAV plays";
    EXPECT_EQ(Eval("PlaySound('bell', 40)"), "120") << "OVA before WAV";
    EXPECT_EQ(Eval("LoadSound('bell').volume"), "40");
    EXPECT_EQ(Eval("PlaySound('nothing')"), "null");
    EXPECT_EQ(Eval("[SoundExists('door'), SoundExists('bell'), SoundExists('x')].join()"), "true,true,false");
    EXPECT_EQ(Error("LoadSound('broken')"), "Error: Couldn't create sound");
    EXPECT_EQ(Error("LoadSound('broken')"), "Error: Couldn't create sound");
    EXPECT_EQ(game_->resources->SoundCount(), 4u) << "failed names stay cached without a sound";
    EXPECT_EQ(Error("PlaySound()").substr(0, 11), "SyntaxError");
    EXPECT_EQ(Error("PlaySound(5)").substr(0, 9), "TypeError");
    EXPECT_EQ(Error("PlaySound({})"), "TypeError: Sound expected");
    EXPECT_EQ(Error("StopSound(new Sound())"), "ReferenceError: Sound has no associated native object");
    EXPECT_EQ(Eval("(SetVolume(150), GetVolume())"), "100");
    EXPECT_EQ(Eval("(SetVolume(-3), GetVolume())"), "0");
}

TEST_F(SoundScriptTest, SoundObjectsAndTheirProperties) {
    Start(new CSoundManagerMixer());
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
    Start(new CSoundManagerMixer());
    EXPECT_EQ(Eval("(a = LoadSound('door'), b = LoadSound('door'), a.volume = 20, b.volume)"), "20")
        << "one native sound behind both";
    EXPECT_EQ(Error("DestroySound(a)"), "no error");
    EXPECT_EQ(game_->resources->SoundCount(), 0u);
    EXPECT_EQ(Error("b.volume").substr(0, 14), "ReferenceError");
    EXPECT_EQ(Error("PlaySound(b)"), "ReferenceError: Sound has no associated native object");
    EXPECT_EQ(Error("DestroySound(b); DestroySound(a); DestroySound(new Sound())"), "no error");
    EXPECT_EQ(Error("DestroySound({})"), "TypeError: Sound expected");
    EXPECT_EQ(Eval("(c = LoadSound('door'), c.volume)"), "100") << "loaded afresh";
    EXPECT_EQ(Error("b.length").substr(0, 14), "ReferenceError") << "an old object stays cut off";
}

TEST_F(SoundScriptTest, UnderTheBasicManagerVolumeIsFixed) {
    Start(new CSoundManagerBasic());
    EXPECT_EQ(Eval("[LoadSound('door').volume, GetVolume()].join()"), "0,100");
    EXPECT_EQ(Eval("PlaySound('door')"), "250");
}
