// Controls of <object> elements and their sites.
#include "platform/browser/object.h"

#include <algorithm>
#include <cstdio>

#include "platform/base/codepage.h"
#include "platform/base/internal.h"
#include "platform/browser/internal.h"
#include "platform/browser/layout.h"
#include "platform/browser/task.h"
#include "platform/com/builtin.h"
#include "platform/com/unknown.h"

namespace kv::browser {
namespace {

constexpr HRESULT INPLACE_E_NOTOOLSPACE = KV_HR(0x800401A1);

kv::base::Recorder& ControlRecorder() {
  static auto* r = new kv::base::Recorder("browser", "control");  // never destroyed: teardown may run at exit
  return *r;
}

void RecordStep(const std::string& who, const char* step, HRESULT hr) {
  char code[16];
  snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
  ControlRecorder().Add(who + " " + step + " " + code);
}

// Marks `object` safe for scripting, and with `data` for initialising from a property
// bag, recording each step; false when it lacks IObjectSafety or refuses.
bool MarkSafe(IUnknown* object, bool data, const std::string& who) {
  IObjectSafety* safety = nullptr;
  if (FAILED(object->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(&safety))) || !safety) {
    RecordStep(who, "IObjectSafety", E_NOINTERFACE);
    ControlRecorder().Add(who + " not safe for scripting");
    return false;
  }
  HRESULT hr = safety->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER,
                                                 INTERFACESAFE_FOR_UNTRUSTED_CALLER);
  RecordStep(who, "SetInterfaceSafetyOptions(IDispatch, 1, 1)", hr);
  bool safe = SUCCEEDED(hr);
  if (safe && data) {
    hr = safety->SetInterfaceSafetyOptions(IID_IPersistPropertyBag, INTERFACESAFE_FOR_UNTRUSTED_DATA,
                                           INTERFACESAFE_FOR_UNTRUSTED_DATA);
    RecordStep(who, "SetInterfaceSafetyOptions(IPersistPropertyBag, 2, 2)", hr);
    safe = SUCCEEDED(hr);
  }
  safety->Release();
  if (!safe) ControlRecorder().Add(who + " not safe for scripting");
  return safe;
}

int HimetricToPixels(LONG v) { return static_cast<int>((static_cast<int64_t>(v) * 96 + 1270) / 2540); }
LONG PixelsToHimetric(double v) { return static_cast<LONG>(v * 2540 / 96 + (v < 0 ? -0.5 : 0.5)); }

// The <param name value> children of an <object>, as a property bag.
class ParamBag final : public kv::RefCounted<IPropertyBag> {
 public:
  explicit ParamBag(std::vector<std::pair<std::u16string, std::u16string>> params) : params_(std::move(params)) {}
  HRESULT Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
    if (!name || !value) return E_POINTER;
    for (const auto& p : params_) {
      if (!kv::SameNameNoCase(p.first, name)) continue;
      VARIANT text;
      VariantInit(&text);
      text.vt = VT_BSTR;
      text.bstrVal = kv::AllocBstr(p.second);
      VARTYPE wanted = value->vt;
      HRESULT hr = S_OK;
      if (wanted == VT_EMPTY || wanted == VT_BSTR) {
        VariantClear(value);
        *value = text;
        return S_OK;
      }
      hr = VariantChangeType(value, &text, 0, wanted);
      VariantClear(&text);
      return hr;
    }
    return E_INVALIDARG;
  }
  HRESULT Write(LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }

 private:
  bool Accepts(REFIID riid) const override { return IsEqualIID(riid, IID_IPropertyBag); }
  std::vector<std::pair<std::u16string, std::u16string>> params_;
};

// "clsid:XXXXXXXX-..." (any letter case, braces optional) as a class id.
bool ParseClassId(const std::string& text, CLSID* clsid) {
  if (text.size() < 6 || !kv::base::EqualsNoCase(std::string_view(text).substr(0, 6), "clsid:")) return false;
  std::string id = text.substr(6);
  while (!id.empty() && id.back() == ' ') id.pop_back();
  if (id.empty()) return false;
  if (id.front() != '{') id = "{" + id + "}";
  std::u16string wide = kv::Utf8ToWide(id);
  return SUCCEEDED(IIDFromString(wide.c_str(), clsid));
}

