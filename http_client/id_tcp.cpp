#include "http_client/id_tcp.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>

#include "framework/core/sysutils.h"
#include "http_client/id_global.h"
#include "platform/base/sync.h"
#include "platform/base/time.h"

// ---------------------------------------------------------------------------------------
// TIdComponent: the shared stack object lives while any networking component does.

namespace {
std::mutex g_stack_lock;
int g_live_components = 0;
TIdAntiFreezeBase* g_anti_freeze = nullptr;
}  // namespace

TIdComponent::TIdComponent(TComponent* AOwner) : TIdBaseComponent(AOwner) {
  std::lock_guard<std::mutex> lock(g_stack_lock);
  if (g_live_components == 0) GStack = TIdStack::MakeStack();  // may raise: nothing counted yet
  ++g_live_components;
}

TIdComponent::~TIdComponent() {
  std::lock_guard<std::mutex> lock(g_stack_lock);
  if (--g_live_components == 0) {
    delete GStack;
    GStack = nullptr;
  }
}

int TIdComponent::LiveCount() {
  std::lock_guard<std::mutex> lock(g_stack_lock);
  return g_live_components;
}

const std::string& StatusText(TIdStatus status) {
  static const std::string kTexts[] = {"Resolving hostname %s.",
                                       "Connecting to %s.",
                                       "Connected.",
                                       "Disconnecting.",
                                       "Disconnected.",
                                       "%s",
                                       "%s",
                                       "%s",
                                       "%s"};
  return kTexts[status];
}

void TIdComponent::ReportStatus(TIdStatus status, const std::vector<TVarRec>& args) {
  if (OnStatus) OnStatus(this, status, Format(StatusText(status), args));
}

void TIdComponent::StartWork(TWorkMode mode, int maximum) {
  WorkInfo& w = work_[mode];
  if (++w.level == 1) {
    w.maximum = maximum;
    w.current = 0;
    if (OnWorkBegin) OnWorkBegin(this, mode, maximum);
  }
}

void TIdComponent::AddWork(TWorkMode mode, int count) {
  WorkInfo& w = work_[mode];
  if (w.level >= 1) {
    w.current += count;
    if (OnWork) OnWork(this, mode, w.current);
  }
}

void TIdComponent::FinishWork(TWorkMode mode) {
  WorkInfo& w = work_[mode];
  if (w.level == 1 && OnWorkEnd) OnWorkEnd(this, mode);
  if (w.level > 0) --w.level;
}

// ---------------------------------------------------------------------------------------
// Anti-freeze.

TIdAntiFreezeBase::TIdAntiFreezeBase(TComponent* AOwner) : TIdBaseComponent(AOwner) { g_anti_freeze = this; }
TIdAntiFreezeBase::~TIdAntiFreezeBase() { g_anti_freeze = nullptr; }
TIdAntiFreezeBase* TIdAntiFreezeBase::Current() { return g_anti_freeze; }

bool TIdAntiFreezeBase::InUse() { return g_anti_freeze != nullptr && InMainThread() && g_anti_freeze->Active; }

void TIdAntiFreezeBase::Pump(bool idle, bool force) {
  if (InUse() && (idle || force || !g_anti_freeze->OnlyWhenIdle)) g_anti_freeze->PumpOnce();
}

// ---------------------------------------------------------------------------------------
// TIdSocketHandle.

TIdSocketHandle::~TIdSocketHandle() {
  try {
    ReleaseSocket();
  } catch (const Exception&) {
  }
}

void TIdSocketHandle::Assign(const TIdSocketHandle& source) {
  IP = source.IP;
  Port = source.Port;
  PeerIP = source.PeerIP;
  PeerPort = source.PeerPort;
}

void TIdSocketHandle::ClearState(bool reset_local) {
  Handle = Id_INVALID_SOCKET;
  HandleAllocated = false;
  PeerIP.clear();
  PeerPort = 0;
  if (reset_local) {
    IP.clear();
    Port = 0;
  }
}

void TIdSocketHandle::MakeSocket(int type, int protocol) {
  if (HandleAllocated) ReleaseSocket();
  Handle = GStack->AllocateSocketHandle(type, protocol);
  HandleAllocated = true;
}

void TIdSocketHandle::ReleaseSocket(bool /*reset_local*/) {
  if (!HandleAllocated) return;
  HandleAllocated = false;
  GStack->ShutdownSocket(Handle, 1);
  GStack->CloseSocketHandle(Handle);
}

int TIdSocketHandle::ConnectPeer(int family) {
  int r = GStack->ConnectSocket(Handle, family, PeerIP, PeerPort);
  if (r != Id_SOCKET_ERROR) {
    int f;
    GStack->LocalSocketAddress(Handle, f, Port, IP);
    GStack->PeerAddress(Handle, f, PeerPort, PeerIP);
  }
  return r;
}

void TIdSocketHandle::SetPeerAddress(const std::string& ip, int port) {
  PeerIP = ip;
  PeerPort = port;
}

int TIdSocketHandle::ReceiveBuffer(void* buffer, int length, int flags) {
  return GStack->ReceiveData(Handle, buffer, length, flags);
}

int TIdSocketHandle::ReceiveDatagram(void* buffer, int length, int& peer_port, std::string& peer_ip, int flags) {
  return GStack->ReceiveDatagram(Handle, buffer, length, flags, peer_ip, peer_port);
}

