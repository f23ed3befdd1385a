// What an AT90S part holds after a flash range was programmed from a buffer
// byte: each byte of the range at its own address (the low byte of a word at
// the even one), blank bytes outside the range, the EEPROM from the buffer
// byte after the range's end.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>

#include "engine/Buffer.h"

template <class AvrPart>
void ExpectAvrRangeOnChip(const AvrPart& chip, uint32_t start, uint32_t end, uint32_t bufferStart) {
    for (uint32_t a = 0; a < chip.Part().flashBytes; ++a) {
        const uint8_t want = a >= start && a <= end ? ReadBufferByteCached(bufferStart + a - start) : 0xFF;
        ASSERT_EQ(chip.Cell(a), want) << "flash " << std::hex << a;
    }
    for (uint32_t a = 0; a < chip.Part().eepromBytes; ++a)
        ASSERT_EQ(chip.Eeprom(a), ReadBufferByteCached(end + 1 + a)) << "EEPROM " << a;
}
