#include "host/Settings.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "io/DataBin.h"
#include "io/FileFolder.h"
#include "resources/ResourceCache.h"
#include "xml/XMLParser.h"

namespace ove {

namespace {

// atoi without its undefined behaviour on overflow: leading white space, a sign, the leading
// digits, 0 when there are none; values past the int range are clamped.
int ToInt(const std::string& s) {
    long long v = std::strtoll(s.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

constexpr const char* kSettingsFile = "settings.xml";

void SettingWarning(const CXMLNode& e, const char* attribute, const std::string& value, const std::string& why) {
    Warning(std::string(kSettingsFile) + ": <" + e.name + " " + attribute + "=\"" + value + "\">: " + why);
}

// ToInt, telling what it did with a value that is not a plain whole number. Sizes also warn
// when they are negative ("-1" would otherwise quietly mean "auto" for the window).
int SizeValue(const CXMLNode& e, const char* attribute, const std::string& v) {
    const char* text = v.c_str();
    char* end = nullptr;
    errno = 0;
    long long parsed = std::strtoll(text, &end, 10);
    const int value = ToInt(v);
    const std::string as = "; read as " + std::to_string(value);
    if (end == text) {
        SettingWarning(e, attribute, v, "not a number" + as);
        return value;
    }
    const char* rest = end;
    while (*rest == ' ' || *rest == '\t' || *rest == '\r' || *rest == '\n') ++rest;
    if (*rest) SettingWarning(e, attribute, v, "text after the number is ignored" + as);
    else if (errno == ERANGE || parsed != value) SettingWarning(e, attribute, v, "out of range" + as);
    else if (value < 0) SettingWarning(e, attribute, v, "a size cannot be negative" + as);
    return value;
}

int ClampToInt(std::int64_t v) { return static_cast<int>(std::clamp<std::int64_t>(v, INT_MIN, INT_MAX)); }

bool EndsWithNoCase(const std::string& s, const char* suffix) {
    size_t n = std::char_traits<char>::length(suffix);
    return s.size() >= n && ::strcasecmp(s.c_str() + s.size() - n, suffix) == 0;
}

bool StartsWithNoCase(const std::string& s, const char* prefix) {
    size_t n = std::char_traits<char>::length(prefix);
    return s.size() >= n && ::strncasecmp(s.c_str(), prefix, n) == 0;
}

}  // namespace

void ApplySettings(const CXMLNode& root, SStartupSettings& s) {
    for (const auto& child : root.children) {
        const CXMLNode& e = *child;
        if (e.type != XML_ELEMENT) continue;
        if (e.name == "game") {
            if (auto* v = e.Attribute("width")) s.gameWidth = SizeValue(e, "width", *v);
            if (auto* v = e.Attribute("height")) s.gameHeight = SizeValue(e, "height", *v);
            if (auto* v = e.Attribute("resolution")) {
                s.flexible = *v == "flexible";
                if (!s.flexible && *v != "fixed")
                    SettingWarning(e, "resolution", *v, "not \"flexible\"; the resolution is fixed");
            }
        } else if (e.name == "window") {
            if (auto* v = e.Attribute("width")) s.windowWidth = *v == "auto" ? kAutoSize : SizeValue(e, "width", *v);
            if (auto* v = e.Attribute("height")) s.windowHeight = *v == "auto" ? kAutoSize : SizeValue(e, "height", *v);
            if (auto* v = e.Attribute("title")) s.title = *v;
        } else if (e.name == "default") {
            if (auto* v = e.Attribute("font")) s.fontName = *v;
            if (auto* v = e.Attribute("script")) s.scriptName = *v;
            if (auto* v = e.Attribute("fullscreen")) {
                s.fullScreen = *v == "true";
                if (!s.fullScreen && *v != "false")
                    SettingWarning(e, "fullscreen", *v, "not \"true\"; the game starts in a window");
            }
        } else if (e.name == "sound") {
            if (auto* v = e.Attribute("soundfont")) s.soundFont = *v;
        }
    }
}

bool ReadSettings(CFileFolder& folder, SStartupSettings& s) {
    std::unique_ptr<CDataBin> file(folder.Open("settings.xml"));
    if (!file) return false;
    CXMLParser doc;
    if (!doc.Parse(file.get(), 0)) {
        Warning(std::string(kSettingsFile) + ": cannot be read (" + doc.LastError() +
                "); every setting keeps its default");
        return false;
    }
    if (doc.name != "settings") {
        Warning(std::string(kSettingsFile) + ": the root element is <" + doc.name +
                ">, not <settings>; every setting keeps its default");
        return false;
    }
    ApplySettings(doc, s);
    s.settingsRead = true;
    return true;
}

void ResolveWindowSize(SStartupSettings& s, int aw, int ah) {
    if (!s.settingsRead) return;
    // A zero game dimension (a missing or non-numeric value) must not divide by zero; the
    // window then keeps the game's size.
    const std::int64_t gw = s.gameWidth, gh = s.gameHeight;
    if (s.windowWidth == kAutoSize && s.windowHeight == kAutoSize) {
        std::int64_t k = (gw != 0 && gh != 0) ? std::min<std::int64_t>(aw / gw, ah / gh) : 1;
        if (k < 2) k = 1;
        s.windowWidth = ClampToInt(std::min<std::int64_t>(k * gw, aw));
        s.windowHeight = ClampToInt(std::min<std::int64_t>(k * gh, ah));
    } else if (s.windowWidth == kAutoSize) {
        s.windowWidth = gh != 0 ? ClampToInt(gw * s.windowHeight / gh) : s.gameWidth;
    } else if (s.windowHeight == kAutoSize) {
        s.windowHeight = gw != 0 ? ClampToInt(gh * s.windowWidth / gw) : s.gameHeight;
    }
}

std::string SizeProblem(const SStartupSettings& s) {
    auto usable = [](int w, int h) { return w >= 1 && h >= 1 && w <= kMaxScreenSide && h <= kMaxScreenSide; };
    auto describe = [](const char* what, int w, int h) {
        return std::string(kSettingsFile) + ": the " + what + " size " + std::to_string(w) + " x " + std::to_string(h) +
               " cannot be used; each side must be 1 to " + std::to_string(kMaxScreenSide) + " pixels";
    };
    if (!usable(s.gameWidth, s.gameHeight)) return describe("game", s.gameWidth, s.gameHeight);
    if (!usable(s.windowWidth, s.windowHeight)) return describe("window", s.windowWidth, s.windowHeight);
    return {};
}

std::string GameTitleOf(CDataBin* settingsFile, const std::string& defaultTitle) {
    CXMLParser doc;
    if (!doc.Parse(settingsFile, 0) || doc.name != "settings") return defaultTitle;
    for (const auto& child : doc.children) {
        const CXMLNode& e = *child;
        if (e.type != XML_ELEMENT) continue;
        if (e.name == "game") {
            if (auto* v = e.Attribute("name")) return *v;
            if (auto* v = e.Attribute("title")) return *v;
        } else if (e.name == "window") {
            if (auto* v = e.Attribute("title")) return *v;
        }
    }
    return defaultTitle;
}

void OfferSource(CFileFolder& candidate, const std::string& name, SourceMap& map) {
    if (!candidate.Exists("main.ovs")) return;
    std::string title = name;
    if (candidate.Exists("settings.xml")) {
        // The candidate's own file: a loose settings.xml beside the engine would otherwise
        // give every candidate the same title.
        std::unique_ptr<CDataBin> file(candidate.OpenFile("settings.xml"));
        title = GameTitleOf(file.get(), name);
    }
    map[name] = title;
}

void SurveyCurrentDirectory(const ArchiveOpener& openArchive, SourceMap& archives, SourceMap& directories) {
    std::vector<std::string> archiveNames, directoryNames;
    if (DIR* dir = ::opendir(".")) {
        while (dirent* entry = ::readdir(dir)) {
            std::string entryName = entry->d_name;
            bool isDat = EndsWithNoCase(entryName, ".DAT");
            bool isData = StartsWithNoCase(entryName, "DATA");
            if (!isDat && !isData) continue;
            struct stat st {};
            if (::stat(entryName.c_str(), &st) != 0) continue;
            bool isDirectory = S_ISDIR(st.st_mode);
            if (isDat && !isDirectory) archiveNames.push_back(entryName);
            if (isData && isDirectory) directoryNames.push_back(entryName);
        }
        ::closedir(dir);
    }
    // Probe in name order so that the survey does not depend on the directory's own order.
    std::sort(archiveNames.begin(), archiveNames.end());
    std::sort(directoryNames.begin(), directoryNames.end());
    for (const std::string& n : archiveNames) {
        if (!openArchive) break;
        std::unique_ptr<CFileFolder> archive(openArchive(n));
        if (archive) OfferSource(*archive, n, archives);
    }
    for (const std::string& n : directoryNames) {
        CDirectory directory(n);
        OfferSource(directory, n, directories);
    }
}

std::vector<std::string> TitlesOf(const SourceMap& map) {
    std::vector<std::string> titles;
    titles.reserve(map.size());
    for (const auto& [name, title] : map) titles.push_back(title);
    return titles;
}

std::string NameAt(const SourceMap& map, int index) {
    if (index < 0 || static_cast<size_t>(index) >= map.size()) return {};
    auto it = map.begin();
    std::advance(it, index);
    return it->first;
}

CCompoundFolder* BuildDataSource(const std::string& archiveName, const std::string& directoryName,
                                 const ArchiveOpener& openArchive) {
    auto folder = std::make_unique<CCompoundFolder>();
    if (IsDirectory(directoryName)) folder->Add(new CDirectory(directoryName));
    if (IsDirectory("Library")) folder->Add(new CDirectory("Library"));
    // The archive is opened under its name on disk, which may differ in case from the one asked for.
    std::string archiveOnDisk = FindOnDisk(archiveName);
    if (openArchive && !archiveOnDisk.empty() && !IsDirectory(archiveOnDisk)) folder->Add(openArchive(archiveOnDisk));
    return folder.release();
}

SScreenOffset KeepOnMonitorOffset(const SScreenRect& window, const SScreenRect& workArea) {
    SScreenOffset o;
    o.dx = window.right >= workArea.right ? workArea.right - window.right : 0;
    if (window.left + o.dx < workArea.left) o.dx = workArea.left - window.left;
    o.dy = window.bottom >= workArea.bottom ? workArea.bottom - window.bottom : 0;
    if (window.top + o.dy < workArea.top) o.dy = workArea.top - window.top;
    return o;
}

}  // namespace ove
