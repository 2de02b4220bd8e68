// ActiveX controls made from framework controls (the server side).
//
// How to use it
// -------------
//   class TMyControl : public TActiveXControl<TMyControl, IMyControl> {
//    public:
//     TMyControl() : TActiveXControl(IID_IMyControl, IID_IMyControlEvents) {}
//     static const TDispatchTable<TMyControl>& DispatchTable();   // late-bound members
//     // IMyControl's own vtable methods (a dual interface) forward to Control().
//    protected:
//     void InitializeControl() override;            // hook the wrapped control's events
//     void EventSinkChanged(IUnknown* sink) override;  // the container's event sink
//   };
//   TActiveXControlFactory<TMyControl, TButton> factory(ComServer(), CLSID_MyControl,
//       "MyControl", "MyControl Control", /*toolbox bitmap*/ 1, /*misc status*/ 0);
//   KV_COM_SERVER_EXPORTS()   // DllGetClassObject & co. over ComServer()
//
// The factory creates the object and the wrapped framework control (a TWinControl
// descendant, created without owner), then calls InitializeControl. The control fills a
// reflector window of the framework, which is the control's window as the container sees
// it (IOleWindow::GetWindow): it hands the control the notifications its parent gets
// (WM_COMMAND as CN_COMMAND ...), as a form would. Until a container shows it, the
// reflector lives in a hidden parking window. The object answers IUnknown, IDispatch and the control's interface
// (TAutoObject: Invoke by the class's dispatch table), and IOleObject, IOleControl,
// IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject, IViewObject, IViewObject2,
// IPersist, IPersistStreamInit, IConnectionPointContainer (one connection point, for the
// event interface) and IObjectSafety.
//
// Life of a control in its container:
//   SetClientSite(site)   the container's site; its ambient properties are read through
//                         the site's IDispatch (AmbientUserMode, AmbientBackColor ...).
//   DoVerb(OLEIVERB_INPLACEACTIVATE / SHOW / UIACTIVATE / PRIMARY)
//                         asks the site's IOleInPlaceSite (CanInPlaceActivate,
//                         OnInPlaceActivate, GetWindow, GetWindowContext), re-parents the
//                         control's window into the site's window at the given position and
//                         shows it; UI activation also calls OnUIActivate and gives the
//                         frame and document windows the control's IOleInPlaceActiveObject.
//   SetObjectRects        moves and sizes the control's window.
//   FindConnectionPoint(event IID)->Advise(sink)
//                         every change of the advised sinks calls EventSinkChanged with the
//                         first sink (as the event interface) or nullptr; the sink is lent
//                         for the call (AddRef it to keep it, Release the kept one when the
//                         next call comes).
//   FireEvent(dispid, args)
//                         calls Invoke(DISPATCH_METHOD) on every sink (not while the
//                         container froze events); by-reference arguments come back.
//   InPlaceDeactivate / Close
//                         hides the control and returns its window to the parking window.
// Extents are kept in HIMETRIC (2540 per inch at 96 pixels per inch). IPersistStreamInit
// stores the control's writable published properties (name and text pairs). The object
// safety answer accepts every option asked for on any interface.
#pragma once

#include <memory>
#include <vector>

#include "framework/activex/oleifaces.h"
#include "framework/automation/comobj.h"
#include "framework/controls/controls.h"
#include "platform/com/connpoint.h"

class TActiveXControlFactoryBase;

