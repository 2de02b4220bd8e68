// Controls on a page: the control of an <object classid="clsid:..."> element, made when
// the document walk reaches the element, and the site it talks to.
//
// Creation, each step recorded with its result (KvBrowserControlLog):
//  1. CoCreateInstance of the class through the registry (codebase is ignored); a failure
//     leaves the element without a control.
//  2. IObjectSafety SetInterfaceSafetyOptions(IID_IDispatch, 1, 1), and with <param>s for
//     a control that loads from a property bag (IID_IPersistPropertyBag, 2, 2); a control
//     without the interface or refusing is released: "not safe for scripting", the
//     element has no control.
//  3. IOleObject SetClientSite with this site.
//  4. IPersistPropertyBag Load with the <param>s, else InitNew (IPersistPropertyBag, else
//     IPersistStreamInit; params given to a control without a property bag are ignored).
//  5. DoVerb(OLEIVERB_INPLACEACTIVATE) in the document window at the element's layout box
//     (width and height attributes, else the control's extent), so the control's window
//     is a child of the document window.
// Teardown (with its document, or when the element leaves the tree): Unadvise of every
// event connection, Close, SetClientSite(null), Release; then CoFreeUnusedLibraries as
// the next task, so the control's library unloads once nothing of it is on the stack.
//
// The site answers IOleClientSite, IOleInPlaceSite, IOleControlSite, IOleInPlaceFrame
// and IDispatch for the ambient properties: UserMode (-709) true, UIDead (-710) false,
// LocaleID (-705) 2052; others DISP_E_MEMBERNOTFOUND.
#pragma once

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "platform/browser/dom.h"
#include "platform/com/oleidl.h"
#include "platform/com/typeinfo.h"

namespace kv::browser {

class PageControl final : public IOleClientSite,
                          public IOleInPlaceSite,
                          public IOleControlSite,
                          public IOleInPlaceFrame,
                          public IDispatch {
 public:
  // Runs the creation steps for the <object> element `node` of `doc`; a control made is
  // the document's (Document::AddControl) and the node's. `window` is the document
  // window, null when the browser has none (no in-place activation then).
  static void Create(Document* doc, Node* node, HWND window);
  // `new ActiveXObject(prog_id)`: the class the ProgID names created and marked safe for
  // scripting (steps 1 and 2), without a site or window; each step recorded.
  static HRESULT CreateForScript(const std::u16string& prog_id, IDispatch** out);

  // The control's IDispatch, without a reference; null when it has none or is torn down.
  IDispatch* Dispatch() const { return dispatch_; }
  // The type information of the control's default source interface, from the control's
  // own type information (else the library its class is registered with).
  HRESULT EventTypeInfo(ITypeInfo** out);
  // Advises `sink` on the connection point of the default source interface; the
  // connection ends at teardown unless UnadviseEvents ends it first.
  HRESULT AdviseEvents(IUnknown* sink, DWORD* cookie);
  HRESULT UnadviseEvents(DWORD cookie);

  // The box size the layout gives the element: its width and height attributes, else
  // the control's extent in pixels.
  SIZE BoxSize() const;
  // Draws the control through its IViewObject into `rc` of `dc`.
  void Draw(HDC dc, const RECT& rc) const;
  // The element leaves the tree: the control is torn down.
  void NodeGone();
  // The teardown steps; safe to repeat.
  void TearDown();

  // IUnknown
  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override;
  // IOleClientSite
  HRESULT SaveObject() override { return E_NOTIMPL; }
  HRESULT GetMoniker(DWORD, DWORD, IMoniker** moniker) override;
  HRESULT GetContainer(IOleContainer** container) override;
  HRESULT ShowObject() override { return S_OK; }
  HRESULT OnShowWindow(BOOL) override { return S_OK; }
  HRESULT RequestNewObjectLayout() override { return E_NOTIMPL; }
  // IOleWindow (the site's and the frame's)
  HRESULT GetWindow(HWND* hwnd) override;
  HRESULT ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  // IOleInPlaceSite
  HRESULT CanInPlaceActivate() override { return window_ && node_ ? S_OK : S_FALSE; }
  HRESULT OnInPlaceActivate() override;
  HRESULT OnUIActivate() override { return S_OK; }
  HRESULT GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                           LPOLEINPLACEFRAMEINFO info) override;
  HRESULT Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT OnInPlaceDeactivate() override;
  HRESULT DiscardUndoState() override { return E_NOTIMPL; }
  HRESULT DeactivateAndUndo() override { return E_NOTIMPL; }
  HRESULT OnPosRectChange(LPCRECT pos) override;
  // IOleControlSite
  HRESULT OnControlInfoChanged() override { return S_OK; }
  HRESULT LockInPlaceActive(BOOL) override { return S_OK; }
  HRESULT GetExtendedControl(IDispatch** control) override;
  HRESULT TransformCoords(POINTL* himetric, POINTF* container, DWORD flags) override;
  HRESULT TranslateAccelerator(MSG*, DWORD) override { return S_FALSE; }
  HRESULT OnFocus(BOOL) override { return S_OK; }
  HRESULT ShowPropertyFrame() override { return E_NOTIMPL; }
  // IOleInPlaceUIWindow, IOleInPlaceFrame: no tool space, menus or status text.
  HRESULT GetBorder(LPRECT) override;
  HRESULT RequestBorderSpace(LPCBORDERWIDTHS) override;
  HRESULT SetBorderSpace(LPCBORDERWIDTHS) override;
  HRESULT SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
  HRESULT InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  HRESULT SetMenu(HMENU, HOLEMENU, HWND) override { return E_NOTIMPL; }
  HRESULT RemoveMenus(HMENU) override { return E_NOTIMPL; }
  HRESULT SetStatusText(LPCOLESTR) override { return E_NOTIMPL; }
  HRESULT EnableModeless(BOOL) override { return S_OK; }
  HRESULT TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }
  // IDispatch: the ambient properties
  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) override;

 private:
  PageControl(Document* doc, Node* node, HWND window, const CLSID& clsid, std::string who);
  ~PageControl();
  // The element's box in the document window's client area.
  RECT Position() const;
  void Record(const char* step, HRESULT hr) const;

  std::atomic<ULONG> refs_{1};
  Document* doc_;
  Node* node_;
  HWND window_;
  CLSID clsid_;
  std::string who_;  // the element's id or name, for the record
  IUnknown* object_ = nullptr;
  IOleObject* ole_ = nullptr;
  IDispatch* dispatch_ = nullptr;
  IOleInPlaceObject* in_place_ = nullptr;
  std::vector<std::pair<IConnectionPoint*, DWORD>> connections_;
};

}  // namespace kv::browser
