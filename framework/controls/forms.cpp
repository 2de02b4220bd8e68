#include "framework/controls/forms.h"

#include <algorithm>

#include "framework/controls/controls_internal.h"
#include "framework/core/sysutils.h"
#include "framework/core/threads.h"
#include "platform/base/error.h"
#include "platform/base/module.h"

namespace {

const char kAppClass[] = "TApplication";

// The application and screen objects live as long as the module: a library frees them
// when it is unloaded, an executable leaves them to the end of the process.
struct ModuleObjects {
  TScreen* screen;
  TApplication* application;
  ModuleObjects() {
    FrameworkInLibrary();  // decided while the platform is whole
    screen = new TScreen(nullptr);
    application = new TApplication(nullptr);
  }
  ~ModuleObjects() {
    if (!FrameworkInLibrary()) return;
    delete application;
    delete screen;
  }
};

ModuleObjects& Objects() {
  static ModuleObjects objects;
  return objects;
}

TScreen& ScreenObject() { return *Objects().screen; }
TApplication& ApplicationObject() { return *Objects().application; }

std::vector<TCustomForm*>& PendingReleases() {
  // Forms live on the GUI thread; plain module data, as in controls.cpp.
  static std::vector<TCustomForm*> forms;
  return forms;
}

}  // namespace

TCustomForm* TControl::GetParentForm() const { return dynamic_cast<TCustomForm*>(FormRoot()); }

void HandleControlException(TObject* Sender) { Application->HandleException(Sender); }

void ReleasePendingForms() {
  auto forms = std::move(PendingReleases());
  PendingReleases().clear();
  for (TCustomForm* f : forms) delete f;
}

TScreen* Screen = &ScreenObject();
TApplication* Application = &ApplicationObject();

// ---- Scroll bars --------------------------------------------------------------------------------------

