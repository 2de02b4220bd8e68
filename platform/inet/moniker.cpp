// URL monikers, bind contexts and the binding that drives the bind-status callback
// protocol (see urlmon.h for the order of callbacks).
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/error.h"
#include "platform/base/file.h"
#include "platform/base/internal.h"
#include "platform/base/trace.h"
#include "platform/inet/internal.h"
#include "platform/inet/urlmon.h"
#include "platform/base/global_memory.h"

namespace kv::inet {
namespace {

constexpr char16_t kHolder[] = u"_BSCB_Holder_";

// A COM object's reference count and IUnknown plumbing.
template <class Self>
class RefCounted {
 public:
  ULONG AddRefImpl() { return ++refs_; }
  ULONG ReleaseImpl() {
    ULONG n = --refs_;
    if (n == 0) delete static_cast<Self*>(this);
    return n;
  }

 private:
  std::atomic<ULONG> refs_{1};
};

template <class T>
class Ptr {
 public:
  Ptr() = default;
  explicit Ptr(T* adopt) : p_(adopt) {}
  static Ptr Share(T* p) {
    if (p) p->AddRef();
    return Ptr(p);
  }
  Ptr(const Ptr& o) : p_(o.p_) {
    if (p_) p_->AddRef();
  }
  Ptr& operator=(Ptr o) {
    std::swap(p_, o.p_);
    return *this;
  }
  ~Ptr() {
    if (p_) p_->Release();
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T** put() {
    *this = Ptr();
    return &p_;
  }

 private:
  T* p_ = nullptr;
};

bool SameObject(IUnknown* a, IUnknown* b) {
  if (!a || !b) return false;
  IUnknown* ua = nullptr;
  IUnknown* ub = nullptr;
  a->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&ua));
  b->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&ub));
  bool same = ua && ua == ub;
  if (ua) ua->Release();
  if (ub) ub->Release();
  return same;
}

// The interface from the callback itself, else through its service provider.
template <class T>
Ptr<T> Ask(IUnknown* from, REFIID iid) {
  Ptr<T> out;
  if (!from) return out;
  if (SUCCEEDED(from->QueryInterface(iid, reinterpret_cast<void**>(out.put()))) && out) return out;
  Ptr<IServiceProvider> sp;
  if (SUCCEEDED(from->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(sp.put()))) && sp)
    sp->QueryService(iid, iid, reinterpret_cast<void**>(out.put()));
  return out;
}

LPWSTR TaskString(const std::u16string& s) {
  auto* p = static_cast<LPWSTR>(CoTaskMemAlloc((s.size() + 1) * sizeof(WCHAR)));
  if (!p) return nullptr;
  std::memcpy(p, s.data(), s.size() * sizeof(WCHAR));
  p[s.size()] = 0;
  return p;
}

// Takes over a callee-allocated string.
std::string TakeTaskString(LPWSTR s) {
  if (!s) return std::string();
  std::string out = kv::WideToUtf8(s);
  CoTaskMemFree(s);
  return out;
}

void ReleaseBindInfo(BINDINFO* info) {
  if (info->szExtraInfo) CoTaskMemFree(info->szExtraInfo);
  if (info->szCustomVerb) CoTaskMemFree(info->szCustomVerb);
  if (info->pUnk) info->pUnk->Release();
  if (info->stgmedData.pUnkForRelease) {
    info->stgmedData.pUnkForRelease->Release();
  } else if (info->stgmedData.tymed == TYMED_HGLOBAL && info->stgmedData.hGlobal) {
    GlobalFree(info->stgmedData.hGlobal);
  } else if (info->stgmedData.tymed == TYMED_ISTREAM && info->stgmedData.pstm) {
    info->stgmedData.pstm->Release();
  }
  std::memset(info, 0, sizeof *info);
}

