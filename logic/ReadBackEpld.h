// Byte-addressed EPLDs that read every programmed byte back: rows 204, 205
// and 206. Four mode lines, an 8-bit address (7 bits and an array half on
// row 206), a bias pin held at 14.7 V, one 10 ms logic pulse per byte
// followed at once by a read and a compare (no retry), and bytes whose
// program value is FFh left untouched.
//
// Row 204: 14088 fuses, 24-pin. Row 205: 8488 fuses, 28-pin. Row 206: 22103
// fuses in a 40- or a 44-pin package (pins chosen from the package's pin
// count; any other package is refused before power-up).
#pragma once
#include <cstdint>
#include <vector>

#include "logic/ByteEpld.h"

// Every byte of the row's walk in walk order, its select code in Select
// (row 206: select | half << 4) and its address in Bus; empty for another row.
std::vector<CellByte> ReadBackEpldWalk(uint32_t row);
