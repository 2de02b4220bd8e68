// Speed buttons (graphic buttons without a window of their own, drawn on the parent) and
// bit buttons (push buttons with a glyph), sharing the glyph's layout.
#pragma once

#include <memory>

#include "framework/controls/controls.h"
#include "framework/controls/stdctrls.h"

enum TButtonState { bsUp, bsDisabled, bsDown, bsExclusive };
enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

// A glyph strip of NumGlyphs equal pictures (up, disabled, down, held down) and where it
// goes beside a caption. Margin is the room between the edge and the glyph, Spacing the
// room between glyph and caption; -1 centres them (Margin) or shares the rest (Spacing).
class TButtonGlyph {
 public:
  TButtonGlyph();
  TBitmap* Glyph() { return glyph_.get(); }
  int NumGlyphs() const { return num_glyphs_; }
  // Kept within 1..4.
  void SetNumGlyphs(int Value);
  TButtonLayout Layout = blGlyphLeft;
  int Margin = -1;
  int Spacing = 4;
  // The glyph's top-left corner and the caption's rectangle in `Client`, with the caption
  // measured in the font selected into `DC`.
  void CalcLayout(HDC DC, const TRect& Client, const AnsiString& Caption, TPoint* GlyphPos, TRect* TextRect);
  // Glyph and caption into `Client`; a pressed button's move one pixel right and down. The
  // glyph's bottom-left pixel is transparent; without a disabled glyph, a disabled
  // button's glyph is embossed.
  void Draw(HDC DC, const TRect& Client, const AnsiString& Caption, TButtonState State, bool Enabled);

 private:
  int GlyphWidth();
  std::unique_ptr<TBitmap> glyph_;
  int num_glyphs_ = 1;
};

// A click (left press and release over the button) raises OnClick; with a GroupIndex
// the button stays down, and pressing one button of a group releases the others of the
// same parent (AllowAllUp lets a pressed one come up again).
class TSpeedButton : public TGraphicControl {
 public:
  explicit TSpeedButton(TComponent* AOwner);
  ~TSpeedButton() override;
  KV_CLASS_NAME(TSpeedButton)
  bool Down() const { return down_; }
  void SetDown(bool Value);
  int GroupIndex() const { return group_index_; }
  void SetGroupIndex(int Value) { group_index_ = Value; }
  bool AllowAllUp = false;
  bool Flat() const { return flat_; }
  void SetFlat(bool Value);
  TBitmap* Glyph() { return glyph_.Glyph(); }
  int NumGlyphs() const { return glyph_.NumGlyphs(); }
  void SetNumGlyphs(int Value);
  TButtonLayout Layout() const { return glyph_.Layout; }
  void SetLayout(TButtonLayout Value);
  int Margin() const { return glyph_.Margin; }
  void SetMargin(int Value);
  int Spacing() const { return glyph_.Spacing; }
  void SetSpacing(int Value);
  TButtonState State() const { return state_; }
  bool MouseInControl() const { return mouse_in_; }
  void Click() override;

 protected:
  void Paint() override;
  void WndProc(TMessage& Message) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

 private:
  void UpdateExclusive();
  bool down_ = false;
  int group_index_ = 0;
  bool flat_ = false;
  bool mouse_in_ = false;
  bool dragging_ = false;
  TButtonState state_ = bsUp;
  TButtonGlyph glyph_;
};

// A push button that draws its glyph and caption itself (owner-drawn "Button").
class TBitBtn : public TButton {
 public:
  explicit TBitBtn(TComponent* AOwner);
  KV_CLASS_NAME(TBitBtn)
  TBitmap* Glyph() { return glyph_.Glyph(); }
  int NumGlyphs() const { return glyph_.NumGlyphs(); }
  void SetNumGlyphs(int Value);
  TButtonLayout Layout() const { return glyph_.Layout; }
  void SetLayout(TButtonLayout Value);
  int Margin() const { return glyph_.Margin; }
  void SetMargin(int Value);
  int Spacing() const { return glyph_.Spacing; }
  void SetSpacing(int Value);

 protected:
  void CreateParams(TCreateParams& Params) override;
  void WndProc(TMessage& Message) override;

 private:
  void DrawItem(const DRAWITEMSTRUCT& Item);
  TButtonGlyph glyph_;
};
