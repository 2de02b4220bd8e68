// Events, mutexes, critical sections, interlocked operations, thread identities.
//
// Named objects of this process are found through a table of names. A named mutex is
// also shared across the processes of the user through three lock files in
// $KORVANE_HOME/locks: holding "<name>.exists" shared marks a process that has the name
// open (so an exclusive attempt tells whether anyone has), "<name>.own" exclusive marks
// the owning process, and ".guard" serialises the check-and-open step. The kernel drops
// a process's locks when it ends, however it ends.
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <string>

#include "platform/base/codepage.h"
#include "platform/base/error.h"
#include "platform/base/internal.h"
#include "platform/base/kobject.h"
#include "platform/base/path.h"
#include "platform/base/sync.h"

namespace {

using kv::KObject;
using kv::KObjectKind;

class NamedObject : public KObject {
 public:
  ~NamedObject() override;
  std::string name;  // UTF-8; empty when unnamed
};

std::mutex g_names_lock;
std::map<std::string, NamedObject*>& Names() {
  static auto* names = new std::map<std::string, NamedObject*>;
  return *names;
}

NamedObject::~NamedObject() {
  if (name.empty()) return;
  std::lock_guard<std::mutex> lk(g_names_lock);
  auto it = Names().find(name);
  if (it != Names().end() && it->second == this) Names().erase(it);
}

// A live object of that name with a reference added, or nullptr.
NamedObject* FindNamedLocked(const std::string& name) {
  auto it = Names().find(name);
  if (it == Names().end() || !it->second->TryAddRef()) return nullptr;
  return it->second;
}

class Event final : public NamedObject {
 public:
  Event(bool manual, bool initial) : manual_(manual), signalled_(initial) {}
  KObjectKind Kind() const override { return KObjectKind::kEvent; }
  bool IsWaitable() const override { return true; }
  bool TryAcquireLocked(DWORD, bool*) override {
    if (!signalled_) return false;
    if (!manual_) signalled_ = false;
    return true;
  }
  void UndoAcquireLocked(DWORD) override {
    if (!manual_) signalled_ = true;
  }
  void Set(bool on) {
    {
      std::lock_guard<std::mutex> lk(kv::KernelLock());
      signalled_ = on;
    }
    if (on) kv::KernelNotify();
  }

 private:
  const bool manual_;
  bool signalled_;
};

// Name encoded for a file name: letters, digits, '.', '_' and '-' stay, the rest %XX.
std::string LockFileBase(const std::string& name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : name) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
        (c == '.' && !out.empty())) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

int OpenLockFile(const std::string& path) { return open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600); }

int FlockRetry(int fd, int op) {
  int r;
  do {
    r = flock(fd, op);
  } while (r != 0 && errno == EINTR);
  return r;
}

class Mutex final : public NamedObject {
 public:
  ~Mutex() override {
    if (own_fd_ >= 0) close(own_fd_);
    if (exists_fd_ >= 0) close(exists_fd_);
  }
  KObjectKind Kind() const override { return KObjectKind::kMutex; }
  bool IsWaitable() const override { return true; }
  bool TryAcquireLocked(DWORD tid, bool*) override {
    if (owner_ == tid) {
      ++count_;
      return true;
    }
    if (owner_ != 0) return false;
    if (own_fd_ >= 0 && FlockRetry(own_fd_, LOCK_EX | LOCK_NB) != 0) return false;
    owner_ = tid;
    count_ = 1;
    return true;
  }
  void UndoAcquireLocked(DWORD tid) override { ReleaseLocked(tid); }
  bool NeedsPollingLocked() const override { return own_fd_ >= 0 && owner_ == 0; }

  bool ReleaseLocked(DWORD tid) {
    if (owner_ != tid || count_ == 0) return false;
    if (--count_ == 0) {
      owner_ = 0;
      if (own_fd_ >= 0) FlockRetry(own_fd_, LOCK_UN);
    }
    return true;
  }

  // Joins the named mutex across processes; *existed tells whether some process had it.
  bool OpenShared(const std::string& lock_dir, bool create, bool* existed) {
    std::string base = lock_dir + "/" + LockFileBase(name);
    int guard = OpenLockFile(lock_dir + "/.guard");
    if (guard < 0) return kv::base::FailErrno(errno);
    if (FlockRetry(guard, LOCK_EX) != 0) {
      int e = errno;
      close(guard);
      return kv::base::FailErrno(e);
    }
    bool ok = false;
    exists_fd_ = OpenLockFile(base + ".exists");
    if (exists_fd_ < 0) {
      kv::base::FailErrno(errno);
    } else if (FlockRetry(exists_fd_, LOCK_EX | LOCK_NB) == 0) {
      *existed = false;
      if (create) {
        ok = FlockRetry(exists_fd_, LOCK_SH) == 0 || kv::base::FailErrno(errno);
      } else {
        FlockRetry(exists_fd_, LOCK_UN);
        kv::base::Fail(ERROR_FILE_NOT_FOUND);
      }
    } else if (errno == EWOULDBLOCK) {
      *existed = true;
      ok = FlockRetry(exists_fd_, LOCK_SH) == 0 || kv::base::FailErrno(errno);
    } else {
      kv::base::FailErrno(errno);
    }
    FlockRetry(guard, LOCK_UN);
    close(guard);
    if (!ok) return false;
    own_fd_ = OpenLockFile(base + ".own");
    if (own_fd_ < 0) return kv::base::FailErrno(errno);
    return true;
  }

