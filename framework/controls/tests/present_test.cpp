// Framework forms on a real X server: a private Xvfb started by the fixture, the pointer
// and the keyboard driven with xdotool, the pixels read back with XGetImage.
#include <gtest/gtest.h>

#include <cairo.h>

#include <atomic>
#include <memory>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "framework/controls/comctrls.h"
#include "framework/controls/forms.h"
#include "framework/controls/stdctrls.h"
#include "platform/user/button.h"
#include "platform/user/combobox.h"
#include "platform/user/dialog.h"
#include "platform/user/edit.h"
#include "platform/user/ime.h"
#include "platform/user/static.h"
#include "platform/user/testing.h"
#include "platform/user/spy.h"
#include "platform/base/codepage.h"
#include "platform/base/global_memory.h"
#include "platform/print/print.h"
#include "testsupport/xclient.h"
#include "testsupport/temp_home.h"
#include "testsupport/xvfb.h"

namespace {

using kvtest::Ended;
using kvtest::Spawn;
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

// What the person sees of a shown box before answering it: the box and its X window.
using Look = std::function<void(HWND box, unsigned long xbox, xtest::XClient& x)>;

// What a person does with a modal box: waits for the "#32770" box `title` to be shown with
// its X window (named `xname`) above the window `below`, looks at it, then clicks its
// button `id`.
void Answer(const char* xname, const char16_t* title, int id, unsigned long below, std::atomic<bool>* above,
            std::atomic<bool>* clicked, Look look) {
  xtest::XClient d;
  if (!d.ok()) return;
  auto until = Clock::now() + std::chrono::seconds(10);
  auto wait = [&](auto done) {
    for (;;) {
      if (done()) return true;
      if (Clock::now() >= until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  };
  HWND hbox = nullptr;
  unsigned long box = 0;
  // The box is made hidden and filled before it is shown.
  bool shown = wait([&] {
    hbox = FindWindowW(u"#32770", title);
    return hbox && IsWindowVisible(hbox) && GetDlgItem(hbox, id);
  });
  if (shown && wait([&] { return (box = d.Find(xname)) != 0; }) &&
      wait([&] { return *above = d.StackIndex(box) > d.StackIndex(below); })) {
    if (look) look(hbox, box, d);
    POINT at = Centre(GetDlgItem(hbox, id));
    pid_t pid = Spawn({"xdotool", "mousemove", std::to_string(at.x), std::to_string(at.y), "click", "1"});
    int status;
    if (pid) *clicked = waitpid(pid, &status, 0) == pid;
  }
  // A box the pointer did not reach is closed, so that the test fails instead of hanging.
  wait([&] { return !FindWindowW(u"#32770", title); });
  if (HWND left = FindWindowW(u"#32770", title)) PostMessageW(left, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

// True when the X window `name` goes within two seconds while nothing looks at the queue.
bool GoneUnpumped(xtest::XClient& x, const char* name) {
  auto until = Clock::now() + std::chrono::seconds(2);
  while (x.Find(name)) {
    if (Clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// One server for the test binary: the window system picks its display once per process.
class PresentTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!kvtest::OnPath("Xvfb") || !kvtest::OnPath("xdotool")) return;
    server_ = new kvtest::Xvfb;
    if (!server_->Start()) return;
    unsetenv("KORVANE_HEADLESS");
  }
  static void TearDownTestSuite() {
    if (!server_) return;
    pid_t pid = server_->pid();
    delete server_;
    server_ = nullptr;
    if (pid) {
      EXPECT_NE(kill(pid, 0), 0) << "Xvfb is still there";
    }
  }
  void SetUp() override {
    if (!kvtest::OnPath("Xvfb")) GTEST_SKIP() << "Xvfb is not installed (Debian package xvfb)";
    if (!kvtest::OnPath("xdotool")) GTEST_SKIP() << "xdotool is not installed (Debian package xdotool)";
    ASSERT_TRUE(server_ && server_->pid()) << "Xvfb did not start";
    x_ = std::make_unique<xtest::XClient>();
    ASSERT_TRUE(x_->ok());
    Application->ResetState();
    KvUserReset();
    KvMessageBoxScriptClear();
  }
  // The test form's X window once it has appeared; 0 when it did not within the wait.
  unsigned long FormWindow() {
    unsigned long xw = 0;
    PumpUntil([&] { return (xw = x_->Find("Presented form")) != 0; });
    return xw;
  }
  void TearDown() override {
    Application->ResetState();
    KvUserReset();
    Application->ProcessMessages();  // the native windows of the destroyed forms go
    x_.reset();
  }

  static inline kvtest::Xvfb* server_ = nullptr;
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
  ASSERT_NE(xw = FormWindow(), 0u) << "no X window for the form";

  // At the form's position and size.
  RECT r;
  GetWindowRect(form->Handle(), &r);
  EXPECT_TRUE(Same(r, RECT{100, 80, 500, 380})) << Show(r);
  EXPECT_TRUE(Same(Of(x_->Rect(xw)), r)) << Show(Of(x_->Rect(xw))) << " against " << Show(r);

  // The screen and its work area are the display's.
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_TRUE(Same(work, RECT{0, 0, 1280, 1024})) << Show(work);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1280);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 1024);

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
  ASSERT_TRUE(XdoTool({"type", "--delay", "20", "Fapiao 42 "}));
  EXPECT_TRUE(PumpUntil([&] { return form->Edit1->Text() == "Fapiao 42 "; })) << form->Edit1->Text();
  // Chinese text arrives as committed text, in the ANSI code page's bytes for the edit.
  // (xdotool maps each character to a spare key for a moment: it types slowly so that the
  // mapping is still there when the key is looked up.)
  ASSERT_TRUE(XdoTool({"type", "--delay", "300", "\u53d1\u7968"}));
  std::string want = "Fapiao 42 " + kv::Utf8ToAnsi("\u53d1\u7968");
  EXPECT_TRUE(PumpUntil([&] { return form->Edit1->Text() == want; })) << form->Edit1->Text();

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
  std::thread person(Answer, "Notice", u"Notice", IDOK, xw, &above, &clicked, Look{});
  int answer = MessageBoxA(form->Handle(), "Saved", "Notice", MB_OKCANCEL);
  person.join();
  EXPECT_EQ(answer, IDOK);
  EXPECT_TRUE(above);
  EXPECT_TRUE(clicked);
  EXPECT_TRUE(GoneUnpumped(*x_, "Notice")) << "the box's X window stays";
  delete form;
}

// Desktop keys arrive with the platform's virtual-key codes, scan codes and extended-key
// flag; their characters come once, from the desktop's text input.
TEST_F(PresentTest, DesktopKeysCarryVirtualKeysAndScanCodesAndTheirCharactersOnce) {
  auto* form = new TestForm(nullptr);
  form->Show();
  ASSERT_NE(FormWindow(), 0u);
  POINT e = Centre(form->Edit1->Handle());
  ASSERT_TRUE(XdoTool({"mousemove", std::to_string(e.x), std::to_string(e.y), "click", "1"}));
  ASSERT_TRUE(PumpUntil([&] { return GetFocus() == form->Edit1->Handle(); }));
  struct Case {
    const char* key;
    WPARAM vk;
    int scan;
    bool extended;
  } cases[] = {{"a", 'A', 0x1E, false},         {"5", '5', 0x06, false},       {"Home", VK_HOME, 0x47, true},
               {"F5", VK_F5, 0x3F, false},      {"KP_Enter", VK_RETURN, 0x1C, true},
               {"Delete", VK_DELETE, 0x53, true}, {"comma", 0xBC, 0x33, false}, {"Right", VK_RIGHT, 0x4D, true}};
  std::vector<std::string> args{"key", "--delay", "20"};
  for (auto& c : cases) args.push_back(c.key);
  KvSpyStart(form->Edit1->Handle());
  ASSERT_TRUE(XdoTool(args));
  std::vector<KVSPYRECORD> downs;
  PumpUntil([&] {
    downs = kv::SpyRecords([](const KVSPYRECORD& r) { return r.kind == KV_SPY_POSTED && r.message == WM_KEYDOWN; });
    return downs.size() >= std::size(cases);
  });
  auto chars = kv::SpyRecords([](const KVSPYRECORD& r) { return r.kind == KV_SPY_POSTED && r.message == WM_CHAR; });
  KvSpyStop();
  std::string seen;
  for (auto& d : downs) seen += std::to_string(d.wParam) + "/" + std::to_string((d.lParam >> 16) & 0x1FF) + " ";
  ASSERT_EQ(downs.size(), std::size(cases)) << seen;
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].key);
    EXPECT_EQ(downs[i].wParam, cases[i].vk);
    EXPECT_EQ((downs[i].lParam >> 16) & 0xFF, cases[i].scan);
    EXPECT_EQ(((downs[i].lParam >> 24) & 1) != 0, cases[i].extended);
  }
  // "a", "5" and "," once each, and the Enter key's carriage return.
  std::u16string typed;
  for (auto& c : chars) typed += static_cast<char16_t>(c.wParam);
  EXPECT_EQ(typed, u"a5\r,");
  delete form;
}

