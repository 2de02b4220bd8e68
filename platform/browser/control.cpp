// The web browser control's COM object: its interfaces (IWebBrowser2's properties,
// IDispatch, OLE embedding and in-place activation, view, persistence, commands), its
// events and its class registration. Navigation is in navigate.cpp, frames in frame.cpp,
// the host's side in host.cpp, windows and input in view.cpp.
#include "platform/browser/control.h"

#include <cstring>

#include "platform/base/trace.h"
#include "platform/browser/internal.h"
#include "platform/browser/recorders.h"
#include "platform/browser/task.h"
#include "platform/com/builtin.h"
#include "platform/user/user.h"

namespace kv::browser {

// ---- Object ---------------------------------------------------------------------------------------------
WebBrowser::WebBrowser() {
  events_ = new kv::ConnectionPoint(this, DIID_DWebBrowserEvents2);
  property_sinks_ = new kv::ConnectionPoint(this, IID_IPropertyNotifySink);
  for (DISPID id : {402, 403, 405, 406, 407, 550, 551, 552, 553, 554, 555, 556}) {
    VARIANT v;
    VariantInit(&v);
    if (id == 405) {
      v.vt = VT_I4;
      v.lVal = 0;
    } else {
      v.vt = VT_BOOL;
      v.boolVal = (id == 402 || id == 553 || id == 556) ? VARIANT_TRUE : VARIANT_FALSE;
    }
    properties_[id] = v;
  }
  VARIANT text;
  VariantInit(&text);
  text.vt = VT_BSTR;
  text.bstrVal = Bstr("");
  properties_[404] = text;
}

WebBrowser::~WebBrowser() {
  alive_.reset();
  DropNavigation();  // its loader callback may be on the stack
  DropFrames();
  DestroyWindows();
  if (document_) {
    document_->TearDown();
    document_->Release();
  }
  Drop(folder_document_);
  events_->Detach();
  events_->Release();
  property_sinks_->Detach();
  property_sinks_->Release();
  for (auto& p : properties_) VariantClear(&p.second);
  for (auto& e : frozen_events_)
    for (auto& v : e.second) VariantClear(&v);
  SetClientSite(nullptr);  // the site and the interfaces asked of it
}

HRESULT WebBrowser::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IWebBrowser2) ||
      IsEqualIID(riid, IID_IWebBrowserApp) || IsEqualIID(riid, IID_IWebBrowser))
    *object = static_cast<IWebBrowser2*>(this);
  else if (IsEqualIID(riid, IID_IConnectionPointContainer))
    *object = static_cast<IConnectionPointContainer*>(this);
  else if (IsEqualIID(riid, IID_IOleObject))
    *object = static_cast<IOleObject*>(this);
  else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceObject))
    *object = static_cast<IOleInPlaceObject*>(this);
  else if (IsEqualIID(riid, IID_IOleInPlaceActiveObject))
    *object = static_cast<IOleInPlaceActiveObject*>(this);
  else if (IsEqualIID(riid, IID_IOleControl))
    *object = static_cast<IOleControl*>(this);
  else if (IsEqualIID(riid, IID_IViewObject))
    *object = static_cast<IViewObject*>(this);
  else if (IsEqualIID(riid, IID_IPersistStreamInit) || IsEqualIID(riid, IID_IPersist))
    *object = static_cast<IPersistStreamInit*>(this);
  else if (IsEqualIID(riid, IID_IOleCommandTarget))
    *object = static_cast<IOleCommandTarget*>(this);
  if (!*object) return E_NOINTERFACE;
  AddRef();
  return S_OK;
}
ULONG WebBrowser::AddRef() { return ++refs_; }
ULONG WebBrowser::Release() {
  ULONG n = --refs_;
  if (n == 0) delete this;
  return n;
}

void WebBrowser::Post(std::function<void()> step) {
  std::weak_ptr<int> alive = alive_;
  PostTask([this, alive, step]() {
    if (alive.expired()) return;
    AddRef();
    step();
    Release();
  });
}

