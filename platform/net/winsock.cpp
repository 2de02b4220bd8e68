// "WS2_32.DLL" over POSIX sockets.
//
// A SOCKET is the file descriptor itself. Every failure stores a WSA error code as the
// thread's last error (WSAGetLastError reads it back). Sends never raise SIGPIPE, select
// is done with poll so descriptors above 1023 work, and names resolve through the C
// library's resolver (IPv4 only, as the callers expect).
#include "platform/net/winsock.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "platform/base/error.h"
#include "platform/base/module.h"

namespace {

std::atomic<LONG> g_started{0};
std::atomic<LONG> g_startup_calls{0};
std::atomic<LONG> g_cleanup_calls{0};

int ErrnoToWsa(int e) {
  switch (e) {
    case EINTR: return WSAEINTR;
    case EBADF: return WSAENOTSOCK;
    case EACCES:
    case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE:
    case ENFILE: return WSAEMFILE;
    case EAGAIN: return WSAEWOULDBLOCK;
    case EINPROGRESS: return WSAEWOULDBLOCK;  // a non-blocking connect reports "would block"
    case EALREADY: return WSAEALREADY;
    case ENOTSOCK: return WSAENOTSOCK;
    case EDESTADDRREQ: return WSAEDESTADDRREQ;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTOTYPE: return WSAEPROTOTYPE;
    case ENOPROTOOPT: return WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EPFNOSUPPORT: return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ENETRESET: return WSAENETRESET;
    case ECONNABORTED: return WSAECONNABORTED;
    case ECONNRESET: return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case ESHUTDOWN:
    case EPIPE: return WSAESHUTDOWN;
    case ETOOMANYREFS: return WSAETOOMANYREFS;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case ELOOP: return WSAELOOP;
    case ENAMETOOLONG: return WSAENAMETOOLONG;
    case EHOSTDOWN: return WSAEHOSTDOWN;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    case ENOTEMPTY: return WSAENOTEMPTY;
    default: return WSAEINVAL;
  }
}

int Fail(int wsa_code) {
  SetLastError(static_cast<DWORD>(wsa_code));
  return SOCKET_ERROR;
}

int FailErrno() { return Fail(ErrnoToWsa(errno)); }

bool Started() {
  if (g_started.load() > 0) return true;
  SetLastError(WSANOTINITIALISED);
  return false;
}

// A SOCKET that cannot be a descriptor is "not a socket".
bool ToFd(SOCKET s, int* fd) {
  if (s == INVALID_SOCKET || s > static_cast<SOCKET>(INT_MAX)) {
    SetLastError(WSAENOTSOCK);
    return false;
  }
  *fd = static_cast<int>(s);
  return true;
}

bool ToSockAddr(const SOCKADDR* address, int length, sockaddr_in* out) {
  if (address == nullptr || length < static_cast<int>(sizeof(SOCKADDR_IN))) {
    SetLastError(WSAEFAULT);
    return false;
  }
  const auto* in = reinterpret_cast<const SOCKADDR_IN*>(address);
  if (in->sin_family != WS_AF_INET) {
    SetLastError(WSAEAFNOSUPPORT);
    return false;
  }
  std::memset(out, 0, sizeof(*out));
  out->sin_family = AF_INET;
  out->sin_port = in->sin_port;
  out->sin_addr.s_addr = in->sin_addr.s_addr;
  return true;
}

bool FromSockAddr(const sockaddr_in& in, SOCKADDR* address, int* length) {
  if (address == nullptr || length == nullptr || *length < static_cast<int>(sizeof(SOCKADDR_IN))) {
    SetLastError(WSAEFAULT);
    return false;
  }
  auto* out = reinterpret_cast<SOCKADDR_IN*>(address);
  std::memset(out, 0, sizeof(*out));
  out->sin_family = WS_AF_INET;
  out->sin_port = in.sin_port;
  out->sin_addr.s_addr = in.sin_addr.s_addr;
  *length = sizeof(SOCKADDR_IN);
  return true;
}

int TranslateFlags(int flags) {
  int out = 0;
  if (flags & WS_MSG_OOB) out |= MSG_OOB;
  if (flags & WS_MSG_PEEK) out |= MSG_PEEK;
  return out;
}

// Socket options: the platform's (level, option) pairs and how their values are laid out.
enum class OptKind { Int, Timeout, Linger };
struct OptionMap {
  int ws_level, ws_option, level, option;
  OptKind kind;
};
const OptionMap kOptions[] = {
    {WS_SOL_SOCKET, WS_SO_REUSEADDR, SOL_SOCKET, SO_REUSEADDR, OptKind::Int},
    {WS_SOL_SOCKET, WS_SO_KEEPALIVE, SOL_SOCKET, SO_KEEPALIVE, OptKind::Int},
    {WS_SOL_SOCKET, WS_SO_BROADCAST, SOL_SOCKET, SO_BROADCAST, OptKind::Int},
    {WS_SOL_SOCKET, WS_SO_SNDBUF, SOL_SOCKET, SO_SNDBUF, OptKind::Int},
    {WS_SOL_SOCKET, WS_SO_RCVBUF, SOL_SOCKET, SO_RCVBUF, OptKind::Int},
    {WS_SOL_SOCKET, WS_SO_RCVLOWAT, SOL_SOCKET, SO_RCVLOWAT, OptKind::Int},
    {WS_SOL_SOCKET, WS_SO_ERROR, SOL_SOCKET, SO_ERROR, OptKind::Int},
    {WS_SOL_SOCKET, WS_SO_TYPE, SOL_SOCKET, SO_TYPE, OptKind::Int},
    {WS_SOL_SOCKET, WS_SO_SNDTIMEO, SOL_SOCKET, SO_SNDTIMEO, OptKind::Timeout},
    {WS_SOL_SOCKET, WS_SO_RCVTIMEO, SOL_SOCKET, SO_RCVTIMEO, OptKind::Timeout},
    {WS_SOL_SOCKET, WS_SO_LINGER, SOL_SOCKET, SO_LINGER, OptKind::Linger},
    {WS_IPPROTO_TCP, WS_TCP_NODELAY, IPPROTO_TCP, TCP_NODELAY, OptKind::Int},
};

const OptionMap* FindOption(int level, int option) {
  for (const auto& o : kOptions)
    if (o.ws_level == level && o.ws_option == option) return &o;
  return nullptr;
}

// Per-thread answers of the database functions, as the platform keeps them.
struct HostAnswer {
  std::string name;
  std::vector<std::string> aliases;
  std::vector<uint32_t> addresses;
  std::vector<char*> alias_ptrs;
  std::vector<char*> address_ptrs;
  HOSTENT entry{};
};
thread_local HostAnswer t_host;
thread_local char t_ntoa[16];

HOSTENT* FillHost(const std::string& name, const std::vector<uint32_t>& addresses) {
  HostAnswer& h = t_host;
  h.name = name;
  h.aliases.clear();
  h.addresses = addresses;
  h.alias_ptrs.assign(1, nullptr);
  h.address_ptrs.clear();
  for (auto& a : h.addresses) h.address_ptrs.push_back(reinterpret_cast<char*>(&a));
  h.address_ptrs.push_back(nullptr);
  h.entry.h_name = h.name.data();
  h.entry.h_aliases = h.alias_ptrs.data();
  h.entry.h_addrtype = WS_AF_INET;
  h.entry.h_length = 4;
  h.entry.h_addr_list = h.address_ptrs.data();
  return &h.entry;
}

struct ServAnswer {
  std::string name, proto;
  std::vector<std::string> aliases;
  std::vector<char*> alias_ptrs;
  SERVENT entry{};
};
thread_local ServAnswer t_serv;

SERVENT* FillServ(const servent* s) {
  ServAnswer& a = t_serv;
  a.name = s->s_name ? s->s_name : "";
  a.proto = s->s_proto ? s->s_proto : "";
  a.aliases.clear();
  for (char** p = s->s_aliases; p && *p; ++p) a.aliases.emplace_back(*p);
  a.alias_ptrs.clear();
  for (auto& x : a.aliases) a.alias_ptrs.push_back(x.data());
  a.alias_ptrs.push_back(nullptr);
  a.entry.s_name = a.name.data();
  a.entry.s_aliases = a.alias_ptrs.data();
  a.entry.s_port = static_cast<SHORT>(s->s_port);
  a.entry.s_proto = a.proto.data();
  return &a.entry;
}

struct ProtoAnswer {
  std::string name;
  char* no_alias[1] = {nullptr};
  PROTOENT entry{};
};
thread_local ProtoAnswer t_proto;

PROTOENT* FillProto(const char* name, int number) {
  t_proto.name = name;
  t_proto.entry.p_name = t_proto.name.data();
  t_proto.entry.p_aliases = t_proto.no_alias;
  t_proto.entry.p_proto = static_cast<SHORT>(number);
  return &t_proto.entry;
}

}  // namespace

