// Row 32: configuration devices that identify themselves with the text
// "ALTERA9", in two generations. A probe on the pin driver tells them apart:
// the newer generation is served by row 33's entries through the command
// engine, the older one pin by pin with 15-bit commands and a pulse-and-
// verify loop. ZIF 21 data, 22 clock, 23 command frame (supply A while a
// command is clocked, low around each byte read), 24 write pulse (low) and
// read select (supply A), 26 steps to the next byte (low, then high), 27 on
// supply A from set-up on.
//
// Both generations share the command engine's image: register 12 = 1 makes
// it the universal pin driver for the probe and the older generation, 0
// gives the lines back to the engine before row 33's entries run.
//
// A range above 0 steps the chip's pointer forward to it; the strong supply
// goes on at 0 V and ramps to the mode's level.

#include <string>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"

namespace {

constexpr int kData32 = 21, kClk32 = 22, kFrame32 = 23, kSelect32 = 24, kStep32 = 26, kSupply32 = 27;
constexpr uint32_t kTextIdRow33 = 33;

void PinDriver32(bool on) { WriteRegister(12, on ? 1 : 0); }

void PowerOff32() {
    SetDeviceVpp(0, 50);
    DelayShortUs(10);
    SetDevicePower(0, 50);
    ResetProgrammerOutputs();
}

// 1: the newer generation answers (row 33's entries), 0: the older one.
int ProbeGeneration32() {
    SetVccRange(0, 50);
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    FloatPinRange(1, 48);
    DelayMs(100);
    SetDevicePower(1, 50);
    DelayMs(10);
    SetPin(kFrame32, 0);
    SetPin(kFrame32, 1);
    SetPin(kSelect32, 1);
    SetPin(kSupply32, 1);
    SetPin(kClk32, 0);
    SetDeviceVpp(1, 100);
    DelayMs(10);
    SetPin(kStep32, 0);
    SetPin(kData32, 0);
    SetPin(kData32, 2);
    DelayMs(200);
    if (GetPin(kData32) == 0) {
        SetPin(kStep32, 1);
        SetPin(kData32, 0);
        SetPin(kData32, 2);
    }
    const int level = GetPin(kData32);
    PowerOff32();
    return level;
}

void SendCommand32(uint32_t c) {
    SetPin(kData32, 2);
    SetSupplyPinA(kFrame32, 1);
    for (int i = 0; i < 15; ++i) PulsePin(kClk32, 3);
    for (int bit = 14; bit >= 0; --bit) {
        SetPin(kData32, static_cast<int>((c >> bit) & 1));
        PulsePin(kClk32, 3);
        SetPin(kData32, 2);
    }
    SetSupplyPinA(kFrame32, 0);
    DelayShortUs(10);
}

void ReadByte32() {
    ReadValue = 0;
    SetSupplyPinA(kSelect32, 1);
    SetPin(kFrame32, 0);
    for (int i = 0; i < 8; ++i) {
        SetPin(kClk32, 1);
        ReadValue |= static_cast<uint32_t>(GetPin(kData32)) << i;
        SetPin(kClk32, 0);
    }
    SetPin(kFrame32, 1);
    SetSupplyPinA(kSelect32, 0);
}

void ProgramByte32(uint32_t widthUs) {
    SetPin(kData32, 2);
    for (int i = 0; i < 8; ++i) {
        SetPin(kData32, static_cast<int>((ExpectedValue >> i) & 1));
        PulsePin(kClk32, 3);
        SetPin(kData32, 2);
    }
    SetPin(kSelect32, 0);
    DelayUs(widthUs);
    SetPin(kSelect32, 1);
}

// Pulses of 100 us until the byte reads back, then n x 100 us more.
int ProgramVerify32() {
    for (uint32_t n = 1; n <= 99; ++n) {
        ProgramByte32(100);
        ReadByte32();
        if (ReadValue == ExpectedValue) {
            ProgramByte32(n * 100);
            return 1;
        }
    }
    return -1;
}

int Setup32(int mode) {
    SupplyVoltage = mode == 1 ? Vccp / 10 : ReadVccInUse;
    SetVccRange(1, 50);
    SetDeviceGround(1);
    // Channel 4 sets the strong supply: it goes on at 0 V and ramps up.
    const int device = mode == 1 ? 50 : mode == 0 ? 40 : static_cast<int>(ReadVccInUse);
    const int programming = mode == 1 || mode == 0 ? 140 : 120;
    SetAllDacVoltages(programming, programming, 50, 0);
    DelayMs(100);
    FloatPinRange(1, 48);
    SetPin(kStep32, 1);
    SetPin(kSelect32, 1);
    SetPin(kFrame32, 1);
    SetDevicePower(1, 50);
    RampVoltageUp(4, 0, device, 1, 10);
    DelayMs(10);
    SetSupplyPinA(kSupply32, 1);
    DelayMs(1);
    SendCommand32(0x6802);
    std::string id;
    for (int i = 0; i < 9; ++i) {
        ReadByte32();
        PulsePin(kStep32, 2);
        id += static_cast<char>(ReadValue);
    }
    if (id.compare(0, 7, "ALTERA9") != 0) {
        PowerOff32();
        return RefuseIdentity(false, " Invalid Chip ID");
    }
    SendCommand32(0);
    // The chip's pointer starts at byte 0: step it to the range.
    for (uint32_t a = 0; a < DeviceStart; ++a) PulsePin(kStep32, 2);
    return 1;
}

// The older generation's loops keep to one buffer bank.
bool RangeServed32() {
    if (DeviceEnd <= 0xFFFF) return true;
    RefuseRun(" Device range past 64 KB is not supported.");
    return false;
}

int Read32(int mode) {
    if (!RangeServed32() || Setup32(mode) != 1) return -1;
    int r = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd && r == 1; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        ReadByte32();
        PulsePin(kStep32, 2);
        r = ProcessReadByte(mode);
    }
    PowerOff32();
    return r;
}

int Program32() {
    if (!RangeServed32() || Setup32(1) != 1) return -1;
    int r = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd && r == 1; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        ExpectedValue = RunBufferByte(BufferIndex);
        if (ExpectedValue != 0xFF) r = ProgramVerify32();
        if (r != 1) break;
        PulsePin(kStep32, 2);
        BufferIndex += AddressStep;
    }
    PowerOff32();
    return r;
}

int Alg32Read(int mode) {
    PinDriver32(true);
    const int newer = ProbeGeneration32();
    int r;
    if (newer == 1) {
        PinDriver32(false);
        return AlgorithmTable[kTextIdRow33].Read(mode);
    }
    r = Read32(mode);
    PinDriver32(false);
    return r;
}

int Alg32Program() {
    PinDriver32(true);
    const int newer = ProbeGeneration32();
    if (newer == 1) {
        PinDriver32(false);
        return AlgorithmTable[kTextIdRow33].Program();
    }
    const int r = Program32();
    PinDriver32(false);
    return r;
}

} // namespace

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 32, .Read = Alg32Read, .Program = Alg32Program, .ChecksIdentity = ChecksIdentityAlways},
};

ROW_FAMILY("TextIdConfig32", Memory, 320, kAlgorithmRows);