// ---- Events ---------------------------------------------------------------------------------------------
void WebBrowser::Fire(DISPID id, std::vector<VARIANT> args) {
  if (frozen_ > 0) {
    // Queued until the container thaws them; by-reference arguments do not survive.
    bool byref = false;
    for (auto& a : args) byref = byref || (a.vt & VT_BYREF);
    if (!byref) {
      frozen_events_.emplace_back(id, std::move(args));
      return;
    }
  }
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS dp{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  KvTrace("browser", "event %d (%u arguments)", static_cast<int>(id), dp.cArgs);
  AddRef();
  for (IUnknown* sink : events_->Sinks()) {
    if (!closed_) {
      VARIANT result;
      VariantInit(&result);
      static_cast<IDispatch*>(sink)->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &dp, &result, nullptr, nullptr);
      VariantClear(&result);
    }
    sink->Release();
  }
  RecordEvent(id, args, static_cast<IWebBrowser2*>(this));
  for (auto& a : args)
    if (!(a.vt & VT_BYREF)) VariantClear(&a);
  Release();
}

void WebBrowser::FireStatusText(const std::string& text) { Fire(DISPID_STATUSTEXTCHANGE, {VBstr(text)}); }
void WebBrowser::FireProgress(LONG progress, LONG max) { Fire(DISPID_PROGRESSCHANGE, {VLong(progress), VLong(max)}); }
void WebBrowser::FireCommandState(LONG command, bool enabled) {
  Fire(DISPID_COMMANDSTATECHANGE, {VLong(command), VBool(enabled)});
}
void WebBrowser::FireTitle(const std::string& title) { Fire(DISPID_TITLECHANGE, {VBstr(title)}); }
void WebBrowser::FireDownload(bool begin) { Fire(begin ? DISPID_DOWNLOADBEGIN : DISPID_DOWNLOADCOMPLETE, {}); }

void WebBrowser::FireUrlEvent(DISPID id, const std::string& url, IDispatch* source) {
  VARIANT u = VBstr(url);
  Fire(id, {VDispatch(source ? source : static_cast<IWebBrowser2*>(this)), VRefVariant(&u)});
  VariantClear(&u);
}

bool WebBrowser::FireBeforeNavigate(const std::string& url, LONG flags, const std::vector<uint8_t>& post,
                                    const std::string& headers, IDispatch* source, const std::string& frame) {
  VARIANT u = VBstr(url), f = VLong(flags), target = VBstr(frame), data, head = VBstr(headers);
  VariantInit(&data);
  if (!post.empty()) {
    data.vt = VT_ARRAY | VT_UI1;
    data.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(post.size()));
    void* p = nullptr;
    SafeArrayAccessData(data.parray, &p);
    std::memcpy(p, post.data(), post.size());
    SafeArrayUnaccessData(data.parray);
  }
  VARIANT_BOOL cancel = VARIANT_FALSE;
  Fire(DISPID_BEFORENAVIGATE2,
       {VDispatch(source ? source : static_cast<IWebBrowser2*>(this)), VRefVariant(&u), VRefVariant(&f),
        VRefVariant(&target), VRefVariant(&data), VRefVariant(&head), VRefBool(&cancel)});
  for (VARIANT* v : {&u, &f, &target, &data, &head}) VariantClear(v);
  return cancel != VARIANT_FALSE;
}

bool WebBrowser::FireNavigateError(const std::string& url, LONG status, IDispatch* source,
                                   const std::string& frame_name) {
  VARIANT u = VBstr(url), frame = VBstr(frame_name), code = VLong(status);
  VARIANT_BOOL cancel = VARIANT_FALSE;
  Fire(DISPID_NAVIGATEERROR, {VDispatch(source ? source : static_cast<IWebBrowser2*>(this)), VRefVariant(&u),
                              VRefVariant(&frame), VRefVariant(&code), VRefBool(&cancel)});
  for (VARIANT* v : {&u, &frame, &code}) VariantClear(v);
  return cancel != VARIANT_FALSE;
}

void WebBrowser::HostExec(const GUID& group, DWORD id) {
  if (host_commands_) Noted("Exec " + std::to_string(id), host_commands_->Exec(&group, id, 0, nullptr, nullptr));
}

