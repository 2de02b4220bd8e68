// SOCKS 4, 4A and 5 exchanges against a SOCKS server inside the test, then HTTP through
// the tunnel.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http_client/id_http.h"
#include "http_client/tests/loopback_server.h"

namespace {

using loopback::Conn;
using loopback::Server;

std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int x : b) s += static_cast<char>(x);
  return s;
}

// A server that reads the expected SOCKS request bytes, answers with the scripted bytes
// and then, on success, serves one HTTP answer over the same connection.
struct SocksScript {
  std::vector<std::pair<size_t, std::string>> exchange;  // (bytes to read, reply)
  bool then_http = false;
};

class SocksServer {
 public:
  explicit SocksServer(SocksScript script) : script_(std::move(script)), server_([this](Conn& c, int) { Serve(c); }) {}
  int Port() const { return server_.Port(); }
  std::vector<std::string> Received() {
    std::lock_guard<std::mutex> g(lock_);
    return received_;
  }

 private:
  void Serve(Conn& c) {
    for (const auto& [count, reply] : script_.exchange) {
      std::string got = c.Read(count);
      {
        std::lock_guard<std::mutex> g(lock_);
        received_.push_back(got);
      }
      if (got.size() != count) return;
      c.Write(reply);
    }
    if (script_.then_http) {
      std::string head = c.ReadHead();
      {
        std::lock_guard<std::mutex> g(lock_);
        received_.push_back(head);
      }
      c.Write("HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\ntunnel!");
    }
  }
  SocksScript script_;
  std::mutex lock_;
  std::vector<std::string> received_;
  Server server_;
};

struct Client {
  TIdHTTP http{nullptr};
  TIdIOHandlerSocket* handler = new TIdIOHandlerSocket(&http);
  Client(int socks_port, TSocksVersion version) {
    http.SetIOHandler(handler);
    handler->SocksInfo()->Host = "127.0.0.1";
    handler->SocksInfo()->Port = socks_port;
    handler->SocksInfo()->Version = version;
  }
};

TEST(Socks, Version4RequestBytesAndAGetThroughTheTunnel) {
  SocksServer server({{{9, Bytes({0, 90, 0, 0, 0, 0, 0, 0})}}, true});
  Client c(server.Port(), svSocks4);
  TMemoryStream body;
  c.http.Get("http://127.0.0.1:8080/img.gif", &body);
  const auto got = server.Received();
  ASSERT_EQ(2u, got.size());
  EXPECT_EQ(Bytes({4, 1, 0x1F, 0x90, 127, 0, 0, 1, 0}), got[0]);
  EXPECT_EQ(0u, got[1].find("GET /img.gif HTTP/1.1\r\n"));
  EXPECT_NE(std::string::npos, got[1].find("\r\nHost: 127.0.0.1:8080\r\n"));
  EXPECT_EQ("tunnel!", std::string(static_cast<const char*>(body.Memory()), 7));
}

TEST(Socks, Version4ARequestCarriesTheHostName) {
  // Eleven characters of host name: 8 + 1 + 11 + 1 = 21 bytes.
  SocksServer server({{{21, Bytes({0, 90, 0, 0, 0, 0, 0, 0})}}, true});
  Client c(server.Port(), svSocks4A);
  TMemoryStream body;
  c.http.Get("http://example.tst/", &body);
  const auto got = server.Received();
  ASSERT_EQ(2u, got.size());
  EXPECT_EQ(Bytes({4, 1, 0, 80, 0, 0, 0, 1, 0}) + "example.tst" + std::string(1, '\0'), got[0]);
  EXPECT_NE(std::string::npos, got[1].find("\r\nHost: example.tst\r\n"));
}

TEST(Socks, Version4ReplyCodes) {
  const struct {
    int code;  // -1: the server answers three bytes and closes
    const char* cls;
    const char* message;
  } rows[] = {
      {-1, "EIdSocksServerRespondError", "Socks server did not respond."},
      {91, "EIdSocksRequestFailed", "Request rejected or failed."},
      {92, "EIdSocksRequestServerFailed", "Request rejected because SOCKS server cannot connect."},
      {93, "EIdSocksRequestIdentFailed",
       "Request rejected because the client program and identd report different user-ids."},
      {94, "EIdSocksUnknownError", "Unknown socks error."},
  };
  for (const auto& row : rows) {
    SocksServer server({{{9, row.code < 0 ? Bytes({0, 90, 0}) : Bytes({0, row.code, 0, 0, 0, 0, 0, 0})}}});
    Client c(server.Port(), svSocks4);
    TMemoryStream body;
    try {
      c.http.Get("http://127.0.0.1:80/", &body);
      ADD_FAILURE() << row.code;
    } catch (const EIdSocksError& e) {
      EXPECT_STREQ(row.cls, e.ClassName());
      EXPECT_EQ(row.message, e.Message());
    }
  }
}

