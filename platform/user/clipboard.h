// An in-process clipboard: standard formats and formats registered by name.
//
// Data handed to SetClipboardData belongs to the clipboard from then on: global memory
// blocks are freed with GlobalFree, CF_BITMAP / CF_PALETTE objects with DeleteObject when
// the clipboard is emptied. The clipboard is opened by one thread at a time.
#pragma once

#include "platform/base/types.h"

extern "C" {

#define CF_TEXT 1
#define CF_BITMAP 2
#define CF_METAFILEPICT 3
#define CF_OEMTEXT 7
#define CF_DIB 8
#define CF_PALETTE 9
#define CF_UNICODETEXT 13
#define CF_ENHMETAFILE 14
#define CF_HDROP 15
#define CF_DIBV5 17

// 0xC000..0xFFFF for a name (the same number for the same name, any letter case);
// 0 for an empty or null name (ERROR_INVALID_PARAMETER).
UINT RegisterClipboardFormatA(LPCSTR name);
UINT RegisterClipboardFormatW(LPCWSTR name);
// Name of a registered format; 0 for standard or unknown formats.
int GetClipboardFormatNameA(UINT format, LPSTR name, int cchMax);
int GetClipboardFormatNameW(UINT format, LPWSTR name, int cchMax);

// FALSE (ERROR_ACCESS_DENIED) while another thread holds the clipboard open.
BOOL OpenClipboard(HWND owner);
BOOL CloseClipboard(void);
// Needs the clipboard open; frees all data; the opener becomes the owner.
BOOL EmptyClipboard(void);
// Needs the clipboard open and emptied by this opener. Replaces data of the same format.
HANDLE SetClipboardData(UINT format, HANDLE data);
// Needs the clipboard open; NULL when the format is absent.
HANDLE GetClipboardData(UINT format);
BOOL IsClipboardFormatAvailable(UINT format);
int CountClipboardFormats(void);
// 0 starts; answers 0 after the last one.
UINT EnumClipboardFormats(UINT format);
HWND GetClipboardOwner(void);

}  // extern "C"
