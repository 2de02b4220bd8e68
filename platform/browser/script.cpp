// The script engine of a window: its Duktape heap, the document walk, running code,
// handlers and the Script dispatch. The global environment is in script_window.cpp,
// script errors and the own dialogs in script_errors.cpp.
#include "platform/browser/script.h"

#include <cstdio>
#include <cstdlib>

#include "platform/browser/element.h"
#include "platform/browser/loader.h"
#include "platform/browser/script_heap.h"
#include "platform/browser/url.h"

namespace kv::browser {

// ---- The heap record ----------------------------------------------------------------------------
void Heap::Release() {
  if (--refs == 0) delete this;
}

NativeFrame& Heap::Frame(int level) {
  while (static_cast<int>(frames.size()) <= level) frames.push_back(std::make_unique<NativeFrame>());
  return *frames[static_cast<size_t>(level)];
}

namespace {

// Allocations carry their size in front, so the heap's total is known.
struct alignas(16) AllocHeader {
  size_t size;
};

void* HeapAlloc(void* udata, duk_size_t size) {
  auto* h = static_cast<Heap*>(udata);
  if (size == 0) return nullptr;
  if (size > kHeapCap || h->used + size > kHeapCap) return nullptr;
  auto* p = static_cast<AllocHeader*>(std::malloc(sizeof(AllocHeader) + size));
  if (!p) return nullptr;
  p->size = size;
  h->used += size;
  return p + 1;
}

void HeapFree(void* udata, void* ptr) {
  if (!ptr) return;
  auto* h = static_cast<Heap*>(udata);
  AllocHeader* p = static_cast<AllocHeader*>(ptr) - 1;
  h->used -= p->size;
  std::free(p);
}

void* HeapRealloc(void* udata, void* ptr, duk_size_t size) {
  auto* h = static_cast<Heap*>(udata);
  if (!ptr) return HeapAlloc(udata, size);
  if (size == 0) {
    HeapFree(udata, ptr);
    return nullptr;
  }
  AllocHeader* p = static_cast<AllocHeader*>(ptr) - 1;
  size_t old = p->size;
  if (size > old && (size > kHeapCap || h->used - old + size > kHeapCap)) return nullptr;
  auto* q = static_cast<AllocHeader*>(std::realloc(p, sizeof(AllocHeader) + size));
  if (!q) return nullptr;
  h->used = h->used - old + size;
  q->size = size;
  return q + 1;
}

// Every call into the heap is protected, so this means an engine fault.
void HeapFatal(void*, const char* msg) {
  std::fprintf(stderr, "script engine fault: %s\n", msg ? msg : "");
  std::abort();
}

}  // namespace

bool InDocument(Heap* h, Node* n) {
  while (n && n->parent) n = n->parent;
  return h->doc && n == h->doc->Root();
}

std::string ScriptText(const Node* n) {
  std::string s;
  for (const auto& c : n->children)
    if (c->kind == Node::kText) s += c->text;
  return s;
}

Heap* HeapOf(duk_context* ctx) {
  duk_memory_functions funcs;
  duk_get_memory_functions(ctx, &funcs);
  return static_cast<Heap*>(funcs.udata);
}

void Heap::Destroy() {
  if (!ctx || destroying) return;
  AddRef();
  destroying = true;
  timers.clear();
  if (platform_timer) {
    KillTimer(nullptr, platform_timer);
    platform_timer = 0;
  }
  load.reset();
  event_scripts.clear();
  DropEventSinks(this);
  for (auto& f : frames) f->Clear();
  // Finalizers release every COM reference the heap's wrappers hold.
  duk_destroy_heap(ctx);
  ctx = nullptr;
  doc = nullptr;
  destroying = false;
  Release();
}

Entry::Entry(Heap* h) : h_(h), doc_(h->doc) {
  h_->AddRef();
  if (doc_) doc_->AddRef();
  ++h_->depth;
}
Entry::~Entry() {
  if (--h_->depth == 0 && h_->closing) h_->Destroy();
  if (doc_) doc_->Release();
  h_->Release();
}

// ---- Pending script loads -----------------------------------------------------------------------------
struct Heap::ScriptLoad : LoadEvents {
  Heap* heap = nullptr;
  Node* node = nullptr;
  std::string url;
  int status = 0;
  std::string body;
  std::unique_ptr<Load> load;
  std::string content_type;
  void OnResponse(int st, const std::string& type, const std::string& final_url, uint64_t) override {
    status = st;
    content_type = type;
    url = final_url.empty() ? url : final_url;
  }
  void OnData(const uint8_t* data, size_t size) override { body.append(reinterpret_cast<const char*>(data), size); }
  void OnDirectory(const std::vector<DirectoryEntry>&) override { status = 404; }
  void OnComplete() override;
  void OnFailure(HRESULT) override;
};

namespace {

void StepWalk(Heap* h);
void StepWalkHeld(Heap* h);

bool IsScriptLanguage(const Node* n) {
  std::string type = n->AttrOr("type"), lang = n->AttrOr("language");
  for (auto& c : type) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (auto& c : lang) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  auto js = [](const std::string& t) {
    return t == "javascript" || t == "jscript" || t == "ecmascript" || t.rfind("javascript1.", 0) == 0;
  };
  if (!type.empty()) {
    size_t semi = type.find(';');
    std::string t = type.substr(0, semi);
    return t == "text/javascript" || t == "application/javascript" || t == "text/jscript" || t == "text/ecmascript" ||
           t == "application/x-javascript";
  }
  return lang.empty() || js(lang);
}

// Compiles and runs `code` (protected), reporting an error as a script error.
struct RunData {
  const std::string* code;
  const std::string* url;
};
duk_ret_t RunStep(duk_context* ctx, void* udata) {
  auto* r = static_cast<RunData*>(udata);
  duk_push_lstring(ctx, r->url->data(), r->url->size());
  duk_compile_lstring_filename(ctx, 0, r->code->data(), r->code->size());
  duk_call(ctx, 0);
  return 1;
}

}  // namespace

void RunCode(Heap* h, const std::string& code, const std::string& url, int first_line) {
  if (!h->ctx || h->closing || h->stopped) return;
  Entry entry(h);
  duk_context* ctx = h->ctx;
  if (!duk_check_stack(ctx, 8)) return;
  duk_idx_t top = duk_get_top(ctx);
  RunData data{&code, &url};
  h->line_base = first_line > 0 ? first_line : 1;
  if (duk_safe_call(ctx, RunStep, &data, 0, 1) != DUK_EXEC_SUCCESS) ReportError(h, -1);
  h->line_base = 1;
  duk_set_top(ctx, top);
}

void Heap::ScriptLoad::OnComplete() {
  Heap* h = heap;
  std::unique_ptr<ScriptLoad> self = std::move(h->load);
  if (status < 400 && InDocument(h, node)) {
    h->running_script = node;
    RunCode(h, DecodeText(body, content_type, node->AttrOr("charset"), h->doc->Charset()), url, 1);
    h->running_script = nullptr;
  }
  StepWalk(h);
}
void Heap::ScriptLoad::OnFailure(HRESULT) {
  Heap* h = heap;
  std::unique_ptr<ScriptLoad> self = std::move(h->load);
  StepWalk(h);
}

namespace {

// Inserts the text a walk script wrote after the script element; scripts in it run next.
void InsertWritten(Heap* h, Node* script) {
  std::string text = std::move(h->written);
  h->written.clear();
  if (text.empty() || !script->parent) return;
  auto nodes = ParseFragment(text, script->parent->tag, Depth(script->parent));
  Node* parent = script->parent;
  size_t at = 0;
  while (at < parent->children.size() && parent->children[at].get() != script) ++at;
  ++at;
  std::vector<Node*> scripts;
  for (auto& c : nodes) {
    Node* placed = c.get();
    c->parent = parent;
    parent->children.insert(parent->children.begin() + static_cast<std::ptrdiff_t>(at++), std::move(c));
    std::vector<Node*> walk{placed};
    while (!walk.empty()) {
      Node* n = walk.back();
      walk.pop_back();
      if (n->IsElement("script")) scripts.push_back(n);
      for (size_t i = n->children.size(); i-- > 0;) walk.push_back(n->children[i].get());
    }
  }
  h->walk.insert(h->walk.begin() + static_cast<std::ptrdiff_t>(h->walk_next), scripts.begin(), scripts.end());
  h->doc->Invalidate();
}

void StepWalk(Heap* h) {
  // A script may tear its document down; the record stays until the walk lets go.
  h->AddRef();
  StepWalkHeld(h);
  h->Release();
}

void StepWalkHeld(Heap* h) {
  while (h->ctx && !h->closing && h->walk_next < h->walk.size()) {
    Node* s = h->walk[h->walk_next++];
    if (!InDocument(h, s)) continue;
    if (s->IsElement("object")) {
      if (h->make_control) h->make_control(h->doc, s);
      BindEventScripts(h, false);  // those waiting for this control
      continue;
    }
    if (!IsScriptLanguage(s)) {
      if (!h->language_reported) {
        h->language_reported = true;
        ReportNewError(h, s, DUK_ERR_ERROR, "language not supported");
      }
      continue;
    }
    if (s->Attr("for") && s->Attr("event")) {
      QueueEventScript(h, s);  // an event's handler, bound to its element
      continue;
    }
    if (const std::string* src = s->Attr("src"); src && !src->empty()) {
      auto load = std::make_unique<Heap::ScriptLoad>();
      load->heap = h;
      load->node = s;
      load->url = ResolveUrl(h->doc->Url(), *src);
      LoadRequest request;
      request.url = load->url;
      request.referer = h->doc->Url();
      Heap::ScriptLoad* events = load.get();
      h->load = std::move(load);
      events->load = StartLoad(request, events);
      return;  // the load's end goes on with the walk
    }
    h->running_script = s;
    RunCode(h, ScriptText(s), h->doc->Url(), s->line);
    h->running_script = nullptr;
    if (h->ctx && !h->closing) InsertWritten(h, s);
  }
  if (!h->ctx || h->closing) return;
  BindEventScripts(h, true);
  if (!h->ctx || h->closing) return;
  std::function<void()> done = std::move(h->walk_done);
  h->walk_done = nullptr;
  if (done) done();
}

}  // namespace

// ---- Script ----------------------------------------------------------------------------------------------
Script::Script(Document* doc) : heap_(new Heap) {
  heap_->doc = doc;
  heap_->script = this;
  heap_->ctx = duk_create_heap(HeapAlloc, HeapRealloc, HeapFree, heap_, HeapFatal);
  if (!heap_->ctx) return;
  Entry entry(heap_);
  if (duk_safe_call(heap_->ctx, SetupStep, nullptr, 0, 1) != DUK_EXEC_SUCCESS) {
    // A heap whose environment could not be built runs nothing.
    heap_->closing = true;
  }
  duk_pop(heap_->ctx);
}

Script::~Script() {
  Close();
  heap_->script = nullptr;
  heap_->Release();
}

void Script::Close() {
  Heap* h = heap_;
  h->timers.clear();
  h->walk.clear();
  h->walk_done = nullptr;
  h->make_control = nullptr;
  h->event_scripts.clear();
  h->load.reset();
  ArmTimer(h);  // no timers left: the platform timer goes
  h->closing = true;
  if (h->depth == 0) h->Destroy();
}

void Script::Stop() {
  Heap* h = heap_;
  h->stopped = true;
  h->timers.clear();
  ArmTimer(h);
}

void Script::Walk(std::function<void()> done, std::function<void(Document*, Node*)> make_control) {
  Heap* h = heap_;
  h->walk.clear();
  h->walk_next = 0;
  h->make_control = std::move(make_control);
  std::vector<Node*> stack{h->doc->Root()};
  while (!stack.empty()) {
    Node* n = stack.back();
    stack.pop_back();
    if (n->IsElement("script") || (h->make_control && n->IsElement("object") && n->Attr("classid")))
      h->walk.push_back(n);
    for (size_t i = n->children.size(); i-- > 0;) stack.push_back(n->children[i].get());
  }
  h->walk_done = std::move(done);
  if (!h->ctx || h->closing) {
    // No engine: the walk runs no script, and makes the controls.
    if (h->make_control && !h->closing)
      for (Node* n : h->walk)
        if (n->IsElement("object")) h->make_control(h->doc, n);
    std::function<void()> d = std::move(h->walk_done);
    h->walk_done = nullptr;
    if (d) d();
    return;
  }
  StepWalk(h);
}

void Script::RunText(const std::string& code) {
  if (heap_->doc) RunCode(heap_, code, heap_->doc->Url(), 1);
}

bool Script::CollectWrite(const std::string& text) {
  if (!heap_->running_script || heap_->load) return false;
  heap_->written += text;
  return true;
}

namespace {

// Calls the handler at the top of the stack with `this` below it and no arguments;
// false returned sets the event's returnValue.
void CallHandler(Heap* h, IHTMLEventObj* event, duk_idx_t nargs) {
  duk_context* ctx = h->ctx;
  if (CallProtected(h, nargs) == DUK_EXEC_SUCCESS && duk_is_boolean(ctx, -1) && !duk_get_boolean(ctx, -1) && event) {
    VARIANT v;
    v.vt = VT_BOOL;
    v.boolVal = VARIANT_FALSE;
    event->put_returnValue(v);
  }
  duk_pop(ctx);
}

struct HandlerData {
  IDispatch* node;
  const std::string* type;
};

// [] -> [wrapper handler-or-undefined attribute-text-or-undefined events-or-undefined]
duk_ret_t HandlerLookupStep(duk_context* ctx, void* udata) {
  auto* d = static_cast<HandlerData*>(udata);
  Heap* h = HeapOf(ctx);
  PushDispatch(h, d->node);
  std::string on = "on" + *d->type;
  duk_get_prop_string(ctx, -1, on.c_str());
  duk_get_prop_string(ctx, -2, "__kvEvents");
  return 3;
}

}  // namespace

void Script::FireHandlers(Node* node, const DomEvent& ev, IHTMLEventObj* event) {
  Heap* h = heap_;
  if (!h->ctx || h->closing || h->stopped) return;
  IDispatch* obj = h->doc->ObjectOf(node);
  if (!obj) return;
  Entry entry(h);
  duk_context* ctx = h->ctx;
  if (!duk_check_stack(ctx, 16)) {
    obj->Release();
    return;
  }
  duk_idx_t top = duk_get_top(ctx);
  std::string type = ev.type;
  HandlerData data{obj, &type};
  // Wrapper, handler property, attachEvent list; the element's attribute compiled when no
  // property is set.
  duk_push_undefined(ctx);
  duk_push_undefined(ctx);
  duk_push_undefined(ctx);
  if (duk_safe_call(ctx, HandlerLookupStep, &data, 0, 3) == DUK_EXEC_SUCCESS) {
    duk_idx_t wrapper = top + 3, handler = top + 4, list = top + 5;
    const std::string* attr = node->kind == Node::kElement ? node->Attr("on" + type) : nullptr;
    if (!duk_is_function(ctx, handler) && attr) {
      std::string code = *attr;
      std::string url = h->doc->Url();
      duk_push_lstring(ctx, url.data(), url.size());
      if (duk_pcompile_lstring_filename(ctx, DUK_COMPILE_FUNCTION, ("function(event){" + code + "\n}").c_str(),
                                        code.size() + 18) == DUK_EXEC_SUCCESS) {
        duk_replace(ctx, handler);
      } else {
        ReportError(h, -1);
        duk_pop(ctx);
      }
    }
    if (duk_is_function(ctx, handler)) {
      duk_dup(ctx, handler);
      duk_dup(ctx, wrapper);  // this = the node
      CallHandler(h, event, 0);
    }
    if (h->ctx && !h->closing && !h->stopped && duk_is_array(ctx, list)) {
      duk_size_t n = duk_get_length(ctx, list);
      std::string on = "on" + type;
      for (duk_size_t i = 0; i < n && h->ctx && !h->closing && !h->stopped; ++i) {
        duk_get_prop_index(ctx, list, static_cast<duk_uarridx_t>(i));  // [name, f]
        duk_get_prop_index(ctx, -1, 0);
        duk_size_t len = 0;
        const char* s = duk_get_lstring(ctx, -1, &len);
        bool match = s && on.size() == len && std::equal(on.begin(), on.end(), s, [](char a, char b) {
                       return a == std::tolower(static_cast<unsigned char>(b));
                     });
        duk_pop(ctx);
        if (match) {
          duk_get_prop_index(ctx, -1, 1);
          duk_push_global_object(ctx);
          PushDispatch(h, event);
          CallHandler(h, event, 1);
        }
        duk_pop(ctx);
      }
    }
  }
  if (h->ctx) duk_set_top(ctx, top);
  obj->Release();
}

void Script::FireWindowEvent(const char* type) {
  Heap* h = heap_;
  if (!h->ctx || h->closing || h->stopped) return;
  Entry entry(h);
  duk_context* ctx = h->ctx;
  if (!duk_check_stack(ctx, 8)) return;
  duk_idx_t top = duk_get_top(ctx);
  std::string on = std::string("on") + type;
  duk_get_global_string(ctx, on.c_str());
  if (duk_is_function(ctx, -1)) {
    duk_push_global_object(ctx);
    CallHandler(h, nullptr, 0);
  } else if (Node* body = h->doc->Body(); body && body->Attr(on)) {
    // The body's attribute is the window's handler.
    std::string code = "(function(){" + *body->Attr(on) + "\n})";
    std::string url = h->doc->Url();
    duk_push_lstring(ctx, url.data(), url.size());
    if (duk_pcompile_lstring_filename(ctx, DUK_COMPILE_EVAL, code.c_str(), code.size()) == DUK_EXEC_SUCCESS &&
        duk_pcall(ctx, 0) == DUK_EXEC_SUCCESS) {
      duk_push_global_object(ctx);
      CallHandler(h, nullptr, 0);
    } else {
      ReportError(h, -1);
    }
  }
  if (h->ctx) duk_set_top(ctx, top);
}

// ---- The Script dispatch ------------------------------------------------------------------------------------
constexpr DISPID kFirstGlobalId = 0x10000;

HRESULT Script::GlobalId(const std::u16string& name, DISPID* id) {
  Heap* h = heap_;
  if (!h->ctx || h->closing) return DISP_E_UNKNOWNNAME;
  for (size_t i = 0; i < h->global_names.size(); ++i)
    if (h->global_names[i] == name) {
      *id = kFirstGlobalId + static_cast<DISPID>(i);
      return S_OK;
    }
  duk_context* ctx = h->ctx;
  if (!duk_check_stack(ctx, 4)) return E_OUTOFMEMORY;
  h->scratch.clear();
  ToInternal(name, &h->scratch);
  duk_push_global_object(ctx);
  duk_push_lstring(ctx, h->scratch.data(), h->scratch.size());
  bool found = duk_has_prop(ctx, -2);  // the global is a plain object: no trap runs
  duk_pop(ctx);
  if (!found) return DISP_E_UNKNOWNNAME;
  h->global_names.push_back(name);
  *id = kFirstGlobalId + static_cast<DISPID>(h->global_names.size() - 1);
  return S_OK;
}

bool Script::IsGlobalId(DISPID id) const {
  return id >= kFirstGlobalId && static_cast<size_t>(id - kFirstGlobalId) < heap_->global_names.size();
}

namespace {
struct GlobalCallData {
  const std::u16string* name;
  WORD flags;
  DISPPARAMS* params;
};
duk_ret_t GlobalCallStep(duk_context* ctx, void* udata) {
  auto* c = static_cast<GlobalCallData*>(udata);
  Heap* h = HeapOf(ctx);
  h->scratch.clear();
  ToInternal(*c->name, &h->scratch);
  duk_push_global_object(ctx);
  duk_get_prop_lstring(ctx, -1, h->scratch.data(), h->scratch.size());
  UINT argc = c->params ? c->params->cArgs : 0;
  UINT named = c->params ? c->params->cNamedArgs : 0;
  if ((c->flags & DISPATCH_PROPERTYPUT) && argc >= 1) {
    h->scratch.clear();
    ToInternal(*c->name, &h->scratch);
    duk_push_lstring(ctx, h->scratch.data(), h->scratch.size());
    PushVariant(h, &c->params->rgvarg[0]);
    duk_put_prop(ctx, -4);
    duk_push_undefined(ctx);
    return 1;
  }
  if (!duk_is_function(ctx, -1) || !(c->flags & DISPATCH_METHOD)) {
    if (c->flags & DISPATCH_PROPERTYGET) return 1;
    return DUK_RET_TYPE_ERROR;
  }
  duk_swap_top(ctx, -2);  // [f global]
  // Arguments arrive last first.
  for (UINT i = argc; i-- > named;) PushVariant(h, &c->params->rgvarg[i]);
  duk_call_method(ctx, static_cast<duk_idx_t>(argc - named));
  return 1;
}
}  // namespace

HRESULT Script::InvokeGlobal(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep) {
  Heap* h = heap_;
  if (result) VariantInit(result);
  if (!h->ctx || h->closing) return DISP_E_UNKNOWNNAME;
  if (!IsGlobalId(id)) return DISP_E_MEMBERNOTFOUND;
  std::u16string name = h->global_names[static_cast<size_t>(id - kFirstGlobalId)];
  Entry entry(h);
  duk_context* ctx = h->ctx;
  if (!duk_check_stack(ctx, 8)) return E_OUTOFMEMORY;
  duk_idx_t top = duk_get_top(ctx);
  GlobalCallData data{&name, flags, params};
  HRESULT hr = S_OK;
  if (duk_safe_call(ctx, GlobalCallStep, &data, 0, 1) == DUK_EXEC_SUCCESS) {
    if (result) ToVariant(h, -1, result);
  } else {
    ErrorToExcepInfo(h, -1, excep);
    ReportError(h, -1);
    hr = DISP_E_EXCEPTION;
  }
  if (h->ctx) duk_set_top(ctx, top);
  return hr;
}

}  // namespace kv::browser
