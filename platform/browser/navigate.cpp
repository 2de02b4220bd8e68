// The browser control's navigation: starting one (from the host, the travel log or a
// document), its transfer, an undisplayed response, failure, the commit of the new
// document and its walk, the end of the load; fragments and targets of a document's links.
#include <algorithm>
#include <cstdio>

#include "platform/base/codepage.h"
#include "platform/browser/control.h"
#include "platform/browser/download.h"
#include "platform/browser/internal.h"
#include "platform/browser/object.h"
#include "platform/browser/recorders.h"
#include "platform/browser/script.h"
#include "platform/browser/task.h"
#include "platform/browser/url.h"
#include "platform/registry/registry.h"

namespace kv::browser {
namespace {

std::string Str(const VARIANT* v) {
  if (!v) return {};
  if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
  if (v->vt == VT_BSTR) return Utf8(v->bstrVal);
  if (v->vt == (VT_BYREF | VT_BSTR) && v->pbstrVal) return Utf8(*v->pbstrVal);
  return {};
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

// The folder view's "document": a dispatch object with no members and no document
// interfaces.
class FolderObject final : public UntypedDispatch {
 public:
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override {
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  bool Accepts(REFIID riid) const override { return IsEqualIID(riid, IID_IDispatch); }
};

}  // namespace

std::string ErrorPage(const std::string& url, LONG code) {
  char num[16];
  std::snprintf(num, sizeof num, "0x%08X", static_cast<unsigned>(code));
  std::string escaped;
  for (char c : url) escaped += c == '<' ? std::string("&lt;") : c == '&' ? std::string("&amp;") : std::string(1, c);
  return "<html><head><title>Navigation failed</title></head><body><p>The page cannot be displayed.</p><p>" + escaped +
         "</p><p>" + (code >= 400 && code < 1000 ? std::to_string(code) : std::string(num)) + "</p></body></html>";
}

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

// ---- Navigation from documents ------------------------------------------------------------------------------
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

}  // namespace kv::browser
