// The control skinners on a form skinned by the built-in skin: which control gets which
// skinner (the chain of class tests, the Skin3rd kinds, raw dialog children), the pictures
// of each state against the skin's images, and skinners that come and go with their controls.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>

#include "framework/controls/buttons.h"
#include "framework/controls/comctrls.h"
#include "framework/controls/listview.h"
#include "framework/controls/tabs.h"
#include "framework/controls/typinfo.h"
#include "platform/user/listbox.h"
#include "platform/base/time.h"
#include "platform/user/testing.h"
#include "skin/skin_controls.h"
#include "skin/skin_form.h"
#include "skin/skin_manager.h"
#include "skin/tests/skin_test_util.h"
#include "skin/tests/skinners_fixture.h"

namespace {

// Controls of other component libraries, known to the mapping only by their names.
class TRichEdit : public TCustomEdit {
 public:
  using TCustomEdit::TCustomEdit;
  KV_CLASS_NAME(TRichEdit)
};
class TDBNavigator : public TCustomPanel {
 public:
  using TCustomPanel::TCustomPanel;
  KV_CLASS_NAME(TDBNavigator)
};
class TDxDBMemo : public TWinControl {
 public:
  using TWinControl::TWinControl;
  KV_CLASS_NAME(TdxDBMemo)
};
class TdxTreeList : public TWinControl {
 public:
  using TWinControl::TWinControl;
  KV_CLASS_NAME(TdxTreeList)
};
class TTabbedNotebook : public TWinControl {
 public:
  using TWinControl::TWinControl;
  KV_CLASS_NAME(TTabbedNotebook)
};
// A control of no known class whose window has scroll bars.
class TScrolledWindow : public TWinControl {
 public:
  using TWinControl::TWinControl;
  KV_CLASS_NAME(TScrolledWindow)

 protected:
  void CreateParams(TCreateParams& Params) override {
    TWinControl::CreateParams(Params);
    Params.Style |= WS_VSCROLL | WS_HSCROLL;
  }
};
class TOtherContainer : public TWinControl {
 public:
  using TWinControl::TWinControl;
  KV_CLASS_NAME(TOtherContainer)
};
// A control with a vertical window scroll bar that moves as the requests say and notes each.
class TScrollingView : public TWinControl {
 public:
  using TWinControl::TWinControl;
  KV_CLASS_NAME(TScrollingView)
  std::vector<int> Codes;
  std::function<void(int)> OnRequest;

 protected:
  void CreateParams(TCreateParams& Params) override {
    TWinControl::CreateParams(Params);
    Params.Style |= WS_VSCROLL;
  }
  void WndProc(TMessage& Message) override {
    if (Message.Msg != WM_VSCROLL) {
      TWinControl::WndProc(Message);
      return;
    }
    const int code = LOWORD(Message.WParam);
    Codes.push_back(code);
    int pos = GetScrollPos(Handle(), SB_VERT);
    if (code == SB_THUMBTRACK || code == SB_THUMBPOSITION) pos = HIWORD(Message.WParam);
    if (code == SB_LINEDOWN || code == SB_LINEUP) pos += code == SB_LINEDOWN ? 1 : -1;
    SetScrollPos(Handle(), SB_VERT, pos, TRUE);
    if (OnRequest) OnRequest(code);
    Message.Result = 0;
  }
};
// A tab set of another component library: its tabs as published properties, white when
// it paints itself, owning its scroller first.
class TTabSet : public TCustomControl {
 public:
  explicit TTabSet(TComponent* AOwner) : TCustomControl(AOwner) {
    Scroller = new TWinControl(this);
    Names.Add("Alpha");
    Names.Add("Beta");
    Names.Add("Gamma");
  }
  KV_CLASS_NAME(TTabSet)
  TStringList Names;
  int TabIndex = 1, FirstIndex = 0, StartMargin = 5, EndMargin = 5;
  TWinControl* Scroller;

 protected:
  void Paint() override {
    RECT r{0, 0, Width(), Height()};
    FillRect(Canvas()->Handle(), &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  }
};
class TDBComboBoxEh : public TCustomComboBox {
 public:
  using TCustomComboBox::TCustomComboBox;
  KV_CLASS_NAME(TDBComboBoxEh)
};
class TSpinButton : public TWinControl {
 public:
  using TWinControl::TWinControl;
  KV_CLASS_NAME(TSpinButton)
};
class TTntComboBox : public TWinControl {
 public:
  using TWinControl::TWinControl;
  KV_CLASS_NAME(TTntComboBox)
};
class TDCEdit : public TWinControl {
 public:
  using TWinControl::TWinControl;
  KV_CLASS_NAME(TDCEdit)
  int NumButtons = 0;
};
// A control of another library that the Skin3rd list names (an edit underneath, so that the
// chain would give it an edit skinner).
class TOtherControl : public TCustomEdit {
 public:
  using TCustomEdit::TCustomEdit;
  KV_CLASS_NAME(TOtherControl)
};
class TChoiceRadioGroup : public TCustomGroupBox {
 public:
  using TCustomGroupBox::TCustomGroupBox;
  KV_CLASS_NAME(TChoiceRadioGroup)
};
class TChoiceCheckGroup : public TCustomGroupBox {
 public:
  using TCustomGroupBox::TCustomGroupBox;
  KV_CLASS_NAME(TChoiceCheckGroup)
};

// Check and radio controls of another component set that take their glyphs from a bitmap.
class TRzCheckBox : public TWinControl {
 public:
  using TWinControl::TWinControl;
  KV_CLASS_NAME(TRzCheckBox)
  TBitmap Glyphs;
  int TransparentColour = 0;
  std::vector<bool> UseCustom;  // every value set, in order
};
class TRzRadioButton : public TRzCheckBox {
 public:
  using TRzCheckBox::TRzCheckBox;
  KV_CLASS_NAME(TRzRadioButton)
};
class TGlyphProperties : public TPersistent {
 public:
  KV_CLASS_NAME(TGlyphProperties)
  TBitmap Glyph;
};
class TcxCheckBox : public TWinControl {
 public:
  using TWinControl::TWinControl;
  KV_CLASS_NAME(TcxCheckBox)
  TGlyphProperties Properties;
};

// A page control of another component set that takes its tab backgrounds as bitmaps.
class TOtherPageControl : public TWinControl {
 public:
  using TWinControl::TWinControl;
  KV_CLASS_NAME(TOtherPageControl)
  TBitmap Normal, Active;
};

// A date-time picker of another component set: it notes the presses it gets.
class TOtherDatePicker : public TWinControl {
 public:
  using TWinControl::TWinControl;
  KV_CLASS_NAME(TOtherDatePicker)
  std::vector<std::pair<UINT, POINT>> Presses;

