// The script engine of a window: its Duktape heap, the page's global environment (window
// members, Date on the platform clock, named elements), the document walk, handlers,
// timers, script errors and the Script dispatch.
#include "platform/browser/script.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>

#include "platform/base/codepage.h"
#include "platform/base/time.h"
#include "platform/browser/element.h"
#include "platform/browser/loader.h"
#include "platform/browser/object.h"
#include "platform/browser/script_heap.h"
#include "platform/browser/task.h"
#include "platform/browser/url.h"
// For KvPumpMessages: the own dialog's loop runs the queue until nothing is due, and the
// window system has no other call that does.
#include "platform/user/testing.h"
#include "platform/user/user.h"

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

const duk_function_list_entry* WindowNatives();
void StepWalk(Heap* h);
void StepWalkHeld(Heap* h);
void ArmTimer(Heap* h);

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

// The line of an error (its lineNumber) relative to its script's text.
int ErrorLine(duk_context* ctx, duk_idx_t idx) {
  if (!duk_is_object(ctx, idx)) return 0;
  duk_get_prop_string(ctx, idx, "lineNumber");
  int line = duk_is_number(ctx, -1) ? duk_get_int(ctx, -1) : 0;
  duk_pop(ctx);
  return line;
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

// ---- Script errors -------------------------------------------------------------------------------

// The error object of a script error: the five fields by name.
class ErrorEvent final : public UntypedDispatch {
 public:
  ErrorEvent(LONG line, LONG code, std::u16string message, std::u16string url)
      : line_(line), code_(code), message_(std::move(message)), url_(std::move(url)) {}
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    static const DispName kNames[] = {{u"errorLine", 1},    {u"errorCharacter", 2}, {u"errorCode", 3},
                                      {u"errorMessage", 4}, {u"errorUrl", 5},       {u"type", 6}};
    return NamesToIds(kNames, names, count, ids);
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
    if (result) VariantInit(result);
    switch (id) {
      case 1: return ResultLong(result, line_);
      case 2: return ResultLong(result, 1);  // the engine gives no column
      case 3: return ResultLong(result, code_);
      case 4: return ResultBstr(result, kv::AllocBstr(message_));
      case 5: return ResultBstr(result, kv::AllocBstr(url_));
      case 6: return ResultBstr(result, Bstr("error"));
      default: return DISP_E_MEMBERNOTFOUND;
    }
  }

 private:
  bool Accepts(REFIID riid) const override { return IsEqualIID(riid, IID_IDispatch); }
  LONG line_, code_;
  std::u16string message_, url_;
};

// The browser's own dialogs ("Script Error", prompt): a window of the platform's class
// owned by the top window, so a watcher finds it, modal while the queue has work. A
// watcher's WM_CLOSE answers kClosedByWatcher, its DestroyWindow kDestroyedByWatcher;
// else the next scripted answer, IDCANCEL when none is left.
constexpr char16_t kDialogClass[] = u"Internet Explorer_TridentDlgFrame";
constexpr int kClosedByWatcher = -1, kDestroyedByWatcher = -2;

struct ScriptedAnswer {
  int button;
  std::string text;
};
std::mutex& DialogScriptLock() {
  static std::mutex m;
  return m;
}
std::deque<ScriptedAnswer>& DialogScript() {
  static std::deque<ScriptedAnswer> answers;
  return answers;
}