void WebBrowser::SetReadyState(int state) {
  if (state == ready_state_) return;
  ready_state_ = state;
  AddRef();
  for (IUnknown* sink : property_sinks_->Sinks()) {
    static_cast<IPropertyNotifySink*>(sink)->OnChanged(DISPID_READYSTATE);
    sink->Release();
  }
  Release();
}

HRESULT WebBrowser::get_Document(IDispatch** document) {
  if (!document) return E_POINTER;
  *document = nullptr;
  if (document_) {
    document_->AddRef();
    *document = static_cast<IHTMLDocument2*>(document_);
  } else if (folder_document_) {
    folder_document_->AddRef();
    *document = folder_document_;
  }
  return S_OK;
}
HRESULT WebBrowser::get_LocationName(BSTR* name) {
  if (!name) return E_POINTER;
  *name = Bstr(location_name_);
  return S_OK;
}
HRESULT WebBrowser::get_LocationURL(BSTR* url) {
  if (!url) return E_POINTER;
  *url = Bstr(location_url_);
  return S_OK;
}
HRESULT WebBrowser::get_Busy(VARIANT_BOOL* busy) {
  if (!busy) return E_POINTER;
  *busy = ready_state_ >= 1 && ready_state_ <= 3 ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}
HRESULT WebBrowser::QueryStatusWB(LONG cmd, LONG* flags) {
  if (!flags) return E_POINTER;
  bool known = cmd == 17 || cmd == 19 || cmd == 20 || cmd == 22 || cmd == 23;
  *flags = known ? static_cast<LONG>(OLECMDF_SUPPORTED | OLECMDF_ENABLED) : 0;
  return known ? S_OK : OLECMDERR_E_NOTSUPPORTED;
}
HRESULT WebBrowser::ExecWB(LONG cmd, LONG option, VARIANT* in, VARIANT* out) {
  switch (cmd) {
    case OLECMDID_SELECTALL: KvTrace("browser", "select all (recorded only)"); return S_OK;
    case OLECMDID_ZOOM:
    case OLECMDID_GETZOOMRANGE:
      if (!document_) return OLECMDERR_E_NOTSUPPORTED;
      return document_->Exec(nullptr, static_cast<DWORD>(cmd), static_cast<DWORD>(option), in, out);
    case OLECMDID_REFRESH: return Refresh();
    case OLECMDID_STOP: return Stop();
    default: return OLECMDERR_E_NOTSUPPORTED;
  }
}
HRESULT WebBrowser::get_ReadyState(LONG* state) {
  if (!state) return E_POINTER;
  *state = ready_state_;
  return S_OK;
}
HRESULT WebBrowser::get_Visible(VARIANT_BOOL* value) {
  if (!value) return E_POINTER;
  *value = properties_[402].boolVal;
  return S_OK;
}
HRESULT WebBrowser::put_Visible(VARIANT_BOOL value) {
  properties_[402].boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  if (embedding_) ShowWindow(embedding_, value ? SW_SHOW : SW_HIDE);
  Fire(DISPID_ONVISIBLE, {VBool(value != VARIANT_FALSE)});
  return S_OK;
}

// ---- IDispatch -------------------------------------------------------------------------------------------------
namespace {
const DispName kBrowserNames[] = {{u"GoBack", DISPID_WB_GOBACK},
                                  {u"GoForward", DISPID_WB_GOFORWARD},
                                  {u"GoHome", DISPID_WB_GOHOME},
                                  {u"Navigate", DISPID_WB_NAVIGATE},
                                  {u"Refresh", DISPID_WB_REFRESH},
                                  {u"Refresh2", DISPID_WB_REFRESH2},
                                  {u"Stop", DISPID_WB_STOP},
                                  {u"Document", DISPID_WB_DOCUMENT},
                                  {u"LocationName", DISPID_WB_LOCATIONNAME},
                                  {u"LocationURL", DISPID_WB_LOCATIONURL},
                                  {u"Busy", DISPID_WB_BUSY},
                                  {u"Navigate2", DISPID_WB_NAVIGATE2},
                                  {u"QueryStatusWB", DISPID_WB_QUERYSTATUSWB},
                                  {u"ExecWB", DISPID_WB_EXECWB},
                                  {u"ReadyState", DISPID_READYSTATE},
                                  {u"Visible", 402},
                                  {u"StatusBar", 403},
                                  {u"StatusText", 404},
                                  {u"ToolBar", 405},
                                  {u"MenuBar", 406},
                                  {u"FullScreen", 407},
                                  {u"Offline", 550},
                                  {u"Silent", 551},
                                  {u"RegisterAsBrowser", 552},
                                  {u"RegisterAsDropTarget", 553},
                                  {u"TheaterMode", 554},
                                  {u"AddressBar", 555},
                                  {u"Resizable", 556}};

// The event a put of a bar or mode property fires.
DISPID PropertyEvent(DISPID id) {
  switch (id) {
    case 402: return 254;
    case 405: return 255;
    case 406: return 256;
    case 403: return 257;
    case 407: return 258;
    case 554: return 260;
    case 555: return 261;
    case 556: return 262;
    default: return 0;
  }
}
}  // namespace

