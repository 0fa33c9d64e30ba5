// The game's resource cache: turns a resource name and a three-letter type tag into an open file,
// and (views, fonts, sounds) keeps loaded resources shared by name.
#pragma once
#include <cstdint>
#include <string>

#include "DataBin.h"

namespace ove {

class CRenderer;
class CSoundManager;
class CFileFolder;

class CResourceCache {
public:
    // None of the three is owned; any may be null (then nothing is found through it).
    CResourceCache(CRenderer* renderer, CSoundManager* soundManager, CFileFolder* folder);
    ~CResourceCache();
    CResourceCache(const CResourceCache&) = delete;
    CResourceCache& operator=(const CResourceCache&) = delete;

    // Longest file name "<name>.<tag>" that resources may have.
    static constexpr std::size_t kMaxFileName = 259;

    // Opens "<name>.<tag>": from the current directory first when disk-first is on, else (or when
    // that fails) through the folder. A new stream owned by the caller, or null. A name too long
    // for the file-name limit finds nothing (it is not cut short into some other name).
    CDataBin* OpenResource(const std::string& name, const char* tag);
    // Whether "<name>.<tag>" exists: on the disk when disk-first is on, else in the folder.
    bool ResourceExists(const std::string& name, const char* tag);

    void SetDiskFirst(bool on) { diskFirst_ = on ? 1 : 0; }
    bool DiskFirst() const { return diskFirst_ != 0; }

    CRenderer* Renderer() const { return renderer_; }
    CSoundManager* SoundManager() const { return soundManager_; }
    CFileFolder* Folder() const { return folder_; }

    // ---- Shared views, fonts and sounds (added with the view, font and sound code):
    // CView* LoadView(const std::string& name);
    // CFont* LoadFont(const std::string& name);
    // <sound handle> LoadSound(const std::string& name);   // OVA, then WAV
    // void ForgetView(const std::string& name);
    // void ForgetFont(CFont* font);
    // void ForgetSound(<sound handle>);
    // void ReleaseUnused();

    // "<name>.<tag>", or false when it would exceed kMaxFileName characters.
    static bool FileName(const std::string& name, const char* tag, std::string& fileName);

private:
    // ---- maps of the shared resources go here, in this order (teardown empties views, then
    // fonts, then sounds):
    // std::map<std::string, <sound handle>> sounds_;
    // std::map<std::string, CFont*> fonts_;
    // std::map<std::string, CView*> views_;
    CRenderer* renderer_;
    CSoundManager* soundManager_;
    CFileFolder* folder_;
    uint8_t diskFirst_ = 0;
};

}  // namespace ove
