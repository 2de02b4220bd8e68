// Test helpers for the browser control: a host site with a std::function per host call
// (unset ones give the browser control core's default answers) that records every call,
// an event sink that records the events with the ReadyState seen inside each, and a
// fixture that creates, hosts and in-place activates a browser in a top-level window.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/browser/browser.h"
#include "platform/user/testing.h"
#include "platform/user/user.h"

namespace kvtest {

class TestSite final : public IOleClientSite,
                       public IOleInPlaceSite,
                       public IDocHostUIHandler2,
                       public IDocHostShowUI,
                       public IOleCommandTarget,
                       public IServiceProvider,
                       public IDispatch {
 public:
  explicit TestSite(HWND window) : window_(window) {}

  // Recorded host calls, in order ("GetHostInfo", "Exec 37", "TranslateAccelerator 256 78" ...).
  std::vector<std::string> calls;

  // Ambient properties: the answer for a DISPID (VT_EMPTY: DISP_E_MEMBERNOTFOUND).
  std::function<VARIANT(DISPID)> OnAmbient;
  std::function<HRESULT(DOCHOSTUIINFO*)> OnGetHostInfo;
  std::function<HRESULT(MSG*, const GUID*, DWORD)> OnTranslateAccelerator;
  std::function<HRESULT(DWORD kind, POINT*, IUnknown*, IDispatch*)> OnShowContextMenu;
  std::function<HRESULT(const std::u16string&, LPWSTR*)> OnTranslateUrl;
  std::function<HRESULT(IDispatch**)> OnGetExternal;
  std::function<HRESULT(const std::u16string& text, DWORD type, LRESULT*)> OnShowMessage;
  std::function<HRESULT(const GUID*, DWORD id, VARIANT* in, VARIANT* out)> OnExec;
  std::function<HRESULT(REFGUID, REFIID, void**)> OnQueryService;

  // IUnknown: one identity; the fixture owns the object.
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite))
      *object = static_cast<IOleClientSite*>(this);
    else if (IsEqualIID(riid, IID_IOleInPlaceSite) || IsEqualIID(riid, IID_IOleWindow))
      *object = static_cast<IOleInPlaceSite*>(this);
    else if (IsEqualIID(riid, IID_IDocHostUIHandler) || IsEqualIID(riid, IID_IDocHostUIHandler2))
      *object = static_cast<IDocHostUIHandler2*>(this);
    else if (IsEqualIID(riid, IID_IDocHostShowUI))
      *object = static_cast<IDocHostShowUI*>(this);
    else if (IsEqualIID(riid, IID_IOleCommandTarget))
      *object = static_cast<IOleCommandTarget*>(this);
    else if (IsEqualIID(riid, IID_IServiceProvider))
      *object = static_cast<IServiceProvider*>(this);
    else if (IsEqualIID(riid, IID_IDispatch))
      *object = static_cast<IDispatch*>(this);
    if (!*object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override { return --refs_; }
  ULONG Refs() const { return refs_; }

  // IOleClientSite
  HRESULT SaveObject() override { return E_NOTIMPL; }
  HRESULT GetMoniker(DWORD, DWORD, IMoniker** m) override {
    if (m) *m = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetContainer(IOleContainer** c) override {
    if (c) *c = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT ShowObject() override { return S_OK; }
  HRESULT OnShowWindow(BOOL) override { return S_OK; }
  HRESULT RequestNewObjectLayout() override { return E_NOTIMPL; }
  // IOleWindow, IOleInPlaceSite
  HRESULT GetWindow(HWND* hwnd) override {
    *hwnd = window_;
    return S_OK;
  }
  HRESULT ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT CanInPlaceActivate() override { return S_OK; }
  HRESULT OnInPlaceActivate() override { return Record("OnInPlaceActivate", S_OK); }
  HRESULT OnUIActivate() override { return Record("OnUIActivate", S_OK); }
  HRESULT GetWindowContext(IOleInPlaceFrame** f, IOleInPlaceUIWindow** d, LPRECT, LPRECT,
                           LPOLEINPLACEFRAMEINFO) override {
    *f = nullptr;
    *d = nullptr;
    return S_OK;
  }
  HRESULT Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT OnInPlaceDeactivate() override { return S_OK; }
  HRESULT DiscardUndoState() override { return E_NOTIMPL; }
  HRESULT DeactivateAndUndo() override { return E_NOTIMPL; }
  HRESULT OnPosRectChange(LPCRECT) override { return S_OK; }
  // IDocHostUIHandler2
  HRESULT ShowContextMenu(DWORD id, POINT* pt, IUnknown* target, IDispatch* object) override {
    HRESULT hr = OnShowContextMenu ? OnShowContextMenu(id, pt, target, object) : S_FALSE;
    return Record("ShowContextMenu " + std::to_string(id), hr);
  }
  HRESULT GetHostInfo(DOCHOSTUIINFO* info) override {
    info->cbSize = 20;
    info->dwFlags = 0x44000;
    info->dwDoubleClick = 0;
    HRESULT hr = OnGetHostInfo ? OnGetHostInfo(info) : S_OK;
    return Record("GetHostInfo", hr);
  }
  HRESULT ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                 IOleInPlaceUIWindow*) override {
    return Record("ShowUI", S_FALSE);
  }
  HRESULT HideUI() override { return Record("HideUI", S_FALSE); }
  HRESULT UpdateUI() override { return Record("UpdateUI", S_FALSE); }
  HRESULT EnableModeless(BOOL) override { return Record("EnableModeless", S_OK); }
  HRESULT OnDocWindowActivate(BOOL) override { return Record("OnDocWindowActivate", S_OK); }
  HRESULT OnFrameWindowActivate(BOOL) override { return Record("OnFrameWindowActivate", S_OK); }
  HRESULT ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  HRESULT TranslateAccelerator(LPMSG msg, const GUID* group, DWORD cmd) override {
    HRESULT hr = OnTranslateAccelerator ? OnTranslateAccelerator(msg, group, cmd) : S_FALSE;
    return Record("TranslateAccelerator " + std::to_string(msg->message) + " " + std::to_string(msg->wParam), hr);
  }
  HRESULT GetOptionKeyPath(LPOLESTR* key, DWORD) override {
    *key = nullptr;
    return Record("GetOptionKeyPath", S_FALSE);
  }
  HRESULT GetDropTarget(IDropTarget*, IDropTarget** out) override {
    *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetExternal(IDispatch** external) override {
    *external = nullptr;
    HRESULT hr = OnGetExternal ? OnGetExternal(external) : S_FALSE;
    return Record("GetExternal", hr);
  }
  HRESULT TranslateUrl(DWORD, LPWSTR in, LPWSTR* out) override {
    *out = nullptr;
    HRESULT hr = OnTranslateUrl ? OnTranslateUrl(in, out) : S_FALSE;
    return Record("TranslateUrl", hr);
  }
  HRESULT FilterDataObject(IUnknown*, IUnknown** out) override {
    *out = nullptr;
    return S_FALSE;
  }
  HRESULT GetOverrideKeyPath(LPOLESTR* key, DWORD) override {
    *key = nullptr;
    return Record("GetOverrideKeyPath", S_FALSE);
  }
  // IDocHostShowUI
  HRESULT ShowMessage(HWND, LPOLESTR text, LPOLESTR, DWORD type, LPOLESTR, DWORD, LRESULT* result) override {
    HRESULT hr = OnShowMessage ? OnShowMessage(text, type, result) : S_FALSE;
    return Record("ShowMessage", hr);
  }
  HRESULT ShowHelp(HWND, LPOLESTR, UINT, DWORD, POINT, IDispatch*) override { return Record("ShowHelp", S_FALSE); }
  // IOleCommandTarget
  HRESULT QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) override { return S_OK; }
  HRESULT Exec(const GUID* group, DWORD id, DWORD, VARIANT* in, VARIANT* out) override {
    HRESULT hr = OnExec ? OnExec(group, id, in, out) : OLECMDERR_E_NOTSUPPORTED;
    return Record("Exec " + std::to_string(id), hr);
  }
  // IServiceProvider
  HRESULT QueryService(REFGUID service, REFIID riid, void** object) override {
    *object = nullptr;
    HRESULT hr = OnQueryService ? OnQueryService(service, riid, object) : E_NOINTERFACE;
    return hr;
  }
  // IDispatch: the ambient properties.
  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    *info = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
    calls.push_back("Ambient " + std::to_string(id));
    VARIANT v;
    VariantInit(&v);
    if (OnAmbient) v = OnAmbient(id);
    if (v.vt == VT_EMPTY) return DISP_E_MEMBERNOTFOUND;
    if (result)
      *result = v;
    else
      VariantClear(&v);
    return S_OK;
  }

 private:
  HRESULT Record(const std::string& what, HRESULT hr) {
    calls.push_back(what);
    return hr;
  }
  HWND window_;
  std::atomic<ULONG> refs_{1};
};