void TControlScrollBar::SetVisible(bool Value) {
  if (visible_ == Value) return;
  visible_ = Value;
  if (!control_->HandleAllocated()) return;
  HWND h = control_->Handle();
  LONG bit = kind_ == sbHorizontal ? WS_HSCROLL : WS_VSCROLL;
  LONG style = GetWindowLongA(h, GWL_STYLE);
  SetWindowLongA(h, GWL_STYLE, Value ? (style | bit) : (style & ~bit));
  SetWindowPos(h, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

TScrollingWinControl::TScrollingWinControl(TComponent* AOwner)
    : TWinControl(AOwner), horz_(this, sbHorizontal), vert_(this, sbVertical) {
  control_style_ << csAcceptsControls;
  // A scroll bar shows only when it is asked for.
  horz_.SetVisible(false);
  vert_.SetVisible(false);
}

void TScrollingWinControl::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  if (horz_.Visible()) Params.Style |= WS_HSCROLL;
  if (vert_.Visible()) Params.Style |= WS_VSCROLL;
}

// ---- TCustomForm ----------------------------------------------------------------------------------------

TCustomForm::TCustomForm(TComponent* AOwner) : TScrollingWinControl(AOwner), canvas_(std::make_unique<TCanvas>()) {
  visible_ = false;
  parent_color_ = false;
  parent_font_ = false;
  color_ = clBtnFace;
  brush_->SetColor(color_);
  width_ = 320;
  height_ = 240;
  Screen->AddForm(this);
}

TCustomForm::~TCustomForm() {
  Destroying();
  if (created_ && OnDestroy) {
    try {
      OnDestroy(this);
    } catch (...) {
      Application->HandleException(this);
    }
  }
  if (Application->MainForm() == this) Application->SetMainForm(nullptr);
  if (menu_) menu_->WindowHandle = nullptr;
  menu_ = nullptr;
  Screen->RemoveForm(this);
  active_control_ = nullptr;
  focused_control_ = nullptr;
  // One DestroyWindow for the whole tree, while every control is still whole.
  if (handle_) DestroyWindowHandle();
  DestroyComponents();
}

void TCustomForm::DoCreate() {
  if (created_) return;
  created_ = true;
  // An exception in OnCreate is reported and the form stays: the program goes on with it.
  try {
    if (OnCreate) OnCreate(this);
  } catch (...) {
    Application->HandleException(this);
  }
}

DWORD TCustomForm::FrameStyle() const {
  DWORD style = 0;
  switch (border_style_) {
    case bsNone: style = WS_POPUP; break;
    case bsSingle:
    case bsToolWindow: style = WS_CAPTION | WS_BORDER; break;
    case bsSizeable:
    case bsSizeToolWin: style = WS_CAPTION | WS_THICKFRAME; break;
    case bsDialog: style = WS_POPUP | WS_CAPTION; break;
  }
  if (border_style_ != bsNone && border_icons_.Contains(biSystemMenu)) {
    style |= WS_SYSMENU;
    if (border_style_ != bsDialog && border_style_ != bsToolWindow && border_style_ != bsSizeToolWin) {
      if (border_icons_.Contains(biMinimize)) style |= WS_MINIMIZEBOX;
      if (border_icons_.Contains(biMaximize)) style |= WS_MAXIMIZEBOX;
    }
  }
  return style;
}

DWORD TCustomForm::FrameExStyle() const {
  DWORD ex = 0;
  if (border_style_ == bsDialog) ex |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
  if (border_style_ == bsToolWindow || border_style_ == bsSizeToolWin) ex |= WS_EX_TOOLWINDOW;
  if (border_style_ == bsDialog && border_icons_.Contains(biHelp)) ex |= WS_EX_CONTEXTHELP;
  if (form_style_ == fsStayOnTop) ex |= WS_EX_TOPMOST;
  return ex;
}

void TCustomForm::CreateParams(TCreateParams& Params) {
  TScrollingWinControl::CreateParams(Params);
  Params.WindowClass.style = CS_DBLCLKS;
  if (!parent_ && !parent_window_) {
    Params.Style &= ~static_cast<DWORD>(WS_CHILD | WS_GROUP | WS_TABSTOP);
    Params.WndParent = Application->HandleAllocated() ? Application->Handle() : nullptr;
    if (Params.WndParent == handle_) Params.WndParent = nullptr;
  }
  Params.Style |= FrameStyle();
  Params.ExStyle |= FrameExStyle();
  Params.Style &= ~static_cast<DWORD>(WS_VISIBLE);
  if (position_ == poDefault || position_ == poDefaultPosOnly) {
    Params.X = CW_USEDEFAULT;
    Params.Y = CW_USEDEFAULT;
  }
}

void TCustomForm::CreateWnd() {
  TScrollingWinControl::CreateWnd();
  if (form_style_ == fsMDIForm) {
    CLIENTCREATESTRUCT ccs{nullptr, 0xFF00};
    RECT r;
    GetClientRect(handle_, &r);
    client_handle_ = CreateWindowExA(WS_EX_CLIENTEDGE, "MDIClient", nullptr,
                                     WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, r.right, r.bottom,
                                     handle_, nullptr, FrameworkInstance(), &ccs);
    if (!client_handle_) throw EOSError("Cannot create the MDI client", GetLastError());
  }
  if (menu_) {
    menu_->WindowHandle = handle_;
    ::SetMenu(handle_, menu_->Handle());
  }
  if (icon_) SendMessageA(handle_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
}

void TCustomForm::CreateWindowHandle(const TCreateParams& Params) {
  if (form_style_ != fsMDIChild) {
    TScrollingWinControl::CreateWindowHandle(Params);
    return;
  }
  TCustomForm* frame = Application->MainForm();
  if (!frame || frame == this || frame->form_style_ != fsMDIForm || !frame->HandleAllocated() || !frame->client_handle_)
    throw EInvalidOperation("Cannot create form. No MDI forms are currently active");
  MDICREATESTRUCTA m{Params.WinClassName.c_str(),
                     Params.Caption.c_str(),
                     Params.WindowClass.hInstance,
                     Params.X,
                     Params.Y,
                     Params.Width,
                     Params.Height,
                     Params.Style,
                     reinterpret_cast<LPARAM>(Params.Param)};
  TWinControl* saved = controls_internal::creating_control;
  controls_internal::creating_control = this;
  HWND h = reinterpret_cast<HWND>(SendMessageA(frame->client_handle_, WM_MDICREATE, 0, reinterpret_cast<LPARAM>(&m)));
  controls_internal::creating_control = saved;
  if (h && !handle_) {
    handle_ = h;
    SetPropA(h, ControlAtomName(), this);
  } else if (!h) {
    handle_ = nullptr;
  }
}

void TCustomForm::DestroyWindowHandle() {
  client_handle_ = nullptr;  // destroyed with the form's window
  TScrollingWinControl::DestroyWindowHandle();
}

void TCustomForm::DefaultHandler(TMessage& Message) {
  if (handle_ && form_style_ == fsMDIForm && client_handle_) {
    Message.Result = DefFrameProcA(handle_, client_handle_, Message.Msg, Message.WParam, Message.LParam);
    return;
  }
  if (handle_ && form_style_ == fsMDIChild && (GetWindowLongA(handle_, GWL_EXSTYLE) & WS_EX_MDICHILD)) {
    Message.Result = DefMDIChildProcA(handle_, Message.Msg, Message.WParam, Message.LParam);
    return;
  }
  TScrollingWinControl::DefaultHandler(Message);
}

TCustomForm* TCustomForm::ActiveMDIChild() {
  if (!client_handle_) return nullptr;
  HWND h = reinterpret_cast<HWND>(SendMessageA(client_handle_, WM_MDIGETACTIVE, 0, 0));
  return h ? dynamic_cast<TCustomForm*>(FindControl(h)) : nullptr;
}

int TCustomForm::MDIChildCount() {
  int n = 0;
  if (client_handle_)
    for (HWND h = GetWindow(client_handle_, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT))
      if (dynamic_cast<TCustomForm*>(FindControl(h))) ++n;
  return n;
}

TCustomForm* TCustomForm::MDIChildren(int Index) {
  int left = Index;
  if (client_handle_ && Index >= 0)
    for (HWND h = GetWindow(client_handle_, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT))
      if (auto* f = dynamic_cast<TCustomForm*>(FindControl(h)); f && left-- == 0) return f;
  throw EListError(Format("List index out of bounds (%d)", Index));
}

void TCustomForm::Tile() {
  if (client_handle_) SendMessageA(client_handle_, WM_MDITILE, MDITILE_HORIZONTAL, 0);
}

void TCustomForm::Cascade() {
  if (client_handle_) SendMessageA(client_handle_, WM_MDICASCADE, 0, 0);
}

TRect TCustomForm::ClientRect() {
  if (handle_) return TScrollingWinControl::ClientRect();
  // Without a window: the bounds less the frame the styles give.
  RECT frame{0, 0, 0, 0};
  AdjustWindowRectEx(&frame, FrameStyle(), menu_ != nullptr, FrameExStyle());
  int w = width_ - (frame.right - frame.left);
  int h = height_ - (frame.bottom - frame.top);
  return Rect(0, 0, std::max(w, 0), std::max(h, 0));
}

void TCustomForm::SetClientSize(int AWidth, int AHeight) {
  TRect r = ClientRect();
  SetBounds(left_, top_, width_ - r.right + AWidth, height_ - r.bottom + AHeight);
}

void TCustomForm::SetBorderStyle(TFormBorderStyle Value) {
  if (border_style_ == Value) return;
  border_style_ = Value;
  RecreateWnd();
}

void TCustomForm::SetBorderIcons(TBorderIcons Value) {
  if (border_icons_ == Value) return;
  border_icons_ = Value;
  RecreateWnd();
}

void TCustomForm::SetFormStyle(TFormStyle Value) {
  if (form_style_ == Value) return;
  const bool mdiChange =
      (Value == fsMDIChild || Value == fsMDIForm || form_style_ == fsMDIChild || form_style_ == fsMDIForm);
  form_style_ = Value;
  if (handle_ && mdiChange) {
    RecreateWnd();
    return;
  }
  if (handle_)
    SetWindowPos(handle_, Value == fsStayOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TCustomForm::SetWindowState(TWindowState Value) {
  if (window_state_ == Value) return;
  window_state_ = Value;
  if (handle_ && showing_) {
    static const int cmd[] = {SW_SHOWNORMAL, SW_SHOWMINIMIZED, SW_SHOWMAXIMIZED};
    ShowWindow(handle_, cmd[Value]);
  }
}

void TCustomForm::Notification(TComponent* AComponent, TOperation Operation) {
  TScrollingWinControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == menu_) {
    if (handle_) ::SetMenu(handle_, nullptr);
    menu_ = nullptr;
  }
}

void TCustomForm::SetMenu(TMainMenu* Value) {
  if (menu_ == Value) return;
  if (menu_) menu_->WindowHandle = nullptr;
  menu_ = Value;
  if (Value) Value->FreeNotification(this);
  if (handle_) {
    if (Value) Value->WindowHandle = handle_;
    ::SetMenu(handle_, Value ? Value->Handle() : nullptr);
  }
  Perform(CM_MENUCHANGED, 0, 0);
}

void TCustomForm::SetIcon(HICON Value) {
  icon_ = Value;
  if (handle_) SendMessageA(handle_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(Value));
}

void TCustomForm::ApplyPosition() {
  int x = left_, y = top_;
  switch (position_) {
    case poScreenCenter:
    case poDesktopCenter:
      x = (Screen->Width() - width_) / 2;
      y = (Screen->Height() - height_) / 2;
      break;
    case poMainFormCenter:
    case poOwnerFormCenter: {
      TCustomForm* around = position_ == poOwnerFormCenter ? dynamic_cast<TCustomForm*>(Owner()) : nullptr;
      if (!around) around = Application->MainForm();
      if (around && around != this) {
        x = around->Left() + (around->Width() - width_) / 2;
        y = around->Top() + (around->Height() - height_) / 2;
      } else {
        x = (Screen->Width() - width_) / 2;
        y = (Screen->Height() - height_) / 2;
      }
      break;
    }
    default: return;
  }
  SetBounds(std::max(x, 0), std::max(y, 0), width_, height_);
}

void TCustomForm::ShowingChanged() {
  if (in_show_change_) return;
  in_show_change_ = true;
  try {
    if (showing_) {
      DoShow();
      ApplyPosition();
      static const int cmd[] = {SW_SHOWNORMAL, SW_SHOWMINIMIZED, SW_SHOWMAXIMIZED};
      ShowWindow(handle_, cmd[window_state_]);
      if (window_state_ != wsMinimized) SetForegroundWindow(handle_);
    } else {
      DoHide();
      ShowWindow(handle_, SW_HIDE);
    }
  } catch (...) {
    in_show_change_ = false;
    throw;
  }
  in_show_change_ = false;
}

void TCustomForm::DoShow() {
  if (OnShow) OnShow(this);
}

void TCustomForm::DoHide() {
  if (OnHide) OnHide(this);
}

void TCustomForm::DoClose(TCloseAction& Action) {
  if (OnClose) OnClose(this, Action);
}

bool TCustomForm::CloseQuery() {
  bool can = true;
  if (OnCloseQuery) OnCloseQuery(this, can);
  return can;
}

void TCustomForm::Close() {
  if (modal_) {
    modal_result_ = mrCancel;
    return;
  }
  if (!CloseQuery()) return;
  TCloseAction action = caHide;
  DoClose(action);
  if (action == caNone) return;
  if (Application->MainForm() == this) {
    Application->Terminate();
  } else if (action == caHide) {
    Hide();
  } else if (action == caMinimize) {
    SetWindowState(wsMinimized);
  } else {
    Release();
  }
}

void TCustomForm::Release() {
  if (handle_) PostMessageA(handle_, CM_RELEASE, 0, 0);
}

void TCustomForm::CloseModal() {
  TCloseAction action = caNone;
  if (CloseQuery()) {
    action = caHide;
    DoClose(action);
  }
  switch (action) {
    case caNone: modal_result_ = mrNone; break;
    case caFree: Release(); break;
    default: break;
  }
}

namespace {

struct DisabledWindows {
  HWND keep;
  std::vector<HWND> windows;
};

BOOL DisableOne(HWND h, LPARAM lp) {
  auto* d = reinterpret_cast<DisabledWindows*>(lp);
  if (h != d->keep && IsWindowVisible(h) && IsWindowEnabled(h)) {
    d->windows.push_back(h);
    EnableWindow(h, FALSE);
  }
  return TRUE;
}

}  // namespace

TModalResult TCustomForm::ShowModal() {
  if (visible_ || !enabled_ || modal_ || form_style_ == fsMDIChild)
    throw EInvalidOperation("Cannot make a visible window modal");
  if (GetCapture()) ReleaseCapture();
  modal_ = true;
  HWND active = GetActiveWindow();
  DisabledWindows disabled{Handle(), {}};
  EnumThreadWindows(GetCurrentThreadId(), DisableOne, reinterpret_cast<LPARAM>(&disabled));
  auto restore = [&] {
    for (HWND h : disabled.windows)
      if (IsWindow(h)) EnableWindow(h, TRUE);
    if (active && IsWindow(active)) SetActiveWindow(active);
    modal_ = false;
  };
  try {
    Show();
    modal_result_ = mrNone;
    SendMessageA(handle_, CM_ACTIVATE, 0, 0);
    while (modal_result_ == mrNone) {
      bool more = Application->HandleMessage();
      if (Application->Terminated() || !more)
        modal_result_ = mrCancel;
      else if (modal_result_ != mrNone)
        CloseModal();
    }
    if (handle_) SendMessageA(handle_, CM_DEACTIVATE, 0, 0);
    Hide();
  } catch (...) {
    Hide();
    restore();
    throw;
  }
  restore();
  return modal_result_;
}

void TCustomForm::SetFocus() {
  if (!visible_ || !enabled_) throw EInvalidOperation("Cannot focus a disabled or invisible window");
  ::SetFocus(Handle());
}

void TCustomForm::SetActiveControl(TWinControl* Control) {
  if (active_control_ == Control) return;
  if (Control && (Control == this || !ContainsControl(Control))) throw EInvalidOperation("Invalid property value");
  active_control_ = Control;
  if (Control && showing_ && Control->CanFocus()) ::SetFocus(Control->Handle());
}

void TCustomForm::FocusControl(TWinControl* Control) {
  if (!Control || !ContainsControl(Control)) return;
  active_control_ = Control;
  if (!Control->CanFocus()) throw EInvalidOperation("Cannot focus a disabled or invisible window");
  ::SetFocus(Control->Handle());
}

void TCustomForm::SetFocusedControl(TWinControl* Control) {
  if (focused_control_ == Control) return;
  TWinControl* old = focused_control_;
  focused_control_ = Control;
  active_control_ = Control;
  if (old) {
    old->Perform(CM_EXIT, 0, 0);
    if (old->OnExit) old->OnExit(old);
  }
  if (Control && focused_control_ == Control) {
    Control->Perform(CM_ENTER, 0, 0);
    if (Control->OnEnter) Control->OnEnter(Control);
  }
}

void TCustomForm::ControlRemoved(TControl* Control) {
  auto* wc = dynamic_cast<TWinControl*>(Control);
  if (!wc) return;
  if (active_control_ && (active_control_ == wc || wc->ContainsControl(active_control_))) active_control_ = nullptr;
  if (focused_control_ && (focused_control_ == wc || wc->ContainsControl(focused_control_))) focused_control_ = nullptr;
}

void TCustomForm::SelectNext(TWinControl* CurControl, bool GoForward, bool CheckTabStop) {
  TWinControl* next = FindNextControl(CurControl, GoForward, CheckTabStop, false);
  if (next) FocusControl(next);
}

void TCustomForm::Activate() {
  active_ = true;
  if (OnActivate) OnActivate(this);
}

void TCustomForm::Deactivate() {
  active_ = false;
  if (OnDeactivate) OnDeactivate(this);
}

void TCustomForm::PaintWindow(HDC DC) {
  if (!OnPaint) return;
  TCanvasDC lent(canvas_.get(), DC);
  OnPaint(this);
}

void TCustomForm::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_CLOSE: Close(); return;
    case WM_COMMAND:
      // Menu commands (no control window in lParam).
      if (Message.LParam == 0 && HIWORD(Message.WParam) == 0 && menu_ && menu_->DispatchCommand(LOWORD(Message.WParam)))
        return;
      break;
    case WM_MEASUREITEM: {
      auto* mi = reinterpret_cast<MEASUREITEMSTRUCT*>(Message.LParam);
      if (mi && mi->CtlType == ODT_MENU && menu_ && menu_->MeasureItem(*mi, canvas_.get())) {
        Message.Result = 1;
        return;
      }
      break;
    }
    case WM_DRAWITEM: {
      auto* di = reinterpret_cast<DRAWITEMSTRUCT*>(Message.LParam);
      if (di && di->CtlType == ODT_MENU && menu_ && menu_->DrawItem(*di, canvas_.get())) {
        Message.Result = 1;
        return;
      }
      break;
    }
    case WM_ACTIVATE:
      DefaultHandler(Message);
      if (LOWORD(Message.WParam) != WA_INACTIVE) {
        Activate();
        if (active_control_ && active_control_->HandleAllocated() && active_control_->CanFocus())
          ::SetFocus(active_control_->Handle());
      } else {
        Deactivate();
      }
      return;
    case WM_SIZE:
      // The window's state follows the window while it shows; the sizes of a window made
      // hidden (a re-created one, say) keep the state asked for.
      if (handle_ && showing_) {
        if (IsIconic(handle_))
          window_state_ = wsMinimized;
        else if (IsZoomed(handle_))
          window_state_ = wsMaximized;
        else if (Message.WParam == SIZE_RESTORED)
          window_state_ = wsNormal;
      }
      break;
    case CM_SHOWINGCHANGED: ShowingChanged(); return;
    case CM_RELEASE:
      // Freed once the window procedure has returned (ReleasePendingForms).
      PendingReleases().push_back(this);
      return;
    case CM_DIALOGKEY:
      switch (Message.WParam) {
        case VK_TAB:
          SelectNext(active_control_, GetKeyState(VK_SHIFT) >= 0, true);
          Message.Result = 1;
          return;
        case VK_LEFT:
        case VK_UP:
        case VK_RIGHT:
        case VK_DOWN:
          SelectNext(active_control_, Message.WParam == VK_RIGHT || Message.WParam == VK_DOWN, false);
          Message.Result = 1;
          return;
        default: {
          TMessage m = Message;
          Broadcast(m);
          Message.Result = m.Result;
          return;
        }
      }
    default: break;
  }
  TScrollingWinControl::WndProc(Message);
}

// ---- TApplication ----------------------------------------------------------------------------------------

LRESULT ApplicationWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  TApplication* app = Application;
  if (!app || app->handle_ != hwnd) return DefWindowProcA(hwnd, msg, wParam, lParam);
  TMessage m{msg, wParam, lParam, 0};
  try {
    app->WndProc(m);
  } catch (...) {
    app->HandleException(app);
  }
  return m.Result;
}

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {
  WakeMainThread = [](TObject*) { PostThreadMessageA(MainThreadID, WM_NULL, 0, 0); };
  AnsiString exe = ExeName();
  title_ = ChangeFileExt(ExtractFileName(exe), "");
}

