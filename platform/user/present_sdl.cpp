// The presenter on SDL2: one borderless native window per visible top-level window, the
// changed parts of the backing surfaces copied to them, and the desktop's input fed into
// the input queue as if it had been injected. libSDL2 (and with it the display libraries)
// is loaded only when the presenter goes live, so a headless process never maps it.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/sync.h"
#include "platform/base/system_library.h"
#include "platform/base/trace.h"
#include "platform/gdi/gdi.h"
#include "platform/user/ime.h"
#include "platform/user/internal.h"
#include "platform/user/present.h"
#include "platform/user/present_x11.h"

namespace kv::user::present {

namespace {

// The SDL functions the presenter calls, reached through pointers of the same names: in
// this namespace they hide the header's declarations, so the code below reads as plain SDL
// while nothing of it is linked. A call of a function missing from this list leaves an
// undefined symbol, which fails the link of every program.
#define KV_SDL_FUNCTIONS(X)                                                                       \
  X(SDL_CaptureMouse) X(SDL_ConvertPixels) X(SDL_CreateRGBSurfaceWithFormat)                      \
  X(SDL_CreateShapedWindow) X(SDL_CreateWindow) X(SDL_DestroyWindow) X(SDL_FillRect)              \
  X(SDL_FreeSurface) X(SDL_GetCurrentVideoDriver) X(SDL_GetDisplayBounds)                         \
  X(SDL_GetDisplayUsableBounds) X(SDL_GetError) X(SDL_GetGlobalMouseState) X(SDL_GetMouseState)   \
  X(SDL_GetWindowID) X(SDL_GetWindowSurface) X(SDL_HideWindow)                                   \
  X(SDL_InitSubSystem) X(SDL_IsShapedWindow) X(SDL_LockSurface) X(SDL_MinimizeWindow)             \
  X(SDL_PollEvent) X(SDL_RaiseWindow) X(SDL_RestoreWindow) X(SDL_SetHint)                         \
  X(SDL_SetWindowInputFocus) X(SDL_SetWindowPosition) X(SDL_SetWindowShape) X(SDL_SetWindowSize)  \
  X(SDL_ShowWindow) X(SDL_StartTextInput) X(SDL_UnlockSurface) X(SDL_UpdateWindowSurfaceRects)

#define KV_SDL_POINTER(name) decltype(&::name) name = nullptr;
KV_SDL_FUNCTIONS(KV_SDL_POINTER)
#undef KV_SDL_POINTER

constexpr char kSdlLibrary[] = "libSDL2-2.0.so.0";

// Loads libSDL2 into the pointers above; false, with the reason, when it cannot be used.
bool LoadSdl(std::string* why) {
#define KV_SDL_NAME(name) #name,
#define KV_SDL_SLOT(name) reinterpret_cast<void**>(&name),
  const char* const names[] = {KV_SDL_FUNCTIONS(KV_SDL_NAME)};
  void** const slots[] = {KV_SDL_FUNCTIONS(KV_SDL_SLOT)};
#undef KV_SDL_NAME
#undef KV_SDL_SLOT
  return kv::base::BindSystemLibrary(kSdlLibrary, names, slots, std::size(names), why);
}

// A top-level window's native window and what it was last given.
struct Native {
  SDL_Window* win = nullptr;
  Uint32 id = 0;
  RECT rect{};
  bool shown = false;
  bool shaped = false;      // made shaped (the display can shape it)
  bool shapeAsked = false;  // made for a window with a region
  std::vector<uint8_t> region;  // the region data last applied as the shape
  std::vector<RECT> damage;     // surface coordinates
  bool full = true;
  bool iconic = false;  // iconified for a minimised window
};

// More changed rectangles than this before a copy are merged into their bounding box.
constexpr size_t kMaxDamage = 16;

struct State {
  std::once_flag decided;
  std::atomic<bool> active{false};
  std::atomic<DWORD> thread{0};
  std::mutex m;  // natives, damage and the work area
  std::map<HWND, Native> natives;
  std::vector<HWND> order;  // shown natives, topmost first, as last arranged
  HWND focused = nullptr;  // the window last given the desktop's keyboard
  HWND yielded = nullptr;  // this thread's active window when a press gave the keyboard away
  bool capturing = false;
  bool composing = false;  // the input method has a composition open
  bool wayland = false;  // no global pointer position there
  bool xpointer = false;  // the X server's pointer is asked directly
  RECT work{};
  bool pumping = false;
};

State& S() {
  static auto* s = new State;  // never destroyed: the display outlives static destruction
  return *s;
}

bool Wanted() {
  const char* headless = std::getenv("KORVANE_HEADLESS");
  if (headless && *headless) return false;
  const char* x = std::getenv("DISPLAY");
  const char* wl = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (wl && *wl);
}

void Open() {
  if (!Wanted()) return;
  std::string why;
  if (!LoadSdl(&why)) {
    std::fprintf(stderr, "korvane: no presenter, windows stay headless: %s\n", why.c_str());
    return;
  }
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // The first click on an inactive window reaches it: the window system's own mouse
  // activation decides what it does.
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_PING, "0");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    KvTrace("user", "presenter: the display did not open (%s); windows stay headless", SDL_GetError());
    return;
  }
  SDL_Rect bounds, usable;
  if (SDL_GetDisplayBounds(0, &bounds) == 0 && bounds.w > 0 && bounds.h > 0) {
    KvScreenSetSize(bounds.w, bounds.h);
    if (SDL_GetDisplayUsableBounds(0, &usable) != 0 || usable.w <= 0 || usable.h <= 0) usable = bounds;
    S().work = RECT{usable.x, usable.y, usable.x + usable.w, usable.y + usable.h};
  }
  S().wayland = std::strcmp(SDL_GetCurrentVideoDriver(), "wayland") == 0;
  S().xpointer = std::strcmp(SDL_GetCurrentVideoDriver(), "x11") == 0 && x11::Open();
  SDL_StartTextInput();
  KvTrace("user", "presenter: %s display, %dx%d", SDL_GetCurrentVideoDriver(), bounds.w, bounds.h);
  S().active = true;
}

