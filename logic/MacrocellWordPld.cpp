// Rows 239 and 238: UV-erasable macrocell logic arrays (20RA10 and 22V10
// classes) programmed and read a ten-bit word at a time, each word gathering
// its bits from the fuse map in JEDEC order; every word is programmed with a
// bounded pulse train and an over-pulse (capped at 50 ms).

#include <algorithm>
#include <cstdint>
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
#include "engine/Tables.h"
#include "logic/FuseCells.h"

namespace {

constexpr int kProgramming = 1;
constexpr int kProgramVccTenths = 50;
constexpr int kReleaseTenths = 50;
constexpr int kStrobePin = 25, kHoldPin = 13, kPlanePin = 23, kSecurePin = 15;
constexpr uint32_t kPulseCapUs = 50000;
constexpr uint32_t kAllBits = 0x3FF;

enum Group { kColumnGroup = 0, kRowGroup = 1, kDataGroup = 2 };

// Row 238's programming by DeviceVariant.
struct PulseSet {
    int Tries;
    int VppTenths;
    int VccTenths;
    uint32_t SecureMs;
    uint32_t PulseUs;
    uint32_t Factor;
};
constexpr PulseSet k238Table[] = {
    {10, 135, 50, 1, 1000, 3}, {5, 135, 50, 1, 400, 3},   {5, 125, 50, 1, 400, 3},
    {20, 135, 50, 1, 100, 4},  {10, 135, 50, 50, 1000, 4}, {10, 135, 50, 50, 1000, 4},
};
constexpr uint32_t k238Variants = sizeof k238Table / sizeof k238Table[0];

// Row 239 variant 2's column code, column 0-39 -> pin value.
constexpr int k239ColumnCode[40] = {4,  5,  2,  3,  8,  9,  6,  7,  12, 13, 10, 11, 16, 17, 14, 15, 20, 21, 18, 19,
                                    24, 25, 22, 23, 28, 29, 26, 27, 32, 33, 30, 31, 36, 37, 34, 35, 40, 41, 38, 39};
// The column pins of row 239 variant 2's architecture word: the code table
// has no entry past column 39, so the pins carry 0.
constexpr int k239ArchitectureCode = 0;

// The 22V10 map: product terms and output-enable row of output b.
constexpr int kTerms[10] = {8, 10, 12, 14, 16, 16, 14, 12, 10, 8};
constexpr uint32_t kOutputEnable[10] = {44, 440, 924, 1496, 2156, 2904, 3652, 4312, 4884, 5368};
constexpr uint32_t kPresetRow = 5764, kArchitecture = 5808;

PulseSet Pulses{};
bool Complemented = true;
bool PlaneOn = false;    // pin 23 on supply A

bool Row239() { return CurrentAlgorithm == 239; }

// The programming set of the device, or -1 with nothing powered for a
// variant without one.
int ChooseSet() {
    if (Row239()) {
        Pulses = {5, DeviceVariant == 0 ? 135 : 125, kProgramVccTenths, 50, 400, 1};
        Complemented = true;
        return 1;
    }
    if (DeviceVariant >= k238Variants) {
        RefuseRun(" Device not supported!");
        return -1;
    }
    Pulses = k238Table[DeviceVariant];
    Complemented = MakerIndex != MakerTexasInstruments;
    return 1;
}

void DefineGroups() {
    DefinePinGroup("", kColumnGroup, 14, 15, 16, 17, 18, 19, 0);
    DefinePinGroup("", kRowGroup, 20, 21, 22, 0);
    if (Row239()) {
        DefinePinGroup("", kDataGroup, 35, 34, 33, 32, 31, 30, 29, 28, 27, 26, 0);
    } else {
        DefinePinGroup("", kDataGroup, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 0);
    }
}

void PowerUp(int mode) {
    BlankValue = 0;
    SecureCheckValue = 1;
    DefineGroups();
    SupplyVoltage = mode == kProgramming ? static_cast<uint32_t>(Pulses.VccTenths) : ReadVccInUse;
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(Pulses.VppTenths, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    SetPin(kStrobePin, 1);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(25);
    ApplyVoltageToPin(3, kHoldPin, 1, Pulses.VppTenths);
    DelayShortUsSlot(100);
    PlaneOn = false;
}

void PowerDown() {
    ApplyVoltageToPin(3, kHoldPin, 0, kReleaseTenths);
    DelayMsSlot(25);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
}

// Pin 23 as the third address plane (on supply A) or as row bit 3.
void SetPlane(bool on) {
    if (on == PlaneOn) return;
    if (on) {
        SetPin(kPlanePin, 1);
        SetSupplyPinA(kPlanePin, 1);
    } else {
        SetSupplyPinA(kPlanePin, 0);
    }
    PlaneOn = on;
}

void PutAddress(int row, int columnPins) {
    WritePinGroup(kColumnGroup, 0, 5, static_cast<uint64_t>(columnPins));
    WritePinGroup(kRowGroup, 0, 2, static_cast<uint64_t>(row & 7));
    if (!PlaneOn) SetPin(kPlanePin, (row >> 3) & 1);
}

void ReadWord() {
    SetPin(kStrobePin, 0);
    const auto v = static_cast<uint32_t>(ReadPinGroup(kDataGroup, 0, 9));
    SetPin(kStrobePin, 1);
    ReadValue = (Complemented ? ~v : v) & kAllBits;
}

void Pulse(uint32_t us) {
    WritePinGroup(kDataGroup, 0, 9, ExpectedValue);
    SetSupplyPinA(kStrobePin, 1);
    DelayUsSlot(std::min(us, kPulseCapUs));
    SetSupplyPinA(kStrobePin, 0);
    FloatPinGroup(kDataGroup, 0, 9);
}

// Up to Tries - 1 pulses until the masked word reads as written, then the
// over-pulse; -1 when it never does.
int ProgramWord(uint32_t mask) {
    uint32_t pulses = 0;
    for (;;) {
        if (++pulses >= static_cast<uint32_t>(Pulses.Tries)) return -1;
        Pulse(Pulses.PulseUs);
        ReadWord();
        if ((ReadValue & mask) == (ExpectedValue & mask)) break;
    }
    Pulse(Pulses.PulseUs * pulses * Pulses.Factor);
    return 1;
}

// One word: fuses[k] is the fuse of data bit k (-1: none in the word).
int Word(int mode, const int32_t fuses[10], uint32_t mask) {
    if (mode == kProgramming) {
        ExpectedValue = 0;
        for (int k = 0; k < 10; ++k)
            if (fuses[k] >= 0) ExpectedValue |= ProcessFuseBit(fuses[k], k, 0, kProgramming);
        return ProgramWord(mask);
    }
    ReadWord();
    for (int k = 0; k < 10; ++k)
        if (fuses[k] >= 0) ProcessFuseBit(fuses[k], k, static_cast<int>(ReadValue), mode);
    return CompareFailed == 1 ? -1 : 1;
}

int Walk239(int mode) {
    int32_t f[10];
    int r = 1;
    const bool small = DeviceVariant == 2;
    const int columns = small ? 40 : 44;
    auto pins = [&](int c) { return small ? k239ColumnCode[c] : c; };
    for (int row = 0; row < (small ? 7 : 8) && r == 1; ++row) {
        for (int c = 0; c < columns && r == 1; ++c) {
            PutAddress(row, pins(c));
            for (int k = 0; k < 10; ++k)
                f[k] = small ? 320 * k + 280 - 40 * row + c : 396 * k + 44 * row + c + 44;
            r = Word(mode, f, kAllBits);
        }
    }
    if (r == 1) SetPlane(true);
    for (int c = 0; c < columns && r == 1; ++c) {
        PutAddress(15, pins(c));
        for (int k = 0; k < 10; ++k) f[k] = (small ? 320 : 396) * k + c;
        r = Word(mode, f, kAllBits);
    }
    if (small) {
        if (r == 1) {
            PutAddress(0, k239ArchitectureCode);
            for (int k = 0; k < 10; ++k) f[k] = 3200 + k;
            r = Word(mode, f, kAllBits);
        }
    } else {
        for (int row = 0; row <= 4 && r == 1; row += 2) {
            PutAddress(row, 63);
            for (int k = 0; k < 10; ++k) f[k] = 3960 + 3 * k + row / 2;
            r = Word(mode, f, kAllBits);
        }
    }
    SetPlane(false);
    return r;
}

// The word outside the map (variant 5): programming writes data bit 7;
// a blank check finds it blank or fails; other reads check nothing. A
// failure names the place just past the map.
int ExtraWord(int mode) {
    SetPlane(true);
    PutAddress(6, 63);
    int r = 1;
    if (mode == kProgramming) {
        ExpectedValue = 1u << 7;
        r = ProgramWord(1u << 7);
    } else {
        ReadWord();
        if (mode == 0 && (ReadValue & (1u << 7)) != 0) {
            FailAddress = DeviceSize;
            CompareFailed = 1;
            r = -1;
        }
    }
    SetPlane(false);
    return r;
}

int Walk238(int mode) {
    int32_t f[10];
    int r = 1;
    for (int row = 0; row < 16 && r == 1; ++row) {
        for (int c = 0; c < 44 && r == 1; ++c) {
            PutAddress(row, c);
            uint32_t mask = 0;
            for (int b = 0; b < 10; ++b) {
                f[9 - b] = -1;
                if (kTerms[b] <= row) continue;
                f[9 - b] = static_cast<int32_t>(kOutputEnable[b] + 44 + 44 * static_cast<uint32_t>(row) + c);
                mask |= 1u << (9 - b);
            }
            r = Word(mode, f, mask);
        }
    }
    for (int c = 0; c < 44 && r == 1; ++c) {
        SetPlane(true);
        PutAddress(7, c);
        for (int b = 0; b < 10; ++b) f[9 - b] = static_cast<int32_t>(kOutputEnable[b]) + c;
        r = Word(mode, f, kAllBits);
        SetPlane(false);
    }
    // The architecture words: column 0 on SAMSUNG's and CYPRESS's parts, 63 on the others'.
    const int archColumn = MakerIndex == MakerSamsung || MakerIndex == MakerCypress ? 0 : 63;
    for (int bit = 0; bit < 2 && r == 1; ++bit) {
        SetPlane(true);
        PutAddress(2 * bit, archColumn);
        for (int b = 0; b < 10; ++b) f[9 - b] = static_cast<int32_t>(kArchitecture) + 2 * b + bit;
        r = Word(mode, f, kAllBits);
        SetPlane(false);
    }
    for (int c = 0; c < 44 && r == 1; ++c) {
        PutAddress(15, c);
        std::fill(std::begin(f), std::end(f), -1);
        f[6] = c;
        f[3] = static_cast<int32_t>(kPresetRow) + c;
        r = Word(mode, f, (1u << 6) | (1u << 3));
    }
    if (r == 1 && DeviceVariant == 5) r = ExtraWord(mode);
    return r;
}

int Pass(int mode) {
    if (ChooseSet() != 1) return -1;
    PowerUp(mode);
    CompareFailed = 0;
    const int r = Row239() ? Walk239(mode) : Walk238(mode);
    PowerDown();
    return r;
}

int Secure() {
    if (ChooseSet() != 1) return -1;
    PowerUp(kProgramming);
    SetSupplyPinA(kSecurePin, 1);
    SetSupplyPinA(kStrobePin, 1);
    DelayMsSlot(Pulses.SecureMs);
    SetSupplyPinA(kStrobePin, 0);
    SetSupplyPinA(kSecurePin, 0);
    PowerDown();
    return 1;
}

int Alg238Read(int mode) { return Pass(mode); }
int Alg238Program() { return Pass(kProgramming); }
int Alg238Secure() { return Secure(); }
int Alg239Read(int mode) { return Pass(mode); }
int Alg239Program() { return Pass(kProgramming); }
int Alg239Secure() { return Secure(); }

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 238,
     .Read = Alg238Read,
     .Program = Alg238Program,
     .Secure = Alg238Secure,
     .VariantCount = k238Variants,
     .VariantTable = "programming table"},
    {.Row = 239, .Read = Alg239Read, .Program = Alg239Program, .Secure = Alg239Secure},
};

} // namespace

ROW_FAMILY("MacrocellWordPld", Logic, 340, kAlgorithmRows);
