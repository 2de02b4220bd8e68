// What the predefined controls share: notifying the parent, its colour brush, labels;
// and the registration of every predefined class.
#include "platform/user/internal.h"

namespace kv::user {

void NotifyCommand(HWND hwnd, UINT code) {
  auto w = Find(hwnd);
  if (!w || !w->parent) return;
  SendMessageW(w->parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(w->id), static_cast<WORD>(code)),
               reinterpret_cast<LPARAM>(hwnd));
}

HBRUSH ParentBrush(HWND hwnd, HDC hdc, UINT msg) {
  auto w = Find(hwnd);
  HWND parent = w ? w->parent : nullptr;
  LRESULT r = parent ? SendMessageW(parent, msg, reinterpret_cast<WPARAM>(hdc), reinterpret_cast<LPARAM>(hwnd))
                     : DefWindowProcW(hwnd, msg, reinterpret_cast<WPARAM>(hdc), reinterpret_cast<LPARAM>(hwnd));
  return r ? reinterpret_cast<HBRUSH>(r) : GetSysColorBrush(COLOR_3DFACE);
}

bool PaintMessage(HWND hwnd, UINT msg, WPARAM wp, void (*paint)(HWND, HDC), PaintInto into, LRESULT& result) {
  result = 0;
  switch (msg) {
    case WM_PAINT: {
      if (wp && into == PaintInto::GivenDC) {
        paint(hwnd, reinterpret_cast<HDC>(wp));
        return true;
      }
      PAINTSTRUCT ps;
      HDC hdc = BeginPaint(hwnd, &ps);
      if (hdc) paint(hwnd, hdc);
      EndPaint(hwnd, &ps);
      return true;
    }
    case WM_PRINTCLIENT: paint(hwnd, reinterpret_cast<HDC>(wp)); return true;
    case WM_ERASEBKGND: result = 1; return true;
    default: return false;
  }
}

void DrawLabel(HDC hdc, const Window& w, RECT r, UINT format) {
  if (w.text.empty()) return;
  HGDIOBJ old = w.font ? SelectObject(hdc, w.font) : nullptr;
  SetBkMode(hdc, TRANSPARENT);
  if (w.style & WS_DISABLED) SetTextColor(hdc, GetSysColor(COLOR_GRAYTEXT));
  DrawTextW(hdc, w.text.c_str(), static_cast<int>(w.text.size()), &r, format);
  if (old) SelectObject(hdc, old);
}

void RegisterControls() {
  RegisterButtonClass();
  RegisterStaticClass();
  RegisterScrollBarClass();
  RegisterMenuClass();
  RegisterBuiltinEdit();
  RegisterBuiltinLists();
  RegisterDialogClass();
  RegisterMdiClientClass();
}

}  // namespace kv::user
