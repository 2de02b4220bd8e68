// Built-in classes: COM classes that libplatform.so itself serves, registered with
// KvRegisterBuiltinClass (com.h). CoGetClassObject answers them before it looks at the
// registry.
#pragma once

#include "platform/com/com.h"

namespace kv {
// The built-in class object for `clsid`: true with *hr set when the class is built in.
bool BuiltinClassObject(REFCLSID clsid, REFIID riid, void** object, HRESULT* hr);
}  // namespace kv
