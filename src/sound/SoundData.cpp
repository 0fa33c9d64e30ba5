#include "SoundData.h"

#include <cstring>

namespace ove {

namespace {

std::uint32_t Le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}
std::uint16_t Le16(const std::uint8_t* p) { return std::uint16_t(p[0] | p[1] << 8); }
std::uint32_t Be32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | std::uint32_t(p[3]);
}
std::uint16_t Be16(const std::uint8_t* p) { return std::uint16_t(p[0] << 8 | p[1]); }

bool Fail(std::string* why, const char* text) {
    if (why) *why = text;
    return false;
}

// One RIFF chunk as found by the walk: where its body starts and how long it says it is.
struct SChunk {
    char id[4];
    std::size_t body;
    std::uint64_t size;  // as declared; may run past the end of the bytes
};

// Steps through the chunks of a RIFF file from offset 12. Chunk bodies are padded to even
// lengths, as RIFF writers do.
class CRiffWalk {
public:
    CRiffWalk(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    // The next chunk whose header lies inside the bytes; false at the end.
    bool Next(SChunk& chunk) {
        if (m_pos > m_size || m_size - m_pos < 8) return false;
        std::memcpy(chunk.id, m_data + m_pos, 4);
        chunk.size = Le32(m_data + m_pos + 4);
        chunk.body = static_cast<std::size_t>(m_pos + 8);
        m_pos += 8 + chunk.size + (chunk.size & 1);
        return true;
    }
    bool Fits(const SChunk& chunk) const { return chunk.size <= m_size - chunk.body; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::uint64_t m_pos = 12;
};

bool Is(const SChunk& chunk, const char* id) { return std::memcmp(chunk.id, id, 4) == 0; }

// Reads a MIDI variable-length quantity (at most four bytes) inside [pos, end).
bool ReadVlq(const std::uint8_t* data, std::size_t& pos, std::size_t end, std::uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
        if (pos >= end) return false;
        std::uint8_t b = data[pos++];
        value = (value << 7) | (b & 0x7F);
        if (!(b & 0x80)) return true;
    }
    return false;
}

bool CheckTrack(const std::uint8_t* data, std::size_t pos, std::size_t end, std::string* why) {
    std::uint8_t running = 0;
    while (pos < end) {
        std::uint32_t delta;
        if (!ReadVlq(data, pos, end, delta)) return Fail(why, "bad delta time in a MIDI track");
        if (pos >= end) return Fail(why, "MIDI track ends inside an event");
        std::uint8_t status = data[pos];
        if (status & 0x80) {
            ++pos;
        } else {
            if (!running) return Fail(why, "MIDI data byte without a status");
            status = running;
        }
        std::uint32_t length;
        if (status == 0xFF) {
            if (pos >= end) return Fail(why, "MIDI track ends inside an event");
            ++pos;  // meta type
            if (!ReadVlq(data, pos, end, length) || length > end - pos)
                return Fail(why, "MIDI meta event runs past its track");
            pos += length;
        } else if (status == 0xF0 || status == 0xF7) {
            if (!ReadVlq(data, pos, end, length) || length > end - pos)
                return Fail(why, "MIDI system exclusive runs past its track");
            pos += length;
        } else if (status >= 0xF0) {
            return Fail(why, "unexpected MIDI system message in a track");
        } else {
            running = status;
            std::size_t bytes = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
            if (bytes > end - pos) return Fail(why, "MIDI track ends inside an event");
            pos += bytes;
        }
    }
    return true;
}

}  // namespace