// "Name: value" lines of a CR LF separated header text.
void AddHeaderLines(const std::string& text, std::vector<std::string>* out) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    std::string line = Trim(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (!line.empty()) out->push_back(line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
}

// ---- Spare byte buffers -------------------------------------------------------------------

// A binding's chunk buffers come back here when it ends, so that binds one after another
// reuse the memory rather than grow the heap and hand it back to the system each time.
class BufferPool {
 public:
  static std::string Take() {
    BufferPool& p = Get();
    std::lock_guard<std::mutex> g(p.lock_);
    if (p.spare_.empty()) return std::string();
    std::string b = std::move(p.spare_.back());
    p.spare_.pop_back();
    return b;
  }
  static void Give(std::string&& buffer) {
    if (buffer.capacity() < 4096 || buffer.capacity() > kMaxKept) return;
    buffer.clear();
    BufferPool& p = Get();
    std::lock_guard<std::mutex> g(p.lock_);
    if (p.spare_.size() < kMaxSpare) p.spare_.push_back(std::move(buffer));
  }

 private:
  static constexpr size_t kMaxSpare = 8, kMaxKept = size_t{4} << 20;
  static BufferPool& Get() {
    static BufferPool* pool = new BufferPool;  // never destroyed: streams may end after exit starts
    return *pool;
  }
  std::mutex lock_;
  std::vector<std::string> spare_;
};

// ---- The stream a binding hands out -------------------------------------------------------

class BindStream final : public IStream, public RefCounted<BindStream> {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ISequentialStream) || IsEqualIID(riid, IID_IStream)) {
      *object = static_cast<IStream*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return AddRefImpl(); }
  ULONG Release() override { return ReleaseImpl(); }

  BindStream() : data_(BufferPool::Take()) {}
  ~BindStream() { BufferPool::Give(std::move(data_)); }

  // Takes the bytes; `bytes` comes back empty (holding the memory of bytes already read).
  void Append(std::string& bytes) {
    if (read_ == data_.size()) {
      data_.swap(bytes);
      read_ = 0;
      bytes.clear();
      return;
    }
    if (read_ > 65536 && read_ * 2 > data_.size()) {
      data_.erase(0, read_);
      read_ = 0;
    }
    data_ += bytes;
    bytes.clear();
  }
  void Complete() { complete_ = true; }

  HRESULT Read(void* buffer, ULONG size, ULONG* read) override {
    if (read) *read = 0;
    if (!buffer && size) return STG_E_INVALIDPOINTER;
    size_t n = std::min<size_t>(size, data_.size() - read_);
    if (n) std::memcpy(buffer, data_.data() + read_, n);
    read_ += n;
    if (read) *read = static_cast<ULONG>(n);
    if (n) return S_OK;
    return size == 0 ? S_OK : (complete_ ? S_FALSE : E_PENDING);
  }
  HRESULT Write(const void*, ULONG, ULONG*) override { return STG_E_INVALIDFUNCTION; }
  HRESULT Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return STG_E_INVALIDFUNCTION; }
  HRESULT SetSize(ULARGE_INTEGER) override { return STG_E_INVALIDFUNCTION; }
  HRESULT CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return STG_E_INVALIDFUNCTION; }
  HRESULT Commit(DWORD) override { return S_OK; }
  HRESULT Revert() override { return STG_E_INVALIDFUNCTION; }
  HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  HRESULT Stat(STATSTG* stat, DWORD) override {
    if (!stat) return STG_E_INVALIDPOINTER;
    std::memset(stat, 0, sizeof *stat);
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = data_.size() - read_;
    return S_OK;
  }
  HRESULT Clone(IStream**) override { return STG_E_INVALIDFUNCTION; }

 private:
  std::string data_;
  size_t read_ = 0;
  bool complete_ = false;
};

// ---- The binding ----------------------------------------------------------------------------

