// Flash microcontrollers written through command bytes on the register bus
// of their logic image (row 194): the datum is sent complemented after
// command 40h and completion is polled on bit 7; 30h twice erases the part.
// Cells read 00h when erased.

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"

namespace {

enum Register194 : uint32_t {
    RegLow = 0,
    RegHigh = 1,
    RegChipEnable = 2, // 1 idle, 0 cycle
    RegOutputEnable = 3, // FFh idle, FEh read
    RegWrite = 4,      // 43h idle, 3 write strobe
    RegLines = 5,      // 8 released, 1Eh driven, 16h command mode
    RegData = 9,
};
enum : uint32_t { LinesReleased = 8, LinesDriven = 0x1E, LinesCommand = 0x16 };
constexpr uint32_t kProgramCommand = 0x40, kEraseCommand = 0x30;

// The programming voltage on pin 35, or 37 on adapter 'R'.
int VppPin194() { return AdapterCode == 'R' ? 37 : 35; }

void PowerUp194(int mode) {
    BlankValue = 0;
    ReadBackAfterSecure = 0;
    BlankCheckAfterErase = 1;
    SupplyVoltage = mode == 1 ? Vccp / 10 : ReadVccInUse;
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(0, 0, 0, 0);
    WriteRegister(RegChipEnable, 1);
    WriteRegister(RegOutputEnable, 0xFF);
    WriteRegister(RegWrite, 0x43);
    WriteRegister(RegLines, LinesReleased);
    DelayMsSlot(100);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    WriteRegister(RegLines, LinesDriven);
    DelayMsSlot(10);
    ApplyVoltageToPin(1, VppPin194(), 1, static_cast<int>(Vpp / 10));
}

void PowerDown194() {
    ApplyVoltageToPin(1, VppPin194(), 0, 50);
    DelayUsSlot(50);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    ResetProgrammerOutputs();
}

void ReadCycle() {
    WriteRegister(RegChipEnable, 0);
    WriteRegister(RegOutputEnable, 0xFE);
    ReadValue = ReadRegister(RegData);
    WriteRegister(RegOutputEnable, 0xFF);
    WriteRegister(RegChipEnable, 1);
}

void WriteCycle(uint32_t d) {
    WriteRegister(RegData, d & 0xFF);
    WriteRegister(RegChipEnable, 0);
    WriteRegister(RegWrite, 3);
    WriteRegister(RegWrite, 0x43);
    WriteRegister(RegChipEnable, 1);
}

// Up to n reads 10 us apart until bit 7 reads as ExpectedValue's: 1, else -1.
int Poll(int n) {
    for (int i = 0; i < n; ++i) {
        DelayUsSlot(10);
        ReadCycle();
        if ((ReadValue & 0x80) == (ExpectedValue & 0x80)) return 1;
    }
    return -1;
}

int ProgramCell() {
    WriteRegister(RegLines, LinesCommand);
    WriteCycle(kProgramCommand);
    WriteCycle(~ExpectedValue & 0xFF);
    WriteRegister(RegLines, LinesDriven);
    return Poll(50);
}

// The high address at the first address and at each 256-byte boundary.
void Address(uint32_t a, bool first) {
    if (first || (a & 0xFF) == 0) WriteRegister(RegHigh, a >> 8 & 0xFF);
    WriteRegister(RegLow, a & 0xFF);
}

int Alg194Read(int mode) {
    PowerUp194(mode);
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        Address(ChipAddress, ChipAddress == DeviceStart);
        ReadCycle();
        r = ProcessReadByte(mode);
        if (r == -1) break;
        if (BufferIndex >= 0x10000 && mode != 0 && (r = AdvanceToNextBank()) != 1) break;
    }
    PowerDown194();
    return r;
}

// Cells whose datum is 00h (erased) are left.
int Alg194Program() {
    PowerUp194(1);
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        Address(ChipAddress, ChipAddress == DeviceStart);
        ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
        if (ExpectedValue != 0 && (r = ProgramCell()) == -1) break;
        BufferIndex += 1;
        if (BufferIndex >= 0x10000 && (r = AdvanceToNextBank()) != 1) break;
    }
    PowerDown194();
    return r;
}

// 30h twice, then up to 60 passes of 100 ms each polling for bit 7 low (the
// ExpectedValue the operation starts with is 0).
int Alg194Erase() {
    PowerUp194(1);
    WriteRegister(RegLines, LinesCommand);
    WriteCycle(kEraseCommand);
    WriteCycle(kEraseCommand);
    WriteRegister(RegLines, LinesDriven);
    int r = -1;
    for (uint32_t n = 0; n < 60; ++n) {
        r = ShowElapsedAndCheckCancel(n);
        if (r != 1) break;
        DelayMsSlot(100);
        r = Poll(10);
        if (r == 1) break;
    }
    PowerDown194();
    return r;
}

} // namespace

// The rows of this family. Program steps the buffer by 1 whatever the split
// mode: no byte lanes.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 194, .Read = Alg194Read, .Program = Alg194Program, .Erase = Alg194Erase, .NoByteLanes = true},
};

ROW_FAMILY("CmdFlashMcu", Mcu, 230, kAlgorithmRows);
