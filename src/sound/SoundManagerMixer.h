// The full sound manager on SDL_mixer: WAVE files become samples played on mixer channels, MIDI
// files sequences rendered through FluidSynth, and every other file a stream decoded while it
// plays (OGG, MP3, FLAC, ...). Sequences and streams share SDL_mixer's single music slot, so
// starting one stops the other.
#pragma once
#include <string>

#include "SoundManager.h"

namespace ove {

class CSoundManagerMixer : public CSoundManager {
public:
    // Opens the audio device. `soundFont` is the General MIDI sound font for sequences (empty:
    // none, MIDI files then fail to load). On failure the manager is inactive and its error text
    // says why.
    explicit CSoundManagerMixer(const std::string& soundFont = {});
    ~CSoundManagerMixer() override;

    void Play(CSound* sound) override;
    void PlayAtVolume(CSound* sound, i32 volume) override;
    void Stop(CSound* sound) override;
    bool IsPlaying(CSound* sound) override;
    void SetVolume(i32 volume) override;
    i32 GetVolume() override { return m_volume; }
    bool IsActive() override { return m_active; }
    const char* GetErrorText() override { return m_error ? m_error : "Operation successful"; }
    // What SDL said when the device could not be opened; empty when it opened.
    const std::string& DeviceError() const { return m_deviceError; }

    // The output format: frames per second, channels and bytes per sample.
    int OutputRate() const { return m_rate; }
    int OutputChannels() const { return m_channels; }
    int OutputSampleBytes() const { return m_sampleBytes; }

    // The music-slot bookkeeping of sequences and streams.
    CSound* CurrentMusic() const { return m_currentMusic; }
    void SetCurrentMusic(CSound* owner) { m_currentMusic = owner; }

protected:
    CSound* Build(ESoundKind kind, std::vector<std::uint8_t>& bytes) override;
    void SetErrorText(const char* text) override { m_error = text; }

private:
    void Open(const std::string& soundFont);
    void Close();

    i32 m_volume = 100;
    bool m_active = true;
    const char* m_error = nullptr;
    bool m_audioSubsystem = false;
    bool m_mixerOpen = false;
    std::string m_deviceError;
    int m_rate = 0, m_channels = 0, m_sampleBytes = 0;
    CSound* m_currentMusic = nullptr;
};

}  // namespace ove