// The interface a coclass implements with exactly these flags.
ITypeInfo* ImplementedWith(ITypeInfo* coclass, INT flags) {
  TYPEATTR* attr = nullptr;
  if (FAILED(coclass->GetTypeAttr(&attr))) return nullptr;
  ITypeInfo* found = nullptr;
  for (UINT i = 0; i < attr->cImplTypes && !found; ++i) {
    INT f = 0;
    HREFTYPE ref = 0;
    if (SUCCEEDED(coclass->GetImplTypeFlags(i, &f)) &&
        (f & (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE | IMPLTYPEFLAG_FRESTRICTED)) == flags &&
        SUCCEEDED(coclass->GetRefTypeOfImplType(i, &ref)))
      coclass->GetRefTypeInfo(ref, &found);
  }
  coclass->ReleaseTypeAttr(attr);
  return found;
}

// The type library of a class: the one its object's type information belongs to, else
// the one its registration names.
ITypeLib* LibraryOf(IDispatch* dispatch, REFCLSID clsid) {
  ITypeInfo* info = nullptr;
  if (dispatch && SUCCEEDED(dispatch->GetTypeInfo(0, 2052, &info)) && info) {
    ITypeLib* lib = nullptr;
    HRESULT hr = info->GetContainingTypeLib(&lib, nullptr);
    info->Release();
    if (SUCCEEDED(hr) && lib) return lib;
  }
  std::u16string key = u"CLSID\\" + kv::GuidToString(clsid), libid_text, version;
  GUID libid;
  if (!kv::ClassesRootText(key + u"\\TypeLib", libid_text) || FAILED(IIDFromString(libid_text.c_str(), &libid)))
    return nullptr;
  unsigned major = 1, minor = 0;
  if (kv::ClassesRootText(key + u"\\Version", version)) {
    std::string v = kv::WideToUtf8(version);
    if (sscanf(v.c_str(), "%x.%x", &major, &minor) < 1) major = 1;
  }
  ITypeLib* lib = nullptr;
  if (FAILED(LoadRegTypeLib(libid, static_cast<WORD>(major), static_cast<WORD>(minor), 0, &lib))) return nullptr;
  return lib;
}

}  // namespace

PageControl::PageControl(Document* doc, Node* node, HWND window, const CLSID& clsid, std::string who)
    : doc_(doc), node_(node), window_(window), clsid_(clsid), who_(std::move(who)) {}

PageControl::~PageControl() { TearDown(); }

ULONG PageControl::Release() {
  ULONG n = --refs_;
  if (n == 0) delete this;
  return n;
}

void PageControl::Record(const char* step, HRESULT hr) const { RecordStep(who_, step, hr); }

