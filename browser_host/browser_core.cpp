#include "browser_host/browser_core.h"

#include "browser_host/browser_libs.h"
#include "browser_host/ewb_strings.h"
#include "framework/automation/comobj.h"
#include "framework/automation/dispatch.h"
#include "framework/controls/forms.h"
#include "framework/controls/menus.h"
#include "platform/base/codepage.h"

namespace {

constexpr DISPID kAmbientUserAgent = -5513;
constexpr DISPID kAmbientDownloadControl = -5512;
constexpr DISPID kAmbientUserMode = -709;
constexpr DWORD kShowScriptError = 40;
constexpr DWORD kUnloadNotice = 37, kViewWindowNotice = 39;

const TDispErrorStyle kInvokeErrors{9999, u""};

bool IsRefreshCommand(DWORD id) { return id == 2300 || id == 6041 || id == 6042; }

template <class I>
void ReleaseInto(I*& p) {
  if (p) p->Release();
  p = nullptr;
}

}  // namespace

DWORD DownloadControlFlags(TDownloadControlOptions Options) {
  DWORD flags = 0;
  for (int i = DownloadImages; i <= WorkOffline; ++i) {
    if (!Options.Contains(static_cast<TDownloadControlOption>(i))) continue;
    flags += i <= 14 ? 0x10u << i : 0x10000000u << (i - 15);
  }
  return flags;
}

DWORD HostUIFlagsOf(TUserInterfaceOptions Options) {
  DWORD flags = 0;
  for (int i = DisableTextSelect; i <= ForceUserActivationOnActiveXJava; ++i) {
    if (!Options.Contains(static_cast<TUserInterfaceOption>(i))) continue;
    flags += i <= 14 ? 1u << i : 1u << (i + 1);
  }
  return flags;
}

TCustomEmbeddedWB::TCustomEmbeddedWB(TComponent* AOwner) : TEWB(AOwner) {
  SetDownloadOptions({DownloadImages, DownloadVideos, DownloadBGSounds});
  SetUserInterfaceOptions({EnablesFormsAutoComplete, EnableThemes});
}

// A parked window is the control's: the control destroys it when it closes.
TCustomEmbeddedWB::~TCustomEmbeddedWB() = default;

// ---- Properties and operations ------------------------------------------------------------------------------

void TCustomEmbeddedWB::SetDownloadOptions(TDownloadControlOptions Value) {
  download_options_ = Value;
  host_download_flags_ = DownloadControlFlags(Value);
  if (ControlCreated()) AmbientPropertyChanged(kAmbientDownloadControl);
}

void TCustomEmbeddedWB::SetUserInterfaceOptions(TUserInterfaceOptions Value) {
  ui_options_ = Value;
  host_ui_flags_ = HostUIFlagsOf(Value);
  if (ControlCreated()) AmbientPropertyChanged(kAmbientDownloadControl);
}

void TCustomEmbeddedWB::SetDropHandlingType(TDragDropHandlingType Value) {
  if (Value == drop_handling_) return;
  drop_handling_ = Value;
  HWND server = FindChildWindow("Internet Explorer_Server");
  if (server) RevokeDragDrop(server);
  IDropTarget* target = nullptr;
  switch (Value) {
    case ddtMS: SetRegisterAsDropTarget(true); break;
    case ddtMy: target = static_cast<IDropTarget*>(this); break;
    case ddtCustom:
      if (server) {
        target = static_cast<IDropTarget*>(this);
        if (OnGetDropTarget) OnGetDropTarget(this, target);
      }
      break;
    case ddtNo: SetRegisterAsDropTarget(false); break;
  }
  if (server && target) RegisterDragDrop(server, target);
}

IHTMLDocument2* TCustomEmbeddedWB::GetDocument2() {
  IDispatch* disp = nullptr;
  if (FAILED(DefaultInterface()->get_Document(&disp)) || !disp) return nullptr;
  IHTMLDocument2* doc = nullptr;
  disp->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&doc));
  disp->Release();
  return doc;
}

