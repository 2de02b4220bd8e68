// Window positions: the non-client geometry, SetWindowPos with its messages, ShowWindow
// states and the minimised/maximised placement.
#include <algorithm>

#include "platform/base/error.h"
#include "platform/base/sync.h"
#include "platform/user/internal.h"

namespace kv::user {

bool HasCaption(DWORD style) { return (style & WS_CAPTION) == WS_CAPTION; }

// Frame thickness (one side) of a window with these styles, without the client edge.
void FrameSize(DWORD style, DWORD exStyle, int* cx, int* cy) {
  if (style & WS_THICKFRAME) {
    *cx = Metric(SM_CXFRAME);
    *cy = Metric(SM_CYFRAME);
  } else if ((style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME)) {
    *cx = Metric(SM_CXDLGFRAME);
    *cy = Metric(SM_CYDLGFRAME);
  } else if (style & WS_BORDER) {
    *cx = Metric(SM_CXBORDER);
    *cy = Metric(SM_CYBORDER);
  } else {
    *cx = *cy = 0;
  }
  if (exStyle & WS_EX_STATICEDGE) {
    *cx += Metric(SM_CXBORDER);
    *cy += Metric(SM_CYBORDER);
  }
}

void ComputeNcCalc(const Window& w, RECT* r) {
  if (w.style & WS_MINIMIZE) {
    r->right = r->left;
    r->bottom = r->top;
    return;
  }
  int fx, fy;
  FrameSize(w.style, w.exStyle, &fx, &fy);
  r->left += fx;
  r->right -= fx;
  r->top += fy;
  r->bottom -= fy;
  if (HasCaption(w.style)) r->top += (w.exStyle & WS_EX_TOOLWINDOW) ? Metric(SM_CYSMCAPTION) : Metric(SM_CYCAPTION);
  if (!(w.style & WS_CHILD) && w.menu) r->top += Metric(SM_CYMENU);
  if (w.exStyle & WS_EX_CLIENTEDGE) {
    r->left += Metric(SM_CXEDGE);
    r->right -= Metric(SM_CXEDGE);
    r->top += Metric(SM_CYEDGE);
    r->bottom -= Metric(SM_CYEDGE);
  }
  if (w.style & WS_VSCROLL) {
    if (w.exStyle & WS_EX_LEFTSCROLLBAR)
      r->left += Metric(SM_CXVSCROLL);
    else
      r->right -= Metric(SM_CXVSCROLL);
  }
  if (w.style & WS_HSCROLL) r->bottom -= Metric(SM_CYHSCROLL);
  if (r->right < r->left) r->right = r->left;
  if (r->bottom < r->top) r->bottom = r->top;
}

void GetMinMax(HWND hwnd, MINMAXINFO* mmi) {
  auto w = Find(hwnd);
  if (!w) return;
  int fx, fy;
  FrameSize(w->style, w->exStyle, &fx, &fy);
  int sw = Metric(SM_CXSCREEN), sh = Metric(SM_CYSCREEN);
  if (w->parent) {
    auto p = Find(w->parent);
    if (p) {
      sw = p->client.right - p->client.left;
      sh = p->client.bottom - p->client.top;
    }
  }
  *mmi = MINMAXINFO{};
  mmi->ptMaxSize = POINT{sw + 2 * fx, sh + 2 * fy};
  mmi->ptMaxPosition = POINT{-fx, -fy};
  if (HasCaption(w->style) || (w->style & WS_THICKFRAME)) {
    mmi->ptMinTrackSize = POINT{Metric(SM_CXMINTRACK), Metric(SM_CYMINTRACK)};
  } else {
    mmi->ptMinTrackSize = POINT{0, 0};
  }
  mmi->ptMaxTrackSize = POINT{Metric(SM_CXMAXTRACK), Metric(SM_CYMAXTRACK)};
  Send(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(mmi));
  if (mmi->ptMaxTrackSize.x < mmi->ptMinTrackSize.x) mmi->ptMaxTrackSize.x = mmi->ptMinTrackSize.x;
  if (mmi->ptMaxTrackSize.y < mmi->ptMinTrackSize.y) mmi->ptMaxTrackSize.y = mmi->ptMinTrackSize.y;
}

namespace {

// Invalidates a rectangle given in `parent`'s client coordinates.
void InvalidateInParent(HWND parent, const RECT& r) {
  if (!parent) return;
  HRGN rgn = CreateRectRgn(r.left, r.top, r.right, r.bottom);
  InvalidateInternal(parent, rgn, true, false, true);
  DeleteObject(rgn);
}

}  // namespace

bool SetPos(HWND hwnd, HWND after, int x, int y, int cx, int cy, UINT flags) {
  auto w = Get(hwnd);
  if (!w) return false;
  bool wasVisible = (w->style & WS_VISIBLE) != 0;
  if ((flags & SWP_SHOWWINDOW) && wasVisible) flags &= ~SWP_SHOWWINDOW;
  if ((flags & SWP_HIDEWINDOW) && !wasVisible) flags &= ~SWP_HIDEWINDOW;
  if (!(flags & SWP_NOZORDER)) {
    auto& sib = Siblings(*w);
    if ((after == HWND_TOP && !sib.empty() && sib.front() == hwnd) ||
        (after == HWND_BOTTOM && !sib.empty() && sib.back() == hwnd) || after == hwnd)
      flags |= SWP_NOZORDER;
  }
  WINDOWPOS pos{hwnd, after, x, y, cx, cy, flags};
  if (flags & SWP_NOMOVE) {
    pos.x = w->rect.left;
    pos.y = w->rect.top;
  }
  if (flags & SWP_NOSIZE) {
    pos.cx = w->rect.right - w->rect.left;
    pos.cy = w->rect.bottom - w->rect.top;
  }
  if (!(flags & SWP_NOSENDCHANGING)) {
    Send(hwnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
    if (!(w = Find(hwnd))) return false;
  }
  flags = pos.flags;
  if (flags & SWP_NOMOVE) {
    pos.x = w->rect.left;
    pos.y = w->rect.top;
  }
  if (flags & SWP_NOSIZE) {
    pos.cx = w->rect.right - w->rect.left;
    pos.cy = w->rect.bottom - w->rect.top;
  }
  // Sizes and positions stay within the platform's coordinate range.
  pos.cx = std::clamp(pos.cx, 0, 32767);
  pos.cy = std::clamp(pos.cy, 0, 32767);
  pos.x = std::clamp(pos.x, -32768, 32767);
  pos.y = std::clamp(pos.y, -32768, 32767);
  RECT oldRect = w->rect, oldClient = w->client;
  RECT newRect{pos.x, pos.y, pos.x + pos.cx, pos.y + pos.cy};
  bool sized = (newRect.right - newRect.left != oldRect.right - oldRect.left) ||
               (newRect.bottom - newRect.top != oldRect.bottom - oldRect.top);
  bool moved = newRect.left != oldRect.left || newRect.top != oldRect.top;
  RECT newClient;
  if (sized || (flags & SWP_FRAMECHANGED)) {
    NCCALCSIZE_PARAMS p{};
    p.rgrc[0] = newRect;
    p.rgrc[1] = oldRect;
    p.rgrc[2] = oldClient;
    p.lppos = &pos;
    Send(hwnd, WM_NCCALCSIZE, TRUE, reinterpret_cast<LPARAM>(&p));
    if (!(w = Find(hwnd))) return false;
    newClient = p.rgrc[0];
    if (newClient.right < newClient.left) newClient.right = newClient.left;
    if (newClient.bottom < newClient.top) newClient.bottom = newClient.top;
  } else {
    newClient = oldClient;
    OffsetRect(&newClient, newRect.left - oldRect.left, newRect.top - oldRect.top);
  }
  bool clientSized = (newClient.right - newClient.left != oldClient.right - oldClient.left) ||
                     (newClient.bottom - newClient.top != oldClient.bottom - oldClient.top);
  bool clientMoved = newClient.left != oldClient.left || newClient.top != oldClient.top;
  if (!clientSized) pos.flags |= SWP_NOCLIENTSIZE;
  if (!clientMoved) pos.flags |= SWP_NOCLIENTMOVE;
  {
    std::lock_guard<std::recursive_mutex> g(Lock());
    w->rect = newRect;
    w->client = newClient;
    if (!(flags & SWP_NOZORDER)) {
      auto& sib = Siblings(*w);
      sib.erase(std::remove(sib.begin(), sib.end(), hwnd), sib.end());
      if (after == HWND_BOTTOM) {
        sib.push_back(hwnd);
      } else if (after == HWND_TOP || after == HWND_TOPMOST || after == HWND_NOTOPMOST) {
        if (after == HWND_TOPMOST) w->exStyle |= WS_EX_TOPMOST;
        if (after == HWND_NOTOPMOST) w->exStyle &= ~WS_EX_TOPMOST;
        size_t i = 0;
        if (!w->parent && !(w->exStyle & WS_EX_TOPMOST)) {
          while (i < sib.size()) {
            auto o = Find(sib[i]);
            if (!o || !(o->exStyle & WS_EX_TOPMOST)) break;
            ++i;
          }
        }
        sib.insert(sib.begin() + static_cast<long>(i), hwnd);
      } else {
        auto it = std::find(sib.begin(), sib.end(), after);
        if (it == sib.end())
          sib.insert(sib.begin(), hwnd);
        else
          sib.insert(it + 1, hwnd);
      }
    }
    if (flags & SWP_SHOWWINDOW) w->style |= WS_VISIBLE;
    if (flags & SWP_HIDEWINDOW) w->style &= ~WS_VISIBLE;
  }
  if (!w->parent) {
    if (sized || w->pixels.empty()) ResizeSurface(*w, oldRect.right - oldRect.left, oldRect.bottom - oldRect.top);
  }
  bool shown = (flags & SWP_SHOWWINDOW) != 0;
  bool hidden = (flags & SWP_HIDEWINDOW) != 0;
  // Activation of a top-level window.
  if (!w->parent && !(flags & SWP_NOACTIVATE) && (w->style & WS_VISIBLE) && !(w->style & WS_CHILD)) {
    Activate(hwnd, false);
    if (!(w = Find(hwnd))) return false;
  }
  // Painting.
  if (!(flags & SWP_NOREDRAW)) {
    if (shown) w->everShown = true;
    bool visibleNow = ReallyVisible(*w);
    if (w->parent) {
      if (hidden) InvalidateInParent(w->parent, oldRect);
      if (visibleNow && (moved || sized)) {
        InvalidateInParent(w->parent, oldRect);
        InvalidateInternal(hwnd, nullptr, true, true, true);
      }
      if (visibleNow && (shown || (flags & SWP_FRAMECHANGED)))
        InvalidateInternal(hwnd, nullptr, true, true, shown ? 2 : 1);
    } else if (visibleNow) {
      if (shown || sized || (flags & SWP_FRAMECHANGED)) {
        bool redrawAll = shown || (w->cls->style & (CS_HREDRAW | CS_VREDRAW)) || (flags & SWP_FRAMECHANGED);
        if (redrawAll) {
          // A window that appears needs all of its tree painted.
          InvalidateInternal(hwnd, nullptr, true, true, shown ? 2 : 1);
        } else {
          // Only what the new size uncovered needs painting; the frame always does.
          int ow = oldClient.right - oldClient.left, oh = oldClient.bottom - oldClient.top;
          int nw = newClient.right - newClient.left, nh = newClient.bottom - newClient.top;
          HRGN all = CreateRectRgn(0, 0, nw, nh);
          HRGN keep = CreateRectRgn(0, 0, ow, oh);
          CombineRgn(all, all, keep, RGN_DIFF);
          InvalidateInternal(hwnd, all, true, true, true);
          DeleteObject(all);
          DeleteObject(keep);
        }
        SendNcPaintAndErase(hwnd);
        if (!(w = Find(hwnd))) return false;
      }
    }
  }
  Send(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
  if (!(w = Find(hwnd))) return false;
  if (hidden) {
    HWND f = FocusWindow();
    if (w->parent && f && (f == hwnd || IsDescendant(hwnd, f))) SetFocus(w->parent);
    if (!w->parent && ActiveWindow() == hwnd) ActivateOther(hwnd);
  }
  return true;
}

}  // namespace kv::user

using namespace kv::user;

namespace {

// Changes the show state (minimised, maximised, restored): the new rectangle is returned
// and the style bits set. False when a CBT hook refuses it.
bool MinMaximize(HWND hwnd, int cmd, RECT* out) {
  auto w = Find(hwnd);
  if (!w) return false;
  if (CallHooks(WH_CBT, HCBT_MINMAX, reinterpret_cast<WPARAM>(hwnd), cmd)) return false;
  if (!(w = Find(hwnd))) return false;
  bool normalNow = !(w->style & (WS_MINIMIZE | WS_MAXIMIZE));
  if (normalNow) w->normal = w->rect;
  switch (cmd) {
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
    case SW_SHOWMINNOACTIVE:
    case SW_FORCEMINIMIZE: {
      if (w->style & WS_MAXIMIZE) w->maximized = true;  // restores to maximised
      w->style = (w->style & ~WS_MAXIMIZE) | WS_MINIMIZE;
      int x = w->parent ? 0 : -32000, y = w->parent ? 0 : -32000;
      *out = RECT{x, y, x + Metric(SM_CXMINIMIZED), y + Metric(SM_CYMINIMIZED)};
      return true;
    }
    case SW_MAXIMIZE: {
      MINMAXINFO mmi;
      GetMinMax(hwnd, &mmi);
      if (!(w = Find(hwnd))) return false;
      w->style = (w->style & ~WS_MINIMIZE) | WS_MAXIMIZE;
      w->maximized = false;
      *out = RECT{mmi.ptMaxPosition.x, mmi.ptMaxPosition.y, mmi.ptMaxPosition.x + mmi.ptMaxSize.x,
                  mmi.ptMaxPosition.y + mmi.ptMaxSize.y};
      return true;
    }
    default: {  // restore
      if ((w->style & WS_MINIMIZE) && w->maximized) {
        // A window minimised from the maximised state goes back to it.
        MINMAXINFO mmi;
        GetMinMax(hwnd, &mmi);
        if (!(w = Find(hwnd))) return false;
        w->maximized = false;
        w->style = (w->style & ~WS_MINIMIZE) | WS_MAXIMIZE;
        *out = RECT{mmi.ptMaxPosition.x, mmi.ptMaxPosition.y, mmi.ptMaxPosition.x + mmi.ptMaxSize.x,
                    mmi.ptMaxPosition.y + mmi.ptMaxSize.y};
        return true;
      }
      w->style &= ~(WS_MINIMIZE | WS_MAXIMIZE);
      *out = w->normal;
      return true;
    }
  }
}

}  // namespace

extern "C" {

BOOL SetWindowPos(HWND hwnd, HWND insert_after, int x, int y, int cx, int cy, UINT flags) {
  auto w = Get(hwnd);
  if (!w) return FALSE;
  if (w->tid != GetCurrentThreadId()) {
    SetLastError(ERROR_WINDOW_OF_OTHER_THREAD);
    return FALSE;
  }
  if (w->parent) flags |= SWP_NOACTIVATE;
  return SetPos(hwnd, insert_after, x, y, cx, cy, flags & ~SWP_STATECHANGED) ? TRUE : FALSE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
  return SetWindowPos(hwnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL BringWindowToTop(HWND hwnd) { return SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE); }

BOOL ShowWindow(HWND hwnd, int cmd) {
  auto w = Get(hwnd);
  if (!w) return FALSE;
  if (cmd < 0 || cmd > SW_MAX) {
    SetLastError(ERROR_INVALID_SHOWWIN_COMMAND);
    return FALSE;
  }
  BOOL wasVisible = (w->style & WS_VISIBLE) ? TRUE : FALSE;
  bool child = w->parent != nullptr;
  UINT flags = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER;
  RECT r = w->rect;
  bool show = true;
  switch (cmd) {
    case SW_HIDE:
      if (!wasVisible) return FALSE;
      show = false;
      flags |= SWP_HIDEWINDOW;
      if (child || ActiveWindow() != hwnd) flags |= SWP_NOACTIVATE;
      break;
    case SW_SHOWMINNOACTIVE:
    case SW_MINIMIZE:
    case SW_FORCEMINIMIZE: flags |= SWP_NOACTIVATE; [[fallthrough]];
    case SW_SHOWMINIMIZED:
      if (!(w->style & WS_MINIMIZE)) {
        if (!MinMaximize(hwnd, cmd, &r)) return wasVisible;
        flags = (flags & ~(SWP_NOSIZE | SWP_NOMOVE)) | SWP_FRAMECHANGED | SWP_STATECHANGED;
      }
      flags |= SWP_SHOWWINDOW;
      break;
    case SW_SHOWMAXIMIZED:
      if (!(w->style & WS_MAXIMIZE)) {
        if (!MinMaximize(hwnd, SW_MAXIMIZE, &r)) return wasVisible;
        flags = (flags & ~(SWP_NOSIZE | SWP_NOMOVE)) | SWP_FRAMECHANGED | SWP_STATECHANGED;
      }
      flags |= SWP_SHOWWINDOW;
      break;
    case SW_SHOWNA:
    case SW_SHOWNOACTIVATE:
      flags |= SWP_SHOWWINDOW | SWP_NOACTIVATE;
      if (cmd == SW_SHOWNOACTIVATE && (w->style & (WS_MINIMIZE | WS_MAXIMIZE))) {
        if (!MinMaximize(hwnd, SW_RESTORE, &r)) return wasVisible;
        flags = (flags & ~(SWP_NOSIZE | SWP_NOMOVE)) | SWP_FRAMECHANGED | SWP_STATECHANGED;
      }
      break;
    case SW_SHOW: flags |= SWP_SHOWWINDOW; break;
    default:  // SW_SHOWNORMAL, SW_RESTORE, SW_SHOWDEFAULT
      if (w->style & (WS_MINIMIZE | WS_MAXIMIZE)) {
        if (!MinMaximize(hwnd, SW_RESTORE, &r)) return wasVisible;
        flags = (flags & ~(SWP_NOSIZE | SWP_NOMOVE)) | SWP_FRAMECHANGED | SWP_STATECHANGED;
      }
      flags |= SWP_SHOWWINDOW;
      break;
  }
  if (child) flags |= SWP_NOACTIVATE | SWP_NOZORDER;
  if ((show && !wasVisible) || (!show && wasVisible)) {
    Send(hwnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    if (!Find(hwnd)) return wasVisible;
  }
  if (show && wasVisible && (flags & (SWP_NOSIZE | SWP_NOMOVE)) == (SWP_NOSIZE | SWP_NOMOVE) &&
      !(flags & SWP_STATECHANGED) && ((flags & SWP_NOACTIVATE) || ActiveWindow() == hwnd))
    return wasVisible;  // nothing changes
  SetPos(hwnd, HWND_TOP, r.left, r.top, r.right - r.left, r.bottom - r.top, flags);
  return wasVisible;
}

BOOL OpenIcon(HWND hwnd) {
  if (!Get(hwnd)) return FALSE;
  ShowWindow(hwnd, SW_SHOWNORMAL);
  return TRUE;
}

BOOL CloseWindow(HWND hwnd) {
  auto w = Get(hwnd);
  if (!w) return FALSE;
  if (w->parent) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ShowWindow(hwnd, SW_MINIMIZE);
  return TRUE;
}

BOOL GetWindowPlacement(HWND hwnd, WINDOWPLACEMENT* placement) {
  auto w = Get(hwnd);
  if (!w || !placement) return FALSE;
  placement->length = sizeof *placement;
  placement->flags = 0;
  placement->showCmd = !(w->style & WS_VISIBLE)   ? SW_HIDE
                       : (w->style & WS_MINIMIZE) ? SW_SHOWMINIMIZED
                       : (w->style & WS_MAXIMIZE) ? SW_SHOWMAXIMIZED
                                                  : SW_SHOWNORMAL;
  placement->ptMinPosition = POINT{-1, -1};
  placement->ptMaxPosition = POINT{-1, -1};
  placement->rcNormalPosition = (w->style & (WS_MINIMIZE | WS_MAXIMIZE)) ? w->normal : w->rect;
  return TRUE;
}

}  // extern "C"
