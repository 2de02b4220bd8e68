// Windows: the table of handles, creation and destruction with their message sequences,
// the tree (parent, owner, z-order), styles, longs, text, properties, rectangles,
// coordinate mapping and hit-testing of points.
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "platform/base/codepage.h"
#include "platform/base/error.h"
#include "platform/base/sync.h"
#include "platform/drive/drive.h"
#include "platform/user/internal.h"

namespace kv::user {

namespace {

// Never destroyed: windows still alive at exit must not free GDI objects after the
// raster engine's own tables are gone.
std::unordered_map<uintptr_t, WindowPtr>& Table() {
  static auto* table = new std::unordered_map<uintptr_t, WindowPtr>;
  return *table;
}
uintptr_t gNextHandle = 0x10010;
std::vector<HWND> gMessageOnly;

}  // namespace

Window::~Window() {
  if (region) DeleteObject(region);
  if (update) DeleteObject(update);
}

std::recursive_mutex& Lock() {
  static std::recursive_mutex m;
  return m;
}

WindowPtr Find(HWND hwnd) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  auto it = Table().find(reinterpret_cast<uintptr_t>(hwnd));
  if (it == Table().end() || it->second->dead) return nullptr;
  return it->second;
}

WindowPtr Get(HWND hwnd) {
  WindowPtr w = Find(hwnd);
  if (!w) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return w;
}

std::vector<HWND>& TopLevels() {
  static std::vector<HWND> tops;
  return tops;
}

std::vector<HWND> ThreadTopLevels(DWORD tid) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  std::vector<HWND> out;
  for (HWND h : TopLevels()) {
    auto w = Find(h);
    if (w && w->tid == tid) out.push_back(h);
  }
  return out;
}

std::vector<HWND> ThreadMessageOnly(DWORD tid) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  std::vector<HWND> out;
  for (HWND h : gMessageOnly) {
    auto w = Find(h);
    if (w && w->tid == tid) out.push_back(h);
  }
  return out;
}

std::vector<HWND>& Siblings(const Window& w) {
  if (w.parent) {
    auto p = Find(w.parent);
    if (p) return p->children;
  }
  if (std::find(gMessageOnly.begin(), gMessageOnly.end(), w.hwnd) != gMessageOnly.end()) return gMessageOnly;
  return TopLevels();
}

bool IsDescendant(HWND ancestor, HWND hwnd) {
  auto w = Find(hwnd);
  while (w && w->parent) {
    if (w->parent == ancestor) return true;
    w = Find(w->parent);
  }
  return false;
}

HWND TopLevelOf(HWND hwnd) {
  auto w = Find(hwnd);
  while (w && w->parent) {
    auto p = Find(w->parent);
    if (!p) break;
    w = p;
  }
  return w ? w->hwnd : nullptr;
}

// A point in the parent's client area, in screen coordinates (a top-level window's parent
// is the screen).
static POINT OnScreen(const Window& w, POINT p) {
  if (w.parent) {
    auto parent = Find(w.parent);
    if (parent) {
      POINT o = ClientOrigin(*parent);
      p.x += o.x;
      p.y += o.y;
    }
  }
  return p;
}

POINT ClientOrigin(const Window& w) { return OnScreen(w, POINT{w.client.left, w.client.top}); }

POINT WindowOrigin(const Window& w) { return OnScreen(w, POINT{w.rect.left, w.rect.top}); }

RECT ScreenRect(const Window& w) {
  POINT o = WindowOrigin(w);
  return RECT{o.x, o.y, o.x + (w.rect.right - w.rect.left), o.y + (w.rect.bottom - w.rect.top)};
}

bool ReallyVisible(const Window& w) {
  if (!(w.style & WS_VISIBLE)) return false;
  if (!w.parent) return true;
  auto p = Find(w.parent);
  return p && ReallyVisible(*p);
}

void RemoveFromTree(Window& w) {
  auto& sib = Siblings(w);
  sib.erase(std::remove(sib.begin(), sib.end(), w.hwnd), sib.end());
}

