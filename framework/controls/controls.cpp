#include "framework/controls/controls.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>

#include "framework/controls/controls_internal.h"
#include "framework/controls/menus.h"
#include "framework/core/sysutils.h"
#include "platform/base/error.h"
#include "platform/base/module.h"
#include "platform/base/sync.h"

using controls_internal::capture_control;
using controls_internal::creating_control;
using controls_internal::MouseX;
using controls_internal::MouseY;
using controls_internal::NoteClass;

// Plain module data, not thread_local: a module that carries the framework can be unloaded,
// and thread-local storage of an unloaded module trips the leak checker at exit.
TWinControl* controls_internal::creating_control = nullptr;
TControl* controls_internal::capture_control = nullptr;

namespace {

// The window classes this module registered: unregistered when the module goes, so no
// class of the window system names a procedure of unloaded code. A namespace-scope object
// of constant initialisation, so it is destroyed after every function-local static of
// the module (the parking window among them): a class with windows left cannot go.
struct ModuleClasses {
  std::vector<std::string> names;
  ~ModuleClasses() {
    if (!FrameworkInLibrary()) return;
    for (const std::string& n : names) UnregisterClassA(n.c_str(), FrameworkInstance());
  }
} module_classes;

}  // namespace

void controls_internal::NoteClass(const char* name) {
  for (const std::string& n : module_classes.names)
    if (n == name) return;
  module_classes.names.emplace_back(name);
}

// ---- Lookup -------------------------------------------------------------------------------------------

HINSTANCE FrameworkInstance() {
  static HINSTANCE instance = KvModuleOfAddress(reinterpret_cast<const void*>(&FrameworkInstance));
  return instance;
}

bool FrameworkInLibrary() {
  static const bool library = FrameworkInstance() != GetModuleHandleA(nullptr);
  return library;
}

const char* ControlAtomName() {
  static const std::string name = [] {
    char buf[40];
    std::snprintf(buf, sizeof buf, "ControlOfs%.8X%.8X",
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(FrameworkInstance()) & 0xFFFFFFFFu),
                  static_cast<unsigned>(GetCurrentThreadId()));
    return std::string(buf);
  }();
  return name.c_str();
}

ATOM ControlAtom() {
  ATOM a = GlobalFindAtomA(ControlAtomName());
  return a ? a : GlobalAddAtomA(ControlAtomName());
}

UINT RM_GetObjectInstance() { return RegisterWindowMessageA(ControlAtomName()); }

TWinControl* FindControl(HWND Handle) {
  if (!Handle || !IsWindow(Handle)) return nullptr;
  return static_cast<TWinControl*>(GetPropA(Handle, ControlAtomName()));
}

TWinControl* FindVCLWindow(const TPoint& Pos) {
  HWND h = WindowFromPoint(Pos);
  while (h) {
    if (TWinControl* c = FindControl(h)) return c;
    h = GetParent(h);
  }
  return nullptr;
}

TShiftState KeysToShiftState(WORD Keys) {
  TShiftState s;
  if (Keys & MK_SHIFT) s << ssShift;
  if (Keys & MK_CONTROL) s << ssCtrl;
  if (Keys & MK_LBUTTON) s << ssLeft;
  if (Keys & MK_RBUTTON) s << ssRight;
  if (Keys & MK_MBUTTON) s << ssMiddle;
  if (GetKeyState(VK_MENU) < 0) s << ssAlt;
  return s;
}

TShiftState KeyDataToShiftState(LPARAM KeyData) {
  TShiftState s;
  if (GetKeyState(VK_SHIFT) < 0) s << ssShift;
  if (GetKeyState(VK_CONTROL) < 0) s << ssCtrl;
  if (KeyData & 0x20000000) s << ssAlt;
  return s;
}

LRESULT FrameworkWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* control = static_cast<TWinControl*>(GetPropA(hwnd, ControlAtomName()));
  if (!control && creating_control) {
    control = creating_control;
    creating_control = nullptr;
    control->handle_ = hwnd;
    SetPropA(hwnd, ControlAtomName(), control);
  }
  if (!control) return DefWindowProcA(hwnd, msg, wParam, lParam);
  if (msg == RM_GetObjectInstance()) return reinterpret_cast<LRESULT>(control);
  TMessage m{msg, wParam, lParam, 0};
  try {
    control->WindowProc(m);
  } catch (...) {
    HandleControlException(control);
  }
  if (msg == CM_RELEASE) {
    ReleasePendingForms();
    return m.Result;
  }
  if (msg == WM_NCDESTROY) {
    RemovePropA(hwnd, ControlAtomName());
    if (control->handle_ == hwnd) {
      control->handle_ = nullptr;
      control->showing_ = false;
    }
  }
  return m.Result;
}

