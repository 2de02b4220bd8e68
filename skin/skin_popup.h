// TWinSkinPopMenu: paints the frame of a popup menu window ("#32768") from the skin's
// "MenuBackground" element; the items are owner-drawn over it by the form skinner.
#pragma once

#include <memory>

#include "framework/core/strings.h"
#include "framework/graphics/graphics.h"
#include "platform/user/user.h"

class TSkinData;

class TWinSkinPopMenu {
 public:
  TWinSkinPopMenu();
  ~TWinSkinPopMenu();
  void Attach(HWND Window, TSkinData* Data, HMENU Menu);
  void Detach();
  bool Attached() const { return old_proc_ != nullptr; }
  HWND Window() const { return window_; }
  HMENU Menu() const { return menu_; }
  void SetMenu(HMENU Menu) { menu_ = Menu; }
  TBitmap* FrameBitmap() { return frame_.get(); }
  bool OpenedFromMenuBar = false;

 private:
  static LRESULT Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Default(UINT msg, WPARAM wp, LPARAM lp);
  bool CanPaint() const;
  void ComposeFrame();
  void PaintFrame(WPARAM wp);
  LRESULT PrintFrame(WPARAM wp, LPARAM lp);

  WNDPROC old_proc_ = nullptr;
  HWND window_ = nullptr;
  TSkinData* data_ = nullptr;
  std::unique_ptr<TBitmap> frame_;
  HMENU menu_ = nullptr;
  HRGN region_ = nullptr;
};
