// The document object: its interfaces, DOM event dispatch and the default actions of
// DOM input.
#include <algorithm>
#include <cctype>

#include "platform/base/codepage.h"
#include "platform/browser/element.h"
#include "platform/browser/layout.h"
#include "platform/browser/loader.h"
#include "platform/browser/object.h"
#include "platform/browser/task.h"
#include "platform/browser/script.h"
#include "platform/browser/url.h"
#include "platform/user/user.h"

namespace kv::browser {
namespace {

template <typename F>
void Walk(Node* root, F f) {
  std::vector<Node*> stack;
  for (size_t i = root->children.size(); i-- > 0;) stack.push_back(root->children[i].get());
  while (!stack.empty()) {
    Node* n = stack.back();
    stack.pop_back();
    if (n->kind != Node::kElement) continue;
    f(n);
    for (size_t i = n->children.size(); i-- > 0;) stack.push_back(n->children[i].get());
  }
}

Node* FindFirst(Node* root, std::string_view tag) {
  Node* found = nullptr;
  Walk(root, [&](Node* n) {
    if (!found && n->tag == tag) found = n;
  });
  return found;
}

bool IsTextField(const Node* n) {
  if (n->IsElement("textarea")) return true;
  if (!n->IsElement("input")) return false;
  std::string t = n->InputType();
  return t == "text" || t == "password" || t == "search" || t == "email" || t == "url" || t == "tel" || t == "number";
}

bool IsFocusable(const Node* n) {
  if (n->kind != Node::kElement || n->Attr("disabled")) return false;
  if (n->tag == "input") return n->InputType() != "hidden";
  return n->tag == "select" || n->tag == "textarea" || n->tag == "button" || (n->tag == "a" && n->Attr("href"));
}

bool IsSubmitButton(const Node* n) {
  if (n->IsElement("input")) {
    std::string t = n->InputType();
    return t == "submit" || t == "image";
  }
  if (n->IsElement("button")) {
    std::string t = n->AttrOr("type", "submit");
    for (auto& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return t == "submit";
  }
  return false;
}

const char* const kReadyStates[] = {"uninitialized", "loading", "loaded", "interactive", "complete"};

}  // namespace

Document::Document(DocumentHost* host, std::string url)
    : host_(host), url_(std::move(url)), root_(std::make_unique<Node>()), window_(std::make_unique<Window>(this)) {
  root_->kind = Node::kDocument;
}

Document::~Document() {
  // The heap's finalizers release wrappers of this document: the count no longer matters.
  refs_ = 1u << 30;
  if (script_) script_->Close();
  script_.reset();
  TearDownControls();
  focus_ = nullptr;
  DetachPoints(points_);
  for (auto& a : attached_) a.second->Release();
  attached_.clear();
  window_.reset();
  root_.reset();
  detached_.clear();
}

void Document::LoadBytes(const uint8_t* data, size_t size, std::string_view content_type) {
  focus_ = nullptr;
  root_ = ParseHtml(data, size, content_type, &charset_);
  Invalidate();
}

Node* Document::Html() const {
  for (auto& c : root_->children)
    if (c->IsElement("html")) return c.get();
  return nullptr;
}
Node* Document::Body() const {
  Node* html = Html();
  if (!html) return nullptr;
  for (auto& c : html->children)
    if (c->IsElement("body") || c->IsElement("frameset")) return c.get();
  return nullptr;
}

std::string Document::Title() const {
  Node* t = FindFirst(root_.get(), "title");
  if (!t) return {};
  std::string s = InnerText(t);
  // Whitespace collapsed, as a title bar shows it.
  std::string out;
  bool space = false;
  for (char c : s) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      space = !out.empty();
      continue;
    }
    if (space) out += ' ';
    space = false;
    out += c;
  }
  return out;
}

void Document::SetReadyState(int state) { ready_state_ = std::clamp(state, 0, 4); }

void Document::TearDown() {
  AddRef();
  if (script_ && host_) {
    script_->FireWindowEvent("beforeunload");  // no prompt: its result is ignored
    script_->FireWindowEvent("unload");
  }
  host_ = nullptr;
  focus_ = nullptr;
  if (script_) script_->Close();
  TearDownControls();
  Release();
}

void Document::TearDownControls() {
  if (controls_.empty()) return;
  std::vector<PageControl*> controls = std::move(controls_);
  controls_.clear();
  for (PageControl* c : controls) {
    c->TearDown();
    c->Release();
  }
  // Once the running task is over nothing of the controls is on the stack.
  PostTask([] { CoFreeUnusedLibraries(); });
}

void Document::StartScript() {
  if (!script_ && host_) script_ = std::make_unique<Script>(this);
}

IDispatch* Document::ControlObject(Node* node) const {
  return node && node->control ? node->control->Dispatch() : nullptr;
}

