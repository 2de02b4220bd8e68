// MDI forms: an fsMDIForm main form with its client and fsMDIChild forms made in it.
#include <string>

#include "framework/controls/forms.h"
#include "framework/controls/tests/fixture.h"

namespace {

class MdiFormTest : public kvtest::FreshUiTest {
 protected:
  void TearDown() override {
    for (TForm* f : children) delete f;
    delete main;
    kvtest::FreshUiTest::TearDown();
  }
  void MakeMain() {
    main = new TForm(nullptr);
    main->SetFormStyle(fsMDIForm);
    main->SetCaption("Main");
    main->SetBounds(10, 10, 640, 480);
    Application->SetMainForm(main);
    main->Show();
  }
  TForm* MakeChild(const char* caption) {
    auto* f = new TForm(nullptr);
    f->SetFormStyle(fsMDIChild);
    f->SetCaption(caption);
    f->SetBounds(0, 0, 200, 150);
    children.push_back(f);
    f->Show();
    return f;
  }
  TForm* main = nullptr;
  std::vector<TForm*> children;
};

TEST_F(MdiFormTest, ChildrenAreMadeInTheMainFormsClient) {
  MakeMain();
  HWND client = main->ClientHandle();
  ASSERT_NE(client, nullptr);
  char cls[32] = {};
  GetClassNameA(client, cls, sizeof cls);
  EXPECT_STREQ(cls, "MDIClient");
  EXPECT_EQ(GetParent(client), main->Handle());
  EXPECT_EQ(main->ActiveMDIChild(), nullptr);
  EXPECT_EQ(main->MDIChildCount(), 0);

  TForm* a = MakeChild("A");
  TForm* b = MakeChild("B");
  for (TForm* f : {a, b}) {
    EXPECT_EQ(GetParent(f->Handle()), client);
    EXPECT_TRUE(GetWindowLongA(f->Handle(), GWL_EXSTYLE) & WS_EX_MDICHILD);
  }
  EXPECT_EQ(main->ActiveMDIChild(), b);
  ASSERT_EQ(main->MDIChildCount(), 2);
  EXPECT_EQ(main->MDIChildren(0), b);
  EXPECT_EQ(main->MDIChildren(1), a);
  EXPECT_THROW(main->MDIChildren(2), EListError);
  SendMessageA(client, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(a->Handle()), 0);
  EXPECT_EQ(main->ActiveMDIChild(), a);

  // The frame's size reaches the client (the frame's default procedure).
  main->SetBounds(10, 10, 700, 500);
  RECT fc, cc;
  GetClientRect(main->Handle(), &fc);
  GetWindowRect(client, &cc);
  EXPECT_EQ(cc.right - cc.left, fc.right);

  // Maximised, the child's name joins the main form's caption; tiling ends it.
  SendMessageA(a->Handle(), WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  EXPECT_TRUE(IsZoomed(a->Handle()));
  char text[64] = {};
  GetWindowTextA(main->Handle(), text, sizeof text);
  EXPECT_STREQ(text, "Main - [A]");
  main->Tile();
  EXPECT_FALSE(IsZoomed(a->Handle()));
  RECT area, ra, rb;
  GetClientRect(client, &area);
  GetWindowRect(a->Handle(), &ra);
  GetWindowRect(b->Handle(), &rb);
  EXPECT_EQ(ra.bottom - ra.top, area.bottom / 2);
  EXPECT_EQ(ra.right - ra.left, area.right);
  EXPECT_NE(ra.top, rb.top);
  main->Cascade();
  GetWindowRect(a->Handle(), &ra);
  GetWindowRect(b->Handle(), &rb);
  const int step = GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYFRAME);
  EXPECT_EQ(std::abs(rb.top - ra.top), step);

  // A child form freed leaves the client.
  children.erase(std::find(children.begin(), children.end(), a));
  delete a;
  EXPECT_EQ(main->MDIChildCount(), 1);
  EXPECT_EQ(main->ActiveMDIChild(), b);
}

TEST_F(MdiFormTest, ChildWithoutAnMdiMainFormIsRefused) {
  main = new TForm(nullptr);
  main->SetBounds(10, 10, 300, 200);
  Application->SetMainForm(main);
  main->Show();
  EXPECT_EQ(main->ClientHandle(), nullptr);
  auto* f = new TForm(nullptr);
  children.push_back(f);
  f->SetFormStyle(fsMDIChild);
  EXPECT_THROW(f->Show(), EInvalidOperation);
  // The main form made an MDI form afterwards gets its client with a new window.
  main->SetFormStyle(fsMDIForm);
  main->HandleNeeded();
  EXPECT_NE(main->ClientHandle(), nullptr);
}

}  // namespace
