// I/O handlers: the transport a connection reads and writes through (a plain socket here;
// the TLS handler derives from the socket handler).
#pragma once

#include <memory>
#include <string>

#include "http_client/id_component.h"
#include "http_client/id_socket_handle.h"
#include "http_client/id_socks.h"

class TIdIOHandler : public TIdComponent {
 public:
  explicit TIdIOHandler(TComponent* AOwner) : TIdComponent(AOwner) {}
  KV_CLASS_NAME(TIdIOHandler)

  virtual void AfterAcceptHook() {}
  virtual void CloseHandler() {}
  virtual void ConnectHandler(const std::string& host, int port, const std::string& bound_ip, int bound_port,
                              int bound_low, int bound_high, int timeout_ms);
  virtual bool IsConnected() = 0;
  virtual void OpenHandler() {}
  virtual bool WaitReadable(int ms) = 0;
  virtual int ReceiveBuffer(void* buffer, int length) = 0;
  virtual int SendBuffer(const void* buffer, int length) = 0;
  // Handlers call CloseHandler from their own destructors (the base cannot: it would not
  // reach the derived override).
};

class TIdIOHandlerSocket : public TIdIOHandler {
 public:
  explicit TIdIOHandlerSocket(TComponent* AOwner) : TIdIOHandler(AOwner) {}
  ~TIdIOHandlerSocket() override;
  KV_CLASS_NAME(TIdIOHandlerSocket)

  void CloseHandler() override;
  void ConnectHandler(const std::string& host, int port, const std::string& bound_ip, int bound_port, int bound_low,
                      int bound_high, int timeout_ms) override;
  bool IsConnected() override;
  void OpenHandler() override;
  bool WaitReadable(int ms) override;
  int ReceiveBuffer(void* buffer, int length) override;
  int SendBuffer(const void* buffer, int length) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

  // The raw socket transfers (without any TLS layer), used by the SOCKS exchange.
  int RawReceive(void* buffer, int length);
  int RawSend(const void* buffer, int length);

  TIdSocketHandle* Binding() const { return binding_.get(); }
  TIdSocksInfo* SocksInfo();
  void SetSocksInfo(TIdSocksInfo* value);
  bool UseNagle = true;

 private:
  void TimedConnect(int timeout_ms);
  std::unique_ptr<TIdSocketHandle> binding_;
  TIdSocksInfo* socks_ = nullptr;
  bool owns_socks_ = false;
};

class TIdServerIOHandler : public TIdComponent {
 public:
  explicit TIdServerIOHandler(TComponent* AOwner) : TIdComponent(AOwner) {}
  KV_CLASS_NAME(TIdServerIOHandler)
  virtual void PrepareServer() {}
  virtual TIdIOHandler* AcceptClient(TIdStackSocketHandle /*listening*/) { return nullptr; }
};
