// Events, mutexes (named ones work across processes), waits, critical sections,
// interlocked operations and thread/process identities.
#pragma once

#include <pthread.h>

#include "platform/base/types.h"

extern "C" {

#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_ABANDONED_0 0x00000080L
#ifndef WAIT_TIMEOUT
#define WAIT_TIMEOUT 258L
#endif
#define WAIT_FAILED 0xFFFFFFFF
#define MAXIMUM_WAIT_OBJECTS 64

#define SYNCHRONIZE 0x00100000L
#define EVENT_MODIFY_STATE 0x0002
#define EVENT_ALL_ACCESS 0x001F0003
#define MUTEX_ALL_ACCESS 0x001F0001

#define DUPLICATE_CLOSE_SOURCE 0x00000001
#define DUPLICATE_SAME_ACCESS 0x00000002

// Events. A name makes the event shared by every CreateEvent/OpenEvent of that name in
// this process (ERROR_ALREADY_EXISTS when it existed); names are not shared across
// processes. Events and mutexes share one name space (ERROR_INVALID_HANDLE on a clash).
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manual_reset, BOOL initial_state, LPCSTR name);
HANDLE CreateEventW(LPSECURITY_ATTRIBUTES attributes, BOOL manual_reset, BOOL initial_state, LPCWSTR name);
HANDLE OpenEventA(DWORD access, BOOL inherit, LPCSTR name);
HANDLE OpenEventW(DWORD access, BOOL inherit, LPCWSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// Mutexes (recursive, owned by a thread). A named mutex is one object for every process
// of the user that opens the name: CreateMutex of a name some process (this one
// included) has open returns a handle with GetLastError() == ERROR_ALREADY_EXISTS.
// The name lives as long as some process holds a handle, and dies with the last one
// (also when a process is killed; a child made by fork without exec shares its parent's
// handles until it ends). Ownership also passes between processes; an owner that ends
// without releasing is not reported as WAIT_ABANDONED.
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initial_owner, LPCSTR name);
HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES attributes, BOOL initial_owner, LPCWSTR name);
// NULL with ERROR_FILE_NOT_FOUND when no process has the name open.
HANDLE OpenMutexA(DWORD access, BOOL inherit, LPCSTR name);
HANDLE OpenMutexW(DWORD access, BOOL inherit, LPCWSTR name);
// FALSE with ERROR_NOT_OWNER when the calling thread does not own it.
BOOL ReleaseMutex(HANDLE mutex);

// Waits on events, mutexes and any other waitable kernel object (see kobject.h).
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wait_all, DWORD milliseconds);
// Closes any kernel object handle (events, mutexes, files, devices, find handles).
BOOL CloseHandle(HANDLE handle);
// Within the current process only.
BOOL DuplicateHandle(HANDLE source_process, HANDLE source, HANDLE target_process, HANDLE* target, DWORD access,
                     BOOL inherit, DWORD options);

// Critical sections: recursive locks owned by a thread.
typedef struct _RTL_CRITICAL_SECTION {
  pthread_mutex_t Mutex;
  LONG RecursionCount;
  DWORD OwningThread;
} CRITICAL_SECTION, *LPCRITICAL_SECTION;

void InitializeCriticalSection(LPCRITICAL_SECTION cs);
BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION cs, DWORD spin_count);
void EnterCriticalSection(LPCRITICAL_SECTION cs);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs);
void LeaveCriticalSection(LPCRITICAL_SECTION cs);
void DeleteCriticalSection(LPCRITICAL_SECTION cs);

// Interlocked operations (full barriers). Increment/Decrement return the new value,
// Exchange/ExchangeAdd/CompareExchange the previous one.
LONG InterlockedIncrement(LONG volatile* target);
LONG InterlockedDecrement(LONG volatile* target);
LONG InterlockedExchange(LONG volatile* target, LONG value);
LONG InterlockedExchangeAdd(LONG volatile* target, LONG value);
LONG InterlockedCompareExchange(LONG volatile* target, LONG exchange, LONG comparand);
void* InterlockedExchangePointer(void* volatile* target, void* value);
void* InterlockedCompareExchangePointer(void* volatile* target, void* exchange, void* comparand);

DWORD GetCurrentThreadId(void);
DWORD GetCurrentProcessId(void);
// Pseudo handles: closing them has no effect; they are not waitable here.
HANDLE GetCurrentProcess(void);
HANDLE GetCurrentThread(void);

}  // extern "C"
