// Inside the window system: the presenter, which shows the visible top-level windows on
// the desktop (one borderless native window each, on SDL2) and feeds the desktop's mouse,
// keyboard and text input into the input queue. It is chosen once per process: when
// DISPLAY or WAYLAND_DISPLAY is set, KORVANE_HEADLESS is not, and the display opens.
// Otherwise the window system stays headless and none of this does anything.
#pragma once

#include <string>

#include "platform/user/user.h"

namespace kv::user::present {

// True when a presenter shows the windows (the first call decides, and opens the display).
bool Active();
// True when the presenter is active and the calling thread is the one that drives it
// (the first thread that looked at its queue while showing a top-level window): only that
// thread talks to the display and receives the desktop's input.
bool Live();
// On the presenter's thread: brings the native windows in line with the top-level
// windows (shown, position, size, region, z-order, focus), copies the changed parts of
// their surfaces to them, then takes the desktop's pending events into the input queue.
// Does nothing elsewhere.
void Pump();
// Records that a rectangle of a top-level window's surface (surface coordinates) has been
// drawn on, so that the next Pump copies it.
void Damage(HWND top, const RECT& rect);
// A message box as a modal window on the desktop, owned by `owner`'s top-level window;
// the button the person pressed, or `fallback` when the box could not be made.
int MessageBoxWindow(HWND owner, const std::u16string& text, const std::u16string& caption, UINT type, int fallback);
// A hidden, empty "#32770" box with this caption, owned by `top`, for a modal window
// laid out in pixels, with `param` in its DWLP_USER for `proc` (from the first message
// after WM_INITDIALOG on); null when it could not be made.
HWND MakeBox(HWND top, const std::u16string& caption, DLGPROC proc, LPARAM param);
// Sizes a box to this client area and centres it on `top` (on the screen without one).
void PlaceBox(HWND dlg, HWND top, int clientW, int clientH);
// Runs a modal window: `top` (may be null) is disabled meanwhile, `dlg` shown with the
// focus on `focus`, its messages run until `*answer` is set (its procedure sets it), then
// `dlg` is destroyed, taken off the screen at once, and `top` enabled and active again.
// Answers *answer, or `fallback` when the window went otherwise.
int RunModal(HWND dlg, HWND top, HWND focus, const int* answer, int fallback);
// The desktop pointer's screen position, asked of the display; false when no presenter is
// active or the display keeps no global pointer (Wayland).
bool PointerPos(POINT* pt);
// Moves the desktop pointer, whose windows then hear of it from the desktop; false as above.
bool MovePointer(int x, int y);
// The display's work area (screen coordinates); false when no presenter is active.
bool WorkArea(RECT* area);

}  // namespace kv::user::present
