// The drive channel's listener and its commands (the protocol is in drive.h).
#include "platform/drive/drive.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/error.h"
#include "platform/browser/browser.h"
#include "platform/browser/control.h"
#include "platform/user/testing.h"

namespace kv::drive {

namespace {

constexpr UINT kRunCommand = WM_USER + 1;
// How long one command may take on the GUI thread before the harness hears "busy"; a
// modal loop keeps taking commands, so only a thread stuck outside any loop runs out.
constexpr UINT kCommandTimeoutMs = 60000;

HWND g_window = nullptr;
std::string g_path;

std::string Hex(const void* p) {
  char b[32];
  std::snprintf(b, sizeof b, "%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
  return b;
}

HWND ParseWindow(const std::string& s) {
  char* end = nullptr;
  unsigned long long v = std::strtoull(s.c_str(), &end, 16);
  if (s.empty() || *end || !IsWindow(reinterpret_cast<HWND>(static_cast<uintptr_t>(v)))) return nullptr;
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(v));
}

bool ParseInt(const std::string& s, int* out) {
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 0);
  if (s.empty() || *end) return false;
  *out = static_cast<int>(v);
  return true;
}

std::string ClassOf(HWND h) {
  WCHAR name[256] = {};
  GetClassNameW(h, name, 256);
  return WideToUtf8(name);
}

std::string TextOf(HWND h) {
  int n = GetWindowTextLengthW(h);
  std::u16string text(static_cast<size_t>(n) + 1, u'\0');
  GetWindowTextW(h, text.data(), n + 1);
  text.resize(static_cast<size_t>(n));
  return WideToUtf8(text);
}

// "HWND visible left top width height style class<TAB>caption", with `depth` leading
// spaces for descendants.
std::string WindowLine(HWND h, int depth) {
  RECT r{};
  GetWindowRect(h, &r);
  char b[160];
  std::snprintf(b, sizeof b, "%s %d %ld %ld %ld %ld %08lx ", Hex(h).c_str(), IsWindowVisible(h) ? 1 : 0,
                static_cast<long>(r.left), static_cast<long>(r.top), static_cast<long>(r.right - r.left),
                static_cast<long>(r.bottom - r.top),
                static_cast<unsigned long>(static_cast<DWORD>(GetWindowLongPtrW(h, GWL_STYLE))));
  return std::string(static_cast<size_t>(depth), ' ') + b + EscapeField(ClassOf(h)) + "\t" + EscapeField(TextOf(h));
}

std::string BoxLine(const std::string& caption, const std::string& text, unsigned type, int answer) {
  return EscapeField(caption) + "\t" + EscapeField(text) + "\t" + std::to_string(type) + "\t" +
         std::to_string(answer) + "\n";
}

struct Listing {
  std::vector<HWND> windows;
};

BOOL Collect(HWND h, LPARAM lp) {
  if (h != g_window) reinterpret_cast<Listing*>(lp)->windows.push_back(h);
  return TRUE;
}

int Depth(HWND h, HWND root) {
  int d = 0;
  for (HWND p = GetParent(h); p && p != root; p = GetParent(p)) ++d;
  return d;
}

// The document of the first visible browser window below a visible top-level window.
IHTMLDocument2* ShownDocument() {
  Listing tops;
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&tops));
  for (HWND top : tops.windows) {
    if (!IsWindowVisible(top)) continue;
    Listing kids;
    EnumChildWindows(top, Collect, reinterpret_cast<LPARAM>(&kids));
    for (HWND h : kids.windows) {
      if (ClassOf(h) != "Internet Explorer_Server" || !IsWindowVisible(h)) continue;
      auto* browser = reinterpret_cast<kv::browser::WebBrowser*>(GetWindowLongPtrW(h, GWLP_USERDATA));
      if (!browser) continue;
      IDispatch* disp = nullptr;
      if (FAILED(browser->get_Document(&disp)) || !disp) continue;
      IHTMLDocument2* doc = nullptr;
      disp->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&doc));
      disp->Release();
      if (doc) return doc;
    }
  }
  return nullptr;
}

