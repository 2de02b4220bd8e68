// The control skinners: push buttons, check boxes, radio buttons, group boxes, panels,
// dialog backgrounds, size grips, status bars, progress bars, column headers, list views,
// edits and combo boxes. Each repaints its control from the skin's elements; the class
// mapping of TWinSkinForm decides which control gets which.
#pragma once

#include <memory>
#include <vector>

#include "framework/controls/comctrls.h"
#include "platform/comctl/comctl.h"
#include "platform/comctl/datetime.h"
#include "platform/comctl/header.h"
#include "platform/comctl/listview.h"
#include "platform/comctl/progress.h"
#include "platform/comctl/statusbar.h"
#include "platform/comctl/tab.h"
#include "platform/comctl/toolbar.h"
#include "platform/comctl/trackbar.h"
#include "platform/comctl/updown.h"
#include "platform/user/button.h"
#include "platform/user/combobox.h"
#include "platform/user/dialog.h"
#include "platform/user/edit.h"
#include "platform/user/frame.h"
#include "platform/user/scrollbar.h"
#include "platform/user/static.h"
#include "skin/skin_control.h"
#include "skin/skin_data.h"

// ---- Shared drawing steps and property access ---------------------------------------------------
// Frame K of N of Object's image laid out to Rect with the object's margins and Tile,
// magenta transparent when its Trans is 1. Nothing for an empty or inverted rectangle.
void DrawSkinObject(HDC DC, const TRect& Rect, TDataSkinObject* Object, int N, int K);
// A published property's value as lower-case text; empty when the object has none.
AnsiString PropText(TObject* Instance, const AnsiString& Name);
// A published integer property; -1 when the object has none (or it is not an integer).
int PropInt(TObject* Instance, const AnsiString& Name);
bool HasProp(TObject* Instance, const AnsiString& Name);
// Sets a published property from text; nothing when the object has none.
void SetPropText(TObject* Instance, const AnsiString& Name, const AnsiString& Value);
class TToolBar;
// A tool bar's background: the skin's tool-bar image stretched over Rect, unless the skin
// has none or its Options hold xoToolbarBK. True when it painted (the bar's own fill is
// then left out).
bool PaintToolBarBackground(TSkinData* Data, TToolBar* Bar, const TRect& Rect);
// ANSI text (the system code page) as wide text.
WideString SkinWideText(const AnsiString& Text);
// A window's text as wide text.
WideString SkinWindowText(HWND Window);
// A caption's first "||" breaks the line (CR LF).
WideString SkinBreakCaption(WideString Text);
// The font a window was given (WM_GETFONT).
HFONT SkinWindowFont(HWND Window);
// The graphic (windowless) children of a windowed control painted on DC.
void PaintGraphicChildren(TWinControl* Control, HDC DC);
// Text in a cell (status panels, tabs): transparent, measured with the alignment flag,
// centred vertically one pixel high; disabled text in Shadow.
void DrawCellText(HDC DC, const TRect& Cell, const WideString& Text, UINT Align, bool Enabled, TColor Shadow);

// ---- Buttons ----------------------------------------------------------------------------------------------
// Push button: the [Buttons] image in five frames (normal, pressed, disabled, hot, focused).
class TSkinButton : public TSkinControl {
 public:
  explicit TSkinButton(TComponent* AOwner);
  ~TSkinButton() override;
  KV_CLASS_NAME(TSkinButton)
  void AttachControl(TWinSkinForm* Form, TSkinData* Data, TWinControl* Control, bool KeepColour,
                     TCanvas* Canvas) override;
  bool BeforeDefault(TMessage& Message) override;
  void AfterDefault(TMessage& Message) override;
  void DrawFrame(HDC DC, const TRect& Rect) override;
  int Hot() const { return mouse_ & 1; }
  bool Pressed() const { return (mouse_ & 2) != 0; }

