#include "browser_host/dom_events.h"

#include <algorithm>

#include "framework/automation/dispatch.h"
#include "platform/base/codepage.h"

namespace {

struct EventInfo {
  DISPID id;
  const char* name;
};

constexpr DISPID Group(unsigned low) { return static_cast<DISPID>(0x80010000u + low); }

// In TEventEnum's order.
const EventInfo kEvents[] = {
    {Group(0x22), "OnCellChange"},   {Group(0x21), "OnRowsInserted"},    {Group(0x20), "OnRowsDelete"},
    {Group(0x1f), "OnBeforePaste"},  {Group(0x1e), "OnBeforeCopy"},      {Group(0x1d), "OnBeforeCut"},
    {Group(0x1c), "OnPaste"},        {Group(0x1b), "OnCopy"},            {Group(0x1a), "OnCut"},
    {Group(0x19), "OnDrop"},         {Group(0x18), "OnDragLeave"},       {Group(0x17), "OnDragOver"},
    {Group(0x16), "OnDragEnter"},    {Group(0x15), "OnDragEnd"},         {Group(0x14), "OnDrag"},
    {Group(0x13), "OnPropertyChange"}, {Group(0x12), "OnLoseCapture"},   {Group(0x11), "OnFilterChange"},
    {Group(0x10), "OnDatasetComplete"}, {Group(0x0f), "OnDataAvailable"}, {Group(0x0e), "OnDatasetChanged"},
    {Group(0x0d), "OnErrorUpdate"},  {Group(0x0c), "OnSelectStart"},     {Group(0x0b), "OnDragStart"},
    {Group(0x0a), "OnHelp"},         {Group(0x09), "OnMouseOut"},        {Group(0x08), "OnMouseOver"},
    {Group(0x07), "OnRowEnter"},     {Group(0x06), "OnRowExit"},         {Group(0x05), "OnAfterUpdate"},
    {Group(0x04), "OnBeforeUpdate"}, {Group(0x01), "OnFocus"},           {Group(0x00), "OnBlur"},
    {-609, "OnReadyStateChange"},    {-607, "OnMouseUp"},                {-606, "OnMouseMove"},
    {-605, "OnMouseDown"},           {-604, "OnKeyUp"},                  {-603, "OnKeyPress"},
    {-602, "OnKeyDown"},             {-601, "OnDblClick"},               {-600, "OnClick"},
    {0, ""},
    {1000, "OnAbort"},               {1001, "OnChange"},                 {1002, "OnError"},
    {1003, "OnLoad"},                {1006, "OnSelect"},                 {1007, "OnSubmit"},
    {1008, "OnUnload"},              {1009, "OnBounce"},                 {1010, "OnFinish"},
    {1011, "OnStart"},               {1014, "OnScroll"},                 {1015, "OnReset"},
    {1016, "Onresize"},              {1017, "OnBeforeUnload"},           {1023, "Oncontextmenu"},
    {1024, "OnBeforePrint"},         {1025, "OnAfterPrint"},             {1026, "OnStop"},
    {1027, "OnBeforeEditFocus"},     {1030, "Onlayoutcomplete"},         {1031, "Onpage"},
    {1033, "Onmousewheel"},          {1034, "Onbeforedeactivate"},       {1035, "Onmove"},
    {1036, "Oncontrolselect"},       {1037, "OnSelectionChange"},        {1038, "OnmoveStart"},
    {1039, "OnmoveEnd"},             {1040, "OnresizeStart"},            {1041, "OnresizeEnd"},
    {1042, "OnmouseEnter"},          {1043, "OnmouseLeave"},             {1044, "OnActivate"},
    {1045, "OnDeactivate"},          {1047, "OnBeforeActivate"},         {1048, "OnfocusIn"},
    {1049, "OnfocusOut"},
};
static_assert(sizeof kEvents / sizeof kEvents[0] == 80);

constexpr IID SinkIID(uint32_t d1) { return {d1, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}}; }

// In TSinkKind's order.
const IID kSinkIIDs[] = {
    SinkIID(0x3050F60F), SinkIID(0x3050F61D), SinkIID(0x3050F614), SinkIID(0x3050F612), SinkIID(0x3050F624),
    SinkIID(0x3050F616), SinkIID(0x3050F610), SinkIID(0x3050F61C), SinkIID(0x3050F622), SinkIID(0x3050F617),
    SinkIID(0x3050F618), SinkIID(0x3050F619), SinkIID(0x3050F61A), SinkIID(0x3050F61B), SinkIID(0x3050F61F),
    SinkIID(0x3050F625), SinkIID(0x3050F613), SinkIID(0x3050F61E), SinkIID(0x3050F611), SinkIID(0x3050F623),
    SinkIID(0x3050F621), SinkIID(0x3050F620), SinkIID(0x3050F7FF), SinkIID(0x3050F615), SinkIID(0x3050F6BD),
};
static_assert(sizeof kSinkIIDs / sizeof kSinkIIDs[0] == skNamespace + 1);

