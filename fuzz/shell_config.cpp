// Fuzz target: the configuration codec and the item string that pages save. The codec
// must give back every encoded byte string and leave the destination alone on text it
// refuses; the item string is written into an INI file and listed back, where only a
// result of 0 or 1 may come out (anything else, a crash or an exception, is a finding).
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/scratch.h"
#include "shell/ini_config.h"
#include "shell/sb64.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The scratch folder is the program directory, holding an empty Korvane.ini.
  static const std::string dir = [] {
    const std::string& folder = FuzzScratchFolder();
    if (folder.empty()) return folder;
    if (FILE* f = std::fopen((folder + "Korvane.ini").c_str(), "wb")) std::fclose(f);
    TINIConfig::ResetModuleState(folder);
    return folder;
  }();
  if (dir.empty()) return 0;
  const AnsiString input(reinterpret_cast<const char*>(data), size);

  TSB64 codec;
  AnsiString back;
  if (!codec.Decode(codec.Encode(input), back) || back != input) __builtin_trap();
  AnsiString dest = "kept";
  if (!codec.Decode(input, dest) && dest != "kept") __builtin_trap();

  TINIConfig config;
  const AnsiString file = dir + "items.ini";
  std::remove(file.c_str());
  const int isEncode = size > 0 ? data[0] & 1 : 0;
  const int result = config.SaveConfig(file, input, isEncode);
  if (result != 0 && result != 1) __builtin_trap();
  config.LoadConfig(file, 1);
  config.LoadConfig(file, 0);
  return 0;
}
