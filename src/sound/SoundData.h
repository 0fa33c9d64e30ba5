// Platform-free checks on sound files: what kind of data a file holds, the RIFF walk of WAVE
// files and a structural check of standard MIDI files. Every reader stays inside the bytes it is
// given, whatever they claim.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace ove {

enum class ESoundKind { Wave, Midi, Other };

// By the first bytes only: "RIFF" .... "WAVE" (12 bytes at least), else "MThd", else other.
ESoundKind ClassifySound(const std::uint8_t* data, std::size_t size);

// 0-100 volume clamped, and scaled to a library range (0..max).
inline int ClampVolume(int volume) { return volume < 0 ? 0 : (volume > 100 ? 100 : volume); }
inline int ScaleVolume(int volume, int max) { return ClampVolume(volume) * max / 100; }

struct SWaveInfo {
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t avgBytesPerSecond = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    std::size_t dataOffset = 0;  // of the sample bytes
    std::uint32_t dataSize = 0;
};

// Largest decoded sample (after conversion to the output format) a WAVE file may ask for.
constexpr std::uint64_t kMaxDecodedBytes = 256u << 20;

// Walks the chunks of a WAVE file and checks that the "fmt " and "data" chunks are there, lie
// inside the bytes and describe a plausible format. False with a reason when they do not.
bool ParseWave(const std::uint8_t* data, std::size_t size, SWaveInfo& info, std::string* why = nullptr);
// Bytes the sample would take once converted to the output format (an upper estimate).
std::uint64_t DecodedWaveBytes(const SWaveInfo& info, int outRate, int outChannels, int outBytesPerSample);

// Length in milliseconds from the "fmt " average byte rate and the "data" chunk size (clipped to
// the bytes present). 0 when the file is not a WAVE, a chunk is missing or the rate is 0.
std::uint32_t WaveLengthMs(const std::uint8_t* data, std::size_t size);

// A standard MIDI file whose header and tracks lie inside the bytes and whose track events are
// well formed. False with a reason otherwise.
bool CheckMidi(const std::uint8_t* data, std::size_t size, std::string* why = nullptr);

}  // namespace ove