int TIdSocketHandle::SendBuffer(const void* buffer, int length, int flags) {
  return GStack->SendData(Handle, buffer, length, flags);
}

void TIdSocketHandle::SetOption(int level, int option, const void* value, int length) {
  GStack->CheckSocketResult(GStack->SetSocketOption(Handle, level, option, value, length));
}

bool TIdSocketHandle::TryBindLocal() {
  if (GStack->CheckSocketResult(GStack->BindSocket(Handle, WS_AF_INET, IP, Port), {WSAEADDRINUSE})) return false;
  int family;
  GStack->LocalSocketAddress(Handle, family, Port, IP);
  return true;
}

void TIdSocketHandle::BindLocal() {
  if (Port != 0 || ClientPortMin == 0 || ClientPortMax == 0) {
    if (!TryBindLocal()) throw EIdCouldNotBindSocket("Could not bind socket. Address and port are already in use.");
    return;
  }
  if (ClientPortMax < ClientPortMin)
    throw EIdInvalidPortRange(Format("Invalid Port Range (%d - %d)", {TVarRec(ClientPortMin), TVarRec(ClientPortMax)}));
  for (int p = ClientPortMax; p >= ClientPortMin; --p) {
    Port = p;
    if (TryBindLocal()) return;
  }
  throw EIdCanNotBindPortInRange(
      Format("Can not bind in port range (%d - %d)", {TVarRec(ClientPortMin), TVarRec(ClientPortMax)}));
}

bool TIdSocketHandle::WaitReadable(int ms) {
  if (!HandleAllocated) throw EIdConnClosedGracefully("Connection Closed Gracefully.");
  if (TIdAntiFreezeBase::InUse()) {
    const int idle = TIdAntiFreezeBase::Current()->IdleTimeOut;
    if (ms == -2) {
      while (!WaitReadableOnce(idle)) {
      }
      return true;
    }
    if (idle < ms) {
      if (WaitReadableOnce(ms - idle)) return true;
      ms = idle;
    }
  }
  return WaitReadableOnce(ms);
}

bool TIdSocketHandle::WaitReadableOnce(int ms) {
  if (!HandleAllocated) throw EIdConnClosedGracefully("Connection Closed Gracefully.");
  TIdSocketListWindows list;
  list.Add(Handle);
  const bool readable = GStack->SelectSockets(&list, nullptr, ms, nullptr) == 1;
  TIdAntiFreezeBase::Pump(!readable);
  return readable;
}

bool TIdSocketHandle::AcceptFrom(TIdStackSocketHandle listening) {
  ClearState(true);
  std::string ip;
  int port = 0;
  TIdStackSocketHandle s = GStack->AcceptConnection(listening, ip, port);
  if (GStack->CheckSocketResult(s == Id_INVALID_SOCKET ? Id_SOCKET_ERROR : 0, {WSAEINTR, WSAENOTSOCK})) return false;
  Handle = s;
  HandleAllocated = true;
  int family;
  GStack->LocalSocketAddress(Handle, family, Port, IP);
  GStack->PeerAddress(Handle, family, PeerPort, PeerIP);
  return true;
}

// ---------------------------------------------------------------------------------------
// I/O handlers.

void TIdIOHandler::ConnectHandler(const std::string&, int, const std::string&, int, int, int, int) {}

TIdIOHandlerSocket::~TIdIOHandlerSocket() {
  try {
    TIdIOHandlerSocket::CloseHandler();
  } catch (const Exception&) {
  }
  if (owns_socks_) delete socks_;
}

void TIdIOHandlerSocket::CloseHandler() {
  if (binding_) binding_->ReleaseSocket();
}

bool TIdIOHandlerSocket::IsConnected() { return binding_ && binding_->HandleAllocated; }

void TIdIOHandlerSocket::OpenHandler() {
  if (binding_)
    binding_->ClearState(true);
  else
    binding_ = std::make_unique<TIdSocketHandle>();
}

bool TIdIOHandlerSocket::WaitReadable(int ms) {
  if (!binding_) throw EIdConnClosedGracefully("Connection Closed Gracefully.");
  return binding_->WaitReadable(ms);
}

int TIdIOHandlerSocket::RawReceive(void* buffer, int length) {
  if (!IsConnected()) throw EIdClosedSocket("Disconnected.");
  return binding_->ReceiveBuffer(buffer, length);
}

int TIdIOHandlerSocket::RawSend(const void* buffer, int length) {
  if (!IsConnected()) throw EIdClosedSocket("Disconnected.");
  return binding_->SendBuffer(buffer, length);
}

int TIdIOHandlerSocket::ReceiveBuffer(void* buffer, int length) { return RawReceive(buffer, length); }
int TIdIOHandlerSocket::SendBuffer(const void* buffer, int length) { return RawSend(buffer, length); }

TIdSocksInfo* TIdIOHandlerSocket::SocksInfo() {
  if (socks_ == nullptr) {
    socks_ = new TIdSocksInfo(nullptr);
    owns_socks_ = true;
  }
  socks_->IOHandler = this;
  return socks_;
}

