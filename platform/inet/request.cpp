// One HTTP exchange over libcurl, the request headers every exchange carries, the
// process proxy, failure codes, and the small helpers of the layer.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>

#include "platform/base/error.h"
#include "platform/base/file.h"
#include "platform/base/internal.h"
#include "platform/base/path.h"
#include "platform/base/system.h"
#include "platform/base/system_library.h"
#include "platform/base/trace.h"
#include "platform/inet/internal.h"
#include "platform/registry/registry.h"

namespace kv::inet {

// ---- Text --------------------------------------------------------------------------------

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = kv::base::LowerAscii(c);
  return out;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && kv::base::EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n')) --e;
  return std::string(s.substr(b, e - b));
}

namespace {
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

std::string PercentDecode(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && HexDigit(s[i + 1]) >= 0 && HexDigit(s[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(s[i + 1]) * 16 + HexDigit(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string EscapeField(std::string_view s) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if (c == '%' || c == '\t' || c == '\r' || c == '\n') {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::vector<std::string> SplitFields(std::string_view line) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    out.push_back(
        PercentDecode(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start)));
    if (tab == std::string_view::npos) break;
    start = tab + 1;
  }
  return out;
}

std::string StorePath(const char* name) { return std::string(KvHomeDirectory()) + "/inet/" + name; }

bool WriteStore(const std::string& path, const std::string& content) {
  size_t slash = path.rfind('/');
  if (slash != std::string::npos) kv::base::MakeDirectories(path.substr(0, slash));
  return KvWriteFileAtomic(path.c_str(), content.data(), content.size()) != FALSE;
}

std::string ReadStore(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::string();
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::vector<std::string>> ReadRecords(const std::string& path) {
  std::vector<std::vector<std::string>> records;
  const std::string text = ReadStore(path);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    records.push_back(
        SplitFields(std::string_view(text).substr(start, end == std::string::npos ? std::string::npos : end - start)));
    start = end == std::string::npos ? text.size() : end + 1;
  }
  return records;
}

std::string CacheUser() {
  char name[256];
  DWORD size = sizeof name;
  if (!GetUserNameA(name, &size)) return "user";
  return name;
}

ULONGLONG NowFileTime() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  ULONGLONG v = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  if (KvClockIsVirtual()) v += static_cast<ULONGLONG>(KvClockNow()) * 10000u;
  return v;
}

std::string ResolveUrl(const std::string& base, const std::string& relative) {
  CURLU* u = Curl() ? Curl()->url() : nullptr;
  if (!u) return std::string();
  std::string out;
  if (Curl()->url_set(u, CURLUPART_URL, base.c_str(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK &&
      Curl()->url_set(u, CURLUPART_URL, relative.c_str(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK) {
    char* text = nullptr;
    if (Curl()->url_get(u, CURLUPART_URL, &text, 0) == CURLUE_OK && text) out = text;
    Curl()->free(text);
  }
  Curl()->url_cleanup(u);
  return out;
}

// ---- Responses ---------------------------------------------------------------------------

bool Response::Header(std::string_view name, std::string* value, size_t index) const {
  for (const auto& h : headers) {
    if (!kv::base::EqualsNoCase(h.first, name)) continue;
    if (index-- == 0) {
      if (value) *value = h.second;
      return true;
    }
  }
  return false;
}

std::string Response::RawCrlf() const {
  std::string out = version + " " + std::to_string(status) + (reason.empty() ? "" : " " + reason) + "\r\n";
  for (const auto& h : headers) out += h.first + ": " + h.second + "\r\n";
  out += "\r\n";
  return out;
}

long long Response::ContentLength() const {
  std::string v;
  if (!Header("Content-Length", &v)) return -1;
  char* end = nullptr;
  long long n = std::strtoll(v.c_str(), &end, 10);
  return end && *end == 0 && n >= 0 ? n : -1;
}

std::string Response::MimeType() const {
  std::string v;
  if (!Header("Content-Type", &v)) return std::string();
  return Lower(Trim(v.substr(0, v.find(';'))));
}

bool Response::Attachment() const {
  std::string v;
  return Header("Content-Disposition", &v) && StartsWithNoCase(Trim(v), "attachment");
}

namespace {

// The text of one information level; false when the response has none.
bool InfoText(const Response& r, DWORD level, const std::string& custom, DWORD index, std::string* out) {
  auto header = [&](const char* name) { return r.Header(name, out, index); };
  switch (level) {
    case HTTP_QUERY_CONTENT_TYPE: return header("Content-Type");
    case HTTP_QUERY_CONTENT_LENGTH: return header("Content-Length");
    case HTTP_QUERY_LAST_MODIFIED: return header("Last-Modified");
    case HTTP_QUERY_LOCATION: return header("Location");
    case HTTP_QUERY_ACCEPT_RANGES: return header("Accept-Ranges");
    case HTTP_QUERY_CONTENT_DISPOSITION: return header("Content-Disposition");
    case HTTP_QUERY_CUSTOM: return !custom.empty() && r.Header(custom, out, index);
    case HTTP_QUERY_VERSION:
      if (index || r.version.empty()) return false;
      *out = r.version;
      return true;
    case HTTP_QUERY_STATUS_CODE:
      if (index || r.status == 0) return false;
      *out = std::to_string(r.status);
      return true;
    case HTTP_QUERY_STATUS_TEXT:
      if (index || r.status == 0) return false;
      *out = r.reason;
      return true;
    case HTTP_QUERY_RAW_HEADERS_CRLF:
      if (index || r.status == 0) return false;
      *out = r.RawCrlf();
      return true;
    case HTTP_QUERY_RAW_HEADERS: {
      if (index || r.status == 0) return false;
      std::string raw = r.RawCrlf();
      out->clear();
      for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') {
          *out += '\0';
          ++i;
        } else {
          *out += raw[i];
        }
      }
      if (out->size() >= 2) out->pop_back();  // ends in two terminators with the final one
      return true;
    }
    default: return false;
  }
}

}  // namespace

BOOL QueryInfo(const Response& r, DWORD level, void* buffer, DWORD* length, DWORD* index, bool wide) {
  if (!length) return kv::base::Fail(ERROR_INVALID_PARAMETER);
  const bool number = (level & HTTP_QUERY_FLAG_NUMBER) != 0;
  const DWORD base = level & 0xFFFF;
  if (level & ~(0xFFFFu | HTTP_QUERY_FLAG_NUMBER)) return kv::base::Fail(ERROR_INVALID_PARAMETER);
  std::string custom;
  if (base == HTTP_QUERY_CUSTOM && buffer && *length) {
    if (wide) {
      const char16_t* w = static_cast<const char16_t*>(buffer);
      std::u16string name;
      for (DWORD i = 0; i < *length / 2 && w[i]; ++i) name += w[i];
      custom = kv::WideToUtf8(name);
    } else {
      const char* a = static_cast<const char*>(buffer);
      custom.assign(a, strnlen(a, *length));
    }
  }
  std::string text;
  if (!InfoText(r, base, custom, index ? *index : 0, &text)) return kv::base::Fail(ERROR_HTTP_HEADER_NOT_FOUND);
  if (number) {
    char* end = nullptr;
    unsigned long v = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || !end || *end) return kv::base::Fail(ERROR_HTTP_INVALID_QUERY_REQUEST);
    if (!buffer || *length < sizeof(DWORD)) {
      *length = sizeof(DWORD);
      return kv::base::Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    DWORD d = static_cast<DWORD>(v);
    std::memcpy(buffer, &d, sizeof d);
    *length = sizeof d;
  } else if (wide) {
    std::u16string w = kv::Utf8ToWide(text);
    if (text.find('\0') != std::string::npos) {  // raw headers: convert piece by piece
      w.clear();
      size_t start = 0;
      for (;;) {
        size_t z = text.find('\0', start);
        w += kv::Utf8ToWide(text.substr(start, z - start));
        if (z == std::string::npos) break;
        w += u'\0';
        start = z + 1;
      }
    }
    DWORD need = static_cast<DWORD>((w.size() + 1) * 2);
    if (!buffer || *length < need) {
      *length = need;
      return kv::base::Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(buffer, w.data(), w.size() * 2);
    static_cast<char16_t*>(buffer)[w.size()] = 0;
    *length = static_cast<DWORD>(w.size() * 2);
  } else {
    DWORD need = static_cast<DWORD>(text.size() + 1);
    if (!buffer || *length < need) {
      *length = need;
      return kv::base::Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(buffer, text.data(), text.size());
    static_cast<char*>(buffer)[text.size()] = 0;
    *length = static_cast<DWORD>(text.size());
  }
  if (index) ++*index;
  return TRUE;
}

// ---- The process proxy -------------------------------------------------------------------

namespace {
std::mutex g_proxy_lock;
ProxySetting g_proxy;

bool IsLoopback(const std::string& host) { return host == "localhost" || host == "::1" || host.rfind("127.", 0) == 0; }

// "*" wildcards in a bypass entry.
bool WildMatch(std::string_view pattern, std::string_view text) {
  if (pattern.empty()) return text.empty();
  if (pattern[0] == '*') {
    for (size_t i = 0; i <= text.size(); ++i)
      if (WildMatch(pattern.substr(1), text.substr(i))) return true;
    return false;
  }
  return !text.empty() && kv::base::LowerAscii(pattern[0]) == kv::base::LowerAscii(text[0]) &&
         WildMatch(pattern.substr(1), text.substr(1));
}
}  // namespace

ProxySetting CurrentProxy() {
  std::lock_guard<std::mutex> g(g_proxy_lock);
  return g_proxy;
}

void SetProxy(const ProxySetting& setting) {
  std::lock_guard<std::mutex> g(g_proxy_lock);
  g_proxy = setting;
}

std::string ProxyFor(const UrlParts& url) {
  ProxySetting p = CurrentProxy();
  if (!(p.flags & PROXY_TYPE_PROXY) || Trim(p.server).empty() || !url.Http()) return std::string();
  std::string entry;
  std::string list = p.bypass + ";";
  for (char c : list) {
    if (c != ';' && c != ' ' && c != ',' && c != '\t') {
      entry += c;
      continue;
    }
    if (entry.empty()) continue;
    if (kv::base::EqualsNoCase(entry, "<local>")) {
      if (url.host.find('.') == std::string::npos || IsLoopback(url.host)) return std::string();
    } else if (WildMatch(entry, url.host)) {
      return std::string();
    }
    entry.clear();
  }
  // "http=host:port;https=..." lists pick the entry for the scheme.
  std::string server = Trim(p.server);
  if (server.find('=') != std::string::npos) {
    std::string picked;
    size_t start = 0;
    while (start <= server.size()) {
      size_t end = server.find_first_of("; ", start);
      std::string part = server.substr(start, end == std::string::npos ? std::string::npos : end - start);
      size_t eq = part.find('=');
      if (eq != std::string::npos && kv::base::EqualsNoCase(part.substr(0, eq), url.scheme))
        picked = part.substr(eq + 1);
      if (end == std::string::npos) break;
      start = end + 1;
    }
    server = picked;
  }
  return server;
}

// ---- The default user agent ------------------------------------------------------------

std::string DefaultUserAgent() {
  std::string agent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1";
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER,
                    u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\User Agent\\Post Platform", 0,
                    KEY_READ, &key) == ERROR_SUCCESS) {
    for (DWORD i = 0;; ++i) {
      WCHAR name[1024];
      DWORD length = sizeof name / sizeof name[0];
      if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      std::string token = kv::WideToUtf8(std::u16string(name, length));
      // A line break would end the header: such a token is left out.
      if (token.empty() || token.find_first_of("\r\n") != std::string::npos) continue;
      agent += "; " + token;
    }
    RegCloseKey(key);
  }
  return agent + ")";
}

// ---- Recorders ---------------------------------------------------------------------------

Recorder& ProxyRecorder() {
  static auto* r = new Recorder("inet", "proxy");  // never destroyed: exchanges may end during exit
  return *r;
}

Recorder& NetworkRecorder() {
  static auto* r = new Recorder("inet", "net");
  return *r;
}

// ---- Failures ----------------------------------------------------------------------------

HRESULT BindResultOf(CURLcode code) {
  switch (code) {
    case CURLE_OK: return S_OK;
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_FILE_COULDNT_READ_FILE:
    case CURLE_REMOTE_FILE_NOT_FOUND: return INET_E_RESOURCE_NOT_FOUND;
    case CURLE_OPERATION_TIMEDOUT: return INET_E_CONNECTION_TIMEOUT;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS: return INET_E_SECURITY_PROBLEM;
    case CURLE_UNSUPPORTED_PROTOCOL: return INET_E_UNKNOWN_PROTOCOL;
    case CURLE_URL_MALFORMAT: return INET_E_INVALID_URL;
    default: return INET_E_DOWNLOAD_FAILURE;
  }
}

DWORD SyncErrorOf(CURLcode code) {
  switch (code) {
    case CURLE_OK: return 0;
    case CURLE_COULDNT_CONNECT: return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_OPERATION_TIMEDOUT: return ERROR_INTERNET_TIMEOUT;
    case CURLE_URL_MALFORMAT: return ERROR_INTERNET_INVALID_URL;
    case CURLE_UNSUPPORTED_PROTOCOL: return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    case CURLE_TOO_MANY_REDIRECTS: return ERROR_HTTP_REDIRECT_FAILED;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_GOT_NOTHING: return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    default:
      return BindResultOf(code) == INET_E_SECURITY_PROBLEM ? ERROR_INTERNET_SECURE_FAILURE
                                                           : ERROR_INTERNET_CONNECTION_ABORTED;
  }
}

HRESULT BindResultOfUrl(DWORD parse_error) {
  return parse_error == ERROR_INTERNET_UNRECOGNIZED_SCHEME ? INET_E_UNKNOWN_PROTOCOL : INET_E_INVALID_URL;
}

// ---- The exchange ------------------------------------------------------------------------

const CurlLibrary* Curl() {
  static const CurlLibrary* library = []() -> const CurlLibrary* {
    static CurlLibrary l;
#define KV_CURL_NAME(name) "curl_" #name,
#define KV_CURL_SLOT(name) reinterpret_cast<void**>(&l.name),
    const char* const names[] = {KV_CURL_FUNCTIONS(KV_CURL_NAME)};
    void** const slots[] = {KV_CURL_FUNCTIONS(KV_CURL_SLOT)};
#undef KV_CURL_NAME
#undef KV_CURL_SLOT
    if (!kv::base::BindSystemLibrary("libcurl.so.4", names, slots, std::size(names)) ||
        l.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
      KvTrace("inet", "libcurl.so.4 cannot be used: no URL can be fetched");
      return nullptr;
    }
    return &l;
  }();
  return library;
}

namespace {

// The local file a file: URL names (Windows paths mapped), "" when it names none.
std::string FilePathOf(const UrlParts& url) {
  std::string path = PercentDecode(url.path);
  if (!url.host.empty() && !kv::base::EqualsNoCase(url.host, "localhost")) return std::string();
  // "file:///c:/x" names the drive path "c:/x".
  if (path.size() >= 3 && path[0] == '/' && path[2] == ':') path.erase(0, 1);
  std::string mapped = kv::base::MapUtf8Path(path);
  return mapped;
}

std::string FileUrlOf(const std::string& posix_path) {
  char* escaped = Curl()->easy_escape(nullptr, posix_path.c_str(), static_cast<int>(posix_path.size()));
  std::string out = "file://";
  if (escaped) {
    // Slashes stay separators.
    std::string e = escaped;
    Curl()->free(escaped);
    size_t pos;
    while ((pos = e.find("%2F")) != std::string::npos) e.replace(pos, 3, "/");
    out += e;
  }
  return out;
}

}  // namespace

Exchange::Exchange(RequestSpec spec) : spec_(std::move(spec)) {}

Exchange::~Exchange() {
  if (easy_) Curl()->easy_cleanup(easy_);
  if (headers_) Curl()->slist_free_all(headers_);
}

bool Exchange::Prepare() {
  if (ParseUrl(spec_.url, &url_) != 0 || !Curl()) return false;
  easy_ = Curl()->easy_init();
  if (!easy_) return false;
  std::string target = spec_.url;
  if (url_.kind == INTERNET_SCHEME_FILE) {
    std::string path = FilePathOf(url_);
    if (path.empty()) return false;
    target = FileUrlOf(path);
    Curl()->easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "file");
  } else if (url_.Http()) {
    Curl()->easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http,https");
  } else {
    return false;
  }
  // Fragments never go to the server.
  size_t hash = target.find('#');
  if (hash != std::string::npos) target.erase(hash);
  Curl()->easy_setopt(easy_, CURLOPT_URL, target.c_str());
  Curl()->easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
  Curl()->easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &Exchange::HeaderCallback);
  Curl()->easy_setopt(easy_, CURLOPT_HEADERDATA, this);
  Curl()->easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &Exchange::BodyCallback);
  Curl()->easy_setopt(easy_, CURLOPT_WRITEDATA, this);
  Curl()->easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, 60000L);
  // No byte for a minute is a time-out.
  Curl()->easy_setopt(easy_, CURLOPT_LOW_SPEED_LIMIT, 1L);
  Curl()->easy_setopt(easy_, CURLOPT_LOW_SPEED_TIME, 60L);
  if (!url_.Http()) return true;
  Curl()->easy_setopt(easy_, CURLOPT_DEBUGFUNCTION, &Exchange::DebugCallback);
  Curl()->easy_setopt(easy_, CURLOPT_DEBUGDATA, this);
  Curl()->easy_setopt(easy_, CURLOPT_VERBOSE, 1L);
  // Always set, so the environment's proxy variables never apply.
  std::string proxy = ProxyFor(url_);
  Curl()->easy_setopt(easy_, CURLOPT_PROXY, proxy.c_str());
  Curl()->easy_setopt(easy_, CURLOPT_NOPROXY, proxy.empty() ? "*" : "");
  Curl()->easy_setopt(easy_, CURLOPT_ACCEPT_ENCODING, "gzip");
  if (!spec_.user_agent.empty()) Curl()->easy_setopt(easy_, CURLOPT_USERAGENT, spec_.user_agent.c_str());
  if (!spec_.referer.empty()) Curl()->easy_setopt(easy_, CURLOPT_REFERER, spec_.referer.c_str());
  headers_ = Curl()->slist_append(headers_, "Accept-Language: zh-cn");
  if (spec_.cookies) {
    std::string cookie = CookieHeader(url_, false);
    if (!cookie.empty()) headers_ = Curl()->slist_append(headers_, ("Cookie: " + cookie).c_str());
  }
  for (const auto& h : spec_.extra_headers) {
    // A header line with a CR or LF inside could inject another: refused.
    if (h.find_first_of("\r\n") != std::string::npos || h.find(':') == std::string::npos) continue;
    headers_ = Curl()->slist_append(headers_, h.c_str());
  }
  Curl()->easy_setopt(easy_, CURLOPT_HTTPHEADER, headers_);
  if (!spec_.user.empty()) {
    Curl()->easy_setopt(easy_, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    Curl()->easy_setopt(easy_, CURLOPT_USERNAME, spec_.user.c_str());
    Curl()->easy_setopt(easy_, CURLOPT_PASSWORD, spec_.password.c_str());
  }
  if (spec_.insecure) {
    Curl()->easy_setopt(easy_, CURLOPT_SSL_VERIFYPEER, 0L);
    Curl()->easy_setopt(easy_, CURLOPT_SSL_VERIFYHOST, 0L);
  }
  const std::string method = spec_.method.empty() ? std::string("GET") : spec_.method;
  if (method == "POST") {
    Curl()->easy_setopt(easy_, CURLOPT_POST, 1L);
    Curl()->easy_setopt(easy_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(spec_.body.size()));
    Curl()->easy_setopt(easy_, CURLOPT_POSTFIELDS, spec_.body.data());
  } else if (method != "GET") {
    Curl()->easy_setopt(easy_, CURLOPT_CUSTOMREQUEST, method.c_str());
    if (!spec_.body.empty()) {
      Curl()->easy_setopt(easy_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(spec_.body.size()));
      Curl()->easy_setopt(easy_, CURLOPT_POSTFIELDS, spec_.body.data());
    }
  }
  NetworkRecorder().Add(method + " " + spec_.url);
  return true;
}

int Exchange::DebugCallback(CURL*, curl_infotype type, char* data, size_t size, void* self) {
  auto* x = static_cast<Exchange*>(self);
  if (type == CURLINFO_HEADER_OUT) x->request_headers_.assign(data, size);
  return 0;
}

size_t Exchange::HeaderCallback(char* data, size_t size, size_t count, void* self) {
  static_cast<Exchange*>(self)->HeaderLine(std::string_view(data, size * count));
  return size * count;
}

void Exchange::HeaderLine(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (StartsWithNoCase(line, "HTTP/")) {
    // A new status line: an interim (1xx) response is forgotten.
    response_ = Response();
    response_.url = spec_.url;
    size_t sp = line.find(' ');
    response_.version = std::string(line.substr(0, sp));
    if (sp != std::string_view::npos) {
      std::string rest = std::string(line.substr(sp + 1));
      response_.status = std::strtol(rest.c_str(), nullptr, 10);
      size_t sp2 = rest.find(' ');
      if (sp2 != std::string::npos) response_.reason = rest.substr(sp2 + 1);
    }
    in_head_ = true;
    return;
  }
  if (!in_head_) return;
  if (line.empty()) {
    in_head_ = false;
    if (response_.status >= 100 && response_.status < 200) return;
    headers_done_ = true;
    NetworkRecorder().Add(std::to_string(response_.status) + " " + spec_.url);
    if (spec_.cookies) StoreResponseCookies(url_, response_);
    if (on_headers) on_headers();
    return;
  }
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) return;
  response_.headers.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
}

