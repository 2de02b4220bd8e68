// The framework's visual controls: TControl, TWinControl, TGraphicControl, TCustomControl.
//
// A TControl has bounds, a parent, visibility, a caption, a colour and a font, and takes
// its messages through WindowProc, a replaceable method (by default the control's own
// WndProc); Perform sends a message straight to WindowProc. A TWinControl owns a window
// of the platform, made on first use of Handle() or when the control is shown inside a
// shown parent, and destroyed with the control (CreateWnd / DestroyWnd, RecreateWnd). Its
// window class is named after the framework class ("TButton"); a control that wraps a
// system control (a button, an edit) subclasses that class, and the system class's
// procedure is the control's default handler.
//
// Every framework window carries the control-lookup property: the window property named
// by ControlAtomName() ("ControlOfs" + the module instance and the thread id, 8 upper-case
// hex digits each) holds the TWinControl, so FindControl(hwnd) finds the control behind a
// window of this module. Messages the parent receives for its children (WM_COMMAND,
// WM_NOTIFY, WM_CTLCOLOR..., WM_DRAWITEM, WM_HSCROLL/WM_VSCROLL) are reflected to the
// child control as CN_BASE + message.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "framework/core/classes.h"
#include "framework/graphics/graphics.h"
#include "platform/user/user.h"

// ---- Framework messages -------------------------------------------------------------------------
constexpr UINT CM_BASE = 0xB000;
constexpr UINT CM_ACTIVATE = CM_BASE + 0;
constexpr UINT CM_DEACTIVATE = CM_BASE + 1;
constexpr UINT CM_DIALOGKEY = CM_BASE + 5;
constexpr UINT CM_DIALOGCHAR = CM_BASE + 6;
constexpr UINT CM_FOCUSCHANGED = CM_BASE + 7;
constexpr UINT CM_PARENTFONTCHANGED = CM_BASE + 8;
constexpr UINT CM_PARENTCOLORCHANGED = CM_BASE + 9;
constexpr UINT CM_VISIBLECHANGED = CM_BASE + 11;
constexpr UINT CM_ENABLEDCHANGED = CM_BASE + 12;
constexpr UINT CM_COLORCHANGED = CM_BASE + 13;
constexpr UINT CM_FONTCHANGED = CM_BASE + 14;
constexpr UINT CM_TEXTCHANGED = CM_BASE + 18;
constexpr UINT CM_MOUSEENTER = CM_BASE + 19;
constexpr UINT CM_MOUSELEAVE = CM_BASE + 20;
constexpr UINT CM_MENUCHANGED = CM_BASE + 21;
constexpr UINT CM_SHOWINGCHANGED = CM_BASE + 25;
constexpr UINT CM_ENTER = CM_BASE + 26;
constexpr UINT CM_EXIT = CM_BASE + 27;
constexpr UINT CM_RELEASE = CM_BASE + 33;
constexpr UINT CM_DOCWINDOWACTIVATE = CM_BASE + 43;
constexpr UINT CM_RECREATEWND = CM_BASE + 51;

constexpr UINT CN_BASE = 0xBC00;
constexpr UINT CN_COMMAND = CN_BASE + WM_COMMAND;
constexpr UINT CN_NOTIFY = CN_BASE + WM_NOTIFY;
constexpr UINT CN_KEYDOWN = CN_BASE + WM_KEYDOWN;
constexpr UINT CN_KEYUP = CN_BASE + WM_KEYUP;
constexpr UINT CN_CHAR = CN_BASE + WM_CHAR;
constexpr UINT CN_SYSKEYDOWN = CN_BASE + WM_SYSKEYDOWN;
constexpr UINT CN_SYSCHAR = CN_BASE + WM_SYSCHAR;
constexpr UINT CN_HSCROLL = CN_BASE + WM_HSCROLL;
constexpr UINT CN_VSCROLL = CN_BASE + WM_VSCROLL;
constexpr UINT CN_DRAWITEM = CN_BASE + WM_DRAWITEM;
constexpr UINT CN_CTLCOLOREDIT = CN_BASE + WM_CTLCOLOREDIT;
constexpr UINT CN_CTLCOLORLISTBOX = CN_BASE + WM_CTLCOLORLISTBOX;
constexpr UINT CN_CTLCOLORBTN = CN_BASE + WM_CTLCOLORBTN;
constexpr UINT CN_CTLCOLORSTATIC = CN_BASE + WM_CTLCOLORSTATIC;

