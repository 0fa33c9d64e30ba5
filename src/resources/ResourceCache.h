// The game's resource cache: turns a resource name and a three-letter type tag into an open file,
// and (views, fonts, sounds) keeps loaded resources shared by name.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "data/Warning.h"
#include "io/DataBin.h"

namespace ove {

class CRenderer;
class CSoundManager;
class CFileFolder;
class CView;
class CFont;
class CSound;

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
    // Whether OpenResource would find "<name>.<tag>": the same places in the same order (loose
    // files in the current directory included), the same case rules.
    bool ResourceExists(const std::string& name, const char* tag);
    // The file name OpenResource would read, as its source stores it ("rooms.ovs" for the name
    // rooms), or "<name>.<tag>" when nothing is found. For messages.
    std::string ResourceFileName(const std::string& name, const char* tag);

    // Writes "ove: warning: <fileName>: <reason>" to standard error, the first time only for
    // that file, so that a damaged resource used every frame is reported once.
    void WarnDamaged(const std::string& fileName, const std::string& reason);

    void SetDiskFirst(bool on) { m_diskFirst = on ? 1 : 0; }
    bool DiskFirst() const { return m_diskFirst != 0; }

    CRenderer* Renderer() const { return m_renderer; }
    CSoundManager* SoundManager() const { return m_soundManager; }
    CFileFolder* Folder() const { return m_folder; }

    // ---- Shared views and fonts. The cache holds one reference to each; callers that keep one
    // take their own (AddRef) and let go with Release.
    // The view of that name (loaded from "<name>.OVV" on first use), or null when there is none.
    CView* LoadView(const std::string& name);
    // The font of that name ("<name>.OVF"), or null.
    CFont* LoadFont(const std::string& name);
    // Drops the cache's entry and reference; holders keep the view alive until they let go.
    void ForgetView(const std::string& name);
    // Drops the entry holding this font and the cache's reference to it.
    void ForgetFont(CFont* font);
    // Frees every view and font that only the cache still holds.
    void ReleaseUnused();
    std::size_t ViewCount() const { return m_views.size(); }
    std::size_t FontCount() const { return m_fonts.size(); }

    // ---- Shared sounds. The cache owns them; the sound manager creates and destroys them.
    // The sound of that name: "<name>.OVA", else "<name>.WAV", created once. A name whose sound
    // could not be created is remembered with no sound and not tried again. Null without a
    // sound manager.
    CSound* LoadSound(const std::string& name);
    // Drops the entry holding this sound and has the sound manager destroy it (null: nothing).
    void ForgetSound(CSound* sound);
    std::size_t SoundCount() const { return m_sounds.size(); }

    // "<name>.<tag>", or false when it would exceed kMaxFileName characters.
    static bool FileName(const std::string& name, const char* tag, std::string& fileName);

private:
    template <class T>
    T* Load(std::map<std::string, T*>& map, const std::string& name, const char* tag);

    // Teardown empties the views, then the fonts, then the sounds.
    std::map<std::string, CSound*> m_sounds;
    std::map<std::string, CFont*> m_fonts;
    std::map<std::string, CView*> m_views;
    CRenderer* m_renderer;
    CSoundManager* m_soundManager;
    CFileFolder* m_folder;
    uint8_t m_diskFirst = 0;
    std::set<std::string> m_warned;
};

}  // namespace ove
