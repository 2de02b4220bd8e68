// The browser's side of the internet layer: http and https loads on its exchanges and
// pump (cookies of the process jar sent and stored on every hop, redirects followed,
// 401 answered through the host's IAuthenticate once, cache entries written), and the
// jar and history store as documents and commits use them.
#include <memory>
#include <string>

#include "platform/base/codepage.h"
#include "platform/browser/loader.h"
#include "platform/browser/recorders.h"
#include "platform/browser/task.h"
#include "platform/inet/internal.h"
#include "platform/inet/urlhist.h"

namespace kv::browser {
namespace {

using kv::inet::Exchange;

std::string TakeTaskString(LPWSTR s) {
  if (!s) return std::string();
  std::string out = kv::WideToUtf8(s);
  CoTaskMemFree(s);
  return out;
}

// One load: the hops of its exchange chain, driven from tasks. Tasks and the exchange's
// callbacks reach the state through a weak pointer, so nothing runs once the load is gone.
class InetLoad final : public Load {
 public:
  InetLoad(const LoadRequest& request, LoadEvents* events) : state_(std::make_shared<State>()) {
    State& s = *state_;
    s.self = state_;
    s.events = events;
    s.spec.url = request.url;
    s.spec.method = request.method == "GET" ? "" : request.method;
    s.spec.body.assign(request.body.begin(), request.body.end());
    s.spec.user_agent = request.user_agent.empty() ? kv::inet::DefaultUserAgent() : request.user_agent;
    // Only a web page is named as the referrer; file: and about: stay private.
    kv::inet::UrlParts referer;
    if (kv::inet::ParseUrl(request.referer, &referer) == 0 && referer.Http()) s.spec.referer = request.referer;
    size_t start = 0;
    while (start < request.headers.size()) {
      size_t end = request.headers.find('\n', start);
      std::string line = kv::inet::Trim(
          request.headers.substr(start, end == std::string::npos ? std::string::npos : end - start));
      if (!line.empty()) s.spec.extra_headers.push_back(line);
      if (end == std::string::npos) break;
      start = end + 1;
    }
    s.cache = !request.no_cache_write;
    s.host = request.host;
    if (s.host) s.host->AddRef();
    StartHop(state_);
  }
  ~InetLoad() override { Cancel(); }
  void Cancel() override {
    state_->cancelled = true;
    DropHop(*state_);
  }

 private:
  enum HopKind { kFinal, kRedirect, kAuth };
  struct State {
    std::weak_ptr<State> self;
    LoadEvents* events = nullptr;
    IUnknown* host = nullptr;
    bool cancelled = false;
    kv::inet::RequestSpec spec;
    std::unique_ptr<Exchange> hop;
    int hop_id = 0;
    HopKind kind = kFinal;
    int redirects = 0;
    bool authenticated = false;
    bool responded = false;
    bool data_queued = false;
    bool cache = true;
    std::string pending, cache_body;
    kv::inet::Response response;
    ~State() {
      if (hop) kv::inet::StopOnThread(hop.get());
      if (host) host->Release();
    }
  };
  using StatePtr = std::shared_ptr<State>;

  // Queues `step` for the hop `id`; it runs only while the load lives on that hop.
  template <typename F>
  static void Later(State& s, int id, F step) {
    PostTask([weak = s.self, id, step]() {
      StatePtr p = weak.lock();
      if (p && !p->cancelled && p->hop_id == id) step(p);
    });
  }

  static void DropHop(State& s) {
    if (s.hop) kv::inet::StopOnThread(s.hop.get());
    s.hop.reset();
    ++s.hop_id;
    s.pending.clear();
    s.data_queued = false;
  }

  static void Fail(State& s, HRESULT code) {
    DropHop(s);
    s.cancelled = true;  // nothing after the failure
    s.events->OnFailure(code);
  }

  static void StartHop(const StatePtr& p) {
    State& s = *p;
    s.hop = std::make_unique<Exchange>(s.spec);
    const int id = ++s.hop_id;
    if (!s.hop->Prepare()) {
      Later(s, id, [](const StatePtr& q) { Fail(*q, INET_E_INVALID_URL); });
      return;
    }
    Exchange* x = s.hop.get();
    s.kind = kFinal;
    // Inside libcurl's callbacks: only note what came and queue the steps.
    State* raw = p.get();
    x->on_headers = [raw, x, id] {
      const kv::inet::Response& r = x->response();
      raw->kind = !kv::inet::RedirectTarget(r).empty()           ? kRedirect
                  : (r.status == 401 && !raw->authenticated && raw->host) ? kAuth
                                                                          : kFinal;
      if (raw->kind == kRedirect) Later(*raw, id, [](const StatePtr& q) { Redirected(q); });
      if (raw->kind == kFinal) Later(*raw, id, [](const StatePtr& q) { Respond(*q); });
    };
    x->on_body = [raw, id](const char* data, size_t n) {
      if (raw->kind == kRedirect) return;
      raw->pending.append(data, n);
      if (raw->kind == kAuth || raw->data_queued) return;
      raw->data_queued = true;
      Later(*raw, id, [](const StatePtr& q) { Data(*q); });
    };
    kv::inet::StartOnThread(x, [raw, id](CURLcode code) {
      Later(*raw, id, [code](const StatePtr& q) { Done(q, code); });
    });
  }

