#include "MessageBox.h"

#include <SDL.h>

#include <cstdio>

namespace ove {

static bool g_headless = false;

void SetHeadlessMessageBoxes(bool headless) { g_headless = headless; }
bool HeadlessMessageBoxes() { return g_headless; }

void ShowMessageBox(const std::string& caption, const std::string& text, BoxIcon icon, void* ownerWindow) {
    std::string body = text;
    while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) body.pop_back();
    if (g_headless) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), body.c_str());
        std::fflush(stderr);
        return;
    }
    Uint32 flags = icon == BoxIcon::Error     ? SDL_MESSAGEBOX_ERROR
                   : icon == BoxIcon::Warning ? SDL_MESSAGEBOX_WARNING
                                              : SDL_MESSAGEBOX_INFORMATION;
    if (SDL_ShowSimpleMessageBox(flags, caption.c_str(), body.c_str(), static_cast<SDL_Window*>(ownerWindow)) != 0) {
        // No display to show it on: standard error is the best we can do.
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), body.c_str());
    }
}

}  // namespace ove
