// Electrically erasable microcontrollers on the register bus of their logic
// image (row 170): strobe codes on register 2, mode codes on register 3, the
// programming voltage on pin 35 (14.0 V for the two 100 ms erase steps);
// every read runs at 4.3 V.

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

enum Register170 : uint32_t { RegLow = 0, RegHigh = 1, RegStrobe = 2, RegModeCode = 3, RegLines = 4, RegData = 6 };
enum : uint32_t { StrobeReset = 7, StrobeIdle = 6, StrobeRead = 2, StrobeProgram = 0x16, StrobeErase = 4 };
enum : uint32_t { ModePowerUp = 0x13, ModeArray = 0x0C, ModeEraseFirst = 0x0F, ModeEraseSecond = 0x0D, ModeSecurity = 0x0E };
enum : uint32_t { LinesCodes = 0x0E, LinesDriven = 0x0F, LinesWrite = 0x0D };
constexpr int kVppPin = 35; // channel 1
constexpr int kReadSupply = 43;
constexpr int kEraseTenths = 140;
constexpr int kTries = 25;

// Programming at Vccp; every read at 4.3 V, whatever the verify level.
void PowerUp170(int mode) {
    SupplyVoltage = mode == 1 ? Vccp / 10 : kReadSupply;
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(0, 0, 0, 0);
    DelayMsSlot(10);
    WriteRegister(RegStrobe, StrobeReset);
    WriteRegister(RegModeCode, ModePowerUp);
    WriteRegister(RegLines, LinesCodes);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    WriteRegister(RegLines, LinesDriven);
    DelayUsSlot(100);
    ApplyVoltageToPin(1, kVppPin, 1, static_cast<int>(Vpp / 10));
    WriteRegister(RegStrobe, StrobeIdle);
    DelayMsSlot(1);
    WriteRegister(RegModeCode, ModeArray);
}

void PowerDown170() {
    ApplyVoltageToPin(1, kVppPin, 0, 50);
    DelayUsSlot(50);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
}

void Address(uint32_t a, bool first) {
    if (first || (a & 0xFF) == 0) WriteRegister(RegHigh, a >> 8 & 0xFF);
    WriteRegister(RegLow, a & 0xFF);
}

void ReadCycle() {
    WriteRegister(RegStrobe, StrobeRead);
    ReadValue = ReadRegister(RegData);
    WriteRegister(RegStrobe, StrobeIdle);
}

void Pulse() {
    WriteRegister(RegLines, LinesWrite);
    WriteRegister(RegStrobe, StrobeProgram);
    DelayUsSlot(100);
    WriteRegister(RegStrobe, StrobeIdle);
    WriteRegister(RegLines, LinesDriven);
}

// Up to 25 pulses whatever Retry is, each read back.
int ProgramCell() {
    if (ExpectedValue == 0xFF) return 1;
    WriteRegister(RegData, ExpectedValue & 0xFF);
    for (int n = 0; n < kTries; ++n) {
        Pulse();
        ReadCycle();
        if (ReadValue == ExpectedValue) return 1;
    }
    return -1;
}

int Alg170Read(int mode) {
    PowerUp170(mode);
    WriteRegister(RegModeCode, ModeArray);
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
    PowerDown170();
    return r;
}

int Alg170Program() {
    PowerUp170(1);
    WriteRegister(RegModeCode, ModeArray);
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        Address(ChipAddress, ChipAddress == DeviceStart);
        ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
        r = ProgramCell();
        if (r == -1) break;
        BufferIndex += AddressStep;
        if (BufferIndex >= 0x10000 && (r = AdvanceToNextBank()) != 1) break;
    }
    PowerDown170();
    return r;
}

// Two 100 ms erase steps at 14.0 V, then a blank scan: the first byte
// other than FFh fails.
int Alg170Erase() {
    PowerUp170(1);
    SetDacVoltage(1, kEraseTenths);
    WriteRegister(RegData, 0xFF);
    WriteRegister(RegLines, LinesWrite);
    WriteRegister(RegModeCode, ModeEraseFirst);
    WriteRegister(RegStrobe, StrobeErase);
    DelayMsSlot(100);
    WriteRegister(RegStrobe, StrobeIdle);
    WriteRegister(RegModeCode, ModeEraseSecond);
    WriteRegister(RegStrobe, StrobeErase);
    DelayMsSlot(100);
    WriteRegister(RegStrobe, StrobeIdle);
    WriteRegister(RegLines, LinesDriven);
    DelayMsSlot(1);
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        Address(ChipAddress, ChipAddress == DeviceStart);
        ReadCycle();
        if (ReadValue != 0xFF) {
            r = -1;
            break;
        }
    }
    PowerDown170();
    return r;
}

// The security: one pulse at FFFFh in the security mode with 08h.
int Alg170Secure() {
    PowerUp170(1);
    WriteRegister(RegHigh, 0xFF);
    WriteRegister(RegLow, 0xFF);
    WriteRegister(RegModeCode, ModeSecurity);
    WriteRegister(RegData, 8);
    Pulse();
    PowerDown170();
    return 1;
}

} // namespace

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 170, .Read = Alg170Read, .Program = Alg170Program, .Erase = Alg170Erase, .Secure = Alg170Secure},
};

ROW_FAMILY("EeMcu", Mcu, 250, kAlgorithmRows);
