#include "logic/SecuredWordEpld.h"

#include <algorithm>
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
constexpr uint32_t kProgramVccTenths = 60;
constexpr int kStrobePin = 25, kHoldPin = 13, kRowPlanePin = 17, kColumnBankPin = 23;
constexpr uint32_t kPulseCapUs = 50000;
constexpr uint32_t kMaxPulses = 124;
constexpr uint32_t kAllBits = 0x3FF;

enum Group { kRowGroup = 0, kColumnGroup = 1, kDataGroup = 2 };

// Word kinds: 0 product terms, 1 and 2 the upper row plane, 3 and 4 the
// architecture words, 5 the security word.
enum Kind { kTerm = 0, kPlane1 = 1, kPlane2 = 2, kArch3 = 3, kArch4 = 4, kSecurity = 5 };

// The 22V10 map (row 246): product terms and output-enable row of output b.
constexpr int kV10Terms[10] = {8, 10, 12, 14, 16, 16, 14, 12, 10, 8};
constexpr uint32_t kV10OutputEnable[10] = {44, 440, 924, 1496, 2156, 2904, 3652, 4312, 4884, 5368};
constexpr uint32_t kV10Preset = 5764, kV10Architecture = 5808;

// The 750 map (row 244): first product term and first extra row of output
// b, and the word mask of product-term row r / 2.
constexpr uint32_t k750FirstTerm[10] = {0, 1092, 2352, 3780, 5376, 7140, 8904, 10500, 11928, 13188};
constexpr uint32_t k750ExtraRows[10] = {672, 1932, 3360, 4956, 6720, 8484, 10080, 11508, 12768, 13860};
constexpr uint32_t k750TermMask[8] = {0x3FF, 0x3FF, 0x3FF, 0x3FF, 0x1FE, 0xFC, 0x78, 0x30};
constexpr uint32_t k750Shared = 14280, k750Architecture = 14364, k750BArchitecture = 14391;

bool Row244() { return CurrentAlgorithm == 244; }

void DefineGroups() {
    DefinePinGroup("", kRowGroup, 14, 15, 16, 17, 0);
    DefinePinGroup("", kColumnGroup, 18, 19, 20, 21, 22, 23, 0);
    if (Row244()) {
        DefinePinGroup("", kDataGroup, 35, 34, 33, 32, 31, 30, 29, 28, 27, 26, 0);
    } else {
        DefinePinGroup("", kDataGroup, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 0);
    }
}

void PutAddress(uint32_t row, uint32_t column) {
    WritePinGroup(kRowGroup, 0, 3, row);
    WritePinGroup(kColumnGroup, 0, 5, column);
}

void ReadWord() {
    SetPin(kStrobePin, 0);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(kDataGroup, 0, 9));
    SetPin(kStrobePin, 1);
}

void Pulse(uint32_t us) {
    WritePinGroup(kDataGroup, 0, 9, ExpectedValue);
    SetSupplyPinB(kStrobePin, 1);
    DelayUsSlot(std::min(us, kPulseCapUs));
    SetSupplyPinB(kStrobePin, 0);
    FloatPinGroup(kDataGroup, 0, 9);
}

// The third levels of a word: the upper row plane on pin 17, on row 244
// the upper column bank on pin 23.
bool UsesRowPlane(int kind) {
    return Row244() ? kind == kPlane1 || kind == kPlane2 : kind != kTerm;
}

void ThirdLevels(int kind, uint32_t column, int state) {
    if (UsesRowPlane(kind)) SetSupplyPinA(kRowPlanePin, state);
    if (Row244() && column > 63) SetSupplyPinA(kColumnBankPin, state);
}

// The fuses of one word: fuse[k] of data bit k (-1: none), the bits that count.
struct WordMap {
    int32_t fuse[10];
    uint32_t mask;
};

