// Test helper: an IDispatch that lives on the test's stack.
#pragma once

#include "platform/com/oleauto.h"

namespace kvtest {

// Counts its references without ever deleting itself; answers IUnknown, IDispatch and
// `also` when set (the event interface a sink stands for); has no type information and
// knows no names. Each test writes its Invoke.
class DispatchStub : public IDispatch {
 public:
  int refs = 1;
  IID also = IID_NULL;

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        (!IsEqualIID(also, IID_NULL) && IsEqualIID(riid, also))) {
      *object = static_cast<IDispatch*>(this);
      ++refs;
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  HRESULT GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
};

}  // namespace kvtest
