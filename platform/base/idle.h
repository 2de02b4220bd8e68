// The idle hook: work that a thread's waits drive while the thread has nothing else to
// run (the internet layer's transfers). GetMessage, PeekMessage, WaitMessage,
// MsgWaitForMultipleObjects and Sleep call KvIdleWait before they block.
#pragma once

#include "platform/base/types.h"

extern "C" {

// Drives the calling thread's work for at most `wait_ms` real milliseconds (0: a poll
// that never blocks), returning early once it has posted something for the thread's
// queue. Answers FALSE at once when the thread has no live work.
typedef BOOL (*KvIdleHook)(DWORD wait_ms);

// One hook per process (NULL removes it).
void KvSetIdleHook(KvIdleHook hook);

// Runs the hook for the calling thread. FALSE when there is none or the thread has no
// live work: nothing happened and the caller waits its own way. TRUE when it had:
// *waited_ms (may be NULL) is the real time spent, and while the virtual clock runs and
// the caller controls it, virtual time has moved on by that much, so virtual time never
// outruns real time while work is live.
BOOL KvIdleWait(DWORD wait_ms, DWORD* waited_ms);

}  // extern "C"
