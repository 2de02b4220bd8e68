// Files and directories through Windows-style paths (see path.h for the mapping), the
// generic I/O calls that devices share (ReadFile, WriteFile, DeviceIoControl with
// OVERLAPPED), and an atomic whole-file writer.
#pragma once

#include <cstddef>

#include "platform/base/time.h"
#include "platform/base/types.h"

extern "C" {

#define GENERIC_READ 0x80000000
#define GENERIC_WRITE 0x40000000
#define GENERIC_EXECUTE 0x20000000
#define GENERIC_ALL 0x10000000

#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFF

#define FILE_FLAG_WRITE_THROUGH 0x80000000
#define FILE_FLAG_OVERLAPPED 0x40000000
#define FILE_FLAG_NO_BUFFERING 0x20000000
#define FILE_FLAG_RANDOM_ACCESS 0x10000000
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000

#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define INVALID_SET_FILE_POINTER 0xFFFFFFFF
#define INVALID_FILE_SIZE 0xFFFFFFFF

#define MOVEFILE_REPLACE_EXISTING 0x00000001
#define MOVEFILE_COPY_ALLOWED 0x00000002
#define MOVEFILE_DELAY_UNTIL_REBOOT 0x00000004
#define MOVEFILE_WRITE_THROUGH 0x00000008

// Internal of an OVERLAPPED whose operation has not finished yet.
#define STATUS_PENDING 0x00000103
#define HasOverlappedIoCompleted(ov) ((ov)->Internal != STATUS_PENDING)

// Internal: STATUS_PENDING while the operation runs, then its status (0 on success;
// GetOverlappedResult gives the error code of a failure); InternalHigh: bytes
// transferred. Offset/OffsetHigh: the file position for files (both 0xFFFFFFFF: append
// when writing). hEvent (may be NULL): reset when the operation starts, set when it ends.
typedef struct _OVERLAPPED {
  ULONG_PTR Internal;
  ULONG_PTR InternalHigh;
  DWORD Offset;
  DWORD OffsetHigh;
  HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

typedef struct _WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  CHAR cFileName[MAX_PATH];
  CHAR cAlternateFileName[14];
} WIN32_FIND_DATAA, *LPWIN32_FIND_DATAA;

typedef struct _WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  WCHAR cFileName[MAX_PATH];
  WCHAR cAlternateFileName[14];
} WIN32_FIND_DATAW, *LPWIN32_FIND_DATAW;

// Opens a file, or a device name ("\\.\NAME") that a device area has registered.
// Share modes are enforced among the handles of this process (ERROR_SHARING_VIOLATION).
// On success, CREATE_ALWAYS and OPEN_ALWAYS leave ERROR_ALREADY_EXISTS when the file
// existed, 0 otherwise. Failure: INVALID_HANDLE_VALUE.
HANDLE CreateFileA(LPCSTR file_name, DWORD access, DWORD share_mode, LPSECURITY_ATTRIBUTES attributes, DWORD creation,
                   DWORD flags, HANDLE template_file);
HANDLE CreateFileW(LPCWSTR file_name, DWORD access, DWORD share_mode, LPSECURITY_ATTRIBUTES attributes, DWORD creation,
                   DWORD flags, HANDLE template_file);

// With an OVERLAPPED, a file is read/written at its Offset and the operation completes at
// once (the event set); a device may complete later: FALSE with ERROR_IO_PENDING, then
// GetOverlappedResult. Reading at the end of a file: TRUE with 0 bytes (overlapped:
// FALSE with ERROR_HANDLE_EOF).
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD to_read, LPDWORD read, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD to_write, LPDWORD written, LPOVERLAPPED overlapped);
BOOL DeviceIoControl(HANDLE device, DWORD io_control_code, LPVOID in_buffer, DWORD in_size, LPVOID out_buffer,
                     DWORD out_size, LPDWORD bytes_returned, LPOVERLAPPED overlapped);
