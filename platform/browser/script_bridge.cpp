// The bridge between script values and COM: conversions both ways, wrappers of IDispatch
// objects (Duktape proxies), script objects as IDispatch, and exceptions both ways.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/base/codepage.h"
#include "platform/browser/element.h"
#include "platform/browser/script_heap.h"
#include "platform/com/unknown.h"

namespace kv::browser {
namespace {

// Answered by script objects with the object itself.
constexpr IID IID_KvScriptObject = {0x7A0C31E2, 0x5D44, 0x4B8E, {0x8F, 0x2A, 0x61, 0x3B, 0x90, 0x4D, 0x17, 0xC5}};

#define KV_PTR DUK_HIDDEN_SYMBOL("kvp")
#define KV_DOM DUK_HIDDEN_SYMBOL("kvdom")
#define KV_ID DUK_HIDDEN_SYMBOL("kvid")
#define KV_SO DUK_HIDDEN_SYMBOL("kvso")
#define KV_TARGET DUK_HIDDEN_SYMBOL("kvtarget")
#define KV_CACHE DUK_HIDDEN_SYMBOL("kvcache")

constexpr double kMsPerDay = 86400000.0;
constexpr double kOleEpochDays = 25569.0;  // 1899-12-30 to 1970-01-01

const char16_t kNoMember[] = u"Object doesn't support this property or method";

bool IsDateAt(Heap* h, duk_idx_t idx) {
  duk_context* ctx = h->ctx;
  if (!duk_is_object(ctx, idx) || duk_is_function(ctx, idx)) return false;
  idx = duk_normalize_index(ctx, idx);
  duk_push_global_stash(ctx);
  duk_get_prop_string(ctx, -1, "isDate");
  duk_dup(ctx, idx);
  bool date = duk_pcall(ctx, 1) == DUK_EXEC_SUCCESS && duk_get_boolean(ctx, -1);
  duk_pop_2(ctx);
  return date;
}

// Calls stash helper `name` with the number `v`; leaves the result (may throw).
void CallHelperNumber(duk_context* ctx, const char* name, double v) {
  duk_push_global_stash(ctx);
  duk_get_prop_string(ctx, -1, name);
  duk_remove(ctx, -2);
  duk_push_number(ctx, v);
  duk_call(ctx, 1);
}

// The key of a wrapped object of the document's own in the wrapper cache.
void IdentityKey(IUnknown* identity, char* out, size_t n) { std::snprintf(out, n, "%p", static_cast<void*>(identity)); }

// ---- Script objects as IDispatch ----------------------------------------------------------
}  // namespace

IDispatch* WrappedAt(duk_context* ctx, duk_idx_t idx) {
  if (!duk_is_object(ctx, idx)) return nullptr;
  duk_get_prop_string(ctx, idx, KV_PTR);
  auto* d = static_cast<IDispatch*>(duk_get_pointer(ctx, -1));
  duk_pop(ctx);
  return d;
}

class ScriptObject final : public UntypedDispatch {
 public:
  ScriptObject(Heap* h, uint32_t key, bool function) : h_(h), key_(key), function_(function) { h_->AddRef(); }
  Heap* GetHeap() const { return h_; }
  bool IsFunction() const { return function_; }
  uint32_t Key() const { return key_; }
  bool Live() const { return h_->ctx && !h_->closing; }

  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    if (!Live()) return DISP_E_UNKNOWNNAME;
    std::u16string name = names[0] ? std::u16string(names[0]) : std::u16string();
    for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    for (size_t i = 0; i < names_.size(); ++i)
      if (names_[i] == name) {
        ids[0] = static_cast<DISPID>(i + 1);
        return count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
      }
    names_.push_back(name);
    ids[0] = static_cast<DISPID>(names_.size());
    return count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                 UINT*) override;

 private:
  bool Accepts(REFIID riid) const override {
    return IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_KvScriptObject);
  }
  ~ScriptObject() override {
    if (h_->ctx && !h_->destroying) {
      // The value is no longer held for COM.
      duk_context* ctx = h_->ctx;
      if (duk_check_stack(ctx, 4)) {
        duk_push_global_stash(ctx);
        duk_get_prop_string(ctx, -1, "objs");
        duk_get_prop_index(ctx, -1, key_);
        if (duk_is_object(ctx, -1)) {
          duk_del_prop_string(ctx, -1, KV_SO);
        }
        duk_pop(ctx);
        duk_del_prop_index(ctx, -1, key_);
        duk_pop_2(ctx);
      }
    }
    h_->Release();
  }
  Heap* h_;
  uint32_t key_;
  bool function_;
  std::vector<std::u16string> names_;
};

namespace {

// One call into a script object, run inside duk_safe_call.
struct ScriptCallData {
  ScriptObject* object;
  const std::u16string* name;  // null: the value itself
  WORD flags;
  DISPPARAMS* params;
};

duk_ret_t ScriptObjectStep(duk_context* ctx, void* udata) {
  auto* c = static_cast<ScriptCallData*>(udata);
  Heap* h = c->object->GetHeap();
  duk_push_global_stash(ctx);
  duk_get_prop_string(ctx, -1, "objs");
  duk_get_prop_index(ctx, -1, c->object->Key());  // [stash objs value]
  UINT argc = c->params ? c->params->cArgs : 0;
  UINT named = c->params ? c->params->cNamedArgs : 0;
  if (!c->name) {
    if (!duk_is_function(ctx, -1)) {
      if (c->flags & DISPATCH_PROPERTYGET) return 1;  // its value
      return DUK_RET_TYPE_ERROR;
    }
    duk_push_global_object(ctx);
  } else {
    h->scratch.clear();
    ToInternal(*c->name, &h->scratch);
    if ((c->flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) && argc >= 1) {
      duk_push_lstring(ctx, h->scratch.data(), h->scratch.size());
      PushVariant(h, &c->params->rgvarg[0]);
      duk_put_prop(ctx, -3);
      duk_push_undefined(ctx);
      return 1;
    }
    duk_get_prop_lstring(ctx, -1, h->scratch.data(), h->scratch.size());  // [.. value member]
    if (!(c->flags & DISPATCH_METHOD) || !duk_is_function(ctx, -1)) {
      if (c->flags & DISPATCH_PROPERTYGET) return 1;
      return DUK_RET_TYPE_ERROR;
    }
    duk_swap_top(ctx, -2);  // [.. member value(this)]
  }
  // Arguments: rgvarg holds them last first; named ones (a put's value) are not arguments.
  for (UINT i = argc; i-- > named;) PushVariant(h, &c->params->rgvarg[i]);
  duk_call_method(ctx, static_cast<duk_idx_t>(argc - named));
  return 1;
}

}  // namespace

