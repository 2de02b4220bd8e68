// Status bars, progress bars, column headers and list views drawn from the skin.
#include <algorithm>

#include "framework/controls/comctrls.h"
#include "framework/controls/typinfo.h"
#include "platform/base/system.h"
#include "skin/skin_controls.h"
#include "skin/skin_form.h"
#include "skin/skin_manager.h"

namespace {

UINT AlignFlag(TAlignment A) { return A == taRightJustify ? DT_RIGHT : A == taCenter ? DT_CENTER : DT_LEFT; }

}  // namespace

// ---- TSkinStatusBar ---------------------------------------------------------------------------------------
bool TSkinStatusBar::BeforeDefault(TMessage& Message) {
  if (!TSkinControl::BeforeDefault(Message)) return false;
  switch (Message.Msg) {
    case WM_PAINT: PaintMessage(Message); return false;
    case WM_ERASEBKGND: Message.Result = 1; return false;
    default: return true;
  }
}

// Edge 1 lowered, 2 raised, 3 none: the StatusBarEdges frame, or a one-pixel 3-D frame.
void TSkinStatusBar::DrawEdge(HDC DC, const TRect& Rect, int Edge) {
  TDataSkinObject* edges = data_->Element("StatusBarEdges");
  if (edges && edges->HasImage()) {
    DrawSkinImage(DC, Rect, edges->Map.get(), false, edges->Tile != 0, edges->Trans == 1, 3, Edge, edges->Margins());
    return;
  }
  if (Edge == 3) return;
  const TColor shadow = data_->Colour(csButtonShadow), light = data_->Colour(csButtonHilight);
  const TColor topLeft = Edge == 1 ? shadow : light, bottomRight = Edge == 1 ? light : shadow;
  Fill(DC, TRect{Rect.left, Rect.top, Rect.right, Rect.top + 1}, topLeft);
  Fill(DC, TRect{Rect.left, Rect.top, Rect.left + 1, Rect.bottom}, topLeft);
  Fill(DC, TRect{Rect.left, Rect.bottom - 1, Rect.right, Rect.bottom}, bottomRight);
  Fill(DC, TRect{Rect.right - 1, Rect.top, Rect.right, Rect.bottom}, bottomRight);
}

void TSkinStatusBar::DrawFrame(HDC DC, const TRect& Rect) {
  const int w = Rect.right - Rect.left, h = Rect.bottom - Rect.top;
  if (w < 1 || h < 1) return;
  TBitmap bitmap;
  HDC dc = FaceBitmap(bitmap, w, h);
  const TRect all{0, 0, w, h};
  TFont plain;
  HFONT font = SkinWindowFont(handle_);
  TColor colour = data_->Colour(csButtonText);
  if (control_) {
    plain.Assign(control_->Font());
    plain.SetStyle(TFontStyles());
    font = plain.Handle();
    colour = control_->Font()->Color();
  }
  if (TDataSkinObject* edges = data_->Element("StatusBarEdges")) colour = edges->NormalColour2;
  HGDIOBJ oldFont = SelectObject(dc, font);
  SetTextColor(dc, SkinColorToRGB(colour));
  const bool enabled = !(WindowLong(GWL_STYLE) & WS_DISABLED);
  auto* bar = dynamic_cast<TCustomStatusBar*>(control_);
  // A raw bar's part texts come from the window.
  auto PartText = [this](int Part) {
    const int n = LOWORD(SendMessageW(handle_, SB_GETTEXTLENGTHW, static_cast<WPARAM>(Part), 0));
    WideString text(static_cast<size_t>(n) + 1, u'\0');
    SendMessageW(handle_, SB_GETTEXTW, static_cast<WPARAM>(Part), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(n));
    return text;
  };
  const int parts = static_cast<int>(SendMessageW(handle_, SB_GETPARTS, 0, 0));
  const bool simple =
      bar ? bar->SimplePanel() || bar->Panels()->Count() == 0 : SendMessageW(handle_, SB_ISSIMPLE, 0, 0) || parts == 0;
  if (simple) {
    DrawEdge(dc, all, 1);
    WideString text = bar ? SkinWideText(GetPropValue(bar, "SimpleText")) : PartText(SB_SIMPLEID);
    if (text.empty()) text = u" ";
    DrawCellText(dc, TRect{2, 0, w - 2, h}, text, DT_LEFT, enabled, data_->Colour(csButtonShadow));
  } else {
    for (int i = 0; i < parts; ++i) {
      RECT r{};
      if (!SendMessageW(handle_, SB_GETRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r))) continue;
      r.right += 2;
      if (i == parts - 1) r.right = w;
      TStatusPanel* panel = bar && i < bar->Panels()->Count() ? bar->Panels()->Items(i) : nullptr;
      const AnsiString bevel = PropText(panel, "Bevel");
      const int edge = bevel == "pbraised" ? 2 : bevel == "pbnone" ? 3 : 1;
      const TRect cell{r.left, r.top, r.right, r.bottom};
      DrawEdge(dc, cell, edge);
      WideString text;
      UINT align = DT_LEFT;
      if (panel) {
        text = SkinWideText(panel->Text());
        align = AlignFlag(panel->Alignment());
      } else {
        text = PartText(i);
      }
      if (text.empty()) text = u" ";
      DrawCellText(dc, TRect{cell.left + 2, cell.top, cell.right - 2, cell.bottom}, text, align, enabled,
                   data_->Colour(csButtonShadow));
    }
  }
  TDataSkinObject* extra = data_->Element("ExtraImages");
  if ((WindowLong(GWL_STYLE) & SBARS_SIZEGRIP) && extra && extra->HasImage()) {
    const int fw = extra->Map->Width() / 5, ih = extra->Map->Height();
    DrawSkinFrame(dc, TRect{w - 1 - fw, h - 1 - ih, w - 1, h - 1}, extra->Map.get(), true, 5, 5);
  }
  SelectObject(dc, oldFont);
  BitBlt(DC, Rect.left, Rect.top, w, h, dc, 0, 0, SRCCOPY);
  if (control_) PaintGraphicChildren(control_, DC);
}