void TIdIOHandlerSocket::SetSocksInfo(TIdSocksInfo* value) {
  if (value == nullptr) {
    if (owns_socks_) delete socks_;
    socks_ = nullptr;
    owns_socks_ = false;
    return;
  }
  if (value->Owner() != nullptr) {
    if (owns_socks_) delete socks_;
    socks_ = value;
    owns_socks_ = false;
    value->FreeNotification(this);
    value->IOHandler = this;
    return;
  }
  if (!owns_socks_) {
    if (socks_ != nullptr) socks_->RemoveFreeNotification(this);
    socks_ = nullptr;
  }
  SocksInfo()->AssignSettings(*value);
}

void TIdIOHandlerSocket::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent == socks_ && !owns_socks_) socks_ = nullptr;
  TIdIOHandler::Notification(AComponent, Operation);
}

void TIdIOHandlerSocket::ConnectHandler(const std::string& host, int port, const std::string& bound_ip, int bound_port,
                                        int bound_low, int bound_high, int timeout_ms) {
  const bool socks = socks_ != nullptr && socks_->Version != svNoSocks;
  const std::string target = socks ? socks_->Host : host;
  const int target_port = socks ? socks_->Port : port;
  binding_->MakeSocket(WS_SOCK_STREAM, 0);
  binding_->IP = bound_ip;
  binding_->Port = bound_port;
  binding_->ClientPortMin = bound_low;
  binding_->ClientPortMax = bound_high;
  binding_->BindLocal();
  if (!TIdStack::IsDottedAddress(target)) ReportStatus(hsResolving, {TVarRec(target)});
  binding_->SetPeerAddress(GStack->ResolveHostAddress(target), target_port);
  if (!UseNagle) {
    const int32_t one = 1;
    binding_->SetOption(WS_IPPROTO_TCP, WS_TCP_NODELAY, &one, 4);
  }
  ReportStatus(hsConnecting, {TVarRec(binding_->PeerIP)});
  if (timeout_ms == -1 || timeout_ms == 0) {
    if (TIdAntiFreezeBase::InUse())
      TimedConnect(120000);
    else
      GStack->CheckSocketResult(binding_->ConnectPeer(WS_AF_INET));
  } else {
    TimedConnect(timeout_ms);
  }
  if (socks) {
    socks_->IOHandler = this;
    socks_->Handshake(host, port);
  }
}

// The connect runs non-blocking and is polled in slices, so a time-out or an anti-freeze
// pump never has to interrupt a blocked call.
void TIdIOHandlerSocket::TimedConnect(int timeout_ms) {
  const SOCKET s = binding_->Handle;
  auto ioctl = idws::Call<int (*)(SOCKET, LONG, ULONG*)>(idws::rIoctlSocket);
  ULONG on = 1, off = 0;
  GStack->CheckSocketResult(ioctl(s, static_cast<LONG>(WS_FIONBIO), &on));
  int r = GStack->ConnectSocket(s, WS_AF_INET, binding_->PeerIP, binding_->PeerPort);
  int error = 0;
  if (r == Id_SOCKET_ERROR) {
    error = GStack->LastSocketError();
    if (error == WSAEWOULDBLOCK || error == WSAEINPROGRESS) {
      error = -1;  // pending
      int slice = 125;
      if (TIdAntiFreezeBase::InUse()) slice = MinInt(slice, TIdAntiFreezeBase::Current()->IdleTimeOut);
      int remaining = timeout_ms;
      while (timeout_ms == -2 || remaining > 0) {
        const int wait = timeout_ms == -2 ? slice : std::min(slice, remaining);
        TIdSocketListWindows writable, failed;
        writable.Add(s);
        failed.Add(s);
        int n = GStack->SelectSockets(nullptr, &writable, wait, &failed);
        if (n == Id_SOCKET_ERROR) {
          error = GStack->LastSocketError();
          break;
        }
        if (n > 0) {
          int32_t so_error = 0;
          int len = 4;
          GStack->GetSocketOption(s, WS_SOL_SOCKET, WS_SO_ERROR, &so_error, &len);
          error = so_error;
          break;
        }
        if (timeout_ms != -2) remaining -= wait;
        TIdAntiFreezeBase::Pump(true);
      }
    }
  }
  if (error == -1) {
    CloseHandler();
    throw EIdConnectTimeout("Connect timed out.");
  }
  if (error != 0) {
    CloseHandler();
    throw EIdConnectException(GStack->SocketErrorText(error));
  }
  GStack->CheckSocketResult(ioctl(s, static_cast<LONG>(WS_FIONBIO), &off));
  int family;
  GStack->LocalSocketAddress(s, family, binding_->Port, binding_->IP);
  GStack->PeerAddress(s, family, binding_->PeerPort, binding_->PeerIP);
}

// ---------------------------------------------------------------------------------------
// SOCKS.

void TIdSocksInfo::AssignSettings(const TIdSocksInfo& source) {
  Authentication = source.Authentication;
  Host = source.Host;
  Password = source.Password;
  Port = source.Port;
  Username = source.Username;
  Version = source.Version;
}

void TIdSocksInfo::SendAll(const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    int n = IOHandler->RawSend(bytes.data() + sent, static_cast<int>(bytes.size() - sent));
    if (n <= 0) {
      if (n < 0) GStack->CheckSocketResult(n);
      throw EIdConnClosedGracefully("Connection Closed Gracefully.");
    }
    sent += static_cast<size_t>(n);
  }
}