 protected:
  void CreateParams(TCreateParams& Params) override {
    TWinControl::CreateParams(Params);
    Params.ExStyle |= WS_EX_CLIENTEDGE;
  }
  void WndProc(TMessage& Message) override {
    if (Message.Msg == WM_LBUTTONDOWN || Message.Msg == WM_LBUTTONUP)
      Presses.push_back({Message.Msg, POINT{static_cast<int16_t>(LOWORD(Message.LParam)),
                                            static_cast<int16_t>(HIWORD(Message.LParam))}});
    TWinControl::WndProc(Message);
  }
};

// A glyph button of another component set.
class TOtherBitButton : public TButton {
 public:
  using TButton::TButton;
  KV_CLASS_NAME(TOtherBitButton)
  TBitmap Glyph;
  int NumGlyphs = 1, Margin = -1, Spacing = 4;
  TButtonLayout Layout = blGlyphLeft;
};

void RegisterTestProps() {
  static bool done = false;
  if (done) return;
  done = true;
  RegisterClassProps<TDCEdit>("TDCEdit", {IntProp<TDCEdit>(
                                             "NumButtons", [](TDCEdit& e) { return e.NumButtons; },
                                             [](TDCEdit& e, int v) { e.NumButtons = v; })});
  RegisterClassProps<TRzCheckBox>(
      "TRzCheckBox", {ObjProp<TRzCheckBox>("CustomGlyphs", [](TRzCheckBox& c) -> TObject* { return &c.Glyphs; }),
                      IntProp<TRzCheckBox>(
                          "TransparentColor", [](TRzCheckBox& c) { return c.TransparentColour; },
                          [](TRzCheckBox& c, int v) { c.TransparentColour = v; }),
                      BoolProp<TRzCheckBox>(
                          "UseCustomGlyphs", [](TRzCheckBox& c) { return !c.UseCustom.empty() && c.UseCustom.back(); },
                          [](TRzCheckBox& c, bool v) { c.UseCustom.push_back(v); })});
  RegisterClassProps<TOtherBitButton>(
      "TOtherBitButton", {ObjProp<TOtherBitButton>("Glyph", [](TOtherBitButton& b) -> TObject* { return &b.Glyph; }),
                          IntProp<TOtherBitButton>("NumGlyphs", [](TOtherBitButton& b) { return b.NumGlyphs; }),
                          IntProp<TOtherBitButton>("Margin", [](TOtherBitButton& b) { return b.Margin; }),
                          IntProp<TOtherBitButton>("Spacing", [](TOtherBitButton& b) { return b.Spacing; }),
                          EnumProp<TOtherBitButton, TButtonLayout>(
                              "Layout", {"blGlyphLeft", "blGlyphRight", "blGlyphTop", "blGlyphBottom"},
                              [](TOtherBitButton& b) { return b.Layout; })});
  RegisterClassProps<TOtherPageControl>(
      "TOtherPageControl",
      {ObjProp<TOtherPageControl>("TabBackGround", [](TOtherPageControl& c) -> TObject* { return &c.Normal; }),
       ObjProp<TOtherPageControl>("TabBackGroundActive", [](TOtherPageControl& c) -> TObject* { return &c.Active; })});
  RegisterClassProps<TGlyphProperties>(
      "TGlyphProperties",
      {ObjProp<TGlyphProperties>("Glyph", [](TGlyphProperties& p) -> TObject* { return &p.Glyph; })});
  RegisterClassProps<TTabSet>(
      "TTabSet", {ObjProp<TTabSet>("Tabs", [](TTabSet& t) -> TObject* { return &t.Names; }),
                  IntProp<TTabSet>("TabIndex", [](TTabSet& t) { return t.TabIndex; }),
                  IntProp<TTabSet>("FirstIndex", [](TTabSet& t) { return t.FirstIndex; }),
                  IntProp<TTabSet>("StartMargin", [](TTabSet& t) { return t.StartMargin; }),
                  IntProp<TTabSet>("EndMargin", [](TTabSet& t) { return t.EndMargin; })});
  RegisterClassProps<TcxCheckBox>(
      "TcxCheckBox", {ObjProp<TcxCheckBox>("Properties", [](TcxCheckBox& c) -> TObject* { return &c.Properties; })});
}

using skintest::ImagePixel;
using skintest::Expected;
using skintest::Shown;

class SkinnersTest : public skintest::SkinnersFixture {
 protected:
  void SetUp() override {
    RegisterTestProps();
    SkinnersFixture::SetUp();
  }
};

// ---- The decision -----------------------------------------------------------------------------------------
TEST_F(SkinnersTest, ChainOfClassTestsGivesEachControlItsSkinnerBehindItsGate) {
  Show();
  struct Row {
    const char* what;
    std::function<TControl*()> make;
    TSkinControlType gate;
    const char* open;    // the skinner with the gate open
    const char* closed;  // with it closed (the next row may take the control)
  } rows[] = {
      {"check box", [&] { return Make<TCheckBox>(5, 5, 80, 20); }, xcCheckBox, "TSkinCheckBox", ""},
      {"spin button", [&] { return Make<TSpinButton>(5, 5, 16, 20); }, xcSpin, "TSkinUpDown", ""},
      {"navigator", [&] { return Make<TDBNavigator>(5, 5, 80, 20); }, xcPanel, "TSkinBox", ""},
      {"glyph check box", [&] { return Make<TRzCheckBox>(5, 5, 80, 20); }, xcCheckBox, "TSkinObjImage", ""},
      {"glyph radio button", [&] { return Make<TRzRadioButton>(5, 5, 80, 20); }, xcRadioButton, "TSkinObjImage", ""},
      {"glyph property box", [&] { return Make<TcxCheckBox>(5, 5, 80, 20); }, xcCheckBox, "TSkinObjImage", ""},
      {"tool bar", [&] { return Make<TToolBar>(5, 5, 80, 20); }, xcToolbar, "TSkinBox", ""},
      {"status bar", [&] { return Make<TStatusBar>(5, 5, 80, 20); }, xcStatusBar, "TSkinStatusBar", ""},
      {"progress bar", [&] { return Make<TProgressBar>(5, 5, 80, 20); }, xcProgress, "TSkinProgress", ""},
      {"named combo", [&] { return Make<TTntComboBox>(5, 5, 80, 20); }, xcCombo, "TSkinComBox", ""},
      // Without its own gate a combo box falls to the scrolled controls (its style has WS_VSCROLL).
      {"combo box", [&] { return Make<TComboBox>(5, 5, 80, 20); }, xcCombo, "TSkinComBox", "TSkinScrollbar"},
      {"tab set", [&] { return Make<TTabSet>(5, 5, 120, 24); }, xcTab, "TSkinTab31", ""},
      {"tabbed notebook", [&] { return Make<TTabbedNotebook>(5, 5, 120, 80); }, xcTab, "TSkinTab", ""},
      // A rich edit belongs to the scroll-bar skinners, never to the edit's.
      {"rich edit", [&] { return Make<TRichEdit>(5, 5, 80, 20); }, xcScrollbar, "TSkinScrollbar", "TSkinEdit"},
      {"named memo", [&] { return Make<TDxDBMemo>(5, 5, 80, 40); }, xcScrollbar, "TSkinScrollbar", ""},
      {"panel", [&] { return Make<TPanel>(5, 5, 80, 20); }, xcPanel, "TSkinBox", ""},
      {"tree list", [&] { return Make<TdxTreeList>(5, 5, 80, 60); }, xcScrollbar, "TSkinScrollbar", ""},
      {"list view", [&] { return Make<TListView>(5, 5, 80, 60); }, xcScrollbar, "TSkinListView", ""},
      {"memo", [&] { return Make<TMemo>(5, 5, 80, 60); }, xcScrollbar, "TSkinScrollbar", "TSkinEdit"},
      {"scrolled window", [&] { return Make<TScrolledWindow>(5, 5, 80, 60); }, xcScrollbar, "TSkinScrollbar", ""},
      {"button", [&] { return Make<TButton>(5, 5, 80, 20); }, xcButton, "TSkinButton", ""},
      {"edit", [&] { return Make<TEdit>(5, 5, 80, 20); }, xcEdit, "TSkinEdit", ""},
      {"never skinned", [&] { return Make<TDBComboBoxEh>(5, 5, 80, 20); }, xcCombo, "", ""},
      {"container edit with a button",
       [&] {
         auto* e = Make<TDCEdit>(5, 5, 80, 20);
         e->NumButtons = 1;
         return e;
       },
       xcCombo, "TSkinComBox", ""},
      {"container edit", [&] { return Make<TDCEdit>(5, 5, 80, 20); }, xcEdit, "TSkinEdit", ""},
  };
  const TSkinControlTypes all = data->SkinControls;
  for (const Row& row : rows)
    for (bool open : {true, false}) {
      data->SkinControls = all;
      if (!open) data->SkinControls >> row.gate;
      TControl* c = row.make();
      skinner->MapControl(c, form);
      EXPECT_EQ(SkinnerName(c), open ? row.open : row.closed) << row.what << (open ? " gate open" : " gate closed");
      delete c;
    }
  data->SkinControls = all;
}

TEST_F(SkinnersTest, Skin3rdKindsDecideAndAListedClassNeverReachesTheChain) {
  Show();
  struct Kind {
    const char* kind;
    TSkinControlType gate;
    const char* skinner;
  } kinds[] = {
      {"nil", xcEdit, ""},
      {"combobox", xcCombo, "TSkinComBox"},
      {"comboboxex", xcCombo, "TSkinComBox"},
      {"edit", xcEdit, "TSkinEdit"},
      {"radiobutton", xcRadioButton, "TSkinRadioButton"},
      {"panel", xcPanel, "TSkinBox"},
      {"button", xcButton, "TSkinButton"},
      {"menubtn", xcButton, "TSkinMenuButton"},
      {"bitbtn", xcButton, "TSkinBitButton"},
      {"pngbitbtn", xcButton, "TSkinBitButton"},
      {"datetimepicker", xcCombo, "TSkinDateTime"},
      {"advpagecontrol", xcTab, "TSkinAdvPage"},
      {"progress", xcProgress, "TSkinProgress"},
      {"mediaplayer", xcButton, "TSkinMP"},
      {"scrollbar", xcScrollbar, "TSkinScrollbar"},
      // A track bar opens with the buttons' gate, not its own.
      {"trackbar", xcButton, "TSkinTrackBar"},
      {"tab", xcTab, "TSkinTab"},
      {"groupbox", xcGroupBox, "TSkinGroupBox"},
      {"checkbox", xcCheckBox, "TSkinCheckBox"},
      {"container", xcEdit, ""},
      {"no such kind", xcEdit, ""},
  };
  const TSkinControlTypes all = data->SkinControls;
  for (const Kind& k : kinds)
    for (bool open : {true, false}) {
      data->Skin3rd.Clear();
      data->Skin3rd.Add(AnsiString("tothercontrol=") + k.kind);
      data->SkinControls = all;
      if (!open) data->SkinControls >> k.gate;
      auto* c = Make<TOtherControl>(5, 5, 80, 20);
      skinner->MapControl(c, form);
      // A closed gate leaves the control plain: it never falls to the chain's edit row.
      EXPECT_EQ(SkinnerName(c), open ? k.skinner : "") << k.kind << (open ? " gate open" : " gate closed");
      if (open && std::string(k.kind) == "comboboxex") {
        EXPECT_TRUE(static_cast<TSkinComBox*>(skinner->SkinnerOf(c))->Extended());
      }
      delete c;
    }
  data->SkinControls = all;
  // The track bar's own gate does not matter.
  data->Skin3rd.Clear();
  data->Skin3rd.Add("tothercontrol=trackbar");
  data->SkinControls >> xcTrackBar;
  auto* track = Make<TOtherControl>(5, 5, 80, 20);
  skinner->MapControl(track, form);
  EXPECT_EQ(SkinnerName(track), "TSkinTrackBar");
  delete track;
  data->SkinControls = all;
  // "embedscrollbar": the container stays plain, its children with scroll bars are skinned.
  data->Skin3rd.Clear();
  data->Skin3rd.Add("TOtherContainer=embedscrollbar");
  auto* box = Make<TOtherContainer>(5, 5, 200, 100);
  auto* scrolled = Make<TScrolledWindow>(5, 5, 80, 60, box);
  auto* edit = Make<TEdit>(100, 5, 80, 20, box);
  scrolled->HandleNeeded();
  edit->HandleNeeded();
  skinner->MapControl(box, form);
  EXPECT_EQ(SkinnerName(box), "");
  EXPECT_EQ(SkinnerName(scrolled), "TSkinScrollbar");
  EXPECT_EQ(SkinnerName(edit), "");
  delete box;
}

TEST_F(SkinnersTest, RadioAndCheckGroupsSkinTheirButtonsUnlessDisabledByTag) {
  Show();
  auto group = [&](bool check) -> TCustomGroupBox* {
    TCustomGroupBox* g = check ? static_cast<TCustomGroupBox*>(Make<TChoiceCheckGroup>(5, 5, 200, 100))
                               : static_cast<TCustomGroupBox*>(Make<TChoiceRadioGroup>(5, 5, 200, 100));
    for (int i = 0; i < 2; ++i) {
      TWinControl* b = check ? static_cast<TWinControl*>(Make<TCheckBox>(10, 20 + 25 * i, 100, 20, g))
                             : static_cast<TWinControl*>(Make<TRadioButton>(10, 20 + 25 * i, 100, 20, g));
      b->HandleNeeded();
    }
    return g;
  };
  data->Skin3rd.Add("TChoiceRadioGroup=radiogroup");
  data->Skin3rd.Add("TChoiceCheckGroup=checkgroup");

  TCustomGroupBox* radios = group(false);
  skinner->MapControl(radios, form);
  EXPECT_EQ(SkinnerName(radios), "TSkinGroupBox");
  for (int i = 0; i < 2; ++i) EXPECT_EQ(SkinnerName(radios->Controls(i)), "TSkinRadioButton");
  delete radios;

  // Tagged with DisableTag: the group and its buttons stay plain, even for a later walk.
  radios = group(false);
  radios->SetTag(data->DisableTag);
  skinner->MapControl(radios, form);
  EXPECT_EQ(SkinnerName(radios), "");
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(radios->Controls(i)->Tag(), data->DisableTag);
    skinner->MapControl(radios->Controls(i), radios);
    EXPECT_EQ(SkinnerName(radios->Controls(i)), "");
  }
  delete radios;