namespace {

void InsertInTree(Window& w, HWND after) {
  auto& sib = Siblings(w);
  sib.erase(std::remove(sib.begin(), sib.end(), w.hwnd), sib.end());
  if (after == HWND_BOTTOM) {
    sib.push_back(w.hwnd);
  } else if (after == HWND_TOP || after == HWND_TOPMOST || after == HWND_NOTOPMOST) {
    // Top-most windows stay above the others.
    size_t i = 0;
    if (!w.parent && !(w.exStyle & WS_EX_TOPMOST)) {
      while (i < sib.size()) {
        auto o = Find(sib[i]);
        if (!o || !(o->exStyle & WS_EX_TOPMOST)) break;
        ++i;
      }
    }
    sib.insert(sib.begin() + static_cast<long>(i), w.hwnd);
  } else {
    auto it = std::find(sib.begin(), sib.end(), after);
    if (it == sib.end())
      sib.insert(sib.begin(), w.hwnd);
    else
      sib.insert(it + 1, w.hwnd);
  }
}

// Sends WM_PARENTNOTIFY up the chain of parents, as long as the windows ask for it.
void ParentNotify(HWND hwnd, UINT event) {
  auto w = Find(hwnd);
  while (w && (w->style & WS_CHILD) && !(w->exStyle & WS_EX_NOPARENTNOTIFY) && w->parent) {
    HWND parent = w->parent;
    Send(parent, WM_PARENTNOTIFY, MAKEWPARAM(event, static_cast<WORD>(Find(hwnd) ? Find(hwnd)->id : 0)),
         reinterpret_cast<LPARAM>(hwnd));
    w = Find(parent);
  }
}

void SendDestroy(HWND hwnd) {
  auto w = Find(hwnd);
  if (!w) return;
  Send(hwnd, WM_DESTROY, 0, 0);
  std::vector<HWND> kids = w->children;
  for (HWND c : kids) SendDestroy(c);
}

void FreeWindow(HWND hwnd) {
  auto w = Find(hwnd);
  if (!w) return;
  std::vector<HWND> kids = w->children;
  for (HWND c : kids) FreeWindow(c);
  Send(hwnd, WM_NCDESTROY, 0, 0);
  DestroyWindowMenus(hwnd);
  WindowDestroyedFocus(hwnd);
  KillWindowTimers(hwnd);
  ReleaseWindowDCs(hwnd);
  // String properties held their atoms.
  for (auto& p : w->props)
    if (p.first >= 0xC000) GlobalDeleteAtom(p.first);
  w->props.clear();
  std::lock_guard<std::recursive_mutex> g(Lock());
  RemoveFromTree(*w);
  w->dead = true;
  w->cls->windows--;
  w->control.reset();
  Table().erase(reinterpret_cast<uintptr_t>(hwnd));
}

HWND CreateCommon(DWORD exStyle, LPCWSTR className, const std::u16string& name, bool hasName, LPCSTR ansiClass,
                  LPCSTR ansiName, DWORD style, int x, int y, int cx, int cy, HWND parent, HMENU menu,
                  HINSTANCE instance, LPVOID param, bool unicode) {
  auto cls = FindClass(className, instance);
  if (!cls) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  bool messageOnly = parent == HWND_MESSAGE;
  if (messageOnly) parent = nullptr;
  // The first top-level window's thread is the one a harness on the drive channel drives.
  if (!messageOnly && !(style & WS_CHILD)) kv::drive::StartIfAsked();
  WindowPtr parentW;
  if (parent) {
    parentW = Get(parent);
    if (!parentW) return nullptr;
  }
  if ((style & WS_CHILD) && !parent && !messageOnly) {
    SetLastError(ERROR_TLW_WITH_WSCHILD);
    return nullptr;
  }
  if (!(style & WS_CHILD) && menu && !IsMenu(menu)) {
    SetLastError(ERROR_INVALID_MENU_HANDLE);
    return nullptr;
  }
  auto w = std::make_shared<Window>();
  w->tid = GetCurrentThreadId();
  w->cls = cls;
  w->proc = cls->proc;
  w->unicode = cls->unicode;
  w->instance = instance;
  if (style & WS_CHILD) {
    w->parent = parent;
    w->id = reinterpret_cast<UINT_PTR>(menu);
  } else {
    if (parentW) w->owner = TopLevelOf(parent);
    w->menu = menu;
    style |= WS_CLIPSIBLINGS;
    if (!(style & WS_POPUP)) style |= WS_CAPTION;
  }
  if ((exStyle & WS_EX_DLGMODALFRAME) || (style & (WS_DLGFRAME | WS_THICKFRAME))) exStyle |= WS_EX_WINDOWEDGE;
  w->style = style & ~WS_VISIBLE;
  w->exStyle = exStyle;
  w->extra.assign(static_cast<size_t>(cls->wndExtra), 0);
  w->iconBig = nullptr;
  // Default position and size of overlapped windows.
  int sw = 1024, sh = 768;
  KvScreenGetSize(&sw, &sh);
  if (!(style & (WS_CHILD | WS_POPUP))) {
    if (x == CW_USEDEFAULT) {
      x = 0;
      y = 0;
    }
    if (cx == CW_USEDEFAULT) {
      cx = sw * 3 / 4;
      cy = sh * 3 / 4;
    }
  } else {
    if (x == CW_USEDEFAULT) x = y = 0;
    if (cx == CW_USEDEFAULT) cx = cy = 0;
  }
  {
    std::lock_guard<std::recursive_mutex> g(Lock());
    w->hwnd = reinterpret_cast<HWND>(gNextHandle);
    gNextHandle += 2;
    Table()[reinterpret_cast<uintptr_t>(w->hwnd)] = w;
    cls->windows++;
    if (messageOnly)
      gMessageOnly.insert(gMessageOnly.begin(), w->hwnd);
    else
      InsertInTree(*w, (style & WS_CHILD) ? HWND_BOTTOM : HWND_TOP);
  }
  HWND hwnd = w->hwnd;
  x = std::clamp(x, -32768, 32767);
  y = std::clamp(y, -32768, 32767);
  cx = std::clamp(cx, 0, 32767);
  cy = std::clamp(cy, 0, 32767);
  w->rect = RECT{x, y, x + cx, y + cy};
  w->client = w->rect;
  w->normal = w->rect;

  std::string aClass = ansiClass && !IS_INTRESOURCE(ansiClass) ? std::string(ansiClass) : ToAnsi(cls->name);
  std::string aName = ansiName ? std::string(ansiName) : ToAnsi(name);
  CREATESTRUCTW csw{};
  csw.lpCreateParams = param;
  csw.hInstance = instance;
  csw.hMenu = menu;
  csw.hwndParent = parent;
  csw.cx = cx;
  csw.cy = cy;
  csw.x = x;
  csw.y = y;
  csw.style = static_cast<LONG>(style);
  csw.lpszName = hasName ? name.c_str() : nullptr;
  csw.lpszClass = IS_INTRESOURCE(className) ? className : cls->name.c_str();
  csw.dwExStyle = exStyle;
  CREATESTRUCTA csa{};
  std::memcpy(&csa, &csw, sizeof csa);
  csa.lpszName = hasName ? aName.c_str() : nullptr;
  csa.lpszClass = IS_INTRESOURCE(className) ? reinterpret_cast<LPCSTR>(className) : aClass.c_str();

  auto abandon = [&]() {
    std::lock_guard<std::recursive_mutex> g(Lock());
    auto ww = Find(hwnd);
    if (ww) {
      RemoveFromTree(*ww);
      ww->dead = true;
      ww->cls->windows--;
      Table().erase(reinterpret_cast<uintptr_t>(hwnd));
    }
  };

  if (CallCbtCreate(hwnd, &csw, &csa)) {
    abandon();
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  if (!Find(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  // The hook may have changed the position, size and style.
  if (unicode) {
    x = csw.x;
    y = csw.y;
    cx = csw.cx;
    cy = csw.cy;
  } else {
    x = csa.x;
    y = csa.y;
    cx = csa.cx;
    cy = csa.cy;
  }
  csw.x = csa.x = x;
  csw.y = csa.y = y;
  csw.cx = csa.cx = cx;
  csw.cy = csa.cy = cy;

  if ((style & WS_THICKFRAME) || !(style & (WS_POPUP | WS_CHILD))) {
    MINMAXINFO mmi{};
    GetMinMax(hwnd, &mmi);
    cx = std::min<int>(cx, mmi.ptMaxTrackSize.x);
    cy = std::min<int>(cy, mmi.ptMaxTrackSize.y);
    cx = std::max<int>(cx, mmi.ptMinTrackSize.x);
    cy = std::max<int>(cy, mmi.ptMinTrackSize.y);
  }
  cx = std::clamp(cx, 0, 32767);
  cy = std::clamp(cy, 0, 32767);
  x = std::clamp(x, -32768, 32767);
  y = std::clamp(y, -32768, 32767);
  if (auto ww = Find(hwnd)) {
    ww->rect = RECT{x, y, x + cx, y + cy};
    ww->client = ww->rect;
    ww->normal = ww->rect;
  } else {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  csw.cx = csa.cx = cx;
  csw.cy = csa.cy = cy;

  LPARAM cs = unicode ? reinterpret_cast<LPARAM>(&csw) : reinterpret_cast<LPARAM>(&csa);
  if (!Send(hwnd, WM_NCCREATE, 0, cs, unicode)) {
    if (Find(hwnd)) FreeWindow(hwnd);
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if (auto ww = Find(hwnd)) {
    ww->ncCreated = true;
    RECT r = ww->rect;
    Send(hwnd, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&r));
    if (auto w2 = Find(hwnd)) {
      if (r.right < r.left) r.right = r.left;
      if (r.bottom < r.top) r.bottom = r.top;
      w2->client = r;
    }
  }
  if (!Find(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if (Send(hwnd, WM_CREATE, 0, cs, unicode) == -1) {
    if (Find(hwnd)) DestroyWindow(hwnd);
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  auto ww = Find(hwnd);
  if (!ww) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  Send(hwnd, WM_SIZE, SIZE_RESTORED,
       MAKELPARAM(ww->client.right - ww->client.left, ww->client.bottom - ww->client.top));
  if ((ww = Find(hwnd))) Send(hwnd, WM_MOVE, 0, MAKELPARAM(ww->client.left, ww->client.top));
  ParentNotify(hwnd, WM_CREATE);
  if (!Find(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if (style & WS_VISIBLE) {
    int cmd = (style & WS_MAXIMIZE) ? SW_SHOWMAXIMIZED : (style & WS_MINIMIZE) ? SW_SHOWMINIMIZED : SW_SHOW;
    ShowWindow(hwnd, cmd);
  } else if (style & (WS_MAXIMIZE | WS_MINIMIZE)) {
    ShowWindow(hwnd, (style & WS_MAXIMIZE) ? SW_MAXIMIZE : SW_MINIMIZE);
    if (Find(hwnd)) ShowWindow(hwnd, SW_HIDE);
  }
  return Find(hwnd) ? hwnd : nullptr;
}

template <class C>
int WindowText(HWND hwnd, C* buffer, int size) {
  if (!Get(hwnd)) return 0;
  if (!buffer || size <= 0) return 0;
  buffer[0] = 0;
  return static_cast<int>(
      Send(hwnd, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer), kWide<C>));
}

template <class C>
BOOL SetWindowTextOf(HWND hwnd, const C* text) {
  if (!Get(hwnd)) return FALSE;
  return Send(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text), kWide<C>) != 0;
}

}  // namespace

void ButtonParentNotify(HWND hwnd, UINT button_message, POINT screen_pt) {
  auto w = Find(hwnd);
  while (w && (w->style & WS_CHILD) && !(w->exStyle & WS_EX_NOPARENTNOTIFY) && w->parent) {
    HWND parent = w->parent;
    POINT pt = screen_pt;
    ScreenToClient(parent, &pt);
    Send(parent, WM_PARENTNOTIFY, MAKEWPARAM(button_message, 0), MAKELPARAM(pt.x, pt.y));
    w = Find(parent);
  }
}

}  // namespace kv::user

using namespace kv::user;

extern "C" {

HWND CreateWindowExW(DWORD ex_style, LPCWSTR class_name, LPCWSTR window_name, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  if (!class_name) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  std::u16string name = window_name ? std::u16string(window_name) : std::u16string();
  return CreateCommon(ex_style, class_name, name, window_name != nullptr, nullptr, nullptr, style, x, y, width, height,
                      parent, menu, instance, param, true);
}

HWND CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR window_name, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  if (!class_name) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  std::u16string wclass = IS_INTRESOURCE(class_name) ? std::u16string() : ToWide(class_name);
  LPCWSTR cls = IS_INTRESOURCE(class_name) ? reinterpret_cast<LPCWSTR>(class_name) : wclass.c_str();
  std::u16string name = ToWide(window_name);
  return CreateCommon(ex_style, cls, name, window_name != nullptr, class_name, window_name, style, x, y, width, height,
                      parent, menu, instance, param, false);
}

BOOL DestroyWindow(HWND hwnd) {
  auto w = Get(hwnd);
  if (!w) return FALSE;
  if (w->tid != GetCurrentThreadId()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (w->destroying) return FALSE;
  if (CallHooks(WH_CBT, HCBT_DESTROYWND, reinterpret_cast<WPARAM>(hwnd), 0)) return FALSE;
  if (!Find(hwnd)) return FALSE;
  w->destroying = true;
  if (w->style & WS_CHILD) ParentNotify(hwnd, WM_DESTROY);
  if (!Find(hwnd)) return TRUE;
  if (w->style & WS_VISIBLE) {
    SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                 SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | (w->parent ? SWP_NOACTIVATE : 0));
  }
  if (!Find(hwnd)) return TRUE;
  if (!w->parent && ActiveWindow() == hwnd) ActivateOther(hwnd);
  // Owned windows go first.
  {
    std::vector<HWND> owned;
    {
      std::lock_guard<std::recursive_mutex> g(Lock());
      for (HWND t : TopLevels()) {
        auto o = Find(t);
        if (o && o->owner == hwnd) owned.push_back(t);
      }
    }
    for (HWND o : owned) {
      auto ow = Find(o);
      if (ow && !ow->destroying) DestroyWindow(o);
      if ((ow = Find(o))) ow->owner = nullptr;
    }
  }
  if (!Find(hwnd)) return TRUE;
  SendDestroy(hwnd);
  FreeWindow(hwnd);
  return TRUE;
}

BOOL IsWindow(HWND hwnd) { return Find(hwnd) != nullptr; }

BOOL IsWindowVisible(HWND hwnd) {
  auto w = Find(hwnd);
  return w && ReallyVisible(*w);
}

BOOL IsWindowEnabled(HWND hwnd) {
  auto w = Find(hwnd);
  return w && !(w->style & WS_DISABLED);
}

BOOL IsWindowUnicode(HWND hwnd) {
  auto w = Find(hwnd);
  return w && w->unicode;
}

BOOL IsChild(HWND parent, HWND hwnd) {
  auto w = Find(hwnd);
  while (w && (w->style & WS_CHILD) && w->parent) {
    if (w->parent == parent) return TRUE;
    w = Find(w->parent);
  }
  return FALSE;
}

BOOL IsIconic(HWND hwnd) {
  auto w = Find(hwnd);
  return w && (w->style & WS_MINIMIZE);
}

BOOL IsZoomed(HWND hwnd) {
  auto w = Find(hwnd);
  return w && (w->style & WS_MAXIMIZE);
}

DWORD GetWindowThreadProcessId(HWND hwnd, LPDWORD process_id) {
  auto w = Get(hwnd);
  if (!w) return 0;
  if (process_id) *process_id = GetCurrentProcessId();
  return w->tid;
}

HWND GetParent(HWND hwnd) {
  auto w = Get(hwnd);
  if (!w) return nullptr;
  if (w->style & WS_CHILD) return w->parent;
  if (w->style & WS_POPUP) return w->owner;
  return nullptr;
}

HWND GetDesktopWindow(void) {
  // The desktop has no window record; a fixed handle stands for it.
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x10010 - 2));
}

static bool IsDesktop(HWND hwnd) { return hwnd == GetDesktopWindow(); }

HWND SetParent(HWND hwnd, HWND new_parent) {
  auto w = Get(hwnd);
  if (!w) return nullptr;
  if (IsDesktop(new_parent)) new_parent = nullptr;
  if (new_parent) {
    auto p = Get(new_parent);
    if (!p) return nullptr;
    if (new_parent == hwnd || IsDescendant(hwnd, new_parent)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
  }
  HWND old = w->parent ? w->parent : GetDesktopWindow();
  bool wasVisible = (w->style & WS_VISIBLE) != 0;
  if (wasVisible) ShowWindow(hwnd, SW_HIDE);
  if (!(w = Find(hwnd))) return nullptr;
  {
    std::lock_guard<std::recursive_mutex> g(Lock());
    // Keep the position relative to the new parent's client area as the old numbers.
    RemoveFromTree(*w);
    w->parent = new_parent;
    if (new_parent) {
      w->owner = nullptr;
    }
    InsertInTree(*w, HWND_TOP);
  }
  if (!w->parent && !(w->style & WS_CHILD)) EnsureSurface(*w);
  SetWindowPos(hwnd, HWND_TOP, w->rect.left, w->rect.top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  if (wasVisible && Find(hwnd)) ShowWindow(hwnd, SW_SHOWNA);
  return old;
}

HWND GetAncestor(HWND hwnd, UINT flags) {
  auto w = Get(hwnd);
  if (!w) return nullptr;
  switch (flags) {
    case GA_PARENT: return w->parent ? w->parent : GetDesktopWindow();
    case GA_ROOT: return TopLevelOf(hwnd);
    case GA_ROOTOWNER: {
      HWND h = TopLevelOf(hwnd);
      for (;;) {
        auto t = Find(h);
        if (!t || !t->owner) return h;
        h = t->owner;
      }
    }
    default: SetLastError(ERROR_INVALID_PARAMETER); return nullptr;
  }
}

HWND GetWindow(HWND hwnd, UINT cmd) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  if (IsDesktop(hwnd) && cmd == GW_CHILD) return TopLevels().empty() ? nullptr : TopLevels().front();
  auto w = Get(hwnd);
  if (!w) return nullptr;
  auto& sib = Siblings(*w);
  auto it = std::find(sib.begin(), sib.end(), hwnd);
  switch (cmd) {
    case GW_HWNDFIRST: return sib.empty() ? nullptr : sib.front();
    case GW_HWNDLAST: return sib.empty() ? nullptr : sib.back();
    case GW_HWNDNEXT: return (it == sib.end() || it + 1 == sib.end()) ? nullptr : *(it + 1);
    case GW_HWNDPREV: return (it == sib.end() || it == sib.begin()) ? nullptr : *(it - 1);
    case GW_OWNER: return w->owner;
    case GW_CHILD: return w->children.empty() ? nullptr : w->children.front();
    case GW_ENABLEDPOPUP:
      for (HWND t : TopLevels()) {
        auto o = Find(t);
        if (o && o->owner == hwnd && (o->style & WS_VISIBLE) && !(o->style & WS_DISABLED)) return t;
      }
      return nullptr;
    default: SetLastError(ERROR_INVALID_GW_COMMAND); return nullptr;
  }
}

HWND GetTopWindow(HWND hwnd) {
  if (!hwnd || IsDesktop(hwnd)) {
    std::lock_guard<std::recursive_mutex> g(Lock());
    return TopLevels().empty() ? nullptr : TopLevels().front();
  }
  return GetWindow(hwnd, GW_CHILD);
}

static std::vector<HWND> Descendants(HWND parent) {
  std::vector<HWND> out;
  auto w = Find(parent);
  if (!w) return out;
  for (HWND c : w->children) {
    out.push_back(c);
    auto sub = Descendants(c);
    out.insert(out.end(), sub.begin(), sub.end());
  }
  return out;
}

BOOL EnumChildWindows(HWND parent, WNDENUMPROC proc, LPARAM lParam) {
  if (!proc) return FALSE;
  std::vector<HWND> list;
  {
    std::lock_guard<std::recursive_mutex> g(Lock());
    if (!parent || IsDesktop(parent)) {
      for (HWND t : TopLevels()) {
        list.push_back(t);
        auto sub = Descendants(t);
        list.insert(list.end(), sub.begin(), sub.end());
      }
    } else {
      if (!Get(parent)) return FALSE;
      list = Descendants(parent);
    }
  }
  for (HWND h : list) {
    if (!Find(h)) continue;
    if (!proc(h, lParam)) return FALSE;
  }
  return TRUE;
}

BOOL EnumWindows(WNDENUMPROC proc, LPARAM lParam) {
  if (!proc) return FALSE;
  std::vector<HWND> list;
  {
    std::lock_guard<std::recursive_mutex> g(Lock());
    list = TopLevels();
  }
  for (HWND h : list) {
    if (!Find(h)) continue;
    if (!proc(h, lParam)) return FALSE;
  }
  return TRUE;
}

BOOL EnumThreadWindows(DWORD thread_id, WNDENUMPROC proc, LPARAM lParam) {
  if (!proc) return FALSE;
  std::vector<HWND> list = ThreadTopLevels(thread_id);
  for (HWND h : list) {
    if (!Find(h)) continue;
    if (!proc(h, lParam)) return FALSE;
  }
  return TRUE;
}

static bool ClassMatches(const Window& w, LPCWSTR cls) {
  if (!cls) return true;
  if (IS_INTRESOURCE(cls)) return w.cls->atom == static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(cls));
  std::u16string a = w.cls->name, b = cls;
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'A' && x <= u'Z') x = char16_t(x + 32);
    if (y >= u'A' && y <= u'Z') y = char16_t(y + 32);
    if (x != y) return false;
  }
  return true;
}

HWND FindWindowExW(HWND parent, HWND child_after, LPCWSTR class_name, LPCWSTR window_name) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  std::vector<HWND> list;
  if (parent == HWND_MESSAGE) {
    list = gMessageOnly;
  } else if (!parent || IsDesktop(parent)) {
    list = TopLevels();
  } else {
    auto p = Get(parent);
    if (!p) return nullptr;
    list = p->children;
  }
  size_t start = 0;
  if (child_after) {
    auto it = std::find(list.begin(), list.end(), child_after);
    if (it == list.end()) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
    start = size_t(it - list.begin()) + 1;
  }
  for (size_t i = start; i < list.size(); ++i) {
    auto w = Find(list[i]);
    if (!w || !ClassMatches(*w, class_name)) continue;
    if (window_name && w->text != window_name) continue;
    return list[i];
  }
  SetLastError(ERROR_FILE_NOT_FOUND);
  return nullptr;
}

HWND FindWindowExA(HWND parent, HWND child_after, LPCSTR class_name, LPCSTR window_name) {
  std::u16string c = class_name && !IS_INTRESOURCE(class_name) ? ToWide(class_name) : std::u16string();
  std::u16string n = ToWide(window_name);
  LPCWSTR cls = !class_name ? nullptr : IS_INTRESOURCE(class_name) ? reinterpret_cast<LPCWSTR>(class_name) : c.c_str();
  return FindWindowExW(parent, child_after, cls, window_name ? n.c_str() : nullptr);
}

HWND FindWindowW(LPCWSTR class_name, LPCWSTR window_name) {
  return FindWindowExW(nullptr, nullptr, class_name, window_name);
}
HWND FindWindowA(LPCSTR class_name, LPCSTR window_name) {
  return FindWindowExA(nullptr, nullptr, class_name, window_name);
}

HWND GetDlgItem(HWND dialog, int id) {
  auto w = Get(dialog);
  if (!w) return nullptr;
  for (HWND c : w->children) {
    auto cw = Find(c);
    if (cw && static_cast<int>(cw->id) == id) return c;
  }
  SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
  return nullptr;
}

int GetDlgCtrlID(HWND hwnd) {
  auto w = Get(hwnd);
  if (!w) return 0;
  return (w->style & WS_CHILD) ? static_cast<int>(w->id) : 0;
}

// ---- Window longs ---------------------------------------------------------------------------
static LONG_PTR GetLong(HWND hwnd, int index, bool unicode, size_t size) {
  auto w = Get(hwnd);
  if (!w) return 0;
  if (index >= 0) {
    if (size_t(index) + size > w->extra.size()) {
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
    }
    LONG_PTR v = 0;
    if (size == sizeof(LONG)) {
      LONG l;
      std::memcpy(&l, w->extra.data() + index, sizeof l);
      v = l;
    } else {
      std::memcpy(&v, w->extra.data() + index, sizeof v);
    }
    return v;
  }
  switch (index) {
    case GWL_WNDPROC: return reinterpret_cast<LONG_PTR>(ProcForSide(w->proc, w->unicode, unicode));
    case GWL_HINSTANCE: return reinterpret_cast<LONG_PTR>(w->instance);
    case GWL_HWNDPARENT: return reinterpret_cast<LONG_PTR>((w->style & WS_CHILD) ? w->parent : w->owner);
    case GWL_ID: return static_cast<LONG_PTR>(w->id);
    case GWL_STYLE: return static_cast<LONG>(w->style);
    case GWL_EXSTYLE: return static_cast<LONG>(w->exStyle);
    case GWL_USERDATA: return w->userData;
    default: SetLastError(ERROR_INVALID_INDEX); return 0;
  }
}

static LONG_PTR SetLong(HWND hwnd, int index, LONG_PTR value, bool unicode, size_t size) {
  auto w = Get(hwnd);
  if (!w) return 0;
  if (index >= 0) {
    if (size_t(index) + size > w->extra.size()) {
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
    }
    LONG_PTR old = GetLong(hwnd, index, unicode, size);
    if (size == sizeof(LONG)) {
      LONG l = static_cast<LONG>(value);
      std::memcpy(w->extra.data() + index, &l, sizeof l);
    } else {
      std::memcpy(w->extra.data() + index, &value, sizeof value);
    }
    return old;
  }
  LONG_PTR old = GetLong(hwnd, index, unicode, size);
  switch (index) {
    case GWL_WNDPROC: {
      if (!value) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
      }
      bool u = unicode;
      w->proc = ResolveProc(reinterpret_cast<WNDPROC>(value), unicode, &u);
      w->unicode = u;
      return old;
    }
    case GWL_HINSTANCE: w->instance = reinterpret_cast<HINSTANCE>(value); return old;
    case GWL_ID: w->id = static_cast<UINT_PTR>(value); return old;
    case GWL_USERDATA: w->userData = value; return old;
    case GWL_HWNDPARENT: {
      HWND h = reinterpret_cast<HWND>(value);
      if (w->style & WS_CHILD) {
        SetParent(hwnd, h);
      } else {
        w->owner = h ? TopLevelOf(h) : nullptr;
      }
      return old;
    }
    case GWL_STYLE:
    case GWL_EXSTYLE: {
      STYLESTRUCT ss{};
      ss.styleOld = static_cast<DWORD>(old);
      ss.styleNew = static_cast<DWORD>(value);
      WPARAM which = static_cast<WPARAM>(index);
      Send(hwnd, WM_STYLECHANGING, which, reinterpret_cast<LPARAM>(&ss), unicode);
      if (!(w = Find(hwnd))) return 0;
      if (index == GWL_STYLE) {
        // The visible bit is kept by the window system; WS_CHILD is fixed at creation.
        DWORD keep = WS_VISIBLE | WS_CHILD;
        w->style = (ss.styleNew & ~keep) | (w->style & keep);
        if ((ss.styleNew ^ ss.styleOld) & WS_VISIBLE) w->style = (w->style & ~WS_VISIBLE) | (ss.styleNew & WS_VISIBLE);
        ss.styleNew = w->style;
      } else {
        w->exStyle = ss.styleNew;
      }
      Send(hwnd, WM_STYLECHANGED, which, reinterpret_cast<LPARAM>(&ss), unicode);
      return old;
    }
    default: SetLastError(ERROR_INVALID_INDEX); return 0;
  }
}

