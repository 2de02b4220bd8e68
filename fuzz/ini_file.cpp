// Reads arbitrary bytes as an INI file: every section, key and value, then one write.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "framework/core/exception.h"
#include "framework/core/inifiles.h"
#include "framework/core/strings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One scratch folder for the run, removed again when the fuzzer exits.
  static const std::string path = [] {
    static char dir[] = "/tmp/kv-fuzz-ini-XXXXXX";
    if (mkdtemp(dir) == nullptr) return std::string();
    std::atexit([] {
      std::remove((std::string(dir) + "/fuzz.ini").c_str());
      rmdir(dir);
    });
    return std::string(dir) + "/fuzz.ini";
  }();
  if (path.empty()) return 0;
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
