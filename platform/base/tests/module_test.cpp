#include "platform/base/module.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/base/error.h"
#include "platform/base/system.h"
#include "testsupport/temp_home.h"

namespace {

using ProbeFn = const char* (*)();
using CallerFn = HMODULE (*)(const char*);

std::string Bin() { return KvProgramDirectory(); }

std::string Where(HMODULE m) {
  auto fn = kv::ProcAddress<ProbeFn>(m, "ProbeWhere");
  return fn ? fn() : "(none)";
}

std::string FileOf(HMODULE m) {
  char buf[4096];
  DWORD n = GetModuleFileNameA(m, buf, sizeof buf);
  return std::string(buf, n);
}

TEST(BaseModules, BareNamesSearchTheCallersFolderFirst) {
  kvtest::TempHome home;
  // The executable's folder has a KvProbe.dll ("exe"); the caller module's folder has
  // another one ("caller").
  HMODULE caller = LoadLibraryA((Bin() + "base_probe/KvCaller.dll").c_str());
  ASSERT_NE(caller, nullptr) << GetLastError();
  auto load = kv::ProcAddress<CallerFn>(caller, "CallerLoad");
  ASSERT_NE(load, nullptr);

  HMODULE from_caller = load("KvProbe.dll");
  ASSERT_NE(from_caller, nullptr);
  EXPECT_EQ(Where(from_caller), "caller");
  EXPECT_EQ(FileOf(from_caller), Bin() + "base_probe/KvProbe.dll");

  HMODULE from_exe = LoadLibraryA("kvprobe");  // any letter case, ".dll" implied
  ASSERT_NE(from_exe, nullptr);
  EXPECT_EQ(Where(from_exe), "exe");
  EXPECT_EQ(FileOf(from_exe), Bin() + "KvProbe.dll");
  EXPECT_NE(from_exe, from_caller);

  // The system folder comes after both.
  std::filesystem::copy_file(Bin() + "base_probe/KvProbe.dll", home.system_dir() + "/KvSysProbe.dll");
  HMODULE from_system = LoadLibraryA("KVSYSPROBE.DLL");
  ASSERT_NE(from_system, nullptr);
  EXPECT_EQ(FileOf(from_system), home.system_dir() + "/KvSysProbe.dll");

  EXPECT_TRUE(FreeLibrary(from_system));
  EXPECT_TRUE(FreeLibrary(from_exe));
  EXPECT_TRUE(FreeLibrary(from_caller));
  EXPECT_TRUE(FreeLibrary(caller));
}

TEST(BaseModules, PathsAreMappedAndErrorsReported) {
  kvtest::TempHome home;
  std::filesystem::create_directories(home / "drive_c/app");
  std::filesystem::copy_file(Bin() + "KvProbe.dll", home / "drive_c/app/KvProbe.dll");
  HMODULE m = LoadLibraryExA("C:\\app\\kvprobe.DLL", nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(Where(m), "exe");

  SetLastError(0);
  EXPECT_EQ(GetProcAddress(m, "NoSuchFunction"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(GetProcAddress(m, "malloc"), nullptr);  // a dependency's symbol is not an export
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(KvModuleOfAddress(reinterpret_cast<void*>(GetProcAddress(m, "ProbeWhere"))), m);
  EXPECT_TRUE(FreeLibrary(m));

  SetLastError(0);
  EXPECT_EQ(LoadLibraryA("NoSuchModule.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(LoadLibraryA("c:\\app\\missing.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  kvtest::WriteFile(home / "drive_c/app/Bad.dll", "not a shared object");
  EXPECT_EQ(LoadLibraryA("c:\\app\\bad.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_FORMAT));
  EXPECT_EQ(LoadLibraryExA("KvProbe.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(FreeLibrary(reinterpret_cast<HMODULE>(0x10)));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(BaseModules, ReferenceCountsAndHandlesByName) {
  kvtest::TempHome home;
  HMODULE a = LoadLibraryA("KvProbe.dll");
  HMODULE b = LoadLibraryW(u"KVPROBE.dll");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_EQ(GetModuleHandleA("kvprobe.dll"), a);
  EXPECT_TRUE(FreeLibrary(a));
  EXPECT_EQ(GetModuleHandleA("kvprobe"), a);  // still loaded once
  EXPECT_EQ(Where(a), "exe");
  EXPECT_TRUE(FreeLibrary(b));
  SetLastError(0);
  EXPECT_EQ(GetModuleHandleA("KvProbe.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(BaseModules, TheExecutable) {
  kvtest::TempHome home;
  HMODULE exe = GetModuleHandleA(nullptr);
  ASSERT_NE(exe, nullptr);
  EXPECT_EQ(GetModuleHandleW(nullptr), exe);
  std::string path = FileOf(nullptr);
  EXPECT_EQ(path, Bin() + "platform_base_tests");
  EXPECT_EQ(FileOf(exe), path);
  static int in_exe;
  EXPECT_EQ(KvModuleOfAddress(&in_exe), exe);
  EXPECT_NE(KvModuleOfAddress(reinterpret_cast<void*>(&LoadLibraryA)), exe);
  EXPECT_TRUE(FreeLibrary(exe));  // stays loaded
  EXPECT_EQ(KvModuleOfAddress(&in_exe), exe);

  char small[4];
  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), 4u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(small[3], '\0');
  EXPECT_EQ(KvModuleOfAddress(nullptr), nullptr);
}

int Add(int a, int b) { return a + b; }
int Neg(int a) { return -a; }

TEST(BaseModules, BuiltinModulesBindByName) {
  kvtest::TempHome home;
  static const KvExport exports[] = {{"Add", reinterpret_cast<void*>(&Add)}, {"Neg", reinterpret_cast<void*>(&Neg)}};
  KvRegisterBuiltinModule("KVTEST_BUILTIN.DLL", exports, 2);
  HMODULE m = LoadLibraryA("kvtest_builtin");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(LoadLibraryA("C:\\Windows\\System32\\KvTest_Builtin.dll"), m);
  EXPECT_EQ(GetModuleHandleA("kvtest_builtin.dll"), m);
  auto add = kv::ProcAddress<int (*)(int, int)>(m, "Add");
  ASSERT_NE(add, nullptr);
  EXPECT_EQ(add(2, 3), 5);
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(m, "add"), nullptr);  // names are exact
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(GetProcAddress(m, reinterpret_cast<LPCSTR>(1)), nullptr);  // no ordinals
  EXPECT_TRUE(FreeLibrary(m));
  EXPECT_EQ(FileOf(m).substr(FileOf(m).rfind('/') + 1), "KVTEST_BUILTIN.DLL");
}

}  // namespace
