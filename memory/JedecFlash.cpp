// JEDEC command-set NOR flash on the flash bus: address latches 0-2, socket
// /CE mask 3 (active low), line patterns 4 (93h unpowered, D3h idle, DDh write
// mode, DFh read strobe, DBh/C7h read loop, 83h die-ID read), read loop 5,
// data 6-7, auto-command mode 8, mode line 9.
//
// One engine from small helpers: the power-up by the row's table, command
// cycles with the doubling rule, the program cycle of a datum by the row's
// style, the DQ7 and DQ6 polls (per socket or on socket 0), the erase passes;
// per-row tables and named functions say what each row does.
#include "memory/JedecFlash.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/Tables.h"
#include "engine/RowDef.h"
#include "memory/FlashBus.h"
#include "memory/MemoryFrame.h"
#include "memory/SectorProtection.h"

uint32_t ProtectOverride = 0;

namespace {

using namespace flashbus;

// The read of a powered-up row: /CE of the socket under test, the loop, power-down.
int ReadOnSocket(int mode, bool word) {
    WriteRegister3(NotSocket(CurrentSocket));
    const int r = ReadLoop(mode, word, 0xDB);
    PowerOff();
    return r;
}

// ---- rows 50 and 51: plain write cycles ------------------------------------------

void PowerOnPlain(int mode, int reg7) {
    SupplyVoltage = Supply(mode);
    PowerUp p;
    p.Park = 0xD3;
    p.RangeTenths = static_cast<int>(SupplyVoltage);
    p.Reg7 = reg7;
    p.Reg8 = false;
    p.SettleMs = 100;
    p.Idle = false;
    flashbus::PowerOn(p);
}

int Row50Reg7() { return DeviceVariant == 0 ? 1 : DeviceVariant == 3 ? 2 : 0; }

int Alg50Read(int mode) {
    UseFrame(false);
    PowerOnPlain(2, Row50Reg7());
    return ReadOnSocket(mode, false);
}

// Row 51 reads the socket under test as row 50 does: with every socket
// selected a gang's per-socket verify would read them all at once.
int Alg51Read(int mode) {
    UseFrame(true);
    PowerOnPlain(2, -1);
    return ReadOnSocket(mode, true);
}

template <bool Word> int PlainProgram() {
    UseFrame(Word);
    PowerOnPlain(1, Word ? -1 : Row50Reg7());
    WriteRegister3(0);
    WriteRegister(4, 0xDD);
    const int r = WalkAddresses(Word ? 0x7FFF : 0xFFFF, 1, [&](bool first) {
        WriteUpperAddress(UpperLatches{0x100, 0x10000, false}, ChipAddress, first);
        WriteRegister(4, 0xDD);
        if (Word) {
            // Every word is written, FFFFh too: the part is a RAM, whose
            // cells hold whatever they held, not an erased array.
            ExpectedValue = BufferWordAt(BufferIndex);
            WriteRegister(0, ChipAddress & 0xFF);
            WriteRegister(6, ExpectedValue & 0xFF); // the high byte last: it ends the write
            WriteRegister(7, (ExpectedValue >> 8) & 0xFF);
        } else {
            ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
            WriteRegister(0, ChipAddress & 0xFF);
            WriteRegister(6, ExpectedValue);
        }
        BufferIndex += AddressStep;
        return 1;
    });
    PowerOff();
    return r;
}
constexpr AlgOperationFn Alg50Program = PlainProgram<false>;
constexpr AlgOperationFn Alg51Program = PlainProgram<true>;


// ---- rows 6, 56, 58 -------------------------------------------------------------

// Row 6's high-voltage pin A (A9) by adapter.
int Row6PinA() { return AdapterCode == 'P' ? 43 : AdapterCode == 'Q' ? 11 : 34; }

// Row 6, variant 14: the die identifier; 0 or 1, anything else fails.
uint32_t g_dieId = 0;

int ReadDieId() {
    WriteRegister(3, 0);
    SetSupplyPinA(Row6PinA(), 1);
    DelayShortUsSlot(4);
    WriteRegister(4, 0x83);
    WriteRegister(0, 3);
    DelayShortUsSlot(10);
    g_dieId = ReadRegister(6);
    const bool ok = g_dieId == 0 || g_dieId == 1;
    if (!ok) ShowMessageLine(" Incorrect die ID!");
    SetSupplyPinA(Row6PinA(), 0);
    DelayMsSlot(2);
    WriteRegister(0, DeviceStart & 0xFF);
    WriteRegister(1, (DeviceStart >> 8) & 0xFF);
    WriteRegister(2, (DeviceStart >> 16) & 0xFF);
    return ok ? 1 : -1;
}

int PowerOn6(int mode) {
    SupplyVoltage = Supply(mode);
    PowerUp p;
    p.RangeTenths = 33;
    p.Dac = 120;
    const uint32_t v = DeviceVariant;
    if (v == 10 || v == 11 || v == 31 || v == 32) p.Reg9 = 1;
    p.Reg9First = true;
    flashbus::PowerOn(p);
    if (v != 14) return 1;
    if (DeviceSubVariant == 1) return ReadDieId();
    if (DeviceSubVariant == 0) g_dieId = 1;
    if (DeviceSubVariant == 2) g_dieId = 0;
    return 1;
}

int PowerOn56(int mode) {
    SupplyVoltage = Supply(mode);
    PowerUp p;
    p.RangeTenths = static_cast<int>(SupplyVoltage);
    static constexpr int kReg9[3] = {2, 5, 0};
    if (CurrentAlgorithm == 58) p.Reg9 = 8;
    else if (DeviceVariant < 3) p.Reg9 = kReg9[DeviceVariant];
    p.Reg9First = true;
    p.Idle = false;
    flashbus::PowerOn(p);
    return 1;
}

int PowerOnCore(int mode) { return CurrentAlgorithm == 6 ? PowerOn6(mode) : PowerOn56(mode); }

// Row 6's die-ID check can fail the power-up: body() runs only when it passed.
template <class Body> int OnCore(bool word, int mode, Body&& body) {
    UseFrame(word);
    const int r = PowerOnCore(mode) == 1 ? body() : -1;
    PowerOff();
    return r;
}

template <bool Word> int CoreRead(int mode) {
    return OnCore(Word, mode, [&] {
        WriteRegister3(NotSocket(CurrentSocket));
        return ReadLoop(mode, Word, 0xDB);
    });
}

// Rows 6 and 56: the auto-command program of a byte; DQ7 in write mode or
// row 56's toggle poll in the read strobe.
int CoreByteDatum() {
    ProgramCycle(false, Prefix::Auto);
    if (CurrentAlgorithm == 6 || DeviceSubVariant == 0) return PollDq7(200, ExpectedValue) ? 1 : -1;
    WriteRegister(4, 0xDF);
    const bool ok = PollToggle(10);
    WriteRegister(4, 0xDD);
    return ok ? 1 : -1;
}

// Row 58: each command byte on both data registers, toggle poll in write mode.
int Row58Datum() {
    ProgramCycle(true, Prefix::Auto, 0xA0, true);
    return PollToggle(10) ? 1 : -1;
}

template <bool Word> int CoreProgram() {
    return OnCore(Word, 1, [] {
        WriteRegister(8, 8);
        WriteRegister3(0);
        WriteRegister(4, 0xDD);
        return Word ? ProgramLoop(true, Row58Datum) : ProgramLoop(false, CoreByteDatum);
    });
}

int CoreErase() {
    const bool word = CurrentAlgorithm == 58;
    return OnCore(word, 1, [&] {
        WriteRegister3(0);
        WriteRegister(4, 0xDD);
        ChipEraseCommands(kUnlock5555, word);
        const uint32_t doneBits = word ? 0x8080 : 0x80;
        return ErasePasses(CurrentAlgorithm == 6 ? 900 : 50, [&] { return (ReadData(word) & doneBits) != 0; });
    });
}

constexpr AlgReadFn Alg6Read = CoreRead<false>;
constexpr AlgOperationFn Alg6Program = CoreProgram<false>;
constexpr AlgOperationFn Alg6Erase = CoreErase;
constexpr AlgReadFn Alg56Read = CoreRead<false>;
constexpr AlgOperationFn Alg56Program = CoreProgram<false>;
constexpr AlgOperationFn Alg56Erase = CoreErase;
constexpr AlgReadFn Alg58Read = CoreRead<true>;
constexpr AlgOperationFn Alg58Program = CoreProgram<true>;
constexpr AlgOperationFn Alg58Erase = CoreErase;

// ---- row 6 sector protection ---------------------------------------------------------

// Pins A-D (A9, /OE, /WE, /CE of a 32-pin part on the default adapter); the
// adapters 'P' and 'Q' wire no /WE or /CE pin (0).
struct Row6Pins {
    int A, B, C, D;
};
Row6Pins PinsOf6() {
    if (AdapterCode == 'P') return {43, 16, 0, 0};
    if (AdapterCode == 'Q') return {11, 28, 0, 0};
    return {34, 32, 39, 30};
}

void Row6Sector(uint32_t start) {
    WriteRegister(1, (start << 4) & 0xFF);
    WriteRegister(2, (start >> 4) & 0xFF);
}

uint32_t Row6Verify() {
    WriteRegister(4, 0xC3);
    return ReadRegister(6);
}

bool Row6ShiftedVariant() {
    const uint32_t v = DeviceVariant;
    return v == 18 || v == 31 || v == 32 || (v == 14 && DeviceSubVariant == 3);
}
// Variants 10/2 and 11/1 hold /CE at 12 V through method A's pulse.
bool Row6CeVariant() {
    return (DeviceVariant == 10 && DeviceSubVariant == 2) || (DeviceVariant == 11 && DeviceSubVariant == 1);
}

enum class Unprotect6 { A, B, C, D, None };
Unprotect6 Row6Method() {
    if (DeviceVariant == 9) return Unprotect6::B;
    if (DeviceVariant == 14 && DeviceSubVariant < 3) {
        return g_dieId == 0 ? Unprotect6::C : g_dieId == 1 ? Unprotect6::D : Unprotect6::None;
    }
    return Unprotect6::A;
}

// mode 0 every sector, 1 those asked for; up to 25 200-us pulses with A9 and
// /OE at 12 V, a sector done when it reads 1.
int Protect6(const Row6Pins& pins, int mode, const uint32_t* states, uint32_t n, const uint32_t* b) {
    WriteRegister(3, 0);
    SetSupplyPinA(pins.A, 1);
    WriteRegister(0, 2);
    int result = 1;
    for (uint32_t i = 0; i < n && result == 1; ++i) {
        if (mode == 1 && states[i] == 0) continue;
        Row6Sector(b[i]);
        result = -1;
        for (int attempt = 0; attempt < 25 && result == -1; ++attempt) {
            if (Row6ShiftedVariant()) WriteRegister(1, ((b[i] << 4) | 8) & 0xFF);
            WriteRegister(4, 0xD3);
            SetSupplyPinA(pins.B, 1);
            DelayShortUsSlot(10);
            WriteRegister(4, 0x53);
            DelayShortUsSlot(200);
            WriteRegister(4, 0xD3);
            DelayShortUsSlot(10);
            SetSupplyPinA(pins.B, 0);
            if (Row6ShiftedVariant()) WriteRegister(1, (b[i] << 4) & 0xF7 & 0xFF);
            if (Row6Verify() == 1) result = 1;
        }
    }
    WriteRegister(4, 0xD3);
    SetSupplyPinA(pins.A, 0);
    return result;
}

void Pin6(int pin, int state, uint32_t settleUs = 0) {
    SetSupplyPinA(pin, state);
    if (settleUs != 0) DelayShortUsSlot(settleUs);
}

// One attempt of an unprotect method (the pulse and the verify setup).
void Unprotect6Attempt(const Row6Pins& p, Unprotect6 m) {
    switch (m) {
    case Unprotect6::A:
        if (Row6CeVariant()) WriteRegister(1, 0x90);
        if (Row6ShiftedVariant()) WriteRegister(1, 8);
        DelayShortUsSlot(50);
        WriteRegister(4, 0xD3);
        Pin6(p.B, 1, 10);
        if (Row6CeVariant()) {
            WriteRegister(3, 0xFF);
            Pin6(p.D, 1, 4);
        }
        WriteRegister(4, 0x53);
        DelayMsSlot(10);
        WriteRegister(4, 0xD3);
        if (Row6CeVariant()) {
            Pin6(p.D, 0);
            WriteRegister(3, 0);
        }
        Pin6(p.B, 0);
        if (Row6ShiftedVariant()) WriteRegister(1, 0);
        WriteRegister(4, 0xC3);
        break;
    case Unprotect6::B:
        WriteRegister(0, 0x80);
        WriteRegister(1, 0x12);
        DelayShortUsSlot(50);
        WriteRegister(4, 0xD3);
        DelayShortUsSlot(4);
        Pin6(p.B, 1);
        Pin6(p.D, 1);
        Pin6(p.A, 1);
        WriteRegister(4, 0x53);
        DelayMsSlot(10);
        WriteRegister(4, 0xD3);
        Pin6(p.B, 0, 4);
        Pin6(p.D, 0, 4);
        Pin6(p.A, 0, 4);
        break;
    case Unprotect6::C:
        if (DeviceSubVariant == 2) {
            WriteRegister(0, 0x40);
            WriteRegister(1, 0x10);
            WriteRegister(2, 1);
        }
        DelayShortUsSlot(50);
        WriteRegister(4, 0xD3);
        DelayShortUsSlot(4);
        Pin6(p.B, 1);
        Pin6(p.D, 1);
        WriteRegister(4, 0x53);
        DelayMsSlot(10);
        WriteRegister(4, 0xD3);
        Pin6(p.B, 0, 4);
        Pin6(p.D, 0, 4);
        WriteRegister(4, 0xC3);
        WriteRegister(0, 0x42);
        break;
    case Unprotect6::D:
        WriteRegister(0, 0x62);
        WriteRegister(1, 0);
        DelayShortUsSlot(50);
        WriteRegister(4, 0xD3);
        Pin6(p.B, 1, 4);
        Pin6(p.C, 1, 4);
        for (int pulse = 0; pulse < 2; ++pulse) {
            if (pulse == 1) DelayShortUsSlot(10);
            WriteRegister(3, 0);
            DelayMsSlot(5);
            WriteRegister(3, 0xFF);
        }
        Pin6(p.B, 0, 4);
        Pin6(p.C, 0, 4);
        WriteRegister(4, 0xC3);
        Pin6(p.A, 1, 4);
        WriteRegister(3, 0);
        break;
    case Unprotect6::None:
        break;
    }
}

// Up to 1000 attempts, each verifying from the first sector not yet read 0.
int Unprotect6Chip(const Row6Pins& p, Unprotect6 m, uint32_t n, const uint32_t* b) {
    if (m == Unprotect6::None) return 1;
    if (m == Unprotect6::A) {
        WriteRegister(0, 0x42);
        SetSupplyPinA(p.A, 1);
    } else if (m == Unprotect6::B) {
        WriteRegister(3, 0);
    } else if (m == Unprotect6::C) {
        WriteRegister(3, 0);
        SetSupplyPinA(p.A, 1);
    } else {
        WriteRegister(3, 0xFF);
    }
    uint32_t next = 0;
    int result = -1;
    for (int attempt = 0; attempt < 1000 && result == -1; ++attempt) {
        Unprotect6Attempt(p, m);
        while (next < n) {
            if (m == Unprotect6::B) {
                WriteRegister(6, 0xAA);
                WriteRegister(6, 0x55);
                WriteRegister(6, 0x90);
                WriteRegister(0, 0x82);
            }
            Row6Sector(b[next]);
            if (ReadRegister(6) != 0) break;
            ++next;
        }
        if (next >= n) result = 1;
    }
    WriteRegister(4, 0x33);
    if (m != Unprotect6::B) SetSupplyPinA(p.A, 0);
    return result;
}

// The pins a write needs: A and B always, D for methods B and C and for
// method A of variants 10/2 and 11/1, C for method D.
bool Row6HasPins(const Row6Pins& p, Unprotect6 m) {
    if (p.A == 0 || p.B == 0) return false;
    if (m == Unprotect6::B || m == Unprotect6::C || (m == Unprotect6::A && Row6CeVariant())) return p.D != 0;
    if (m == Unprotect6::D) return p.C != 0;
    return true;
}

} // namespace

