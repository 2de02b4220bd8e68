// Test helpers: a private CUPS server (cupsd) on a Unix socket of its own, with its
// configuration, spool, cache, state, temp and log folders in a temporary folder, and a
// one-connection TCP listener that stands in for a network printer (AppSocket).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace kvtest {

// Runs a program with arguments and waits for it; its exit status, -1 when it could not run.
inline int RunProgram(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

class PrivateCups {
 public:
  PrivateCups() = default;
  PrivateCups(const PrivateCups&) = delete;
  PrivateCups& operator=(const PrivateCups&) = delete;
  ~PrivateCups() { Stop(); }

  // Starts the server and waits until its socket answers; false with the reason why not.
  bool Start(std::string& why) {
    namespace fs = std::filesystem;
    const char* cupsd = "/usr/sbin/cupsd";
    if (access(cupsd, X_OK) != 0) return Fail(why, "cupsd is not installed (Debian package cups-daemon)");
    if (access("/usr/lib/cups/backend/socket", X_OK) != 0)
      return Fail(why, "the CUPS socket backend is not installed (Debian package cups)");
    if (geteuid() != 0) return Fail(why, "cupsd needs root to hand its jobs to the user lp");
    const passwd* lp = getpwnam("lp");
    if (!lp) return Fail(why, "the system has no user lp for cupsd's jobs");
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kvcups-XXXXXX";
    if (!mkdtemp(pattern.data())) return Fail(why, "no temporary folder");
    root_ = pattern;
    socket_ = root_ + "/cups.sock";
    if (socket_.size() >= sizeof(sockaddr_un{}.sun_path)) return Fail(why, "socket path too long: " + socket_);
    // The jobs run as lp, who must reach the folders cupsd hands them.
    fs::permissions(root_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
    for (const char* d : {"conf", "spool", "cache", "state", "temp", "log"}) {
      fs::create_directories(root_ + "/" + d);
      if (std::string(d) != "conf" && chown((root_ + "/" + d).c_str(), lp->pw_uid, lp->pw_gid) != 0)
        return Fail(why, "cannot hand " + root_ + "/" + d + " to lp");
    }
    Write(root_ + "/conf/cupsd.conf", "Listen " + socket_ +
                                          "\n"
                                          "LogLevel debug\n"
                                          "Browsing No\n"
                                          "DefaultPolicy open\n"
                                          "<Policy open>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n"
                                          "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n");
    Write(root_ + "/conf/cups-files.conf",
          "User lp\nGroup lp\nSystemGroup root\n"
          "ServerRoot " +
              root_ +
              "/conf\n"
              "RequestRoot " +
              root_ +
              "/spool\n"
              "CacheDir " +
              root_ +
              "/cache\n"
              "StateDir " +
              root_ +
              "/state\n"
              "TempDir " +
              root_ +
              "/temp\n"
              "ErrorLog " +
              root_ +
              "/log/error_log\n"
              "AccessLog " +
              root_ +
              "/log/access_log\n"
              "PageLog " +
              root_ +
              "/log/page_log\n"
              "Printcap " +
              root_ + "/state/printcap\n");
    std::vector<std::string> argv = {
        cupsd, "-f", "-c", root_ + "/conf/cupsd.conf", "-s", root_ + "/conf/cups-files.conf"};
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    if (posix_spawn(&pid_, cupsd, nullptr, nullptr, args.data(), environ) != 0) {
      pid_ = 0;
      return Fail(why, "cupsd could not be started");
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!Answers()) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = 0;
        return Fail(why, "cupsd stopped at once: " + Log());
      }
      if (std::chrono::steady_clock::now() > deadline) return Fail(why, "cupsd did not answer: " + Log());
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }

  void Stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
      pid_ = 0;
    }
    if (!root_.empty()) {
      std::error_code ec;
      std::filesystem::remove_all(root_, ec);
      root_.clear();
    }
  }

  const std::string& Socket() const { return socket_; }

  // The administration tools pointed at this server; true when the tool succeeded.
  bool AddRawQueue(const std::string& name, const std::string& uri) const {
    return RunProgram({"/usr/sbin/lpadmin", "-h", socket_, "-p", name, "-E", "-v", uri}) == 0;
  }
  bool Reject(const std::string& name, const std::string& reason) const {
    return RunProgram({"/usr/sbin/cupsreject", "-h", socket_, "-r", reason, name}) == 0;
  }

  // The server's error log, for a failure's message.
  std::string Log() const {
    std::ifstream f(root_ + "/log/error_log");
    std::string log((std::istreambuf_iterator<char>(f)), {});
    return log.size() > 2000 ? log.substr(log.size() - 2000) : log;
  }

 private:
  static bool Fail(std::string& why, const std::string& text) {
    why = text;
    return false;
  }
  static void Write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

  bool Answers() const {
    int s = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    socket_.copy(a.sun_path, sizeof a.sun_path - 1);
    bool ok = connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
    close(s);
    return ok;
  }

  std::string root_, socket_;
  pid_t pid_ = 0;
};

// A printer on the network as CUPS' socket backend sees one: accepts one connection on
// 127.0.0.1 and keeps what arrives until the sender closes.
class SocketPrinter {
 public:
  SocketPrinter() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(fd_, 1) == 0 &&
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) == 0)
      port_ = ntohs(a.sin_port);
  }
  ~SocketPrinter() { close(fd_); }
  SocketPrinter(const SocketPrinter&) = delete;
  SocketPrinter& operator=(const SocketPrinter&) = delete;

  int Port() const { return port_; }
  std::string Uri() const { return "socket://127.0.0.1:" + std::to_string(port_); }

  // What one connection delivered, waiting at most `limit` for it to start and as long
  // again for it to end; false on a time-out.
  bool Receive(std::string& data, std::chrono::milliseconds limit) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(limit.count())) != 1) return false;
    int c = accept(fd_, nullptr, nullptr);
    if (c < 0) return false;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    char buf[65536];
    bool done = false;
    while (!done && std::chrono::steady_clock::now() < deadline) {
      pollfd q{c, POLLIN, 0};
      if (poll(&q, 1, 100) != 1) continue;
      ssize_t n = read(c, buf, sizeof buf);
      if (n > 0) data.append(buf, static_cast<size_t>(n));
      done = n <= 0;
    }
    close(c);
    return done;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

}  // namespace kvtest