struct TMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};
using TWndMethod = std::function<void(TMessage& Message)>;

// ---- Types ------------------------------------------------------------------------------------------
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TShiftStateItem { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = Set<TShiftStateItem, ssShift, ssDouble>;
using TCursor = int;
constexpr TCursor crDefault = 0;
constexpr TCursor crArrow = -2;
constexpr TCursor crHourGlass = -11;

enum TControlStateItem {
  csLButtonDown,
  csClicked,
  csPalette,
  csReadingState,
  csAlignmentNeeded,
  csFocusing,
  csCreating,
  csPaintCopy,
  csCustomPaint,
  csDestroyingHandle,
  csDocking
};
using TControlState = Set<TControlStateItem, csLButtonDown, csDocking>;
enum TControlStyleItem {
  csAcceptsControls,
  csCaptureMouse,
  csDesignInteractive,
  csClickEvents,
  csFramed,
  csSetCaption,
  csOpaque,
  csDoubleClicks,
  csFixedWidth,
  csFixedHeight,
  csNoDesignVisible,
  csReplicatable,
  csNoStdEvents,
  csDisplayDragImage,
  csReflector,
  csActionClient,
  csMenuEvents
};
using TControlStyle = Set<TControlStyleItem, csAcceptsControls, csMenuEvents>;

using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TKeyEvent = std::function<void(TObject* Sender, WORD& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;

// Shift state from the key state of a mouse message's wParam, or of a key message's lParam.
TShiftState KeysToShiftState(WORD Keys);
TShiftState KeyDataToShiftState(LPARAM KeyData);
// True when VK is the character after the single "&" of Str (letter case ignored).
bool IsAccel(WPARAM VK, const AnsiString& Str);

class TControl;
class TWinControl;
class TCustomForm;
class TPopupMenu;

// What a control asks of the form it sits on. TCustomForm implements it; the controls reach
// their form only through it, so they do not depend on the forms.
class IFormRoot {
 public:
  // Focuses Control (which must sit on this form).
  virtual void FocusControl(TWinControl* Control) = 0;
  // Records Control as the form's focused control (WM_SETFOCUS of a child), raising
  // OnExit of the previous and OnEnter of the new one.
  virtual void SetFocusedControl(TWinControl* Control) = 0;
  // A control is leaving the form: it stops being the active or focused control.
  virtual void ControlRemoved(TControl* Control) = 0;

 protected:
  ~IFormRoot() = default;
};

// Reports an exception that escaped a control's message handling through the application
// object (defined with the forms).
void HandleControlException(TObject* Sender);
// Frees the forms whose CM_RELEASE has been handled (the window procedure calls it once the
// message is done).
void ReleasePendingForms();

// ---- TControl ---------------------------------------------------------------------------------------
class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;
  KV_CLASS_NAME(TControl)

  TWinControl* Parent() const { return parent_; }
  virtual void SetParent(TWinControl* AParent);

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int Value) { SetBounds(Value, top_, width_, height_); }
  void SetTop(int Value) { SetBounds(left_, Value, width_, height_); }
  void SetWidth(int Value) { SetBounds(left_, top_, Value, height_); }
  void SetHeight(int Value) { SetBounds(left_, top_, width_, Value); }
  virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  TRect BoundsRect() const { return Rect(left_, top_, left_ + width_, top_ + height_); }
  void SetBoundsRect(const TRect& R) { SetBounds(R.left, R.top, R.right - R.left, R.bottom - R.top); }
  // The client area (the window's for a windowed control), origin 0,0.
  virtual TRect ClientRect();
  int ClientWidth() { return ClientRect().right; }
  int ClientHeight() { return ClientRect().bottom; }
  void SetClientWidth(int Value) { SetClientSize(Value, ClientHeight()); }
  void SetClientHeight(int Value) { SetClientSize(ClientWidth(), Value); }
  virtual void SetClientSize(int AWidth, int AHeight);
  TPoint ClientOrigin();
  TPoint ClientToScreen(const TPoint& P) {
    TPoint o = ClientOrigin();
    return Point(P.x + o.x, P.y + o.y);
  }
  TPoint ScreenToClient(const TPoint& P) {
    TPoint o = ClientOrigin();
    return Point(P.x - o.x, P.y - o.y);
  }

  TAlign Align() const { return align_; }
  void SetAlign(TAlign Value);
  bool Visible() const { return visible_; }
  void SetVisible(bool Value);
  void Show();
  void Hide() { SetVisible(false); }
  bool Enabled() const { return enabled_; }
  virtual void SetEnabled(bool Value);
  // Caption and Text are one value: the window text of a windowed control.
  AnsiString Caption() { return GetText(); }
  void SetCaption(const AnsiString& Value) { SetText(Value); }
  AnsiString Text() { return GetText(); }
  void SetText(const AnsiString& Value);
  TColor Color() const { return color_; }
  void SetColor(TColor Value);
  bool ParentColor() const { return parent_color_; }
  void SetParentColor(bool Value);
  TFont* Font() { return font_.get(); }
  void SetFont(TFont* Value) { font_->Assign(Value); }
  bool ParentFont() const { return parent_font_; }
  void SetParentFont(bool Value);
  AnsiString Hint;
  bool ShowHint = false;
  // Shown on a right click (WM_CONTEXTMENU) at the pointer; the menu must outlive its use
  // here (a component of the same form, typically).
  TPopupMenu* PopupMenu = nullptr;
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor Value) { cursor_ = Value; }
  bool IsRightToLeft() const { return false; }

  TControlState ControlState() const { return control_state_; }
  void SetControlState(TControlState Value) { control_state_ = Value; }
  TControlStyle ControlStyle() const { return control_style_; }
  void SetControlStyle(TControlStyle Value) { control_style_ = Value; }

  // The message entry: every message of the control goes through WindowProc, which
  // callers may replace (keeping the previous one to pass messages on).
  TWndMethod WindowProc;
  LRESULT Perform(UINT Msg, WPARAM WParam, LPARAM LParam);
  // Handles messages the control does not handle itself (for a windowed control: the
  // window class's default procedure).
  virtual void DefaultHandler(TMessage& Message);

  virtual void Invalidate();
  virtual void Update();
  virtual void Repaint();
  void Refresh() { Repaint(); }
  void BringToFront();
  void SendToBack();
  // Raises OnClick; controls with a click action of their own do it here.
  virtual void Click();
  // The form the control sits on (nullptr when none).
  TCustomForm* GetParentForm() const;
  // The form at the top of the parent chain; none when the chain ends elsewhere.
  IFormRoot* FormRoot() const;

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TNotifyEvent OnResize;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;

 protected:
  virtual void WndProc(TMessage& Message);
  AnsiString GetText();
  virtual void Resize();
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseMove(TShiftState Shift, int X, int Y);
  virtual void DblClick();
  // Tells the parent to lay its aligned controls out again.
  void RequestAlign();
  // Told before a change of visibility takes effect.
  virtual void VisibleChanging() {}
  // Updates the window (for windowed controls) after SetBounds changed the fields.
  virtual void UpdateBoundsRect() {}
  virtual void FontChanged();

  TWinControl* parent_ = nullptr;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  TAlign align_ = alNone;
  bool visible_ = true;
  bool enabled_ = true;
  AnsiString text_;
  TColor color_ = clWindow;
  bool parent_color_ = true;
  bool parent_font_ = true;
  std::unique_ptr<TFont> font_;
  TCursor cursor_ = crDefault;
  TControlState control_state_;
  TControlStyle control_style_;

 private:
  friend class TWinControl;
  void MouseButton(TMessage& Message, TMouseButton Button, bool Down, bool Double);
  bool in_font_update_ = false;
};

