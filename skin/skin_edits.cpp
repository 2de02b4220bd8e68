// Edits that only need a border, and combo boxes with the skin's drop button and edge.
#include <algorithm>
#include <map>

#include "skin/skin_controls.h"
#include "skin/skin_form.h"
#include "skin/skin_manager.h"

namespace {
bool HasBorder(HWND Window) {
  RECT w{}, c{};
  GetWindowRect(Window, &w);
  GetClientRect(Window, &c);
  return c.right - c.left < w.right - w.left && c.bottom - c.top < w.bottom - w.top;
}

void FrameIn(HDC DC, RECT& R, COLORREF Colour) {
  HBRUSH b = CreateSolidBrush(Colour);
  FrameRect(DC, &R, b);
  DeleteObject(b);
  InflateRect(&R, -1, -1);
}
}  // namespace

// ---- TSkinEdit ------------------------------------------------------------------------------------------------
void TSkinEdit::AfterDefault(TMessage& Message) {
  switch (Message.Msg) {
    case WM_PAINT: PaintFrame(reinterpret_cast<HDC>(Message.WParam)); return;
    case WM_PRINT: {
      RECT w{}, c{};
      GetWindowRect(handle_, &w);
      GetClientRect(handle_, &c);
      if (w.right - w.left - c.right <= 2 || w.bottom - w.top - c.bottom <= 2) return;
      HDC dc = reinterpret_cast<HDC>(Message.WParam);
      const bool own = !dc;
      if (own) dc = GetWindowDC(handle_);
      RECT r{0, 0, w.right - w.left, w.bottom - w.top};
      RECT inner = r;
      InflateRect(&inner, -1, -1);
      FrameRect(dc, &inner, static_cast<HBRUSH>(GetCurrentObject(dc, OBJ_BRUSH)));
      FrameIn(dc, r, SkinColorToRGB(data_->Colour(csButtonShadow)));
      if (own) ReleaseDC(handle_, dc);
      return;
    }
    case kClientPaintMsg:
      // The scroll-bar engine asks for the edit's own painting on its DC.
      if (Message.LParam == kSkinSignature) {
        if (Message.WParam) {
          TMessage paint{WM_PAINT, Message.WParam, 0, 0};
          Default(paint);
        }
        Message.Result = kSkinSignature;
        return;
      }
      break;
    default: break;
  }
  TSkinControl::AfterDefault(Message);
}

void TSkinEdit::DrawFrame(HDC DC, const TRect& Rect) {
  if (!HasBorder(handle_)) return;
  RECT r = Rect;
  FrameIn(DC, r, SkinColorToRGB(data_->Colour(csButtonShadow)));
  FrameIn(DC, r, RGB(255, 255, 255));
  FrameIn(DC, r, RGB(255, 255, 255));
}

// ---- TSkinComBox -------------------------------------------------------------------------------------------
namespace {
std::map<HWND, TSkinComBox*>& HookedChildren() {
  static std::map<HWND, TSkinComBox*> m;
  return m;
}
}  // namespace

TSkinComBox::TSkinComBox(TComponent* AOwner, bool Extended) : TSkinControl(AOwner), own_button_(Extended) {}

TSkinComBox::~TSkinComBox() { UnhookChild(); }

void TSkinComBox::AttachControl(TWinSkinForm* Form, TSkinData* Data, TWinControl* Control, bool KeepColour,
                                TCanvas* Canvas) {
  if (attached_) return;
  TSkinControl::AttachControl(Form, Data, Control, KeepColour, Canvas);
  style_ = static_cast<DWORD>(WindowLong(GWL_STYLE));
  if ((style_ & 3) != CBS_SIMPLE && !unicode_) HookChild();
}

void TSkinComBox::AttachWindow(HWND Window, TSkinData* Data, TWinSkinForm* Form, TCanvas* Canvas) {
  if (attached_) return;
  TSkinControl::AttachWindow(Window, Data, Form, Canvas);
  style_ = static_cast<DWORD>(WindowLong(GWL_STYLE));
  if ((style_ & 3) != CBS_SIMPLE && !unicode_) HookChild();
}

