#include "http_client/id_http.h"

#include "http_client/id_ssl.h"

namespace {

const char* MethodWord(TIdHTTPMethod m) {
  switch (m) {
    case hmHead: return "HEAD ";
    case hmGet: return "GET ";
    case hmPost: return "POST ";
    case hmOptions: return "OPTIONS ";
    case hmTrace: return "TRACE ";
    case hmPut: return "PUT ";
    case hmDelete: return "DELETE ";
    case hmConnect: return "CONNECT ";
  }
  return "GET ";
}

const char* VersionText(TIdHTTPProtocolVersion v) { return v == pv1_0 ? "1.0" : "1.1"; }

// Restores the connection's read time-out when a temporary one goes out of scope.
class TimeoutScope {
 public:
  TimeoutScope(TIdTCPConnection& c, int ms) : c_(c), saved_(c.ReadTimeout) { c.ReadTimeout = ms; }
  ~TimeoutScope() { c_.ReadTimeout = saved_; }

 private:
  TIdTCPConnection& c_;
  int saved_;
};

// Whether an answer is handled as a redirect (a 3xx other than 304, or any answer that
// names a new location).
bool Redirects(const TIdHTTPResponse& response) {
  const int code = response.StatusCode;
  return (code / 100 == 3 && code != 304) || !response.Location.empty();
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Response.

int TIdHTTPResponse::ResponseCode() {
  std::string s = StatusLine;
  const size_t blank = s.find(' ');
  s = blank == std::string::npos ? std::string() : Trim(s.substr(blank + 1));
  StatusCode = DecimalToInt(FetchToken(s, " "), -1);
  return StatusCode;
}

bool TIdHTTPResponse::KeepConnection() {
  const std::string version = StatusLine.size() >= 8 ? UpperCase(StatusLine.substr(5, 3)) : std::string();
  if (version == "1.0")
    ServerVersion = pv1_0;
  else if (version == "1.1")
    ServerVersion = pv1_1;
  HTTP->PollForClose();
  bool result = HTTP->Connected();
  if (result) {
    const std::string c = UpperCase(Trim(Connection)), pc = UpperCase(Trim(ProxyConnection));
    if (HTTP->ProtocolVersion == pv1_1)
      result = !(c == "CLOSE" || pc == "CLOSE");
    else
      result = c == "KEEP-ALIVE" || pc == "KEEP-ALIVE";
  }
  KeepConnectionFlag = result;
  return result;
}

// ---------------------------------------------------------------------------------------
// Protocol: the decision after an answer.

TIdHTTPProtocol::TIdHTTPProtocol(TIdCustomHTTP* client)
    : HTTP(client),
      Request(std::make_unique<TIdHTTPRequest>(client)),
      Response(std::make_unique<TIdHTTPResponse>(client)) {}

TIdHTTPWhatsNext TIdHTTPProtocol::ProcessResponse() {
  TIdCustomHTTP& h = *HTTP;
  TIdHTTPRequest& request = *Request;
  TIdHTTPResponse& response = *Response;
  TIdHTTPWhatsNext result = nxUndecided;
  const int code = response.ResponseCode();
  const int d = code / 100;
  if (Redirects(response)) {
    std::string dest = response.Location;
    TIdHTTPMethod method = request.Method;
    if (h.HandleRedirects && h.RedirectsFollowed < h.RedirectMaximum) {
      if (!h.DoOnRedirect(dest, method, h.RedirectsFollowed)) h.RaiseProtocolError(response);
      result = nxRetry;
      request.Url = dest;
      request.Method = method;
    } else {
      result = nxDone;
      if (!h.DoOnRedirect(dest, method, h.RedirectsFollowed)) h.RaiseProtocolError(response);
      response.Location = dest;
    }
    if (h.Connected()) h.DiscardBodyOrClose(response);
    return result;
  }
  bool auth_pending = false;
  if (d != 2) {
    result = nxRetry;
    if (code == 401) {
      if (h.AuthAttempts >= h.AuthRetries || !h.DoOnAuthorization(request, response)) {
        if (request.Authenticator) request.Authenticator->Restart();
        h.RaiseProtocolError(response);
      }
      auth_pending = h.HTTPOptions.Contains(hoInProcessAuth);
    } else if (code == 407) {
      if (h.ProxyAuthAttempts >= h.AuthRetries || !h.DoOnProxyAuthorization(request, response)) {
        if (h.ProxyParams().Authenticator) h.ProxyParams().Authenticator->Restart();
        h.RaiseProtocolError(response);
      }
      auth_pending = h.HTTPOptions.Contains(hoInProcessAuth);
    } else {
      h.RaiseProtocolError(response);
    }
  }
  if (h.Connected()) {
    if (auth_pending) {
      h.DiscardBodyOrClose(response);
      return nxAuthRetry;
    }
    if (code != 204) h.ReadResult(response);
    return nxDone;
  }
  return result;
}

// ---------------------------------------------------------------------------------------
// Client.

TIdCustomHTTP::TIdCustomHTTP(TComponent* AOwner) : TIdTCPClient(AOwner) {
  TIdTCPClient::SetPort(80);
  protocol_ = std::make_unique<TIdHTTPProtocol>(this);
  proxy_params_.Clear();
}

TIdCustomHTTP::~TIdCustomHTTP() {
  try {
    if (Connected()) CloseConnection();
  } catch (const Exception&) {
  }
}

void TIdCustomHTTP::SetHost(const std::string& value) {
  TIdTCPClient::SetHost(value);
  url_.HostPart = value;
}

void TIdCustomHTTP::SetPort(int value) {
  TIdTCPClient::SetPort(value);
  url_.PortPart = std::to_string(value);
}

void TIdCustomHTTP::SetCookieManager(TIdCookieManager* value) {
  if (cookie_manager_ != nullptr && owns_cookie_manager_) {
    TIdCookieManager* old = cookie_manager_;
    cookie_manager_ = nullptr;
    delete old;
  }
  owns_cookie_manager_ = false;
  cookie_manager_ = value;
  if (value != nullptr) value->FreeNotification(this);
}

void TIdCustomHTTP::SetAuthenticationManager(TIdAuthenticationManager* value) {
  auth_manager_ = value;
  if (value != nullptr) value->FreeNotification(this);
}

void TIdCustomHTTP::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove) {
    if (AComponent == cookie_manager_) {
      cookie_manager_ = nullptr;
      owns_cookie_manager_ = false;
    }
    if (AComponent == auth_manager_) auth_manager_ = nullptr;
  }
  TIdTCPClient::Notification(AComponent, Operation);
}

