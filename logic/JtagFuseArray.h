// JTAG fuse-array PLD family with a parked TAP: electrically erasable PLDs
// with a row-and-column fuse array behind a TAP with a 5-bit instruction
// register, driven on socket pins by the module itself. Between steps the TAP
// waits in Shift-IR, so an instruction is shifted in directly and every step
// ends back in Shift-IR. Row 293 (102 rows of 80 cells, geometry by variant)
// and row 294 (the 22V10-type map: 44 rows of 132 cells and two extra rows).
#pragma once
#include <cstdint>

// Per variant of row 293: rows, bits per data shift, power-down selector
// (0: instruction 15h, 1: 1Eh), data shifts per row, IDCODE.
constexpr int SignatureGeometryCount = 3;
extern const int32_t SignatureGeometryTable[SignatureGeometryCount][5];

struct JtagFuseArrayState {
    int Tms, Tck, Tdi, Tdo;
    int Low[2]; // pins held low, 0 none
    int Rows, Bits, Selector, Shifts;
    uint32_t Idcode;
};
extern JtagFuseArrayState Alg293State, Alg294State;
