// The mixer manager heard through SDL's disk audio driver: what it writes is what a player hears.
#include <gtest/gtest.h>

#include <memory>

#include "io/DataBin.h"
#include "sound/SoundFont.h"
#include "sound/SoundManagerMixer.h"
#include "support/SoundTestUtil.h"
#include "support/TestSupport.h"

using namespace ove;
using namespace soundtest;

namespace {

class MixerTest : public ::testing::Test {
protected:
    // Opens a mixer writing to the disk file (or on the dummy driver without one).
    void Open(bool toDisk = true) {
        if (toDisk) m_disk = std::make_unique<DiskAudio>(m_dir / "out.raw");
        m_mixer = std::make_unique<CSoundManagerMixer>(FindSoundFont(""));
        ASSERT_TRUE(m_mixer->IsActive()) << m_mixer->GetErrorText();
    }
    // Closes the device (flushing the file) and analyses what was played.
    SCapture Close() {
        m_sounds.clear();
        m_mixer.reset();
        SCapture c = Analyse(m_dir / "out.raw");
        m_disk.reset();
        return c;
    }
    CSound* Create(const Bytes& bytes) {
        CBuffer buffer(bytes);
        CSound* s = m_mixer->CreateSound(&buffer);
        if (s) m_sounds.emplace_back(s, Deleter{m_mixer.get()});
        return s;
    }
    // Plays to the end (or for at most `limit` ms), then lets the device drain a little.
    void PlayThrough(CSound* s, int limit = 2000) {
        m_mixer->Play(s);
        EXPECT_TRUE(m_mixer->IsPlaying(s));
        EXPECT_TRUE(WaitFor([&] { return !m_mixer->IsPlaying(s); }, limit));
        SleepMs(150);
    }

    struct Deleter {
        CSoundManager* m;
        void operator()(CSound* s) const { m->DestroySound(s); }
    };
    // Members end in reverse: sounds, then the mixer, then the disk driver.
    ovetest::TempDir m_dir;
    std::unique_ptr<DiskAudio> m_disk;
    std::unique_ptr<CSoundManagerMixer> m_mixer;
    std::vector<std::unique_ptr<CSound, Deleter>> m_sounds;
};

}  // namespace

TEST_F(MixerTest, WaveSampleIsHeardForItsLength) {
    Open();
    CSound* s = Create(SineWave(400));  // 22.05 kHz mono, converted on load
    ASSERT_NE(s, nullptr) << m_mixer->GetErrorText();
    EXPECT_STREQ(m_mixer->GetErrorText(), "Operation successful");
    EXPECT_NEAR(s->GetLength(), 400, 2);
    EXPECT_EQ(s->GetVolume(), 100);
    PlayThrough(s);
    SCapture c = Close();
    EXPECT_NEAR(c.SpanMs(), 400, 30);
    EXPECT_GE(c.loudWindows, 38);
}

TEST_F(MixerTest, VolumeZeroIsSilentForSamplesAndStreams) {
    Open();
    CSound* wave = Create(SineWave(300));
    ASSERT_NE(wave, nullptr);
    m_mixer->PlayAtVolume(wave, 0);
    EXPECT_EQ(wave->GetVolume(), 0);
    WaitFor([&] { return !m_mixer->IsPlaying(wave); }, 1000);
    Bytes ogg = OggTone(m_dir.path(), 300);
    if (!ogg.empty()) {
        CSound* stream = Create(ogg);
        ASSERT_NE(stream, nullptr) << m_mixer->GetErrorText();
        m_mixer->SetVolume(0);  // the master volume reaches music too
        m_mixer->Play(stream);
        WaitFor([&] { return !m_mixer->IsPlaying(stream); }, 1000);
    }
    SleepMs(100);
    EXPECT_EQ(Close().loudWindows, 0);
}

TEST_F(MixerTest, OggStreamIsHeardForItsLength) {
    Bytes ogg = OggTone(m_dir.path(), 500);
    ASSERT_FALSE(ogg.empty()) << "oggenc (vorbis-tools) is needed";
    Open();
    CSound* s = Create(ogg);
    ASSERT_NE(s, nullptr) << m_mixer->GetErrorText();
    EXPECT_NEAR(s->GetLength(), 500, 15);
    PlayThrough(s);
    EXPECT_NEAR(Close().SpanMs(), 500, 40);
}

