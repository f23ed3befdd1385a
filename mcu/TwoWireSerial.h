// Microcontrollers programmed over a two-wire serial link (rows 156 and
// 157): a data and a clock pin, the programming voltage on the part's
// programming pin and a third pin held low while the supply comes up. Row 156
// takes its pins from the device's variant, row 157 from its package's pin
// count.
#pragma once
#include <cstdint>
#include <string>

// Empty, or why a record of `row` with that variant (row 156) or package
// pin count (row 157) is refused.
std::string TwoWireSerialRecordRefusal(uint32_t row, uint32_t variant, uint32_t pinCount);
