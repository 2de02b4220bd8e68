// Shell services: ShellExecute for folders and the shell UI helper's favourites.
//
// ShellExecute knows one action: showing a folder ("explore", or "open" / no verb on a
// folder). No folder view window exists here; the action is recorded ("explore <path>"
// per line, KvShellExecuteLog) and answered 42 as a success. A path that is no folder
// answers ERROR_FILE_NOT_FOUND (2), any other verb SE_ERR_NOASSOC (31); both record
// nothing.
//
// The shell UI helper ({64AB4BB7-111E-11D1-8F79-00C04FC2FBE1}, a built-in class) has
// AddFavorite: it asks with a message box (MB_OKCANCEL with Cancel the default, so an
// empty script queue cancels) and on OK writes "<Title>.url" into
// $KORVANE_HOME/Favorites as an internet shortcut. Characters a file name cannot hold
// (\ / : * ? " < > |, control characters) become "_"; an empty or dots-only title is
// refused with E_INVALIDARG.
#pragma once

#include "platform/com/com.h"
#include "platform/com/oleauto.h"

extern "C" {

#define SE_ERR_NOASSOC 31
HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory, INT show);
HINSTANCE ShellExecuteW(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory, INT show);

// The recorded actions, one per line; same length rules as KvInetProxyLog.
DWORD KvShellExecuteLog(char* buffer, DWORD size);
void KvShellExecuteLogClear(void);

}  // extern "C"

inline constexpr CLSID CLSID_ShellUIHelper = {
    0x64AB4BB7, 0x111E, 0x11D1, {0x8F, 0x79, 0x00, 0xC0, 0x4F, 0xC2, 0xFB, 0xE1}};
inline constexpr IID IID_IShellUIHelper = {0x729FE2F8, 0x1EA8, 0x11D1, {0x8F, 0x85, 0x00, 0xC0, 0x4F, 0xC2, 0xFB, 0xE1}};

struct IShellUIHelper : IDispatch {
  // Title: VT_BSTR (a missing title takes the URL).
  virtual HRESULT AddFavorite(BSTR url, VARIANT* title) = 0;
};