std::string TIdSocksInfo::Receive(int count) {
  std::string out(static_cast<size_t>(count), '\0');
  int got = 0;
  try {
    while (got < count) {
      int n = IOHandler->RawReceive(out.data() + got, count - got);
      if (n <= 0) throw EIdConnClosedGracefully("Connection Closed Gracefully.");
      got += n;
    }
  } catch (const Exception&) {
    throw EIdSocksServerRespondError("Socks server did not respond.");
  }
  return out;
}

void TIdSocksInfo::Handshake(const std::string& host, int port) {
  switch (Version) {
    case svSocks4:
    case svSocks4A: Socks4(host, port); break;
    case svSocks5: Socks5(host, port); break;
    default: break;
  }
}

void TIdSocksInfo::Socks4(const std::string& host, int port) {
  std::string request;
  request += '\x04';
  request += '\x01';
  request += static_cast<char>((port >> 8) & 0xFF);
  request += static_cast<char>(port & 0xFF);
  if (Version == svSocks4A) {
    request += std::string("\0\0\0\x01", 4);
  } else {
    uint8_t bytes[4];
    GStack->TextToAddressBytes(GStack->ResolveHostAddress(host), bytes);
    request.append(reinterpret_cast<const char*>(bytes), 4);
  }
  request += Username.substr(0, 255);
  request += '\0';
  if (Version == svSocks4A) {
    request += host;
    request += '\0';
  }
  SendAll(request);
  const std::string reply = Receive(8);
  switch (static_cast<uint8_t>(reply[1])) {
    case 90: return;
    case 91: throw EIdSocksRequestFailed("Request rejected or failed.");
    case 92: throw EIdSocksRequestServerFailed("Request rejected because SOCKS server cannot connect.");
    case 93:
      throw EIdSocksRequestIdentFailed(
          "Request rejected because the client program and identd report different user-ids.");
    default: throw EIdSocksUnknownError("Unknown socks error.");
  }
}

void TIdSocksInfo::Socks5(const std::string& host, int port) {
  const char method = Authentication == saUsernamePassword ? 2 : 0;
  SendAll(std::string{'\x05', '\x01', method});
  std::string reply = Receive(2);
  if (reply[1] != method || static_cast<uint8_t>(reply[1]) == 255)
    throw EIdSocksAuthMethodError("Invalid socks authentication method.");
  if (Authentication == saUsernamePassword) {
    const std::string user = Username.substr(0, 255), pass = Password.substr(0, 255);
    std::string auth;
    auth += '\x01';
    auth += static_cast<char>(user.size());
    auth += user;
    auth += static_cast<char>(pass.size());
    auth += pass;
    SendAll(auth);
    reply = Receive(2);
    if (reply[1] != 0) throw EIdSocksAuthError("Authentication error to socks server.");
  }
  const std::string name = host.substr(0, 255);
  std::string request{'\x05', '\x01', '\x00', '\x03'};
  request += static_cast<char>(name.size());
  request += name;
  request += static_cast<char>((port >> 8) & 0xFF);
  request += static_cast<char>(port & 0xFF);
  SendAll(request);
  reply = Receive(5);
  switch (static_cast<uint8_t>(reply[1])) {
    case 0: break;
    case 1: throw EIdSocksServerGeneralError("General SOCKS server failure.");
    case 2: throw EIdSocksServerPermissionError("Connection not allowed by ruleset.");
    case 3: throw EIdSocksServerNetUnreachableError("Network unreachable.");
    case 4: throw EIdSocksServerHostUnreachableError("Host unreachable.");
    case 5: throw EIdSocksServerConnectionRefusedError("Connection refused.");
    case 6: throw EIdSocksServerTTLExpiredError("TTL expired.");
    case 7: throw EIdSocksServerCommandError("Command not supported.");
    case 8: throw EIdSocksServerAddressError("Address type not supported.");
    default: throw EIdSocksUnknownError("Unknown socks error.");
  }
  // The rest of the bound address and its port: byte 4 was the first address byte (or the
  // length of a domain name).
  int rest;
  switch (reply[3]) {
    case 1: rest = 3 + 2; break;
    case 3: rest = static_cast<uint8_t>(reply[4]) + 2; break;
    case 4: rest = 15 + 2; break;
    default: rest = 2; break;
  }
  Receive(rest);
}

// ---------------------------------------------------------------------------------------
// Intercepts.

void TIdConnectionIntercept::SetIntercept(TIdConnectionIntercept* value) {
  Intercept = value;
  if (value != nullptr) value->FreeNotification(this);
}

void TIdConnectionIntercept::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent == Intercept) Intercept = nullptr;
  TIdBaseComponent::Notification(AComponent, Operation);
}

void TIdConnectionIntercept::PassConnectOn(TComponent* connection) {
  if (Intercept != nullptr) Intercept->AttachConnection(connection);
}
void TIdConnectionIntercept::PassDisconnectOn() {
  if (Intercept != nullptr) Intercept->DetachConnection();
}
void TIdConnectionIntercept::PassReceivedOn(TStream* stream) {
  if (Intercept != nullptr) Intercept->FilterReceived(stream);
}
void TIdConnectionIntercept::PassOutgoingOn(TStream* stream) {
  if (Intercept != nullptr) Intercept->FilterOutgoing(stream);
}

void TIdConnectionIntercept::AttachConnection(TComponent* connection) {
  Connection = connection;
  if (OnConnect) OnConnect(this);
  PassConnectOn(connection);
}

