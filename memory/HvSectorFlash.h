// Byte-wide flash protected sector by sector with high voltage (rows 20, 22,
// 23, 24, 27) or in-system with RESET# at VID (row 29), on the flash bus.
#pragma once
#include <cstdint>

#include "memory/SectorProtection.h"

// The sector protection reader and writer of these rows (both nullptr for
// another row).
SectorProtectionRoutines HvSectorProtectionOf(uint32_t algorithm);
