// The test-facing side of the window system: a fresh window system per test, version and
// optional-entry configuration, input injection, pumping, screenshots and pixel probes,
// the message-box log and script.
#pragma once

#include "platform/user/user.h"

extern "C" {

// Destroys every window, hook, timer and queue of the calling thread and forgets
// classes registered by programs, activation, focus, capture, key state and the spy,
// message-box log and scripts, version and optional entries: a fresh window system for
// the next test.
void KvUserReset(void);

// GetVersion(Ex) answers (default 5.1 build 2600, NT family, "Service Pack 2").
void KvUserSetVersion(DWORD major, DWORD minor, DWORD build, DWORD platform_id);

// The optional entries of the "user32.dll" built-in module (GetScrollBarInfo,
// TrackMouseEvent, GetComboBoxInfo, DisableProcessWindowsGhosting): FALSE removes one
// from what GetProcAddress finds, TRUE puts it back. FALSE for a name that is not optional.
BOOL KvUserSetOptionalEntry(const char* name, BOOL present);

// Input injection. Coordinates are screen coordinates. Each call puts the input into the
// calling thread's input queue (as the hardware would); the messages reach the windows
// when the thread pumps its queue, and GetCursorPos follows the mouse input as it is
// taken from the queue (GetAsyncKeyState answers for the keys as injected). Mouse input goes to the capture window,
// else to the window under the point (WM_NCHITTEST decides client or non-client messages, and HTTRANSPARENT passes it
// on); button presses in another top-level window activate it (WM_MOUSEACTIVATE); a second press within the
// double-click time and rectangle on a class with CS_DBLCLKS becomes a double click. Keys go to the focus window
// (WM_SYSKEY... with ALT held or without a focus window).
void KvInjectMouseMove(int x, int y);
// button: VK_LBUTTON, VK_RBUTTON or VK_MBUTTON.
void KvInjectMouseButton(int button, BOOL down);
void KvInjectClick(int x, int y);  // move, left down, left up
void KvInjectMouseWheel(int x, int y, int delta);
void KvInjectKey(int vkey, BOOL down);
void KvInjectChar(WCHAR ch);  // a WM_CHAR to the focus window
// Pending injected input of the calling thread (modal loops end when it reaches 0).
DWORD KvInjectPending(void);
// Runs the calling thread's queue until nothing is left that is due now: sent, posted,
// input, paint and due timer messages are delivered (no clock advance). Returns the
// number of messages dispatched. WM_QUIT stays in the queue.
DWORD KvPumpMessages(void);

// Screenshot of a window and everything it shows (its children; for a top-level window
// its backing surface), as a PNG file at `path` (UTF-8 POSIX path). FALSE with the last
// error on failure. Pending painting is done first.
BOOL KvWindowScreenshot(HWND hwnd, const char* path);
// The colour of one pixel of the window's backing surface at window coordinates of the
// window `hwnd` (non-client area included); CLR_INVALID outside. Pending painting first.
COLORREF KvWindowGetPixel(HWND hwnd, int x, int y);

// Message boxes: every call is recorded (text and caption in UTF-8, the flags, the
// answer). The answer comes from the script (a queue of answers, first in first out);
// with an empty script the default button's answer. When the program runs interactively
// (stdin a terminal and KORVANE_TEST unset), the box is printed and the answer read from
// the terminal.
typedef struct tagKVMSGBOXRECORD {
  char text[1024];
  char caption[256];
  UINT type;
  int answer;
  HWND owner;
} KVMSGBOXRECORD;
DWORD KvMessageBoxLogCount(void);
BOOL KvMessageBoxLogGet(DWORD index, KVMSGBOXRECORD* record);
void KvMessageBoxLogClear(void);
void KvMessageBoxScriptPush(int answer);
void KvMessageBoxScriptClear(void);

}  // extern "C"
