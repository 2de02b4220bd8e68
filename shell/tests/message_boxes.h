// The texts of the message boxes the platform recorded, in order.
#pragma once

#include <string>
#include <vector>

#include "platform/user/testing.h"

namespace shelltest {

inline std::vector<std::string> MessageBoxTexts() {
  std::vector<std::string> texts;
  for (DWORD i = 0; i < KvMessageBoxLogCount(); ++i) {
    KVMSGBOXRECORD record{};
    if (KvMessageBoxLogGet(i, &record)) texts.push_back(record.text);
  }
  return texts;
}

}  // namespace shelltest
