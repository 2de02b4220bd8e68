#include "download/url.h"

#include "platform/base/trace.h"

#include "browser_host/ewb_strings.h"
#include "framework/controls/forms.h"
#include "platform/base/error.h"
#include "platform/base/trace.h"

AnsiString AddTrailingSlash(const AnsiString& AUrl) {
  if (!AUrl.empty() && AUrl.back() == '/') return AUrl;
  const size_t dot = AUrl.rfind('.');
  const size_t slash = AUrl.rfind('/');
  if (dot == AnsiString::npos || (slash != AnsiString::npos && dot < slash)) return AUrl + "/";
  return AUrl;
}

void TUrl::Clear() {
  Url.clear();
  Protocol.clear();
  HostName.clear();
  UrlPath.clear();
  Document.clear();
  Query.clear();
  Bookmark.clear();
  UserName.clear();
  Password.clear();
  ExtraInfo.clear();
  Port = 80;
  UrlComponent = URL_COMPONENTSA{};
  UrlComponent.dwStructSize = 60;
}

namespace {

// Splits Rest into path (up to and including the last "/" before the query), document
// and query (from the first "?", else the first "=").
void SplitPathPart(const AnsiString& Rest, AnsiString& Path, AnsiString& Doc, AnsiString& Query) {
  int q = Pos("?", Rest);
  if (q == 0) q = Pos("=", Rest);
  const int cut = LastTextPos("/", Rest, q ? q - 1 : -1);
  Path = Copy(Rest, 1, cut);
  if (q) {
    Doc = Copy(Rest, cut + 1, q - cut - 1);
    Query = Copy(Rest, q, static_cast<int>(Rest.size()));
  } else {
    Doc = Copy(Rest, cut + 1, static_cast<int>(Rest.size()));
    Query.clear();
  }
}

// Text before the first Sep stays in S; the text after it goes to After.
void SplitOff(AnsiString& S, char Sep, AnsiString& After) {
  const size_t at = S.find(Sep);
  if (at == AnsiString::npos) return;
  After = S.substr(at + 1);
  S.erase(at);
}

void SetComponent(const AnsiString& Field, LPSTR& Ptr, DWORD& Len) {
  Ptr = Field.empty() ? nullptr : const_cast<LPSTR>(Field.c_str());
  Len = static_cast<DWORD>(Field.size());
}

}  // namespace

void TUrl::SplitUrl(const AnsiString& AUrl) {
  Clear();
  AnsiString s = AddTrailingSlash(AUrl);
  BackslashToSlash(s);
  Url = s;
  const int scheme = Pos("://", s);
  if (scheme == 0) {
    SplitPathPart(s, UrlPath, Document, Query);
  } else {
    Protocol = Copy(s, 1, scheme - 1);
    AnsiString rest = Copy(s, scheme + 3, static_cast<int>(s.size()));
    AnsiString authority;
    SplitAtSeparator(rest, "/", true, authority);
    AnsiString hostport = authority;
    const size_t at = authority.find('@');
    if (at != AnsiString::npos) {
      AnsiString user = authority.substr(0, at);
      hostport = authority.substr(at + 1);
      const size_t colon = user.find(':');
      UserName = user.substr(0, colon);
      if (colon != AnsiString::npos) Password = user.substr(colon + 1);
      if (UserName.empty()) Password.clear();
    }
    AnsiString port_text;
    const size_t open = hostport.find('[');
    const size_t close = hostport.find(']');
    if (open != AnsiString::npos && close != AnsiString::npos && open < close) {
      HostName = hostport.substr(open + 1, close - open - 1);
      const size_t colon = hostport.find(':', close);
      if (colon != AnsiString::npos) port_text = hostport.substr(colon + 1);
    } else {
      const size_t colon = hostport.find(':');
      HostName = hostport.substr(0, colon);
      if (colon != AnsiString::npos) port_text = hostport.substr(colon + 1);
    }
    Port = StrToIntDef(port_text, 80);
    AnsiString path;
    SplitPathPart(rest, path, Document, Query);
    UrlPath = "/" + path;
    SplitOff(Document, '#', Bookmark);
  }
  if (Bookmark.empty()) SplitOff(Query, '#', Bookmark);

  ExtraInfo = Document + Query;
  if (!Bookmark.empty()) ExtraInfo += "#" + Bookmark;
  SetComponent(Protocol, UrlComponent.lpszScheme, UrlComponent.dwSchemeLength);
  SetComponent(HostName, UrlComponent.lpszHostName, UrlComponent.dwHostNameLength);
  SetComponent(UrlPath, UrlComponent.lpszUrlPath, UrlComponent.dwUrlPathLength);
  SetComponent(UserName, UrlComponent.lpszUserName, UrlComponent.dwUserNameLength);
  SetComponent(Password, UrlComponent.lpszPassword, UrlComponent.dwPasswordLength);
  SetComponent(ExtraInfo, UrlComponent.lpszExtraInfo, UrlComponent.dwExtraInfoLength);
  UrlComponent.nPort = static_cast<INTERNET_PORT>(Port);
}

