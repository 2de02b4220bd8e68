// The simulated USB printer bus (the test-facing side of the USB printer devices).
//
// While the simulated bus is on, the interface enumeration of setupapi.h lists its
// printers in the order they were added, and CreateFileW on their paths opens them.
// A printer answers IOCTL_USBPRINT_GET_1284_ID with its configured device-ID bytes
// (taken as they are: the 2-byte length is part of them) and
// IOCTL_USBPRINT_GET_LPT_STATUS with its status, unless a failure is configured.
#pragma once

#include "platform/base/types.h"

extern "C" {

// Failures a simulated printer can be given (flags).
#define KV_USBSIM_OPEN_FAILS 0x0001    // CreateFileW fails with ERROR_ACCESS_DENIED
#define KV_USBSIM_IOCTL_FAILS 0x0002   // both I/O controls fail with ERROR_GEN_FAILURE
#define KV_USBSIM_IOCTL_PENDS 0x0004   // I/O controls stay pending until completed or cancelled
#define KV_USBSIM_SHORT_STATUS 0x0008  // the status control returns 1 byte
#define KV_USBSIM_READ_PENDS 0x0010    // reads stay pending until completed or cancelled

// Switches between the simulated bus (TRUE) and the real /dev/usb/lp* devices.
void KvUsbSimEnable(BOOL on);
// Removes every simulated printer and clears the bus failure.
void KvUsbSimClear(void);
// Adds a printer; returns its index (0, 1, ...). The path's instance part is "simN".
int KvUsbSimAddPrinter(WORD vendor_id, WORD product_id, const BYTE* device_id, DWORD device_id_size);
void KvUsbSimSetFailures(int index, DWORD failures);
void KvUsbSimSetStatus(int index, WORD status);
// Makes the interface enumeration itself fail (SetupDiGetClassDevsW).
void KvUsbSimSetEnumerationFails(BOOL fails);
// Successful opens so far, handles open now, and CancelIo calls that hit a pending
// operation, of one printer.
DWORD KvUsbSimOpenCount(int index);
DWORD KvUsbSimOpenHandles(int index);
DWORD KvUsbSimCancelCount(int index);
// Completes the printer's oldest pending I/O control or read as if the printer answered
// late (a read brings no data); FALSE when none is pending.
BOOL KvUsbSimCompletePending(int index);

}  // extern "C"
