#include "framework/activex/axctrls.h"

#include <algorithm>
#include <cstring>

#include "framework/controls/typinfo.h"
#include "framework/core/sysutils.h"
#include "platform/com/unknown.h"

namespace {

// The hidden window that holds controls while no container shows them; it goes with
// the module.
struct Parking {
  HWND window = nullptr;
  ~Parking() {
    if (FrameworkInLibrary() && window && IsWindow(window)) DeallocateHWnd(window);
  }
};

HWND ParkingWindow() {
  static Parking parking;
  if (!parking.window || !IsWindow(parking.window)) parking.window = AllocateHWnd(nullptr);
  return parking.window;
}

int HimetricToPixels(LONG v) { return static_cast<int>((static_cast<int64_t>(v) * 96 + 1270) / 2540); }
LONG PixelsToHimetric(int v) { return static_cast<LONG>((static_cast<int64_t>(v) * 2540 + 48) / 96); }

template <class I>
void ReleaseInto(I*& p) {
  if (p) {
    I* q = p;
    p = nullptr;
    q->Release();
  }
}

// Persistence: "KVAX", a version, a count and that many (name, value) pairs of
// length-prefixed byte strings.
constexpr char kMagic[4] = {'K', 'V', 'A', 'X'};
constexpr uint32_t kVersion = 1;
constexpr uint32_t kMaxProps = 4096;
constexpr uint32_t kMaxText = 1u << 20;

bool WriteAll(IStream* s, const void* data, ULONG size) {
  ULONG written = 0;
  return SUCCEEDED(s->Write(data, size, &written)) && written == size;
}

bool ReadAll(IStream* s, void* data, ULONG size) {
  ULONG read = 0;
  return SUCCEEDED(s->Read(data, size, &read)) && read == size;
}

bool WriteU32(IStream* s, uint32_t v) {
  unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                        static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
  return WriteAll(s, b, 4);
}

bool ReadU32(IStream* s, uint32_t& v) {
  unsigned char b[4];
  if (!ReadAll(s, b, 4)) return false;
  v = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
      (static_cast<uint32_t>(b[3]) << 24);
  return true;
}

bool WriteText(IStream* s, const AnsiString& t) {
  return WriteU32(s, static_cast<uint32_t>(t.size())) &&
         (t.empty() || WriteAll(s, t.data(), static_cast<ULONG>(t.size())));
}

bool ReadText(IStream* s, AnsiString& t) {
  uint32_t n;
  if (!ReadU32(s, n) || n > kMaxText) return false;
  t.assign(n, '\0');
  return n == 0 || ReadAll(s, t.data(), n);
}

// The window between the container and the control: it gives the control the
// notifications of its children (TWinControl reflects them) and fills itself with it.
class TReflectorWindow : public TWinControl {
 public:
  explicit TReflectorWindow(TComponent* AOwner) : TWinControl(AOwner) { control_style_ << csAcceptsControls; }
  KV_CLASS_NAME(TReflectorWindow)
};

}  // namespace

// ---- The event connection point ------------------------------------------------------------------------

// The platform's connection point, telling the control whenever its sinks change.
class TActiveXControlBase::EventPoint final : public kv::RefCounted<IConnectionPoint> {
 public:
  EventPoint(TActiveXControlBase* owner, const IID& iid)
      : owner_(owner), inner_(new kv::ConnectionPoint(static_cast<IConnectionPointContainer*>(owner), iid)) {}
  EventPoint(const EventPoint&) = delete;
  EventPoint& operator=(const EventPoint&) = delete;

  void Detach() {
    owner_ = nullptr;
    inner_->Detach();
  }
  std::vector<IUnknown*> Sinks() const { return inner_->Sinks(); }

