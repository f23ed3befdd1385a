// Row 275: a one-time ten-output macrocell array (the 22V10 JEDEC map of
// 5828 fuses) programmed and read one fuse cell at a time, each cell blown
// with up to 125 pulses until it reads blown.

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
constexpr int kProgramVccTenths = 52;
constexpr int kClockPin = 13, kEnablePin = 25, kFlagPin = 17;
constexpr int kTries = 125;
constexpr int kTerms[10] = {8, 10, 12, 14, 16, 16, 14, 12, 10, 8};

enum Group { kOutputGroup = 0, kRowGroup = 1, kColumnGroup = 2 };

// Set by a cell whose fuse did not blow within kTries pulses.
bool NotBlown = false;

int OutputPin(int k) { return 35 - k; }

void PowerUp(int mode) {
    BlankValue = 0;
    SecureCheckValue = 1;
    // The driver's read-back after Secure would check every cell in mode 6;
    // Secure checks its own cell instead.
    ReadBackAfterSecure = 0;
    DefinePinGroup("", kOutputGroup, 35, 34, 33, 32, 31, 30, 29, 28, 27, 26, 0);
    DefinePinGroup("", kRowGroup, 14, 15, 16, 17, 0);
    DefinePinGroup("", kColumnGroup, 18, 19, 20, 21, 22, 23, 0);
    SupplyVoltage = mode == kProgramming ? kProgramVccTenths : ReadVccInUse;
    if (mode == kProgramming) Vccp = kProgramVccTenths;
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(150, 150, 110, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    WritePinGroup(kRowGroup, 0, 3, 0);
    WritePinGroup(kColumnGroup, 0, 5, 0);
    SetPin(kClockPin, 0);
    SetPin(kEnablePin, 1);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(10);
}

void PowerDown() { SetDevicePower(0, static_cast<int>(SupplyVoltage)); }

// Output k of the addressed cell, 1 blown.
void ReadOutput(int k) {
    PulsePinTimed(kClockPin, 3, 10);
    const auto v = static_cast<uint32_t>(ReadPinGroup(kOutputGroup, 0, 9));
    ReadValue = (~v >> k) & 1;
}

// One cell: column c, row code r, output k, special-row flag e, fuse n. In
// programming a cell whose buffer bit is 1 and reads intact is pulsed until
// it reads blown; `pulse` does the same for the security cell whatever the
// buffer holds. Every mode then checks the cell.
int Cell(int c, int r, int k, int e, int mode, uint32_t n, bool pulse = false) {
    NotBlown = false;
    WritePinGroup(kRowGroup, 0, 3, static_cast<uint64_t>(r));
    WritePinGroup(kColumnGroup, 0, 5, static_cast<uint64_t>(c));
    if (e == 1) SetSupplyPinB(kFlagPin, 1);
    ExpectedValue = pulse ? 1 : GetBufferBit(n);
    SetSupplyPinB(kEnablePin, 1);
    ReadOutput(k);
    SetSupplyPinB(kEnablePin, 0);
    if ((mode == kProgramming || pulse) && ExpectedValue == 1 && ReadValue == 0) {
        for (int i = 0; i < kTries; ++i) {
            SetSupplyPinB(kClockPin, 1);
            SetSupplyPinA(OutputPin(k), 1);
            SetSupplyPinB(kEnablePin, 1);
            DelayShortUsSlot(50);
            SetSupplyPinA(OutputPin(k), 0);
            SetSupplyPinB(kClockPin, 0);
            ReadOutput(k);
            if (ReadValue == 1) break;
            SetSupplyPinB(kEnablePin, 0);
        }
        SetSupplyPinB(kEnablePin, 0);
        NotBlown = ReadValue == 0;
    }
    SetSupplyPinB(kFlagPin, 0);
    if (NotBlown && mode == kProgramming) {
        FailAddress = n;
        return -1;
    }
    return CheckFuseBit(static_cast<int>(n), 0, static_cast<int>(ReadValue), mode);
}

// The map in JEDEC order: the reset row, per output its output-enable row
// and product terms, the preset row, the two architecture bits per output.
int Pass(int mode) {
    PowerUp(mode);
    uint32_t n = 0;
    int r = 1;
    auto line = [&](int row, int k, int e) {
        for (int c = 0; c < 44 && r == 1; ++c) r = Cell(c, row, k, e, mode, n++);
    };
    line(3, 1, 1);
    for (int k = 0; k < 10 && r == 1; ++k) {
        line(0, k, 1);
        for (int t = 1; t <= kTerms[k] && r == 1; ++t) line(t - 1, k, 0);
    }
    if (r == 1) line(3, 8, 1);
    for (int j = 0; j < 10 && r == 1; ++j) {
        r = Cell(63, 1, j, 1, mode, n++);
        if (r == 1) r = Cell(63, 2, j, 1, mode, n++);
    }
    PowerDown();
    return r;
}

// The security cell blown as a programmed cell, then checked in the
// after-secure mode as fuse 0: its result is the operation's.
int Secure() {
    PowerUp(kProgramming);
    const int r = Cell(63, 5, 1, 1, kSecureCheck, 0, true);
    PowerDown();
    return r;
}

int Alg275Read(int mode) { return Pass(mode); }
int Alg275Program() { return Pass(kProgramming); }
int Alg275Secure() { return Secure(); }

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 275, .Read = Alg275Read, .Program = Alg275Program, .Secure = Alg275Secure},
};

} // namespace

ROW_FAMILY("MacrocellFusePld", Logic, 350, kAlgorithmRows);
