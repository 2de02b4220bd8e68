// Buttons with glyphs: the glyph and caption layout and the disabled glyph.
#include <algorithm>

#include "framework/controls/comctrls.h"
#include "framework/controls/typinfo.h"
#include "skin/skin_controls.h"

namespace {

TObject* ObjectProp(TObject* Instance, const AnsiString& Name) {
  const TPropInfo* p = Instance ? GetPropInfo(Instance, Name) : nullptr;
  return p && p->Kind == tkClass ? GetObjectProp(Instance, Name) : nullptr;
}

LPCWSTR Wide(const WideString& s) { return reinterpret_cast<LPCWSTR>(s.c_str()); }

}  // namespace

std::unique_ptr<TBitmap> MakeDisabledGlyph(TBitmap* Glyph) {
  auto out = std::make_unique<TBitmap>();
  const int w = Glyph->Width(), h = Glyph->Height();
  out->SetPixelFormat(pf24bit);
  out->SetSize(w, h);
  HDC dc = out->Canvas()->Handle();
  RECT all{0, 0, w, h};
  HBRUSH face = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
  FillRect(dc, &all, face);
  DeleteObject(face);
  if (w < 1 || h < 1) return out;
  // The shape: white where the glyph is, black where its background colour (the bottom-left
  // pixel) is; the raster operation paints the brush where the shape is white.
  TBitmap mono;
  mono.Assign(Glyph);
  if (!mono.Monochrome()) mono.Mask(mono.Canvas()->Pixels(0, h - 1));
  HDC mdc = mono.Canvas()->Handle();
  PatBlt(mdc, 0, 0, w, h, DSTINVERT);
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkColor(dc, RGB(255, 255, 255));
  for (const auto& [offset, colour] : {std::pair{1, COLOR_BTNHIGHLIGHT}, std::pair{0, COLOR_BTNSHADOW}}) {
    HBRUSH brush = CreateSolidBrush(GetSysColor(colour));
    HGDIOBJ old = SelectObject(dc, brush);
    BitBlt(dc, offset, offset, w, h, mdc, 0, 0, 0x00E20746);
    SelectObject(dc, old);
    DeleteObject(brush);
  }
  return out;
}

void TSkinBitButton::DrawFrame(HDC DC, const TRect& Rect) {
  if (!data_->Buttons()->HasImage()) return;
  const int w = Rect.right - Rect.left, h = Rect.bottom - Rect.top;
  if (w < 1 || h < 1) return;
  DrawFace(Rect, ButtonFrame());
  HDC dc = buffer_->Canvas()->Handle();
  HGDIOBJ oldFont = GetCurrentObject(dc, OBJ_FONT);
  SelectTextColours(dc, glyph_property_.empty());
  const bool enabled = EnabledNow();
  DrawGlyphAndCaption(control_, w, h, Pressed() ? 3 : !enabled ? 2 : 1, enabled, FocusedNow(), false);
  SelectObject(dc, oldFont);
  BitBlt(DC, Rect.left, Rect.top, w, h, dc, 0, 0, SRCCOPY);
}

