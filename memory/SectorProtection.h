// The sector protection routines of the flash rows whose Options entry is the
// sector protection dialog: per row its reader (the states of the n sectors
// starting at the layout row's boundaries) and writer (1 when the chip holds
// the requested set afterwards, else -1).
#pragma once
#include <cstdint>

using SectorReadFn = int (*)(uint32_t* states, uint32_t n, const uint32_t* boundaries);
using SectorWriteFn = int (*)(const uint32_t* states, uint32_t n, const uint32_t* boundaries);
struct SectorProtectionRoutines {
    SectorReadFn read = nullptr;
    SectorWriteFn write = nullptr;
};
// Both nullptr for a row without routines.
SectorProtectionRoutines SectorProtectionOf(uint32_t algorithm);

// The Options entry of these rows: shows the sector protection dialog; 1.
int Alg6Options();
using ShowSectorProtectionFn = void (*)();
extern ShowSectorProtectionFn ShowSectorProtectionHook;
