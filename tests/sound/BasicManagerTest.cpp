// The fallback manager: WAVE only, one sound at a time, on a plain audio device.
#include <gtest/gtest.h>

#include <memory>

#include "io/DataBin.h"
#include "sound/SoundManagerBasic.h"
#include "support/SoundTestUtil.h"
#include "support/TestSupport.h"

using namespace ove;
using namespace soundtest;

namespace {

CSound* Create(CSoundManager& m, const Bytes& bytes) {
    CBuffer buffer(bytes);
    return m.CreateSound(&buffer);
}

}  // namespace

TEST(BasicManager, PlaysOneWaveAtATimeAndStopsWhateverPlays) {
    ovetest::TempDir dir;
    SCapture c;
    {
        DiskAudio disk(dir / "out.raw");
        CSoundManagerBasic basic;
        ASSERT_TRUE(basic.HasDevice());
        std::unique_ptr<CSound> tone(Create(basic, SineWave(400)));
        std::unique_ptr<CSound> longTone(Create(basic, SineWave(2000, 8000)));
        ASSERT_TRUE(tone && longTone);
        EXPECT_EQ(tone->GetLength(), 400u);
        EXPECT_EQ(longTone->GetLength(), 2000u);
        EXPECT_EQ(tone->GetVolume(), 0);
        EXPECT_EQ(basic.GetVolume(), 100);
        basic.Play(longTone.get());
        SleepMs(100);
        basic.Play(tone.get());  // replaces the long one
        EXPECT_TRUE(basic.IsPlaying(longTone.get())) << "any sound playing counts";
        EXPECT_FALSE(tone->IsPlaying());
        EXPECT_TRUE(WaitFor([&] { return !basic.IsPlaying(tone.get()); }, 1500));
        basic.Play(longTone.get());
        SleepMs(200);
        basic.Stop(tone.get());  // stops whatever plays
        EXPECT_FALSE(basic.IsPlaying(longTone.get()));
        SleepMs(100);
    }
    c = Analyse(dir / "out.raw");
    // 100 ms of the long tone, the whole short one, then 200 ms of the long one again: with the
    // gaps between them at most a few windows, never the long tone's two seconds.
    EXPECT_GE(c.loudWindows, 65);
    EXPECT_LE(c.SpanMs(), 900);
}

TEST(BasicManager, TakesWaveOnlyWithItsOwnTexts) {
    CSoundManagerBasic basic;
    EXPECT_TRUE(basic.IsActive());
    EXPECT_EQ(Create(basic, MidiFile(MidiNote())), nullptr);
    EXPECT_STREQ(basic.GetErrorText(), "Can't handle MIDI just yet.");
    EXPECT_EQ(Create(basic, Bytes{'O', 'g', 'g', 'S', 0, 0, 0, 0}), nullptr);
    EXPECT_STREQ(basic.GetErrorText(), "Operation successfull") << "other data fails without a text";
    Bytes damaged = SineWave(100);
    damaged.resize(60);  // the data chunk now runs past the end
    EXPECT_EQ(Create(basic, damaged), nullptr);
    EXPECT_STREQ(basic.GetErrorText(), "Couldn't load sample");
    std::unique_ptr<CSound> s(Create(basic, SineWave(100)));
    ASSERT_NE(s, nullptr);
    s->SetVolume(50);
    EXPECT_EQ(s->GetVolume(), 0) << "volume is not supported";
    s->SetLooping(true);
    EXPECT_TRUE(s->IsLooping());
}