HRESULT ScriptObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                             UINT*) {
  if (result) VariantInit(result);
  if (!Live()) return E_UNEXPECTED;
  if (id != DISPID_VALUE && (id < 1 || static_cast<size_t>(id) > names_.size())) return DISP_E_MEMBERNOTFOUND;
  if (h_->stopped) return S_OK;
  AddRef();
  HRESULT hr = S_OK;
  {
    Entry entry(h_);
    std::u16string name = id == DISPID_VALUE ? std::u16string() : names_[static_cast<size_t>(id - 1)];
    ScriptCallData data{this, id == DISPID_VALUE ? nullptr : &name, flags, params};
    duk_context* ctx = h_->ctx;
    if (!duk_check_stack(ctx, 8)) {
      hr = E_OUTOFMEMORY;
    } else {
      duk_idx_t top = duk_get_top(ctx);
      duk_int_t rc = duk_safe_call(ctx, ScriptObjectStep, &data, 0, 1);
      if (rc == DUK_EXEC_SUCCESS) {
        if (result) ToVariant(h_, -1, result);
      } else {
        ErrorToExcepInfo(h_, -1, excep);
        ReportError(h_, -1);
        hr = DISP_E_EXCEPTION;
      }
      duk_set_top(ctx, top);
    }
  }
  Release();
  return hr;
}

IDispatch* ScriptObjectFor(Heap* h, duk_idx_t idx) {
  duk_context* ctx = h->ctx;
  idx = duk_normalize_index(ctx, idx);
  duk_get_prop_string(ctx, idx, KV_SO);
  auto* existing = static_cast<ScriptObject*>(duk_get_pointer(ctx, -1));
  duk_pop(ctx);
  if (existing) {
    existing->AddRef();
    return existing;
  }
  uint32_t key = h->next_key++;
  duk_push_global_stash(ctx);
  duk_get_prop_string(ctx, -1, "objs");
  duk_dup(ctx, idx);
  duk_put_prop_index(ctx, -2, key);
  duk_pop_2(ctx);
  auto* so = new ScriptObject(h, key, duk_is_function(ctx, idx) != 0);
  duk_push_pointer(ctx, so);
  duk_put_prop_string(ctx, idx, KV_SO);
  return so;
}

// ---- Text ----------------------------------------------------------------------------------
void ToInternal(std::u16string_view text, std::string* out) {
  out->reserve(out->size() + text.size() * 3);
  for (char16_t c : text) {
    if (c < 0x80) {
      out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out->push_back(static_cast<char>(0xC0 | (c >> 6)));
      out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out->push_back(static_cast<char>(0xE0 | (c >> 12)));
      out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
}

std::u16string FromInternal(const char* s, size_t n) {
  std::u16string out;
  out.reserve(n);
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  size_t i = 0;
  while (i < n) {
    unsigned c = p[i];
    uint32_t cp;
    size_t len;
    if (c < 0x80) {
      cp = c;
      len = 1;
    } else if ((c & 0xE0) == 0xC0 && i + 1 < n) {
      cp = ((c & 0x1Fu) << 6) | (p[i + 1] & 0x3Fu);
      len = 2;
    } else if ((c & 0xF0) == 0xE0 && i + 2 < n) {
      cp = ((c & 0x0Fu) << 12) | ((p[i + 1] & 0x3Fu) << 6) | (p[i + 2] & 0x3Fu);
      len = 3;
    } else if ((c & 0xF8) == 0xF0 && i + 3 < n) {
      cp = ((c & 0x07u) << 18) | ((p[i + 1] & 0x3Fu) << 12) | ((p[i + 2] & 0x3Fu) << 6) | (p[i + 3] & 0x3Fu);
      len = 4;
    } else {
      cp = 0xFFFD;
      len = 1;
    }
    i += len;
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp > 0xFFFF ? 0xFFFD : cp));
    }
  }
  return out;
}

std::u16string StringAt(duk_context* ctx, duk_idx_t idx) {
  duk_size_t n = 0;
  const char* s = nullptr;
  if (duk_is_string(ctx, idx)) {
    s = duk_get_lstring(ctx, idx, &n);
    return FromInternal(s, n);
  }
  duk_dup(ctx, idx);
  s = duk_safe_to_lstring(ctx, -1, &n);
  std::u16string out = FromInternal(s, n);
  duk_pop(ctx);
  return out;
}

