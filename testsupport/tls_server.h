// A TLS server for tests: the openssl command's test server on 127.0.0.1 serving the
// files of a temporary folder, with self-signed certificates made for 127.0.0.1 ("server"
// and "other", each with its key "<name>-key.pem"). Without the openssl program the
// object is not Available() and tests skip.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace kvtest {

class OpensslServer {
 public:
  static constexpr int kWaitBoundMs = 5000;  // for the server to come up

  OpensslServer() {
    openssl_ = FindOpenssl();
    if (openssl_.empty()) return;
    char tmpl[] = "/tmp/kv_tls_XXXXXX";
    if (!mkdtemp(tmpl)) return;
    dir_ = tmpl;
    for (const char* name : {"server", "other"}) {
      if (Run({openssl_, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", std::string(name) + "-key.pem",
               "-out", std::string(name) + ".pem", "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
               "subjectAltName=IP:127.0.0.1"}) != 0) {
        openssl_.clear();
        return;
      }
    }
  }
  ~OpensslServer() {
    Stop();
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  OpensslServer(const OpensslServer&) = delete;
  OpensslServer& operator=(const OpensslServer&) = delete;

  bool Available() const { return !openssl_.empty(); }
  const std::string& Openssl() const { return openssl_; }
  const std::string& Dir() const { return dir_; }  // the served folder
  pid_t Pid() const { return pid_; }

  // Runs a program in the folder; its exit status (-1 when it could not start).
  int Run(const std::vector<std::string>& args) const {
    pid_t pid = fork();
    if (pid == 0) {
      if (chdir(dir_.c_str()) != 0) _exit(127);
      std::vector<char*> argv;
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      int null_fd = open("/dev/null", O_WRONLY);
      dup2(null_fd, 1);
      dup2(null_fd, 2);
      execv(argv[0], argv.data());
      _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) < 0) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Starts the server (certificate "server") on 127.0.0.1, any port, for `accepts`
  // connections (0: until stopped), with `extra` options; returns the port, 0 on failure.
  int Start(const std::vector<std::string>& extra = {}, int accepts = 1) {
    Stop();
    int pipe_fds[2];
    if (!Available() || pipe(pipe_fds) != 0) return 0;
    pid_ = fork();
    if (pid_ == 0) {
      if (chdir(dir_.c_str()) != 0) _exit(127);
      dup2(pipe_fds[1], 1);
      dup2(pipe_fds[1], 2);
      close(pipe_fds[0]);
      std::vector<std::string> args = {openssl_, "s_server", "-accept", "127.0.0.1:0", "-cert", "server.pem",
                                       "-key",   "server-key.pem", "-WWW"};
      if (accepts > 0) {
        args.push_back("-naccept");
        args.push_back(std::to_string(accepts));
      }
      args.insert(args.end(), extra.begin(), extra.end());
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(openssl_.c_str(), argv.data());
      _exit(127);
    }
    close(pipe_fds[1]);
    out_fd_ = pipe_fds[0];
    std::string out;
    while (out.find('\n', out.find("ACCEPT")) == std::string::npos) {
      pollfd p{out_fd_, POLLIN, 0};
      if (poll(&p, 1, kWaitBoundMs) <= 0) return 0;
      char buf[256];
      ssize_t n = read(out_fd_, buf, sizeof(buf));
      if (n <= 0) return 0;
      out.append(buf, static_cast<size_t>(n));
    }
    const size_t colon = out.rfind(':', out.find('\n', out.find("ACCEPT")));
    return std::atoi(out.c_str() + colon + 1);
  }

  void Stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
    if (out_fd_ >= 0) close(out_fd_);
    out_fd_ = -1;
  }

 private:
  static std::string FindOpenssl() {
    const char* path = std::getenv("PATH");
    std::string p = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= p.size()) {
      size_t end = p.find(':', start);
      std::string dir = p.substr(start, end == std::string::npos ? std::string::npos : end - start);
      std::string candidate = (dir.empty() ? "." : dir) + "/openssl";
      if (access(candidate.c_str(), X_OK) == 0) return candidate;
      if (end == std::string::npos) break;
      start = end + 1;
    }
    return std::string();
  }

  std::string openssl_, dir_;
  pid_t pid_ = -1;
  int out_fd_ = -1;
};

}  // namespace kvtest
