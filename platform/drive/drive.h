// The drive channel: a program started with KORVANE_DRIVE set to a socket path listens
// there for a harness (the end-to-end tests, scripts/demo) that plays the person at the
// screen from another process: it lists the windows, clicks and types through the
// platform's input injection, answers message boxes, finds page elements and takes
// screenshots. Every command runs on the thread of the process's first top-level window
// (the GUI thread), between its other messages.
//
// The protocol is one UTF-8 line a command; each reply is "ok" or "error <why>", then the
// reply's lines, then a line ".". Commands:
//   windows                   top-level windows, one line each (see WindowLine)
//   children HWND             the window's descendants, depth first, same lines
//   click X Y | move X Y      mouse input at screen coordinates
//   key VK [down|up]          a key press and release, or one half
//   type TEXT                 the rest of the line as characters
//   close HWND                the window's close command (as its caption button gives)
//   screenshot HWND PATH      the window as a PNG file
//   msgbox-answer N           the answer for the next message box (first in, first out)
//   msgbox-log                every message box so far: caption TAB text TAB flags TAB answer
//   element ID                screen rectangle of the shown document's element with that id
//   dom                       the shown document's tree (as KvBrowserDomDump gives it)
//   url                       the shown document's address
// Text fields in replies have tab, line feed, carriage return and backslash escaped as
// \t \n \r \\. HWNDs are hexadecimal.
#pragma once

#include <string>

namespace kv::drive {

// Starts listening when KORVANE_DRIVE is set, on the first call only: the window system
// calls it as the process's first top-level window is made.
void StartIfAsked();

// A process that ends before a harness could ask (a second copy refused at start) leaves
// its message boxes in the file KORVANE_MSGBOX_LOG names, when set: one line a box, as
// msgbox-log gives them. The message boxes call this for each box shown.
void RecordMessageBox(const std::string& caption, const std::string& text, unsigned type, int answer);

// Tab, line feed, carriage return and backslash as \t \n \r \\, so a text is one field of a line.
std::string EscapeField(const std::string& s);

}  // namespace kv::drive
