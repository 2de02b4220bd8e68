#include "framework/core/threads.h"

#include <chrono>
#include <cstdio>
#include <deque>
#include <system_error>

#include "framework/core/sysutils.h"
#include "platform/base/error.h"

DWORD MainThreadID = GetCurrentThreadId();
TNotifyEvent WakeMainThread;

namespace {

// One call waiting for the main thread.
struct SyncEntry {
  const std::function<void()>* method;
  std::exception_ptr error;
  bool done = false;
};

std::mutex g_sync_mutex;
// Signalled when a call is queued and when a thread finishes (the main thread waits on
// both in CheckSynchronize and WaitFor).
std::condition_variable g_sync_queued;
// Signalled when queued calls have run (their threads wait for them).
std::condition_variable g_sync_done;
std::deque<SyncEntry*> g_sync_queue;

bool OnMainThread() { return GetCurrentThreadId() == MainThreadID; }

// Runs what is queued now; returns whether anything ran.
bool RunQueuedCalls() {
  std::deque<SyncEntry*> calls;
  {
    std::lock_guard<std::mutex> lock(g_sync_mutex);
    calls.swap(g_sync_queue);
  }
  for (SyncEntry* entry : calls) {
    try {
      (*entry->method)();
    } catch (...) {
      entry->error = std::current_exception();
    }
    std::lock_guard<std::mutex> lock(g_sync_mutex);
    entry->done = true;
  }
  if (!calls.empty()) g_sync_done.notify_all();
  return !calls.empty();
}

}  // namespace

bool CheckSynchronize(int Timeout) {
  if (!OnMainThread()) {
    char text[96];
    std::snprintf(text, sizeof text, "CheckSynchronize called from thread $%x, which is NOT the main thread",
                  GetCurrentThreadId());
    throw EThread(text);
  }
  if (Timeout > 0) {
    std::unique_lock<std::mutex> lock(g_sync_mutex);
    g_sync_queued.wait_for(lock, std::chrono::milliseconds(Timeout), [] { return !g_sync_queue.empty(); });
  }
  return RunQueuedCalls();
}

// ---------------------------------------------------------------------------------------
// TThread

TThread::TThread(bool CreateSuspended) {
  if (!CreateSuspended) throw EThread("A thread must be created suspended and started with Start");
  handle_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (handle_ == nullptr) throw EThread("Thread creation error: " + SysErrorMessage(GetLastError()));
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error& e) {
    CloseHandle(handle_);
    throw EThread(AnsiString("Thread creation error: ") + e.what());
  }
  std::unique_lock<std::mutex> lock(mutex_);
  cv_.wait(lock, [this] { return thread_id_ != 0; });
}

TThread::~TThread() {
  if (thread_.joinable() && thread_.get_id() == std::this_thread::get_id()) {
    // A thread that frees itself: it is ending here.
    thread_.detach();
  } else {
    bool running;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!started_) releasing_ = true;
      running = started_;
      cv_.notify_all();
    }
    if (running) {
      Terminate();
      WaitFinished();
    }
    if (thread_.joinable()) thread_.join();
  }
  CloseHandle(handle_);
}

void TThread::Run() {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    thread_id_ = GetCurrentThreadId();
    cv_.notify_all();
    cv_.wait(lock, [this] { return started_ || releasing_; });
    if (releasing_) return;  // destroyed before it was started: nothing runs
  }
  if (!Terminated()) {
    try {
      Execute();
    } catch (...) {
      fatal_exception_ = std::current_exception();
    }
  }
  try {
    DoTerminate();
  } catch (...) {
    if (!fatal_exception_) fatal_exception_ = std::current_exception();
  }
  bool free_self = free_on_terminate_;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
    cv_.notify_all();
  }
  SetEvent(handle_);
  {
    std::lock_guard<std::mutex> lock(g_sync_mutex);
    g_sync_queued.notify_all();
  }
  if (free_self) delete this;
}

void TThread::Start() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (started_) throw EThread("Cannot call Start on a running or suspended thread");
    started_ = true;
    // Notified under the lock: a thread that frees itself may be gone right after it.
    cv_.notify_all();
  }
}

void TThread::Resume() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (started_) return;
    started_ = true;
    cv_.notify_all();
  }
}

void TThread::Terminate() { terminated_ = true; }

bool TThread::Suspended() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !started_;
}

bool TThread::Finished() const { return finished_.load(); }

int TThread::WaitFor() {
  if (free_on_terminate_) throw EThread("Cannot wait for a thread that frees itself");
  if (GetCurrentThreadId() == thread_id_) throw EThread("A thread cannot wait for itself");
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!started_) throw EThread("Cannot wait for a thread that was never started");
  }
  WaitFinished();
  return ReturnValue();
}

