// Common controls: the status bar and the progress bar over the platform's
// "msctls_statusbar32" and "msctls_progress32"; panels, images and timers.
#pragma once

#include <algorithm>
#include <functional>
#include <memory>

#include "framework/controls/stdctrls.h"
#include "framework/core/sysutils.h"
#include "platform/comctl/imagelist.h"

// ---- Status bar --------------------------------------------------------------------------------------
class TStatusPanels;

class TStatusPanel : public TCollectionItem {
 public:
  explicit TStatusPanel(TCollection* Collection);
  KV_CLASS_NAME(TStatusPanel)
  const AnsiString& Text() const { return text_; }
  void SetText(const AnsiString& Value);
  int Width() const { return width_; }
  void SetWidth(int Value);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment Value);

 private:
  AnsiString text_;
  int width_ = 50;
  TAlignment alignment_ = taLeftJustify;
};

class TCustomStatusBar;

class TStatusPanels : public TCollection {
 public:
  explicit TStatusPanels(TCustomStatusBar* StatusBar);
  KV_CLASS_NAME(TStatusPanels)
  TStatusPanel* Add() { return static_cast<TStatusPanel*>(TCollection::Add()); }
  TStatusPanel* Items(int Index) const { return static_cast<TStatusPanel*>(TCollection::Items(Index)); }
  TPersistent* GetOwner() override;

 protected:
  void Update(TCollectionItem* Item) override;

 private:
  TCustomStatusBar* status_bar_;
};

// A status bar aligned to the bottom of its parent; its panels are the window's parts
// (a panel's right edge is the sum of the widths so far; the last one reaches the end).
class TCustomStatusBar : public TWinControl {
 public:
  explicit TCustomStatusBar(TComponent* AOwner);
  ~TCustomStatusBar() override;
  KV_CLASS_NAME(TCustomStatusBar)
  TStatusPanels* Panels() { return panels_.get(); }
  bool SimplePanel() const { return simple_panel_; }
  void SetSimplePanel(bool Value);
  const AnsiString& SimpleText() const { return simple_text_; }
  void SetSimpleText(const AnsiString& Value);
  bool SizeGrip() const { return size_grip_; }
  void SetSizeGrip(bool Value);
  // The window's borders: horizontal, vertical and between parts.
  int BorderWidth();
  // Puts the panels' widths and texts into the window.
  void UpdatePanels();

 protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void WndProc(TMessage& Message) override;

 private:
  std::unique_ptr<TStatusPanels> panels_;
  bool simple_panel_ = false;
  AnsiString simple_text_;
  bool size_grip_ = true;
};

class TStatusBar : public TCustomStatusBar {
 public:
  explicit TStatusBar(TComponent* AOwner) : TCustomStatusBar(AOwner) {}
  KV_CLASS_NAME(TStatusBar)
};

// ---- Progress bar ---------------------------------------------------------------------------------------
enum TProgressBarOrientation { pbHorizontal, pbVertical };

class TProgressBar : public TWinControl {
 public:
  explicit TProgressBar(TComponent* AOwner);
  KV_CLASS_NAME(TProgressBar)
  int Min() const { return min_; }
  void SetMin(int Value) { SetRange(Value, max_); }
  int Max() const { return max_; }
  void SetMax(int Value) { SetRange(min_, Value); }
  // Kept within [Min, Max].
  int Position();
  void SetPosition(int Value);
  int Step() const { return step_; }
  void SetStep(int Value);
  void StepIt();
  void StepBy(int Delta);
  bool Smooth() const { return smooth_; }
  void SetSmooth(bool Value);
  TProgressBarOrientation Orientation() const { return orientation_; }
  void SetOrientation(TProgressBarOrientation Value);

 protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void DestroyWnd() override;

 private:
  void SetRange(int AMin, int AMax);
  int min_ = 0, max_ = 100, position_ = 0, step_ = 10;
  bool smooth_ = false;
  TProgressBarOrientation orientation_ = pbHorizontal;
};

