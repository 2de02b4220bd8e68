// The sample invoicing application's server: serves the pages under its site folder on
// 127.0.0.1, signs a clerk in with the login cookie the shell looks for, and answers the
// error paths a clerk may meet. Runs until SIGINT or SIGTERM.
//
//   invoicing_server [--port N] [--site DIR]
//
// Port 8080 and the folder "invoicing_site" beside the program by default. Port 0 takes
// any free port; the first line printed names the login page's URL.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "testsupport/http_server.h"

namespace {

namespace fs = std::filesystem;

constexpr char kLoginCookie[] = "Quabo_is_login=true";
constexpr char kLoginPage[] = "/Quabo/login/init.html";
constexpr char kHomePage[] = "/Quabo/login/home.html";

std::string ContentType(const fs::path& file) {
  std::string ext = file.extension().string();
  if (ext == ".html" || ext == ".htm") return "text/html; charset=utf-8";
  if (ext == ".js") return "application/javascript; charset=utf-8";
  if (ext == ".css") return "text/css; charset=utf-8";
  if (ext == ".gif") return "image/gif";
  if (ext == ".jpg" || ext == ".jpeg") return "image/jpeg";
  if (ext == ".png") return "image/png";
  return "application/octet-stream";
}

// One value of an urlencoded form body ("user=a&password=b").
std::string FormValue(const std::string& body, const std::string& name) {
  std::istringstream in(body);
  for (std::string pair; std::getline(in, pair, '&');) {
    size_t eq = pair.find('=');
    if (pair.substr(0, eq) == name) return eq == std::string::npos ? std::string() : pair.substr(eq + 1);
  }
  return std::string();
}

bool SignedIn(const kvtest::HttpRequest& request) {
  return request.Header("Cookie").find(kLoginCookie) != std::string::npos;
}

void Redirect(kvtest::HttpReply& reply, const std::string& to) {
  reply.status = 302;
  reply.reason = "Found";
  reply.headers.push_back({"Location", to});
  reply.headers.push_back({"Content-Type", "text/html; charset=utf-8"});
  reply.body = "<html><body><a href=\"" + to + "\">" + to + "</a></body></html>";
}

void NotFound(kvtest::HttpReply& reply) {
  reply.status = 404;
  reply.reason = "Not Found";
  reply.headers.push_back({"Content-Type", "text/html; charset=utf-8"});
  reply.body = "<html><body>404 Not Found</body></html>";
}

// A file of the site: the path stays inside the folder ("..", empty and hidden names refused).
void ServeFile(const fs::path& site, const kvtest::HttpRequest& request, kvtest::HttpReply& reply) {
  std::string path = request.path.substr(0, request.path.find('?'));
  fs::path file = site;
  std::istringstream parts(path);
  for (std::string part; std::getline(parts, part, '/');) {
    if (part.empty()) continue;
    if (part[0] == '.' || part.find('\\') != std::string::npos) return NotFound(reply);
    file /= part;
  }
  std::error_code error;
  if (!fs::is_regular_file(file, error)) return NotFound(reply);
  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  reply.body = bytes.str();
  reply.headers.push_back({"Content-Type", ContentType(file)});
}

fs::path ProgramFolder() {
  std::error_code error;
  fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::current_path() : self.parent_path();
}

}  // namespace

int main(int argc, char** argv) {
  int port = 8080;
  fs::path site = ProgramFolder() / "invoicing_site";
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--port" && i + 1 < argc) {
      char* end = nullptr;
      long value = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || value < 0 || value > 65535) {
        std::fprintf(stderr, "invoicing_server: not a port: %s\n", argv[i]);
        return 2;
      }
      port = static_cast<int>(value);
    } else if (arg == "--site" && i + 1 < argc) {
      site = argv[++i];
    } else {
      std::fprintf(stderr, "usage: invoicing_server [--port N] [--site DIR]\n");
      return 2;
    }
  }
  std::error_code error;
  if (!fs::is_directory(site, error)) {
    std::fprintf(stderr, "invoicing_server: no site folder at %s\n", site.c_str());
    return 1;
  }

  // Signals are taken by sigwait below, so every server thread inherits them blocked.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  kvtest::HttpServer::Options options;
  options.port = port;
  options.idle_bound_ms = 0;
  options.record = false;
  try {
    kvtest::HttpServer server(options);
    server.Route("/Quabo/login/check", [](const kvtest::HttpRequest& request, kvtest::HttpReply& reply) {
      if (request.method != "POST" || FormValue(request.body, "user").empty())
        return Redirect(reply, std::string(kLoginPage) + "?error=1");
      reply.headers.push_back({"Set-Cookie", std::string(kLoginCookie) + "; Path=/"});
      Redirect(reply, kHomePage);
    });
    server.Route("/Quabo/login/Logout.html", [site](const kvtest::HttpRequest& request, kvtest::HttpReply& reply) {
      ServeFile(site, request, reply);
      reply.headers.push_back({"Set-Cookie", "Quabo_is_login=; Path=/; Expires=Thu, 01 Jan 1970 00:00:00 GMT"});
    });
    // Pages of a signed-in clerk send anyone else to the login page.
    for (const char* page : {kHomePage, "/Quabo/invoice/print.html"}) {
      server.Route(page, [site](const kvtest::HttpRequest& request, kvtest::HttpReply& reply) {
        if (!SignedIn(request)) return Redirect(reply, kLoginPage);
        ServeFile(site, request, reply);
      });
    }
    // A failing server side, as a clerk may meet it.
    server.Route("/Quabo/error/500", [](const kvtest::HttpRequest&, kvtest::HttpReply& reply) {
      reply.status = 500;
      reply.reason = "Internal Server Error";
      reply.headers.push_back({"Content-Type", "text/html; charset=utf-8"});
      reply.body = "<html><body>500 Internal Server Error</body></html>";
    });
    server.Route("/Quabo/error/cut", [](const kvtest::HttpRequest&, kvtest::HttpReply& reply) {
      reply.headers.push_back({"Content-Type", "text/html; charset=utf-8"});
      reply.body = std::string(4096, ' ');
      reply.cut_after = 100;
    });
    server.Fallback([site](const kvtest::HttpRequest& request, kvtest::HttpReply& reply) {
      ServeFile(site, request, reply);
    });
    std::printf("http://127.0.0.1:%d%s\n", server.Port(), kLoginPage);
    std::fflush(stdout);
    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "invoicing_server: %s\n", e.what());
    return 1;
  }
  return 0;
}
