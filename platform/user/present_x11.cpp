#include "platform/user/present_x11.h"

#include <SDL_syswm.h>

#include <X11/Xlib.h>

#include <iterator>
#include <mutex>

#include "platform/base/system_library.h"

namespace kv::user::present::x11 {

namespace {

// Xlib's functions, reached through pointers of the same names (hiding the header's
// declarations here) and loaded with the connection: the pointer's needs add no link to
// libX11 (the raster stack may still bring it in).
#define KV_X11_FUNCTIONS(X) X(XMoveWindow) X(XOpenDisplay) X(XQueryPointer) X(XSync) X(XWarpPointer)
#define KV_X11_POINTER(name) decltype(&::name) name = nullptr;
KV_X11_FUNCTIONS(KV_X11_POINTER)
#undef KV_X11_POINTER

bool LoadX11() {
#define KV_X11_NAME(name) #name,
#define KV_X11_SLOT(name) reinterpret_cast<void**>(&name),
  const char* const names[] = {KV_X11_FUNCTIONS(KV_X11_NAME)};
  void** const slots[] = {KV_X11_FUNCTIONS(KV_X11_SLOT)};
#undef KV_X11_NAME
#undef KV_X11_SLOT
  return kv::base::BindSystemLibrary("libX11.so.6", names, slots, std::size(names));
}

// Any thread may ask: one lock around the connection.
std::mutex gLock;
Display* gDisplay = nullptr;  // kept for the process, like the presenter's own

}  // namespace

bool Open() {
  std::lock_guard<std::mutex> g(gLock);
  if (!gDisplay && (XOpenDisplay || LoadX11())) gDisplay = XOpenDisplay(nullptr);
  return gDisplay != nullptr;
}

bool Pointer(int* x, int* y) {
  std::lock_guard<std::mutex> g(gLock);
  if (!gDisplay) return false;
  Window root, child;
  int wx, wy;
  unsigned mask;
  return XQueryPointer(gDisplay, DefaultRootWindow(gDisplay), &root, &child, x, y, &wx, &wy, &mask) == True;
}

bool Warp(int x, int y) {
  std::lock_guard<std::mutex> g(gLock);
  if (!gDisplay) return false;
  XWarpPointer(gDisplay, None, DefaultRootWindow(gDisplay), 0, 0, 0, 0, x, y);
  // Handled before we return, so that a query right after sees the new place.
  XSync(gDisplay, False);
  return true;
}

bool MoveWindow(SDL_Window* window, int x, int y) {
  // SDL's window-manager query, from the library the presenter has already loaded.
  static decltype(&::SDL_GetWindowWMInfo) wm_info = [] {
    decltype(&::SDL_GetWindowWMInfo) f = nullptr;
    const char* const names[] = {"SDL_GetWindowWMInfo"};
    void** const slots[] = {reinterpret_cast<void**>(&f)};
    return kv::base::BindSystemLibrary("libSDL2-2.0.so.0", names, slots, 1) ? f : nullptr;
  }();
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!wm_info || !wm_info(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
  std::lock_guard<std::mutex> g(gLock);
  if (!gDisplay) return false;
  XMoveWindow(gDisplay, info.info.x11.window, x, y);
  XSync(gDisplay, False);
  return true;
}

}  // namespace kv::user::present::x11
