// Modal windows for a person at the desktop: the loop they run, and the message box as a
// "#32770" dialog with the text and the type's buttons, centred on its owner, which stays
// disabled until a button (or Escape where the box allows it) answers.
#include <algorithm>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/user/button.h"
#include "platform/user/combobox.h"
#include "platform/user/dialog.h"
#include "platform/user/edit.h"
#include "platform/user/static.h"
#include "platform/user/testing.h"
#include "platform/user/internal.h"
#include "platform/user/present.h"

namespace kv::user::present {

namespace {

struct Button {
  int id;
  const char16_t* label;
};

// The buttons of each MB_TYPEMASK kind, left to right.
std::vector<Button> ButtonsOf(UINT type) {
  static const Button ok{IDOK, u"\u786e\u5b9a"}, cancel{IDCANCEL, u"\u53d6\u6d88"},
      abort{IDABORT, u"\u4e2d\u6b62(&A)"}, retry{IDRETRY, u"\u91cd\u8bd5(&R)"}, ignore{IDIGNORE, u"\u5ffd\u7565(&I)"},
      yes{IDYES, u"\u662f(&Y)"}, no{IDNO, u"\u5426(&N)"}, again{IDTRYAGAIN, u"\u91cd\u8bd5(&T)"},
      cont{IDCONTINUE, u"\u7ee7\u7eed(&C)"};
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return {ok, cancel};
    case MB_ABORTRETRYIGNORE: return {abort, retry, ignore};
    case MB_YESNOCANCEL: return {yes, no, cancel};
    case MB_YESNO: return {yes, no};
    case MB_RETRYCANCEL: return {retry, cancel};
    case MB_CANCELTRYCONTINUE: return {cancel, again, cont};
    default: return {ok};
  }
}

// The platform's icon of each MB_ICONMASK kind; null for none.
HICON IconOf(UINT type) {
  switch (type & MB_ICONMASK) {
    case MB_ICONHAND: return LoadIconA(nullptr, IDI_HAND);
    case MB_ICONQUESTION: return LoadIconA(nullptr, IDI_QUESTION);
    case MB_ICONEXCLAMATION: return LoadIconA(nullptr, IDI_EXCLAMATION);
    case MB_ICONASTERISK: return LoadIconA(nullptr, IDI_ASTERISK);
    default: return nullptr;
  }
}

struct Box {
  std::vector<Button> buttons;
  HICON icon = nullptr;
  int answer = 0;
};

bool Has(const Box& b, int id) {
  return std::any_of(b.buttons.begin(), b.buttons.end(), [&](const Button& x) { return x.id == id; });
}

// The icon's control, drawn by the box.
constexpr int kIconId = 20;

INT_PTR BoxProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  auto box = reinterpret_cast<Box*>(GetWindowLongPtrW(dlg, DWLP_USER));
  if (!box) return FALSE;
  if (msg == WM_DRAWITEM && wp == kIconId) {
    auto dis = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
    auto bg = reinterpret_cast<HBRUSH>(SendMessageW(dlg, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dis->hDC),
                                                    reinterpret_cast<LPARAM>(dlg)));
    FillRect(dis->hDC, &dis->rcItem, bg ? bg : GetSysColorBrush(COLOR_3DFACE));
    DrawIconEx(dis->hDC, dis->rcItem.left, dis->rcItem.top, box->icon, 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
    return TRUE;
  }
  if (msg == WM_COMMAND && HIWORD(wp) == BN_CLICKED) {
    int id = LOWORD(wp);
    // Escape and the close button answer Cancel where the box has it, OK on a lone OK.
    if (id == IDCANCEL && !Has(*box, IDCANCEL)) id = box->buttons.size() == 1 && box->buttons[0].id == IDOK ? IDOK : 0;
    if (id && Has(*box, id)) box->answer = id;
    return TRUE;
  }
  if (msg == WM_CLOSE) {
    SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return TRUE;
  }
  return FALSE;
}

}  // namespace

HWND MakeBox(HWND top, const std::u16string& caption, DLGPROC proc, LPARAM param) {
  // An empty template; the controls are laid out in pixels afterwards.
  std::vector<WORD> t(sizeof(DLGTEMPLATE) / 2, 0);
  auto* d = reinterpret_cast<DLGTEMPLATE*>(t.data());
  d->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  d->dwExtendedStyle = WS_EX_DLGMODALFRAME;
  t.push_back(0);  // no menu
  t.push_back(0);  // the dialog class
  for (char16_t c : caption) t.push_back(c);
  t.push_back(0);
  HWND dlg = CreateDialogIndirectParamW(nullptr, reinterpret_cast<LPCDLGTEMPLATEW>(t.data()), top, proc, param);
  if (dlg) SetWindowLongPtrW(dlg, DWLP_USER, param);
  return dlg;
}

