// A file that replaces its target only once it is complete: the bytes go to a temporary file
// beside the target, which is synced and renamed over the target on Commit (or destruction).
// A writer that fails or dies half-way therefore never destroys the previous good file.
#pragma once
#include <cstdio>
#include <string>
#include <string_view>

#include "io/DataBin.h"

namespace ove {

class CSafeFile : public CDataBin {
public:
    // Creates the temporary file; IsOpen is false when that fails (no folder, no permission,
    // the target is a directory).
    explicit CSafeFile(std::string target);
    ~CSafeFile() override;  // commits

    void Seek(u32 position) override;
    u32 Tell() override;
    u32 GetSize() override;
    // A short write marks the file failed: it can take no more and will not replace the target.
    u32 Write(const void* data, u32 count) override;
    u32 Read(void*, u32) override { return 0; }
    bool IsOpen() override { return m_stream != nullptr; }
    bool CanWrite() override { return m_stream && !m_failed; }
    bool CanRead() override { return false; }
    u8 PeekByte() override { return 0; }

    // Flushes, syncs and closes the temporary file, then renames it over the target. Returns
    // whether the target now holds the written bytes. On failure the temporary file is removed
    // and the target is left as it was. Later calls do nothing and return the first result.
    bool Commit();
    // Removes the temporary file; the target is left as it was.
    void Abandon();

    const std::string& Target() const { return m_target; }
    const std::string& TemporaryPath() const { return m_temp; }

private:
    std::string m_target;
    std::string m_temp;
    std::FILE* m_stream = nullptr;
    bool m_failed = false;
    bool m_done = false;
    bool m_committed = false;
};

// Whether a file name is one of CSafeFile's temporary names (".<target>.tmp-XXXXXX").
bool IsTemporaryName(std::string_view name);
// Removes the temporary files that writers killed half-way left in the folder (and in its
// subfolders, `depth` levels down): only files with a temporary name that no live writer holds.
// Returns how many it removed.
std::size_t RemoveStaleTemporaries(const std::string& folder, int depth);

}  // namespace ove