// ---- Track bar ------------------------------------------------------------------------------------------
enum TTrackBarOrientation { trHorizontal, trVertical };
enum TTickStyle { tsNone, tsAuto };

// A thumb on "msctls_trackbar32"; OnChange after every move (drag, page, key or Position).
class TTrackBar : public TWinControl {
 public:
  explicit TTrackBar(TComponent* AOwner);
  KV_CLASS_NAME(TTrackBar)
  int Min() const { return min_; }
  void SetMin(int Value) { SetRange(Value, std::max(Value, max_)); }
  int Max() const { return max_; }
  void SetMax(int Value) { SetRange(std::min(min_, Value), Value); }
  int Position();
  // Kept within [Min, Max].
  void SetPosition(int Value);
  int Frequency() const { return frequency_; }
  void SetFrequency(int Value);
  int LineSize() const { return line_size_; }
  void SetLineSize(int Value);
  int PageSize() const { return page_size_; }
  void SetPageSize(int Value);
  TTrackBarOrientation Orientation() const { return orientation_; }
  void SetOrientation(TTrackBarOrientation Value);
  TTickStyle TickStyle() const { return tick_style_; }
  void SetTickStyle(TTickStyle Value);
  TNotifyEvent OnChange;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  void WndProc(TMessage& Message) override;

 private:
  void SetRange(int AMin, int AMax);
  int min_ = 0, max_ = 10, position_ = 0;
  int frequency_ = 1, line_size_ = 1, page_size_ = 2;
  TTrackBarOrientation orientation_ = trHorizontal;
  TTickStyle tick_style_ = tsAuto;
};

// ---- Up-down --------------------------------------------------------------------------------------------
enum TUDOrientation { udHorizontal, udVertical };
enum TUDBtnType { btNext, btPrev };
using TUDClickEvent = std::function<void(TObject* Sender, TUDBtnType Button)>;
using TUDChangingEvent = std::function<void(TObject* Sender, bool& AllowChange)>;

// Arrows on "msctls_updown32" that step Position within [Min, Max] (by Increment), shown
// in the Associate's text. OnChanging may refuse a step; OnClick tells which arrow stepped.
class TUpDown : public TWinControl {
 public:
  explicit TUpDown(TComponent* AOwner);
  KV_CLASS_NAME(TUpDown)
  int Min() const { return min_; }
  void SetMin(int Value);
  int Max() const { return max_; }
  void SetMax(int Value);
  int Position();
  void SetPosition(int Value);
  int Increment = 1;
  bool Wrap() const { return wrap_; }
  void SetWrap(bool Value);
  TUDOrientation Orientation() const { return orientation_; }
  void SetOrientation(TUDOrientation Value);
  TWinControl* Associate() const { return associate_; }
  void SetAssociate(TWinControl* Value);
  TUDClickEvent OnClick;
  TUDChangingEvent OnChanging;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  void WndProc(TMessage& Message) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  int min_ = 0, max_ = 100, position_ = 0;
  bool wrap_ = false;
  TUDOrientation orientation_ = udVertical;
  TWinControl* associate_ = nullptr;
};

// ---- Date-time picker ------------------------------------------------------------------------------------
enum TDateTimeKind { dtkDate, dtkTime };

// A date (or a time of day) on "SysDateTimePick32"; OnChange after every change the
// user makes (keys, arrows, the calendar), OnDropDown and OnCloseUp around the calendar.
class TDateTimePicker : public TWinControl {
 public:
  explicit TDateTimePicker(TComponent* AOwner);
  KV_CLASS_NAME(TDateTimePicker)
  TDateTime DateTime();
  // EConvertError for a value outside the calendar (before 1601 or after 30827).
  void SetDateTime(TDateTime Value);
  TDateTimeKind Kind() const { return kind_; }
  void SetKind(TDateTimeKind Value);
  TNotifyEvent OnChange;
  TNotifyEvent OnDropDown;
  TNotifyEvent OnCloseUp;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  void WndProc(TMessage& Message) override;