void PageControl::Create(Document* doc, Node* node, HWND window) {
  const std::string* classid = node->Attr("classid");
  if (!classid) return;
  std::string who = node->AttrOr("id", node->AttrOr("name", "object"));
  CLSID clsid;
  if (!ParseClassId(*classid, &clsid)) {
    ControlRecorder().Add(who + " classid \"" + *classid + "\" is not a class id");
    return;
  }
  std::vector<std::pair<std::u16string, std::u16string>> params;
  for (const auto& c : node->children)
    if (c->IsElement("param") && c->Attr("name"))
      params.emplace_back(kv::Utf8ToWide(*c->Attr("name")), kv::Utf8ToWide(c->AttrOr("value")));

  auto* site = new PageControl(doc, node, window, clsid, who);
  ControlRecorder().Add(who + " " + kv::WideToUtf8(kv::GuidToString(clsid)));
  HRESULT hr =
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&site->object_));
  site->Record("CoCreateInstance", hr);
  if (FAILED(hr) || !site->object_) {
    site->object_ = nullptr;
    site->Release();
    return;
  }

  // Safe for scripting, and for initialisation when there is data it will load.
  IPersistPropertyBag* bag = Ask<IPersistPropertyBag>(site->object_, IID_IPersistPropertyBag);
  if (!MarkSafe(site->object_, bag && !params.empty(), who)) {
    if (bag) bag->Release();
    Drop(site->object_);
    site->Release();
    PostTask([] { CoFreeUnusedLibraries(); });
    return;
  }

  site->ole_ = Ask<IOleObject>(site->object_, IID_IOleObject);
  if (site->ole_)
    site->Record("SetClientSite", site->ole_->SetClientSite(site));
  else
    site->Record("IOleObject", E_NOINTERFACE);

  if (bag && !params.empty()) {
    auto* data = new ParamBag(params);
    site->Record(("IPersistPropertyBag::Load(" + std::to_string(params.size()) + " params)").c_str(),
                 bag->Load(data, nullptr));
    data->Release();
  } else if (bag) {
    site->Record("IPersistPropertyBag::InitNew", bag->InitNew());
  } else if (IPersistStreamInit* stream = Ask<IPersistStreamInit>(site->object_, IID_IPersistStreamInit)) {
    site->Record("IPersistStreamInit::InitNew", stream->InitNew());
    stream->Release();
    if (!params.empty()) ControlRecorder().Add(who + " params ignored: no IPersistPropertyBag");
  } else {
    site->Record("InitNew", E_NOINTERFACE);
  }
  if (bag) bag->Release();

  site->dispatch_ = Ask<IDispatch>(site->object_, IID_IDispatch);
  node->control = site;
  doc->AddControl(site);  // the document's reference is the one `new` gave
  doc->Invalidate();      // the element's box now has the control's size

  if (site->ole_ && window) {
    RECT pos = site->Position();
    site->Record("DoVerb(OLEIVERB_INPLACEACTIVATE)",
                 site->ole_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site, 0, window, &pos));
  } else if (site->ole_) {
    ControlRecorder().Add(who + " not activated: no document window");
  }
  ControlRecorder().Add(who + " created");
}

HRESULT PageControl::CreateForScript(const std::u16string& prog_id, IDispatch** out) {
  *out = nullptr;
  std::string who = "ActiveXObject(" + kv::WideToUtf8(prog_id) + ")";
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(prog_id.c_str(), &clsid);
  if (FAILED(hr)) {
    RecordStep(who, "CLSIDFromProgID", hr);
    return hr;
  }
  IUnknown* object = nullptr;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object));
  RecordStep(who, "CoCreateInstance", hr);
  if (FAILED(hr) || !object) return FAILED(hr) ? hr : E_NOINTERFACE;
  IDispatch* dispatch = nullptr;
  if (MarkSafe(object, false, who)) {
    hr = object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
    if (FAILED(hr)) RecordStep(who, "IDispatch", hr);
  } else {
    hr = E_ACCESSDENIED;
  }
  object->Release();
  if (!dispatch) {
    PostTask([] { CoFreeUnusedLibraries(); });
    return FAILED(hr) ? hr : E_NOINTERFACE;
  }
  ControlRecorder().Add(who + " created");
  *out = dispatch;
  return S_OK;
}

void PageControl::NodeGone() {
  node_ = nullptr;
  TearDown();
  PostTask([] { CoFreeUnusedLibraries(); });
}

void PageControl::TearDown() {
  if (node_) node_->control = nullptr;
  node_ = nullptr;
  if (!object_) return;
  for (auto& c : connections_) {
    c.first->Unadvise(c.second);
    c.first->Release();
  }
  connections_.clear();
  if (ole_) {
    ole_->Close(OLECLOSE_NOSAVE);
    ole_->SetClientSite(nullptr);
  }
  Drop(in_place_);
  Drop(dispatch_);
  Drop(ole_);
  Drop(object_);
  ControlRecorder().Add(who_ + " released");
}

RECT PageControl::Position() const {
  SIZE size = BoxSize();
  RECT rc{0, 0, size.cx, size.cy};
  if (!node_ || !window_ || !doc_) return rc;
  RECT client{};
  GetClientRect(window_, &client);
  HDC dc = GetDC(window_);
  RECT box{};
  if (doc_->LayoutFor(dc, client.right - client.left).BoxOf(node_, &box)) rc = box;
  ReleaseDC(window_, dc);
  return rc;
}