  TCustomGroupBox* checks = group(true);
  skinner->MapControl(checks, form);
  EXPECT_EQ(SkinnerName(checks), "TSkinGroupBox");
  for (int i = 0; i < 2; ++i) EXPECT_EQ(SkinnerName(checks->Controls(i)), "TSkinCheckBox");
  delete checks;
  // A check group opens only with xcPanel, its buttons only with xcRadioButton.
  data->SkinControls >> xcRadioButton;
  checks = group(true);
  skinner->MapControl(checks, form);
  EXPECT_EQ(SkinnerName(checks), "TSkinGroupBox");
  for (int i = 0; i < 2; ++i) EXPECT_EQ(SkinnerName(checks->Controls(i)), "");
  delete checks;
  data->SkinControls >> xcPanel;
  checks = group(true);
  skinner->MapControl(checks, form);
  EXPECT_EQ(SkinnerName(checks), "");
  delete checks;
}

TEST_F(SkinnersTest, ApplicationHandlerDecidesFirstAndAControlIsSkinnedOnce) {
  int asked = 0;
  TComponent* unrelated = new TComponent(nullptr);
  data->OnSkinControl = [&](TComponent*, TSkinData*, TControl*, TControl* Control, const AnsiString& Class,
                            TComponent*& Skinned) {
    ++asked;
    if (Class == "TEDIT") Skinned = new TSkinButton(Control);
    if (Class == "TCHECKBOX") Skinned = unrelated;  // not a skinner: the control stays plain
  };
  TEdit* edit = Make<TEdit>(5, 5, 80, 20);
  TCheckBox* check = Make<TCheckBox>(5, 30, 80, 20);
  TButton* button = Make<TButton>(5, 60, 80, 20);
  Show();
  EXPECT_EQ(SkinnerName(edit), "TSkinButton");
  EXPECT_EQ(SkinnerName(check), "");
  EXPECT_EQ(SkinnerName(button), "TSkinButton");
  // The form's components and its tab order both reach every control: a skinned one is asked
  // once, the one left plain twice.
  EXPECT_EQ(asked, 4);
  const size_t count = skinner->Controls.size();
  skinner->SkinChildren();
  EXPECT_EQ(skinner->Controls.size(), count);
  data->OnSkinControl = nullptr;
  delete unrelated;
}

TEST_F(SkinnersTest, RawDialogChildrenAreMappedByWindowClass) {
  HWND dlg = CreateWindowExW(WS_EX_DLGMODALFRAME, u"#32770", u"Box", WS_POPUP | WS_CAPTION | WS_SYSMENU, 150, 100, 320,
                             240, nullptr, nullptr, nullptr, nullptr);
  windows.push_back(dlg);
  auto child = [&](const char16_t* cls, DWORD style, int y) {
    return CreateWindowExW(0, cls, u"x", WS_CHILD | WS_VISIBLE | style, 10, y, 120, 20, dlg, nullptr, nullptr, nullptr);
  };
  struct Case {
    const char* what;
    HWND window;
    const char* skinner;
  } cases[] = {
      {"push button", child(u"Button", BS_PUSHBUTTON, 5), "TSkinButton"},
      {"default button", child(u"Button", BS_DEFPUSHBUTTON, 5), "TSkinButton"},
      {"check box", child(u"Button", BS_AUTOCHECKBOX, 30), "TSkinCheckBox"},
      {"three-state box", child(u"Button", BS_AUTO3STATE, 30), "TSkinCheckBox"},
      {"radio button", child(u"Button", BS_AUTORADIOBUTTON, 55), "TSkinRadioButton"},
      {"group box", child(u"Button", BS_GROUPBOX, 80), ""},
      {"owner-drawn button", child(u"Button", BS_OWNERDRAW, 80), ""},
      {"edit", child(u"Edit", WS_BORDER, 105), "TSkinEdit"},
      {"static", child(u"Static", 0, 130), ""},
      {"drop-down list", child(u"ComboBox", CBS_DROPDOWNLIST, 155), "TSkinComBox"},
      {"simple combo", child(u"ComboBox", CBS_SIMPLE, 155), ""},
      {"size grip", child(u"ScrollBar", SBS_SIZEGRIP, 180), "TSkinSizer"},
      {"scroll bar", child(u"ScrollBar", SBS_VERT, 180), "TSkinScrollbar"},
      {"inner dialog", child(u"#32770", 0, 200), "TSkinBoxH"},
  };
  HWND inner = cases[std::size(cases) - 1].window;
  HWND innerButton =
      CreateWindowExW(0, u"Button", u"in", WS_CHILD | WS_VISIBLE, 0, 0, 40, 16, inner, nullptr, nullptr, nullptr);
  SetActiveWindow(dlg);
  KvPumpMessages();
  TWinSkinForm* s = TSkinManage::Instance()->FindSkinned(dlg);
  ASSERT_NE(s, nullptr);
  for (const Case& c : cases) {
    TSkinControl* found = s->FindControlSkinner(c.window);
    EXPECT_EQ(found ? std::string(found->ClassName()) : "", c.skinner) << c.what;
  }
  TSkinControl* in = s->FindControlSkinner(innerButton);
  EXPECT_EQ(in ? std::string(in->ClassName()) : "", "TSkinButton");
  // A drop-down list has no edit to hook.
  auto* list = static_cast<TSkinComBox*>(s->FindControlSkinner(cases[9].window));
  EXPECT_EQ(list->Child(), nullptr);
  // The static's background comes from the dialog's face brush.
  HDC dc = GetDC(cases[8].window);
  EXPECT_EQ(
      SendMessageW(dlg, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(cases[8].window)),
      reinterpret_cast<LRESULT>(data->FaceBrush()));
  ReleaseDC(cases[8].window, dc);
}

TEST_F(SkinnersTest, GlyphControlsGetTheSkinsFramesCellByCell) {
  Show();
  TDataSkinButton* b = data->Buttons();
  const int cw = b->CheckMap->Width() / b->CheckFrame, rw = b->RadioMap->Width() / b->RadioFrame;
  // Cell k of a glyph shows source frame frames[k]; -1 leaves it magenta.
  auto cellsAre = [](TBitmap* glyph, TBitmap* source, int w, std::vector<int> frames) {
    if (glyph->Width() != w * static_cast<int>(frames.size()) || glyph->Height() != source->Height()) return false;
    for (size_t k = 0; k < frames.size(); ++k)
      for (const POINT& p : {POINT{2, 2}, POINT{5, 7}, POINT{7, 5}}) {
        const COLORREF want = frames[k] < 0 ? kSkinMagenta : ImagePixel(source, frames[k] * w + p.x, p.y);
        if (ImagePixel(glyph, static_cast<int>(k) * w + p.x, p.y) != want) return false;
      }
    return true;
  };
  auto* check = Make<TRzCheckBox>(5, 5, 80, 20);
  skinner->MapControl(check, form);
  // Without a five-frame image the grey cells stay empty.
  EXPECT_TRUE(cellsAre(&check->Glyphs, b->CheckMap.get(), cw, {0, 1, -1, 0, 1, -1, 2, 3, -1}));
  EXPECT_EQ(check->TransparentColour, 0xFF00FF);
  EXPECT_EQ(check->UseCustom, (std::vector<bool>{false, true}));  // switched off and on: reloaded
  EXPECT_EQ(check->Color(), static_cast<TColor>(data->Colour(csButtonFace)));
  auto* radio = Make<TRzRadioButton>(5, 30, 80, 20);
  skinner->MapControl(radio, form);
  EXPECT_TRUE(cellsAre(&radio->Glyphs, b->RadioMap.get(), rw, {0, 1, 0, 1, 2, 3}));
  auto* box = Make<TcxCheckBox>(5, 55, 80, 20);
  skinner->MapControl(box, form);
  EXPECT_TRUE(cellsAre(&box->Properties.Glyph, b->CheckMap.get(), cw, {0, 1, -1, 0, 1, -1}));
  EXPECT_EQ(box->Properties.Glyph.TransparentColor(), static_cast<TColor>(kSkinMagenta));
  // Leaving: the custom glyphs are switched off, the glyph property cleared.
  skinner->SkinnerOf(check)->Detach();
  EXPECT_FALSE(check->UseCustom.back());
  skinner->SkinnerOf(box)->Detach();
  EXPECT_TRUE(box->Properties.Glyph.Empty());
}

TEST_F(SkinnersTest, PageControlTakesTheSkinsTabFramesAsItsBackgrounds) {
  data->Skin3rd.Add("TOtherPageControl=advpagecontrol");
  auto* pages = Make<TOtherPageControl>(5, 5, 200, 120);
  Show();
  ASSERT_EQ(SkinnerName(pages), "TSkinAdvPage");
  TDataSkinObject* tabs = data->Element("Tabs");
  for (const auto& [bitmap, frame] : {std::pair{&pages->Normal, 1}, std::pair{&pages->Active, 2}}) {
    ASSERT_EQ(bitmap->Width(), 100);
    ASSERT_EQ(bitmap->Height(), 21);
    auto want = RenderSkinImage(TRect{0, 0, 100, 21}, tabs->Map.get(), tabs->Margins(), false, false, 5, frame);
    for (const POINT& p : {POINT{50, 1}, POINT{50, 10}, POINT{1, 10}})
      EXPECT_EQ(ImagePixel(bitmap, p.x, p.y), ImagePixel(want.get(), p.x, p.y)) << frame;
  }
  EXPECT_NE(ImagePixel(&pages->Normal, 50, 1), ImagePixel(&pages->Active, 50, 1));
  skinner->SkinnerOf(pages)->Detach();
  EXPECT_TRUE(pages->Normal.Empty());
  EXPECT_TRUE(pages->Active.Empty());
}

// ---- Pictures of the states -----------------------------------------------------------------------------------
using SkinnerPictureTest = SkinnersTest;

TEST_F(SkinnerPictureTest, PushButtonShowsEachStateFrame) {
  TEdit* other = Make<TEdit>(200, 10, 100, 22);
  TButton* button = Make<TButton>(20, 20, 90, 26);
  button->SetCaption("Go");
  int clicks = 0;
  button->OnClick = [&](TObject*) { ++clicks; };
  Show();
  ASSERT_EQ(SkinnerName(button), "TSkinButton");
  other->SetFocus();
  MoveTo(form->Handle(), 300, 200);  // on the form, away from the controls
  HWND w = button->Handle();
  const POINT probes[] = {{45, 0}, {45, 1}, {1, 13}, {45, 24}};
  auto shows = [&](int frame) {
    auto picture = Expected(data->Buttons(), 90, 26, 5, frame);
    for (const POINT& p : probes)
      if (At(w, p.x, p.y) != Shown(picture.get(), p.x, p.y, Face())) return false;
    return true;
  };
  // The frames differ at the probes, so each check below tells the states apart.
  for (int a = 1; a <= 5; ++a)
    for (int b = a + 1; b <= 5; ++b) {
      auto pa = Expected(data->Buttons(), 90, 26, 5, a), pb = Expected(data->Buttons(), 90, 26, 5, b);
      bool differ = false;
      for (const POINT& p : probes) differ = differ || Shown(pa.get(), p.x, p.y, 0) != Shown(pb.get(), p.x, p.y, 0);
      EXPECT_TRUE(differ) << a << " " << b;
    }
  EXPECT_TRUE(shows(1)) << "normal";
  MoveTo(w, 45, 13);
  EXPECT_TRUE(shows(4)) << "hot";
  LeftButton(true);
  EXPECT_TRUE(shows(2)) << "pressed";
  LeftButton(false);
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(shows(4)) << "hot again, focused underneath";
  // Pressed, then released outside: no click.
  LeftButton(true);
  MoveTo(form->Handle(), 300, 200);
  LeftButton(false);
  EXPECT_EQ(clicks, 1);
  auto* sk = static_cast<TSkinButton*>(skinner->SkinnerOf(button));
  EXPECT_EQ(GetFocus(), w);
  EXPECT_EQ(sk->Hot(), 0);
  EXPECT_FALSE(sk->Pressed());
  EXPECT_TRUE(shows(5)) << "focused";
  other->SetFocus();
  button->SetDefault(true);
  KvPumpMessages();
  button->Invalidate();
  EXPECT_TRUE(shows(5)) << "default";
  button->SetEnabled(false);
  KvPumpMessages();
  EXPECT_TRUE(shows(3)) << "disabled default";
}

TEST_F(SkinnerPictureTest, SkinChangeRepaintsTheControlsFromTheNewSkin) {
  TButton* button = Make<TButton>(20, 20, 90, 26);
  TPanel* panel = Make<TPanel>(20, 60, 90, 40);
  TEdit* other = Make<TEdit>(200, 20, 90, 22);
  Show();
  other->SetFocus();
  KvPumpMessages();
  const COLORREF before = At(button->Handle(), 45, 0);
  data->SetSkinFile("second.skn");
  ASSERT_TRUE(data->SkinLoaded());
  KvClockAdvance(300);
  KvPumpMessages();
  auto picture = Expected(data->Buttons(), 90, 26, 5, 1);
  for (int y : {0, 1, 24}) EXPECT_EQ(At(button->Handle(), 45, y), Shown(picture.get(), 45, y, Face())) << y;
  EXPECT_NE(At(button->Handle(), 45, 0), before);
  EXPECT_EQ(panel->Color(), data->Colour(csButtonFace));  // the new skin's face
}

TEST_F(SkinnerPictureTest, EmptyButtonImageLeavesTheNativeButton) {
  data->Buttons()->Map->SetSize(0, 0);
  TButton* button = Make<TButton>(20, 20, 90, 26);
  button->SetCaption("Plain");
  Show();
  ASSERT_EQ(SkinnerName(button), "TSkinButton");
  // The platform's own push button: a face-coloured body in the system colours.
  EXPECT_EQ(At(button->Handle(), 45, 3), GetSysColor(COLOR_BTNFACE));
}

TEST_F(SkinnerPictureTest, CheckBoxShowsTheTwelveFrameStates) {
  TCheckBox* box = Make<TCheckBox>(20, 20, 120, 20);
  box->SetCaption("Keep");
  box->AllowGrayed = true;
  Show();
  ASSERT_EQ(SkinnerName(box), "TSkinCheckBox");
  auto* s = static_cast<TSkinCheckBox*>(skinner->SkinnerOf(box));
  TBitmap* image = data->Buttons()->CheckMap.get();
  ASSERT_EQ(data->Buttons()->CheckFrame, 12);
  HWND w = box->Handle();
  const int top = (20 - image->Height()) / 2;
  auto shows = [&](int frame) {
    for (const POINT& p : {POINT{2, 2}, POINT{5, 7}, POINT{7, 5}})
      if (At(w, p.x, top + p.y) != Shown(image, 16 * (frame - 1) + p.x, p.y, Face())) return false;
    return true;
  };
  struct State {
    TCheckBoxState state;
    bool enabled;
    int frame;
  } states[] = {{cbUnchecked, true, 1},  {cbChecked, true, 5},  {cbGrayed, true, 9},
                {cbUnchecked, false, 4}, {cbChecked, false, 8}, {cbGrayed, false, 12}};
  for (const State& st : states) {
    box->SetEnabled(st.enabled);
    box->SetState(st.state);
    box->Invalidate();
    KvPumpMessages();
    EXPECT_EQ(s->StateFrame(), st.frame) << st.state << " " << st.enabled;
    EXPECT_TRUE(shows(st.frame)) << st.state << " " << st.enabled;
  }
}

TEST_F(SkinnerPictureTest, StatusBarPanelsProgressAndHeaderFromTheSkin) {
  TStatusBar* bar = Make<TStatusBar>(0, 300, 480, 22);
  bar->Panels()->Add()->SetWidth(120);
  bar->Panels()->Add()->SetWidth(60);
  TProgressBar* progress = Make<TProgressBar>(20, 20, 200, 16);
  progress->SetPosition(50);
  TListView* list = Make<TListView>(20, 60, 300, 120);
  list->SetViewStyle(vsReport);
  list->Columns()->Add()->SetCaption("Name");
  list->Columns()->Add()->SetCaption("Size");
  Show();
  ASSERT_EQ(SkinnerName(bar), "TSkinStatusBar");
  ASSERT_EQ(SkinnerName(progress), "TSkinProgress");
  ASSERT_EQ(SkinnerName(list), "TSkinListView");

  // Panels: lowered edges; the last one reaches the bar's right end.
  TDataSkinObject* edges = data->Element("StatusBarEdges");
  HWND sb = bar->Handle();
  RECT r{};
  ASSERT_TRUE(SendMessageW(sb, SB_GETRECT, 0, reinterpret_cast<LPARAM>(&r)));
  auto edge = Expected(edges, r.right + 2 - r.left, r.bottom - r.top, 3, 1);
  EXPECT_EQ(At(sb, r.left, r.top + 5), Shown(edge.get(), 0, 5, Face()));
  RECT bw{};
  GetWindowRect(sb, &bw);
  ASSERT_TRUE(SendMessageW(sb, SB_GETRECT, 1, reinterpret_cast<LPARAM>(&r)));
  auto last = Expected(edges, (bw.right - bw.left) - r.left, r.bottom - r.top, 3, 1);
  EXPECT_EQ(At(sb, bw.right - bw.left - 1, r.top + 5), Shown(last.get(), (bw.right - bw.left) - r.left - 1, 5, Face()));

  // Progress at 50 of 0..100: the bar's frame over the left half, the track's over the right.
  TDataSkinObject* p = data->Element("Progress");
  auto track = Expected(p, 200, 16, 2, 1), filled = Expected(p, 100, 16, 2, 2);
  HWND pw = progress->Handle();
  EXPECT_EQ(At(pw, 50, 8), Shown(filled.get(), 50, 8, Face()));
  EXPECT_EQ(At(pw, 150, 8), Shown(track.get(), 150, 8, Face()));
  EXPECT_NE(Shown(filled.get(), 50, 8, Face()), Shown(track.get(), 150, 8, Face()));

  // Header: frame 1, the first column hot under the pointer, plain again when it leaves.
  HWND header = reinterpret_cast<HWND>(SendMessageW(list->Handle(), LVM_GETHEADER, 0, 0));
  ASSERT_NE(skinner->FindControlSkinner(header), nullptr);
  TDataSkinObject* hb = data->Element("Headerbar");
  RECT item{};
  SendMessageW(header, HDM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item));
  const int iw = item.right - item.left, ih = item.bottom - item.top;
  auto normal = Expected(hb, iw, ih, 2, 1), hot = Expected(hb, iw, ih, 2, 2);
  EXPECT_EQ(At(header, item.left + iw - 3, 1), Shown(normal.get(), iw - 3, 1, Face()));
  MoveTo(header, item.left + iw / 2, 3);
  EXPECT_EQ(static_cast<TSkinHeader*>(skinner->FindControlSkinner(header))->HotIndex, 0);
  EXPECT_EQ(At(header, item.left + iw - 3, 1), Shown(hot.get(), iw - 3, 1, Face()));
  MoveTo(form->Handle(), 440, 220);
  EXPECT_EQ(static_cast<TSkinHeader*>(skinner->FindControlSkinner(header))->HotIndex, -1);
  EXPECT_EQ(At(header, item.left + iw - 3, 1), Shown(normal.get(), iw - 3, 1, Face()));
}

