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
  if (data_->SkinControls.Contains(xcSpin) && !up_down_) {
    for (HWND c = GetWindow(handle_, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      const AnsiString cls = LowerCase(SkinClassName(c));
      if (cls != "msctls_updown32" && cls.find("spin") == AnsiString::npos && cls.find("updown") == AnsiString::npos)
        continue;
      // It lives as long as the edit's owner keeps the edit's skinner.
      up_down_ = new TSkinUpDown(Owner() ? Owner() : static_cast<TComponent*>(form_));
      up_down_->InEdit = true;
      up_down_->AttachWindow(c, data_, form_, canvas_);
      break;
    }
  }
  if (!HasBorder(handle_)) return;
  RECT r = Rect;
  FrameIn(DC, r, SkinColorToRGB(data_->Colour(csButtonShadow)));
  FrameIn(DC, r, RGB(255, 255, 255));
  FrameIn(DC, r, RGB(255, 255, 255));
}

// ---- TSkinUpDown -----------------------------------------------------------------------------------------
namespace {
constexpr LONG_PTR kUpDownHorizontal = 0x40;  // UDS_HORZ

// A small arrow in Colour at the centre of R: chevrons (4 wide and 3 high each side, 2
// pixels above the centre) for up and down, triangles 2 wide and 4 high for left and right.
void DrawArrow(HDC DC, const RECT& R, int Direction, COLORREF Colour) {
  HPEN pen = CreatePen(PS_SOLID, 1, Colour);
  HGDIOBJ old = SelectObject(DC, pen);
  const int cx = (R.left + R.right) / 2, cy = (R.top + R.bottom) / 2, y0 = cy - 2;
  auto stroke = [&](std::initializer_list<POINT> points) {
    auto it = points.begin();
    MoveToEx(DC, it->x, it->y, nullptr);
    for (++it; it != points.end(); ++it) LineTo(DC, it->x, it->y);
    SetPixel(DC, (points.end() - 1)->x, (points.end() - 1)->y, Colour);
  };
  switch (Direction) {
    case 0: stroke({{cx - 4, y0 + 3}, {cx, y0}, {cx + 4, y0 + 3}}); break;
    case 1: stroke({{cx - 4, y0}, {cx, y0 + 3}, {cx + 4, y0}}); break;
    case 2:
      stroke({{cx, cy - 2}, {cx, cy + 2}});
      stroke({{cx - 1, cy - 1}, {cx - 1, cy + 1}});
      break;
    default:
      stroke({{cx, cy - 2}, {cx, cy + 2}});
      stroke({{cx + 1, cy - 1}, {cx + 1, cy + 1}});
      break;
  }
  SelectObject(DC, old);
  DeleteObject(pen);
}
}  // namespace

