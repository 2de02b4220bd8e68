// System metrics, parameters and version; rectangles; scroll bar state; message boxes;
// the "user32.dll" built-in module with its optional entries; resetting for tests.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <unistd.h>

#include "platform/base/codepage.h"
#include "platform/base/error.h"
#include "platform/base/module.h"
#include "platform/base/sync.h"
#include "platform/user/internal.h"

namespace kv::user {

namespace {

struct Version {
  DWORD major = 5, minor = 1, build = 2600, platform = VER_PLATFORM_WIN32_NT;
};
Version gVersion;

struct MsgBoxState {
  std::mutex m;
  std::vector<KVMSGBOXRECORD> log;
  std::deque<int> script;
};
MsgBoxState& Boxes() {
  static MsgBoxState s;
  return s;
}

}  // namespace

int Metric(int index) {
  int sw = 1024, sh = 768;
  KvScreenGetSize(&sw, &sh);
  switch (index) {
    case SM_CXSCREEN: case SM_CXVIRTUALSCREEN: return sw;
    case SM_CYSCREEN: case SM_CYVIRTUALSCREEN: return sh;
    case SM_XVIRTUALSCREEN: case SM_YVIRTUALSCREEN: return 0;
    case SM_CXFULLSCREEN: return sw;
    case SM_CYFULLSCREEN: return sh - 19;
    case SM_CXVSCROLL: case SM_CYHSCROLL: case SM_CYVSCROLL: case SM_CXHSCROLL: return 16;
    case SM_CYVTHUMB: case SM_CXHTHUMB: return 16;
    case SM_CYCAPTION: return 19;
    case SM_CYMENU: return 19;
    case SM_CXBORDER: case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME: case SM_CYDLGFRAME: return 3;
    case SM_CXFRAME: case SM_CYFRAME: return 4;
    case SM_CXEDGE: case SM_CYEDGE: return 2;
    case SM_CXICON: case SM_CYICON: case SM_CXCURSOR: case SM_CYCURSOR: return 32;
    case SM_CXSMICON: case SM_CYSMICON: return 16;
    case SM_CXSIZE: case SM_CYSIZE: return 18;
    case SM_CYSMCAPTION: return 15;
    case SM_CXSMSIZE: return 12;
    case SM_CYSMSIZE: return 14;
    case SM_CXMENUSIZE: case SM_CYMENUSIZE: return 18;
    case SM_CXMIN: case SM_CXMINTRACK: return 112;
    case SM_CYMIN: case SM_CYMINTRACK: return 27;
    case SM_CXMAXTRACK: return sw + 12;
    case SM_CYMAXTRACK: return sh + 12;
    case SM_CXMAXIMIZED: return sw + 8;
    case SM_CYMAXIMIZED: return sh + 8;
    case SM_CXMINIMIZED: return 160;
    case SM_CYMINIMIZED: return 24;
    case SM_CXMINSPACING: return 160;
    case SM_CYMINSPACING: return 24;
    case SM_CXICONSPACING: case SM_CYICONSPACING: return 75;
    case SM_CXDOUBLECLK: case SM_CYDOUBLECLK: return 4;
    case SM_CXDRAG: case SM_CYDRAG: return 4;
    case SM_CXMENUCHECK: case SM_CYMENUCHECK: return 13;
    case SM_MOUSEPRESENT: case SM_MOUSEWHEELPRESENT: case SM_CMONITORS: case SM_SAMEDISPLAYFORMAT:
    case SM_DBCSENABLED:
      return 1;
    case SM_CMOUSEBUTTONS: return 3;
    case SM_SWAPBUTTON: case SM_DEBUG: case SM_CLEANBOOT: case SM_SHOWSOUNDS: case SM_MENUDROPALIGNMENT:
    case SM_REMOTESESSION: case SM_ARRANGE: case SM_NETWORK: case SM_CYKANJIWINDOW:
      return 0;
    default:
      return 0;
  }
}

void ResetSystem() {
  gVersion = Version{};
  MsgBoxState& b = Boxes();
  std::lock_guard<std::mutex> g(b.m);
  b.log.clear();
  b.script.clear();
}

}  // namespace kv::user

