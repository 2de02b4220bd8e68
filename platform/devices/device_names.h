// Device names as CreateFile sees them (internal to the devices area).
#pragma once

#include <string>
#include <string_view>

namespace kvdev {

// Strips a leading "\\.\" or "\\?\".
std::string_view StripDevicePrefix(std::string_view name);

// For "PREFIXn" or "PREFIXn:" (any letter case, after StripDevicePrefix) returns n
// (1..255), otherwise 0.
int NumberedDevice(std::string_view name, std::string_view prefix);

}  // namespace kvdev
