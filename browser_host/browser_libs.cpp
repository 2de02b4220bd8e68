#include "browser_host/browser_libs.h"

namespace {

// A library handle and its looked-up entries, for the process (GUI thread only).
struct OptionalLibrary {
  const char* file;
  HMODULE handle = nullptr;

  HMODULE Load() {
    if (!handle) handle = LoadLibraryA(file);
    return handle;
  }
  void Free() {
    if (handle) FreeLibrary(handle);
    handle = nullptr;
  }
};

OptionalLibrary html_help{"hhctrl.ocx"};
OptionalLibrary url_monikers{"URLMON.DLL"};
HMODULE resource_module = nullptr;

using HtmlHelpFn = HWND (*)(HWND, LPCSTR, UINT, DWORD_PTR);
using SetFeatureFn = HRESULT (*)(DWORD, DWORD, BOOL);
using IsFeatureFn = HRESULT (*)(DWORD, DWORD);

// An entry of "URLMON.DLL", kept once found; looked up again while it is missing.
template <class Fn>
Fn UrlMonikerEntry(Fn& slot, const char* name) {
  if (!slot) {
    if (HMODULE m = url_monikers.Load()) slot = kv::ProcAddress<Fn>(m, name);
  }
  return slot;
}

SetFeatureFn set_feature = nullptr;
IsFeatureFn is_feature = nullptr;

}  // namespace

int CallHtmlHelp(HWND Wnd, const AnsiString& FileName, UINT Command, DWORD_PTR Data) {
  HMODULE m = html_help.Load();
  if (!m) return 0;
  auto entry = kv::ProcAddress<HtmlHelpFn>(m, "HtmlHelpA");
  if (!entry) return 0;
  return static_cast<int>(reinterpret_cast<intptr_t>(entry(Wnd, FileName.c_str(), Command, Data)));
}

HRESULT SetBrowserFeatureEnabled(DWORD Feature, DWORD Flags, bool Enable) {
  SetFeatureFn entry = UrlMonikerEntry(set_feature, "CoInternetSetFeatureEnabled");
  if (!entry) return E_NOTIMPL;
  return entry(Feature, Flags, Enable ? -1 : 0);
}

HRESULT IsBrowserFeatureEnabled(DWORD Feature, DWORD Flags) {
  IsFeatureFn entry = UrlMonikerEntry(is_feature, "CoInternetIsFeatureEnabled");
  if (!entry) return E_NOTIMPL;
  return entry(Feature, Flags);
}

HMODULE GetBrowserResourceModule() {
  if (!resource_module) resource_module = GetModuleHandleA("SHDOCLC.DLL");
  if (!resource_module) resource_module = LoadLibraryA("SHDOCLC.DLL");
  return resource_module;
}

void FreeBrowserLibraries() {
  html_help.Free();
  url_monikers.Free();
  set_feature = nullptr;
  is_feature = nullptr;
}