// The chip's codes logged, then each sector's state (1 when it reads 1) with
// A9 at 12 V; -1 when the power-up's die check failed.
int ReadSectorProtection6(uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    std::fill(states, states + n, 0u);
    const Row6Pins pins = PinsOf6();
    return OnCore(false, 2, [&] {
        WriteRegister(3, 0xFE);
        SetSupplyPinA(pins.A, 1);
        WriteRegister(0, 0);
        ShowMessageLine("Manufacturer Code : %02Xh", Row6Verify());
        WriteRegister(0, 1);
        ShowMessageLine("Device Code       : %02Xh", Row6Verify());
        for (uint32_t i = 0; i < n; ++i) {
            WriteRegister(0, 2);
            Row6Sector(boundaries[i]);
            states[i] = Row6Verify() == 1 ? 1 : 0;
        }
        WriteRegister(4, 0xD3);
        SetSupplyPinA(pins.A, 0);
        return 1;
    });
}

// Protect every sector, unprotect the chip by the variant's method, protect
// the sectors asked for; the first failing step ends with -1. A method whose
// pins the adapter does not wire is refused before power-up.
int WriteSectorProtection6(const uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    const Row6Pins pins = PinsOf6();
    UseFrame(false);
    if (PowerOnCore(1) != 1) {
        PowerOff();
        return -1;
    }
    const Unprotect6 method = Row6Method();
    if (!Row6HasPins(pins, method)) {
        PowerOff();
        ShowMessageLine(" No high-voltage pin for this adapter!");
        return -1;
    }
    WriteRegister(3, 0);
    int r = Protect6(pins, 0, states, n, boundaries);
    if (r == 1) r = Unprotect6Chip(pins, method, n, boundaries);
    if (r == 1) r = Protect6(pins, 1, states, n, boundaries);
    PowerOff();
    return r;
}

