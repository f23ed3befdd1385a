// Row 279: a one-time 256 x 8 fuse PROM whose fuse map keeps the eight bit
// planes one after the other (fuse = bit x 256 + address), programmed a bit
// at a time with bounded pulse trains and an over-program pulse.

#include <cstdint>

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"
#include "logic/FuseCells.h"

namespace {

constexpr int kProgramming = 1;
constexpr int kProgramVccTenths = 50;
constexpr int kReadPin = 15, kProgramPin = 25;
constexpr int kPulses = 24;
constexpr uint32_t kPulseUs = 1000, kOverPulseUs = 3000;
constexpr uint32_t kSecureMs = 75;
constexpr uint32_t kSecureAddress = 180;

enum Group { kAddressGroup = 0, kDataGroup = 1 };

void PowerUp(int mode) {
    BlankValue = 0;
    ReadBackAfterSecure = 0;
    // Address bits 0-4 on 19-23, bits 5-7 on 16-18; D0-D7 on 33..26.
    DefinePinGroup("", kAddressGroup, 19, 20, 21, 22, 23, 16, 17, 18, 0);
    DefinePinGroup("", kDataGroup, 33, 32, 31, 30, 29, 28, 27, 26, 0);
    SupplyVoltage = mode == kProgramming ? kProgramVccTenths : ReadVccInUse;
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(130, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    SetPin(34, 2);
    FloatPinGroup(kDataGroup, 0, 7);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(1);
}

void PowerDown() { SetDevicePower(0, static_cast<int>(SupplyVoltage)); }

// The addressed word, a blown fuse read as 1.
void ReadWord() {
    SetSupplyPinA(kReadPin, 1);
    const auto v = static_cast<uint32_t>(ReadPinGroup(kDataGroup, 0, 7));
    SetSupplyPinA(kReadPin, 0);
    ReadValue = ~v & 0xFF;
}

void Pulse(uint32_t us) {
    WritePinGroup(kDataGroup, 0, 7, 0);
    DelayShortUsSlot(100);
    SetSupplyPinA(kProgramPin, 1);
    WritePinGroup(kDataGroup, 0, 7, ExpectedValue);
    DelayUsSlot(us);
    SetSupplyPinA(kProgramPin, 0);
    FloatPinGroup(kDataGroup, 0, 7);
}

// Up to kPulses pulses until bit b reads as written, then the over-program
// pulse; a bit that never does fails at its fuse.
int ProgramBit(int b, uint32_t fuse) {
    const uint32_t bit = 1u << b;
    for (int i = 0; i < kPulses; ++i) {
        Pulse(kPulseUs);
        ReadWord();
        if ((ReadValue & bit) == ExpectedValue) {
            Pulse(kOverPulseUs);
            return 1;
        }
    }
    FailAddress = fuse;
    return -1;
}

int Pass(int mode) {
    PowerUp(mode);
    int r = 1;
    for (int b = 0; b < 8 && r == 1; ++b) {
        for (uint32_t a = 0; a < 256 && r == 1; ++a) {
            const uint32_t n = static_cast<uint32_t>(b) * 256 + a;
            WritePinGroup(kAddressGroup, 0, 7, a);
            if (mode == kProgramming) {
                StepProgressByAddress(n);
                ExpectedValue = GetBufferBit(n) << b;
                r = ProgramBit(b, n);
            } else {
                // CheckFuseBit steps the progress and answers a user break.
                ReadWord();
                r = CheckFuseBit(static_cast<int>(n), b, static_cast<int>(ReadValue), mode);
            }
        }
    }
    PowerDown();
    return r;
}

int Secure() {
    PowerUp(kProgramming);
    WritePinGroup(kAddressGroup, 0, 7, kSecureAddress);
    SetSupplyPinA(kReadPin, 1);
    SetSupplyPinA(kProgramPin, 1);
    DelayMsSlot(kSecureMs);
    SetSupplyPinA(kReadPin, 0);
    SetSupplyPinA(kProgramPin, 0);
    PowerDown();
    return 1;
}

int Alg279Read(int mode) { return Pass(mode); }
int Alg279Program() { return Pass(kProgramming); }
int Alg279Secure() { return Secure(); }

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 279, .Read = Alg279Read, .Program = Alg279Program, .Secure = Alg279Secure},
};

} // namespace

ROW_FAMILY("PlaneFuseProm", Logic, 360, kAlgorithmRows);
