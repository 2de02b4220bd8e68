// Helpers shared by the browser folder's sources (not for other areas).
#pragma once

#include <cctype>
#include <string>
#include <string_view>

#include "platform/browser/element.h"
#include "platform/com/unknown.h"

namespace kv::browser {

// The interface `iid` of `from`, or null (also for a null `from`).
template <typename I>
I* Ask(IUnknown* from, const IID& iid) {
  I* out = nullptr;
  if (from && FAILED(from->QueryInterface(iid, reinterpret_cast<void**>(&out)))) out = nullptr;
  return out;
}
// Releases `p` and clears it; cleared first, so a release that calls back sees it gone.
template <typename I>
void Drop(I*& p) {
  if (p) {
    I* q = p;
    p = nullptr;
    q->Release();
  }
}

// An IDispatch of the browser's own, without type information.
class UntypedDispatch : public kv::RefCounted<IDispatch> {
 public:
  HRESULT GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
  }
};

// An optional argument: VT_EMPTY, VT_ERROR, VT_NULL and numbers count as absent for texts.
inline bool Absent(const VARIANT* v) {
  if (!v) return true;
  if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
  return v->vt == VT_EMPTY || v->vt == VT_ERROR || v->vt == VT_NULL;
}

inline LONG Long(const VARIANT* v) {
  if (Absent(v)) return 0;
  if (v->vt == (VT_BYREF | VT_VARIANT)) v = v->pvarVal;
  VARIANT x;
  VariantInit(&x);
  if (FAILED(VariantChangeType(&x, v, 0, VT_I4))) return 0;
  return x.lVal;
}

// Event arguments.
inline VARIANT VBstr(const std::string& s) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = Bstr(s);
  return v;
}
inline VARIANT VLong(LONG n) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = n;
  return v;
}
inline VARIANT VBool(bool b) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}
inline VARIANT VDispatch(IDispatch* d) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_DISPATCH;
  v.pdispVal = d;
  if (d) d->AddRef();
  return v;
}
inline VARIANT VRefVariant(VARIANT* target) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BYREF | VT_VARIANT;
  v.pvarVal = target;
  return v;
}
inline VARIANT VRefBool(VARIANT_BOOL* target) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BYREF | VT_BOOL;
  v.pboolVal = target;
  return v;
}

// `s` with ASCII letters in lower case.
inline std::string Lower(std::string_view s) {
  std::string out(s);
  for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The properties both browser objects (the control's and a frame's) answer alike
// through IDispatch, from their getters: Document, LocationName, LocationURL, Busy and
// ReadyState. DISP_E_MEMBERNOTFOUND for another id.
HRESULT BrowserProperty(IWebBrowser2* browser, DISPID id, VARIANT* result);

// The built-in page shown for a failed navigation (the top's or a frame's).
std::string ErrorPage(const std::string& url, LONG code);

}  // namespace kv::browser