TEST_F(SkinnerPictureTest, ChunkedProgressFillsPositionOverUpperAndEmptyRangesDrawNoBar) {
  std::string ini = skintest::DefaultDescription();
  ini.replace(ini.find("[Progress]"), 10, "[Progress]\nStyle=1");
  const auto container = skintest::ContainerWith(ini);
  ASSERT_TRUE(data->SetSkinBytes(container.data(), container.size()));
  TProgressBar* progress = Make<TProgressBar>(20, 20, 150, 16);
  progress->SetMin(50);
  progress->SetMax(150);
  progress->SetPosition(100);
  Show();
  TDataSkinObject* chunk = data->Element("Progress.Chunk");
  ASSERT_EQ(chunk->Tile, 1);
  HWND pw = progress->Handle();
  const int x0 = chunk->LeftMargin + 2, end = x0 + 150 * 100 / 150;
  const int sy = 8 - (16 - chunk->Map->Height()) / 2;
  const COLORREF piece = ImagePixel(chunk->Map.get(), 3, sy);
  EXPECT_EQ(At(pw, end - 1, 8), ImagePixel(chunk->Map.get(), (end - 1 - x0) % chunk->Map->Width(), sy));
  EXPECT_NE(At(pw, end + 1, 8), piece);  // the row stops at two thirds
  // An upper bound of 0 draws the track alone.
  SendMessageW(pw, PBM_SETRANGE32, 0, 0);
  InvalidateRect(pw, nullptr, TRUE);
  KvPumpMessages();
  EXPECT_NE(At(pw, x0 + 3, 8), piece);
}

TEST_F(SkinnerPictureTest, ComboAndEditBordersFromTheSkin) {
  TComboBox* combo = Make<TComboBox>(20, 20, 160, 21);
  TEdit* edit = Make<TEdit>(20, 60, 160, 22);
  TButton* button = Make<TButton>(220, 20, 80, 24);
  Show();
  ASSERT_EQ(SkinnerName(combo), "TSkinComBox");
  ASSERT_EQ(SkinnerName(edit), "TSkinEdit");
  button->SetFocus();
  KvPumpMessages();
  auto* cb = static_cast<TDataSkinBorder*>(data->Element("ComboButton"));
  ASSERT_EQ(cb->Style, 2);  // the skin's edge and drop button combined into one picture
  HWND cw = combo->Handle();
  RECT wr{};
  GetWindowRect(cw, &wr);
  const int w = wr.right - wr.left, h = wr.bottom - wr.top;
  const POINT probes[] = {{w - 9, 2}, {w / 2, 0}, {0, h / 2}};
  auto shows = [&](int frame) {
    auto picture = Expected(cb, w, h, cb->Frames(), frame);
    for (const POINT& p : probes) {
      const COLORREF c = ImagePixel(picture.get(), p.x, p.y);
      if (c != kSkinMagenta && At(cw, p.x, p.y) != c) return false;
    }
    return true;
  };
  EXPECT_TRUE(shows(1)) << "normal";
  combo->SetFocus();
  KvPumpMessages();
  EXPECT_TRUE(shows(4)) << "focused";
  button->SetFocus();
  combo->SetEnabled(false);
  KvPumpMessages();
  EXPECT_TRUE(shows(3)) << "disabled";
  // The edit: a one-pixel shadow frame with white inside.
  HWND ew = edit->Handle();
  EXPECT_EQ(At(ew, 0, 11), SkinColorToRGB(data->Colour(csButtonShadow)));
  EXPECT_EQ(At(ew, 1, 11), RGB(255, 255, 255));
}

TEST_F(SkinnerPictureTest, GlyphButtonLaysOutItsGlyphAndCountsAtLeastOneGlyph) {
  data->Skin3rd.Add("TOtherBitButton=bitbtn");
  auto* button = Make<TOtherBitButton>(20, 20, 100, 30);
  // Two 16 x 16 glyphs on white: a red square, then a blue one.
  button->Glyph.SetPixelFormat(pf24bit);
  button->Glyph.SetSize(32, 16);
  HDC g = button->Glyph.Canvas()->Handle();
  RECT all{0, 0, 32, 16}, red{4, 4, 12, 12}, blue{20, 4, 28, 12};
  FillRect(g, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  HBRUSH r = CreateSolidBrush(RGB(255, 0, 0)), b = CreateSolidBrush(RGB(0, 0, 255));
  FillRect(g, &red, r);
  FillRect(g, &blue, b);
  DeleteObject(r);
  DeleteObject(b);
  button->SetCaption("");
  Show();
  ASSERT_EQ(SkinnerName(button), "TSkinBitButton");
  HWND w = button->Handle();
  // The box of the pixels of one colour in the button.
  auto box = [&](COLORREF c) {
    RECT found{1000, 1000, -1, -1};
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 100; ++x)
        if (At(w, x, y) == c)
          found = RECT{std::min<LONG>(found.left, x), std::min<LONG>(found.top, y), std::max<LONG>(found.right, x + 1),
                       std::max<LONG>(found.bottom, y + 1)};
    return found;
  };
  struct Case {
    const char* what;
    int glyphs, margin, spacing;
    TButtonLayout layout;
    int gx, gy;  // where the glyph's top-left lands
    bool blueShows;
  } cases[] = {
      // Without a caption the spacing is 0 and an automatic margin centres the glyph.
      {"automatic margin", 2, -1, 4, blGlyphLeft, (100 - 16) / 2, (30 - 16 + 1) / 2, false},
      {"given margin", 2, 6, 4, blGlyphLeft, 6, 7, false},
      {"right", 2, 6, 4, blGlyphRight, 100 - 6 - 16, 7, false},
      {"top", 2, 3, 4, blGlyphTop, (100 - 16 + 1) / 2, 3, false},
      {"bottom", 2, 3, 4, blGlyphBottom, (100 - 16 + 1) / 2, 30 - 3 - 16, false},
      // No glyph count (or one below 1): the strip is one glyph, 32 wide.
      {"no glyph count", 0, 6, 4, blGlyphLeft, 6, 7, true},
      {"negative glyph count", -3, 6, 4, blGlyphLeft, 6, 7, true},
  };
  for (const Case& c : cases) {
    button->NumGlyphs = c.glyphs;
    button->Margin = c.margin;
    button->Spacing = c.spacing;
    button->Layout = c.layout;
    button->Invalidate();
    KvPumpMessages();
    const RECT rb = box(RGB(255, 0, 0));
    EXPECT_EQ(rb.left, c.gx + 4) << c.what;
    EXPECT_EQ(rb.top, c.gy + 4) << c.what;
    EXPECT_EQ(rb.right - rb.left, 8) << c.what;
    EXPECT_EQ(box(RGB(0, 0, 255)).right > 0, c.blueShows) << c.what;
    EXPECT_NE(At(w, c.gx + 1, c.gy + 1), RGB(255, 255, 255)) << c.what << ": the glyph's ground is transparent";
  }
  // Disabled with two glyphs: the embossed look, no red.
  button->NumGlyphs = 2;
  button->SetEnabled(false);
  KvPumpMessages();
  EXPECT_EQ(box(RGB(255, 0, 0)).right, -1);
  EXPECT_EQ(box(GetSysColor(COLOR_BTNSHADOW)).right - box(GetSysColor(COLOR_BTNSHADOW)).left, 8);
}

