// Built-in classes: COM classes that libplatform.so itself serves, registered with
// KvRegisterBuiltinClass (com.h). CoGetClassObject answers them before it looks at the
// registry. The class objects of the platform's own classes, and internals of COM's files.
#pragma once

#include <string>

#include "platform/com/com.h"

namespace kv {
// The built-in class object for `clsid`: true with *hr set when the class is built in.
bool BuiltinClassObject(REFCLSID clsid, REFIID riid, void** object, HRESULT* hr);
// The default text value of HKEY_CLASSES_ROOT\<key>; false when absent, empty or not text.
bool ClassesRootText(const std::u16string& key, std::u16string& text);

// The class object of a built-in class: one for the process, never freed, which makes a
// new `Object` (born with one reference) for each CreateInstance; no aggregation.
template <class Object>
class BuiltinFactory final : public IClassFactory {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
      *object = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* made = new Object;
    HRESULT hr = made->QueryInterface(riid, object);
    made->Release();
    return hr;
  }
  HRESULT LockServer(BOOL) override { return S_OK; }
};

// Registers `Object` as the built-in class kClsid, its class object a BuiltinFactory.
template <class Object, const CLSID& kClsid>
void RegisterBuiltinClass() {
  KvRegisterBuiltinClass(kClsid, [](REFCLSID clsid, REFIID riid, LPVOID* object) -> HRESULT {
    static BuiltinFactory<Object> factory;
    if (!IsEqualCLSID(clsid, kClsid)) return CLASS_E_CLASSNOTAVAILABLE;
    return factory.QueryInterface(riid, object);
  });
}
}  // namespace kv