// `wait` TRUE blocks until the operation is done; FALSE gives ERROR_IO_INCOMPLETE while
// it runs. FALSE with the operation's error when it failed.
BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait);
// Cancels this handle's pending operations (they complete with ERROR_OPERATION_ABORTED).
BOOL CancelIo(HANDLE file);

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distance_high, DWORD method);
BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, LARGE_INTEGER* new_position, DWORD method);
DWORD GetFileSize(HANDLE file, LPDWORD size_high);
BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size);
BOOL SetEndOfFile(HANDLE file);
BOOL FlushFileBuffers(HANDLE file);

BOOL DeleteFileA(LPCSTR file_name);
BOOL DeleteFileW(LPCWSTR file_name);
// Fails with ERROR_ALREADY_EXISTS when the target exists.
BOOL MoveFileA(LPCSTR existing, LPCSTR new_name);
BOOL MoveFileW(LPCWSTR existing, LPCWSTR new_name);
// MOVEFILE_REPLACE_EXISTING replaces the target atomically (rename);
// MOVEFILE_COPY_ALLOWED copies across file systems; MOVEFILE_WRITE_THROUGH syncs;
// MOVEFILE_DELAY_UNTIL_REBOOT is not supported (ERROR_NOT_SUPPORTED).
BOOL MoveFileExA(LPCSTR existing, LPCSTR new_name, DWORD flags);
BOOL MoveFileExW(LPCWSTR existing, LPCWSTR new_name, DWORD flags);
// ERROR_FILE_EXISTS when `fail_if_exists` and the target exists.
BOOL CopyFileA(LPCSTR existing, LPCSTR new_name, BOOL fail_if_exists);
BOOL CopyFileW(LPCWSTR existing, LPCWSTR new_name, BOOL fail_if_exists);
DWORD GetFileAttributesA(LPCSTR file_name);
DWORD GetFileAttributesW(LPCWSTR file_name);
BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES attributes);
BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES attributes);
BOOL RemoveDirectoryA(LPCSTR path);
BOOL RemoveDirectoryW(LPCWSTR path);

// Wildcards "*" and "?" in the last component, matched without letter case; "*.*" matches
// every name. "." and ".." are listed as the platform lists them. No match:
// INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND (ERROR_PATH_NOT_FOUND for a missing
// folder); the end of the list: FALSE with ERROR_NO_MORE_FILES.
HANDLE FindFirstFileA(LPCSTR file_name, LPWIN32_FIND_DATAA find_data);
HANDLE FindFirstFileW(LPCWSTR file_name, LPWIN32_FIND_DATAW find_data);
BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA find_data);
BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW find_data);
BOOL FindClose(HANDLE find);

// Writes a whole file so that readers (and a crash at any moment) see either the old
// content or the new one: a temporary file in the same folder, fsync, rename, fsync of
// the folder. `posix_path` is a file-system path (not mapped). FALSE with the last error.
// Temporary files that killed writers left beside the file are removed by the next write.
BOOL KvWriteFileAtomic(const char* posix_path, const void* data, size_t size);
// The same, with the permission bits a new file gets (KvWriteFileAtomic: 0644); a file
// that exists keeps its own.
BOOL KvWriteFileAtomicMode(const char* posix_path, const void* data, size_t size, unsigned new_file_mode);

// The same for a file written in pieces: KvAtomicFileOpen makes the temporary file (NULL
// with the last error), KvAtomicFileWrite appends to it, KvAtomicFileCommit puts it in
// place as above and KvAtomicFileAbort removes it; either of the two frees the writer.
// After a failed write the commit fails too, so a file is whole or not there.
typedef struct KvAtomicFile KvAtomicFile;
KvAtomicFile* KvAtomicFileOpen(const char* posix_path);
BOOL KvAtomicFileWrite(KvAtomicFile* file, const void* data, size_t size);
BOOL KvAtomicFileCommit(KvAtomicFile* file);
void KvAtomicFileAbort(KvAtomicFile* file);

}  // extern "C"
