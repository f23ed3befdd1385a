#include "logic/PlaneWordPld.h"

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

enum Group { kAddressGroup = 0, kDataGroup = 1 };

// A row's array: words of `Bits` bits; the address value of word w and the
// pins it goes out on (bit 0 first).
struct PlaneRow {
    uint32_t Row;
    uint32_t Words;
    int Bits;
    int AddressPins[8];
    int DataPins[10]; // bit 0 first
    int HoldPin;      // held at VPP through supply B while powered
    int SecurePin;    // raised to VPP for the security pulse
};

constexpr PlaneRow kPlaneRows[] = {
    // 256 x 8: address bits 0-4 on 19-23, bits 5-7 on 16-18.
    {276, 256, 8, {19, 20, 21, 22, 23, 16, 17, 18}, {33, 32, 31, 30, 29, 28, 27, 26}, 15, 17},
    // 4 groups x 40 columns x 10 bits: column bits 0-5 on 14-19, group on 20-21.
    {278, 160, 10, {14, 15, 16, 17, 18, 19, 20, 21}, {35, 34, 33, 32, 31, 30, 29, 28, 27, 26}, 13, 15},
};

const PlaneRow* Plane = nullptr;
int Vpp = 135;

const PlaneRow* PlaneRowOf(uint32_t row) {
    for (const PlaneRow& r : kPlaneRows)
        if (r.Row == row) return &r;
    return nullptr;
}

uint32_t WordMask() { return (1u << Plane->Bits) - 1; }

// The address value of word w: row 276 takes w as it is, row 278 the
// column (w mod 40) and the group (w / 40) above it.
uint64_t AddressOf(uint32_t w) {
    if (Plane->Row == 278) return (w % 40) | (w / 40) << 6;
    return w;
}

uint32_t FuseOf(uint32_t w, int bit) { return static_cast<uint32_t>(bit) * Plane->Words + w; }

void DefineGroups() {
    const int* a = Plane->AddressPins;
    DefinePinGroup("", kAddressGroup, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], 0);
    const int* d = Plane->DataPins;
    if (Plane->Bits == 8) {
        DefinePinGroup("", kDataGroup, d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], 0);
    } else {
        DefinePinGroup("", kDataGroup, d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], d[8], d[9], 0);
    }
}

void PowerUp(int mode) {
    Plane = PlaneRowOf(CurrentAlgorithm);
    BlankValue = 0;
    SecureCheckValue = 1;
    // Row 276 programs AMD's parts at 14.0 V.
    Vpp = Plane->Row == 276 && MakerIndex == MakerAmd ? 140 : 135;
    DefineGroups();
    SupplyVoltage = mode == kProgramming ? kProgramVccTenths : ReadVccInUse;
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(0, 0, 0, 0);
    DelayMsSlot(100);
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
    PowerUp(mode);
    CompareFailed = 0;
    int r = 1;
    for (uint32_t w = 0; w < Plane->Words && r == 1; ++w) {
        WritePinGroup(kAddressGroup, 0, 7, AddressOf(w));
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
    PowerUp(kProgramming);
    ApplyVoltageToPin(1, Plane->SecurePin, 1, Vpp);
    SetSupplyPinA(kStrobePin, 1);
    DelayMsSlot(kSecureMs);
    SetSupplyPinA(kStrobePin, 0);
    ApplyVoltageToPin(1, Plane->SecurePin, 0, kReleaseTenths);
    PowerDown();
    return 1;
}

int Alg276Read(int mode) { return Pass(mode); }
int Alg276Program() { return Pass(kProgramming); }
int Alg276Secure() { return Secure(); }
int Alg278Read(int mode) { return Pass(mode); }
int Alg278Program() { return Pass(kProgramming); }
int Alg278Secure() { return Secure(); }

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 276, .Read = Alg276Read, .Program = Alg276Program, .Secure = Alg276Secure},
    {.Row = 278, .Read = Alg278Read, .Program = Alg278Program, .Secure = Alg278Secure},
};

} // namespace

void InstallPlaneWordPldRows() { InstallRows(kAlgorithmRows); }
