#include "ResourceCache.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "View.h"
#include "io/FileAccess.h"
#include "io/FileFolder.h"
#include "sound/SoundManager.h"

namespace ove {

namespace {

// The disk-first lookup: a regular file relative to the current directory, matched without
// regard to case when the exact name is missing.
std::string FindRegularFile(const std::string& fileName) {
    std::string onDisk = FindOnDisk(fileName);
    struct stat st {};
    if (onDisk.empty() || ::stat(onDisk.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    return onDisk;
}

// Passes everything through to the file a loader reads and notes whether a read came up short,
// which is how a truncated file shows when the loader itself keeps quiet about it.
class CReadWatch : public CDataBin {
public:
    explicit CReadWatch(CDataBin& inner) : m_inner(inner) {}
    void Seek(u32 position) override { m_inner.Seek(position); }
    u32 Tell() override { return m_inner.Tell(); }
    u32 GetSize() override { return m_inner.GetSize(); }
    u32 Write(const void*, u32) override { return 0; }
    u32 Read(void* data, u32 count) override {
        u32 n = m_inner.Read(data, count);
        if (n < count) shortRead = true;
        return n;
    }
    bool IsOpen() override { return m_inner.IsOpen(); }
    bool CanWrite() override { return false; }
    bool CanRead() override { return m_inner.CanRead(); }
    u8 PeekByte() override { return m_inner.PeekByte(); }
    bool shortRead = false;

private:
    CDataBin& m_inner;
};

// Why a view or font file cannot be what it claims, or null when it looks sound. Leaves the
// stream where it was.
const char* ViewHeaderProblem(CDataBin& file) {
    u32 size = file.GetSize();
    if (size == 0) return "the file is empty";
    u32 at = file.Tell();
    u8 head[4] = {};
    u32 n = file.Read(head, 4);
    file.Seek(at);
    if (n < 4 || (std::memcmp(head, "VIEW", 4) != 0 && std::memcmp(head, "FONT", 4) != 0))
        return "not a view or font file (no VIEW or FONT header)";
    return nullptr;
}

}  // namespace

void CResourceCache::WarnDamaged(const std::string& fileName, const std::string& reason) {
    if (!m_warned.insert(fileName).second) return;
    Warning(fileName + ": " + reason);
}

CResourceCache::CResourceCache(CRenderer* renderer, CSoundManager* soundManager, CFileFolder* folder)
    : m_renderer(renderer), m_soundManager(soundManager), m_folder(folder) {}

CResourceCache::~CResourceCache() {
    for (auto& [name, view] : m_views) view->Release();
    m_views.clear();
    for (auto& [name, font] : m_fonts) font->Release();
    m_fonts.clear();
    for (auto& [name, sound] : m_sounds)
        if (sound && m_soundManager) m_soundManager->DestroySound(sound);
    m_sounds.clear();
}

CSound* CResourceCache::LoadSound(const std::string& name) {
    auto it = m_sounds.find(name);
    if (it != m_sounds.end()) return it->second;
    if (!m_soundManager) return nullptr;
    CSound* sound = nullptr;
    {
        const char* tag = "OVA";
        std::unique_ptr<CDataBin> file(OpenResource(name, tag));
        if (!file) {
            tag = "WAV";
            file.reset(OpenResource(name, tag));
        }
        sound = m_soundManager->CreateSound(file.get());
        if (file && !sound) WarnDamaged(name + "." + tag, "the sound manager could not read it");
    }
    m_sounds.emplace(name, sound);
    return sound;
}

void CResourceCache::ForgetSound(CSound* sound) {
    if (!sound) return;
    for (auto it = m_sounds.begin(); it != m_sounds.end(); ++it) {
        if (it->second == sound) {
            m_sounds.erase(it);
            if (m_soundManager) m_soundManager->DestroySound(sound);
            return;
        }
    }
}

template <class T>
T* CResourceCache::Load(std::map<std::string, T*>& map, const std::string& name, const char* tag) {
    auto it = map.find(name);
    if (it != map.end()) return it->second;
    std::unique_ptr<CDataBin> file(OpenResource(name, tag));
    if (!file) return nullptr;
    const char* problem = ViewHeaderProblem(*file);
    T* resource = new T(name.c_str());
    resource->AddRef();
    CReadWatch watch(*file);
    resource->Load(&watch, m_renderer);
    // The loader keeps what it could read; the game goes on with that, but the file is named.
    if (!problem && watch.shortRead) problem = "the file ends early (truncated)";
    if (!problem && watch.Tell() < watch.GetSize()) problem = "a cel is too large or its pixels are missing";
    if (problem) WarnDamaged(name + "." + tag, problem);
    map.emplace(name, resource);
    return resource;
}

CView* CResourceCache::LoadView(const std::string& name) { return Load(m_views, name, "OVV"); }

CFont* CResourceCache::LoadFont(const std::string& name) { return Load(m_fonts, name, "OVF"); }

void CResourceCache::ForgetView(const std::string& name) {
    auto it = m_views.find(name);
    if (it == m_views.end()) return;
    CView* view = it->second;
    m_views.erase(it);
    view->Release();
}

void CResourceCache::ForgetFont(CFont* font) {
    for (auto it = m_fonts.begin(); it != m_fonts.end(); ++it) {
        if (it->second == font) {
            m_fonts.erase(it);
            font->Release();
            return;
        }
    }
}

void CResourceCache::ReleaseUnused() {
    auto sweep = [](auto& map) {
        for (auto it = map.begin(); it != map.end();) {
            if (it->second->RefCount() == 1) {
                it->second->Release();
                it = map.erase(it);
            } else {
                ++it;
            }
        }
    };
    sweep(m_fonts);
    sweep(m_views);
}

bool CResourceCache::FileName(const std::string& name, const char* tag, std::string& fileName) {
    fileName = name;
    fileName += '.';
    fileName += tag ? tag : "";
    return fileName.size() <= kMaxFileName;
}

CDataBin* CResourceCache::OpenResource(const std::string& name, const char* tag) {
    std::string fileName;
    if (!FileName(name, tag, fileName)) return nullptr;
    if (m_diskFirst) {
        std::string onDisk = FindRegularFile(fileName);
        if (!onDisk.empty() && FileAccess().Check(nullptr, onDisk, CFileAccess::Mode::kRead)) {
            auto* file = new CFile(onDisk.c_str(), "rb");
            if (file->IsOpen()) return file;
            delete file;
        }
    }
    if (!m_folder) return nullptr;
    CDataBin* file = m_folder->Open(fileName);
    // Listed but not readable: a damaged archive entry (or one sealed with another password).
    if (!file && m_folder->HasFile(fileName))
        WarnDamaged(fileName,
                    "the data source lists it but it cannot be read (damaged or sealed with another password)");
    return file;
}

std::string CResourceCache::ResourceFileName(const std::string& name, const char* tag) {
    std::string fileName;
    if (!FileName(name, tag, fileName)) return name;
    std::string stored;
    if (m_diskFirst) {
        std::string onDisk = FindRegularFile(fileName);
        if (!onDisk.empty()) stored = onDisk.substr(onDisk.find_last_of('/') + 1);
    }
    if (stored.empty() && m_folder) stored = m_folder->FoundName(fileName);
    return stored.empty() ? fileName : stored;
}

bool CResourceCache::ResourceExists(const std::string& name, const char* tag) {
    std::string fileName;
    if (!FileName(name, tag, fileName)) return false;
    if (m_diskFirst) {
        std::string onDisk = FindRegularFile(fileName);
        if (!onDisk.empty() && FileAccess().Allows(onDisk, CFileAccess::Mode::kRead)) return true;
    }
    return m_folder && m_folder->Found(fileName);
}

}  // namespace ove
