#include "SoundManagerMixer.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <cstdio>
#include <memory>

namespace ove {

namespace {

constexpr int kChannels = 32;

// A WAVE file decoded into a chunk, played on a free mixer channel.
class CMixerWave final : public CSound {
public:
    CMixerWave(CSoundManagerMixer& owner, Mix_Chunk* chunk) : m_owner(owner), m_chunk(chunk) {}
    ~CMixerWave() override { Mix_FreeChunk(m_chunk); }  // halts the channels still playing it

    u32 GetLength() override {
        std::uint64_t perSecond = std::uint64_t(m_owner.OutputRate()) * m_owner.OutputChannels() *
                                  m_owner.OutputSampleBytes();
        return perSecond ? static_cast<u32>(std::uint64_t(m_chunk->alen) * 1000 / perSecond) : 0;
    }
    // Takes effect with the next Play.
    void SetLooping(bool on) override { m_loopMode = on ? 2 : 1; }
    bool IsLooping() override { return m_loopMode == 2; }
    void SetVolume(i32 volume) override {
        m_volume = ClampVolume(volume);
        Mix_VolumeChunk(m_chunk, ScaleVolume(m_volume, MIX_MAX_VOLUME));
    }
    i32 GetVolume() override { return m_volume; }
    void Play() override {
        // The chunk carries the sound's volume, so it is right from the first sample.
        Mix_VolumeChunk(m_chunk, ScaleVolume(m_volume, MIX_MAX_VOLUME));
        m_channel = Mix_PlayChannel(-1, m_chunk, m_loopMode == 2 ? -1 : 0);
    }
    void Stop() override {
        if (OwnsChannel()) Mix_HaltChannel(m_channel);
    }
    bool IsPlaying() override { return OwnsChannel() && Mix_Playing(m_channel); }

private:
    // The channel may since have been taken by another sound.
    bool OwnsChannel() const { return m_channel >= 0 && Mix_GetChunk(m_channel) == m_chunk; }

    CSoundManagerMixer& m_owner;
    Mix_Chunk* m_chunk;
    int m_channel = -1;
    i32 m_volume = 100;
    int m_loopMode = 0;  // 1 off, 2 on, 0 never set
};

// A sequence or a stream: decoded while it plays from the file's bytes, which it keeps.
class CMixerMusic final : public CSound {
public:
    CMixerMusic(CSoundManagerMixer& owner, bool sequence, std::vector<std::uint8_t>&& bytes)
        : m_owner(owner), m_sequence(sequence), m_bytes(std::move(bytes)) {
        SDL_RWops* rw = SDL_RWFromConstMem(m_bytes.data(), static_cast<int>(m_bytes.size()));
        if (rw) m_music = Mix_LoadMUSType_RW(rw, m_sequence ? MUS_MID : MUS_NONE, 1);
    }
    ~CMixerMusic() override {
        if (m_owner.CurrentMusic() == this) {
            Mix_HaltMusic();
            m_owner.SetCurrentMusic(nullptr);
        }
        if (m_music) Mix_FreeMusic(m_music);
    }
    bool Loaded() const { return m_music != nullptr; }

    u32 GetLength() override {
        if (m_sequence) return 0;
        double seconds = Mix_MusicDuration(m_music);
        return seconds > 0 && seconds < 4.0e6 ? static_cast<u32>(seconds * 1000.0) : 0;
    }
    // A playing stream starts again from the beginning in the new mode; sequences do not loop.
    void SetLooping(bool on) override {
        if (m_sequence || on == IsLooping()) return;
        bool wasPlaying = IsPlaying();
        if (wasPlaying) Stop();
        m_loopMode = on ? 2 : 1;
        if (wasPlaying) Play();
    }
    bool IsLooping() override { return m_loopMode == 2; }
    void SetVolume(i32 volume) override {
        m_volume = ClampVolume(volume);
        if (m_owner.CurrentMusic() == this) ApplyVolume();
    }
    i32 GetVolume() override { return m_volume; }
    void Play() override {
        m_owner.SetCurrentMusic(this);
        ApplyVolume();
        if (Mix_PlayMusic(m_music, m_loopMode == 2 ? -1 : 1) != 0) m_owner.SetCurrentMusic(nullptr);
    }
    void Stop() override {
        if (m_owner.CurrentMusic() != this) return;
        Mix_HaltMusic();
        m_owner.SetCurrentMusic(nullptr);
    }
    bool IsPlaying() override { return m_owner.CurrentMusic() == this && Mix_PlayingMusic(); }

