#include "platform/base/file.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "platform/base/error.h"
#include "platform/base/kobject.h"
#include "platform/base/sync.h"
#include "testsupport/temp_home.h"

namespace {

HANDLE Open(const char* name, DWORD access, DWORD share, DWORD creation, DWORD flags = 0) {
  return CreateFileA(name, access, share, nullptr, creation, flags | FILE_ATTRIBUTE_NORMAL, nullptr);
}

constexpr DWORD kRW = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

TEST(BaseFiles, CreationDispositions) {
  kvtest::TempHome home;
  const char* f = "c:\\disp.txt";
  struct Step {
    DWORD creation;
    bool ok;
    DWORD error;  // last error after the call
  } steps[] = {
      {OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND},
      {TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND},
      {CREATE_NEW, true, ERROR_SUCCESS},
      {CREATE_NEW, false, ERROR_FILE_EXISTS},
      {CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS},
      {OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS},
      {OPEN_EXISTING, true, ERROR_SUCCESS},
      {TRUNCATE_EXISTING, true, ERROR_SUCCESS},
      {0, false, ERROR_INVALID_PARAMETER},
  };
  for (const auto& s : steps) {
    SetLastError(0xDEAD);
    HANDLE h = Open(f, kRW, kShareAll, s.creation);
    EXPECT_EQ(h != INVALID_HANDLE_VALUE, s.ok) << s.creation;
    EXPECT_EQ(GetLastError(), s.error) << s.creation;
    if (h != INVALID_HANDLE_VALUE) {
      EXPECT_TRUE(CloseHandle(h));
    }
  }
  DeleteFileA(f);
  EXPECT_TRUE(CloseHandle(Open(f, kRW, 0, OPEN_ALWAYS)));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));  // it did not exist
  SetLastError(0);
  EXPECT_EQ(Open("c:\\no\\such\\dir\\f", kRW, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(Open("c:\\disp.txt", GENERIC_READ, 0, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(Open("c:\\", GENERIC_READ, kShareAll, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(BaseFiles, ReadWriteSeekAndSize) {
  kvtest::TempHome home;
  HANDLE h = Open("c:\\data.bin", kRW, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(h, "hello world", 11, &n, nullptr));
  EXPECT_EQ(n, 11u);
  EXPECT_EQ(GetFileSize(h, nullptr), 11u);
  EXPECT_EQ(SetFilePointer(h, 6, nullptr, FILE_BEGIN), 6u);
  char buf[16] = {};
  ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr));
  EXPECT_EQ(std::string(buf, n), "world");
  ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr));  // end of file: TRUE, 0 bytes
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(SetFilePointer(h, -6, nullptr, FILE_END), 5u);
  EXPECT_EQ(SetFilePointer(h, -100, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
  ASSERT_TRUE(SetEndOfFile(h));
  EXPECT_EQ(GetFileSize(h, nullptr), 5u);
  LONG high = 1;  // 4 GiB + 2
  EXPECT_EQ(SetFilePointer(h, 2, &high, FILE_BEGIN), 2u);
  EXPECT_EQ(high, 1);
  LARGE_INTEGER size;
  ASSERT_TRUE(GetFileSizeEx(h, &size));
  EXPECT_EQ(size.QuadPart, 5);
  EXPECT_TRUE(FlushFileBuffers(h));
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(kvtest::ReadFile(home / "drive_c/data.bin"), "hello");
  EXPECT_FALSE(CloseHandle(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  HANDLE ro = Open("c:\\data.bin", GENERIC_READ, kShareAll, OPEN_EXISTING);
  EXPECT_FALSE(WriteFile(ro, "x", 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(ReadFile(ro, buf, 1, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(DeviceIoControl(ro, 0x220000, nullptr, 0, nullptr, 0, &n, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  CloseHandle(ro);
}

TEST(BaseFiles, ShareModesAmongHandles) {
  kvtest::TempHome home;
  HANDLE a = Open("c:\\shared", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
  ASSERT_NE(a, INVALID_HANDLE_VALUE);
  HANDLE reader = Open("c:\\shared", GENERIC_READ, kShareAll, OPEN_EXISTING);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);  // a lets others read, reader lets a write
  EXPECT_EQ(Open("c:\\shared", GENERIC_WRITE, kShareAll, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(Open("c:\\shared", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING),
            INVALID_HANDLE_VALUE);  // would deny a's writing
  EXPECT_EQ(Open("c:\\shared", kRW, kShareAll, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(DeleteFileA("c:\\shared"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  DWORD n;
  ASSERT_TRUE(WriteFile(a, "keep", 4, &n, nullptr));  // the refused CREATE_ALWAYS truncated nothing
  CloseHandle(reader);
  CloseHandle(a);
  EXPECT_EQ(kvtest::ReadFile(home / "drive_c/shared"), "keep");
  EXPECT_TRUE(DeleteFileA("c:\\shared"));

  HANDLE t = Open("c:\\temp.tmp", kRW, kShareAll, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE);
  ASSERT_NE(t, INVALID_HANDLE_VALUE);
  EXPECT_NE(GetFileAttributesA("c:\\temp.tmp"), INVALID_FILE_ATTRIBUTES);
  CloseHandle(t);
  EXPECT_EQ(GetFileAttributesA("c:\\temp.tmp"), INVALID_FILE_ATTRIBUTES);
}

TEST(BaseFiles, DeleteMoveCopyAndAttributes) {
  kvtest::TempHome home;
  kvtest::WriteFile(home / "drive_c/a.txt", "A");
  kvtest::WriteFile(home / "drive_c/b.txt", "B");
  EXPECT_FALSE(MoveFileA("c:\\a.txt", "c:\\b.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  ASSERT_TRUE(MoveFileExA("c:\\a.txt", "c:\\b.txt", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(kvtest::ReadFile(home / "drive_c/b.txt"), "A");
  EXPECT_EQ(GetFileAttributesA("c:\\a.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesA("c:\\nodir\\a.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(MoveFileExA("c:\\b.txt", nullptr, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));

  ASSERT_TRUE(CopyFileA("c:\\b.txt", "c:\\c.txt", TRUE));
  EXPECT_FALSE(CopyFileA("c:\\b.txt", "c:\\c.txt", TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  kvtest::WriteFile(home / "drive_c/b.txt", "BB");
  ASSERT_TRUE(CopyFileW(u"c:\\b.txt", u"c:\\c.txt", FALSE));
  EXPECT_EQ(kvtest::ReadFile(home / "drive_c/c.txt"), "BB");
  EXPECT_FALSE(CopyFileA("c:\\none", "c:\\d.txt", FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  EXPECT_EQ(GetFileAttributesA("c:\\c.txt") & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_TRUE(DeleteFileA("c:\\c.txt"));
  EXPECT_FALSE(DeleteFileA("c:\\c.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  ASSERT_TRUE(CreateDirectoryA("c:\\dir", nullptr));
  EXPECT_FALSE(CreateDirectoryA("c:\\dir", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(CreateDirectoryA("c:\\x\\y", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_NE(GetFileAttributesA("c:\\dir") & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_FALSE(DeleteFileA("c:\\dir"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  kvtest::WriteFile(home / "drive_c/dir/f", "x");
  EXPECT_FALSE(RemoveDirectoryA("c:\\dir"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
  EXPECT_TRUE(DeleteFileW(u"c:\\dir\\f"));
  EXPECT_TRUE(RemoveDirectoryW(u"c:\\dir"));
}

TEST(BaseFiles, FindFirstNextClose) {
  kvtest::TempHome home;
  for (const char* n : {"Alpha.TXT", "beta.txt", "gamma.ini", "delta.txt.bak"})
    kvtest::WriteFile(home / (std::string("drive_c/f/") + n), "12345");
  std::set<std::string> found;
  WIN32_FIND_DATAA d;
  HANDLE h = FindFirstFileA("c:\\f\\*.txt", &d);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  do {
    found.insert(d.cFileName);
    EXPECT_EQ(d.nFileSizeLow, 5u);
  } while (FindNextFileA(h, &d));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_TRUE(FindClose(h));
  EXPECT_EQ(found, (std::set<std::string>{"Alpha.TXT", "beta.txt"}));

  h = FindFirstFileA("c:\\f\\*.*", &d);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  std::vector<std::string> all{d.cFileName};
  while (FindNextFileA(h, &d)) all.push_back(d.cFileName);
  FindClose(h);
  EXPECT_EQ(all, (std::vector<std::string>{".", "..", "Alpha.TXT", "beta.txt", "delta.txt.bak", "gamma.ini"}));

  WIN32_FIND_DATAW w;
  h = FindFirstFileW(u"c:\\f\\G?MMA.INI", &w);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(std::u16string(w.cFileName), u"gamma.ini");
  FindClose(h);

  EXPECT_EQ(FindFirstFileA("c:\\f\\*.doc", &d), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(FindFirstFileA("c:\\nowhere\\*", &d), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST(BaseFiles, OverlappedFileIoCompletesAtOnce) {
  kvtest::TempHome home;
  kvtest::WriteFile(home / "drive_c/ov.bin", "0123456789");
  HANDLE h = Open("c:\\ov.bin", kRW, 0, OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  HANDLE ev = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  OVERLAPPED ov{};
  ov.Offset = 4;
  ov.hEvent = ev;
  char buf[4];
  ASSERT_TRUE(ReadFile(h, buf, 3, nullptr, &ov));
  EXPECT_EQ(WaitForSingleObject(ev, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD n = 0;
  ASSERT_TRUE(GetOverlappedResult(h, &ov, &n, FALSE));
  EXPECT_EQ(std::string(buf, n), "456");

  ov = OVERLAPPED{};
  ov.Offset = 10;
  ov.hEvent = ev;
  EXPECT_FALSE(ReadFile(h, buf, 3, nullptr, &ov));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_HANDLE_EOF));
  EXPECT_FALSE(GetOverlappedResult(h, &ov, &n, TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_HANDLE_EOF));

  ov = OVERLAPPED{};
  ov.Offset = 0xFFFFFFFF;
  ov.OffsetHigh = 0xFFFFFFFF;  // append
  ASSERT_TRUE(WriteFile(h, "AB", 2, nullptr, &ov));
  CloseHandle(h);
  CloseHandle(ev);
  EXPECT_EQ(kvtest::ReadFile(home / "drive_c/ov.bin"), "0123456789AB");
}

// A device whose reads finish later on a worker thread, as a USB or parallel port does.
class SlowDevice final : public kv::KObject {
 public:
  ~SlowDevice() override {
    if (worker_.joinable()) worker_.join();
  }
  kv::KObjectKind Kind() const override { return kv::KObjectKind::kDevice; }
  BOOL Read(void* buffer, DWORD size, DWORD* done, OVERLAPPED* ov) override {
    *done = 0;
    if (!ov) {
      std::memset(buffer, 'S', size);
      *done = size;
      return TRUE;
    }
    kv::OverlappedBegin(ov);
    if (worker_.joinable()) worker_.join();
    worker_ = std::thread([this, buffer, size, ov] {
      std::unique_lock<std::mutex> lk(lock_);
      cv_.wait(lk, [&] { return release_ || cancelled_; });
      if (cancelled_) {
        kv::OverlappedComplete(ov, ERROR_OPERATION_ABORTED, 0);
      } else {
        std::memset(buffer, 'D', size);
        kv::OverlappedComplete(ov, 0, size);
      }
    });
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
  }
  BOOL IoControl(DWORD code, void*, DWORD, void* out, DWORD out_size, DWORD* returned, OVERLAPPED*) override {
    if (code != 0x220034 || out_size < 2) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    std::memcpy(out, "ID", 2);
    *returned = 2;
    return TRUE;
  }
  BOOL Cancel() override {
    std::lock_guard<std::mutex> lk(lock_);
    cancelled_ = true;
    cv_.notify_all();
    return TRUE;
  }
  void Finish() {
    std::lock_guard<std::mutex> lk(lock_);
    release_ = true;
    cv_.notify_all();
  }
  void Rearm() {
    std::lock_guard<std::mutex> lk(lock_);
    release_ = cancelled_ = false;
  }

 private:
  std::mutex lock_;
  std::condition_variable cv_;
  bool release_ = false;
  bool cancelled_ = false;
  std::thread worker_;
};

SlowDevice* g_device = nullptr;

kv::KObject* OpenSlowDevice(const char* name, DWORD, DWORD, DWORD) {
  if (std::strcmp(name, "\\\\.\\KvSlow") != 0) return nullptr;  // last error: not found
  g_device->AddRef();
  return g_device;
}

TEST(BaseDevices, OverlappedOperationsCompleteLater) {
  g_device = new SlowDevice;
  kv::KRef<SlowDevice> keep(g_device);
  KvRegisterDeviceOpener(OpenSlowDevice);
  EXPECT_EQ(Open("\\\\.\\KvOther", kRW, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  HANDLE h = Open("\\\\.\\KvSlow", kRW, 0, OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);

  HANDLE ev = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  OVERLAPPED ov{};
  ov.hEvent = ev;
  char buf[4] = {};
  EXPECT_FALSE(ReadFile(h, buf, 4, nullptr, &ov));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
  EXPECT_FALSE(HasOverlappedIoCompleted(&ov));
  EXPECT_EQ(WaitForSingleObject(ev, 0), static_cast<DWORD>(WAIT_TIMEOUT));  // reset at the start
  DWORD n = 0;
  EXPECT_FALSE(GetOverlappedResult(h, &ov, &n, FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE));
  g_device->Finish();
  ASSERT_TRUE(GetOverlappedResult(h, &ov, &n, TRUE));
  EXPECT_EQ(std::string(buf, n), "DDDD");
  EXPECT_EQ(WaitForSingleObject(ev, 0), static_cast<DWORD>(WAIT_OBJECT_0));

  g_device->Rearm();
  ov = OVERLAPPED{};  // no event: the wait is on the operation itself
  EXPECT_FALSE(ReadFile(h, buf, 4, nullptr, &ov));
  EXPECT_TRUE(CancelIo(h));
  EXPECT_FALSE(GetOverlappedResult(h, &ov, &n, TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));

  char id[8];
  ASSERT_TRUE(DeviceIoControl(h, 0x220034, nullptr, 0, id, sizeof id, &n, nullptr));
  EXPECT_EQ(std::string(id, n), "ID");
  ASSERT_TRUE(ReadFile(h, buf, 2, &n, nullptr));
  EXPECT_EQ(std::string(buf, n), "SS");
  EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  CloseHandle(h);
  CloseHandle(ev);
}

TEST(BaseFiles, NonFileHandlesRefuseIo) {
  HANDLE ev = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  char buf[1];
  DWORD n;
  EXPECT_FALSE(ReadFile(ev, buf, 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(WriteFile(reinterpret_cast<HANDLE>(0x12340), buf, 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  CloseHandle(ev);
}

TEST(BaseAtomicWrite, ReplacesWholeFiles) {
  kvtest::TempHome home;
  std::string path = home / "state.dat";
  ASSERT_TRUE(KvWriteFileAtomic(path.c_str(), "first", 5));
  ASSERT_TRUE(KvWriteFileAtomic(path.c_str(), "second!", 7));
  EXPECT_EQ(kvtest::ReadFile(path), "second!");
  ASSERT_TRUE(KvWriteFileAtomic(path.c_str(), nullptr, 0));
  EXPECT_EQ(kvtest::ReadFile(path), "");
  EXPECT_FALSE(KvWriteFileAtomic((home / "missing/x").c_str(), "x", 1));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(KvWriteFileAtomic(nullptr, "x", 1));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// A file written in pieces (small ones gathered, one larger than a block) appears whole at
// the commit and not before; an aborted one leaves the old file and nothing beside it.
TEST(BaseAtomicWrite, StreamedFilesAppearWholeAtTheCommit) {
  kvtest::TempHome home;
  std::string path = home / "doc.pdf";
  ASSERT_TRUE(KvWriteFileAtomic(path.c_str(), "old", 3));
  std::string big(200 * 1024, 'b'), want;
  KvAtomicFile* f = KvAtomicFileOpen(path.c_str());
  ASSERT_NE(f, nullptr);
  for (int i = 0; i < 1000; ++i) {
    ASSERT_TRUE(KvAtomicFileWrite(f, "0123456789", 10));
    want += "0123456789";
  }
  ASSERT_TRUE(KvAtomicFileWrite(f, big.data(), big.size()));
  ASSERT_TRUE(KvAtomicFileWrite(f, "end", 3));
  want += big + "end";
  EXPECT_EQ(kvtest::ReadFile(path), "old");
  ASSERT_TRUE(KvAtomicFileCommit(f));
  EXPECT_EQ(kvtest::ReadFile(path), want);

  f = KvAtomicFileOpen(path.c_str());
  ASSERT_NE(f, nullptr);
  ASSERT_TRUE(KvAtomicFileWrite(f, big.data(), big.size()));
  KvAtomicFileAbort(f);
  EXPECT_EQ(kvtest::ReadFile(path), want);
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(home.path())) files += e.is_regular_file();
  EXPECT_EQ(files, 1);
  EXPECT_EQ(KvAtomicFileOpen((home / "missing/x").c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST(BaseAtomicWrite, AKilledWriterLeavesOneWholeVersion) {
  kvtest::TempHome home;
  std::string path = home / "big.dat";
  for (int round = 0; round < 3; ++round) {
    kvtest::ChildProcess writer({"atomic-writer", path});
    // Let it finish a few versions, then kill it somewhere inside the next one.
    ASSERT_EQ(writer.Read(3 + round), std::string(3 + round, 'w'));
    writer.Kill();
    std::string content = kvtest::ReadFile(path);
    ASSERT_GE(content.size(), 1u << 20);
    EXPECT_EQ((content.size() - (1u << 20)) % 4096, 0u);
    EXPECT_EQ(content.find_first_not_of(content[0]), std::string::npos) << "torn file";
  }
  // The next writer removes what the killed ones left behind.
  ASSERT_TRUE(KvWriteFileAtomic(path.c_str(), "done", 4));
  for (const auto& e : std::filesystem::directory_iterator(home.path()))
    EXPECT_EQ(e.path().filename().string().find("big.dat."), std::string::npos) << e.path();
}

}  // namespace
