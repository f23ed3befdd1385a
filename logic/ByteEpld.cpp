#include "logic/ByteEpld.h"

#include <utility>

#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/RowDef.h"
#include "logic/FuseCells.h"

const uint8_t AddressTable200[37] = {1,  3,  2,  4,  5,  7,  33, 35, 9,  11, 29, 31, 13, 15, 25, 27, 17, 19, 21,
                                     23, 18, 20, 24, 22, 14, 16, 28, 26, 10, 12, 32, 30, 6,  8,  36, 34, 37};
const uint8_t SelectTable201[15] = {0, 1, 2, 3, 4, 5, 6, 8, 10, 11, 12, 13, 14, 15, 16};
const uint8_t UsedBits201[15] = {0xFF, 0xFF, 0xFC, 0xFC, 0xFC, 0xC0, 0xFF, 0xFF,
                                 0xFF, 0xF0, 0xFC, 0xF0, 0xFF, 0xFC, 0x0F};
const uint8_t LineBase201[15] = {0, 8, 16, 22, 28, 34, 36, 44, 52, 60, 64, 70, 74, 82, 88};
const uint8_t RowSelect203[15] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 16};
const uint8_t ColumnAddress203[36] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 20, 21,
                                      18, 19, 24, 25, 22, 23, 28, 29, 26, 27, 32, 33, 30, 31, 36, 37, 40, 41};