void TIdCustomHTTP::NotifyDisconnected() {
  TIdTCPClient::NotifyDisconnected();
  if (!protocol_) return;
  auto& auth = protocol_->Request->Authenticator;
  if (auth && auth->CurrentStep() == auth->StepCount()) {
    if (auth_manager_ != nullptr) auth_manager_->AddAuthentication(auth.get(), url_);
    auth.reset();
  }
  if (proxy_params_.Authenticator) proxy_params_.Authenticator->Restart();
}

bool TIdCustomHTTP::UsesSSLHandler() const {
  // An SSL handler in pass-through carries plain http: secure cookies stay home then.
  auto* ssl = dynamic_cast<TIdSSLIOHandlerSocket*>(IOHandler());
  return ssl != nullptr && !ssl->PassThrough();
}

void TIdCustomHTTP::PollForClose() {
  if (IOHandler() == nullptr || !IOHandler()->IsConnected()) return;
  try {
    if (IOHandler()->WaitReadable(0))
      FillInputBuffer(false, -1, false);
    else
      CheckDisconnect(false, false);
  } catch (const Exception&) {
  }
}

void TIdCustomHTTP::Get(const std::string& url, TStream* stream) { DoRequest(hmGet, url, nullptr, stream); }

void TIdCustomHTTP::DoRequest(TIdHTTPMethod method, const std::string& url, TStream* source, TStream* body) {
  TIdHTTPRequest& request = Request();
  TIdHTTPResponse& response = Response();
  const int64_t start = body != nullptr ? body->Position() : 0;
  AuthAttempts = 0;
  ProxyAuthAttempts = 0;
  request.Url = url;
  request.Method = method;
  request.SourceStream = source;
  response.BodyStream = body;
  try {
    for (;;) {
      ++RedirectsFollowed;
      PrepareRequest(request);
      ConnectToHost(request, response);
      do {
        response.StatusLine = ReadLine();
        RetrieveHeaders(response);
        ProcessCookies(request, response);
      } while (response.ResponseCode() == 100);
      const TIdHTTPWhatsNext next = protocol_->ProcessResponse();
      if (next == nxDone) break;
      if (next == nxUndecided) throw EIdException("Undefined situation");
      if (next == nxRetry) {
        if (body != nullptr) {
          body->SetPosition(start);
          body->SetSize(start);
        }
        // A redirect starts the answers to challenges afresh. A challenge answered on a
        // connection the server closed keeps its count, so AuthRetries bounds those passes
        // as RedirectMaximum bounds the redirects.
        if (Redirects(response)) {
          AuthAttempts = 0;
          ProxyAuthAttempts = 0;
        }
      } else {
        // nxAuthRetry: the URL that asked for the credentials, with them. After a redirect
        // that is the redirect's target, not the caller's URL: the credentials go only to
        // the server that asked for them.
        --RedirectsFollowed;
        request.Url = url_.URI();
      }
    }
  } catch (const EIdHTTPProtocolException&) {
    // The error answer was read to its end: the connection may serve the next request.
    try {
      if (!response.KeepConnection()) CloseConnection();
    } catch (const Exception&) {
    }
    throw;
  } catch (...) {
    // Any other failure leaves the connection at an unknown point of an exchange.
    CloseQuietly();
    throw;
  }
  if (!response.KeepConnection()) CloseConnection();
  RedirectsFollowed = 0;
}

