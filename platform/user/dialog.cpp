// "#32770" dialogs: creation from an in-memory template (plain or extended), the default
// dialog procedure, keyboard navigation (IsDialogMessage), modal loops and the dialog
// item helpers.
#include <algorithm>
#include <cstring>
#include <string>

#include "platform/base/error.h"
#include "platform/user/button.h"
#include "platform/user/dialog.h"
#include "platform/user/edit.h"
#include "platform/user/internal.h"

namespace kv::user {

namespace {

struct DialogData : ControlData {
  INT_PTR result = 0;
  bool ended = false;
  UINT defId = IDOK;
  HWND savedFocus = nullptr;
  HFONT font = nullptr;  // made from the template; deleted with the dialog
  int baseX = 6, baseY = 13;
  HWND disabledOwner = nullptr;  // a modal dialog's owner, enabled again by EndDialog
};

// The dialog state of a window; null for a window that holds another control's data.
DialogData* DlgData(HWND hwnd) {
  auto w = Find(hwnd);
  if (!w) return nullptr;
  if (w->control) return dynamic_cast<DialogData*>(w->control.get());
  return &DataOf<DialogData>(*w);
}

DLGPROC ProcOf(HWND hwnd) { return reinterpret_cast<DLGPROC>(GetWindowLongPtrW(hwnd, DWLP_DLGPROC)); }

// Messages whose dialog-procedure answer is the message's result itself.
bool DirectResult(UINT msg) {
  switch (msg) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG: return true;
    default: return false;
  }
}

bool IsTabStop(HWND h) {
  auto w = Find(h);
  return w && (w->style & WS_TABSTOP) && (w->style & WS_VISIBLE) && !(w->style & WS_DISABLED);
}

void FocusControl(HWND dialog, HWND ctl) {
  if (!ctl) return;
  if (SendMessageW(ctl, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageW(ctl, EM_SETSEL, 0, -1);
  SetFocus(ctl);
  if (DialogData* d = DlgData(dialog)) d->savedFocus = ctl;
}

bool IsPushButton(HWND h) {
  LRESULT code = SendMessageW(h, WM_GETDLGCODE, 0, 0);
  return (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0;
}

void SetDefault(HWND dialog, UINT id) {
  DialogData* d = DlgData(dialog);
  if (!d) return;
  if (HWND old = GetDlgItem(dialog, static_cast<int>(d->defId)))
    if (SendMessageW(old, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON)
      SendMessageW(old, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
  if ((d = DlgData(dialog))) d->defId = id;
  if (HWND now = GetDlgItem(dialog, static_cast<int>(id)))
    if (SendMessageW(now, WM_GETDLGCODE, 0, 0) & DLGC_UNDEFPUSHBUTTON)
      SendMessageW(now, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
}

LRESULT DefaultHandling(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool unicode) {
  switch (msg) {
    case WM_ERASEBKGND: {
      HDC hdc = reinterpret_cast<HDC>(wp);
      auto br = reinterpret_cast<HBRUSH>(SendMessageW(hwnd, WM_CTLCOLORDLG, wp, reinterpret_cast<LPARAM>(hwnd)));
      RECT r;
      GetClientRect(hwnd, &r);
      FillRect(hdc, &r, br ? br : GetSysColorBrush(COLOR_3DFACE));
      return 1;
    }
    case WM_CLOSE:
      SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(hwnd, IDCANCEL)));
      return 0;
    case DM_GETDEFID: {
      DialogData* d = DlgData(hwnd);
      if (!d || !d->defId) return 0;
      return MAKELRESULT(static_cast<WORD>(d->defId), DC_HASDEFID);
    }
    case DM_SETDEFID: SetDefault(hwnd, static_cast<UINT>(wp)); return TRUE;
    case WM_NEXTDLGCTL: {
      HWND target = lp ? reinterpret_cast<HWND>(wp) : GetNextDlgTabItem(hwnd, GetFocus(), wp != 0);
      FocusControl(hwnd, target);
      return 0;
    }
    case WM_SETFOCUS: {
      DialogData* d = DlgData(hwnd);
      HWND to = d && d->savedFocus && IsWindow(d->savedFocus) ? d->savedFocus : GetNextDlgTabItem(hwnd, nullptr, FALSE);
      if (to) FocusControl(hwnd, to);
      return 0;
    }
    case WM_ACTIVATE:
      if (LOWORD(wp) == WA_INACTIVE) {
        HWND f = GetFocus();
        if (DialogData* d = DlgData(hwnd); d && f && IsChild(hwnd, f)) d->savedFocus = f;
      }
      return unicode ? DefWindowProcW(hwnd, msg, wp, lp) : DefWindowProcA(hwnd, msg, wp, lp);
    case WM_GETFONT: {
      DialogData* d = DlgData(hwnd);
      return reinterpret_cast<LRESULT>(d ? d->font : nullptr);
    }
    case WM_NCDESTROY:
      if (DialogData* d = DlgData(hwnd); d && d->font) {
        DeleteObject(d->font);
        d->font = nullptr;
      }
      return unicode ? DefWindowProcW(hwnd, msg, wp, lp) : DefWindowProcA(hwnd, msg, wp, lp);
    case WM_COMMAND:
    case WM_INITDIALOG: return 0;
    default: return unicode ? DefWindowProcW(hwnd, msg, wp, lp) : DefWindowProcA(hwnd, msg, wp, lp);
  }
}

LRESULT DefDlg(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool unicode) {
  auto w = Get(hwnd);
  if (!w) return 0;
  // A window of a class without the dialog's extra bytes has no dialog procedure.
  bool dialogBytes = w->extra.size() >= static_cast<size_t>(DLGWINDOWEXTRA);
  w.reset();
  if (DLGPROC proc = dialogBytes ? ProcOf(hwnd) : nullptr) {
    SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, 0);
    INT_PTR r = proc(hwnd, msg, wp, lp);
    if (!IsWindow(hwnd)) return DirectResult(msg) ? r : 0;
    if (r) return DirectResult(msg) ? r : GetWindowLongPtrW(hwnd, DWLP_MSGRESULT);
  }
  return DefaultHandling(hwnd, msg, wp, lp, unicode);
}

LRESULT DialogClassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) { return DefDlg(hwnd, msg, wp, lp, true); }

// ---- Templates ------------------------------------------------------------------------------------
class Reader {
 public:
  explicit Reader(const void* p) : base_(static_cast<const BYTE*>(p)), p_(base_) {}
  WORD Word() {
    WORD v;
    std::memcpy(&v, p_, 2);
    p_ += 2;
    return v;
  }
  DWORD Dword() {
    DWORD v;
    std::memcpy(&v, p_, 4);
    p_ += 4;
    return v;
  }
  short Short() { return static_cast<short>(Word()); }
  BYTE Byte() { return *p_++; }
  std::u16string String() {
    std::u16string s;
    for (WORD c = Word(); c; c = Word()) s += static_cast<char16_t>(c);
    return s;
  }
  // A string or 0xFFFF and an ordinal (or 0: none).
  std::u16string StringOrOrd(WORD* ord) {
    *ord = 0;
    WORD first;
    std::memcpy(&first, p_, 2);
    if (first == 0) {
      p_ += 2;
      return {};
    }
    if (first == 0xFFFF) {
      p_ += 2;
      *ord = Word();
      return {};
    }
    return String();
  }
  void AlignDword() {
    size_t off = static_cast<size_t>(p_ - base_);
    p_ += (4 - off % 4) % 4;
  }
  const BYTE* Here() const { return p_; }
  void Skip(size_t n) { p_ += n; }

 private:
  const BYTE* base_;
  const BYTE* p_;
};

const char16_t* PredefinedClass(WORD ord) {
  switch (ord) {
    case 0x80: return u"Button";
    case 0x81: return u"Edit";
    case 0x82: return u"Static";
    case 0x83: return u"ListBox";
    case 0x84: return u"ScrollBar";
    case 0x85: return u"ComboBox";
    default: return nullptr;
  }
}

void BaseUnits(HFONT font, int* bx, int* by) {
  HDC dc = CreateCompatibleDC(nullptr);
  *bx = 6;
  *by = 13;
  if (!dc) return;
  {
    FontScope fs(dc, font);
    static const char16_t kAlpha[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE sz{};
    TEXTMETRICW tm{};
    if (GetTextExtentPoint32W(dc, reinterpret_cast<LPCWSTR>(kAlpha), 52, &sz))
      *bx = std::max<int>(1, (sz.cx / 26 + 1) / 2);
    if (GetTextMetricsW(dc, &tm)) *by = std::max<int>(1, tm.tmHeight);
  }
  DeleteDC(dc);
}

HWND CreateFromTemplate(HINSTANCE instance, const DLGTEMPLATE* tmpl, HWND owner, DLGPROC proc, LPARAM init,
                        bool modal) {
  if (!tmpl) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Reader r(tmpl);
  WORD ver = r.Word(), sig = r.Word();
  bool ex = ver == 1 && sig == 0xFFFF;
  Reader t(tmpl);
  DWORD style, exStyle;
  WORD count;
  short x, y, cx, cy;
  if (ex) {
    t.Skip(4);
    t.Dword();  // help id
    exStyle = t.Dword();
    style = t.Dword();
  } else {
    style = t.Dword();
    exStyle = t.Dword();
  }
  count = t.Word();
  x = t.Short();
  y = t.Short();
  cx = t.Short();
  cy = t.Short();
  WORD menuOrd, classOrd, dummy;
  std::u16string menuName = t.StringOrOrd(&menuOrd);
  std::u16string className = t.StringOrOrd(&classOrd);
  std::u16string title = t.StringOrOrd(&dummy);
  HFONT font = nullptr;
  if (style & DS_SETFONT) {
    int points = t.Word();
    int weight = FW_NORMAL;
    BYTE italic = 0, charset = DEFAULT_CHARSET;
    if (ex) {
      weight = t.Word();
      italic = t.Byte();
      charset = t.Byte();
    }
    std::u16string face = t.String();
    LOGFONTW lf{};
    lf.lfHeight = -(points * 96 + 36) / 72;
    lf.lfWeight = weight;
    lf.lfItalic = italic;
    lf.lfCharSet = charset;
    size_t n = std::min(face.size(), static_cast<size_t>(LF_FACESIZE - 1));
    std::copy(face.begin(), face.begin() + static_cast<std::ptrdiff_t>(n), lf.lfFaceName);
    font = CreateFontIndirectW(&lf);
  }
  int bx, by;
  BaseUnits(font, &bx, &by);
  auto px = [&](int v) { return v * bx / 4; };
  auto py = [&](int v) { return v * by / 8; };
  if (modal) style &= ~static_cast<DWORD>(WS_CHILD);
  if (style & DS_MODALFRAME) exStyle |= WS_EX_DLGMODALFRAME;
  if (style & DS_CONTROL) {
    style &= ~static_cast<DWORD>(WS_CAPTION | WS_SYSMENU);
    exStyle |= WS_EX_CONTROLPARENT;
  }
  if (menuOrd || !menuName.empty()) {
    // Menus are loaded from resources, which these templates do not carry.
    if (font) DeleteObject(font);
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  RECT wr{0, 0, px(cx), py(cy)};
  AdjustWindowRectEx(&wr, style, FALSE, exStyle);
  int left = px(x) + wr.left, top = py(y) + wr.top;
  HWND parentOrOwner = owner;
  if (!(style & WS_CHILD) && owner) {
    parentOrOwner = GetAncestor(owner, GA_ROOT);
    if (!(style & DS_ABSALIGN)) {
      POINT o{0, 0};
      ClientToScreen(owner, &o);
      left += o.x;
      top += o.y;
    }
  }
  if (style & DS_CENTER) {
    RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (parentOrOwner && !(style & WS_CHILD)) GetWindowRect(parentOrOwner, &area);
    if (style & WS_CHILD) GetClientRect(owner, &area);
    left = area.left + ((area.right - area.left) - (wr.right - wr.left)) / 2;
    top = area.top + ((area.bottom - area.top) - (wr.bottom - wr.top)) / 2;
  }
  const char16_t* cls = className.empty() ? u"#32770" : className.c_str();
  if (classOrd) cls = reinterpret_cast<const char16_t*>(static_cast<uintptr_t>(classOrd));
  HWND dlg = CreateWindowExW(exStyle, reinterpret_cast<LPCWSTR>(cls), reinterpret_cast<LPCWSTR>(title.c_str()),
                             style & ~static_cast<DWORD>(WS_VISIBLE), left, top, wr.right - wr.left, wr.bottom - wr.top,
                             parentOrOwner, nullptr, instance, nullptr);
  if (!dlg) {
    if (font) DeleteObject(font);
    return nullptr;
  }
  DialogData* d = DlgData(dlg);
  if (!d) {
    DestroyWindow(dlg);
    if (font) DeleteObject(font);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  d->font = font;
  d->baseX = bx;
  d->baseY = by;
  d->defId = IDOK;
  SetWindowLongPtrW(dlg, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(proc));
  if (font) SendMessageW(dlg, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  for (WORD i = 0; i < count; ++i) {
    t.AlignDword();
    DWORD is, ies, id;
    if (ex) {
      t.Dword();  // help id
      ies = t.Dword();
      is = t.Dword();
    } else {
      is = t.Dword();
      ies = t.Dword();
    }
    short ix = t.Short(), iy = t.Short(), icx = t.Short(), icy = t.Short();
    id = ex ? t.Dword() : t.Word();
    WORD cOrd, tOrd;
    std::u16string cName = t.StringOrOrd(&cOrd);
    std::u16string iTitle = t.StringOrOrd(&tOrd);
    WORD extra = t.Word();
    const void* data = extra ? t.Here() - 2 : nullptr;
    t.Skip(extra);
    const char16_t* icls = cOrd ? PredefinedClass(cOrd) : cName.c_str();
    HWND child = icls ? CreateWindowExW(ies | WS_EX_NOPARENTNOTIFY, reinterpret_cast<LPCWSTR>(icls),
                                        reinterpret_cast<LPCWSTR>(iTitle.c_str()), is | WS_CHILD, px(ix), py(iy),
                                        px(icx), py(icy), dlg, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                                        instance, const_cast<void*>(data))
                      : nullptr;
    if (!IsWindow(dlg)) return nullptr;
    if (!child) {
      if (!(style & DS_NOFAILCREATE)) {
        DWORD err = GetLastError();
        DestroyWindow(dlg);
        SetLastError(err ? err : ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
      }
      continue;
    }
    if (font) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (SendMessageW(child, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON)
      if ((d = DlgData(dlg))) d->defId = id;
  }
  HWND first = GetNextDlgTabItem(dlg, nullptr, FALSE);
  if (SendMessageW(dlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), init)) {
    if (!IsWindow(dlg)) return nullptr;
    if (first && IsWindow(first)) FocusControl(dlg, first);
  }
  if (!IsWindow(dlg)) return nullptr;
  if ((style & WS_VISIBLE) || modal) {
    ShowWindow(dlg, SW_SHOWNORMAL);
    UpdateWindow(dlg);
  }
  return dlg;
}

INT_PTR RunModal(HWND dlg, HWND owner) {
  if (!dlg) return -1;
  HWND top = owner ? GetAncestor(owner, GA_ROOT) : nullptr;
  bool disabled = top && IsWindowEnabled(top);
  if (disabled) {
    EnableWindow(top, FALSE);
    if (DialogData* d = DlgData(dlg)) d->disabledOwner = top;
  }
  INT_PTR result = -1;
  DWORD error = 0;
  MSG m;
  for (;;) {
    DialogData* d = DlgData(dlg);
    if (!d) break;
    if (d->ended) {
      result = d->result;
      break;
    }
    if (!PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {  // the scripted input has run out
      error = ERROR_TIMEOUT;
      break;
    }
    if (m.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(m.wParam));
      result = 0;
      break;
    }
    if (CallMsgFilterW(&m, MSGF_DIALOGBOX)) continue;
    if (!IsDialogMessageW(dlg, &m)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
  }
  if (disabled && IsWindow(top) && !IsWindowEnabled(top)) EnableWindow(top, TRUE);
  if (IsWindow(dlg)) DestroyWindow(dlg);
  if (error) SetLastError(error);
  return result;
}

// The controls of a dialog in tab order: its children in z-order, the children of a
// visible and enabled WS_EX_CONTROLPARENT child in its place.
void TabOrder(HWND parent, std::vector<HWND>* out) {
  auto pw = Find(parent);
  if (!pw) return;
  std::vector<HWND> kids = pw->children;
  for (HWND c : kids) {
    auto cw = Find(c);
    if (!cw) continue;
    if ((cw->exStyle & WS_EX_CONTROLPARENT) && (cw->style & WS_VISIBLE) && !(cw->style & WS_DISABLED))
      TabOrder(c, out);
    else
      out->push_back(c);
  }
}

HWND GroupNeighbour(HWND ctl, bool previous) {
  auto cw = Find(ctl);
  auto pw = cw && cw->parent ? Find(cw->parent) : nullptr;
  if (!pw) return nullptr;
  std::vector<HWND> kids = pw->children;
  auto it = std::find(kids.begin(), kids.end(), ctl);
  if (it == kids.end()) return nullptr;
  size_t i = static_cast<size_t>(it - kids.begin());
  auto hasGroup = [&](size_t k) {
    auto w = Find(kids[k]);
    return w && (w->style & WS_GROUP);
  };
  size_t start = i;
  while (start > 0 && !hasGroup(start)) --start;
  size_t end = i + 1;
  while (end < kids.size() && !hasGroup(end)) ++end;
  size_t n = end - start;
  for (size_t step = 1; step < n; ++step) {
    size_t k = previous ? start + (i - start + n - step) % n : start + (i - start + step) % n;
    auto w = Find(kids[k]);
    if (w && (w->style & WS_VISIBLE) && !(w->style & WS_DISABLED)) return kids[k];
  }
  return ctl;
}

}  // namespace

void RegisterDialogClass() {
  RegisterSystemClass(u"#32770", DialogClassProc, CS_DBLCLKS | CS_SAVEBITS, DLGWINDOWEXTRA, nullptr,
                      LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
}

}  // namespace kv::user

using namespace kv::user;

extern "C" {

LRESULT DefDlgProcW(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefDlg(dialog, msg, wParam, lParam, true);
}
LRESULT DefDlgProcA(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefDlg(dialog, msg, wParam, lParam, false);
}

HWND CreateDialogIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW tmpl, HWND parent, DLGPROC proc, LPARAM init) {
  return CreateFromTemplate(instance, tmpl, parent, proc, init, false);
}
HWND CreateDialogIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA tmpl, HWND parent, DLGPROC proc, LPARAM init) {
  return CreateFromTemplate(instance, tmpl, parent, proc, init, false);
}
INT_PTR DialogBoxIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW tmpl, HWND parent, DLGPROC proc, LPARAM init) {
  return RunModal(CreateFromTemplate(instance, tmpl, parent, proc, init, true), parent);
}
INT_PTR DialogBoxIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA tmpl, HWND parent, DLGPROC proc, LPARAM init) {
  return RunModal(CreateFromTemplate(instance, tmpl, parent, proc, init, true), parent);
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  if (!Get(dialog)) return FALSE;
  DialogData* d = DlgData(dialog);
  if (!d) {
    SetLastError(ERROR_WINDOW_NOT_DIALOG);
    return FALSE;
  }
  d->result = result;
  d->ended = true;
  // The owner is enabled before the dialog hides, so that it becomes active again; the
  // modal loop destroys the dialog.
  if (HWND owner = d->disabledOwner) {
    d->disabledOwner = nullptr;
    if (IsWindow(owner)) EnableWindow(owner, TRUE);
  }
  ShowWindow(dialog, SW_HIDE);
  return TRUE;
}

HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous) {
  if (!Get(dialog)) return nullptr;
  std::vector<HWND> kids;
  TabOrder(dialog, &kids);
  if (kids.empty()) return nullptr;
  size_t n = kids.size();
  size_t at = n;
  if (control) {
    auto it = std::find(kids.begin(), kids.end(), control);
    if (it != kids.end()) at = static_cast<size_t>(it - kids.begin());
  }
  for (size_t step = 1; step <= n; ++step) {
    size_t k = at == n ? (previous ? n - step : step - 1) : (previous ? (at + n - step) % n : (at + step) % n);
    if (IsTabStop(kids[k])) return kids[k];
  }
  return control && IsTabStop(control) ? control : nullptr;
}

HWND GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous) {
  if (!Get(dialog)) return nullptr;
  if (!control) return GetNextDlgTabItem(dialog, nullptr, previous);
  if (!IsChild(dialog, control)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return GroupNeighbour(control, previous != FALSE);
}

BOOL IsDialogMessageW(HWND dialog, LPMSG msg) {
  if (!msg || !Find(dialog)) return FALSE;
  if (msg->hwnd != dialog && !IsChild(dialog, msg->hwnd)) return FALSE;
  if (msg->message == WM_KEYDOWN) {
    HWND focus = GetFocus();
    HWND target = focus && (focus == dialog || IsChild(dialog, focus)) ? focus : msg->hwnd;
    LRESULT code = SendMessageW(target, WM_GETDLGCODE, msg->wParam, reinterpret_cast<LPARAM>(msg));
    bool shift = GetKeyState(VK_SHIFT) < 0;
    switch (msg->wParam) {
      case VK_TAB:
        if (code & (DLGC_WANTTAB | DLGC_WANTMESSAGE)) break;
        FocusControl(dialog, GetNextDlgTabItem(dialog, target == dialog ? nullptr : target, shift));
        return TRUE;
      case VK_LEFT:
      case VK_UP:
      case VK_RIGHT:
      case VK_DOWN: {
        if (code & (DLGC_WANTARROWS | DLGC_WANTMESSAGE)) break;
        if (target == dialog) return TRUE;
        HWND next = GetNextDlgGroupItem(dialog, target, msg->wParam == VK_LEFT || msg->wParam == VK_UP);
        if (next && next != target) {
          FocusControl(dialog, next);
          // Moving onto an automatic radio button checks it.
          if ((SendMessageW(next, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) &&
              (GetWindowLongW(next, GWL_STYLE) & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
            SendMessageW(next, BM_CLICK, 0, 0);
        }
        return TRUE;
      }
      case VK_RETURN: {
        if (code & DLGC_WANTMESSAGE) break;
        UINT id;
        HWND button;
        if (target != dialog && IsPushButton(target)) {
          id = static_cast<UINT>(GetDlgCtrlID(target));
          button = target;
        } else {
          LRESULT def = SendMessageW(dialog, DM_GETDEFID, 0, 0);
          id = HIWORD(def) == DC_HASDEFID ? LOWORD(def) : IDOK;
          button = GetDlgItem(dialog, static_cast<int>(id));
        }
        if (button && !IsWindowEnabled(button)) {
          MessageBeep(0);
          return TRUE;
        }
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
        return TRUE;
      }
      case VK_ESCAPE: {
        if (code & DLGC_WANTMESSAGE) break;
        HWND cancel = GetDlgItem(dialog, IDCANCEL);
        if (cancel && !IsWindowEnabled(cancel)) {
          MessageBeep(0);
          return TRUE;
        }
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
        return TRUE;
      }
      default: break;
    }
  }
  TranslateMessage(msg);
  DispatchMessageW(msg);
  return TRUE;
}

BOOL IsDialogMessageA(HWND dialog, LPMSG msg) {
  if (!msg || !Find(dialog)) return FALSE;
  if (msg->hwnd != dialog && !IsChild(dialog, msg->hwnd)) return FALSE;
  if (msg->message == WM_KEYDOWN) return IsDialogMessageW(dialog, msg);
  TranslateMessage(msg);
  DispatchMessageA(msg);
  return TRUE;
}

BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) {
  HWND h = GetDlgItem(dialog, id);
  return h ? SetWindowTextW(h, text) : FALSE;
}
BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
  HWND h = GetDlgItem(dialog, id);
  return h ? SetWindowTextA(h, text) : FALSE;
}
UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR buffer, int size) {
  HWND h = GetDlgItem(dialog, id);
  if (!h) {
    if (buffer && size > 0) buffer[0] = 0;
    return 0;
  }
  return static_cast<UINT>(GetWindowTextW(h, buffer, size));
}
UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int size) {
  HWND h = GetDlgItem(dialog, id);
  if (!h) {
    if (buffer && size > 0) buffer[0] = 0;
    return 0;
  }
  return static_cast<UINT>(GetWindowTextA(h, buffer, size));
}

BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL is_signed) {
  std::string s = is_signed ? std::to_string(static_cast<int>(value)) : std::to_string(value);
  return SetDlgItemTextA(dialog, id, s.c_str());
}

UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL is_signed) {
  if (translated) *translated = FALSE;
  char buf[64] = {};
  HWND h = GetDlgItem(dialog, id);
  if (!h) return 0;
  GetWindowTextA(h, buf, sizeof buf);
  const char* p = buf;
  while (*p == ' ') ++p;
  bool neg = false;
  if (is_signed && (*p == '-' || *p == '+')) neg = *p++ == '-';
  if (*p < '0' || *p > '9') return 0;
  unsigned long long v = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    v = v * 10 + static_cast<unsigned>(*p - '0');
    if (v > (is_signed ? (neg ? 0x80000000ull : 0x7FFFFFFFull) : 0xFFFFFFFFull)) return 0;
  }
  while (*p == ' ') ++p;
  if (*p) return 0;
  if (translated) *translated = TRUE;
  return neg ? static_cast<UINT>(-static_cast<long long>(v)) : static_cast<UINT>(v);
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
  HWND h = GetDlgItem(dialog, id);
  if (!h) return FALSE;
  SendMessageW(h, BM_SETCHECK, check, 0);
  return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
  HWND h = GetDlgItem(dialog, id);
  return h ? static_cast<UINT>(SendMessageW(h, BM_GETCHECK, 0, 0)) : 0;
}

BOOL CheckRadioButton(HWND dialog, int first, int last, int check) {
  if (!Get(dialog)) return FALSE;
  for (int id = first; id <= last; ++id)
    if (HWND h = GetDlgItem(dialog, id)) SendMessageW(h, BM_SETCHECK, id == check ? BST_CHECKED : BST_UNCHECKED, 0);
  return TRUE;
}

BOOL MapDialogRect(HWND dialog, LPRECT rect) {
  if (!Get(dialog)) return FALSE;
  DialogData* d = DlgData(dialog);
  if (!d || !rect) {
    SetLastError(d ? ERROR_INVALID_PARAMETER : ERROR_WINDOW_NOT_DIALOG);
    return FALSE;
  }
  rect->left = rect->left * d->baseX / 4;
  rect->right = rect->right * d->baseX / 4;
  rect->top = rect->top * d->baseY / 8;
  rect->bottom = rect->bottom * d->baseY / 8;
  return TRUE;
}

LONG GetDialogBaseUnits(void) {
  int bx, by;
  BaseUnits(nullptr, &bx, &by);
  return MAKELONG(bx, by);
}

}  // extern "C"