void Document::Bury(std::vector<std::unique_ptr<Node>> nodes) {
  for (auto& n : nodes) {
    // Kept when anything may still point into it: an object, a script the walk lists.
    bool referenced = false;
    std::vector<Node*> stack{n.get()};
    while (!stack.empty() && !referenced) {
      Node* m = stack.back();
      stack.pop_back();
      referenced = m->object != nullptr || m->text_object != nullptr || m->IsElement("script") || m == focus_;
      for (auto& c : m->children) stack.push_back(c.get());
    }
    n->parent = nullptr;
    if (referenced) detached_.push_back(std::move(n));
  }
}

IDispatch* Document::ObjectOf(Node* node) {
  if (!node) return nullptr;
  if (node->kind == Node::kDocument) {
    AddRef();
    return static_cast<IHTMLDocument2*>(this);
  }
  if (node->kind == Node::kText || node->kind == Node::kComment) {
    if (!node->text_object) node->text_object = std::make_unique<TextNode>(this, node);
    node->text_object->AddRef();
    return node->text_object.get();
  }
  Element* e = ElementOf(node);
  if (!e) return nullptr;
  e->AddRef();
  return static_cast<IHTMLElement*>(e);
}

std::unique_ptr<Node> Document::Unlink(Node* node) {
  std::vector<std::unique_ptr<Node>>& from = node->parent ? node->parent->children : detached_;
  for (auto it = from.begin(); it != from.end(); ++it)
    if (it->get() == node) {
      std::unique_ptr<Node> owned = std::move(*it);
      from.erase(it);
      owned->parent = nullptr;
      for (Node* p = focus_; p; p = p->parent)
        if (p == node) {
          focus_ = nullptr;
          break;
        }
      return owned;
    }
  return nullptr;
}

Element* Document::ElementOf(Node* node) {
  if (!node || node->kind != Node::kElement) return nullptr;
  if (!node->object) node->object = std::make_unique<Element>(this, node);
  return node->object.get();
}

void Document::SetFocus(Node* node) {
  if (node == focus_) return;
  Node* old = focus_;
  if (old) {
    bool changed = IsTextField(old) && old->value != focus_value_;
    DomEvent blur{"blur", DISPID_EVMETH_ONBLUR, old};
    Dispatch(blur);
    if (changed && !TornDown()) {
      DomEvent change{"change", DISPID_EVMETH_ONCHANGE, old};
      Dispatch(change);
    }
  }
  if (TornDown()) return;
  focus_ = node;
  focus_value_ = node ? node->value : std::string();
  if (node) {
    DomEvent focus{"focus", DISPID_EVMETH_ONFOCUS, node};
    Dispatch(focus);
  }
  Invalidate();
}

void Document::FireSinks(std::vector<kv::ConnectionPoint*>& points, DISPID dispid, IHTMLEventObj* ev, bool* cancel) {
  // A copy: a sink may ask for new points or unadvise while it runs.
  std::vector<kv::ConnectionPoint*> copy = points;
  for (auto* p : copy) p->AddRef();
  for (auto* p : copy) {
    for (IUnknown* sink : p->Sinks()) {
      if (!TornDown()) {
        VARIANT arg;
        arg.vt = VT_DISPATCH;
        arg.pdispVal = ev;
        DISPPARAMS dp{&arg, nullptr, 1, 0};
        VARIANT result;
        VariantInit(&result);
        static_cast<IDispatch*>(sink)->Invoke(dispid, IID_NULL, 0, DISPATCH_METHOD, &dp, &result, nullptr, nullptr);
        if (result.vt == VT_BOOL && result.boolVal == VARIANT_FALSE) *cancel = true;
        VariantClear(&result);
      }
      sink->Release();
    }
  }
  for (auto* p : copy) p->Release();
}

bool Document::Dispatch(DomEvent& ev) {
  if (TornDown() || !ev.target) return false;
  AddRef();
  auto* eo = new EventObj(this, ev);
  IHTMLEventObj* previous = current_event_;
  current_event_ = eo;
  bool cancel = false;
  for (Node* n = ev.target; n && !TornDown(); n = n->parent) {
    if (script_ && (n->kind == Node::kElement || n->kind == Node::kDocument)) script_->FireHandlers(n, ev, eo);
    if (TornDown()) break;
    if (n->kind == Node::kElement && n->object) FireSinks(n->object->Points(), ev.dispid, eo, &cancel);
    if (n->kind == Node::kDocument) {
      FireSinks(points_, ev.dispid, eo, &cancel);
      std::string on = "on" + ev.type;
      auto handlers = attached_;
      for (auto& h : handlers) h.second->AddRef();
      for (auto& h : handlers) {
        if (h.first == on && !TornDown()) {
          VARIANT arg;
          arg.vt = VT_DISPATCH;
          arg.pdispVal = eo;
          DISPPARAMS dp{&arg, nullptr, 1, 0};
          VARIANT result;
          VariantInit(&result);
          h.second->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &dp, &result, nullptr, nullptr);
          if (result.vt == VT_BOOL && result.boolVal == VARIANT_FALSE) cancel = true;
          VariantClear(&result);
        }
        h.second->Release();
      }
    }
    if (eo->CancelBubble()) break;
  }
  cancel = cancel || eo->ReturnFalse();
  ev.key_code = eo->KeyCode();
  current_event_ = previous;
  eo->Release();
  bool torn = TornDown();
  Release();
  return !cancel && !torn;
}

