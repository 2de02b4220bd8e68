#include "framework/automation/olevariant.h"

#include <cstring>

#include "platform/base/codepage.h"

OleVariant::OleVariant(const OleVariant& other) {
  VariantInit(&v_);
  if (FAILED(VariantCopy(&v_, &other.v_))) throw EOutOfMemory("Out of memory");
}

OleVariant::OleVariant(OleVariant&& other) noexcept {
  v_ = other.v_;
  VariantInit(&other.v_);
}

OleVariant& OleVariant::operator=(const OleVariant& other) {
  if (this != &other) {
    OleVariant copy(other);
    *this = std::move(copy);
  }
  return *this;
}

OleVariant& OleVariant::operator=(OleVariant&& other) noexcept {
  if (this != &other) {
    VariantClear(&v_);
    v_ = other.v_;
    VariantInit(&other.v_);
  }
  return *this;
}

OleVariant::OleVariant(const VARIANT& v) {
  VariantInit(&v_);
  HRESULT hr = VariantCopyInd(&v_, &v);
  if (hr == E_OUTOFMEMORY) throw EOutOfMemory("Out of memory");
  if (FAILED(hr)) throw EVariantError("Invalid variant type");
}

OleVariant::OleVariant(int value) {
  VariantInit(&v_);
  v_.vt = VT_I4;
  v_.lVal = value;
}

OleVariant::OleVariant(int64_t value) {
  VariantInit(&v_);
  v_.vt = VT_I8;
  v_.llVal = value;
}

OleVariant::OleVariant(double value) {
  VariantInit(&v_);
  v_.vt = VT_R8;
  v_.dblVal = value;
}

