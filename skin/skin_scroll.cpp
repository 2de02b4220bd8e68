// Scroll bars drawn from the skin: an overlay window laid over each native bar of a scrolled
// control paints the skin's arrows, track and thumb and hands presses on to the control, so
// the platform still does all the scrolling.
#include <algorithm>
#include <cstdlib>

#include "framework/controls/typinfo.h"
#include "platform/user/scrollbar.h"
#include "skin/skin_controls.h"
#include "skin/skin_form.h"
#include "skin/skin_manager.h"

namespace {

// A point as a message's lParam.
LPARAM PointParam(POINT P) { return MAKELPARAM(static_cast<WORD>(P.x), static_cast<WORD>(P.y)); }

TDataSkinObject* WithImage(TSkinData* Data, const char* Name) {
  TDataSkinObject* o = Data->Element(Name);
  return o && o->HasImage() ? o : nullptr;
}

}  // namespace

// ---- TWScrollbar --------------------------------------------------------------------------------------------
TWScrollbar::TWScrollbar(TComponent* AOwner, TSkinData* Data)
    : TCustomControl(AOwner), data_(Data), arrow_(GetSystemMetrics(SM_CXHSCROLL)) {
  SetTabStop(false);
}

void TWScrollbar::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  Params.ExStyle = WS_EX_TOOLWINDOW;
}

void TWScrollbar::Bind(HWND Target, int Kind, TControl* Control) {
  target_ = Target;
  kind_ = Kind;
  // A scroll-bar control lies as its "Kind" says (a window without a control, as its style).
  if (Kind != 2)
    vertical_ = Kind == 1;
  else if (Control)
    vertical_ = PropText(Control, "Kind") != "sbhorizontal";
  else
    vertical_ = (GetWindowLongA(Target, GWL_STYLE) & SBS_VERT) != 0;
  SetColor(Control ? Control->Color() : data_->Colour(csButtonFace));
  SetParentWindow(GetParent(Target));
  Layout();
}

void TWScrollbar::HideBar() {
  shown_ = false;
  SetVisible(false);
}

bool TWScrollbar::Info(SCROLLBARINFO& Info) const {
  Info = SCROLLBARINFO{};
  Info.cbSize = sizeof Info;
  if (kind_ == 2) return ControlInfo(Info, true);
  return skin_user32::ScrollBarInfo(target_, static_cast<LONG>(kind_ == 1 ? OBJID_VSCROLL : OBJID_HSCROLL), &Info);
}

// A scroll-bar control's bar is its whole window; the thumb comes from its range, page and
// position, never shorter than 8 pixels when Shortest is set.
bool TWScrollbar::ControlInfo(SCROLLBARINFO& Info, bool Shortest) const {
  SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS, 0, 0, 0, 0, 0};
  if (!GetWindowRect(target_, &Info.rcScrollBar) || !GetScrollInfo(target_, SB_CTL, &si)) return false;
  const RECT& r = Info.rcScrollBar;
  const int A = arrow_, L = vertical_ ? r.bottom - r.top : r.right - r.left;
  // 64-bit: a range may span the whole int.
  const long long d = si.nMax == si.nMin ? 9999999 : static_cast<long long>(si.nMax) - si.nMin;
  const long long offset = static_cast<long long>(si.nPos) - si.nMin;
  auto scaled = [d](long long pixels, long long part) { return static_cast<int>((pixels * part + d / 2) / d); };
  int start = A, length = A;
  if (si.nPage != 0) {
    length = scaled(L - 2 * A, static_cast<long long>(si.nPage) - 1);
    if (length <= 7 && Shortest) {
      length = 8;
      if (offset) start = A + scaled(L - 2 * A - 8, offset);
    } else if (offset) {
      start = A + scaled(L - 2 * A, offset);
    }
  } else if (offset) {
    start = A + scaled(L - 3 * A, offset);
  }
  Info.xyThumbTop = start;
  Info.xyThumbBottom = start + length;
  Info.dxyLineButton = A;
  Info.rgstate[0] = (IsWindowVisible(target_) ? 0 : STATE_SYSTEM_INVISIBLE) |
                    (IsWindowEnabled(target_) ? 0 : STATE_SYSTEM_UNAVAILABLE);
  return true;
}

