// ovetool sub-commands. Each command lives in its own source and registers itself with a
// static OVE_TOOL_COMMAND(...) line; the dispatcher only holds the help table.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "image/Bitmap.h"

namespace ovetool {

using Args = std::vector<std::string>;
// Runs the command with the arguments after its name; returns the process exit status.
using CommandFn = int (*)(const Args& args);

struct Command {
    const char* name;
    CommandFn run;
};

bool RegisterCommand(const Command& command);

// A usage error: the command's usage line from the help table (ovetool.cpp), then what was wrong
// when given, on standard error. Returns 2, the exit status for a usage error.
int UsageError(const char* command, const std::string& problem = {});

// The picture as a backdrop resource stores it: 24 bits when every pixel is opaque, else 32.
// Empty when it cannot be converted.
std::unique_ptr<ove::CBitmap> BackdropImage(ove::CBitmapInterface& rgba);

// Progress on standard error for long runs: "label: done/total" rewritten in place.
void Progress(const char* label, size_t done, size_t total);

}  // namespace ovetool

#define OVE_TOOL_CAT2(a, b) a##b
#define OVE_TOOL_CAT(a, b) OVE_TOOL_CAT2(a, b)
// Its help (usage line, summary, details) goes into the one help table in ovetool.cpp.
#define OVE_TOOL_COMMAND(name, fn) \
    static const bool OVE_TOOL_CAT(ove_tool_registered_, __LINE__) = ::ovetool::RegisterCommand({name, fn})