using namespace kv::user;

namespace {

void FillFont(LOGFONTW* lf, int height, int weight) {
  std::memset(lf, 0, sizeof *lf);
  lf->lfHeight = height;
  lf->lfWeight = weight;
  lf->lfCharSet = 134;  // GB2312_CHARSET
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
      if (unicode) *static_cast<LOGFONTW*>(pv) = lf;
      else ToAnsiFont(lf, static_cast<LOGFONTA*>(pv));
      return TRUE;
    }
    case SPI_GETWORKAREA: {
      if (!pv) break;
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
    case SPI_GETDRAGFULLWINDOWS: case SPI_GETGRADIENTCAPTIONS: case SPI_GETKEYBOARDCUES:
    case SPI_GETMENUANIMATION: case SPI_GETCOMBOBOXANIMATION: case SPI_GETFLATMENU:
      if (!pv) break;
      *static_cast<BOOL*>(pv) = FALSE;
      return TRUE;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

// ---- Message boxes ------------------------------------------------------------------------------
int DefaultAnswer(UINT type) {
  static const int buttons[7][3] = {{IDOK, 0, 0},         {IDOK, IDCANCEL, 0},   {IDABORT, IDRETRY, IDIGNORE},
                                    {IDYES, IDNO, IDCANCEL}, {IDYES, IDNO, 0},   {IDRETRY, IDCANCEL, 0},
                                    {IDCANCEL, IDTRYAGAIN, IDCONTINUE}};
  UINT kind = type & MB_TYPEMASK;
  if (kind > 6) kind = 0;
  UINT def = (type & MB_DEFMASK) >> 8;
  if (def > 2 || !buttons[kind][def]) def = 0;
  return buttons[kind][def];
}

bool Interactive() {
  const char* t = std::getenv("KORVANE_TEST");
  return isatty(0) && !(t && *t && std::strcmp(t, "0") != 0);
}

int AskTerminal(const std::string& text, const std::string& caption, UINT type, int fallback) {
  static const char* names[7] = {"OK", "OK/Cancel", "Abort/Retry/Ignore", "Yes/No/Cancel", "Yes/No", "Retry/Cancel",
                                 "Cancel/Try again/Continue"};
  UINT kind = type & MB_TYPEMASK;
  if (kind > 6) kind = 0;
  std::fprintf(stderr, "\n[%s]\n%s\n(%s) > ", caption.c_str(), text.c_str(), names[kind]);
  std::fflush(stderr);
  std::string line;
  if (!std::getline(std::cin, line)) return fallback;
  for (auto& c : line) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  struct { const char* word; int id; } words[] = {{"ok", IDOK}, {"cancel", IDCANCEL}, {"abort", IDABORT},
                                                  {"retry", IDRETRY}, {"ignore", IDIGNORE}, {"yes", IDYES},
                                                  {"no", IDNO}, {"try", IDTRYAGAIN}, {"continue", IDCONTINUE}};
  for (auto& w : words)
    if (line.rfind(w.word, 0) == 0) return w.id;
  return fallback;
}

int ShowBox(HWND owner, const std::u16string& text, const std::u16string& caption, UINT type) {
  std::string t8 = kv::WideToUtf8(text), c8 = kv::WideToUtf8(caption);
  int answer;
  MsgBoxState& b = Boxes();
  bool scripted;
  {
    std::lock_guard<std::mutex> g(b.m);
    scripted = !b.script.empty();
    answer = scripted ? b.script.front() : DefaultAnswer(type);
    if (scripted) b.script.pop_front();
  }
  if (!scripted && Interactive()) answer = AskTerminal(t8, c8, type, answer);
  KVMSGBOXRECORD r{};
  std::snprintf(r.text, sizeof r.text, "%s", t8.c_str());
  std::snprintf(r.caption, sizeof r.caption, "%s", c8.c_str());
  r.type = type;
  r.answer = answer;
  r.owner = owner;
  std::lock_guard<std::mutex> g(b.m);
  b.log.push_back(r);
  return answer;
}

// ---- The built-in "user32.dll" -----------------------------------------------------------------
BOOL DisableProcessWindowsGhostingImpl() { return TRUE; }

const char* const kOptional[] = {"GetScrollBarInfo", "TrackMouseEvent", "GetComboBoxInfo",
                                 "DisableProcessWindowsGhosting"};
bool gPresent[4] = {true, true, true, true};

std::vector<KvExport>& AllExports();
KvExport gCurrent[256];

void Publish() {
  size_t n = 0;
  for (const KvExport& e : AllExports()) {
    bool skip = false;
    for (int i = 0; i < 4; ++i)
      if (!gPresent[i] && std::strcmp(e.name, kOptional[i]) == 0) skip = true;
    if (!skip && n < 256) gCurrent[n++] = e;
  }
  KvRegisterBuiltinModule("user32.dll", gCurrent, n);
}

}  // namespace

extern "C" {
void DisableProcessWindowsGhosting(void) { DisableProcessWindowsGhostingImpl(); }
}

namespace {

#define KV_EXPORT(fn) KvExport{#fn, reinterpret_cast<void*>(&fn)}
std::vector<KvExport>& AllExports() {
  static std::vector<KvExport> all = {
      KV_EXPORT(GetScrollBarInfo), KV_EXPORT(TrackMouseEvent), KV_EXPORT(GetComboBoxInfo),
      KV_EXPORT(DisableProcessWindowsGhosting), KV_EXPORT(SetWindowsHookExA), KV_EXPORT(SetWindowsHookExW),
      KV_EXPORT(UnhookWindowsHookEx), KV_EXPORT(CallNextHookEx), KV_EXPORT(SendMessageA), KV_EXPORT(SendMessageW),
      KV_EXPORT(PostMessageA), KV_EXPORT(PostMessageW), KV_EXPORT(GetSystemMetrics), KV_EXPORT(MessageBoxA),
      KV_EXPORT(MessageBoxW), KV_EXPORT(GetWindowLongA), KV_EXPORT(GetWindowLongW), KV_EXPORT(SetWindowLongA),
      KV_EXPORT(SetWindowLongW), KV_EXPORT(CallWindowProcA), KV_EXPORT(CallWindowProcW),
      KV_EXPORT(DefWindowProcA), KV_EXPORT(DefWindowProcW), KV_EXPORT(SetWindowRgn), KV_EXPORT(GetWindowRgn),
      KV_EXPORT(GetSysColor), KV_EXPORT(GetSysColorBrush), KV_EXPORT(SystemParametersInfoA),
      KV_EXPORT(SystemParametersInfoW), KV_EXPORT(RedrawWindow), KV_EXPORT(GetDCEx), KV_EXPORT(ReleaseDC),
      KV_EXPORT(GetWindowDC), KV_EXPORT(GetDC), KV_EXPORT(IsWindowUnicode), KV_EXPORT(GetVersion),
  };
  return all;
}

struct Init {
  Init() {
    RegisterControls();
    Publish();
  }
} gInit;

}  // namespace

extern "C" {

int GetSystemMetrics(int index) { return Metric(index); }

BOOL SystemParametersInfoW(UINT action, UINT param, LPVOID pv, UINT) { return Spi(action, param, pv, true); }
BOOL SystemParametersInfoA(UINT action, UINT param, LPVOID pv, UINT) { return Spi(action, param, pv, false); }

DWORD GetVersion(void) {
  DWORD v = (gVersion.major & 0xFF) | ((gVersion.minor & 0xFF) << 8);
  if (gVersion.platform == VER_PLATFORM_WIN32_NT) v |= (gVersion.build & 0x7FFF) << 16;
  else v |= 0x80000000u;
  return v;
}

BOOL GetVersionExW(LPOSVERSIONINFOW info) {
  if (!info || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOW)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  info->dwMajorVersion = gVersion.major;
  info->dwMinorVersion = gVersion.minor;
  info->dwBuildNumber = gVersion.build;
  info->dwPlatformId = gVersion.platform;
  std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
  std::u16string sp = gVersion.platform == VER_PLATFORM_WIN32_NT ? u"Service Pack 2" : u"";
  std::memcpy(info->szCSDVersion, sp.data(), sp.size() * sizeof(WCHAR));
  return TRUE;
}

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
  if (!info || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  info->dwMajorVersion = gVersion.major;
  info->dwMinorVersion = gVersion.minor;
  info->dwBuildNumber = gVersion.build;
  info->dwPlatformId = gVersion.platform;
  std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
  if (gVersion.platform == VER_PLATFORM_WIN32_NT) std::strcpy(info->szCSDVersion, "Service Pack 2");
  return TRUE;
}

void KvUserSetVersion(DWORD major, DWORD minor, DWORD build, DWORD platform_id) {
  gVersion = Version{major, minor, build, platform_id};
}

BOOL KvUserSetOptionalEntry(const char* name, BOOL present) {
  if (!name) return FALSE;
  for (int i = 0; i < 4; ++i)
    if (std::strcmp(name, kOptional[i]) == 0) {
      gPresent[i] = present != FALSE;
      Publish();
      return TRUE;
    }
  return FALSE;
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
  if (ea) { *d = *b; return TRUE; }
  if (eb) { *d = *a; return TRUE; }
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
      if (i.left == r.left) r.left = i.right;
      else if (i.right == r.right) r.right = i.left;
    } else if (i.left == r.left && i.right == r.right) {
      if (i.top == r.top) r.top = i.bottom;
      else if (i.bottom == r.bottom) r.bottom = i.top;
    }
  }
  if (IsRectEmpty(&r)) {
    *d = RECT{0, 0, 0, 0};
    return FALSE;
  }
  *d = r;
  return TRUE;
}

