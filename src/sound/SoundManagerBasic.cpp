#include "SoundManagerBasic.h"

#include <algorithm>
#include <cstring>

namespace ove {

namespace {

// The file's bytes, handed to the manager whenever it plays.
class CBasicWave final : public CSound {
public:
    CBasicWave(CSoundManagerBasic& owner, std::vector<std::uint8_t>&& bytes) : owner_(owner), bytes_(std::move(bytes)) {}
    u32 GetLength() override { return WaveLengthMs(bytes_.data(), bytes_.size()); }
    void SetLooping(bool on) override { looping_ = on; }
    bool IsLooping() override { return looping_; }
    void Play() override { owner_.PlayWave(bytes_, looping_); }
    void Stop() override { owner_.StopAll(); }

private:
    CSoundManagerBasic& owner_;
    std::vector<std::uint8_t> bytes_;
    bool looping_ = false;
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
        deviceError_ = SDL_GetError();
        return;
    }
    audioSubsystem_ = true;
    SDL_AudioSpec want{};
    want.freq = 44100;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = &CSoundManagerBasic::Mix;
    want.userdata = this;
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &spec_, 0);
    if (device_) SDL_PauseAudioDevice(device_, 0);
    else deviceError_ = SDL_GetError();
}

CSoundManagerBasic::~CSoundManagerBasic() {
    if (device_) SDL_CloseAudioDevice(device_);
    if (audioSubsystem_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void SDLCALL CSoundManagerBasic::Mix(void* self, Uint8* stream, int length) {
    auto* m = static_cast<CSoundManagerBasic*>(self);
    std::memset(stream, m->spec_.silence, static_cast<std::size_t>(length));
    std::size_t want = static_cast<std::size_t>(length), done = 0;
    while (m->playing_ && done < want) {
        if (m->position_ >= m->pcm_.size()) {
            if (m->loop_ && !m->pcm_.empty()) {
                m->position_ = 0;
            } else {
                m->playing_ = false;
                break;
            }
        }
        std::size_t n = std::min(want - done, m->pcm_.size() - m->position_);
        std::memcpy(stream + done, m->pcm_.data() + m->position_, n);
        m->position_ += n;
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
    case ESoundKind::Midi:
        throw SSoundFailure{sound_text::kNoMidi};
    case ESoundKind::Other:
    default:
        return nullptr;  // not playable here, and not an error
    }
}

void CSoundManagerBasic::PlayWave(const std::vector<std::uint8_t>& bytes, bool loop) {
    if (!device_) return;
    SWaveInfo info;
    if (!ParseWave(bytes.data(), bytes.size(), info) ||
        DecodedWaveBytes(info, spec_.freq, spec_.channels, SDL_AUDIO_BITSIZE(spec_.format) / 8) > kMaxDecodedBytes)
        return;
    std::vector<std::uint8_t> pcm;
    {
        SDL_AudioSpec source{};
        SWavBuffer wav;
        SDL_RWops* rw = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
        if (!rw || !SDL_LoadWAV_RW(rw, 1, &source, &wav.data, &wav.length)) return;
        SDL_AudioCVT cvt;
        if (SDL_BuildAudioCVT(&cvt, source.format, source.channels, source.freq, spec_.format, spec_.channels,
                              spec_.freq) < 0)
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
    std::size_t frame = std::size_t(spec_.channels) * (SDL_AUDIO_BITSIZE(spec_.format) / 8);
    if (frame) pcm.resize(pcm.size() / frame * frame);
    SDL_LockAudioDevice(device_);
    pcm_.swap(pcm);
    position_ = 0;
    loop_ = loop;
    playing_ = true;
    SDL_UnlockAudioDevice(device_);
}

void CSoundManagerBasic::StopAll() {
    if (!device_) return;
    SDL_LockAudioDevice(device_);
    playing_ = false;
    SDL_UnlockAudioDevice(device_);
}

bool CSoundManagerBasic::AnyPlaying() {
    if (!device_) return false;
    SDL_LockAudioDevice(device_);
    bool playing = playing_;
    SDL_UnlockAudioDevice(device_);
    return playing;
}

void CSoundManagerBasic::Play(CSound* sound) {
    if (sound) sound->Play();
}

void CSoundManagerBasic::PlayAtVolume(CSound* sound, i32 volume) {
    if (!sound || !active_) return;
    if (volume >= 0) sound->SetVolume(volume);
    sound->Play();
}

void CSoundManagerBasic::Stop(CSound* sound) {
    if (sound) sound->Stop();
}

bool CSoundManagerBasic::IsPlaying(CSound* sound) { return sound && active_ && AnyPlaying(); }

}  // namespace ove
