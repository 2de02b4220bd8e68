// Inside the window system: the thread message queues that sending, posting, timers and
// the message loop share (C++; nothing here crosses the boundary of libplatform.so).
#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/user/user.h"

namespace kv::user {

struct SentItem {
  HWND hwnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
  bool unicode;
  LRESULT result = 0;
  bool done = false;
};

struct Timer {
  HWND hwnd;
  UINT_PTR id;
  UINT elapse;
  TIMERPROC proc;
  DWORD due;
};

struct Queue {
  std::mutex m;
  std::condition_variable cv;
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<SentItem>> sent;
  bool quit = false;
  int quitCode = 0;
  std::vector<Timer> timers;
  DWORD lastTime = 0;
  POINT lastPos{0, 0};
  int inSend = 0;
};

// Every thread's queue by thread id (under Lock()); QueueOf makes one when asked to.
std::map<DWORD, std::shared_ptr<Queue>>& Queues();
std::shared_ptr<Queue> QueueOf(DWORD tid, bool create);
Queue& MyQueue();

// Whether a timer or a message time `due` has come at `now` (wrapping tick counts).
inline bool Due(DWORD now, DWORD due) { return static_cast<int32_t>(now - due) >= 0; }

// Delivers to the window's procedure on this thread, with the hooks and the spy around it
// (kind: KV_SPY_SENT or KV_SPY_POSTED).
LRESULT Deliver(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool unicode, DWORD kind);
// Delivers the messages other threads sent to this queue's thread.
void ProcessSent(Queue& q);
// Depth of nested deliveries on this thread, as the spy records it.
DWORD& SendDepth();

// What ResetMessages clears beyond the queue: this thread's hooks and the spy.
void ResetHooks();
void ResetSpy();

}  // namespace kv::user
