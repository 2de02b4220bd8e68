// Icons and cursors as images: made from a colour bitmap and a mask, copied, drawn with
// the mask (AND) and the colour (XOR) at any size; the platform's own icons are drawn here.
#include <algorithm>
#include <map>
#include <memory>

#include "platform/base/error.h"
#include "platform/user/internal.h"

namespace kv::user {

namespace {

struct Icon {
  int width = 0, height = 0;
  HBITMAP color = nullptr;  // may be null: a monochrome icon whose mask holds both halves
  HBITMAP mask = nullptr;
  bool isIcon = true;
  DWORD hotX = 0, hotY = 0;
  bool shared = false;  // the platform's own: never destroyed
  ~Icon() {
    if (color) DeleteObject(color);
    if (mask) DeleteObject(mask);
  }
};

// Never destroyed, for the same reason as the window table (GDI objects at exit).
std::map<uintptr_t, std::unique_ptr<Icon>>& Icons() {
  static auto* icons = new std::map<uintptr_t, std::unique_ptr<Icon>>;
  return *icons;
}
uintptr_t gNextIcon = 0x60000;

HBITMAP CopyBitmap(HBITMAP src, int w, int h, bool mono) {
  if (!src) return nullptr;
  HDC a = CreateCompatibleDC(nullptr), b = CreateCompatibleDC(nullptr);
  HBITMAP dst = CreateBitmap(w, h, 1, mono ? 1 : 32, nullptr);
  if (!dst) {
    DeleteDC(a);
    DeleteDC(b);
    return nullptr;
  }
  HGDIOBJ oa = SelectObject(a, src), ob = SelectObject(b, dst);
  BitBlt(b, 0, 0, w, h, a, 0, 0, SRCCOPY);
  SelectObject(a, oa);
  SelectObject(b, ob);
  DeleteDC(a);
  DeleteDC(b);
  return dst;
}

// The platform's icon `id` (32512 application, 32513 hand, 32514 question, 32515
// exclamation, 32516 asterisk, 32517 logo, 32518 shield) drawn as a framed picture.
Icon* Builtin(uintptr_t handle) {
  auto it = Icons().find(handle);
  if (it != Icons().end()) return it->second.get();
  bool cursor = handle >= 0x30000 && handle < 0x40000;
  bool icon = handle >= 0x40000 && handle < 0x50000;
  if (!cursor && !icon) return nullptr;
  if (handle % 4) return nullptr;
  ULONG_PTR id = (handle - (cursor ? 0x30000 : 0x40000)) / 4 + 32512;
  bool known = cursor ? ((id >= 32512 && id <= 32516) || (id >= 32640 && id <= 32651)) : (id >= 32512 && id <= 32518);
  if (!known) return nullptr;
  auto ic = std::make_unique<Icon>();
  ic->width = ic->height = 32;
  ic->isIcon = icon;
  ic->shared = true;
  HDC dc = CreateCompatibleDC(nullptr);
  ic->color = CreateBitmap(32, 32, 1, 32, nullptr);
  ic->mask = CreateBitmap(32, 32, 1, 1, nullptr);
  HGDIOBJ old = SelectObject(dc, ic->color);
  RECT all{0, 0, 32, 32};
  FillRect(dc, &all, reinterpret_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  static const COLORREF kColors[] = {RGB(0, 0, 128), RGB(192, 0, 0), RGB(0, 0, 255),  RGB(255, 192, 0),
                                     RGB(0, 0, 255), RGB(0, 128, 0), RGB(0, 128, 128)};
  COLORREF c = kColors[std::min<ULONG_PTR>(id >= 32512 ? id - 32512 : 0, 6)];
  RECT body{2, 2, 30, 30};
  HBRUSH br = CreateSolidBrush(cursor ? RGB(255, 255, 255) : c);
  FillRect(dc, &body, br);
  DeleteObject(br);
  RECT inner{6, 10, 26, 26};
  if (!cursor) FillRect(dc, &inner, reinterpret_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SelectObject(dc, ic->mask);
  // Mask: 1 outside the body (the background shows), 0 inside.
  FillRect(dc, &all, reinterpret_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  FillRect(dc, &body, reinterpret_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  SelectObject(dc, old);
  DeleteDC(dc);
  Icon* raw = ic.get();
  Icons()[handle] = std::move(ic);
  return raw;
}

Icon* FindIcon(HICON h) {
  auto v = reinterpret_cast<uintptr_t>(h);
  auto it = Icons().find(v);
  if (it != Icons().end()) return it->second.get();
  return Builtin(v);
}

}  // namespace

}  // namespace kv::user

using namespace kv::user;

extern "C" {

HICON CreateIconIndirect(PICONINFO info) {
  if (!info || !info->hbmMask) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  BITMAP bm{};
  if (!GetObjectW(info->hbmMask, sizeof bm, &bm)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto ic = std::make_unique<Icon>();
  ic->isIcon = info->fIcon != FALSE;
  ic->hotX = info->fIcon ? static_cast<DWORD>(bm.bmWidth / 2) : info->xHotspot;
  ic->hotY = info->fIcon ? static_cast<DWORD>((info->hbmColor ? bm.bmHeight : bm.bmHeight / 2) / 2) : info->yHotspot;
  ic->width = bm.bmWidth;
  ic->height = info->hbmColor ? bm.bmHeight : bm.bmHeight / 2;
  ic->mask = CopyBitmap(info->hbmMask, bm.bmWidth, bm.bmHeight, true);
  if (info->hbmColor) {
    BITMAP cb{};
    if (!GetObjectW(info->hbmColor, sizeof cb, &cb)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    ic->color = CopyBitmap(info->hbmColor, cb.bmWidth, cb.bmHeight, false);
  }
  if (!ic->mask || (info->hbmColor && !ic->color)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  HICON h = reinterpret_cast<HICON>(gNextIcon);
  gNextIcon += 4;
  Icons()[reinterpret_cast<uintptr_t>(h)] = std::move(ic);
  return h;
}

BOOL GetIconInfo(HICON icon, PICONINFO info) {
  Icon* ic = FindIcon(icon);
  if (!ic || !info) {
    SetLastError(ERROR_INVALID_CURSOR_HANDLE);
    return FALSE;
  }
  info->fIcon = ic->isIcon;
  info->xHotspot = ic->hotX;
  info->yHotspot = ic->hotY;
  BITMAP bm{};
  GetObjectW(ic->mask, sizeof bm, &bm);
  info->hbmMask = CopyBitmap(ic->mask, bm.bmWidth, bm.bmHeight, true);
  info->hbmColor = ic->color ? CopyBitmap(ic->color, ic->width, ic->height, false) : nullptr;
  return TRUE;
}

HICON CopyIcon(HICON icon) {
  Icon* ic = FindIcon(icon);
  if (!ic) {
    SetLastError(ERROR_INVALID_CURSOR_HANDLE);
    return nullptr;
  }
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return nullptr;
  HICON copy = CreateIconIndirect(&info);
  DeleteObject(info.hbmMask);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  return copy;
}

BOOL DestroyIcon(HICON icon) {
  auto it = Icons().find(reinterpret_cast<uintptr_t>(icon));
  if (it == Icons().end()) {
    if (Builtin(reinterpret_cast<uintptr_t>(icon))) return TRUE;  // the platform's own stay
    SetLastError(ERROR_INVALID_CURSOR_HANDLE);
    return FALSE;
  }
  if (it->second->shared) return TRUE;
  Icons().erase(it);
  return TRUE;
}

BOOL DestroyCursor(HCURSOR cursor) { return DestroyIcon(cursor); }

BOOL DrawIconEx(HDC hdc, int x, int y, HICON icon, int cx, int cy, UINT, HBRUSH flicker_free, UINT flags) {
  Icon* ic = FindIcon(icon);
  if (!ic) {
    SetLastError(ERROR_INVALID_CURSOR_HANDLE);
    return FALSE;
  }
  if (!(flags & DI_NORMAL)) flags |= DI_NORMAL;
  if (cx == 0) cx = (flags & DI_DEFAULTSIZE) ? Metric(SM_CXICON) : ic->width;
  if (cy == 0) cy = (flags & DI_DEFAULTSIZE) ? Metric(SM_CYICON) : ic->height;
  HDC src = CreateCompatibleDC(hdc);
  if (!src) return FALSE;
  // With a flicker-free brush the icon is drawn over that brush, in one go.
  HDC target = hdc;
  HDC buffer = nullptr;
  HBITMAP bufBmp = nullptr;
  HGDIOBJ bufOld = nullptr;
  int tx = x, ty = y;
  if (flicker_free) {
    buffer = CreateCompatibleDC(hdc);
    bufBmp = CreateCompatibleBitmap(hdc, cx, cy);
    bufOld = SelectObject(buffer, bufBmp);
    RECT r{0, 0, cx, cy};
    FillRect(buffer, &r, flicker_free);
    target = buffer;
    tx = ty = 0;
  }
  int oldMode = SetStretchBltMode(target, COLORONCOLOR);
  HGDIOBJ old = SelectObject(src, ic->mask);
  bool ok = true;
  if (flags & DI_MASK)
    ok = StretchBlt(target, tx, ty, cx, cy, src, 0, 0, ic->width, ic->height, (flags & DI_IMAGE) ? SRCAND : SRCCOPY) &&
         ok;
  if (flags & DI_IMAGE) {
    DWORD rop = (flags & DI_MASK) ? SRCINVERT : SRCCOPY;
    if (ic->color) {
      SelectObject(src, ic->color);
      ok = StretchBlt(target, tx, ty, cx, cy, src, 0, 0, ic->width, ic->height, rop) && ok;
    } else {
      ok = StretchBlt(target, tx, ty, cx, cy, src, 0, ic->height, ic->width, ic->height, rop) && ok;
    }
  }
  SelectObject(src, old);
  SetStretchBltMode(target, oldMode);
  DeleteDC(src);
  if (buffer) {
    ok = BitBlt(hdc, x, y, cx, cy, buffer, 0, 0, SRCCOPY) && ok;
    SelectObject(buffer, bufOld);
    DeleteObject(bufBmp);
    DeleteDC(buffer);
  }
  return ok ? TRUE : FALSE;
}

BOOL DrawIcon(HDC hdc, int x, int y, HICON icon) {
  return DrawIconEx(hdc, x, y, icon, 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
}

}  // extern "C"

namespace kv::user {

void ResetIcons() {
  for (auto it = Icons().begin(); it != Icons().end();) {
    if (it->second->shared)
      ++it;
    else
      it = Icons().erase(it);
  }
}

}  // namespace kv::user
