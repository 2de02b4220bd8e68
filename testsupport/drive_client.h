// The harness side of the drive channel (platform/drive/drive.h): start a program with
// KORVANE_DRIVE set, connect, send commands, read replies; and the process around it.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace kvtest {

struct DriveReply {
  bool ok = false;
  std::string error;               // the text after "error " when not ok
  std::vector<std::string> lines;  // the reply's lines, fields still escaped
};

// One top-level or child window as "windows"/"children" list it.
struct DriveWindow {
  unsigned long long hwnd = 0;
  bool visible = false;
  int left = 0, top = 0, width = 0, height = 0;
  unsigned long style = 0;
  int depth = 0;
  std::string cls, caption;

  // The handle as the commands take it (hexadecimal).
  std::string Handle() const {
    char b[32];
    std::snprintf(b, sizeof b, "%llx", hwnd);
    return b;
  }
};

// \t \n \r \\ back to their characters.
inline std::string DriveUnescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    char c = s[++i];
    out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
  }
  return out;
}

inline std::vector<std::string> DriveFields(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, '\t')) fields.push_back(DriveUnescape(field));
  if (!line.empty() && line.back() == '\t') fields.emplace_back();
  return fields;
}

inline DriveWindow ParseDriveWindow(const std::string& line) {
  DriveWindow w;
  size_t i = line.find_first_not_of(' ');
  w.depth = static_cast<int>(i);
  std::istringstream in(line.substr(i));
  int visible = 0;
  in >> std::hex >> w.hwnd >> std::dec >> visible >> w.left >> w.top >> w.width >> w.height >> std::hex >> w.style;
  w.visible = visible != 0;
  std::string rest;
  std::getline(in, rest);
  if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
  auto fields = DriveFields(rest);
  if (!fields.empty()) w.cls = fields[0];
  if (fields.size() > 1) w.caption = fields[1];
  return w;
}

class DriveClient {
 public:
  DriveClient() = default;
  DriveClient(const DriveClient&) = delete;
  DriveClient& operator=(const DriveClient&) = delete;
  ~DriveClient() { Close(); }

  // Connects to the socket, retrying while the program starts; false when `timeout` passed.
  bool Connect(const std::string& path, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    auto until = std::chrono::steady_clock::now() + timeout;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) return false;
    std::strcpy(addr.sun_path, path.c_str());
    do {
      Close();
      fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
      if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < until);
    Close();
    return false;
  }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    pending_.clear();
  }

  // Sends one command and reads its reply; a lost connection is a reply with that error.
  DriveReply Command(const std::string& line) {
    DriveReply r;
    std::string out = line + "\n";
    if (fd_ < 0 || ::send(fd_, out.data(), out.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(out.size())) {
      r.error = "not connected";
      return r;
    }
    std::string head;
    if (!ReadLine(&head)) {
      r.error = timed_out_ ? "no reply to " + line + " within a minute" : "connection lost";
      return r;
    }
    r.ok = head == "ok";
    if (!r.ok) r.error = head.rfind("error ", 0) == 0 ? head.substr(6) : head;
    for (std::string l; ReadLine(&l) && l != ".";) r.lines.push_back(l);
    return r;
  }

  std::vector<DriveWindow> Windows(const std::string& verb = "windows") {
    std::vector<DriveWindow> out;
    for (auto& l : Command(verb).lines) out.push_back(ParseDriveWindow(l));
    return out;
  }

  // Asks `check` again every 50 ms until it holds or `timeout` passes.
  static bool WaitFor(const std::function<bool()>& check,
                      std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      if (check()) return true;
      if (std::chrono::steady_clock::now() >= until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

 private:
  // False when the connection ends, or when the program sends nothing for a minute (a
  // program that stopped answering fails the test with the command, not by the test's
  // time limit).
  bool ReadLine(std::string* line) {
    size_t nl;
    char buf[4096];
    timed_out_ = false;
    while ((nl = pending_.find('\n')) == std::string::npos) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 60000) == 0) {
        timed_out_ = true;
        return false;
      }
      ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
      if (n <= 0) return false;
      pending_.append(buf, static_cast<size_t>(n));
    }
    *line = pending_.substr(0, nl);
    pending_.erase(0, nl + 1);
    return true;
  }

  int fd_ = -1;
  std::string pending_;
  bool timed_out_ = false;
};

// A child process with extra environment; killed on destruction if still running.
class ChildProcess {
 public:
  // `env` entries ("NAME=value") replace or add to this process's environment; a non-empty
  // `output` is a file that takes the child's standard output and error. Everything the
  // child needs is made before the fork, so the child only redirects and calls execve.
  ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
               const std::string& output = "") {
    std::vector<std::string> vars(env);
    for (char** e = environ; *e; ++e) {
      std::string v = *e;
      std::string name = v.substr(0, v.find('=') + 1);
      bool replaced = false;
      for (auto& mine : env) replaced = replaced || mine.rfind(name, 0) == 0;
      if (!replaced) vars.push_back(v);
    }
    std::vector<char*> args, envp;
    for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    for (auto& v : vars) envp.push_back(v.data());
    args.push_back(nullptr);
    envp.push_back(nullptr);
    int out = output.empty() ? -1 : ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      if (out >= 0) {
        ::dup2(out, 1);
        ::dup2(out, 2);
      }
      ::execve(args[0], args.data(), envp.data());
      ::_exit(127);
    }
    if (out >= 0) ::close(out);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  // The exit code once the process ended within `timeout`; -1 when it did not (or ended
  // by a signal).
  int Wait(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    auto until = std::chrono::steady_clock::now() + timeout;
    while (!exited_) {
      int status = 0;
      pid_t r = ::waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        exited_ = true;
        code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        break;
      }
      if (std::chrono::steady_clock::now() >= until) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return code_;
  }

  // Asks the process to end (SIGTERM) and waits for it; the exit code as Wait gives it.
  int Stop() {
    if (!exited_) ::kill(pid_, SIGTERM);
    return Wait(std::chrono::seconds(10));
  }
  bool Running() {
    Wait(std::chrono::milliseconds(0));
    return !exited_;
  }

 private:
  pid_t pid_ = -1;
  bool exited_ = false;
  int code_ = -1;
};

}  // namespace kvtest
