#include "framework/controls/comctrls.h"

#include <algorithm>

#include "framework/core/sysutils.h"
#include "platform/base/error.h"
#include "platform/comctl/comctl.h"
#include "platform/comctl/datetime.h"
#include "platform/comctl/imagelist.h"
#include "platform/comctl/progress.h"
#include "platform/comctl/statusbar.h"
#include "platform/comctl/toolbar.h"
#include "platform/comctl/trackbar.h"
#include "platform/comctl/updown.h"

// ---- TStatusPanel, TStatusPanels -----------------------------------------------------------------------

TStatusPanel::TStatusPanel(TCollection* Collection) : TCollectionItem(Collection) {}

void TStatusPanel::SetText(const AnsiString& Value) {
  if (text_ == Value) return;
  text_ = Value;
  Changed(false);
}

void TStatusPanel::SetWidth(int Value) {
  if (width_ == Value) return;
  width_ = Value;
  Changed(true);
}

void TStatusPanel::SetAlignment(TAlignment Value) {
  if (alignment_ == Value) return;
  alignment_ = Value;
  Changed(false);
}

TStatusPanels::TStatusPanels(TCustomStatusBar* StatusBar)
    : TCollection(CollectionItemClass<TStatusPanel>()), status_bar_(StatusBar) {}

TPersistent* TStatusPanels::GetOwner() { return status_bar_; }

void TStatusPanels::Update(TCollectionItem*) { status_bar_->UpdatePanels(); }

// ---- TCustomStatusBar ------------------------------------------------------------------------------------

TCustomStatusBar::TCustomStatusBar(TComponent* AOwner)
    : TWinControl(AOwner), panels_(std::make_unique<TStatusPanels>(this)) {
  height_ = 19;
  width_ = 200;
  align_ = alBottom;
  color_ = clBtnFace;
  brush_->SetColor(color_);
}

TCustomStatusBar::~TCustomStatusBar() {
  Destroying();
  if (handle_) DestroyWindowHandle();
}

void TCustomStatusBar::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  CreateSubClass(Params, "msctls_statusbar32");
  // The framework places the bar itself (Align), so the control must not move itself.
  Params.Style |= CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_TOP;
  if (size_grip_ && parent_ && dynamic_cast<TCustomForm*>(parent_)) Params.Style |= SBARS_SIZEGRIP;
}

void TCustomStatusBar::CreateWnd() {
  TWinControl::CreateWnd();
  UpdatePanels();
}

void TCustomStatusBar::UpdatePanels() {
  if (!handle_) return;
  if (simple_panel_) {
    SendMessageA(handle_, SB_SIMPLE, 1, 0);
    SendMessageA(handle_, SB_SETTEXTA, 255, reinterpret_cast<LPARAM>(simple_text_.c_str()));
    return;
  }
  SendMessageA(handle_, SB_SIMPLE, 0, 0);
  int n = panels_->Count();
  if (n == 0) {
    int edge = -1;
    SendMessageA(handle_, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(&edge));
    SendMessageA(handle_, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(""));
    return;
  }
  std::vector<int> edges(static_cast<size_t>(n));
  int x = 0;
  for (int i = 0; i < n; ++i) {
    x += panels_->Items(i)->Width();
    edges[static_cast<size_t>(i)] = x;
  }
  edges.back() = -1;
  SendMessageA(handle_, SB_SETPARTS, static_cast<WPARAM>(n), reinterpret_cast<LPARAM>(edges.data()));
  for (int i = 0; i < n; ++i)
    SendMessageA(handle_, SB_SETTEXTA, static_cast<WPARAM>(i),
                 reinterpret_cast<LPARAM>(panels_->Items(i)->Text().c_str()));
}

void TCustomStatusBar::SetSimplePanel(bool Value) {
  if (simple_panel_ == Value) return;
  simple_panel_ = Value;
  UpdatePanels();
}

void TCustomStatusBar::SetSimpleText(const AnsiString& Value) {
  simple_text_ = Value;
  if (simple_panel_) UpdatePanels();
}

void TCustomStatusBar::SetSizeGrip(bool Value) {
  if (size_grip_ == Value) return;
  size_grip_ = Value;
  RecreateWnd();
}

int TCustomStatusBar::BorderWidth() {
  int borders[3] = {0, 0, 0};
  if (handle_ && SendMessageA(handle_, SB_GETBORDERS, 0, reinterpret_cast<LPARAM>(borders))) return borders[0];
  return 0;
}

