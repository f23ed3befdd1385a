#include "logic/OtpProductTermPal.h"

#include <string>

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
#include "logic/FuseCells.h"
#include "logic/PldPower.h"

namespace {

// One half of the array: its pins (socket pin numbers).
struct TermHalf {
    int Line[3];     // raised for bits 0, 1, 2 of (line mod 8)
    int Extra;       // raised for bit 1 of the column
    int ProgramPin;  // the programming level, DAC channel 3
    int StrobePin;
    int Outputs[5];  // bit 0 up; output o's pulse pin too
};

// Column and line masks of a layout, byte 0 first (bit i: bit i mod 8 of byte i / 8).
struct TermLayout {
    uint8_t Columns[5];
    uint8_t Lines[10];
};

struct TermRow {
    uint32_t Row;
    int Lines, Columns, OutputsPerHalf, Inputs;
    int FirstInput;
    int FirstReleased, LastReleased; // supply A taken off these after each access
    TermHalf Halves[2];
    int Levels[3]; // programming level (0.1 V) by voltage code; 0: none
    const TermLayout* Layouts;
    uint32_t LayoutCount; // layouts past the masks: every cell (0: none)
    uint32_t FullLayout;  // a layout code where every cell exists, 0 none
};

constexpr TermLayout kLayouts272[] = {
    {{0x3F, 0x33, 0x33, 0xF3}, {0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03}},
    {{0xFF, 0x33, 0x33, 0xFF}, {0x00, 0x0F, 0x03, 0x03, 0x03, 0x03, 0x0F, 0x00}},
    {{0xFF, 0x3F, 0xF3, 0xFF}, {0x00, 0x00, 0x0F, 0x0F, 0x0F, 0x0F, 0x00, 0x00}},
    {{0xFF, 0xFF, 0xFF, 0xFF}, {0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00}},
};
constexpr TermLayout kLayouts273[] = {
    {{0x3F, 0x33, 0x33, 0x33, 0xF3}, {0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03}},
    {{0xFF, 0x33, 0x33, 0x33, 0xFF}, {0x00, 0x0F, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x0F, 0x00}},
    {{0xFF, 0x3F, 0x33, 0xF3, 0xFF}, {0x00, 0x00, 0x0F, 0x0F, 0x03, 0x03, 0x0F, 0x0F, 0x00, 0x00}},
    {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}},
    {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F}},
    {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}},
    {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
};

constexpr TermRow kTermRows[] = {
    {272, 64, 32, 4, 8, 16, 16, 33,
     {{{29, 28, 27}, 26, 15, 25, {33, 32, 31, 30, 0}}, {{32, 31, 30}, 33, 25, 15, {29, 28, 27, 26, 0}}},
     {117, 105, 102}, kLayouts272, 4, 4},
    {273, 80, 40, 5, 10, 14, 14, 35,
     {{{27, 28, 29}, 26, 13, 25, {35, 34, 33, 32, 31}}, {{34, 33, 32}, 35, 25, 13, {30, 29, 28, 27, 26}}},
     {102, 117, 0}, kLayouts273, 7, 0},
};

enum Group { kInputPins = 0, kFirstOutputGroup = 1 };
constexpr int kProgramming = 1, kReading = 2;
constexpr int kProgramSupplyTenths = 50;
constexpr int kReleaseTenths = 50;
constexpr int kPulseSupplyDropTenths = 7; // channel 4 during a pulse: the level less 0.7 V
constexpr int kAfterPulseTenths = 43;
constexpr int kRampStepTenths = 2;        // the strong supply path rises 0.2 V a step
constexpr uint32_t kPulseUs = 40;

const TermRow* Row = nullptr;
int PalProgramVoltage = 0;
int PolarityCode = 0;
uint32_t LayoutCode = 0;
int Channel4Tenths = 0; // channel 4 as last set here

const TermRow* TermRowOf(uint32_t row) {
    for (const TermRow& r : kTermRows)
        if (r.Row == row) return &r;
    return nullptr;
}

