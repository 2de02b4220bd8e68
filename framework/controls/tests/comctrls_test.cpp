// Tab and page controls, the track bar, the up-down and the date-time picker over their
// platform controls.
#include <gtest/gtest.h>

#include "framework/controls/comctrls.h"
#include "framework/controls/forms.h"
#include "framework/controls/stdctrls.h"
#include "framework/controls/tabs.h"
#include "framework/controls/tests/fixture.h"
#include "framework/controls/typinfo.h"
#include "platform/comctl/datetime.h"
#include "platform/comctl/tab.h"
#include "platform/user/scrollbar.h"
#include "platform/user/testing.h"

namespace {

class ComCtrlsTest : public kvtest::FreshUiTest {
 protected:
  // Clicks the middle of tab `i` of a tab control's window.
  static void ClickTab(HWND tabs, int i) {
    RECT r{};
    ASSERT_TRUE(SendMessageA(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r)));
    POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ClientToScreen(tabs, &p);
    KvInjectClick(p.x, p.y);
    KvPumpMessages();
  }
  static AnsiString TabText(HWND tabs, int i) {
    char buf[64] = {};
    TCITEMA it{};
    it.mask = TCIF_TEXT;
    it.pszText = buf;
    it.cchTextMax = sizeof buf;
    SendMessageA(tabs, TCM_GETITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&it));
    return buf;
  }
};

struct PagesForm : TForm {
  TPageControl* Pages;
  TTabSheet* Sheets[3];
  explicit PagesForm(TComponent* owner) : TForm(owner) {
    SetBounds(50, 50, 400, 300);
    Pages = new TPageControl(this);
    Pages->SetParent(this);
    Pages->SetBounds(8, 8, 360, 240);
    const char* names[] = {"General", "Hidden", "Printing"};
    for (int i = 0; i < 3; ++i) {
      Sheets[i] = new TTabSheet(this);
      Sheets[i]->SetPageControl(Pages);
      Sheets[i]->SetCaption(names[i]);
    }
    Sheets[1]->SetTabVisible(false);
  }
};

TEST_F(ComCtrlsTest, PageControlShowsThePageOfTheClickedTabSkippingHiddenTabs) {
  PagesForm form(nullptr);
  form.Show();
  KvPumpMessages();
  HWND h = form.Pages->Handle();
  EXPECT_EQ(SendMessageA(h, TCM_GETITEMCOUNT, 0, 0), 2);
  EXPECT_EQ(TabText(h, 1), "Printing");
  EXPECT_EQ(form.Pages->ActivePage(), form.Sheets[0]);
  EXPECT_TRUE(form.Sheets[0]->Visible());
  EXPECT_EQ(form.Sheets[2]->TabIndex(), 1);
  EXPECT_EQ(form.Sheets[1]->TabIndex(), -1);
  int changes = 0;
  form.Pages->OnChange = [&](TObject*) { ++changes; };
  ClickTab(h, 1);
  EXPECT_EQ(form.Pages->ActivePage(), form.Sheets[2]);  // not the hidden page between them
  EXPECT_EQ(form.Pages->ActivePageIndex(), 2);
  EXPECT_TRUE(form.Sheets[2]->Visible());
  EXPECT_FALSE(form.Sheets[0]->Visible());
  EXPECT_EQ(changes, 1);
  // The page fills the display area inside the pane.
  TRect display = form.Pages->DisplayRect();
  EXPECT_EQ(form.Sheets[2]->BoundsRect().left, display.left);
  EXPECT_EQ(form.Sheets[2]->BoundsRect().top, display.top);

  form.Pages->OnChanging = [](TObject*, bool& allow) { allow = false; };
  ClickTab(h, 0);
  EXPECT_EQ(form.Pages->ActivePage(), form.Sheets[2]);
  EXPECT_EQ(changes, 1);

  // A caption change renames the tab; a freed page takes its tab with it.
  form.Sheets[0]->SetCaption("Main");
  EXPECT_EQ(TabText(h, 0), "Main");
  delete form.Sheets[2];
  EXPECT_EQ(form.Pages->PageCount(), 2);
  EXPECT_EQ(SendMessageA(h, TCM_GETITEMCOUNT, 0, 0), 1);
  EXPECT_EQ(form.Pages->ActivePage(), form.Sheets[0]);
  EXPECT_THROW(form.Pages->Pages(2), EListError);
}

