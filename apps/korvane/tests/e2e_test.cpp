// Korvane end to end: the real program, started as a clerk starts it, against the sample
// invoicing server, driven from this process through the drive channel (windows, typed
// text, clicks, message boxes, screenshots). Each test has its own KORVANE_HOME, its own
// program folder (a copy of the program with its local pages and Korvane.ini) and its
// own server on a free port.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/user/user.h"
#include "shell/sb64.h"
#include "testsupport/drive_client.h"
#include "testsupport/temp_home.h"
#include "testsupport/xclient.h"
#include "testsupport/xvfb.h"

namespace {

namespace fs = std::filesystem;
using kvtest::ChildProcess;
using kvtest::DriveClient;
using kvtest::DriveWindow;

// A file's text, "" while it does not exist.
std::string Text(const std::string& path) { return fs::exists(path) ? kvtest::ReadFile(path) : ""; }

// The end of a program's output, for failure messages.
std::string Tail(const std::string& path) {
  std::string text = Text(path);
  return text.size() > 3000 ? text.substr(text.size() - 3000) : text;
}

std::string Encoded(const std::string& value) {
  return std::string(TSB64().Encode(AnsiString(value.c_str())).c_str());
}

// Pages the tests add to a copy of the sample site.
const std::map<std::string, std::string> kTestPages = {
    // A close handler whose result is the page's query: ?1, ?"1", ?true, ?0, ?"yes", ?none.
    {"e2e/close.html",
     "<html><head><title>close</title></head><body><p id='state'>ready</p><script>\n"
     "var q = decodeURIComponent(location.href.split('?')[1]);\n"
     "function onClosing(code) { document.getElementById('state').innerText = 'asked ' + code;\n"
     "  if (q != 'none') return eval(q); }\n"
     "window.external.SetCloseHandler('onClosing');\n"
     "</script></body></html>"},
    // A navigation-error handler (it leaves the address in the program folder's
    // handled.ini), then a navigation to a page the server does not have.
    {"e2e/naverr.html",
     "<html><head><title>naverr</title></head><body><script>\n"
     "function onNavError(url) { window.external.SaveConfig('handled.ini', '#e2e,url=' + url, 0); }\n"
     "window.external.SetNavigateErrorHandler('onNavError');\n"
     "setTimeout(function () { location.href = '/e2e/missing.html'; }, 10);\n"
     "</script></body></html>"},
};

class KorvaneE2E : public ::testing::Test {
 protected:
  kvtest::TempHome home;
  std::string bin = fs::current_path().string();
  std::string program = home / "program";
  std::string site = home / "site";
  std::string print_dir = home / "print";
  std::string boxes = home / "boxes.txt";
  int port = 0;
  std::unique_ptr<ChildProcess> server;

  void SetUp() override {
    fs::create_directories(program);
    fs::create_directories(print_dir);
    // The program's folder: the program itself (its folder is where it finds its pages and
    // Korvane.ini) and the local pages.
    fs::copy_file(bin + "/Korvane", program + "/Korvane");
    for (const char* page : {"config.html", "404.html", "500.html", "unknownerror.html"})
      fs::copy_file(bin + "/" + page, program + "/" + page);
    fs::copy(bin + "/invoicing_site", site, fs::copy_options::recursive);
    for (auto& [path, text] : kTestPages) {
      fs::create_directories(fs::path(site + "/" + path).parent_path());
      kvtest::WriteFile(site + "/" + path, text);
    }
    ChildProcess reg({bin + "/regsvr", bin + "/Zorbel.ocx"}, {}, home / "regsvr.txt");
    ASSERT_EQ(reg.Wait(), 0) << Text(home / "regsvr.txt");
    StartServer();
  }

  void StartServer() {
    std::string out = home / "server.txt";
    server = std::make_unique<ChildProcess>(
        std::vector<std::string>{bin + "/invoicing_server", "--port", "0", "--site", site},
        std::vector<std::string>{}, out);
    // Its first line is the login page's address, "http://127.0.0.1:PORT/...".
    ASSERT_TRUE(DriveClient::WaitFor([&] {
      std::string text = Text(out);
      size_t at = text.find("127.0.0.1:");
      if (at == std::string::npos || text.find('\n', at) == std::string::npos) return false;
      port = std::atoi(text.c_str() + at + 10);
      return port > 0;
    })) << "the sample server did not start: " << Text(out);
  }

