// A small program the tests run as a separate process: it holds named mutexes, reports
// what the platform tells it, or keeps rewriting a file, until it ends or is killed.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/base/codepage.h"
#include "platform/base/error.h"
#include "platform/base/file.h"
#include "platform/base/sync.h"
#include "platform/base/system.h"

namespace {

[[noreturn]] void WaitToBeKilled() {
  for (;;) pause();
}

int Usage() {
  std::fprintf(stderr,
               "usage: platform_base_helper hold-mutex|own-mutex|try-mutex NAME\n"
               "       platform_base_helper atomic-writer PATH\n"
               "       platform_base_helper command-line [ARGS...]\n"
               "       platform_base_helper acp\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string cmd = argv[1];
  if ((cmd == "hold-mutex" || cmd == "own-mutex" || cmd == "try-mutex") && argc == 3) {
    HANDLE h = CreateMutexA(nullptr, cmd == "own-mutex", argv[2]);
    std::printf("%lu\n", h ? static_cast<unsigned long>(GetLastError()) : 0xFFFFFFFFul);
    std::fflush(stdout);
    if (cmd == "try-mutex") return 0;
    WaitToBeKilled();
  }
  if (cmd == "atomic-writer" && argc == 3) {
    // Versions differ in every byte and in length, so a torn file is easy to see.
    for (unsigned i = 0;; ++i) {
      std::string content(1 << 20 | (i % 7) * 4096, static_cast<char>('A' + i % 26));
      if (!KvWriteFileAtomic(argv[2], content.data(), content.size())) return 1;
      if (write(STDOUT_FILENO, "w", 1) != 1) return 1;
    }
  }
  if (cmd == "command-line") {
    std::printf("%s\n", GetCommandLineA());
    return 0;
  }
  if (cmd == "acp" && argc == 2) {
    std::printf("%u\n", GetACP());
    return 0;
  }
  return Usage();
}
