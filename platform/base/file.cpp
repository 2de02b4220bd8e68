// Files, directories, find handles, the generic I/O calls and the atomic file writer.
#include "platform/base/file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/error.h"
#include "platform/base/internal.h"
#include "platform/base/kobject.h"
#include "platform/base/sync.h"

using kv::base::Fail;
using kv::base::FailErrno;

namespace {

constexpr DWORD kDeleteAccess = 0x00010000;

bool WantsRead(DWORD access) { return access & (GENERIC_READ | GENERIC_ALL | 0x0001 /* FILE_READ_DATA */); }
bool WantsWrite(DWORD access) {
  return access & (GENERIC_WRITE | GENERIC_ALL | 0x0002 /* FILE_WRITE_DATA */ | 0x0004 /* FILE_APPEND_DATA */);
}

std::string ParentOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// ENOENT is "file not found" when the folder exists, "path not found" when it does not.
BOOL FailMissing(int e, const std::string& path) {
  if (e == ENOENT && !IsDirectory(ParentOf(path))) return Fail(ERROR_PATH_NOT_FOUND);
  return FailErrno(e);
}

// Open files of this process, for share-mode checks.
struct OpenEntry {
  DWORD access;
  DWORD share;
};
std::mutex g_share_lock;
std::multimap<std::pair<dev_t, ino_t>, const OpenEntry*>& OpenFiles() {
  static auto* m = new std::multimap<std::pair<dev_t, ino_t>, const OpenEntry*>;
  return *m;
}

bool SharingConflictLocked(dev_t dev, ino_t ino, DWORD access, DWORD share) {
  auto range = OpenFiles().equal_range({dev, ino});
  for (auto it = range.first; it != range.second; ++it) {
    const OpenEntry& e = *it->second;
    if ((WantsRead(access) && !(e.share & FILE_SHARE_READ)) || (WantsWrite(access) && !(e.share & FILE_SHARE_WRITE)) ||
        ((access & kDeleteAccess) && !(e.share & FILE_SHARE_DELETE)) ||
        (WantsRead(e.access) && !(share & FILE_SHARE_READ)) || (WantsWrite(e.access) && !(share & FILE_SHARE_WRITE)) ||
        ((e.access & kDeleteAccess) && !(share & FILE_SHARE_DELETE)))
      return true;
  }
  return false;
}

// FALSE with ERROR_SHARING_VIOLATION when an open handle of the file does not allow
// deleting or renaming it.
BOOL CheckDeleteAllowed(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return TRUE;
  std::lock_guard<std::mutex> lk(g_share_lock);
  if (SharingConflictLocked(st.st_dev, st.st_ino, kDeleteAccess, 0x7)) {
    return Fail(ERROR_SHARING_VIOLATION);
  }
  return TRUE;
}

class FileObject final : public kv::KObject {
 public:
  FileObject(int fd, std::string path, DWORD access, DWORD share, bool delete_on_close)
      : fd_(fd), path_(std::move(path)), entry_{access, share}, delete_on_close_(delete_on_close) {}
  ~FileObject() override {
    if (registered_) {
      std::lock_guard<std::mutex> lk(g_share_lock);
      auto range = OpenFiles().equal_range(key_);
      for (auto it = range.first; it != range.second; ++it) {
        if (it->second == &entry_) {
          OpenFiles().erase(it);
          break;
        }
      }
    }
    if (delete_on_close_) unlink(path_.c_str());
    close(fd_);
  }

  // Enters the file in the share table, or fails with ERROR_SHARING_VIOLATION.
  bool Register() {
    struct stat st;
    if (fstat(fd_, &st) != 0) return FailErrno(errno);
    key_ = {st.st_dev, st.st_ino};
    std::lock_guard<std::mutex> lk(g_share_lock);
    DWORD access = entry_.access | (delete_on_close_ ? kDeleteAccess : 0);
    if (SharingConflictLocked(st.st_dev, st.st_ino, access, entry_.share)) return Fail(ERROR_SHARING_VIOLATION);
    entry_.access = access;
    OpenFiles().emplace(key_, &entry_);
    registered_ = true;
    return true;
  }

  kv::KObjectKind Kind() const override { return kv::KObjectKind::kFile; }
  int fd() const { return fd_; }

