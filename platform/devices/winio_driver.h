// The port-I/O library's driver file "WinIo.sys": a small data file that must stand
// next to the executable while InitializeWinIo runs. Its content is this image.
#pragma once

#include <cstddef>

namespace kvdev {

constexpr char kWinIoDriverImage[] =
    "KVPORTIO-DRIVER 1\n"
    "Register access for the parallel ports 0x378, 0x278 and 0x3BC.\n";
constexpr size_t kWinIoDriverImageSize = sizeof(kWinIoDriverImage) - 1;
constexpr size_t kWinIoDriverMagicSize = 18;  // "KVPORTIO-DRIVER 1\n"

}  // namespace kvdev
