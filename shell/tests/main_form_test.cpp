// The main window in a program directory of its own, against file: pages and a local
// HTTP server: the start-up's two windows, the switch to the normal window on the login
// cookie, the local error pages, the page's handlers, the window code, and the DOM
// listener following the top-level document.
#include "shell/main_form.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/time.h"
#include "platform/inet/inet.h"
#include "platform/registry/registry.h"
#include "platform/user/testing.h"
#include "shell/ini_config.h"
#include "shell/sb64.h"
#include "skin/skin_manager.h"
#include "testsupport/http_server.h"
#include "shell/tests/message_boxes.h"
#include "testsupport/temp_home.h"

namespace {

std::string Ansi(const char* utf8) { return kv::Utf8ToAnsi(utf8); }

using shelltest::MessageBoxTexts;

class MainFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application->ResetState();
    KvRegistryReload();
    KvInetResetProcessState();
    KvClockSetVirtual(TRUE);
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    dir_ = home_ / "program/";
    std::filesystem::create_directories(dir_);
    TINIConfig::ResetModuleState(dir_);
    KvMessageBoxLogClear();
    for (const char* page : {"config.html", "404.html", "500.html", "unknownerror.html"})
      LocalPage(page, std::string("<html><head><title>") + page + "</title></head><body>" + page + "</body></html>");
    server_.Route("/Quabo/login/init.html", [](const kvtest::HttpRequest&, kvtest::HttpReply& r) {
      r.headers.push_back({"Content-Type", "text/html"});
      r.body = "<html><head><title>login</title></head><body>init</body></html>";
    });
    server_.Route("/Quabo/login/check", [](const kvtest::HttpRequest&, kvtest::HttpReply& r) {
      r.headers.push_back({"Content-Type", "text/html"});
      r.headers.push_back({"Set-Cookie", "Quabo_is_login=true; Path=/"});
      r.body = "<html><body>home</body></html>";
    });
    server_.Route("/missing", [](const kvtest::HttpRequest&, kvtest::HttpReply& r) {
      r.status = 404;
      r.reason = "Not Found";
      r.body = "no";
    });
    server_.Route("/failing", [](const kvtest::HttpRequest&, kvtest::HttpReply& r) {
      r.status = 500;
      r.reason = "Internal Server Error";
      r.body = "no";
    });
    server_.Route("/cut", [](const kvtest::HttpRequest&, kvtest::HttpReply& r) {
      r.headers.push_back({"Content-Type", "text/html"});
      r.body = std::string(4096, ' ');
      r.cut_after = 100;
    });
  }
  void TearDown() override {
    delete form_;
    Pump();
    TSkinManage::Shutdown();
    CoUninitialize();
    Application->ResetState();
    KvClockSetVirtual(FALSE);
    KvInetResetProcessState();
    KvRegistryReload();
    TINIConfig::ResetModuleState("");
  }

  static void Pump() {
    while (KvPumpMessages() > 0) {
    }
  }
  // Runs the queue until the condition holds (the pages come from other threads).
  static bool PumpUntil(const std::function<bool()>& condition) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until) {
      Pump();
      if (condition()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return condition();
  }

  void LocalPage(const std::string& name, const std::string& html) { kvtest::WriteFile(dir_ + name, html); }
  // Korvane.ini with the values given (encoded); a complete configuration for the test server.
  void WriteConfig(bool complete, const std::string& skin = "") {
    TSB64 codec;
    std::string ini = "[general]\n";
    auto put = [&](const char* key, const std::string& value) {
      ini += std::string(key) + "=" + codec.Encode(value) + "\n";
    };
    put("ServerURL", "127.0.0.1");
    put("ServerPort", std::to_string(server_.Port()));
    if (complete) {
      put("Version", "1.2.0.0");
      put("LoginPageURI", "/Quabo/login/init.html");
      put("IndexPageURI", "/Quabo/login/home.html");
    }
    if (!skin.empty()) put("skin", skin);
    kvtest::WriteFile(dir_ + "Korvane.ini", ini);
  }
  // The form as the program makes it (its OnCreate runs the start-up), shown.
  // The start-up's caption is checked before the page's title replaces it.
  void Start(bool complete, const char* caption = nullptr, const std::string& skin = "") {
    WriteConfig(complete, skin);
    Application->CreateForm(form_);
    if (caption) {
      EXPECT_EQ(form_->Caption(), Ansi(caption));
    }
    form_->Show();
    // The window as it is shown; the skin's frame then keeps the client area.
    shown_ = {form_->Left(), form_->Top(), form_->Width(), form_->Height()};
    ASSERT_TRUE(PumpUntil([&] { return Complete(); }));
  }
  // The value of the page's script variable `name` (through a getter the page defines).
  std::string PageValue() {
    OleVariant value;
    form_->EWB->InvokeScript("pageValue", {}, value);
    return value.AsString();
  }
  bool Complete() {
    LONG state = 0;
    form_->EWB->DefaultInterface()->get_ReadyState(&state);
    return state == READYSTATE_COMPLETE;
  }
  std::string Location() {
    BSTR b = nullptr;
    form_->EWB->DefaultInterface()->get_LocationURL(&b);
    std::string s = kv::WideToUtf8(kv::BstrText(b));
    SysFreeString(b);
    return s;
  }
  bool At(const std::string& url) { return Location() == url && Complete(); }
  std::string LocalUrl(const std::string& name) { return "file://" + dir_ + name; }
  // Navigates and waits until the browser is complete at `expected`.
  bool NavigateTo(const std::string& url, const std::string& expected) {
    form_->EWB->Navigate(kv::Utf8ToWide(url));
    return PumpUntil([&] { return At(expected); });
  }
  // A page with a script of its own in the program directory, shown.
  void ShowScriptPage(const std::string& name, const std::string& script) {
    LocalPage(name, "<html><body><p id=p>page</p><script>" + script + "</script></body></html>");
    ASSERT_TRUE(NavigateTo(LocalUrl(name), LocalUrl(name)));
  }

  kvtest::TempHome home_;
  std::string dir_;
  kvtest::HttpServer server_;
  TMainForm* form_ = nullptr;
  struct {
    int left, top, width, height;
  } shown_{};
};