// The edit of a drop-down combo; a drop-down list has no child, and then nothing is hooked.
void TSkinComBox::HookChild() {
  HWND child = GetWindow(handle_, GW_CHILD);
  if (!child || child_) return;
  child_ = child;
  HookedChildren()[child_] = this;
  child_proc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(child_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TSkinComBox::ChildProc)));
}

void TSkinComBox::UnhookChild() {
  if (!child_) return;
  if (IsWindow(child_)) SetWindowLongPtrA(child_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(child_proc_));
  HookedChildren().erase(child_);
  child_ = nullptr;
  child_proc_ = nullptr;
}

LRESULT TSkinComBox::ChildProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto it = HookedChildren().find(hwnd);
  if (it == HookedChildren().end()) return DefWindowProcA(hwnd, msg, wp, lp);
  TSkinComBox* self = it->second;
  const LRESULT r = CallWindowProcA(self->child_proc_, hwnd, msg, wp, lp);
  switch (msg) {
    case WM_NCDESTROY: self->UnhookChild(); break;
    case WM_PAINT:
      if (self->painting_) self->PaintFrame(nullptr);
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      self->mouse_ |= 2;
      self->Repaint();
      break;
    case WM_LBUTTONUP:
      self->mouse_ &= ~2;
      self->Repaint();
      break;
    default: break;
  }
  return r;
}

void TSkinComBox::Detach() {
  TSkinControl::Detach();
  UnhookChild();
}

void TSkinComBox::AfterDefault(TMessage& Message) {
  switch (Message.Msg) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS: return;
    case WM_MOUSEMOVE: {
      const POINT p{static_cast<int16_t>(LOWORD(Message.LParam)), static_cast<int16_t>(HIWORD(Message.LParam))};
      const RECT b = button_;
      const bool enabled = !(WindowLong(GWL_STYLE) & WS_DISABLED);
      const bool inside = PtInRect(&b, p) != 0;
      if ((mouse_ & 1) && (!inside || !enabled)) {
        mouse_ &= ~1;
        Repaint();
      } else if (!(mouse_ & 1) && inside && enabled) {
        mouse_ |= 1;
        Repaint();
      }
      return;
    }
    case WM_DRAWITEM:
    case WM_NCPAINT: Repaint(); return;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      mouse_ |= 2;
      Repaint();
      return;
    case WM_LBUTTONUP:
      mouse_ &= ~2;
      Repaint();
      return;
    case kMouseLeaveMsg:
      mouse_ &= ~1;
      Repaint();
      return;
    case CN_COMMAND:
      if (HIWORD(Message.WParam) == CBN_DROPDOWN) dropped_ = true;
      if (HIWORD(Message.WParam) == CBN_CLOSEUP) dropped_ = false;
      return;
    default: TSkinControl::AfterDefault(Message);
  }
}

int TSkinComBox::ComboFrame() {
  if (WindowLong(GWL_STYLE) & WS_DISABLED) return 3;
  if (mouse_ & 2) return 2;
  HWND focus = GetFocus();
  if ((mouse_ & 1) || (focus && (focus == handle_ || GetParent(focus) == handle_))) return 4;
  return 1;
}