bool Bit(const uint8_t* mask, int i) { return ((mask[i / 8] >> (i % 8)) & 1) != 0; }

bool CellExists(const TermRow& r, uint32_t layout, int p, int q) {
    if (layout == r.FullLayout && r.FullLayout != 0) return true;
    const TermLayout& l = r.Layouts[layout];
    return Bit(l.Lines, p) && Bit(l.Columns, q);
}

// The layout code has a table (or means every cell) in the row.
bool LayoutKnown(const TermRow& r, uint32_t layout) {
    return layout < r.LayoutCount || (r.FullLayout != 0 && layout == r.FullLayout);
}

uint32_t CountFuses(const TermRow& r, uint32_t layout) {
    if (!LayoutKnown(r, layout)) return 0;
    uint32_t n = 0;
    for (int p = 0; p < r.Lines; ++p)
        for (int q = 0; q < r.Columns; ++q) n += CellExists(r, layout, p, q) ? 1 : 0;
    return n;
}

// Why a sub-variant cannot be run by the row; empty when it can.
std::string SubVariantRefusal(const TermRow& r, uint32_t subVariant) {
    const uint32_t voltage = (subVariant >> 2) & 3;
    const uint32_t layout = (subVariant >> 4) & 15;
    if (voltage >= 3 || r.Levels[voltage] == 0)
        return "voltage code " + std::to_string(voltage) + " sets no programming level in algorithm " + std::to_string(r.Row);
    if (!LayoutKnown(r, layout))
        return "layout code " + std::to_string(layout) + " past algorithm " + std::to_string(r.Row) + "'s layouts";
    return "";
}

// Decodes the sub-variant; a code without a level or a layout is refused
// before anything is powered.
bool Decode() {
    Row = TermRowOf(CurrentAlgorithm);
    if (Row == nullptr || !SubVariantRefusal(*Row, DeviceSubVariant).empty()) {
        RefuseRun(" Device not supported!");
        return false;
    }
    PolarityCode = DeviceSubVariant & 3;
    PalProgramVoltage = Row->Levels[(DeviceSubVariant >> 2) & 3];
    LayoutCode = (DeviceSubVariant >> 4) & 15u;
    return true;
}

int Half(int p) { return p / (Row->Lines / 2); }
int OutputOf(int p) { return (p % (Row->Lines / 2)) / 8; }

// Whether the value read on a half's outputs is inverted.
bool Inverted(int half) {
    if (Row->Row == 272) return PolarityCode == 0 || (PolarityCode == 2 && half == 1);
    return !(PolarityCode == 2 && half == 0);
}

void DefineGroups() {
    const TermRow& r = *Row;
    const int i = r.FirstInput;
    if (r.Inputs == 8) {
        DefinePinGroup("", kInputPins, i, i + 1, i + 2, i + 3, i + 4, i + 5, i + 6, i + 7, 0);
    } else {
        DefinePinGroup("", kInputPins, i, i + 1, i + 2, i + 3, i + 4, i + 5, i + 6, i + 7, i + 8, i + 9, 0);
    }
    for (int h = 0; h < 2; ++h) {
        const int* o = r.Halves[h].Outputs;
        if (r.OutputsPerHalf == 4) {
            DefinePinGroup("", kFirstOutputGroup + h, o[0], o[1], o[2], o[3], 0);
        } else {
            DefinePinGroup("", kFirstOutputGroup + h, o[0], o[1], o[2], o[3], o[4], 0);
        }
    }
}

// Channel 4 (the strong supply path of the package) moved in steps it may take.
void Channel4To(int tenths) {
    if (tenths > Channel4Tenths) {
        RampVoltageUp(4, Channel4Tenths, tenths, kRampStepTenths, 0);
    } else {
        SetDacVoltage(4, tenths);
    }
    Channel4Tenths = tenths;
}