LONG GetWindowLongA(HWND hwnd, int index) { return static_cast<LONG>(GetLong(hwnd, index, false, sizeof(LONG))); }
LONG GetWindowLongW(HWND hwnd, int index) { return static_cast<LONG>(GetLong(hwnd, index, true, sizeof(LONG))); }
LONG SetWindowLongA(HWND hwnd, int index, LONG value) {
  return static_cast<LONG>(SetLong(hwnd, index, value, false, sizeof(LONG)));
}
LONG SetWindowLongW(HWND hwnd, int index, LONG value) {
  return static_cast<LONG>(SetLong(hwnd, index, value, true, sizeof(LONG)));
}
LONG_PTR GetWindowLongPtrA(HWND hwnd, int index) { return GetLong(hwnd, index, false, sizeof(LONG_PTR)); }
LONG_PTR GetWindowLongPtrW(HWND hwnd, int index) { return GetLong(hwnd, index, true, sizeof(LONG_PTR)); }
LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
  return SetLong(hwnd, index, value, false, sizeof(LONG_PTR));
}
LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value) {
  return SetLong(hwnd, index, value, true, sizeof(LONG_PTR));
}

// ---- Text ----------------------------------------------------------------------------------------
int GetWindowTextW(HWND hwnd, LPWSTR buffer, int size) { return WindowText(hwnd, buffer, size); }
int GetWindowTextA(HWND hwnd, LPSTR buffer, int size) { return WindowText(hwnd, buffer, size); }
int GetWindowTextLengthW(HWND hwnd) {
  if (!Get(hwnd)) return 0;
  return static_cast<int>(Send(hwnd, WM_GETTEXTLENGTH, 0, 0, true));
}
int GetWindowTextLengthA(HWND hwnd) {
  if (!Get(hwnd)) return 0;
  return static_cast<int>(Send(hwnd, WM_GETTEXTLENGTH, 0, 0, false));
}
BOOL SetWindowTextW(HWND hwnd, LPCWSTR text) { return SetWindowTextOf(hwnd, text); }
BOOL SetWindowTextA(HWND hwnd, LPCSTR text) { return SetWindowTextOf(hwnd, text); }