 protected:
  // The frame by the state convention: 3 disabled, 2 pressed, 4 hot, 5 focused, 1 normal.
  virtual int ButtonFrame();
  // The off-screen bitmap sized W x H with the background: the parent's image in
  // parent-background mode, else the face colour.
  HDC PrepareBuffer(int W, int H);
  // The [Buttons] frame over the off-screen bitmap.
  void DrawButtonImage(int W, int H, int Frame);
  void DrawFace(const TRect& Rect, int Frame);
  // Font and text colour of the caption; NormalAlways applies NormalColour2 in every state.
  void SelectTextColours(HDC DC, bool NormalAlways);
  // The caption centred in W x H of the off-screen bitmap, with its focus rectangle.
  void DrawCentredCaption(int W, int H, const WideString& Text, bool Focused);
  // What the button shows over its face in W x H of the off-screen bitmap (its font and text
  // colour selected): the centred caption here.
  virtual void DrawContent(int W, int H);
  // NormalColour2 in every state (push and glyph buttons), or in the normal state only.
  virtual bool NormalColourAlways() const { return true; }
  WideString CaptionW();
  virtual bool FocusedNow() const;
  virtual bool EnabledNow() const;
  // The framework control whose properties and font the button shows (none: a raw window).
  TControl* Source() const { return SkinnedControl(); }

  int mouse_ = 0;  // bit 0 hot, bit 1 pressed
  std::unique_ptr<TBitmap> buffer_;
  bool no_mouse_down_ = false;
};

// A push button with a glyph: the control's "Glyph" strip of "NumGlyphs" glyphs, or its
// "Images" list at "ImageIndex", or (with GlyphProperty "PngImage") that graphic whole, laid
// out with the caption by "Layout", "Margin" and "Spacing".
class TSkinBitButton : public TSkinButton {
 public:
  explicit TSkinBitButton(TComponent* AOwner, const AnsiString& GlyphProperty = "")
      : TSkinButton(AOwner), glyph_property_(GlyphProperty) {}
  KV_CLASS_NAME(TSkinBitButton)
  const AnsiString& GlyphProperty() const { return glyph_property_; }

 protected:
  void DrawContent(int W, int H) override;
  bool NormalColourAlways() const override { return glyph_property_.empty(); }
  // Glyph and caption of the control Source laid out over W x H of the off-screen bitmap;
  // Index is the glyph (1 normal, 2 disabled, 3 pressed). The speed buttons' margin from a
  // given spacing is one pixel larger.
  void DrawGlyphAndCaption(TControl* Source, int W, int H, int Index, bool Enabled, bool Focused, bool Speed);
  AnsiString glyph_property_;
};

// A speed button: a graphic control without a window, painted on its parent. A flat one
// shows the [Buttons] frame only while hot or pressed; one that is down shows glyph 4.
class TSkinSpeedButton : public TSkinBitButton {
 public:
  explicit TSkinSpeedButton(TComponent* AOwner, const AnsiString& GlyphProperty = "")
      : TSkinBitButton(AOwner, GlyphProperty) {}
  ~TSkinSpeedButton() override;
  KV_CLASS_NAME(TSkinSpeedButton)
  void AttachGraphic(TWinSkinForm* Form, TSkinData* Data, TGraphicControl* Control, TCanvas* Canvas);
  TControl* SkinnedControl() const override { return graphic_; }
  bool BeforeDefault(TMessage& Message) override;
  void AfterDefault(TMessage& Message) override;
  void DrawFrame(HDC DC, const TRect& Rect) override;

 protected:
  bool FocusedNow() const override { return false; }
  bool EnabledNow() const override;

 private:
  void Unhook();
  TGraphicControl* graphic_ = nullptr;
  bool drawing_ = false;
};

// A push button with a drop-down arrow at its right.
class TSkinMenuButton : public TSkinButton {
 public:
  using TSkinButton::TSkinButton;
  KV_CLASS_NAME(TSkinMenuButton)

 protected:
  int ButtonFrame() override;
  void DrawContent(int W, int H) override;
  bool NormalColourAlways() const override { return false; }
};

// The disabled look of a glyph: a bitmap of its size on the system face colour with its
// shape embossed (highlight one pixel down and right, shadow over it). The caller owns it.
std::unique_ptr<TBitmap> MakeDisabledGlyph(TBitmap* Glyph);