// The non-template part: every OLE interface of the control.
class TActiveXControlBase : public IOleObject,
                            public IOleControl,
                            public IOleInPlaceObject,
                            public IOleInPlaceActiveObject,
                            public IViewObject2,
                            public IPersistStreamInit,
                            public IConnectionPointContainer,
                            public IObjectSafety {
 public:
  explicit TActiveXControlBase(const IID& EventIID);
  virtual ~TActiveXControlBase();
  TActiveXControlBase(const TActiveXControlBase&) = delete;
  TActiveXControlBase& operator=(const TActiveXControlBase&) = delete;

  // The wrapped framework control, and the reflector window it fills.
  TWinControl* Control() const { return control_.get(); }
  TWinControl* Reflector() const { return reflector_.get(); }
  // Takes the control and the factory (the factory calls it once).
  void Attach(std::unique_ptr<TWinControl> Control, TActiveXControlFactoryBase* Factory);

  // Raises an event on every advised sink: Args in their natural order (by-reference
  // arguments through OleVariant::ByRef). Not while events are frozen.
  void FireEvent(DISPID Id, const std::vector<OleVariant>& Args = {});
  bool EventsFrozen() const { return freeze_count_ > 0; }
  bool InPlaceActive() const { return in_place_active_; }
  bool UIActive() const { return ui_active_; }
  IOleClientSite* ClientSite() const { return client_site_; }
  // An ambient property of the container (Unassigned when it has none).
  OleVariant AmbientProperty(DISPID Id) const;
  bool AmbientUserMode() const;

  // IOleObject
  HRESULT SetClientSite(IOleClientSite* site) override;
  HRESULT GetClientSite(IOleClientSite** site) override;
  HRESULT SetHostNames(LPCOLESTR app, LPCOLESTR object) override;
  HRESULT Close(DWORD save_option) override;
  HRESULT SetMoniker(DWORD which, IMoniker* moniker) override;
  HRESULT GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
  HRESULT InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
  HRESULT GetClipboardData(DWORD reserved, IDataObject** data) override;
  HRESULT DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG index, HWND parent, LPCRECT pos) override;
  HRESULT EnumVerbs(IEnumOLEVERB** verbs) override;
  HRESULT Update() override;
  HRESULT IsUpToDate() override;
  HRESULT GetUserClassID(CLSID* clsid) override;
  HRESULT GetUserType(DWORD form, LPOLESTR* type) override;
  HRESULT SetExtent(DWORD aspect, SIZEL* size) override;
  HRESULT GetExtent(DWORD aspect, SIZEL* size) override;
  HRESULT Advise(IAdviseSink* sink, DWORD* connection) override;
  HRESULT Unadvise(DWORD connection) override;
  HRESULT EnumAdvise(IEnumSTATDATA** advise) override;
  HRESULT GetMiscStatus(DWORD aspect, DWORD* status) override;
  HRESULT SetColorScheme(LOGPALETTE* palette) override;
  // IOleControl
  HRESULT GetControlInfo(CONTROLINFO* info) override;
  HRESULT OnMnemonic(MSG* msg) override;
  HRESULT OnAmbientPropertyChange(DISPID id) override;
  HRESULT FreezeEvents(BOOL freeze) override;
  // IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject
  HRESULT GetWindow(HWND* hwnd) override;
  HRESULT ContextSensitiveHelp(BOOL enter) override;
  HRESULT InPlaceDeactivate() override;
  HRESULT UIDeactivate() override;
  HRESULT SetObjectRects(LPCRECT pos, LPCRECT clip) override;
  HRESULT ReactivateAndUndo() override;
  HRESULT TranslateAccelerator(LPMSG msg) override;
  HRESULT OnFrameWindowActivate(BOOL activate) override;
  HRESULT OnDocWindowActivate(BOOL activate) override;
  HRESULT ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) override;
  HRESULT EnableModeless(BOOL enable) override;
  // IViewObject2
  HRESULT Draw(DWORD aspect, LONG index, void* aspect_info, DVTARGETDEVICE* device, HDC target_dc, HDC draw_dc,
               LPCRECTL bounds, LPCRECTL window_bounds, BOOL (*cont)(ULONG_PTR), ULONG_PTR cont_data) override;
  HRESULT GetColorSet(DWORD aspect, LONG index, void* aspect_info, DVTARGETDEVICE* device, HDC target_dc,
                      LOGPALETTE** colors) override;
  HRESULT Freeze(DWORD aspect, LONG index, void* aspect_info, DWORD* freeze) override;
  HRESULT Unfreeze(DWORD freeze) override;
  HRESULT SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* sink) override;
  HRESULT GetAdvise(DWORD* aspects, DWORD* advf, IAdviseSink** sink) override;
  HRESULT GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device, LPSIZEL size) override;
  // IPersistStreamInit
  HRESULT GetClassID(CLSID* clsid) override;
  HRESULT IsDirty() override;
  HRESULT Load(IStream* stream) override;
  HRESULT Save(IStream* stream, BOOL clear_dirty) override;
  HRESULT GetSizeMax(ULARGE_INTEGER* size) override;
  HRESULT InitNew() override;
  // IConnectionPointContainer
  HRESULT EnumConnectionPoints(IEnumConnectionPoints** out) override;
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** out) override;
  // IObjectSafety
  HRESULT GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) override;
  HRESULT SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) override;

  // The interfaces above, for the object's QueryInterface.
  HRESULT QueryControlInterface(REFIID riid, void** object);
  // Told by the connection point after every Advise / Unadvise.
  void SinksChanged();

 protected:
  // Called once the control exists; hook its events here.
  virtual void InitializeControl() {}
  // The container's event sink (the first advised one, as the event interface), or null.
  virtual void EventSinkChanged(IUnknown*) {}
  // An ambient property changed (DISPID_UNKNOWN: any of them).
  virtual void AmbientPropertyChanged(DISPID) {}
  // The object as IUnknown (its identity).
  virtual IUnknown* Identity() = 0;

 private:
  class EventPoint;
  HRESULT InPlaceActivate(bool ui_activate);
  void ReleaseSites();
  void NotifyViewChange();
  std::vector<std::pair<AnsiString, AnsiString>> PersistentProps();

  std::unique_ptr<TWinControl> reflector_;
  std::unique_ptr<TWinControl> control_;
  TActiveXControlFactoryBase* factory_ = nullptr;
  IID event_iid_;
  EventPoint* event_point_ = nullptr;
  IOleClientSite* client_site_ = nullptr;
  IOleInPlaceSite* in_place_site_ = nullptr;
  IOleControlSite* control_site_ = nullptr;
  IDispatch* ambient_ = nullptr;
  IAdviseSink* view_sink_ = nullptr;
  DWORD view_aspects_ = 0, view_advf_ = 0;
  std::vector<std::pair<DWORD, IAdviseSink*>> ole_sinks_;
  DWORD next_advise_ = 0;
  SIZEL extent_{2540, 2540};
  bool in_place_active_ = false;
  bool ui_active_ = false;
  bool dirty_ = false;
  int freeze_count_ = 0;
  DWORD safety_enabled_ = 0;
};

