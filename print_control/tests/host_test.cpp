// The example host as the demo runs it: regsvr Zorbel.ocx, then zorbel_host --job FILE.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "framework/core/registry.h"
#include "platform/base/module.h"
#include "platform/registry/registry.h"
#include "testsupport/temp_home.h"

namespace {

std::string BinDir() {
  char path[4096];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  return std::filesystem::path(std::string(path, n)).parent_path().string() + "/";
}

struct Outcome {
  int status = -1;
  std::string out;
};

// Runs a program of the build with its stdout captured (stderr goes to the test's log).
Outcome Execute(const std::vector<std::string>& args, const std::string& out_file) {
  pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (freopen(out_file.c_str(), "w", stdout)) execv(argv[0], argv.data());
    _exit(127);
  }
  Outcome r;
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = kvtest::ReadFile(out_file);
  return r;
}

class ExampleHost : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KORVANE_PRINT_CUPS", "0", 1);
    setenv("KORVANE_PRINT_DIR", (home_.path() + "/out").c_str(), 1);
  }
  Outcome Host(std::vector<std::string> args) {
    args.insert(args.begin(), BinDir() + "zorbel_host");
    return Execute(args, home_ / "host.out");
  }
  kvtest::TempHome home_;
};

TEST_F(ExampleHost, RegistersAndPrintsAJobFile) {
  // Before registration the control cannot be created.
  kvtest::WriteFile(home_ / "a.job", "148,210$^10,10,发票`<line>10,20,100,20,1,3#*10,10,second\n");
  EXPECT_EQ(Host({"--job", home_ / "a.job"}).status, 3);

  Outcome reg = Execute({BinDir() + "regsvr", BinDir() + "Zorbel.ocx"}, home_ / "regsvr.out");
  ASSERT_EQ(reg.status, 0) << reg.out;
  KvRegistryReload();  // what regsvr wrote
  {
    TRegistry keys(KEY_READ);
    keys.SetRootKey(HKEY_CLASSES_ROOT);
    ASSERT_TRUE(keys.OpenKeyReadOnly("\\Zorbel.Dravik\\CLSID"));
    EXPECT_EQ(keys.ReadString(""), "{4EAAA8DD-B1DF-4F47-9203-CB9296507DB3}");
    ASSERT_TRUE(keys.OpenKeyReadOnly("\\CLSID\\{4EAAA8DD-B1DF-4F47-9203-CB9296507DB3}\\InprocServer32"));
    EXPECT_EQ(keys.ReadString(""), BinDir() + "Zorbel.ocx");
  }
  Outcome run = Host({"--job", home_ / "a.job", "--repair-x", "2", "--repair-y", "-1", "--font-size", "12", "--png"});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("ErrorNum: 0\nErrorMessage: \n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Pages: 2 (3496 x 4960 pixels at 600 x 600 dpi)"), std::string::npos) << run.out;
  EXPECT_TRUE(std::filesystem::exists(home_ / "out/document-1.pdf"));
  EXPECT_TRUE(std::filesystem::exists(home_ / "out/document-1-page2.png"));
  EXPECT_NE(run.out.find("PNG: " + (home_ / "out/document-1-page2.png")), std::string::npos) << run.out;

  // A failing job is reported as the page would read it.
  kvtest::WriteFile(home_ / "b.job", "10,10,x`");
  run = Host({"--job", home_ / "b.job"});
  EXPECT_NE(run.out.find("ErrorNum: 2\nErrorMessage: '' is not a valid integer value\n"), std::string::npos) << run.out;
  // The dialog: cancelled, nothing printed; failed, ErrorNum 1.
  run = Host({"--job", home_ / "a.job", "--print-setup", "1", "--dialog", "cancel"});
  EXPECT_NE(run.out.find("ErrorNum: 0\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Nothing was printed."), std::string::npos) << run.out;
  run = Host({"--job", home_ / "a.job", "--print-setup", "1", "--dialog", "fail"});
  EXPECT_NE(run.out.find("ErrorNum: 1\nErrorMessage: Print dialog failed (65535)\n"), std::string::npos) << run.out;
}

// The identity library is taken from beside the control's own file first, whatever the
// host program's folder (which holds the real library) and its working folder hold.
TEST_F(ExampleHost, QuenlowBesideTheControlComesFirst) {
  namespace fs = std::filesystem;
  const fs::path bin = BinDir();
  ASSERT_TRUE(fs::exists(bin / "Quenlow.dll"));
  const fs::path folder = home_ / "control";
  fs::create_directories(folder);
  fs::copy_file(bin / "Zorbel.ocx", folder / "Zorbel.ocx");
  fs::copy_file(bin / "zorbel_fakes/full/Quenlow.dll", folder / "Quenlow.dll");
  fs::copy_file(bin / "zorbel_fakes/partial/Quenlow.dll", home_ / "Quenlow.dll");
  ASSERT_EQ(Execute({bin / "regsvr", folder / "Zorbel.ocx"}, home_ / "regsvr.out").status, 0);
  setenv("ZORBEL_FAKE_TEXT", "ABC1234567", 1);
  const fs::path was = fs::current_path();
  fs::current_path(home_.path());
  Outcome run = Host({"--identity"});
  fs::current_path(was);
  unsetenv("ZORBEL_FAKE_TEXT");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "GetPrinterName: ABC1234567\nGetPrinterNum: ABC1234567\nGetPrinterVer: 1\n"
            "GetPrinterProductionYear: 2023\nGetPrinterProductionWeek: 45\n");
}

TEST_F(ExampleHost, BadOptions) {
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{{},
                                                                             {"--job"},
                                                                             {"--job", "x", "--font-size", "ten"},
                                                                             {"--job", "x", "--dialog", "maybe"},
                                                                             {"--bogus"},
                                                                             {"--job", "x", "--identity"}})
    EXPECT_EQ(Host(args).status, 1);
  EXPECT_EQ(Host({"--job", home_ / "missing.job"}).status, 1);
}

}  // namespace