 private:
  TDateTime value_;
  TDateTimeKind kind_ = dtkDate;
};

// ---- Panel -------------------------------------------------------------------------------------------
enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };

class TCustomPanel : public TCustomControl {
 public:
  explicit TCustomPanel(TComponent* AOwner);
  KV_CLASS_NAME(TCustomPanel)
  TBevelCut BevelOuter() const { return bevel_outer_; }
  void SetBevelOuter(TBevelCut Value);
  TBevelCut BevelInner() const { return bevel_inner_; }
  void SetBevelInner(TBevelCut Value);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment Value);
  // A transparent panel leaves its background to its parent.
  bool Transparent = false;

 protected:
  void Paint() override;
  void WndProc(TMessage& Message) override;

 private:
  TBevelCut bevel_outer_ = bvRaised;
  TBevelCut bevel_inner_ = bvNone;
  TAlignment alignment_ = taCenter;
};

class TPanel : public TCustomPanel {
 public:
  explicit TPanel(TComponent* AOwner) : TCustomPanel(AOwner) {}
  KV_CLASS_NAME(TPanel)
};

// ---- Image -------------------------------------------------------------------------------------------
class TImage : public TGraphicControl {
 public:
  explicit TImage(TComponent* AOwner);
  ~TImage() override;
  KV_CLASS_NAME(TImage)
  TPicture* Picture() { return picture_.get(); }
  bool Stretch() const { return stretch_; }
  void SetStretch(bool Value);
  bool Center() const { return center_; }
  void SetCenter(bool Value);

 protected:
  void Paint() override;

 private:
  std::unique_ptr<TPicture> picture_;
  bool stretch_ = false;
  bool center_ = false;
};

// ---- Image list -----------------------------------------------------------------------------------------
typedef struct _IMAGELIST* HIMAGELIST;

// Equal-sized images drawn by index, kept in a platform image list (Handle) that controls of
// the platform can be given.
class TCustomImageList : public TComponent {
 public:
  explicit TCustomImageList(TComponent* AOwner) : TComponent(AOwner) {}
  ~TCustomImageList() override;
  KV_CLASS_NAME(TCustomImageList)
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Changing the size clears the list.
  void SetSize(int AWidth, int AHeight);
  int Count() const;
  // A copy of Image (stretched to the list's size); returns its index.
  int Add(TBitmap* Image);
  void Delete(int Index);
  void Clear();
  // Image `Index` drawn into Image, which takes the list's size. EListError "List index out
  // of bounds (%d)" for a bad index, here and in Delete and Draw.
  void GetBitmap(int Index, TBitmap* Image);
  void Draw(TCanvas* Canvas, int X, int Y, int Index, bool Enabled = true);
  // The platform list, made on first use. SetHandle takes over a list made elsewhere (its
  // size becomes the list's); the list frees its handle unless ShareImages is set.
  HIMAGELIST Handle();
  void SetHandle(HIMAGELIST Value);
  bool HandleAllocated() const { return handle_ != nullptr; }
  bool ShareImages = false;

 private:
  void CheckIndex(int Index) const;
  int width_ = 16, height_ = 16;
  HIMAGELIST handle_ = nullptr;
};

class TImageList : public TCustomImageList {
 public:
  explicit TImageList(TComponent* AOwner) : TCustomImageList(AOwner) {}
  KV_CLASS_NAME(TImageList)
};

// ---- Tool bar -------------------------------------------------------------------------------------------
class TMenuItem;
class TToolBar;
enum TToolButtonStyle { tbsButton, tbsCheck, tbsDropDown, tbsSeparator, tbsDivider };
enum TCustomDrawStateItem {
  cdsSelected,
  cdsGrayed,
  cdsDisabled,
  cdsChecked,
  cdsFocused,
  cdsDefault,
  cdsHot,
  cdsMarked,
  cdsIndeterminate
};
using TCustomDrawState = Set<TCustomDrawStateItem, cdsSelected, cdsIndeterminate>;