TEST_F(ComCtrlsTest, TabControlFollowsItsTabsAndPositionAndPublishesThem) {
  TForm form(nullptr);
  form.SetBounds(50, 50, 300, 200);
  auto* tabs = new TTabControl(&form);
  tabs->SetParent(&form);
  tabs->Tabs()->Add("One");
  tabs->Tabs()->Add("Two");
  form.Show();
  HWND h = tabs->Handle();
  EXPECT_EQ(SendMessageA(h, TCM_GETITEMCOUNT, 0, 0), 2);
  EXPECT_EQ(tabs->TabIndex(), 0);
  tabs->Tabs()->Add("Three");
  EXPECT_EQ(TabText(h, 2), "Three");
  SetPropValue(tabs, "TabPosition", "tpBottom");
  EXPECT_TRUE(GetWindowLongA(tabs->Handle(), GWL_STYLE) & TCS_BOTTOM);
  EXPECT_EQ(SendMessageA(tabs->Handle(), TCM_GETITEMCOUNT, 0, 0), 3);  // a new window, the same tabs
  EXPECT_EQ(GetPropValue(tabs, "TabPosition"), "tpbottom");            // enumerations read in lower case
  SetOrdProp(tabs, "TabIndex", 2);
  EXPECT_EQ(SendMessageA(tabs->Handle(), TCM_GETCURSEL, 0, 0), 2);
}

TEST_F(ComCtrlsTest, ScrollBarStepsItsPositionFromThePressesAndItsHandlers) {
  TForm form(nullptr);
  form.SetBounds(50, 50, 300, 260);
  auto* bar = new TScrollBar(&form);
  bar->SetParent(&form);
  bar->SetKind(sbVertical);
  bar->SetBounds(8, 8, 17, 200);
  bar->SetParams(0, 0, 99);
  bar->SetPageSize(10);
  bar->SetLargeChange(10);
  form.Show();
  KvPumpMessages();
  EXPECT_TRUE(GetWindowLongA(bar->Handle(), GWL_STYLE) & SBS_VERT);
  EXPECT_EQ(GetPropValue(bar, "Kind"), "sbvertical");
  std::vector<TScrollCode> codes;
  int changes = 0;
  bar->OnScroll = [&](TObject*, TScrollCode c, int&) { codes.push_back(c); };
  bar->OnChange = [&](TObject*) { ++changes; };
  auto click = [&](int y) {
    POINT p{8, y};
    ClientToScreen(bar->Handle(), &p);
    KvInjectClick(p.x, p.y);
    KvPumpMessages();
  };
  click(195);  // the lower arrow
  click(150);  // the page below the thumb
  EXPECT_EQ(bar->Position(), 11);
  EXPECT_EQ(codes, (std::vector<TScrollCode>{scLineDown, scEndScroll, scPageDown, scEndScroll}));
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(GetScrollPos(bar->Handle(), SB_CTL), 11);
  // The handler may hold the bar back.
  bar->OnScroll = [](TObject*, TScrollCode c, int& pos) {
    if (c == scLineDown) pos = 5;
  };
  click(195);
  EXPECT_EQ(bar->Position(), 5);
  // By name; a position beyond the last page is kept on the last page.
  SetOrdProp(bar, "Position", 500);
  EXPECT_EQ(GetOrdProp(bar, "Position"), 90);
  EXPECT_EQ(GetScrollPos(bar->Handle(), SB_CTL), 90);
  SetOrdProp(bar, "SmallChange", 3);
  EXPECT_EQ(bar->SmallChange(), 3);
  EXPECT_THROW(bar->SetParams(0, 10, 5), EInvalidOperation);
  EXPECT_EQ(bar->Max(), 99);
}

