// Fuzz target: loading a skin container (decompression and body) and reading every entry
// back by name, then the description by containment, as the skin loader does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/user/testing.h"
#include "platform/user/user.h"
#include "skin/skin_reader.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Unknown format codes show a message box: recorded, never asked on a terminal.
  setenv("KORVANE_TEST", "1", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  TMemoryStream container;
  if (size > 0) container.WriteBuffer(data, static_cast<int>(size));
  TSkinReader reader;
  try {
    if (reader.LoadFromStream(&container)) {
      TMemoryStream target;
      for (int i = 0; i < reader.Count(); ++i) {
        // The first entry of a name is found, whole, and handed out from its start.
        if (!reader.FindEntry(reader.Names()[i], &target)) __builtin_trap();
        int first = 0;
        while (reader.Names()[first] != reader.Names()[i]) ++first;
        if (target.Size() != reader.EntrySize(first)) __builtin_trap();
        if (target.Position() != 0) __builtin_trap();
      }
      AnsiString name;
      reader.FindEntryContaining(".ini", &target, name);
    }
  } catch (const ElzhException&) {
    // A damaged container is refused; any other exception is a fault.
  }
  KvMessageBoxLogClear();
  return 0;
}