namespace {

// ---- rows 78, 87, 93, 72, 46 ---------------------------------------------------------

int Capped33(uint32_t v) { return static_cast<int>(std::min<uint32_t>(v, 33)); }
bool Flag(uint32_t bit) { return (DeviceFlags & bit) != 0; }

// Rows 93 and 72: A9 and OE# by the package's pin count (0: none).
struct HvPins {
    int A9 = 0;
    int Oe = 0;
    int Vpp = 0;
    int Reset = 0;
    int Ce = 0;
    int We = 0;
};
int PackagePins() { return PackageRow(PackageIndex).PinCount; }

// Row 72's pins by the package's pin count: the reset pin for 32 pins only.
HvPins PinsOf72() {
    if (PackagePins() == 32) return {.A9 = 34, .Oe = 32, .Reset = 9, .Ce = 30, .We = 39};
    if (PackagePins() == 40) return {.A9 = 11, .Oe = 28, .Ce = 26, .We = 13};
    return {};
}

// Row 46's pins by adapter; an adapter without a table row has none.
HvPins PinsOf46() {
    const bool set = Flag(0x200);
    switch (AdapterCode) {
    case 0x50:
        return {43, 16, 0, !set && Flag(0x800) ? 3 : 46};
    case 0x51:
        return set ? HvPins{9, 27, 0, 1} : HvPins{7, 28, 14, 12};
    case 0x5C:
    case 0x78:
        return set ? HvPins{} : HvPins{7, 28, 14, 11};
    case 0x6B:
        return {33, 0, 0, 26};
    default:
        return {};
    }
}

int PowerOnFamily(int mode) {
    SupplyVoltage = Supply(mode);
    PowerUp p;
    p.RangeTenths = static_cast<int>(SupplyVoltage);
    switch (CurrentAlgorithm) {
    case 78:
        p.RangeMode = Flag(0x100) ? 1 : 0;
        if (Flag(0x200)) p.Reg9 = 1;
        p.IdleMs = 10;
        if (DeviceSubVariant != 1) ProtectOverride = 0;
        break;
    case 93:
        if (mode == 1) p.RangeTenths = Capped33(SupplyVoltage);
        p.Dac = 120;
        break;
    case 72:
        if (mode == 1) p.RangeTenths = Capped33(SupplyVoltage);
        p.Dac = DeviceSubVariant == 2 ? 100 : 120;
        if (Flag(0x100)) p.Reg9 = 1;
        p.Doubling = Flag(0x400);
        break;
    case 46:
        if (SupplyVoltage < 29) SupplyVoltage += mode == 1 ? 4 : 2;
        p.RangeTenths = Capped33(SupplyVoltage);
        if (Flag(0x400)) p.Reg9 = 1;
        p.Doubling = Flag(0x400);
        p.IdleMs = 100;
        break;
    case 87:
        if (SupplyVoltage < 30) p.SupplyBump = 2;
        p.IdleMs = 100;
        break;
    default:
        break;
    }
    flashbus::PowerOn(p);
    return 1;
}

bool Word(uint32_t row) { return row == 78 || row == 87 || row == 46; }

// Identify: unlock and 90h at the row's addresses on socket 0, the two codes.
int FamilyIdentify() {
    const uint32_t row = CurrentAlgorithm;
    const bool word = Word(row);
    UseFrame(word);
    PowerOnFamily(2);
    WriteRegister3(0xFE);
    WriteRegister(4, 0xDD);
    const flashbus::UnlockPair pair = row == 78 ? kUnlock5555 : kUnlock555;
    int result = 1;
    const bool byVoltage = row == 72 && (DeviceSubVariant == 3 || DeviceSubVariant == 6);
    const int a9 = PinsOf72().A9;
    if (byVoltage && a9 == 0) {
        ShowMessageLine(" No high-voltage pin for this package!");
        result = -1;
    } else if (byVoltage) {
        SetSupplyPinA(a9, 1);
    } else {
        Unlock(pair, 0x90);
    }
    if (result == 1) {
        if (row == 72) {
            WriteRegister(0, 0);
            ChipMakerId = StrobedDatum(false);
            WriteRegister(0, 1);
            ChipDeviceId = StrobedDatum(false);
        } else {
            WriteAddress(0);
            ChipMakerId = StrobedDatum(word);
            WriteAddress(1);
            ChipDeviceId = StrobedDatum(word);
        }
        if (byVoltage) SetSupplyPinA(a9, 0);
        if (row == 78) Unlock(pair, 0xF0);
        if (row == 46) CommandCycle(0, 0xF0);
    }
    WriteRegister3(0xFF);
    WriteRegister(4, 0xD3);
    PowerOff();
    return result;
}
constexpr AlgOperationFn Alg78Identify = FamilyIdentify;
constexpr AlgOperationFn Alg72Identify = FamilyIdentify;
constexpr AlgOperationFn Alg46Identify = FamilyIdentify;

// Row 46's Vpp step of sub-variant 2 (9.0 V on the adapter's Vpp pin): 1, or
// -1 when the adapter has no Vpp pin.
int Row46Vpp(int state) {
    if (CurrentAlgorithm != 46 || DeviceSubVariant != 2) return 1;
    const int pin = PinsOf46().Vpp;
    if (pin == 0) {
        ShowMessageLine(" No Vpp pin for this adapter!");
        return -1;
    }
    ApplyVppToPin(pin, state, state == 1 ? 90 : 33);
    return 1;
}

// ---- row 46 sector protection ------------------------------------------------------

// Bit 0 of every gang socket's datum at the latched address equals `want`;
// register 3 = 0 afterwards.
bool SectorVerify(uint32_t want) {
    return OnEverySocket(GangPass{}, [&](uint32_t) { return (StrobedDatum(true) & 1) == want; });
}

uint32_t SectorAddress(const uint32_t* boundaries, uint32_t i) { return boundaries[i] << 12; }

// Protect with RESET# at the protection voltage: 60h then 40h at the sector
// address with A1 set, up to 25 attempts a sector; mode 0 every sector, mode 1
// those whose state is non-zero. Row 46 lets the reset pin settle 3 ms.
int ResetPinProtect46(int resetPin, int mode, const uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    WriteRegister(3, 0);
    WriteRegister(4, 0xDD);
    SetSupplyPinA(resetPin, 1);
    WriteRegister(6, 0x60);
    if (CurrentAlgorithm == 46) DelayMsSlot(3);
    int result = 1;
    for (uint32_t i = 0; i < n && result == 1; ++i) {
        if (mode == 1 && states[i] == 0) continue;
        const uint32_t a = SectorAddress(boundaries, i) | 2;
        result = -1;
        for (int attempt = 0; attempt < 25 && result == -1; ++attempt) {
            CommandCycle(a, 0x60);
            DelayUsSlot(150);
            CommandCycle(a, 0x40);
            if (SectorVerify(1)) result = 1;
        }
    }
    WriteRegister(6, 0xF0);
    WriteRegister3(0xFF);
    SetSupplyPinA(resetPin, 0);
    return result;
}

// Unprotect the whole chip with RESET# at the protection voltage: a pass
// pulses 60h with A6 set at the sector that failed the last verify, then
// verifies from it onwards; up to 1000 passes. Row 46's SAMSUNG parts verify
// with 40h at A1 and then A6 set on the address.
int ResetPinUnprotect46(int resetPin, uint32_t n, const uint32_t* boundaries) {
    WriteRegister(3, 0);
    WriteRegister(4, 0xDD);
    SetSupplyPinA(resetPin, 1);
    WriteRegister(6, 0x60);
    const bool samsung = CurrentAlgorithm == 46 && MakerIndex == MakerSamsung;
    uint32_t next = 0; // the first sector not verified yet
    int result = -1;
    for (int pass = 0; pass < 1000 && result == -1; ++pass) {
        CommandCycle((next < n ? SectorAddress(boundaries, next) : 0) | 0x42, 0x60);
        DelayMsSlot(15);
        while (next < n) {
            const uint32_t a = SectorAddress(boundaries, next);
            if (samsung) {
                CommandCycle(a | 2, 0x40);
                WriteRegister(0, 0x42);
            } else {
                CommandCycle(a | 0x42, 0x40);
            }
            if (!SectorVerify(0)) break;
            ++next;
        }
        if (next >= n) result = 1;
    }
    WriteRegister(6, 0xF0);
    WriteRegister3(0xFF);
    SetSupplyPinA(resetPin, 0);
    return result;
}

// Protect with A9 and /OE at the protection voltage: a 100 us /WE pulse at
// the sector address with A1 set, up to 25 attempts a sector.
int PulseProtect46(const HvPins& pins, int mode, const uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    SetSupplyPinA(pins.A9, 1);
    WriteRegister(3, 0);
    WriteRegister(4, 0xDD);
    int result = 1;
    for (uint32_t i = 0; i < n && result == 1; ++i) {
        if (mode == 1 && states[i] == 0) continue;
        result = -1;
        for (int attempt = 0; attempt < 25 && result == -1; ++attempt) {
            HighVoltagePulse(pins.Oe, SectorAddress(boundaries, i) | 2, [] { DelayUsSlot(100); });
            if (SectorVerify(1)) result = 1;
        }
    }
    WriteRegister3(0xFF);
    SetSupplyPinA(pins.A9, 0);
    return result;
}

// Unprotect the chip with A9 and /OE at the protection voltage: a pass
// pulses /WE for 10 ms with A6 set at the sector that failed the last
// verify, then verifies from it onwards; up to 100 passes.
int PulseUnprotect46(const HvPins& pins, uint32_t n, const uint32_t* boundaries) {
    SetSupplyPinA(pins.A9, 1);
    WriteRegister(3, 0);
    WriteRegister(4, 0xDD);
    uint32_t next = 0;
    int result = -1;
    for (int pass = 0; pass < 100 && result == -1; ++pass) {
        HighVoltagePulse(pins.Oe, (next < n ? SectorAddress(boundaries, next) : 0) | 0x42, [] { DelayMsSlot(10); });
        while (next < n) {
            WriteAddress(SectorAddress(boundaries, next) | 0x42);
            if (!SectorVerify(0)) break;
            ++next;
        }
        if (next >= n) result = 1;
    }
    WriteRegister3(0xFF);
    SetSupplyPinA(pins.A9, 0);
    return result;
}

} // namespace

