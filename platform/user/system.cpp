// System metrics, parameters and version; rectangles; resetting for tests.
#include <algorithm>
#include <cstring>
#include <string>
#include <type_traits>

#include "platform/base/codepage.h"
#include "platform/base/error.h"
#include "platform/base/sync.h"
#include "platform/user/internal.h"
#include "platform/user/present.h"

namespace kv::user {

namespace {

struct Version {
  DWORD major = 5, minor = 1, build = 2600, platform = VER_PLATFORM_WIN32_NT;
};
Version gVersion;

}  // namespace

int Metric(int index) {
  int sw = 1024, sh = 768;
  KvScreenGetSize(&sw, &sh);
  switch (index) {
    case SM_CXSCREEN:
    case SM_CXVIRTUALSCREEN: return sw;
    case SM_CYSCREEN:
    case SM_CYVIRTUALSCREEN: return sh;
    case SM_XVIRTUALSCREEN:
    case SM_YVIRTUALSCREEN: return 0;
    case SM_CXFULLSCREEN: return sw;
    case SM_CYFULLSCREEN: return sh - 19;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL: return 16;
    case SM_CYVTHUMB:
    case SM_CXHTHUMB: return 16;
    case SM_CYCAPTION: return 19;
    case SM_CYMENU: return 19;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return 3;
    case SM_CXFRAME:
    case SM_CYFRAME: return 4;
    case SM_CXEDGE:
    case SM_CYEDGE: return 2;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR: return 32;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    case SM_CXSIZE:
    case SM_CYSIZE: return 18;
    case SM_CYSMCAPTION: return 15;
    case SM_CXSMSIZE: return 12;
    case SM_CYSMSIZE: return 14;
    case SM_CXMENUSIZE:
    case SM_CYMENUSIZE: return 18;
    case SM_CXMIN:
    case SM_CXMINTRACK: return 112;
    case SM_CYMIN:
    case SM_CYMINTRACK: return 27;
    case SM_CXMAXTRACK: return sw + 12;
    case SM_CYMAXTRACK: return sh + 12;
    case SM_CXMAXIMIZED: return sw + 8;
    case SM_CYMAXIMIZED: return sh + 8;
    case SM_CXMINIMIZED: return 160;
    case SM_CYMINIMIZED: return 24;
    case SM_CXMINSPACING: return 160;
    case SM_CYMINSPACING: return 24;
    case SM_CXICONSPACING:
    case SM_CYICONSPACING: return 75;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK: return 4;
    case SM_CXDRAG:
    case SM_CYDRAG: return 4;
    case SM_CXMENUCHECK:
    case SM_CYMENUCHECK: return 13;
    case SM_MOUSEPRESENT:
    case SM_MOUSEWHEELPRESENT:
    case SM_CMONITORS:
    case SM_SAMEDISPLAYFORMAT:
    case SM_DBCSENABLED: return 1;
    case SM_CMOUSEBUTTONS: return 3;
    case SM_SWAPBUTTON:
    case SM_DEBUG:
    case SM_CLEANBOOT:
    case SM_SHOWSOUNDS:
    case SM_MENUDROPALIGNMENT:
    case SM_REMOTESESSION:
    case SM_ARRANGE:
    case SM_NETWORK:
    case SM_CYKANJIWINDOW: return 0;
    default: return 0;
  }
}

void ResetSystem() { gVersion = Version{}; }

}  // namespace kv::user

using namespace kv::user;

