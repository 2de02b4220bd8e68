#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "framework/core/threads.h"
#include "platform/base/sync.h"

namespace {

// A thread whose body is given by the test.
class Worker : public TThread {
 public:
  explicit Worker(std::function<void(Worker&)> body) : TThread(true), body_(std::move(body)) {}
  ~Worker() override {
    Terminate();
    if (!Suspended() && !FreeOnTerminate()) WaitFor();
  }
  using TThread::SetReturnValue;
  using TThread::Synchronize;

 protected:
  void Execute() override { body_(*this); }

 private:
  std::function<void(Worker&)> body_;
};

// Runs the main thread's queue until `done` holds; bounded by a generous count of waits
// that each return as soon as a call is queued.
void PumpUntil(const std::function<bool()>& done) {
  for (int i = 0; i < 2000 && !done(); ++i) CheckSynchronize(50);
  ASSERT_TRUE(done());
}

TEST(Thread, SynchronizeRunsOnTheMainThreadAndWaits) {
  std::vector<DWORD> ran_on;
  std::atomic<bool> after_sync{false};
  Worker w([&](Worker& self) {
    self.Synchronize([&] { ran_on.push_back(GetCurrentThreadId()); });
    // The call has finished before Synchronize returns.
    after_sync = ran_on.size() == 1;
    self.SetReturnValue(42);
  });
  EXPECT_TRUE(w.Suspended());
  EXPECT_NE(w.ThreadID(), 0u);
  EXPECT_NE(w.ThreadID(), MainThreadID);
  w.Start();
  EXPECT_EQ(w.WaitFor(), 42);  // the main thread runs the queued call while it waits
  ASSERT_EQ(ran_on.size(), 1u);
  EXPECT_EQ(ran_on[0], MainThreadID);
  EXPECT_TRUE(after_sync);
  EXPECT_TRUE(w.Finished());
  EXPECT_EQ(WaitForSingleObject(w.Handle(), 0), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_FALSE(CheckSynchronize());  // nothing left
}

TEST(Thread, SynchronizedExceptionComesBackToTheWorker) {
  std::string caught;
  Worker w([&](Worker& self) {
    try {
      self.Synchronize([] { throw EConvertError("bad value"); });
    } catch (const EConvertError& e) {
      caught = e.Message();
    }
  });
  w.Start();
  w.WaitFor();
  EXPECT_EQ(caught, "bad value");
}

TEST(Thread, OnTerminateRunsOnTheMainThread) {
  DWORD terminate_thread = 0;
  TObject* sender = nullptr;
  Worker w([](Worker&) {});
  w.OnTerminate = [&](TObject* s) {
    sender = s;
    terminate_thread = GetCurrentThreadId();
  };
  w.Start();
  PumpUntil([&] { return sender != nullptr; });
  EXPECT_EQ(sender, &w);
  EXPECT_EQ(terminate_thread, MainThreadID);
  w.WaitFor();
}

TEST(Thread, FreeOnTerminateDeletesItselfAfterOnTerminate) {
  std::atomic<bool> destroyed{false};
  struct SelfFreeing : TThread {
    explicit SelfFreeing(std::atomic<bool>* d) : TThread(true), destroyed(d) {}
    ~SelfFreeing() override { *destroyed = true; }
    void Execute() override {}
    std::atomic<bool>* destroyed;
  };
  auto* t = new SelfFreeing(&destroyed);
  t->SetFreeOnTerminate(true);
  bool terminated = false;
  t->OnTerminate = [&](TObject*) { terminated = true; };
  EXPECT_THROW(t->WaitFor(), EThread);
  t->Start();
  PumpUntil([&] { return terminated && destroyed.load(); });
}

TEST(Thread, FatalExceptionIsKept) {
  Worker w([](Worker&) { throw EReadError("Stream read error"); });
  w.Start();
  w.WaitFor();
  ASSERT_TRUE(w.FatalException());
  try {
    std::rethrow_exception(w.FatalException());
  } catch (const Exception& e) {
    EXPECT_STREQ(e.ClassName(), "EReadError");
  }
}

TEST(Thread, LifecycleErrorsAndTermination) {
  EXPECT_THROW(
      {
        struct Running : TThread {
          Running() : TThread(false) {}
          void Execute() override {}
        } r;
      },
      EThread);

  std::atomic<bool> executed{false};
  {
    Worker never([&](Worker&) { executed = true; });
    EXPECT_THROW(never.WaitFor(), EThread);  // never started: it would wait for ever
  }                                          // destroyed without running Execute
  EXPECT_FALSE(executed);

  Worker loop([](Worker& self) {
    while (!self.Terminated()) std::this_thread::yield();
  });
  loop.SetPriority(tpLower);
  EXPECT_EQ(loop.Priority(), tpLower);
  loop.Start();
  EXPECT_THROW(loop.Start(), EThread);
  loop.Resume();  // running already: nothing changes
  loop.Terminate();
  loop.WaitFor();
  EXPECT_TRUE(loop.Finished());

  std::atomic<bool> self_wait_refused{false};
  Worker self_wait([&](Worker& self) {
    try {
      self.WaitFor();
    } catch (const EThread&) {
      self_wait_refused = true;
    }
  });
  self_wait.Start();
  self_wait.WaitFor();
  EXPECT_TRUE(self_wait_refused);
}

TEST(Thread, CheckSynchronizeOnlyOnTheMainThreadAndWakeHook) {
  std::atomic<int> wakes{0};
  WakeMainThread = [&](TObject*) { ++wakes; };
  bool refused = false;
  Worker w([&](Worker& self) {
    try {
      CheckSynchronize();
    } catch (const EThread&) {
      refused = true;
    }
    self.Synchronize([] {});
  });
  w.Start();
  w.WaitFor();
  WakeMainThread = nullptr;
  EXPECT_TRUE(refused);
  EXPECT_EQ(wakes.load(), 1);
}

TEST(ThreadList, LockedAddRemoveAndDuplicates) {
  TThreadList list;
  int a = 0, b = 0;
  list.Add(&a);
  list.Add(&a);  // ignored
  list.Add(&b);
  EXPECT_EQ(list.LockList()->Count(), 2);
  list.UnlockList();
  list.SetDuplicates(dupError);
  EXPECT_THROW(list.Add(&a), EListError);
  list.Remove(&a);
  TList* locked = list.LockList();
  EXPECT_EQ(locked->Count(), 1);
  EXPECT_EQ(locked->Items(0), &b);
  list.UnlockList();

  // Many threads adding at once lose nothing.
  list.Clear();
  list.SetDuplicates(dupAccept);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 500; ++i) list.Add(&a);
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(list.LockList()->Count(), 2000);
  list.UnlockList();
}

TEST(MultiReadExclusiveWrite, WriterReentersAndReadsWhileWriting) {
  TMultiReadExclusiveWriteSynchronizer lock;
  EXPECT_TRUE(lock.BeginWrite());
  EXPECT_TRUE(lock.BeginWrite());  // nested
  lock.BeginRead();                // reading while writing
  lock.EndRead();
  lock.EndWrite();
  lock.EndWrite();
  EXPECT_THROW(lock.EndWrite(), EThread);
  EXPECT_THROW(lock.EndRead(), EThread);

  // A reader may write, and reads again after its write.
  lock.BeginRead();
  lock.BeginRead();
  EXPECT_TRUE(lock.BeginWrite());
  lock.EndWrite();
  lock.EndRead();
  lock.EndRead();
  EXPECT_EQ(lock.RevisionLevel(), 2u);
}

TEST(MultiReadExclusiveWrite, BeginWriteTellsWhetherAnotherWriterCameFirst) {
  TMultiReadExclusiveWriteSynchronizer lock;
  lock.BeginRead();  // holds the other writer back until this thread wants to write
  std::atomic<bool> other_started{false};
  std::atomic<bool> other_done{false};
  std::thread other([&] {
    other_started = true;
    lock.BeginWrite();
    other_done = true;
    lock.EndWrite();
  });
  while (!other_started) std::this_thread::yield();
  // The other writer may or may not be waiting yet; only when it got in first does
  // BeginWrite return false.
  bool no_one_between = lock.BeginWrite();
  bool other_was_first = other_done.load();
  lock.EndWrite();
  lock.EndRead();
  other.join();
  EXPECT_EQ(no_one_between, !other_was_first);
}

TEST(MultiReadExclusiveWrite, ReadersShareWritersExclude) {
  TMultiReadExclusiveWriteSynchronizer lock;
  int value = 0;
  std::atomic<int> inside_write{0};
  std::atomic<bool> overlap{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 300; ++i) {
        if ((i + t) % 3 == 0) {
          lock.BeginWrite();
          if (++inside_write != 1) overlap = true;
          ++value;
          --inside_write;
          lock.EndWrite();
        } else {
          lock.BeginRead();
          if (inside_write != 0) overlap = true;
          lock.EndRead();
        }
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_FALSE(overlap);
  EXPECT_EQ(value, 400);
}

}  // namespace