struct DialogState {
  bool closed = false;
};
LRESULT DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (msg == WM_CLOSE) {
    if (state) state->closed = true;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    DestroyWindow(hwnd);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

int OwnDialog(Heap* h, const char16_t* caption, const std::u16string& text, std::string* answer_text) {
  static bool registered = false;
  if (!registered) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DialogProc;
    wc.lpszClassName = kDialogClass;
    RegisterClassW(&wc);
    registered = true;
  }
  DocumentHost* host = h->doc->Host();
  HWND owner = host ? host->DocumentTopWindow() : nullptr;
  DialogState state;
  HWND dlg = CreateWindowExW(WS_EX_DLGMODALFRAME, kDialogClass, caption, WS_POPUP | WS_CAPTION | WS_VISIBLE, 100, 100,
                             420, 200, owner, nullptr, nullptr, nullptr);
  if (!dlg) return IDCANCEL;
  SetWindowLongPtrW(dlg, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
  CreateWindowExW(0, u"Static", text.c_str(), WS_CHILD | WS_VISIBLE, 8, 8, 400, 120, dlg, nullptr, nullptr, nullptr);
  bool owner_enabled = owner && IsWindowEnabled(owner);
  if (owner_enabled) EnableWindow(owner, FALSE);
  while (IsWindow(dlg) && KvPumpMessages() > 0) {
  }
  int answer;
  if (!IsWindow(dlg)) {
    answer = state.closed ? kClosedByWatcher : kDestroyedByWatcher;
  } else {
    answer = IDCANCEL;
    {
      std::lock_guard<std::mutex> lock(DialogScriptLock());
      if (!DialogScript().empty()) {
        answer = DialogScript().front().button;
        if (answer_text) *answer_text = DialogScript().front().text;
        DialogScript().pop_front();
      }
    }
    SetWindowLongPtrW(dlg, GWLP_USERDATA, 0);
    DestroyWindow(dlg);
  }
  if (owner_enabled && IsWindow(owner)) EnableWindow(owner, TRUE);
  return answer;
}

// The script error dialog's answer: go on unless stopped (No, or destroyed).
bool ErrorDialogGoesOn(Heap* h, const std::u16string& message, LONG line, const std::u16string& url) {
  std::u16string text = u"Line: " + Utf8ToWide(std::to_string(line)) + u"\nError: " + message + u"\nURL: " + url +
                        u"\nDo you want to continue running scripts on this page?";
  int answer = OwnDialog(h, u"Script Error", text, nullptr);
  return answer != IDNO && answer != kDestroyedByWatcher;
}

}  // namespace

void ReportError(Heap* h, duk_idx_t idx) {
  if (!h->ctx || h->closing || h->stopped || !h->doc) return;
  duk_context* ctx = h->ctx;
  idx = duk_normalize_index(ctx, idx);
  Entry entry(h);
  // The error's fields.
  std::u16string message;
  LONG code = 0;
  if (duk_is_error(ctx, idx)) {
    duk_get_prop_string(ctx, idx, "message");
    message = StringAt(ctx, -1);
    duk_pop(ctx);
    duk_get_prop_string(ctx, idx, "number");
    if (duk_is_number(ctx, -1)) code = static_cast<LONG>(static_cast<int64_t>(duk_get_number(ctx, -1)));
    duk_pop(ctx);
  } else {
    message = StringAt(ctx, idx);
  }
  LONG line = h->line_base + std::max(ErrorLine(ctx, idx), 1) - 1;
  std::u16string url = Utf8ToWide(h->doc->Url());
  // 1. window.onerror(message, url, line); true ends it.
  duk_get_global_string(ctx, "onerror");
  if (duk_is_function(ctx, -1)) {
    duk_push_global_object(ctx);
    h->scratch.clear();
    ToInternal(message, &h->scratch);
    duk_push_lstring(ctx, h->scratch.data(), h->scratch.size());
    h->scratch.clear();
    ToInternal(url, &h->scratch);
    duk_push_lstring(ctx, h->scratch.data(), h->scratch.size());
    duk_push_int(ctx, line);
    bool handled = duk_pcall_method(ctx, 3) == DUK_EXEC_SUCCESS && duk_is_boolean(ctx, -1) && duk_get_boolean(ctx, -1);
    duk_pop(ctx);
    if (handled) return;
  } else {
    duk_pop(ctx);
  }
  DocumentHost* host = h->doc->Host();
  if (!host) return;
  // 2. window.event: the error's object for the host to read.
  auto* ev = new ErrorEvent(line, code, message, url);
  IHTMLEventObj* previous = h->doc->SwapCurrentEvent(reinterpret_cast<IHTMLEventObj*>(static_cast<IDispatch*>(ev)));
  // 3. The host's answer.
  VARIANT in, out;
  VariantInit(&in);
  VariantInit(&out);
  in.vt = VT_UNKNOWN;
  in.punkVal = static_cast<IHTMLDocument2*>(h->doc);
  h->doc->AddRef();
  HRESULT hr = host->DocumentScriptError(&in, &out);
  bool go_on;
  if (hr == S_OK && out.vt == VT_BOOL)
    go_on = out.boolVal != VARIANT_FALSE;
  else if (h->doc->Host() && h->doc->Host()->DocumentSilent())
    go_on = true;
  else
    go_on = h->doc->Host() ? ErrorDialogGoesOn(h, message, line, url) : true;
  VariantClear(&in);
  VariantClear(&out);
  // 4. window.event back.
  h->doc->SwapCurrentEvent(previous);
  ev->Release();
  if (!go_on) h->script->Stop();
}

