// The web browser control: its COM object, navigation steps, events, host calls, windows
// and input.
#include "platform/browser/control.h"
#include "platform/comctl/comctl.h"
#include "platform/comctl/listview.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/base/codepage.h"
#include "platform/base/trace.h"
#include "platform/browser/download.h"
#include "platform/browser/element.h"
#include "platform/browser/layout.h"
#include "platform/browser/object.h"
#include "platform/browser/recorders.h"
#include "platform/browser/script.h"
#include "platform/browser/task.h"
#include "platform/browser/url.h"
#include "platform/com/builtin.h"
#include "platform/inet/internal.h"
#include "platform/registry/registry.h"
#include "platform/user/user.h"

namespace kv::browser {
namespace {

inline constexpr GUID CGID_MSHTML = {0xDE4BA900, 0x59CA, 0x11CF, {0x95, 0x92, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const WCHAR kEmbeddingClass[] = u"Shell Embedding";
const WCHAR kViewClass[] = u"Shell DocObject View";
const WCHAR kDocumentClass[] = u"Internet Explorer_Server";

// Own context-menu commands.
constexpr UINT kCmdBack = 2282, kCmdForward = 2283, kCmdRefresh = 2300, kCmdSelectAll = 31, kCmdPrint = 27,
               kCmdViewSource = 2139, kCmdProperties = 28, kCmdOpenLink = 2136, kCmdOpenNewWindow = 2137;

std::string Str(const VARIANT* v) {
  if (!v) return {};
  if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
  if (v->vt == VT_BSTR) return Utf8(v->bstrVal);
  if (v->vt == (VT_BYREF | VT_BSTR) && v->pbstrVal) return Utf8(*v->pbstrVal);
  return {};
}

// An optional argument: VT_EMPTY, VT_ERROR, VT_NULL and numbers count as absent for texts.
bool Absent(const VARIANT* v) {
  if (!v) return true;
  if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
  return v->vt == VT_EMPTY || v->vt == VT_ERROR || v->vt == VT_NULL;
}

LONG Long(const VARIANT* v) {
  if (Absent(v)) return 0;
  if (v->vt == (VT_BYREF | VT_VARIANT)) v = v->pvarVal;
  VARIANT x;
  VariantInit(&x);
  if (FAILED(VariantChangeType(&x, v, 0, VT_I4))) return 0;
  return x.lVal;
}

std::vector<uint8_t> Bytes(const VARIANT* v) {
  std::vector<uint8_t> out;
  if (Absent(v)) return out;
  if (v->vt == (VT_BYREF | VT_VARIANT)) v = v->pvarVal;
  SAFEARRAY* sa = nullptr;
  if (v->vt == (VT_ARRAY | VT_UI1))
    sa = v->parray;
  else if (v->vt == (VT_BYREF | VT_ARRAY | VT_UI1) && v->pparray)
    sa = *v->pparray;
  if (!sa) return out;
  LONG lo = 0, hi = -1;
  SafeArrayGetLBound(sa, 1, &lo);
  SafeArrayGetUBound(sa, 1, &hi);
  void* data = nullptr;
  if (hi >= lo && SUCCEEDED(SafeArrayAccessData(sa, &data))) {
    const auto* p = static_cast<const uint8_t*>(data);
    out.assign(p, p + (hi - lo + 1));
    SafeArrayUnaccessData(sa);
  }
  return out;
}

VARIANT VBstr(const std::string& s) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = Bstr(s);
  return v;
}
VARIANT VLong(LONG n) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = n;
  return v;
}
VARIANT VBool(bool b) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}
VARIANT VDispatch(IDispatch* d) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_DISPATCH;
  v.pdispVal = d;
  if (d) d->AddRef();
  return v;
}
VARIANT VRefVariant(VARIANT* target) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BYREF | VT_VARIANT;
  v.pvarVal = target;
  return v;
}
VARIANT VRefBool(VARIANT_BOOL* target) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BYREF | VT_BOOL;
  v.pboolVal = target;
  return v;
}

template <typename I>
I* Ask(IUnknown* from, const IID& iid) {
  I* out = nullptr;
  if (from && FAILED(from->QueryInterface(iid, reinterpret_cast<void**>(&out)))) out = nullptr;
  return out;
}
template <typename I>
void Drop(I*& p) {
  if (p) p->Release();
  p = nullptr;
}

// The window procedures find their browser through GWLP_USERDATA.
WebBrowser* BrowserOf(HWND hwnd) { return reinterpret_cast<WebBrowser*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

LRESULT EmbeddingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_SIZE) {
    // The view fills the embedding window, the document window fills the view.
    if (HWND child = GetWindow(hwnd, GW_CHILD)) MoveWindow(child, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
  }
  if (msg == WM_NCDESTROY)
    if (WebBrowser* b = BrowserOf(hwnd)) b->WindowGone(hwnd);
  return DefWindowProcW(hwnd, msg, wp, lp);
}
LRESULT ViewProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  WebBrowser* b = BrowserOf(hwnd);
  if (msg == WM_SIZE) {
    for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
      MoveWindow(child, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
  }
  if (msg == WM_NCDESTROY && b) b->WindowGone(hwnd);
  if (b && msg == WM_NOTIFY) return b->ViewWindowMessage(hwnd, msg, wp, lp);
  return DefWindowProcW(hwnd, msg, wp, lp);
}
LRESULT DocumentProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  WebBrowser* b = BrowserOf(hwnd);
  if (msg == WM_NCDESTROY && b) b->WindowGone(hwnd);
  if (b) return b->DocumentWindowMessage(hwnd, msg, wp, lp);
  return DefWindowProcW(hwnd, msg, wp, lp);
}

void RegisterClasses() {
  static bool done = false;
  if (done) return;
  done = true;
  InitCommonControls();
  const struct {
    const WCHAR* name;
    WNDPROC proc;
  } classes[] = {{kEmbeddingClass, EmbeddingProc}, {kViewClass, ViewProc}, {kDocumentClass, DocumentProc}};
  for (const auto& c : classes) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = c.proc;
    wc.lpszClassName = c.name;
    RegisterClassW(&wc);
  }
}

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The built-in page shown for a failed navigation.
std::string ErrorPage(const std::string& url, LONG code) {
  char num[16];
  std::snprintf(num, sizeof num, "0x%08X", static_cast<unsigned>(code));
  std::string escaped;
  for (char c : url) escaped += c == '<' ? std::string("&lt;") : c == '&' ? std::string("&amp;") : std::string(1, c);
  return "<html><head><title>Navigation failed</title></head><body><p>The page cannot be displayed.</p><p>" + escaped +
         "</p><p>" + (code >= 400 && code < 1000 ? std::to_string(code) : std::string(num)) + "</p></body></html>";
}

// The folder view's "document": a dispatch object with no members and no document
// interfaces.
class FolderObject final : public IDispatch {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
      *object = this;
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }
  HRESULT GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override {
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  std::atomic<ULONG> refs_{1};
};

}  // namespace

// ---- Navigation's loader events ---------------------------------------------------------------------------
void Navigation::OnResponse(int s, const std::string& type, const std::string& final_url, uint64_t len) {
  status = s;
  content_type = type;
  length = len;
  if (!final_url.empty()) url = final_url;
  browser->LoadResponse(generation, s);
}
void Navigation::OnData(const uint8_t* data, size_t size) {
  body.append(reinterpret_cast<const char*>(data), size);
  browser->LoadProgress(generation, body.size(), length);
}
void Navigation::OnDirectory(const std::vector<DirectoryEntry>& list) {
  folder = true;
  entries = list;
}
void Navigation::OnComplete() { browser->LoadComplete(generation); }
void Navigation::OnFailure(HRESULT code) { browser->LoadFailed(generation, code); }

void FrameSlot::OnResponse(int s, const std::string& type, const std::string& final_url, uint64_t) {
  status = s;
  content_type = type;
  if (!final_url.empty()) url = final_url;
}
void FrameSlot::OnData(const uint8_t* data, size_t size) { body.append(reinterpret_cast<const char*>(data), size); }
void FrameSlot::OnComplete() { browser->FrameDone(this, generation, S_OK); }
void FrameSlot::OnFailure(HRESULT code) { browser->FrameDone(this, generation, code); }

// ---- Object ---------------------------------------------------------------------------------------------
WebBrowser::WebBrowser() {
  events_ = new kv::ConnectionPoint(this, DIID_DWebBrowserEvents2);
  property_sinks_ = new kv::ConnectionPoint(this, IID_IPropertyNotifySink);
  for (DISPID id : {402, 403, 405, 406, 407, 550, 551, 552, 553, 554, 555, 556}) {
    VARIANT v;
    VariantInit(&v);
    if (id == 405) {
      v.vt = VT_I4;
      v.lVal = 0;
    } else {
      v.vt = VT_BOOL;
      v.boolVal = (id == 402 || id == 553 || id == 556) ? VARIANT_TRUE : VARIANT_FALSE;
    }
    properties_[id] = v;
  }
  VARIANT text;
  VariantInit(&text);
  text.vt = VT_BSTR;
  text.bstrVal = Bstr("");
  properties_[404] = text;
}

WebBrowser::~WebBrowser() {
  alive_.reset();
  DropNavigation();  // its loader callback may be on the stack
  DropFrames();
  DestroyWindows();
  if (document_) {
    document_->TearDown();
    document_->Release();
  }
  Drop(folder_document_);
  events_->Detach();
  events_->Release();
  property_sinks_->Detach();
  property_sinks_->Release();
  for (auto& p : properties_) VariantClear(&p.second);
  for (auto& e : frozen_events_)
    for (auto& v : e.second) VariantClear(&v);
  Drop(ui_handler_);
  Drop(show_ui_);
  Drop(host_commands_);
  Drop(services_);
  Drop(ambient_);
  Drop(inplace_site_);
  Drop(site_);
}

HRESULT WebBrowser::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IWebBrowser2) ||
      IsEqualIID(riid, IID_IWebBrowserApp) || IsEqualIID(riid, IID_IWebBrowser))
    *object = static_cast<IWebBrowser2*>(this);
  else if (IsEqualIID(riid, IID_IConnectionPointContainer))
    *object = static_cast<IConnectionPointContainer*>(this);
  else if (IsEqualIID(riid, IID_IOleObject))
    *object = static_cast<IOleObject*>(this);
  else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceObject))
    *object = static_cast<IOleInPlaceObject*>(this);
  else if (IsEqualIID(riid, IID_IOleInPlaceActiveObject))
    *object = static_cast<IOleInPlaceActiveObject*>(this);
  else if (IsEqualIID(riid, IID_IOleControl))
    *object = static_cast<IOleControl*>(this);
  else if (IsEqualIID(riid, IID_IViewObject))
    *object = static_cast<IViewObject*>(this);
  else if (IsEqualIID(riid, IID_IPersistStreamInit) || IsEqualIID(riid, IID_IPersist))
    *object = static_cast<IPersistStreamInit*>(this);
  else if (IsEqualIID(riid, IID_IOleCommandTarget))
    *object = static_cast<IOleCommandTarget*>(this);
  if (!*object) return E_NOINTERFACE;
  AddRef();
  return S_OK;
}
ULONG WebBrowser::AddRef() { return ++refs_; }
ULONG WebBrowser::Release() {
  ULONG n = --refs_;
  if (n == 0) delete this;
  return n;
}

void WebBrowser::Post(std::function<void()> step) {
  std::weak_ptr<int> alive = alive_;
  PostTask([this, alive, step]() {
    if (alive.expired()) return;
    AddRef();
    step();
    Release();
  });
}