WordMap Map246(uint32_t r, uint32_t c, int kind) {
    WordMap m{};
    std::fill(std::begin(m.fuse), std::end(m.fuse), -1);
    m.mask = kAllBits;
    switch (kind) {
    case kTerm:
        m.mask = 0;
        for (int b = 0; b < 10; ++b) {
            if (kV10Terms[b] <= static_cast<int>(r)) continue;
            m.fuse[9 - b] = static_cast<int32_t>(kV10OutputEnable[b] + 44 + 44 * r + c);
            m.mask |= 1u << (9 - b);
        }
        break;
    case kPlane1:
        for (int b = 0; b < 10; ++b) m.fuse[9 - b] = static_cast<int32_t>(kV10OutputEnable[b] + c);
        break;
    case kPlane2:
    case kArch3:
        for (int b = 0; b < 10; ++b) m.fuse[9 - b] = static_cast<int32_t>(kV10Architecture + 2 * b + (kind == kArch3));
        break;
    case kArch4:
        m.fuse[8] = static_cast<int32_t>(c);
        m.fuse[1] = static_cast<int32_t>(kV10Preset + c);
        m.mask = (1u << 8) | (1u << 1);
        break;
    default: m.mask = 1u << 8; break;
    }
    return m;
}

WordMap Map244(uint32_t r, uint32_t c, int kind) {
    WordMap m{};
    std::fill(std::begin(m.fuse), std::end(m.fuse), -1);
    m.mask = kAllBits;
    switch (kind) {
    case kTerm:
        m.mask = k750TermMask[r / 2];
        for (int b = 0; b < 10; ++b)
            if (m.mask & (1u << b)) m.fuse[b] = static_cast<int32_t>(k750FirstTerm[b] + 84 * r + c);
        break;
    case kPlane1:
        for (int b = 0; b < 10; ++b) m.fuse[b] = static_cast<int32_t>(k750ExtraRows[b] + 84 * r + c);
        break;
    case kPlane2:
        m.fuse[1] = static_cast<int32_t>(k750Shared + c);
        m.mask = 1u << 1;
        break;
    case kArch3:
        for (int b = 0; b < 10; ++b) m.fuse[b] = static_cast<int32_t>(k750Architecture + 3 * b + r);
        break;
    case kArch4:
        for (int b = 0; b < 10; ++b) m.fuse[b] = static_cast<int32_t>(k750BArchitecture + 4 * b + r);
        break;
    default: m.mask = 1u << 1; break;
    }
    return m;
}

// Up to 124 pulses, each followed by a read, until the masked word reads as
// written; then the over-pulse. Widths by row and variant, each at most 50 ms.
int ProgramWord(uint32_t mask) {
    const bool slow = !Row244() || DeviceVariant == 0;
    const uint32_t width = slow ? 1000 : 100;
    for (uint32_t pulses = 1; pulses <= kMaxPulses; ++pulses) {
        Pulse(width);
        ReadWord();
        if ((~ReadValue & mask) == (ExpectedValue & mask)) {
            Pulse(!Row244() ? 3000 : DeviceVariant == 0 ? 19000 * pulses : 500 * pulses);
            return 1;
        }
    }
    CompareFailed = 1;
    return -1;
}

int Word(uint32_t r, uint32_t c, int kind, int mode) {
    const WordMap m = Row244() ? Map244(r, c, kind) : Map246(r, c, kind);
    if (mode == kProgramming) {
        ExpectedValue = 0;
        for (int k = 0; k < 10; ++k)
            if (m.fuse[k] >= 0) ExpectedValue |= ProcessFuseBit(m.fuse[k], k, 0, kProgramming);
        if (kind == kSecurity) ExpectedValue = m.mask;
    }
    // Row 244's plain 750 keeps its third architecture row at row 14.
    const uint32_t rowPins = Row244() && DeviceVariant == 0 && kind == kArch3 && r == 2 ? 14 : r;
    PutAddress(rowPins, c);
    ThirdLevels(kind, c, 1);
    if (mode == kProgramming) {
        ProgramWord(m.mask);
    } else {
        ReadWord();
        const uint32_t word = ~ReadValue & kAllBits;
        for (int k = 0; k < 10; ++k)
            if (m.fuse[k] >= 0) ProcessFuseBit(m.fuse[k], k, static_cast<int>(word), mode);
    }
    ThirdLevels(kind, c, 0);
    return CompareFailed == 1 ? -1 : 1;
}

