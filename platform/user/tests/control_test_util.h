// Fixture of the control tests: a fresh window system on the virtual clock and a parent
// window class that records the notifications its controls send.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/base/time.h"
#include "platform/user/spy.h"
#include "platform/user/testing.h"

namespace kvtest {

struct Note {
  UINT msg;  // WM_COMMAND or WM_NOTIFY
  UINT id;
  UINT code;
  HWND from;
};

class ControlTest : public ::testing::Test {
 protected:
  static std::vector<Note>& Notes() {
    static std::vector<Note> n;
    return n;
  }
  // Answers of the parent for messages other than the notifications (e.g. WM_MEASUREITEM).
  static std::function<LRESULT(HWND, UINT, WPARAM, LPARAM, bool*)>& Extra() {
    static std::function<LRESULT(HWND, UINT, WPARAM, LPARAM, bool*)> f;
    return f;
  }
  static LRESULT ParentProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (Extra()) {
      bool handled = false;
      LRESULT r = Extra()(hwnd, msg, wp, lp, &handled);
      if (handled) return r;
    }
    if (msg == WM_COMMAND && lp) Notes().push_back({msg, LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp)});
    if (msg == WM_NOTIFY) {
      auto h = reinterpret_cast<NMHDR*>(lp);
      Notes().push_back({msg, static_cast<UINT>(h->idFrom), h->code, h->hwndFrom});
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
  }

  void SetUp() override {
    KvClockSetVirtual(TRUE);
    KvUserReset();
    Notes().clear();
    Extra() = nullptr;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = ParentProc;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_3DFACE + 1);
    wc.lpszClassName = u"KvCtlParent";
    ASSERT_NE(RegisterClassExW(&wc), 0);
    parent_ = CreateWindowExW(0, u"KvCtlParent", u"P", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300, nullptr, nullptr, nullptr,
                              nullptr);
    ASSERT_TRUE(parent_);
    KvPumpMessages();
  }
  void TearDown() override {
    Extra() = nullptr;
    KvUserReset();
    KvClockSetVirtual(FALSE);
  }

  HWND Make(const char16_t* cls, DWORD style, int x, int y, int w, int h, int id = 7, const char16_t* text = u"") {
    return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent_,
                           reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), nullptr, nullptr);
  }

  // The codes of the WM_COMMAND notifications received, in order.
  static std::vector<UINT> Codes(UINT msg = WM_COMMAND) {
    std::vector<UINT> out;
    for (const Note& n : Notes())
      if (n.msg == msg) out.push_back(n.code);
    return out;
  }

  static std::u16string Text(HWND hwnd) {
    int n = GetWindowTextLengthW(hwnd);
    std::u16string s(static_cast<size_t>(n) + 1, u'\0');
    int got = GetWindowTextW(hwnd, reinterpret_cast<LPWSTR>(s.data()), n + 1);
    s.resize(static_cast<size_t>(got));
    return s;
  }

  // Clicks at a point of a window's client area.
  static void ClickAt(HWND hwnd, int x, int y) {
    POINT p{x, y};
    ClientToScreen(hwnd, &p);
    KvInjectClick(p.x, p.y);
    KvPumpMessages();
  }
  static void Key(int vk) {
    KvInjectKey(vk, TRUE);
    KvInjectKey(vk, FALSE);
    KvPumpMessages();
  }
  static void Type(std::u16string_view s) {
    for (char16_t c : s) KvInjectChar(c);
    KvPumpMessages();
  }

  HWND parent_ = nullptr;
};

}  // namespace kvtest