// ---- Events ---------------------------------------------------------------------------------------------
void WebBrowser::Fire(DISPID id, std::vector<VARIANT> args) {
  if (frozen_ > 0) {
    // Queued until the container thaws them; by-reference arguments do not survive.
    bool byref = false;
    for (auto& a : args) byref = byref || (a.vt & VT_BYREF);
    if (!byref) {
      frozen_events_.emplace_back(id, std::move(args));
      return;
    }
  }
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS dp{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  KvTrace("browser", "event %d (%u arguments)", static_cast<int>(id), dp.cArgs);
  AddRef();
  for (IUnknown* sink : events_->Sinks()) {
    if (!closed_) {
      VARIANT result;
      VariantInit(&result);
      static_cast<IDispatch*>(sink)->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &dp, &result, nullptr, nullptr);
      VariantClear(&result);
    }
    sink->Release();
  }
  RecordEvent(id, args, static_cast<IWebBrowser2*>(this));
  for (auto& a : args)
    if (!(a.vt & VT_BYREF)) VariantClear(&a);
  Release();
}

void WebBrowser::FireStatusText(const std::string& text) { Fire(DISPID_STATUSTEXTCHANGE, {VBstr(text)}); }
void WebBrowser::FireProgress(LONG progress, LONG max) { Fire(DISPID_PROGRESSCHANGE, {VLong(progress), VLong(max)}); }
void WebBrowser::FireCommandState(LONG command, bool enabled) {
  Fire(DISPID_COMMANDSTATECHANGE, {VLong(command), VBool(enabled)});
}
void WebBrowser::FireTitle(const std::string& title) { Fire(DISPID_TITLECHANGE, {VBstr(title)}); }
void WebBrowser::FireDownload(bool begin) { Fire(begin ? DISPID_DOWNLOADBEGIN : DISPID_DOWNLOADCOMPLETE, {}); }

void WebBrowser::FireUrlEvent(DISPID id, const std::string& url, IDispatch* source) {
  VARIANT u = VBstr(url);
  Fire(id, {VDispatch(source ? source : static_cast<IWebBrowser2*>(this)), VRefVariant(&u)});
  VariantClear(&u);
}

bool WebBrowser::FireBeforeNavigate(const std::string& url, LONG flags, const std::vector<uint8_t>& post,
                                    const std::string& headers, IDispatch* source, const std::string& frame) {
  VARIANT u = VBstr(url), f = VLong(flags), target = VBstr(frame), data, head = VBstr(headers);
  VariantInit(&data);
  if (!post.empty()) {
    data.vt = VT_ARRAY | VT_UI1;
    data.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(post.size()));
    void* p = nullptr;
    SafeArrayAccessData(data.parray, &p);
    std::memcpy(p, post.data(), post.size());
    SafeArrayUnaccessData(data.parray);
  }
  VARIANT_BOOL cancel = VARIANT_FALSE;
  Fire(DISPID_BEFORENAVIGATE2,
       {VDispatch(source ? source : static_cast<IWebBrowser2*>(this)), VRefVariant(&u), VRefVariant(&f),
        VRefVariant(&target), VRefVariant(&data), VRefVariant(&head), VRefBool(&cancel)});
  for (VARIANT* v : {&u, &f, &target, &data, &head}) VariantClear(v);
  return cancel != VARIANT_FALSE;
}

bool WebBrowser::FireNavigateError(const std::string& url, LONG status, IDispatch* source,
                                   const std::string& frame_name) {
  VARIANT u = VBstr(url), frame = VBstr(frame_name), code = VLong(status);
  VARIANT_BOOL cancel = VARIANT_FALSE;
  Fire(DISPID_NAVIGATEERROR, {VDispatch(source ? source : static_cast<IWebBrowser2*>(this)), VRefVariant(&u),
                              VRefVariant(&frame), VRefVariant(&code), VRefBool(&cancel)});
  for (VARIANT* v : {&u, &frame, &code}) VariantClear(v);
  return cancel != VARIANT_FALSE;
}

void WebBrowser::HostExec(const GUID& group, DWORD id) {
  if (host_commands_) Noted("Exec " + std::to_string(id), host_commands_->Exec(&group, id, 0, nullptr, nullptr));
}

void WebBrowser::SetReadyState(int state) {
  if (state == ready_state_) return;
  ready_state_ = state;
  AddRef();
  for (IUnknown* sink : property_sinks_->Sinks()) {
    static_cast<IPropertyNotifySink*>(sink)->OnChanged(DISPID_READYSTATE);
    sink->Release();
  }
  Release();
}

// ---- Host answers -----------------------------------------------------------------------------------------
void WebBrowser::ReadAmbient() {
  if (!ambient_) return;
  auto get = [&](DISPID id, VARIANT* out) {
    VariantInit(out);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    return SUCCEEDED(Noted("Ambient " + std::to_string(id),
                           ambient_->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, out, nullptr, nullptr)));
  };
  VARIANT v;
  if (get(DISPID_AMBIENT_DLCONTROL, &v)) {
    VARIANT n;
    VariantInit(&n);
    if (SUCCEEDED(VariantChangeType(&n, &v, 0, VT_I4))) download_flags_ = static_cast<DWORD>(n.lVal);
  }
  VariantClear(&v);
  user_agent_.clear();
  if (get(DISPID_AMBIENT_USERAGENT, &v) && v.vt == VT_BSTR) {
    std::string ua = Utf8(v.bstrVal);
    // One trailing CR LF is dropped; any other line break would inject headers and is refused.
    if (ua.size() >= 2 && ua.compare(ua.size() - 2, 2, "\r\n") == 0) ua.resize(ua.size() - 2);
    if (ua.find_first_of("\r\n") == std::string::npos)
      user_agent_ = ua;
    else
      KvTrace("browser", "ambient user agent with a line break refused");
  }
  VariantClear(&v);
  if (get(DISPID_AMBIENT_USERMODE, &v) && v.vt == VT_BOOL) user_mode_ = v.boolVal != VARIANT_FALSE;
  VariantClear(&v);
}

void WebBrowser::QueryHostInfo() {
  if (!ui_handler_) return;
  DOCHOSTUIINFO info{};
  info.cbSize = sizeof info;
  if (SUCCEEDED(Noted("GetHostInfo", ui_handler_->GetHostInfo(&info)))) host_flags_ = info.dwFlags;
  CoTaskMemFree(info.pchHostCss);
  CoTaskMemFree(info.pchHostNS);
}

void WebBrowser::InitHostBehaviors() {
  if (!services_) return;
  IHostBehaviorInit* init = nullptr;
  if (SUCCEEDED(Noted("QueryService IHostBehaviorInit",
                      services_->QueryService(IID_IHostBehaviorInit, IID_IHostBehaviorInit,
                                              reinterpret_cast<void**>(&init)))) &&
      init) {
    Noted("PopulateNamespaceTable", init->PopulateNamespaceTable());
    init->Release();
  }
}

// ---- Navigation -----------------------------------------------------------------------------------------------
HRESULT WebBrowser::StartNavigation(std::string url, std::vector<uint8_t> post_data, std::string headers, LONG flags,
                                    int travel_to, bool refresh) {
  if (closed_) return E_UNEXPECTED;
  if (UrlScheme(url) == "javascript") {
    // The code runs in the shown document; nothing navigates. Without scripts nothing runs.
    Script* script = document_ ? document_->GetScript() : nullptr;
    if (!script) return S_FALSE;
    AddRef();
    script->RunText(PercentDecode(std::string_view(url).substr(url.find(':') + 1)));
    Release();
    return S_OK;
  }
  AddRef();
  ReadAmbient();
  if (!refresh && ui_handler_) {
    std::u16string in = Utf8ToWide(url);
    in.push_back(0);
    LPWSTR out = nullptr;
    if (Noted("TranslateUrl", ui_handler_->TranslateUrl(0, in.data(), &out)) == S_OK && out) url = WideToUtf8(out);
    CoTaskMemFree(out);
  }
  uint64_t before = generation_;
  if (!refresh) {
    bool cancel = FireBeforeNavigate(url, flags, post_data, headers);
    // A navigation started inside the handler, or a close, supersedes this one.
    if (cancel || closed_ || generation_ != before) {
      Release();
      return S_OK;
    }
  }
  DropNavigation();
  if (!refresh) NavigationSound(url);
  uint64_t gen = ++generation_;
  nav_ = std::make_unique<Navigation>();
  nav_->browser = this;
  nav_->generation = gen;
  nav_->url = url;
  nav_->requested = url;
  nav_->post_data = std::move(post_data);
  nav_->headers = std::move(headers);
  nav_->flags = flags;
  nav_->travel_to = travel_to;
  nav_->refresh = refresh;
  SetReadyState(READYSTATE_LOADING);
  Post([this, gen]() { BeginTransfer(gen); });
  Release();
  return S_OK;
}

void WebBrowser::DropNavigation() {
  if (!nav_) return;
  nav_->load.reset();
  // The object may be in the middle of one of its callbacks: freed after the running task.
  Navigation* old = nav_.release();
  PostTask([old]() { delete old; });
}

void WebBrowser::BeginTransfer(uint64_t gen) {
  if (!Current(gen)) return;
  nav_->begun = true;
  FireDownload(true);
  if (!Current(gen)) return;
  FireStatusText(nav_->url);
  if (!Current(gen)) return;
  LoadRequest request;
  request.url = nav_->url;
  request.method = nav_->post_data.empty() ? "GET" : "POST";
  request.body = nav_->post_data;
  request.headers = nav_->headers;
  request.user_agent = user_agent_;
  request.no_cache_write = (nav_->flags & navNoWriteToCache) != 0;
  request.host = site_;
  if (document_) request.referer = document_->Url();
  nav_->load = StartLoad(request, nav_.get());
}

void WebBrowser::EndUncommitted() {
  bool begun = nav_ && nav_->begun;
  DropNavigation();
  ++generation_;
  AddRef();
  SetReadyState(document_ || folder_document_ ? READYSTATE_COMPLETE : READYSTATE_UNINITIALIZED);
  if (begun) FireDownload(false);
  Release();
}

void WebBrowser::LoadResponse(uint64_t gen, int status) {
  if (!Current(gen)) return;
  if (status < 400) {
    if (IsUndisplayed(nav_->content_type, nav_->response_headers)) BeginDownload(gen);
    return;
  }
  std::string url = nav_->url;
  AddRef();
  bool cancel = FireNavigateError(url, status);
  if (Current(gen) && cancel) EndUncommitted();
  Release();
}

void WebBrowser::BeginDownload(uint64_t gen) {
  AddRef();
  VARIANT_BOOL cancel = VARIANT_FALSE;
  Fire(DISPID_FILEDOWNLOAD, {VBool(false), VRefBool(&cancel)});
  if (Current(gen)) {
    bool taken = cancel != VARIANT_FALSE;
    if (!taken) {
      const std::string url = nav_->url, requested = nav_->requested, headers = nav_->headers;
      const std::vector<uint8_t> post = nav_->post_data;
      taken = OfferDownload(services_, url, url != requested ? url : "", post, headers) == S_OK;
    }
    if (Current(gen)) {
      if (taken)
        EndUncommitted();
      else
        nav_->download = true;  // the body goes to the Downloads folder at its end
    }
  }
  Release();
}

