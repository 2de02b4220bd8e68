// The idle hook and the time rule that goes with it.
#include "platform/base/idle.h"

#include <time.h>

#include <atomic>

#include "platform/base/internal.h"
#include "platform/base/sync.h"
#include "platform/base/time.h"

namespace {

std::atomic<KvIdleHook> g_hook{nullptr};

ULONGLONG RealNowUs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<ULONGLONG>(ts.tv_sec) * 1000000u + static_cast<ULONGLONG>(ts.tv_nsec) / 1000u;
}

// Real time spent in the hook that has not yet become a whole virtual millisecond.
thread_local ULONGLONG t_carry_us = 0;

}  // namespace

extern "C" {

void KvSetIdleHook(KvIdleHook hook) { g_hook.store(hook); }

BOOL KvIdleWait(DWORD wait_ms, DWORD* waited_ms) {
  if (waited_ms) *waited_ms = 0;
  KvIdleHook hook = g_hook.load();
  if (!hook) return FALSE;
  const ULONGLONG start = RealNowUs();
  if (!hook(wait_ms)) return FALSE;
  ULONGLONG spent = RealNowUs() - start + t_carry_us;
  if (spent > ULONGLONG{wait_ms} * 1000u && wait_ms != INFINITE) spent = ULONGLONG{wait_ms} * 1000u;
  const DWORD ms = static_cast<DWORD>(spent / 1000u);
  t_carry_us = spent % 1000u;
  if (ms && kv::base::IsClockController()) KvClockAdvance(ms);
  if (waited_ms) *waited_ms = ms;
  return TRUE;
}

}  // extern "C"
