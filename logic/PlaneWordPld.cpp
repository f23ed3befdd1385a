// Rows 276, 277 and 278: UV-erasable logic arrays whose fuse map holds one bit
// plane after the other (fuse = bit x words + word), programmed and read a
// data word at a time with bounded pulse trains and an over-pulse.

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
constexpr int kStrobePin = 25; // read strobe (low) and programming pin
constexpr int kTries = 20;     // a word takes at most kTries - 1 pulses
constexpr uint32_t kPulseUs = 100;
constexpr uint32_t kOverPulseUsPerPulse = 400;
constexpr uint32_t kSecureMs = 1;
constexpr uint32_t kAmdSecureMs = 50;
constexpr int kSecuring = 6;
constexpr int kAmdVccTenths = 55;       // AMD's 320 x 8 arrays work at 5.5 V
constexpr int kAmdSecureVccTenths = 60; // and take the security pulse at 6.0 V

enum Group { kAddressGroup = 0, kDataGroup = 1 };

// A row's array: words of `Bits` bits, the pins the address value goes out
// on (bit 0 first), for one maker (0: any).
struct PlaneRow {
    uint32_t Row;
    uint32_t Maker;
    uint32_t Words;
    int Bits;
    int AddressPins[10];
    int AddressPinCount;
    int DataPins[10]; // bit 0 first
    int HoldPin;      // held at VPP through supply B while powered
    int SecurePin;    // raised to VPP for the security pulse
    int Dac2Tenths;
};

constexpr PlaneRow kPlaneRows[] = {
    // 256 x 8: address bits 0-4 on 19-23, bits 5-7 on 16-18.
    {276, 0, 256, 8, {19, 20, 21, 22, 23, 16, 17, 18}, 8, {33, 32, 31, 30, 29, 28, 27, 26}, 15, 17, 0},
    // 8 rows x 40 columns x 8 bits: SAMSUNG takes the column on 17-23 and the
    // row on 14-16; AMD five column bits on 18-20, 22, 23 and the row on 14,
    // 16, 17.
    {277, MakerSamsung, 320, 8, {17, 18, 19, 20, 21, 22, 23, 14, 15, 16}, 10, {34, 33, 32, 31, 30, 29, 28, 27}, 13,
     15, 135},
    {277, MakerAmd, 320, 8, {18, 19, 20, 22, 23, 14, 16, 17}, 8, {34, 33, 32, 31, 30, 29, 28, 27}, 13, 16, 135},
    // 4 groups x 40 columns x 10 bits: column bits 0-5 on 14-19, group on 20-21.
    {278, 0, 160, 10, {14, 15, 16, 17, 18, 19, 20, 21}, 8, {35, 34, 33, 32, 31, 30, 29, 28, 27, 26}, 13, 15, 0},
};

const PlaneRow* Plane = nullptr;
int Vpp = 135;

// The row's pins for the device's maker; nullptr where the row has none.
const PlaneRow* PlaneRowOf(uint32_t row, uint32_t maker) {
    for (const PlaneRow& r : kPlaneRows)
        if (r.Row == row && (r.Maker == 0 || r.Maker == maker)) return &r;
    return nullptr;
}

bool AmdArray() { return Plane->Row == 277 && Plane->Maker == MakerAmd; }

uint32_t WordMask() { return (1u << Plane->Bits) - 1; }

// The address value of word w: row 276 takes w as it is; row 277 the column
// (w mod 40) with the row (w / 40) above it, AMD's five column pins taking
// the column modulo 32; row 278 the column (w mod 40) and the group (w / 40)
// above bit 6.
uint64_t AddressOf(uint32_t w) {
    if (Plane->Row == 278) return (w % 40) | (w / 40) << 6;
    if (Plane->Row == 277) return AmdArray() ? (w % 40 % 32) | (w / 40) << 5 : (w % 40) | (w / 40) << 7;
    return w;
}

uint32_t FuseOf(uint32_t w, int bit) { return static_cast<uint32_t>(bit) * Plane->Words + w; }

void DefineGroups() {
    const int* a = Plane->AddressPins;
    if (Plane->AddressPinCount == 10) {
        DefinePinGroup("", kAddressGroup, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9], 0);
    } else {
        DefinePinGroup("", kAddressGroup, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], 0);
    }
    const int* d = Plane->DataPins;
    if (Plane->Bits == 8) {
        DefinePinGroup("", kDataGroup, d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], 0);
    } else {
        DefinePinGroup("", kDataGroup, d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], d[8], d[9], 0);
    }
}

// The row's pins for the device, or -1 with nothing powered for a maker the
// row has none for.
int ChooseRow() {
    Plane = PlaneRowOf(CurrentAlgorithm, MakerIndex);
    if (Plane != nullptr) return 1;
    RefuseRun(" Device not supported!");
    return -1;
}