void WebBrowser::LoadProgress(uint64_t gen, uint64_t received, uint64_t length) {
  if (!Current(gen)) return;
  AddRef();
  FireProgress(static_cast<LONG>(std::min<uint64_t>(received, 0x7FFFFFFF)),
               static_cast<LONG>(std::min<uint64_t>(length, 0x7FFFFFFF)));
  Release();
}

void WebBrowser::LoadFailed(uint64_t gen, HRESULT code) {
  if (!Current(gen)) return;
  AddRef();
  std::string url = nav_->url;
  if (nav_->download) {
    RecordFailedDownload(url, code);
    EndUncommitted();
    Release();
    return;
  }
  bool cancel = FireNavigateError(url, static_cast<LONG>(code));
  if (Current(gen)) {
    nav_->load.reset();
    if (cancel) {
      EndUncommitted();
    } else {
      // The built-in error document commits under the failed URL.
      nav_->folder = false;
      nav_->body = ErrorPage(url, static_cast<LONG>(code));
      nav_->content_type = "text/html; charset=utf-8";
      Commit(gen);
    }
  }
  Release();
}

void WebBrowser::LoadComplete(uint64_t gen) {
  if (!Current(gen)) return;
  AddRef();
  if (nav_->download) {
    SaveDownload(nav_->url, nav_->response_headers, nav_->body);
    EndUncommitted();
    Release();
    return;
  }
  if (nav_->status >= 400 && nav_->body.empty()) {
    nav_->body = ErrorPage(nav_->url, nav_->status);
    nav_->content_type = "text/html; charset=utf-8";
  }
  Commit(gen);
  Release();
}

void WebBrowser::Commit(uint64_t gen) {
  Navigation* nav = nav_.get();
  std::string url = nav->url;
  bool refresh = nav->refresh;
  int travel_to = nav->travel_to;
  // The old document is torn down, its frames first.
  DropFrames();
  if (document_) {
    Document* old = document_;
    document_ = nullptr;
    old->TearDown();
    old->Release();
    HostExec(CGID_Explorer, 37);
    if (!Current(gen)) return;
  }
  Drop(folder_document_);
  folder_entries_.clear();
  QueryHostInfo();
  if (!Current(gen)) return;
  bool folder = nav->folder;
  if (!folder) {
    InitHostBehaviors();
    if (!Current(gen)) return;
  }
  if (folder) {
    folder_entries_ = nav->entries;
    folder_document_ = new FolderObject();
  } else {
    document_ = new Document(this, url);
    document_->LoadBytes(reinterpret_cast<const uint8_t*>(nav->body.data()), nav->body.size(), nav->content_type);
    document_->OnStreamLoaded = [this](Document* d) {
      Post([this, d]() {
        if (d == document_) FireUrlEvent(DISPID_DOCUMENTCOMPLETE, d->Url());
      });
    };
  }
  location_url_ = url;
  std::string title = document_ ? document_->Title() : "";
  location_name_ = title.empty() ? url : title;
  if (!refresh && !(nav->flags & navNoHistory)) {
    if (travel_to >= 0 && travel_to < static_cast<int>(travel_.size())) {
      travel_index_ = travel_to;
    } else {
      travel_.resize(static_cast<size_t>(travel_index_ + 1));
      travel_.push_back({url, nav->post_data, nav->headers});
      travel_index_ = static_cast<int>(travel_.size()) - 1;
    }
    if (UrlScheme(url) != "about") RecordVisit(url, location_name_);
  }
  ShowView();
  if (!refresh) {
    FireUrlEvent(DISPID_NAVIGATECOMPLETE2, url);
    if (!Current(gen)) return;
  }
  FireCommandState(2, travel_index_ > 0);
  if (!Current(gen)) return;
  FireCommandState(1, travel_index_ + 1 < static_cast<int>(travel_.size()));
  if (!Current(gen)) return;
  if (!folder) {
    FireTitle(location_name_);
    if (!Current(gen)) return;
  }
  if (document_window_ || folder_window_) {
    HostExec(CGID_Explorer, 39);
    if (!Current(gen)) return;
  }
  if (document_) {
    document_->SetReadyState(READYSTATE_INTERACTIVE);
    SetReadyState(READYSTATE_INTERACTIVE);
    if (!Current(gen)) return;
    // The walk, in document order: the scripts run, and the controls of <object> elements
    // are made before the next script; an external script pauses it.
    const bool controls = !(download_flags_ & DLCTL_NO_RUNACTIVEXCTLS);
    if (!(download_flags_ & DLCTL_NO_SCRIPTS)) document_->StartScript();
    if (Script* script = document_->GetScript()) {
      std::function<void(Document*, Node*)> make_control;
      if (controls)
        make_control = [window = document_window_](Document* doc, Node* n) { PageControl::Create(doc, n, window); };
      script->Walk(
          [this, gen]() {
            if (Current(gen)) WalkDone(gen);
          },
          std::move(make_control));
      return;
    }
    if (controls) {
      Document* doc = document_;
      MakeControls(doc, document_window_, [&]() { return Current(gen) && doc == document_; });
      if (!Current(gen) || doc != document_) return;
    }
  }
  WalkDone(gen);
}

void WebBrowser::MakeControls(Document* doc, HWND window, const std::function<bool()>& still) {
  std::vector<Node*> objects;
  std::vector<Node*> stack{doc->Root()};
  while (!stack.empty()) {
    Node* n = stack.back();
    stack.pop_back();
    if (n->IsElement("object") && n->Attr("classid")) objects.push_back(n);
    for (size_t i = n->children.size(); i-- > 0;) stack.push_back(n->children[i].get());
  }
  doc->AddRef();
  for (Node* n : objects) {
    PageControl::Create(doc, n, window);
    if (!still()) break;
  }
  doc->Release();
}

void WebBrowser::WalkDone(uint64_t gen) {
  std::string url = nav_->url;
  bool refresh = nav_->refresh;
  if (document_) {
    // Frames load after the top document's walk, in document order.
    if (!(download_flags_ & DLCTL_NO_FRAMEDOWNLOAD) && !refresh) AddFrames(document_->Root(), url, nullptr, 0);
  }
  LoadFrames(gen, 0);
}

void WebBrowser::LoadFrames(uint64_t gen, size_t next) {
  for (; next < frames_.size(); ++next) {
    FrameSlot* slot = frames_[next].get();
    if (!slot->initial || slot->document || slot->settled || slot->load) continue;
    slot->generation = ++frame_generation_;
    uint64_t frame_gen = slot->generation;
    bool cancel = FireBeforeNavigate(slot->url, 0, {}, "", slot->object, slot->name);
    if (!Current(gen) || !HasFrame(slot)) return;
    if (slot->generation != frame_gen) continue;
    if (cancel) {
      FrameSettled(slot);
      if (!Current(gen)) return;
      continue;
    }
    StartFrameLoad(slot);
    return;  // FrameDone goes on with the next frame
  }
  FinishTop(gen);
}

size_t WebBrowser::AddFrames(Node* root, const std::string& base, FrameSlot* parent, size_t at) {
  std::vector<Node*> found;
  std::vector<Node*> stack{root};
  while (!stack.empty()) {
    Node* n = stack.back();
    stack.pop_back();
    if ((n->IsElement("iframe") || n->IsElement("frame")) && n->Attr("src") && !n->Attr("src")->empty())
      found.push_back(n);
    for (size_t i = n->children.size(); i-- > 0;) stack.push_back(n->children[i].get());
  }
  for (Node* n : found) {
    auto slot = std::make_unique<FrameSlot>();
    slot->browser = this;
    slot->parent = parent;
    slot->element = n;
    slot->name = n->AttrOr("name");
    slot->url = ResolveUrl(base, *n->Attr("src"));
    slot->object = new FrameBrowser(this, slot.get());
    frames_.insert(frames_.begin() + static_cast<std::ptrdiff_t>(at++), std::move(slot));
  }
  return found.size();
}

void WebBrowser::FrameSettled(FrameSlot* slot) {
  slot->settled = true;
  for (FrameSlot* p = slot->parent; p && !p->settled; p = p->parent) {
    for (const auto& f : frames_)
      if (f->parent == p && !f->settled) return;
    p->settled = true;
    uint64_t gen = p->generation;
    FireUrlEvent(DISPID_DOCUMENTCOMPLETE, p->url, p->object);
    if (!HasFrame(p) || p->generation != gen) return;
  }
}

void WebBrowser::DiscardFrame(std::unique_ptr<FrameSlot> f) {
  f->load.reset();
  f->element->frame_root = nullptr;
  f->object->Detach();
  f->object->Release();
  if (f->document) {
    f->document->TearDown();
    f->document->Release();
  }
  // Freed after the running task: a loader callback may be on the stack.
  FrameSlot* slot = f.release();
  PostTask([slot]() { delete slot; });
}

void WebBrowser::DropFrameChildren(FrameSlot* slot) {
  auto inside = [slot](const FrameSlot* f) {
    for (const FrameSlot* p = f->parent; p; p = p->parent)
      if (p == slot) return true;
    return false;
  };
  // Innermost first: a frame's element lives in its parent's document.
  bool chain = false;  // one of them was the frame the top's load waits on
  for (size_t i = frames_.size(); i-- > 0;) {
    if (!inside(frames_[i].get())) continue;
    std::unique_ptr<FrameSlot> f = std::move(frames_[i]);
    frames_.erase(frames_.begin() + static_cast<std::ptrdiff_t>(i));
    chain = chain || (f->initial && f->load);
    DiscardFrame(std::move(f));
  }
  if (chain && nav_) {
    uint64_t gen = generation_;
    Post([this, gen]() { LoadFrames(gen, 0); });
  }
}

void WebBrowser::StartFrameLoad(FrameSlot* slot) {
  LoadRequest request;
  request.url = slot->url;
  if (!slot->post_data.empty()) {
    request.method = "POST";
    request.body = slot->post_data;
  }
  request.headers = slot->headers;
  request.user_agent = user_agent_;
  request.host = site_;
  if (document_) request.referer = document_->Url();
  slot->body.clear();
  slot->status = 0;
  slot->load = StartLoad(request, slot);
}

bool WebBrowser::HasFrame(const FrameSlot* slot) const {
  for (const auto& f : frames_)
    if (f.get() == slot) return true;
  return false;
}

int WebBrowser::FrameReadyState(const FrameSlot* slot) const {
  if (!HasFrame(slot)) return READYSTATE_UNINITIALIZED;
  if (slot->load) return READYSTATE_LOADING;
  // Interactive while its walk waits for external scripts; complete once walked.
  return slot->document ? slot->document->ReadyState() : READYSTATE_UNINITIALIZED;
}

FrameSlot* WebBrowser::FrameOf(const Document* doc) const {
  for (const auto& f : frames_)
    if (f->document == doc) return f.get();
  return nullptr;
}