OleVariant::OleVariant(bool value) {
  VariantInit(&v_);
  v_.vt = VT_BOOL;
  v_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

OleVariant::OleVariant(const char* value) : OleVariant(AnsiString(value ? value : "")) {}

OleVariant::OleVariant(const AnsiString& value) : OleVariant(kv::AnsiToWide(value)) {}

OleVariant::OleVariant(const char16_t* value) : OleVariant(WideString(value ? value : u"")) {}

OleVariant::OleVariant(const WideString& value) {
  VariantInit(&v_);
  BSTR b = kv::AllocBstr(value);
  if (!b) throw EOutOfMemory("Out of memory");
  v_.vt = VT_BSTR;
  v_.bstrVal = b;
}

OleVariant::OleVariant(IDispatch* value) {
  VariantInit(&v_);
  v_.vt = VT_DISPATCH;
  v_.pdispVal = value;
  if (value) value->AddRef();
}

OleVariant::OleVariant(IUnknown* value) {
  VariantInit(&v_);
  v_.vt = VT_UNKNOWN;
  v_.punkVal = value;
  if (value) value->AddRef();
}

OleVariant OleVariant::Null() {
  OleVariant v;
  v.v_.vt = VT_NULL;
  return v;
}

OleVariant OleVariant::EmptyParam() {
  OleVariant v;
  v.v_.vt = VT_ERROR;
  v.v_.scode = DISP_E_PARAMNOTFOUND;
  return v;
}

OleVariant OleVariant::ByRef(VARTYPE vt, void* storage) {
  if (!storage || (vt & VT_BYREF)) throw EVariantError("Invalid variant type");
  OleVariant v;
  v.v_.vt = static_cast<VARTYPE>(vt | VT_BYREF);
  v.v_.byref = storage;
  return v;
}

AnsiString VarTypeAsText(VARTYPE vt) {
  AnsiString prefix = (vt & VT_ARRAY) ? "Array " : "";
  switch (vt & VT_TYPEMASK) {
    case VT_EMPTY: return prefix + "Empty";
    case VT_NULL: return prefix + "Null";
    case VT_I2: return prefix + "Smallint";
    case VT_I4:
    case VT_INT: return prefix + "Integer";
    case VT_R4: return prefix + "Single";
    case VT_R8: return prefix + "Double";
    case VT_CY: return prefix + "Currency";
    case VT_DATE: return prefix + "Date";
    case VT_BSTR: return prefix + "OleStr";
    case VT_DISPATCH: return prefix + "Dispatch";
    case VT_ERROR: return prefix + "Error";
    case VT_BOOL: return prefix + "Boolean";
    case VT_VARIANT: return prefix + "Variant";
    case VT_UNKNOWN: return prefix + "Unknown";
    case VT_DECIMAL: return prefix + "Decimal";
    case VT_I1: return prefix + "ShortInt";
    case VT_UI1: return prefix + "Byte";
    case VT_UI2: return prefix + "Word";
    case VT_UI4:
    case VT_UINT: return prefix + "LongWord";
    case VT_I8: return prefix + "Int64";
    case VT_UI8: return prefix + "UInt64";
    default: return prefix + "Unknown";
  }
}

void OleVariant::Raise(HRESULT hr, VARTYPE from, const char* type_name) {
  if (hr == DISP_E_OVERFLOW) throw EVariantOverflowError("Variant overflow");
  if (hr == E_OUTOFMEMORY) throw EOutOfMemory("Out of memory");
  throw EVariantTypeCastError("Could not convert variant of type (" + VarTypeAsText(from) + ") into type (" +
                              type_name + ")");
}

VARIANT OleVariant::Convert(VARTYPE vt, const char* type_name) const {
  if (v_.vt == VT_NULL) Raise(DISP_E_TYPEMISMATCH, v_.vt, type_name);
  VARIANT out;
  VariantInit(&out);
  HRESULT hr = VariantChangeTypeEx(&out, &v_, LOCALE_USER_DEFAULT, 0, vt);
  if (FAILED(hr)) Raise(hr, v_.vt, type_name);
  return out;
}

int OleVariant::AsInteger() const { return Convert(VT_I4, "Integer").lVal; }

int64_t OleVariant::AsInt64() const { return Convert(VT_I8, "Int64").llVal; }

double OleVariant::AsDouble() const { return Convert(VT_R8, "Double").dblVal; }

bool OleVariant::AsBoolean() const { return Convert(VT_BOOL, "Boolean").boolVal != 0; }

WideString OleVariant::AsWideString() const {
  switch (v_.vt) {
    case VT_BSTR: return kv::BstrText(v_.bstrVal);
    case VT_BOOL: return v_.boolVal ? u"True" : u"False";
    case VT_R4: return kv::AnsiToWide(FloatToStr(v_.fltVal));
    case VT_R8: return kv::AnsiToWide(FloatToStr(v_.dblVal));
    case VT_DATE: return kv::AnsiToWide(DateTimeToStr(v_.date));
    default: break;
  }
  VARIANT out = Convert(VT_BSTR, "OleStr");
  WideString s = kv::BstrText(out.bstrVal);
  VariantClear(&out);
  return s;
}

AnsiString OleVariant::AsString() const { return kv::WideToAnsi(AsWideString()); }

IDispatch* OleVariant::AsDispatch() const {
  if (v_.vt == VT_EMPTY) return nullptr;
  if (v_.vt == VT_DISPATCH) return v_.pdispVal;
  if (v_.vt == VT_UNKNOWN) {
    if (!v_.punkVal) return nullptr;
    void* p = nullptr;
    if (SUCCEEDED(v_.punkVal->QueryInterface(IID_IDispatch, &p)) && p) {
      auto* d = static_cast<IDispatch*>(p);
      d->Release();  // the variant keeps the object alive
      return d;
    }
  }
  Raise(DISP_E_TYPEMISMATCH, v_.vt, "Dispatch");
  return nullptr;
}

VARIANT* OleVariant::Out() {
  VariantClear(&v_);
  return &v_;
}

void OleVariant::CopyTo(VARIANT* dest) const {
  if (!dest) return;
  HRESULT hr = VariantCopy(dest, &v_);
  if (FAILED(hr)) Raise(hr, v_.vt, "Variant");
}

VARIANT OleVariant::Detach() {
  VARIANT out = v_;
  VariantInit(&v_);
  return out;
}
