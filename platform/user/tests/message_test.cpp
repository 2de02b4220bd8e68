// Queues, sending across threads, timers on the virtual clock, hooks and the spy.
#include <atomic>
#include <thread>

#include "platform/base/error.h"
#include "platform/base/sync.h"
#include "platform/user/testing.h"
#include "platform/user/tests/user_test_util.h"

namespace kvtest {
namespace {

using kv::Posted;
using kv::Sent;
using kv::WithW;

class MessageTest : public UserTest {};

TEST_F(MessageTest, PostedMessagesComeInOrderThenQuit) {
  HWND h = Top();
  PostMessageW(h, WM_USER + 1, 1, 0);
  PostThreadMessageW(GetCurrentThreadId(), WM_USER + 2, 2, 0);
  PostMessageW(h, WM_USER + 3, 3, 0);
  PostQuitMessage(7);
  PostMessageW(h, WM_USER + 4, 4, 0);  // posted after the quit request, still before WM_QUIT
  MSG m;
  std::vector<UINT> got;
  BOOL r;
  while ((r = GetMessageW(&m, nullptr, 0, 0)) > 0) {
    got.push_back(m.message);
    DispatchMessageW(&m);
  }
  EXPECT_EQ(r, FALSE);
  EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(m.wParam, 7u);
  EXPECT_EQ(got, (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_USER + 3, WM_USER + 4}));
  EXPECT_FALSE(PostMessageW(reinterpret_cast<HWND>(0x4444), WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(MessageTest, PeekFiltersAndNoRemove) {
  HWND a = Top();
  HWND b = Top();
  PostMessageW(a, WM_USER + 1, 0, 0);
  PostMessageW(b, WM_USER + 2, 0, 0);
  MSG m;
  EXPECT_TRUE(PeekMessageW(&m, b, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 2));
  EXPECT_TRUE(PeekMessageW(&m, nullptr, WM_USER + 2, WM_USER + 2, PM_REMOVE));
  EXPECT_EQ(m.hwnd, b);
  EXPECT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 1));
  EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(MessageTest, TimersFireOnTheVirtualClock) {
  HWND h = Top();
  int fired = 0;
  Handlers()[WM_TIMER] = [&](HWND, UINT, WPARAM wp, LPARAM, bool* handled) {
    if (wp == 5) ++fired;
    *handled = true;
    return LRESULT(0);
  };
  ASSERT_EQ(SetTimer(h, 5, 100, nullptr), 5u);
  DWORD start = KvClockNow();
  MSG m;
  // Nothing is due: GetMessage moves virtual time to the timer instead of waiting.
  ASSERT_GT(GetMessageW(&m, nullptr, 0, 0), 0);
  EXPECT_EQ(m.message, static_cast<UINT>(WM_TIMER));
  DispatchMessageW(&m);
  EXPECT_EQ(KvClockNow() - start, 100u);
  EXPECT_EQ(fired, 1);
  // A long stretch of time gives one WM_TIMER, not a burst.
  KvClockAdvance(1000);
  EXPECT_EQ(KvPumpMessages(), 1u);
  EXPECT_EQ(fired, 2);
  EXPECT_EQ(KvPumpMessages(), 0u);
  EXPECT_TRUE(KillTimer(h, 5));
  EXPECT_FALSE(KillTimer(h, 5));
  KvClockAdvance(1000);
  EXPECT_EQ(KvPumpMessages(), 0u);
}

std::vector<UINT_PTR> gTimerIds;
void TimerCallback(HWND, UINT, UINT_PTR id, DWORD) { gTimerIds.push_back(id); }

TEST_F(MessageTest, TimerWithoutWindowCallsItsProcedure) {
  gTimerIds.clear();
  UINT_PTR id = SetTimer(nullptr, 0, 50, TimerCallback);
  ASSERT_NE(id, 0u);
  UINT_PTR id2 = SetTimer(nullptr, 0, 80, TimerCallback);
  EXPECT_NE(id, id2);
  KvClockAdvance(100);
  KvPumpMessages();
  EXPECT_EQ(gTimerIds.size(), 2u);
  KillTimer(nullptr, id);
  KillTimer(nullptr, id2);
}

TEST_F(MessageTest, SendFromAnotherThreadIsDeliveredOnTheOwnerThread) {
  HWND h = Top();
  DWORD owner = GetCurrentThreadId();
  DWORD seenOn = 0;
  Handlers()[WM_USER + 9] = [&](HWND, UINT, WPARAM wp, LPARAM, bool* handled) {
    seenOn = GetCurrentThreadId();
    *handled = true;
    return static_cast<LRESULT>(wp * 2);
  };
  std::atomic<LRESULT> result{0};
  std::thread worker([&] {
    result = SendMessageW(h, WM_USER + 9, 21, 0);
    PostMessageW(h, WM_USER + 10, 0, 0);
  });
  MSG m;
  // The posted message arrives only after the send was answered.
  while (GetMessageW(&m, nullptr, 0, 0) > 0 && m.message != WM_USER + 10) DispatchMessageW(&m);
  worker.join();
  EXPECT_EQ(result.load(), 42);
  EXPECT_EQ(seenOn, owner);
}

HHOOK gSelfUnhook;
int gGetMsgCalls;
LRESULT UnhookingGetMessage(int code, WPARAM wp, LPARAM lp) {
  ++gGetMsgCalls;
  auto msg = reinterpret_cast<MSG*>(lp);
  if (msg->message == WM_USER + 1) msg->message = WM_USER + 2;  // hooks may change the message
  UnhookWindowsHookEx(gSelfUnhook);
  return CallNextHookEx(gSelfUnhook, code, wp, lp);
}

TEST_F(MessageTest, GetMessageHookChangesMessageAndUnhooksItself) {
  HWND h = Top();
  gGetMsgCalls = 0;
  gSelfUnhook = SetWindowsHookExW(WH_GETMESSAGE, UnhookingGetMessage, nullptr, GetCurrentThreadId());
  PostMessageW(h, WM_USER + 1, 0, 0);
  PostMessageW(h, WM_USER + 1, 0, 0);
  MSG m;
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 2));
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 1));
  EXPECT_EQ(gGetMsgCalls, 1);
}