void Document::ActivateElement(Node* node) {
  if (TornDown()) return;
  if (node->IsElement("input")) {
    std::string t = node->InputType();
    Element* e = ElementOf(node);
    if (t == "checkbox") {
      e->put_checked(node->checked ? VARIANT_FALSE : VARIANT_TRUE);
      return;
    }
    if (t == "radio") {
      e->put_checked(VARIANT_TRUE);
      return;
    }
    if (t == "reset") {
      for (Node* p = node->parent; p; p = p->parent)
        if (p->IsElement("form")) {
          ElementOf(p)->reset();
          break;
        }
      return;
    }
  }
  if (IsSubmitButton(node)) {
    for (Node* p = node->parent; p; p = p->parent)
      if (p->IsElement("form")) {
        DomEvent ev{"submit", DISPID_EVMETH_ONSUBMIT, p};
        AddRef();
        if (Dispatch(ev)) SubmitForm(p, node);
        Release();
        return;
      }
    return;
  }
  for (Node* p = node; p; p = p->parent)
    if (p->IsElement("a") && p->Attr("href")) {
      std::string href = *p->Attr("href");
      if (host_) host_->NavigateFromDocument(this, ResolveUrl(url_, href), p->AttrOr("target"), {}, "");
      return;
    }
}

void Document::SubmitForm(Node* form, Node* submitter) {
  if (TornDown()) return;
  std::string data;
  auto add = [&](const std::string& name, const std::string& value) {
    if (!data.empty()) data += '&';
    data += FormEncode(FromUtf8(name, charset_)) + "=" + FormEncode(FromUtf8(value, charset_));
  };
  Walk(form, [&](Node* n) {
    if (n->Attr("disabled")) return;
    const std::string* name = n->Attr("name");
    if (!name || name->empty()) return;
    if (n->tag == "input") {
      std::string t = n->InputType();
      if (t == "checkbox" || t == "radio") {
        if (n->checked) add(*name, n->AttrOr("value", "on"));
      } else if (t == "submit" || t == "button" || t == "reset" || t == "image") {
        if (n == submitter && t == "submit") add(*name, n->AttrOr("value", "Submit"));
        if (n == submitter && t == "image") {
          add(*name + ".x", "0");
          add(*name + ".y", "0");
        }
      } else if (t == "file") {
        add(*name, "");
      } else {
        add(*name, n->value);
      }
    } else if (n->tag == "button") {
      if (n == submitter) add(*name, n->AttrOr("value"));
    } else if (n->tag == "textarea") {
      add(*name, n->value);
    } else if (n->tag == "select") {
      Element* e = ElementOf(n);
      BSTR v = nullptr;
      e->get_value(&v);
      if (n->selected >= 0) add(*name, Utf8(v));
      SysFreeString(v);
    }
  });
  std::string method = form->AttrOr("method", "get");
  for (auto& c : method) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::string* action_attr = form->Attr("action");
  std::string action = ResolveUrl(url_, action_attr ? *action_attr : "");
  if (!action_attr || action_attr->empty()) action = url_;
  std::string target = form->AttrOr("target");
  if (method == "post") {
    std::vector<uint8_t> body(data.begin(), data.end());
    host_->NavigateFromDocument(this, action, target, std::move(body),
                                "Content-Type: application/x-www-form-urlencoded\r\n");
  } else {
    size_t cut = action.find_first_of("?#");
    if (cut != std::string::npos) action.erase(cut);
    host_->NavigateFromDocument(this, action + "?" + data, target, {}, "");
  }
}

void Document::TypeCharacter(Node* node, char16_t ch) {
  if (!node || !IsTextField(node) || node->Attr("readonly") || node->Attr("disabled")) return;
  std::u16string value = Utf8ToWide(node->value);
  if (ch == 0x08) {
    if (!value.empty()) {
      bool pair = value.size() >= 2 && value.back() >= 0xDC00 && value.back() < 0xE000;
      value.resize(value.size() - (pair ? 2 : 1));
    }
  } else if (ch == u'\r') {
    if (!node->IsElement("textarea")) return;
    value += u'\n';
  } else if (ch >= 0x20 || ch == u'\t') {
    if (ch == u'\t') return;
    size_t max = static_cast<size_t>(-1);
    if (const std::string* m = node->Attr("maxlength")) {
      max = 0;
      for (char c : *m) {
        if (c < '0' || c > '9') break;
        max = std::min<size_t>(max * 10 + static_cast<size_t>(c - '0'), 1 << 20);
      }
    }
    if (value.size() >= max) return;
    value += ch;
  } else {
    return;
  }
  node->value = WideToUtf8(value);
  Invalidate();
}