class Binding final : public IBinding, public IWinInetHttpInfo, public RefCounted<Binding> {
 public:
  Binding(std::string url, Ptr<IBindStatusCallback> callback)
      : url_(std::move(url)), callback_(std::move(callback)), stream_(new BindStream), pending_(BufferPool::Take()) {}

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IBinding)) {
      *object = static_cast<IBinding*>(this);
    } else if (IsEqualIID(riid, IID_IWinInetInfo) || IsEqualIID(riid, IID_IWinInetHttpInfo)) {
      *object = static_cast<IWinInetHttpInfo*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return AddRefImpl(); }
  ULONG Release() override { return ReleaseImpl(); }

  // IBinding.
  HRESULT Abort() override {
    if (state_ != kRunning) return INET_E_RESULT_DISPATCHED;
    Fail(E_ABORT);
    return S_OK;
  }
  HRESULT Suspend() override { return E_NOTIMPL; }
  HRESULT Resume() override { return E_NOTIMPL; }
  HRESULT SetPriority(LONG priority) override {
    priority_ = priority;
    return S_OK;
  }
  HRESULT GetPriority(LONG* priority) override {
    if (!priority) return E_INVALIDARG;
    *priority = priority_;
    return S_OK;
  }
  HRESULT GetBindResult(CLSID* protocol, DWORD* result, LPOLESTR* text, DWORD*) override {
    if (!result) return E_INVALIDARG;
    if (protocol) *protocol = GUID_NULL;
    if (text) *text = nullptr;
    *result = static_cast<DWORD>(result_);
    return state_ == kDone ? S_OK : E_FAIL;
  }

  // IWinInetHttpInfo.
  HRESULT QueryOption(DWORD, LPVOID, DWORD*) override { return E_NOTIMPL; }
  HRESULT QueryInfo(DWORD option, LPVOID buffer, DWORD* size, DWORD* flags, DWORD*) override {
    if (!have_response_) return HRESULT_FROM_WIN32(ERROR_HTTP_HEADER_NOT_FOUND);
    if (kv::inet::QueryInfo(response_, option, buffer, size, flags, false)) return S_OK;
    return HRESULT_FROM_WIN32(GetLastError());
  }

  // Everything BindToStorage does before it returns.
  HRESULT Begin() {
    BINDINFO info{};
    info.cbSize = sizeof info;
    DWORD bindf = 0;
    HRESULT hr;
    Ptr<IBindStatusCallbackEx> ex;
    callback_->QueryInterface(IID_IBindStatusCallbackEx, reinterpret_cast<void**>(ex.put()));
    if (ex) {
      DWORD bindf2 = 0, reserved = 0;
      hr = ex->GetBindInfoEx(&bindf, &info, &bindf2, &reserved);
    } else {
      hr = callback_->GetBindInfo(&bindf, &info);
    }
    if (FAILED(hr)) {
      ReleaseBindInfo(&info);
      return hr;
    }
    bindf_ = bindf;
    TakeBindInfo(&info);
    ReleaseBindInfo(&info);
    AddRef();  // the binding lives until OnStopBinding
    state_ = kRunning;
    hr = callback_->OnStartBinding(0, this);
    if (FAILED(hr)) {
      Fail(E_ABORT);
      return MK_S_ASYNCHRONOUS;
    }
    UrlParts parts;
    DWORD parse = ParseUrl(url_, &parts);
    if (parse == 0 && parts.Http()) {
      negotiate_ = Ask<IHttpNegotiate>(callback_.get(), IID_IHttpNegotiate);
      if (negotiate_) {
        LPWSTR extra = nullptr;
        std::u16string wurl = kv::Utf8ToWide(url_);
        hr = negotiate_->BeginningTransaction(wurl.c_str(), u"", 0, &extra);
        AddHeaderLines(TakeTaskString(extra), &spec_.extra_headers);
        if (FAILED(hr)) {
          Fail(E_ABORT);
          return MK_S_ASYNCHRONOUS;
        }
      }
    }
    if (parse != 0) {
      Fail(BindResultOfUrl(parse));
      return MK_S_ASYNCHRONOUS;
    }
    if (!parts.Http() && parts.kind != INTERNET_SCHEME_FILE) {
      Fail(INET_E_UNKNOWN_PROTOCOL);
      return MK_S_ASYNCHRONOUS;
    }
    http_ = parts.Http();
    cache_ = http_ && !(bindf_ & BINDF_NOWRITECACHE);
    for (ULONG status : {BINDSTATUS_FINDINGRESOURCE, BINDSTATUS_CONNECTING, BINDSTATUS_SENDINGREQUEST})
      Later([this, status] { Progress(0, 0, status, status == BINDSTATUS_FINDINGRESOURCE ? Host() : url_); });
    StartHop();
    return MK_S_ASYNCHRONOUS;
  }

 private:
  enum State { kIdle, kRunning, kStopping, kDone };
  enum HopKind { kFinal, kRedirect, kAuth };

  ~Binding() {
    BufferPool::Give(std::move(pending_));
    BufferPool::Give(std::move(cache_body_));
  }
  friend class RefCounted<Binding>;

  void TakeBindInfo(BINDINFO* info) {
    spec_.url = url_;
    spec_.user_agent = DefaultUserAgent();
    switch (info->dwBindVerb) {
      case BINDVERB_POST: spec_.method = "POST"; break;
      case BINDVERB_PUT: spec_.method = "PUT"; break;
      case BINDVERB_CUSTOM: spec_.method = info->szCustomVerb ? kv::WideToUtf8(info->szCustomVerb) : ""; break;
      default: break;
    }
    if (info->dwBindVerb != BINDVERB_GET) {
      if (info->stgmedData.tymed == TYMED_HGLOBAL && info->stgmedData.hGlobal) {
        if (void* p = GlobalLock(info->stgmedData.hGlobal)) {
          size_t n = std::min<size_t>(info->cbstgmedData, GlobalSize(info->stgmedData.hGlobal));
          spec_.body.assign(static_cast<const char*>(p), n);
          GlobalUnlock(info->stgmedData.hGlobal);
        }
      }
    }
  }

  std::string Host() const {
    UrlParts parts;
    return ParseUrl(url_, &parts) == 0 ? parts.host : url_;
  }

  // A task that holds the binding and runs only while it is running.
  void Later(std::function<void()> step, bool front = false) {
    AddRef();
    auto task = [this, step = std::move(step)] {
      if (state_ == kRunning) step();
      Release();
    };
    if (front) {
      PostTaskFront(task);
    } else {
      PostTask(task);
    }
  }

  bool Progress(ULONG progress, ULONG max, ULONG status, const std::string& text) {
    std::u16string w = kv::Utf8ToWide(text);
    HRESULT hr = callback_->OnProgress(progress, max, status, w.c_str());
    if (hr == E_ABORT) {
      Fail(E_ABORT);
      return false;
    }
    return state_ == kRunning;
  }

  void StartHop() {
    spec_.url = url_;
    hop_ = std::make_unique<Exchange>(spec_);
    const int id = ++hop_id_;
    if (!hop_->Prepare()) {
      Fail(http_ ? INET_E_INVALID_URL : INET_E_RESOURCE_NOT_FOUND);
      return;
    }
    Exchange* x = hop_.get();
    hop_kind_ = kFinal;
    x->on_headers = [this, x, id] {
      const Response& r = x->response();
      hop_kind_ = !RedirectTarget(r).empty()                                ? kRedirect
                  : (r.status == 401 && auth_tries_ < 3 && Authenticator()) ? kAuth
                                                                            : kFinal;
      if (hop_kind_ == kRedirect)
        Later([this, id] {
          if (id == hop_id_) Redirected();
        });
      if (hop_kind_ == kFinal)
        Later([this, id] {
          if (id == hop_id_) FinalHeaders(nullptr);
        });
    };
    x->on_body = [this, id](const char* data, size_t n) {
      if (id != hop_id_ || hop_kind_ == kRedirect) return;
      pending_.append(data, n);
      if (hop_kind_ == kAuth || data_queued_) return;
      data_queued_ = true;
      Later([this, id] {
        if (id == hop_id_) Data();
      });
    };
    StartOnThread(x, [this, id](CURLcode code) {
      Later([this, id, code] {
        if (id == hop_id_) Done(code);
      });
    });
  }

  bool Authenticator() {
    if (!authenticate_asked_) {
      authenticate_asked_ = true;
      authenticate_ex_ = Ask<IAuthenticateEx>(callback_.get(), IID_IAuthenticateEx);
      if (!authenticate_ex_) authenticate_ = Ask<IAuthenticate>(callback_.get(), IID_IAuthenticate);
    }
    return authenticate_ex_ || authenticate_;
  }

  void DropHop() {
    if (hop_) StopOnThread(hop_.get());
    hop_.reset();
    ++hop_id_;
    pending_.clear();
    data_queued_ = false;
  }

  void Redirected() {
    std::string next = RedirectTarget(hop_->response());
    const long status = hop_->response().status;
    DropHop();
    if (++redirects_ > kMaxRedirects) {
      Fail(INET_E_DOWNLOAD_FAILURE);
      return;
    }
    if (status == 303 || ((status == 301 || status == 302) && spec_.method == "POST")) {
      spec_.method.clear();
      spec_.body.clear();
    }
    url_ = next;
    if (!Progress(0, 0, BINDSTATUS_REDIRECTING, url_)) return;
    UrlParts parts;
    if (ParseUrl(url_, &parts) != 0 || !parts.Http()) {
      Fail(INET_E_DOWNLOAD_FAILURE);
      return;
    }
    StartHop();
  }

  // The final response's head: OnResponse now, then 13, 26 and 4 as the next tasks,
  // then `after` (the end, when the transfer finished before its head was handled).
  void FinalHeaders(std::function<void()> after) {
    response_ = hop_->response();
    have_response_ = true;
    if (after) Later(after, true);
    if (http_ && negotiate_) {
      std::u16string head = kv::Utf8ToWide(response_.RawCrlf());
      std::u16string sent = kv::Utf8ToWide(hop_->request_headers());
      LPWSTR extra = nullptr;
      HRESULT hr = negotiate_->OnResponse(static_cast<DWORD>(response_.status), head.c_str(), sent.c_str(), &extra);
      TakeTaskString(extra);
      if (FAILED(hr)) {
        Fail(E_ABORT);
        return;
      }
    }
    std::string mime = response_.MimeType();
    if (mime.empty()) mime = http_ ? "text/html" : MimeOfFile();
    Later([this] { Progress(0, 0, BINDSTATUS_BEGINDOWNLOADDATA, url_); }, true);
    if (response_.Attachment()) {
      std::string disposition;
      response_.Header("Content-Disposition", &disposition);
      Later([this, disposition] { Progress(0, 0, BINDSTATUS_CONTENTDISPOSITIONATTACH, disposition); }, true);
    }
    Later([this, mime] { Progress(0, 0, BINDSTATUS_MIMETYPEAVAILABLE, mime); }, true);
  }

  std::string MimeOfFile() const {
    std::string path = Lower(url_);
    auto ends = [&](const char* e) {
      return path.size() >= strlen(e) && path.compare(path.size() - strlen(e), std::string::npos, e) == 0;
    };
    if (ends(".htm") || ends(".html")) return "text/html";
    if (ends(".txt")) return "text/plain";
    if (ends(".gif")) return "image/gif";
    if (ends(".jpg") || ends(".jpeg")) return "image/jpeg";
    if (ends(".png")) return "image/png";
    if (ends(".js")) return "application/x-javascript";
    if (ends(".css")) return "text/css";
    return "application/octet-stream";
  }

  ULONG Max() const {
    long long n = response_.ContentLength();
    return n >= 0 ? static_cast<ULONG>(n) : 0;
  }

  void Data() {
    data_queued_ = false;
    if (pending_.empty()) return;
    total_ += pending_.size();
    if (cache_) cache_body_ += pending_;
    stream_->Append(pending_);
    if (!Progress(static_cast<ULONG>(total_), Max(), BINDSTATUS_DOWNLOADINGDATA, url_)) return;
    Available(first_data_ ? BSCF_INTERMEDIATEDATANOTIFICATION : BSCF_FIRSTDATANOTIFICATION);
    first_data_ = true;
  }

  void Available(DWORD flags) {
    FORMATETC format{0, nullptr, DVASPECT_CONTENT, -1, TYMED_ISTREAM};
    STGMEDIUM medium{};
    medium.tymed = TYMED_ISTREAM;
    medium.pstm = stream_.get();
    HRESULT hr = callback_->OnDataAvailable(flags, static_cast<DWORD>(total_), &format, &medium);
    if (hr == E_ABORT) Fail(E_ABORT);
  }

  void Done(CURLcode code) {
    if (code == CURLE_OK && hop_kind_ == kAuth) {
      if (Authenticate()) return;
      hop_kind_ = kFinal;  // declined: the 401 is the answer
    }
    if (code != CURLE_OK) {
      if (BindResultOf(code) == INET_E_SECURITY_PROBLEM && !spec_.insecure && AcceptCertificate(code)) {
        spec_.insecure = true;
        DropHop();
        StartHop();
        return;
      }
      DropHop();
      Fail(BindResultOf(code));
      return;
    }
    if (!have_response_) {
      FinalHeaders([this] { Finish(); });
      return;
    }
    Finish();
  }

  bool Authenticate() {
    ++auth_tries_;
    HWND window = nullptr;
    LPWSTR user = nullptr, password = nullptr;
    HRESULT hr;
    if (authenticate_ex_) {
      AUTHENTICATEINFO info{0, 0};
      hr = authenticate_ex_->AuthenticateEx(&window, &user, &password, &info);
    } else {
      hr = authenticate_->Authenticate(&window, &user, &password);
    }
    std::string u = TakeTaskString(user), p = TakeTaskString(password);
    if (state_ != kRunning) return true;
    if (FAILED(hr) || u.empty()) return false;  // declined: the 401 and its body are the answer
    DropHop();
    spec_.user = u;
    spec_.password = p;
    StartHop();
    return true;
  }

  bool AcceptCertificate(CURLcode code) {
    if (bindf_ & BINDF_IGNORESECURITYPROBLEM) return true;
    Ptr<IHttpSecurity> security = Ask<IHttpSecurity>(callback_.get(), IID_IHttpSecurity);
    if (!security) return false;
    DWORD problem =
        code == CURLE_PEER_FAILED_VERIFICATION ? ERROR_INTERNET_INVALID_CA : ERROR_INTERNET_SEC_CERT_CN_INVALID;
    return security->OnSecurityProblem(problem) == S_OK && state_ == kRunning;
  }

  void Finish() {
    // Bytes that arrived with the end still go out as a chunk first.
    if (!pending_.empty()) {
      Data();
      if (state_ != kRunning) return;
      Later([this] { Finish(); }, true);
      return;
    }
    if (!Progress(static_cast<ULONG>(total_), static_cast<ULONG>(total_), BINDSTATUS_ENDDOWNLOADDATA, url_)) return;
    stream_->Complete();
    Available(BSCF_LASTDATANOTIFICATION | BSCF_DATAFULLYAVAILABLE);
    if (state_ != kRunning) return;
    if (cache_) CacheResponse(response_, cache_body_);
    cache_body_.clear();
    Fail(response_.status >= 400 ? INET_E_DOWNLOAD_FAILURE : S_OK);
  }

  // Ends the binding (also when it completed): one OnStopBinding(result) as the next task.
  void Fail(HRESULT result) {
    if (state_ != kRunning && state_ != kIdle) return;
    bool started = state_ == kRunning;
    state_ = kStopping;
    DropHop();
    if (!started) return;
    AddRef();
    PostTaskFront([this, result] {
      Stop(result);
      Release();
    });
  }

  void Stop(HRESULT result) {
    if (state_ != kStopping) return;
    state_ = kDone;
    result_ = result;
    KvTrace("inet", "bind %s ends 0x%08X", url_.c_str(), static_cast<unsigned>(result));
    stream_->Complete();
    Ptr<IBindStatusCallback> callback = callback_;
    callback->OnStopBinding(result, nullptr);
    negotiate_ = Ptr<IHttpNegotiate>();
    authenticate_ = Ptr<IAuthenticate>();
    authenticate_ex_ = Ptr<IAuthenticateEx>();
    callback_ = Ptr<IBindStatusCallback>();
    Release();  // the reference Begin took
  }

  std::string url_;
  Ptr<IBindStatusCallback> callback_;
  Ptr<BindStream> stream_;
  Ptr<IHttpNegotiate> negotiate_;
  Ptr<IAuthenticate> authenticate_;
  Ptr<IAuthenticateEx> authenticate_ex_;
  bool authenticate_asked_ = false;
  RequestSpec spec_;
  DWORD bindf_ = 0;
  State state_ = kIdle;
  HRESULT result_ = S_OK;
  LONG priority_ = 0;
  bool http_ = false, cache_ = false;
  std::unique_ptr<Exchange> hop_;
  int hop_id_ = 0;
  HopKind hop_kind_ = kFinal;
  int redirects_ = 0, auth_tries_ = 0;
  Response response_;
  bool have_response_ = false;
  std::string pending_, cache_body_;
  bool data_queued_ = false, first_data_ = false;
  size_t total_ = 0;
};

