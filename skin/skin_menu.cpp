// The skinned menu bar: the window's menu read into a row of items painted in the
// non-client area, each opening its drop-down with TrackPopupMenu.
#include <algorithm>

#include "framework/controls/menus.h"
#include "platform/base/module.h"
#include "platform/base/sync.h"
#include "skin/skin_form.h"
#include "skin/skin_manager.h"

namespace {

HFONT MenuFont() {
  NONCLIENTMETRICSA ncm{};
  ncm.cbSize = sizeof ncm;
  SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0);
  return CreateFontIndirectA(&ncm.lfMenuFont);
}

int CaptionWidth(HDC dc, const WideString& caption) {
  RECT r{0, 0, 0, 0};
  DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &r,
            DT_SINGLELINE | DT_EXPANDTABS | DT_CALCRECT | DT_NOCLIP);
  const int w = r.right - r.left;
  return w > 0 ? w + 10 : w;
}

// The menu filter hook's state: one drop-down at a time.
HHOOK gMenuHook = nullptr;
bool gFirstKeySent = false;
bool gSwitching = false;
int gCurrentIndex = -1;
TWinSkinForm* gCurrentSkinner = nullptr;

LRESULT MenuFilterHook(int Code, WPARAM wParam, LPARAM lParam) {
  LRESULT r = CallNextHookEx(gMenuHook, Code, wParam, lParam);
  if (r != 0 || Code != MSGF_MENU || !gCurrentSkinner) return r;
  auto* msg = reinterpret_cast<MSG*>(lParam);
  TWinSkinForm* s = gCurrentSkinner;
  if (!gFirstKeySent) {
    PostMessageA(msg->hwnd, WM_KEYDOWN, VK_DOWN, 0);
    gFirstKeySent = true;
  }
  TMenuBtn* found = nullptr;
  const int count = s->SkinMenu ? static_cast<int>(s->SkinMenu->Items.size()) : 0;
  switch (msg->message) {
    case WM_KEYDOWN:
      if (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE)
        gSwitching = false;
      else if (count > 0 && msg->wParam == VK_LEFT)
        found = s->SkinMenu->Items[static_cast<size_t>((gCurrentIndex + count - 1) % count)].get();
      else if (count > 0 && msg->wParam == VK_RIGHT)
        found = s->SkinMenu->Items[static_cast<size_t>((gCurrentIndex + 1) % count)].get();
      break;
    case WM_SYSKEYDOWN:
      if (msg->wParam == VK_MENU) s->MenuTracking = false;
      return r;
    case WM_MENUSELECT:
      if (HIWORD(msg->wParam) == 0xFFFF && msg->lParam == 0) {
        if (!gSwitching) s->MenuTracking = false;
        return r;
      }
      gSwitching = false;
      break;
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE: {
      POINT p{GET_X_LPARAM(msg->lParam), GET_Y_LPARAM(msg->lParam)};
      if (msg->message == WM_MOUSEMOVE) ClientToScreen(msg->hwnd, &p);
      if (s->SkinMenu) found = s->SkinMenu->ItemAt(s->WindowPoint(p));
      break;
    }
    default: break;
  }
  if (found && found->Index != gCurrentIndex) {
    gSwitching = true;
    s->SkinMenu->OpenByPost(found);
  }
  return r;
}

}  // namespace

void TMenuBtn::Paint() {
  TWinSkinMenu* bar = Owner->SkinMenu.get();
  if (!bar) return;
  HDC dc = GetWindowDC(Owner->Wnd);
  if (!dc) return;
  const TRect& row = bar->BarRect;
  if (!bar->Background.Empty())
    BitBlt(dc, Rect.left, Rect.top, Rect.right - Rect.left, Rect.bottom - Rect.top, bar->Background.Canvas()->Handle(),
           Rect.left - row.left, Rect.top - row.top, SRCCOPY);
  TSkinData* data = bar->SkinData;
  if (State == kPressed || State == kHot) {
    HBRUSH b = CreateSolidBrush(SkinColorToRGB(data->Colour(csButtonHilight)));
    RECT r = Rect;
    FrameRect(dc, &r, b);
    DeleteObject(b);
  }
  HFONT font = MenuFont();
  HGDIOBJ old = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, SkinColorToRGB(ItemEnabled ? data->Colour(csMenuBarText) : data->Colour(csButtonShadow)));
  RECT r = Rect;
  DrawTextW(dc, Caption.c_str(), static_cast<int>(Caption.size()), &r,
            DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_EXPANDTABS);
  SelectObject(dc, old);
  DeleteObject(font);
  ReleaseDC(Owner->Wnd, dc);
}

TWinSkinMenu::TWinSkinMenu(TWinSkinForm* AOwner, TSkinData* Data) : SkinData(Data), Owner(AOwner) {}