void WebBrowser::FrameDone(FrameSlot* slot, uint64_t gen, HRESULT code) {
  if (!HasFrame(slot) || slot->generation != gen || closed_) return;
  AddRef();
  uint64_t top_gen = generation_;
  bool initial = slot->initial;
  slot->load.reset();
  bool cancel = false;
  if (FAILED(code) || slot->status >= 400) {
    cancel =
        FireNavigateError(slot->url, FAILED(code) ? static_cast<LONG>(code) : slot->status, slot->object, slot->name);
    if (!HasFrame(slot) || slot->generation != gen) {
      Release();
      return;
    }
    if (FAILED(code) || slot->body.empty()) {
      slot->body = ErrorPage(slot->url, FAILED(code) ? static_cast<LONG>(code) : slot->status);
      slot->content_type = "text/html; charset=utf-8";
    }
  }
  if (!cancel) {
    InitHostBehaviors();
    if (!HasFrame(slot) || slot->generation != gen) {
      Release();
      return;
    }
    DropFrameChildren(slot);
    if (slot->document) {
      slot->document->TearDown();
      slot->document->Release();
    }
    slot->document = new Document(this, slot->url);
    slot->document->LoadBytes(reinterpret_cast<const uint8_t*>(slot->body.data()), slot->body.size(),
                              slot->content_type);
    // A frame's window has a heap of its own; its walk waits for its external scripts
    // and makes its controls (not activated in place: the frame has no window of its own).
    slot->document->SetReadyState(READYSTATE_INTERACTIVE);
    const bool controls = !(download_flags_ & DLCTL_NO_RUNACTIVEXCTLS);
    if (!(download_flags_ & DLCTL_NO_SCRIPTS)) slot->document->StartScript();
    if (Script* script = slot->document->GetScript()) {
      std::function<void(Document*, Node*)> make_control;
      if (controls) make_control = [](Document* doc, Node* n) { PageControl::Create(doc, n, nullptr); };
      script->Walk([this, slot, gen, top_gen]() { FrameWalked(slot, gen, top_gen); }, std::move(make_control));
    } else {
      Document* doc = slot->document;
      auto still = [&]() { return HasFrame(slot) && slot->generation == gen && slot->document == doc; };
      if (controls) MakeControls(doc, nullptr, still);
      if (still()) FrameWalked(slot, gen, top_gen);
    }
    Release();
    return;
  }
  if (initial) {
    FrameSettled(slot);
    LoadFramesAfter(slot, top_gen);
  }
  Release();
}

void WebBrowser::LoadFramesAfter(FrameSlot* slot, uint64_t top_gen) {
  if (!Current(top_gen)) return;
  size_t next = 0;
  while (next < frames_.size() && frames_[next].get() != slot) ++next;
  LoadFrames(top_gen, next + 1);
}

void WebBrowser::FrameWalked(FrameSlot* slot, uint64_t gen, uint64_t top_gen) {
  if (!HasFrame(slot) || slot->generation != gen || closed_) return;
  AddRef();
  const bool initial = slot->initial;
  slot->document->SetReadyState(READYSTATE_COMPLETE);
  if (Script* script = slot->document->GetScript()) script->FireWindowEvent("load");
  if (!HasFrame(slot) || slot->generation != gen) {
    Release();
    return;
  }
  slot->element->frame_root = slot->document->Root();
  if (document_) document_->Invalidate();
  FireUrlEvent(DISPID_NAVIGATECOMPLETE2, slot->url, slot->object);
  if (!HasFrame(slot) || slot->generation != gen) {
    Release();
    return;
  }
  // Frames inside a frame load next, depth first; its DocumentComplete waits for them.
  size_t inner = 0;
  if (initial && !(download_flags_ & DLCTL_NO_FRAMEDOWNLOAD)) {
    size_t at = 0;
    while (at < frames_.size() && frames_[at].get() != slot) ++at;
    inner = AddFrames(slot->document->Root(), slot->url, slot, at + 1);
  }
  if (!inner) {
    FireUrlEvent(DISPID_DOCUMENTCOMPLETE, slot->url, slot->object);
    if (initial && HasFrame(slot) && slot->generation == gen) FrameSettled(slot);
  }
  if (initial) LoadFramesAfter(slot, top_gen);
  Release();
}

HRESULT WebBrowser::NavigateFrame(FrameSlot* slot, const std::string& url, std::vector<uint8_t> post_data,
                                  const std::string& headers) {
  if (!HasFrame(slot) || closed_) return E_UNEXPECTED;
  AddRef();
  // A later navigation inside a frame fires only the frame's events.
  slot->initial = false;
  uint64_t frame_gen = ++frame_generation_;
  slot->generation = frame_gen;
  slot->load.reset();
  bool cancel = FireBeforeNavigate(url, 0, post_data, headers, slot->object, slot->name);
  if (!cancel && HasFrame(slot) && slot->generation == frame_gen) {
    slot->url = url;
    slot->post_data = std::move(post_data);
    slot->headers = headers;
    StartFrameLoad(slot);
  }
  Release();
  return S_OK;
}

void WebBrowser::DropFrames() {
  auto frames = std::move(frames_);
  frames_.clear();
  // Innermost first: a frame's element lives in its parent's document.
  for (size_t i = frames.size(); i-- > 0;) DiscardFrame(std::move(frames[i]));
  if (document_) document_->Invalidate();
}

void WebBrowser::FinishTop(uint64_t gen) {
  if (!Current(gen)) return;
  std::string url = nav_->url;
  bool refresh = nav_->refresh;
  if (document_) {
    document_->SetReadyState(READYSTATE_COMPLETE);
    if (Script* script = document_->GetScript(); script && !refresh) {
      script->FireWindowEvent("load");
      if (!Current(gen)) return;
    }
  }
  SetReadyState(READYSTATE_COMPLETE);
  if (!Current(gen)) return;
  FireProgress(0, 0);
  if (!Current(gen)) return;
  FireDownload(false);
  if (!Current(gen)) return;
  FireStatusText("");
  if (!Current(gen)) return;
  DropNavigation();
  if (!refresh) FireUrlEvent(DISPID_DOCUMENTCOMPLETE, url);
}

// ---- IWebBrowser2 -------------------------------------------------------------------------------------------------
HRESULT WebBrowser::Navigate(BSTR url, VARIANT* flags, VARIANT* target, VARIANT* post_data, VARIANT* headers) {
  VARIANT u;
  VariantInit(&u);
  u.vt = VT_BSTR;
  u.bstrVal = url;
  return Navigate2(&u, flags, target, post_data, headers);
}

HRESULT WebBrowser::Navigate2(VARIANT* url, VARIANT* flags, VARIANT* target, VARIANT* post_data, VARIANT* headers) {
  std::string u = Str(url);
  if (u.empty()) return E_INVALIDARG;
  LONG f = Long(flags);
  if (f & navOpenInNewWindow) return HRESULT_FROM_WIN32(6);  // new windows are refused
  (void)target;
  return StartNavigation(NormalizeUrl(u), Bytes(post_data), Str(headers), f, -1, false);
}

HRESULT WebBrowser::GoBack() {
  if (travel_index_ <= 0) return E_FAIL;
  const TravelEntry e = travel_[static_cast<size_t>(travel_index_ - 1)];
  return StartNavigation(e.url, e.post_data, e.headers, 0, travel_index_ - 1, false);
}
HRESULT WebBrowser::GoForward() {
  if (travel_index_ < 0 || travel_index_ + 1 >= static_cast<int>(travel_.size())) return E_FAIL;
  const TravelEntry e = travel_[static_cast<size_t>(travel_index_ + 1)];
  return StartNavigation(e.url, e.post_data, e.headers, 0, travel_index_ + 1, false);
}
HRESULT WebBrowser::GoHome() {
  std::string home = "about:blank";
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Microsoft\\Internet Explorer\\Main", 0, KEY_READ, &key) == 0) {
    WCHAR buf[2048];
    DWORD size = sizeof buf - sizeof(WCHAR), type = 0;
    if (RegQueryValueExW(key, u"Start Page", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) == 0 &&
        type == REG_SZ) {
      buf[size / sizeof(WCHAR)] = 0;
      std::string v = WideToUtf8(buf);
      if (!v.empty()) home = v;
    }
    RegCloseKey(key);
  }
  return StartNavigation(NormalizeUrl(home), {}, "", 0, -1, false);
}
HRESULT WebBrowser::Refresh() {
  if (location_url_.empty()) return S_OK;
  return StartNavigation(location_url_, {}, "", 0, -1, true);
}
HRESULT WebBrowser::Refresh2(VARIANT*) { return Refresh(); }
HRESULT WebBrowser::Stop() {
  for (auto& f : frames_) f->load.reset();
  if (nav_) EndUncommitted();
  return S_OK;
}
HRESULT WebBrowser::get_Document(IDispatch** document) {
  if (!document) return E_POINTER;
  *document = nullptr;
  if (document_) {
    document_->AddRef();
    *document = static_cast<IHTMLDocument2*>(document_);
  } else if (folder_document_) {
    folder_document_->AddRef();
    *document = folder_document_;
  }
  return S_OK;
}
HRESULT WebBrowser::get_LocationName(BSTR* name) {
  if (!name) return E_POINTER;
  *name = Bstr(location_name_);
  return S_OK;
}
HRESULT WebBrowser::get_LocationURL(BSTR* url) {
  if (!url) return E_POINTER;
  *url = Bstr(location_url_);
  return S_OK;
}
HRESULT WebBrowser::get_Busy(VARIANT_BOOL* busy) {
  if (!busy) return E_POINTER;
  *busy = ready_state_ >= 1 && ready_state_ <= 3 ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}
HRESULT WebBrowser::QueryStatusWB(LONG cmd, LONG* flags) {
  if (!flags) return E_POINTER;
  bool known = cmd == 17 || cmd == 19 || cmd == 20 || cmd == 22 || cmd == 23;
  *flags = known ? static_cast<LONG>(OLECMDF_SUPPORTED | OLECMDF_ENABLED) : 0;
  return known ? S_OK : OLECMDERR_E_NOTSUPPORTED;
}
HRESULT WebBrowser::ExecWB(LONG cmd, LONG option, VARIANT* in, VARIANT* out) {
  switch (cmd) {
    case OLECMDID_SELECTALL: KvTrace("browser", "select all (recorded only)"); return S_OK;
    case OLECMDID_ZOOM:
    case OLECMDID_GETZOOMRANGE:
      if (!document_) return OLECMDERR_E_NOTSUPPORTED;
      return document_->Exec(nullptr, static_cast<DWORD>(cmd), static_cast<DWORD>(option), in, out);
    case OLECMDID_REFRESH: return Refresh();
    case OLECMDID_STOP: return Stop();
    default: return OLECMDERR_E_NOTSUPPORTED;
  }
}
HRESULT WebBrowser::get_ReadyState(LONG* state) {
  if (!state) return E_POINTER;
  *state = ready_state_;
  return S_OK;
}
HRESULT WebBrowser::get_Visible(VARIANT_BOOL* value) {
  if (!value) return E_POINTER;
  *value = properties_[402].boolVal;
  return S_OK;
}
HRESULT WebBrowser::put_Visible(VARIANT_BOOL value) {
  properties_[402].boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  if (embedding_) ShowWindow(embedding_, value ? SW_SHOW : SW_HIDE);
  Fire(DISPID_ONVISIBLE, {VBool(value != VARIANT_FALSE)});
  return S_OK;
}