  bool Accepts(REFIID riid) const override { return IsEqualIID(riid, IID_IConnectionPoint); }
  HRESULT GetConnectionInterface(IID* iid) override { return inner_->GetConnectionInterface(iid); }
  HRESULT GetConnectionPointContainer(IConnectionPointContainer** out) override {
    return inner_->GetConnectionPointContainer(out);
  }
  HRESULT Advise(IUnknown* sink, DWORD* cookie) override {
    HRESULT hr = inner_->Advise(sink, cookie);
    if (SUCCEEDED(hr) && owner_) owner_->SinksChanged();
    return hr;
  }
  HRESULT Unadvise(DWORD cookie) override {
    HRESULT hr = inner_->Unadvise(cookie);
    if (SUCCEEDED(hr) && owner_) owner_->SinksChanged();
    return hr;
  }
  HRESULT EnumConnections(IEnumConnections** out) override { return inner_->EnumConnections(out); }

 private:
  ~EventPoint() {
    inner_->Detach();
    inner_->Release();
  }
  TActiveXControlBase* owner_;
  kv::ConnectionPoint* inner_;
};

// ---- TActiveXControlBase ------------------------------------------------------------------------------------

TActiveXControlBase::TActiveXControlBase(const IID& EventIID) : event_iid_(EventIID) {
  event_point_ = new EventPoint(this, EventIID);
}

TActiveXControlBase::~TActiveXControlBase() {
  if (in_place_active_ && in_place_site_) {
    ui_active_ = false;
    in_place_active_ = false;
    in_place_site_->OnInPlaceDeactivate();
  }
  event_point_->Detach();
  event_point_->Release();
  ReleaseSites();
  ReleaseInto(view_sink_);
  for (auto& s : ole_sinks_) s.second->Release();
  ole_sinks_.clear();
  control_.reset();
  reflector_.reset();
}

void TActiveXControlBase::Attach(std::unique_ptr<TWinControl> Control, TActiveXControlFactoryBase* Factory) {
  control_ = std::move(Control);
  factory_ = Factory;
  reflector_ = std::make_unique<TReflectorWindow>(nullptr);
  reflector_->SetBounds(0, 0, control_->Width(), control_->Height());
  control_->SetBounds(0, 0, control_->Width(), control_->Height());
  control_->SetParent(reflector_.get());
  control_->SetAlign(alClient);
  reflector_->SetParentWindow(ParkingWindow());
  extent_ = SIZEL{PixelsToHimetric(control_->Width()), PixelsToHimetric(control_->Height())};
  InitializeControl();
}

void TActiveXControlBase::ReleaseSites() {
  ReleaseInto(in_place_site_);
  ReleaseInto(control_site_);
  ReleaseInto(ambient_);
  ReleaseInto(client_site_);
}

HRESULT TActiveXControlBase::QueryControlInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (IsEqualIID(riid, IID_IOleObject))
    *object = static_cast<IOleObject*>(this);
  else if (IsEqualIID(riid, IID_IOleControl))
    *object = static_cast<IOleControl*>(this);
  else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceObject))
    *object = static_cast<IOleInPlaceObject*>(this);
  else if (IsEqualIID(riid, IID_IOleInPlaceActiveObject))
    *object = static_cast<IOleInPlaceActiveObject*>(this);
  else if (IsEqualIID(riid, IID_IViewObject) || IsEqualIID(riid, IID_IViewObject2))
    *object = static_cast<IViewObject2*>(this);
  else if (IsEqualIID(riid, IID_IPersist) || IsEqualIID(riid, IID_IPersistStreamInit))
    *object = static_cast<IPersistStreamInit*>(this);
  else if (IsEqualIID(riid, IID_IConnectionPointContainer))
    *object = static_cast<IConnectionPointContainer*>(this);
  else if (IsEqualIID(riid, IID_IObjectSafety))
    *object = static_cast<IObjectSafety*>(this);
  else
    return E_NOINTERFACE;
  Identity()->AddRef();
  return S_OK;
}

void TActiveXControlBase::SinksChanged() {
  std::vector<IUnknown*> sinks = event_point_->Sinks();
  try {
    EventSinkChanged(sinks.empty() ? nullptr : sinks.front());
  } catch (...) {
  }
  for (IUnknown* s : sinks) s->Release();
}

