#include "skin/skin_control.h"

#include <map>

#include "framework/controls/typinfo.h"
#include "skin/skin_data.h"
#include "skin/skin_form.h"
#include "skin/skin_manager.h"

namespace {
std::map<HWND, TSkinControl*>& RawControls() {
  static std::map<HWND, TSkinControl*> c;
  return c;
}
}  // namespace

TSkinControl::TSkinControl(TComponent* AOwner) : TComponent(AOwner) {}

TSkinControl::~TSkinControl() {
  // A skinner owned by its control dies inside the control's destruction (after the control
  // let it go), when the control's own members are gone already. Freed earlier, while the
  // control is only marked as going (its form's window went first), it gives the procedure
  // back: the control may still send itself messages on its way out.
  if (control_ && old_method_ && (!control_->ComponentState().Contains(csDestroying) || Owner() == control_))
    control_->WindowProc = old_method_;
  if (raw_ && old_proc_) {
    if (IsWindow(handle_))
      (unicode_ ? SetWindowLongPtrW : SetWindowLongPtrA)(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old_proc_));
    auto it = RawControls().find(handle_);
    if (it != RawControls().end() && it->second == this) RawControls().erase(it);
  }
  if (form_) form_->RemoveControl(this);
}

void TSkinControl::AttachControl(TWinSkinForm* Form, TSkinData* Data, TWinControl* Control, bool KeepColour,
                                 TCanvas* Canvas) {
  if (attached_) return;
  Bind(Form, Data, Control, KeepColour, Canvas, true);
  Control->Invalidate();
}

void TSkinControl::Bind(TWinSkinForm* Form, TSkinData* Data, TWinControl* Control, bool KeepColour, TCanvas* Canvas,
                        bool Hook) {
  data_ = Data;
  form_ = Form;
  canvas_ = Canvas;
  keep_colour_ = KeepColour;
  control_ = Control;
  handle_ = Control->Handle();
  unicode_ = IsWindowUnicode(handle_) != 0;
  if (Hook) {
    old_method_ = Control->WindowProc;
    Control->WindowProc = [this](TMessage& m) { WndProc(m); };
  }
  if (form_) form_->AddControl(this);
  if (keep_colour_) {
    SwitchParentBackground(true);
    saved_colour_ = Control->Color();
    Control->SetColor(Data->Colour(csButtonFace));
  }
  attached_ = true;
  state_ = 1;
}

void TSkinControl::AttachWindow(HWND Window, TSkinData* Data, TWinSkinForm* Form, TCanvas* Canvas) {
  if (attached_) return;
  data_ = Data;
  canvas_ = Canvas;
  form_ = Form;
  handle_ = Window;
  raw_ = true;
  if (form_) form_->AddControl(this);
  unicode_ = IsWindowUnicode(Window) != 0;
  const int n = GetWindowTextLengthW(Window);
  text_.assign(static_cast<size_t>(n) + 1, u'\0');
  GetWindowTextW(Window, text_.data(), n + 1);
  text_.resize(static_cast<size_t>(n));
  RawControls()[Window] = this;
  old_proc_ = reinterpret_cast<WNDPROC>((unicode_ ? SetWindowLongPtrW : SetWindowLongPtrA)(
      Window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TSkinControl::RawProc)));
  InvalidateRect(Window, nullptr, TRUE);
  attached_ = true;
  state_ = 1;
}

void TSkinControl::Detach() {
  if (keep_colour_ && control_) {
    SwitchParentBackground(false);
    control_->SetColor(saved_colour_);
  }
}

// A control that paints its parent's background would show through the skin: its
// ParentBackground is switched off while skinned and back on when the skinner leaves.
void TSkinControl::SwitchParentBackground(bool Attach) {
  if (data_->Options.Contains(xoParentBackGround) || !IsPublishedProp(control_, "ParentBackground")) return;
  if (Attach) {
    if (LowerCase(GetPropValue(control_, "ParentBackground")) != "true") return;
    SetPropValue(control_, "ParentBackground", "False");
    background_switched_ = 1;
    parent_background_ = true;
  } else if (parent_background_) {
    SetPropValue(control_, "ParentBackground", "True");
    background_switched_ = 0;
    parent_background_ = false;
  }
}

LRESULT TSkinControl::RawProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto it = RawControls().find(hwnd);
  if (it == RawControls().end()) return DefWindowProcA(hwnd, msg, wp, lp);
  TMessage m{msg, wp, lp, 0};
  it->second->WndProc(m);
  return m.Result;
}

void TSkinControl::Default(TMessage& Message) {
  if (old_method_)
    old_method_(Message);
  else if (old_proc_)
    Message.Result = CallWindowProcA(old_proc_, handle_, Message.Msg, Message.WParam, Message.LParam);
}

void TSkinControl::WndProc(TMessage& Message) {
  handled_ = false;
  if (Message.Msg == kControlPaintMsg) {
    painting_ = static_cast<intptr_t>(Message.WParam) > 0;
    if (painting_) Repaint();
    return;
  }
  if (!painting_) {
    Default(Message);
    return;
  }
  if (BeforeDefault(Message)) {
    Default(Message);
    AfterDefault(Message);
  }
}

