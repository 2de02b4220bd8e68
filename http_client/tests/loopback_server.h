// A server inside the test: listens on 127.0.0.1, port 0, runs a handler per accepted
// connection on its own thread, and stops by itself: after `max_connections`, when every
// wait runs past its bound, or when the object goes.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace loopback {

constexpr int kWaitBoundMs = 5000;  // no wait inside a conversation lasts longer
// How long the server waits for its next connection. The client may first spend a while
// setting up (a print job on a loaded machine); the destructor ends the wait at once.
constexpr int kAcceptBoundMs = 120000;

// One accepted connection, as the handler sees it.
class Conn {
 public:
  explicit Conn(int fd) : fd_(fd) {}
  // Exactly n bytes, or what came before the peer closed or the bound ran out.
  std::string Read(size_t n) {
    std::string out;
    while (out.size() < n && Fill()) {
      const size_t take = std::min(n - out.size(), pending_.size());
      out += pending_.substr(0, take);
      pending_.erase(0, take);
    }
    const size_t take = std::min(n - out.size(), pending_.size());
    out += pending_.substr(0, take);
    pending_.erase(0, take);
    return out;
  }
  // A request head up to and including the empty line; "" when none came.
  std::string ReadHead() {
    for (;;) {
      size_t end = pending_.find("\r\n\r\n");
      if (end != std::string::npos) {
        std::string head = pending_.substr(0, end + 4);
        pending_.erase(0, end + 4);
        return head;
      }
      if (!Fill()) return std::string();
    }
  }
  void Write(const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
      ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return;
      sent += static_cast<size_t>(n);
    }
  }
  // Waits until the client closes (bounded).
  void WaitForClose() {
    while (Fill()) pending_.clear();
  }

 private:
  bool Fill() {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, kWaitBoundMs) <= 0) return false;
    char buf[65536];
    ssize_t n = ::recv(fd_, buf, sizeof(buf), 0);
    if (n <= 0) return false;
    pending_.append(buf, static_cast<size_t>(n));
    return true;
  }
  int fd_;
  std::string pending_;
};

class Server {
 public:
  using Handler = std::function<void(Conn&, int index)>;

  Server(Handler handler, int max_connections = 1) : handler_(std::move(handler)), max_(max_connections) {
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 || ::listen(listen_fd_, 16) != 0)
      throw std::runtime_error("test server cannot listen");
    socklen_t len = sizeof(a);
    ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~Server() {
    stop_ = true;
    thread_.join();
  }

  int Port() const { return port_; }
  std::string Url(const std::string& path = "/") const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
  int Connections() const { return accepted_.load(); }

 private:
  void Run() {
    Serve();
    // Closed as soon as the server stops serving, so a late client is refused at once
    // instead of waiting forever in the listen queue for an answer that never comes.
    ::close(listen_fd_);
  }

  void Serve() {
    for (int i = 0; i < max_; ++i) {
      // A connection already waiting is served even when the server is asked to stop.
      pollfd p{listen_fd_, POLLIN, 0};
      int waited = 0, ready;
      while ((ready = ::poll(&p, 1, 50)) == 0 && !stop_ && waited < kAcceptBoundMs) waited += 50;
      if (ready <= 0) return;
      int fd = ::accept(listen_fd_, nullptr, nullptr);
      if (fd < 0) return;
      ++accepted_;
      Conn conn(fd);
      handler_(conn, i);
      ::close(fd);
    }
  }

  Handler handler_;
  int max_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  std::thread thread_;
};

// Scripted HTTP: for each request read on a connection, the next reply of the script is
// sent; a reply marked close ends the connection (the next one goes to a new connection).
struct Reply {
  std::string bytes;
  bool close = false;
  bool stall = false;  // send nothing; wait until the client gives up
};

class ScriptedHttp {
 public:
  explicit ScriptedHttp(std::vector<Reply> script)
      : script_(std::move(script)), server_([this](Conn& c, int) { Serve(c); }, static_cast<int>(script_.size()) + 1) {}

  std::string Url(const std::string& path = "/") const { return server_.Url(path); }
  int Port() const { return server_.Port(); }
  int Connections() const { return server_.Connections(); }
  std::vector<std::string> Requests() {
    std::lock_guard<std::mutex> g(lock_);
    return requests_;
  }

 private:
  void Serve(Conn& c) {
    for (;;) {
      std::string head = c.ReadHead();
      if (head.empty()) return;
      Reply r;
      {
        std::lock_guard<std::mutex> g(lock_);
        requests_.push_back(head);
        if (next_ >= script_.size()) return;
        r = script_[next_++];
      }
      if (r.stall) {
        c.WaitForClose();
        return;
      }
      c.Write(r.bytes);
      if (r.close) return;
    }
  }

  std::vector<Reply> script_;
  std::mutex lock_;
  std::vector<std::string> requests_;
  size_t next_ = 0;
  Server server_;
};

}  // namespace loopback
