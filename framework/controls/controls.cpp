#include "framework/controls/controls.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>

#include "framework/controls/menus.h"
#include "framework/core/sysutils.h"
#include "platform/base/error.h"
#include "platform/base/module.h"
#include "platform/base/sync.h"

namespace {

// Controls live on the one GUI thread, so this state is plain module data. (No thread_local
// here: a module that carries the framework can be unloaded, and thread-local storage of an
// unloaded module trips the leak checker at exit.)

// The control whose window is being made: the first message of the new window binds it.
TWinControl* creating_control = nullptr;

// A graphic control holding the mouse (its parent's window has the capture): it gets the
// parent's mouse messages wherever the pointer is until the button comes up.
TControl* capture_control = nullptr;

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

void NoteClass(const char* name) {
  for (const std::string& n : module_classes.names)
    if (n == name) return;
  module_classes.names.emplace_back(name);
}

int MouseX(LPARAM lp) { return GET_X_LPARAM(lp); }
int MouseY(LPARAM lp) { return GET_Y_LPARAM(lp); }

}  // namespace

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

// ---- TWinControl ----------------------------------------------------------------------------------------

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner), brush_(std::make_unique<TBrush>()) {
  brush_->SetColor(color_);
}

TWinControl::~TWinControl() {
  Destroying();
  if (handle_) DestroyWindowHandle();
  // Child controls go with their parent.
  while (!controls_.empty()) {
    TControl* c = controls_.back();
    RemoveControl(c);
    delete c;
  }
  if (parent_) parent_->RemoveControl(this);
}

HWND TWinControl::ParentHandle() {
  if (parent_) return parent_->Handle();
  return parent_window_;
}

HWND TWinControl::Handle() {
  HandleNeeded();
  return handle_;
}

void TWinControl::SetParentWindow(HWND Value) {
  if (parent_ || parent_window_ == Value) return;
  if (handle_) {
    if (Value) {
      ::SetParent(handle_, Value);
    } else {
      DestroyHandle();
    }
  }
  parent_window_ = Value;
  UpdateControlState();
}

TControl* TWinControl::Controls(int Index) const {
  if (Index < 0 || Index >= ControlCount()) throw EListError(Format("List index out of bounds (%d)", Index));
  return controls_[static_cast<size_t>(Index)];
}

void TWinControl::InsertControl(TControl* AControl) {
  if (!AControl || AControl->parent_ == this) return;
  auto* wc = dynamic_cast<TWinControl*>(AControl);
  if (wc && wc->handle_) wc->DestroyHandle();
  controls_.push_back(AControl);
  if (wc) tab_list_.push_back(wc);
  AControl->parent_ = this;
  if (AControl->parent_color_) AControl->Perform(CM_PARENTCOLORCHANGED, 0, 0);
  if (AControl->parent_font_) AControl->Perform(CM_PARENTFONTCHANGED, 0, 0);
  if (wc)
    wc->UpdateControlState();
  else
    AControl->Invalidate();
  if (AControl->align_ != alNone) Realign();
}

void TWinControl::RemoveControl(TControl* AControl) {
  auto it = std::find(controls_.begin(), controls_.end(), AControl);
  if (it == controls_.end()) return;
  auto* wc = dynamic_cast<TWinControl*>(AControl);
  if (IFormRoot* form = FormRoot()) form->ControlRemoved(AControl);
  if (wc && wc->handle_ && !ComponentState().Contains(csDestroying)) wc->DestroyHandle();
  AControl->Invalidate();
  controls_.erase(std::find(controls_.begin(), controls_.end(), AControl));
  if (wc) tab_list_.erase(std::remove(tab_list_.begin(), tab_list_.end(), wc), tab_list_.end());
  AControl->parent_ = nullptr;
  if (AControl->align_ != alNone) Realign();
}

bool TWinControl::ContainsControl(TControl* Control) const {
  while (Control && Control != this) Control = Control->parent_;
  return Control == this;
}

TControl* TWinControl::ControlAtPos(const TPoint& P, bool AllowDisabled, bool AllowWinControls) {
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
    TControl* c = *it;
    bool win = dynamic_cast<TWinControl*>(c) != nullptr;
    if (win && !AllowWinControls) continue;
    if (!c->visible_ || (!AllowDisabled && !c->enabled_)) continue;
    if (P.x >= c->left_ && P.x < c->left_ + c->width_ && P.y >= c->top_ && P.y < c->top_ + c->height_) return c;
  }
  return nullptr;
}