extern "C" {

int kv_ws_WSAStartup(WORD version, LPWSADATA data) {
  g_startup_calls.fetch_add(1);
  if (data == nullptr) return WSAEFAULT;
  const BYTE major = LOBYTE(version), minor = HIBYTE(version);
  if (major < 1 || (major == 1 && minor < 1)) return WSAVERNOTSUPPORTED;
  std::memset(data, 0, sizeof(*data));
  data->wVersion = (major > 2 || (major == 2 && minor >= 2)) ? MAKEWORD(2, 2) : version;
  data->wHighVersion = MAKEWORD(2, 2);
  std::strcpy(data->szDescription, "WinSock 2.0");
  std::strcpy(data->szSystemStatus, "Running");
  data->iMaxSockets = 0;
  data->iMaxUdpDg = 0;
  g_started.fetch_add(1);
  return 0;
}

int kv_ws_WSACleanup(void) {
  g_cleanup_calls.fetch_add(1);
  LONG current = g_started.load();
  while (current > 0 && !g_started.compare_exchange_weak(current, current - 1)) {
  }
  if (current <= 0) return Fail(WSANOTINITIALISED);
  return 0;
}

int kv_ws_WSAGetLastError(void) { return static_cast<int>(GetLastError()); }
void kv_ws_WSASetLastError(int error) { SetLastError(static_cast<DWORD>(error)); }

SOCKET kv_ws_socket(int family, int type, int protocol) {
  if (!Started()) return INVALID_SOCKET;
  if (family != WS_AF_INET) {
    SetLastError(WSAEAFNOSUPPORT);
    return INVALID_SOCKET;
  }
  int ltype = type == WS_SOCK_STREAM ? SOCK_STREAM : type == WS_SOCK_DGRAM ? SOCK_DGRAM : -1;
  if (ltype < 0) {
    SetLastError(WSAESOCKTNOSUPPORT);
    return INVALID_SOCKET;
  }
  int fd = ::socket(AF_INET, ltype | SOCK_CLOEXEC, protocol);
  if (fd < 0) {
    FailErrno();
    return INVALID_SOCKET;
  }
  return static_cast<SOCKET>(fd);
}

int kv_ws_closesocket(SOCKET s) {
  int fd;
  if (!Started() || !ToFd(s, &fd)) return SOCKET_ERROR;
  if (::close(fd) != 0) return FailErrno();
  return 0;
}

int kv_ws_shutdown(SOCKET s, int how) {
  int fd;
  if (!Started() || !ToFd(s, &fd)) return SOCKET_ERROR;
  int lhow = how == WS_SD_RECEIVE ? SHUT_RD : how == WS_SD_SEND ? SHUT_WR : how == WS_SD_BOTH ? SHUT_RDWR : -1;
  if (lhow < 0) return Fail(WSAEINVAL);
  if (::shutdown(fd, lhow) != 0) return FailErrno();
  return 0;
}

int kv_ws_bind(SOCKET s, const SOCKADDR* address, int length) {
  int fd;
  sockaddr_in in;
  if (!Started() || !ToFd(s, &fd) || !ToSockAddr(address, length, &in)) return SOCKET_ERROR;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&in), sizeof(in)) != 0) return FailErrno();
  return 0;
}

