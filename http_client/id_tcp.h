// Transport objects (component base, socket handle, I/O handlers, SOCKS, intercepts,
// anti-freeze) and the buffered TCP connection and client built on them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/core/classes.h"
#include "framework/core/threads.h"
#include "http_client/id_exceptions.h"
#include "http_client/id_stack.h"

enum TIdStatus {
  hsResolving,
  hsConnecting,
  hsConnected,
  hsDisconnecting,
  hsDisconnected,
  hsStatusText,
  ftpTransfer,
  ftpReady,
  ftpAborted
};
enum TWorkMode { wmRead, wmWrite };

class TIdConnectionIntercept;

using TIdStatusEvent = std::function<void(TObject* ASender, TIdStatus AStatus, const std::string& AStatusText)>;
using TWorkBeginEvent = std::function<void(TObject* Sender, TWorkMode AWorkMode, int AWorkCountMax)>;
using TWorkEvent = std::function<void(TObject* Sender, TWorkMode AWorkMode, int AWorkCount)>;
using TWorkEndEvent = std::function<void(TObject* Sender, TWorkMode AWorkMode)>;
using TIdInterceptNotifyEvent = std::function<void(TIdConnectionIntercept* ASender)>;
using TIdInterceptStreamEvent = std::function<void(TIdConnectionIntercept* ASender, TStream* AStream)>;

class TIdBaseComponent : public TComponent {
 public:
  explicit TIdBaseComponent(TComponent* AOwner) : TComponent(AOwner) {}
  KV_CLASS_NAME(TIdBaseComponent)
};

// Keeps the shared stack object alive while any networking component lives, and reports
// status and work progress.
class TIdComponent : public TIdBaseComponent {
 public:
  explicit TIdComponent(TComponent* AOwner);
  ~TIdComponent() override;
  KV_CLASS_NAME(TIdComponent)

  virtual void StartWork(TWorkMode mode, int maximum);
  virtual void AddWork(TWorkMode mode, int count);
  virtual void FinishWork(TWorkMode mode);
  void ReportStatus(TIdStatus status, const std::vector<TVarRec>& args = {});

  TIdStatusEvent OnStatus;
  TWorkEvent OnWork;
  TWorkBeginEvent OnWorkBegin;
  TWorkEndEvent OnWorkEnd;

  // Live networking components in the process (the shared stack object exists while > 0).
  static int LiveCount();

 private:
  struct WorkInfo {
    int32_t current = 0, maximum = 0, level = 0;
  } work_[2];
};

// Status texts of TIdStatus.
const std::string& StatusText(TIdStatus status);

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

// Anti-freeze: lets a GUI keep pumping messages during blocking calls. No concrete class
// exists in the system; the hook stays "not in use" unless one is made.
class TIdAntiFreezeBase : public TIdBaseComponent {
 public:
  explicit TIdAntiFreezeBase(TComponent* AOwner);
  ~TIdAntiFreezeBase() override;
  KV_CLASS_NAME(TIdAntiFreezeBase)
  virtual void PumpOnce() = 0;

  bool Active = true, ApplicationHasPriority = true, OnlyWhenIdle = true;
  int IdleTimeOut = 250;

  static TIdAntiFreezeBase* Current();
  static bool InUse();
  static void Pump(bool idle, bool force = false);
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

class TIdConnectionIntercept : public TIdBaseComponent {
 public:
  explicit TIdConnectionIntercept(TComponent* AOwner) : TIdBaseComponent(AOwner) {}
  KV_CLASS_NAME(TIdConnectionIntercept)

  virtual void PassConnectOn(TComponent* connection);
  virtual void PassDisconnectOn();
  virtual void PassReceivedOn(TStream* stream);
  virtual void PassOutgoingOn(TStream* stream);
  virtual void AttachConnection(TComponent* connection);
  virtual void DetachConnection();
  virtual void FilterReceived(TStream* stream);
  virtual void FilterOutgoing(TStream* stream);
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void SetIntercept(TIdConnectionIntercept* value);