const TDispErrorStyle kHandlerErrors{9999, u""};

}  // namespace

DISPID EventDispID(TEventEnum Event) { return kEvents[Event].id; }
const char* EventName(TEventEnum Event) { return kEvents[Event].name; }
const IID& SinkKindIID(TSinkKind Kind) { return kSinkIIDs[Kind]; }

// ---- Handler items ---------------------------------------------------------------------------------------------

void TEventHandlerItem::SetEventID(TEventEnum Value) {
  if (Value == event_id_) return;
  event_id_ = Value;
  dispid_ = EventDispID(Value);
  try {
    Changed(false);
  } catch (...) {
    event_id_ = eiUnknown;
    dispid_ = 0;
    throw;
  }
}

AnsiString TEventHandlerItem::DisplayName() const {
  return event_id_ == eiUnknown ? TCollectionItem::DisplayName() : AnsiString(EventName(event_id_));
}

void TEventHandlerItem::Assign(TPersistent* Source) {
  if (auto* other = dynamic_cast<TEventHandlerItem*>(Source)) {
    SetEventID(other->event_id_);
    OnHandle = other->OnHandle;
    return;
  }
  TCollectionItem::Assign(Source);
}

THandlerCollection::THandlerCollection(THtmlListener* Listener)
    : TOwnedCollection(Listener, CollectionItemClass<TEventHandlerItem>()), listener_(Listener) {}

void THandlerCollection::Update(TCollectionItem* Item) {
  listener_->HandlersChanged(static_cast<TEventHandlerItem*>(Item));
}

// ---- The dispatch base and the link -----------------------------------------------------------------------------

HRESULT TInterfacedDispatchObject::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IInterfacedDispatch))
    *object = static_cast<IDispatch*>(this);
  else
    *object = QueryOwn(riid);
  if (!*object) return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

ULONG TInterfacedDispatchObject::Release() {
  ULONG n = --refs_;
  if (n == 0) delete this;
  return n;
}

HRESULT TInterfacedDispatchObject::GetTypeInfoCount(UINT* count) { return NoTypeInfoCount(count); }

HRESULT TInterfacedDispatchObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) { return NoTypeInfo(info); }

THtmlListenerLink::THtmlListenerLink(THtmlListener* Listener, TObject* Sender) : listener_(Listener), sender_(Sender) {
  listener_->links_.push_back(this);
}

THtmlListenerLink::~THtmlListenerLink() {
  if (point_) point_->Release();
  if (!listener_) return;
  auto& links = listener_->links_;
  links.erase(std::remove(links.begin(), links.end(), this), links.end());
  if (listener_->last_link_ == this) listener_->last_link_ = nullptr;
}

void* THtmlListenerLink::QueryOwn(REFIID riid) {
  if (IsEqualIID(riid, IID_IHubLink)) return static_cast<IHubLink*>(this);
  // The event interface of the listener's sink kind: the source asks for it at Advise.
  if (listener_ && IsEqualIID(riid, SinkKindIID(listener_->SinkKind()))) return static_cast<IDispatch*>(this);
  return nullptr;
}

void THtmlListenerLink::Advise(IUnknown* Source) {
  const IID& iid = SinkKindIID(listener_->SinkKind());
  IConnectionPointContainer* container = nullptr;
  IConnectionPoint* point = nullptr;
  if (Source) Source->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
  if (container) {
    if (FAILED(container->FindConnectionPoint(iid, &point))) point = nullptr;
    container->Release();
  }
  if (!point)
    throw Exception("Source don't have connection point for [" + kv::WideToAnsi(kv::GuidToString(iid)) + "]");
  DWORD cookie = 0;
  if (FAILED(point->Advise(static_cast<IDispatch*>(this), &cookie))) {
    point->Release();
    throw Exception("Error on IConnectionPoint.Advise");
  }
  point_ = point;
  cookie_ = cookie;
}

HRESULT THtmlListenerLink::Disconnect() {
  if (!point_) return S_OK;
  IConnectionPoint* point = point_;
  point_ = nullptr;
  point->Unadvise(cookie_);
  point->Release();
  return S_OK;
}