int kv_ws_connect(SOCKET s, const SOCKADDR* address, int length) {
  int fd;
  sockaddr_in in;
  if (!Started() || !ToFd(s, &fd) || !ToSockAddr(address, length, &in)) return SOCKET_ERROR;
  int r;
  do {
    r = ::connect(fd, reinterpret_cast<sockaddr*>(&in), sizeof(in));
  } while (r != 0 && errno == EINTR);
  if (r != 0) return FailErrno();
  return 0;
}

int kv_ws_listen(SOCKET s, int backlog) {
  int fd;
  if (!Started() || !ToFd(s, &fd)) return SOCKET_ERROR;
  if (::listen(fd, backlog) != 0) return FailErrno();
  return 0;
}

SOCKET kv_ws_accept(SOCKET s, SOCKADDR* address, int* length) {
  int fd;
  if (!Started() || !ToFd(s, &fd)) return INVALID_SOCKET;
  if (address != nullptr && (length == nullptr || *length < static_cast<int>(sizeof(SOCKADDR_IN)))) {
    SetLastError(WSAEFAULT);
    return INVALID_SOCKET;
  }
  sockaddr_in in{};
  socklen_t len = sizeof(in);
  int r;
  do {
    r = ::accept4(fd, reinterpret_cast<sockaddr*>(&in), &len, SOCK_CLOEXEC);
  } while (r < 0 && errno == EINTR);
  if (r < 0) {
    FailErrno();
    return INVALID_SOCKET;
  }
  if (address != nullptr) FromSockAddr(in, address, length);
  return static_cast<SOCKET>(r);
}

