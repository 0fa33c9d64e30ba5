// Warnings about damaged game data, which the engine reports and goes on without.
#pragma once
#include <string>

namespace ove {

// Writes "ove: warning: <text>" and a line feed to standard error.
void Warning(const std::string& text);

}  // namespace ove