int ReadSectorProtection46(uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    UseFrame(true);
    PowerOnFamily(2);
    WriteRegister3(0xFE);
    WriteRegister(4, 0xDD);
    for (uint32_t i = 0; i < n; ++i) {
        states[i] = AutoselectSectorState(SectorAddress(boundaries, i), Flag(0x1000), true);
    }
    CommandCycle(0, 0xF0);
    PowerOff();
    return 1;
}

// Protect every sector, unprotect the chip, protect the wanted sectors, then
// read the states back: -1 when a step fails or a state differs.
int WriteSectorProtection46(const uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    UseFrame(true);
    const HvPins pins = PinsOf46();
    const bool byPulse = DeviceSubVariant == 1;
    if (DeviceSubVariant > 2) {
        ShowMessageLine(" No sector protection procedure for this device!");
        return -1;
    }
    if (byPulse ? pins.A9 == 0 || pins.Oe == 0 : pins.Reset == 0) {
        ShowMessageLine(" No high-voltage pin for this adapter!");
        return -1;
    }
    auto protect = [&](int mode) {
        return byPulse ? PulseProtect46(pins, mode, states, n, boundaries)
                       : ResetPinProtect46(pins.Reset, mode, states, n, boundaries);
    };
    PowerOnFamily(1);
    const int volts = Vccp < 290 ? 100 : 120;
    SetDacVoltage(1, volts);
    SetDacVoltage(2, volts);
    int r = protect(0);
    if (r == 1) r = byPulse ? PulseUnprotect46(pins, n, boundaries) : ResetPinUnprotect46(pins.Reset, n, boundaries);
    if (r == 1) r = protect(1);
    if (r == 1) {
        SetDacVoltage(1, 0);
        SetDacVoltage(2, 0);
    }
    PowerOff();
    if (r != 1) return r;
    std::vector<uint32_t> found(n, 0);
    ReadSectorProtection46(found.data(), n, boundaries);
    for (uint32_t i = 0; i < n; ++i) {
        if (found[i] != (states[i] != 0 ? 1u : 0u)) return -1;
    }
    return 1;
}

