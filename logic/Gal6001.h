// GAL6001/6002-type FPLAs (row 225): every row is one 119-bit serial chain
// that carries data, control bits and the row address together; a fuse
// mapper turns (row, chain bit, row group) into JEDEC fuse numbers. The
// signature row names the voltage code that sets the programming voltage,
// the read edit voltage and the pulse and erase times.
#pragma once
#include <cstdint>

// Module state of the last power-up: the 75 signature bits a byte an entry
// (0 erase count, 1 voltage code, 2 type code, 3 maker code, 4-6 the timing
// fields of voltage code 5), and the timing the code chose.
struct Gal6001State {
    int Signature[15];
    uint32_t ProgramTenths, ReadEditTenths;
    uint32_t PulseUs, EraseUs, ReadStrobeUs;
};
extern Gal6001State Gal225;