void TIdCustomHTTP::PrepareRequest(TIdHTTPRequest& request) {
  TIdURI l(request.Url);
  if (!l.UserPart.empty()) {
    request.Username = l.UserPart;
    request.Password = l.PasswordPart;
  }
  url_.UserPart = request.Username;
  url_.PasswordPart = request.Password;
  url_.PathPart = MergePath(url_.PathPart, l.PathPart, '/');
  url_.DocumentPart = l.DocumentPart;
  url_.QueryPart = l.QueryPart;
  url_.FragmentPart = l.FragmentPart;
  if (!l.HostPart.empty()) url_.HostPart = l.HostPart;
  // A relative location keeps the current protocol.
  if (!l.Scheme.empty())
    url_.Scheme = l.Scheme;
  else if (url_.Scheme.empty())
    url_.Scheme = "http";
  auto default_port = [this]() -> std::string {
    if (SameText(url_.Scheme, "http")) return "80";
    if (SameText(url_.Scheme, "https")) return "443";
    throw EIdUnknownProtocol("");
  };
  if (!l.PortPart.empty()) {
    url_.PortPart = l.PortPart;
  } else if (!l.HostPart.empty()) {
    url_.PortPart = default_port();  // a new host without a port: its scheme's port
  } else {
    const int current = DecimalToInt(url_.PortPart, 0);
    if (current == 0 || current == 80 || current == 443) url_.PortPart = default_port();
  }
  request.Url = EncodeRequestTarget(url_.PathPart + url_.DocumentPart + url_.QueryPart);
  if (request.Method == hmOptions && l.DocumentPart == "*") request.Url = "*";
  if (ProtocolVersion == pv1_0 && (request.Method == hmOptions || request.Method == hmTrace ||
                                   request.Method == hmPut || request.Method == hmDelete))
    throw EIdException("This request method is supported in HTTP 1.1");
  if ((request.Method == hmPost || request.Method == hmPut) && request.SourceStream != nullptr)
    request.SetContentLength(static_cast<int32_t>(request.SourceStream->Size()));
  else
    request.SetContentLength(-1);
  // Encoded like the request target, so a host text cannot carry a line of its own.
  request.Host = EncodeRequestTarget(url_.HostPart + (url_.PortPart != "80" ? ":" + url_.PortPart : std::string()));
}

