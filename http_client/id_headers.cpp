#include "http_client/id_headers.h"

#include "http_client/id_auth.h"
#include "http_client/id_global.h"

namespace {

bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }

std::string TrimRightBlanks(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// Whether the name of `line` (the text before `separator`; empty without one) is `name`,
// ASCII letters compared without case. Compares in place: no copies per line.
bool NameIs(const std::string& line, const std::string& separator, const std::string& name) {
  const size_t p = line.find(separator);
  const size_t length = p == std::string::npos ? 0 : p;
  if (length != name.size()) return false;
  for (size_t i = 0; i < length; ++i) {
    char a = line[i], b = name[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 32);
    if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 32);
    if (a != b) return false;
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// TIdHeaderList.

std::string TIdHeaderList::Text() const {
  std::string out;
  for (const auto& l : lines_) out += l + "\r\n";
  return out;
}

void TIdHeaderList::SetText(const std::string& text) {
  lines_.clear();
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines_.push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines_.push_back(line);
}

std::string TIdHeaderList::Names(int i) const {
  const std::string& line = Strings(i);
  const std::string sep = TrimRightBlanks(NameValueSeparator);
  const size_t p = line.find(sep);
  if (p == std::string::npos) return std::string();
  std::string name = line.substr(0, p);
  return CaseSensitive ? name : UpperCase(name);
}

std::string TIdHeaderList::Values(int i) const {
  if (i < 0 || i >= Count()) return std::string();
  const std::string& line = lines_[static_cast<size_t>(i)];
  const std::string sep = TrimRightBlanks(NameValueSeparator);
  const size_t p = line.find(sep);
  std::string value = p == std::string::npos ? std::string() : line.substr(p + sep.size());
  if (UnfoldLines) {
    for (size_t j = static_cast<size_t>(i) + 1; j < lines_.size(); ++j) {
      const std::string& next = lines_[j];
      if (next.empty() || !IsBlankOrTab(next[0])) break;
      value = Trim(value) + " " + Trim(next);
    }
  }
  return Trim(value);
}

int TIdHeaderList::IndexOfName(const std::string& name) const {
  const std::string separator = TrimRightBlanks(NameValueSeparator);
  for (int i = 0; i < Count(); ++i)
    if (NameIs(lines_[static_cast<size_t>(i)], separator, name)) return i;
  return -1;
}

std::string TIdHeaderList::Values(const std::string& name) const { return Values(IndexOfName(name)); }

void TIdHeaderList::DeleteFoldedLines(int i) {
  const size_t next = static_cast<size_t>(i) + 1;
  while (next < lines_.size() && !lines_[next].empty() && IsBlankOrTab(lines_[next][0]))
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(next));
}

void TIdHeaderList::SetValue(const std::string& name, const std::string& value) {
  int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) {
      if (FoldLines) DeleteFoldedLines(i);
      Delete(i);
    }
    return;
  }
  if (i < 0) {
    lines_.emplace_back();
    i = Count() - 1;
  }
  const std::string line = name + NameValueSeparator + value;
  if (!FoldLines) {
    lines_[static_cast<size_t>(i)] = line;
    return;
  }
  DeleteFoldedLines(i);
  std::vector<std::string> pieces = FoldLine(line);
  if (pieces.empty()) pieces.emplace_back();
  lines_[static_cast<size_t>(i)] = pieces[0];
  lines_.insert(lines_.begin() + i + 1, pieces.begin() + 1, pieces.end());
}

void TIdHeaderList::Extract(const std::string& name, std::vector<std::string>* list) const {
  if (list == nullptr) return;
  const std::string separator = TrimRightBlanks(NameValueSeparator);
  for (int i = 0; i < Count(); ++i)
    if (NameIs(lines_[static_cast<size_t>(i)], separator, name)) list->push_back(Values(i));
}

