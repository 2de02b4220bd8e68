#include "http_client/id_stack.h"

#include <atomic>
#include <cstring>

#include "framework/core/sysutils.h"
#include "http_client/id_global.h"
#include "platform/base/error.h"
#include "platform/base/module.h"

TIdStack* GStack = nullptr;

namespace idws {
namespace {

const char* const kNames[kRowCount] = {
    "WSACleanup", "accept", "bind", "closesocket", "connect", "ioctlsocket", "getpeername", "getsockname", "getsockopt",
    "htonl", "htons", "inet_addr", "inet_ntoa", "listen", "ntohl", "ntohs", "recv", "recvfrom", "select", "send",
    "sendto", "setsockopt", "shutdown", "socket", "gethostbyaddr", "gethostbyname", "gethostname", "getservbyport",
    "getservbyname", "getprotobynumber", "getprotobyname", "WSASetLastError", "WSAGetLastError", "WSAIsBlocking",
    "WSAUnhookBlockingHook", "WSASetBlockingHook", "WSACancelBlockingCall", "WSAAsyncGetServByName",
    "WSAAsyncGetServByPort", "WSAAsyncGetProtoByName", "WSAAsyncGetProtoByNumber", "WSAAsyncGetHostByName",
    "WSAAsyncGetHostByAddr", "WSACancelAsyncRequest", "WSAAsyncSelect", "__WSAFDIsSet", "WSAAccept", "WSACloseEvent",
    "WSAConnect", "WSACreateEvent", "WSADuplicateSocketA", "WSADuplicateSocketW", "WSAEnumNetworkEvents",
    "WSAEnumProtocolsA", "WSAEnumProtocolsW", "WSAEventSelect", "WSAGetOverlappedResult", "WSAGetQosByName", "WSAHtonl",
    "WSAHtons", "WSAIoctl", "WSAJoinLeaf", "WSANtohl", "WSANtohs", "WSARecv", "WSARecvDisconnect", "WSARecvFrom",
    "WSAResetEvent", "WSASend", "WSASendDisconnect", "WSASendTo", "WSASetEvent", "WSASocketA", "WSASocketW",
    "WSAWaitForMultipleEvents", "WSAAddressToStringA", "WSAAddressToStringW", "WSAStringToAddressA",
    "WSAStringToAddressW", "WSALookupServiceBeginA", "WSALookupServiceBeginW", "WSALookupServiceNextA",
    "WSALookupServiceNextW", "WSALookupServiceEnd", "WSAInstallServiceClassA", "WSAInstallServiceClassW",
    "WSARemoveServiceClass", "WSAGetServiceClassInfoA", "WSAGetServiceClassInfoW", "WSAEnumNameSpaceProvidersA",
    "WSAEnumNameSpaceProvidersW", "WSAGetServiceClassNameByClassIdA", "WSAGetServiceClassNameByClassIdW",
    "WSASetServiceA", "WSASetServiceW", "WSAProviderConfigChange",
    // The unsuffixed names, bound to the ANSI exports.
    "WSADuplicateSocketA", "WSAEnumProtocolsA", "WSASocketA", "WSAAddressToStringA", "WSAStringToAddressA",
    "WSALookupServiceBeginA", "WSALookupServiceNextA", "WSAInstallServiceClassA", "WSAGetServiceClassInfoA",
    "WSAEnumNameSpaceProvidersA", "WSAGetServiceClassNameByClassIdA", "WSASetServiceA", "TransmitFile", "AcceptEx",
    "GetAcceptExSockaddrs", "WSARecvEx"};

// One call slot per row: empty until the row is bound, then the export's address.
std::atomic<void*> g_slots[kRowCount];
std::atomic<HMODULE> g_library{nullptr};
std::atomic<bool> g_started{false};

std::string SystemText(DWORD code) { return SysErrorMessage(code); }

}  // namespace

const char* RowName(int row) { return row >= 0 && row < kRowCount ? kNames[row] : ""; }

bool LibraryLoaded() { return g_library.load() != nullptr; }

void* Entry(int row) {
  void* p = g_slots[row].load(std::memory_order_acquire);
  if (p != nullptr) return p;
  HMODULE library = g_library.load();
  const std::string title = Format("Error on call Winsock2 library function %s", {TVarRec(kNames[row])});
  if (library == nullptr) throw EIdWS2StubError(WSANOTINITIALISED, SystemText(WSANOTINITIALISED), title);
  p = reinterpret_cast<void*>(GetProcAddress(library, kNames[row]));
  if (p == nullptr) {
    const DWORD code = GetLastError() != 0 ? GetLastError() : static_cast<DWORD>(ERROR_PROC_NOT_FOUND);
    throw EIdWS2StubError(static_cast<int32_t>(code), SystemText(code), title);
  }
  g_slots[row].store(p, std::memory_order_release);  // every writer stores the same address
  return p;
}

}  // namespace idws

