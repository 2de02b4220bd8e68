#include "skin/skin_popup.h"

#include <map>

#include "skin/skin_data.h"
#include "skin/skin_manager.h"

namespace {
// The skinners of the popup windows, by window (the procedure's route to its object).
std::map<HWND, TWinSkinPopMenu*>& Popups() {
  static std::map<HWND, TWinSkinPopMenu*> p;
  return p;
}
}  // namespace

TWinSkinPopMenu::TWinSkinPopMenu() : frame_(std::make_unique<TBitmap>()) {}

TWinSkinPopMenu::~TWinSkinPopMenu() { Detach(); }

void TWinSkinPopMenu::Attach(HWND Window, TSkinData* Data, HMENU Menu) {
  window_ = Window;
  data_ = Data;
  menu_ = Menu;
  Popups()[Window] = this;
  old_proc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(Window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TWinSkinPopMenu::Proc)));
  OpenedFromMenuBar = false;
}

void TWinSkinPopMenu::Detach() {
  if (!old_proc_) return;
  if (region_) DeleteObject(region_);
  region_ = nullptr;
  if (IsWindow(window_)) SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old_proc_));
  old_proc_ = nullptr;
  Popups().erase(window_);
  frame_->SetSize(0, 0);
}

LRESULT TWinSkinPopMenu::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto it = Popups().find(hwnd);
  if (it == Popups().end()) return DefWindowProcA(hwnd, msg, wp, lp);
  return it->second->WndProc(msg, wp, lp);
}

LRESULT TWinSkinPopMenu::Default(UINT msg, WPARAM wp, LPARAM lp) {
  return CallWindowProcA(old_proc_, window_, msg, wp, lp);
}

bool TWinSkinPopMenu::CanPaint() const {
  if (!data_ || !data_->SkinLoaded()) return false;
  TDataSkinObject* e = data_->Element("MenuBackground");
  return e && e->HasImage();
}

LRESULT TWinSkinPopMenu::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kSkinnedQueryMsg) return 1;
  if (!TSkinManage::Exists() || !TSkinManage::Instance()->Enabled()) return Default(msg, wp, lp);
  switch (msg) {
    case WM_DESTROY: {
      WNDPROC old = old_proc_;
      HWND w = window_;
      Detach();
      return CallWindowProcA(old, w, msg, wp, lp);
    }
    case WM_ERASEBKGND:
      if (SkinIsNT()) {
        if (!data_->Options.Contains(xoMenuBG)) Default(msg, wp, lp);
        return 1;
      }
      return 0;
    case WM_NCPAINT:
      if (!CanPaint()) return Default(msg, wp, lp);
      PaintFrame(wp);
      return 0;
    case WM_PRINT:
      if (!CanPaint()) return Default(msg, wp, lp);
      return PrintFrame(wp, lp);
    default: return Default(msg, wp, lp);
  }
}

void TWinSkinPopMenu::ComposeFrame() {
  RECT wr{};
  GetWindowRect(window_, &wr);
  TDataSkinObject* e = data_->Element("MenuBackground");
  frame_ = RenderSkinImage(TRect{0, 0, wr.right - wr.left, wr.bottom - wr.top}, e->Map.get(), e->Margins(), false,
                           e->Tile != 0, 1, 1);
}

void TWinSkinPopMenu::PaintFrame(WPARAM wp) {
  // A window DC when wParam is 1 (the whole frame) or GetDCEx gives none.
  HDC dc = nullptr;
  if (wp != 1) dc = GetDCEx(window_, reinterpret_cast<HRGN>(wp), DCX_WINDOW | DCX_INTERSECTRGN | DCX_USESTYLE);
  if (!dc) dc = GetWindowDC(window_);
  if (!dc) return;
  ComposeFrame();
  BitBlt(dc, 0, 0, frame_->Width(), frame_->Height(), frame_->Canvas()->Handle(), 0, 0, SRCCOPY);
  ReleaseDC(window_, dc);
}

LRESULT TWinSkinPopMenu::PrintFrame(WPARAM wp, LPARAM lp) {
  HDC dc = reinterpret_cast<HDC>(wp);
  ComposeFrame();
  BitBlt(dc, 0, 0, frame_->Width(), frame_->Height(), frame_->Canvas()->Handle(), 0, 0, SRCCOPY);
  HRGN inner = CreateRectRgn(3, 3, frame_->Width() - 3, frame_->Height() - 3);
  const int mode = SetBkMode(dc, TRANSPARENT);
  SelectClipRgn(dc, inner);
  const LRESULT r = Default(WM_PRINT, wp, lp);
  SelectClipRgn(dc, nullptr);
  DeleteObject(inner);
  SetBkMode(dc, mode);
  return r;
}
