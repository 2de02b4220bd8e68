// Helpers shared by the IDispatch sides of the document's objects: names to DISPIDs,
// text, arguments, results and connection points.
#include <string_view>

#include "platform/base/codepage.h"
#include "platform/browser/element.h"

namespace kv::browser {
namespace {

bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x < 128) x = static_cast<char16_t>(std::tolower(x));
    if (y < 128) y = static_cast<char16_t>(std::tolower(y));
    if (x != y) return false;
  }
  return true;
}

}  // namespace

HRESULT NamesToIds(const DispName* table, size_t n, LPOLESTR* names, UINT count, DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    if (i > 0) {
      hr = DISP_E_UNKNOWNNAME;  // named arguments are not supported
      continue;
    }
    std::u16string_view name = names[i] ? std::u16string_view(names[i]) : std::u16string_view();
    bool found = false;
    for (size_t k = 0; k < n && !found; ++k)
      if (EqualNoCase(name, table[k].name)) {
        ids[i] = table[k].id;
        found = true;
      }
    if (!found) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

BSTR Bstr(std::string_view utf8) { return AllocBstr(Utf8ToWide(utf8)); }
std::string Utf8(BSTR b) { return WideToUtf8(BstrText(b)); }

bool ArgAs(DISPPARAMS* params, UINT i, VARTYPE vt, VARIANT* out) {
  VariantInit(out);
  if (!params || i >= params->cArgs) return false;
  const VARIANT& src = params->rgvarg[params->cArgs - 1 - i];
  return SUCCEEDED(VariantChangeType(out, &src, 0, vt));
}

HRESULT ResultBstr(VARIANT* result, BSTR b) {
  if (!result) {
    SysFreeString(b);
    return S_OK;
  }
  result->vt = VT_BSTR;
  result->bstrVal = b;
  return S_OK;
}
HRESULT ResultLong(VARIANT* result, LONG v) {
  if (result) {
    result->vt = VT_I4;
    result->lVal = v;
  }
  return S_OK;
}
HRESULT ResultBool(VARIANT* result, bool v) {
  if (result) {
    result->vt = VT_BOOL;
    result->boolVal = v ? VARIANT_TRUE : VARIANT_FALSE;
  }
  return S_OK;
}
HRESULT ResultDispatch(VARIANT* result, IDispatch* d) {
  if (!result) {
    if (d) d->Release();
    return S_OK;
  }
  if (!d) {
    result->vt = VT_NULL;
    return S_OK;
  }
  result->vt = VT_DISPATCH;
  result->pdispVal = d;
  return S_OK;
}

HRESULT FindPoint(IConnectionPointContainer* self, std::vector<kv::ConnectionPoint*>& points,
                  const std::vector<IID>& offered, REFIID riid, IConnectionPoint** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  for (auto* p : points)
    if (IsEqualIID(p->Iid(), riid)) {
      p->AddRef();
      *out = p;
      return S_OK;
    }
  for (const IID& iid : offered)
    if (IsEqualIID(iid, riid)) {
      auto* p = new kv::ConnectionPoint(self, iid);
      points.push_back(p);
      p->AddRef();
      *out = p;
      return S_OK;
    }
  return CONNECT_E_NOCONNECTION;
}

HRESULT EnumPoints(IConnectionPointContainer* self, std::vector<kv::ConnectionPoint*>& points,
                   const std::vector<IID>& offered, IEnumConnectionPoints** out) {
  if (!out) return E_POINTER;
  std::vector<IConnectionPoint*> list;
  for (const IID& iid : offered) {
    IConnectionPoint* p = nullptr;
    if (SUCCEEDED(FindPoint(self, points, offered, iid, &p))) list.push_back(p);
  }
  *out = new kv::EnumConnectionPoints(list);
  for (auto* p : list) p->Release();
  return S_OK;
}

void DetachPoints(std::vector<kv::ConnectionPoint*>& points) {
  for (auto* p : points) {
    p->Detach();
    p->Release();
  }
  points.clear();
}

}  // namespace kv::browser