TEST_F(MainFormTest, IncompleteConfigurationOpensTheConfigurationPageInADialog) {
  Start(false, "配置运行参数");
  EXPECT_FALSE(form_->ConfigComplete());
  EXPECT_EQ(shown_.width, 450);
  EXPECT_EQ(shown_.height, 300);
  EXPECT_EQ(form_->Position(), poDesktopCenter);
  EXPECT_EQ(form_->BorderStyle(), bsDialog);
  EXPECT_EQ(shown_.left, (GetSystemMetrics(SM_CXSCREEN) - 450) / 2);
  EXPECT_EQ(shown_.top, (GetSystemMetrics(SM_CYSCREEN) - 300) / 2);
  EXPECT_FALSE(form_->StatusBar1->Visible());
  EXPECT_TRUE(form_->EWB->UserInterfaceOptions().Contains(DontUseScrollBars));
  EXPECT_EQ(Location(), LocalUrl("config.html"));
  EXPECT_EQ(form_->ConfigPage(), dir_ + "config.html");
  EXPECT_EQ(korvane::ShellWindow(), form_);
}

TEST_F(MainFormTest, CompleteConfigurationOpensTheLoginPageAndTheLoginCookieMakesTheWindowNormal) {
  Start(true, "登录");
  EXPECT_TRUE(form_->ConfigComplete());
  EXPECT_EQ(Location(), server_.Url("/Quabo/login/init.html"));
  EXPECT_EQ(form_->BorderStyle(), bsDialog) << "no cookie yet";
  EXPECT_EQ(shown_.width, 450);
  EXPECT_EQ(shown_.height, 300);
  EXPECT_EQ(form_->Caption(), "login") << "the page's title";

  ASSERT_TRUE(NavigateTo(server_.Url("/Quabo/login/check"), server_.Url("/Quabo/login/check")));
  EXPECT_EQ(form_->WindowState(), wsMaximized);
  EXPECT_EQ(form_->BorderStyle(), bsSizeable);
  EXPECT_TRUE(form_->StatusBar1->Visible());
  EXPECT_TRUE(form_->VertScrollBar()->Visible());
  EXPECT_FALSE(form_->EWB->UserInterfaceOptions().Contains(DontUseScrollBars));
  TStatusBar* bar = form_->StatusBar1;
  EXPECT_EQ(form_->ProgressBar1->Parent(), bar);
  const int border = bar->BorderWidth();
  EXPECT_EQ(form_->ProgressBar1->Left(), 500 + 2);
  EXPECT_EQ(form_->ProgressBar1->Top(), border + 2);
  EXPECT_EQ(form_->ProgressBar1->Width(), 200 + border - 2);
  EXPECT_EQ(form_->ProgressBar1->Height(), 19 - border - 2);
  // The page's address in the title gives the product's name.
  form_->EWB->OnTitleChange(form_->EWB, u"http://127.0.0.1/x");
  EXPECT_EQ(form_->Caption(), Ansi("Velmora网上开票"));
}

