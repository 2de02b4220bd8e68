// Painting: update regions, WM_PAINT/WM_NCPAINT/WM_ERASEBKGND, window DCs over the
// backing surfaces of top-level windows, and screenshots.
#include <algorithm>
#include <cairo.h>
#include <cstring>

#include "platform/base/error.h"
#include "platform/base/sync.h"
#include "platform/gdi/engine.h"
#include "platform/user/internal.h"
#include "platform/user/present.h"

namespace kv::user {

namespace {

struct DCRecord {
  HWND hwnd;
  DWORD flags;
  HRGN clip;  // our copy (surface coordinates) or null
  bool own;   // the window's own DC (CS_OWNDC / CS_CLASSDC): never deleted by ReleaseDC
};

std::map<HDC, DCRecord>& DCs() {
  static std::map<HDC, DCRecord> dcs;
  return dcs;
}
std::map<HWND, HDC>& OwnDCs() {
  static std::map<HWND, HDC> own;
  return own;
}
HWND gLocked = nullptr;

HRGN RectRgn(const RECT& r) { return CreateRectRgn(r.left, r.top, r.right, r.bottom); }

// A window's rectangle and its client's, relative to its top-level window (surface).
RECT SurfaceRect(const Window& w, bool client) {
  POINT off{0, 0};
  POINT o = client ? ClientOrigin(w) : WindowOrigin(w);
  auto t = Find(TopLevelOf(w.hwnd));
  if (t) off = WindowOrigin(*t);
  RECT r = client ? w.client : w.rect;
  int wd = r.right - r.left, ht = r.bottom - r.top;
  return RECT{o.x - off.x, o.y - off.y, o.x - off.x + wd, o.y - off.y + ht};
}

void AndWindowRegion(HRGN rgn, const Window& w) {
  if (!w.region) return;
  RECT wr = SurfaceRect(w, false);
  HRGN r = CreateRectRgn(0, 0, 0, 0);
  CombineRgn(r, w.region, nullptr, RGN_COPY);
  OffsetRgn(r, wr.left, wr.top);
  CombineRgn(rgn, rgn, r, RGN_AND);
  DeleteObject(r);
}

// The visible region of a DC of `hwnd` in surface coordinates.
HRGN VisibleRegion(const Window& w, DWORD flags) {
  bool windowDC = (flags & DCX_WINDOW) != 0;
  HRGN rgn = RectRgn(SurfaceRect(w, !windowDC));
  AndWindowRegion(rgn, w);
  bool clipChildren = (flags & DCX_CLIPCHILDREN) || ((flags & DCX_USESTYLE) == 0 && (w.style & WS_CLIPCHILDREN)) ||
                      ((flags & DCX_USESTYLE) && (w.style & WS_CLIPCHILDREN));
  if (clipChildren) {
    for (HWND c : w.children) {
      auto cw = Find(c);
      if (!cw || !(cw->style & WS_VISIBLE)) continue;
      HRGN cr = RectRgn(SurfaceRect(*cw, false));
      AndWindowRegion(cr, *cw);
      CombineRgn(rgn, rgn, cr, RGN_DIFF);
      DeleteObject(cr);
    }
  }
  // Ancestors: their client areas and regions; siblings above that clip.
  const Window* cur = &w;
  WindowPtr hold;
  while (cur->parent) {
    auto p = Find(cur->parent);
    if (!p) break;
    if ((cur->style & WS_CLIPSIBLINGS) || cur == &w) {
      if (cur->style & WS_CLIPSIBLINGS) {
        for (HWND s : p->children) {
          if (s == cur->hwnd) break;
          auto sw = Find(s);
          if (!sw || !(sw->style & WS_VISIBLE)) continue;
          HRGN sr = RectRgn(SurfaceRect(*sw, false));
          CombineRgn(rgn, rgn, sr, RGN_DIFF);
          DeleteObject(sr);
        }
      }
    }
    HRGN pr = RectRgn(SurfaceRect(*p, true));
    CombineRgn(rgn, rgn, pr, RGN_AND);
    DeleteObject(pr);
    AndWindowRegion(rgn, *p);
    hold = p;
    cur = hold.get();
  }
  if (gLocked && !(flags & DCX_LOCKWINDOWUPDATE) && (gLocked == w.hwnd || IsDescendant(gLocked, w.hwnd)))
    SetRectRgn(rgn, 0, 0, 0, 0);
  return rgn;
}

std::vector<RECT> RegionRects(HRGN rgn) {
  std::vector<RECT> out;
  DWORD size = GetRegionData(rgn, 0, nullptr);
  if (!size) {
    out.push_back(RECT{0, 0, 0, 0});
    return out;
  }
  std::vector<uint8_t> buf(size);
  auto data = reinterpret_cast<RGNDATA*>(buf.data());
  if (!GetRegionData(rgn, size, data)) {
    out.push_back(RECT{0, 0, 0, 0});
    return out;
  }
  auto rects = reinterpret_cast<const RECT*>(data->Buffer);
  for (DWORD i = 0; i < data->rdh.nCount; ++i) out.push_back(rects[i]);
  if (out.empty()) out.push_back(RECT{0, 0, 0, 0});
  return out;
}

// (Re)computes a window DC's geometry: the surface, the origin and the visible parts.
bool Geometry(HDC hdc, const DCRecord& rec) {
  auto w = Find(rec.hwnd);
  if (!w) return false;
  auto top = Find(TopLevelOf(rec.hwnd));
  if (!top) return false;
  EnsureSurface(*top);
  kv::gdi::SurfaceView view{top->pixels.data(), top->surfW, top->surfH, top->surfW * 4};
  RECT r = SurfaceRect(*w, !(rec.flags & DCX_WINDOW));
  HRGN vis = VisibleRegion(*w, rec.flags);
  if (rec.clip) CombineRgn(vis, vis, rec.clip, (rec.flags & DCX_EXCLUDERGN) ? RGN_DIFF : RGN_AND);
  HRGN bounds = CreateRectRgn(0, 0, top->surfW, top->surfH);
  CombineRgn(vis, vis, bounds, RGN_AND);
  DeleteObject(bounds);
  std::vector<RECT> rects = RegionRects(vis);
  DeleteObject(vis);
  return kv::gdi::SetSurfaceDCGeometry(hdc, view, POINT{r.left, r.top}, rects);
}

HDC MakeDC(HWND hwnd, HRGN clipScreen, DWORD flags) {
  auto w = Get(hwnd);
  if (!w) return nullptr;
  auto top = Find(TopLevelOf(hwnd));
  if (!top) return nullptr;
  EnsureSurface(*top);
  DCRecord rec{hwnd, flags, nullptr, false};
  if (clipScreen && (flags & (DCX_INTERSECTRGN | DCX_EXCLUDERGN)) && clipScreen != reinterpret_cast<HRGN>(1)) {
    rec.clip = CreateRectRgn(0, 0, 0, 0);
    CombineRgn(rec.clip, clipScreen, nullptr, RGN_COPY);
    POINT o = WindowOrigin(*top);
    OffsetRgn(rec.clip, -o.x, -o.y);
  }
  bool own = (w->cls->style & (CS_OWNDC | CS_CLASSDC)) && !(flags & (DCX_WINDOW | DCX_CACHE)) && !rec.clip;
  if (own) {
    auto it = OwnDCs().find(hwnd);
    if (it != OwnDCs().end()) {
      DCs()[it->second].flags = flags;
      Geometry(it->second, DCs()[it->second]);
      return it->second;
    }
  }
  kv::gdi::SurfaceView view{top->pixels.data(), top->surfW, top->surfH, top->surfW * 4};
  HDC hdc = kv::gdi::CreateSurfaceDC(view, POINT{0, 0}, {});
  if (!hdc) return nullptr;
  rec.own = own;
  DCs()[hdc] = rec;
  if (own) OwnDCs()[hwnd] = hdc;
  Geometry(hdc, rec);
  return hdc;
}

void DropDC(HDC hdc) {
  auto it = DCs().find(hdc);
  if (it == DCs().end()) return;
  if (it->second.clip) DeleteObject(it->second.clip);
  DCs().erase(it);
  DeleteDC(hdc);
}

// Adds every visible window of the subtree that needs painting, parents first.
HWND FindIn(HWND hwnd) {
  auto w = Find(hwnd);
  if (!w || !(w->style & WS_VISIBLE)) return nullptr;
  if (NeedsPaint(*w)) return hwnd;
  for (HWND c : w->children)
    if (HWND h = FindIn(c)) return h;
  return nullptr;
}

bool HasNonClient(const Window& w) {
  return w.client.left != w.rect.left || w.client.top != w.rect.top || w.client.right != w.rect.right ||
         w.client.bottom != w.rect.bottom;
}

void SendNcPaint(HWND hwnd) {
  auto w = Find(hwnd);
  if (!w || !w->ncDirty) return;
  w->ncDirty = false;
  if (!HasNonClient(*w)) return;
  Send(hwnd, WM_NCPAINT, 1, 0);
}

void SendErase(HWND hwnd) {
  auto w = Find(hwnd);
  if (!w || !w->erase) return;
  w->erase = false;
  HDC hdc = MakeDC(hwnd, nullptr, DCX_USESTYLE);
  if (!hdc) return;
  if (w->update) {
    // Only the update region is erased.
    auto& rec = DCs()[hdc];
    RECT c = SurfaceRect(*w, true);
    HRGN u = CreateRectRgn(0, 0, 0, 0);
    CombineRgn(u, w->update, nullptr, RGN_COPY);
    OffsetRgn(u, c.left, c.top);
    rec.clip = u;
    rec.flags |= DCX_INTERSECTRGN;
    Geometry(hdc, rec);
  }
  Send(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
  ReleaseDC(hwnd, hdc);
}

}  // namespace

bool SurfaceOf(HWND hwnd, Window** topOut, POINT* offset) {
  auto w = Find(hwnd);
  if (!w) return false;
  auto top = Find(TopLevelOf(hwnd));
  if (!top) return false;
  EnsureSurface(*top);
  RECT r = SurfaceRect(*w, false);
  *topOut = top.get();
  *offset = POINT{r.left, r.top};
  return true;
}

// The backing surface holds at most this many pixels a side; what lies beyond is not
// kept (drawing there is clipped away).
constexpr int kMaxSurface = 4096;

int SurfaceSide(LONG len) { return std::clamp<int>(len, 1, kMaxSurface); }

void EnsureSurface(Window& w) {
  if (w.parent) return;
  int nw = SurfaceSide(w.rect.right - w.rect.left), nh = SurfaceSide(w.rect.bottom - w.rect.top);
  if (w.surfW == nw && w.surfH == nh && !w.pixels.empty()) return;
  ResizeSurface(w, w.surfW, w.surfH);
}

void ResizeSurface(Window& w, int, int) {
  if (w.parent) return;
  int nw = SurfaceSide(w.rect.right - w.rect.left), nh = SurfaceSide(w.rect.bottom - w.rect.top);
  if (w.surfW == nw && w.surfH == nh && !w.pixels.empty()) return;
  std::vector<uint32_t> px;
  try {
    px.assign(size_t(nw) * size_t(nh), 0x00FFFFFFu);
  } catch (const std::bad_alloc&) {
    // No memory for this size: the window keeps its old surface (or a single pixel).
    if (!w.pixels.empty()) return;
    nw = nh = 1;
    px.assign(1, 0x00FFFFFFu);
  }
  for (int y = 0; y < std::min(nh, w.surfH); ++y)
    std::memcpy(&px[size_t(y) * size_t(nw)], &w.pixels[size_t(y) * size_t(w.surfW)], size_t(std::min(nw, w.surfW)) * 4);
  w.pixels.swap(px);
  w.surfW = nw;
  w.surfH = nh;
  // Live DCs of the tree follow the new pixels.
  for (auto& [hdc, rec] : DCs()) {
    if (TopLevelOf(rec.hwnd) == w.hwnd) Geometry(hdc, rec);
  }
}

bool NeedsPaint(const Window& w) {
  if (!ReallyVisible(w)) return false;
  return w.update || w.internalPaint || (w.ncDirty && HasNonClient(w));
}

HWND FindPaintWindow(DWORD tid, HWND filter) {
  if (filter) {
    auto w = Find(filter);
    if (!w || w->tid != tid) return nullptr;
    return FindIn(filter);
  }
  for (HWND t : ThreadTopLevels(tid))
    if (HWND h = FindIn(t)) return h;
  return nullptr;
}

void InvalidateInternal(HWND hwnd, HRGN clientRgn, bool erase, bool frame, int children) {
  auto w = Find(hwnd);
  if (!w || !ReallyVisible(*w)) return;
  int cw = w->client.right - w->client.left, ch = w->client.bottom - w->client.top;
  HRGN add = CreateRectRgn(0, 0, cw, ch);
  if (clientRgn) CombineRgn(add, add, clientRgn, RGN_AND);
  RECT box;
  if (GetRgnBox(add, &box) != NULLREGION) {
    if (!w->update) {
      w->update = add;
      add = nullptr;
    } else {
      CombineRgn(w->update, w->update, add, RGN_OR);
    }
    if (erase) w->erase = true;
  }
  if (frame && HasNonClient(*w)) w->ncDirty = true;
  bool down = children == 2 || (children == 1 && !(w->style & WS_CLIPCHILDREN));
  if (down) {
    HRGN area = CreateRectRgn(0, 0, cw, ch);
    if (clientRgn) CombineRgn(area, area, clientRgn, RGN_AND);
    std::vector<HWND> kids = w->children;
    for (HWND c : kids) {
      auto k = Find(c);
      if (!k || !(k->style & WS_VISIBLE)) continue;
      HRGN kr = CreateRectRgn(k->rect.left, k->rect.top, k->rect.right, k->rect.bottom);
      if (CombineRgn(kr, kr, area, RGN_AND) != NULLREGION) {
        OffsetRgn(kr, -(k->client.left), -(k->client.top));
        InvalidateInternal(c, kr, erase, true, children);
      }
      DeleteObject(kr);
    }
    DeleteObject(area);
  }
  if (add) DeleteObject(add);
}

void ValidateInternal(HWND hwnd, HRGN clientRgn, bool children) {
  auto w = Find(hwnd);
  if (!w) return;
  if (w->update) {
    if (!clientRgn) {
      DeleteObject(w->update);
      w->update = nullptr;
    } else if (CombineRgn(w->update, w->update, clientRgn, RGN_DIFF) == NULLREGION) {
      DeleteObject(w->update);
      w->update = nullptr;
    }
  }
  if (!w->update) {
    w->erase = false;
    w->internalPaint = false;
  }
  if (children) {
    for (HWND c : w->children) {
      auto k = Find(c);
      if (!k) continue;
      HRGN kr = nullptr;
      if (clientRgn) {
        kr = CreateRectRgn(0, 0, 0, 0);
        CombineRgn(kr, clientRgn, nullptr, RGN_COPY);
        OffsetRgn(kr, -k->client.left, -k->client.top);
      }
      ValidateInternal(c, kr, true);
      if (kr) DeleteObject(kr);
    }
  }
}

void SendNcPaintAndErase(HWND hwnd) {
  SendNcPaint(hwnd);
  SendErase(hwnd);
}

void UpdateNow(HWND hwnd, bool children) {
  auto w = Find(hwnd);
  if (!w || !ReallyVisible(*w)) return;
  if (NeedsPaint(*w)) {
    // WM_NCPAINT and WM_ERASEBKGND come first, then WM_PAINT.
    SendNcPaintAndErase(hwnd);
    if (!(w = Find(hwnd))) return;
    if (NeedsPaint(*w)) Send(hwnd, WM_PAINT, 0, 0);
    if (!(w = Find(hwnd))) return;
  }
  if (!children) return;
  std::vector<HWND> kids = w->children;
  for (HWND k : kids) UpdateNow(k, true);
}

void ReleaseWindowDCs(HWND hwnd) {
  std::vector<HDC> drop;
  for (auto& [hdc, rec] : DCs())
    if (rec.hwnd == hwnd) drop.push_back(hdc);
  for (HDC h : drop) DropDC(h);
  OwnDCs().erase(hwnd);
  if (gLocked == hwnd) gLocked = nullptr;
}

}  // namespace kv::user

using namespace kv::user;

extern "C" {

BOOL InvalidateRgn(HWND hwnd, HRGN region, BOOL erase) {
  if (!hwnd) {
    for (HWND t : ThreadTopLevels(GetCurrentThreadId())) InvalidateInternal(t, nullptr, erase, true, 2);
    return TRUE;
  }
  if (!Get(hwnd)) return FALSE;
  InvalidateInternal(hwnd, region, erase != FALSE, false, 1);
  return TRUE;
}

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
  if (!rect) return InvalidateRgn(hwnd, nullptr, erase);
  HRGN r = CreateRectRgn(rect->left, rect->top, rect->right, rect->bottom);
  BOOL ok = InvalidateRgn(hwnd, r, erase);
  DeleteObject(r);
  return ok;
}

BOOL ValidateRgn(HWND hwnd, HRGN region) {
  if (!Get(hwnd)) return FALSE;
  ValidateInternal(hwnd, region, false);
  return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT* rect) {
  if (!rect) return ValidateRgn(hwnd, nullptr);
  HRGN r = CreateRectRgn(rect->left, rect->top, rect->right, rect->bottom);
  BOOL ok = ValidateRgn(hwnd, r);
  DeleteObject(r);
  return ok;
}

BOOL GetUpdateRect(HWND hwnd, LPRECT rect, BOOL erase) {
  auto w = Get(hwnd);
  if (!w) return FALSE;
  RECT box{0, 0, 0, 0};
  if (w->update) GetRgnBox(w->update, &box);
  if (rect) *rect = box;
  if (erase && w->update) SendNcPaintAndErase(hwnd);
  return box.right > box.left && box.bottom > box.top;
}

int GetUpdateRgn(HWND hwnd, HRGN region, BOOL erase) {
  auto w = Get(hwnd);
  if (!w || !region) return ERROR;
  int r;
  if (w->update)
    r = CombineRgn(region, w->update, nullptr, RGN_COPY);
  else
    r = SetRectRgn(region, 0, 0, 0, 0) ? NULLREGION : ERROR;
  if (erase && w->update) SendNcPaintAndErase(hwnd);
  return r;
}

BOOL RedrawWindow(HWND hwnd, const RECT* update, HRGN region, UINT flags) {
  std::vector<HWND> targets;
  if (!hwnd)
    targets = ThreadTopLevels(GetCurrentThreadId());
  else if (!Get(hwnd))
    return FALSE;
  else
    targets.push_back(hwnd);
  for (HWND h : targets) {
    HRGN rgn = nullptr;
    if (region) {
      rgn = CreateRectRgn(0, 0, 0, 0);
      CombineRgn(rgn, region, nullptr, RGN_COPY);
    } else if (update) {
      rgn = CreateRectRgn(update->left, update->top, update->right, update->bottom);
    }
    int children = (flags & RDW_ALLCHILDREN) ? 2 : (flags & RDW_NOCHILDREN) ? 0 : 1;
    if (flags & RDW_INVALIDATE) {
      InvalidateInternal(h, rgn, (flags & RDW_ERASE) != 0, (flags & RDW_FRAME) != 0, children);
    }
    if (flags & RDW_INTERNALPAINT) {
      if (auto w = Find(h)) w->internalPaint = true;
    }
    if (flags & RDW_VALIDATE) {
      ValidateInternal(h, rgn, children == 2);
      if (auto w = Find(h)) {
        if (flags & RDW_NOFRAME) w->ncDirty = false;
        if (flags & RDW_NOERASE) w->erase = false;
      }
    }
    if (flags & RDW_NOINTERNALPAINT) {
      if (auto w = Find(h)) w->internalPaint = false;
    }
    if (rgn) DeleteObject(rgn);
    if (flags & RDW_UPDATENOW) {
      UpdateNow(h, children != 0);
    } else if (flags & RDW_ERASENOW) {
      SendNcPaintAndErase(h);
      if (children == 2)
        if (auto w = Find(h))
          for (HWND c : std::vector<HWND>(w->children))
            RedrawWindow(c, nullptr, nullptr, RDW_ERASENOW | RDW_ALLCHILDREN);
    }
  }
  return TRUE;
}

BOOL UpdateWindow(HWND hwnd) {
  if (!Get(hwnd)) return FALSE;
  UpdateNow(hwnd, true);
  return TRUE;
}

HDC BeginPaint(HWND hwnd, LPPAINTSTRUCT paint) {
  auto w = Get(hwnd);
  if (!w || !paint) {
    if (w) SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::memset(paint, 0, sizeof *paint);
  SendNcPaint(hwnd);
  if (!(w = Find(hwnd))) return nullptr;
  HRGN update = w->update;
  w->update = nullptr;
  w->internalPaint = false;
  bool erase = w->erase;
  w->erase = false;
  HDC hdc = MakeDC(hwnd, nullptr, DCX_USESTYLE);
  if (!hdc) {
    if (update) DeleteObject(update);
    return nullptr;
  }
  int cw = w->client.right - w->client.left, ch = w->client.bottom - w->client.top;
  HRGN area = update ? update : CreateRectRgn(0, 0, 0, 0);
  HRGN clip = CreateRectRgn(0, 0, cw, ch);
  CombineRgn(area, area, clip, RGN_AND);
  DeleteObject(clip);
  RECT box{0, 0, 0, 0};
  GetRgnBox(area, &box);
  paint->rcPaint = box;
  auto& rec = DCs()[hdc];
  if (!rec.own) {
    RECT c = SurfaceRect(*w, true);
    OffsetRgn(area, c.left, c.top);
    if (rec.clip) DeleteObject(rec.clip);
    rec.clip = area;
    area = nullptr;
    rec.flags |= DCX_INTERSECTRGN;
    Geometry(hdc, rec);
  }
  if (area) DeleteObject(area);
  paint->hdc = hdc;
  if (erase) paint->fErase = Send(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0) ? FALSE : TRUE;
  if (auto ww = Find(hwnd)) ww->painting = true;
  return hdc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* paint) {
  auto w = Find(hwnd);
  if (w) w->painting = false;
  if (!paint) return FALSE;
  ReleaseDC(hwnd, paint->hdc);
  return TRUE;
}

HDC GetDCEx(HWND hwnd, HRGN clip, DWORD flags) {
  if (!hwnd || hwnd == GetDesktopWindow()) return kv::gdi::CreateDisplayDC();
  return MakeDC(hwnd, clip, flags);
}

HDC GetDC(HWND hwnd) {
  if (!hwnd) return kv::gdi::CreateDisplayDC();
  return MakeDC(hwnd, nullptr, DCX_USESTYLE);
}

HDC GetWindowDC(HWND hwnd) {
  if (!hwnd) return kv::gdi::CreateDisplayDC();
  return MakeDC(hwnd, nullptr, DCX_WINDOW | DCX_USESTYLE);
}

int ReleaseDC(HWND hwnd, HDC hdc) {
  (void)hwnd;
  auto it = DCs().find(hdc);
  if (it == DCs().end()) {
    // A display DC handed out for the desktop.
    return DeleteDC(hdc) ? 1 : 0;
  }
  // What the DC could reach has been drawn on: the presenter copies it.
  if (auto w = Find(it->second.hwnd))
    present::Damage(TopLevelOf(w->hwnd), SurfaceRect(*w, !(it->second.flags & DCX_WINDOW)));
  if (it->second.own) return 1;
  DropDC(hdc);
  return 1;
}

HWND WindowFromDC(HDC hdc) {
  auto it = DCs().find(hdc);
  return it == DCs().end() ? nullptr : it->second.hwnd;
}

BOOL LockWindowUpdate(HWND hwnd) {
  if (hwnd) {
    if (!Get(hwnd)) return FALSE;
    if (gLocked && gLocked != hwnd) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    gLocked = hwnd;
    return TRUE;
  }
  HWND was = gLocked;
  gLocked = nullptr;
  if (was) InvalidateInternal(was, nullptr, true, true, 2);
  return TRUE;
}

int ScrollWindowEx(HWND hwnd, int dx, int dy, const RECT* scroll, const RECT* clip, HRGN update, LPRECT update_rect,
                   UINT flags) {
  auto w = Get(hwnd);
  if (!w) return ERROR;
  RECT c{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
  RECT area = scroll ? *scroll : c;
  if (clip) IntersectRect(&area, &area, clip);
  if ((flags & SW_SCROLLCHILDREN) || !scroll) {
    for (HWND k : std::vector<HWND>(w->children)) {
      auto kw = Find(k);
      if (!kw) continue;
      RECT r = kw->rect;
      SetWindowPos(k, nullptr, r.left + dx, r.top + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  // The pixels of the area move on the surface; what they uncover needs painting.
  IntersectRect(&area, &area, &c);
  HRGN uncovered = CreateRectRgn(area.left, area.top, area.right, area.bottom);
  if (!IsRectEmpty(&area)) {
    RECT moved = area;
    OffsetRect(&moved, dx, dy);
    RECT dest;
    if (IntersectRect(&dest, &moved, &area)) {
      HRGN keep = CreateRectRgn(dest.left, dest.top, dest.right, dest.bottom);
      CombineRgn(uncovered, uncovered, keep, RGN_DIFF);
      DeleteObject(keep);
      auto top = Find(TopLevelOf(hwnd));
      RECT cs = SurfaceRect(*w, true);
      if (top && !top->pixels.empty()) {
        int rows = dest.bottom - dest.top, cols = dest.right - dest.left;
        auto row = [&](int y) {
          return top->pixels.data() + size_t(cs.top + y) * size_t(top->surfW) + size_t(cs.left);
        };
        bool inside = cs.left + dest.left - dx >= 0 && cs.left + dest.right <= top->surfW &&
                      cs.top + dest.top - dy >= 0 && cs.top + dest.bottom <= top->surfH && cs.left + dest.left >= 0 &&
                      cs.top + dest.top >= 0 && cs.left + dest.right - dx <= top->surfW &&
                      cs.top + dest.bottom - dy <= top->surfH;
        if (inside) {
          present::Damage(top->hwnd, cs);
          for (int k = 0; k < rows; ++k) {
            int y = dy > 0 ? dest.bottom - 1 - k : dest.top + k;  // no row is read after it is written
            std::memmove(row(y) + dest.left, row(y - dy) + (dest.left - dx), size_t(cols) * 4);
          }
        } else {
          SetRectRgn(uncovered, area.left, area.top, area.right, area.bottom);  // all of it again
        }
      }
    }
  }
  RECT box{0, 0, 0, 0};
  int kind = GetRgnBox(uncovered, &box);
  if (update) CombineRgn(update, uncovered, nullptr, RGN_COPY);
  if (update_rect) *update_rect = box;
  if (flags & SW_INVALIDATE) InvalidateInternal(hwnd, uncovered, (flags & SW_ERASE) != 0, false, 1);
  DeleteObject(uncovered);
  return kind;
}

BOOL ScrollWindow(HWND hwnd, int dx, int dy, const RECT* scroll, const RECT* clip) {
  return ScrollWindowEx(hwnd, dx, dy, scroll, clip, nullptr, nullptr,
                        SW_INVALIDATE | SW_ERASE | (scroll ? 0 : SW_SCROLLCHILDREN)) != ERROR;
}

// ---- Screenshots ------------------------------------------------------------------------------------
COLORREF KvWindowGetPixel(HWND hwnd, int x, int y) {
  if (!Get(hwnd)) return CLR_INVALID;
  UpdateNow(TopLevelOf(hwnd), true);
  Window* top = nullptr;
  POINT off;
  if (!SurfaceOf(hwnd, &top, &off)) return CLR_INVALID;
  auto w = Find(hwnd);
  if (x < 0 || y < 0 || x >= w->rect.right - w->rect.left || y >= w->rect.bottom - w->rect.top) return CLR_INVALID;
  int sx = off.x + x, sy = off.y + y;
  if (sx < 0 || sy < 0 || sx >= top->surfW || sy >= top->surfH) return CLR_INVALID;
  uint32_t p = top->pixels[size_t(sy) * size_t(top->surfW) + size_t(sx)];
  return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

BOOL KvWindowScreenshot(HWND hwnd, const char* path) {
  if (!Get(hwnd)) return FALSE;
  if (!path || !*path) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  UpdateNow(TopLevelOf(hwnd), true);
  Window* top = nullptr;
  POINT off;
  if (!SurfaceOf(hwnd, &top, &off)) return FALSE;
  auto w = Find(hwnd);
  int wd = std::max<int>(1, w->rect.right - w->rect.left), ht = std::max<int>(1, w->rect.bottom - w->rect.top);
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, wd, ht);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  cairo_surface_flush(s);
  unsigned char* data = cairo_image_surface_get_data(s);
  int stride = cairo_image_surface_get_stride(s);
  for (int y = 0; y < ht; ++y) {
    auto row = reinterpret_cast<uint32_t*>(data + size_t(y) * size_t(stride));
    for (int x = 0; x < wd; ++x) {
      int sx = off.x + x, sy = off.y + y;
      row[x] = (sx >= 0 && sy >= 0 && sx < top->surfW && sy < top->surfH)
                   ? top->pixels[size_t(sy) * size_t(top->surfW) + size_t(sx)]
                   : 0;
    }
  }
  cairo_surface_mark_dirty(s);
  cairo_status_t st = cairo_surface_write_to_png(s, path);
  cairo_surface_destroy(s);
  if (st != CAIRO_STATUS_SUCCESS) {
    SetLastError(st == CAIRO_STATUS_WRITE_ERROR ? ERROR_WRITE_FAULT : ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  return TRUE;
}

}  // extern "C"