std::vector<uint8_t> RegionData(HRGN rgn) {
  std::vector<uint8_t> out;
  if (!rgn) return out;
  DWORD size = GetRegionData(rgn, 0, nullptr);
  if (!size) return out;
  out.resize(size);
  if (!GetRegionData(rgn, size, reinterpret_cast<RGNDATA*>(out.data()))) out.clear();
  return out;
}

// The window's region as the native window's shape (X11 shape extension). Displays
// without shaped windows (Wayland) show the whole rectangle.
void ApplyShape(Native& n, const std::vector<uint8_t>& data, int width, int height) {
  SDL_Surface* mask = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ARGB8888);
  if (!mask) return;
  SDL_FillRect(mask, nullptr, 0);
  auto rd = reinterpret_cast<const RGNDATA*>(data.data());
  auto rects = reinterpret_cast<const RECT*>(rd->Buffer);
  for (DWORD i = 0; i < rd->rdh.nCount; ++i) {
    SDL_Rect r{static_cast<int>(rects[i].left), static_cast<int>(rects[i].top),
               static_cast<int>(rects[i].right - rects[i].left), static_cast<int>(rects[i].bottom - rects[i].top)};
    SDL_FillRect(mask, &r, 0xFFFFFFFFu);
  }
  SDL_WindowShapeMode mode;
  mode.mode = ShapeModeBinarizeAlpha;
  mode.parameters.binarizationCutoff = 128;
  if (SDL_SetWindowShape(n.win, mask, &mode) != 0) KvTrace("user", "presenter: shape not applied (%s)", SDL_GetError());
  SDL_FreeSurface(mask);
}

bool IsPopupKind(const Window& w) {
  const std::u16string& cls = w.cls->name;
  return (w.exStyle & WS_EX_TOOLWINDOW) || cls == u"#32768" || cls == u"tooltips_class32";
}

