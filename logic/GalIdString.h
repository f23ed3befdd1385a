// GAL-type PLDs that identify themselves by a text in their identification
// row (address 58), read one bit per clock: 16V8 types (rows 228, 243) and a
// 20V8 type (row 229) with a parallel row address, working on the device
// image at fuse 10000 with PAL emulation, and 22V10 types (rows 230, 247)
// whose row address is shifted in with the data. The text chooses the pulse
// widths on rows 243, 230 and 247.
#pragma once
#include <cstdint>

// Pulse widths chosen by the last identification: ms on row 243, us on
// rows 230 and 247; the architecture clear of row 243 in ms.
extern uint32_t ProgramPulseWidth;
extern uint32_t ErasePulseWidth;
extern uint32_t ClearPulseWidth;

// Larger PLDs with a 12-byte identification text: the 1500 type (row 242,
// 8-bit row address on pins, 177-bit rows) and the V750 type (row 248, the
// row address shifted in behind the data, 171-bit rows, a security check
// before anything but an erase).

void InstallGalIdStringRows();
