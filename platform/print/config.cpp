// Configuration of the virtual printer: registry first, then environment variables.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/base/codepage.h"
#include "platform/base/path.h"
#include "platform/print/print_internal.h"

#if __has_include("platform/registry/registry.h")
#include "platform/registry/registry.h"
#define KV_PRINT_HAVE_REGISTRY 1
#endif

namespace kv::print {

std::recursive_mutex& Lock() {
  // Never destroyed: printer objects of other modules may call in during exit.
  static auto* m = new std::recursive_mutex;
  return *m;
}

std::u16string FromAnsi(const char* s) { return s ? kv::AnsiToWide(s) : std::u16string(); }
std::string ToAnsiString(const std::u16string& s) { return kv::WideToAnsi(s); }
std::u16string FromWide(const WCHAR* s) { return s ? std::u16string(s) : std::u16string(); }
std::string ToUtf8(const std::u16string& s) { return kv::WideToUtf8(s); }

namespace {

const char kKey[] = "Software\\Korvane\\Print";

// A registry value as text (REG_DWORD in decimal); nullopt when absent.
std::optional<std::string> RegistryValue(const char* name) {
#ifdef KV_PRINT_HAVE_REGISTRY
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
  DWORD type = 0;
  BYTE buf[2048];
  DWORD size = sizeof buf - 1;
  LONG rc = RegQueryValueExA(key, name, nullptr, &type, buf, &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return std::nullopt;
  if (type == REG_DWORD && size == 4) {
    DWORD v;
    std::memcpy(&v, buf, 4);
    return std::to_string(v);
  }
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    buf[size] = 0;
    return kv::AnsiToUtf8(reinterpret_cast<const char*>(buf));
  }
  return std::nullopt;
#else
  (void)name;
  (void)kKey;
  return std::nullopt;
#endif
}

std::optional<std::string> EnvValue(const char* name) {
  const char* v = std::getenv(name);
  if (!v || !*v) return std::nullopt;
  return std::string(v);
}

// Registry value `name`, else environment variable `env` (both as UTF-8 text).
std::optional<std::string> Setting(const char* name, const char* env) {
  if (auto v = RegistryValue(name)) return v;
  return EnvValue(env);
}

// A whole decimal integer within [lo, hi]; anything else keeps `def`.
int IntSetting(const char* name, const char* env, int def, int lo, int hi) {
  auto v = Setting(name, env);
  if (!v) return def;
  const char* s = v->c_str();
  char* end = nullptr;
  long n = std::strtol(s, &end, 10);
  if (end == s || *end != 0 || n < lo || n > hi) return def;
  return static_cast<int>(n);
}

}  // namespace

Config ReadConfig() {
  Config c;
  c.name = kv::Utf8ToWide(Setting("Name", "KORVANE_PRINT_NAME").value_or("Korvane Virtual Printer"));
  if (c.name.size() >= CCHDEVICENAME * 4) c.name.resize(CCHDEVICENAME * 4);
  c.port = kv::Utf8ToWide(Setting("Port", "KORVANE_PRINT_PORT").value_or("FILE:"));
  c.dpiX = IntSetting("DpiX", "KORVANE_PRINT_DPIX", 600, 72, 1200);
  c.dpiY = IntSetting("DpiY", "KORVANE_PRINT_DPIY", c.dpiX, 72, 1200);
  c.paperSize = static_cast<SHORT>(IntSetting("PaperSize", "KORVANE_PRINT_PAPERSIZE", DMPAPER_A4, 1, 32767));
  c.paperWidth = static_cast<SHORT>(IntSetting("PaperWidth", "KORVANE_PRINT_PAPERWIDTH", 2100, 10, 32767));
  c.paperLength = static_cast<SHORT>(IntSetting("PaperLength", "KORVANE_PRINT_PAPERLENGTH", 2970, 10, 32767));
  c.orientation = static_cast<SHORT>(IntSetting("Orientation", "KORVANE_PRINT_ORIENTATION", DMORIENT_PORTRAIT, 1, 2));
  c.offsetX = IntSetting("OffsetX", "KORVANE_PRINT_OFFSETX", 0, 0, 1000);
  c.offsetY = IntSetting("OffsetY", "KORVANE_PRINT_OFFSETY", 0, 0, 1000);
  // Tests (KORVANE_TEST set) see no CUPS queues unless they ask for them.
  c.cups = IntSetting("Cups", "KORVANE_PRINT_CUPS", std::getenv("KORVANE_TEST") ? 0 : 1, 0, 1) != 0;
  c.cupsServer = Setting("CupsServer", "KORVANE_PRINT_CUPSSERVER").value_or("");
  std::string answer = Setting("DialogAnswer", "KORVANE_PRINT_DIALOG").value_or("ok");
  for (auto& ch : answer) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  c.dialogAnswer = answer;
  c.rasters = IntSetting("Rasters", "KORVANE_PRINT_RASTERS", 0, 0, 1) != 0;

  std::optional<std::string> dir = EnvValue("KORVANE_PRINT_DIR");
  if (!dir) dir = RegistryValue("OutputDir");
  std::string path;
  if (dir) {
    path = kv::MapPath(kv::Utf8ToAnsi(*dir));
  }
  if (path.empty()) {
    path = std::string(KvHomeDirectory()) + "/print";
  }
  if (path.back() != '/') path += '/';
  c.outputDir = path;
  return c;
}

}  // namespace kv::print