void TUrl::ReportError(DWORD Code) {
  const AnsiString text = SysErrorMessage(Code);
  if (OnError) OnError(this, Code, text);
  OutputDebugStringA(text.c_str());
}

void TUrl::CrackUrl(const AnsiString& AUrl, DWORD Flags, AnsiString& OutUrl) {
  Clear();
  const AnsiString url = AddTrailingSlash(AUrl);
  Url = url;
  char scheme[32], host[256], user[128], password[128], path[2048], extra[2055];
  URL_COMPONENTSA c{};
  c.dwStructSize = 60;
  c.lpszScheme = scheme;
  c.dwSchemeLength = sizeof scheme;
  c.lpszHostName = host;
  c.dwHostNameLength = sizeof host;
  c.lpszUserName = user;
  c.dwUserNameLength = sizeof user;
  c.lpszPassword = password;
  c.dwPasswordLength = sizeof password;
  c.lpszUrlPath = path;
  c.dwUrlPathLength = sizeof path;
  c.lpszExtraInfo = extra;
  c.dwExtraInfoLength = sizeof extra;
  if (!InternetCrackUrlA(url.c_str(), 0, Flags, &c)) {
    const DWORD error = GetLastError();
    Clear();
    ReportError(error);
    OutUrl.clear();
    return;
  }
  HostName.assign(host, c.dwHostNameLength);
  Protocol.assign(scheme, c.dwSchemeLength);
  UrlPath.assign(path, c.dwUrlPathLength);
  Port = c.nPort;
  ExtraInfo.assign(extra, c.dwExtraInfoLength);
  UserName.assign(user, c.dwUserNameLength);
  Password.assign(password, c.dwPasswordLength);
  OutUrl = url;
}

AnsiString TUrl::QueryStatusText(const AnsiString& AUrl, DWORD QueryCode) {
  const AnsiString title = Application ? Application->Title() : AnsiString();
  HINTERNET session = InternetOpenA(title.c_str(), INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY, nullptr, nullptr, 0);
  if (!session) {
    ReportError(GetLastError());
    return AnsiString();
  }
  AnsiString answer;
  HINTERNET request = InternetOpenUrlA(session, AUrl.c_str(), nullptr, 0, INTERNET_FLAG_NO_UI, 0);
  if (!request) {
    ReportError(GetLastError());
  } else {
    char buffer[513];
    DWORD length = sizeof buffer - 1;
    if (HttpQueryInfoA(request, QueryCode, buffer, &length, nullptr)) answer.assign(buffer, length);
    InternetCloseHandle(request);
  }
  InternetCloseHandle(session);
  return answer;
}

bool TUrl::CheckUrl(const AnsiString& AUrl) {
  const AnsiString status = QueryStatusText(AUrl, HTTP_QUERY_STATUS_CODE);
  return status == "200" || status == "401";
}
