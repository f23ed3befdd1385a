// 8051 parts whose high address byte is latched into the chip from the low
// address lines: row 129 (fixed socket pins, a 28-pin part with security
// levels 2 and 3 and a signature), row 187 (a one-time 40-pin part on the
// pin driver) and row 197 (a one-time part on the 44-pin adapter, through the
// registers of its logic image); rows 187 and 197 protect the chip with one
// lock byte from the lock-level dialog. Row 173 (a 20-pin part with an
// internal address counter and an encryption table) shares the register bus,
// and so does row 104 (a 40-pin part taking mode codes, with a 16-byte
// encryption table and two security bits).
#pragma once
#include <cstdint>

int ProgramEncryptionTable173();

int ProgramEncryptionTable104();

// The lock byte of the lock-level dialog's level (0-2) on rows 187 and 197:
// its low two bits are 2, 1 or 0; `high` fills the other bits.
uint32_t LockLevelByte(int level, uint32_t high);
