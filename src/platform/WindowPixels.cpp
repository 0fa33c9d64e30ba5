#include "WindowPixels.h"

#include <SDL.h>

namespace ove {

bool PresentPixels(SDL_Window* window, const std::uint32_t* pixels, int width, int height) {
    if (!window || !pixels || width <= 0 || height <= 0) return false;
    SDL_Surface* target = SDL_GetWindowSurface(window);
    if (!target) return false;
    SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<std::uint32_t*>(pixels), width, height, 32,
                                                             width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (!source) return false;
    SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_NONE);
    bool ok = SDL_BlitSurface(source, nullptr, target, nullptr) == 0;
    SDL_FreeSurface(source);
    return ok && SDL_UpdateWindowSurface(window) == 0;
}

namespace {

// The caption height and the kept width travel in the callback's data word.
SDL_HitTestResult CaptionHitTest(SDL_Window* window, const SDL_Point* point, void* data) {
    auto packed = reinterpret_cast<std::uintptr_t>(data);
    int caption = static_cast<int>(packed & 0xFFFF);
    int keep = static_cast<int>(packed >> 16);
    int width = 0, height = 0;
    SDL_GetWindowSize(window, &width, &height);
    if (point->y >= 0 && point->y < caption && point->x < width - keep) return SDL_HITTEST_DRAGGABLE;
    return SDL_HITTEST_NORMAL;
}

}  // namespace

void SetDraggableCaption(SDL_Window* window, int captionHeight, int keepRight) {
    if (!window) return;
    if (captionHeight <= 0) {
        SDL_SetWindowHitTest(window, nullptr, nullptr);
        return;
    }
    auto packed = static_cast<std::uintptr_t>(captionHeight & 0xFFFF) |
                  (static_cast<std::uintptr_t>(keepRight & 0xFFFF) << 16);
    SDL_SetWindowHitTest(window, CaptionHitTest, reinterpret_cast<void*>(packed));
}

void GetClientOrigin(SDL_Window* window, int& x, int& y) {
    x = y = 0;
    if (window) SDL_GetWindowPosition(window, &x, &y);
}

void TakeKeyboardFocus(SDL_Window* window) {
    if (!window) return;
    SDL_RaiseWindow(window);
    SDL_SetWindowInputFocus(window);
}

}  // namespace ove
