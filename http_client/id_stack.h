// The socket stack: "WS2_32.DLL" bound entry by entry on first use, the stack object that
// wraps its calls, and the socket lists handed to select.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "http_client/id_exceptions.h"
#include "platform/net/winsock.h"

typedef SOCKET TIdStackSocketHandle;
constexpr TIdStackSocketHandle Id_INVALID_SOCKET = INVALID_SOCKET;
constexpr int Id_SOCKET_ERROR = SOCKET_ERROR;

// ---------------------------------------------------------------------------------------
// Binding.

namespace idws {

constexpr int kRowCount = 112;
// Exported name of row `row` (0..111).
const char* RowName(int row);
// The address of row `row`: bound on first use. Raises EIdWS2StubError while the library
// is not loaded ("Error on call Winsock2 library function %s", code 10093) or when it lacks
// the export (code ERROR_PROC_NOT_FOUND).
void* Entry(int row);
bool LibraryLoaded();

// Rows the stack uses.
enum Row {
  rWSACleanup = 0,
  rAccept = 1,
  rBind = 2,
  rCloseSocket = 3,
  rConnect = 4,
  rIoctlSocket = 5,
  rGetPeerName = 6,
  rGetSockName = 7,
  rGetSockOpt = 8,
  rHtonl = 9,
  rHtons = 10,
  rInetAddr = 11,
  rInetNtoa = 12,
  rListen = 13,
  rNtohl = 14,
  rNtohs = 15,
  rRecv = 16,
  rRecvFrom = 17,
  rSelect = 18,
  rSend = 19,
  rSendTo = 20,
  rSetSockOpt = 21,
  rShutdown = 22,
  rSocket = 23,
  rGetHostByAddr = 24,
  rGetHostByName = 25,
  rGetHostName = 26,
  rGetServByPort = 27,
  rGetServByName = 28,
  rWSAGetLastError = 32,
  rTransmitFile = 108,
};

template <class F>
F Call(Row row) {
  return reinterpret_cast<F>(Entry(row));
}

}  // namespace idws

// Loads "WS2_32.DLL" if needed and calls its WSAStartup; 0 at once when already loaded.
int StartSocketLibrary(WORD version, WSADATA* data);
// Releases the library; every entry goes back to its first-call binding.
void UnloadSocketLibrary();

// ---------------------------------------------------------------------------------------
// Socket lists.

class TIdSocketList {
 public:
  virtual ~TIdSocketList() = default;
  virtual TIdStackSocketHandle Items(int index) const = 0;
  virtual void Add(TIdStackSocketHandle handle) = 0;
  virtual void Remove(TIdStackSocketHandle handle) = 0;
  virtual int Count() const = 0;
  virtual void Clear() = 0;
  static std::unique_ptr<TIdSocketList> CreateSocketList();
};

// A fixed set of 64 handles, the layout of the platform's descriptor set.
class TIdSocketListWindows : public TIdSocketList {
 public:
  TIdSocketListWindows() { set_.fd_count = 0; }
  TIdStackSocketHandle Items(int index) const override;
  void Add(TIdStackSocketHandle handle) override;
  void Remove(TIdStackSocketHandle handle) override;
  int Count() const override { return static_cast<int>(set_.fd_count); }
  void Clear() override { set_.fd_count = 0; }
  KvFdSet& Set() { return set_; }

 private:
  KvFdSet set_;
};

// ---------------------------------------------------------------------------------------
// Stack.

class TIdStack {
 public:
  virtual ~TIdStack() = default;

  static TIdStack* MakeStack();

