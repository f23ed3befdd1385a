// Byte-wide JEDEC flash protected sector by sector with high voltage on
// socket pins, on the flash bus: rows 20 and 22 (module A: 16-bit parts in
// byte mode, A9 and /OE at VID), 27 (module B: A9 and /OE at VID, the chip
// unprotect by the part's own method), 23 and 24 (page program 41h and the
// A7h D0h erase of the same modules) and 29 (in-system protection with
// RESET# at VID, optional ACC voltage).
#include "memory/HvSectorFlash.h"

#include <vector>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/Tables.h"
#include "engine/RowDef.h"
#include "memory/FlashBus.h"
#include "memory/Gang.h"
#include "memory/MemoryFrame.h"
#include "memory/SectorProtection.h"

namespace {

using namespace flashbus;

// ---- the rows -----------------------------------------------------------------

// Module A: 16-bit parts in byte mode, A9 and /OE at VID; module B: A9 and /OE
// at VID, the chip unprotect by the part's own method; in-system: RESET# at
// VID, unlock bypass, an optional ACC voltage.
enum class Module { A, B, InSystem };

int ReadSectorProtectionHv(uint32_t* states, uint32_t n, const uint32_t* boundaries);
int WriteSectorProtectionHv(const uint32_t* states, uint32_t n, const uint32_t* boundaries);
int ReadSectorProtection29(uint32_t* states, uint32_t n, const uint32_t* boundaries);
int WriteSectorProtection29(const uint32_t* states, uint32_t n, const uint32_t* boundaries);
constexpr SectorProtectionRoutines kHvProtection{ReadSectorProtectionHv, WriteSectorProtectionHv};
constexpr SectorProtectionRoutines kIspProtection{ReadSectorProtection29, WriteSectorProtection29};

// What a row of this family states about itself.
struct HvRow {
    uint32_t Row;
    Module Kind;
    bool Pages;             // page program 41h, erase A7h D0h
    bool PageErrorBit;      // a page write fails on DQ4 (the error bit)
    UnlockPair EraseUnlock; // the chip erase's command addresses (without Pages)
    uint32_t EraseLimit;    // 100 ms erase passes
    uint32_t ReadLoopMode;  // register 5 of the read loop
    SectorProtectionRoutines Protection;
};
constexpr HvRow kHvRows[] = {
    {20, Module::A, false, false, {0xAAAA, 0x5555}, 1300, 1, kHvProtection},
    {22, Module::A, false, false, {0xAAAA, 0x5555}, 1300, 1, kHvProtection},
    {23, Module::A, true, true, {}, 100, 1, {}},
    {24, Module::B, true, false, {}, 100, 1, kHvProtection},
    {27, Module::B, false, false, kUnlock5555, 900, 1, kHvProtection},
    {29, Module::InSystem, false, false, {0x555, 0x2AAA}, 900, 9, kIspProtection},
};

// The table's row of `row`; nullptr outside the family.
const HvRow* FindRow(uint32_t row) {
    for (const HvRow& r : kHvRows) {
        if (r.Row == row) return &r;
    }
    return nullptr;
}
// The row running now (the first one for a row outside the family).
const HvRow& Row() {
    const HvRow* r = FindRow(CurrentAlgorithm);
    return r != nullptr ? *r : kHvRows[0];
}
bool ModuleB() { return Row().Kind == Module::B; }
bool InSystem() { return Row().Kind == Module::InSystem; }
bool PageMode() { return Row().Pages; }

// ---- pins and power ------------------------------------------------------------

// The high-voltage roles on socket pins, chosen at every power-up from the
// adapter; 0 = none. Module A: id (A9), pulse (/OE), third (/CE, unprotect
// of sub-variant 1). Module B adds reset, aux (method 1) and pulse2 (method 0).
struct HvRoles {
    int Id = 0, Pulse = 0, Third = 0, Reset = 0, Aux = 0, Pulse2 = 0;
};
HvRoles g_pins;
uint32_t g_page = 1;

bool Flag(uint32_t bit) { return (DeviceFlags & bit) != 0; }

HvRoles RolesOf() {
    if (!ModuleB()) {
        if (AdapterCode == 'P') return {43, 16, 14};
        if (AdapterCode == 'Q') return {7, 28, 26};
        return {36, 24, 6};
    }
    const bool pins40 = PackageRow(PackageIndex).PinCount == 40;
    if (AdapterCode == 'P') return {7, 31, 0, 4, 45, 32};
    // The auxiliary pin of the 'Q' adapter is wired for 40-pin packages only:
    // elsewhere it stays 0 and the method needing it refuses.
    if (AdapterCode == 'Q') return pins40 ? HvRoles{19, 41, 0, 16, 13, 42} : HvRoles{17, 43, 0, 14, 0, 44};
    return {35, 24, 0, 1, 6, pins40 ? 43 : 9};
}

void Hv(int pin, int state) {
    if (pin != 0) SetSupplyPinA(pin, state);
}

// The power-up of the rows: the roles and page length first (pins = false for
// row 22's Program), the DACs at dac, the start address loaded with pins.
void PowerUp(int mode, bool pins, int dac) {
    if (pins) g_pins = RolesOf();
    g_page = PageMode() ? PageSize : 1;
    SupplyVoltage = Supply(mode);
    flashbus::PowerUp p;
    p.RangeTenths = static_cast<int>(SupplyVoltage);
    p.Dac = dac;
    p.Latches = pins ? 7 : 0;
    p.Reg8 = !InSystem();
    flashbus::PowerOn(p);
}

int HighVoltage() {
    if (InSystem()) return Vccp < 331 ? 90 : 120;
    if (ModuleB()) return 120;
    return DeviceSubVariant == 0 ? 115 : 105;
}

int AccPin() { return InSystem() && Flag(0x100) ? 15 : 0; }

void PowerOn(int mode) {
    PowerUp(mode, true, InSystem() ? 0 : HighVoltage());
    if (InSystem() && mode == 1 && AccPin() != 0) ApplyVppToPin(AccPin(), 1, HighVoltage());
    if (Row().Kind == Module::A) DelayMsSlot(100);
}

void PowerDown() {
    Park();
    if (AccPin() != 0) ApplyVppToPin(AccPin(), 0, 0);
    SupplyOff();
}

// ---- read, program, erase ----------------------------------------------------------

int HvRead(int mode) {
    UseFrame(false);
    PowerOn(2);
    WriteRegister3(NotSocket(CurrentSocket));
    const int r = ReadLoop(mode, false, 0xDB, Row().ReadLoopMode);
    PowerDown();
    return r;
}

// The byte program loop: FFh skipped; command bytes before the datum by
// bypass (A0h only) or the four-cycle auto-command mode; DQ7 polled by read
// strobes, in-system in the read loop's pattern.
int ByteLoop(bool bypass) {
    return ProgramLoop(false, [&] {
        ProgramCycle(false, bypass ? Prefix::Command : Prefix::Auto);
        if (InSystem()) WriteRegister(4, 0xDB);
        return PollDq7(200, ExpectedValue, !InSystem()) ? 1 : -1;
    });
}

// The page length and start of rows 23 and 24: a power of two from 1 to 256
// and DeviceStart on a page boundary, else no page fits the chip's pages.
bool PageSettingsValid() {
    if (!PageMode()) return true;
    const uint32_t page = PageSize;
    if (page == 0 || page > 256 || (page & (page - 1)) != 0) {
        RefuseRun(" Page size %u is not a power of two from 1 to 256!", page);
        return false;
    }
    if (DeviceStart % page != 0) {
        RefuseRun(" Start address %06Xh is not on a page boundary!", DeviceStart);
        return false;
    }
    return true;
}

// Ready of a page write: DQ7 set; row 23 also needs DQ4 (the error bit) clear.
bool PageReady() {
    for (int n = 0; n < 150; ++n) {
        DelayMsSlot(1);
        const uint32_t v = ReadValue = StrobedDatum();
        if ((v & 0x80) != 0 && (!Row().PageErrorBit || (v & 0x10) == 0)) return true;
    }
    return false;
}

// Pages of g_page bytes: 41h, then each byte at its own address within the
// page (register 0 = low address byte), the buffer stepping by AddressStep.
int PageLoop() {
    uint32_t inPage = 0;
    return WalkAddresses(0xFFFF, 1, [&](bool first) {
        WriteUpperAddress(kProgramLatches, ChipAddress, first);
        if (inPage == 0) {
            WriteRegister(4, 0xDD);
            WriteRegister(6, 0x41);
        }
        ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
        WriteRegister(0, ChipAddress & 0xFF);
        WriteRegister(6, ExpectedValue);
        BufferIndex += AddressStep;
        if (++inPage < g_page && ChipAddress < DeviceEnd) return 1;
        inPage = 0;
        if (PageReady()) return 1;
        // The poll read the page's last byte: the fail address names it.
        BufferIndex -= AddressStep;
        return -1;
    });
}

int HvProgram() {
    UseFrame(false);
    if (!PageSettingsValid()) return -1;
    PowerOn(1);
    // Row 29 always, module B with flag 100h: unlock bypass, entered in write
    // mode so that its cycles reach the chip.
    const bool bypass = InSystem() || (ModuleB() && !PageMode() && Flag(0x100));
    WriteRegister3(0);
    WriteRegister(4, 0xDD);
    if (bypass) Unlock({0x555, 0x2AAA}, 0x20);
    else if (!PageMode()) WriteRegister(8, 8);
    WriteRegister3(0);
    WriteRegister(4, 0xDD);
    const int r = PageMode() ? PageLoop() : ByteLoop(bypass);
    PowerDown();
    return r;
}

// Row 22: powered without pins and high voltage, unlock bypass entered once.
int Alg22Program() {
    UseFrame(false);
    PowerUp(1, false, 0);
    DelayMsSlot(100);
    WriteRegister3(0);
    WriteRegister(4, 0xDD);
    Unlock({0xAAA, 0x555}, 0x20);
    const int r = ByteLoop(true);
    PowerDown();
    return r;
}

int HvErase() {
    UseFrame(false);
    PowerOn(1);
    WriteRegister3(0);
    WriteRegister(4, 0xDD);
    if (PageMode()) {
        WriteRegister(6, 0xA7);
        WriteRegister(6, 0xD0);
    } else {
        ChipEraseCommands(Row().EraseUnlock);
    }
    const int r = ErasePasses(Row().EraseLimit, [] { return (StrobedDatum() & 0x80) != 0; });
    PowerDown();
    return r;
}

int Alg24Identify() {
    UseFrame(false);
    PowerOn(2);
    Hv(g_pins.Id, 1);
    WriteRegister3(0xFE);
    WriteRegister(0, 0);
    ChipMakerId = StrobedDatum();
    WriteRegister(0, 1);
    ChipDeviceId = StrobedDatum();
    Hv(g_pins.Id, 0);
    PowerDown();
    return 1;
}

int Alg29Identify() {
    UseFrame(false);
    PowerOn(2);
    WriteRegister3(0);
    WriteRegister(4, 0xDD);
    WriteRegister(5, 8);
    Unlock(kUnlock555, 0x90);
    WriteRegister(0, 0);
    ChipMakerId = StrobedDatum();
    WriteRegister(0, 1);
    ChipDeviceId = StrobedDatum();
    CommandCycle(0, 0xF0);
    PowerDown();
    return 1;
}

// ---- high-voltage protection (modules A and B) ----------------------------------

// A sector's address registers: module A in byte mode writes bits 8-23; module
// B writes bits 16-23 and bits 8-15 too, so a part with sectors below 64 KB
// reaches each of them.
void SectorRegisters(uint32_t start) {
    WriteRegister(1, (start << 4) & 0xFF);
    WriteRegister(2, (start >> 4) & 0xFF);
}

// The protect state read with A9 at VID: register 4 = C3h (output enable).
uint32_t HvStateRead() {
    WriteRegister(4, 0xC3);
    return ReadRegister(6);
}

// A verify read of every gang socket in turn (all at once they would drive
// the bus against each other): true when read() gives want on each; register
// 3 back to 0 (every socket) for the next pulse.
template <class Read> bool EverySocketReads(uint32_t want, Read&& read) {
    return OnEverySocket(GangPass{}, [&](uint32_t) { return read() == want; });
}

uint32_t ByteStrobe() { return StrobedDatum(); }

uint32_t ProtectOffset() { return ModuleB() ? 2 : 4; }

int ReadSectorProtectionHv(uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    UseFrame(false);
    PowerOn(2);
    WriteRegister3(ProtectionReadMask());
    Hv(g_pins.Id, 1);
    WriteRegister(0, ProtectOffset());
    for (uint32_t i = 0; i < n; ++i) {
        SectorRegisters(boundaries[i]);
        const uint32_t v = StrobedDatum();
        states[i] = ModuleB() ? v & 1 : v == 1 ? 1 : 0;
    }
    Hv(g_pins.Id, 0);
    PowerDown();
    return 1;
}

// Protect pulses: mode 0 every sector, 1 the sectors whose state is set.
int ProtectPulses(int mode, const uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    Hv(g_pins.Id, 1);
    WriteRegister3(0);
    WriteRegister(0, ProtectOffset());
    int result = 1;
    for (uint32_t i = 0; i < n && result == 1; ++i) {
        if (mode == 1 && states[i] == 0) continue;
        SectorRegisters(boundaries[i]);
        result = -1;
        for (int pulse = 0; pulse < 25 && result == -1; ++pulse) {
            DelayShortUsSlot(10);
            WriteRegister(4, 0xD3);
            DelayShortUsSlot(4);
            Hv(g_pins.Pulse, 1);
            WriteRegister(4, 0x53);
            DelayUsSlot(200);
            WriteRegister(4, 0xD3);
            Hv(g_pins.Pulse, 0);
            DelayShortUsSlot(4);
            if (EverySocketReads(1, HvStateRead)) result = 1;
        }
    }
    WriteRegister(4, 0xD3);
    if (!ModuleB()) WriteRegister3(1);
    Hv(g_pins.Id, 0);
    return result;
}

// The verify of an unprotect pass from sector next on: select(start) sets up
// a sector's state read, read() reads it (0 unprotected) on every socket;
// next stops at the first sector still protected, where the next pass resumes.
template <class Select, class Read>
bool VerifyFrom(uint32_t& next, uint32_t n, const uint32_t* boundaries, Select&& select, Read&& read) {
    while (next < n) {
        select(boundaries[next]);
        if (!EverySocketReads(0, read)) return false;
        ++next;
    }
    return true;
}

int UnprotectA(uint32_t n, const uint32_t* boundaries) {
    const bool third = DeviceSubVariant == 1;
    if (third && g_pins.Third == 0) {
        ShowMessageLine(" No high-voltage pin for this adapter!");
        return -1;
    }
    Hv(g_pins.Id, 1);
    WriteRegister3(0);
    WriteRegister(0, 0x84);
    uint32_t next = 0;
    int result = -1;
    const int tries = DeviceSubVariant == 0 ? 1000 : 100;
    for (int t = 0; t < tries && result == -1; ++t) {
        if (third) {
            WriteRegister(1, 0x20);
            WriteRegister(2, 1);
        }
        WriteRegister(4, 0xD3);
        DelayShortUsSlot(4);
        Hv(g_pins.Pulse, 1);
        if (third) Hv(g_pins.Third, 1);
        WriteRegister(4, 0x53);
        DelayMsSlot(10);
        WriteRegister(4, 0xD3);
        if (third) Hv(g_pins.Third, 0);
        Hv(g_pins.Pulse, 0);
        DelayShortUsSlot(4);
        const bool clear = VerifyFrom(next, n, boundaries, SectorRegisters, HvStateRead);
        WriteRegister(4, 0xD3);
        if (clear) result = 1;
    }
    WriteRegister3(1);
    Hv(g_pins.Id, 0);
    return result;
}

int IspUnprotect(int resetPin, uint32_t n, const uint32_t* boundaries);


int UnprotectB(uint32_t n, const uint32_t* boundaries) {
    uint32_t next = 0;
    int result = -1;
    switch (DeviceSubVariant) {
    case 0:
        for (int t = 0; t < 1000 && result == -1; ++t) {
            WriteRegister(0, 0x60);
            Hv(g_pins.Pulse, 1);
            Hv(g_pins.Pulse2, 1);
            WriteRegister3(0);
            DelayMsSlot(5);
            WriteRegister3(0xFF);
            Hv(g_pins.Pulse, 0);
            Hv(g_pins.Pulse2, 0);
            WriteRegister(4, 0xC3);
            Hv(g_pins.Id, 1);
            WriteRegister3(0);
            WriteRegister(0, 0x62);
            if (VerifyFrom(next, n, boundaries, SectorRegisters, HvStateRead)) result = 1;
            Hv(g_pins.Id, 0);
        }
        return result;
    case 1:
        Hv(g_pins.Id, 1);
        WriteRegister3(0);
        WriteRegister(0, 2);
        for (int t = 0; t < 1000 && result == -1; ++t) {
            Hv(g_pins.Aux, 1);
            Hv(g_pins.Pulse, 1);
            WriteRegister(4, 0x53);
            DelayMsSlot(100);
            WriteRegister(4, 0xD3);
            Hv(g_pins.Aux, 0);
            Hv(g_pins.Pulse, 0);
            if (VerifyFrom(next, n, boundaries, SectorRegisters, HvStateRead)) result = 1;
        }
        Hv(g_pins.Id, 0);
        return result;
    case 2:
        return IspUnprotect(g_pins.Reset, n, boundaries);
    default:
        return 1; // no unprotect step: the read-back tells what stayed protected
    }
}

// ---- in-system protection with RESET# at VID (row 29, module B method 2) ---------

int IspProtect(int resetPin, int mode, const uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    WriteRegister3(0);
    WriteRegister(4, 0xDD);
    SetSupplyPinA(resetPin, 1);
    WriteRegister(6, 0x60);
    int result = 1;
    for (uint32_t i = 0; i < n && result == 1; ++i) {
        if (mode == 1 && states[i] == 0) continue;
        const uint32_t a = (boundaries[i] << 12) | 2;
        result = -1;
        for (int t = 0; t < 25 && result == -1; ++t) {
            CommandCycle(a, 0x60);
            DelayShortUsSlot(150);
            CommandCycle(a, 0x40);
            if (EverySocketReads(1, ByteStrobe)) result = 1;
        }
    }
    CommandCycle(0, 0xF0);
    WriteRegister3(0xFF);
    SetSupplyPinA(resetPin, 0);
    return result;
}

int IspUnprotect(int resetPin, uint32_t n, const uint32_t* boundaries) {
    WriteRegister3(0);
    WriteRegister(4, 0xDD);
    SetSupplyPinA(resetPin, 1);
    WriteRegister(6, 0x60);
    uint32_t next = 0;
    int result = -1;
    for (int t = 0; t < 100 && result == -1; ++t) {
        CommandCycle((next < n ? boundaries[next] << 12 : 0) | 0x42, 0x60);
        DelayMsSlot(15);
        auto endPulse = [](uint32_t start) { CommandCycle((start << 12) | 2, 0x40); };
        if (VerifyFrom(next, n, boundaries, endPulse, ByteStrobe)) result = 1;
    }
    CommandCycle(0, 0xF0);
    WriteRegister3(0xFF);
    SetSupplyPinA(resetPin, 0);
    return result;
}

// Reads the states back after a write: 1 when each sector holds the request.
int Confirm(SectorReadFn read, const uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    std::vector<uint32_t> found(n, 0);
    read(found.data(), n, boundaries);
    for (uint32_t i = 0; i < n; ++i) {
        if (found[i] != (states[i] != 0 ? 1u : 0u)) return -1;
    }
    return 1;
}

int WriteSectorProtectionHv(const uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    UseFrame(false);
    // A method needing a pin the adapter does not wire switches nothing.
    if (ModuleB() && DeviceSubVariant == 1 && RolesOf().Aux == 0) {
        ShowMessageLine(" No auxiliary high-voltage pin for this adapter!");
        return -1;
    }
    PowerOn(1);
    int r = ProtectPulses(0, states, n, boundaries);
    if (r == 1) {
        r = ModuleB() ? UnprotectB(n, boundaries) : UnprotectA(n, boundaries);
    }
    if (r == 1) r = ProtectPulses(1, states, n, boundaries);
    PowerDown();
    return r == 1 ? Confirm(ReadSectorProtectionHv, states, n, boundaries) : -1;
}

int ReadSectorProtection29(uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    UseFrame(false);
    PowerOn(2);
    WriteRegister3(ProtectionReadMask());
    WriteRegister(4, 0xDD);
    WriteRegister(5, 8);
    for (uint32_t i = 0; i < n; ++i) {
        states[i] = AutoselectSectorState(boundaries[i] << 12, true, false);
        CommandCycle(0, 0xF0);
    }
    PowerDown();
    return 1;
}

constexpr int kResetPin29 = 14;

int WriteSectorProtection29(const uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    UseFrame(false);
    PowerOn(2);
    WriteRegister(5, 8);
    // RESET# needs VID (11.5-12.5 V) whatever the supply: the 9.0 V of low
    // supplies is the acceleration level and would leave every sector as it was.
    SetDacVoltage(1, 120);
    SetDacVoltage(2, 120);
    int r = IspProtect(kResetPin29, 0, states, n, boundaries);
    if (r == 1) r = IspUnprotect(kResetPin29, n, boundaries);
    if (r == 1) r = IspProtect(kResetPin29, 1, states, n, boundaries);
    if (r == 1) {
        SetDacVoltage(1, 0);
        SetDacVoltage(2, 0);
    }
    PowerDown();
    return r == 1 ? Confirm(ReadSectorProtection29, states, n, boundaries) : -1;
}

} // namespace

