#include "ResourceCache.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "io/FileAccess.h"
#include "io/FileFolder.h"
#include "View.h"
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
    explicit CReadWatch(CDataBin& inner) : inner_(inner) {}
    void Seek(u32 position) override { inner_.Seek(position); }
    u32 Tell() override { return inner_.Tell(); }
    u32 GetSize() override { return inner_.GetSize(); }
    u32 Write(const void*, u32) override { return 0; }
    u32 Read(void* data, u32 count) override {
        u32 n = inner_.Read(data, count);
        if (n < count) shortRead = true;
        return n;
    }
    bool IsOpen() override { return inner_.IsOpen(); }
    bool CanWrite() override { return false; }
    bool CanRead() override { return inner_.CanRead(); }
    u8 PeekByte() override { return inner_.PeekByte(); }
    bool shortRead = false;

private:
    CDataBin& inner_;
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
    if (!warned_.insert(fileName).second) return;
    Warning(fileName + ": " + reason);
}

CResourceCache::CResourceCache(CRenderer* renderer, CSoundManager* soundManager, CFileFolder* folder)
    : renderer_(renderer), soundManager_(soundManager), folder_(folder) {}

CResourceCache::~CResourceCache() {
    for (auto& [name, view] : views_) view->Release();
    views_.clear();
    for (auto& [name, font] : fonts_) font->Release();
    fonts_.clear();
    for (auto& [name, sound] : sounds_)
        if (sound && soundManager_) soundManager_->DestroySound(sound);
    sounds_.clear();
}

CSound* CResourceCache::LoadSound(const std::string& name) {
    auto it = sounds_.find(name);
    if (it != sounds_.end()) return it->second;
    if (!soundManager_) return nullptr;
    CSound* sound = nullptr;
    {
        const char* tag = "OVA";
        std::unique_ptr<CDataBin> file(OpenResource(name, tag));
        if (!file) {
            tag = "WAV";
            file.reset(OpenResource(name, tag));
        }
        sound = soundManager_->CreateSound(file.get());
        if (file && !sound) WarnDamaged(name + "." + tag, "the sound manager could not read it");
    }
    sounds_.emplace(name, sound);
    return sound;
}

void CResourceCache::ForgetSound(CSound* sound) {
    if (!sound) return;
    for (auto it = sounds_.begin(); it != sounds_.end(); ++it) {
        if (it->second == sound) {
            sounds_.erase(it);
            if (soundManager_) soundManager_->DestroySound(sound);
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
    resource->Load(&watch, renderer_);
    // The loader keeps what it could read; the game goes on with that, but the file is named.
    if (!problem && watch.shortRead) problem = "the file ends early (truncated)";
    if (!problem && watch.Tell() < watch.GetSize()) problem = "a cel is too large or its pixels are missing";
    if (problem) WarnDamaged(name + "." + tag, problem);
    map.emplace(name, resource);
    return resource;
}

CView* CResourceCache::LoadView(const std::string& name) { return Load(views_, name, "OVV"); }

CFont* CResourceCache::LoadFont(const std::string& name) { return Load(fonts_, name, "OVF"); }

void CResourceCache::ForgetView(const std::string& name) {
    auto it = views_.find(name);
    if (it == views_.end()) return;
    CView* view = it->second;
    views_.erase(it);
    view->Release();
}

void CResourceCache::ForgetFont(CFont* font) {
    for (auto it = fonts_.begin(); it != fonts_.end(); ++it) {
        if (it->second == font) {
            fonts_.erase(it);
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
    sweep(fonts_);
    sweep(views_);
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
    if (diskFirst_) {
        std::string onDisk = FindRegularFile(fileName);
        if (!onDisk.empty() && FileAccess().Check(nullptr, onDisk, CFileAccess::Mode::kRead)) {
            auto* file = new CFile(onDisk.c_str(), "rb");
            if (file->IsOpen()) return file;
            delete file;
        }
    }
    if (!folder_) return nullptr;
    CDataBin* file = folder_->Open(fileName);
    // Listed but not readable: a damaged archive entry (or one sealed with another password).
    if (!file && folder_->HasFile(fileName))
        WarnDamaged(fileName, "the data source lists it but it cannot be read (damaged or sealed with another password)");
    return file;
}

std::string CResourceCache::ResourceFileName(const std::string& name, const char* tag) {
    std::string fileName;
    if (!FileName(name, tag, fileName)) return name;
    std::string stored;
    if (diskFirst_) {
        std::string onDisk = FindRegularFile(fileName);
        if (!onDisk.empty()) stored = onDisk.substr(onDisk.find_last_of('/') + 1);
    }
    if (stored.empty() && folder_) stored = folder_->FoundName(fileName);
    return stored.empty() ? fileName : stored;
}

bool CResourceCache::ResourceExists(const std::string& name, const char* tag) {
    std::string fileName;
    if (!FileName(name, tag, fileName)) return false;
    if (diskFirst_) {
        std::string onDisk = FindRegularFile(fileName);
        if (!onDisk.empty() && FileAccess().Allows(onDisk, CFileAccess::Mode::kRead)) return true;
    }
    return folder_ && folder_->Found(fileName);
}

}  // namespace ove
