// Device-interface enumeration (the part of the device-setup API that finds USB
// printers) and the USB printing class driver's I/O controls.
//
// The set of printer interfaces comes from the simulated USB bus when it is on
// (usbprint.h), otherwise from the USB printers the kernel's printer-class driver
// shows as /dev/usb/lp*. Each interface's path has the form
// "\\?\usb#vid_VVVV&pid_PPPP#INSTANCE#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
// CreateFileW opens it as a device whose DeviceIoControl answers the two controls.
#pragma once

#include "platform/base/types.h"

extern "C" {

typedef void* HDEVINFO;

#define DIGCF_DEFAULT 0x00000001
#define DIGCF_PRESENT 0x00000002
#define DIGCF_ALLCLASSES 0x00000004
#define DIGCF_PROFILE 0x00000008
#define DIGCF_DEVICEINTERFACE 0x00000010

#define ERROR_INVALID_USER_BUFFER 1784L

// The USB printer device-interface class.
static const GUID GUID_DEVINTERFACE_USBPRINT = {
    0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};

// I/O controls of the USB printing class driver.
#define IOCTL_USBPRINT_GET_LPT_STATUS 0x220030
#define IOCTL_USBPRINT_GET_1284_ID 0x220034

typedef struct _SP_DEVINFO_DATA {
  DWORD cbSize;
  GUID ClassGuid;
  DWORD DevInst;
  ULONG_PTR Reserved;
} SP_DEVINFO_DATA, *PSP_DEVINFO_DATA;

typedef struct _SP_DEVICE_INTERFACE_DATA {
  DWORD cbSize;
  GUID InterfaceClassGuid;
  DWORD Flags;
  ULONG_PTR Reserved;
} SP_DEVICE_INTERFACE_DATA, *PSP_DEVICE_INTERFACE_DATA;

// cbSize must be sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W); the path follows in the
// caller's buffer.
typedef struct _SP_DEVICE_INTERFACE_DETAIL_DATA_W {
  DWORD cbSize;
  WCHAR DevicePath[1];
} SP_DEVICE_INTERFACE_DETAIL_DATA_W, *PSP_DEVICE_INTERFACE_DETAIL_DATA_W;

#define SPINT_ACTIVE 0x00000001

// Only the USB printer interface class with DIGCF_DEVICEINTERFACE is known; any other
// class gives an empty set. INVALID_HANDLE_VALUE on failure.
HDEVINFO SetupDiGetClassDevsW(const GUID* class_guid, LPCWSTR enumerator, HWND parent, DWORD flags);
// FALSE with ERROR_NO_MORE_ITEMS past the last interface.
BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA device, const GUID* guid, DWORD index,
                                 PSP_DEVICE_INTERFACE_DATA data);
// Sizing call: no detail buffer (size 0) gives FALSE, ERROR_INSUFFICIENT_BUFFER and the
// required size.
BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detail_size,
                                      DWORD* required_size, PSP_DEVINFO_DATA device);
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set);

}  // extern "C"
