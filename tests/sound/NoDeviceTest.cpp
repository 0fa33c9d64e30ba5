// Machines without a sound device: games run with sound off instead of failing to start.
#include <gtest/gtest.h>

#include <SDL.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "io/DataBin.h"
#include "sound/SoundStartup.h"
#include "support/SoundTestUtil.h"
#include "support/TestSupport.h"

using namespace ove;
using namespace soundtest;
namespace fs = std::filesystem;

namespace {

std::unique_ptr<CSound> Create(CSoundManager& m, const Bytes& bytes) {
    CBuffer buffer(bytes);
    return std::unique_ptr<CSound>(m.CreateSound(&buffer));
}

}  // namespace

TEST(NoDevice, SoundsPlayUnheardAndTheNextStartTriesTheDeviceAgain) {
    ovetest::TempDir dir;
    const Bytes ogg = OggTone(dir.path(), 300);
    {
        DiskAudio broken(dir / "missing-folder" / "out.raw");  // the device fails to open
        testing::internal::CaptureStderr();
        std::unique_ptr<CSoundManager> m = CreateSoundManager("");
        const std::string err = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(m && m->IsActive());
        EXPECT_STREQ(SDL_GetCurrentAudioDriver(), "dummy");
        EXPECT_EQ(err.rfind("ove: warning: sound is off", 0), 0u) << err;
        EXPECT_NE(err.find("missing-folder"), std::string::npos) << "SDL's reason: " << err;
        EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line:\n" << err;

        std::unique_ptr<CSound> wave = Create(*m, SineWave(300));
        ASSERT_NE(wave, nullptr) << m->GetErrorText();
        EXPECT_EQ(wave->GetLength(), 300u);
        m->Play(wave.get());
        EXPECT_TRUE(wave->IsPlaying());
        EXPECT_TRUE(WaitFor([&] { return !wave->IsPlaying(); }, 2000)) << "the silent output runs in real time";
        wave->SetLooping(true);
        m->Play(wave.get());
        SleepMs(500);
        EXPECT_TRUE(wave->IsPlaying()) << "looping past its end";
        if (!ogg.empty()) {
            std::unique_ptr<CSound> music = Create(*m, ogg);
            ASSERT_NE(music, nullptr) << "streams load too: " << m->GetErrorText();
            EXPECT_NEAR(double(music->GetLength()), 300.0, 20.0);
            m->Play(music.get());
            EXPECT_TRUE(m->IsPlaying(music.get()));
        }
    }
    DiskAudio working(dir / "out.raw");
    testing::internal::CaptureStderr();
    std::unique_ptr<CSoundManager> m = CreateSoundManager("");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("sound is off"), std::string::npos) << "a device that opens needs no word: " << err;
    EXPECT_STREQ(SDL_GetCurrentAudioDriver(), "disk");
}
