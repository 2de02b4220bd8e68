// The browser component on a framework form with file: pages: Go and its wait, the
// busy-wait's cancel, time-out and end by destruction, HTML text, the user-agent modes,
// snapshots, script calls without a script engine, clicks and the dialog watcher.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "browser_host/embedded_browser.h"
#include "browser_host/tests/browser_form.h"
#include "framework/controls/forms.h"
#include "framework/controls/stdctrls.h"
#include "framework/core/registry.h"
#include "framework/graphics/jpeg.h"
#include "platform/base/codepage.h"
#include "platform/base/time.h"
#include "platform/comctl/listview.h"
#include "platform/registry/registry.h"
#include "platform/user/testing.h"
#include "testsupport/temp_home.h"

namespace {

const char kPostPlatform[] =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\User Agent\\Post Platform";

class EmbeddedTest : public BrowserOnForm<TEmbeddedWB> {
 protected:
  void SetUp() override {
    BrowserOnForm::SetUp();
    wb_->OnBeforeNavigate2 = [this](TObject*, IDispatch*, OleVariant& url, OleVariant&, OleVariant&, OleVariant&,
                                    OleVariant&, VARIANT_BOOL& cancel) {
      events_.push_back("before " + url.AsString());
      if (cancel_) cancel = VARIANT_TRUE;
    };
    wb_->OnDocumentComplete = [this](TObject*, IDispatch*, OleVariant&) { events_.push_back("complete"); };
    form_->Show();
  }
  LONG ReadyState() {
    LONG s = -1;
    wb_->DefaultInterface()->get_ReadyState(&s);
    return s;
  }
  std::string Location() {
    BSTR b = nullptr;
    wb_->DefaultInterface()->get_LocationURL(&b);
    std::string s = kv::WideToUtf8(kv::BstrText(b));
    SysFreeString(b);
    return s;
  }

  std::vector<std::string> events_;
  bool cancel_ = false;
};

TEST_F(EmbeddedTest, GoWithATimeOutReturnsAfterDocumentComplete) {
  std::string page = Page("go.html", "<html><body>go</body></html>");
  EXPECT_TRUE(wb_->Go(page, 5000));
  EXPECT_EQ(ReadyState(), READYSTATE_COMPLETE);
  ASSERT_EQ(events_.size(), 2u);
  EXPECT_EQ(events_[1], "complete");
  EXPECT_EQ(Location(), "file://" + page);
  IHTMLDocument2* doc = wb_->WaitDocument2();
  ASSERT_TRUE(doc);
  doc->Release();
  // Back, forward, stop and refresh on the travel log.
  std::string second = Page("second.html", "<p>second</p>");
  ASSERT_TRUE(wb_->Go(second, 5000));
  wb_->GoBack();
  Pump();
  EXPECT_EQ(Location(), "file://" + page);
  wb_->GoForward();
  Pump();
  EXPECT_EQ(Location(), "file://" + second);
  wb_->GoForward();  // nothing ahead: the error is swallowed
  wb_->Stop();
  wb_->Refresh();
  Pump();
  EXPECT_EQ(Location(), "file://" + second);
}

TEST_F(EmbeddedTest, GoWithNothingOrAFolder) {
  for (const char* url : {"", "   "}) {
    EXPECT_TRUE(wb_->Go(url, 1000));
    EXPECT_TRUE(events_.empty()) << "'" << url << "'";
  }
  EXPECT_TRUE(wb_->Go(home_.path(), 1000));
  ASSERT_EQ(events_.size(), 1u);
  EXPECT_EQ(events_[0], "before file:///" + home_.path()) << "no wait: nothing completed yet";
  Pump();
}

TEST_F(EmbeddedTest, BusyWaitCancelAndTimeOutFromTheHandler) {
  std::string page = Page("w.html", "<p>w</p>");
  struct Case {
    const char* what;
    bool cancel;
    DWORD timeout;
  } cases[] = {{"cancelled", true, 0}, {"time-out set by the handler", false, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    int calls = 0;
    wb_->OnBusyWait = [&](TEmbeddedWB*, DWORD start, DWORD& timeout, bool& cancel) {
      ++calls;
      EXPECT_EQ(start, GetTickCount());
      timeout = c.timeout;
      cancel = c.cancel;
      KvClockAdvance(10);
    };
    EXPECT_FALSE(wb_->Go(page, 100000));
    EXPECT_EQ(calls, 1);
    wb_->OnBusyWait = nullptr;
    EXPECT_TRUE(wb_->WaitWhileBusy(0));
  }
}

LRESULT DeleteBrowserProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_USER) {
    delete reinterpret_cast<TEmbeddedWB*>(l);
    return 0;
  }
  return DefWindowProcA(h, m, w, l);
}