// The cursor is the desktop's pointer: seen wherever the desktop moved it, with nothing
// pumped, and SetCursorPos moves it, the window under it hearing of the move.
TEST_F(PresentTest, CursorPosIsTheDesktopPointer) {
  auto* form = new TestForm(nullptr);
  form->Show();
  ASSERT_NE(FormWindow(), 0u);

  // Away from every window of ours.
  pid_t pid = Spawn({"xdotool", "mousemove", "900", "700"});
  int status;
  ASSERT_TRUE(pid && waitpid(pid, &status, 0) == pid);
  POINT p{};
  ASSERT_TRUE(GetCursorPos(&p));
  EXPECT_EQ(p.x, 900);
  EXPECT_EQ(p.y, 700);

  POINT to{300, 150};
  ClientToScreen(form->Handle(), &to);
  KvSpyStart(form->Handle());
  ASSERT_TRUE(SetCursorPos(to.x, to.y));
  int x = 0, y = 0;
  ASSERT_TRUE(x_->Pointer(&x, &y));
  EXPECT_EQ(x, to.x);
  EXPECT_EQ(y, to.y);
  ASSERT_TRUE(GetCursorPos(&p));
  EXPECT_EQ(p.x, to.x);
  EXPECT_EQ(p.y, to.y);
  bool heard = PumpUntil([&] {
    return !kv::SpyRecords([](const KVSPYRECORD& r) {
              return r.kind == KV_SPY_POSTED && r.message == WM_MOUSEMOVE && r.lParam == MAKELPARAM(300, 150);
            }).empty();
  });
  KvSpyStop();
  EXPECT_TRUE(heard) << "the form heard of no move to (300,150)";
  delete form;
}

