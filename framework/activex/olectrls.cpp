#include "framework/activex/olectrls.h"

#include <atomic>

#include "framework/automation/comobj.h"
#include "framework/controls/forms.h"
#include "platform/com/unknown.h"

namespace {

template <class I>
void ReleaseInto(I*& p) {
  if (p) {
    I* q = p;
    p = nullptr;
    q->Release();
  }
}

}  // namespace

// The sink advised on the control's event connection point.
class TOleControl::EventSink final : public kv::RefCounted<IDispatch> {
 public:
  EventSink(TOleControl* owner, const IID& iid) : owner_(owner), iid_(iid) {}
  void Detach() { owner_ = nullptr; }

  bool Accepts(REFIID riid) const override { return IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, iid_); }
  HRESULT GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) override {
    if (!owner_) return S_OK;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    try {
      TDispCall call(params ? params : &none, result, flags, false);
      owner_->InvokeEvent(id, call);
    } catch (...) {
      Application->HandleException(owner_);
    }
    return S_OK;
  }

 private:
  ~EventSink() = default;
  TOleControl* owner_;
  IID iid_;
};

TOleControl::TOleControl(TComponent* AOwner, const CLSID& ClassID, const IID& EventIID)
    : TWinControl(AOwner), class_id_(ClassID), event_iid_(EventIID) {
  tab_stop_ = true;
  width_ = 75;
  height_ = 50;
}

TOleControl::~TOleControl() {
  Destroying();
  if (handle_) DestroyWindowHandle();
  DestroyControl();
}

void TOleControl::CreateControl() {
  if (ole_object_) return;
  IOleObject* object = nullptr;
  OleCheck(
      CoCreateInstance(class_id_, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, reinterpret_cast<void**>(&object)));
  ole_object_ = object;
  try {
    ole_object_->GetMiscStatus(DVASPECT_CONTENT, &misc_status_);
    if (misc_status_ & OLEMISC_SETCLIENTSITEFIRST) OleCheck(ole_object_->SetClientSite(this));
    IPersistStreamInit* persist = nullptr;
    if (SUCCEEDED(ole_object_->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist))) && persist) {
      HRESULT hr = persist->InitNew();
      persist->Release();
      OleCheck(hr);
    }
    if (!(misc_status_ & OLEMISC_SETCLIENTSITEFIRST)) OleCheck(ole_object_->SetClientSite(this));
    ole_object_->QueryInterface(IID_IOleControl, reinterpret_cast<void**>(&ole_control_));
    ole_object_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch_));
    IConnectionPointContainer* cpc = nullptr;
    if (SUCCEEDED(ole_object_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc))) && cpc) {
      if (SUCCEEDED(cpc->FindConnectionPoint(event_iid_, &event_point_)) && event_point_) {
        event_sink_ = new EventSink(this, event_iid_);
        if (FAILED(event_point_->Advise(event_sink_, &event_cookie_))) {
          event_cookie_ = 0;
          ReleaseInto(event_point_);
        }
      }
      cpc->Release();
    }
    SIZEL size{static_cast<LONG>((static_cast<int64_t>(width_) * 2540 + 48) / 96),
               static_cast<LONG>((static_cast<int64_t>(height_) * 2540 + 48) / 96)};
    ole_object_->SetExtent(DVASPECT_CONTENT, &size);
  } catch (...) {
    DestroyControl();
    throw;
  }
}

void TOleControl::DestroyControl() {
  if (event_point_) {
    if (event_cookie_) event_point_->Unadvise(event_cookie_);
    event_cookie_ = 0;
    ReleaseInto(event_point_);
  }
  if (event_sink_) {
    event_sink_->Detach();
    event_sink_->Release();
    event_sink_ = nullptr;
  }
  ReleaseInto(in_place_object_);
  ReleaseInto(ole_control_);
  ReleaseInto(dispatch_);
  if (ole_object_) {
    ole_object_->Close(OLECLOSE_NOSAVE);
    ole_object_->SetClientSite(nullptr);
    ReleaseInto(ole_object_);
  }
}