// ---- Properties ---------------------------------------------------------------------------------
BOOL SetPropW(HWND hwnd, LPCWSTR name, HANDLE data) {
  auto w = Get(hwnd);
  if (!w) return FALSE;
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  bool intAtom = IS_INTRESOURCE(name);
  // A string name is held as an atom for as long as the property exists.
  ATOM a = intAtom ? static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name)) : AddAtom(name);
  if (!a) return FALSE;
  for (auto& p : w->props)
    if (p.first == a) {
      p.second = data;
      if (!intAtom) GlobalDeleteAtom(a);
      return TRUE;
    }
  w->props.emplace_back(a, data);
  return TRUE;
}
BOOL SetPropA(HWND hwnd, LPCSTR name, HANDLE data) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string keep;
  return SetPropW(hwnd, WideName(name, keep), data);
}
HANDLE GetPropW(HWND hwnd, LPCWSTR name) {
  auto w = Find(hwnd);
  if (!w || !name) return nullptr;
  ATOM a = IS_INTRESOURCE(name) ? static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name)) : FindAtom(name);
  if (!a) return nullptr;
  for (auto& p : w->props)
    if (p.first == a) return p.second;
  return nullptr;
}
HANDLE GetPropA(HWND hwnd, LPCSTR name) {
  if (!name) return nullptr;
  std::u16string keep;
  return GetPropW(hwnd, WideName(name, keep));
}
HANDLE RemovePropW(HWND hwnd, LPCWSTR name) {
  auto w = Get(hwnd);
  if (!w || !name) return nullptr;
  bool intAtom = IS_INTRESOURCE(name);
  ATOM a = intAtom ? static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name)) : FindAtom(name);
  if (!a) return nullptr;
  for (auto it = w->props.begin(); it != w->props.end(); ++it) {
    if (it->first == a) {
      HANDLE h = it->second;
      w->props.erase(it);
      if (!intAtom) GlobalDeleteAtom(a);
      return h;
    }
  }
  return nullptr;
}
HANDLE RemovePropA(HWND hwnd, LPCSTR name) {
  if (!name) return nullptr;
  std::u16string keep;
  return RemovePropW(hwnd, WideName(name, keep));
}
int EnumPropsW(HWND hwnd, PROPENUMPROCW proc) {
  auto w = Get(hwnd);
  if (!w || !proc) return -1;
  auto props = w->props;
  int r = -1;
  for (auto& p : props) {
    std::u16string n = AtomName(p.first);
    LPCWSTR name = p.first >= 0xC000 ? n.c_str() : MAKEINTATOMW(p.first);
    r = proc(hwnd, name, p.second);
    if (!r) break;
  }
  return r;
}
int EnumPropsA(HWND hwnd, PROPENUMPROCA proc) {
  auto w = Get(hwnd);
  if (!w || !proc) return -1;
  auto props = w->props;
  int r = -1;
  for (auto& p : props) {
    std::string n = ToAnsi(AtomName(p.first));
    LPCSTR name = p.first >= 0xC000 ? n.c_str() : MAKEINTATOM(p.first);
    r = proc(hwnd, name, p.second);
    if (!r) break;
  }
  return r;
}

