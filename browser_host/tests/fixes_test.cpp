// The process-wide fixes: the wheel hook over real browser windows, the focus hook on
// the application window, the feature switches, the optional libraries and the suite's
// start-up and shut-down.
#include <gtest/gtest.h>

#include <string>

#include "browser_host/browser_fixes.h"
#include "browser_host/browser_libs.h"
#include "framework/activex/olectrls.h"
#include "framework/core/registry.h"
#include "platform/base/global_memory.h"
#include "platform/base/sync.h"
#include "platform/base/time.h"
#include "platform/inet/inet.h"
#include "platform/inet/urlmon.h"
#include "platform/registry/registry.h"
#include "platform/user/testing.h"
#include "testsupport/browser_site.h"
#include "testsupport/temp_home.h"

namespace {

// Counts the wheel messages that reach the hooks installed before the fix.
int wheels_seen = 0;
LRESULT CountingHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && wParam == WM_MOUSEWHEEL) ++wheels_seen;
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

class FixesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // No KvUserReset: the browser control registers its window classes once a process.
    Application->ResetState();
    KvRegistryReload();
    KvClockSetVirtual(TRUE);
    wheels_seen = 0;
    counter_ = SetWindowsHookExA(WH_MOUSE, &CountingHook, nullptr, GetCurrentThreadId());
  }
  void TearDown() override {
    UnhookWindowsHookEx(counter_);
    Application->ResetState();
    KvClockSetVirtual(FALSE);
  }
  static POINT CentreOf(HWND h) {
    RECT r{};
    GetWindowRect(h, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }
  static void Wheel(HWND over) {
    POINT p = CentreOf(over);

    KvInjectMouseWheel(p.x, p.y, 120);
    while (KvPumpMessages() > 0) {
    }
  }

  kvtest::TempHome home_;
  HHOOK counter_ = nullptr;
};

