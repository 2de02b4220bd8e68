// Shared helpers of the skin tests: containers made from a description text and the
// built-in skin's bitmaps.
#pragma once

#include <string>

#include "skin/skin_data.h"
#include "skin/skin_reader.h"
#include "tools/skinpack/skin_packer.h"

namespace skintest {

// The bitmaps of the built-in skin, as container entries (read once).
inline const std::vector<skinpack::Entry>& DefaultBitmaps() {
  static const std::vector<skinpack::Entry> entries = [] {
    std::vector<skinpack::Entry> out;
    TSkinReader reader;
    TMemoryStream packed;
    packed.WriteBuffer(DefaultSkinData(), static_cast<int>(DefaultSkinSize()));
    packed.SetPosition(0);
    reader.LoadFromStream(&packed);
    for (int i = 0; i < reader.Count(); ++i) {
      const AnsiString name = reader.Names().Strings(i);
      if (name.find(".ini") != AnsiString::npos) continue;
      TMemoryStream entry;
      reader.FindEntry(name, &entry);
      const auto* p = static_cast<const uint8_t*>(entry.Memory());
      out.push_back({name, skinpack::Bytes(p, p + entry.Size())});
    }
    return out;
  }();
  return entries;
}

// A container of Description (as "skin.ini") plus every bitmap of the built-in skin.
inline skinpack::Bytes ContainerWith(const std::string& Description) {
  std::vector<skinpack::Entry> entries{{"skin.ini", skinpack::ToBytes(Description)}};
  const auto& bitmaps = DefaultBitmaps();
  entries.insert(entries.end(), bitmaps.begin(), bitmaps.end());
  return skinpack::Container(skinpack::Body(20000, entries));
}

// The built-in skin's description text.
inline std::string DefaultDescription() {
  TSkinReader reader;
  TMemoryStream packed, entry;
  packed.WriteBuffer(DefaultSkinData(), static_cast<int>(DefaultSkinSize()));
  packed.SetPosition(0);
  reader.LoadFromStream(&packed);
  AnsiString name;
  reader.FindEntryContaining(".ini", &entry, name);
  return std::string(static_cast<const char*>(entry.Memory()), static_cast<size_t>(entry.Size()));
}

}  // namespace skintest
