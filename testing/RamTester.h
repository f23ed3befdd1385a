// RAM test: every location of a static or dynamic RAM written with two
// complementary patterns and read back through the RAM-test logic image of
// its type, then a march of address patterns (over the whole of a static
// RAM, row by row within the refresh period of a dynamic one) for address
// decoder and coupling faults, then data backgrounds for faults between
// locations that one background hides and for faults within a word.
#pragma once
#include <cstdint>

struct RamTypeEntry {
    uint32_t LogicImage; // device-library entry of the RAM-test image
    uint8_t VccPin;      // socket pin switched to supply B
    uint8_t GndPin;      // socket pin switched to ground
    uint16_t Reserved;
    uint32_t Size;       // locations the test steps through: every one of the part
    uint32_t RowLength;  // locations per row step (DRAM modes): the part's columns
    uint32_t Mode;       // 0 DRAM by 1, 1 DRAM by 4, 2 SRAM by 8
};

constexpr int kRamTypeCount = 11;
extern const RamTypeEntry RamTypeTable[kRamTypeCount];
// The list items of the RAM test dialog, one per row.
extern const char* const RamTypeNames[kRamTypeCount];

// The address counter of the test loop.
extern uint32_t RamTestAddress;

// A row whose supply pin is also its ground pin would short the supply.
bool RamTypePowerable(const RamTypeEntry& e);
// The result of a row the tester refuses before any access (no such row, or
// one that cannot be powered): no part was tested, so none is called defective.
constexpr int kRamTestRefused = 97;
// 1 good, -1 defective, 3 user break, 97 refused, 98 socket empty,
// 99 no programmer.
int RunRamTest(int row);
void PowerUpRamTest(int row);
void PowerDownRamTest(int row);
// The log line of a result ("Good Memory!", ...) of list row `row` after
// its beep; nothing for an unknown result. A DRAM row's good result names
// what its row-by-row march cannot test.
void ReportRamTestResult(int result, int row = -1);