// ---- Check boxes, radio buttons, group boxes and panels -------------------------------------------------
class TSkinCheckBox : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;
  KV_CLASS_NAME(TSkinCheckBox)
  void AttachControl(TWinSkinForm* Form, TSkinData* Data, TWinControl* Control, bool KeepColour,
                     TCanvas* Canvas) override;
  bool BeforeDefault(TMessage& Message) override;
  void AfterDefault(TMessage& Message) override;
  void DrawFrame(HDC DC, const TRect& Rect) override;
  // The frame (1-based) of the image that the control's state selects.
  virtual int StateFrame();
  bool ImageMode() const { return image_mode_; }

 protected:
  virtual TBitmap* Image() const;
  virtual int ImageFrames() const;
  // Left edge of the image for a BS_LEFTTEXT control of width W.
  virtual int LeftTextImageLeft(int W, int FrameWidth) const { return W - FrameWidth; }
  void DrawCaption(HDC DC, const TRect& Area, UINT Align);

  bool image_mode_ = false;
  int set_check_ = 0;  // the last BM_SETCHECK state + 1 (0: none)
};

class TSkinRadioButton : public TSkinCheckBox {
 public:
  using TSkinCheckBox::TSkinCheckBox;
  KV_CLASS_NAME(TSkinRadioButton)
  void AfterDefault(TMessage& Message) override;
  int StateFrame() override;

 protected:
  TBitmap* Image() const override;
  int ImageFrames() const override;
  int LeftTextImageLeft(int W, int FrameWidth) const override { return W - 1 - FrameWidth; }
};

class TSkinGroupBox : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;
  KV_CLASS_NAME(TSkinGroupBox)
  void AttachControl(TWinSkinForm* Form, TSkinData* Data, TWinControl* Control, bool KeepColour,
                     TCanvas* Canvas) override;
  bool BeforeDefault(TMessage& Message) override;
  void DrawFrame(HDC DC, const TRect& Rect) override;

 private:
  bool paint_children_ = false;
};

// Panels, tool bars and inner forms that only take the skin's face colour: no hook.
class TSkinBox : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;
  KV_CLASS_NAME(TSkinBox)
  void AttachControl(TWinSkinForm* Form, TSkinData* Data, TWinControl* Control, bool KeepColour,
                     TCanvas* Canvas) override;
  void AfterDefault(TMessage&) override {}
  void Detach() override;
  // Set when the mapping gave a tool bar its background painter; detaching takes it away.
  bool PaintsToolBar = false;
};

// The button panel laid over a media-player control: its visible buttons side by side on
// the skin's button frames, each with its glyph (enabled, disabled or coloured), the presses
// handed on to the control. It is never skinned itself.
class TSkinMP;
class TWMediaPlayer : public TCustomPanel {
 public:
  TWMediaPlayer(TComponent* AOwner, TSkinData* Data, TWinControl* Media, TSkinMP* Skinner);
  KV_CLASS_NAME(TWMediaPlayer)
  static constexpr int kButtons = 9;  // play, pause, stop, next, prev, step, back, record, eject
  // The button under x: index of the kind, kButtons when none.
  int ButtonAt(int X);
  void Forget() { media_ = nullptr; }
  struct Button {
    bool Visible = false, Enabled = false, Coloured = false;
    TBitmap Glyphs[3];  // enabled, disabled, coloured
  };
  Button Buttons[kButtons];
  int VisibleCount = 0, ButtonWidth = 0;
  bool Pressed = false;
  int PressedIndex = kButtons;

 protected:
  void Paint() override;
  void WndProc(TMessage& Message) override;

 private:
  // The buttons' flags from the control's sets, and the width each visible one takes.
  void ReadButtons();
  TSkinData* data_;
  TWinControl* media_;
  TSkinMP* skinner_;
};

class TSkinMP : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;
  ~TSkinMP() override;
  KV_CLASS_NAME(TSkinMP)
  void AttachControl(TWinSkinForm* Form, TSkinData* Data, TWinControl* Control, bool KeepColour,
                     TCanvas* Canvas) override;
  void AfterDefault(TMessage& Message) override;
  void Detach() override;
  TWMediaPlayer* Panel() const { return panel_; }

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  void Place();
  TWMediaPlayer* panel_ = nullptr;
};

// Up-down (spin) arrows in two halves: left/up and right/down.
class TSkinUpDown : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;
  KV_CLASS_NAME(TSkinUpDown)
  bool BeforeDefault(TMessage& Message) override;
  void DrawFrame(HDC DC, const TRect& Rect) override;
  // Inside an edit: kept 3 pixels inside the edit's border.
  bool InEdit = false;
  // Halves side by side whatever the window's style.
  bool Horizontal = false;

 private:
  bool pressed_ = false;
};

