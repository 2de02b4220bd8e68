// URL monikers ("URLMON.DLL"): asynchronous binds to a stream with the bind-status
// callback protocol, URLDownloadToFile, IsValidURL and the feature-control table.
//
// A bind runs on the thread that called BindToStorage: every callback after
// BindToStorage returns arrives as a task of that thread's message loop, so only inside
// GetMessage/PeekMessage/MsgWaitForMultipleObjects/Sleep of that thread, in this order:
//   inside BindToStorage: GetBindInfo(Ex), OnStartBinding, IHttpNegotiate
//     BeginningTransaction (a failure aborts); it returns MK_S_ASYNCHRONOUS;
//   then one task each: OnProgress 1, 2, 11; per redirect OnProgress 3 (the new URL)
//     and a new request; OnResponse (http; a failure aborts); OnProgress 13 (the MIME
//     type), 26 (an attachment), 4; per arrival OnProgress 5 then OnDataAvailable
//     (BSCF 1 the first time, then 2; Read gives the new bytes, then E_PENDING); at the
//     end OnProgress 6, OnDataAvailable(4 | 8), Read S_FALSE, OnStopBinding(S_OK).
// An HTTP status of 400 or more is delivered with its body, then OnStopBinding
// (INET_E_DOWNLOAD_FAILURE). Failures end with OnStopBinding(code) (INET_E_*).
// E_ABORT from a callback or IBinding::Abort: one OnStopBinding(E_ABORT) as the next task.
// A 401 asks IAuthenticate(Ex) (QueryInterface of the callback, else its
// IServiceProvider) for a user name and password; a bad server certificate asks
// IHttpSecurity::OnSecurityProblem, and S_OK from it accepts the certificate.
// BINDINFO.cbSize (84), the callers' size, is accepted as given: the layout is our own.
#pragma once

#include "platform/com/objidl.h"

