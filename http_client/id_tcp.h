// The buffered TCP connection and client built on the transport objects.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/core/classes.h"
#include "framework/core/threads.h"
#include "http_client/id_buffer.h"
#include "http_client/id_component.h"
#include "http_client/id_exceptions.h"
#include "http_client/id_intercept.h"
#include "http_client/id_iohandler.h"

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
  bool Unfiltered() const { return intercept_ == nullptr && !ASCIIFilter; }
  int Receive(char* into, int length, bool raise_when_disconnected, int timeout_ms, bool raise_on_timeout);
  // The socket's receive low-water mark (a blocking receive waits for that many bytes, or
  // all it asked for if fewer); false when the system refuses it.
  bool SetReceiveLowWater(int bytes);
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