HWND TCustomEmbeddedWB::FindChildWindow(const AnsiString& ClassName) {
  if (!HandleAllocated()) return nullptr;
  for (HWND h = ::GetWindow(Handle(), GW_CHILD); h; h = ::GetWindow(h, GW_CHILD)) {
    char name[256];
    int n = GetClassNameA(h, name, sizeof name);
    if (n > 0 && AnsiString(name, static_cast<size_t>(n)) == ClassName) return h;
  }
  return nullptr;
}

void TCustomEmbeddedWB::UIActivate() {
  IHTMLDocument2* doc = GetDocument2();
  if (!doc) return;
  doc->Release();
  const bool saved = AllowFocus;
  AllowFocus = true;
  RECT client{};
  ::GetClientRect(Handle(), &client);
  HRESULT hr = OleObject()->DoVerb(OLEIVERB_UIACTIVATE, nullptr, static_cast<IOleClientSite*>(this), 0, Handle(),
                                   &client);
  if (SUCCEEDED(hr) && CanFocus()) {
    if (TCustomForm* form = GetParentForm()) form->SetActiveControl(this);
  }
  AllowFocus = saved;
}

IOleCommandTarget* TCustomEmbeddedWB::DocumentCommandTarget() {
  IDispatch* disp = nullptr;
  if (FAILED(DefaultInterface()->get_Document(&disp)) || !disp) return nullptr;
  IOleCommandTarget* target = nullptr;
  disp->QueryInterface(IID_IOleCommandTarget, reinterpret_cast<void**>(&target));
  disp->Release();
  return target;
}

HRESULT TCustomEmbeddedWB::SetZoom(int Level) {
  IOleCommandTarget* target = DocumentCommandTarget();
  if (!target) return E_UNEXPECTED;
  VARIANT range;
  VariantInit(&range);
  HRESULT hr = target->Exec(nullptr, OLECMDID_GETZOOMRANGE, OLECMDEXECOPT_DONTPROMPTUSER, nullptr, &range);
  if (SUCCEEDED(hr)) {
    OleVariant r(range);
    DWORD bounds = static_cast<DWORD>(r.AsInt64());
    int low = static_cast<SHORT>(LOWORD(bounds)), high = static_cast<SHORT>(HIWORD(bounds));
    if (Level < low) Level = low;
    if (Level > high) Level = high;
    VARIANT in;
    in.vt = VT_I4;
    in.lVal = Level;
    hr = target->Exec(nullptr, OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, &in, nullptr);
  }
  VariantClear(&range);
  target->Release();
  return hr;
}

// ---- Window re-creation ---------------------------------------------------------------------------------------

void TCustomEmbeddedWB::CreateWnd() {
  if (parked_handle_ && IsWindow(parked_handle_)) {
    HWND h = parked_handle_;
    parked_handle_ = nullptr;
    HWND parent = ParentHandle();
    ::SetParent(h, parent);
    RECT r{};
    ::GetClientRect(parent, &r);
    AttachControlWindow(h);
    MoveWindow(h, 0, 0, r.right, r.bottom, TRUE);
    return;
  }
  parked_handle_ = nullptr;
  TEWB::CreateWnd();
}

void TCustomEmbeddedWB::DestroyWindowHandle() {
  if (!ComponentState().Contains(csDestroying) && HandleAllocated() && IsWindow(Handle())) {
    HWND h = DetachControlWindow();
    ::SetParent(h, Application->Handle());
    parked_handle_ = h;
    return;
  }
  TEWB::DestroyWindowHandle();
}

// ---- IUnknown ----------------------------------------------------------------------------------------------------

