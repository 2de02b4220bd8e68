#include "http_client/id_tcp.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <typeinfo>

#include "framework/core/sysutils.h"
#include "http_client/id_global.h"
#include "platform/base/sync.h"
#include "platform/base/time.h"

// ---------------------------------------------------------------------------------------
// TIdTCPConnection.

TIdTCPConnection::TIdTCPConnection(TComponent* AOwner) : TIdComponent(AOwner) {
  input_.OnBytesRemoved = [this](size_t n) { AddWork(wmRead, static_cast<int>(n)); };
}

TIdTCPConnection::~TIdTCPConnection() {
  try {
    CloseSocketOnly();
  } catch (const Exception&) {
  }
  if (owns_handler_) {
    TIdIOHandler* h = io_handler_;
    io_handler_ = nullptr;
    socket_handler_ = nullptr;
    delete h;
  }
}

int TIdTCPConnection::ResolveTimeout(int timeout_ms) const {
  if (timeout_ms == -1) timeout_ms = ReadTimeout;
  return timeout_ms == 0 ? -2 : timeout_ms;
}

void TIdTCPConnection::SetIOHandler(TIdIOHandler* handler) {
  if (owns_handler_ && io_handler_ != nullptr && io_handler_ != handler) {
    TIdIOHandler* old = io_handler_;
    io_handler_ = nullptr;
    delete old;
  }
  owns_handler_ = false;
  io_handler_ = handler;
  socket_handler_ = dynamic_cast<TIdIOHandlerSocket*>(handler);
  if (handler != nullptr) handler->FreeNotification(this);
}

void TIdTCPConnection::SetIntercept(TIdConnectionIntercept* value) {
  intercept_ = value;
  if (value != nullptr) value->FreeNotification(this);
}

void TIdTCPConnection::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove) {
    if (AComponent == intercept_) intercept_ = nullptr;
    if (AComponent == io_handler_) {
      io_handler_ = nullptr;
      socket_handler_ = nullptr;
      owns_handler_ = false;
    }
  }
  TIdComponent::Notification(AComponent, Operation);
}

void TIdTCPConnection::CheckDisconnect(bool raise, bool ignore_buffer) {
  if (io_handler_ == nullptr) return;
  bool gone = false;
  if (closed_gracefully_) {
    gone = true;
    if (io_handler_->IsConnected()) {
      CloseSocketOnly();
      ReportStatus(hsDisconnected);
      NotifyDisconnected();
    }
  } else if (!io_handler_->IsConnected()) {
    gone = true;
  }
  if (gone && raise && (input_.Size() == 0 || ignore_buffer))
    throw EIdConnClosedGracefully("Connection Closed Gracefully.");
}

bool TIdTCPConnection::ConnectionIsOpen() {
  CheckDisconnect(false, false);
  return io_handler_ != nullptr && io_handler_->IsConnected();
}

void TIdTCPConnection::CheckGracefulClose(bool raise) { FillInputBuffer(raise, 1, false); }

void TIdTCPConnection::CloseSocketOnly() {
  if (io_handler_ == nullptr) return;
  closed_gracefully_ = true;
  if (!ComponentState().Contains(csDesigning)) {
    if (intercept_ != nullptr && intercept_->Connection != nullptr) intercept_->DetachConnection();
    io_handler_->CloseHandler();
  }
}

void TIdTCPConnection::CloseConnection() {
  ReportStatus(hsDisconnecting);
  CloseSocketOnly();
  if (owns_handler_) {
    TIdIOHandler* h = io_handler_;
    io_handler_ = nullptr;
    socket_handler_ = nullptr;
    owns_handler_ = false;
    delete h;
  }
  NotifyDisconnected();
  ReportStatus(hsDisconnected);
}

void TIdTCPConnection::NotifyDisconnected() {
  if (OnDisconnected) OnDisconnected(this);
}