// Records DWebBrowserEvents2 and ReadyState changes; `OnEvent` runs inside each event.
class EventSink final : public IDispatch, public IPropertyNotifySink {
 public:
  // "Name" per event, e.g. "BeforeNavigate2@0" with the ReadyState read inside it.
  std::vector<std::string> events;
  std::vector<LONG> errors;  // the StatusCode of each NavigateError
  IWebBrowser2* browser = nullptr;  // read for the ReadyState inside each event
  std::function<void(DISPID, DISPPARAMS*)> OnEvent;

  static const char* Name(DISPID id) {
    const char* name = KvBrowserEventName(id);
    return name ? name : "Event";
  }
  // The events without the per-chunk and status ones, each with its ReadyState.
  std::string Sequence(bool with_state = true) const {
    std::string out;
    for (const auto& e : events) {
      std::string name = e.substr(0, e.find('@'));
      if (name == "ProgressChange" || name == "StatusTextChange" || name == "CommandStateChange") continue;
      if (!out.empty()) out += " ";
      out += with_state ? e : name;
    }
    return out;
  }

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, DIID_DWebBrowserEvents2))
      *object = static_cast<IDispatch*>(this);
    else if (IsEqualIID(riid, IID_IPropertyNotifySink))
      *object = static_cast<IPropertyNotifySink*>(this);
    if (!*object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override { return --refs_; }
  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    *info = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    LONG state = -1;
    if (browser) browser->get_ReadyState(&state);
    events.push_back(std::string(Name(id)) + "@" + std::to_string(state));
    if (id == 271 && params && params->cArgs == 5 && params->rgvarg[1].vt == (VT_BYREF | VT_VARIANT))
      errors.push_back(params->rgvarg[1].pvarVal->lVal);
    if (OnEvent) OnEvent(id, params);
    return S_OK;
  }
  HRESULT OnChanged(DISPID) override { return S_OK; }
  HRESULT OnRequestEdit(DISPID) override { return S_OK; }

 private:
  std::atomic<ULONG> refs_{1};
};