TEST_F(EmbeddedTest, DestroyingTheComponentEndsTheWait) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = DeleteBrowserProc;
  wc.lpszClassName = "KvDeleteBrowser";
  RegisterClassA(&wc);
  HWND helper = CreateWindowExA(0, "KvDeleteBrowser", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  TEmbeddedWB* wb = wb_;
  wb_->OnBusyWait = [helper, wb](TEmbeddedWB*, DWORD, DWORD&, bool&) {
    PostMessageA(helper, WM_USER, 0, reinterpret_cast<LPARAM>(wb));
  };
  wb_->OnDocumentComplete = nullptr;
  wb_->OnBeforeNavigate2 = nullptr;
  ASSERT_TRUE(wb_->Go(Page("x.html", "<p>x</p>"), 0));  // no time-out: no wait
  EXPECT_FALSE(wb_->WaitWhileBusy(0));
  wb_ = nullptr;
  DestroyWindow(helper);
}

TEST_F(EmbeddedTest, HTMLCodeNavigatesOneAddressLineAndLoadsText) {
  cancel_ = true;  // no network: the navigation is seen and refused
  wb_->HTMLCode()->SetText("www.example.invalid/a");
  ASSERT_EQ(events_.size(), 1u);
  EXPECT_EQ(events_[0].substr(0, 7), "before ");
  EXPECT_NE(events_[0].find("www.example.invalid/a"), std::string::npos);
  cancel_ = false;
  ASSERT_TRUE(wb_->Go("about:blank", 5000));
  events_.clear();
  wb_->HTMLCode()->SetText("<html><body>\n<p id=t>loaded text</p></body></html>");
  Pump();
  EXPECT_TRUE(events_.empty() || events_[0] == "complete") << "text is loaded, not navigated to";
  IHTMLDocument2* doc = wb_->GetDocument2();
  ASSERT_TRUE(doc);
  IHTMLElement* body = nullptr;
  doc->get_body(&body);
  ASSERT_TRUE(body);
  BSTR text = nullptr;
  body->get_innerText(&text);
  EXPECT_NE(kv::WideToUtf8(kv::BstrText(text)).find("loaded text"), std::string::npos);
  SysFreeString(text);
  body->Release();
  doc->Release();
}

TEST_F(EmbeddedTest, LoadFromStringsOnAFreshControlAnswersSFalse) {
  TStringList lines;
  lines.Add("<p>x</p>");
  EXPECT_EQ(wb_->LoadFromStrings(&lines), S_FALSE);
  Pump();
}

TEST_F(EmbeddedTest, UserAgentModesAndTheRegistryEntry) {
  TRegistry reg;
  reg.SetRootKey(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.OpenKey(kPostPlatform, true));
  reg.WriteString("SomeOtherProgram", "");
  reg.CloseKey();
  const AnsiString ours = "User-agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)(Korvane 2.0)";
  wb_->SetUserAgent("Korvane 2.0");
  wb_->SetUserAgentMode(uaRegistry);
  ASSERT_TRUE(reg.OpenKeyReadOnly(kPostPlatform));
  EXPECT_TRUE(reg.ValueExists(ours));
  reg.CloseKey();
  wb_->SetUserAgentMode(uaDefault);
  ASSERT_TRUE(reg.OpenKeyReadOnly(kPostPlatform));
  EXPECT_FALSE(reg.ValueExists(ours));
  EXPECT_TRUE(reg.ValueExists("SomeOtherProgram")) << "only our own value goes";
  reg.CloseKey();

  wb_->SetUserAgentMode(uaInternal);
  VARIANT v;
  VariantInit(&v);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  ASSERT_EQ(wb_->Invoke(-5513, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr), S_OK);
  EXPECT_EQ(kv::BstrText(v.bstrVal), u"Korvane 2.0\r\n");
  VariantClear(&v);
}

