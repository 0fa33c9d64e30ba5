// Sound data: the classification every sound goes through, then the WAVE and MIDI checks.
#include "FuzzInput.h"
#include "sound/SoundData.h"

using namespace ove;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The engine holds a sound's bytes in a buffer read from its data bin.
    CBuffer bin = fuzz::MakeBin(data, size);
    std::vector<std::uint8_t> bytes = ReadAll(bin);
    switch (ClassifySound(bytes.data(), bytes.size())) {
    case ESoundKind::Wave: {
        SWaveInfo info;
        if (ParseWave(bytes.data(), bytes.size(), info)) {
            if (info.dataOffset > bytes.size() || info.dataSize > bytes.size() - info.dataOffset) __builtin_trap();
            DecodedWaveBytes(info, 44100, 2, 2);
            DecodedWaveBytes(info, 1, 1, 1);
        }
        WaveLengthMs(bytes.data(), bytes.size());
        break;
    }
    case ESoundKind::Midi: CheckMidi(bytes.data(), bytes.size()); break;
    case ESoundKind::Other: break;
    }
    return 0;
}
