// The process cookie jar: Set-Cookie parsing and matching by the rules of RFC 6265,
// expiry on the (virtual) clock, persistent cookies in $KORVANE_HOME/inet/cookies.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/base/internal.h"
#include "platform/base/path.h"
#include "platform/inet/internal.h"

namespace kv::inet {
namespace {

constexpr ULONGLONG kEpochDelta = 116444736000000000ull;  // 1601 to 1970 in FILETIME ticks
constexpr ULONGLONG kTicksPerSecond = 10000000ull;
constexpr size_t kMaxCookieBytes = 4096;
constexpr size_t kMaxCookies = 3000;

struct Cookie {
  std::string name, value, domain, path;
  bool host_only = true, secure = false, http_only = false, persistent = false;
  ULONGLONG expires = 0, created = 0;
};

// Suffixes under which anyone may register a name: every single label, and these.
const char* const kPublicSuffixes[] = {
    "com.cn", "net.cn", "org.cn", "gov.cn", "edu.cn", "ac.cn",  "mil.cn", "bj.cn",  "sh.cn",  "gd.cn",  "zj.cn",
    "js.cn",  "co.uk",  "org.uk", "ac.uk",  "gov.uk", "me.uk",  "ltd.uk", "plc.uk", "net.uk", "co.jp",  "ne.jp",
    "or.jp",  "ac.jp",  "go.jp",  "ad.jp",  "com.au", "net.au", "org.au", "edu.au", "gov.au", "com.hk", "net.hk",
    "org.hk", "edu.hk", "gov.hk", "com.tw", "net.tw", "org.tw", "edu.tw", "gov.tw", "co.kr",  "or.kr",  "ne.kr",
    "go.kr",  "ac.kr",  "com.br", "net.br", "org.br", "gov.br", "co.nz",  "org.nz", "net.nz", "co.in",  "net.in",
    "org.in", "com.sg", "com.my", "co.za",  "com.mx", "com.ru", "com.tr", "com.ar"};

bool IsPublicSuffix(const std::string& domain) {
  if (domain.find('.') == std::string::npos) return true;
  for (const char* s : kPublicSuffixes)
    if (domain == s) return true;
  return false;
}

bool IsIpAddress(const UrlParts& url) {
  if (url.ipv6) return true;
  if (url.host.empty()) return false;
  for (char c : url.host)
    if (!((c >= '0' && c <= '9') || c == '.')) return false;
  return true;
}

bool DomainMatch(const std::string& host, const std::string& domain) {
  if (host == domain) return true;
  return host.size() > domain.size() && host.compare(host.size() - domain.size(), std::string::npos, domain) == 0 &&
         host[host.size() - domain.size() - 1] == '.';
}

bool PathMatch(const std::string& request_path, const std::string& cookie_path) {
  if (request_path == cookie_path) return true;
  if (request_path.compare(0, cookie_path.size(), cookie_path) != 0) return false;
  return cookie_path.back() == '/' || request_path[cookie_path.size()] == '/';
}

std::string DefaultPath(const UrlParts& url) {
  std::string path = CookiePathOf(url);
  size_t slash = path.rfind('/');
  return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
}

class Jar final : public HomeStore {
 public:
  bool Store(const UrlParts& url, std::string_view header, bool from_script) {
    Cookie c;
    if (!Parse(url, header, &c)) return false;
    const ULONGLONG now = NowFileTime();
    bool persistent_changed = c.persistent;
    for (auto it = cookies_.begin(); it != cookies_.end(); ++it) {
      if (it->name != c.name || it->domain != c.domain || it->path != c.path) continue;
      if (from_script && it->http_only) return false;  // script cannot replace it
      c.created = it->created;
      persistent_changed = persistent_changed || it->persistent;
      cookies_.erase(it);
      break;
    }
    if (from_script && c.http_only) return false;
    if (c.persistent && c.expires <= now) {
      if (persistent_changed) Save();
      return true;  // an expiry in the past deletes the cookie
    }
    if (!c.created) c.created = now;
    cookies_.push_back(c);
    if (cookies_.size() > kMaxCookies) cookies_.erase(cookies_.begin());
    if (persistent_changed) Save();
    return true;
  }