// ---- Bind contexts -------------------------------------------------------------------------

class BindCtx final : public IBindCtx, public RefCounted<BindCtx> {
 public:
  ~BindCtx() {
    for (auto& p : params_) p.second->Release();
    ReleaseBoundObjects();
  }
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IBindCtx)) {
      *object = static_cast<IBindCtx*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return AddRefImpl(); }
  ULONG Release() override { return ReleaseImpl(); }

  HRESULT RegisterObjectBound(IUnknown* object) override {
    if (!object) return E_INVALIDARG;
    object->AddRef();
    bound_.push_back(object);
    return S_OK;
  }
  HRESULT RevokeObjectBound(IUnknown* object) override {
    for (auto it = bound_.begin(); it != bound_.end(); ++it) {
      if (*it == object) {
        (*it)->Release();
        bound_.erase(it);
        return S_OK;
      }
    }
    return MK_E_NOTBOUND;
  }
  HRESULT ReleaseBoundObjects() override {
    std::vector<IUnknown*> bound;
    bound.swap(bound_);
    for (IUnknown* o : bound) o->Release();
    return S_OK;
  }
  HRESULT SetBindOptions(BIND_OPTS* options) override {
    if (!options || options->cbStruct < sizeof(BIND_OPTS)) return E_INVALIDARG;
    options_ = *options;
    options_.cbStruct = sizeof options_;
    return S_OK;
  }
  HRESULT GetBindOptions(BIND_OPTS* options) override {
    if (!options || options->cbStruct < sizeof(BIND_OPTS)) return E_INVALIDARG;
    *options = options_;
    return S_OK;
  }
  HRESULT GetRunningObjectTable(IRunningObjectTable**) override { return E_NOTIMPL; }
  HRESULT RegisterObjectParam(LPOLESTR key, IUnknown* object) override {
    if (!key || !object) return E_INVALIDARG;
    object->AddRef();
    auto it = params_.find(key);
    if (it != params_.end()) {
      it->second->Release();
      it->second = object;
    } else {
      params_.emplace(key, object);
    }
    return S_OK;
  }
  HRESULT GetObjectParam(LPOLESTR key, IUnknown** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!key) return E_INVALIDARG;
    auto it = params_.find(key);
    if (it == params_.end()) return E_FAIL;
    *object = it->second;
    it->second->AddRef();
    return S_OK;
  }
  HRESULT EnumObjectParam(IEnumString**) override { return E_NOTIMPL; }
  HRESULT RevokeObjectParam(LPOLESTR key) override {
    if (!key) return E_INVALIDARG;
    auto it = params_.find(key);
    if (it == params_.end()) return S_FALSE;
    it->second->Release();
    params_.erase(it);
    return S_OK;
  }

 private:
  static constexpr HRESULT MK_E_NOTBOUND = KV_HR(0x800401E9);
  std::map<std::u16string, IUnknown*> params_;
  std::vector<IUnknown*> bound_;
  BIND_OPTS options_{sizeof(BIND_OPTS), 0, STGM_READWRITE, 0};
};

