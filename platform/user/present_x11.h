// Inside the presenter: the X server's pointer, and the place of a shaped window, asked of
// the server on a connection of our own. SDL keeps the global pointer position only from
// the events of its own windows, so it misses every move made elsewhere on the desktop.
// Kept apart from the window system's headers, whose names clash with Xlib's.
#pragma once

struct SDL_Window;

namespace kv::user::present::x11 {

// Connects to $DISPLAY; false when it does not answer. Call once, before the others.
bool Open();
// The pointer's position on the root window; false without a connection.
bool Pointer(int* x, int* y);
// Moves the pointer there; false without a connection.
bool Warp(int x, int y);
// Moves the SDL window's X window there; false without a connection or an X window.
bool MoveWindow(SDL_Window* window, int x, int y);

}  // namespace kv::user::present::x11