// ---- Utility windows ------------------------------------------------------------------------------------

namespace {

const char kUtilClass[] = "TPUtilWindow";
const char kUtilProp[] = "KvUtilWindowMethod";

LRESULT UtilWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* method = static_cast<TWndMethod*>(GetPropA(hwnd, kUtilProp));
  if (!method || !*method) return DefWindowProcA(hwnd, msg, wParam, lParam);
  TMessage m{msg, wParam, lParam, 0};
  try {
    (*method)(m);
  } catch (...) {
    HandleControlException(nullptr);
  }
  return m.Result;
}

}  // namespace

HWND AllocateHWnd(TWndMethod Method) {
  WNDCLASSA wc{};
  if (!GetClassInfoA(FrameworkInstance(), kUtilClass, &wc)) {
    wc = WNDCLASSA{};
    wc.lpfnWndProc = UtilWndProc;
    wc.hInstance = FrameworkInstance();
    wc.lpszClassName = kUtilClass;
    if (!RegisterClassA(&wc)) throw EOSError("Cannot register the utility window class", GetLastError());
    NoteClass(kUtilClass);
  }
  HWND h = CreateWindowExA(WS_EX_TOOLWINDOW, kUtilClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                           FrameworkInstance(), nullptr);
  if (!h) throw EOSError("Cannot create a utility window", GetLastError());
  if (Method) SetPropA(h, kUtilProp, new TWndMethod(std::move(Method)));
  return h;
}

void DeallocateHWnd(HWND Wnd) {
  if (!Wnd) return;
  auto* method = static_cast<TWndMethod*>(RemovePropA(Wnd, kUtilProp));
  if (IsWindow(Wnd)) DestroyWindow(Wnd);
  delete method;
}

// ---- TControl -------------------------------------------------------------------------------------------

TControl::TControl(TComponent* AOwner) : TComponent(AOwner), font_(std::make_unique<TFont>()) {
  WindowProc = [this](TMessage& m) { WndProc(m); };
  font_->OnChange = [this](TObject*) { FontChanged(); };
  control_style_ = TControlStyle{csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks};
}

TControl::~TControl() {
  if (capture_control == this) capture_control = nullptr;
  if (parent_) parent_->RemoveControl(this);
}

void TControl::SetParent(TWinControl* AParent) {
  if (parent_ == AParent) return;
  if (AParent == this) throw EInvalidOperation("A control cannot have itself as its parent");
  if (parent_) parent_->RemoveControl(this);
  if (AParent) AParent->InsertControl(this);
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  if (AWidth < 0) AWidth = 0;
  if (AHeight < 0) AHeight = 0;
  if (ALeft == left_ && ATop == top_ && AWidth == width_ && AHeight == height_) return;
  Invalidate();
  bool resized = AWidth != width_ || AHeight != height_;
  left_ = ALeft;
  top_ = ATop;
  width_ = AWidth;
  height_ = AHeight;
  Invalidate();
  RequestAlign();
  if (resized) Resize();
}

TRect TControl::ClientRect() { return Rect(0, 0, width_, height_); }

void TControl::SetClientSize(int AWidth, int AHeight) {
  TRect r = ClientRect();
  SetBounds(left_, top_, width_ - r.right + AWidth, height_ - r.bottom + AHeight);
}

TPoint TControl::ClientOrigin() {
  if (auto* win = dynamic_cast<TWinControl*>(this); win && win->HandleAllocated()) {
    POINT p{0, 0};
    ::ClientToScreen(win->Handle(), &p);
    return p;
  }
  if (!parent_) return Point(left_, top_);
  TPoint p = parent_->ClientOrigin();
  return Point(p.x + left_, p.y + top_);
}

void TControl::SetAlign(TAlign Value) {
  if (align_ == Value) return;
  align_ = Value;
  RequestAlign();
}

void TControl::SetVisible(bool Value) {
  if (visible_ == Value) return;
  VisibleChanging();
  visible_ = Value;
  Perform(CM_VISIBLECHANGED, Value ? 1 : 0, 0);
  RequestAlign();
}

void TControl::Show() {
  if (parent_) parent_->Show();
  SetVisible(true);
}

void TControl::SetEnabled(bool Value) {
  if (enabled_ == Value) return;
  enabled_ = Value;
  Perform(CM_ENABLEDCHANGED, 0, 0);
}

AnsiString TControl::GetText() {
  LRESULT len = Perform(WM_GETTEXTLENGTH, 0, 0);
  if (len <= 0) return AnsiString();
  std::string buf(static_cast<size_t>(len) + 1, '\0');
  LRESULT got = Perform(WM_GETTEXT, static_cast<WPARAM>(len + 1), reinterpret_cast<LPARAM>(buf.data()));
  buf.resize(static_cast<size_t>(std::clamp<LRESULT>(got, 0, len)));
  return buf;
}

