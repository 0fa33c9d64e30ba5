// FileReader and FileWriter: script data files on the local disk, in the tagged value format,
// as raw bytes or both, optionally enciphered with a password.
#pragma once
#include <duktape.h>

#include <string>
#include <vector>

namespace ove {

bool StartFileAPI(duk_context* ctx);
// Closes every reader and writer still open; writers commit their files.
void StopFileAPI(duk_context* ctx);

// The folders a FileWriter may write in: the game's folder (the current directory when the
// module starts) and the user's data and documents folders. Tests may replace the list.
void SetWritableFolders(std::vector<std::string> folders);
const std::vector<std::string>& WritableFolders();

// The file a FileWriter for `path` writes (absolute, links resolved, the existing spelling
// of a name found without regard to case), or an empty string when it lies outside the
// writable folders.
std::string WriterTarget(const std::string& path);

// Number of readers and writers whose streams are open.
std::size_t OpenFileStreams();

}  // namespace ove