// ---- Message boxes ---------------------------------------------------------------------------------
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  return ShowBox(owner, text ? std::u16string(text) : std::u16string(),
                 caption ? std::u16string(caption) : std::u16string(u"\u9519\u8bef"), type);
}
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  return ShowBox(owner, ToWide(text), caption ? ToWide(caption) : std::u16string(u"\u9519\u8bef"), type);
}
int MessageBoxExW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type, WORD) {
  return MessageBoxW(owner, text, caption, type);
}
int MessageBoxExA(HWND owner, LPCSTR text, LPCSTR caption, UINT type, WORD) {
  return MessageBoxA(owner, text, caption, type);
}

DWORD KvMessageBoxLogCount(void) {
  MsgBoxState& b = Boxes();
  std::lock_guard<std::mutex> g(b.m);
  return static_cast<DWORD>(b.log.size());
}
BOOL KvMessageBoxLogGet(DWORD index, KVMSGBOXRECORD* record) {
  MsgBoxState& b = Boxes();
  std::lock_guard<std::mutex> g(b.m);
  if (!record || index >= b.log.size()) return FALSE;
  *record = b.log[index];
  return TRUE;
}
void KvMessageBoxLogClear(void) {
  MsgBoxState& b = Boxes();
  std::lock_guard<std::mutex> g(b.m);
  b.log.clear();
}
void KvMessageBoxScriptPush(int answer) {
  MsgBoxState& b = Boxes();
  std::lock_guard<std::mutex> g(b.m);
  b.script.push_back(answer);
}
void KvMessageBoxScriptClear(void) {
  MsgBoxState& b = Boxes();
  std::lock_guard<std::mutex> g(b.m);
  b.script.clear();
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
  for (int i = 0; i < 4; ++i) gPresent[i] = true;
  Publish();
}

}  // extern "C"