bool MakeNative(Native& n, const Window& w, bool shaped) {
  int x = w.rect.left, y = w.rect.top;
  int width = std::max<int>(1, w.surfW), height = std::max<int>(1, w.surfH);
  Uint32 flags = SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN;
  if (IsPopupKind(w))
    flags |= SDL_WINDOW_SKIP_TASKBAR | (w.cls->name == u"tooltips_class32" ? SDL_WINDOW_TOOLTIP : SDL_WINDOW_POPUP_MENU);
  std::string title = kv::WideToUtf8(w.text);
  n.win = shaped ? SDL_CreateShapedWindow(title.c_str(), x, y, width, height, flags)
                 : SDL_CreateWindow(title.c_str(), x, y, width, height, flags);
  if (!n.win && shaped) n.win = SDL_CreateWindow(title.c_str(), x, y, width, height, flags);
  if (!n.win) {
    KvTrace("user", "presenter: no native window (%s)", SDL_GetError());
    return false;
  }
  n.shaped = shaped && SDL_IsShapedWindow(n.win);
  n.shapeAsked = shaped;
  n.id = SDL_GetWindowID(n.win);
  n.rect = w.rect;
  n.shown = false;
  n.full = true;
  n.region.clear();
  return true;
}

// SDL makes a shaped window off the screen, and as its surface is first taken it makes the
// X window anew there, where SDL's own moves no longer reach: a shaped window is placed on
// the X server itself whenever its whole surface is copied.
void PlaceShaped(Native& n, int x, int y) {
  if (S().xpointer) x11::MoveWindow(n.win, x, y);
}

void DropNative(Native& n) {
  if (n.win) SDL_DestroyWindow(n.win);
  n.win = nullptr;
}

void AddDamage(Native& n, const RECT& r) {
  if (n.full || r.right <= r.left || r.bottom <= r.top) return;
  if (n.damage.size() >= kMaxDamage) {
    RECT box = r;
    for (const RECT& d : n.damage) UnionRect(&box, &box, &d);
    n.damage.assign(1, box);
    return;
  }
  n.damage.push_back(r);
}

// Copies the changed parts of a window's surface into its native window's surface.
void Flush(Native& n, const Window& w) {
  if (!n.shown || (!n.full && n.damage.empty())) return;
  SDL_Surface* s = SDL_GetWindowSurface(n.win);
  if (!s) return;
  int cw = std::min(w.surfW, s->w), ch = std::min(w.surfH, s->h);
  std::vector<RECT> rects = n.full ? std::vector<RECT>{RECT{0, 0, s->w, s->h}} : n.damage;
  n.full = false;
  n.damage.clear();
  std::vector<SDL_Rect> out;
  if (SDL_MUSTLOCK(s)) SDL_LockSurface(s);
  bool same = s->format->format == SDL_PIXELFORMAT_RGB888 || s->format->format == SDL_PIXELFORMAT_ARGB8888;
  for (RECT r : rects) {
    r.left = std::max<LONG>(r.left, 0);
    r.top = std::max<LONG>(r.top, 0);
    r.right = std::min<LONG>(r.right, cw);
    r.bottom = std::min<LONG>(r.bottom, ch);
    if (r.right <= r.left || r.bottom <= r.top) continue;
    int rw = r.right - r.left, rh = r.bottom - r.top;
    const uint32_t* src = w.pixels.data() + size_t(r.top) * size_t(w.surfW) + size_t(r.left);
    auto dst = static_cast<uint8_t*>(s->pixels) + size_t(r.top) * size_t(s->pitch) +
               size_t(r.left) * size_t(s->format->BytesPerPixel);
    if (same) {
      for (int y = 0; y < rh; ++y)
        std::memcpy(dst + size_t(y) * size_t(s->pitch), src + size_t(y) * size_t(w.surfW), size_t(rw) * 4);
    } else {
      SDL_ConvertPixels(rw, rh, SDL_PIXELFORMAT_RGB888, src, w.surfW * 4, s->format->format, dst, s->pitch);
    }
    out.push_back(SDL_Rect{static_cast<int>(r.left), static_cast<int>(r.top), rw, rh});
  }
  if (SDL_MUSTLOCK(s)) SDL_UnlockSurface(s);
  if (!out.empty()) SDL_UpdateWindowSurfaceRects(n.win, out.data(), static_cast<int>(out.size()));
}