namespace {

// ---- row 93: protection with A9 and /OE at 12 V ------------------------------------

// Row 93's A9 and /OE pins: wired for 40-pin packages only.
HvPins PinsOf93() { return PackagePins() == 40 ? HvPins{11, 28, 0} : HvPins{}; }

// Registers 1 and 2 from a boundary, x and y adding address bits 8-15 and 16-23.
void SetSectorAddress(uint32_t b, uint32_t x, uint32_t y) {
    WriteRegister(1, ((b << 4) | x) & 0xFF);
    WriteRegister(2, ((b >> 4) | y) & 0xFF);
}

// mode 0 every sector, 1 the sectors whose state is set; 25 pulses each.
int HvA9Protect(const HvPins& pins, int mode, const uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    WriteRegister(4, 0xDD);
    WriteRegister(0, 2);
    SetSupplyPinA(pins.A9, 1);
    WriteRegister(3, 0);
    int result = 1;
    for (uint32_t i = 0; i < n && result == 1; ++i) {
        if (mode == 1 && states[i] == 0) continue;
        SetSectorAddress(boundaries[i], 8, 0);
        result = -1;
        for (int attempt = 0; attempt < 25 && result == -1; ++attempt) {
            WriteRegister(4, 0xD3);
            SetSupplyPinA(pins.Oe, 1);
            DelayShortUsSlot(10);
            WriteRegister(4, 0x53);
            DelayUsSlot(200);
            WriteRegister(4, 0xD3);
            DelayShortUsSlot(10);
            SetSupplyPinA(pins.Oe, 0);
            if (SectorVerify(1)) result = 1;
        }
    }
    WriteRegister(4, 0xD3);
    SetSupplyPinA(pins.A9, 0);
    return result;
}

// Passes of one chip-unprotect pulse, each verifying from the first sector
// not yet read unprotected; 100 passes.
int HvA9Unprotect(const HvPins& pins, uint32_t n, const uint32_t* boundaries) {
    WriteRegister(4, 0xDD);
    SetSupplyPinA(pins.A9, 1);
    WriteRegister(3, 0);
    uint32_t next = 0;
    int result = -1;
    for (int pass = 0; pass < 100 && result == -1; ++pass) {
        WriteRegister(0, 0x42);
        WriteRegister(1, 8);
        WriteRegister(4, 0xD3);
        SetSupplyPinA(pins.Oe, 1);
        WriteRegister(4, 0x53);
        DelayMsSlot(10);
        WriteRegister(4, 0xC3);
        SetSupplyPinA(pins.Oe, 0);
        while (next < n) {
            SetSectorAddress(boundaries[next], 0, 0);
            if (!SectorVerify(0)) break;
            ++next;
        }
        if (next >= n) result = 1;
    }
    WriteRegister(4, 0x33);
    SetSupplyPinA(pins.A9, 0);
    return result;
}

} // namespace

int ReadSectorProtection93(uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    const HvPins pins = PinsOf93();
    UseFrame(false);
    PowerOnFamily(2);
    WriteRegister3(0xFE);
    WriteRegister(4, 0xDD);
    if (pins.A9 == 0) {
        ShowMessageLine(" No high-voltage pin for this package!");
        std::fill(states, states + n, 0u);
    } else {
        SetSupplyPinA(pins.A9, 1);
        for (uint32_t id = 0; id < 2; ++id) {
            WriteRegister(0, id);
            StrobedDatum(false);
        }
        WriteRegister(0, 2);
        for (uint32_t i = 0; i < n; ++i) {
            SetSectorAddress(boundaries[i], 0, 0);
            states[i] = StrobedDatum(false) == 1 ? 1 : 0;
        }
        SetSupplyPinA(pins.A9, 0);
    }
    PowerOff();
    return 1;
}

// Protect every sector, unprotect the chip, protect the wanted sectors, each
// step powered on its own; -1 from the first step that fails.
int WriteSectorProtection93(const uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    const HvPins pins = PinsOf93();
    if (pins.A9 == 0) {
        ShowMessageLine(" No high-voltage pin for this package!");
        return -1;
    }
    UseFrame(false);
    auto powered = [](auto&& step) {
        PowerOnFamily(1);
        const int r = step();
        PowerOff();
        return r;
    };
    int r = powered([&] { return HvA9Protect(pins, 0, states, n, boundaries); });
    if (r == 1) r = powered([&] { return HvA9Unprotect(pins, n, boundaries); });
    if (r == 1) r = powered([&] { return HvA9Protect(pins, 1, states, n, boundaries); });
    return r;
}

namespace {

// ---- row 78 sector protection: by command, no unprotect --------------------------

// The autoselect mode at 5555h/2AAAh, the die code read and dropped.
void Autoselect78() {
    Unlock(kUnlock5555, 0x90);
    WriteAddress(3);
    StrobedDatum(true);
}

} // namespace

// Each sector's state in DQ0 at its address with A1 set.
int ReadSectorProtection78(uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    UseFrame(true);
    PowerOnFamily(2);
    WriteRegister3(0xFE);
    WriteRegister(4, 0xDD);
    Autoselect78();
    for (uint32_t i = 0; i < n; ++i) {
        WriteAddress(SectorAddress(boundaries, i) | 2);
        states[i] = StrobedDatum(true) & 1;
    }
    PowerOff();
    return 1;
}

// 40h behind the six-cycle prefix at each sector asked for, then every
// sector's state read back against the request; the chip has no unprotect,
// so a protected sector asked to be unprotected fails the write.
int WriteSectorProtection78(const uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    UseFrame(true);
    PowerOnFamily(1);
    WriteRegister3(0);
    WriteRegister(4, 0xDD);
    for (uint32_t i = 0; i < n; ++i) {
        if (states[i] == 0) continue;
        Unlock(kUnlock5555, 0x80);
        CommandCycle(kUnlock5555.First, 0xAA);
        CommandCycle(kUnlock5555.Second, 0x55);
        CommandCycle(SectorAddress(boundaries, i), 0x40);
        DelayUsSlot(200);
    }
    CommandCycle(0, 0xF0);
    Unlock(kUnlock5555, 0x90);
    int r = 1;
    for (uint32_t i = 0; i < n && r == 1; ++i) {
        WriteAddress(SectorAddress(boundaries, i) | 2);
        if ((StrobedDatum(true) & 1) != (states[i] != 0 ? 1u : 0u)) r = -1;
    }
    PowerOff();
    return r;
}