void PowerUp(int mode) {
    DefineGroups();
    SupplyVoltage = mode == kProgramming ? kProgramSupplyTenths : ReadVccInUse;
    BlankValue = 0;
    SecureCheckValue = 0;
    PldSupplyRangeAndGround(static_cast<int>(SupplyVoltage));
    FloatPinRange(1, 48);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    Channel4Tenths = static_cast<int>(SupplyVoltage) - 11; // the strong path adds 1.1 V
    DelayShortUsSlot(100);
    WritePinGroup(kInputPins, 0, Row->Inputs - 1, 0);
    SetPin(Row->Halves[0].StrobePin, 0);
    SetPin(Row->Halves[1].StrobePin, 0);
}

void PowerDown() { SetDevicePower(0, static_cast<int>(SupplyVoltage)); }

void Select(const TermHalf& h, int p, int q) {
    for (int i = 0; i < Row->Inputs; ++i)
        if (i != q / 4) SetSupplyPinA(Row->FirstInput + i, 1);
    WritePinGroup(kInputPins, 0, Row->Inputs - 1, q % 2 == 0 ? 0 : uint64_t{1} << (q / 4));
    for (int k = 0; k < 3; ++k)
        if ((p % 8 >> k) & 1) SetSupplyPinA(h.Line[k], 1);
    if (q & 2) SetSupplyPinA(h.Extra, 1);
}

// Reads cell (p, q), with one programming pulse first when `program`; the
// value read, 1 programmed.
int Access(int p, int q, bool program) {
    const int half = Half(p);
    const TermHalf& h = Row->Halves[half];
    const int o = OutputOf(p);
    ApplyVoltageToPin(3, h.ProgramPin, 1, PalProgramVoltage);
    Select(h, p, q);
    SetDacVoltage(1, PalProgramVoltage);
    SetDacVoltage(2, PalProgramVoltage);
    DelayShortUsSlot(10);
    if (program) {
        Channel4To(PalProgramVoltage - kPulseSupplyDropTenths);
        SetSupplyPinA(h.Outputs[o], 1);
        DelayShortUsSlot(kPulseUs);
        SetSupplyPinA(h.Outputs[o], 0);
        Channel4To(kAfterPulseTenths);
        DelayShortUsSlot(10);
    }
    PulsePin(h.StrobePin, 3);
    const auto outputs = static_cast<uint32_t>(ReadPinGroup(kFirstOutputGroup + half, 0, Row->OutputsPerHalf - 1));
    const int value = static_cast<int>(((outputs >> o) & 1) ^ (Inverted(half) ? 1u : 0u));
    SetDacVoltage(1, 0);
    SetDacVoltage(2, 0);
    for (int pin = Row->FirstReleased; pin <= Row->LastReleased; ++pin) SetSupplyPinA(pin, 0);
    ApplyVoltageToPin(3, h.ProgramPin, 0, kReleaseTenths);
    return value;
}

int TermRead(int mode) {
    if (!Decode()) return -1;
    PowerUp(kReading);
    int r = 1;
    int n = 0;
    for (int p = 0; p < Row->Lines && r != -1; ++p) {
        for (int q = 0; q < Row->Columns && r != -1; ++q) {
            if (!CellExists(*Row, LayoutCode, p, q)) continue;
            r = CheckFuseBit(n++, 0, Access(p, q, false), mode);
        }
    }
    PowerDown();
    return r;
}

int TermProgram() {
    if (!Decode()) return -1;
    int r = 1;
    PowerUp(kProgramming);
    uint32_t n = 0;
    for (int p = 0; p < Row->Lines && r != -1; ++p) {
        for (int q = 0; q < Row->Columns && r != -1; ++q) {
            if (!CellExists(*Row, LayoutCode, p, q)) continue;
            FailAddress = n;
            ExpectedValue = GetBufferBit(n++);
            if (ExpectedValue == 1 && Access(p, q, true) != 1) r = -1;
        }
    }
    PowerDown();
    return r;
}