TEST_F(ComCtrlsTest, TrackBarAndUpDownTellTheirMoves) {
  TForm form(nullptr);
  form.SetBounds(50, 50, 300, 200);
  auto* track = new TTrackBar(&form);
  track->SetParent(&form);
  track->SetBounds(8, 8, 150, 30);
  track->SetMax(20);
  auto* edit = new TEdit(&form);
  edit->SetParent(&form);
  edit->SetBounds(8, 60, 60, 21);
  auto* spin = new TUpDown(&form);
  spin->SetParent(&form);
  spin->SetBounds(68, 60, 16, 21);
  spin->SetMax(5);
  spin->SetAssociate(edit);
  form.Show();
  KvPumpMessages();

  int moved = 0;
  track->OnChange = [&](TObject*) { ++moved; };
  track->SetFocus();
  KvInjectKey(VK_RIGHT, TRUE);
  KvInjectKey(VK_RIGHT, FALSE);
  KvPumpMessages();
  EXPECT_EQ(track->Position(), 1);
  EXPECT_EQ(moved, 1);
  SetOrdProp(track, "Position", 50);
  EXPECT_EQ(GetOrdProp(track, "Position"), 20);  // within Max
  EXPECT_EQ(GetPropValue(track, "Orientation"), "trhorizontal");

  std::vector<TUDBtnType> clicks;
  spin->OnClick = [&](TObject*, TUDBtnType b) { clicks.push_back(b); };
  spin->Increment = 2;
  POINT up{8, 3};
  ClientToScreen(spin->Handle(), &up);
  KvInjectClick(up.x, up.y);
  KvPumpMessages();
  EXPECT_EQ(spin->Position(), 2);
  EXPECT_EQ(edit->Text(), "2");
  EXPECT_EQ(clicks, (std::vector<TUDBtnType>{btNext}));
  spin->OnChanging = [](TObject*, bool& allow) { allow = false; };
  KvInjectClick(up.x, up.y);
  KvPumpMessages();
  EXPECT_EQ(spin->Position(), 2);
  delete edit;  // the up-down forgets its associate
  EXPECT_EQ(spin->Associate(), nullptr);
}

TEST_F(ComCtrlsTest, DateTimePickerTellsTheDayChosenFromItsCalendar) {
  TForm form(nullptr);
  form.SetBounds(50, 50, 300, 250);
  auto* pick = new TDateTimePicker(&form);
  pick->SetParent(&form);
  pick->SetBounds(8, 8, 120, 22);
  pick->SetDateTime(EncodeDateTime(2026, 12, 11, 9, 30, 0, 0));
  EXPECT_THROW(pick->SetDateTime(EncodeDate(1500, 1, 1)), EConvertError);
  form.Show();
  KvPumpMessages();
  std::vector<std::string> events;
  pick->OnChange = [&](TObject*) { events.push_back("change"); };
  pick->OnDropDown = [&](TObject*) { events.push_back("drop"); };
  pick->OnCloseUp = [&](TObject*) { events.push_back("close"); };
  pick->SetFocus();
  KvInjectKey(VK_DOWN, TRUE);
  KvInjectKey(VK_DOWN, FALSE);
  KvPumpMessages();
  int y, m, d;
  DecodeDate(pick->DateTime(), y, m, d);
  EXPECT_EQ(d, 10);
  KvInjectKey(VK_F4, TRUE);
  KvInjectKey(VK_F4, FALSE);
  KvInjectKey(VK_ESCAPE, TRUE);
  KvInjectKey(VK_ESCAPE, FALSE);
  KvPumpMessages();
  EXPECT_EQ(events, (std::vector<std::string>{"change", "drop", "close"}));
  // A new window keeps the value, the time of day with it.
  SetPropValue(pick, "Kind", "dtkTime");
  int h, n, s, ms;
  DecodeTime(pick->DateTime(), h, n, s, ms);
  EXPECT_EQ(h, 9);
  EXPECT_EQ(n, 30);
  EXPECT_TRUE(GetWindowLongA(pick->Handle(), GWL_STYLE) & DTS_TIMEFORMAT);
}

}  // namespace