// Brings the native windows in line with the top-level windows (under Lock() and S().m).
void Arrange() {
  State& st = S();
  std::vector<HWND> tops = TopLevels();
  std::vector<HWND> shown;
  for (HWND h : tops) {
    auto w = Find(h);
    if (!w) continue;
    bool visible = (w->style & WS_VISIBLE) && w->rect.right > w->rect.left && w->rect.bottom > w->rect.top;
    auto it = st.natives.find(h);
    // A minimised window's native window is iconified (where a window manager shows icons)
    // and keeps its place and size for the restore; one never shown stays unmade.
    if (visible && (w->style & WS_MINIMIZE)) {
      if (it != st.natives.end() && it->second.shown && !it->second.iconic) {
        SDL_MinimizeWindow(it->second.win);
        it->second.iconic = true;
      }
      continue;
    }
    if (!visible) {
      if (it != st.natives.end() && it->second.shown) {
        SDL_HideWindow(it->second.win);
        it->second.shown = false;
      }
      continue;
    }
    EnsureSurface(*w);
    std::vector<uint8_t> region = RegionData(w->region);
    Native& n = st.natives[h];
    // A region arrived: only a native window made to be shaped can take it.
    if (n.win && !region.empty() && !n.shapeAsked) DropNative(n);
    if (!n.win && !MakeNative(n, *w, !region.empty())) {
      st.natives.erase(h);
      continue;
    }
    if (n.iconic) {
      SDL_RestoreWindow(n.win);
      n.iconic = false;
      n.full = true;
    }
    if (n.rect.left != w->rect.left || n.rect.top != w->rect.top)
      SDL_SetWindowPosition(n.win, w->rect.left, w->rect.top);
    if (n.rect.right - n.rect.left != w->rect.right - w->rect.left ||
        n.rect.bottom - n.rect.top != w->rect.bottom - w->rect.top) {
      SDL_SetWindowSize(n.win, w->surfW, w->surfH);
      n.full = true;
    }
    n.rect = w->rect;
    if (n.shaped && region != n.region) {
      if (!region.empty()) ApplyShape(n, region, w->surfW, w->surfH);
      n.region = region;
      SDL_SetWindowPosition(n.win, w->rect.left, w->rect.top);
    }
    if (!n.shown) {
      SDL_ShowWindow(n.win);
      n.shown = true;
      n.full = true;
    }
    bool whole = n.full;
    Flush(n, *w);
    if (n.shaped && whole) PlaceShaped(n, w->rect.left, w->rect.top);
    shown.push_back(h);
  }
  // Native windows of destroyed windows go.
  for (auto it = st.natives.begin(); it != st.natives.end();) {
    if (std::find(tops.begin(), tops.end(), it->first) == tops.end() || !Find(it->first)) {
      if (st.focused == it->first) st.focused = nullptr;
      DropNative(it->second);
      it = st.natives.erase(it);
    } else {
      ++it;
    }
  }
  // Z-order: the windows above the lowest change are raised, bottom to top.
  if (shown != st.order) {
    size_t keep = 0;
    while (keep < shown.size() && keep < st.order.size() &&
           shown[shown.size() - 1 - keep] == st.order[st.order.size() - 1 - keep])
      ++keep;
    for (size_t i = shown.size() - keep; i-- > 0;) SDL_RaiseWindow(st.natives[shown[i]].win);
    st.order = shown;
  }
  // While a window has the capture, the pointer's input comes to it wherever it goes.
  bool capture = GetCapture() != nullptr;
  if (capture != st.capturing) {
    SDL_CaptureMouse(capture ? SDL_TRUE : SDL_FALSE);
    st.capturing = capture;
  }
  // The active window has the desktop's keyboard focus, unless a press gave it to another
  // thread's window since that window became active.
  HWND active = ActiveWindow();
  if (active != st.focused && active != st.yielded) {
    auto it = st.natives.find(active);
    if (it != st.natives.end() && it->second.shown) {
      SDL_SetWindowInputFocus(it->second.win);
      st.focused = active;
      st.yielded = nullptr;
    }
  }
}

// ---- Input ----------------------------------------------------------------------------------------
struct KeyMap {
  SDL_Scancode sc;
  BYTE vk;
  BYTE scan;  // the PC keyboard's scan code (set 1)
  bool ext;
};

