// Parses arbitrary text as a registry file; what parses must serialise and parse again
// to the same tree.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/registry/regfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  kv::reg::Tree tree;
  std::string error;
  if (!kv::reg::Parse(text, tree, error)) return 0;
  const std::string once = kv::reg::Serialize(tree);
  kv::reg::Tree again;
  if (!kv::reg::Parse(once, again, error)) std::abort();
  if (kv::reg::Serialize(again) != once) std::abort();
  return 0;
}
