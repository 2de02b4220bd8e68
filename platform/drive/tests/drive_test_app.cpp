// A small program for the drive channel's tests: a window with an edit field and a button
// that shows the field's text in a message box and puts the answer in the caption.
#include <string>

#include "platform/user/button.h"
#include "platform/user/user.h"

namespace {

constexpr int kEditId = 1, kButtonId = 2;
HWND g_edit = nullptr;

LRESULT Proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      if (LOWORD(wp) == kButtonId && HIWORD(wp) == BN_CLICKED) {
        WCHAR text[256] = {};
        GetWindowTextW(g_edit, text, 256);
        int answer = MessageBoxW(h, text, u"Echo", MB_OKCANCEL);
        SetWindowTextW(h, answer == IDOK ? u"answered ok" : u"answered cancel");
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(3);
      return 0;
    default:
      return DefWindowProcW(h, msg, wp, lp);
  }
}

}  // namespace

int main() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = Proc;
  wc.lpszClassName = u"DriveTestWindow";
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  RegisterClassW(&wc);
  HWND main = CreateWindowExW(0, u"DriveTestWindow", u"drive test", WS_OVERLAPPEDWINDOW, 100, 100, 300, 200, nullptr,
                              nullptr, nullptr, nullptr);
  g_edit = CreateWindowExW(WS_EX_CLIENTEDGE, u"EDIT", u"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 10, 10, 200, 24, main,
                           reinterpret_cast<HMENU>(kEditId), nullptr, nullptr);
  CreateWindowExW(0, u"BUTTON", u"Show", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 50, 80, 28, main,
                  reinterpret_cast<HMENU>(kButtonId), nullptr, nullptr);
  ShowWindow(main, SW_SHOW);
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  return static_cast<int>(m.wParam);
}
