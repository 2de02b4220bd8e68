// The cookie store: cookies parsed from "Set-cookie" and "Set-cookie2" answers, checked
// against the answering host, kept per domain and name, and sent back in "Cookie".
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/core/threads.h"
#include "http_client/id_tcp.h"

class TIdCookies;

class TIdNetscapeCookie : public TObject {
 public:
  TIdNetscapeCookie() = default;
  KV_CLASS_NAME(TIdNetscapeCookie)

  // Parses a cookie text (only when it differs from the last one parsed).
  void Parse(const std::string& text);
  virtual std::string ServerCookie() const;
  virtual void SetExpires(const std::string& value);
  std::string ClientCookie() const { return CookieName + "=" + CookieValue; }
  virtual bool IsValidCookie(const std::string& host) const;

  std::string RawText, CookieDomain, ExpiryText, CookieName, CookiePath;
  bool SecureOnly = false;
  std::string CookieValue;
  int CookieKind = 0;

 protected:
  // Attributes after the first, names upper-cased: "NAME=value" or "FLAG".
  virtual void ParseAttributes(const std::vector<std::string>& attributes);
  static std::string Attribute(const std::vector<std::string>& attributes, const std::string& name,
                               bool* present = nullptr);
  static bool Flag(const std::vector<std::string>& attributes, const std::string& name);
};

class TIdCookieRFC2109 : public TIdNetscapeCookie {
 public:
  TIdCookieRFC2109() { CookieKind = 1; }
  KV_CLASS_NAME(TIdCookieRFC2109)

  std::string ServerCookie() const override;
  void SetExpires(const std::string& value) override;
  // Takes the source's server-form text and kind, and keeps its expiry.
  void AssignCookie(const TIdCookieRFC2109& source);

  int64_t MaxAgeSeconds = -1;
  std::string VersionText, CommentText;

 protected:
  void ParseAttributes(const std::vector<std::string>& attributes) override;
};

class TIdCookieRFC2965 : public TIdCookieRFC2109 {
 public:
  TIdCookieRFC2965() { CookieKind = 2; }
  KV_CLASS_NAME(TIdCookieRFC2965)

  int PortCount() const { return static_cast<int>(PortNumbers.size()); }
  int Ports(int i) const { return PortNumbers.at(static_cast<size_t>(i)); }
  void SetPort(int i, int value);

  std::string CommentUrl;
  bool DiscardFlag = false;
  std::vector<int> PortNumbers;

 protected:
  void ParseAttributes(const std::vector<std::string>& attributes) override;
};

// Every cookie of a store, with the index domain -> cookies by name.
class TIdCookies : public TObject {
 public:
  TIdCookies() = default;
  ~TIdCookies() override;
  KV_CLASS_NAME(TIdCookies)

  int Count() const { return static_cast<int>(items_.size()); }
  TIdCookieRFC2109* Items(int i) const { return items_.at(static_cast<size_t>(i)).get(); }
  TIdCookieRFC2109* Add(std::unique_ptr<TIdCookieRFC2109> cookie);
  // Takes a cookie out of the store and its index, and frees it.
  void Delete(TIdCookieRFC2109* cookie);

  void LockCookieListForReading() { lock_.BeginRead(); }
  void UnlockCookieListForReading() { lock_.EndRead(); }
  void LockCookieListForWriting() { lock_.BeginWrite(); }
  void UnlockCookieListForWriting() { lock_.EndWrite(); }

  struct DomainEntry {
    std::string Domain;
    std::vector<TIdCookieRFC2109*> Cookies;  // in order of arrival
  };
  std::vector<DomainEntry>& Domains() { return domains_; }
  DomainEntry* FindDomain(const std::string& domain);

 private:
  std::vector<std::unique_ptr<TIdCookieRFC2109>> items_;
  std::vector<DomainEntry> domains_;
  TMultiReadExclusiveWriteSynchronizer lock_;
};

using TOnManagerEvent = std::function<void(TObject* ASender, TIdCookies* ACookieCollection)>;
using TOnNewCookieEvent = std::function<void(TObject* ASender, TIdCookieRFC2109* ACookie, bool& VAccept)>;

class TIdCookieManager : public TIdBaseComponent {
 public:
  explicit TIdCookieManager(TComponent* AOwner);
  ~TIdCookieManager() override;
  KV_CLASS_NAME(TIdCookieManager)

  // "Set-cookie" and "Set-cookie2" values answered by `host`.
  // `request_path` (the folder of the URL that answered) is the path of a cookie that
  // names none.
  void AddCookie(const std::string& text, const std::string& host, const std::string& request_path = "/");
  void AddCookie2(const std::string& text, const std::string& host, const std::string& request_path = "/");
  // The "Cookie" header value for a URL; secure cookies only when `secure` is true.
  std::string GenerateCookieList(const std::string& url, bool secure);
  void CleanupCookieList();
  TIdCookies& CookieCollection() { return cookies_; }

  TOnManagerEvent OnCreate, OnDestroy;
  TOnNewCookieEvent OnNewCookie;

 private:
  void TakeCookie(std::unique_ptr<TIdCookieRFC2109> cookie, const std::string& text, const std::string& host,
                  const std::string& request_path);
  TIdCookies cookies_;
};
