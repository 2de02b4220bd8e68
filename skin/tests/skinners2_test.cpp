// The last control skinners: scroll-bar controls skinned as one bar, tab sheets, the inner
// combo box of an extended combo and the media player's button panel.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/controls/stdctrls.h"
#include "framework/controls/tabs.h"
#include "framework/controls/typinfo.h"
#include "platform/base/system.h"
#include "platform/comctl/comboex.h"
#include "platform/user/scrollbar.h"
#include "skin/tests/skinners_fixture.h"

namespace {

using skintest::Expected;
using skintest::ImagePixel;
using skintest::Shown;

class Skinners2Test : public skintest::SkinnersFixture {
 protected:
  // The fill of frame K of the Scrollbar strip (flat inside its border).
  COLORREF StripFill(int K) {
    TDataSkinObject* strip = data->Element("Scrollbar");
    const int size = strip->Map->Height();
    return ImagePixel(strip->Map.get(), (K - 1) * size + 3, 3);
  }
  // The presses that reach a control behind its skinner (message and point), and its scroll codes.
  void NotePresses(TWinControl* Control) {
    const TWndMethod original = Control->WindowProc;
    Control->WindowProc = [this, original](TMessage& m) {
      if (m.Msg == WM_LBUTTONDOWN || m.Msg == WM_LBUTTONUP) presses.push_back({m.Msg, m.WParam, m.LParam});
      original(m);
    };
  }
  struct Press {
    UINT msg;
    WPARAM keys;
    LPARAM point;
    bool operator==(const Press&) const = default;
  };
  std::vector<Press> presses;
  std::vector<TScrollCode> codes;
};

// ---- Scroll-bar controls --------------------------------------------------------------------------------------
TEST_F(Skinners2Test, ScrollBarControlIsOneSkinnedBarStretchedOverItsWindow) {
  data->Skin3rd.Add("TScrollBar=singlescrollbar");
  const int A = GetSystemMetrics(SM_CXHSCROLL);
  TDataSkinObject* strip = data->Element("Scrollbar");
  const int T = ScrollThickness(strip->Map->Height(), A);
  auto* bar = Make<TScrollBar>(20, 20, 2 * T, 200);
  bar->SetKind(sbVertical);
  bar->SetBounds(20, 20, 2 * T, 200);
  bar->SetParams(0, 0, 99);
  bar->SetPageSize(20);
  bar->SetLargeChange(20);
  NotePresses(bar);
  bar->OnScroll = [this](TObject*, TScrollCode c, int&) { codes.push_back(c); };
  Show();
  ASSERT_EQ(SkinnerName(bar), "TSkinScrollbar");
  auto* sk = static_cast<TSkinScrollbar*>(skinner->SkinnerOf(bar));
  EXPECT_TRUE(sk->SingleBar());
  EXPECT_EQ(sk->Horizontal(), nullptr);
  TWScrollbar* over = sk->Vertical();
  ASSERT_NE(over, nullptr);
  ASSERT_TRUE(over->Shown());
  HWND w = over->Handle();
  RECT a{}, b{};
  GetWindowRect(w, &a);
  GetWindowRect(bar->Handle(), &b);
  EXPECT_TRUE(EqualRect(&a, &b));  // the whole control
  EXPECT_EQ(GetWindow(bar->Handle(), GW_HWNDPREV), w);

  // The thumb's span by the bar's range, page and position.
  const int L = 200;
  auto thumbAt = [&](int pos) {
    const int start = pos ? A + MulDiv(L - 2 * A, pos, 99) : A;
    return std::pair{start, start + MulDiv(L - 2 * A, 19, 99)};
  };
  TDataSkinObject* thumb = data->Element("VertScrollThumb");
  TDataSkinObject* track = data->Element("VertScroll");
  // Source column X of the nominal bar shows at 2X and 2X + 1 of the stretched one.
  auto thumbShown = [&](int pos) {
    const auto [top, end] = thumbAt(pos);
    auto picture = Expected(thumb, T, end - top, thumb->Frame, 1);
    auto trackPicture = Expected(track, T, L - 2 * A, 4, 1);
    return At(w, 10, top + 4) == Shown(picture.get(), 5, 4, Face()) &&
           At(w, 11, top + 4) == Shown(picture.get(), 5, 4, Face()) &&
           At(w, 10, end + 6) == Shown(trackPicture.get(), 5, end + 6 - A, Face());
  };
  MoveTo(form->Handle(), 400, 300);
  EXPECT_EQ(At(w, 6, 4), StripFill(9));
  EXPECT_EQ(At(w, 2 * T - 6, 4), StripFill(9));
  EXPECT_EQ(At(w, 6, L - 5), StripFill(13));
  EXPECT_TRUE(thumbShown(0));
  MoveTo(w, 8, L - 6);
  EXPECT_EQ(At(w, 6, L - 5), StripFill(16)) << "second arrow hot";
  MoveTo(form->Handle(), 400, 300);

  // A drag of the thumb: the control gets the press at the overlay's point, the platform
  // tracks it and the control follows each request.
  const auto [top, end] = thumbAt(0);
  const int grab = (top + end) / 2;
  MoveTo(w, 10, grab);
  const POINT start = ScreenOf(w, 10, grab);
  KvInjectMouseButton(VK_LBUTTON, TRUE);
  KvInjectMouseMove(start.x, start.y + 20);
  KvInjectMouseMove(start.x, start.y + 40);
  KvInjectMouseButton(VK_LBUTTON, FALSE);
  KvPumpMessages();
  // The platform's tracking takes the release itself.
  EXPECT_EQ(presses, (std::vector<Press>{{WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, grab)}}));
  EXPECT_EQ(codes, (std::vector<TScrollCode>{scTrack, scTrack, scPosition, scEndScroll}));
  const int pos = bar->Position();
  EXPECT_GT(pos, 20);
  EXPECT_EQ(GetScrollPos(bar->Handle(), SB_CTL), pos);
  MoveTo(w, 10, 4);  // the platform's tracking took the pointer's moves: a move tells where it is
  MoveTo(form->Handle(), 400, 300);
  EXPECT_TRUE(thumbShown(pos)) << "at its new place " << pos;