void TActiveXControlBase::FireEvent(DISPID Id, const std::vector<OleVariant>& Args) {
  if (freeze_count_ > 0) return;
  std::vector<VARIANT> args(Args.size());
  for (size_t i = 0; i < Args.size(); ++i) args[Args.size() - 1 - i] = Args[i].Var();
  DISPPARAMS params{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
  std::vector<IUnknown*> sinks = event_point_->Sinks();
  for (IUnknown* s : sinks) {
    // Event interfaces are dispatch interfaces: the sink's vtable is IDispatch's.
    auto* d = static_cast<IDispatch*>(s);
    d->Invoke(Id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
  }
  for (IUnknown* s : sinks) s->Release();
}

OleVariant TActiveXControlBase::AmbientProperty(DISPID Id) const {
  OleVariant result;
  if (!ambient_) return result;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT v;
  VariantInit(&v);
  if (SUCCEEDED(ambient_->Invoke(Id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr))) {
    result = OleVariant(v);
  }
  VariantClear(&v);
  return result;
}

bool TActiveXControlBase::AmbientUserMode() const {
  OleVariant v = AmbientProperty(DISPID_AMBIENT_USERMODE);
  if (v.IsEmpty()) return true;
  try {
    return v.AsBoolean();
  } catch (...) {
    return true;
  }
}

// IOleObject ------------------------------------------------------------------------------------------------

HRESULT TActiveXControlBase::SetClientSite(IOleClientSite* site) {
  if (site == client_site_) return S_OK;
  if (site) site->AddRef();
  ReleaseSites();
  client_site_ = site;
  if (site) {
    site->QueryInterface(IID_IOleControlSite, reinterpret_cast<void**>(&control_site_));
    site->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&ambient_));
    try {
      AmbientPropertyChanged(DISPID_UNKNOWN);
    } catch (...) {
    }
  }
  return S_OK;
}

HRESULT TActiveXControlBase::GetClientSite(IOleClientSite** site) {
  if (!site) return E_POINTER;
  *site = client_site_;
  if (client_site_) client_site_->AddRef();
  return S_OK;
}

HRESULT TActiveXControlBase::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

HRESULT TActiveXControlBase::Close(DWORD) {
  HRESULT hr = InPlaceDeactivate();
  for (auto& s : std::vector<std::pair<DWORD, IAdviseSink*>>(ole_sinks_)) s.second->OnClose();
  return hr;
}

HRESULT TActiveXControlBase::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }

HRESULT TActiveXControlBase::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker) *moniker = nullptr;
  return E_NOTIMPL;
}

HRESULT TActiveXControlBase::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }

HRESULT TActiveXControlBase::GetClipboardData(DWORD, IDataObject** data) {
  if (data) *data = nullptr;
  return E_NOTIMPL;
}

HRESULT TActiveXControlBase::InPlaceActivate(bool ui_activate) {
  if (!client_site_) return E_UNEXPECTED;
  if (!control_) return E_UNEXPECTED;
  if (!in_place_active_) {
    IOleInPlaceSite* site = nullptr;
    if (FAILED(client_site_->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&site))) || !site)
      return E_NOINTERFACE;
    if (site->CanInPlaceActivate() != S_OK) {
      site->Release();
      return E_FAIL;
    }
    in_place_site_ = site;
    site->OnInPlaceActivate();
    HWND parent = nullptr;
    if (FAILED(site->GetWindow(&parent)) || !parent) {
      site->OnInPlaceDeactivate();
      ReleaseInto(in_place_site_);
      return E_FAIL;
    }
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* doc = nullptr;
    RECT pos{}, clip{};
    OLEINPLACEFRAMEINFO info{};
    info.cb = sizeof info;
    site->GetWindowContext(&frame, &doc, &pos, &clip, &info);
    ReleaseInto(frame);
    ReleaseInto(doc);
    reflector_->SetParentWindow(parent);
    reflector_->SetBoundsRect(pos);
    reflector_->SetVisible(true);
    reflector_->HandleNeeded();
    in_place_active_ = true;
    client_site_->ShowObject();
  }
  if (ui_activate && !ui_active_) {
    ui_active_ = true;
    in_place_site_->OnUIActivate();
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* doc = nullptr;
    RECT pos{}, clip{};
    OLEINPLACEFRAMEINFO info{};
    info.cb = sizeof info;
    if (SUCCEEDED(in_place_site_->GetWindowContext(&frame, &doc, &pos, &clip, &info))) {
      if (frame) frame->SetActiveObject(static_cast<IOleInPlaceActiveObject*>(this), nullptr);
      if (doc) doc->SetActiveObject(static_cast<IOleInPlaceActiveObject*>(this), nullptr);
    }
    ReleaseInto(frame);
    ReleaseInto(doc);
    if (control_->CanFocus()) ::SetFocus(control_->Handle());
    if (control_site_) control_site_->OnFocus(TRUE);
  }
  return S_OK;
}