void TSkinBitButton::DrawGlyphAndCaption(TControl* Source, int W, int H, int Index, bool Enabled, bool Focused,
                                         bool Speed) {
  HDC dc = buffer_->Canvas()->Handle();
  // 1. The glyph and its size.
  TBitmap* strip = nullptr;
  TGraphic* whole = nullptr;
  TCustomImageList* images = nullptr;
  int count = 1, imageIndex = -1, gw = 0, gh = 0;
  if (!glyph_property_.empty()) {
    whole = dynamic_cast<TGraphic*>(ObjectProp(Source, glyph_property_));
    if (whole && whole->Empty()) whole = nullptr;
  } else {
    strip = dynamic_cast<TBitmap*>(ObjectProp(Source, "Glyph"));
    if (strip && strip->Empty()) strip = nullptr;
    count = std::max(1, PropInt(Source, "NumGlyphs"));  // no count, or one below 1: one glyph
  }
  if (strip) {
    gw = strip->Width() / count;
    gh = strip->Height();
  } else if (whole) {
    gw = whole->Width();
    gh = whole->Height();
  } else if ((images = dynamic_cast<TCustomImageList*>(ObjectProp(Source, "Images")))) {
    imageIndex = PropInt(Source, "ImageIndex");
    if (imageIndex == -1) {
      images = nullptr;
    } else {
      gw = images->Width();
      gh = images->Height();
    }
  }
  // 2-3. Layout and the caption's size.
  const AnsiString layout = PropText(Source, "Layout");
  const bool right = layout == "blglyphright", top = layout == "blglyphtop", bottom = layout == "blglyphbottom";
  const bool horizontal = !top && !bottom;
  const WideString text =
      SkinBreakCaption(HasProp(Source, "Caption") ? SkinWideText(GetPropValue(Source, "Caption")) : WideString());
  RECT area{2, 2, W - 2, H - 2};
  if (horizontal)
    area.right -= gw + 2;
  else
    area.bottom -= gh + 2;
  int tw = 0, th = 0;
  if (!text.empty()) {
    RECT m = area;
    DrawTextW(dc, Wide(text), static_cast<int>(text.size()), &m, DT_CALCRECT | DT_WORDBREAK);
    tw = m.right - m.left;
    th = m.bottom - m.top;
  }
  // 5-6. Margin and spacing (-1: automatic).
  const int extent = horizontal ? W : H, g = horizontal ? gw : gh, t = horizontal ? tw : th;
  int margin = PropInt(Source, "Margin"), spacing = PropInt(Source, "Spacing");
  if (tw == 0 || gw == 0) spacing = 0;
  if (margin == -1 || PropText(Source, "Alignment") == "tacenter") {
    if (spacing == -1)
      margin = spacing = (extent - g - t) / 3;
    else
      margin = (extent - g - spacing - t) / 2 + (Speed ? 1 : 0);
  } else if (spacing == -1) {
    spacing = (extent - margin - g - t) / 2;
  }
  // 4 and 7. Positions across and along the axis.
  int gx = (W - gw + 1) / 2, gy = (H - gh + 1) / 2, tx = (W - tw + 1) / 2, ty = (H - th + 1) / 2;
  UINT flags = DT_WORDBREAK;
  if (right) {
    gx = W - margin - gw;
    tx = gx - spacing - tw;
    flags |= DT_RIGHT;
  } else if (top) {
    gy = margin;
    ty = margin + gh + spacing;
    flags |= DT_CENTER;
  } else if (bottom) {
    gy = H - margin - gh;
    ty = gy - spacing - th;
    flags |= DT_CENTER;
  } else {
    gx = margin;
    tx = margin + gw + spacing;
  }
  // 8. The glyph.
  if (strip) {
    const int i = Index > count ? 1 : Index;
    TBitmap cut;
    cut.SetPixelFormat(pf24bit);
    cut.SetSize(gw, gh);
    BitBlt(cut.Canvas()->Handle(), 0, 0, gw, gh, strip->Canvas()->Handle(), (i == 2 ? 0 : i - 1) * gw, 0, SRCCOPY);
    if (i == 2) {
      auto disabled = MakeDisabledGlyph(&cut);
      BitBlt(dc, gx, gy, gw, gh, disabled->Canvas()->Handle(), 0, 0, SRCCOPY);
    } else {
      DrawTransparent(dc, TRect{gx, gy, gx + gw, gy + gh}, &cut, cut.Canvas()->Pixels(0, gh - 1));
    }
  } else if (whole) {
    buffer_->Canvas()->Draw(gx, gy, whole);
  } else if (images) {
    const int disabledIndex = PropInt(Source, "DisabledIndex");
    try {
      if (Enabled)
        images->Draw(buffer_->Canvas(), gx, gy, imageIndex, true);
      else if (disabledIndex != -1)
        images->Draw(buffer_->Canvas(), gx, gy, disabledIndex, true);
      else
        images->Draw(buffer_->Canvas(), gx, gy, imageIndex, false);
    } catch (const Exception&) {
    }
  }
  // 9. The caption.
  if (text.empty()) return;
  RECT r{tx, ty, tx + tw, ty + th};
  DrawTextW(dc, Wide(text), static_cast<int>(text.size()), &r, flags);
  if (Focused && !data_->Options.Contains(xoNoFocusRect)) {
    InflateRect(&r, 2, 2);
    DrawFocusRect(dc, &r);
  }
}