int TWinControl::TabOrder() const {
  if (!parent_) return -1;
  auto& list = parent_->tab_list_;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

void TWinControl::SetTabOrder(int Value) {
  if (!parent_) return;
  auto& list = parent_->tab_list_;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  if (Value < 0) Value = 0;
  if (Value > static_cast<int>(list.size())) Value = static_cast<int>(list.size());
  list.insert(list.begin() + Value, this);
}

void TWinControl::SetTabStop(bool Value) {
  if (tab_stop_ == Value) return;
  tab_stop_ = Value;
  if (handle_) {
    LONG style = GetWindowLongA(handle_, GWL_STYLE);
    SetWindowLongA(handle_, GWL_STYLE, Value ? (style | WS_TABSTOP) : (style & ~static_cast<LONG>(WS_TABSTOP)));
  }
}

void TWinControl::GetTabOrderList(std::vector<TWinControl*>& List) {
  for (TWinControl* c : tab_list_) {
    List.push_back(c);
    c->GetTabOrderList(List);
  }
}

TWinControl* TWinControl::FindNextControl(TWinControl* CurControl, bool GoForward, bool CheckTabStop,
                                          bool CheckParent) {
  std::vector<TWinControl*> list;
  GetTabOrderList(list);
  if (list.empty()) return nullptr;
  int n = static_cast<int>(list.size());
  int start = static_cast<int>(std::find(list.begin(), list.end(), CurControl) - list.begin());
  if (start == n) start = GoForward ? n - 1 : 0;
  int i = start;
  for (int step = 0; step < n; ++step) {
    i = GoForward ? (i + 1) % n : (i + n - 1) % n;
    TWinControl* c = list[static_cast<size_t>(i)];
    if (c == CurControl) continue;
    if ((!CheckTabStop || c->tab_stop_) && (!CheckParent || c->parent_ == this) && c->CanFocus()) return c;
  }
  return nullptr;
}

bool TWinControl::CanFocus() {
  const TControl* c = this;
  while (true) {
    if (!c->visible_ || !c->enabled_) return false;
    if (dynamic_cast<const IFormRoot*>(c)) return true;
    if (!c->parent_) break;
    c = c->parent_;
  }
  // A control living in a window of another kind (an ActiveX container, for instance).
  return static_cast<const TWinControl*>(c)->parent_window_ != nullptr;
}

bool TWinControl::Focused() { return handle_ && GetFocus() == handle_; }

void TWinControl::SetFocus() {
  if (IFormRoot* form = FormRoot()) {
    form->FocusControl(this);
  } else if (parent_window_) {
    ::SetFocus(Handle());
  } else {
    ::SetFocus(Handle());
  }
}

void TWinControl::Broadcast(TMessage& Message) {
  for (TControl* c : std::vector<TControl*>(controls_)) {
    c->WindowProc(Message);
    if (Message.Result != 0) return;
  }
}

TRect TWinControl::ClientRect() {
  if (handle_) {
    RECT r{};
    GetClientRect(handle_, &r);
    return r;
  }
  return TControl::ClientRect();
}

void TWinControl::SetClientSize(int AWidth, int AHeight) {
  if (handle_) {
    TRect r = ClientRect();
    SetBounds(left_, top_, width_ - r.right + AWidth, height_ - r.bottom + AHeight);
  } else {
    TControl::SetClientSize(AWidth, AHeight);
  }
}

void TWinControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  if (AWidth < 0) AWidth = 0;
  if (AHeight < 0) AHeight = 0;
  if (ALeft == left_ && ATop == top_ && AWidth == width_ && AHeight == height_) return;
  bool resized = AWidth != width_ || AHeight != height_;
  left_ = ALeft;
  top_ = ATop;
  width_ = AWidth;
  height_ = AHeight;
  if (handle_) {
    // WM_SIZE realigns the children and raises OnResize.
    UpdateBoundsRect();
  } else if (resized) {
    AlignChildren();
    Resize();
  }
  RequestAlign();
}

void TWinControl::UpdateBoundsRect() {
  if (!handle_ || in_update_bounds_) return;
  in_update_bounds_ = true;
  SetWindowPos(handle_, nullptr, left_, top_, width_, height_, SWP_NOZORDER | SWP_NOACTIVATE);
  in_update_bounds_ = false;
}