HRESULT TActiveXControlBase::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND, LPCRECT) {
  try {
    if (!client_site_ && site) SetClientSite(site);
    switch (verb) {
      case OLEIVERB_PRIMARY:
      case OLEIVERB_SHOW:
      case OLEIVERB_UIACTIVATE: return InPlaceActivate(true);
      case OLEIVERB_INPLACEACTIVATE: return InPlaceActivate(false);
      case OLEIVERB_HIDE:
        UIDeactivate();
        if (reflector_) reflector_->Hide();
        return S_OK;
      case OLEIVERB_DISCARDUNDOSTATE: return S_OK;
      default: return verb > 0 ? OLEOBJ_S_INVALIDVERB : E_NOTIMPL;
    }
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT TActiveXControlBase::EnumVerbs(IEnumOLEVERB** verbs) {
  if (verbs) *verbs = nullptr;
  return OLE_S_USEREG;
}

HRESULT TActiveXControlBase::Update() { return S_OK; }
HRESULT TActiveXControlBase::IsUpToDate() { return S_OK; }

HRESULT TActiveXControlBase::GetUserClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  if (!factory_) return E_UNEXPECTED;
  *clsid = factory_->ClassID();
  return S_OK;
}

HRESULT TActiveXControlBase::GetUserType(DWORD, LPOLESTR* type) {
  if (type) *type = nullptr;
  return OLE_S_USEREG;
}

HRESULT TActiveXControlBase::SetExtent(DWORD aspect, SIZEL* size) {
  if (!size) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (size->cx < 0 || size->cy < 0) return E_INVALIDARG;
  extent_ = *size;
  try {
    if (reflector_)
      reflector_->SetBounds(reflector_->Left(), reflector_->Top(), HimetricToPixels(size->cx),
                            HimetricToPixels(size->cy));
  } catch (...) {
    return E_UNEXPECTED;
  }
  return S_OK;
}

HRESULT TActiveXControlBase::GetExtent(DWORD aspect, SIZEL* size) {
  if (!size) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  *size = control_ ? SIZEL{PixelsToHimetric(control_->Width()), PixelsToHimetric(control_->Height())} : extent_;
  return S_OK;
}

HRESULT TActiveXControlBase::Advise(IAdviseSink* sink, DWORD* connection) {
  if (!sink || !connection) return E_POINTER;
  sink->AddRef();
  *connection = ++next_advise_;
  ole_sinks_.emplace_back(*connection, sink);
  return S_OK;
}

HRESULT TActiveXControlBase::Unadvise(DWORD connection) {
  for (auto it = ole_sinks_.begin(); it != ole_sinks_.end(); ++it) {
    if (it->first == connection) {
      IAdviseSink* s = it->second;
      ole_sinks_.erase(it);
      s->Release();
      return S_OK;
    }
  }
  return OLE_E_NOCONNECTION;
}

HRESULT TActiveXControlBase::EnumAdvise(IEnumSTATDATA** advise) {
  if (advise) *advise = nullptr;
  return E_NOTIMPL;
}

HRESULT TActiveXControlBase::GetMiscStatus(DWORD, DWORD* status) {
  if (!status) return E_POINTER;
  *status = (factory_ ? factory_->MiscStatus() : 0) | OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE |
            OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST;
  return S_OK;
}

HRESULT TActiveXControlBase::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// IOleControl -----------------------------------------------------------------------------------------------

HRESULT TActiveXControlBase::GetControlInfo(CONTROLINFO* info) {
  if (!info) return E_POINTER;
  if (info->cb < sizeof(CONTROLINFO)) return E_INVALIDARG;
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}

HRESULT TActiveXControlBase::OnMnemonic(MSG*) { return S_OK; }

HRESULT TActiveXControlBase::OnAmbientPropertyChange(DISPID id) {
  try {
    AmbientPropertyChanged(id);
  } catch (...) {
    return E_UNEXPECTED;
  }
  return S_OK;
}

HRESULT TActiveXControlBase::FreezeEvents(BOOL freeze) {
  if (freeze)
    ++freeze_count_;
  else if (freeze_count_ > 0)
    --freeze_count_;
  return S_OK;
}

// IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject -----------------------------------------------------

HRESULT TActiveXControlBase::GetWindow(HWND* hwnd) {
  if (!hwnd) return E_POINTER;
  *hwnd = nullptr;
  if (!reflector_) return E_UNEXPECTED;
  try {
    *hwnd = reflector_->Handle();
  } catch (...) {
    return E_FAIL;
  }
  return S_OK;
}

HRESULT TActiveXControlBase::ContextSensitiveHelp(BOOL) { return S_OK; }

HRESULT TActiveXControlBase::InPlaceDeactivate() {
  if (!in_place_active_) return S_OK;
  UIDeactivate();
  in_place_active_ = false;
  try {
    if (reflector_) reflector_->SetParentWindow(ParkingWindow());
  } catch (...) {
  }
  if (in_place_site_) in_place_site_->OnInPlaceDeactivate();
  ReleaseInto(in_place_site_);
  return S_OK;
}

HRESULT TActiveXControlBase::UIDeactivate() {
  if (!ui_active_) return S_OK;
  ui_active_ = false;
  if (in_place_site_) {
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* doc = nullptr;
    RECT pos{}, clip{};
    OLEINPLACEFRAMEINFO info{};
    info.cb = sizeof info;
    if (SUCCEEDED(in_place_site_->GetWindowContext(&frame, &doc, &pos, &clip, &info))) {
      if (frame) frame->SetActiveObject(nullptr, nullptr);
      if (doc) doc->SetActiveObject(nullptr, nullptr);
    }
    ReleaseInto(frame);
    ReleaseInto(doc);
    in_place_site_->OnUIDeactivate(FALSE);
  }
  return S_OK;
}

HRESULT TActiveXControlBase::SetObjectRects(LPCRECT pos, LPCRECT) {
  if (!pos) return E_POINTER;
  if (pos->right < pos->left || pos->bottom < pos->top) return E_INVALIDARG;
  try {
    if (reflector_) reflector_->SetBoundsRect(*pos);
  } catch (...) {
    return E_UNEXPECTED;
  }
  extent_ = SIZEL{PixelsToHimetric(pos->right - pos->left), PixelsToHimetric(pos->bottom - pos->top)};
  return S_OK;
}

HRESULT TActiveXControlBase::ReactivateAndUndo() { return E_NOTIMPL; }

HRESULT TActiveXControlBase::TranslateAccelerator(LPMSG) { return S_FALSE; }
HRESULT TActiveXControlBase::OnFrameWindowActivate(BOOL) { return S_OK; }
HRESULT TActiveXControlBase::OnDocWindowActivate(BOOL) { return S_OK; }
HRESULT TActiveXControlBase::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
HRESULT TActiveXControlBase::EnableModeless(BOOL) { return S_OK; }

// IViewObject2 ---------------------------------------------------------------------------------------------

HRESULT TActiveXControlBase::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC draw_dc, LPCRECTL bounds,
                                  LPCRECTL, BOOL (*)(ULONG_PTR), ULONG_PTR) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!draw_dc || !bounds) return E_INVALIDARG;
  if (!reflector_) return E_UNEXPECTED;
  try {
    HWND h = reflector_->Handle();
    int saved = SaveDC(draw_dc);
    OffsetViewportOrgEx(draw_dc, bounds->left, bounds->top, nullptr);
    IntersectClipRect(draw_dc, 0, 0, bounds->right - bounds->left, bounds->bottom - bounds->top);
    SendMessageA(h, WM_PRINT, reinterpret_cast<WPARAM>(draw_dc),
                 PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
    RestoreDC(draw_dc, saved);
  } catch (...) {
    return VIEW_E_DRAW;
  }
  return S_OK;
}