TApplication::~TApplication() {
  Destroying();
  DestroyComponents();
  if (handle_ && IsWindow(handle_)) DestroyWindow(handle_);
  handle_ = nullptr;
  UnregisterClassA(kAppClass, FrameworkInstance());
}

AnsiString TApplication::ExeName() const {
  char buf[1024];
  DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
  return n ? AnsiString(buf, n) : AnsiString();
}

void TApplication::Initialize() { Handle(); }

HWND TApplication::Handle() {
  if (handle_ && IsWindow(handle_)) return handle_;
  handle_ = nullptr;
  WNDCLASSA wc{};
  if (!GetClassInfoA(FrameworkInstance(), kAppClass, &wc) || wc.lpfnWndProc != ApplicationWndProc) {
    wc = WNDCLASSA{};
    wc.lpfnWndProc = ApplicationWndProc;
    wc.hInstance = FrameworkInstance();
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = kAppClass;
    if (!RegisterClassA(&wc)) throw EOSError("Cannot register the application window class", GetLastError());
  }
  // The window exists before CreateWindowEx returns for the messages it sends.
  HWND h = CreateWindowExA(0, kAppClass, title_.c_str(),
                           WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                           GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr, nullptr,
                           FrameworkInstance(), nullptr);
  if (!h) throw EOSError("Cannot create the application window", GetLastError());
  handle_ = h;
  if (icon_) SendMessageA(h, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  return handle_;
}

void TApplication::SetTitle(const AnsiString& Value) {
  title_ = Value;
  if (handle_ && IsWindow(handle_)) SetWindowTextA(handle_, Value.c_str());
}

void TApplication::SetIcon(HICON Value) {
  icon_ = Value;
  if (handle_ && IsWindow(handle_)) SendMessageA(handle_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(Value));
}

bool TApplication::Active() const {
  HWND active = GetActiveWindow();
  if (!active) return false;
  for (int i = 0; i < Screen->FormCount(); ++i)
    if (Screen->Forms(i)->HandleAllocated() && Screen->Forms(i)->Handle() == active) return true;
  return active == handle_;
}

int TApplication::HookMainWindow(TWindowHook Hook) {
  hooks_.emplace_back(++next_hook_, std::move(Hook));
  return next_hook_;
}

void TApplication::UnhookMainWindow(int Id) {
  for (auto it = hooks_.begin(); it != hooks_.end(); ++it)
    if (it->first == Id) {
      hooks_.erase(it);
      return;
    }
}

void TApplication::WndProc(TMessage& Message) {
  // A copy: a hook may unhook itself or others while it runs.
  for (auto& [id, hook] : std::vector<std::pair<int, TWindowHook>>(hooks_))
    if (hook && hook(Message)) return;
  switch (Message.Msg) {
    case WM_CLOSE:
      if (main_form_) main_form_->Close();
      return;
    case WM_NULL: CheckSynchronize(); return;
    case WM_MEASUREITEM:
    case WM_DRAWITEM: {
      // Owner-drawn items of the popup menu being tracked (this window owns its popups).
      TPopupMenu* popup = TPopupMenu::Tracking();
      auto* mi = reinterpret_cast<MEASUREITEMSTRUCT*>(Message.LParam);
      auto* di = reinterpret_cast<DRAWITEMSTRUCT*>(Message.LParam);
      if (!popup || Message.WParam != 0 || !Message.LParam) break;
      TCanvas canvas;
      const bool done = Message.Msg == WM_MEASUREITEM ? mi->CtlType == ODT_MENU && popup->MeasureItem(*mi, &canvas)
                                                      : di->CtlType == ODT_MENU && popup->DrawItem(*di, &canvas);
      if (!done) break;
      Message.Result = 1;
      return;
    }
    case WM_ACTIVATEAPP:
      // The application's activation reaches its handlers, and the main-window hooks, as
      // CM_ACTIVATE / CM_DEACTIVATE posted to its window.
      PostMessageA(handle_, Message.WParam ? CM_ACTIVATE : CM_DEACTIVATE, 0, 0);
      break;
    case CM_ACTIVATE:
      if (OnActivate) OnActivate(this);
      Message.Result = 0;
      return;
    case CM_DEACTIVATE:
      if (OnDeactivate) OnDeactivate(this);
      Message.Result = 0;
      return;
    default: break;
  }
  Message.Result = DefWindowProcA(handle_, Message.Msg, Message.WParam, Message.LParam);
}

void TApplication::Terminate() { PostQuitMessage(0); }

bool TApplication::IsKeyMsg(MSG& Msg) {
  if (Msg.message < WM_KEYFIRST || Msg.message > WM_KEYLAST) return false;
  HWND w = GetCapture() ? GetCapture() : Msg.hwnd;
  while (w && !FindControl(w)) w = GetParent(w);
  if (!w) return false;
  return SendMessageA(w, CN_BASE + Msg.message, Msg.wParam, Msg.lParam) != 0;
}

void TApplication::Dispatch(MSG& Msg) {
  if (Msg.message == WM_QUIT) {
    terminated_ = true;
    return;
  }
  if (Msg.message == WM_NULL && !Msg.hwnd) {
    CheckSynchronize();
    return;
  }
  bool handled = false;
  if (OnMessage) OnMessage(Msg, handled);
  if (handled || IsKeyMsg(Msg)) return;
  TranslateMessage(&Msg);
  DispatchMessageA(&Msg);
}

bool TApplication::ProcessMessage(MSG& Msg) {
  if (!PeekMessageA(&Msg, nullptr, 0, 0, PM_REMOVE)) return false;
  Dispatch(Msg);
  return true;
}

void TApplication::ProcessMessages() {
  MSG msg;
  while (ProcessMessage(msg)) {
  }
}

void TApplication::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == mouse_control_) mouse_control_ = nullptr;
}

