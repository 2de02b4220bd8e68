// The URL history store: the built-in class {3C374A40-BAE4-11CF-BF7D-00AA006946EE}
// (CoCreateInstance with CLSCTX_INPROC_SERVER) with IUrlHistoryStg2. One store per
// process, kept in $KORVANE_HOME/inet/history (written whole and atomically on every
// change); each entry is also the cache entry "Visited: user@URL" (inet.h).
#pragma once

#include "platform/com/com.h"

extern "C" {

typedef struct _STATURL {
  DWORD cbSize;
  LPWSTR pwcsUrl;    // task memory, freed by the caller
  LPWSTR pwcsTitle;  // task memory, freed by the caller (NULL without a title)
  FILETIME ftLastVisited;
  FILETIME ftLastUpdated;
  FILETIME ftExpires;
  DWORD dwFlags;
} STATURL;

#define STATURL_QUERYFLAG_ISCACHED 0x00010000
#define STATURL_QUERYFLAG_NOURL 0x00020000
#define STATURL_QUERYFLAG_NOTITLE 0x00040000
#define STATURL_QUERYFLAG_TOPLEVEL 0x00080000
#define STATURLFLAG_ISCACHED 0x00000001
#define STATURLFLAG_ISTOPLEVEL 0x00000002
#define ADDURL_ADDTOHISTORYANDCACHE 0
#define ADDURL_ADDTOCACHE 1

struct IEnumSTATURL : IUnknown {
  virtual HRESULT Next(ULONG count, STATURL* items, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumSTATURL** out) = 0;
  virtual HRESULT SetFilter(LPCOLESTR prefix, DWORD flags) = 0;
};

struct IUrlHistoryStg : IUnknown {
  virtual HRESULT AddUrl(LPCOLESTR url, LPCOLESTR title, DWORD flags) = 0;
  virtual HRESULT DeleteUrl(LPCOLESTR url, DWORD flags) = 0;
  // S_OK with *stat filled (`stat` may be NULL); an absent URL answers E_FAIL.
  virtual HRESULT QueryUrl(LPCOLESTR url, DWORD flags, STATURL* stat) = 0;
  virtual HRESULT BindToObject(LPCOLESTR url, REFIID riid, void** object) = 0;
  virtual HRESULT EnumUrls(IEnumSTATURL** out) = 0;
};

struct IUrlHistoryStg2 : IUrlHistoryStg {
  virtual HRESULT AddUrlAndNotify(LPCOLESTR url, LPCOLESTR title, DWORD flags, BOOL write_history,
                                  IUnknown* ole_command_target, IUnknown* reserved) = 0;
  virtual HRESULT ClearHistory() = 0;
};

inline constexpr CLSID CLSID_CUrlHistory = {
    0x3C374A40, 0xBAE4, 0x11CF, {0xBF, 0x7D, 0x00, 0xAA, 0x00, 0x69, 0x46, 0xEE}};
inline constexpr IID IID_IUrlHistoryStg = {
    0x3C374A41, 0xBAE4, 0x11CF, {0xBF, 0x7D, 0x00, 0xAA, 0x00, 0x69, 0x46, 0xEE}};
inline constexpr IID IID_IEnumSTATURL = {0x3C374A42, 0xBAE4, 0x11CF, {0xBF, 0x7D, 0x00, 0xAA, 0x00, 0x69, 0x46, 0xEE}};
inline constexpr IID IID_IUrlHistoryStg2 = {
    0xAFA0DC11, 0xC313, 0x11D0, {0x83, 0x1A, 0x00, 0xC0, 0x4F, 0xD5, 0xAE, 0x38}};

}  // extern "C"
