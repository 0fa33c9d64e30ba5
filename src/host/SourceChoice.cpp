#include "SourceChoice.h"

namespace ove {

SSourceChoice ChooseSource(const SourceMap& archives, const SourceMap& directories, const std::string& archiveOption,
                           const std::string& directoryOption, const SourceAsker& ask, std::string* notes) {
    SSourceChoice choice;
    if (!archiveOption.empty()) choice.archiveName = archiveOption;
    if (!directoryOption.empty()) choice.directoryName = directoryOption;
    const bool askArchive = archiveOption.empty() && archives.size() > 1;
    const bool askDirectory = directoryOption.empty() && directories.size() > 1;
    if (!askArchive && !askDirectory) return choice;

    int archiveIndex = 0, directoryIndex = 0;
    if (ask) {
        std::vector<std::string> archiveTitles = TitlesOf(archives), directoryTitles = TitlesOf(directories);
        if (!ask(askArchive ? &archiveTitles : nullptr, askDirectory ? &directoryTitles : nullptr, archiveIndex,
                 directoryIndex)) {
            choice.cancelled = true;
            return choice;
        }
    }
    auto take = [&](const SourceMap& map, int index, const char* kind, const char* option, std::string& name) {
        name = NameAt(map, index);
        if (name.empty()) name = map.begin()->first;  // an index the asker made up
        if (ask || !notes) return;
        *notes += "ove: " + std::to_string(map.size()) + " " + kind + " hold games; running " + name + " (\"" +
                  map.at(name) + "\"); choose another with " + option + "\n";
    };
    if (askArchive) take(archives, archiveIndex, "packed archives", "--archive FILE", choice.archiveName);
    if (askDirectory) take(directories, directoryIndex, "data directories", "--directory DIR", choice.directoryName);
    return choice;
}

std::string DescribeSearch(const std::string& fileName, const std::string& currentDirectory,
                           const std::string& directoryName, bool directoryPresent, bool libraryPresent,
                           const std::string& archiveName, bool archivePresent) {
    auto item = [](const std::string& what, bool present) { return present ? what : what + " (not there)"; };
    return "ove: looked for " + fileName + " (in any case) in the current directory " + currentDirectory + ", then " +
           item("directory " + directoryName, directoryPresent) + ", " + item("directory Library", libraryPresent) +
           " and " + item("packed archive " + archiveName, archivePresent) + "\n";
}

}  // namespace ove
