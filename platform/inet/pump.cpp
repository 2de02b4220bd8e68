// The pump: each thread's transfers run on its own libcurl multi handle, driven from
// the idle hook of that thread's waits; what arrives becomes tasks that the thread's
// message-only window runs in order, so callbacks reach callers only inside their
// message loops.
#include <chrono>
#include <deque>
#include <memory>
#include <unordered_map>

#include "platform/base/idle.h"
#include "platform/base/trace.h"
#include "platform/inet/internal.h"
#include "platform/user/user.h"

namespace kv::inet {
namespace {

constexpr UINT kTaskMessage = WM_APP + 0x3A17;

struct Live {
  Exchange* exchange;
  std::function<void(CURLcode)> on_done;
};

struct Pump {
  CURLM* multi = nullptr;
  HWND window = nullptr;
  std::deque<std::function<void()>> tasks;
  std::unordered_map<CURL*, Live> live;
  bool in_hook = false;
  bool posted = false;
  ~Pump() {
    for (auto& l : live) Curl()->multi_remove_handle(multi, l.first);
    if (multi) Curl()->multi_cleanup(multi);
  }
};

// The thread's pump. Other thread-local objects may still wait (and so run the idle hook)
// while the thread ends: the holder forgets the pump before freeing it.
struct PumpHolder {
  Pump* pump = nullptr;
  ~PumpHolder() {
    Pump* p = pump;
    pump = nullptr;
    delete p;
  }
  Pump* get() const { return pump; }
};
thread_local PumpHolder t_pump;

LRESULT TaskWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg != kTaskMessage) return DefWindowProcW(hwnd, msg, wp, lp);
  Pump* p = t_pump.get();
  if (!p || p->tasks.empty()) return 0;
  std::function<void()> task = std::move(p->tasks.front());
  p->tasks.pop_front();
  task();
  return 0;
}

// Moves finished transfers out of the multi handle.
void Drain(Pump* p) {
  int left = 0;
  while (CURLMsg* m = Curl()->multi_info_read(p->multi, &left)) {
    if (m->msg != CURLMSG_DONE) continue;
    CURL* easy = m->easy_handle;
    CURLcode code = m->data.result;
    auto it = p->live.find(easy);
    Curl()->multi_remove_handle(p->multi, easy);
    if (it == p->live.end()) continue;
    auto done = std::move(it->second.on_done);
    p->live.erase(it);
    if (done) done(code);
  }
}

BOOL IdleHook(DWORD wait_ms) {
  Pump* p = t_pump.get();
  if (!p || p->live.empty() || p->in_hook) return FALSE;
  p->in_hook = true;
  p->posted = false;
  int running = 0;
  Curl()->multi_perform(p->multi, &running);
  Drain(p);
  if (wait_ms > 0) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    while (!p->posted && !p->live.empty()) {
      auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0) break;
      int events = 0;
      Curl()->multi_poll(p->multi, nullptr, 0, static_cast<int>(left), &events);
      Curl()->multi_perform(p->multi, &running);
      Drain(p);
    }
  }
  p->in_hook = false;
  return TRUE;
}

Pump* ThisPump() {
  if (t_pump.pump) return t_pump.pump;
  static const bool registered = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = TaskWindowProc;
    wc.lpszClassName = u"KvInetTasks";
    RegisterClassW(&wc);
    KvSetIdleHook(IdleHook);
    return true;
  }();
  (void)registered;
  auto p = std::make_unique<Pump>();
  p->multi = Curl() ? Curl()->multi_init() : nullptr;
  p->window = CreateWindowExW(0, u"KvInetTasks", u"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  t_pump.pump = p.release();
  return t_pump.pump;
}

void Post(std::function<void()> task, bool front) {
  Pump* p = ThisPump();
  if (front) {
    p->tasks.push_front(std::move(task));
  } else {
    p->tasks.push_back(std::move(task));
  }
  p->posted = true;
  PostMessageW(p->window, kTaskMessage, 0, 0);
}

}  // namespace

void StartOnThread(Exchange* exchange, std::function<void(CURLcode)> on_done) {
  Pump* p = ThisPump();
  p->live[exchange->easy()] = Live{exchange, std::move(on_done)};
  Curl()->multi_add_handle(p->multi, exchange->easy());
}

void StopOnThread(Exchange* exchange) {
  Pump* p = t_pump.get();
  if (!p || !exchange->easy()) return;
  auto it = p->live.find(exchange->easy());
  if (it == p->live.end()) return;
  Curl()->multi_remove_handle(p->multi, exchange->easy());
  p->live.erase(it);
}

void PostTask(std::function<void()> task) { Post(std::move(task), false); }
void PostTaskFront(std::function<void()> task) { Post(std::move(task), true); }

}  // namespace kv::inet
