// A local HTTP server for tests: a thread on 127.0.0.1, port 0, serving routes (a
// handler per path), keep-alive connections each on its own thread, and stopping with
// the object or after a bounded idle time. Replies can be chunked, cut short, reset,
// stalled or silently closed; every request is recorded. In proxy mode it also takes
// absolute-form requests ("GET http://host/path") and serves them from its routes.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace kvtest {

struct HttpRequest {
  std::string method, target, path, version, body;
  std::vector<std::pair<std::string, std::string>> headers;
  bool proxied = false;  // came in absolute form
  int connection = 0;
  std::string Header(const std::string& name) const {
    for (const auto& h : headers) {
      if (h.first.size() != name.size()) continue;
      bool same = true;
      for (size_t i = 0; i < name.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(h.first[i])) != std::tolower(static_cast<unsigned char>(name[i])))
          same = false;
      if (same) return h.second;
    }
    return std::string();
  }
};

struct HttpReply {
  int status = 200;
  std::string reason = "OK";
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  std::vector<size_t> chunks;            // non-empty: chunked, in pieces of these sizes (the rest last)
  size_t cut_after = std::string::npos;  // close after this many body bytes
  bool reset = false;                    // with cut_after: a reset instead of a close
  bool stall = false;                    // send nothing until the client goes (or the server stops)
  bool silent_close = false;             // close without a reply
  int delay_ms = 0;                      // between the head and each chunk
  bool close = false;                    // "Connection: close"
};

class HttpServer {
 public:
  using Handler = std::function<void(const HttpRequest&, HttpReply&)>;
  static constexpr int kIdleBoundMs = 20000;  // stops after this long without a request

  struct Options {
    int port = 0;                       // 0: any free port
    int idle_bound_ms = kIdleBoundMs;   // 0: never stops by itself
    bool record = true;                 // keep every request for Requests()
  };