// ---- IDispatch -------------------------------------------------------------------------------------------------
namespace {
const DispName kBrowserNames[] = {{u"GoBack", DISPID_WB_GOBACK},
                                  {u"GoForward", DISPID_WB_GOFORWARD},
                                  {u"GoHome", DISPID_WB_GOHOME},
                                  {u"Navigate", DISPID_WB_NAVIGATE},
                                  {u"Refresh", DISPID_WB_REFRESH},
                                  {u"Refresh2", DISPID_WB_REFRESH2},
                                  {u"Stop", DISPID_WB_STOP},
                                  {u"Document", DISPID_WB_DOCUMENT},
                                  {u"LocationName", DISPID_WB_LOCATIONNAME},
                                  {u"LocationURL", DISPID_WB_LOCATIONURL},
                                  {u"Busy", DISPID_WB_BUSY},
                                  {u"Navigate2", DISPID_WB_NAVIGATE2},
                                  {u"QueryStatusWB", DISPID_WB_QUERYSTATUSWB},
                                  {u"ExecWB", DISPID_WB_EXECWB},
                                  {u"ReadyState", DISPID_READYSTATE},
                                  {u"Visible", 402},
                                  {u"StatusBar", 403},
                                  {u"StatusText", 404},
                                  {u"ToolBar", 405},
                                  {u"MenuBar", 406},
                                  {u"FullScreen", 407},
                                  {u"Offline", 550},
                                  {u"Silent", 551},
                                  {u"RegisterAsBrowser", 552},
                                  {u"RegisterAsDropTarget", 553},
                                  {u"TheaterMode", 554},
                                  {u"AddressBar", 555},
                                  {u"Resizable", 556}};

// The event a put of a bar or mode property fires.
DISPID PropertyEvent(DISPID id) {
  switch (id) {
    case 402: return 254;
    case 405: return 255;
    case 406: return 256;
    case 403: return 257;
    case 407: return 258;
    case 554: return 260;
    case 555: return 261;
    case 556: return 262;
    default: return 0;
  }
}
}  // namespace

HRESULT WebBrowser::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return S_OK;
}
HRESULT WebBrowser::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}
HRESULT WebBrowser::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  return NamesToIds(kBrowserNames, names, count, ids);
}

HRESULT WebBrowser::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                           UINT*) {
  if (result) VariantInit(result);
  UINT argc = params ? params->cArgs : 0;
  // Argument i in call order, or null when not passed.
  auto arg = [&](UINT i) -> VARIANT* { return i < argc ? &params->rgvarg[argc - 1 - i] : nullptr; };
  bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  BSTR s = nullptr;
  switch (id) {
    case DISPID_WB_GOBACK: return GoBack();
    case DISPID_WB_GOFORWARD: return GoForward();
    case DISPID_WB_GOHOME: return GoHome();
    case DISPID_WB_NAVIGATE:
    case DISPID_WB_NAVIGATE2:
      if (argc < 1) return DISP_E_BADPARAMCOUNT;
      return Navigate2(arg(0), arg(1), arg(2), arg(3), arg(4));
    case DISPID_WB_REFRESH: return Refresh();
    case DISPID_WB_REFRESH2: return Refresh2(arg(0));
    case DISPID_WB_STOP: return Stop();
    case DISPID_WB_DOCUMENT: {
      IDispatch* d = nullptr;
      get_Document(&d);
      return ResultDispatch(result, d);
    }
    case DISPID_WB_LOCATIONNAME: get_LocationName(&s); return ResultBstr(result, s);
    case DISPID_WB_LOCATIONURL: get_LocationURL(&s); return ResultBstr(result, s);
    case DISPID_WB_BUSY: {
      VARIANT_BOOL b = VARIANT_FALSE;
      get_Busy(&b);
      return ResultBool(result, b != VARIANT_FALSE);
    }
    case DISPID_READYSTATE: return ResultLong(result, ready_state_);
    case DISPID_WB_QUERYSTATUSWB: {
      LONG f = 0;
      HRESULT hr = QueryStatusWB(Long(arg(0)), &f);
      ResultLong(result, f);
      return hr;
    }
    case DISPID_WB_EXECWB:
      if (argc < 2) return DISP_E_BADPARAMCOUNT;
      return ExecWB(Long(arg(0)), Long(arg(1)), arg(2), result);
    default: break;
  }
  auto it = properties_.find(id);
  if (it == properties_.end()) return DISP_E_MEMBERNOTFOUND;
  if (!put) return VariantCopy(result ? result : &it->second, &it->second);
  if (argc < 1) return DISP_E_BADPARAMCOUNT;
  VARIANT v;
  VariantInit(&v);
  if (FAILED(VariantChangeType(&v, arg(0), 0, it->second.vt))) return DISP_E_TYPEMISMATCH;
  if (id == 402) {
    HRESULT hr = put_Visible(v.boolVal);
    VariantClear(&v);
    return hr;
  }
  VariantClear(&it->second);
  it->second = v;
  if (DISPID e = PropertyEvent(id)) {
    VARIANT copy;
    VariantInit(&copy);
    VariantCopy(&copy, &v);
    Fire(e, {copy});
  }
  return S_OK;
}

// ---- IConnectionPointContainer ------------------------------------------------------------------------------
HRESULT WebBrowser::EnumConnectionPoints(IEnumConnectionPoints** out) {
  if (!out) return E_POINTER;
  *out = new kv::EnumConnectionPoints({events_, property_sinks_});
  return S_OK;
}
HRESULT WebBrowser::FindConnectionPoint(REFIID riid, IConnectionPoint** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (IsEqualIID(riid, DIID_DWebBrowserEvents2))
    *out = events_;
  else if (IsEqualIID(riid, IID_IPropertyNotifySink))
    *out = property_sinks_;
  if (!*out) return CONNECT_E_NOCONNECTION;
  (*out)->AddRef();
  return S_OK;
}

// ---- IOleObject -------------------------------------------------------------------------------------------------
HRESULT WebBrowser::SetClientSite(IOleClientSite* site) {
  Drop(ui_handler_);
  Drop(show_ui_);
  Drop(host_commands_);
  Drop(services_);
  Drop(ambient_);
  Drop(inplace_site_);
  Drop(site_);
  if (!site) return S_OK;
  site->AddRef();
  site_ = site;
  // The site is asked once for every interface the browser calls.
  ui_handler_ = Ask<IDocHostUIHandler>(site, IID_IDocHostUIHandler);
  show_ui_ = Ask<IDocHostShowUI>(site, IID_IDocHostShowUI);
  host_commands_ = Ask<IOleCommandTarget>(site, IID_IOleCommandTarget);
  services_ = Ask<IServiceProvider>(site, IID_IServiceProvider);
  ambient_ = Ask<IDispatch>(site, IID_IDispatch);
  inplace_site_ = Ask<IOleInPlaceSite>(site, IID_IOleInPlaceSite);
  ReadAmbient();
  return S_OK;
}
HRESULT WebBrowser::GetClientSite(IOleClientSite** site) {
  if (!site) return E_POINTER;
  *site = site_;
  if (site_) site_->AddRef();
  return S_OK;
}
HRESULT WebBrowser::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }
HRESULT WebBrowser::Close(DWORD) {
  if (closed_) return S_OK;
  AddRef();
  closed_ = true;
  DropNavigation();
  DropFrames();
  ++generation_;
  if (document_) {
    document_->TearDown();
    document_->Release();
    document_ = nullptr;
  }
  DestroyWindows();
  SetClientSite(nullptr);
  Release();
  return S_OK;
}
HRESULT WebBrowser::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }
HRESULT WebBrowser::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker) *moniker = nullptr;
  return E_NOTIMPL;
}
HRESULT WebBrowser::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }
HRESULT WebBrowser::GetClipboardData(DWORD, IDataObject** data) {
  if (data) *data = nullptr;
  return E_NOTIMPL;
}
HRESULT WebBrowser::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT pos) {
  if (closed_) return E_UNEXPECTED;
  if (site && site != site_) SetClientSite(site);
  switch (verb) {
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
    case OLEIVERB_SHOW:
    case OLEIVERB_PRIMARY: {
      RECT r{0, 0, 0, 0};
      if (pos) r = *pos;
      if (!parent && inplace_site_) inplace_site_->GetWindow(&parent);
      if (!embedding_) {
        if (!parent) return E_INVALIDARG;
        if (inplace_site_) {
          if (inplace_site_->CanInPlaceActivate() == S_FALSE) return E_FAIL;
          inplace_site_->OnInPlaceActivate();
        }
        EnsureWindows(parent, r);
        if (!key_paths_asked_ && ui_handler_) {
          key_paths_asked_ = true;
          LPOLESTR key = nullptr;
          Noted("GetOptionKeyPath", ui_handler_->GetOptionKeyPath(&key, 0));
          CoTaskMemFree(key);
          key = nullptr;
          if (auto* h2 = Ask<IDocHostUIHandler2>(ui_handler_, IID_IDocHostUIHandler2)) {
            h2->GetOverrideKeyPath(&key, 0);
            CoTaskMemFree(key);
            h2->Release();
          }
        }
      } else if (pos) {
        SetObjectRects(pos, pos);
      }
      ShowWindow(embedding_, SW_SHOW);
      if (verb == OLEIVERB_UIACTIVATE) UIActivate();
      return S_OK;
    }
    case OLEIVERB_HIDE:
      if (embedding_) ShowWindow(embedding_, SW_HIDE);
      return S_OK;
    default: return OLEOBJ_S_INVALIDVERB;
  }
}
HRESULT WebBrowser::EnumVerbs(IEnumOLEVERB** verbs) {
  if (verbs) *verbs = nullptr;
  return E_NOTIMPL;
}
HRESULT WebBrowser::Update() { return S_OK; }
HRESULT WebBrowser::IsUpToDate() { return S_OK; }
HRESULT WebBrowser::GetUserClassID(CLSID* clsid) { return GetClassID(clsid); }
HRESULT WebBrowser::GetUserType(DWORD, LPOLESTR* type) {
  if (type) *type = nullptr;
  return OLE_S_USEREG;
}
HRESULT WebBrowser::SetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_INVALIDARG;
  extent_ = *size;
  return S_OK;
}
HRESULT WebBrowser::GetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_INVALIDARG;
  *size = extent_;
  return S_OK;
}
HRESULT WebBrowser::Advise(IAdviseSink*, DWORD* connection) {
  if (connection) *connection = 0;
  return OLE_E_ADVISENOTSUPPORTED;
}
HRESULT WebBrowser::Unadvise(DWORD) { return OLE_E_ADVISENOTSUPPORTED; }
HRESULT WebBrowser::EnumAdvise(IEnumSTATDATA** advise) {
  if (advise) *advise = nullptr;
  return OLE_E_ADVISENOTSUPPORTED;
}
HRESULT WebBrowser::GetMiscStatus(DWORD, DWORD* status) {
  if (!status) return E_POINTER;
  *status = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_RECOMPOSEONRESIZE |
            OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT;
  return S_OK;
}
HRESULT WebBrowser::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// ---- In-place -----------------------------------------------------------------------------------------------------
HRESULT WebBrowser::GetWindow(HWND* hwnd) {
  if (!hwnd) return E_POINTER;
  *hwnd = embedding_;
  return embedding_ ? S_OK : E_FAIL;
}
HRESULT WebBrowser::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }
HRESULT WebBrowser::InPlaceDeactivate() {
  UIDeactivate();
  if (embedding_) {
    DestroyWindows();
    if (inplace_site_) inplace_site_->OnInPlaceDeactivate();
  }
  return S_OK;
}
HRESULT WebBrowser::UIDeactivate() {
  if (!ui_active_) return S_OK;
  ui_active_ = false;
  if (ui_handler_) Noted("HideUI", ui_handler_->HideUI());
  if (inplace_site_) inplace_site_->OnUIDeactivate(FALSE);
  return S_OK;
}
HRESULT WebBrowser::SetObjectRects(LPCRECT pos, LPCRECT) {
  if (!pos) return E_INVALIDARG;
  if (embedding_) MoveWindow(embedding_, pos->left, pos->top, pos->right - pos->left, pos->bottom - pos->top, TRUE);
  return S_OK;
}
HRESULT WebBrowser::ReactivateAndUndo() { return E_NOTIMPL; }
HRESULT WebBrowser::TranslateAccelerator(LPMSG msg) {
  if (!msg) return E_INVALIDARG;
  bool handled = Accelerator(*msg);
  translated_ = *msg;
  return handled ? S_OK : S_FALSE;
}
HRESULT WebBrowser::OnFrameWindowActivate(BOOL activate) {
  if (ui_handler_) Noted("OnFrameWindowActivate", ui_handler_->OnFrameWindowActivate(activate));
  return S_OK;
}
HRESULT WebBrowser::OnDocWindowActivate(BOOL activate) {
  if (ui_handler_) Noted("OnDocWindowActivate", ui_handler_->OnDocWindowActivate(activate));
  return S_OK;
}
HRESULT WebBrowser::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
HRESULT WebBrowser::EnableModeless(BOOL enable) {
  if (ui_handler_) Noted("EnableModeless", ui_handler_->EnableModeless(enable));
  return S_OK;
}

