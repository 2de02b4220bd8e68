#include "http_client/id_cookies.h"

#include <algorithm>

#include "http_client/id_global.h"
#include "http_client/id_uri.h"

namespace {

std::string Unquote(std::string s) {
  if (!s.empty() && s.front() == '"') s.erase(0, 1);
  if (!s.empty() && s.back() == '"') s.pop_back();
  return s;
}

// Whether `host` lies in `domain`: equal, or ending in "." + domain (a leading "." of the
// domain is not part of the comparison).
bool DomainMatches(const std::string& host, const std::string& domain) {
  std::string h = UpperCase(host), d = UpperCase(domain);
  if (!d.empty() && d[0] == '.') d.erase(0, 1);
  if (d.empty()) return false;
  if (h == d) return true;
  return h.size() > d.size() + 1 && h.compare(h.size() - d.size(), d.size(), d) == 0 &&
         h[h.size() - d.size() - 1] == '.';
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Cookies.

std::string TIdNetscapeCookie::Attribute(const std::vector<std::string>& attributes, const std::string& name,
                                         bool* present) {
  if (present) *present = false;
  for (const auto& a : attributes) {
    const size_t eq = a.find('=');
    if (eq != std::string::npos && a.compare(0, eq, name) == 0 && eq == name.size()) {
      if (present) *present = true;
      return a.substr(eq + 1);
    }
  }
  return std::string();
}

bool TIdNetscapeCookie::Flag(const std::vector<std::string>& attributes, const std::string& name) {
  return std::find(attributes.begin(), attributes.end(), name) != attributes.end();
}

void TIdNetscapeCookie::Parse(const std::string& text) {
  if (text == RawText) return;
  RawText = text;
  std::vector<std::string> attributes;
  std::string rest = text;
  size_t p;
  while ((p = rest.find(';')) != std::string::npos) {
    attributes.push_back(Trim(rest.substr(0, p)));
    rest.erase(0, p + 1);
  }
  rest = Trim(rest);
  if (!rest.empty() || attributes.empty()) attributes.push_back(rest);
  std::string first = attributes.front();
  attributes.erase(attributes.begin());
  CookieName = FetchToken(first, "=");
  CookieValue = first;
  for (auto& a : attributes) {
    const size_t eq = a.find('=');
    if (eq != std::string::npos)
      a = UpperCase(a.substr(0, eq)) + a.substr(eq);
    else
      a = UpperCase(a);
  }
  ParseAttributes(attributes);
}

void TIdNetscapeCookie::ParseAttributes(const std::vector<std::string>& attributes) {
  CookiePath = Unquote(Attribute(attributes, "PATH"));
  SetExpires(Attribute(attributes, "EXPIRES"));
  CookieDomain = Attribute(attributes, "DOMAIN");
  SecureOnly = Flag(attributes, "SECURE");
}

void TIdNetscapeCookie::SetExpires(const std::string& value) { ExpiryText = value; }

bool TIdNetscapeCookie::IsValidCookie(const std::string& host) const {
  if (IsValidIPv4Text(host)) return CookieDomain == host;
  if (LooksLikeHostName(host)) {
    if (LooksLikeHostName(CookieDomain)) return CookieDomain == host;
    return CookieDomain == DomainPart(host);
  }
  return SameText(CookieDomain, DomainPart(host));
}

std::string TIdNetscapeCookie::ServerCookie() const {
  std::vector<std::string> items;
  if (!CookieValue.empty()) items.push_back(CookieName + "=" + CookieValue);
  if (!CookiePath.empty()) items.push_back("path=" + CookiePath);
  if (!ExpiryText.empty() && CookieKind == 0) items.push_back("expires=" + ExpiryText);
  if (!CookieDomain.empty()) items.push_back("domain=" + CookieDomain);
  if (SecureOnly) items.push_back("secure");
  std::string out;
  for (size_t i = 0; i < items.size(); ++i) out += (i ? "; " : "") + items[i];
  return out;
}

std::string TIdCookieRFC2109::ServerCookie() const {
  std::string out = TIdNetscapeCookie::ServerCookie();
  auto add = [&out](const std::string& item) { out += (out.empty() ? "" : "; ") + item; };
  if (MaxAgeSeconds >= 0 && ExpiryText.empty()) add("max-age=" + std::to_string(MaxAgeSeconds));
  if (!CommentText.empty()) add("comment=" + CommentText);
  if (!VersionText.empty()) add("version=" + VersionText);
  return out;
}

void TIdCookieRFC2109::SetExpires(const std::string& value) {
  if (!value.empty()) {
    const TDateTime when = GmtToLocal(value);
    if (when != 0) MaxAgeSeconds = static_cast<int64_t>((when - Now()) * 86400.0);
  }
  ExpiryText = value;
}

void TIdCookieRFC2109::ParseAttributes(const std::vector<std::string>& attributes) {
  TIdNetscapeCookie::ParseAttributes(attributes);
  MaxAgeSeconds = DecimalToInt64(Attribute(attributes, "MAX-AGE"), -1);
  VersionText = Attribute(attributes, "VERSION");
  CommentText = Attribute(attributes, "COMMENT");
  if (ExpiryText.empty()) {
    CookieKind = 0;
    if (MaxAgeSeconds >= 0) SetExpires(InternetDateText(Now() + MaxAgeSeconds / 86400.0, false));
  }
}

void TIdCookieRFC2109::AssignCookie(const TIdCookieRFC2109& source) {
  RawText.clear();
  Parse(source.ServerCookie());
  CookieKind = source.CookieKind;
  ExpiryText = source.ExpiryText;
  MaxAgeSeconds = source.MaxAgeSeconds;
}

void TIdCookieRFC2965::SetPort(int i, int value) {
  if (i < 0 || i > PortCount()) throw EIdException("Index out of range.");
  if (i == PortCount())
    PortNumbers.push_back(value);
  else
    PortNumbers[static_cast<size_t>(i)] = value;
}

void TIdCookieRFC2965::ParseAttributes(const std::vector<std::string>& attributes) {
  TIdCookieRFC2109::ParseAttributes(attributes);
  CommentUrl = Attribute(attributes, "COMMENTURL");
  DiscardFlag = Flag(attributes, "DISCARD");
  bool has_value = false;
  const std::string ports = Attribute(attributes, "PORT", &has_value);
  if (!has_value || ports.empty()) {
    PortNumbers = {80};
    return;
  }
  if (ports.size() >= 2 && ports.front() == '"' && ports.back() == '"') {
    // A list with an item that is not a port number counts as no list (the port of the
    // answer), so one bad attribute cannot fail the request that carried the cookie.
    std::vector<int> list;
    std::string rest = ports.substr(1, ports.size() - 2);
    bool valid = true;
    while (!rest.empty()) {
      const std::string item = Trim(FetchToken(rest, ","));
      const int v = DecimalToInt(item, -1);
      if (v < 0)
        valid = false;
      else
        list.push_back(v);
    }
    PortNumbers = (valid && !list.empty()) ? list : std::vector<int>{80};
  }
}

// ---------------------------------------------------------------------------------------
// The collection.

TIdCookies::~TIdCookies() = default;

TIdCookieRFC2109* TIdCookies::Add(std::unique_ptr<TIdCookieRFC2109> cookie) {
  items_.push_back(std::move(cookie));
  return items_.back().get();
}

TIdCookies::DomainEntry* TIdCookies::FindDomain(const std::string& domain) {
  for (auto& d : domains_)
    if (SameText(d.Domain, domain)) return &d;
  return nullptr;
}

void TIdCookies::Delete(TIdCookieRFC2109* cookie) {
  LockCookieListForWriting();
  for (auto& d : domains_) d.Cookies.erase(std::remove(d.Cookies.begin(), d.Cookies.end(), cookie), d.Cookies.end());
  items_.erase(std::remove_if(items_.begin(), items_.end(), [cookie](const auto& p) { return p.get() == cookie; }),
               items_.end());
  UnlockCookieListForWriting();
}

// ---------------------------------------------------------------------------------------
// The manager.

TIdCookieManager::TIdCookieManager(TComponent* AOwner) : TIdBaseComponent(AOwner) {
  if (OnCreate) OnCreate(this, &cookies_);
}

TIdCookieManager::~TIdCookieManager() {
  CleanupCookieList();
  if (OnDestroy) OnDestroy(this, &cookies_);
}

void TIdCookieManager::AddCookie(const std::string& text, const std::string& host, const std::string& request_path) {
  TakeCookie(std::make_unique<TIdCookieRFC2109>(), text, host, request_path);
}

void TIdCookieManager::AddCookie2(const std::string& text, const std::string& host, const std::string& request_path) {
  TakeCookie(std::make_unique<TIdCookieRFC2965>(), text, host, request_path);
}

void TIdCookieManager::TakeCookie(std::unique_ptr<TIdCookieRFC2109> owned, const std::string& text,
                                  const std::string& host, const std::string& request_path) {
  TIdCookieRFC2109* cookie = cookies_.Add(std::move(owned));
  cookie->Parse(text);
  if (cookie->CookieDomain.empty()) cookie->CookieDomain = host;
  // A cookie without a path belongs to the folder that set it (an empty path would never
  // be sent back).
  if (cookie->CookiePath.empty()) cookie->CookiePath = request_path.empty() ? "/" : request_path;
  if (!cookie->IsValidCookie(host)) {
    cookies_.Delete(cookie);
    return;
  }
  bool accept = true;
  if (OnNewCookie) OnNewCookie(this, cookie, accept);
  if (!accept) {
    cookies_.Delete(cookie);
    return;
  }
  cookies_.LockCookieListForWriting();
  TIdCookies::DomainEntry* domain = cookies_.FindDomain(cookie->CookieDomain);
  if (domain == nullptr) {
    cookies_.Domains().push_back({cookie->CookieDomain, {}});
    domain = &cookies_.Domains().back();
  }
  TIdCookieRFC2109* existing = nullptr;
  for (auto* c : domain->Cookies)
    if (SameText(c->CookieName, cookie->CookieName)) existing = c;
  if (existing == nullptr) {
    domain->Cookies.push_back(cookie);
    cookies_.UnlockCookieListForWriting();
    return;
  }
  existing->AssignCookie(*cookie);
  cookies_.Delete(cookie);  // re-enters the write lock, as a writer may
  cookies_.UnlockCookieListForWriting();
}

void TIdCookieManager::CleanupCookieList() {
  const TDateTime now = Now();
  cookies_.LockCookieListForWriting();
  for (auto& d : cookies_.Domains()) {
    for (size_t i = d.Cookies.size(); i-- > 0;) {
      TIdCookieRFC2109* c = d.Cookies[i];
      if (c->ExpiryText.empty()) continue;
      // An expiry that does not read as a date counts as 0, which lies before now.
      if (GmtToLocal(c->ExpiryText) < now) cookies_.Delete(c);
    }
  }
  cookies_.UnlockCookieListForWriting();
}

std::string TIdCookieManager::GenerateCookieList(const std::string& url, bool secure) {
  CleanupCookieList();
  TIdURI uri(url);
  const std::string host = uri.HostPart;
  const std::string path = uri.PathPart + uri.DocumentPart;
  std::vector<TIdCookieRFC2109*> found;
  cookies_.LockCookieListForReading();
  for (auto& d : cookies_.Domains()) {
    if (!DomainMatches(host, d.Domain)) continue;
    for (size_t i = d.Cookies.size(); i-- > 0;) {
      TIdCookieRFC2109* c = d.Cookies[i];
      if (c->CookiePath.empty() || path.compare(0, c->CookiePath.size(), c->CookiePath) != 0) continue;
      if (c->CookieValue.empty() || (c->SecureOnly && !secure)) continue;
      found.push_back(c);
    }
  }
  cookies_.UnlockCookieListForReading();
  std::stable_sort(found.begin(), found.end(), [](const TIdCookieRFC2109* a, const TIdCookieRFC2109* b) {
    return CompareText(a->CookiePath, b->CookiePath) < 0;
  });
  std::string out;
  for (size_t i = found.size(); i-- > 0;) out += (out.empty() ? "" : "; ") + found[i]->ClientCookie();
  return out;
}
