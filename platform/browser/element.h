// The COM objects of a document's nodes: elements (with the form control interfaces of
// their tag), their style, collections, the window and event objects.
#pragma once

#include "platform/browser/dom.h"
#include "platform/com/unknown.h"

namespace kv::browser {

class Element;

// Answered by our own elements only, with the Element object itself (so a foreign
// IHTMLElement is never taken for one).
inline constexpr IID IID_KvBrowserElement = {
    0x6B1E2D40, 0x4C7A, 0x4E1F, {0x9A, 0x31, 0x27, 0x5C, 0x0D, 0x8E, 0x41, 0xB2}};

// A style tear-off: display only.
class Style final : public IHTMLStyle {
 public:
  explicit Style(Element* owner) : owner_(owner) {}
  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) override;
  HRESULT get_display(BSTR* value) override;
  HRESULT put_display(BSTR value) override;

 private:
  Element* owner_;
};

class Element final : public IHTMLElement,
                      public IHTMLFormElement,
                      public IHTMLInputElement,
                      public IHTMLSelectElement,
                      public IHTMLTextAreaElement,
                      public IConnectionPointContainer {
 public:
  Element(Document* doc, Node* node) : doc_(doc), node_(node), style_(this) {}
  ~Element();
  Element(const Element&) = delete;
  Element& operator=(const Element&) = delete;
  Node* GetNode() const { return node_; }
  Document* Doc() const { return doc_; }
  std::vector<kv::ConnectionPoint*>& Points() { return points_; }
  // The event interfaces this element's tag offers (its connection points).
  std::vector<IID> EventInterfaces() const;
  // The control of an <object> element (object.h), null when it has none.
  PageControl* Control() const { return node_->control; }

  // IUnknown: the document's count.
  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;
  // IDispatch
  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) override;
  // IHTMLElement
  HRESULT get_tagName(BSTR* tag) override;
  HRESULT get_id(BSTR* id) override;
  HRESULT put_id(BSTR id) override;
  HRESULT get_className(BSTR* name) override;
  HRESULT put_className(BSTR name) override;
  HRESULT getAttribute(BSTR name, LONG flags, VARIANT* value) override;
  HRESULT setAttribute(BSTR name, VARIANT value, LONG flags) override;
  HRESULT removeAttribute(BSTR name, LONG flags, VARIANT_BOOL* removed) override;
  HRESULT get_parentElement(IHTMLElement** parent) override;
  HRESULT get_children(IDispatch** children) override;
  HRESULT get_all(IDispatch** all) override;
  HRESULT get_innerHTML(BSTR* html) override;
  HRESULT put_innerHTML(BSTR html) override;
  HRESULT get_innerText(BSTR* text) override;
  HRESULT put_innerText(BSTR text) override;
  HRESULT get_outerHTML(BSTR* html) override;
  HRESULT get_style(IHTMLStyle** style) override;
  HRESULT click() override;
  // IHTMLFormElement, IHTMLInputElement, IHTMLSelectElement, IHTMLTextAreaElement
  HRESULT get_name(BSTR* name) override;
  HRESULT get_action(BSTR* action) override;
  HRESULT get_method(BSTR* method) override;
  HRESULT get_target(BSTR* target) override;
  HRESULT get_length(LONG* length) override;
  HRESULT get_elements(IDispatch** elements) override;
  HRESULT item(VARIANT name, VARIANT index, IDispatch** out) override;
  HRESULT submit() override;
  HRESULT reset() override;
  HRESULT get_type(BSTR* type) override;
  HRESULT get_value(BSTR* value) override;
  HRESULT put_value(BSTR value) override;
  HRESULT get_checked(VARIANT_BOOL* checked) override;
  HRESULT put_checked(VARIANT_BOOL checked) override;
  HRESULT get_disabled(VARIANT_BOOL* disabled) override;
  HRESULT put_disabled(VARIANT_BOOL disabled) override;
  HRESULT get_form(IHTMLFormElement** form) override;
  HRESULT get_selectedIndex(LONG* index) override;
  HRESULT put_selectedIndex(LONG index) override;
  HRESULT get_options(IDispatch** options) override;
  // IConnectionPointContainer
  HRESULT EnumConnectionPoints(IEnumConnectionPoints** out) override;
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** out) override;

 private:
  Document* doc_;
  Node* node_;
  Style style_;
  std::vector<kv::ConnectionPoint*> points_;
};

// A live-at-creation list of elements (a snapshot: collections are made on each read).
class Collection final : public kv::RefCounted<IHTMLElementCollection> {
 public:
  Collection(Document* doc, std::vector<Node*> nodes);
  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) override;
  HRESULT get_length(LONG* length) override;
  HRESULT item(VARIANT name, VARIANT index, IDispatch** out) override;
  HRESULT tags(VARIANT tag, IDispatch** out) override;

 private:
  ~Collection() override;
  bool Accepts(REFIID riid) const override {
    return IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IHTMLElementCollection);
  }
  Document* doc_;
  std::vector<Node*> nodes_;
};