TIdHTTPConnectionType TIdCustomHTTP::SetHostAndPort() {
  auto* ssl = dynamic_cast<TIdSSLIOHandlerSocket*>(IOHandler());
  const bool https = SameText(url_.Scheme, "HTTPS");
  if (proxy_params_.ProxyServer().empty()) {
    const int port = StrToInt(url_.PortPart);
    if (!SameText(Host(), url_.HostPart) || port != Port()) {
      if (Connected()) CloseConnection();
      TIdTCPClient::SetHost(url_.HostPart);
      TIdTCPClient::SetPort(port);
    }
    if (https) {
      if (ssl == nullptr) throw EIdIOHandlerPropInvalid("IOHandler value is not valid");
      ssl->SetPassThrough(false);
      return ckSSL;
    }
    if (ssl != nullptr) ssl->SetPassThrough(true);
    return ckDirect;
  }
  if (!SameText(Host(), proxy_params_.ProxyServer()) || Port() != proxy_params_.ProxyPort()) {
    if (Connected()) CloseConnection();
  }
  TIdTCPClient::SetHost(proxy_params_.ProxyServer());
  TIdTCPClient::SetPort(proxy_params_.ProxyPort());
  if (https) {
    if (ssl == nullptr) throw EIdIOHandlerPropInvalid("IOHandler value is not valid");
    ssl->SetPassThrough(true);
    return ckSSLProxy;
  }
  if (ssl != nullptr) ssl->SetPassThrough(true);
  return ckProxy;
}

void TIdCustomHTTP::CheckAndConnect(TIdHTTPResponse& response) {
  if (!response.KeepConnection() && IOHandler() != nullptr) CloseConnection();
  PollForClose();
  if (!Connected()) {
    try {
      OpenConnection(ReadTimeout);
    } catch (const EIdSSLProtocolReplyError&) {
      CloseConnection();
      throw;
    }
  }
}

void TIdCustomHTTP::ConnectToHost(TIdHTTPRequest& request, TIdHTTPResponse& response) {
  request.ConnectionKind = SetHostAndPort();
  if (request.ConnectionKind == ckProxy) request.Url = EncodeRequestTarget(url_.URI());
  switch (request.ConnectionKind) {
    case ckDirect:
      if (ProtocolVersion == pv1_0 && request.Connection.empty()) request.Connection = "keep-alive";
      break;
    case ckProxy:
      if (ProtocolVersion == pv1_0 && request.Connection.empty()) request.ProxyConnection = "keep-alive";
      break;
    case ckSSL:
    case ckSSLProxy: request.Connection.clear(); break;
  }
  if (request.ConnectionKind == ckSSLProxy) {
    TIdHTTPProtocol tunnel(this);
    TMemoryStream discard;
    tunnel.Request->UserAgent = request.UserAgent;
    tunnel.Request->Host = request.Host;
    tunnel.Request->SetContentLength(request.ContentLength());
    tunnel.Request->Pragma = "no-cache";
    tunnel.Request->Url = EncodeRequestTarget(url_.HostPart + ":" + url_.PortPart);
    tunnel.Request->Method = hmConnect;
    tunnel.Request->ProxyConnection = "keep-alive";
    tunnel.Response->BodyStream = &discard;
    // A proxy that keeps answering without opening the tunnel (another 2xx, a redirect)
    // is asked RedirectMaximum times at most; its last answer is then the error.
    for (int pass = 1;; ++pass) {
      CheckAndConnect(*tunnel.Response);
      BuildAndSendRequest(nullptr, *tunnel.Request);
      tunnel.Response->StatusLine = ReadLine();
      if (tunnel.Response->StatusLine.empty()) {
        tunnel.Response->StatusLine = "HTTP/1.0 200 OK";
        tunnel.Response->Connection = "close";
      } else {
        RetrieveHeaders(*tunnel.Response);
        ProcessCookies(*tunnel.Request, *tunnel.Response);
      }
      if (tunnel.Response->ResponseCode() == 200) {
        if (auto* ssl = dynamic_cast<TIdSSLIOHandlerSocket*>(IOHandler())) {
          ssl->SetServerName(url_.HostPart);
          ssl->SetPassThrough(false);
        }
        break;
      }
      if (pass >= RedirectMaximum) RaiseProtocolError(*tunnel.Response);
      tunnel.ProcessResponse();
    }
  } else {
    CheckAndConnect(response);
  }
  BuildAndSendRequest(&url_, request);
  if ((request.Method == hmPost || request.Method == hmPut) && request.SourceStream != nullptr)
    WriteFromStream(request.SourceStream, true, false);
}

