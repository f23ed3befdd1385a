// Rows 246, 244 and 245: UV-erasable macrocell logic arrays (22V10, 750 and
// 2500 classes) with a security cell, programmed and read a ten- or
// twelve-bit word at a time; every power-up first reads the security cell
// and refuses a secured part. Row 245 learns the most pulses a word needed
// and gives a margin pass after programming.

#include <algorithm>
#include <cstdint>

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/NeighbourState.h"
#include "engine/Operation.h"
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
    int32_t fuse[12];
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
        // A word that will not take reports its first cell still wrong.
        if (ProgramWord(m.mask) == -1) {
            const uint32_t wrong = (~ReadValue ^ ExpectedValue) & m.mask;
            for (int k = 0; k < 10; ++k) {
                if (((wrong >> k) & 1) == 0 || m.fuse[k] < 0) continue;
                FailAddress = static_cast<uint32_t>(m.fuse[k]);
                break;
            }
        }
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
    DelayMsSlot(Row244() ? 1 : 25);
    SetSupplyPinB(kHoldPin, 1);
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
        ReadRefusedByDevice(); // nothing was compared: the walk ends at this line
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

// A fuse of the JEDEC map that no word of the part holds: row 244 variant
// 1's 14394 (between its two architecture rows' cells) and, on the row-245
// parts with the extra column-191 words, 71648 (between the two sets of
// those words). The part holds 0 there; 0 when the device has none.
uint32_t CelllessFuse() {
    uint32_t n = 0;
    if (CurrentAlgorithm == 244 && DeviceVariant == 1) n = 14394;
    if (CurrentAlgorithm == 245) n = 71648;
    return n != 0 && n < DeviceSize ? n : 0;
}

// A file that sets that fuse is refused by Program and Verify before any pin
// moves, instead of being dropped unseen.
bool RefuseCelllessFuse() {
    const uint32_t n = CelllessFuse();
    if (n == 0 || GetBufferBit(n) == 0) return false;
    FailAddress = n;
    ShowMessageLine(" Fuse %u has no cell in this device.", n);
    return true;
}

// Read gives the fuse the part's 0.
void ReadCelllessFuse(int mode, int result) {
    if (const uint32_t n = CelllessFuse(); n != 0 && mode == 2 && result == 1) SetBufferBit(n, 0);
}

int Alg246Read(int mode) { return Pass(mode); }
int Alg246Program() { return Pass(kProgramming); }
int Alg246Secure() { return Secure(); }
int Alg244Read(int mode) {
    if (mode == 3 && RefuseCelllessFuse()) return -1;
    const int r = Pass(mode);
    ReadCelllessFuse(mode, r);
    return r;
}
int Alg244Program() { return RefuseCelllessFuse() ? -1 : Pass(kProgramming); }
int Alg244Secure() { return Secure(); }

// ---- row 245: twelve-bit words of the 2500 class ----------------------------

// Socket pins with and without an adapter: address positions 0-3 row, 4 the
// kind pin, 5-11 column; data bits 0-11.
struct WidePins {
    int address[12];
    int data[12];
};
constexpr WidePins kWideDip{{21, 22, 23, 26, 27, 41, 42, 43, 44, 5, 6, 7}, {33, 31, 29, 15, 17, 19, 35, 37, 39, 13, 11, 9}};
constexpr WidePins kWideAdapter{{21, 22, 23, 26, 27, 43, 44, 45, 46, 3, 4, 5},
                                {34, 32, 30, 15, 17, 19, 37, 39, 41, 12, 10, 8}};
constexpr int kWideStrobePin = 24, kWideHoldPin = 25;
constexpr int kWideRowPlane = 3, kWideKindPin = 4, kWideColumnBank = 11;
constexpr uint32_t kWideAllBits = 0xFFF;
constexpr uint32_t kWideProgramUs = 100, kWideOverUs = 300, kWideMarginUs = 400;

// Fuse map: first fuse of data bit b for kinds 1 and 0, and the eight cells
// of kind 2 (fuse C(i) + c at data bit D(i)).
constexpr uint32_t kWideKind1[12] = {0, 6020, 11868, 17888, 23908, 29756, 35776, 41796, 47644, 53664, 59684, 65532};
constexpr uint32_t kWideKind0[12] = {2924,  8944,  14792, 20812, 26832, 32680,
                                     38700, 44720, 50568, 56588, 62608, 68456};
constexpr uint32_t kWideKind2Fuse[8] = {5848, 17716, 23736, 35604, 41624, 53492, 59512, 71380};
constexpr int kWideKind2Bit[8] = {0, 1, 3, 4, 6, 7, 9, 10};
constexpr uint32_t kWideKind2Mask = 0x6DB, kWideKind2Always = 0x924;
constexpr uint32_t kWideSecurityRow = 8, kWideSecurityColumn = 127, kWideSecurityBit = 7;
enum WideKind { kWideSecurity = 7 };

const WidePins* Wide = &kWideDip;
uint32_t LearnedPulses = 0;
bool MarginPass = false;

