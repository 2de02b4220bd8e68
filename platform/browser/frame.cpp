// Frames of the top document: their slots' loads, documents and walks, and the browser
// objects the frames answer with.
#include "platform/browser/control.h"
#include "platform/browser/element.h"
#include "platform/browser/internal.h"
#include "platform/browser/object.h"
#include "platform/browser/script.h"
#include "platform/browser/task.h"
#include "platform/browser/url.h"

namespace kv::browser {

// ---- Loads of frames ------------------------------------------------------------------------------------------
void FrameSlot::OnResponse(int s, const std::string& type, const std::string& final_url, uint64_t) {
  status = s;
  content_type = type;
  if (!final_url.empty()) url = final_url;
}
void FrameSlot::OnData(const uint8_t* data, size_t size) { body.append(reinterpret_cast<const char*>(data), size); }
void FrameSlot::OnComplete() { browser->FrameDone(this, generation, S_OK); }
void FrameSlot::OnFailure(HRESULT code) { browser->FrameDone(this, generation, code); }

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

// ---- Browser objects of frames -------------------------------------------------------------------------------
HRESULT FrameBrowser::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return S_OK;
}
HRESULT FrameBrowser::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}
HRESULT FrameBrowser::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  static const DispName kNames[] = {{u"Navigate", DISPID_WB_NAVIGATE},       {u"Navigate2", DISPID_WB_NAVIGATE2},
                                    {u"Refresh", DISPID_WB_REFRESH},         {u"Stop", DISPID_WB_STOP},
                                    {u"Document", DISPID_WB_DOCUMENT},       {u"LocationName", DISPID_WB_LOCATIONNAME},
                                    {u"LocationURL", DISPID_WB_LOCATIONURL}, {u"Busy", DISPID_WB_BUSY},
                                    {u"ReadyState", DISPID_READYSTATE}};
  return NamesToIds(kNames, names, count, ids);
}
HRESULT FrameBrowser::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) {
  if (result) VariantInit(result);
  UINT argc = params ? params->cArgs : 0;
  switch (id) {
    case DISPID_WB_NAVIGATE:
    case DISPID_WB_NAVIGATE2:
      if (argc < 1) return DISP_E_BADPARAMCOUNT;
      return Navigate2(&params->rgvarg[argc - 1], nullptr, nullptr, nullptr, nullptr);
    case DISPID_WB_REFRESH: return Refresh();
    case DISPID_WB_STOP: return Stop();
    case DISPID_WB_DOCUMENT:
    case DISPID_WB_LOCATIONNAME:
    case DISPID_WB_LOCATIONURL:
    case DISPID_WB_BUSY:
    case DISPID_READYSTATE: return BrowserProperty(this, id, result);
    default: return DISP_E_MEMBERNOTFOUND;
  }
}
HRESULT FrameBrowser::Navigate(BSTR url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) {
  if (!top_) return E_UNEXPECTED;
  std::string u = Utf8(url);
  if (u.empty()) return E_INVALIDARG;
  return top_->NavigateFrame(slot_, ResolveUrl(slot_->url, NormalizeUrl(u)));
}
HRESULT FrameBrowser::Navigate2(VARIANT* url, VARIANT* flags, VARIANT* target, VARIANT* post_data, VARIANT* headers) {
  if (!url) return E_INVALIDARG;
  const VARIANT* v = url->vt == (VT_BYREF | VT_VARIANT) ? url->pvarVal : url;
  if (!v || v->vt != VT_BSTR) return E_INVALIDARG;
  return Navigate(v->bstrVal, flags, target, post_data, headers);
}
HRESULT FrameBrowser::Refresh() {
  if (!top_) return E_UNEXPECTED;
  return top_->NavigateFrame(slot_, slot_->url);
}
HRESULT FrameBrowser::Stop() {
  if (!top_) return E_UNEXPECTED;
  slot_->load.reset();
  return S_OK;
}
HRESULT FrameBrowser::get_Document(IDispatch** document) {
  if (!document) return E_POINTER;
  *document = nullptr;
  if (top_ && slot_->document) {
    slot_->document->AddRef();
    *document = static_cast<IHTMLDocument2*>(slot_->document);
  }
  return S_OK;
}
HRESULT FrameBrowser::get_LocationName(BSTR* name) {
  if (!name) return E_POINTER;
  std::string title = top_ && slot_->document ? slot_->document->Title() : "";
  *name = Bstr(title.empty() && top_ ? slot_->url : title);
  return S_OK;
}
HRESULT FrameBrowser::get_LocationURL(BSTR* url) {
  if (!url) return E_POINTER;
  *url = Bstr(top_ ? slot_->url : "");
  return S_OK;
}
HRESULT FrameBrowser::get_Busy(VARIANT_BOOL* busy) {
  if (!busy) return E_POINTER;
  // Busy from the start of its load until its walk is over (ReadyState 1 to 3).
  const int state = top_ ? top_->FrameReadyState(slot_) : READYSTATE_UNINITIALIZED;
  *busy = state >= READYSTATE_LOADING && state <= READYSTATE_INTERACTIVE ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}
HRESULT FrameBrowser::get_ReadyState(LONG* state) {
  if (!state) return E_POINTER;
  *state = top_ ? top_->FrameReadyState(slot_) : READYSTATE_UNINITIALIZED;
  return S_OK;
}

}  // namespace kv::browser