HRESULT TActiveXControlBase::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors) {
  if (colors) *colors = nullptr;
  return S_FALSE;
}

HRESULT TActiveXControlBase::Freeze(DWORD, LONG, void*, DWORD* freeze) {
  if (freeze) *freeze = 0;
  return E_NOTIMPL;
}

HRESULT TActiveXControlBase::Unfreeze(DWORD) { return E_NOTIMPL; }

HRESULT TActiveXControlBase::SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* sink) {
  if (sink) sink->AddRef();
  ReleaseInto(view_sink_);
  view_sink_ = sink;
  view_aspects_ = aspects;
  view_advf_ = advf;
  return S_OK;
}

HRESULT TActiveXControlBase::GetAdvise(DWORD* aspects, DWORD* advf, IAdviseSink** sink) {
  if (aspects) *aspects = view_aspects_;
  if (advf) *advf = view_advf_;
  if (sink) {
    *sink = view_sink_;
    if (view_sink_) view_sink_->AddRef();
  }
  return S_OK;
}

void TActiveXControlBase::NotifyViewChange() {
  if (view_sink_) view_sink_->OnViewChange(DVASPECT_CONTENT, -1);
}

HRESULT TActiveXControlBase::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
  return GetExtent(aspect, size);
}

// IPersistStreamInit -----------------------------------------------------------------------------------------

