#include "skin/skin_form.h"

#include <algorithm>
#include <map>

#include "framework/controls/comctrls.h"
#include "framework/core/sysutils.h"
#include "skin/skin_control.h"
#include "skin/skin_manager.h"

namespace {

// The skinned windows, by window: the procedure's route to its skinner. An entry leaves
// the map when the skinner lets the window go, so a message never reaches a freed object.
std::map<HWND, TWinSkinForm*>& Skinners() {
  static std::map<HWND, TWinSkinForm*> s;
  return s;
}

// The subclassed MDI clients, by window, with the skinner of their frame.
std::map<HWND, TWinSkinForm*>& Clients() {
  static std::map<HWND, TWinSkinForm*> s;
  return s;
}

// A dialog template's modal frame style.
constexpr DWORD kModalFrame = 0x80;

TSkinManage* Manager() { return TSkinManage::Exists() ? TSkinManage::Instance() : nullptr; }

}  // namespace

// ---- TNCObject -----------------------------------------------------------------------------------

TNCObject::~TNCObject() {
  if (Owner && Owner->HotObject == this) Owner->HotObject = nullptr;
}

void TNCObject::MouseDown() {
  if (Owner->HotObject && Owner->HotObject != this) Owner->HotObject->MouseLeave();
  if (!Visible) return;
  Owner->HotObject = this;
  State = kPressed;
  Paint();
}

void TNCObject::MouseUp() {
  if (!Visible) return;
  State = kHot;
  Paint();
}

void TNCObject::MouseMove() {
  if (Owner->HotObject == this) return;
  if (Owner->HotObject) Owner->HotObject->MouseLeave();
  if (!Visible) return;
  Owner->HotObject = this;
  State = kHot;
  Paint();
}

void TNCObject::MouseLeave() {
  if (!Visible) return;
  if (Owner->HotObject == this) Owner->HotObject = nullptr;
  State = kNormal;
  Paint();
}

void TWinSysButton::Paint() {
  TDataSkinSysButton* e = Element;
  HDC dc = GetWindowDC(Owner->Wnd);
  if (!dc) return;
  if (e->Action == 3 || e->Action == 11) {
    Owner->DrawIcon(dc, Rect);
  } else if (e->HasImage()) {
    int frame = State;
    if (!Enabled) frame = e->Frames() > 3 ? 4 : 1;
    if (e->Visibility == 100 && State == kHot) frame = 4;
    DrawSkinImage(dc, Rect, e->Map.get(), false, false, true, e->Frames(), std::min(frame, e->Frames()),
                  TSkinMargins{});
  }
  ReleaseDC(Owner->Wnd, dc);
}

// ---- Set-up ----------------------------------------------------------------------------------------

TWinSkinForm::TWinSkinForm(TComponent* AOwner) : TComponent(AOwner) {
  DoubleClickTime = GetDoubleClickTime();
  NONCLIENTMETRICSA ncm{};
  ncm.cbSize = sizeof ncm;
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0))
    if (HFONT f = CreateFontIndirectA(&ncm.lfCaptionFont)) CaptionFont.SetHandle(f);
}

TWinSkinForm::~TWinSkinForm() {
  ClearControls();
  if (new_proc_) Detach();
  SysButtons.clear();
  SkinMenu.reset();
  hover_timer_.reset();
  if (RegionOwned && Region && !IsWindow(Wnd)) DeleteObject(Region);
  UnsubclassClient();
  Skinners().erase(Wnd);
}

void TWinSkinForm::AttachForm(TSkinData* Data, TCustomForm* AForm) {
  Form = AForm;
  if (Data->OnBeforeSkinForm) Data->OnBeforeSkinForm(Form, Wnd, SkinName);
  AttachWindow(Data);
  if (FrameSkinned) {
    old_form_proc_ = Form->WindowProc;
    Form->WindowProc = [this](TMessage& m) { FormHook(m); };
    form_hooked_ = true;
  }
  SavedColor = Form->Color();
  Form->SetColor(Data->Colour(csButtonFace));
}

