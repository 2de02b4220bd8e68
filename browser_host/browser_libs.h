// The optional platform libraries of the browser suite, loaded on first use and kept for
// the process: HTML Help ("hhctrl.ocx"), the URL-moniker feature controls ("URLMON.DLL")
// and the browser's resource module ("SHDOCLC.DLL"). A missing library or entry makes
// the calls answer 0 or E_NOTIMPL; a failed load or lookup is tried again next time.
#pragma once

#include "framework/core/sysutils.h"
#include "platform/base/module.h"
#include "platform/com/com.h"

// HtmlHelpA of "hhctrl.ocx" with the four arguments; 0 when the library or entry is missing.
int CallHtmlHelp(HWND Wnd, const AnsiString& FileName, UINT Command, DWORD_PTR Data);
// CoInternetSetFeatureEnabled / CoInternetIsFeatureEnabled of "URLMON.DLL" (S_OK =
// enabled); E_NOTIMPL when the entry is not available.
HRESULT SetBrowserFeatureEnabled(DWORD Feature, DWORD Flags, bool Enable);
HRESULT IsBrowserFeatureEnabled(DWORD Feature, DWORD Flags);
// The "SHDOCLC.DLL" handle (an already loaded module first), or 0.
HMODULE GetBrowserResourceModule();
// Shut-down: frees HTML Help and the URL-moniker library when they were loaded (the
// resource module stays).
void FreeBrowserLibraries();
