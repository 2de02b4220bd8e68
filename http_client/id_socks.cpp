#include "http_client/id_socks.h"

#include <cstring>

#include "http_client/id_exceptions.h"
#include "http_client/id_global.h"
#include "http_client/id_iohandler.h"

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