void TWinControl::UpdateBounds() {
  if (!handle_) return;
  RECT r{};
  GetWindowRect(handle_, &r);
  if (GetWindowLongA(handle_, GWL_STYLE) & WS_CHILD) {
    HWND parent = GetParent(handle_);
    if (parent) MapWindowPoints(nullptr, parent, reinterpret_cast<LPPOINT>(&r), 2);
  }
  left_ = r.left;
  top_ = r.top;
  width_ = r.right - r.left;
  height_ = r.bottom - r.top;
}

void TWinControl::SetEnabled(bool Value) {
  if (enabled_ == Value) return;
  enabled_ = Value;
  if (handle_) EnableWindow(handle_, Value);
  Perform(CM_ENABLEDCHANGED, 0, 0);
}

void TWinControl::Invalidate() {
  if (handle_) InvalidateRect(handle_, nullptr, control_style_.Contains(csOpaque) ? FALSE : TRUE);
}

void TWinControl::Update() {
  if (handle_) UpdateWindow(handle_);
}

void TWinControl::Repaint() {
  Invalidate();
  Update();
}

void TWinControl::Realign() {
  if (align_disabled_ == 0) AlignChildren();
}

void TWinControl::EnableAlign() {
  if (align_disabled_ > 0 && --align_disabled_ == 0) AlignChildren();
}

void TWinControl::AlignChildren() {
  if (in_align_) return;
  in_align_ = true;
  try {
    TRect r = ClientRect();
    AlignControls(nullptr, r);
  } catch (...) {
    in_align_ = false;
    throw;
  }
  in_align_ = false;
}

void TWinControl::AlignControls(TControl*, TRect& Rect) {
  static const TAlign order[] = {alTop, alBottom, alLeft, alRight, alClient};
  for (TAlign a : order) {
    for (TControl* c : std::vector<TControl*>(controls_)) {
      if (c->align_ != a || !c->visible_) continue;
      int w = c->width_, h = c->height_;
      switch (a) {
        case alTop:
          c->SetBounds(Rect.left, Rect.top, Rect.right - Rect.left, h);
          Rect.top += c->height_;
          break;
        case alBottom:
          c->SetBounds(Rect.left, Rect.bottom - h, Rect.right - Rect.left, h);
          Rect.bottom -= c->height_;
          break;
        case alLeft:
          c->SetBounds(Rect.left, Rect.top, w, Rect.bottom - Rect.top);
          Rect.left += c->width_;
          break;
        case alRight:
          c->SetBounds(Rect.right - w, Rect.top, w, Rect.bottom - Rect.top);
          Rect.right -= c->width_;
          break;
        case alClient: c->SetBounds(Rect.left, Rect.top, Rect.right - Rect.left, Rect.bottom - Rect.top); break;
        case alNone: break;
      }
    }
  }
}

void TWinControl::CreateParams(TCreateParams& Params) {
  Params = TCreateParams{};
  Params.Caption = text_;
  Params.Style = WS_CHILD | WS_CLIPSIBLINGS;
  if (control_style_.Contains(csAcceptsControls)) {
    Params.Style |= WS_CLIPCHILDREN;
    Params.ExStyle |= WS_EX_CONTROLPARENT;
  }
  if (!enabled_) Params.Style |= WS_DISABLED;
  if (tab_stop_) Params.Style |= WS_TABSTOP;
  Params.X = left_;
  Params.Y = top_;
  Params.Width = width_;
  Params.Height = height_;
  Params.WndParent = ParentHandle();
  Params.WindowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
  Params.WindowClass.lpfnWndProc = DefWindowProcA;
  Params.WindowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  Params.WindowClass.hInstance = FrameworkInstance();
  Params.WinClassName = ClassName();
}

void TWinControl::CreateSubClass(TCreateParams& Params, const char* ControlClassName) {
  WNDCLASSA wc{};
  if (!GetClassInfoA(nullptr, ControlClassName, &wc))
    throw EOSError(Format("Window class %s does not exist", ControlClassName), GetLastError());
  UINT keep = Params.WindowClass.style & (CS_HREDRAW | CS_VREDRAW);
  Params.WindowClass = wc;
  Params.WindowClass.style =
      (wc.style & ~static_cast<UINT>(CS_OWNDC | CS_CLASSDC | CS_PARENTDC | CS_GLOBALCLASS)) | keep;
  Params.WindowClass.hInstance = FrameworkInstance();
}

