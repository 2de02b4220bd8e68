#include "framework/automation/dispatch.h"

#include <cstring>
#include <sstream>

#include "framework/automation/comobj.h"
#include "platform/base/codepage.h"

TDispCall::TDispCall(DISPPARAMS* params, VARIANT* result, WORD flags, bool put)
    : params_(params), result_(result), flags_(flags), put_(put) {
  count_ = params ? params->cArgs - params->cNamedArgs : 0;
}

VARIANT& TDispCall::Slot(unsigned index) const {
  if (index >= count_) throw EVariantError("Parameter index out of range");
  // Positional arguments follow the named ones, the last argument first.
  return params_->rgvarg[params_->cArgs - 1 - index];
}

const VARIANT& TDispCall::Arg(unsigned index) const { return Slot(index); }

OleVariant TDispCall::Value(unsigned index) const {
  const VARIANT& v = Slot(index);
  if (v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND) return OleVariant();
  return OleVariant(v);
}

namespace {

// The text of a string variant (or one by reference to a string) in place.
bool InPlaceText(const VARIANT& v, std::u16string_view& text) {
  const BSTR* b = v.vt == VT_BSTR ? &v.bstrVal : v.vt == (VT_BSTR | VT_BYREF) ? v.pbstrVal : nullptr;
  if (!b) return false;
  text = std::u16string_view(*b, SysStringLen(*b));
  return true;
}

}  // namespace

std::u16string_view TDispCall::Text(unsigned index, WideString& converted) const {
  std::u16string_view text;
  if (InPlaceText(Slot(index), text)) return text;
  converted = Value(index).AsWideString();
  return converted;
}

std::u16string_view TDispCall::PutText(WideString& converted) const {
  std::u16string_view text;
  if (InPlaceText(PutSlot(), text)) return text;
  converted = PutValue().AsWideString();
  return converted;
}

void TDispCall::SetArg(unsigned index, const OleVariant& value) {
  VARIANT& v = Slot(index);
  if (!(v.vt & VT_BYREF) || !v.byref) throw EVariantError("Parameter is not passed by reference");
  VARTYPE target = v.vt & ~VT_BYREF;
  if (target == VT_VARIANT) {
    value.CopyTo(v.pvarVal);
    return;
  }
  VARIANT converted;
  VariantInit(&converted);
  HRESULT hr = VariantChangeType(&converted, &value.Var(), 0, target);
  if (hr == DISP_E_OVERFLOW) throw EVariantOverflowError("Variant overflow");
  if (FAILED(hr)) {
    throw EVariantTypeCastError("Could not convert variant of type (" + VarTypeAsText(value.VarType()) +
                                ") into type (" + VarTypeAsText(target) + ")");
  }
  // The referenced storage gets the new value; what it held before is released.
  VARIANT old;
  VariantInit(&old);
  old.vt = target;
  size_t size = kv::VarTypeSize(target);
  if (!size) size = 8;  // any other type: the eight bytes of the value field
  memcpy(&old.llVal, v.byref, size);
  memcpy(v.byref, &converted.llVal, size);
  VariantClear(&old);
}

const VARIANT& TDispCall::PutSlot() const {
  if (!put_ || !params_ || params_->cArgs == 0) throw EVariantError("No property value");
  return params_->rgvarg[0];
}

OleVariant TDispCall::PutValue() const { return OleVariant(PutSlot()); }

void TDispCall::SetResult(const OleVariant& value) {
  if (result_) value.CopyTo(result_);
}

namespace {

WideString Widen(const char* s) { return kv::AnsiToWide(s ? s : ""); }

BSTR Bstr(const WideString& s) { return s.empty() ? nullptr : kv::AllocBstr(s); }

void Fill(EXCEPINFO* info, const TDispErrorStyle& style, const char* class_name, const AnsiString& message,
          HRESULT scode) {
  if (!info) return;
  memset(info, 0, sizeof *info);
  info->wCode = style.code;
  info->scode = style.code ? 0 : scode;
  info->bstrSource = Bstr(style.source.empty() ? Widen(class_name) : style.source);
  info->bstrDescription = Bstr(kv::AnsiToWide(message));
}

}  // namespace