  std::string Header(const UrlParts& url, bool for_script) {
    const ULONGLONG now = NowFileTime();
    std::vector<const Cookie*> match;
    const std::string path = CookiePathOf(url);
    for (const auto& c : cookies_) {
      if (c.persistent && c.expires <= now) continue;
      if (c.host_only ? url.host != c.domain : (IsIpAddress(url) || !DomainMatch(url.host, c.domain))) continue;
      if (!PathMatch(path, c.path)) continue;
      if (c.secure && url.kind != INTERNET_SCHEME_HTTPS) continue;
      if (c.http_only && for_script) continue;
      match.push_back(&c);
    }
    std::stable_sort(match.begin(), match.end(), [](const Cookie* a, const Cookie* b) {
      if (a->path.size() != b->path.size()) return a->path.size() > b->path.size();
      return a->created < b->created;
    });
    std::string out;
    for (const Cookie* c : match) {
      if (!out.empty()) out += "; ";
      out += c->name + "=" + c->value;
    }
    return out;
  }

  std::vector<CacheEntry> Entries() {
    const ULONGLONG now = NowFileTime();
    std::vector<CacheEntry> out;
    const std::string user = CacheUser();
    for (const auto& c : cookies_) {
      if (!c.persistent || c.expires <= now) continue;
      std::string name = "Cookie:" + user + "@" + c.domain + c.path;
      auto it = std::find_if(out.begin(), out.end(), [&](const CacheEntry& e) { return e.url == name; });
      if (it == out.end()) {
        CacheEntry e;
        e.url = name;
        e.local_file = StorePath("cookies");
        e.type = COOKIE_CACHE_ENTRY;
        e.modified = e.accessed = e.synced = c.created;
        out.push_back(e);
        it = out.end() - 1;
      }
      it->size += c.name.size() + c.value.size() + 1;
      it->expires = std::max(it->expires, c.expires);
      it->modified = std::max(it->modified, c.created);
      ++it->use_count;
    }
    return out;
  }

  bool DeleteEntry(const std::string& name) {
    const std::string prefix = "Cookie:" + CacheUser() + "@";
    if (!StartsWithNoCase(name, prefix)) return false;
    std::string rest = Lower(name.substr(prefix.size()));
    size_t slash = rest.find('/');
    if (slash == std::string::npos) return false;
    std::string domain = rest.substr(0, slash), path = name.substr(prefix.size() + slash);
    size_t before = cookies_.size();
    cookies_.erase(
        std::remove_if(cookies_.begin(), cookies_.end(),
                       [&](const Cookie& c) { return c.persistent && c.domain == domain && c.path == path; }),
        cookies_.end());
    if (cookies_.size() == before) return false;
    Save();
    return true;
  }

