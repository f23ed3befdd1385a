// Rows 281, 282, 286, 313, 289 and 290: one-time fuse arrays of 64
// product-term rows whose every fuse is addressed through socket pins. Rows
// 281, 282, 286 and 313 put the row and column on pins as logic levels or
// three-level codes (the third level the programming supply), read a cell
// with a clock and blow it with VCC raised to the pulse level; rows 289
// and 290 address by ground switches and blow with a strobe.
#pragma once
#include <cstdint>

// The three-level digits (0 low, 1 high, 2 supply A) of a column on row 281's
// four column pins, and of a value in base 3 over `pins` pins (most
// significant digit first), into digits[0..].
void PinAddressedColumnCode281(int column, int digits[4]);
void PinAddressedBase3(int value, int pins, int* digits);
// The ground switches (bit i: pin i of the list grounded) of a row or column.
uint32_t PinAddressedGroundCode(uint32_t value, int pins);
