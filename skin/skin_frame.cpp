// Frame painting of a skinned window: the borders, the caption row with its title and
// caption buttons, and the menu row.
#include <algorithm>

#include "skin/skin_form.h"
#include "skin/skin_manager.h"

void TWinSkinForm::PaintBorder(int Index, const TRect& Rect, HDC DC) {
  if (Rect.right < 0 || Rect.bottom < 0) return;
  TDataSkinBorder* e = SkinData->Border(Index - 1);
  if (!e->HasImage()) return;
  const int frame = WindowActive || e->Frames() == 1 ? 1 : 2;
  const bool vertical = Index == 3 || Index == 4;
  auto image = RenderSkinImage(TRect{0, 0, Rect.right - Rect.left, Rect.bottom - Rect.top}, e->Map.get(), e->Margins(),
                               vertical, e->Tile == 1, e->Frames(), std::min(frame, e->Frames()));
  if (!image->Empty())
    BitBlt(DC, Rect.left, Rect.top, image->Width(), image->Height(), image->Canvas()->Handle(), 0, 0, SRCCOPY);
}

void TWinSkinForm::PaintFrame(HDC DC) {
  if ((Phase != phRunning && Phase != phReskinning) || FrameKind == 2 || (MDIKind == 2 && ShowState == 1)) return;
  HDC dc = DC ? DC : GetWindowDC(Wnd);
  if (!dc) return;
  RECT wr{};
  GetWindowRect(Wnd, &wr);
  WindowRect = TRect{wr.left, wr.top, wr.right, wr.bottom};
  WindowWidth = wr.right - wr.left;
  WindowHeight = wr.bottom - wr.top;
  const int w = WindowWidth, h = WindowHeight;
  try {
    if (ShowState == 2) {
      PaintCaption(dc);
    } else {
      PaintBorder(1, TRect{0, 0, LeftWidth, h}, dc);
      PaintBorder(2, TRect{w - RightWidth, 0, w, h}, dc);
      PaintBorder(4, TRect{LeftWidth, h - BottomHeight, w - RightWidth, h}, dc);
      PaintCaption(dc);
      const TRect row{LeftWidth, TopHeight, w - RightWidth, TopHeight + MenuHeight};
      if (SkinMenu) {
        SkinMenu->PaintBar(dc, row);
      } else if (MenuHeight > 0) {
        RECT r = row;
        FillRect(dc, &r, SkinData->FaceBrush());
      }
    }
  } catch (const Exception&) {
  }
  HotObject = nullptr;
  for (auto& b : SysButtons) b->State = TNCObject::kNormal;
  if (SkinMenu)
    for (auto& i : SkinMenu->Items) i->State = TNCObject::kNormal;
  if (!DC) ReleaseDC(Wnd, dc);
}

bool TWinSkinForm::IsButtonVisible(TWinSysButton& Button) {
  TDataSkinSysButton* e = Button.Element;
  const bool maxBox = CaptionCaps & 1, minBox = CaptionCaps & 2, help = CaptionCaps & 4, sys = CaptionCaps & 8;
  auto test = [&](int code, bool first) -> bool {
    switch (code) {
      case 0: return true;
      case 1: return ShowState == 1;
      case 2: return ShowState != 1;
      case 3: return WindowActive;
      case 4: return !WindowActive;
      case 6:
      case 8: return first ? (minBox || maxBox) && sys : (minBox || maxBox);
      case 7: return !maxBox;
      case 9: return !minBox;
      case 10: return first ? help && !minBox && !maxBox : help;
      case 100: return MDIKind == 1 && SkinMenu && ActiveChildMaximized();
      case 200: return FrameKind == 3 && !IsDialog;
      default:
        if (code >= 201 && code <= 999) return true;
        if (code >= 1000 && code <= 2000)
          return first ? SendMessageA(Wnd, kVisibilityMsg, static_cast<WPARAM>(code), e->Action) > 0 : true;
        return false;
    }
  };
  bool shown = test(e->Visibility, true) && test(e->Visibility1, false);
  switch (e->Action) {
    case 0:
      if (!sys) shown = false;
      break;
    case 1: Button.Enabled = maxBox && sys; break;
    case 2: Button.Enabled = minBox && sys; break;
    case 3:
    case 11:
    case 12:
      if (FrameKind == 3) shown = false;
      break;
    default: break;
  }
  Button.Visible = shown;
  return shown;
}

void TWinSkinForm::LayoutButtons() {
  for (auto& b : SysButtons) {
    TDataSkinSysButton* e = b->Element;
    if (!IsButtonVisible(*b) || !e->HasImage()) continue;
    const int w = e->Map->Width() / e->Frames(), h = e->Map->Height();
    int x = 0, y = 0;
    switch (e->Align) {
      case 0:
        x = e->Xcoord;
        y = e->Ycoord;
        break;
      case 1:
        x = WindowWidth - e->Xcoord;
        y = e->Ycoord;
        break;
      case 2:
      case 8:
        x = TitleRect.left - w - e->Xcoord;
        y = e->Ycoord;
        break;
      case 3:
      case 9:
        x = TitleRect.right + e->Xcoord;
        y = e->Ycoord;
        break;
      case 100: {
        TDataSkinObject* bar = SkinData->Element("MenuBar");
        x = WindowWidth - e->Xcoord - RightWidth - (bar ? bar->LeftMargin : 0);
        y = TopHeight + (MenuHeight - h) / 2;
        break;
      }
      default: break;
    }
    b->Rect = TRect{x, y, x + w, y + h};
  }
}