  // Korvane.ini with these values (encoded as the program stores them); an empty map
  // writes a file with nothing in it.
  void WriteConfig(const std::map<std::string, std::string>& values) {
    std::string ini = "[general]\n";
    for (auto& [key, value] : values) ini += key + "=" + Encoded(value) + "\n";
    kvtest::WriteFile(program + "/Korvane.ini", ini);
  }
  std::map<std::string, std::string> CompleteConfig(const std::string& login = "/Quabo/login/init.html") {
    return {{"Version", "1.2.0.0"},       {"ServerURL", "http://127.0.0.1"},
            {"ServerPort", std::to_string(port)}, {"IndexPageURI", "/Quabo/login/home.html"},
            {"LoginPageURI", login},      {"LogoutPageURI", "/Quabo/login/Logout.html"}};
  }

  // One run of the program, with its drive channel connected.
  struct Run {
    std::unique_ptr<ChildProcess> process;
    DriveClient drive;
    std::string output;
  };
  // Headless unless `headless` is empty: then on the display DISPLAY names.
  std::unique_ptr<Run> Start(const std::string& name = "korvane", const std::string& headless = "1") {
    auto run = std::make_unique<Run>();
    std::string socket = home / (name + ".sock");
    run->output = home / (name + ".txt");
    run->process = std::make_unique<ChildProcess>(
        std::vector<std::string>{program + "/Korvane"},
        std::vector<std::string>{"KORVANE_DRIVE=" + socket, "KORVANE_MSGBOX_LOG=" + boxes,
                                 "KORVANE_HEADLESS=" + headless, "KORVANE_PRINT_DIR=" + print_dir},
        run->output);
    EXPECT_TRUE(run->drive.Connect(socket)) << "Korvane never listened: " << Text(run->output);
    return run;
  }

