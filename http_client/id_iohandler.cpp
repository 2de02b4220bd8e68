#include "http_client/id_iohandler.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "framework/core/sysutils.h"
#include "http_client/id_exceptions.h"
#include "http_client/id_global.h"
#include "platform/base/time.h"

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
