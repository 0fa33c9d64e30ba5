#include "NativeWindow.h"

#include <SDL.h>

#include "CodePage.h"

namespace ove {

SDL_Window* CreateNativeWindow(const std::string& title, int width, int height, const SNativeWindowOptions& options,
                               std::string* error) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        if (error) *error = SDL_GetError();
        return nullptr;
    }
    Uint32 flags = 0;
    if (options.opengl) flags |= SDL_WINDOW_OPENGL;
    if (options.resizable) flags |= SDL_WINDOW_RESIZABLE;
    if (options.hidden) flags |= SDL_WINDOW_HIDDEN;
    if (options.borderless) flags |= SDL_WINDOW_BORDERLESS;
    if (options.popupMenu) flags |= SDL_WINDOW_POPUP_MENU | SDL_WINDOW_BORDERLESS | SDL_WINDOW_SKIP_TASKBAR;
    SDL_Window* window = SDL_CreateWindow(
        DisplayTextToUtf8(title).c_str(), options.placed ? options.x : SDL_WINDOWPOS_UNDEFINED,
        options.placed ? options.y : SDL_WINDOWPOS_UNDEFINED, width > 0 ? width : 1, height > 0 ? height : 1, flags);
    if (!window) {
        if (error) *error = SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return nullptr;
    }
    // Characters arrive as text input events.
    SDL_StartTextInput();
    return window;
}

void DestroyNativeWindow(SDL_Window* window) {
    if (!window) return;
    SDL_SetWindowMouseRect(window, nullptr);
    SDL_DestroyWindow(window);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void ShowNativeWindow(SDL_Window* window, EShow command) {
    if (!window) return;
    switch (command) {
    case EShow::Hide: SDL_HideWindow(window); break;
    case EShow::Show: SDL_ShowWindow(window); break;
    case EShow::ShowNormal:
        SDL_ShowWindow(window);
        if (SDL_GetWindowFlags(window) & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_MAXIMIZED)) SDL_RestoreWindow(window);
        SDL_RaiseWindow(window);
        break;
    case EShow::Minimize: SDL_MinimizeWindow(window); break;
    case EShow::Maximize:
        SDL_ShowWindow(window);
        SDL_MaximizeWindow(window);
        break;
    case EShow::Restore: SDL_RestoreWindow(window); break;
    }
}

bool IsNativeWindowVisible(SDL_Window* window) {
    return window && (SDL_GetWindowFlags(window) & SDL_WINDOW_SHOWN) &&
           !(SDL_GetWindowFlags(window) & SDL_WINDOW_HIDDEN);
}

void SetNativeWindowTitle(SDL_Window* window, const std::string& title) {
    if (window) SDL_SetWindowTitle(window, DisplayTextToUtf8(title).c_str());
}

std::string GetNativeWindowTitle(SDL_Window* window) {
    return window ? Utf8ToCp1252(SDL_GetWindowTitle(window)) : std::string();
}

void GetNativeClientSize(SDL_Window* window, int& width, int& height) {
    width = height = 0;
    if (window) SDL_GetWindowSize(window, &width, &height);
}

void SetNativeClientSize(SDL_Window* window, int width, int height) {
    if (window && width > 0 && height > 0) SDL_SetWindowSize(window, width, height);
}

void SetNativeMinimumClientSize(SDL_Window* window, int width, int height) {
    if (window) SDL_SetWindowMinimumSize(window, width > 0 ? width : 1, height > 0 ? height : 1);
}

SWindowRect GetNativeFrameRect(SDL_Window* window) {
    SWindowRect r;
    if (!window) return r;
    int top = 0, left = 0, bottom = 0, right = 0;
    if (SDL_GetWindowBordersSize(window, &top, &left, &bottom, &right) != 0) top = left = bottom = right = 0;
    SDL_GetWindowPosition(window, &r.x, &r.y);
    SDL_GetWindowSize(window, &r.width, &r.height);
    r.x -= left;
    r.y -= top;
    r.width += left + right;
    r.height += top + bottom;
    return r;
}

void MoveNativeWindowBy(SDL_Window* window, int dx, int dy) {
    if (!window || (dx == 0 && dy == 0)) return;
    int x = 0, y = 0;
    SDL_GetWindowPosition(window, &x, &y);
    SDL_SetWindowPosition(window, x + dx, y + dy);
}

void SetNativeFullScreen(SDL_Window* window, bool on) {
    if (window) SDL_SetWindowFullscreen(window, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
}

bool IsNativeFullScreen(SDL_Window* window) {
    return window && (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN) != 0;
}

int GetNativeCaptionHeight(SDL_Window* window) {
    int top = 0;
    if (!window || SDL_GetWindowBordersSize(window, &top, nullptr, nullptr, nullptr) != 0) return 0;
    return top;
}

void ConfineNativePointer(SDL_Window* window, const SWindowRect* rect) {
    if (!window) return;
    if (!rect) {
        SDL_SetWindowMouseRect(window, nullptr);
        return;
    }
    SDL_Rect r{rect->x, rect->y, rect->width, rect->height};
    SDL_SetWindowMouseRect(window, &r);
}

void ShowSystemCursor(bool show) { SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE); }

void WarpNativePointer(SDL_Window* window, int x, int y) {
    if (window) SDL_WarpMouseInWindow(window, x, y);
}

bool NativeWindowHasFocus(SDL_Window* window) { return window && SDL_GetKeyboardFocus() == window; }

bool GetWorkArea(SDL_Window* window, SWindowRect& area) {
    bool started = false;
    if (!SDL_WasInit(SDL_INIT_VIDEO)) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
        started = true;
    }
    int display = window ? SDL_GetWindowDisplayIndex(window) : 0;
    if (display < 0) display = 0;
    SDL_Rect r;
    bool ok = SDL_GetDisplayUsableBounds(display, &r) == 0;
    if (ok) area = {r.x, r.y, r.w, r.h};
    if (started) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return ok;
}

}  // namespace ove
