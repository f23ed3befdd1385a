// Rows 42 and 73: byte-wide page flash taking JEDEC command cycles at
// 5555h/2AAAh (doubled for a 16-bit part in byte mode), each page played
// from the image's queue and its end read in a status byte (bit 7 ready,
// bit 4 program error); and the sector protection routines the sector
// protection dialog calls (row 42 the boot sectors, row 73 every sector).
#pragma once
#include <cstdint>

// Row 42: one state (82h-85h) or two (bottom, top); 1.
int ReadSectorProtection42(uint32_t* states, uint32_t n, const uint32_t* starts);
// Protects or unprotects the boot sectors by their states; 1 when the chip
// reads back the requested states, else -1.
int WriteSectorProtection42(const uint32_t* states, uint32_t n, const uint32_t* starts);
// Row 73: one state per sector at starts[i] (4 KB units); 1.
int ReadSectorProtection73(uint32_t* states, uint32_t n, const uint32_t* starts);
// Unprotects every sector, then protects those with state 1; 1 or -1.
int WriteSectorProtection73(const uint32_t* states, uint32_t n, const uint32_t* starts);