void TWinSkinForm::AttachWindow(TSkinData* Data) {
  if (new_proc_) return;
  if (TSkinManage* m = Manager()) m->SetState(TSkinManage::kRunning);
  SkinData = Data;
  hover_timer_ = std::make_unique<TTimer>(nullptr);
  hover_timer_->SetEnabled(false);
  hover_timer_->SetInterval(250);
  hover_timer_->SetOnTimer([this](TObject*) { CheckHover(); });
  FrameSkinned = Data->SkinControls.Contains(xcMainMenu);
  Style = static_cast<DWORD>(GetWindowLongA(Wnd, GWL_STYLE));
  const DWORD ex = static_cast<DWORD>(GetWindowLongA(Wnd, GWL_EXSTYLE));
  RightToLeft = (ex & WS_EX_LEFTSCROLLBAR) != 0;
  IsChild = (Style & WS_CHILD) != 0;
  ClassNameText = SkinClassName(Wnd);
  OwnerWindow = GetWindow(Wnd, GW_OWNER);
  CaptionCaps = 0;
  if (Style & WS_SYSMENU) CaptionCaps |= 8;
  if (Style & WS_MINIMIZEBOX) CaptionCaps |= 2;
  if (Style & WS_MAXIMIZEBOX) CaptionCaps |= 1;
  if (ex & WS_EX_CONTEXTHELP) CaptionCaps |= 4;
  ShowStateFromPlacement();
  Sizeable = (Style & WS_THICKFRAME) != 0;
  for (HWND c = GetWindow(Wnd, GW_CHILD); c && !MDIClientWnd; c = GetWindow(c, GW_HWNDNEXT))
    if (SkinClassName(c) == "MDIClient") MDIClientWnd = c;
  if (MDIClientWnd) {
    MDIKind = 1;
    if (TSkinManage* m = Manager()) {
      m->MDIClient = MDIClientWnd;
      m->MDIFrameForm = Form;
    }
  } else if (ex & WS_EX_MDICHILD) {
    MDIKind = 2;
    if (Data->Options.Contains(xoMDIChildBorder)) FrameSkinned = false;
  }
  if ((Style & WS_CAPTION) != WS_CAPTION)
    FrameKind = 2;
  else if (Style & WS_THICKFRAME)
    FrameKind = 0;
  else if (Style & kModalFrame)
    FrameKind = 3;
  else
    FrameKind = 1;
  if (ex & WS_EX_DLGMODALFRAME) FrameKind = 3;
  if (ClassNameText == "#32770" || ClassNameText == "TMessageForm") {
    FrameKind = 3;
    IsDialog = true;
  }
  OSVERSIONINFOA v{};
  v.dwOSVersionInfoSize = sizeof v;
  GetVersionExA(&v);
  if (v.dwPlatformId == VER_PLATFORM_WIN32_NT && v.dwMajorVersion == 5 && v.dwMinorVersion == 0 &&
      ((ex & WS_EX_APPWINDOW) || (!OwnerWindow && MDIKind != 2)))
    CaptionCaps |= 16;
  UnicodeWindow = IsWindowUnicode(Wnd) != 0;
  if (TSkinManage* m = Manager(); m && m->HideWhileSkinning && !IsChild && FrameKind != 2 && FrameSkinned)
    SetWindowLongA(Wnd, GWL_STYLE, static_cast<LONG>(Style & ~WS_VISIBLE));
  if (!SkinIsNT()) Data->SkinControls >> xcSystemMenu;
  if (MDIKind == 1) {
    SavedMenuUpdate = Data->MenuUpdate;
    SubclassClient();
  }
  Skinners()[Wnd] = this;
  old_proc_ = reinterpret_cast<WNDPROC>((UnicodeWindow ? SetWindowLongPtrW : SetWindowLongPtrA)(
      Wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TWinSkinForm::Proc)));
  new_proc_ = true;
  if (FrameSkinned) {
    MenuHandle = GetMenu(Wnd);
    if (MenuHandle && MDIKind != 2) {
      SkinMenu = std::make_unique<TWinSkinMenu>(this, Data);
      MenuHeight = GetSystemMetrics(SM_CYMENU);
      if (Form) SkinMenu->FrameworkMenu = Form->Menu();
      SkinMenu->ReadItems();
    }
    LoadBorderMetrics();
  } else {
    Phase = phRunning;
  }
  if (MDIKind == 2) {
    // The child's caption row keeps at least the system's height.
    const int system = GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CXFRAME);
    if (FrameSkinned && TopHeight < system) MenuHeight = system - TopHeight;
    if (ShowState == 1)
      if (TSkinManage* m = Manager()) m->SetMaxChildMode(true);
  }
}

void TWinSkinForm::SubclassClient() {
  if (!MDIClientWnd || old_client_proc_) return;
  Clients()[MDIClientWnd] = this;
  old_client_proc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(MDIClientWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TWinSkinForm::ClientProc)));
}