TEST_F(EmbeddedTest, SnapshotsOfThePage) {
  ASSERT_TRUE(wb_->Go(Page("s.html", "<html><body><img width=300 height=200 alt=''></body></html>"), 5000));
  const AnsiString bmp = home_.path() + "/page.bmp", jpg = home_.path() + "/thumb.jpg";
  ASSERT_TRUE(wb_->SavePageImage(bmp));
  ASSERT_TRUE(wb_->SaveThumbnail(jpg, 200, 150, 400, 300));
  TBitmap b;
  b.LoadFromFile(bmp);
  EXPECT_EQ(b.Width(), 400);
  EXPECT_EQ(ColorToRGB(b.Canvas()->Pixels(150, 100)), static_cast<TColor>(RGB(0xC0, 0xC0, 0xC0)));
  EXPECT_EQ(ColorToRGB(b.Canvas()->Pixels(390, 290)), static_cast<TColor>(RGB(0xFF, 0xFF, 0xFF)));
  TJPEGImage j;
  j.LoadFromFile(jpg);
  EXPECT_EQ(j.Width(), 200);
  EXPECT_EQ(j.Height(), 150);
}

TEST_F(EmbeddedTest, AnUnknownScriptFunctionRaisesAndNoCookieReadsEmpty) {
  ASSERT_TRUE(wb_->Go(Page("c.html", "<p>c</p>"), 5000));
  OleVariant result = 7;
  EXPECT_THROW(wb_->InvokeScript("anything", {1, "two"}, result), Exception);
  AnsiString cookie = "stale";
  wb_->GetDocumentCookie(cookie);
  EXPECT_EQ(cookie, "");
}

TEST_F(EmbeddedTest, ClickInThePageRaisesOnClickThroughParentNotify) {
  ASSERT_TRUE(wb_->Go(Page("k.html", "<html><body><p id=p>click here</p></body></html>"), 5000));
  std::vector<TMouseButton> clicks;
  wb_->OnClick = [&](TObject*, TMouseButton b, TShiftState, int, int) { clicks.push_back(b); };
  RECT r{};
  GetWindowRect(wb_->FindChildWindow("Internet Explorer_Server"), &r);
  KvInjectClick(r.left + 20, r.top + 10);
  Application->ProcessMessages();
  Pump();
  ASSERT_EQ(clicks.size(), 1u);
  EXPECT_EQ(clicks[0], mbLeft);
}

TEST_F(EmbeddedTest, DialogWatcherOnTheOwnerForm) {
  wb_->Loaded();
  wb_->DialogBoxes()->NewCaption = u"Korvane";
  struct Case {
    const char* caption;
    bool survives;
    const char* after;
  } cases[] = {
      {"Microsoft Internet Explorer", true, "Korvane"},
      {"Error on page", false, ""},
  };
  for (const Case& c : cases) {
    HWND dialog = CreateWindowExA(0, "#32770", c.caption, WS_POPUP, 0, 0, 100, 50, form_->Handle(), nullptr, nullptr,
                                  nullptr);
    ASSERT_TRUE(dialog);
    SendMessageA(form_->Handle(), WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(dialog));
    EXPECT_EQ(IsWindow(dialog) != FALSE, c.survives) << c.caption;
    if (IsWindow(dialog)) {
      char text[64] = {0};
      GetWindowTextA(dialog, text, sizeof text);
      EXPECT_STREQ(text, c.after);
      DestroyWindow(dialog);
    }
  }
  // Other windows are left alone.
  HWND other = CreateWindowExA(0, "BUTTON", "Error", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  SendMessageA(form_->Handle(), WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(other));
  EXPECT_TRUE(IsWindow(other));
  DestroyWindow(other);
}

TEST_F(EmbeddedTest, CloseQueryCanRefuseTheClose) {
  bool allow = false;
  wb_->OnCloseQuery = [&](TObject*, bool& can) { can = allow; };
  ASSERT_TRUE(wb_->Go("about:blank", 5000));
  SendMessageA(wb_->Handle(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(wb_->Handle()));
  EXPECT_EQ(SendMessageA(wb_->Handle(), WM_GETDLGCODE, 0, 0), 128);
}

// The folder view's rows as "s" (selected), "f" (focused), "sf" or "-", one per row.
std::string RowStates(HWND list) {
  std::string out;
  const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    const UINT s =
        static_cast<UINT>(SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(i), LVIS_SELECTED | LVIS_FOCUSED));
    std::string one = std::string(s & LVIS_SELECTED ? "s" : "") + (s & LVIS_FOCUSED ? "f" : "");
    out += (i ? " " : "") + (one.empty() ? std::string("-") : one);
  }
  return out;
}