TEST_F(MainFormTest, SkinFileOfTheConfigurationReplacesTheBuiltInSkin) {
  const std::string skin = dir_ + "clerk.skn";
  kvtest::WriteFile(skin, std::string(reinterpret_cast<const char*>(DefaultSkinData()), DefaultSkinSize()));
  Start(false, nullptr, skin);
  EXPECT_EQ(form_->SkinData1->SkinFile(), skin);
  EXPECT_TRUE(form_->SkinData1->Active());
  EXPECT_TRUE(form_->SkinData1->SkinLoaded());
  delete form_;
  form_ = nullptr;
  EXPECT_EQ(korvane::ShellWindow(), nullptr) << "the window is gone";

  Start(false, nullptr, "   ");
  EXPECT_EQ(form_->SkinData1->SkinFile(), "") << "a blank name keeps the built-in skin";
  EXPECT_TRUE(form_->SkinData1->SkinLoaded());
}

TEST_F(MainFormTest, ProgressStatusTextAndScriptErrors) {
  Start(false);
  struct Case {
    int progress, max, position;
  } cases[] = {{0, 0, 0}, {7, 0, 0}, {0, 100, 1}, {50, 100, 51}, {1, 3, 34}, {100, 100, 100}, {300, 100, 100}};
  for (const Case& c : cases) {
    form_->EWB->OnProgressChange(form_->EWB, c.progress, c.max);
    EXPECT_EQ(form_->ProgressBar1->Position(), c.position) << c.progress << "/" << c.max;
  }
  form_->EWB->OnStatusTextChange(form_->EWB, u"完成");
  EXPECT_EQ(form_->StatusBar1->Panels()->Items(0)->Text(), Ansi("完成"));
  TScriptErrorAction action = eaContinue;
  form_->EWB->OnScriptError(form_->EWB, "3", "1", "0", "x is not defined", "file:///p.html", action);
  EXPECT_EQ(action, eaCancel);
  EXPECT_EQ(MessageBoxTexts(), std::vector<std::string>{"x is not defined"});
}

TEST_F(MainFormTest, FailedNavigationsShowTheLocalPages) {
  Start(true);
  struct Case {
    const char* what;
    std::string url;
    const char* page;
  } cases[] = {
      {"404", server_.Url("/missing"), "404.html"},
      {"500", server_.Url("/failing"), "500.html"},
      {"stopped server (0x800C0005)",
       "http://127.0.0.1:" + std::to_string(kvtest::HttpServer::RefusedPort()) + "/Quabo/login/init.html",
       "config.html"},
      {"missing file (0x800C0005)", LocalUrl("gone.html"), "config.html"},
      {"cut reply", server_.Url("/cut"), "unknownerror.html"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_TRUE(NavigateTo(c.url, LocalUrl(c.page))) << Location();
  }
  EXPECT_TRUE(MessageBoxTexts().empty());
}

TEST_F(MainFormTest, MissingConfigurationPageIsReportedOnceAndNotNavigatedAgain) {
  std::filesystem::remove(dir_ + "config.html");
  WriteConfig(false);
  Application->CreateForm(form_);
  form_->Show();
  ASSERT_TRUE(PumpUntil([&] { return KvMessageBoxLogCount() > 0 && Complete(); }));
  for (int i = 0; i < 20; ++i) Pump();
  std::vector<std::string> boxes = MessageBoxTexts();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find(kv::WideToUtf8(kv::AnsiToWide(dir_ + "config.html"))), std::string::npos) << boxes[0];
  EXPECT_TRUE(Complete());
  EXPECT_EQ(Location(), LocalUrl("config.html")) << "the browser's own error document";
}

