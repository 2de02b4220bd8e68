// THtmlListener: receives the events of one HTML object (document, element, form,
// window ...) through a connection point and runs the handler item registered for each
// event's DISPID. Each Connect makes a THtmlListenerLink, the sink advised on the source;
// the caller keeps the link's IHubLink and disconnects through it.
//
// A link holds its listener weakly: a listener that is destroyed detaches its links, and
// a detached link answers S_OK to every call, so a source that still holds one is safe.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "framework/core/classes.h"
#include "platform/browser/browser.h"

enum TEventEnum {
  eiOnCellChange, eiOnRowsInserted, eiOnRowsDelete, eiOnBeforePaste, eiOnBeforeCopy, eiOnBeforeCut, eiOnPaste,
  eiOnCopy, eiOnCut, eiOnDrop, eiOnDragLeave, eiOnDragOver, eiOnDragEnter, eiOnDragEnd, eiOnDrag,
  eiOnPropertyChange, eiOnLoseCapture, eiOnFilterChange, eiOnDatasetComplete, eiOnDataAvailable,
  eiOnDatasetChanged, eiOnErrorUpdate, eiOnSelectStart, eiOnDragStart, eiOnHelp, eiOnMouseOut, eiOnMouseOver,
  eiOnRowEnter, eiOnRowExit, eiOnAfterUpdate, eiOnBeforeUpdate, eiOnFocus, eiOnBlur,
  eiOnReadyStateChange, eiOnMouseUp, eiOnMouseMove, eiOnMouseDown, eiOnKeyUp, eiOnKeyPress, eiOnKeyDown,
  eiOnDblClick, eiOnClick,
  eiUnknown,
  eiOnAbort, eiOnChange, eiOnError, eiOnLoad, eiOnSelect, eiOnSubmit, eiOnUnload, eiOnBounce, eiOnFinish, eiOnStart,
  eiOnScroll, eiOnReset, eiOnresize, eiOnBeforeUnload, eiOncontextmenu, eiOnBeforePrint, eiOnAfterPrint, eiOnStop,
  eiOnBeforeEditFocus, eiOnlayoutcomplete, eiOnpage, eiOnmousewheel, eiOnbeforedeactivate, eiOnmove,
  eiOncontrolselect, eiOnSelectionChange, eiOnmoveStart, eiOnmoveEnd, eiOnresizeStart, eiOnresizeEnd,
  eiOnmouseEnter, eiOnmouseLeave, eiOnActivate, eiOnDeactivate, eiOnBeforeActivate, eiOnfocusIn, eiOnfocusOut
};
// The event's DISPID and its name (empty for eiUnknown).
DISPID EventDispID(TEventEnum Event);
const char* EventName(TEventEnum Event);

enum TSinkKind {
  skElement, skLink, skForm, skControl, skTextContainer, skImg, skAnchor, skLabel, skSelect, skButton, skInputText,
  skOptionButton, skInputFile, skInputImage, skMarquee, skWindow, skDocument, skMap, skArea, skTable, skScript,
  skObject, skFrameSite, skStyle, skNamespace
};
const IID& SinkKindIID(TSinkKind Kind);

struct IHubLink : IUnknown {
  virtual HRESULT Disconnect() = 0;
};
inline constexpr IID IID_IHubLink = {0xEC22D916, 0xCC24, 0x4D88, {0xA7, 0xED, 0x20, 0xC5, 0xE9, 0xAE, 0x08, 0x52}};
inline constexpr IID IID_IInterfacedDispatch = {
    0xC0D28425, 0x8410, 0x45F6, {0xBD, 0x60, 0x8A, 0xE6, 0x67, 0x82, 0xE5, 0x45}};

using TMSHTMLDelegate = std::function<void(TObject* Sender, IHTMLEventObj* Event)>;

class THtmlListener;

class TEventHandlerItem : public TCollectionItem {
 public:
  explicit TEventHandlerItem(TCollection* Collection) : TCollectionItem(Collection) {}
  KV_CLASS_NAME(TEventHandlerItem)
  TEventEnum EventID() const { return event_id_; }
  // Reports the change; a duplicate raises and leaves the item at eiUnknown.
  void SetEventID(TEventEnum Value);
  DISPID DispID() const { return dispid_; }
  TMSHTMLDelegate OnHandle;
  AnsiString DisplayName() const override;
  void Assign(TPersistent* Source) override;

