// Fuzz target: device-ID parsing of the printer identity library, on the bytes a
// printer sends (2-byte length, then "KEY:value;" pairs).
#include <cstdint>
#include <cstring>
#include <vector>

#include "printer_id/deviceid.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The port's buffer: at most 1024 bytes are ever received.
  const size_t received = size < quenlow::kDeviceIdBufferSize ? size : quenlow::kDeviceIdBufferSize;
  std::vector<uint8_t> id(data, data + received);
  // The caller's buffer, with a guard after its 1024 bytes.
  std::vector<char> out(quenlow::kDeviceIdBufferSize + 1, '\x5A');
  static const char* const kKeys[2][2] = {{"MODEL:", "MDL:"}, {"PNO:", "NUM:"}};
  for (const auto& keys : kKeys) {
    std::memset(out.data(), '\x5A', out.size());
    if (quenlow::ExtractDeviceIdValue(id.data(), id.size(), keys[0], keys[1], out.data())) {
      if (std::memchr(out.data(), '\0', quenlow::kDeviceIdBufferSize) == nullptr) __builtin_trap();
    } else if (out[0] != '\x5A') {
      __builtin_trap();  // a failure must leave the buffer untouched
    }
    if (out[quenlow::kDeviceIdBufferSize] != '\x5A') __builtin_trap();
  }
  return 0;
}