void WideDefineGroups() {
    Wide = AdapterCode == 0 ? &kWideDip : &kWideAdapter;
    const int* a = Wide->address;
    const int* d = Wide->data;
    DefinePinGroup("", kRowGroup, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9], a[10], a[11], 0);
    DefinePinGroup("", kDataGroup, d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], d[8], d[9], d[10], d[11], 0);
    // The socket pin map keeps the row's pins for the engine: address,
    // data but its fourth pin, strobe and hold pin.
    uint32_t n = 0;
    for (int pin : Wide->address) SocketPinMap[n++] = static_cast<uint32_t>(pin);
    for (int k = 0; k < 12; ++k)
        if (k != 3) SocketPinMap[n++] = static_cast<uint32_t>(d[k]);
    SocketPinMap[n++] = kWideStrobePin;
    SocketPinMap[n] = kWideHoldPin;
}

void WidePowerUp(int mode) {
    BlankValue = 0;
    ReadBackAfterSecure = 0;
    LearnedPulses = 0;
    MarginPass = false;
    WideDefineGroups();
    if (mode == kProgramming) {
        SupplyVoltage = kProgramVccTenths;
        Vccp = kProgramVccTenths;
    } else {
        SupplyVoltage = ReadVccInUse;
    }
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(125, 125, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(1);
    WritePinGroup(kRowGroup, 0, 11, 0);
    SetPin(kWideStrobePin, 1);
    SetSupplyPinA(kWideHoldPin, 1);
    DelayShortUsSlot(100);
}

void WidePowerDown() {
    FloatPinGroup(kRowGroup, 0, 11);
    SetPin(kWideStrobePin, 1);
    FloatPinGroup(kDataGroup, 0, 11);
    SetSupplyPinA(kWideHoldPin, 0);
    DelayShortUsSlot(100);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
}

void WideRead() {
    SetPin(kWideStrobePin, 0);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(kDataGroup, 0, 11));
    SetPin(kWideStrobePin, 1);
}

void WidePulse(uint32_t us) {
    WritePinGroup(kDataGroup, 0, 11, ExpectedValue);
    SetSupplyPinA(kWideStrobePin, 1);
    DelayUsSlot(us);
    SetSupplyPinA(kWideStrobePin, 0);
    FloatPinGroup(kDataGroup, 0, 11);
}

bool WideAgrees(uint32_t mask) { return (~ReadValue & mask) == (ExpectedValue & mask); }

// The fuses of a word (kinds 0-6 and the security word).
WordMap WideMap(uint32_t r, uint32_t c, int kind) {
    WordMap m{};
    int32_t* f = m.fuse;
    std::fill(std::begin(m.fuse), std::end(m.fuse), -1);
    m.mask = kWideAllBits;
    switch (kind) {
    case 0:
    case 1:
        for (int b = 0; b < 12; ++b) f[b] = static_cast<int32_t>((kind == 0 ? kWideKind0 : kWideKind1)[b] + 172 * r + c);
        break;
    case 2:
        for (int i = 0; i < 8; ++i) f[kWideKind2Bit[i]] = static_cast<int32_t>(kWideKind2Fuse[i] + c);
        m.mask = kWideKind2Mask;
        break;
    case 3:
    case 4:
    case 5:
    case 6: {
        static constexpr uint32_t kBase[4] = {71556, 71552, 71653, 71649};
        for (int b = 0; b < 12; ++b) f[b] = static_cast<int32_t>(kBase[kind - 3] + r + 8 * static_cast<uint32_t>(b));
        break;
    }
    default: m.mask = 1u << kWideSecurityBit; break;
    }
    return m;
}

void WideThirdLevels(uint32_t r, uint32_t c, int kind, int state) {
    if (kind == 2 || kind == kWideSecurity || r == 16) SetSupplyPinA(Wide->address[kWideRowPlane], state);
    if (c > 127) SetSupplyPinA(Wide->address[kWideColumnBank], state);
}

// Programming pass: 100 us pulses until the word agrees (at most 124), then
// an over-pulse of 300 us per pulse used; the most pulses any word needed is
// learned. Margin pass: a word that no longer agrees takes one pulse of
// 400 us per learned pulse.
void WideProgramWord(uint32_t mask) {
    if (MarginPass) {
        WideRead();
        if (WideAgrees(mask)) return;
        WidePulse(kWideMarginUs * LearnedPulses);
        WideRead();
        if (!WideAgrees(mask)) CompareFailed = 1;
        return;
    }
    for (uint32_t pulses = 1; pulses <= kMaxPulses; ++pulses) {
        WidePulse(kWideProgramUs);
        WideRead();
        if (WideAgrees(mask)) {
            WidePulse(kWideOverUs * pulses);
            WideRead();
            LearnedPulses = std::max(LearnedPulses, pulses);
            return;
        }
    }
    CompareFailed = 1;
}

