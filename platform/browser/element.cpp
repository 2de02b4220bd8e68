// Nodes and the COM objects of elements, styles, collections, windows and event objects.
#include "platform/browser/element.h"

#include <cctype>
#include <cstring>

#include <algorithm>

#include "platform/base/codepage.h"
#include "platform/browser/internal.h"
#include "platform/browser/object.h"
#include "platform/browser/script.h"
#include "platform/browser/url.h"

namespace kv::browser {

// ---- Helpers -----------------------------------------------------------------------------------------
namespace {

bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x < 128) x = static_cast<char16_t>(std::tolower(x));
    if (y < 128) y = static_cast<char16_t>(std::tolower(y));
    if (x != y) return false;
  }
  return true;
}

template <typename F>
void WalkElements(Node* root, F f) {
  // Iterative pre-order over the elements below `root`.
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

bool IsFormControl(const Node* n) {
  return n->kind == Node::kElement &&
         (n->tag == "input" || n->tag == "select" || n->tag == "textarea" || n->tag == "button" || n->tag == "object");
}

std::vector<Node*> Options(Node* select) {
  std::vector<Node*> out;
  WalkElements(select, [&](Node* n) {
    if (n->tag == "option") out.push_back(n);
  });
  return out;
}

std::string OptionValue(const Node* option) {
  if (const std::string* v = option->Attr("value")) return *v;
  return InnerText(option);
}

Node* FormOf(Node* n) {
  for (Node* p = n->parent; p; p = p->parent)
    if (p->IsElement("form")) return p;
  return nullptr;
}

std::vector<Node*> FormElements(Node* form) {
  std::vector<Node*> out;
  WalkElements(form, [&](Node* n) {
    if (IsFormControl(n)) out.push_back(n);
  });
  return out;
}

}  // namespace

HRESULT NamesToIds(const DispName* table, size_t n, LPOLESTR* names, UINT count, DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    if (i > 0) {
      hr = DISP_E_UNKNOWNNAME;  // named arguments are not supported
      continue;
    }
    std::u16string_view name = names[i] ? std::u16string_view(names[i]) : std::u16string_view();
    bool found = false;
    for (size_t k = 0; k < n && !found; ++k)
      if (EqualNoCase(name, table[k].name)) {
        ids[i] = table[k].id;
        found = true;
      }
    if (!found) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

BSTR Bstr(std::string_view utf8) { return AllocBstr(Utf8ToWide(utf8)); }
std::string Utf8(BSTR b) { return WideToUtf8(BstrText(b)); }

bool ArgAs(DISPPARAMS* params, UINT i, VARTYPE vt, VARIANT* out) {
  VariantInit(out);
  if (!params || i >= params->cArgs) return false;
  const VARIANT& src = params->rgvarg[params->cArgs - 1 - i];
  return SUCCEEDED(VariantChangeType(out, &src, 0, vt));
}

HRESULT ResultBstr(VARIANT* result, BSTR b) {
  if (!result) {
    SysFreeString(b);
    return S_OK;
  }
  result->vt = VT_BSTR;
  result->bstrVal = b;
  return S_OK;
}
HRESULT ResultLong(VARIANT* result, LONG v) {
  if (result) {
    result->vt = VT_I4;
    result->lVal = v;
  }
  return S_OK;
}
HRESULT ResultBool(VARIANT* result, bool v) {
  if (result) {
    result->vt = VT_BOOL;
    result->boolVal = v ? VARIANT_TRUE : VARIANT_FALSE;
  }
  return S_OK;
}
HRESULT ResultDispatch(VARIANT* result, IDispatch* d) {
  if (!result) {
    if (d) d->Release();
    return S_OK;
  }
  if (!d) {
    result->vt = VT_NULL;
    return S_OK;
  }
  result->vt = VT_DISPATCH;
  result->pdispVal = d;
  return S_OK;
}

HRESULT FindPoint(IConnectionPointContainer* self, std::vector<kv::ConnectionPoint*>& points,
                  const std::vector<IID>& offered, REFIID riid, IConnectionPoint** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  for (auto* p : points)
    if (IsEqualIID(p->Iid(), riid)) {
      p->AddRef();
      *out = p;
      return S_OK;
    }
  for (const IID& iid : offered)
    if (IsEqualIID(iid, riid)) {
      auto* p = new kv::ConnectionPoint(self, iid);
      points.push_back(p);
      p->AddRef();
      *out = p;
      return S_OK;
    }
  return CONNECT_E_NOCONNECTION;
}

HRESULT EnumPoints(IConnectionPointContainer* self, std::vector<kv::ConnectionPoint*>& points,
                   const std::vector<IID>& offered, IEnumConnectionPoints** out) {
  if (!out) return E_POINTER;
  std::vector<IConnectionPoint*> list;
  for (const IID& iid : offered) {
    IConnectionPoint* p = nullptr;
    if (SUCCEEDED(FindPoint(self, points, offered, iid, &p))) list.push_back(p);
  }
  *out = new kv::EnumConnectionPoints(list);
  for (auto* p : list) p->Release();
  return S_OK;
}

void DetachPoints(std::vector<kv::ConnectionPoint*>& points) {
  for (auto* p : points) {
    p->Detach();
    p->Release();
  }
  points.clear();
}

// ---- Node ----------------------------------------------------------------------------------------------
int Depth(const Node* node) {
  int d = 0;
  for (const Node* p = node; p && p->parent; p = p->parent) ++d;
  return d;
}

Node::Node() = default;
Node::~Node() {
  if (control) control->NodeGone();
  // Children iteratively, so a long sibling chain or a deep tree never recurses deeply.
  std::vector<std::unique_ptr<Node>> pending = std::move(children);
  while (!pending.empty()) {
    std::unique_ptr<Node> n = std::move(pending.back());
    pending.pop_back();
    if (!n) continue;  // a child moved elsewhere (innerHTML takes a parse's nodes)
    for (auto& c : n->children) pending.push_back(std::move(c));
    n->children.clear();
  }
}

const std::string* Node::Attr(std::string_view name) const {
  for (const auto& a : attrs)
    if (a.first == name) return &a.second;
  return nullptr;
}
std::string Node::AttrOr(std::string_view name, std::string_view fallback) const {
  const std::string* v = Attr(name);
  return v ? *v : std::string(fallback);
}
void Node::SetAttr(std::string_view name, std::string_view value) {
  for (auto& a : attrs)
    if (a.first == name) {
      a.second = value;
      return;
    }
  attrs.emplace_back(name, value);
}
bool Node::RemoveAttr(std::string_view name) {
  for (auto it = attrs.begin(); it != attrs.end(); ++it)
    if (it->first == name) {
      attrs.erase(it);
      return true;
    }
  return false;
}
Node* Node::AppendChild(std::unique_ptr<Node> child) {
  child->parent = this;
  children.push_back(std::move(child));
  return children.back().get();
}
std::string Node::InputType() const {
  std::string t = Lower(AttrOr("type", "text"));
  return t.empty() ? "text" : t;
}
bool Node::Hidden() const {
  const std::string* style = Attr("style");
  if (!style) return false;
  std::string s = Lower(*style);
  s.erase(std::remove_if(s.begin(), s.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); }),
          s.end());
  return s.find("display:none") != std::string::npos;
}

