// Forms, the application object and the screen.
//
// A form is a top-level window (owned by the application's hidden window when the
// application has one). A form built in code creates its components in its constructor;
// DoCreate() then raises OnCreate (Application->CreateForm calls it). Showing a form
// creates its window and those of its visible children, shows the children and then the
// form (ShowWindow with the command of its WindowState). Destroying a form destroys its
// window tree in one DestroyWindow, so the windows see the platform's destruction order.
//
// TApplication runs the message loop of the calling thread: Run until Terminate (the
// WM_QUIT it posts) or until no message can ever arrive (the window system reports that
// when nothing is queued, no timer is pending and no input is scripted), so no loop of a
// test can hang. The loop wakes for TThread::Synchronize (WakeMainThread) and runs the
// queued calls (CheckSynchronize). ShowModal runs the same loop until ModalResult is set;
// a modal form left without input ends with mrCancel.
#pragma once

#include <functional>
#include <vector>

#include "framework/controls/controls.h"
#include "framework/controls/menus.h"

// ---- Modal results ------------------------------------------------------------------------------------
using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = IDOK;
constexpr TModalResult mrCancel = IDCANCEL;
constexpr TModalResult mrAbort = IDABORT;
constexpr TModalResult mrRetry = IDRETRY;
constexpr TModalResult mrIgnore = IDIGNORE;
constexpr TModalResult mrYes = IDYES;
constexpr TModalResult mrNo = IDNO;
constexpr TModalResult mrAll = mrNo + 1;
constexpr TModalResult mrNoToAll = mrAll + 1;
constexpr TModalResult mrYesToAll = mrNoToAll + 1;

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
using TBorderIcons = Set<TBorderIcon, biSystemMenu, biHelp>;
enum TPosition {
  poDesigned,
  poDefault,
  poDefaultPosOnly,
  poDefaultSizeOnly,
  poScreenCenter,
  poDesktopCenter,
  poMainFormCenter,
  poOwnerFormCenter
};
enum TWindowState { wsNormal, wsMinimized, wsMaximized };
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TCloseAction { caNone, caHide, caFree, caMinimize };
enum TScrollBarKind { sbHorizontal, sbVertical };

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

class TScrollingWinControl;

// One of a scrolling control's window scroll bars; Visible adds or removes the window's
// WS_HSCROLL / WS_VSCROLL style.
class TControlScrollBar : public TPersistent {
 public:
  TControlScrollBar(TScrollingWinControl* Control, TScrollBarKind Kind) : control_(Control), kind_(Kind) {}
  KV_CLASS_NAME(TControlScrollBar)
  TScrollBarKind Kind() const { return kind_; }
  bool Visible() const { return visible_; }
  void SetVisible(bool Value);

 private:
  TScrollingWinControl* control_;
  TScrollBarKind kind_;
  bool visible_ = true;
};

class TScrollingWinControl : public TWinControl {
 public:
  explicit TScrollingWinControl(TComponent* AOwner);
  KV_CLASS_NAME(TScrollingWinControl)
  TControlScrollBar* HorzScrollBar() { return &horz_; }
  TControlScrollBar* VertScrollBar() { return &vert_; }

 protected:
  friend class TControlScrollBar;
  void CreateParams(TCreateParams& Params) override;
  TControlScrollBar horz_;
  TControlScrollBar vert_;
};

class TCustomForm : public TScrollingWinControl, public IFormRoot {
 public:
  explicit TCustomForm(TComponent* AOwner);
  ~TCustomForm() override;
  KV_CLASS_NAME(TCustomForm)

  // Raises OnCreate once the form's components are set up; an exception it raises is
  // reported through Application->HandleException.
  void DoCreate();

  TFormBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TFormBorderStyle Value);
  TBorderIcons BorderIcons() const { return border_icons_; }
  void SetBorderIcons(TBorderIcons Value);
  TPosition Position() const { return position_; }
  void SetPosition(TPosition Value) { position_ = Value; }
  TWindowState WindowState() const { return window_state_; }
  void SetWindowState(TWindowState Value);
  TFormStyle FormStyle() const { return form_style_; }
  // fsMDIForm: the form's window gets an MDI client, the parent of its fsMDIChild forms;
  // an fsMDIChild form is made in the client of the application's main form (which must
  // be an fsMDIForm). A change between kinds makes the window again.
  void SetFormStyle(TFormStyle Value);
  // The MDI client of an fsMDIForm with a window, else nullptr.
  HWND ClientHandle() const { return client_handle_; }
  // The MDI child forms of an fsMDIForm: the active one, and all in z-order (active first).
  TCustomForm* ActiveMDIChild();
  int MDIChildCount();
  TCustomForm* MDIChildren(int Index);
  // The MDI children arranged one under the other, or cascaded.
  void Tile();
  void Cascade();
  void DefaultHandler(TMessage& Message) override;
  TMainMenu* Menu() const { return menu_; }
  // The menu bar (nullptr removes it); its commands raise the items' OnClick.
  void SetMenu(TMainMenu* Value);
  HICON Icon() const { return icon_; }
  void SetIcon(HICON Value);
  bool KeyPreview = false;
  bool Scaled = true;
  TRect ClientRect() override;
  void SetClientSize(int AWidth, int AHeight) override;
  TCanvas* Canvas() { return canvas_.get(); }

  TModalResult ModalResult() const { return modal_result_; }
  void SetModalResult(TModalResult Value) { modal_result_ = Value; }
  // Shows the form and runs the message loop until ModalResult is set (or the
  // application terminates, or no input can arrive: mrCancel); the other windows of the
  // thread are disabled meanwhile. EInvalidOperation "Cannot make a visible window modal"
  // for a visible form.
  TModalResult ShowModal();
  bool Modal() const { return modal_; }
  // Asks OnCloseQuery, then OnClose, and hides, minimises or frees the form (the main
  // form ends the application); a modal form gets ModalResult mrCancel.
  void Close();
  virtual bool CloseQuery();
  // Frees the form once the messages now queued for it are handled.
  void Release();
  void SetFocus() override;
  bool Active() const { return active_; }

  TWinControl* ActiveControl() const { return active_control_; }
  void SetActiveControl(TWinControl* Control);
  void FocusControl(TWinControl* Control) override;
  void SetFocusedControl(TWinControl* Control) override;
  void ControlRemoved(TControl* Control) override;
  // Moves the focus to the next (or previous) tab stop.
  void SelectNext(TWinControl* CurControl, bool GoForward, bool CheckTabStop);

  void Notification(TComponent* AComponent, TOperation Operation) override;

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TNotifyEvent OnPaint;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void CreateWindowHandle(const TCreateParams& Params) override;
  void DestroyWindowHandle() override;
  void WndProc(TMessage& Message) override;
  void PaintWindow(HDC DC) override;
  virtual void DoClose(TCloseAction& Action);
  virtual void DoShow();
  virtual void DoHide();
  void Activate();
  void Deactivate();

 private:
  void ShowingChanged();
  void ApplyPosition();
  void CloseModal();
  DWORD FrameStyle() const;
  DWORD FrameExStyle() const;

  TFormBorderStyle border_style_ = bsSizeable;
  TBorderIcons border_icons_ = {biSystemMenu, biMinimize, biMaximize};
  TPosition position_ = poDesigned;
  TWindowState window_state_ = wsNormal;
  TFormStyle form_style_ = fsNormal;
  HWND client_handle_ = nullptr;
  TMainMenu* menu_ = nullptr;
  HICON icon_ = nullptr;
  TModalResult modal_result_ = mrNone;
  bool modal_ = false;
  bool active_ = false;
  bool created_ = false;
  bool in_show_change_ = false;
  TWinControl* active_control_ = nullptr;
  TWinControl* focused_control_ = nullptr;
  std::unique_ptr<TCanvas> canvas_;
};

class TForm : public TCustomForm {
 public:
  explicit TForm(TComponent* AOwner) : TCustomForm(AOwner) {}
  KV_CLASS_NAME(TForm)
};

// ---- TApplication ----------------------------------------------------------------------------------
using TMessageEvent = std::function<void(MSG& Msg, bool& Handled)>;
using TIdleEvent = std::function<void(TObject* Sender, bool& Done)>;
using TExceptionEvent = std::function<void(TObject* Sender, Exception& E)>;
// A hook on the application window's messages: true marks the message handled.
using TWindowHook = std::function<bool(TMessage& Message)>;

class TApplication : public TComponent {
 public:
  explicit TApplication(TComponent* AOwner);
  ~TApplication() override;
  KV_CLASS_NAME(TApplication)