void TWinSkinMenu::ReadItems() {
  if (HMENU m = GetMenu(Owner->Wnd)) MenuHandle = m;
  if (!MenuHandle) return;
  if (Owner->Form) {
    if (!Owner->Form->Menu()) return;
    FrameworkMenu = Owner->Form->Menu();
  }
  Items.clear();
  ItemCount = GetMenuItemCount(MenuHandle);
  if (ItemCount <= 0) return;
  for (int i = 0; i < ItemCount; ++i) {
    char text[81] = {};
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_TYPE;
    info.dwTypeData = text;
    info.cch = 80;
    if (!GetMenuItemInfoA(MenuHandle, static_cast<UINT>(i), TRUE, &info)) continue;
    auto b = std::make_unique<TMenuBtn>(Owner);
    b->Index = static_cast<int>(Items.size());
    b->Submenu = info.hSubMenu;
    b->ItemEnabled = (info.fState & 3) == 0;
    b->Command = info.wID;
    AnsiString a = text;
    b->Caption = WideString(a.begin(), a.end());
    if (FrameworkMenu)
      if (TMenuItem* item = FrameworkMenu->FindItem(static_cast<WORD>(info.wID)); item && info.wID) {
        b->Caption = WideString(item->Caption().begin(), item->Caption().end());
        b->ItemEnabled = item->Enabled();
        b->MenuItem = item;
      }
    Items.push_back(std::move(b));
  }
  SetMenu(Owner->Wnd, nullptr);
}

void TWinSkinMenu::RefreshItems() {
  ReadItems();
  LayoutBar();
}

int TWinSkinMenu::Margin(int RowWidth) const {
  TDataSkinObject* e = SkinData->Element("MenuBar");
  if (!e) return 6;
  int m = Owner->RightToLeft ? e->RightMargin + 8 : e->LeftMargin + 4;
  if (RowWidth < m) m = 12;
  return m;
}

// Where the first item starts in a row of RowWidth: the margin from the left, or from the
// right for a right-to-left menu, which in an MDI frame with a maximised child also keeps
// clear of the child's buttons in the row.
int TWinSkinMenu::StartX(int RowWidth, int Margin) {
  if (!Owner->RightToLeft) return Margin;
  int x = RowWidth - Margin;
  if (Owner->ActiveChildMaximized())
    for (auto& b : Owner->SysButtons)
      if (b->Element->Visibility == 100 && b->Element->HasImage())
        x = std::min(x, b->Rect.left - Owner->LeftWidth - 5);
  return x;
}

void TWinSkinMenu::PaintBar(HDC DC, const TRect& Row) {
  const int w = Row.right - Row.left, h = Row.bottom - Row.top;
  if (w <= 0 || h <= 0) return;
  TBitmap bar;
  bar.SetSize(w, h);
  HDC dc = bar.Canvas()->Handle();
  TDataSkinObject* e = SkinData->Element("MenuBar");
  int m = 6;
  if (e && e->HasImage()) {
    auto image = RenderSkinImage(TRect{0, 0, w, h}, e->Map.get(), e->Margins(), false, e->Tile == 1, 2,
                                 Owner->WindowActive ? 1 : 2);
    BitBlt(dc, 0, 0, w, h, image->Canvas()->Handle(), 0, 0, SRCCOPY);
    m = Margin(w);
  } else {
    HBRUSH b = CreateSolidBrush(SkinColorToRGB(SkinData->Colour(csMenubar)));
    RECT r{0, 0, w, h};
    FillRect(dc, &r, b);
    DeleteObject(b);
  }
  BarRect = Row;
  Background.Assign(&bar);
  HFONT font = MenuFont();
  HGDIOBJ old = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  Painting = true;
  int x = StartX(w, m);
  for (auto& item : Items) {
    if (!item->Visible) {
      item->Rect = TRect{};
      continue;
    }
    const int iw = CaptionWidth(dc, item->Caption);
    RECT r = Owner->RightToLeft ? RECT{x - iw, 0, x, h - 1} : RECT{x, 0, x + iw, h - 1};
    SetTextColor(dc,
                 SkinColorToRGB(item->ItemEnabled ? SkinData->Colour(csMenuBarText) : static_cast<TColor>(0xFF000010)));
    DrawTextW(dc, item->Caption.c_str(), static_cast<int>(item->Caption.size()), &r,
              DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_EXPANDTABS);
    item->Rect = TRect{r.left + Row.left, r.top + Row.top, r.right + Row.left, r.bottom + Row.top};
    x += Owner->RightToLeft ? -iw : iw;
  }
  Painting = false;
  // The buttons of a maximised MDI child sit in the frame's menu row.
  if (Owner->ActiveChildMaximized()) {
    for (auto& b : Owner->SysButtons) {
      TDataSkinSysButton* e = b->Element;
      if (e->Visibility != 100 || !e->HasImage()) continue;
      const TRect at{b->Rect.left - Owner->LeftWidth, b->Rect.top - Owner->TopHeight, b->Rect.right - Owner->LeftWidth,
                     b->Rect.bottom - Owner->TopHeight};
      DrawSkinImage(dc, at, e->Map.get(), false, false, true, e->Frames(), 1, TSkinMargins{});
    }
    if (TSkinManage::Exists()) TSkinManage::Instance()->SetMaxChildMode(true);
  }
  SelectObject(dc, old);
  DeleteObject(font);
  BitBlt(DC, Row.left, Row.top, w, h, dc, 0, 0, SRCCOPY);
}

