// Nodes of the document tree: their attributes, serialisation and text, the DOM core
// members every node object answers (NodeInvoke), and the objects of text and comment
// nodes.
#include <cctype>

#include <algorithm>

#include "platform/browser/element.h"
#include "platform/browser/internal.h"
#include "platform/browser/object.h"

namespace kv::browser {

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

}  // namespace kv::browser
