// SAFEARRAY: creation, element access, copies.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/com/oleauto.h"

namespace {

// Every array block starts 16 bytes before the SAFEARRAY, its element type in the 4 bytes
// just before it (FADF_HAVEVARTYPE).
constexpr size_t kHeader = 16;

size_t StructSize(UINT dims) { return sizeof(SAFEARRAY) + (dims - 1) * sizeof(SAFEARRAYBOUND); }

ULONG ElementSize(VARTYPE vt) {
  if (vt == VT_VARIANT) return sizeof(VARIANT);
  if (vt & VT_ARRAY) return 0;
  return static_cast<ULONG>(kv::VarTypeSize(vt));
}

USHORT FeaturesOf(VARTYPE vt) {
  switch (vt) {
    case VT_BSTR: return FADF_BSTR;
    case VT_DISPATCH: return FADF_DISPATCH;
    case VT_UNKNOWN: return FADF_UNKNOWN;
    case VT_VARIANT: return FADF_VARIANT;
    default: return 0;
  }
}

VARTYPE TypeOf(const SAFEARRAY* a) {
  VARTYPE vt;
  memcpy(&vt, reinterpret_cast<const BYTE*>(a) - sizeof(DWORD), sizeof vt);
  return vt;
}

// The bound of dimension `dim` (1 = leftmost).
SAFEARRAYBOUND& Bound(SAFEARRAY* a, UINT dim) { return a->rgsabound[a->cDims - dim]; }

size_t ElementCount(const SAFEARRAY* a) {
  size_t n = 1;
  for (UINT i = 0; i < a->cDims; ++i) n *= a->rgsabound[i].cElements;
  return n;
}

SAFEARRAY* Allocate(VARTYPE vt, UINT dims) {
  auto* block = static_cast<BYTE*>(calloc(1, kHeader + StructSize(dims)));
  if (!block) return nullptr;
  auto* a = reinterpret_cast<SAFEARRAY*>(block + kHeader);
  memcpy(block + kHeader - sizeof(DWORD), &vt, sizeof vt);
  a->cDims = static_cast<USHORT>(dims);
  a->fFeatures = static_cast<USHORT>(FADF_HAVEVARTYPE | FeaturesOf(vt));
  a->cbElements = ElementSize(vt);
  return a;
}

void FreeBlock(SAFEARRAY* a) { free(reinterpret_cast<BYTE*>(a) - kHeader); }

// Releases what elements [from, to) own.
void ReleaseElements(SAFEARRAY* a, size_t from, size_t to) {
  auto* p = static_cast<BYTE*>(a->pvData);
  VARTYPE vt = TypeOf(a);
  for (size_t i = from; i < to; ++i) {
    BYTE* e = p + i * a->cbElements;
    if (vt == VT_BSTR) {
      BSTR b;
      memcpy(&b, e, sizeof b);
      SysFreeString(b);
    } else if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
      IUnknown* u;
      memcpy(&u, e, sizeof u);
      if (u) u->Release();
    } else if (vt == VT_VARIANT) {
      VariantClear(reinterpret_cast<VARIANT*>(e));
    }
  }
  memset(p + from * a->cbElements, 0, (to - from) * a->cbElements);
}

// Copies one element into zeroed storage.
HRESULT CopyElement(VARTYPE vt, const void* from, void* to, ULONG size) {
  if (vt == VT_BSTR) {
    BSTR b;
    memcpy(&b, from, sizeof b);
    BSTR c = nullptr;
    if (b) {
      c = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(b), SysStringByteLen(b));
      if (!c) return E_OUTOFMEMORY;
    }
    memcpy(to, &c, sizeof c);
    return S_OK;
  }
  if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
    IUnknown* u;
    memcpy(&u, from, sizeof u);
    if (u) u->AddRef();
    memcpy(to, &u, sizeof u);
    return S_OK;
  }
  if (vt == VT_VARIANT) {
    VariantInit(static_cast<VARIANT*>(to));
    return VariantCopy(static_cast<VARIANT*>(to), static_cast<const VARIANT*>(from));
  }
  memcpy(to, from, size);
  return S_OK;
}