extern "C" {

// ---- Results.
#define MK_S_ASYNCHRONOUS KV_HR(0x000401E8)
#define INET_E_INVALID_URL KV_HR(0x800C0002)
#define INET_E_NO_SESSION KV_HR(0x800C0003)
#define INET_E_CANNOT_CONNECT KV_HR(0x800C0004)
#define INET_E_RESOURCE_NOT_FOUND KV_HR(0x800C0005)
#define INET_E_OBJECT_NOT_FOUND KV_HR(0x800C0006)
#define INET_E_DATA_NOT_AVAILABLE KV_HR(0x800C0007)
#define INET_E_DOWNLOAD_FAILURE KV_HR(0x800C0008)
#define INET_E_AUTHENTICATION_REQUIRED KV_HR(0x800C0009)
#define INET_E_NO_VALID_MEDIA KV_HR(0x800C000A)
#define INET_E_CONNECTION_TIMEOUT KV_HR(0x800C000B)
#define INET_E_INVALID_REQUEST KV_HR(0x800C000C)
#define INET_E_UNKNOWN_PROTOCOL KV_HR(0x800C000D)
#define INET_E_SECURITY_PROBLEM KV_HR(0x800C000E)
#define INET_E_RESULT_DISPATCHED KV_HR(0x800C0011)
#define E_PENDING KV_HR(0x8000000A)

// ---- Bind flags, verbs, status codes, data flags.
#define BINDF_ASYNCHRONOUS 0x00000001
#define BINDF_ASYNCSTORAGE 0x00000002
#define BINDF_NOPROGRESSIVERENDERING 0x00000004
#define BINDF_OFFLINEOPERATION 0x00000008
#define BINDF_GETNEWESTVERSION 0x00000010
#define BINDF_NOWRITECACHE 0x00000020
#define BINDF_NEEDFILE 0x00000040
#define BINDF_PULLDATA 0x00000080
#define BINDF_IGNORESECURITYPROBLEM 0x00000100
#define BINDF_RESYNCHRONIZE 0x00000200
#define BINDF_NO_UI 0x00000800
#define BINDF_SILENTOPERATION 0x00001000
#define BINDF_PRAGMA_NO_CACHE 0x00002000

#define BINDVERB_GET 0
#define BINDVERB_POST 1
#define BINDVERB_PUT 2
#define BINDVERB_CUSTOM 3

#define BINDSTATUS_FINDINGRESOURCE 1
#define BINDSTATUS_CONNECTING 2
#define BINDSTATUS_REDIRECTING 3
#define BINDSTATUS_BEGINDOWNLOADDATA 4
#define BINDSTATUS_DOWNLOADINGDATA 5
#define BINDSTATUS_ENDDOWNLOADDATA 6
#define BINDSTATUS_SENDINGREQUEST 11
#define BINDSTATUS_MIMETYPEAVAILABLE 13
#define BINDSTATUS_CONTENTDISPOSITIONATTACH 26

#define BSCF_FIRSTDATANOTIFICATION 0x01
#define BSCF_INTERMEDIATEDATANOTIFICATION 0x02
#define BSCF_LASTDATANOTIFICATION 0x04
#define BSCF_DATAFULLYAVAILABLE 0x08
#define BSCF_AVAILABLEDATASIZEUNKNOWN 0x10

#define URL_MK_LEGACY 0
#define URL_MK_UNIFORM 1

// Security problems handed to IHttpSecurity::OnSecurityProblem.
#define ERROR_INTERNET_SEC_CERT_CN_INVALID 12038
#define ERROR_INTERNET_INVALID_CA 12045

typedef struct _tagBINDINFO {
  ULONG cbSize;
  LPWSTR szExtraInfo;
  STGMEDIUM stgmedData;  // POST data: TYMED_HGLOBAL, cbstgmedData bytes
  DWORD grfBindInfoF;
  DWORD dwBindVerb;
  LPWSTR szCustomVerb;
  DWORD cbstgmedData;
  DWORD dwOptions;
  DWORD dwOptionsFlags;
  DWORD dwCodePage;
  SECURITY_ATTRIBUTES securityAttributes;
  IID iid;
  IUnknown* pUnk;
  DWORD dwReserved;
} BINDINFO;

typedef struct _tagAUTHENTICATEINFO {
  DWORD dwFlags;
  DWORD dwReserved;
} AUTHENTICATEINFO;

typedef enum {
  MIMETYPEPROP = 0,
  USE_SRC_URL = 1,
  CLASSIDPROP = 2,
  TRUSTEDDOWNLOADPROP = 3,
  POPUPLEVELPROP = 4
} MONIKERPROPERTY;

// ---- Interfaces.
struct IBinding : IUnknown {
  virtual HRESULT Abort() = 0;
  virtual HRESULT Suspend() = 0;
  virtual HRESULT Resume() = 0;
  virtual HRESULT SetPriority(LONG priority) = 0;
  virtual HRESULT GetPriority(LONG* priority) = 0;
  virtual HRESULT GetBindResult(CLSID* protocol, DWORD* result, LPOLESTR* text, DWORD* reserved) = 0;
};

struct IBindStatusCallback : IUnknown {
  virtual HRESULT OnStartBinding(DWORD reserved, IBinding* binding) = 0;
  virtual HRESULT GetPriority(LONG* priority) = 0;
  virtual HRESULT OnLowResource(DWORD reserved) = 0;
  virtual HRESULT OnProgress(ULONG progress, ULONG progress_max, ULONG status, LPCWSTR text) = 0;
  virtual HRESULT OnStopBinding(HRESULT result, LPCWSTR error) = 0;
  virtual HRESULT GetBindInfo(DWORD* bindf, BINDINFO* info) = 0;
  virtual HRESULT OnDataAvailable(DWORD flags, DWORD size, FORMATETC* format, STGMEDIUM* medium) = 0;
  virtual HRESULT OnObjectAvailable(REFIID riid, IUnknown* object) = 0;
};

struct IBindStatusCallbackEx : IBindStatusCallback {
  virtual HRESULT GetBindInfoEx(DWORD* bindf, BINDINFO* info, DWORD* bindf2, DWORD* reserved) = 0;
};

struct IHttpNegotiate : IUnknown {
  virtual HRESULT BeginningTransaction(LPCWSTR url, LPCWSTR headers, DWORD reserved, LPWSTR* additional_headers) = 0;
  virtual HRESULT OnResponse(DWORD code, LPCWSTR response_headers, LPCWSTR request_headers,
                             LPWSTR* additional_request_headers) = 0;
};

struct IHttpNegotiate2 : IHttpNegotiate {
  virtual HRESULT GetRootSecurityId(BYTE* id, DWORD* size, DWORD_PTR reserved) = 0;
};

struct IHttpNegotiate3 : IHttpNegotiate2 {
  virtual HRESULT GetSerializedClientCertContext(BYTE** cert, DWORD* size) = 0;
};

struct IAuthenticate : IUnknown {
  virtual HRESULT Authenticate(HWND* window, LPWSTR* user_name, LPWSTR* password) = 0;
};

struct IAuthenticateEx : IAuthenticate {
  virtual HRESULT AuthenticateEx(HWND* window, LPWSTR* user_name, LPWSTR* password, AUTHENTICATEINFO* info) = 0;
};

struct IWindowForBindingUI : IUnknown {
  virtual HRESULT GetWindow(REFGUID reason, HWND* window) = 0;
};

struct IHttpSecurity : IWindowForBindingUI {
  virtual HRESULT OnSecurityProblem(DWORD problem) = 0;
};

struct ICodeInstall : IWindowForBindingUI {
  virtual HRESULT OnCodeInstallProblem(ULONG status, LPCWSTR destination, LPCWSTR source, DWORD reserved) = 0;
};

struct IMonikerProp : IUnknown {
  virtual HRESULT PutProperty(MONIKERPROPERTY property, LPCWSTR value) = 0;
};

// A host's download manager: takes over an undisplayed response (S_OK) or leaves it to the
// browser.
struct IDownloadManager : IUnknown {
  virtual HRESULT Download(IMoniker* moniker, IBindCtx* bind_context, DWORD bind_verb, LONG bindf, BINDINFO* bind_info,
                           LPCOLESTR headers, LPCOLESTR redirect, UINT code_page) = 0;
};

struct IWinInetInfo : IUnknown {
  virtual HRESULT QueryOption(DWORD option, LPVOID buffer, DWORD* size) = 0;
};

// QueryInfo answers as HttpQueryInfoA does (inet.h): ANSI text, `size` in bytes.
struct IWinInetHttpInfo : IWinInetInfo {
  virtual HRESULT QueryInfo(DWORD option, LPVOID buffer, DWORD* size, DWORD* flags, DWORD* reserved) = 0;
};

inline constexpr IID IID_IBinding = {0x79EAC9C0, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline constexpr IID IID_IBindStatusCallback = {
    0x79EAC9C1, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline constexpr IID IID_IBindStatusCallbackEx = {
    0xAAA74EF9, 0x8EE7, 0x4659, {0x88, 0xD9, 0xF8, 0xC5, 0x04, 0xDA, 0x73, 0xCC}};
inline constexpr IID IID_IAuthenticateEx = {
    0x2AD1EDAF, 0xD83D, 0x48B5, {0x9A, 0xDF, 0x03, 0xDB, 0xE1, 0x9F, 0x53, 0xBD}};
inline constexpr IID IID_IHttpNegotiate = {
    0x79EAC9D2, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline constexpr IID IID_IHttpNegotiate2 = {
    0x4F9F9FCB, 0xE0F4, 0x48EB, {0xB7, 0xAB, 0xFA, 0x2E, 0xA9, 0x36, 0x5C, 0xB4}};
inline constexpr IID IID_IHttpNegotiate3 = {
    0x57B6C80A, 0x34C2, 0x4602, {0xBC, 0x26, 0x66, 0xA0, 0x2F, 0xC5, 0x71, 0x53}};
inline constexpr IID IID_IWindowForBindingUI = {
    0x79EAC9D5, 0xBAFA, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline constexpr IID IID_IHttpSecurity = {0x79EAC9D7, 0xBAFA, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline constexpr IID IID_ICodeInstall = {0x79EAC9D1, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline constexpr IID IID_IWinInetInfo = {0x79EAC9D6, 0xBAFA, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline constexpr IID IID_IWinInetHttpInfo = {
    0x79EAC9D8, 0xBAFA, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline constexpr IID IID_IDownloadManager = {
    0x988934A4, 0x064B, 0x11D3, {0xBB, 0x80, 0x00, 0x10, 0x4B, 0x35, 0xE7, 0xF9}};
inline constexpr IID IID_IMonikerProp = {0xA5CA5F7F, 0x1847, 0x4D87, {0x9C, 0x5B, 0x91, 0x85, 0x09, 0xF7, 0x51, 0x1D}};
inline constexpr CLSID CLSID_StdURLMoniker = {
    0x79EAC9E0, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};

// ---- Functions.
// `context` (may be NULL) resolves a relative URL against its display name. INET_E_*:
// E_INVALIDARG for a null URL or out pointer.
HRESULT CreateURLMonikerEx(IMoniker* context, LPCWSTR url, IMoniker** moniker, DWORD flags);
HRESULT CreateURLMoniker(IMoniker* context, LPCWSTR url, IMoniker** moniker);
// A bind context with `callback` registered under "_BSCB_Holder_" (formats ignored).
HRESULT CreateAsyncBindCtx(DWORD reserved, IBindStatusCallback* callback, void* formats, IBindCtx** out);
HRESULT CreateBindCtx(DWORD reserved, IBindCtx** out);
// Makes `callback` the holder; *previous (may be NULL) receives the former holder, or
// NULL when there was none or it is the same object.
HRESULT RegisterBindStatusCallback(IBindCtx* bc, IBindStatusCallback* callback, IBindStatusCallback** previous,
                                   DWORD reserved);
// S_OK when `callback` is the holder (it is removed); E_FAIL otherwise.
HRESULT RevokeBindStatusCallback(IBindCtx* bc, IBindStatusCallback* callback);
// Synchronous: dispatches no application messages. `callback` (may be NULL) is told
// OnProgress 4 and 6 and OnStopBinding. The file is written whole or not at all.
HRESULT URLDownloadToFileW(IUnknown* caller, LPCWSTR url, LPCWSTR file, DWORD reserved, IBindStatusCallback* callback);
HRESULT URLDownloadToFileA(IUnknown* caller, LPCSTR url, LPCSTR file, DWORD reserved, IBindStatusCallback* callback);
// S_OK for a well-formed URL of a known scheme (http, https, ftp, file, about, mailto,
// javascript, res), S_FALSE otherwise, E_INVALIDARG for NULL.
HRESULT IsValidURL(IBindCtx* bc, LPCWSTR url, DWORD reserved);

// Feature controls: a process table for features 0..28 (E_FAIL beyond); only 21
// (navigation sounds) acts, on the browser's navigation sound.
#define SET_FEATURE_ON_THREAD 0x00000001
#define SET_FEATURE_ON_PROCESS 0x00000002
#define GET_FEATURE_FROM_PROCESS 0x00000002
#define FEATURE_DISABLE_NAVIGATION_SOUNDS 21
#define FEATURE_ENTRY_COUNT 28
HRESULT CoInternetSetFeatureEnabled(DWORD feature, DWORD flags, BOOL enable);
// S_OK enabled, S_FALSE disabled.
HRESULT CoInternetIsFeatureEnabled(DWORD feature, DWORD flags);

}  // extern "C"