void TCustomStatusBar::WndProc(TMessage& Message) {
  if (Message.Msg == WM_SIZE) {
    TWinControl::WndProc(Message);
    UpdatePanels();
    return;
  }
  TWinControl::WndProc(Message);
}

// ---- TProgressBar ------------------------------------------------------------------------------------------

TProgressBar::TProgressBar(TComponent* AOwner) : TWinControl(AOwner) {
  width_ = 150;
  height_ = 16;
}

void TProgressBar::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  CreateSubClass(Params, "msctls_progress32");
  if (smooth_) Params.Style |= PBS_SMOOTH;
  if (orientation_ == pbVertical) Params.Style |= PBS_VERTICAL;
}

void TProgressBar::CreateWnd() {
  TWinControl::CreateWnd();
  SendMessageA(handle_, PBM_SETRANGE32, static_cast<WPARAM>(min_), max_);
  SendMessageA(handle_, PBM_SETSTEP, static_cast<WPARAM>(step_), 0);
  SendMessageA(handle_, PBM_SETPOS, static_cast<WPARAM>(position_), 0);
}

void TProgressBar::DestroyWnd() {
  position_ = Position();
  TWinControl::DestroyWnd();
}

void TProgressBar::SetRange(int AMin, int AMax) {
  if (AMax < AMin) throw EInvalidOperation(Format("%d is not within the valid range of %d..%d", AMax, AMin, AMax));
  min_ = AMin;
  max_ = AMax;
  position_ = std::clamp(position_, min_, max_);
  if (handle_) SendMessageA(handle_, PBM_SETRANGE32, static_cast<WPARAM>(min_), max_);
}

int TProgressBar::Position() {
  if (handle_) position_ = static_cast<int>(SendMessageA(handle_, PBM_GETPOS, 0, 0));
  return position_;
}

void TProgressBar::SetPosition(int Value) {
  position_ = std::clamp(Value, min_, max_);
  if (handle_) SendMessageA(handle_, PBM_SETPOS, static_cast<WPARAM>(position_), 0);
}

void TProgressBar::SetStep(int Value) {
  step_ = Value;
  if (handle_) SendMessageA(handle_, PBM_SETSTEP, static_cast<WPARAM>(Value), 0);
}

void TProgressBar::StepIt() {
  // The platform's bar wraps to the minimum when a step passes the maximum.
  int next = Position() + step_;
  if (next > max_) next = min_ + (next - max_);
  SetPosition(next);
}

void TProgressBar::StepBy(int Delta) { SetPosition(Position() + Delta); }

void TProgressBar::SetSmooth(bool Value) {
  if (smooth_ == Value) return;
  smooth_ = Value;
  RecreateWnd();
}

void TProgressBar::SetOrientation(TProgressBarOrientation Value) {
  if (orientation_ == Value) return;
  orientation_ = Value;
  RecreateWnd();
}

// ---- TTrackBar --------------------------------------------------------------------------------------------

TTrackBar::TTrackBar(TComponent* AOwner) : TWinControl(AOwner) {
  width_ = 150;
  height_ = 45;
  tab_stop_ = true;
}

void TTrackBar::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  CreateSubClass(Params, "msctls_trackbar32");
  if (orientation_ == trVertical) Params.Style |= TBS_VERT;
  Params.Style |= tick_style_ == tsAuto ? TBS_AUTOTICKS : TBS_NOTICKS;
}

void TTrackBar::CreateWnd() {
  TWinControl::CreateWnd();
  SendMessageA(handle_, TBM_SETRANGEMIN, FALSE, min_);
  SendMessageA(handle_, TBM_SETRANGEMAX, FALSE, max_);
  SendMessageA(handle_, TBM_SETTICFREQ, static_cast<WPARAM>(frequency_), 0);
  SendMessageA(handle_, TBM_SETLINESIZE, 0, line_size_);
  SendMessageA(handle_, TBM_SETPAGESIZE, 0, page_size_);
  SendMessageA(handle_, TBM_SETPOS, TRUE, position_);
}

void TTrackBar::DestroyWnd() {
  position_ = Position();
  TWinControl::DestroyWnd();
}