  // The main window (the visible top-level window of the form's class).
  static DriveWindow MainWindow(DriveClient& drive) {
    for (auto& w : drive.Windows())
      if (w.visible && w.cls == "TMainForm") return w;
    return {};
  }
  static std::string Url(DriveClient& drive) {
    auto r = drive.Command("url");
    return r.ok && !r.lines.empty() ? kvtest::DriveUnescape(r.lines[0]) : "";
  }
  static std::string Dom(DriveClient& drive) {
    std::string text;
    for (auto& l : drive.Command("dom").lines) text += kvtest::DriveUnescape(l) + "\n";
    return text;
  }
  // The text of the element with that id as the document's tree shows it ("" when absent).
  static std::string ElementText(DriveClient& drive, const std::string& id) {
    std::istringstream lines(Dom(drive));
    for (std::string line; std::getline(lines, line);) {
      size_t at = line.find('#' + id);
      if (at == std::string::npos || (at + id.size() + 1 < line.size() && line[at + id.size() + 1] != ' ')) continue;
      std::string text;
      if (!std::getline(lines, text)) return "";
      size_t open = text.find('"'), close = text.rfind('"');
      return open != std::string::npos && close > open ? text.substr(open + 1, close - open - 1) : "";
    }
    return "";
  }
  // Waits until the shown document's address ends with `tail` and the caption is set.
  static bool WaitForPage(DriveClient& drive, const std::string& tail) {
    return DriveClient::WaitFor([&] {
      std::string url = Url(drive);
      return url.size() >= tail.size() && url.compare(url.size() - tail.size(), tail.size(), tail) == 0 &&
             MainWindow(drive).hwnd != 0;
    });
  }
  // A click in the middle of the shown document's element.
  static bool ClickElement(DriveClient& drive, const std::string& id) {
    auto r = drive.Command("element " + id);
    if (!r.ok || r.lines.empty()) return false;
    long l, t, rr, b;
    if (std::sscanf(r.lines[0].c_str(), "%ld %ld %ld %ld", &l, &t, &rr, &b) != 4) return false;
    return drive.Command("click " + std::to_string((l + rr) / 2) + " " + std::to_string((t + b) / 2)).ok;
  }
  std::vector<std::vector<std::string>> Boxes() {
    std::vector<std::vector<std::string>> out;
    std::ifstream in(boxes);
    for (std::string line; std::getline(in, line);) out.push_back(kvtest::DriveFields(line));
    return out;
  }
  void Shot(DriveClient& drive, const std::string& name) {
    DriveWindow w = MainWindow(drive);
    if (w.hwnd) drive.Command("screenshot " + w.Handle() + " " + (home / (name + ".png")));
  }
};

TEST_F(KorvaneE2E, AnIncompleteConfigurationOpensTheConfigurationPageAndSavingItEndsTheProgram) {
  WriteConfig({});
  auto run = Start();
  ASSERT_TRUE(WaitForPage(run->drive, "/config.html")) << Url(run->drive);
  DriveWindow w = MainWindow(run->drive);
  EXPECT_EQ(w.caption, "配置运行参数");
  // 450 x 300 centred; the skin's frame, thicker than the platform's, then keeps the client
  // area and grows the window by a few pixels.
  EXPECT_NEAR(w.width, 450, 4);
  EXPECT_NEAR(w.height, 300, 4);
  EXPECT_NEAR(w.left + w.width / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 2);
  EXPECT_NEAR(w.top + w.height / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 2);
  EXPECT_FALSE(w.style & WS_THICKFRAME) << "a dialog border";

  // The clerk puts the server's port in place of the default one and saves.
  ASSERT_TRUE(ClickElement(run->drive, "ServerPort"));
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(run->drive.Command("key 8").ok);
  ASSERT_TRUE(run->drive.Command("type " + std::to_string(port)).ok);
  ASSERT_TRUE(ClickElement(run->drive, "_CONFIG_SAVE_BUTTON"));
  EXPECT_EQ(run->process->Wait(), 0) << "a complete configuration ends the program\n" << Tail(run->output);
  auto boxes = Boxes();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes.back()[1].substr(0, 12), std::string("系统参数保存成功").substr(0, 12));
  std::string ini = kvtest::ReadFile(program + "/Korvane.ini");
  for (auto& [key, value] : CompleteConfig())
    EXPECT_NE(ini.find(key + "=" + Encoded(value)), std::string::npos) << key << " in\n" << ini;
}

TEST_F(KorvaneE2E, SavingAnIncompleteConfigurationSaysSoAndStays) {
  WriteConfig({});
  auto run = Start();
  ASSERT_TRUE(WaitForPage(run->drive, "/config.html"));
  ASSERT_TRUE(ClickElement(run->drive, "Version"));
  for (int i = 0; i < 7; ++i) ASSERT_TRUE(run->drive.Command("key 8").ok);
  ASSERT_TRUE(ClickElement(run->drive, "_CONFIG_SAVE_BUTTON"));
  ASSERT_TRUE(DriveClient::WaitFor([&] { return Boxes().size() >= 2; }));
  auto boxes = Boxes();
  EXPECT_EQ(boxes[1][1], "配置参数不完整，请重新配置。");
  EXPECT_TRUE(run->process->Running());
}

