// Tab and page controls and track bars drawn from the skin.
#include <algorithm>

#include "framework/controls/comctrls.h"
#include "framework/controls/tabs.h"
#include "framework/controls/typinfo.h"
#include "skin/skin_controls.h"
#include "skin/skin_form.h"
#include "skin/skin_manager.h"

namespace {

constexpr UINT kCloseTabMsg = 0x3507;  // a tab's close box was pressed: wParam the tab window, lParam the tab
constexpr int kCloseTag = 7777;

TDataSkinObject* WithImage(TSkinData* Data, const char* Name) {
  TDataSkinObject* o = Data->Element(Name);
  return o && o->HasImage() ? o : nullptr;
}

}  // namespace

// ---- TSkinTabSheet ------------------------------------------------------------------------------------------
bool TSkinTabSheet::BeforeDefault(TMessage& Message) {
  if (!TSkinControl::BeforeDefault(Message)) return false;
  if (ParentMode()) return true;
  switch (Message.Msg) {
    case WM_PAINT:
    case WM_PRINTCLIENT: PaintMessage(Message); return false;
    case WM_ERASEBKGND: {
      RECT r{};
      GetClientRect(handle_, &r);
      FillRect(reinterpret_cast<HDC>(Message.WParam), &r, data_->FaceBrush());
      Message.Result = 1;
      return false;
    }
    default: return true;
  }
}

void TSkinTabSheet::AfterDefault(TMessage& Message) {
  // The sheet painted itself in parent-background mode: no face over it afterwards.
  if (Message.Msg == WM_PAINT) return;
  TSkinControl::AfterDefault(Message);
}

void TSkinTabSheet::DrawFrame(HDC DC, const TRect& Rect) {
  Fill(DC, Rect, data_->Colour(csButtonFace));
  if (control_) PaintGraphicChildren(control_, DC);
}

// ---- TSkinTab -----------------------------------------------------------------------------------------------
void TSkinTab::AttachControl(TWinSkinForm* Form, TSkinData* Data, TWinControl* Control, bool KeepColour,
                             TCanvas* Canvas) {
  if (attached_) return;
  TSkinControl::AttachControl(Form, Data, Control, KeepColour, Canvas);
  auto* pages = dynamic_cast<TPageControl*>(Control);
  close_mode_ = pages && pages->Tag() == kCloseTag && pages->TabPosition() == tpTop;
  PaintChildren = pages != nullptr;
  Prepare();
}

void TSkinTab::AttachWindow(HWND Window, TSkinData* Data, TWinSkinForm* Form, TCanvas* Canvas) {
  if (attached_) return;
  TSkinControl::AttachWindow(Window, Data, Form, Canvas);
  Prepare();
}

void TSkinTab::Prepare() {
  LoadImages();
  FindUpDown();
  painting_ = true;
  Repaint();
}

void TSkinTab::SkinChanged() {
  LoadImages();
  TSkinControl::SkinChanged();
}

void TSkinTab::LoadImages() {
  const LONG style = static_cast<LONG>(WindowLong(GWL_STYLE));
  const bool bottom = style & TCS_BOTTOM, vertical = style & TCS_VERTICAL;
  orientation_ = vertical ? (bottom ? 3 : 2) : (bottom ? 1 : 0);
  tab_.Assign(nullptr);
  pane_.Assign(nullptr);
  auto* tabs = dynamic_cast<TDataSkinBorder*>(data_->Element("Tabs"));
  if (!tabs) return;
  if (tabs->HasImage()) tab_.Assign(tabs->Map.get());
  if (tabs->Style == 0) {
    if (!tabs->Map2->Empty()) pane_.Assign(tabs->Map2.get());
  } else if (TDataSkinObject* pane = WithImage(data_, "Tab.Pane")) {
    pane_.Assign(pane->Map.get());
  }
  for (TBitmap* b : {&tab_, &pane_})
    if (!b->Empty()) b->SetPixelFormat(pf24bit);
  if (orientation_ == 1) {
    FlipBitmap(&tab_);
    FlipBitmap(&pane_);
  } else if (orientation_ == 2) {
    RotateBitmapLeft(&pane_);
  } else if (orientation_ == 3) {
    RotateBitmapRight(&pane_);
  }
}