void ReportNewError(Heap* h, Node* script, duk_errcode_t kind, const char* message) {
  if (!h->ctx || h->closing) return;
  Entry entry(h);
  duk_context* ctx = h->ctx;
  if (!duk_check_stack(ctx, 4)) return;
  duk_push_error_object(ctx, kind, "%s", message);
  // The script element's own line: the error did not come from a line of its text.
  duk_push_string(ctx, "lineNumber");
  duk_push_int(ctx, 1);
  duk_def_prop(ctx, -3,
               DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_SET_WRITABLE | DUK_DEFPROP_SET_CONFIGURABLE | DUK_DEFPROP_FORCE);
  int line_base = h->line_base;
  h->line_base = script->line > 0 ? script->line : 1;
  ReportError(h, -1);
  h->line_base = line_base;
  if (h->ctx) duk_pop(ctx);
}

void ErrorToExcepInfo(Heap* h, duk_idx_t idx, EXCEPINFO* excep) {
  if (!excep) return;
  duk_context* ctx = h->ctx;
  *excep = EXCEPINFO{};
  std::u16string message;
  SCODE code = static_cast<SCODE>(0x80020101);
  if (duk_is_error(ctx, idx)) {
    duk_get_prop_string(ctx, idx, "message");
    message = StringAt(ctx, -1);
    duk_pop(ctx);
    duk_get_prop_string(ctx, idx, "number");
    if (duk_is_number(ctx, -1)) {
      double n = duk_get_number(ctx, -1);
      if (n < 0 && n >= -2147483648.0) code = static_cast<SCODE>(n);
    }
    duk_pop(ctx);
  } else {
    message = StringAt(ctx, idx);
  }
  excep->bstrDescription = AllocBstr(message);
  excep->bstrSource = AllocBstr(u"script");
  excep->scode = code;
}

duk_int_t CallProtected(Heap* h, duk_idx_t nargs, bool report) {
  duk_int_t rc = duk_pcall_method(h->ctx, nargs);
  if (rc != DUK_EXEC_SUCCESS && report) ReportError(h, -1);
  return rc;
}

