// The COM objects of a document's window and of its event objects.
#include "platform/base/codepage.h"
#include "platform/browser/element.h"
#include "platform/browser/script.h"
#include "platform/browser/url.h"

namespace kv::browser {

// ---- Window ---------------------------------------------------------------------------------------------
Window::~Window() {
  DetachPoints(points_);
  if (external_) external_->Release();
}
HRESULT Window::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IHTMLWindow2))
    *object = static_cast<IHTMLWindow2*>(this);
  else if (IsEqualIID(riid, IID_IConnectionPointContainer))
    *object = static_cast<IConnectionPointContainer*>(this);
  else if (IsEqualIID(riid, IID_KvBrowserDocument))
    *object = doc_;
  if (!*object) return E_NOINTERFACE;
  AddRef();
  return S_OK;
}
ULONG Window::AddRef() { return doc_->AddRef(); }
ULONG Window::Release() { return doc_->Release(); }
HRESULT Window::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return S_OK;
}
HRESULT Window::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}
HRESULT Window::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  // A torn-down window answers no name; else a page global of exactly that name, then
  // the window's members without case.
  if (doc_->TornDown()) return DISP_E_UNKNOWNNAME;
  if (Script* script = doc_->GetScript();
      script && names && names[0] && ids && count == 1 && script->GlobalId(names[0], ids) == S_OK)
    return S_OK;
  static const DispName kNames[] = {{u"document", 1}, {u"event", 2},  {u"external", 3}, {u"alert", 4}, {u"confirm", 5},
                                    {u"navigate", 6}, {u"parent", 7}, {u"top", 8},      {u"self", 9},  {u"window", 9},
                                    {u"moveTo", 10},  {u"moveBy", 11}, {u"resizeTo", 12}, {u"resizeBy", 13}};
  return NamesToIds(kNames, names, count, ids);
}
HRESULT Window::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                       UINT*) {
  if (result) VariantInit(result);
  if (doc_->TornDown()) return DISP_E_MEMBERNOTFOUND;
  if (Script* script = doc_->GetScript(); script && script->IsGlobalId(id))
    return script->InvokeGlobal(id, flags, params, result, excep);
  if (id >= 4 && id <= 6 && !(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
  IDispatch* d = nullptr;
  VARIANT a;
  HRESULT hr = S_OK;
  switch (id) {
    case 1: hr = get_document(reinterpret_cast<IHTMLDocument2**>(&d)); break;
    case 2: hr = get_event(reinterpret_cast<IHTMLEventObj**>(&d)); break;
    case 3: hr = get_external(&d); break;
    case 7:
    case 8:
    case 9: hr = get_top(reinterpret_cast<IHTMLWindow2**>(&d)); break;
    case 4:
    case 5:
    case 6: {
      if (!ArgAs(params, 0, VT_BSTR, &a)) return DISP_E_BADPARAMCOUNT;
      if (id == 4) {
        hr = alert(a.bstrVal);
      } else if (id == 6) {
        hr = navigate(a.bstrVal);
      } else {
        VARIANT_BOOL r = VARIANT_FALSE;
        hr = confirm(a.bstrVal, &r);
        ResultBool(result, r != VARIANT_FALSE);
      }
      VariantClear(&a);
      return hr;
    }
    case 10:
    case 11:
    case 12:
    case 13: {
      VARIANT b;
      if (!ArgAs(params, 0, VT_I4, &a) || !ArgAs(params, 1, VT_I4, &b)) return DISP_E_BADPARAMCOUNT;
      if (doc_->Host()) doc_->Host()->DocumentMoveWindow(id >= 12, id == 11 || id == 13, a.lVal, b.lVal);
      return S_OK;
    }
    default: return DISP_E_MEMBERNOTFOUND;
  }
  if (SUCCEEDED(hr)) ResultDispatch(result, d);
  return hr;
}
HRESULT Window::get_document(IHTMLDocument2** document) {
  if (!document) return E_POINTER;
  doc_->AddRef();
  *document = static_cast<IHTMLDocument2*>(doc_);
  return S_OK;
}
HRESULT Window::get_event(IHTMLEventObj** event) {
  if (!event) return E_POINTER;
  *event = doc_->CurrentEvent();
  if (*event) (*event)->AddRef();
  return S_OK;
}
HRESULT Window::get_external(IDispatch** external) {
  if (!external) return E_POINTER;
  *external = nullptr;
  // The host is asked once per document.
  if (!external_asked_ && doc_->Host()) {
    external_asked_ = true;
    doc_->Host()->DocumentExternal(&external_);
  }
  if (external_) {
    external_->AddRef();
    *external = external_;
  }
  return S_OK;
}
HRESULT Window::alert(BSTR message) {
  if (!doc_->Host()) return S_OK;
  LRESULT r = 0;
  return doc_->Host()->DocumentShowMessage(BstrText(message), 0x30 /* MB_ICONWARNING */, &r);
}
HRESULT Window::confirm(BSTR message, VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = VARIANT_FALSE;
  if (!doc_->Host()) return S_OK;
  LRESULT r = 0;
  HRESULT hr = doc_->Host()->DocumentShowMessage(BstrText(message), 0x21 /* MB_OKCANCEL | MB_ICONQUESTION */, &r);
  *result = r == 1 /* IDOK */ ? VARIANT_TRUE : VARIANT_FALSE;
  return hr;
}
HRESULT Window::navigate(BSTR url) {
  if (doc_->Host()) doc_->Host()->NavigateFromDocument(doc_, ResolveUrl(doc_->Url(), Utf8(url)), "", {}, "");
  return S_OK;
}
HRESULT Window::get_parent(IHTMLWindow2** parent) { return get_top(parent); }
HRESULT Window::get_top(IHTMLWindow2** top) {
  if (!top) return E_POINTER;
  AddRef();
  *top = this;
  return S_OK;
}
HRESULT Window::EnumConnectionPoints(IEnumConnectionPoints** out) {
  return EnumPoints(this, points_, {DIID_HTMLWindowEvents2}, out);
}
HRESULT Window::FindConnectionPoint(REFIID riid, IConnectionPoint** out) {
  return FindPoint(this, points_, {DIID_HTMLWindowEvents2}, riid, out);
}

// ---- Event objects -------------------------------------------------------------------------------------
EventObj::EventObj(Document* doc, const DomEvent& ev) : doc_(doc), ev_(ev) { doc_->AddRef(); }
EventObj::~EventObj() {
  VariantClear(&return_value_);
  doc_->Release();
}
HRESULT EventObj::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return S_OK;
}
HRESULT EventObj::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}
HRESULT EventObj::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  static const DispName kNames[] = {{u"srcElement", 1},   {u"type", 2},     {u"keyCode", 3}, {u"returnValue", 4},
                                    {u"cancelBubble", 5}, {u"button", 6},   {u"altKey", 7},  {u"ctrlKey", 8},
                                    {u"shiftKey", 9},     {u"clientX", 10}, {u"clientY", 11}};
  return NamesToIds(kNames, names, count, ids);
}
HRESULT EventObj::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) {
  if (result) VariantInit(result);
  bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
  VARIANT a;
  switch (id) {
    case 1: {
      IHTMLElement* e = nullptr;
      get_srcElement(&e);
      return ResultDispatch(result, e);
    }
    case 2: {
      BSTR b = nullptr;
      get_type(&b);
      return ResultBstr(result, b);
    }
    case 3:
      if (put) {
        if (!ArgAs(params, 0, VT_I4, &a)) return DISP_E_TYPEMISMATCH;
        return put_keyCode(a.lVal);
      }
      return ResultLong(result, ev_.key_code);
    case 4:
      if (put) {
        if (!params || params->cArgs < 1) return DISP_E_BADPARAMCOUNT;
        return put_returnValue(params->rgvarg[params->cArgs - 1]);
      }
      return result ? get_returnValue(result) : S_OK;
    case 5:
      if (put) {
        if (!ArgAs(params, 0, VT_BOOL, &a)) return DISP_E_TYPEMISMATCH;
        return put_cancelBubble(a.boolVal);
      }
      return ResultBool(result, cancel_bubble_);
    case 6: return ResultLong(result, ev_.button);
    case 7: return ResultBool(result, ev_.alt);
    case 8: return ResultBool(result, ev_.ctrl);
    case 9: return ResultBool(result, ev_.shift);
    case 10: return ResultLong(result, ev_.x);
    case 11: return ResultLong(result, ev_.y);
    default: return DISP_E_MEMBERNOTFOUND;
  }
}
HRESULT EventObj::get_srcElement(IHTMLElement** element) {
  if (!element) return E_POINTER;
  *element = nullptr;
  if (!ev_.target || ev_.target->kind != Node::kElement) return S_OK;
  Element* e = doc_->ElementOf(ev_.target);
  e->AddRef();
  *element = static_cast<IHTMLElement*>(e);
  return S_OK;
}
HRESULT EventObj::get_type(BSTR* type) {
  if (!type) return E_POINTER;
  *type = Bstr(ev_.type);
  return S_OK;
}
HRESULT EventObj::get_keyCode(LONG* code) {
  if (!code) return E_POINTER;
  *code = ev_.key_code;
  return S_OK;
}
HRESULT EventObj::put_keyCode(LONG code) {
  ev_.key_code = code;
  return S_OK;
}
HRESULT EventObj::get_returnValue(VARIANT* value) {
  if (!value) return E_POINTER;
  VariantInit(value);
  return VariantCopy(value, &return_value_);
}
HRESULT EventObj::put_returnValue(VARIANT value) {
  VariantClear(&return_value_);
  VariantCopy(&return_value_, &value);
  if (value.vt == VT_BOOL && value.boolVal == VARIANT_FALSE) return_false_ = true;
  return S_OK;
}
HRESULT EventObj::get_cancelBubble(VARIANT_BOOL* cancel) {
  if (!cancel) return E_POINTER;
  *cancel = cancel_bubble_ ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}
