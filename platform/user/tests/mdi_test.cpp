// MDI: a frame whose procedure is DefFrameProc, its "MDIClient" and children whose
// procedure is DefMDIChildProc; the messages the children get and what the client does.
#include <string>

#include "platform/user/tests/user_test_util.h"

namespace {

using kvtest::UserTest;

HWND gClient = nullptr;

LRESULT FrameProc(HWND h, UINT m, WPARAM wp, LPARAM lp) { return DefFrameProcW(h, gClient, m, wp, lp); }

class MdiTest : public UserTest {
 protected:
  void SetUp() override {
    UserTest::SetUp();
    WNDCLASSW frame{};
    frame.lpfnWndProc = FrameProc;
    frame.lpszClassName = u"KvMdiFrame";
    ASSERT_NE(RegisterClassW(&frame), 0);
    WNDCLASSW child{};
    child.lpfnWndProc = DefMDIChildProcW;
    child.lpszClassName = u"KvMdiChild";
    ASSERT_NE(RegisterClassW(&child), 0);
    gClient = nullptr;
    frame_ = CreateWindowExW(0, u"KvMdiFrame", u"Frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 600, 400, nullptr,
                             nullptr, nullptr, nullptr);
    ASSERT_NE(frame_, nullptr);
    CLIENTCREATESTRUCT ccs{nullptr, 100};
    RECT fc;
    GetClientRect(frame_, &fc);
    gClient = CreateWindowExW(0, u"MDIClient", nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, fc.right,
                              fc.bottom, frame_, nullptr, nullptr, &ccs);
    ASSERT_NE(gClient, nullptr);
    SetActiveWindow(frame_);
  }
  void TearDown() override {
    gClient = nullptr;
    UserTest::TearDown();
  }
  HWND NewChild(const char16_t* title, DWORD style = 0) {
    return CreateMDIWindowW(u"KvMdiChild", title, style, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                            gClient, nullptr, 0);
  }
  HWND Active(BOOL* maximized = nullptr) {
    return reinterpret_cast<HWND>(SendMessageW(gClient, WM_MDIGETACTIVE, 0, reinterpret_cast<LPARAM>(maximized)));
  }
  std::u16string Text(HWND h) {
    WCHAR buf[100] = {};
    GetWindowTextW(h, buf, 100);
    return buf;
  }
  RECT ClientArea(HWND h) {
    RECT r;
    GetClientRect(h, &r);
    return r;
  }
  HWND frame_ = nullptr;
};

TEST_F(MdiTest, ChildrenAreMadeActivatedInTurnAndDestroyed) {
  HWND one = NewChild(u"One");
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(GetParent(one), gClient);
  EXPECT_TRUE(GetWindowLongW(one, GWL_EXSTYLE) & WS_EX_MDICHILD);
  EXPECT_TRUE((GetWindowLongW(one, GWL_STYLE) & (WS_CHILD | WS_CAPTION | WS_VISIBLE)) ==
              static_cast<LONG>(WS_CHILD | WS_CAPTION | WS_VISIBLE));
  EXPECT_EQ(GetDlgCtrlID(one), 100);
  EXPECT_EQ(Active(), one);

  // The second child through the ANSI form: the title arrives converted.
  KvSpyStart(nullptr);
  MDICREATESTRUCTA m{"KvMdiChild", "Two", nullptr, CW_USEDEFAULT, CW_USEDEFAULT, 200, 150, 0, 0};
  HWND two = reinterpret_cast<HWND>(SendMessageA(gClient, WM_MDICREATE, 0, reinterpret_cast<LPARAM>(&m)));
  KvSpyStop();
  ASSERT_NE(two, nullptr);
  EXPECT_EQ(Text(two), u"Two");
  EXPECT_EQ(GetDlgCtrlID(two), 101);
  EXPECT_EQ(Active(), two);
  // The one losing activation hears first, then the new one; both are told (old, new).
  auto got = Only({WM_MDIACTIVATE, WM_NCACTIVATE}, KV_SPY_SENT);
  ASSERT_EQ(got.size(), 4u);
  const std::pair<HWND, UINT> order[] = {
      {one, WM_NCACTIVATE}, {one, WM_MDIACTIVATE}, {two, WM_NCACTIVATE}, {two, WM_MDIACTIVATE}};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(got[i].hwnd, order[i].first) << i;
    EXPECT_EQ(got[i].message, order[i].second) << i;
  }
  EXPECT_EQ(got[0].wParam, FALSE);
  EXPECT_EQ(got[2].wParam, static_cast<WPARAM>(TRUE));
  for (size_t i : {1u, 3u}) {
    EXPECT_EQ(reinterpret_cast<HWND>(got[i].wParam), one);
    EXPECT_EQ(reinterpret_cast<HWND>(got[i].lParam), two);
  }

  SendMessageW(gClient, WM_MDINEXT, 0, 0);
  EXPECT_EQ(Active(), one);
  SendMessageW(gClient, WM_MDINEXT, 0, 1);  // previous
  EXPECT_EQ(Active(), two);
  // The frame's window-menu command for the first child activates it.
  SendMessageW(frame_, WM_COMMAND, 100, 0);
  EXPECT_EQ(Active(), one);