void PowerUp(int mode) {
    BlankValue = 0;
    ReadBackAfterSecure = 0;
    DefineGroups();
    if (mode == kProgramming) {
        SupplyVoltage = kProgramVccTenths;
        Vccp = kProgramVccTenths;
    } else {
        SupplyVoltage = ReadVccInUse;
    }
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    if (Row244()) {
        SetAllDacVoltages(105, 0, 125, 0);
    } else {
        SetAllDacVoltages(100, 0, DeviceVariant == 0 ? 125 : 120, 0);
    }
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    PutAddress(0, 0);
    SetPin(kStrobePin, 1);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(25);
    SetSupplyPinB(kHoldPin, 1);
    if (Row244()) DelayMsSlot(1);
    DelayShortUsSlot(100);
}

void PowerDown() {
    PutAddress(0, 0);
    SetPin(kStrobePin, 1);
    SetSupplyPinB(kHoldPin, 0);
    if (Row244()) {
        DelayShortUsSlot(100);
    } else {
        DelayMsSlot(25);
    }
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
}

// The security word's place: (row, column) and its data bit.
uint32_t SecurityRow() { return Row244() ? 3 : 5; }
uint32_t SecurityColumn() { return Row244() ? 127 : 63; }
uint32_t SecurityBit() { return Row244() ? 1 : 8; }

// Power-up with the security check: a secured part (its security bit reads
// programmed) is refused, powered down, before any fuse is touched.
int PowerUpChecked(int mode) {
    PowerUp(mode);
    PutAddress(SecurityRow(), SecurityColumn());
    ThirdLevels(kPlane2, SecurityColumn(), 1);
    ReadWord();
    ThirdLevels(kPlane2, SecurityColumn(), 0);
    if ((ReadValue >> SecurityBit() & 1) == 0) {
        ShowMessageLine(" Device Secured!");
        PowerDown();
        return -1;
    }
    return 1;
}

int Walk246(int mode) {
    int r = 1;
    for (uint32_t row = 0; row < 16 && r == 1; ++row)
        for (uint32_t c = 0; c < 44 && r == 1; ++c) r = Word(row, c, kTerm, mode);
    for (uint32_t c = 0; c < 44 && r == 1; ++c) r = Word(0, c, kPlane1, mode);
    if (r == 1) r = Word(1, 63, kPlane2, mode);
    if (r == 1) r = Word(2, 63, kArch3, mode);
    for (uint32_t c = 0; c < 44 && r == 1; ++c) r = Word(3, c, kArch4, mode);
    return r;
}

int Walk244(int mode) {
    int r = 1;
    for (uint32_t row = 0; row < 16 && r == 1; ++row)
        for (uint32_t c = 0; c < 84 && r == 1; ++c) r = Word(row, c, kTerm, mode);
    for (uint32_t row = 0; row < 5 && r == 1; ++row)
        for (uint32_t c = 0; c < 84 && r == 1; ++c) r = Word(row, c, kPlane1, mode);
    for (uint32_t c = 0; c < 84 && r == 1; ++c) r = Word(7, c, kPlane2, mode);
    if (DeviceVariant <= 1) {
        for (uint32_t row = 0; row < 3 && r == 1; ++row) r = Word(row, 127, kArch3, mode);
    }
    if (DeviceVariant == 1) {
        for (uint32_t row = 4; row < 8 && r == 1; ++row) r = Word(row, 127, kArch4, mode);
    }
    return r;
}

int Pass(int mode) {
    if (PowerUpChecked(mode) != 1) return -1;
    CompareFailed = 0;
    const int r = Row244() ? Walk244(mode) : Walk246(mode);
    PowerDown();
    return r;
}

int Secure() {
    if (PowerUpChecked(kProgramming) != 1) return -1;
    CompareFailed = 0;
    const int r = Word(SecurityRow(), SecurityColumn(), kSecurity, kProgramming);
    PowerDown();
    return r;
}

int Alg246Read(int mode) { return Pass(mode); }
int Alg246Program() { return Pass(kProgramming); }
int Alg246Secure() { return Secure(); }
int Alg244Read(int mode) { return Pass(mode); }
int Alg244Program() { return Pass(kProgramming); }
int Alg244Secure() { return Secure(); }

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 246, .Read = Alg246Read, .Program = Alg246Program, .Secure = Alg246Secure},
    {.Row = 244, .Read = Alg244Read, .Program = Alg244Program, .Secure = Alg244Secure},
};

} // namespace

void InstallSecuredWordEpldRows() { InstallRows(kAlgorithmRows); }