// A message box shows its type's icon at its top left, the text beside it; a box of no
// icon type has none.
TEST_F(PresentTest, MessageBoxShowsTheIconOfItsType) {
  auto* form = new TestForm(nullptr);
  form->Show();
  unsigned long xw = 0;
  ASSERT_NE(xw = FormWindow(), 0u);
  struct Case {
    UINT type;
    LPCSTR icon;
  } cases[] = {{MB_ICONERROR, IDI_HAND},
               {MB_ICONQUESTION, IDI_QUESTION},
               {MB_ICONWARNING, IDI_EXCLAMATION},
               {MB_ICONINFORMATION, IDI_ASTERISK},
               {0, nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    // The icon drawn over the box's background, as the screen should show it.
    std::vector<COLORREF> want;
    if (c.icon) {
      HDC screen = GetDC(nullptr);
      HDC mem = CreateCompatibleDC(screen);
      HBITMAP bmp = CreateCompatibleBitmap(screen, 32, 32);
      HGDIOBJ old = SelectObject(mem, bmp);
      RECT all{0, 0, 32, 32};
      FillRect(mem, &all, GetSysColorBrush(COLOR_3DFACE));
      DrawIconEx(mem, 0, 0, LoadIconA(nullptr, c.icon), 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
      for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) want.push_back(GetPixel(mem, x, y));
      SelectObject(mem, old);
      DeleteObject(bmp);
      DeleteDC(mem);
      ReleaseDC(nullptr, screen);
    }
    bool hasIcon = false;
    RECT icon{}, label{};
    int differ = -1, inked = 0;
    Look look = [&](HWND box, unsigned long xbox, xtest::XClient& x) {
      RECT b;
      GetWindowRect(box, &b);
      HWND ctl = GetDlgItem(box, 20);
      hasIcon = ctl != nullptr;
      if (!ctl) return;
      GetWindowRect(ctl, &icon);
      OffsetRect(&icon, -b.left, -b.top);
      GetWindowRect(FindWindowExW(box, nullptr, u"Static", u"Saved"), &label);
      OffsetRect(&label, -b.left, -b.top);
      // The box paints after it shows: its pixels are read until they are complete.
      int width = b.right - b.left;
      std::vector<uint32_t> px;
      auto until = Clock::now() + std::chrono::seconds(2);
      do {
        if (!x.Pixels(xbox, width, b.bottom - b.top, &px)) return;
        differ = inked = 0;
        for (int y = 0; y < 32; ++y)
          for (int i = 0; i < 32; ++i) {
            uint32_t got = px[size_t(icon.top + y) * size_t(width) + size_t(icon.left + i)];
            COLORREF seen = RGB(got >> 16, (got >> 8) & 0xFF, got & 0xFF);
            differ += seen != want[size_t(y) * 32 + size_t(i)];
            inked += seen != GetSysColor(COLOR_3DFACE);
          }
      } while (differ && Clock::now() < until);
    };
    std::atomic<bool> above{false}, clicked{false};
    std::thread person(Answer, "Notice", u"Notice", IDOK, xw, &above, &clicked, look);
    EXPECT_EQ(MessageBoxA(form->Handle(), "Saved", "Notice", MB_OK | c.type), IDOK);
    person.join();
    ASSERT_TRUE(clicked);
    ASSERT_EQ(hasIcon, c.icon != nullptr);
    if (!c.icon) continue;
    EXPECT_EQ(icon.right - icon.left, GetSystemMetrics(SM_CXICON));
    EXPECT_GE(label.left, icon.right);
    EXPECT_EQ(differ, 0);
    EXPECT_GT(inked, 100) << "the icon is not drawn";
  }
  delete form;
}

// A window of a second GUI thread takes the desktop's input on its own thread, while the
// first thread drives the presenter; a press back on the first thread's form gives the
// keyboard to the form again.
TEST_F(PresentTest, DesktopInputReachesTheWindowsOfAnotherThread) {
  auto* form = new TestForm(nullptr);
  form->Show();
  ASSERT_NE(FormWindow(), 0u);

  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.lpszClassName = u"OtherThreadTop";
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  ASSERT_TRUE(RegisterClassW(&wc));
  std::atomic<HWND> top{nullptr}, edit{nullptr};
  std::atomic<int> presses{0}, chars{0};
  std::thread other([&] {
    HWND t = CreateWindowExW(0, u"OtherThreadTop", u"Other thread", WS_POPUP | WS_CAPTION | WS_VISIBLE, 620, 100,
                             300, 200, nullptr, nullptr, nullptr, nullptr);
    HWND e = CreateWindowExW(0, u"Edit", u"", WS_CHILD | WS_VISIBLE | WS_BORDER, 20, 20, 200, 24, t, nullptr,
                             nullptr, nullptr);
    edit = e;
    top = t;
    // Waits in GetMessage: the desktop's input has to wake the thread.
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0 && m.message != WM_APP) {
      if (m.hwnd == e && m.message == WM_LBUTTONDOWN) ++presses;
      if (m.hwnd == e && m.message == WM_CHAR) ++chars;
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
    DestroyWindow(t);
  });
  auto text = [](HWND h) {
    char16_t buf[64] = {};
    GetWindowTextW(h, buf, 64);
    return std::u16string(buf);
  };

  ASSERT_TRUE(PumpUntil([&] { return top && x_->Find("Other thread") != 0; })) << "no X window for the thread's";
  POINT at = Centre(edit);
  ASSERT_TRUE(XdoTool({"mousemove", std::to_string(at.x), std::to_string(at.y), "click", "1"}));
  ASSERT_TRUE(XdoTool({"type", "--delay", "20", "abc"}));
  EXPECT_TRUE(PumpUntil([&] { return text(edit) == u"abc"; })) << kv::WideToUtf8(text(edit));
  EXPECT_EQ(presses, 1);
  EXPECT_EQ(chars, 3);
  EXPECT_EQ(form->Edit1->Text(), "");

  POINT e = Centre(form->Edit1->Handle());
  ASSERT_TRUE(XdoTool({"mousemove", std::to_string(e.x), std::to_string(e.y), "click", "1"}));
  ASSERT_TRUE(XdoTool({"type", "--delay", "20", "d"}));
  EXPECT_TRUE(PumpUntil([&] { return form->Edit1->Text() == "d"; })) << form->Edit1->Text();
  EXPECT_EQ(text(edit), u"abc");

  PostMessageW(top, WM_APP, 0, 0);
  other.join();
  UnregisterClassW(u"OtherThreadTop", nullptr);
  delete form;
}

// Text no keyboard types comes from the input method: the focus window gets the
// composition's messages, and their default handling makes the characters, in the ANSI
// code page's bytes (a double-byte character as two) for an ANSI window.
std::vector<MSG> gAnsiSeen;
LRESULT AnsiRecorder(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_IME_STARTCOMPOSITION || m == WM_IME_COMPOSITION || m == WM_IME_ENDCOMPOSITION || m == WM_IME_CHAR ||
      m == WM_CHAR)
    gAnsiSeen.push_back(MSG{h, m, wp, lp, 0, {}});
  return DefWindowProcA(h, m, wp, lp);
}