// ---- Window members --------------------------------------------------------------------------------
namespace {

IHTMLWindow2* WindowOf(Heap* h) {
  IHTMLWindow2* w = nullptr;
  h->doc->get_parentWindow(&w);
  return w;
}

// The window's own members, each a property of the global object.
Ret WinDocument(Heap* h, duk_context*, NativeFrame& f) {
  h->doc->AddRef();
  f.result.vt = VT_DISPATCH;
  f.result.pdispVal = static_cast<IHTMLDocument2*>(h->doc);
  return Ret::kResult;
}
// `d` (a reference the result takes), or null.
Ret ResultObject(NativeFrame& f, IDispatch* d) {
  f.result.vt = d ? VT_DISPATCH : VT_NULL;
  f.result.pdispVal = d;
  return Ret::kResult;
}
Ret WinExternal(Heap* h, duk_context*, NativeFrame& f) {
  IHTMLWindow2* w = WindowOf(h);
  IDispatch* ext = nullptr;
  w->get_external(&ext);
  w->Release();
  return ResultObject(f, ext);
}
Ret WinEvent(Heap* h, duk_context*, NativeFrame& f) {
  IHTMLEventObj* ev = h->doc->CurrentEvent();
  if (ev) ev->AddRef();
  return ResultObject(f, ev);
}
Ret WinAlert(Heap* h, duk_context* ctx, NativeFrame&) {
  std::u16string text = duk_get_top(ctx) > 0 ? StringAt(ctx, 0) : std::u16string(u"undefined");
  if (DocumentHost* host = h->doc->Host()) {
    LRESULT r = 0;
    host->DocumentShowMessage(text, 0x30 /* MB_ICONWARNING */, &r);
  }
  return Ret::kUndefined;
}
Ret WinConfirm(Heap* h, duk_context* ctx, NativeFrame& f) {
  std::u16string text = duk_get_top(ctx) > 0 ? StringAt(ctx, 0) : std::u16string();
  LRESULT r = 0;
  if (DocumentHost* host = h->doc->Host())
    host->DocumentShowMessage(text, 0x21 /* MB_OKCANCEL | MB_ICONQUESTION */, &r);
  f.result.vt = VT_BOOL;
  f.result.boolVal = r == 1 /* IDOK */ ? VARIANT_TRUE : VARIANT_FALSE;
  return Ret::kResult;
}
// navigate(url, how): 0 assign, 1 replace (no travel entry), 2 reload.
Ret WinNavigate(Heap* h, duk_context* ctx, NativeFrame&) {
  int how = duk_get_int(ctx, 1);
  DocumentHost* host = h->doc->Host();
  if (!host) return Ret::kUndefined;
  if (how == 2) {
    host->DocumentReload(h->doc);
    return Ret::kUndefined;
  }
  std::string url = ResolveUrl(h->doc->Url(), WideToUtf8(StringAt(ctx, 0)));
  host->NavigateFromDocument(h->doc, url, "", {}, "", how == 1 ? 2 /* navNoHistory */ : 0);
  return Ret::kUndefined;
}
// The parent window of a frame's window; null for the top (the page then uses itself).
Ret WinParent(Heap* h, duk_context*, NativeFrame& f) {
  return ResultObject(f, h->doc->Host() ? h->doc->Host()->DocumentParentWindow(h->doc) : nullptr);
}
// open(url, name): the browser's new-window path (the host may refuse or take it); the
// page gets null, as no window opens here.
Ret WinOpen(Heap* h, duk_context* ctx, NativeFrame&) {
  std::string url = WideToUtf8(StringAt(ctx, 0)), name = WideToUtf8(StringAt(ctx, 1));
  if (DocumentHost* host = h->doc->Host())
    host->NavigateFromDocument(h->doc, ResolveUrl(h->doc->Url(), url.empty() ? "about:blank" : url),
                               name.empty() ? "_blank" : name, {}, "");
  duk_push_null(ctx);
  return Ret::kTop;
}
Ret WinClose(Heap* h, duk_context*, NativeFrame&) {
  if (DocumentHost* host = h->doc->Host()) host->DocumentCloseWindow(h->doc);
  return Ret::kUndefined;
}
// moveWindow(kind, x, y): 0 moveTo, 1 moveBy, 2 resizeTo, 3 resizeBy, through the host's
// window services, else as WindowSet* events.
Ret WinMoveWindow(Heap* h, duk_context* ctx, NativeFrame&) {
  const int kind = duk_get_int(ctx, 0);
  if (DocumentHost* host = h->doc->Host())
    host->DocumentMoveWindow(kind >= 2, kind == 1 || kind == 3, duk_to_int32(ctx, 1), duk_to_int32(ctx, 2));
  return Ret::kUndefined;
}
// frame(i): the window of the document's i-th frame (null while it has none); frameName(i)
// its name; frameCount() how many.
Ret WinFrame(Heap* h, duk_context* ctx, NativeFrame& f) {
  std::vector<std::pair<std::string, IDispatch*>> frames;
  if (DocumentHost* host = h->doc->Host()) frames = host->DocumentFrames(h->doc);
  const int at = duk_get_int_default(ctx, 0, -1);
  const int kind = duk_get_int(ctx, 1);  // 0 count, 1 window, 2 name
  IDispatch* window = nullptr;
  std::string name;
  for (size_t i = 0; i < frames.size(); ++i) {
    if (static_cast<int>(i) == at) {
      window = frames[i].second;
      name = frames[i].first;
    } else if (frames[i].second) {
      frames[i].second->Release();
    }
  }
  if (kind == 1) return ResultObject(f, window);
  if (window) window->Release();
  if (kind == 0) {
    f.result.vt = VT_I4;
    f.result.lVal = static_cast<LONG>(frames.size());
  } else {
    f.result.vt = VT_BSTR;
    f.result.bstrVal = Bstr(name);
  }
  return Ret::kResult;
}
Ret WinStatus(Heap* h, duk_context* ctx, NativeFrame&) {
  if (DocumentHost* host = h->doc->Host()) host->DocumentStatusText(h->doc, WideToUtf8(StringAt(ctx, 0)));
  return Ret::kUndefined;
}
Ret WinUserAgent(Heap* h, duk_context*, NativeFrame& f) {
  DocumentHost* host = h->doc->Host();
  f.result.vt = VT_BSTR;
  f.result.bstrVal = Bstr(host ? host->DocumentUserAgent() : std::string());
  return Ret::kResult;
}
Ret WinHref(Heap* h, duk_context*, NativeFrame& f) {
  f.result.vt = VT_BSTR;
  f.result.bstrVal = Bstr(h->doc->Url());
  return Ret::kResult;
}
Ret WinNow(Heap*, duk_context* ctx, NativeFrame&) {
  // Calendar time at the heap's start moved on by the platform's (virtual) clock.
  static const double base = [] {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    uint64_t t = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return static_cast<double>(t / 10000) - 11644473600000.0;
  }();
  static const ULONGLONG base_tick = GetTickCount64();
  duk_push_number(ctx, base + static_cast<double>(GetTickCount64() - base_tick));
  return Ret::kTop;
}
// prompt(text, default): the own dialog; OK gives the scripted text, else null.
Ret WinPrompt(Heap* h, duk_context* ctx, NativeFrame& f) {
  std::u16string text = duk_is_undefined(ctx, 0) ? std::u16string() : StringAt(ctx, 0);
  std::string answer;
  if (OwnDialog(h, u"Explorer User Prompt", text, &answer) != IDOK) return Ret::kUndefined;  // null in script
  f.result.vt = VT_BSTR;
  f.result.bstrVal = Bstr(answer);
  return Ret::kResult;
}
Ret WinNotSupported(Heap*, duk_context*, NativeFrame& f) {
  f.hr = static_cast<HRESULT>(0x800A01B6);
  f.message = u"not supported by this browser";
  return Ret::kError;
}
// new ActiveXObject(ProgID): the class created through the registry and marked safe for
// scripting, unless the page may not run controls.
Ret WinActiveX(Heap* h, duk_context* ctx, NativeFrame& f) {
  IDispatch* object = nullptr;
  if (h->make_control && duk_is_string(ctx, 0) &&
      SUCCEEDED(PageControl::CreateForScript(StringAt(ctx, 0), &object)))
    return ResultObject(f, object);
  f.hr = static_cast<HRESULT>(0x800A01AD);
  f.message = u"Automation server can't create object";
  return Ret::kError;
}
// The elements with an id or name while in the document (a collection for several).
Ret WinNamed(Heap* h, duk_context* ctx, NativeFrame& f) {
  std::string name = WideToUtf8(StringAt(ctx, 0));
  IHTMLElementCollection* all = nullptr;
  h->doc->get_all(&all);
  VARIANT n, none;
  VariantInit(&none);
  n.vt = VT_BSTR;
  n.bstrVal = Bstr(name);
  IDispatch* item = nullptr;
  all->item(n, none, &item);
  VariantClear(&n);
  all->Release();
  if (!item) return Ret::kUndefined;
  return ResultObject(f, item);
}
Ret WinNames(Heap* h, duk_context* ctx, NativeFrame&) {
  std::vector<std::string> names;
  std::vector<Node*> stack{h->doc->Root()};
  while (!stack.empty()) {
    Node* n = stack.back();
    stack.pop_back();
    if (n->kind == Node::kElement)
      for (const char* a : {"id", "name"})
        if (const std::string* v = n->Attr(a);
            v && !v->empty() && std::find(names.begin(), names.end(), *v) == names.end())
          names.push_back(*v);
    for (auto& c : n->children) stack.push_back(c.get());
  }
  // The list goes out as one NUL-separated text, split in script.
  h->scratch.clear();
  for (const std::string& name : names) {
    h->scratch += name;
    h->scratch.push_back('\0');
  }
  duk_push_lstring(ctx, h->scratch.data(), h->scratch.size());
  return Ret::kTop;
}
Ret WinSetTimer(Heap* h, duk_context* ctx, NativeFrame&);
Ret WinClearTimer(Heap* h, duk_context* ctx, NativeFrame&);

const duk_function_list_entry kWindowNatives[] = {{"document", Native<WinDocument>, 0},
                                                  {"external", Native<WinExternal>, 0},
                                                  {"event", Native<WinEvent>, 0},
                                                  {"alert", Native<WinAlert>, DUK_VARARGS},
                                                  {"confirm", Native<WinConfirm>, DUK_VARARGS},
                                                  {"navigate", Native<WinNavigate>, 2},
                                                  {"href", Native<WinHref>, 0},
                                                  {"frame", Native<WinFrame>, 2},
                                                  {"status", Native<WinStatus>, 1},
                                                  {"userAgent", Native<WinUserAgent>, 0},
                                                  {"parent", Native<WinParent>, 0},
                                                  {"open", Native<WinOpen>, 2},
                                                  {"prompt", Native<WinPrompt>, 2},
                                                  {"close", Native<WinClose>, 0},
                                                  {"moveWindow", Native<WinMoveWindow>, 3},
                                                  {"now", Native<WinNow>, 0},
                                                  {"notSupported", Native<WinNotSupported>, 0},
                                                  {"activeX", Native<WinActiveX>, 1},
                                                  {"named", Native<WinNamed>, 1},
                                                  {"names", Native<WinNames>, 0},
                                                  {"setTimer", Native<WinSetTimer>, 4},
                                                  {"clearTimer", Native<WinClearTimer>, 1},
                                                  {nullptr, nullptr, 0}};
const duk_function_list_entry* WindowNatives() { return kWindowNatives; }

// The page's global environment, built over the natives `n`.
const char kWindowSource[] =
    "(function(n,g){"
    "function def(name,get,set){Object.defineProperty(g,name,{get:get,set:set||function(v){"
    "Object.defineProperty(g,name,{value:v,writable:true,enumerable:true,configurable:true});},"
    "enumerable:true,configurable:true});}"
    "var D=Date;"
    "function KDate(){var a=arguments;if(!(this instanceof KDate))return new D(n.now()).toString();"
    "if(a.length===0)return new D(n.now());"
    "return new(Function.prototype.bind.apply(D,[null].concat(Array.prototype.slice.call(a))))();}"
    "KDate.prototype=D.prototype;D.prototype.constructor=KDate;"
    "KDate.now=function(){return n.now();};KDate.parse=D.parse;KDate.UTC=D.UTC;"
    "Object.defineProperty(g,'Date',{value:KDate,writable:true,configurable:true});"
    "g.window=g;g.self=g;g.onerror=null;g.defaultStatus='';"
    // window.status shows in the host's status bar.
    "var status='';Object.defineProperty(g,'status',{get:function(){return status;},"
    "set:function(v){status=String(v);n.status(status);},enumerable:true,configurable:true});"
    // The frames inside this window's document, by index and by name.
    "def('frames',function(){var c={},k=n.frame(-1,0);"
    "for(var i=0;i<k;i++){var w=n.frame(i,1),m=n.frame(i,2);c[i]=w;if(m&&!(m in c))c[m]=w;}"
    "c.length=k;c.item=function(x){return c[x]===undefined?null:c[x];};return c;});"
    "def('parent',function(){return n.parent()||g;});def('top',function(){return n.parent()||g;});"
    "def('document',function(){return n.document();});"
    "def('external',function(){return n.external();});"
    "def('event',function(){return n.event();});"
    "g.alert=function(m){n.alert(arguments.length?m:'undefined');};"
    "g.confirm=function(m){return n.confirm(arguments.length?m:'');};"
    "g.prompt=function(t,d){var r=n.prompt(t,d);return r===undefined?null:r;};"
    "g.navigate=function(u){n.navigate(String(u),0);};"
    "g.showModalDialog=n.notSupported;g.showModelessDialog=n.notSupported;g.print=n.notSupported;"
    "g.open=function(u,name){return n.open(u===undefined?'':String(u),name===undefined?'':String(name));};"
    "g.close=function(){n.close();};g.focus=function(){};g.blur=function(){};"
    "g.moveTo=function(x,y){n.moveWindow(0,x,y);};g.moveBy=function(x,y){n.moveWindow(1,x,y);};"
    "g.resizeTo=function(x,y){n.moveWindow(2,x,y);};g.resizeBy=function(x,y){n.moveWindow(3,x,y);};"
    "g.scrollTo=g.scrollBy=function(){};"
    "g.execScript=function(c){return (0,eval)(String(c));};"
    "g.ActiveXObject=function(p){return n.activeX(typeof p==='string'?p:String(p));};"
    "g.VBArray=n.VBArray;"
    "g.navigator={appName:'Korvane',platform:'Win32',cookieEnabled:true,javaEnabled:function(){return false;}};"
    // The user agent the page's requests carry, and its version part.
    "Object.defineProperty(g.navigator,'userAgent',{get:function(){return n.userAgent();},enumerable:true});"
    "Object.defineProperty(g.navigator,'appVersion',{get:function(){var u=n.userAgent(),s=u.indexOf('/');"
    "return s<0?u:u.slice(s+1);},enumerable:true});"
    "g.screen={width:1024,height:768,availWidth:1024,availHeight:738,colorDepth:32};"
    "var loc={assign:function(u){n.navigate(String(u),0);},replace:function(u){n.navigate(String(u),1);},"
    "reload:function(){n.navigate('',2);},toString:function(){return n.href();}};"
    "Object.defineProperty(loc,'href',{get:function(){return n.href();},set:function(u){n.navigate(String(u),0);},"
    "enumerable:true});"
    // The URL's parts: scheme, authority (user info kept aside), path, query, fragment.
    "function parts(){var m=/^([^:\\/?#]+:)(\\/\\/([^\\/?#]*))?([^?#]*)(\\?[^#]*)?(#.*)?$/.exec(n.href())||[];"
    "var a=m[3]||'',at=a.lastIndexOf('@')+1,host=a.slice(at),c=host.lastIndexOf(':');"
    "if(c<host.lastIndexOf(']'))c=-1;"
    "return{protocol:m[1]||'',slashes:m[2]!==undefined,user:a.slice(0,at),host:host,"
    "hostname:c<0?host:host.slice(0,c),port:c<0?'':host.slice(c+1),pathname:m[4]||'',"
    "search:m[5]&&m[5]!=='?'?m[5]:'',hash:m[6]&&m[6]!=='#'?m[6]:'',query:m[5]||'',fragment:m[6]||''};}"
    // A part put: the URL rebuilt with it, then navigated to (a new fragment keeps the document).
    "function part(name,put){Object.defineProperty(loc,name,{get:function(){return parts()[name];},"
    "set:function(v){var p=parts();put(p,String(v));"
    "n.navigate(p.protocol+(p.slashes?'//'+p.user+p.host:'')+p.pathname+p.query+p.fragment,0);},enumerable:true});}"
    "part('protocol',function(p,v){p.protocol=v.replace(/:$/,'')+':';});"
    "part('host',function(p,v){p.host=v;});"
    "part('hostname',function(p,v){p.host=v+(p.port?':'+p.port:'');});"
    "part('port',function(p,v){p.host=p.hostname+(v?':'+v:'');});"
    "part('pathname',function(p,v){p.pathname=(p.slashes&&v.charAt(0)!=='/'?'/':'')+v;});"
    "part('search',function(p,v){v=v.replace(/^\\?/,'');p.query=v?'?'+v:'';});"
    "part('hash',function(p,v){p.fragment='#'+v.replace(/^#/,'');});"
    "def('location',function(){return loc;},function(u){n.navigate(String(u),0);});"
    "g.setTimeout=function(f,ms){return n.setTimer(f,ms,false,Array.prototype.slice.call(arguments,2));};"
    "g.setInterval=function(f,ms){return n.setTimer(f,ms,true,Array.prototype.slice.call(arguments,2));};"
    "g.clearTimeout=g.clearInterval=function(id){n.clearTimer(id);};"
    "var names=n.names().split('\\u0000');"
    "for(var i=0;i<names.length;i++){var k=names[i];if(k===''||k in g)continue;"
    "(function(k){def(k,function(){return n.named(k);});})(k);}"
    "})";

}  // namespace

