// The host file system as scripts see it: Windows-style paths and wildcard patterns on a POSIX
// file system.
//
// Drives: the whole file system is one drive, C, whose root is "/". Script paths may use
// backslashes, and may start with "C:" (any case); a path on another drive names nothing.
// Existing names are found without regard to ASCII case, as on the systems games were written on.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ove {

// The one drive letter, and the drive type codes scripts see.
constexpr char kRootDrive = 'C';
enum EDriveType : int {
    kDriveUnknown = 0,
    kDriveFloppy = 1,
    kDriveRemovable = 2,
    kDriveFixed = 3,
    kDriveRemote = 4,
    kDriveCDROM = 5,
    kDriveRAMDisk = 6,
};

// The letters of the existing drives, in order.
std::vector<char> HostDrives();
// The type of the drive with this letter (either case); unknown for drives that do not exist.
int HostDriveType(char letter);

// A script path as a host path: backslashes become slashes and the drive prefix "C:" goes
// ("C:\a" is "/a", "C:a" is "a"). None for a path on another drive.
std::optional<std::string> ToHostPath(std::string_view path);

// Whether a name matches a pattern of '*' (any run of characters) and '?' (one character),
// ignoring ASCII case. A pattern ending in ".*" also matches the name without any extension,
// so "*.*" matches every name. Runs in time bounded by the square of the name's length however
// the pattern is made.
bool MatchWildcard(std::string_view pattern, std::string_view name);

// The names (without their directory) of the entries that match the pattern's last component
// in the directory its other components name, either only directories or only the rest; "." and
// ".." come first, then the names in case-insensitive order. Wildcards are allowed in the last
// component only; a pattern that finds nothing, or is not valid, gives an empty list.
std::vector<std::string> ListEntries(std::string_view pattern, bool directories);

// File operations; false when they fail, for whatever reason.
bool MakeDirectory(std::string_view path);
// Files only: directories are not deleted.
bool RemoveFile(std::string_view path);
// Files and directories; an existing target is never replaced (a change of case only is allowed).
bool RenameEntry(std::string_view from, std::string_view to);
bool ChangeDirectory(std::string_view path);
std::string CurrentDirectory();

}  // namespace ove
