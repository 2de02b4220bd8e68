// Injected input: clicks, double clicks, activation by the mouse, keys, mouse hooks,
// mouse leave, the predefined buttons, and modal loops that end with the input.
#include "platform/base/error.h"
#include "platform/base/sync.h"
#include "platform/user/button.h"
#include "platform/user/testing.h"
#include "platform/user/tests/user_test_util.h"

namespace kvtest {
namespace {

using kv::Posted;
using kv::Sent;
using kv::WithW;

class InputTest : public UserTest {};

TEST_F(InputTest, ClickOnButtonNotifiesParentWithBnClicked) {
  HWND h = Top(WS_POPUP | WS_VISIBLE, 0, 0, 200, 100);
  HWND b = CreateWindowExW(0, u"Button", u"Go", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 10, 60, 24, h,
                           reinterpret_cast<HMENU>(42), nullptr, nullptr);
  ASSERT_TRUE(b);
  KvPumpMessages();
  KvSpyStart(h);
  KvInjectClick(20, 20);
  KvPumpMessages();
  auto got = Only({WM_LBUTTONDOWN, WM_LBUTTONUP, WM_COMMAND});
  EXPECT_SEQ(got, Posted(WM_LBUTTONDOWN, b), Posted(WM_LBUTTONUP, b),
             WithW(Sent(WM_COMMAND, h), MAKEWPARAM(42, BN_CLICKED)));
  EXPECT_EQ(GetFocus(), b);
  EXPECT_EQ(GetCapture(), nullptr);
  // Released outside the button: no click.
  KvSpyStart(h);
  KvInjectMouseMove(20, 20);
  KvInjectMouseButton(VK_LBUTTON, TRUE);
  KvInjectMouseMove(150, 80);
  KvInjectMouseButton(VK_LBUTTON, FALSE);
  KvPumpMessages();
  EXPECT_TRUE(Only({WM_COMMAND}).empty());
}

TEST_F(InputTest, CheckBoxesAndRadioGroups) {
  HWND h = Top(WS_POPUP | WS_VISIBLE, 0, 0, 200, 200);
  HWND chk = CreateWindowExW(0, u"Button", u"c", WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, 0, 0, 80, 20, h,
                             reinterpret_cast<HMENU>(1), nullptr, nullptr);
  HWND r1 = CreateWindowExW(0, u"Button", u"r1", WS_CHILD | WS_VISIBLE | WS_GROUP | BS_AUTORADIOBUTTON, 0, 30, 80, 20,
                            h, reinterpret_cast<HMENU>(2), nullptr, nullptr);
  HWND r2 = CreateWindowExW(0, u"Button", u"r2", WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON, 0, 60, 80, 20, h,
                            reinterpret_cast<HMENU>(3), nullptr, nullptr);
  KvPumpMessages();
  KvInjectClick(5, 5);
  KvPumpMessages();
  EXPECT_EQ(SendMessageW(chk, BM_GETCHECK, 0, 0), BST_CHECKED);
  SendMessageW(chk, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageW(chk, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  SendMessageW(r1, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageW(r1, BM_GETCHECK, 0, 0), BST_CHECKED);
  KvInjectClick(5, 65);
  KvPumpMessages();
  EXPECT_EQ(SendMessageW(r2, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(SendMessageW(r1, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(SendMessageW(r2, BM_GETSTATE, 0, 0) & BST_FOCUS, BST_FOCUS);
}

TEST_F(InputTest, DoubleClicksNeedTheClassStyleTimeAndPlace) {
  HWND h = Top(WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);  // the test class has CS_DBLCLKS
  KvPumpMessages();
  struct Case {
    const char* name;
    DWORD gap;
    int dx;
    bool dbl;
  } cases[] = {{"quick, same place", 100, 0, true}, {"too slow", 600, 0, false}, {"moved away", 100, 10, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    KvClockAdvance(1000);
    KvInjectClick(50, 50);
    KvPumpMessages();
    KvClockAdvance(c.gap);
    KvSpyStart(h);
    KvInjectClick(50 + c.dx, 50);
    KvPumpMessages();
    auto got = Only({WM_LBUTTONDOWN, WM_LBUTTONDBLCLK});
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].message, static_cast<UINT>(c.dbl ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN));
  }
}

TEST_F(InputTest, ClickActivatesAnInactiveWindowThroughMouseActivate) {
  HWND a = Top(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100);
  HWND b = Top(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 200, 0, 100, 100);
  KvPumpMessages();
  EXPECT_EQ(GetActiveWindow(), b);
  KvSpyStart(nullptr);
  KvInjectClick(50, 50);
  KvPumpMessages();
  auto got = Only({WM_MOUSEACTIVATE, WM_ACTIVATE, WM_LBUTTONDOWN});
  EXPECT_SEQ(got, Sent(WM_MOUSEACTIVATE, a), WithW(Sent(WM_ACTIVATE, b), WA_INACTIVE),
             WithW(Sent(WM_ACTIVATE, a), WA_CLICKACTIVE), Posted(WM_LBUTTONDOWN, a));
  EXPECT_EQ(GetActiveWindow(), a);
  EXPECT_EQ(GetForegroundWindow(), a);
}

TEST_F(InputTest, KeysGoToTheFocusAndTranslateToCharacters) {
  HWND h = Top(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  KvPumpMessages();
  ASSERT_EQ(GetFocus(), h);
  KvSpyStart(h);
  KvInjectKey(VK_SHIFT, TRUE);
  KvInjectKey('A', TRUE);
  KvInjectKey('A', FALSE);
  KvInjectKey(VK_SHIFT, FALSE);
  EXPECT_EQ(GetAsyncKeyState(VK_SHIFT), 0);
  MSG m;
  std::vector<std::pair<UINT, WPARAM>> got;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (m.message == WM_KEYDOWN && m.wParam == 'A') {
      EXPECT_LT(GetKeyState(VK_SHIFT), 0);
    }
    TranslateMessage(&m);
    DispatchMessageW(&m);
    if (m.message != WM_PAINT) got.emplace_back(m.message, m.wParam);
  }
  std::vector<std::pair<UINT, WPARAM>> want = {
      {WM_KEYDOWN, VK_SHIFT}, {WM_KEYDOWN, 'A'}, {WM_CHAR, 'A'}, {WM_KEYUP, 'A'}, {WM_KEYUP, VK_SHIFT}};
  EXPECT_EQ(got, want);
  EXPECT_EQ(GetKeyState(VK_SHIFT) & 0x8000, 0);
}

int gMouseHookCalls;
LRESULT EatMouse(int code, WPARAM wp, LPARAM lp) {
  ++gMouseHookCalls;
  if (code == HC_ACTION && wp == WM_LBUTTONDOWN) return 1;  // swallowed
  return CallNextHookEx(nullptr, code, wp, lp);
}

TEST_F(InputTest, MouseHookSeesAndCanSwallowMessages) {
  HWND h = Top(WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
  KvPumpMessages();
  gMouseHookCalls = 0;
  HHOOK hk = SetWindowsHookExW(WH_MOUSE, EatMouse, nullptr, GetCurrentThreadId());
  KvSpyStart(h);
  KvInjectClick(10, 10);
  KvPumpMessages();
  UnhookWindowsHookEx(hk);
  EXPECT_EQ(gMouseHookCalls, 3);
  auto got = Only({WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP});
  EXPECT_SEQ(got, Posted(WM_MOUSEMOVE, h), Posted(WM_LBUTTONUP, h));
}

HWND gWheelUnder;
LRESULT WheelHook(int code, WPARAM wp, LPARAM lp) {
  if (code == HC_ACTION && wp == WM_MOUSEWHEEL) {
    auto mh = reinterpret_cast<MOUSEHOOKSTRUCTEX*>(lp);
    gWheelUnder = mh->base.hwnd;
    if (static_cast<SHORT>(HIWORD(mh->mouseData)) < 0) return 2;  // downward turns swallowed
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

TEST_F(InputTest, WheelGoesToTheFocusAndPassesTheMouseHook) {
  HWND h = Top(WS_POPUP | WS_VISIBLE, 0, 0, 200, 100);
  HWND c = Child(h, WS_CHILD | WS_VISIBLE, 100, 0, 50, 50);
  KvPumpMessages();
  SetFocus(h);
  HHOOK hk = SetWindowsHookExW(WH_MOUSE, WheelHook, nullptr, 0);
  KvSpyStart(h);
  KvInjectMouseWheel(110, 10, WHEEL_DELTA);
  KvInjectMouseWheel(110, 10, -WHEEL_DELTA);
  KvPumpMessages();
  UnhookWindowsHookEx(hk);
  EXPECT_EQ(gWheelUnder, c);
  auto got = Only({WM_MOUSEWHEEL});
  EXPECT_SEQ(got, WithW(Posted(WM_MOUSEWHEEL, h), MAKEWPARAM(0, WHEEL_DELTA)));
}

TEST_F(InputTest, TrackMouseEventPostsMouseLeave) {
  HWND a = Top(WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
  Top(WS_POPUP | WS_VISIBLE, 200, 0, 100, 100);
  KvInjectMouseMove(50, 50);
  KvPumpMessages();
  TRACKMOUSEEVENT t{sizeof t, TME_LEAVE, a, 0};
  ASSERT_TRUE(TrackMouseEvent(&t));
  KvSpyStart(a);
  KvInjectMouseMove(60, 50);
  KvPumpMessages();
  EXPECT_TRUE(Only({WM_MOUSELEAVE}).empty());
  KvInjectMouseMove(250, 50);
  KvPumpMessages();
  EXPECT_SEQ(Only({WM_MOUSELEAVE}), Posted(WM_MOUSELEAVE, a));
  t.cbSize = 3;
  EXPECT_FALSE(TrackMouseEvent(&t));
}

TEST_F(InputTest, CaptionButtonLoopEndsWithTheInput) {
  HWND h = Top(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100);
  KvPumpMessages();
  RECT r;
  GetWindowRect(h, &r);
  // The close button sits at the right end of the caption.
  int x = r.right - 4 - 2 - 8, y = r.top + 4 + 9;
  EXPECT_EQ(SendMessageW(h, WM_NCHITTEST, 0, MAKELPARAM(x, y)), HTCLOSE);
  // Pressed but never released: the loop ends with the input, the window stays.
  KvInjectMouseMove(x, y);
  KvInjectMouseButton(VK_LBUTTON, TRUE);
  KvPumpMessages();
  EXPECT_TRUE(IsWindow(h));
  EXPECT_EQ(GetCapture(), nullptr);
  KvInjectMouseButton(VK_LBUTTON, FALSE);
  KvPumpMessages();
  // Pressed and released over it: WM_SYSCOMMAND SC_CLOSE, WM_CLOSE, destroyed.
  KvSpyStart(nullptr);
  KvInjectClick(x, y);
  KvPumpMessages();
  EXPECT_FALSE(IsWindow(h));
  auto got = Only({WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY});
  EXPECT_SEQ(got, WithW(Sent(WM_SYSCOMMAND, h), SC_CLOSE), Sent(WM_CLOSE, h), Sent(WM_DESTROY, h));
}

TEST_F(InputTest, DraggingTheCaptionMovesTheWindow) {
  HWND h = Top(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100);
  KvPumpMessages();
  KvSpyStart(h);
  KvInjectMouseMove(50, 10);
  KvInjectMouseButton(VK_LBUTTON, TRUE);
  KvInjectMouseMove(80, 40);
  KvInjectMouseButton(VK_LBUTTON, FALSE);
  KvPumpMessages();
  RECT r;
  GetWindowRect(h, &r);
  EXPECT_EQ(r.left, 30);
  EXPECT_EQ(r.top, 30);
  auto got = Only({WM_ENTERSIZEMOVE, WM_MOVING, WM_EXITSIZEMOVE});
  EXPECT_SEQ(got, Sent(WM_ENTERSIZEMOVE, h), Sent(WM_MOVING, h), Sent(WM_MOVING, h), Sent(WM_EXITSIZEMOVE, h));
}

TEST_F(InputTest, ScrollBarTrackingSendsScrollCodes) {
  HWND h = Top(WS_POPUP | WS_VISIBLE | WS_VSCROLL, 0, 0, 100, 100);
  SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS, 0, 99, 10, 0, 0};
  SetScrollInfo(h, SB_VERT, &si, TRUE);
  KvPumpMessages();
  EXPECT_EQ(SendMessageW(h, WM_NCHITTEST, 0, MAKELPARAM(92, 5)), HTVSCROLL);
  KvSpyStart(h);
  KvInjectClick(92, 5);  // the upper arrow
  KvPumpMessages();
  auto got = Only({WM_VSCROLL});
  EXPECT_SEQ(got, WithW(Sent(WM_VSCROLL, h), SB_LINEUP), WithW(Sent(WM_VSCROLL, h), SB_ENDSCROLL));
  SCROLLBARINFO sbi{};
  sbi.cbSize = sizeof sbi;
  ASSERT_TRUE(GetScrollBarInfo(h, static_cast<LONG>(OBJID_VSCROLL), &sbi));
  EXPECT_EQ(sbi.rcScrollBar.left, 84);
  EXPECT_EQ(sbi.dxyLineButton, 16);
  EXPECT_FALSE(GetScrollBarInfo(h, static_cast<LONG>(OBJID_HSCROLL), nullptr));
  // The widest range there is, and a page larger than it.
  SCROLLINFO wide{sizeof wide, SIF_RANGE | SIF_PAGE | SIF_POS, INT32_MIN, INT32_MAX, 0xFFFFFFFFu, INT32_MAX, 0};
  SetScrollInfo(h, SB_VERT, &wide, TRUE);
  KvPumpMessages();
  ASSERT_TRUE(GetScrollBarInfo(h, static_cast<LONG>(OBJID_VSCROLL), &sbi));
  EXPECT_LE(sbi.xyThumbBottom, sbi.rcScrollBar.bottom - sbi.rcScrollBar.top);
}

TEST_F(InputTest, DisabledScrollBarShowsNoThumbAndTakesNoPresses) {
  HWND h = Top(WS_POPUP | WS_VISIBLE | WS_VSCROLL, 0, 0, 100, 100);
  SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS, 0, 99, 10, 0, 0};
  SetScrollInfo(h, SB_VERT, &si, TRUE);
  KvPumpMessages();
  // The thumb's edges, just below the upper arrow, stand out of the track.
  auto thumbShown = [h] {
    for (int y = 17; y < 40; ++y)
      if (KvWindowGetPixel(h, 92, y) != GetSysColor(COLOR_SCROLLBAR)) return true;
    return false;
  };
  EXPECT_TRUE(thumbShown());
  EnableScrollBar(h, SB_VERT, ESB_DISABLE_BOTH);
  KvPumpMessages();
  EXPECT_FALSE(thumbShown());
  KvSpyStart(h);
  KvInjectClick(92, 5);
  KvPumpMessages();
  EXPECT_TRUE(Only({WM_VSCROLL}).empty());
}

TEST_F(InputTest, MinimiseMaximiseRestore) {
  HWND h = Top(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200);
  KvPumpMessages();
  KvSpyStart(h);
  ShowWindow(h, SW_MAXIMIZE);
  EXPECT_TRUE(IsZoomed(h));
  RECT r;
  GetWindowRect(h, &r);
  EXPECT_EQ(r.left, -4);
  EXPECT_EQ(r.right - r.left, GetSystemMetrics(SM_CXSCREEN) + 8);
  EXPECT_SEQ(Only({WM_SIZE}), WithW(Sent(WM_SIZE, h), SIZE_MAXIMIZED));
  ShowWindow(h, SW_MINIMIZE);
  EXPECT_TRUE(IsIconic(h));
  ShowWindow(h, SW_RESTORE);  // back to maximised, as it was before
  EXPECT_TRUE(IsZoomed(h));
  ShowWindow(h, SW_RESTORE);
  GetWindowRect(h, &r);
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.right - r.left, 300);
  EXPECT_FALSE(ShowWindow(h, 99));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SHOWWIN_COMMAND));
}

// Characters wait in the queue as UTF-16 units: the wide retrievals take one message per
// character, the ANSI ones the ANSI code page's bytes, a double-byte character as two
// WM_CHAR messages, lead byte first.
TEST_F(InputTest, AnsiRetrievalsTakeCharactersAsCodePageBytes) {
  HWND h = Top(WS_POPUP | WS_VISIBLE, 0, 0, 200, 100);
  SetFocus(h);
  KvPumpMessages();
  struct Case {
    bool ansi;
    std::vector<WPARAM> want;
  } cases[] = {{false, {u'a', 0x53D1, u'b'}}, {true, {u'a', 0xB7, 0xA2, u'b'}}};  // U+53D1 is B7 A2 in GBK
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ansi ? "ANSI" : "wide");
    for (WCHAR ch : {u'a', u'\u53d1', u'b'}) KvInjectChar(ch);
    std::vector<WPARAM> got;
    MSG m;
    while (c.ansi ? PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE) : PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
      if (m.message == WM_CHAR) got.push_back(m.wParam);
    EXPECT_EQ(got, c.want);
  }
}

}  // namespace
}  // namespace kvtest