TEST(Socks, Version5WithoutAndWithCredentials) {
  const std::string request = Bytes({5, 1, 0, 3, 11}) + "example.tst" + Bytes({0x1F, 0x90});
  // The bound address comes back as a domain name: every byte of it and its port is read.
  const std::string reply = Bytes({5, 0, 0, 3, 4}) + "abcd" + Bytes({0, 80});
  {
    SocksServer server({{{3, Bytes({5, 0})}, {request.size(), reply}}, true});
    Client c(server.Port(), svSocks5);
    TMemoryStream body;
    c.http.Get("http://example.tst:8080/", &body);
    const auto got = server.Received();
    ASSERT_EQ(3u, got.size());
    EXPECT_EQ(Bytes({5, 1, 0}), got[0]);
    EXPECT_EQ(request, got[1]);
    EXPECT_EQ("tunnel!", std::string(static_cast<const char*>(body.Memory()), static_cast<size_t>(body.Size())));
  }
  {
    const std::string auth = Bytes({1, 4}) + "user" + Bytes({6}) + "secret";
    SocksServer server(
        {{{3, Bytes({5, 2})}, {auth.size(), Bytes({1, 0})}, {request.size(), Bytes({5, 0, 0, 1, 1, 2, 3, 4, 0, 80})}},
         true});
    Client c(server.Port(), svSocks5);
    c.handler->SocksInfo()->Authentication = saUsernamePassword;
    c.handler->SocksInfo()->Username = "user";
    c.handler->SocksInfo()->Password = "secret";
    TMemoryStream body;
    c.http.Get("http://example.tst:8080/", &body);
    const auto got = server.Received();
    ASSERT_EQ(4u, got.size());
    EXPECT_EQ(Bytes({5, 1, 2}), got[0]);
    EXPECT_EQ(auth, got[1]);
    EXPECT_EQ("tunnel!", std::string(static_cast<const char*>(body.Memory()), static_cast<size_t>(body.Size())));
  }
}

TEST(Socks, Version5Failures) {
  const std::string request = Bytes({5, 1, 0, 3, 11}) + "example.tst" + Bytes({0, 80});
  const struct {
    SocksScript script;
    bool with_user;
    const char* cls;
    const char* message;
  } rows[] = {
      {{{{3, Bytes({5, 2})}}}, false, "EIdSocksAuthMethodError", "Invalid socks authentication method."},
      {{{{3, Bytes({5, 255})}}}, false, "EIdSocksAuthMethodError", "Invalid socks authentication method."},
      {{{{3, ""}}}, false, "EIdSocksServerRespondError", "Socks server did not respond."},
      {{{{3, Bytes({5, 2})}, {13, Bytes({1, 1})}}}, true, "EIdSocksAuthError", "Authentication error to socks server."},
      {{{{3, Bytes({5, 0})}, {request.size(), Bytes({5, 1, 0, 1, 0})}}},
       false,
       "EIdSocksServerGeneralError",
       "General SOCKS server failure."},
      {{{{3, Bytes({5, 0})}, {request.size(), Bytes({5, 2, 0, 1, 0})}}},
       false,
       "EIdSocksServerPermissionError",
       "Connection not allowed by ruleset."},
      {{{{3, Bytes({5, 0})}, {request.size(), Bytes({5, 3, 0, 1, 0})}}},
       false,
       "EIdSocksServerNetUnreachableError",
       "Network unreachable."},
      {{{{3, Bytes({5, 0})}, {request.size(), Bytes({5, 4, 0, 1, 0})}}},
       false,
       "EIdSocksServerHostUnreachableError",
       "Host unreachable."},
      {{{{3, Bytes({5, 0})}, {request.size(), Bytes({5, 5, 0, 1, 0})}}},
       false,
       "EIdSocksServerConnectionRefusedError",
       "Connection refused."},
      {{{{3, Bytes({5, 0})}, {request.size(), Bytes({5, 6, 0, 1, 0})}}},
       false,
       "EIdSocksServerTTLExpiredError",
       "TTL expired."},
      {{{{3, Bytes({5, 0})}, {request.size(), Bytes({5, 7, 0, 1, 0})}}},
       false,
       "EIdSocksServerCommandError",
       "Command not supported."},
      {{{{3, Bytes({5, 0})}, {request.size(), Bytes({5, 8, 0, 1, 0})}}},
       false,
       "EIdSocksServerAddressError",
       "Address type not supported."},
      {{{{3, Bytes({5, 0})}, {request.size(), Bytes({5, 9, 0, 1, 0})}}},
       false,
       "EIdSocksUnknownError",
       "Unknown socks error."},
      {{{{3, Bytes({5, 0})}, {request.size(), Bytes({5, 0})}}},
       false,
       "EIdSocksServerRespondError",
       "Socks server did not respond."},
  };
  for (const auto& row : rows) {
    SocksServer server(row.script);
    Client c(server.Port(), svSocks5);
    if (row.with_user) {
      c.handler->SocksInfo()->Authentication = saUsernamePassword;
      c.handler->SocksInfo()->Username = "user";
      c.handler->SocksInfo()->Password = "secret";
    }
    TMemoryStream body;
    try {
      c.http.Get("http://example.tst/", &body);
      ADD_FAILURE() << row.message;
    } catch (const EIdSocksError& e) {
      EXPECT_STREQ(row.cls, e.ClassName()) << row.message;
      EXPECT_EQ(row.message, e.Message());
    }
    EXPECT_FALSE(c.http.Connected());
  }
}

}  // namespace