  TComponent* Connection = nullptr;
  TIdConnectionIntercept* Intercept = nullptr;
  bool IsClient = true;
  TIdInterceptNotifyEvent OnConnect, OnDisconnect;
  TIdInterceptStreamEvent OnReceive, OnSend;
};

class TIdServerIOHandler : public TIdComponent {
 public:
  explicit TIdServerIOHandler(TComponent* AOwner) : TIdComponent(AOwner) {}
  KV_CLASS_NAME(TIdServerIOHandler)
  virtual void PrepareServer() {}
  virtual TIdIOHandler* AcceptClient(TIdStackSocketHandle /*listening*/) { return nullptr; }
};

// ---------------------------------------------------------------------------------------
// Buffers and replies.

// Received bytes not yet consumed. Consuming advances a count; memory moves only when
// 32768 consumed bytes have gathered.
class TIdManagedBuffer {
 public:
  size_t Size() const { return data_.size() - consumed_; }
  const char* Memory() const { return data_.data() + consumed_; }
  void Append(const char* bytes, size_t count) { data_.append(bytes, count); }
  std::string TakeBytes(size_t count);  // EIdNotEnoughDataInBuffer when count > Size()
  void DropBytes(size_t count);
  void Clear() {
    data_.clear();
    consumed_ = 0;
  }
  std::function<void(size_t)> OnBytesRemoved;

 private:
  static constexpr size_t kPackThreshold = 32768;
  std::string data_;
  size_t consumed_ = 0;
};

class TIdRFCReply : public TObject {
 public:
  KV_CLASS_NAME(TIdRFCReply)
  int NumericCode() const { return numeric_; }
  void SetNumericCode(int value);
  const std::string& TextCode() const { return text_code_; }
  void SetTextCode(const std::string& value);
  void Clear();
  void Assign(const TIdRFCReply& source);
  void ParseReplyLines(const std::vector<std::string>& lines);
  std::vector<std::string> Text;

 private:
  int numeric_ = 0;
  std::string text_code_;
};

enum TIdMaxLineAction { maException, maSplit };

// ---------------------------------------------------------------------------------------
// Connection.

// A reply error class: throws its exception, made from a reply's code and text.
using TIdReplyErrorClass = void (*)(int32_t code, const std::string& text);
template <class E>
[[noreturn]] void ThrowReplyError(int32_t code, const std::string& text) {
  throw E(code, text);
}

class TIdTCPConnection : public TIdComponent {
 public:
  explicit TIdTCPConnection(TComponent* AOwner);
  ~TIdTCPConnection() override;
  KV_CLASS_NAME(TIdTCPConnection)

  // Reading.
  int FillInputBuffer(bool raise_when_disconnected, int timeout_ms, bool raise_on_timeout);
  virtual std::string ReadLine(const std::string& terminator = "\n", int timeout_ms = -1, int max_length = -1);
  std::string ReadLineWait(int attempts);
  void ReadExact(void* buffer, int count);
  uint32_t ReadInt32(bool convert = true);
  void ReadIntoStream(TStream* stream, int count, bool until_close);
  std::string TakeBufferedData();
  std::string TakeAllData();

  // Writing.
  void WriteText(const std::string& text);
  void WriteLine(const std::string& text = "");
  void WriteBytes(const void* buffer, int count, bool now = false);
  void WriteInt32(uint32_t value, bool convert = true);
  void WriteFromStream(TStream* stream, bool from_start, bool with_length, int64_t size = 0);
  // Sends a whole file; returns its size. EIdFileNotFound when it does not exist.
  int64_t WriteFileContents(const std::string& file_name, bool allow_system_transfer = true);
  void BeginWriteBuffering(int threshold = -1);
  void FlushWriteBuffering(int count = -1);
  void EndWriteBuffering();
  void DiscardWriteBuffer();
  bool WriteBuffering() const { return write_buffer_ != nullptr; }

