// JEDEC command-set NOR flash and the memories written with plain write
// cycles, on the flash bus of their logic images (JedecFlash.cpp): rows 50
// and 51 (no commands), 6, 56 and 58 (byte and word flash, the flash-plus-SRAM
// module), 78, 87, 93, 72 and 46 (the sector-protected family). Their sector
// protection: JedecProtectRoutines.cpp, JedecProtectProcedures.cpp.
#pragma once
#include <cstdint>

// "Protection Override" of the protection dialogs: 12 V on ZIF pin 12 while
// row 78 programs and erases. Lasts for the run.
extern uint32_t ProtectOverride;

// Row 46's sector protection: the states (1 protected) of the n sectors
// starting at boundaries[i] << 12, and the writer of a new set (non-zero =
// protect; 1 when the chip holds it afterwards, else -1).
int ReadSectorProtection46(uint32_t* states, uint32_t n, const uint32_t* boundaries);
int WriteSectorProtection46(const uint32_t* states, uint32_t n, const uint32_t* boundaries);

// Row 93's sector protection, with A9 and /OE at 12 V (40-pin packages).
int ReadSectorProtection93(uint32_t* states, uint32_t n, const uint32_t* boundaries);
int WriteSectorProtection93(const uint32_t* states, uint32_t n, const uint32_t* boundaries);
// Row 6's, with A9 and /OE at 12 V and the unprotect method of the variant
// (and of the die the power-up reads for variant 14).
int ReadSectorProtection6(uint32_t* states, uint32_t n, const uint32_t* boundaries);
int WriteSectorProtection6(const uint32_t* states, uint32_t n, const uint32_t* boundaries);
// Row 78's, by command (40h at a sector); it cannot unprotect.
int ReadSectorProtection78(uint32_t* states, uint32_t n, const uint32_t* boundaries);
int WriteSectorProtection78(const uint32_t* states, uint32_t n, const uint32_t* boundaries);
// Row 72's, by the sub-variant's procedures (command, /OE-command, A9 and /OE,
// /CE, RESET# at the protection voltage) on the package's pins.
int ReadSectorProtection72(uint32_t* states, uint32_t n, const uint32_t* boundaries);
int WriteSectorProtection72(const uint32_t* states, uint32_t n, const uint32_t* boundaries);