HRESULT TCustomEmbeddedWB::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (IsEqualIID(riid, IID_IDocHostUIHandler) || IsEqualIID(riid, IID_IDocHostUIHandler2))
    *object = static_cast<IDocHostUIHandler2*>(this);
  else if (IsEqualIID(riid, IID_IDocHostShowUI))
    *object = static_cast<IDocHostShowUI*>(this);
  else if (IsEqualIID(riid, IID_IOleCommandTarget))
    *object = static_cast<IOleCommandTarget*>(this);
  else if (IsEqualIID(riid, IID_IServiceProvider))
    *object = static_cast<IServiceProvider*>(this);
  else if (IsEqualIID(riid, IID_IDownloadManager))
    *object = static_cast<IDownloadManager*>(this);
  else if (IsEqualIID(riid, IID_IDropTarget))
    *object = static_cast<IDropTarget*>(this);
  else if (IsEqualIID(riid, IID_IAuthenticate))
    *object = static_cast<IAuthenticate*>(this);
  else if (IsEqualIID(riid, IID_INewWindowManager))
    *object = static_cast<INewWindowManager*>(this);
  else if (IsEqualIID(riid, IID_IProtectFocus))
    *object = static_cast<IProtectFocus*>(this);
  else if (IsEqualIID(riid, IID_IZoomEvents))
    *object = static_cast<IZoomEvents*>(this);
  else if (IsEqualIID(riid, IID_IHTMLOMWindowServices))
    *object = static_cast<IHTMLOMWindowServices*>(this);
  else if (IsEqualIID(riid, IID_IHostBehaviorInit))
    *object = static_cast<IHostBehaviorInit*>(this);
  else
    return TEWB::QueryInterface(riid, object);
  return S_OK;
}

// ---- Ambient properties ---------------------------------------------------------------------------------------

HRESULT TCustomEmbeddedWB::GetTypeInfoCount(UINT* count) {
  HRESULT hr = TEWB::GetTypeInfoCount(count);
  if (OnGetTypeInfoCount) OnGetTypeInfoCount(this, count, hr);
  return hr;
}

HRESULT TCustomEmbeddedWB::GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) {
  HRESULT hr = TEWB::GetTypeInfo(index, lcid, info);
  if (OnGetTypeInfo) OnGetTypeInfo(this, index, lcid, info, hr);
  return hr;
}

HRESULT TCustomEmbeddedWB::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) {
  HRESULT hr = TEWB::GetIDsOfNames(riid, names, count, lcid, ids);
  if (OnGetIDsOfNames) OnGetIDsOfNames(this, riid, names, count, lcid, ids, hr);
  return hr;
}

HRESULT TCustomEmbeddedWB::Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                  EXCEPINFO* info, UINT* arg_err) {
  try {
    if ((flags & DISPATCH_PROPERTYGET) && result) {
      if (id == kAmbientUserAgent && UserAgentQuery) {
        WideString agent;
        if (UserAgentQuery(agent) == S_OK && !agent.empty()) {
          OleVariant(agent + u"\r\n").CopyTo(result);
          return S_OK;
        }
      } else if (id == kAmbientDownloadControl) {
        OleVariant(static_cast<int>(host_download_flags_)).CopyTo(result);
        return S_OK;
      } else if (id == kAmbientUserMode) {
        OleVariant(UserMode).CopyTo(result);
        return S_OK;
      }
    } else if ((flags & DISPATCH_PROPERTYPUT) && id == kAmbientUserMode && params && params->cArgs >= 1) {
      UserMode = OleVariant(params->rgvarg[0]).AsBoolean();
      return S_OK;
    }
    HRESULT hr = TEWB::Invoke(id, riid, lcid, flags, params, result, info, arg_err);
    if (hr == DISP_E_MEMBERNOTFOUND && OnInvoke) OnInvoke(this, id, riid, lcid, flags, params, result, info, arg_err, hr);
    return hr;
  } catch (...) {
    return DispatchExceptionResult(info, kInvokeErrors);
  }
}

// ---- Host-UI handler ------------------------------------------------------------------------------------------

HRESULT TCustomEmbeddedWB::ShowContextMenu(DWORD id, POINT* pt, IUnknown* command_target, IDispatch* object) {
  HRESULT rezult = E_NOTIMPL;
  if (OnShowContextMenu) OnShowContextMenu(this, id, pt, command_target, object, rezult);
  if (rezult != E_NOTIMPL) return rezult;
  const bool suppressed = DisabledPopupMenus.Contains(rcmAll) ||
                          (id < 10 && DisabledPopupMenus.Contains(static_cast<TIEPopupMenu>(id)));
  if (suppressed) {
    if (PopupMenu) {
      POINT cursor{};
      GetCursorPos(&cursor);
      PopupMenu->Popup(cursor.x, cursor.y);
    }
    return S_OK;
  }
  // A host-drawn menu would be loaded from the browser's resource module, which this
  // platform does not have: the browser shows its own menu.
  return S_FALSE;
}