std::vector<UINT> gCallWnd;
LRESULT CallWndHook(int code, WPARAM wp, LPARAM lp) {
  gCallWnd.push_back(reinterpret_cast<CWPSTRUCT*>(lp)->message);
  return CallNextHookEx(nullptr, code, wp, lp);
}

TEST_F(MessageTest, CallWndProcHookSeesSentMessagesOnly) {
  HWND h = Top();
  gCallWnd.clear();
  HHOOK hk = SetWindowsHookExW(WH_CALLWNDPROC, CallWndHook, nullptr, 0);
  SendMessageW(h, WM_USER + 5, 0, 0);
  PostMessageW(h, WM_USER + 6, 0, 0);
  KvPumpMessages();
  UnhookWindowsHookEx(hk);
  EXPECT_EQ(gCallWnd, (std::vector<UINT>{WM_USER + 5}));
}

TEST_F(MessageTest, SpyRecordsKindsAndResults) {
  HWND h = Top();
  Handlers()[WM_USER + 1] = [](HWND, UINT, WPARAM, LPARAM, bool* handled) {
    *handled = true;
    return LRESULT(77);
  };
  KvSpyStart(h);
  SendMessageW(h, WM_USER + 1, 0, 0);
  PostMessageW(h, WM_USER + 2, 0, 0);
  KvPumpMessages();
  KvSpyStop();
  SendMessageW(h, WM_USER + 3, 0, 0);
  auto got = kv::SpyRecords();
  EXPECT_SEQ(got, Sent(WM_USER + 1, h), Posted(WM_USER + 2, h), kv::DefProc(WM_USER + 2, h));
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got[0].result, 77);
}

TEST_F(MessageTest, PaintComesWhenTheQueueIsIdle) {
  HWND h = Top(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  KvPumpMessages();
  KvSpyStart(h);
  InvalidateRect(h, nullptr, TRUE);
  PostMessageW(h, WM_USER + 1, 0, 0);
  MSG m;
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 1));
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, static_cast<UINT>(WM_PAINT));
  DispatchMessageW(&m);
  EXPECT_SEQ(Delivered(), Posted(WM_PAINT, h), Sent(WM_ERASEBKGND, h));
  EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
}

}  // namespace
}  // namespace kvtest

