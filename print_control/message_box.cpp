#include "platform/user/testing.h"
#include "print_control/message_box.h"

#include "platform/base/codepage.h"
#include "platform/user/user.h"

namespace zorbel {

// The framework's ShowMessage inside a control library: the application's title is the
// library's name.
void ShowMessageBox(const WideString& text) { MessageBoxW(nullptr, text.c_str(), u"Zorbel", MB_OK); }

std::vector<WideString> MessageBoxLog() {
  std::vector<WideString> texts;
  const DWORD count = KvMessageBoxLogCount();
  for (DWORD i = 0; i < count; ++i) {
    KVMSGBOXRECORD record{};
    if (KvMessageBoxLogGet(i, &record)) texts.push_back(kv::Utf8ToWide(record.text));
  }
  return texts;
}

void ClearMessageBoxLog() { KvMessageBoxLogClear(); }

}  // namespace zorbel
