// Parallel-port register access (what the port-I/O library WinIo.dll is built on)
// and the simulated IEEE 1284 peripheral that tests script.
//
// Ports are addressed by I/O address: the three register blocks 0x378, 0x278 and
// 0x3BC (data, status, control at +0, +1, +2) are the parallel ports 1, 2 and 3.
// Real side: the ports are /dev/parport0, 1, 2 through ppdev (claimed on first use,
// released at shutdown); the control register's direction bit becomes PPDATADIR.
// Simulated side (KvParportSimEnable): one peripheral model on a chosen port; the
// other addresses read 0xFF.
#pragma once

#include "platform/base/types.h"

#ifndef ERROR_NOT_READY
#define ERROR_NOT_READY 21L
#endif

extern "C" {

// Prepares register access; FALSE with the last error when no port can be reached
// (real side: no /dev/parport* that can be opened).
BOOL KvPortIoInitialize(void);
// Releases every claimed port. Access after it fails until the next initialisation.
void KvPortIoShutdown(void);
// 1, 2 or 4 bytes at consecutive addresses (little-endian); FALSE with the last error
// for another size, an address outside the three blocks or a failing device.
BOOL KvPortIoRead(WORD port, DWORD* value, BYTE size);
BOOL KvPortIoWrite(WORD port, DWORD value, BYTE size);

// --- Simulated peripheral.
#define KV_PPSIM_NORMAL 0
#define KV_PPSIM_REFUSE 1     // rejects every requested mode through XFlag
#define KV_PPSIM_SILENT 2     // never answers: no peripheral on the port
#define KV_PPSIM_DROP_OUT 3   // stops answering after `argument` bytes (either direction)
#define KV_PPSIM_NO_DATA 4    // accepts the mode but has no reverse data
#define KV_PPSIM_IDLE_DATA 5  // accepts the mode, then announces its data from reverse idle

// TRUE: register access and the "LPTn" device files go to the simulation.
void KvParportSimEnable(BOOL on);
// Back to a normal peripheral on port 1 with no device ID, counters at 0.
void KvParportSimReset(void);
// The port (1..3) the peripheral is attached to, or 0 for none: then no "LPTn" device
// file can be opened.
void KvParportSimSetPort(int port_number);
void KvParportSimSetBehaviour(DWORD behaviour, DWORD argument);
// What the peripheral sends for a device-ID request (2-byte length included), and for
// a plain reverse-channel request.
void KvParportSimSetDeviceId(const BYTE* bytes, DWORD size);
void KvParportSimSetReverseData(const BYTE* bytes, DWORD size);
// Counters since the reset: status-register reads (the host's polls), register
// accesses of any kind, negotiations and terminations the peripheral saw.
DWORD KvParportSimStatusReads(void);
DWORD KvParportSimAccessCount(void);
DWORD KvParportSimNegotiations(void);
DWORD KvParportSimTerminations(void);
// The last extensibility request byte, or -1 before any negotiation.
int KvParportSimLastRequest(void);
// The last value written to the control register.
BYTE KvParportSimControlRegister(void);
// TRUE between a successful KvPortIoInitialize and KvPortIoShutdown.
BOOL KvParportSimInitialized(void);
// Bytes the peripheral took in compatibility mode; returns their number, copying at
// most `size` of them.
DWORD KvParportSimReceived(BYTE* buffer, DWORD size);

}  // extern "C"
