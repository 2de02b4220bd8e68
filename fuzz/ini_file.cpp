// Reads arbitrary bytes as an INI file: every section, key and value, then one write.
#include <cstdint>
#include <cstdio>
#include <string>

#include "framework/core/exception.h"
#include "framework/core/inifiles.h"
#include "framework/core/strings.h"
#include "fuzz/scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& folder = FuzzScratchFolder();
  if (folder.empty()) return 0;
  const std::string path = folder + "fuzz.ini";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  TIniFile ini(path);
  TStringList sections, keys, values;
  ini.ReadSections(&sections);
  for (int i = 0; i < sections.Count(); ++i) {
    ini.ReadSection(sections[i], &keys);
    ini.ReadSectionValues(sections[i], &values);
    for (int k = 0; k < keys.Count(); ++k) ini.ReadString(sections[i], keys[k], "");
  }
  try {
    ini.WriteString(sections.Count() > 0 ? sections[0] : "general", "skin", "x");
  } catch (const Exception&) {
    // A section name that cannot be written back is refused, as designed.
  }
  return 0;
}