IOleObject* TOleControl::OleObject() {
  CreateControl();
  return ole_object_;
}

IDispatch* TOleControl::DefaultDispatch() {
  CreateControl();
  if (!dispatch_) throw EOleCtrlError("The control has no dispatch interface");
  return dispatch_;
}

IOleControl* TOleControl::OleControl() {
  CreateControl();
  return ole_control_;
}

void TOleControl::CreateWnd() {
  CreateControl();
  RECT pos = BoundsRect();
  HWND parent = ParentHandle();
  if (!parent) throw EInvalidOperation(Format("Control '%s' has no parent window", Name().c_str()));
  OleCheck(ole_object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, parent, &pos));
  if (!in_place_object_) throw EOleCtrlError("Cannot activate the control in place");
  HWND h = nullptr;
  OleCheck(in_place_object_->GetWindow(&h));
  if (!h) throw EOleCtrlError("The control has no window");
  AttachControlWindow(h);
  if (!visible_ && IsWindowVisible(h)) ShowWindow(h, SW_HIDE);
}

void TOleControl::AttachControlWindow(HWND h) {
  // The control's window becomes this component's: its messages pass through WindowProc.
  handle_ = h;
  SetPropA(h, ControlAtomName(), static_cast<TWinControl*>(this));
  control_proc_ = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(h, GWLP_WNDPROC));
  DefWndProc = control_proc_;
  SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FrameworkWndProc));
  UpdateBounds();
}

HWND TOleControl::DetachControlWindow() {
  HWND h = handle_;
  if (h && IsWindow(h)) {
    if (control_proc_ && reinterpret_cast<WNDPROC>(GetWindowLongPtrA(h, GWLP_WNDPROC)) == &FrameworkWndProc)
      SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(control_proc_));
    RemovePropA(h, ControlAtomName());
  }
  control_proc_ = nullptr;
  handle_ = nullptr;
  showing_ = false;
  return h;
}

void TOleControl::DestroyWindowHandle() {
  // The window is the control's: it is handed back, not destroyed.
  DetachControlWindow();
  if (in_place_object_) in_place_object_->InPlaceDeactivate();
  ReleaseInto(in_place_object_);
}

void TOleControl::UpdateBoundsRect() {
  if (in_place_object_) {
    RECT r = BoundsRect();
    in_place_object_->SetObjectRects(&r, &r);
    return;
  }
  TWinControl::UpdateBoundsRect();
}

OleVariant TOleControl::GetProperty(DISPID Id) {
  return DispatchInvoke(DefaultDispatch(), Id, DISPATCH_PROPERTYGET, {});
}

void TOleControl::SetProperty(DISPID Id, const OleVariant& Value) {
  DispatchInvoke(DefaultDispatch(), Id, DISPATCH_PROPERTYPUT, {Value});
}

OleVariant TOleControl::InvokeMethod(DISPID Id, const std::vector<OleVariant>& Args) {
  return DispatchInvoke(DefaultDispatch(), Id, DISPATCH_METHOD, Args);
}

void TOleControl::AmbientPropertyChanged(DISPID Id) {
  if (ole_control_) ole_control_->OnAmbientPropertyChange(Id);
}

void TOleControl::InvokeEvent(DISPID Id, TDispCall& Call) {
  auto it = EventHandlers.find(Id);
  if (it != EventHandlers.end() && it->second) it->second(Call);
}

