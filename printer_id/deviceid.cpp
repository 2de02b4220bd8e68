#include "printer_id/deviceid.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace quenlow {

namespace {

// The device-ID text: after the length field, bounded by the length field (which
// the standard counts with its own two bytes, though some devices leave them out),
// by the bytes received and by the buffer, and cut at the first NUL.
std::string_view DeviceIdText(const uint8_t* id, size_t received) {
  if (id == nullptr || received < 2) return {};
  size_t end = std::min(received, kDeviceIdBufferSize);
  const size_t declared = (static_cast<size_t>(id[0]) << 8) | id[1];
  end = std::min(end, declared + 2);
  if (end <= 2) return {};
  std::string_view text(reinterpret_cast<const char*>(id) + 2, end - 2);
  const size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  return text;
}

}  // namespace

bool ExtractDeviceIdValue(const uint8_t* id, size_t received, const char* key1, const char* key2, char* out) {
  if (out == nullptr || key1 == nullptr) return false;
  const std::string_view text = DeviceIdText(id, received);
  if (text.empty()) return false;

  size_t at = std::string_view::npos;
  std::string_view key;
  for (const char* k : {key1, key2}) {
    if (k == nullptr || *k == '\0') continue;
    at = text.find(k);
    if (at != std::string_view::npos) {
      key = k;
      break;
    }
  }
  if (at == std::string_view::npos) return false;

  // The value runs from after the key to the next ";". Leading ";" are skipped, so
  // an empty value yields the next pair's text; nothing left means no value.
  size_t begin = at + key.size();
  while (begin < text.size() && text[begin] == ';') ++begin;
  if (begin >= text.size()) return false;
  size_t stop = text.find(';', begin);
  if (stop == std::string_view::npos) stop = text.size();
  const size_t length = std::min(stop - begin, kDeviceIdBufferSize - 1);
  std::memcpy(out, text.data() + begin, length);
  out[length] = '\0';
  return true;
}

}  // namespace quenlow