// ---- Script value -> VARIANT --------------------------------------------------------------------
void ToVariant(Heap* h, duk_idx_t idx, VARIANT* out) {
  duk_context* ctx = h->ctx;
  VariantInit(out);
  idx = duk_normalize_index(ctx, idx);
  switch (duk_get_type(ctx, idx)) {
    case DUK_TYPE_UNDEFINED:
    case DUK_TYPE_NONE: return;
    case DUK_TYPE_NULL: out->vt = VT_NULL; return;
    case DUK_TYPE_BOOLEAN:
      out->vt = VT_BOOL;
      out->boolVal = duk_get_boolean(ctx, idx) ? VARIANT_TRUE : VARIANT_FALSE;
      return;
    case DUK_TYPE_NUMBER: {
      double d = duk_get_number(ctx, idx);
      bool negative_zero = d == 0 && std::signbit(d);
      if (d >= -2147483648.0 && d <= 2147483647.0 && std::floor(d) == d && !negative_zero) {
        out->vt = VT_I4;
        out->lVal = static_cast<LONG>(d);
      } else {
        out->vt = VT_R8;
        out->dblVal = d;
      }
      return;
    }
    case DUK_TYPE_STRING: {
      duk_size_t n = 0;
      const char* s = duk_get_lstring(ctx, idx, &n);
      out->vt = VT_BSTR;
      out->bstrVal = AllocBstr(FromInternal(s, n));
      return;
    }
    case DUK_TYPE_OBJECT: {
      if (IDispatch* d = WrappedAt(ctx, idx)) {
        d->AddRef();
        out->vt = VT_DISPATCH;
        out->pdispVal = d;
        return;
      }
      duk_push_global_object(ctx);
      bool global = duk_strict_equals(ctx, idx, -1) != 0;
      duk_pop(ctx);
      if (global && h->doc) {
        // The global object is the window.
        IHTMLWindow2* w = nullptr;
        h->doc->get_parentWindow(&w);
        out->vt = VT_DISPATCH;
        out->pdispVal = w;
        return;
      }
      if (IsDateAt(h, idx)) {
        // DATE is local time in days since 1899-12-30.
        duk_push_global_stash(ctx);
        duk_get_prop_string(ctx, -1, "dateToLocalMs");
        duk_dup(ctx, idx);
        double ms = duk_pcall(ctx, 1) == DUK_EXEC_SUCCESS ? duk_get_number(ctx, -1) : NAN;
        duk_pop_2(ctx);
        if (std::isnan(ms)) return;  // an invalid date: empty
        out->vt = VT_DATE;
        out->date = ms / kMsPerDay + kOleEpochDays;
        return;
      }
      out->vt = VT_DISPATCH;
      out->pdispVal = ScriptObjectFor(h, idx);
      return;
    }
    default: return;  // buffers, pointers, symbols: empty
  }
}

// ---- VARIANT -> script value ---------------------------------------------------------------------
namespace {

void PushSafeArray(Heap* h, SAFEARRAY* sa) {
  duk_context* ctx = h->ctx;
  // A VBArray object: its items (first dimension fastest) and bounds.
  duk_push_global_stash(ctx);
  duk_get_prop_string(ctx, -1, "makeVBArray");
  duk_remove(ctx, -2);
  duk_push_array(ctx);
  duk_push_array(ctx);
  if (sa) {
    VARTYPE vt = VT_EMPTY;
    SafeArrayGetVartype(sa, &vt);
    UINT dims = SafeArrayGetDim(sa);
    size_t total = 1;
    for (UINT d = 1; d <= dims; ++d) {
      LONG lo = 0, hi = -1;
      SafeArrayGetLBound(sa, d, &lo);
      SafeArrayGetUBound(sa, d, &hi);
      duk_push_int(ctx, lo);
      duk_put_prop_index(ctx, -2, 2 * (d - 1));
      duk_push_int(ctx, hi);
      duk_put_prop_index(ctx, -2, 2 * (d - 1) + 1);
      total *= static_cast<size_t>(hi >= lo ? hi - lo + 1 : 0);
    }
    void* data = nullptr;
    size_t elem = SafeArrayGetElemsize(sa);
    if (total > 0 && SUCCEEDED(SafeArrayAccessData(sa, &data))) {
      for (size_t i = 0; i < total; ++i) {
        VARIANT v;
        VariantInit(&v);
        auto* p = static_cast<BYTE*>(data) + i * elem;
        if (vt == VT_VARIANT) {
          PushVariant(h, reinterpret_cast<VARIANT*>(p));
        } else {
          v.vt = static_cast<VARTYPE>(vt | VT_BYREF);
          v.byref = p;
          PushVariant(h, &v);
        }
        duk_put_prop_index(ctx, -3, static_cast<duk_uarridx_t>(i));
      }
      SafeArrayUnaccessData(sa);
    }
  }
  duk_call(ctx, 2);
}

}  // namespace

void PushVariant(Heap* h, const VARIANT* v) {
  duk_context* ctx = h->ctx;
  duk_require_stack(ctx, 8);
  if (!v) {
    duk_push_undefined(ctx);
    return;
  }
  VARTYPE vt = v->vt;
  if (vt & VT_ARRAY) {
    PushSafeArray(h, (vt & VT_BYREF) ? (v->pparray ? *v->pparray : nullptr) : v->parray);
    return;
  }
  bool ref = (vt & VT_BYREF) != 0;
  vt = static_cast<VARTYPE>(vt & VT_TYPEMASK);
  if (ref && !v->byref) {
    duk_push_undefined(ctx);
    return;
  }
  switch (vt) {
    case VT_EMPTY: duk_push_undefined(ctx); return;
    case VT_NULL: duk_push_null(ctx); return;
    case VT_BOOL: duk_push_boolean(ctx, (ref ? *v->pboolVal : v->boolVal) != VARIANT_FALSE); return;
    case VT_I1: duk_push_int(ctx, ref ? *v->pcVal : v->cVal); return;
    case VT_UI1: duk_push_uint(ctx, ref ? *v->pbVal : v->bVal); return;
    case VT_I2: duk_push_int(ctx, ref ? *v->piVal : v->iVal); return;
    case VT_UI2: duk_push_uint(ctx, ref ? *v->puiVal : v->uiVal); return;
    case VT_I4:
    case VT_INT: duk_push_int(ctx, ref ? *v->plVal : v->lVal); return;
    case VT_UI4:
    case VT_UINT: duk_push_uint(ctx, ref ? *v->pulVal : v->ulVal); return;
    case VT_I8: duk_push_number(ctx, static_cast<double>(ref ? *v->pllVal : v->llVal)); return;
    case VT_UI8: duk_push_number(ctx, static_cast<double>(ref ? *v->pullVal : v->ullVal)); return;
    case VT_R4: duk_push_number(ctx, ref ? *v->pfltVal : v->fltVal); return;
    case VT_R8: duk_push_number(ctx, ref ? *v->pdblVal : v->dblVal); return;
    case VT_CY: duk_push_number(ctx, static_cast<double>((ref ? *v->pcyVal : v->cyVal).int64) / 10000.0); return;
    case VT_ERROR: duk_push_undefined(ctx); return;
    case VT_DATE: {
      double days = ref ? *v->pdate : v->date;
      CallHelperNumber(ctx, "dateFromLocalMs", (days - kOleEpochDays) * kMsPerDay);
      return;
    }
    case VT_BSTR: {
      BSTR b = ref ? *v->pbstrVal : v->bstrVal;
      h->scratch.clear();
      ToInternal(std::u16string_view(b ? b : u"", b ? SysStringLen(b) : 0), &h->scratch);
      duk_push_lstring(ctx, h->scratch.data(), h->scratch.size());
      return;
    }
    case VT_DISPATCH: PushDispatch(h, ref ? *v->ppdispVal : v->pdispVal); return;
    case VT_UNKNOWN: {
      IUnknown* u = ref ? *v->ppunkVal : v->punkVal;
      IDispatch* d = nullptr;
      if (u) u->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d));
      if (!d) {
        duk_push_null(ctx);
        return;
      }
      // The reference moves to the wrapper's own; the frame's result keeps `u`.
      PushDispatch(h, d);
      d->Release();
      return;
    }
    case VT_VARIANT:
      if (ref) {
        PushVariant(h, v->pvarVal);
        return;
      }
      duk_push_undefined(ctx);
      return;
    default: duk_push_undefined(ctx); return;
  }
}

