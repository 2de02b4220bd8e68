#include <gtest/gtest.h>

#include "platform/com/builtin.h"
#include "platform/com/oleauto.h"
#include "platform/com/unknown.h"

namespace {

constexpr CLSID kCounted = {0x5C0E7A10, 0x8F21, 0x4B3D, {0xA4, 0x51, 0x0B, 0x6E, 0x2D, 0x93, 0x7F, 0x18}};

// Counts the objects alive, so that the factory's reference handling shows.
class Counted final : public kv::RefCounted<IDispatch> {
 public:
  static inline int alive = 0;
  Counted() { ++alive; }
  ~Counted() override { --alive; }
  bool Accepts(REFIID riid) const override { return IsEqualIID(riid, IID_IDispatch); }
  HRESULT GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }
};

TEST(BuiltinClass, MadeByItsFactoryWithoutTheRegistry) {
  kv::RegisterBuiltinClass<Counted, kCounted>();
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  IDispatch* made = nullptr;
  ASSERT_EQ(CoCreateInstance(kCounted, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&made)),
            S_OK);
  EXPECT_EQ(Counted::alive, 1);
  EXPECT_EQ(made->Release(), 0u);
  EXPECT_EQ(Counted::alive, 0);

  IClassFactory* factory = nullptr;
  ASSERT_EQ(CoGetClassObject(kCounted, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             reinterpret_cast<void**>(&factory)),
            S_OK);
  void* p = reinterpret_cast<void*>(1);
  // An interface the object lacks: nothing is left alive.
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IStream, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(Counted::alive, 0);
  EXPECT_EQ(factory->CreateInstance(factory, IID_IUnknown, &p), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(factory->QueryInterface(IID_IDispatch, &p), E_NOINTERFACE);
  factory->Release();
  CoUninitialize();
}

}  // namespace