void TApplication::DoMouseIdle() {
  POINT p{};
  if (!GetCursorPos(&p)) return;
  TControl* target = FindVCLWindow(p);
  if (auto* win = dynamic_cast<TWinControl*>(target)) {
    if (TControl* child = win->ControlAtPos(win->ScreenToClient(p), false)) target = child;
  }
  if (target == mouse_control_) return;
  TControl* old = mouse_control_;
  if (old) old->RemoveFreeNotification(this);
  mouse_control_ = target;
  if (target) target->FreeNotification(this);
  if (old) old->Perform(CM_MOUSELEAVE, 0, 0);
  if (target) target->Perform(CM_MOUSEENTER, 0, 0);
}

bool TApplication::Idle() {
  DoMouseIdle();
  bool done = true;
  if (OnIdle) OnIdle(this, done);
  CheckSynchronize();
  if (!done) return true;
  // Wait for the next message (a timer advances the virtual clock).
  MSG msg;
  BOOL r = GetMessageA(&msg, nullptr, 0, 0);
  if (r == 0) {
    terminated_ = true;
    return true;
  }
  if (r < 0) return false;  // nothing can ever arrive
  Dispatch(msg);
  return true;
}

bool TApplication::HandleMessage() {
  MSG msg;
  bool more = true;
  try {
    if (!ProcessMessage(msg)) more = Idle();
  } catch (...) {
    HandleException(this);
  }
  return more;
}