TEST_F(SkinnerPictureTest, PanelsGroupBoxesRadioButtonsAndToolBarsTakeTheSkin) {
  data->Skin3rd.Add("TGroupBox=groupbox");
  data->Skin3rd.Add("TRadioButton=radiobutton");
  data->Options >> xoToolbarBK;
  TPanel* panel = Make<TPanel>(10, 40, 150, 60);
  panel->SetColor(RGB(10, 20, 30));
  TGroupBox* group = Make<TGroupBox>(180, 40, 150, 80);
  group->SetCaption("Options");
  TRadioButton* radio = Make<TRadioButton>(10, 130, 120, 20);
  radio->SetCaption("One");
  TToolBar* bar = Make<TToolBar>(0, 0, 480, 30);
  Show();
  ASSERT_EQ(SkinnerName(panel), "TSkinBox");
  ASSERT_EQ(SkinnerName(group), "TSkinGroupBox");
  ASSERT_EQ(SkinnerName(radio), "TSkinRadioButton");
  ASSERT_EQ(SkinnerName(bar), "TSkinBox");
  // The panel takes the face colour while skinned.
  EXPECT_EQ(panel->Color(), data->Colour(csButtonFace));
  EXPECT_EQ(At(panel->Handle(), 75, 30), Face());
  // The group box: the face inside a rounded frame in the shadow colour.
  HWND gw = group->Handle();
  EXPECT_EQ(At(gw, 1, 50), SkinColorToRGB(data->Colour(csButtonShadow)));
  EXPECT_EQ(At(gw, 75, 50), Face());
  // The radio button: frames 1 and 5 of the image, 4 and 8 when disabled.
  TBitmap* image = data->Buttons()->RadioMap.get();
  HWND rw = radio->Handle();
  const int top = (20 - image->Height()) / 2;
  auto shows = [&](int frame) {
    for (const POINT& p : {POINT{7, 7}, POINT{4, 7}})
      if (At(rw, p.x, top + p.y) != Shown(image, 16 * (frame - 1) + p.x, p.y, Face())) return false;
    return true;
  };
  EXPECT_TRUE(shows(1));
  radio->SetChecked(true);
  KvPumpMessages();
  EXPECT_TRUE(shows(5));
  radio->SetEnabled(false);
  KvPumpMessages();
  EXPECT_TRUE(shows(8));
  radio->SetChecked(false);
  KvPumpMessages();
  EXPECT_TRUE(shows(4));
  // The tool bar: the skin's tool-bar picture stretched over it, flat.
  EXPECT_TRUE(bar->Flat());
  EXPECT_EQ(At(bar->Handle(), 240, 0), ImagePixel(data->Element("Toolbar")->Map.get(), 5, 0));
  // Leaving: the panel's own colour back, the tool bar's painter gone.
  skinner->ClearControls();
  EXPECT_EQ(panel->Color(), static_cast<TColor>(RGB(10, 20, 30)));
  EXPECT_FALSE(bar->OnCustomDraw);
}

TEST_F(SkinnerPictureTest, FlatSpeedButtonShowsItsFrameOnlyWhileHotPressedOrDown) {
  data->Skin3rd.Add("TSpeedButton=speedbutton");
  auto* speed = new TSpeedButton(form);
  speed->SetParent(form);
  speed->SetBounds(40, 40, 60, 24);
  speed->SetFlat(true);
  int clicks = 0;
  speed->OnClick = [&](TObject*) { ++clicks; };
  Show();
  ASSERT_EQ(SkinnerName(speed), "TSkinSpeedButton");
  HWND w = form->Handle();
  // Client co-ordinates of the form to window co-ordinates of the skinned window.
  POINT origin{0, 0};
  ClientToScreen(w, &origin);
  RECT wr{};
  GetWindowRect(w, &wr);
  const int ox = origin.x - wr.left + 40, oy = origin.y - wr.top + 40;
  auto shows = [&](int frame) {
    if (frame == 0) return At(w, ox + 30, oy + 1) == Face() && At(w, ox + 30, oy) == Face();
    auto picture = Expected(data->Buttons(), 60, 24, 5, frame);
    for (const POINT& p : {POINT{30, 0}, POINT{30, 1}, POINT{1, 12}})
      if (At(w, ox + p.x, oy + p.y) != Shown(picture.get(), p.x, p.y, Face())) return false;
    return true;
  };
  EXPECT_TRUE(shows(0)) << "flat and normal: no frame";
  MoveTo(w, 70, 52);
  EXPECT_TRUE(shows(4)) << "hot";
  LeftButton(true);
  EXPECT_TRUE(shows(2)) << "pressed";
  LeftButton(false);
  EXPECT_EQ(clicks, 1);
  MoveTo(w, 300, 250);
  speed->Perform(CM_MOUSELEAVE, 0, 0);  // as the application's idle step tells it
  KvPumpMessages();
  EXPECT_TRUE(shows(0)) << "left again";
  speed->SetGroupIndex(1);
  speed->SetDown(true);
  KvPumpMessages();
  EXPECT_TRUE(shows(2)) << "down";
}

TEST_F(SkinnerPictureTest, UpDownInsideAnEditKeepsOffTheEditsBorder) {
  static const bool registered = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = reinterpret_cast<LPCWSTR>(u"TestSpinWindow");
    return RegisterClassW(&wc) != 0;
  }();
  ASSERT_TRUE(registered);
  TEdit* edit = Make<TEdit>(20, 20, 160, 22);
  Show();
  ASSERT_EQ(SkinnerName(edit), "TSkinEdit");
  RECT client{};
  GetClientRect(edit->Handle(), &client);
  // The spin fills the edit's client height at its right end.
  HWND spin = CreateWindowExW(0, u"TestSpinWindow", nullptr, WS_CHILD | WS_VISIBLE, client.right - 16, 0, 16,
                              client.bottom, edit->Handle(), nullptr, nullptr, nullptr);
  edit->Invalidate();
  KvPumpMessages();
  auto* skin = static_cast<TSkinEdit*>(skinner->SkinnerOf(edit));
  ASSERT_NE(skin->UpDown(), nullptr);
  EXPECT_TRUE(skin->UpDown()->InEdit);
  EXPECT_EQ(skinner->FindControlSkinner(spin), skin->UpDown());
  RECT sr{}, er{};
  GetWindowRect(spin, &sr);
  GetWindowRect(edit->Handle(), &er);
  // Pulled in so that it stays 3 pixels inside the edit: top, bottom and right.
  const int top = std::max<LONG>(0, 3 - (sr.top - er.top));
  const int right = 16 - std::max<LONG>(0, 3 - (er.right - sr.right));
  const int lower = (sr.bottom - sr.top) - std::max<LONG>(0, 3 - (er.bottom - sr.bottom));
  const COLORREF dark = SkinColorToRGB(data->Colour(csButtonDkShadow));
  const COLORREF shadow = SkinColorToRGB(data->Colour(csButtonShadow));
  EXPECT_EQ(At(spin, 0, top), dark);        // the upper half's outline
  EXPECT_EQ(At(spin, 0, lower - 1), dark);  // the lower half's outline
  EXPECT_EQ(At(spin, 2, top + 1), Face());
  ASSERT_GT(top, 0);  // the edit's border is under 3 pixels wide
  ASSERT_LT(right, 16);
  EXPECT_EQ(At(spin, 15, top + 2), RGB(255, 255, 255));  // the edit's own ground stays
  EXPECT_EQ(At(spin, 5, 0), RGB(255, 255, 255));
  // Pressed in the upper half: that half darkens, the lower one stays.
  MoveTo(spin, 4, top + 2);
  LeftButton(true);
  EXPECT_EQ(At(spin, 2, top + 1), shadow);
  EXPECT_EQ(At(spin, 2, lower - 2), Face());
  LeftButton(false);
  DestroyWindow(spin);
}

TEST_F(SkinnerPictureTest, DatePickerArrowClickReachesThePickerAtTheArrowsPlace) {
  data->Skin3rd.Add("TOtherDatePicker=datetimepicker");
  auto* picker = Make<TOtherDatePicker>(20, 20, 140, 24);
  Show();
  ASSERT_EQ(SkinnerName(picker), "TSkinDateTime");
  TArrowButton* arrow = static_cast<TSkinDateTime*>(skinner->SkinnerOf(picker))->Arrow();
  ASSERT_NE(arrow, nullptr);
  const int aw = GetSystemMetrics(SM_CXHSCROLL);
  EXPECT_EQ(arrow->Left(), 140 - aw - 4);
  EXPECT_EQ(arrow->Width(), aw);
  EXPECT_EQ(arrow->Height(), 24 - 4);
  EXPECT_TRUE(GetWindowLongA(picker->Handle(), GWL_STYLE) & WS_CLIPCHILDREN);
  // The arrow shows the skin's combo arrow, frame 1.
  TDataSkinObject* image = data->Element("ComboxArrow");
  ASSERT_TRUE(image && image->HasImage());
  TBitmap expected;
  expected.SetPixelFormat(pf24bit);
  expected.SetSize(aw, 20);
  DrawSkinFrame(expected.Canvas()->Handle(), TRect{0, 0, aw, 20}, image->Map.get(), false, image->Frames(), 1);
  EXPECT_EQ(At(arrow->Handle(), aw / 2, 10), ImagePixel(&expected, aw / 2, 10));
  // The picker's border: shadow outside, white inside.
  EXPECT_EQ(At(picker->Handle(), 0, 12), SkinColorToRGB(data->Colour(csButtonShadow)));
  EXPECT_EQ(At(picker->Handle(), 1, 12), RGB(255, 255, 255));
  // A click on the arrow: a press and a release at the same place of the picker.
  const POINT p = ScreenOf(arrow->Handle(), 3, 5);
  KvInjectClick(p.x, p.y);
  KvPumpMessages();
  ASSERT_EQ(picker->Presses.size(), 2u);
  EXPECT_EQ(picker->Presses[0].first, static_cast<UINT>(WM_LBUTTONDOWN));
  EXPECT_EQ(picker->Presses[1].first, static_cast<UINT>(WM_LBUTTONUP));
  for (const auto& [msg, at] : picker->Presses) {
    EXPECT_EQ(at.x, arrow->Left() + 3);
    EXPECT_EQ(at.y, 5);
  }
}

