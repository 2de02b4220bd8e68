// TLS for the HTTP client: the TLS libraries bound entry by entry at run time, context and
// connection wrappers, and the client and server transport handlers.
//
// The libraries the program knows as "libeay32.dll" (crypto) and "ssleay32.dll" (TLS)
// are, on this platform, the system's libcrypto.so.3 and libssl.so.3.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "framework/core/classes.h"
#include "http_client/id_tcp.h"

enum TIdSSLVersion { sslvSSLv2, sslvSSLv23, sslvSSLv3, sslvTLSv1 };
enum TIdSSLMode { sslmUnassigned, sslmClient, sslmServer, sslmBoth };
enum TIdSSLVerifyMode { sslvrfPeer, sslvrfFailIfNoPeerCert, sslvrfClientOnce };
using TIdSSLVerifyModeSet = Set<TIdSSLVerifyMode, sslvrfPeer, sslvrfClientOnce>;
enum TIdSSLCtxMode { sslCtxClient, sslCtxServer };

// Loads and binds both libraries; false when either is missing or lacks a required entry
// (nothing stays bound then). StartSslLibrary also initialises them.
bool LoadSslLibraries();
bool StartSslLibrary();
void UnloadSslLibraries();
// The files the binding loads (for another build of the libraries); empty names restore
// the system's.
void SetSslLibraryNames(const std::string& ssl_library, const std::string& crypto_library);

class TIdX509;
class TIdSSLIOHandlerSocket;

using TCallbackEvent = std::function<void(const std::string& Msg)>;
using TPasswordEvent = std::function<void(std::string& Password)>;
using TVerifyPeerEvent = std::function<bool(TIdX509* Certificate)>;

class TIdSSLOptions : public TPersistent {
 public:
  KV_CLASS_NAME(TIdSSLOptions)
  void Assign(TPersistent* Source) override;

  std::string RootCertFile, CertFile, KeyFile;
  TIdSSLVersion Method = sslvSSLv2;
  TIdSSLMode Mode = sslmUnassigned;
  int VerifyDepth = 0;
  TIdSSLVerifyModeSet VerifyMode;
  std::string VerifyDirs, CipherList;
};

// Callbacks of a context reach their handler through this interface.
class TIdSSLEvents {
 public:
  virtual ~TIdSSLEvents() = default;
  virtual void DoStatusInfo(const std::string& text) = 0;
  virtual void DoGetPassword(std::string& password) = 0;
  virtual bool DoVerifyPeer(TIdX509* certificate) = 0;
};

class TIdSSLContext {
 public:
  TIdSSLContext();  // EIdOSSLCouldNotLoadSSLLibrary when the libraries cannot be started
  ~TIdSSLContext();
  void SetUpContext(TIdSSLCtxMode kind);

  TIdSSLEvents* Parent = nullptr;
  TIdSSLVersion Method = sslvSSLv2;
  TIdSSLMode Mode = sslmUnassigned;
  std::string RootCertFile, CertFile, KeyFile;
  int VerifyDepth = 0;
  TIdSSLVerifyModeSet VerifyMode;
  std::string VerifyDirs, CipherList;
  bool VerifyOn = false, StatusInfoOn = false;
  uint32_t ContextId = 1;
  void* Context = nullptr;  // the library's context
};

class TIdSSLCipher {
 public:
  explicit TIdSSLCipher(void* ssl) : ssl_(ssl) {}
  std::string Description() const;
  std::string Name() const;
  int Bits() const;
  std::string Version() const;

 private:
  void* ssl_;
};

class TIdSSLSocket {
 public:
  explicit TIdSSLSocket(TIdSSLEvents* parent) : Parent(parent) {}
  ~TIdSSLSocket();
  // Opens the TLS connection over `socket` (client: connect, server: accept).
  void Open(TIdSSLContext* context, TIdStackSocketHandle socket, bool server, const std::string& host_name);
  int Recv(void* buffer, int length);
  int Send(const void* buffer, int length);
  bool Pending() const;
  TIdSSLCipher* Cipher();

  TIdSSLEvents* Parent;
  TIdSSLContext* Context = nullptr;
  void* SSL = nullptr;

 private:
  std::unique_ptr<TIdSSLCipher> cipher_;
};

class TIdX509 {
 public:
  explicit TIdX509(void* certificate) : certificate_(certificate) {}
  std::string SubjectText() const;  // one-line form of the subject name
  std::string IssuerText() const;
  void* Certificate() const { return certificate_; }

 private:
  void* certificate_;
};

class TIdSSLIOHandlerSocket : public TIdIOHandlerSocket, public TIdSSLEvents {
 public:
  explicit TIdSSLIOHandlerSocket(TComponent* AOwner);
  ~TIdSSLIOHandlerSocket() override;
  KV_CLASS_NAME(TIdSSLIOHandlerSocket)

  void CloseHandler() override;
  void ConnectHandler(const std::string& host, int port, const std::string& bound_ip, int bound_port, int bound_low,
                      int bound_high, int timeout_ms) override;
  bool WaitReadable(int ms) override;
  int ReceiveBuffer(void* buffer, int length) override;
  int SendBuffer(const void* buffer, int length) override;

  // The host name sent with the handshake (server name indication). A connect sets it to
  // the host it was given; a tunnel through a proxy sets the host at the tunnel's end.
  void SetServerName(const std::string& name) { host_name_ = name; }

  bool PassThrough() const { return pass_through_; }
  void SetPassThrough(bool value);
  TIdSSLOptions& SSLOptions() { return *options_; }
  TIdSSLSocket* SSLSocket() const { return ssl_socket_.get(); }

  void DoStatusInfo(const std::string& text) override;
  void DoGetPassword(std::string& password) override;
  bool DoVerifyPeer(TIdX509* certificate) override;

  TCallbackEvent OnStatusInfo;
  TPasswordEvent OnGetPassword;
  TVerifyPeerEvent OnVerifyPeer;
  // Fired once the socket is connected (through any SOCKS server), before the TLS context
  // is set up, so the options may still change.
  TNotifyEvent OnBeforeConnect;

 private:
  friend class TIdServerIOHandlerSSL;
  void OpenEncodedConnection();

  std::shared_ptr<TIdSSLOptions> options_;
  std::shared_ptr<TIdSSLContext> context_;
  std::unique_ptr<TIdSSLSocket> ssl_socket_;
  TIdSSLEvents* events_ = this;  // a server-side peer reports to its server handler
  bool is_peer_ = false;
  bool pass_through_ = false;
  std::string host_name_;
};

class TIdServerIOHandlerSSL : public TIdServerIOHandler, public TIdSSLEvents {
 public:
  explicit TIdServerIOHandlerSSL(TComponent* AOwner);
  KV_CLASS_NAME(TIdServerIOHandlerSSL)

  void Init();
  void PrepareServer() override { Init(); }
  // A TLS handler for the next connection on `listening` (owned by the caller), or
  // nullptr when the accept fails.
  TIdIOHandler* AcceptClient(TIdStackSocketHandle listening) override;
  TIdSSLOptions& SSLOptions() { return *options_; }

  void DoStatusInfo(const std::string& text) override;
  void DoGetPassword(std::string& password) override;
  bool DoVerifyPeer(TIdX509* certificate) override;

  TCallbackEvent OnStatusInfo;
  TPasswordEvent OnGetPassword;
  TVerifyPeerEvent OnVerifyPeer;

 private:
  std::shared_ptr<TIdSSLOptions> options_;
  std::shared_ptr<TIdSSLContext> context_;
  bool initialized_ = false;
};