// item(name, index) over `nodes`: the shared rule of collections and forms.
HRESULT CollectionItem(Document* doc, const std::vector<Node*>& nodes, const VARIANT& name, const VARIANT& index,
                       IDispatch** out);

class Window final : public IHTMLWindow2, public IConnectionPointContainer {
 public:
  explicit Window(Document* doc) : doc_(doc) {}
  ~Window();
  std::vector<kv::ConnectionPoint*>& Points() { return points_; }
  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) override;
  HRESULT get_document(IHTMLDocument2** document) override;
  HRESULT get_event(IHTMLEventObj** event) override;
  HRESULT get_external(IDispatch** external) override;
  HRESULT alert(BSTR message) override;
  HRESULT confirm(BSTR message, VARIANT_BOOL* result) override;
  HRESULT navigate(BSTR url) override;
  HRESULT get_parent(IHTMLWindow2** parent) override;
  HRESULT get_top(IHTMLWindow2** top) override;
  HRESULT EnumConnectionPoints(IEnumConnectionPoints** out) override;
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** out) override;

 private:
  Document* doc_;
  std::vector<kv::ConnectionPoint*> points_;
  IDispatch* external_ = nullptr;
  bool external_asked_ = false;
};

class EventObj final : public kv::RefCounted<IHTMLEventObj> {
 public:
  EventObj(Document* doc, const DomEvent& ev);
  bool ReturnFalse() const { return return_false_; }
  bool CancelBubble() const { return cancel_bubble_; }
  LONG KeyCode() const { return ev_.key_code; }
  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) override;
  HRESULT get_srcElement(IHTMLElement** element) override;
  HRESULT get_type(BSTR* type) override;
  HRESULT get_keyCode(LONG* code) override;
  HRESULT put_keyCode(LONG code) override;
  HRESULT get_returnValue(VARIANT* value) override;
  HRESULT put_returnValue(VARIANT value) override;
  HRESULT get_cancelBubble(VARIANT_BOOL* cancel) override;
  HRESULT put_cancelBubble(VARIANT_BOOL cancel) override;
  HRESULT get_button(LONG* button) override;
  HRESULT get_altKey(VARIANT_BOOL* down) override;
  HRESULT get_ctrlKey(VARIANT_BOOL* down) override;
  HRESULT get_shiftKey(VARIANT_BOOL* down) override;
  HRESULT get_clientX(LONG* x) override;
  HRESULT get_clientY(LONG* y) override;
  HRESULT get_fromElement(IHTMLElement** element) override;
  HRESULT get_toElement(IHTMLElement** element) override;

 private:
  ~EventObj() override;
  bool Accepts(REFIID riid) const override {
    return IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IHTMLEventObj);
  }
  Document* doc_;
  DomEvent ev_;
  bool return_false_ = false;
  bool cancel_bubble_ = false;
  VARIANT return_value_{};
};

// ---- Helpers shared by the objects' IDispatch sides --------------------------------------------------
struct DispName {
  const char16_t* name;
  DISPID id;
};
HRESULT NamesToIds(const DispName* table, size_t n, LPOLESTR* names, UINT count, DISPID* ids);
template <size_t N>
HRESULT NamesToIds(const DispName (&table)[N], LPOLESTR* names, UINT count, DISPID* ids) {
  return NamesToIds(table, N, names, count, ids);
}
BSTR Bstr(std::string_view utf8);
std::string Utf8(BSTR b);
// Argument i (0 = first in call order) as a copy converted to `vt`; false when absent.
bool ArgAs(DISPPARAMS* params, UINT i, VARTYPE vt, VARIANT* out);
// Sets *result from a typed getter's BSTR / LONG / bool / interface.
HRESULT ResultBstr(VARIANT* result, BSTR b);
HRESULT ResultLong(VARIANT* result, LONG v);
HRESULT ResultBool(VARIANT* result, bool v);
HRESULT ResultDispatch(VARIANT* result, IDispatch* d);

// The connection point of `iid` among `points`, created on first use when `iid` is in
// `offered`.
HRESULT FindPoint(IConnectionPointContainer* self, std::vector<kv::ConnectionPoint*>& points,
                  const std::vector<IID>& offered, REFIID riid, IConnectionPoint** out);
HRESULT EnumPoints(IConnectionPointContainer* self, std::vector<kv::ConnectionPoint*>& points,
                   const std::vector<IID>& offered, IEnumConnectionPoints** out);
void DetachPoints(std::vector<kv::ConnectionPoint*>& points);

}  // namespace kv::browser