namespace {

constexpr int kWriting = 1;
constexpr int kAfterSecure = 6;
constexpr int kEraseMode = 5;
enum Group { kBusGroup = 0, kModeGroup = 1, kLowGroup = 2 };
// Bus group positions: D0-D7, then the select code.
constexpr int kSelectFirst = 8;
enum ModeLines { kEraseLines = 0, kReadLines = 1, kEraseLines2 = 2, kProgramLines = 3 };

// How a row gives its cell pulse.
enum class Style : uint8_t {
    Ramped,      // rows 311, 312: 2.0 V ramped to 16.0 V, the bias ramped to 12.5 V
    HighVoltage, // row 200: 10.0 V ramped to 14.7 V on DAC channel 2
    Logic,       // rows 201-203: a 10 ms logic pulse, the bias fixed
};

// Voltages (0.1 V) and times.
constexpr int kLogicSupply = 50;
constexpr int kBiasStart = 50, kBiasLevel = 125, kBiasStepUs = 266;
constexpr int kPulseStart = 20, kPulseLevel = 160, kPulseStep = 20;
constexpr int kHvStart = 100, kHvEraseStart = 50, kHvLevel = 147, kHvStep = 3, kHvStepUs = 10;
constexpr int kBiasChannel = 1, kHvChannel = 2, kSideChannel = 3;
constexpr uint32_t kCellPulseMs = 10;
constexpr uint32_t kLongEraseMs = 100;
constexpr uint32_t kSecurePulse200Ms = 300;
constexpr int kLines0 = 32, kLines1 = 42; // array lines of rows 311/312, small and large variant
constexpr int kSpecialColumns = 10;       // the 36/44-fuse lines past the small array

struct ByteEpldRow;
using WalkFn = std::vector<CellByte> (*)(const ByteEpldRow&, int variant, int subVariant);

struct ByteEpldRow {
    uint32_t Row;
    Style Pulse;
    int Data[8];
    int Select[5];
    int Mode[2];
    int Strobe, PulsePin, Bias;
    int ReadEnable;      // row 200's read enable (0: the pulse pin reads)
    int Low[4];          // a pin group of its own driven low at power-up (0: none)
    int BiasTenths[2];   // DeviceVariant 0, other (Logic and HighVoltage rows)
    uint32_t LastEraseMs[2];
    WalkFn Walk;
    // Rows 311/312: fuses per array line by variant, kind-0 columns, whether
    // kind-0 addresses skip 28-35, modes taking kind 2 uncomplemented or
    // skipping it, and the power-up mode of Secure.
    int LineWidth[2];
    int Columns;
    bool SkipAddresses;
    uint8_t Kind2Plain[2];
    uint8_t Kind2Skip[2];
    int SecurePowerMode;
};

constexpr uint8_t Bit(int m) { return static_cast<uint8_t>(1u << m); }

CellByte MakeByte(int kind, int select, int bus) {
    CellByte c{};
    c.Kind = kind;
    c.Select = select;
    c.Bus = bus;
    return c;
}

// --- Rows 311 and 312

int Large(int variant) { return variant == 0 ? 0 : 1; }

// First fuse of the inverted kind-2 fuses, past the array and its special columns.
uint32_t Kind2Base(const ByteEpldRow& t, int variant) {
    const auto w = static_cast<uint32_t>(t.LineWidth[Large(variant)]);
    if (variant == 0) return kLines0 * w + kSpecialColumns * static_cast<uint32_t>(t.Columns);
    return kLines1 * w;
}

uint32_t Kind0Fuse(const ByteEpldRow& t, int variant, int line, int b) {
    const auto w = static_cast<uint32_t>(t.LineWidth[Large(variant)]);
    const auto ub = static_cast<uint32_t>(b);
    if (variant != 0 || line < kLines0) return w * static_cast<uint32_t>(line) + ub;
    return kLines0 * w + static_cast<uint32_t>(t.Columns) * static_cast<uint32_t>(line - kLines0) + ub;
}

std::vector<CellByte> WalkRamped(const ByteEpldRow& t, int variant, int) {
    std::vector<CellByte> walk;
    const int large = Large(variant);
    const auto w = static_cast<uint32_t>(t.LineWidth[large]);
    for (int a = 0; a <= 5; ++a) {
        for (int b = 0; b < t.Columns; ++b) {
            CellByte c = MakeByte(0, a, 2 * (t.SkipAddresses && b >= 28 ? b + 8 : b));
            for (int p = 7; p >= 0; --p)
                if (a < 5 || p <= 1) c.Add(p, Kind0Fuse(t, variant, 8 * a + p, b));
            walk.push_back(c);
        }
    }
    // Kind 1: the array's special columns; the first select carries fewer.
    static constexpr int kPositions[2][3][8] = {{{2, 0}, {6, 4, 2, 0}, {6, 4, 2, 0}},
                                                {{3, 2, 1, 0}, {7, 6, 5, 4, 3, 2, 1, 0}, {7, 6, 5, 4, 3, 2, 1, 0}}};
    static constexpr int kCount[2][3] = {{2, 4, 4}, {4, 8, 8}};
    const int lines = variant == 0 ? kLines0 : kLines1;
    int base = 0;
    for (int a = 0; a <= 2; ++a) {
        for (int b = 0; b < lines; ++b) {
            CellByte c = MakeByte(1, 10 - a, 2 * b);
            for (int i = 0; i < kCount[large][a]; ++i)
                c.Add(kPositions[large][a][i],
                      w * static_cast<uint32_t>(b) + static_cast<uint32_t>(t.Columns + base + i));
            if (variant == 0) c.OrMask = 0xAA;
            walk.push_back(c);
        }
        base += kCount[large][a];
    }
    const uint32_t k2 = Kind2Base(t, variant);
    for (int a = 0; a <= 1; ++a) {
        CellByte c = MakeByte(2, 11, 2 * (44 - a));
        if (a == 0) {
            c.Add(1, k2);
            c.Add(0, k2 + 1);
        } else {
            for (int p = 7; p >= 0; --p) c.Add(p, k2 + 2 + static_cast<uint32_t>(7 - p));
        }
        c.Complemented = true;
        c.PlainModes = t.Kind2Plain[large];
        c.SkipModes = t.Kind2Skip[large];
        walk.push_back(c);
    }
    if (variant == 0) return walk;
    const uint32_t last = k2 + kSpecialColumns + 15;
    for (int a = 0; a <= 1; ++a) {
        CellByte c = MakeByte(3, 12 + a, 2 * 42);
        for (int p = 7; p >= 0; --p) c.Add(p, last - static_cast<uint32_t>(8 * a + p));
        walk.push_back(c);
    }
    return walk;
}

// --- Row 200: every byte stored inverted (programmed where the buffer bit is 0).

std::vector<CellByte> Walk200(const ByteEpldRow&, int, int) {
    std::vector<CellByte> walk;
    auto add = [&](int kind, int select, int b) {
        walk.push_back(MakeByte(kind, select, AddressTable200[b]));
        walk.back().Complemented = true;
        walk.back().PlainModes = 0xFF;
        return &walk.back();
    };
    for (int a = 0; a <= 7; ++a)
        for (int b = 0; b <= 35; ++b) {
            CellByte* c = add(0, 8 - a, b);
            for (int p = 7; p >= 0; --p) c->Add(p, static_cast<uint32_t>(36 * (8 * a + 7 - p) + b));
        }
    for (int b = 0; b <= 35; ++b) {
        CellByte* c = add(1, 9, b);
        for (int p = 7; p >= 0; --p) c->Add(p, static_cast<uint32_t>(2304 + 36 * (7 - p) + b));
    }
    for (int b = 0; b <= 35; ++b) {
        CellByte* c = add(2, 10, b);
        c->Add(1, static_cast<uint32_t>(2592 + b));
        c->Add(0, static_cast<uint32_t>(2628 + b));
    }
    for (int a = 0; a <= 7; ++a) {
        CellByte* c = add(3, 8 - a, 36);
        for (int i = 0; i < 4; ++i) c->Add(2 * i + 1, static_cast<uint32_t>(2664 + 4 * a + i));
    }
    return walk;
}

// --- Rows 201-203: the special bytes at address 44 of the upper selects.

void AddSpecialSelects(std::vector<CellByte>& walk, int first, int last, uint32_t base, int positions) {
    for (int a = first; a <= last; ++a) {
        CellByte c = MakeByte(1, a, 44);
        for (int i = 0; i < positions; ++i)
            c.Add(2 * i, base + static_cast<uint32_t>(positions * (a - first) + i));
        walk.push_back(c);
    }
}

std::vector<CellByte> Walk201(const ByteEpldRow&, int, int) {
    std::vector<CellByte> walk;
    for (int a = 0; a <= 14; ++a)
        for (int b = 0; b <= 43; ++b) {
            CellByte c = MakeByte(0, SelectTable201[a], b);
            int line = LineBase201[a];
            for (int p = 0; p < 8; ++p)
                if ((UsedBits201[a] >> p) & 1) c.Add(p, static_cast<uint32_t>(44 * line++ + b));
            walk.push_back(c);
        }
    AddSpecialSelects(walk, 17, 26, 4048, 4);
    return walk;
}

std::vector<CellByte> Walk202(const ByteEpldRow&, int, int subVariant) {
    std::vector<CellByte> walk;
    for (int a = 0; a <= 16; ++a)
        for (int b = 0; b <= 43; ++b) {
            CellByte c = MakeByte(0, a, b);
            for (int p = 0; p < (a <= 15 ? 8 : 4); ++p)
                c.Add(p, static_cast<uint32_t>(a <= 15 ? 44 * (8 * a + p) + b : 5632 + 44 * p + b));
            walk.push_back(c);
        }
    AddSpecialSelects(walk, 17, 26, 5808, subVariant == 1 ? 4 : 2);
    if (subVariant != 1) return walk;
    CellByte c = MakeByte(2, 28, 44);
    c.Add(0, 5848);
    walk.push_back(c);
    for (int a = 29; a <= 31; ++a) {
        CellByte d = MakeByte(3, a, 63);
        for (int i = 0; i < 8; ++i) d.Add(7 - i, static_cast<uint32_t>(5849 + 8 * (a - 29) + i));
        walk.push_back(d);
    }
    return walk;
}

std::vector<CellByte> Walk203(const ByteEpldRow&, int, int) {
    std::vector<CellByte> walk;
    for (int a = 0; a <= 14; ++a)
        for (int b = 0; b <= 35; ++b) {
            CellByte c = MakeByte(0, RowSelect203[a], ColumnAddress203[b]);
            if (a == 14) {
                c.Add(3, static_cast<uint32_t>(3996 + b));
                c.Add(4, static_cast<uint32_t>(3996 + 36 + b));
            } else {
                for (int p = 0; p < (a == 13 ? 7 : 8); ++p) c.Add(p, static_cast<uint32_t>(36 * (8 * a + p) + b));
            }
            walk.push_back(c);
        }
    AddSpecialSelects(walk, 17, 24, 4068, 4);
    CellByte c = MakeByte(2, 27, 44);
    c.Add(2, 4100);
    c.Add(4, 4101);
    c.OrMask = 0x01; // the security cell stays unprogrammed
    walk.push_back(c);
    for (int a = 0; a <= 7; ++a) {
        CellByte d = MakeByte(3, 17 + a, 63);
        for (int p = 0; p < 8; ++p) d.Add(p, static_cast<uint32_t>(4102 + 8 * a + p));
        walk.push_back(d);
    }
    return walk;
}

// --- The rows

const ByteEpldRow kRow311{311, Style::Ramped, {26, 27, 28, 29, 30, 31, 32, 33}, {21, 22, 23, 25, 0}, {16, 17},
                          20, 18, 15, 0, {19, 0, 0, 0}, {kBiasLevel, kBiasLevel}, {kCellPulseMs, kCellPulseMs},
                          WalkRamped, {46, 56}, 36, true, {0, 0}, {Bit(0) | Bit(6), Bit(0) | Bit(6)}, kWriting};
const ByteEpldRow kRow312{312, Style::Ramped, {27, 29, 30, 31, 32, 33, 34, 35}, {21, 22, 23, 26, 0}, {14, 15},
                          18, 16, 13, 0, {19, 20, 25, 28}, {kBiasLevel, kBiasLevel}, {kCellPulseMs, kCellPulseMs},
                          WalkRamped, {54, 64}, 44, false, {Bit(0), Bit(0) | Bit(6)}, {Bit(6), 0}, kAfterSecure};
const ByteEpldRow kRow200{200, Style::HighVoltage, {26, 27, 28, 29, 30, 31, 32, 33}, {19, 20, 21, 22, 0}, {16, 17},
                          25, 18, 15, 23, {0, 0, 0, 0}, {122, 122}, {kCellPulseMs, kCellPulseMs},
                          Walk200, {0, 0}, 0, false, {0, 0}, {0, 0}, kWriting};
const ByteEpldRow kRow201{201, Style::Logic, {28, 29, 30, 31, 32, 33, 34, 35}, {19, 20, 21, 22, 23}, {14, 15},
                          18, 16, 13, 0, {0, 0, 0, 0}, {155, 147}, {kCellPulseMs, kLongEraseMs},
                          Walk201, {0, 0}, 0, false, {0, 0}, {0, 0}, kWriting};
const ByteEpldRow kRow202{202, Style::Logic, {28, 29, 30, 31, 32, 33, 34, 35}, {19, 20, 21, 22, 23}, {14, 15},
                          18, 16, 13, 0, {0, 0, 0, 0}, {155, 147}, {kCellPulseMs, kLongEraseMs},
                          Walk202, {0, 0}, 0, false, {0, 0}, {0, 0}, kWriting};
const ByteEpldRow kRow203{203, Style::Logic, {26, 27, 28, 29, 30, 31, 32, 33}, {20, 21, 22, 23, 25}, {16, 17},
                          19, 18, 15, 0, {0, 0, 0, 0}, {142, 142}, {kCellPulseMs, kCellPulseMs},
                          Walk203, {0, 0}, 0, false, {0, 0}, {0, 0}, kWriting};

const ByteEpldRow* RowFor(uint32_t row) {
    for (const ByteEpldRow* t : {&kRow311, &kRow312, &kRow200, &kRow201, &kRow202, &kRow203})
        if (t->Row == row) return t;
    return nullptr;
}

// The ten bytes rows 311/312 need at addresses 32-41 of the kind-1 selects
// in the small variant.
constexpr int kFixedSelect[10] = {8, 8, 8, 8, 9, 9, 9, 9, 10, 10};
constexpr uint8_t kFixedData[10] = {0xFD, 0xF7, 0xDF, 0x7F, 0xFD, 0xF7, 0xDF, 0x7F, 0x0D, 0x07};
constexpr int kSecureSelect = 11, kSecureAddress = 44;
constexpr uint8_t kSecureData = 0x03;
constexpr int kSecureSelect201 = 27;
constexpr uint8_t kSecureData201 = 0xFE;

int SelectBits(const ByteEpldRow& t) { return t.Select[4] != 0 ? 5 : 4; }
int VariantIndex() { return DeviceVariant == 0 ? 0 : 1; }

void SetModeLines(int m) { WritePinGroup(kModeGroup, 0, 1, static_cast<uint64_t>(m)); }
void SetSelect(const ByteEpldRow& t, int s) {
    WritePinGroup(kBusGroup, kSelectFirst, kSelectFirst + SelectBits(t) - 1, static_cast<uint64_t>(s));
}
void SetBus(int v) { WritePinGroup(kBusGroup, 0, 7, static_cast<uint64_t>(v)); }

void PowerUpCellArray(const ByteEpldRow& t, int mode) {
    SecureCheckValue = 0;
    DefinePinGroup("", kBusGroup, t.Data[0], t.Data[1], t.Data[2], t.Data[3], t.Data[4], t.Data[5], t.Data[6],
                   t.Data[7], t.Select[0], t.Select[1], t.Select[2], t.Select[3], t.Select[4], 0);
    DefinePinGroup("", kModeGroup, t.Mode[0], t.Mode[1], 0);
    if (t.Low[1] != 0) DefinePinGroup("", kLowGroup, t.Low[0], t.Low[1], t.Low[2], t.Low[3], 0);
    const bool logicSupply = mode == kWriting || (t.Pulse == Style::Ramped && mode == kAfterSecure);
    SupplyVoltage = logicSupply ? kLogicSupply : ReadVccInUse;
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    if (t.Pulse == Style::HighVoltage) {
        SetAllDacVoltages(0, mode == kWriting ? kHvStart : mode == kEraseMode ? kHvEraseStart : kHvLevel, 0, 0);
    } else {
        SetAllDacVoltages(t.Pulse == Style::Logic ? kLogicSupply : 0, 0, 0, 0);
    }
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    SetSelect(t, 0);
    SetModeLines(kEraseLines);
    if (t.Low[1] != 0) WritePinGroup(kLowGroup, 0, 3, 0);
    else if (t.Low[0] != 0) SetPin(t.Low[0], 0);
    for (int pin : {t.Bias, t.PulsePin, t.Strobe, t.ReadEnable})
        if (pin != 0) SetPin(pin, 0);
    if (t.Row == 312) SetPin(17, 0);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    switch (t.Pulse) {
    case Style::Ramped:
        DelayMsSlot(1);
        ApplyVppToPin(t.Bias, 1, kBiasStart);
        RampVoltageUp(kBiasChannel, kBiasStart, kBiasLevel, 1, kBiasStepUs);
        break;
    case Style::HighVoltage:
        DelayShortUsSlot(100);
        ApplyVoltageToPin(kBiasChannel, t.Bias, 1, t.BiasTenths[0]);
        DelayUsSlot(1000);
        break;
    case Style::Logic:
        DelayShortUsSlot(50);
        ApplyVoltageToPin(kBiasChannel, t.Bias, 1, t.BiasTenths[VariantIndex()]);
        break;
    }
}

void PowerDownCellArray(const ByteEpldRow& t) {
    FloatPinGroup(kBusGroup, 0, 7);
    switch (t.Pulse) {
    case Style::Ramped:
        RampVoltageDown(kBiasChannel, kBiasLevel, kBiasStart, 1, kBiasStepUs);
        ApplyVppToPin(t.Bias, 0, kPulseStart);
        DelayShortUsSlot(100);
        SetDevicePower(0, static_cast<int>(SupplyVoltage));
        DelayShortUsSlot(100);
        SetDeviceGround(0);
        break;
    case Style::HighVoltage:
        ApplyVoltageToPin(kBiasChannel, t.Bias, 0, 0);
        DelayShortUsSlot(100);
        SetDevicePower(0, static_cast<int>(SupplyVoltage));
        DelayShortUsSlot(100);
        SetDeviceGround(0);
        break;
    case Style::Logic:
        ApplyVoltageToPin(kBiasChannel, t.Bias, 0, kLogicSupply);
        SetPin(t.Bias, 0);
        SetDevicePower(0, static_cast<int>(SupplyVoltage));
        break;
    }
}

int RampChannel(int pin) { return pin % 2 == 0 ? 2 : 1; }

// Rows 311/312: the cell pulse pin raised to 16.0 V; `hold` runs at the top.
template <class Hold> void RampedPulse(const ByteEpldRow& t, Hold hold) {
    const int ch = RampChannel(t.PulsePin);
    ApplyVppToPin(t.PulsePin, 1, kPulseStart);
    RampVoltageUp(ch, kPulseStart, kPulseLevel, kPulseStep, 0);
    hold();
    RampVoltageDown(ch, kPulseLevel, kPulseStart, kPulseStep, 0);
    ApplyVppToPin(t.PulsePin, 0, kPulseStart);
}

// Latches select and address, then gives the byte on the bus one 10 ms pulse.
void WriteLatchedByte(const ByteEpldRow& t, int select, int bus, uint32_t data) {
    SetSelect(t, select);
    SetBus(bus);
    SetPin(t.Strobe, 1);
    SetBus(static_cast<int>(data & 0xFF));
    switch (t.Pulse) {
    case Style::Ramped:
        RampedPulse(t, [] { DelayMsSlot(kCellPulseMs); });
        break;
    case Style::HighVoltage:
        ApplyVoltageToPin(kHvChannel, t.PulsePin, 1, kHvStart);
        RampVoltageUp(kHvChannel, kHvStart, kHvLevel, kHvStep, kHvStepUs);
        SetPin(t.Strobe, 0);
        DelayMsSlot(kCellPulseMs);
        ApplyVoltageToPin(kHvChannel, t.PulsePin, 0, kHvStart);
        break;
    case Style::Logic:
        PulsePinTimed(t.PulsePin, 3, kCellPulseMs * 1000);
        break;
    }
    SetPin(t.Strobe, 0);
}

uint32_t ReadLatchedByte(const ByteEpldRow& t, int select, int bus) {
    SetSelect(t, select);
    SetBus(bus);
    SetPin(t.Strobe, 1);
    uint32_t v = 0;
    switch (t.Pulse) {
    case Style::Ramped:
        FloatPinGroup(kBusGroup, 0, 7);
        RampedPulse(t, [&] { v = static_cast<uint32_t>(ReadPinGroup(kBusGroup, 0, 7)); });
        break;
    case Style::HighVoltage:
        SetPin(t.ReadEnable, 1);
        FloatPinGroup(kBusGroup, 0, 7);
        ApplyVoltageToPin(kHvChannel, t.PulsePin, 1, kHvLevel);
        DelayShortUsSlot(10);
        SetPin(t.Strobe, 0);
        SetPin(t.ReadEnable, 0);
        v = static_cast<uint32_t>(ReadPinGroup(kBusGroup, 0, 7));
        ApplyVoltageToPin(kHvChannel, t.PulsePin, 0, kHvLevel);
        break;
    case Style::Logic:
        FloatPinGroup(kBusGroup, 0, 7);
        SetPin(t.PulsePin, 1);
        v = static_cast<uint32_t>(ReadPinGroup(kBusGroup, 0, 7));
        SetPin(t.PulsePin, 0);
        break;
    }
    SetPin(t.Strobe, 0);
    return v;
}

int AccessCellByte(const ByteEpldRow& t, const CellByte& b, int mode) {
    if (mode == kWriting) {
        ExpectedValue = MapCellByte(b, 0, kWriting);
        if (t.Pulse != Style::HighVoltage) SetModeLines(kProgramLines);
        WriteLatchedByte(t, b.Select, b.Bus, ExpectedValue);
    } else {
        if (t.Pulse != Style::HighVoltage) SetModeLines(kReadLines);
        ReadValue = ReadLatchedByte(t, b.Select, b.Bus);
        MapCellByte(b, ReadValue, mode);
    }
    return CompareFailed == 1 ? -1 : 1;
}

int RunCellArray(const ByteEpldRow& t, int mode) {
    CompareFailed = 0;
    PowerUpCellArray(t, mode);
    if (t.Pulse == Style::HighVoltage) SetModeLines(mode == kWriting ? kProgramLines : kReadLines);
    for (const CellByte& b : t.Walk(t, VariantIndex(), DeviceSubVariant)) {
        if (AccessCellByte(t, b, mode) == -1) {
            PowerDownCellArray(t);
            return -1;
        }
    }
    PowerDownCellArray(t);
    return 1;
}

// Rows 311/312, small variant: ten fixed bytes before the programming run.
int ProgramFixedCells(const ByteEpldRow& t) {
    PowerUpCellArray(t, kWriting);
    SetModeLines(kProgramLines);
    for (int i = 0; i < 10; ++i) WriteLatchedByte(t, kFixedSelect[i], 0x40 + 2 * i, kFixedData[i]);
    PowerDownCellArray(t);
    return 1;
}

// Row 201: every byte of selects 7 and 9 programmed to 00h before the map.
int PreProgramSelects(const ByteEpldRow& t) {
    PowerUpCellArray(t, kWriting);
    for (int select : {7, 9})
        for (int address = 0; address <= 43; ++address) {
            SetModeLines(kProgramLines);
            WriteLatchedByte(t, select, address, 0x00);
        }
    PowerDownCellArray(t);
    return 1;
}

int ReadEntry(const ByteEpldRow& t, int mode) { return RunCellArray(t, mode); }

int ProgramEntry(const ByteEpldRow& t) {
    if (t.Pulse == Style::Ramped && VariantIndex() == 0) ProgramFixedCells(t);
    if (t.Row == 201) PreProgramSelects(t);
    return RunCellArray(t, kWriting);
}

// Row 200: the pulse pin switched onto channel 2 and ramped from 5.0 V to
// 14.7 V for `ms`, with 14.7 V on `sidePin` (0: none) around it.
void SupplyPulse200(const ByteEpldRow& t, int sidePin, uint32_t ms) {
    if (sidePin != 0) {
        ApplyVoltageToPin(kSideChannel, sidePin, 1, kHvLevel);
        DelayShortUsSlot(10);
    }
    SetSupplyPinA(t.PulsePin, 1);
    RampVoltageUp(kHvChannel, kHvEraseStart, kHvLevel, kHvStep, kHvStepUs);
    DelayMsSlot(ms);
    ApplyVoltageToPin(kHvChannel, t.PulsePin, 0, kHvEraseStart);
    DelayShortUsSlot(10);
    if (sidePin != 0) ApplyVoltageToPin(kSideChannel, sidePin, 0, 0);
}

// Row 200: one erase pulse of the three, 14.7 V on the strobe pin in mode 0.
void ErasePulse200(const ByteEpldRow& t, int lines, uint32_t ms) {
    SetModeLines(lines);
    SetBus(0);
    SupplyPulse200(t, lines == kEraseLines ? t.Strobe : 0, ms);
}

int EraseEntry(const ByteEpldRow& t) {
    const uint32_t last = t.LastEraseMs[VariantIndex()];
    switch (t.Pulse) {
    case Style::Ramped: {
        PowerUpCellArray(t, kWriting);
        SetModeLines(kEraseLines);
        const int ch = RampChannel(t.Strobe);
        ApplyVppToPin(t.Strobe, 1, kPulseStart);
        RampVoltageUp(ch, kPulseStart, kPulseLevel, kPulseStep, 0);
        SetSupplyPinA(t.PulsePin, 1);
        DelayMsSlot(kCellPulseMs);
        SetSupplyPinA(t.PulsePin, 0);
        RampVoltageDown(ch, kPulseLevel, kPulseStart, kPulseStep, 0);
        ApplyVppToPin(t.Strobe, 0, kPulseStart);
        break;
    }
    case Style::HighVoltage:
        PowerUpCellArray(t, kEraseMode);
        ErasePulse200(t, kEraseLines, kLongEraseMs);
        ErasePulse200(t, kEraseLines2, kLongEraseMs);
        ErasePulse200(t, kEraseLines, last);
        break;
    case Style::Logic:
        PowerUpCellArray(t, kWriting);
        FloatPinGroup(kBusGroup, 0, 7);
        for (auto [lines, ms] : {std::pair{kEraseLines, kLongEraseMs}, std::pair{kEraseLines2, kLongEraseMs},
                                 std::pair{kEraseLines, last}}) {
            SetModeLines(lines);
            PulsePinTimed(t.PulsePin, 3, ms * 1000);
        }
        break;
    }
    PowerDownCellArray(t);
    return 1;
}

int SecureEntry(const ByteEpldRow& t) {
    PowerUpCellArray(t, t.SecurePowerMode);
    SetModeLines(kProgramLines);
    switch (t.Pulse) {
    case Style::Ramped:
        WriteLatchedByte(t, kSecureSelect, 2 * kSecureAddress, kSecureData);
        break;
    case Style::HighVoltage:
        // The select lines stay at 0; 14.7 V on the read enable and the pulse pin for 300 ms.
        SetBus(0);
        SetPin(t.Strobe, 1);
        SupplyPulse200(t, t.ReadEnable, kSecurePulse200Ms);
        break;
    case Style::Logic:
        WriteLatchedByte(t, kSecureSelect201, kSecureAddress, kSecureData201);
        break;
    }
    PowerDownCellArray(t);
    return 1;
}

} // namespace