std::vector<TDispParam> ParseDispSignature(TDispKind kind, const char* signature) {
  static const struct {
    const char* name;
    VARTYPE vt;
  } kTypes[] = {{"bool", VT_BOOL},       {"short", VT_I2},           {"long", VT_I4},
                {"int", VT_INT},         {"double", VT_R8},          {"BSTR", VT_BSTR},
                {"variant", VT_VARIANT}, {"IDispatch", VT_DISPATCH}, {"IUnknown", VT_UNKNOWN}};
  auto bad = [&] { return EOleError(AnsiString("Bad member signature \"") + signature + "\""); };
  std::vector<TDispParam> params;
  AnsiString rest = signature ? signature : "";
  if (rest.find_first_not_of(' ') == AnsiString::npos) rest.clear();
  size_t start = 0;
  while (!rest.empty() && start <= rest.size()) {
    size_t comma = rest.find(',', start);
    std::istringstream words(rest.substr(start, comma == AnsiString::npos ? AnsiString::npos : comma - start));
    TDispParam p;
    bool direction = false, typed = false, named = false;
    for (AnsiString w; words >> w;) {
      if (named) throw bad();
      if (!typed && w == "in") {
        p.In = direction = true;
      } else if (!typed && w == "out") {
        if (!direction) p.In = false;
        p.Out = direction = true;
      } else if (!typed && w == "retval") {
        p.Retval = true;
      } else if (!typed && w == "opt") {
        p.Optional = true;
      } else if (!typed) {
        bool known = false;
        for (const auto& t : kTypes) {
          if (w == t.name) {
            p.Type = t.vt;
            known = true;
          }
        }
        if (!known) throw bad();
        typed = true;
      } else {
        p.Name = w;
        named = true;
      }
    }
    if (!typed || (p.Retval && !p.Out)) throw bad();
    params.push_back(p);
    if (comma == AnsiString::npos) break;
    start = comma + 1;
  }
  bool property = kind != TDispKind::Method;
  if (property && params.empty()) throw bad();
  bool optional = false;
  for (size_t i = 0; i < params.size(); ++i) {
    const TDispParam& p = params[i];
    bool last = i + 1 == params.size();
    // [retval] only last, of a method or a get; a property's indexes and a put's value are
    // inputs; optional parameters come last (the arguments that may be left out).
    if (p.Retval && (!last || (property && kind != TDispKind::PropertyGet))) throw bad();
    if (property && p.Out && !(last && kind == TDispKind::PropertyGet)) throw bad();
    if (optional && !p.Optional && !p.Retval) throw bad();
    optional = optional || p.Optional;
  }
  if (kind == TDispKind::PropertyGet) {
    TDispParam& v = params.back();
    v.In = false;
    v.Out = v.Retval = true;
  } else if (property) {
    params.back().In = true;
    params.back().Out = false;
  }
  return params;
}

void TDispatchTableBase::Describe(Member& m, const char* signature) {
  m.Described = true;
  m.Params = ParseDispSignature(m.Kind, signature);
  int count = static_cast<int>(m.Params.size());
  if (m.Kind == TDispKind::Method) {
    if (count && m.Params.back().Retval) --count;
  } else {
    --count;  // the value
  }
  m.Args = count;
  m.Optional = 0;
  for (const TDispParam& p : m.Params) m.Optional += p.Optional ? 1 : 0;
}

HRESULT DispatchExceptionResult(EXCEPINFO* info, const TDispErrorStyle& style) {
  try {
    throw;
  } catch (const EOleSysError& e) {
    Fill(info, style, e.ClassName(), e.Message(), e.ErrorCode());
  } catch (const Exception& e) {
    Fill(info, style, e.ClassName(), e.Message(), E_UNEXPECTED);
  } catch (const std::exception& e) {
    Fill(info, style, "Exception", e.what(), E_UNEXPECTED);
  } catch (...) {
    Fill(info, style, "Exception", "Unknown exception", E_UNEXPECTED);
  }
  return DISP_E_EXCEPTION;
}

HRESULT TDispatchTableBase::GetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) const {
  if (!ids || (count && !names)) return E_INVALIDARG;
  if (count == 0) return S_OK;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  if (!names[0]) return DISP_E_UNKNOWNNAME;
  try {
    for (const Member& m : members_) {
      if (kv::SameNameNoCase(kv::AnsiToWide(m.Name), names[0])) {
        ids[0] = m.Id;
        // Parameter names are not known.
        return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
      }
    }
  } catch (...) {
    return E_OUTOFMEMORY;  // the names' wide forms could not be made
  }
  return DISP_E_UNKNOWNNAME;
}

const TDispatchTableBase::Member* TDispatchTableBase::Find(DISPID id, TDispKind kind) const {
  for (const Member& m : members_)
    if (m.Id == id && m.Kind == kind) return &m;
  return nullptr;
}