void TApplication::Run() {
  if (main_form_ && ShowMainForm) main_form_->Show();
  while (!terminated_) {
    if (!HandleMessage()) break;
  }
}

void TApplication::ShowException(const Exception& E) {
  AnsiString msg = E.Message();
  if (!msg.empty() && msg.back() != '.') msg += '.';
  HWND owner = GetActiveWindow();
  MessageBoxA(owner ? owner : (handle_ && IsWindow(handle_) ? handle_ : nullptr), msg.c_str(), title_.c_str(),
              MB_OK | MB_ICONSTOP);
}

void TApplication::HandleException(TObject* Sender) {
  try {
    throw;
  } catch (EAbort&) {
    // Silent exceptions end the operation without a message.
  } catch (Exception& e) {
    if (OnException)
      OnException(Sender, e);
    else
      ShowException(e);
  } catch (std::exception& e) {
    Exception wrapped(e.what());
    if (OnException)
      OnException(Sender, wrapped);
    else
      ShowException(wrapped);
  } catch (...) {
    Exception wrapped("Unknown exception");
    if (OnException)
      OnException(Sender, wrapped);
    else
      ShowException(wrapped);
  }
}

int TApplication::MessageBox(const AnsiString& Text, const AnsiString& Caption, UINT Flags) {
  HWND owner = GetActiveWindow();
  if (!owner && handle_ && IsWindow(handle_)) owner = handle_;
  return MessageBoxA(owner, Text.c_str(), Caption.c_str(), Flags);
}

