// Which files a game may touch. Games come from strangers: a game reads and writes inside its own
// folder and the player folders the engine gives it, and nowhere else. Every script API that names
// a file asks here, with the host path it is about to use.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ove {

class CFileAccess {
public:
    enum class Mode { kRead, kWrite };

    // Confinement starts when the game folder is set; until then (tools, tests of single APIs)
    // everything is allowed.
    void SetGameFolder(const std::string& folder);
    // A folder the game may read and write besides its own: the player folders (saves, exports),
    // a data folder given on the command line.
    void AddFolder(const std::string& folder);
    // --trust-game: reads anywhere. Writes stay confined.
    void SetTrustReads(bool trust) { m_trustReads = trust; }
    // Back to no confinement at all.
    void Reset();

    bool Confined() const { return !m_gameFolder.empty(); }
    const std::string& GameFolder() const { return m_gameFolder; }
    const std::vector<std::string>& PlayerFolders() const { return m_playerFolders; }

    // Whether the game may use the path (relative to the current directory) that way. The path is
    // resolved as the system would resolve it: "..", symbolic links (a dangling link in it is
    // refused, as writing through it would create its target) and repeated slashes.
    bool Allows(std::string_view path, Mode mode) const;
    // Allows, and when refused one line on standard error naming the call and the path (a null
    // call is asked of the call namer).
    bool Check(const char* call, std::string_view path, Mode mode) const;
    // Names the script function now running, for Check's warnings when the caller does not know
    // it (lookups deep in the data sources). Writes "" when there is none.
    using CallNamer = void (*)(char* buffer, std::size_t size);
    void SetCallNamer(CallNamer namer) { m_namer = namer; }

private:
    std::string m_gameFolder;
    std::vector<std::string> m_playerFolders;
    bool m_trustReads = false;
    CallNamer m_namer = nullptr;
};

// The process's policy (one game runs per process).
CFileAccess& FileAccess();

// The path made absolute and resolved: symbolic links followed in the part that exists, "." and
// ".." folded in the rest. Empty when it cannot be resolved safely (a dangling symbolic link, a
// loop of links).
std::string ResolveHostPath(std::string_view path);

// Whether `path` is `folder` or lies inside it (both resolved).
bool PathInside(const std::string& path, const std::string& folder);

}  // namespace ove