void TIdCustomHTTP::BuildAndSendRequest(TIdURI* uri, TIdHTTPRequest& request) {
  request.BuildHeaderLines();
  proxy_params_.AddHeaders(request.HeaderLines);
  if (uri != nullptr && cookie_manager_ != nullptr) {
    const std::string cookies = cookie_manager_->GenerateCookieList(uri->URI(), UsesSSLHandler());
    if (!cookies.empty()) request.HeaderLines.SetValue("Cookie", cookies);
  }
  BeginWriteBuffering(-1);
  try {
    WriteText(std::string(MethodWord(request.Method)) + request.Url + " HTTP/" + VersionText(ProtocolVersion) + "\r\n");
    for (const auto& line : request.HeaderLines.Lines())
      if (!line.empty()) WriteText(line + "\r\n");
    WriteText("\r\n");
  } catch (...) {
    DiscardWriteBuffer();
    EndWriteBuffering();
    throw;
  }
  EndWriteBuffering();
}

void TIdCustomHTTP::RetrieveHeaders(TIdHTTPResponse& response) {
  response.HeaderLines.Clear();
  try {
    for (;;) {
      std::string line = ReadLine();
      if (line.empty()) break;
      response.HeaderLines.Add(line);
    }
  } catch (const EIdConnClosedGracefully&) {
    CloseConnection();
  }
  response.ParseHeaderLines();
}

int TIdCustomHTTP::ReadChunkSize() {
  std::string line = ReadLine();
  // The size ends at a blank or at the start of a chunk extension.
  const size_t cut = line.find_first_of(" ;\t");
  if (cut != std::string::npos) line.resize(cut);
  if (line.empty() || line.size() > 8) return 0;
  int size = 0;
  for (char c : line) {
    int v;
    if (c >= '0' && c <= '9')
      v = c - '0';
    else if (c >= 'a' && c <= 'f')
      v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      v = c - 'A' + 10;
    else
      return 0;
    if (size > (INT32_MAX >> 4)) return 0;
    size = size * 16 + v;
  }
  return size;
}

void TIdCustomHTTP::ReadResult(TIdHTTPResponse& response) {
  TStream* stream = response.BodyStream;
  if (stream == nullptr) return;
  if (response.StatusCode == 204 || response.StatusCode == 304) return;  // answers that never carry a body
  const std::string encoding = UpperCase(response.HeaderLines.Values("Transfer-Encoding"));
  if (encoding.find("CHUNKED") != std::string::npos) {
    ReportStatus(hsStatusText, {TVarRec("Chunk Started")});
    int size = ReadChunkSize();
    while (size > 0) {
      ReadIntoStream(stream, size, false);
      ReadLine();
      size = ReadChunkSize();
    }
    while (!ReadLine().empty()) {  // trailer lines up to the empty line
    }
  } else if (response.ContentLength() > 0) {
    ReadIntoStream(stream, response.ContentLength(), false);
  } else if (!response.LengthKnown) {
    ReadIntoStream(stream, -1, true);
  }
}

void TIdCustomHTTP::RaiseProtocolError(TIdHTTPResponse& response) {
  TimeoutScope scope(*this, 2000);
  TStream* saved = response.BodyStream;
  TStringStream error_body;
  response.BodyStream = &error_body;
  try {
    ReadResult(response);
  } catch (const Exception&) {
    // The answer's own error is what the caller needs; a failure while reading its body
    // only shortens ErrorBody, and the connection, left inside that body, is closed.
    CloseQuietly();
  }
  response.BodyStream = saved;
  throw EIdHTTPProtocolException(response.StatusCode, response.StatusLine, error_body.DataString());
}

void TIdCustomHTTP::DiscardBody(TIdHTTPResponse& response) {
  TStream* saved = response.BodyStream;
  TStringStream discard;
  response.BodyStream = &discard;
  try {
    ReadResult(response);
  } catch (...) {
    response.BodyStream = saved;
    throw;
  }
  response.BodyStream = saved;
}

