// The browser control's side toward its host and its documents: the ambient properties,
// host information and behaviors it asks for, new windows, and its answers to its
// documents (DocumentHost).
#include "platform/base/codepage.h"
#include "platform/base/trace.h"
#include "platform/browser/control.h"
#include "platform/browser/internal.h"
#include "platform/browser/layout.h"
#include "platform/browser/recorders.h"
#include "platform/inet/internal.h"
#include "platform/user/user.h"

namespace kv::browser {

// ---- Host answers -----------------------------------------------------------------------------------------
void WebBrowser::ReadAmbient() {
  if (!ambient_) return;
  auto get = [&](DISPID id, VARIANT* out) {
    VariantInit(out);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    return SUCCEEDED(Noted("Ambient " + std::to_string(id),
                           ambient_->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, out, nullptr, nullptr)));
  };
  VARIANT v;
  if (get(DISPID_AMBIENT_DLCONTROL, &v)) {
    VARIANT n;
    VariantInit(&n);
    if (SUCCEEDED(VariantChangeType(&n, &v, 0, VT_I4))) download_flags_ = static_cast<DWORD>(n.lVal);
  }
  VariantClear(&v);
  user_agent_.clear();
  if (get(DISPID_AMBIENT_USERAGENT, &v) && v.vt == VT_BSTR) {
    std::string ua = Utf8(v.bstrVal);
    // One trailing CR LF is dropped; any other line break would inject headers and is refused.
    if (ua.size() >= 2 && ua.compare(ua.size() - 2, 2, "\r\n") == 0) ua.resize(ua.size() - 2);
    if (ua.find_first_of("\r\n") == std::string::npos)
      user_agent_ = ua;
    else
      KvTrace("browser", "ambient user agent with a line break refused");
  }
  VariantClear(&v);
  if (get(DISPID_AMBIENT_USERMODE, &v) && v.vt == VT_BOOL) user_mode_ = v.boolVal != VARIANT_FALSE;
  VariantClear(&v);
}

void WebBrowser::QueryHostInfo() {
  if (!ui_handler_) return;
  DOCHOSTUIINFO info{};
  info.cbSize = sizeof info;
  if (SUCCEEDED(Noted("GetHostInfo", ui_handler_->GetHostInfo(&info)))) host_flags_ = info.dwFlags;
  CoTaskMemFree(info.pchHostCss);
  CoTaskMemFree(info.pchHostNS);
}

void WebBrowser::InitHostBehaviors() {
  if (!services_) return;
  IHostBehaviorInit* init = nullptr;
  if (SUCCEEDED(Noted("QueryService IHostBehaviorInit",
                      services_->QueryService(IID_IHostBehaviorInit, IID_IHostBehaviorInit,
                                              reinterpret_cast<void**>(&init)))) &&
      init) {
    Noted("PopulateNamespaceTable", init->PopulateNamespaceTable());
    init->Release();
  }
}

// ---- DocumentHost -------------------------------------------------------------------------------------------------
void WebBrowser::OpenNewWindow(const std::string& url, const std::string& name) {
  // The new-window manager may block it; else NewWindow2 and NewWindow3, where the host
  // may hand over a browser to show the page in. Without one nothing opens.
  AddRef();
  std::u16string wurl = Utf8ToWide(url), wname = Utf8ToWide(name), context = Utf8ToWide(location_url_);
  INewWindowManager* manager = nullptr;
  if (services_ &&
      SUCCEEDED(
          Noted("QueryService INewWindowManager", services_->QueryService(IID_INewWindowManager, IID_INewWindowManager,
                                                                            reinterpret_cast<void**>(&manager)))) &&
      manager) {
    HRESULT hr = Noted("EvaluateNewWindow",
                       manager->EvaluateNewWindow(wurl.c_str(), wname.c_str(), context.c_str(), u"", FALSE, 1, 0));
    manager->Release();
    if (hr == S_FALSE) {
      KvTrace("browser", "new window for %s blocked by the host", url.c_str());
      Release();
      return;
    }
  }
  IDispatch* target = nullptr;
  VARIANT_BOOL cancel = VARIANT_FALSE;
  VARIANT pp;
  VariantInit(&pp);
  pp.vt = VT_BYREF | VT_DISPATCH;
  pp.ppdispVal = &target;
  Fire(DISPID_NEWWINDOW2, {pp, VRefBool(&cancel)});
  if (!cancel && !target && !closed_) {
    Fire(DISPID_NEWWINDOW3, {pp, VRefBool(&cancel), VLong(1), VBstr(location_url_), VBstr(url)});
  }
  IWebBrowser2* other = target && !cancel ? Ask<IWebBrowser2>(target, IID_IWebBrowser2) : nullptr;
  if (target) target->Release();
  if (other) {
    BSTR b = Bstr(url);
    other->Navigate(b, nullptr, nullptr, nullptr, nullptr);
    SysFreeString(b);
    other->Release();
  } else {
    KvTrace("browser", "new window for %s: nothing opens", url.c_str());
  }
  Release();
}

