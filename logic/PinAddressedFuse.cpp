#include "logic/PinAddressedFuse.h"

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
constexpr int kProgramSupplyTenths = 50;
constexpr int kSelectPin = 23, kEnablePin = 25;

// ---- rows 281, 282, 286, 313: clocked arrays ----------------------------

enum class ColumnCode { Pair281, Base3, Base2 };

struct ClockedRow {
    uint32_t Row;
    int Columns;
    ColumnCode Code;
    int ColumnPins[6];
    int ColumnPinCount;
    int RowPins[3]; // bit 0 (base 2) or the most significant digit (base 3) first
    int RowPinCount;
    int FirstOutput; // output k on FirstOutput - k
    int ClockPin;
    int Tries;
    int PulseTenths; // channel 4 during the pulse
};

constexpr ClockedRow kClockedRows[] = {
    {281, 32, ColumnCode::Pair281, {16, 17, 18, 19}, 4, {20, 21, 22}, 3, 33, 15, 9, 83},
    {282, 32, ColumnCode::Base3, {16, 17, 18, 19}, 4, {21, 22}, 2, 33, 15, 9, 91},
    {286, 40, ColumnCode::Base3, {14, 15, 16, 17}, 4, {21, 22}, 2, 34, 13, 9, 91},
    {313, 40, ColumnCode::Base2, {19, 18, 17, 16, 15, 14}, 6, {22, 21, 20}, 3, 34, 13, 5, 91},
};

enum ClockedGroup { kOutputGroup = 0, kColumnGroup = 1, kRowGroup = 2 };
constexpr int kIdleChannel4Tenths = 37;
constexpr int kRampStepTenths = 2; // the strong supply path rises 0.2 V a step

const ClockedRow* Clocked = nullptr;
int Channel4Tenths = 0; // channel 4 as last set here

const ClockedRow* ClockedRowOf(uint32_t row) {
    for (const ClockedRow& r : kClockedRows)
        if (r.Row == row) return &r;
    return nullptr;
}

void DefineClockedGroups() {
    const ClockedRow& r = *Clocked;
    const int o = r.FirstOutput;
    DefinePinGroup("", kOutputGroup, o, o - 1, o - 2, o - 3, o - 4, o - 5, o - 6, o - 7, 0);
    const int* c = r.ColumnPins;
    if (r.ColumnPinCount == 4) {
        DefinePinGroup("", kColumnGroup, c[0], c[1], c[2], c[3], 0);
    } else {
        DefinePinGroup("", kColumnGroup, c[0], c[1], c[2], c[3], c[4], c[5], 0);
    }
    if (r.RowPinCount == 2) {
        DefinePinGroup("", kRowGroup, r.RowPins[0], r.RowPins[1], 0);
    } else {
        DefinePinGroup("", kRowGroup, r.RowPins[0], r.RowPins[1], r.RowPins[2], 0);
    }
}

