// A URL split into its parts, and rebuilt from them.
#pragma once

#include <string>

// A URL split into its parts, kept exactly as found (no percent-decoding).
class TIdURI {
 public:
  TIdURI() = default;
  explicit TIdURI(const std::string& url) {
    if (!url.empty()) Parse(url);
  }

  void Parse(const std::string& url);
  // The URL from its parts; raises EIdURIException for an empty scheme or host.
  std::string Rebuild(bool with_user_info, bool with_bookmark) const;
  // Rebuilds with both options and keeps that as the whole text; returns the form
  // without credentials and bookmark.
  std::string URI();
  const std::string& Text() const { return text_; }

  std::string Scheme, HostPart, PortPart, PathPart, DocumentPart, QueryPart, FragmentPart;
  std::string UserPart, PasswordPart;

 private:
  std::string text_;
};
