// The registry: keys, typed values and their enumeration, persisted under $KORVANE_HOME.
//
// Four trees: HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and HKEY_USERS.
// Key and value names compare without ASCII case and keep the case they were created
// with; sub-keys enumerate in name order, values in the order they were first set.
// The trees live in the file "registry.txt" of $KORVANE_HOME (read at the first use, or
// the first use after KvRegistryReload). Every change rewrites that file atomically
// (a temporary file renamed over it, under an exclusive lock of "registry.lock"), and
// every call first picks up a file that another process has replaced, so processes
// sharing one home see each other's changes and a killed writer never tears the file.
//
// Functions return a platform error code (ERROR_SUCCESS, ERROR_FILE_NOT_FOUND for a
// missing key or value, ERROR_ACCESS_DENIED for a key opened without the right, or for
// RegDeleteKey of a key that has sub-keys, ERROR_MORE_DATA, ERROR_NO_MORE_ITEMS,
// ERROR_INVALID_HANDLE, ERROR_KEY_DELETED for a handle whose key was deleted,
// ERROR_REGISTRY_CORRUPT when the file cannot be read: the file is then left untouched;
// ERROR_REGISTRY_IO_FAILED when $KORVANE_HOME cannot be made).
// The A forms take and give names and string data in the ANSI code page.
#pragma once

#include <string>

#include "platform/base/error.h"
#include "platform/base/time.h"
#include "platform/base/types.h"

extern "C" {

typedef DWORD REGSAM;
typedef HKEY* PHKEY;

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000000))))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000001))))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000002))))
#define HKEY_USERS (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000003))))

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_QWORD 11

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ 0x00020019
#define KEY_WRITE 0x00020006
#define KEY_EXECUTE 0x00020019
#define KEY_ALL_ACCESS 0x000F003F
#define MAXIMUM_ALLOWED 0x02000000

#define REG_OPTION_NON_VOLATILE 0x00000000
#define REG_CREATED_NEW_KEY 0x00000001
#define REG_OPENED_EXISTING_KEY 0x00000002

#ifndef ERROR_BAD_PATHNAME
#define ERROR_BAD_PATHNAME 161L
#endif
#ifndef ERROR_BADDB
#define ERROR_BADDB 1009L
#endif
#ifndef ERROR_BADKEY
#define ERROR_BADKEY 1010L
#endif
#ifndef ERROR_CANTWRITE
#define ERROR_CANTWRITE 1013L
#endif
#ifndef ERROR_REGISTRY_CORRUPT
#define ERROR_REGISTRY_CORRUPT 1015L
#endif
#ifndef ERROR_REGISTRY_IO_FAILED
#define ERROR_REGISTRY_IO_FAILED 1016L
#endif
#ifndef ERROR_KEY_DELETED
#define ERROR_KEY_DELETED 1018L
#endif

// Last-write times are not kept; where a caller asks for one it receives zero.

// `options` must be REG_OPTION_NON_VOLATILE; `class_name` and `security` are not kept.
// Keys nest at most 512 levels below a root (ERROR_INVALID_PARAMETER beyond).
LONG RegCreateKeyExA(HKEY key, LPCSTR sub_key, DWORD reserved, LPSTR class_name, DWORD options, REGSAM sam,
                     void* security, PHKEY result, LPDWORD disposition);
LONG RegCreateKeyExW(HKEY key, LPCWSTR sub_key, DWORD reserved, LPWSTR class_name, DWORD options, REGSAM sam,
                     void* security, PHKEY result, LPDWORD disposition);
LONG RegCreateKeyA(HKEY key, LPCSTR sub_key, PHKEY result);
LONG RegCreateKeyW(HKEY key, LPCWSTR sub_key, PHKEY result);
// A null or empty `sub_key` opens a new handle to `key` itself.
LONG RegOpenKeyExA(HKEY key, LPCSTR sub_key, DWORD options, REGSAM sam, PHKEY result);
LONG RegOpenKeyExW(HKEY key, LPCWSTR sub_key, DWORD options, REGSAM sam, PHKEY result);
LONG RegOpenKeyA(HKEY key, LPCSTR sub_key, PHKEY result);
LONG RegOpenKeyW(HKEY key, LPCWSTR sub_key, PHKEY result);
LONG RegCloseKey(HKEY key);
// Changes are on disk when the call that made them returns; this only checks the handle.
LONG RegFlushKey(HKEY key);

