// Internals of COM's files. Built-in classes: COM classes that libplatform.so itself
// serves, registered with KvRegisterBuiltinClass (com.h). CoGetClassObject answers them
// before it looks at the registry.
#pragma once

#include <string>

#include "platform/com/com.h"

namespace kv {
// The built-in class object for `clsid`: true with *hr set when the class is built in.
bool BuiltinClassObject(REFCLSID clsid, REFIID riid, void** object, HRESULT* hr);
// The default text value of HKEY_CLASSES_ROOT\<key>; false when absent, empty or not text.
bool ClassesRootText(const std::u16string& key, std::u16string& text);
}  // namespace kv