void TWScrollbar::Layout() {
  SCROLLBARINFO info;
  // Without a skin picture, or without the bar's geometry, the native bar stays visible.
  if (!WithImage(data_, "Scrollbar") || !Info(info)) {
    if (shown_ || Visible()) HideBar();
    return;
  }
  if (!(GetWindowLongA(target_, GWL_STYLE) & WS_VISIBLE) || (info.rgstate[0] & STATE_SYSTEM_INVISIBLE)) {
    HideBar();
    return;
  }
  const RECT& r = info.rcScrollBar;
  POINT topLeft{r.left, r.top}, bottomRight{r.right, r.bottom};
  ::ScreenToClient(target_, &topLeft);
  ::ScreenToClient(target_, &bottomRight);
  bar_ = TRect{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
  length_ = vertical_ ? r.bottom - r.top : r.right - r.left;
  POINT origin{r.left, r.top};
  ::ScreenToClient(GetParent(target_), &origin);
  SetBounds(origin.x, origin.y, r.right - r.left, r.bottom - r.top);
  // Directly above the target: after the window that precedes it.
  HWND before = GetWindow(target_, GW_HWNDPREV);
  if (before != Handle())
    SetWindowPos(Handle(), before ? before : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SetVisible(true);
  shown_ = true;
}

void TWScrollbar::ThumbSpan(const SCROLLBARINFO& Info, int& Start, int& End) const {
  Start = Info.xyThumbTop;
  End = Info.xyThumbBottom;
  // A scroll-bar control's thumb follows its position, which the control keeps up to date.
  if (!(pressed_ && Part == kPartThumb) || kind_ == 2) return;
  POINT cursor{};
  GetCursorPos(&cursor);
  const int moved = vertical_ ? cursor.y - press_cursor_.y : cursor.x - press_cursor_.x;
  const int thumb = End - Start;
  Start = std::max(arrow_, std::min(press_thumb_ + moved, length_ - arrow_ - thumb));
  End = Start + thumb;
}

int TWScrollbar::HitTest(int Along) const {
  SCROLLBARINFO info;
  int start = 0, end = 0;
  if (Info(info)) ThumbSpan(info, start, end);
  if (Along < arrow_) return kPartFirstArrow;
  if (Along < start) return kPartPageBefore;
  if (Along < end) return kPartThumb;
  if (Along < length_ - arrow_) return kPartPageAfter;
  return kPartSecondArrow;
}

void TWScrollbar::WndProc(TMessage& Message) {
  const int x = GET_X_LPARAM(Message.LParam), y = GET_Y_LPARAM(Message.LParam);
  switch (Message.Msg) {
    case kSkinnedQueryMsg: Message.Result = 1; return;  // never mapped to a skinner of its own
    case WM_ERASEBKGND: Message.Result = 1; return;
    case WM_MOUSEMOVE: {
      TCustomControl::WndProc(Message);
      const int part = HitTest(vertical_ ? y : x);
      if (part != Part) {
        Part = part;
        Invalidate();
      }
      skin_user32::TrackLeave(Handle());
      return;
    }
    case WM_MOUSELEAVE:
      if (!pressed_) {
        Part = kPartNone;
        Invalidate();
      }
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: Press(x, y); return;
    case WM_LBUTTONUP: Release(x, y); return;
    default: break;
  }
  TCustomControl::WndProc(Message);
}

void TWScrollbar::Press(int X, int Y) {
  GetCursorPos(&press_cursor_);
  SCROLLBARINFO info{};
  info.cbSize = sizeof info;
  if (kind_ == 2 ? ControlInfo(info, false) : Info(info)) press_thumb_ = info.xyThumbTop;
  Part = HitTest(vertical_ ? Y : X);
  POINT screen{X, Y};
  ::ClientToScreen(Handle(), &screen);
  pressed_ = true;
  Invalidate();
  ReleaseCapture();
  // Returns when the platform's own tracking of the press has ended. A scroll-bar control
  // lies under the overlay with the same bounds: it takes the point as it is.
  HWND self = Handle();
  if (kind_ == 2)
    SendMessageW(target_, WM_LBUTTONDOWN, MK_LBUTTON, PointParam(POINT{X, Y}));
  else
    SendMessageW(target_, WM_NCLBUTTONDOWN, kind_ == 1 ? HTVSCROLL : HTHSCROLL, PointParam(screen));
  if (!IsWindow(self) || FindControl(self) != this) return;  // the scroll handler freed the target
  pressed_ = false;
  ReleaseCapture();
  Invalidate();
}

void TWScrollbar::Release(int X, int Y) {
  pressed_ = false;
  ReleaseCapture();
  if (kind_ == 2) {
    PostMessageW(target_, WM_LBUTTONUP, MK_LBUTTON, PointParam(POINT{X, Y}));
    Invalidate();
    return;
  }
  POINT screen{};
  GetCursorPos(&screen);
  PostMessageW(target_, WM_NCLBUTTONUP, kind_ == 1 ? HTVSCROLL : HTHSCROLL, PointParam(screen));
}

void TWScrollbar::Paint() {
  SCROLLBARINFO info;
  if (!Info(info) || (info.rgstate[0] & STATE_SYSTEM_INVISIBLE)) return;
  const int w = info.rcScrollBar.right - info.rcScrollBar.left, h = info.rcScrollBar.bottom - info.rcScrollBar.top;
  if (w <= 0 || h <= 0 || w > Width() || h > Height()) return;  // a layout is pending
  TScrollPicture picture;
  picture.Vertical = vertical_;
  picture.Enabled = !(info.rgstate[0] & STATE_SYSTEM_UNAVAILABLE);
  picture.Part = Part;
  picture.Pressed = pressed_;
  ThumbSpan(info, picture.ThumbStart, picture.ThumbEnd);
  if (kind_ != 2) {
    DrawScrollPicture(Canvas()->Handle(), data_, arrow_, w, h, picture);
    return;
  }
  // A scroll-bar control: the bar at the skin's thickness, stretched over the whole control.
  TDataSkinObject* strip = WithImage(data_, "Scrollbar");
  if (!strip) return;
  const int thick = ScrollThickness(strip->Map->Height(), arrow_);
  const int bw = vertical_ ? thick : w, bh = vertical_ ? h : thick;
  TBitmap bar;
  bar.SetPixelFormat(pf24bit);
  bar.SetSize(bw, bh);
  DrawScrollPicture(bar.Canvas()->Handle(), data_, arrow_, bw, bh, picture);
  HDC dc = Canvas()->Handle();
  const int old = SetStretchBltMode(dc, COLORONCOLOR);
  StretchBlt(dc, 0, 0, w, h, bar.Canvas()->Handle(), 0, 0, bw, bh, SRCCOPY);
  SetStretchBltMode(dc, old);
}

int ScrollThickness(int ImageHeight, int Arrow) { return std::abs(ImageHeight - Arrow) > 2 ? Arrow : ImageHeight; }

void DrawScrollPicture(HDC DC, TSkinData* Data, int Arrow, int W, int H, const TScrollPicture& P) {
  TDataSkinObject* strip = WithImage(Data, "Scrollbar");
  if (!strip || W <= 0 || H <= 0) return;
  const bool vertical = P.Vertical;
  const int length = vertical ? H : W;
  TBitmap* map = strip->Map.get();
  const int imageHeight = map->Height();
  const int thick = ScrollThickness(imageHeight, Arrow);
  // A rectangle along the bar from Start to End, Thick across.
  auto Along = [&](int Start, int End) { return vertical ? TRect{0, Start, thick, End} : TRect{Start, 0, End, thick}; };

  TBitmap buffer;
  buffer.SetPixelFormat(pf24bit);
  buffer.SetSize(W, H);
  HDC dc = buffer.Canvas()->Handle();
  SetStretchBltMode(dc, HALFTONE);
  RECT all{0, 0, W, H};
  FillRect(dc, &all, Data->FaceBrush());

  DrawSkinObject(dc, Along(Arrow, length - Arrow), Data->Element(vertical ? "VertScroll" : "HorzScroll"), 4,
                 P.Enabled ? 1 : 3);
  const int halving = P.HalvingLength > 0 ? P.HalvingLength : length;
  const int arrow = halving < 2 * Arrow ? halving / 2 : Arrow;
  auto ArrowFrame = [&](int Base, int PartCode) {
    if (P.Part != PartCode) return Base;
    return Base + (P.Pressed ? 1 : 3);
  };
  DrawSkinFrame(dc, Along(0, arrow), map, true, 23, ArrowFrame(vertical ? 9 : 1, kPartFirstArrow));
  DrawSkinFrame(dc, Along(length - arrow, length), map, true, 23, ArrowFrame(vertical ? 13 : 5, kPartSecondArrow));

  if (P.Enabled) {
    const int start = P.ThumbStart, end = P.ThumbEnd;
    const bool onThumb = P.Part == kPartThumb;
    if (start >= 0 && end <= length && end > start) {
      TDataSkinObject* thumb = Data->Element(vertical ? "VertScrollThumb" : "HorzScrollThumb");
      DrawSkinObject(dc, Along(start, end), thumb, thumb ? thumb->Frame : 1, P.Pressed && onThumb ? 2 : onThumb ? 3 : 1);
      // The grip, one image height long, in the middle of a thumb long enough to hold it.
      const int grip = start + (end - start - imageHeight) / 2;
      if (end - start > imageHeight - 2 && grip >= 0 && grip + imageHeight <= length)
        DrawSkinFrame(dc, Along(grip, grip + imageHeight), map, true, 23,
                      (vertical ? 20 : 17) + (P.Pressed && onThumb ? 1 : onThumb ? 2 : 0));
    }
  }
  BitBlt(DC, 0, 0, W, H, dc, 0, 0, SRCCOPY);
}

// ---- TSkinScrollbar -----------------------------------------------------------------------------------------
void TSkinScrollbar::AttachScrolled(TWinControl* Control, TSkinData* Data, TWinSkinForm* Form, TCanvas* Canvas) {
  if (attached_) return;
  if (single_) {
    Bind(Form, Data, Control, false, Canvas, true);
    BindSingle(Control);
    return;
  }
  draw_border_ = PropText(Control, "BorderStyle") != "bsnone" && UpperCase(Control->ClassName()) != "TIMAGESCROLLBOX";
  Bind(Form, Data, Control, false, Canvas, false);
  SetFixedColour();
  horz_ = new TWScrollbar(this, Data);
  vert_ = new TWScrollbar(this, Data);
  horz_->Bind(handle_, 0, Control);
  vert_->Bind(handle_, 1, Control);
  for (TWScrollbar* bar : {horz_, vert_}) {
    bar->SetEnabled(Control->Enabled());
    if (!Control->Visible()) bar->HideBar();
  }
  old_method_ = Control->WindowProc;
  Control->WindowProc = [this](TMessage& m) { WndProc(m); };
  SetWindowPos(handle_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void TSkinScrollbar::AttachWindow(HWND Window, TSkinData* Data, TWinSkinForm* Form, TCanvas* Canvas) {
  if (attached_) return;
  TSkinControl::AttachWindow(Window, Data, Form, Canvas);
  if (single_) BindSingle(nullptr);
}

void TSkinScrollbar::BindSingle(TControl* Control) {
  auto* bar = new TWScrollbar(this, data_);
  bar->Bind(handle_, 2, Control);
  (bar->Vertical() ? vert_ : horz_) = bar;
  if (Control) bar->SetEnabled(Control->Enabled());
  if (!IsWindowVisible(handle_)) bar->HideBar();
}

// Single-bar mode: the overlay follows the control's place, visibility, state and position.
bool TSkinScrollbar::SingleAfterDefault(TMessage& Message) {
  TWScrollbar* bar = horz_ ? horz_ : vert_;
  if (!bar) return false;
  switch (Message.Msg) {
    case WM_SIZE:
    case WM_WINDOWPOSCHANGED:
    case WM_SHOWWINDOW: bar->Layout(); return true;
    case CM_VISIBLECHANGED: Message.WParam ? bar->Layout() : bar->HideBar(); return true;
    case CM_RECREATEWND:
      if (form_) PostMessageA(form_->Wnd, kRebuildScrollMsg, reinterpret_cast<WPARAM>(handle_), 0);
      return true;
    case CM_ENABLEDCHANGED:
    case WM_ENABLE:
      if (control_) bar->SetEnabled(control_->Enabled());
      bar->Invalidate();
      return true;
    case SBM_SETPOS:
    case SBM_SETRANGE:
    case SBM_SETRANGEREDRAW:
    case SBM_SETSCROLLINFO:
    case SBM_ENABLE_ARROWS:
    case CN_HSCROLL:
    case CN_VSCROLL: bar->Invalidate(); return true;
    default: return false;
  }
}

void TSkinScrollbar::SetFixedColour() {
  if (!control_ || PropInt(control_, "FixedColor") == -1) return;
  fixed_colour_ = PropInt(control_, "FixedColor");
  fixed_saved_ = true;
  SetPropText(control_, "FixedColor", IntToStr(static_cast<int>(data_->Colour(csButtonFace))));
}

void TSkinScrollbar::LayoutBars() {
  for (TWScrollbar* bar : {horz_, vert_})
    if (bar) bar->Layout();
}

void TSkinScrollbar::DrawBorder(HDC DC) {
  RECT w{};
  GetWindowRect(handle_, &w);
  RECT r{0, 0, w.right - w.left, w.bottom - w.top};
  HDC dc = DC ? DC : GetWindowDC(handle_);
  if (!dc) return;
  HBRUSH shadow = CreateSolidBrush(SkinColorToRGB(data_->Colour(csButtonShadow)));
  FrameRect(dc, &r, shadow);
  InflateRect(&r, -1, -1);
  FrameRect(dc, &r, data_->FaceBrush());
  DeleteObject(shadow);
  if (!DC) ReleaseDC(handle_, dc);
}

bool TSkinScrollbar::BeforeDefault(TMessage& Message) {
  if (Message.Msg == WM_NCPAINT && draw_border_) {
    Default(Message);
    DrawBorder(nullptr);
    return false;
  }
  return TSkinControl::BeforeDefault(Message);
}

void TSkinScrollbar::AfterDefault(TMessage& Message) {
  if (single_) {
    if (!SingleAfterDefault(Message)) TSkinControl::AfterDefault(Message);
    return;
  }
  switch (Message.Msg) {
    case WM_SIZE:
    case WM_WINDOWPOSCHANGED:
      LayoutBars();
      return;
    case WM_HSCROLL:
    case WM_VSCROLL:
      if (TWScrollbar* bar = Message.Msg == WM_HSCROLL ? horz_ : vert_) {
        bar->Part = LOWORD(Message.WParam);
        bar->Invalidate();
      }
      return;
    case WM_MOUSEWHEEL:
      for (TWScrollbar* bar : {horz_, vert_})
        if (bar && bar->Shown()) bar->Invalidate();
      return;
    case CM_VISIBLECHANGED:
      for (TWScrollbar* bar : {horz_, vert_})
        if (bar) Message.WParam ? bar->Layout() : bar->HideBar();
      return;
    case CM_ENABLEDCHANGED:
      for (TWScrollbar* bar : {horz_, vert_})
        if (bar) {
          bar->SetEnabled(control_->Enabled());
          bar->Invalidate();
        }
      return;
    case CM_RECREATEWND:
      if (form_) PostMessageA(form_->Wnd, kRebuildScrollMsg, reinterpret_cast<WPARAM>(handle_), 0);
      return;
    case kPaintFrameOnMsg:
      if (Message.LParam != kSkinSignature) break;
      if (Message.WParam) DrawBorder(reinterpret_cast<HDC>(Message.WParam));
      Message.Result = kSkinSignature;
      return;
    default: break;
  }
  TSkinControl::AfterDefault(Message);
}

void TSkinScrollbar::DrawFrame(HDC DC, const TRect&) {
  const LONG style = GetWindowLongA(handle_, GWL_STYLE);
  for (TWScrollbar* bar : {horz_, vert_}) {
    if (!bar) continue;
    if (bar->Shown())
      bar->Invalidate();
    else if (single_ || (style & (bar->Kind() == 1 ? WS_VSCROLL : WS_HSCROLL)))
      bar->Layout();  // a bar that came later (text added to a memo)
  }
  if (!horz_ || !vert_ || !horz_->Shown() || !vert_->Shown()) return;
  // The corner between the bars, in window co-ordinates.
  RECT w{};
  GetWindowRect(handle_, &w);
  POINT client{0, 0};
  ClientToScreen(handle_, &client);
  const int dx = client.x - w.left, dy = client.y - w.top;
  const TRect v = vert_->BarRect(), h = horz_->BarRect();
  Fill(DC, TRect{v.left + dx, h.top + dy, v.right + dx, h.bottom + dy}, data_->Colour(csButtonFace));
}

void TSkinScrollbar::SkinChanged() {
  SetFixedColour();
  for (TWScrollbar* bar : {horz_, vert_})
    if (bar) bar->Layout();
  TSkinControl::SkinChanged();
}

void TSkinScrollbar::Detach() {
  if (fixed_saved_ && control_ && !control_->ComponentState().Contains(csDestroying))
    SetPropText(control_, "FixedColor", IntToStr(fixed_colour_));
  fixed_saved_ = false;
  TSkinControl::Detach();
  if (state_ == 6) {
    // The control's window is gone: the overlays go with the control; until then they hide.
    for (TWScrollbar* bar : {horz_, vert_})
      if (bar && bar->HandleAllocated()) bar->HideBar();
    return;
  }
  delete horz_;
  delete vert_;
  horz_ = vert_ = nullptr;
}

// ---- TSkinScrollbarH ----------------------------------------------------------------------------------------
void TSkinScrollbarH::AttachWindow(HWND Window, TSkinData* Data, TWinSkinForm* Form, TCanvas* Canvas) {
  if (attached_) return;
  TSkinControl::AttachWindow(Window, Data, Form, Canvas);
  horz_ = new TWScrollbar(this, Data);
  vert_ = new TWScrollbar(this, Data);
  horz_->Bind(Window, 0, nullptr);
  vert_->Bind(Window, 1, nullptr);
}

void TSkinScrollbarH::AfterDefault(TMessage& Message) {
  if (vert_ && !IsWindowVisible(handle_)) vert_->HideBar();
  switch (Message.Msg) {
    case WM_SIZE:
    case WM_NCPAINT:
      LayoutBars();
      for (TWScrollbar* bar : {horz_, vert_})
        if (bar->Shown()) bar->Invalidate();
      return;
    case WM_HSCROLL:
    case WM_VSCROLL: {
      TWScrollbar* bar = Message.Msg == WM_HSCROLL ? horz_ : vert_;
      bar->Part = LOWORD(Message.WParam);
      bar->Invalidate();
      return;
    }
    default: TSkinControl::AfterDefault(Message);
  }
}

// ---- TSkinListView ------------------------------------------------------------------------------------------
void TSkinListView::AttachScrolled(TWinControl* Control, TSkinData* Data, TWinSkinForm* Form, TCanvas* Canvas) {
  if (attached_) return;
  TSkinScrollbar::AttachScrolled(Control, Data, Form, Canvas);
  HWND header = reinterpret_cast<HWND>(SendMessageW(Control->Handle(), LVM_GETHEADER, 0, 0));
  if (!header || Header) return;
  Header = new TSkinHeader(Control);
  Header->AttachWindow(header, Data, Form, Canvas);
}

// ---- TComboxScrollBar ---------------------------------------------------------------------------------------
bool TComboxScrollBar::BeforeDefault(TMessage& Message) {
  // No native hot tracking over the bar: the skin paints it.
  if (Message.Msg == WM_NCMOUSEMOVE && (Message.WParam == HTVSCROLL || Message.WParam == HTHSCROLL)) {
    Message.Result = 0;
    return false;
  }
  return TSkinControl::BeforeDefault(Message);
}

void TComboxScrollBar::AfterDefault(TMessage& Message) {
  switch (Message.Msg) {
    case WM_NCPAINT:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case 0x1AE: PaintFrame(nullptr); return;
    default: TSkinControl::AfterDefault(Message);
  }
}

void TComboxScrollBar::DrawFrame(HDC DC, const TRect&) {
  SCROLLBARINFO info{};
  info.cbSize = sizeof info;
  if (!skin_user32::ScrollBarInfo(handle_, static_cast<LONG>(OBJID_VSCROLL), &info) ||
      (info.rgstate[0] & STATE_SYSTEM_INVISIBLE))
    return;
  RECT win{};
  GetWindowRect(handle_, &win);
  const RECT& r = info.rcScrollBar;
  TScrollPicture picture;
  picture.Vertical = true;
  picture.Enabled = !(info.rgstate[0] & STATE_SYSTEM_UNAVAILABLE);
  picture.ThumbStart = info.xyThumbTop;
  picture.ThumbEnd = info.xyThumbBottom;
  picture.HalvingLength = win.bottom - win.top;
  const int w = r.right - r.left, h = r.bottom - r.top;
  TBitmap bar;
  bar.SetPixelFormat(pf24bit);
  bar.SetSize(std::max(w, 1), std::max(h, 1));
  DrawScrollPicture(bar.Canvas()->Handle(), data_, GetSystemMetrics(SM_CXHSCROLL), w, h, picture);
  BitBlt(DC, r.left - win.left, r.top - win.top, w, h, bar.Canvas()->Handle(), 0, 0, SRCCOPY);
}