  BOOL Read(void* buffer, DWORD size, DWORD* done, OVERLAPPED* ov) override {
    *done = 0;
    if (!WantsRead(entry_.access)) return Fail(ERROR_ACCESS_DENIED);
    if (ov) kv::OverlappedBegin(ov);
    ssize_t n;
    do {
      n = ov ? pread(fd_, buffer, size, Offset(ov)) : read(fd_, buffer, size);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return Finish(ov, KvErrnoToError(errno), 0);
    *done = static_cast<DWORD>(n);
    if (ov && n == 0 && size > 0) return Finish(ov, ERROR_HANDLE_EOF, 0);
    return Finish(ov, 0, *done);
  }

  BOOL Write(const void* buffer, DWORD size, DWORD* done, OVERLAPPED* ov) override {
    *done = 0;
    if (!WantsWrite(entry_.access)) return Fail(ERROR_ACCESS_DENIED);
    if (ov) kv::OverlappedBegin(ov);
    const char* p = static_cast<const char*>(buffer);
    size_t left = size;
    off_t at = 0;
    bool append = ov && ov->Offset == 0xFFFFFFFF && ov->OffsetHigh == 0xFFFFFFFF;
    if (ov) at = append ? lseek(fd_, 0, SEEK_END) : Offset(ov);
    while (left > 0) {
      ssize_t n = ov ? pwrite(fd_, p, left, at) : write(fd_, p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return Finish(ov, n < 0 ? KvErrnoToError(errno) : ERROR_WRITE_FAULT, *done);
      p += n;
      at += n;
      left -= static_cast<size_t>(n);
      *done += static_cast<DWORD>(n);
    }
    return Finish(ov, 0, *done);
  }

  BOOL Seek(LONGLONG distance, DWORD method, ULONGLONG* new_position) override {
    int whence = method == FILE_BEGIN     ? SEEK_SET
                 : method == FILE_CURRENT ? SEEK_CUR
                 : method == FILE_END     ? SEEK_END
                                          : -1;
    if (whence < 0) return Fail(ERROR_INVALID_PARAMETER);
    off_t from = whence == SEEK_SET ? 0 : lseek(fd_, 0, whence);
    if (from < 0) return FailErrno(errno);
    if (distance < 0 && from + distance < 0) return Fail(ERROR_NEGATIVE_SEEK);
    off_t r = lseek(fd_, from + distance, SEEK_SET);
    if (r < 0) return FailErrno(errno);
    if (new_position) *new_position = static_cast<ULONGLONG>(r);
    return TRUE;
  }

  BOOL GetSize(ULONGLONG* size) override {
    struct stat st;
    if (fstat(fd_, &st) != 0) return FailErrno(errno);
    *size = static_cast<ULONGLONG>(st.st_size);
    return TRUE;
  }

  BOOL SetEnd() override {
    if (!WantsWrite(entry_.access)) return Fail(ERROR_ACCESS_DENIED);
    off_t at = lseek(fd_, 0, SEEK_CUR);
    if (at < 0 || ftruncate(fd_, at) != 0) return FailErrno(errno);
    return TRUE;
  }

  BOOL Flush() override {
    if (!WantsWrite(entry_.access)) return Fail(ERROR_ACCESS_DENIED);
    return fsync(fd_) == 0 ? TRUE : FailErrno(errno);
  }

  BOOL Cancel() override { return TRUE; }  // file operations complete at once

 private:
  static off_t Offset(const OVERLAPPED* ov) {
    return static_cast<off_t>((static_cast<ULONGLONG>(ov->OffsetHigh) << 32) | ov->Offset);
  }
  // Ends an operation: completes the OVERLAPPED (if any) and reports the result.
  static BOOL Finish(OVERLAPPED* ov, DWORD error, DWORD bytes) {
    if (ov) kv::OverlappedComplete(ov, error, bytes);
    if (error) return Fail(error);
    return TRUE;
  }

  int fd_;
  std::string path_;
  OpenEntry entry_;
  bool delete_on_close_;
  bool registered_ = false;
  std::pair<dev_t, ino_t> key_{};
};

// Device names and their openers.
std::mutex g_openers_lock;
std::vector<KvDeviceOpener>& Openers() {
  static auto* v = new std::vector<KvDeviceOpener>;
  return *v;
}

bool IsDeviceName(const std::string& n) {
  if (n.size() >= 4 && (n[0] == '\\' || n[0] == '/') && (n[1] == '\\' || n[1] == '/') && (n[2] == '.' || n[2] == '?') &&
      (n[3] == '\\' || n[3] == '/')) {
    bool drive = n.size() >= 6 && std::isalpha(static_cast<unsigned char>(n[4])) && n[5] == ':';
    return !drive;
  }
  std::string u = n;
  if (!u.empty() && u.back() == ':') u.pop_back();
  if (u.size() != 4) return false;
  std::string head = u.substr(0, 3);
  return (kv::base::EqualsNoCase(head, "COM") || kv::base::EqualsNoCase(head, "LPT")) && u[3] >= '1' && u[3] <= '9';
}

HANDLE OpenDevice(const std::string& name, DWORD access, DWORD share, DWORD flags) {
  std::vector<KvDeviceOpener> openers;
  {
    std::lock_guard<std::mutex> lk(g_openers_lock);
    openers = Openers();
  }
  for (KvDeviceOpener open : openers) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    kv::KObject* o = open(name.c_str(), access, share, flags);
    if (o) {
      HANDLE h = KvHandleInsert(o);
      if (!h) return INVALID_HANDLE_VALUE;
      SetLastError(ERROR_SUCCESS);
      return h;
    }
    if (GetLastError() != ERROR_FILE_NOT_FOUND) return INVALID_HANDLE_VALUE;
  }
  SetLastError(ERROR_FILE_NOT_FOUND);
  return INVALID_HANDLE_VALUE;
}

HANDLE CreateFileImpl(const std::string& utf8_name, const std::string& path, DWORD access, DWORD share, DWORD creation,
                      DWORD flags) {
  if (IsDeviceName(utf8_name)) return OpenDevice(utf8_name, access, share, flags);
  if (path.empty()) return INVALID_HANDLE_VALUE;
  if (creation < CREATE_NEW || creation > TRUNCATE_EXISTING) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const bool read = WantsRead(access), write = WantsWrite(access);
  if (creation == TRUNCATE_EXISTING && !write) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    if (!(flags & FILE_FLAG_BACKUP_SEMANTICS) || creation == CREATE_NEW || creation == CREATE_ALWAYS ||
        creation == TRUNCATE_EXISTING || write) {
      SetLastError(creation == CREATE_NEW ? ERROR_FILE_EXISTS : ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
  }
  int mode = read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
  mode |= O_CLOEXEC;
  const mode_t perms = (flags & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
  int fd = -1;
  bool existed = false;
  for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
    if (creation == OPEN_EXISTING || creation == TRUNCATE_EXISTING) {
      fd = open(path.c_str(), mode);
      existed = true;
      if (fd < 0) break;
    } else {
      fd = open(path.c_str(), mode | O_CREAT | O_EXCL, perms);
      if (fd >= 0 || errno != EEXIST) break;
      if (creation == CREATE_NEW) break;
      fd = open(path.c_str(), mode);  // it exists: open it (it may vanish meanwhile)
      existed = true;
      if (fd < 0 && errno != ENOENT) break;
    }
  }
  if (fd < 0) {
    int e = errno;
    if (e == EEXIST)
      SetLastError(ERROR_FILE_EXISTS);
    else
      FailMissing(e, path);
    return INVALID_HANDLE_VALUE;
  }
  auto* file = new FileObject(fd, path, access, share, flags & FILE_FLAG_DELETE_ON_CLOSE);
  kv::KRef<FileObject> ref(file);
  if (!file->Register()) {
    if (!existed) {
      DWORD e = GetLastError();
      unlink(path.c_str());
      SetLastError(e);
    }
    return INVALID_HANDLE_VALUE;
  }
  if (existed && (creation == CREATE_ALWAYS || creation == TRUNCATE_EXISTING)) {
    int r = write ? ftruncate(fd, 0) : truncate(path.c_str(), 0);
    if (r != 0) {
      FailErrno(errno);
      return INVALID_HANDLE_VALUE;
    }
  }
  HANDLE h = KvHandleInsert(ref.release());
  if (!h) return INVALID_HANDLE_VALUE;
  SetLastError(existed && (creation == CREATE_ALWAYS || creation == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                 : ERROR_SUCCESS);
  return h;
}

BOOL DeleteImpl(const std::string& path) {
  if (path.empty()) return FALSE;
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return FailMissing(errno, path);
  if (S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
  if (!CheckDeleteAllowed(path)) return FALSE;
  if (unlink(path.c_str()) != 0) return FailMissing(errno, path);
  return TRUE;
}

BOOL CopyImpl(const std::string& from, const std::string& to, bool fail_if_exists) {
  if (from.empty() || to.empty()) return FALSE;
  int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return FailMissing(errno, from);
  struct stat st;
  if (fstat(in, &st) != 0 || S_ISDIR(st.st_mode)) {
    close(in);
    return Fail(ERROR_ACCESS_DENIED);
  }
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (fail_if_exists ? O_EXCL : O_TRUNC);
  int out = open(to.c_str(), flags, st.st_mode & 0777);
  if (out < 0) {
    int e = errno;
    close(in);
    if (e == EEXIST) return Fail(ERROR_FILE_EXISTS);
    return e == EISDIR ? Fail(ERROR_ACCESS_DENIED) : FailMissing(e, to);
  }
  char buf[65536];
  DWORD error = 0;
  for (;;) {
    ssize_t n = read(in, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = KvErrnoToError(errno);
      break;
    }
    if (n == 0) break;
    for (ssize_t off = 0; off < n;) {
      ssize_t w = write(out, buf + off, static_cast<size_t>(n - off));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        error = w < 0 ? KvErrnoToError(errno) : ERROR_WRITE_FAULT;
        break;
      }
      off += w;
    }
    if (error) break;
  }
  close(in);
  if (close(out) != 0 && !error) error = KvErrnoToError(errno);
  if (error) {
    unlink(to.c_str());
    return Fail(error);
  }
  return TRUE;
}

BOOL SyncFolder(const std::string& path) {
  int d = open(ParentOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (d < 0) return FailErrno(errno);
  int r = fsync(d);
  int e = errno;
  close(d);
  return r == 0 ? TRUE : FailErrno(e);
}

BOOL MoveImpl(const std::string& from, const std::string& to, DWORD flags) {
  if (flags & MOVEFILE_DELAY_UNTIL_REBOOT) return Fail(ERROR_NOT_SUPPORTED);
  if (from.empty() || to.empty()) return FALSE;
  struct stat st;
  if (lstat(from.c_str(), &st) != 0) return FailMissing(errno, from);
  if (!CheckDeleteAllowed(from)) return FALSE;
  int r;
  if (flags & MOVEFILE_REPLACE_EXISTING) {
    r = rename(from.c_str(), to.c_str());
  } else {
    r = renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
    if (r != 0 && errno == EINVAL && !S_ISDIR(st.st_mode)) {
      // File systems without RENAME_NOREPLACE: link fails on an existing target.
      r = link(from.c_str(), to.c_str());
      if (r == 0) unlink(from.c_str());
    }
  }
  if (r != 0) {
    int e = errno;
    if (e == EEXIST || e == ENOTEMPTY) return Fail(ERROR_ALREADY_EXISTS);
    if (e == EXDEV && (flags & MOVEFILE_COPY_ALLOWED) && !S_ISDIR(st.st_mode)) {
      if (!CopyImpl(from, to, !(flags & MOVEFILE_REPLACE_EXISTING))) {
        return GetLastError() == ERROR_FILE_EXISTS ? Fail(ERROR_ALREADY_EXISTS) : FALSE;
      }
      if (unlink(from.c_str()) != 0) return FailErrno(errno);
    } else if (e == EISDIR) {
      return Fail(ERROR_ACCESS_DENIED);
    } else {
      return FailMissing(e, e == ENOENT && IsDirectory(ParentOf(from)) ? to : from);
    }
  }
  if (flags & MOVEFILE_WRITE_THROUGH) return SyncFolder(to);
  return TRUE;
}

DWORD AttributesImpl(const std::string& path) {
  if (path.empty()) return INVALID_FILE_ATTRIBUTES;
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    FailMissing(errno, path);
    return INVALID_FILE_ATTRIBUTES;
  }
  DWORD a = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (!(st.st_mode & S_IWUSR)) a |= FILE_ATTRIBUTE_READONLY;
  size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.size() > 1 && name[0] == '.' && name != "..") a |= FILE_ATTRIBUTE_HIDDEN;
  return a;
}

BOOL CreateDirectoryImpl(const std::string& path) {
  if (path.empty()) return FALSE;
  if (mkdir(path.c_str(), 0777) != 0) {
    int e = errno;
    if (e == EEXIST) return Fail(ERROR_ALREADY_EXISTS);
    if (e == ENOENT) return Fail(ERROR_PATH_NOT_FOUND);
    return FailErrno(e);
  }
  return TRUE;
}

BOOL RemoveDirectoryImpl(const std::string& path) {
  if (path.empty()) return FALSE;
  if (rmdir(path.c_str()) != 0) {
    int e = errno;
    if (e == ENOTEMPTY || e == EEXIST) return Fail(ERROR_DIR_NOT_EMPTY);
    if (e == ENOTDIR) return Fail(ERROR_DIRECTORY);
    return FailMissing(e, path);
  }
  return TRUE;
}

// --- find handles

FILETIME ToFileTime(const timespec& ts) {
  ULONGLONG v = 116444736000000000ull + static_cast<ULONGLONG>(ts.tv_sec) * 10000000ull +
                static_cast<ULONGLONG>(ts.tv_nsec) / 100u;
  return FILETIME{static_cast<DWORD>(v), static_cast<DWORD>(v >> 32)};
}

struct FoundEntry {
  std::string name;  // UTF-8
  DWORD attributes;
  ULONGLONG size;
  FILETIME created, accessed, written;
};

char16_t LowerWide(char16_t c) { return c >= u'A' && c <= u'Z' ? c + 32 : c; }

bool Matches(const char16_t* p, const char16_t* pe, const char16_t* s, const char16_t* se) {
  while (p < pe) {
    if (*p == u'*') {
      ++p;
      if (p == pe) return true;
      for (const char16_t* t = s; t <= se; ++t) {
        if (Matches(p, pe, t, se)) return true;
      }
      return false;
    }
    if (s == se) return false;
    if (*p != u'?' && LowerWide(*p) != LowerWide(*s)) return false;
    ++p;
    ++s;
  }
  return s == se;
}

class FindObject final : public kv::KObject {
 public:
  kv::KObjectKind Kind() const override { return kv::KObjectKind::kFind; }
  std::vector<FoundEntry> entries;
  size_t next = 0;
};

bool RankBefore(const FoundEntry& a, const FoundEntry& b) {
  auto rank = [](const std::string& n) { return n == "." ? 0 : n == ".." ? 1 : 2; };
  if (rank(a.name) != rank(b.name)) return rank(a.name) < rank(b.name);
  std::string la = a.name, lb = b.name;
  for (char& c : la) c = kv::base::LowerAscii(c);
  for (char& c : lb) c = kv::base::LowerAscii(c);
  return la != lb ? la < lb : a.name < b.name;
}

HANDLE FindFirstImpl(const std::string& mapped, FoundEntry* first) {
  if (mapped.empty()) return INVALID_HANDLE_VALUE;
  size_t slash = mapped.rfind('/');
  std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : mapped.substr(0, slash));
  std::string pattern = slash == std::string::npos ? mapped : mapped.substr(slash + 1);
  if (pattern.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (pattern == "*.*") pattern = "*";
  DIR* d = opendir(dir.c_str());
  if (!d) {
    int e = errno;
    SetLastError(e == ENOENT || e == ENOTDIR ? ERROR_PATH_NOT_FOUND : KvErrnoToError(e));
    return INVALID_HANDLE_VALUE;
  }
  std::u16string wp = kv::base::Utf8ToWide(pattern);
  auto* find = new FindObject;
  kv::KRef<FindObject> ref(find);
  while (dirent* e = readdir(d)) {
    std::u16string wn = kv::base::Utf8ToWide(e->d_name);
    if (!Matches(wp.data(), wp.data() + wp.size(), wn.data(), wn.data() + wn.size())) continue;
    std::string full = dir + "/" + e->d_name;
    struct stat st;
    if (stat(full.c_str(), &st) != 0 && lstat(full.c_str(), &st) != 0) continue;
    FoundEntry f;
    f.name = e->d_name;
    f.attributes = AttributesImpl(full);
    if (f.attributes == INVALID_FILE_ATTRIBUTES) f.attributes = FILE_ATTRIBUTE_ARCHIVE;
    f.size = S_ISDIR(st.st_mode) ? 0 : static_cast<ULONGLONG>(st.st_size);
    f.created = ToFileTime(st.st_ctim);
    f.accessed = ToFileTime(st.st_atim);
    f.written = ToFileTime(st.st_mtim);
    find->entries.push_back(std::move(f));
  }
  closedir(d);
  if (find->entries.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::sort(find->entries.begin(), find->entries.end(), RankBefore);
  *first = find->entries[0];
  find->next = 1;
  HANDLE h = KvHandleInsert(ref.release());
  if (!h) return INVALID_HANDLE_VALUE;
  SetLastError(ERROR_SUCCESS);
  return h;
}

bool FindNextImpl(HANDLE h, FoundEntry* out) {
  kv::KRef<kv::KObject> o(KvHandleGetKind(h, kv::KObjectKind::kFind));
  if (!o) return false;
  auto* find = static_cast<FindObject*>(o.get());
  std::lock_guard<std::mutex> lk(kv::KernelLock());
  if (find->next >= find->entries.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return false;
  }
  *out = find->entries[find->next++];
  return true;
}

template <class Data, class Char>
void FillFindData(const FoundEntry& f, Data* data, const std::basic_string<Char>& name) {
  std::memset(data, 0, sizeof *data);
  data->dwFileAttributes = f.attributes;
  data->ftCreationTime = f.created;
  data->ftLastAccessTime = f.accessed;
  data->ftLastWriteTime = f.written;
  data->nFileSizeHigh = static_cast<DWORD>(f.size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(f.size);
  size_t n = std::min<size_t>(name.size(), MAX_PATH - 1);
  std::memcpy(data->cFileName, name.data(), n * sizeof(Char));
}

void FillA(const FoundEntry& f, WIN32_FIND_DATAA* d) { FillFindData(f, d, kv::base::Utf8ToAnsi(f.name)); }
void FillW(const FoundEntry& f, WIN32_FIND_DATAW* d) { FillFindData(f, d, kv::base::Utf8ToWide(f.name)); }

std::atomic<unsigned> g_atomic_counter{0};

// Calls obj->op with the handle's object, keeping the last error across the release.
template <class Fn>
BOOL WithObject(HANDLE h, Fn fn) {
  kv::KObject* o = KvHandleGet(h);
  if (!o) return FALSE;
  BOOL r = fn(o);
  DWORD e = GetLastError();
  o->Release();
  SetLastError(e);
  return r;
}

std::string Utf8A(LPCSTR s) { return s ? kv::base::AnsiToUtf8(s) : std::string(); }
void RemoveStaleTemporaries(const std::string& path);
std::string Utf8W(LPCWSTR s) { return s ? kv::base::WideToUtf8(s) : std::string(); }

}  // namespace

void KvRegisterDeviceOpener(KvDeviceOpener opener) {
  if (!opener) return;
  std::lock_guard<std::mutex> lk(g_openers_lock);
  Openers().push_back(opener);
}

extern "C" {

HANDLE CreateFileA(LPCSTR file_name, DWORD access, DWORD share_mode, LPSECURITY_ATTRIBUTES, DWORD creation, DWORD flags,
                   HANDLE) {
  if (!file_name) return SetLastError(ERROR_INVALID_PARAMETER), INVALID_HANDLE_VALUE;
  std::string utf8 = Utf8A(file_name);
  std::string mapped = IsDeviceName(utf8) ? std::string() : kv::base::MapUtf8Path(utf8);
  return CreateFileImpl(utf8, mapped, access, share_mode, creation, flags);
}

HANDLE CreateFileW(LPCWSTR file_name, DWORD access, DWORD share_mode, LPSECURITY_ATTRIBUTES, DWORD creation,
                   DWORD flags, HANDLE) {
  if (!file_name) return SetLastError(ERROR_INVALID_PARAMETER), INVALID_HANDLE_VALUE;
  std::string utf8 = Utf8W(file_name);
  std::string mapped = IsDeviceName(utf8) ? std::string() : kv::base::MapUtf8Path(utf8);
  return CreateFileImpl(utf8, mapped, access, share_mode, creation, flags);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD to_read, LPDWORD read, LPOVERLAPPED ov) {
  if (read) *read = 0;
  if ((!read && !ov) || (!buffer && to_read)) return Fail(ERROR_INVALID_PARAMETER);
  return WithObject(file, [&](kv::KObject* o) {
    DWORD done = 0;
    BOOL r = o->Read(buffer, to_read, &done, ov);
    if (read) *read = done;
    return r;
  });
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD to_write, LPDWORD written, LPOVERLAPPED ov) {
  if (written) *written = 0;
  if ((!written && !ov) || (!buffer && to_write)) return Fail(ERROR_INVALID_PARAMETER);
  return WithObject(file, [&](kv::KObject* o) {
    DWORD done = 0;
    BOOL r = o->Write(buffer, to_write, &done, ov);
    if (written) *written = done;
    return r;
  });
}

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in_buffer, DWORD in_size, LPVOID out_buffer, DWORD out_size,
                     LPDWORD bytes_returned, LPOVERLAPPED ov) {
  if (bytes_returned) *bytes_returned = 0;
  if (!bytes_returned && !ov) return Fail(ERROR_INVALID_PARAMETER);
  return WithObject(device, [&](kv::KObject* o) {
    DWORD done = 0;
    BOOL r = o->IoControl(code, in_buffer, in_size, out_buffer, out_size, &done, ov);
    if (bytes_returned) *bytes_returned = done;
    return r;
  });
}

BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED ov, LPDWORD transferred, BOOL wait) {
  if (!ov) return Fail(ERROR_INVALID_PARAMETER);
  if (!kv::OverlappedDone(ov)) {
    if (!wait) return Fail(ERROR_IO_INCOMPLETE);
    kv::base::WaitOverlappedDone(ov);
    // The platform waits on the event here, which takes the signal of an auto-reset one.
    HANDLE event = reinterpret_cast<HANDLE>(reinterpret_cast<uintptr_t>(ov->hEvent) & ~uintptr_t{1});
    if (event) WaitForSingleObject(event, 0);
  }
  (void)file;
  if (transferred) *transferred = static_cast<DWORD>(ov->InternalHigh);
  DWORD error = kv::base::OverlappedError(__atomic_load_n(&ov->Internal, __ATOMIC_ACQUIRE));
  if (error) return Fail(error);
  return TRUE;
}

BOOL CancelIo(HANDLE file) {
  return WithObject(file, [](kv::KObject* o) { return o->Cancel(); });
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distance_high, DWORD method) {
  LONGLONG d = distance_high
                   ? static_cast<LONGLONG>((static_cast<ULONGLONG>(static_cast<DWORD>(*distance_high)) << 32) |
                                           static_cast<DWORD>(distance))
                   : distance;
  ULONGLONG pos = 0;
  BOOL ok = WithObject(file, [&](kv::KObject* o) { return o->Seek(d, method, &pos); });
  if (!ok) return INVALID_SET_FILE_POINTER;
  if (distance_high) {
    *distance_high = static_cast<LONG>(pos >> 32);
  } else if (pos > 0xFFFFFFFEull) {
    // The position does not fit the low part alone.
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(pos);
}

BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, LARGE_INTEGER* new_position, DWORD method) {
  ULONGLONG pos = 0;
  BOOL ok = WithObject(file, [&](kv::KObject* o) { return o->Seek(distance.QuadPart, method, &pos); });
  if (ok && new_position) new_position->QuadPart = static_cast<LONGLONG>(pos);
  return ok;
}

DWORD GetFileSize(HANDLE file, LPDWORD size_high) {
  ULONGLONG size = 0;
  if (!WithObject(file, [&](kv::KObject* o) { return o->GetSize(&size); })) return INVALID_FILE_SIZE;
  if (size_high) *size_high = static_cast<DWORD>(size >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(size);
}

BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size) {
  if (!size) return Fail(ERROR_INVALID_PARAMETER);
  ULONGLONG s = 0;
  if (!WithObject(file, [&](kv::KObject* o) { return o->GetSize(&s); })) return FALSE;
  size->QuadPart = static_cast<LONGLONG>(s);
  return TRUE;
}

BOOL SetEndOfFile(HANDLE file) {
  return WithObject(file, [](kv::KObject* o) { return o->SetEnd(); });
}

BOOL FlushFileBuffers(HANDLE file) {
  return WithObject(file, [](kv::KObject* o) { return o->Flush(); });
}

BOOL DeleteFileA(LPCSTR name) { return DeleteImpl(kv::base::MapAnsiPath(name)); }
BOOL DeleteFileW(LPCWSTR name) { return DeleteImpl(kv::base::MapWidePath(name)); }

BOOL MoveFileA(LPCSTR existing, LPCSTR new_name) { return MoveFileExA(existing, new_name, MOVEFILE_COPY_ALLOWED); }
BOOL MoveFileW(LPCWSTR existing, LPCWSTR new_name) { return MoveFileExW(existing, new_name, MOVEFILE_COPY_ALLOWED); }

BOOL MoveFileExA(LPCSTR existing, LPCSTR new_name, DWORD flags) {
  if (!new_name) return Fail(ERROR_NOT_SUPPORTED);
  std::string from = kv::base::MapAnsiPath(existing);
  if (from.empty()) return FALSE;
  return MoveImpl(from, kv::base::MapAnsiPath(new_name), flags);
}

BOOL MoveFileExW(LPCWSTR existing, LPCWSTR new_name, DWORD flags) {
  if (!new_name) return Fail(ERROR_NOT_SUPPORTED);
  std::string from = kv::base::MapWidePath(existing);
  if (from.empty()) return FALSE;
  return MoveImpl(from, kv::base::MapWidePath(new_name), flags);
}

BOOL CopyFileA(LPCSTR existing, LPCSTR new_name, BOOL fail_if_exists) {
  std::string from = kv::base::MapAnsiPath(existing);
  if (from.empty()) return FALSE;
  return CopyImpl(from, kv::base::MapAnsiPath(new_name), fail_if_exists);
}

BOOL CopyFileW(LPCWSTR existing, LPCWSTR new_name, BOOL fail_if_exists) {
  std::string from = kv::base::MapWidePath(existing);
  if (from.empty()) return FALSE;
  return CopyImpl(from, kv::base::MapWidePath(new_name), fail_if_exists);
}

DWORD GetFileAttributesA(LPCSTR name) { return AttributesImpl(kv::base::MapAnsiPath(name)); }
DWORD GetFileAttributesW(LPCWSTR name) { return AttributesImpl(kv::base::MapWidePath(name)); }

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES) { return CreateDirectoryImpl(kv::base::MapAnsiPath(path)); }
BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES) { return CreateDirectoryImpl(kv::base::MapWidePath(path)); }
BOOL RemoveDirectoryA(LPCSTR path) { return RemoveDirectoryImpl(kv::base::MapAnsiPath(path)); }
BOOL RemoveDirectoryW(LPCWSTR path) { return RemoveDirectoryImpl(kv::base::MapWidePath(path)); }

HANDLE FindFirstFileA(LPCSTR file_name, LPWIN32_FIND_DATAA data) {
  if (!data) return SetLastError(ERROR_INVALID_PARAMETER), INVALID_HANDLE_VALUE;
  FoundEntry first;
  HANDLE h = FindFirstImpl(kv::base::MapAnsiPath(file_name), &first);
  if (h != INVALID_HANDLE_VALUE) FillA(first, data);
  return h;
}

HANDLE FindFirstFileW(LPCWSTR file_name, LPWIN32_FIND_DATAW data) {
  if (!data) return SetLastError(ERROR_INVALID_PARAMETER), INVALID_HANDLE_VALUE;
  FoundEntry first;
  HANDLE h = FindFirstImpl(kv::base::MapWidePath(file_name), &first);
  if (h != INVALID_HANDLE_VALUE) FillW(first, data);
  return h;
}

BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data) {
  if (!data) return Fail(ERROR_INVALID_PARAMETER);
  FoundEntry e;
  if (!FindNextImpl(find, &e)) return FALSE;
  FillA(e, data);
  return TRUE;
}

BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data) {
  if (!data) return Fail(ERROR_INVALID_PARAMETER);
  FoundEntry e;
  if (!FindNextImpl(find, &e)) return FALSE;
  FillW(e, data);
  return TRUE;
}

BOOL FindClose(HANDLE find) {
  kv::KObject* o = KvHandleGetKind(find, kv::KObjectKind::kFind);
  if (!o) return FALSE;
  o->Release();
  return KvHandleClose(find);
}

// The temporary file "<file>.kvtmp-PID-N" beside the file, and what was written to it;
// bytes are gathered into blocks so that many small writes make few system calls.
struct KvAtomicFile {
  std::string path;
  std::string temp;
  mode_t mode = 0644;
  bool existed = false;  // the file was there at open: it keeps its mode
  int fd = -1;
  DWORD error = 0;  // the first failure; the file is never committed after one
  std::string block;
};

namespace {

constexpr size_t kAtomicBlock = 64 * 1024;

void FlushAtomic(KvAtomicFile* f) {
  const char* p = f->block.data();
  size_t left = f->block.size();
  while (left > 0 && !f->error) {
    ssize_t n = write(f->fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      f->error = n < 0 ? KvErrnoToError(errno) : ERROR_WRITE_FAULT;
      break;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  f->block.clear();
}

}  // namespace

KvAtomicFile* KvAtomicFileOpen(const char* posix_path) {
  if (!posix_path || !*posix_path) {
    Fail(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto f = std::make_unique<KvAtomicFile>();
  f->path = posix_path;
  char suffix[64];
  std::snprintf(suffix, sizeof suffix, ".kvtmp-%d-%u", static_cast<int>(getpid()), g_atomic_counter.fetch_add(1));
  f->temp = f->path + suffix;
  struct stat st;
  if (stat(f->path.c_str(), &st) == 0) {
    f->mode = st.st_mode & 07777;
    f->existed = true;
  }
  f->fd = open(f->temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (f->fd < 0) {
    FailMissing(errno, f->temp);
    return nullptr;
  }
  return f.release();
}

BOOL KvAtomicFileWrite(KvAtomicFile* f, const void* data, size_t size) {
  if (!f || (!data && size)) return Fail(ERROR_INVALID_PARAMETER);
  if (f->error) return Fail(f->error);
  try {
    if (f->block.size() + size > kAtomicBlock) FlushAtomic(f);
    if (size >= kAtomicBlock) {
      f->block.assign(static_cast<const char*>(data), size);
      FlushAtomic(f);
    } else {
      f->block.append(static_cast<const char*>(data), size);
    }
  } catch (const std::bad_alloc&) {
    f->error = ERROR_NOT_ENOUGH_MEMORY;
  }
  return f->error ? Fail(f->error) : TRUE;
}

BOOL KvAtomicFileCommit(KvAtomicFile* f) {
  if (!f) return Fail(ERROR_INVALID_PARAMETER);
  std::unique_ptr<KvAtomicFile> hold(f);
  FlushAtomic(f);
  DWORD error = f->error;
  if (!error && fchmod(f->fd, f->mode) != 0) error = KvErrnoToError(errno);
  if (!error && fsync(f->fd) != 0) error = KvErrnoToError(errno);
  if (close(f->fd) != 0 && !error) error = KvErrnoToError(errno);
  if (!error && rename(f->temp.c_str(), f->path.c_str()) != 0) error = KvErrnoToError(errno);
  if (error) {
    unlink(f->temp.c_str());
    return Fail(error);
  }
  SyncFolder(f->path);  // the rename is durable once the folder is synced; failure here is late
  RemoveStaleTemporaries(f->path);
  return TRUE;
}

void KvAtomicFileAbort(KvAtomicFile* f) {
  if (!f) return;
  close(f->fd);
  unlink(f->temp.c_str());
  delete f;
}

BOOL KvWriteFileAtomicMode(const char* posix_path, const void* data, size_t size, unsigned new_file_mode) {
  if (!data && size) return Fail(ERROR_INVALID_PARAMETER);
  KvAtomicFile* f = KvAtomicFileOpen(posix_path);
  if (!f) return FALSE;
  if (!f->existed) f->mode = static_cast<mode_t>(new_file_mode & 07777);
  if (!KvAtomicFileWrite(f, data, size)) {
    DWORD e = GetLastError();
    KvAtomicFileAbort(f);
    return Fail(e);
  }
  return KvAtomicFileCommit(f);
}

BOOL KvWriteFileAtomic(const char* posix_path, const void* data, size_t size) {
  return KvWriteFileAtomicMode(posix_path, data, size, 0644);
}

}  // extern "C"

namespace {

// Temporary files of writers that were killed before their rename ("<file>.kvtmp-PID-N"
// of a process that no longer runs) are removed by the next writer of the file.
void RemoveStaleTemporaries(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + ".kvtmp-";
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    if (std::strncmp(e->d_name, prefix.c_str(), prefix.size()) != 0) continue;
    long pid = std::strtol(e->d_name + prefix.size(), nullptr, 10);
    if (pid <= 0 || pid == getpid()) continue;
    if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) unlink((dir + "/" + e->d_name).c_str());
  }
  closedir(d);
}

}  // namespace