bool TSkinControl::BeforeDefault(TMessage& Message) {
  if (Message.Msg == WM_NCDESTROY) {
    Default(Message);
    painting_ = false;
    state_ = 6;
    Detach();
    return false;
  }
  if (Message.Msg == kSkinnedQueryMsg) {
    Message.Result = 1;
    return false;
  }
  return true;
}

void TSkinControl::AfterDefault(TMessage& Message) {
  switch (Message.Msg) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
    case WM_SETTEXT:
    case 0xB00C: Repaint(); break;
    case WM_PAINT: PaintFrame(reinterpret_cast<HDC>(Message.WParam)); break;
    default: break;
  }
}

void TSkinControl::PaintFrame(HDC DC) {
  RECT r{};
  if (!GetWindowRect(handle_, &r)) return;
  last_rect_ = TRect{r.left, r.top, r.right, r.bottom};
  const TRect local{0, 0, r.right - r.left, r.bottom - r.top};
  try {
    if (DC) {
      DrawFrame(DC, local);
    } else if (HDC dc = GetWindowDC(handle_)) {
      DrawFrame(dc, local);
      ReleaseDC(handle_, dc);
    }
  } catch (const Exception&) {
  }
}

void TSkinControl::DrawFrame(HDC, const TRect&) {}

void TSkinControl::SkinChanged() {
  if (keep_colour_ && control_) control_->SetColor(data_->Colour(csButtonFace));
  Repaint();
}

void TSkinControl::Repaint() {
  if (RepaintTarget) {
    RepaintTarget->Invalidate();
    return;
  }
  InvalidateRect(handle_, nullptr, TRUE);
  UpdateWindow(handle_);
}

LONG_PTR TSkinControl::WindowLong(int Index) const {
  return unicode_ ? GetWindowLongPtrW(handle_, Index) : GetWindowLongPtrA(handle_, Index);
}

void TSkinControl::Fill(HDC DC, const TRect& Rect, TColor Colour) {
  HBRUSH b = CreateSolidBrush(SkinColorToRGB(Colour));
  RECT r = Rect;
  FillRect(DC, &r, b);
  DeleteObject(b);
}

HDC TSkinControl::FaceBitmap(TBitmap& Bitmap, int W, int H) {
  Bitmap.SetPixelFormat(pf24bit);
  Bitmap.SetSize(W, H);
  HDC dc = Bitmap.Canvas()->Handle();
  Fill(dc, TRect{0, 0, W, H}, data_->Colour(csButtonFace));
  return dc;
}

void TSkinControl::DrawFocusRectFor(HDC DC, const TRect& Bounds, const WideString& Text, UINT Flags) {
  RECT r = Bounds;
  DrawTextW(DC, reinterpret_cast<LPCWSTR>(Text.c_str()), static_cast<int>(Text.size()), &r,
            Flags | DT_CALCRECT | DT_NOCLIP);
  const int w = r.right - r.left;
  if (Flags & DT_CENTER)
    r.left = Bounds.left + (Bounds.right - Bounds.left - w) / 2;
  else if (Flags & DT_RIGHT)
    r.left = Bounds.right - w;
  r.right = r.left + w;
  InflateRect(&r, 2, 1);
  RECT bounds = Bounds, clipped{};
  if (IntersectRect(&clipped, &r, &bounds)) DrawFocusRect(DC, &clipped);
}

namespace {
// Reaches the framework's protected mouse-down handler of any control.
struct TMouseDownAccess : TControl {
  static auto Handler() { return &TMouseDownAccess::MouseDown; }
};
}  // namespace

void TSkinControl::ForwardMouseDown(const TMessage& Message) {
  if (!control_) return;
  int x = static_cast<int16_t>(LOWORD(Message.LParam)), y = static_cast<int16_t>(HIWORD(Message.LParam));
  if (control_->Width() > 32768 || control_->Height() > 32768) {
    POINT cursor{};
    GetCursorPos(&cursor);
    const TPoint p = control_->ScreenToClient(TPoint{cursor.x, cursor.y});
    x = p.x;
    y = p.y;
  }
  (control_->*TMouseDownAccess::Handler())(mbLeft, KeysToShiftState(static_cast<WORD>(Message.WParam)), x, y);
}

void TSkinControl::PaintMessage(TMessage& Message) {
  RECT r{};
  GetWindowRect(handle_, &r);
  last_rect_ = TRect{r.left, r.top, r.right, r.bottom};
  const TRect local{0, 0, r.right - r.left, r.bottom - r.top};
  HDC dc = reinterpret_cast<HDC>(Message.WParam);
  PAINTSTRUCT ps{};
  if (!dc) dc = BeginPaint(handle_, &ps);
  try {
    DrawFrame(dc, local);
  } catch (const Exception&) {
  }
  if (!Message.WParam) EndPaint(handle_, &ps);
  Message.Result = 0;
}

bool TSkinControl::ParentMode() const {
  TControl* c = SkinnedControl();
  return (c && c->Tag() == 5555) || (data_ && data_->Options.Contains(xoTransparent));
}