void TWinSkinForm::UnsubclassClient() {
  if (!old_client_proc_) return;
  if (IsWindow(MDIClientWnd))
    SetWindowLongPtrA(MDIClientWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old_client_proc_));
  Clients().erase(MDIClientWnd);
  old_client_proc_ = nullptr;
  if (TSkinManage* m = Manager(); m && m->MDIClient == MDIClientWnd) {
    m->MDIClient = nullptr;
    m->MDIFrameForm = nullptr;
  }
}

bool TWinSkinForm::ActiveChildMaximized() {
  if (MDIKind != 1 || !IsWindow(MDIClientWnd)) return false;
  BOOL maximized = FALSE;
  HWND active =
      reinterpret_cast<HWND>(SendMessageA(MDIClientWnd, WM_MDIGETACTIVE, 0, reinterpret_cast<LPARAM>(&maximized)));
  return active && maximized;
}

LRESULT TWinSkinForm::ClientProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto it = Clients().find(hwnd);
  if (it == Clients().end()) return DefWindowProcA(hwnd, msg, wp, lp);
  return it->second->ClientWndProc(msg, wp, lp);
}

LRESULT TWinSkinForm::ClientWndProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
  HWND client = MDIClientWnd;
  WNDPROC old = old_client_proc_;
  auto passOn = [&] { return CallWindowProcA(old, client, Msg, wParam, lParam); };
  switch (Msg) {
    case WM_NCDESTROY: {
      LRESULT r = passOn();
      UnsubclassClient();
      return r;
    }
    case WM_NCCALCSIZE:
      if (FrameSkinned && !SkinData->Options.Contains(xoMDIScrollbar))
        SetWindowLongA(client, GWL_STYLE, GetWindowLongA(client, GWL_STYLE) & ~(WS_HSCROLL | WS_VSCROLL));
      return passOn();
    case WM_MDICREATE: SkinData->MenuUpdate = false; return passOn();
    case WM_MDIDESTROY: {
      LRESULT r = passOn();
      if (FrameSkinned) {
        if (TSkinManage* m = Manager()) m->SetMaxChildMode(ActiveChildMaximized());
        if (SkinMenu && !SendMessageA(client, WM_MDIGETACTIVE, 0, 0)) {
          SkinData->MenuUpdate = SavedMenuUpdate;
          SkinMenu->ReadItems();
        }
      }
      return r;
    }
    case WM_MDITILE:
    case WM_MDICASCADE:
      if (FrameSkinned)
        if (TSkinManage* m = Manager()) m->SetMaxChildMode(false);
      return passOn();
    case WM_MDISETMENU: {
      LRESULT r = passOn();
      if (FrameSkinned) {
        if (wParam && SkinMenu) {
          SkinMenu->MenuHandle = reinterpret_cast<HMENU>(wParam);
          SkinMenu->RefreshItems();
        }
        SetMenu(Wnd, nullptr);
      }
      return r;
    }
    case kRedrawClientMsg:
      RedrawWindow(client, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
      return 0;
    default: return passOn();
  }
}

void TWinSkinForm::LoadBorderMetrics() {
  if (!SkinData || !SkinData->SkinLoaded()) return;
  if (FrameKind == 2) {
    LeftWidth = TopHeight = RightWidth = BottomHeight = MenuHeight = 0;
  } else {
    auto* l = SkinData->Border(0);
    auto* r = SkinData->Border(1);
    auto* t = SkinData->Border(2);
    auto* b = SkinData->Border(3);
    TopHeight = t->Map->Height() / t->Frames();
    LeftWidth = l->Map->Width() / l->Frames();
    RightWidth = r->Map->Width() / r->Frames();
    BottomHeight = b->Map->Height() / b->Frames();
  }
  HotObject = nullptr;
  SysButtons.clear();
  for (const auto& e : SkinData->SysButtons()) {
    auto b = std::make_unique<TWinSysButton>(this, e.get());
    if (e->Action == 3 || e->Action == 11) {
      LoadIcon(&IconBitmap);
      if (!e->HasImage()) e->Map->Assign(&IconBitmap);
      e->Frame = 1;
    }
    SysButtons.push_back(std::move(b));
  }
}