void Document::MoveFocus(bool backwards) {
  std::vector<Node*> order;
  Walk(root_.get(), [&](Node* n) {
    if (IsFocusable(n) && !n->Hidden()) order.push_back(n);
  });
  if (order.empty()) return;
  auto it = std::find(order.begin(), order.end(), focus_);
  Node* next;
  if (it == order.end())
    next = backwards ? order.back() : order.front();
  else if (backwards)
    next = it == order.begin() ? order.back() : *(it - 1);
  else
    next = it + 1 == order.end() ? order.front() : *(it + 1);
  SetFocus(next);
}

Layout& Document::LayoutFor(HDC dc, int width) {
  if (!layout_) layout_ = std::make_unique<Layout>();
  if (!layout_valid_ || layout_->Width() != width) {
    layout_->Build(root_.get(), dc, width, zoom_);
    layout_valid_ = true;
  }
  return *layout_;
}

void Document::Invalidate() {
  layout_valid_ = false;
  if (host_) host_->DocumentChanged(this);
}

// ---- IUnknown, IDispatch ---------------------------------------------------------------------------------
HRESULT Document::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IHTMLDocument2) ||
      IsEqualIID(riid, IID_IHTMLDocument))
    *object = static_cast<IHTMLDocument2*>(this);
  else if (IsEqualIID(riid, IID_IHTMLDocument3))
    *object = static_cast<IHTMLDocument3*>(this);
  else if (IsEqualIID(riid, IID_IConnectionPointContainer))
    *object = static_cast<IConnectionPointContainer*>(this);
  else if (IsEqualIID(riid, IID_IPersistStreamInit) || IsEqualIID(riid, IID_IPersist))
    *object = static_cast<IPersistStreamInit*>(this);
  else if (IsEqualIID(riid, IID_IOleCommandTarget))
    *object = static_cast<IOleCommandTarget*>(this);
  else if (IsEqualIID(riid, IID_IViewObject))
    *object = static_cast<IViewObject*>(this);
  else if (IsEqualIID(riid, IID_KvBrowserDocument))
    *object = this;
  if (!*object) return E_NOINTERFACE;
  AddRef();
  return S_OK;
}
ULONG Document::AddRef() { return ++refs_; }
ULONG Document::Release() {
  ULONG n = --refs_;
  if (n == 0) delete this;
  return n;
}
HRESULT Document::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return S_OK;
}
HRESULT Document::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

namespace {
enum DocumentId : DISPID {
  kDocAll = 1,
  kDocBody,
  kDocForms,
  kDocTitle,
  kDocReadyStateText,
  kDocParentWindow,
  kDocUrl,
  kDocCookie,
  kDocActiveElement,
  kDocCreateElement,
  kDocDocumentElement,
  kDocGetElementById,
  kDocGetElementsByName,
  kDocGetElementsByTagName,
  kDocLocation,
  kDocScript,
  kDocWrite,
  kDocWriteln,
  kDocOpen,
  kDocClose,
  kDocCreateTextNode
};
const DispName kDocumentNames[] = {{u"all", kDocAll},
                                   {u"body", kDocBody},
                                   {u"forms", kDocForms},
                                   {u"title", kDocTitle},
                                   {u"readyState", kDocReadyStateText},
                                   {u"parentWindow", kDocParentWindow},
                                   {u"URL", kDocUrl},
                                   {u"cookie", kDocCookie},
                                   {u"activeElement", kDocActiveElement},
                                   {u"createElement", kDocCreateElement},
                                   {u"documentElement", kDocDocumentElement},
                                   {u"getElementById", kDocGetElementById},
                                   {u"getElementsByName", kDocGetElementsByName},
                                   {u"getElementsByTagName", kDocGetElementsByTagName},
                                   {u"location", kDocLocation},
                                   {u"Script", kDocScript},
                                   {u"write", kDocWrite},
                                   {u"writeln", kDocWriteln},
                                   {u"open", kDocOpen},
                                   {u"close", kDocClose},
                                   {u"createTextNode", kDocCreateTextNode}};
}  // namespace

HRESULT Document::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  HRESULT hr = NamesToIds(kDocumentNames, names, count, ids);
  return hr == DISP_E_UNKNOWNNAME ? NodeIds(names, count, ids) : hr;
}

