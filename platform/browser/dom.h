// The document object model inside libplatform.so: a node tree built from gumbo's parse,
// one COM object per node (created on first use, sharing its document's reference count,
// so a node's object keeps one identity for the document's life), collections, the
// window, event objects, and dispatch of DOM events to connection-point sinks.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/browser/browser.h"
#include "platform/com/connpoint.h"

namespace kv::browser {

class Document;
class Element;
class Layout;
class PageControl;
class Script;
class TextNode;

// Nesting below this depth is flattened: the text of a deeper subtree becomes one text
// node of the element at the limit, so every walk of the tree is bounded.
constexpr int kMaxTreeDepth = 256;

struct Node {
  enum Kind : uint8_t { kDocument, kElement, kText, kComment };
  Kind kind = kElement;
  std::string tag;  // lower case
  std::vector<std::pair<std::string, std::string>> attrs;
  std::string text;  // text and comment nodes
  Node* parent = nullptr;
  std::vector<std::unique_ptr<Node>> children;
  // Form control state: the current value (input, textarea), checkedness, the selected
  // option of a select.
  std::string value;
  bool checked = false;
  int selected = -1;
  std::unique_ptr<Element> object;
  std::unique_ptr<TextNode> text_object;  // text and comment nodes' COM object
  Node* frame_root = nullptr;             // a loaded frame's document tree (frame and iframe elements)
  PageControl* control = nullptr;         // an <object> element's control while it lives (object.h)
  int line = 0;                           // the source line of an element's start tag (1-based; 0 unknown)

