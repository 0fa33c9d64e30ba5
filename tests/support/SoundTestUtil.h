// Sound files made at test time and a capture of what the audio device played.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace soundtest {

using Bytes = std::vector<std::uint8_t>;

// A 16-bit PCM WAVE file holding a sine tone (amplitude 0.5) of the given length.
Bytes SineWave(int milliseconds, int rate = 22050, int channels = 1, double frequency = 440.0);
// A RIFF file from raw chunks: "RIFF", size, "WAVE", then each chunk as given.
Bytes Riff(const std::vector<std::pair<std::string, Bytes>>& chunks);
// A "fmt " chunk body for PCM.
Bytes PcmFormat(int channels, int rate, int bits);
// A standard MIDI file, format 0, 96 ticks per quarter note (120 beats per minute: a quarter is
// 500 ms), with one track holding the given event bytes (an end-of-track event is appended).
Bytes MidiFile(const Bytes& events);
// One piano note of `quarters` quarter notes.
Bytes MidiNote(int quarters = 1);
// An Ogg Vorbis file of a sine tone made by oggenc; empty when oggenc is missing.
Bytes OggTone(const std::filesystem::path& dir, int milliseconds);

// While alive, SDL audio goes to a file through the disk driver.
struct DiskAudio {
    explicit DiskAudio(const std::filesystem::path& file) {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    }
    ~DiskAudio() {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        unsetenv("SDL_DISKAUDIOFILE");
    }
};

// What a capture of 44.1 kHz 16-bit stereo output holds, in 10 ms windows.
struct SCapture {
    int windows = 0;      // length of the capture
    int loudWindows = 0;  // windows whose peak is above the silence threshold
    int firstLoud = -1, lastLoud = -1;
    int SpanMs() const { return firstLoud < 0 ? 0 : (lastLoud - firstLoud + 1) * 10; }
};
SCapture Analyse(const std::filesystem::path& file);

void SleepMs(int milliseconds);

// Sleeps in small steps until done() or the time is up; true when done() came true.
template <class F>
bool WaitFor(F done, int milliseconds) {
    for (int t = 0; t < milliseconds; t += 10) {
        if (done()) return true;
        SleepMs(10);
    }
    return done();
}

}  // namespace soundtest