Document* OwnDocumentOf(IUnknown* d) {
  if (!d) return nullptr;
  Element* e = nullptr;
  if (SUCCEEDED(d->QueryInterface(IID_KvBrowserElement, reinterpret_cast<void**>(&e))) && e) {
    Document* doc = e->Doc();
    e->Release();
    return doc;
  }
  Document* doc = nullptr;
  if (SUCCEEDED(d->QueryInterface(IID_KvBrowserDocument, reinterpret_cast<void**>(&doc))) && doc) {
    doc->Release();
    return doc;
  }
  return nullptr;
}

void PushDispatch(Heap* h, IDispatch* d) {
  duk_context* ctx = h->ctx;
  if (!d) {
    duk_push_null(ctx);
    return;
  }
  // Our own script object: its value.
  ScriptObject* so = nullptr;
  bool callable = false;  // another window's function: callable here too
  if (SUCCEEDED(d->QueryInterface(IID_KvScriptObject, reinterpret_cast<void**>(&so))) && so) {
    bool mine = so->GetHeap() == h;
    uint32_t key = so->Key();
    callable = so->IsFunction();
    so->Release();
    if (mine) {
      duk_push_global_stash(ctx);
      duk_get_prop_string(ctx, -1, "objs");
      duk_get_prop_index(ctx, -1, key);
      duk_remove(ctx, -2);
      duk_remove(ctx, -2);
      return;
    }
  }
  // This heap's own window is the global object.
  Document* owner = OwnDocumentOf(d);
  IHTMLWindow2* window = nullptr;
  if (owner && owner == h->doc && SUCCEEDED(d->QueryInterface(IID_IHTMLWindow2, reinterpret_cast<void**>(&window))) &&
      window) {
    window->Release();
    duk_push_global_object(ctx);
    return;
  }
  // A DOM object: one wrapper per node (collections are snapshots, each read its own).
  IUnknown* identity = nullptr;
  d->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
  bool dom = owner != nullptr;
  IHTMLElementCollection* coll = nullptr;
  bool collection = SUCCEEDED(d->QueryInterface(IID_IHTMLElementCollection, reinterpret_cast<void**>(&coll))) && coll;
  if (coll) coll->Release();
  char key[32];
  IdentityKey(identity, key, sizeof key);
  if (identity) identity->Release();
  if (dom) {
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, "dom");
    if (duk_get_prop_string(ctx, -1, key)) {
      duk_remove(ctx, -2);
      duk_remove(ctx, -2);
      return;
    }
    duk_pop(ctx);  // [stash dom]
  }
  // The target holds the reference; its finalizer releases it.
  duk_push_global_stash(ctx);
  duk_get_prop_string(ctx, -1, collection || callable ? "makeCallable" : dom ? "makeDomTarget" : "makeTarget");
  duk_remove(ctx, -2);
  duk_call(ctx, 0);  // [.. target]
  d->AddRef();
  duk_push_pointer(ctx, d);
  duk_put_prop_string(ctx, -2, KV_PTR);
  if (dom) {
    duk_push_true(ctx);
    duk_put_prop_string(ctx, -2, KV_DOM);
  }
  duk_push_global_stash(ctx);
  duk_get_prop_string(ctx, -1, "handler");
  duk_remove(ctx, -2);
  duk_push_proxy(ctx, 0);  // [.. proxy]
  if (dom) {
    // [stash dom proxy]
    duk_dup_top(ctx);
    duk_put_prop_string(ctx, -3, key);
    duk_remove(ctx, -2);
    duk_remove(ctx, -2);
  }
}

// ---- Errors --------------------------------------------------------------------------------------
void NativeFrame::Clear() {
  VariantClear(&result);
  for (auto& a : args) VariantClear(&a);
  args.clear();
  hr = S_OK;
  message.clear();
  source.clear();
  name.clear();
  type_error = false;
}

void SetComError(NativeFrame& f, HRESULT hr, EXCEPINFO* excep) {
  f.hr = hr;
  if (hr == DISP_E_EXCEPTION && excep) {
    if (excep->pfnDeferredFillIn) excep->pfnDeferredFillIn(excep);
    f.message = BstrText(excep->bstrDescription);
    f.source = BstrText(excep->bstrSource);
    if (excep->scode)
      f.hr = excep->scode;
    else if (excep->wCode)
      f.hr = static_cast<HRESULT>(0x80040200u + excep->wCode);
  }
  if (excep) {
    SysFreeString(excep->bstrDescription);
    SysFreeString(excep->bstrSource);
    SysFreeString(excep->bstrHelpFile);
    *excep = EXCEPINFO{};
  }
  if (hr != DISP_E_EXCEPTION) {
    if (hr == DISP_E_MEMBERNOTFOUND || hr == DISP_E_UNKNOWNNAME) {
      f.message = kNoMember;
      f.type_error = true;
    } else if (hr == DISP_E_BADPARAMCOUNT) {
      f.message = u"Wrong number of arguments or invalid property assignment";
    } else if (hr == DISP_E_TYPEMISMATCH) {
      f.message = u"Type mismatch";
    } else {
      char text[40];
      std::snprintf(text, sizeof text, "Automation error 0x%08X", static_cast<unsigned>(hr));
      f.message = Utf8ToWide(text);
    }
  }
}