ESoundKind ClassifySound(const std::uint8_t* data, std::size_t size) {
    if (size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WAVE", 4) == 0)
        return ESoundKind::Wave;
    if (size >= 4 && std::memcmp(data, "MThd", 4) == 0) return ESoundKind::Midi;
    return ESoundKind::Other;
}

bool ParseWave(const std::uint8_t* data, std::size_t size, SWaveInfo& info, std::string* why) {
    info = SWaveInfo{};
    if (ClassifySound(data, size) != ESoundKind::Wave) return Fail(why, "not a RIFF WAVE file");
    CRiffWalk walk(data, size);
    SChunk chunk{};
    bool haveFormat = false;
    while (walk.Next(chunk)) {
        if (!walk.Fits(chunk)) return Fail(why, "a WAVE chunk runs past the end of the file");
        if (Is(chunk, "fmt ")) {
            if (chunk.size < 16) return Fail(why, "WAVE format chunk too short");
            const std::uint8_t* f = data + chunk.body;
            info.formatTag = Le16(f);
            info.channels = Le16(f + 2);
            info.sampleRate = Le32(f + 4);
            info.avgBytesPerSecond = Le32(f + 8);
            info.blockAlign = Le16(f + 12);
            info.bitsPerSample = Le16(f + 14);
            haveFormat = true;
        } else if (Is(chunk, "data") && haveFormat) {
            info.dataOffset = chunk.body;
            info.dataSize = static_cast<std::uint32_t>(chunk.size);
            if (info.channels < 1 || info.channels > 8) return Fail(why, "unsupported WAVE channel count");
            if (info.sampleRate < 1000 || info.sampleRate > 384000) return Fail(why, "unsupported WAVE sample rate");
            if (info.bitsPerSample < 1 || info.bitsPerSample > 64 || info.blockAlign == 0)
                return Fail(why, "bad WAVE sample format");
            return true;
        }
    }
    return Fail(why, haveFormat ? "WAVE file without data" : "WAVE file without format");
}

std::uint64_t DecodedWaveBytes(const SWaveInfo& info, int outRate, int outChannels, int outBytesPerSample) {
    if (info.sampleRate == 0 || info.channels == 0) return 0;
    std::uint64_t bits = info.bitsPerSample ? info.bitsPerSample : 1;
    std::uint64_t frames = std::uint64_t(info.dataSize) * 8 / (bits * info.channels);
    std::uint64_t outFrames = frames * std::uint64_t(outRate > 0 ? outRate : 0) / info.sampleRate + 1;
    return outFrames * std::uint64_t(outChannels > 0 ? outChannels : 0) *
           std::uint64_t(outBytesPerSample > 0 ? outBytesPerSample : 0);
}

std::uint32_t WaveLengthMs(const std::uint8_t* data, std::size_t size) {
    if (ClassifySound(data, size) != ESoundKind::Wave) return 0;
    CRiffWalk walk(data, size);
    SChunk chunk{};
    std::uint32_t average = 0;
    bool haveFormat = false;
    while (walk.Next(chunk)) {
        if (Is(chunk, "fmt ")) {
            if (chunk.size < 12 || !walk.Fits(chunk)) return 0;
            average = Le32(data + chunk.body + 8);
            haveFormat = true;
            break;
        }
    }
    if (!haveFormat || average == 0) return 0;
    while (walk.Next(chunk)) {
        if (Is(chunk, "data")) {
            std::uint64_t present = size - chunk.body;
            std::uint64_t bytes = chunk.size < present ? chunk.size : present;
            std::uint64_t ms = bytes * 1000 / average;
            return ms > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(ms);
        }
    }
    return 0;
}

bool CheckMidi(const std::uint8_t* data, std::size_t size, std::string* why) {
    if (size < 14 || std::memcmp(data, "MThd", 4) != 0) return Fail(why, "not a MIDI file");
    std::uint32_t headerLength = Be32(data + 4);
    if (headerLength < 6 || headerLength > size - 8) return Fail(why, "bad MIDI header");
    std::uint16_t format = Be16(data + 8);
    std::uint16_t tracks = Be16(data + 10);
    std::uint16_t division = Be16(data + 12);
    if (format > 2 || tracks == 0 || division == 0) return Fail(why, "bad MIDI header");
    std::size_t pos = 8 + headerLength;
    unsigned found = 0;
    while (found < tracks) {
        if (size - pos < 8) return Fail(why, "MIDI file has fewer tracks than it says");
        std::uint32_t length = Be32(data + pos + 4);
        std::size_t body = pos + 8;
        if (length > size - body) return Fail(why, "a MIDI chunk runs past the end of the file");
        if (std::memcmp(data + pos, "MTrk", 4) == 0) {
            if (!CheckTrack(data, body, body + length, why)) return false;
            ++found;
        }
        pos = body + length;
    }
    return true;
}

}  // namespace ove
