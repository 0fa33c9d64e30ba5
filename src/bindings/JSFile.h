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

// The file a FileWriter for `path` writes (absolute, links resolved, the existing spelling
// of a name found without regard to case), or an empty string when the file-access policy
// refuses it.
std::string WriterTarget(const std::string& path);

// Number of readers and writers whose streams are open.
std::size_t OpenFileStreams();

}  // namespace ove