TEST_F(MixerTest, LoopingRestartsAPlayingStream) {
    Bytes ogg = OggTone(m_dir.path(), 300);
    ASSERT_FALSE(ogg.empty()) << "oggenc (vorbis-tools) is needed";
    Open();
    CSound* s = Create(ogg);
    ASSERT_NE(s, nullptr);
    s->SetLooping(true);
    EXPECT_FALSE(s->IsPlaying()) << "switching looping on a stopped stream does not start it";
    s->SetLooping(false);
    m_mixer->Play(s);
    SleepMs(100);
    s->SetLooping(true);
    EXPECT_TRUE(s->IsLooping());
    EXPECT_TRUE(s->IsPlaying());
    SleepMs(700);  // well past the stream's own end
    EXPECT_TRUE(m_mixer->IsPlaying(s));
    m_mixer->Stop(s);
    EXPECT_FALSE(m_mixer->IsPlaying(s));
    SleepMs(100);
    SCapture c = Close();
    EXPECT_GE(c.SpanMs(), 750);
    EXPECT_LE(c.SpanMs(), 900);
}

TEST_F(MixerTest, MidiSequenceIsRenderedWithASoundFont) {
    ASSERT_FALSE(FindSoundFont("").empty()) << "a General MIDI sound font is needed";
    Open();
    CSound* s = Create(MidiFile(MidiNote(1)));  // one note of 500 ms
    ASSERT_NE(s, nullptr) << m_mixer->GetErrorText();
    EXPECT_EQ(s->GetLength(), 0u);
    // The synthesiser's player lingers for a while after the last note: stop it after a second.
    m_mixer->Play(s);
    SleepMs(1000);
    EXPECT_TRUE(m_mixer->IsPlaying(s));
    m_mixer->Stop(s);
    EXPECT_FALSE(m_mixer->IsPlaying(s));
    SleepMs(100);
    SCapture c = Close();
    // The 500 ms note and its release, not the silent linger.
    EXPECT_GE(c.SpanMs(), 450);
    EXPECT_LE(c.SpanMs(), 950);
}

TEST_F(MixerTest, DamagedDataIsRejectedWithItsText) {
    Open(false);
    auto failure = [&](const Bytes& b) -> std::string {
        EXPECT_EQ(Create(b), nullptr);
        return m_mixer->GetErrorText();
    };
    Bytes wave = SineWave(100);
    wave[40] = 0xFF, wave[41] = 0xFF, wave[42] = 0xFF, wave[43] = 0x7F;  // data size past the end
    EXPECT_EQ(failure(wave), "Couldn't load sample");
    Bytes midi = MidiFile(MidiNote());
    midi.resize(midi.size() - 2);
    EXPECT_EQ(failure(midi), "Couldn't load sequence");
    EXPECT_EQ(failure(Bytes(2000, 0x5A)), "Couldn't load stream");
    Bytes ogg = OggTone(m_dir.path(), 200);
    if (!ogg.empty()) {
        ogg.resize(120);
        EXPECT_EQ(failure(ogg), "Couldn't load stream");
    }
    EXPECT_EQ(m_mixer->CreateSound(nullptr), nullptr);
    EXPECT_STREQ(m_mixer->GetErrorText(), "Invalid data source");
    ASSERT_NE(Create(SineWave(50)), nullptr);
    EXPECT_STREQ(m_mixer->GetErrorText(), "Operation successful");
}

TEST_F(MixerTest, MasterVolumeIsClampedAndAFailedStartIsInactive) {
    Open(false);
    m_mixer->SetVolume(150);
    EXPECT_EQ(m_mixer->GetVolume(), 100);
    m_mixer->SetVolume(-5);
    EXPECT_EQ(m_mixer->GetVolume(), 0);
    m_mixer.reset();
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    CSoundManagerMixer broken;
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    EXPECT_FALSE(broken.IsActive());
    EXPECT_STREQ(broken.GetErrorText(), "Couldn't initialise sound system");
    CBuffer buffer(SineWave(50));
    EXPECT_EQ(broken.CreateSound(&buffer), nullptr);
    EXPECT_STREQ(broken.GetErrorText(), "Sound manager not active");
}