// ---- Timers -------------------------------------------------------------------------------------------
namespace {

std::map<UINT_PTR, Heap*>& TimerHeaps() {
  static std::map<UINT_PTR, Heap*> heaps;
  return heaps;
}

uint64_t Now() { return GetTickCount64(); }

void RunTimer(Heap* h, uint32_t id) {
  if (!h->ctx || h->closing || h->stopped) return;
  auto it = std::find_if(h->timers.begin(), h->timers.end(), [&](const Timer& t) { return t.id == id; });
  if (it == h->timers.end()) return;
  if (it->interval) it->due = Now() + it->interval;  // re-armed from now
  bool once = it->interval == 0;
  Entry entry(h);
  duk_context* ctx = h->ctx;
  if (!duk_check_stack(ctx, 8)) return;
  duk_idx_t top = duk_get_top(ctx);
  duk_push_global_stash(ctx);
  duk_get_prop_string(ctx, -1, "timers");
  duk_get_prop_index(ctx, -1, id);  // [stash timers [f, args]]
  if (once) duk_del_prop_index(ctx, -2, id);
  if (once)
    h->timers.erase(std::find_if(h->timers.begin(), h->timers.end(), [&](const Timer& t) { return t.id == id; }));
  if (duk_is_array(ctx, -1)) {
    duk_get_prop_index(ctx, -1, 0);
    if (duk_is_string(ctx, -1)) {
      duk_size_t n = 0;
      const char* s = duk_get_lstring(ctx, -1, &n);
      std::string code(s, n), url = h->doc->Url();
      duk_set_top(ctx, top);
      RunCode(h, code, url, 1);
    } else {
      duk_push_global_object(ctx);
      duk_get_prop_index(ctx, -3, 1);
      duk_idx_t argc = static_cast<duk_idx_t>(duk_get_length(ctx, -1));
      duk_idx_t args = duk_get_top_index(ctx);
      for (duk_idx_t i = 0; i < argc; ++i) duk_get_prop_index(ctx, args, static_cast<duk_uarridx_t>(i));
      duk_remove(ctx, args);
      CallProtected(h, argc);
    }
  }
  if (h->ctx) duk_set_top(ctx, top);
  ArmTimer(h);
}

void TimerFired(HWND, UINT, UINT_PTR id, DWORD) {
  auto it = TimerHeaps().find(id);
  if (it == TimerHeaps().end()) return;
  Heap* h = it->second;
  KillTimer(nullptr, id);
  TimerHeaps().erase(it);
  h->platform_timer = 0;
  // Due in order of deadline, then of creation; each callback a task of its own.
  std::vector<Timer> due;
  uint64_t now = Now();
  for (const Timer& t : h->timers)
    if (t.due <= now) due.push_back(t);
  std::sort(due.begin(), due.end(),
            [](const Timer& a, const Timer& b) { return a.due != b.due ? a.due < b.due : a.seq < b.seq; });
  for (const Timer& t : due) {
    h->AddRef();
    uint32_t tid = t.id;
    PostTask([h, tid]() {
      RunTimer(h, tid);
      h->Release();
    });
  }
  if (due.empty()) ArmTimer(h);
}

// One platform timer per window, for the earliest deadline.
void ArmTimer(Heap* h) {
  if (h->platform_timer) {
    KillTimer(nullptr, h->platform_timer);
    TimerHeaps().erase(h->platform_timer);
    h->platform_timer = 0;
  }
  if (!h->ctx || h->closing || h->stopped || h->timers.empty()) return;
  uint64_t first = h->timers.front().due;
  for (const Timer& t : h->timers) first = std::min(first, t.due);
  uint64_t now = Now();
  UINT delay = first > now ? static_cast<UINT>(std::min<uint64_t>(first - now, 0x7FFFFFFF)) : 0;
  h->platform_timer = SetTimer(nullptr, 0, delay, TimerFired);
  if (h->platform_timer) TimerHeaps()[h->platform_timer] = h;
}

Ret WinSetTimer(Heap* h, duk_context* ctx, NativeFrame& f) {
  if (!duk_is_function(ctx, 0) && !duk_is_string(ctx, 0)) {
    f.message = u"Invalid argument.";
    f.hr = E_INVALIDARG;
    return Ret::kError;
  }
  double ms = duk_is_number(ctx, 1) ? duk_get_number(ctx, 1) : 0;
  if (!(ms >= 0)) ms = 0;
  ms = std::min(ms, 2147483647.0);
  Timer t;
  t.id = h->next_timer++;
  t.due = Now() + static_cast<uint64_t>(ms);
  t.interval = duk_get_boolean(ctx, 2) ? std::max<uint64_t>(static_cast<uint64_t>(ms), 1) : 0;
  t.seq = ++h->timer_seq;
  h->timers.push_back(t);
  // [f ms repeat args] -> stash.timers[id] = [f, args]
  duk_push_global_stash(ctx);
  duk_get_prop_string(ctx, -1, "timers");
  duk_push_array(ctx);
  duk_dup(ctx, 0);
  duk_put_prop_index(ctx, -2, 0);
  duk_dup(ctx, 3);
  duk_put_prop_index(ctx, -2, 1);
  duk_put_prop_index(ctx, -2, t.id);
  duk_pop_2(ctx);
  ArmTimer(h);
  duk_push_uint(ctx, t.id);
  return Ret::kTop;
}

Ret WinClearTimer(Heap* h, duk_context* ctx, NativeFrame&) {
  uint32_t id = duk_get_uint(ctx, 0);
  auto it = std::find_if(h->timers.begin(), h->timers.end(), [&](const Timer& t) { return t.id == id; });
  if (it == h->timers.end()) return Ret::kUndefined;
  h->timers.erase(it);
  duk_push_global_stash(ctx);
  duk_get_prop_string(ctx, -1, "timers");
  duk_del_prop_index(ctx, -1, id);
  duk_pop_2(ctx);
  ArmTimer(h);
  return Ret::kUndefined;
}

// Builds the global environment (protected).
duk_ret_t SetupStep(duk_context* ctx, void*) {
  Heap* h = HeapOf(ctx);
  InstallBridge(h);
  duk_push_global_stash(ctx);
  duk_push_object(ctx);
  duk_put_prop_string(ctx, -2, "timers");
  duk_pop(ctx);
  EvalPrelude(ctx, kWindowSource);
  duk_push_object(ctx);
  duk_put_function_list(ctx, -1, WindowNatives());
  duk_push_global_stash(ctx);
  duk_get_prop_string(ctx, -1, "VBArray");
  duk_put_prop_string(ctx, -3, "VBArray");
  duk_pop(ctx);
  duk_push_global_object(ctx);
  duk_call(ctx, 2);
  return 0;
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
  if (h->platform_timer) {
    KillTimer(nullptr, h->platform_timer);
    TimerHeaps().erase(h->platform_timer);
    h->platform_timer = 0;
  }
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

void KvBrowserDialogScriptPush(int button, const char* text) {
  std::lock_guard<std::mutex> lock(kv::browser::DialogScriptLock());
  kv::browser::DialogScript().push_back({button, text ? text : ""});
}
void KvBrowserDialogScriptClear(void) {
  std::lock_guard<std::mutex> lock(kv::browser::DialogScriptLock());
  kv::browser::DialogScript().clear();
}
