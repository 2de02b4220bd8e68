// The registry writes the page asks for through its external object, all under
// HKEY_CURRENT_USER. Every failure is swallowed: the page is told nothing.
#pragma once

#include "framework/core/strings.h"

namespace korvane {

// Puts the URL's site into the trusted-sites zone: under the zone map's Domains key, the
// key named by everything after the first "://" (path included; the whole URL without
// one) gets the DWORD value "https" (when the URL holds "HTTPS" in any letter case) or
// "http" = 2.
void AddToTrustedSiteList(const AnsiString& URL);

// Writes Value as ident of the sub-key Section of the key RegPath: as a string, as a
// DWORD, or as an 8-byte double in REG_BINARY data.
void AddRegString(const AnsiString& RegPath, const AnsiString& Section, const AnsiString& Ident,
                  const AnsiString& Value);
void AddRegInteger(const AnsiString& RegPath, const AnsiString& Section, const AnsiString& Ident, int Value);
void AddRegFloat(const AnsiString& RegPath, const AnsiString& Section, const AnsiString& Ident, double Value);

}  // namespace korvane
