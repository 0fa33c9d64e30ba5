// The system clipboard as plain one-byte text (code page 1252).
#pragma once
#include <string>

namespace ove {

// True when the clipboard holds text.
bool ClipboardHasText();
// The clipboard text converted to code page 1252 (characters the code page lacks become '?');
// empty when there is none.
std::string GetClipboardText();
// Replaces the clipboard content with the text (converted to UTF-8). False on failure.
bool SetClipboardText(const std::string& text);

}  // namespace ove
