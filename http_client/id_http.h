// The HTTP/1.0 and HTTP/1.1 client component.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "framework/core/classes.h"
#include "http_client/id_auth.h"
#include "http_client/id_cookies.h"
#include "http_client/id_global.h"
#include "http_client/id_headers.h"
#include "http_client/id_tcp.h"
#include "http_client/id_uri.h"

enum TIdHTTPMethod { hmHead, hmGet, hmPost, hmOptions, hmTrace, hmPut, hmDelete, hmConnect };
enum TIdHTTPOption { hoInProcessAuth, hoKeepOrigProtocol, hoForceEncodeParams };
using TIdHTTPOptions = Set<TIdHTTPOption, hoInProcessAuth, hoForceEncodeParams>;
enum TIdHTTPProtocolVersion { pv1_0, pv1_1 };
enum TIdHTTPConnectionType { ckDirect, ckSSL, ckProxy, ckSSLProxy };
enum TIdHTTPWhatsNext { nxRetry = 0, nxDone = 1, nxUndecided = 2, nxAuthRetry = 4 };

class TIdCustomHTTP;

using TIdHTTPOnRedirectEvent =
    std::function<void(TObject* Sender, std::string& dest, int& NumRedirect, bool& Handled, TIdHTTPMethod& VMethod)>;
using TIdOnSelectAuthorization =
    std::function<void(TObject* Sender, TIdAuthenticationClass& AuthenticationClass, TIdHeaderList& AuthInfo)>;
using TIdOnAuthorization = std::function<void(TObject* Sender, TIdAuthentication* Authentication, bool& Handled)>;

class TIdHTTPRequest : public TIdRequestHeaderInfo {
 public:
  explicit TIdHTTPRequest(TIdCustomHTTP* client) : HTTP(client) {}
  KV_CLASS_NAME(TIdHTTPRequest)
  TIdCustomHTTP* HTTP;
  std::string Url;
  TIdHTTPMethod Method = hmGet;
  TStream* SourceStream = nullptr;
  TIdHTTPConnectionType ConnectionKind = ckDirect;
};

class TIdHTTPResponse : public TIdResponseHeaderInfo {
 public:
  explicit TIdHTTPResponse(TIdCustomHTTP* client) : HTTP(client) {}
  KV_CLASS_NAME(TIdHTTPResponse)
  // Computes whether the connection stays open after this answer (and the server's
  // version); stores and returns it.
  bool KeepConnection();
  // The code of the status line, -1 when it has none; stored and returned.
  int ResponseCode();

  TIdCustomHTTP* HTTP;
  std::string StatusLine;
  int StatusCode = -1;
  TIdHTTPProtocolVersion ServerVersion = pv1_1;
  bool KeepConnectionFlag = false;
  TStream* BodyStream = nullptr;
};

class TIdHTTPProtocol {
 public:
  explicit TIdHTTPProtocol(TIdCustomHTTP* client);
  TIdHTTPWhatsNext ProcessResponse();
  TIdCustomHTTP* HTTP;
  std::unique_ptr<TIdHTTPRequest> Request;
  std::unique_ptr<TIdHTTPResponse> Response;
};

class TIdCustomHTTP : public TIdTCPClient {
 public:
  explicit TIdCustomHTTP(TComponent* AOwner);
  ~TIdCustomHTTP() override;
  KV_CLASS_NAME(TIdCustomHTTP)

  // Fetches `url` into `stream` (appended at its position). Every failure is an exception.
  void Get(const std::string& url, TStream* stream);

  void SetHost(const std::string& value) override;
  void SetPort(int value) override;
  void NotifyDisconnected() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

  TIdCookieManager* CookieManager() const { return cookie_manager_; }
  void SetCookieManager(TIdCookieManager* value);
  bool OwnsCookieManager() const { return owns_cookie_manager_; }
  TIdAuthenticationManager* AuthenticationManager() const { return auth_manager_; }
  void SetAuthenticationManager(TIdAuthenticationManager* value);

