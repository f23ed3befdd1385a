// Register-driven block CPLDs: fuse arrays of two, four or eight logic blocks
// written and read in parallel, one data bit per block, through the registers
// of the block CPLD bus image:
//   register 0  command, held through a pulse: 0 none, 1 erase, 2 program, 3 secure
//   register 1  clocks: 1 the data registers, 2 the row register (then 0)
//   register 2  row-register input in bit 0, bit 2 held 1 while powered
//   register 3  1 while a row is shifted out
//   register 4  3 set-up and read, 1 ready, 5 pulse on, 2 off
//   data register (6 or 9): bit b in or out of block b
// Rows are selected through a one-hot row register (or, on one member, a
// 6-bit row address) and always visited in ascending order; one row of every
// block is shifted in per program pulse, and shifted out in the reverse order.
// Rows 260, 212, 213, 214, 215, 216, 217 and 261 share the engine; each
// member's table gives its geometry, cell layout, passes and supplies.
#pragma once
#include <cstdint>

struct RegisterBlockCpld {
    uint32_t Row;
    int Blocks;
    uint32_t BlockFuses; // block b starts at fuse b * BlockFuses
    int DataRegister;
    int Clocks;       // data clocks per row
    int RowStages;    // one-hot row register stages; 0: a 6-bit row address
    int ArrayRows;    // array rows 0 .. ArrayRows - 1
    int FirstSpecial; // special rows FirstSpecial .. LastSpecial
    int LastSpecial;
    int ERow;                    // the E row (after the special rows), -1 none
    const int8_t* ProgramClocks; // program clock of special cell k
    int SpecialCells;
    // Block-relative fuse of an array cell at program clock j, -1 none.
    int32_t (*ArrayFuse)(int row, int clock);
    // Block-relative fuse of special cell k (program order) of a row, -1 none.
    int32_t (*SpecialFuse)(int row, int k);
    // Fuse of E cell k (program order) of a block.
    int32_t (*EFuse)(int block, int k);
    // The pass before the rows of every program run.
    enum class PrePass { SelectAllThenOnes, ZerosThenNoRow, ZerosThenAddress, ClocksThenNoRow };
    PrePass Pre;
    int PreRowClocks; // row clocks, or the row address
    int PreDataClocks;
    int PreMs;
    int EraseRowClocks;      // ones shifted into the row register; 0 selects none
    bool SecureKeepsCommand; // command 3 stays in register 0 through the power-down
    int ProgramSupply;       // 0.1 V
    int VppChannel;
    int VppPin;
    int VppPinR; // the pin with adapter 'R', 0: as VppPin
};

extern const RegisterBlockCpld BlockCpld260, BlockCpld212, BlockCpld213, BlockCpld214, BlockCpld215,
    BlockCpld216, BlockCpld217, BlockCpld261;