int kv_ws_recv(SOCKET s, char* buffer, int length, int flags) {
  int fd;
  if (!Started() || !ToFd(s, &fd)) return SOCKET_ERROR;
  if (length < 0 || (buffer == nullptr && length > 0)) return Fail(WSAEFAULT);
  ssize_t r;
  do {
    r = ::recv(fd, buffer, static_cast<size_t>(length), TranslateFlags(flags));
  } while (r < 0 && errno == EINTR);
  if (r < 0) return FailErrno();
  return static_cast<int>(r);
}

int kv_ws_send(SOCKET s, const char* buffer, int length, int flags) {
  int fd;
  if (!Started() || !ToFd(s, &fd)) return SOCKET_ERROR;
  if (length < 0 || (buffer == nullptr && length > 0)) return Fail(WSAEFAULT);
  ssize_t r;
  do {
    r = ::send(fd, buffer, static_cast<size_t>(length), TranslateFlags(flags) | MSG_NOSIGNAL);
  } while (r < 0 && errno == EINTR);
  if (r < 0) return FailErrno();
  return static_cast<int>(r);
}

int kv_ws_recvfrom(SOCKET s, char* buffer, int length, int flags, SOCKADDR* from, int* from_length) {
  int fd;
  if (!Started() || !ToFd(s, &fd)) return SOCKET_ERROR;
  if (length < 0 || (buffer == nullptr && length > 0)) return Fail(WSAEFAULT);
  if (from != nullptr && (from_length == nullptr || *from_length < static_cast<int>(sizeof(SOCKADDR_IN))))
    return Fail(WSAEFAULT);
  sockaddr_in in{};
  socklen_t len = sizeof(in);
  ssize_t r;
  do {
    r = ::recvfrom(fd, buffer, static_cast<size_t>(length), TranslateFlags(flags), reinterpret_cast<sockaddr*>(&in),
                   &len);
  } while (r < 0 && errno == EINTR);
  if (r < 0) return FailErrno();
  if (from != nullptr) FromSockAddr(in, from, from_length);
  return static_cast<int>(r);
}

int kv_ws_sendto(SOCKET s, const char* buffer, int length, int flags, const SOCKADDR* to, int to_length) {
  int fd;
  sockaddr_in in;
  if (!Started() || !ToFd(s, &fd) || !ToSockAddr(to, to_length, &in)) return SOCKET_ERROR;
  if (length < 0 || (buffer == nullptr && length > 0)) return Fail(WSAEFAULT);
  ssize_t r;
  do {
    r = ::sendto(fd, buffer, static_cast<size_t>(length), TranslateFlags(flags) | MSG_NOSIGNAL,
                 reinterpret_cast<sockaddr*>(&in), sizeof(in));
  } while (r < 0 && errno == EINTR);
  if (r < 0) return FailErrno();
  return static_cast<int>(r);
}

