// Row 310: a one-time ten-output macrocell array walked cell by cell in the
// order of its JEDEC fuse map, a cell pulsed only when it must be blown and
// still reads intact; ten tries a cell.

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
constexpr int kSecureCheck = 6;
constexpr int kProgramVccTenths = 50;
constexpr int kModePin = 23, kColumnHighPin = 22, kFlagPin = 17, kStrobePin = 25;
constexpr int kTries = 10;
constexpr int kPulseChannel4Tenths = 91, kIdleChannel4Tenths = 37;
constexpr int kRampStepTenths = 2; // the strong supply path rises 0.2 V a step
constexpr uint32_t kSecurityFuse = 5828;
constexpr int kTerms[10] = {8, 10, 12, 14, 16, 16, 14, 12, 10, 8};

enum Group { kOutputGroup = 0, kRowGroup = 1, kColumnGroup = 2 };

int Channel4Tenths = 0; // channel 4 as last set here

int OutputPin(int k) { return 35 - k; }

void PowerUp(int mode) {
    BlankValue = 0;
    SecureCheckValue = 1;
    ReadBackAfterSecure = 0;
    DefinePinGroup("", kOutputGroup, 35, 34, 33, 32, 31, 30, 29, 28, 27, 26, 0);
    DefinePinGroup("", kRowGroup, 14, 15, 16, 17, 0);
    DefinePinGroup("", kColumnGroup, 18, 19, 20, 21, 22, 0);
    SupplyVoltage = mode == kProgramming ? kProgramVccTenths : ReadVccInUse;
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(105, 105, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    WritePinGroup(kRowGroup, 0, 3, 0);
    WritePinGroup(kColumnGroup, 0, 4, 0);
    SetPin(kModePin, 0);
    SetPin(kStrobePin, 0);
    SetPin(13, 0);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    Channel4Tenths = static_cast<int>(SupplyVoltage) - 11; // the strong path adds 1.1 V
    DelayMsSlot(1);
}

void PowerDown() { SetDevicePower(0, static_cast<int>(SupplyVoltage)); }

// VCC raised for the short delay (channel 4 to 9.1 V), then channel 4 at
// 3.7 V. The strong supply path takes the rise in steps.
void VccPulse() {
    RampVoltageUp(4, Channel4Tenths, kPulseChannel4Tenths, kRampStepTenths, 0);
    DelayShortUsSlot(10);
    SetDacVoltage(4, kIdleChannel4Tenths);
    Channel4Tenths = kIdleChannel4Tenths;
}

// Output k of the addressed cell, 1 blown.
uint32_t ReadOutput(int k) {
    const auto v = static_cast<uint32_t>(ReadPinGroup(kOutputGroup, 0, 9));
    return (~v >> k) & 1;
}

// One cell: column c, row code r, output k, special-row flag e, fuse n; up
// to ten tries while programming (or the after-secure mode) does not read
// as it should. A cell that never does fails at its fuse.
int Cell(int c, int r, int k, int e, int mode, uint32_t n) {
    int result = 1;
    for (int attempt = 0; attempt < kTries; ++attempt) {
        SetSupplyPinA(kModePin, 1);
        WritePinGroup(kRowGroup, 0, 3, static_cast<uint64_t>(r));
        WritePinGroup(kColumnGroup, 0, 4, static_cast<uint64_t>(c & 31));
        if (c > 31) SetSupplyPinA(kColumnHighPin, 1);
        if (e == 1) SetSupplyPinA(kFlagPin, 1);
        ExpectedValue = GetBufferBit(n);
        if ((mode == kProgramming && ExpectedValue == 1) || mode == kSecureCheck) {
            if (ReadOutput(k) == 0 || mode == kSecureCheck) {
                SetPin(kStrobePin, 1);
                SetSupplyPinA(OutputPin(k), 1);
                VccPulse();
                SetSupplyPinA(OutputPin(k), 0);
                SetPin(kStrobePin, 0);
                DelayShortUsSlot(1);
            }
        }
        ReadValue = ReadOutput(k);
        SetSupplyPinA(kFlagPin, 0);
        SetSupplyPinA(kColumnHighPin, 0);
        SetSupplyPinA(kModePin, 0);
        result = CheckFuseBit(static_cast<int>(n), 0, static_cast<int>(ReadValue), mode);
        if (result == -1) return -1;
        const bool again = (mode == kProgramming && ReadValue != ExpectedValue) || (mode == kSecureCheck && ReadValue != 1);
        if (!again) return result;
    }
    FailAddress = n;
    return -1;
}

int Pass(int mode) {
    PowerUp(mode);
    uint32_t n = 0;
    int r = 1;
    auto line = [&](int row, int k, int e) {
        for (int c = 0; c < 44 && r == 1; ++c) r = Cell(c, row, k, e, mode, n++);
    };
    line(4, 1, 1);
    for (int k = 0; k < 10 && r == 1; ++k) {
        line(0, k, 1);
        for (int t = 1; t <= kTerms[k] && r == 1; ++t) line(t - 1, k, 0);
    }
    if (r == 1) line(4, 8, 1);
    for (int j = 0; j < 10 && r == 1; ++j) {
        r = Cell(44, 1, j, 1, mode, n++);
        if (r == 1) r = Cell(45, 1, j, 1, mode, n++);
    }
    for (int j = 0; j < 10 && r == 1 && DeviceVariant == 1; ++j) r = Cell(46, 1, j, 1, mode, n++);
    PowerDown();
    return r;
}

// The security cell pulsed and checked in the after-secure mode as fuse
// 5828; its result is the operation's.
int Secure() {
    PowerUp(kProgramming);
    const int r = Cell(0, 5, 1, 1, kSecureCheck, kSecurityFuse);
    PowerDown();
    return r;
}

int Alg310Read(int mode) { return Pass(mode); }
int Alg310Program() { return Pass(kProgramming); }
int Alg310Secure() { return Secure(); }

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 310, .Read = Alg310Read, .Program = Alg310Program, .Secure = Alg310Secure},
};

} // namespace

ROW_FAMILY("FileOrderFusePld", Logic, 370, kAlgorithmRows);
