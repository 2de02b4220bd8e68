// The message spy: a record of what the window system delivers, for tests.
//
// While the spy runs, every message that reaches a window procedure (sent directly,
// or dispatched from the queue), every hook call and every DefWindowProc call is
// appended to the record, with the answer once it is known. Records of windows that
// are later destroyed keep their handle values.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/user/user.h"

extern "C" {

#define KV_SPY_SENT 1     // SendMessage (or the window system sending on its own)
#define KV_SPY_POSTED 2   // DispatchMessage of a queued message
#define KV_SPY_HOOK 3     // a hook procedure called: hook = WH_..., code = the hook code
#define KV_SPY_DEFPROC 4  // DefWindowProc (A or W) called

typedef struct tagKVSPYRECORD {
  DWORD kind;
  HWND hwnd;  // hooks: the window the event concerns, when there is one
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  int hook;
  int code;
  LRESULT result;
  DWORD depth;  // nesting of sends at the time of the call (0: outermost)
} KVSPYRECORD;

// Starts recording (the record is emptied). `only` limits it to one window and its
// descendants (NULL: every window; hook calls are always recorded).
void KvSpyStart(HWND only);
void KvSpyStop(void);
void KvSpyClear(void);
DWORD KvSpyCount(void);
BOOL KvSpyGet(DWORD index, KVSPYRECORD* record);

}  // extern "C"

namespace kv {

// One expected entry: kind 0 matches any kind; hwnd NULL any window; wParam/lParam
// are compared only when their check flags are set; optional entries may be absent.
struct SpyExpect {
  DWORD kind = 0;
  UINT message = 0;
  HWND hwnd = nullptr;
  bool optional = false;
  bool checkWParam = false;
  WPARAM wParam = 0;
  bool checkLParam = false;
  LPARAM lParam = 0;
  int code = 0;  // hooks: the hook code (compared for KV_SPY_HOOK entries)
  int hook = 0;  // hooks: WH_...
};

inline SpyExpect Sent(UINT msg, HWND hwnd = nullptr) {
  SpyExpect e;
  e.kind = KV_SPY_SENT;
  e.message = msg;
  e.hwnd = hwnd;
  return e;
}
inline SpyExpect Posted(UINT msg, HWND hwnd = nullptr) {
  SpyExpect e;
  e.kind = KV_SPY_POSTED;
  e.message = msg;
  e.hwnd = hwnd;
  return e;
}
inline SpyExpect DefProc(UINT msg, HWND hwnd = nullptr) {
  SpyExpect e;
  e.kind = KV_SPY_DEFPROC;
  e.message = msg;
  e.hwnd = hwnd;
  return e;
}
inline SpyExpect Hook(int hook, int code, HWND hwnd = nullptr) {
  SpyExpect e;
  e.kind = KV_SPY_HOOK;
  e.hook = hook;
  e.code = code;
  e.hwnd = hwnd;
  return e;
}
inline SpyExpect Optional(SpyExpect e) {
  e.optional = true;
  return e;
}
inline SpyExpect WithW(SpyExpect e, WPARAM w) {
  e.checkWParam = true;
  e.wParam = w;
  return e;
}
inline SpyExpect WithL(SpyExpect e, LPARAM l) {
  e.checkLParam = true;
  e.lParam = l;
  return e;
}

// The records, keeping those for which `keep` answers true (all when empty).
inline std::vector<KVSPYRECORD> SpyRecords(const std::function<bool(const KVSPYRECORD&)>& keep = {}) {
  std::vector<KVSPYRECORD> out;
  DWORD n = KvSpyCount();
  for (DWORD i = 0; i < n; ++i) {
    KVSPYRECORD r;
    if (KvSpyGet(i, &r) && (!keep || keep(r))) out.push_back(r);
  }
  return out;
}

inline bool SpyEntryMatches(const SpyExpect& e, const KVSPYRECORD& r) {
  if (e.kind && e.kind != r.kind) return false;
  if (r.kind == KV_SPY_HOOK) {
    if (e.hook != r.hook || e.code != r.code) return false;
  } else if (e.message != r.message) {
    return false;
  }
  if (e.hwnd && e.hwnd != r.hwnd) return false;
  if (e.checkWParam && e.wParam != r.wParam) return false;
  if (e.checkLParam && e.lParam != r.lParam) return false;
  return true;
}

inline std::string SpyDescribe(const KVSPYRECORD& r) {
  static const char* kinds[] = {"?", "sent", "posted", "hook", "defproc"};
  char buf[160];
  if (r.kind == KV_SPY_HOOK)
    std::snprintf(buf, sizeof buf, "hook %d code %d hwnd %p wp %#llx lp %#llx", r.hook, r.code,
                  static_cast<void*>(r.hwnd), static_cast<unsigned long long>(r.wParam),
                  static_cast<unsigned long long>(r.lParam));
  else
    std::snprintf(buf, sizeof buf, "%s %#06x hwnd %p wp %#llx lp %#llx", kinds[r.kind <= 4 ? r.kind : 0], r.message,
                  static_cast<void*>(r.hwnd), static_cast<unsigned long long>(r.wParam),
                  static_cast<unsigned long long>(r.lParam));
  return buf;
}

// Compares a record with the expected sequence, in order: every record must match an
// expected entry, each mandatory entry must be matched, optional ones may be absent (every
// way of leaving them out is tried). Returns an empty string on success, else where the
// longest attempt stopped and the recorded sequence.
inline std::string SpyMatch(const std::vector<KVSPYRECORD>& got, const std::vector<SpyExpect>& want) {
  size_t best = 0, bestWant = 0;
  std::vector<std::vector<char>> seen(got.size() + 1, std::vector<char>(want.size() + 1, 0));
  std::function<bool(size_t, size_t)> match = [&](size_t i, size_t j) -> bool {
    if (seen[i][j]) return false;
    seen[i][j] = 1;
    if (i > best || (i == best && j > bestWant)) {
      best = i;
      bestWant = j;
    }
    if (j == want.size()) return i == got.size();
    if (want[j].optional && match(i, j + 1)) return true;
    return i < got.size() && SpyEntryMatches(want[j], got[i]) && match(i + 1, j + 1);
  };
  if (match(0, 0)) return {};
  std::string why;
  if (best < got.size())
    why = "record " + std::to_string(best) + " (" + SpyDescribe(got[best]) + ") differs from expected entry " +
          std::to_string(bestWant);
  else
    why = "missing expected entry " + std::to_string(bestWant);
  why += "\nrecorded:";
  for (const auto& r : got) why += "\n  " + SpyDescribe(r);
  return why;
}

}  // namespace kv