void InitControlState(Node* root) {
  WalkElements(root, [](Node* n) {
    if (n->tag == "input") {
      n->value = n->AttrOr("value");
      n->checked = n->Attr("checked") != nullptr;
    } else if (n->tag == "textarea") {
      n->value = InnerText(n);
    } else if (n->tag == "select") {
      auto opts = Options(n);
      n->selected = opts.empty() ? -1 : 0;
      for (size_t i = 0; i < opts.size(); ++i)
        if (opts[i]->Attr("selected")) {
          n->selected = static_cast<int>(i);
          break;
        }
    }
  });
}

// ---- Serialisation -------------------------------------------------------------------------------------
namespace {
bool IsVoid(const std::string& t) {
  static const char* kVoid[] = {"area",  "base", "br",   "col",   "embed",  "hr",    "img",
                                "input", "link", "meta", "param", "source", "track", "wbr"};
  for (const char* v : kVoid)
    if (t == v) return true;
  return false;
}
void Escape(std::string& out, std::string_view s, bool attr) {
  for (char c : s) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<' && !attr)
      out += "&lt;";
    else if (c == '>' && !attr)
      out += "&gt;";
    else if (c == '"' && attr)
      out += "&quot;";
    else
      out += c;
  }
}
// Depth is bounded by the tree's limit, so recursion is safe here.
void Serialize(std::string& out, const Node* n) {
  switch (n->kind) {
    case Node::kText: {
      bool raw = n->parent && (n->parent->tag == "script" || n->parent->tag == "style");
      if (raw)
        out += n->text;
      else
        Escape(out, n->text, false);
      return;
    }
    case Node::kComment: out += "<!--" + n->text + "-->"; return;
    case Node::kDocument:
      for (const auto& c : n->children) Serialize(out, c.get());
      return;
    case Node::kElement:
      out += "<" + n->tag;
      for (const auto& a : n->attrs) {
        out += " " + a.first + "=\"";
        Escape(out, a.second, true);
        out += "\"";
      }
      out += ">";
      if (IsVoid(n->tag)) return;
      for (const auto& c : n->children) Serialize(out, c.get());
      out += "</" + n->tag + ">";
      return;
  }
}
void Text(std::string& out, const Node* n) {
  if (n->kind == Node::kText) {
    out += n->text;
    return;
  }
  if (n->kind == Node::kElement && (n->tag == "script" || n->tag == "style")) return;
  if (n->IsElement("br")) out += "\r\n";
  for (const auto& c : n->children) Text(out, c.get());
}
}  // namespace

std::string OuterHtml(const Node* node) {
  std::string out;
  Serialize(out, node);
  return out;
}
std::string InnerHtml(const Node* node) {
  std::string out;
  for (const auto& c : node->children) Serialize(out, c.get());
  return out;
}
std::string InnerText(const Node* node) {
  std::string out;
  Text(out, node);
  return out;
}

// ---- Style ---------------------------------------------------------------------------------------------
HRESULT Style::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IHTMLStyle)) {
    *object = static_cast<IHTMLStyle*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}
ULONG Style::AddRef() { return owner_->AddRef(); }
ULONG Style::Release() { return owner_->Release(); }
HRESULT Style::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return S_OK;
}
HRESULT Style::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}
HRESULT Style::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  static const DispName kNames[] = {{u"display", 1}};
  return NamesToIds(kNames, names, count, ids);
}
HRESULT Style::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) {
  if (id != 1) return DISP_E_MEMBERNOTFOUND;
  if (flags & DISPATCH_PROPERTYPUT) {
    VARIANT v;
    if (!ArgAs(params, 0, VT_BSTR, &v)) return DISP_E_TYPEMISMATCH;
    HRESULT hr = put_display(v.bstrVal);
    VariantClear(&v);
    return hr;
  }
  BSTR b = nullptr;
  get_display(&b);
  return ResultBstr(result, b);
}
HRESULT Style::get_display(BSTR* value) {
  if (!value) return E_POINTER;
  *value = Bstr(owner_->GetNode()->Hidden() ? "none" : "");
  return S_OK;
}
HRESULT Style::put_display(BSTR value) {
  Node* n = owner_->GetNode();
  std::string style = n->AttrOr("style");
  // Drop any display declaration, then add the new one.
  std::string kept;
  size_t start = 0;
  while (start <= style.size()) {
    size_t semi = style.find(';', start);
    if (semi == std::string::npos) semi = style.size();
    std::string decl = style.substr(start, semi - start);
    std::string low = Lower(decl);
    low.erase(
        std::remove_if(low.begin(), low.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); }),
        low.end());
    if (!low.empty() && low.rfind("display:", 0) != 0) kept += decl + ";";
    start = semi + 1;
  }
  std::string v = Utf8(value);
  if (!v.empty()) kept += "display:" + v;
  n->SetAttr("style", kept);
  owner_->Doc()->Invalidate();
  return S_OK;
}

// ---- Element -------------------------------------------------------------------------------------------
Element::~Element() { DetachPoints(points_); }

std::vector<IID> Element::EventInterfaces() const {
  std::vector<IID> out{DIID_HTMLElementEvents2};
  const std::string& t = node_->tag;
  if (t == "form")
    out.push_back(DIID_HTMLFormElementEvents2);
  else if (t == "a")
    out.push_back(DIID_HTMLAnchorEvents2);
  else if (t == "select")
    out.push_back(DIID_HTMLSelectElementEvents2);
  else if (t == "textarea")
    out.push_back(DIID_HTMLTextContainerEvents2);
  else if (t == "img")
    out.push_back(DIID_HTMLImgEvents2);
  else if (t == "object")
    out.push_back(DIID_HTMLObjectElementEvents2);
  else if (t == "button")
    out.push_back(DIID_HTMLButtonElementEvents2);
  else if (t == "input") {
    std::string type = node_->InputType();
    if (type == "checkbox" || type == "radio")
      out.push_back(DIID_HTMLOptionButtonElementEvents2);
    else if (type == "button" || type == "submit" || type == "reset")
      out.push_back(DIID_HTMLButtonElementEvents2);
    else if (type == "text" || type == "password")
      out.push_back(DIID_HTMLInputTextElementEvents2);
  }
  return out;
}

HRESULT Element::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  const std::string& t = node_->tag;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IHTMLElement))
    *object = static_cast<IHTMLElement*>(this);
  else if (IsEqualIID(riid, IID_KvBrowserElement))
    *object = this;
  else if (IsEqualIID(riid, IID_IConnectionPointContainer))
    *object = static_cast<IConnectionPointContainer*>(this);
  else if (IsEqualIID(riid, IID_IHTMLFormElement) && t == "form")
    *object = static_cast<IHTMLFormElement*>(this);
  else if (IsEqualIID(riid, IID_IHTMLInputElement) && t == "input")
    *object = static_cast<IHTMLInputElement*>(this);
  else if (IsEqualIID(riid, IID_IHTMLSelectElement) && t == "select")
    *object = static_cast<IHTMLSelectElement*>(this);
  else if (IsEqualIID(riid, IID_IHTMLTextAreaElement) && t == "textarea")
    *object = static_cast<IHTMLTextAreaElement*>(this);
  if (!*object) return E_NOINTERFACE;
  AddRef();
  return S_OK;
}
ULONG Element::AddRef() { return doc_->AddRef(); }
ULONG Element::Release() { return doc_->Release(); }