HRESULT Offset(SAFEARRAY* a, const LONG* indices, size_t& offset) {
  size_t cell = 0, stride = 1;
  for (UINT d = 1; d <= a->cDims; ++d) {
    const SAFEARRAYBOUND& b = Bound(a, d);
    int64_t i = static_cast<int64_t>(indices[d - 1]) - b.lLbound;
    if (i < 0 || i >= static_cast<int64_t>(b.cElements)) return DISP_E_BADINDEX;
    cell += static_cast<size_t>(i) * stride;
    stride *= b.cElements;
  }
  offset = cell * a->cbElements;
  return S_OK;
}

}  // namespace

extern "C" {

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, SAFEARRAYBOUND* bounds) {
  if (dims == 0 || dims > 64 || !bounds || ElementSize(vt) == 0) return nullptr;
  SAFEARRAY* a = Allocate(vt, dims);
  if (!a) return nullptr;
  size_t count = 1;
  for (UINT d = 1; d <= dims; ++d) {
    Bound(a, d) = bounds[d - 1];
    count *= bounds[d - 1].cElements;
    if (count > (size_t{1} << 31)) {
      FreeBlock(a);
      return nullptr;
    }
  }
  a->pvData = calloc(count ? count : 1, a->cbElements);
  if (!a->pvData) {
    FreeBlock(a);
    return nullptr;
  }
  return a;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lower_bound, ULONG elements) {
  SAFEARRAYBOUND b{elements, lower_bound};
  return SafeArrayCreate(vt, 1, &b);
}

HRESULT SafeArrayDestroy(SAFEARRAY* a) {
  if (!a) return S_OK;
  if (a->cLocks) return DISP_E_ARRAYISLOCKED;
  ReleaseElements(a, 0, ElementCount(a));
  free(a->pvData);
  FreeBlock(a);
  return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* a, SAFEARRAY** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!a) return S_OK;
  std::vector<SAFEARRAYBOUND> bounds(a->cDims);
  for (UINT d = 1; d <= a->cDims; ++d) bounds[d - 1] = Bound(a, d);
  SAFEARRAY* c = SafeArrayCreate(TypeOf(a), a->cDims, bounds.data());
  if (!c) return E_OUTOFMEMORY;
  size_t n = ElementCount(a);
  VARTYPE vt = TypeOf(a);
  for (size_t i = 0; i < n; ++i) {
    HRESULT hr = CopyElement(vt, static_cast<BYTE*>(a->pvData) + i * a->cbElements,
                             static_cast<BYTE*>(c->pvData) + i * c->cbElements, a->cbElements);
    if (FAILED(hr)) {
      SafeArrayDestroy(c);
      return hr;
    }
  }
  *out = c;
  return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* a) { return a ? a->cDims : 0; }
UINT SafeArrayGetElemsize(SAFEARRAY* a) { return a ? a->cbElements : 0; }

HRESULT SafeArrayGetVartype(SAFEARRAY* a, VARTYPE* vt) {
  if (!a || !vt) return E_INVALIDARG;
  *vt = TypeOf(a);
  return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* a, UINT dim, LONG* bound) {
  if (!a || !bound) return E_INVALIDARG;
  if (dim < 1 || dim > a->cDims) return DISP_E_BADINDEX;
  *bound = Bound(a, dim).lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* a, UINT dim, LONG* bound) {
  if (!a || !bound) return E_INVALIDARG;
  if (dim < 1 || dim > a->cDims) return DISP_E_BADINDEX;
  const SAFEARRAYBOUND& b = Bound(a, dim);
  *bound = static_cast<LONG>(static_cast<int64_t>(b.lLbound) + b.cElements - 1);
  return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* a) {
  if (!a) return E_INVALIDARG;
  ++a->cLocks;
  return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* a) {
  if (!a) return E_INVALIDARG;
  if (a->cLocks == 0) return E_UNEXPECTED;
  --a->cLocks;
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* a, void** data) {
  if (!a || !data) return E_INVALIDARG;
  ++a->cLocks;
  *data = a->pvData;
  return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* a) { return SafeArrayUnlock(a); }