  // A press on the page after the thumb steps a page.
  codes.clear();
  MoveTo(w, 10, L - A - 3);
  LeftButton(true);
  LeftButton(false);
  EXPECT_EQ(codes, (std::vector<TScrollCode>{scPageDown, scEndScroll}));
  EXPECT_EQ(bar->Position(), std::min(pos + 20, 80));
  MoveTo(form->Handle(), 400, 300);
  EXPECT_TRUE(thumbShown(bar->Position()));

  // Disabled: the track's disabled frame and no thumb; hidden with its control.
  bar->SetEnabled(false);
  KvPumpMessages();
  auto disabled = Expected(track, T, L - 2 * A, 4, 3);
  const int at = thumbAt(bar->Position()).first + 4;
  EXPECT_EQ(At(w, 10, at), Shown(disabled.get(), 5, at - A, Face()));
  bar->SetVisible(false);
  KvPumpMessages();
  EXPECT_FALSE(IsWindowVisible(w));
  bar->SetVisible(true);
  KvPumpMessages();
  EXPECT_TRUE(IsWindowVisible(w));
}

TEST_F(Skinners2Test, RawScrollBarWindowLiesAsItsStyleSaysAndFollowsItsPosition) {
  HWND dlg = CreateWindowExW(WS_EX_DLGMODALFRAME, u"#32770", u"Box", WS_POPUP | WS_CAPTION | WS_SYSMENU, 150, 100, 320,
                             240, nullptr, nullptr, nullptr, nullptr);
  windows.push_back(dlg);
  HWND bar = CreateWindowExW(0, u"ScrollBar", nullptr, WS_CHILD | WS_VISIBLE | SBS_HORZ, 10, 20, 200, 17, dlg, nullptr,
                             nullptr, nullptr);
  SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS, 0, 99, 20, 0, 0};
  SendMessageW(bar, SBM_SETSCROLLINFO, TRUE, reinterpret_cast<LPARAM>(&si));
  ShowWindow(dlg, SW_SHOW);
  SetActiveWindow(dlg);
  KvPumpMessages();
  TWinSkinForm* s = TSkinManage::Instance()->FindSkinned(dlg);
  ASSERT_NE(s, nullptr);
  auto* sk = dynamic_cast<TSkinScrollbar*>(s->FindControlSkinner(bar));
  ASSERT_NE(sk, nullptr);
  EXPECT_TRUE(sk->SingleBar());
  ASSERT_NE(sk->Horizontal(), nullptr);
  EXPECT_EQ(sk->Vertical(), nullptr);
  HWND over = sk->Horizontal()->Handle();
  RECT a{}, b{};
  GetWindowRect(over, &a);
  GetWindowRect(bar, &b);
  EXPECT_TRUE(EqualRect(&a, &b));
  EXPECT_EQ(At(over, 4, 6), StripFill(1));
  EXPECT_EQ(At(over, 195, 6), StripFill(5));
  // A new position: the overlay shows the thumb there.
  SendMessageW(bar, SBM_SETPOS, 30, TRUE);
  KvPumpMessages();
  const int A = GetSystemMetrics(SM_CXHSCROLL), start = A + MulDiv(200 - 2 * A, 30, 99);
  TDataSkinObject* thumb = data->Element("HorzScrollThumb");
  auto picture = Expected(thumb, MulDiv(200 - 2 * A, 19, 99), ScrollThickness(data->Element("Scrollbar")->Map->Height(), A),
                          thumb->Frame, 1);
  MoveTo(dlg, 300, 200);
  EXPECT_EQ(At(over, start + 4, 4), Shown(picture.get(), 4, 4, Face())) << "the thumb at its new place";
}