int StartSocketLibrary(WORD version, WSADATA* data) {
  if (idws::g_library.load() != nullptr) return 0;
  HMODULE library = LoadLibraryA("WS2_32.DLL");
  if (library == nullptr) {
    const DWORD code = GetLastError();
    throw EIdWS2StubError(static_cast<int32_t>(code), idws::SystemText(code),
                          Format("Error on loading Winsock2 library (%s)", {TVarRec("WS2_32.DLL")}));
  }
  HMODULE expected = nullptr;
  if (!idws::g_library.compare_exchange_strong(expected, library)) FreeLibrary(library);
  auto startup = reinterpret_cast<int (*)(WORD, WSADATA*)>(
      reinterpret_cast<void*>(GetProcAddress(idws::g_library.load(), "WSAStartup")));
  if (startup == nullptr) {
    const DWORD code = GetLastError();
    throw EIdWS2StubError(static_cast<int32_t>(code), idws::SystemText(code),
                          Format("Error on call Winsock2 library function %s", {TVarRec("WSAStartup")}));
  }
  return startup(version, data);
}

void UnloadSocketLibrary() {
  HMODULE library = idws::g_library.exchange(nullptr);
  if (library == nullptr) return;
  FreeLibrary(library);
  for (auto& slot : idws::g_slots) slot.store(nullptr);
}

bool SocketLibraryStarted() { return idws::g_started.load(); }

namespace {
// Module unload: the library started for this module is cleaned up once, then released.
struct SocketLibraryUnload {
  ~SocketLibraryUnload() {
    try {
      CleanupSocketLibrary();
      UnloadSocketLibrary();
    } catch (...) {
    }
  }
} g_socket_library_unload;
}  // namespace

void CleanupSocketLibrary() {
  if (idws::g_started.exchange(false) && idws::LibraryLoaded()) idws::Call<int (*)()>(idws::rWSACleanup)();
}

// ---------------------------------------------------------------------------------------
// Socket lists.

std::unique_ptr<TIdSocketList> TIdSocketList::CreateSocketList() { return std::make_unique<TIdSocketListWindows>(); }

TIdStackSocketHandle TIdSocketListWindows::Items(int index) const {
  if (index < 0 || index >= static_cast<int>(set_.fd_count)) throw EIdStackSetSizeExceeded("Set Size Exceeded.");
  return set_.fd_array[index];
}

void TIdSocketListWindows::Add(TIdStackSocketHandle handle) {
  if (set_.fd_count >= WS_FD_SETSIZE) throw EIdStackSetSizeExceeded("Set Size Exceeded.");
  set_.fd_array[set_.fd_count++] = handle;
}

void TIdSocketListWindows::Remove(TIdStackSocketHandle handle) {
  for (UINT i = 0; i < set_.fd_count; ++i) {
    if (set_.fd_array[i] == handle) {
      set_.fd_array[i] = set_.fd_array[set_.fd_count - 1];
      set_.fd_array[set_.fd_count - 1] = 0;
      --set_.fd_count;
      return;
    }
  }
}

// ---------------------------------------------------------------------------------------
// TIdStack.

TIdStack* TIdStack::MakeStack() { return new TIdStackWindows(); }

