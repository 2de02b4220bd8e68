// The framework's visual layer against the headless window system.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>

#include "framework/controls/buttons.h"
#include "framework/controls/comctrls.h"
#include "framework/controls/dialogs.h"
#include "framework/controls/forms.h"
#include "framework/controls/listview.h"
#include "framework/controls/stdctrls.h"
#include "framework/controls/typinfo.h"
#include "framework/core/threads.h"
#include "platform/base/time.h"
#include "platform/comctl/header.h"
#include "platform/comctl/imagelist.h"
#include "platform/comctl/listview.h"
#include "platform/comctl/toolbar.h"
#include "platform/user/button.h"
#include "platform/user/combobox.h"
#include "platform/user/listbox.h"
#include "platform/user/spy.h"
#include "platform/user/testing.h"
#include "testsupport/spy_filters.h"
#include "testsupport/temp_home.h"

// Rectangles compare and print for the assertions.
inline bool operator==(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline std::ostream& operator<<(std::ostream& o, const RECT& r) {
  return o << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")";
}

namespace {

class ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application->ResetState();
    KvUserReset();
    KvMessageBoxLogClear();
    KvMessageBoxScriptClear();
    KvClockSetVirtual(TRUE);
  }
  void TearDown() override {
    Application->ResetState();
    KvUserReset();
    KvClockSetVirtual(FALSE);
  }
};

// A test form with a button, an edit, a combo box, a status bar and a
// progress bar, built in code the way the programs' forms are.
struct TestForm : TForm {
  TButton* Button1;
  TEdit* Edit1;
  TComboBox* Combo1;
  TStatusBar* StatusBar1;
  TProgressBar* ProgressBar1;
  int clicks = 0;

  explicit TestForm(TComponent* owner) : TForm(owner) {
    SetName("TestForm");
    SetBounds(100, 80, 400, 300);
    SetCaption("Test form");
    Button1 = new TButton(this);
    Button1->SetName("Button1");
    Button1->SetParent(this);
    Button1->SetBounds(16, 16, 75, 25);
    Button1->SetCaption("Press");
    Button1->OnClick = [this](TObject*) { ++clicks; };
    Edit1 = new TEdit(this);
    Edit1->SetName("Edit1");
    Edit1->SetParent(this);
    Edit1->SetBounds(16, 56, 121, 21);
    Edit1->SetText("hello");
    Combo1 = new TComboBox(this);
    Combo1->SetName("Combo1");
    Combo1->SetParent(this);
    Combo1->SetBounds(16, 90, 145, 21);
    StatusBar1 = new TStatusBar(this);
    StatusBar1->SetName("StatusBar1");
    StatusBar1->SetParent(this);
    StatusBar1->Panels()->Add()->SetWidth(100);
    StatusBar1->Panels()->Add()->SetWidth(60);
    ProgressBar1 = new TProgressBar(this);
    ProgressBar1->SetName("ProgressBar1");
    ProgressBar1->SetParent(this);
    ProgressBar1->SetBounds(200, 16, 150, 16);
  }
};

std::vector<HWND> Windows(TestForm* f) {
  return {f->Handle(),         f->Button1->Handle(),    f->Edit1->Handle(),
          f->Combo1->Handle(), f->StatusBar1->Handle(), f->ProgressBar1->Handle()};
}

// Index of the first record of `msg` sent to `hwnd`, -1 when none.
int IndexOf(const std::vector<KVSPYRECORD>& rec, UINT msg, HWND hwnd) {
  for (size_t i = 0; i < rec.size(); ++i)
    if (rec[i].kind == KV_SPY_SENT && rec[i].message == msg && rec[i].hwnd == hwnd) return static_cast<int>(i);
  return -1;
}

TEST_F(ControlsTest, FormIsCreatedShownResizedAndDestroyedInThePlatformsOrder) {
  auto* form = new TestForm(nullptr);
  KvSpyStart(nullptr);
  form->Show();
  KvSpyStop();
  std::vector<HWND> w = Windows(form);
  std::set<HWND> ours(w.begin(), w.end());
  auto created = kvtest::SpySentTo(ours, {WM_NCCREATE, WM_CREATE});
  // Parent first, then the children in the order they joined it; each NCCREATE before CREATE.
  std::vector<kv::SpyExpect> want;
  for (HWND h : w) {
    want.push_back(kv::Sent(WM_NCCREATE, h));
    want.push_back(kv::Sent(WM_CREATE, h));
  }
  EXPECT_EQ(kv::SpyMatch(created, want), "");
  EXPECT_TRUE(IsWindowVisible(form->Handle()));
  for (HWND h : w) EXPECT_TRUE(IsWindowVisible(h));
  auto all = kv::SpyRecords();
  // The form is shown after its children exist.
  int shown = IndexOf(all, WM_SHOWWINDOW, form->Handle());
  ASSERT_GE(shown, 0);
  EXPECT_GT(shown, IndexOf(all, WM_CREATE, form->ProgressBar1->Handle()));
  // Showing: the platform's order for a top-level window that becomes active.
  auto showing = kvtest::SpySentTo(
      {form->Handle()},
      {WM_SHOWWINDOW, WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_NCACTIVATE, WM_ACTIVATE, WM_NCPAINT, WM_ERASEBKGND},
      static_cast<size_t>(shown));
  EXPECT_EQ(
      kv::SpyMatch(showing, {kv::WithW(kv::Sent(WM_SHOWWINDOW), TRUE), kv::Sent(WM_WINDOWPOSCHANGING),
                             kv::Sent(WM_NCACTIVATE), kv::WithW(kv::Sent(WM_ACTIVATE), WA_ACTIVE), kv::Sent(WM_NCPAINT),
                             kv::Optional(kv::Sent(WM_ERASEBKGND)), kv::Sent(WM_WINDOWPOSCHANGED)}),
      "");
  EXPECT_EQ(FindControl(form->Button1->Handle()), form->Button1);

  // Resizing: the form's WM_SIZE lays the bottom-aligned status bar out again.
  KvSpyStart(nullptr);
  form->SetBounds(100, 80, 500, 360);
  KvSpyStop();
  auto sizing = kvtest::SpySentTo({form->Handle(), form->StatusBar1->Handle()},
                                  {WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_SIZE});
  EXPECT_EQ(kv::SpyMatch(sizing,
                         {kv::Sent(WM_WINDOWPOSCHANGING, form->Handle()), kv::Sent(WM_WINDOWPOSCHANGED, form->Handle()),
                          kv::Sent(WM_SIZE, form->Handle()), kv::Sent(WM_WINDOWPOSCHANGING, form->StatusBar1->Handle()),
                          kv::Sent(WM_WINDOWPOSCHANGED, form->StatusBar1->Handle()),
                          kv::Sent(WM_SIZE, form->StatusBar1->Handle())}),
            "");
  EXPECT_EQ(form->Width(), 500);
  EXPECT_EQ(form->StatusBar1->Width(), form->ClientWidth());
  EXPECT_EQ(form->StatusBar1->Top(), form->ClientHeight() - form->StatusBar1->Height());
  RECT r;
  GetWindowRect(form->StatusBar1->Handle(), &r);
  EXPECT_EQ(r.right - r.left, form->ClientWidth());

  // Destruction: WM_DESTROY parent first, WM_NCDESTROY children first.
  KvSpyStart(nullptr);
  delete form;
  KvSpyStop();
  auto gone = kvtest::SpySentTo(ours, {WM_DESTROY, WM_NCDESTROY});
  std::vector<kv::SpyExpect> order{kv::Sent(WM_DESTROY, w[0])};
  for (size_t i = 1; i < w.size(); ++i) order.push_back(kv::Sent(WM_DESTROY, w[i]));
  for (size_t i = 1; i < w.size(); ++i) order.push_back(kv::Sent(WM_NCDESTROY, w[i]));
  order.push_back(kv::Sent(WM_NCDESTROY, w[0]));
  EXPECT_EQ(kv::SpyMatch(gone, order), "");
  for (HWND h : w) EXPECT_FALSE(IsWindow(h));
}