HRESULT BrowserProperty(IWebBrowser2* browser, DISPID id, VARIANT* result) {
  BSTR s = nullptr;
  switch (id) {
    case DISPID_WB_DOCUMENT: {
      IDispatch* d = nullptr;
      browser->get_Document(&d);
      return ResultDispatch(result, d);
    }
    case DISPID_WB_LOCATIONNAME: browser->get_LocationName(&s); return ResultBstr(result, s);
    case DISPID_WB_LOCATIONURL: browser->get_LocationURL(&s); return ResultBstr(result, s);
    case DISPID_WB_BUSY: {
      VARIANT_BOOL b = VARIANT_FALSE;
      browser->get_Busy(&b);
      return ResultBool(result, b != VARIANT_FALSE);
    }
    case DISPID_READYSTATE: {
      LONG state = 0;
      browser->get_ReadyState(&state);
      return ResultLong(result, state);
    }
    default: return DISP_E_MEMBERNOTFOUND;
  }
}

HRESULT WebBrowser::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return S_OK;
}
HRESULT WebBrowser::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}
HRESULT WebBrowser::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  return NamesToIds(kBrowserNames, names, count, ids);
}

HRESULT WebBrowser::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                           UINT*) {
  if (result) VariantInit(result);
  UINT argc = params ? params->cArgs : 0;
  // Argument i in call order, or null when not passed.
  auto arg = [&](UINT i) -> VARIANT* { return i < argc ? &params->rgvarg[argc - 1 - i] : nullptr; };
  bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  switch (id) {
    case DISPID_WB_GOBACK: return GoBack();
    case DISPID_WB_GOFORWARD: return GoForward();
    case DISPID_WB_GOHOME: return GoHome();
    case DISPID_WB_NAVIGATE:
    case DISPID_WB_NAVIGATE2:
      if (argc < 1) return DISP_E_BADPARAMCOUNT;
      return Navigate2(arg(0), arg(1), arg(2), arg(3), arg(4));
    case DISPID_WB_REFRESH: return Refresh();
    case DISPID_WB_REFRESH2: return Refresh2(arg(0));
    case DISPID_WB_STOP: return Stop();
    case DISPID_WB_DOCUMENT:
    case DISPID_WB_LOCATIONNAME:
    case DISPID_WB_LOCATIONURL:
    case DISPID_WB_BUSY:
    case DISPID_READYSTATE: return BrowserProperty(static_cast<IWebBrowser2*>(this), id, result);
    case DISPID_WB_QUERYSTATUSWB: {
      LONG f = 0;
      HRESULT hr = QueryStatusWB(Long(arg(0)), &f);
      ResultLong(result, f);
      return hr;
    }
    case DISPID_WB_EXECWB:
      if (argc < 2) return DISP_E_BADPARAMCOUNT;
      return ExecWB(Long(arg(0)), Long(arg(1)), arg(2), result);
    default: break;
  }
  auto it = properties_.find(id);
  if (it == properties_.end()) return DISP_E_MEMBERNOTFOUND;
  if (!put) return VariantCopy(result ? result : &it->second, &it->second);
  if (argc < 1) return DISP_E_BADPARAMCOUNT;
  VARIANT v;
  VariantInit(&v);
  if (FAILED(VariantChangeType(&v, arg(0), 0, it->second.vt))) return DISP_E_TYPEMISMATCH;
  if (id == 402) {
    HRESULT hr = put_Visible(v.boolVal);
    VariantClear(&v);
    return hr;
  }
  VariantClear(&it->second);
  it->second = v;
  if (DISPID e = PropertyEvent(id)) {
    VARIANT copy;
    VariantInit(&copy);
    VariantCopy(&copy, &v);
    Fire(e, {copy});
  }
  return S_OK;
}