HRESULT Document::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) {
  if (result) VariantInit(result);
  bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
  VARIANT a;
  VariantInit(&a);
  HRESULT hr = S_OK;
  IDispatch* d = nullptr;
  BSTR s = nullptr;
  switch (id) {
    case DISPID_READYSTATE: return ResultLong(result, ready_state_);
    case kDocAll: hr = get_all(reinterpret_cast<IHTMLElementCollection**>(&d)); break;
    case kDocBody: hr = get_body(reinterpret_cast<IHTMLElement**>(&d)); break;
    case kDocForms: hr = get_forms(reinterpret_cast<IHTMLElementCollection**>(&d)); break;
    case kDocParentWindow: hr = get_parentWindow(reinterpret_cast<IHTMLWindow2**>(&d)); break;
    case kDocActiveElement: hr = get_activeElement(reinterpret_cast<IHTMLElement**>(&d)); break;
    case kDocDocumentElement: hr = get_documentElement(reinterpret_cast<IHTMLElement**>(&d)); break;
    case kDocLocation:
      if (put) {
        // document.location = url navigates, as the window's location does.
        if (!ArgAs(params, 0, VT_BSTR, &a)) return DISP_E_TYPEMISMATCH;
        if (host_) host_->NavigateFromDocument(this, ResolveUrl(url_, Utf8(a.bstrVal)), "", {}, "");
        VariantClear(&a);
        return S_OK;
      }
      hr = get_location(&d);
      break;
    case kDocScript: hr = get_Script(&d); break;
    case kDocTitle:
      if (put) {
        if (!ArgAs(params, 0, VT_BSTR, &a)) return DISP_E_TYPEMISMATCH;
        hr = put_title(a.bstrVal);
        VariantClear(&a);
        return hr;
      }
      hr = get_title(&s);
      return SUCCEEDED(hr) ? ResultBstr(result, s) : hr;
    case kDocReadyStateText: get_readyState(&s); return ResultBstr(result, s);
    case kDocUrl: get_URL(&s); return ResultBstr(result, s);
    case kDocCookie:
      if (put) {
        if (!ArgAs(params, 0, VT_BSTR, &a)) return DISP_E_TYPEMISMATCH;
        hr = put_cookie(a.bstrVal);
        VariantClear(&a);
        return hr;
      }
      hr = get_cookie(&s);
      return SUCCEEDED(hr) ? ResultBstr(result, s) : hr;
    case kDocWrite:
    case kDocWriteln: {
      // Methods answer only as methods (a get of a method is not a call).
      if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
      UINT n = params ? params->cArgs : 0;
      SAFEARRAY* texts = SafeArrayCreateVector(VT_VARIANT, 0, n);
      if (!texts) return E_OUTOFMEMORY;
      for (UINT i = 0; i < n; ++i) {
        LONG at = static_cast<LONG>(i);
        SafeArrayPutElement(texts, &at, &params->rgvarg[n - 1 - i]);
      }
      hr = id == kDocWrite ? write(texts) : writeln(texts);
      SafeArrayDestroy(texts);
      return hr;
    }
    case kDocOpen: {
      if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
      VARIANT none;
      VariantInit(&none);
      hr = open(nullptr, none, none, none, &d);
      break;
    }
    case kDocClose:
      if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
      return close();
    case kDocCreateTextNode: {
      if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
      if (!ArgAs(params, 0, VT_BSTR, &a)) return DISP_E_BADPARAMCOUNT;
      // A new text node stays outside the tree, owned by the document.
      auto n = std::make_unique<Node>();
      n->kind = Node::kText;
      n->text = Utf8(a.bstrVal);
      VariantClear(&a);
      Node* placed = n.get();
      detached_.push_back(std::move(n));
      return ResultDispatch(result, ObjectOf(placed));
    }
    case kDocCreateElement:
    case kDocGetElementById:
    case kDocGetElementsByName:
    case kDocGetElementsByTagName:
      if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
      if (!ArgAs(params, 0, VT_BSTR, &a)) return DISP_E_BADPARAMCOUNT;
      if (id == kDocCreateElement)
        hr = createElement(a.bstrVal, reinterpret_cast<IHTMLElement**>(&d));
      else if (id == kDocGetElementById)
        hr = getElementById(a.bstrVal, reinterpret_cast<IHTMLElement**>(&d));
      else if (id == kDocGetElementsByName)
        hr = getElementsByName(a.bstrVal, reinterpret_cast<IHTMLElementCollection**>(&d));
      else
        hr = getElementsByTagName(a.bstrVal, reinterpret_cast<IHTMLElementCollection**>(&d));
      VariantClear(&a);
      break;
    default: return NodeInvoke(this, root_.get(), id, flags, params, result);
  }
  if (SUCCEEDED(hr)) ResultDispatch(result, d);
  return hr;
}

