// The platform's socket API ("WS2_32.DLL").
//
// The functions carry the platform's names only inside the built-in module "WS2_32.DLL":
// their own names would clash with the POSIX socket functions, so libplatform.so exports
// them as kv_ws_<name> and programs bind them with LoadLibraryA("WS2_32.DLL") and
// GetProcAddress(module, "<name>"), as they do on the platform. Structures have the
// layouts the callers rely on (32-bit platform: long is 32 bits).
#pragma once

#include "platform/base/types.h"

extern "C" {

typedef UINT_PTR SOCKET;
#define INVALID_SOCKET (static_cast<SOCKET>(~static_cast<UINT_PTR>(0)))
#define SOCKET_ERROR (-1)

// Constants whose POSIX names mean something else on Linux carry a WS_ prefix.
#define WS_AF_INET 2
#define WS_SOCK_STREAM 1
#define WS_SOCK_DGRAM 2
#define WS_IPPROTO_TCP 6
#define WS_TCP_NODELAY 0x0001
#define WS_SOL_SOCKET 0xFFFF
#define WS_SO_REUSEADDR 0x0004
#define WS_SO_KEEPALIVE 0x0008
#define WS_SO_BROADCAST 0x0020
#define WS_SO_LINGER 0x0080
#define WS_SO_SNDBUF 0x1001
#define WS_SO_RCVBUF 0x1002
#define WS_SO_RCVLOWAT 0x1004
#define WS_SO_SNDTIMEO 0x1005
#define WS_SO_RCVTIMEO 0x1006
#define WS_SO_ERROR 0x1007
#define WS_SO_TYPE 0x1008
#define WS_MSG_OOB 0x1
#define WS_MSG_PEEK 0x2
#define WS_FIONREAD 0x4004667FL
#define WS_FIONBIO 0x8004667EL
#define WS_SD_RECEIVE 0
#define WS_SD_SEND 1
#define WS_SD_BOTH 2
#define WS_FD_SETSIZE 64
#define WS_INADDR_NONE 0xFFFFFFFFu

// Error codes (WSAGetLastError).
#define WSABASEERR 10000
#define WSAEINTR 10004
#define WSAEBADF 10009
#define WSAEACCES 10013
#define WSAEFAULT 10014
#define WSAEINVAL 10022
#define WSAEMFILE 10024
#define WSAEWOULDBLOCK 10035
#define WSAEINPROGRESS 10036
#define WSAEALREADY 10037
#define WSAENOTSOCK 10038
#define WSAEDESTADDRREQ 10039
#define WSAEMSGSIZE 10040
#define WSAEPROTOTYPE 10041
#define WSAENOPROTOOPT 10042
#define WSAEPROTONOSUPPORT 10043
#define WSAESOCKTNOSUPPORT 10044
#define WSAEOPNOTSUPP 10045
#define WSAEPFNOSUPPORT 10046
#define WSAEAFNOSUPPORT 10047
#define WSAEADDRINUSE 10048
#define WSAEADDRNOTAVAIL 10049
#define WSAENETDOWN 10050
#define WSAENETUNREACH 10051
#define WSAENETRESET 10052
#define WSAECONNABORTED 10053
#define WSAECONNRESET 10054
#define WSAENOBUFS 10055
#define WSAEISCONN 10056
#define WSAENOTCONN 10057
#define WSAESHUTDOWN 10058
#define WSAETOOMANYREFS 10059
#define WSAETIMEDOUT 10060
#define WSAECONNREFUSED 10061
#define WSAELOOP 10062
#define WSAENAMETOOLONG 10063
#define WSAEHOSTDOWN 10064
#define WSAEHOSTUNREACH 10065
#define WSAENOTEMPTY 10066
#define WSASYSNOTREADY 10091
#define WSAVERNOTSUPPORTED 10092
#define WSANOTINITIALISED 10093
#define WSAHOST_NOT_FOUND 11001
#define WSATRY_AGAIN 11002
#define WSANO_RECOVERY 11003
#define WSANO_DATA 11004

typedef struct KvWsaData {
  WORD wVersion;
  WORD wHighVersion;
  char szDescription[257];
  char szSystemStatus[129];
  USHORT iMaxSockets;
  USHORT iMaxUdpDg;
  char* lpVendorInfo;
} WSADATA, *LPWSADATA;

typedef struct KvInAddr {
  uint32_t s_addr;  // network order
} IN_ADDR;

typedef struct KvSockAddr {
  USHORT sa_family;
  char sa_data[14];
} SOCKADDR;

// 16 bytes: family, port (network order), address (network order), eight bytes of padding.
typedef struct KvSockAddrIn {
  SHORT sin_family;
  USHORT sin_port;
  IN_ADDR sin_addr;
  char sin_zero[8];
} SOCKADDR_IN;

typedef struct KvFdSet {
  UINT fd_count;
  SOCKET fd_array[WS_FD_SETSIZE];
} KvFdSet;

typedef struct KvTimeVal {
  LONG tv_sec;
  LONG tv_usec;
} TIMEVAL;

typedef struct KvHostEnt {
  char* h_name;
  char** h_aliases;
  SHORT h_addrtype;
  SHORT h_length;
  char** h_addr_list;
} HOSTENT;

typedef struct KvServEnt {
  char* s_name;
  char** s_aliases;
  SHORT s_port;  // network order
  char* s_proto;
} SERVENT;

typedef struct KvProtoEnt {
  char* p_name;
  char** p_aliases;
  SHORT p_proto;
} PROTOENT;

typedef struct KvLinger {
  USHORT l_onoff;
  USHORT l_linger;
} LINGER;

// The functions of "WS2_32.DLL", exported from libplatform.so under kv_ws_ names.
int kv_ws_WSAStartup(WORD version, LPWSADATA data);
int kv_ws_WSACleanup(void);
int kv_ws_WSAGetLastError(void);
void kv_ws_WSASetLastError(int error);
SOCKET kv_ws_socket(int family, int type, int protocol);
int kv_ws_closesocket(SOCKET s);
int kv_ws_shutdown(SOCKET s, int how);
int kv_ws_bind(SOCKET s, const SOCKADDR* address, int length);
int kv_ws_connect(SOCKET s, const SOCKADDR* address, int length);
int kv_ws_listen(SOCKET s, int backlog);
SOCKET kv_ws_accept(SOCKET s, SOCKADDR* address, int* length);
int kv_ws_recv(SOCKET s, char* buffer, int length, int flags);
int kv_ws_send(SOCKET s, const char* buffer, int length, int flags);
int kv_ws_recvfrom(SOCKET s, char* buffer, int length, int flags, SOCKADDR* from, int* from_length);
int kv_ws_sendto(SOCKET s, const char* buffer, int length, int flags, const SOCKADDR* to, int to_length);
int kv_ws_select(int nfds, KvFdSet* readfds, KvFdSet* writefds, KvFdSet* exceptfds, const TIMEVAL* timeout);
int kv_ws___WSAFDIsSet(SOCKET s, KvFdSet* set);
int kv_ws_setsockopt(SOCKET s, int level, int option, const char* value, int length);
int kv_ws_getsockopt(SOCKET s, int level, int option, char* value, int* length);
int kv_ws_ioctlsocket(SOCKET s, LONG command, ULONG* argument);
int kv_ws_getpeername(SOCKET s, SOCKADDR* address, int* length);
int kv_ws_getsockname(SOCKET s, SOCKADDR* address, int* length);
ULONG kv_ws_htonl(ULONG value);
USHORT kv_ws_htons(USHORT value);
ULONG kv_ws_ntohl(ULONG value);
USHORT kv_ws_ntohs(USHORT value);
ULONG kv_ws_inet_addr(const char* text);
char* kv_ws_inet_ntoa(IN_ADDR address);
HOSTENT* kv_ws_gethostbyname(const char* name);
HOSTENT* kv_ws_gethostbyaddr(const char* address, int length, int type);
int kv_ws_gethostname(char* name, int length);
SERVENT* kv_ws_getservbyname(const char* name, const char* protocol);
SERVENT* kv_ws_getservbyport(int port, const char* protocol);
PROTOENT* kv_ws_getprotobyname(const char* name);
PROTOENT* kv_ws_getprotobynumber(int number);

// Test-facing side: how often WSAStartup and WSACleanup were called in this process.
LONG KvNetStartupCalls(void);
LONG KvNetCleanupCalls(void);

}  // extern "C"
