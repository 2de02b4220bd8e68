// Running the helper program as a child process with its output on a pipe.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/base/system.h"

extern char** environ;

namespace kvtest {

class ChildProcess {
 public:
  // Starts the helper program (next to the test binary) with `args`.
  explicit ChildProcess(const std::vector<std::string>& args) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    std::string exe = std::string(KvProgramDirectory()) + "platform_base_helper";
    std::vector<std::string> all{exe};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    int r = posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    out_ = fds[0];
    if (r != 0) {
      close(out_);
      throw std::runtime_error("cannot start " + exe);
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(out_);
  }

  // Reads `n` bytes of output ("" when the child ends first or after a minute of
  // silence, which only a broken child causes).
  std::string Read(size_t n) {
    std::string s;
    while (s.size() < n) {
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, 60000) <= 0) return {};
      char buf[256];
      ssize_t got = read(out_, buf, std::min(sizeof buf, n - s.size()));
      if (got <= 0) return {};
      s.append(buf, static_cast<size_t>(got));
    }
    return s;
  }

  // One line of output without its newline.
  std::string ReadLine() {
    std::string s;
    for (;;) {
      std::string c = Read(1);
      if (c.empty() || c == "\n") return s;
      s += c;
    }
  }

  // SIGKILL. Kill only a child that is waiting, not one that is ending: a process that
  // is killed while the leak checker inspects it at exit can leave a helper task holding
  // its files for a moment.
  void Kill() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  // Exit status after the child ends by itself.
  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
};

}  // namespace kvtest
