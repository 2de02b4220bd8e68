// http_bench: the HTTP client against libcurl, both fetching from the same local server
// in the same run: one 10 MB body (several times) and 1,000 small bodies over one
// keep-alive connection. The clients take turns for several passes (one warm-up pass
// each first); each row reports the fastest pass of each and the ratios of those
// (ours / curl). libcurl runs with its largest receive buffer; TIdHTTP runs twice, at its
// default RecvBufferSize (32 KB a receive) and at 1 MB a receive. A counted body read into
// a memory stream is received straight into the stream, as much as has arrived, so both
// rows should be alike; the headers, the lines and other streams still go by the
// RecvBufferSize. A body that comes back short, or a failed transfer, makes the run fail
// (exit status 1).
#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "http_client/id_http.h"

namespace {

constexpr size_t kBigSize = 10 * 1024 * 1024;
constexpr size_t kSmallSize = 200;
constexpr int kBigRounds = 5;
constexpr int kSmallCount = 1000;
constexpr int kPasses = 9;
constexpr int kLargeReceive = 1024 * 1024;

// Keep-alive HTTP/1.1 server on 127.0.0.1: "/big" and "/small", counted bodies.
class Server {
 public:
  Server() : big_(kBigSize, 'B'), small_(kSmallSize, 's') {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    ::listen(fd_, 16);
    socklen_t len = sizeof(a);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~Server() {
    stop_ = true;
    thread_.join();
    ::close(fd_);
  }
  std::string Url(const char* path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
  int Connections() const { return connections_.load(); }

 private:
  void Run() {
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      int c = ::accept(fd_, nullptr, nullptr);
      if (c < 0) continue;
      ++connections_;
      int one = 1;
      ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
      Serve(c);
      ::close(c);
    }
  }
  void Serve(int c) {
    std::string pending;
    char buf[16384];
    for (;;) {
      size_t end;
      while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
        pollfd p{c, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) return;
        ssize_t n = ::recv(c, buf, sizeof(buf), 0);
        if (n <= 0) return;
        pending.append(buf, static_cast<size_t>(n));
      }
      const bool big = pending.compare(0, 9, "GET /big ") == 0;
      pending.erase(0, end + 4);
      const std::string& body = big ? big_ : small_;
      std::string head = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                         std::to_string(body.size()) + "\r\n\r\n";
      if (big ? (!SendAll(c, head) || !SendAll(c, body)) : !SendAll(c, head + body)) return;
    }
  }
  static bool SendAll(int c, const std::string& s) {
    size_t sent = 0;
    while (sent < s.size()) {
      ssize_t n = ::send(c, s.data() + sent, s.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return false;
      sent += static_cast<size_t>(n);
    }
    return true;
  }
  std::string big_, small_;
  int fd_ = -1, port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::thread thread_;
};

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

size_t CurlWrite(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

struct Times {
  double big = 0, small = 0;
  int connections = 0;
};

int g_failures = 0;  // short bodies and failed transfers of either client

void Check(bool ok, const char* what) {
  if (ok) return;
  ++g_failures;
  std::fprintf(stderr, "%s\n", what);
}

// `receive` 0 keeps the client's default RecvBufferSize.
Times Ours(Server& server, int receive) {
  Times t;
  const int before = server.Connections();
  TIdHTTP http(nullptr);
  if (receive != 0) http.RecvBufferSize = receive;
  TMemoryStream body;
  auto start = std::chrono::steady_clock::now();
  // The stream is rewound, not emptied: it keeps its memory, as libcurl's string does.
  for (int i = 0; i < kBigRounds; ++i) {
    body.SetPosition(0);
    http.Get(server.Url("/big"), &body);
    Check(static_cast<size_t>(body.Size()) == kBigSize, "ours: short big body");
  }
  t.big = Seconds(start);
  start = std::chrono::steady_clock::now();
  for (int i = 0; i < kSmallCount; ++i) {
    body.SetPosition(0);
    http.Get(server.Url("/small"), &body);
    Check(static_cast<size_t>(body.Size()) == kSmallSize, "ours: short small body");
  }
  t.small = Seconds(start);
  t.connections = server.Connections() - before;
  return t;
}

Times Curl(Server& server) {
  Times t;
  const int before = server.Connections();
  CURL* curl = curl_easy_init();
  std::string body;
  body.reserve(kBigSize);  // the destination is sized once, as ours is from Content-Length
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CurlWrite);
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, static_cast<long>(CURL_MAX_READ_SIZE));
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
  const std::string big = server.Url("/big"), small = server.Url("/small");
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kBigRounds; ++i) {
    body.clear();
    curl_easy_setopt(curl, CURLOPT_URL, big.c_str());
    Check(curl_easy_perform(curl) == CURLE_OK, "curl: failed big transfer");
    Check(body.size() == kBigSize, "curl: short big body");
  }
  t.big = Seconds(start);
  start = std::chrono::steady_clock::now();
  for (int i = 0; i < kSmallCount; ++i) {
    body.clear();
    curl_easy_setopt(curl, CURLOPT_URL, small.c_str());
    Check(curl_easy_perform(curl) == CURLE_OK, "curl: failed small transfer");
    Check(body.size() == kSmallSize, "curl: short small body");
  }
  t.small = Seconds(start);
  curl_easy_cleanup(curl);
  t.connections = server.Connections() - before;
  return t;
}

}  // namespace

