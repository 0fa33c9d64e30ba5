#include "SoundTestUtil.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#include "support/TestSupport.h"

namespace soundtest {

namespace {

// Little-endian, except PutBe32 for MIDI.
void Put(Bytes& b, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(std::uint8_t(v >> (8 * i)));
}
void Put32(Bytes& b, std::uint32_t v) { Put(b, v, 4); }
void Put16(Bytes& b, std::uint32_t v) { Put(b, v, 2); }
void PutBe32(Bytes& b, std::uint32_t v) { Put32(b, __builtin_bswap32(v)); }
void PutTag(Bytes& b, const char* tag) {
    for (int i = 0; i < 4; ++i) b.push_back(std::uint8_t(tag[i]));
}

}  // namespace

Bytes PcmFormat(int channels, int rate, int bits) {
    Bytes f;
    Put16(f, 1);
    Put16(f, std::uint16_t(channels));
    Put32(f, std::uint32_t(rate));
    Put32(f, std::uint32_t(rate * channels * bits / 8));
    Put16(f, std::uint16_t(channels * bits / 8));
    Put16(f, std::uint16_t(bits));
    return f;
}

Bytes Riff(const std::vector<std::pair<std::string, Bytes>>& chunks) {
    Bytes body;
    PutTag(body, "WAVE");
    for (const auto& [id, data] : chunks) {
        PutTag(body, id.c_str());
        Put32(body, std::uint32_t(data.size()));
        body.insert(body.end(), data.begin(), data.end());
        if (data.size() & 1) body.push_back(0);
    }
    Bytes out;
    PutTag(out, "RIFF");
    Put32(out, std::uint32_t(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes SineWave(int milliseconds, int rate, int channels, double frequency) {
    Bytes samples;
    int frames = rate * milliseconds / 1000;
    for (int i = 0; i < frames; ++i) {
        auto v = std::int16_t(std::lround(16383.0 * std::sin(2.0 * M_PI * frequency * i / rate)));
        for (int c = 0; c < channels; ++c) Put16(samples, std::uint16_t(v));
    }
    return Riff({{"fmt ", PcmFormat(channels, rate, 16)}, {"data", samples}});
}

Bytes MidiFile(const Bytes& events) {
    Bytes track = events;
    track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
    Bytes out;
    PutTag(out, "MThd");
    PutBe32(out, 6);
    out.insert(out.end(), {0, 0, 0, 1, 0, 96});
    PutTag(out, "MTrk");
    PutBe32(out, std::uint32_t(track.size()));
    out.insert(out.end(), track.begin(), track.end());
    return out;
}

Bytes MidiNote(int quarters) {
    // Program 0 (piano), note on middle C at full velocity, note off after the delta.
    Bytes events = {0x00, 0xC0, 0x00, 0x00, 0x90, 0x3C, 0x7F};
    std::uint32_t ticks = std::uint32_t(96 * quarters);
    if (ticks >= 0x80) events.push_back(std::uint8_t(0x80 | (ticks >> 7)));
    events.push_back(std::uint8_t(ticks & 0x7F));
    events.insert(events.end(), {0x80, 0x3C, 0x40});
    return events;
}

Bytes OggTone(const std::filesystem::path& dir, int milliseconds) {
    if (!ovetest::HaveProgram("oggenc")) return {};
    auto wav = dir / "tone-source.wav";
    auto ogg = dir / "tone.ogg";
    Bytes w = SineWave(milliseconds, 44100, 2);
    std::ofstream(wav, std::ios::binary).write(reinterpret_cast<const char*>(w.data()), std::streamsize(w.size()));
    if (ovetest::Run("oggenc -Q -o '" + ogg.string() + "' '" + wav.string() + "'") != 0) return {};
    return ovetest::ReadFileBytes(ogg);
}

SCapture Analyse(const std::filesystem::path& file) {
    Bytes raw = ovetest::ReadFileBytes(file);
    SCapture c;
    const std::size_t windowBytes = 441 * 4;  // 10 ms of 44.1 kHz 16-bit stereo
    for (std::size_t start = 0; start + windowBytes <= raw.size(); start += windowBytes, ++c.windows) {
        int peak = 0;
        for (std::size_t i = start; i < start + windowBytes; i += 2) {
            int v = std::int16_t(raw[i] | raw[i + 1] << 8);
            peak = std::max(peak, std::abs(v));
        }
        if (peak > 300) {
            ++c.loudWindows;
            if (c.firstLoud < 0) c.firstLoud = c.windows;
            c.lastLoud = c.windows;
        }
    }
    return c;
}

void SleepMs(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

}  // namespace soundtest