// A button of a tool bar (a graphic control the tool bar lays out left to right).
class TToolButton : public TGraphicControl {
 public:
  explicit TToolButton(TComponent* AOwner);
  KV_CLASS_NAME(TToolButton)
  TToolButtonStyle Style() const { return style_; }
  void SetStyle(TToolButtonStyle Value);
  int ImageIndex() const { return image_index_; }
  void SetImageIndex(int Value);
  bool Down() const { return down_; }
  void SetDown(bool Value);
  TMenuItem* MenuItem = nullptr;
  TToolBar* ToolBar() const;
  void Click() override;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void WndProc(TMessage& Message) override;

 private:
  TToolButtonStyle style_ = tbsButton;
  int image_index_ = -1;
  bool down_ = false;
  bool pressed_ = false;
};

using TTBCustomDrawEvent = std::function<void(TToolBar* Sender, const TRect& ARect, bool& DefaultDraw)>;
using TTBCustomDrawBtnEvent =
    std::function<void(TToolBar* Sender, TToolButton* Button, TCustomDrawState State, bool& DefaultDraw)>;

// A tool bar over "ToolbarWindow32" (aligned to the top of its parent). It paints its
// background and its buttons itself, raising OnCustomDraw and OnCustomDrawButton first.
class TToolBar : public TWinControl {
 public:
  explicit TToolBar(TComponent* AOwner);
  ~TToolBar() override;
  KV_CLASS_NAME(TToolBar)
  bool Flat() const { return flat_; }
  void SetFlat(bool Value);
  int ButtonWidth() const { return button_width_; }
  void SetButtonWidth(int Value);
  int ButtonHeight() const { return button_height_; }
  void SetButtonHeight(int Value);
  bool ShowCaptions() const { return show_captions_; }
  void SetShowCaptions(bool Value);
  TCustomImageList* Images = nullptr;
  // The menu whose items the buttons show (the skin engine paints its items).
  TMenuItem* Menu = nullptr;
  int ButtonCount() const;
  TToolButton* Buttons(int Index) const;
  TCanvas* Canvas() { return canvas_.get(); }
  TTBCustomDrawEvent OnCustomDraw;
  TTBCustomDrawBtnEvent OnCustomDrawButton;
  // Places the buttons left to right in the order of the controls.
  void ArrangeButtons();

 protected:
  void CreateParams(TCreateParams& Params) override;
  void WndProc(TMessage& Message) override;
  void PaintWindow(HDC DC) override;
  void AlignControls(TControl* AControl, TRect& Rect) override;

 private:
  bool flat_ = false;
  int button_width_ = 23, button_height_ = 22;
  bool show_captions_ = false;
  std::unique_ptr<TCanvas> canvas_;
};

// ---- Splitter --------------------------------------------------------------------------------------------
// A bar between two aligned controls: dragging it resizes the control before it (the
// nearest one aligned the same way), never below MinSize.
class TSplitter : public TGraphicControl {
 public:
  explicit TSplitter(TComponent* AOwner);
  KV_CLASS_NAME(TSplitter)
  int MinSize = 30;
  bool Beveled = false;
  TNotifyEvent OnMoved;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

 private:
  TControl* FindControl() const;
  bool dragging_ = false;
  TPoint down_at_{};
  int start_size_ = 0;
  TControl* target_ = nullptr;
};

// ---- Timer -------------------------------------------------------------------------------------------
// A timer of the platform on a hidden window of its own: OnTimer every Interval
// milliseconds while Enabled (a timer without OnTimer or with Interval 0 does not run).
class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;
  KV_CLASS_NAME(TTimer)
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool Value);
  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned Value);
  const TNotifyEvent& OnTimer() const { return on_timer_; }
  void SetOnTimer(TNotifyEvent Value);

 protected:
  virtual void Timer();

 private:
  void UpdateTimer();
  HWND window_ = nullptr;
  bool enabled_ = true;
  unsigned interval_ = 1000;
  TNotifyEvent on_timer_;
};