// Keys other than the letters and the digits of the main block.
const KeyMap kKeys[] = {
    {SDL_SCANCODE_RETURN, VK_RETURN, 0x1C, false},    {SDL_SCANCODE_ESCAPE, VK_ESCAPE, 0x01, false},
    {SDL_SCANCODE_BACKSPACE, VK_BACK, 0x0E, false},   {SDL_SCANCODE_TAB, VK_TAB, 0x0F, false},
    {SDL_SCANCODE_SPACE, VK_SPACE, 0x39, false},      {SDL_SCANCODE_MINUS, 0xBD, 0x0C, false},
    {SDL_SCANCODE_EQUALS, 0xBB, 0x0D, false},         {SDL_SCANCODE_LEFTBRACKET, 0xDB, 0x1A, false},
    {SDL_SCANCODE_RIGHTBRACKET, 0xDD, 0x1B, false},   {SDL_SCANCODE_BACKSLASH, 0xDC, 0x2B, false},
    {SDL_SCANCODE_SEMICOLON, 0xBA, 0x27, false},      {SDL_SCANCODE_APOSTROPHE, 0xDE, 0x28, false},
    {SDL_SCANCODE_GRAVE, 0xC0, 0x29, false},          {SDL_SCANCODE_COMMA, 0xBC, 0x33, false},
    {SDL_SCANCODE_PERIOD, 0xBE, 0x34, false},         {SDL_SCANCODE_SLASH, 0xBF, 0x35, false},
    {SDL_SCANCODE_NONUSBACKSLASH, 0xE2, 0x56, false}, {SDL_SCANCODE_CAPSLOCK, VK_CAPITAL, 0x3A, false},
    {SDL_SCANCODE_F1, VK_F1, 0x3B, false},            {SDL_SCANCODE_F2, VK_F2, 0x3C, false},
    {SDL_SCANCODE_F3, VK_F3, 0x3D, false},            {SDL_SCANCODE_F4, VK_F4, 0x3E, false},
    {SDL_SCANCODE_F5, VK_F5, 0x3F, false},            {SDL_SCANCODE_F6, VK_F6, 0x40, false},
    {SDL_SCANCODE_F7, VK_F7, 0x41, false},            {SDL_SCANCODE_F8, VK_F8, 0x42, false},
    {SDL_SCANCODE_F9, VK_F9, 0x43, false},            {SDL_SCANCODE_F10, VK_F10, 0x44, false},
    {SDL_SCANCODE_F11, VK_F11, 0x57, false},          {SDL_SCANCODE_F12, VK_F12, 0x58, false},
    {SDL_SCANCODE_PRINTSCREEN, VK_SNAPSHOT, 0x37, true}, {SDL_SCANCODE_SCROLLLOCK, VK_SCROLL, 0x46, false},
    {SDL_SCANCODE_PAUSE, VK_PAUSE, 0x45, false},      {SDL_SCANCODE_INSERT, VK_INSERT, 0x52, true},
    {SDL_SCANCODE_HOME, VK_HOME, 0x47, true},         {SDL_SCANCODE_PAGEUP, VK_PRIOR, 0x49, true},
    {SDL_SCANCODE_DELETE, VK_DELETE, 0x53, true},     {SDL_SCANCODE_END, VK_END, 0x4F, true},
    {SDL_SCANCODE_PAGEDOWN, VK_NEXT, 0x51, true},     {SDL_SCANCODE_RIGHT, VK_RIGHT, 0x4D, true},
    {SDL_SCANCODE_LEFT, VK_LEFT, 0x4B, true},         {SDL_SCANCODE_DOWN, VK_DOWN, 0x50, true},
    {SDL_SCANCODE_UP, VK_UP, 0x48, true},             {SDL_SCANCODE_NUMLOCKCLEAR, VK_NUMLOCK, 0x45, true},
    {SDL_SCANCODE_KP_DIVIDE, VK_DIVIDE, 0x35, true},  {SDL_SCANCODE_KP_MULTIPLY, VK_MULTIPLY, 0x37, false},
    {SDL_SCANCODE_KP_MINUS, VK_SUBTRACT, 0x4A, false}, {SDL_SCANCODE_KP_PLUS, VK_ADD, 0x4E, false},
    {SDL_SCANCODE_KP_ENTER, VK_RETURN, 0x1C, true},   {SDL_SCANCODE_KP_1, VK_NUMPAD0 + 1, 0x4F, false},
    {SDL_SCANCODE_KP_2, VK_NUMPAD0 + 2, 0x50, false}, {SDL_SCANCODE_KP_3, VK_NUMPAD0 + 3, 0x51, false},
    {SDL_SCANCODE_KP_4, VK_NUMPAD0 + 4, 0x4B, false}, {SDL_SCANCODE_KP_5, VK_NUMPAD0 + 5, 0x4C, false},
    {SDL_SCANCODE_KP_6, VK_NUMPAD0 + 6, 0x4D, false}, {SDL_SCANCODE_KP_7, VK_NUMPAD0 + 7, 0x47, false},
    {SDL_SCANCODE_KP_8, VK_NUMPAD0 + 8, 0x48, false}, {SDL_SCANCODE_KP_9, VK_NUMPAD0 + 9, 0x49, false},
    {SDL_SCANCODE_KP_0, VK_NUMPAD0, 0x52, false},     {SDL_SCANCODE_KP_PERIOD, VK_DECIMAL, 0x53, false},
    {SDL_SCANCODE_APPLICATION, VK_APPS, 0x5D, true},  {SDL_SCANCODE_LCTRL, VK_CONTROL, 0x1D, false},
    {SDL_SCANCODE_LSHIFT, VK_SHIFT, 0x2A, false},     {SDL_SCANCODE_LALT, VK_MENU, 0x38, false},
    {SDL_SCANCODE_LGUI, VK_LWIN, 0x5B, true},         {SDL_SCANCODE_RCTRL, VK_CONTROL, 0x1D, true},
    {SDL_SCANCODE_RSHIFT, VK_SHIFT, 0x36, false},     {SDL_SCANCODE_RALT, VK_MENU, 0x38, true},
    {SDL_SCANCODE_RGUI, VK_RWIN, 0x5C, true},
};