std::vector<CellByte> CellArrayWalk(uint32_t row, int variant, int subVariant) {
    const ByteEpldRow* t = RowFor(row);
    return t != nullptr ? t->Walk(*t, variant == 0 ? 0 : 1, subVariant) : std::vector<CellByte>{};
}

uint32_t MapCellByte(const CellByte& b, uint32_t readWord, int mode) {
    const bool skip = mode >= 0 && mode < 8 && (b.SkipModes & Bit(mode)) != 0;
    const bool plain = mode >= 0 && mode < 8 && (b.PlainModes & Bit(mode)) != 0;
    const uint32_t word = b.Complemented && !plain ? ~readWord : readWord;
    uint32_t v = 0;
    for (int i = 0; i < b.Count && !skip; ++i)
        v |= ProcessFuseBit(static_cast<int>(b.Fuses[i].Fuse), b.Fuses[i].Position, static_cast<int>(word), mode);
    if (b.Complemented) v = ~v;
    return (v | b.OrMask) & 0xFFu;
}

int Alg311Read(int mode) { return ReadEntry(kRow311, mode); }
int Alg311Program() { return ProgramEntry(kRow311); }
int Alg311Erase() { return EraseEntry(kRow311); }
int Alg311Secure() { return SecureEntry(kRow311); }
int Alg312Read(int mode) { return ReadEntry(kRow312, mode); }
int Alg312Program() { return ProgramEntry(kRow312); }
int Alg312Erase() { return EraseEntry(kRow312); }
int Alg312Secure() { return SecureEntry(kRow312); }
int Alg200Read(int mode) { return ReadEntry(kRow200, mode); }
int Alg200Program() { return ProgramEntry(kRow200); }
int Alg200Erase() { return EraseEntry(kRow200); }
int Alg200Secure() { return SecureEntry(kRow200); }
int Alg201Read(int mode) { return ReadEntry(kRow201, mode); }
int Alg201Program() { return ProgramEntry(kRow201); }
int Alg201Erase() { return EraseEntry(kRow201); }
int Alg201Secure() { return SecureEntry(kRow201); }
int Alg202Read(int mode) { return ReadEntry(kRow202, mode); }
int Alg202Program() { return ProgramEntry(kRow202); }
int Alg202Erase() { return EraseEntry(kRow202); }
int Alg202Secure() { return SecureEntry(kRow202); }
int Alg203Read(int mode) { return ReadEntry(kRow203, mode); }
int Alg203Program() { return ProgramEntry(kRow203); }
int Alg203Erase() { return EraseEntry(kRow203); }
int Alg203Secure() { return SecureEntry(kRow203); }

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 311, .Read = Alg311Read, .Program = Alg311Program, .Erase = Alg311Erase, .Secure = Alg311Secure},
    {.Row = 312, .Read = Alg312Read, .Program = Alg312Program, .Erase = Alg312Erase, .Secure = Alg312Secure},
    {.Row = 200, .Read = Alg200Read, .Program = Alg200Program, .Erase = Alg200Erase, .Secure = Alg200Secure},
    {.Row = 201, .Read = Alg201Read, .Program = Alg201Program, .Erase = Alg201Erase, .Secure = Alg201Secure},
    {.Row = 202, .Read = Alg202Read, .Program = Alg202Program, .Erase = Alg202Erase, .Secure = Alg202Secure},
    {.Row = 203, .Read = Alg203Read, .Program = Alg203Program, .Erase = Alg203Erase, .Secure = Alg203Secure},
};

ROW_FAMILY("ByteEpld", Logic, 170, kAlgorithmRows);
