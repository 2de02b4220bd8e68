#include "framework/controls/buttons.h"

#include <algorithm>

#include "platform/user/button.h"
#include "platform/user/frame.h"

// ---- TButtonGlyph ----------------------------------------------------------------------------------

TButtonGlyph::TButtonGlyph() : glyph_(std::make_unique<TBitmap>()) {}

void TButtonGlyph::SetNumGlyphs(int Value) { num_glyphs_ = std::clamp(Value, 1, 4); }

int TButtonGlyph::GlyphWidth() { return glyph_->Empty() ? 0 : glyph_->Width() / num_glyphs_; }

void TButtonGlyph::CalcLayout(HDC DC, const TRect& Client, const AnsiString& Caption, TPoint* GlyphPos,
                              TRect* TextRect) {
  int cw = Client.right - Client.left, ch = Client.bottom - Client.top;
  SIZE glyph{GlyphWidth(), glyph_->Empty() ? 0 : glyph_->Height()};
  SIZE text{0, 0};
  if (!Caption.empty()) {
    RECT r{0, 0, cw, 0};
    DrawTextA(DC, Caption.c_str(), static_cast<int>(Caption.size()), &r, DT_CALCRECT | DT_SINGLELINE);
    text = SIZE{r.right - r.left, r.bottom - r.top};
  }
  bool across = Layout == blGlyphLeft || Layout == blGlyphRight;
  int extent = across ? cw : ch;
  int g = across ? glyph.cx : glyph.cy, t = across ? text.cx : text.cy;
  int margin = Margin, spacing = Spacing;
  if (Caption.empty() || glyph.cx == 0) spacing = 0;
  if (margin == -1) {
    if (spacing == -1) {
      margin = spacing = (extent - g - t) / 3;
    } else {
      margin = (extent - g - spacing - t + 1) / 2;
    }
  } else if (spacing == -1) {
    spacing = (extent - margin - g - t) / 2;
  }
  // Across the layout's direction both are centred.
  POINT gp{(cw - glyph.cx + 1) / 2, (ch - glyph.cy + 1) / 2};
  POINT tp{(cw - text.cx + 1) / 2, (ch - text.cy + 1) / 2};
  switch (Layout) {
    case blGlyphLeft:
      gp.x = margin;
      tp.x = gp.x + glyph.cx + spacing;
      break;
    case blGlyphRight:
      gp.x = cw - margin - glyph.cx;
      tp.x = gp.x - spacing - text.cx;
      break;
    case blGlyphTop:
      gp.y = margin;
      tp.y = gp.y + glyph.cy + spacing;
      break;
    case blGlyphBottom:
      gp.y = ch - margin - glyph.cy;
      tp.y = gp.y - spacing - text.cy;
      break;
  }
  *GlyphPos = TPoint{Client.left + gp.x, Client.top + gp.y};
  *TextRect = TRect{Client.left + tp.x, Client.top + tp.y, Client.left + tp.x + text.cx, Client.top + tp.y + text.cy};
}

void TButtonGlyph::Draw(HDC DC, const TRect& Client, const AnsiString& Caption, TButtonState State, bool Enabled) {
  TPoint at;
  TRect text;
  CalcLayout(DC, Client, Caption, &at, &text);
  bool pressed = State == bsDown || State == bsExclusive;
  if (pressed) {
    OffsetRect(&text, 1, 1);
    ++at.x;
    ++at.y;
  }
  if (!glyph_->Empty()) {
    int index = !Enabled ? 1 : State == bsDown ? 2 : State == bsExclusive ? 3 : 0;
    if (index >= num_glyphs_) index = 0;
    int gw = GlyphWidth(), gh = glyph_->Height();
    HDC src = glyph_->Canvas()->Handle();
    COLORREF clear = ColorToRGB(glyph_->TransparentColor() & 0xFFFFFF);
    if (!Enabled && num_glyphs_ < 2) {
      // Embossed: the opaque pixels in the highlight colour one pixel right and down, then
      // in the shadow colour.
      for (COLORREF c : {GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_BTNSHADOW)}) {
        int d = c == GetSysColor(COLOR_BTNHIGHLIGHT) ? 1 : 0;
        for (int y = 0; y < gh; ++y)
          for (int x = 0; x < gw; ++x)
            if (GetPixel(src, x, y) != clear) SetPixel(DC, at.x + x + d, at.y + y + d, c);
      }
    } else {
      TransparentBlt(DC, at.x, at.y, gw, gh, src, index * gw, 0, gw, gh, clear);
    }
  }
  if (!Caption.empty()) {
    int oldMode = SetBkMode(DC, TRANSPARENT);
    COLORREF oldColour = Enabled ? GetTextColor(DC) : SetTextColor(DC, GetSysColor(COLOR_GRAYTEXT));
    UINT align = Layout == blGlyphRight ? DT_RIGHT : (Layout == blGlyphLeft ? DT_LEFT : DT_CENTER);
    DrawTextA(DC, Caption.c_str(), static_cast<int>(Caption.size()), &text, DT_SINGLELINE | DT_NOCLIP | align);
    SetTextColor(DC, oldColour);
    SetBkMode(DC, oldMode);
  }
}

