// The per-thread task window.
#include "platform/browser/task.h"

#include "platform/user/user.h"

namespace kv::browser {
namespace {

constexpr UINT kTaskMessage = WM_APP + 0x4B1;
const WCHAR kTaskClass[] = u"KvBrowserTasks";

LRESULT TaskWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kTaskMessage) {
    auto* task = reinterpret_cast<std::function<void()>*>(lp);
    (*task)();
    delete task;
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

// One window a thread; destroyed (with its unrun tasks) when the thread ends.
struct TaskWindow {
  HWND hwnd = nullptr;
  ~TaskWindow() {
    if (!hwnd) return;
    MSG msg;
    while (PeekMessageW(&msg, hwnd, kTaskMessage, kTaskMessage, PM_REMOVE))
      delete reinterpret_cast<std::function<void()>*>(msg.lParam);
    DestroyWindow(hwnd);
  }
};

HWND ThreadTaskWindow() {
  static thread_local TaskWindow window;
  // A reset window system may hand the old handle number to another window: the
  // window must still be ours.
  if (!window.hwnd || !IsWindow(window.hwnd) ||
      reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window.hwnd, GWLP_WNDPROC)) != &TaskWindowProc) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = TaskWindowProc;
    wc.lpszClassName = kTaskClass;
    RegisterClassW(&wc);  // fails harmlessly once registered
    window.hwnd = CreateWindowExW(0, kTaskClass, u"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  }
  return window.hwnd;
}

}  // namespace

void PostTask(std::function<void()> task) {
  auto* heap = new std::function<void()>(std::move(task));
  if (!PostMessageW(ThreadTaskWindow(), kTaskMessage, 0, reinterpret_cast<LPARAM>(heap))) delete heap;
}

}  // namespace kv::browser
