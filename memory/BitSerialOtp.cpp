// Row 35: a one-time PROM that holds its contents as one bit stream, on the
// pin driver. ZIF 21 data (both ways), 22 output enable (active low; the
// package's programming-voltage pin), 23 and 28 held high, 25 program pulse
// (active high), 26 clock (a high-low pulse steps one bit), 27 reset (a
// high-low pulse returns to the first bit). Each buffer byte holds eight
// consecutive bits, the first in bit 0. Every bit gets one pulse of
// PulseWidth at Vpp and is read back at once.
//
// A range that starts above 0 resets the chip and clocks it forward to the
// range's first bit, reading and programming alike; output enable goes high
// before the data pin is driven for the next bit, so the chip's output never
// meets the driver; reading stops at the range's last byte.

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"
#include "memory/SerialFrame.h"

namespace {

constexpr int kData35 = 21, kOe35 = 22, kHigh35a = 23, kPgm35 = 25, kClk35 = 26, kReset35 = 27, kHigh35b = 28;

void IdleLines35() {
    SetPin(kData35, 2);
    SetPin(kOe35, 1);
    SetPin(kHigh35a, 1);
    SetPin(kClk35, 0);
    SetPin(kReset35, 0);
    SetPin(kHigh35b, 1);
}
void AfterSupply35() { DelayMs(100); }
void ParkLines35() { SetPin(kOe35, 1); }
constexpr SerialRow kRow35{0, 1, false, false, nullptr, IdleLines35, AfterSupply35, ParkLines35};

// Back to the first bit, then forward to the first bit of DeviceStart.
void SeekRangeStart35() {
    PulsePin(kReset35, 3);
    for (uint64_t n = uint64_t{DeviceStart} * 8; n > 0; --n) PulsePin(kClk35, 3);
}

int Alg35Program() {
    int r = 1;
    SerialPowerOn(kRow35, 1);
    if (DeviceStart != 0) SeekRangeStart35();
    for (uint64_t a = DeviceStart; a <= DeviceEnd && r == 1; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        ExpectedValue = BufferIndex < BufferWindowBytes ? BufferWindow[BufferIndex] : 0xFF;
        ReadValue = 0;
        for (int k = 0; k < 8 && r == 1; ++k) {
            const int b = static_cast<int>((ExpectedValue >> k) & 1);
            SetPin(kOe35, 1);
            SetPin(kData35, b);
            SetDeviceVpp(1, static_cast<int>(Vpp / 10));
            if (ChipAddress == 0 && k == 0) PulsePin(kReset35, 3);
            SetPin(kPgm35, 1);
            DelayUs(PulseWidth);
            SetPin(kPgm35, 0);
            SetDeviceVpp(0, 50);
            SetPin(kData35, 2);
            SetPin(kOe35, 0);
            DelayShortUs(10);
            const int got = GetPin(kData35);
            ReadValue |= static_cast<uint32_t>(got) << k;
            if (got != b) {
                // The byte's remaining bits are read as they stand, so the
                // fail line shows what the part holds at the failed byte.
                for (int rest = k + 1; rest < 8; ++rest) {
                    PulsePin(kClk35, 3);
                    DelayShortUs(10);
                    ReadValue |= static_cast<uint32_t>(GetPin(kData35)) << rest;
                }
                r = -1;
            } else {
                PulsePin(kClk35, 3);
            }
        }
        if (r == 1) ++BufferIndex;
        if (r == 1 && BufferIndex > 0xFFFF) r = AdvanceToNextBank();
    }
    SerialPowerOff(kRow35);
    return r;
}

int Alg35Read(int mode) {
    SerialPowerOn(kRow35, 2);
    SetPin(kOe35, 0);
    SeekRangeStart35();
    int r = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd && r == 1; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        if ((a - DeviceStart) % 8 == 0) {
            r = StepProgress(ChipAddress);
            if (r != 1) break;
        }
        ReadValue = 0;
        for (int k = 0; k < 8; ++k) {
            DelayShortUs(10);
            ReadValue |= static_cast<uint32_t>(GetPin(kData35)) << k;
            PulsePin(kClk35, 3);
        }
        r = ProcessReadByte(mode);
        if (r == 1 && BufferIndex > 0xFFFF) r = AdvanceToNextBankIf(mode);
    }
    SerialPowerOff(kRow35);
    return r;
}

} // namespace

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 35,
     .Read = Alg35Read,
     .Program = Alg35Program,
     .NoByteLanes = true},
};

ROW_FAMILY("BitSerialOtp", Memory, 310, kAlgorithmRows);