Ptr<IBindStatusCallback> Holder(IBindCtx* bc) {
  Ptr<IUnknown> unk;
  Ptr<IBindStatusCallback> cb;
  if (SUCCEEDED(bc->GetObjectParam(const_cast<LPOLESTR>(kHolder), unk.put())) && unk)
    unk->QueryInterface(IID_IBindStatusCallback, reinterpret_cast<void**>(cb.put()));
  return cb;
}

// ---- The URL moniker -----------------------------------------------------------------------

class UrlMoniker final : public IMoniker, public RefCounted<UrlMoniker> {
 public:
  explicit UrlMoniker(std::u16string url) : url_(std::move(url)) {}
  const std::u16string& url() const { return url_; }

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPersist) || IsEqualIID(riid, IID_IPersistStream) ||
        IsEqualIID(riid, IID_IMoniker)) {
      *object = static_cast<IMoniker*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return AddRefImpl(); }
  ULONG Release() override { return ReleaseImpl(); }

  HRESULT GetClassID(CLSID* clsid) override {
    if (!clsid) return E_INVALIDARG;
    *clsid = CLSID_StdURLMoniker;
    return S_OK;
  }
  HRESULT IsDirty() override { return S_FALSE; }
  HRESULT Load(IStream*) override { return E_NOTIMPL; }
  HRESULT Save(IStream*, BOOL) override { return E_NOTIMPL; }
  HRESULT GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }

  HRESULT BindToObject(IBindCtx*, IMoniker*, REFIID, void** object) override {
    if (object) *object = nullptr;
    return E_NOTIMPL;
  }
  HRESULT BindToStorage(IBindCtx* bc, IMoniker*, REFIID riid, void** object) override {
    if (!object) return E_INVALIDARG;
    *object = nullptr;
    if (!bc) return E_INVALIDARG;
    if (!IsEqualIID(riid, IID_IStream)) return E_NOINTERFACE;
    Ptr<IBindStatusCallback> cb = Holder(bc);
    if (!cb) return E_INVALIDARG;  // binds are asynchronous only
    Ptr<Binding> binding(new Binding(kv::WideToUtf8(url_), cb));
    return binding->Begin();
  }
  HRESULT Reduce(IBindCtx*, DWORD, IMoniker**, IMoniker** reduced) override {
    if (!reduced) return E_INVALIDARG;
    *reduced = this;
    AddRef();
    return MK_S_REDUCED_TO_SELF;
  }
  HRESULT ComposeWith(IMoniker*, BOOL, IMoniker**) override { return E_NOTIMPL; }
  HRESULT Enum(BOOL, IEnumMoniker** enumerator) override {
    if (!enumerator) return E_INVALIDARG;
    *enumerator = nullptr;
    return S_OK;
  }
  HRESULT IsEqual(IMoniker* other) override {
    if (!other) return E_INVALIDARG;
    LPOLESTR name = nullptr;
    if (FAILED(other->GetDisplayName(nullptr, nullptr, &name)) || !name) return S_FALSE;
    bool same = url_ == name;
    CoTaskMemFree(name);
    return same ? S_OK : S_FALSE;
  }
  HRESULT Hash(DWORD* hash) override {
    if (!hash) return E_INVALIDARG;
    DWORD h = 0;
    for (char16_t c : url_) h = h * 31 + c;
    *hash = h;
    return S_OK;
  }
  HRESULT IsRunning(IBindCtx*, IMoniker*, IMoniker*) override { return S_FALSE; }
  HRESULT GetTimeOfLastChange(IBindCtx*, IMoniker*, FILETIME*) override { return E_NOTIMPL; }
  HRESULT Inverse(IMoniker**) override { return E_NOTIMPL; }
  HRESULT CommonPrefixWith(IMoniker*, IMoniker**) override { return E_NOTIMPL; }
  HRESULT RelativePathTo(IMoniker*, IMoniker**) override { return E_NOTIMPL; }
  HRESULT GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR* name) override {
    if (!name) return E_INVALIDARG;
    *name = TaskString(url_);
    return *name ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT ParseDisplayName(IBindCtx*, IMoniker*, LPOLESTR, ULONG*, IMoniker**) override { return E_NOTIMPL; }
  HRESULT IsSystemMoniker(DWORD* kind) override {
    if (!kind) return E_INVALIDARG;
    *kind = 6;  // MKSYS_URLMONIKER
    return S_OK;
  }

 private:
  static constexpr HRESULT MK_S_REDUCED_TO_SELF = KV_HR(0x000401E2);
  std::u16string url_;
};

