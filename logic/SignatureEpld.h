// UV-erasable EPLDs that identify themselves by an 11-byte signature (eight
// text characters and three part bytes) and move their fuse array a byte at
// a time at a cell address (A on the address pins, C on the column pins).
// Rows 255 (6482 fuses), 256 (17402) and 257 (42490) share one design; a
// row table gives the pins, levels, signatures and cell maps. No erase
// entry: the parts are erased by UV light.
#pragma once
#include <cstdint>

// Module state, set again by every identification and power-up.
extern int EpldSubType;
extern int EpldStrobeLevel;
extern int EpldVppLevel;
extern int EpldCompareMask;
extern const int EpldPulseLimit;
extern const int EpldOverProgramFactor;

// Row 256's and 257's fuse of bit k of a cell of kind (fuse = entry + the
// cell's index; 999 = no fuse), and the special rows of the sub-types that
// address them by table.
extern const uint16_t EpldCellBitTable256[10][8];
extern const uint16_t EpldCellBitTable257[12][8];
extern const uint8_t EpldSpecialRowTable[2][5];
