#include "ResourceCache.h"

#include <sys/stat.h>

#include <memory>

#include "FileFolder.h"
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

}  // namespace

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
        std::unique_ptr<CDataBin> file(OpenResource(name, "OVA"));
        if (!file) file.reset(OpenResource(name, "WAV"));
        sound = soundManager_->CreateSound(file.get());
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
    T* resource = new T(name.c_str());
    resource->AddRef();
    resource->Load(file.get(), renderer_);
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
        if (!onDisk.empty()) {
            auto* file = new CFile(onDisk.c_str(), "rb");
            if (file->IsOpen()) return file;
            delete file;
        }
    }
    return folder_ ? folder_->Open(fileName) : nullptr;
}

bool CResourceCache::ResourceExists(const std::string& name, const char* tag) {
    std::string fileName;
    if (!FileName(name, tag, fileName)) return false;
    if (diskFirst_) return !FindRegularFile(fileName).empty();
    return folder_ && folder_->Exists(fileName);
}

}  // namespace ove