void TSkinTab::FindUpDown() {
  if (up_down_) return;
  for (HWND c = GetWindow(handle_, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    if (LowerCase(SkinClassName(c)) != "msctls_updown32") continue;
    up_down_ = new TSkinUpDown(Owner() ? Owner() : static_cast<TComponent*>(form_));
    up_down_->AttachWindow(c, data_, form_, canvas_);
    break;
  }
}

bool TSkinTab::BeforeDefault(TMessage& Message) {
  if (!TSkinControl::BeforeDefault(Message)) return false;
  switch (Message.Msg) {
    case WM_PAINT:
      // Without a picture the control keeps painting itself.
      if (!HasPicture()) return true;
      PaintMessage(Message);
      return false;
    case WM_ERASEBKGND:
      if (!HasPicture()) return true;
      Message.Result = 1;
      return false;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {  // a second quick press on a box is a press too
      if (!close_mode_) return true;
      RECT w{};
      GetWindowRect(handle_, &w);
      POINT p{GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)};
      ClientToScreen(handle_, &p);
      p.x -= w.left;
      p.y -= w.top;
      for (size_t i = 0; i < close_boxes_.size(); ++i) {
        const TRect& b = close_boxes_[i];
        if (b.right <= b.left || p.x < b.left || p.x >= b.right || p.y < b.top || p.y >= b.bottom) continue;
        const int tab = static_cast<int>(i);
        auto* pages = dynamic_cast<TPageControl*>(control_);
        HWND self = handle_;
        if (SendMessageA(form_ ? form_->Wnd : GetParent(handle_), kCloseTabMsg, reinterpret_cast<WPARAM>(self), tab) ==
                0 &&
            pages && IsWindow(self))
          // Tabs count only the pages that show one.
          delete pages->PageForTab(tab);
        Message.Result = 0;
        return false;
      }
      return true;
    }
    default: return true;
  }
}

void TSkinTab::DrawTabContent(HDC DC, const TRect& R, const WideString& Text, int Image, HIMAGELIST Images,
                              bool Enabled) {
  const UINT flags = DT_EXPANDTABS | DT_WORDBREAK | DT_END_ELLIPSIS;
  RECT m{0, 0, R.right - R.left, R.bottom - R.top};
  const auto* text = reinterpret_cast<LPCWSTR>(Text.c_str());
  DrawTextW(DC, text, static_cast<int>(Text.size()), &m, flags | DT_CALCRECT | DT_NOCLIP);
  const int tw = m.right - m.left, th = m.bottom - m.top, width = R.right - R.left, height = R.bottom - R.top;
  int iw = 0, ih = 0;
  if (Image == -1 || !Images || !ImageList_GetIconSize(Images, &iw, &ih) || iw >= width) iw = 0;
  int x = (width - tw - iw) / 2;
  if (x < 2) x = 1;
  if (iw) ImageList_Draw(Images, Image, DC, R.left + x, R.top + (height - iw) / 2, ILD_TRANSPARENT);
  if (!Enabled) SetTextColor(DC, SkinColorToRGB(data_->Colour(csButtonShadow)));
  RECT t{R.left + x + iw, R.top + (height - th) / 2, R.right, R.top + (height - th) / 2 + th};
  IntersectRect(&t, &t, reinterpret_cast<const RECT*>(&R));
  DrawTextW(DC, text, static_cast<int>(Text.size()), &t, flags);
}

