#include "shell/host_registry.h"

#include "framework/core/registry.h"
#include "framework/core/sysutils.h"

namespace korvane {
namespace {

constexpr const char* kZoneDomains =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap\\Domains";
constexpr int kTrustedSitesZone = 2;

template <class Write>
void WriteSwallowingErrors(Write&& write) {
  try {
    write();
  } catch (...) {
  }
}

}  // namespace

void AddToTrustedSiteList(const AnsiString& URL) {
  WriteSwallowingErrors([&] {
    const AnsiString scheme = AnsiPos("HTTPS", AnsiUpperCase(URL)) > 0 ? "https" : "http";
    const size_t separator = URL.find("://");
    const AnsiString site = separator == AnsiString::npos ? URL : URL.substr(separator + 3);
    TRegistry registry;
    registry.SetRootKey(HKEY_CURRENT_USER);
    if (registry.OpenKey(AnsiString(kZoneDomains) + "\\" + site, true))
      registry.WriteInteger(scheme, kTrustedSitesZone);
  });
}

void AddRegString(const AnsiString& RegPath, const AnsiString& Section, const AnsiString& Ident,
                  const AnsiString& Value) {
  WriteSwallowingErrors([&] { TRegistryIniFile(RegPath).WriteString(Section, Ident, Value); });
}

void AddRegInteger(const AnsiString& RegPath, const AnsiString& Section, const AnsiString& Ident, int Value) {
  WriteSwallowingErrors([&] { TRegistryIniFile(RegPath).WriteInteger(Section, Ident, Value); });
}

void AddRegFloat(const AnsiString& RegPath, const AnsiString& Section, const AnsiString& Ident, double Value) {
  WriteSwallowingErrors([&] { TRegistryIniFile(RegPath).WriteFloat(Section, Ident, Value); });
}

}  // namespace korvane
