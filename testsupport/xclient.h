// A small X client for the tests of windows on a real X server, kept apart from the framework's headers
// (Xlib's names clash with them). Each object is one connection to $DISPLAY.
#pragma once

#include <cstdint>
#include <vector>

namespace xtest {

struct Box {
  int left, top, right, bottom;
};

class XClient {
 public:
  XClient();  // once per process before any connection: XInitThreads
  ~XClient();
  XClient(const XClient&) = delete;
  XClient& operator=(const XClient&) = delete;
  bool ok() const { return display_ != nullptr; }
  // The root window (the whole screen).
  unsigned long Root();
  // The viewable top-level X window with this name, 0 when there is none.
  unsigned long Find(const char* name);
  // Its rectangle on the screen.
  Box Rect(unsigned long window);
  // Its position in the stacking order (bottom first), -1 when it is not there.
  int StackIndex(unsigned long window);
  // The pointer's position on the screen.
  bool Pointer(int* x, int* y);
  // From now on the messages clients send to the window manager are seen here.
  void WatchRoot();
  // Whether, since WatchRoot, the window asked the window manager to iconify it (seen
  // within a second).
  bool AskedToIconify(unsigned long window);
  // Its pixels (0x00RRGGBB, rows top to bottom), after every request has been handled.
  bool Pixels(unsigned long window, int width, int height, std::vector<uint32_t>* out);

 private:
  void* display_ = nullptr;
};

}  // namespace xtest