SIZE PageControl::BoxSize() const {
  SIZE size{0, 0};
  if (ole_) {
    SIZEL extent{};
    if (SUCCEEDED(ole_->GetExtent(DVASPECT_CONTENT, &extent)))
      size = {HimetricToPixels(extent.cx), HimetricToPixels(extent.cy)};
  }
  if (node_) {
    auto attr = [&](const char* name, LONG fallback) -> LONG {
      const std::string* v = node_->Attr(name);
      if (!v || v->empty() || (*v)[0] < '0' || (*v)[0] > '9') return fallback;
      long n = 0;
      for (char c : *v) {
        if (c < '0' || c > '9') break;
        n = std::min(4000L, n * 10 + (c - '0'));
      }
      return n;
    };
    size = {attr("width", size.cx), attr("height", size.cy)};
  }
  return size;
}

void PageControl::Draw(HDC dc, const RECT& rc) const {
  IViewObject* view = Ask<IViewObject>(object_, IID_IViewObject);
  if (!view) return;
  RECTL bounds{rc.left, rc.top, rc.right, rc.bottom};
  view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0);
  view->Release();
}

HRESULT PageControl::EventTypeInfo(ITypeInfo** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!object_) return E_UNEXPECTED;
  ITypeLib* lib = LibraryOf(dispatch_, clsid_);
  if (!lib) return TYPE_E_ELEMENTNOTFOUND;
  ITypeInfo* coclass = nullptr;
  HRESULT hr = lib->GetTypeInfoOfGuid(clsid_, &coclass);
  lib->Release();
  if (FAILED(hr)) return hr;
  *out = ImplementedWith(coclass, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE);
  coclass->Release();
  return *out ? S_OK : TYPE_E_ELEMENTNOTFOUND;
}

HRESULT PageControl::AdviseEvents(IUnknown* sink, DWORD* cookie) {
  if (!sink || !cookie) return E_POINTER;
  *cookie = 0;
  ITypeInfo* events = nullptr;
  HRESULT hr = EventTypeInfo(&events);
  if (FAILED(hr)) return hr;
  TYPEATTR* attr = nullptr;
  hr = events->GetTypeAttr(&attr);
  IID iid = SUCCEEDED(hr) ? attr->guid : GUID_NULL;
  if (attr) events->ReleaseTypeAttr(attr);
  events->Release();
  if (FAILED(hr)) return hr;
  IConnectionPointContainer* container = Ask<IConnectionPointContainer>(object_, IID_IConnectionPointContainer);
  if (!container) return CONNECT_E_NOCONNECTION;
  IConnectionPoint* point = nullptr;
  hr = container->FindConnectionPoint(iid, &point);
  container->Release();
  if (FAILED(hr) || !point) return FAILED(hr) ? hr : CONNECT_E_NOCONNECTION;
  hr = point->Advise(sink, cookie);
  Record("Advise", hr);
  if (FAILED(hr)) {
    point->Release();
    return hr;
  }
  connections_.emplace_back(point, *cookie);
  return S_OK;
}

HRESULT PageControl::UnadviseEvents(DWORD cookie) {
  for (auto it = connections_.begin(); it != connections_.end(); ++it) {
    if (it->second != cookie) continue;
    IConnectionPoint* point = it->first;
    connections_.erase(it);
    HRESULT hr = point->Unadvise(cookie);
    point->Release();
    return hr;
  }
  return CONNECT_E_NOCONNECTION;
}

// ---- The site ---------------------------------------------------------------------------------------

HRESULT PageControl::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite))
    *object = static_cast<IOleClientSite*>(this);
  else if (IsEqualIID(riid, IID_IOleInPlaceSite) || IsEqualIID(riid, IID_IOleWindow))
    *object = static_cast<IOleInPlaceSite*>(this);
  else if (IsEqualIID(riid, IID_IOleControlSite))
    *object = static_cast<IOleControlSite*>(this);
  else if (IsEqualIID(riid, IID_IOleInPlaceFrame) || IsEqualIID(riid, IID_IOleInPlaceUIWindow))
    *object = static_cast<IOleInPlaceFrame*>(this);
  else if (IsEqualIID(riid, IID_IDispatch))
    *object = static_cast<IDispatch*>(this);
  if (!*object) return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

