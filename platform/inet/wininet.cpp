// The synchronous internet calls: sessions, connections, whole GET requests and their
// headers, and the proxy options.
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "platform/base/codepage.h"
#include "platform/base/error.h"
#include "platform/base/internal.h"
#include "platform/base/trace.h"
#include "platform/inet/internal.h"
#include "platform/base/global_memory.h"

namespace kv::inet {
namespace {

enum class Kind { kSession, kConnect, kRequest };

struct InetHandle {
  Kind kind;
  std::string agent;
  Response response;
};

std::mutex g_handles_lock;
std::map<uintptr_t, std::shared_ptr<InetHandle>>& Handles() {
  static auto* h = new std::map<uintptr_t, std::shared_ptr<InetHandle>>;
  return *h;
}
uintptr_t g_next_handle = 0xCC0004;

HINTERNET NewHandle(std::shared_ptr<InetHandle> h) {
  std::lock_guard<std::mutex> g(g_handles_lock);
  uintptr_t id = g_next_handle;
  g_next_handle += 4;
  Handles()[id] = std::move(h);
  return reinterpret_cast<HINTERNET>(id);
}

std::shared_ptr<InetHandle> HandleOf(HINTERNET h, Kind kind) {
  std::lock_guard<std::mutex> g(g_handles_lock);
  auto it = Handles().find(reinterpret_cast<uintptr_t>(h));
  if (it == Handles().end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (it->second->kind != kind) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return nullptr;
  }
  return it->second;
}

void RecordProxy(const ProxySetting& p) {
  ProxyRecorder().Add("flags=" + std::to_string(p.flags) + " server=" + p.server + " bypass=" + p.bypass);
}

HINTERNET OpenSession(const std::string& agent, DWORD access_type) {
  if (access_type == INTERNET_OPEN_TYPE_PROXY) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  if (access_type != INTERNET_OPEN_TYPE_PRECONFIG && access_type != INTERNET_OPEN_TYPE_DIRECT &&
      access_type != INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto h = std::make_shared<InetHandle>();
  h->kind = Kind::kSession;
  h->agent = agent;
  return NewHandle(h);
}

HINTERNET OpenUrl(HINTERNET session, const std::string& url, const std::string& headers, DWORD flags) {
  auto s = HandleOf(session, Kind::kSession);
  if (!s) return nullptr;
  UrlParts parts;
  if (DWORD e = ParseUrl(url, &parts)) {
    SetLastError(e);
    return nullptr;
  }
  if (!parts.Http()) {
    SetLastError(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
    return nullptr;
  }
  RequestSpec spec;
  spec.url = url;
  spec.user_agent = s->agent;
  spec.cookies = !(flags & INTERNET_FLAG_NO_COOKIES);
  size_t start = 0;
  while (start < headers.size()) {
    size_t end = headers.find('\n', start);
    std::string line = Trim(headers.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (!line.empty()) spec.extra_headers.push_back(line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  auto r = std::make_shared<InetHandle>();
  r->kind = Kind::kRequest;
  CURLcode code;
  if (flags & INTERNET_FLAG_NO_AUTO_REDIRECT) {
    Exchange x(spec);
    code = x.Prepare() ? x.Perform() : CURLE_URL_MALFORMAT;
    r->response = x.response();
  } else {
    code = FetchSync(spec, &r->response, nullptr);
  }
  if (code != CURLE_OK) {
    KvTrace("inet", "request %s fails: %s", url.c_str(), Curl() ? Curl()->easy_strerror(code) : "libcurl is missing");
    SetLastError(SyncErrorOf(code));
    return nullptr;
  }
  return NewHandle(r);
}

LPSTR GlobalCopy(const std::string& s) {
  HGLOBAL h = GlobalAlloc(GMEM_FIXED, s.size() + 1);
  if (!h) return nullptr;
  std::memcpy(h, s.c_str(), s.size() + 1);
  return static_cast<LPSTR>(h);
}

LPWSTR GlobalCopy(const std::u16string& s) {
  HGLOBAL h = GlobalAlloc(GMEM_FIXED, (s.size() + 1) * 2);
  if (!h) return nullptr;
  std::memcpy(h, s.c_str(), (s.size() + 1) * 2);
  return static_cast<LPWSTR>(h);
}

std::string Text(const char* s) { return s ? kv::AnsiToUtf8(s) : std::string(); }
std::string Text(const char16_t* s) { return s ? kv::WideToUtf8(s) : std::string(); }
auto OutText(const std::string& s, char*) { return GlobalCopy(kv::Utf8ToAnsi(s)); }
auto OutText(const std::string& s, char16_t*) { return GlobalCopy(kv::Utf8ToWide(s)); }

template <class List>
BOOL SetOption(DWORD option, LPVOID buffer, DWORD length) {
  switch (option) {
    case INTERNET_OPTION_REFRESH:
    case INTERNET_OPTION_SETTINGS_CHANGED: return TRUE;
    case INTERNET_OPTION_PER_CONNECTION_OPTION: {
      auto* list = static_cast<List*>(buffer);
      if (!list || length == 0 || list->dwOptionCount > 64 || (list->dwOptionCount && !list->pOptions))
        return kv::base::Fail(ERROR_INVALID_PARAMETER);
      ProxySetting p = CurrentProxy();
      for (DWORD i = 0; i < list->dwOptionCount; ++i) {
        const auto& o = list->pOptions[i];
        switch (o.dwOption) {
          case INTERNET_PER_CONN_FLAGS: p.flags = o.Value.dwValue; break;
          case INTERNET_PER_CONN_PROXY_SERVER: p.server = Text(o.Value.pszValue); break;
          case INTERNET_PER_CONN_PROXY_BYPASS: p.bypass = Text(o.Value.pszValue); break;
          case INTERNET_PER_CONN_AUTOCONFIG_URL: p.autoconfig_url = Text(o.Value.pszValue); break;
          case INTERNET_PER_CONN_AUTODISCOVERY_FLAGS: p.autodiscovery = o.Value.dwValue; break;
          default: list->dwOptionError = i; return kv::base::Fail(ERROR_INVALID_PARAMETER);
        }
      }
      SetProxy(p);
      RecordProxy(p);
      return TRUE;
    }
    default: return kv::base::Fail(ERROR_INTERNET_INVALID_OPTION);
  }
}

template <class List>
BOOL QueryOption(DWORD option, LPVOID buffer, LPDWORD length) {
  if (!length) return kv::base::Fail(ERROR_INVALID_PARAMETER);
  if (option != INTERNET_OPTION_PER_CONNECTION_OPTION) return kv::base::Fail(ERROR_INTERNET_INVALID_OPTION);
  auto* list = static_cast<List*>(buffer);
  if (!list || list->dwOptionCount > 64 || (list->dwOptionCount && !list->pOptions))
    return kv::base::Fail(ERROR_INVALID_PARAMETER);
  ProxySetting p = CurrentProxy();
  for (DWORD i = 0; i < list->dwOptionCount; ++i) {
    auto& o = list->pOptions[i];
    switch (o.dwOption) {
      case INTERNET_PER_CONN_FLAGS: o.Value.dwValue = p.flags; break;
      case INTERNET_PER_CONN_PROXY_SERVER:
        o.Value.pszValue = p.server.empty() ? nullptr : OutText(p.server, o.Value.pszValue);
        break;
      case INTERNET_PER_CONN_PROXY_BYPASS:
        o.Value.pszValue = p.bypass.empty() ? nullptr : OutText(p.bypass, o.Value.pszValue);
        break;
      case INTERNET_PER_CONN_AUTOCONFIG_URL:
        o.Value.pszValue = p.autoconfig_url.empty() ? nullptr : OutText(p.autoconfig_url, o.Value.pszValue);
        break;
      case INTERNET_PER_CONN_AUTODISCOVERY_FLAGS: o.Value.dwValue = p.autodiscovery; break;
      default: list->dwOptionError = i; return kv::base::Fail(ERROR_INVALID_PARAMETER);
    }
  }
  return TRUE;
}

BOOL QueryRequest(HINTERNET request, DWORD level, LPVOID buffer, LPDWORD length, LPDWORD index, bool wide) {
  auto r = HandleOf(request, Kind::kRequest);
  if (!r) return FALSE;
  return QueryInfo(r->response, level, buffer, length, index, wide);
}

HINTERNET Connect(HINTERNET session, const std::string& server) {
  if (!HandleOf(session, Kind::kSession)) return nullptr;
  if (server.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto h = std::make_shared<InetHandle>();
  h->kind = Kind::kConnect;
  return NewHandle(h);
}

std::string HeaderText(const char* headers, DWORD length) {
  if (!headers) return std::string();
  return kv::AnsiToUtf8(length == 0 || length == 0xFFFFFFFF ? std::string(headers) : std::string(headers, length));
}

std::string HeaderText(const char16_t* headers, DWORD length) {
  if (!headers) return std::string();
  return kv::WideToUtf8(length == 0 || length == 0xFFFFFFFF ? std::u16string(headers)
                                                            : std::u16string(headers, length));
}

}  // namespace
}  // namespace kv::inet

using namespace kv::inet;

extern "C" {

HINTERNET InternetOpenA(LPCSTR agent, DWORD access_type, LPCSTR, LPCSTR, DWORD) {
  return OpenSession(Text(agent), access_type);
}
HINTERNET InternetOpenW(LPCWSTR agent, DWORD access_type, LPCWSTR, LPCWSTR, DWORD) {
  return OpenSession(Text(agent), access_type);
}

HINTERNET InternetConnectA(HINTERNET session, LPCSTR server, INTERNET_PORT, LPCSTR, LPCSTR, DWORD, DWORD, DWORD_PTR) {
  return Connect(session, Text(server));
}
HINTERNET InternetConnectW(HINTERNET session, LPCWSTR server, INTERNET_PORT, LPCWSTR, LPCWSTR, DWORD, DWORD,
                           DWORD_PTR) {
  return Connect(session, Text(server));
}

HINTERNET InternetOpenUrlA(HINTERNET session, LPCSTR url, LPCSTR headers, DWORD headers_length, DWORD flags,
                           DWORD_PTR) {
  if (!url) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return OpenUrl(session, Text(url), HeaderText(headers, headers_length), flags);
}
HINTERNET InternetOpenUrlW(HINTERNET session, LPCWSTR url, LPCWSTR headers, DWORD headers_length, DWORD flags,
                           DWORD_PTR) {
  if (!url) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return OpenUrl(session, Text(url), HeaderText(headers, headers_length), flags);
}

BOOL InternetCloseHandle(HINTERNET handle) {
  std::lock_guard<std::mutex> g(g_handles_lock);
  if (Handles().erase(reinterpret_cast<uintptr_t>(handle)) == 0) return kv::base::Fail(ERROR_INVALID_HANDLE);
  return TRUE;
}

BOOL HttpQueryInfoA(HINTERNET request, DWORD level, LPVOID buffer, LPDWORD length, LPDWORD index) {
  return QueryRequest(request, level, buffer, length, index, false);
}
BOOL HttpQueryInfoW(HINTERNET request, DWORD level, LPVOID buffer, LPDWORD length, LPDWORD index) {
  return QueryRequest(request, level, buffer, length, index, true);
}

BOOL InternetSetOptionA(HINTERNET, DWORD option, LPVOID buffer, DWORD length) {
  return SetOption<INTERNET_PER_CONN_OPTION_LISTA>(option, buffer, length);
}
BOOL InternetSetOptionW(HINTERNET, DWORD option, LPVOID buffer, DWORD length) {
  return SetOption<INTERNET_PER_CONN_OPTION_LISTW>(option, buffer, length);
}
BOOL InternetQueryOptionA(HINTERNET, DWORD option, LPVOID buffer, LPDWORD length) {
  return QueryOption<INTERNET_PER_CONN_OPTION_LISTA>(option, buffer, length);
}
BOOL InternetQueryOptionW(HINTERNET, DWORD option, LPVOID buffer, LPDWORD length) {
  return QueryOption<INTERNET_PER_CONN_OPTION_LISTW>(option, buffer, length);
}

DWORD KvInetProxyLog(char* buffer, DWORD size) { return ProxyRecorder().Copy(buffer, size); }
void KvInetProxyLogClear(void) { ProxyRecorder().Clear(); }
DWORD KvInetNetworkLog(char* buffer, DWORD size) { return NetworkRecorder().Copy(buffer, size); }
void KvInetNetworkLogClear(void) { NetworkRecorder().Clear(); }

void KvInetResetProcessState(void) {
  ResetCookies();
  ResetCache();
  ResetHistory();
  SetProxy(ProxySetting());
}

}  // extern "C"