 private:
  TEventEnum event_id_ = eiUnknown;
  DISPID dispid_ = 0;
};

class THandlerCollection : public TOwnedCollection {
 public:
  explicit THandlerCollection(THtmlListener* Listener);
  KV_CLASS_NAME(THandlerCollection)
  TEventHandlerItem* Add() { return static_cast<TEventHandlerItem*>(TCollection::Add()); }
  TEventHandlerItem* Items(int Index) const { return static_cast<TEventHandlerItem*>(TCollection::Items(Index)); }

 protected:
  void Update(TCollectionItem* Item) override;

 private:
  THtmlListener* listener_;
};

// The reference-counted IDispatch base of the link (starts at one reference).
class TInterfacedDispatchObject : public IDispatch {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override;
  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return S_OK; }

 protected:
  TInterfacedDispatchObject() = default;
  virtual ~TInterfacedDispatchObject() = default;
  // Further interfaces a descendant answers (with its own pointer), or null.
  virtual void* QueryOwn(REFIID) { return nullptr; }

 private:
  std::atomic<ULONG> refs_{1};
};

class THtmlListenerLink final : public TInterfacedDispatchObject, public IHubLink {
 public:
  THtmlListenerLink(THtmlListener* Listener, TObject* Sender);
  HRESULT QueryInterface(REFIID riid, void** object) override { return TInterfacedDispatchObject::QueryInterface(riid, object); }
  ULONG AddRef() override { return TInterfacedDispatchObject::AddRef(); }
  ULONG Release() override { return TInterfacedDispatchObject::Release(); }
  HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
                 UINT* arg_err) override;
  HRESULT Disconnect() override;
  // Raises "Error on IConnectionPoint.Advise" or "Source don't have connection point for [%s]".
  void Advise(IUnknown* Source);
  // The listener went: every later call is answered S_OK without effect.
  void Detach() { listener_ = nullptr; }
  bool Connected() const { return point_ != nullptr; }

 protected:
  void* QueryOwn(REFIID riid) override;

 private:
  ~THtmlListenerLink() override;
  THtmlListener* listener_;
  IConnectionPoint* point_ = nullptr;
  TObject* sender_;
  DWORD cookie_ = 0;
};

class THtmlListener : public TComponent, public IDispatch {
 public:
  explicit THtmlListener(TComponent* AOwner);
  ~THtmlListener() override;
  KV_CLASS_NAME(THtmlListener)

  THandlerCollection* Handlers() const { return handlers_.get(); }
  void SetHandlers(THandlerCollection* Value) { handlers_->Assign(Value); }
  TSinkKind SinkKind() const { return sink_kind_; }
  void SetSinkKind(TSinkKind Value);

  // A new link advised on Source's connection point for the sink kind; Link gets its
  // IHubLink (a reference for the caller). Advise errors propagate (Link stays null).
  void Connect(IUnknown* Source, TObject* Sender, IHubLink*& Link);
  // Bisection over the sorted handlers: true and the index when found, else false and
  // the insertion index.
  bool FindHandler(DISPID Id, int& Index) const;
  void HandleEvent(TObject* Sender, DISPID Id, IHTMLEventObj* Event);
  void HandlersChanged(TEventHandlerItem* Item);
  // Event dispatch shared by the link and the listener's own IDispatch.
  HRESULT Dispatch(TObject* Sender, DISPID id, WORD flags, DISPPARAMS* params, EXCEPINFO* info);

  // IUnknown (the component's lifetime), IDispatch.
  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
                 UINT* arg_err) override;

 private:
  friend class THtmlListenerLink;
  void Insert(TEventHandlerItem* Item);
  std::unique_ptr<THandlerCollection> handlers_;
  TSinkKind sink_kind_ = skElement;
  std::vector<TEventHandlerItem*> sorted_;
  std::vector<THtmlListenerLink*> links_;  // not owned: each detaches from us when it goes
  THtmlListenerLink* last_link_ = nullptr;
};