TEST_F(EmbeddedTest, ArrowKeysMoveTheFolderViewsFocus) {
  const std::string folder = home_.path() + "/folder";
  std::filesystem::create_directories(folder);
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) std::ofstream(folder + "/" + name) << name;
  ASSERT_TRUE(wb_->Go(folder, 0));
  Pump();
  HWND list = wb_->FindChildWindow("SysListView32");
  ASSERT_TRUE(list);
  ASSERT_EQ(RowStates(list), "- - -");
  std::vector<WORD> keys;
  wb_->OnKeyDown = [&](TObject*, WORD& key, WORD, TShiftState) { keys.push_back(key); };
  struct Case {
    WORD key;
    bool shift;
    const char* states;
  } cases[] = {
      {VK_DOWN, false, "sf - -"},   // nothing focused: the first row
      {VK_DOWN, false, "- sf -"},   // the next row
      {VK_DOWN, true, "- s sf"},    // Shift extends the selection
      {VK_DOWN, false, "- s sf"},   // nothing below
      {VK_RIGHT, false, "- s sf"},  // rows have nothing beside them
      {VK_UP, false, "- sf -"},     // the row above, the one left behind cleared
      {VK_LEFT, false, "- sf -"},   // nothing beside
  };
  for (const Case& c : cases) {
    if (c.shift) KvInjectKey(VK_SHIFT, TRUE);
    Pump();
    EXPECT_EQ(wb_->Perform(CN_KEYDOWN, c.key, 0), 1) << c.key << " is taken";
    if (c.shift) KvInjectKey(VK_SHIFT, FALSE);
    Pump();
    EXPECT_EQ(RowStates(list), c.states) << c.key << (c.shift ? " with Shift" : "");
  }
  keys.erase(std::remove(keys.begin(), keys.end(), VK_SHIFT), keys.end());
  EXPECT_EQ(keys.size(), std::size(cases)) << "OnKeyDown still hears each arrow";
  EXPECT_EQ(wb_->Perform(CN_KEYDOWN, VK_F2, 0), 0) << "other keys go on";
  EXPECT_EQ(RowStates(list), "- sf -");
}

TEST_F(EmbeddedTest, FocusInAnInnerWindowMakesTheComponentTheActiveControl) {
  auto* edit = new TEdit(form_);
  edit->SetParent(form_);
  edit->SetBounds(0, 310, 100, 20);
  const std::string folder = home_.path() + "/folder";
  std::filesystem::create_directories(folder);
  ASSERT_TRUE(wb_->Go(folder, 0));
  Pump();
  HWND list = wb_->FindChildWindow("SysListView32");
  ASSERT_TRUE(list);
  HWND first = GetWindow(wb_->Handle(), GW_CHILD);
  ASSERT_TRUE(first);
  struct Step {
    const char* what;
    HWND target;
    bool takes;
  };
  auto check = [&](const Step& s) {
    form_->SetActiveControl(edit);
    SendMessageW(s.target, WM_SETFOCUS, 0, 0);
    EXPECT_EQ(form_->ActiveControl() == wb_, s.takes) << s.what;
  };
  // A folder: only its list view is watched.
  check({"the folder view", list, true});
  check({"the first child beside a folder view", first, false});
  // A page: the folder view is gone with its subclass, the two document windows are watched.
  ASSERT_TRUE(wb_->Go(Page("p.html", "<p>p</p>"), 5000));
  Pump();
  first = GetWindow(wb_->Handle(), GW_CHILD);
  check({"the first child", first, true});
  check({"its first child", GetWindow(first, GW_CHILD), true});
  // Back to a folder: the new list view is watched too.
  ASSERT_TRUE(wb_->Go(folder, 0));
  Pump();
  check({"the new folder view", wb_->FindChildWindow("SysListView32"), true});
}

}  // namespace