namespace kvtest {
namespace {

class HookTest : public UserTest {};

std::vector<std::pair<WPARAM, LRESULT>> gRet;
LRESULT RetHook(int code, WPARAM wp, LPARAM lp) {
  auto r = reinterpret_cast<CWPRETSTRUCT*>(lp);
  if (r->message == WM_USER + 7) gRet.emplace_back(r->wParam, r->lResult);
  return CallNextHookEx(nullptr, code, wp, lp);
}
int gKeys;
LRESULT KeyHook(int code, WPARAM wp, LPARAM lp) {
  ++gKeys;
  if (code == HC_ACTION && wp == 'Q') return 1;  // eaten
  return CallNextHookEx(nullptr, code, wp, lp);
}

TEST_F(HookTest, ReturnAndKeyboardHooks) {
  HWND h = Top(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  KvPumpMessages();
  Handlers()[WM_USER + 7] = [](HWND, UINT, WPARAM wp, LPARAM, bool* handled) {
    *handled = true;
    return static_cast<LRESULT>(wp + 1);
  };
  gRet.clear();
  HHOOK r = SetWindowsHookExW(WH_CALLWNDPROCRET, RetHook, nullptr, 0);
  SendMessageW(h, WM_USER + 7, 41, 0);
  UnhookWindowsHookEx(r);
  ASSERT_EQ(gRet.size(), 1u);
  EXPECT_EQ(gRet[0].second, 42);
  gKeys = 0;
  HHOOK k = SetWindowsHookExW(WH_KEYBOARD, KeyHook, nullptr, 0);
  KvSpyStart(h);
  KvInjectKey('Q', TRUE);
  KvInjectKey('W', TRUE);
  KvPumpMessages();
  UnhookWindowsHookEx(k);
  EXPECT_EQ(gKeys, 2);
  EXPECT_SEQ(Only({WM_KEYDOWN}), kv::WithW(Posted(WM_KEYDOWN, h), 'W'));
  EXPECT_EQ(SetWindowsHookExW(WH_SHELL, KeyHook, nullptr, 0), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HOOK_FILTER));
}

TEST_F(HookTest, WorkerPostsWhileTheGuiThreadWaitsOnTheVirtualClock) {
  HWND h = Top();
  std::thread worker([h] {
    // Virtual time passes only through the GUI thread's timer wait.
    while (KvClockNow() < 500) std::this_thread::yield();
    PostMessageW(h, WM_USER + 3, 0, 0);
  });
  SetTimer(h, 1, 500, nullptr);
  MSG m;
  ASSERT_GT(GetMessageW(&m, nullptr, 0, 0), 0);
  EXPECT_EQ(m.message, static_cast<UINT>(WM_TIMER));
  KillTimer(h, 1);
  // No timer left: GetMessage waits for the worker's post.
  ASSERT_GT(GetMessageW(&m, nullptr, 0, 0), 0);
  EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 3));
  worker.join();
}

}  // namespace
}  // namespace kvtest

namespace kvtest {
namespace {

class CrossThreadTest : public UserTest {};

TEST_F(CrossThreadTest, SendMessageTimeoutGivesUpOnAThreadThatDoesNotPump) {
  std::atomic<HWND> theirs{nullptr};
  std::atomic<bool> release{false};
  std::atomic<int> delivered{0};
  std::thread worker([&] {
    HWND h = CreateWindowExW(0, u"Static", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    theirs = h;
    while (!release) std::this_thread::yield();  // not pumping
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    delivered = 1;
    DestroyWindow(h);
  });
  while (!theirs) std::this_thread::yield();
  DWORD_PTR r = 7;
  EXPECT_EQ(SendMessageTimeoutW(theirs, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 20, &r), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
  EXPECT_EQ(r, 7u);
  EXPECT_FALSE(DestroyWindow(theirs));  // only its own thread may destroy it
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  release = true;
  worker.join();
  EXPECT_EQ(delivered.load(), 1);
}

TEST_F(CrossThreadTest, IdleGuiThreadLetsVirtualTimePassForSleepingWorkers) {
  HWND h = Top();
  std::thread worker([h] {
    Sleep(300);  // virtual: ends only when someone moves the clock
    PostMessageW(h, WM_USER + 4, 0, 0);
  });
  while (KvClockWaiterCount() == 0) std::this_thread::yield();
  DWORD start = KvClockNow();
  MSG m;
  ASSERT_GT(GetMessageW(&m, nullptr, 0, 0), 0);
  EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 4));
  EXPECT_GE(KvClockNow() - start, 300u);
  worker.join();
}

}  // namespace
}  // namespace kvtest