// Scan codes of A..Z (set 1).
const BYTE kLetterScan[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32,
                              0x31, 0x18, 0x19, 0x10, 0x13, 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};

// The virtual-key code, scan code and extended flag of a desktop key; false for keys the
// platform has no code for. Letters follow the desktop's layout (their key symbol), the
// other keys their position.
bool MapKey(const SDL_Keysym& k, KeyMap* out) {
  if (k.scancode >= SDL_SCANCODE_A && k.scancode <= SDL_SCANCODE_Z) {
    int i = k.scancode - SDL_SCANCODE_A;
    BYTE vk = static_cast<BYTE>('A' + i);
    if (k.sym >= SDLK_a && k.sym <= SDLK_z) vk = static_cast<BYTE>('A' + (k.sym - SDLK_a));
    *out = KeyMap{k.scancode, vk, kLetterScan[i], false};
    return true;
  }
  if (k.scancode >= SDL_SCANCODE_1 && k.scancode <= SDL_SCANCODE_0) {
    int i = k.scancode - SDL_SCANCODE_1;  // 1..9 then 0
    *out = KeyMap{k.scancode, static_cast<BYTE>(i == 9 ? '0' : '1' + i), static_cast<BYTE>(0x02 + i), false};
    return true;
  }
  for (const KeyMap& m : kKeys)
    if (m.sc == k.scancode) {
      *out = m;
      return true;
    }
  return false;
}

// The desktop pointer's screen position now; false where the display has none (Wayland).
bool GlobalPointer(int* x, int* y) {
  if (S().xpointer) return x11::Pointer(x, y);
  return !S().wayland && SDL_GetGlobalMouseState(x, y) != 0xFFFFFFFFu;
}