std::string TIdStack::FirstLocalAddress() {
  const auto& list = LocalAddressList();
  return list.empty() ? std::string() : list.front();
}

const std::vector<std::string>& TIdStack::LocalAddressList() {
  FillLocalAddresses();
  return local_addresses_;
}

std::string TIdStack::SocketErrorText(int code) {
  const char* text = "";
  switch (code) {
    case 10004: text = "Interrupted system call."; break;
    case 10009: text = "Bad file number."; break;
    case 10013: text = "Access denied."; break;
    case 10014: text = "Bad address."; break;
    case 10022: text = "Invalid argument."; break;
    case 10024: text = "Too many open files."; break;
    case 10035: text = "Operation would block. "; break;
    case 10036: text = "Operation now in progress."; break;
    case 10037: text = "Operation already in progress."; break;
    case 10038: text = "Socket operation on non-socket."; break;
    case 10039: text = "Destination address required."; break;
    case 10040: text = "Message too long."; break;
    case 10041: text = "Protocol wrong type for socket."; break;
    case 10042: text = "Bad protocol option."; break;
    case 10043: text = "Protocol not supported."; break;
    case 10044: text = "Socket type not supported."; break;
    case 10045: text = "Operation not supported on socket."; break;
    case 10046: text = "Protocol family not supported."; break;
    case 10047: text = "Address family not supported by protocol family."; break;
    case 10048: text = "Address already in use."; break;
    case 10049: text = "Cannot assign requested address."; break;
    case 10050: text = "Network is down."; break;
    case 10051: text = "Network is unreachable."; break;
    case 10052: text = "Net dropped connection or reset."; break;
    case 10053: text = "Software caused connection abort."; break;
    case 10054: text = "Connection reset by peer."; break;
    case 10055: text = "No buffer space available."; break;
    case 10056: text = "Socket is already connected."; break;
    case 10057: text = "Socket is not connected."; break;
    case 10058: text = "Cannot send or receive after socket is closed."; break;
    case 10059: text = "Too many references, cannot splice."; break;
    case 10060: text = "Connection timed out."; break;
    case 10061: text = "Connection refused."; break;
    case 10062: text = "Too many levels of symbolic links."; break;
    case 10063: text = "File name too long."; break;
    case 10064: text = "Host is down."; break;
    case 10065: text = "No route to host."; break;
    case 10066: text = "Directory not empty"; break;
    default: break;
  }
  return Format("Socket Error # %d\r\n%s", {TVarRec(code), TVarRec(text)});
}

bool TIdStack::CheckSocketResult(int result) { return CheckSocketResult(result, {}); }

bool TIdStack::CheckSocketResult(int result, std::initializer_list<int> ignore) {
  if (result != Id_SOCKET_ERROR) return false;
  last_error_ = LastSocketError();
  for (int code : ignore)
    if (code == last_error_) return true;
  ThrowSocketError(last_error_);
}

void TIdStack::ThrowSocketError(int code) { throw EIdSocketError(code, SocketErrorText(code)); }

TIdStackSocketHandle TIdStack::AllocateSocketHandle(int type, int protocol) {
  TIdStackSocketHandle s = NewSocket(WS_AF_INET, type, protocol);
  if (s == Id_INVALID_SOCKET) throw EIdInvalidSocket("Cannot allocate socket.");
  return s;
}

std::string TIdStack::ResolveHostAddress(const std::string& host) {
  if (UpperCase(host) == "LOCALHOST") return "127.0.0.1";
  if (IsDottedAddress(host)) return host;
  return HostNameToAddress(host);
}

bool TIdStack::IsDottedAddress(const std::string& text) {
  std::string rest = text;
  for (int i = 0; i < 4; ++i) {
    std::string part = i < 3 ? FetchToken(rest, ".") : rest;
    int v;
    if (part.empty() || !TryStrToInt(part, v) || v < 0 || v > 255) return false;
  }
  return true;
}

