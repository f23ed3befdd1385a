// Row 218: an eight-block CPLD reached through an instruction interface with
// the states of an IEEE 1149.1 test access port, clocked bit by bit through
// registers of the block CPLD bus image in its instruction form:
//   register 0  2 powered, 3 while a row is read out, 0 at power-down
//   register 1  bit 0 TCK, bit 1 TDI, bit 2 TMS
//   register 4  3 set-up and read, 1 ready, 5 pulse on, 2 off
//   register 9  bit b in or out of block b's data register
//   register 10 bit 0 TDO
// Every power-up checks the chip's identification value (16h).

#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"
#include "logic/BlockCpldLayout.h"
#include "logic/FuseCells.h"

namespace {

enum Instruction : uint32_t {
    kRowRegister = 3,
    kErasePulse = 5,
    kProgramPulse = 6,
    kSecurePulse = 8,
    kIdentify = 12,
    kLoadData = 13,
    kReadData = 14,
    kPreamble = 15,
};
constexpr int kRows = 80;
constexpr int kClocks = 99;
constexpr int kBlocks = 8;
constexpr int32_t kBlockFuses = 6762;
constexpr uint32_t kIdentity = 0x16;
constexpr int kProgramSupply = 50;
constexpr int kVppPin = 13;

// Module state, valid for one slot call.
int SpecialCounter = 0;                    // special cells of the current row
int ExtraCounter = 0;                      // extra cells of the walk
const int kExtraOffsets[4] = {1, 2, 0, 3}; // rows 69, 73, 75, 77: fuses B + 6534 + offset

// One TCK: levels, TCK high, TCK low.
void Alg218TapClock(int tms, int tdi) {
    const uint32_t v = 4u * static_cast<uint32_t>(tms & 1) + 2u * static_cast<uint32_t>(tdi & 1);
    WriteRegister(1, v);
    WriteRegister(1, v + 1);
    WriteRegister(1, v);
}

void Alg218TapReset() {
    for (int i = 0; i < 5; ++i)
        Alg218TapClock(1, 0);
}

// From Run-Test/Idle to Run-Test/Idle, the instruction least significant bit first.
void Alg218LoadInstruction(uint32_t ir) {
    for (int tms : {1, 1, 0, 0})
        Alg218TapClock(tms, 0);
    for (int i = 0; i < 5; ++i)
        Alg218TapClock(i == 4 ? 1 : 0, static_cast<int>((ir >> i) & 1));
    Alg218TapClock(1, 0);
    Alg218TapClock(0, 0);
}

void EnterShiftDr() {
    for (int tms : {1, 0, 0})
        Alg218TapClock(tms, 0);
}
void LeaveToIdle() {
    Alg218TapClock(1, 0); // Update-DR
    Alg218TapClock(0, 0); // Run-Test/Idle
}
// A data scan of `count` bits from Run-Test/Idle back to it.
template <class BitAt> void Scan(int count, BitAt bitAt) {
    EnterShiftDr();
    for (int i = 0; i < count; ++i)
        Alg218TapClock(i == count - 1 ? 1 : 0, bitAt(i));
    LeaveToIdle();
}

void Alg218PowerDown() {
    Alg218TapReset();
    WriteRegister(4, 3);
    WriteRegister(0, 0);
    ApplyVoltageToPin(1, kVppPin, 0, 50);
    DelayShortUsSlot(100);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    WriteRegister(4, 2);
}

int Alg218PowerUp(int mode) {
    ReadBackAfterSecure = 0;
    BlankValue = 1;
    SpecialCounter = 0;
    if (mode == 1) {
        SupplyVoltage = kProgramSupply;
        Vccp = kProgramSupply;
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
    ApplyVoltageToPin(1, kVppPin, 1, 92);
    WriteRegister(0, 2);
    DelayShortUsSlot(10);
    WriteRegister(4, 1);
    Alg218TapReset();
    Alg218TapClock(0, 0);
    Alg218LoadInstruction(kPreamble);
    const int preamble[5] = {0, 0, 0, 1, 0};
    Scan(5, [&](int i) { return preamble[i]; });
    Alg218LoadInstruction(kIdentify);
    ReadValue = 0;
    Scan(7, [&](int i) {
        ReadValue |= (ReadRegister(10) & 1u) << i;
        return 0;
    });
    if (ReadValue == kIdentity) return 1;
    Alg218PowerDown();
    return RefuseIdentity(false, " Incorrect device ID");
}

void Alg218Pulse(uint32_t ms) {
    WriteRegister(4, 5);
    DelayMsSlot(ms);
    WriteRegister(4, 1);
}

void Alg218SelectFirstRow() {
    Alg218LoadInstruction(kRowRegister);
    Scan(kRows, [](int i) { return i == kRows - 1 ? 1 : 0; });
}
void Alg218NextRow() {
    Alg218LoadInstruction(kRowRegister);
    Scan(1, [](int) { return 0; });
}

void Alg218PreProgram() {
    Alg218LoadInstruction(kRowRegister);
    Scan(kRows, [](int) { return 0; });
    Alg218LoadInstruction(kLoadData);
    WriteRegister(9, 0);
    EnterShiftDr();
    for (int i = 0; i < kClocks; ++i)
        Alg218TapClock(i == kClocks - 1 ? 1 : 0, 0);
    WriteRegister(9, 255);
    LeaveToIdle();
    Alg218LoadInstruction(kProgramPulse);
    Alg218Pulse(50);
}

void Alg218PresetDataRegister() {
    Alg218LoadInstruction(kLoadData);
    WriteRegister(9, 0);
    EnterShiftDr();
    for (int i = 0; i < kClocks - 1; ++i)
        Alg218TapClock(0, 0);
    WriteRegister(9, 255);
    Alg218TapClock(1, 0);
    LeaveToIdle();
}

void Alg218MapCell(int clock, int row, int mode) {
    ExpectedValue = 0;
    const int w = static_cast<int>(ReadValue);
    if (row < 66) {
        for (int b = 0; b < kBlocks; ++b) {
            const int32_t f = kBlockFuses * b + (mode == 1 ? 66 * clock + row : 6468 - 66 * clock + row);
            ExpectedValue |= ProcessFuseBit(f, b, w, mode);
        }
        return;
    }
    if (mode == 1) {
        if (SpecialCounter < 16 && SpecialCellClockTable218[SpecialCounter] == clock) {
            for (int b = 0; b < kBlocks; ++b)
                ExpectedValue |=
                    ProcessFuseBit(kBlockFuses * b + 6538 + (row - 66) + 14 * SpecialCounter, b, w, 1);
            ++SpecialCounter;
        } else {
            ExpectedValue = 255; // no cell at this clock
        }
    } else if (SpecialCounter >= 0 && 98 - clock == SpecialCellReadClockTable[SpecialCounter]) {
        for (int b = 0; b < kBlocks; ++b)
            ProcessFuseBit(kBlockFuses * b + 6538 + (row - 66) + 14 * SpecialCounter, b, w, mode);
        --SpecialCounter;
    }
    const bool extraRow = row == 69 || row == 73 || row == 75 || row == 77;
    if (extraRow && ExtraCounter < 4 && ((mode == 1 && clock == 0) || (mode != 1 && clock == 98))) {
        const int32_t offset = 6534 + kExtraOffsets[ExtraCounter];
        for (int b = 0; b < kBlocks; ++b) {
            const uint32_t bit = ProcessFuseBit(kBlockFuses * b + offset, b, w, mode);
            if (mode == 1) ExpectedValue = (ExpectedValue & ~(1u << b)) | bit;
        }
        ++ExtraCounter;
    }
}

void Alg218ProgramRow(int row) {
    Alg218LoadInstruction(kLoadData);
    EnterShiftDr();
    for (int clock = 0; clock < kClocks; ++clock) {
        Alg218MapCell(clock, row, 1);
        WriteRegister(9, ExpectedValue);
        Alg218TapClock(clock == kClocks - 1 ? 1 : 0, 0);
    }
    WriteRegister(9, 255);
    LeaveToIdle();
}

void Alg218ReadRow(int row, int mode) {
    Alg218LoadInstruction(kReadData);
    EnterShiftDr();
    WriteRegister(4, 3);
    WriteRegister(0, 3);
    for (int clock = 0; clock < kClocks; ++clock) {
        ReadValue = ReadRegister(9);
        Alg218MapCell(clock, row, mode);
        Alg218TapClock(0, 0);
    }
    WriteRegister(0, 2);
    WriteRegister(4, 1);
    Alg218TapClock(1, 0);
    LeaveToIdle();
}

int Alg218RunFuseMap(int mode) {
    ExtraCounter = 0;
    CompareFailed = 0;
    int result = 1;
    // The programming supply, whatever the mode.
    if (Alg218PowerUp(1) == -1) return -1;
    if (mode == 1) {
        Alg218PreProgram();
        Alg218SelectFirstRow();
    } else {
        Alg218SelectFirstRow();
        Alg218PresetDataRegister();
    }
    for (int row = 0; row < kRows; ++row) {
        if (mode == 1) {
            SpecialCounter = 0;
            Alg218ProgramRow(row);
            Alg218LoadInstruction(kProgramPulse);
            Alg218Pulse(50);
            Alg218NextRow();
        } else {
            SpecialCounter = 15;
            Alg218ReadRow(row, mode);
            Alg218NextRow();
        }
        if (CompareFailed == 1) {
            result = -1;
            break;
        }
    }
    Alg218PowerDown();
    return result;
}

int Alg218Read(int mode) {
    return Alg218RunFuseMap(mode);
}
int Alg218Program() {
    return Alg218RunFuseMap(1);
}

int Alg218Erase() {
    if (Alg218PowerUp(1) == -1) return -1;
    Alg218LoadInstruction(kRowRegister);
    Scan(kRows, [](int) { return 1; });
    Alg218LoadInstruction(kErasePulse);
    Alg218Pulse(100);
    Alg218PowerDown();
    return 1;
}

int Alg218Secure() {
    if (Alg218PowerUp(1) == -1) return -1;
    Alg218LoadInstruction(kSecurePulse);
    Alg218Pulse(50);
    Alg218PowerDown();
    return 1;
}

// The row of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 218,
     .Read = Alg218Read,
     .Program = Alg218Program,
     .Erase = Alg218Erase,
     .Secure = Alg218Secure,
     .ChecksIdentity = ChecksIdentityAlways},
};

} // namespace

ROW_FAMILY("InstructionBlockCpld", Logic, 280, kAlgorithmRows);