std::vector<std::string> TIdHeaderList::FoldLine(const std::string& line) const {
  static const std::string kBreak = "\r\n ";
  const size_t n = line.size();
  const size_t width = static_cast<size_t>(FoldLength > 0 ? FoldLength : 1);
  std::string out;
  size_t start = 0;
  size_t brk = std::string::npos;
  size_t col = 1;
  bool quoted = false;
  for (size_t i = 0; i < n; ++i, ++col) {
    const char c = line[i];
    bool forced = false;
    if (IsLeadByte(static_cast<unsigned char>(c)) && i + 1 < n) {
      ++i;  // the trail byte goes with its lead byte
      ++col;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (!quoted) {
      if (line.compare(i, kBreak.size(), kBreak) == 0) {
        forced = true;
        i += kBreak.size() - 1;
        brk = i;
      } else if (c == '\t' || c == ' ' || c == ',') {
        brk = i;
      }
    }
    if (quoted) continue;
    if (forced || (col > width && brk != std::string::npos && brk >= start)) {
      out += line.substr(start, brk - start + 1);
      size_t next = brk + 1;
      if (c != '"')
        while (next < n && (line[next] == ' ' || line[next] == '\t' || line[next] == ',' || line[next] == '\r' ||
                            line[next] == '\n'))
          ++next;
      if (!forced && next < n && n - next >= 2) out += kBreak;
      start = next;
      brk = std::string::npos;
      if (next > i + 1) i = next - 1;
      col = i + 1 >= start ? i + 1 - start : 0;
    }
  }
  if (start < n) out += line.substr(start);
  std::vector<std::string> pieces;
  size_t p = 0;
  for (;;) {
    size_t q = out.find("\r\n", p);
    pieces.push_back(TrimRightBlanks(out.substr(p, q == std::string::npos ? std::string::npos : q - p)));
    if (q == std::string::npos) break;
    p = q + 2;
  }
  return pieces;
}

// ---------------------------------------------------------------------------------------
// Entity headers.

TIdEntityHeaderInfo::TIdEntityHeaderInfo() { TIdEntityHeaderInfo::ClearFields(); }
TIdEntityHeaderInfo::~TIdEntityHeaderInfo() = default;

void TIdEntityHeaderInfo::ClearFields() {
  Connection.clear();
  ContentVersion.clear();
  ContentEncoding.clear();
  ContentLanguage.clear();
  ContentType = "text/html";
  SetContentLength(-1);
  ContentRangeStart = ContentRangeEnd = 0;
  Date = Expires = LastModified = 0;
  HeaderLines.Clear();
}

void TIdEntityHeaderInfo::BuildEntityLines() {
  HeaderLines.Clear();
  HeaderLines.SetValue("Connection", Connection);
  HeaderLines.SetValue("Content-Version", ContentVersion);
  HeaderLines.SetValue("Content-Encoding", ContentEncoding);
  HeaderLines.SetValue("Content-Language", ContentLanguage);
  HeaderLines.SetValue("Content-Type", ContentType);
  if (ContentLength() >= 0) HeaderLines.SetValue("Content-Length", std::to_string(ContentLength()));
  HeaderLines.SetValue("Cache-control", CacheControl);
  if (Date > 0) HeaderLines.SetValue("Date", InternetDateText(Date, false));
  if (Expires > 0) HeaderLines.SetValue("Expires", InternetDateText(Expires, false));
  HeaderLines.SetValue("Pragma", Pragma);
  if (CustomHeaders.Count() > 0) HeaderLines.SetText(HeaderLines.Text() + CustomHeaders.Text());
}

void TIdEntityHeaderInfo::BuildHeaderLines() { BuildEntityLines(); }

void TIdEntityHeaderInfo::ParseEntityLines() {
  Connection = HeaderLines.Values("Connection");
  ContentVersion = HeaderLines.Values("Content-Version");
  ContentEncoding = HeaderLines.Values("Content-Encoding");
  ContentLanguage = HeaderLines.Values("Content-Language");
  ContentType = HeaderLines.Values("Content-Type");
  SetContentLength(DecimalToInt(Trim(HeaderLines.Values("Content-Length")), -1));
  Date = GmtToLocal(HeaderLines.Values("Date"));
  LastModified = GmtToLocal(HeaderLines.Values("Last-Modified"));
  const std::string expires = HeaderLines.Values("Expires");
  const int seconds = DecimalToInt(Trim(expires), -1);
  if (seconds != -1) {
    // Seconds from now; one that does not fit a time of day counts as no date.
    TDateTime t;
    Expires = (seconds >= 0 && TryEncodeTime(seconds / 3600, (seconds / 60) % 60, seconds % 60, 0, t)) ? Now() + t : 0;
  } else {
    Expires = GmtToLocal(expires);
  }
  Pragma = HeaderLines.Values("Pragma");
}

void TIdEntityHeaderInfo::ParseHeaderLines() { ParseEntityLines(); }

void TIdEntityHeaderInfo::Assign(TPersistent* Source) {
  auto* s = dynamic_cast<TIdEntityHeaderInfo*>(Source);
  if (s == nullptr) {
    TPersistent::Assign(Source);
    return;
  }
  HeaderLines.Assign(s->HeaderLines);
  ContentEncoding = s->ContentEncoding;
  ContentLanguage = s->ContentLanguage;
  SetContentLength(s->ContentLength());
  ContentRangeEnd = s->ContentRangeEnd;
  ContentRangeStart = s->ContentRangeStart;
  ContentType = s->ContentType;
  ContentVersion = s->ContentVersion;
  Date = s->Date;
  Expires = s->Expires;
  LastModified = s->LastModified;
}

// ---------------------------------------------------------------------------------------
// Request headers.

TIdRequestHeaderInfo::TIdRequestHeaderInfo() { TIdRequestHeaderInfo::ClearFields(); }
TIdRequestHeaderInfo::~TIdRequestHeaderInfo() = default;

void TIdRequestHeaderInfo::ClearFields() {
  Accept = "text/html, */*";
  AcceptCharSet.clear();
  UserAgent = "Mozilla/3.0 (compatible; Idlane Library)";
  BasicAuthentication = false;
  TIdEntityHeaderInfo::ClearFields();
}

void TIdRequestHeaderInfo::BuildHeaderLines() {
  BuildEntityLines();
  HeaderLines.SetValue("Proxy-Connection", ProxyConnection);
  HeaderLines.SetValue("Host", Host);
  HeaderLines.SetValue("Accept", Accept);
  HeaderLines.SetValue("Accept-Charset", AcceptCharSet);
  HeaderLines.SetValue("Accept-Encoding", AcceptEncoding);
  HeaderLines.SetValue("Accept-Language", AcceptLanguage);
  HeaderLines.SetValue("From", From);
  HeaderLines.SetValue("Referer", Referer);
  HeaderLines.SetValue("User-Agent", UserAgent);
  if (LastModified > 0) HeaderLines.SetValue("If-Modified-Since", InternetDateText(LastModified, false));
  if (ContentRangeStart != 0 || ContentRangeEnd != 0) {
    std::string range = "bytes=" + std::to_string(ContentRangeStart) + "-";
    if (ContentRangeEnd != 0) range += std::to_string(ContentRangeEnd);
    HeaderLines.SetValue("Range", range);
  }
  if (Authenticator) {
    HeaderLines.SetValue("Authorization", Authenticator->Authentication());
  } else if (BasicAuthentication) {
    Authenticator = std::make_unique<TIdBasicAuthentication>();
    Authenticator->SetUsername(Username);
    Authenticator->SetPassword(Password);
    HeaderLines.SetValue("Authorization", Authenticator->Authentication());
  }
}

void TIdRequestHeaderInfo::ParseHeaderLines() {
  Accept = HeaderLines.Values("Accept");
  AcceptCharSet = HeaderLines.Values("Accept-Charset");
  AcceptEncoding = HeaderLines.Values("Accept-Encoding");
  AcceptLanguage = HeaderLines.Values("Accept-Language");
  Host = HeaderLines.Values("Host");
  From = HeaderLines.Values("From");
  Referer = HeaderLines.Values("Referer");
  UserAgent = HeaderLines.Values("User-Agent");
  const std::string range = HeaderLines.Values("Range");
  if (!range.empty()) {
    std::string rest = range;
    FetchToken(rest, "=");
    ContentRangeStart = static_cast<uint32_t>(std::max<int64_t>(0, DecimalToInt64(FetchToken(rest, "-"), 0)));
    ContentRangeEnd = static_cast<uint32_t>(std::max<int64_t>(0, DecimalToInt64(FetchToken(rest, " "), 0)));
  }
  ParseEntityLines();
}

void TIdRequestHeaderInfo::Assign(TPersistent* Source) {
  auto* s = dynamic_cast<TIdRequestHeaderInfo*>(Source);
  if (s == nullptr) {
    TIdEntityHeaderInfo::Assign(Source);
    return;
  }
  Accept = s->Accept;
  AcceptCharSet = s->AcceptCharSet;
  AcceptEncoding = s->AcceptEncoding;
  AcceptLanguage = s->AcceptLanguage;
  From = s->From;
  Password = s->Password;
  Referer = s->Referer;
  UserAgent = s->UserAgent;
  Username = s->Username;
  BasicAuthentication = s->BasicAuthentication;
}

// ---------------------------------------------------------------------------------------
// Response headers.

TIdResponseHeaderInfo::TIdResponseHeaderInfo() { TIdResponseHeaderInfo::ClearFields(); }

void TIdResponseHeaderInfo::ClearFields() {
  TIdEntityHeaderInfo::ClearFields();
  Location.clear();
  Server.clear();
  ProxyAuthenticate.Clear();
  WWWAuthenticate.Clear();
}

void TIdResponseHeaderInfo::ParseHeaderLines() {
  Location = HeaderLines.Values("Location");
  Server = HeaderLines.Values("Server");
  ProxyConnection = HeaderLines.Values("Proxy-Connection");
  ContentRangeStart = ContentRangeEnd = 0;
  if (HeaderLines.IndexOfName("Content-Range") >= 0) {
    // "bytes start-end/total"; a range that does not read as numbers counts as none.
    std::string rest = HeaderLines.Values("Content-Range");
    FetchToken(rest, " ");
    const int64_t start = DecimalToInt64(FetchToken(rest, "-"), -1);
    const int64_t end = DecimalToInt64(FetchToken(rest, "/"), -1);
    if (start >= 0 && end >= 0 && start <= UINT32_MAX && end <= UINT32_MAX) {
      ContentRangeStart = static_cast<uint32_t>(start);
      ContentRangeEnd = static_cast<uint32_t>(end);
    }
  }
  std::vector<std::string> values;
  HeaderLines.Extract("WWW-Authenticate", &values);
  WWWAuthenticate.Clear();
  for (const auto& v : values) WWWAuthenticate.Add(v);
  values.clear();
  HeaderLines.Extract("Proxy-Authenticate", &values);
  ProxyAuthenticate.Clear();
  for (const auto& v : values) ProxyAuthenticate.Add(v);
  ParseEntityLines();
}

// ---------------------------------------------------------------------------------------
// Proxy settings.

TIdProxyConnectionInfo::TIdProxyConnectionInfo() = default;
TIdProxyConnectionInfo::~TIdProxyConnectionInfo() = default;

void TIdProxyConnectionInfo::Clear() {
  proxy_server_.clear();
  ProxyUsername.clear();
  ProxyPassword.clear();
  proxy_port_ = 0;
}

void TIdProxyConnectionInfo::SetProxyPort(int value) {
  if (value != proxy_port_) Authenticator.reset();
  proxy_port_ = value;
}

void TIdProxyConnectionInfo::SetProxyServer(const std::string& value) {
  if (!SameText(value, proxy_server_)) Authenticator.reset();
  proxy_server_ = value;
}

void TIdProxyConnectionInfo::Assign(TPersistent* Source) {
  auto* s = dynamic_cast<TIdProxyConnectionInfo*>(Source);
  if (s == nullptr) {
    TPersistent::Assign(Source);
    return;
  }
  ProxyPassword = s->ProxyPassword;
  SetProxyPort(s->ProxyPort());
  SetProxyServer(s->ProxyServer());
  ProxyUsername = s->ProxyUsername;
  BasicAuthentication = s->BasicAuthentication;
}

void TIdProxyConnectionInfo::AddHeaders(TIdHeaderList& headers) {
  if (Authenticator) {
    headers.SetValue("Proxy-Authorization", Authenticator->Authentication());
  } else if (BasicAuthentication) {
    Authenticator = std::make_unique<TIdBasicAuthentication>();
    Authenticator->SetUsername(ProxyUsername);
    Authenticator->SetPassword(ProxyPassword);
    headers.SetValue("Proxy-Authorization", Authenticator->Authentication());
  }
}
