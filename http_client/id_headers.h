// The header list and the entity, request, response and proxy header records.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/core/classes.h"
#include "framework/core/sysutils.h"

class TIdAuthentication;

// Header lines in order: "name: value", or continuation lines that start with a blank or
// a TAB. Names compare without case.
class TIdHeaderList {
 public:
  explicit TIdHeaderList(int fold_length = 78) : FoldLength(fold_length) {}

  int Count() const { return static_cast<int>(lines_.size()); }
  const std::string& Strings(int i) const { return lines_.at(static_cast<size_t>(i)); }
  void Add(const std::string& line) { lines_.push_back(line); }
  void Insert(int i, const std::string& line) { lines_.insert(lines_.begin() + i, line); }
  void Delete(int i) { lines_.erase(lines_.begin() + i); }
  void Clear() { lines_.clear(); }
  const std::vector<std::string>& Lines() const { return lines_; }
  void Assign(const TIdHeaderList& source) { lines_ = source.lines_; }
  // Each line followed by CR LF.
  std::string Text() const;
  // Splits at CR LF, LF or CR.
  void SetText(const std::string& text);

  std::string Names(int i) const;
  std::string Values(int i) const;
  int IndexOfName(const std::string& name) const;
  std::string Values(const std::string& name) const;
  void SetValue(const std::string& name, const std::string& value);
  void Extract(const std::string& name, std::vector<std::string>* list) const;
  void DeleteFoldedLines(int i);
  std::vector<std::string> FoldLine(const std::string& line) const;

  std::string NameValueSeparator = ": ";
  bool CaseSensitive = false;
  bool UnfoldLines = true;
  bool FoldLines = true;
  int FoldLength;

 private:
  std::vector<std::string> lines_;
};

class TIdEntityHeaderInfo : public TPersistent {
 public:
  TIdEntityHeaderInfo();
  ~TIdEntityHeaderInfo() override;
  KV_CLASS_NAME(TIdEntityHeaderInfo)

  virtual void ParseHeaderLines();
  virtual void BuildHeaderLines();
  virtual void ClearFields();
  void Assign(TPersistent* Source) override;

  int32_t ContentLength() const { return content_length_; }
  void SetContentLength(int32_t value) {
    content_length_ = value;
    LengthKnown = value >= 0;
  }

  std::string CacheControl;
  TIdHeaderList HeaderLines{1024};
  std::string Connection, ContentEncoding, ContentLanguage;
  uint32_t ContentRangeEnd = 0, ContentRangeStart = 0;
  std::string ContentType, ContentVersion;
  TIdHeaderList CustomHeaders{78};
  TDateTime Date = 0, Expires = 0, LastModified = 0;
  std::string Pragma;
  bool LengthKnown = false;

 protected:
  void BuildEntityLines();
  void ParseEntityLines();

 private:
  int32_t content_length_ = -1;
};

class TIdRequestHeaderInfo : public TIdEntityHeaderInfo {
 public:
  TIdRequestHeaderInfo();
  ~TIdRequestHeaderInfo() override;
  KV_CLASS_NAME(TIdRequestHeaderInfo)

  void ParseHeaderLines() override;
  void BuildHeaderLines() override;
  void ClearFields() override;
  void Assign(TPersistent* Source) override;

  std::string Accept, AcceptCharSet, AcceptEncoding, AcceptLanguage;
  std::string From, Password, Referer, UserAgent, Username, Host;
  bool BasicAuthentication = false;
  std::string ProxyConnection;
  std::unique_ptr<TIdAuthentication> Authenticator;
};

class TIdResponseHeaderInfo : public TIdEntityHeaderInfo {
 public:
  TIdResponseHeaderInfo();
  KV_CLASS_NAME(TIdResponseHeaderInfo)

  void ParseHeaderLines() override;
  void ClearFields() override;

  std::string Location, Server, ProxyConnection;
  TIdHeaderList ProxyAuthenticate, WWWAuthenticate;
};

class TIdProxyConnectionInfo : public TPersistent {
 public:
  TIdProxyConnectionInfo();
  ~TIdProxyConnectionInfo() override;
  KV_CLASS_NAME(TIdProxyConnectionInfo)

  void Clear();
  void Assign(TPersistent* Source) override;
  // Adds "Proxy-Authorization" to a request head.
  void AddHeaders(TIdHeaderList& headers);

  int ProxyPort() const { return proxy_port_; }
  void SetProxyPort(int value);
  const std::string& ProxyServer() const { return proxy_server_; }
  void SetProxyServer(const std::string& value);

  std::unique_ptr<TIdAuthentication> Authenticator;
  std::string ProxyPassword, ProxyUsername;
  bool BasicAuthentication = false;

 private:
  int proxy_port_ = 0;
  std::string proxy_server_;
};
