// IUnknown for an object that one reference count keeps alive: QueryInterface answers
// IID_IUnknown and the interfaces the object accepts with its `Interface` pointer, and
// the last Release deletes it. Header-only, so each module compiles its own copy.
#pragma once

#include <atomic>

#include "platform/com/com.h"

namespace kv {

template <class Interface>
class RefCounted : public Interface {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || Accepts(riid)) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

 protected:
  RefCounted() = default;
  virtual ~RefCounted() = default;
  // The interfaces besides IUnknown that QueryInterface answers with `this`.
  virtual bool Accepts(REFIID riid) const = 0;

 private:
  std::atomic<ULONG> refs_{1};
};

}  // namespace kv
