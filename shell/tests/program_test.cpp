// The Korvane program as a process: one copy per user ("OnlyOne"), a second start shows
// its box and ends with 0, a start after the first ended runs, and the registration
// switches end the program at once. The program runs from a folder of its own (with its
// configuration file and configuration page) in a private KORVANE_HOME; its message
// boxes are read from the platform's trace on its error output.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/sync.h"
#include "platform/base/system.h"
#include "testsupport/temp_home.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// One run of the program with its error output on a pipe.
class Korvane {
 public:
  Korvane(const std::string& exe, const std::vector<std::string>& args) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    std::vector<std::string> all{exe};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env{"KORVANE_TRACE=1", "KORVANE_TEST=1", "KORVANE_HEADLESS=1"};
    for (char** e = environ; *e; ++e) {
      std::string entry = *e;
      if (entry.rfind("KORVANE_TRACE=", 0) != 0 && entry.rfind("KORVANE_TEST=", 0) != 0 &&
          entry.rfind("KORVANE_HEADLESS=", 0) != 0)
        env.push_back(entry);
    }
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    int r = posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    err_ = fds[0];
    if (r != 0) {
      pid_ = 0;
      throw std::runtime_error("cannot start " + exe);
    }
  }
  Korvane(const Korvane&) = delete;
  Korvane& operator=(const Korvane&) = delete;
  ~Korvane() {
    Stop();
    close(err_);
  }

  // Waits up to `seconds` for the end; the exit code, or -1 while it still runs.
  int Wait(int seconds) {
    auto until = Clock::now() + std::chrono::seconds(seconds);
    while (pid_ > 0) {
      Drain(10);
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = 0;
        Drain(0);
        code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        break;
      }
      if (Clock::now() >= until) return -1;
    }
    return code_;
  }
  bool Running() { return Wait(0) == -1; }
  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = 0;
  }
  const std::string& Errors() {
    Drain(0);
    return errors_;
  }

 private:
  void Drain(int timeout_ms) {
    pollfd p{err_, POLLIN, 0};
    char buf[4096];
    while (poll(&p, 1, timeout_ms) > 0 && (p.revents & (POLLIN | POLLHUP))) {
      ssize_t n = read(err_, buf, sizeof buf);
      if (n <= 0) break;
      errors_.append(buf, static_cast<size_t>(n));
      timeout_ms = 0;
    }
  }
  pid_t pid_ = 0;
  int err_ = -1;
  int code_ = -1;
  std::string errors_;
};

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = home_ / "program/";
    std::filesystem::create_directories(dir_);
    exe_ = dir_ + "Korvane";
    std::filesystem::copy_file(std::string(KvProgramDirectory()) + "Korvane", exe_);
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

  kvtest::TempHome home_;
  std::string dir_, exe_;
};

constexpr char kAlreadyRunningBox[] = "message box [关闭] Velmora已经运行了，不能同时运行多个!";

TEST_F(ProgramTest, SecondCopyShowsItsBoxAndEndsWhileTheFirstRuns) {
  ASSERT_FALSE(MutexHeld(0));
  Korvane first(exe_, {});
  ASSERT_TRUE(MutexHeld(30)) << first.Errors();
  {
    Korvane second(exe_, {});
    EXPECT_EQ(second.Wait(30), 0) << second.Errors();
    EXPECT_NE(second.Errors().find(kAlreadyRunningBox), std::string::npos) << second.Errors();
  }
  EXPECT_TRUE(first.Running()) << "the running copy is left alone";
  EXPECT_EQ(first.Errors().find("message box"), std::string::npos) << first.Errors();
  first.Stop();
  ASSERT_FALSE(MutexHeld(0)) << "the name dies with its last holder";

  Korvane third(exe_, {});
  ASSERT_TRUE(MutexHeld(30)) << third.Errors();
  EXPECT_TRUE(third.Running()) << third.Errors();
  EXPECT_EQ(third.Errors().find("message box"), std::string::npos) << third.Errors();
}

TEST_F(ProgramTest, RegistrationSwitchesEndTheProgram) {
  for (const char* sw : {"/REGSERVER", "-unregserver", "/RegServer", "-UNREGSERVER"}) {
    SCOPED_TRACE(sw);
    Korvane run(exe_, {sw});
    EXPECT_EQ(run.Wait(30), 0) << run.Errors();
    EXPECT_EQ(run.Errors().find("message box"), std::string::npos) << run.Errors();
  }
  // The automation switches start the program as usual.
  for (const char* sw : {"/AUTOMATION", "-embedding"}) {
    SCOPED_TRACE(sw);
    Korvane run(exe_, {sw});
    EXPECT_TRUE(MutexHeld(30)) << run.Errors();
    EXPECT_TRUE(run.Running()) << run.Errors();
    run.Stop();
  }
}

}  // namespace