  static void Respond(State& s) {
    s.responded = true;
    s.response = s.hop->response();
    std::string type;
    s.response.Header("Content-Type", &type);
    long long length = s.response.ContentLength();
    s.events->OnHeaders(s.response.RawCrlf());
    if (s.cancelled) return;
    s.events->OnResponse(static_cast<int>(s.response.status), type, s.spec.url,
                         length > 0 ? static_cast<uint64_t>(length) : 0);
  }

  static void Data(State& s) {
    s.data_queued = false;
    if (s.pending.empty()) return;
    std::string chunk;
    chunk.swap(s.pending);
    if (s.cache) s.cache_body += chunk;
    s.events->OnData(reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size());
  }

  static void Redirected(const StatePtr& p) {
    State& s = *p;
    const kv::inet::Response r = s.hop->response();
    std::string next = kv::inet::RedirectTarget(r);
    DropHop(s);
    kv::inet::UrlParts parts;
    if (++s.redirects > kv::inet::kMaxRedirects || kv::inet::ParseUrl(next, &parts) != 0 || !parts.Http()) {
      Fail(s, INET_E_DOWNLOAD_FAILURE);
      return;
    }
    if (r.status == 303 || ((r.status == 301 || r.status == 302) && s.spec.method == "POST")) {
      s.spec.method.clear();
      s.spec.body.clear();
    }
    s.spec.url = next;
    StartHop(p);
  }

  // The host's credentials for a 401; false when it gives none.
  static bool AskCredentials(State& s) {
    IServiceProvider* services = nullptr;
    IAuthenticate* auth = nullptr;
    if (SUCCEEDED(s.host->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(&services))) && services) {
      Noted("QueryService IAuthenticate",
            services->QueryService(IID_IAuthenticate, IID_IAuthenticate, reinterpret_cast<void**>(&auth)));
      services->Release();
    }
    if (!auth) return false;
    HWND window = nullptr;
    LPWSTR user = nullptr, password = nullptr;
    HRESULT hr = Noted("Authenticate", auth->Authenticate(&window, &user, &password));
    auth->Release();
    s.spec.user = TakeTaskString(user);
    s.spec.password = TakeTaskString(password);
    return SUCCEEDED(hr) && !s.spec.user.empty();
  }

  static void Done(const StatePtr& p, CURLcode code) {
    State& s = *p;
    if (code != CURLE_OK) {
      Fail(s, kv::inet::BindResultOf(code));
      return;
    }
    if (s.kind == kAuth) {
      s.authenticated = true;  // asked once: a second 401 is the answer
      if (AskCredentials(s)) {
        if (s.cancelled) return;
        DropHop(s);
        StartHop(p);
        return;
      }
      if (s.cancelled) return;
      s.kind = kFinal;
      Respond(s);
    }
    if (!s.cancelled && !s.pending.empty()) Data(s);
    if (s.cancelled) return;
    if (s.cache) kv::inet::CacheResponse(s.response, s.cache_body);
    s.cache_body.clear();
    DropHop(s);
    s.cancelled = true;
    s.events->OnComplete();
  }

  StatePtr state_;
};

}  // namespace

std::unique_ptr<Load> StartInetLoad(const LoadRequest& request, LoadEvents* events) {
  return std::make_unique<InetLoad>(request, events);
}

std::string DocumentCookies(const std::string& url) {
  kv::inet::UrlParts parts;
  if (kv::inet::ParseUrl(url, &parts) != 0 || !parts.Http()) return std::string();
  return kv::inet::CookieHeader(parts, true);
}

bool SetDocumentCookie(const std::string& url, const std::string& cookie) {
  kv::inet::UrlParts parts;
  if (kv::inet::ParseUrl(url, &parts) != 0 || !parts.Http()) return false;
  return kv::inet::StoreCookie(parts, cookie, true);
}

void RecordVisit(const std::string& url, const std::string& title) {
  kv::inet::AddVisit(url, title, STATURLFLAG_ISTOPLEVEL);
}

}  // namespace kv::browser