HRESULT THtmlListenerLink::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO* info,
                                  UINT*) {
  if (!listener_) return S_OK;
  return listener_->Dispatch(sender_, id, flags, params, info);
}

// ---- The listener ---------------------------------------------------------------------------------------------

THtmlListener::THtmlListener(TComponent* AOwner)
    : TComponent(AOwner), handlers_(std::make_unique<THandlerCollection>(this)) {}

THtmlListener::~THtmlListener() {
  Destroying();
  for (THtmlListenerLink* link : links_) link->Detach();
  links_.clear();
  last_link_ = nullptr;
  handlers_.reset();
}

void THtmlListener::SetSinkKind(TSinkKind Value) { sink_kind_ = Value; }

void THtmlListener::Connect(IUnknown* Source, TObject* Sender, IHubLink*& Link) {
  Link = nullptr;
  auto* link = new THtmlListenerLink(this, Sender);
  try {
    link->Advise(Source);
  } catch (...) {
    link->Release();
    throw;
  }
  last_link_ = link;
  Link = static_cast<IHubLink*>(link);  // the creation's reference goes to the caller
}

bool THtmlListener::FindHandler(DISPID Id, int& Index) const {
  int lo = 0, hi = static_cast<int>(sorted_.size()) - 1;
  while (hi >= lo) {
    int mid = (lo + hi) / 2;
    DISPID at = sorted_[static_cast<size_t>(mid)]->DispID();
    if (at < Id) {
      lo = mid + 1;
    } else if (at == Id) {
      Index = mid;
      return true;
    } else {
      hi = mid - 1;
    }
  }
  Index = lo;
  return false;
}

void THtmlListener::HandleEvent(TObject* Sender, DISPID Id, IHTMLEventObj* Event) {
  int index = 0;
  if (!FindHandler(Id, index)) return;
  TEventHandlerItem* item = sorted_[static_cast<size_t>(index)];
  if (item->OnHandle) item->OnHandle(Sender, Event);
}

void THtmlListener::Insert(TEventHandlerItem* Item) {
  int index = 0;
  if (FindHandler(Item->DispID(), index))
    throw Exception(Format("Handler with EventID = %s already exists.", {EventName(Item->EventID())}));
  sorted_.insert(sorted_.begin() + index, Item);
}

void THtmlListener::HandlersChanged(TEventHandlerItem* Item) {
  if (ComponentState().Contains(csDestroying) || !handlers_) return;
  if (!Item) {
    sorted_.clear();
    sorted_.reserve(static_cast<size_t>(handlers_->Count()));
    for (int i = 0; i < handlers_->Count(); ++i) {
      TEventHandlerItem* item = handlers_->Items(i);
      if (item->EventID() != eiUnknown) Insert(item);
    }
    return;
  }
  sorted_.erase(std::remove(sorted_.begin(), sorted_.end(), Item), sorted_.end());
  if (Item->EventID() != eiUnknown) Insert(Item);
}

HRESULT THtmlListener::Dispatch(TObject* Sender, DISPID id, WORD flags, DISPPARAMS* params, EXCEPINFO* info) {
  if (!(flags & DISPATCH_METHOD)) return S_OK;
  IHTMLEventObj* event = nullptr;
  if (params && params->cArgs > 0) {
    const VARIANT& arg = params->rgvarg[params->cArgs - 1];
    IUnknown* unknown = (arg.vt == VT_DISPATCH || arg.vt == VT_UNKNOWN) ? arg.punkVal : nullptr;
    if (unknown) unknown->QueryInterface(IID_IHTMLEventObj, reinterpret_cast<void**>(&event));
  }
  HRESULT hr = S_OK;
  try {
    HandleEvent(Sender, id, event);
  } catch (...) {
    hr = DispatchExceptionResult(info, kHandlerErrors);
  }
  if (event) event->Release();
  return hr;
}

HRESULT THtmlListener::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, SinkKindIID(sink_kind_))) {
    *object = static_cast<IDispatch*>(this);
    return S_OK;
  }
  return E_NOINTERFACE;
}

HRESULT THtmlListener::GetTypeInfoCount(UINT* count) { return NoTypeInfoCount(count); }

HRESULT THtmlListener::GetTypeInfo(UINT, LCID, ITypeInfo** info) { return NoTypeInfo(info); }

HRESULT THtmlListener::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO* info,
                              UINT*) {
  return Dispatch(this, id, flags, params, info);
}