// ---- IOleControl ------------------------------------------------------------------------------------------------
HRESULT WebBrowser::GetControlInfo(CONTROLINFO* info) {
  if (!info) return E_POINTER;
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}
HRESULT WebBrowser::OnMnemonic(MSG*) { return S_OK; }
HRESULT WebBrowser::OnAmbientPropertyChange(DISPID) {
  ReadAmbient();  // applied from the next request or document
  return S_OK;
}
HRESULT WebBrowser::FreezeEvents(BOOL freeze) {
  if (freeze) {
    ++frozen_;
    return S_OK;
  }
  if (frozen_ > 0 && --frozen_ == 0) {
    auto queued = std::move(frozen_events_);
    frozen_events_.clear();
    for (auto& e : queued) Fire(e.first, std::move(e.second));
  }
  return S_OK;
}

// ---- IViewObject ----------------------------------------------------------------------------------------------------
HRESULT WebBrowser::Draw(DWORD aspect, LONG index, void* aspect_info, DVTARGETDEVICE* device, HDC target_dc,
                         HDC draw_dc, LPCRECTL bounds, LPCRECTL window_bounds, BOOL (*cont)(ULONG_PTR),
                         ULONG_PTR cont_data) {
  if (!document_) return OLE_E_BLANK;
  return document_->Draw(aspect, index, aspect_info, device, target_dc, draw_dc, bounds, window_bounds, cont,
                         cont_data);
}
HRESULT WebBrowser::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors) {
  if (colors) *colors = nullptr;
  return S_FALSE;
}
HRESULT WebBrowser::Freeze(DWORD, LONG, void*, DWORD*) { return E_NOTIMPL; }
HRESULT WebBrowser::Unfreeze(DWORD) { return E_NOTIMPL; }
HRESULT WebBrowser::SetAdvise(DWORD, DWORD, IAdviseSink*) { return OLE_E_ADVISENOTSUPPORTED; }
HRESULT WebBrowser::GetAdvise(DWORD*, DWORD*, IAdviseSink**) { return OLE_E_ADVISENOTSUPPORTED; }

// ---- IPersistStreamInit --------------------------------------------------------------------------------------------
HRESULT WebBrowser::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = CLSID_WebBrowser;
  return S_OK;
}
HRESULT WebBrowser::IsDirty() { return S_FALSE; }
HRESULT WebBrowser::Load(IStream*) { return E_NOTIMPL; }
HRESULT WebBrowser::Save(IStream*, BOOL) { return E_NOTIMPL; }
HRESULT WebBrowser::GetSizeMax(ULARGE_INTEGER*) { return E_NOTIMPL; }
HRESULT WebBrowser::InitNew() { return S_OK; }

// ---- IOleCommandTarget ---------------------------------------------------------------------------------------------
HRESULT WebBrowser::QueryStatus(const GUID* group, ULONG count, OLECMD* cmds, OLECMDTEXT*) {
  if (group) return OLECMDERR_E_UNKNOWNGROUP;
  for (ULONG i = 0; i < count; ++i) {
    LONG f = 0;
    QueryStatusWB(static_cast<LONG>(cmds[i].cmdID), &f);
    cmds[i].cmdf = static_cast<DWORD>(f);
  }
  return S_OK;
}
HRESULT WebBrowser::Exec(const GUID* group, DWORD id, DWORD option, VARIANT* in, VARIANT* out) {
  if (group) return OLECMDERR_E_UNKNOWNGROUP;
  return ExecWB(static_cast<LONG>(id), static_cast<LONG>(option), in, out);
}

// ---- DocumentHost -------------------------------------------------------------------------------------------------
void WebBrowser::NavigateFromDocument(Document* doc, const std::string& url, const std::string& target,
                                      std::vector<uint8_t> post_data, const std::string& headers, LONG flags) {
  if (closed_ || !doc) return;
  FrameSlot* own = doc == document_ ? nullptr : FrameOf(doc);
  if (doc != document_ && !own) return;
  // Where it goes: the top (slot null) or a frame, by the target's name.
  std::string t = Lower(target);
  FrameSlot* slot = nullptr;
  if (t.empty() || t == "_self") {
    slot = own;
  } else if (t == "_parent") {
    slot = own ? own->parent : nullptr;
  } else if (t != "_top") {
    auto named = std::find_if(frames_.begin(), frames_.end(), [&](const auto& f) { return Lower(f->name) == t; });
    if (named == frames_.end()) {
      OpenNewWindow(url, target);
      return;
    }
    slot = named->get();
  }
  Document* shown = slot ? slot->document : document_;
  if (shown && UrlScheme(url) == "javascript") {
    // The code runs in the target's document; nothing navigates.
    if (Script* script = shown->GetScript()) {
      AddRef();
      script->RunText(PercentDecode(std::string_view(url).substr(url.find(':') + 1)));
      Release();
    }
    return;
  }
  if (shown && post_data.empty() && SameDocument(shown->Url(), url)) {
    NavigateToFragment(shown, slot, url);
    return;
  }
  if (slot)
    NavigateFrame(slot, url, std::move(post_data), headers);
  else
    StartNavigation(url, std::move(post_data), headers, flags, -1, false);
}

bool WebBrowser::SameDocument(const std::string& shown, const std::string& url) {
  // Only a fragment of its own: the URL up to '#' is the document's.
  size_t hash = url.find('#');
  if (hash == std::string::npos) return false;
  return std::string_view(shown).substr(0, shown.find('#')) == std::string_view(url).substr(0, hash);
}

void WebBrowser::NavigateToFragment(Document* doc, FrameSlot* slot, const std::string& url) {
  // The document stays: BeforeNavigate2 (the host may cancel), the new URL, NavigateComplete2.
  AddRef();
  IDispatch* source = slot ? static_cast<IDispatch*>(slot->object) : nullptr;
  const std::string name = slot ? slot->name : "";
  bool cancel = FireBeforeNavigate(url, 0, {}, "", source, name);
  bool shown = slot ? HasFrame(slot) && slot->document == doc : doc == document_;
  if (!cancel && !closed_ && shown) {
    doc->SetUrl(url);
    if (slot) {
      slot->url = url;
    } else {
      location_url_ = url;
      if (doc->Title().empty()) location_name_ = url;
    }
    FireUrlEvent(DISPID_NAVIGATECOMPLETE2, url, source);
  }
  Release();
}
void WebBrowser::OpenNewWindow(const std::string& url, const std::string& name) {
  // The new-window manager may block it; else NewWindow2 and NewWindow3, where the host
  // may hand over a browser to show the page in. Without one nothing opens.
  AddRef();
  std::u16string wurl = Utf8ToWide(url), wname = Utf8ToWide(name), context = Utf8ToWide(location_url_);
  INewWindowManager* manager = nullptr;
  if (services_ &&
      SUCCEEDED(
          Noted("QueryService INewWindowManager", services_->QueryService(IID_INewWindowManager, IID_INewWindowManager,
                                                                            reinterpret_cast<void**>(&manager)))) &&
      manager) {
    HRESULT hr = Noted("EvaluateNewWindow",
                       manager->EvaluateNewWindow(wurl.c_str(), wname.c_str(), context.c_str(), u"", FALSE, 1, 0));
    manager->Release();
    if (hr == S_FALSE) {
      KvTrace("browser", "new window for %s blocked by the host", url.c_str());
      Release();
      return;
    }
  }
  IDispatch* target = nullptr;
  VARIANT_BOOL cancel = VARIANT_FALSE;
  VARIANT pp;
  VariantInit(&pp);
  pp.vt = VT_BYREF | VT_DISPATCH;
  pp.ppdispVal = &target;
  Fire(DISPID_NEWWINDOW2, {pp, VRefBool(&cancel)});
  if (!cancel && !target && !closed_) {
    Fire(DISPID_NEWWINDOW3, {pp, VRefBool(&cancel), VLong(1), VBstr(location_url_), VBstr(url)});
  }
  IWebBrowser2* other = target && !cancel ? Ask<IWebBrowser2>(target, IID_IWebBrowser2) : nullptr;
  if (target) target->Release();
  if (other) {
    BSTR b = Bstr(url);
    other->Navigate(b, nullptr, nullptr, nullptr, nullptr);
    SysFreeString(b);
    other->Release();
  } else {
    KvTrace("browser", "new window for %s: nothing opens", url.c_str());
  }
  Release();
}

HRESULT WebBrowser::DocumentExternal(IDispatch** external) {
  *external = nullptr;
  if (!ui_handler_) return S_FALSE;
  return Noted("GetExternal", ui_handler_->GetExternal(external));
}
HRESULT WebBrowser::DocumentShowMessage(const std::u16string& text, DWORD type, LRESULT* result) {
  std::u16string t = text, caption = u"Web page message";
  t.push_back(0);
  caption.push_back(0);
  AddRef();
  HRESULT hr = show_ui_ ? Noted("ShowMessage", show_ui_->ShowMessage(document_window_ ? document_window_ : embedding_,
                                                                    t.data(), caption.data(), type, nullptr, 0, result))
                        : S_FALSE;
  // Unanswered: the platform's box, owned by the top window.
  if (hr != S_OK && !closed_) *result = MessageBoxW(DocumentTopWindow(), t.data(), caption.data(), type);
  Release();
  return S_OK;
}
void WebBrowser::DocumentReload(Document* doc) {
  if (closed_) return;
  if (doc == document_)
    Refresh();
  else if (FrameSlot* slot = FrameOf(doc))
    NavigateFrame(slot, slot->url);
}
void WebBrowser::DocumentTitleChanged(Document* doc) {
  // The top document's title is the browser's; a frame's changes nothing.
  if (doc != document_ || closed_) return;
  std::string title = doc->Title();
  location_name_ = title.empty() ? location_url_ : title;
  FireTitle(location_name_);
}
void WebBrowser::DocumentStatusText(Document* doc, const std::string& text) {
  if (!closed_ && (doc == document_ || FrameOf(doc))) FireStatusText(text);
}
std::vector<std::pair<std::string, IDispatch*>> WebBrowser::DocumentFrames(Document* doc) {
  std::vector<std::pair<std::string, IDispatch*>> out;
  FrameSlot* slot = doc == document_ ? nullptr : FrameOf(doc);
  if (closed_ || (doc != document_ && !slot)) return out;
  for (const auto& f : frames_) {
    if (f->parent != slot) continue;
    IHTMLWindow2* w = nullptr;
    if (f->document) f->document->get_parentWindow(&w);
    out.emplace_back(f->name, w);
  }
  return out;
}
std::string WebBrowser::DocumentUserAgent() {
  return user_agent_.empty() ? kv::inet::DefaultUserAgent() : user_agent_;
}
HRESULT WebBrowser::DocumentScriptError(VARIANT* in, VARIANT* out) {
  if (!host_commands_) return OLECMDERR_E_NOTSUPPORTED;
  AddRef();
  HRESULT hr = host_commands_->Exec(&CGID_DocHostCommandHandler, 40, 0, in, out);
  Release();
  return hr;
}
bool WebBrowser::DocumentSilent() {
  auto it = properties_.find(551);  // Silent
  return it != properties_.end() && it->second.vt == VT_BOOL && it->second.boolVal != VARIANT_FALSE;
}
IDispatch* WebBrowser::DocumentParentWindow(Document* doc) {
  if (!document_ || doc == document_) return nullptr;
  FrameSlot* slot = FrameOf(doc);
  if (!slot) return nullptr;
  // A frame inside a frame has that frame's window as its parent.
  Document* parent = slot->parent && slot->parent->document ? slot->parent->document : document_;
  IHTMLWindow2* w = nullptr;
  parent->get_parentWindow(&w);
  return w;
}
void WebBrowser::DocumentCloseWindow(Document* doc) {
  // The host decides: WindowClosing(IsChildWindow false, Cancel); nothing closes here.
  if (doc != document_ || closed_) return;
  VARIANT_BOOL cancel = VARIANT_FALSE;
  Fire(DISPID_WINDOWCLOSING, {VBool(false), VRefBool(&cancel)});
}
HWND WebBrowser::DocumentTopWindow() {
  HWND h = embedding_;
  for (HWND p = h ? GetParent(h) : nullptr; p; p = GetParent(p)) h = p;
  return h;
}
void WebBrowser::DocumentChanged(Document* doc) {
  if (doc == document_ && document_window_) InvalidateRect(document_window_, nullptr, TRUE);
}