int kv_ws_select(int /*nfds: ignored, as on the platform*/, KvFdSet* readfds, KvFdSet* writefds, KvFdSet* exceptfds,
                 const TIMEVAL* timeout) {
  if (!Started()) return SOCKET_ERROR;
  KvFdSet* sets[3] = {readfds, writefds, exceptfds};
  const short wanted[3] = {POLLIN, POLLOUT, POLLPRI};
  std::vector<pollfd> fds;
  std::vector<std::pair<int, UINT>> origin;  // (set, index) of each poll entry
  for (int k = 0; k < 3; ++k) {
    if (sets[k] == nullptr) continue;
    if (sets[k]->fd_count > WS_FD_SETSIZE) return Fail(WSAEINVAL);
    for (UINT i = 0; i < sets[k]->fd_count; ++i) {
      int fd;
      if (!ToFd(sets[k]->fd_array[i], &fd)) return SOCKET_ERROR;
      fds.push_back(pollfd{fd, wanted[k], 0});
      origin.emplace_back(k, i);
    }
  }
  if (fds.empty()) return Fail(WSAEINVAL);  // the platform refuses a select on nothing
  int ms = -1;
  if (timeout != nullptr) {
    if (timeout->tv_sec < 0 || timeout->tv_usec < 0) return Fail(WSAEINVAL);
    long long total = static_cast<long long>(timeout->tv_sec) * 1000 + (timeout->tv_usec + 999) / 1000;
    ms = total > INT_MAX ? INT_MAX : static_cast<int>(total);
  }
  int r;
  do {
    r = ::poll(fds.data(), fds.size(), ms);
  } while (r < 0 && errno == EINTR);
  if (r < 0) return FailErrno();
  for (const auto& f : fds)
    if (f.revents & POLLNVAL) return Fail(WSAENOTSOCK);
  // Keep in each set only the ready descriptors; count each (set, socket) pair once.
  KvFdSet result[3];
  for (auto& x : result) x.fd_count = 0;
  int ready = 0;
  for (size_t n = 0; n < fds.size(); ++n) {
    const int k = origin[n].first;
    short ev = fds[n].revents;
    bool hit = k == 0   ? (ev & (POLLIN | POLLHUP | POLLERR)) != 0
               : k == 1 ? (ev & (POLLOUT | POLLERR | POLLHUP)) != 0
                        : (ev & POLLPRI) != 0;
    if (hit) {
      result[k].fd_array[result[k].fd_count++] = sets[k]->fd_array[origin[n].second];
      ++ready;
    }
  }
  for (int k = 0; k < 3; ++k)
    if (sets[k] != nullptr) *sets[k] = result[k];
  return ready;
}

int kv_ws___WSAFDIsSet(SOCKET s, KvFdSet* set) {
  if (set == nullptr) return 0;
  for (UINT i = 0; i < set->fd_count && i < WS_FD_SETSIZE; ++i)
    if (set->fd_array[i] == s) return 1;
  return 0;
}

int kv_ws_setsockopt(SOCKET s, int level, int option, const char* value, int length) {
  int fd;
  if (!Started() || !ToFd(s, &fd)) return SOCKET_ERROR;
  const OptionMap* o = FindOption(level, option);
  if (o == nullptr) return Fail(WSAENOPROTOOPT);
  if (value == nullptr) return Fail(WSAEFAULT);
  int r;
  switch (o->kind) {
    case OptKind::Int: {
      if (length < 1) return Fail(WSAEFAULT);
      int v = 0;
      std::memcpy(&v, value, length >= 4 ? 4 : 1);  // a one-byte BOOL is accepted as well
      if (length < 4) v = static_cast<unsigned char>(value[0]);
      r = ::setsockopt(fd, o->level, o->option, &v, sizeof(v));
      break;
    }
    case OptKind::Timeout: {
      if (length < 4) return Fail(WSAEFAULT);
      DWORD ms;
      std::memcpy(&ms, value, 4);
      timeval tv{static_cast<time_t>(ms / 1000), static_cast<suseconds_t>((ms % 1000) * 1000)};
      r = ::setsockopt(fd, o->level, o->option, &tv, sizeof(tv));
      break;
    }
    case OptKind::Linger: {
      if (length < static_cast<int>(sizeof(LINGER))) return Fail(WSAEFAULT);
      LINGER wl;
      std::memcpy(&wl, value, sizeof(wl));
      linger l{wl.l_onoff ? 1 : 0, wl.l_linger};
      r = ::setsockopt(fd, o->level, o->option, &l, sizeof(l));
      break;
    }
    default: return Fail(WSAENOPROTOOPT);
  }
  if (r != 0) return FailErrno();
  return 0;
}

