// The table of built-in classes.
#include "platform/com/builtin.h"

#include <mutex>
#include <vector>

namespace {
struct Entry {
  CLSID clsid;
  LPFNGETCLASSOBJECT get;
};
std::mutex& TableLock() {
  static std::mutex m;
  return m;
}
std::vector<Entry>& Table() {
  static std::vector<Entry> t;
  return t;
}
}  // namespace

void KvRegisterBuiltinClass(REFCLSID clsid, LPFNGETCLASSOBJECT get_class_object) {
  std::lock_guard<std::mutex> lock(TableLock());
  for (auto& e : Table())
    if (IsEqualCLSID(e.clsid, clsid)) {
      e.get = get_class_object;
      return;
    }
  Table().push_back({clsid, get_class_object});
}

bool kv::BuiltinClassObject(REFCLSID clsid, REFIID riid, void** object, HRESULT* hr) {
  LPFNGETCLASSOBJECT get = nullptr;
  {
    std::lock_guard<std::mutex> lock(TableLock());
    for (auto& e : Table())
      if (IsEqualCLSID(e.clsid, clsid)) get = e.get;
  }
  if (!get) return false;
  *hr = get(clsid, riid, object);
  return true;
}
