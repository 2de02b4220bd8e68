#include "framework/controls/buttons.h"

TSpeedButton::TSpeedButton(TComponent* AOwner) : TGraphicControl(AOwner), glyph_(std::make_unique<TBitmap>()) {
  width_ = 23;
  height_ = 22;
  color_ = clBtnFace;
  control_style_ = TControlStyle{csCaptureMouse, csDoubleClicks, csOpaque};
  glyph_->OnChange = [this](TObject*) { Invalidate(); };
}

TSpeedButton::~TSpeedButton() = default;

void TSpeedButton::SetDown(bool Value) {
  if (group_index_ == 0) Value = false;
  if (down_ == Value) return;
  if (down_ && !AllowAllUp) return;
  down_ = Value;
  state_ = Value ? bsExclusive : bsUp;
  Invalidate();
  if (Value) UpdateExclusive();
}

void TSpeedButton::SetFlat(bool Value) {
  flat_ = Value;
  Invalidate();
}

void TSpeedButton::UpdateExclusive() {
  if (group_index_ == 0 || !parent_) return;
  for (int i = 0; i < parent_->ControlCount(); ++i) {
    auto* b = dynamic_cast<TSpeedButton*>(parent_->Controls(i));
    if (b && b != this && b->group_index_ == group_index_ && b->down_) {
      b->down_ = false;
      b->state_ = bsUp;
      b->Invalidate();
    }
  }
}

void TSpeedButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || !enabled_) return;
  if (!down_) {
    state_ = bsDown;
    Invalidate();
  }
  dragging_ = true;
}

void TSpeedButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseUp(Button, Shift, X, Y);
  if (!dragging_) return;
  dragging_ = false;
  bool inside = X >= 0 && X < width_ && Y >= 0 && Y < height_;
  if (group_index_ == 0) {
    state_ = bsUp;
    Invalidate();
    if (inside) Click();
    return;
  }
  if (inside) {
    // A pressed button of a group comes up only when the group allows it.
    if (down_ && AllowAllUp) {
      down_ = false;
      state_ = bsUp;
    } else if (!down_) {
      down_ = true;
      state_ = bsExclusive;
      UpdateExclusive();
    }
    Invalidate();
    Click();
  } else if (!down_) {
    state_ = bsUp;
    Invalidate();
  }
}

void TSpeedButton::Click() { TGraphicControl::Click(); }

void TSpeedButton::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case CM_MOUSEENTER:
      mouse_in_ = true;
      if (flat_) Invalidate();
      return;
    case CM_MOUSELEAVE:
      mouse_in_ = false;
      if (flat_) Invalidate();
      return;
    case CM_ENABLEDCHANGED:
      state_ = enabled_ ? (down_ ? bsExclusive : bsUp) : bsDisabled;
      Invalidate();
      return;
    default: break;
  }
  TGraphicControl::WndProc(Message);
}

void TSpeedButton::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(color_);
  c->FillRect(r);
  bool pressed = state_ == bsDown || state_ == bsExclusive;
  if (!flat_ || mouse_in_ || pressed) {
    c->Pen()->SetColor(pressed ? clBtnShadow : clBtnHighlight);
    c->MoveTo(r.left, r.bottom - 1);
    c->LineTo(r.left, r.top);
    c->LineTo(r.right - 1, r.top);
    c->Pen()->SetColor(pressed ? clBtnHighlight : clBtnShadow);
    c->LineTo(r.right - 1, r.bottom - 1);
    c->LineTo(r.left, r.bottom - 1);
  }
  int offset = pressed ? 1 : 0;
  int x = r.left + 3 + offset;
  if (!glyph_->Empty()) {
    int y = (height_ - glyph_->Height()) / 2 + offset;
    c->Draw(x, y, glyph_.get());
    x += glyph_->Width() + 4;
  }
  if (!text_.empty()) {
    c->Font()->Assign(font_.get());
    if (!enabled_) c->Font()->SetColor(clGrayText);
    c->Brush()->SetStyle(bsClear);
    TRect tr = Rect(glyph_->Empty() ? r.left : x, r.top + offset, r.right + offset, r.bottom + offset);
    HDC dc = c->Handle();
    DrawTextA(dc, text_.c_str(), static_cast<int>(text_.size()), &tr,
              DT_SINGLELINE | DT_VCENTER | (glyph_->Empty() ? DT_CENTER : DT_LEFT));
  }
}
