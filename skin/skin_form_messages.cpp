// The messages of a skinned window: the window procedure, hit testing, the mouse on the
// caption buttons and the menu bar, the system menu and the owner-drawn menu items.
#include <algorithm>
#include <functional>

#include "framework/controls/comctrls.h"
#include "skin/skin_control.h"
#include "skin/skin_form.h"
#include "skin/skin_manager.h"

namespace {
TSkinManage* Manager() { return TSkinManage::Exists() ? TSkinManage::Instance() : nullptr; }
}  // namespace

LRESULT TWinSkinForm::PassOn(UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (!old_proc_) return DefWindowProcA(Wnd, Msg, wParam, lParam);
  return CallWindowProcA(old_proc_, Wnd, Msg, wParam, lParam);
}

LRESULT TWinSkinForm::WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
  switch (Msg) {
    case WM_NCPAINT:
      if (Phase == phCreated) return 0;
      break;
    case WM_ERASEBKGND: {
      LRESULT r = PassOn(Msg, wParam, lParam);
      if (!Form) {
        RECT c{};
        GetClientRect(Wnd, &c);
        FillRect(reinterpret_cast<HDC>(wParam), &c, SkinData->FaceBrush());
        return 1;
      }
      return r;
    }
    case WM_NCDESTROY: {
      Phase = phRemoving;
      WNDPROC old = old_proc_;
      HWND w = Wnd;
      Detach();
      LRESULT r = CallWindowProcA(old, w, Msg, wParam, lParam);
      Phase = phDestroyed;
      return r;
    }
    case WM_NCACTIVATE:
      if (Phase == phCreated && MDIKind != 2) return 0;
      break;
    case 0x00AE: return 0;
    case WM_INITMENUPOPUP:
      if (TSkinManage* m = Manager()) m->SetMenuMode(reinterpret_cast<HMENU>(wParam) == SystemMenu ? 2 : 1);
      return PassOn(Msg, wParam, lParam);
    case WM_CTLCOLORBTN: {
      LRESULT r = PassOn(Msg, wParam, lParam);
      if (!Form) SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      return r;
    }
    case WM_CTLCOLORSTATIC: {
      LRESULT r = PassOn(Msg, wParam, lParam);
      if (!Form) {
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<LRESULT>(SkinData->FaceBrush());
      }
      return r;
    }
    case kStartMsg: Start(); return 0;
    case kRebuildScrollMsg: RebuildScrollSkinner(reinterpret_cast<HWND>(wParam)); return 0;
    case kSkinnedQueryMsg: PostMessageA(Wnd, kSkinnedNotifyMsg, 0, kSkinSignature); return 1;
    default: break;
  }
  if (!FrameSkinned) return PassOn(Msg, wParam, lParam);
  return Stage2(Msg, wParam, lParam);
}