void TControl::SetText(const AnsiString& Value) {
  if (GetText() == Value) return;
  Perform(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Value.c_str()));
  Perform(CM_TEXTCHANGED, 0, 0);
}

void TControl::SetColor(TColor Value) {
  if (color_ == Value) return;
  color_ = Value;
  parent_color_ = false;
  Perform(CM_COLORCHANGED, 0, 0);
}

void TControl::SetParentColor(bool Value) {
  if (parent_color_ == Value) return;
  parent_color_ = Value;
  if (Value && parent_) Perform(CM_PARENTCOLORCHANGED, 0, 0);
}

void TControl::SetParentFont(bool Value) {
  if (parent_font_ == Value) return;
  parent_font_ = Value;
  if (Value && parent_) Perform(CM_PARENTFONTCHANGED, 0, 0);
}

void TControl::FontChanged() {
  if (!in_font_update_) parent_font_ = false;
  Perform(CM_FONTCHANGED, 0, 0);
}

LRESULT TControl::Perform(UINT Msg, WPARAM WParam, LPARAM LParam) {
  TMessage m{Msg, WParam, LParam, 0};
  if (WindowProc)
    WindowProc(m);
  else
    WndProc(m);
  return m.Result;
}

void TControl::DefaultHandler(TMessage& Message) {
  switch (Message.Msg) {
    case WM_GETTEXT: {
      auto* buf = reinterpret_cast<char*>(Message.LParam);
      size_t size = static_cast<size_t>(Message.WParam);
      if (!buf || size == 0) {
        Message.Result = 0;
        return;
      }
      size_t n = std::min(text_.size(), size - 1);
      text_.copy(buf, n);
      buf[n] = '\0';
      Message.Result = static_cast<LRESULT>(n);
      return;
    }
    case WM_GETTEXTLENGTH: Message.Result = static_cast<LRESULT>(text_.size()); return;
    case WM_SETTEXT:
      text_ = Message.LParam ? reinterpret_cast<const char*>(Message.LParam) : "";
      Message.Result = 1;
      return;
    default: Message.Result = 0;
  }
}

void TControl::MouseButton(TMessage& Message, TMouseButton Button, bool Down, bool Double) {
  TShiftState shift = KeysToShiftState(static_cast<WORD>(Message.WParam));
  int x = MouseX(Message.LParam), y = MouseY(Message.LParam);
  bool graphic = dynamic_cast<TWinControl*>(this) == nullptr;
  if (Down && graphic && Button == mbLeft && control_style_.Contains(csCaptureMouse) && parent_ &&
      parent_->HandleAllocated()) {
    capture_control = this;
    SetCapture(parent_->Handle());
  }
  if (Down) {
    if (Double) shift << ssDouble;
    if (Button == mbLeft && control_style_.Contains(csClickEvents)) control_state_ << csClicked;
    if (Double && Button == mbLeft && control_style_.Contains(csDoubleClicks)) DblClick();
    MouseDown(Button, shift, x, y);
  } else {
    bool clicked = Button == mbLeft && control_state_.Contains(csClicked);
    if (Button == mbLeft) control_state_ >> csClicked;
    if (clicked) {
      TRect r = ClientRect();
      if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) Click();
    }
    MouseUp(Button, shift, x, y);
    if (Button == mbLeft && capture_control == this) {
      capture_control = nullptr;
      if (GetCapture()) ReleaseCapture();
    }
  }
}

void TControl::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_LBUTTONDOWN: MouseButton(Message, mbLeft, true, false); break;
    case WM_LBUTTONDBLCLK: MouseButton(Message, mbLeft, true, true); break;
    case WM_LBUTTONUP: MouseButton(Message, mbLeft, false, false); break;
    case WM_RBUTTONDOWN: MouseButton(Message, mbRight, true, false); break;
    case WM_RBUTTONDBLCLK: MouseButton(Message, mbRight, true, true); break;
    case WM_RBUTTONUP:
      MouseButton(Message, mbRight, false, false);
      // A graphic control has no window to get WM_CONTEXTMENU: it pops its menu here.
      if (PopupMenu && !dynamic_cast<TWinControl*>(this)) {
        TPoint p = ClientToScreen(Point(GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)));
        PopupMenu->Popup(p.x, p.y);
        return;
      }
      break;
    case WM_CONTEXTMENU:
      if (PopupMenu) {
        POINT p{GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)};
        if (p.x == -1 && p.y == -1) GetCursorPos(&p);  // from the keyboard
        PopupMenu->Popup(p.x, p.y);
        Message.Result = 1;
        return;
      }
      break;
    case WM_MBUTTONDOWN: MouseButton(Message, mbMiddle, true, false); break;
    case WM_MBUTTONDBLCLK: MouseButton(Message, mbMiddle, true, true); break;
    case WM_MBUTTONUP: MouseButton(Message, mbMiddle, false, false); break;
    case WM_MOUSEMOVE:
      MouseMove(KeysToShiftState(static_cast<WORD>(Message.WParam)), MouseX(Message.LParam), MouseY(Message.LParam));
      break;
    case CM_PARENTCOLORCHANGED:
      if (parent_color_ && parent_) {
        SetColor(parent_->Color());
        parent_color_ = true;
      }
      return;
    case CM_PARENTFONTCHANGED:
      if (parent_font_ && parent_) {
        in_font_update_ = true;
        try {
          font_->Assign(parent_->Font());
        } catch (...) {
          in_font_update_ = false;
          throw;
        }
        in_font_update_ = false;
      }
      return;
    case CM_VISIBLECHANGED:
    case CM_ENABLEDCHANGED:
    case CM_COLORCHANGED:
    case CM_FONTCHANGED:
    case CM_TEXTCHANGED: Invalidate(); return;
    default: break;
  }
  DefaultHandler(Message);
}

