// The SDL windows under the window classes: creation, size, title, placement, full screen,
// pointer confinement and the system cursor, and the desktop work area.
#pragma once
#include <cstdint>
#include <string>

struct SDL_Window;

namespace ove {

struct SWindowRect {
    std::int32_t x = 0, y = 0, width = 0, height = 0;
    bool operator==(const SWindowRect&) const = default;
};

enum class EShow { Hide, Show, ShowNormal, Minimize, Maximize, Restore };

struct SNativeWindowOptions {
    bool opengl = false;
    bool resizable = false;
    bool hidden = true;
    bool borderless = false;  // no frame from the window manager: the window draws its own
    bool popupMenu = false;   // a drop-down list: no frame, no task-bar entry, no keyboard focus
    bool placed = false;      // the client area starts at (x, y) on the desktop
    int x = 0, y = 0;
};

// Starts SDL's video subsystem for the window (reference counted, released with the window)
// and creates the window with a client area of width x height. Null with SDL's error text in
// `error` on failure. `title` is code page 1252 text.
SDL_Window* CreateNativeWindow(const std::string& title, int width, int height, const SNativeWindowOptions& options,
                               std::string* error = nullptr);
void DestroyNativeWindow(SDL_Window* window);

void ShowNativeWindow(SDL_Window* window, EShow command);
bool IsNativeWindowVisible(SDL_Window* window);
void SetNativeWindowTitle(SDL_Window* window, const std::string& title);
std::string GetNativeWindowTitle(SDL_Window* window);
void GetNativeClientSize(SDL_Window* window, int& width, int& height);
void SetNativeClientSize(SDL_Window* window, int width, int height);
void SetNativeMinimumClientSize(SDL_Window* window, int width, int height);
// The window with its frame, in desktop coordinates.
SWindowRect GetNativeFrameRect(SDL_Window* window);
void MoveNativeWindowBy(SDL_Window* window, int dx, int dy);
// Full screen on the window's display at the desktop resolution, or back to the window.
void SetNativeFullScreen(SDL_Window* window, bool on);
bool IsNativeFullScreen(SDL_Window* window);
// Height of the title bar above the client area (0 when the system does not say).
int GetNativeCaptionHeight(SDL_Window* window);
// Keeps the pointer inside the rectangle (client coordinates; it may reach above the client
// area into the title bar). Null releases it.
void ConfineNativePointer(SDL_Window* window, const SWindowRect* rect);
void ShowSystemCursor(bool show);
// Moves the pointer to a point of the window's client area.
void WarpNativePointer(SDL_Window* window, int x, int y);
// The window has the keyboard focus (it is the active window).
bool NativeWindowHasFocus(SDL_Window* window);
// The usable area (without task bars and panels) of the display that holds most of the
// window, or of the primary display when the window is null. False when no display answers.
bool GetWorkArea(SDL_Window* window, SWindowRect& area);

}  // namespace ove
