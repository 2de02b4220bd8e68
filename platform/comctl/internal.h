// Internals the common control classes share (C++ inside libplatform.so).
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/base/time.h"
#include "platform/comctl/comctl.h"
#include "platform/user/internal.h"

namespace kv::comctl {

using namespace kv::user;

// Sends WM_NOTIFY with `hdr` (its hwndFrom, idFrom and code filled here) to the parent.
LRESULT NotifyParentHdr(HWND hwnd, UINT code, NMHDR* hdr);
RECT ClientRectOf(const Window& w);
// The paint and font messages the drawn controls answer alike: WM_PAINT and WM_PRINTCLIENT
// draw through `paint`, WM_ERASEBKGND is left to it, WM_SETFONT keeps the font (redrawing
// when asked) and WM_GETFONT gives it back. True, with `result`, when `msg` is one of them.
bool PaintOrFontMessage(Window& w, UINT msg, WPARAM wp, LPARAM lp, void (*paint)(HWND, HDC), LRESULT& result);
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

// Copies an item text to the caller's item record (pszText, cchTextMax), cut to its room,
// as a W or A string; answers the length copied.
template <class ITEM>
int CopyItemText(const std::u16string& s, ITEM* item, bool unicode) {
  if (!item->pszText || item->cchTextMax <= 0) return 0;
  if (unicode) {
    std::u16string t = s.substr(0, static_cast<size_t>(item->cchTextMax - 1));
    CopyTextOut(t, reinterpret_cast<LPARAM>(item->pszText), true);
    return static_cast<int>(t.size());
  }
  std::string a = ToAnsi(s);
  a.resize(std::min(a.size(), static_cast<size_t>(item->cchTextMax - 1)));
  std::memcpy(item->pszText, a.c_str(), a.size() + 1);
  return static_cast<int>(a.size());
}

// Case-insensitive comparison as the list controls sort (ordinal on upper case).
int CompareNoCase(std::u16string_view a, std::u16string_view b);

// Registration of each class (called once from the static initialiser of comctl.cpp).
void RegisterStatusBarClass();
void RegisterProgressClass();
void RegisterToolbarClass();
void RegisterHeaderClass();
void RegisterListViewClass();
void RegisterTabClass();
void RegisterTrackBarClass();
void RegisterUpDownClass();
void RegisterMonthCalClass();
void RegisterDateTimePickClass();
void RegisterComboBoxExClass();

// Dates (monthcal.cpp): whether `st` is a day of the calendar, and `st` moved by whole days
// with its day of the week filled in (unchanged when out of range).
bool ValidDate(const SYSTEMTIME& st);
SYSTEMTIME AddDays(const SYSTEMTIME& st, int days);
// A dropped-down calendar tells its picker instead of its parent.
void SetMonthCalNotify(HWND calendar, HWND to);

}  // namespace kv::comctl
