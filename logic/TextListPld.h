// Electrically erasable PLDs whose word addresses and fuse-carrying bits come
// from a text list in the device library: row 253 (5.2 V part, erased cells
// read 1, programmed by PGM pulses at 11.0 V; 44-pin variants 0 and 1,
// 84-pin any of 0-2) and row 254 (3.3 V part, erased cells read 0,
// programmed by LE pulses at 7.5 or 8.6 V; 44-pin variants 0 and 1).
//
// A list is a header ("Version" "1.00" on row 253, "'00'" "value." on row
// 254) and then records of one address and its mask; "MASK <x> <mask>
// <x> <x> <address>" sets a new mask, a bare address keeps the last one
// (0 before the first). Mask and address tokens drop their last character
// (row 254 reads the address whole) and are hexadecimal; "NWL" in front of
// a row-254 record marks it. A record cut short by the end of the list is
// ignored. Fuse n is the n-th set mask bit in list order, bits 0-7.
#pragma once
#include <cstdint>
#include <vector>

struct ListRecord {
    uint32_t Address;
    uint8_t Mask;
    bool Marked; // row 254: "NWL" in front
};

// The records of library entry `entry` for the row (253 or 254), read with
// the engine's library reader; `headerFound` tells whether the header was.
std::vector<ListRecord> TextListRecords(uint32_t row, uint32_t entry, bool& headerFound);

// The library entry of the row's list for a variant; 0 when it has none.
uint32_t TextListEntry(uint32_t row, uint32_t variant);