TEST_F(MainFormTest, NavigateErrorHandlerAloneRuns) {
  Start(true);
  ShowScriptPage("handler.html", "function onFail(url) { alert('failed ' + url); }");
  form_->SetNavigateErrorHandler("onFail");
  form_->EWB->Navigate(kv::Utf8ToWide(server_.Url("/missing")));
  ASSERT_TRUE(PumpUntil([&] { return Complete() && Location() != LocalUrl("handler.html"); }));
  EXPECT_EQ(Location(), server_.Url("/missing")) << "no local page";
  std::vector<std::string> boxes = MessageBoxTexts();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "failed " + server_.Url("/missing"));
  form_->SetNavigateErrorHandler("");
  EXPECT_TRUE(NavigateTo(server_.Url("/missing"), LocalUrl("404.html")));
}

TEST_F(MainFormTest, CloseHandlerResultDecides) {
  Start(false);
  struct Case {
    const char* result;
    bool closes;
  } cases[] = {{"1", true}, {"'1'", true}, {"true", false}, {"0", false}, {"'yes'", false}, {"undefined", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.result);
    ShowScriptPage("close.html", std::string("var asked = ''; function pageValue() { return asked; }"
                                             "function onClose(reserved) { asked = 'asked ' + reserved; return ") +
                                     c.result + "; }");
    form_->SetCloseHandler("onClose");
    EXPECT_EQ(form_->CloseQuery(), c.closes);
    EXPECT_EQ(PageValue(), "asked 0") << "called with the integer 0";
  }
  form_->SetCloseHandler("noSuchFunction");
  EXPECT_FALSE(form_->CloseQuery()) << "a missing function refuses";
  form_->SetCloseHandler("");
  EXPECT_TRUE(form_->CloseQuery());
}

TEST_F(MainFormTest, CloseAndApplicationExitEndTheProgram) {
  Start(false);
  auto quit_posted = [] {
    MSG m;
    return PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
  };
  IUrlHistoryStg2* history = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_CUrlHistory, nullptr, CLSCTX_INPROC_SERVER, IID_IUrlHistoryStg2,
                             reinterpret_cast<void**>(&history)),
            S_OK);
  auto in_history = [&] { return history->QueryUrl(u"http://127.0.0.1/a", 0, nullptr) == S_OK; };
  auto visit = [&] {
    EXPECT_EQ(history->AddUrl(u"http://127.0.0.1/a", u"a", ADDURL_ADDTOHISTORYANDCACHE), S_OK);
    EXPECT_TRUE(in_history());
  };
  ShowScriptPage(
      "close.html",
      "var asked = 'no'; function pageValue() { return asked; } function onClose(r) { asked = 'yes'; return 1; }");
  form_->SetCloseHandler("onClose");
  visit();
  form_->ApplicationExit();
  EXPECT_TRUE(quit_posted());
  EXPECT_EQ(PageValue(), "no") << "the close handler is not asked";
  EXPECT_FALSE(in_history());
  visit();
  form_->Close();
  EXPECT_EQ(PageValue(), "yes");
  EXPECT_TRUE(quit_posted());
  EXPECT_FALSE(in_history());
  history->Release();
}

TEST_F(MainFormTest, DocumentCompleteHandlerReplacesTheLoginSwitch) {
  Start(true);
  const char* script = "var done = ''; function pageValue() { return done; } function onDone(url) { done = url; }";
  ShowScriptPage("done.html", script);
  form_->SetDocumentCompleteHandler("onDone");
  // The handler runs on the page that completes next: here the same page again.
  ASSERT_TRUE(NavigateTo(LocalUrl("done.html"), LocalUrl("done.html")));
  EXPECT_EQ(PageValue(), LocalUrl("done.html"));
  ASSERT_TRUE(NavigateTo(server_.Url("/Quabo/login/check"), server_.Url("/Quabo/login/check")));
  EXPECT_EQ(form_->BorderStyle(), bsDialog) << "with a handler set the cookie is not looked at";
}

