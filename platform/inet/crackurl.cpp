// URL parsing: InternetCrackUrl, and the parts every other piece of the layer uses.
#include <cstring>
#include <string>

#include "platform/base/codepage.h"
#include "platform/base/error.h"
#include "platform/base/internal.h"
#include "platform/inet/internal.h"

namespace {

using kv::inet::UrlParts;

struct Span {
  size_t pos = 0, len = 0;
  bool present = false;
};

struct Cracked {
  Span scheme, user, password, host, path, extra;
  INTERNET_SCHEME kind = INTERNET_SCHEME_UNKNOWN;
  WORD port = 0;
  bool ipv6 = false;
};

struct SchemeInfo {
  const char* name;
  INTERNET_SCHEME kind;
  WORD port;
  bool needs_host;
};
constexpr SchemeInfo kSchemes[] = {
    {"ftp", INTERNET_SCHEME_FTP, INTERNET_DEFAULT_FTP_PORT, true},
    {"gopher", INTERNET_SCHEME_GOPHER, INTERNET_DEFAULT_GOPHER_PORT, true},
    {"http", INTERNET_SCHEME_HTTP, INTERNET_DEFAULT_HTTP_PORT, true},
    {"https", INTERNET_SCHEME_HTTPS, INTERNET_DEFAULT_HTTPS_PORT, true},
    {"file", INTERNET_SCHEME_FILE, 0, false},
    {"news", INTERNET_SCHEME_NEWS, 0, false},
    {"mailto", INTERNET_SCHEME_MAILTO, 0, false},
    {"socks", INTERNET_SCHEME_SOCKS, 0, false},
    {"javascript", INTERNET_SCHEME_JAVASCRIPT, 0, false},
    {"vbscript", INTERNET_SCHEME_VBSCRIPT, 0, false},
    {"res", INTERNET_SCHEME_RES, 0, false},
};

template <class C>
bool IsAlpha(C c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
template <class C>
bool IsDigit(C c) {
  return c >= '0' && c <= '9';
}

// Splits `u` into spans; 0 or the platform's error.
template <class C>
DWORD Crack(std::basic_string_view<C> u, Cracked* out) {
  size_t colon = 0;
  while (colon < u.size() && u[colon] != ':') {
    C c = u[colon];
    bool ok = colon == 0 ? IsAlpha(c) : (IsAlpha(c) || IsDigit(c) || c == '+' || c == '-' || c == '.');
    if (!ok) return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    ++colon;
  }
  if (colon == 0 || colon >= u.size()) return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
  out->scheme = {0, colon, true};
  std::string scheme;
  for (size_t i = 0; i < colon; ++i) scheme += static_cast<char>(u[i] | 0x20);
  const SchemeInfo* info = nullptr;
  for (const auto& s : kSchemes)
    if (scheme == s.name) info = &s;
  out->kind = info ? info->kind : INTERNET_SCHEME_UNKNOWN;
  out->port = info ? info->port : 0;
  size_t p = colon + 1;
  auto find_any = [&](size_t from, std::string_view set) {
    for (size_t i = from; i < u.size(); ++i)
      if (u[i] < 0x80 && set.find(static_cast<char>(u[i])) != std::string_view::npos) return i;
    return u.size();
  };
  if (u.size() - p >= 2 && u[p] == '/' && u[p + 1] == '/') {
    p += 2;
    size_t end = find_any(p, "/?#\\");
    // User information: up to the last '@' of the authority.
    size_t at = std::string_view::npos;
    for (size_t i = p; i < end; ++i)
      if (u[i] == '@') at = i;
    if (at != std::string_view::npos) {
      size_t sep = at;
      for (size_t i = p; i < at; ++i)
        if (u[i] == ':') {
          sep = i;
          break;
        }
      out->user = {p, sep - p, true};
      if (sep < at) out->password = {sep + 1, at - sep - 1, true};
      p = at + 1;
    }
    size_t port_from = std::string_view::npos;
    if (p < end && u[p] == '[') {
      size_t close = p;
      while (close < end && u[close] != ']') ++close;
      if (close >= end) return ERROR_INTERNET_INVALID_URL;
      out->host = {p + 1, close - p - 1, true};
      out->ipv6 = true;
      if (close + 1 < end) {
        if (u[close + 1] != ':') return ERROR_INTERNET_INVALID_URL;
        port_from = close + 2;
      }
    } else {
      size_t c = p;
      while (c < end && u[c] != ':') ++c;
      out->host = {p, c - p, true};
      if (c < end) port_from = c + 1;
    }
    for (size_t i = out->host.pos; i < out->host.pos + out->host.len; ++i)
      if (u[i] == ' ' || u[i] == '[' || u[i] == ']' || u[i] < 0x20) return ERROR_INTERNET_INVALID_URL;
    if (port_from != std::string_view::npos && port_from < end) {
      unsigned long v = 0;
      for (size_t i = port_from; i < end; ++i) {
        if (!IsDigit(u[i])) return ERROR_INTERNET_INVALID_URL;
        v = v * 10 + static_cast<unsigned long>(u[i] - '0');
        if (v > 65535) return ERROR_INTERNET_INVALID_URL;
      }
      if (v == 0) return ERROR_INTERNET_INVALID_URL;
      out->port = static_cast<WORD>(v);
    }
    if (info && info->needs_host && out->host.len == 0) return ERROR_INTERNET_INVALID_URL;
    p = end;
  } else if (info && info->needs_host) {
    return ERROR_INTERNET_INVALID_URL;
  } else {
    // An opaque URL ("mailto:a@b", "javascript:..."): everything is the path.
    out->path = {p, u.size() - p, true};
    out->extra = {u.size(), 0, true};
    return 0;
  }
  size_t q = find_any(p, "?#");
  out->path = {p, q - p, true};
  out->extra = {q, u.size() - q, true};
  return 0;
}

template <class C>
std::basic_string<C> Decode(std::basic_string_view<C> s);

template <>
std::string Decode(std::string_view s) {
  return kv::inet::PercentDecode(s);
}

template <>
std::u16string Decode(std::u16string_view s) {
  // Escapes are bytes of UTF-8 text; other characters stay.
  std::u16string out;
  size_t i = 0;
  while (i < s.size()) {
    if (s[i] != '%') {
      out += s[i++];
      continue;
    }
    std::string bytes;
    size_t j = i;
    auto hex = [](char16_t c) -> int {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      return -1;
    };
    while (j + 2 < s.size() && s[j] == '%' && hex(s[j + 1]) >= 0 && hex(s[j + 2]) >= 0) {
      bytes += static_cast<char>(hex(s[j + 1]) * 16 + hex(s[j + 2]));
      j += 3;
    }
    if (bytes.empty()) {
      out += s[i++];
      continue;
    }
    out += kv::Utf8ToWide(bytes);
    i = j;
  }
  return out;
}

// Hands one component out under the platform's rules; false with the last error set.
template <class C>
bool GiveOut(std::basic_string_view<C> url, const Span& span, bool decode, C*& pointer, DWORD& length,
             bool* failed_short) {
  if (!pointer) {
    if (length == 0) return true;  // not wanted
    if (!span.present) {
      pointer = nullptr;
      length = 0;
      return true;
    }
    pointer = const_cast<C*>(url.data()) + span.pos;
    length = static_cast<DWORD>(span.len);
    return true;
  }
  std::basic_string<C> text(url.substr(span.pos, span.len));
  if (decode) text = Decode<C>(text);
  if (length < text.size() + 1) {
    length = static_cast<DWORD>(text.size() + 1);
    *failed_short = true;
    return true;
  }
  std::memcpy(pointer, text.data(), text.size() * sizeof(C));
  pointer[text.size()] = 0;
  length = static_cast<DWORD>(text.size());
  return true;
}

template <class C, class Components>
BOOL CrackUrl(const C* url, DWORD url_length, DWORD flags, Components* uc) {
  if (!url || !uc) return kv::base::Fail(ERROR_INVALID_PARAMETER);
  std::basic_string_view<C> u =
      url_length ? std::basic_string_view<C>(url, url_length) : std::basic_string_view<C>(url);
  if (u.empty()) return kv::base::Fail(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
  const bool decode_all = (flags & ICU_DECODE) != 0;
  const bool decode_path = decode_all || (flags & ICU_ESCAPE) != 0;
  // Decoding needs a buffer for every component asked for.
  auto bad_ask = [&](C* p, DWORD len, bool decode) { return decode && !p && len; };
  if (bad_ask(uc->lpszUserName, uc->dwUserNameLength, decode_all) ||
      bad_ask(uc->lpszPassword, uc->dwPasswordLength, decode_all) ||
      bad_ask(uc->lpszHostName, uc->dwHostNameLength, decode_all) ||
      bad_ask(uc->lpszUrlPath, uc->dwUrlPathLength, decode_path) ||
      bad_ask(uc->lpszExtraInfo, uc->dwExtraInfoLength, decode_path))
    return kv::base::Fail(ERROR_INVALID_PARAMETER);
  Cracked c;
  if (DWORD e = Crack<C>(u, &c)) return kv::base::Fail(e);
  uc->nScheme = c.kind;
  uc->nPort = c.port;
  bool shorted = false;
  GiveOut<C>(u, c.scheme, false, uc->lpszScheme, uc->dwSchemeLength, &shorted);
  GiveOut<C>(u, c.host, decode_all, uc->lpszHostName, uc->dwHostNameLength, &shorted);
  GiveOut<C>(u, c.user, decode_all, uc->lpszUserName, uc->dwUserNameLength, &shorted);
  GiveOut<C>(u, c.password, decode_all, uc->lpszPassword, uc->dwPasswordLength, &shorted);
  GiveOut<C>(u, c.path, decode_path, uc->lpszUrlPath, uc->dwUrlPathLength, &shorted);
  GiveOut<C>(u, c.extra, decode_path, uc->lpszExtraInfo, uc->dwExtraInfoLength, &shorted);
  if (shorted) return kv::base::Fail(ERROR_INSUFFICIENT_BUFFER);
  return TRUE;
}

}  // namespace

namespace kv::inet {

DWORD ParseUrl(std::string_view url, UrlParts* out) {
  Cracked c;
  if (DWORD e = Crack<char>(url, &c)) return e;
  auto text = [&](const Span& s) { return std::string(url.substr(s.pos, s.len)); };
  out->scheme = Lower(text(c.scheme));
  out->kind = c.kind;
  out->user = PercentDecode(text(c.user));
  out->password = PercentDecode(text(c.password));
  out->host = Lower(text(c.host));
  out->ipv6 = c.ipv6;
  out->port = c.port;
  out->path = text(c.path);
  out->extra = text(c.extra);
  return 0;
}

std::string CookiePathOf(const UrlParts& url) {
  return url.path.empty() || url.path[0] != '/' ? std::string("/") : url.path;
}

}  // namespace kv::inet

extern "C" {

BOOL InternetCrackUrlA(LPCSTR url, DWORD url_length, DWORD flags, URL_COMPONENTSA* components) {
  return CrackUrl<char>(url, url_length, flags, components);
}

BOOL InternetCrackUrlW(LPCWSTR url, DWORD url_length, DWORD flags, URL_COMPONENTSW* components) {
  return CrackUrl<char16_t>(url, url_length, flags, components);
}

}  // extern "C"
