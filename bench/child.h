// A benchmark side run in a child process, so its time and peak memory are its own.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace bench {

struct Result {
  double seconds = 0;
  double cpu_seconds = 0;  // user + system, all threads
  long peak_kb = 0;
  bool ok = false;
};

// Runs `work` (returning an exit status) in a child process: its wall time, its processor
// time and its peak resident memory (from wait4), so each side's figures are its own.
template <typename F>
Result InChild(F work) {
  std::fflush(stdout);  // or the child writes the parent's buffered lines again
  auto t0 = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) _exit(work());
  int status = 0;
  rusage ru{};
  wait4(pid, &status, 0, &ru);
  Result r;
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  r.cpu_seconds = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                  static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
  r.peak_kb = ru.ru_maxrss;
  r.ok = pid > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return r;
}

}  // namespace bench
