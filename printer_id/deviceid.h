// IEEE 1284 device-ID parsing: the value of one key out of a device ID as a port
// delivers it (2-byte big-endian length, then "KEY:value;" pairs in 8-bit text).
#pragma once

#include <cstddef>
#include <cstdint>

namespace quenlow {

// Size of the device-ID buffer and of the caller's result buffer.
constexpr size_t kDeviceIdBufferSize = 1024;

// Looks for `key1` (then `key2`, which may be null) in the device ID held in the
// first `received` bytes of `id`. The text starts after the 2-byte length and ends
// at the smaller of what the length field covers, what was received, the buffer
// size and the first NUL. On success copies the value, NUL-terminated, into `out`
// (kDeviceIdBufferSize bytes) and returns true; otherwise `out` is not touched.
bool ExtractDeviceIdValue(const uint8_t* id, size_t received, const char* key1, const char* key2, char* out);

}  // namespace quenlow