HRESULT Element::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return S_OK;
}
HRESULT Element::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

namespace {
enum ElementId : DISPID {
  kTagName = 1,
  kId,
  kClassName,
  kGetAttribute,
  kSetAttribute,
  kRemoveAttribute,
  kParentElement,
  kChildren,
  kAll,
  kInnerHTML,
  kInnerText,
  kOuterHTML,
  kStyle,
  kClick,
  kName,
  kAction,
  kMethod,
  kTarget,
  kLength,
  kElements,
  kItem,
  kSubmit,
  kReset,
  kType,
  kValue,
  kChecked,
  kDisabled,
  kForm,
  kSelectedIndex,
  kOptions
};
const DispName kElementNames[] = {{u"tagName", kTagName},
                                  {u"id", kId},
                                  {u"className", kClassName},
                                  {u"getAttribute", kGetAttribute},
                                  {u"setAttribute", kSetAttribute},
                                  {u"removeAttribute", kRemoveAttribute},
                                  {u"parentElement", kParentElement},
                                  {u"children", kChildren},
                                  {u"all", kAll},
                                  {u"innerHTML", kInnerHTML},
                                  {u"innerText", kInnerText},
                                  {u"outerHTML", kOuterHTML},
                                  {u"style", kStyle},
                                  {u"click", kClick},
                                  {u"name", kName},
                                  {u"action", kAction},
                                  {u"method", kMethod},
                                  {u"target", kTarget},
                                  {u"length", kLength},
                                  {u"elements", kElements},
                                  {u"item", kItem},
                                  {u"submit", kSubmit},
                                  {u"reset", kReset},
                                  {u"type", kType},
                                  {u"value", kValue},
                                  {u"checked", kChecked},
                                  {u"disabled", kDisabled},
                                  {u"form", kForm},
                                  {u"selectedIndex", kSelectedIndex},
                                  {u"options", kOptions}};
}  // namespace

HRESULT Element::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  HRESULT hr = NamesToIds(kElementNames, names, count, ids);
  return hr == DISP_E_UNKNOWNNAME ? NodeIds(names, count, ids) : hr;
}

HRESULT Element::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) {
  if (result) VariantInit(result);
  bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  VARIANT a, b;
  VariantInit(&a);
  VariantInit(&b);
  HRESULT hr = S_OK;
  auto get_bstr = [&](HRESULT (Element::*getter)(BSTR*)) {
    BSTR s = nullptr;
    hr = (this->*getter)(&s);
    if (SUCCEEDED(hr)) ResultBstr(result, s);
  };
  auto put_bstr = [&](HRESULT (Element::*setter)(BSTR)) {
    if (!ArgAs(params, 0, VT_BSTR, &a)) {
      hr = DISP_E_TYPEMISMATCH;
      return;
    }
    hr = (this->*setter)(a.bstrVal);
  };
  auto get_disp = [&](auto getter) {
    IDispatch* d = nullptr;
    hr = getter(&d);
    if (SUCCEEDED(hr)) ResultDispatch(result, d);
  };
  switch (id) {
    // Methods answer only as methods: a get of a method is not a call.
    case kGetAttribute:
    case kSetAttribute:
    case kRemoveAttribute:
    case kClick:
    case kItem:
    case kSubmit:
    case kReset:
      if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
      break;
    default: break;
  }
  switch (id) {
    case kTagName: get_bstr(&Element::get_tagName); break;
    case kId: put ? put_bstr(&Element::put_id) : get_bstr(&Element::get_id); break;
    case kClassName: put ? put_bstr(&Element::put_className) : get_bstr(&Element::get_className); break;
    case kInnerHTML: put ? put_bstr(&Element::put_innerHTML) : get_bstr(&Element::get_innerHTML); break;
    case kInnerText: put ? put_bstr(&Element::put_innerText) : get_bstr(&Element::get_innerText); break;
    case kOuterHTML: get_bstr(&Element::get_outerHTML); break;
    case kName: get_bstr(&Element::get_name); break;
    case kAction: get_bstr(&Element::get_action); break;
    case kMethod: get_bstr(&Element::get_method); break;
    case kTarget: get_bstr(&Element::get_target); break;
    case kType: get_bstr(&Element::get_type); break;
    case kValue: put ? put_bstr(&Element::put_value) : get_bstr(&Element::get_value); break;
    case kGetAttribute:
      if (!ArgAs(params, 0, VT_BSTR, &a))
        hr = DISP_E_BADPARAMCOUNT;
      else
        hr = getAttribute(a.bstrVal, 0, result ? result : &b);
      break;
    case kSetAttribute:
      if (!ArgAs(params, 0, VT_BSTR, &a) || params->cArgs < 2)
        hr = DISP_E_BADPARAMCOUNT;
      else
        hr = setAttribute(a.bstrVal, params->rgvarg[params->cArgs - 2], 0);
      break;
    case kRemoveAttribute: {
      VARIANT_BOOL removed = VARIANT_FALSE;
      if (!ArgAs(params, 0, VT_BSTR, &a))
        hr = DISP_E_BADPARAMCOUNT;
      else
        hr = removeAttribute(a.bstrVal, 0, &removed);
      if (SUCCEEDED(hr)) ResultBool(result, removed != VARIANT_FALSE);
      break;
    }
    case kParentElement:
      get_disp([&](IDispatch** d) { return get_parentElement(reinterpret_cast<IHTMLElement**>(d)); });
      break;
    case kChildren: get_disp([&](IDispatch** d) { return get_children(d); }); break;
    case kAll: get_disp([&](IDispatch** d) { return get_all(d); }); break;
    case kElements: get_disp([&](IDispatch** d) { return get_elements(d); }); break;
    case kOptions: get_disp([&](IDispatch** d) { return get_options(d); }); break;
    case kForm: get_disp([&](IDispatch** d) { return get_form(reinterpret_cast<IHTMLFormElement**>(d)); }); break;
    case kStyle: get_disp([&](IDispatch** d) { return get_style(reinterpret_cast<IHTMLStyle**>(d)); }); break;
    case kClick: hr = click(); break;
    case kSubmit: hr = submit(); break;
    case kReset: hr = reset(); break;
    case kItem: {
      VARIANT none;
      VariantInit(&none);
      const VARIANT& n = params && params->cArgs > 0 ? params->rgvarg[params->cArgs - 1] : none;
      const VARIANT& i = params && params->cArgs > 1 ? params->rgvarg[params->cArgs - 2] : none;
      get_disp([&](IDispatch** d) { return item(n, i, d); });
      break;
    }
    case kLength: {
      LONG n = 0;
      hr = get_length(&n);
      if (SUCCEEDED(hr)) ResultLong(result, n);
      break;
    }
    case kSelectedIndex: {
      if (put) {
        if (!ArgAs(params, 0, VT_I4, &a))
          hr = DISP_E_TYPEMISMATCH;
        else
          hr = put_selectedIndex(a.lVal);
      } else {
        LONG n = 0;
        hr = get_selectedIndex(&n);
        if (SUCCEEDED(hr)) ResultLong(result, n);
      }
      break;
    }
    case kChecked:
    case kDisabled: {
      if (put) {
        if (!ArgAs(params, 0, VT_BOOL, &a))
          hr = DISP_E_TYPEMISMATCH;
        else
          hr = id == kChecked ? put_checked(a.boolVal) : put_disabled(a.boolVal);
      } else {
        VARIANT_BOOL v = VARIANT_FALSE;
        hr = id == kChecked ? get_checked(&v) : get_disabled(&v);
        if (SUCCEEDED(hr)) ResultBool(result, v != VARIANT_FALSE);
      }
      break;
    }
    default: hr = NodeInvoke(doc_, node_, id, flags, params, result);
  }
  VariantClear(&a);
  VariantClear(&b);
  return hr;
}