HRESULT TDispatchTableBase::Invoke(void* self, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* info, UINT*, const TDispErrorStyle& style) const {
  try {
    if (!params) return E_INVALIDARG;
    if (params->cArgs && !params->rgvarg) return E_INVALIDARG;
    if (params->cNamedArgs > params->cArgs || (params->cNamedArgs && !params->rgdispidNamedArgs)) return E_INVALIDARG;
    bool any = false;
    for (const Member& m : members_) any = any || m.Id == id;
    if (!any) return DISP_E_MEMBERNOTFOUND;

    const Member* m = nullptr;
    bool put = false;
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
      put = true;
      if (flags & DISPATCH_PROPERTYPUTREF) m = Find(id, TDispKind::PropertyPutRef);
      if (!m) m = Find(id, TDispKind::PropertyPut);
      if (!m && (flags & DISPATCH_PROPERTYPUT)) m = Find(id, TDispKind::PropertyPutRef);
    } else {
      if (flags & DISPATCH_METHOD) m = Find(id, TDispKind::Method);
      if (!m && (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD))) m = Find(id, TDispKind::PropertyGet);
    }
    if (!m) return DISP_E_MEMBERNOTFOUND;

    if (put) {
      // The value is the one named argument DISPID_PROPERTYPUT.
      if (params->cNamedArgs == 0) return DISP_E_PARAMNOTOPTIONAL;
      if (params->cNamedArgs != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) return DISP_E_NONAMEDARGS;
    } else if (params->cNamedArgs) {
      return DISP_E_NONAMEDARGS;
    }
    UINT positional = params->cArgs - params->cNamedArgs;
    if (positional > static_cast<UINT>(m->Args) || positional < static_cast<UINT>(m->Args - m->Optional))
      return DISP_E_BADPARAMCOUNT;

    // Optional arguments left out arrive as "missing" markers, so invokers see every slot.
    std::vector<VARIANTARG> padded;
    DISPPARAMS full = *params;
    if (positional < static_cast<UINT>(m->Args)) {
      UINT missing = static_cast<UINT>(m->Args) - positional;
      padded.resize(params->cArgs + missing);
      for (UINT i = 0; i < missing; ++i) {
        VariantInit(&padded[params->cNamedArgs + i]);
        padded[params->cNamedArgs + i].vt = VT_ERROR;
        padded[params->cNamedArgs + i].scode = DISP_E_PARAMNOTFOUND;
      }
      for (UINT i = 0; i < params->cNamedArgs; ++i) padded[i] = params->rgvarg[i];
      for (UINT i = params->cNamedArgs; i < params->cArgs; ++i) padded[i + missing] = params->rgvarg[i];
      full.rgvarg = padded.data();
      full.cArgs = static_cast<UINT>(padded.size());
    }

    struct Local {
      VARIANT v;
      Local() { VariantInit(&v); }
      ~Local() { VariantClear(&v); }
    } local;
    bool wants = result && !put;
    TDispCall call(&full, wants ? &local.v : nullptr, flags, put);
    m->Invoke(self, call);
    if (wants) {
      // The caller's result variant holds nothing of its own yet (the protocol's rule).
      *result = local.v;
      VariantInit(&local.v);
    }
    return S_OK;
  } catch (...) {
    return DispatchExceptionResult(info, style);
  }
}

OleVariant DispatchInvoke(IDispatch* object, DISPID id, WORD flags, const std::vector<OleVariant>& args) {
  if (!object) throw EOleSysError("", E_POINTER);
  std::vector<VARIANTARG> reversed(args.size());
  for (size_t i = 0; i < args.size(); ++i) reversed[args.size() - 1 - i] = args[i].Var();  // views, not copies
  DISPID put = DISPID_PROPERTYPUT;
  bool is_put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), is_put ? &put : nullptr,
                       static_cast<UINT>(reversed.size()), is_put && !reversed.empty() ? 1u : 0u};
  OleVariant result;
  EXCEPINFO info;
  memset(&info, 0, sizeof info);
  UINT arg_err = 0;
  HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, is_put ? nullptr : result.Out(), &info,
                              &arg_err);
  if (hr == DISP_E_EXCEPTION) {
    if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
    AnsiString description = kv::WideToAnsi(kv::BstrText(info.bstrDescription));
    AnsiString source = kv::WideToAnsi(kv::BstrText(info.bstrSource));
    HRESULT code = info.scode ? info.scode : hr;
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    throw EOleException(description, code, source);
  }
  if (FAILED(hr)) throw EOleSysError("", hr);
  return result;
}

OleVariant DispatchInvoke(IDispatch* object, const WideString& name, WORD flags, const std::vector<OleVariant>& args) {
  if (!object) throw EOleSysError("", E_POINTER);
  WideString n = name;
  LPOLESTR names[1] = {n.data()};
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) throw EOleSysError("Unknown name " + kv::WideToAnsi(name), hr);
  return DispatchInvoke(object, id, flags, args);
}
