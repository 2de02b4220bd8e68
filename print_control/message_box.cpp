#include "print_control/message_box.h"

#include <cstdio>
#include <mutex>

#include "platform/base/codepage.h"

namespace zorbel {
namespace {

std::mutex& LogLock() {
  static std::mutex lock;
  return lock;
}

std::vector<WideString>& Log() {
  static std::vector<WideString> log;
  return log;
}

}  // namespace

void ShowMessageBox(const WideString& text) {
  {
    std::lock_guard<std::mutex> hold(LogLock());
    Log().push_back(text);
  }
  std::string utf8 = kv::WideToUtf8(text);
  fprintf(stderr, "[message box] %s\n", utf8.c_str());
}

std::vector<WideString> MessageBoxLog() {
  std::lock_guard<std::mutex> hold(LogLock());
  return Log();
}

void ClearMessageBoxLog() {
  std::lock_guard<std::mutex> hold(LogLock());
  Log().clear();
}

}  // namespace zorbel