void TThread::WaitFinished() {
  if (OnMainThread()) {
    // The thread may need the main thread (Synchronize, OnTerminate) before it can end.
    for (;;) {
      {
        std::unique_lock<std::mutex> lock(g_sync_mutex);
        g_sync_queued.wait(lock, [this] { return finished_.load() || !g_sync_queue.empty(); });
        if (finished_ && g_sync_queue.empty()) return;
      }
      RunQueuedCalls();
    }
  }
  std::unique_lock<std::mutex> lock(mutex_);
  cv_.wait(lock, [this] { return finished_.load(); });
}

void TThread::DoTerminate() {
  if (OnTerminate) Synchronize([this] { OnTerminate(this); });
}

void TThread::Synchronize(TThread* AThread, const std::function<void()>& Method) {
  if (OnMainThread()) {
    Method();
    return;
  }
  SyncEntry entry{&Method, nullptr, false};
  {
    std::lock_guard<std::mutex> lock(g_sync_mutex);
    g_sync_queue.push_back(&entry);
    g_sync_queued.notify_all();
  }
  if (WakeMainThread) WakeMainThread(AThread);
  {
    std::unique_lock<std::mutex> lock(g_sync_mutex);
    g_sync_done.wait(lock, [&entry] { return entry.done; });
  }
  if (entry.error) std::rethrow_exception(entry.error);
}

// ---------------------------------------------------------------------------------------
// TThreadList

namespace {

class ListLock {
 public:
  explicit ListLock(TThreadList* list) : list_(list), items_(list->LockList()) {}
  ~ListLock() { list_->UnlockList(); }
  ListLock(const ListLock&) = delete;
  ListLock& operator=(const ListLock&) = delete;
  TList* operator->() const { return items_; }

 private:
  TThreadList* list_;
  TList* items_;
};

}  // namespace

TThreadList::TThreadList() { InitializeCriticalSection(&lock_); }

TThreadList::~TThreadList() {
  {
    ListLock list(this);
    list->Clear();
  }
  DeleteCriticalSection(&lock_);
}

void TThreadList::Add(void* Item) {
  ListLock list(this);
  if (duplicates_ == dupAccept || list->IndexOf(Item) < 0)
    list->Add(Item);
  else if (duplicates_ == dupError)
    throw EListError("List does not allow duplicates");
}

void TThreadList::Remove(void* Item) {
  ListLock list(this);
  list->Remove(Item);
}

void TThreadList::Clear() {
  ListLock list(this);
  list->Clear();
}

TList* TThreadList::LockList() {
  EnterCriticalSection(&lock_);
  return &list_;
}

void TThreadList::UnlockList() { LeaveCriticalSection(&lock_); }

// ---------------------------------------------------------------------------------------
// TMultiReadExclusiveWriteSynchronizer

void TMultiReadExclusiveWriteSynchronizer::BeginRead() {
  std::unique_lock<std::mutex> lock(mutex_);
  PerThread& me = threads_[std::this_thread::get_id()];
  // Nested reads, and reads inside this thread's write, never wait.
  if (me.reads > 0 || me.writes > 0) {
    ++me.reads;
    return;
  }
  // Waiting writers go first, so a stream of readers cannot starve them.
  cv_.wait(lock, [this] { return !has_writer_ && waiting_writers_ == 0; });
  PerThread& again = threads_[std::this_thread::get_id()];
  ++again.reads;
  ++active_readers_;
}

void TMultiReadExclusiveWriteSynchronizer::EndRead() {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = threads_.find(std::this_thread::get_id());
  if (it == threads_.end() || it->second.reads == 0) throw EThread("EndRead without BeginRead");
  PerThread& me = it->second;
  --me.reads;
  if (me.reads == 0 && me.writes == 0) {
    --active_readers_;
    threads_.erase(it);
    cv_.notify_all();
  }
}

bool TMultiReadExclusiveWriteSynchronizer::BeginWrite() {
  std::unique_lock<std::mutex> lock(mutex_);
  auto id = std::this_thread::get_id();
  PerThread& me = threads_[id];
  if (me.writes > 0) {
    ++me.writes;
    return true;
  }
  unsigned revision_seen = revision_;
  // A reader that wants to write gives its read lock up while it waits, so two such
  // threads cannot block each other.
  if (me.reads > 0) {
    --active_readers_;
    cv_.notify_all();
  }
  ++waiting_writers_;
  cv_.wait(lock, [this] { return !has_writer_ && active_readers_ == 0; });
  --waiting_writers_;
  has_writer_ = true;
  writer_ = id;
  ++threads_[id].writes;
  ++revision_;
  return revision_ == revision_seen + 1;
}

void TMultiReadExclusiveWriteSynchronizer::EndWrite() {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = threads_.find(std::this_thread::get_id());
  if (it == threads_.end() || it->second.writes == 0) throw EThread("EndWrite without BeginWrite");
  PerThread& me = it->second;
  if (--me.writes > 0) return;
  has_writer_ = false;
  if (me.reads > 0)
    ++active_readers_;  // the read lock it held before writing
  else
    threads_.erase(it);
  cv_.notify_all();
}

unsigned TMultiReadExclusiveWriteSynchronizer::RevisionLevel() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return revision_;
}
