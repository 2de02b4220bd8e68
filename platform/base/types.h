// Fundamental types of the platform API.
//
// The platform layer is a C interface: every function the programs call on it is
// declared extern "C" with these types, so that no C++ object crosses the boundary
// between libplatform.so and the modules that use it. Sizes follow the 32-bit
// platform the programs were written for where callers depend on them (DWORD and
// LONG are 32 bits, WCHAR is a UTF-16 code unit); pointers and handles are native.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

typedef int32_t BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int32_t INT;
typedef uint32_t UINT;
typedef int16_t SHORT;
typedef uint16_t USHORT;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef char CHAR;
typedef char16_t WCHAR;
typedef uintptr_t UINT_PTR;
typedef intptr_t INT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef ULONG_PTR DWORD_PTR;
typedef size_t SIZE_T;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef LONG HRESULT;
typedef DWORD COLORREF;
typedef WORD ATOM;

typedef void* LPVOID;
typedef const void* LPCVOID;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef BYTE* LPBYTE;
typedef DWORD* LPDWORD;

// Handles are opaque pointers; each kind is its own type so the compiler keeps them apart.
#define KV_DECLARE_HANDLE(name) \
  struct name##__;              \
  typedef struct name##__* name
typedef void* HANDLE;
KV_DECLARE_HANDLE(HINSTANCE);
typedef HINSTANCE HMODULE;
KV_DECLARE_HANDLE(HWND);
KV_DECLARE_HANDLE(HDC);
KV_DECLARE_HANDLE(HMENU);
KV_DECLARE_HANDLE(HICON);
typedef HICON HCURSOR;
KV_DECLARE_HANDLE(HBITMAP);
KV_DECLARE_HANDLE(HBRUSH);
KV_DECLARE_HANDLE(HPEN);
KV_DECLARE_HANDLE(HFONT);
KV_DECLARE_HANDLE(HPALETTE);
KV_DECLARE_HANDLE(HRGN);
KV_DECLARE_HANDLE(HKEY);
KV_DECLARE_HANDLE(HHOOK);
KV_DECLARE_HANDLE(HGLOBAL__);
typedef void* HGDIOBJ;
typedef HANDLE HGLOBAL;

typedef INT_PTR (*FARPROC)();

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))

// 64-bit values split in two halves, as the platform's counters and file sizes use them.
typedef union _LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  };
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;
typedef union _ULARGE_INTEGER {
  struct {
    DWORD LowPart;
    DWORD HighPart;
  };
  struct {
    DWORD LowPart;
    DWORD HighPart;
  } u;
  ULONGLONG QuadPart;
} ULARGE_INTEGER, *PULARGE_INTEGER;

typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

#define MAX_PATH 260

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

typedef struct tagPOINT {
  LONG x;
  LONG y;
} POINT, *LPPOINT;
typedef struct tagSIZE {
  LONG cx;
  LONG cy;
} SIZE, *LPSIZE;
typedef struct tagRECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
} RECT, *LPRECT;
typedef const RECT* LPCRECT;

typedef struct _GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

#define LOWORD(l) (static_cast<WORD>(static_cast<DWORD_PTR>(l) & 0xffff))
#define HIWORD(l) (static_cast<WORD>((static_cast<DWORD_PTR>(l) >> 16) & 0xffff))
#define LOBYTE(w) (static_cast<BYTE>(static_cast<DWORD_PTR>(w) & 0xff))
#define HIBYTE(w) (static_cast<BYTE>((static_cast<DWORD_PTR>(w) >> 8) & 0xff))
#define MAKEWORD(a, b) (static_cast<WORD>((static_cast<BYTE>(a)) | (static_cast<WORD>(static_cast<BYTE>(b)) << 8)))
#define MAKELONG(a, b) (static_cast<LONG>((static_cast<WORD>(a)) | (static_cast<DWORD>(static_cast<WORD>(b)) << 16)))

}  // extern "C"
