#include "SoundManagerMixer.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <memory>

namespace ove {

namespace {

constexpr int kChannels = 32;

// A WAVE file decoded into a chunk, played on a free mixer channel.
class CMixerWave final : public CSound {
public:
    CMixerWave(CSoundManagerMixer& owner, Mix_Chunk* chunk) : owner_(owner), chunk_(chunk) {}
    ~CMixerWave() override { Mix_FreeChunk(chunk_); }  // halts the channels still playing it

    u32 GetLength() override {
        std::uint64_t perSecond = std::uint64_t(owner_.OutputRate()) * owner_.OutputChannels() * owner_.OutputSampleBytes();
        return perSecond ? static_cast<u32>(std::uint64_t(chunk_->alen) * 1000 / perSecond) : 0;
    }
    // Takes effect with the next Play.
    void SetLooping(bool on) override { loopMode_ = on ? 2 : 1; }
    bool IsLooping() override { return loopMode_ == 2; }
    void SetVolume(i32 volume) override {
        volume_ = ClampVolume(volume);
        Mix_VolumeChunk(chunk_, ScaleVolume(volume_, MIX_MAX_VOLUME));
    }
    i32 GetVolume() override { return volume_; }
    void Play() override {
        // The chunk carries the sound's volume, so it is right from the first sample.
        Mix_VolumeChunk(chunk_, ScaleVolume(volume_, MIX_MAX_VOLUME));
        channel_ = Mix_PlayChannel(-1, chunk_, loopMode_ == 2 ? -1 : 0);
    }
    void Stop() override {
        if (OwnsChannel()) Mix_HaltChannel(channel_);
    }
    bool IsPlaying() override { return OwnsChannel() && Mix_Playing(channel_); }

private:
    // The channel may since have been taken by another sound.
    bool OwnsChannel() const { return channel_ >= 0 && Mix_GetChunk(channel_) == chunk_; }

    CSoundManagerMixer& owner_;
    Mix_Chunk* chunk_;
    int channel_ = -1;
    i32 volume_ = 100;
    int loopMode_ = 0;  // 1 off, 2 on, 0 never set
};

// A sequence or a stream: decoded while it plays from the file's bytes, which it keeps.
class CMixerMusic final : public CSound {
public:
    CMixerMusic(CSoundManagerMixer& owner, bool sequence, std::vector<std::uint8_t>&& bytes)
        : owner_(owner), sequence_(sequence), bytes_(std::move(bytes)) {
        SDL_RWops* rw = SDL_RWFromConstMem(bytes_.data(), static_cast<int>(bytes_.size()));
        if (rw) music_ = Mix_LoadMUSType_RW(rw, sequence_ ? MUS_MID : MUS_NONE, 1);
    }
    ~CMixerMusic() override {
        if (owner_.CurrentMusic() == this) {
            Mix_HaltMusic();
            owner_.SetCurrentMusic(nullptr);
        }
        if (music_) Mix_FreeMusic(music_);
    }
    bool Loaded() const { return music_ != nullptr; }

    u32 GetLength() override {
        if (sequence_) return 0;
        double seconds = Mix_MusicDuration(music_);
        return seconds > 0 && seconds < 4.0e6 ? static_cast<u32>(seconds * 1000.0) : 0;
    }
    // A playing stream starts again from the beginning in the new mode; sequences do not loop.
    void SetLooping(bool on) override {
        if (sequence_ || on == IsLooping()) return;
        bool wasPlaying = IsPlaying();
        if (wasPlaying) Stop();
        loopMode_ = on ? 2 : 1;
        if (wasPlaying) Play();
    }
    bool IsLooping() override { return loopMode_ == 2; }
    void SetVolume(i32 volume) override {
        volume_ = ClampVolume(volume);
        if (owner_.CurrentMusic() == this) ApplyVolume();
    }
    i32 GetVolume() override { return volume_; }
    void Play() override {
        owner_.SetCurrentMusic(this);
        ApplyVolume();
        if (Mix_PlayMusic(music_, loopMode_ == 2 ? -1 : 1) != 0) owner_.SetCurrentMusic(nullptr);
    }
    void Stop() override {
        if (owner_.CurrentMusic() != this) return;
        Mix_HaltMusic();
        owner_.SetCurrentMusic(nullptr);
    }
    bool IsPlaying() override { return owner_.CurrentMusic() == this && Mix_PlayingMusic(); }