HRESULT TCustomEmbeddedWB::GetHostInfo(DOCHOSTUIINFO* info) {
  if (!info) return E_POINTER;
  info->cbSize = 20;
  info->dwFlags = host_ui_flags_;
  info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
  if (OnGetHostInfo) OnGetHostInfo(this, *info);
  return S_OK;
}

HRESULT TCustomEmbeddedWB::ShowUI(DWORD id, IOleInPlaceActiveObject* active, IOleCommandTarget* target,
                                  IOleInPlaceFrame* frame, IOleInPlaceUIWindow* doc) {
  HRESULT rezult = S_FALSE;
  if (OnShowUI) OnShowUI(this, id, active, target, frame, doc, rezult);
  return rezult;
}

HRESULT TCustomEmbeddedWB::HideUI() {
  HRESULT rezult = S_FALSE;
  if (OnHideUI) OnHideUI(this, rezult);
  return rezult;
}

HRESULT TCustomEmbeddedWB::UpdateUI() {
  HRESULT rezult = S_FALSE;
  if (OnUpdateUI) OnUpdateUI(this, rezult);
  return rezult;
}

HRESULT TCustomEmbeddedWB::EnableModeless(BOOL enable) {
  if (OnEnableModeless) OnEnableModeless(this, enable);
  return S_OK;
}

HRESULT TCustomEmbeddedWB::OnDocWindowActivate(BOOL activate) {
  if (OnOnDocWindowActivate) OnOnDocWindowActivate(this, activate);
  return S_OK;
}

HRESULT TCustomEmbeddedWB::OnFrameWindowActivate(BOOL activate) {
  if (OnOnFrameWindowActivate) OnOnFrameWindowActivate(this, activate);
  return S_OK;
}

HRESULT TCustomEmbeddedWB::ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame_window) {
  if (OnResizeBorder) OnResizeBorder(this, border, window, frame_window);
  return S_OK;
}

bool TCustomEmbeddedWB::IsMaskedCtrlKey(const MSG& Msg) {
  if (DisableCtrlShortcuts.empty() || Msg.message != WM_KEYDOWN) return false;
  const bool shift = GetKeyState(VK_SHIFT) < 0;
  const bool ctrl = GetKeyState(VK_CONTROL) < 0;
  const bool alt = (Msg.lParam & 0x20000000) != 0;
  if (!ctrl || shift || alt) return false;
  const char ch = static_cast<char>(LOBYTE(Msg.wParam));
  if (DisableCtrlShortcuts.find(ch) == AnsiString::npos) return false;
  if (OnMaskedCtrlChar) OnMaskedCtrlChar(this, ch);
  return true;
}

HRESULT TCustomEmbeddedWB::TranslateAccelerator(LPMSG msg, const GUID* group, DWORD cmd) {
  if (!msg) return E_POINTER;
  if (IsMaskedCtrlKey(*msg)) return S_OK;
  bool done = false;
  if (OnTranslateAccelerator) OnTranslateAccelerator(this, msg, group, cmd, done);
  return done ? S_OK : S_FALSE;
}

HRESULT TCustomEmbeddedWB::GetOptionKeyPath(LPOLESTR* key, DWORD) {
  if (!key) return E_POINTER;
  *key = nullptr;
  if (OptionKeyPath.empty() || OverrideOptionKeyPath) return S_FALSE;
  *key = AnsiToTaskMemWide(OptionKeyPath);
  return *key ? S_OK : E_OUTOFMEMORY;
}

HRESULT TCustomEmbeddedWB::GetOverrideKeyPath(LPOLESTR* key, DWORD) {
  if (!key) return E_POINTER;
  *key = nullptr;
  if (OptionKeyPath.empty() || !OverrideOptionKeyPath) return S_FALSE;
  *key = AnsiToTaskMemWide(OptionKeyPath);
  return *key ? S_OK : E_OUTOFMEMORY;
}

