// The sound interface: one manager per run creates sounds from whole files and plays them.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "SoundData.h"
#include "io/Types.h"

namespace ove {

class CDataBin;

// One playable sound. Volumes are 0-100.
class CSound {
public:
    virtual ~CSound() = default;
    virtual u32 GetLength() = 0;  // milliseconds
    virtual void SetLooping(bool) {}
    virtual bool IsLooping() { return false; }
    virtual void SetVolume(i32) {}
    virtual i32 GetVolume() { return 0; }
    virtual void Play() = 0;
    virtual void Stop() = 0;
    virtual bool IsPlaying() { return false; }

    CSound() = default;
    CSound(const CSound&) = delete;
    CSound& operator=(const CSound&) = delete;
};

// Failure texts shared by the managers.
namespace sound_text {
inline constexpr const char* kNotActive = "Sound manager not active";
inline constexpr const char* kInvalidSource = "Invalid data source";
inline constexpr const char* kSample = "Couldn't load sample";
inline constexpr const char* kSequence = "Couldn't load sequence";
inline constexpr const char* kStream = "Couldn't load stream";
inline constexpr const char* kNoMidi = "Can't handle MIDI just yet.";
inline constexpr const char* kInit = "Couldn't initialise sound system";
}  // namespace sound_text

class CSoundManager {
public:
    virtual ~CSoundManager() = default;
    // Classifies the whole file by its first bytes and makes the matching sound. A new sound owned
    // by the caller, or null with the reason in GetErrorText. The source stays the caller's.
    virtual CSound* CreateSound(CDataBin* source);
    virtual void DestroySound(CSound* sound) { delete sound; }
    virtual void Play(CSound* sound) = 0;
    // volume >= 0 sets the sound's volume first.
    virtual void PlayAtVolume(CSound* sound, i32 volume) = 0;
    virtual void Stop(CSound* sound) = 0;
    virtual bool IsPlaying(CSound* sound) = 0;
    virtual void SetVolume(i32 volume) = 0;  // master, clamped to 0-100
    virtual i32 GetVolume() = 0;
    virtual bool IsActive() = 0;
    virtual const char* GetErrorText() = 0;
    // Called after each rendered frame.
    virtual void Prime() {}

    CSoundManager() = default;
    CSoundManager(const CSoundManager&) = delete;
    CSoundManager& operator=(const CSoundManager&) = delete;

    // Largest sound file accepted.
    static constexpr u32 kMaxFileBytes = 256u << 20;

protected:
    // A failure while building a sound; CreateSound turns it into the error text.
    struct SSoundFailure {
        const char* text;
    };
    // Makes the sound for classified bytes (which it may take). Throws SSoundFailure, or returns
    // null for data it silently does not play.
    virtual CSound* Build(ESoundKind kind, std::vector<std::uint8_t>& bytes) = 0;
    // Sets the error text (null: none). Managers keep only fixed texts.
    virtual void SetErrorText(const char* text) = 0;
};

}  // namespace ove