void TTrackBar::SetRange(int AMin, int AMax) {
  min_ = AMin;
  max_ = AMax;
  position_ = std::clamp(position_, min_, max_);
  if (!handle_) return;
  SendMessageA(handle_, TBM_SETRANGEMIN, FALSE, min_);
  SendMessageA(handle_, TBM_SETRANGEMAX, TRUE, max_);
}

int TTrackBar::Position() {
  if (handle_) position_ = static_cast<int>(SendMessageA(handle_, TBM_GETPOS, 0, 0));
  return position_;
}

void TTrackBar::SetPosition(int Value) {
  Value = std::clamp(Value, min_, max_);
  if (Value == Position()) return;
  position_ = Value;
  if (handle_) SendMessageA(handle_, TBM_SETPOS, TRUE, position_);
  if (OnChange) OnChange(this);
}

void TTrackBar::SetFrequency(int Value) {
  frequency_ = std::max(1, Value);
  if (handle_) SendMessageA(handle_, TBM_SETTICFREQ, static_cast<WPARAM>(frequency_), 0);
}

void TTrackBar::SetLineSize(int Value) {
  line_size_ = Value;
  if (handle_) SendMessageA(handle_, TBM_SETLINESIZE, 0, Value);
}

void TTrackBar::SetPageSize(int Value) {
  page_size_ = Value;
  if (handle_) SendMessageA(handle_, TBM_SETPAGESIZE, 0, Value);
}

void TTrackBar::SetOrientation(TTrackBarOrientation Value) {
  if (orientation_ == Value) return;
  orientation_ = Value;
  // The track bar turns: width and height change places.
  SetBounds(left_, top_, height_, width_);
  RecreateWnd();
}

void TTrackBar::SetTickStyle(TTickStyle Value) {
  if (tick_style_ == Value) return;
  tick_style_ = Value;
  RecreateWnd();
}

void TTrackBar::WndProc(TMessage& Message) {
  if (Message.Msg == CN_HSCROLL || Message.Msg == CN_VSCROLL) {
    int before = position_;
    if (Position() != before && OnChange) OnChange(this);
    Message.Result = 0;
    return;
  }
  TWinControl::WndProc(Message);
}

// ---- TUpDown ----------------------------------------------------------------------------------------------

TUpDown::TUpDown(TComponent* AOwner) : TWinControl(AOwner) {
  width_ = 17;
  height_ = 25;
}

void TUpDown::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  CreateSubClass(Params, "msctls_updown32");
  Params.Style |= UDS_ARROWKEYS;
  if (associate_) Params.Style |= UDS_SETBUDDYINT;
  if (wrap_) Params.Style |= UDS_WRAP;
  if (orientation_ == udHorizontal) Params.Style |= UDS_HORZ;
}

void TUpDown::CreateWnd() {
  TWinControl::CreateWnd();
  SendMessageA(handle_, UDM_SETRANGE32, static_cast<WPARAM>(min_), max_);
  SendMessageA(handle_, UDM_SETPOS32, 0, position_);
  if (associate_) SendMessageA(handle_, UDM_SETBUDDY, reinterpret_cast<WPARAM>(associate_->Handle()), 0);
}

void TUpDown::DestroyWnd() {
  position_ = Position();
  TWinControl::DestroyWnd();
}

void TUpDown::SetMin(int Value) {
  min_ = Value;
  if (handle_) SendMessageA(handle_, UDM_SETRANGE32, static_cast<WPARAM>(min_), max_);
  position_ = Position();
}

void TUpDown::SetMax(int Value) {
  max_ = Value;
  if (handle_) SendMessageA(handle_, UDM_SETRANGE32, static_cast<WPARAM>(min_), max_);
  position_ = Position();
}

int TUpDown::Position() {
  if (handle_) position_ = static_cast<int>(SendMessageA(handle_, UDM_GETPOS32, 0, 0));
  return position_;
}

void TUpDown::SetPosition(int Value) {
  position_ = std::clamp(Value, std::min(min_, max_), std::max(min_, max_));
  if (handle_) SendMessageA(handle_, UDM_SETPOS32, 0, position_);
}

void TUpDown::SetWrap(bool Value) {
  if (wrap_ == Value) return;
  wrap_ = Value;
  RecreateWnd();
}

void TUpDown::SetOrientation(TUDOrientation Value) {
  if (orientation_ == Value) return;
  orientation_ = Value;
  RecreateWnd();
}

void TUpDown::SetAssociate(TWinControl* Value) {
  if (associate_ == Value) return;
  if (associate_) associate_->RemoveFreeNotification(this);
  associate_ = Value;
  if (associate_) associate_->FreeNotification(this);
  RecreateWnd();
}

