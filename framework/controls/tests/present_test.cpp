// Framework forms on a real X server: a private Xvfb started by the fixture, the pointer
// and the keyboard driven with xdotool, the pixels read back with XGetImage.
#include <gtest/gtest.h>

#include <cairo.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "framework/controls/comctrls.h"
#include "framework/controls/forms.h"
#include "framework/controls/stdctrls.h"
#include "platform/user/controls/controls.h"
#include "framework/controls/tests/xclient.h"
#include "testsupport/temp_home.h"

extern char** environ;

namespace {

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string p = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= p.size()) {
    size_t end = p.find(':', start);
    if (end == std::string::npos) end = p.size();
    std::string file = p.substr(start, end - start) + "/" + program;
    if (access(file.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// Starts a program with its output discarded; 0 when it could not be started.
pid_t Spawn(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  return rc == 0 ? pid : 0;
}

// True once the process has ended (reaped).
bool Ended(pid_t pid) {
  int status;
  return waitpid(pid, &status, WNOHANG) == pid;
}

using Clock = std::chrono::steady_clock;

// Runs the form's messages until `done` holds or ten seconds pass.
template <typename F>
bool PumpUntil(F done) {
  auto until = Clock::now() + std::chrono::seconds(10);
  while (Clock::now() < until) {
    Application->ProcessMessages();
    if (done()) return true;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
  return false;
}

// Runs xdotool with these arguments while the form's messages run, until it ends.
bool XdoTool(std::vector<std::string> args) {
  args.insert(args.begin(), "xdotool");
  pid_t pid = Spawn(args);
  if (!pid) return false;
  return PumpUntil([&] { return Ended(pid); });
}

struct TestForm : TForm {
  TButton* Button1;
  TEdit* Edit1;
  TComboBox* Combo1;
  TStatusBar* StatusBar1;
  int clicks = 0;

  explicit TestForm(TComponent* owner) : TForm(owner) {
    SetName("TestForm");
    SetBounds(100, 80, 400, 300);
    SetCaption("Presented form");
    Button1 = new TButton(this);
    Button1->SetParent(this);
    Button1->SetBounds(16, 16, 75, 25);
    Button1->SetCaption("Press");
    Button1->OnClick = [this](TObject*) { ++clicks; };
    Edit1 = new TEdit(this);
    Edit1->SetParent(this);
    Edit1->SetBounds(16, 56, 121, 21);
    Combo1 = new TComboBox(this);
    Combo1->SetParent(this);
    Combo1->SetBounds(16, 90, 145, 21);
    Combo1->Items()->Add("one");
    StatusBar1 = new TStatusBar(this);
    StatusBar1->SetParent(this);
    StatusBar1->Panels()->Add()->SetWidth(100);
  }
};

POINT Centre(HWND h) {
  RECT r;
  GetWindowRect(h, &r);
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

class PresentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!OnPath("Xvfb")) GTEST_SKIP() << "Xvfb is not installed (Debian package xvfb)";
    if (!OnPath("xdotool")) GTEST_SKIP() << "xdotool is not installed (Debian package xdotool)";
    // Xvfb picks a free display number itself and writes it to the pipe once it is ready.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    xvfb_ = Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                   "-noreset"});  // the pipe's end is inherited
    close(fds[1]);
    ASSERT_NE(xvfb_, 0);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c;
    while (poll(&p, 1, 10000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    ASSERT_FALSE(number.empty()) << "Xvfb did not start";
    std::string display = ":" + number;
    setenv("DISPLAY", display.c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("KORVANE_HEADLESS");
    x_ = std::make_unique<xtest::XClient>();
    ASSERT_TRUE(x_->ok());
    Application->ResetState();
    KvUserReset();
    KvMessageBoxScriptClear();
  }
  void TearDown() override {
    Application->ResetState();
    KvUserReset();
    x_.reset();
    if (xvfb_) {
      kill(xvfb_, SIGTERM);
      int status;
      waitpid(xvfb_, &status, 0);
      EXPECT_NE(kill(xvfb_, 0), 0) << "Xvfb is still there";
    }
  }

  pid_t xvfb_ = 0;
  std::unique_ptr<xtest::XClient> x_;
};

bool Same(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
RECT Of(const xtest::Box& b) { return RECT{b.left, b.top, b.right, b.bottom}; }
std::string Show(const RECT& r) {
  return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom) + ")";
}

TEST_F(PresentTest, FormAppearsAnswersPointerAndKeysMovesAndShowsAMessageBoxAboveIt) {
  kvtest::TempHome home;
  auto* form = new TestForm(nullptr);
  form->Show();
  unsigned long xw = 0;
  ASSERT_TRUE(PumpUntil([&] { return (xw = x_->Find("Presented form")) != 0; })) << "no X window for the form";

  // At the form's position and size.
  RECT r;
  GetWindowRect(form->Handle(), &r);
  EXPECT_TRUE(Same(r, RECT{100, 80, 500, 380})) << Show(r);
  EXPECT_TRUE(Same(Of(x_->Rect(xw)), r)) << Show(Of(x_->Rect(xw))) << " against " << Show(r);

  // Its pixels are the form's screenshot.
  std::string png = home / "form.png";
  ASSERT_TRUE(KvWindowScreenshot(form->Handle(), png.c_str()));
  Application->ProcessMessages();
  cairo_surface_t* shot = cairo_image_surface_create_from_png(png.c_str());
  ASSERT_EQ(cairo_surface_status(shot), CAIRO_STATUS_SUCCESS);
  int w = cairo_image_surface_get_width(shot), h = cairo_image_surface_get_height(shot);
  ASSERT_EQ(w, 400);
  ASSERT_EQ(h, 300);
  std::vector<uint32_t> got;
  ASSERT_TRUE(x_->Pixels(xw, w, h, &got));
  const unsigned char* data = cairo_image_surface_get_data(shot);
  int stride = cairo_image_surface_get_stride(shot), differ = 0, firstX = -1, firstY = -1;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint32_t want = reinterpret_cast<const uint32_t*>(data + size_t(y) * size_t(stride))[x] & 0xFFFFFFu;
      if (want != got[size_t(y) * size_t(w) + size_t(x)] && differ++ == 0) firstX = x, firstY = y;
    }
  cairo_surface_destroy(shot);
  EXPECT_EQ(differ, 0) << "first difference at " << firstX << "," << firstY;

  // A click at the button's centre raises OnClick.
  POINT b = Centre(form->Button1->Handle());
  ASSERT_TRUE(XdoTool({"mousemove", std::to_string(b.x), std::to_string(b.y), "click", "1"}));
  EXPECT_TRUE(PumpUntil([&] { return form->clicks == 1; })) << "clicks: " << form->clicks;

  // Typed text lands in the edit.
  POINT e = Centre(form->Edit1->Handle());
  ASSERT_TRUE(XdoTool({"mousemove", std::to_string(e.x), std::to_string(e.y), "click", "1"}));
  ASSERT_TRUE(XdoTool({"type", "--delay", "20", "Fapiao 42"}));
  EXPECT_TRUE(PumpUntil([&] { return form->Edit1->Text() == "Fapiao 42"; })) << form->Edit1->Text();

  // Dragging the caption moves the form and its X window.
  POINT c{r.left + 150, r.top + 12};
  ASSERT_EQ(SendMessageW(form->Handle(), WM_NCHITTEST, 0, MAKELPARAM(c.x, c.y)), HTCAPTION);
  ASSERT_TRUE(XdoTool({"mousemove", std::to_string(c.x), std::to_string(c.y), "mousedown", "1", "sleep", "0.1",
                       "mousemove", std::to_string(c.x + 30), std::to_string(c.y + 20), "sleep", "0.1", "mousemove",
                       std::to_string(c.x + 60), std::to_string(c.y + 40), "sleep", "0.1", "mouseup", "1"}));
  RECT moved{160, 120, 560, 420};
  EXPECT_TRUE(PumpUntil([&] {
    GetWindowRect(form->Handle(), &r);
    return Same(r, moved) && Same(Of(x_->Rect(xw)), moved);
  })) << Show(r) << " X " << Show(Of(x_->Rect(xw)));

  // A message box of the form shows above it and ends when its OK is clicked.
  std::atomic<bool> above{false}, clicked{false};
  std::thread person([&] {
    xtest::XClient d;
    if (!d.ok()) return;
    auto until = Clock::now() + std::chrono::seconds(10);
    unsigned long box = 0;
    while (Clock::now() < until && !(box = d.Find("Notice")))
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    HWND hbox = FindWindowW(u"#32770", u"Notice");
    if (box && hbox) {
      above = d.StackIndex(box) > d.StackIndex(xw);
      POINT ok = Centre(GetDlgItem(hbox, IDOK));
      pid_t pid = Spawn({"xdotool", "mousemove", std::to_string(ok.x), std::to_string(ok.y), "click", "1"});
      int status;
      if (pid) clicked = waitpid(pid, &status, 0) == pid;
    }
  });
  int answer = MessageBoxA(form->Handle(), "Saved", "Notice", MB_OKCANCEL);
  person.join();
  EXPECT_EQ(answer, IDOK);
  EXPECT_TRUE(above);
  EXPECT_TRUE(clicked);
  EXPECT_TRUE(PumpUntil([&] { return !x_->Find("Notice"); })) << "the box's X window stays";
  delete form;
}

}  // namespace