// ---- TWinControl ------------------------------------------------------------------------------------
struct TCreateParams {
  AnsiString Caption;
  DWORD Style = 0;
  DWORD ExStyle = 0;
  int X = 0, Y = 0, Width = 0, Height = 0;
  HWND WndParent = nullptr;
  void* Param = nullptr;
  WNDCLASSA WindowClass{};
  AnsiString WinClassName;
};

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;
  KV_CLASS_NAME(TWinControl)

  // The window, made on first use (the parent's first). EInvalidOperation "Control 'X'
  // has no parent window" for a child control without parent.
  HWND Handle();
  bool HandleAllocated() const { return handle_ != nullptr; }
  void HandleNeeded() {
    if (!handle_) CreateHandle();
  }
  // Destroys the window (the children's first); it is made again on the next use.
  void DestroyHandle();
  // Makes the window again with the current properties (when it exists).
  void RecreateWnd();
  // A platform window to live in instead of a parent control.
  HWND ParentWindow() const { return parent_window_; }
  void SetParentWindow(HWND Value);

  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int Index) const;
  void InsertControl(TControl* AControl);
  void RemoveControl(TControl* AControl);
  bool ContainsControl(TControl* Control) const;
  // The topmost visible (and, unless AllowDisabled, enabled) child control at P (client
  // coordinates); graphic controls only unless AllowWinControls.
  TControl* ControlAtPos(const TPoint& P, bool AllowDisabled, bool AllowWinControls = false);

  int TabOrder() const;
  void SetTabOrder(int Value);
  bool TabStop() const { return tab_stop_; }
  void SetTabStop(bool Value);
  // Every windowed child in tab order, nested ones after their container.
  void GetTabOrderList(std::vector<TWinControl*>& List);
  TWinControl* FindNextControl(TWinControl* CurControl, bool GoForward, bool CheckTabStop, bool CheckParent);

  // Shown: visible with every parent visible (a top-level control: visible).
  bool Showing() const { return showing_; }
  virtual bool CanFocus();
  bool Focused();
  virtual void SetFocus();
  // Sends Message to every child control (stopping at the first non-zero Result).
  void Broadcast(TMessage& Message);
  TBrush* Brush() { return brush_.get(); }
  TRect ClientRect() override;
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  void SetEnabled(bool Value) override;
  void SetClientSize(int AWidth, int AHeight) override;
  void Invalidate() override;
  void Update() override;
  void Repaint() override;
  void DefaultHandler(TMessage& Message) override;
  // Re-lays out the aligned children.
  void Realign();
  void DisableAlign() { ++align_disabled_; }
  void EnableAlign();

  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TKeyPressEvent OnKeyPress;

 protected:
  void WndProc(TMessage& Message) override;
  virtual void CreateParams(TCreateParams& Params);
  // Takes over a system window class: its procedure becomes the default handler.
  void CreateSubClass(TCreateParams& Params, const char* ControlClassName);
  virtual void CreateHandle();
  virtual void CreateWnd();
  virtual void CreateWindowHandle(const TCreateParams& Params);
  virtual void DestroyWnd();
  virtual void DestroyWindowHandle();
  // Paints the window: the default procedure's painting, then the graphic children.
  virtual void PaintWindow(HDC DC);
  void PaintControls(HDC DC, TControl* First);
  void PaintHandler(TMessage& Message);
  virtual void AlignControls(TControl* AControl, TRect& Rect);
  void UpdateBoundsRect() override;
  void UpdateShowing();
  void UpdateControlState();
  void FontChanged() override;
  virtual void KeyDown(WORD& Key, TShiftState Shift);
  virtual void KeyUp(WORD& Key, TShiftState Shift);
  virtual void KeyPress(char& Key);
  // Takes the window's real size after the window system changed it.
  void UpdateBounds();
  // The parent's window handle for CreateParams (a parent control's, or ParentWindow).
  HWND ParentHandle();

  WNDPROC DefWndProc = nullptr;
  HWND handle_ = nullptr;
  std::vector<TControl*> controls_;
  std::vector<TWinControl*> tab_list_;
  HWND parent_window_ = nullptr;
  bool tab_stop_ = false;
  bool showing_ = false;
  int align_disabled_ = 0;
  std::unique_ptr<TBrush> brush_;
  HFONT window_font_ = nullptr;  // the font handle last given to the window
  bool custom_paint_ = false;    // WM_PAINT always goes to PaintWindow

 private:
  friend class TControl;
  friend LRESULT FrameworkWndProc(HWND, UINT, WPARAM, LPARAM);
  bool DoKeyDown(TMessage& Message);
  bool DoKeyUp(TMessage& Message);
  bool DoKeyPress(TMessage& Message);
  void AlignChildren();
  bool in_align_ = false;
  bool in_update_bounds_ = false;
};