void TUpDown::Notification(TComponent* AComponent, TOperation Operation) {
  TWinControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == associate_) {
    associate_ = nullptr;
    if (handle_) SendMessageA(handle_, UDM_SETBUDDY, 0, 0);
  }
}

void TUpDown::WndProc(TMessage& Message) {
  if (Message.Msg == CN_NOTIFY) {
    auto* hdr = reinterpret_cast<NMUPDOWN*>(Message.LParam);
    Message.Result = 0;
    if (!hdr || hdr->hdr.code != static_cast<UINT>(UDN_DELTAPOS)) return;
    hdr->iDelta *= std::max(1, Increment);
    bool allow = true;
    if (OnChanging) OnChanging(this, allow);
    Message.Result = allow ? 0 : 1;
    return;
  }
  if (Message.Msg == CN_HSCROLL || Message.Msg == CN_VSCROLL) {
    Message.Result = 0;
    if (LOWORD(Message.WParam) != SB_THUMBPOSITION) return;
    int before = position_;
    int now = Position();
    if (OnClick && now != before) OnClick(this, (now > before) == (max_ >= min_) ? btNext : btPrev);
    return;
  }
  TWinControl::WndProc(Message);
}

// ---- TDateTimePicker ----------------------------------------------------------------------------------------

TDateTimePicker::TDateTimePicker(TComponent* AOwner) : TWinControl(AOwner), value_(Now()) {
  width_ = 186;
  height_ = 21;
  tab_stop_ = true;
}

void TDateTimePicker::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  CreateSubClass(Params, "SysDateTimePick32");
  if (kind_ == dtkTime) Params.Style |= DTS_TIMEFORMAT | DTS_UPDOWN;
}

void TDateTimePicker::CreateWnd() {
  TWinControl::CreateWnd();
  SYSTEMTIME st;
  DateTimeToSystemTime(value_, st);
  SendMessageA(handle_, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
}

void TDateTimePicker::DestroyWnd() {
  value_ = DateTime();
  TWinControl::DestroyWnd();
}

TDateTime TDateTimePicker::DateTime() {
  SYSTEMTIME st{};
  if (handle_ && SendMessageA(handle_, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)) == GDT_VALID)
    value_ = SystemTimeToDateTime(st);
  return value_;
}

void TDateTimePicker::SetDateTime(TDateTime Value) {
  SYSTEMTIME st;
  DateTimeToSystemTime(Value, st);
  FILETIME ft;
  if (!SystemTimeToFileTime(&st, &ft))
    throw EConvertError(Format("%s is outside the calendar", DateToStr(Value).c_str()));
  value_ = Value;
  if (handle_) SendMessageA(handle_, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
}

void TDateTimePicker::SetKind(TDateTimeKind Value) {
  if (kind_ == Value) return;
  value_ = DateTime();
  kind_ = Value;
  RecreateWnd();
}

void TDateTimePicker::WndProc(TMessage& Message) {
  if (Message.Msg == CN_NOTIFY) {
    auto* hdr = reinterpret_cast<const NMHDR*>(Message.LParam);
    Message.Result = 0;
    if (!hdr) return;
    if (hdr->code == static_cast<UINT>(DTN_DATETIMECHANGE)) {
      value_ = DateTime();
      if (OnChange) OnChange(this);
    } else if (hdr->code == static_cast<UINT>(DTN_DROPDOWN)) {
      if (OnDropDown) OnDropDown(this);
    } else if (hdr->code == static_cast<UINT>(DTN_CLOSEUP)) {
      if (OnCloseUp) OnCloseUp(this);
    }
    return;
  }
  TWinControl::WndProc(Message);
}

// ---- TCustomPanel ------------------------------------------------------------------------------------------

TCustomPanel::TCustomPanel(TComponent* AOwner) : TCustomControl(AOwner) {
  control_style_ << csAcceptsControls << csOpaque << csClickEvents;
  width_ = 185;
  height_ = 41;
  color_ = clBtnFace;
  brush_->SetColor(color_);
}

void TCustomPanel::SetBevelOuter(TBevelCut Value) {
  bevel_outer_ = Value;
  Invalidate();
}

void TCustomPanel::SetBevelInner(TBevelCut Value) {
  bevel_inner_ = Value;
  Invalidate();
}

void TCustomPanel::SetAlignment(TAlignment Value) {
  alignment_ = Value;
  Invalidate();
}

void TCustomPanel::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  if (!Transparent) {
    c->Brush()->SetColor(color_);
    c->Brush()->SetStyle(bsSolid);
    c->FillRect(r);
  }
  auto bevel = [&](TBevelCut cut) {
    if (cut == bvNone) return;
    if (cut != bvSpace) {
      TColor top = cut == bvRaised ? clBtnHighlight : clBtnShadow;
      TColor bottom = cut == bvRaised ? clBtnShadow : clBtnHighlight;
      c->Pen()->SetColor(top);
      c->MoveTo(r.left, r.bottom - 1);
      c->LineTo(r.left, r.top);
      c->LineTo(r.right - 1, r.top);
      c->Pen()->SetColor(bottom);
      c->LineTo(r.right - 1, r.bottom - 1);
      c->LineTo(r.left, r.bottom - 1);
    }
    r.left += 1;
    r.top += 1;
    r.right -= 1;
    r.bottom -= 1;
  };
  bevel(bevel_outer_);
  bevel(bevel_inner_);
  AnsiString text = Caption();
  if (!text.empty()) {
    static const UINT align[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
    c->Brush()->SetStyle(bsClear);
    c->Font()->Assign(font_.get());
    HDC dc = c->Handle();
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_SINGLELINE | DT_VCENTER | align[alignment_]);
  }
}