HRESULT Element::get_tagName(BSTR* tag) {
  if (!tag) return E_POINTER;
  std::string t = node_->tag;
  for (auto& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  *tag = Bstr(t);
  return S_OK;
}
HRESULT Element::get_id(BSTR* id) {
  if (!id) return E_POINTER;
  *id = Bstr(node_->AttrOr("id"));
  return S_OK;
}
HRESULT Element::put_id(BSTR id) {
  node_->SetAttr("id", Utf8(id));
  return S_OK;
}
HRESULT Element::get_className(BSTR* name) {
  if (!name) return E_POINTER;
  *name = Bstr(node_->AttrOr("class"));
  return S_OK;
}
HRESULT Element::put_className(BSTR name) {
  node_->SetAttr("class", Utf8(name));
  return S_OK;
}
HRESULT Element::getAttribute(BSTR name, LONG, VARIANT* value) {
  if (!value) return E_POINTER;
  VariantInit(value);
  std::string n = Lower(Utf8(name));
  if (n == "value" && (node_->tag == "input" || node_->tag == "textarea" || node_->tag == "select"))
    return get_value(&value->bstrVal), value->vt = VT_BSTR, S_OK;
  const std::string* v = node_->Attr(n == "classname" ? "class" : n);
  if (!v) {
    value->vt = VT_NULL;
    return S_OK;
  }
  value->vt = VT_BSTR;
  value->bstrVal = Bstr(*v);
  return S_OK;
}
HRESULT Element::setAttribute(BSTR name, VARIANT value, LONG) {
  VARIANT s;
  VariantInit(&s);
  if (FAILED(VariantChangeType(&s, &value, 0, VT_BSTR))) return DISP_E_TYPEMISMATCH;
  std::string n = Lower(Utf8(name));
  std::string v = Utf8(s.bstrVal);
  VariantClear(&s);
  if (n.empty()) return E_INVALIDARG;
  node_->SetAttr(n == "classname" ? "class" : n, v);
  if (n == "value" && node_->tag == "input") node_->value = v;
  if (n == "checked" && node_->tag == "input") node_->checked = true;
  doc_->Invalidate();
  return S_OK;
}
HRESULT Element::removeAttribute(BSTR name, LONG, VARIANT_BOOL* removed) {
  bool r = node_->RemoveAttr(Lower(Utf8(name)));
  if (removed) *removed = r ? VARIANT_TRUE : VARIANT_FALSE;
  doc_->Invalidate();
  return S_OK;
}
HRESULT Element::get_parentElement(IHTMLElement** parent) {
  if (!parent) return E_POINTER;
  *parent = nullptr;
  Node* p = node_->parent;
  if (!p || p->kind != Node::kElement) return S_OK;
  Element* e = doc_->ElementOf(p);
  e->AddRef();
  *parent = static_cast<IHTMLElement*>(e);
  return S_OK;
}
HRESULT Element::get_children(IDispatch** children) {
  if (!children) return E_POINTER;
  std::vector<Node*> list;
  for (auto& c : node_->children)
    if (c->kind == Node::kElement) list.push_back(c.get());
  *children = new Collection(doc_, std::move(list));
  return S_OK;
}
HRESULT Element::get_all(IDispatch** all) {
  if (!all) return E_POINTER;
  std::vector<Node*> list;
  WalkElements(node_, [&](Node* n) { list.push_back(n); });
  *all = new Collection(doc_, std::move(list));
  return S_OK;
}
HRESULT Element::get_innerHTML(BSTR* html) {
  if (!html) return E_POINTER;
  *html = Bstr(InnerHtml(node_));
  return S_OK;
}
HRESULT Element::put_innerHTML(BSTR html) {
  // The markup parsed as this element's content (gumbo's fragment mode); its nodes replace
  // the children.
  auto nodes = ParseFragment(Utf8(html), node_->tag, Depth(node_));
  if (doc_->Focus() && doc_->Focus() != node_) {
    for (Node* p = doc_->Focus(); p; p = p->parent)
      if (p == node_) {
        doc_->SetFocus(nullptr);
        break;
      }
  }
  doc_->Bury(std::move(node_->children));
  node_->children.clear();
  for (auto& c : nodes) node_->AppendChild(std::move(c));
  doc_->Invalidate();
  return S_OK;
}
HRESULT Element::get_innerText(BSTR* text) {
  if (!text) return E_POINTER;
  *text = Bstr(InnerText(node_));
  return S_OK;
}
HRESULT Element::put_innerText(BSTR text) {
  if (doc_->Focus() && doc_->Focus() != node_) doc_->SetFocus(nullptr);
  doc_->Bury(std::move(node_->children));
  node_->children.clear();
  auto t = std::make_unique<Node>();
  t->kind = Node::kText;
  t->text = Utf8(text);
  node_->AppendChild(std::move(t));
  if (node_->tag == "textarea") node_->value = Utf8(text);
  doc_->Invalidate();
  return S_OK;
}
HRESULT Element::get_outerHTML(BSTR* html) {
  if (!html) return E_POINTER;
  *html = Bstr(OuterHtml(node_));
  return S_OK;
}
HRESULT Element::get_style(IHTMLStyle** style) {
  if (!style) return E_POINTER;
  style_.AddRef();
  *style = &style_;
  return S_OK;
}
HRESULT Element::click() {
  DomEvent ev;
  ev.type = "click";
  ev.dispid = DISPID_EVMETH_ONCLICK;
  ev.target = node_;
  AddRef();
  if (doc_->Dispatch(ev)) doc_->ActivateElement(node_);
  Release();
  return S_OK;
}

HRESULT Element::get_name(BSTR* name) {
  if (!name) return E_POINTER;
  *name = Bstr(node_->AttrOr("name"));
  return S_OK;
}
HRESULT Element::get_action(BSTR* action) {
  if (!action) return E_POINTER;
  const std::string* a = node_->Attr("action");
  *action = Bstr(a ? *a : "");
  return S_OK;
}
HRESULT Element::get_method(BSTR* method) {
  if (!method) return E_POINTER;
  std::string m = Lower(node_->AttrOr("method", "get"));
  *method = Bstr(m == "post" ? "post" : "get");
  return S_OK;
}
HRESULT Element::get_target(BSTR* target) {
  if (!target) return E_POINTER;
  *target = Bstr(node_->AttrOr("target"));
  return S_OK;
}
HRESULT Element::get_length(LONG* length) {
  if (!length) return E_POINTER;
  if (node_->tag == "form")
    *length = static_cast<LONG>(FormElements(node_).size());
  else if (node_->tag == "select")
    *length = static_cast<LONG>(Options(node_).size());
  else
    return E_NOTIMPL;
  return S_OK;
}
HRESULT Element::get_elements(IDispatch** elements) {
  if (!elements) return E_POINTER;
  *elements = new Collection(doc_, FormElements(node_));
  return S_OK;
}
HRESULT Element::item(VARIANT name, VARIANT index, IDispatch** out) {
  return CollectionItem(doc_, FormElements(node_), name, index, out);
}
HRESULT Element::submit() {
  if (node_->tag != "form") return E_NOTIMPL;
  doc_->SubmitForm(node_, nullptr);
  return S_OK;
}
HRESULT Element::reset() {
  if (node_->tag != "form") return E_NOTIMPL;
  InitControlState(node_);
  doc_->Invalidate();
  return S_OK;
}
HRESULT Element::get_type(BSTR* type) {
  if (!type) return E_POINTER;
  *type = Bstr(node_->tag == "input" ? node_->InputType() : node_->tag);
  return S_OK;
}
HRESULT Element::get_value(BSTR* value) {
  if (!value) return E_POINTER;
  if (node_->tag == "select") {
    auto opts = Options(node_);
    int i = node_->selected;
    *value = Bstr(i >= 0 && i < static_cast<int>(opts.size()) ? OptionValue(opts[static_cast<size_t>(i)]) : "");
    return S_OK;
  }
  *value = Bstr(node_->value);
  return S_OK;
}
HRESULT Element::put_value(BSTR value) {
  std::string v = Utf8(value);
  if (node_->tag == "select") {
    auto opts = Options(node_);
    for (size_t i = 0; i < opts.size(); ++i)
      if (OptionValue(opts[i]) == v) node_->selected = static_cast<int>(i);
  } else {
    node_->value = v;
  }
  doc_->Invalidate();
  return S_OK;
}
HRESULT Element::get_checked(VARIANT_BOOL* checked) {
  if (!checked) return E_POINTER;
  *checked = node_->checked ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}
HRESULT Element::put_checked(VARIANT_BOOL checked) {
  node_->checked = checked != VARIANT_FALSE;
  // Checking a radio button unchecks the others of its group.
  if (node_->checked && node_->InputType() == "radio") {
    std::string name = node_->AttrOr("name");
    Node* scope = FormOf(node_);
    if (!scope) scope = doc_->Root();
    if (!name.empty())
      WalkElements(scope, [&](Node* n) {
        if (n != node_ && n->tag == "input" && n->InputType() == "radio" && n->AttrOr("name") == name)
          n->checked = false;
      });
  }
  doc_->Invalidate();
  return S_OK;
}
HRESULT Element::get_disabled(VARIANT_BOOL* disabled) {
  if (!disabled) return E_POINTER;
  *disabled = node_->Attr("disabled") ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}
HRESULT Element::put_disabled(VARIANT_BOOL disabled) {
  if (disabled)
    node_->SetAttr("disabled", "");
  else
    node_->RemoveAttr("disabled");
  doc_->Invalidate();
  return S_OK;
}
HRESULT Element::get_form(IHTMLFormElement** form) {
  if (!form) return E_POINTER;
  *form = nullptr;
  Node* f = FormOf(node_);
  if (!f) return S_OK;
  Element* e = doc_->ElementOf(f);
  e->AddRef();
  *form = static_cast<IHTMLFormElement*>(e);
  return S_OK;
}
HRESULT Element::get_selectedIndex(LONG* index) {
  if (!index) return E_POINTER;
  *index = node_->selected;
  return S_OK;
}
HRESULT Element::put_selectedIndex(LONG index) {
  LONG n = static_cast<LONG>(Options(node_).size());
  node_->selected = index >= 0 && index < n ? static_cast<int>(index) : -1;
  doc_->Invalidate();
  return S_OK;
}
HRESULT Element::get_options(IDispatch** options) {
  if (!options) return E_POINTER;
  *options = new Collection(doc_, Options(node_));
  return S_OK;
}
HRESULT Element::EnumConnectionPoints(IEnumConnectionPoints** out) {
  return EnumPoints(this, points_, EventInterfaces(), out);
}
HRESULT Element::FindConnectionPoint(REFIID riid, IConnectionPoint** out) {
  return FindPoint(this, points_, EventInterfaces(), riid, out);
}

// ---- Collection ----------------------------------------------------------------------------------------
Collection::Collection(Document* doc, std::vector<Node*> nodes) : doc_(doc), nodes_(std::move(nodes)) {
  doc_->AddRef();
}
Collection::~Collection() { doc_->Release(); }
HRESULT Collection::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return S_OK;
}
HRESULT Collection::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}
HRESULT Collection::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  static const DispName kNames[] = {{u"length", 1}, {u"item", 2}, {u"tags", 3}};
  return NamesToIds(kNames, names, count, ids);
}
HRESULT Collection::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                           UINT*) {
  if (result) VariantInit(result);
  if ((id == 2 || id == 3) && !(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
  VARIANT none;
  VariantInit(&none);
  const VARIANT& a = params && params->cArgs > 0 ? params->rgvarg[params->cArgs - 1] : none;
  const VARIANT& b = params && params->cArgs > 1 ? params->rgvarg[params->cArgs - 2] : none;
  IDispatch* d = nullptr;
  HRESULT hr;
  switch (id) {
    case 1: return ResultLong(result, static_cast<LONG>(nodes_.size()));
    case DISPID_VALUE:
    case 2: hr = item(a, b, &d); break;
    case 3: hr = tags(a, &d); break;
    default: return DISP_E_MEMBERNOTFOUND;
  }
  if (SUCCEEDED(hr)) ResultDispatch(result, d);
  return hr;
}
HRESULT Collection::get_length(LONG* length) {
  if (!length) return E_POINTER;
  *length = static_cast<LONG>(nodes_.size());
  return S_OK;
}
HRESULT Collection::item(VARIANT name, VARIANT index, IDispatch** out) {
  return CollectionItem(doc_, nodes_, name, index, out);
}
HRESULT Collection::tags(VARIANT tag, IDispatch** out) {
  if (!out) return E_POINTER;
  VARIANT s;
  VariantInit(&s);
  if (FAILED(VariantChangeType(&s, &tag, 0, VT_BSTR))) return E_INVALIDARG;
  std::string t = Lower(Utf8(s.bstrVal));
  VariantClear(&s);
  std::vector<Node*> list;
  for (Node* n : nodes_)
    if (n->tag == t) list.push_back(n);
  *out = new Collection(doc_, std::move(list));
  return S_OK;
}

HRESULT CollectionItem(Document* doc, const std::vector<Node*>& nodes, const VARIANT& name, const VARIANT& index,
                       IDispatch** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  const VARIANT* n = &name;
  if (n->vt == (VT_BYREF | VT_VARIANT) && n->pvarVal) n = n->pvarVal;
  auto number = [](const VARIANT& v, LONG* value) {
    VARIANT x;
    VariantInit(&x);
    if (v.vt == VT_EMPTY || v.vt == VT_ERROR || v.vt == VT_NULL || v.vt == VT_BSTR) return false;
    if (FAILED(VariantChangeType(&x, &v, 0, VT_I4))) return false;
    *value = x.lVal;
    return true;
  };
  LONG i = 0;
  if (n->vt != VT_BSTR) {
    if (!number(*n, &i)) return E_INVALIDARG;
    if (i < 0 || static_cast<size_t>(i) >= nodes.size()) return S_OK;  // null
    *out = doc->ObjectOf(nodes[static_cast<size_t>(i)]);
    return S_OK;
  }
  std::string key = Utf8(n->bstrVal);
  std::vector<Node*> matches;
  for (Node* node : nodes) {
    const std::string* id = node->Attr("id");
    const std::string* nm = node->Attr("name");
    if ((id && *id == key) || (nm && *nm == key)) matches.push_back(node);
  }
  if (matches.empty()) return S_OK;
  if (number(index, &i)) {
    if (i >= 0 && static_cast<size_t>(i) < matches.size()) *out = doc->ObjectOf(matches[static_cast<size_t>(i)]);
    return S_OK;
  }
  if (matches.size() == 1) {
    *out = doc->ObjectOf(matches[0]);
    return S_OK;
  }
  *out = new Collection(doc, std::move(matches));
  return S_OK;
}

// ---- DOM core ---------------------------------------------------------------------------------------------
namespace {
enum NodeId : DISPID {
  kNodeChildNodes = 200,
  kNodeFirstChild,
  kNodeLastChild,
  kNodeNextSibling,
  kNodePreviousSibling,
  kNodeParentNode,
  kNodeType,
  kNodeName,
  kNodeValue,
  kNodeData,
  kNodeAppendChild,
  kNodeInsertBefore,
  kNodeRemoveChild,
  kNodeHasChildNodes
};
const DispName kNodeNames[] = {{u"childNodes", kNodeChildNodes},
                               {u"firstChild", kNodeFirstChild},
                               {u"lastChild", kNodeLastChild},
                               {u"nextSibling", kNodeNextSibling},
                               {u"previousSibling", kNodePreviousSibling},
                               {u"parentNode", kNodeParentNode},
                               {u"nodeType", kNodeType},
                               {u"nodeName", kNodeName},
                               {u"nodeValue", kNodeValue},
                               {u"data", kNodeData},
                               {u"appendChild", kNodeAppendChild},
                               {u"insertBefore", kNodeInsertBefore},
                               {u"removeChild", kNodeRemoveChild},
                               {u"hasChildNodes", kNodeHasChildNodes}};

Node* Sibling(Node* node, int step) {
  Node* p = node->parent;
  if (!p) return nullptr;
  for (size_t i = 0; i < p->children.size(); ++i)
    if (p->children[i].get() == node) {
      size_t j = i + static_cast<size_t>(step);
      return j < p->children.size() ? p->children[j].get() : nullptr;
    }
  return nullptr;
}

int Height(const Node* node) {
  int h = 0;
  std::vector<std::pair<const Node*, int>> stack{{node, 1}};
  while (!stack.empty()) {
    auto [n, d] = stack.back();
    stack.pop_back();
    h = std::max(h, d);
    for (const auto& c : n->children) stack.push_back({c.get(), d + 1});
  }
  return h;
}

// Moves `child` under `parent` before `before` (null: at the end). A node cannot go
// inside itself, and the tree stays within kMaxTreeDepth.
HRESULT Insert(Document* doc, Node* parent, Node* child, Node* before) {
  if (parent->kind != Node::kElement && parent->kind != Node::kDocument) return E_INVALIDARG;
  for (Node* p = parent; p; p = p->parent)
    if (p == child) return E_INVALIDARG;
  if (Depth(parent) + Height(child) > kMaxTreeDepth) return E_INVALIDARG;
  if (before && before->parent != parent) return E_INVALIDARG;
  if (before == child) return S_OK;
  std::unique_ptr<Node> owned = doc->Unlink(child);
  if (!owned) return E_INVALIDARG;
  owned->parent = parent;
  auto at = parent->children.end();
  if (before)
    for (auto it = parent->children.begin(); it != parent->children.end(); ++it)
      if (it->get() == before) {
        at = it;
        break;
      }
  parent->children.insert(at, std::move(owned));
  doc->Invalidate();
  return S_OK;
}

Node* NodeArg(Document* doc, DISPPARAMS* params, UINT i) {
  if (!params || i >= params->cArgs) return nullptr;
  const VARIANT& v = params->rgvarg[params->cArgs - 1 - i];
  const VARIANT* p = v.vt == (VT_BYREF | VT_VARIANT) ? v.pvarVal : &v;
  if (p->vt != VT_DISPATCH && p->vt != VT_UNKNOWN) return nullptr;
  return NodeOf(doc, p->punkVal);
}
}  // namespace

HRESULT NodeIds(LPOLESTR* names, UINT count, DISPID* ids) { return NamesToIds(kNodeNames, names, count, ids); }

Node* NodeOf(Document* doc, IUnknown* object) {
  if (!object) return nullptr;
  Node* node = nullptr;
  Element* e = nullptr;
  TextNode* t = nullptr;
  if (SUCCEEDED(object->QueryInterface(IID_KvBrowserElement, reinterpret_cast<void**>(&e))) && e) {
    if (e->Doc() == doc) node = e->GetNode();
    e->Release();
  } else if (SUCCEEDED(object->QueryInterface(IID_KvBrowserText, reinterpret_cast<void**>(&t))) && t) {
    if (t->Doc() == doc) node = t->GetNode();
    t->Release();
  }
  return node;
}

HRESULT NodeInvoke(Document* doc, Node* node, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) {
  bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  bool method = (flags & DISPATCH_METHOD) != 0;
  auto object = [&](Node* n) { return ResultDispatch(result, n ? doc->ObjectOf(n) : nullptr); };
  switch (id) {
    case kNodeChildNodes: {
      std::vector<Node*> list;
      for (auto& c : node->children) list.push_back(c.get());
      return ResultDispatch(result, new Collection(doc, std::move(list)));
    }
    case kNodeFirstChild: return object(node->children.empty() ? nullptr : node->children.front().get());
    case kNodeLastChild: return object(node->children.empty() ? nullptr : node->children.back().get());
    case kNodeNextSibling: return object(Sibling(node, 1));
    case kNodePreviousSibling: return object(Sibling(node, -1));
    case kNodeParentNode: return object(node->parent);
    case kNodeType:
      return ResultLong(result, node->kind == Node::kElement   ? 1
                                : node->kind == Node::kText    ? 3
                                : node->kind == Node::kComment ? 8
                                                               : 9);
    case kNodeName: {
      std::string name = node->kind == Node::kText       ? "#text"
                         : node->kind == Node::kComment  ? "#comment"
                         : node->kind == Node::kDocument ? "#document"
                                                         : node->tag;
      for (auto& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (name[0] == '#')
        for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      return ResultBstr(result, Bstr(name));
    }
    case kNodeValue:
    case kNodeData: {
      bool text = node->kind == Node::kText || node->kind == Node::kComment;
      if (put) {
        VARIANT a;
        VariantInit(&a);
        if (!text) return S_OK;
        if (!ArgAs(params, 0, VT_BSTR, &a)) return DISP_E_TYPEMISMATCH;
        node->text = Utf8(a.bstrVal);
        VariantClear(&a);
        doc->Invalidate();
        return S_OK;
      }
      if (!text) {
        if (result) result->vt = VT_NULL;
        return S_OK;
      }
      return ResultBstr(result, Bstr(node->text));
    }
    case kNodeAppendChild:
    case kNodeInsertBefore:
    case kNodeRemoveChild: {
      if (!method) return DISP_E_MEMBERNOTFOUND;
      Node* child = NodeArg(doc, params, 0);
      if (!child) return DISP_E_TYPEMISMATCH;
      HRESULT hr;
      if (id == kNodeRemoveChild) {
        if (child->parent != node) return E_INVALIDARG;
        std::vector<std::unique_ptr<Node>> gone;
        gone.push_back(doc->Unlink(child));
        // Kept: the caller's reference points at it.
        doc->Bury(std::move(gone));
        doc->Invalidate();
        hr = S_OK;
      } else {
        hr = Insert(doc, node, child, id == kNodeInsertBefore ? NodeArg(doc, params, 1) : nullptr);
      }
      if (FAILED(hr)) return hr;
      return object(child);
    }
    case kNodeHasChildNodes:
      if (!method) return DISP_E_MEMBERNOTFOUND;
      return ResultBool(result, !node->children.empty());
    default: return DISP_E_MEMBERNOTFOUND;
  }
}

HRESULT TextNode::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch))
    *object = static_cast<IDispatch*>(this);
  else if (IsEqualIID(riid, IID_KvBrowserText))
    *object = this;
  else if (IsEqualIID(riid, IID_KvBrowserDocument))
    *object = doc_;
  if (!*object) return E_NOINTERFACE;
  AddRef();
  return S_OK;
}
ULONG TextNode::AddRef() { return doc_->AddRef(); }
ULONG TextNode::Release() { return doc_->Release(); }
HRESULT TextNode::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return S_OK;
}
HRESULT TextNode::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}
HRESULT TextNode::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  return NodeIds(names, count, ids);
}
HRESULT TextNode::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) {
  if (result) VariantInit(result);
  return NodeInvoke(doc_, node_, id, flags, params, result);
}

