// Fuzzes the skin description: the input is the description text of a container that also
// holds the built-in skin's bitmaps, loaded into a TSkinData.
#include <cstddef>
#include <cstdint>
#include <string>

#include "skin/tests/skin_test_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  const skinpack::Bytes container = skintest::ContainerWith(std::string(reinterpret_cast<const char*>(data), size));
  TSkinData skin(nullptr);
  skin.SetSkinBytes(container.data(), container.size());
  return 0;
}
