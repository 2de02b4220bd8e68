// Global memory blocks: the handles that print dialogs, device modes and the clipboard
// pass around. A moveable block is reached through GlobalLock; a fixed block's handle is
// its address.
#pragma once

#include "platform/base/types.h"

extern "C" {

#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GMEM_MODIFY 0x0080
#define GMEM_DDESHARE 0x2000
#define GMEM_SHARE 0x2000
#define GMEM_INVALID_HANDLE 0x8000
#define GMEM_LOCKCOUNT 0x00FF
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

// Returns null (last error ERROR_NOT_ENOUGH_MEMORY or ERROR_INVALID_PARAMETER) on failure.
HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
// Null for an unknown handle (ERROR_INVALID_HANDLE).
LPVOID GlobalLock(HGLOBAL hMem);
// TRUE while the block stays locked; FALSE with last error NO_ERROR when the count reaches
// zero, ERROR_NOT_LOCKED when it was not locked, ERROR_INVALID_HANDLE for a bad handle.
BOOL GlobalUnlock(HGLOBAL hMem);
// Null on success; the handle itself on failure.
HGLOBAL GlobalFree(HGLOBAL hMem);
// 0 for an unknown handle.
SIZE_T GlobalSize(HGLOBAL hMem);
HGLOBAL GlobalReAlloc(HGLOBAL hMem, SIZE_T dwBytes, UINT uFlags);
// Lock count in the low byte; GMEM_INVALID_HANDLE for a bad handle.
UINT GlobalFlags(HGLOBAL hMem);
HGLOBAL GlobalHandle(LPCVOID pMem);

// Test-facing: number of live blocks (a leak check for callers of the API).
DWORD KvGlobalBlockCount(void);

}  // extern "C"