// ---- Window ---------------------------------------------------------------------------------------------
Window::~Window() {
  DetachPoints(points_);
  if (external_) external_->Release();
}
HRESULT Window::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IHTMLWindow2))
    *object = static_cast<IHTMLWindow2*>(this);
  else if (IsEqualIID(riid, IID_IConnectionPointContainer))
    *object = static_cast<IConnectionPointContainer*>(this);
  else if (IsEqualIID(riid, IID_KvBrowserDocument))
    *object = doc_;
  if (!*object) return E_NOINTERFACE;
  AddRef();
  return S_OK;
}
ULONG Window::AddRef() { return doc_->AddRef(); }
ULONG Window::Release() { return doc_->Release(); }
HRESULT Window::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return S_OK;
}
HRESULT Window::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}
HRESULT Window::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  // A torn-down window answers no name; else a page global of exactly that name, then
  // the window's members without case.
  if (doc_->TornDown()) return DISP_E_UNKNOWNNAME;
  if (Script* script = doc_->GetScript();
      script && names && names[0] && ids && count == 1 && script->GlobalId(names[0], ids) == S_OK)
    return S_OK;
  static const DispName kNames[] = {{u"document", 1}, {u"event", 2},  {u"external", 3}, {u"alert", 4}, {u"confirm", 5},
                                    {u"navigate", 6}, {u"parent", 7}, {u"top", 8},      {u"self", 9},  {u"window", 9},
                                    {u"moveTo", 10},  {u"moveBy", 11}, {u"resizeTo", 12}, {u"resizeBy", 13}};
  return NamesToIds(kNames, names, count, ids);
}
HRESULT Window::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                       UINT*) {
  if (result) VariantInit(result);
  if (doc_->TornDown()) return DISP_E_MEMBERNOTFOUND;
  if (Script* script = doc_->GetScript(); script && script->IsGlobalId(id))
    return script->InvokeGlobal(id, flags, params, result, excep);
  if (id >= 4 && id <= 6 && !(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
  IDispatch* d = nullptr;
  VARIANT a;
  HRESULT hr = S_OK;
  switch (id) {
    case 1: hr = get_document(reinterpret_cast<IHTMLDocument2**>(&d)); break;
    case 2: hr = get_event(reinterpret_cast<IHTMLEventObj**>(&d)); break;
    case 3: hr = get_external(&d); break;
    case 7:
    case 8:
    case 9: hr = get_top(reinterpret_cast<IHTMLWindow2**>(&d)); break;
    case 4:
    case 5:
    case 6: {
      if (!ArgAs(params, 0, VT_BSTR, &a)) return DISP_E_BADPARAMCOUNT;
      if (id == 4) {
        hr = alert(a.bstrVal);
      } else if (id == 6) {
        hr = navigate(a.bstrVal);
      } else {
        VARIANT_BOOL r = VARIANT_FALSE;
        hr = confirm(a.bstrVal, &r);
        ResultBool(result, r != VARIANT_FALSE);
      }
      VariantClear(&a);
      return hr;
    }
    case 10:
    case 11:
    case 12:
    case 13: {
      VARIANT b;
      if (!ArgAs(params, 0, VT_I4, &a) || !ArgAs(params, 1, VT_I4, &b)) return DISP_E_BADPARAMCOUNT;
      if (doc_->Host()) doc_->Host()->DocumentMoveWindow(id >= 12, id == 11 || id == 13, a.lVal, b.lVal);
      return S_OK;
    }
    default: return DISP_E_MEMBERNOTFOUND;
  }
  if (SUCCEEDED(hr)) ResultDispatch(result, d);
  return hr;
}
HRESULT Window::get_document(IHTMLDocument2** document) {
  if (!document) return E_POINTER;
  doc_->AddRef();
  *document = static_cast<IHTMLDocument2*>(doc_);
  return S_OK;
}
HRESULT Window::get_event(IHTMLEventObj** event) {
  if (!event) return E_POINTER;
  *event = doc_->CurrentEvent();
  if (*event) (*event)->AddRef();
  return S_OK;
}
HRESULT Window::get_external(IDispatch** external) {
  if (!external) return E_POINTER;
  *external = nullptr;
  // The host is asked once per document.
  if (!external_asked_ && doc_->Host()) {
    external_asked_ = true;
    doc_->Host()->DocumentExternal(&external_);
  }
  if (external_) {
    external_->AddRef();
    *external = external_;
  }
  return S_OK;
}
HRESULT Window::alert(BSTR message) {
  if (!doc_->Host()) return S_OK;
  LRESULT r = 0;
  return doc_->Host()->DocumentShowMessage(BstrText(message), 0x30 /* MB_ICONWARNING */, &r);
}
HRESULT Window::confirm(BSTR message, VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = VARIANT_FALSE;
  if (!doc_->Host()) return S_OK;
  LRESULT r = 0;
  HRESULT hr = doc_->Host()->DocumentShowMessage(BstrText(message), 0x21 /* MB_OKCANCEL | MB_ICONQUESTION */, &r);
  *result = r == 1 /* IDOK */ ? VARIANT_TRUE : VARIANT_FALSE;
  return hr;
}
HRESULT Window::navigate(BSTR url) {
  if (doc_->Host()) doc_->Host()->NavigateFromDocument(doc_, ResolveUrl(doc_->Url(), Utf8(url)), "", {}, "");
  return S_OK;
}
HRESULT Window::get_parent(IHTMLWindow2** parent) { return get_top(parent); }
HRESULT Window::get_top(IHTMLWindow2** top) {
  if (!top) return E_POINTER;
  AddRef();
  *top = this;
  return S_OK;
}
HRESULT Window::EnumConnectionPoints(IEnumConnectionPoints** out) {
  return EnumPoints(this, points_, {DIID_HTMLWindowEvents2}, out);
}
HRESULT Window::FindConnectionPoint(REFIID riid, IConnectionPoint** out) {
  return FindPoint(this, points_, {DIID_HTMLWindowEvents2}, riid, out);
}

// ---- Event objects -------------------------------------------------------------------------------------
EventObj::EventObj(Document* doc, const DomEvent& ev) : doc_(doc), ev_(ev) { doc_->AddRef(); }
EventObj::~EventObj() {
  VariantClear(&return_value_);
  doc_->Release();
}
HRESULT EventObj::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return S_OK;
}
HRESULT EventObj::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}
HRESULT EventObj::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  static const DispName kNames[] = {{u"srcElement", 1},   {u"type", 2},     {u"keyCode", 3}, {u"returnValue", 4},
                                    {u"cancelBubble", 5}, {u"button", 6},   {u"altKey", 7},  {u"ctrlKey", 8},
                                    {u"shiftKey", 9},     {u"clientX", 10}, {u"clientY", 11}};
  return NamesToIds(kNames, names, count, ids);
}
HRESULT EventObj::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) {
  if (result) VariantInit(result);
  bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
  VARIANT a;
  switch (id) {
    case 1: {
      IHTMLElement* e = nullptr;
      get_srcElement(&e);
      return ResultDispatch(result, e);
    }
    case 2: {
      BSTR b = nullptr;
      get_type(&b);
      return ResultBstr(result, b);
    }
    case 3:
      if (put) {
        if (!ArgAs(params, 0, VT_I4, &a)) return DISP_E_TYPEMISMATCH;
        return put_keyCode(a.lVal);
      }
      return ResultLong(result, ev_.key_code);
    case 4:
      if (put) {
        if (!params || params->cArgs < 1) return DISP_E_BADPARAMCOUNT;
        return put_returnValue(params->rgvarg[params->cArgs - 1]);
      }
      return result ? get_returnValue(result) : S_OK;
    case 5:
      if (put) {
        if (!ArgAs(params, 0, VT_BOOL, &a)) return DISP_E_TYPEMISMATCH;
        return put_cancelBubble(a.boolVal);
      }
      return ResultBool(result, cancel_bubble_);
    case 6: return ResultLong(result, ev_.button);
    case 7: return ResultBool(result, ev_.alt);
    case 8: return ResultBool(result, ev_.ctrl);
    case 9: return ResultBool(result, ev_.shift);
    case 10: return ResultLong(result, ev_.x);
    case 11: return ResultLong(result, ev_.y);
    default: return DISP_E_MEMBERNOTFOUND;
  }
}
HRESULT EventObj::get_srcElement(IHTMLElement** element) {
  if (!element) return E_POINTER;
  *element = nullptr;
  if (!ev_.target || ev_.target->kind != Node::kElement) return S_OK;
  Element* e = doc_->ElementOf(ev_.target);
  e->AddRef();
  *element = static_cast<IHTMLElement*>(e);
  return S_OK;
}
HRESULT EventObj::get_type(BSTR* type) {
  if (!type) return E_POINTER;
  *type = Bstr(ev_.type);
  return S_OK;
}
HRESULT EventObj::get_keyCode(LONG* code) {
  if (!code) return E_POINTER;
  *code = ev_.key_code;
  return S_OK;
}
HRESULT EventObj::put_keyCode(LONG code) {
  ev_.key_code = code;
  return S_OK;
}
HRESULT EventObj::get_returnValue(VARIANT* value) {
  if (!value) return E_POINTER;
  VariantInit(value);
  return VariantCopy(value, &return_value_);
}
HRESULT EventObj::put_returnValue(VARIANT value) {
  VariantClear(&return_value_);
  VariantCopy(&return_value_, &value);
  if (value.vt == VT_BOOL && value.boolVal == VARIANT_FALSE) return_false_ = true;
  return S_OK;
}
HRESULT EventObj::get_cancelBubble(VARIANT_BOOL* cancel) {
  if (!cancel) return E_POINTER;
  *cancel = cancel_bubble_ ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}