// Two browsers side by side, each showing a page.
struct TwoBrowsers {
  kvtest::HostedBrowser a, b;
  HWND server_a = nullptr, server_b = nullptr, view_b = nullptr;
  TwoBrowsers() {
    SetWindowPos(b.window, nullptr, 450, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    a.Navigate("about:blank");
    b.Navigate("about:blank");
    a.Run();
    b.Run();
    server_a = a.FindChild(u"Internet Explorer_Server");
    server_b = b.FindChild(u"Internet Explorer_Server");
    view_b = b.FindChild(u"Shell DocObject View");
  }
};

TEST_F(FixesTest, WheelOverAnotherBrowserTakesTheFocusAndSwallowsTheMessage) {
  TwoBrowsers two;
  ASSERT_TRUE(two.server_a && two.server_b && two.view_b);
  TEwbControl fixes(nullptr);
  fixes.MouseWheelFix()->SetActive(true);
  struct Case {
    const char* what;
    HWND focus;
    HWND expected_focus;
    int seen;
  } cases[] = {
      {"focus in the other browser", two.server_a, two.server_b, 0},
      {"focus already in this browser's document", two.server_b, two.server_b, 1},
      {"focus on this browser's view window", two.view_b, two.server_b, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetFocus(c.focus);
    ASSERT_EQ(GetFocus(), c.focus);
    wheels_seen = 0;
    Wheel(two.server_b);
    EXPECT_EQ(GetFocus(), c.expected_focus);
    EXPECT_EQ(wheels_seen, c.seen);
  }
}

TEST_F(FixesTest, WheelOutsideAnyBrowserPassesUnchanged) {
  TwoBrowsers two;
  HWND plain = CreateWindowExA(0, "BUTTON", "plain", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 400, 200, 100, nullptr,
                               nullptr, nullptr, nullptr);
  TEwbControl fixes(nullptr);
  fixes.MouseWheelFix()->SetActive(true);
  SetFocus(two.server_a);
  Wheel(plain);
  DestroyWindow(plain);
  EXPECT_EQ(GetFocus(), two.server_a);
  EXPECT_EQ(wheels_seen, 1);
}

TEST_F(FixesTest, TwoFixObjectsShareOneHookUntilTheLastIsSwitchedOff) {
  TwoBrowsers two;
  TEwbControl first(nullptr), second(nullptr);
  first.MouseWheelFix()->SetActive(true);
  second.MouseWheelFix()->SetActive(true);
  first.MouseWheelFix()->SetActive(false);
  SetFocus(two.server_a);
  Wheel(two.server_b);
  EXPECT_EQ(GetFocus(), two.server_b) << "the hook stays while one fix is on";
  EXPECT_EQ(wheels_seen, 0);
  second.MouseWheelFix()->SetActive(false);
  SetFocus(two.server_a);
  Wheel(two.server_b);
  EXPECT_EQ(GetFocus(), two.server_a);
  EXPECT_EQ(wheels_seen, 1);
}

TEST_F(FixesTest, HandlerCanStopTheFix) {
  TwoBrowsers two;
  TEwbControl fixes(nullptr);
  HWND seen_under = nullptr;
  fixes.OnMouseWheel = [&](TPoint&, HWND under, LPARAM, bool& handled) {
    seen_under = under;
    handled = true;
  };
  fixes.Loaded();
  fixes.MouseWheelFix()->SetActive(true);
  SetFocus(two.server_a);
  Wheel(two.server_b);
  EXPECT_EQ(seen_under, two.server_b);
  EXPECT_EQ(GetFocus(), two.server_a);
  EXPECT_EQ(wheels_seen, 1);
}

TEST_F(FixesTest, ActiveFormOnlyLeavesTheFocusAloneOverAnInactiveForm) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  {
    TForm active(nullptr), inactive(nullptr);
    active.SetBounds(0, 0, 300, 200);
    inactive.SetBounds(400, 0, 300, 200);
    auto* browser = new TOleControl(&inactive, CLSID_WebBrowser, DIID_DWebBrowserEvents2);
    browser->SetParent(&inactive);
    browser->SetBounds(0, 0, 280, 180);
    inactive.Show();
    active.Show();
    ASSERT_EQ(Screen->ActiveForm(), &active);
    HWND inner = GetWindow(browser->Handle(), GW_CHILD);
    ASSERT_TRUE(inner);
    TEwbControl fixes(nullptr);
    fixes.MouseWheelFix()->SetActiveFormOnly(true);
    fixes.MouseWheelFix()->SetActive(true);
    HWND focus = active.Handle();
    SetFocus(focus);
    Wheel(inner);
    EXPECT_EQ(GetFocus(), focus);
    EXPECT_EQ(wheels_seen, 1);

    fixes.MouseWheelFix()->SetActiveFormOnly(false);
    Wheel(inner);
    HWND under = WindowFromPoint(CentreOf(inner));
    EXPECT_EQ(GetFocus(), under);
    EXPECT_TRUE(IsChild(browser->Handle(), under));
    EXPECT_EQ(wheels_seen, 1);
  }
  CoUninitialize();
}

// A control that goes by the browser core's class name and records the focus message.
class TEWBCore : public TWinControl {
 public:
  using TWinControl::TWinControl;
  KV_CLASS_NAME(TEWBCore)
  int take_focus = 0;

 protected:
  void WndProc(TMessage& Message) override {
    if (Message.Msg == WM_EWB_TAKE_FOCUS && Message.WParam == reinterpret_cast<WPARAM>(this)) ++take_focus;
    TWinControl::WndProc(Message);
  }
};

TEST_F(FixesTest, FocusHookPostsTheBrowserTheFocusMessageWhenItsFormIsActivated) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 300, 200);
  auto* core = new TEWBCore(&form);
  core->SetParent(&form);
  form.Show();
  form.SetActiveControl(core);
  // The focus inside the browser, on a window of its own (no framework control).
  HWND inner = CreateWindowExA(0, "BUTTON", "", WS_CHILD | WS_VISIBLE, 0, 0, 20, 20, core->Handle(), nullptr,
                               nullptr, nullptr);
  TEwbControl fixes(nullptr);
  fixes.FocusControl()->SetActive(true);
  SetFocus(inner);
  ASSERT_EQ(form.ActiveControl(), core);
  SendMessageA(Application->Handle(), CM_ACTIVATE, 0, 0);
  while (KvPumpMessages() > 0) {
  }
  EXPECT_EQ(core->take_focus, 1);

  SetFocus(core->Handle());  // a browser that has the focus gets nothing
  SendMessageA(Application->Handle(), CM_ACTIVATE, 0, 0);
  while (KvPumpMessages() > 0) {
  }
  EXPECT_EQ(core->take_focus, 1);

  fixes.FocusControl()->SetActive(false);
  SetFocus(inner);
  SendMessageA(Application->Handle(), CM_ACTIVATE, 0, 0);
  while (KvPumpMessages() > 0) {
  }
  EXPECT_EQ(core->take_focus, 1);
}

