// An MDI frame and its children skinned: the children get skinners of their own, a maximised
// child's caption buttons sit on the frame's menu bar and act on it, tiling ends the
// maximised-child mode, and xoMDIChildBorder keeps a child's standard frame.
#include <gtest/gtest.h>

#include "framework/controls/forms.h"
#include "framework/controls/menus.h"
#include "platform/base/time.h"
#include "platform/user/testing.h"
#include "skin/skin_form.h"
#include "skin/skin_manager.h"
#include "skin/skin_paint.h"
#include "testsupport/spy_filters.h"
#include "skin/tests/skinned_desktop.h"

namespace {

class SkinMdiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    data = skintest::StartSkinnedDesktop();
    ASSERT_NE(data, nullptr);
  }
  void TearDown() override {
    for (TForm* f : children) delete f;
    delete main;
    skintest::EndSkinnedDesktop(data);
  }
  void MakeMain() {
    main = new TForm(nullptr);
    main->SetFormStyle(fsMDIForm);
    main->SetCaption("Main");
    main->SetBounds(50, 40, 600, 450);
    auto* menu = new TMainMenu(main);
    auto* file = new TMenuItem(menu);
    file->SetCaption("&File");
    menu->Items()->Add(file);
    main->SetMenu(menu);
    Application->SetMainForm(main);
    main->Show();
    KvPumpMessages();
  }
  TForm* MakeChild(const char* caption) {
    auto* f = new TForm(nullptr);
    f->SetFormStyle(fsMDIChild);
    f->SetCaption(caption);
    f->SetBounds(0, 0, 250, 180);
    f->OnClose = [this](TObject*, TCloseAction&) { ++closes; };
    children.push_back(f);
    f->Show();
    KvPumpMessages();
    return f;
  }
  TWinSkinForm* Skinner(TForm* f) { return TSkinManage::Instance()->FindSkinned(f->Handle()); }
  TWinSysButton* Button(TWinSkinForm* s, int action) {
    for (auto& b : s->SysButtons)
      if (b->Element->Action == action) return b.get();
    return nullptr;
  }
  POINT Centre(TWinSkinForm* s, TWinSysButton* b) {
    RECT w;
    GetWindowRect(s->Wnd, &w);
    return POINT{w.left + (b->Rect.left + b->Rect.right) / 2, w.top + (b->Rect.top + b->Rect.bottom) / 2};
  }
  void Maximize(TForm* f) {
    SendMessageA(f->Handle(), WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    KvPumpMessages();
    RedrawWindow(main->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    KvPumpMessages();
  }

  TSkinData* data = nullptr;
  TForm* main = nullptr;
  std::vector<TForm*> children;
  int closes = 0;
};

TEST_F(SkinMdiTest, MaximisedChildsButtonsOnTheFramesMenuBarRestoreAndClose) {
  MakeMain();
  TForm* a = MakeChild("A");
  TForm* b = MakeChild("B");
  TWinSkinForm* frame = Skinner(main);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->MDIKind, 1);
  EXPECT_EQ(frame->MDIClientWnd, main->ClientHandle());
  EXPECT_EQ(TSkinManage::Instance()->MDIClient, main->ClientHandle());
  for (TForm* f : {a, b}) {
    TWinSkinForm* s = Skinner(f);
    ASSERT_NE(s, nullptr) << f->Caption();
    EXPECT_EQ(s->MDIKind, 2);
    EXPECT_TRUE(s->FrameSkinned);
    EXPECT_EQ(s->Form, f);
  }
  // Not maximised: the MDI buttons do not show.
  for (int action : {7, 8, 9}) {
    ASSERT_NE(Button(frame, action), nullptr) << action;
    EXPECT_FALSE(Button(frame, action)->Visible) << action;
  }

  Maximize(b);
  ASSERT_TRUE(IsZoomed(b->Handle()));
  EXPECT_TRUE(TSkinManage::Instance()->MaxChildMode());
  for (int action : {7, 8, 9}) {
    TWinSysButton* button = Button(frame, action);
    EXPECT_TRUE(button->Visible) << action;
    // In the menu row, drawn in its first frame.
    EXPECT_GE(button->Rect.top, frame->TopHeight) << action;
    EXPECT_LE(button->Rect.bottom, frame->TopHeight + frame->MenuHeight) << action;
    TBitmap* image = button->Element->Map.get();
    const int w = image->Width() / button->Element->Frames(), h = image->Height();
    for (int x : {w / 2 - 1, w / 2 + 1}) {
      const COLORREF want = static_cast<COLORREF>(image->Canvas()->Pixels(x, h / 2));
      if (want == static_cast<COLORREF>(kSkinMagenta)) continue;
      EXPECT_EQ(KvWindowGetPixel(main->Handle(), button->Rect.left + x, button->Rect.top + h / 2), want) << action;
    }
  }
  // Restore through the frame's button.
  POINT p = Centre(frame, Button(frame, 8));
  KvInjectClick(p.x, p.y);
  KvPumpMessages();
  EXPECT_FALSE(IsZoomed(b->Handle()));
  EXPECT_FALSE(TSkinManage::Instance()->MaxChildMode());
  // Maximised again, closed through the frame's button.
  Maximize(b);
  ASSERT_TRUE(Button(frame, 9)->Visible);
  p = Centre(frame, Button(frame, 9));
  KvInjectClick(p.x, p.y);
  KvPumpMessages();
  EXPECT_EQ(closes, 1);

  // Tiling switches the maximised-child mode off.
  Maximize(a);
  ASSERT_TRUE(IsZoomed(a->Handle()));
  EXPECT_TRUE(TSkinManage::Instance()->MaxChildMode());
  main->Tile();
  KvPumpMessages();
  EXPECT_FALSE(IsZoomed(a->Handle()));
  EXPECT_FALSE(TSkinManage::Instance()->MaxChildMode());
  Maximize(a);
  main->Cascade();
  KvPumpMessages();
  EXPECT_FALSE(TSkinManage::Instance()->MaxChildMode());
}