int kv_ws_getsockopt(SOCKET s, int level, int option, char* value, int* length) {
  int fd;
  if (!Started() || !ToFd(s, &fd)) return SOCKET_ERROR;
  const OptionMap* o = FindOption(level, option);
  if (o == nullptr) return Fail(WSAENOPROTOOPT);
  if (value == nullptr || length == nullptr) return Fail(WSAEFAULT);
  switch (o->kind) {
    case OptKind::Int: {
      if (*length < 4) return Fail(WSAEFAULT);
      int v = 0;
      socklen_t len = sizeof(v);
      if (::getsockopt(fd, o->level, o->option, &v, &len) != 0) return FailErrno();
      if (o->option == SO_ERROR && v != 0) v = ErrnoToWsa(v);
      if (o->option == SO_TYPE) v = v == SOCK_STREAM ? WS_SOCK_STREAM : WS_SOCK_DGRAM;
      std::memcpy(value, &v, 4);
      *length = 4;
      return 0;
    }
    case OptKind::Timeout: {
      if (*length < 4) return Fail(WSAEFAULT);
      timeval tv{};
      socklen_t len = sizeof(tv);
      if (::getsockopt(fd, o->level, o->option, &tv, &len) != 0) return FailErrno();
      DWORD ms = static_cast<DWORD>(tv.tv_sec * 1000 + tv.tv_usec / 1000);
      std::memcpy(value, &ms, 4);
      *length = 4;
      return 0;
    }
    case OptKind::Linger: {
      if (*length < static_cast<int>(sizeof(LINGER))) return Fail(WSAEFAULT);
      linger l{};
      socklen_t len = sizeof(l);
      if (::getsockopt(fd, o->level, o->option, &l, &len) != 0) return FailErrno();
      LINGER wl{static_cast<USHORT>(l.l_onoff ? 1 : 0), static_cast<USHORT>(l.l_linger)};
      std::memcpy(value, &wl, sizeof(wl));
      *length = sizeof(wl);
      return 0;
    }
  }
  return Fail(WSAENOPROTOOPT);
}

int kv_ws_ioctlsocket(SOCKET s, LONG command, ULONG* argument) {
  int fd;
  if (!Started() || !ToFd(s, &fd)) return SOCKET_ERROR;
  if (argument == nullptr) return Fail(WSAEFAULT);
  if (static_cast<uint32_t>(command) == static_cast<uint32_t>(WS_FIONBIO)) {
    int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0) return FailErrno();
    flags = *argument ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    if (::fcntl(fd, F_SETFL, flags) != 0) return FailErrno();
    return 0;
  }
  if (static_cast<uint32_t>(command) == static_cast<uint32_t>(WS_FIONREAD)) {
    int n = 0;
    if (::ioctl(fd, FIONREAD, &n) != 0) return FailErrno();
    *argument = static_cast<ULONG>(n);
    return 0;
  }
  return Fail(WSAEINVAL);
}

int kv_ws_getpeername(SOCKET s, SOCKADDR* address, int* length) {
  int fd;
  if (!Started() || !ToFd(s, &fd)) return SOCKET_ERROR;
  sockaddr_in in{};
  socklen_t len = sizeof(in);
  if (::getpeername(fd, reinterpret_cast<sockaddr*>(&in), &len) != 0) return FailErrno();
  return FromSockAddr(in, address, length) ? 0 : SOCKET_ERROR;
}

