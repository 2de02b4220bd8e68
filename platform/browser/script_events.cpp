// Event scripts: <script for="id" event="Name(a, b)">. The text is compiled as a function
// of the declared parameters and bound to the element with that id: to an event of the
// element's control through a sink advised on the control's default source interface,
// else to the element's DOM event of that name as attachEvent would bind it.
//
// The walk reaches each event script in document order; one whose element is an
// <object> that gets its control later waits for it, one whose element does not exist
// yet waits for the walk's end.
#include <cctype>
#include <cstring>

#include "platform/base/codepage.h"
#include "platform/browser/element.h"
#include "platform/browser/object.h"
#include "platform/browser/script_heap.h"
#include "platform/com/unknown.h"

namespace kv::browser {
namespace {

constexpr char kEventScripts[] = "eventScripts";  // the stash's list of compiled handlers

std::string Trim(std::string_view s) {
  size_t a = 0, b = s.size();
  while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
  while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
  return std::string(s.substr(a, b - a));
}

bool IsIdentifier(const std::string& s) {
  if (s.empty()) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    auto c = static_cast<unsigned char>(s[i]);
    if (!(c == '_' || c == '$' || std::isalpha(c) || (i > 0 && std::isdigit(c)))) return false;
  }
  return true;
}

// "Name(a, b)", "Name()" or "Name": the event's name and its parameter names. The
// parameters go into the compiled source, so anything but plain names is refused.
bool ParseEventAttr(const std::string& text, std::string* name, std::vector<std::string>* params) {
  params->clear();
  size_t open = text.find('(');
  *name = Trim(std::string_view(text).substr(0, open));
  if (!IsIdentifier(*name)) return false;
  if (open == std::string::npos) return true;
  size_t close = text.find(')', open);
  if (close == std::string::npos || !Trim(std::string_view(text).substr(close + 1)).empty()) return false;
  std::string inside = text.substr(open + 1, close - open - 1);
  if (Trim(inside).empty()) return true;
  for (size_t start = 0;;) {
    size_t comma = inside.find(',', start);
    std::string p = Trim(std::string_view(inside).substr(start, comma == std::string::npos ? comma : comma - start));
    if (!IsIdentifier(p)) return false;
    params->push_back(p);
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

// Stores `value` through an [in, out] argument, converted to the argument's type; a value
// that does not convert leaves it as it was.
void StoreByRef(VARIANT* target, VARIANT* value) {
  if (!(target->vt & VT_BYREF) || !target->byref || (target->vt & VT_ARRAY)) return;
  const auto vt = static_cast<VARTYPE>(target->vt & VT_TYPEMASK);
  if (vt == VT_VARIANT) {
    VariantClear(target->pvarVal);
    VariantCopy(target->pvarVal, value);
    return;
  }
  VARIANT conv;
  VariantInit(&conv);
  if (FAILED(VariantChangeType(&conv, value, 0, vt))) return;
  switch (vt) {
    case VT_I1:
    case VT_UI1: std::memcpy(target->byref, &conv.bVal, 1); break;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL: std::memcpy(target->byref, &conv.iVal, 2); break;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR: std::memcpy(target->byref, &conv.lVal, 4); break;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_DATE:
    case VT_CY: std::memcpy(target->byref, &conv.llVal, 8); break;
    case VT_BSTR:
      SysFreeString(*target->pbstrVal);
      *target->pbstrVal = conv.bstrVal;
      conv.vt = VT_EMPTY;
      break;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      if (*target->ppunkVal) (*target->ppunkVal)->Release();
      *target->ppunkVal = conv.punkVal;
      conv.vt = VT_EMPTY;
      break;
    default: break;
  }
  VariantClear(&conv);
}

// A call of one compiled handler inside duk_safe_call: [] -> [[result, p1 .. pn]].
struct HandlerCall {
  uint32_t key;
  DISPPARAMS* params;
};
duk_ret_t HandlerCallStep(duk_context* ctx, void* udata) {
  auto* c = static_cast<HandlerCall*>(udata);
  Heap* h = HeapOf(ctx);
  duk_push_global_stash(ctx);
  duk_get_prop_string(ctx, -1, kEventScripts);
  duk_get_prop_index(ctx, -1, c->key);
  duk_push_global_object(ctx);
  UINT argc = c->params ? c->params->cArgs : 0;
  UINT named = c->params ? c->params->cNamedArgs : 0;
  // Arguments arrive last first.
  for (UINT i = argc; i-- > named;) PushVariant(h, &c->params->rgvarg[i]);
  duk_call_method(ctx, static_cast<duk_idx_t>(argc - named));
  return 1;
}

}  // namespace

// The sink advised on one control's event interface for the page's event scripts.
class ControlEvents final : public UntypedDispatch {
 public:
  ControlEvents(Heap* h, const IID& iid) : h_(h), iid_(iid) {}
  // The heap is being destroyed: events from now on are ignored.
  void Detach() { h_ = nullptr; }
  // An event script's function, compiled to give back its parameters' values.
  void AddScript(DISPID id, uint32_t key, int line, size_t params) {
    handlers_.push_back({id, key, line, params, true});
  }
  // An attachEvent function.
  void AddFunction(DISPID id, uint32_t key) { handlers_.push_back({id, key, 0, 0, false}); }
  // Removes the attachEvent function at `idx` from event `id`; false when it is not one.
  bool RemoveFunction(duk_context* ctx, DISPID id, duk_idx_t idx) {
    for (auto it = handlers_.begin(); it != handlers_.end(); ++it) {
      if (it->id != id || it->reads_back) continue;
      duk_push_global_stash(ctx);
      duk_get_prop_string(ctx, -1, kEventScripts);
      duk_get_prop_index(ctx, -1, it->key);
      bool same = duk_strict_equals(ctx, -1, idx) != 0;
      duk_pop(ctx);
      if (same) duk_del_prop_index(ctx, -1, it->key);
      duk_pop_2(ctx);
      if (same) {
        handlers_.erase(it);
        return true;
      }
    }
    return false;
  }

  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override {
    for (UINT i = 0; ids && i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                 UINT*) override {
    if (result) VariantInit(result);
    Heap* h = h_;
    if (!h || !h->ctx || h->closing || h->stopped || !h->doc) return S_OK;
    AddRef();  // a handler may tear the page down, and the control's connection with it
    HRESULT hr = S_OK;
    {
      Entry entry(h);
      // By index: a handler may bind more while it runs.
      for (size_t i = 0; i < handlers_.size(); ++i) {
        if (!h->ctx || h->closing || h->stopped) break;
        Handler handler = handlers_[i];
        if (handler.id == id && !Run(h, handler, params, result, excep)) hr = DISP_E_EXCEPTION;
      }
    }
    Release();
    return hr;
  }

 private:
  struct Handler {
    DISPID id;
    uint32_t key;  // index in the stash's list
    int line;      // the script element's first line
    size_t params;
    bool reads_back;  // gives [result, parameters...]
  };

  bool Accepts(REFIID riid) const override { return IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, iid_); }

  // Calls one handler with the event's arguments; afterwards an event script's parameters'
  // values go back through the [in, out] arguments. False on a script error (reported).
  static bool Run(Heap* h, const Handler& handler, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep) {
    duk_context* ctx = h->ctx;
    if (!duk_check_stack(ctx, 8)) return false;
    duk_idx_t top = duk_get_top(ctx);
    int line_base = h->line_base;
    h->line_base = handler.line > 0 ? handler.line : 1;
    HandlerCall call{handler.key, params};
    bool ok = duk_safe_call(ctx, HandlerCallStep, &call, 0, 1) == DUK_EXEC_SUCCESS;
    if (ok && !handler.reads_back) {
      if (result) {
        VariantClear(result);
        ToVariant(h, -1, result);
      }
    } else if (ok) {
      UINT argc = params ? params->cArgs - params->cNamedArgs : 0;
      for (UINT i = 0; i < argc && i < handler.params; ++i) {
        VARIANT& arg = params->rgvarg[params->cArgs - 1 - i];
        if (!(arg.vt & VT_BYREF)) continue;
        duk_get_prop_index(ctx, -1, i + 1);
        VARIANT v;
        ToVariant(h, -1, &v);
        StoreByRef(&arg, &v);
        VariantClear(&v);
        duk_pop(ctx);
      }
      if (result) {
        VariantClear(result);
        duk_get_prop_index(ctx, -1, 0);
        ToVariant(h, -1, result);
        duk_pop(ctx);
      }
    } else {
      ErrorToExcepInfo(h, -1, excep);
      ReportError(h, -1);
    }
    h->line_base = line_base;
    if (h->ctx) duk_set_top(ctx, top);
    return ok;
  }

  Heap* h_;  // no reference: the heap detaches its sinks when it is destroyed
  IID iid_;
  std::vector<Handler> handlers_;
};

namespace {

// Keeps the function at `idx` in the stash's list of handlers; gives its index there.
uint32_t KeepHandler(duk_context* ctx, duk_idx_t idx) {
  idx = duk_normalize_index(ctx, idx);
  duk_push_global_stash(ctx);
  if (!duk_get_prop_string(ctx, -1, kEventScripts)) {
    duk_pop(ctx);
    duk_push_array(ctx);
    duk_dup_top(ctx);
    duk_put_prop_string(ctx, -3, kEventScripts);
  }
  auto key = static_cast<uint32_t>(duk_get_length(ctx, -1));
  duk_dup(ctx, idx);
  duk_put_prop_index(ctx, -2, key);
  duk_pop_2(ctx);
  return key;
}

// Compiles a handler inside duk_safe_call: [] -> [function]; with `element`, also binds it
// as that element's attachEvent handler.
struct Compile {
  const std::string* source;
  const std::string* url;
  IDispatch* element;
  const std::string* event;
  uint32_t key = 0;
};
duk_ret_t CompileStep(duk_context* ctx, void* udata) {
  auto* c = static_cast<Compile*>(udata);
  Heap* h = HeapOf(ctx);
  duk_push_lstring(ctx, c->url->data(), c->url->size());
  duk_compile_lstring_filename(ctx, DUK_COMPILE_FUNCTION, c->source->data(), c->source->size());
  if (c->element) {
    PushDispatch(h, c->element);
    duk_push_string(ctx, "attachEvent");
    duk_push_lstring(ctx, c->event->data(), c->event->size());
    duk_dup(ctx, -4);
    duk_call_prop(ctx, -4, 2);
    duk_pop_2(ctx);
    return 1;
  }
  c->key = KeepHandler(ctx, -1);
  return 1;
}

// Compiles `source` for the script element `s`; false on an error (reported).
bool CompileHandler(Heap* h, Node* s, Compile& c) {
  duk_context* ctx = h->ctx;
  if (!duk_check_stack(ctx, 8)) return false;
  duk_idx_t top = duk_get_top(ctx);
  std::string url = h->doc->Url();
  c.url = &url;
  int line_base = h->line_base;
  h->line_base = s->line > 0 ? s->line : 1;
  bool ok = duk_safe_call(ctx, CompileStep, &c, 0, 1) == DUK_EXEC_SUCCESS;
  if (!ok) ReportError(h, -1);
  h->line_base = line_base;
  if (h->ctx) duk_set_top(ctx, top);
  return ok;
}

// The member id of the event called `name` (any letter case) in `events`.
bool EventId(ITypeInfo* events, const std::string& name, DISPID* id) {
  TYPEATTR* attr = nullptr;
  if (FAILED(events->GetTypeAttr(&attr)) || !attr) return false;
  std::u16string wanted = Utf8ToWide(name);
  bool found = false;
  for (UINT i = 0; i < attr->cFuncs && !found; ++i) {
    FUNCDESC* fd = nullptr;
    if (FAILED(events->GetFuncDesc(i, &fd)) || !fd) continue;
    BSTR member = nullptr;
    UINT n = 0;
    if (SUCCEEDED(events->GetNames(fd->memid, &member, 1, &n)) && n == 1 && SameNameNoCase(BstrText(member), wanted)) {
      *id = fd->memid;
      found = true;
    }
    SysFreeString(member);
    events->ReleaseFuncDesc(fd);
  }
  events->ReleaseTypeAttr(attr);
  return found;
}

// The sink of `control` for this heap, advised on first use; null when the control has
// no event interface to advise.
ControlEvents* SinkOf(Heap* h, PageControl* control, ITypeInfo* events) {
  for (auto& [c, sink] : h->event_sinks)
    if (c == control) return sink;
  TYPEATTR* attr = nullptr;
  if (FAILED(events->GetTypeAttr(&attr)) || !attr) return nullptr;
  IID iid = attr->guid;
  events->ReleaseTypeAttr(attr);
  auto* sink = new ControlEvents(h, iid);
  DWORD cookie = 0;
  if (FAILED(control->AdviseEvents(static_cast<IDispatch*>(sink), &cookie))) {
    sink->Release();
    return nullptr;
  }
  h->event_sinks.emplace_back(control, sink);  // the heap keeps the reference `new` gave
  return sink;
}

enum class Bound { kDone, kWait };

Bound BindOne(Heap* h, Node* s, bool final) {
  std::string name;
  std::vector<std::string> params;
  if (!ParseEventAttr(s->AttrOr("event"), &name, &params)) {
    ReportNewError(h, s, DUK_ERR_SYNTAX_ERROR, "Syntax error in the event attribute");
    return Bound::kDone;
  }
  IHTMLDocument3* d3 = nullptr;
  h->doc->QueryInterface(IID_IHTMLDocument3, reinterpret_cast<void**>(&d3));
  IHTMLElement* target = nullptr;
  BSTR id = Bstr(s->AttrOr("for"));
  if (d3) d3->getElementById(id, &target);
  SysFreeString(id);
  if (d3) d3->Release();
  if (!target) return final ? Bound::kDone : Bound::kWait;
  Element* element = nullptr;
  target->QueryInterface(IID_KvBrowserElement, reinterpret_cast<void**>(&element));
  Node* node = element ? element->GetNode() : nullptr;
  if (element) element->Release();
  PageControl* control = node ? node->control : nullptr;
  if (!control && !final && node && node->IsElement("object") && node->Attr("classid") && h->make_control) {
    target->Release();
    return Bound::kWait;  // its control is made when the walk reaches it
  }

  std::string list;
  for (const auto& p : params) list += (list.empty() ? "" : ",") + p;
  Entry entry(h);
  if (control) {
    target->Release();
    ITypeInfo* events = nullptr;
    DISPID event = 0;
    if (FAILED(control->EventTypeInfo(&events))) return Bound::kDone;
    bool known = EventId(events, name, &event);
    ControlEvents* sink = known ? SinkOf(h, control, events) : nullptr;
    events->Release();
    if (!sink) return Bound::kDone;
    // The handler's parameters are read back after the call, for the [in, out] arguments.
    std::string source = "function(" + list + "){var r=(function(){" + ScriptText(s) + "\n}).call(this);return [r" +
                         (list.empty() ? "" : "," + list) + "];}";
    Compile c{&source, nullptr, nullptr, nullptr};
    if (CompileHandler(h, s, c)) sink->AddScript(event, c.key, s->line, params.size());
    return Bound::kDone;
  }
  // A DOM element: its event by name, as attachEvent binds it.
  std::string source = "function(" + list + "){" + ScriptText(s) + "\n}";
  Compile c{&source, nullptr, target, &name};
  CompileHandler(h, s, c);
  target->Release();
  return Bound::kDone;
}

}  // namespace

void QueueEventScript(Heap* h, Node* script) {
  h->event_scripts.push_back(script);
  BindEventScripts(h, false);
}

void BindEventScripts(Heap* h, bool final) {
  if (h->event_scripts.empty()) return;
  std::vector<Node*> pending = std::move(h->event_scripts);
  h->event_scripts.clear();
  for (size_t i = 0; i < pending.size(); ++i) {
    if (!h->ctx || h->closing || !h->doc) return;
    if (!InDocument(h, pending[i])) continue;
    if (BindOne(h, pending[i], final) == Bound::kWait) h->event_scripts.push_back(pending[i]);
  }
}

Ret ControlEvent(Heap* h, duk_context* ctx, NativeFrame&) {
  // [element name f attach]
  const bool attach = duk_get_boolean(ctx, 3) != 0;
  IDispatch* d = WrappedAt(ctx, 0);
  Element* element = nullptr;
  bool done = false;
  if (d && duk_is_function(ctx, 2) &&
      SUCCEEDED(d->QueryInterface(IID_KvBrowserElement, reinterpret_cast<void**>(&element))) && element) {
    PageControl* control = element->GetNode() ? element->GetNode()->control : nullptr;
    element->Release();
    ITypeInfo* events = nullptr;
    DISPID id = 0;
    if (control && SUCCEEDED(control->EventTypeInfo(&events))) {
      if (EventId(events, WideToUtf8(StringAt(ctx, 1)), &id)) {
        if (attach) {
          if (ControlEvents* sink = SinkOf(h, control, events)) {
            sink->AddFunction(id, KeepHandler(ctx, 2));
            done = true;
          }
        } else {
          for (auto& [c, sink] : h->event_sinks)
            if (c == control) done = sink->RemoveFunction(ctx, id, 2);
        }
      }
      events->Release();
    }
  }
  duk_push_boolean(ctx, done);
  return Ret::kTop;
}

void DropEventSinks(Heap* h) {
  std::vector<std::pair<PageControl*, ControlEvents*>> sinks = std::move(h->event_sinks);
  h->event_sinks.clear();
  for (auto& entry : sinks) {
    entry.second->Detach();
    entry.second->Release();
  }
}

}  // namespace kv::browser