HRESULT TActiveXControlBase::GetClassID(CLSID* clsid) { return GetUserClassID(clsid); }

HRESULT TActiveXControlBase::IsDirty() { return dirty_ ? S_OK : S_FALSE; }

std::vector<std::pair<AnsiString, AnsiString>> TActiveXControlBase::PersistentProps() {
  // The container keeps the control's place and size itself.
  static const char* skip[] = {"Name", "Left", "Top", "Width", "Height", "ClientWidth", "ClientHeight", "TabOrder"};
  std::vector<std::pair<AnsiString, AnsiString>> out;
  for (const AnsiString& name : GetPropNames(control_.get())) {
    if (std::any_of(std::begin(skip), std::end(skip), [&](const char* s) { return SameText(name, s); })) continue;
    const TPropInfo* p = GetPropInfo(control_.get(), name);
    if (!p || !p->Writable() || p->Kind == tkClass) continue;
    out.emplace_back(name, GetPropValue(control_.get(), name));
  }
  return out;
}

HRESULT TActiveXControlBase::Save(IStream* stream, BOOL clear_dirty) {
  if (!stream) return E_POINTER;
  if (!control_) return E_UNEXPECTED;
  try {
    auto props = PersistentProps();
    if (!WriteAll(stream, kMagic, 4) || !WriteU32(stream, kVersion) ||
        !WriteU32(stream, static_cast<uint32_t>(props.size())))
      return STG_E_WRITEFAULT;
    for (auto& [name, value] : props)
      if (!WriteText(stream, name) || !WriteText(stream, value)) return STG_E_WRITEFAULT;
  } catch (...) {
    return E_UNEXPECTED;
  }
  if (clear_dirty) dirty_ = false;
  return S_OK;
}

HRESULT TActiveXControlBase::Load(IStream* stream) {
  if (!stream) return E_POINTER;
  if (!control_) return E_UNEXPECTED;
  char magic[4];
  uint32_t version = 0, count = 0;
  if (!ReadAll(stream, magic, 4) || std::memcmp(magic, kMagic, 4) != 0 || !ReadU32(stream, version) ||
      version != kVersion || !ReadU32(stream, count) || count > kMaxProps)
    return E_FAIL;
  std::vector<std::pair<AnsiString, AnsiString>> props;
  for (uint32_t i = 0; i < count; ++i) {
    AnsiString name, value;
    if (!ReadText(stream, name) || !ReadText(stream, value)) return E_FAIL;
    props.emplace_back(std::move(name), std::move(value));
  }
  try {
    for (auto& [name, value] : props) {
      // Names this version does not know are left out.
      if (IsPublishedProp(control_.get(), name)) SetPropValue(control_.get(), name, value);
    }
  } catch (...) {
    return E_FAIL;
  }
  dirty_ = false;
  NotifyViewChange();
  return S_OK;
}

