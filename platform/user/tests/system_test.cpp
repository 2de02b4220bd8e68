// Metrics and non-client geometry, version, message boxes and the user32 module.
#include <cstring>

#include "platform/base/error.h"
#include "platform/base/module.h"
#include "platform/user/testing.h"
#include "platform/user/tests/user_test_util.h"

namespace kvtest {
namespace {

class SystemTest : public UserTest {};

TEST_F(SystemTest, AdjustWindowRectMatchesTheClientTheWindowGets) {
  struct Case {
    DWORD style, ex;
  } cases[] = {{WS_OVERLAPPEDWINDOW, 0},
               {WS_POPUP | WS_BORDER, 0},
               {WS_POPUP | WS_CAPTION | WS_SYSMENU, WS_EX_DLGMODALFRAME},
               {WS_POPUP | WS_THICKFRAME, WS_EX_CLIENTEDGE},
               {WS_POPUP | WS_CAPTION, WS_EX_TOOLWINDOW | WS_EX_STATICEDGE}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.style);
    RECT r{0, 0, 200, 100};
    ASSERT_TRUE(AdjustWindowRectEx(&r, c.style, FALSE, c.ex));
    HWND h = CreateWindowExW(c.ex, u"KvTest", u"", c.style, 0, 0, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                             nullptr, nullptr);
    RECT cl;
    GetClientRect(h, &cl);
    EXPECT_EQ(cl.right, 200);
    EXPECT_EQ(cl.bottom, 100);
    DestroyWindow(h);
  }
}

TEST_F(SystemTest, HitTestFollowsTheStyles) {
  HWND h = Top(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200);
  auto hit = [&](int x, int y) { return SendMessageW(h, WM_NCHITTEST, 0, MAKELPARAM(x, y)); };
  EXPECT_EQ(hit(150, 100), HTCLIENT);
  EXPECT_EQ(hit(150, 12), HTCAPTION);
  EXPECT_EQ(hit(1, 100), HTLEFT);
  EXPECT_EQ(hit(299, 199), HTBOTTOMRIGHT);
  EXPECT_EQ(hit(12, 12), HTSYSMENU);
  EXPECT_EQ(hit(500, 500), HTNOWHERE);
  // Without WS_SYSMENU the caption has no buttons.
  SetWindowLongW(h, GWL_STYLE, GetWindowLongW(h, GWL_STYLE) & ~WS_SYSMENU);
  EXPECT_EQ(hit(288, 12), HTCAPTION);
  EXPECT_EQ(hit(12, 12), HTCAPTION);
}

TEST_F(SystemTest, MetricsAndNonClientMetrics) {
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
  EXPECT_EQ(GetSystemMetrics(SM_CYCAPTION), 19);
  NONCLIENTMETRICSA m{};
  m.cbSize = sizeof m;
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0));
  EXPECT_EQ(m.iScrollWidth, 16);
  EXPECT_NE(m.lfMenuFont.lfFaceName[0], 0);
  m.cbSize = 5;
  EXPECT_FALSE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, 0, &m, 0));
}

TEST_F(SystemTest, VersionIsConfigurable) {
  OSVERSIONINFOA v{};
  v.dwOSVersionInfoSize = sizeof v;
  ASSERT_TRUE(GetVersionExA(&v));
  EXPECT_EQ(v.dwMajorVersion, 5u);
  EXPECT_EQ(v.dwMinorVersion, 1u);
  EXPECT_EQ(v.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
  EXPECT_EQ(GetVersion() & 0x80000000u, 0u);
  KvUserSetVersion(4, 10, 1998, VER_PLATFORM_WIN32_WINDOWS);
  EXPECT_NE(GetVersion() & 0x80000000u, 0u);
  EXPECT_EQ(GetVersion() & 0xFF, 4u);
  v.dwOSVersionInfoSize = 4;
  EXPECT_FALSE(GetVersionExA(&v));
}

TEST_F(SystemTest, MessageBoxesAreRecordedAndAnsweredFromTheScript) {
  KvMessageBoxScriptPush(IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, "\xb4\xed\xce\xf3", "t", MB_YESNO), IDNO);
  // An empty script answers with the default button.
  EXPECT_EQ(MessageBoxW(nullptr, u"q", u"c", MB_YESNOCANCEL | MB_DEFBUTTON2), IDNO);
  EXPECT_EQ(MessageBoxW(nullptr, u"q", u"c", MB_OKCANCEL), IDOK);
  ASSERT_EQ(KvMessageBoxLogCount(), 3u);
  KVMSGBOXRECORD r;
  ASSERT_TRUE(KvMessageBoxLogGet(0, &r));
  EXPECT_STREQ(r.text, "\xe9\x94\x99\xe8\xaf\xaf");  // the GBK text, in UTF-8
  EXPECT_EQ(r.type, static_cast<UINT>(MB_YESNO));
  EXPECT_EQ(r.answer, IDNO);
  EXPECT_FALSE(KvMessageBoxLogGet(3, &r));
}

TEST_F(SystemTest, OptionalEntriesOfUser32CanBeRemoved) {
  HMODULE u = LoadLibraryA("user32.dll");
  ASSERT_TRUE(u);
  EXPECT_TRUE(GetProcAddress(u, "TrackMouseEvent"));
  EXPECT_TRUE(GetProcAddress(u, "GetScrollBarInfo"));
  ASSERT_TRUE(KvUserSetOptionalEntry("TrackMouseEvent", FALSE));
  EXPECT_EQ(GetProcAddress(LoadLibraryA("USER32"), "TrackMouseEvent"), nullptr);
  EXPECT_TRUE(GetProcAddress(u, "GetScrollBarInfo"));
  EXPECT_FALSE(KvUserSetOptionalEntry("SendMessageW", FALSE));
  KvUserSetOptionalEntry("TrackMouseEvent", TRUE);
  auto track = kv::ProcAddress<BOOL (*)(LPTRACKMOUSEEVENT)>(u, "TrackMouseEvent");
  ASSERT_TRUE(track);
  EXPECT_FALSE(track(nullptr));
}

TEST_F(SystemTest, RectangleHelpers) {
  RECT a{0, 0, 10, 10}, b{5, 5, 20, 20}, r;
  EXPECT_TRUE(IntersectRect(&r, &a, &b));
  EXPECT_TRUE(EqualRect(&r, std::data({RECT{5, 5, 10, 10}})));
  RECT far{30, 30, 40, 40};
  EXPECT_FALSE(IntersectRect(&r, &a, &far));
  EXPECT_TRUE(IsRectEmpty(&r));
  EXPECT_TRUE(UnionRect(&r, &a, &b));
  EXPECT_EQ(r.right, 20);
  EXPECT_FALSE(PtInRect(&a, POINT{10, 5}));
  RECT cut{0, 0, 5, 10};
  EXPECT_TRUE(SubtractRect(&r, &a, &cut));
  EXPECT_EQ(r.left, 5);
}

}  // namespace
}  // namespace kvtest