uint32_t TIdStack::TextToAddress(const std::string& text) {
  uint8_t bytes[4];
  TextToAddressBytes(text, bytes);
  uint32_t a;
  std::memcpy(&a, bytes, 4);
  return a;
}

// ---------------------------------------------------------------------------------------
// TIdStackWindows.

namespace {
using namespace idws;
}

TIdStackWindows::TIdStackWindows() {
  if (!idws::g_started.load()) {
    WSADATA data;
    if (StartSocketLibrary(0x0202, &data) != 0) throw EIdStackInitializationFailed("Winsock Initialization Error.");
    idws::g_started.store(true);
  }
}

void TIdStackWindows::BuildAddress(SOCKADDR_IN& address, int family, const std::string& ip, int port) {
  std::memset(&address, 0, sizeof(address));
  address.sin_family = static_cast<SHORT>(family);
  address.sin_port = HostToNetShort(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = ip.empty() ? 0 : TextToAddress(ip);
}

void TIdStackWindows::FillLocalAddresses() {
  local_addresses_.clear();
  const std::string name = LocalHostName();
  HOSTENT* h = Call<HOSTENT* (*)(const char*)>(rGetHostByName)(name.c_str());
  if (h == nullptr) CheckSocketResult(Id_SOCKET_ERROR);
  for (char** p = h->h_addr_list; p != nullptr && *p != nullptr; ++p)
    local_addresses_.push_back(AddressBytesToText(reinterpret_cast<const uint8_t*>(*p)));
}

TIdStackSocketHandle TIdStackWindows::AcceptConnection(TIdStackSocketHandle socket, std::string& peer_ip,
                                                       int& peer_port) {
  SOCKADDR_IN address{};
  int length = sizeof(address);
  TIdStackSocketHandle s =
      Call<SOCKET (*)(SOCKET, SOCKADDR*, int*)>(rAccept)(socket, reinterpret_cast<SOCKADDR*>(&address), &length);
  if (s != Id_INVALID_SOCKET) {
    peer_ip = AddressBytesToText(reinterpret_cast<const uint8_t*>(&address.sin_addr.s_addr));
    peer_port = NetToHostShort(address.sin_port);
  }
  return s;
}

int TIdStackWindows::BindSocket(TIdStackSocketHandle socket, int family, const std::string& ip, int port) {
  SOCKADDR_IN address;
  BuildAddress(address, family, ip, port);
  return Call<int (*)(SOCKET, const SOCKADDR*, int)>(rBind)(socket, reinterpret_cast<SOCKADDR*>(&address),
                                                            sizeof(address));
}

int TIdStackWindows::CloseSocketHandle(TIdStackSocketHandle socket) {
  return Call<int (*)(SOCKET)>(rCloseSocket)(socket);
}

int TIdStackWindows::ConnectSocket(TIdStackSocketHandle socket, int family, const std::string& ip, int port) {
  SOCKADDR_IN address;
  BuildAddress(address, family, ip, port);
  return Call<int (*)(SOCKET, const SOCKADDR*, int)>(rConnect)(socket, reinterpret_cast<SOCKADDR*>(&address),
                                                               sizeof(address));
}

std::string TIdStackWindows::HostNameToAddress(const std::string& name) {
  HOSTENT* h = Call<HOSTENT* (*)(const char*)>(rGetHostByName)(name.c_str());
  if (h == nullptr || h->h_addr_list == nullptr || h->h_addr_list[0] == nullptr) CheckSocketResult(Id_SOCKET_ERROR);
  return AddressBytesToText(reinterpret_cast<const uint8_t*>(h->h_addr_list[0]));
}

std::string TIdStackWindows::LocalHostName() {
  char buffer[251] = {0};
  Call<int (*)(char*, int)>(rGetHostName)(buffer, 250);
  return std::string(buffer);
}

std::string TIdStackWindows::AddressToHostName(const std::string& address) {
  ULONG a = Call<ULONG (*)(const char*)>(rInetAddr)(address.c_str());
  HOSTENT* h = Call<HOSTENT* (*)(const char*, int, int)>(rGetHostByAddr)(reinterpret_cast<const char*>(&a), 4, 2);
  if (h == nullptr) CheckSocketResult(Id_SOCKET_ERROR);
  return h->h_name ? h->h_name : "";
}

int TIdStackWindows::ServiceNameToPort(const std::string& name) {
  SERVENT* s = Call<SERVENT* (*)(const char*, const char*)>(rGetServByName)(name.c_str(), nullptr);
  if (s != nullptr) return NetToHostShort(static_cast<uint16_t>(s->s_port));
  int port;
  if (!TryStrToInt(name, port)) throw EIdInvalidServiceName(Format("%s is not a valid service.", {TVarRec(name)}));
  return port;
}

std::vector<std::string> TIdStackWindows::PortToServiceNames(int port) {
  std::vector<std::string> names;
  try {
    SERVENT* s =
        Call<SERVENT* (*)(int, const char*)>(rGetServByPort)(HostToNetShort(static_cast<uint16_t>(port)), nullptr);
    if (s != nullptr) {
      names.emplace_back(s->s_name ? s->s_name : "");
      for (char** a = s->s_aliases; a != nullptr && *a != nullptr; ++a) names.emplace_back(*a);
    }
  } catch (const Exception&) {
    names.clear();  // a failure while filling gives an empty list
  }
  return names;
}

uint16_t TIdStackWindows::HostToNetShort(uint16_t v) { return Call<USHORT (*)(USHORT)>(rHtons)(v); }
uint16_t TIdStackWindows::NetToHostShort(uint16_t v) { return Call<USHORT (*)(USHORT)>(rNtohs)(v); }
uint32_t TIdStackWindows::HostToNetLong(uint32_t v) { return Call<ULONG (*)(ULONG)>(rHtonl)(v); }
uint32_t TIdStackWindows::NetToHostLong(uint32_t v) { return Call<ULONG (*)(ULONG)>(rNtohl)(v); }

int TIdStackWindows::ListenSocket(TIdStackSocketHandle socket, int backlog) {
  return Call<int (*)(SOCKET, int)>(rListen)(socket, backlog);
}

int TIdStackWindows::ReceiveData(TIdStackSocketHandle socket, void* buffer, int length, int flags) {
  return Call<int (*)(SOCKET, char*, int, int)>(rRecv)(socket, static_cast<char*>(buffer), length, flags);
}

int TIdStackWindows::ReceiveDatagram(TIdStackSocketHandle socket, void* buffer, int length, int flags,
                                     std::string& peer_ip, int& peer_port) {
  SOCKADDR_IN address{};
  int alen = sizeof(address);
  int r = Call<int (*)(SOCKET, char*, int, int, SOCKADDR*, int*)>(rRecvFrom)(
      socket, static_cast<char*>(buffer), length, flags, reinterpret_cast<SOCKADDR*>(&address), &alen);
  peer_ip = AddressBytesToText(reinterpret_cast<const uint8_t*>(&address.sin_addr.s_addr));
  peer_port = NetToHostShort(address.sin_port);
  return r;
}

int TIdStackWindows::SelectSockets(TIdSocketList* read, TIdSocketList* write, int timeout_ms, TIdSocketList* error) {
  KvFdSet sets[3];
  TIdSocketList* lists[3] = {read, write, error};
  for (int k = 0; k < 3; ++k) {
    sets[k].fd_count = 0;
    if (lists[k] == nullptr) continue;
    if (lists[k]->Count() > WS_FD_SETSIZE) throw EIdStackSetSizeExceeded("Set Size Exceeded.");
    for (int i = 0; i < lists[k]->Count(); ++i) sets[k].fd_array[sets[k].fd_count++] = lists[k]->Items(i);
  }
  TIMEVAL tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  int r = Call<int (*)(int, KvFdSet*, KvFdSet*, KvFdSet*, const TIMEVAL*)>(rSelect)(
      0, read ? &sets[0] : nullptr, write ? &sets[1] : nullptr, error ? &sets[2] : nullptr,
      timeout_ms == -2 ? nullptr : &tv);
  for (int k = 0; k < 3; ++k) {
    if (lists[k] == nullptr) continue;
    lists[k]->Clear();
    for (UINT i = 0; i < sets[k].fd_count; ++i) lists[k]->Add(sets[k].fd_array[i]);
  }
  return r;
}

int TIdStackWindows::SendData(TIdStackSocketHandle socket, const void* buffer, int length, int flags) {
  return Call<int (*)(SOCKET, const char*, int, int)>(rSend)(socket, static_cast<const char*>(buffer), length, flags);
}

int TIdStackWindows::SendDatagram(TIdStackSocketHandle socket, const void* buffer, int length, int flags,
                                  const std::string& ip, int port) {
  SOCKADDR_IN address;
  BuildAddress(address, WS_AF_INET, ip, port);
  return Call<int (*)(SOCKET, const char*, int, int, const SOCKADDR*, int)>(rSendTo)(
      socket, static_cast<const char*>(buffer), length, flags, reinterpret_cast<SOCKADDR*>(&address), sizeof(address));
}

int TIdStackWindows::SetSocketOption(TIdStackSocketHandle socket, int level, int option, const void* value,
                                     int length) {
  return Call<int (*)(SOCKET, int, int, const char*, int)>(rSetSockOpt)(socket, level, option,
                                                                        static_cast<const char*>(value), length);
}

int TIdStackWindows::GetSocketOption(TIdStackSocketHandle socket, int level, int option, void* value, int* length) {
  return Call<int (*)(SOCKET, int, int, char*, int*)>(rGetSockOpt)(socket, level, option, static_cast<char*>(value),
                                                                   length);
}

TIdStackSocketHandle TIdStackWindows::NewSocket(int family, int type, int protocol) {
  return Call<SOCKET (*)(int, int, int)>(rSocket)(family, type, protocol);
}

int TIdStackWindows::ShutdownSocket(TIdStackSocketHandle socket, int how) {
  return Call<int (*)(SOCKET, int)>(rShutdown)(socket, how);
}

std::string TIdStackWindows::SocketErrorText(int code) {
  if (code == 11001) return Format("Socket Error # %d\r\n%s", {TVarRec(code), TVarRec("Host not found.")});
  return TIdStack::SocketErrorText(code);
}

int TIdStackWindows::LastSocketError() { return Call<int (*)()>(rWSAGetLastError)(); }

void TIdStackWindows::PeerAddress(TIdStackSocketHandle socket, int& family, int& port, std::string& ip) {
  SOCKADDR_IN address{};
  int length = sizeof(address);
  CheckSocketResult(
      Call<int (*)(SOCKET, SOCKADDR*, int*)>(rGetPeerName)(socket, reinterpret_cast<SOCKADDR*>(&address), &length));
  family = address.sin_family;
  port = NetToHostShort(address.sin_port);
  ip = AddressBytesToText(reinterpret_cast<const uint8_t*>(&address.sin_addr.s_addr));
}

void TIdStackWindows::LocalSocketAddress(TIdStackSocketHandle socket, int& family, int& port, std::string& ip) {
  SOCKADDR_IN address{};
  int length = sizeof(address);
  CheckSocketResult(
      Call<int (*)(SOCKET, SOCKADDR*, int*)>(rGetSockName)(socket, reinterpret_cast<SOCKADDR*>(&address), &length));
  family = address.sin_family;
  port = NetToHostShort(address.sin_port);
  ip = AddressBytesToText(reinterpret_cast<const uint8_t*>(&address.sin_addr.s_addr));
}

std::string TIdStackWindows::AddressBytesToText(const uint8_t b[4]) {
  return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." + std::to_string(b[3]);
}

void TIdStackWindows::TextToAddressBytes(const std::string& text, uint8_t bytes[4]) {
  std::string rest = text;
  for (int i = 0; i < 4; ++i) {
    std::string part = i < 3 ? FetchToken(rest, ".") : rest;
    bytes[i] = static_cast<uint8_t>(StrToInt(part));
  }
}