  virtual void FillLocalAddresses() = 0;
  virtual std::string FirstLocalAddress();
  virtual const std::vector<std::string>& LocalAddressList();
  virtual TIdStackSocketHandle AcceptConnection(TIdStackSocketHandle socket, std::string& peer_ip, int& peer_port) = 0;
  virtual int BindSocket(TIdStackSocketHandle socket, int family, const std::string& ip, int port) = 0;
  virtual int CloseSocketHandle(TIdStackSocketHandle socket) = 0;
  virtual int ConnectSocket(TIdStackSocketHandle socket, int family, const std::string& ip, int port) = 0;
  virtual std::string HostNameToAddress(const std::string& name) = 0;
  virtual std::string LocalHostName() = 0;
  virtual std::string AddressToHostName(const std::string& address) = 0;
  virtual int ServiceNameToPort(const std::string& name) = 0;
  virtual std::vector<std::string> PortToServiceNames(int port) = 0;
  virtual uint16_t HostToNetShort(uint16_t v) = 0;
  virtual int ListenSocket(TIdStackSocketHandle socket, int backlog) = 0;
  virtual uint16_t NetToHostShort(uint16_t v) = 0;
  virtual uint32_t HostToNetLong(uint32_t v) = 0;
  virtual uint32_t NetToHostLong(uint32_t v) = 0;
  virtual int ReceiveData(TIdStackSocketHandle socket, void* buffer, int length, int flags) = 0;
  virtual int ReceiveDatagram(TIdStackSocketHandle socket, void* buffer, int length, int flags, std::string& peer_ip,
                              int& peer_port) = 0;
  virtual int SelectSockets(TIdSocketList* read, TIdSocketList* write, int timeout_ms, TIdSocketList* error) = 0;
  virtual int SendData(TIdStackSocketHandle socket, const void* buffer, int length, int flags) = 0;
  virtual int SendDatagram(TIdStackSocketHandle socket, const void* buffer, int length, int flags,
                           const std::string& ip, int port) = 0;
  virtual int SetSocketOption(TIdStackSocketHandle socket, int level, int option, const void* value, int length) = 0;
  virtual TIdStackSocketHandle NewSocket(int family, int type, int protocol) = 0;
  virtual int ShutdownSocket(TIdStackSocketHandle socket, int how) = 0;
  virtual std::string SocketErrorText(int code);
  virtual int LastSocketError() = 0;
  virtual void PeerAddress(TIdStackSocketHandle socket, int& family, int& port, std::string& ip) = 0;
  virtual void LocalSocketAddress(TIdStackSocketHandle socket, int& family, int& port, std::string& ip) = 0;
  virtual int GetSocketOption(TIdStackSocketHandle socket, int level, int option, void* value, int* length) = 0;
  virtual std::string AddressBytesToText(const uint8_t bytes[4]) = 0;
  virtual void TextToAddressBytes(const std::string& text, uint8_t bytes[4]) = 0;

  bool CheckSocketResult(int result);
  bool CheckSocketResult(int result, std::initializer_list<int> ignore);
  [[noreturn]] void ThrowSocketError(int code);
  TIdStackSocketHandle AllocateSocketHandle(int type, int protocol);
  std::string ResolveHostAddress(const std::string& host);
  static bool IsDottedAddress(const std::string& text);
  uint32_t TextToAddress(const std::string& text);

  int LastError() const { return last_error_; }

 protected:
  int last_error_ = 0;
  std::vector<std::string> local_addresses_;
};

class TIdStackWindows : public TIdStack {
 public:
  TIdStackWindows();

  void FillLocalAddresses() override;
  TIdStackSocketHandle AcceptConnection(TIdStackSocketHandle socket, std::string& peer_ip, int& peer_port) override;
  int BindSocket(TIdStackSocketHandle socket, int family, const std::string& ip, int port) override;
  int CloseSocketHandle(TIdStackSocketHandle socket) override;
  int ConnectSocket(TIdStackSocketHandle socket, int family, const std::string& ip, int port) override;
  std::string HostNameToAddress(const std::string& name) override;
  std::string LocalHostName() override;
  std::string AddressToHostName(const std::string& address) override;
  int ServiceNameToPort(const std::string& name) override;
  std::vector<std::string> PortToServiceNames(int port) override;
  uint16_t HostToNetShort(uint16_t v) override;
  int ListenSocket(TIdStackSocketHandle socket, int backlog) override;
  uint16_t NetToHostShort(uint16_t v) override;
  uint32_t HostToNetLong(uint32_t v) override;
  uint32_t NetToHostLong(uint32_t v) override;
  int ReceiveData(TIdStackSocketHandle socket, void* buffer, int length, int flags) override;
  int ReceiveDatagram(TIdStackSocketHandle socket, void* buffer, int length, int flags, std::string& peer_ip,
                      int& peer_port) override;
  int SelectSockets(TIdSocketList* read, TIdSocketList* write, int timeout_ms, TIdSocketList* error) override;
  int SendData(TIdStackSocketHandle socket, const void* buffer, int length, int flags) override;
  int SendDatagram(TIdStackSocketHandle socket, const void* buffer, int length, int flags, const std::string& ip,
                   int port) override;
  int SetSocketOption(TIdStackSocketHandle socket, int level, int option, const void* value, int length) override;
  TIdStackSocketHandle NewSocket(int family, int type, int protocol) override;
  int ShutdownSocket(TIdStackSocketHandle socket, int how) override;
  std::string SocketErrorText(int code) override;
  int LastSocketError() override;
  void PeerAddress(TIdStackSocketHandle socket, int& family, int& port, std::string& ip) override;
  void LocalSocketAddress(TIdStackSocketHandle socket, int& family, int& port, std::string& ip) override;
  int GetSocketOption(TIdStackSocketHandle socket, int level, int option, void* value, int* length) override;
  std::string AddressBytesToText(const uint8_t bytes[4]) override;
  void TextToAddressBytes(const std::string& text, uint8_t bytes[4]) override;

 private:
  void BuildAddress(SOCKADDR_IN& address, int family, const std::string& ip, int port);
};

// Whether the socket library has been started in this process (once, however many stack
// objects come and go), and the call of WSACleanup for it at module unload.
bool SocketLibraryStarted();
void CleanupSocketLibrary();

// The process-wide stack object; made and freed by the networking components.
extern TIdStack* GStack;
