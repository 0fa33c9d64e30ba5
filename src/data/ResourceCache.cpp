#include "ResourceCache.h"

#include <sys/stat.h>

#include "FileFolder.h"

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
    // Teardown empties views, fonts and sounds, in this order, once they exist.
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