    // Music is not touched by the mixer's master volume: it is folded in here.
    void ApplyVolume() { Mix_VolumeMusic(ScaleVolume(volume_ * owner_.GetVolume() / 100, MIX_MAX_VOLUME)); }

private:
    CSoundManagerMixer& owner_;
    bool sequence_;
    std::vector<std::uint8_t> bytes_;
    Mix_Music* music_ = nullptr;
    i32 volume_ = 100;
    int loopMode_ = 0;
};

}  // namespace

CSoundManagerMixer::CSoundManagerMixer(const std::string& soundFont) {
    Open(soundFont);
    if (active_) SetVolume(100);
}

CSoundManagerMixer::~CSoundManagerMixer() { Close(); }

void CSoundManagerMixer::Open(const std::string& soundFont) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        deviceError_ = SDL_GetError();
        active_ = false;
        error_ = sound_text::kInit;
        return;
    }
    audioSubsystem_ = true;
    if (!soundFont.empty()) {
        Mix_SetSoundFonts(soundFont.c_str());
        // With a sound font, sequences go to FluidSynth even where a TiMidity set-up exists.
        SDL_SetHint("SDL_MIXER_DISABLE_TIMIDITY", "1");
    }
    Mix_Init(MIX_INIT_OGG | MIX_INIT_MP3 | MIX_INIT_FLAC | MIX_INIT_MID);
    // No format changes allowed: SDL converts, so the output format is known exactly.
    if (Mix_OpenAudioDevice(44100, AUDIO_S16SYS, 2, 1024, nullptr, 0) != 0) {
        deviceError_ = Mix_GetError();
        Close();
        active_ = false;
        error_ = sound_text::kInit;
        return;
    }
    mixerOpen_ = true;
    Uint16 format = 0;
    Mix_QuerySpec(&rate_, &format, &channels_);
    sampleBytes_ = SDL_AUDIO_BITSIZE(format) / 8;
    Mix_AllocateChannels(kChannels);
}

void CSoundManagerMixer::Close() {
    if (mixerOpen_) {
        Mix_HaltMusic();
        Mix_HaltChannel(-1);
        Mix_CloseAudio();
        mixerOpen_ = false;
    }
    if (audioSubsystem_) {
        Mix_Quit();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        audioSubsystem_ = false;
    }
}

CSound* CSoundManagerMixer::Build(ESoundKind kind, std::vector<std::uint8_t>& bytes) {
    switch (kind) {
    case ESoundKind::Wave: {
        SWaveInfo info;
        if (!ParseWave(bytes.data(), bytes.size(), info) ||
            DecodedWaveBytes(info, rate_, channels_, sampleBytes_) > kMaxDecodedBytes)
            throw SSoundFailure{sound_text::kSample};
        SDL_RWops* rw = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
        Mix_Chunk* chunk = rw ? Mix_LoadWAV_RW(rw, 1) : nullptr;
        if (!chunk) throw SSoundFailure{sound_text::kSample};
        return new CMixerWave(*this, chunk);
    }
    case ESoundKind::Midi: {
        if (!CheckMidi(bytes.data(), bytes.size())) throw SSoundFailure{sound_text::kSequence};
        auto music = std::make_unique<CMixerMusic>(*this, true, std::move(bytes));
        if (!music->Loaded()) throw SSoundFailure{sound_text::kSequence};
        return music.release();
    }
    case ESoundKind::Other:
    default: {
        auto music = std::make_unique<CMixerMusic>(*this, false, std::move(bytes));
        if (!music->Loaded()) throw SSoundFailure{sound_text::kStream};
        return music.release();
    }
    }
}

void CSoundManagerMixer::Play(CSound* sound) {
    if (sound && active_) sound->Play();
}

void CSoundManagerMixer::PlayAtVolume(CSound* sound, i32 volume) {
    if (!sound || !active_) return;
    if (volume >= 0) sound->SetVolume(volume);
    sound->Play();
}

void CSoundManagerMixer::Stop(CSound* sound) {
    if (sound && active_) sound->Stop();
}

bool CSoundManagerMixer::IsPlaying(CSound* sound) { return sound && active_ && sound->IsPlaying(); }

void CSoundManagerMixer::SetVolume(i32 volume) {
    volume_ = ClampVolume(volume);
    if (!active_) return;
    Mix_MasterVolume(ScaleVolume(volume_, MIX_MAX_VOLUME));
    // Setting the playing music's own volume again folds in the new master volume.
    if (currentMusic_) currentMusic_->SetVolume(currentMusic_->GetVolume());
}

}  // namespace ove