// Deletes a key without sub-keys (ERROR_ACCESS_DENIED when it has some).
LONG RegDeleteKeyA(HKEY key, LPCSTR sub_key);
LONG RegDeleteKeyW(HKEY key, LPCWSTR sub_key);
// Deletes `sub_key` with everything below it; a null `sub_key` empties `key` itself
// (its values and sub-keys) and keeps it.
LONG RegDeleteTreeA(HKEY key, LPCSTR sub_key);
LONG RegDeleteTreeW(HKEY key, LPCWSTR sub_key);
DWORD SHDeleteKeyA(HKEY key, LPCSTR sub_key);
DWORD SHDeleteKeyW(HKEY key, LPCWSTR sub_key);

// A null or empty name is the key's default value.
LONG RegSetValueExA(HKEY key, LPCSTR value_name, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
LONG RegSetValueExW(HKEY key, LPCWSTR value_name, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
// The default value (REG_SZ) of `sub_key`, created when missing.
LONG RegSetValueA(HKEY key, LPCSTR sub_key, DWORD type, LPCSTR data, DWORD size);
LONG RegSetValueW(HKEY key, LPCWSTR sub_key, DWORD type, LPCWSTR data, DWORD size);
// `data` null: only type and size are returned. A too-small buffer gives ERROR_MORE_DATA
// with the size needed in *size.
LONG RegQueryValueExA(HKEY key, LPCSTR value_name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
LONG RegQueryValueExW(HKEY key, LPCWSTR value_name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
// The default value of `sub_key` as text ("" when it has none, sizes in bytes).
LONG RegQueryValueA(HKEY key, LPCSTR sub_key, LPSTR data, LONG* size);
LONG RegQueryValueW(HKEY key, LPCWSTR sub_key, LPWSTR data, LONG* size);
LONG RegDeleteValueA(HKEY key, LPCSTR value_name);
LONG RegDeleteValueW(HKEY key, LPCWSTR value_name);

// Name buffers in characters: in, the buffer's size with the terminator; out, the
// length without it.
LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD name_len, LPDWORD reserved, LPSTR class_name,
                   LPDWORD class_len, FILETIME* last_write);
LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_len, LPDWORD reserved, LPWSTR class_name,
                   LPDWORD class_len, FILETIME* last_write);
LONG RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD name_len);
LONG RegEnumKeyW(HKEY key, DWORD index, LPWSTR name, DWORD name_len);
LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD name_len, LPDWORD reserved, LPDWORD type, LPBYTE data,
                   LPDWORD size);
LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_len, LPDWORD reserved, LPDWORD type, LPBYTE data,
                   LPDWORD size);
// Lengths in characters without terminator (names) and bytes (data); every out
// pointer may be null.
LONG RegQueryInfoKeyA(HKEY key, LPSTR class_name, LPDWORD class_len, LPDWORD reserved, LPDWORD sub_keys,
                      LPDWORD max_sub_key_len, LPDWORD max_class_len, LPDWORD values, LPDWORD max_value_name_len,
                      LPDWORD max_value_len, LPDWORD security_descriptor, FILETIME* last_write);
LONG RegQueryInfoKeyW(HKEY key, LPWSTR class_name, LPDWORD class_len, LPDWORD reserved, LPDWORD sub_keys,
                      LPDWORD max_sub_key_len, LPDWORD max_class_len, LPDWORD values, LPDWORD max_value_name_len,
                      LPDWORD max_value_len, LPDWORD security_descriptor, FILETIME* last_write);

// Test-facing: forget the loaded trees, so the next call reads $KORVANE_HOME anew (a
// new home is picked up). Open handles stay valid and find their keys again by path.
void KvRegistryReload(void);
// Test-facing: the whole registry in its file format (UTF-8). Returns the length of the
// text; writes at most `size` - 1 bytes and a terminator when `out` is not null.
size_t KvRegistryDump(char* out, size_t size);

}  // extern "C"

namespace kv {

inline std::string RegistryDump() {
  size_t n = KvRegistryDump(nullptr, 0);
  std::string text(n + 1, '\0');
  n = KvRegistryDump(text.data(), text.size());
  text.resize(n);
  return text;
}

}  // namespace kv