void TCustomPanel::WndProc(TMessage& Message) {
  if (Message.Msg == WM_ERASEBKGND && Transparent) {
    Message.Result = 1;  // what the parent painted shows through
    return;
  }
  if (Message.Msg == CM_TEXTCHANGED) {
    Invalidate();
    return;
  }
  TCustomControl::WndProc(Message);
}

// ---- TImage ------------------------------------------------------------------------------------------

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner), picture_(std::make_unique<TPicture>()) {
  width_ = 105;
  height_ = 105;
  picture_->OnChange = [this](TObject*) { Invalidate(); };
}

TImage::~TImage() = default;

void TImage::SetStretch(bool Value) {
  stretch_ = Value;
  Invalidate();
}

void TImage::SetCenter(bool Value) {
  center_ = Value;
  Invalidate();
}

void TImage::Paint() {
  TGraphic* g = picture_->Graphic();
  if (!g || g->Empty()) return;
  TRect r;
  if (stretch_) {
    r = ClientRect();
  } else {
    int x = center_ ? (width_ - g->Width()) / 2 : 0;
    int y = center_ ? (height_ - g->Height()) / 2 : 0;
    r = Rect(x, y, x + g->Width(), y + g->Height());
  }
  Canvas()->StretchDraw(r, g);
}

// ---- TTimer ------------------------------------------------------------------------------------------

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {
  window_ = AllocateHWnd([this](TMessage& m) {
    if (m.Msg == WM_TIMER) {
      try {
        Timer();
      } catch (...) {
        Application->HandleException(this);
      }
      return;
    }
    m.Result = DefWindowProcA(window_, m.Msg, m.WParam, m.LParam);
  });
}

TTimer::~TTimer() {
  enabled_ = false;
  if (window_ && IsWindow(window_)) KillTimer(window_, 1);
  DeallocateHWnd(window_);
}

void TTimer::UpdateTimer() {
  if (!window_ || !IsWindow(window_)) return;
  KillTimer(window_, 1);
  if (interval_ != 0 && enabled_ && on_timer_) {
    if (!SetTimer(window_, 1, interval_, nullptr)) throw EOutOfResources("Not enough timers available");
  }
}

void TTimer::SetEnabled(bool Value) {
  if (enabled_ == Value) return;
  enabled_ = Value;
  UpdateTimer();
}

void TTimer::SetInterval(unsigned Value) {
  if (interval_ == Value) return;
  interval_ = Value;
  UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent Value) {
  on_timer_ = std::move(Value);
  UpdateTimer();
}

void TTimer::Timer() {
  if (on_timer_) on_timer_(this);
}

// ---- TCustomImageList ------------------------------------------------------------------------------

TCustomImageList::~TCustomImageList() {
  if (handle_ && !ShareImages) ImageList_Destroy(handle_);
}