HRESULT TActiveXControlBase::GetSizeMax(ULARGE_INTEGER* size) {
  if (!size) return E_POINTER;
  if (!control_) return E_UNEXPECTED;
  try {
    uint64_t n = 12;
    for (auto& [name, value] : PersistentProps()) n += 8 + name.size() + value.size();
    size->QuadPart = n;
  } catch (...) {
    return E_UNEXPECTED;
  }
  return S_OK;
}

HRESULT TActiveXControlBase::InitNew() {
  dirty_ = false;
  return S_OK;
}

// IConnectionPointContainer ----------------------------------------------------------------------------------

HRESULT TActiveXControlBase::EnumConnectionPoints(IEnumConnectionPoints** out) {
  if (!out) return E_POINTER;
  *out = new kv::EnumConnectionPoints({static_cast<IConnectionPoint*>(event_point_)});
  return S_OK;
}

HRESULT TActiveXControlBase::FindConnectionPoint(REFIID riid, IConnectionPoint** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualIID(riid, event_iid_)) return CONNECT_E_NOCONNECTION;
  event_point_->AddRef();
  *out = event_point_;
  return S_OK;
}

// IObjectSafety ---------------------------------------------------------------------------------------------

namespace {

constexpr DWORD kSafetySupported = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;

// Safety is answered only for the interfaces the control has.
bool HasInterface(IOleObject* control, REFIID riid) {
  IUnknown* probe = nullptr;
  if (FAILED(control->QueryInterface(riid, reinterpret_cast<void**>(&probe))) || !probe) return false;
  probe->Release();
  return true;
}

}  // namespace

HRESULT TActiveXControlBase::GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) {
  if (!supported || !enabled) return E_POINTER;
  if (!HasInterface(this, riid)) return E_NOINTERFACE;
  *supported = kSafetySupported;
  *enabled = safety_enabled_;
  return S_OK;
}

HRESULT TActiveXControlBase::SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) {
  if (!HasInterface(this, riid)) return E_NOINTERFACE;
  if (mask & ~kSafetySupported) return E_FAIL;
  safety_enabled_ = (safety_enabled_ & ~mask) | (enabled & mask);
  return S_OK;
}

// ---- TActiveXControlFactoryBase --------------------------------------------------------------------------

TActiveXControlFactoryBase::TActiveXControlFactoryBase(TComServer& server, TCreator creator, const CLSID& clsid,
                                                       const AnsiString& class_name, const AnsiString& description,
                                                       int ToolboxBitmapID, DWORD MiscStatus, TThreadingModel threading)
    : TComObjectFactory(server, std::move(creator), clsid, class_name, description, ciMultiInstance, threading),
      toolbox_bitmap_(ToolboxBitmapID),
      misc_status_(MiscStatus) {}

void TActiveXControlFactoryBase::UpdateRegistry(bool Register) {
  WideString class_key = u"CLSID\\" + kv::GuidToString(ClassID());
  if (Register) {
    TComObjectFactory::UpdateRegistry(true);
    DWORD misc = misc_status_ | OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
                 OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST;
    auto wide = [](const AnsiString& s) { return WideString(s.begin(), s.end()); };
    CreateRegKey(class_key + u"\\Control", u"", u"");
    CreateRegKey(class_key + u"\\MiscStatus", u"", u"0");
    CreateRegKey(class_key + u"\\MiscStatus\\1", u"", wide(IntToStr(static_cast<int64_t>(misc))));
    CreateRegKey(class_key + u"\\ToolboxBitmap32", u"",
                 server_.ServerFileName() + u"," + wide(IntToStr(toolbox_bitmap_)));
  } else {
    DeleteRegKey(class_key + u"\\Control");
    DeleteRegKey(class_key + u"\\MiscStatus");
    DeleteRegKey(class_key + u"\\ToolboxBitmap32");
    TComObjectFactory::UpdateRegistry(false);
  }
}
