// Internals shared by the sources of platform/inet (C++, never across the library's
// boundary): URL parts, responses, one HTTP exchange over libcurl, the per-thread pump,
// the process proxy, the cookie jar and the cache and history stores.
#pragma once

#include <curl/curl.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/internal.h"
#include "platform/base/path.h"
#include "platform/inet/inet.h"
#include "platform/inet/urlmon.h"

namespace kv::inet {

// libcurl, loaded (and globally initialised) on first use, so that a process that never
// fetches a URL never maps it nor the TLS, SSH, LDAP and Kerberos libraries it pulls in.
// Members are the functions without their "curl_" prefix.
#define KV_CURL_FUNCTIONS(X) \
  X(easy_cleanup)            \
  X(easy_escape)             \
  X(easy_init)               \
  X(easy_perform)            \
  X(easy_setopt)             \
  X(easy_strerror)           \
  X(free)                    \
  X(getdate)                 \
  X(global_init)             \
  X(multi_add_handle)        \
  X(multi_cleanup)           \
  X(multi_info_read)         \
  X(multi_init)              \
  X(multi_perform)           \
  X(multi_poll)              \
  X(multi_remove_handle)     \
  X(slist_append)            \
  X(slist_free_all)          \
  X(url)                     \
  X(url_cleanup)             \
  X(url_get)                 \
  X(url_set)

struct CurlLibrary {
#define KV_CURL_POINTER(name) decltype(&::curl_##name) name = nullptr;
  KV_CURL_FUNCTIONS(KV_CURL_POINTER)
#undef KV_CURL_POINTER
};

// nullptr when libcurl.so.4 or one of its functions is missing: then no URL can be
// fetched (exchanges fail to prepare).
const CurlLibrary* Curl();

// ---- Text.
std::string Lower(std::string_view s);
bool StartsWithNoCase(std::string_view s, std::string_view prefix);
std::string Trim(std::string_view s);
// Decodes %XX escapes (malformed ones stay as they are).
std::string PercentDecode(std::string_view s);
// One field of a store's line: '%', tab, CR and LF escaped as %XX.
std::string EscapeField(std::string_view s);
std::vector<std::string> SplitFields(std::string_view line);
// Store files live in $KORVANE_HOME/inet/; true when written whole (atomically).
std::string StorePath(const char* name);
bool WriteStore(const std::string& path, const std::string& content);
std::string ReadStore(const std::string& path);
// The records of a store file, one a line, each split into its fields.
std::vector<std::vector<std::string>> ReadRecords(const std::string& path);

// A store kept in a file of the home folder (cookies, cache index, history): every use
// runs under the store's lock, and the records are read again (DropRecords, then
// LoadRecords) when the home folder has changed since they were read.
class HomeStore {
 public:
  virtual ~HomeStore() = default;
  template <class Fn>
  auto With(Fn fn) {
    std::lock_guard<std::mutex> g(lock_);
    const std::string home = KvHomeDirectory();
    if (home != loaded_home_) {
      DropRecords();
      loaded_home_ = home;
      LoadRecords();
    }
    return fn();
  }
  // Forgets the records held; the next use reads the file again.
  void Reset() {
    std::lock_guard<std::mutex> g(lock_);
    DropRecords();
    loaded_home_.clear();
  }

 private:
  virtual void DropRecords() = 0;
  virtual void LoadRecords() = 0;
  std::mutex lock_;
  std::string loaded_home_;
};

// The user name in cache entry names ("Cookie:user@host/path").
std::string CacheUser();
// Calendar now as FILETIME ticks, moved on by the virtual clock while it runs (cookie
// expiry and store times follow virtual time in tests).
ULONGLONG NowFileTime();
inline FILETIME ToFileTime(ULONGLONG v) { return FILETIME{static_cast<DWORD>(v), static_cast<DWORD>(v >> 32)}; }

// ---- URLs.
struct UrlParts {
  std::string scheme;  // lower case
  INTERNET_SCHEME kind = INTERNET_SCHEME_UNKNOWN;
  std::string user, password, host;  // host without IPv6 brackets
  bool ipv6 = false;
  WORD port = 0;            // explicit or the scheme's default
  std::string path, extra;  // extra: "?query#fragment"
  bool Http() const { return kind == INTERNET_SCHEME_HTTP || kind == INTERNET_SCHEME_HTTPS; }
};
// 0, or ERROR_INTERNET_UNRECOGNIZED_SCHEME / ERROR_INTERNET_INVALID_URL.
DWORD ParseUrl(std::string_view url, UrlParts* out);
// The path the cookie rules use ("/" when empty).
std::string CookiePathOf(const UrlParts& url);
// `relative` resolved against `base` (both UTF-8); empty when it cannot be.
std::string ResolveUrl(const std::string& base, const std::string& relative);

// ---- Responses.
struct Response {
  long status = 0;
  std::string reason;
  std::string version;  // "HTTP/1.1"
  std::vector<std::pair<std::string, std::string>> headers;
  std::string url;  // the URL that answered
  // The value of the `index`-th header `name` (case-insensitive); false when absent.
  bool Header(std::string_view name, std::string* value, size_t index = 0) const;
  // Status line and header lines, CRLF each, and the closing CRLF.
  std::string RawCrlf() const;
  long long ContentLength() const;  // -1 when unknown
  std::string MimeType() const;     // without parameters, lower case
  bool Attachment() const;
};
// HttpQueryInfo over a response: `length` in bytes, ANSI or UTF-16 text.
BOOL QueryInfo(const Response& response, DWORD level, void* buffer, DWORD* length, DWORD* index, bool wide);

// ---- The process proxy.
struct ProxySetting {
  DWORD flags = PROXY_TYPE_DIRECT;
  std::string server, bypass, autoconfig_url;
  DWORD autodiscovery = 0;
};
ProxySetting CurrentProxy();
void SetProxy(const ProxySetting& setting);
// The proxy a request to `url` goes through, "" for direct.
std::string ProxyFor(const UrlParts& url);

// ---- Recorders of the test-facing side.
using kv::base::Recorder;
Recorder& ProxyRecorder();
Recorder& NetworkRecorder();  // requests and the responses to them

// ---- Failures.
// The bind result of a failed transfer (INET_E_*).
HRESULT BindResultOf(CURLcode code);
// The last error a synchronous call sets.
DWORD SyncErrorOf(CURLcode code);
// INET_E_* of a URL that ParseUrl refused, and of one of a scheme nothing serves.
HRESULT BindResultOfUrl(DWORD parse_error);

// The User-Agent of a request nobody set one for: the platform's base text with each value
// name under the user's "Post Platform" key as one more token.
std::string DefaultUserAgent();

// ---- One HTTP (or file) exchange: one request, one response, on one easy handle.
struct RequestSpec {
  std::string url;                         // UTF-8
  std::string method;                      // "" = GET
  std::string body;                        // POST/PUT data
  std::vector<std::string> extra_headers;  // "Name: value"
  std::string user_agent, referer, user, password;
  bool insecure = false;  // accept a bad server certificate
  bool cookies = true;
};

class Exchange {
 public:
  explicit Exchange(RequestSpec spec);
  ~Exchange();
  Exchange(const Exchange&) = delete;
  Exchange& operator=(const Exchange&) = delete;

