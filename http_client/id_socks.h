// SOCKS 4, 4A and 5 settings and the exchange run through a socket handler.
#pragma once

#include <string>

#include "http_client/id_component.h"

enum TSocksAuthentication { saNoAuthentication, saUsernamePassword };
enum TSocksVersion { svNoSocks, svSocks4, svSocks4A, svSocks5 };

class TIdIOHandlerSocket;

class TIdSocksInfo : public TIdComponent {
 public:
  explicit TIdSocksInfo(TComponent* AOwner) : TIdComponent(AOwner) {}
  KV_CLASS_NAME(TIdSocksInfo)

  void AssignSettings(const TIdSocksInfo& source);
  // Runs the SOCKS exchange for the target host and port through the bound handler.
  void Handshake(const std::string& host, int port);

  TSocksAuthentication Authentication = saNoAuthentication;
  std::string Host, Password, Username;
  int Port = 1080;
  TSocksVersion Version = svNoSocks;
  TIdIOHandlerSocket* IOHandler = nullptr;

 private:
  void Socks4(const std::string& host, int port);
  void Socks5(const std::string& host, int port);
  void SendAll(const std::string& bytes);
  std::string Receive(int count);  // exactly `count` bytes; EIdException on a failure
};