void TIdConnectionIntercept::DetachConnection() {
  PassDisconnectOn();
  if (OnDisconnect) OnDisconnect(this);
  Connection = nullptr;
}

void TIdConnectionIntercept::FilterReceived(TStream* stream) {
  PassReceivedOn(stream);
  if (OnReceive) {
    OnReceive(this, stream);
    stream->SetPosition(0);
  }
}

void TIdConnectionIntercept::FilterOutgoing(TStream* stream) {
  if (OnSend) {
    OnSend(this, stream);
    stream->SetPosition(0);
  }
  PassOutgoingOn(stream);
}

// ---------------------------------------------------------------------------------------
// Buffers and replies.

std::string TIdManagedBuffer::TakeBytes(size_t count) {
  if (count > Size()) throw EIdNotEnoughDataInBuffer("Not enough data in buffer.");
  std::string out(Memory(), count);
  DropBytes(count);
  return out;
}

void TIdManagedBuffer::DropBytes(size_t count) {
  if (count > Size()) throw EIdNotEnoughDataInBuffer("Not enough data in buffer.");
  if (count == Size()) {
    Clear();
  } else {
    consumed_ += count;
    if (consumed_ >= kPackThreshold) {
      data_.erase(0, consumed_);
      consumed_ = 0;
    }
  }
  if (OnBytesRemoved && count > 0) OnBytesRemoved(count);
}

void TIdRFCReply::SetNumericCode(int value) {
  numeric_ = value;
  if (value > 0) text_code_ = std::to_string(value);
}

void TIdRFCReply::SetTextCode(const std::string& value) {
  text_code_ = value;
  if (!value.empty()) numeric_ = DecimalToInt(value, 0);
}

void TIdRFCReply::Clear() {
  numeric_ = 0;
  Text.clear();
  text_code_.clear();
}

void TIdRFCReply::Assign(const TIdRFCReply& source) {
  Clear();
  numeric_ = source.numeric_;
  text_code_ = source.text_code_;
  Text = source.Text;
}

void TIdRFCReply::ParseReplyLines(const std::vector<std::string>& lines) {
  Clear();
  if (lines.empty()) return;
  std::string code = Trim(lines[0].substr(0, 4));
  if (code.size() == 4 && code[3] == '-') code.resize(3);
  SetTextCode(code);
  for (const auto& line : lines) Text.push_back(line.size() > 4 ? line.substr(4) : std::string());
}

// ---------------------------------------------------------------------------------------
// TIdTCPConnection.

TIdTCPConnection::TIdTCPConnection(TComponent* AOwner) : TIdComponent(AOwner) {
  input_.OnBytesRemoved = [this](size_t n) { AddWork(wmRead, static_cast<int>(n)); };
}

TIdTCPConnection::~TIdTCPConnection() {
  try {
    CloseSocketOnly();
  } catch (const Exception&) {
  }
  if (owns_handler_) {
    TIdIOHandler* h = io_handler_;
    io_handler_ = nullptr;
    socket_handler_ = nullptr;
    delete h;
  }
}

int TIdTCPConnection::ResolveTimeout(int timeout_ms) const {
  if (timeout_ms == -1) timeout_ms = ReadTimeout;
  return timeout_ms == 0 ? -2 : timeout_ms;
}

void TIdTCPConnection::SetIOHandler(TIdIOHandler* handler) {
  if (owns_handler_ && io_handler_ != nullptr && io_handler_ != handler) {
    TIdIOHandler* old = io_handler_;
    io_handler_ = nullptr;
    delete old;
  }
  owns_handler_ = false;
  io_handler_ = handler;
  socket_handler_ = dynamic_cast<TIdIOHandlerSocket*>(handler);
  if (handler != nullptr) handler->FreeNotification(this);
}

void TIdTCPConnection::SetIntercept(TIdConnectionIntercept* value) {
  intercept_ = value;
  if (value != nullptr) value->FreeNotification(this);
}

void TIdTCPConnection::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove) {
    if (AComponent == intercept_) intercept_ = nullptr;
    if (AComponent == io_handler_) {
      io_handler_ = nullptr;
      socket_handler_ = nullptr;
      owns_handler_ = false;
    }
  }
  TIdComponent::Notification(AComponent, Operation);
}

void TIdTCPConnection::CheckDisconnect(bool raise, bool ignore_buffer) {
  if (io_handler_ == nullptr) return;
  bool gone = false;
  if (closed_gracefully_) {
    gone = true;
    if (io_handler_->IsConnected()) {
      CloseSocketOnly();
      ReportStatus(hsDisconnected);
      NotifyDisconnected();
    }
  } else if (!io_handler_->IsConnected()) {
    gone = true;
  }
  if (gone && raise && (input_.Size() == 0 || ignore_buffer))
    throw EIdConnClosedGracefully("Connection Closed Gracefully.");
}

bool TIdTCPConnection::ConnectionIsOpen() {
  CheckDisconnect(false, false);
  return io_handler_ != nullptr && io_handler_->IsConnected();
}

void TIdTCPConnection::CheckGracefulClose(bool raise) { FillInputBuffer(raise, 1, false); }

void TIdTCPConnection::CloseSocketOnly() {
  if (io_handler_ == nullptr) return;
  closed_gracefully_ = true;
  if (!ComponentState().Contains(csDesigning)) {
    if (intercept_ != nullptr && intercept_->Connection != nullptr) intercept_->DetachConnection();
    io_handler_->CloseHandler();
  }
}