// ---- IConnectionPointContainer ------------------------------------------------------------------------------
HRESULT WebBrowser::EnumConnectionPoints(IEnumConnectionPoints** out) {
  if (!out) return E_POINTER;
  *out = new kv::EnumConnectionPoints({events_, property_sinks_});
  return S_OK;
}
HRESULT WebBrowser::FindConnectionPoint(REFIID riid, IConnectionPoint** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (IsEqualIID(riid, DIID_DWebBrowserEvents2))
    *out = events_;
  else if (IsEqualIID(riid, IID_IPropertyNotifySink))
    *out = property_sinks_;
  if (!*out) return CONNECT_E_NOCONNECTION;
  (*out)->AddRef();
  return S_OK;
}

// ---- IOleObject -------------------------------------------------------------------------------------------------
HRESULT WebBrowser::SetClientSite(IOleClientSite* site) {
  Drop(ui_handler_);
  Drop(show_ui_);
  Drop(host_commands_);
  Drop(services_);
  Drop(ambient_);
  Drop(inplace_site_);
  Drop(site_);
  if (!site) return S_OK;
  site->AddRef();
  site_ = site;
  // The site is asked once for every interface the browser calls.
  ui_handler_ = Ask<IDocHostUIHandler>(site, IID_IDocHostUIHandler);
  show_ui_ = Ask<IDocHostShowUI>(site, IID_IDocHostShowUI);
  host_commands_ = Ask<IOleCommandTarget>(site, IID_IOleCommandTarget);
  services_ = Ask<IServiceProvider>(site, IID_IServiceProvider);
  ambient_ = Ask<IDispatch>(site, IID_IDispatch);
  inplace_site_ = Ask<IOleInPlaceSite>(site, IID_IOleInPlaceSite);
  ReadAmbient();
  return S_OK;
}
HRESULT WebBrowser::GetClientSite(IOleClientSite** site) {
  if (!site) return E_POINTER;
  *site = site_;
  if (site_) site_->AddRef();
  return S_OK;
}
HRESULT WebBrowser::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }
HRESULT WebBrowser::Close(DWORD) {
  if (closed_) return S_OK;
  AddRef();
  closed_ = true;
  DropNavigation();
  DropFrames();
  ++generation_;
  if (document_) {
    document_->TearDown();
    document_->Release();
    document_ = nullptr;
  }
  DestroyWindows();
  SetClientSite(nullptr);
  Release();
  return S_OK;
}
HRESULT WebBrowser::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }
HRESULT WebBrowser::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker) *moniker = nullptr;
  return E_NOTIMPL;
}
HRESULT WebBrowser::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }
HRESULT WebBrowser::GetClipboardData(DWORD, IDataObject** data) {
  if (data) *data = nullptr;
  return E_NOTIMPL;
}
HRESULT WebBrowser::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT pos) {
  if (closed_) return E_UNEXPECTED;
  if (site && site != site_) SetClientSite(site);
  switch (verb) {
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
    case OLEIVERB_SHOW:
    case OLEIVERB_PRIMARY: {
      RECT r{0, 0, 0, 0};
      if (pos) r = *pos;
      if (!parent && inplace_site_) inplace_site_->GetWindow(&parent);
      if (!embedding_) {
        if (!parent) return E_INVALIDARG;
        if (inplace_site_) {
          if (inplace_site_->CanInPlaceActivate() == S_FALSE) return E_FAIL;
          inplace_site_->OnInPlaceActivate();
        }
        EnsureWindows(parent, r);
        if (!key_paths_asked_ && ui_handler_) {
          key_paths_asked_ = true;
          LPOLESTR key = nullptr;
          Noted("GetOptionKeyPath", ui_handler_->GetOptionKeyPath(&key, 0));
          CoTaskMemFree(key);
          key = nullptr;
          if (auto* h2 = Ask<IDocHostUIHandler2>(ui_handler_, IID_IDocHostUIHandler2)) {
            h2->GetOverrideKeyPath(&key, 0);
            CoTaskMemFree(key);
            h2->Release();
          }
        }
      } else if (pos) {
        SetObjectRects(pos, pos);
      }
      ShowWindow(embedding_, SW_SHOW);
      if (verb == OLEIVERB_UIACTIVATE) UIActivate();
      return S_OK;
    }
    case OLEIVERB_HIDE:
      if (embedding_) ShowWindow(embedding_, SW_HIDE);
      return S_OK;
    default: return OLEOBJ_S_INVALIDVERB;
  }
}
HRESULT WebBrowser::EnumVerbs(IEnumOLEVERB** verbs) {
  if (verbs) *verbs = nullptr;
  return E_NOTIMPL;
}
HRESULT WebBrowser::Update() { return S_OK; }
HRESULT WebBrowser::IsUpToDate() { return S_OK; }
HRESULT WebBrowser::GetUserClassID(CLSID* clsid) { return GetClassID(clsid); }
HRESULT WebBrowser::GetUserType(DWORD, LPOLESTR* type) {
  if (type) *type = nullptr;
  return OLE_S_USEREG;
}
HRESULT WebBrowser::SetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_INVALIDARG;
  extent_ = *size;
  return S_OK;
}
HRESULT WebBrowser::GetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_INVALIDARG;
  *size = extent_;
  return S_OK;
}
HRESULT WebBrowser::Advise(IAdviseSink*, DWORD* connection) {
  if (connection) *connection = 0;
  return OLE_E_ADVISENOTSUPPORTED;
}
HRESULT WebBrowser::Unadvise(DWORD) { return OLE_E_ADVISENOTSUPPORTED; }
HRESULT WebBrowser::EnumAdvise(IEnumSTATDATA** advise) {
  if (advise) *advise = nullptr;
  return OLE_E_ADVISENOTSUPPORTED;
}
HRESULT WebBrowser::GetMiscStatus(DWORD, DWORD* status) {
  if (!status) return E_POINTER;
  *status = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_RECOMPOSEONRESIZE |
            OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT;
  return S_OK;
}
HRESULT WebBrowser::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// ---- In-place -----------------------------------------------------------------------------------------------------
HRESULT WebBrowser::GetWindow(HWND* hwnd) {
  if (!hwnd) return E_POINTER;
  *hwnd = embedding_;
  return embedding_ ? S_OK : E_FAIL;
}
HRESULT WebBrowser::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }
HRESULT WebBrowser::InPlaceDeactivate() {
  UIDeactivate();
  if (embedding_) {
    DestroyWindows();
    if (inplace_site_) inplace_site_->OnInPlaceDeactivate();
  }
  return S_OK;
}
HRESULT WebBrowser::UIDeactivate() {
  if (!ui_active_) return S_OK;
  ui_active_ = false;
  if (ui_handler_) Noted("HideUI", ui_handler_->HideUI());
  if (inplace_site_) inplace_site_->OnUIDeactivate(FALSE);
  return S_OK;
}
HRESULT WebBrowser::SetObjectRects(LPCRECT pos, LPCRECT) {
  if (!pos) return E_INVALIDARG;
  if (embedding_) MoveWindow(embedding_, pos->left, pos->top, pos->right - pos->left, pos->bottom - pos->top, TRUE);
  return S_OK;
}
HRESULT WebBrowser::ReactivateAndUndo() { return E_NOTIMPL; }
HRESULT WebBrowser::TranslateAccelerator(LPMSG msg) {
  if (!msg) return E_INVALIDARG;
  bool handled = Accelerator(*msg);
  translated_ = *msg;
  return handled ? S_OK : S_FALSE;
}
HRESULT WebBrowser::OnFrameWindowActivate(BOOL activate) {
  if (ui_handler_) Noted("OnFrameWindowActivate", ui_handler_->OnFrameWindowActivate(activate));
  return S_OK;
}
HRESULT WebBrowser::OnDocWindowActivate(BOOL activate) {
  if (ui_handler_) Noted("OnDocWindowActivate", ui_handler_->OnDocWindowActivate(activate));
  return S_OK;
}
HRESULT WebBrowser::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
HRESULT WebBrowser::EnableModeless(BOOL enable) {
  if (ui_handler_) Noted("EnableModeless", ui_handler_->EnableModeless(enable));
  return S_OK;
}