// A top-level window hosting one in-place active browser, with its site and sink.
class HostedBrowser {
 public:
  explicit HostedBrowser(int width = 400, int height = 300) {
    CoInitialize(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"KvTestBrowserHost";
    RegisterClassW(&wc);
    window = CreateWindowExW(0, u"KvTestBrowserHost", u"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, width + 16,
                             height + 40, nullptr, nullptr, nullptr, nullptr);
    site = new TestSite(window);
    CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IWebBrowser2,
                     reinterpret_cast<void**>(&browser));
    if (!browser) return;
    sink.browser = browser;
    IOleObject* ole = nullptr;
    browser->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole));
    ole->SetClientSite(site);
    RECT client{};
    GetClientRect(window, &client);
    RECT pos{0, 0, width, height};
    ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site, 0, window, &pos);
    ole->Release();
    IConnectionPointContainer* cpc = nullptr;
    browser->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc));
    cpc->FindConnectionPoint(DIID_DWebBrowserEvents2, &events_point_);
    events_point_->Advise(static_cast<IDispatch*>(&sink), &cookie_);
    cpc->Release();
  }
  ~HostedBrowser() {
    if (events_point_) {
      events_point_->Unadvise(cookie_);
      events_point_->Release();
    }
    if (browser) {
      IOleObject* ole = nullptr;
      browser->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole));
      ole->Close(OLECLOSE_NOSAVE);
      ole->Release();
      browser->Release();
    }
    KvPumpMessages();
    delete site;
    DestroyWindow(window);
    CoUninitialize();
  }
  HostedBrowser(const HostedBrowser&) = delete;
  HostedBrowser& operator=(const HostedBrowser&) = delete;

  HRESULT Navigate(const std::string& url) {
    std::u16string w = kv::Utf8ToWide(url);
    BSTR b = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
    HRESULT hr = browser->Navigate(b, nullptr, nullptr, nullptr, nullptr);
    SysFreeString(b);
    return hr;
  }
  // Pumps until the queue holds nothing due.
  void Run() {
    while (KvPumpMessages() > 0) {
    }
  }
  // Pumps as an application's loop does, waiting on the queue and the network, until
  // `done` holds (true) or `limit_ms` pass on the clock (virtual while it runs; real time
  // is bounded too, so a broken case ends).
  bool RunUntil(const std::function<bool()>& done, DWORD limit_ms = 10000) {
    const DWORD start = GetTickCount();
    const auto real_end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms + 20000);
    while (!done()) {
      if (GetTickCount() - start >= limit_ms || std::chrono::steady_clock::now() > real_end) return false;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
    return true;
  }
  // Pumps until the browser is no longer busy (and what that queued has run).
  bool RunUntilIdle(DWORD limit_ms = 10000) {
    bool idle = RunUntil(
        [this] {
          VARIANT_BOOL busy = VARIANT_FALSE;
          browser->get_Busy(&busy);
          return busy == VARIANT_FALSE;
        },
        limit_ms);
    Run();
    return idle;
  }
  // The first descendant window of `from` with this class (first-child walk).
  HWND FindChild(const char16_t* cls) const {
    HWND embedding = nullptr;
    IOleWindow* w = nullptr;
    browser->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&w));
    if (w) {
      w->GetWindow(&embedding);
      w->Release();
    }
    for (HWND h = embedding ? GetWindow(embedding, GW_CHILD) : nullptr; h; h = GetWindow(h, GW_CHILD)) {
      WCHAR name[64];
      int n = GetClassNameW(h, name, 64);
      if (std::u16string(name, static_cast<size_t>(n)) == cls) return h;
    }
    return nullptr;
  }
  std::string LocationUrl() const {
    BSTR b = nullptr;
    browser->get_LocationURL(&b);
    std::string s = kv::WideToUtf8(kv::BstrText(b));
    SysFreeString(b);
    return s;
  }
  IHTMLDocument2* Document() const {
    IDispatch* d = nullptr;
    browser->get_Document(&d);
    IHTMLDocument2* doc = nullptr;
    if (d) {
      d->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&doc));
      d->Release();
    }
    return doc;
  }

  IHTMLElement* ById(const char16_t* id) const {
    IHTMLDocument2* doc = Document();
    if (!doc) return nullptr;
    IHTMLDocument3* d3 = nullptr;
    doc->QueryInterface(IID_IHTMLDocument3, reinterpret_cast<void**>(&d3));
    IHTMLElement* e = nullptr;
    BSTR b = SysAllocString(id);
    d3->getElementById(b, &e);
    SysFreeString(b);
    d3->Release();
    doc->Release();
    return e;
  }
  // The centre of an element's layout box, in screen coordinates.
  POINT Centre(const char16_t* id) const {
    POINT pt{-1, -1};
    IHTMLElement* e = ById(id);
    RECT rc{};
    if (e && KvBrowserElementRect(e, &rc)) pt = {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    if (e) e->Release();
    return pt;
  }
  void Click(const char16_t* id) {
    POINT pt = Centre(id);
    KvInjectClick(pt.x, pt.y);
    Run();
  }
  void RightClick(const char16_t* id) {
    POINT pt = Centre(id);
    KvInjectMouseMove(pt.x, pt.y);
    KvInjectMouseButton(VK_RBUTTON, TRUE);
    KvInjectMouseButton(VK_RBUTTON, FALSE);
    Run();
  }
  // Lower-case letters, digits and spaces as their keys (translated into characters by
  // the queue); any other character as a WM_CHAR of its own.
  void Type(const std::u16string& text) {
    for (char16_t c : text) {
      bool key = (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u' ';
      if (key) {
        int vk = c >= u'a' ? c - u'a' + 'A' : c;
        KvInjectKey(vk, TRUE);
        KvInjectKey(vk, FALSE);
      } else {
        KvInjectChar(c);
      }
    }
    Run();
  }
  void Press(int vk, bool ctrl = false) {
    if (ctrl) KvInjectKey(VK_CONTROL, TRUE);
    KvInjectKey(vk, TRUE);
    KvInjectKey(vk, FALSE);
    if (ctrl) KvInjectKey(VK_CONTROL, FALSE);
    Run();
  }
  void UIActivate() {
    IOleObject* ole = nullptr;
    browser->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole));
    ole->DoVerb(OLEIVERB_UIACTIVATE, nullptr, site, 0, window, nullptr);
    ole->Release();
    Run();
  }

  HWND window = nullptr;
  TestSite* site = nullptr;
  EventSink sink;
  IWebBrowser2* browser = nullptr;

 private:
  IConnectionPoint* events_point_ = nullptr;
  DWORD cookie_ = 0;
};

}  // namespace kvtest
