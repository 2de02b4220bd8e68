// The socket functions as programs bind them: by name from "WS2_32.DLL".
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>

#include "platform/base/error.h"
#include "platform/base/module.h"
#include "platform/net/winsock.h"

namespace {

struct Ws {
  HMODULE module = LoadLibraryA("WS2_32.DLL");
  template <class F>
  F Get(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  }
  ~Ws() { FreeLibrary(module); }
};

class WinsockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WSADATA data;
    ASSERT_EQ(0, kv_ws_WSAStartup(0x0202, &data));
    EXPECT_EQ(0x0202, data.wVersion);
  }
  void TearDown() override { kv_ws_WSACleanup(); }

  // A listening socket on 127.0.0.1 and its port.
  SOCKET Listen(USHORT* port) {
    SOCKET s = kv_ws_socket(WS_AF_INET, WS_SOCK_STREAM, 0);
    SOCKADDR_IN a{};
    a.sin_family = WS_AF_INET;
    a.sin_addr.s_addr = kv_ws_inet_addr("127.0.0.1");
    EXPECT_EQ(0, kv_ws_bind(s, reinterpret_cast<SOCKADDR*>(&a), sizeof(a)));
    EXPECT_EQ(0, kv_ws_listen(s, 4));
    int len = sizeof(a);
    EXPECT_EQ(0, kv_ws_getsockname(s, reinterpret_cast<SOCKADDR*>(&a), &len));
    *port = kv_ws_ntohs(a.sin_port);
    return s;
  }
};

TEST_F(WinsockTest, BoundByNameFromTheBuiltinModule) {
  Ws ws;
  ASSERT_NE(nullptr, ws.module);
  auto socket_fn = ws.Get<SOCKET (*)(int, int, int)>("socket");
  auto close_fn = ws.Get<int (*)(SOCKET)>("closesocket");
  ASSERT_NE(nullptr, socket_fn);
  ASSERT_NE(nullptr, close_fn);
  SOCKET s = socket_fn(WS_AF_INET, WS_SOCK_STREAM, 0);
  ASSERT_NE(INVALID_SOCKET, s);
  EXPECT_EQ(0, close_fn(s));
  EXPECT_EQ(nullptr, ws.Get<void*>("WSAAsyncSelect"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
}

TEST_F(WinsockTest, RefusedConnectGivesTheConnectionRefusedCode) {
  USHORT port;
  SOCKET l = Listen(&port);
  kv_ws_closesocket(l);  // nothing listens there any more
  SOCKET s = kv_ws_socket(WS_AF_INET, WS_SOCK_STREAM, 0);
  SOCKADDR_IN a{};
  a.sin_family = WS_AF_INET;
  a.sin_port = kv_ws_htons(port);
  a.sin_addr.s_addr = kv_ws_inet_addr("127.0.0.1");
  EXPECT_EQ(SOCKET_ERROR, kv_ws_connect(s, reinterpret_cast<SOCKADDR*>(&a), sizeof(a)));
  EXPECT_EQ(WSAECONNREFUSED, kv_ws_WSAGetLastError());
  kv_ws_closesocket(s);
}

TEST_F(WinsockTest, SelectWorksOnDescriptorsAbove1023) {
  rlimit rl;
  getrlimit(RLIMIT_NOFILE, &rl);
  if (rl.rlim_max < 2100) GTEST_SKIP() << "descriptor limit too low for this check";
  rlimit raised = rl;
  raised.rlim_cur = 2100;
  ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &raised));
  USHORT port;
  SOCKET l = Listen(&port);
  SOCKET c = kv_ws_socket(WS_AF_INET, WS_SOCK_STREAM, 0);
  SOCKADDR_IN a{};
  a.sin_family = WS_AF_INET;
  a.sin_port = kv_ws_htons(port);
  a.sin_addr.s_addr = kv_ws_inet_addr("127.0.0.1");
  ASSERT_EQ(0, kv_ws_connect(c, reinterpret_cast<SOCKADDR*>(&a), sizeof(a)));
  SOCKET high = static_cast<SOCKET>(dup2(static_cast<int>(kv_ws_accept(l, nullptr, nullptr)), 2000));
  ASSERT_EQ(2000u, high);
  KvFdSet set{};
  set.fd_count = 1;
  set.fd_array[0] = high;
  TIMEVAL zero{0, 0};
  EXPECT_EQ(0, kv_ws_select(0, &set, nullptr, nullptr, &zero));
  EXPECT_EQ(0u, set.fd_count);
  ASSERT_EQ(3, kv_ws_send(c, "abc", 3, 0));
  set.fd_count = 1;
  set.fd_array[0] = high;
  EXPECT_EQ(1, kv_ws_select(0, &set, nullptr, nullptr, nullptr));
  EXPECT_EQ(1, kv_ws___WSAFDIsSet(high, &set));
  char buf[8];
  EXPECT_EQ(3, kv_ws_recv(high, buf, sizeof(buf), 0));
  kv_ws_closesocket(high);
  kv_ws_closesocket(c);
  kv_ws_closesocket(l);
  setrlimit(RLIMIT_NOFILE, &rl);
}

