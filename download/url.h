// TUrl: a URL taken apart by its own rules (SplitUrl) or by the platform's URL cracker
// (CrackUrl), and a web server's status for a URL (QueryStatusText, CheckUrl).
#pragma once

#include <functional>

#include "framework/core/classes.h"
#include "framework/core/sysutils.h"
#include "platform/inet/inet.h"

class TUrl : public TObject {
 public:
  using TErrorEvent = std::function<void(TObject* Sender, DWORD ErrorCode, const AnsiString& ErrorText)>;

  TUrl() { Clear(); }
  explicit TUrl(const AnsiString& AUrl) : TUrl() {
    if (!AUrl.empty()) Url = AUrl;
  }

  AnsiString Url, Protocol, HostName, UrlPath, Document, Query, Bookmark, UserName, Password, ExtraInfo;
  int Port = 80;
  TErrorEvent OnError;
  // Points into the fields above; filled by SplitUrl.
  URL_COMPONENTSA UrlComponent{};

  void Clear();
  void SplitUrl(const AnsiString& AUrl);
  // Out URL: the URL handed to the cracker, or empty when it fails (the error event then
  // gets the system text).
  void CrackUrl(const AnsiString& AUrl, DWORD Flags, AnsiString& OutUrl);
  // The server's answer to HttpQueryInfo(QueryCode) for the URL; empty on failure.
  AnsiString QueryStatusText(const AnsiString& AUrl, DWORD QueryCode);
  // True when the server answers 200 or 401.
  bool CheckUrl(const AnsiString& AUrl);

 private:
  void ReportError(DWORD Code);
};

// "/" appended to a URL that does not end in one and whose last "." stands before its
// last "/" (or that has no "." at all).
AnsiString AddTrailingSlash(const AnsiString& AUrl);