void TWinSkinForm::LoadIcon(TBitmap* Bitmap) {
  const int w = GetSystemMetrics(SM_CXSMICON), h = GetSystemMetrics(SM_CYSMICON);
  Bitmap->SetPixelFormat(pf16bit);
  Bitmap->SetSize(w, h);
  RECT r{0, 0, w, h};
  HBRUSH magenta = CreateSolidBrush(kSkinMagenta);
  FillRect(Bitmap->Canvas()->Handle(), &r, magenta);
  DeleteObject(magenta);
  IconSize = w;
  IconHandle = reinterpret_cast<HICON>(SendMessageA(Wnd, WM_GETICON, ICON_SMALL, 0));
  if (!IconHandle) IconHandle = reinterpret_cast<HICON>(SendMessageA(Wnd, WM_GETICON, ICON_BIG, 0));
  if (IconHandle) {
    DrawIconEx(Bitmap->Canvas()->Handle(), 0, 0, IconHandle, w, h, 0, nullptr, DI_NORMAL);
  }
}

void TWinSkinForm::DrawIcon(HDC DC, const TRect& Rect) {
  if (IconHandle) DrawIconEx(DC, Rect.left, Rect.top, IconHandle, IconSize, IconSize, 0, nullptr, DI_NORMAL);
}

void TWinSkinForm::BuildRegion() {
  if (Phase == phDestroyed || !FrameSkinned) return;
  if (MDIKind == 2 && ShowState != 0) return;
  RECT wr{};
  GetWindowRect(Wnd, &wr);
  const int w = wr.right - wr.left, h = wr.bottom - wr.top;
  if (w <= 0 || h <= 0) return;
  if (w == RegionWidth && h == RegionHeight && MDIKind != 2 && Phase != phReskinning) return;
  // The window owns the region it was given; only one not yet handed over is deleted here.
  Region = nullptr;
  RegionOwned = false;
  auto* L = SkinData->Border(0);
  auto* R = SkinData->Border(1);
  auto* T = SkinData->Border(2);
  auto* B = SkinData->Border(3);
  HRGN region;
  if (R->Trans + T->Trans + 2 * L->Trans + B->Trans == 0) {
    region = CreateRectRgn(0, 0, w, h);
  } else {
    region = CreateRectRgn(LeftWidth, TopHeight, w - RightWidth, h - BottomHeight);
    if (FrameKind != 2) {
      struct Strip {
        int index;
        TRect rect;
        bool shaped;
      };
      const Strip strips[] = {
          {0, TRect{0, 0, LeftWidth, h}, L->Trans == 1 && h > 1},
          {1, TRect{w - RightWidth, 0, w, h}, R->Trans == 1 && h > 1},
          {3, TRect{LeftWidth, h - BottomHeight, w - RightWidth, h}, B->Trans == 1 && BottomHeight >= 2},
          {2, TRect{LeftWidth, 0, w - RightWidth, TopHeight},
           T->Trans == 1 && TopHeight > 1 && w - RightWidth > LeftWidth},
      };
      for (const Strip& s : strips) {
        const int sw = s.rect.right - s.rect.left, sh = s.rect.bottom - s.rect.top;
        if (sw <= 0 || sh <= 0) continue;
        HRGN part;
        if (s.shaped) {
          TBitmap scratch;
          scratch.SetSize(sw, sh);
          PaintBorder(s.index + 1, TRect{0, 0, sw, sh}, scratch.Canvas()->Handle());
          part = BitmapToRegion(&scratch, s.rect.left, s.rect.top, 1, kSkinMagenta);
        } else {
          part = CreateRectRgn(s.rect.left, s.rect.top, s.rect.right, s.rect.bottom);
        }
        CombineRgn(region, region, part, RGN_OR);
        DeleteObject(part);
      }
    }
  }
  RegionWidth = w;
  RegionHeight = h;
  if (SetWindowRgn(Wnd, region, TRUE)) {
    Region = region;
    RegionOwned = true;  // owned by the window from now on: never deleted here
  } else {
    DeleteObject(region);
  }
}

void TWinSkinForm::DropRegion() {
  if (!RegionOwned) return;
  SetWindowRgn(Wnd, nullptr, MDIKind == 2);  // the window deletes the region it owned
  Region = nullptr;
  RegionOwned = false;
  RegionWidth = RegionHeight = 0;
}

bool TWinSkinForm::AddControl(TSkinControl* Control) {
  if (std::find(Controls.begin(), Controls.end(), Control) != Controls.end()) return true;
  Controls.push_back(Control);
  return false;
}

void TWinSkinForm::RemoveControl(TSkinControl* Control) {
  Controls.erase(std::remove(Controls.begin(), Controls.end(), Control), Controls.end());
}