HIMAGELIST TCustomImageList::Handle() {
  if (!handle_) {
    handle_ = ImageList_Create(width_, height_, ILC_COLOR32 | ILC_MASK, 4, 4);
    if (!handle_) throw EInvalidOperation("Image list could not be created");
  }
  return handle_;
}

void TCustomImageList::SetHandle(HIMAGELIST Value) {
  if (Value == handle_) return;
  int cx = 0, cy = 0;
  if (Value && !ImageList_GetIconSize(Value, &cx, &cy)) throw EInvalidOperation("Invalid image list");
  if (handle_ && !ShareImages) ImageList_Destroy(handle_);
  handle_ = Value;
  if (Value) {
    width_ = cx;
    height_ = cy;
  }
}

void TCustomImageList::SetSize(int AWidth, int AHeight) {
  if (AWidth <= 0 || AHeight <= 0) throw EInvalidOperation("Invalid image size");
  if (AWidth == width_ && AHeight == height_) return;
  if (handle_ && !ImageList_SetIconSize(handle_, AWidth, AHeight)) throw EInvalidOperation("Invalid image size");
  width_ = AWidth;
  height_ = AHeight;
}

int TCustomImageList::Count() const { return handle_ ? ImageList_GetImageCount(handle_) : 0; }

void TCustomImageList::CheckIndex(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(Format("List index out of bounds (%d)", Index));
}

int TCustomImageList::Add(TBitmap* Image) {
  if (!Image) throw EInvalidOperation("Invalid image");
  TBitmap copy;
  copy.SetSize(width_, height_);
  copy.Canvas()->StretchDraw(Rect(0, 0, width_, height_), Image);
  // The list reads a bitmap of its own: the copy's stays selected into its canvas.
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateBitmap(width_, height_, 1, 32, nullptr);
  int index = -1;
  if (dc && bmp) {
    HGDIOBJ old = SelectObject(dc, bmp);
    BitBlt(dc, 0, 0, width_, height_, copy.Canvas()->Handle(), 0, 0, SRCCOPY);
    SelectObject(dc, old);
    index = ImageList_Add(Handle(), bmp, nullptr);
  }
  if (bmp) DeleteObject(bmp);
  if (dc) DeleteDC(dc);
  if (index < 0) throw EInvalidOperation("Image could not be added");
  return index;
}

void TCustomImageList::Delete(int Index) {
  CheckIndex(Index);
  ImageList_Remove(handle_, Index);
}

void TCustomImageList::Clear() {
  if (handle_) ImageList_Remove(handle_, -1);
}

void TCustomImageList::GetBitmap(int Index, TBitmap* Image) {
  CheckIndex(Index);
  if (!Image) throw EInvalidOperation("Invalid image");
  Image->SetSize(width_, height_);
  ImageList_Draw(handle_, Index, Image->Canvas()->Handle(), 0, 0, ILD_NORMAL);
}

void TCustomImageList::Draw(TCanvas* Canvas, int X, int Y, int Index, bool Enabled) {
  CheckIndex(Index);
  HDC dc = Canvas->Handle();
  ImageList_Draw(handle_, Index, dc, X, Y, ILD_NORMAL);
  if (!Enabled) {
    // A disabled image shows greyed: a half-tone of the button face over it.
    for (int y = 0; y < height_; ++y)
      for (int x = (y & 1); x < width_; x += 2) SetPixelV(dc, X + x, Y + y, ColorToRGB(clBtnFace));
  }
}

// ---- TToolButton -------------------------------------------------------------------------------------

TToolButton::TToolButton(TComponent* AOwner) : TGraphicControl(AOwner) {
  width_ = 23;
  height_ = 22;
  control_style_ = TControlStyle{csCaptureMouse, csSetCaption};
}

TToolBar* TToolButton::ToolBar() const { return dynamic_cast<TToolBar*>(parent_); }

void TToolButton::SetStyle(TToolButtonStyle Value) {
  if (style_ == Value) return;
  style_ = Value;
  if (TToolBar* t = ToolBar()) t->ArrangeButtons();
  Invalidate();
}

void TToolButton::SetImageIndex(int Value) {
  image_index_ = Value;
  Invalidate();
}

void TToolButton::SetDown(bool Value) {
  if (down_ == Value) return;
  down_ = Value;
  Invalidate();
}

void TToolButton::Click() {
  if (style_ == tbsCheck) down_ = !down_;
  TGraphicControl::Click();
}

void TToolButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseDown(Button, Shift, X, Y);
  if (Button == mbLeft && enabled_ && style_ != tbsSeparator && style_ != tbsDivider) {
    pressed_ = true;
    Invalidate();
  }
}

void TToolButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  bool was = pressed_;
  pressed_ = false;
  if (was) Invalidate();
  if (was && Button == mbLeft && X >= 0 && X < width_ && Y >= 0 && Y < height_) Click();
  TGraphicControl::MouseUp(Button, Shift, X, Y);
}

void TToolButton::WndProc(TMessage& Message) {
  if (Message.Msg == CM_TEXTCHANGED || Message.Msg == CM_VISIBLECHANGED) {
    if (TToolBar* t = ToolBar()) t->ArrangeButtons();
  }
  TGraphicControl::WndProc(Message);
}

void TToolButton::Paint() {
  TCanvas* c = Canvas();
  TToolBar* bar = ToolBar();
  TCustomDrawState state;
  if (pressed_ || down_) state << cdsSelected;
  if (!enabled_) state << cdsDisabled;
  if (down_) state << cdsChecked;
  bool default_draw = true;
  if (bar && bar->OnCustomDrawButton) bar->OnCustomDrawButton(bar, this, state, default_draw);
  if (!default_draw) return;
  TRect r = ClientRect();
  if (style_ == tbsSeparator || style_ == tbsDivider) {
    if (style_ == tbsDivider) {
      c->Pen()->SetColor(clBtnShadow);
      c->MoveTo(width_ / 2, 2);
      c->LineTo(width_ / 2, height_ - 2);
    }
    return;
  }
  bool pressed = pressed_ || down_;
  if (pressed || !(bar && bar->Flat())) {
    c->Pen()->SetColor(pressed ? clBtnShadow : clBtnHighlight);
    c->MoveTo(r.left, r.bottom - 1);
    c->LineTo(r.left, r.top);
    c->LineTo(r.right - 1, r.top);
    c->Pen()->SetColor(pressed ? clBtnHighlight : clBtnShadow);
    c->LineTo(r.right - 1, r.bottom - 1);
    c->LineTo(r.left, r.bottom - 1);
  }
  int off = pressed ? 1 : 0;
  int text_top = r.top;
  if (bar && bar->Images && image_index_ >= 0 && image_index_ < bar->Images->Count()) {
    int x = (width_ - bar->Images->Width()) / 2 + off;
    int y = (bar->ShowCaptions() ? 3 : (height_ - bar->Images->Height()) / 2) + off;
    bar->Images->Draw(c, x, y, image_index_, enabled_);
    text_top = y + bar->Images->Height();
  }
  if (bar && bar->ShowCaptions() && !text_.empty()) {
    c->Font()->Assign(font_.get());
    if (!enabled_) c->Font()->SetColor(clGrayText);
    c->Brush()->SetStyle(bsClear);
    TRect tr = Rect(r.left + off, text_top + off, r.right + off, r.bottom + off);
    HDC dc = c->Handle();
    DrawTextA(dc, text_.c_str(), static_cast<int>(text_.size()), &tr, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  }
}

// ---- TToolBar -------------------------------------------------------------------------------------------

TToolBar::TToolBar(TComponent* AOwner) : TWinControl(AOwner), canvas_(std::make_unique<TCanvas>()) {
  control_style_ << csAcceptsControls;
  align_ = alTop;
  height_ = 29;
  width_ = 150;
  color_ = clBtnFace;
  brush_->SetColor(color_);
  custom_paint_ = true;
}

TToolBar::~TToolBar() {
  Destroying();
  if (handle_) DestroyWindowHandle();
}

void TToolBar::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  CreateSubClass(Params, "ToolbarWindow32");
  Params.Style |= CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER | CCS_TOP;
  if (flat_) Params.Style |= TBSTYLE_FLAT;
}

void TToolBar::SetFlat(bool Value) {
  if (flat_ == Value) return;
  flat_ = Value;
  RecreateWnd();
  Invalidate();
}

void TToolBar::SetButtonWidth(int Value) {
  button_width_ = std::max(Value, 1);
  ArrangeButtons();
}

void TToolBar::SetButtonHeight(int Value) {
  button_height_ = std::max(Value, 1);
  ArrangeButtons();
}

void TToolBar::SetShowCaptions(bool Value) {
  show_captions_ = Value;
  ArrangeButtons();
  Invalidate();
}

