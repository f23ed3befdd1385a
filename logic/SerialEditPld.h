// Electrically erasable PLDs worked through a serial edit mode with an
// identification code that chooses the edit voltages: a 6-bit row address
// and a row of fuse bits are clocked in on two pins, a timed strobe writes
// the row, and a row is read back in parallel on the output pins.
//
// Row 207: 16V8 type, row 208: 20V8 type; both address rows through a 4-bit
// command bus and work on the PAL-emulation device image (fuse f at
// ShadowFuseBase + f). Row 210: 20RA10 type, its row address latched from
// the serial pins; a secured part reads 0. Row 209: 22V10 type, addressed
// the same way, its strobe voltage and erase passes also chosen by the code.
// Row 240: 26V12 type, 12 outputs, identified within its one power-up.
// Row 241: 29M16 type on a 16-bit bus, rows latched from the bus, read
// back complemented; a secured part reads 0.
#pragma once
#include <cstdint>

// Module state of the last identification: the code read from the chip and
// the edit voltages (0.1 V) it chose for programming and for reading.
struct EditModeState {
    uint32_t ChipIdCode;
    uint32_t ProgramVpp;
    uint32_t ReadVpp;
};
extern EditModeState Edit207;
extern EditModeState Edit208;
extern EditModeState Edit210;
extern EditModeState Edit209;
extern EditModeState Edit240;
extern EditModeState Edit241;