void TWinSkinForm::ClearControls() {
  while (!Controls.empty()) {
    TSkinControl* c = Controls.front();
    Controls.erase(Controls.begin());
    if (c->State() != 6) c->Detach();
    delete c;
  }
}

void TWinSkinForm::RepaintWindow() {
  InvalidateRect(Wnd, nullptr, TRUE);
  UpdateWindow(Wnd);
}

// What removing and detaching share: the system popup and the hover timer stop, the window
// and the form get their own procedures back, the controls' skinners go.
void TWinSkinForm::LetGoOfWindow() {
  FreeSystemPopup();
  if (hover_timer_) hover_timer_->SetEnabled(false);
  if (new_proc_) {
    if (form_hooked_ && Form) Form->WindowProc = old_form_proc_;
    form_hooked_ = false;
    (UnicodeWindow ? SetWindowLongPtrW : SetWindowLongPtrA)(Wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old_proc_));
    new_proc_ = false;
    Skinners().erase(Wnd);
  }
  ClearControls();
  if (Form) SetPopupOwnerDraw(Form, false);
}

void TWinSkinForm::Remove() {
  if (!FrameSkinned) {
    Unskin();
    return;
  }
  LetGoOfWindow();
  if (Form && Phase != phRemoving) Form->SetColor(SavedColor);
  UnsubclassClient();
  if (system_menu_taken_ && !(CaptionCaps & 16)) {
    SetWindowLongA(Wnd, GWL_STYLE, GetWindowLongA(Wnd, GWL_STYLE) | WS_SYSMENU);
  }
  // The menu given back takes the system's menu bar row in place of the skinned one.
  const bool menuBack = SkinMenu && SkinMenu->MenuHandle;
  if (SkinMenu) {
    if (menuBack) SetMenu(Wnd, SkinMenu->MenuHandle);
    SkinMenu.reset();
  }
  if (Phase != phRemoving && !(MDIKind != 2 && IsChild)) {
    RECT wr{};
    GetWindowRect(Wnd, &wr);
    const int w = wr.right - wr.left + SizeDelta.right - (LeftWidth + RightWidth);
    const int h = wr.bottom - wr.top + SizeDelta.bottom - (TopHeight + BottomHeight + (menuBack ? 0 : MenuHeight));
    if (ShowState == 0)
      SetWindowPos(Wnd, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_FRAMECHANGED | SWP_NOACTIVATE | SWP_NOZORDER);
    else
      SetWindowPos(Wnd, nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_FRAMECHANGED | SWP_NOACTIVATE | SWP_NOZORDER);
  }
  SetWindowRgn(Wnd, nullptr, TRUE);
  Region = nullptr;
  RegionOwned = false;
  Phase = phDestroyed;
}

void TWinSkinForm::Detach() {
  if (!FrameSkinned) {
    Unskin();
    return;
  }
  LetGoOfWindow();
  SkinMenu.reset();
  UnsubclassClient();  // the client's procedure never reaches a skinner that is gone
}

void TWinSkinForm::Unskin() {
  if (hover_timer_) hover_timer_->SetEnabled(false);
  ClearControls();
  if (Form) SetPopupOwnerDraw(Form, false);
  if (Form && Phase != phRemoving) Form->SetColor(SavedColor);
  if (new_proc_) {
    (UnicodeWindow ? SetWindowLongPtrW : SetWindowLongPtrA)(Wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old_proc_));
    new_proc_ = false;
    Skinners().erase(Wnd);
  }
  UnsubclassClient();
  if (Form && Phase != phRemoving)
    for (int i = 0; i < Form->ControlCount(); ++i) Form->Controls(i)->Invalidate();
  Phase = phDestroyed;
}

void TWinSkinForm::FreeSystemPopup() {
  // A popup being tracked is freed with the skinner, after its menu loop has returned.
  if (TPopupMenu::Tracking() != SystemPopup.get()) SystemPopup.reset();
}

void TWinSkinForm::ShowStateFromPlacement() {
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  if (!GetWindowPlacement(Wnd, &wp)) return;
  if (wp.showCmd == SW_SHOWMINIMIZED || wp.showCmd == SW_SHOWMINNOACTIVE || wp.showCmd == SW_SHOWNA)
    ShowState = 2;
  else if (wp.showCmd == SW_SHOWMAXIMIZED)
    ShowState = 1;
  else
    ShowState = 0;
}

LRESULT TWinSkinForm::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto it = Skinners().find(hwnd);
  if (it == Skinners().end()) return DefWindowProcA(hwnd, msg, wp, lp);
  return it->second->WndProc(msg, wp, lp);
}