TEST_F(FixesTest, InternetFeaturesSwitchEveryFeatureByMembershipAndTheEmptySetNone) {
  TEwbControl fixes(nullptr);
  fixes.SetInternetFeatures({DisableNavigationSounds, MimeSniffing});
  EXPECT_EQ(IsBrowserFeatureEnabled(FEATURE_DISABLE_NAVIGATION_SOUNDS, SET_FEATURE_ON_PROCESS), S_OK);
  EXPECT_EQ(IsBrowserFeatureEnabled(MimeSniffing, SET_FEATURE_ON_PROCESS), S_OK);
  EXPECT_EQ(IsBrowserFeatureEnabled(ZoneElevation, SET_FEATURE_ON_PROCESS), S_FALSE);
  fixes.SetInternetFeatures({});
  EXPECT_EQ(IsBrowserFeatureEnabled(FEATURE_DISABLE_NAVIGATION_SOUNDS, SET_FEATURE_ON_PROCESS), S_OK);
  fixes.SetInternetFeatures({ZoneElevation});
  EXPECT_EQ(IsBrowserFeatureEnabled(FEATURE_DISABLE_NAVIGATION_SOUNDS, SET_FEATURE_ON_PROCESS), S_FALSE);
  EXPECT_EQ(IsBrowserFeatureEnabled(ZoneElevation, SET_FEATURE_ON_PROCESS), S_OK);
  SetBrowserFeatureEnabled(ZoneElevation, SET_FEATURE_ON_PROCESS, false);
}

TEST_F(FixesTest, AbsentOptionalLibrariesAnswerZero) {
  EXPECT_EQ(CallHtmlHelp(nullptr, "help.chm", 0, 0), 0);
  EXPECT_EQ(GetBrowserResourceModule(), nullptr);
}

TEST_F(FixesTest, ShutDownRestoresProxySoundAndControlWord) {
  TRegistry reg;
  reg.SetRootKey(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.CreateKey("AppEvents\\Schemes\\Apps\\Explorer\\Navigating\\Old_Current"));
  const WORD start = Get8087CW();
  StartBrowserSuite();
  ASSERT_TRUE(BrowserSuiteControl());
  EXPECT_TRUE(TEWBFocusControl::Instance());
  EXPECT_EQ(SavedFPUControlWord(), start);
  Set8087CW(0x133F);
  NoteNavigationSoundSwitchedOff();
  char proxy[] = "127.0.0.1:3128";
  INTERNET_PER_CONN_OPTIONA options[2];
  options[0].dwOption = INTERNET_PER_CONN_FLAGS;
  options[0].Value.dwValue = PROXY_TYPE_PROXY;
  options[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
  options[1].Value.pszValue = proxy;
  INTERNET_PER_CONN_OPTION_LISTA list{20, nullptr, 2, 0, options};
  ASSERT_TRUE(InternetSetOptionA(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, 20));
  NoteProcessProxySet(true);

  StopBrowserSuite();
  EXPECT_EQ(Get8087CW(), start);
  EXPECT_EQ(BrowserSuiteControl(), nullptr);
  EXPECT_EQ(TEWBFocusControl::Instance(), nullptr);
  EXPECT_TRUE(reg.KeyExists("AppEvents\\Schemes\\Apps\\Explorer\\Navigating\\.Current"));
  EXPECT_FALSE(reg.KeyExists("AppEvents\\Schemes\\Apps\\Explorer\\Navigating\\Old_Current"));
  INTERNET_PER_CONN_OPTIONA back[1];
  back[0].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
  INTERNET_PER_CONN_OPTION_LISTA query{20, nullptr, 1, 0, back};
  DWORD size = 20;
  ASSERT_TRUE(InternetQueryOptionA(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &query, &size));
  EXPECT_TRUE(!back[0].Value.pszValue || !*back[0].Value.pszValue) << back[0].Value.pszValue;
  if (back[0].Value.pszValue) GlobalFree(back[0].Value.pszValue);
  KvInetResetProcessState();
}

}  // namespace