TEST_F(ControlsTest, InjectedClickRaisesOnClickAndScreenshotIsWritten) {
  kvtest::TempHome home;
  TestForm* form;
  Application->CreateForm(form);
  form->Show();
  KvPumpMessages();
  RECT r;
  GetWindowRect(form->Button1->Handle(), &r);
  KvInjectClick((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  KvPumpMessages();
  EXPECT_EQ(form->clicks, 1);
  // A click beside the button does nothing.
  KvInjectClick(r.right + 40, r.bottom + 40);
  KvPumpMessages();
  EXPECT_EQ(form->clicks, 1);

  std::string path = home.path() + "/form.png";
  ASSERT_TRUE(KvWindowScreenshot(form->Handle(), path.c_str()));
  std::ifstream png(path, std::ios::binary);
  char sig[8] = {};
  png.read(sig, 8);
  EXPECT_EQ(std::string(sig + 1, 3), "PNG");
  // The form's client area shows its colour where no control covers it.
  POINT p{300, 200};
  MapWindowPoints(form->Handle(), nullptr, &p, 1);
  RECT wr;
  GetWindowRect(form->Handle(), &wr);
  EXPECT_EQ(KvWindowGetPixel(form->Handle(), p.x - wr.left, p.y - wr.top), ColorToRGB(clBtnFace));
}

TEST_F(ControlsTest, HandleIsMadeOnFirstUseAndCarriesTheControlLookupProperty) {
  std::string atom = ControlAtomName();
  ASSERT_EQ(atom.size(), 26u);
  EXPECT_EQ(atom.substr(0, 10), "ControlOfs");
  EXPECT_EQ(atom.find_first_not_of("0123456789ABCDEF", 10), std::string::npos);
  TButton orphan(nullptr);
  orphan.SetName("Orphan");
  EXPECT_THROW(orphan.Handle(), EInvalidOperation);

  TForm form(nullptr);
  auto* b = new TButton(&form);
  b->SetParent(&form);
  EXPECT_FALSE(form.HandleAllocated());
  EXPECT_FALSE(b->HandleAllocated());
  HWND h = b->Handle();
  ASSERT_TRUE(h);
  EXPECT_TRUE(form.HandleAllocated());
  EXPECT_EQ(GetParent(h), form.Handle());
  EXPECT_EQ(GetPropA(h, ControlAtomName()), static_cast<TWinControl*>(b));
  EXPECT_EQ(GetPropA(h, MAKEINTATOM(ControlAtom())), static_cast<TWinControl*>(b));
  char cls[64];
  GetClassNameA(h, cls, sizeof cls);
  EXPECT_STREQ(cls, "TButton");
  EXPECT_FALSE(IsWindowVisible(h));
  EXPECT_EQ(FindControl(h), b);
  EXPECT_EQ(FindControl(nullptr), nullptr);
}

TEST_F(ControlsTest, WindowProcCanBeReplacedAndRestored) {
  TForm form(nullptr);
  auto* b = new TButton(&form);
  b->SetParent(&form);
  std::vector<UINT> seen;
  TWndMethod saved = b->WindowProc;
  b->WindowProc = [&](TMessage& m) {
    seen.push_back(m.Msg);
    if (m.Msg == WM_USER + 7) {
      m.Result = 42;
      return;
    }
    saved(m);
  };
  EXPECT_EQ(b->Perform(WM_USER + 7, 0, 0), 42);
  // Messages sent to the window go through WindowProc too.
  EXPECT_EQ(SendMessageA(b->Handle(), WM_USER + 7, 0, 0), 42);
  b->SetCaption("Go");
  EXPECT_NE(std::find(seen.begin(), seen.end(), static_cast<UINT>(WM_SETTEXT)), seen.end());
  EXPECT_NE(std::find(seen.begin(), seen.end(), CM_TEXTCHANGED), seen.end());
  b->WindowProc = saved;
  seen.clear();
  EXPECT_EQ(b->Perform(WM_USER + 7, 0, 0), 0);
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(b->Caption(), "Go");
}

TEST_F(ControlsTest, RecreateWndKeepsTextAndStateWithANewWindow) {
  TForm form(nullptr);
  auto* e = new TEdit(&form);
  e->SetParent(&form);
  auto* c = new TCheckBox(&form);
  c->SetParent(&form);
  form.Show();
  SetWindowTextA(e->Handle(), "typed");
  c->SetChecked(true);
  HWND old_edit = e->Handle();
  e->RecreateWnd();
  c->RecreateWnd();
  EXPECT_FALSE(IsWindow(old_edit));
  ASSERT_TRUE(e->HandleAllocated());
  EXPECT_NE(e->Handle(), old_edit);
  EXPECT_EQ(e->Text(), "typed");
  EXPECT_TRUE(c->Checked());
  EXPECT_EQ(FindControl(e->Handle()), e);
  EXPECT_TRUE(IsWindowVisible(e->Handle()));
  // Changing the parent destroys the window; the control makes a new one where it lands.
  auto* panel = new TPanel(&form);
  panel->SetParent(&form);
  HWND before = e->Handle();
  e->SetParent(panel);
  EXPECT_FALSE(IsWindow(before));
  EXPECT_EQ(GetParent(e->Handle()), panel->Handle());
  EXPECT_EQ(e->Text(), "typed");
}

TEST_F(ControlsTest, AlignLaysOutChildrenWithAndWithoutWindows) {
  TForm form(nullptr);
  form.SetClientSize(300, 200);
  auto* top = new TPanel(&form);
  top->SetParent(&form);
  top->SetHeight(30);
  top->SetAlign(alTop);
  auto* bar = new TStatusBar(&form);
  bar->SetParent(&form);
  auto* client = new TPanel(&form);
  client->SetParent(&form);
  client->SetAlign(alClient);
  EXPECT_EQ(form.ClientWidth(), 300);
  EXPECT_EQ(top->BoundsRect(), Rect(0, 0, 300, 30));
  EXPECT_EQ(bar->BoundsRect(), Rect(0, 181, 300, 200));
  EXPECT_EQ(client->BoundsRect(), Rect(0, 30, 300, 181));
  form.Show();
  form.SetClientSize(400, 250);
  EXPECT_EQ(client->BoundsRect(), Rect(0, 30, 400, 231));
  RECT r;
  GetClientRect(client->Handle(), &r);
  EXPECT_EQ(r.right, 400);
  EXPECT_EQ(r.bottom, 201);
}

TEST_F(ControlsTest, ShowModalEndsWithTheButtonsModalResultOrCancelWithoutInput) {
  TForm dialog(nullptr);
  dialog.SetBounds(0, 0, 200, 100);
  auto* ok = new TButton(&dialog);
  ok->SetParent(&dialog);
  ok->SetModalResult(mrOk);
  // A timer clicks the button after half a second of virtual time.
  TTimer timer(nullptr);
  timer.SetInterval(500);
  DWORD start = KvClockNow();
  timer.SetOnTimer([&](TObject*) {
    timer.SetEnabled(false);
    SendMessageA(ok->Handle(), BM_CLICK, 0, 0);
  });
  EXPECT_EQ(dialog.ShowModal(), mrOk);
  EXPECT_GE(KvClockNow() - start, 500u);
  EXPECT_FALSE(dialog.Visible());
  EXPECT_FALSE(IsWindowVisible(dialog.Handle()));
  // Nothing scripted and no timer: the loop ends by itself.
  EXPECT_EQ(dialog.ShowModal(), mrCancel);
  dialog.Show();
  EXPECT_THROW(dialog.ShowModal(), EInvalidOperation);
}

// A dialog built like an about box: dialog border with only the system menu, a fixed
// client size, centred; its one button is Default and Cancel and closes with mrOk.
struct AboutBox : TForm {
  TLabel* NameLbl;
  TButton* OkBtn;
  explicit AboutBox(TComponent* owner) : TForm(owner) {
    SetBorderStyle(bsDialog);
    SetBorderIcons({biSystemMenu});
    SetClientSize(408, 225);
    SetPosition(poScreenCenter);
    NameLbl = new TLabel(this);
    NameLbl->SetParent(this);
    NameLbl->SetBounds(72, 8, 10, 10);
    NameLbl->Font()->SetStyle({fsBold});
    NameLbl->SetCaption("Name");
    OkBtn = new TButton(this);
    OkBtn->SetParent(this);
    OkBtn->SetBounds(168, 184, 75, 25);
    OkBtn->SetDefault(true);
    OkBtn->SetCancel(true);
    OkBtn->SetModalResult(mrOk);
  }
};

TEST_F(ControlsTest, ARecreatedFormKeepsItsWindowState) {
  struct Case {
    TWindowState state;
    BOOL (*check)(HWND);
  } cases[] = {{wsMaximized, IsZoomed}, {wsMinimized, IsIconic}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    TForm form(nullptr);
    form.SetBounds(100, 80, 450, 300);
    form.SetBorderStyle(bsDialog);
    form.Show();
    form.SetWindowState(c.state);
    HWND old = form.Handle();
    // A new border style makes a new window, shown in the state the form is in.
    form.SetBorderStyle(bsSizeable);
    Application->ProcessMessages();
    EXPECT_NE(form.Handle(), old);
    EXPECT_TRUE(c.check(form.Handle()));
    EXPECT_EQ(form.WindowState(), c.state);
    EXPECT_TRUE(GetWindowLongA(form.Handle(), GWL_STYLE) & WS_THICKFRAME);
    form.SetWindowState(wsNormal);
    EXPECT_FALSE(c.check(form.Handle()));
  }
}

TEST_F(ControlsTest, DialogFormHasItsFrameSizeAndPositionAndClosesFromItsButton) {
  AboutBox box(nullptr);
  HWND h = box.Handle();
  LONG style = GetWindowLongA(h, GWL_STYLE), ex = GetWindowLongA(h, GWL_EXSTYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
  EXPECT_TRUE(ex & WS_EX_DLGMODALFRAME);
  RECT r;
  GetClientRect(h, &r);
  EXPECT_EQ(r.right, 408);
  EXPECT_EQ(r.bottom, 225);
  // The label sized itself to its bold caption.
  EXPECT_GT(box.NameLbl->Width(), 10);
  // Esc reaches the Cancel button while the dialog is modal.
  TTimer timer(nullptr);
  timer.SetInterval(100);
  timer.SetOnTimer([&](TObject*) {
    timer.SetEnabled(false);
    box.OkBtn->SetFocus();
    KvInjectKey(VK_ESCAPE, TRUE);
    KvInjectKey(VK_ESCAPE, FALSE);
  });
  EXPECT_EQ(box.ShowModal(), mrOk);
  GetWindowRect(h, &r);
  EXPECT_EQ((r.left + r.right) / 2, Screen->Width() / 2);
  EXPECT_EQ((r.top + r.bottom) / 2, Screen->Height() / 2);
}

TEST_F(ControlsTest, TimersFireOnTheVirtualClockAndRunEndsOnTerminate) {
  TTimer timer(nullptr);
  int ticks = 0;
  timer.SetInterval(100);
  DWORD start = KvClockNow();
  timer.SetOnTimer([&](TObject*) {
    if (++ticks == 3) Application->Terminate();
  });
  Application->Run();
  EXPECT_EQ(ticks, 3);
  EXPECT_TRUE(Application->Terminated());
  EXPECT_GE(KvClockNow() - start, 300u);
  // A disabled timer, or one without handler, does not run.
  timer.SetEnabled(false);
  EXPECT_FALSE(Application->HandleMessage());
  EXPECT_EQ(ticks, 3);
}

TEST_F(ControlsTest, SynchronizedCallsRunInTheApplicationsLoop) {
  struct Worker : TThread {
    int* ran;
    explicit Worker(int* r) : TThread(true), ran(r) {}
    void Execute() override {
      Synchronize([this] { ++*ran; });
      Synchronize([this] {
        ++*ran;
        Application->Terminate();
      });
    }
  };
  int ran = 0;
  Worker w(&ran);
  w.Start();
  Application->Run();  // woken by each call, ends on the Terminate of the second
  w.WaitFor();
  EXPECT_EQ(ran, 2);
  EXPECT_TRUE(Application->Terminated());
}

TEST_F(ControlsTest, CloseAsksCloseQueryAndFreesReleasedForms) {
  bool allow = false;
  bool destroyed = false;
  auto* form = new TForm(nullptr);
  form->OnCloseQuery = [&](TObject*, bool& can) { can = allow; };
  form->OnClose = [&](TObject*, TCloseAction& a) { a = caFree; };
  form->OnDestroy = [&](TObject*) { destroyed = true; };
  form->DoCreate();
  form->Show();
  SendMessageA(form->Handle(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(form->Visible());
  allow = true;
  form->Close();
  EXPECT_FALSE(destroyed);  // freed once its queued messages are handled
  Application->ProcessMessages();
  EXPECT_TRUE(destroyed);
}

TEST_F(ControlsTest, EnterClicksTheDefaultButtonAndKeyPressMayChangeTheCharacter) {
  TestForm* form;
  Application->CreateForm(form);
  form->Button1->SetDefault(true);
  form->Show();
  form->Edit1->SetFocus();
  KvPumpMessages();
  ASSERT_EQ(GetFocus(), form->Edit1->Handle());
  KvInjectKey(VK_RETURN, TRUE);
  KvInjectKey(VK_RETURN, FALSE);
  Application->ProcessMessages();
  EXPECT_EQ(form->clicks, 1);

  form->Edit1->SetText("");
  form->Edit1->OnKeyPress = [](TObject*, char& key) { key = key == 'a' ? 'b' : 0; };
  KvInjectChar(u'a');
  KvInjectChar(u'c');
  Application->ProcessMessages();
  EXPECT_EQ(form->Edit1->Text(), "b");

  // Alt and a button's accelerator click it (from any control of the form); Alt and a
  // character no control has does nothing.
  form->Button1->SetCaption("&Press");
  for (int key : {'P', 'Z'}) {
    KvInjectKey(VK_MENU, TRUE);
    KvInjectKey(key, TRUE);
    KvInjectKey(key, FALSE);
    KvInjectKey(VK_MENU, FALSE);
    Application->ProcessMessages();
  }
  EXPECT_EQ(form->clicks, 2);
  EXPECT_EQ(form->Edit1->Text(), "b");
}

TEST_F(ControlsTest, MenuBarAndPopupMenuCommandsRaiseTheItemsOnClick) {
  TForm form(nullptr);
  auto* menu = new TMainMenu(&form);
  auto* file = new TMenuItem(&form);
  file->SetCaption("File");
  auto* open = new TMenuItem(&form);
  open->SetCaption("Open");
  auto* line = new TMenuItem(&form);
  line->SetCaption("-");
  auto* quit = new TMenuItem(&form);
  quit->SetCaption("Quit");
  std::vector<TObject*> clicked;
  open->OnClick = [&](TObject* s) { clicked.push_back(s); };
  quit->OnClick = [&](TObject* s) { clicked.push_back(s); };
  file->Add(open);
  file->Add(line);
  file->Add(quit);
  menu->Items()->Add(file);
  form.SetMenu(menu);
  form.Show();
  HMENU bar = GetMenu(form.Handle());
  ASSERT_EQ(bar, menu->Handle());
  ASSERT_EQ(GetMenuItemCount(bar), 1);
  HMENU sub = GetSubMenu(bar, 0);
  ASSERT_EQ(GetMenuItemCount(sub), 3);
  EXPECT_EQ(GetMenuItemID(sub, 2), static_cast<UINT>(quit->Command()));
  SendMessageA(form.Handle(), WM_COMMAND, MAKEWPARAM(quit->Command(), 0), 0);
  ASSERT_EQ(clicked.size(), 1u);
  EXPECT_EQ(clicked[0], quit);
  // A change builds the bar again; the window shows the new one.
  open->SetEnabled(false);
  bar = GetMenu(form.Handle());
  EXPECT_EQ(bar, menu->Handle());
  EXPECT_TRUE(GetMenuState(GetSubMenu(bar, 0), open->Command(), MF_BYCOMMAND) & MF_GRAYED);
  char text[16];
  GetMenuStringA(GetSubMenu(bar, 0), 0, text, sizeof text, MF_BYPOSITION);
  EXPECT_STREQ(text, "Open");
  EXPECT_THROW(file->Add(open), EInvalidOperation);
  // A popup menu with no input to choose from ends choosing nothing.
  TPopupMenu popup(nullptr);
  bool popped = false;
  popup.OnPopup = [&](TObject*) { popped = true; };
  auto* item = new TMenuItem(nullptr);
  item->SetCaption("Copy");
  popup.Items()->Add(item);
  popup.Popup(10, 10);
  EXPECT_TRUE(popped);
  EXPECT_EQ(clicked.size(), 1u);
  // Freeing the menu takes it off the form.
  delete menu;
  EXPECT_EQ(form.Menu(), nullptr);
  EXPECT_EQ(GetMenu(form.Handle()), nullptr);
}

// A popup menu's owner-drawn items reach their events through the application's window,
// which owns the popups; items without events stay the system's.
TEST_F(ControlsTest, OwnerDrawnPopupItemsAreMeasuredAndDrawnByTheirEvents) {
  TForm form(nullptr);  // the keys reach the menu through an active window
  form.Show();
  KvPumpMessages();
  TPopupMenu popup(nullptr);
  auto* drawn = new TMenuItem(nullptr);
  drawn->SetCaption("Drawn");
  std::vector<bool> selected;
  int measured = 0;
  drawn->OnMeasureItem = [&](TObject* Sender, TCanvas*, int& W, int& H) {
    EXPECT_EQ(Sender, drawn);
    ++measured;
    W = 120;
    H = 30;
  };
  drawn->OnDrawItem = [&](TObject*, TCanvas* Canvas, const TRect& R, bool Selected) {
    EXPECT_NE(Canvas->Handle(), nullptr);
    EXPECT_EQ(R.bottom - R.top, 30);
    selected.push_back(Selected);
  };
  popup.Items()->Add(drawn);
  auto* system = new TMenuItem(nullptr);
  system->SetCaption("System");
  popup.Items()->Add(system);
  int chosen = 0;
  drawn->OnClick = [&](TObject*) { ++chosen; };
  for (int vk : {VK_DOWN, VK_RETURN}) {
    KvInjectKey(vk, TRUE);
    KvInjectKey(vk, FALSE);
  }
  popup.Popup(10, 10);
  EXPECT_EQ(TPopupMenu::Tracking(), nullptr);
  EXPECT_GT(measured, 0);
  const int measuredWhileShown = measured;
  ASSERT_FALSE(selected.empty());
  EXPECT_FALSE(selected.front());
  EXPECT_TRUE(selected.back());
  EXPECT_EQ(chosen, 1);
  // Outside a popup's tracking the application's window passes the messages on.
  MEASUREITEMSTRUCT mis{};
  mis.CtlType = ODT_MENU;
  mis.itemID = drawn->Command();
  EXPECT_EQ(SendMessageA(Application->Handle(), WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&mis)), 0);
  EXPECT_EQ(measured, measuredWhileShown);
}

// ANSI item strings pass through the framework's own window classes (CallWindowProcA into
// the platform's list procedures) and are converted there.
TEST_F(ControlsTest, ItemListsFollowTheirWindowsAndSurviveRecreation) {
  TForm form(nullptr);
  auto* combo = new TComboBox(&form);
  combo->SetParent(&form);
  combo->Items()->Add("one");
  combo->Items()->Add("two");
  combo->SetItemIndex(1);
  auto* list = new TListBox(&form);
  list->SetParent(&form);
  list->Items()->Add("a");
  form.Show();
  EXPECT_EQ(SendMessageA(combo->Handle(), CB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(combo->ItemIndex(), 1);
  EXPECT_EQ(combo->Text(), "two");
  combo->Items()->Insert(0, "zero");
  char text[16];
  SendMessageA(combo->Handle(), CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "zero");
  int changes = 0;
  combo->OnChange = [&](TObject*) { ++changes; };
  combo->RecreateWnd();
  EXPECT_EQ(SendMessageA(combo->Handle(), CB_GETCOUNT, 0, 0), 3);
  EXPECT_EQ(combo->ItemIndex(), 2);
  EXPECT_THROW(combo->Items()->Delete(3), EStringListError);
  combo->SetItemIndex(7);  // out of range: nothing selected
  EXPECT_EQ(combo->ItemIndex(), -1);
  EXPECT_EQ(SendMessageA(list->Handle(), LB_GETCOUNT, 0, 0), 1);
  list->Items()->Clear();
  EXPECT_EQ(SendMessageA(list->Handle(), LB_GETCOUNT, 0, 0), 0);
}

// The dropped list is as tall as DropDownCount items at most (one at least).
TEST_F(ControlsTest, ComboListDropsForDropDownCountItems) {
  TForm form(nullptr);
  auto* combo = new TComboBox(&form);
  combo->SetParent(&form);
  form.Show();
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(combo->Handle(), &info));
  const int item = combo->ItemHeight();
  ASSERT_GT(item, 0);
  struct Case {
    int items, count, shown;
  } cases[] = {{0, 8, 1}, {3, 8, 3}, {12, 8, 8}, {12, 5, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.items << " items, DropDownCount " << c.count);
    combo->Items()->Clear();
    for (int i = 0; i < c.items; ++i) combo->Items()->Add("item " + IntToStr(i));
    combo->DropDownCount = c.count;
    combo->SetDroppedDown(true);
    RECT list{};
    GetWindowRect(info.hwndList, &list);
    EXPECT_EQ(list.bottom - list.top, item * c.shown + 2);
    combo->SetDroppedDown(false);
    EXPECT_EQ(combo->Height(), 24) << "the combo itself stays one line";
  }
}

// csOwnerDrawFixed: a drop-down list whose items, and its selection field, DrawItem draws
// on the combo's canvas (OnDrawItem when set, else the text on the selection colour).
TEST_F(ControlsTest, OwnerDrawnComboDrawsItsItemsThroughDrawItem) {
  TForm form(nullptr);
  auto* combo = new TComboBox(&form);
  combo->SetParent(&form);
  combo->SetStyle(csOwnerDrawFixed);
  combo->SetItemHeight(20);
  for (const char* s : {"one", "two", "three"}) combo->Items()->Add(s);
  form.Show();
  EXPECT_EQ(GetWindowLongA(combo->Handle(), GWL_STYLE) & 0x3, CBS_DROPDOWNLIST);
  EXPECT_EQ(SendMessageA(combo->Handle(), CB_GETITEMHEIGHT, 0, 0), 20);
  combo->SetItemIndex(1);
  struct Drawn {
    int index;
    TRect rect;
    TOwnerDrawState state;
  };
  std::vector<Drawn> drawn;
  combo->OnDrawItem = [&](TWinControl* control, int index, const TRect& rect, TOwnerDrawState state) {
    EXPECT_EQ(control, combo);
    EXPECT_TRUE(combo->Canvas()->HandleAllocated()) << "the canvas draws on the item's DC";
    drawn.push_back({index, rect, state});
  };
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(combo->Handle(), &info));
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateBitmap(200, 100, 1, 32, nullptr);
  HGDIOBJ old = SelectObject(dc, bmp);
  combo->SetDroppedDown(true);
  SendMessageA(info.hwndList, WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
  ASSERT_EQ(drawn.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(drawn[i].index, i);
    EXPECT_EQ(drawn[i].rect.top, 20 * i);
    EXPECT_EQ(drawn[i].state.Contains(odSelected), i == 1);
    EXPECT_FALSE(drawn[i].state.Contains(odComboBoxEdit));
  }
  combo->SetDroppedDown(false);
  drawn.clear();
  combo->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
  ASSERT_EQ(drawn.size(), 1u);
  EXPECT_EQ(drawn[0].index, 1);
  EXPECT_TRUE(drawn[0].state.Contains(odComboBoxEdit));
  EXPECT_FALSE(combo->Canvas()->HandleAllocated()) << "the DC is the item's only while it is drawn";

  // Without a handler the item's text is drawn on the selection colour.
  combo->OnDrawItem = nullptr;
  combo->SetDroppedDown(true);
  SendMessageA(info.hwndList, WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
  combo->SetDroppedDown(false);
  EXPECT_EQ(GetPixel(dc, 120, 20 + 10), ColorToRGB(clHighlight));
  EXPECT_EQ(GetPixel(dc, 120, 10), ColorToRGB(clWindow));
  SelectObject(dc, old);
  DeleteObject(bmp);
  DeleteDC(dc);
}

TEST_F(ControlsTest, ListViewReportShowsColumnsAndItemsWithAHeader) {
  TForm form(nullptr);
  auto* lv = new TListView(&form);
  lv->SetParent(&form);
  lv->SetViewStyle(vsReport);
  lv->Columns()->Add()->SetCaption("Name");
  TListColumn* size = lv->Columns()->Add();
  size->SetCaption("Size");
  size->SetAlignment(taRightJustify);
  TListItem* a = lv->Items()->Add();
  a->SetCaption("a.txt");
  a->SubItems()->Add("12");
  a->Update();
  lv->Items()->Add()->SetCaption("b.txt");
  form.Show();
  HWND h = lv->Handle();
  EXPECT_TRUE(GetWindowLongA(h, GWL_STYLE) & LVS_REPORT);
  EXPECT_EQ(SendMessageA(h, LVM_GETITEMCOUNT, 0, 0), 2);
  HWND header = reinterpret_cast<HWND>(SendMessageA(h, LVM_GETHEADER, 0, 0));
  ASSERT_TRUE(header);
  char cls[32];
  GetClassNameA(header, cls, sizeof cls);
  EXPECT_STREQ(cls, "SysHeader32");
  EXPECT_EQ(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0), 2);
  char text[16] = {};
  LVITEMA it{};
  it.iSubItem = 1;
  it.pszText = text;
  it.cchTextMax = sizeof text;
  SendMessageA(h, LVM_GETITEMTEXTA, 0, reinterpret_cast<LPARAM>(&it));
  EXPECT_STREQ(text, "12");
  EXPECT_EQ(lv->Selected(), nullptr);
  lv->Items()->Item(1)->SetSelected(true);
  EXPECT_EQ(lv->Selected(), lv->Items()->Item(1));
  // The selection and the items survive a new window.
  lv->SetGridLines(true);
  EXPECT_EQ(SendMessageA(lv->Handle(), LVM_GETITEMCOUNT, 0, 0), 2);
  EXPECT_EQ(lv->Selected(), lv->Items()->Item(1));
  EXPECT_THROW(lv->Items()->Item(2), EListError);
  LVCOLUMNA col{};
  col.mask = LVCF_FMT;
  SendMessageA(lv->Handle(), LVM_GETCOLUMNA, 1, reinterpret_cast<LPARAM>(&col));
  EXPECT_EQ(col.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_RIGHT);
  // Where an item is: its rows, a column on it, and the item at a point.
  TRect row = a->DisplayRect(drBounds), cell = a->SubItemRect(1);
  EXPECT_EQ(cell.top, row.top);
  EXPECT_EQ(cell.left, lv->Columns()->Items(0)->Width());
  EXPECT_EQ(cell.right - cell.left, size->Width());
  EXPECT_THROW(a->SubItemRect(5), EListError);
  EXPECT_EQ(lv->GetItemAt(cell.left + 2, cell.top + 2), a);
  TRect second = lv->Items()->Item(1)->DisplayRect(drLabel);
  EXPECT_EQ(lv->GetItemAt(second.left + 2, second.bottom - 2), lv->Items()->Item(1));
  EXPECT_EQ(lv->GetItemAt(5, second.bottom + 40), nullptr);
  // A right click on the list shows its popup menu (no input to choose: nothing chosen).
  TPopupMenu menu(nullptr);
  int popped = 0;
  menu.OnPopup = [&](TObject*) { ++popped; };
  lv->PopupMenu = &menu;
  RECT r;
  GetWindowRect(lv->Handle(), &r);
  KvInjectMouseMove(r.left + 20, r.top + 40);
  KvInjectMouseButton(VK_RBUTTON, TRUE);
  KvInjectMouseButton(VK_RBUTTON, FALSE);
  Application->ProcessMessages();
  EXPECT_EQ(popped, 1);
  lv->PopupMenu = nullptr;
}

TEST_F(ControlsTest, ToolBarLaysOutItsButtonsAndRaisesItsCustomDrawEvents) {
  TForm form(nullptr);
  form.SetClientSize(300, 200);
  auto* bar = new TToolBar(&form);
  bar->SetParent(&form);
  TToolButton* buttons[3];
  int clicks = 0;
  for (auto*& b : buttons) {
    b = new TToolButton(&form);
    b->SetParent(bar);
    b->OnClick = [&](TObject*) { ++clicks; };
  }
  buttons[1]->SetStyle(tbsSeparator);
  EXPECT_EQ(bar->BoundsRect(), Rect(0, 0, 300, 29));
  EXPECT_EQ(buttons[0]->BoundsRect(), Rect(0, 0, 23, 22));
  EXPECT_EQ(buttons[2]->Left(), 23 + 8);
  // The skin engine's way in: published "Flat" written as text, draw events assigned.
  SetPropValue(bar, "Flat", "True");
  EXPECT_TRUE(bar->Flat());
  int background = 0, drawn = 0;
  bar->OnCustomDraw = [&](TToolBar*, const TRect&, bool& def) {
    ++background;
    def = false;
  };
  bar->OnCustomDrawButton = [&](TToolBar*, TToolButton*, TCustomDrawState, bool&) { ++drawn; };
  form.Show();
  UpdateWindow(bar->Handle());
  EXPECT_GE(background, 1);
  EXPECT_GE(drawn, 3);
  EXPECT_TRUE(GetWindowLongA(bar->Handle(), GWL_STYLE) & TBSTYLE_FLAT);
  RECT r;
  GetWindowRect(bar->Handle(), &r);
  KvInjectClick(r.left + buttons[2]->Left() + 5, r.top + 5);
  Application->ProcessMessages();
  EXPECT_EQ(clicks, 1);
}

TEST_F(ControlsTest, IdleTimeTellsControlsWhenThePointerComesAndGoes) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 300, 200);
  auto* speed = new TSpeedButton(&form);
  speed->SetParent(&form);
  speed->SetBounds(10, 10, 40, 22);
  speed->SetFlat(true);
  auto* panel = new TPanel(&form);
  panel->SetParent(&form);
  panel->SetBounds(100, 10, 80, 40);
  std::vector<std::pair<TControl*, UINT>> seen;
  for (TControl* c : std::vector<TControl*>{speed, panel}) {
    TWndMethod old = c->WindowProc;
    c->WindowProc = [c, old, &seen](TMessage& m) {
      if (m.Msg == CM_MOUSEENTER || m.Msg == CM_MOUSELEAVE) seen.emplace_back(c, m.Msg);
      old(m);
    };
  }
  form.Show();
  auto move_to = [&](TControl* c) {
    TPoint p = c->ClientToScreen(Point(5, 5));
    KvInjectMouseMove(p.x, p.y);
    Application->ProcessMessages();
    Application->HandleMessage();  // idle time
  };
  move_to(speed);
  EXPECT_TRUE(speed->MouseInControl());
  move_to(panel);
  EXPECT_FALSE(speed->MouseInControl());
  std::vector<std::pair<TControl*, UINT>> want = {
      {speed, CM_MOUSEENTER}, {speed, CM_MOUSELEAVE}, {panel, CM_MOUSEENTER}};
  EXPECT_EQ(seen, want);
  EXPECT_EQ(Application->MouseControl(), panel);
  delete panel;
  EXPECT_EQ(Application->MouseControl(), nullptr);
}

TEST_F(ControlsTest, TabOrderMovesTheFocusAndGraphicControlsPaintOnTheirParent) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 300, 200);
  TEdit* edits[3];
  for (int i = 0; i < 3; ++i) {
    edits[i] = new TEdit(&form);
    edits[i]->SetParent(&form);
    edits[i]->SetBounds(10, 10 + 30 * i, 100, 21);
  }
  edits[2]->SetTabOrder(0);
  std::vector<TWinControl*> order;
  form.GetTabOrderList(order);
  ASSERT_EQ(order.size(), 3u);
  EXPECT_EQ(order[0], edits[2]);
  EXPECT_EQ(order[1], edits[0]);
  EXPECT_EQ(edits[1]->TabOrder(), 2);
  auto* label = new TLabel(&form);
  label->SetParent(&form);
  label->SetAutoSize(false);
  label->SetBounds(150, 10, 60, 20);
  label->SetColor(clRed);
  form.Show();
  edits[2]->SetFocus();
  KvPumpMessages();
  KvInjectKey(VK_TAB, TRUE);
  KvInjectKey(VK_TAB, FALSE);
  Application->ProcessMessages();
  EXPECT_EQ(GetFocus(), edits[0]->Handle());
  EXPECT_EQ(form.ActiveControl(), edits[0]);
  POINT p{155, 15};
  MapWindowPoints(form.Handle(), nullptr, &p, 1);
  RECT wr;
  GetWindowRect(form.Handle(), &wr);
  EXPECT_EQ(KvWindowGetPixel(form.Handle(), p.x - wr.left, p.y - wr.top), ColorToRGB(clRed));
}

TEST_F(ControlsTest, ApplicationWindowIsHiddenAndItsHooksSeeItsMessagesFirst) {
  Application->SetTitle("Korvane");
  Application->Initialize();
  HWND h = Application->Handle();
  ASSERT_TRUE(h);
  EXPECT_FALSE(IsWindowVisible(h));
  char text[32], cls[32];
  GetWindowTextA(h, text, sizeof text);
  EXPECT_STREQ(text, "Korvane");
  GetClassNameA(h, cls, sizeof cls);
  EXPECT_STREQ(cls, "TApplication");
  std::vector<UINT> hooked;
  int hook = Application->HookMainWindow([&](TMessage& m) {
    hooked.push_back(m.Msg);
    if (m.Msg == WM_USER + 1) {
      m.Result = 7;
      return true;
    }
    return false;
  });
  EXPECT_EQ(SendMessageA(h, WM_USER + 1, 0, 0), 7);
  SendMessageA(h, WM_USER + 2, 0, 0);
  EXPECT_EQ(hooked, (std::vector<UINT>{WM_USER + 1, WM_USER + 2}));
  // Forms are owned by the application window. The thread's activation comes to the
  // hooks and to OnActivate / OnDeactivate as CM_ACTIVATE / CM_DEACTIVATE.
  TForm form(nullptr);
  EXPECT_EQ(GetWindow(form.Handle(), GW_OWNER), h);
  std::vector<std::string> events;
  Application->OnActivate = [&](TObject*) { events.push_back("activate"); };
  Application->OnDeactivate = [&](TObject*) { events.push_back("deactivate"); };
  hooked.clear();
  form.Show();
  Application->ProcessMessages();
  SetActiveWindow(nullptr);
  Application->ProcessMessages();
  EXPECT_EQ(events, (std::vector<std::string>{"activate", "deactivate"}));
  EXPECT_NE(std::find(hooked.begin(), hooked.end(), CM_ACTIVATE), hooked.end());
  Application->UnhookMainWindow(hook);
  EXPECT_EQ(SendMessageA(h, WM_USER + 1, 0, 0), 0);
  Application->OnActivate = nullptr;
  Application->OnDeactivate = nullptr;
}

TEST_F(ControlsTest, SpeedButtonGroupsSplitterDragAndImageList) {
  TForm form(nullptr);
  form.SetClientSize(300, 200);
  TSpeedButton* group[2];
  int clicks = 0;
  for (int i = 0; i < 2; ++i) {
    group[i] = new TSpeedButton(&form);
    group[i]->SetParent(&form);
    group[i]->SetBounds(200 + 30 * i, 10, 23, 22);
    group[i]->SetGroupIndex(1);
    group[i]->OnClick = [&](TObject*) { ++clicks; };
  }
  auto* left = new TPanel(&form);
  left->SetParent(&form);
  left->SetWidth(100);
  left->SetAlign(alLeft);
  auto* split = new TSplitter(&form);
  split->SetParent(&form);
  split->SetLeft(100);
  form.Show();
  auto click_at = [&](TControl* c, int dx, int dy) {
    TPoint p = c->ClientToScreen(Point(dx, dy));
    KvInjectClick(p.x, p.y);
    Application->ProcessMessages();
  };
  click_at(group[0], 5, 5);
  EXPECT_TRUE(group[0]->Down());
  click_at(group[1], 5, 5);
  EXPECT_FALSE(group[0]->Down());
  EXPECT_TRUE(group[1]->Down());
  click_at(group[1], 5, 5);  // without AllowAllUp the pressed one stays down
  EXPECT_TRUE(group[1]->Down());
  EXPECT_EQ(clicks, 3);
  // Dragging the splitter 40 pixels right widens the panel before it; never below MinSize.
  EXPECT_EQ(split->Left(), 100);
  TPoint p = split->ClientToScreen(Point(1, 50));
  KvInjectMouseMove(p.x, p.y);
  KvInjectMouseButton(VK_LBUTTON, TRUE);
  KvInjectMouseMove(p.x + 40, p.y);
  KvInjectMouseButton(VK_LBUTTON, FALSE);
  Application->ProcessMessages();
  EXPECT_EQ(left->Width(), 140);
  EXPECT_EQ(split->Left(), 140);
  p = split->ClientToScreen(Point(1, 50));
  KvInjectMouseMove(p.x, p.y);
  KvInjectMouseButton(VK_LBUTTON, TRUE);
  KvInjectMouseMove(p.x - 200, p.y);
  KvInjectMouseButton(VK_LBUTTON, FALSE);
  Application->ProcessMessages();
  EXPECT_EQ(left->Width(), split->MinSize);

  TImageList images(nullptr);
  images.SetSize(8, 8);
  TBitmap red;
  red.SetSize(4, 4);
  red.Canvas()->Brush()->SetColor(clRed);
  red.Canvas()->FillRect(Rect(0, 0, 4, 4));
  EXPECT_EQ(images.Add(&red), 0);
  TBitmap got;
  images.GetBitmap(0, &got);
  EXPECT_EQ(got.Width(), 8);
  EXPECT_EQ(got.Canvas()->Pixels(7, 7), clRed);
  TBitmap target;
  target.SetSize(10, 10);
  images.Draw(target.Canvas(), 1, 1, 0);
  EXPECT_EQ(target.Canvas()->Pixels(8, 8), clRed);
  EXPECT_THROW(images.Draw(target.Canvas(), 0, 0, 1), EListError);
  images.SetSize(16, 16);
  EXPECT_EQ(images.Count(), 0);
  // The platform list behind it can be handed to controls, or taken over from elsewhere;
  // a shared one outlives the component.
  EXPECT_EQ(ImageList_GetImageCount(images.Handle()), 0);
  HIMAGELIST system = ImageList_Create(12, 10, ILC_COLOR32 | ILC_MASK, 1, 1);
  {
    TImageList shared(nullptr);
    shared.ShareImages = true;
    shared.SetHandle(system);
    EXPECT_EQ(shared.Width(), 12);
    EXPECT_EQ(shared.Height(), 10);
    EXPECT_EQ(shared.Add(&red), 0);
    EXPECT_THROW(shared.SetHandle(reinterpret_cast<HIMAGELIST>(0x1234)), EInvalidOperation);
  }
  EXPECT_EQ(ImageList_GetImageCount(system), 1);
  EXPECT_TRUE(ImageList_Destroy(system));
}

TEST_F(ControlsTest, PublishedPropertiesAreReadAndWrittenByName) {
  TestForm form(nullptr);
  EXPECT_EQ(GetPropValue(form.Button1, "Caption"), "Press");
  EXPECT_EQ(GetPropValue(form.Button1, "default"), "false");
  SetPropValue(form.Button1, "Default", "True");
  EXPECT_TRUE(form.Button1->Default());
  EXPECT_EQ(GetPropValue(&form, "BorderStyle"), "bssizeable");
  SetPropValue(&form, "BorderStyle", "BSDIALOG");
  EXPECT_EQ(form.BorderStyle(), bsDialog);
  EXPECT_EQ(GetPropValue(form.StatusBar1, "Align"), "albottom");
  SetPropValue(form.Edit1, "Left", " 40");
  EXPECT_EQ(form.Edit1->Left(), 40);
  EXPECT_EQ(GetObjectProp(form.Edit1, "Font"), form.Edit1->Font());
  SetSetProp(form.Edit1->Font(), "Style", "[fsBold, fsItalic]");
  EXPECT_EQ(GetSetProp(form.Edit1->Font(), "Style"), "[fsbold,fsitalic]");
  SetPropValue(form.Edit1->Font(), "Style", "[]");
  EXPECT_TRUE(form.Edit1->Font()->Style().Empty());
  // A derived class's table comes before its base's (TButton's ModalResult is its own).
  SetPropValue(form.Button1, "ModalResult", "2");
  EXPECT_EQ(form.Button1->ModalResult(), mrCancel);
  EXPECT_EQ(form.ModalResult(), mrNone);
  EXPECT_FALSE(IsPublishedProp(form.Button1, "Glyph"));

  struct Case {
    TObject* object;
    const char* name;
    const char* value;
  };
  const Case bad[] = {
      {form.Button1, "Glyph", "x"},        // unknown
      {form.Button1, "Default", "maybe"},  // not a value of the enumeration
      {form.Edit1, "Left", "12px"},        // not a number
      {form.Edit1, "Left", "4294967296"},  // beyond 32 bits
      {form.Edit1->Font(), "Style", "[fsBold,,fsItalic]"},
      {form.Edit1->Font(), "Style", "[fsHuge]"},
      {form.StatusBar1, "Panels", "x"},  // an object, not text
      {form.Combo1, "Items", "x"},
  };
  for (const Case& c : bad) EXPECT_ANY_THROW(SetPropValue(c.object, c.name, c.value)) << c.name << "=" << c.value;
  EXPECT_THROW(GetPropValue(form.Button1, "Glyph"), EPropertyError);
  EXPECT_THROW(SetPropValue(form.Button1, "Default", "maybe"), EPropertyConvertError);
  EXPECT_THROW(SetOrdProp(&form, "BorderStyle", 6), EPropertyConvertError);
  EXPECT_THROW(SetOrdProp(form.Edit1->Font(), "Style", 16), EPropertyConvertError);
  SetOrdProp(&form, "BorderStyle", bsNone);
  EXPECT_EQ(form.BorderStyle(), bsNone);
}

TEST_F(ControlsTest, MessageDialogsAreRecordedAndAnsweredFromTheScript) {
  Application->SetTitle("App");
  ShowMessage("Saved");
  KvMessageBoxScriptPush(IDNO);
  EXPECT_EQ(MessageDlg("Quit?", mtConfirmation, {mbYes, mbNo}), mrNo);
  EXPECT_EQ(MessageDlg("Broken", mtError, {mbOK}), mrOk);
  EXPECT_THROW(MessageDlg("?", mtWarning, {mbYes, mbAll}), EInvalidOperation);
  ASSERT_EQ(KvMessageBoxLogCount(), 3u);
  KVMSGBOXRECORD r;
  KvMessageBoxLogGet(0, &r);
  EXPECT_STREQ(r.text, "Saved");
  EXPECT_STREQ(r.caption, "App");
  EXPECT_EQ(r.type, static_cast<UINT>(MB_OK));
  KvMessageBoxLogGet(1, &r);
  EXPECT_STREQ(r.caption, "Confirm");
  EXPECT_EQ(r.type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
  KvMessageBoxLogGet(2, &r);
  EXPECT_EQ(r.type, static_cast<UINT>(MB_OK | MB_ICONERROR));
}

TEST_F(ControlsTest, FileDialogsAreAnsweredByTheInputScript) {
  kvtest::TempHome home;
  TSaveDialog save(nullptr);
  save.InitialDir = home.path();
  save.DefaultExt = "txt";
  save.Options << ofOverwritePrompt;
  // No input: the dialog cancels and keeps FileName.
  save.FileName = "keep";
  EXPECT_FALSE(save.Execute());
  EXPECT_EQ(save.FileName, "keep");
  // Typed name and Enter: accepted, completed with folder and extension.
  auto type = [](const char* text) {
    for (const char* p = text; *p; ++p) KvInjectChar(static_cast<WCHAR>(*p));
    KvInjectKey(VK_RETURN, TRUE);
    KvInjectKey(VK_RETURN, FALSE);
  };
  save.FileName = "";
  save.OnShow = [&](TObject*) { type("report"); };
  EXPECT_TRUE(save.Execute());
  EXPECT_EQ(save.FileName, home.path() + "/report.txt");
  // An existing file asks before it is replaced; No keeps the dialog open (then no input: cancelled).
  std::ofstream(home.path() + "/report.txt") << "x";
  KvMessageBoxScriptPush(IDNO);
  save.FileName = "";
  EXPECT_FALSE(save.Execute());
  ASSERT_EQ(KvMessageBoxLogCount(), 1u);
  KVMSGBOXRECORD r;
  KvMessageBoxLogGet(0, &r);
  EXPECT_EQ(r.type, static_cast<UINT>(MB_YESNO | MB_ICONWARNING));
  TOpenDialog open(nullptr);
  open.Options << ofFileMustExist;
  open.OnShow = [&](TObject*) { type((home.path() + "/missing.txt").c_str()); };
  EXPECT_FALSE(open.Execute());
  EXPECT_EQ(KvMessageBoxLogCount(), 2u);
}

TEST_F(ControlsTest, ExceptionsInHandlersAreReportedNotPropagated) {
  Application->SetTitle("App");
  TestForm* form;
  Application->CreateForm(form);
  form->Button1->OnClick = [](TObject*) { throw EConvertError("'x' is not a valid integer value"); };
  form->Show();
  SendMessageA(form->Button1->Handle(), BM_CLICK, 0, 0);
  ASSERT_EQ(KvMessageBoxLogCount(), 1u);
  KVMSGBOXRECORD r;
  KvMessageBoxLogGet(0, &r);
  EXPECT_STREQ(r.text, "'x' is not a valid integer value.");
  EXPECT_STREQ(r.caption, "App");
  EXPECT_EQ(r.type, static_cast<UINT>(MB_OK | MB_ICONSTOP));

  // One in OnCreate too: the form is still created and stays the main form.
  Application->ResetState();
  Application->SetTitle("App");
  KvMessageBoxLogClear();
  struct FailingForm : TForm {
    explicit FailingForm(TComponent* owner) : TForm(owner) {
      OnCreate = [](TObject*) { throw Exception("no configuration"); };
    }
  };
  FailingForm* failing = nullptr;
  Application->CreateForm(failing);
  ASSERT_TRUE(failing);
  EXPECT_EQ(Application->MainForm(), failing);
  ASSERT_EQ(KvMessageBoxLogCount(), 1u);
  KvMessageBoxLogGet(0, &r);
  EXPECT_STREQ(r.text, "no configuration.");
}

}  // namespace