void TIdCustomHTTP::DiscardBodyOrClose(TIdHTTPResponse& response) {
  try {
    TimeoutScope scope(*this, 4000);
    DiscardBody(response);
  } catch (const Exception&) {
    CloseQuietly();
  }
}

void TIdCustomHTTP::CloseQuietly() {
  try {
    if (Connected()) CloseConnection();
  } catch (const Exception&) {
  }
}

bool TIdCustomHTTP::DoOnRedirect(std::string& location, TIdHTTPMethod& method, int redirect_count) {
  bool handled = HandleRedirects;
  if (OnRedirect) OnRedirect(this, location, redirect_count, handled, method);
  return handled;
}

void TIdCustomHTTP::ProcessCookies(TIdHTTPRequest&, TIdHTTPResponse& response) {
  if (cookie_manager_ == nullptr && AllowCookies) {
    cookie_manager_ = new TIdCookieManager(this);
    owns_cookie_manager_ = true;
  }
  if (cookie_manager_ == nullptr) return;
  std::vector<std::string> cookies, cookies2;
  response.HeaderLines.Extract("Set-cookie", &cookies);
  response.HeaderLines.Extract("Set-cookie2", &cookies2);
  for (const auto& c : cookies) cookie_manager_->AddCookie(c, url_.HostPart, url_.PathPart);
  for (const auto& c : cookies2) cookie_manager_->AddCookie2(c, url_.HostPart, url_.PathPart);
}

bool TIdCustomHTTP::ChooseAuthenticator(TIdHeaderList& challenges, const TIdOnSelectAuthorization& select,
                                        std::unique_ptr<TIdAuthentication>& authenticator) {
  TIdAuthenticationClass cls;
  for (const auto& challenge : challenges.Lines()) {
    std::string text = challenge;
    cls = FindAuthClass(FetchToken(text, " "));
    if (cls) break;
  }
  if (!cls) return false;
  if (select) select(this, cls, challenges);
  if (!cls) return false;
  authenticator = cls.Create();
  return true;
}

bool TIdCustomHTTP::AnswerChallenge(TIdAuthentication& auth, TIdHeaderList& challenges, const TIdOnAuthorization& ask,
                                    std::string& username, std::string& password, bool& basic) {
  auth.SetUsername(username);
  auth.SetPassword(password);
  auth.SchemeValues.SetValue("Authorization", auth.Authentication());
  auth.SetAuthParams(challenges);
  // The program is asked at most AuthRetries times within one answer.
  for (int asked = 0;;) {
    switch (auth.NextStep()) {
      case stepSend: return true;
      case stepFail: return false;
      case stepAsk: {
        if (asked++ >= AuthRetries) return false;
        auth.SetUsername(username);
        auth.SetPassword(password);
        bool handled = false;
        ask(this, &auth, handled);
        if (!handled) return false;
        basic = true;
        username = auth.Username();
        password = auth.Password();
        break;
      }
    }
  }
}

bool TIdCustomHTTP::DoOnAuthorization(TIdHTTPRequest& request, TIdHTTPResponse& response) {
  ++AuthAttempts;
  if (!request.Authenticator &&
      !ChooseAuthenticator(response.WWWAuthenticate, OnSelectAuthorization, request.Authenticator))
    return false;
  if (!OnAuthorization) return false;
  return AnswerChallenge(*request.Authenticator, response.WWWAuthenticate, OnAuthorization, request.Username,
                         request.Password, request.BasicAuthentication);
}

bool TIdCustomHTTP::DoOnProxyAuthorization(TIdHTTPRequest&, TIdHTTPResponse& response) {
  ++ProxyAuthAttempts;
  auto& authenticator = proxy_params_.Authenticator;
  if (!authenticator && !ChooseAuthenticator(response.ProxyAuthenticate, OnSelectProxyAuthorization, authenticator))
    return false;
  if (response.ResponseCode() == 407) {
    proxy_params_.ProxyPassword.clear();
    authenticator->Restart();
  }
  if (!OnProxyAuthorization) return false;
  return AnswerChallenge(*authenticator, response.ProxyAuthenticate, OnProxyAuthorization, proxy_params_.ProxyUsername,
                         proxy_params_.ProxyPassword, proxy_params_.BasicAuthentication);
}
