// The message spy: a record of what was delivered, sent and hooked, for the tests.
#include <mutex>
#include <vector>

#include "platform/user/internal.h"
#include "platform/user/queue.h"

namespace kv::user {

namespace {

struct Spy {
  std::mutex m;
  bool on = false;
  HWND only = nullptr;
  std::vector<KVSPYRECORD> records;
};
Spy& TheSpy() {
  static Spy s;
  return s;
}

}  // namespace

void SpyRecord(DWORD kind, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, int hook, int code, LRESULT result,
               size_t* index) {
  Spy& s = TheSpy();
  std::lock_guard<std::mutex> g(s.m);
  if (index) *index = SIZE_MAX;
  if (!s.on) return;
  if (s.only && kind != KV_SPY_HOOK && hwnd != s.only && !IsDescendant(s.only, hwnd)) return;
  KVSPYRECORD r{};
  r.kind = kind;
  r.hwnd = hwnd;
  r.message = msg;
  r.wParam = wp;
  r.lParam = lp;
  r.hook = hook;
  r.code = code;
  r.result = result;
  r.depth = SendDepth();
  if (index) *index = s.records.size();
  s.records.push_back(r);
}

void SpySetResult(size_t index, LRESULT result) {
  Spy& s = TheSpy();
  std::lock_guard<std::mutex> g(s.m);
  if (index < s.records.size()) s.records[index].result = result;
}

void ResetSpy() {
  Spy& s = TheSpy();
  std::lock_guard<std::mutex> g(s.m);
  s.on = false;
  s.only = nullptr;
  s.records.clear();
}

}  // namespace kv::user

using namespace kv::user;

extern "C" {

void KvSpyStart(HWND only) {
  Spy& s = TheSpy();
  std::lock_guard<std::mutex> g(s.m);
  s.on = true;
  s.only = only;
  s.records.clear();
}
void KvSpyStop(void) {
  Spy& s = TheSpy();
  std::lock_guard<std::mutex> g(s.m);
  s.on = false;
}
void KvSpyClear(void) {
  Spy& s = TheSpy();
  std::lock_guard<std::mutex> g(s.m);
  s.records.clear();
}
DWORD KvSpyCount(void) {
  Spy& s = TheSpy();
  std::lock_guard<std::mutex> g(s.m);
  return static_cast<DWORD>(s.records.size());
}
BOOL KvSpyGet(DWORD index, KVSPYRECORD* record) {
  Spy& s = TheSpy();
  std::lock_guard<std::mutex> g(s.m);
  if (!record || index >= s.records.size()) return FALSE;
  *record = s.records[index];
  return TRUE;
}

}  // extern "C"