int main() {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  Server server;
  Times ours{1e9, 1e9, 0}, large{1e9, 1e9, 0}, curl{1e9, 1e9, 0};
  auto keep_fastest = [](Times& best, const Times& pass) {
    best.big = std::min(best.big, pass.big);
    best.small = std::min(best.small, pass.small);
    best.connections = std::max(best.connections, pass.connections);
  };
  try {
    Ours(server, 0);
    Ours(server, kLargeReceive);
    Curl(server);
    // Interleaved, libcurl first in every other pass, so a change of the machine's load
    // falls on all alike.
    for (int pass = 0; pass < kPasses; ++pass) {
      if (pass % 2 == 1) keep_fastest(curl, Curl(server));
      keep_fastest(ours, Ours(server, 0));
      keep_fastest(large, Ours(server, kLargeReceive));
      if (pass % 2 == 0) keep_fastest(curl, Curl(server));
    }
  } catch (const Exception& e) {
    Check(false, ("ours: " + e.Message()).c_str());
  }
  curl_global_cleanup();
  if (g_failures != 0) {
    std::fprintf(stderr, "http_bench: %d failed transfers or short bodies\n", g_failures);
    return 1;
  }
  const double mb = static_cast<double>(kBigSize) * kBigRounds / (1024.0 * 1024.0);
  std::printf("http_bench: %d x 10 MB body, %d x %zu-byte bodies, one keep-alive connection each; fastest of %d passes\n",
              kBigRounds, kSmallCount, kSmallSize, kPasses);
  std::printf("%-14s %12s %12s %16s %14s\n", "client", "10 MB (s)", "MB/s", "1000 small (s)", "conns a pass");
  auto row = [&](const char* name, const Times& t) {
    std::printf("%-14s %12.3f %12.1f %16.3f %14d\n", name, t.big, mb / t.big, t.small, t.connections);
  };
  row("TIdHTTP", ours);
  row("TIdHTTP 1 MB", large);
  row("libcurl", curl);
  std::printf("ratio (TIdHTTP / libcurl time): 10 MB %.2f, small bodies %.2f\n", ours.big / curl.big,
              ours.small / curl.small);
  std::printf("ratio (TIdHTTP 1 MB / libcurl time): 10 MB %.2f, small bodies %.2f\n", large.big / curl.big,
              large.small / curl.small);
  return 0;
}
