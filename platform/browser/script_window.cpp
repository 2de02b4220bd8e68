// The page's global environment: the window's members, Date on the platform clock, named
// elements, and timers.
#include <algorithm>

#include "platform/base/codepage.h"
#include "platform/base/time.h"
#include "platform/browser/element.h"
#include "platform/browser/object.h"
#include "platform/browser/script_heap.h"
#include "platform/browser/task.h"
#include "platform/browser/url.h"
#include "platform/user/user.h"

namespace kv::browser {

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

}  // namespace

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

namespace {

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

}  // namespace

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

}  // namespace kv::browser