// mode: the Read mode or 1 for programming.
void PowerUp(int mode) {
    BlankValue = 0;
    SecureCheckValue = 1;
    // Row 276 programs AMD's parts at 14.0 V.
    Vpp = Plane->Row == 276 && MakerIndex == MakerAmd ? 140 : 135;
    DefineGroups();
    if (AmdArray()) {
        SupplyVoltage = mode == kSecuring ? kAmdSecureVccTenths : kAmdVccTenths;
    } else {
        SupplyVoltage = mode == kProgramming ? kProgramVccTenths : ReadVccInUse;
    }
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(0, Plane->Dac2Tenths, 0, 0);
    DelayMsSlot(100);
    if (AmdArray()) {
        SetPin(35, 0);
        SetPin(26, 0);
    }
    FloatPinRange(1, 48);
    SetPin(kStrobePin, 1);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(10);
    ApplyVoltageToPin(3, Plane->HoldPin, 1, Vpp);
}

void PowerDown() {
    ApplyVoltageToPin(3, Plane->HoldPin, 0, kReleaseTenths);
    DelayShortUsSlot(100);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
}

// The word at the address on the pins; a programmed cell reads 1.
void ReadWord() {
    SetPin(kStrobePin, 0);
    const auto v = static_cast<uint32_t>(ReadPinGroup(kDataGroup, 0, Plane->Bits - 1));
    SetPin(kStrobePin, 1);
    ReadValue = ~v & WordMask();
}

void Pulse(uint32_t us) {
    WritePinGroup(kDataGroup, 0, Plane->Bits - 1, ExpectedValue);
    ApplyVoltageToPin(1, kStrobePin, 1, Vpp);
    DelayUsSlot(us);
    ApplyVoltageToPin(1, kStrobePin, 0, kReleaseTenths);
    FloatPinGroup(kDataGroup, 0, Plane->Bits - 1);
}

// Up to kTries - 1 pulses until the word reads as written, then the
// over-pulse; -1 when it never does.
int ProgramWord() {
    const uint32_t mask = WordMask();
    ReadWord();
    if ((ReadValue & mask) == (ExpectedValue & mask)) return 1;
    uint32_t pulses = 0;
    for (;;) {
        if (++pulses >= kTries) return -1;
        Pulse(kPulseUs);
        ReadWord();
        if ((ReadValue & mask) == (ExpectedValue & mask)) break;
    }
    Pulse(kOverPulseUsPerPulse * pulses);
    return 1;
}

int Pass(int mode) {
    if (ChooseRow() != 1) return -1;
    PowerUp(mode);
    CompareFailed = 0;
    int r = 1;
    for (uint32_t w = 0; w < Plane->Words && r == 1; ++w) {
        WritePinGroup(kAddressGroup, 0, Plane->AddressPinCount - 1, AddressOf(w));
        if (mode == kProgramming) {
            ExpectedValue = 0;
            for (int k = 0; k < Plane->Bits; ++k)
                ExpectedValue |= ProcessFuseBit(static_cast<int>(FuseOf(w, k)), k, 0, kProgramming);
            r = ProgramWord();
            continue;
        }
        ReadWord();
        for (int k = 0; k < Plane->Bits; ++k)
            ProcessFuseBit(static_cast<int>(FuseOf(w, k)), k, static_cast<int>(ReadValue), mode);
        if (CompareFailed == 1) r = -1;
    }
    PowerDown();
    return r;
}

int Secure() {
    if (ChooseRow() != 1) return -1;
    // Row 277 powers up for the security pulse as for the after-secure read.
    PowerUp(Plane->Row == 277 ? kSecuring : kProgramming);
    if (AmdArray()) {
        // AMD's security pulse: supply A (DAC channel 2) on its pin alone.
        SetSupplyPinA(Plane->SecurePin, 1);
        DelayMsSlot(kAmdSecureMs);
        SetSupplyPinA(Plane->SecurePin, 0);
    } else {
        ApplyVoltageToPin(1, Plane->SecurePin, 1, Vpp);
        SetSupplyPinA(kStrobePin, 1);
        DelayMsSlot(kSecureMs);
        SetSupplyPinA(kStrobePin, 0);
        ApplyVoltageToPin(1, Plane->SecurePin, 0, kReleaseTenths);
    }
    PowerDown();
    return 1;
}

int Alg276Read(int mode) { return Pass(mode); }
int Alg276Program() { return Pass(kProgramming); }
int Alg276Secure() { return Secure(); }
int Alg277Read(int mode) { return Pass(mode); }
int Alg277Program() { return Pass(kProgramming); }
int Alg277Secure() { return Secure(); }
int Alg278Read(int mode) { return Pass(mode); }
int Alg278Program() { return Pass(kProgramming); }
int Alg278Secure() { return Secure(); }

std::string MakerPinsCheck(uint32_t row, const RowRecordFacts& r) {
    if (PlaneRowOf(row, r.Maker) != nullptr) return "";
    return "maker " + std::to_string(r.Maker) + " has no address pins in algorithm " + std::to_string(row);
}

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 276, .Read = Alg276Read, .Program = Alg276Program, .Secure = Alg276Secure},
    {.Row = 277, .Read = Alg277Read, .Program = Alg277Program, .Secure = Alg277Secure, .RecordCheck = MakerPinsCheck},
    {.Row = 278, .Read = Alg278Read, .Program = Alg278Program, .Secure = Alg278Secure},
};

} // namespace

ROW_FAMILY("PlaneWordPld", Logic, 330, kAlgorithmRows);