void WebBrowser::DocumentMoveWindow(bool resize, bool by, LONG x, LONG y) {
  AddRef();
  IHTMLOMWindowServices* window_services = nullptr;
  if (services_ && SUCCEEDED(Noted("QueryService IHTMLOMWindowServices",
                                   services_->QueryService(IID_IHTMLOMWindowServices, IID_IHTMLOMWindowServices,
                                                           reinterpret_cast<void**>(&window_services)))) &&
      window_services) {
    HRESULT hr = resize ? (by ? window_services->resizeBy(x, y) : window_services->resizeTo(x, y))
                        : (by ? window_services->moveBy(x, y) : window_services->moveTo(x, y));
    Noted(std::string(resize ? "resize" : "move") + (by ? "By " : "To ") + std::to_string(x) + " " + std::to_string(y),
          hr);
    window_services->Release();
  } else {
    // Without the host's services, the events tell where the top-level window should go.
    RECT rc{};
    HWND root = embedding_ ? GetAncestor(embedding_, GA_ROOT) : nullptr;
    if (root) GetWindowRect(root, &rc);
    if (resize) {
      Fire(DISPID_WINDOWSETWIDTH, {VLong(by ? rc.right - rc.left + x : x)});
      if (!closed_) Fire(DISPID_WINDOWSETHEIGHT, {VLong(by ? rc.bottom - rc.top + y : y)});
    } else {
      Fire(DISPID_WINDOWSETLEFT, {VLong(by ? rc.left + x : x)});
      if (!closed_) Fire(DISPID_WINDOWSETTOP, {VLong(by ? rc.top + y : y)});
    }
  }
  Release();
}

bool WebBrowser::DocumentBoxOnScreen(Document* doc, Node* node, RECT* rc) {
  if (doc != document_ || !document_window_) return false;
  RECT client{};
  GetClientRect(document_window_, &client);
  HDC dc = GetDC(document_window_);
  bool found = doc->LayoutFor(dc, client.right - client.left).BoxOf(node, rc);
  ReleaseDC(document_window_, dc);
  if (!found) return false;
  POINT a{rc->left, rc->top}, b{rc->right, rc->bottom};
  ClientToScreen(document_window_, &a);
  ClientToScreen(document_window_, &b);
  *rc = {a.x, a.y, b.x, b.y};
  return true;
}