int kv_ws_getsockname(SOCKET s, SOCKADDR* address, int* length) {
  int fd;
  if (!Started() || !ToFd(s, &fd)) return SOCKET_ERROR;
  sockaddr_in in{};
  socklen_t len = sizeof(in);
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&in), &len) != 0) return FailErrno();
  return FromSockAddr(in, address, length) ? 0 : SOCKET_ERROR;
}

ULONG kv_ws_htonl(ULONG value) { return htonl(value); }
USHORT kv_ws_htons(USHORT value) { return htons(value); }
ULONG kv_ws_ntohl(ULONG value) { return ntohl(value); }
USHORT kv_ws_ntohs(USHORT value) { return ntohs(value); }

ULONG kv_ws_inet_addr(const char* text) {
  if (text == nullptr) return WS_INADDR_NONE;
  in_addr a;
  if (::inet_aton(text, &a) == 0) return WS_INADDR_NONE;
  return a.s_addr;
}

char* kv_ws_inet_ntoa(IN_ADDR address) {
  in_addr a;
  a.s_addr = address.s_addr;
  ::inet_ntop(AF_INET, &a, t_ntoa, sizeof(t_ntoa));
  return t_ntoa;
}

HOSTENT* kv_ws_gethostbyname(const char* name) {
  if (!Started()) return nullptr;
  std::string host = name ? name : "";
  if (host.empty()) {
    char local[256] = {0};
    ::gethostname(local, sizeof(local) - 1);
    host = local;
  }
  in_addr direct;
  if (::inet_pton(AF_INET, host.c_str(), &direct) == 1) return FillHost(host, {direct.s_addr});
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_CANONNAME;
  addrinfo* answer = nullptr;
  int r = ::getaddrinfo(host.c_str(), nullptr, &hints, &answer);
  if (r != 0) {
    SetLastError(r == EAI_AGAIN ? WSATRY_AGAIN
                 : (r == EAI_NONAME
#ifdef EAI_NODATA
                    || r == EAI_NODATA
#endif
                    )
                     ? WSAHOST_NOT_FOUND
                 : r == EAI_ADDRFAMILY ? WSANO_DATA
                                       : WSANO_RECOVERY);
    return nullptr;
  }
  std::vector<uint32_t> addresses;
  std::string canonical = answer->ai_canonname ? answer->ai_canonname : host;
  for (addrinfo* p = answer; p != nullptr; p = p->ai_next) {
    uint32_t a = reinterpret_cast<sockaddr_in*>(p->ai_addr)->sin_addr.s_addr;
    bool seen = false;
    for (uint32_t x : addresses) seen = seen || x == a;
    if (!seen) addresses.push_back(a);
  }
  ::freeaddrinfo(answer);
  if (addresses.empty()) {
    SetLastError(WSANO_DATA);
    return nullptr;
  }
  return FillHost(canonical, addresses);
}

HOSTENT* kv_ws_gethostbyaddr(const char* address, int length, int type) {
  if (!Started()) return nullptr;
  if (address == nullptr || length < 4) {
    SetLastError(WSAEFAULT);
    return nullptr;
  }
  if (type != WS_AF_INET) {
    SetLastError(WSAEAFNOSUPPORT);
    return nullptr;
  }
  sockaddr_in in{};
  in.sin_family = AF_INET;
  std::memcpy(&in.sin_addr.s_addr, address, 4);
  char host[NI_MAXHOST];
  if (::getnameinfo(reinterpret_cast<sockaddr*>(&in), sizeof(in), host, sizeof(host), nullptr, 0, NI_NAMEREQD) != 0) {
    SetLastError(WSAHOST_NOT_FOUND);
    return nullptr;
  }
  return FillHost(host, {in.sin_addr.s_addr});
}

int kv_ws_gethostname(char* name, int length) {
  if (!Started()) return SOCKET_ERROR;
  if (name == nullptr || length <= 0) return Fail(WSAEFAULT);
  char local[256] = {0};
  if (::gethostname(local, sizeof(local) - 1) != 0) return FailErrno();
  if (std::strlen(local) + 1 > static_cast<size_t>(length)) return Fail(WSAEFAULT);
  std::strcpy(name, local);
  return 0;
}

