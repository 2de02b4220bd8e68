// OleVariant: the framework's variant over a platform VARIANT.
//
// Conversions follow the framework's rules: Unassigned (VT_EMPTY) reads as 0, "" and
// False; Null does not convert; True is -1 as a number and "True" as text; numbers as
// text use FloatToStr / IntToStr; text converts to numbers by the platform's rules
// (blanks, sign, decimals, "&H.."; 2.5 rounds to 2). A value that does not convert raises
// EVariantTypeCastError "Could not convert variant of type (OleStr) into type (Integer)",
// one out of range EVariantOverflowError "Variant overflow".
#pragma once

#include <cstdint>
#include <string>

#include "framework/core/exception.h"
#include "framework/core/sysutils.h"
#include "platform/com/oleauto.h"

KV_EXCEPTION(EVariantTypeCastError, EVariantError);
KV_EXCEPTION(EVariantOverflowError, EVariantError);

class OleVariant {
 public:
  OleVariant() { VariantInit(&v_); }
  OleVariant(const OleVariant& other);
  OleVariant(OleVariant&& other) noexcept;
  OleVariant& operator=(const OleVariant& other);
  OleVariant& operator=(OleVariant&& other) noexcept;
  ~OleVariant() { VariantClear(&v_); }

  // Copies (a VT_BYREF source gives the value it refers to).
  explicit OleVariant(const VARIANT& v);
  OleVariant(int value);
  OleVariant(int64_t value);
  OleVariant(double value);
  OleVariant(bool value);
  OleVariant(const char* value);  // ANSI
  OleVariant(const AnsiString& value);
  OleVariant(const char16_t* value);
  OleVariant(const WideString& value);
  // Takes a reference of its own.
  OleVariant(IDispatch* value);
  OleVariant(IUnknown* value);
  static OleVariant Null();
  // An optional argument left out (VT_ERROR DISP_E_PARAMNOTFOUND).
  static OleVariant EmptyParam();
  // A by-reference argument (VT_BYREF | vt) to the caller's storage, for [in, out]
  // parameters of late-bound calls; the storage must outlive the variant.
  static OleVariant ByRef(VARTYPE vt, void* storage);

  VARTYPE VarType() const { return v_.vt; }
  bool IsEmpty() const { return v_.vt == VT_EMPTY; }
  bool IsNull() const { return v_.vt == VT_NULL; }

  int AsInteger() const;
  int64_t AsInt64() const;
  double AsDouble() const;
  bool AsBoolean() const;
  AnsiString AsString() const;  // in the ANSI code page
  WideString AsWideString() const;
  // The object held (VT_DISPATCH, or VT_UNKNOWN answering IDispatch), without a new
  // reference; null for Unassigned or a null object. Raises for other values.
  IDispatch* AsDispatch() const;

  const VARIANT& Var() const { return v_; }
  // Clears and gives the variant to fill (an out parameter of a platform call).
  VARIANT* Out();
  // Copies into a caller's variant (VariantInit'ed or holding a value, which is freed).
  void CopyTo(VARIANT* dest) const;
  // Hands over the variant; this one is left Unassigned.
  VARIANT Detach();

 private:
  // A platform conversion of this value, raising the framework's errors.
  VARIANT Convert(VARTYPE vt, const char* type_name) const;
  static void Raise(HRESULT hr, VARTYPE from, const char* type_name);

  VARIANT v_;
};

// The framework's name of a variant type ("Integer", "OleStr", "Null" ...).
AnsiString VarTypeAsText(VARTYPE vt);