LRESULT TWinSkinForm::Stage2(UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (IsChild && MDIKind != 2) return PassOn(Msg, wParam, lParam);
  switch (Msg) {
    case WM_SIZE: {
      LRESULT r = PassOn(Msg, wParam, lParam);
      ShowState = wParam == SIZE_MINIMIZED ? 2 : wParam == SIZE_MAXIMIZED ? 1 : 0;
      const bool maxMode = Manager() && Manager()->MaxChildMode();
      if (ShowState != 2 && !(MDIKind == 2 && (ShowState != 0 || maxMode)) &&
          (Phase == phRunning || Phase == phReskinning))
        BuildRegion();
      return r;
    }
    case WM_ACTIVATE: WindowActive = LOWORD(wParam) != 0; break;
    case WM_NCACTIVATE: WindowActive = wParam != 0; break;
    case WM_GETMINMAXINFO: {
      LRESULT r = PassOn(Msg, wParam, lParam);
      ShowStateFromPlacement();
      return r;
    }
    case WM_WINDOWPOSCHANGED: ShowStateFromPlacement(); return PassOn(Msg, wParam, lParam);
    case WM_SETICON: {
      LRESULT r = PassOn(Msg, wParam, lParam);
      LoadIcon(&IconBitmap);
      return r;
    }
    case WM_COMMAND: {
      const UINT code = LOWORD(wParam);
      if (code == SC_SIZE || code == SC_MOVE || code == SC_MINIMIZE || code == SC_MAXIMIZE || code == SC_NEXTWINDOW ||
          code == SC_PREVWINDOW || code == SC_CLOSE || code == SC_RESTORE) {
        PostMessageA(Wnd, WM_SYSCOMMAND, code, 0);
        return 0;
      }
      return PassOn(Msg, wParam, lParam);
    }
    case WM_SYSCOMMAND: return SysCommand(wParam, lParam);
    case kOpenMenuAtMsg: {
      POINT p = WindowPoint(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      if (!ButtonAt(p) && SkinMenu)
        if (TMenuBtn* item = SkinMenu->ItemAt(p)) OpenDropDown(item);
      return 0;
    }
    case 0xB015: {
      SkinData->NcRepaint = false;
      LRESULT r = PassOn(Msg, wParam, lParam);
      SkinData->NcRepaint = true;
      if (HMENU menu = GetMenu(Wnd)) {
        if (SkinMenu && SkinData->MenuUpdate) {
          SkinMenu->MenuHandle = menu;
          SkinMenu->ReadItems();
        }
        SetMenu(Wnd, nullptr);
      }
      return r;
    }
    default: break;
  }
  return Stage3(Msg, wParam, lParam);
}

LRESULT TWinSkinForm::Stage3(UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (Phase == phCreated || (MDIKind == 2 && ShowState == 1)) return PassOn(Msg, wParam, lParam);
  switch (Msg) {
    case WM_DRAWITEM: return DrawItem(wParam, lParam);
    case WM_MEASUREITEM: return MeasureItem(wParam, lParam);
    case WM_NCCALCSIZE: return NcCalcSize(wParam, lParam);
    case WM_NCHITTEST: return NcHitTest(wParam, lParam);
    case WM_NCPAINT:
      SystemMenuStyle(false);
      if (SkinData->NcRepaint) {
        if ((MDIKind == 2 && ShowState == 1) || FrameKind == 2) return PassOn(Msg, wParam, lParam);
        PaintFrame(nullptr);
      }
      return 0;
    case WM_NCACTIVATE:
      WindowActive = wParam != 0;
      if (hover_timer_) hover_timer_->SetEnabled(WindowActive);
      if (MDIKind == 1 && IsWindow(MDIClientWnd)) SendMessageA(MDIClientWnd, WM_NCACTIVATE, wParam, 0);
      if (MDIKind == 2) PassOn(Msg, wParam, lParam);
      if (!(MDIKind == 2 && ShowState == 1)) PaintFrame(nullptr);
      return 1;
    case WM_NCMOUSEMOVE:
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONUP:
    case WM_NCLBUTTONDBLCLK:
    case WM_NCRBUTTONDOWN: return NcMouse(Msg, wParam, lParam);
    case kRepaintFrameMsg: PaintFrame(nullptr); return 0;
    default: return PassOn(Msg, wParam, lParam);
  }
}

void TWinSkinForm::FormHook(TMessage& Message) {
  switch (Message.Msg) {
    case WM_SETTEXT:
      old_form_proc_(Message);
      if (IsWindowVisible(Wnd)) {
        // Only an MDI child has an MDI client to redraw it; any other window repaints its caption.
        if (ShowState == 1 && MDIKind == 2)
          PostMessageA(GetParent(Wnd), kRedrawClientMsg, reinterpret_cast<WPARAM>(Wnd), 0);
        else if (ShowState == 2 || ShowState == 1)
          PaintFrame(nullptr);
        else
          SetWindowPos(Wnd, nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
      }
      return;
    case kSkinChangeMsg:
      RefreshControls();
      Phase = phReskinning;
      if (FrameSkinned) {
        SetPopupOwnerDraw(Form, true);
        FitWindow(true);
        Form->SetHeight(Form->Height() + 1);
        Form->SetHeight(Form->Height() - 1);
      }
      SendMessageA(Wnd, kSkinnedNotifyMsg, 0, kSkinSignature);
      Phase = phRunning;
      return;
    case kPaintFrameOnMsg:
      if (Message.LParam == kSkinSignature) {
        PaintFrame(reinterpret_cast<HDC>(Message.WParam));
        Message.Result = kSkinSignature;
        return;
      }
      break;
    case kSkinProbeMsg: Message.Result = Message.LParam == kSkinSignature ? kSkinSignature : 1; return;
    case CM_DIALOGCHAR: DialogChar(Message); return;
    default: break;
  }
  old_form_proc_(Message);
}

// Alt with a character opens the skinned menu bar's item that has it as accelerator, by a
// press on the item; a character no item takes goes on to the form that owns the menus.
void TWinSkinForm::DialogChar(TMessage& Message) {
  old_form_proc_(Message);
  if (Message.Result != 0) return;
  if (SkinMenu && KeyDataToShiftState(Message.LParam) == TShiftState{ssAlt})
    for (auto& item : SkinMenu->Items) {
      if (item->Rect.right <= item->Rect.left) continue;
      const AnsiString caption(item->Caption.begin(), item->Caption.end());
      if (!IsAccel(Message.WParam, caption)) continue;
      RECT w{};
      GetWindowRect(Wnd, &w);
      PostMessageA(Wnd, WM_NCLBUTTONDOWN, HTMENU,
                   MAKELPARAM(w.left + item->Rect.left + 1, w.top + item->Rect.top + 1));
      Message.Result = 1;
      return;
    }
  TCustomForm* target = nullptr;
  if (MDIKind == 2) {
    if (TSkinManage::Exists()) target = TSkinManage::Instance()->MDIFrameForm;
  } else if (Form && Application && Form != Application->MainForm() && !Form->Modal()) {
    target = Application->MainForm();
  }
  if (target && target != Form) target->Perform(CM_DIALOGCHAR, Message.WParam, Message.LParam);
  Message.Result = 0;
}

void TWinSkinForm::Start() {
  SystemMenu = GetSystemMenu(Wnd, FALSE);
  LoadIcon(&IconBitmap);
  RECT c{}, w{};
  GetClientRect(Wnd, &c);
  GetWindowRect(Wnd, &w);
  ClientRect = TRect{c.left, c.top, c.right, c.bottom};
  SizeDelta = TRect{0, 0, (w.right - w.left) - (c.right - c.left), (w.bottom - w.top) - (c.bottom - c.top)};
  if (TSkinManage* m = Manager()) m->HideWhileSkinning = false;
  if (!(GetWindowLongA(Wnd, GWL_STYLE) & WS_VISIBLE) && (Style & WS_VISIBLE))
    SetWindowLongA(Wnd, GWL_STYLE, GetWindowLongA(Wnd, GWL_STYLE) | WS_VISIBLE);
  if (Form)
    SkinChildren();
  else
    SkinRawChildren(Wnd);
  if (Phase == phCreated && FrameSkinned) {
    if (MDIKind == 2 && ShowState == 1) {
      PostMessageA(GetParent(Wnd), kRedrawClientMsg, reinterpret_cast<WPARAM>(Wnd), 0);
    } else if (MDIKind == 2) {
      Phase = phResizing;
      FitWindow(false);
      Phase = phRunning;
      BuildRegion();
    } else if (!IsChild && FrameKind != 2 && ShowState != 2) {
      Phase = phResizing;
      FitWindow(false);
      Phase = phRunning;
      if (ShowState == 1)
        SetWindowPos(Wnd, nullptr, 0, 0, 0, 0, 0x37);
      else
        BuildRegion();
    }
  }
  SendMessageA(Wnd, kSkinnedNotifyMsg, 0, kSkinSignature);
  if (SkinData->OnAfterSkinForm) SkinData->OnAfterSkinForm(Form, Wnd, SkinName);
  Phase = phRunning;
  if (hover_timer_) hover_timer_->SetEnabled(true);
  if (FrameSkinned) RedrawWindow(Wnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
}

void TWinSkinForm::FitWindow(bool FromClient) {
  const UINT changed = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED;
  if (ShowState == 1) {
    SetWindowPos(Wnd, nullptr, 0, 0, 0, 0, changed);
    return;
  }
  RECT w{};
  GetWindowRect(Wnd, &w);
  if (IsDialog || Phase == phReskinning) {
    RECT c{};
    GetClientRect(Wnd, &c);
    ClientRect = TRect{c.left, c.top, c.right, c.bottom};
  }
  int width = ClientRect.right - ClientRect.left + LeftWidth + RightWidth;
  int clientHeight = ClientRect.bottom - ClientRect.top;
  if (FromClient) {
    RECT c{};
    GetClientRect(Wnd, &c);
    clientHeight = c.bottom - c.top;
  }
  int height = clientHeight + TopHeight + BottomHeight + MenuHeight;
  if (IsDialog && !FromClient) {
    WideString text = WindowTextW();
    HDC dc = GetWindowDC(Wnd);
    HGDIOBJ old = SelectObject(dc, CaptionFont.Handle());
    SIZE s{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &s);
    SelectObject(dc, old);
    ReleaseDC(Wnd, dc);
    const int need = SkinData->Title()->LeftMargin + s.cx + SkinData->Title()->RightMargin;
    if (width < need) {
      const int shift = (need - width) / 2;
      for (HWND c = GetWindow(Wnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        RECT r{};
        GetWindowRect(c, &r);
        POINT p{r.left, r.top};
        ScreenToClient(Wnd, &p);
        SetWindowPos(c, nullptr, p.x + shift, p.y, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOSENDCHANGING | SWP_NOOWNERZORDER);
      }
      width = need;
    }
  }
  SetWindowPos(Wnd, nullptr, w.left, w.top, width, height,
               SWP_FRAMECHANGED | SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE);
}

LRESULT TWinSkinForm::NcCalcSize(WPARAM wParam, LPARAM lParam) {
  LRESULT r = PassOn(WM_NCCALCSIZE, wParam, lParam);
  if (!wParam) return 0;
  auto* p = reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam);
  if ((MDIKind == 2 && ShowState != 0) || FrameKind == 2) {
    p->rgrc[1] = p->rgrc[0];
    return WVR_VALIDRECTS;
  }
  (void)r;
  const WINDOWPOS* pos = p->lppos;
  RECT client;
  if (pos)
    client = RECT{pos->x + LeftWidth, pos->y + TopHeight + MenuHeight, pos->x + pos->cx - RightWidth,
                  pos->y + pos->cy - BottomHeight};
  else
    client = RECT{p->rgrc[0].left, p->rgrc[0].top, p->rgrc[0].right, p->rgrc[0].bottom};
  if (client.right < client.left) client.right = client.left;
  if (client.bottom < client.top) client.bottom = client.top;
  p->rgrc[0] = client;
  p->rgrc[1] = client;
  return WVR_VALIDRECTS;
}

POINT TWinSkinForm::WindowPoint(POINT Screen) {
  POINT p = Screen;
  ScreenToClient(Wnd, &p);
  if (!(MDIKind == 2 && ShowState == 2)) {
    p.x += LeftWidth;
    p.y += TopHeight + MenuHeight;
  }
  return p;
}

TWinSysButton* TWinSkinForm::ButtonAt(POINT Point) {
  for (auto& b : SysButtons) {
    RECT r = b->Rect;
    if (b->Visible && b->Element->Action >= 0 && PtInRect(&r, Point)) return b.get();
  }
  return nullptr;
}

LRESULT TWinSkinForm::NcHitTest(WPARAM wParam, LPARAM lParam) {
  LRESULT r = PassOn(WM_NCHITTEST, wParam, lParam);
  if (r != HTNOWHERE && r != HTCAPTION) return r;
  POINT p = WindowPoint(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
  if (p.y > TopHeight && MenuHeight > 0) return HTMENU;
  if (p.y > 3) return HTCAPTION;
  return r;
}

LRESULT TWinSkinForm::NcMouse(UINT Msg, WPARAM wParam, LPARAM lParam) {
  const POINT screen{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  const POINT p = WindowPoint(screen);
  TWinSysButton* button = ButtonAt(p);
  TMenuBtn* item = !button && SkinMenu ? SkinMenu->ItemAt(p) : nullptr;
  TNCObject* object = button ? static_cast<TNCObject*>(button) : item;
  switch (Msg) {
    case WM_NCMOUSEMOVE:
      if (!WindowActive) return 0;
      if (object) {
        object->MouseMove();
        return 0;
      }
      if (HotObject) HotObject->MouseLeave();
      return PassOn(Msg, wParam, lParam);
    case WM_NCLBUTTONDOWN:
      if (object) {
        if (!WindowActive) SetForegroundWindow(Wnd);
        object->MouseDown();
        if (item) {
          OpenDropDown(item);
          HotObject = item;
        }
        return 0;
      }
      if (ShowState == 1 && wParam == HTCAPTION && WindowActive) wParam = HTMENU;
      return PassOn(Msg, wParam, lParam);
    case WM_NCLBUTTONUP:
      if (button && HotObject == button) {
        button->MouseUp();
        RunAction(*button, POINT{screen.x + 1, screen.y + 1});
      }
      if (object) return 0;
      return PassOn(Msg, wParam, lParam);
    case WM_NCLBUTTONDBLCLK:
      if (button) {
        if (button->Element->Action == 3 || button->Element->Action == 11) {
          if (hover_timer_) hover_timer_->SetEnabled(false);
          PostMessageA(Wnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        return 0;
      }
      if (ShowState != 0) {
        PostMessageA(Wnd, WM_SYSCOMMAND, SC_RESTORE, 0);
        ShowState = 0;
        return 0;
      }
      if (CaptionCaps & 1) {
        MaximizeToggle();
        return 0;
      }
      return PassOn(Msg, wParam, lParam);
    case WM_NCRBUTTONDOWN:
      if (wParam == HTCAPTION && MDIKind != 2) {
        ShowSystemMenu(screen);
        return 0;
      }
      return PassOn(Msg, wParam, lParam);
    default: return PassOn(Msg, wParam, lParam);
  }
}

void TWinSkinForm::MaximizeToggle() {
  if (ShowState == 1) {
    ShowState = 0;
    PostMessageA(Wnd, WM_SYSCOMMAND, SC_RESTORE, 0);
  } else {
    if (MDIKind == 2)
      if (TSkinManage* m = Manager()) m->SetMaxChildMode(true);
    ShowState = 1;
    PostMessageA(Wnd, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    HotObject = nullptr;
  }
}

void TWinSkinForm::MinimizeToggle() {
  if (ShowState == 2) {
    ShowState = 0;
    PostMessageA(Wnd, WM_SYSCOMMAND, SC_RESTORE, 0);
  } else {
    ShowState = 2;
    SystemMenuStyle(true);
    PostMessageA(Wnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  }
}

void TWinSkinForm::RunAction(TWinSysButton& Button, POINT At) {
  const int action = Button.Element->Action;
  switch (action) {
    case 0: {
      HMENU sys = SystemMenu ? SystemMenu : GetSystemMenu(Wnd, FALSE);
      OSVERSIONINFOA v{};
      v.dwOSVersionInfoSize = sizeof v;
      GetVersionExA(&v);
      const bool assume = !SkinIsNT() || v.dwMajorVersion < 5;
      if (assume || (sys && GetMenuState(sys, SC_CLOSE, MF_BYCOMMAND) != static_cast<UINT>(-1))) {
        if (hover_timer_) hover_timer_->SetEnabled(false);
        PostMessageA(Wnd, WM_SYSCOMMAND, SC_CLOSE, 0);
      }
      break;
    }
    case 1:
    case 22:
      if (Button.Enabled) MaximizeToggle();
      break;
    case 2:
    case 23:
      if (Button.Enabled) MinimizeToggle();
      break;
    case 3:
    case 11:
    case 12: ShowSystemMenu(At); break;
    case 4: PostMessageA(Wnd, WM_SYSCOMMAND, SC_CONTEXTHELP, 0); break;
    case 7:
    case 8:
    case 9:
    case 60:
    case 61:
    case 62:
      // The buttons of a maximised MDI child, on its frame's menu bar.
      if (MDIKind == 1 && IsWindow(MDIClientWnd))
        if (HWND child = reinterpret_cast<HWND>(SendMessageA(MDIClientWnd, WM_MDIGETACTIVE, 0, 0))) {
          const UINT cmd = action == 7 || action == 60   ? SC_MINIMIZE
                           : action == 8 || action == 61 ? SC_RESTORE
                                                         : SC_CLOSE;
          HotObject = nullptr;
          SendMessageA(child, WM_SYSCOMMAND, cmd, 0);
          RedrawWindow(Wnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
        }
      break;
    default: PostMessageA(Wnd, kButtonActionMsg, static_cast<WPARAM>(action), 0); break;
  }
}

void TWinSkinForm::ShowSystemMenu(POINT Screen) {
  const DWORD now = GetTickCount();
  if (now - LastSysMenuTick > DoubleClickTime) {
    if (TSkinManage* m = Manager()) m->SetMenuMode(2);
    LastSysMenuTick = now;
    BuildSystemPopup();
    if (SystemPopup->Items()->Count() > 0) SystemPopup->Popup(Screen.x, Screen.y);
  } else if (HotObject) {
    if (hover_timer_) hover_timer_->SetEnabled(false);
    PostMessageA(Wnd, WM_CLOSE, 0, 0);
  }
}

void TWinSkinForm::SystemMenuStyle(bool On) {
  if (CaptionCaps & 16) return;
  const LONG style = GetWindowLongA(Wnd, GWL_STYLE);
  if (!On && (style & WS_SYSMENU)) {
    system_menu_taken_ = true;
    SetWindowLongA(Wnd, GWL_STYLE, style & ~WS_SYSMENU);
  } else if (On && SystemMenu && !(style & WS_SYSMENU)) {
    SetWindowLongA(Wnd, GWL_STYLE, style | WS_SYSMENU);
  }
}

LRESULT TWinSkinForm::SysCommand(WPARAM wParam, LPARAM lParam) {
  if (!MenuTracking && (wParam & 0xFFF0) == SC_KEYMENU) {
    const WCHAR key = static_cast<WCHAR>(lParam);
    if (key != u' ' && key != u'-' && !GetCapture()) {
      TMenuBtn* item = nullptr;
      if (SkinMenu)
        item = key == 0 ? (SkinMenu->Items.empty() ? nullptr : SkinMenu->Items.front().get())
                        : SkinMenu->FindAccelItem(key);
      if (item || key == 0) {
        if (item) OpenDropDown(item);
        return 1;
      }
    } else if (key == u' ') {
      POINT p{0, 0};
      ClientToScreen(Wnd, &p);
      ShowSystemMenu(p);
      return 0;
    }
  }
  switch (wParam & 0xFFF0) {
    case SC_MINIMIZE: ShowState = 2; break;
    case SC_MAXIMIZE: ShowState = 1; break;
    case SC_RESTORE:
      ShowState = 0;
      if (MDIKind == 2)
        if (TSkinManage* m = Manager()) m->SetMaxChildMode(false);
      break;
    default: break;
  }
  return PassOn(WM_SYSCOMMAND, wParam, lParam);
}

void TWinSkinForm::CheckHover() {
  if (MenuTracking || !HotObject) return;
  POINT c{};
  GetCursorPos(&c);
  POINT p = WindowPoint(c);
  RECT r = HotObject->Rect;
  if (!PtInRect(&r, p)) {
    TNCObject* hot = HotObject;
    HotObject = nullptr;
    hot->MouseLeave();
  }
}

WideString TWinSkinForm::WindowTextW() {
  const int n = GetWindowTextLengthW(Wnd);
  WideString text(static_cast<size_t>(n) + 1, u'\0');
  GetWindowTextW(Wnd, text.data(), n + 1);
  text.resize(static_cast<size_t>(std::max(0, n)));
  return text;
}

// ---- Owner-drawn menu items -------------------------------------------------------------------------

namespace {

// The text of a menu item measured in the screen's menu font.
SIZE MenuTextExtent(HDC DC, const WideString& Text) {
  NONCLIENTMETRICSA ncm{};
  ncm.cbSize = sizeof ncm;
  SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0);
  HFONT font = CreateFontIndirectA(&ncm.lfMenuFont);
  HGDIOBJ old = SelectObject(DC, font);
  SIZE s{};
  GetTextExtentPoint32W(DC, Text.c_str(), static_cast<int>(Text.size()), &s);
  SelectObject(DC, old);
  DeleteObject(font);
  return s;
}

}  // namespace

LRESULT TWinSkinForm::MeasureItem(WPARAM wParam, LPARAM lParam) {
  auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
  if (!mis || mis->CtlType != ODT_MENU || !(SkinMenu || TrackedPopup)) return PassOn(WM_MEASUREITEM, wParam, lParam);
  TDataSkinObject* item = SkinData->Element("MenuItem");
  WideString text;
  TMenuItem* fw = Form && SkinMenu && SkinMenu->FrameworkMenu
                      ? SkinMenu->FrameworkMenu->FindItem(static_cast<WORD>(mis->itemID))
                      : nullptr;
  if (fw) {
    text = WideString(fw->Caption().begin(), fw->Caption().end());
  } else if (TrackedPopup) {
    char buffer[81] = {};
    GetMenuStringA(TrackedPopup, mis->itemID, buffer, 80, MF_BYCOMMAND);
    AnsiString a = buffer;
    text = WideString(a.begin(), a.end());
  }
  HDC dc = GetWindowDC(Wnd);
  const SIZE s = MenuTextExtent(dc, text);
  ReleaseDC(Wnd, dc);
  mis->itemWidth = static_cast<UINT>(s.cx + 26 + 16 + (item ? item->LeftMargin : 0));
  if (text.empty() || text == u"-")
    mis->itemHeight = 8;
  else
    mis->itemHeight = static_cast<UINT>(std::max<int>(GetSystemMetrics(SM_CYMENU), s.cy + 4) + 4);
  if (!SkinIsNT()) mis->itemHeight += 4;  // the 9x family draws its menu items 4 pixels taller
  return 1;
}

LRESULT TWinSkinForm::DrawItem(WPARAM wParam, LPARAM lParam) {
  auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
  if (!dis || dis->CtlType != ODT_MENU) return PassOn(WM_DRAWITEM, wParam, lParam);
  HMENU menu = reinterpret_cast<HMENU>(dis->hwndItem);
  TSkinManage* m = Manager();
  if (m) m->AttachPopupMenu(menu);
  WideString caption;
  TMenuItem* fw = Form && SkinMenu && SkinMenu->FrameworkMenu
                      ? SkinMenu->FrameworkMenu->FindItem(static_cast<WORD>(dis->itemID))
                      : nullptr;
  if (fw) {
    caption = WideString(fw->Caption().begin(), fw->Caption().end());
  } else {
    char buffer[81] = {};
    GetMenuStringA(menu, dis->itemID, buffer, 80, MF_BYCOMMAND);
    AnsiString a = buffer;
    caption = a.empty() ? WideString(u"-") : WideString(a.begin(), a.end());
  }
  PaintSkinMenuItem(SkinData, dis->hDC, TRect{dis->rcItem.left, dis->rcItem.top, dis->rcItem.right, dis->rcItem.bottom},
                    caption, (dis->itemState & ODS_SELECTED) != 0, !(dis->itemState & (ODS_GRAYED | ODS_DISABLED)),
                    (dis->itemState & ODS_CHECKED) != 0, m ? m->PopupBackground(menu) : nullptr);
  return 1;
}

namespace {

TWinSkinForm* SkinnerOfWindow(HWND Window) {
  return TSkinManage::Exists() ? TSkinManage::Instance()->FindSkinned(Window) : nullptr;
}

// The events a skinned form gives the items of its popup menus. They find the skinner by
// window when they run, so a popup that outlives it never reaches a freed skinner.
struct PopupItemPainter {
  HWND Owner;
  void operator()(TObject* Sender, TCanvas* Canvas, const TRect& Rect, bool Selected) const {
    auto* item = static_cast<TMenuItem*>(Sender);
    const WideString caption(item->Caption().begin(), item->Caption().end());
    HDC dc = Canvas->Handle();
    TWinSkinForm* skinner = SkinnerOfWindow(Owner);
    if (!skinner) {  // the form went plain while the menu was open: the system's colours
      RECT r{Rect.left, Rect.top, Rect.right, Rect.bottom};
      FillRect(dc, &r, GetSysColorBrush(Selected ? COLOR_HIGHLIGHT : COLOR_MENU));
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, GetSysColor(!item->Enabled() ? COLOR_GRAYTEXT : Selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
      r.left += 20;
      DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &r, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
      return;
    }
    TBitmap* background = nullptr;
    if (TMenu* menu = item->GetParentMenu(); menu && item->Parent() == menu->Items() && menu->HandleAllocated()) {
      TSkinManage::Instance()->AttachPopupMenu(menu->Handle());
      background = TSkinManage::Instance()->PopupBackground(menu->Handle());
    }
    TMenu* menu = item->GetParentMenu();
    PaintSkinMenuItem(skinner->SkinData, dc, Rect, caption, Selected, item->Enabled(), item->Checked(), background,
                      menu ? menu->Images : nullptr, item->ImageIndex);
  }
};

struct PopupItemMeasurer {
  HWND Owner;
  void operator()(TObject* Sender, TCanvas* Canvas, int& Width, int& Height) const {
    auto* item = static_cast<TMenuItem*>(Sender);
    HDC dc = Canvas->HandleAllocated() ? Canvas->Handle() : GetDC(nullptr);
    const SIZE text = MenuTextExtent(dc, WideString(item->Caption().begin(), item->Caption().end()));
    if (!Canvas->HandleAllocated()) ReleaseDC(nullptr, dc);
    TWinSkinForm* skinner = SkinnerOfWindow(Owner);
    TDataSkinObject* element = skinner ? skinner->SkinData->Element("MenuItem") : nullptr;
    // Popup menus here have no image list: the glyph column's room is added.
    Width = text.cx + (element ? element->LeftMargin : 0) + 10 + 25;
    Height = std::max<int>(GetSystemMetrics(SM_CYMENU), text.cy + 4);
  }
};

// The system-item measurer: the caption in the menu font, the glyph column, the skin's
// item margin and the fixed room of a system item (more when the menu has no images).
struct SystemItemMeasurer {
  HWND Owner;
  void operator()(TObject* Sender, TCanvas* Canvas, int& Width, int& Height) const {
    auto* item = static_cast<TMenuItem*>(Sender);
    if (item->IsLine()) {
      Height = 8;
      return;
    }
    HDC dc = Canvas->HandleAllocated() ? Canvas->Handle() : GetDC(nullptr);
    const SIZE text = MenuTextExtent(dc, WideString(item->Caption().begin(), item->Caption().end()));
    if (!Canvas->HandleAllocated()) ReleaseDC(nullptr, dc);
    TWinSkinForm* skinner = SkinnerOfWindow(Owner);
    TDataSkinObject* element = skinner ? skinner->SkinData->Element("MenuItem") : nullptr;
    TMenu* menu = item->GetParentMenu();
    const int glyph = menu && menu->Images ? menu->Images->Width() : 16;
    Width = text.cx + glyph + (element ? element->LeftMargin : 0) + 12 + (menu && menu->Images ? 0 : 23);
    Height = std::max<int>(GetSystemMetrics(SM_CYMENU), text.cy + 4);
  }
};

}  // namespace

void TWinSkinForm::BuildSystemPopup() {
  if (!SystemPopup) {
    SystemPopup = std::make_unique<TPopupMenu>(nullptr);
    SystemPopup->SetTag(33333);
  }
  SystemPopup->Images = SkinData->MenuGlyphs();
  SystemPopup->Items()->Clear();
  auto add = [this](const AnsiString& Caption, int Tag, int Image, bool Enabled, bool Checked,
                    std::function<void()> Click) {
    auto* item = new TMenuItem(SystemPopup.get());
    item->SetCaption(Caption);
    item->SetTag(Tag);
    item->ImageIndex = Image;
    item->SetEnabled(Enabled);
    item->SetChecked(Checked);
    item->OnDrawItem = PopupItemPainter{Wnd};
    item->OnMeasureItem = SystemItemMeasurer{Wnd};
    if (Click) item->OnClick = [Click](TObject*) { Click(); };
    SystemPopup->Items()->Add(item);
  };
  OSVERSIONINFOA v{};
  v.dwOSVersionInfoSize = sizeof v;
  GetVersionExA(&v);
  if (v.dwPlatformId == VER_PLATFORM_WIN32_NT && v.dwMajorVersion < 5) {
    // The fixed menu of the older NT family.
    add(" Restore ", 0, 0, true, false, [this] {
      ShowState = 0;
      PostMessageA(Wnd, WM_SYSCOMMAND, SC_RESTORE, 0);
    });
    if (CaptionCaps & 1) add(" Maximize ", 1, 1, true, false, [this] { MaximizeToggle(); });
    if (CaptionCaps & 2) add(" Minimize ", 2, 2, true, false, [this] { MinimizeToggle(); });
    add("-", 100, -1, true, false, nullptr);
    add(" Close \tALT+F4", 3, 3, true, false, [this] {
      if (hover_timer_) hover_timer_->SetEnabled(false);
      PostMessageA(Wnd, WM_CLOSE, 0, 0);
    });
    return;
  }
  if (!SystemMenu) return;
  const int count = GetMenuItemCount(SystemMenu);
  for (int i = 0; i < count; ++i) {
    char text[81] = {};
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STATE | MIIM_ID | MIIM_TYPE;
    info.dwTypeData = text;
    info.cch = 80;
    if (!GetMenuItemInfoA(SystemMenu, static_cast<UINT>(i), TRUE, &info)) continue;
    const UINT id = info.wID;
    int image = -1;
    bool enabled = (info.fState & MFS_GRAYED) == 0;  // grayed, disabled, or either with a check mark
    switch (id) {
      case SC_SIZE:
      case SC_MOVE: enabled = ShowState != 1; break;
      case SC_MINIMIZE:
        image = 2;
        enabled = ShowState != 2 && (CaptionCaps & 2);
        break;
      case SC_MAXIMIZE:
        image = 1;
        enabled = ShowState != 1 && (CaptionCaps & 1);
        break;
      case SC_CLOSE: image = 3; break;
      case SC_RESTORE:
        image = 0;
        enabled = ShowState != 0;
        break;
      default: break;
    }
    add(text[0] ? AnsiString(text) : AnsiString("-"), static_cast<int>(id), image, enabled,
        (info.fState & MFS_CHECKED) != 0, [this, id] { PostMessageA(Wnd, WM_SYSCOMMAND, id, 0); });
  }
}

void TWinSkinForm::SetPopupOwnerDraw(TComponent* Container, bool On) {
  if (ClassNameText == "TwwRichEditForm") return;
  for (int i = 0; i < Container->ComponentCount(); ++i) {
    TComponent* c = Container->Components(i);
    if (dynamic_cast<TCustomForm*>(c)) SetPopupOwnerDraw(c, On);
    auto* popup = dynamic_cast<TPopupMenu*>(c);
    if (!popup || (On && (popup->Tag() == SkinData->DisableTag || !SkinData->SkinControls.Contains(xcPopupMenu))))
      continue;
    std::vector<TMenuItem*> pending;
    for (int k = 0; k < popup->Items()->Count(); ++k) pending.push_back(popup->Items()->Items(k));
    while (!pending.empty()) {
      TMenuItem* item = pending.back();
      pending.pop_back();
      for (int k = 0; k < item->Count(); ++k) pending.push_back(item->Items(k));
      if (On) {
        item->OnDrawItem = PopupItemPainter{Wnd};
        if (!item->OnMeasureItem) item->OnMeasureItem = PopupItemMeasurer{Wnd};
      } else {
        // Only the skin's own events go: a measurer of the application's stays.
        if (item->OnDrawItem.target<PopupItemPainter>()) item->OnDrawItem = nullptr;
        if (item->OnMeasureItem.target<PopupItemMeasurer>()) item->OnMeasureItem = nullptr;
      }
    }
    popup->MenuChanged();  // an existing handle is built again with the items' new kind
  }
}

void PaintSkinMenuItem(TSkinData* Data, HDC DC, const TRect& Rect, const WideString& Caption, bool Selected,
                       bool Enabled, bool Checked, TBitmap* Background, TCustomImageList* Images, int ImageIndex) {
  const int w = Rect.right - Rect.left, h = Rect.bottom - Rect.top;
  if (w <= 0 || h <= 0) return;
  TBitmap item;
  item.SetSize(w, h);
  HDC dc = item.Canvas()->Handle();
  TDataSkinObject* element = Data->Element("MenuItem");
  RECT all{0, 0, w, h};
  if (element && Background) {
    BitBlt(dc, 0, 0, w, h, Background->Canvas()->Handle(), Rect.left + 3, Rect.top + 3, SRCCOPY);
  } else {
    HBRUSH b = CreateSolidBrush(SkinColorToRGB(Data->Colour(element || !Selected ? csMenu : csHilight)));
    FillRect(dc, &all, b);
    DeleteObject(b);
  }
  if (Caption == u"-") {
    RECT line{0, h / 2 - 1, w, h / 2 + 1};
    DrawEdge(dc, &line, EDGE_ETCHED, BF_TOP);
  } else {
    if (element)
      DrawSkinImage(dc, TRect{0, 0, w, h}, element->Map.get(), false, element->Tile != 0, element->Trans != 0,
                    element->Frames(), Selected ? 4 : 1, element->Margins());
    const int glyphLeft = 1 + (element ? element->LeftMargin : 0);
    const bool image = Images && ImageIndex >= 0 && ImageIndex < Images->Count();
    if (image) {
      const int top = std::max(1, (h - Images->Height()) / 2);
      if (Checked) {
        RECT box{glyphLeft - 1, top - 1, glyphLeft + Images->Width() + 1, top + Images->Height() + 1};
        FillRect(dc, &box, GetSysColorBrush(COLOR_BTNHIGHLIGHT));
        DrawEdge(dc, &box, BDR_SUNKENOUTER, BF_RECT);
      }
      Images->Draw(item.Canvas(), glyphLeft, top, ImageIndex, Enabled);
    } else if (Checked) {
      RECT c{glyphLeft + 4, h / 2 - 3, glyphLeft + 10, h / 2 + 3};
      HBRUSH b = CreateSolidBrush(SkinColorToRGB(Data->Colour(csButtonText)));
      FillRect(dc, &c, b);
      DeleteObject(b);
    }
    NONCLIENTMETRICSA ncm{};
    ncm.cbSize = sizeof ncm;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0);
    HFONT font = CreateFontIndirectA(&ncm.lfMenuFont);
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    TColor colour = !Enabled   ? Data->Colour(csButtonShadow)
                    : Selected ? Data->Colour(csHilightText)
                               : Data->Colour(csMenuText);
    if (!Enabled && Data->Colour(csButtonShadow) == Data->Colour(csMenuText)) colour = static_cast<TColor>(0xFF000010);
    SetTextColor(dc, SkinColorToRGB(colour));
    WideString text = Caption, shortcut;
    if (size_t tab = text.find(u'\t'); tab != WideString::npos) {
      shortcut = text.substr(tab + 1);
      text.resize(tab);
    }
    RECT t{glyphLeft + 16 + 3, 0, w - 1, h};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &t,
              DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_EXPANDTABS);
    if (!shortcut.empty()) {
      RECT s{t.left, 0, w - 11, h};
      DrawTextW(dc, shortcut.c_str(), static_cast<int>(shortcut.size()), &s, DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
    }
    SelectObject(dc, old);
    DeleteObject(font);
  }
  BitBlt(DC, Rect.left, Rect.top, w, h, dc, 0, 0, SRCCOPY);
}
