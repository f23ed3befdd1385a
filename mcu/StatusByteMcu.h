// A microcontroller programmed over sixteen direct address pins and eight
// data pins of the pin driver, with three mode pins selecting the code array
// or a status byte at C6h whose bit 0 locks the chip (row 127): read,
// program, erase (status byte, then a fill pass) and secure.
#pragma once

void InstallStatusByteMcuRows();