namespace {

void FillFont(LOGFONTW* lf, int height, int weight) {
  std::memset(lf, 0, sizeof *lf);
  lf->lfHeight = height;
  lf->lfWeight = weight;
  lf->lfCharSet = 134;                      // GB2312_CHARSET
  const char16_t face[] = u"\u5b8b\u4f53";  // the system's song-style face
  std::memcpy(lf->lfFaceName, face, sizeof face);
}

void ToAnsiFont(const LOGFONTW& w, LOGFONTA* a) {
  std::memcpy(a, &w, offsetof(LOGFONTA, lfFaceName));
  std::string face = ToAnsi(w.lfFaceName);
  std::memset(a->lfFaceName, 0, sizeof a->lfFaceName);
  std::memcpy(a->lfFaceName, face.data(), std::min(face.size(), sizeof a->lfFaceName - 1));
}

void Metrics(NONCLIENTMETRICSW* m) {
  UINT size = m->cbSize;
  std::memset(m, 0, sizeof *m);
  m->cbSize = size;
  m->iBorderWidth = 1;
  m->iScrollWidth = Metric(SM_CXVSCROLL);
  m->iScrollHeight = Metric(SM_CYHSCROLL);
  m->iCaptionWidth = Metric(SM_CXSIZE);
  m->iCaptionHeight = Metric(SM_CYSIZE);
  FillFont(&m->lfCaptionFont, -12, FW_BOLD);
  m->iSmCaptionWidth = Metric(SM_CXSMSIZE);
  m->iSmCaptionHeight = Metric(SM_CYSMSIZE);
  FillFont(&m->lfSmCaptionFont, -12, FW_BOLD);
  m->iMenuWidth = Metric(SM_CXMENUSIZE);
  m->iMenuHeight = Metric(SM_CYMENUSIZE);
  FillFont(&m->lfMenuFont, -12, FW_NORMAL);
  FillFont(&m->lfStatusFont, -12, FW_NORMAL);
  FillFont(&m->lfMessageFont, -12, FW_NORMAL);
}

BOOL Spi(UINT action, UINT param, LPVOID pv, bool unicode) {
  switch (action) {
    case SPI_GETNONCLIENTMETRICS: {
      if (!pv) break;
      if (unicode) {
        auto m = static_cast<NONCLIENTMETRICSW*>(pv);
        if (m->cbSize != sizeof(NONCLIENTMETRICSW) || (param && param != sizeof(NONCLIENTMETRICSW))) break;
        Metrics(m);
      } else {
        auto a = static_cast<NONCLIENTMETRICSA*>(pv);
        if (a->cbSize != sizeof(NONCLIENTMETRICSA) || (param && param != sizeof(NONCLIENTMETRICSA))) break;
        NONCLIENTMETRICSW w{};
        w.cbSize = sizeof w;
        Metrics(&w);
        a->iBorderWidth = w.iBorderWidth;
        a->iScrollWidth = w.iScrollWidth;
        a->iScrollHeight = w.iScrollHeight;
        a->iCaptionWidth = w.iCaptionWidth;
        a->iCaptionHeight = w.iCaptionHeight;
        ToAnsiFont(w.lfCaptionFont, &a->lfCaptionFont);
        a->iSmCaptionWidth = w.iSmCaptionWidth;
        a->iSmCaptionHeight = w.iSmCaptionHeight;
        ToAnsiFont(w.lfSmCaptionFont, &a->lfSmCaptionFont);
        a->iMenuWidth = w.iMenuWidth;
        a->iMenuHeight = w.iMenuHeight;
        ToAnsiFont(w.lfMenuFont, &a->lfMenuFont);
        ToAnsiFont(w.lfStatusFont, &a->lfStatusFont);
        ToAnsiFont(w.lfMessageFont, &a->lfMessageFont);
      }
      return TRUE;
    }
    case SPI_GETICONTITLELOGFONT: {
      if (!pv) break;
      LOGFONTW lf;
      FillFont(&lf, -12, FW_NORMAL);
      if (unicode)
        *static_cast<LOGFONTW*>(pv) = lf;
      else
        ToAnsiFont(lf, static_cast<LOGFONTA*>(pv));
      return TRUE;
    }
    case SPI_GETWORKAREA: {
      if (!pv) break;
      // The display's own work area when windows are presented, else the screen less a
      // taskbar at the bottom.
      if (!present::WorkArea(static_cast<RECT*>(pv)))
        *static_cast<RECT*>(pv) = RECT{0, 0, Metric(SM_CXSCREEN), Metric(SM_CYSCREEN) - 28};
      return TRUE;
    }
    case SPI_GETBORDER:
      if (!pv) break;
      *static_cast<int*>(pv) = 1;
      return TRUE;
    case SPI_GETWHEELSCROLLLINES:
      if (!pv) break;
      *static_cast<UINT*>(pv) = 3;
      return TRUE;
    case SPI_GETMENUSHOWDELAY:
      if (!pv) break;
      *static_cast<UINT*>(pv) = 400;
      return TRUE;
    case SPI_GETDRAGFULLWINDOWS:
    case SPI_GETGRADIENTCAPTIONS:
    case SPI_GETKEYBOARDCUES:
    case SPI_GETMENUANIMATION:
    case SPI_GETCOMBOBOXANIMATION:
    case SPI_GETFLATMENU:
      if (!pv) break;
      *static_cast<BOOL*>(pv) = FALSE;
      return TRUE;
    default: SetLastError(ERROR_INVALID_PARAMETER); return FALSE;
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

// GetVersionEx in both forms; the larger (Ex) structures take the same fields.
template <class Info>
BOOL VersionEx(Info* info) {
  if (!info || info->dwOSVersionInfoSize < sizeof(Info)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  info->dwMajorVersion = gVersion.major;
  info->dwMinorVersion = gVersion.minor;
  info->dwBuildNumber = gVersion.build;
  info->dwPlatformId = gVersion.platform;
  std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
  using C = std::remove_extent_t<decltype(info->szCSDVersion)>;
  if (gVersion.platform == VER_PLATFORM_WIN32_NT) TextFor<C>(u"Service Pack 2").copy(info->szCSDVersion, 127);
  return TRUE;
}

}  // namespace

extern "C" {

int GetSystemMetrics(int index) { return Metric(index); }

BOOL SystemParametersInfoW(UINT action, UINT param, LPVOID pv, UINT) { return Spi(action, param, pv, true); }
BOOL SystemParametersInfoA(UINT action, UINT param, LPVOID pv, UINT) { return Spi(action, param, pv, false); }

DWORD GetVersion(void) {
  DWORD v = (gVersion.major & 0xFF) | ((gVersion.minor & 0xFF) << 8);
  if (gVersion.platform == VER_PLATFORM_WIN32_NT)
    v |= (gVersion.build & 0x7FFF) << 16;
  else
    v |= 0x80000000u;
  return v;
}

BOOL GetVersionExW(LPOSVERSIONINFOW info) { return VersionEx(info); }

BOOL GetVersionExA(LPOSVERSIONINFOA info) { return VersionEx(info); }

void KvUserSetVersion(DWORD major, DWORD minor, DWORD build, DWORD platform_id) {
  gVersion = Version{major, minor, build, platform_id};
}

// ---- Rectangles ------------------------------------------------------------------------------------
BOOL SetRect(LPRECT r, int l, int t, int rt, int b) {
  if (!r) return FALSE;
  *r = RECT{l, t, rt, b};
  return TRUE;
}
BOOL SetRectEmpty(LPRECT r) { return SetRect(r, 0, 0, 0, 0); }
BOOL CopyRect(LPRECT d, const RECT* s) {
  if (!d || !s) return FALSE;
  *d = *s;
  return TRUE;
}
BOOL IsRectEmpty(const RECT* r) { return !r || r->right <= r->left || r->bottom <= r->top; }
BOOL EqualRect(const RECT* a, const RECT* b) {
  if (!a || !b) return FALSE;
  return a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}
BOOL PtInRect(const RECT* r, POINT p) {
  return r && p.x >= r->left && p.x < r->right && p.y >= r->top && p.y < r->bottom;
}
BOOL OffsetRect(LPRECT r, int dx, int dy) {
  if (!r) return FALSE;
  r->left += dx;
  r->right += dx;
  r->top += dy;
  r->bottom += dy;
  return TRUE;
}
BOOL InflateRect(LPRECT r, int dx, int dy) {
  if (!r) return FALSE;
  r->left -= dx;
  r->right += dx;
  r->top -= dy;
  r->bottom += dy;
  return TRUE;
}
BOOL IntersectRect(LPRECT d, const RECT* a, const RECT* b) {
  if (!d || !a || !b) return FALSE;
  RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
         std::min(a->bottom, b->bottom)};
  if (r.right <= r.left || r.bottom <= r.top) {
    *d = RECT{0, 0, 0, 0};
    return FALSE;
  }
  *d = r;
  return TRUE;
}
BOOL UnionRect(LPRECT d, const RECT* a, const RECT* b) {
  if (!d || !a || !b) return FALSE;
  bool ea = IsRectEmpty(a), eb = IsRectEmpty(b);
  if (ea && eb) {
    *d = RECT{0, 0, 0, 0};
    return FALSE;
  }
  if (ea) {
    *d = *b;
    return TRUE;
  }
  if (eb) {
    *d = *a;
    return TRUE;
  }
  *d = RECT{std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
            std::max(a->bottom, b->bottom)};
  return TRUE;
}
BOOL SubtractRect(LPRECT d, const RECT* a, const RECT* b) {
  if (!d || !a || !b) return FALSE;
  RECT r = *a;
  RECT i;
  if (IntersectRect(&i, a, b)) {
    if (i.top == r.top && i.bottom == r.bottom) {
      if (i.left == r.left)
        r.left = i.right;
      else if (i.right == r.right)
        r.right = i.left;
    } else if (i.left == r.left && i.right == r.right) {
      if (i.top == r.top)
        r.top = i.bottom;
      else if (i.bottom == r.bottom)
        r.bottom = i.top;
    }
  }
  if (IsRectEmpty(&r)) {
    *d = RECT{0, 0, 0, 0};
    return FALSE;
  }
  *d = r;
  return TRUE;
}

// ---- Reset -------------------------------------------------------------------------------------------
void KvUserReset(void) {
  // Hooks go first so that none refuses a destruction; the windows' own procedures
  // still see their destruction messages.
  ResetMessages();
  for (HWND t : ThreadTopLevels(GetCurrentThreadId())) {
    if (IsWindow(t)) DestroyWindow(t);
  }
  for (HWND t : ThreadMessageOnly(GetCurrentThreadId())) {
    if (IsWindow(t)) DestroyWindow(t);
  }
  ResetMessages();
  ResetInput();
  ResetFocus();
  ResetMenus();
  ResetIcons();
  ResetClasses();
  ResetSystem();
  ResetMessageBoxes();
  ResetBuiltinModule();
}

}  // extern "C"