TEST_F(SkinnerPictureTest, RightToLeftComboDrawsItsButtonAtTheLeftAndABorderlessEditStaysPlain) {
  // Without a SunkEdge element the drop button is drawn on its own, beside the native edge.
  std::string ini = skintest::DefaultDescription();
  const size_t at = ini.find("[SunkEdge]");
  ini.erase(at, ini.find("[ExtraImages]") - at);
  const auto container = skintest::ContainerWith(ini);
  ASSERT_TRUE(data->SetSkinBytes(container.data(), container.size()));
  Show();
  auto* button = static_cast<TDataSkinBorder*>(data->Element("ComboButton"));
  ASSERT_EQ(button->Style, 0);
  HWND parent = form->Handle();
  auto combo = [&](DWORD ex, int y) {
    HWND w = CreateWindowExW(ex, u"ComboBox", nullptr, WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST, 20, y, 150, 22, parent,
                             nullptr, nullptr, nullptr);
    windows.push_back(w);
    skinner->MapWindow(w);
    InvalidateRect(w, nullptr, TRUE);
    KvPumpMessages();
    return w;
  };
  HWND ltr = combo(0, 20), rtl = combo(WS_EX_LEFTSCROLLBAR, 60);
  const int a = GetSystemMetrics(SM_CXHSCROLL), pw = a + 2;
  RECT r{};
  GetWindowRect(ltr, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  // Frame 1 of the strip, and frame 1 of its mirror (the strip's frames run backwards there).
  TBitmap normal, mirrored;
  for (TBitmap* b : {&normal, &mirrored}) {
    b->SetPixelFormat(pf24bit);
    b->SetSize(pw, h);
  }
  DrawSkinFrame(normal.Canvas()->Handle(), TRect{0, 0, pw, h}, button->Map.get(), false, 4, 1);
  DrawSkinFrame(mirrored.Canvas()->Handle(), TRect{0, 0, pw, h}, button->Map2.get(), false, 4, 4);
  for (int x : {2, pw / 2, pw - 3}) {
    EXPECT_EQ(At(ltr, w - pw + x, h / 2 - 4), ImagePixel(&normal, x, h / 2 - 4)) << x;
    EXPECT_EQ(At(rtl, x, h / 2 - 4), ImagePixel(&mirrored, x, h / 2 - 4)) << x;
  }
  // An edit without a border gets no skinned border.
  HWND edit =
      CreateWindowExW(0, u"Edit", u"plain", WS_CHILD | WS_VISIBLE, 20, 100, 150, 22, parent, nullptr, nullptr, nullptr);
  windows.push_back(edit);
  const COLORREF before = At(edit, 0, 11);
  skinner->MapWindow(edit);
  ASSERT_EQ(std::string(skinner->FindControlSkinner(edit)->ClassName()), "TSkinEdit");
  InvalidateRect(edit, nullptr, TRUE);
  KvPumpMessages();
  EXPECT_EQ(At(edit, 0, 11), before);
  EXPECT_NE(At(edit, 0, 11), SkinColorToRGB(data->Colour(csButtonShadow)));
}

// ---- Scroll bars -------------------------------------------------------------------------------------------
TEST_F(SkinnerPictureTest, ScrollBarOverlayShowsEachPartsStateAndHandsPressesToThePlatform) {
  auto* view = Make<TScrollingView>(20, 20, 160, 200);
  Show();
  ASSERT_EQ(SkinnerName(view), "TSkinScrollbar");
  auto* sk = static_cast<TSkinScrollbar*>(skinner->SkinnerOf(view));
  SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS, 0, 100, 40, 0, 0};
  SetScrollInfo(view->Handle(), SB_VERT, &si, TRUE);
  view->Invalidate();
  KvPumpMessages();
  TWScrollbar* bar = sk->Vertical();
  ASSERT_TRUE(bar->Shown());
  EXPECT_FALSE(sk->Horizontal()->Shown());
  HWND w = bar->Handle();
  EXPECT_EQ(GetWindowLongA(w, GWL_EXSTYLE), WS_EX_TOOLWINDOW);
  // Exactly over the native bar, directly above the control.
  auto native = [&] {
    SCROLLBARINFO info{};
    info.cbSize = sizeof info;
    EXPECT_TRUE(GetScrollBarInfo(view->Handle(), OBJID_VSCROLL, &info));
    return info;
  };
  RECT over{};
  GetWindowRect(w, &over);
  const RECT nat = native().rcScrollBar;
  EXPECT_TRUE(over.left == nat.left && over.top == nat.top && over.right == nat.right && over.bottom == nat.bottom);
  EXPECT_EQ(GetWindow(view->Handle(), GW_HWNDPREV), w);
  const int L = over.bottom - over.top, A = GetSystemMetrics(SM_CXHSCROLL);

  TDataSkinObject* strip = data->Element("Scrollbar");
  TDataSkinObject* thumb = data->Element("VertScrollThumb");
  TDataSkinObject* track = data->Element("VertScroll");
  const int size = strip->Map->Height();
  // The arrows' and grips' frames are flat inside their border.
  auto frameFill = [&](int frame) { return ImagePixel(strip->Map.get(), (frame - 1) * size + 3, 3); };
  auto arrows = [&](int first, int second) {
    return At(w, 4, 4) == frameFill(first) && At(w, 4, L - 5) == frameFill(second);
  };
  auto thumbIs = [&](int frame, int grip) {
    const SCROLLBARINFO info = native();
    const int top = info.xyThumbTop, len = info.xyThumbBottom - top;
    auto picture = Expected(thumb, size, len, thumb->Frame, frame);
    const int gripTop = top + (len - size) / 2;
    // The grip's middle ridge, and the thumb showing through beside it.
    const COLORREF ridge = ImagePixel(strip->Map.get(), (grip - 1) * size + 8, 8);
    return At(w, 5, top + 6) == Shown(picture.get(), 5, 6, Face()) && At(w, 8, gripTop + 8) == ridge &&
           At(w, 8, gripTop + 7) == Shown(picture.get(), 8, gripTop + 7 - top, Face());
  };
  auto trackIs = [&](int frame, int y) {
    auto picture = Expected(track, size, L - 2 * A, 4, frame);
    return At(w, 5, y) == Shown(picture.get(), 5, y - A, Face());
  };
  const int thumbTop = native().xyThumbTop, thumbEnd = native().xyThumbBottom;
  ASSERT_GT(thumbEnd - thumbTop, size);  // long enough for its grip

  MoveTo(form->Handle(), 300, 300);
  EXPECT_TRUE(arrows(9, 13)) << "normal";
  EXPECT_TRUE(thumbIs(1, 20));
  EXPECT_TRUE(trackIs(1, thumbEnd + 10));
  MoveTo(w, 8, 8);
  EXPECT_TRUE(arrows(12, 13)) << "first arrow hot";
  EXPECT_TRUE(thumbIs(1, 20));
  MoveTo(w, 8, thumbTop + 6);
  EXPECT_TRUE(arrows(9, 13));
  EXPECT_TRUE(thumbIs(3, 22)) << "thumb hot";
  MoveTo(form->Handle(), 300, 300);
  EXPECT_TRUE(thumbIs(1, 20)) << "left";

  // A press goes to the platform as a press on the native bar; while it tracks, the arrow
  // shows its pressed frame.
  std::vector<COLORREF> during;
  view->OnRequest = [&](int code) {
    if (code != SB_LINEUP && code != SB_LINEDOWN) return;
    UpdateWindow(w);
    during.push_back(At(w, 4, code == SB_LINEUP ? 4 : L - 5));
  };
  MoveTo(w, 8, 8);
  LeftButton(true);
  LeftButton(false);
  MoveTo(w, 8, L - 8);
  LeftButton(true);
  LeftButton(false);
  EXPECT_EQ(view->Codes, (std::vector<int>{SB_LINEUP, SB_ENDSCROLL, SB_LINEDOWN, SB_ENDSCROLL}));
  EXPECT_EQ(during, (std::vector<COLORREF>{frameFill(10), frameFill(14)}));
  EXPECT_EQ(GetScrollPos(view->Handle(), SB_VERT), 1);
  view->OnRequest = nullptr;

  // A drag of the thumb: the platform tracks it, the thumb moves, the overlay follows.
  view->Codes.clear();
  const int before = native().xyThumbTop;
  MoveTo(w, 8, before + 10);
  const POINT start = ScreenOf(w, 8, before + 10);
  KvInjectMouseButton(VK_LBUTTON, TRUE);
  KvInjectMouseMove(start.x, start.y + 20);
  KvInjectMouseMove(start.x, start.y + 40);
  KvInjectMouseButton(VK_LBUTTON, FALSE);
  KvPumpMessages();
  ASSERT_GE(view->Codes.size(), 3u);
  EXPECT_EQ(view->Codes[0], SB_THUMBTRACK);
  EXPECT_EQ(view->Codes[view->Codes.size() - 2], SB_THUMBPOSITION);
  EXPECT_EQ(view->Codes.back(), SB_ENDSCROLL);
  const int after = native().xyThumbTop;
  EXPECT_GE(after, before + 38);
  EXPECT_LE(after, before + 42);
  EXPECT_TRUE(thumbIs(1, 20)) << "at its new place";
  EXPECT_TRUE(trackIs(1, before + 6)) << "where it was";

  // Disabled: the track's disabled frame and no thumb.
  view->SetEnabled(false);
  KvPumpMessages();
  EXPECT_TRUE(trackIs(3, after + 6));
  view->SetEnabled(true);
  KvPumpMessages();
  // Hidden with its control, laid out again when the control shows.
  view->SetVisible(false);
  KvPumpMessages();
  EXPECT_FALSE(IsWindowVisible(w));
  view->SetVisible(true);
  KvPumpMessages();
  EXPECT_TRUE(bar->Shown());
  EXPECT_TRUE(IsWindowVisible(w));
}

TEST_F(SkinnerPictureTest, MemoGetsItsOverlayWhenItsBarComesAndShortBarsHalveTheirArrows) {
  auto* memo = Make<TMemo>(20, 20, 160, 100);
  auto* low = Make<TScrollingView>(200, 20, 60, 24);
  Show();
  ASSERT_EQ(SkinnerName(memo), "TSkinScrollbar");
  auto* sk = static_cast<TSkinScrollbar*>(skinner->SkinnerOf(memo));
  EXPECT_FALSE(sk->Vertical()->Shown());
  // Its border in the skin's colours: shadow outside, face inside.
  EXPECT_EQ(At(memo->Handle(), 0, 40), SkinColorToRGB(data->Colour(csButtonShadow)));
  EXPECT_EQ(At(memo->Handle(), 1, 40), Face());
  ShowScrollBar(memo->Handle(), SB_VERT, TRUE);
  memo->Invalidate();
  KvPumpMessages();
  EXPECT_TRUE(sk->Vertical()->Shown());
  EXPECT_FALSE(sk->Horizontal()->Shown());
  // A new window for the memo (its scroll bars changed): a fresh skinner for it.
  memo->SetScrollBars(ssBoth);
  KvPumpMessages();
  auto* fresh = dynamic_cast<TSkinScrollbar*>(skinner->SkinnerOf(memo));
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->Handle(), memo->Handle());
  EXPECT_EQ(fresh->State(), 1);
  EXPECT_TRUE(fresh->Vertical()->Shown());
  EXPECT_TRUE(fresh->Horizontal()->Shown());
  int forMemo = 0;
  for (TSkinControl* c : skinner->Controls) forMemo += c->Control() == memo;
  EXPECT_EQ(forMemo, 1);

  // 24 pixels: two arrows of 12, the track and the thumb gone.
  TWScrollbar* bar = static_cast<TSkinScrollbar*>(skinner->SkinnerOf(low))->Vertical();
  ASSERT_TRUE(bar->Shown());
  TBitmap* strip = data->Element("Scrollbar")->Map.get();
  const int size = strip->Height();
  for (const auto& [y, frame] : {std::pair{3, 9}, std::pair{20, 13}})
    EXPECT_EQ(At(bar->Handle(), 3, y), ImagePixel(strip, (frame - 1) * size + 3, 3)) << y;
}