void PlaceBox(HWND dlg, HWND top, int clientW, int clientH) {
  RECT wr{0, 0, clientW, clientH};
  AdjustWindowRectEx(&wr, static_cast<DWORD>(GetWindowLongW(dlg, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongW(dlg, GWL_EXSTYLE)));
  int w = wr.right - wr.left, h = wr.bottom - wr.top;
  RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (top) GetWindowRect(top, &area);
  SetWindowPos(dlg, HWND_TOP, area.left + ((area.right - area.left) - w) / 2,
               area.top + ((area.bottom - area.top) - h) / 2, w, h, SWP_NOACTIVATE);
}

int MessageBoxWindow(HWND owner, const std::u16string& text, const std::u16string& caption, UINT type,
                     int fallback) {
  Box box;
  box.buttons = ButtonsOf(type);
  box.icon = IconOf(type);
  HWND top = owner ? GetAncestor(owner, GA_ROOT) : nullptr;
  HWND dlg = MakeBox(top, caption, BoxProc, reinterpret_cast<LPARAM>(&box));
  if (!dlg) return fallback;
  auto font = reinterpret_cast<HFONT>(SendMessageW(dlg, WM_GETFONT, 0, 0));
  if (!font) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));

  // Layout: the icon, if any, at the top left and the text beside it, wrapped at a third
  // of the screen; the buttons centred below both.
  constexpr int kMargin = 12, kButtonW = 75, kButtonH = 23, kGap = 8;
  int iconW = box.icon ? GetSystemMetrics(SM_CXICON) : 0, iconH = box.icon ? GetSystemMetrics(SM_CYICON) : 0;
  int textX = kMargin + (box.icon ? iconW + kMargin : 0);
  RECT tr{0, 0, std::max(240, GetSystemMetrics(SM_CXSCREEN) / 3), 0};
  HDC hdc = GetDC(dlg);
  HGDIOBJ old = SelectObject(hdc, font);
  DrawTextW(hdc, text.c_str(), static_cast<int>(text.size()), &tr, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(hdc, old);
  ReleaseDC(dlg, hdc);
  int count = static_cast<int>(box.buttons.size());
  int rowW = count * kButtonW + (count - 1) * kGap;
  int textH = tr.bottom - tr.top;
  int clientW = std::max<int>(textX + (tr.right - tr.left), rowW + kMargin) + kMargin;
  int clientH = kMargin + std::max(textH, iconH) + kMargin + kButtonH + kMargin;
  if (box.icon)
    CreateWindowExW(0, u"Static", u"", WS_CHILD | WS_VISIBLE | SS_OWNERDRAW, kMargin, kMargin, iconW, iconH, dlg,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIconId)), nullptr, nullptr);
  // A text shorter than the icon is centred on it.
  int textY = kMargin + std::max(0, (iconH - textH) / 2);
  HWND label = CreateWindowExW(0, u"Static", text.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, textX,
                               textY, tr.right - tr.left, textH, dlg, nullptr, nullptr, nullptr);
  SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  UINT def = (type & MB_DEFMASK) >> 8;
  if (def >= box.buttons.size()) def = 0;
  int x = (clientW - rowW) / 2, y = clientH - kMargin - kButtonH;
  HWND focus = nullptr;
  for (int i = 0; i < count; ++i) {
    const Button& b = box.buttons[static_cast<size_t>(i)];
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (static_cast<UINT>(i) == def ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    HWND h = CreateWindowExW(0, u"Button", b.label, style, x + i * (kButtonW + kGap), y, kButtonW, kButtonH, dlg,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(b.id)), nullptr, nullptr);
    SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (static_cast<UINT>(i) == def) {
      focus = h;
      SendMessageW(dlg, DM_SETDEFID, static_cast<WPARAM>(b.id), 0);
    }
  }
  PlaceBox(dlg, top, clientW, clientH);

  return RunModal(dlg, top, focus, &box.answer, fallback);
}

int RunModal(HWND dlg, HWND top, HWND focus, const int* answer, int fallback) {
  bool disabled = top && IsWindowEnabled(top);
  if (disabled) EnableWindow(top, FALSE);
  ShowWindow(dlg, SW_SHOW);
  if (focus) SetFocus(focus);
  int result = fallback;
  MSG m;
  while (IsWindow(dlg)) {
    if (*answer) {
      result = *answer;
      break;
    }
    BOOL got = GetMessageW(&m, nullptr, 0, 0);
    if (got == -1) break;
    if (!got) {
      PostQuitMessage(static_cast<int>(m.wParam));  // for the loop that runs the program
      break;
    }
    if (!IsDialogMessageW(dlg, &m)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
  }
  if (disabled && IsWindow(top)) EnableWindow(top, TRUE);
  if (IsWindow(dlg)) DestroyWindow(dlg);
  if (top && IsWindow(top)) SetActiveWindow(top);
  // The ended box leaves the screen now, not when this thread next looks at its queue:
  // the caller may go on working (printing, saving) for a long while first.
  Pump();
  return result;
}

}  // namespace kv::user::present