// ---- Feature controls ------------------------------------------------------------------------

std::atomic<bool> g_features[FEATURE_ENTRY_COUNT + 1];

const char* const kKnownSchemes[] = {"http", "https", "ftp", "file", "about", "mailto", "javascript", "res"};

}  // namespace
}  // namespace kv::inet

using kv::inet::BindCtx;
using kv::inet::Ptr;

extern "C" {

HRESULT CreateURLMonikerEx(IMoniker* context, LPCWSTR url, IMoniker** moniker, DWORD) {
  if (!moniker) return E_INVALIDARG;
  *moniker = nullptr;
  if (!url) return E_INVALIDARG;
  std::u16string full = url;
  if (context) {
    LPOLESTR base = nullptr;
    if (SUCCEEDED(context->GetDisplayName(nullptr, nullptr, &base)) && base) {
      std::string resolved = kv::inet::ResolveUrl(kv::WideToUtf8(base), kv::WideToUtf8(url));
      CoTaskMemFree(base);
      if (!resolved.empty()) full = kv::Utf8ToWide(resolved);
    }
  }
  *moniker = new kv::inet::UrlMoniker(full);
  return S_OK;
}

HRESULT CreateURLMoniker(IMoniker* context, LPCWSTR url, IMoniker** moniker) {
  return CreateURLMonikerEx(context, url, moniker, URL_MK_LEGACY);
}

HRESULT CreateBindCtx(DWORD, IBindCtx** out) {
  if (!out) return E_INVALIDARG;
  *out = new BindCtx;
  return S_OK;
}

HRESULT CreateAsyncBindCtx(DWORD, IBindStatusCallback* callback, void*, IBindCtx** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!callback) return E_INVALIDARG;
  auto* bc = new BindCtx;
  bc->RegisterObjectParam(const_cast<LPOLESTR>(kv::inet::kHolder), callback);
  *out = bc;
  return S_OK;
}

