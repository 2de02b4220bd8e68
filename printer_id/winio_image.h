// The port-I/O library's file image, embedded at build time.
#pragma once

#include <cstddef>

namespace quenlow {

extern const unsigned char kWinIoDllImage[];
extern const size_t kWinIoDllImageSize;

}  // namespace quenlow