void TControl::Invalidate() {
  if (!parent_ || !parent_->HandleAllocated() || !visible_) return;
  TRect r = BoundsRect();
  InvalidateRect(parent_->Handle(), &r, control_style_.Contains(csOpaque) ? FALSE : TRUE);
}

void TControl::Update() {
  if (parent_) parent_->Update();
}

void TControl::Repaint() {
  Invalidate();
  Update();
}

void TControl::BringToFront() {
  if (!parent_) return;
  auto& list = parent_->controls_;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  list.push_back(this);
  Invalidate();
}

void TControl::SendToBack() {
  if (!parent_) return;
  auto& list = parent_->controls_;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  list.insert(list.begin(), this);
  Invalidate();
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TControl::Resize() {
  if (OnResize) OnResize(this);
}

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}

void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

void TControl::MouseMove(TShiftState Shift, int X, int Y) {
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}

void TControl::RequestAlign() {
  if (parent_ && align_ != alNone) parent_->Realign();
}

bool IsAccel(WPARAM VK, const AnsiString& Str) {
  for (size_t i = 0; i + 1 < Str.size(); ++i)
    if (Str[i] == '&') {
      if (Str[i + 1] != '&')
        return std::toupper(static_cast<unsigned char>(Str[i + 1])) == std::toupper(static_cast<int>(VK & 0xFF)) &&
               VK < 0x100;
      ++i;
    }
  return false;
}

IFormRoot* TControl::FormRoot() const {
  const TControl* c = this;
  while (c->parent_) c = c->parent_;
  return dynamic_cast<IFormRoot*>(const_cast<TControl*>(c));
}

// ---- TControlCanvas, TGraphicControl, TCustomControl ----------------------------------------------------

TControlCanvas::~TControlCanvas() { FreeHandle(); }

void TControlCanvas::FreeHandle() {
  if (!dc_) return;
  SetHandle(nullptr);
  ReleaseDC(window_, dc_);
  dc_ = nullptr;
  window_ = nullptr;
}

void TControlCanvas::CreateHandle() {
  auto* win = dynamic_cast<TWinControl*>(control_);
  TWinControl* host = win ? win : control_->Parent();
  if (!host) throw EInvalidOperation("Control has no parent window");
  window_ = host->Handle();
  dc_ = GetDC(window_);
  if (!dc_) throw EOutOfResources("Out of system resources");
  if (!win) {
    SetViewportOrgEx(dc_, control_->Left(), control_->Top(), nullptr);
    IntersectClipRect(dc_, 0, 0, control_->Width(), control_->Height());
  }
  SetHandle(dc_);
}

TGraphicControl::TGraphicControl(TComponent* AOwner)
    : TControl(AOwner), canvas_(std::make_unique<TControlCanvas>(this)) {}

TGraphicControl::~TGraphicControl() = default;

void TGraphicControl::WndProc(TMessage& Message) {
  if (Message.Msg == WM_PAINT) {
    HDC dc = reinterpret_cast<HDC>(Message.WParam);
    if (!dc) return;
    TCanvasDC lent(canvas_.get(), dc);
    Paint();
    return;
  }
  TControl::WndProc(Message);
}

TCustomControl::TCustomControl(TComponent* AOwner)
    : TWinControl(AOwner), canvas_(std::make_unique<TControlCanvas>(this)) {
  custom_paint_ = true;
}

TCustomControl::~TCustomControl() {
  canvas_->FreeHandle();
  Destroying();
  if (handle_) DestroyWindowHandle();
}

void TCustomControl::PaintWindow(HDC DC) {
  TCanvasDC lent(canvas_.get(), DC);
  Paint();
}