// ---- TSpeedButton ----------------------------------------------------------------------------------

TSpeedButton::TSpeedButton(TComponent* AOwner) : TGraphicControl(AOwner) {
  width_ = 23;
  height_ = 22;
  color_ = clBtnFace;
  control_style_ = TControlStyle{csCaptureMouse, csDoubleClicks, csOpaque};
  glyph_.Glyph()->OnChange = [this](TObject*) { Invalidate(); };
}

TSpeedButton::~TSpeedButton() = default;

void TSpeedButton::SetNumGlyphs(int Value) {
  glyph_.SetNumGlyphs(Value);
  Invalidate();
}

void TSpeedButton::SetLayout(TButtonLayout Value) {
  glyph_.Layout = Value;
  Invalidate();
}

void TSpeedButton::SetMargin(int Value) {
  glyph_.Margin = Value;
  Invalidate();
}

void TSpeedButton::SetSpacing(int Value) {
  glyph_.Spacing = Value;
  Invalidate();
}

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
  c->Font()->Assign(font_.get());
  c->Brush()->SetStyle(bsClear);
  glyph_.Draw(c->Handle(), r, text_, state_, enabled_);
}

// ---- TBitBtn ---------------------------------------------------------------------------------------

TBitBtn::TBitBtn(TComponent* AOwner) : TButton(AOwner) {
  glyph_.Glyph()->OnChange = [this](TObject*) { Invalidate(); };
}

void TBitBtn::SetNumGlyphs(int Value) {
  glyph_.SetNumGlyphs(Value);
  Invalidate();
}

void TBitBtn::SetLayout(TButtonLayout Value) {
  glyph_.Layout = Value;
  Invalidate();
}

void TBitBtn::SetMargin(int Value) {
  glyph_.Margin = Value;
  Invalidate();
}

void TBitBtn::SetSpacing(int Value) {
  glyph_.Spacing = Value;
  Invalidate();
}

void TBitBtn::CreateParams(TCreateParams& Params) {
  TButton::CreateParams(Params);
  Params.Style = (Params.Style & ~static_cast<DWORD>(BS_TYPEMASK)) | BS_OWNERDRAW;
}

void TBitBtn::WndProc(TMessage& Message) {
  if (Message.Msg == CN_DRAWITEM && Message.LParam) {
    DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(Message.LParam));
    Message.Result = TRUE;
    return;
  }
  TButton::WndProc(Message);
}

void TBitBtn::DrawItem(const DRAWITEMSTRUCT& Item) {
  HDC dc = Item.hDC;
  RECT r = Item.rcItem;
  bool pressed = (Item.itemState & ODS_SELECTED) != 0;
  bool enabled = !(Item.itemState & ODS_DISABLED);
  DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0u));
  HGDIOBJ oldFont = SelectObject(dc, Font()->Handle());
  RECT inner = r;
  InflateRect(&inner, -2, -2);
  glyph_.Draw(dc, inner, Caption(), pressed ? bsDown : (enabled ? bsUp : bsDisabled), enabled);
  SelectObject(dc, oldFont);
  if (Item.itemState & ODS_FOCUS) {
    InflateRect(&inner, -2, -2);
    DrawFocusRect(dc, &inner);
  }
}