void TWinControl::CreateHandle() {
  // Windows are made in the order of the parent's list, so the z-order follows it.
  if (!handle_) CreateWnd();
}

void TWinControl::CreateWnd() {
  TCreateParams params;
  CreateParams(params);
  if ((params.Style & WS_CHILD) && !params.WndParent)
    throw EInvalidOperation(Format("Control '%s' has no parent window", Name().c_str()));
  DefWndProc = params.WindowClass.lpfnWndProc;
  WNDCLASSA existing{};
  bool registered = GetClassInfoA(params.WindowClass.hInstance, params.WinClassName.c_str(), &existing);
  if (!registered || existing.lpfnWndProc != FrameworkWndProc) {
    if (registered) UnregisterClassA(params.WinClassName.c_str(), params.WindowClass.hInstance);
    WNDCLASSA wc = params.WindowClass;
    wc.lpfnWndProc = FrameworkWndProc;
    wc.lpszClassName = params.WinClassName.c_str();
    if (!RegisterClassA(&wc))
      throw EOSError(Format("Cannot register window class %s", params.WinClassName.c_str()), GetLastError());
    NoteClass(params.WinClassName.c_str());
  }
  CreateWindowHandle(params);
  if (!handle_) throw EOSError(Format("Cannot create window of class %s", params.WinClassName.c_str()), GetLastError());
  text_.clear();
  UpdateBounds();
  window_font_ = font_->Handle();
  SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(window_font_), 1);
}

void TWinControl::CreateWindowHandle(const TCreateParams& Params) {
  TWinControl* saved = creating_control;
  creating_control = this;
  HWND h = CreateWindowExA(Params.ExStyle, Params.WinClassName.c_str(), Params.Caption.c_str(), Params.Style, Params.X,
                           Params.Y, Params.Width, Params.Height, Params.WndParent, nullptr,
                           Params.WindowClass.hInstance, Params.Param);
  creating_control = saved;
  if (h && !handle_) {
    handle_ = h;
    SetPropA(h, ControlAtomName(), this);
  } else if (!h) {
    handle_ = nullptr;
  }
}

void TWinControl::DestroyHandle() {
  if (!handle_) return;
  for (TWinControl* c : std::vector<TWinControl*>(tab_list_)) c->DestroyHandle();
  DestroyWnd();
}

void TWinControl::DestroyWnd() {
  text_ = GetText();
  DestroyWindowHandle();
}

void TWinControl::DestroyWindowHandle() {
  control_state_ << csDestroyingHandle;
  HWND h = handle_;
  if (h) ::DestroyWindow(h);
  handle_ = nullptr;
  showing_ = false;
  control_state_ >> csDestroyingHandle;
}

void TWinControl::RecreateWnd() {
  if (handle_) Perform(CM_RECREATEWND, 0, 0);
}

void TWinControl::UpdateShowing() {
  // The parents' showing is checked by UpdateControlState; a control without parent or
  // parent window shows only when it is a form.
  bool show = visible_ && (parent_ || parent_window_ || dynamic_cast<IFormRoot*>(this) != nullptr);
  if (show) {
    HandleNeeded();
    for (TWinControl* c : std::vector<TWinControl*>(tab_list_)) c->UpdateShowing();
  }
  if (handle_ && showing_ != show) {
    showing_ = show;
    try {
      Perform(CM_SHOWINGCHANGED, 0, 0);
    } catch (...) {
      showing_ = !show;
      throw;
    }
    if (!show)
      for (TWinControl* c : std::vector<TWinControl*>(tab_list_)) c->UpdateShowing();
  }
}

void TWinControl::UpdateControlState() {
  TWinControl* top = this;
  while (top->parent_) {
    top = top->parent_;
    if (!top->showing_) return;
  }
  if (dynamic_cast<IFormRoot*>(top) || top->parent_window_) UpdateShowing();
}

void TWinControl::FontChanged() {
  TControl::FontChanged();
  if (handle_) {
    window_font_ = font_->Handle();
    SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(window_font_), 0);
  }
  TMessage m{CM_PARENTFONTCHANGED, 0, 0, 0};
  for (TControl* c : std::vector<TControl*>(controls_)) c->WindowProc(m);
}

void TWinControl::PaintWindow(HDC DC) {
  TMessage m{WM_PAINT, reinterpret_cast<WPARAM>(DC), 0, 0};
  DefaultHandler(m);
}