// ---- IOleControl ------------------------------------------------------------------------------------------------
HRESULT WebBrowser::GetControlInfo(CONTROLINFO* info) {
  if (!info) return E_POINTER;
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}
HRESULT WebBrowser::OnMnemonic(MSG*) { return S_OK; }
HRESULT WebBrowser::OnAmbientPropertyChange(DISPID) {
  ReadAmbient();  // applied from the next request or document
  return S_OK;
}
HRESULT WebBrowser::FreezeEvents(BOOL freeze) {
  if (freeze) {
    ++frozen_;
    return S_OK;
  }
  if (frozen_ > 0 && --frozen_ == 0) {
    auto queued = std::move(frozen_events_);
    frozen_events_.clear();
    for (auto& e : queued) Fire(e.first, std::move(e.second));
  }
  return S_OK;
}

// ---- IViewObject ----------------------------------------------------------------------------------------------------
HRESULT WebBrowser::Draw(DWORD aspect, LONG index, void* aspect_info, DVTARGETDEVICE* device, HDC target_dc,
                         HDC draw_dc, LPCRECTL bounds, LPCRECTL window_bounds, BOOL (*cont)(ULONG_PTR),
                         ULONG_PTR cont_data) {
  if (!document_) return OLE_E_BLANK;
  return document_->Draw(aspect, index, aspect_info, device, target_dc, draw_dc, bounds, window_bounds, cont,
                         cont_data);
}
HRESULT WebBrowser::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors) {
  if (colors) *colors = nullptr;
  return S_FALSE;
}
HRESULT WebBrowser::Freeze(DWORD, LONG, void*, DWORD*) { return E_NOTIMPL; }
HRESULT WebBrowser::Unfreeze(DWORD) { return E_NOTIMPL; }
HRESULT WebBrowser::SetAdvise(DWORD, DWORD, IAdviseSink*) { return OLE_E_ADVISENOTSUPPORTED; }
HRESULT WebBrowser::GetAdvise(DWORD*, DWORD*, IAdviseSink**) { return OLE_E_ADVISENOTSUPPORTED; }