void TSkinTab::DrawFrame(HDC DC, const TRect& Rect) {
  const int W = Rect.right - Rect.left, H = Rect.bottom - Rect.top;
  if (W < 1 || H < 1) return;
  RECT disp{0, 0, W, H};
  SendMessageW(handle_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&disp));
  // TCM_ADJUSTRECT works in client co-ordinates; the drawing is in window co-ordinates.
  RECT win{};
  GetWindowRect(handle_, &win);
  POINT client{0, 0};
  ClientToScreen(handle_, &client);
  OffsetRect(&disp, client.x - win.left, client.y - win.top);
  InflateRect(&disp, 4, 4);
  switch (orientation_) {
    case 0: ++disp.top; break;
    case 1: --disp.bottom; break;
    case 2: ++disp.left; break;
    default: --disp.right; break;
  }
  const int count = static_cast<int>(SendMessageW(handle_, TCM_GETITEMCOUNT, 0, 0));
  const int focused = static_cast<int>(SendMessageW(handle_, TCM_GETCURFOCUS, 0, 0));
  auto images = reinterpret_cast<HIMAGELIST>(SendMessageW(handle_, TCM_GETIMAGELIST, 0, 0));
  close_boxes_.assign(close_mode_ ? static_cast<size_t>(std::max(count, 0)) : 0, TRect{});
  auto* tabs = dynamic_cast<TDataSkinBorder*>(data_->Element("Tabs"));
  const bool enabled = !(WindowLong(GWL_STYLE) & WS_DISABLED);
  const bool lying = orientation_ >= 2;

  if (!tab_.Empty() && tabs) {
    // The band between the window's edge and the pane, on the side of the tabs.
    const TRect band = orientation_ == 0   ? TRect{0, 0, W, std::max(0, int(disp.top))}
                       : orientation_ == 1 ? TRect{0, std::min(H, int(disp.bottom)), W, H}
                       : orientation_ == 2 ? TRect{0, 0, std::max(0, int(disp.left)), H}
                                           : TRect{std::min(W, int(disp.right)), 0, W, H};
    const int bw = band.right - band.left, bh = band.bottom - band.top;
    const int sw = lying ? bh : bw, sh = lying ? bw : bh;  // left and right strips are built lying down
    if (sw > 0 && sh > 0) {
      TBitmap strip;
      strip.SetPixelFormat(pf24bit);
      strip.SetSize(sw, sh);
      HDC dc = strip.Canvas()->Handle();
      TControl* parent = control_ ? control_->Parent() : nullptr;
      Fill(dc, TRect{0, 0, sw, sh}, parent ? parent->Color() : data_->Colour(csButtonFace));
      HGDIOBJ oldFont = SelectObject(dc, SkinWindowFont(handle_));
      const int oldMode = SetBkMode(dc, TRANSPARENT);
      TSkinMargins margins = tabs->Margins();
      if (orientation_ == 1) std::swap(margins.Top, margins.Bottom);  // the image is upside down
      for (int i = 0; i < count; ++i) {
        RECT r{};
        if (!SendMessageW(handle_, TCM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r))) continue;
        OffsetRect(&r, client.x - win.left, client.y - win.top);
        char16_t buffer[81] = {};
        WideString text;
        int image = -1;
        if (unicode_) {
          TCITEMW item{};
          item.mask = TCIF_TEXT | TCIF_IMAGE | TCIF_STATE;
          item.pszText = reinterpret_cast<LPWSTR>(buffer);
          item.cchTextMax = 80;
          SendMessageW(handle_, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
          text = buffer;
          image = item.iImage;
        } else {
          char narrow[81] = {};
          TCITEMA item{};
          item.mask = TCIF_TEXT | TCIF_IMAGE | TCIF_STATE;
          item.pszText = narrow;
          item.cchTextMax = 80;
          SendMessageA(handle_, TCM_GETITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
          text = SkinWideText(narrow);
          image = item.iImage;
        }
        // The tab in the strip's co-ordinates (lying strips: along the window's height).
        TRect t;
        switch (orientation_) {
          case 0: t = TRect{r.left, r.top + 1, r.right, r.bottom}; break;
          case 1: t = TRect{r.left, r.top - band.top, r.right, r.bottom - band.top}; break;
          case 2: t = TRect{H - r.bottom, r.left, H - r.top, r.right}; break;
          default: t = TRect{r.top, band.right - r.right, r.bottom, band.right - r.left}; break;
        }
        const bool isFocused = i == focused;
        DrawSkinImage(dc, t, &tab_, false, tabs->Tile != 0, tabs->Trans == 1, 5, isFocused ? 2 : 1, margins);
        if (close_mode_) {
          const TRect box{t.right - 8, t.top + 2, t.right - 2, t.top + 8};
          HPEN pen = CreatePen(PS_SOLID, 1, SkinColorToRGB(data_->Colour(csButtonDkShadow)));
          HGDIOBJ oldPen = SelectObject(dc, pen);
          HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(HOLLOW_BRUSH));
          Rectangle(dc, box.left, box.top, box.right, box.bottom);
          MoveToEx(dc, box.left, box.top, nullptr);
          LineTo(dc, box.right, box.bottom);
          MoveToEx(dc, box.right - 1, box.top, nullptr);
          LineTo(dc, box.left - 1, box.bottom);
          SelectObject(dc, oldBrush);
          SelectObject(dc, oldPen);
          DeleteObject(pen);
          close_boxes_[static_cast<size_t>(i)] = box;  // top tabs: the strip is at the window's origin
        }
        SetTextColor(dc, SkinColorToRGB(isFocused ? tabs->MouseOverColour2 : tabs->NormalColour2));
        DrawTabContent(dc, t, text, image, images, enabled);
      }
      SetBkMode(dc, oldMode);
      SelectObject(dc, oldFont);
      if (orientation_ == 2) RotateBitmapLeft(&strip);
      if (orientation_ == 3) RotateBitmapRight(&strip);
      const int save = SaveDC(DC);
      if (up_down_ && IsWindowVisible(up_down_->Handle())) {
        RECT u{};
        GetWindowRect(up_down_->Handle(), &u);
        OffsetRect(&u, -win.left, -win.top);
        ExcludeClipRect(DC, u.left, u.top, u.right, u.bottom);
      }
      BitBlt(DC, Rect.left + band.left, Rect.top + band.top, bw, bh, strip.Canvas()->Handle(), 0, 0, SRCCOPY);
      RestoreDC(DC, save);
    }
  }
  if (!pane_.Empty() && tabs) {
    TSkinMargins margins{4, 5, 4, 4};
    if (tabs->Style != 0)
      if (TDataSkinObject* pane = data_->Element("Tab.Pane")) margins = pane->Margins();
    const TRect d{Rect.left + disp.left, Rect.top + disp.top, Rect.left + disp.right, Rect.top + disp.bottom};
    if (d.right > d.left && d.bottom > d.top) DrawSkinImage(DC, d, &pane_, false, false, false, 1, 1, margins);
  }
  if (PaintChildren && control_) PaintGraphicChildren(control_, DC);
}

