// Row 211: an electrically erasable PLD of 44 inputs and 140 product terms
// (fuse = term x 44 + input, 6160 array fuses) with four special rows (fuses
// 6160-6503), written and read as 20-bit words through a 3-bit command bus,
// a 6-bit row address, a 3-bit sub-block index and a strobe. The part sits
// in one of two adapters (codes 24 and 82), which place the pins.
#pragma once
#include <cstdint>

// The adapters the module has pin roles for; with any other code every entry
// returns -1 before anything is powered (and the librarian refuses the record).
constexpr bool WordPldAdapterSupported(uint32_t adapterCode) { return adapterCode == 24 || adapterCode == 82; }

// The pin roles of an adapter, nullptr for a code the module has none for.
struct WordPldPins {
    uint8_t AdapterCode;
    int Strobe, Edit;
    int Command[3];
    int Row[6];
    int SubBlock[3];
    int Data[20];
};
const WordPldPins* WordPldPinsFor(uint32_t adapterCode);

// Module state: the word being built for programming.
extern uint32_t WordPldBuilt;