  SendMessageW(gClient, WM_MDIDESTROY, reinterpret_cast<WPARAM>(one), 0);
  EXPECT_FALSE(IsWindow(one));
  EXPECT_EQ(Active(), two);
  // Closing a child destroys it through the client.
  SendMessageW(two, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(two));
  EXPECT_EQ(Active(), nullptr);
  // A window that is not the client's child is left alone.
  HWND stranger = Top();
  SendMessageW(gClient, WM_MDIDESTROY, reinterpret_cast<WPARAM>(stranger), 0);
  EXPECT_TRUE(IsWindow(stranger));
}

TEST_F(MdiTest, MaximisedChildFillsTheClientAndJoinsTheFrameCaption) {
  HWND one = NewChild(u"One");
  SendMessageW(gClient, WM_MDIMAXIMIZE, reinterpret_cast<WPARAM>(one), 0);
  BOOL maximized = FALSE;
  EXPECT_EQ(Active(&maximized), one);
  EXPECT_TRUE(maximized);
  EXPECT_TRUE(IsZoomed(one));
  EXPECT_EQ(ClientArea(one).right, ClientArea(gClient).right);
  EXPECT_EQ(ClientArea(one).bottom, ClientArea(gClient).bottom);
  EXPECT_EQ(Text(frame_), u"Frame - [One]");
  SetWindowTextW(one, u"Uno");
  EXPECT_EQ(Text(frame_), u"Frame - [Uno]");
  // A new child takes the maximised state over.
  HWND two = NewChild(u"Two");
  EXPECT_TRUE(IsZoomed(two));
  EXPECT_FALSE(IsZoomed(one));
  EXPECT_EQ(Text(frame_), u"Frame - [Two]");
  // The frame grows: the client follows it (DefFrameProc), the maximised child the client.
  SetWindowPos(frame_, nullptr, 0, 0, 700, 500, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(ClientArea(gClient).right, ClientArea(frame_).right);
  EXPECT_EQ(ClientArea(two).right, ClientArea(gClient).right);
  SendMessageW(gClient, WM_MDIRESTORE, reinterpret_cast<WPARAM>(two), 0);
  EXPECT_EQ(Active(&maximized), two);
  EXPECT_FALSE(maximized);
  EXPECT_EQ(Text(frame_), u"Frame");
  // The last child gone while maximised: the frame's own caption comes back.
  SendMessageW(gClient, WM_MDIDESTROY, reinterpret_cast<WPARAM>(one), 0);
  SendMessageW(gClient, WM_MDIMAXIMIZE, reinterpret_cast<WPARAM>(two), 0);
  SendMessageW(gClient, WM_MDIDESTROY, reinterpret_cast<WPARAM>(two), 0);
  EXPECT_EQ(Text(frame_), u"Frame");
}

TEST_F(MdiTest, TileAndCascadeArrangeTheChildrenAndEndTheMaximisedState) {
  HWND one = NewChild(u"One"), two = NewChild(u"Two");
  SendMessageW(gClient, WM_MDIMAXIMIZE, reinterpret_cast<WPARAM>(two), 0);
  const RECT area = ClientArea(gClient);
  auto placed = [](HWND h) {
    RECT r;
    GetWindowRect(h, &r);
    POINT p{r.left, r.top};
    ScreenToClient(GetParent(h), &p);
    return RECT{p.x, p.y, p.x + r.right - r.left, p.y + r.bottom - r.top};
  };
  struct Row {
    UINT msg;
    WPARAM how;
    RECT first, second;  // in creation order
  };
  const int step = GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYFRAME);
  const Row rows[] = {
      {WM_MDITILE, MDITILE_VERTICAL, {0, 0, area.right / 2, area.bottom}, {area.right / 2, 0, area.right, area.bottom}},
      {WM_MDITILE,
       MDITILE_HORIZONTAL,
       {0, 0, area.right, area.bottom / 2},
       {0, area.bottom / 2, area.right, area.bottom}},
      // The active child (two) ends last, on top.
      {WM_MDICASCADE, 0, {0, 0, area.right - step, area.bottom - step}, {step, step, area.right, area.bottom}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "message " << std::hex << r.msg << " how " << r.how);
    EXPECT_EQ(SendMessageW(gClient, r.msg, r.how, 0), TRUE);
    BOOL maximized = TRUE;
    EXPECT_EQ(Active(&maximized), two);
    EXPECT_FALSE(maximized);
    const RECT a = placed(one), b = placed(two);
    EXPECT_TRUE(EqualRect(&a, &r.first)) << a.left << "," << a.top << "," << a.right << "," << a.bottom;
    EXPECT_TRUE(EqualRect(&b, &r.second)) << b.left << "," << b.top << "," << b.right << "," << b.bottom;
  }
  EXPECT_EQ(GetWindow(gClient, GW_CHILD), two);  // on top after the cascade
}

TEST_F(MdiTest, SetMenuGivesTheFrameItsNewMenu) {
  HMENU first = CreateMenu(), second = CreateMenu();
  AppendMenuW(first, MF_STRING, 1, u"&File");
  AppendMenuW(second, MF_STRING, 2, u"&Edit");
  SetMenu(frame_, first);
  EXPECT_EQ(reinterpret_cast<HMENU>(SendMessageW(gClient, WM_MDISETMENU, reinterpret_cast<WPARAM>(second), 0)), first);
  EXPECT_EQ(GetMenu(frame_), second);
  // No new frame menu: the frame keeps its own.
  EXPECT_EQ(reinterpret_cast<HMENU>(SendMessageW(gClient, WM_MDISETMENU, 0, 0)), second);
  EXPECT_EQ(GetMenu(frame_), second);
  DestroyMenu(first);
}

}  // namespace