  Node();
  ~Node();
  bool IsElement(std::string_view t) const { return kind == kElement && tag == t; }
  const std::string* Attr(std::string_view name) const;  // name in lower case
  std::string AttrOr(std::string_view name, std::string_view fallback = {}) const;
  void SetAttr(std::string_view name, std::string_view value);
  bool RemoveAttr(std::string_view name);
  Node* AppendChild(std::unique_ptr<Node> child);
  std::string InputType() const;  // lower case, "text" by default
  bool Hidden() const;            // display:none from its style attribute
};

// Parses `data` into a document tree: charset from `content_type`, a byte-order mark, a
// <meta> in the first 1024 bytes, else the ANSI code page; converted to UTF-8 with iconv;
// parsed by gumbo. `charset` receives the charset used (an iconv name).
std::unique_ptr<Node> ParseHtml(const uint8_t* data, size_t size, std::string_view content_type, std::string* charset);
// UTF-8 markup parsed in gumbo's fragment mode as the content of a `context_tag`
// element at `depth` (Depth of it) (innerHTML, document.write during the walk).
std::vector<std::unique_ptr<Node>> ParseFragment(std::string_view utf8, std::string_view context_tag, int depth);
// The depth of `node` in its tree (the document's children: 1).
int Depth(const Node* node);
// A script's bytes as UTF-8: the charset of `content_type`, else a UTF-8 byte-order
// mark, else the element's charset attribute `label`, else the document's `charset`.
std::string DecodeText(const std::string& bytes, std::string_view content_type, const std::string& label,
                       const std::string& charset);
// UTF-8 text in `charset` (an iconv name); characters it cannot hold become "&#N;", as
// form submission sends them.
std::string FromUtf8(std::string_view utf8, const std::string& charset);
// Sets up the control state (values, checked, selection) of every form control below.
void InitControlState(Node* root);
// Serialisation and text of a subtree.
std::string OuterHtml(const Node* node);
std::string InnerHtml(const Node* node);
std::string InnerText(const Node* node);

// What the document asks of the browser that shows it.
class DocumentHost {
 public:
  virtual ~DocumentHost() = default;
  // A navigation the document starts (link, form submission, window.navigate, location);
  // `flags` as Navigate's (2: no travel entry).
  virtual void NavigateFromDocument(Document* doc, const std::string& url, const std::string& target,
                                    std::vector<uint8_t> post_data, const std::string& headers, LONG flags = 0) = 0;
  virtual void DocumentReload(Document* doc) = 0;  // location.reload()
  virtual void DocumentTitleChanged(Document* doc) = 0;  // document.title put
  virtual void DocumentStatusText(Document* doc, const std::string& text) = 0;  // window.status put
  // The frames shown inside `doc`, in document order: each one's name and window (a new
  // reference; null while the frame has no document yet).
  virtual std::vector<std::pair<std::string, IDispatch*>> DocumentFrames(Document* doc) = 0;
  virtual std::string DocumentUserAgent() = 0;  // the one requests carry
  // A script error: the host's Exec(CGID_DocHostCommandHandler, 40) with `in` the
  // document; its answer in `out`.
  virtual HRESULT DocumentScriptError(VARIANT* in, VARIANT* out) = 0;
  virtual bool DocumentSilent() = 0;     // no own dialogs for script errors
  virtual HWND DocumentTopWindow() = 0;  // the owner of the own dialogs
  // The window of the document a frame's document is shown in (a new reference), or null
  // for the top document.
  virtual IDispatch* DocumentParentWindow(Document* doc) = 0;
  virtual void DocumentCloseWindow(Document* doc) = 0;  // window.close()
  virtual HRESULT DocumentExternal(IDispatch** external) = 0;
  virtual HRESULT DocumentShowMessage(const std::u16string& text, DWORD type, LRESULT* result) = 0;
  virtual void DocumentChanged(Document* doc) = 0;  // repaint
  // The layout box of `node` in screen coordinates; false when it has none or no window.
  virtual bool DocumentBoxOnScreen(Document* doc, Node* node, RECT* rc) = 0;
  // window.moveTo/moveBy (resize false) and resizeTo/resizeBy (true); `by`: relative.
  virtual void DocumentMoveWindow(bool resize, bool by, LONG x, LONG y) = 0;
};

// One DOM event being dispatched.
struct DomEvent {
  std::string type;  // "click", "keypress" ...
  DISPID dispid = 0;
  Node* target = nullptr;
  LONG key_code = 0;
  LONG button = 0;
  bool alt = false, ctrl = false, shift = false;
  LONG x = 0, y = 0;
};

class Document final : public IHTMLDocument2,
                       public IHTMLDocument3,
                       public IConnectionPointContainer,
                       public IPersistStreamInit,
                       public IOleCommandTarget,
                       public IViewObject {
 public:
  Document(DocumentHost* host, std::string url);
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  // Replaces the content with the parse of `data`.
  void LoadBytes(const uint8_t* data, size_t size, std::string_view content_type);
  Node* Root() const { return root_.get(); }
  Node* Body() const;
  Node* Html() const;
  const std::string& Url() const { return url_; }
  void SetUrl(std::string url) { url_ = std::move(url); }
  const std::string& Charset() const { return charset_; }
  std::string Title() const;
  void SetReadyState(int state);  // 0..4
  int ReadyState() const { return ready_state_; }
  // Torn down: the browser no longer shows it; it keeps its sinks but fires nothing and
  // asks nothing of the host.
  void TearDown();
  bool TornDown() const { return host_ == nullptr; }
  DocumentHost* Host() const { return host_; }
  int Zoom() const { return zoom_; }

  // COM object of a node (element, or the document for the root), with a reference.
  IDispatch* ObjectOf(Node* node);
  Element* ElementOf(Node* node);  // no reference; null for non-elements
  Node* Focus() const { return focus_; }
  void SetFocus(Node* node);
  IHTMLEventObj* CurrentEvent() const { return current_event_; }
  // Sets window.event (no reference taken); gives the previous one.
  IHTMLEventObj* SwapCurrentEvent(IHTMLEventObj* ev) {
    IHTMLEventObj* old = current_event_;
    current_event_ = ev;
    return old;
  }

  // The script engine of the document's window, made at commit unless scripts are off.
  void StartScript();
  Script* GetScript() const { return script_.get(); }
  // The control an <object> element shows, once created (no reference; null without).
  // Script gives every name the element does not answer to it.
  IDispatch* ControlObject(Node* node) const;
  // Takes `node` out of its parent (or out of the document's detached nodes).
  std::unique_ptr<Node> Unlink(Node* node);
  // Nodes taken out of the tree stay with the document while a wrapper or the walk may
  // still point at them.
  void Bury(std::vector<std::unique_ptr<Node>> nodes);

  // Dispatches `ev` from its target up to the document; false when a handler cancelled
  // the default action.
  // A handler may change ev.key_code (keypress).
  bool Dispatch(DomEvent& ev);
  // The default actions that DOM input triggers.
  void ActivateElement(Node* node);  // after an uncancelled click
  void SubmitForm(Node* form, Node* submitter);
  void TypeCharacter(Node* node, char16_t ch);  // into a text field or text area
  void MoveFocus(bool backwards);

  // Takes over one reference of a control of the document's <object> elements; the
  // controls are torn down with the document.
  void AddControl(PageControl* control) { controls_.push_back(control); }

  // Layout for drawing and hit testing at `width` (rebuilt when the content, width or
  // zoom changes).
  Layout& LayoutFor(HDC dc, int width);
  void Invalidate();

  // IUnknown
  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;
  // IDispatch
  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) override;
  // IHTMLDocument2
  HRESULT get_Script(IDispatch** script) override;
  HRESULT get_all(IHTMLElementCollection** all) override;
  HRESULT get_body(IHTMLElement** body) override;
  HRESULT get_forms(IHTMLElementCollection** forms) override;
  HRESULT get_title(BSTR* title) override;
  HRESULT put_title(BSTR title) override;
  HRESULT get_readyState(BSTR* state) override;
  HRESULT get_parentWindow(IHTMLWindow2** window) override;
  HRESULT get_URL(BSTR* url) override;
  HRESULT get_location(IDispatch** location) override;
  HRESULT get_cookie(BSTR* cookie) override;
  HRESULT put_cookie(BSTR cookie) override;
  HRESULT get_activeElement(IHTMLElement** element) override;
  HRESULT write(SAFEARRAY* texts) override;
  HRESULT writeln(SAFEARRAY* texts) override;
  HRESULT open(BSTR url, VARIANT name, VARIANT features, VARIANT replace, IDispatch** out) override;
  HRESULT close() override;
  HRESULT createElement(BSTR tag, IHTMLElement** element) override;
  // IHTMLDocument3
  HRESULT get_documentElement(IHTMLElement** root) override;
  HRESULT getElementById(BSTR id, IHTMLElement** element) override;
  HRESULT getElementsByName(BSTR name, IHTMLElementCollection** out) override;
  HRESULT getElementsByTagName(BSTR tag, IHTMLElementCollection** out) override;
  HRESULT attachEvent(BSTR event, IDispatch* handler, VARIANT_BOOL* result) override;
  HRESULT detachEvent(BSTR event, IDispatch* handler) override;
  // IConnectionPointContainer
  HRESULT EnumConnectionPoints(IEnumConnectionPoints** out) override;
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** out) override;
  // IPersistStreamInit
  HRESULT GetClassID(CLSID* clsid) override;
  HRESULT IsDirty() override;
  HRESULT Load(IStream* stream) override;
  HRESULT Save(IStream* stream, BOOL clear_dirty) override;
  HRESULT GetSizeMax(ULARGE_INTEGER* size) override;
  HRESULT InitNew() override;
  // IOleCommandTarget: zoom
  HRESULT QueryStatus(const GUID* group, ULONG count, OLECMD* cmds, OLECMDTEXT* text) override;
  HRESULT Exec(const GUID* group, DWORD id, DWORD option, VARIANT* in, VARIANT* out) override;
  // IViewObject
  HRESULT Draw(DWORD aspect, LONG index, void* aspect_info, DVTARGETDEVICE* device, HDC target_dc, HDC draw_dc,
               LPCRECTL bounds, LPCRECTL window_bounds, BOOL (*cont)(ULONG_PTR), ULONG_PTR cont_data) override;
  HRESULT GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE**) override;
  HRESULT Freeze(DWORD, LONG, void*, DWORD*) override;
  HRESULT Unfreeze(DWORD) override;
  HRESULT SetAdvise(DWORD, DWORD, IAdviseSink*) override;
  HRESULT GetAdvise(DWORD*, DWORD*, IAdviseSink**) override;

  // Called by the persistence path after Load: the browser posts DocumentComplete.
  std::function<void(Document*)> OnStreamLoaded;

 private:
  friend class Window;
  ~Document();
  HRESULT WriteText(const std::string& text);
  void FireSinks(std::vector<kv::ConnectionPoint*>& points, DISPID dispid, IHTMLEventObj* ev, bool* cancel);
  void TearDownControls();

  std::atomic<ULONG> refs_{1};
  DocumentHost* host_;
  std::string url_;
  std::string charset_;
  std::unique_ptr<Node> root_;
  std::vector<std::unique_ptr<Node>> detached_;  // createElement's nodes
  int ready_state_ = 0;
  Node* focus_ = nullptr;
  IHTMLEventObj* current_event_ = nullptr;
  std::vector<kv::ConnectionPoint*> points_;
  std::vector<std::pair<std::string, IDispatch*>> attached_;
  std::vector<PageControl*> controls_;
  std::unique_ptr<class Window> window_;
  std::unique_ptr<Script> script_;
  std::unique_ptr<Layout> layout_;
  bool layout_valid_ = false;
  int zoom_ = 2;
  std::string written_;  // document.write text between open and close
  bool writing_ = false;
  std::string focus_value_;  // the focused field's value when it got focus (change on blur)
};

}  // namespace kv::browser