HRESULT RegisterBindStatusCallback(IBindCtx* bc, IBindStatusCallback* callback, IBindStatusCallback** previous, DWORD) {
  if (previous) *previous = nullptr;
  if (!bc || !callback) return E_INVALIDARG;
  Ptr<IBindStatusCallback> old = kv::inet::Holder(bc);
  if (previous && old && !kv::inet::SameObject(old.get(), callback)) {
    *previous = old.get();
    old->AddRef();
  }
  return bc->RegisterObjectParam(const_cast<LPOLESTR>(kv::inet::kHolder), callback);
}

HRESULT RevokeBindStatusCallback(IBindCtx* bc, IBindStatusCallback* callback) {
  if (!bc || !callback) return E_INVALIDARG;
  Ptr<IBindStatusCallback> old = kv::inet::Holder(bc);
  if (!old || !kv::inet::SameObject(old.get(), callback)) return E_FAIL;
  bc->RevokeObjectParam(const_cast<LPOLESTR>(kv::inet::kHolder));
  return S_OK;
}

HRESULT IsValidURL(IBindCtx*, LPCWSTR url, DWORD) {
  if (!url) return E_INVALIDARG;
  kv::inet::UrlParts parts;
  if (kv::inet::ParseUrl(kv::WideToUtf8(url), &parts) != 0) return S_FALSE;
  for (const char* s : kv::inet::kKnownSchemes)
    if (parts.scheme == s) return S_OK;
  return S_FALSE;
}