HRESULT WebBrowser::DocumentExternal(IDispatch** external) {
  *external = nullptr;
  if (!ui_handler_) return S_FALSE;
  return Noted("GetExternal", ui_handler_->GetExternal(external));
}
HRESULT WebBrowser::DocumentShowMessage(const std::u16string& text, DWORD type, LRESULT* result) {
  std::u16string t = text, caption = u"Web page message";
  t.push_back(0);
  caption.push_back(0);
  AddRef();
  HRESULT hr = show_ui_ ? Noted("ShowMessage", show_ui_->ShowMessage(document_window_ ? document_window_ : embedding_,
                                                                    t.data(), caption.data(), type, nullptr, 0, result))
                        : S_FALSE;
  // Unanswered: the platform's box, owned by the top window.
  if (hr != S_OK && !closed_) *result = MessageBoxW(DocumentTopWindow(), t.data(), caption.data(), type);
  Release();
  return S_OK;
}
void WebBrowser::DocumentReload(Document* doc) {
  if (closed_) return;
  if (doc == document_)
    Refresh();
  else if (FrameSlot* slot = FrameOf(doc))
    NavigateFrame(slot, slot->url);
}
void WebBrowser::DocumentTitleChanged(Document* doc) {
  // The top document's title is the browser's; a frame's changes nothing.
  if (doc != document_ || closed_) return;
  std::string title = doc->Title();
  location_name_ = title.empty() ? location_url_ : title;
  FireTitle(location_name_);
}
void WebBrowser::DocumentStatusText(Document* doc, const std::string& text) {
  if (!closed_ && (doc == document_ || FrameOf(doc))) FireStatusText(text);
}
std::vector<std::pair<std::string, IDispatch*>> WebBrowser::DocumentFrames(Document* doc) {
  std::vector<std::pair<std::string, IDispatch*>> out;
  FrameSlot* slot = doc == document_ ? nullptr : FrameOf(doc);
  if (closed_ || (doc != document_ && !slot)) return out;
  for (const auto& f : frames_) {
    if (f->parent != slot) continue;
    IHTMLWindow2* w = nullptr;
    if (f->document) f->document->get_parentWindow(&w);
    out.emplace_back(f->name, w);
  }
  return out;
}
std::string WebBrowser::DocumentUserAgent() {
  return user_agent_.empty() ? kv::inet::DefaultUserAgent() : user_agent_;
}
HRESULT WebBrowser::DocumentScriptError(VARIANT* in, VARIANT* out) {
  if (!host_commands_) return OLECMDERR_E_NOTSUPPORTED;
  AddRef();
  HRESULT hr = host_commands_->Exec(&CGID_DocHostCommandHandler, 40, 0, in, out);
  Release();
  return hr;
}
bool WebBrowser::DocumentSilent() {
  auto it = properties_.find(551);  // Silent
  return it != properties_.end() && it->second.vt == VT_BOOL && it->second.boolVal != VARIANT_FALSE;
}
IDispatch* WebBrowser::DocumentParentWindow(Document* doc) {
  if (!document_ || doc == document_) return nullptr;
  FrameSlot* slot = FrameOf(doc);
  if (!slot) return nullptr;
  // A frame inside a frame has that frame's window as its parent.
  Document* parent = slot->parent && slot->parent->document ? slot->parent->document : document_;
  IHTMLWindow2* w = nullptr;
  parent->get_parentWindow(&w);
  return w;
}
void WebBrowser::DocumentCloseWindow(Document* doc) {
  // The host decides: WindowClosing(IsChildWindow false, Cancel); nothing closes here.
  if (doc != document_ || closed_) return;
  VARIANT_BOOL cancel = VARIANT_FALSE;
  Fire(DISPID_WINDOWCLOSING, {VBool(false), VRefBool(&cancel)});
}
HWND WebBrowser::DocumentTopWindow() {
  HWND h = embedding_;
  for (HWND p = h ? GetParent(h) : nullptr; p; p = GetParent(p)) h = p;
  return h;
}
void WebBrowser::DocumentChanged(Document* doc) {
  if (doc == document_ && document_window_) InvalidateRect(document_window_, nullptr, TRUE);
}

void WebBrowser::DocumentMoveWindow(bool resize, bool by, LONG x, LONG y) {
  AddRef();
  IHTMLOMWindowServices* window_services = nullptr;
  if (services_ && SUCCEEDED(Noted("QueryService IHTMLOMWindowServices",
                                   services_->QueryService(IID_IHTMLOMWindowServices, IID_IHTMLOMWindowServices,
                                                           reinterpret_cast<void**>(&window_services)))) &&
      window_services) {
    HRESULT hr = resize ? (by ? window_services->resizeBy(x, y) : window_services->resizeTo(x, y))
                        : (by ? window_services->moveBy(x, y) : window_services->moveTo(x, y));
    Noted(std::string(resize ? "resize" : "move") + (by ? "By " : "To ") + std::to_string(x) + " " + std::to_string(y),
          hr);
    window_services->Release();
  } else {
    // Without the host's services, the events tell where the top-level window should go.
    RECT rc{};
    HWND root = embedding_ ? GetAncestor(embedding_, GA_ROOT) : nullptr;
    if (root) GetWindowRect(root, &rc);
    if (resize) {
      Fire(DISPID_WINDOWSETWIDTH, {VLong(by ? rc.right - rc.left + x : x)});
      if (!closed_) Fire(DISPID_WINDOWSETHEIGHT, {VLong(by ? rc.bottom - rc.top + y : y)});
    } else {
      Fire(DISPID_WINDOWSETLEFT, {VLong(by ? rc.left + x : x)});
      if (!closed_) Fire(DISPID_WINDOWSETTOP, {VLong(by ? rc.top + y : y)});
    }
  }
  Release();
}

bool WebBrowser::DocumentBoxOnScreen(Document* doc, Node* node, RECT* rc) {
  if (doc != document_ || !document_window_) return false;
  RECT client{};
  GetClientRect(document_window_, &client);
  HDC dc = GetDC(document_window_);
  bool found = doc->LayoutFor(dc, client.right - client.left).BoxOf(node, rc);
  ReleaseDC(document_window_, dc);
  if (!found) return false;
  POINT a{rc->left, rc->top}, b{rc->right, rc->bottom};
  ClientToScreen(document_window_, &a);
  ClientToScreen(document_window_, &b);
  *rc = {a.x, a.y, b.x, b.y};
  return true;
}

}  // namespace kv::browser