  // State.
  bool Connected() { return ConnectionIsOpen(); }
  virtual bool ConnectionIsOpen();
  virtual void CheckDisconnect(bool raise, bool ignore_buffer);
  virtual void CheckGracefulClose(bool raise);
  virtual void CloseConnection();
  virtual void CloseSocketOnly();
  virtual void NotifyDisconnected();
  virtual void ResetInput();
  bool ClosedGracefully() const { return closed_gracefully_; }

  // Replies.
  int SendCommand(const std::string& line, const std::vector<int>& allowed);
  int ReadReply(const std::vector<int>& allowed);
  void ReadReplyLines();
  int CheckReplyCode(int code, const std::vector<int>& allowed);
  // Raises the last reply as an error: its numeric code and, as message, its text lines
  // each followed by CR LF; as EIdProtocolReplyError, or as the class `raise` throws.
  [[noreturn]] virtual void RaiseReplyError();
  [[noreturn]] virtual void RaiseReplyError(TIdReplyErrorClass raise);
  TIdRFCReply& LastReply() { return last_reply_; }
  TIdRFCReply& Greeting() { return greeting_; }

  TIdIOHandler* IOHandler() const { return io_handler_; }
  void SetIOHandler(TIdIOHandler* handler);
  TIdIOHandlerSocket* SocketHandler() const { return socket_handler_; }
  TIdConnectionIntercept* Intercept() const { return intercept_; }
  void SetIntercept(TIdConnectionIntercept* value);
  TIdManagedBuffer& InputBuffer() { return input_; }
  void Notification(TComponent* AComponent, TOperation Operation) override;

  bool ASCIIFilter = false;
  TIdMaxLineAction MaxLineAction = maException;
  int MaxLineLength = 16384;
  int ReadTimeout = 0;
  int RecvBufferSize = 32768;
  int SendBufferSize = 32768;
  bool ReadLnSplit = false;
  bool ReadLnTimedOut = false;
  TNotifyEvent OnDisconnected;

 protected:
  void SetOwnsHandler(bool value) { owns_handler_ = value; }
  int ResolveTimeout(int timeout_ms) const;

 private:
  [[noreturn]] void RaiseLineTooLong();
  std::string LastReplyText() const;  // the last reply's lines, each followed by CR LF
  void SendNow(const char* bytes, int count);

  bool closed_gracefully_ = false;
  TIdRFCReply greeting_, last_reply_;
  bool owns_handler_ = false;
  TIdManagedBuffer input_;
  TIdConnectionIntercept* intercept_ = nullptr;
  TIdIOHandler* io_handler_ = nullptr;
  TIdIOHandlerSocket* socket_handler_ = nullptr;
  std::vector<char> receive_buffer_;
  std::unique_ptr<std::string> write_buffer_;
  int write_threshold_ = 0;
};

class TIdTCPClient : public TIdTCPConnection {
 public:
  explicit TIdTCPClient(TComponent* AOwner) : TIdTCPConnection(AOwner) {}
  KV_CLASS_NAME(TIdTCPClient)

  virtual void SetHost(const std::string& value) { host_ = value; }
  virtual void SetPort(int value) { port_ = value; }
  const std::string& Host() const { return host_; }
  int Port() const { return port_; }
  virtual void DoOnConnected();
  virtual void OpenConnection(int timeout_ms = -1);
  void Connect(int timeout_ms = -1) { OpenConnection(timeout_ms); }
  void Disconnect() { CloseConnection(); }
  std::string ConnectAndReadAll();

  std::string BoundIP;
  int BoundPort = 0, BoundPortLow = 0, BoundPortHigh = 0;
  TNotifyEvent OnConnected;

 private:
  std::string host_;
  int port_ = 0;
};