TEST_F(SkinnerPictureTest, ComboListsScrollBarsFromTheSkin) {
  auto* simple = Make<TComboBox>(200, 20, 120, 120);
  simple->SetStyle(csSimple);
  Show();
  for (int i = 0; i < 40; ++i) SendMessageW(simple->Handle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"item"));
  HWND simpleList = nullptr;
  for (HWND c = GetWindow(simple->Handle(), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    if (LowerCase(SkinClassName(c)) == "listbox") simpleList = c;
  ASSERT_NE(simpleList, nullptr);
  auto* listSkinner = dynamic_cast<TSkinScrollbarH*>(skinner->FindControlSkinner(simpleList));
  ASSERT_NE(listSkinner, nullptr);
  InvalidateRect(simpleList, nullptr, TRUE);
  KvPumpMessages();
  TWScrollbar* overlay = listSkinner->Vertical();
  ASSERT_TRUE(overlay->Shown());
  EXPECT_FALSE(listSkinner->Horizontal()->Shown());
  TBitmap* strip = data->Element("Scrollbar")->Map.get();
  const int size = strip->Height();
  auto fill = [&](int frame) { return ImagePixel(strip, (frame - 1) * size + 3, 3); };
  EXPECT_EQ(At(overlay->Handle(), 4, 4), fill(9));
  EXPECT_EQ(At(overlay->Handle(), 4, overlay->Height() - 5), fill(13));

  // A drop-down list is a popup: its bar is painted into its frame.
  HWND combo = CreateWindowExW(0, u"ComboBox", u"", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST, 20, 20, 120, 22,
                               form->Handle(), nullptr, nullptr, nullptr);
  for (int i = 0; i < 40; ++i) SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"item"));
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(combo, &info));
  // The combo skinner of a framework combo box attaches it so; here straight to the list.
  (new TComboxScrollBar(form))->AttachWindow(info.hwndList, data, skinner, &skinner->ControlCanvas);
  SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
  KvPumpMessages();
  SCROLLBARINFO bar{};
  bar.cbSize = sizeof bar;
  ASSERT_TRUE(GetScrollBarInfo(info.hwndList, OBJID_VSCROLL, &bar));
  ASSERT_FALSE(bar.rgstate[0] & STATE_SYSTEM_INVISIBLE);
  RECT win{};
  GetWindowRect(info.hwndList, &win);
  const int x = bar.rcScrollBar.left - win.left, top = bar.rcScrollBar.top - win.top,
            bottom = bar.rcScrollBar.bottom - win.top;
  // The arrows in their normal frames, wherever the pointer is.
  EXPECT_EQ(At(info.hwndList, x + 4, top + 4), fill(9));
  EXPECT_EQ(At(info.hwndList, x + 4, bottom - 5), fill(13));
  MoveTo(info.hwndList, x + 8, top + 8);
  EXPECT_EQ(At(info.hwndList, x + 4, top + 4), fill(9));
  // The platform repaints the frame (a scroll request, a frame redraw): the skin paints over it.
  SendMessageW(info.hwndList, WM_VSCROLL, SB_LINEDOWN, 0);
  RedrawWindow(info.hwndList, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
  KvPumpMessages();
  EXPECT_EQ(At(info.hwndList, x + 4, top + 4), fill(9));
  EXPECT_EQ(At(info.hwndList, x + 4, bottom - 5), fill(13));
  SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
  KvPumpMessages();
  DestroyWindow(combo);
  skinner->FreeDeadControls();
}

// ---- Tabs and track bars ------------------------------------------------------------------------------------
TEST_F(SkinnerPictureTest, TabsAndPaneFromTheSkinAndABottomStripUpsideDown) {
  data->Skin3rd.Add("TPageControl=tab");
  data->Skin3rd.Add("TTabControl=tab");
  auto* pages = Make<TPageControl>(10, 10, 300, 150);
  for (const char* caption : {"One", "Two", "Three"}) {
    auto* page = new TTabSheet(form);
    page->SetPageControl(pages);
    page->SetCaption(caption);
  }
  pages->SetActivePageIndex(1);
  auto* left = Make<TTabControl>(320, 10, 140, 150);
  left->Tabs()->Add("Up");
  left->Tabs()->Add("Down");
  left->SetTabPosition(tpLeft);
  left->SetTabIndex(1);
  auto* bottom = Make<TTabControl>(10, 180, 300, 120);
  bottom->Tabs()->Add("Left");
  bottom->Tabs()->Add("Right");
  bottom->SetTabPosition(tpBottom);
  bottom->SetTabIndex(0);
  Show();
  ASSERT_EQ(SkinnerName(pages), "TSkinTab");
  ASSERT_EQ(SkinnerName(bottom), "TSkinTab");
  for (TWinControl* c : std::initializer_list<TWinControl*>{pages, left, bottom}) c->Invalidate();
  KvPumpMessages();
  EXPECT_EQ(static_cast<TSkinTab*>(skinner->SkinnerOf(bottom))->Orientation(), 1);
  EXPECT_FALSE(static_cast<TSkinTab*>(skinner->SkinnerOf(pages))->CloseBoxMode());  // no tag 7777
  auto* tabs = dynamic_cast<TDataSkinBorder*>(data->Element("Tabs"));
  TDataSkinObject* pane = data->Element("Tab.Pane");
  const COLORREF under = SkinColorToRGB(form->Color());
  auto itemRect = [](TWinControl* c, int i) {
    RECT r{};
    SendMessageW(c->Handle(), TCM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
    return r;
  };
  // The focused tab (the selected one) shows frame 2, the others frame 1, at the tab's place
  // one pixel down.
  const int focused = static_cast<int>(SendMessageW(pages->Handle(), TCM_GETCURFOCUS, 0, 0));
  ASSERT_EQ(focused, 1);
  for (int i = 0; i < 3; ++i) {
    const RECT r = itemRect(pages, i);
    const int w = r.right - r.left, h = r.bottom - r.top - 1;
    auto picture = RenderSkinImage(TRect{0, 0, w, h}, tabs->Map.get(), tabs->Margins(), false, false, 5,
                                   i == focused ? 2 : 1);
    for (const POINT& p : {POINT{w / 2, 0}, POINT{1, h / 2}, POINT{w - 2, h / 2}})
      EXPECT_EQ(At(pages->Handle(), r.left + p.x, r.top + 1 + p.y), Shown(picture.get(), p.x, p.y, under))
          << "tab " << i << " at " << p.x << "," << p.y;
  }
  // The pane over the display area grown by 4, its top one pixel lower.
  RECT d{0, 0, pages->Width(), pages->Height()};
  SendMessageW(pages->Handle(), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&d));
  InflateRect(&d, 4, 4);
  ++d.top;
  auto panePicture = RenderSkinImage(TRect{0, 0, d.right - d.left, d.bottom - d.top}, pane->Map.get(),
                                     pane->Margins(), false, false, 1, 1);
  const int midY = (d.bottom - d.top) / 2;
  for (const POINT& p : {POINT{0, midY}, POINT{1, midY}, POINT{60, 0}, POINT{60, 1}})
    EXPECT_EQ(At(pages->Handle(), d.left + p.x, d.top + p.y), Shown(panePicture.get(), p.x, p.y, under))
        << "pane at " << p.x << "," << p.y;

  // Tabs at the bottom: the tab image upside down, its outer edge at the bottom.
  TBitmap flipped;
  flipped.Assign(tabs->Map.get());
  FlipBitmap(&flipped);
  TSkinMargins margins = tabs->Margins();
  std::swap(margins.Top, margins.Bottom);
  const RECT r = itemRect(bottom, 0);
  const int w = r.right - r.left, h = r.bottom - r.top;
  auto picture = RenderSkinImage(TRect{0, 0, w, h}, &flipped, margins, false, false, 5, 2);
  for (const POINT& p : {POINT{w / 2, h - 1}, POINT{1, h - 4}})
    EXPECT_EQ(At(bottom->Handle(), r.left + p.x, r.top + p.y), Shown(picture.get(), p.x, p.y, under))
        << "bottom tab at " << p.x << "," << p.y;

  // Tabs at the left: drawn lying down and turned, the tab's top edge at the window's left.
  EXPECT_EQ(static_cast<TSkinTab*>(skinner->SkinnerOf(left))->Orientation(), 2);
  const RECT lr = itemRect(left, 1);
  const int along = lr.bottom - lr.top, across = lr.right - lr.left;
  auto lying = RenderSkinImage(TRect{0, 0, along, across}, tabs->Map.get(), tabs->Margins(), false, false, 5, 2);
  // Lying point (x, y) shows at window (y, bottom - 1 - x) once turned left.
  for (const POINT& p : {POINT{along / 2, 0}, POINT{along / 2, 1}, POINT{1, across / 2}})
    EXPECT_EQ(At(left->Handle(), lr.left + p.y, lr.bottom - 1 - p.x), Shown(lying.get(), p.x, p.y, under))
        << "left tab at " << p.x << "," << p.y;
}

TEST_F(SkinnerPictureTest, TabsWithoutImagesKeepTheirOwnPainting) {
  data->Element("Tabs")->Map->SetSize(0, 0);
  data->Element("Tab.Pane")->Map->SetSize(0, 0);
  data->Skin3rd.Add("TTabControl=tab");
  TTabControl* tabs[2];
  for (int i = 0; i < 2; ++i) {
    tabs[i] = Make<TTabControl>(10 + 220 * i, 10, 200, 100);
    tabs[i]->Tabs()->Add("One");
    tabs[i]->Tabs()->Add("Two");
    tabs[i]->SetTabIndex(1);
  }
  tabs[1]->SetTag(data->DisableTag);
  Show();
  ASSERT_EQ(SkinnerName(tabs[0]), "TSkinTab");
  ASSERT_EQ(SkinnerName(tabs[1]), "");
  for (TTabControl* t : tabs) t->Invalidate();
  KvPumpMessages();
  // The skinned one looks as the plain one does.
  for (const POINT& p : {POINT{5, 5}, POINT{40, 3}, POINT{60, 12}, POINT{2, 60}, POINT{100, 97}})
    EXPECT_EQ(At(tabs[0]->Handle(), p.x, p.y), At(tabs[1]->Handle(), p.x, p.y)) << p.x << "," << p.y;
}

