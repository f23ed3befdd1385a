// Start-up state for the buffer and services tests: the data-file fixture's
// recording UI and private directory, and byte access through the window.
#pragma once
#include "tests/engine/HexFilesFixture.h"

class BufferFixture : public DataFileTest {
protected:
    // Writes a byte at a buffer address through the window, as the editors do.
    static void Poke(uint32_t address, uint8_t value) {
        ASSERT_EQ(SelectBank(address, 1), 1);
        BufferWindow[address & 0xFFFF] = value;
    }
    static uint8_t Peek(uint32_t address) {
        EXPECT_EQ(SelectBank(address, 0), 1);
        return BufferWindow[address & 0xFFFF];
    }
};
