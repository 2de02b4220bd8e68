// Auto-completion of edit fields and the shell's light-weight utility module.
//
// "Shlwapi.dll" (a built-in module) exports DllGetVersion (answers 6.0, build 2900) and
// SHAutoComplete. The auto-complete object ({00BB2763-...}, a built-in class, with
// IAutoComplete and IAutoComplete2) completes an edit window from a source enumerator
// (IEnumString) given to Init: it subclasses the edit until the edit is destroyed.
//   ACO_AUTOAPPEND: a typed character with the caret at the end of the text appends the
//     rest of the first source entry that begins with the text (letter case ignored) and
//     selects the appended part; Backspace and Delete append nothing.
//   ACO_AUTOSUGGEST: the entries beginning with the text are listed in a popup list box
//     under the edit (at most 8 rows shown, scrolled beyond). Down and Up move through
//     the list and put the entry into the edit, Enter takes it (and still reaches the
//     edit), Escape closes the list and gives back the typed text, a click on an entry
//     takes it; losing the focus or an empty text closes the list.
// The other option flags are kept (GetOptions answers them) but change nothing, and the
// file system is no source: SHACF_FILESYSTEM adds nothing.
// The URL history source ({00BB2764-...}, a built-in class with IEnumString) lists the
// typed URLs of HKEY_CURRENT_USER "Software\Microsoft\Internet Explorer\TypedURLs"
// ("Url1" to "Url25") and then the URL history store's addresses, each once; Reset takes
// a fresh snapshot. SHAutoComplete sets up the object on the edit with that source; an
// edit that has one already is only given the new options.
#pragma once

#include "platform/com/com.h"
#include "platform/com/objidl.h"
#include "platform/user/user.h"

extern "C" {

typedef struct _DLLVERSIONINFO {
  DWORD cbSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformID;
} DLLVERSIONINFO;
#define DLLVER_PLATFORM_NT 0x00000002
// E_INVALIDARG for a null record or a cbSize other than sizeof(DLLVERSIONINFO).
HRESULT DllGetVersion(DLLVERSIONINFO* info);
typedef HRESULT (*DLLGETVERSIONPROC)(DLLVERSIONINFO*);

#define SHACF_DEFAULT 0x00000000
#define SHACF_FILESYSTEM 0x00000001
#define SHACF_URLHISTORY 0x00000002
#define SHACF_URLMRU 0x00000004
#define SHACF_URLALL (SHACF_URLHISTORY | SHACF_URLMRU)
#define SHACF_USETAB 0x00000008
#define SHACF_AUTOSUGGEST_FORCE_ON 0x10000000
#define SHACF_AUTOSUGGEST_FORCE_OFF 0x20000000
#define SHACF_AUTOAPPEND_FORCE_ON 0x40000000
#define SHACF_AUTOAPPEND_FORCE_OFF 0x80000000
// Without a FORCE flag suggestion is on and appending off. E_INVALIDARG for a window
// that is not an "Edit".
HRESULT SHAutoComplete(HWND edit, DWORD flags);
typedef HRESULT (*SHAUTOCOMPLETEPROC)(HWND, DWORD);

#define ACO_NONE 0x0000
#define ACO_AUTOSUGGEST 0x0001
#define ACO_AUTOAPPEND 0x0002
#define ACO_SEARCH 0x0004
#define ACO_FILTERPREFIXES 0x0008
#define ACO_USETAB 0x0010
#define ACO_UPDOWNKEYDROPSLIST 0x0020
#define ACO_RTLREADING 0x0040
#define ACO_WORDFILTER 0x0080
#define ACO_NOPREFIXFILTERING 0x0100

}  // extern "C"

struct IEnumString : IUnknown {
  // Each string is task memory the caller frees.
  virtual HRESULT Next(ULONG count, LPOLESTR* items, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumString** out) = 0;
};

struct IAutoComplete : IUnknown {
  // E_INVALIDARG without an "Edit" window or a source; E_UNEXPECTED when already set up.
  virtual HRESULT Init(HWND edit, IUnknown* source, LPCOLESTR reg_key_path, LPCOLESTR quick_complete) = 0;
  virtual HRESULT Enable(BOOL enable) = 0;
};
struct IAutoComplete2 : IAutoComplete {
  virtual HRESULT SetOptions(DWORD flags) = 0;
  virtual HRESULT GetOptions(DWORD* flags) = 0;
};

inline constexpr CLSID CLSID_AutoComplete = {
    0x00BB2763, 0x6A77, 0x11D0, {0xA5, 0x35, 0x00, 0xC0, 0x4F, 0xD7, 0xD0, 0x62}};
inline constexpr CLSID CLSID_ACLHistory = {
    0x00BB2764, 0x6A77, 0x11D0, {0xA5, 0x35, 0x00, 0xC0, 0x4F, 0xD7, 0xD0, 0x62}};
inline constexpr IID IID_IAutoComplete = {0x00BB2762, 0x6A77, 0x11D0, {0xA5, 0x35, 0x00, 0xC0, 0x4F, 0xD7, 0xD0, 0x62}};
inline constexpr IID IID_IAutoComplete2 = {
    0xEAC04BC0, 0x3791, 0x11D2, {0xBB, 0x95, 0x00, 0x60, 0x97, 0x7B, 0x46, 0x4C}};
inline constexpr IID IID_IEnumString = {0x00000101, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