bool TSkinUpDown::BeforeDefault(TMessage& Message) {
  if (!TSkinControl::BeforeDefault(Message)) return false;
  switch (Message.Msg) {
    case WM_PAINT: PaintMessage(Message); return false;
    case WM_ERASEBKGND:
      if (raw_) {
        RECT c{};
        GetClientRect(handle_, &c);
        FillRect(reinterpret_cast<HDC>(Message.WParam), &c, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
      }
      Message.Result = 1;
      return false;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      Default(Message);
      pressed_ = true;
      Repaint();
      return false;
    case WM_LBUTTONUP:
      pressed_ = false;
      Default(Message);
      Repaint();
      return false;
    default: return true;
  }
}

void TSkinUpDown::DrawFrame(HDC DC, const TRect& Rect) {
  TRect r = Rect;
  if (InEdit) {
    RECT c{};
    GetClientRect(handle_, &c);
    FillRect(DC, &c, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    HWND parent = GetParent(handle_);
    RECT me{}, edit{};
    GetWindowRect(handle_, &me);
    GetWindowRect(parent, &edit);
    if (me.top - edit.top < 3) r.top += 3 - (me.top - edit.top);
    if (edit.bottom - me.bottom < 3) r.bottom -= 3 - (edit.bottom - me.bottom);
    if (edit.right - me.right < 3) r.right -= 3 - (edit.right - me.right);
  }
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (w < 1 || h < 1) return;
  TBitmap buffer;
  HDC dc = FaceBitmap(buffer, w, h);
  POINT cursor{};
  GetCursorPos(&cursor);
  ScreenToClient(handle_, &cursor);
  cursor.x -= r.left;
  cursor.y -= r.top;
  const bool enabled = !(WindowLong(GWL_STYLE) & WS_DISABLED);
  const bool horizontal = Horizontal || (WindowLong(GWL_STYLE) & kUpDownHorizontal);
  const RECT halves[2] = {horizontal ? RECT{0, 0, w / 2, h} : RECT{0, 0, w, h / 2},
                          horizontal ? RECT{w / 2, 0, w, h} : RECT{0, h / 2, w, h}};
  TDataSkinObject* element = data_->Element(horizontal ? "UpDown.Horz" : "UpDown.Vert");
  const bool image = element && element->HasImage();
  for (int i = 0; i < 2; ++i) {
    const RECT& half = halves[i];
    const bool here = PtInRect(&half, cursor) != 0;
    const int state = !enabled ? 3 : !here ? 1 : pressed_ ? 2 : 4;
    const TRect t{half.left, half.top, half.right, half.bottom};
    if (image) {
      DrawSkinObject(dc, t, element, 8, state + 4 * i);
      auto* glyphs = static_cast<TDataSkinBorder*>(element)->Map2.get();
      if (glyphs && !glyphs->Empty()) DrawSkinGlyph(dc, t, glyphs, true, 8, state + 4 * i);
      continue;
    }
    Fill(dc, t, data_->Colour(state == 2 || state == 4 ? csButtonShadow : csButtonFace));
    HBRUSH outline = CreateSolidBrush(SkinColorToRGB(data_->Colour(csButtonDkShadow)));
    FrameRect(dc, &half, outline);
    DeleteObject(outline);
    DrawArrow(dc, half, horizontal ? 2 + i : i, SkinColorToRGB(data_->Colour(csButtonDkShadow)));
  }
  BitBlt(DC, r.left, r.top, w, h, dc, 0, 0, SRCCOPY);
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
  if ((style_ & 3) != CBS_SIMPLE) {
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    // The drop-down list's scroll bar; it belongs to this skinner and goes with it.
    if ((style_ & 2) && skin_user32::GetComboBoxInfo && skin_user32::GetComboBoxInfo(handle_, &info) &&
        info.hwndList)
      (new TComboxScrollBar(this))->AttachWindow(info.hwndList, Data, Form, Canvas);
    if (!unicode_) HookChild();
  } else {
    // A simple combo's list is a child window of its own.
    for (HWND c = GetWindow(handle_, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
      if (LowerCase(SkinClassName(c)) == "listbox" && (GetWindowLongA(c, GWL_STYLE) & WS_CHILD)) {
        (new TSkinScrollbarH(this))->AttachWindow(c, Data, Form, Canvas);
        break;
      }
  }
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
  // The mirrored strip holds its frames in reverse order.
  const int n = button->Frames(), frame = std::clamp(k, 1, n);
  DrawSkinFrame(DC, part, image, true, n, image == button->Map2.get() ? n + 1 - frame : frame);
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
  RECT strip =
      leftButton ? RECT{r.left, r.top, r.left + thumb, r.bottom} : RECT{r.right - thumb, r.top, r.right, r.bottom};
  FillRect(DC, &strip, brush);
  const int fw = button->FrameWidth(), ih = button->Map->Height();
  TRect part = leftButton ? TRect{r.left, r.top, r.left + fw, r.bottom} : TRect{r.right - fw, r.top, r.right, r.bottom};
  if (ih < thumb) part.bottom = part.top + ih;
  RECT outer = Rect;
  FrameIn(DC, outer, SkinColorToRGB(data_->Colour(csButtonShadow)));
  button_ = part;
  DrawSkinFrame(DC, part, button->Map.get(), true, button->Frames(), std::clamp(k, 1, button->Frames()));
}

// ---- TSkinDateTime, TArrowButton -------------------------------------------------------------------------
TArrowButton::TArrowButton(TComponent* AOwner, TSkinData* Data, TWinControl* Picker)
    : TCustomControl(AOwner), data_(Data), picker_(Picker), arrow_width_(GetSystemMetrics(SM_CXHSCROLL)) {
  SetParentWindow(Picker->Handle());
  Place();
  SetWindowLongA(Picker->Handle(), GWL_STYLE, GetWindowLongA(Picker->Handle(), GWL_STYLE) | WS_CLIPCHILDREN);
}

void TArrowButton::Place() {
  const bool left = (GetWindowLongA(picker_->Handle(), GWL_EXSTYLE) & WS_EX_LEFTSCROLLBAR) != 0;
  SetBounds(left ? 2 : picker_->Width() - arrow_width_ - 4, 0, arrow_width_, picker_->Height() - 4);
}

void TArrowButton::Paint() {
  HDC dc = Canvas()->Handle();
  RECT r{0, 0, Width(), Height()};
  FillRect(dc, &r, data_->FaceBrush());
  TDataSkinObject* arrow = data_->Element("ComboxArrow");
  if (arrow && arrow->HasImage())
    DrawSkinFrame(dc, TRect{0, 0, arrow_width_, picker_->Height() - 4}, arrow->Map.get(), false, arrow->Frames(),
                  std::min(hot_ ? 4 : 1, arrow->Frames()));
}

void TArrowButton::WndProc(TMessage& Message) {
  if ((Message.Msg == CM_MOUSEENTER || Message.Msg == CM_MOUSELEAVE) && picker_->Enabled()) {
    hot_ = Message.Msg == CM_MOUSEENTER;
    Invalidate();
  }
  TCustomControl::WndProc(Message);
}

void TArrowButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  const LPARAM at = MAKELPARAM(X + Left(), Y + Top());
  PostMessageW(picker_->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(picker_->Handle(), WM_LBUTTONUP, 0, at);
  Invalidate();
}

void TArrowButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  if (Button == mbLeft && picker_->CanFocus()) picker_->SetFocus();
}

void TSkinDateTime::AttachControl(TWinSkinForm* Form, TSkinData* Data, TWinControl* Control, bool KeepColour,
                                  TCanvas* Canvas) {
  if (attached_) return;
  TSkinControl::AttachControl(Form, Data, Control, KeepColour, Canvas);
  arrow_ = new TArrowButton(this, Data, Control);
  arrow_->SetVisible(true);
}

void TSkinDateTime::AfterDefault(TMessage& Message) {
  if (Message.Msg == WM_SIZE && arrow_) {
    arrow_->Place();
    arrow_->Invalidate();
    return;
  }
  TSkinControl::AfterDefault(Message);
}

void TSkinDateTime::DrawFrame(HDC DC, const TRect& Rect) {
  if (arrow_) arrow_->Place();
  if (!HasBorder(handle_)) return;
  RECT r = Rect;
  FrameIn(DC, r, SkinColorToRGB(data_->Colour(csButtonShadow)));
  FrameIn(DC, r, RGB(255, 255, 255));
}