bool TOleControl::GetAmbientProperty(DISPID Id, OleVariant& Value) {
  switch (Id) {
    case DISPID_AMBIENT_BACKCOLOR: Value = static_cast<int>(ColorToRGB(color_)); return true;
    case DISPID_AMBIENT_FORECOLOR: Value = static_cast<int>(ColorToRGB(font_->Color())); return true;
    case DISPID_AMBIENT_DISPLAYNAME: Value = Name(); return true;
    case DISPID_AMBIENT_LOCALEID: Value = 0x0804; return true;
    case DISPID_AMBIENT_USERMODE:
    case DISPID_AMBIENT_MESSAGEREFLECT:
    case DISPID_AMBIENT_SUPPORTSMNEMONICS:
    case DISPID_AMBIENT_AUTOCLIP: Value = true; return true;
    case DISPID_AMBIENT_UIDEAD:
    case DISPID_AMBIENT_SHOWGRABHANDLES:
    case DISPID_AMBIENT_SHOWHATCHING:
    case DISPID_AMBIENT_DISPLAYASDEFAULT: Value = false; return true;
    default: return false;
  }
}

// ---- The site's interfaces -----------------------------------------------------------------------------

HRESULT TOleControl::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite))
    *object = static_cast<IOleClientSite*>(this);
  else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite))
    *object = static_cast<IOleInPlaceSite*>(this);
  else if (IsEqualIID(riid, IID_IOleControlSite))
    *object = static_cast<IOleControlSite*>(this);
  else if (IsEqualIID(riid, IID_IDispatch))
    *object = static_cast<IDispatch*>(this);
  else
    return E_NOINTERFACE;
  return S_OK;
}

HRESULT TOleControl::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker) *moniker = nullptr;
  return E_NOTIMPL;
}

HRESULT TOleControl::GetContainer(IOleContainer** container) {
  if (container) *container = nullptr;
  return E_NOINTERFACE;
}

HRESULT TOleControl::GetWindow(HWND* hwnd) {
  if (!hwnd) return E_POINTER;
  try {
    *hwnd = ParentHandle();
  } catch (...) {
    *hwnd = nullptr;
  }
  return *hwnd ? S_OK : E_FAIL;
}

HRESULT TOleControl::OnInPlaceActivate() {
  if (!ole_object_) return E_UNEXPECTED;
  ReleaseInto(in_place_object_);
  return ole_object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&in_place_object_));
}

HRESULT TOleControl::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                      LPOLEINPLACEFRAMEINFO info) {
  if (frame) *frame = nullptr;
  if (doc) *doc = nullptr;
  if (!pos || !clip) return E_POINTER;
  *pos = BoundsRect();
  *clip = *pos;
  if (info) {
    info->fMDIApp = FALSE;
    TCustomForm* form = GetParentForm();
    info->hwndFrame = form && form->HandleAllocated() ? form->Handle() : ParentHandle();
    info->haccel = nullptr;
    info->cAccelEntries = 0;
  }
  return S_OK;
}

HRESULT TOleControl::OnInPlaceDeactivate() {
  ReleaseInto(in_place_object_);
  return S_OK;
}

HRESULT TOleControl::DeactivateAndUndo() {
  if (in_place_object_) in_place_object_->UIDeactivate();
  return S_OK;
}

HRESULT TOleControl::OnPosRectChange(LPCRECT pos) {
  if (!pos) return E_POINTER;
  if (in_place_object_) in_place_object_->SetObjectRects(pos, pos);
  return S_OK;
}

HRESULT TOleControl::GetExtendedControl(IDispatch** control) {
  if (control) *control = nullptr;
  return E_NOTIMPL;
}

HRESULT TOleControl::GetTypeInfoCount(UINT* count) { return NoTypeInfoCount(count); }

HRESULT TOleControl::GetTypeInfo(UINT, LCID, ITypeInfo** info) { return NoTypeInfo(info); }

HRESULT TOleControl::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return DISP_E_UNKNOWNNAME; }

HRESULT TOleControl::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) {
  if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
  try {
    OleVariant value;
    if (!GetAmbientProperty(id, value)) return DISP_E_MEMBERNOTFOUND;
    if (result) value.CopyTo(result);
    return S_OK;
  } catch (...) {
    return E_UNEXPECTED;
  }
}
