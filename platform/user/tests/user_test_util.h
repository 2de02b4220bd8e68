// Shared fixture of the window-system tests: a fresh window system on the virtual clock,
// a test class whose procedure is DefWindowProc (so the spy sees every default), and
// helpers to read the spy's record for one window.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/base/time.h"
#include "platform/user/spy.h"
#include "platform/user/testing.h"
#include "platform/user/user.h"
#include "testsupport/spy_filters.h"

namespace kvtest {

// Per-window overrides of the test procedure: a handler answers a message and sets
// *handled; otherwise DefWindowProcW answers.
using Handler = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM, bool* handled)>;
inline std::map<UINT, Handler>& Handlers() {
  static std::map<UINT, Handler> h;
  return h;
}

inline LRESULT CALLBACK_TestProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto it = Handlers().find(msg);
  if (it != Handlers().end()) {
    bool handled = false;
    LRESULT r = it->second(hwnd, msg, wp, lp, &handled);
    if (handled) return r;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

class UserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KvClockSetVirtual(TRUE);
    KvUserReset();
    Handlers().clear();
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = CALLBACK_TestProc;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = u"KvTest";
    ASSERT_NE(RegisterClassExW(&wc), 0);
  }
  void TearDown() override {
    Handlers().clear();  // the handlers refer to the test body's locals, gone by now
    KvUserReset();
    KvClockSetVirtual(FALSE);
  }

  HWND Top(DWORD style = WS_OVERLAPPEDWINDOW, int x = 10, int y = 20, int w = 300, int h = 200,
           const char16_t* text = u"Top") {
    return CreateWindowExW(0, u"KvTest", text, style, x, y, w, h, nullptr, nullptr, nullptr, nullptr);
  }
  HWND Child(HWND parent, DWORD style = WS_CHILD | WS_VISIBLE, int x = 5, int y = 5, int w = 50, int h = 40, int id = 1,
             const char16_t* cls = u"KvTest", const char16_t* text = u"") {
    return CreateWindowExW(0, cls, text, style, x, y, w, h, parent, reinterpret_cast<HMENU>(static_cast<intptr_t>(id)),
                           nullptr, nullptr);
  }

  // The spy's record as the tests read it (testsupport/spy_filters.h).
  static std::vector<KVSPYRECORD> Delivered(std::initializer_list<UINT> ignore = {}) { return SpyDelivered(ignore); }
  static std::vector<KVSPYRECORD> Only(std::initializer_list<UINT> keep, DWORD kind = 0) { return SpyOnly(keep, kind); }
};

#define EXPECT_SEQ(got, ...)                                                      \
  do {                                                                            \
    std::string why = kv::SpyMatch(got, std::vector<kv::SpyExpect>{__VA_ARGS__}); \
    EXPECT_TRUE(why.empty()) << why;                                              \
  } while (0)

}  // namespace kvtest
