// Fuse layouts of the block CPLDs: which fuse a cell of a row holds in each
// block, by program clock (the order in which a row's bits are shifted in).
// The register-driven rows and their in-system versions share one layout
// per chip: 260 and 264 (two blocks), 261 and 265 (four blocks); 218 and
// 266 (eight blocks) agree but for the order of their four extra cells.
#pragma once
#include <cstdint>

struct BlockCpldLayout {
    int Blocks;
    int Clocks;          // program clocks per block and row
    uint32_t BlockFuses; // fuses of one block; block b starts at b * BlockFuses
    int ArrayRows;       // rows 0 .. ArrayRows - 1
    int ERow;            // special rows ArrayRows .. ERow - 1, then the E row
    const int8_t* SpecialClocks; // program clocks of the 16 special cells
    // Block-relative fuse of an array cell, -1 where the clock holds none.
    int32_t (*ArrayFuse)(int row, int clock);
    // Block-relative fuse of special cell k (0-15) of a special row, -1 none.
    int32_t (*SpecialFuse)(int row, int k);
    // Fuse of E cell k (0-15, program order) of a block; none on eight blocks.
    int32_t (*EFuse)(int block, int k);
    // Program clocks at which a read delivers the special cells; nullptr:
    // the program clocks.
    const int8_t* SpecialReadClocks;
    // Clock-0 cells of rows 69, 73, 75 and 77: block-relative fuses, nullptr none.
    const int16_t* ExtraCells;
};

constexpr int SpecialCellClockCount = 16;
extern const int8_t SpecialCellClockTable[SpecialCellClockCount];     // two-block chip
extern const int8_t SpecialCellClockTable261[SpecialCellClockCount];  // four-block chip
extern const BlockCpldLayout BlockCpldLayout260;
extern const BlockCpldLayout BlockCpldLayout261;
extern const int8_t SpecialCellClockTable218[SpecialCellClockCount];
extern const int8_t SpecialCellReadClockTable[SpecialCellClockCount];
extern const BlockCpldLayout BlockCpldLayout218;
extern const BlockCpldLayout BlockCpldLayout266;
// The row of each extra cell, in the order a walk reaches them.
constexpr int ExtraCellRows[4] = {69, 73, 75, 77};
