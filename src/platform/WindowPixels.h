// Windows that draw themselves in software (the start-up dialog): copying a finished picture to
// the window, and letting the window be dragged by a caption it draws itself.
#pragma once
#include <cstdint>

struct SDL_Window;

namespace ove {

// Copies width x height pixels (0xAARRGGBB, rows top-down) to the window's client area and
// shows them. False when the window has no surface to draw on.
bool PresentPixels(SDL_Window* window, const std::uint32_t* pixels, int width, int height);

// Dragging the top `captionHeight` rows moves the window (where the window manager supports
// it), except for the rightmost `keepRight` pixels (the close box). 0 turns it off.
void SetDraggableCaption(SDL_Window* window, int captionHeight, int keepRight);

// Where the window's client area is on the desktop.
void GetClientOrigin(SDL_Window* window, int& x, int& y);
// Gives the window the keyboard (after a drop-down list that had it is gone).
void TakeKeyboardFocus(SDL_Window* window);

}  // namespace ove
