#include "SoundManagerBasic.h"

#include <algorithm>
#include <cstring>

namespace ove {

namespace {

// The file's bytes, handed to the manager whenever it plays.
class CBasicWave final : public CSound {
public:
    CBasicWave(CSoundManagerBasic& owner, std::vector<std::uint8_t>&& bytes)
        : m_owner(owner), m_bytes(std::move(bytes)) {}
    u32 GetLength() override { return WaveLengthMs(m_bytes.data(), m_bytes.size()); }
    void SetLooping(bool on) override { m_looping = on; }
    bool IsLooping() override { return m_looping; }
    void Play() override { m_owner.PlayWave(m_bytes, m_looping); }
    void Stop() override { m_owner.StopAll(); }

private:
    CSoundManagerBasic& m_owner;
    std::vector<std::uint8_t> m_bytes;
    bool m_looping = false;
};

// SDL's own release for buffers from SDL_LoadWAV_RW.
struct SWavBuffer {
    Uint8* data = nullptr;
    Uint32 length = 0;
    ~SWavBuffer() { SDL_FreeWAV(data); }
};

}  // namespace

CSoundManagerBasic::CSoundManagerBasic() {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        m_deviceError = SDL_GetError();
        return;
    }
    m_audioSubsystem = true;
    SDL_AudioSpec want{};
    want.freq = 44100;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = &CSoundManagerBasic::Mix;
    want.userdata = this;
    m_device = SDL_OpenAudioDevice(nullptr, 0, &want, &m_spec, 0);
    if (m_device) SDL_PauseAudioDevice(m_device, 0);
    else m_deviceError = SDL_GetError();
}

CSoundManagerBasic::~CSoundManagerBasic() {
    if (m_device) SDL_CloseAudioDevice(m_device);
    if (m_audioSubsystem) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void SDLCALL CSoundManagerBasic::Mix(void* self, Uint8* stream, int length) {
    auto* m = static_cast<CSoundManagerBasic*>(self);
    std::memset(stream, m->m_spec.silence, static_cast<std::size_t>(length));
    std::size_t want = static_cast<std::size_t>(length), done = 0;
    while (m->m_playing && done < want) {
        if (m->m_position >= m->m_pcm.size()) {
            if (m->m_loop && !m->m_pcm.empty()) {
                m->m_position = 0;
            } else {
                m->m_playing = false;
                break;
            }
        }
        std::size_t n = std::min(want - done, m->m_pcm.size() - m->m_position);
        std::memcpy(stream + done, m->m_pcm.data() + m->m_position, n);
        m->m_position += n;
        done += n;
    }
}

CSound* CSoundManagerBasic::Build(ESoundKind kind, std::vector<std::uint8_t>& bytes) {
    switch (kind) {
    case ESoundKind::Wave: {
        SWaveInfo info;
        if (!ParseWave(bytes.data(), bytes.size(), info)) throw SSoundFailure{sound_text::kSample};
        return new CBasicWave(*this, std::move(bytes));
    }
    case ESoundKind::Midi: throw SSoundFailure{sound_text::kNoMidi};
    case ESoundKind::Other:
    default: return nullptr;  // not playable here, and not an error
    }
}

void CSoundManagerBasic::PlayWave(const std::vector<std::uint8_t>& bytes, bool loop) {
    if (!m_device) return;
    SWaveInfo info;
    if (!ParseWave(bytes.data(), bytes.size(), info) ||
        DecodedWaveBytes(info, m_spec.freq, m_spec.channels, SDL_AUDIO_BITSIZE(m_spec.format) / 8) > kMaxDecodedBytes)
        return;
    std::vector<std::uint8_t> pcm;
    {
        SDL_AudioSpec source{};
        SWavBuffer wav;
        SDL_RWops* rw = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
        if (!rw || !SDL_LoadWAV_RW(rw, 1, &source, &wav.data, &wav.length)) return;
        SDL_AudioCVT cvt;
        if (SDL_BuildAudioCVT(&cvt, source.format, source.channels, source.freq, m_spec.format, m_spec.channels,
                              m_spec.freq) < 0)
            return;
        std::uint64_t room = std::uint64_t(wav.length) * std::uint64_t(cvt.len_mult > 0 ? cvt.len_mult : 1);
        if (room > kMaxDecodedBytes * 2) return;
        pcm.resize(static_cast<std::size_t>(room));
        std::memcpy(pcm.data(), wav.data, wav.length);
        cvt.buf = pcm.data();
        cvt.len = static_cast<int>(wav.length);
        if (cvt.needed && SDL_ConvertAudio(&cvt) != 0) return;
        pcm.resize(cvt.needed ? static_cast<std::size_t>(cvt.len_cvt) : wav.length);
    }
    // Keep whole frames only.
    std::size_t frame = std::size_t(m_spec.channels) * (SDL_AUDIO_BITSIZE(m_spec.format) / 8);
    if (frame) pcm.resize(pcm.size() / frame * frame);
    SDL_LockAudioDevice(m_device);
    m_pcm.swap(pcm);
    m_position = 0;
    m_loop = loop;
    m_playing = true;
    SDL_UnlockAudioDevice(m_device);
}

void CSoundManagerBasic::StopAll() {
    if (!m_device) return;
    SDL_LockAudioDevice(m_device);
    m_playing = false;
    SDL_UnlockAudioDevice(m_device);
}

bool CSoundManagerBasic::AnyPlaying() {
    if (!m_device) return false;
    SDL_LockAudioDevice(m_device);
    bool playing = m_playing;
    SDL_UnlockAudioDevice(m_device);
    return playing;
}

void CSoundManagerBasic::Play(CSound* sound) {
    if (sound) sound->Play();
}

void CSoundManagerBasic::PlayAtVolume(CSound* sound, i32 volume) {
    if (!sound || !m_active) return;
    if (volume >= 0) sound->SetVolume(volume);
    sound->Play();
}

void CSoundManagerBasic::Stop(CSound* sound) {
    if (sound) sound->Stop();
}

bool CSoundManagerBasic::IsPlaying(CSound* sound) { return sound && m_active && AnyPlaying(); }

}  // namespace ove