// The object: T's dispatch table and its interface Intf (IDispatch or a dual interface).
template <class T, class Intf = IDispatch>
class TActiveXControl : public TAutoObject<T, Intf>, public TActiveXControlBase {
 public:
  TActiveXControl(const IID& IntfIID, const IID& EventIID)
      : TAutoObject<T, Intf>(IntfIID), TActiveXControlBase(EventIID) {}

  HRESULT QueryInterface(REFIID riid, void** object) override {
    return TAutoObject<T, Intf>::QueryInterface(riid, object);
  }
  ULONG AddRef() override { return TAutoObject<T, Intf>::AddRef(); }
  ULONG Release() override { return TAutoObject<T, Intf>::Release(); }

 protected:
  HRESULT QueryOwnInterface(REFIID riid, void** object) override { return QueryControlInterface(riid, object); }
  IUnknown* Identity() override { return static_cast<Intf*>(this); }
};

class TActiveXControlFactoryBase : public TComObjectFactory {
 public:
  TActiveXControlFactoryBase(TComServer& server, TCreator creator, const CLSID& clsid, const AnsiString& class_name,
                             const AnsiString& description, int ToolboxBitmapID, DWORD MiscStatus,
                             TThreadingModel threading = tmApartment);
  DWORD MiscStatus() const { return misc_status_; }
  int ToolboxBitmapID() const { return toolbox_bitmap_; }
  // Adds the control's keys: Control, MiscStatus (and its "1" aspect), ToolboxBitmap32.
  void UpdateRegistry(bool Register) override;

 private:
  int toolbox_bitmap_;
  DWORD misc_status_;
};

// T: the TActiveXControl descendant; TControlClass: the wrapped framework control.
template <class T, class TControlClass>
class TActiveXControlFactory : public TActiveXControlFactoryBase {
 public:
  TActiveXControlFactory(TComServer& server, const CLSID& clsid, const AnsiString& class_name,
                         const AnsiString& description, int ToolboxBitmapID, DWORD MiscStatus,
                         TThreadingModel threading = tmApartment)
      : TActiveXControlFactoryBase(
            server, [this] { return Make(); }, clsid, class_name, description, ToolboxBitmapID, MiscStatus, threading) {
  }

 private:
  IUnknown* Make() {
    T* object = new T();
    try {
      object->Attach(std::make_unique<TControlClass>(nullptr), this);
    } catch (...) {
      object->Release();
      throw;
    }
    return static_cast<IDispatch*>(object);
  }
};