// ---- Rectangles and mapping ----------------------------------------------------------------------
BOOL GetWindowRect(HWND hwnd, LPRECT rect) {
  if (!rect) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (IsDesktop(hwnd)) {
    int sw, sh;
    KvScreenGetSize(&sw, &sh);
    *rect = RECT{0, 0, sw, sh};
    return TRUE;
  }
  auto w = Get(hwnd);
  if (!w) return FALSE;
  *rect = ScreenRect(*w);
  return TRUE;
}

BOOL GetClientRect(HWND hwnd, LPRECT rect) {
  if (!rect) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (IsDesktop(hwnd)) return GetWindowRect(hwnd, rect);
  auto w = Get(hwnd);
  if (!w) return FALSE;
  *rect = RECT{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
  return TRUE;
}

BOOL ClientToScreen(HWND hwnd, LPPOINT point) {
  if (!point) return FALSE;
  if (IsDesktop(hwnd)) return TRUE;
  auto w = Get(hwnd);
  if (!w) return FALSE;
  POINT o = ClientOrigin(*w);
  point->x += o.x;
  point->y += o.y;
  return TRUE;
}

BOOL ScreenToClient(HWND hwnd, LPPOINT point) {
  if (!point) return FALSE;
  if (IsDesktop(hwnd)) return TRUE;
  auto w = Get(hwnd);
  if (!w) return FALSE;
  POINT o = ClientOrigin(*w);
  point->x -= o.x;
  point->y -= o.y;
  return TRUE;
}

int MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count) {
  POINT of{0, 0}, ot{0, 0};
  if (from && !IsDesktop(from)) {
    auto w = Get(from);
    if (!w) return 0;
    of = ClientOrigin(*w);
  }
  if (to && !IsDesktop(to)) {
    auto w = Get(to);
    if (!w) return 0;
    ot = ClientOrigin(*w);
  }
  int dx = of.x - ot.x, dy = of.y - ot.y;
  for (UINT i = 0; points && i < count; ++i) {
    points[i].x += dx;
    points[i].y += dy;
  }
  SetLastError(0);
  return MAKELONG(static_cast<WORD>(static_cast<SHORT>(dx)), static_cast<WORD>(static_cast<SHORT>(dy)));
}