HRESULT EventObj::put_cancelBubble(VARIANT_BOOL cancel) {
  cancel_bubble_ = cancel != VARIANT_FALSE;
  return S_OK;
}
HRESULT EventObj::get_button(LONG* button) {
  if (!button) return E_POINTER;
  *button = ev_.button;
  return S_OK;
}
HRESULT EventObj::get_altKey(VARIANT_BOOL* down) {
  if (!down) return E_POINTER;
  *down = ev_.alt ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}
HRESULT EventObj::get_ctrlKey(VARIANT_BOOL* down) {
  if (!down) return E_POINTER;
  *down = ev_.ctrl ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}
HRESULT EventObj::get_shiftKey(VARIANT_BOOL* down) {
  if (!down) return E_POINTER;
  *down = ev_.shift ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}
HRESULT EventObj::get_clientX(LONG* x) {
  if (!x) return E_POINTER;
  *x = ev_.x;
  return S_OK;
}
HRESULT EventObj::get_clientY(LONG* y) {
  if (!y) return E_POINTER;
  *y = ev_.y;
  return S_OK;
}
HRESULT EventObj::get_fromElement(IHTMLElement** element) {
  if (!element) return E_POINTER;
  *element = nullptr;
  return S_OK;
}
HRESULT EventObj::get_toElement(IHTMLElement** element) {
  if (!element) return E_POINTER;
  *element = nullptr;
  return S_OK;
}

}  // namespace kv::browser
