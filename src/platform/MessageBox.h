// Message boxes: SDL's simple message box. Its text always goes to standard error as one line
// "Caption: text"; when headless, that line is all.
#pragma once
#include <string>

namespace ove {

enum class BoxIcon { Error, Warning, Information };

// When headless, boxes return at once after their line (trailing line feed removed).
void SetHeadlessMessageBoxes(bool headless);
bool HeadlessMessageBoxes();

// Waits for the user's OK. Once SIGINT or SIGTERM came, boxes are no longer shown, and one that
// is up goes away.
void ShowMessageBox(const std::string& caption, const std::string& text, BoxIcon icon, void* ownerWindow = nullptr);

}  // namespace ove