TEST_F(SkinnerPictureTest, CloseBoxClosesThePageOfTheClickedTabPastHiddenTabs) {
  data->Skin3rd.Add("TPageControl=tab");
  auto* pages = Make<TPageControl>(10, 10, 360, 150);
  pages->SetTag(7777);
  std::vector<TTabSheet*> sheets;
  for (const char* caption : {"First", "Hidden", "Third", "Fourth"}) {
    auto* page = new TTabSheet(form);
    page->SetPageControl(pages);
    page->SetCaption(caption);
    sheets.push_back(page);
  }
  sheets[1]->SetTabVisible(false);
  // The form's answer to the close-box question; the form outlives the test body.
  struct Question {
    std::vector<LPARAM> asked;
    LRESULT answer = 1;
  };
  auto question = std::make_shared<Question>();
  const TWndMethod old = form->WindowProc;
  form->WindowProc = [question, old](TMessage& m) {
    if (m.Msg == 0x3507) {
      question->asked.push_back(m.LParam);
      m.Result = question->answer;
      return;
    }
    old(m);
  };
  auto& asked = question->asked;
  Show();
  auto* sk = static_cast<TSkinTab*>(skinner->SkinnerOf(pages));
  ASSERT_NE(sk, nullptr);
  ASSERT_TRUE(sk->CloseBoxMode());
  ASSERT_EQ(sk->CloseBoxes().size(), 3u);  // the visible tabs
  HWND h = pages->Handle();
  RECT win{};
  GetWindowRect(h, &win);
  const POINT origin = ScreenOf(h, 0, 0);
  ASSERT_EQ(origin.x, win.left);
  ASSERT_EQ(origin.y, win.top);
  // Each box lies in its tab's top right corner, drawn in the dark shadow colour.
  for (int i = 0; i < 3; ++i) {
    RECT r{};
    SendMessageW(h, TCM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
    const TRect& b = sk->CloseBoxes()[static_cast<size_t>(i)];
    EXPECT_EQ(b.right, r.right - 2);
    EXPECT_EQ(b.left, r.right - 8);
    EXPECT_EQ(At(h, b.left, b.top), SkinColorToRGB(data->Colour(csButtonDkShadow)));
  }
  auto clickBox = [&](int tab) {
    const TRect b = sk->CloseBoxes()[static_cast<size_t>(tab)];
    MoveTo(h, (b.left + b.right) / 2, (b.top + b.bottom) / 2);
    LeftButton(true);
    LeftButton(false);
  };
  // The form refuses: the page stays.
  clickBox(2);
  EXPECT_EQ(asked, std::vector<LPARAM>{2});
  EXPECT_EQ(pages->PageCount(), 4);
  // The form agrees: tab 2 is the fourth page, the hidden one in between stays.
  question->answer = 0;
  clickBox(2);
  EXPECT_EQ(asked, (std::vector<LPARAM>{2, 2}));
  ASSERT_EQ(pages->PageCount(), 3);
  EXPECT_EQ(pages->Pages(0), sheets[0]);
  EXPECT_EQ(pages->Pages(1), sheets[1]);
  EXPECT_EQ(pages->Pages(2), sheets[2]);
  // A press on a tab away from its box selects it as before.
  RECT first{};
  SendMessageW(h, TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
  pages->SetActivePageIndex(2);
  MoveTo(h, first.left + 4, (first.top + first.bottom) / 2);
  LeftButton(true);
  LeftButton(false);
  EXPECT_EQ(pages->ActivePage(), sheets[0]);
  EXPECT_EQ(asked.size(), 2u);
}

TEST_F(SkinnerPictureTest, TabSetDrawsTheTabsThatFitUpsideDownAndSkinsItsScroller) {
  auto* set = Make<TTabSet>(10, 10, 300, 24);
  auto* narrow = Make<TTabSet>(10, 50, 120, 24);
  set->Scroller->SetParent(set);
  set->Scroller->SetBounds(260, 2, 32, 20);
  Show();
  ASSERT_EQ(SkinnerName(set), "TSkinTab31");
  auto* sk = static_cast<TSkinTab31*>(skinner->SkinnerOf(set));
  ASSERT_NE(sk->UpDown(), nullptr);
  EXPECT_TRUE(sk->UpDown()->Horizontal);
  EXPECT_EQ(sk->UpDown()->Handle(), set->Scroller->Handle());
  for (TWinControl* c : std::initializer_list<TWinControl*>{set, narrow}) c->Invalidate();
  KvPumpMessages();
  auto* tabs = dynamic_cast<TDataSkinBorder*>(data->Element("Tabs"));
  TBitmap flipped;
  flipped.Assign(tabs->Map.get());
  FlipBitmap(&flipped);
  TSkinMargins margins = tabs->Margins();
  std::swap(margins.Top, margins.Bottom);
  HDC measure = set->Canvas()->Handle();
  SelectObject(measure, set->Font()->Handle());
  auto width = [&](const char16_t* text) {
    SIZE e{};
    GetTextExtentPoint32W(measure, reinterpret_cast<LPCWSTR>(text), static_cast<int>(std::u16string(text).size()), &e);
    return static_cast<int>(e.cx);
  };
  const int w0 = width(u"Alpha") + 9, w1 = width(u"Beta") + 9;
  // Alpha from StartMargin in frame 1, Beta (selected) after it in frame 2; the probes lie on
  // the tabs' edges, away from their text.
  for (const auto& [x0, w, frame] : {std::tuple{5, w0, 1}, std::tuple{5 + w0, w1, 2}}) {
    auto picture = RenderSkinImage(TRect{0, 0, w, 24}, &flipped, margins, false, false, 5, frame);
    for (const POINT& p : {POINT{w / 2, 23}, POINT{0, 12}, POINT{w - 1, 12}})
      EXPECT_EQ(At(set->Handle(), x0 + p.x, p.y), Shown(picture.get(), p.x, p.y, Face())) << frame << " " << p.x;
  }
  // The space before the first tab is the face, not the set's own white.
  EXPECT_EQ(At(set->Handle(), 2, 12), Face());
  // One pixel short of Beta's room (the margins and its 9 pixels): Alpha only, then the face.
  for (int extra : {0, 1}) {
    narrow->SetWidth(w0 + w1 + 9 + extra);
    narrow->Invalidate();
    KvPumpMessages();
    EXPECT_EQ(At(narrow->Handle(), 5 + w0 - 1, 12) == Face(), false) << extra;
    EXPECT_EQ(At(narrow->Handle(), 5 + w0 + 1, 12) == Face(), extra == 0) << extra;
  }
}

TEST_F(SkinnerPictureTest, TrackBarChannelAndThumbFromTheSkinTicsLeftToThePlatform) {
  data->Skin3rd.Add("TTrackBar=trackbar");
  auto* track = Make<TTrackBar>(20, 20, 200, 40);
  Show();
  ASSERT_EQ(SkinnerName(track), "TSkinTrackBar");
  HWND h = track->Handle();
  // The custom-draw answers, stage by stage.
  struct Stage {
    DWORD stage;
    DWORD_PTR item;
    LRESULT answer;
  } stages[] = {
      {CDDS_PREPAINT, 0, CDRF_NOTIFYITEMDRAW},          {CDDS_ITEMPREPAINT, TBCD_TICS, CDRF_DODEFAULT},
      {CDDS_ITEMPREPAINT, TBCD_CHANNEL, CDRF_SKIPDEFAULT}, {CDDS_ITEMPREPAINT, TBCD_THUMB, CDRF_SKIPDEFAULT},
      {CDDS_POSTPAINT, 0, CDRF_DODEFAULT},
  };
  TBitmap scratch;
  scratch.SetSize(200, 40);
  for (const Stage& st : stages) {
    NMCUSTOMDRAW cd{};
    cd.hdr = NMHDR{h, 0, static_cast<UINT>(NM_CUSTOMDRAW)};
    cd.dwDrawStage = st.stage;
    cd.dwItemSpec = st.item;
    cd.hdc = scratch.Canvas()->Handle();
    EXPECT_EQ(track->Perform(CN_NOTIFY, 0, reinterpret_cast<LPARAM>(&cd)), st.answer) << st.stage << " " << st.item;
  }
  // The engine's own notification carries no record: it is not read as one.
  EXPECT_EQ(track->Perform(CN_NOTIFY, 0, kSkinSignature), 0);

  track->Invalidate();
  KvPumpMessages();
  RECT c{}, t{};
  SendMessageW(h, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&c));
  SendMessageW(h, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&t));
  TDataSkinObject* channel = data->Element("Track");
  TBitmap* cmap = channel->Map.get();
  // The left cap at its own size, the middle stretched along the channel.
  // The right cap at its own size, the middle stretched along the channel (the thumb covers
  // the left end).
  const int iw = cmap->Width();
  EXPECT_EQ(At(h, c.right - 2, c.top), ImagePixel(cmap, iw - 2, 0));
  EXPECT_EQ(At(h, c.right - 2, c.top + 2), ImagePixel(cmap, iw - 2, 2));
  EXPECT_EQ(At(h, c.right - 1, c.top + 2), ImagePixel(cmap, iw - 1, 2));
  EXPECT_EQ(At(h, (c.left + c.right) * 3 / 4, c.top), ImagePixel(cmap, iw / 2, 0));
  // The thumb: frame 2 of 5 stretched over the thumb's rectangle.
  TBitmap* thumb = data->Element("Trackbar.ThumbHorz")->Map.get();
  const int fw = thumb->Width() / 5, fh = thumb->Height(), tw = t.right - t.left, th = t.bottom - t.top;
  auto fromFrame = [&](int frame, int x, int y) {
    const COLORREF got = At(h, t.left + x, t.top + y);
    const int sx = x * fw / tw, sy = y * fh / th;
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        const int px = std::clamp(sx + dx, 0, fw - 1), py = std::clamp(sy + dy, 0, fh - 1);
        if (got == ImagePixel(thumb, (frame - 1) * fw + px, py)) return true;
      }
    return false;
  };
  EXPECT_TRUE(fromFrame(2, tw / 2, th - 3));
  EXPECT_FALSE(fromFrame(1, tw / 2, th - 3));
  EXPECT_TRUE(fromFrame(2, 0, th / 2));
}

// ---- Lifetimes --------------------------------------------------------------------------------------------
TEST_F(SkinnersTest, SkinnersComeAndGoWithTheirControlsAThousandTimes) {
  data->Skin3rd.Add("TRadioButton=radiobutton");
  data->Skin3rd.Add("TGroupBox=groupbox");
  data->Skin3rd.Add("TSpeedButton=speedbutton");
  data->Skin3rd.Add("TOtherDatePicker=datetimepicker");
  data->Skin3rd.Add("TOtherBitButton=bitbtn");
  data->Skin3rd.Add("TOtherControl=menubtn");
  data->Skin3rd.Add("TPageControl=tab");
  data->Skin3rd.Add("TTrackBar=trackbar");
  Show();
  const size_t baseline = skinner->Controls.size();
  const std::function<TControl*()> kinds[] = {
      [&] { return Make<TButton>(5, 5, 80, 24); },
      [&] { return Make<TCheckBox>(5, 5, 80, 20); },
      [&] { return Make<TRadioButton>(5, 5, 80, 20); },
      [&] { return Make<TGroupBox>(5, 5, 80, 60); },
      [&] { return Make<TPanel>(5, 5, 80, 60); },
      [&] { return Make<TToolBar>(5, 5, 80, 26); },
      [&] { return Make<TStatusBar>(5, 5, 80, 20); },
      [&] { return Make<TProgressBar>(5, 5, 80, 16); },
      [&] {
        auto* l = Make<TListView>(5, 5, 120, 80);
        l->SetViewStyle(vsReport);
        return l;
      },
      [&] { return Make<TEdit>(5, 5, 80, 22); },
      [&] { return Make<TComboBox>(5, 5, 80, 22); },
      [&] {
        auto* b = new TSpeedButton(form);
        b->SetParent(form);
        return b;
      },
      [&] { return Make<TSpinButton>(5, 5, 16, 22); },
      [&] { return Make<TRzCheckBox>(5, 5, 80, 20); },
      [&] { return Make<TcxCheckBox>(5, 5, 80, 20); },
      [&] { return Make<TDBNavigator>(5, 5, 80, 20); },
      [&] { return Make<TOtherDatePicker>(5, 5, 120, 22); },
      [&] { return Make<TOtherBitButton>(5, 5, 80, 24); },
      [&] { return Make<TOtherControl>(5, 5, 80, 24); },
      [&] { return Make<TMemo>(5, 5, 80, 60); },
      [&] { return Make<TScrollingView>(5, 5, 80, 60); },
      [&] {
        auto* p = Make<TPageControl>(5, 5, 120, 80);
        (new TTabSheet(p))->SetPageControl(p);
        return p;
      },
      [&] { return Make<TTrackBar>(5, 5, 120, 30); },
      [&] {
        auto* c = Make<TComboBox>(5, 5, 120, 80);
        c->SetStyle(csSimple);
        return c;
      },
      [&] {
        auto* t = Make<TTabSet>(5, 5, 120, 24);
        t->Scroller->SetParent(t);
        return t;
      },
  };
  for (int round = 0; round < 1000; ++round)
    for (const auto& make : kinds) {
      TControl* c = make();
      skinner->MapControl(c, form);
      ASSERT_NE(skinner->SkinnerOf(c), nullptr) << c->ClassName();
      delete c;
      ASSERT_EQ(skinner->Controls.size(), baseline) << "a skinner outlived its control";
    }
  // Raw windows: a skinner whose window is gone is freed by the next walk.
  HWND parent = form->Handle();
  for (int round = 0; round < 1000; ++round) {
    const std::pair<const char16_t*, DWORD> raws[] = {{u"Button", BS_PUSHBUTTON},
                                                      {u"Button", BS_AUTOCHECKBOX},
                                                      {u"Button", BS_AUTORADIOBUTTON},
                                                      {u"Edit", WS_BORDER},
                                                      {u"ComboBox", CBS_DROPDOWN},
                                                      {u"ScrollBar", SBS_SIZEGRIP},
                                                      {u"SysTabControl32", 0},
                                                      {u"#32770", 0}};
    for (const auto& [cls, style] : raws) {
      HWND w = CreateWindowExW(0, cls, u"raw", WS_CHILD | style, 5, 5, 80, 20, parent, nullptr, nullptr, nullptr);
      skinner->MapWindow(w);
      ASSERT_NE(skinner->FindControlSkinner(w), nullptr);
      DestroyWindow(w);
    }
    skinner->FreeDeadControls();
    ASSERT_EQ(skinner->Controls.size(), baseline);
  }
}

}  // namespace