// ---- IHTMLDocument2 ------------------------------------------------------------------------------------
HRESULT Document::get_Script(IDispatch** script) {
  if (!script) return E_POINTER;
  // The window: its IDispatch answers the page's globals by name.
  AddRef();
  *script = window_.get();
  return S_OK;
}
HRESULT Document::get_all(IHTMLElementCollection** all) {
  if (!all) return E_POINTER;
  std::vector<Node*> list;
  Walk(root_.get(), [&](Node* n) { list.push_back(n); });
  *all = new Collection(this, std::move(list));
  return S_OK;
}
HRESULT Document::get_body(IHTMLElement** body) {
  if (!body) return E_POINTER;
  *body = nullptr;
  if (Element* e = ElementOf(Body())) {
    e->AddRef();
    *body = static_cast<IHTMLElement*>(e);
  }
  return S_OK;
}
HRESULT Document::get_forms(IHTMLElementCollection** forms) {
  if (!forms) return E_POINTER;
  std::vector<Node*> list;
  Walk(root_.get(), [&](Node* n) {
    if (n->tag == "form") list.push_back(n);
  });
  *forms = new Collection(this, std::move(list));
  return S_OK;
}
HRESULT Document::get_title(BSTR* title) {
  if (!title) return E_POINTER;
  *title = Bstr(Title());
  return S_OK;
}
HRESULT Document::put_title(BSTR title) {
  Node* t = FindFirst(root_.get(), "title");
  if (!t) {
    Node* head = FindFirst(root_.get(), "head");
    if (!head) return E_FAIL;
    auto n = std::make_unique<Node>();
    n->tag = "title";
    t = head->AppendChild(std::move(n));
  }
  t->children.clear();
  auto text = std::make_unique<Node>();
  text->kind = Node::kText;
  text->text = Utf8(title);
  t->AppendChild(std::move(text));
  if (host_) host_->DocumentTitleChanged(this);
  return S_OK;
}
HRESULT Document::get_readyState(BSTR* state) {
  if (!state) return E_POINTER;
  *state = Bstr(kReadyStates[ready_state_]);
  return S_OK;
}
HRESULT Document::get_parentWindow(IHTMLWindow2** window) {
  if (!window) return E_POINTER;
  AddRef();
  *window = window_.get();
  return S_OK;
}
HRESULT Document::get_URL(BSTR* url) {
  if (!url) return E_POINTER;
  *url = Bstr(url_);
  return S_OK;
}
HRESULT Document::get_location(IDispatch** location) {
  if (!location) return E_POINTER;
  *location = nullptr;
  // The window's location object, which the script engine makes.
  if (!script_) return E_NOTIMPL;
  DISPID id = 0;
  VARIANT v;
  VariantInit(&v);
  HRESULT hr = script_->GlobalId(u"location", &id);
  if (SUCCEEDED(hr)) hr = script_->InvokeGlobal(id, DISPATCH_PROPERTYGET, nullptr, &v, nullptr);
  if (SUCCEEDED(hr) && v.vt == VT_DISPATCH) {
    *location = v.pdispVal;
    return S_OK;
  }
  VariantClear(&v);
  return FAILED(hr) ? hr : E_FAIL;
}
HRESULT Document::get_cookie(BSTR* cookie) {
  if (!cookie) return E_POINTER;
  *cookie = Bstr(DocumentCookies(url_));
  return S_OK;
}
HRESULT Document::put_cookie(BSTR cookie) {
  // A cookie the jar refuses (another domain, a public suffix) is dropped, as by the platform.
  if (cookie) SetDocumentCookie(url_, Utf8(cookie));
  return S_OK;
}
HRESULT Document::get_activeElement(IHTMLElement** element) {
  if (!element) return E_POINTER;
  *element = nullptr;
  Node* n = focus_ ? focus_ : Body();
  if (Element* e = ElementOf(n)) {
    e->AddRef();
    *element = static_cast<IHTMLElement*>(e);
  }
  return S_OK;
}
namespace {
// The texts of write's array, each converted to text.
std::string JoinTexts(SAFEARRAY* texts) {
  std::string out;
  LONG lo = 0, hi = -1;
  SafeArrayGetLBound(texts, 1, &lo);
  SafeArrayGetUBound(texts, 1, &hi);
  for (LONG i = lo; i <= hi; ++i) {
    VARIANT v, s;
    VariantInit(&v);
    VariantInit(&s);
    if (SUCCEEDED(SafeArrayGetElement(texts, &i, &v)) && SUCCEEDED(VariantChangeType(&s, &v, 0, VT_BSTR)))
      out += Utf8(s.bstrVal);
    VariantClear(&v);
    VariantClear(&s);
  }
  return out;
}
}  // namespace