HRESULT URLDownloadToFileW(IUnknown*, LPCWSTR url, LPCWSTR file, DWORD, IBindStatusCallback* callback) {
  if (!url || !file) return E_INVALIDARG;
  std::string target = kv::base::MapWidePath(file);
  if (target.empty()) return E_INVALIDARG;
  kv::inet::UrlParts parts;
  std::string u = kv::WideToUtf8(url);
  if (DWORD e = kv::inet::ParseUrl(u, &parts)) return kv::inet::BindResultOfUrl(e);
  if (callback) callback->OnProgress(0, 0, BINDSTATUS_BEGINDOWNLOADDATA, url);
  std::string temp = target + ".kvpart";
  std::ofstream out(temp, std::ios::binary | std::ios::trunc);
  HRESULT hr = S_OK;
  if (!out) {
    hr = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
  } else {
    kv::inet::RequestSpec spec;
    spec.url = u;
    spec.user_agent = kv::inet::DefaultUserAgent();
    kv::inet::Response response;
    CURLcode code = kv::inet::FetchSync(
        spec, &response, [&](const char* d, size_t n) { out.write(d, static_cast<std::streamsize>(n)); });
    out.close();
    if (code != CURLE_OK) {
      hr = kv::inet::BindResultOf(code);
    } else if (response.status >= 400) {
      hr = INET_E_DOWNLOAD_FAILURE;
    } else if (!out || std::rename(temp.c_str(), target.c_str()) != 0) {
      hr = HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
    }
  }
  if (FAILED(hr)) std::remove(temp.c_str());
  if (callback) {
    if (SUCCEEDED(hr)) callback->OnProgress(0, 0, BINDSTATUS_ENDDOWNLOADDATA, url);
    callback->OnStopBinding(hr, nullptr);
  }
  return hr;
}

HRESULT URLDownloadToFileA(IUnknown* caller, LPCSTR url, LPCSTR file, DWORD reserved, IBindStatusCallback* callback) {
  if (!url || !file) return E_INVALIDARG;
  std::u16string u = kv::AnsiToWide(url), f = kv::AnsiToWide(file);
  return URLDownloadToFileW(caller, u.c_str(), f.c_str(), reserved, callback);
}

HRESULT CoInternetSetFeatureEnabled(DWORD feature, DWORD flags, BOOL enable) {
  if (feature > FEATURE_ENTRY_COUNT) return E_FAIL;
  if (!(flags & (SET_FEATURE_ON_PROCESS | SET_FEATURE_ON_THREAD))) return E_INVALIDARG;
  kv::inet::g_features[feature] = enable != FALSE;
  return S_OK;
}

HRESULT CoInternetIsFeatureEnabled(DWORD feature, DWORD) {
  if (feature > FEATURE_ENTRY_COUNT) return E_FAIL;
  return kv::inet::g_features[feature] ? S_OK : S_FALSE;
}

}  // extern "C"