// The window of a desktop event, and the screen origin its co-ordinates count from.
// While a window has the capture (moving, sizing, dragging) the native windows move under
// the pointer, and an event may count from where one was a moment ago: the pointer's own
// screen position is used then, with the origin making up the difference.
HWND WindowOfEvent(Uint32 id, POINT* origin, int ex = 0, int ey = 0) {
  for (auto& [h, n] : S().natives)
    if (n.id == id) {
      *origin = POINT{n.rect.left, n.rect.top};
      int gx = 0, gy = 0;
      if (S().capturing && GlobalPointer(&gx, &gy)) *origin = POINT{gx - ex, gy - ey};
      return h;
    }
  return nullptr;
}

// Committed text that came from an input method though no composition was seen (as
// when the desktop's keyboard mapping is changed to type it): CJK and full-width text.
bool FromInputMethod(const std::u16string& text) {
  return std::any_of(text.begin(), text.end(), [](char16_t c) { return c >= 0x2E80; });
}

int ButtonKey(Uint8 b) {
  switch (b) {
    case SDL_BUTTON_LEFT: return VK_LBUTTON;
    case SDL_BUTTON_RIGHT: return VK_RBUTTON;
    case SDL_BUTTON_MIDDLE: return VK_MBUTTON;
    default: return 0;
  }
}

DWORD ThreadOf(HWND h) {
  auto w = Find(h);
  return w ? w->tid : 0;
}

// The input of a desktop event on `h`'s native window goes to the thread that owns `h`;
// the pointer's goes to this thread while one of its windows has the capture.
void RouteTo(HWND h, bool pointer) {
  InjectInto(pointer && S().capturing ? 0 : ThreadOf(h));
}

// A press gives the desktop's keyboard to the window pressed when it belongs to another
// thread, as a window manager would; back on one of this thread's windows, the keyboard
// follows this thread's active window again.
void FocusOnPress(HWND h) {
  State& st = S();
  DWORD me = GetCurrentThreadId();
  bool mine = ThreadOf(h) == me;
  if (mine && !st.yielded) return;
  SDL_SetWindowInputFocus(st.natives[h].win);
  st.focused = mine ? nullptr : h;
  st.yielded = mine ? nullptr : ActiveWindow();
}

// One desktop event into the input queue of the thread it is for (under Lock() and
// S().m; the injections take no window lock).
void Take(const SDL_Event& e, std::vector<std::pair<HWND, WPARAM>>* commands) {
  POINT o{0, 0};
  HWND h = nullptr;
  switch (e.type) {
    case SDL_MOUSEMOTION:
      if (!(h = WindowOfEvent(e.motion.windowID, &o, e.motion.x, e.motion.y))) break;
      RouteTo(h, true);
      KvInjectMouseMove(o.x + e.motion.x, o.y + e.motion.y);
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      int vk = ButtonKey(e.button.button);
      if (!vk || !(h = WindowOfEvent(e.button.windowID, &o, e.button.x, e.button.y))) break;
      if (e.type == SDL_MOUSEBUTTONDOWN && !S().capturing) FocusOnPress(h);
      RouteTo(h, true);
      KvInjectMouseMove(o.x + e.button.x, o.y + e.button.y);
      KvInjectMouseButton(vk, e.type == SDL_MOUSEBUTTONDOWN);
      break;
    }
    case SDL_MOUSEWHEEL: {
      if (!(h = WindowOfEvent(e.wheel.windowID, &o)) || !e.wheel.y) break;
      RouteTo(h, true);
      int y = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
      int mx = 0, my = 0;
      SDL_GetMouseState(&mx, &my);
      KvInjectMouseWheel(o.x + mx, o.y + my, y * WHEEL_DELTA);
      break;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      KeyMap k;
      if (!MapKey(e.key.keysym, &k)) break;
      RouteTo(WindowOfEvent(e.key.windowID, &o), false);
      InjectDesktopKey(k.vk, k.scan, k.ext, e.type == SDL_KEYDOWN);
      break;
    }
    case SDL_TEXTEDITING: {
      // The input method's composition, as it changes; empty when it is given up.
      RouteTo(WindowOfEvent(e.edit.windowID, &o), false);
      std::u16string text = kv::Utf8ToWide(e.edit.text);
      if (!text.empty() && !S().composing) InjectImeMessage(WM_IME_STARTCOMPOSITION, 0, u"");
      if (!text.empty() || S().composing) InjectImeMessage(WM_IME_COMPOSITION, text.empty() ? 0 : GCS_COMPSTR, text);
      if (text.empty() && S().composing) InjectImeMessage(WM_IME_ENDCOMPOSITION, 0, u"");
      S().composing = !text.empty();
      break;
    }
    case SDL_TEXTINPUT: {
      // Committed text: from the input method (after a composition, or text no keyboard
      // types) as its messages, else typed, one character message per unit.
      RouteTo(WindowOfEvent(e.text.windowID, &o), false);
      std::u16string text = kv::Utf8ToWide(e.text.text);
      if (S().composing || FromInputMethod(text)) {
        if (!S().composing) InjectImeMessage(WM_IME_STARTCOMPOSITION, 0, u"");
        InjectImeMessage(WM_IME_COMPOSITION, GCS_RESULTSTR, text);
        InjectImeMessage(WM_IME_ENDCOMPOSITION, 0, u"");
        S().composing = false;
      } else {
        for (char16_t c : text) KvInjectChar(c);
      }
      break;
    }
    case SDL_WINDOWEVENT: {
      HWND h = WindowOfEvent(e.window.windowID, &o);
      if (!h) break;
      if (e.window.event == SDL_WINDOWEVENT_EXPOSED) S().natives[h].full = true;
      if (e.window.event == SDL_WINDOWEVENT_CLOSE) commands->push_back({h, SC_CLOSE});  // the desktop asks to close it
      // The window manager iconified or restored it (its task bar, its keys).
      bool iconic = IsIconic(h);
      if (e.window.event == SDL_WINDOWEVENT_MINIMIZED && !iconic) commands->push_back({h, SC_MINIMIZE});
      if (e.window.event == SDL_WINDOWEVENT_RESTORED && iconic && S().natives[h].iconic)
        commands->push_back({h, SC_RESTORE});
      break;
    }
    default: break;
  }
  InjectInto(0);
}

}  // namespace

