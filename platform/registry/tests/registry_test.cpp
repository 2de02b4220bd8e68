#include "platform/registry/registry.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "testsupport/temp_home.h"

extern char** environ;

namespace {

class Registry : public ::testing::Test {
 protected:
  void SetUp() override { KvRegistryReload(); }
  void TearDown() override { KvRegistryReload(); }

  HKEY Create(HKEY root, const char* path) {
    HKEY k = nullptr;
    EXPECT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr), ERROR_SUCCESS);
    return k;
  }
  static void SetString(HKEY k, const char* name, const std::string& v) {
    ASSERT_EQ(
        RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(v.c_str()), static_cast<DWORD>(v.size() + 1)),
        ERROR_SUCCESS);
  }
  static void SetDword(HKEY k, const char* name, DWORD v) {
    ASSERT_EQ(RegSetValueExA(k, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4), ERROR_SUCCESS);
  }
  static std::string GetString(HKEY k, const char* name) {
    DWORD size = 0, type = 0;
    if (RegQueryValueExA(k, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return "<missing>";
    std::string buf(size, '\0');
    if (RegQueryValueExA(k, name, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size) != ERROR_SUCCESS)
      return "<missing>";
    buf.resize(size ? size - 1 : 0);
    return buf;
  }
  static DWORD GetDword(HKEY k, const char* name) {
    DWORD v = 0, size = 4, type = 0;
    EXPECT_EQ(RegQueryValueExA(k, name, nullptr, &type, reinterpret_cast<BYTE*>(&v), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    return v;
  }

  // Runs this test binary again as another process, with one child test selected.
  static int RunChild(const char* test, const std::string& arg, pid_t* pid_out = nullptr, int* pipe_out = nullptr) {
    std::string filter = std::string("--gtest_filter=RegistryChild.") + test;
    setenv("KV_REGISTRY_CHILD", arg.c_str(), 1);
    int fds[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (pipe_out) {
      if (pipe(fds) != 0) return -1;
      posix_spawn_file_actions_addclose(&actions, fds[0]);  // may be 3 itself
      posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    }
    char* argv[] = {const_cast<char*>("platform_registry_tests"), filter.data(), nullptr};
    pid_t pid;
    int rc = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    unsetenv("KV_REGISTRY_CHILD");
    if (rc != 0) return -1;
    if (pipe_out) {
      close(fds[1]);
      *pipe_out = fds[0];
    }
    if (pid_out) {
      *pid_out = pid;
      return 0;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  kvtest::TempHome home_;
};

TEST_F(Registry, ValuesOfEveryTypeRoundTripThroughTheFile) {
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\Test");
  const BYTE bin[] = {0, 1, 0xFE, 0xFF};
  const char16_t multi[] = u"one\0two\0";
  const char16_t odd[] = u"no terminator";
  const char16_t quoted[] = u"a \"q\" \\ back\nline\ttab \u4E2D\U0001F600";
  const char16_t lone[] = {u'x', 0xD800, u'y', 0};
  struct Case {
    const char16_t* name;
    DWORD type;
    std::vector<BYTE> data;
  };
  auto bytes = [](const void* p, size_t n) {
    auto b = static_cast<const BYTE*>(p);
    return std::vector<BYTE>(b, b + n);
  };
  DWORD dword = 0x12345678;
  ULONGLONG qword = 0x1122334455667788ull;
  std::vector<Case> cases = {
      {u"", REG_SZ, bytes(u"default", 16)},
      {u"Binary", REG_BINARY, bytes(bin, sizeof bin)},
      {u"Empty binary", REG_BINARY, {}},
      {u"Dword", REG_DWORD, bytes(&dword, 4)},
      {u"Short dword", REG_DWORD, bytes(&dword, 3)},
      {u"Qword", REG_QWORD, bytes(&qword, 8)},
      {u"Multi", REG_MULTI_SZ, bytes(multi, sizeof multi)},
      {u"Multi with empty item", REG_MULTI_SZ, bytes(u"a\0\0b\0\0", 14)},
      {u"Expand", REG_EXPAND_SZ, bytes(u"%HOME%\\x", 18)},
      {u"Unterminated", REG_SZ, bytes(odd, sizeof odd - 2)},
      {u"Odd size", REG_SZ, bytes(u"ab", 3)},
      {u"Inner nul", REG_SZ, bytes(u"a\0b", 8)},
      {u"Quoted \"name\" with = and \\", REG_SZ, bytes(quoted, sizeof quoted)},
      {u"Lone surrogate", REG_SZ, bytes(lone, sizeof lone)},
      {u"Own type", 0x1234, bytes(bin, 2)},
  };
  for (const auto& c : cases)
    ASSERT_EQ(RegSetValueExW(k, c.name, 0, c.type, c.data.data(), static_cast<DWORD>(c.data.size())), ERROR_SUCCESS);
  std::string before = kv::RegistryDump();
  RegCloseKey(k);
  KvRegistryReload();
  EXPECT_EQ(kv::RegistryDump(), before);
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"software\\TEST", 0, KEY_READ, &k), ERROR_SUCCESS);
  for (DWORD i = 0; i < cases.size(); ++i) {
    char16_t name[256];
    DWORD name_len = 256, type = 0, size = 256;
    BYTE data[256];
    ASSERT_EQ(RegEnumValueW(k, i, name, &name_len, nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name, name_len), cases[i].name);
    EXPECT_EQ(type, cases[i].type) << i;
    EXPECT_EQ(std::vector<BYTE>(data, data + size), cases[i].data) << i;
  }
  RegCloseKey(k);
}

TEST_F(Registry, FileIsReadableText) {
  HKEY k = Create(HKEY_CLASSES_ROOT, "CLSID\\{4EAAA8DD-B1DF-4F47-9203-CB9296507DB3}\\InprocServer32");
  SetString(k, nullptr, "/opt/app/Zorbel.ocx");
  SetString(k, "ThreadingModel", "Apartment");
  SetDword(k, "Count", 10);
  RegCloseKey(k);
  RegCloseKey(Create(HKEY_CURRENT_USER, "Empty\\100%[x]"));
  std::string text = kvtest::ReadFile(home_ / "registry.txt");
  EXPECT_NE(text.find("[HKEY_CLASSES_ROOT\\CLSID\\{4EAAA8DD-B1DF-4F47-9203-CB9296507DB3}\\InprocServer32]\n"
                      "@=\"/opt/app/Zorbel.ocx\"\n"
                      "\"ThreadingModel\"=\"Apartment\"\n"
                      "\"Count\"=dword:0000000a\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Empty\\100%25%5Bx%5D]\n"), std::string::npos) << text;
  EXPECT_EQ(text, kv::RegistryDump());
  KvRegistryReload();
  HKEY e;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Empty\\100%[x]", 0, KEY_READ, &e), ERROR_SUCCESS);
  RegCloseKey(e);
}

TEST_F(Registry, ErrorCodes) {
  HKEY k = Create(HKEY_CURRENT_USER, "A\\B");
  HKEY out = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "A\\Missing", 0, KEY_READ, &out), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "\\A", 0, KEY_READ, &out), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "A\\\\B", 0, KEY_READ, &out), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, std::string(256, 'x').c_str(), 0, KEY_READ, &out),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExA(k, "nothing", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExA(k, nullptr, nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueA(k, "nothing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "A"), ERROR_ACCESS_DENIED);  // has a sub-key
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Nothing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegSetValueExA(reinterpret_cast<HKEY>(0x7777), "x", 0, REG_SZ, nullptr, 0), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(0x7777)), ERROR_INVALID_HANDLE);

  // Buffers: too small gives the size needed.
  SetString(k, "v", "hello");
  char buf[4];
  DWORD size = sizeof buf;
  EXPECT_EQ(RegQueryValueExA(k, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 6u);
  size = 0;
  EXPECT_EQ(RegQueryValueExA(k, "v", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 6u);
  char name[2];
  DWORD name_len = sizeof name;
  EXPECT_EQ(RegEnumValueA(k, 0, name, &name_len, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  name_len = 1;
  EXPECT_EQ(RegEnumValueA(k, 0, name, &name_len, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  name_len = sizeof name;
  EXPECT_EQ(RegEnumValueA(k, 1, name, &name_len, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(RegEnumKeyA(k, 0, name, sizeof name), ERROR_NO_MORE_ITEMS);

  // Access: a key opened for reading refuses changes.
  HKEY ro;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "A\\B", 0, KEY_READ, &ro), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(ro, "w", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(ro, "v"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCreateKeyExA(ro, "C", 0, nullptr, 0, KEY_READ, nullptr, &out, nullptr), ERROR_ACCESS_DENIED);
  EXPECT_EQ(GetString(ro, "v"), "hello");

  // A handle whose key is deleted fails from then on.
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "A\\B"), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(ro, "v", nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
  EXPECT_EQ(RegSetValueExA(k, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(ro), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(k), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
}

TEST_F(Registry, NamesIgnoreCaseKeepTheirCaseAndEnumerateInOrder) {
  HKEY k = Create(HKEY_LOCAL_MACHINE, "Order");
  for (const char* sub : {"beta", "Alpha", "gamma", "ALPHA\\inner"}) RegCloseKey(Create(k, sub));
  SetString(k, "Zeta", "1");
  SetString(k, "alpha", "2");
  SetString(k, "ZETA", "3");  // same value as "Zeta"
  std::vector<std::string> keys, values;
  char name[64];
  for (DWORD i = 0; RegEnumKeyA(k, i, name, sizeof name) == ERROR_SUCCESS; ++i) keys.push_back(name);
  for (DWORD i = 0;; ++i) {
    DWORD len = sizeof name;
    if (RegEnumValueA(k, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    values.push_back(name);
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"Alpha", "beta", "gamma"}));
  EXPECT_EQ(values, (std::vector<std::string>{"Zeta", "alpha"}));
  EXPECT_EQ(GetString(k, "zeta"), "3");
  DWORD sub_keys = 0, values_n = 0, max_name = 0, max_value_name = 0, max_value = 0;
  EXPECT_EQ(RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, &sub_keys, &max_name, nullptr, &values_n, &max_value_name,
                             &max_value, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(sub_keys, 3u);
  EXPECT_EQ(max_name, 5u);
  EXPECT_EQ(values_n, 2u);
  EXPECT_EQ(max_value_name, 5u);
  EXPECT_EQ(max_value, 2u);
  HKEY again;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "ORDER\\alpha", 0, nullptr, 0, KEY_READ, nullptr, &again, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  RegCloseKey(again);
  RegCloseKey(k);
}

TEST_F(Registry, AnsiFormsConvertNamesAndStringData) {
  std::string ansi = kv::Utf8ToAnsi("中文键");
  std::string text = kv::Utf8ToAnsi("发票打印");
  HKEY k = Create(HKEY_CURRENT_USER, ansi.c_str());
  SetString(k, ansi.c_str(), text);
  char16_t buf[32];
  DWORD size = sizeof buf, type = 0;
  ASSERT_EQ(RegQueryValueExW(k, u"中文键", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(buf, size / 2), std::u16string(u"发票打印") + u'\0');
  EXPECT_EQ(GetString(k, ansi.c_str()), text);
  // Binary data passes unconverted.
  const BYTE raw[] = {0xD6, 0xD0};
  ASSERT_EQ(RegSetValueExA(k, "raw", 0, REG_BINARY, raw, 2), ERROR_SUCCESS);
  size = sizeof buf;
  ASSERT_EQ(RegQueryValueExW(k, u"raw", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 2u);
  RegCloseKey(k);
  HKEY user;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"中文键", 0, KEY_READ, &user), ERROR_SUCCESS);
  RegCloseKey(user);
}

TEST_F(Registry, DeleteTreeAndOldStyleFunctions) {
  HKEY k = Create(HKEY_CLASSES_ROOT, "Zorbel.Dravik\\CLSID");
  RegCloseKey(k);
  ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, "Zorbel.Dravik\\CLSID", REG_SZ, "{X}", 3), ERROR_SUCCESS);
  char buf[16];
  LONG size = sizeof buf;
  ASSERT_EQ(RegQueryValueA(HKEY_CLASSES_ROOT, "Zorbel.Dravik\\CLSID", buf, &size), ERROR_SUCCESS);
  EXPECT_STREQ(buf, "{X}");
  size = sizeof buf;
  ASSERT_EQ(RegQueryValueA(HKEY_CLASSES_ROOT, "Zorbel.Dravik", buf, &size), ERROR_SUCCESS);
  EXPECT_STREQ(buf, "");  // no default value: empty text
  HKEY open;
  ASSERT_EQ(RegOpenKeyA(HKEY_CLASSES_ROOT, "Zorbel.Dravik\\CLSID", &open), ERROR_SUCCESS);
  EXPECT_EQ(SHDeleteKeyA(HKEY_CLASSES_ROOT, "zorbel.dravik"), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(RegOpenKeyA(HKEY_CLASSES_ROOT, "Zorbel.Dravik", &k), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExA(open, nullptr, nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
  RegCloseKey(open);

  k = Create(HKEY_CURRENT_USER, "Tree");
  RegCloseKey(Create(k, "x\\y"));
  SetString(k, "v", "1");
  EXPECT_EQ(RegDeleteTreeA(k, nullptr), ERROR_SUCCESS);  // empties, keeps the key
  EXPECT_EQ(RegEnumKeyA(k, 0, buf, sizeof buf), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(GetString(k, "v"), "<missing>");
  RegCloseKey(k);
  EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Tree", &k), ERROR_SUCCESS);
  RegCloseKey(k);
}

TEST_F(Registry, AHandleSurvivesAReload) {
  HKEY k = Create(HKEY_CURRENT_USER, "Keep\\Me");
  SetString(k, "v", "1");
  KvRegistryReload();
  EXPECT_EQ(GetString(k, "v"), "1");
  SetString(k, "w", "2");
  RegCloseKey(k);
  KvRegistryReload();
  ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Keep\\Me", &k), ERROR_SUCCESS);
  EXPECT_EQ(GetString(k, "w"), "2");
  RegCloseKey(k);
}

TEST_F(Registry, SurvivesARestartAndSeesOtherProcesses) {
  HKEY k = Create(HKEY_CURRENT_USER, "Shared");
  SetString(k, "parent", "before");
  ASSERT_EQ(RunChild("Writer", "once"), 0);
  // The other process's change is picked up without any reload.
  EXPECT_EQ(GetString(k, "child"), "written by child");
  EXPECT_EQ(GetString(k, "parent"), "before");
  // The child read what this process wrote, and a fresh start reads both.
  KvRegistryReload();
  EXPECT_EQ(GetString(k, "child saw"), "before");
  RegCloseKey(k);
}

TEST_F(Registry, AProcessKilledWhileWritingLeavesAReadableRegistry) {
  for (int round = 1; round <= 4; ++round) {
    pid_t pid = -1;
    int progress = -1;
    ASSERT_EQ(RunChild("Writer", "loop", &pid, &progress), 0);
    // Let the child get a number of writes done (more each round), then kill it.
    char c;
    for (int i = 0; i < round * 7; ++i) ASSERT_EQ(read(progress, &c, 1), 1);
    kill(pid, SIGKILL);
    int status;
    waitpid(pid, &status, 0);
    close(progress);
    KvRegistryReload();
    HKEY k;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Loop", 0, KEY_READ, &k), ERROR_SUCCESS);
    DWORD n = GetDword(k, "n");
    EXPECT_GE(n, static_cast<DWORD>(round * 7));
    // The file holds a whole state: the blob of write n, or of write n + 1 when the
    // child was killed between its two changes.
    std::string blob = GetString(k, "blob");
    auto expected = [](DWORD m) { return std::string(1000 + m % 100, static_cast<char>('a' + m % 26)); };
    EXPECT_TRUE(blob == expected(n) || blob == expected(n + 1)) << n;
    RegCloseKey(k);
  }
}

TEST_F(Registry, AnUnreadableFileIsReportedAndLeftAlone) {
  const std::string torn = "KORVANE REGISTRY 1\n\n[HKEY_CURRENT_USER\\Software]\n\"v\"=\"half";
  kvtest::WriteFile(home_ / "registry.txt", torn);
  kvtest::WriteFile(home_ / "registry.txt.tmp.999", "garbage");
  KvRegistryReload();
  HKEY k;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &k), ERROR_REGISTRY_CORRUPT);
  EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "New", &k), ERROR_REGISTRY_CORRUPT);
  EXPECT_EQ(kvtest::ReadFile(home_ / "registry.txt"), torn);
  // Once the file is mended the registry reads it again; stray temporary files don't matter.
  kvtest::WriteFile(home_ / "registry.txt", "KORVANE REGISTRY 1\n\n[HKEY_CURRENT_USER\\Software]\n\"v\"=\"whole\"\n");
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &k), ERROR_SUCCESS);
  EXPECT_EQ(GetString(k, "v"), "whole");
  RegCloseKey(k);
}

// Files written by this process may grow to `bytes` at most while it lives; a write past
// that fails (EFBIG) instead of raising SIGXFSZ.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    old_handler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit small = old_;
    small.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &small);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit old_{};
  sighandler_t old_handler_ = SIG_DFL;
};

TEST_F(Registry, AFailedWriteChangesNothing) {
  HKEY k = Create(HKEY_CURRENT_USER, "Kept");
  SetString(k, "old", "1");
  struct stat st;
  ASSERT_EQ(stat((home_ / "registry.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u) << "the file is its owner's only";
  {
    FileSizeLimit limit(8);  // the new file cannot be written whole
    const char v[] = "2";
    EXPECT_EQ(RegSetValueExA(k, "new", 0, REG_SZ, reinterpret_cast<const BYTE*>(v), 2), ERROR_CANTWRITE);
    HKEY sub;
    EXPECT_EQ(RegCreateKeyA(k, "Sub", &sub), ERROR_CANTWRITE);
  }
  HKEY sub;
  EXPECT_EQ(GetString(k, "new"), "<missing>");
  EXPECT_EQ(RegOpenKeyA(k, "Sub", &sub), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(GetString(k, "old"), "1");
  for (const auto& e : std::filesystem::directory_iterator(home_.path()))
    EXPECT_EQ(e.path().filename().string().find("registry.txt."), std::string::npos) << e.path();
  SetString(k, "new", "3");
  KvRegistryReload();
  EXPECT_EQ(GetString(k, "new"), "3");
  RegCloseKey(k);
}

TEST_F(Registry, ParserRejectsMalformedLines) {
  const char* bad[] = {
      "not a registry\n",
      "KORVANE REGISTRY 1\n\"v\"=\"outside\"\n",
      "KORVANE REGISTRY 1\n[HKEY_NOWHERE\\x]\n",
      "KORVANE REGISTRY 1\n[HKEY_CURRENT_USER\\x]\n\"v\"=dword:123\n",
      "KORVANE REGISTRY 1\n[HKEY_CURRENT_USER\\x]\n\"v\"=hex:0g\n",
      "KORVANE REGISTRY 1\n[HKEY_CURRENT_USER\\x]\n\"v\"=\"a\\q\"\n",
      "KORVANE REGISTRY 1\n[HKEY_CURRENT_USER\\x]\n\"v\"=\"1\"\n\"V\"=\"2\"\n",
      "KORVANE REGISTRY 1\n[HKEY_CURRENT_USER\\x\\\\y]\n",
      "KORVANE REGISTRY 1\n[HKEY_CURRENT_USER\\x]\n\"v\"=\"\xff\"\n",
      // A name holding the separator, which no key can have.
      "KORVANE REGISTRY 1\n[HKEY_CURRENT_USER\\x%5Cy]\n",
      "KORVANE REGISTRY 1\n[HKEY_CURRENT_USER\\x%u005Cy]\n",
  };
  for (const char* text : bad) {
    kvtest::WriteFile(home_ / "registry.txt", text);
    KvRegistryReload();
    HKEY k;
    EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "x", &k), ERROR_REGISTRY_CORRUPT) << text;
  }
  // Keys nest 512 levels at most, in the file as through the functions.
  auto path = [](int levels) {
    std::string p = "x";
    for (int i = 1; i < levels; ++i) p += "\\x";
    return p;
  };
  kvtest::WriteFile(home_ / "registry.txt", "KORVANE REGISTRY 1\n[HKEY_CURRENT_USER\\" + path(513) + "]\n");
  KvRegistryReload();
  HKEY k;
  EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "x", &k), ERROR_REGISTRY_CORRUPT);
  kvtest::WriteFile(home_ / "registry.txt", "KORVANE REGISTRY 1\n[HKEY_CURRENT_USER\\" + path(512) + "]\n");
  KvRegistryReload();
  ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, path(511).c_str(), &k), ERROR_SUCCESS);
  HKEY deeper;
  EXPECT_EQ(RegCreateKeyA(k, "x\\y", &deeper), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCreateKeyA(k, "y", &deeper), ERROR_SUCCESS);
  RegCloseKey(deeper);
  RegCloseKey(k);
  KvRegistryReload();
  EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, (path(511) + "\\y").c_str(), &k), ERROR_SUCCESS);
  RegCloseKey(k);
}

TEST_F(Registry, AHomeThatCannotBeMadeIsReported) {
  // $KORVANE_HOME below a plain file: nothing is read or written anywhere else.
  kvtest::WriteFile(home_ / "file", "");
  setenv("KORVANE_HOME", (home_ / "file/home").c_str(), 1);
  KvRegistryReload();
  HKEY k;
  EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software", &k), ERROR_REGISTRY_IO_FAILED);
  EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Software", &k), ERROR_REGISTRY_IO_FAILED);
  EXPECT_EQ(kv::RegistryDump(), "");
  setenv("KORVANE_HOME", home_.path().c_str(), 1);
  KvRegistryReload();
  EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software", &k), ERROR_SUCCESS);
  RegCloseKey(k);
}

// Helpers run as a separate process by the tests above.
TEST(RegistryChild, Writer) {
  const char* mode = getenv("KV_REGISTRY_CHILD");
  if (!mode) GTEST_SKIP() << "runs only as a child process";
  HKEY k;
  if (std::string(mode) == "once") {
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Shared", &k), ERROR_SUCCESS);
    char buf[64];
    DWORD size = sizeof buf;
    ASSERT_EQ(RegQueryValueExA(k, "parent", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(k, "child saw", 0, REG_SZ, reinterpret_cast<BYTE*>(buf), size), ERROR_SUCCESS);
    const char text[] = "written by child";
    ASSERT_EQ(RegSetValueExA(k, "child", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text), ERROR_SUCCESS);
    RegCloseKey(k);
    return;
  }
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Loop", &k), ERROR_SUCCESS);
  for (DWORD n = 1;; ++n) {
    std::string blob(1000 + n % 100, static_cast<char>('a' + n % 26));
    ASSERT_EQ(RegSetValueExA(k, "blob", 0, REG_SZ, reinterpret_cast<const BYTE*>(blob.c_str()),
                             static_cast<DWORD>(blob.size() + 1)),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(k, "n", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&n), 4), ERROR_SUCCESS);
    if (write(3, "x", 1) != 1) return;
  }
}

}  // namespace
