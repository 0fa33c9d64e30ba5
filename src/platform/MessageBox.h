// Message boxes: SDL's simple message box, or one line on standard error when headless.
#pragma once
#include <string>

namespace ove {

enum class BoxIcon { Error, Warning, Information };

// When headless, boxes are written as "Caption: text" (trailing line feed removed) to
// standard error and return at once.
void SetHeadlessMessageBoxes(bool headless);
bool HeadlessMessageBoxes();

void ShowMessageBox(const std::string& caption, const std::string& text, BoxIcon icon,
                    void* ownerWindow = nullptr);

}  // namespace ove