bool Active() {
  State& st = S();
  std::call_once(st.decided, Open);
  return st.active;
}

bool Live() {
  if (!Active()) return false;
  State& st = S();
  DWORD me = GetCurrentThreadId();
  DWORD owner = st.thread.load();
  if (owner == me) return true;
  if (owner) return false;
  // The first thread that shows a top-level window drives the presenter.
  bool shows = false;
  for (HWND h : ThreadTopLevels(me))
    if (auto w = Find(h); w && (w->style & WS_VISIBLE)) shows = true;
  return shows && st.thread.compare_exchange_strong(owner, me);
}

void Pump() {
  if (!Live()) return;
  std::vector<std::pair<HWND, WPARAM>> commands;  // system commands the desktop asks for
  {
    std::lock_guard<std::recursive_mutex> g(Lock());
    std::lock_guard<std::mutex> g2(S().m);
    if (S().pumping) return;
    S().pumping = true;
    Arrange();
    SDL_Event e;
    while (SDL_PollEvent(&e)) Take(e, &commands);
    // Windows newly exposed by the events are drawn again at once.
    for (auto& [h, n] : S().natives)
      if (n.full)
        if (auto w = Find(h)) Flush(n, *w);
    S().pumping = false;
  }
  for (auto [h, cmd] : commands) PostMessageW(h, WM_SYSCOMMAND, cmd, 0);
}

void Damage(HWND top, const RECT& rect) {
  if (!Active()) return;
  std::lock_guard<std::mutex> g(S().m);
  auto it = S().natives.find(top);
  if (it != S().natives.end()) AddDamage(it->second, rect);
}

bool PointerPos(POINT* pt) {
  if (!Active()) return false;
  int x = 0, y = 0;
  if (!S().xpointer || !x11::Pointer(&x, &y)) return false;
  *pt = POINT{x, y};
  return true;
}

bool MovePointer(int x, int y) { return Active() && S().xpointer && x11::Warp(x, y); }

bool WorkArea(RECT* area) {
  if (!Active()) return false;
  std::lock_guard<std::mutex> g(S().m);
  *area = S().work;
  return area->right > area->left;
}

}  // namespace kv::user::present