void PushComError(Heap* h, HRESULT hr, const std::u16string& description, const std::u16string& source) {
  duk_context* ctx = h->ctx;
  h->scratch.clear();
  ToInternal(description, &h->scratch);
  duk_push_error_object(ctx, DUK_ERR_ERROR, "%s", h->scratch.c_str());
  duk_push_number(ctx, static_cast<double>(hr));
  duk_put_prop_string(ctx, -2, "number");
  h->scratch.clear();
  ToInternal(description, &h->scratch);
  duk_push_lstring(ctx, h->scratch.data(), h->scratch.size());
  duk_put_prop_string(ctx, -2, "description");
  h->scratch.clear();
  ToInternal(source, &h->scratch);
  duk_push_lstring(ctx, h->scratch.data(), h->scratch.size());
  duk_put_prop_string(ctx, -2, "source");
}

void EvalPrelude(duk_context* ctx, const char* source) {
  duk_push_string(ctx, kPreludeName);
  duk_compile_lstring_filename(ctx, DUK_COMPILE_EVAL, source, std::strlen(source));
  duk_call(ctx, 0);
}

namespace {
// Gives the error at the stack top the line of the page code that made the failing call
// (the nearest caller that is neither native nor the engine's own script).
void ErrorAtCaller(duk_context* ctx) {
  for (duk_int_t level = -2; level >= -16; --level) {
    duk_inspect_callstack_entry(ctx, level);
    if (!duk_is_object(ctx, -1)) {
      duk_pop(ctx);
      return;
    }
    duk_get_prop_string(ctx, -1, "function");
    duk_get_prop_string(ctx, -1, "fileName");
    duk_size_t n = 0;
    const char* file = duk_get_lstring(ctx, -1, &n);
    bool page = file && !duk_is_c_function(ctx, -2) && std::strcmp(file, kPreludeName) != 0;
    duk_pop_2(ctx);
    if (page) {
      duk_get_prop_string(ctx, -1, "lineNumber");  // [err entry line]
      duk_push_string(ctx, "lineNumber");
      duk_swap_top(ctx, -2);  // [err entry "lineNumber" line]
      duk_def_prop(
          ctx, -4,
          DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_SET_WRITABLE | DUK_DEFPROP_SET_CONFIGURABLE | DUK_DEFPROP_FORCE);
      duk_pop(ctx);
      return;
    }
    duk_pop(ctx);
  }
}
}  // namespace

duk_ret_t RunNative(duk_context* ctx, Body body) {
  Heap* h = HeapOf(ctx);
  int level = h->native_level++;
  NativeFrame& f = h->Frame(level);
  f.Clear();
  Ret r;
  if (h->closing || !h->doc) {
    f.message = u"Permission denied";
    f.hr = static_cast<HRESULT>(0x800A0046);
    r = Ret::kError;
  } else {
    try {
      r = body(h, ctx, f);
    } catch (...) {
      f.message = u"Out of memory";
      f.hr = E_OUTOFMEMORY;
      r = Ret::kError;
    }
  }
  --h->native_level;
  // Only Duktape calls from here on: no C++ object of the body is alive.
  switch (r) {
    case Ret::kUndefined: return 0;
    case Ret::kTop: return 1;
    case Ret::kResult: PushVariant(h, &f.result); return 1;
    case Ret::kThrowTop: return duk_throw(ctx);
    case Ret::kError:
      if (f.type_error && f.hr == S_OK) {
        h->scratch.clear();
        ToInternal(f.message, &h->scratch);
        duk_push_error_object(ctx, DUK_ERR_TYPE_ERROR, "%s", h->scratch.c_str());
      } else {
        PushComError(h, f.hr, f.message, f.source);
      }
      ErrorAtCaller(ctx);
      return duk_throw(ctx);
  }
  return 0;
}

// ---- The proxy handler ------------------------------------------------------------------------------
namespace {

// Whether member `id` of `d` is a method, from its type information; -1 without it.
int MemberKind(Heap* h, IDispatch* d, DISPID id) {
  UINT count = 0;
  if (FAILED(d->GetTypeInfoCount(&count)) || count == 0) return -1;
  ITypeInfo* info = nullptr;
  if (FAILED(d->GetTypeInfo(0, 0, &info)) || !info) return -1;
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr)) || !attr) {
    info->Release();
    return -1;
  }
  char key[48];
  const GUID& g = attr->guid;
  std::snprintf(key, sizeof key, "%08X-%04X-%04X-%02X%02X%02X%02X%02X%02X%02X%02X", static_cast<unsigned>(g.Data1),
                g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
                g.Data4[7]);
  auto it = h->kinds.find(key);
  if (it == h->kinds.end()) {
    // Cached per interface: each member id, method or property.
    std::map<DISPID, bool> members;
    for (UINT i = 0; i < attr->cFuncs; ++i) {
      FUNCDESC* fd = nullptr;
      if (FAILED(info->GetFuncDesc(i, &fd)) || !fd) continue;
      bool method = fd->invkind == INVOKE_FUNC;
      auto m = members.find(fd->memid);
      if (m == members.end())
        members[fd->memid] = method;
      else if (!method)
        m->second = false;  // a property's get and put share the id
      info->ReleaseFuncDesc(fd);
    }
    it = h->kinds.emplace(key, std::move(members)).first;
  }
  info->ReleaseTypeAttr(attr);
  info->Release();
  auto m = it->second.find(id);
  return m == it->second.end() ? -1 : (m->second ? 1 : 0);
}

bool NameId(IDispatch* d, const std::u16string& name, DISPID* id) {
  std::u16string n = name;
  LPOLESTR names[1] = {n.data()};
  return SUCCEEDED(d->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id));
}

