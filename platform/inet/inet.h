// The internet API ("wininet.dll"): URL cracking, synchronous requests, the process
// proxy setting and the URL cache.
//
// Every http(s) request carries User-Agent, Accept-Language "zh-cn", Accept-Encoding
// gzip, the Referer when known and the Cookie header from the process cookie jar;
// the jar takes every Set-Cookie, redirect hops included. The proxy is one process
// setting, direct at start; proxy variables of the environment never apply.
//
// Synchronous calls dispatch no application messages. Failures set the last error:
// 12029 refused, 12007 name not resolved, 12002 time-out, 12005 invalid URL,
// 12006 unknown scheme, 12030 connection reset, 12175 TLS failure.
//
// Structure sizes the callers fill in (URL_COMPONENTS 60, the option list 20) are
// accepted as given: the layouts are our own.
#pragma once

#include "platform/base/time.h"
#include "platform/base/types.h"

extern "C" {

typedef void* HINTERNET;
typedef WORD INTERNET_PORT;
typedef LONGLONG GROUPID;

// ---- Errors.
#define ERROR_INTERNET_TIMEOUT 12002L
#define ERROR_INTERNET_INTERNAL_ERROR 12004L
#define ERROR_INTERNET_INVALID_URL 12005L
#define ERROR_INTERNET_UNRECOGNIZED_SCHEME 12006L
#define ERROR_INTERNET_NAME_NOT_RESOLVED 12007L
#define ERROR_INTERNET_INVALID_OPTION 12009L
#define ERROR_INTERNET_BAD_OPTION_LENGTH 12010L
#define ERROR_INTERNET_INCORRECT_HANDLE_TYPE 12018L
#define ERROR_INTERNET_CANNOT_CONNECT 12029L
#define ERROR_INTERNET_CONNECTION_ABORTED 12030L
#define ERROR_HTTP_HEADER_NOT_FOUND 12150L
#define ERROR_HTTP_INVALID_SERVER_RESPONSE 12152L
#define ERROR_HTTP_INVALID_QUERY_REQUEST 12154L
#define ERROR_HTTP_REDIRECT_FAILED 12156L
#define ERROR_INTERNET_SECURE_FAILURE 12175L

// ---- InternetCrackUrl.
typedef enum {
  INTERNET_SCHEME_PARTIAL = -2,
  INTERNET_SCHEME_UNKNOWN = -1,
  INTERNET_SCHEME_DEFAULT = 0,
  INTERNET_SCHEME_FTP = 1,
  INTERNET_SCHEME_GOPHER = 2,
  INTERNET_SCHEME_HTTP = 3,
  INTERNET_SCHEME_HTTPS = 4,
  INTERNET_SCHEME_FILE = 5,
  INTERNET_SCHEME_NEWS = 6,
  INTERNET_SCHEME_MAILTO = 7,
  INTERNET_SCHEME_SOCKS = 8,
  INTERNET_SCHEME_JAVASCRIPT = 9,
  INTERNET_SCHEME_VBSCRIPT = 10,
  INTERNET_SCHEME_RES = 11
} INTERNET_SCHEME;

#define INTERNET_INVALID_PORT_NUMBER 0
#define INTERNET_DEFAULT_FTP_PORT 21
#define INTERNET_DEFAULT_GOPHER_PORT 70
#define INTERNET_DEFAULT_HTTP_PORT 80
#define INTERNET_DEFAULT_HTTPS_PORT 443

// Decodes %XX escapes in every component copied out.
#define ICU_DECODE 0x10000000
// Decodes %XX escapes in the path and the extra information.
#define ICU_ESCAPE 0x80000000

// Per component: pointer NULL and length 0: not wanted; pointer NULL and length not 0:
// the pointer is set into the URL and the length to the component's (no decoding then);
// a buffer: the length is its size in characters, terminator included; on success it is
// the length copied (terminator excluded), when short ERROR_INSUFFICIENT_BUFFER with the
// size needed (terminator included). The extra information is the query and fragment.
typedef struct {
  DWORD dwStructSize;
  LPSTR lpszScheme;
  DWORD dwSchemeLength;
  INTERNET_SCHEME nScheme;
  LPSTR lpszHostName;
  DWORD dwHostNameLength;
  INTERNET_PORT nPort;
  LPSTR lpszUserName;
  DWORD dwUserNameLength;
  LPSTR lpszPassword;
  DWORD dwPasswordLength;
  LPSTR lpszUrlPath;
  DWORD dwUrlPathLength;
  LPSTR lpszExtraInfo;
  DWORD dwExtraInfoLength;
} URL_COMPONENTSA;

typedef struct {
  DWORD dwStructSize;
  LPWSTR lpszScheme;
  DWORD dwSchemeLength;
  INTERNET_SCHEME nScheme;
  LPWSTR lpszHostName;
  DWORD dwHostNameLength;
  INTERNET_PORT nPort;
  LPWSTR lpszUserName;
  DWORD dwUserNameLength;
  LPWSTR lpszPassword;
  DWORD dwPasswordLength;
  LPWSTR lpszUrlPath;
  DWORD dwUrlPathLength;
  LPWSTR lpszExtraInfo;
  DWORD dwExtraInfoLength;
} URL_COMPONENTSW;

// `url_length` 0: NUL-terminated. A bracketed IPv6 host is given without its brackets.
// ERROR_INTERNET_UNRECOGNIZED_SCHEME without "scheme:", ERROR_INTERNET_INVALID_URL for
// a malformed authority or port, ERROR_INVALID_PARAMETER for bad arguments or a decode
// asked for a component without a buffer.
BOOL InternetCrackUrlA(LPCSTR url, DWORD url_length, DWORD flags, URL_COMPONENTSA* components);
BOOL InternetCrackUrlW(LPCWSTR url, DWORD url_length, DWORD flags, URL_COMPONENTSW* components);

// ---- Sessions and requests.
#define INTERNET_OPEN_TYPE_PRECONFIG 0
#define INTERNET_OPEN_TYPE_DIRECT 1
#define INTERNET_OPEN_TYPE_PROXY 3
#define INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY 4

#define INTERNET_SERVICE_FTP 1
#define INTERNET_SERVICE_GOPHER 2
#define INTERNET_SERVICE_HTTP 3

#define INTERNET_FLAG_RELOAD 0x80000000
#define INTERNET_FLAG_NO_CACHE_WRITE 0x04000000
#define INTERNET_FLAG_NO_AUTO_REDIRECT 0x00200000
#define INTERNET_FLAG_NO_COOKIES 0x00080000
#define INTERNET_FLAG_NO_UI 0x00000200

// Access types 0, 1 and 4 use the process proxy setting; 3 (a proxy of its own) fails
// with ERROR_NOT_SUPPORTED. `agent` becomes the User-Agent of its requests.
HINTERNET InternetOpenA(LPCSTR agent, DWORD access_type, LPCSTR proxy, LPCSTR bypass, DWORD flags);
HINTERNET InternetOpenW(LPCWSTR agent, DWORD access_type, LPCWSTR proxy, LPCWSTR bypass, DWORD flags);
// Makes a connection handle only (no network exchange).
HINTERNET InternetConnectA(HINTERNET session, LPCSTR server, INTERNET_PORT port, LPCSTR user, LPCSTR password,
                           DWORD service, DWORD flags, DWORD_PTR context);
HINTERNET InternetConnectW(HINTERNET session, LPCWSTR server, INTERNET_PORT port, LPCWSTR user, LPCWSTR password,
                           DWORD service, DWORD flags, DWORD_PTR context);
// Runs the whole GET (http, https; redirects followed) and answers the request handle
// once the response is complete; the body is not kept. `headers` are extra request
// lines (length -1 or 0: NUL-terminated).
HINTERNET InternetOpenUrlA(HINTERNET session, LPCSTR url, LPCSTR headers, DWORD headers_length, DWORD flags,
                           DWORD_PTR context);
HINTERNET InternetOpenUrlW(HINTERNET session, LPCWSTR url, LPCWSTR headers, DWORD headers_length, DWORD flags,
                           DWORD_PTR context);
BOOL InternetCloseHandle(HINTERNET handle);

#define HTTP_QUERY_CONTENT_TYPE 1
#define HTTP_QUERY_CONTENT_LENGTH 5
#define HTTP_QUERY_LAST_MODIFIED 11
#define HTTP_QUERY_VERSION 18
#define HTTP_QUERY_STATUS_CODE 19
#define HTTP_QUERY_STATUS_TEXT 20
#define HTTP_QUERY_RAW_HEADERS 21
#define HTTP_QUERY_RAW_HEADERS_CRLF 22
#define HTTP_QUERY_LOCATION 33
#define HTTP_QUERY_ACCEPT_RANGES 42
#define HTTP_QUERY_CONTENT_DISPOSITION 47
#define HTTP_QUERY_CUSTOM 65535
#define HTTP_QUERY_FLAG_NUMBER 0x20000000
// Answers the final response's information `info_level` (with HTTP_QUERY_FLAG_NUMBER a
// DWORD); HTTP_QUERY_CUSTOM takes the header's name from the buffer. `length` is in bytes:
// on success the bytes written without the terminator; when short
// ERROR_INSUFFICIENT_BUFFER with the bytes needed; ERROR_HTTP_HEADER_NOT_FOUND when
// absent. `index` (may be NULL) picks the n-th header of that name and moves on.
BOOL HttpQueryInfoA(HINTERNET request, DWORD info_level, LPVOID buffer, LPDWORD length, LPDWORD index);
BOOL HttpQueryInfoW(HINTERNET request, DWORD info_level, LPVOID buffer, LPDWORD length, LPDWORD index);

// ---- Options: the process proxy.
#define INTERNET_OPTION_REFRESH 37
#define INTERNET_OPTION_SETTINGS_CHANGED 39
#define INTERNET_OPTION_PER_CONNECTION_OPTION 75

#define INTERNET_PER_CONN_FLAGS 1
#define INTERNET_PER_CONN_PROXY_SERVER 2
#define INTERNET_PER_CONN_PROXY_BYPASS 3
#define INTERNET_PER_CONN_AUTOCONFIG_URL 4
#define INTERNET_PER_CONN_AUTODISCOVERY_FLAGS 5

#define PROXY_TYPE_DIRECT 0x00000001
#define PROXY_TYPE_PROXY 0x00000002
#define PROXY_TYPE_AUTO_PROXY_URL 0x00000004
#define PROXY_TYPE_AUTO_DETECT 0x00000008

typedef struct {
  DWORD dwOption;
  union {
    DWORD dwValue;
    LPSTR pszValue;
    FILETIME ftValue;
  } Value;
} INTERNET_PER_CONN_OPTIONA;

typedef struct {
  DWORD dwOption;
  union {
    DWORD dwValue;
    LPWSTR pszValue;
    FILETIME ftValue;
  } Value;
} INTERNET_PER_CONN_OPTIONW;

typedef struct {
  DWORD dwSize;
  LPSTR pszConnection;
  DWORD dwOptionCount;
  DWORD dwOptionError;
  INTERNET_PER_CONN_OPTIONA* pOptions;
} INTERNET_PER_CONN_OPTION_LISTA;

typedef struct {
  DWORD dwSize;
  LPWSTR pszConnection;
  DWORD dwOptionCount;
  DWORD dwOptionError;
  INTERNET_PER_CONN_OPTIONW* pOptions;
} INTERNET_PER_CONN_OPTION_LISTW;

// Option 75 sets (or reads back) the process proxy from options 1 (PROXY_TYPE_PROXY
// set: use the server), 2 ("host:port"; empty: direct) and 3 (the bypass list, ";" or
// " " separated; "<local>" bypasses names without a dot and loopback addresses); the
// other options are accepted and kept. Read-back strings are allocated with
// GlobalAlloc (free with GlobalFree). Options 37 and 39 answer TRUE. Any handle or NULL
// names the process setting; other options fail with ERROR_INTERNET_INVALID_OPTION.
BOOL InternetSetOptionA(HINTERNET handle, DWORD option, LPVOID buffer, DWORD length);
BOOL InternetSetOptionW(HINTERNET handle, DWORD option, LPVOID buffer, DWORD length);
BOOL InternetQueryOptionA(HINTERNET handle, DWORD option, LPVOID buffer, LPDWORD length);
BOOL InternetQueryOptionW(HINTERNET handle, DWORD option, LPVOID buffer, LPDWORD length);

// ---- The URL cache.
#define NORMAL_CACHE_ENTRY 0x00000001
#define STABLE_CACHE_ENTRY 0x00000002
#define STICKY_CACHE_ENTRY 0x00000004
#define TRACK_OFFLINE_CACHE_ENTRY 0x00000010
#define TRACK_ONLINE_CACHE_ENTRY 0x00000020
#define SPARSE_CACHE_ENTRY 0x00010000
#define OCX_CACHE_ENTRY 0x00020000
#define COOKIE_CACHE_ENTRY 0x00100000
#define URLHISTORY_CACHE_ENTRY 0x00200000

typedef struct _INTERNET_CACHE_ENTRY_INFOA {
  DWORD dwStructSize;
  LPSTR lpszSourceUrlName;
  LPSTR lpszLocalFileName;
  DWORD CacheEntryType;
  DWORD dwUseCount;
  DWORD dwHitRate;
  DWORD dwSizeLow;
  DWORD dwSizeHigh;
  FILETIME LastModifiedTime;
  FILETIME ExpireTime;
  FILETIME LastAccessTime;
  FILETIME LastSyncTime;
  LPSTR lpHeaderInfo;
  DWORD dwHeaderInfoSize;
  LPSTR lpszFileExtension;
  union {
    DWORD dwReserved;
    DWORD dwExemptDelta;
  };
} INTERNET_CACHE_ENTRY_INFOA;

// Walks a snapshot of the cache taken by the first call, so entries deleted meanwhile
// are still walked (and deleting them again fails harmlessly). `pattern`: NULL every
// entry, "Cookie:" cookie entries ("Cookie:user@host/path", one per host and path of
// persistent cookies), "Visited:" history entries ("Visited: user@URL"), "" content
// entries, else a URL prefix. An entry matches when its type shares a bit with
// `filter` (0 matches nothing). The record and its texts go into `info`; when *size is
// short (or `info` NULL): ERROR_INSUFFICIENT_BUFFER with the size needed, and the walk
// stays where it was (the first call then answers NULL). No entry:
// ERROR_NO_MORE_ITEMS (259). Only group 0 exists.
HANDLE FindFirstUrlCacheEntryExA(LPCSTR pattern, DWORD flags, DWORD filter, GROUPID group,
                                 INTERNET_CACHE_ENTRY_INFOA* info, LPDWORD size, LPVOID group_attributes,
                                 LPDWORD group_attributes_size, LPVOID reserved);
BOOL FindNextUrlCacheEntryExA(HANDLE find, INTERNET_CACHE_ENTRY_INFOA* info, LPDWORD size, LPVOID group_attributes,
                              LPDWORD group_attributes_size, LPVOID reserved);
// FALSE with ERROR_INVALID_HANDLE for NULL or a handle that is not a find handle.
BOOL FindCloseUrlCache(HANDLE find);
// Deletes a content entry (its file too), the cookies of a "Cookie:" entry or the
// history entry of a "Visited:" one; FALSE with ERROR_FILE_NOT_FOUND when absent.
BOOL DeleteUrlCacheEntryA(LPCSTR url);
BOOL DeleteUrlCacheEntryW(LPCWSTR url);
BOOL DeleteUrlCacheEntry(LPCSTR url);

// Cache groups: none exist. FindFirstUrlCacheGroup answers NULL and FindNextUrlCacheGroup
// FALSE with ERROR_NO_MORE_ITEMS; the attribute calls fail with ERROR_FILE_NOT_FOUND.
HANDLE FindFirstUrlCacheGroup(DWORD flags, DWORD filter, LPVOID search_condition, DWORD search_condition_size,
                              GROUPID* group, LPVOID reserved);
BOOL FindNextUrlCacheGroup(HANDLE find, GROUPID* group, LPVOID reserved);
BOOL GetUrlCacheGroupAttributeA(GROUPID group, DWORD flags, DWORD attributes, LPVOID info, LPDWORD size,
                                LPVOID reserved);
BOOL SetUrlCacheGroupAttributeA(GROUPID group, DWORD flags, DWORD attributes, LPVOID info, LPVOID reserved);

// ---- Test-facing side.
// Recorders, copied as GetModuleFileName copies, one line each, printed live under
// KORVANE_TRACE=1; the Clear calls empty them.
// The proxy changes made so far ("flags=3 server=h:p bypass=<local>").
DWORD KvInetProxyLog(char* buffer, DWORD size);
void KvInetProxyLogClear(void);
// Every http(s) request as it starts ("GET <url>") and each response's head as it arrives
// ("302 <url>"), redirect hops and synchronous calls included.
DWORD KvInetNetworkLog(char* buffer, DWORD size);
void KvInetNetworkLogClear(void);
// Drops the process's in-memory network state (session cookies, the proxy setting,
// loaded stores) as a new process would start; the stores are read again from
// $KORVANE_HOME on next use.
void KvInetResetProcessState(void);

}  // extern "C"