    // Music is not touched by the mixer's master volume: it is folded in here.
    void ApplyVolume() { Mix_VolumeMusic(ScaleVolume(m_volume * m_owner.GetVolume() / 100, MIX_MAX_VOLUME)); }

private:
    CSoundManagerMixer& m_owner;
    bool m_sequence;
    std::vector<std::uint8_t> m_bytes;
    Mix_Music* m_music = nullptr;
    i32 m_volume = 100;
    int m_loopMode = 0;
};

}  // namespace

CSoundManagerMixer::CSoundManagerMixer(const std::string& soundFont) {
    Open(soundFont);
    if (m_active) SetVolume(100);
}

CSoundManagerMixer::~CSoundManagerMixer() { Close(); }

void CSoundManagerMixer::Open(const std::string& soundFont) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        m_deviceError = SDL_GetError();
        m_active = false;
        m_error = sound_text::kInit;
        return;
    }
    m_audioSubsystem = true;
    if (!soundFont.empty()) {
        Mix_SetSoundFonts(soundFont.c_str());
        // With a sound font, sequences go to FluidSynth even where a TiMidity set-up exists.
        SDL_SetHint("SDL_MIXER_DISABLE_TIMIDITY", "1");
    }
    Mix_Init(MIX_INIT_OGG | MIX_INIT_MP3 | MIX_INIT_FLAC | MIX_INIT_MID);
    // No format changes allowed: SDL converts, so the output format is known exactly.
    if (Mix_OpenAudioDevice(44100, AUDIO_S16SYS, 2, 1024, nullptr, 0) != 0) {
        m_deviceError = Mix_GetError();
        Close();
        m_active = false;
        m_error = sound_text::kInit;
        return;
    }
    m_mixerOpen = true;
    Uint16 format = 0;
    Mix_QuerySpec(&m_rate, &format, &m_channels);
    m_sampleBytes = SDL_AUDIO_BITSIZE(format) / 8;
    Mix_AllocateChannels(kChannels);
}

void CSoundManagerMixer::Close() {
    if (m_mixerOpen) {
        Mix_HaltMusic();
        Mix_HaltChannel(-1);
        Mix_CloseAudio();
        m_mixerOpen = false;
    }
    if (m_audioSubsystem) {
        Mix_Quit();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        m_audioSubsystem = false;
    }
}

CSound* CSoundManagerMixer::Build(ESoundKind kind, std::vector<std::uint8_t>& bytes) {
    switch (kind) {
    case ESoundKind::Wave: {
        SWaveInfo info;
        if (!ParseWave(bytes.data(), bytes.size(), info) ||
            DecodedWaveBytes(info, m_rate, m_channels, m_sampleBytes) > kMaxDecodedBytes)
            throw SSoundFailure{sound_text::kSample};
        SDL_RWops* rw = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
        Mix_Chunk* chunk = rw ? Mix_LoadWAV_RW(rw, 1) : nullptr;
        if (!chunk) throw SSoundFailure{sound_text::kSample};
        return new CMixerWave(*this, chunk);
    }
    case ESoundKind::Midi: {
        if (!CheckMidi(bytes.data(), bytes.size())) throw SSoundFailure{sound_text::kSequence};
        auto music = std::make_unique<CMixerMusic>(*this, true, std::move(bytes));
#ifdef __EMSCRIPTEN__
        // A page has no synthesiser: the game keeps its sequence, which plays silently.
        if (!music->Loaded()) {
            static bool told = false;
            if (!told) std::fputs("ove: warning: MIDI music is silent in the browser\n", stderr);
            told = true;
            return music.release();
        }
#endif
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
    if (sound && m_active) sound->Play();
}

void CSoundManagerMixer::PlayAtVolume(CSound* sound, i32 volume) {
    if (!sound || !m_active) return;
    if (volume >= 0) sound->SetVolume(volume);
    sound->Play();
}

void CSoundManagerMixer::Stop(CSound* sound) {
    if (sound && m_active) sound->Stop();
}

bool CSoundManagerMixer::IsPlaying(CSound* sound) { return sound && m_active && sound->IsPlaying(); }

void CSoundManagerMixer::SetVolume(i32 volume) {
    m_volume = ClampVolume(volume);
    if (!m_active) return;
    Mix_MasterVolume(ScaleVolume(m_volume, MIX_MAX_VOLUME));
    // Setting the playing music's own volume again folds in the new master volume.
    if (m_currentMusic) m_currentMusic->SetVolume(m_currentMusic->GetVolume());
}

}  // namespace ove