 private:
  bool Parse(const UrlParts& url, std::string_view header, Cookie* c) {
    if (header.size() > kMaxCookieBytes || url.host.empty()) return false;
    size_t semi = header.find(';');
    std::string_view pair = header.substr(0, semi);
    size_t eq = pair.find('=');
    if (eq == std::string_view::npos) return false;
    c->name = Trim(pair.substr(0, eq));
    c->value = Trim(pair.substr(eq + 1));
    if (c->name.empty()) return false;
    for (char ch : c->name + c->value)
      if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) return false;
    std::string domain_attr;
    bool have_max_age = false;
    c->path = DefaultPath(url);
    std::string_view rest = semi == std::string_view::npos ? std::string_view() : header.substr(semi + 1);
    while (!rest.empty()) {
      size_t next = rest.find(';');
      std::string_view av = rest.substr(0, next);
      rest = next == std::string_view::npos ? std::string_view() : rest.substr(next + 1);
      size_t e = av.find('=');
      std::string key = Lower(Trim(av.substr(0, e)));
      std::string value = e == std::string_view::npos ? std::string() : Trim(av.substr(e + 1));
      if (key == "expires" && !have_max_age) {
        time_t t = Curl() ? Curl()->getdate(value.c_str(), nullptr) : -1;
        if (t != -1) {
          c->persistent = true;
          c->expires = t <= 0 ? 1 : static_cast<ULONGLONG>(t) * kTicksPerSecond + kEpochDelta;
        }
      } else if (key == "max-age") {
        char* end = nullptr;
        long long secs = std::strtoll(value.c_str(), &end, 10);
        if (value.empty() || !end || *end) continue;
        have_max_age = true;
        c->persistent = true;
        const ULONGLONG now = NowFileTime();
        c->expires =
            secs <= 0 ? 1 : now + static_cast<ULONGLONG>(std::min<long long>(secs, 400LL * 86400)) * kTicksPerSecond;
      } else if (key == "domain") {
        if (!value.empty() && value[0] == '.') value.erase(0, 1);
        if (!value.empty()) domain_attr = Lower(value);
      } else if (key == "path") {
        if (!value.empty() && value[0] == '/') c->path = value;
      } else if (key == "secure") {
        c->secure = true;
      } else if (key == "httponly") {
        c->http_only = true;
      }
    }
    if (!domain_attr.empty() && IsPublicSuffix(domain_attr)) {
      if (domain_attr != url.host) return false;
      domain_attr.clear();  // the host itself: a host-only cookie
    }
    if (!domain_attr.empty()) {
      if (IsIpAddress(url) ? domain_attr != url.host : !DomainMatch(url.host, domain_attr)) return false;
      c->host_only = IsIpAddress(url);
      c->domain = domain_attr;
    } else {
      c->host_only = true;
      c->domain = url.host;
    }
    return true;
  }

  void DropRecords() override { cookies_.clear(); }
  void LoadRecords() override {
    const ULONGLONG now = NowFileTime();
    for (const auto& f : ReadRecords(StorePath("cookies"))) {
      if (f.size() != 9) continue;
      Cookie c;
      c.name = f[0];
      c.value = f[1];
      c.domain = f[2];
      c.path = f[3];
      c.host_only = f[4] == "1";
      c.secure = f[5] == "1";
      c.http_only = f[6] == "1";
      c.expires = std::strtoull(f[7].c_str(), nullptr, 10);
      c.created = std::strtoull(f[8].c_str(), nullptr, 10);
      c.persistent = true;
      if (c.name.empty() || c.domain.empty() || c.path.empty() || c.path[0] != '/' || c.expires <= now) continue;
      if (cookies_.size() < kMaxCookies) cookies_.push_back(c);
    }
  }

  void Save() {
    std::string text;
    const ULONGLONG now = NowFileTime();
    for (const auto& c : cookies_) {
      if (!c.persistent || c.expires <= now) continue;
      text += EscapeField(c.name) + "\t" + EscapeField(c.value) + "\t" + EscapeField(c.domain) + "\t" +
              EscapeField(c.path) + "\t" + (c.host_only ? "1" : "0") + "\t" + (c.secure ? "1" : "0") + "\t" +
              (c.http_only ? "1" : "0") + "\t" + std::to_string(c.expires) + "\t" + std::to_string(c.created) + "\n";
    }
    WriteStore(StorePath("cookies"), text);
  }

  std::vector<Cookie> cookies_;
};

Jar& TheJar() {
  static auto* jar = new Jar;
  return *jar;
}

}  // namespace

void StoreResponseCookies(const UrlParts& url, const Response& response) {
  std::string value;
  for (size_t i = 0; response.Header("Set-Cookie", &value, i); ++i) StoreCookie(url, value, false);
}

bool StoreCookie(const UrlParts& url, std::string_view set_cookie, bool from_script) {
  return TheJar().With([&] { return TheJar().Store(url, set_cookie, from_script); });
}

std::string CookieHeader(const UrlParts& url, bool for_script) {
  return TheJar().With([&] { return TheJar().Header(url, for_script); });
}

std::vector<CacheEntry> CookieCacheEntries() {
  return TheJar().With([&] { return TheJar().Entries(); });
}

bool DeleteCookieEntry(const std::string& name) {
  return TheJar().With([&] { return TheJar().DeleteEntry(name); });
}

void ResetCookies() { TheJar().Reset(); }

}  // namespace kv::inet