// ---- IPersistStreamInit --------------------------------------------------------------------------------------------
HRESULT WebBrowser::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = CLSID_WebBrowser;
  return S_OK;
}
HRESULT WebBrowser::IsDirty() { return S_FALSE; }
HRESULT WebBrowser::Load(IStream*) { return E_NOTIMPL; }
HRESULT WebBrowser::Save(IStream*, BOOL) { return E_NOTIMPL; }
HRESULT WebBrowser::GetSizeMax(ULARGE_INTEGER*) { return E_NOTIMPL; }
HRESULT WebBrowser::InitNew() { return S_OK; }

// ---- IOleCommandTarget ---------------------------------------------------------------------------------------------
HRESULT WebBrowser::QueryStatus(const GUID* group, ULONG count, OLECMD* cmds, OLECMDTEXT*) {
  if (group) return OLECMDERR_E_UNKNOWNGROUP;
  for (ULONG i = 0; i < count; ++i) {
    LONG f = 0;
    QueryStatusWB(static_cast<LONG>(cmds[i].cmdID), &f);
    cmds[i].cmdf = static_cast<DWORD>(f);
  }
  return S_OK;
}
HRESULT WebBrowser::Exec(const GUID* group, DWORD id, DWORD option, VARIANT* in, VARIANT* out) {
  if (group) return OLECMDERR_E_UNKNOWNGROUP;
  return ExecWB(static_cast<LONG>(id), static_cast<LONG>(option), in, out);
}

// ---- Class object ---------------------------------------------------------------------------------------------------
namespace {
struct Registration {
  Registration() { RegisterBuiltinClass<WebBrowser, CLSID_WebBrowser>(); }
} registration;
}  // namespace

}  // namespace kv::browser
