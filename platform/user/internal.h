// Internals of the window system shared by its source files (C++; nothing here crosses
// the boundary of libplatform.so).
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/user/spy.h"
#include "platform/user/testing.h"
#include "platform/user/user.h"

namespace kv::user {

struct Class {
  std::u16string name;
  ATOM atom = 0;
  UINT style = 0;
  WNDPROC proc = nullptr;
  bool unicode = true;
  int clsExtra = 0;
  int wndExtra = 0;
  HINSTANCE instance = nullptr;
  HICON icon = nullptr;
  HICON iconSm = nullptr;
  HCURSOR cursor = nullptr;
  HBRUSH background = nullptr;
  std::u16string menuName;
  std::vector<uint8_t> extra;
  bool system = false;  // predefined: survives KvUserReset
  int windows = 0;
};

struct ScrollState {
  int min = 0, max = 100;
  UINT page = 0;
  int pos = 0, trackPos = 0;
  UINT disabled = 0;  // ESB_DISABLE_*
  bool shown = false;
};

// The control-specific state of a predefined control lives behind this.
struct ControlData {
  virtual ~ControlData() = default;
};

struct Window {
  HWND hwnd = nullptr;
  DWORD tid = 0;
  std::shared_ptr<Class> cls;
  WNDPROC proc = nullptr;
  bool unicode = true;
  DWORD style = 0, exStyle = 0;
  HWND parent = nullptr;  // null for a top-level window
  HWND owner = nullptr;
  std::vector<HWND> children;  // z-order, topmost first
  RECT rect{};                 // window rectangle in the parent's client coordinates (screen for top-level)
  RECT client{};               // client rectangle in the same coordinates
  std::u16string text;
  HINSTANCE instance = nullptr;
  UINT_PTR id = 0;
  HMENU menu = nullptr;
  LONG_PTR userData = 0;
  std::vector<uint8_t> extra;
  std::vector<std::pair<ATOM, HANDLE>> props;
  HRGN region = nullptr;  // window coordinates; owned
  // Painting state. The update region is in client coordinates.
  HRGN update = nullptr;
  bool erase = false;
  bool ncDirty = false;
  bool internalPaint = false;
  bool painting = false;
  bool ncActive = false;
  // Show state.
  bool maximized = false;  // minimised from maximised: restores to maximised
  RECT normal{};  // restored rectangle while minimised/maximised
  bool everShown = false;
  HICON iconSmall = nullptr, iconBig = nullptr;
  HFONT font = nullptr;
  ScrollState hscroll, vscroll;
  bool scrollBarControl = false;  // made by the "ScrollBar" procedure (its class may be a superclass)
  bool destroying = false;
  bool dead = false;
  bool ncCreated = false;
  // Backing surface of a top-level window: window size, 0x00RRGGBB.
  std::vector<uint32_t> pixels;
  int surfW = 0, surfH = 0;
  std::unique_ptr<ControlData> control;
  ~Window();
};

using WindowPtr = std::shared_ptr<Window>;

// ---- Registry of windows (window.cpp) ----------------------------------------------------
std::recursive_mutex& Lock();
WindowPtr Find(HWND hwnd);       // nullptr for a bad handle (no error set)
WindowPtr Get(HWND hwnd);        // nullptr with ERROR_INVALID_WINDOW_HANDLE
std::vector<HWND>& TopLevels();  // z-order, topmost first
std::vector<HWND> ThreadTopLevels(DWORD tid);
std::vector<HWND> ThreadMessageOnly(DWORD tid);  // windows made with HWND_MESSAGE
std::vector<HWND>& Siblings(const Window& w);
bool IsDescendant(HWND ancestor, HWND hwnd);
HWND TopLevelOf(HWND hwnd);
// A button pressed in a child window: WM_PARENTNOTIFY (the button message, the point in
// each parent's client co-ordinates) up the chain of parents that ask for it.
void ButtonParentNotify(HWND hwnd, UINT button_message, POINT screen_pt);
POINT ClientOrigin(const Window& w);  // screen position of the client's top-left
POINT WindowOrigin(const Window& w);  // screen position of the window's top-left
RECT ScreenRect(const Window& w);
bool ReallyVisible(const Window& w);  // it and all its ancestors WS_VISIBLE
void RemoveFromTree(Window& w);

// ---- Classes (class.cpp) -------------------------------------------------------------------
std::shared_ptr<Class> FindClass(LPCWSTR name, HINSTANCE instance);
// A predefined class (global, survives KvUserReset).
void RegisterSystemClass(const char16_t* name, WNDPROC proc, UINT style, int wndExtra, HBRUSH bg,
                         HCURSOR cursor = nullptr);
void ResetClasses();
// Atoms.
ATOM AddAtom(std::u16string_view name);
ATOM FindAtom(std::u16string_view name);
std::u16string AtomName(ATOM atom);
ATOM NameToAtom(LPCWSTR name, bool add);  // integer atoms pass through

// ---- Messages (queue, send, convert, hooks, timer and spy .cpp) ------------------------------
// Sends a message to a window procedure of the window's thread (the caller's side: A or W).
LRESULT Send(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, bool unicode = true);
// Calls a procedure with conversion of text messages between the A and W sides.
LRESULT CallProc(WNDPROC proc, bool procUnicode, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, bool callerUnicode);
bool Post(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Hooks. CallHooks answers the first hook's result (0 when none is installed).
bool HasHook(int id);
LRESULT CallHooks(int id, int code, WPARAM wParam, LPARAM lParam, bool* called = nullptr);
// CBT create hook with the right CREATESTRUCT form for each hook.
LRESULT CallCbtCreate(HWND hwnd, CREATESTRUCTW* csw, CREATESTRUCTA* csa);
void SpyRecord(DWORD kind, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, int hook, int code, LRESULT result,
               size_t* index = nullptr);
void SpySetResult(size_t index, LRESULT result);
void KillWindowTimers(HWND hwnd);
void ResetMessages();
// Procedure thunks that GetWindowLong hands out to the other side (A for a W procedure
// and the reverse).
WNDPROC ProcForSide(WNDPROC proc, bool procUnicode, bool wantUnicode);
// Resolves a procedure value given by a program: a thunk becomes its target.
WNDPROC ResolveProc(WNDPROC value, bool valueUnicode, bool* unicode);
// The mouse/keyboard input queue of the calling thread (input.cpp) is asked for its next
// message; false when there is none.
bool NextInputMessage(MSG* out, HWND filter, UINT fmin, UINT fmax, bool remove);
bool HasInput();
DWORD InputPending();
void ResetInput();
DWORD CurrentTime();
// While set on the presenter's thread, the input it injects goes to that thread's input
// (the owner of the window the desktop's event is for) and wakes it; 0 sets it back.
void InjectInto(DWORD tid);
// A key from the desktop's keyboard (the presenter), with its scan code.
void InjectDesktopKey(int vkey, int scan, bool extended, bool down);
// Input-method text from the desktop for the focus window: WM_IME_STARTCOMPOSITION,
// WM_IME_ENDCOMPOSITION, or WM_IME_COMPOSITION with the composition (GCS_COMPSTR) or the
// committed text (GCS_RESULTSTR).
void InjectImeMessage(UINT msg, LPARAM flags, const std::u16string& text);
// The committed text of the WM_IME_COMPOSITION last taken from this thread's input.
std::u16string ImeResult();
// Whether a key message was taken from the desktop's keyboard: its printable characters
// arrive through the desktop's text input, so TranslateMessage makes none for it.
bool KeyFromDesktop(const MSG& m);
// For the modal tracking loops (moving, sizing, menus, scroll bars): whether there is
// input to take. Headless that is the queued input; with a presenter on this thread it
// waits for the person's next input (or other work of the queue) and answers true.
bool ModalInputPending();

// ---- Positions (pos.cpp) ------------------------------------------------------------------------
void ComputeNcCalc(const Window& w, RECT* rect);  // window rect -> client rect (DefWindowProc)
bool SetPos(HWND hwnd, HWND after, int x, int y, int cx, int cy, UINT flags);
void GetMinMax(HWND hwnd, MINMAXINFO* mmi);
void FrameSize(DWORD style, DWORD exStyle, int* cx, int* cy);
bool HasCaption(DWORD style);
void WindowDestroyedFocus(HWND hwnd);  // activation/focus/capture fix-ups

// ---- Activation and focus (focus.cpp) -------------------------------------------------------------
bool Activate(HWND hwnd, bool mouse);
void ActivateOther(HWND leaving);
HWND ActiveWindow();
HWND FocusWindow();
void ResetFocus();

// ---- Painting (paint.cpp) ----------------------------------------------------------------------------
void EnsureSurface(Window& w);
// children: 0 none, 1 those not clipped away by WS_CLIPCHILDREN, 2 all.
void InvalidateInternal(HWND hwnd, HRGN clientRgn, bool erase, bool frame, int children);
void ValidateInternal(HWND hwnd, HRGN clientRgn, bool children);
void UpdateNow(HWND hwnd, bool children);
// The surface pixels of a top-level window and the offset of `hwnd`'s window rectangle in it.
bool SurfaceOf(HWND hwnd, Window** top, POINT* offset);
bool NeedsPaint(const Window& w);
HWND FindPaintWindow(DWORD tid, HWND filter);
void SendNcPaintAndErase(HWND hwnd);  // what showing a top-level window does at once
void DrawDefaultFrame(HWND hwnd, HDC hdc, bool active);
void ReleaseWindowDCs(HWND hwnd);
void ResizeSurface(Window& w, int oldW, int oldH);

// ---- Scroll bars (scroll.cpp) ------------------------------------------------------------------------
// The rectangle of a window scroll bar (SB_HORZ / SB_VERT) in window coordinates, or of a
// scroll bar control's client (SB_CTL); false when the window has none.
bool ScrollBarRect(const Window& w, int bar, RECT* r);
// Thumb offset from the end of the first arrow, and its length, along a track.
void ScrollThumb(int track, const ScrollState& s, int* off, int* len);
// DefWindowProc's tracking of a press on a scroll bar, on injected input.
void TrackScrollBar(HWND hwnd, int bar, POINT screen);
ScrollState* ScrollOf(Window& w, int bar);

// ---- System (system.cpp) --------------------------------------------------------------------------------
int Metric(int index);
void ResetSystem();
void ResetMessageBoxes();   // msgbox.cpp
void ResetBuiltinModule();  // builtin.cpp: every optional entry present again

// ---- Predefined controls (control.cpp; one file per class) ---------------------------------------------
void RegisterControls();
void RegisterButtonClass();
void RegisterStaticClass();
void RegisterScrollBarClass();
void RegisterBuiltinEdit();
// "ListBox", "ComboLBox" and "ComboBox" (listbox.cpp).
void RegisterBuiltinLists();
void RegisterDialogClass();
// "MDIClient" (mdi.cpp).
void RegisterMdiClientClass();
bool IsComboBox(const Window& w);
bool ComboInfo(HWND hwnd, COMBOBOXINFO* info);
// Whether string messages of a list or combo box carry strings (else item data).
bool ListHasStrings(HWND hwnd);

// Sends WM_COMMAND with the control's id and `code` to its parent.
void NotifyCommand(HWND hwnd, UINT code);
// The brush the parent answers to WM_CTLCOLOR... `msg` (the 3-D face without an answer).
HBRUSH ParentBrush(HWND hwnd, HDC hdc, UINT msg);
// The window text in its font into `r`, grey when disabled.
void DrawLabel(HDC hdc, const Window& w, RECT r, UINT format);
// How a control takes WM_PAINT: through BeginPaint only, or also into a DC given in wParam
// (as the framework's PaintTo asks).
enum class PaintInto { OwnDC, GivenDC };
// The paint messages the drawn controls answer alike: WM_PAINT and WM_PRINTCLIENT draw
// through `paint`, WM_ERASEBKGND is left to it. True, with `result`, when `msg` is one.
bool PaintMessage(HWND hwnd, UINT msg, WPARAM wp, void (*paint)(HWND, HDC), PaintInto into, LRESULT& result);

// The control data of `w`, made on first use. Each class keeps one type of data; a window
// that a program hands to another class's procedure gets fresh data of that class.
template <class T>
T& DataOf(Window& w) {
  T* d = w.control ? dynamic_cast<T*>(w.control.get()) : nullptr;
  if (!d) {
    w.control = std::make_unique<T>();
    d = static_cast<T*>(w.control.get());
  }
  return *d;
}

// Selects the window's font (WM_SETFONT) into `hdc` while alive.
class FontScope {
 public:
  FontScope(HDC hdc, HFONT font) : hdc_(hdc), old_(font ? SelectObject(hdc, font) : nullptr) {}
  ~FontScope() {
    if (old_) SelectObject(hdc_, old_);
  }
  FontScope(const FontScope&) = delete;
  FontScope& operator=(const FontScope&) = delete;

 private:
  HDC hdc_;
  HGDIOBJ old_;
};

// ---- Menus (menu.cpp: the model; menu_loop.cpp: the loop, the bar and "#32768") --------------
void DrawMenuBarInto(HWND hwnd, HDC hdc);  // the bar band of a window DC
void MenuBarTrack(HWND hwnd, POINT screen, bool keyboard);
// Opens the menu-bar item whose mnemonic ("&" + character) is `key`; false when none has it.
bool MenuBarTrackKey(HWND hwnd, WCHAR key);
// True while the last key or button pressed is the Alt key (its release enters the menu).
bool AltPressedAlone();
void SystemMenuTrack(HWND hwnd, POINT screen);
void DestroyWindowMenus(HWND hwnd);
void ResetMenus();
void RegisterMenuClass();
void ResetIcons();  // icons made by programs (icon.cpp)

// Conversions. The A and W forms of a function share one body, a template over the
// character type C; kWide<C> tells them apart, ToWide takes text of either kind.
template <class C>
inline constexpr bool kWide = std::is_same_v<C, WCHAR>;
std::u16string ToWide(LPCSTR s);
inline std::u16string ToWide(LPCWSTR s) { return s ? std::u16string(s) : std::u16string(); }
std::string ToAnsi(std::u16string_view s);
// Text handed out by an A or W form: made ANSI for the A forms.
template <class C>
std::basic_string<C> TextFor(std::u16string_view text) {
  if constexpr (kWide<C>)
    return std::u16string(text);
  else
    return ToAnsi(text);
}
// Copies `text` into buffer[size] (size > 0), cut to fit with its terminator; the count
// of characters copied.
template <class C>
int CopyOut(const std::basic_string<C>& text, C* buffer, int size) {
  size_t n = std::min<size_t>(text.size(), static_cast<size_t>(size) - 1);
  text.copy(buffer, n);
  buffer[n] = 0;
  return static_cast<int>(n);
}
// A name argument (class, property) as the W form takes it: an atom given as a number
// passes as it is; text is made wide into `keep`.
inline LPCWSTR WideName(LPCWSTR name, std::u16string&) { return name; }
inline LPCWSTR WideName(LPCSTR name, std::u16string& keep) {
  if (IS_INTRESOURCE(name)) return reinterpret_cast<LPCWSTR>(name);
  keep = ToWide(name);
  return keep.c_str();
}

}  // namespace kv::user