  TIdHTTPRequest& Request() { return *protocol_->Request; }
  TIdHTTPResponse& Response() { return *protocol_->Response; }
  void SetRequest(TIdHTTPRequest& value) { protocol_->Request->Assign(&value); }
  TIdURI& URL() { return url_; }
  TIdProxyConnectionInfo& ProxyParams() { return proxy_params_; }
  int ResponseCode() { return Response().ResponseCode(); }
  const std::string& ResponseText() { return Response().StatusLine; }

  int AuthAttempts = 0, ProxyAuthAttempts = 0, AuthRetries = 3;
  bool AllowCookies = true;
  TIdHTTPProtocolVersion ProtocolVersion = pv1_1;
  int RedirectsFollowed = 0, RedirectMaximum = 15;
  bool HandleRedirects = false;
  TIdHTTPOptions HTTPOptions{hoForceEncodeParams};
  TIdHTTPOnRedirectEvent OnRedirect;
  TIdOnSelectAuthorization OnSelectAuthorization, OnSelectProxyAuthorization;
  TIdOnAuthorization OnAuthorization, OnProxyAuthorization;

 protected:
  void DoRequest(TIdHTTPMethod method, const std::string& url, TStream* source, TStream* body);

 private:
  friend class TIdHTTPProtocol;
  friend class TIdHTTPResponse;

  void PrepareRequest(TIdHTTPRequest& request);
  TIdHTTPConnectionType SetHostAndPort();
  void ConnectToHost(TIdHTTPRequest& request, TIdHTTPResponse& response);
  void CheckAndConnect(TIdHTTPResponse& response);
  void BuildAndSendRequest(TIdURI* uri, TIdHTTPRequest& request);
  void RetrieveHeaders(TIdHTTPResponse& response);
  void ReadResult(TIdHTTPResponse& response);
  int ReadChunkSize();
  [[noreturn]] void RaiseProtocolError(TIdHTTPResponse& response);
  void DiscardBody(TIdHTTPResponse& response);
  // Reads the body away (4 s at most); a failure closes the connection, whose place in
  // the answer is then unknown.
  void DiscardBodyOrClose(TIdHTTPResponse& response);
  void CloseQuietly();
  bool DoOnRedirect(std::string& location, TIdHTTPMethod& method, int redirect_count);
  void ProcessCookies(TIdHTTPRequest& request, TIdHTTPResponse& response);
  // Makes `authenticator` from the first challenge whose scheme has a class, after the
  // program's say; false when there is none.
  bool ChooseAuthenticator(TIdHeaderList& challenges, const TIdOnSelectAuthorization& select,
                           std::unique_ptr<TIdAuthentication>& authenticator);
  // Runs the authenticator's steps against the challenges with the given credentials,
  // asking the program when a step needs them; true when the request goes out answered.
  bool AnswerChallenge(TIdAuthentication& auth, TIdHeaderList& challenges, const TIdOnAuthorization& ask,
                       std::string& username, std::string& password, bool& basic);
  bool DoOnAuthorization(TIdHTTPRequest& request, TIdHTTPResponse& response);
  bool DoOnProxyAuthorization(TIdHTTPRequest& request, TIdHTTPResponse& response);
  // Whether the request goes encrypted through an SSL handler (secure cookies may go).
  bool UsesSSLHandler() const;
  // Reads a pending close (or pending data) without waiting and without raising.
  void PollForClose();

  TIdCookieManager* cookie_manager_ = nullptr;
  bool owns_cookie_manager_ = false;
  TIdAuthenticationManager* auth_manager_ = nullptr;
  TIdURI url_;
  std::unique_ptr<TIdHTTPProtocol> protocol_;
  TIdProxyConnectionInfo proxy_params_;
};

class TIdHTTP : public TIdCustomHTTP {
 public:
  explicit TIdHTTP(TComponent* AOwner) : TIdCustomHTTP(AOwner) {}
  KV_CLASS_NAME(TIdHTTP)
};