void TIdTCPConnection::ResetInput() {
  input_.Clear();
  closed_gracefully_ = false;
}

int TIdTCPConnection::FillInputBuffer(bool raise_when_disconnected, int timeout_ms, bool raise_on_timeout) {
  return Receive(nullptr, 0, raise_when_disconnected, timeout_ms, raise_on_timeout);
}

// One FillInputBuffer, receiving into the input buffer, or with `into` (only on the road
// without a filter) straight into the caller's `length` bytes there, past the input buffer.
int TIdTCPConnection::Receive(char* into, int length, bool raise_when_disconnected, int timeout_ms,
                              bool raise_on_timeout) {
  const int timeout = ResolveTimeout(timeout_ms);
  CheckDisconnect(raise_when_disconnected, false);
  if (io_handler_ == nullptr || !io_handler_->IsConnected()) {
    if (raise_when_disconnected) throw EIdNotConnected("Not Connected");
    return 0;
  }
  int count;
  do {
    if (!io_handler_->WaitReadable(timeout)) {
      if (raise_on_timeout) throw EIdReadTimeout("Read Timeout");
      return -1;
    }
    // Without a filter on the way the bytes are received straight into the input buffer.
    const bool direct = Unfiltered();
    const bool to_caller = direct && into != nullptr;
    const int block = to_caller ? length : std::max(RecvBufferSize, 1);
    if (!direct && static_cast<int>(receive_buffer_.size()) != block)
      receive_buffer_.resize(static_cast<size_t>(block));
    char* target = to_caller ? into : direct ? input_.Space(static_cast<size_t>(block)) : receive_buffer_.data();
    count = io_handler_->ReceiveBuffer(target, block);
    if (count == Id_SOCKET_ERROR) {
      if (GStack->CheckSocketResult(count, {WSAESHUTDOWN, WSAECONNABORTED})) {
        const int code = GStack->LastError();
        CloseSocketOnly();
        if (input_.Size() == 0) GStack->ThrowSocketError(code);
        count = 0;
      }
    } else if (count == 0) {
      closed_gracefully_ = true;
    } else if (to_caller) {
      closed_gracefully_ = false;
      AddWork(wmRead, count);
    } else if (direct) {
      closed_gracefully_ = false;
      input_.Commit(static_cast<size_t>(count));
    } else {
      closed_gracefully_ = false;
      const char* data = receive_buffer_.data();
      std::string filtered;
      if (intercept_ != nullptr) {
        TMemoryStream stream;
        stream.WriteBuffer(data, count);
        stream.SetPosition(0);
        intercept_->FilterReceived(&stream);
        filtered.assign(static_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
        data = filtered.data();
        count = static_cast<int>(filtered.size());
      }
      if (ASCIIFilter) {
        if (filtered.empty()) filtered.assign(data, static_cast<size_t>(count));
        for (char& c : filtered) c = static_cast<char>(c & 0x7F);
        data = filtered.data();
      }
      input_.Append(data, static_cast<size_t>(count));
    }
    CheckDisconnect(raise_when_disconnected, false);
  } while (count == 0 && io_handler_ != nullptr && io_handler_->IsConnected());
  return count;
}

void TIdTCPConnection::RaiseLineTooLong() { throw EIdReadLnMaxLineLengthExceeded("Max line length exceeded."); }

std::string TIdTCPConnection::ReadLine(const std::string& terminator, int timeout_ms, int max_length) {
  const std::string t = terminator.empty() ? std::string("\n") : terminator;
  const size_t limit = static_cast<size_t>(max_length == -1 ? MaxLineLength : std::max(max_length, 0));
  ReadLnSplit = false;
  ReadLnTimedOut = false;
  size_t searched = 0;
  size_t found = std::string::npos;
  for (;;) {
    if (input_.Size() > 0) {
      // Start a little before the searched end, so a terminator split across two
      // receives is found.
      const size_t from = searched >= t.size() - 1 ? searched - (t.size() - 1) : 0;
      int p = SearchMemory(t, input_.Memory() + from, input_.Size() - from);
      if (p > 0) found = from + static_cast<size_t>(p) - 1;
      searched = input_.Size();
    }
    const bool too_long = limit != 0 && (found != std::string::npos ? found > limit : searched > limit);
    if (too_long) {
      if (MaxLineAction == maException) RaiseLineTooLong();
      ReadLnSplit = true;
      return input_.TakeBytes(limit);
    }
    if (found != std::string::npos) break;
    CheckDisconnect(true, true);
    // 0: the peer closed with an unterminated tail buffered; -1: an explicit time-out ran
    // out. Either ends the line read empty, with the timed-out flag set.
    if (FillInputBuffer(true, timeout_ms, timeout_ms == -1) <= 0) {
      ReadLnTimedOut = true;
      return std::string();
    }
  }
  std::string line = input_.TakeBytes(found + t.size());
  line.resize(found);
  if (t == "\n" && !line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::string TIdTCPConnection::ReadLineWait(int attempts) {
  for (int i = 0; i < attempts; ++i) {
    std::string line = Trim(ReadLine());
    if (!line.empty()) return line;
  }
  return std::string();
}

void TIdTCPConnection::ReadExact(void* buffer, int count) {
  if (count <= 0 || buffer == nullptr) return;
  while (input_.Size() < static_cast<size_t>(count)) {
    FillInputBuffer(true, -1, true);
    CheckDisconnect(true, true);
  }
  std::memcpy(buffer, input_.Memory(), static_cast<size_t>(count));
  input_.DropBytes(static_cast<size_t>(count));
}

uint32_t TIdTCPConnection::ReadInt32(bool convert) {
  uint32_t v = 0;
  ReadExact(&v, 4);
  return convert ? GStack->NetToHostLong(v) : v;
}

namespace {
// A blocking receive of a long counted body waits for this many bytes at a time (the
// socket's receive low-water mark) instead of waking for every arriving segment.
constexpr int kLowWater = 256 * 1024;
constexpr int kLowWaterMin = 16 * 1024;  // a smaller mark is not worth its call
}  // namespace

bool TIdTCPConnection::SetReceiveLowWater(int bytes) {
  const int32_t value = bytes;
  return GStack->SetSocketOption(socket_handler_->Binding()->Handle, WS_SOL_SOCKET, WS_SO_RCVLOWAT, &value, 4) == 0;
}

// Every received byte goes into the stream as it arrives; a close before `count` bytes
// raises once the buffered bytes are written.
void TIdTCPConnection::ReadIntoStream(TStream* stream, int count, bool until_close) {
  if (count == -1 && !until_close) count = static_cast<int>(ReadInt32(true));
  int64_t remaining = until_close ? INT_MAX : count;
  // Only a plain memory stream is written in place: a descendant may do more on a write
  // than store the bytes.
  TMemoryStream* memory =
      !until_close && typeid(*stream) == typeid(TMemoryStream) ? static_cast<TMemoryStream*>(stream) : nullptr;
  if (count >= 0 && !until_close) {
    // Pre-size once for the announced length; a huge announced length is not trusted
    // with memory before its bytes arrive. A memory stream is not zeroed first: the read
    // writes every byte it sized, and cuts the stream back at what came when it stops.
    constexpr int64_t kPresizeLimit = 32 * 1024 * 1024;
    const int64_t position = stream->Position();
    const int64_t size = position + std::min<int64_t>(count, kPresizeLimit);
    if (memory != nullptr)
      memory->SetSizeForWriting(size);
    else
      stream->SetSize(size);
    stream->SetPosition(position);
  }
  // Only a plain socket without a read time-out or anti-freeze: there the receive itself
  // waits, with no poll first that the mark would change the meaning of.
  const bool batch = memory != nullptr && socket_handler_ != nullptr &&
                     typeid(*socket_handler_) == typeid(TIdIOHandlerSocket) && ResolveTimeout(-1) == -2 &&
                     !TIdAntiFreezeBase::InUse();
  int low_water = 1;  // the mark in force; 1 is the system's default
  // The system wakes a waiting receive only once the unread bytes reach the mark, also when
  // the receive has already taken part of it, so the mark stays at most half of what the
  // count still has to bring.
  auto adjust_low_water = [&](int64_t room) {
    const int want = room >= 2 * kLowWater ? kLowWater : room >= 2 * kLowWaterMin ? static_cast<int>(room / 2) : 1;
    if ((want > low_water ? low_water == 1 : 2 * static_cast<int64_t>(low_water) > room) && SetReceiveLowWater(want))
      low_water = want;
  };
  // Back to the default before anything else reads; a socket that keeps a mark could not
  // read a short reply, so it is closed.
  auto restore_low_water = [&]() {
    if (low_water == 1) return;
    low_water = 1;
    if (socket_handler_ != nullptr && socket_handler_->IsConnected() && !SetReceiveLowWater(1)) CloseSocketOnly();
  };
  StartWork(wmRead, until_close ? 0 : count);
  auto drain = [&]() {
    const size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(input_.Size()), remaining));
    if (n > 0) {
      stream->WriteBuffer(input_.Memory(), static_cast<int>(n));
      input_.DropBytes(n);
      remaining -= static_cast<int64_t>(n);
    }
  };
  try {
    drain();
    while (remaining > 0) {
      try {
        if (!ConnectionIsOpen()) {
          if (until_close) break;
          throw EIdConnClosedGracefully("Connection Closed Gracefully.");
        }
        // The pre-sized part of a memory stream takes the bytes straight from the receive,
        // as many as have arrived up to the rest of the count, with no stop in the input
        // buffer and no per-block copy.
        const int64_t position = memory != nullptr ? memory->Position() : 0;
        const int64_t room = memory != nullptr ? std::min(memory->Size() - position, remaining) : 0;
        if (room > 0 && input_.Size() == 0 && Unfiltered()) {
          if (batch) adjust_low_water(room);
          const int got =
              Receive(static_cast<char*>(memory->Memory()) + position, static_cast<int>(room), true, -1, true);
          if (got > 0) {
            memory->SetPosition(position + got);
            remaining -= got;
          }
        } else {
          FillInputBuffer(true, -1, true);
          drain();
        }
        if (remaining > 0) CheckDisconnect(true, true);
      } catch (const EIdConnClosedGracefully&) {
        drain();
        if (!until_close) throw;
        break;
      }
    }
    drain();
    restore_low_water();
  } catch (...) {
    try {
      restore_low_water();
    } catch (const Exception&) {
    }
    // Cut back first: the bytes past what came were never written.
    if (stream->Size() > stream->Position()) stream->SetSize(stream->Position());
    FinishWork(wmRead);
    throw;
  }
  if (stream->Size() > stream->Position()) stream->SetSize(stream->Position());
  FinishWork(wmRead);
}

std::string TIdTCPConnection::TakeBufferedData() {
  if (ConnectionIsOpen()) FillInputBuffer(false, -1, true);
  std::string out(input_.Memory(), input_.Size());
  input_.Clear();
  return out;
}

std::string TIdTCPConnection::TakeAllData() {
  std::string out;
  StartWork(wmRead, 0);
  try {
    while (ConnectionIsOpen()) out += TakeBufferedData();
    out += std::string(input_.Memory(), input_.Size());
    input_.Clear();
  } catch (...) {
    FinishWork(wmRead);
    throw;
  }
  FinishWork(wmRead);
  return out;
}

void TIdTCPConnection::WriteText(const std::string& text) {
  if (!text.empty()) WriteBytes(text.data(), static_cast<int>(text.size()));
}

void TIdTCPConnection::WriteLine(const std::string& text) { WriteText(text + "\r\n"); }

void TIdTCPConnection::SendNow(const char* bytes, int count) {
  std::string filtered;
  if (intercept_ != nullptr) {
    TMemoryStream stream;
    stream.WriteBuffer(bytes, count);
    stream.SetPosition(0);
    intercept_->FilterOutgoing(&stream);
    filtered.assign(static_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
    bytes = filtered.data();
    count = static_cast<int>(filtered.size());
  }
  int sent = 0;
  while (sent < count) {
    if (io_handler_ == nullptr) throw EIdNotConnected("Not Connected");
    const int n = io_handler_->SendBuffer(bytes + sent, count - sent);
    TIdAntiFreezeBase::Pump(false);
    if (n == 0) {
      closed_gracefully_ = true;
      CheckDisconnect(true, false);
      throw EIdConnClosedGracefully("Connection Closed Gracefully.");
    }
    if (n == Id_SOCKET_ERROR) {
      if (GStack->CheckSocketResult(n, {WSAESHUTDOWN, WSAECONNABORTED, WSAECONNRESET})) {
        const int code = GStack->LastError();
        CloseSocketOnly();
        GStack->ThrowSocketError(code);
      }
    }
    CheckDisconnect(true, false);
    sent += n;
    AddWork(wmWrite, n);
  }
}

void TIdTCPConnection::WriteBytes(const void* buffer, int count, bool now) {
  if (count <= 0 || buffer == nullptr) return;
  CheckDisconnect(true, true);
  if (io_handler_ == nullptr || !io_handler_->IsConnected()) throw EIdNotConnected("Not Connected");
  if (write_buffer_ == nullptr || now) {
    SendNow(static_cast<const char*>(buffer), count);
    return;
  }
  write_buffer_->append(static_cast<const char*>(buffer), static_cast<size_t>(count));
  if (write_threshold_ > 0 && write_buffer_->size() >= static_cast<size_t>(write_threshold_))
    FlushWriteBuffering(write_threshold_);
}

void TIdTCPConnection::WriteInt32(uint32_t value, bool convert) {
  if (convert) value = GStack->HostToNetLong(value);
  WriteBytes(&value, 4);
}

void TIdTCPConnection::WriteFromStream(TStream* stream, bool from_start, bool with_length, int64_t size) {
  if (from_start) stream->SetPosition(0);
  const int64_t position = stream->Position();
  const int64_t end = size != 0 ? position + size : stream->Size();
  if (with_length) WriteInt32(static_cast<uint32_t>(end - position));
  StartWork(wmWrite, static_cast<int>(end - position));
  try {
    std::vector<char> block(static_cast<size_t>(std::max(SendBufferSize, 1)));
    for (;;) {
      const int64_t n = std::min<int64_t>(end - stream->Position(), static_cast<int64_t>(block.size()));
      if (n <= 0) break;
      const int got = stream->Read(block.data(), static_cast<int>(n));
      if (got == 0) throw EIdNoDataToRead("No data to read.");
      WriteBytes(block.data(), got);
    }
  } catch (...) {
    FinishWork(wmWrite);
    throw;
  }
  FinishWork(wmWrite);
}

int64_t TIdTCPConnection::WriteFileContents(const std::string& file_name, bool /*allow_system_transfer*/) {
  // The platform offers no system file-transfer call, so the file always goes through
  // the stream path.
  if (!FileExists(file_name)) throw EIdFileNotFound(Format("File \"%s\" not found", {TVarRec(file_name)}));
  TFileStream file(file_name, fmOpenRead | fmShareDenyWrite);
  WriteFromStream(&file, true, false);
  return file.Size();
}

void TIdTCPConnection::BeginWriteBuffering(int threshold) {
  write_buffer_ = std::make_unique<std::string>();
  write_threshold_ = threshold;
}

void TIdTCPConnection::FlushWriteBuffering(int count) {
  if (write_buffer_ == nullptr || write_buffer_->empty()) return;
  if (count != -1 && write_buffer_->size() >= static_cast<size_t>(count)) {
    std::string head = write_buffer_->substr(0, static_cast<size_t>(count));
    write_buffer_->erase(0, static_cast<size_t>(count));
    SendNow(head.data(), static_cast<int>(head.size()));
  } else {
    std::string all;
    all.swap(*write_buffer_);
    SendNow(all.data(), static_cast<int>(all.size()));
  }
}

void TIdTCPConnection::EndWriteBuffering() {
  try {
    FlushWriteBuffering(-1);
  } catch (...) {
    write_buffer_.reset();
    throw;
  }
  write_buffer_.reset();
}

void TIdTCPConnection::DiscardWriteBuffer() {
  if (write_buffer_) write_buffer_->clear();
}

int TIdTCPConnection::CheckReplyCode(int code, const std::vector<int>& allowed) {
  if (!allowed.empty() && std::find(allowed.begin(), allowed.end(), code) == allowed.end()) RaiseReplyError();
  return code;
}

std::string TIdTCPConnection::LastReplyText() const {
  std::string text;
  for (const auto& line : last_reply_.Text) text += line + "\r\n";
  return text;
}

void TIdTCPConnection::RaiseReplyError() { throw EIdProtocolReplyError(last_reply_.NumericCode(), LastReplyText()); }

void TIdTCPConnection::RaiseReplyError(TIdReplyErrorClass raise) {
  const std::string text = LastReplyText();
  raise(last_reply_.NumericCode(), text);
  throw EIdProtocolReplyError(last_reply_.NumericCode(), text);  // a class that did not throw
}

void TIdTCPConnection::ReadReplyLines() {
  std::vector<std::string> lines;
  lines.push_back(ReadLineWait(2147483647));
  if (lines[0].size() > 3 && lines[0][3] == '-') {
    const std::string marker = UpperCase(lines[0].substr(0, 3)) + " ";
    for (;;) {
      std::string line = ReadLineWait(2147483647);
      lines.push_back(line);
      if (line.size() < 4 || UpperCase(line.substr(0, 4)) == marker) break;
    }
  }
  last_reply_.ParseReplyLines(lines);
}

int TIdTCPConnection::ReadReply(const std::vector<int>& allowed) {
  ReadReplyLines();
  return CheckReplyCode(static_cast<int16_t>(last_reply_.NumericCode()), allowed);
}

int TIdTCPConnection::SendCommand(const std::string& line, const std::vector<int>& allowed) {
  WriteLine(line);
  return ReadReply(allowed);
}

// ---------------------------------------------------------------------------------------
// TIdTCPClient.

void TIdTCPClient::DoOnConnected() {
  if (OnConnected) OnConnected(this);
}

void TIdTCPClient::OpenConnection(int timeout_ms) {
  if (IOHandler() == nullptr) {
    auto* handler = new TIdIOHandlerSocket(this);
    SetIOHandler(handler);
    handler->OnStatus = OnStatus;
    SetOwnsHandler(true);
  } else if (IOHandler()->IsConnected()) {
    throw EIdAlreadyConnected("Already connected.");
  }
  try {
    IOHandler()->OpenHandler();
    ResetInput();
    IOHandler()->ConnectHandler(Host(), Port(), BoundIP, BoundPort, BoundPortLow, BoundPortHigh, timeout_ms);
    if (Intercept() != nullptr) Intercept()->AttachConnection(this);
    ReportStatus(hsConnected, {TVarRec(Host())});
    DoOnConnected();
  } catch (...) {
    CloseSocketOnly();
    throw;
  }
}

std::string TIdTCPClient::ConnectAndReadAll() {
  OpenConnection(-1);
  std::string all;
  try {
    all = TakeAllData();
  } catch (...) {
    CloseConnection();
    throw;
  }
  CloseConnection();
  return all;
}
