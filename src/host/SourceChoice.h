// Which game to run when several lie beside the engine: the command line's choice, the user's
// (in the "Select source" dialog) or, when nobody can be asked, the first of each kind.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "host/Settings.h"

namespace ove {

struct SSourceChoice {
    std::string archiveName = "GAME.DAT";
    std::string directoryName = "DATA";
    bool cancelled = false;  // the dialog was cancelled (by the user or a signal): end without a message
};

// Asks the user. A list is null when its kind needs no choice; on OK the index of the chosen
// title of each list shown is stored (indices start as 0). False for Cancel.
using SourceAsker =
    std::function<bool(const std::vector<std::string>* archiveTitles, const std::vector<std::string>* directoryTitles,
                       int& archiveIndex, int& directoryIndex)>;

// A kind with more than one entry needs a choice unless the command line named one (a named
// source is used whatever the survey found). With nothing to ask, or when headless (`ask`
// empty), the remaining choices fall to the first entry, and each is told in `notes` (one
// line each).
SSourceChoice ChooseSource(const SourceMap& archives, const SourceMap& directories, const std::string& archiveOption,
                           const std::string& directoryOption, const SourceAsker& ask, std::string* notes);

// Where the main script was looked for, for the message that says it is missing: the current
// directory, then each source in lookup order, present or not.
std::string DescribeSearch(const std::string& fileName, const std::string& currentDirectory,
                           const std::string& directoryName, bool directoryPresent, bool libraryPresent,
                           const std::string& archiveName, bool archivePresent);

}  // namespace ove
