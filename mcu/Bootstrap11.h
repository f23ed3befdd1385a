// 68HC711-type microcontrollers programmed through their bootstrap mode: each
// entry powers the part with its mode pins at their bootstrap levels, sends
// FFh and a chip-side program from the device library into its RAM, and that
// program takes the data bytes in ascending address order and burns them, or
// streams the memory back.
#pragma once
#include <cstdint>
#include <vector>


// Every chip-side program entry the device table names (0 where it has none
// for an operation), by variant and mode, with the bytes the row sends.
struct Boot11EntryUse {
    uint32_t variant, mode, entry, count;
};
std::vector<Boot11EntryUse> Bootstrap11LibraryEntries();