// Check and radio controls of other component sets that publish a glyph bitmap: the
// skin's check or radio frames are laid out into it. Kind 1 check box (9 cells into
// "CustomGlyphs"), 2 radio button (6 cells into "CustomGlyphs"), 3 check box (6 cells into
// the "Glyph" of the published object "Properties"). The control is not hooked.
class TSkinObjImage : public TSkinControl {
 public:
  TSkinObjImage(TComponent* AOwner, int Kind) : TSkinControl(AOwner), GlyphKind(Kind) {}
  KV_CLASS_NAME(TSkinObjImage)
  void AttachControl(TWinSkinForm* Form, TSkinData* Data, TWinControl* Control, bool KeepColour,
                     TCanvas* Canvas) override;
  void Detach() override;
  void SkinChanged() override;
  const int GlyphKind;

 private:
  void BuildGlyph();
};

// Page controls of other component sets that publish their tab backgrounds: the skin's
// "Tabs" frames 1 and 2 go into "TabBackGround" and "TabBackGroundActive"; an up-down the
// control holds gets its skinner.
class TSkinAdvPage : public TSkinControl {
 public:
  TSkinAdvPage(TComponent* AOwner, int Mode) : TSkinControl(AOwner), PageMode(Mode) {}
  KV_CLASS_NAME(TSkinAdvPage)
  void AttachControl(TWinSkinForm* Form, TSkinData* Data, TWinControl* Control, bool KeepColour,
                     TCanvas* Canvas) override;
  void Detach() override;
  void SkinChanged() override;
  void DrawFrame(HDC DC, const TRect& Rect) override;
  TSkinUpDown* UpDown = nullptr;
  const int PageMode;

 private:
  void PublishTabImages();
};

// A page control's sheet on the face colour, its graphic children painted on it; in
// parent-background mode the sheet keeps its own painting.
class TSkinTabSheet : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;
  KV_CLASS_NAME(TSkinTabSheet)
  bool BeforeDefault(TMessage& Message) override;
  void AfterDefault(TMessage& Message) override;
  void DrawFrame(HDC DC, const TRect& Rect) override;
};

// A dialog's or tool bar's background in the face colour.
class TSkinBoxH : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;
  KV_CLASS_NAME(TSkinBoxH)
  bool BeforeDefault(TMessage& Message) override;
};

// A size box or size grip painted away in the face colour.
class TSkinSizer : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;
  KV_CLASS_NAME(TSkinSizer)
  void DrawFrame(HDC DC, const TRect& Rect) override;
};

// ---- Bars ----------------------------------------------------------------------------------------------------
class TSkinStatusBar : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;
  KV_CLASS_NAME(TSkinStatusBar)
  bool BeforeDefault(TMessage& Message) override;
  void DrawFrame(HDC DC, const TRect& Rect) override;

 private:
  void DrawEdge(HDC DC, const TRect& Rect, int Edge);
};

class TSkinProgress : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;
  KV_CLASS_NAME(TSkinProgress)
  bool BeforeDefault(TMessage& Message) override;
  void DrawFrame(HDC DC, const TRect& Rect) override;
};

// ---- Tabs and track bars -------------------------------------------------------------------------------
// Tab and page controls: the tab strip from the skin's "Tabs" frames (1 normal, 2 focused)
// and the pane from its border image or "Tab.Pane". A page control tagged 7777 with its tabs
// on top gets close boxes: a press on one asks the form (0x3507) and, answered 0, frees the
// page of that tab.
class TSkinTab : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;
  KV_CLASS_NAME(TSkinTab)
  void AttachControl(TWinSkinForm* Form, TSkinData* Data, TWinControl* Control, bool KeepColour,
                     TCanvas* Canvas) override;
  void AttachWindow(HWND Window, TSkinData* Data, TWinSkinForm* Form, TCanvas* Canvas) override;
  bool BeforeDefault(TMessage& Message) override;
  void DrawFrame(HDC DC, const TRect& Rect) override;
  void SkinChanged() override;
  bool CloseBoxMode() const { return close_mode_; }
  // One per tab, in window co-ordinates, renewed by every paint (empty without close boxes).
  const std::vector<TRect>& CloseBoxes() const { return close_boxes_; }
  int Orientation() const { return orientation_; }  // 0 top, 1 bottom, 2 left, 3 right
  TSkinUpDown* UpDown() const { return up_down_; }
  // Page controls: the control's graphic children are painted over the skin.
  bool PaintChildren = false;

 private:
  void Prepare();
  void LoadImages();
  void FindUpDown();
  bool HasPicture() const { return !tab_.Empty() || !pane_.Empty(); }
  void DrawTabContent(HDC DC, const TRect& R, const WideString& Text, int Image, HIMAGELIST Images, bool Enabled);

  std::vector<TRect> close_boxes_;
  int orientation_ = 0;
  TBitmap tab_, pane_;
  TSkinUpDown* up_down_ = nullptr;
  bool close_mode_ = false;
};

