#include "MessageBox.h"

#include "Signals.h"

#include <SDL.h>

#include <cstdio>

#ifdef __EMSCRIPTEN__
#include <emscripten.h>

// The page's dialog; the game waits for it as it would for a desktop box.
// clang-format off
EM_ASYNC_JS(void, ove_page_dialog, (const char* caption, const char* text), {
    if (typeof Module.oveDialog === 'function') await Module.oveDialog(UTF8ToString(caption), UTF8ToString(text), ['OK']);
});
// clang-format on
#endif

namespace ove {

static bool g_headless = false;

void SetHeadlessMessageBoxes(bool headless) { g_headless = headless; }
bool HeadlessMessageBoxes() { return g_headless; }

void ShowMessageBox(const std::string& caption, const std::string& text, BoxIcon icon, void* ownerWindow) {
    std::string body = text;
    while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) body.pop_back();
    if (icon == BoxIcon::Error) NoteErrorBox();
    // Standard error keeps the text whether or not anybody sees the box.
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), body.c_str());
    std::fflush(stderr);
    // Nobody to wait for, or the engine is ending: no box.
    if (g_headless || TerminationRequested()) return;
    Uint32 flags = icon == BoxIcon::Error     ? SDL_MESSAGEBOX_ERROR
                   : icon == BoxIcon::Warning ? SDL_MESSAGEBOX_WARNING
                                              : SDL_MESSAGEBOX_INFORMATION;
    // A signal ends the box; closing it counts as OK. A box that cannot be shown leaves the
    // text on standard error alone.
#ifdef __EMSCRIPTEN__
    (void)flags;
    (void)ownerWindow;
    ove_page_dialog(caption.c_str(), body.c_str());
#else
    CBlockingBoxWatch watch;
    SDL_ShowSimpleMessageBox(flags, caption.c_str(), body.c_str(), static_cast<SDL_Window*>(ownerWindow));
#endif
}

}  // namespace ove