BOOL AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL menu, DWORD ex_style) {
  if (!rect) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!(style & (WS_POPUP | WS_CHILD))) style |= WS_CAPTION;
  if ((ex_style & WS_EX_DLGMODALFRAME) || (style & (WS_DLGFRAME | WS_THICKFRAME))) ex_style |= WS_EX_WINDOWEDGE;
  Window probe;
  probe.style = style & ~(WS_VSCROLL | WS_HSCROLL);
  probe.exStyle = ex_style;
  probe.menu = menu ? reinterpret_cast<HMENU>(1) : nullptr;
  RECT big{0, 0, 10000, 10000};
  RECT c = big;
  ComputeNcCalc(probe, &c);
  rect->left -= c.left - big.left;
  rect->top -= c.top - big.top;
  rect->right += big.right - c.right;
  rect->bottom += big.bottom - c.bottom;
  return TRUE;
}

BOOL AdjustWindowRect(LPRECT rect, DWORD style, BOOL menu) { return AdjustWindowRectEx(rect, style, menu, 0); }

// Whether a point (screen) lies in the window, its region honoured.
static bool PointIn(const Window& w, POINT pt) {
  RECT r = ScreenRect(w);
  if (pt.x < r.left || pt.x >= r.right || pt.y < r.top || pt.y >= r.bottom) return false;
  if (w.region && !PtInRegion(w.region, pt.x - r.left, pt.y - r.top)) return false;
  return true;
}

