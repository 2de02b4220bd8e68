#include "platform/devices/device_names.h"

#include <cctype>

namespace kvdev {

std::string_view StripDevicePrefix(std::string_view name) {
  if (name.size() >= 4 && (name[0] == '\\' || name[0] == '/') && (name[1] == '\\' || name[1] == '/') &&
      (name[2] == '.' || name[2] == '?') && (name[3] == '\\' || name[3] == '/')) {
    name.remove_prefix(4);
  }
  return name;
}

int NumberedDevice(std::string_view name, std::string_view prefix) {
  name = StripDevicePrefix(name);
  if (!name.empty() && name.back() == ':') name.remove_suffix(1);
  if (name.size() <= prefix.size() || name.size() > prefix.size() + 3) return 0;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(name[i])) != prefix[i]) return 0;
  }
  int n = 0;
  for (size_t i = prefix.size(); i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return 0;
    n = n * 10 + (name[i] - '0');
  }
  if (name[prefix.size()] == '0') return 0;  // no leading zero, no "LPT0"
  return n >= 1 && n <= 255 ? n : 0;
}

}  // namespace kvdev