HRESULT PageControl::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker) *moniker = nullptr;
  return E_NOTIMPL;
}

HRESULT PageControl::GetContainer(IOleContainer** container) {
  if (container) *container = nullptr;
  return E_NOINTERFACE;
}

HRESULT PageControl::GetWindow(HWND* hwnd) {
  if (!hwnd) return E_POINTER;
  *hwnd = window_;
  return window_ ? S_OK : E_FAIL;
}

HRESULT PageControl::OnInPlaceActivate() {
  Drop(in_place_);
  in_place_ = Ask<IOleInPlaceObject>(object_, IID_IOleInPlaceObject);
  return S_OK;
}

HRESULT PageControl::OnInPlaceDeactivate() {
  Drop(in_place_);
  return S_OK;
}

HRESULT PageControl::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                      LPOLEINPLACEFRAMEINFO info) {
  if (!frame || !doc || !pos || !clip) return E_POINTER;
  *frame = static_cast<IOleInPlaceFrame*>(this);
  AddRef();
  *doc = nullptr;
  *pos = Position();
  *clip = *pos;
  if (info) {
    info->fMDIApp = FALSE;
    info->hwndFrame = window_ ? GetAncestor(window_, GA_ROOT) : nullptr;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
  }
  return S_OK;
}

HRESULT PageControl::OnPosRectChange(LPCRECT pos) {
  if (!pos) return E_POINTER;
  if (!in_place_) return E_UNEXPECTED;
  return in_place_->SetObjectRects(pos, pos);
}

HRESULT PageControl::GetExtendedControl(IDispatch** control) {
  if (control) *control = nullptr;
  return E_NOTIMPL;
}

HRESULT PageControl::TransformCoords(POINTL* himetric, POINTF* container, DWORD flags) {
  constexpr DWORD kToContainer = 0x4, kToHimetric = 0x8;
  if (!himetric || !container) return E_POINTER;
  if (flags & kToContainer) {
    container->x = static_cast<FLOAT>(himetric->x * 96.0 / 2540);
    container->y = static_cast<FLOAT>(himetric->y * 96.0 / 2540);
  } else if (flags & kToHimetric) {
    himetric->x = PixelsToHimetric(container->x);
    himetric->y = PixelsToHimetric(container->y);
  } else {
    return E_INVALIDARG;
  }
  return S_OK;
}

HRESULT PageControl::GetBorder(LPRECT) { return INPLACE_E_NOTOOLSPACE; }
HRESULT PageControl::RequestBorderSpace(LPCBORDERWIDTHS) { return INPLACE_E_NOTOOLSPACE; }
HRESULT PageControl::SetBorderSpace(LPCBORDERWIDTHS) { return INPLACE_E_NOTOOLSPACE; }

HRESULT PageControl::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT PageControl::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT PageControl::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) {
  for (UINT i = 0; ids && i < count; ++i) ids[i] = DISPID_UNKNOWN;
  return DISP_E_UNKNOWNNAME;
}

HRESULT PageControl::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) {
  if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
  VARIANT v;
  VariantInit(&v);
  switch (id) {
    case DISPID_AMBIENT_USERMODE:
      v.vt = VT_BOOL;
      v.boolVal = VARIANT_TRUE;
      break;
    case DISPID_AMBIENT_UIDEAD:
      v.vt = VT_BOOL;
      v.boolVal = VARIANT_FALSE;
      break;
    case DISPID_AMBIENT_LOCALEID:
      v.vt = VT_I4;
      v.lVal = 2052;
      break;
    default: return DISP_E_MEMBERNOTFOUND;
  }
  if (result) *result = v;
  return S_OK;
}

}  // namespace kv::browser

extern "C" {

DWORD KvBrowserControlLog(char* buffer, DWORD size) { return kv::browser::ControlRecorder().Copy(buffer, size); }
void KvBrowserControlLogClear(void) { kv::browser::ControlRecorder().Clear(); }

}  // extern "C"
