// Readable English texts for moniker status codes, HTTP codes and result codes, and the
// time and size texts of the download engine.
#pragma once

#include "framework/core/sysutils.h"
#include "platform/base/types.h"

// The fixed text of a bind status, HTTP status, internet security code or result code;
// any other code gives "Unknown Response: " + the code in decimal + " " + the system text.
AnsiString BindStatusText(DWORD code);
// The text of an OnDataAvailable flag value (1, 2, 4, 8, 16); others go to BindStatusText.
AnsiString DataFlagText(DWORD flags);
// "hh:mm:ss" with two digits each; the hour part wraps at 60.
AnsiString SecondsToText(int64_t seconds);
// "1,234.00 b", "1.00 Kb", "1.00 Mb"; empty for 0 or less (and for NaN).
AnsiString FormatSize(double bytes);