SERVENT* kv_ws_getservbyname(const char* name, const char* protocol) {
  if (!Started()) return nullptr;
  if (name == nullptr) {
    SetLastError(WSAEFAULT);
    return nullptr;
  }
  servent result, *found = nullptr;
  char buffer[1024];
  if (::getservbyname_r(name, protocol, &result, buffer, sizeof(buffer), &found) != 0 || found == nullptr) {
    SetLastError(WSANO_DATA);
    return nullptr;
  }
  return FillServ(found);
}

SERVENT* kv_ws_getservbyport(int port, const char* protocol) {
  if (!Started()) return nullptr;
  servent result, *found = nullptr;
  char buffer[1024];
  if (::getservbyport_r(port, protocol, &result, buffer, sizeof(buffer), &found) != 0 || found == nullptr) {
    SetLastError(WSANO_DATA);
    return nullptr;
  }
  return FillServ(found);
}

// The protocol database the programs may ask for: the three IP protocols they use.
PROTOENT* kv_ws_getprotobyname(const char* name) {
  if (!Started()) return nullptr;
  static const struct {
    const char* name;
    int number;
  } kProtocols[] = {{"ip", 0}, {"icmp", 1}, {"tcp", 6}, {"udp", 17}};
  if (name != nullptr)
    for (const auto& p : kProtocols)
      if (strcasecmp(p.name, name) == 0) return FillProto(p.name, p.number);
  SetLastError(WSANO_DATA);
  return nullptr;
}

PROTOENT* kv_ws_getprotobynumber(int number) {
  if (!Started()) return nullptr;
  switch (number) {
    case 0: return FillProto("ip", 0);
    case 1: return FillProto("icmp", 1);
    case 6: return FillProto("tcp", 6);
    case 17: return FillProto("udp", 17);
    default: SetLastError(WSANO_DATA); return nullptr;
  }
}

LONG KvNetStartupCalls(void) { return g_startup_calls.load(); }
LONG KvNetCleanupCalls(void) { return g_cleanup_calls.load(); }

}  // extern "C"

namespace {

#define KV_WS_EXPORT(name) \
  { #name, reinterpret_cast < void*>(&kv_ws_##name) }
const KvExport kExports[] = {
    KV_WS_EXPORT(WSAStartup),
    KV_WS_EXPORT(WSACleanup),
    KV_WS_EXPORT(WSAGetLastError),
    KV_WS_EXPORT(WSASetLastError),
    KV_WS_EXPORT(socket),
    KV_WS_EXPORT(closesocket),
    KV_WS_EXPORT(shutdown),
    KV_WS_EXPORT(bind),
    KV_WS_EXPORT(connect),
    KV_WS_EXPORT(listen),
    KV_WS_EXPORT(accept),
    KV_WS_EXPORT(recv),
    KV_WS_EXPORT(send),
    KV_WS_EXPORT(recvfrom),
    KV_WS_EXPORT(sendto),
    KV_WS_EXPORT(select),
    KV_WS_EXPORT(__WSAFDIsSet),
    KV_WS_EXPORT(setsockopt),
    KV_WS_EXPORT(getsockopt),
    KV_WS_EXPORT(ioctlsocket),
    KV_WS_EXPORT(getpeername),
    KV_WS_EXPORT(getsockname),
    KV_WS_EXPORT(htonl),
    KV_WS_EXPORT(htons),
    KV_WS_EXPORT(ntohl),
    KV_WS_EXPORT(ntohs),
    KV_WS_EXPORT(inet_addr),
    KV_WS_EXPORT(inet_ntoa),
    KV_WS_EXPORT(gethostbyname),
    KV_WS_EXPORT(gethostbyaddr),
    KV_WS_EXPORT(gethostname),
    KV_WS_EXPORT(getservbyname),
    KV_WS_EXPORT(getservbyport),
    KV_WS_EXPORT(getprotobyname),
    KV_WS_EXPORT(getprotobynumber),
};
#undef KV_WS_EXPORT

// The module is there from the moment libplatform.so is loaded.
struct Registration {
  Registration() { KvRegisterBuiltinModule("WS2_32.DLL", kExports, sizeof(kExports) / sizeof(kExports[0])); }
} g_registration;

}  // namespace
