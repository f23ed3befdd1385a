// The sector protection routines of the flash rows whose Options entry is the
// sector protection dialog: per row its reader (the states of the n sectors
// starting at the layout row's boundaries) and writer (1 when the chip holds
// the requested set afterwards, else -1).
#pragma once
#include <cstdint>
#include <vector>

#include "memory/SectorLayout.h"

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

// The sectors the sector protection dialog lists for the current device (its
// layout row's sectors; row 42's one-boot-sector parts: that sector only),
// and their states as the row's reader gives them (1 protected). Both empty
// for a row without a reader or a layout past the table.
struct SectorStates {
    std::vector<SectorSpan> sectors;
    std::vector<uint32_t> states;
};
std::vector<SectorSpan> ProtectionSectors(uint32_t algorithm);
SectorStates ReadSectorStates(uint32_t algorithm);

// After an erase that passed: the chip skips protected sectors, so each
// sector the row's reader finds protected gets a line naming it; the erase's
// result is kept as it is.
int ReportProtectedSectorsLeft(int eraseResult);
template <int (*Erase)()> int EraseNamingProtectedSectors() { return ReportProtectedSectorsLeft(Erase()); }
