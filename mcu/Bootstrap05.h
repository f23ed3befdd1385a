// 68HC705-type microcontrollers programmed through a chip-side program that
// each entry clocks into the part's RAM from the device library at power-up
// (the bootstrap download); the loaded program then takes addresses and data
// over a byte handshake on the device's logic image and burns or reads the
// cells itself.
#pragma once
#include <cstdint>
#include <vector>


// Every chip-side program entry the rows' tables name (0 where a table has
// none for an operation), by row and variant, with the bytes the row sends.
struct Boot05EntryUse {
    uint32_t row, variant, mode, entry, count;
};
std::vector<Boot05EntryUse> Bootstrap05LibraryEntries();
