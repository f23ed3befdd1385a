// Datasheet facts of the RAMs the simulator can seat for the RAM test, by
// the type name the test's list uses (4164, 41256, ..., 610000).
#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace sim {

// Chip-select inputs beyond /CS that the RAM-test image raises for a part:
// the 24-pin SRAM's select line, CS2 of the 28-pin and of the 32-pin SRAM.
enum class RamSelect : uint8_t { None, Select24, Cs2Of28, Cs2Of32 };

struct RamPartFacts {
    const char* name;
    int pinCount;      // DIP
    int vccPin;        // chip pins
    int vssPin;
    uint32_t words;    // locations
    int width;         // bits per location: 1, 4 or 8
    uint32_t rowWords; // locations of one row
    RamSelect select;
    int vccMinTenths;  // supply window
    int vccMaxTenths;
    // Refresh period of a dynamic RAM (every row cycled within it), 0 for a
    // static RAM: a row left longer loses its data.
    uint32_t refreshMs = 0;
};

// The RAMs are in the catalog, makerless, by the type name of the RAM test's
// list: FindFacts<RamPartFacts>("61256").

} // namespace sim