void TWinControl::PaintControls(HDC DC, TControl* First) {
  bool started = First == nullptr;
  for (TControl* c : std::vector<TControl*>(controls_)) {
    if (c == First) started = true;
    if (!started || dynamic_cast<TWinControl*>(c) || !c->visible_) continue;
    int saved = SaveDC(DC);
    POINT old{};
    OffsetViewportOrgEx(DC, c->left_, c->top_, &old);
    IntersectClipRect(DC, 0, 0, c->width_, c->height_);
    c->Perform(WM_PAINT, reinterpret_cast<WPARAM>(DC), 0);
    RestoreDC(DC, saved);
  }
}

void TWinControl::PaintHandler(TMessage& Message) {
  PAINTSTRUCT ps{};
  HDC dc = reinterpret_cast<HDC>(Message.WParam);
  bool own = dc == nullptr;
  if (own) dc = BeginPaint(handle_, &ps);
  try {
    PaintWindow(dc);
    PaintControls(dc, nullptr);
  } catch (...) {
    if (own) EndPaint(handle_, &ps);
    throw;
  }
  if (own) EndPaint(handle_, &ps);
  Message.Result = 0;
}

void TWinControl::DefaultHandler(TMessage& Message) {
  if (handle_) {
    Message.Result =
        CallWindowProcA(DefWndProc ? DefWndProc : DefWindowProcA, handle_, Message.Msg, Message.WParam, Message.LParam);
    return;
  }
  TControl::DefaultHandler(Message);
}

void TWinControl::KeyDown(WORD& Key, TShiftState Shift) {
  if (OnKeyDown) OnKeyDown(this, Key, Shift);
}

void TWinControl::KeyUp(WORD& Key, TShiftState Shift) {
  if (OnKeyUp) OnKeyUp(this, Key, Shift);
}

void TWinControl::KeyPress(char& Key) {
  if (OnKeyPress) OnKeyPress(this, Key);
}

bool TWinControl::DoKeyDown(TMessage& Message) {
  WORD key = static_cast<WORD>(Message.WParam);
  KeyDown(key, KeyDataToShiftState(Message.LParam));
  Message.WParam = key;
  return key == 0;
}

bool TWinControl::DoKeyUp(TMessage& Message) {
  WORD key = static_cast<WORD>(Message.WParam);
  KeyUp(key, KeyDataToShiftState(Message.LParam));
  Message.WParam = key;
  return key == 0;
}

bool TWinControl::DoKeyPress(TMessage& Message) {
  char key = static_cast<char>(Message.WParam & 0xFF);
  KeyPress(key);
  Message.WParam = static_cast<unsigned char>(key);
  return key == 0;
}

namespace {

// The child window a parent's notification names, for reflection.
HWND NotifyingChild(const TMessage& m) {
  switch (m.Msg) {
    case WM_COMMAND:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORSCROLLBAR: return reinterpret_cast<HWND>(m.LParam);
    case WM_NOTIFY: return m.LParam ? reinterpret_cast<const NMHDR*>(m.LParam)->hwndFrom : nullptr;
    case WM_DRAWITEM: {
      auto* d = reinterpret_cast<const DRAWITEMSTRUCT*>(m.LParam);
      return d && d->CtlType != ODT_MENU ? d->hwndItem : nullptr;
    }
    default: return nullptr;
  }
}

}  // namespace