// Tab sets (a row of tabs below a page): the skin's "Tabs" frames upside down, laid out from
// the published "Tabs", "TabIndex", "FirstIndex", "StartMargin" and "EndMargin"; the set's
// scroller, when it owns one first, gets an up-down skinner with its halves side by side.
class TSkinTab31 : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;
  KV_CLASS_NAME(TSkinTab31)
  void AttachControl(TWinSkinForm* Form, TSkinData* Data, TWinControl* Control, bool KeepColour,
                     TCanvas* Canvas) override;
  TControl* SkinnedControl() const override { return tab_set_; }
  bool BeforeDefault(TMessage& Message) override;
  void DrawFrame(HDC DC, const TRect& Rect) override;
  void SkinChanged() override;
  TSkinUpDown* UpDown() const { return up_down_; }

 private:
  void LoadImage();
  TWinControl* tab_set_ = nullptr;
  TWinControl* scroller_ = nullptr;
  TBitmap tab_;
  TSkinUpDown* up_down_ = nullptr;
};

// A track bar's channel and thumb drawn from the skin through the control's custom draw; the
// tics stay the platform's.
class TSkinTrackBar : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;
  KV_CLASS_NAME(TSkinTrackBar)
  bool BeforeDefault(TMessage& Message) override;
  void SkinChanged() override;

 private:
  void DrawChannel(HDC DC);
  void DrawThumb(HDC DC);
};

// ---- Header and list view -----------------------------------------------------------------------------------
class TSkinHeader : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;
  KV_CLASS_NAME(TSkinHeader)
  void AttachControl(TWinSkinForm* Form, TSkinData* Data, TWinControl* Control, bool KeepColour,
                     TCanvas* Canvas) override;
  void AttachWindow(HWND Window, TSkinData* Data, TWinSkinForm* Form, TCanvas* Canvas) override;
  bool BeforeDefault(TMessage& Message) override;
  void AfterDefault(TMessage& Message) override;
  void DrawFrame(HDC DC, const TRect& Rect) override;
  int HotIndex = -1;
  std::vector<TRect> ItemRects;

 private:
  TDataSkinObject* Bar() const;
  void DrawItem(HDC DC, int Index, const TRect& R, HIMAGELIST Images);
};

// ---- Scroll bars ------------------------------------------------------------------------------------------
// Scroll-bar part codes: the scroll requests of WM_HSCROLL / WM_VSCROLL for the parts they
// name, so one value holds either.
enum { kPartNone = -1, kPartFirstArrow = 0, kPartSecondArrow = 1, kPartPageBefore = 2, kPartPageAfter = 3,
       kPartThumb = 5 };

// The skin's picture of a window scroll bar: a small window of its own laid exactly over the
// native bar (kind 0 horizontal, 1 vertical). It paints the skin and hands presses on to the
// target as non-client presses, so the platform does the scrolling.
class TWScrollbar : public TCustomControl {
 public:
  TWScrollbar(TComponent* AOwner, TSkinData* Data);
  KV_CLASS_NAME(TWScrollbar)
  void Bind(HWND Target, int Kind, TControl* Control);
  void HideBar();
  // Places the overlay over the native bar, or hides it while the bar is not shown.
  void Layout();
  // The part at a point along the bar: 0 first arrow, 2 before the thumb, 5 thumb, 3 after
  // it, 1 second arrow.
  int HitTest(int Along) const;
  bool Shown() const { return shown_; }
  int Kind() const { return kind_; }
  bool Pressed() const { return pressed_; }
  bool Vertical() const { return vertical_; }
  int Part = kPartNone;  // under the pointer, or the scroll request last seen
  // The native bar in the target's client co-ordinates.
  TRect BarRect() const { return bar_; }