int WideWord(uint32_t r, uint32_t c, int kind, int mode) {
    const WordMap m = WideMap(r, c, kind);
    if (mode == kProgramming) {
        ExpectedValue = 0;
        for (int b = 0; b < 12; ++b)
            if (m.fuse[b] >= 0) ExpectedValue |= ProcessFuseBitCopy(m.fuse[b], b, 0, kProgramming);
        if (kind == 2) ExpectedValue |= kWideKind2Always;
        if (kind == kWideSecurity) ExpectedValue = m.mask;
    }
    uint32_t rowPins = r;
    if (kind == 3 || kind == 4) rowPins = 4 * r;
    if (kind == 5 || kind == 6) rowPins = 4 * r + 2;
    WritePinGroup(kRowGroup, 0, 3, rowPins);
    WritePinGroup(kRowGroup, 5, 11, c);
    SetPin(Wide->address[kWideKindPin], 0);
    if (kind == 1 || kind == 4 || kind == 6 || kind == kWideSecurity) SetPin(Wide->address[kWideKindPin], 1);
    WideThirdLevels(r, c, kind, 1);
    if (mode == kProgramming) {
        WideProgramWord(m.mask);
    } else {
        WideRead();
        const uint32_t word = ~ReadValue & kWideAllBits;
        for (int b = 0; b < 12; ++b)
            if (m.fuse[b] >= 0) ProcessFuseBitCopy(m.fuse[b], b, static_cast<int>(word), mode);
    }
    WideThirdLevels(r, c, kind, 0);
    return CompareFailed == 1 ? -1 : 1;
}

// The security check of every power-up; a secured part is refused, powered down.
int WideSecurityCheck() {
    WritePinGroup(kRowGroup, 0, 3, kWideSecurityRow);
    WritePinGroup(kRowGroup, 5, 11, kWideSecurityColumn);
    SetPin(Wide->address[kWideKindPin], 1);
    WideThirdLevels(kWideSecurityRow, kWideSecurityColumn, kWideSecurity, 1);
    WideRead();
    WideThirdLevels(kWideSecurityRow, kWideSecurityColumn, kWideSecurity, 0);
    if ((ReadValue >> kWideSecurityBit & 1) == 0) {
        ShowMessageLine(" Device Secured!");
        WidePowerDown();
        ReadRefusedByDevice(); // nothing was compared: the walk ends at this line
        return -1;
    }
    return 1;
}

int WideWalk(int mode) {
    CompareFailed = 0;
    int r = 1;
    for (uint32_t row = 0; row <= 16 && r == 1; ++row) {
        for (uint32_t c = 0; c < 172 && r == 1; ++c) {
            r = WideWord(row, c, 0, mode);
            if (r == 1) r = WideWord(row, c, 1, mode);
        }
    }
    for (uint32_t c = 0; c < 172 && r == 1; ++c) r = WideWord(3, c, 2, mode);
    for (uint32_t row = 0; row < 4 && r == 1; ++row) {
        r = WideWord(row, 191, 3, mode);
        if (r == 1) r = WideWord(row, 191, 4, mode);
    }
    if (DeviceSubVariant == 1) {
        for (uint32_t row = 0; row < 4 && r == 1; ++row) {
            r = WideWord(row, 191, 5, mode);
            if (r == 1) r = WideWord(row, 191, 6, mode);
        }
    }
    return r;
}

int Alg245Read(int mode) {
    if (mode == 3 && RefuseCelllessFuse()) return -1;
    WidePowerUp(2);
    if (WideSecurityCheck() != 1) return -1;
    const int r = WideWalk(mode);
    WidePowerDown();
    ReadCelllessFuse(mode, r);
    return r;
}

// The kind-1 word of row 16 at column 127 puts the security cell's pin
// levels on the part, so its bit 7 (fuse B(7) + 172 x 16 + 127) is the
// security cell: a file that sets it is refused before any word is
// written, and Secure sets the cell instead.
constexpr uint32_t kWideSecurityFuse = 44675;

int Alg245Program() {
    if (RefuseCelllessFuse()) return -1;
    WidePowerUp(kProgramming);
    if (WideSecurityCheck() != 1) return -1;
    if (GetBufferBit(kWideSecurityFuse) != 0) {
        FailAddress = kWideSecurityFuse;
        ShowMessageLine(" Fuse %u (security) is programmed in the file; use Secure to set it.", kWideSecurityFuse);
        WidePowerDown();
        return -1;
    }
    int r = WideWalk(kProgramming);
    if (r == 1) {
        ClearProgress();
        MarginPass = true;
        r = WideWalk(kProgramming);
    }
    WidePowerDown();
    return r;
}

// The security word's own result: a security cell that did not take fails.
int Alg245Secure() {
    WidePowerUp(kProgramming);
    if (WideSecurityCheck() != 1) return -1;
    CompareFailed = 0;
    const int r = WideWord(kWideSecurityRow, kWideSecurityColumn, kWideSecurity, kProgramming);
    WidePowerDown();
    return r;
}

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 246, .Read = Alg246Read, .Program = Alg246Program, .Secure = Alg246Secure},
    {.Row = 244, .Read = Alg244Read, .Program = Alg244Program, .Secure = Alg244Secure},
    {.Row = 245, .Read = Alg245Read, .Program = Alg245Program, .Secure = Alg245Secure},
};

} // namespace

ROW_FAMILY("SecuredWordEpld", Logic, 380, kAlgorithmRows);