void TWinSkinForm::PaintCaption(HDC DC) {
  TRect caption;
  if (ShowState == 2) {
    CaptionBitmap.SetSize(std::max(1, WindowWidth), std::max(1, WindowHeight));
    RECT all{0, 0, WindowWidth, WindowHeight};
    FillRect(CaptionBitmap.Canvas()->Handle(), &all, SkinData->FaceBrush());
    caption = TRect{0, 0, WindowWidth, TopHeight};
  } else {
    CaptionBitmap.SetSize(std::max(1, WindowWidth), std::max(1, TopHeight));
    BitBlt(CaptionBitmap.Canvas()->Handle(), 0, 0, WindowWidth, TopHeight, DC, 0, 0, SRCCOPY);
    caption = TRect{LeftWidth, 0, WindowWidth - RightWidth, TopHeight};
  }
  HDC dc = CaptionBitmap.Canvas()->Handle();
  PaintBorder(3, caption, dc);
  PaintTitle(dc, caption);
  LayoutButtons();
  for (auto& b : SysButtons) {
    TDataSkinSysButton* e = b->Element;
    if (!b->Visible || !e->HasImage() || e->Visibility == 100) continue;
    if (e->Action == 3 || e->Action == 11) {
      DrawIcon(dc, b->Rect);
      continue;
    }
    const int frame = e->Frames() < 4 || (WindowActive && b->Enabled) ? 1 : 4;
    DrawSkinImage(dc, b->Rect, e->Map.get(), false, false, true, e->Frames(), std::min(frame, e->Frames()),
                  TSkinMargins{});
  }
  BitBlt(DC, 0, 0, CaptionBitmap.Width(), CaptionBitmap.Height(), dc, 0, 0, SRCCOPY);
  SetBkMode(DC, OPAQUE);
}

void TWinSkinForm::PaintTitle(HDC DC, const TRect& R) {
  TDataSkinTitle* t = SkinData->Title();
  const WideString text = CaptionPrefix + WindowTextW() + CaptionSuffix;
  RightButtonsWidth = 0;
  for (auto& b : SysButtons)
    if (b->Visible && b->Element->Align == 1 && b->Element->HasImage())
      RightButtonsWidth = std::max(RightButtonsWidth, b->Element->Xcoord);
  HGDIOBJ old = SelectObject(DC, CaptionFont.Handle());
  SetBkMode(DC, TRANSPARENT);
  SetTextColor(DC, SkinColorToRGB(SkinData->Colour(WindowActive ? csTitleTextActive : csTitleTextNoActive)));
  RECT m{R.left, R.top, R.left, R.top};
  DrawTextW(DC, text.c_str(), static_cast<int>(text.size()), &m, DT_CALCRECT | DT_NOPREFIX | DT_NOCLIP);
  const int tw = m.right - m.left, th = m.bottom - m.top;
  const int W = R.right - R.left, L = R.left, A = t->TXTBackleft + t->TXTBackRight + L + tw;
  int c = 0;
  if (!RightToLeft) {
    c = t->TextAlignment == 0 ? t->LeftMargin : t->TextAlignment == 1 ? (W + L - A) / 2 : W + L - t->RightMargin - A;
  } else {
    c = t->TextAlignment == 0   ? W + L - RightButtonsWidth - A
        : t->TextAlignment == 1 ? (W + L - RightButtonsWidth - A) / 2
                                : t->LeftMargin;
  }
  const int dy = (R.bottom - R.top - th) / 2 + t->TopMargin / 2;
  TRect T{L + c, R.top + dy, A + c, R.top + th + dy};
  if (RightToLeft && c < 1) T.left = t->LeftMargin;
  if (Style & WS_POPUP) {
    if (RightToLeft) {
      T.left += 10;
      T.right += 10;
    } else if (RightButtonsWidth > 5)
      T.right = std::min<int>(T.right, R.right - RightButtonsWidth - 5);
  } else {
    if (RightToLeft) {
      T.left += 10;
      T.right += 10;
    } else
      T.right = std::min<int>(T.right, R.right - t->RightMargin);
  }
  if (FrameKind == 3 && t->TextAlignment == 0) T.left -= 16;
  TitleRect = T;
  if (t->HasImage()) {
    TSkinMargins margins{t->TXTBackleft, 0, t->TXTBackRight, 0};
    DrawSkinImage(DC, TRect{T.left, R.top, T.right, R.bottom}, t->Map.get(), false, false, true, 2,
                  WindowActive ? 1 : 2, margins);
  }
  RECT d{T.left + t->TXTBackleft, T.top, T.right - t->TXTBackRight, T.bottom};
  UINT flags = DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS;
  if (RightToLeft) flags |= DT_RIGHT | DT_RTLREADING;
  DrawTextW(DC, text.c_str(), static_cast<int>(text.size()), &d, flags);
  SelectObject(DC, old);
}