// ---- TSkinProgress ---------------------------------------------------------------------------------------
bool TSkinProgress::BeforeDefault(TMessage& Message) {
  if (!TSkinControl::BeforeDefault(Message)) return false;
  TDataSkinObject* progress = data_->Element("Progress");
  if (!progress || !progress->HasImage()) return true;
  switch (Message.Msg) {
    case WM_PAINT: PaintMessage(Message); return false;
    case WM_ERASEBKGND: Message.Result = 1; return false;
    default: return true;
  }
}

void TSkinProgress::DrawFrame(HDC DC, const TRect& Rect) {
  TDataSkinObject* progress = data_->Element("Progress");
  if (!progress || !progress->HasImage()) return;
  const int w = Rect.right - Rect.left, h = Rect.bottom - Rect.top;
  if (w < 1 || h < 1) return;
  // A vertical bar is built lying down and turned at the end.
  const bool vertical = (WindowLong(GWL_STYLE) & PBS_VERTICAL) != 0;
  const int bw = vertical ? h : w, bh = vertical ? w : h;
  TBitmap bitmap;
  HDC dc = FaceBitmap(bitmap, bw, bh);
  const TRect all{0, 0, bw, bh};
  const int pos = static_cast<int>(SendMessageW(handle_, PBM_GETPOS, 0, 0));
  PBRANGE range{};
  SendMessageW(handle_, PBM_GETRANGE, 0, reinterpret_cast<LPARAM>(&range));
  TBitmap* map = progress->Map.get();
  const bool tile = progress->Tile != 0;
  if (progress->Style != 1) {
    DrawSkinImage(dc, all, map, false, tile, true, 2, 1, progress->Margins());
    if (pos > 0 && range.iHigh > 0 && range.iHigh > range.iLow) {
      const int bar = std::clamp(MulDiv(bw, pos - range.iLow, range.iHigh - range.iLow), 0, bw);
      if (bar > 0) DrawSkinImage(dc, TRect{0, 0, bar, bh}, map, false, tile, true, 2, 2, progress->Margins());
    }
  } else {
    DrawSkinImage(dc, all, map, false, tile, true, 1, 1, progress->Margins());
    // Chunks fill position / upper of the bar; an upper bound of 0 or a position below 1 draws none.
    const int bar = range.iHigh > 0 && pos > 0 ? std::clamp(MulDiv(bw, pos, range.iHigh), 0, bw) : 0;
    TDataSkinObject* chunk = data_->Element("Progress.Chunk");
    if (bar > 0 && chunk && chunk->HasImage()) {
      TBitmap* piece = chunk->Map.get();
      const int cw = piece->Width(), ch = piece->Height();
      if (chunk->Tile == 1) {
        const int x0 = chunk->LeftMargin + 2, y = (bh - ch) / 2;
        // The row of chunks stays inside the bar's width and the control.
        const int save = SaveDC(dc);
        IntersectClipRect(dc, x0, 0, std::min(x0 + bar, bw - 2), bh);
        for (int i = 0, n = bar / cw + 1; i < n; ++i)
          DrawSkinFrame(dc, TRect{x0 + i * cw, y, x0 + (i + 1) * cw, y + ch}, piece, chunk->Trans == 1, 1, 1);
        RestoreDC(dc, save);
      } else if (bh > 4) {
        TBitmap strip;
        strip.SetPixelFormat(pf24bit);
        strip.SetSize(bar, bh - 4);
        HDC sdc = strip.Canvas()->Handle();
        DrawSkinBarStretched(sdc, TRect{0, 0, bar, bh - 4}, piece, false, 1, 1, chunk->Margins());
        BitBlt(dc, 2, 2, std::min(bar, bw - 2), bh - 4, sdc, 0, 0, SRCCOPY);
      }
    }
  }
  if (vertical) {
    RotateBitmapLeft(&bitmap);
    dc = bitmap.Canvas()->Handle();
  }
  BitBlt(DC, Rect.left, Rect.top, w, h, dc, 0, 0, SRCCOPY);
}

