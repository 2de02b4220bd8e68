#include "http_client/id_socket_handle.h"

#include <algorithm>
#include <climits>

#include "http_client/id_component.h"
#include "http_client/id_exceptions.h"
#include "http_client/id_global.h"
#include "platform/base/time.h"

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
  // The socket blocks, so with no limit and nothing to pump the receive that follows waits
  // by itself: no poll first.
  if (ms == -2 && !TIdAntiFreezeBase::InUse()) return true;
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
