// File version records: the version resources of the platform's own files, kept as
// records by file name (the folder and the letter case do not matter), since no file here
// carries a resource. "shdocvw.dll" holds "6.00.2900.2180" from the start; tests change
// or remove records with KvSetFileVersion.
//
// A version block has one translation (language 0x0409, code page 0x04B0) and one
// string, "FileVersion": VerQueryValue answers "\VarFileInfo\Translation" and
// "\StringFileInfo\040904b0\FileVersion" (hex digits in either case).
#pragma once

#include "platform/base/types.h"

extern "C" {

#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L

// The block size, or 0 with ERROR_RESOURCE_TYPE_NOT_FOUND when the file has no record.
// *handle (when given) is set to 0.
DWORD GetFileVersionInfoSizeA(LPCSTR file_name, LPDWORD handle);
// Copies the block; FALSE with ERROR_INSUFFICIENT_BUFFER when `length` is smaller than
// the size, ERROR_RESOURCE_TYPE_NOT_FOUND without a record.
BOOL GetFileVersionInfoA(LPCSTR file_name, DWORD handle, DWORD length, LPVOID data);
// *buffer points into the block; *length: the translation's bytes (4) or the string's
// characters with the terminator. FALSE for any other sub-block.
BOOL VerQueryValueA(LPCVOID block, LPCSTR sub_block, LPVOID* buffer, UINT* length);

// Sets the version text of a file name's record; a null text removes the record.
void KvSetFileVersion(LPCSTR file_name, LPCSTR version);
// Back to the records of the start.
void KvResetFileVersions(void);

}  // extern "C"