// ---- TGraphicControl, TCustomControl ----------------------------------------------------------------
// The canvas of a control: a DC of the control's window (a graphic control draws on its
// parent's window, offset to its bounds), taken on first use and freed by FreeHandle.
class TControlCanvas : public TCanvas {
 public:
  explicit TControlCanvas(TControl* Control) : control_(Control) {}
  ~TControlCanvas() override;
  KV_CLASS_NAME(TControlCanvas)
  void FreeHandle();

 protected:
  void CreateHandle() override;

 private:
  TControl* control_;
  HDC dc_ = nullptr;
  HWND window_ = nullptr;
};

// A control without a window of its own, painted on its parent's window.
class TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TComponent* AOwner);
  ~TGraphicControl() override;
  KV_CLASS_NAME(TGraphicControl)
  TCanvas* Canvas() { return canvas_.get(); }

 protected:
  void WndProc(TMessage& Message) override;
  virtual void Paint() {}

 private:
  std::unique_ptr<TControlCanvas> canvas_;
};

// A windowed control that paints itself on its canvas.
class TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent* AOwner);
  ~TCustomControl() override;
  KV_CLASS_NAME(TCustomControl)
  TCanvas* Canvas() { return canvas_.get(); }

 protected:
  void PaintWindow(HDC DC) override;
  virtual void Paint() {}

 private:
  std::unique_ptr<TControlCanvas> canvas_;
};

// ---- Lookup and utility windows ---------------------------------------------------------------------
// "ControlOfs" + module instance + thread id: the name of the control-lookup property
// (and of the registered message that asks a window for its control).
const char* ControlAtomName();
ATOM ControlAtom();
UINT RM_GetObjectInstance();
// The module the framework is linked into.
HINSTANCE FrameworkInstance();
// True when that module is a library (an in-process server) rather than the executable.
// A library's framework gives its windows and classes back when it is unloaded; an
// executable's leaves them to the end of the process (the platform's own state may be
// gone by the time the executable's static objects are destroyed).
bool FrameworkInLibrary();
// The framework control behind a window of this module, or nullptr.
TWinControl* FindControl(HWND Handle);
// The control for a window or, failing that, the nearest ancestor window's.
TWinControl* FindVCLWindow(const TPoint& Pos);

// A hidden window whose messages go to Method (timers, the application's window).
HWND AllocateHWnd(TWndMethod Method);
void DeallocateHWnd(HWND Wnd);

// The window procedure of every framework window class.
LRESULT FrameworkWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
