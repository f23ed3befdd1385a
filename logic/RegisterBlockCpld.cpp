#include "logic/RegisterBlockCpld.h"

#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "logic/BlockCpldLayout.h"
#include "logic/FuseCells.h"

namespace {

using Member = RegisterBlockCpld;

// Module state, valid for one slot call.
int SpecialCounter = 0; // special or E cells of the current row taken so far
int VppPin = 0;

uint32_t BlockMask(const Member& m) {
    return (1u << m.Blocks) - 1u;
}

void Clock(int value) {
    WriteRegister(1, static_cast<uint32_t>(value));
    WriteRegister(1, 0);
}
void DataClocks(int n) {
    for (int i = 0; i < n; ++i)
        Clock(1);
}
void RowClocks(int n) {
    for (int i = 0; i < n; ++i)
        Clock(2);
}

void PowerUp(const Member& m, int mode) {
    SecureCheckValue = 0;
    VppPin = m.VppPinR != 0 && AdapterCode == 'R' ? m.VppPinR : m.VppPin;
    if (mode == 1) {
        SupplyVoltage = static_cast<uint32_t>(m.ProgramSupply);
        Vccp = static_cast<uint32_t>(m.ProgramSupply);
    } else {
        SupplyVoltage = ReadVccInUse;
    }
    const int supply = static_cast<int>(SupplyVoltage);
    SetVccRange(0, supply);
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    WriteRegister(4, 3);
    SetDevicePower(1, supply);
    DelayMsSlot(1);
    ApplyVoltageToPin(m.VppChannel, VppPin, 1, 92);
    WriteRegister(2, 4);
    DelayShortUsSlot(10);
    WriteRegister(4, 1);
}

void PowerDown(const Member& m) {
    WriteRegister(4, 3);
    WriteRegister(2, 0);
    ApplyVoltageToPin(m.VppChannel, VppPin, 0, 50);
    DelayShortUsSlot(100);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    WriteRegister(4, 2);
}

void Pulse(uint32_t ms) {
    WriteRegister(4, 5);
    DelayMsSlot(ms);
    WriteRegister(4, 1);
}

void CommandPulse(int command, uint32_t ms) {
    WriteRegister(0, static_cast<uint32_t>(command));
    Pulse(ms);
    WriteRegister(0, 0);
}

// Shifts `count` ones into the row register (every stage reached selected).
void SelectRows(int count) {
    WriteRegister(2, 5);
    RowClocks(count);
    WriteRegister(2, 4);
}

// A 6-bit row address, bit 0 first.
void SendRowAddress(int address) {
    for (int i = 0; i < 6; ++i) {
        const bool one = ((address >> i) & 1) != 0;
        if (one) WriteRegister(2, 5);
        Clock(2);
        if (one) WriteRegister(2, 4);
    }
}

// Row 0 of a one-hot register: a single 1 shifted last; every other row is
// the next one, a clock further.
void SelectRow(const Member& m, int row) {
    if (m.RowStages == 0) {
        SendRowAddress(row);
        return;
    }
    if (row != 0) {
        Clock(2);
        return;
    }
    RowClocks(m.RowStages - 1);
    WriteRegister(2, 5);
    Clock(2);
    WriteRegister(2, 4);
}

void PreProgram(const Member& m) {
    switch (m.Pre) {
    case Member::PrePass::SelectAllThenOnes:
        SelectRows(m.PreRowClocks);
        WriteRegister(static_cast<uint32_t>(m.DataRegister), 15);
        DataClocks(m.PreDataClocks);
        break;
    case Member::PrePass::ZerosThenNoRow:
        WriteRegister(static_cast<uint32_t>(m.DataRegister), 0);
        DataClocks(m.PreDataClocks);
        RowClocks(m.PreRowClocks);
        break;
    case Member::PrePass::ZerosThenAddress:
        WriteRegister(static_cast<uint32_t>(m.DataRegister), 0);
        DataClocks(m.PreDataClocks);
        SendRowAddress(m.PreRowClocks);
        break;
    case Member::PrePass::ClocksThenNoRow:
        WriteRegister(3, 0);
        DataClocks(m.PreDataClocks);
        RowClocks(m.PreRowClocks);
        break;
    }
    CommandPulse(2, static_cast<uint32_t>(m.PreMs));
}

// Hands the cell of this data clock in every block to the fuse services;
// ExpectedValue collects the bits to shift in (mode 1).
void MapCell(const Member& m, int clock, int row, int mode) {
    ExpectedValue = 0;
    const int j = mode == 1 ? clock : m.Clocks - 1 - clock; // the cell's program clock
    const int w = static_cast<int>(ReadValue);
    if (row < m.ArrayRows) {
        const int32_t f = m.ArrayFuse(row, j);
        if (f < 0) return;
        for (int b = 0; b < m.Blocks; ++b)
            ExpectedValue |= ProcessFuseBit(f + static_cast<int32_t>(m.BlockFuses) * b, b, w, mode);
        return;
    }
    if (SpecialCounter >= m.SpecialCells) return;
    // Reads take the cells in reverse order.
    const int k = mode == 1 ? SpecialCounter : m.SpecialCells - 1 - SpecialCounter;
    if (j != m.ProgramClocks[k]) return;
    if (row == m.ERow) {
        if (mode == 0) return; // the E row is never blank-checked
        for (int b = 0; b < m.Blocks; ++b)
            ExpectedValue |= ProcessFuseBit(m.EFuse(b, k), b, w, mode);
        ExpectedValue = ~ExpectedValue; // shifted in complemented
        ++SpecialCounter;
        return;
    }
    ++SpecialCounter;
    const int32_t f = m.SpecialFuse(row, k);
    if (f < 0) return;
    for (int b = 0; b < m.Blocks; ++b)
        ExpectedValue |= ProcessFuseBit(f + static_cast<int32_t>(m.BlockFuses) * b, b, w, mode);
}

int AccessRow(const Member& m, int row, int mode) {
    const auto data = static_cast<uint32_t>(m.DataRegister);
    if (mode == 1) {
        SelectRow(m, row);
        for (int clock = 0; clock < m.Clocks; ++clock) {
            MapCell(m, clock, row, 1);
            WriteRegister(data, ExpectedValue);
            Clock(1);
        }
        CommandPulse(2, 50);
    } else {
        WriteRegister(data, 0);
        DataClocks(m.Clocks - 1);
        WriteRegister(data, BlockMask(m) > 15 ? 255 : 15);
        Clock(1);
        SelectRow(m, row);
        WriteRegister(4, 3);
        WriteRegister(3, 1);
        for (int clock = 0; clock < m.Clocks; ++clock) {
            ReadValue = ReadRegister(data);
            if (clock != m.Clocks - 1) Clock(1);
            MapCell(m, clock, row, mode);
        }
        WriteRegister(3, 0);
        WriteRegister(4, 1);
    }
    return CompareFailed == 1 ? -1 : 1;
}

int RunFuseMap(const Member& m, int mode) {
    CompareFailed = 0;
    PowerUp(m, mode);
    if (mode == 1) PreProgram(m);
    int r = 1;
    auto take = [&](int row) {
        if (r == -1) return;
        r = AccessRow(m, row, mode);
    };
    for (int row = 0; row < m.ArrayRows; ++row)
        take(row);
    for (int row = m.FirstSpecial; row <= m.LastSpecial; ++row) {
        SpecialCounter = 0;
        take(row);
    }
    if (m.ERow >= 0) {
        SpecialCounter = 0;
        take(m.ERow);
    }
    PowerDown(m);
    return r;
}

int Erase(const Member& m) {
    PowerUp(m, 1);
    if (m.EraseRowClocks > 0) SelectRows(m.EraseRowClocks);
    CommandPulse(1, 100);
    PowerDown(m);
    return 1;
}

int Secure(const Member& m) {
    PowerUp(m, 1);
    WriteRegister(0, 3);
    Pulse(50);
    if (!m.SecureKeepsCommand) WriteRegister(0, 0);
    PowerDown(m);
    return 1;
}

// Cell layouts of the members without an E row.
const int8_t kClocks212[12] = {7, 8, 15, 16, 23, 24, 31, 32, 39, 40, 47, 48};
const int8_t kClocks215[16] = {2, 9, 10, 17, 18, 25, 26, 33, 34, 41, 42, 49, 50, 57, 58, 65};

int32_t Array52(int row, int clock) {
    return 52 * clock + row;
}
int32_t Array44(int row, int clock) {
    return 44 * clock + row;
}
int32_t Special212(int row, int k) {
    return 2912 + (row - 52) + 9 * k;
}
int32_t Special213(int row, int k) {
    return 3744 + (row - 52) + 9 * k;
}
int32_t Special214(int row, int k) {
    return 3080 + (row - 56) + 8 * k;
}
// Groups of ten per cell pair: even cells of rows 44-47, odd cells of rows 44-49.
int32_t Special215(int row, int k) {
    const int32_t group = 2904 + 10 * (k / 2);
    if (k % 2 == 0) return row <= 47 ? group + (row - 44) : -1;
    return group + 4 + (row - 44);
}
// Groups of sixteen per cell pair: even cells of rows 52-60 at offsets 0-8,
// odd cells of rows 52-57 at 9-14 and of row 60 at 15; rows 58 and 59 hold
// no odd cells.
int32_t Grouped16(int32_t base, int row, int k) {
    const int32_t group = base + 16 * (k / 2);
    if (k % 2 == 0) return group + (row - 52);
    if (row <= 57) return group + 9 + (row - 52);
    return row == 60 ? group + 15 : -1;
}
int32_t Special216(int row, int k) {
    return Grouped16(2808, row, k);
}
int32_t Special217(int row, int k) {
    return Grouped16(3640, row, k);
}

using P = RegisterBlockCpld::PrePass;

} // namespace

