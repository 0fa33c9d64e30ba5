// Classification, the RIFF walk and the MIDI check on hand-made and damaged files.
#include <gtest/gtest.h>

#include "sound/SoundData.h"
#include "sound/SoundFont.h"
#include "support/SoundTestUtil.h"
#include "support/TestSupport.h"

using namespace ove;
using namespace soundtest;

namespace {

ESoundKind Kind(const std::string& s) {
    return ClassifySound(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}
std::uint32_t Length(const Bytes& b) { return WaveLengthMs(b.data(), b.size()); }
bool Wave(const Bytes& b, std::string* why = nullptr) {
    SWaveInfo info;
    return ParseWave(b.data(), b.size(), info, why);
}
bool Midi(const Bytes& b) { return CheckMidi(b.data(), b.size()); }
void SetLe32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(v >> (8 * i));
}

}  // namespace

TEST(SoundData, ClassifiesByFirstBytes) {
    EXPECT_EQ(Kind(std::string("RIFF\0\0\0\0WAVE", 12)), ESoundKind::Wave);
    EXPECT_EQ(Kind(std::string("RIFF\0\0\0\0WAV", 11)), ESoundKind::Other);
    EXPECT_EQ(Kind(std::string("RIFF\0\0\0\0AVI ", 12)), ESoundKind::Other);
    EXPECT_EQ(Kind("MThd"), ESoundKind::Midi);
    EXPECT_EQ(Kind("MTh"), ESoundKind::Other);
    EXPECT_EQ(Kind("OggS...."), ESoundKind::Other);
    EXPECT_EQ(Kind(""), ESoundKind::Other);
}

TEST(SoundData, WaveLengthWalksChunksInsideTheBytes) {
    EXPECT_EQ(Length(SineWave(400)), 400u);
    // An odd-sized chunk before "fmt " is padded to an even length.
    Bytes odd = Riff({{"LIST", Bytes(5, 'x')}, {"fmt ", PcmFormat(1, 8000, 8)}, {"data", Bytes(4000, 0x80)}});
    EXPECT_EQ(Length(odd), 500u);
    EXPECT_TRUE(Wave(odd));
    // No data chunk, no format chunk, a zero byte rate: no length.
    EXPECT_EQ(Length(Riff({{"fmt ", PcmFormat(1, 8000, 8)}})), 0u);
    EXPECT_EQ(Length(Riff({{"data", Bytes(100)}})), 0u);
    Bytes zeroRate = Riff({{"fmt ", PcmFormat(1, 8000, 8)}, {"data", Bytes(100)}});
    SetLe32(zeroRate, 20 + 8, 0);
    EXPECT_EQ(Length(zeroRate), 0u);
    // A data chunk claiming more than is there counts only what is there.
    Bytes cut = Riff({{"fmt ", PcmFormat(1, 8000, 8)}, {"data", Bytes(800)}});
    SetLe32(cut, 40, 0x7FFFFFF0u);
    EXPECT_EQ(Length(cut), 100u);
    EXPECT_FALSE(Wave(cut));
    // A chunk size that jumps past the end ends the walk.
    Bytes jump = Riff({{"JUNK", Bytes(4)}, {"fmt ", PcmFormat(1, 8000, 8)}, {"data", Bytes(80)}});
    SetLe32(jump, 16, 0xFFFFFFF0u);
    EXPECT_EQ(Length(jump), 0u);
    EXPECT_FALSE(Wave(jump));
}

TEST(SoundData, ParseWaveRejectsDamagedOrImplausibleFormats) {
    std::string why;
    Bytes shortFormat = Riff({{"fmt ", Bytes(10)}, {"data", Bytes(8)}});
    EXPECT_FALSE(Wave(shortFormat, &why));
    EXPECT_EQ(why, "WAVE format chunk too short");
    EXPECT_FALSE(Wave(Riff({{"fmt ", PcmFormat(0, 8000, 8)}, {"data", Bytes(8)}})));
    EXPECT_FALSE(Wave(Riff({{"fmt ", PcmFormat(1, 10, 8)}, {"data", Bytes(8)}})));
    EXPECT_FALSE(Wave(Riff({{"data", Bytes(8)}, {"fmt ", PcmFormat(1, 8000, 8)}})));
    EXPECT_TRUE(Wave(SineWave(10)));
    // A small file at a low rate would become a huge sample once converted to the output rate.
    SWaveInfo info;
    Bytes slow = Riff({{"fmt ", PcmFormat(1, 1000, 8)}, {"data", Bytes(4u << 20, 0x80)}});
    ASSERT_TRUE(ParseWave(slow.data(), slow.size(), info));
    EXPECT_GT(DecodedWaveBytes(info, 44100, 2, 2), kMaxDecodedBytes);
    Bytes normal = SineWave(1000, 22050);
    ASSERT_TRUE(ParseWave(normal.data(), normal.size(), info));
    EXPECT_NEAR(double(DecodedWaveBytes(info, 44100, 2, 2)), 44100.0 * 4, 8.0);
}

TEST(SoundData, MidiCheckFollowsTracksAndEvents) {
    Bytes good = MidiFile(MidiNote());
    EXPECT_TRUE(Midi(good));
    // Running status (a second note without its status byte) is fine.
    EXPECT_TRUE(Midi(MidiFile({0x00, 0x90, 0x3C, 0x7F, 0x10, 0x3E, 0x7F, 0x10, 0x80, 0x3C, 0x40})));
    Bytes cut = good;
    cut.resize(cut.size() - 3);  // the track claims more than is there
    EXPECT_FALSE(Midi(cut));
    EXPECT_FALSE(Midi(MidiFile({0x00, 0x3C, 0x7F})));                               // data without a status
    EXPECT_FALSE(Midi(MidiFile({0xFF, 0xFF, 0xFF, 0xFF, 0x7F})));                   // delta longer than four bytes
    EXPECT_FALSE(Midi(MidiFile({0x00, 0xFF, 0x01, 0x8F, 0xFF, 0xFF, 0x7F, 'a'})));  // meta past the track
    Bytes twoTracks = good;
    twoTracks[11] = 2;  // says two tracks, holds one
    EXPECT_FALSE(Midi(twoTracks));
    Bytes header = good;
    header[7] = 0xF0;  // header length past the end
    EXPECT_FALSE(Midi(header));
}

TEST(SoundFont, PlayerThenGameThenSystem) {
    ovetest::TempDir dir;
    std::string player = dir.Write("player.sf2", "x").string();
    std::string game = dir.Write("game.sf2", "x").string();
    std::string missing = (dir / "missing.sf2").string();
    setenv("OVE_SOUNDFONT", player.c_str(), 1);
    EXPECT_EQ(FindSoundFont(game), player);
    setenv("OVE_SOUNDFONT", missing.c_str(), 1);
    EXPECT_EQ(FindSoundFont(game), game);
    unsetenv("OVE_SOUNDFONT");
    std::string system = FindSoundFont(missing);
    EXPECT_NE(system, missing);
    EXPECT_NE(system, game);
}
