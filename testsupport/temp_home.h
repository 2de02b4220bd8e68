// Test helpers: a private KORVANE_HOME for one test, and whole-file reading and writing.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace kvtest {

// Makes a fresh temporary folder, points KORVANE_HOME at it and KORVANE_SYSTEM_DIR at a
// fresh "system" folder inside it; on destruction restores both variables and removes
// the folder with everything in it.
class TempHome {
 public:
  TempHome() : saved_home_(Get("KORVANE_HOME")), saved_system_(Get("KORVANE_SYSTEM_DIR")) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kvtest-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("TempHome: mkdtemp failed");
    path_ = pattern;
    system_ = path_ + "/system";
    std::filesystem::create_directories(system_);
    setenv("KORVANE_HOME", path_.c_str(), 1);
    setenv("KORVANE_SYSTEM_DIR", system_.c_str(), 1);
  }
  TempHome(const TempHome&) = delete;
  TempHome& operator=(const TempHome&) = delete;
  ~TempHome() {
    Restore("KORVANE_HOME", saved_home_);
    Restore("KORVANE_SYSTEM_DIR", saved_system_);
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }

  // The folder, without a trailing "/".
  const std::string& path() const { return path_; }
  const std::string& system_dir() const { return system_; }
  // path() + "/" + relative.
  std::string operator/(std::string_view relative) const { return path_ + "/" + std::string(relative); }

 private:
  static std::optional<std::string> Get(const char* name) {
    const char* v = std::getenv(name);
    if (!v) return std::nullopt;
    return std::string(v);
  }
  static void Restore(const char* name, const std::optional<std::string>& value) {
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }

  std::optional<std::string> saved_home_;
  std::optional<std::string> saved_system_;
  std::string path_;
  std::string system_;
};

// The whole content of a file; throws std::runtime_error when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("ReadFile: cannot open " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes `bytes` as the whole file, creating missing parent folders; throws
// std::runtime_error on failure.
inline void WriteFile(const std::string& path, std::string_view bytes) {
  std::filesystem::path p(path);
  if (p.has_parent_path()) {
    std::error_code ec;
    std::filesystem::create_directories(p.parent_path(), ec);
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("WriteFile: cannot open " + path);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("WriteFile: cannot write " + path);
}

}  // namespace kvtest