 protected:
  void CreateParams(TCreateParams& Params) override;
  void WndProc(TMessage& Message) override;
  void Paint() override;

 private:
  bool Info(SCROLLBARINFO& Info) const;
  bool ControlInfo(SCROLLBARINFO& Info, bool Shortest) const;
  void Press(int X, int Y);
  void Release(int X, int Y);
  // The thumb's span along the bar: dragged with the pointer while the platform tracks it.
  void ThumbSpan(const SCROLLBARINFO& Info, int& Start, int& End) const;

  TSkinData* data_;
  HWND target_ = nullptr;
  int kind_ = 0;  // 0 horizontal and 1 vertical window bar, 2 a scroll-bar control
  bool vertical_ = false;
  int length_ = 0;
  int arrow_;
  POINT press_cursor_{};
  int press_thumb_ = 0;
  TRect bar_{};
  bool shown_ = false;
  bool pressed_ = false;
};

// What a scroll bar's picture shows: its orientation, state, the part under the pointer (or
// the request last seen) and the thumb's span along the bar. HalvingLength, when given, is the
// length whose halves the arrows take when it is under two arrows.
struct TScrollPicture {
  bool Vertical = false;
  bool Enabled = true;
  int Part = kPartNone;
  bool Pressed = false;
  int ThumbStart = 0, ThumbEnd = 0;
  int HalvingLength = 0;
};
// The skin's scroll bar of W x H on DC at the origin: track, arrows, thumb and its grip, with
// arrows of Arrow pixels. Nothing without the skin's "Scrollbar" image.
void DrawScrollPicture(HDC DC, TSkinData* Data, int Arrow, int W, int H, const TScrollPicture& Picture);
// A bar's thickness: the Scrollbar image's height, or the arrow size when they differ by more than 2.
int ScrollThickness(int ImageHeight, int Arrow);

// The vertical scroll bar of a combo box's drop-down list, painted into the list's frame.
// Presses go to the platform's own tracking, which scrolls the list.
class TComboxScrollBar : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;
  KV_CLASS_NAME(TComboxScrollBar)
  bool BeforeDefault(TMessage& Message) override;
  void AfterDefault(TMessage& Message) override;
  void DrawFrame(HDC DC, const TRect& Rect) override;
};

// A scrolled framework control (memo, list box, grid, rich edit): both its scroll bars get an
// overlay; the border is drawn in the skin's colours.
class TSkinScrollbar : public TSkinControl {
  friend class TSkinScrollbarH;

 public:
  using TSkinControl::TSkinControl;
  // Single-bar mode: the control is a scroll bar itself, and one overlay covers all of it.
  TSkinScrollbar(TComponent* AOwner, bool SingleBar) : TSkinControl(AOwner), single_(SingleBar) {}
  KV_CLASS_NAME(TSkinScrollbar)
  virtual void AttachScrolled(TWinControl* Control, TSkinData* Data, TWinSkinForm* Form, TCanvas* Canvas);
  // A "ScrollBar" window without a framework control, in single-bar mode.
  void AttachWindow(HWND Window, TSkinData* Data, TWinSkinForm* Form, TCanvas* Canvas) override;
  bool SingleBar() const { return single_; }
  void Detach() override;
  bool BeforeDefault(TMessage& Message) override;
  void AfterDefault(TMessage& Message) override;
  void DrawFrame(HDC DC, const TRect& Rect) override;
  void SkinChanged() override;
  TWScrollbar* Horizontal() const { return horz_; }
  TWScrollbar* Vertical() const { return vert_; }
  bool DrawsBorder() const { return draw_border_; }

 private:
  void LayoutBars();
  void DrawBorder(HDC DC);
  void SetFixedColour();
  // Single-bar mode: the one overlay bound to the control, in the member of its orientation.
  void BindSingle(TControl* Control);
  bool SingleAfterDefault(TMessage& Message);
  bool single_ = false;
  TWScrollbar* horz_ = nullptr;
  TWScrollbar* vert_ = nullptr;
  bool draw_border_ = false;
  bool fixed_saved_ = false;
  int fixed_colour_ = 0;
};

