// A scratch folder for one fuzzing run: made at the first call, removed with everything in
// it when the fuzzer exits. "" when it cannot be made (the target then skips its input).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

inline const std::string& FuzzScratchFolder() {
  static const std::string folder = [] {
    static char dir[] = "/tmp/kv-fuzz-XXXXXX";
    if (mkdtemp(dir) == nullptr) return std::string();
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(dir, ignored);
    });
    return std::string(dir) + "/";
  }();
  return folder;
}
