// Serial-address GAL family: electrically erasable PLDs whose rows are wide
// shift registers selected by a 6-bit row address shifted in on the same
// data line behind the row's bits (row 231: put on pins). Each row works
// directly on the user's fuse map in JEDEC numbering:
//   224 GAL22V10 type (132 x 44), 221 GAL18V10 (96 x 36), 222 GAL20RA10
//   (80 x 40), 226 GAL20XV10 (40 x 40), 227 GAL26CV12 (122 x 52),
//   234 low-voltage GAL22V10 with the extended electronic ID, and
//   231 a pin-addressed 20RA10 type without signature.
// Rows 224-227 program each row and read the previous one back while the
// next one is shifted in.
#pragma once
#include <cstdint>

// Module state, rewritten by every power-up of a signature row: the
// signature bytes (entry 1 voltage code, 2 type code, 3 maker code), the
// programming voltage (0.1 V) and pulse width (ms) the code selected.
extern int Gal22V10SignatureRecord[17];
extern uint32_t Gal22V10Vpp;
extern uint32_t Gal22V10PulseWidth;