TEST_F(KorvaneE2E, ACompleteConfigurationLogsInAndPrintsAnInvoice) {
  WriteConfig(CompleteConfig());
  auto run = Start();
  DriveClient& drive = run->drive;
  ASSERT_TRUE(WaitForPage(drive, "/Quabo/login/init.html")) << Url(drive);
  DriveWindow w = MainWindow(drive);
  EXPECT_EQ(w.caption, "登录");
  EXPECT_NEAR(w.width, 450, 4);
  EXPECT_NEAR(w.height, 300, 4);
  Shot(drive, "1-login");

  ASSERT_TRUE(ClickElement(drive, "user"));
  ASSERT_TRUE(drive.Command("type 王会计").ok);
  ASSERT_TRUE(ClickElement(drive, "password"));
  ASSERT_TRUE(drive.Command("type 123456").ok);
  ASSERT_TRUE(ClickElement(drive, "enter"));
  ASSERT_TRUE(WaitForPage(drive, "/Quabo/login/home.html")) << Url(drive);
  ASSERT_TRUE(DriveClient::WaitFor([&] { return (MainWindow(drive).style & WS_MAXIMIZE) != 0; }))
      << "the login cookie makes the window maximised";
  w = MainWindow(drive);
  EXPECT_TRUE(w.style & WS_THICKFRAME) << "sizeable";
  DriveWindow status, progress;
  for (auto& c : drive.Windows("children " + w.Handle())) {
    if (c.cls == "TStatusBar") status = c;
    if (c.cls == "TProgressBar") progress = c;
  }
  EXPECT_TRUE(status.visible);
  EXPECT_TRUE(progress.visible);
  EXPECT_GE(progress.top, status.top) << "the progress bar lies in the status bar";
  EXPECT_EQ(progress.left, status.left + 500 + 2) << "beside the first panel";
  Shot(drive, "2-home");

  ASSERT_TRUE(ClickElement(drive, "print"));
  ASSERT_TRUE(WaitForPage(drive, "/Quabo/invoice/print.html?id=1")) << Url(drive);
  ASSERT_TRUE(DriveClient::WaitFor([&] { return ElementText(drive, "result").find("已送打印机") != std::string::npos; }))
      << ElementText(drive, "result");
  Shot(drive, "3-printed");
  bool pdf = false;
  for (auto& e : fs::directory_iterator(print_dir)) pdf = pdf || e.path().extension() == ".pdf";
  EXPECT_TRUE(pdf) << "the invoice is in the print folder";

  // Closing asks the page, whose handler asks the clerk; OK closes, and the history goes.
  EXPECT_NE(Text(home / "inet/history").find("/Quabo/login/home.html"), std::string::npos);
  ASSERT_TRUE(drive.Command("msgbox-answer 1").ok);
  ASSERT_TRUE(drive.Command("close " + MainWindow(drive).Handle()).ok);
  EXPECT_EQ(run->process->Wait(), 0) << Tail(run->output);
  auto boxes = Boxes();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes.back()[1], "确定要退出发票开具系统吗？");
  EXPECT_EQ(Text(home / "inet/history").find("/Quabo/"), std::string::npos) << "the history is empty";
}

TEST_F(KorvaneE2E, FailedNavigationsShowTheLocalPages) {
  struct Case {
    const char* login;
    const char* page;
    bool stop_server;
  } cases[] = {
      {"/e2e/no-such-page.html", "/404.html", false},
      {"/Quabo/error/500", "/500.html", false},
      {"/Quabo/error/cut", "/unknownerror.html", false},
      {"/Quabo/login/init.html", "/config.html", true},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.login);
    if (c.stop_server) server->Stop();
    WriteConfig(CompleteConfig(c.login));
    auto run = Start(std::string("korvane") + std::to_string(&c - cases));
    EXPECT_TRUE(WaitForPage(run->drive, c.page)) << Url(run->drive);
  }
}

TEST_F(KorvaneE2E, ANavigationErrorHandlerIsAllThatRuns) {
  WriteConfig(CompleteConfig("/e2e/naverr.html"));
  auto run = Start();
  std::string handled = program + "/handled.ini";
  ASSERT_TRUE(DriveClient::WaitFor([&] { return !Text(handled).empty(); })) << "the handler never ran";
  EXPECT_NE(Text(handled).find("/e2e/missing.html"), std::string::npos) << Text(handled);
  EXPECT_EQ(Url(run->drive).find("404.html"), std::string::npos) << "the local page is not shown";
}