TEST_F(WinsockTest, SendAfterThePeerIsGoneFailsWithoutASignal) {
  USHORT port;
  SOCKET l = Listen(&port);
  SOCKET c = kv_ws_socket(WS_AF_INET, WS_SOCK_STREAM, 0);
  SOCKADDR_IN a{};
  a.sin_family = WS_AF_INET;
  a.sin_port = kv_ws_htons(port);
  a.sin_addr.s_addr = kv_ws_inet_addr("127.0.0.1");
  ASSERT_EQ(0, kv_ws_connect(c, reinterpret_cast<SOCKADDR*>(&a), sizeof(a)));
  kv_ws_closesocket(kv_ws_accept(l, nullptr, nullptr));
  kv_ws_shutdown(c, WS_SD_SEND);
  EXPECT_EQ(SOCKET_ERROR, kv_ws_send(c, "x", 1, 0));
  EXPECT_EQ(WSAESHUTDOWN, kv_ws_WSAGetLastError());
  kv_ws_closesocket(c);
  kv_ws_closesocket(l);
}

TEST_F(WinsockTest, NameResolution) {
  HOSTENT* h = kv_ws_gethostbyname("127.0.0.1");
  ASSERT_NE(nullptr, h);
  EXPECT_EQ(4, h->h_length);
  EXPECT_EQ(kv_ws_inet_addr("127.0.0.1"), *reinterpret_cast<uint32_t*>(h->h_addr_list[0]));
  EXPECT_EQ(nullptr, h->h_addr_list[1]);
  EXPECT_EQ(nullptr, kv_ws_gethostbyname("no-such-host.invalid"));
  EXPECT_EQ(WSAHOST_NOT_FOUND, kv_ws_WSAGetLastError());
  EXPECT_EQ(WS_INADDR_NONE, kv_ws_inet_addr("1.2.3.256"));
}

TEST(WinsockStartup, CallsBeforeStartupFailWithNotInitialised) {
  EXPECT_EQ(INVALID_SOCKET, kv_ws_socket(WS_AF_INET, WS_SOCK_STREAM, 0));
  EXPECT_EQ(WSANOTINITIALISED, kv_ws_WSAGetLastError());
  EXPECT_EQ(SOCKET_ERROR, kv_ws_WSACleanup());
  WSADATA data;
  EXPECT_EQ(WSAVERNOTSUPPORTED, kv_ws_WSAStartup(0x0001, &data));
}

TEST_F(WinsockTest, SocketOptionsUseThePlatformLevels) {
  SOCKET s = kv_ws_socket(WS_AF_INET, WS_SOCK_STREAM, 0);
  const int32_t one = 1;
  EXPECT_EQ(0, kv_ws_setsockopt(s, WS_IPPROTO_TCP, WS_TCP_NODELAY, reinterpret_cast<const char*>(&one), 4));
  int32_t value = 0;
  int len = 4;
  EXPECT_EQ(0, kv_ws_getsockopt(s, WS_IPPROTO_TCP, WS_TCP_NODELAY, reinterpret_cast<char*>(&value), &len));
  EXPECT_NE(0, value);
  len = 4;
  EXPECT_EQ(0, kv_ws_getsockopt(s, WS_SOL_SOCKET, WS_SO_TYPE, reinterpret_cast<char*>(&value), &len));
  EXPECT_EQ(WS_SOCK_STREAM, value);
  const int32_t low_water = 4096;
  EXPECT_EQ(0, kv_ws_setsockopt(s, WS_SOL_SOCKET, WS_SO_RCVLOWAT, reinterpret_cast<const char*>(&low_water), 4));
  len = 4;
  EXPECT_EQ(0, kv_ws_getsockopt(s, WS_SOL_SOCKET, WS_SO_RCVLOWAT, reinterpret_cast<char*>(&value), &len));
  EXPECT_EQ(low_water, value);
  EXPECT_EQ(SOCKET_ERROR, kv_ws_setsockopt(s, 12345, 1, reinterpret_cast<const char*>(&one), 4));
  EXPECT_EQ(WSAENOPROTOOPT, kv_ws_WSAGetLastError());
  kv_ws_closesocket(s);
}

}  // namespace