HRESULT TCustomEmbeddedWB::GetDropTarget(IDropTarget*, IDropTarget** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  switch (drop_handling_) {
    case ddtMS: SetRegisterAsDropTarget(true); return E_NOTIMPL;
    case ddtMy: *out = static_cast<IDropTarget*>(this); break;
    case ddtCustom:
      *out = static_cast<IDropTarget*>(this);
      if (OnGetDropTarget) OnGetDropTarget(this, *out);
      break;
    case ddtNo: SetRegisterAsDropTarget(false); break;
  }
  if (*out) (*out)->AddRef();
  return S_OK;
}

HRESULT TCustomEmbeddedWB::GetExternal(IDispatch** external) {
  if (!external) return E_POINTER;
  *external = nullptr;
  if (OnGetExternal) OnGetExternal(this, *external);
  return *external ? S_OK : S_FALSE;
}

HRESULT TCustomEmbeddedWB::TranslateUrl(DWORD, LPWSTR url_in, LPWSTR* url_out) {
  if (!url_out) return E_POINTER;
  *url_out = nullptr;
  WideString out;
  if (OnTranslateUrl) OnTranslateUrl(this, url_in, out);
  if (out.empty()) return S_FALSE;
  *url_out = WideToTaskMem(out);
  return *url_out ? S_OK : E_OUTOFMEMORY;
}

HRESULT TCustomEmbeddedWB::FilterDataObject(IUnknown* data, IUnknown** data_out) {
  if (!data_out) return E_POINTER;
  *data_out = nullptr;
  if (OnFilterDataObject) OnFilterDataObject(this, data, *data_out);
  return *data_out ? S_OK : S_FALSE;
}

// ---- Show-UI -------------------------------------------------------------------------------------------------------

HRESULT TCustomEmbeddedWB::ShowMessage(HWND hwnd, LPOLESTR text, LPOLESTR caption, DWORD type, LPOLESTR help_file,
                                       DWORD help_context, LRESULT* result) {
  if (!OnShowMessage) return S_FALSE;
  LRESULT dummy = 0;
  return OnShowMessage(this, hwnd, text, caption, type, help_file, help_context, result ? *result : dummy);
}

HRESULT TCustomEmbeddedWB::ShowHelp(HWND hwnd, LPOLESTR help_file, UINT command, DWORD data, POINT mouse,
                                    IDispatch* hit) {
  if (OnShowHelpRequest) return OnShowHelpRequest(this, hwnd, help_file, command, data, mouse, hit);
  if ((!help_file || !*help_file) && !HelpFile.empty()) {
    CallHtmlHelp(hwnd, HelpFile, command, data);
    return S_OK;
  }
  return S_FALSE;
}

// ---- Command target ------------------------------------------------------------------------------------------

HRESULT TCustomEmbeddedWB::QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) { return S_OK; }

HRESULT TCustomEmbeddedWB::ShowScriptError(VARIANT* vaIn, VARIANT* vaOut) {
  HRESULT answer = S_OK;
  switch (ScriptErrorAction) {
    case eaContinue:
    case eaCancel:
      if (vaOut) {
        VariantClear(vaOut);
        vaOut->vt = VT_BOOL;
        vaOut->boolVal = ScriptErrorAction == eaContinue ? VARIANT_TRUE : VARIANT_FALSE;
      }
      break;
    case eaAskUser: answer = S_FALSE; break;
  }
  if (!OnScriptError || !vaIn || (vaIn->vt != VT_UNKNOWN && vaIn->vt != VT_DISPATCH) || !vaIn->punkVal)
    return answer;
  // The document comes in vaIn (vaOut holds the answer just given).
  IHTMLDocument2* doc = nullptr;
  if (FAILED(vaIn->punkVal->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&doc))) || !doc)
    return answer;
  IHTMLWindow2* window = nullptr;
  IHTMLEventObj* event = nullptr;
  doc->get_parentWindow(&window);
  doc->Release();
  if (window) {
    window->get_event(&event);
    window->Release();
  }
  if (!event) return answer;
  auto read = [&](const char16_t* name) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
    if (FAILED(event->GetIDsOfNames(IID_NULL, names, 1, 0, &id)))
      throw Exception(Format("'%s' is not supported.", {kv::WideToAnsi(name)}));
    return DispatchInvoke(event, id, DISPATCH_PROPERTYGET, {}).AsString();
  };
  try {
    AnsiString line = read(u"errorline"), character = read(u"errorCharacter"), code = read(u"errorCode"),
               message = read(u"errorMessage"), url = read(u"errorUrl");
    event->Release();
    event = nullptr;
    OnScriptError(this, line, character, code, message, url, ScriptErrorAction);
  } catch (...) {
    if (event) event->Release();
    throw;
  }
  return answer;
}

