// URL text: normalising typed addresses, resolving references, encoding form data.
#include "platform/browser/url.h"

#include <cctype>

namespace kv::browser {
namespace {

bool IsSchemeChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.'; }

bool IsDrivePath(std::string_view s) {
  return s.size() >= 2 && std::isalpha(static_cast<unsigned char>(s[0])) && s[1] == ':' &&
         (s.size() == 2 || s[2] == '\\' || s[2] == '/');
}

// Removes "." and ".." segments of an absolute path.
std::string RemoveDots(std::string_view path) {
  std::string out;
  size_t i = 0;
  while (i < path.size()) {
    size_t j = path.find('/', i + 1);
    if (j == std::string_view::npos) j = path.size();
    std::string_view seg = path.substr(i, j - i);  // starts with '/' (or not, for the first)
    if (seg == "/." || seg == ".") {
      if (j == path.size()) out += '/';
    } else if (seg == "/.." || seg == "..") {
      size_t cut = out.rfind('/');
      out.erase(cut == std::string::npos ? 0 : cut);
      if (j == path.size()) out += '/';
    } else {
      out += seg;
    }
    i = j;
  }
  return out;
}

struct Parts {
  std::string scheme, authority, path, query, fragment;
  bool has_authority = false, has_query = false, has_fragment = false;
};

Parts Split(std::string_view s) {
  Parts p;
  size_t hash = s.find('#');
  if (hash != std::string_view::npos) {
    p.has_fragment = true;
    p.fragment = s.substr(hash + 1);
    s = s.substr(0, hash);
  }
  size_t q = s.find('?');
  if (q != std::string_view::npos) {
    p.has_query = true;
    p.query = s.substr(q + 1);
    s = s.substr(0, q);
  }
  std::string scheme = UrlScheme(s);
  if (!scheme.empty()) {
    p.scheme = scheme;
    s = s.substr(scheme.size() + 1);
  }
  if (s.substr(0, 2) == "//") {
    p.has_authority = true;
    size_t slash = s.find('/', 2);
    if (slash == std::string_view::npos) slash = s.size();
    p.authority = s.substr(2, slash - 2);
    s = s.substr(slash);
  }
  p.path = s;
  return p;
}

std::string Join(const Parts& p) {
  std::string out;
  if (!p.scheme.empty()) out += p.scheme + ":";
  if (p.has_authority) out += "//" + p.authority;
  out += p.path;
  if (p.has_query) out += "?" + p.query;
  if (p.has_fragment) out += "#" + p.fragment;
  return out;
}

}  // namespace

std::string UrlScheme(std::string_view url) {
  size_t colon = url.find(':');
  if (colon == std::string_view::npos || colon < 2) return {};  // "c:" is a drive, not a scheme
  if (!std::isalpha(static_cast<unsigned char>(url[0]))) return {};
  for (size_t i = 0; i < colon; ++i)
    if (!IsSchemeChar(url[i])) return {};
  std::string s(url.substr(0, colon));
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string NormalizeUrl(std::string_view input) {
  while (!input.empty() && std::isspace(static_cast<unsigned char>(input.front()))) input.remove_prefix(1);
  while (!input.empty() && std::isspace(static_cast<unsigned char>(input.back()))) input.remove_suffix(1);
  if (IsDrivePath(input) || (!input.empty() && input[0] == '/' && input.substr(0, 2) != "//")) {
    std::string path(input);
    for (auto& c : path)
      if (c == '\\') c = '/';
    return IsDrivePath(input) ? "file:///" + path : "file://" + path;
  }
  std::string scheme = UrlScheme(input);
  if (scheme.empty()) return std::string(input);
  std::string out = scheme + std::string(input.substr(scheme.size()));
  if (scheme == "file")
    for (auto& c : out)
      if (c == '\\') c = '/';
  return out;
}

std::string ResolveUrl(std::string_view base, std::string_view ref) {
  if (!UrlScheme(ref).empty() || IsDrivePath(ref)) return NormalizeUrl(ref);
  Parts b = Split(base), r = Split(ref), t;
  t.scheme = b.scheme;
  if (r.has_authority) {
    t = r;
    t.scheme = b.scheme;
    t.path = RemoveDots(r.path);
  } else {
    t.has_authority = b.has_authority;
    t.authority = b.authority;
    if (r.path.empty()) {
      t.path = b.path;
      t.has_query = r.has_query || b.has_query;
      t.query = r.has_query ? r.query : b.query;
    } else {
      if (r.path[0] == '/') {
        t.path = RemoveDots(r.path);
      } else {
        size_t slash = b.path.rfind('/');
        std::string merged = (b.has_authority && b.path.empty()) ? "/" + r.path
                             : slash == std::string::npos        ? r.path
                                                                 : b.path.substr(0, slash + 1) + r.path;
        t.path = RemoveDots(merged);
      }
      t.has_query = r.has_query;
      t.query = r.query;
    }
    t.has_fragment = r.has_fragment;
    t.fragment = r.fragment;
  }
  return Join(t);
}

std::string PercentDecode(std::string_view s) {
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      int h = hex(s[i + 1]), l = hex(s[i + 2]);
      if (h >= 0 && l >= 0) {
        out += static_cast<char>(h * 16 + l);
        i += 2;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

std::string FormEncode(std::string_view bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (std::isalnum(c) || c == '*' || c == '-' || c == '.' || c == '_') {
      out += static_cast<char>(c);
    } else if (c == ' ') {
      out += '+';
    } else if (c == '\r' || c == '\n') {
      out += "%0D%0A";  // every line break goes as CR LF
      if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace kv::browser