bool IsIndex(const std::u16string& s, LONG* index) {
  if (s.empty() || s.size() > 9) return false;
  LONG v = 0;
  for (char16_t c : s) {
    if (c < u'0' || c > u'9') return false;
    v = v * 10 + (c - u'0');
  }
  if (s.size() > 1 && s[0] == u'0') return false;
  *index = v;
  return true;
}

// Reads the wrapper's state; fails (as a pending error) when its object has gone.
bool WrapperState(Heap* h, duk_context* ctx, NativeFrame& f, IDispatch** d, bool* dom) {
  *d = static_cast<IDispatch*>(nullptr);
  duk_get_prop_string(ctx, 0, KV_PTR);
  *d = static_cast<IDispatch*>(duk_get_pointer(ctx, -1));
  duk_pop(ctx);
  duk_get_prop_string(ctx, 0, KV_DOM);
  *dom = duk_get_boolean(ctx, -1) != 0;
  duk_pop(ctx);
  (void)h;
  if (!*d) {
    f.hr = static_cast<HRESULT>(0x800A0046);
    f.message = u"Permission denied";
    return false;
  }
  if (*dom) {
    Document* owner = OwnDocumentOf(*d);
    if (!owner || owner->TornDown()) {
      // A node of a torn-down document: an error, never the freed page.
      f.hr = static_cast<HRESULT>(0x800A0046);
      f.message = u"Permission denied";
      return false;
    }
  }
  return true;
}

Ret BoundCall(Heap* h, duk_context* ctx, NativeFrame& f);

// The control of the element behind `d` (no reference), or null.
IDispatch* ControlOf(IDispatch* d) {
  Element* e = nullptr;
  if (FAILED(d->QueryInterface(IID_KvBrowserElement, reinterpret_cast<void**>(&e))) || !e) return nullptr;
  IDispatch* control = e->Doc()->ControlObject(e->GetNode());
  e->Release();
  return control;
}

// The members an <object> element answers itself; the rest belong to its control.
bool IsObjectElementMember(const std::u16string& name) {
  static const char16_t* const kMembers[] = {u"id",     u"classid",     u"width",       u"height", u"style",
                                             u"object", u"attachEvent", u"detachEvent", u"tagName"};
  for (const char16_t* m : kMembers)
    if (name == m) return true;
  return false;
}

// Pushes a function calling Invoke(METHOD) of member `id`: of the wrapper at index 0, or
// of `control` when the name belongs to the element's control.
void PushBoundMethod(duk_context* ctx, DISPID id, IDispatch* control) {
  duk_push_c_function(ctx, Native<BoundCall>, DUK_VARARGS);
  duk_push_int(ctx, id);
  duk_put_prop_string(ctx, -2, KV_ID);
  duk_dup(ctx, 0);
  duk_put_prop_string(ctx, -2, KV_TARGET);
  if (control) {
    duk_push_pointer(ctx, control);
    duk_put_prop_string(ctx, -2, KV_PTR);
  }
}

// Remembers what the key at index 1 resolved to on the wrapper at index 0 (the value at
// the stack top, left there): a method's function or a property's member id.
void CacheMember(duk_context* ctx) {
  if (!duk_get_prop_string(ctx, 0, KV_CACHE)) {
    duk_pop(ctx);
    duk_push_bare_object(ctx);
    duk_dup_top(ctx);
    duk_put_prop_string(ctx, 0, KV_CACHE);
  }
  duk_dup(ctx, 1);
  duk_dup(ctx, -3);
  duk_put_prop(ctx, -3);
  duk_pop(ctx);
}

// get(target, key, receiver)
Ret ProxyGet(Heap* h, duk_context* ctx, NativeFrame& f) {
  if (duk_is_number(ctx, 1)) duk_to_string(ctx, 1);  // an index arrives as a number
  if (!duk_is_string(ctx, 1) || duk_is_symbol(ctx, 1)) {
    duk_dup(ctx, 1);
    duk_get_prop(ctx, 0);
    return Ret::kTop;
  }
  IDispatch* d;
  bool dom;
  if (!WrapperState(h, ctx, f, &d, &dom)) return Ret::kError;
  // A member resolved before: its method, or its property read again.
  DISPID id = 0;
  bool cached_property = false;
  if (duk_get_prop_string(ctx, 0, KV_CACHE)) {
    duk_dup(ctx, 1);
    duk_get_prop(ctx, -2);
    if (duk_is_function(ctx, -1)) return Ret::kTop;
    if (duk_is_number(ctx, -1)) {
      id = duk_get_int(ctx, -1);
      cached_property = true;
    }
    duk_pop(ctx);
  }
  duk_pop(ctx);
  int kind = 0;
  IDispatch* control = nullptr;
  if (!cached_property) {
    f.name = StringAt(ctx, 1);
    // An <object> element with its control: the element's own members, every other
    // name the control's.
    control = dom ? ControlOf(d) : nullptr;
    if (control && f.name == u"object") {
      control->AddRef();
      f.result.vt = VT_DISPATCH;
      f.result.pdispVal = control;
      return Ret::kResult;
    }
    bool element_member = !control || IsObjectElementMember(f.name);
    bool known = element_member && NameId(d, f.name, &id);
    if (!known && control) {
      duk_dup(ctx, 1);
      if (!duk_has_prop(ctx, 0) && NameId(control, f.name, &id)) {
        d = control;
        known = true;
      }
    }
    if (!known || d != control) control = nullptr;
    if (!known && dom) {
      // A form's controls by name.
      IHTMLFormElement* form = nullptr;
      if (SUCCEEDED(d->QueryInterface(IID_IHTMLFormElement, reinterpret_cast<void**>(&form))) && form) {
        VARIANT n, none;
        VariantInit(&none);
        n.vt = VT_BSTR;
        n.bstrVal = AllocBstr(f.name);
        IDispatch* item = nullptr;
        form->item(n, none, &item);
        VariantClear(&n);
        form->Release();
        if (item) {
          f.result.vt = VT_DISPATCH;
          f.result.pdispVal = item;
          return Ret::kResult;
        }
      }
    }
    if (!known) {
      LONG index = 0;
      IHTMLElementCollection* coll = nullptr;
      if (IsIndex(f.name, &index) &&
          SUCCEEDED(d->QueryInterface(IID_IHTMLElementCollection, reinterpret_cast<void**>(&coll))) && coll) {
        VARIANT n, none;
        VariantInit(&none);
        n.vt = VT_I4;
        n.lVal = index;
        IDispatch* item = nullptr;
        HRESULT hr = coll->item(n, none, &item);
        coll->Release();
        if (FAILED(hr)) {
          SetComError(f, hr, nullptr);
          return Ret::kError;
        }
        if (!item) return Ret::kUndefined;
        f.result.vt = VT_DISPATCH;
        f.result.pdispVal = item;
        return Ret::kResult;
      }
      // Expandos and the target's own properties (toString for ToPrimitive); a DOM
      // object's unknown name reads as undefined.
      duk_dup(ctx, 1);
      if (duk_has_prop(ctx, 0) || dom) {
        duk_dup(ctx, 0);
        duk_dup(ctx, 1);
        if (duk_safe_call(
                ctx,
                [](duk_context* c, void*) -> duk_ret_t {
                  duk_get_prop(c, -2);
                  return 1;
                },
                nullptr, 2, 1) != DUK_EXEC_SUCCESS)
          return Ret::kThrowTop;
        return Ret::kTop;
      }
      f.message = kNoMember;
      f.type_error = true;
      return Ret::kError;
    }
    kind = MemberKind(h, d, id);
    if (kind == 1) {
      PushBoundMethod(ctx, id, control);
      CacheMember(ctx);
      return Ret::kTop;
    }
  }
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXCEPINFO excep{};
  d->AddRef();
  HRESULT hr = d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &f.result, &excep, nullptr);
  d->Release();
  if (!cached_property && kind == -1 && (hr == DISP_E_MEMBERNOTFOUND || hr == DISP_E_BADPARAMCOUNT)) {
    // No type information and refused as a get: a method.
    SetComError(f, S_OK, &excep);
    f.Clear();
    PushBoundMethod(ctx, id, control);
    CacheMember(ctx);
    return Ret::kTop;
  }
  if (FAILED(hr)) {
    SetComError(f, hr, &excep);
    return Ret::kError;
  }
  if (!cached_property && !control) {
    duk_push_int(ctx, id);
    CacheMember(ctx);
    duk_pop(ctx);
  }
  return Ret::kResult;
}

