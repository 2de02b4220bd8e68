// The kernel handle table shared by the areas of libplatform.so (C++, internal: nothing
// here crosses the library's boundary).
//
// Every kernel object (event, mutex, file, find handle, device) is a KObject, reference
// counted; a HANDLE names one reference held by the table. Waitable objects keep their
// state under the one kernel lock, and every change of a signalled state calls
// kv::KernelNotify() so that waiting threads re-check. File-like objects implement Read,
// Write, IoControl ...; ReadFile/WriteFile/DeviceIoControl on a handle call them.
//
// Overlapped operations: an object that cannot finish at once calls
// kv::OverlappedBegin(ov), returns FALSE with ERROR_IO_PENDING, and later (on any
// thread) kv::OverlappedComplete(ov, error, bytes), which sets ov->hEvent. An object that
// finishes at once with an OVERLAPPED calls OverlappedComplete before returning TRUE.
#pragma once

#include <atomic>
#include <mutex>
#include <utility>

#include "platform/base/file.h"
#include "platform/base/types.h"

namespace kv {

enum class KObjectKind { kOther, kEvent, kMutex, kFile, kFind, kDevice };

class KObject {
 public:
  KObject() = default;
  KObject(const KObject&) = delete;
  KObject& operator=(const KObject&) = delete;
  virtual ~KObject() = default;

  void AddRef() { refs_.fetch_add(1, std::memory_order_relaxed); }
  // Adds a reference unless the object is already being destroyed (for weak lookups,
  // such as a table of names).
  bool TryAddRef() {
    long n = refs_.load(std::memory_order_relaxed);
    while (n > 0) {
      if (refs_.compare_exchange_weak(n, n + 1, std::memory_order_acq_rel)) return true;
    }
    return false;
  }
  // Deletes the object when the last reference goes.
  void Release() {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }

  virtual KObjectKind Kind() const { return KObjectKind::kOther; }

  // --- waiting; every hook is called with KernelLock() held.
  virtual bool IsWaitable() const { return false; }
  // Satisfies a wait of thread `tid` if the object is signalled for it, taking it (an
  // auto-reset event resets, a mutex becomes owned). Sets *abandoned for a mutex whose
  // owner ended without releasing it.
  virtual bool TryAcquireLocked(DWORD tid, bool* abandoned) {
    (void)tid;
    (void)abandoned;
    return false;
  }
  // Gives back what TryAcquireLocked took (a wait for all objects that did not complete).
  virtual void UndoAcquireLocked(DWORD tid) { (void)tid; }
  // True when the state may change without KernelNotify (another process holds it):
  // waiters then re-check now and then.
  virtual bool NeedsPollingLocked() const { return false; }

  // --- file-like operations; the defaults fail as the platform does for objects that
  // are no files: ERROR_INVALID_HANDLE (I/O), ERROR_NOT_SUPPORTED (IoControl).
  virtual BOOL Read(void* buffer, DWORD size, DWORD* done, OVERLAPPED* overlapped);
  virtual BOOL Write(const void* buffer, DWORD size, DWORD* done, OVERLAPPED* overlapped);
  virtual BOOL IoControl(DWORD code, void* in, DWORD in_size, void* out, DWORD out_size, DWORD* returned,
                         OVERLAPPED* overlapped);
  virtual BOOL Seek(LONGLONG distance, DWORD method, ULONGLONG* new_position);
  virtual BOOL GetSize(ULONGLONG* size);
  virtual BOOL SetEnd();
  virtual BOOL Flush();
  // CancelIo: completes this object's pending operations with ERROR_OPERATION_ABORTED.
  virtual BOOL Cancel();
  // A handle to the object is being closed (the object may live on through others).
  virtual void OnHandleClosed() {}

 private:
  std::atomic<long> refs_{1};
};

// A reference held by RAII.
template <class T>
class KRef {
 public:
  KRef() = default;
  explicit KRef(T* adopted) : p_(adopted) {}
  KRef(const KRef& o) : p_(o.p_) {
    if (p_) p_->AddRef();
  }
  KRef(KRef&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  KRef& operator=(KRef o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~KRef() {
    if (p_) p_->Release();
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T* release() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }

 private:
  T* p_ = nullptr;
};

// The lock that guards the state of every waitable object.
std::mutex& KernelLock();
// Wakes every waiting thread to re-check its objects; call after a state change (the
// lock may or may not be held).
void KernelNotify();

// Waits for `count` (1..64) objects as WaitForMultipleObjects does: WAIT_OBJECT_0 + i,
// WAIT_ABANDONED_0 + i, WAIT_TIMEOUT, or WAIT_FAILED with the last error set. Honours
// the virtual clock (time.h).
DWORD WaitForObjects(KObject* const* objects, DWORD count, bool wait_all, DWORD milliseconds);

// Overlapped completion (see above).
void OverlappedBegin(OVERLAPPED* overlapped);
void OverlappedComplete(OVERLAPPED* overlapped, DWORD error, DWORD bytes);
// TRUE when the operation has finished.
bool OverlappedDone(const OVERLAPPED* overlapped);

}  // namespace kv

// Puts an object in the table, taking over one reference (also on failure). NULL with
// the last error set when the table is full. Handles are never 0 nor INVALID_HANDLE_VALUE.
HANDLE KvHandleInsert(kv::KObject* object);
// The object of a handle with one reference added (release it), or nullptr with
// ERROR_INVALID_HANDLE.
kv::KObject* KvHandleGet(HANDLE handle);
// Like KvHandleGet, but nullptr with ERROR_INVALID_HANDLE unless the object is of `kind`.
kv::KObject* KvHandleGetKind(HANDLE handle, kv::KObjectKind kind);
// Removes a handle from the table and drops its reference (what CloseHandle does).
BOOL KvHandleClose(HANDLE handle);

// Device names for CreateFile: a name beginning with "\\.\" or "\\?\" (not followed by a
// drive), or a bare "COM1".."COM9" / "LPT1".."LPT9", is offered to the registered
// openers in order of registration. An opener returns a new object (one reference), or
// nullptr with the last error set; ERROR_FILE_NOT_FOUND lets the next opener try.
// `device_name` is the name as given, in UTF-8.
typedef kv::KObject* (*KvDeviceOpener)(const char* device_name, DWORD access, DWORD share_mode, DWORD flags);
void KvRegisterDeviceOpener(KvDeviceOpener opener);
