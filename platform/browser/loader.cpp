// The file: and about: loaders, and the switch to the http(s) one.
#include "platform/browser/loader.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/base/path.h"
#include "platform/browser/task.h"
#include "platform/browser/url.h"

namespace kv::browser {
namespace {

constexpr size_t kChunk = 64 * 1024;

HttpLoaderFactory g_http_loader = nullptr;

// Shared by a Load and its queued tasks: a task does nothing once the load is cancelled.
struct LoadState {
  LoadEvents* events;
  bool cancelled = false;
};

using StatePtr = std::shared_ptr<LoadState>;

template <typename F>
void PostStep(const StatePtr& state, F step) {
  PostTask([state, step]() {
    if (!state->cancelled) step(state);
  });
}

class QueuedLoad : public Load {
 public:
  explicit QueuedLoad(LoadEvents* events) : state_(std::make_shared<LoadState>(LoadState{events})) {}
  ~QueuedLoad() override { Cancel(); }
  void Cancel() override { state_->cancelled = true; }
  // Queues `step` (run with the events unless cancelled).
  template <typename F>
  void Post(F step) {
    PostStep(state_, std::move(step));
  }

 protected:
  std::shared_ptr<LoadState> state_;
};

std::string TypeOfPath(const std::string& path) {
  size_t dot = path.rfind('.');
  std::string ext = dot == std::string::npos ? "" : path.substr(dot + 1);
  for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == "htm" || ext == "html") return "text/html";
  if (ext == "txt") return "text/plain";
  if (ext == "gif") return "image/gif";
  if (ext == "png") return "image/png";
  if (ext == "jpg" || ext == "jpeg") return "image/jpeg";
  return "";
}

// A file is read one chunk a task, so a large page interleaves with other messages.
struct FileReader {
  FILE* f = nullptr;
  ~FileReader() {
    if (f) fclose(f);
  }
};

class FileLoad : public QueuedLoad {
 public:
  FileLoad(const std::string& url, LoadEvents* events) : QueuedLoad(events) {
    std::string path = FileUrlToPath(url);
    Post([url, path](const StatePtr& s) { Begin(s, url, path); });
  }

 private:
  static void Begin(const StatePtr& s, const std::string& url, const std::string& path) {
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0) {
      s->events->OnFailure(INET_E_RESOURCE_NOT_FOUND);
      return;
    }
    if (S_ISDIR(st.st_mode)) {
      std::vector<DirectoryEntry> entries;
      if (DIR* d = opendir(path.c_str())) {
        while (dirent* e = readdir(d)) {
          std::string name = e->d_name;
          if (name == "." || name == "..") continue;
          struct stat es {};
          if (stat((path + "/" + name).c_str(), &es) != 0) continue;
          entries.push_back(
              {name, S_ISDIR(es.st_mode), static_cast<uint64_t>(es.st_size), static_cast<int64_t>(es.st_mtime)});
        }
        closedir(d);
      }
      std::sort(entries.begin(), entries.end(), [](const DirectoryEntry& a, const DirectoryEntry& b) {
        return a.folder != b.folder ? a.folder : a.name < b.name;
      });
      s->events->OnResponse(200, "inode/directory", url, 0);
      s->events->OnDirectory(entries);
      s->events->OnComplete();
      return;
    }
    auto reader = std::make_shared<FileReader>();
    reader->f = fopen(path.c_str(), "rb");
    if (!reader->f) {
      s->events->OnFailure(INET_E_RESOURCE_NOT_FOUND);
      return;
    }
    s->events->OnResponse(200, TypeOfPath(path), url, static_cast<uint64_t>(st.st_size));
    ReadChunk(s, reader);
  }
  static void ReadChunk(const StatePtr& s, std::shared_ptr<FileReader> reader) {
    std::vector<uint8_t> buf(kChunk);
    size_t n = fread(buf.data(), 1, buf.size(), reader->f);
    if (n > 0) s->events->OnData(buf.data(), n);
    if (s->cancelled) return;
    if (n < buf.size()) {
      if (ferror(reader->f))
        s->events->OnFailure(INET_E_DOWNLOAD_FAILURE);
      else
        s->events->OnComplete();
      return;
    }
    PostStep(s, [reader](const StatePtr& next) { ReadChunk(next, reader); });
  }
};

class AboutLoad : public QueuedLoad {
 public:
  AboutLoad(const std::string& url, LoadEvents* events) : QueuedLoad(events) {
    std::string body = url.size() > 6 ? PercentDecode(url.substr(6)) : "";
    if (body == "blank") body.clear();
    Post([url, body](const StatePtr& s) {
      s->events->OnResponse(200, "text/html; charset=utf-8", url, body.size());
      if (!body.empty()) s->events->OnData(reinterpret_cast<const uint8_t*>(body.data()), body.size());
      if (!s->cancelled) s->events->OnComplete();
    });
  }
};

class FailedLoad : public QueuedLoad {
 public:
  FailedLoad(HRESULT code, LoadEvents* events) : QueuedLoad(events) {
    Post([code](const StatePtr& s) { s->events->OnFailure(code); });
  }
};

}  // namespace

std::unique_ptr<Load> StartLoad(const LoadRequest& request, LoadEvents* events) {
  std::string scheme = UrlScheme(request.url);
  if (scheme == "file") return std::make_unique<FileLoad>(request.url, events);
  if (scheme == "about") return std::make_unique<AboutLoad>(request.url, events);
  if (scheme == "http" || scheme == "https") {
    return g_http_loader ? g_http_loader(request, events) : StartInetLoad(request, events);
  }
  return std::make_unique<FailedLoad>(scheme.empty() ? INET_E_INVALID_URL : INET_E_UNKNOWN_PROTOCOL, events);
}

void SetHttpLoader(HttpLoaderFactory factory) { g_http_loader = factory; }

std::string FileUrlToPath(const std::string& url) {
  if (UrlScheme(url) != "file") return {};
  std::string rest = url.substr(5);
  size_t cut = rest.find_first_of("?#");
  if (cut != std::string::npos) rest.erase(cut);
  if (rest.substr(0, 2) == "//") {
    size_t slash = rest.find('/', 2);
    std::string host = rest.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
    if (!host.empty() && host != "localhost") return {};
    rest = slash == std::string::npos ? "/" : rest.substr(slash);
  }
  rest = PercentDecode(rest);
  // "/c:/d/a.html" or "/c|/d" is a drive path.
  if (rest.size() >= 3 && rest[0] == '/' && std::isalpha(static_cast<unsigned char>(rest[1])) &&
      (rest[2] == ':' || rest[2] == '|') && (rest.size() == 3 || rest[3] == '/')) {
    std::string drive = rest.substr(1);
    drive[1] = ':';
    return MapPath(drive);
  }
  return rest;
}

}  // namespace kv::browser