TEST_F(PresentTest, InputMethodTextReachesTheFocusAsImeMessagesThenCharacters) {
  auto* form = new TestForm(nullptr);
  form->Show();
  ASSERT_NE(FormWindow(), 0u);
  POINT e = Centre(form->Edit1->Handle());
  ASSERT_TRUE(XdoTool({"mousemove", std::to_string(e.x), std::to_string(e.y), "click", "1"}));
  ASSERT_TRUE(PumpUntil([&] { return GetFocus() == form->Edit1->Handle(); }));

  // A wide edit: each committed character as a composition, WM_IME_CHAR, then WM_CHAR.
  // (xdotool maps each character to a spare key for a moment: it types slowly so that the
  // mapping is still there when the key is looked up.)
  KvSpyStart(form->Edit1->Handle());
  ASSERT_TRUE(XdoTool({"type", "--delay", "300", "\u53d1\u7968"}));
  std::string want = kv::Utf8ToAnsi("\u53d1\u7968");
  EXPECT_TRUE(PumpUntil([&] { return form->Edit1->Text() == want; })) << form->Edit1->Text();
  auto ime = kv::SpyRecords([](const KVSPYRECORD& r) {
    return r.kind != KV_SPY_DEFPROC && (r.message == WM_IME_STARTCOMPOSITION || r.message == WM_IME_COMPOSITION ||
           r.message == WM_IME_ENDCOMPOSITION || r.message == WM_IME_CHAR || r.message == WM_CHAR);
  });
  KvSpyStop();
  // The composition's messages come from the queue; DefWindowProc sends the others.
  struct Want {
    int kind;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  } seq[] = {{KV_SPY_POSTED, WM_IME_STARTCOMPOSITION, 0, 0}, {KV_SPY_POSTED, WM_IME_COMPOSITION, 0x53d1, GCS_RESULTSTR},
             {KV_SPY_SENT, WM_IME_CHAR, 0x53d1, 1},          {KV_SPY_SENT, WM_CHAR, 0x53d1, 1},
             {KV_SPY_POSTED, WM_IME_ENDCOMPOSITION, 0, 0},   {KV_SPY_POSTED, WM_IME_STARTCOMPOSITION, 0, 0},
             {KV_SPY_POSTED, WM_IME_COMPOSITION, 0x7968, GCS_RESULTSTR},
             {KV_SPY_SENT, WM_IME_CHAR, 0x7968, 1},          {KV_SPY_SENT, WM_CHAR, 0x7968, 1},
             {KV_SPY_POSTED, WM_IME_ENDCOMPOSITION, 0, 0}};
  std::string seen;
  for (auto& r : ime) seen += std::to_string(r.message) + ":" + std::to_string(r.wParam) + " ";
  ASSERT_EQ(ime.size(), std::size(seq)) << seen;
  for (size_t i = 0; i < std::size(seq); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(ime[i].kind, seq[i].kind);
    EXPECT_EQ(ime[i].message, seq[i].message);
    EXPECT_EQ(ime[i].wParam, seq[i].wParam);
    EXPECT_EQ(ime[i].lParam, seq[i].lParam);
  }

  // An ANSI window of the form takes the same text as double-byte characters.
  WNDCLASSA wc{};
  wc.lpfnWndProc = AnsiRecorder;
  wc.lpszClassName = "AnsiImeTarget";
  ASSERT_TRUE(RegisterClassA(&wc));
  HWND ansi = CreateWindowExA(0, "AnsiImeTarget", "", WS_CHILD | WS_VISIBLE, 200, 56, 100, 21, form->Handle(),
                              nullptr, nullptr, nullptr);
  ASSERT_TRUE(ansi);
  SetFocus(ansi);
  gAnsiSeen.clear();
  ASSERT_TRUE(XdoTool({"type", "--delay", "300", "\u53d1"}));
  std::vector<BYTE> bytes;
  WPARAM imeChar = 0;
  PumpUntil([&] {
    bytes.clear();
    for (const MSG& m : gAnsiSeen) {
      if (m.message == WM_CHAR) bytes.push_back(static_cast<BYTE>(m.wParam));
      if (m.message == WM_IME_CHAR) imeChar = m.wParam;
    }
    return bytes.size() >= 2;
  });
  std::string a = kv::Utf8ToAnsi("\u53d1");
  ASSERT_EQ(a.size(), 2u);
  ASSERT_EQ(bytes.size(), 2u);
  EXPECT_EQ(bytes[0], static_cast<BYTE>(a[0]));
  EXPECT_EQ(bytes[1], static_cast<BYTE>(a[1]));
  EXPECT_EQ(imeChar, (WPARAM(BYTE(a[0])) << 8) | BYTE(a[1]));
  DestroyWindow(ansi);
  UnregisterClassA("AnsiImeTarget", nullptr);
  delete form;
}

