// The shell's file information: a file's type name and icon, by its path on disk or, with
// SHGFI_USEFILEATTRIBUTES, by its name and the given attributes alone.
//
// Type names come from the registry's classes (HKEY_CLASSES_ROOT\.ext names a class whose
// default value is the type name); an extension without one is "<EXT> File", a name
// without extension "File", a folder "File Folder". Icons are new pictures the caller
// destroys with DestroyIcon: a page for files, a folder for folders, 32 x 32
// (SHGFI_LARGEICON) or 16 x 16 (SHGFI_SMALLICON). Only these flags are known: any other
// answers 0 with ERROR_NOT_SUPPORTED. A bad argument answers 0 with
// ERROR_INVALID_PARAMETER, a path that is not there (without SHGFI_USEFILEATTRIBUTES) 0
// with the error of GetFileAttributes. Success answers 1.
#pragma once

#include "platform/base/file.h"
#include "platform/user/user.h"

extern "C" {

#define SHGFI_LARGEICON 0x00000000
#define SHGFI_SMALLICON 0x00000001
#define SHGFI_USEFILEATTRIBUTES 0x00000010
#define SHGFI_ICON 0x00000100
#define SHGFI_TYPENAME 0x00000400

typedef struct _SHFILEINFOA {
  HICON hIcon;
  int iIcon;
  DWORD dwAttributes;
  CHAR szDisplayName[MAX_PATH];
  CHAR szTypeName[80];
} SHFILEINFOA;

DWORD_PTR SHGetFileInfoA(LPCSTR path, DWORD file_attributes, SHFILEINFOA* info, UINT info_size, UINT flags);

}  // extern "C"