namespace {

// ---- row 72 sector protection: the procedure pair of each sub-variant ---------------

bool MakerIs(const char* name) { return std::strcmp(MakerName(MakerIndex), name) == 0; }

// The pins a sub-variant's procedures switch; false when the package has
// none of one of them.
bool Row72HasPins(const HvPins& p) {
    switch (DeviceSubVariant) {
    case 0:
        return true;
    case 1:
        return p.Oe != 0;
    case 2:
        return p.A9 != 0 && p.Oe != 0 && p.We != 0;
    case 4:
        return p.Reset != 0;
    case 5:
        return p.A9 != 0 && p.Oe != 0;
    default: // 3, 6
        return p.A9 != 0 && p.Oe != 0 && p.Ce != 0;
    }
}

// ZIF pins 1 to 8 with the other chip enables of a gang adapter.
void GangPins(int state) {
    if (LastSocketIndex == 0) return;
    for (int pin = 1; pin <= 8; ++pin) SetSupplyPinA(pin, state);
}

// One read, then up to 1000 reads 10 us apart until DQ6 reads the same twice.
bool ToggleWait() {
    uint32_t last = StrobedDatum();
    for (int i = 0; i < 1000; ++i) {
        DelayShortUsSlot(10);
        const uint32_t v = StrobedDatum();
        if (((v ^ last) & 0x40) == 0) return true;
        last = v;
    }
    return false;
}

void SixCycles(uint32_t last) {
    Unlock(kUnlock555, 0x80);
    Unlock(kUnlock555, last);
}

// Up to `limit` attempts of attempt(sector) until the sector verifies
// protected; mode 0 every sector, 1 those asked for; the first sector that
// never verifies ends with -1.
template <class Attempt>
int ProtectSectors(int mode, int limit, const uint32_t* states, uint32_t n, Attempt&& attempt) {
    for (uint32_t i = 0; i < n; ++i) {
        if (mode == 1 && states[i] == 0) continue;
        bool done = false;
        for (int a = 0; a < limit && !done; ++a) done = attempt(i);
        if (!done) return -1;
    }
    return 1;
}

// Up to `limit` passes of pass(next), each followed (when it returns true) by
// verify(i) from the first sector not yet verified onwards; 1 once all did.
template <class Pass, class Verify> int UnprotectPasses(int limit, uint32_t n, Pass&& pass, Verify&& verify) {
    uint32_t next = 0;
    for (int p = 0; p < limit; ++p) {
        if (!pass(next)) continue;
        while (next < n && verify(next)) ++next;
        if (next >= n) return 1;
    }
    return -1;
}

int CommandProtect72(int mode, const uint32_t* states, uint32_t n, const uint32_t* b) {
    WriteRegister(3, 0);
    WriteRegister(4, 0xDD);
    const int r = ProtectSectors(mode, 32, states, n, [&](uint32_t i) {
        SixCycles(0x20);
        WriteRegister(0, 0);
        SetSectorAddress(b[i], 2, 0);
        WriteRegister(6, 0);
        if (!ToggleWait()) return false;
        WriteRegister(0, 2);
        return SectorVerify(1);
    });
    WriteRegister(6, 0xF0);
    return r;
}

int CommandUnprotect72(uint32_t n, const uint32_t* b) {
    WriteRegister(3, 0);
    WriteRegister(4, 0xDD);
    const int r = UnprotectPasses(
        100, n,
        [&](uint32_t) {
            SixCycles(0x20);
            WriteRegister(0, 0x40);
            WriteRegister(1, 2);
            WriteRegister(2, 0);
            WriteRegister(6, 0);
            return ToggleWait();
        },
        [&](uint32_t i) {
            SetSectorAddress(b[i], 2, 0);
            WriteRegister(0, 2);
            return SectorVerify(0);
        });
    WriteRegister(6, 0xF0);
    return r;
}

// Sub-variant 1's commands behind 24h with /OE at the protection voltage.
void EnterOeCommands(const HvPins& p) {
    SetSupplyPinA(p.Oe, 1);
    Unlock(kUnlock555, 0x24);
    DelayShortUsSlot(1);
}
void LeaveOeCommands(const HvPins& p) {
    SetSupplyPinA(p.Oe, 1);
    CommandCycle(0, 0x90);
    CommandCycle(0, 0x00);
    SetSupplyPinA(p.Oe, 0);
}

int OeCommandProtect72(const HvPins& p, int mode, const uint32_t* states, uint32_t n, const uint32_t* b) {
    EnterOeCommands(p);
    WriteRegister(0, 0x22);
    WriteRegister(1, 0);
    WriteRegister(2, 0);
    WriteRegister(6, 0x60);
    const int r = ProtectSectors(mode, 25, states, n, [&](uint32_t i) {
        SetSupplyPinA(p.Oe, 1);
        WriteRegister(0, 0x22);
        SetSectorAddress(b[i], 0, 0);
        WriteRegister(6, 0x60);
        DelayUsSlot(150);
        SetSupplyPinA(p.Oe, 0);
        WriteRegister(0, 2);
        WriteRegister(6, 0x40);
        return SectorVerify(1);
    });
    LeaveOeCommands(p);
    return r;
}

int OeCommandUnprotect72(const HvPins& p, uint32_t n, const uint32_t* b) {
    EnterOeCommands(p);
    WriteRegister(0, 0x62);
    WriteRegister(6, 0x60);
    const int r = UnprotectPasses(
        1000, n,
        [&](uint32_t next) {
            SetSectorAddress(next < n ? b[next] : 0, 0, 0);
            WriteRegister(0, 0x62);
            WriteRegister(6, 0x60);
            SetSupplyPinA(p.Oe, 0);
            DelayMsSlot(15);
            WriteRegister(0, 0x42);
            WriteRegister(6, 0x40);
            return true;
        },
        [&](uint32_t i) {
            SetSectorAddress(b[i], 0, 0);
            return SectorVerify(0);
        });
    LeaveOeCommands(p);
    return r;
}

// Sub-variant 2: /OE and /WE at the protection voltage, two 5 ms /CE pulses,
// then A9 at it for the verify.
int WeCeUnprotect72(const HvPins& p, uint32_t n, const uint32_t* b) {
    WriteRegister(3, 0xFF);
    WriteRegister(1, 0);
    const int r = UnprotectPasses(
        100, n,
        [&](uint32_t) {
            WriteRegister(0, 0x62);
            WriteRegister(4, 0xD3);
            SetSupplyPinA(p.Oe, 1);
            SetSupplyPinA(p.We, 1);
            WriteRegister(3, 0);
            DelayMsSlot(5);
            WriteRegister(3, 0xFF);
            DelayShortUsSlot(10);
            WriteRegister(3, 0);
            DelayMsSlot(5);
            WriteRegister(3, 0xFF);
            SetSupplyPinA(p.Oe, 0);
            DelayShortUsSlot(4);
            SetSupplyPinA(p.We, 0);
            DelayShortUsSlot(4);
            SetSupplyPinA(p.A9, 1);
            DelayShortUsSlot(4);
            WriteRegister(0, 2);
            WriteRegister(4, 0xDB);
            return true;
        },
        [&](uint32_t i) {
            SetSectorAddress(b[i], 0, 0);
            return SectorVerify(0);
        });
    SetSupplyPinA(p.A9, 0);
    WriteRegister(4, 0x33);
    return r;
}

// One 10 ms pulse with /OE, /CE (and a gang's other chip enables) and A9 at
// the protection voltage; A9 stays when keepA9.
void CePulse72(const HvPins& p, bool keepA9) {
    WriteRegister(4, 0xD3);
    DelayShortUsSlot(4);
    SetSupplyPinA(p.Oe, 1);
    SetSupplyPinA(p.Ce, 1);
    GangPins(1);
    SetSupplyPinA(p.A9, 1);
    DelayShortUsSlot(4);
    WriteRegister(4, 0x53);
    DelayMsSlot(10);
    WriteRegister(4, 0xD3);
    SetSupplyPinA(p.Oe, 0);
    DelayShortUsSlot(4);
    SetSupplyPinA(p.Ce, 0);
    DelayShortUsSlot(4);
    GangPins(0);
    if (!keepA9) {
        SetSupplyPinA(p.A9, 0);
        DelayShortUsSlot(4);
    }
}

// Sub-variant 3: the /CE pulse at 80h/12h (92h for ST), each sector then read
// in the autoselect mode. A pass succeeds when the sectors read unprotected.
// The autoselect command goes to the command addresses in write mode: after
// the pulse the bus is idle and the latched address is a sector's, where the
// three bytes alone would leave the part reading its array.
int CeAutoselectUnprotect72(const HvPins& p, uint32_t n, const uint32_t* b) {
    WriteRegister(3, 0);
    const int r = UnprotectPasses(
        10, n,
        [&](uint32_t) {
            WriteRegister(0, 0x80);
            WriteRegister(1, MakerIs("ST") ? 0x92 : 0x12);
            DelayShortUsSlot(50);
            CePulse72(p, false);
            return true;
        },
        [&](uint32_t i) {
            WriteRegister(4, 0xDD);
            Unlock(kUnlock555, 0x90);
            WriteRegister(0, 0x82);
            SetSectorAddress(b[i], 0, 0);
            return SectorVerify(0);
        });
    WriteRegister(4, 0x33);
    return r;
}

// Sub-variant 6: the /CE pulse at the address the flags choose, A9 kept at
// the protection voltage through the verify.
int CeUnprotect72(const HvPins& p, uint32_t n, const uint32_t* b) {
    WriteRegister(3, 0);
    const int r = UnprotectPasses(
        100, n,
        [&](uint32_t) {
            if (Flag(0x400)) {
                WriteRegister(0, 0x80);
                WriteRegister(1, 0x10);
            } else if (Flag(0x800)) {
                WriteRegister(1, 0x92);
            } else {
                WriteRegister(0, 0x40);
                WriteRegister(1, 0x10);
                WriteRegister(2, 1);
            }
            DelayShortUsSlot(4);
            CePulse72(p, true);
            return true;
        },
        [&](uint32_t i) {
            WriteRegister(0, MakerIs("HYUNDAI") ? 2 : 0x42);
            SetSectorAddress(b[i], 0, 0);
            return SectorVerify(0);
        });
    SetSupplyPinA(p.A9, 0);
    WriteRegister(4, 0x33);
    return r;
}

int Protect72(const HvPins& p, int mode, const uint32_t* states, uint32_t n, const uint32_t* b) {
    switch (DeviceSubVariant) {
    case 0:
        return CommandProtect72(mode, states, n, b);
    case 1:
        return OeCommandProtect72(p, mode, states, n, b);
    case 4:
        return ResetPinProtect46(p.Reset, mode, states, n, b);
    default:
        return HvA9Protect(p, mode, states, n, b);
    }
}

int Unprotect72(const HvPins& p, uint32_t n, const uint32_t* b) {
    switch (DeviceSubVariant) {
    case 0:
        return CommandUnprotect72(n, b);
    case 1:
        return OeCommandUnprotect72(p, n, b);
    case 2:
        return WeCeUnprotect72(p, n, b);
    case 3:
        return CeAutoselectUnprotect72(p, n, b);
    case 4:
        return ResetPinUnprotect46(p.Reset, n, b);
    case 5: {
        const int r = HvA9Unprotect(p, n, b);
        if (MakerIs("ALLIANCE")) HvA9Unprotect(p, n, b);
        return r;
    }
    default:
        return CeUnprotect72(p, n, b);
    }
}

} // namespace