void TSkinComBox::DrawFrame(HDC DC, const TRect& Rect) {
  auto* button = static_cast<TDataSkinBorder*>(data_->Element("ComboButton"));
  if (!button || !button->HasImage()) return;
  style_ = static_cast<DWORD>(WindowLong(GWL_STYLE));
  ex_style_ = static_cast<DWORD>(WindowLong(GWL_EXSTYLE));
  if (skin_user32::GetComboBoxInfo) {
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    if (skin_user32::GetComboBoxInfo(handle_, &info)) {
      button_ = TRect{info.rcButton.left, info.rcButton.top, info.rcButton.right, info.rcButton.bottom};
      if (info.stateButton & STATE_SYSTEM_INVISIBLE) return;
    }
  }
  if (button->Style == 1) {
    DrawFlat(DC, Rect);
    return;
  }
  const int k = ComboFrame();
  const int a = GetSystemMetrics(SM_CXHSCROLL);
  const bool leftButton = (ex_style_ & WS_EX_LEFTSCROLLBAR) != 0;
  TDataSkinObject* sunk = data_->Element("SunkEdge");
  if (own_button_) {
    RECT r = Rect;
    if (HasBorder(handle_)) {
      FrameIn(DC, r, SkinColorToRGB(data_->Colour(csButtonShadow)));
      FrameIn(DC, r, RGB(255, 255, 255));
    }
    HWND child = GetWindow(handle_, GW_CHILD);
    TDataSkinObject* arrow = data_->Element("ComboxArrow");
    if (!child || !arrow || !arrow->HasImage()) return;
    RECT c{}, w{};
    GetWindowRect(child, &c);
    GetWindowRect(handle_, &w);
    const TRect part{c.left - w.left, c.top - w.top, c.right - w.left, c.bottom - w.top};
    Fill(DC, part, data_->Colour(csButtonFace));
    DrawSkinFrame(DC, part, arrow->Map.get(), true, arrow->Frames(), k);
    return;
  }
  if (button->Style == 2) {
    // The whole-control image: its interior is magenta, so the edit shows through.
    TDataSkinObject* whole = leftButton && sunk && sunk->HasImage() ? sunk : button;
    DrawSkinImage(DC, Rect, whole->Map.get(), false, whole->Tile != 0, true, whole->Frames(),
                  std::clamp(k, 1, whole->Frames()), whole->Margins());
    return;
  }
  const int save = SaveDC(DC);
  TRect part{}, glyph{};
  TBitmap* image = button->Map.get();
  if (!leftButton) {
    ExcludeClipRect(DC, Rect.left + 2, Rect.top + 2, Rect.right - a - 4, Rect.bottom - 2);
    part = TRect{Rect.right - a - 2, Rect.top, Rect.right, Rect.bottom};
    glyph = TRect{Rect.right - a - 2, Rect.top, Rect.right - 2, Rect.bottom};
  } else {
    ExcludeClipRect(DC, Rect.left + a + 4, Rect.top + 2, Rect.right - 2, Rect.bottom - 2);
    part = TRect{Rect.left, Rect.top, Rect.left + a + 2, Rect.bottom};
    glyph = TRect{Rect.left + 2, Rect.top, Rect.left + a + 2, Rect.bottom};
    if (!button->Map2->Empty()) image = button->Map2.get();
  }
  if (sunk) DrawSkinObject(DC, Rect, sunk, sunk->Frames(), k);
  DrawSkinFrame(DC, part, image, true, button->Frames(), std::clamp(k, 1, button->Frames()));
  button_ = part;
  TDataSkinObject* extra = data_->Element("ExtraImages");
  if (extra && extra->HasImage()) DrawSkinGlyph(DC, glyph, extra->Map.get(), true, extra->Frames(), k);
  RestoreDC(DC, save);
}

void TSkinComBox::DrawFlat(HDC DC, const TRect& Rect) {
  auto* button = static_cast<TDataSkinBorder*>(data_->Element("ComboButton"));
  const int k = ComboFrame();
  const bool leftButton = (ex_style_ & WS_EX_LEFTSCROLLBAR) != 0;
  HBRUSH brush = static_cast<HBRUSH>(GetCurrentObject(DC, OBJ_BRUSH));
  RECT r = Rect;
  InflateRect(&r, -1, -1);
  FrameRect(DC, &r, brush);
  InflateRect(&r, -1, -1);
  const int thumb = GetSystemMetrics(SM_CYVTHUMB);
  RECT strip = leftButton ? RECT{r.left, r.top, r.left + thumb, r.bottom} : RECT{r.right - thumb, r.top, r.right, r.bottom};
  FillRect(DC, &strip, brush);
  const int fw = button->FrameWidth(), ih = button->Map->Height();
  TRect part = leftButton ? TRect{r.left, r.top, r.left + fw, r.bottom} : TRect{r.right - fw, r.top, r.right, r.bottom};
  if (ih < thumb) part.bottom = part.top + ih;
  RECT outer = Rect;
  FrameIn(DC, outer, SkinColorToRGB(data_->Colour(csButtonShadow)));
  button_ = part;
  DrawSkinFrame(DC, part, button->Map.get(), true, button->Frames(), std::clamp(k, 1, button->Frames()));
}