void TApplication::Finalize() {
  if (mouse_control_) mouse_control_->RemoveFreeNotification(this);
  mouse_control_ = nullptr;
  DestroyComponents();
  main_form_ = nullptr;
  if (handle_ && IsWindow(handle_)) DestroyWindow(handle_);
  handle_ = nullptr;
}

void TApplication::ResetState() {
  Finalize();
  terminated_ = false;
  hooks_.clear();
  OnMessage = nullptr;
  OnIdle = nullptr;
  OnException = nullptr;
  MSG msg;
  while (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
}

// ---- TScreen -------------------------------------------------------------------------------------------

TRect TScreen::WorkAreaRect() const {
  RECT r{0, 0, Width(), Height()};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0);
  return r;
}

TCustomForm* TScreen::Forms(int Index) const {
  if (Index < 0 || Index >= FormCount()) throw EListError(Format("List index out of bounds (%d)", Index));
  return forms_[static_cast<size_t>(Index)];
}

TCustomForm* TScreen::ActiveForm() const {
  HWND active = GetActiveWindow();
  if (!active) return nullptr;
  for (TCustomForm* f : forms_)
    if (f->HandleAllocated() && f->Handle() == active) return f;
  return nullptr;
}

TWinControl* TScreen::ActiveControl() const {
  TCustomForm* f = ActiveForm();
  return f ? f->ActiveControl() : nullptr;
}

void TScreen::SetCursor(TCursor Value) {
  cursor_ = Value;
  ::SetCursor(LoadCursorA(nullptr, Value == crHourGlass ? IDC_WAIT : IDC_ARROW));
}

void TScreen::RemoveForm(TCustomForm* Form) {
  forms_.erase(std::remove(forms_.begin(), forms_.end(), Form), forms_.end());
}
