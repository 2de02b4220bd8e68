// Message boxes: answered from the tests' script, else by a person (a modal window when a
// presenter shows the windows, the terminal otherwise), else by the default button; every
// box is logged.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <iostream>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/drive/drive.h"
#include "platform/base/trace.h"
#include "platform/user/internal.h"
#include "platform/user/present.h"

namespace kv::user {

namespace {

struct MsgBoxState {
  std::mutex m;
  std::vector<KVMSGBOXRECORD> log;
  std::deque<int> script;
};
MsgBoxState& Boxes() {
  static MsgBoxState s;
  return s;
}

}  // namespace

void ResetMessageBoxes() {
  MsgBoxState& b = Boxes();
  std::lock_guard<std::mutex> g(b.m);
  b.log.clear();
  b.script.clear();
}

}  // namespace kv::user

using namespace kv::user;

namespace {

int DefaultAnswer(UINT type) {
  static const int buttons[7][3] = {
      {IDOK, 0, 0},     {IDOK, IDCANCEL, 0},    {IDABORT, IDRETRY, IDIGNORE},      {IDYES, IDNO, IDCANCEL},
      {IDYES, IDNO, 0}, {IDRETRY, IDCANCEL, 0}, {IDCANCEL, IDTRYAGAIN, IDCONTINUE}};
  UINT kind = type & MB_TYPEMASK;
  if (kind > 6) kind = 0;
  UINT def = (type & MB_DEFMASK) >> 8;
  if (def > 2 || !buttons[kind][def]) def = 0;
  return buttons[kind][def];
}

bool Interactive() {
  const char* t = std::getenv("KORVANE_TEST");
  return isatty(0) && !(t && *t && std::strcmp(t, "0") != 0);
}

int AskTerminal(const std::string& text, const std::string& caption, UINT type, int fallback) {
  static const char* names[7] = {"OK",     "OK/Cancel",    "Abort/Retry/Ignore",       "Yes/No/Cancel",
                                 "Yes/No", "Retry/Cancel", "Cancel/Try again/Continue"};
  UINT kind = type & MB_TYPEMASK;
  if (kind > 6) kind = 0;
  std::fprintf(stderr, "\n[%s]\n%s\n(%s) > ", caption.c_str(), text.c_str(), names[kind]);
  std::fflush(stderr);
  std::string line;
  if (!std::getline(std::cin, line)) return fallback;
  for (auto& c : line) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  struct {
    const char* word;
    int id;
  } words[] = {{"ok", IDOK},   {"cancel", IDCANCEL}, {"abort", IDABORT},  {"retry", IDRETRY},      {"ignore", IDIGNORE},
               {"yes", IDYES}, {"no", IDNO},         {"try", IDTRYAGAIN}, {"continue", IDCONTINUE}};
  for (auto& w : words)
    if (line.rfind(w.word, 0) == 0) return w.id;
  return fallback;
}

int ShowBox(HWND owner, const std::u16string& text, const std::u16string& caption, UINT type) {
  std::string t8 = kv::WideToUtf8(text), c8 = kv::WideToUtf8(caption);
  int answer;
  MsgBoxState& b = Boxes();
  bool scripted;
  {
    std::lock_guard<std::mutex> g(b.m);
    scripted = !b.script.empty();
    answer = scripted ? b.script.front() : DefaultAnswer(type);
    if (scripted) b.script.pop_front();
  }
  if (!scripted && kv::user::present::Live())
    answer = kv::user::present::MessageBoxWindow(owner, text, caption, type, answer);
  else if (!scripted && Interactive())
    answer = AskTerminal(t8, c8, type, answer);
  KVMSGBOXRECORD r{};
  std::snprintf(r.text, sizeof r.text, "%s", t8.c_str());
  std::snprintf(r.caption, sizeof r.caption, "%s", c8.c_str());
  r.type = type;
  r.answer = answer;
  r.owner = owner;
  kv::drive::RecordMessageBox(c8, t8, type, answer);
  KvTrace("user", "message box [%s] %s -> %d", c8.c_str(), t8.c_str(), answer);
  std::lock_guard<std::mutex> g(b.m);
  b.log.push_back(r);
  return answer;
}

}  // namespace

extern "C" {

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  return ShowBox(owner, text ? std::u16string(text) : std::u16string(),
                 caption ? std::u16string(caption) : std::u16string(u"\u9519\u8bef"), type);
}
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  return ShowBox(owner, ToWide(text), caption ? ToWide(caption) : std::u16string(u"\u9519\u8bef"), type);
}
int MessageBoxExW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type, WORD) {
  return MessageBoxW(owner, text, caption, type);
}
int MessageBoxExA(HWND owner, LPCSTR text, LPCSTR caption, UINT type, WORD) {
  return MessageBoxA(owner, text, caption, type);
}

DWORD KvMessageBoxLogCount(void) {
  MsgBoxState& b = Boxes();
  std::lock_guard<std::mutex> g(b.m);
  return static_cast<DWORD>(b.log.size());
}
BOOL KvMessageBoxLogGet(DWORD index, KVMSGBOXRECORD* record) {
  MsgBoxState& b = Boxes();
  std::lock_guard<std::mutex> g(b.m);
  if (!record || index >= b.log.size()) return FALSE;
  *record = b.log[index];
  return TRUE;
}
void KvMessageBoxLogClear(void) {
  MsgBoxState& b = Boxes();
  std::lock_guard<std::mutex> g(b.m);
  b.log.clear();
}
void KvMessageBoxScriptPush(int answer) {
  MsgBoxState& b = Boxes();
  std::lock_guard<std::mutex> g(b.m);
  b.script.push_back(answer);
}
void KvMessageBoxScriptClear(void) {
  MsgBoxState& b = Boxes();
  std::lock_guard<std::mutex> g(b.m);
  b.script.clear();
}

}  // extern "C"