HRESULT TCustomEmbeddedWB::Exec(const GUID* group, DWORD id, DWORD option, VARIANT* in, VARIANT* out) {
  try {
    if (group && IsEqualGUID(*group, CGID_Explorer)) {
      if (id == kUnloadNotice && OnUnload) {
        OnUnload(this);
        return S_OK;
      }
      if (id == kViewWindowNotice &&
          (FindChildWindow("Internet Explorer_Server") || FindChildWindow("SysListView32")) && ListViewCommandHook)
        ListViewCommandHook();
    } else if (group && IsEqualGUID(*group, CGID_DocHostCommandHandler)) {
      if (id == kShowScriptError) return ShowScriptError(in, out);
      if (IsRefreshCommand(id)) {
        if (!OnRefresh) return OLECMDERR_E_NOTSUPPORTED;
        bool cancel = false;
        OnRefresh(this, id, cancel);
        return cancel ? S_OK : OLECMDERR_E_NOTSUPPORTED;
      }
    }
    HRESULT rezult = OLECMDERR_E_NOTSUPPORTED;
    if (OnCommandExec) OnCommandExec(this, group, id, option, in, out, rezult);
    return rezult;
  } catch (...) {
    Application->HandleException(this);
    return E_UNEXPECTED;
  }
}

// ---- Services ----------------------------------------------------------------------------------------------------

bool TCustomEmbeddedWB::IsHostService(REFGUID guidService, REFIID riid) {
  if (IsEqualIID(riid, IID_IAuthenticate)) return static_cast<bool>(OnAuthenticate);
  if (IsEqualGUID(guidService, IID_IProtectFocus)) return true;
  if (IsEqualGUID(guidService, IID_INewWindowManager)) return static_cast<bool>(OnEvaluateNewWindow);
  if (IsEqualGUID(guidService, IID_IDownloadManager)) return static_cast<bool>(OnFileDownload);
  if (IsEqualGUID(guidService, IID_IHostBehaviorInit)) return static_cast<bool>(OnPopulateNSTable);
  if (IsEqualGUID(guidService, IID_IHTMLOMWindowServices))
    return FloatingHosting || OnMove || OnMoveBy || OnResize || OnResizeBy;
  return false;
}

HRESULT TCustomEmbeddedWB::QueryService(REFGUID service, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (IsHostService(service, riid)) QueryInterface(riid, object);
  if (!*object && OnQueryService) {
    IUnknown* obj = nullptr;
    OnQueryService(this, service, riid, obj);
    if (obj) *object = obj;
  }
  return *object ? S_OK : E_NOINTERFACE;
}

HRESULT TCustomEmbeddedWB::Download(IMoniker* moniker, IBindCtx* bind_context, DWORD bind_verb, LONG bind_flags,
                                    BINDINFO* bind_info, LPCOLESTR headers, LPCOLESTR redirect, UINT code_page) {
  HRESULT rezult = E_NOTIMPL;
  if (!OnFileDownload) return rezult;
  if (moniker) moniker->AddRef();
  if (bind_context) bind_context->AddRef();
  try {
    OnFileDownload(this, moniker, bind_context, bind_verb, bind_flags, bind_info, headers, redirect, code_page, rezult);
  } catch (...) {
    rezult = E_UNEXPECTED;
  }
  if (bind_context) bind_context->Release();
  if (moniker) moniker->Release();
  return rezult;
}

// ---- Drop target -----------------------------------------------------------------------------------------------

HRESULT TCustomEmbeddedWB::DragEnter(IDataObject* data, DWORD key_state, POINTL pt, DWORD* effect) {
  DWORD e = DROPEFFECT_NONE;
  HRESULT rezult = S_OK;
  if (OnDragEnter) OnDragEnter(this, data, key_state, pt, e, rezult);
  if (effect) *effect = e;
  return rezult;
}