// set(target, key, value, receiver)
Ret ProxySet(Heap* h, duk_context* ctx, NativeFrame& f) {
  if (duk_is_number(ctx, 1)) duk_to_string(ctx, 1);
  auto own = [&]() {
    // Onto the target (a page may have given it a throwing setter: protected).
    duk_dup(ctx, 0);
    duk_dup(ctx, 1);
    duk_dup(ctx, 2);
    if (duk_safe_call(
            ctx,
            [](duk_context* c, void*) -> duk_ret_t {
              duk_put_prop(c, -3);
              return 0;
            },
            nullptr, 3, 1) != DUK_EXEC_SUCCESS)
      return Ret::kThrowTop;
    duk_push_true(ctx);
    return Ret::kTop;
  };
  if (!duk_is_string(ctx, 1) || duk_is_symbol(ctx, 1)) return own();
  IDispatch* d;
  bool dom;
  if (!WrapperState(h, ctx, f, &d, &dom)) return Ret::kError;
  f.name = StringAt(ctx, 1);
  DISPID id = 0;
  IDispatch* control = dom ? ControlOf(d) : nullptr;
  bool element_member = !control || IsObjectElementMember(f.name);
  if (!element_member || !NameId(d, f.name, &id)) {
    if (!control || !NameId(control, f.name, &id)) return own();  // an expando
    d = control;
  }
  f.args.resize(1);
  ToVariant(h, 2, &f.args[0]);
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS dp{&f.args[0], &put, 1, 1};
  EXCEPINFO excep{};
  d->AddRef();
  HRESULT hr = d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &dp, nullptr, &excep, nullptr);
  if (FAILED(hr) && f.args[0].vt == VT_DISPATCH) {
    // An object value the object refused: by reference.
    SetComError(f, S_OK, &excep);
    f.hr = S_OK;
    f.message.clear();
    hr = d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUTREF, &dp, nullptr, &excep, nullptr);
  }
  d->Release();
  if (FAILED(hr)) {
    SetComError(f, hr, &excep);
    return Ret::kError;
  }
  duk_push_true(ctx);
  return Ret::kTop;
}

// has(target, key)
Ret ProxyHas(Heap* h, duk_context* ctx, NativeFrame& f) {
  (void)h;
  (void)f;
  bool found = false;
  if (duk_is_number(ctx, 1)) duk_to_string(ctx, 1);
  if (duk_is_string(ctx, 1) && !duk_is_symbol(ctx, 1)) {
    IDispatch* d = WrappedAt(ctx, 0);
    DISPID id;
    found = d && NameId(d, StringAt(ctx, 1), &id);
  }
  if (!found) {
    duk_dup(ctx, 1);
    found = duk_has_prop(ctx, 0) != 0;
  }
  duk_push_boolean(ctx, found);
  return Ret::kTop;
}

// Calls Invoke(METHOD) of `d` with the `argc` script values from index `first`.
Ret InvokeMethod(Heap* h, NativeFrame& f, IDispatch* d, DISPID id, duk_idx_t first, duk_idx_t argc) {
  f.args.resize(static_cast<size_t>(argc));
  // rgvarg holds the arguments last first.
  for (duk_idx_t i = 0; i < argc; ++i) ToVariant(h, first + i, &f.args[static_cast<size_t>(argc - 1 - i)]);
  DISPPARAMS dp{f.args.empty() ? nullptr : f.args.data(), nullptr, static_cast<UINT>(argc), 0};
  EXCEPINFO excep{};
  d->AddRef();
  HRESULT hr = d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &dp, &f.result, &excep, nullptr);
  d->Release();
  if (FAILED(hr)) {
    SetComError(f, hr, &excep);
    return Ret::kError;
  }
  return Ret::kResult;
}