  // false when the URL cannot go to libcurl (result() tells why).
  bool Prepare();
  CURL* easy() const { return easy_; }
  const RequestSpec& spec() const { return spec_; }
  const UrlParts& url() const { return url_; }
  const Response& response() const { return response_; }
  bool headers_done() const { return headers_done_; }
  // The request head as sent ("GET / HTTP/1.1" CRLF ...), once known.
  const std::string& request_headers() const { return request_headers_; }

  // Called inside libcurl's callbacks (never call out to application code there).
  std::function<void()> on_headers;
  std::function<void(const char*, size_t)> on_body;

  // Synchronous run on this easy handle (no messages dispatched).
  CURLcode Perform();

 private:
  static size_t HeaderCallback(char* data, size_t size, size_t count, void* self);
  static size_t BodyCallback(char* data, size_t size, size_t count, void* self);
  static int DebugCallback(CURL*, curl_infotype type, char* data, size_t size, void* self);
  void HeaderLine(std::string_view line);

  RequestSpec spec_;
  UrlParts url_;
  CURL* easy_ = nullptr;
  curl_slist* headers_ = nullptr;
  Response response_;
  bool headers_done_ = false;
  bool in_head_ = false;
  std::string request_headers_;
};

// Follows redirects and the cookie rules synchronously; answers the last exchange's
// code and keeps its response. `sink` receives the final response's body.
CURLcode FetchSync(RequestSpec spec, Response* response, const std::function<void(const char*, size_t)>& sink);
// Redirect target of a response, resolved; "" when it is not a redirect.
std::string RedirectTarget(const Response& response);
constexpr int kMaxRedirects = 20;

// ---- The pump of the calling thread.
// Starts an exchange on this thread's multi handle; `on_done` runs inside the idle hook
// (libcurl's context: only record and post tasks there).
void StartOnThread(Exchange* exchange, std::function<void(CURLcode)> on_done);
// Removes it (no further callbacks).
void StopOnThread(Exchange* exchange);
// Tasks of this thread's loop, run in order by its message-only window; PostTaskFront
// puts one before every queued task (the continuation of the step now running).
void PostTask(std::function<void()> task);
void PostTaskFront(std::function<void()> task);

// ---- Cookies (one jar per process).
// Stores the Set-Cookie headers of a response to `url`.
void StoreResponseCookies(const UrlParts& url, const Response& response);
// Stores one Set-Cookie value; false when refused.
bool StoreCookie(const UrlParts& url, std::string_view set_cookie, bool from_script);
// "n=v; n2=v2" for a request to `url` (longer paths first); `for_script` leaves out
// HttpOnly cookies.
std::string CookieHeader(const UrlParts& url, bool for_script);
void ResetCookies();

// ---- Cache entries (content, cookies, history) as the cache functions list them.
struct CacheEntry {
  std::string url, local_file;
  DWORD type = NORMAL_CACHE_ENTRY;
  DWORD use_count = 0, hit_rate = 0;
  ULONGLONG size = 0;
  ULONGLONG modified = 0, expires = 0, accessed = 0, synced = 0;  // FILETIME ticks
  std::string headers, extension;
};
std::vector<CacheEntry> CookieCacheEntries();
bool DeleteCookieEntry(const std::string& name);
std::vector<CacheEntry> ContentCacheEntries();
bool DeleteContentEntry(const std::string& url);
std::vector<CacheEntry> HistoryCacheEntries();
bool DeleteHistoryEntry(const std::string& name);
// Writes a response to the cache (file and record).
void CacheResponse(const Response& response, const std::string& body);
void ResetCache();
// One visit in the history store (flags: STATURLFLAG_ISTOPLEVEL for a top-level page).
void AddVisit(const std::string& url, const std::string& title, DWORD flags);
void ResetHistory();
void RegisterHistoryClass();

}  // namespace kv::inet