void TWinControl::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_DRAWITEM:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORSCROLLBAR: {
      HWND child = NotifyingChild(Message);
      if (TWinControl* c = child && child != handle_ ? FindControl(child) : nullptr) {
        Message.Result = c->Perform(CN_BASE + Message.Msg, Message.WParam, Message.LParam);
        return;
      }
      break;
    }
    case CN_CTLCOLOREDIT:
    case CN_CTLCOLORLISTBOX:
    case CN_CTLCOLORBTN:
    case CN_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(Message.WParam);
      SetTextColor(dc, ColorToRGB(font_->Color()));
      SetBkColor(dc, ColorToRGB(brush_->Color()));
      Message.Result = reinterpret_cast<LRESULT>(brush_->Handle());
      return;
    }
    case WM_SYSCOMMAND:
      // Alt+character: a control of the form may take it as its accelerator before the
      // menu does.
      if ((Message.WParam & 0xFFF0) == SC_KEYMENU && Message.LParam != 0 && Message.LParam != VK_SPACE &&
          Message.LParam != '-' && handle_ && !IsIconic(handle_) && !GetCapture()) {
        TControl* form = dynamic_cast<TControl*>(FormRoot());
        if (form && form->Perform(CM_DIALOGCHAR, static_cast<WPARAM>(Message.LParam), 0x20000000) != 0) {
          Message.Result = 0;
          return;
        }
      }
      break;
    case CM_DIALOGCHAR: Broadcast(Message); return;
    case WM_ERASEBKGND: {
      RECT r = ClientRect();
      FillRect(reinterpret_cast<HDC>(Message.WParam), &r, brush_->Handle());
      Message.Result = 1;
      return;
    }
    case WM_PAINT: {
      bool graphic_children = false;
      for (TControl* c : controls_) graphic_children = graphic_children || !dynamic_cast<TWinControl*>(c);
      if (graphic_children || Message.WParam || custom_paint_) {
        PaintHandler(Message);
        return;
      }
      break;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MBUTTONDBLCLK:
    case WM_MOUSEMOVE: {
      // Mouse messages over a graphic child (or for the one holding the mouse) go to it.
      TPoint p = Point(GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam));
      TControl* c = capture_control && capture_control->parent_ == this ? capture_control : ControlAtPos(p, false);
      if (c) {
        Message.Result = c->Perform(Message.Msg, Message.WParam,
                                    MAKELPARAM(static_cast<WORD>(p.x - c->left_), static_cast<WORD>(p.y - c->top_)));
        return;
      }
      break;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (DoKeyDown(Message)) return;
      break;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      if (DoKeyUp(Message)) return;
      break;
    case WM_CHAR:
      if (DoKeyPress(Message)) return;
      break;
    case WM_SETFOCUS:
      if (IFormRoot* form = FormRoot(); form && dynamic_cast<TControl*>(form) != this) form->SetFocusedControl(this);
      break;
    case WM_CAPTURECHANGED:
      if (capture_control && capture_control->parent_ == this) capture_control = nullptr;
      break;
    case WM_SIZE:
      DefaultHandler(Message);
      UpdateBounds();
      AlignChildren();
      Resize();
      return;
    case WM_MOVE:
      DefaultHandler(Message);
      UpdateBounds();
      return;
    case WM_WINDOWPOSCHANGED:
      DefaultHandler(Message);
      if (!in_update_bounds_) UpdateBounds();
      return;
    case CM_SHOWINGCHANGED:
      SetWindowPos(
          handle_, nullptr, 0, 0, 0, 0,
          SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | (showing_ ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
      return;
    case CM_VISIBLECHANGED: UpdateControlState(); return;
    case CM_ENABLEDCHANGED:
      if (handle_ && static_cast<bool>(IsWindowEnabled(handle_)) != enabled_) EnableWindow(handle_, enabled_);
      Invalidate();
      return;
    case CM_COLORCHANGED: {
      brush_->SetColor(color_);
      Invalidate();
      TMessage m{CM_PARENTCOLORCHANGED, 0, 0, 0};
      for (TControl* c : std::vector<TControl*>(controls_)) c->WindowProc(m);
      return;
    }
    case CM_RECREATEWND:
      DestroyHandle();
      UpdateControlState();
      return;
    case CM_TEXTCHANGED: return;
    case CN_KEYDOWN:
    case CN_SYSKEYDOWN: {
      // Keys the control does not want (WM_GETDLGCODE) are dialog keys of its form.
      UINT mask = 0;
      switch (Message.WParam) {
        case VK_TAB: mask = DLGC_WANTTAB; break;
        case VK_LEFT:
        case VK_RIGHT:
        case VK_UP:
        case VK_DOWN: mask = DLGC_WANTARROWS; break;
        case VK_RETURN:
        case VK_EXECUTE:
        case VK_ESCAPE:
        case VK_CANCEL: mask = DLGC_WANTALLKEYS; break;
        default: break;
      }
      Message.Result = 0;
      if (mask && !(Perform(WM_GETDLGCODE, 0, 0) & mask)) {
        TControl* form = dynamic_cast<TControl*>(FormRoot());
        if (form && form->Perform(CM_DIALOGKEY, Message.WParam, Message.LParam) != 0) Message.Result = 1;
      }
      return;
    }
    default:
      // Notifications reflected from the parent that the control does not handle.
      if (Message.Msg >= CN_BASE && Message.Msg < CN_BASE + 0x1000) {
        Message.Result = 0;
        return;
      }
      break;
  }
  TControl::WndProc(Message);
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