TEST_F(MainFormTest, WindowCodeAppliesDigitByDigit) {
  Start(true);
  form_->WindowResize(800, 600, "030111");
  EXPECT_EQ(form_->WindowState(), wsNormal);
  EXPECT_EQ(form_->Width(), 800);
  EXPECT_EQ(form_->Height(), 600);
  EXPECT_EQ(form_->BorderStyle(), bsSizeable);
  EXPECT_FALSE(form_->HorzScrollBar()->Visible());
  EXPECT_FALSE(form_->VertScrollBar()->Visible());
  EXPECT_TRUE(form_->StatusBar1->Visible());
  EXPECT_EQ(form_->ProgressBar1->Parent(), form_->StatusBar1);
  EXPECT_EQ(form_->Position(), poDesktopCenter);
  EXPECT_FALSE(form_->EWB->UserInterfaceOptions().Contains(DontUseScrollBars));

  form_->WindowResize(640, 480, "120000");
  EXPECT_EQ(form_->WindowState(), wsMaximized);
  EXPECT_EQ(form_->BorderStyle(), bsSingle);
  EXPECT_FALSE(form_->StatusBar1->Visible());
  EXPECT_EQ(form_->Position(), poDefault);
  EXPECT_TRUE(form_->EWB->UserInterfaceOptions().Contains(DontUseScrollBars));
  EXPECT_THROW(form_->WindowResize(700, 500, "03"), EConvertError);
  EXPECT_EQ(form_->Width(), 700);
  EXPECT_EQ(form_->BorderStyle(), bsSizeable) << "the first two digits stay applied";
  EXPECT_FALSE(form_->HorzScrollBar()->Visible()) << "the third digit never came";
  EXPECT_THROW(form_->WindowResize(700, 500, "1x"), EConvertError);
  EXPECT_EQ(form_->WindowState(), wsMaximized);
}

TEST_F(MainFormTest, ModeSwitchesLookAtTheCurrentBorder) {
  Start(true);
  form_->WindowResize(800, 600, "030111");
  ASSERT_TRUE(NavigateTo(server_.Url("/Quabo/login/check"), server_.Url("/Quabo/login/check")));
  EXPECT_EQ(form_->WindowState(), wsNormal) << "already sizeable: the normal mode is skipped";
  EXPECT_EQ(form_->Width(), 800);
  form_->WindowResize(800, 600, "000111");
  Pump();
  const int width = form_->Width(), height = form_->Height();
  ASSERT_TRUE(NavigateTo(LocalUrl("gone.html"), LocalUrl("config.html")));
  EXPECT_EQ(form_->Width(), width) << "already a dialog border: the dialog mode is skipped";
  EXPECT_EQ(form_->Height(), height);
  EXPECT_TRUE(form_->StatusBar1->Visible());
  EXPECT_EQ(form_->Caption(), "config.html") << "the page's title";
}

TEST_F(MainFormTest, ListenerFollowsEachTopLevelDocument) {
  Start(false);
  std::vector<std::u16string> clicked;
  form_->HtmlListener1->Handlers()->Items(0)->OnHandle = [&](TObject*, IHTMLEventObj* event) {
    IHTMLElement* source = nullptr;
    if (event) event->get_srcElement(&source);
    BSTR id = nullptr;
    if (source) source->get_id(&id);
    clicked.push_back(kv::BstrText(id));
    SysFreeString(id);
    if (source) source->Release();
  };
  auto click = [&](const char16_t* id) {
    IHTMLDocument2* doc = form_->EWB->GetDocument2();
    ASSERT_TRUE(doc);
    IHTMLDocument3* doc3 = nullptr;
    doc->QueryInterface(IID_IHTMLDocument3, reinterpret_cast<void**>(&doc3));
    doc->Release();
    ASSERT_TRUE(doc3);
    IHTMLElement* element = nullptr;
    BSTR name = SysAllocString(id);
    doc3->getElementById(name, &element);
    SysFreeString(name);
    doc3->Release();
    ASSERT_TRUE(element);
    element->click();
    element->Release();
    Pump();
  };
  for (const char* page : {"first.html", "second.html", "config.html"}) {
    SCOPED_TRACE(page);
    std::string id(page, std::string(page).find('.'));
    LocalPage(page, "<html><body><input type=button id=" + id + " value=x></body></html>");
    ASSERT_TRUE(NavigateTo(LocalUrl(page), LocalUrl(page)));
    clicked.clear();
    click(kv::Utf8ToWide(id).c_str());
    ASSERT_EQ(clicked.size(), 1u);
    EXPECT_EQ(kv::WideToUtf8(clicked[0]), id);
  }
}

}  // namespace
