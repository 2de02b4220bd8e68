#include "http_client/id_uri.h"

#include "http_client/id_exceptions.h"
#include "http_client/id_global.h"

void TIdURI::Parse(const std::string& url) {
  text_ = url;
  // Backslashes count as slashes; a trail byte of a double-byte character is left alone.
  for (size_t i = 0; i < text_.size(); ++i) {
    if (IsLeadByte(static_cast<unsigned char>(text_[i])) && i + 1 < text_.size()) {
      ++i;
      continue;
    }
    if (text_[i] == '\\') text_[i] = '/';
  }
  Scheme.clear();
  HostPart.clear();
  PortPart.clear();
  PathPart.clear();
  DocumentPart.clear();
  QueryPart.clear();
  FragmentPart.clear();
  UserPart.clear();
  PasswordPart.clear();

  std::string rest = text_;
  const size_t a = rest.find("://");
  const bool has_scheme = a != std::string::npos;
  if (has_scheme) {
    Scheme = rest.substr(0, a);
    rest.erase(0, a + 3);
    std::string authority = FetchToken(rest, "/");
    size_t at = authority.find('@');
    if (at != std::string::npos) {
      std::string user_info = authority.substr(0, at);
      authority.erase(0, at + 1);
      UserPart = FetchToken(user_info, ":");
      PasswordPart = user_info;
      if (UserPart.empty()) PasswordPart.clear();
    }
    HostPart = FetchToken(authority, ":");
    PortPart = authority;
  }
  size_t query = rest.find('?');
  if (query == std::string::npos) query = rest.find('=');
  int c = query == std::string::npos ? 0 : static_cast<int>(query) + 1;
  size_t p;
  if (c == 0) {
    size_t s = rest.rfind('/');
    p = s == std::string::npos ? 0 : s + 1;
  } else {
    size_t s = rest.rfind('/', static_cast<size_t>(c - 1));
    p = s == std::string::npos ? 0 : s + 1;
  }
  PathPart = (has_scheme ? "/" : "") + rest.substr(0, p);
  if (c == 0) {
    DocumentPart = rest.substr(p);
  } else {
    DocumentPart = static_cast<size_t>(c - 1) > p ? rest.substr(p, static_cast<size_t>(c - 1) - p) : "";
    QueryPart = rest.substr(static_cast<size_t>(c - 1));
  }
  if (has_scheme) {
    size_t h = DocumentPart.find('#');
    if (h != std::string::npos) {
      FragmentPart = DocumentPart.substr(h + 1);
      DocumentPart.erase(h);
    }
  }
  if (FragmentPart.empty()) {
    size_t h = QueryPart.find('#');
    if (h != std::string::npos) {
      FragmentPart = QueryPart.substr(h + 1);
      QueryPart.erase(h);
    }
  }
}

std::string TIdURI::Rebuild(bool with_user_info, bool with_bookmark) const {
  if (Scheme.empty()) throw EIdURIException("Protocol field is empty");
  std::string r = Scheme + "://";
  if (with_user_info && !UserPart.empty()) {
    r += UserPart;
    if (!PasswordPart.empty()) r += ":" + PasswordPart;
    r += "@";
  }
  if (HostPart.empty()) throw EIdURIException("Host field is empty");
  r += HostPart;
  if (!PortPart.empty()) r += ":" + PortPart;
  r += PathPart + DocumentPart + QueryPart;
  if (with_bookmark && !FragmentPart.empty()) r += "#" + FragmentPart;
  return r;
}

std::string TIdURI::URI() {
  text_ = Rebuild(true, true);
  return Rebuild(false, false);
}
