// Speed buttons: graphic buttons without a window of their own, drawn on the parent.
#pragma once

#include <memory>

#include "framework/controls/controls.h"

enum TButtonState { bsUp, bsDisabled, bsDown, bsExclusive };
enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

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
  TBitmap* Glyph() { return glyph_.get(); }
  TButtonLayout Layout = blGlyphLeft;
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
  std::unique_ptr<TBitmap> glyph_;
};
