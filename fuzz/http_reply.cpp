// Fuzz target: a whole HTTP answer (status line, headers, chunked or counted or
// until-close body) read by the client from a server on 127.0.0.1 that sends the input
// and closes.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "http_client/id_http.h"

namespace {

class OneShotServer {
 public:
  OneShotServer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    ::listen(fd_, 4);
    socklen_t len = sizeof(a);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    std::thread([this] { Serve(); }).detach();
  }
  int Port() const { return port_; }
  void SetReply(std::string reply) {
    std::lock_guard<std::mutex> g(lock_);
    reply_ = std::move(reply);
  }

 private:
  void Serve() {
    for (;;) {
      int c = ::accept(fd_, nullptr, nullptr);
      if (c < 0) continue;
      // Read the request head (bounded), answer with the input, close.
      std::string head;
      char buf[4096];
      pollfd p{c, POLLIN, 0};
      while (head.find("\r\n\r\n") == std::string::npos && ::poll(&p, 1, 1000) > 0) {
        ssize_t n = ::recv(c, buf, sizeof(buf), 0);
        if (n <= 0) break;
        head.append(buf, static_cast<size_t>(n));
      }
      std::string reply;
      {
        std::lock_guard<std::mutex> g(lock_);
        reply = reply_;
      }
      ::send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
      ::shutdown(c, SHUT_WR);
      while (::poll(&p, 1, 1000) > 0 && ::recv(c, buf, sizeof(buf), 0) > 0) {
      }
      ::close(c);
    }
  }
  int fd_ = -1;
  int port_ = 0;
  std::mutex lock_;
  std::string reply_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static OneShotServer* server = new OneShotServer();
  server->SetReply(std::string(reinterpret_cast<const char*>(data), size));
  TIdHTTP http(nullptr);
  http.ReadTimeout = 1000;
  http.HandleRedirects = false;
  TMemoryStream body;
  try {
    http.Get("http://127.0.0.1:" + std::to_string(server->Port()) + "/f", &body);
  } catch (const Exception&) {
  }
  return 0;
}