// ---- TSkinHeader -------------------------------------------------------------------------------------------
void TSkinHeader::AttachControl(TWinSkinForm* Form, TSkinData* Data, TWinControl* Control, bool KeepColour,
                                TCanvas* Canvas) {
  TSkinControl::AttachControl(Form, Data, Control, KeepColour, Canvas);
  HotIndex = -1;
}

void TSkinHeader::AttachWindow(HWND Window, TSkinData* Data, TWinSkinForm* Form, TCanvas* Canvas) {
  TSkinControl::AttachWindow(Window, Data, Form, Canvas);
  HotIndex = -1;
}

TDataSkinObject* TSkinHeader::Bar() const {
  TDataSkinObject* bar = data_->Element("Headerbar");
  return bar && bar->HasImage() ? bar : nullptr;
}

bool TSkinHeader::BeforeDefault(TMessage& Message) {
  if (!TSkinControl::BeforeDefault(Message)) return false;
  if (!Bar()) return true;  // the header keeps its own look
  switch (Message.Msg) {
    case WM_PAINT: PaintMessage(Message); return false;
    case WM_ERASEBKGND: Message.Result = 1; return false;
    default: return true;
  }
}

void TSkinHeader::AfterDefault(TMessage& Message) {
  switch (Message.Msg) {
    case WM_MOUSEMOVE: {
      const POINT p{static_cast<int16_t>(LOWORD(Message.LParam)), static_cast<int16_t>(HIWORD(Message.LParam))};
      int hot = -1;
      for (size_t i = 0; i < ItemRects.size(); ++i) {
        const RECT r = ItemRects[i];
        if (PtInRect(&r, p)) {
          hot = static_cast<int>(i);
          break;
        }
      }
      if (hot != HotIndex) {
        HotIndex = hot;
        Repaint();
      }
      skin_user32::TrackLeave(handle_);
      return;
    }
    case WM_MOUSELEAVE:
      HotIndex = -1;
      Repaint();
      return;
    default: TSkinControl::AfterDefault(Message);
  }
}

