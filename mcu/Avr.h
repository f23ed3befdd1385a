// AVR microcontrollers of the AT90S kind: rows 117 and 125 in the parallel
// programming mode on the pin driver (one set of parallel primitives over a
// per-row table), row 119 in the serial modes (flash and EEPROM over the
// SPI-style interface, signature, lock and fuse bits over the high-voltage
// one). The buffer holds the flash as bytes DeviceStart..DeviceEnd (word n:
// bytes 2n low, 2n+1 high) and the EEPROM from byte DeviceEnd + 1.
#pragma once
#include <cstdint>

#include "mcu/McuFrame.h"

// The EEPROM sizes of rows 117 and 125 by sub-variant.
constexpr uint32_t AvrEepromSizeCount = 4;

// The fuse dialog's choices; a fuse value is the bit as stored (0
// programmed, 1 erased), a lock mode 0 programs lock bit 1 (FDh), 1 lock
// bits 1 and 2 (F9h). Rows 117 and 119:
extern int AvrFuseSpien;
extern int AvrFuseFstr; // FSTR, or RCEN
extern int AvrLockMode;
// Row 125: SPIEN, BODLEVEL, BODEN, CKSEL2, CKSEL1, CKSEL0.
constexpr int AvrFuse125Count = 6;
extern int AvrFuses125[AvrFuse125Count];
extern int AvrLockMode125;
// The result of the dialog's last program button; the Options entries return it.
extern int AvrFuseResult;

// What the last Identify of a row read: the three signature bytes, and the
// fuse and lock bits (rows 117 and 119 one byte, row 125 the fuse byte low
// and the lock byte high).
const uint8_t* AvrSignature(uint32_t row);
uint32_t AvrLockFuseByte(uint32_t row);

// The dialog's chip routines: read the fuses into the dialog variables;
// program them from the variables (1, or -1 when the write or its read-back
// fails).
void ReadAvrFuses117();
void ReadAvrFuses119();
void ReadAvrFuses125();
int WriteAvrFuses117();
int WriteAvrFuses119();
int WriteAvrFuses125();

void InstallAvrDialogLauncher(OptionDialogLauncher launcher);
void ResetAvrState();
