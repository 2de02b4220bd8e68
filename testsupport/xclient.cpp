#include "testsupport/xclient.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <unistd.h>

#include <cstring>
#include <mutex>

namespace xtest {

namespace {
Display* D(void* p) { return static_cast<Display*>(p); }

// The root's children, bottom first.
std::vector<Window> Children(Display* d) {
  Window root, parent, *kids = nullptr;
  unsigned n = 0;
  std::vector<Window> out;
  if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &kids, &n)) out.assign(kids, kids + n);
  if (kids) XFree(kids);
  return out;
}
}  // namespace

XClient::XClient() {
  static std::once_flag threads;
  std::call_once(threads, [] { XInitThreads(); });
  display_ = XOpenDisplay(nullptr);
}

XClient::~XClient() {
  if (display_) XCloseDisplay(D(display_));
}

unsigned long XClient::Root() { return DefaultRootWindow(D(display_)); }

unsigned long XClient::Find(const char* name) {
  Display* d = D(display_);
  for (Window w : Children(d)) {
    char* title = nullptr;
    XWindowAttributes a;
    bool match = XFetchName(d, w, &title) && title && std::strcmp(title, name) == 0 &&
                 XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable;
    if (title) XFree(title);
    if (match) return w;
  }
  return 0;
}

Box XClient::Rect(unsigned long window) {
  Display* d = D(display_);
  XWindowAttributes a{};
  XGetWindowAttributes(d, window, &a);
  int x = 0, y = 0;
  Window child;
  XTranslateCoordinates(d, window, DefaultRootWindow(d), 0, 0, &x, &y, &child);
  return Box{x, y, x + a.width, y + a.height};
}

int XClient::StackIndex(unsigned long window) {
  std::vector<Window> kids = Children(D(display_));
  for (size_t i = 0; i < kids.size(); ++i)
    if (kids[i] == window) return static_cast<int>(i);
  return -1;
}

bool XClient::Pointer(int* x, int* y) {
  Display* d = D(display_);
  Window root, child;
  int wx, wy;
  unsigned mask;
  return XQueryPointer(d, DefaultRootWindow(d), &root, &child, x, y, &wx, &wy, &mask) == True;
}

void XClient::WatchRoot() {
  Display* d = D(display_);
  XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
  XSync(d, False);
}

bool XClient::AskedToIconify(unsigned long window) {
  Display* d = D(display_);
  Atom change = XInternAtom(d, "WM_CHANGE_STATE", False);
  for (int i = 0; i < 100; ++i) {
    while (XPending(d)) {
      XEvent e;
      XNextEvent(d, &e);
      if (e.type == ClientMessage && e.xclient.window == window && e.xclient.message_type == change &&
          e.xclient.data.l[0] == IconicState)
        return true;
    }
    usleep(10000);
  }
  return false;
}

bool XClient::Pixels(unsigned long window, int width, int height, std::vector<uint32_t>* out) {
  Display* d = D(display_);
  XSync(d, False);
  XImage* img = XGetImage(d, window, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height), AllPlanes,
                          ZPixmap);
  if (!img) return false;
  out->resize(size_t(width) * size_t(height));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      (*out)[size_t(y) * size_t(width) + size_t(x)] = static_cast<uint32_t>(XGetPixel(img, x, y)) & 0xFFFFFFu;
  XDestroyImage(img);
  return true;
}

}  // namespace xtest