TEST_F(KorvaneE2E, TheCloseHandlersAnswerDecides) {
  struct Case {
    const char* result;
    bool closes;
  } cases[] = {{"1", true}, {"%221%22", true}, {"true", false}, {"0", false}, {"%22yes%22", false}, {"none", false}};
  for (auto& c : cases) {
    SCOPED_TRACE(c.result);
    WriteConfig(CompleteConfig(std::string("/e2e/close.html?") + c.result));
    auto run = Start(std::string("close") + std::to_string(&c - cases));
    ASSERT_TRUE(WaitForPage(run->drive, std::string("?") + c.result));
    ASSERT_TRUE(run->drive.Command("close " + MainWindow(run->drive).Handle()).ok);
    if (c.closes) {
      EXPECT_EQ(run->process->Wait(), 0) << Tail(run->output);
    } else {
      ASSERT_TRUE(DriveClient::WaitFor([&] { return ElementText(run->drive, "state") == "asked 0"; }))
          << ElementText(run->drive, "state");
      EXPECT_TRUE(run->process->Running());
      EXPECT_NE(MainWindow(run->drive).hwnd, 0u);
    }
  }
}

// Korvane on a real X server (a private Xvfb), used as a clerk uses it: the pointer and
// the keyboard are the X server's (xdotool), the drive channel only looks.
class KorvaneOnScreen : public KorvaneE2E {
 protected:
  kvtest::Xvfb xvfb;
  std::string display;

  void SetUp() override {
    if (!kvtest::OnPath("Xvfb")) GTEST_SKIP() << "Xvfb is not installed (Debian package xvfb)";
    if (!kvtest::OnPath("xdotool")) GTEST_SKIP() << "xdotool is not installed (Debian package xdotool)";
    if (const char* d = std::getenv("DISPLAY")) display = d;
    ASSERT_TRUE(xvfb.Start()) << "Xvfb did not start";
    KorvaneE2E::SetUp();
  }
  void TearDown() override {
    if (display.empty())
      unsetenv("DISPLAY");
    else
      setenv("DISPLAY", display.c_str(), 1);
  }

  static bool XdoTool(const std::vector<std::string>& args) {
    std::vector<std::string> all{"xdotool"};
    all.insert(all.end(), args.begin(), args.end());
    pid_t pid = kvtest::Spawn(all);
    int status;
    return pid && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  // A click of the X pointer at the middle of the shown document's element.
  static bool ClickOnScreen(DriveClient& drive, const std::string& id) {
    auto r = drive.Command("element " + id);
    long l, t, rr, b;
    if (!r.ok || r.lines.empty() || std::sscanf(r.lines[0].c_str(), "%ld %ld %ld %ld", &l, &t, &rr, &b) != 4)
      return false;
    return XdoTool({"mousemove", std::to_string((l + rr) / 2), std::to_string((t + b) / 2), "click", "1"});
  }
  // Whether the X server shows the window's pixels as the program's own screenshot of it
  // has them (tried a few times: a caret may blink between the two).
  bool ShowsItsPixels(xtest::XClient& x, DriveClient& drive, unsigned long xw, int* differ) {
    DriveWindow w = MainWindow(drive);
    std::string png = home / "window.png";
    for (int attempt = 0; attempt < 20; ++attempt) {
      if (!drive.Command("screenshot " + w.Handle() + " " + png).ok) return false;
      std::vector<uint32_t> got;
      if (!x.Pixels(xw, w.width, w.height, &got)) return false;
      cairo_surface_t* shot = cairo_image_surface_create_from_png(png.c_str());
      *differ = -1;
      if (cairo_surface_status(shot) == CAIRO_STATUS_SUCCESS && cairo_image_surface_get_width(shot) == w.width &&
          cairo_image_surface_get_height(shot) == w.height) {
        const unsigned char* data = cairo_image_surface_get_data(shot);
        int stride = cairo_image_surface_get_stride(shot);
        *differ = 0;
        for (int y = 0; y < w.height; ++y)
          for (int i = 0; i < w.width; ++i)
            if ((reinterpret_cast<const uint32_t*>(data + size_t(y) * size_t(stride))[i] & 0xFFFFFFu) !=
                got[size_t(y) * size_t(w.width) + size_t(i)])
              ++*differ;
      }
      cairo_surface_destroy(shot);
      if (*differ == 0) return true;
      usleep(100000);
    }
    return false;
  }
  // The whole X screen as a PNG file.
  static bool SaveScreen(xtest::XClient& x, const std::string& path) {
    xtest::Box b = x.Rect(x.Root());
    int width = b.right - b.left, height = b.bottom - b.top;
    std::vector<uint32_t> px;
    if (!x.Pixels(x.Root(), width, height, &px)) return false;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_surface_flush(s);
    unsigned char* data = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < height; ++y)
      std::memcpy(data + size_t(y) * size_t(stride), px.data() + size_t(y) * size_t(width), size_t(width) * 4);
    cairo_surface_mark_dirty(s);
    bool ok = cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(s);
    return ok;
  }
};