// The states by A9 at the protection voltage (sub-variants 3 and 6) or the
// autoselect command: a sector is protected when its byte reads 1.
// Sub-variant 4's parts have RESET# on the reset pin, which the bus drives as
// an address line (low): it is held at the supply for the reads, the way
// row 40 holds its pin-9 parts out of reset.
int ReadSectorProtection72(uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    const HvPins pins = PinsOf72();
    const bool byVoltage = DeviceSubVariant == 3 || DeviceSubVariant == 6;
    const bool holdReset = DeviceSubVariant == 4 && pins.Reset != 0;
    UseFrame(false);
    PowerOnFamily(2);
    WriteRegister3(0xFE);
    WriteRegister(4, 0xDD);
    if (holdReset) {
        SetDacVoltage(1, static_cast<int>(SupplyVoltage));
        SetSupplyPinA(pins.Reset, 1);
    }
    if (byVoltage && pins.A9 == 0) {
        ShowMessageLine(" No high-voltage pin for this package!");
        std::fill(states, states + n, 0u);
    } else {
        if (byVoltage) SetSupplyPinA(pins.A9, 1);
        else Unlock(kUnlock555, 0x90);
        for (uint32_t id = 0; id < 2; ++id) {
            WriteRegister(0, id);
            StrobedDatum(false);
        }
        WriteRegister(0, 2);
        for (uint32_t i = 0; i < n; ++i) {
            SetSectorAddress(boundaries[i], 0, 0);
            states[i] = StrobedDatum(false) == 1 ? 1 : 0;
        }
        if (byVoltage) SetSupplyPinA(pins.A9, 0);
    }
    if (holdReset) SetSupplyPinA(pins.Reset, 0);
    PowerOff();
    return 1;
}

// Protect every sector, unprotect the chip, protect the wanted sectors by the
// sub-variant's procedures (sub-variant 0 powers each step on its own), then
// read the states back: -1 when a step fails or a state differs.
int WriteSectorProtection72(const uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    const HvPins pins = PinsOf72();
    if (DeviceSubVariant > 6) {
        ShowMessageLine(" No sector protection procedure for this device!");
        return -1;
    }
    if (!Row72HasPins(pins)) {
        ShowMessageLine(" No high-voltage pin for this package!");
        return -1;
    }
    UseFrame(false);
    const bool each = DeviceSubVariant == 0;
    auto step = [&](auto&& run) {
        if (each) PowerOnFamily(1);
        const int r = run();
        if (each) PowerOff();
        return r;
    };
    if (!each) {
        PowerOnFamily(1);
        WriteRegister(3, 0);
        WriteRegister(4, 0xDD);
    }
    int r = step([&] { return Protect72(pins, 0, states, n, boundaries); });
    if (r == 1) r = step([&] { return Unprotect72(pins, n, boundaries); });
    if (r == 1) r = step([&] { return Protect72(pins, 1, states, n, boundaries); });
    if (!each) PowerOff();
    if (r != 1) return r;
    std::vector<uint32_t> found(n, 0);
    ReadSectorProtection72(found.data(), n, boundaries);
    for (uint32_t i = 0; i < n; ++i) {
        if (found[i] != (states[i] != 0 ? 1u : 0u)) return -1;
    }
    return 1;
}

namespace {

void OverrideOn() {
    if (ProtectOverride == 1) ApplyVppToPin(12, 1, 120);
}
void OverrideOff() {
    if (ProtectOverride == 1) ApplyVppToPin(12, 0, 50);
}

int FamilyRead(int mode) {
    const bool word = Word(CurrentAlgorithm);
    UseFrame(word);
    PowerOnFamily(2);
    return ReadOnSocket(mode, word);
}
constexpr AlgReadFn Alg78Read = FamilyRead;
constexpr AlgReadFn Alg93Read = FamilyRead;
constexpr AlgReadFn Alg72Read = FamilyRead;
constexpr AlgReadFn Alg46Read = FamilyRead;

// Row 78: sub-variant 0 sends the command bytes per word (auto-command), 1
// enters the fast mode once; socket 0 is polled.
int Row78Datum() {
    ProgramCycle(true, DeviceSubVariant == 0 ? Prefix::Auto : Prefix::None);
    if (GangInUse()) WriteRegister3(0xFE);
    WriteRegister(4, 0xDF);
    const bool ok = DeviceSubVariant == 1 ? PollDq7(10, ExpectedValue) : PollToggle(10);
    if (GangInUse()) WriteRegister3(0);
    return ok ? 1 : -1;
}

int Alg78Program() {
    UseFrame(true);
    PowerOnFamily(1);
    OverrideOn();
    WriteRegister3(0);
    WriteRegister(4, 0xDD);
    if (DeviceSubVariant == 1) {
        Unlock(kUnlock5555, 0x80); // the fast program mode, entered once
        Unlock(kUnlock5555, 0xA0);
    } else {
        WriteRegister(8, 8);
    }
    const int r = ProgramLoop(true, Row78Datum);
    OverrideOff();
    PowerOff();
    return r;
}

int Alg78Erase() {
    UseFrame(true);
    PowerOnFamily(1);
    OverrideOn();
    WriteRegister3(0);
    WriteRegister(4, 0xDD);
    ChipEraseCommands(kUnlock5555);
    const int r = EraseEverySocket(DeviceSubVariant == 0 ? 30 : 100, true);
    OverrideOff();
    PowerOff();
    return r;
}

// Rows 93, 72, 46: bypass (A0h per datum) or auto-command (AAh 55h A0h), a
// DQ7 poll of every socket.
int BypassOrAuto() {
    if (Flag(CurrentAlgorithm == 46 ? 0x100 : 0x200)) {
        Unlock(kUnlock555, 0x20);
        return 1;
    }
    WriteRegister(8, 8);
    return 0;
}

bool g_bypass = false;

int ProgramCycleAndPoll(bool word) {
    ProgramCycle(word, g_bypass ? Prefix::Command : Prefix::Auto);
    WriteRegister(4, 0xDF);
    return PollDq7EverySocket(200, ExpectedValue) ? 1 : -1;
}

// Rows 93 and 72 give a datum up to 10 command-and-poll attempts.
int ByteDatumWithRetries() {
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (ProgramCycleAndPoll(false) == 1) return 1;
    }
    return -1;
}
int WordDatumOnce() { return ProgramCycleAndPoll(true); }

