// The browser objects of frames.
#include "platform/browser/control.h"
#include "platform/browser/element.h"
#include "platform/browser/url.h"

namespace kv::browser {

HRESULT FrameBrowser::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return S_OK;
}
HRESULT FrameBrowser::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}
HRESULT FrameBrowser::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  static const DispName kNames[] = {{u"Navigate", DISPID_WB_NAVIGATE},       {u"Navigate2", DISPID_WB_NAVIGATE2},
                                    {u"Refresh", DISPID_WB_REFRESH},         {u"Stop", DISPID_WB_STOP},
                                    {u"Document", DISPID_WB_DOCUMENT},       {u"LocationName", DISPID_WB_LOCATIONNAME},
                                    {u"LocationURL", DISPID_WB_LOCATIONURL}, {u"Busy", DISPID_WB_BUSY},
                                    {u"ReadyState", DISPID_READYSTATE}};
  return NamesToIds(kNames, names, count, ids);
}
HRESULT FrameBrowser::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) {
  if (result) VariantInit(result);
  UINT argc = params ? params->cArgs : 0;
  BSTR s = nullptr;
  switch (id) {
    case DISPID_WB_NAVIGATE:
    case DISPID_WB_NAVIGATE2:
      if (argc < 1) return DISP_E_BADPARAMCOUNT;
      return Navigate2(&params->rgvarg[argc - 1], nullptr, nullptr, nullptr, nullptr);
    case DISPID_WB_REFRESH: return Refresh();
    case DISPID_WB_STOP: return Stop();
    case DISPID_WB_DOCUMENT: {
      IDispatch* d = nullptr;
      get_Document(&d);
      return ResultDispatch(result, d);
    }
    case DISPID_WB_LOCATIONNAME: get_LocationName(&s); return ResultBstr(result, s);
    case DISPID_WB_LOCATIONURL: get_LocationURL(&s); return ResultBstr(result, s);
    case DISPID_WB_BUSY: {
      VARIANT_BOOL b = VARIANT_FALSE;
      get_Busy(&b);
      return ResultBool(result, b != VARIANT_FALSE);
    }
    case DISPID_READYSTATE: {
      LONG state = 0;
      get_ReadyState(&state);
      return ResultLong(result, state);
    }
    default: return DISP_E_MEMBERNOTFOUND;
  }
}
HRESULT FrameBrowser::Navigate(BSTR url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) {
  if (!top_) return E_UNEXPECTED;
  std::string u = Utf8(url);
  if (u.empty()) return E_INVALIDARG;
  return top_->NavigateFrame(slot_, ResolveUrl(slot_->url, NormalizeUrl(u)));
}
HRESULT FrameBrowser::Navigate2(VARIANT* url, VARIANT* flags, VARIANT* target, VARIANT* post_data, VARIANT* headers) {
  if (!url) return E_INVALIDARG;
  const VARIANT* v = url->vt == (VT_BYREF | VT_VARIANT) ? url->pvarVal : url;
  if (!v || v->vt != VT_BSTR) return E_INVALIDARG;
  return Navigate(v->bstrVal, flags, target, post_data, headers);
}
HRESULT FrameBrowser::Refresh() {
  if (!top_) return E_UNEXPECTED;
  return top_->NavigateFrame(slot_, slot_->url);
}
HRESULT FrameBrowser::Stop() {
  if (!top_) return E_UNEXPECTED;
  slot_->load.reset();
  return S_OK;
}
HRESULT FrameBrowser::get_Document(IDispatch** document) {
  if (!document) return E_POINTER;
  *document = nullptr;
  if (top_ && slot_->document) {
    slot_->document->AddRef();
    *document = static_cast<IHTMLDocument2*>(slot_->document);
  }
  return S_OK;
}
HRESULT FrameBrowser::get_LocationName(BSTR* name) {
  if (!name) return E_POINTER;
  std::string title = top_ && slot_->document ? slot_->document->Title() : "";
  *name = Bstr(title.empty() && top_ ? slot_->url : title);
  return S_OK;
}
HRESULT FrameBrowser::get_LocationURL(BSTR* url) {
  if (!url) return E_POINTER;
  *url = Bstr(top_ ? slot_->url : "");
  return S_OK;
}
HRESULT FrameBrowser::get_Busy(VARIANT_BOOL* busy) {
  if (!busy) return E_POINTER;
  // Busy from the start of its load until its walk is over (ReadyState 1 to 3).
  const int state = top_ ? top_->FrameReadyState(slot_) : READYSTATE_UNINITIALIZED;
  *busy = state >= READYSTATE_LOADING && state <= READYSTATE_INTERACTIVE ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}
HRESULT FrameBrowser::get_ReadyState(LONG* state) {
  if (!state) return E_POINTER;
  *state = top_ ? top_->FrameReadyState(slot_) : READYSTATE_UNINITIALIZED;
  return S_OK;
}

}  // namespace kv::browser