int TToolBar::ButtonCount() const {
  int n = 0;
  for (TControl* c : controls_) n += dynamic_cast<TToolButton*>(c) ? 1 : 0;
  return n;
}

TToolButton* TToolBar::Buttons(int Index) const {
  int n = 0;
  for (TControl* c : controls_)
    if (auto* b = dynamic_cast<TToolButton*>(c)) {
      if (n == Index) return b;
      ++n;
    }
  throw EListError(Format("List index out of bounds (%d)", Index));
}

void TToolBar::ArrangeButtons() {
  int x = 0;
  for (TControl* c : std::vector<TControl*>(controls_)) {
    auto* b = dynamic_cast<TToolButton*>(c);
    if (!b || !b->Visible()) continue;
    bool sep = b->Style() == tbsSeparator || b->Style() == tbsDivider;
    int w = sep ? 8 : button_width_;
    b->SetBounds(x, 0, w, button_height_);
    x += w;
  }
}

void TToolBar::AlignControls(TControl* AControl, TRect& Rect) {
  ArrangeButtons();
  TWinControl::AlignControls(AControl, Rect);
}

void TToolBar::PaintWindow(HDC DC) {
  TCanvasDC lent(canvas_.get(), DC);
  bool default_draw = true;
  TRect r = ClientRect();
  if (OnCustomDraw) OnCustomDraw(this, r, default_draw);
  if (default_draw) {
    canvas_->Brush()->SetColor(color_);
    canvas_->Brush()->SetStyle(bsSolid);
    canvas_->FillRect(r);
  }
}

void TToolBar::WndProc(TMessage& Message) {
  if (Message.Msg == WM_ERASEBKGND) {
    Message.Result = 1;  // PaintWindow paints the background
    return;
  }
  TWinControl::WndProc(Message);
}

// ---- TSplitter -------------------------------------------------------------------------------------------

TSplitter::TSplitter(TComponent* AOwner) : TGraphicControl(AOwner) {
  align_ = alLeft;
  width_ = 3;
  height_ = 100;
  color_ = clBtnFace;
  control_style_ = TControlStyle{csCaptureMouse};
}

TControl* TSplitter::FindControl() const {
  if (!parent_) return nullptr;
  // The control before the splitter: the aligned neighbour touching its near edge.
  for (int i = 0; i < parent_->ControlCount(); ++i) {
    TControl* c = parent_->Controls(i);
    if (c == this || !c->Visible() || c->Align() != align_) continue;
    switch (align_) {
      case alLeft:
        if (c->Left() + c->Width() == left_) return c;
        break;
      case alRight:
        if (c->Left() == left_ + width_) return c;
        break;
      case alTop:
        if (c->Top() + c->Height() == top_) return c;
        break;
      case alBottom:
        if (c->Top() == top_ + height_) return c;
        break;
      default: break;
    }
  }
  return nullptr;
}

void TSplitter::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  target_ = FindControl();
  if (!target_) return;
  dragging_ = true;
  down_at_ = ClientToScreen(Point(X, Y));
  start_size_ = (align_ == alLeft || align_ == alRight) ? target_->Width() : target_->Height();
}

void TSplitter::MouseMove(TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseMove(Shift, X, Y);
  if (!dragging_ || !target_) return;
  TPoint p = ClientToScreen(Point(X, Y));
  int delta = (align_ == alLeft || align_ == alRight) ? p.x - down_at_.x : p.y - down_at_.y;
  if (align_ == alRight || align_ == alBottom) delta = -delta;
  int size = std::max(start_size_ + delta, MinSize);
  if (align_ == alLeft || align_ == alRight)
    target_->SetWidth(size);
  else
    target_->SetHeight(size);
}

void TSplitter::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseUp(Button, Shift, X, Y);
  if (!dragging_) return;
  dragging_ = false;
  target_ = nullptr;
  if (OnMoved) OnMoved(this);
}

void TSplitter::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  c->Brush()->SetColor(color_);
  c->Brush()->SetStyle(bsSolid);
  c->FillRect(r);
  if (Beveled) {
    c->Pen()->SetColor(clBtnHighlight);
    c->MoveTo(r.left, r.bottom - 1);
    c->LineTo(r.left, r.top);
    c->LineTo(r.right - 1, r.top);
    c->Pen()->SetColor(clBtnShadow);
    c->LineTo(r.right - 1, r.bottom - 1);
    c->LineTo(r.left, r.bottom - 1);
  }
}
