#include "Clipboard.h"

#include <SDL.h>

#include "CodePage.h"

namespace ove {

bool ClipboardHasText() { return SDL_HasClipboardText() == SDL_TRUE; }

std::string GetClipboardText() {
    char* utf8 = SDL_GetClipboardText();
    if (!utf8) return {};
    std::string text = Utf8ToCp1252(utf8);
    SDL_free(utf8);
    return text;
}

bool SetClipboardText(const std::string& text) { return SDL_SetClipboardText(Cp1252ToUtf8(text).c_str()) == 0; }

}  // namespace ove
