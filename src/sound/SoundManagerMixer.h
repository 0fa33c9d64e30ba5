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
    i32 GetVolume() override { return volume_; }
    bool IsActive() override { return active_; }
    const char* GetErrorText() override { return error_ ? error_ : "Operation successful"; }
    // What SDL said when the device could not be opened; empty when it opened.
    const std::string& DeviceError() const { return deviceError_; }

    // The output format: frames per second, channels and bytes per sample.
    int OutputRate() const { return rate_; }
    int OutputChannels() const { return channels_; }
    int OutputSampleBytes() const { return sampleBytes_; }

    // The music-slot bookkeeping of sequences and streams.
    CSound* CurrentMusic() const { return currentMusic_; }
    void SetCurrentMusic(CSound* owner) { currentMusic_ = owner; }

protected:
    CSound* Build(ESoundKind kind, std::vector<std::uint8_t>& bytes) override;
    void SetErrorText(const char* text) override { error_ = text; }

private:
    void Open(const std::string& soundFont);
    void Close();

    i32 volume_ = 100;
    bool active_ = true;
    const char* error_ = nullptr;
    bool audioSubsystem_ = false;
    bool mixerOpen_ = false;
    std::string deviceError_;
    int rate_ = 0, channels_ = 0, sampleBytes_ = 0;
    CSound* currentMusic_ = nullptr;
};

}  // namespace ove
