// Flash 8051s that check their lock state at power-up and refuse to read or
// program a secured chip (protection level from the lock-level dialog):
// row 126 talks to the chip through command bytes latched by P2.6, its
// power-up reading the programming-voltage byte (55h: pulses at VCC level,
// AAh: at the programming voltage) and the lock status; row 199 selects each
// function by three mode lines on the 44-pin adapter, erases at VCC 6.2 V and
// verifies the erase at an EA/VPP of 12.5 V. Erase programs every byte to
// 00h, then pulses erase until the range reads blank.
#pragma once
#include <cstdint>

// Row 126: the bytes its last power-up read at 0032h (command 90h) and the
// lock status (command B0h, bits 1-3 = lock bits 1-3).
extern int ProgVoltageByte126;
extern int LockStatus126;
// Row 199: the lock bits of its last Identify (2, 6, 0Eh for one, two,
// three lock bits).
extern int LockStatus199;

void ResetLockGuarded8051State();