  // Makes the hidden application window.
  void Initialize();
  // Creates a form owned by the application and raises its OnCreate; the first form
  // created becomes the main form.
  template <class T>
  void CreateForm(T*& Reference) {
    T* form = new T(this);
    Reference = form;
    if (!main_form_) main_form_ = form;
    form->DoCreate();
  }
  // Shows the main form and runs the message loop until Terminate (or until no message
  // can ever arrive).
  void Run();
  // Ends the message loop (through WM_QUIT).
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Handles every message that is due now.
  void ProcessMessages();
  // Handles one message, waiting for one when none is due. False when no message can
  // ever arrive (nothing queued, no timer, no input).
  bool HandleMessage();
  // The hidden application window (made on first use).
  HWND Handle();
  bool HandleAllocated() const { return handle_ != nullptr; }
  TCustomForm* MainForm() const { return main_form_; }
  void SetMainForm(TCustomForm* Form) { main_form_ = Form; }
  bool ShowMainForm = true;
  const AnsiString& Title() const { return title_; }
  void SetTitle(const AnsiString& Value);
  AnsiString ExeName() const;
  HICON Icon() const { return icon_; }
  void SetIcon(HICON Value);
  TColor HintColor = clInfoBk;
  bool Active() const;

  // Window hooks see the application window's messages before it handles them, in the
  // order they were set; the number returned unhooks the hook.
  int HookMainWindow(TWindowHook Hook);
  void UnhookMainWindow(int Id);
  size_t HookCount() const { return hooks_.size(); }

  // Reports the exception being handled: OnException when assigned, else a message box
  // (the message, caption Title, MB_OK | MB_ICONSTOP). Call only inside a catch block.
  void HandleException(TObject* Sender);
  void ShowException(const Exception& E);
  // A message box owned by the active window (or the application window).
  int MessageBox(const AnsiString& Text, const AnsiString& Caption, UINT Flags = MB_OK);

  // The control under the mouse pointer, as the idle time found it last (it receives
  // CM_MOUSEENTER when the pointer comes onto it and CM_MOUSELEAVE when it goes).
  TControl* MouseControl() const { return mouse_control_; }
  void Notification(TComponent* AComponent, TOperation Operation) override;

  // Frees the application's forms (their OnDestroy runs) and its window. An executable
  // calls it before main returns: the application object of an executable is never
  // destroyed (the window system may be gone by the time static objects are).
  void Finalize();
  // Test-facing: Finalize, and forgets Terminate, the hooks and the events, so a test
  // starts from a fresh application.
  void ResetState();

  TMessageEvent OnMessage;
  TIdleEvent OnIdle;
  TExceptionEvent OnException;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;

 private:
  friend LRESULT ApplicationWndProc(HWND, UINT, WPARAM, LPARAM);
  bool ProcessMessage(MSG& Msg);
  void Dispatch(MSG& Msg);
  bool IsKeyMsg(MSG& Msg);
  bool Idle();
  void DoMouseIdle();
  void WndProc(TMessage& Message);

  HWND handle_ = nullptr;
  TCustomForm* main_form_ = nullptr;
  AnsiString title_;
  HICON icon_ = nullptr;
  bool terminated_ = false;
  std::vector<std::pair<int, TWindowHook>> hooks_;
  int next_hook_ = 0;
  TControl* mouse_control_ = nullptr;
};

// ---- TScreen -------------------------------------------------------------------------------------------
class TScreen : public TComponent {
 public:
  explicit TScreen(TComponent* AOwner) : TComponent(AOwner) {}
  KV_CLASS_NAME(TScreen)
  int Width() const { return GetSystemMetrics(SM_CXSCREEN); }
  int Height() const { return GetSystemMetrics(SM_CYSCREEN); }
  int PixelsPerInch() const { return 96; }
  TRect WorkAreaRect() const;
  int FormCount() const { return static_cast<int>(forms_.size()); }
  TCustomForm* Forms(int Index) const;
  // The form that holds the active window, or nullptr.
  TCustomForm* ActiveForm() const;
  TWinControl* ActiveControl() const;
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor Value);

  // Forms enter the list when created and leave it when destroyed.
  void AddForm(TCustomForm* Form) { forms_.push_back(Form); }
  void RemoveForm(TCustomForm* Form);

 private:
  std::vector<TCustomForm*> forms_;
  TCursor cursor_ = crDefault;
};

// The module's application and screen objects.
extern TApplication* Application;
extern TScreen* Screen;