std::vector<std::string> Split(const std::string& line, size_t max_parts) {
  std::vector<std::string> parts;
  size_t i = 0;
  while (i < line.size() && parts.size() + 1 < max_parts) {
    while (i < line.size() && line[i] == ' ') ++i;
    size_t j = line.find(' ', i);
    if (j == std::string::npos) j = line.size();
    if (j > i) parts.push_back(line.substr(i, j - i));
    i = j;
  }
  while (i < line.size() && line[i] == ' ') ++i;
  if (i < line.size()) parts.push_back(line.substr(i));
  return parts;
}

// Runs one command on the GUI thread; the reply without its final ".".
std::string Run(const std::string& line) {
  std::string verb = line.substr(0, line.find(' '));
  std::vector<std::string> a = Split(line, verb == "type" ? 2 : verb == "screenshot" ? 3 : 8);
  auto error = [](const std::string& why) { return "error " + why + "\n"; };
  if (a.empty()) return error("empty command");
  std::ostringstream out;
  out << "ok\n";
  if (verb == "windows" || verb == "children") {
    HWND root = nullptr;
    if (verb == "children" && (a.size() != 2 || !(root = ParseWindow(a[1])))) return error("children HWND: no such window");
    Listing l;
    if (root)
      EnumChildWindows(root, Collect, reinterpret_cast<LPARAM>(&l));
    else
      EnumWindows(Collect, reinterpret_cast<LPARAM>(&l));
    for (HWND h : l.windows) out << WindowLine(h, root ? Depth(h, root) : 0) << "\n";
  } else if (verb == "click" || verb == "move") {
    int x, y;
    if (a.size() != 3 || !ParseInt(a[1], &x) || !ParseInt(a[2], &y)) return error(verb + " X Y");
    // The pointer goes there first: on a desktop the cursor is the desktop's pointer, whose
    // own motion must agree with the injected input.
    SetCursorPos(x, y);
    if (verb == "click")
      KvInjectClick(x, y);
    else
      KvInjectMouseMove(x, y);
  } else if (verb == "key") {
    int vk;
    if (a.size() < 2 || a.size() > 3 || !ParseInt(a[1], &vk) || vk <= 0 || vk > 254 ||
        (a.size() == 3 && a[2] != "down" && a[2] != "up"))
      return error("key VK [down|up]");
    if (a.size() == 2 || a[2] == "down") KvInjectKey(vk, TRUE);
    if (a.size() == 2 || a[2] == "up") KvInjectKey(vk, FALSE);
  } else if (verb == "type") {
    if (a.size() != 2) return error("type TEXT");
    for (char16_t c : Utf8ToWide(a[1])) KvInjectChar(c);
  } else if (verb == "close") {
    HWND h = a.size() == 2 ? ParseWindow(a[1]) : nullptr;
    if (!h) return error("close HWND: no such window");
    PostMessageW(h, WM_SYSCOMMAND, SC_CLOSE, 0);
  } else if (verb == "screenshot") {
    HWND h = a.size() == 3 ? ParseWindow(a[1]) : nullptr;
    if (!h) return error("screenshot HWND PATH: no such window");
    if (!KvWindowScreenshot(h, a[2].c_str())) return error("screenshot failed: " + std::to_string(GetLastError()));
  } else if (verb == "msgbox-answer") {
    int n;
    if (a.size() != 2 || !ParseInt(a[1], &n)) return error("msgbox-answer N");
    KvMessageBoxScriptPush(n);
  } else if (verb == "msgbox-log") {
    KVMSGBOXRECORD r;
    for (DWORD i = 0; KvMessageBoxLogGet(i, &r); ++i)
      out << BoxLine(r.caption, r.text, r.type, r.answer);
  } else if (verb == "element" || verb == "dom" || verb == "url") {
    if (verb == "element" && a.size() != 2) return error("element ID");
    IHTMLDocument2* doc = ShownDocument();
    if (!doc) return error("no document is shown");
    std::string failure;
    if (verb == "element") {
      IHTMLDocument3* doc3 = nullptr;
      IHTMLElement* element = nullptr;
      BSTR id = SysAllocString(reinterpret_cast<const OLECHAR*>(Utf8ToWide(a[1]).c_str()));
      if (SUCCEEDED(doc->QueryInterface(IID_IHTMLDocument3, reinterpret_cast<void**>(&doc3))) && doc3) {
        doc3->getElementById(id, &element);
        doc3->Release();
      }
      SysFreeString(id);
      RECT rc{};
      if (!element)
        failure = "no element with id " + a[1];
      else if (!KvBrowserElementRect(element, &rc))
        failure = "element " + a[1] + " has no box on the screen";
      else
        out << rc.left << " " << rc.top << " " << rc.right << " " << rc.bottom << "\n";
      if (element) element->Release();
    } else if (verb == "dom") {
      DWORD n = KvBrowserDomDump(doc, nullptr, 0);
      std::string dump(n + 1, '\0');
      KvBrowserDomDump(doc, dump.data(), n + 1);
      dump.resize(std::strlen(dump.c_str()));
      std::istringstream lines(dump);
      for (std::string l; std::getline(lines, l);) out << EscapeField(l) << "\n";
    } else {
      BSTR url = nullptr;
      doc->get_URL(&url);
      out << EscapeField(WideToUtf8(url ? reinterpret_cast<const char16_t*>(url) : u"")) << "\n";
      SysFreeString(url);
    }
    doc->Release();
    if (!failure.empty()) return error(failure);
  } else {
    return error("unknown command " + verb);
  }
  return out.str();
}

