// The platform-free parts of start-up: reading settings.xml, sizing the window, surveying the
// current directory for games and keeping the window on its monitor.
#pragma once
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace ove {

class CDataBin;
class CFileFolder;
class CCompoundFolder;
class CXMLNode;

// Marks a window dimension that follows the game size or the desktop.
constexpr int kAutoSize = -1;

struct SStartupSettings {
    int windowWidth = 320;  // kAutoSize: "auto"
    int windowHeight = 240;
    int gameWidth = 320;
    int gameHeight = 240;
    bool flexible = false;  // the logical resolution follows the window's client size
    std::string title = "OVE";
    std::string scriptName = "main";
    std::string fontName;
    bool fullScreen = false;
    std::string soundFont;      // <sound soundfont="...">: a sound font file for MIDI on this game
    bool settingsRead = false;  // a settings file was parsed and its root was `settings`
};

// Largest game or window side the engine will try to create.
constexpr int kMaxScreenSide = 16384;

// Opens "settings.xml" through the folder and applies it. Returns settingsRead; a missing,
// unparsable file or one whose root is not `settings` leaves every setting unchanged (a file
// that is there but cannot be used is reported on standard error).
bool ReadSettings(CFileFolder& folder, SStartupSettings& settings);
// Applies the children of a parsed `settings` root, later children overriding earlier ones.
// Values that are not what they should be are still applied as before, with a warning on
// standard error naming the element, the attribute and the value.
void ApplySettings(const CXMLNode& root, SStartupSettings& settings);
// Why the game or window size (after ResolveWindowSize) cannot be created, or an empty string.
std::string SizeProblem(const SStartupSettings& settings);

// Replaces "auto" window dimensions (only when a settings file was read). The work area is
// used only when both are "auto".
void ResolveWindowSize(SStartupSettings& settings, int workAreaWidth, int workAreaHeight);

// The game title a settings file names, or defaultTitle. The file stays the caller's; null
// gives the default.
std::string GameTitleOf(CDataBin* settingsFile, const std::string& defaultTitle);

// Source name (file or directory name) -> game title, ordered by name.
using SourceMap = std::map<std::string, std::string>;

// Adds name -> title when the candidate holds "main.ovs"; the title comes from the
// candidate's own settings.xml when it has one, else it is the name.
void OfferSource(CFileFolder& candidate, const std::string& name, SourceMap& map);

// Makes the folder of a packed archive (owned by the caller), or null when it cannot.
using ArchiveOpener = std::function<CFileFolder*(const std::string& fileName)>;

// Offers every "*.DAT" file in the current directory (through openArchive) to archives and
// every "DATA*" directory to directories. Names match without regard to case.
void SurveyCurrentDirectory(const ArchiveOpener& openArchive, SourceMap& archives, SourceMap& directories);

// Titles in map order (for the choice dialog) and the name behind the index-th title.
std::vector<std::string> TitlesOf(const SourceMap& map);
std::string NameAt(const SourceMap& map, int index);

// The game's data source: the data directory, then "Library", then the packed archive, each
// only when present on disk. The result is the caller's.
CCompoundFolder* BuildDataSource(const std::string& archiveName, const std::string& directoryName,
                                 const ArchiveOpener& openArchive);

struct SScreenRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

struct SScreenOffset {
    int dx = 0, dy = 0;
};

// How far to move a window so that it stays inside the work area of its monitor: pulled back
// from the right and bottom edges first, then from the left and top ones.
SScreenOffset KeepOnMonitorOffset(const SScreenRect& window, const SScreenRect& workArea);

}  // namespace ove