HRESULT Document::write(SAFEARRAY* texts) {
  if (!texts) return E_INVALIDARG;
  return WriteText(JoinTexts(texts));
}
HRESULT Document::writeln(SAFEARRAY* texts) {
  if (!texts) return E_INVALIDARG;
  return WriteText(JoinTexts(texts) + "\n");
}
HRESULT Document::WriteText(const std::string& text) {
  // While a script of the walk runs, its writes go in after it.
  if (script_ && !writing_ && script_->CollectWrite(text)) return S_OK;
  if (!writing_) {
    written_.clear();
    writing_ = true;
  }
  written_ += text;
  return S_OK;
}
HRESULT Document::open(BSTR, VARIANT, VARIANT, VARIANT, IDispatch** out) {
  written_.clear();
  writing_ = true;
  if (out) {
    AddRef();
    *out = static_cast<IHTMLDocument2*>(this);
  }
  return S_OK;
}
HRESULT Document::close() {
  if (!writing_) return S_OK;
  writing_ = false;
  std::string text = std::move(written_);
  written_.clear();
  LoadBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size(), "text/html; charset=utf-8");
  return S_OK;
}
HRESULT Document::createElement(BSTR tag, IHTMLElement** element) {
  if (!element) return E_POINTER;
  *element = nullptr;
  std::string t = Utf8(tag);
  for (auto& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (t.empty() || t.find_first_of("<> /") != std::string::npos) return E_INVALIDARG;
  // A new element stays outside the tree, owned by the document.
  auto n = std::make_unique<Node>();
  n->tag = t;
  Node* placed = n.get();
  detached_.push_back(std::move(n));
  Element* e = ElementOf(placed);
  e->AddRef();
  *element = static_cast<IHTMLElement*>(e);
  return S_OK;
}

// ---- IHTMLDocument3 ------------------------------------------------------------------------------------
HRESULT Document::get_documentElement(IHTMLElement** root) {
  if (!root) return E_POINTER;
  *root = nullptr;
  if (Element* e = ElementOf(Html())) {
    e->AddRef();
    *root = static_cast<IHTMLElement*>(e);
  }
  return S_OK;
}
HRESULT Document::getElementById(BSTR id, IHTMLElement** element) {
  if (!element) return E_POINTER;
  *element = nullptr;
  std::string key = Utf8(id);
  Node* found = nullptr;
  Walk(root_.get(), [&](Node* n) {
    if (!found && n->AttrOr("id") == key) found = n;
  });
  if (!found || key.empty()) return S_OK;
  Element* e = ElementOf(found);
  e->AddRef();
  *element = static_cast<IHTMLElement*>(e);
  return S_OK;
}
HRESULT Document::getElementsByName(BSTR name, IHTMLElementCollection** out) {
  if (!out) return E_POINTER;
  std::string key = Utf8(name);
  std::vector<Node*> list;
  Walk(root_.get(), [&](Node* n) {
    const std::string* v = n->Attr("name");
    if (v && *v == key) list.push_back(n);
  });
  *out = new Collection(this, std::move(list));
  return S_OK;
}
HRESULT Document::getElementsByTagName(BSTR tag, IHTMLElementCollection** out) {
  if (!out) return E_POINTER;
  std::string t = Utf8(tag);
  for (auto& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::vector<Node*> list;
  Walk(root_.get(), [&](Node* n) {
    if (t == "*" || n->tag == t) list.push_back(n);
  });
  *out = new Collection(this, std::move(list));
  return S_OK;
}
HRESULT Document::attachEvent(BSTR event, IDispatch* handler, VARIANT_BOOL* result) {
  if (!handler) return E_INVALIDARG;
  std::string name = Utf8(event);
  for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  handler->AddRef();
  attached_.emplace_back(name, handler);
  if (result) *result = VARIANT_TRUE;
  return S_OK;
}
HRESULT Document::detachEvent(BSTR event, IDispatch* handler) {
  std::string name = Utf8(event);
  for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (auto it = attached_.begin(); it != attached_.end(); ++it)
    if (it->first == name && it->second == handler) {
      it->second->Release();
      attached_.erase(it);
      break;
    }
  return S_OK;
}

// ---- IConnectionPointContainer ------------------------------------------------------------------------
HRESULT Document::EnumConnectionPoints(IEnumConnectionPoints** out) {
  return EnumPoints(this, points_, {DIID_HTMLDocumentEvents2, IID_IPropertyNotifySink}, out);
}
HRESULT Document::FindConnectionPoint(REFIID riid, IConnectionPoint** out) {
  return FindPoint(this, points_, {DIID_HTMLDocumentEvents2, IID_IPropertyNotifySink}, riid, out);
}

// ---- IPersistStreamInit -----------------------------------------------------------------------------------
HRESULT Document::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = {0x25336920, 0x03F9, 0x11CF, {0x8F, 0xD0, 0x00, 0xAA, 0x00, 0x68, 0x6F, 0x13}};  // HTML document
  return S_OK;
}
HRESULT Document::IsDirty() { return S_FALSE; }
HRESULT Document::Load(IStream* stream) {
  if (!stream) return E_POINTER;
  std::string bytes;
  char buf[16384];
  for (;;) {
    ULONG n = 0;
    HRESULT hr = stream->Read(buf, sizeof buf, &n);
    if (FAILED(hr)) return hr;
    bytes.append(buf, n);
    if (n == 0 || hr == S_FALSE) break;
  }
  LoadBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), "");
  SetReadyState(4);
  if (OnStreamLoaded) OnStreamLoaded(this);
  return S_OK;
}
HRESULT Document::Save(IStream*, BOOL) { return E_NOTIMPL; }
HRESULT Document::GetSizeMax(ULARGE_INTEGER*) { return E_NOTIMPL; }
HRESULT Document::InitNew() {
  LoadBytes(nullptr, 0, "text/html; charset=utf-8");
  return S_OK;
}