// A scrolled window without a framework control (the list of a simple combo box): both its
// scroll bars get an overlay.
class TSkinScrollbarH : public TSkinScrollbar {
 public:
  using TSkinScrollbar::TSkinScrollbar;
  KV_CLASS_NAME(TSkinScrollbarH)
  void AttachWindow(HWND Window, TSkinData* Data, TWinSkinForm* Form, TCanvas* Canvas) override;
  void AfterDefault(TMessage& Message) override;
};

// The list view's skinner: its scroll bars as any scrolled control's, and its column header
// gets a TSkinHeader of its own.
class TSkinListView : public TSkinScrollbar {
 public:
  using TSkinScrollbar::TSkinScrollbar;
  KV_CLASS_NAME(TSkinListView)
  void AttachScrolled(TWinControl* Control, TSkinData* Data, TWinSkinForm* Form, TCanvas* Canvas) override;
  TSkinHeader* Header = nullptr;
};

// ---- Edits and combo boxes ----------------------------------------------------------------------------------
// Edits and memos that only need a border.
class TSkinEdit : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;
  KV_CLASS_NAME(TSkinEdit)
  void AfterDefault(TMessage& Message) override;
  void DrawFrame(HDC DC, const TRect& Rect) override;
  // The skinner of the up-down found inside the edit, or nullptr.
  TSkinUpDown* UpDown() const { return up_down_; }

 private:
  TSkinUpDown* up_down_ = nullptr;
};

class TSkinComBox : public TSkinControl {
 public:
  explicit TSkinComBox(TComponent* AOwner, bool Extended = false);
  ~TSkinComBox() override;
  KV_CLASS_NAME(TSkinComBox)
  void AttachControl(TWinSkinForm* Form, TSkinData* Data, TWinControl* Control, bool KeepColour,
                     TCanvas* Canvas) override;
  void AttachWindow(HWND Window, TSkinData* Data, TWinSkinForm* Form, TCanvas* Canvas) override;
  void Detach() override;
  void AfterDefault(TMessage& Message) override;
  void DrawFrame(HDC DC, const TRect& Rect) override;
  bool Extended() const { return own_button_; }
  HWND Child() const { return child_; }
  bool Dropped() const { return dropped_; }
  // The frame that the state selects: 3 disabled, 2 pressed, 4 focused or hot, 1 normal.
  int ComboFrame();

 private:
  void HookChild();
  void UnhookChild();
  static LRESULT ChildProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  void DrawFlat(HDC DC, const TRect& Rect);

  DWORD style_ = 0, ex_style_ = 0;
  HWND child_ = nullptr;
  WNDPROC child_proc_ = nullptr;
  bool dropped_ = false;
  TRect button_{};
  bool own_button_ = false;
  int mouse_ = 0;  // bit 0 hot, bit 1 pressed
};

// ---- Date-time pickers ------------------------------------------------------------------------------------
class TSkinDateTime;

// The skinned drop arrow laid over a date-time picker: a click on it reaches the picker as a
// press and release at the same place.
class TArrowButton : public TCustomControl {
 public:
  TArrowButton(TComponent* AOwner, TSkinData* Data, TWinControl* Picker);
  KV_CLASS_NAME(TArrowButton)
  // Width and height for the picker's current size, at the side the picker's style asks.
  void Place();
  bool Hot() const { return hot_; }

 protected:
  void Paint() override;
  void WndProc(TMessage& Message) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

 private:
  TSkinData* data_;
  TWinControl* picker_;
  int arrow_width_;
  bool hot_ = false;
};

class TSkinDateTime : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;
  KV_CLASS_NAME(TSkinDateTime)
  void AttachControl(TWinSkinForm* Form, TSkinData* Data, TWinControl* Control, bool KeepColour,
                     TCanvas* Canvas) override;
  void AfterDefault(TMessage& Message) override;
  void DrawFrame(HDC DC, const TRect& Rect) override;
  TArrowButton* Arrow() const { return arrow_; }

 private:
  TArrowButton* arrow_ = nullptr;
};
