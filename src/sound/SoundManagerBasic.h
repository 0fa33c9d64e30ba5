// The fallback sound manager, used when the mixer cannot start: WAVE files only, one sound at a
// time, on a plain SDL audio device. Stop and IsPlaying concern whatever sound is playing, and
// volume is not supported.
#pragma once
#include <SDL.h>

#include <cstdint>
#include <string>
#include <vector>

#include "SoundManager.h"

namespace ove {

class CSoundManagerBasic : public CSoundManager {
public:
    // Opens the default audio device; without one the manager stays active and plays nothing.
    CSoundManagerBasic();
    ~CSoundManagerBasic() override;

    void Play(CSound* sound) override;
    void PlayAtVolume(CSound* sound, i32 volume) override;
    void Stop(CSound* sound) override;
    // Whether any sound is playing (not necessarily this one).
    bool IsPlaying(CSound* sound) override;
    void SetVolume(i32) override {}
    i32 GetVolume() override { return 100; }
    bool IsActive() override { return active_; }
    const char* GetErrorText() override { return error_ ? error_ : "Operation successfull"; }

    // Decodes a WAVE file and plays it in place of whatever plays.
    void PlayWave(const std::vector<std::uint8_t>& bytes, bool loop);
    void StopAll();
    bool AnyPlaying();
    bool HasDevice() const { return device_ != 0; }
    // What SDL said when the device could not be opened; empty when it opened.
    const std::string& DeviceError() const { return deviceError_; }

protected:
    CSound* Build(ESoundKind kind, std::vector<std::uint8_t>& bytes) override;
    void SetErrorText(const char* text) override { error_ = text; }

private:
    static void SDLCALL Mix(void* self, Uint8* stream, int length);

    bool active_ = true;
    const char* error_ = nullptr;
    bool audioSubsystem_ = false;
    SDL_AudioDeviceID device_ = 0;
    std::string deviceError_;
    SDL_AudioSpec spec_{};
    // Read by the audio thread under the device lock.
    std::vector<std::uint8_t> pcm_;
    std::size_t position_ = 0;
    bool loop_ = false;
    bool playing_ = false;
};

}  // namespace ove
