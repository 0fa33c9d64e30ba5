// Data sources: something that answers whether a path exists and opens it as a stream.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "DataBin.h"

namespace ove {

class CFileFolder {
public:
    CFileFolder() = default;
    virtual ~CFileFolder() = default;
    CFileFolder(const CFileFolder&) = delete;
    CFileFolder& operator=(const CFileFolder&) = delete;

    virtual bool SetLocalFirst(bool flag) {
        m_localFirst = flag;
        return flag;
    }
    virtual bool Exists(std::string path) = 0;
    // A new stream owned by the caller, or null. The base opens the path on the local disk.
    virtual CDataBin* OpenFile(std::string path);
    virtual std::string GetName() { return {}; }

    // Whether OpenFile would find a file there (Exists also answers true for a directory).
    virtual bool HasFile(std::string path) { return Exists(std::move(path)); }
    // The file's name as this source stores it (its case may differ from `path`), without folders;
    // empty when OpenFile would not find it. Used to name scripts in error messages.
    virtual std::string StoredName(std::string path);

    // The one entry point loaders use: local disk first when the flag is set.
    CDataBin* Open(std::string path, std::string* resolvedName = nullptr);
    // Whether Open would give a stream: the same places, the same case rules.
    bool Found(std::string path);
    // StoredName of the file Open would give (a loose file's on-disk name when that one wins).
    std::string FoundName(std::string path);
    bool LocalFirst() const { return m_localFirst; }

protected:
    bool m_localFirst = true;
};

// A directory on disk.
class CDirectory : public CFileFolder {
public:
    explicit CDirectory(std::string path);
    bool Exists(std::string path) override;
    bool HasFile(std::string path) override;
    CDataBin* OpenFile(std::string path) override;
    std::string StoredName(std::string path) override;
    std::string GetName() override { return m_name; }
    const std::string& BasePath() const { return m_base; }

private:
    std::string m_base;
    std::string m_name;
};

// An ordered list of sources, searched in the order they were added. Owns them.
class CCompoundFolder : public CFileFolder {
public:
    CCompoundFolder();
    ~CCompoundFolder() override;
    void Add(CFileFolder* folder);
    bool Exists(std::string path) override;
    bool HasFile(std::string path) override;
    CDataBin* OpenFile(std::string path) override;
    std::string StoredName(std::string path) override;
    std::string GetName() override { return m_name; }
    size_t Count() const { return m_members.size(); }

private:
    std::vector<CFileFolder*> m_members;
    std::string m_name;
};

bool FileExists(const char* path);
bool IsDirectory(std::string path);

// Finds a path on disk. Backslashes count as slashes; when the exact name is missing, each
// component is matched without regard to ASCII case (games were authored on Windows).
// Returns the path as it exists on disk, or an empty string when nothing matches.
std::string FindOnDisk(const std::string& path);

// The local-disk open: a non-empty file relative to the current directory, or null.
CDataBin* OpenLocalFile(const std::string& path);
// Whether OpenLocalFile would find the file.
bool LocalFileFound(const std::string& path);

}  // namespace ove