static HWND ChildFrom(HWND parent, POINT pt, UINT flags) {
  auto p = Find(parent);
  if (!p) return nullptr;
  for (HWND c : p->children) {
    auto cw = Find(c);
    if (!cw) continue;
    if ((flags & CWP_SKIPINVISIBLE) && !(cw->style & WS_VISIBLE)) continue;
    if ((flags & CWP_SKIPDISABLED) && (cw->style & WS_DISABLED)) continue;
    if ((flags & CWP_SKIPTRANSPARENT) && (cw->exStyle & WS_EX_TRANSPARENT)) continue;
    if (PointIn(*cw, pt)) return c;
  }
  return nullptr;
}

HWND WindowFromPoint(POINT point) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  for (HWND t : TopLevels()) {
    auto w = Find(t);
    if (!w || !(w->style & WS_VISIBLE) || !PointIn(*w, point)) continue;
    HWND cur = t;
    for (;;) {
      auto cw = Find(cur);
      POINT o = ClientOrigin(*cw);
      RECT cr{o.x, o.y, o.x + (cw->client.right - cw->client.left), o.y + (cw->client.bottom - cw->client.top)};
      if (point.x < cr.left || point.x >= cr.right || point.y < cr.top || point.y >= cr.bottom) break;
      if (cw->style & WS_MINIMIZE) break;
      HWND c = ChildFrom(cur, point, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
      if (!c) break;
      auto ccw = Find(c);
      if (ccw->style & WS_DISABLED) break;  // a disabled child: the point belongs to its parent
      cur = c;
    }
    return cur;
  }
  return nullptr;
}

