// ActiveX controls hosted in framework forms (the container side).
//
// A TOleControl creates its ActiveX control by class ID (CoCreateInstance) when its window
// is first needed, is the control's client site (IOleClientSite, IOleInPlaceSite,
// IOleControlSite, and IDispatch for the ambient properties) and in-place activates it
// (DoVerb OLEIVERB_INPLACEACTIVATE) inside its parent's window at its bounds. The
// control's window (IOleInPlaceObject::GetWindow) then is the TOleControl's Handle: its
// messages pass through the TOleControl's WindowProc on their way to the control.
// Published properties are read and written by DISPID through the control's IDispatch;
// the control's events (its connection point for the event interface) arrive by DISPID
// at InvokeEvent, which runs the handler bound to that DISPID in EventHandlers.
// The interfaces are the component's own: their AddRef/Release do not free it.
#pragma once

#include <functional>
#include <map>

#include "framework/activex/oleifaces.h"
#include "framework/automation/dispatch.h"
#include "framework/controls/controls.h"

KV_EXCEPTION(EOleCtrlError, Exception);

class TOleControl : public TWinControl,
                    public IOleClientSite,
                    public IOleInPlaceSite,
                    public IOleControlSite,
                    public IDispatch {
 public:
  TOleControl(TComponent* AOwner, const CLSID& ClassID, const IID& EventIID);
  ~TOleControl() override;
  KV_CLASS_NAME(TOleControl)

  const CLSID& ClassID() const { return class_id_; }
  const IID& EventIID() const { return event_iid_; }
  // The control's interfaces (the control is created on first use; EOleSysError when
  // it cannot be).
  IOleObject* OleObject();
  IDispatch* DefaultDispatch();
  IOleControl* OleControl();
  IOleInPlaceObject* InPlaceObject() const { return in_place_object_; }
  bool ControlCreated() const { return ole_object_ != nullptr; }
  DWORD MiscStatus() const { return misc_status_; }

  // Properties and methods by DISPID (failures raise the framework's OLE exceptions).
  OleVariant GetProperty(DISPID Id);
  void SetProperty(DISPID Id, const OleVariant& Value);
  OleVariant InvokeMethod(DISPID Id, const std::vector<OleVariant>& Args = {});
  // Tells the control that an ambient property changed.
  void AmbientPropertyChanged(DISPID Id);

  // Event handlers by DISPID: the call gives the arguments in their natural order and
  // writes [in, out] ones back.
  std::map<DISPID, std::function<void(TDispCall& Call)>> EventHandlers;

  // IUnknown for every interface of the site (the component's lifetime rules).
  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  // IOleClientSite
  HRESULT SaveObject() override { return S_OK; }
  HRESULT GetMoniker(DWORD, DWORD, IMoniker** moniker) override;
  HRESULT GetContainer(IOleContainer** container) override;
  HRESULT ShowObject() override { return S_OK; }
  HRESULT OnShowWindow(BOOL) override { return S_OK; }
  HRESULT RequestNewObjectLayout() override { return E_NOTIMPL; }
  // IOleWindow, IOleInPlaceSite
  HRESULT GetWindow(HWND* hwnd) override;
  HRESULT ContextSensitiveHelp(BOOL) override { return S_OK; }
  HRESULT CanInPlaceActivate() override { return S_OK; }
  HRESULT OnInPlaceActivate() override;
  HRESULT OnUIActivate() override { return S_OK; }
  HRESULT GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                           LPOLEINPLACEFRAMEINFO info) override;
  HRESULT Scroll(SIZE) override { return S_FALSE; }
  HRESULT OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT OnInPlaceDeactivate() override;
  HRESULT DiscardUndoState() override { return S_OK; }
  HRESULT DeactivateAndUndo() override;
  HRESULT OnPosRectChange(LPCRECT pos) override;
  // IOleControlSite
  HRESULT OnControlInfoChanged() override { return S_OK; }
  HRESULT LockInPlaceActive(BOOL) override { return S_OK; }
  HRESULT GetExtendedControl(IDispatch** control) override;
  HRESULT TransformCoords(POINTL*, POINTF*, DWORD) override { return E_NOTIMPL; }
  HRESULT TranslateAccelerator(MSG*, DWORD) override { return S_FALSE; }
  HRESULT OnFocus(BOOL) override { return S_OK; }
  HRESULT ShowPropertyFrame() override { return E_NOTIMPL; }
  // IDispatch: the ambient properties (DISP_E_MEMBERNOTFOUND for others).
  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
  HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
                 UINT* arg_err) override;

 protected:
  // Makes the control (once): CoCreateInstance, client site, InitNew, event connection.
  virtual void CreateControl();
  virtual void DestroyControl();
  void CreateWnd() override;
  void DestroyWindowHandle() override;
  void UpdateBoundsRect() override;
  // Hands the control's window out without deactivating the control (its own window
  // procedure restored); the component then has no window. AttachControlWindow takes
  // such a window back as the component's window.
  HWND DetachControlWindow();
  void AttachControlWindow(HWND h);
  // Runs the handler bound to the event's DISPID (exceptions are reported, not raised).
  virtual void InvokeEvent(DISPID Id, TDispCall& Call);
  // An ambient property's value, or false when this container has none by that DISPID.
  virtual bool GetAmbientProperty(DISPID Id, OleVariant& Value);

 private:
  class EventSink;
  CLSID class_id_;
  IID event_iid_;
  IOleObject* ole_object_ = nullptr;
  IDispatch* dispatch_ = nullptr;
  IOleControl* ole_control_ = nullptr;
  IOleInPlaceObject* in_place_object_ = nullptr;
  IConnectionPoint* event_point_ = nullptr;
  DWORD event_cookie_ = 0;
  EventSink* event_sink_ = nullptr;
  DWORD misc_status_ = 0;
  WNDPROC control_proc_ = nullptr;  // the control window's own procedure, while hooked
};