  HttpServer() : HttpServer(Options()) {}
  explicit HttpServer(const Options& options) : options_(options) {
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(options_.port));
    if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listen_fd_, 64) != 0)
      throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(options_.port));
    socklen_t len = sizeof a;
    ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    last_activity_ = Now();
    thread_ = std::thread([this] { Accept(); });
  }
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;
  ~HttpServer() {
    stop_ = true;
    thread_.join();
    std::vector<std::thread> workers;
    {
      std::lock_guard<std::mutex> g(lock_);
      workers.swap(workers_);
    }
    for (auto& w : workers) w.join();
    ::close(listen_fd_);
  }

  int Port() const { return port_; }
  std::string Url(const std::string& path = "/") const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
  void Route(const std::string& path, Handler handler) {
    std::lock_guard<std::mutex> g(lock_);
    routes_[path] = std::move(handler);
  }
  void Serve(const std::string& path, const std::string& body, const std::string& type = "text/html") {
    Route(path, [body, type](const HttpRequest&, HttpReply& r) {
      r.body = body;
      r.headers.push_back({"Content-Type", type});
    });
  }
  void Redirect(const std::string& path, const std::string& to, int status = 302) {
    Route(path, [to, status](const HttpRequest&, HttpReply& r) {
      r.status = status;
      r.reason = "Found";
      r.headers.push_back({"Location", to});
      r.body = "moved";
    });
  }
  // Answers every path that has no route of its own.
  void Fallback(Handler handler) {
    std::lock_guard<std::mutex> g(lock_);
    fallback_ = std::move(handler);
  }
  void SetProxyMode(bool on) { proxy_mode_ = on; }
  std::vector<HttpRequest> Requests() {
    std::lock_guard<std::mutex> g(lock_);
    return requests_;
  }
  int Connections() const { return connections_.load(); }

  // A port on 127.0.0.1 that refuses connections (bound, then closed).
  static int RefusedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
  }

 private:
  static long long Now() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

  void Accept() {
    while (!stop_ && !IdleBoundRanOut(last_activity_)) {
      pollfd p{listen_fd_, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      int fd = ::accept(listen_fd_, nullptr, nullptr);
      if (fd < 0) continue;
      // Each write goes out at once: a head and a body written apart would otherwise
      // wait on the client's delayed acknowledgement.
      int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      int index = ++connections_;
      last_activity_ = Now();
      std::lock_guard<std::mutex> g(lock_);
      workers_.emplace_back([this, fd, index] {
        Connection(fd, index);
        ::close(fd);
      });
    }
  }

  // Waits for input; false when the peer closed, the server stops or the bound ran out.
  bool Fill(int fd, std::string& pending) {
    for (long long since = Now(); !stop_ && !IdleBoundRanOut(since);) {
      pollfd p{fd, POLLIN, 0};
      int r = ::poll(&p, 1, 50);
      if (r < 0) return false;
      if (r == 0) continue;
      char buf[65536];
      ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) return false;
      pending.append(buf, static_cast<size_t>(n));
      return true;
    }
    return false;
  }

  // `more`: further bytes follow at once (the head of a reply sent with its body).
  static void Send(int fd, std::string_view bytes, bool more = false) {
    size_t sent = 0;
    while (sent < bytes.size()) {
      ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | (more ? MSG_MORE : 0));
      if (n <= 0) return;
      sent += static_cast<size_t>(n);
    }
  }

  void Pause(int ms) {
    for (int i = 0; i < ms && !stop_; i += 5) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }

  void Connection(int fd, int index) {
    std::string pending;
    // One reply object a connection: its body keeps its memory from one request to the
    // next, so serving a large file again does not grow and shrink the heap each time.
    HttpReply reply;
    for (;;) {
      size_t end;
      while ((end = pending.find("\r\n\r\n")) == std::string::npos)
        if (!Fill(fd, pending)) return;
      HttpRequest req;
      req.connection = index;
      std::string head = pending.substr(0, end);
      pending.erase(0, end + 4);
      size_t line_end = head.find("\r\n");
      std::string first = head.substr(0, line_end);
      size_t s1 = first.find(' '), s2 = first.rfind(' ');
      if (s1 == std::string::npos || s2 == s1) return;
      req.method = first.substr(0, s1);
      req.target = first.substr(s1 + 1, s2 - s1 - 1);
      req.version = first.substr(s2 + 1);
      size_t pos = line_end == std::string::npos ? head.size() : line_end + 2;
      while (pos < head.size()) {
        size_t e = head.find("\r\n", pos);
        std::string line = head.substr(pos, e == std::string::npos ? std::string::npos : e - pos);
        pos = e == std::string::npos ? head.size() : e + 2;
        size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        size_t v = colon + 1;
        while (v < line.size() && line[v] == ' ') ++v;
        req.headers.emplace_back(line.substr(0, colon), line.substr(v));
      }
      size_t length = std::strtoul(req.Header("Content-Length").c_str(), nullptr, 10);
      while (pending.size() < length)
        if (!Fill(fd, pending)) return;
      req.body = pending.substr(0, length);
      pending.erase(0, length);
      req.path = req.target;
      if (req.target.rfind("http://", 0) == 0) {
        req.proxied = true;
        size_t slash = req.target.find('/', 7);
        req.path = slash == std::string::npos ? "/" : req.target.substr(slash);
      }
      size_t q = req.path.find('?');
      std::string route = q == std::string::npos ? req.path : req.path.substr(0, q);
      Handler handler;
      {
        std::lock_guard<std::mutex> g(lock_);
        if (options_.record) requests_.push_back(req);
        auto it = routes_.find(route);
        if (it != routes_.end() && (!req.proxied || proxy_mode_)) handler = it->second;
        else if (fallback_ && !req.proxied) handler = fallback_;
      }
      last_activity_ = Now();
      std::string body = std::move(reply.body);
      body.clear();
      reply = HttpReply();
      reply.body = std::move(body);
      if (handler) {
        handler(req, reply);
      } else {
        reply.status = 404;
        reply.reason = "Not Found";
        reply.body = "<html>not found</html>";
      }
      if (!Answer(fd, reply)) return;
    }
  }

  // Sends one reply; false when the connection ends after it.
  bool Answer(int fd, const HttpReply& r) {
    if (r.silent_close) return false;
    if (r.stall) {
      std::string ignored;
      while (Fill(fd, ignored)) ignored.clear();
      return false;
    }
    std::string head = "HTTP/1.1 " + std::to_string(r.status) + " " + r.reason + "\r\n";
    for (const auto& h : r.headers) head += h.first + ": " + h.second + "\r\n";
    const bool chunked = !r.chunks.empty();
    head += chunked ? "Transfer-Encoding: chunked\r\n" : "Content-Length: " + std::to_string(r.body.size()) + "\r\n";
    if (r.close) head += "Connection: close\r\n";
    head += "\r\n";
    size_t limit = std::min(r.cut_after, r.body.size());
    auto cut = [&] {
      if (r.reset) {
        linger l{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
      }
      return false;
    };
    if (!chunked) {
      Send(fd, head, !r.delay_ms && limit > 0);
      if (r.delay_ms) Pause(r.delay_ms);
      Send(fd, std::string_view(r.body).substr(0, limit));
      if (limit < r.body.size()) return cut();
      return !r.close;
    }
    Send(fd, head);
    size_t at = 0;
    for (size_t i = 0; at < r.body.size(); ++i) {
      size_t n = i < r.chunks.size() ? std::min(r.chunks[i], r.body.size() - at) : r.body.size() - at;
      if (r.delay_ms) Pause(r.delay_ms);
      char size_line[32];
      std::snprintf(size_line, sizeof size_line, "%zx\r\n", n);
      std::string piece = std::string(size_line) + r.body.substr(at, n) + "\r\n";
      if (at + n > limit) {
        Send(fd, piece.substr(0, std::strlen(size_line) + (limit - at)));
        return cut();
      }
      Send(fd, piece);
      at += n;
    }
    if (limit < r.body.size()) return cut();
    Send(fd, "0\r\n\r\n");
    return !r.close;
  }

  bool IdleBoundRanOut(long long since) const {
    return options_.idle_bound_ms > 0 && Now() - since >= options_.idle_bound_ms;
  }

  Options options_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<bool> proxy_mode_{false};
  std::atomic<int> connections_{0};
  std::atomic<long long> last_activity_{0};
  std::thread thread_;
  std::mutex lock_;
  std::vector<std::thread> workers_;
  std::map<std::string, Handler> routes_;
  Handler fallback_;
  std::vector<HttpRequest> requests_;
};

}  // namespace kvtest