HWND ChildWindowFromPointEx(HWND parent, POINT point, UINT flags) {
  auto p = Get(parent);
  if (!p) return nullptr;
  RECT c{0, 0, p->client.right - p->client.left, p->client.bottom - p->client.top};
  if (point.x < c.left || point.x >= c.right || point.y < c.top || point.y >= c.bottom) return nullptr;
  POINT s = point;
  ClientToScreen(parent, &s);
  HWND h = ChildFrom(parent, s, flags);
  return h ? h : parent;
}

HWND ChildWindowFromPoint(HWND parent, POINT point) { return ChildWindowFromPointEx(parent, point, CWP_ALL); }

// ---- Regions -------------------------------------------------------------------------------------
int SetWindowRgn(HWND hwnd, HRGN region, BOOL redraw) {
  auto w = Get(hwnd);
  if (!w) return 0;
  if (region && GetObjectType(region) != OBJ_REGION) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (w->region && w->region != region) DeleteObject(w->region);
  w->region = region;
  // The frame is recomputed and, when asked, redrawn: the platform sends the position
  // messages with SWP_FRAMECHANGED.
  UINT flags = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER | SWP_FRAMECHANGED |
               (redraw ? 0 : SWP_NOREDRAW);
  SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, flags);
  return 1;
}

int GetWindowRgn(HWND hwnd, HRGN region) {
  auto w = Get(hwnd);
  if (!w) return ERROR;
  if (!w->region || !region) return ERROR;
  return CombineRgn(region, w->region, nullptr, RGN_COPY);
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
  auto w = Get(hwnd);
  if (!w) return FALSE;
  BOOL wasDisabled = (w->style & WS_DISABLED) ? TRUE : FALSE;
  if (enable && wasDisabled) {
    w->style &= ~WS_DISABLED;
    Send(hwnd, WM_ENABLE, TRUE, 0);
  } else if (!enable && !wasDisabled) {
    Send(hwnd, WM_CANCELMODE, 0, 0);
    if (!(w = Find(hwnd))) return FALSE;
    w->style |= WS_DISABLED;
    HWND f = FocusWindow();
    if (f && (f == hwnd || IsDescendant(hwnd, f))) SetFocus(nullptr);
    if (GetCapture() == hwnd) ReleaseCapture();
    Send(hwnd, WM_ENABLE, FALSE, 0);
  }
  return wasDisabled;
}

}  // extern "C"