// Power-up for programming, row 46's Vpp step around body() with every socket
// in write mode, power-down.
template <class Body> int ProgramSession(Body&& body) {
    PowerOnFamily(1);
    int r = Row46Vpp(1);
    if (r == 1) {
        WriteRegister3(0);
        WriteRegister(4, 0xDD);
        r = body();
        Row46Vpp(0);
    }
    PowerOff();
    return r;
}

int FamilyProgram() {
    const bool word = Word(CurrentAlgorithm);
    UseFrame(word);
    return ProgramSession([&] {
        g_bypass = BypassOrAuto() == 1;
        return word ? ProgramLoop(true, WordDatumOnce) : ProgramLoop(false, ByteDatumWithRetries);
    });
}
constexpr AlgOperationFn Alg93Program = FamilyProgram;
constexpr AlgOperationFn Alg72Program = FamilyProgram;
constexpr AlgOperationFn Alg46Program = FamilyProgram;

uint32_t Row46EraseLimit() {
    if (SupplyVoltage < 29) return 1500;
    return MakerIndex == MakerAmd || MakerIndex == MakerFujitsu ? 1300 : 1500;
}

int FamilyErase() {
    const uint32_t row = CurrentAlgorithm;
    const bool word = Word(row);
    UseFrame(word);
    return ProgramSession([&] {
        ChipEraseCommands(row == 46 ? kUnlock555 : kUnlock5555);
        const int r = EraseEverySocket(row == 46 ? Row46EraseLimit() : 900, word);
        WriteRegister3(0);
        return r;
    });
}
constexpr AlgOperationFn Alg93Erase = FamilyErase;
constexpr AlgOperationFn Alg72Erase = FamilyErase;
constexpr AlgOperationFn Alg46Erase = FamilyErase;

// Row 87: three 512K-word dies on /CE bits 0-2.
constexpr uint32_t kDieWords = 0x80000;

void SelectDieIfDue(bool first) {
    if (!first && ChipAddress % kDieWords != 0) return;
    WriteRegister3(NotSocket(ChipAddress / kDieWords));
    DelayMsSlot(10);
}

int Row87Datum() {
    ProgramCycle(true, Prefix::Auto, ChipAddress < 0x100000 ? 0xA0 : 0xA5);
    WriteRegister(4, 0xDF);
    return (DeviceSubVariant == 1 ? PollDq7(10, ExpectedValue) : PollToggle(10)) ? 1 : -1;
}

int Alg87Read(int mode) {
    UseFrame(true);
    PowerOnFamily(2);
    const int r = ReadLoop(mode, true, 0xC7, 1, SelectDieIfDue);
    PowerOff();
    return r;
}

int Alg87Program() {
    UseFrame(true);
    PowerOnFamily(1);
    WriteRegister(4, 0xDD);
    WriteRegister(8, 8);
    const int r = ProgramLoop(true, SelectDieIfDue, Row87Datum);
    PowerOff();
    return r;
}

int Alg87Erase() {
    UseFrame(true);
    PowerOnFamily(1);
    int r = 1;
    for (uint32_t die = 0; die < 3 && r == 1; ++die) {
        WriteRegister3(NotSocket(die));
        DelayMsSlot(100);
        WriteRegister(4, 0xDD);
        ChipEraseCommands(kUnlock5555);
        r = ErasePasses(30, [] {
            const uint32_t a = StrobedDatum(true), b = StrobedDatum(true);
            return ((a ^ b) & 0x40) == 0;
        });
    }
    PowerOff();
    return r;
}

} // namespace

// ---- row 58: the SRAM test -------------------------------------------------------

int Alg58Options() {
    const uint32_t keepStart = DeviceStart, keepEnd = DeviceEnd;
    static constexpr uint32_t kEnds[3] = {0xFFFF, 0x1FFFF, 0x3FFFF};
    DeviceStart = 0;
    if (DeviceVariant < 3) DeviceEnd = kEnds[DeviceVariant];
    ShowMessageLine("SRAM Testing...");
    ProgressStep = 256;
    UseFrame(true);
    PowerOn56(1);
    WriteRegister(9, 0);
    WriteRegister(4, 0xDD);
    int r = WalkAddresses(0xFFFFFFFFu, 0, [](bool first) {
        WriteUpperAddress(UpperLatches{0x100, 0x10000, false}, ChipAddress, first);
        WriteRegister(0, ChipAddress & 0xFF);
        for (uint32_t pattern : {0xAAu, 0x55u}) {
            WriteRegister(7, pattern);
            WriteRegister(6, pattern);
            if (ReadData(true) != (pattern | (pattern << 8))) return -1;
        }
        return 1;
    });
    PowerOff();
    if (r == 1) {
        ReplaceLastMessageLine("SRAM Test ok!");
        ShowProgressStatus(100, DeviceEnd);
    } else {
        ReplaceLastMessageLine("SRAM Test error!");
    }
    Beep(r == 1 ? 1 : -1);
    DeviceStart = keepStart;
    DeviceEnd = keepEnd;
    return r;
}

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 50, .Read = Alg50Read, .Program = Alg50Program, .Options = Alg50Options},
    {.Row = 51, .Read = Alg51Read, .Program = Alg51Program, .Options = Alg51Options},
    {.Row = 6, .Read = Alg6Read, .Program = Alg6Program, .Erase = Alg6Erase, .Options = Alg6Options},
    {.Row = 56, .Read = Alg56Read, .Program = Alg56Program, .Erase = Alg56Erase},
    {.Row = 58, .Read = Alg58Read, .Program = Alg58Program, .Erase = Alg58Erase, .Options = Alg58Options},
    {.Row = 78,
     .Identify = Alg78Identify,
     .Read = Alg78Read,
     .Program = Alg78Program,
     .Erase = Alg78Erase,
     .Options = Alg6Options},
    {.Row = 87, .Read = Alg87Read, .Program = Alg87Program, .Erase = Alg87Erase},
    {.Row = 93, .Read = Alg93Read, .Program = Alg93Program, .Erase = Alg93Erase, .Options = Alg6Options},
    {.Row = 72,
     .Identify = Alg72Identify,
     .Read = Alg72Read,
     .Program = Alg72Program,
     .Erase = Alg72Erase,
     .Options = Alg6Options},
    {.Row = 46,
     .Identify = Alg46Identify,
     .Read = Alg46Read,
     .Program = Alg46Program,
     .Erase = Alg46Erase,
     .Options = Alg6Options},
};

void InstallJedecFlashRows() {
    InstallRows(kAlgorithmRows);
}