// A bound method: its object and member id are on the function.
Ret BoundCall(Heap* h, duk_context* ctx, NativeFrame& f) {
  duk_idx_t argc = duk_get_top(ctx);
  duk_push_current_function(ctx);
  duk_get_prop_string(ctx, -1, KV_PTR);
  auto* d = static_cast<IDispatch*>(duk_get_pointer(ctx, -1));
  duk_pop(ctx);
  duk_get_prop_string(ctx, -1, KV_ID);
  DISPID id = duk_get_int(ctx, -1);
  duk_pop(ctx);
  duk_get_prop_string(ctx, -1, KV_TARGET);
  duk_replace(ctx, -2);  // [args.. target]
  // A control's method carries the control; the element's document still decides.
  IDispatch* wrapped = WrappedAt(ctx, -1);
  if (!d) d = wrapped;
  if (!d) {
    f.hr = static_cast<HRESULT>(0x800A0046);
    f.message = u"Permission denied";
    return Ret::kError;
  }
  Document* owner = OwnDocumentOf(wrapped);
  if (duk_get_prop_string(ctx, -1, KV_DOM) && (!owner || owner->TornDown())) {
    f.hr = static_cast<HRESULT>(0x800A0046);
    f.message = u"Permission denied";
    return Ret::kError;
  }
  duk_pop_2(ctx);
  return InvokeMethod(h, f, d, id, 0, argc);
}

// apply(target, this, args) of a callable collection: item(args...).
Ret ProxyApply(Heap* h, duk_context* ctx, NativeFrame& f) {
  IDispatch* d = WrappedAt(ctx, 0);
  if (!d) {
    f.message = kNoMember;
    f.type_error = true;
    return Ret::kError;
  }
  duk_idx_t argc = static_cast<duk_idx_t>(duk_get_length(ctx, 2));
  if (argc > 2) argc = 2;
  for (duk_idx_t i = 0; i < argc; ++i) duk_get_prop_index(ctx, 2, static_cast<duk_uarridx_t>(i));
  return InvokeMethod(h, f, d, DISPID_VALUE, 3, argc);
}

// The finalizer of a wrapper's target: releases its object.
duk_ret_t TargetFinalizer(duk_context* ctx) {
  duk_get_prop_string(ctx, 0, KV_PTR);
  auto* d = static_cast<IDispatch*>(duk_get_pointer(ctx, -1));
  duk_pop(ctx);
  if (d) {
    duk_push_pointer(ctx, nullptr);
    duk_put_prop_string(ctx, 0, KV_PTR);
    d->Release();
  }
  return 0;
}

// The bridge's helpers written in script; the natives come in through `n`.
const char kBridgeSource[] =
    "(function(n){"
    "var s={};"
    "s.isDate=function(x){return Object.prototype.toString.call(x)==='[object Date]';};"
    "s.dateToLocalMs=function(d){var t=d.getTime();return t-d.getTimezoneOffset()*60000;};"
    "s.dateFromLocalMs=function(ms){var d=new Date(ms);return new Date(ms+d.getTimezoneOffset()*60000);};"
    "s.makeTarget=function(){var t={};Duktape.fin(t,n.fin);return t;};"
    "s.makeCallable=function(){var t=function(){};Duktape.fin(t,n.fin);return t;};"
    "var dom={attachEvent:function(name,f){if(n.controlEvent(this,String(name),f,true))return true;"
    "var l=this.__kvEvents||(this.__kvEvents=[]);l.push([String(name),f]);"
    "return true;},detachEvent:function(name,f){if(n.controlEvent(this,String(name),f,false))return;"
    "var l=this.__kvEvents||[];for(var i=0;i<l.length;i++)"
    "if(l[i][0]===String(name)&&l[i][1]===f){l.splice(i,1);break;}}};"
    "s.makeDomTarget=function(){var t=Object.create(dom);Duktape.fin(t,n.fin);return t;};"
    "s.handler={get:n.get,set:n.set,has:n.has,apply:n.apply};"
    "function VBArray(a){if(a instanceof VBArray)return a;throw new TypeError('VBArray expected');}"
    "VBArray.prototype.toArray=function(){return this.items.slice();};"
    "VBArray.prototype.dimensions=function(){return this.bounds.length/2;};"
    "VBArray.prototype.lbound=function(d){return this.bounds[2*((d||1)-1)];};"
    "VBArray.prototype.ubound=function(d){return this.bounds[2*((d||1)-1)+1];};"
    "VBArray.prototype.getItem=function(){var k=0,m=1;for(var i=0;i<arguments.length;i++){"
    "var lo=this.bounds[2*i],hi=this.bounds[2*i+1];var x=arguments[i];"
    "if(x<lo||x>hi)throw new RangeError('Subscript out of range');k+=(x-lo)*m;m*=hi-lo+1;}return this.items[k];};"
    "s.makeVBArray=function(items,bounds){var v=Object.create(VBArray.prototype);v.items=items;v.bounds=bounds;"
    "return v;};"
    "s.VBArray=VBArray;"
    "return s;})";

}  // namespace

void InstallBridge(Heap* h) {
  duk_context* ctx = h->ctx;
  duk_push_global_stash(ctx);
  duk_push_object(ctx);
  duk_put_prop_string(ctx, -2, "objs");
  duk_push_object(ctx);
  duk_put_prop_string(ctx, -2, "dom");
  EvalPrelude(ctx, kBridgeSource);
  duk_push_object(ctx);
  const duk_function_list_entry natives[] = {{"fin", TargetFinalizer, 1},      {"get", Native<ProxyGet>, 3},
                                             {"set", Native<ProxySet>, 4},     {"has", Native<ProxyHas>, 2},
                                             {"apply", Native<ProxyApply>, 3}, {"controlEvent", Native<ControlEvent>, 4},
                                             {nullptr, nullptr, 0}};
  duk_put_function_list(ctx, -1, natives);
  duk_call(ctx, 1);  // [stash helpers]
  duk_enum(ctx, -1, DUK_ENUM_OWN_PROPERTIES_ONLY);
  while (duk_next(ctx, -1, 1)) duk_put_prop(ctx, -5);
  duk_pop_2(ctx);
  duk_pop(ctx);
}

}  // namespace kv::browser