 private:
  DWORD owner_ = 0;
  LONG count_ = 0;
  int exists_fd_ = -1;
  int own_fd_ = -1;
};

// Object names as the platform spells them: the "Global\" and "Local\" name spaces are
// one name space here.
bool NormaliseName(std::string* name) {
  for (const char* prefix : {"Global\\", "Local\\"}) {
    size_t n = std::char_traits<char>::length(prefix);
    if (name->compare(0, n, prefix) == 0) {
      name->erase(0, n);
      break;
    }
  }
  if (name->size() > MAX_PATH) return kv::base::Fail(ERROR_FILENAME_EXCED_RANGE);
  if (name->find('\\') != std::string::npos) return kv::base::Fail(ERROR_INVALID_NAME);
  return true;
}

std::string LockDirectory() {
  std::string home = KvHomeDirectory();
  if (home.empty()) return {};
  std::string dir = home + "/locks";
  if (!kv::base::MakeDirectories(dir)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return {};
  }
  return dir;
}

HANDLE CreateEventUtf8(bool manual, bool initial, const char* utf8_name) {
  std::string name = utf8_name ? utf8_name : "";
  if (name.empty()) {
    HANDLE h = KvHandleInsert(new Event(manual, initial));
    if (h) SetLastError(ERROR_SUCCESS);
    return h;
  }
  if (!NormaliseName(&name)) return nullptr;
  std::unique_lock<std::mutex> lk(g_names_lock);
  if (NamedObject* found = FindNamedLocked(name)) {
    if (found->Kind() != KObjectKind::kEvent) {
      lk.unlock();
      found->Release();
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    HANDLE h = KvHandleInsert(found);
    if (h) SetLastError(ERROR_ALREADY_EXISTS);
    return h;
  }
  auto* event = new Event(manual, initial);
  event->name = name;
  Names()[name] = event;
  HANDLE h = KvHandleInsert(event);
  if (h) SetLastError(ERROR_SUCCESS);
  return h;
}

HANDLE OpenEventUtf8(const char* utf8_name) {
  if (!utf8_name || !*utf8_name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::string name = utf8_name;
  if (!NormaliseName(&name)) return nullptr;
  std::unique_lock<std::mutex> lk(g_names_lock);
  NamedObject* found = FindNamedLocked(name);
  lk.unlock();
  if (!found) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  if (found->Kind() != KObjectKind::kEvent) {
    found->Release();
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return KvHandleInsert(found);
}

HANDLE OpenOrCreateMutexUtf8(bool create, bool initial_owner, const char* utf8_name) {
  std::string name = utf8_name ? utf8_name : "";
  const DWORD tid = GetCurrentThreadId();
  if (name.empty()) {
    if (!create) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    auto* m = new Mutex;
    if (initial_owner) {
      std::lock_guard<std::mutex> lk(kv::KernelLock());
      m->TryAcquireLocked(tid, nullptr);
    }
    HANDLE h = KvHandleInsert(m);
    if (h) SetLastError(ERROR_SUCCESS);
    return h;
  }
  if (!NormaliseName(&name)) return nullptr;
  std::string lock_dir = LockDirectory();
  if (lock_dir.empty()) return nullptr;
  std::unique_lock<std::mutex> lk(g_names_lock);
  if (NamedObject* found = FindNamedLocked(name)) {
    if (found->Kind() != KObjectKind::kMutex) {
      lk.unlock();
      found->Release();
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    HANDLE h = KvHandleInsert(found);
    if (h && create) SetLastError(ERROR_ALREADY_EXISTS);
    return h;
  }
  auto* m = new Mutex;
  m->name = name;
  bool existed = false;
  if (!m->OpenShared(lock_dir, create, &existed)) {
    DWORD e = GetLastError();
    m->name.clear();  // never entered in the table
    m->Release();
    SetLastError(e);
    return nullptr;
  }
  if (create && initial_owner && !existed) {
    std::lock_guard<std::mutex> klk(kv::KernelLock());
    m->TryAcquireLocked(tid, nullptr);
  }
  Names()[name] = m;
  HANDLE h = KvHandleInsert(m);
  if (h) SetLastError(create && existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return h;
}

std::string AnsiName(LPCSTR name) { return name ? kv::base::AnsiToUtf8(name) : std::string(); }
std::string WideName(LPCWSTR name) { return name ? kv::base::WideToUtf8(name) : std::string(); }

}  // namespace

// The thread's id, asked of the kernel once per thread: the window system asks for it
// several times per message. A forked child's thread gets its own id afresh.
namespace {
thread_local DWORD t_thread_id = 0;
void ForgetThreadId() { t_thread_id = 0; }
[[maybe_unused]] const int g_thread_id_at_fork = pthread_atfork(nullptr, nullptr, &ForgetThreadId);
}  // namespace

extern "C" {

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manual_reset, BOOL initial_state, LPCSTR name) {
  return CreateEventUtf8(manual_reset, initial_state, name ? AnsiName(name).c_str() : nullptr);
}
HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manual_reset, BOOL initial_state, LPCWSTR name) {
  return CreateEventUtf8(manual_reset, initial_state, name ? WideName(name).c_str() : nullptr);
}
HANDLE OpenEventA(DWORD, BOOL, LPCSTR name) { return OpenEventUtf8(name ? AnsiName(name).c_str() : nullptr); }
HANDLE OpenEventW(DWORD, BOOL, LPCWSTR name) { return OpenEventUtf8(name ? WideName(name).c_str() : nullptr); }

static BOOL SetEventState(HANDLE handle, bool on) {
  KObject* o = KvHandleGetKind(handle, KObjectKind::kEvent);
  if (!o) return FALSE;
  static_cast<Event*>(o)->Set(on);
  o->Release();
  return TRUE;
}

BOOL SetEvent(HANDLE event) { return SetEventState(event, true); }
BOOL ResetEvent(HANDLE event) { return SetEventState(event, false); }

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initial_owner, LPCSTR name) {
  return OpenOrCreateMutexUtf8(true, initial_owner, name ? AnsiName(name).c_str() : nullptr);
}
HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL initial_owner, LPCWSTR name) {
  return OpenOrCreateMutexUtf8(true, initial_owner, name ? WideName(name).c_str() : nullptr);
}
HANDLE OpenMutexA(DWORD, BOOL, LPCSTR name) {
  if (!name || !*name) return SetLastError(ERROR_INVALID_PARAMETER), nullptr;
  return OpenOrCreateMutexUtf8(false, false, AnsiName(name).c_str());
}
HANDLE OpenMutexW(DWORD, BOOL, LPCWSTR name) {
  if (!name || !*name) return SetLastError(ERROR_INVALID_PARAMETER), nullptr;
  return OpenOrCreateMutexUtf8(false, false, WideName(name).c_str());
}

BOOL ReleaseMutex(HANDLE mutex) {
  KObject* o = KvHandleGetKind(mutex, KObjectKind::kMutex);
  if (!o) return FALSE;
  bool ok;
  {
    std::lock_guard<std::mutex> lk(kv::KernelLock());
    ok = static_cast<Mutex*>(o)->ReleaseLocked(GetCurrentThreadId());
  }
  o->Release();
  if (!ok) return kv::base::Fail(ERROR_NOT_OWNER);
  kv::KernelNotify();
  return TRUE;
}

void InitializeCriticalSection(LPCRITICAL_SECTION cs) {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&cs->Mutex, &attr);
  pthread_mutexattr_destroy(&attr);
  cs->RecursionCount = 0;
  cs->OwningThread = 0;
}

BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION cs, DWORD) {
  InitializeCriticalSection(cs);
  return TRUE;
}

void EnterCriticalSection(LPCRITICAL_SECTION cs) {
  pthread_mutex_lock(&cs->Mutex);
  cs->OwningThread = GetCurrentThreadId();
  ++cs->RecursionCount;
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs) {
  if (pthread_mutex_trylock(&cs->Mutex) != 0) return FALSE;
  cs->OwningThread = GetCurrentThreadId();
  ++cs->RecursionCount;
  return TRUE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION cs) {
  if (cs->OwningThread != GetCurrentThreadId() || cs->RecursionCount <= 0) return;
  if (--cs->RecursionCount == 0) cs->OwningThread = 0;
  pthread_mutex_unlock(&cs->Mutex);
}

void DeleteCriticalSection(LPCRITICAL_SECTION cs) { pthread_mutex_destroy(&cs->Mutex); }

LONG InterlockedIncrement(LONG volatile* t) { return __atomic_add_fetch(t, 1, __ATOMIC_SEQ_CST); }
LONG InterlockedDecrement(LONG volatile* t) { return __atomic_sub_fetch(t, 1, __ATOMIC_SEQ_CST); }
LONG InterlockedExchange(LONG volatile* t, LONG v) { return __atomic_exchange_n(t, v, __ATOMIC_SEQ_CST); }
LONG InterlockedExchangeAdd(LONG volatile* t, LONG v) { return __atomic_fetch_add(t, v, __ATOMIC_SEQ_CST); }
LONG InterlockedCompareExchange(LONG volatile* t, LONG exchange, LONG comparand) {
  __atomic_compare_exchange_n(t, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;
}
void* InterlockedExchangePointer(void* volatile* t, void* v) { return __atomic_exchange_n(t, v, __ATOMIC_SEQ_CST); }
void* InterlockedCompareExchangePointer(void* volatile* t, void* exchange, void* comparand) {
  __atomic_compare_exchange_n(t, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;
}

DWORD GetCurrentThreadId(void) {
  if (t_thread_id == 0) t_thread_id = static_cast<DWORD>(syscall(SYS_gettid));
  return t_thread_id;
}
DWORD GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }
HANDLE GetCurrentProcess(void) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }
HANDLE GetCurrentThread(void) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2)); }

}  // extern "C"