size_t Exchange::BodyCallback(char* data, size_t size, size_t count, void* self) {
  auto* x = static_cast<Exchange*>(self);
  if (!x->headers_done_) {
    // A file: transfer has no head; it counts as complete before the first byte.
    x->headers_done_ = true;
    x->response_.url = x->spec_.url;
    if (x->on_headers) x->on_headers();
  }
  if (x->on_body) x->on_body(data, size * count);
  return size * count;
}

CURLcode Exchange::Perform() {
  CURLcode code = Curl()->easy_perform(easy_);
  if (code == CURLE_OK && !headers_done_) {
    headers_done_ = true;  // an empty file
    response_.url = spec_.url;
    if (on_headers) on_headers();
  }
  return code;
}

std::string RedirectTarget(const Response& r) {
  if (r.status != 301 && r.status != 302 && r.status != 303 && r.status != 307 && r.status != 308) return std::string();
  std::string location;
  if (!r.Header("Location", &location) || Trim(location).empty()) return std::string();
  return ResolveUrl(r.url, Trim(location));
}

CURLcode FetchSync(RequestSpec spec, Response* response, const std::function<void(const char*, size_t)>& sink) {
  for (int hop = 0; hop <= kMaxRedirects; ++hop) {
    Exchange x(spec);
    if (!x.Prepare()) {
      UrlParts parts;
      DWORD e = ParseUrl(spec.url, &parts);
      return e == ERROR_INTERNET_INVALID_URL ? CURLE_URL_MALFORMAT : CURLE_UNSUPPORTED_PROTOCOL;
    }
    bool redirect = false;
    x.on_headers = [&] { redirect = !RedirectTarget(x.response()).empty(); };
    x.on_body = [&](const char* data, size_t n) {
      if (!redirect && sink) sink(data, n);
    };
    CURLcode code = x.Perform();
    *response = x.response();
    if (code != CURLE_OK || !redirect) return code;
    std::string next = RedirectTarget(x.response());
    if (x.response().status == 303 ||
        ((x.response().status == 301 || x.response().status == 302) && spec.method == "POST")) {
      spec.method.clear();
      spec.body.clear();
    }
    spec.referer.clear();
    spec.url = next;
  }
  return CURLE_TOO_MANY_REDIRECTS;
}

}  // namespace kv::inet