HRESULT TCustomEmbeddedWB::DragOver(DWORD key_state, POINTL pt, DWORD* effect) {
  DWORD e = DROPEFFECT_NONE;
  HRESULT rezult = S_OK;
  if (OnDragOver2) OnDragOver2(this, key_state, pt, e, rezult);
  if (effect) *effect = e;
  return rezult;
}

HRESULT TCustomEmbeddedWB::DragLeave() {
  if (OnDragLeave) OnDragLeave(this);
  return S_OK;
}

HRESULT TCustomEmbeddedWB::Drop(IDataObject* data, DWORD key_state, POINTL pt, DWORD* effect) {
  DWORD e = DROPEFFECT_NONE;
  HRESULT rezult = S_OK;
  if (OnDropEvent) OnDropEvent(this, data, key_state, pt, e, rezult);
  if (effect) *effect = e;
  return rezult;
}

// ---- Authentication, new windows, focus, zoom ----------------------------------------------------------

HRESULT TCustomEmbeddedWB::Authenticate(HWND* hwnd, LPWSTR* user_name, LPWSTR* password) {
  HWND window = HandleAllocated() ? Handle() : nullptr;
  WideString user, pass;
  HRESULT rezult = S_OK;
  if (OnAuthenticate) OnAuthenticate(this, window, user, pass, rezult);
  if (hwnd) *hwnd = window;
  if (user_name) *user_name = user.empty() ? nullptr : WideToTaskMem(user);
  if (password) *password = pass.empty() ? nullptr : WideToTaskMem(pass);
  return rezult;
}

HRESULT TCustomEmbeddedWB::EvaluateNewWindow(LPCWSTR url, LPCWSTR name, LPCWSTR url_context, LPCWSTR features,
                                             BOOL replace, DWORD flags, DWORD user_action_time) {
  HRESULT rezult = E_FAIL;
  if (OnEvaluateNewWindow)
    OnEvaluateNewWindow(this, url, name, url_context, features, replace, flags, user_action_time, rezult);
  return rezult;
}

HRESULT TCustomEmbeddedWB::AllowFocusChange(BOOL* allow) {
  if (!allow) return E_POINTER;
  *allow = AllowFocus ? TRUE : FALSE;
  if (OnAllowFocusChange) OnAllowFocusChange(this, *allow);
  return S_OK;
}

HRESULT TCustomEmbeddedWB::OnZoomPercentChanged(ULONG percent) {
  return OnZoomPercentChange ? OnZoomPercentChange(this, percent) : S_FALSE;
}

HRESULT TCustomEmbeddedWB::PopulateNamespaceTable() {
  if (OnPopulateNSTable) OnPopulateNSTable(this);
  return S_OK;
}

// ---- Window services -------------------------------------------------------------------------------------------

void TCustomEmbeddedWB::MoveOwnerForm(bool relative_position, bool relative_size, LONG a, LONG b, bool size) {
  TCustomForm* form = GetParentForm();
  if (!FloatingHosting || !form) return;
  if (size) {
    int w = relative_size ? form->Width() + a : a, h = relative_size ? form->Height() + b : b;
    form->SetBounds(form->Left(), form->Top(), w, h);
  } else {
    int x = relative_position ? form->Left() + a : a, y = relative_position ? form->Top() + b : b;
    form->SetBounds(x, y, form->Width(), form->Height());
  }
}

HRESULT TCustomEmbeddedWB::moveTo(LONG x, LONG y) {
  MoveOwnerForm(false, false, x, y, false);
  if (OnMove) OnMove(this, x, y);
  return S_OK;
}

HRESULT TCustomEmbeddedWB::moveBy(LONG x, LONG y) {
  MoveOwnerForm(true, false, x, y, false);
  if (OnMoveBy) OnMoveBy(this, x, y);
  return S_OK;
}

HRESULT TCustomEmbeddedWB::resizeTo(LONG x, LONG y) {
  MoveOwnerForm(false, false, x, y, true);
  if (OnResize) OnResize(this, x, y);
  return S_OK;
}

HRESULT TCustomEmbeddedWB::resizeBy(LONG x, LONG y) {
  MoveOwnerForm(false, true, x, y, true);
  if (OnResizeBy) OnResizeBy(this, x, y);
  return S_OK;
}