// Minimising asks the desktop to iconify the native window, which keeps its place; the
// restore brings it back at the window's rectangle. (Xvfb has no window manager to show
// icons: the ask is seen as the message to the window manager, the state on our side.)
TEST_F(PresentTest, MinimiseIconifiesTheNativeWindowAndRestoreMapsItBack) {
  auto* form = new TestForm(nullptr);
  form->Show();
  unsigned long xw = 0;
  ASSERT_NE(xw = FormWindow(), 0u);
  HWND h = form->Handle();
  RECT r;
  GetWindowRect(h, &r);
  struct Case {
    const char* how;
    std::function<void()> minimise, restore;
  } cases[] = {
      {"system commands", [&] { SendMessageW(h, WM_SYSCOMMAND, SC_MINIMIZE, 0); },
       [&] { SendMessageW(h, WM_SYSCOMMAND, SC_RESTORE, 0); }},
      {"ShowWindow", [&] { ShowWindow(h, SW_MINIMIZE); }, [&] { ShowWindow(h, SW_RESTORE); }},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.how);
    x_->WatchRoot();
    c.minimise();
    EXPECT_TRUE(IsIconic(h));
    Application->ProcessMessages();
    EXPECT_TRUE(x_->AskedToIconify(xw)) << "no iconify asked for the X window";
    EXPECT_TRUE(Same(Of(x_->Rect(xw)), r)) << "the iconified X window moved: " << Show(Of(x_->Rect(xw)));
    c.restore();
    EXPECT_FALSE(IsIconic(h));
    RECT now;
    GetWindowRect(h, &now);
    EXPECT_TRUE(Same(now, r)) << Show(now);
    EXPECT_TRUE(PumpUntil([&] { return x_->Find("Presented form") == xw && Same(Of(x_->Rect(xw)), r); }))
        << Show(Of(x_->Rect(xw)));
  }
  delete form;
}

