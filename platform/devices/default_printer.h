// The system default printer's port, from CUPS: the default destination's device
// URI gives the port name ("usb:" -> "USB", "parallel:/dev/lp0" or
// "parallel:/dev/parport0" -> "LPT1", "serial:/dev/ttyS0" -> "COM1"); any other URI,
// or a device that no port name leads back to, has no local port.
#pragma once

#include "platform/base/types.h"

extern "C" {

// Writes the port name and the printer's name (NUL-terminated; each buffer counted in
// characters) and returns TRUE. FALSE with the last error: ERROR_NOT_FOUND when there
// is no default printer or its URI names no local port, ERROR_INSUFFICIENT_BUFFER
// when a buffer is too small (nothing written then).
BOOL KvDefaultPrinterPortW(LPWSTR port, DWORD port_size, LPWSTR printer, DWORD printer_size);

// Maps a device URI to its port name ("" when it has none), as above; returns the
// length written without the terminator (needs at most 8 characters).
DWORD KvDevicePortOfUri(const char* uri, LPWSTR port, DWORD port_size);

// Test side: replaces the CUPS query by a fixed default printer (a null name: no
// default printer). KvDevicesUseCups goes back to asking CUPS.
void KvDevicesSetDefaultPrinterUri(const char* printer_name, const char* device_uri);
void KvDevicesUseCups(void);

}  // extern "C"
