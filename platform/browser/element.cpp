// The COM objects of elements (with their form control sides), their styles and
// collections, and the form controls' initial state.
#include "platform/browser/element.h"

#include <cctype>

#include <algorithm>

#include "platform/browser/internal.h"

namespace kv::browser {

// ---- Helpers -----------------------------------------------------------------------------------------
namespace {

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

}  // namespace kv::browser
