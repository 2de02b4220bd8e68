// The Korvane program as a process: one copy per user ("OnlyOne"), a second start shows
// its box and ends with 0, a start after the first ended runs, and the registration
// switches end the program at once. The program runs from a folder of its own (with its
// configuration file and configuration page) in a private KORVANE_HOME; its message
// boxes are read from the file KORVANE_MSGBOX_LOG names.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/sync.h"
#include "testsupport/drive_client.h"
#include "testsupport/temp_home.h"

namespace {

using Clock = std::chrono::steady_clock;

// One run of the program, its output in a file beside the program.
class Korvane {
 public:
  Korvane(const std::string& exe, const std::vector<std::string>& args, const std::string& boxes)
      : output_(exe + "." + std::to_string(++runs_) + ".txt") {
    std::vector<std::string> argv{exe};
    argv.insert(argv.end(), args.begin(), args.end());
    process_ = std::make_unique<kvtest::ChildProcess>(
        argv, std::vector<std::string>{"KORVANE_MSGBOX_LOG=" + boxes, "KORVANE_TEST=1", "KORVANE_HEADLESS=1"}, output_);
  }
  // The exit code once it ended within `seconds`, else -1.
  int Wait(int seconds) { return process_->Wait(std::chrono::seconds(seconds)); }
  bool Running() { return process_->Running(); }
  void Stop() { process_->Stop(); }
  std::string Output() const { return std::filesystem::exists(output_) ? kvtest::ReadFile(output_) : ""; }

 private:
  static inline int runs_ = 0;
  std::string output_;
  std::unique_ptr<kvtest::ChildProcess> process_;
};

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = home_ / "program/";
    std::filesystem::create_directories(dir_);
    exe_ = dir_ + "Korvane";
    std::filesystem::copy_file(std::filesystem::current_path() / "Korvane", exe_);
    // An incomplete configuration: the program stays on its configuration page.
    kvtest::WriteFile(dir_ + "Korvane.ini", "[general]\nServerURL=MTI3LjAuMC4x\n");
    kvtest::WriteFile(dir_ + "config.html", "<html><body><form name=_CONFIG_FORM></form></body></html>");
  }
  // True once some process holds the "OnlyOne" name.
  static bool MutexHeld(int seconds) {
    auto until = Clock::now() + std::chrono::seconds(seconds);
    do {
      if (HANDLE h = OpenMutexA(SYNCHRONIZE, FALSE, "OnlyOne")) {
        CloseHandle(h);
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (Clock::now() < until);
    return false;
  }

  // The message boxes shown so far, one "caption TAB text TAB flags TAB answer" line each.
  std::string Boxes() const { return std::filesystem::exists(boxes_) ? kvtest::ReadFile(boxes_) : ""; }

  kvtest::TempHome home_;
  std::string dir_, exe_;
  std::string boxes_ = home_ / "boxes.txt";
};

constexpr char kAlreadyRunningBox[] = "关闭\tVelmora已经运行了，不能同时运行多个!\t64\t1\n";

TEST_F(ProgramTest, SecondCopyShowsItsBoxAndEndsWhileTheFirstRuns) {
  ASSERT_FALSE(MutexHeld(0));
  Korvane first(exe_, {}, boxes_);
  ASSERT_TRUE(MutexHeld(30)) << first.Output();
  {
    Korvane second(exe_, {}, boxes_);
    EXPECT_EQ(second.Wait(30), 0) << second.Output();
    EXPECT_EQ(Boxes(), kAlreadyRunningBox) << second.Output();
  }
  EXPECT_TRUE(first.Running()) << "the running copy is left alone";
  first.Stop();
  ASSERT_FALSE(MutexHeld(0)) << "the name dies with its last holder";

  Korvane third(exe_, {}, boxes_);
  ASSERT_TRUE(MutexHeld(30)) << third.Output();
  EXPECT_TRUE(third.Running()) << third.Output();
  EXPECT_EQ(Boxes(), kAlreadyRunningBox) << "no box but the second copy's";
}

TEST_F(ProgramTest, RegistrationSwitchesEndTheProgram) {
  for (const char* sw : {"/REGSERVER", "-unregserver", "/RegServer", "-UNREGSERVER"}) {
    SCOPED_TRACE(sw);
    Korvane run(exe_, {sw}, boxes_);
    EXPECT_EQ(run.Wait(30), 0) << run.Output();
    EXPECT_EQ(Boxes(), "") << run.Output();
  }
  // The automation switches start the program as usual.
  for (const char* sw : {"/AUTOMATION", "-embedding"}) {
    SCOPED_TRACE(sw);
    Korvane run(exe_, {sw}, boxes_);
    EXPECT_TRUE(MutexHeld(30)) << run.Output();
    EXPECT_TRUE(run.Running()) << run.Output();
    run.Stop();
  }
}

}  // namespace
