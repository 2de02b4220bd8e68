// Built-in classes: COM classes that libplatform.so itself serves. CoGetClassObject
// answers them before it looks at the registry.
#pragma once

#include "platform/com/com.h"

extern "C" {
// Registers `get_class_object` for `clsid` (a later registration of the same class
// replaces the earlier one).
void KvRegisterBuiltinClass(REFCLSID clsid, LPFNGETCLASSOBJECT get_class_object);
}

namespace kv {
// The built-in class object for `clsid`: true with *hr set when the class is built in.
bool BuiltinClassObject(REFCLSID clsid, REFIID riid, void** object, HRESULT* hr);
}  // namespace kv
