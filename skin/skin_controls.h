// The control skinners: push buttons, check boxes, radio buttons, group boxes, panels,
// dialog backgrounds, size grips, status bars, progress bars, column headers, list views,
// edits and combo boxes. Each repaints its control from the skin's elements; the class
// mapping of TWinSkinForm decides which control gets which.
#pragma once

#include <memory>
#include <vector>

#include "platform/user/controls/controls.h"
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
// has none or its Options hold xoToolbarBK.
void PaintToolBarBackground(TSkinData* Data, TToolBar* Bar, const TRect& Rect);
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
  // Background and the [Buttons] frame into the off-screen bitmap of Rect's size.
  void DrawFace(const TRect& Rect, int Frame);
  // Font and text colour of the caption; NormalAlways applies NormalColour2 in every state.
  void SelectTextColours(HDC DC, bool NormalAlways);
  WideString CaptionW();
  bool FocusedNow() const;
  bool EnabledNow() const;

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
  void DrawFrame(HDC DC, const TRect& Rect) override;
  const AnsiString& GlyphProperty() const { return glyph_property_; }

 protected:
  // Glyph and caption of the control Source laid out over W x H of the off-screen bitmap;
  // Index is the glyph (1 normal, 2 disabled, 3 pressed). The speed buttons' margin from a
  // given spacing is one pixel larger.
  void DrawGlyphAndCaption(TControl* Source, int W, int H, int Index, bool Enabled, bool Focused, bool Speed);
  AnsiString glyph_property_;
};

// A push button with a drop-down arrow at its right.
class TSkinMenuButton : public TSkinButton {
 public:
  using TSkinButton::TSkinButton;
  KV_CLASS_NAME(TSkinMenuButton)
  void DrawFrame(HDC DC, const TRect& Rect) override;

 protected:
  int ButtonFrame() override;
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

// The list view's skinner; its column header gets a TSkinHeader of its own.
class TSkinListView : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;
  KV_CLASS_NAME(TSkinListView)
  void AttachControl(TWinSkinForm* Form, TSkinData* Data, TWinControl* Control, bool KeepColour,
                     TCanvas* Canvas) override;
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
