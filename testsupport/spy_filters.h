// Filters over the message spy's record, shared by the window system's tests and the
// framework's tests.
#pragma once

#include <initializer_list>
#include <set>
#include <vector>

#include "platform/user/spy.h"

namespace kvtest {

// Messages that reached window procedures (sent or posted), hooks excluded, less `ignore`.
inline std::vector<KVSPYRECORD> SpyDelivered(std::initializer_list<UINT> ignore = {}) {
  std::vector<UINT> ign(ignore);
  return kv::SpyRecords([&](const KVSPYRECORD& r) {
    if (r.kind != KV_SPY_SENT && r.kind != KV_SPY_POSTED) return false;
    for (UINT m : ign)
      if (r.message == m) return false;
    return true;
  });
}

// The `keep` messages only (of `kind` when it is not 0), hooks and DefWindowProc excluded.
inline std::vector<KVSPYRECORD> SpyOnly(std::initializer_list<UINT> keep, DWORD kind = 0) {
  std::vector<UINT> k(keep);
  return kv::SpyRecords([&](const KVSPYRECORD& r) {
    if (kind && r.kind != kind) return false;
    if (r.kind == KV_SPY_HOOK || r.kind == KV_SPY_DEFPROC) return false;
    for (UINT m : k)
      if (r.message == m) return true;
    return false;
  });
}

// The `messages` sent to one of `windows`, from record `from` of the whole record on.
inline std::vector<KVSPYRECORD> SpySentTo(const std::set<HWND>& windows, std::initializer_list<UINT> messages,
                                          size_t from = 0) {
  std::vector<UINT> msgs(messages);
  std::vector<KVSPYRECORD> all = kv::SpyRecords(), out;
  for (size_t i = from; i < all.size(); ++i) {
    const KVSPYRECORD& r = all[i];
    if (r.kind != KV_SPY_SENT || !windows.count(r.hwnd)) continue;
    for (UINT m : msgs)
      if (r.message == m) out.push_back(r);
  }
  return out;
}

}  // namespace kvtest