const RegisterBlockCpld BlockCpld260 = {
    .Row = 260,
    .Blocks = 2,
    .BlockFuses = 3862,
    .DataRegister = 6,
    .Clocks = 72,
    .RowStages = 62,
    .ArrayRows = 52,
    .FirstSpecial = 52,
    .LastSpecial = 60,
    .ERow = 61,
    .ProgramClocks = SpecialCellClockTable,
    .SpecialCells = 16,
    .ArrayFuse = BlockCpldLayout260.ArrayFuse,
    .SpecialFuse = BlockCpldLayout260.SpecialFuse,
    .EFuse = BlockCpldLayout260.EFuse,
    .Pre = P::SelectAllThenOnes,
    .PreRowClocks = 62,
    .PreDataClocks = 72,
    .PreMs = 100,
    .EraseRowClocks = 62,
    .SecureKeepsCommand = false,
    .ProgramSupply = 52,
    .VppChannel = 1,
    .VppPin = 11,
    .VppPinR = 15,
};
const RegisterBlockCpld BlockCpld261 = {
    .Row = 261,
    .Blocks = 4,
    .BlockFuses = 3768,
    .DataRegister = 6,
    .Clocks = 70,
    .RowStages = 62,
    .ArrayRows = 52,
    .FirstSpecial = 52,
    .LastSpecial = 60,
    .ERow = 61,
    .ProgramClocks = SpecialCellClockTable261,
    .SpecialCells = 16,
    .ArrayFuse = BlockCpldLayout261.ArrayFuse,
    .SpecialFuse = BlockCpldLayout261.SpecialFuse,
    .EFuse = BlockCpldLayout261.EFuse,
    .Pre = P::SelectAllThenOnes,
    .PreRowClocks = 62,
    .PreDataClocks = 68,
    .PreMs = 100,
    .EraseRowClocks = 62,
    .SecureKeepsCommand = false,
    .ProgramSupply = 50,
    .VppChannel = 2,
    .VppPin = 12,
};
const RegisterBlockCpld BlockCpld212 = {
    .Row = 212,
    .Blocks = 4,
    .BlockFuses = 3020,
    .DataRegister = 9,
    .Clocks = 56,
    .RowStages = 61,
    .ArrayRows = 52,
    .FirstSpecial = 52,
    .LastSpecial = 60,
    .ERow = -1,
    .ProgramClocks = kClocks212,
    .SpecialCells = 12,
    .ArrayFuse = Array52,
    .SpecialFuse = Special212,
    .Pre = P::ZerosThenNoRow,
    .PreRowClocks = 61,
    .PreDataClocks = 56,
    .PreMs = 100,
    .EraseRowClocks = 61,
    .SecureKeepsCommand = false,
    .ProgramSupply = 50,
    .VppChannel = 2,
    .VppPin = 12,
};
const RegisterBlockCpld BlockCpld213 = {
    .Row = 213,
    .Blocks = 4,
    .BlockFuses = 3888,
    .DataRegister = 9,
    .Clocks = 72,
    .RowStages = 61,
    .ArrayRows = 52,
    .FirstSpecial = 52,
    .LastSpecial = 60,
    .ERow = -1,
    .ProgramClocks = SpecialCellClockTable261,
    .SpecialCells = 16,
    .ArrayFuse = Array52,
    .SpecialFuse = Special213,
    .Pre = P::ZerosThenNoRow,
    .PreRowClocks = 61,
    .PreDataClocks = 72,
    .PreMs = 100,
    .EraseRowClocks = 61,
    .SecureKeepsCommand = true,
    .ProgramSupply = 50,
    .VppChannel = 2,
    .VppPin = 12,
};
const RegisterBlockCpld BlockCpld214 = {
    .Row = 214,
    .Blocks = 4,
    .BlockFuses = 3208,
    .DataRegister = 6,
    .Clocks = 70,
    .RowStages = 0,
    .ArrayRows = 44,
    .FirstSpecial = 56,
    .LastSpecial = 63,
    .ERow = -1,
    .ProgramClocks = SpecialCellClockTable261,
    .SpecialCells = 16,
    .ArrayFuse = Array44,
    .SpecialFuse = Special214,
    .Pre = P::ZerosThenAddress,
    .PreRowClocks = 44,
    .PreDataClocks = 70,
    .PreMs = 50,
    .EraseRowClocks = 0,
    .SecureKeepsCommand = false,
    .ProgramSupply = 50,
    .VppChannel = 2,
    .VppPin = 12,
};
const RegisterBlockCpld BlockCpld215 = {
    .Row = 215,
    .Blocks = 4,
    .BlockFuses = 2984,
    .DataRegister = 6,
    .Clocks = 66,
    .RowStages = 66,
    .ArrayRows = 44,
    .FirstSpecial = 44,
    .LastSpecial = 49,
    .ERow = -1,
    .ProgramClocks = kClocks215,
    .SpecialCells = 16,
    .ArrayFuse = Array44,
    .SpecialFuse = Special215,
    .Pre = P::ClocksThenNoRow,
    .PreRowClocks = 50,
    .PreDataClocks = 66,
    .PreMs = 50,
    .EraseRowClocks = 50,
    .SecureKeepsCommand = false,
    .ProgramSupply = 50,
    .VppChannel = 2,
    .VppPin = 12,
};
const RegisterBlockCpld BlockCpld216 = {
    .Row = 216,
    .Blocks = 8,
    .BlockFuses = 2904,
    .DataRegister = 9,
    .Clocks = 54,
    .RowStages = 61,
    .ArrayRows = 52,
    .FirstSpecial = 52,
    .LastSpecial = 60,
    .ERow = -1,
    .ProgramClocks = kClocks212,
    .SpecialCells = 12,
    .ArrayFuse = Array52,
    .SpecialFuse = Special216,
    .Pre = P::ZerosThenNoRow,
    .PreRowClocks = 61,
    .PreDataClocks = 54,
    .PreMs = 100,
    .EraseRowClocks = 61,
    .SecureKeepsCommand = false,
    .ProgramSupply = 50,
    .VppChannel = 2,
    .VppPin = 12,
};
const RegisterBlockCpld BlockCpld217 = {
    .Row = 217,
    .Blocks = 8,
    .BlockFuses = 3768,
    .DataRegister = 9,
    .Clocks = 70,
    .RowStages = 61,
    .ArrayRows = 52,
    .FirstSpecial = 52,
    .LastSpecial = 60,
    .ERow = -1,
    .ProgramClocks = SpecialCellClockTable261,
    .SpecialCells = 16,
    .ArrayFuse = Array52,
    .SpecialFuse = Special217,
    .Pre = P::ZerosThenNoRow,
    .PreRowClocks = 61,
    .PreDataClocks = 70,
    .PreMs = 100,
    .EraseRowClocks = 61,
    .SecureKeepsCommand = false,
    .ProgramSupply = 50,
    .VppChannel = 2,
    .VppPin = 12,
};