// ---- IOleCommandTarget: zoom --------------------------------------------------------------------------------
HRESULT Document::QueryStatus(const GUID* group, ULONG count, OLECMD* cmds, OLECMDTEXT*) {
  if (group) return OLECMDERR_E_UNKNOWNGROUP;
  for (ULONG i = 0; i < count; ++i)
    cmds[i].cmdf = (cmds[i].cmdID == OLECMDID_ZOOM || cmds[i].cmdID == OLECMDID_GETZOOMRANGE)
                       ? OLECMDF_SUPPORTED | OLECMDF_ENABLED
                       : 0;
  return S_OK;
}
HRESULT Document::Exec(const GUID* group, DWORD id, DWORD, VARIANT* in, VARIANT* out) {
  if (group) return OLECMDERR_E_UNKNOWNGROUP;
  if (id == OLECMDID_GETZOOMRANGE) {
    if (!out) return E_INVALIDARG;
    VariantInit(out);
    out->vt = VT_I4;
    out->lVal = 0x00040000;  // low word 0, high word 4
    return S_OK;
  }
  if (id == OLECMDID_ZOOM) {
    if (in && in->vt != VT_EMPTY) {
      VARIANT v;
      VariantInit(&v);
      if (FAILED(VariantChangeType(&v, in, 0, VT_I4)) || v.lVal < 0 || v.lVal > 4) return E_INVALIDARG;
      zoom_ = v.lVal;
      Invalidate();
    }
    if (out) {
      VariantInit(out);
      out->vt = VT_I4;
      out->lVal = zoom_;
    }
    return S_OK;
  }
  return OLECMDERR_E_NOTSUPPORTED;
}

// ---- IViewObject --------------------------------------------------------------------------------------------
HRESULT Document::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC draw_dc, LPCRECTL bounds, LPCRECTL,
                       BOOL (*)(ULONG_PTR), ULONG_PTR) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!draw_dc || !bounds) return E_INVALIDARG;
  RECT rc{bounds->left, bounds->top, bounds->right, bounds->bottom};
  FillRect(draw_dc, &rc, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  int saved = SaveDC(draw_dc);
  IntersectClipRect(draw_dc, rc.left, rc.top, rc.right, rc.bottom);
  Layout& layout = LayoutFor(draw_dc, rc.right - rc.left);
  layout.Paint(draw_dc, rc.left, rc.top);
  RestoreDC(draw_dc, saved);
  return S_OK;
}
HRESULT Document::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors) {
  if (colors) *colors = nullptr;
  return S_FALSE;
}
HRESULT Document::Freeze(DWORD, LONG, void*, DWORD*) { return E_NOTIMPL; }
HRESULT Document::Unfreeze(DWORD) { return E_NOTIMPL; }
HRESULT Document::SetAdvise(DWORD, DWORD, IAdviseSink*) { return OLE_E_ADVISENOTSUPPORTED; }
HRESULT Document::GetAdvise(DWORD*, DWORD*, IAdviseSink**) { return OLE_E_ADVISENOTSUPPORTED; }

}  // namespace kv::browser

HRESULT KvBrowserNewDocument(IHTMLDocument2** out) {
  if (!out) return E_POINTER;
  *out = new kv::browser::Document(nullptr, "about:blank");
  return S_OK;
}

BOOL KvBrowserElementRect(IUnknown* element, RECT* rc) {
  if (!element || !rc) return FALSE;
  kv::browser::Element* self = nullptr;
  if (FAILED(element->QueryInterface(kv::browser::IID_KvBrowserElement, reinterpret_cast<void**>(&self))) || !self)
    return FALSE;
  kv::browser::Document* doc = self->Doc();
  BOOL ok = doc->Host() && doc->Host()->DocumentBoxOnScreen(doc, self->GetNode(), rc) ? TRUE : FALSE;
  self->Release();
  return ok;
}