SectorProtectionRoutines HvSectorProtectionOf(uint32_t algorithm) {
    const HvRow* r = FindRow(algorithm);
    return r != nullptr ? r->Protection : SectorProtectionRoutines{};
}

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 20, .Read = HvRead, .Program = HvProgram, .Erase = EraseNamingProtectedSectors<HvErase>, .Options = Alg6Options},
    {.Row = 23, .Read = HvRead, .Program = HvProgram, .Erase = HvErase,
     .StartRefusal = " Start address ",
     .StartUnit = [] { return PageMode() ? PageSize : 1u; }},
    {.Row = 24,
     .Identify = Alg24Identify,
     .Read = HvRead,
     .Program = HvProgram,
     .Erase = EraseNamingProtectedSectors<HvErase>,
     .Options = Alg6Options,
     .StartRefusal = " Start address ",
     .StartUnit = [] { return PageMode() ? PageSize : 1u; }},
    {.Row = 27,
     .Identify = Alg24Identify,
     .Read = HvRead,
     .Program = HvProgram,
     .Erase = EraseNamingProtectedSectors<HvErase>,
     .Options = Alg6Options},
    {.Row = 22, .Read = HvRead, .Program = Alg22Program, .Erase = EraseNamingProtectedSectors<HvErase>, .Options = Alg6Options},
    {.Row = 29,
     .Identify = Alg29Identify,
     .Read = HvRead,
     .Program = HvProgram,
     .Erase = EraseNamingProtectedSectors<HvErase>,
     .Options = Alg6Options},
};

ROW_FAMILY("HvSectorFlash", Memory, 250, kAlgorithmRows);
