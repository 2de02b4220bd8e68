// A socket of the stack with its local and peer addresses.
#pragma once

#include <string>

#include "framework/core/classes.h"
#include "http_client/id_stack.h"

class TIdSocketHandle : public TObject {
 public:
  TIdSocketHandle() { ClearState(true); }
  ~TIdSocketHandle() override;
  KV_CLASS_NAME(TIdSocketHandle)

  void Assign(const TIdSocketHandle& source);
  void MakeSocket(int type, int protocol);
  virtual void ReleaseSocket(bool reset_local = false);
  virtual int ConnectPeer(int family);
  void SetPeerAddress(const std::string& ip, int port);
  int ReceiveBuffer(void* buffer, int length, int flags = 0);
  int SendBuffer(const void* buffer, int length, int flags = 0);
  // One datagram and the address it came from; the raw result of the receive.
  int ReceiveDatagram(void* buffer, int length, int& peer_port, std::string& peer_ip, int flags = 0);
  void SetOption(int level, int option, const void* value, int length);
  void BindLocal();
  bool WaitReadable(int ms);
  bool AcceptFrom(TIdStackSocketHandle listening);
  void ClearState(bool reset_local);

  TIdStackSocketHandle Handle = Id_INVALID_SOCKET;
  bool HandleAllocated = false;
  std::string IP, PeerIP;
  int Port = 0, PeerPort = 0, ClientPortMin = 0, ClientPortMax = 0;

 private:
  bool TryBindLocal();
  bool WaitReadableOnce(int ms);
};