// A pulse of `tenths` on one programming pin with channel 4 raised, the pin
// switched on at `onTenths` (the sequence of variant 0).
void SecurePulseRaised(int pin, int onTenths, int tenths) {
    constexpr int kHoldTenths = 100, kRaisedSupplyTenths = 93;
    ApplyVoltageToPin(1, pin, 1, onTenths);
    SetDacVoltage(1, kHoldTenths);
    Channel4To(kRaisedSupplyTenths);
    SetDacVoltage(1, tenths);
    DelayShortUsSlot(30);
    SetDacVoltage(1, kHoldTenths);
    Channel4To(kAfterPulseTenths);
    ApplyVoltageToPin(1, pin, 0, kReleaseTenths);
    DelayShortUsSlot(100);
}

// A 30 us pulse of `tenths` on one programming pin.
void SecurePulse(int pin, int tenths) {
    ApplyVoltageToPin(1, pin, 1, tenths);
    DelayShortUsSlot(30);
    ApplyVoltageToPin(1, pin, 0, kReleaseTenths);
    DelayShortUsSlot(100);
}

int TermSecure() {
    if (!Decode()) return -1;
    PowerUp(kProgramming);
    const int first = Row->Halves[0].ProgramPin, second = Row->Halves[1].ProgramPin;
    if (Row->Row == 272 && DeviceVariant == 0) {
        FloatPinRange(1, 48);
        SecurePulseRaised(first, kReleaseTenths, 160);
        SecurePulseRaised(second, 100, 160);
    } else if (Row->Row == 272 && DeviceVariant == 3) {
        FloatPinRange(1, 48);
        SecurePulse(first, 175);
        SecurePulse(second, 175);
    } else if (Row->Row == 272) {
        SetDevicePower(0, kProgramSupplyTenths);
        FloatPinRange(1, 48);
        DelayShortUsSlot(100);
        SetSupplyPinA(first, 1);
        SetSupplyPinA(second, 1);
        SetDacVoltage(1, 140);
        DelayShortUsSlot(40);
        SetDacVoltage(1, kReleaseTenths);
        SetSupplyPinA(first, 0);
        SetSupplyPinA(second, 0);
    } else if (DeviceVariant == 0) {
        FloatPinRange(1, 48);
        SecurePulseRaised(first, kReleaseTenths, LayoutCode == 4 ? 180 : 160);
        SecurePulseRaised(second, 100, 160);
    } else {
        FloatPinRange(1, 48);
        Channel4To(65);
        DelayShortUsSlot(100);
        SecurePulse(first, 195);
        SecurePulse(second, 195);
    }
    PowerDown();
    return 1;
}

int Alg272Read(int mode) { return TermRead(mode); }
int Alg272Program() { return TermProgram(); }
int Alg272Secure() { return TermSecure(); }
int Alg273Read(int mode) { return TermRead(mode); }
int Alg273Program() { return TermProgram(); }
int Alg273Secure() { return TermSecure(); }

// A record's sub-variant must have a level and a layout, and its fuse count
// must be the layout's.
std::string TermRecordCheck(uint32_t row, const RowRecordFacts& record) {
    const TermRow* r = TermRowOf(row);
    if (r == nullptr) return "";
    if (std::string why = SubVariantRefusal(*r, record.SubVariant); !why.empty()) return why;
    const uint32_t fuses = CountFuses(*r, (record.SubVariant >> 4) & 15);
    if (record.DeviceSize != fuses)
        return "fuse count " + std::to_string(record.DeviceSize) + " is not layout " +
               std::to_string((record.SubVariant >> 4) & 15) + "'s " + std::to_string(fuses);
    return "";
}

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 272, .Read = Alg272Read, .Program = Alg272Program, .Secure = Alg272Secure, .RecordCheck = TermRecordCheck},
    {.Row = 273, .Read = Alg273Read, .Program = Alg273Program, .Secure = Alg273Secure, .RecordCheck = TermRecordCheck},
};

} // namespace

uint32_t ProductTermPalFuses(uint32_t row, uint32_t layout) {
    const TermRow* r = TermRowOf(row);
    return r == nullptr ? 0 : CountFuses(*r, layout);
}

ROW_FAMILY("OtpProductTermPal", Logic, 250, kAlgorithmRows);