void TSkinHeader::DrawFrame(HDC DC, const TRect& Rect) {
  TDataSkinObject* bar = Bar();
  if (!bar) return;
  const int w = Rect.right - Rect.left, h = Rect.bottom - Rect.top;
  if (w < 1 || h < 1) return;
  TBitmap bitmap;
  HDC dc = FaceBitmap(bitmap, w, h);
  HGDIOBJ oldFont = SelectObject(dc, SkinWindowFont(handle_));
  SetBkMode(dc, TRANSPARENT);
  HIMAGELIST images = reinterpret_cast<HIMAGELIST>(SendMessageW(handle_, HDM_GETIMAGELIST, 0, 0));
  const int count = std::max(0, static_cast<int>(SendMessageW(handle_, HDM_GETITEMCOUNT, 0, 0)));
  ItemRects.assign(static_cast<size_t>(count), TRect{});
  int right = 0;
  for (int i = 0; i < count; ++i) {
    RECT r{};
    if (!SendMessageW(handle_, HDM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r))) continue;
    DrawItem(dc, i, TRect{r.left, r.top, r.right, r.bottom}, images);
    ItemRects[static_cast<size_t>(i)] = TRect{r.left + 3, r.top, r.right - 3, r.bottom};
    right = std::max(right, static_cast<int>(r.right));
  }
  if (right < w) DrawSkinObject(dc, TRect{right, 0, w, h}, bar, bar->Frames(), 1);
  SelectObject(dc, oldFont);
  BitBlt(DC, Rect.left, Rect.top, w, h, dc, 0, 0, SRCCOPY);
}

void TSkinHeader::DrawItem(HDC DC, int Index, const TRect& R, HIMAGELIST Images) {
  const int w = R.right - R.left, h = R.bottom - R.top;
  if (w < 1 || h < 1) return;
  WCHAR text[201] = {};
  HDITEMW item{};
  item.mask = HDI_TEXT | HDI_FORMAT | HDI_IMAGE;
  item.pszText = text;
  item.cchTextMax = 201;
  SendMessageW(handle_, HDM_GETITEMW, static_cast<WPARAM>(Index), reinterpret_cast<LPARAM>(&item));
  TBitmap cell;
  cell.SetPixelFormat(pf24bit);
  cell.SetSize(w, h);
  HDC dc = cell.Canvas()->Handle();
  BitBlt(dc, 0, 0, w, h, DC, R.left, R.top, SRCCOPY);
  TDataSkinObject* bar = Bar();
  DrawSkinObject(dc, TRect{0, 0, w, h}, bar, bar->Frames(), Index == HotIndex ? 2 : 1);
  const WideString caption(reinterpret_cast<const char16_t*>(text));
  if (!caption.empty()) {
    HGDIOBJ oldFont = SelectObject(dc, GetCurrentObject(DC, OBJ_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc,
                 SkinColorToRGB(data_->ColourGiven(csWindowText) ? data_->Colour(csWindowText)
                                                                 : static_cast<TColor>(GetSysColor(COLOR_BTNTEXT))));
    const int image = (item.fmt & (HDF_IMAGE | HDF_OWNERDRAW)) ? item.iImage : -1;
    const int align = (item.fmt & HDF_CENTER) ? 1 : (item.fmt & HDF_RIGHT) ? 2 : 0;
    int iw = 0, ih = 0;
    if (Images) ImageList_GetIconSize(Images, &iw, &ih);
    const bool drawImage = image != -1 && Images && iw < w;
    if (!drawImage) iw = 0;
    RECT m{0, 0, w, h};
    DrawTextW(dc, reinterpret_cast<LPCWSTR>(caption.c_str()), static_cast<int>(caption.size()), &m,
              DT_END_ELLIPSIS | DT_EXPANDTABS | DT_CALCRECT | DT_NOCLIP);
    int tw = m.right - m.left;
    const int th = m.bottom - m.top;
    if (drawImage) tw += iw + 2;
    int x = align == 0 ? 3 : align == 1 ? (w - iw - tw) / 2 : w - iw - tw - 2;
    if (x < 2) x = 1;
    if (drawImage) ImageList_Draw(Images, image, dc, x, (h - iw) / 2, ILD_TRANSPARENT);
    RECT t{x + iw, (h - th) / 2, x + iw + tw, (h - th) / 2 + th};
    RECT clip{0, 0, w, h};
    IntersectRect(&t, &t, &clip);
    DrawTextW(dc, reinterpret_cast<LPCWSTR>(caption.c_str()), static_cast<int>(caption.size()), &t,
              DT_END_ELLIPSIS | DT_EXPANDTABS);
    SelectObject(dc, oldFont);
  }
  BitBlt(DC, R.left, R.top, w, h, dc, 0, 0, SRCCOPY);
}