// ---- Tab sheets ------------------------------------------------------------------------------------------------
// A graphic control that paints itself red.
class TRedBox : public TGraphicControl {
 public:
  using TGraphicControl::TGraphicControl;
  KV_CLASS_NAME(TRedBox)

 protected:
  void Paint() override {
    RECT r{0, 0, Width(), Height()};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(Canvas()->Handle(), &r, red);
    DeleteObject(red);
  }
};

TEST_F(Skinners2Test, TabSheetsShowTheFaceAndTheirChildrenUnlessInParentBackgroundMode) {
  const COLORREF own = RGB(0, 0, 200);
  auto* pages = Make<TPageControl>(10, 10, 300, 200);
  TTabSheet* sheets[2];
  for (int i = 0; i < 2; ++i) {
    sheets[i] = new TTabSheet(form);
    sheets[i]->SetPageControl(pages);
    sheets[i]->SetCaption(i ? "Second" : "First");
    sheets[i]->SetColor(static_cast<TColor>(own));
    auto* box = new TRedBox(form);
    box->SetParent(sheets[i]);
    box->SetBounds(20, 20, 30, 30);
  }
  sheets[1]->SetTag(5555);  // this one takes its parent's background
  pages->SetActivePageIndex(0);
  Show();
  ASSERT_EQ(SkinnerName(sheets[0]), "TSkinTabSheet");
  ASSERT_EQ(SkinnerName(sheets[1]), "TSkinTabSheet");
  HWND first = sheets[0]->Handle();
  EXPECT_EQ(At(first, 5, 5), Face());
  EXPECT_EQ(At(first, 35, 35), RGB(255, 0, 0));
  // Printed into a DC of the caller's: the same picture.
  TBitmap printed;
  printed.SetPixelFormat(pf24bit);
  printed.SetSize(sheets[0]->Width(), sheets[0]->Height());
  SendMessageW(first, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(printed.Canvas()->Handle()), PRF_CLIENT);
  EXPECT_EQ(ImagePixel(&printed, 5, 5), Face());
  EXPECT_EQ(ImagePixel(&printed, 35, 35), RGB(255, 0, 0));
  // Erasing fills the face.
  HDC dc = GetDC(first);
  EXPECT_EQ(SendMessageW(first, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 1);
  ReleaseDC(first, dc);

  pages->SetActivePageIndex(1);
  KvPumpMessages();
  HWND second = sheets[1]->Handle();
  EXPECT_EQ(At(second, 5, 5), own);  // its own painting stays
  EXPECT_EQ(At(second, 35, 35), RGB(255, 0, 0));

  // Without the tabs' gate a sheet stays plain.
  auto* other = new TTabSheet(form);
  other->SetPageControl(pages);
  data->SkinControls >> xcTab;
  skinner->MapControl(other, pages);
  EXPECT_EQ(SkinnerName(other), "");
}

// ---- Extended combo boxes -------------------------------------------------------------------------------------
TEST_F(Skinners2Test, ExtendedComboSkinsItsInnerComboAndOneWithoutAChildGetsNothing) {
  HWND dlg = CreateWindowExW(WS_EX_DLGMODALFRAME, u"#32770", u"Box", WS_POPUP | WS_CAPTION | WS_SYSMENU, 150, 100, 320,
                             240, nullptr, nullptr, nullptr, nullptr);
  windows.push_back(dlg);
  auto extended = [&](int y) {
    return CreateWindowExW(0, WC_COMBOBOXEXW, nullptr, WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST, 10, y, 150, 120, dlg,
                           nullptr, nullptr, nullptr);
  };
  HWND withCombo = extended(10), empty = extended(50);
  HWND inner = reinterpret_cast<HWND>(SendMessageW(withCombo, CBEM_GETCOMBOCONTROL, 0, 0));
  ASSERT_NE(inner, nullptr);
  DestroyWindow(GetWindow(empty, GW_CHILD));
  SetActiveWindow(dlg);
  KvPumpMessages();
  TWinSkinForm* s = TSkinManage::Instance()->FindSkinned(dlg);
  ASSERT_NE(s, nullptr);
  TSkinControl* found = s->FindControlSkinner(inner);
  EXPECT_EQ(found ? std::string(found->ClassName()) : "", "TSkinComBox");
  EXPECT_EQ(s->FindControlSkinner(withCombo), nullptr);
  EXPECT_EQ(s->FindControlSkinner(empty), nullptr);
  // Behind a closed gate the inner combo stays plain.
  HWND later = extended(90);
  data->SkinControls >> xcCombo;
  s->MapWindow(later);
  EXPECT_EQ(s->FindControlSkinner(reinterpret_cast<HWND>(SendMessageW(later, CBEM_GETCOMBOCONTROL, 0, 0))), nullptr);
}

// ---- Media players ---------------------------------------------------------------------------------------------
enum TMPBtnType { btPlay, btPause, btStop, btNext, btPrev, btStep, btBack, btRecord, btEject };
using TButtonSet = Set<TMPBtnType, btPlay, btEject>;

// A media-player control: its button sets published by name; it notes the presses it gets.
class TMediaPlayer : public TWinControl {
 public:
  using TWinControl::TWinControl;
  KV_CLASS_NAME(TMediaPlayer)
  TButtonSet Visible, Enabled, Colored;
  std::vector<UINT> Presses;

 protected:
  void WndProc(TMessage& Message) override {
    if (Message.Msg == WM_LBUTTONDOWN || Message.Msg == WM_LBUTTONDBLCLK || Message.Msg == WM_LBUTTONUP)
      Presses.push_back(Message.Msg);
    TWinControl::WndProc(Message);
  }
};

void RegisterPlayerProps() {
  static bool done = false;
  if (done) return;
  done = true;
  const std::vector<AnsiString> names = {"btPlay", "btPause",  "btStop",  "btNext", "btPrev",
                                         "btStep", "btBack",   "btRecord", "btEject"};
  RegisterClassProps<TMediaPlayer>(
      "TMediaPlayer", {SetOfProp<TMediaPlayer, TButtonSet>("VisibleButtons", names, [](TMediaPlayer& m) { return m.Visible; }),
                       SetOfProp<TMediaPlayer, TButtonSet>("EnabledButtons", names, [](TMediaPlayer& m) { return m.Enabled; }),
                       SetOfProp<TMediaPlayer, TButtonSet>("ColoredButtons", names, [](TMediaPlayer& m) { return m.Colored; })});
}

bool SameBounds(TControl* a, TControl* b) {
  const RECT ra = a->BoundsRect(), rb = b->BoundsRect();
  return EqualRect(&ra, &rb) != 0;
}

TEST_F(Skinners2Test, MediaPlayerGetsAPanelOfSkinnedButtonsThatHandsOnItsPresses) {
  RegisterPlayerProps();
  auto* player = Make<TMediaPlayer>(20, 20, 120, 30);
  player->Visible = {btPlay, btPause, btStop, btRecord};
  player->Enabled = {btPlay, btStop, btRecord};
  player->Colored = {btRecord};
  Show();
  ASSERT_EQ(SkinnerName(player), "TSkinMP");
  TWMediaPlayer* panel = static_cast<TSkinMP*>(skinner->SkinnerOf(player))->Panel();
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->Tag(), data->DisableTag);  // never skinned itself
  EXPECT_EQ(SkinnerName(panel), "");
  EXPECT_TRUE(SameBounds(panel, player));
  EXPECT_EQ(GetWindow(player->Handle(), GW_HWNDPREV), panel->Handle());  // directly above the control
  KvPumpMessages();
  HWND w = panel->Handle();
  TDataSkinObject* buttons = data->Buttons();
  // Button k of the four visible ones is 30 wide; its glyph's top-left at (30k + 7, 7).
  auto frameIs = [&](int k, int frame) {
    auto picture = Expected(buttons, 30, 30, 5, frame);
    return At(w, 30 * k + 15, 2) == Shown(picture.get(), 15, 2, Face()) &&
           At(w, 30 * k + 8, 8) == Shown(picture.get(), 8, 8, Face());  // olive lets the frame through
  };
  auto glyph = [&](int k, int x, int y) { return At(w, 30 * k + 7 + x, 7 + y); };
  const COLORREF black = RGB(0, 0, 0);
  EXPECT_TRUE(frameIs(0, 1)) << "play";
  EXPECT_TRUE(frameIs(1, 3)) << "pause, disabled";
  EXPECT_TRUE(frameIs(2, 1)) << "stop";
  EXPECT_TRUE(frameIs(3, 1)) << "record";
  EXPECT_EQ(glyph(0, 7, 8), black);                 // the play triangle
  EXPECT_EQ(glyph(1, 5, 8), RGB(160, 160, 160));   // a disabled pause bar
  EXPECT_EQ(glyph(2, 4, 4), black);                 // the stop square's corner
  EXPECT_EQ(glyph(3, 8, 8), RGB(220, 0, 0));       // the coloured record disc
  EXPECT_EQ(panel->ButtonAt(65), btStop);
  EXPECT_EQ(panel->ButtonAt(500), TWMediaPlayer::kButtons);

  // A press: the pressed frame, the glyph one pixel right and down, the press handed on.
  MoveTo(w, 75, 15);
  LeftButton(true);
  EXPECT_TRUE(frameIs(2, 2)) << "stop pressed";
  EXPECT_NE(glyph(2, 4, 4), black);
  EXPECT_EQ(glyph(2, 5, 5), black);
  EXPECT_EQ(glyph(2, 12, 12), black);
  LeftButton(false);
  EXPECT_TRUE(frameIs(2, 1));
  EXPECT_EQ(player->Presses, (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP}));
  // A quick second press on the spot (a double click) presses too; released over another
  // button, the release stays with the panel.
  player->Presses.clear();
  LeftButton(true);
  EXPECT_TRUE(frameIs(2, 2)) << "pressed again";
  MoveTo(w, 15, 15);
  LeftButton(false);
  EXPECT_EQ(player->Presses, (std::vector<UINT>{WM_LBUTTONDBLCLK}));

  // No visible button: the face only. The panel follows the control's place and visibility.
  player->Visible = {};
  panel->Invalidate();
  KvPumpMessages();
  EXPECT_EQ(At(w, 15, 2), Face());
  EXPECT_EQ(At(w, 75, 15), Face());
  player->SetBounds(40, 30, 90, 30);
  KvPumpMessages();
  EXPECT_TRUE(SameBounds(panel, player));
  player->SetVisible(false);
  KvPumpMessages();
  EXPECT_FALSE(IsWindowVisible(w));
  // Detached, the panel goes.
  skinner->SkinnerOf(player)->Detach();
  EXPECT_EQ(static_cast<TSkinMP*>(skinner->SkinnerOf(player))->Panel(), nullptr);
  EXPECT_FALSE(IsWindow(w));

  // A skinned player that goes takes its panel along.
  auto* going = Make<TMediaPlayer>(20, 120, 120, 30);
  going->Visible = {btPlay};
  skinner->MapControl(going, form);
  HWND goingPanel = static_cast<TSkinMP*>(skinner->SkinnerOf(going))->Panel()->Handle();
  delete going;
  KvPumpMessages();
  EXPECT_FALSE(IsWindow(goingPanel));

  // Behind the buttons' gate a media player stays plain.
  auto* other = Make<TMediaPlayer>(20, 80, 120, 30);
  data->SkinControls >> xcButton;
  skinner->MapControl(other, form);
  EXPECT_EQ(SkinnerName(other), "");
}

}  // namespace
