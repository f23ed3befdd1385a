// EPM-type EEPROM CPLDs over a row shift interface (row 295): a row address
// on parallel pins, 80 bits of the row shifted in or out on one data pin per
// logic block, one timed strobe programming the row in every block. The
// module keeps a device image of all rows at fuse 100000 of the buffer and
// converts it to and from the user map through the variant's map. Variants
// 0-3: 2, 4, 6 and 8 logic blocks.
#pragma once
#include <cstdint>

// Geometry and the identification row's parameters, set again by every
// power-up and identification.
extern int EpmBlockCount;
extern int EpmExtraRowCount;
extern int EpmField1;
extern int EpmPulseIndex;
extern int EpmVppIndex;
extern int EpmField4;

// Pulse widths (ms) and programming voltages (0.1 V) the identification row
// selects.
extern const int EpmPulseWidthTable[32];
extern const int EpmVppTable[8];

// The run of 1 bits from bit 0 of the low n bits of `bits` (n when all are 1).
int CountLowOneBits(uint32_t bits, int n);
// All n low bits set but bit v (all set when v >= n).
uint32_t MakeClearMask(int v, int n);

// The adapter/variant combinations the pin map assigns.
bool EpmPinMapAssigned(uint32_t adapter, uint32_t variant);