TEST_F(KorvaneOnScreen, AClerkLogsInWithThePointerAndTheKeyboard) {
  WriteConfig(CompleteConfig());
  auto run = Start("screen", "");
  DriveClient& drive = run->drive;
  ASSERT_TRUE(WaitForPage(drive, "/Quabo/login/init.html")) << Url(drive);
  xtest::XClient x;
  ASSERT_TRUE(x.ok());

  // The login window is an X window at its place, showing what the program drew.
  unsigned long xw = 0;
  ASSERT_TRUE(DriveClient::WaitFor([&] { return (xw = x.Find("登录")) != 0; })) << Tail(run->output);
  DriveWindow w = MainWindow(drive);
  xtest::Box box = x.Rect(xw);
  EXPECT_EQ(box.left, w.left);
  EXPECT_EQ(box.top, w.top);
  EXPECT_EQ(box.right - box.left, w.width);
  EXPECT_EQ(box.bottom - box.top, w.height);
  int differ = -1;
  EXPECT_TRUE(ShowsItsPixels(x, drive, xw, &differ)) << differ << " pixels differ";

  // The clerk types a Chinese name (the input method's text) and the password.
  ASSERT_TRUE(ClickOnScreen(drive, "user"));
  ASSERT_TRUE(XdoTool({"type", "--delay", "300", "王会计"}));
  ASSERT_TRUE(ClickOnScreen(drive, "password"));
  ASSERT_TRUE(XdoTool({"type", "--delay", "30", "123456"}));
  EXPECT_TRUE(DriveClient::WaitFor([&] {
    std::string dom = Dom(drive);
    return dom.find("王会计") != std::string::npos && dom.find("123456") != std::string::npos;
  })) << Dom(drive);
  std::string screen = home / "login-screen.png";
  EXPECT_TRUE(SaveScreen(x, screen));
  if (const char* keep = std::getenv("KORVANE_SCREEN_SHOT")) fs::copy_file(screen, keep, fs::copy_options::overwrite_existing);

  // Entering logs in: the home page, the window maximised over the X screen.
  ASSERT_TRUE(ClickOnScreen(drive, "enter"));
  ASSERT_TRUE(WaitForPage(drive, "/Quabo/login/home.html")) << Url(drive);
  ASSERT_TRUE(DriveClient::WaitFor([&] { return (MainWindow(drive).style & WS_MAXIMIZE) != 0; }));
  w = MainWindow(drive);
  EXPECT_TRUE(DriveClient::WaitFor([&] {
    unsigned long now = x.Find(w.caption.c_str());
    xtest::Box b = now ? x.Rect(now) : xtest::Box{};
    return now && b.left == w.left && b.top == w.top && b.right - b.left == w.width;
  })) << w.caption;

  // Alt+F4 asks the page, whose handler asks the clerk, who clicks the box's OK.
  ASSERT_TRUE(XdoTool({"key", "alt+F4"}));
  DriveWindow ok;
  ASSERT_TRUE(DriveClient::WaitFor([&] {
    for (auto& b : drive.Windows())
      if (b.visible && b.cls == "#32770" && x.Find(b.caption.c_str()))
        for (auto& c : drive.Windows("children " + b.Handle()))
          if (c.cls == "Button" && c.visible && c.caption == "确定") {
            ok = c;
            return true;
          }
    return false;
  })) << "no box asks on the screen";
  ASSERT_TRUE(XdoTool({"mousemove", std::to_string(ok.left + ok.width / 2), std::to_string(ok.top + ok.height / 2),
                       "click", "1"}));
  EXPECT_EQ(run->process->Wait(), 0) << Tail(run->output);
  auto boxes = Boxes();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes.back()[1], "确定要退出发票开具系统吗？");
}

}  // namespace