// A caption change of a maximised window: an MDI child has its client redrawn (0x3516);
// any other window has no client for it and repaints its own caption.
TEST_F(SkinMdiTest, MaximisedCaptionChangeRedrawsTheClientOfAnMdiChildOnly) {
  MakeMain();
  TForm* a = MakeChild("A");
  Maximize(a);
  ASSERT_TRUE(IsZoomed(a->Handle()));
  auto redraws = [] { return kvtest::SpyOnly({kRedrawClientMsg}, KV_SPY_POSTED); };
  KvSpyStart(nullptr);
  a->SetCaption("Renamed");
  KvPumpMessages();
  auto got = redraws();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].hwnd, main->ClientHandle());
  EXPECT_EQ(reinterpret_cast<HWND>(got[0].wParam), a->Handle());
  char text[64] = {};
  GetWindowTextA(main->Handle(), text, sizeof text);
  EXPECT_STREQ(text, "Main - [Renamed]");

  // The frame itself, maximised (a window that is no MDI child): nothing is posted.
  SendMessageA(main->Handle(), WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  KvPumpMessages();
  ASSERT_TRUE(IsZoomed(main->Handle()));
  KvSpyClear();
  main->SetCaption("Other");
  KvPumpMessages();
  EXPECT_TRUE(redraws().empty());
  KvSpyStop();
  GetWindowTextA(main->Handle(), text, sizeof text);
  EXPECT_STREQ(text, "Other - [Renamed]");
}

TEST_F(SkinMdiTest, ChildBorderOptionKeepsTheStandardFrame) {
  data->Options << xoMDIChildBorder;
  MakeMain();
  TForm* a = MakeChild("A");
  TWinSkinForm* s = Skinner(a);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->MDIKind, 2);
  EXPECT_FALSE(s->FrameSkinned);
  // The standard frame: the window is as large as its client plus the platform's frame.
  RECT w, c;
  GetWindowRect(a->Handle(), &w);
  GetClientRect(a->Handle(), &c);
  RECT standard = c;
  AdjustWindowRectEx(&standard, static_cast<DWORD>(GetWindowLongA(a->Handle(), GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongA(a->Handle(), GWL_EXSTYLE)));
  EXPECT_EQ(w.right - w.left, standard.right - standard.left);
  EXPECT_EQ(w.bottom - w.top, standard.bottom - standard.top);
}

}  // namespace