// ---- TSkinTab31 ---------------------------------------------------------------------------------------------
void TSkinTab31::AttachControl(TWinSkinForm* Form, TSkinData* Data, TWinControl* Control, bool, TCanvas* Canvas) {
  if (attached_) return;
  tab_set_ = Control;
  TSkinControl::AttachWindow(Control->Handle(), Data, Form, Canvas);
  LoadImage();
  if (Control->ComponentCount() > 0)
    if (auto* scroller = dynamic_cast<TWinControl*>(Control->Components(0)); scroller && scroller->HandleAllocated()) {
      scroller_ = scroller;
      up_down_ = new TSkinUpDown(this);
      up_down_->Horizontal = true;
      up_down_->AttachWindow(scroller->Handle(), Data, Form, Canvas);
    }
}

void TSkinTab31::LoadImage() {
  tab_.Assign(nullptr);
  TDataSkinObject* tabs = WithImage(data_, "Tabs");
  if (!tabs) return;
  tab_.Assign(tabs->Map.get());
  tab_.SetPixelFormat(pf24bit);
  FlipBitmap(&tab_);
}

void TSkinTab31::SkinChanged() {
  LoadImage();
  TSkinControl::SkinChanged();
}

bool TSkinTab31::BeforeDefault(TMessage& Message) {
  if (!TSkinControl::BeforeDefault(Message)) return false;
  // The set paints itself first; the skin goes over it after (the base's after-paint step).
  if (Message.Msg == WM_ERASEBKGND && !tab_.Empty()) {
    Message.Result = 1;
    return false;
  }
  return true;
}

void TSkinTab31::DrawFrame(HDC DC, const TRect& Rect) {
  auto* tabs = dynamic_cast<TDataSkinBorder*>(data_->Element("Tabs"));
  const int W = Rect.right - Rect.left, H = Rect.bottom - Rect.top;
  if (tab_.Empty() || !tabs || !tab_set_ || W < 1 || H < 1) return;
  TBitmap buffer;
  HDC dc = FaceBitmap(buffer, W, H);
  HGDIOBJ oldFont = SelectObject(dc, tab_set_->Font()->Handle());
  const int oldMode = SetBkMode(dc, TRANSPARENT);
  TSkinMargins margins = tabs->Margins();
  std::swap(margins.Top, margins.Bottom);  // the image is upside down
  auto* names = dynamic_cast<TStrings*>(GetObjectProp(tab_set_, "Tabs"));
  const int selected = PropInt(tab_set_, "TabIndex");
  const int room = W - std::max(0, PropInt(tab_set_, "EndMargin"));
  const bool scrolling = scroller_ && scroller_->HandleAllocated() && IsWindowVisible(scroller_->Handle());
  int x = std::max(0, PropInt(tab_set_, "StartMargin"));
  for (int i = std::max(0, PropInt(tab_set_, "FirstIndex")); names && i < names->Count(); ++i) {
    const WideString text = SkinWideText(names->Strings(i));
    SIZE extent{};
    GetTextExtentPoint32W(dc, reinterpret_cast<LPCWSTR>(text.c_str()), static_cast<int>(text.size()), &extent);
    const int w = extent.cx;
    if (x + w + (scrolling ? 21 : 9) <= room) {
      const TRect cell{x, 0, x + w + 9, H};
      const bool isSelected = i == selected;
      DrawSkinImage(dc, cell, &tab_, false, tabs->Tile != 0, tabs->Trans == 1, 5, isSelected ? 2 : 1, margins);
      SetTextColor(dc, SkinColorToRGB(isSelected ? tabs->MouseOverColour2 : tabs->NormalColour2));
      DrawCellText(dc, cell, text, DT_CENTER, tab_set_->Enabled(), data_->Colour(csButtonShadow));
    }
    x += w + 9;
  }
  SetBkMode(dc, oldMode);
  SelectObject(dc, oldFont);
  BitBlt(DC, Rect.left, Rect.top, W, H, dc, 0, 0, SRCCOPY);
}