HRESULT EventObj::put_cancelBubble(VARIANT_BOOL cancel) {
  cancel_bubble_ = cancel != VARIANT_FALSE;
  return S_OK;
}
HRESULT EventObj::get_button(LONG* button) {
  if (!button) return E_POINTER;
  *button = ev_.button;
  return S_OK;
}
HRESULT EventObj::get_altKey(VARIANT_BOOL* down) {
  if (!down) return E_POINTER;
  *down = ev_.alt ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}
HRESULT EventObj::get_ctrlKey(VARIANT_BOOL* down) {
  if (!down) return E_POINTER;
  *down = ev_.ctrl ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}
HRESULT EventObj::get_shiftKey(VARIANT_BOOL* down) {
  if (!down) return E_POINTER;
  *down = ev_.shift ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}
HRESULT EventObj::get_clientX(LONG* x) {
  if (!x) return E_POINTER;
  *x = ev_.x;
  return S_OK;
}
HRESULT EventObj::get_clientY(LONG* y) {
  if (!y) return E_POINTER;
  *y = ev_.y;
  return S_OK;
}
HRESULT EventObj::get_fromElement(IHTMLElement** element) {
  if (!element) return E_POINTER;
  *element = nullptr;
  return S_OK;
}
HRESULT EventObj::get_toElement(IHTMLElement** element) {
  if (!element) return E_POINTER;
  *element = nullptr;
  return S_OK;
}

}  // namespace kv::browser