void TIdTCPConnection::CloseConnection() {
  ReportStatus(hsDisconnecting);
  CloseSocketOnly();
  if (owns_handler_) {
    TIdIOHandler* h = io_handler_;
    io_handler_ = nullptr;
    socket_handler_ = nullptr;
    owns_handler_ = false;
    delete h;
  }
  NotifyDisconnected();
  ReportStatus(hsDisconnected);
}

void TIdTCPConnection::NotifyDisconnected() {
  if (OnDisconnected) OnDisconnected(this);
}

void TIdTCPConnection::ResetInput() {
  input_.Clear();
  closed_gracefully_ = false;
}

int TIdTCPConnection::FillInputBuffer(bool raise_when_disconnected, int timeout_ms, bool raise_on_timeout) {
  const int timeout = ResolveTimeout(timeout_ms);
  CheckDisconnect(raise_when_disconnected, false);
  if (io_handler_ == nullptr || !io_handler_->IsConnected()) {
    if (raise_when_disconnected) throw EIdNotConnected("Not Connected");
    return 0;
  }
  int count;
  do {
    if (!io_handler_->WaitReadable(timeout)) {
      if (raise_on_timeout) throw EIdReadTimeout("Read Timeout");
      return -1;
    }
    if (static_cast<int>(receive_buffer_.size()) != RecvBufferSize)
      receive_buffer_.resize(static_cast<size_t>(std::max(RecvBufferSize, 1)));
    count = io_handler_->ReceiveBuffer(receive_buffer_.data(), static_cast<int>(receive_buffer_.size()));
    if (count == Id_SOCKET_ERROR) {
      if (GStack->CheckSocketResult(count, {WSAESHUTDOWN, WSAECONNABORTED})) {
        const int code = GStack->LastError();
        CloseSocketOnly();
        if (input_.Size() == 0) GStack->ThrowSocketError(code);
        count = 0;
      }
    } else if (count == 0) {
      closed_gracefully_ = true;
    } else {
      closed_gracefully_ = false;
      const char* data = receive_buffer_.data();
      std::string filtered;
      if (intercept_ != nullptr) {
        TMemoryStream stream;
        stream.WriteBuffer(data, count);
        stream.SetPosition(0);
        intercept_->FilterReceived(&stream);
        filtered.assign(static_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
        data = filtered.data();
        count = static_cast<int>(filtered.size());
      }
      if (ASCIIFilter) {
        if (filtered.empty()) filtered.assign(data, static_cast<size_t>(count));
        for (char& c : filtered) c = static_cast<char>(c & 0x7F);
        data = filtered.data();
      }
      input_.Append(data, static_cast<size_t>(count));
    }
    CheckDisconnect(raise_when_disconnected, false);
  } while (count == 0 && io_handler_ != nullptr && io_handler_->IsConnected());
  return count;
}

void TIdTCPConnection::RaiseLineTooLong() { throw EIdReadLnMaxLineLengthExceeded("Max line length exceeded."); }

std::string TIdTCPConnection::ReadLine(const std::string& terminator, int timeout_ms, int max_length) {
  const std::string t = terminator.empty() ? std::string("\n") : terminator;
  const size_t limit = static_cast<size_t>(max_length == -1 ? MaxLineLength : std::max(max_length, 0));
  ReadLnSplit = false;
  ReadLnTimedOut = false;
  size_t searched = 0;
  size_t found = std::string::npos;
  for (;;) {
    if (input_.Size() > 0) {
      // Start a little before the searched end, so a terminator split across two
      // receives is found.
      const size_t from = searched >= t.size() - 1 ? searched - (t.size() - 1) : 0;
      int p = SearchMemory(t, input_.Memory() + from, input_.Size() - from);
      if (p > 0) found = from + static_cast<size_t>(p) - 1;
      searched = input_.Size();
    }
    const bool too_long = limit != 0 && (found != std::string::npos ? found > limit : searched > limit);
    if (too_long) {
      if (MaxLineAction == maException) RaiseLineTooLong();
      ReadLnSplit = true;
      return input_.TakeBytes(limit);
    }
    if (found != std::string::npos) break;
    CheckDisconnect(true, true);
    // 0: the peer closed with an unterminated tail buffered; -1: an explicit time-out ran
    // out. Either ends the line read empty, with the timed-out flag set.
    if (FillInputBuffer(true, timeout_ms, timeout_ms == -1) <= 0) {
      ReadLnTimedOut = true;
      return std::string();
    }
  }
  std::string line = input_.TakeBytes(found + t.size());
  line.resize(found);
  if (t == "\n" && !line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::string TIdTCPConnection::ReadLineWait(int attempts) {
  for (int i = 0; i < attempts; ++i) {
    std::string line = Trim(ReadLine());
    if (!line.empty()) return line;
  }
  return std::string();
}

void TIdTCPConnection::ReadExact(void* buffer, int count) {
  if (count <= 0 || buffer == nullptr) return;
  while (input_.Size() < static_cast<size_t>(count)) {
    FillInputBuffer(true, -1, true);
    CheckDisconnect(true, true);
  }
  std::memcpy(buffer, input_.Memory(), static_cast<size_t>(count));
  input_.DropBytes(static_cast<size_t>(count));
}

uint32_t TIdTCPConnection::ReadInt32(bool convert) {
  uint32_t v = 0;
  ReadExact(&v, 4);
  return convert ? GStack->NetToHostLong(v) : v;
}

// Every received byte goes into the stream as it arrives; a close before `count` bytes
// raises once the buffered bytes are written.
void TIdTCPConnection::ReadIntoStream(TStream* stream, int count, bool until_close) {
  if (count == -1 && !until_close) count = static_cast<int>(ReadInt32(true));
  if (count >= 0 && !until_close) {
    // Pre-size once for the announced length; a huge announced length is not trusted
    // with memory before its bytes arrive.
    constexpr int64_t kPresizeLimit = 32 * 1024 * 1024;
    const int64_t position = stream->Position();
    stream->SetSize(position + std::min<int64_t>(count, kPresizeLimit));
    stream->SetPosition(position);
  }
  int64_t remaining = until_close ? INT_MAX : count;
  StartWork(wmRead, until_close ? 0 : count);
  auto drain = [&]() {
    const size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(input_.Size()), remaining));
    if (n > 0) {
      stream->WriteBuffer(input_.Memory(), static_cast<int>(n));
      input_.DropBytes(n);
      remaining -= static_cast<int64_t>(n);
    }
  };
  try {
    drain();
    while (remaining > 0) {
      try {
        if (!ConnectionIsOpen()) {
          if (until_close) break;
          throw EIdConnClosedGracefully("Connection Closed Gracefully.");
        }
        FillInputBuffer(true, -1, true);
        drain();
        if (remaining > 0) CheckDisconnect(true, true);
      } catch (const EIdConnClosedGracefully&) {
        drain();
        if (!until_close) throw;
        break;
      }
    }
    drain();
  } catch (...) {
    FinishWork(wmRead);
    if (stream->Size() > stream->Position()) stream->SetSize(stream->Position());
    throw;
  }
  FinishWork(wmRead);
  if (stream->Size() > stream->Position()) stream->SetSize(stream->Position());
}

std::string TIdTCPConnection::TakeBufferedData() {
  if (ConnectionIsOpen()) FillInputBuffer(false, -1, true);
  std::string out(input_.Memory(), input_.Size());
  input_.Clear();
  return out;
}

std::string TIdTCPConnection::TakeAllData() {
  std::string out;
  StartWork(wmRead, 0);
  try {
    while (ConnectionIsOpen()) out += TakeBufferedData();
    out += std::string(input_.Memory(), input_.Size());
    input_.Clear();
  } catch (...) {
    FinishWork(wmRead);
    throw;
  }
  FinishWork(wmRead);
  return out;
}

void TIdTCPConnection::WriteText(const std::string& text) {
  if (!text.empty()) WriteBytes(text.data(), static_cast<int>(text.size()));
}

void TIdTCPConnection::WriteLine(const std::string& text) { WriteText(text + "\r\n"); }

void TIdTCPConnection::SendNow(const char* bytes, int count) {
  std::string filtered;
  if (intercept_ != nullptr) {
    TMemoryStream stream;
    stream.WriteBuffer(bytes, count);
    stream.SetPosition(0);
    intercept_->FilterOutgoing(&stream);
    filtered.assign(static_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
    bytes = filtered.data();
    count = static_cast<int>(filtered.size());
  }
  int sent = 0;
  while (sent < count) {
    if (io_handler_ == nullptr) throw EIdNotConnected("Not Connected");
    const int n = io_handler_->SendBuffer(bytes + sent, count - sent);
    TIdAntiFreezeBase::Pump(false);
    if (n == 0) {
      closed_gracefully_ = true;
      CheckDisconnect(true, false);
      throw EIdConnClosedGracefully("Connection Closed Gracefully.");
    }
    if (n == Id_SOCKET_ERROR) {
      if (GStack->CheckSocketResult(n, {WSAESHUTDOWN, WSAECONNABORTED, WSAECONNRESET})) {
        const int code = GStack->LastError();
        CloseSocketOnly();
        GStack->ThrowSocketError(code);
      }
    }
    CheckDisconnect(true, false);
    sent += n;
    AddWork(wmWrite, n);
  }
}

void TIdTCPConnection::WriteBytes(const void* buffer, int count, bool now) {
  if (count <= 0 || buffer == nullptr) return;
  CheckDisconnect(true, true);
  if (io_handler_ == nullptr || !io_handler_->IsConnected()) throw EIdNotConnected("Not Connected");
  if (write_buffer_ == nullptr || now) {
    SendNow(static_cast<const char*>(buffer), count);
    return;
  }
  write_buffer_->append(static_cast<const char*>(buffer), static_cast<size_t>(count));
  if (write_threshold_ > 0 && write_buffer_->size() >= static_cast<size_t>(write_threshold_))
    FlushWriteBuffering(write_threshold_);
}

void TIdTCPConnection::WriteInt32(uint32_t value, bool convert) {
  if (convert) value = GStack->HostToNetLong(value);
  WriteBytes(&value, 4);
}

void TIdTCPConnection::WriteFromStream(TStream* stream, bool from_start, bool with_length, int64_t size) {
  if (from_start) stream->SetPosition(0);
  const int64_t position = stream->Position();
  const int64_t end = size != 0 ? position + size : stream->Size();
  if (with_length) WriteInt32(static_cast<uint32_t>(end - position));
  StartWork(wmWrite, static_cast<int>(end - position));
  try {
    std::vector<char> block(static_cast<size_t>(std::max(SendBufferSize, 1)));
    for (;;) {
      const int64_t n = std::min<int64_t>(end - stream->Position(), static_cast<int64_t>(block.size()));
      if (n <= 0) break;
      const int got = stream->Read(block.data(), static_cast<int>(n));
      if (got == 0) throw EIdNoDataToRead("No data to read.");
      WriteBytes(block.data(), got);
    }
  } catch (...) {
    FinishWork(wmWrite);
    throw;
  }
  FinishWork(wmWrite);
}

int64_t TIdTCPConnection::WriteFileContents(const std::string& file_name, bool /*allow_system_transfer*/) {
  // The platform offers no system file-transfer call, so the file always goes through
  // the stream path.
  if (!FileExists(file_name)) throw EIdFileNotFound(Format("File \"%s\" not found", {TVarRec(file_name)}));
  TFileStream file(file_name, fmOpenRead | fmShareDenyWrite);
  WriteFromStream(&file, true, false);
  return file.Size();
}

void TIdTCPConnection::BeginWriteBuffering(int threshold) {
  write_buffer_ = std::make_unique<std::string>();
  write_threshold_ = threshold;
}

void TIdTCPConnection::FlushWriteBuffering(int count) {
  if (write_buffer_ == nullptr || write_buffer_->empty()) return;
  if (count != -1 && write_buffer_->size() >= static_cast<size_t>(count)) {
    std::string head = write_buffer_->substr(0, static_cast<size_t>(count));
    write_buffer_->erase(0, static_cast<size_t>(count));
    SendNow(head.data(), static_cast<int>(head.size()));
  } else {
    std::string all;
    all.swap(*write_buffer_);
    SendNow(all.data(), static_cast<int>(all.size()));
  }
}

void TIdTCPConnection::EndWriteBuffering() {
  try {
    FlushWriteBuffering(-1);
  } catch (...) {
    write_buffer_.reset();
    throw;
  }
  write_buffer_.reset();
}

void TIdTCPConnection::DiscardWriteBuffer() {
  if (write_buffer_) write_buffer_->clear();
}

int TIdTCPConnection::CheckReplyCode(int code, const std::vector<int>& allowed) {
  if (!allowed.empty() && std::find(allowed.begin(), allowed.end(), code) == allowed.end()) RaiseReplyError();
  return code;
}

std::string TIdTCPConnection::LastReplyText() const {
  std::string text;
  for (const auto& line : last_reply_.Text) text += line + "\r\n";
  return text;
}

void TIdTCPConnection::RaiseReplyError() { throw EIdProtocolReplyError(last_reply_.NumericCode(), LastReplyText()); }

void TIdTCPConnection::RaiseReplyError(TIdReplyErrorClass raise) {
  const std::string text = LastReplyText();
  raise(last_reply_.NumericCode(), text);
  throw EIdProtocolReplyError(last_reply_.NumericCode(), text);  // a class that did not throw
}

void TIdTCPConnection::ReadReplyLines() {
  std::vector<std::string> lines;
  lines.push_back(ReadLineWait(2147483647));
  if (lines[0].size() > 3 && lines[0][3] == '-') {
    const std::string marker = UpperCase(lines[0].substr(0, 3)) + " ";
    for (;;) {
      std::string line = ReadLineWait(2147483647);
      lines.push_back(line);
      if (line.size() < 4 || UpperCase(line.substr(0, 4)) == marker) break;
    }
  }
  last_reply_.ParseReplyLines(lines);
}

int TIdTCPConnection::ReadReply(const std::vector<int>& allowed) {
  ReadReplyLines();
  return CheckReplyCode(static_cast<int16_t>(last_reply_.NumericCode()), allowed);
}

int TIdTCPConnection::SendCommand(const std::string& line, const std::vector<int>& allowed) {
  WriteLine(line);
  return ReadReply(allowed);
}

// ---------------------------------------------------------------------------------------
// TIdTCPClient.

void TIdTCPClient::DoOnConnected() {
  if (OnConnected) OnConnected(this);
}

void TIdTCPClient::OpenConnection(int timeout_ms) {
  if (IOHandler() == nullptr) {
    auto* handler = new TIdIOHandlerSocket(this);
    SetIOHandler(handler);
    handler->OnStatus = OnStatus;
    SetOwnsHandler(true);
  } else if (IOHandler()->IsConnected()) {
    throw EIdAlreadyConnected("Already connected.");
  }
  try {
    IOHandler()->OpenHandler();
    ResetInput();
    IOHandler()->ConnectHandler(Host(), Port(), BoundIP, BoundPort, BoundPortLow, BoundPortHigh, timeout_ms);
    if (Intercept() != nullptr) Intercept()->AttachConnection(this);
    ReportStatus(hsConnected, {TVarRec(Host())});
    DoOnConnected();
  } catch (...) {
    CloseSocketOnly();
    throw;
  }
}

std::string TIdTCPClient::ConnectAndReadAll() {
  OpenConnection(-1);
  std::string all;
  try {
    all = TakeAllData();
  } catch (...) {
    CloseConnection();
    throw;
  }
  CloseConnection();
  return all;
}