// ---- Windows
// ---------------------------------------------------------------------------------------------------------
void WebBrowser::EnsureWindows(HWND parent, const RECT& pos) {
  RegisterClasses();
  int w = pos.right - pos.left, h = pos.bottom - pos.top;
  embedding_ = CreateWindowExW(0, kEmbeddingClass, u"", WS_CHILD | WS_CLIPCHILDREN, pos.left, pos.top, w, h, parent,
                               nullptr, nullptr, nullptr);
  SetWindowLongPtrW(embedding_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  view_ = CreateWindowExW(0, kViewClass, u"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, w, h, embedding_, nullptr,
                          nullptr, nullptr);
  SetWindowLongPtrW(view_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  ShowView();
}

void WebBrowser::ShowView() {
  if (!view_) return;
  RECT rc{};
  GetClientRect(view_, &rc);
  bool folder = folder_document_ != nullptr;
  if (folder) {
    if (document_window_) DestroyWindow(document_window_);
    if (folder_window_) DestroyWindow(folder_window_);
    folder_window_ = CreateWindowExW(0, u"SysListView32", u"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, rc.right,
                                     rc.bottom, view_, nullptr, nullptr, nullptr);
    const WCHAR* columns[] = {u"Name", u"Size", u"Modified"};
    for (int i = 0; i < 3; ++i) {
      LVCOLUMNW col{};
      col.mask = LVCF_TEXT | LVCF_WIDTH;
      col.cx = i == 0 ? 200 : 100;
      col.pszText = const_cast<LPWSTR>(columns[i]);
      SendMessageW(folder_window_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&col));
    }
    int row = 0;
    for (const auto& e : folder_entries_) {
      std::u16string name = Utf8ToWide(e.name + (e.folder ? "/" : ""));
      LVITEMW item{};
      item.mask = LVIF_TEXT;
      item.iItem = row;
      item.pszText = name.data();
      SendMessageW(folder_window_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
      char when[32] = "";
      time_t t = static_cast<time_t>(e.modified);
      struct tm tmv {};
      if (localtime_r(&t, &tmv)) strftime(when, sizeof when, "%Y-%m-%d %H:%M", &tmv);
      std::u16string cells[] = {e.folder ? u"" : Utf8ToWide(std::to_string(e.size)), Utf8ToWide(when)};
      for (int c = 0; c < 2; ++c) {
        LVITEMW sub{};
        sub.iSubItem = c + 1;
        sub.pszText = cells[c].data();
        SendMessageW(folder_window_, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&sub));
      }
      ++row;
    }
  } else {
    if (folder_window_) DestroyWindow(folder_window_);
    // The host's flags of the last GetHostInfo: a vertical scroll bar and a sunken border
    // unless it asks for none.
    const DWORD style = WS_CHILD | WS_VISIBLE | ((host_flags_ & DOCHOSTUIFLAG_SCROLL_NO) ? 0 : WS_VSCROLL);
    const DWORD ex_style = (host_flags_ & DOCHOSTUIFLAG_NO3DBORDER) ? 0 : WS_EX_CLIENTEDGE;
    if (!document_window_) {
      document_window_ = CreateWindowExW(ex_style, kDocumentClass, u"", style, 0, 0, rc.right, rc.bottom, view_,
                                         nullptr, nullptr, nullptr);
      SetWindowLongPtrW(document_window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    } else if (static_cast<DWORD>(GetWindowLongPtrW(document_window_, GWL_STYLE)) != style ||
               static_cast<DWORD>(GetWindowLongPtrW(document_window_, GWL_EXSTYLE)) != ex_style) {
      SetWindowLongPtrW(document_window_, GWL_STYLE, style);
      SetWindowLongPtrW(document_window_, GWL_EXSTYLE, ex_style);
      SetWindowPos(document_window_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    }
    InvalidateRect(document_window_, nullptr, TRUE);
  }
}

void WebBrowser::DestroyWindows() {
  if (embedding_) {
    HWND e = embedding_;
    DestroyWindow(e);  // children go with it; WindowGone clears the handles
  }
  embedding_ = view_ = document_window_ = folder_window_ = nullptr;
  ui_active_ = false;
}

void WebBrowser::WindowGone(HWND hwnd) {
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  if (hwnd == embedding_) embedding_ = nullptr;
  if (hwnd == view_) view_ = nullptr;
  if (hwnd == document_window_) document_window_ = nullptr;
}

LRESULT WebBrowser::ViewWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NOTIFY && folder_window_) {
    auto* hdr = reinterpret_cast<NMHDR*>(lp);
    if (hdr && hdr->hwndFrom == folder_window_ &&
        (hdr->code == static_cast<UINT>(NM_RETURN) || hdr->code == static_cast<UINT>(NM_DBLCLK) ||
         hdr->code == static_cast<UINT>(LVN_ITEMACTIVATE))) {
      int i = static_cast<int>(SendMessageW(folder_window_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
      if (i >= 0 && static_cast<size_t>(i) < folder_entries_.size() && folder_entries_[static_cast<size_t>(i)].folder) {
        std::string base = location_url_;
        if (base.empty() || base.back() != '/') base += '/';
        StartNavigation(base + folder_entries_[static_cast<size_t>(i)].name + "/", {}, "", 0, -1, false);
      }
      return 0;
    }
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

// ---- Input
// -----------------------------------------------------------------------------------------------------------
bool WebBrowser::AllowFocus() {
  if (!services_) return true;
  IProtectFocus* protect = nullptr;
  if (FAILED(Noted("QueryService IProtectFocus",
                   services_->QueryService(IID_IProtectFocus, IID_IProtectFocus, reinterpret_cast<void**>(&protect)))) ||
      !protect)
    return true;
  BOOL allow = TRUE;
  Noted("AllowFocusChange", protect->AllowFocusChange(&allow));
  protect->Release();
  return allow != FALSE;
}

void WebBrowser::UIActivate() {
  if (!embedding_) return;
  if (!ui_active_) {
    ui_active_ = true;
    if (inplace_site_) inplace_site_->OnUIActivate();
    if (ui_handler_) Noted("ShowUI", ui_handler_->ShowUI(1 /* DOCHOSTUITYPE_BROWSE */, this, this, nullptr, nullptr));
  }
  HWND target = document_window_ ? document_window_ : folder_window_;
  if (target && GetFocus() != target && AllowFocus()) ::SetFocus(target);
}

bool WebBrowser::AskRefresh(DWORD command) {
  // The host may cancel a refresh the user asks for.
  if (host_commands_ && Noted("Exec " + std::to_string(command),
                              host_commands_->Exec(&CGID_DocHostCommandHandler, command, 0, nullptr, nullptr)) == S_OK)
    return false;
  return true;
}

bool WebBrowser::Accelerator(const MSG& msg) {
  if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) return false;
  AddRef();
  bool handled = false;
  MSG copy = msg;
  if (ui_handler_ && Noted("TranslateAccelerator " + std::to_string(copy.message) + " " + std::to_string(copy.wParam),
                           ui_handler_->TranslateAccelerator(&copy, &CGID_MSHTML, 0)) == S_OK)
    handled = true;
  if (!handled && !closed_ && (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN)) {
    bool ctrl = GetKeyState(VK_CONTROL) < 0, alt = GetKeyState(VK_MENU) < 0, shift = GetKeyState(VK_SHIFT) < 0;
    switch (msg.wParam) {
      case VK_F5:
        handled = true;
        if (AskRefresh(ctrl ? 6042 : 6041)) Refresh();
        break;
      case VK_LEFT:
      case VK_RIGHT:
        if (alt) {
          handled = true;
          if (msg.wParam == VK_LEFT)
            GoBack();
          else
            GoForward();
        }
        break;
      case VK_ESCAPE:
        handled = true;
        Stop();
        break;
      case 'N':
        if (ctrl) {
          handled = true;
          KvTrace("browser", "new window (Ctrl+N) refused");
        }
        break;
      case VK_F1:
        handled = true;
        if (show_ui_) {
          POINT pt{0, 0};
          Noted("ShowHelp", show_ui_->ShowHelp(embedding_, nullptr, 0, 0, pt, nullptr));
        }
        break;
      case VK_F10:
        if (shift) {
          handled = true;
          ContextMenu(0, 0, true);
        }
        break;
      default: break;
    }
  }
  Release();
  return handled;
}

void WebBrowser::MouseInput(UINT msg, int x, int y) {
  if (!document_ || !document_window_) return;
  AddRef();
  Document* doc = document_;
  doc->AddRef();
  RECT rc{};
  GetClientRect(document_window_, &rc);
  HDC dc = GetDC(document_window_);
  Node* target = doc->LayoutFor(dc, rc.right - rc.left).HitTest(x, y);
  ReleaseDC(document_window_, dc);
  if (!target) target = doc->Body();
  if (target) {
    DomEvent ev;
    ev.target = target;
    ev.x = x;
    ev.y = y;
    ev.ctrl = GetKeyState(VK_CONTROL) < 0;
    ev.shift = GetKeyState(VK_SHIFT) < 0;
    ev.alt = GetKeyState(VK_MENU) < 0;
    ev.button = msg == WM_RBUTTONDOWN || msg == WM_RBUTTONUP ? 2 : 1;
    if (msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN) {
      ev.type = "mousedown";
      ev.dispid = DISPID_EVMETH_ONMOUSEDOWN;
      doc->Dispatch(ev);
      if (msg == WM_LBUTTONDOWN) {
        Node* focus = target;
        while (focus && !(focus->kind == Node::kElement &&
                          (focus->tag == "input" || focus->tag == "select" || focus->tag == "textarea" ||
                           focus->tag == "button" || (focus->tag == "a" && focus->Attr("href")))))
          focus = focus->parent;
        doc->SetFocus(focus);
      }
    } else if (msg == WM_LBUTTONUP || msg == WM_RBUTTONUP) {
      ev.type = "mouseup";
      ev.dispid = DISPID_EVMETH_ONMOUSEUP;
      doc->Dispatch(ev);
      if (msg == WM_LBUTTONUP && !doc->TornDown()) {
        DomEvent click = ev;
        click.type = "click";
        click.dispid = DISPID_EVMETH_ONCLICK;
        click.key_code = 0;
        if (doc->Dispatch(click)) doc->ActivateElement(target);
      }
    } else if (msg == WM_LBUTTONDBLCLK) {
      ev.type = "dblclick";
      ev.dispid = DISPID_EVMETH_ONDBLCLICK;
      doc->Dispatch(ev);
    }
  }
  doc->Release();
  Release();
}

void WebBrowser::KeyInput(UINT msg, WPARAM wp) {
  if (!document_) return;
  AddRef();
  Document* doc = document_;
  doc->AddRef();
  Node* target = doc->Focus() ? doc->Focus() : doc->Body();
  if (target) {
    DomEvent ev;
    ev.target = target;
    ev.key_code = static_cast<LONG>(wp);
    ev.ctrl = GetKeyState(VK_CONTROL) < 0;
    ev.shift = GetKeyState(VK_SHIFT) < 0;
    ev.alt = GetKeyState(VK_MENU) < 0;
    if (msg == WM_KEYDOWN) {
      ev.type = "keydown";
      ev.dispid = DISPID_EVMETH_ONKEYDOWN;
      if (doc->Dispatch(ev) && !doc->TornDown()) {
        if (wp == VK_TAB) doc->MoveFocus(ev.shift);
      }
    } else if (msg == WM_CHAR) {
      ev.type = "keypress";
      ev.dispid = DISPID_EVMETH_ONKEYPRESS;
      if (doc->Dispatch(ev) && !doc->TornDown() && ev.key_code != 0) {
        Node* f = doc->Focus();
        bool button = f && (f->IsElement("button") ||
                            (f->IsElement("input") &&
                             (f->InputType() == "submit" || f->InputType() == "button" || f->InputType() == "reset")));
        if (f && ev.key_code == '\r' && button) {
          doc->ElementOf(f)->click();
        } else if (f && ev.key_code == '\r' && f->IsElement("input")) {
          // Enter in a text field submits its form through its first submit button.
          Node* form = f->parent;
          while (form && !form->IsElement("form")) form = form->parent;
          if (form) {
            Node* submit = nullptr;
            std::vector<Node*> stack{form};
            while (!stack.empty() && !submit) {
              Node* n = stack.back();
              stack.pop_back();
              if (n->IsElement("input") && (n->InputType() == "submit" || n->InputType() == "image")) submit = n;
              for (size_t i = n->children.size(); i-- > 0;) stack.push_back(n->children[i].get());
            }
            if (submit)
              doc->ElementOf(submit)->click();
            else
              doc->SubmitForm(form, nullptr);
          }
        } else if (f) {
          doc->TypeCharacter(f, static_cast<char16_t>(ev.key_code));
        }
      }
    } else if (msg == WM_KEYUP) {
      ev.type = "keyup";
      ev.dispid = DISPID_EVMETH_ONKEYUP;
      doc->Dispatch(ev);
    }
  }
  doc->Release();
  Release();
}

void WebBrowser::ContextMenu(int x, int y, bool keyboard) {
  if (!document_ || !document_window_) return;
  AddRef();
  Document* doc = document_;
  doc->AddRef();
  Node* target = nullptr;
  POINT pt{x, y};
  if (keyboard) {
    target = doc->Focus();
    RECT box{};
    HDC dc = GetDC(document_window_);
    RECT rc{};
    GetClientRect(document_window_, &rc);
    if (target && doc->LayoutFor(dc, rc.right).BoxOf(target, &box)) pt = {box.left, box.bottom};
    ReleaseDC(document_window_, dc);
  } else {
    RECT rc{};
    GetClientRect(document_window_, &rc);
    HDC dc = GetDC(document_window_);
    target = doc->LayoutFor(dc, rc.right).HitTest(x, y);
    ReleaseDC(document_window_, dc);
  }
  if (!target) target = doc->Body();
  DomEvent ev{"contextmenu", DISPID_EVMETH_ONCONTEXTMENU, target};
  ev.x = pt.x;
  ev.y = pt.y;
  ev.button = 2;
  if (target && doc->Dispatch(ev) && !doc->TornDown()) {
    DWORD kind = CONTEXT_MENU_DEFAULT;
    Node* link = nullptr;
    for (Node* p = target; p; p = p->parent)
      if (p->IsElement("a") && p->Attr("href")) {
        link = p;
        break;
      }
    if (link)
      kind = CONTEXT_MENU_ANCHOR;
    else if (target->IsElement("img"))
      kind = CONTEXT_MENU_IMAGE;
    else if (target->IsElement("input") || target->IsElement("select") || target->IsElement("textarea") ||
             target->IsElement("button"))
      kind = CONTEXT_MENU_CONTROL;
    POINT screen = pt;
    ClientToScreen(document_window_, &screen);
    IDispatch* element = doc->ObjectOf(target);
    HRESULT hr = ui_handler_
                     ? Noted("ShowContextMenu " + std::to_string(kind),
                             ui_handler_->ShowContextMenu(kind, &screen, static_cast<IOleCommandTarget*>(doc), element))
                     : S_FALSE;
    if (element) element->Release();
    if (hr != S_OK && !doc->TornDown() && document_window_) {
      // The own menu, answered from the platform's scripted menu input.
      HMENU menu = CreatePopupMenu();
      if (link) {
        AppendMenuW(menu, MF_STRING, kCmdOpenLink, u"Open Link");
        AppendMenuW(menu, MF_STRING, kCmdOpenNewWindow, u"Open in New Window");
      } else {
        AppendMenuW(menu, MF_STRING | (travel_index_ > 0 ? 0 : MF_GRAYED), kCmdBack, u"Back");
        AppendMenuW(menu, MF_STRING | (travel_index_ + 1 < static_cast<int>(travel_.size()) ? 0 : MF_GRAYED),
                    kCmdForward, u"Forward");
        AppendMenuW(menu, MF_STRING, kCmdRefresh, u"Refresh");
        AppendMenuW(menu, MF_STRING, kCmdSelectAll, u"Select All");
        AppendMenuW(menu, MF_STRING, kCmdPrint, u"Print");
        AppendMenuW(menu, MF_STRING, kCmdViewSource, u"View Source");
        AppendMenuW(menu, MF_STRING, kCmdProperties, u"Properties");
      }
      UINT cmd = static_cast<UINT>(
          TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY, screen.x, screen.y, 0, document_window_, nullptr));
      DestroyMenu(menu);
      switch (cmd) {
        case kCmdBack: GoBack(); break;
        case kCmdForward: GoForward(); break;
        case kCmdRefresh:
          if (AskRefresh(2300)) Refresh();
          break;
        case kCmdOpenLink:
          if (link) doc->ActivateElement(link);
          break;
        case 0: break;
        default: KvTrace("browser", "menu command %u refused (not supported)", cmd);
      }
    }
  }
  doc->Release();
  Release();
}

LRESULT WebBrowser::DocumentWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  // Key messages that did not pass TranslateAccelerator (no container pre-translated
  // them) pass it here, so the host sees every key first.
  if (msg >= WM_KEYFIRST && msg <= WM_KEYLAST) {
    bool seen =
        translated_.hwnd == hwnd && translated_.message == msg && translated_.wParam == wp && translated_.lParam == lp;
    translated_ = MSG{};
    if (!seen) {
      MSG m{hwnd, msg, wp, lp, 0, {0, 0}};
      if (Accelerator(m)) return 0;
    }
  }
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT rc{};
      GetClientRect(hwnd, &rc);
      if (document_) {
        RECTL bounds{rc.left, rc.top, rc.right, rc.bottom};
        document_->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0);
      } else {
        FillRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
      }
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_LBUTTONDOWN:
      UIActivate();
      MouseInput(msg, GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_LBUTTONDBLCLK: MouseInput(msg, GET_X_LPARAM(lp), GET_Y_LPARAM(lp)); return 0;
    case WM_RBUTTONUP:
      MouseInput(msg, GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      {
        POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        ClientToScreen(hwnd, &pt);
        SendMessageW(hwnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hwnd), MAKELPARAM(pt.x, pt.y));
      }
      return 0;
    case WM_CONTEXTMENU: {
      if (lp == -1) {
        ContextMenu(0, 0, true);
      } else {
        POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        ScreenToClient(hwnd, &pt);
        ContextMenu(pt.x, pt.y, false);
      }
      return 0;
    }
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR: KeyInput(msg, wp); return 0;
    case WM_SIZE: InvalidateRect(hwnd, nullptr, TRUE); return 0;
    case WM_ERASEBKGND: return 1;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

// ---- Class object ---------------------------------------------------------------------------------------------------
namespace {
struct Registration {
  Registration() { RegisterBuiltinClass<WebBrowser, CLSID_WebBrowser>(); }
} registration;
}  // namespace

}  // namespace kv::browser
