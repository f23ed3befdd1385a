#include "logic/Gal6001.h"

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
#include "logic/GalFrame.h"

Gal6001State Gal225{};

namespace {

constexpr int kWriting = 1;
// Socket pins: bit clock, serial data in and out, strobe (low pulses),
// program select, the edit-voltage pin and the architecture-chain select.
constexpr int kClockPin = 22, kDataInPin = 23, kStrobePin = 25, kDataOutPin = 26;
constexpr int kProgramPin = 35, kEditPin = 14, kArchPin = 19;
constexpr int kErasePins[] = {16, 20, 21, 17, 18, 19, kProgramPin};
constexpr int kIdleTenths = 50, kEditModeTenths = 120;

constexpr int kChainBits = 119;
constexpr int kRowFlagBit = 95, kAddressBit = 96, kAddressBits = 7;
constexpr int kSignatureFirst = 20, kSignatureBits = 75;
constexpr int kSignatureRow = 96, kUesRow = 97, kSecurityRow = 98, kArchRow = 64;

enum Group { kInputs = 0, kUes = 1, kTerms = 2, kArch = 3, kSignature = 4, kSecurity = 5 };

// Chain bits 22-41 of the architecture group.
constexpr int kArchTable[20] = {8216, 8217, 8212, 8213, 8208, 8209, 8204, 8205, 8200, 8201,
                                8196, 8197, 8192, 8193, 8188, 8189, 8184, 8185, 8180, 8181};

// The timing lists of voltage code 5 (ms, and 0.1 V for the voltages).
constexpr uint32_t kReadStrobeUs[4] = {5, 10, 50, 100};
constexpr uint32_t kEraseMs[7] = {10, 25, 50, 100, 200, 400, 800};
constexpr uint32_t kPulseMs[14] = {1, 1, 5, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 200};
constexpr uint32_t kVoltTenths[31] = {50,  55,  60,  65,  70,  75,  80,  86,  90,  95,  100,
                                      105, 110, 115, 120, 125, 130, 135, 140, 145, 150, 155,
                                      160, 165, 170, 175, 180, 185, 190, 195, 200};

int ArchitectureBits() { return DeviceVariant == 2 ? 104 : 68; }

int ArchitectureFuse(int b) {
    const bool wide = DeviceVariant == 2;
    if (b == 0) return wide ? 8257 : 8221;
    if (b == 1) return wide ? 8256 : 8220;
    if (b <= 11) return (b - 2) * 4 + 8179;
    if (b <= 21) return 8214 - (b - 12) * 4;
    if (b <= 41) return kArchTable[b - 22];
    const int skip = wide ? 36 : 0; // the 6002's 36 further bits sit at 42-77
    if (wide && b <= 59) return 8297 - b;
    if (wide && b <= 77) return b + 8160;
    const int k = b - skip;
    if (k <= 49) return (k - 42) * 3 + 8156;
    if (k <= 57) return (k - 50) * 3 + 8154;
    if (k <= 65) return 8176 - (k - 58) * 3;
    return k == 66 ? 8218 : 8219;
}

// JEDEC fuse of chain bit b of row r in group g; -1 where the bit carries none.
int MapFuse(int r, int b, int g) {
    switch (g) {
    case kInputs:
        if (b >= 20 && b <= 29) return (b - 20) * 78 + r + 7296;
        if (b == 30) return r + 8076;
        if (b >= 31 && b <= 94) return (b - 31) * 114 + r;
        return -1;
    case kUes:
        if (b >= 20 && b <= 91) return b + (DeviceVariant == 2 ? 8238 : 8202);
        return -1;
    case kTerms:
        if (b <= 19) return 7338 - r * 114 + b - 78;
        if (b >= 103) return 7378 - r * 114 + b - 201;
        return -1;
    case kArch:
        return b < ArchitectureBits() ? ArchitectureFuse(b) : -1;
    default:
        return -1;
    }
}

int SignatureBit(int k) { return (Gal225.Signature[k / 8] >> (k % 8)) & 1; }

// The bit the group fixes at chain bit b (row flag and address, the
// term-select pattern, the signature), else `bit`.
uint32_t FixedBit(int r, int b, int g, bool writing, uint32_t bit) {
    if (g == kTerms) return b >= 31 && b <= 94 ? (b == 94 - r ? 0u : 1u) : bit;
    if (g == kArch) return bit;
    if (b == kRowFlagBit) return 1;
    if (b >= kAddressBit && b < kAddressBit + kAddressBits) return static_cast<uint32_t>(r >> (b - kAddressBit)) & 1u;
    if (g == kSignature && writing && b >= kSignatureFirst && b < kSignatureFirst + kSignatureBits)
        return static_cast<uint32_t>(SignatureBit(b - kSignatureFirst));
    return bit;
}

void ClockBit(uint32_t bit) {
    SetPin(kDataInPin, static_cast<int>(bit & 1u));
    PulsePin(kClockPin, 3);
}

uint32_t ReadBit() {
    const auto bit = static_cast<uint32_t>(GetPin(kDataOutPin));
    PulsePin(kClockPin, 3);
    return bit;
}

void Strobe() { PulsePin(kStrobePin, 0); }

void ProgramPulse(uint32_t us) {
    SetPin(kProgramPin, 1);
    PulsePinTimed(kStrobePin, 0, us);
    SetPin(kProgramPin, 0);
}

// VCC on with the edit voltage at 12.0 V on pin 14.
void PowerOn() {
    const auto supply = static_cast<int>(SupplyVoltage);
    SetVccRange(1, supply);
    SetAllDacVoltages(0, kIdleTenths, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    WritePinGroup(0, 0, 1, 0);
    for (int pin = 16; pin <= 23; ++pin) SetPin(pin, 0);
    SetPin(kStrobePin, 0);
    SetDevicePower(1, supply);
    SetPin(kStrobePin, 1);
    SetSupplyPinA(kEditPin, 1);
    SetDacVoltage(2, kEditModeTenths);
    DelayShortUsSlot(100);
    WritePinGroup(1, 0, 7, 0);
    SetPin(kProgramPin, 0);
}

void PowerDown() {
    SetPin(kProgramPin, 0);
    SetPin(kArchPin, 0);
    SetDacVoltage(2, kIdleTenths);
    SetSupplyPinA(kEditPin, 0);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    FloatPinRange(1, 48);
}

// Selects row 96, loads it and keeps its bits 20-94 in the record.
void ReadSignature() {
    for (int b = 0; b < kChainBits; ++b) ClockBit(FixedBit(kSignatureRow, b, kInputs, false, 0));
    Strobe();
    for (int& e : Gal225.Signature) e = 0;
    for (int b = 0; b < kChainBits; ++b) {
        const uint32_t bit = ReadBit();
        const int k = b - kSignatureFirst;
        if (k >= 0 && k < kSignatureBits) Gal225.Signature[k / 8] |= static_cast<int>(bit << (k % 8));
    }
}

// The timing of the signature's voltage code; false for a code without
// timing and for code-5 fields that point past their lists.
bool ChooseTiming() {
    Gal6001State& s = Gal225;
    switch (s.Signature[1]) {
    case 1:
    case 2:
        s.EraseUs = 100000;
        s.PulseUs = s.Signature[1] == 1 ? 80000 : 10000;
        s.ProgramTenths = s.Signature[1] == 1 ? 157 : 165;
        s.ReadEditTenths = 120;
        return true;
    case 5: {
        const auto e4 = static_cast<uint32_t>(s.Signature[4]), e5 = static_cast<uint32_t>(s.Signature[5]);
        const auto e6 = static_cast<uint32_t>(s.Signature[6]);
        const uint32_t erase = (e4 >> 2) & 7u, pulse = ((e4 >> 5) & 7u) | (e5 & 1u) << 3;
        const uint32_t program = (e5 >> 1) & 31u, read = ((e5 >> 6) & 3u) | (e6 & 7u) << 2;
        if (erase >= 7 || pulse >= 14 || program >= 31 || read >= 31) return false;
        s.ReadStrobeUs = kReadStrobeUs[e4 & 3u];
        s.EraseUs = kEraseMs[erase] * 1000;
        s.PulseUs = kPulseMs[pulse] * 1000;
        s.ProgramTenths = kVoltTenths[program];
        s.ReadEditTenths = kVoltTenths[read];
        return true;
    }
    default:
        return false;
    }
}

void RaiseEditVoltage(int mode) {
    if (mode == kWriting) {
        RampVoltageUp(2, kEditModeTenths, static_cast<int>(Gal225.ProgramTenths), 1, 1000);
    } else {
        SetDacVoltage(2, static_cast<int>(Gal225.ReadEditTenths));
    }
}

// Powers the part, reads its signature and sets the edit voltage of the
// mode. A type it does not know ends the run at " Incorrect device ID", a
// voltage code without timing ends it silently; both powered down (-1).
int PowerUp(int mode) {
    DefinePinGroup("", 0, 13, 15, 0);
    DefinePinGroup("", 1, 27, 28, 29, 30, 31, 32, 33, 34, 0);
    GalChooseSupply(mode);
    FuseProgressCheck = mode == kWriting ? 0 : 1;
    ReadBackAfterSecure = 0;
    PowerOn();
    ReadSignature();
    const int type = Gal225.Signature[2];
    if (type != 0x40 && type != 0x41 && type != 0x44) {
        PowerDown();
        return RefuseIdentity(false, " Incorrect device ID");
    }
    if (!ChooseTiming()) {
        // Refused unlogged, before any fuse: no fuse to name either.
        PowerDown();
        ReadRefusedByDevice();
        return -1;
    }
    RaiseEditVoltage(mode);
    return 1;
}

// One row: shifted in (with the buffer's fuses when writing), programmed
// when writing, loaded by a strobe and read back through the fuse service.
int RowStep(int r, int g, int mode) {
    const bool writing = mode == kWriting;
    SetPin(kArchPin, g == kArch ? 1 : 0);
    const int bits = g == kArch ? ArchitectureBits() : kChainBits;
    for (int b = 0; b < bits; ++b) {
        uint32_t bit = 0;
        const int fuse = MapFuse(r, b, g);
        if (writing && fuse >= 0) bit = ProcessFuseBit(fuse, 0, 0, kWriting);
        ClockBit(FixedBit(r, b, g, writing, bit));
    }
    if (writing) ProgramPulse(Gal225.PulseUs);
    Strobe();
    for (int b = 0; b < bits; ++b) {
        const auto bit = static_cast<int>(ReadBit());
        const int fuse = MapFuse(r, b, g);
        if (fuse >= 0) ProcessFuseBit(fuse, 0, bit, writing ? 3 : mode);
    }
    return CompareFailed == 1 ? -1 : 1;
}

int ModeRoutine(int mode) {
    if (PowerUp(mode) != 1) return -1;
    int result = 1;
    for (int r = 0; r < 78 && result == 1; ++r) result = RowStep(r, kInputs, mode);
    if (result == 1) result = RowStep(kUesRow, kUes, mode);
    for (int r = 0; r < 64 && result == 1; ++r) result = RowStep(r, kTerms, mode);
    if (result == 1) result = RowStep(kArchRow, kArch, mode);
    PowerDown();
    return result;
}

int Alg225Read(int mode) { return ModeRoutine(mode); }
int Alg225Program() { return ModeRoutine(kWriting); }

// The bulk erase; a variant-0 part of voltage code 1 or 2 then gets its
// signature row back with the erase count raised (held at 127).
int Alg225Erase() {
    if (PowerUp(kWriting) != 1) return -1;
    for (int pin : kErasePins) SetPin(pin, 1);
    PulsePinTimed(kStrobePin, 0, Gal225.EraseUs);
    for (int pin : kErasePins) SetPin(pin, 0);
    if (DeviceVariant == 0 && Gal225.Signature[1] != 5) {
        PowerDown();
        SetDeviceGround(1);
        DelayMsSlot(10);
        SupplyVoltage = ReadVccInUse;
        PowerOn();
        RaiseEditVoltage(kWriting);
        if ((Gal225.Signature[0] & 0x7F) != 0x7F) ++Gal225.Signature[0];
        RowStep(kSignatureRow, kSignature, kWriting);
    }
    PowerDown();
    return 1;
}

// Row 98 written with every data bit 0 by one program pulse; not checked.
int Alg225Secure() {
    if (PowerUp(kWriting) != 1) return -1;
    SetPin(kArchPin, 0);
    for (int b = 0; b < kChainBits; ++b) ClockBit(FixedBit(kSecurityRow, b, kSecurity, true, 0));
    ProgramPulse(Gal225.PulseUs);
    PowerDown();
    return 1;
}

} // namespace

// The row of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 225,
     .Read = Alg225Read,
     .Program = Alg225Program,
     .Erase = Alg225Erase,
     .Secure = Alg225Secure,
     .ChecksIdentity = ChecksIdentityAlways},
};

ROW_FAMILY("Gal6001", Logic, 150, kAlgorithmRows);
