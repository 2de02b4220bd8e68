// Threads, the main thread's queue of synchronised calls, and the framework's locks.
//
// A TThread runs Execute on a thread of its own (std::thread). Synchronize(method) from
// that thread puts the call on the main thread's queue, wakes the main thread through
// WakeMainThread and blocks until the main thread runs it in CheckSynchronize; from the
// main thread it runs the call at once. The main thread is the one that started the
// module (its static initialisation).
#pragma once

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "framework/core/classes.h"
#include "framework/core/strings.h"  // TDuplicates
#include "platform/base/sync.h"

// The thread that initialised the framework (GetCurrentThreadId).
extern DWORD MainThreadID;

// Set by the window system so that a queued synchronised call wakes its message loop
// (for instance by posting a message); Sender is the calling thread object or nullptr.
// Set it before worker threads run; it is called on the worker thread.
extern TNotifyEvent WakeMainThread;

// Runs the calls queued for the main thread; waits up to Timeout milliseconds for one
// when none is queued. Returns whether any call ran. Only the main thread may call it
// (EThread otherwise).
bool CheckSynchronize(int Timeout = 0);

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TThread : public TObject {
 public:
  // The thread exists at once (ThreadID and Handle are valid) and waits for Start.
  // A thread must be created suspended: C++ cannot run the derived class's Execute
  // before its constructor has finished, so CreateSuspended false raises EThread.
  explicit TThread(bool CreateSuspended);
  // Asks the thread to end and waits for it (a thread never started ends without
  // running Execute). A derived class whose Execute uses its own members after
  // termination was asked should call Terminate() and WaitFor() in its own destructor.
  ~TThread() override;
  KV_CLASS_NAME(TThread)

  // Lets a created thread run. EThread "Cannot call Start on a running or suspended
  // thread" once it has been started.
  void Start();
  // Starts the thread when it was never started; a running thread keeps running.
  void Resume();
  void Terminate();
  // Waits until Execute has returned and OnTerminate has run; returns ReturnValue. On the
  // main thread, synchronised calls run while it waits. EThread for a thread that was
  // never started, one that frees itself, or a wait of the thread on itself.
  int WaitFor();

  bool Terminated() const { return terminated_.load(); }
  bool Suspended() const;
  bool Finished() const;
  bool FreeOnTerminate() const { return free_on_terminate_; }
  void SetFreeOnTerminate(bool Value) { free_on_terminate_ = Value; }
  int ReturnValue() const { return return_value_.load(); }
  // Kept as given: threads run at the process's priority.
  TThreadPriority Priority() const { return priority_; }
  void SetPriority(TThreadPriority Value) { priority_ = Value; }
  // A waitable handle (WaitForSingleObject) signalled when the thread has finished.
  HANDLE Handle() const { return handle_; }
  DWORD ThreadID() const { return thread_id_; }
  // The exception that ended Execute, or null.
  std::exception_ptr FatalException() const { return fatal_exception_; }

  // Raised on the main thread (through Synchronize) after Execute has returned.
  TNotifyEvent OnTerminate;

  // Runs Method on the main thread and waits for it; an exception it raises is raised
  // again here. AThread may be nullptr.
  static void Synchronize(TThread* AThread, const std::function<void()>& Method);

 protected:
  virtual void Execute() = 0;
  // Raises OnTerminate; the base does it through Synchronize.
  virtual void DoTerminate();
  void Synchronize(const std::function<void()>& Method) { Synchronize(this, Method); }
  void SetReturnValue(int Value) { return_value_.store(Value); }

 private:
  void Run();
  void WaitFinished();

  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  bool started_ = false;
  std::atomic<bool> finished_{false};
  bool releasing_ = false;
  std::atomic<bool> terminated_{false};
  std::atomic<int> return_value_{0};
  bool free_on_terminate_ = false;
  TThreadPriority priority_ = tpNormal;
  HANDLE handle_ = nullptr;
  DWORD thread_id_ = 0;
  std::exception_ptr fatal_exception_;
};

// A list guarded by a critical section: LockList gives the list and holds the lock until
// UnlockList.
class TThreadList : public TObject {
 public:
  TThreadList();
  ~TThreadList() override;
  KV_CLASS_NAME(TThreadList)

  // Adds Item; with dupIgnore (the default) an item already listed is not added again,
  // with dupError that raises EListError "List does not allow duplicates".
  void Add(void* Item);
  void Remove(void* Item);
  void Clear();
  TList* LockList();
  void UnlockList();
  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates Value) { duplicates_ = Value; }

 private:
  CRITICAL_SECTION lock_;
  TList list_;
  TDuplicates duplicates_ = dupIgnore;
};

// Many readers or one writer. A thread may nest BeginRead, nest BeginWrite, read while it
// writes, and write while it reads (its read lock is given up while it waits for the
// write lock and taken back at its last EndWrite). BeginWrite returns true when no other
// writer got the lock between the call and its acquisition. Unbalanced EndRead/EndWrite
// raise EThread.
class TMultiReadExclusiveWriteSynchronizer : public TObject {
 public:
  KV_CLASS_NAME(TMultiReadExclusiveWriteSynchronizer)

  void BeginRead();
  void EndRead();
  bool BeginWrite();
  void EndWrite();
  // The number of write acquisitions so far.
  unsigned RevisionLevel() const;

 private:
  struct PerThread {
    int reads = 0;
    int writes = 0;
  };
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::unordered_map<std::thread::id, PerThread> threads_;
  std::thread::id writer_;
  bool has_writer_ = false;
  int active_readers_ = 0;  // threads holding a read lock, the writer not counted
  int waiting_writers_ = 0;
  unsigned revision_ = 0;
};