HRESULT SafeArrayPtrOfIndex(SAFEARRAY* a, LONG* indices, void** element) {
  if (!a || !indices || !element) return E_INVALIDARG;
  size_t off;
  HRESULT hr = Offset(a, indices, off);
  if (FAILED(hr)) return hr;
  *element = static_cast<BYTE*>(a->pvData) + off;
  return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* a, LONG* indices, void* element) {
  if (!a || !indices || !element) return E_INVALIDARG;
  size_t off;
  HRESULT hr = Offset(a, indices, off);
  if (FAILED(hr)) return hr;
  VARTYPE vt = TypeOf(a);
  if (vt == VT_VARIANT) VariantInit(static_cast<VARIANT*>(element));
  return CopyElement(vt, static_cast<BYTE*>(a->pvData) + off, element, a->cbElements);
}

HRESULT SafeArrayPutElement(SAFEARRAY* a, LONG* indices, void* element) {
  if (!a || !indices) return E_INVALIDARG;
  size_t off;
  HRESULT hr = Offset(a, indices, off);
  if (FAILED(hr)) return hr;
  VARTYPE vt = TypeOf(a);
  BYTE* slot = static_cast<BYTE*>(a->pvData) + off;
  size_t index = off / a->cbElements;
  if (vt == VT_BSTR) {
    // The element is the BSTR itself (OLECHAR*), null for an empty one.
    BSTR b = static_cast<BSTR>(element);
    BSTR c = b ? SysAllocStringByteLen(reinterpret_cast<LPCSTR>(b), SysStringByteLen(b)) : nullptr;
    if (b && !c) return E_OUTOFMEMORY;
    ReleaseElements(a, index, index + 1);
    memcpy(slot, &c, sizeof c);
    return S_OK;
  }
  if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
    auto* u = static_cast<IUnknown*>(element);
    if (u) u->AddRef();
    ReleaseElements(a, index, index + 1);
    memcpy(slot, &u, sizeof u);
    return S_OK;
  }
  if (!element) return E_INVALIDARG;
  if (vt == VT_VARIANT) {
    VARIANT copy;
    VariantInit(&copy);
    hr = VariantCopy(&copy, static_cast<const VARIANT*>(element));
    if (FAILED(hr)) return hr;
    ReleaseElements(a, index, index + 1);
    memcpy(slot, &copy, sizeof copy);
    return S_OK;
  }
  memcpy(slot, element, a->cbElements);
  return S_OK;
}

HRESULT SafeArrayRedim(SAFEARRAY* a, SAFEARRAYBOUND* bound) {
  if (!a || !bound) return E_INVALIDARG;
  if (a->cLocks) return DISP_E_ARRAYISLOCKED;
  size_t old_count = ElementCount(a);
  size_t others = a->rgsabound[0].cElements ? old_count / a->rgsabound[0].cElements : 0;
  if (a->rgsabound[0].cElements == 0) {
    others = 1;
    for (UINT i = 1; i < a->cDims; ++i) others *= a->rgsabound[i].cElements;
  }
  size_t new_count = others * bound->cElements;
  if (new_count > (size_t{1} << 31)) return E_OUTOFMEMORY;
  if (new_count < old_count) ReleaseElements(a, new_count, old_count);
  void* data = realloc(a->pvData, (new_count ? new_count : 1) * a->cbElements);
  if (!data) return E_OUTOFMEMORY;
  a->pvData = data;
  if (new_count > old_count)
    memset(static_cast<BYTE*>(data) + old_count * a->cbElements, 0, (new_count - old_count) * a->cbElements);
  a->rgsabound[0] = *bound;
  return S_OK;
}

}  // extern "C"