// The print dialog is a modal window above its owner; its buttons answer it.
TEST_F(PresentTest, PrintDialogIsAModalWindowThatItsButtonsAnswer) {
  kvtest::TempHome home;
  auto* form = new TestForm(nullptr);
  form->Show();
  unsigned long xw = 0;
  ASSERT_NE(xw = FormWindow(), 0u);
  struct Case {
    int button;
    BOOL result;
  } cases[] = {{IDCANCEL, FALSE}, {IDOK, TRUE}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button);
    std::atomic<bool> above{false}, clicked{false};
    std::thread person(Answer, "\u6253\u5370", u"\u6253\u5370", c.button, xw, &above, &clicked, Look{});
    PRINTDLGW pd{};
    pd.lStructSize = sizeof pd;
    pd.hwndOwner = form->Handle();
    pd.nCopies = 1;
    BOOL r = PrintDlgW(&pd);
    person.join();
    EXPECT_EQ(r, c.result);
    EXPECT_EQ(CommDlgExtendedError(), 0u);
    EXPECT_TRUE(above);
    EXPECT_TRUE(clicked);
    // The ended dialog is off the screen before the caller goes on.
    EXPECT_TRUE(GoneUnpumped(*x_, "\u6253\u5370")) << "the dialog's X window stays";
    if (pd.hDevMode) GlobalFree(pd.hDevMode);
    if (pd.hDevNames) GlobalFree(pd.hDevNames);
  }
  delete form;
}

}  // namespace
