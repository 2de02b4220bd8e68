// Test helper: a VARIANT that clears itself when it goes out of scope.
#pragma once

#include "platform/com/oleauto.h"

namespace kvtest {

struct Var : VARIANT {
  Var() { VariantInit(this); }
  explicit Var(const char16_t* text) {
    VariantInit(this);
    vt = VT_BSTR;
    bstrVal = SysAllocString(text);
  }
  explicit Var(LONG value) {
    VariantInit(this);
    vt = VT_I4;
    lVal = value;
  }
  ~Var() { VariantClear(this); }
  Var(const Var&) = delete;
  Var& operator=(const Var&) = delete;
};

}  // namespace kvtest