// ---- TSkinTrackBar ------------------------------------------------------------------------------------------
bool TSkinTrackBar::BeforeDefault(TMessage& Message) {
  if (!TSkinControl::BeforeDefault(Message)) return false;
  // The engine's own "done" notification shares the reflected-notify number.
  const bool notify = Message.Msg == WM_NOTIFY || (Message.Msg == CN_NOTIFY && Message.LParam != kSkinSignature);
  if (!notify || !Message.LParam) return true;
  const auto* hdr = reinterpret_cast<const NMHDR*>(Message.LParam);
  if (hdr->code != static_cast<UINT>(NM_CUSTOMDRAW) || hdr->hwndFrom != handle_) return true;
  const auto* cd = reinterpret_cast<const NMCUSTOMDRAW*>(Message.LParam);
  Message.Result = CDRF_DODEFAULT;
  if (cd->dwDrawStage == CDDS_PREPAINT) {
    Message.Result = CDRF_NOTIFYITEMDRAW;
  } else if (cd->dwDrawStage == CDDS_ITEMPREPAINT && cd->dwItemSpec == TBCD_THUMB) {
    DrawThumb(cd->hdc);
    Message.Result = CDRF_SKIPDEFAULT;
  } else if (cd->dwDrawStage == CDDS_ITEMPREPAINT && cd->dwItemSpec == TBCD_CHANNEL) {
    DrawChannel(cd->hdc);
    Message.Result = CDRF_SKIPDEFAULT;
  }
  return false;
}

void TSkinTrackBar::SkinChanged() { Repaint(); }

void TSkinTrackBar::DrawChannel(HDC DC) {
  RECT c{};
  SendMessageW(handle_, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&c));
  const int cw = c.right - c.left, ch = c.bottom - c.top;
  if (cw <= 0 || ch <= 0) return;
  const int old = SetStretchBltMode(DC, COLORONCOLOR);
  TDataSkinObject* vert = WithImage(data_, "TRACKVERT");
  if ((WindowLong(GWL_STYLE) & TBS_VERT) && vert) {
    // Three slices down the channel: the top rows, the middle stretched, the bottom rows.
    HDC src = vert->Map->Canvas()->Handle();
    const int iw = vert->Map->Width(), ih = vert->Map->Height();
    const int top = std::min(vert->TopMargin, ih), bottom = std::min(vert->BottomMargin, ih - top);
    const int x = iw < cw ? c.left + (cw - iw) / 2 : c.left;
    StretchBlt(DC, x, c.top, iw, top, src, 0, 0, iw, top, SRCCOPY);
    StretchBlt(DC, x, c.top + top, iw, ch - top - bottom, src, 0, top, iw, ih - top - bottom, SRCCOPY);
    StretchBlt(DC, x, c.bottom - bottom, iw, bottom, src, 0, ih - bottom, iw, bottom, SRCCOPY);
  } else if (TDataSkinObject* track = WithImage(data_, "Track")) {
    HDC src = track->Map->Canvas()->Handle();
    const int iw = track->Map->Width(), ih = track->Map->Height();
    const int left = std::min(track->LeftMargin, iw), right = std::min(track->RightMargin, iw - left);
    const int y = ih < ch ? c.top + ch / 2 : c.top;
    StretchBlt(DC, c.left, y, left, ih, src, 0, 0, left, ih, SRCCOPY);
    StretchBlt(DC, c.left + left, y, cw - left - right, ih, src, left, 0, iw - left - right, ih, SRCCOPY);
    StretchBlt(DC, c.right - right, y, right, ih, src, iw - right, 0, right, ih, SRCCOPY);
  }
  SetStretchBltMode(DC, old);
}

void TSkinTrackBar::DrawThumb(HDC DC) {
  RECT t{};
  SendMessageW(handle_, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&t));
  TDataSkinObject* thumb = nullptr;
  if (WindowLong(GWL_STYLE) & TBS_VERT) thumb = WithImage(data_, "Trackbar.ThumbVert");
  if (!thumb) thumb = WithImage(data_, "Trackbar.ThumbHorz");
  if (thumb) {
    DrawSkinFrame(DC, TRect{t.left, t.top, t.right, t.bottom}, thumb->Map.get(), true, 5, 2);
    return;
  }
  Fill(DC, TRect{t.left, t.top, t.right, t.bottom}, data_->Colour(csButtonShadow));
}
