#include "FileFolder.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <strings.h>
#include <climits>
#include <cstdio>

#include "FileAccess.h"

namespace ove {

namespace {

std::string CurrentDirectory() {
    char buf[PATH_MAX];
    return getcwd(buf, sizeof buf) ? std::string(buf) : std::string(".");
}

bool StatOk(const std::string& p) {
    struct stat st {};
    return !p.empty() && ::stat(p.c_str(), &st) == 0;
}

// Streams are opened on regular files only: a directory opens with fopen but has no size.
bool IsRegularFile(const std::string& p) {
    struct stat st {};
    return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::string FindOnDisk(const std::string& raw) {
    if (raw.empty()) return {};
    std::string path = raw;
    for (char& c : path)
        if (c == '\\') c = '/';
    if (StatOk(path)) return path;

    // Walk component by component, matching each one without regard to case.
    std::string resolved = path[0] == '/' ? "/" : "";
    size_t pos = path[0] == '/' ? 1 : 0;
    while (pos <= path.size()) {
        size_t slash = path.find('/', pos);
        std::string part = path.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
        pos = slash == std::string::npos ? path.size() + 1 : slash + 1;
        if (part.empty()) continue;
        std::string exact = resolved + part;
        if (part == "." || part == ".." || StatOk(exact)) {
            resolved = exact;
        } else {
            DIR* dir = ::opendir(resolved.empty() ? "." : resolved.c_str());
            if (!dir) return {};
            std::string found;
            while (dirent* e = ::readdir(dir)) {
                if (::strcasecmp(e->d_name, part.c_str()) == 0) {
                    found = e->d_name;
                    break;
                }
            }
            ::closedir(dir);
            if (found.empty()) return {};
            resolved += found;
        }
        if (pos <= path.size()) resolved += '/';
    }
    return StatOk(resolved) ? resolved : std::string{};
}

CDataBin* OpenLocalFile(const std::string& path) {
    std::string onDisk = FindOnDisk(path);
    if (!IsRegularFile(onDisk)) return nullptr;
    if (!FileAccess().Check(nullptr, onDisk, CFileAccess::Mode::kRead)) return nullptr;
    auto* file = new CFile(onDisk.c_str(), "rb");
    if (file->GetSize() == 0) {  // an empty local file counts as absent
        delete file;
        return nullptr;
    }
    return file;
}

bool LocalFileFound(const std::string& path) {
    std::string onDisk = FindOnDisk(path);
    struct stat st {};
    return !onDisk.empty() && ::stat(onDisk.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
           FileAccess().Allows(onDisk, CFileAccess::Mode::kRead);
}

CDataBin* CFileFolder::OpenFile(std::string path) { return OpenLocalFile(path); }

namespace {

std::string BaseName(const std::string& path) {
    std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string LocalStoredName(const std::string& path) {
    return LocalFileFound(path) ? BaseName(FindOnDisk(path)) : std::string();
}

}  // namespace

std::string CFileFolder::StoredName(std::string path) { return LocalStoredName(path); }

std::string CFileFolder::FoundName(std::string path) {
    if (m_localFirst) {
        std::string local = LocalStoredName(path);
        if (!local.empty()) return local;
    }
    std::string stored = StoredName(path);
    if (!stored.empty() || m_localFirst) return stored;
    return LocalStoredName(path);
}

bool CFileFolder::Found(std::string path) { return LocalFileFound(path) || HasFile(std::move(path)); }

CDataBin* CFileFolder::Open(std::string path, std::string* resolvedName) {
    if (m_localFirst) {
        if (CDataBin* bin = OpenLocalFile(path)) {
            if (resolvedName) *resolvedName = path;
            return bin;
        }
    }
    if (CDataBin* bin = OpenFile(path)) {
        if (resolvedName) *resolvedName = GetName() + path;
        return bin;
    }
    if (!m_localFirst) {
        if (CDataBin* bin = OpenLocalFile(path)) {
            if (resolvedName) *resolvedName = path;
            return bin;
        }
    }
    return nullptr;
}

// ---- CDirectory

CDirectory::CDirectory(std::string path) {
    std::string remembered = CurrentDirectory();
    std::string onDisk = FindOnDisk(path);
    if (!onDisk.empty() && ::chdir(onDisk.c_str()) == 0) {
        m_base = CurrentDirectory();
        if (::chdir(remembered.c_str()) != 0) { /* nothing better to do */
        }
    } else {
        m_base = remembered;
    }
    m_name = "[DIR:" + m_base + "]";
}

bool CDirectory::Exists(std::string path) {
    std::string onDisk = FindOnDisk(m_base + "/" + path);
    return !onDisk.empty() && FileAccess().Allows(onDisk, CFileAccess::Mode::kRead);
}

bool CDirectory::HasFile(std::string path) {
    std::string onDisk = FindOnDisk(m_base + "/" + path);
    return IsRegularFile(onDisk) && FileAccess().Allows(onDisk, CFileAccess::Mode::kRead);
}

CDataBin* CDirectory::OpenFile(std::string path) {
    std::string onDisk = FindOnDisk(m_base + "/" + path);
    if (!IsRegularFile(onDisk)) return nullptr;
    if (!FileAccess().Check(nullptr, onDisk, CFileAccess::Mode::kRead)) return nullptr;
    auto* file = new CFile(onDisk.c_str(), "rb");
    if (!file->IsOpen()) {
        delete file;
        return nullptr;
    }
    return file;
}

std::string CDirectory::StoredName(std::string path) {
    std::string onDisk = FindOnDisk(m_base + "/" + path);
    return IsRegularFile(onDisk) && FileAccess().Allows(onDisk, CFileAccess::Mode::kRead) ? BaseName(onDisk)
                                                                                          : std::string();
}

// ---- CCompoundFolder

CCompoundFolder::CCompoundFolder() {
    char buf[32];
    std::snprintf(buf, sizeof buf, "[CF:%08X]", static_cast<unsigned>(reinterpret_cast<uintptr_t>(this)));
    m_name = buf;
}

CCompoundFolder::~CCompoundFolder() {
    for (CFileFolder* f : m_members) delete f;
    m_members.clear();
}

void CCompoundFolder::Add(CFileFolder* folder) {
    if (folder) m_members.push_back(folder);
}

bool CCompoundFolder::Exists(std::string path) {
    for (CFileFolder* f : m_members)
        if (f->Exists(path)) return true;
    return false;
}

bool CCompoundFolder::HasFile(std::string path) {
    for (CFileFolder* f : m_members)
        if (f->HasFile(path)) return true;
    return false;
}

CDataBin* CCompoundFolder::OpenFile(std::string path) {
    for (CFileFolder* f : m_members)
        if (CDataBin* bin = f->OpenFile(path)) return bin;
    return nullptr;
}

std::string CCompoundFolder::StoredName(std::string path) {
    for (CFileFolder* f : m_members) {
        std::string name = f->StoredName(path);
        if (!name.empty()) return name;
    }
    return {};
}

bool FileExists(const char* path) { return path && !FindOnDisk(path).empty(); }

bool IsDirectory(std::string path) {
    std::string p = FindOnDisk(path);
    struct stat st {};
    return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace ove