// The slot entries of each member.
#define VX_BLOCK_CPLD_SLOTS(n)                                                                               \
    int Alg##n##Read(int mode) {                                                                             \
        return RunFuseMap(BlockCpld##n, mode);                                                               \
    }                                                                                                        \
    int Alg##n##Program() {                                                                                  \
        return RunFuseMap(BlockCpld##n, 1);                                                                  \
    }                                                                                                        \
    int Alg##n##Erase() {                                                                                    \
        return Erase(BlockCpld##n);                                                                          \
    }                                                                                                        \
    int Alg##n##Secure() {                                                                                   \
        return Secure(BlockCpld##n);                                                                         \
    }
VX_BLOCK_CPLD_SLOTS(260)
VX_BLOCK_CPLD_SLOTS(212)
VX_BLOCK_CPLD_SLOTS(213)
VX_BLOCK_CPLD_SLOTS(214)
VX_BLOCK_CPLD_SLOTS(215)
VX_BLOCK_CPLD_SLOTS(216)
VX_BLOCK_CPLD_SLOTS(217)
VX_BLOCK_CPLD_SLOTS(261)
#undef VX_BLOCK_CPLD_SLOTS

#define VX_BLOCK_CPLD_ROW(n)                                                                                 \
    {                                                                                                        \
        .Row = n, .Read = Alg##n##Read, .Program = Alg##n##Program, .Erase = Alg##n##Erase,                  \
        .Secure = Alg##n##Secure                                                                             \
    }

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    VX_BLOCK_CPLD_ROW(260), VX_BLOCK_CPLD_ROW(212), VX_BLOCK_CPLD_ROW(213), VX_BLOCK_CPLD_ROW(214),
    VX_BLOCK_CPLD_ROW(215), VX_BLOCK_CPLD_ROW(216), VX_BLOCK_CPLD_ROW(217), VX_BLOCK_CPLD_ROW(261),
};
#undef VX_BLOCK_CPLD_ROW

ROW_FAMILY("RegisterBlockCpld", Logic, 270, kAlgorithmRows);