void TWinSkinMenu::LayoutBar() {
  const TRect row{Owner->LeftWidth, Owner->TopHeight, Owner->WindowWidth - Owner->RightWidth,
                  Owner->TopHeight + Owner->MenuHeight};
  if (row.right <= row.left || row.bottom <= row.top) return;
  const int m = Margin(row.right - row.left);
  HDC dc = GetWindowDC(Owner->Wnd);
  HFONT font = MenuFont();
  HGDIOBJ old = SelectObject(dc, font);
  int x = StartX(row.right - row.left, m);
  for (auto& item : Items) {
    if (!item->Visible) {
      item->Rect = TRect{};
      continue;
    }
    const int iw = CaptionWidth(dc, item->Caption);
    if (Owner->RightToLeft) {
      item->Rect = TRect{row.left + x - iw, row.top, row.left + x, row.bottom - 1};
      x -= iw;
    } else {
      item->Rect = TRect{row.left + x, row.top, row.left + x + iw, row.bottom - 1};
      x += iw;
    }
  }
  SelectObject(dc, old);
  DeleteObject(font);
  ReleaseDC(Owner->Wnd, dc);
}

TMenuBtn* TWinSkinMenu::ItemAt(POINT Point) {
  for (auto& item : Items) {
    RECT r = item->Rect;
    if (!item->Caption.empty() && PtInRect(&r, Point)) return item.get();
  }
  return nullptr;
}

TMenuBtn* TWinSkinMenu::FindAccelItem(WCHAR Ch) {
  const WCHAR lower = Ch < 128 ? static_cast<WCHAR>(std::tolower(Ch)) : Ch;
  for (auto& item : Items) {
    if (!item->Visible || !item->ItemEnabled) continue;
    const size_t amp = item->Caption.find(u'&');
    if (amp == WideString::npos || amp + 1 >= item->Caption.size()) continue;
    WCHAR c = item->Caption[amp + 1];
    if (c < 128) c = static_cast<WCHAR>(std::tolower(c));
    if (c == lower) return item.get();
  }
  return nullptr;
}

void TWinSkinMenu::OpenByPost(TMenuBtn* Item) {
  RECT wr{};
  GetWindowRect(Owner->Wnd, &wr);
  const int x = wr.left + Item->Rect.left + 1, y = wr.top + Item->Rect.top + 1;
  PostMessageA(Owner->Wnd, WM_NCLBUTTONDOWN, HTCLIENT, MAKELPARAM(x, y));
}

bool TWinSkinForm::OpenDropDown(TMenuBtn* Item) {
  gSwitching = false;
  if (!Item) return false;
  PostMessageA(Wnd, WM_COMMAND, Item->Command, 0);
  if (!Item->Submenu) return false;
  gCurrentIndex = Item->Index;
  gCurrentSkinner = this;
  RECT wr{};
  GetWindowRect(Wnd, &wr);
  WindowRect = TRect{wr.left, wr.top, wr.right, wr.bottom};
  // Every item of the drop-down, at every depth, is owner-drawn from the skin.
  std::vector<HMENU> pending{Item->Submenu};
  while (!pending.empty()) {
    HMENU m = pending.back();
    pending.pop_back();
    for (int i = 0, n = GetMenuItemCount(m); i < n; ++i) {
      MENUITEMINFOA info{};
      info.cbSize = sizeof info;
      info.fMask = MIIM_STATE | MIIM_SUBMENU | MIIM_FTYPE;
      if (!GetMenuItemInfoA(m, static_cast<UINT>(i), TRUE, &info)) continue;
      if (info.hSubMenu) pending.push_back(info.hSubMenu);
      info.fMask = MIIM_FTYPE;
      info.fType |= MFT_OWNERDRAW;
      SetMenuItemInfoA(m, static_cast<UINT>(i), TRUE, &info);
    }
  }
  MenuTracking = true;
  const int x = (RightToLeft ? Item->Rect.right : Item->Rect.left) + wr.left;
  const int y = Item->Rect.bottom + wr.top;
  if (TSkinManage* m = TSkinManage::Exists() ? TSkinManage::Instance() : nullptr) {
    m->SetMenuMode(1);
    m->SetMenuBarTracking(true);
  }
  TrackedPopup = Item->Submenu;
  gFirstKeySent = false;
  if (!gMenuHook) gMenuHook = SetWindowsHookExA(WH_MSGFILTER, &MenuFilterHook, nullptr, GetCurrentThreadId());
  if (Item->ItemEnabled) TrackPopupMenu(Item->Submenu, RightToLeft ? 0x8A : 0x82, x, y, 0, Wnd, nullptr);
  if (gMenuHook) UnhookWindowsHookEx(gMenuHook);
  gMenuHook = nullptr;
  gCurrentIndex = -1;
  gFirstKeySent = false;
  gCurrentSkinner = nullptr;
  MenuTracking = false;
  TrackedPopup = nullptr;
  if (Item->State != TNCObject::kNormal) Item->MouseLeave();
  return true;
}
