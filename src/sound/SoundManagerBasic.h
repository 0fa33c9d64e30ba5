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
    bool IsActive() override { return m_active; }
    const char* GetErrorText() override { return m_error ? m_error : "Operation successfull"; }

    // Decodes a WAVE file and plays it in place of whatever plays.
    void PlayWave(const std::vector<std::uint8_t>& bytes, bool loop);
    void StopAll();
    bool AnyPlaying();
    bool HasDevice() const { return m_device != 0; }
    // What SDL said when the device could not be opened; empty when it opened.
    const std::string& DeviceError() const { return m_deviceError; }

protected:
    CSound* Build(ESoundKind kind, std::vector<std::uint8_t>& bytes) override;
    void SetErrorText(const char* text) override { m_error = text; }

private:
    static void SDLCALL Mix(void* self, Uint8* stream, int length);

    bool m_active = true;
    const char* m_error = nullptr;
    bool m_audioSubsystem = false;
    SDL_AudioDeviceID m_device = 0;
    std::string m_deviceError;
    SDL_AudioSpec m_spec{};
    // Read by the audio thread under the device lock.
    std::vector<std::uint8_t> m_pcm;
    std::size_t m_position = 0;
    bool m_loop = false;
    bool m_playing = false;
};

}  // namespace ove