LRESULT DriveProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kRunCommand) {
    auto* io = reinterpret_cast<std::pair<std::string, std::string>*>(lp);
    io->second = Run(io->first);
    return 1;
  }
  return DefWindowProcW(h, msg, wp, lp);
}

bool WriteAll(int fd, const std::string& s) {
  size_t done = 0;
  while (done < s.size()) {
    ssize_t n = ::send(fd, s.data() + done, s.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void Serve(int client) {
  std::string pending;
  char buf[4096];
  for (;;) {
    size_t nl;
    while ((nl = pending.find('\n')) == std::string::npos) {
      ssize_t n = ::recv(client, buf, sizeof buf, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      pending.append(buf, static_cast<size_t>(n));
    }
    std::pair<std::string, std::string> io{pending.substr(0, nl), {}};
    pending.erase(0, nl + 1);
    if (!io.first.empty() && io.first.back() == '\r') io.first.pop_back();
    DWORD_PTR answered = 0;
    if (!SendMessageTimeoutW(g_window, kRunCommand, 0, reinterpret_cast<LPARAM>(&io), SMTO_BLOCK, kCommandTimeoutMs,
                             &answered) ||
        !answered)
      io.second = IsWindow(g_window) ? "error busy: the GUI thread did not take the command\n"
                                     : "error the program is ending\n";
    if (!WriteAll(client, io.second + ".\n")) return;
  }
}

void Listen(int server) {
  for (;;) {
    int client = ::accept(server, nullptr, nullptr);
    if (client < 0) {
      if (errno == EINTR) continue;
      return;
    }
    Serve(client);
    ::close(client);
  }
}

void RemoveSocket() { ::unlink(g_path.c_str()); }

}  // namespace

std::string EscapeField(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\\': out += "\\\\"; break;
      default: out += c;
    }
  }
  return out;
}

void RecordMessageBox(const std::string& caption, const std::string& text, unsigned type, int answer) {
  const char* path = std::getenv("KORVANE_MSGBOX_LOG");
  if (!path || !*path) return;
  if (FILE* f = std::fopen(path, "a")) {
    std::fputs(BoxLine(caption, text, type, answer).c_str(), f);
    std::fclose(f);
  }
}

void StartIfAsked() {
  static std::once_flag once;
  std::call_once(once, [] {
    const char* path = std::getenv("KORVANE_DRIVE");
    if (!path || !*path) return;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (std::strlen(path) >= sizeof addr.sun_path) {
      std::fprintf(stderr, "KORVANE_DRIVE: socket path too long: %s\n", path);
      return;
    }
    std::strcpy(addr.sun_path, path);
    WNDCLASSW wc{};
    wc.lpfnWndProc = DriveProc;
    wc.lpszClassName = u"KvDrive";
    RegisterClassW(&wc);
    g_window = CreateWindowExW(0, u"KvDrive", u"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ::unlink(path);
    if (!g_window || server < 0 || ::bind(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(server, 4) != 0) {
      std::fprintf(stderr, "KORVANE_DRIVE: cannot listen on %s: %s\n", path, std::strerror(errno));
      if (server >= 0) ::close(server);
      return;
    }
    g_path = path;
    std::atexit(RemoveSocket);
    std::thread(Listen, server).detach();
  });
}

}  // namespace kv::drive
