// Shared helpers of the control classes in this folder (C++ inside libplatform.so).
#pragma once

#include <string>
#include <string_view>

#include "platform/user/controls/controls.h"
#include "platform/user/internal.h"

namespace kv::user {

// The control data of `w`, made on first use. Each class keeps one type of data; a window
// that a program hands to another class's procedure gets fresh data of that class.
template <class T>
T& DataOf(Window& w) {
  T* d = w.control ? dynamic_cast<T*>(w.control.get()) : nullptr;
  if (!d) {
    w.control = std::make_unique<T>();
    d = static_cast<T*>(w.control.get());
  }
  return *d;
}

// Sends WM_NOTIFY with `hdr` (its hwndFrom, idFrom and code filled here) to the parent.
LRESULT NotifyParentHdr(HWND hwnd, UINT code, NMHDR* hdr);
RECT ClientRectOf(const Window& w);
// Selects the window's font (WM_SETFONT) into `hdc` while alive.
class FontScope {
 public:
  FontScope(HDC hdc, HFONT font);
  ~FontScope();
  FontScope(const FontScope&) = delete;
  FontScope& operator=(const FontScope&) = delete;

 private:
  HDC hdc_;
  HGDIOBJ old_;
};
// Height of a line of text in the font (tmHeight).
int FontHeight(HFONT font);
// Width of `s` in the font.
int TextWidth(HDC hdc, std::u16string_view s);

// A string parameter of a control message with A and W forms: UTF-16 for the W form, the
// ANSI code page for the A form.
std::u16string TextParam(LPARAM lp, bool unicode);
// Copies `s` to the caller's buffer as a W or A string, NUL-terminated; returns the length
// (the length it would have without a buffer).
LRESULT CopyTextOut(const std::u16string& s, LPARAM buffer, bool unicode);

// Case-insensitive comparison as the list controls sort (ordinal on upper case).
int CompareNoCase(std::u16string_view a, std::u16string_view b);

// Registration of each class (called once from the static initialiser of init.cpp).
void RegisterDialogClass();
void RegisterToolbarClass();
void RegisterHeaderClass();
void RegisterListViewClass();

}  // namespace kv::user
