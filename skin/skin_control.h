// TSkinControl: the base of every control skinner. It takes over the control's window
// procedure, lets the control's own procedure run and paints the skin on top.
#pragma once

#include "framework/controls/controls.h"
#include "framework/core/sysutils.h"

class TSkinData;
class TWinSkinForm;

class TSkinControl : public TComponent {
 public:
  explicit TSkinControl(TComponent* AOwner);
  ~TSkinControl() override;
  KV_CLASS_NAME(TSkinControl)

  virtual void AttachControl(TWinSkinForm* Form, TSkinData* Data, TWinControl* Control, bool KeepColour,
                             TCanvas* Canvas);
  virtual void AttachWindow(HWND Window, TSkinData* Data, TWinSkinForm* Form, TCanvas* Canvas);
  virtual void Detach();
  // True lets the control's own procedure run, then AfterDefault; false: handled here.
  virtual bool BeforeDefault(TMessage& Message);
  virtual void AfterDefault(TMessage& Message);
  virtual void PaintFrame(HDC DC);
  virtual void DrawFrame(HDC DC, const TRect& Rect);
  virtual void SkinChanged();
  void Repaint();

  HWND Handle() const { return handle_; }
  int State() const { return state_; }  // 1 attached, 6 after WM_NCDESTROY
  bool PaintingEnabled() const { return painting_; }
  TWinControl* Control() const { return control_; }
  // Whether attaching swaps the control's colour for the face colour.
  bool KeepColour() const { return keep_colour_; }
  void SetKeepColour(bool Value) { keep_colour_ = Value; }
  TControl* RepaintTarget = nullptr;

 protected:
  void Default(TMessage& Message);
  void WndProc(TMessage& Message);
  LONG_PTR WindowLong(int Index) const;
  void Fill(HDC DC, const TRect& Rect, TColor Colour);
  // The focus rectangle around Text as DrawText would place it in Bounds with Flags
  // (DT_CENTER, DT_RIGHT or left), inflated by 2 and 1 and clipped to Bounds.
  void DrawFocusRectFor(HDC DC, const TRect& Bounds, const WideString& Text, UINT Flags);
  // A mouse message's press handed to the control's mouse-down handler as a left-button press.
  void ForwardMouseDown(const TMessage& Message);
  // WM_PAINT (or WM_PRINT): DrawFrame over the window rectangle moved to the origin, on the DC
  // in wParam or through BeginPaint.
  void PaintMessage(TMessage& Message);
  // Buttons, check boxes and radio buttons copy their parent's image as their background
  // for a control tagged 5555 or under xoTransparent.
  bool ParentMode() const;
  void SwitchParentBackground(bool Attach);

  TCanvas* canvas_ = nullptr;
  bool handled_ = false;
  bool raw_ = false;
  WideString text_;
  WNDPROC old_proc_ = nullptr;
  bool painting_ = true;
  bool unicode_ = false;
  TSkinData* data_ = nullptr;
  HWND handle_ = nullptr;
  TWndMethod old_method_;
  TWinControl* control_ = nullptr;
  TRect last_rect_{};
  bool keep_colour_ = false;
  TColor saved_colour_ = 0;
  bool attached_ = false;
  int state_ = 0;
  TWinSkinForm* form_ = nullptr;
  int background_switched_ = 0;  // 1 when ParentBackground was switched off
  bool parent_background_ = false;

 private:
  static LRESULT RawProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
};
