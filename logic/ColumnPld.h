// Rows 283 and 284: serial PLDs programmed a column at a time through the
// column bus image. A column's data bits and its Gray-coded column address
// are clocked into one chain through register 1, register 2 loads a column
// for reading, register 4 gates the supply, programming voltage and pulse,
// and register 9 bit 0 is the data output. Which fuse each (column, bit)
// cell holds comes from a fuse-number map in the device library (entry 207
// for row 283, 209 for row 284): one little-endian word per cell, a word at
// or above the row's no-fuse limit naming no fuse.
#pragma once

void InstallColumnPldRows();