void ClockedPowerUp(int mode) {
    Clocked = ClockedRowOf(CurrentAlgorithm);
    BlankValue = 0;
    if (Clocked->Row == 281) SecureCheckValue = 0;
    DefineClockedGroups();
    SupplyVoltage = mode == kProgramming ? kProgramSupplyTenths : ReadVccInUse;
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(105, 105, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    if (Clocked->Row == 313) {
        FloatPinRange(1, 48);
        WritePinGroup(kRowGroup, 0, 2, 0);
        WritePinGroup(kColumnGroup, 0, 5, 0);
        SetPin(kSelectPin, 0);
        SetPin(13, 0);
        SetPin(kEnablePin, 0);
    } else if (Clocked->Row == 286) {
        SetPin(36, 2);
        for (int p : {18, 19, 20, 26, 35}) SetPin(p, 2);
        FloatPinGroup(kOutputGroup, 0, 7);
    } else {
        SetPin(34, 2);
        FloatPinGroup(kOutputGroup, 0, 7);
    }
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    Channel4Tenths = static_cast<int>(SupplyVoltage) - 11; // the strong path adds 1.1 V
    DelayMsSlot(1);
}

void ClockedPowerDown() { SetDevicePower(0, static_cast<int>(SupplyVoltage)); }

// A pin to 0, 1 or the programming supply.
void PutTrit(int pin, int digit) {
    if (digit == 2) {
        SetSupplyPinA(pin, 1);
    } else {
        SetPin(pin, digit);
    }
}

void PutAddress(int row, int column) {
    const ClockedRow& r = *Clocked;
    int digits[4];
    switch (r.Code) {
    case ColumnCode::Pair281:
        WritePinGroup(kRowGroup, 0, 2, static_cast<uint64_t>(row % 8));
        PinAddressedColumnCode281(column, digits);
        for (int i = 0; i < 4; ++i) PutTrit(r.ColumnPins[i], digits[i]);
        break;
    case ColumnCode::Base3:
        PinAddressedBase3(row % 8, 2, digits);
        for (int i = 0; i < 2; ++i) PutTrit(r.RowPins[i], digits[i]);
        PinAddressedBase3(column, 4, digits);
        for (int i = 0; i < 4; ++i) PutTrit(r.ColumnPins[i], digits[i]);
        break;
    case ColumnCode::Base2:
        WritePinGroup(kRowGroup, 0, 2, static_cast<uint64_t>(row % 8));
        WritePinGroup(kColumnGroup, 0, 5, static_cast<uint64_t>(column));
        break;
    }
}

void ReleaseAddress() {
    const ClockedRow& r = *Clocked;
    if (r.Code != ColumnCode::Base2) {
        for (int i = 0; i < r.ColumnPinCount; ++i) SetSupplyPinA(r.ColumnPins[i], 0);
        if (r.Code == ColumnCode::Base3)
            for (int i = 0; i < r.RowPinCount; ++i) SetSupplyPinA(r.RowPins[i], 0);
    }
    SetSupplyPinA(kSelectPin, 0);
}

// The cell on output k: 1 blown.
uint32_t ReadClocked(int k) {
    if (Clocked->Row == 313) {
        PulsePin(Clocked->ClockPin, 3);
    } else {
        SetPin(Clocked->ClockPin, 1);
        SetPin(Clocked->ClockPin, 0);
    }
    const auto outputs = static_cast<uint32_t>(ReadPinGroup(kOutputGroup, 0, 7));
    return (~outputs >> k) & 1;
}

// VCC to the pulse level for the short delay, then channel 4 at 3.7 V. The
// strong supply path takes the rise in steps.
void VccPulse() {
    RampVoltageUp(4, Channel4Tenths, Clocked->PulseTenths, kRampStepTenths, 0);
    DelayShortUsSlot(10);
    SetDacVoltage(4, kIdleChannel4Tenths);
    Channel4Tenths = kIdleChannel4Tenths;
}

int ClockedPass(int mode) {
    ClockedPowerUp(mode);
    const bool programming = mode == kProgramming;
    int result = 1;
    for (int row = 0; row < 64 && result == 1; ++row) {
        const int k = row / 8;
        for (int column = 0; column < Clocked->Columns && result == 1; ++column) {
            const auto n = static_cast<uint32_t>(row * Clocked->Columns + column);
            ExpectedValue = GetBufferBit(n);
            for (int attempt = 0;; ++attempt) {
                SetSupplyPinA(kSelectPin, 1);
                PutAddress(row, column);
                if (programming && ExpectedValue == 1 && ReadClocked(k) == 0) {
                    SetPin(kEnablePin, 1);
                    SetGroupPinSupply(kOutputGroup, k, 1);
                    VccPulse();
                    SetGroupPinSupply(kOutputGroup, k, 0);
                    SetPin(kEnablePin, 0);
                }
                ReadValue = ReadClocked(k);
                ReleaseAddress();
                if (CheckFuseBit(static_cast<int>(n), 0, static_cast<int>(ReadValue), mode) == -1) {
                    result = -1;
                    break;
                }
                if (!programming || ReadValue == ExpectedValue) break;
                if (attempt == Clocked->Tries - 1) {
                    FailAddress = n;
                    result = -1;
                    break;
                }
            }
        }
    }
    ClockedPowerDown();
    return result;
}

int ClockedSecure() {
    ClockedPowerUp(kProgramming);
    switch (Clocked->Row) {
    case 281:
        SetSupplyPinA(kSelectPin, 1);
        WritePinGroup(kColumnGroup, 0, 3, 15);
        SetSupplyPinA(18, 1);
        SetSupplyPinA(20, 1);
        SetPin(kEnablePin, 1);
        VccPulse();
        SetPin(kEnablePin, 0);
        SetSupplyPinA(20, 0);
        SetSupplyPinA(18, 0);
        SetSupplyPinA(kSelectPin, 0);
        break;
    case 282:
    case 286: {
        const int outputSix = Clocked->FirstOutput - 6;
        SetSupplyPinA(kSelectPin, 1);
        SetSupplyPinA(21, 1);
        SetSupplyPinA(22, 1);
        WritePinGroup(kColumnGroup, 0, 3, 0);
        SetPin(kEnablePin, 1);
        SetSupplyPinA(outputSix, 1);
        VccPulse();
        SetSupplyPinA(outputSix, 0);
        SetPin(kEnablePin, 0);
        SetSupplyPinA(21, 0);
        SetSupplyPinA(22, 0);
        SetSupplyPinA(kSelectPin, 0);
        break;
    }
    default:
        WritePinGroup(kRowGroup, 0, 2, 0);
        WritePinGroup(kColumnGroup, 0, 5, 63);
        SetSupplyPinA(kSelectPin, 1);
        SetSupplyPinA(22, 1);
        SetPin(kEnablePin, 1);
        VccPulse();
        SetPin(kEnablePin, 0);
        SetSupplyPinA(22, 0);
        SetSupplyPinA(kSelectPin, 0);
        break;
    }
    ClockedPowerDown();
    return 1;
}

// ---- rows 289 and 290: ground-addressed arrays ---------------------------

struct GroundRow {
    uint32_t Row;
    int Columns;
    int RowPins[7];
    int ColumnPins[6];
    int ProgramPin, EnablePin, SupplyPin, ReadPin;
    int LowPins[3];
};

constexpr GroundRow kGroundRows[] = {
    {289, 32, {16, 17, 18, 19, 20, 21, 22}, {23, 26, 27, 28, 29, 30}, 15, 33, 34, 32, {31, 15, 16}},
    {290, 40, {14, 15, 16, 17, 18, 19, 20}, {21, 22, 23, 26, 27, 28}, 13, 35, 36, 34, {13, 14, 0}},
};

enum GroundGroup { kGroundRowGroup = 0, kGroundColumnGroup = 1, kLowGroup = 2 };
constexpr int kStrobePin = 25;
constexpr int kSecureRow = 72, kSecureColumn = 65;

const GroundRow* Grounded = nullptr;

void GroundPowerUp() {
    Grounded = CurrentAlgorithm == 289 ? &kGroundRows[0] : &kGroundRows[1];
    const GroundRow& g = *Grounded;
    BlankValue = 0;
    SecureCheckValue = 1;
    const int* r = g.RowPins;
    DefinePinGroup("", kGroundRowGroup, r[0], r[1], r[2], r[3], r[4], r[5], r[6], 0);
    const int* c = g.ColumnPins;
    DefinePinGroup("", kGroundColumnGroup, c[0], c[1], c[2], c[3], c[4], c[5], 0);
    DefinePinGroup("", kLowGroup, 29, 30, 31, 32, 33, 0);
    SupplyVoltage = kProgramSupplyTenths;
    SetVccRange(1, kProgramSupplyTenths);
    SetAllDacVoltages(147, 147, 0, 87);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    for (int p : g.LowPins)
        if (p != 0) SetPin(p, 0);
    if (g.Row == 290) WritePinGroup(kLowGroup, 0, 4, 0);
    WritePinGroup(kGroundRowGroup, 0, 6, 0x7F);
    WritePinGroup(kGroundColumnGroup, 0, 5, 0x3F);
    SetPin(g.EnablePin, 1);
    SetPin(kStrobePin, 1);
    SetGroundPin(g.EnablePin, 1);
}

void Strobe() {
    SetGroundPin(kStrobePin, 1);
    DelayShortUsSlot(30);
    SetGroundPin(kStrobePin, 0);
}

uint32_t ReadGrounded() {
    SetGroundPin(kStrobePin, 1);
    const auto v = static_cast<uint32_t>(GetPin(Grounded->ReadPin));
    SetGroundPin(kStrobePin, 0);
    return v;
}

void GroundAddress(uint32_t row, uint32_t column) {
    WriteGroupGroundPins(kGroundRowGroup, 0, 6, PinAddressedGroundCode(row, 7));
    WriteGroupGroundPins(kGroundColumnGroup, 0, 5, PinAddressedGroundCode(column, 6));
}

int GroundPass(int mode) {
    GroundPowerUp();
    const GroundRow& g = *Grounded;
    const bool programming = mode == kProgramming;
    int result = 1;
    for (int row = 0; row < 64 && result == 1; ++row) {
        for (int column = 0; column < g.Columns && result == 1; ++column) {
            const auto n = static_cast<uint32_t>(row * g.Columns + column);
            ExpectedValue = GetBufferBit(n);
            GroundAddress(static_cast<uint32_t>(row), static_cast<uint32_t>(column));
            SetSupplyPinB(g.SupplyPin, 1);
            DelayShortUsSlot(10);
            if (programming && ExpectedValue == 1 && ReadGrounded() == 0) {
                SetGroundPin(g.EnablePin, 0);
                SetSupplyPinA(g.ProgramPin, 1);
                Strobe();
                SetSupplyPinA(g.ProgramPin, 0);
                SetGroundPin(g.EnablePin, 1);
            }
            ReadValue = ReadGrounded();
            SetSupplyPinB(g.SupplyPin, 0);
            DelayShortUsSlot(10);
            if (CheckFuseBit(static_cast<int>(n), 0, static_cast<int>(ReadValue), mode) == -1) {
                result = -1;
            } else if (programming && ReadValue != ExpectedValue) {
                FailAddress = n;
                result = -1;
            }
        }
    }
    return result;
}

int GroundSecure() {
    GroundPowerUp();
    const GroundRow& g = *Grounded;
    const int rowBit0 = g.RowPins[0];
    WriteGroupGroundPins(kGroundRowGroup, 0, 6, PinAddressedGroundCode(kSecureRow, 7));
    SetGroundPin(rowBit0, 0);
    WriteGroupGroundPins(kGroundColumnGroup, 0, 5, PinAddressedGroundCode(kSecureColumn, 6));
    SetSupplyPinB(g.SupplyPin, 1);
    DelayShortUsSlot(10);
    SetGroundPin(g.EnablePin, 0);
    SetSupplyPinA(rowBit0, 1);
    Strobe();
    SetSupplyPinA(rowBit0, 0);
    SetGroundPin(g.EnablePin, 1);
    SetSupplyPinB(g.SupplyPin, 0);
    DelayShortUsSlot(10);
    return 1;
}

int Alg281Read(int mode) { return ClockedPass(mode); }
int Alg281Program() { return ClockedPass(kProgramming); }
int Alg281Secure() { return ClockedSecure(); }
int Alg282Read(int mode) { return ClockedPass(mode); }
int Alg282Program() { return ClockedPass(kProgramming); }
int Alg282Secure() { return ClockedSecure(); }
int Alg286Read(int mode) { return ClockedPass(mode); }
int Alg286Program() { return ClockedPass(kProgramming); }
int Alg286Secure() { return ClockedSecure(); }
int Alg313Read(int mode) { return ClockedPass(mode); }
int Alg313Program() { return ClockedPass(kProgramming); }
int Alg313Secure() { return ClockedSecure(); }
int Alg289Read(int mode) { return GroundPass(mode); }
int Alg289Program() { return GroundPass(kProgramming); }
int Alg289Secure() { return GroundSecure(); }
int Alg290Read(int mode) { return GroundPass(mode); }
int Alg290Program() { return GroundPass(kProgramming); }
int Alg290Secure() { return GroundSecure(); }

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 281, .Read = Alg281Read, .Program = Alg281Program, .Secure = Alg281Secure},
    {.Row = 282, .Read = Alg282Read, .Program = Alg282Program, .Secure = Alg282Secure},
    {.Row = 286, .Read = Alg286Read, .Program = Alg286Program, .Secure = Alg286Secure},
    {.Row = 313, .Read = Alg313Read, .Program = Alg313Program, .Secure = Alg313Secure},
    {.Row = 289, .Read = Alg289Read, .Program = Alg289Program, .Secure = Alg289Secure},
    {.Row = 290, .Read = Alg290Read, .Program = Alg290Program, .Secure = Alg290Secure},
};

} // namespace

void PinAddressedColumnCode281(int column, int digits[4]) {
    static constexpr int kPairs[8][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}, {0, 2}, {1, 2}, {2, 0}, {2, 1}};
    digits[0] = column & 1;
    digits[1] = (column >> 1) & 1;
    digits[2] = kPairs[(column >> 2) & 7][0];
    digits[3] = kPairs[(column >> 2) & 7][1];
}

void PinAddressedBase3(int value, int pins, int* digits) {
    for (int i = pins - 1; i >= 0; --i) {
        digits[i] = value % 3;
        value /= 3;
    }
}

uint32_t PinAddressedGroundCode(uint32_t value, int pins) { return ~value & ((1u << pins) - 1); }

ROW_FAMILY("PinAddressedFuse", Logic, 260, kAlgorithmRows);
