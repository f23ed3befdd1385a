// Rows 40, 41/52 and 55 on the flash bus: address latches 0-2, socket /CE
// mask 3 (active low), line patterns 4 (row 40: D3h idle, DDh write mode,
// DFh read pulse, DBh read loop, C7h/D7h one read strobe of the protection
// sequence; the 16-bit rows: 92h/93h idle, 9Dh write mode, 9Fh read pulse,
// 9Bh read loop, 19h/99h the held /WE pulse of a protect command), read-loop
// mode 5, data 6-7, auto-command mode 8.
#include "memory/LockoutFlash.h"

#include <vector>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/RowDef.h"
#include "memory/Gang.h"
#include "memory/JedecFlash.h"
#include "memory/FlashBus.h"
#include "memory/MemoryFrame.h"
#include "memory/SectorProtection.h"

ShowBlockProtectionFn ShowBlockProtectionHook = nullptr;

namespace {

using namespace flashbus;

bool Row40() { return CurrentAlgorithm == 40; }
bool Wide() { return !Row40(); }

// The line patterns of the module: byte-wide row 40 or the 16-bit rows.
const LinePatterns& RowLines() { return Row40() ? kByteLines : kWordLines; }
uint32_t WritePattern() { return RowLines().Write; }

// The ZIF pin of rows 41/52's override pin, chosen at every power-up from
// the adapter; 0 for an adapter without one.
int g_overridePin41 = 0;

void UseFrame() { flashbus::UseFrame(Wide()); }

void PowerOn(int mode) {
    const uint32_t row = CurrentAlgorithm;
    SupplyVoltage = Supply(mode);
    PowerUp p;
    p.RangeTenths = row == 55 ? static_cast<int>(SupplyVoltage) : 33;
    p.Latches = Row40() ? 6 : 4;
    p.Released = Row40() ? 0xD3 : 0x92;
    p.SettleMs = 100;
    p.Idle = Row40() ? -1 : 0x93;
    p.Park = RowLines().Idle;
    p.CommandLatches = row == 55 ? 3 : 2;
    p.Lines = &RowLines();
    flashbus::PowerOn(p);
    if (row == 41 || row == 52) {
        switch (AdapterCode) {
        case 'P': g_overridePin41 = 46; break;
        case 'Q': g_overridePin41 = 12; break;
        case 'R': g_overridePin41 = 4; break;
        case 'j': g_overridePin41 = 5; break;
        default: g_overridePin41 = 0; break; // a previous device's pin would be another pin of this part
        }
    }
    if (row == 55 && mode == 1) {
        SetDeviceVpp(1, static_cast<int>(Vpp / 10));
        if (ProtectOverride == 1) ApplyVoltageToPin(2, 12, 1, 120);
    }
}

// programRun: row 55 releases its program voltages first.
void PowerDown(bool programRun = false) {
    if (CurrentAlgorithm == 55 && programRun) {
        if (ProtectOverride == 1) ApplyVoltageToPin(2, 12, 0, 50);
        SetDeviceVpp(0, static_cast<int>(Vpp / 10));
    }
    flashbus::PowerOff();
}

// Row 40's override pin (ZIF 9, pin 1 of a 32-pin part): the supply while a
// part with the pin runs, 12.0 V with the protection override.
bool Row40HasOverridePin() { return Row40() && DeviceVariant != 1 && DeviceSubVariant == 1; }
void Row40OverrideOn() {
    if (!Row40HasOverridePin()) return;
    ApplyVoltageToPin(1, 9, 1, static_cast<int>(SupplyVoltage));
    if (ProtectOverride == 1) SetDacVoltage(1, 120);
}
void Row40OverrideOff() {
    if (Row40HasOverridePin()) ApplyVoltageToPin(1, 9, 0, static_cast<int>(SupplyVoltage));
}

// Rows 41/52 around program and erase: sub-variant 1 puts 12.0 V on the
// override pin with the protection override, sub-variant 2 always Vpp.
// -1 with a line, nothing switched, when the adapter has no such pin.
int Row41OverrideVolts() {
    if (DeviceSubVariant == 1 && ProtectOverride == 1) return 120;
    if (DeviceSubVariant == 2) return static_cast<int>(Vpp / 10);
    return 0;
}
int Row41OverrideOn() {
    if (Row41OverrideVolts() == 0) return 1;
    if (g_overridePin41 == 0) {
        ShowMessageLine(" No override pin for this adapter!");
        return -1;
    }
    ApplyVppToPin(g_overridePin41, 1, Row41OverrideVolts());
    return 1;
}
void Row41OverrideOff() {
    if (Row41OverrideVolts() != 0 && g_overridePin41 != 0)
        ApplyVppToPin(g_overridePin41, 0, static_cast<int>(SupplyVoltage));
}

// Command cycles load address registers 0 and 1 (row 55 register 2 too).
void Unlock(uint32_t command) { flashbus::Unlock(kUnlock5555, command); }
// The five cycles before a protection or erase command.
void FiveUnlockCycles() {
    Unlock(0x80);
    CommandCycle(0x5555, 0xAA);
    CommandCycle(0x2AAA, 0x55);
}

// The read pulse: register 4 = DFh/9Fh, the datum, back to write mode.
uint32_t DatumNow() { return StrobedDatum(Wide()); }

void WriteDatum(uint32_t v) { flashbus::WriteDatum(v, Wide()); }

// Every socket's datum (register 3 = socket s alone), then register 3 = 0.
template <class Check> bool EverySocket(Check&& check) {
    return OnEverySocket(GangPass{}, [&](uint32_t) { return check(DatumNow()); });
}

// The program polls: row 40 up to 20 reads (a gang: passes over every
// socket) until the whole datum matches; the 16-bit rows the whole word on
// one socket, bit 7 of every socket in a gang.
bool PollProgrammed() {
    for (int n = 0; n < 20; ++n) {
        if (!GangInUse()) {
            if (DatumNow() == ExpectedValue) return true;
        } else if (Row40()) {
            if (EverySocket([](uint32_t v) { return v == ExpectedValue; })) return true;
        } else if (EverySocket([](uint32_t v) { return ((v ^ ExpectedValue) & 0x80) == 0; })) {
            return true;
        }
    }
    return false;
}

// The seven reads that switch row 40 variant 1's data protection off or on.
void SevenReads(bool on) {
    static constexpr uint32_t kSequence[7] = {0x1823, 0x1820, 0x1822, 0x0418, 0x041B, 0x0419, 0x041A};
    for (int i = 0; i < 7; ++i) {
        const uint32_t a = i == 6 && on ? 0x040A : kSequence[i];
        WriteRegister(0, a & 0xFF);
        WriteRegister(1, (a >> 8) & 0xFF);
        WriteRegister(4, 0xC7);
        WriteRegister(4, 0xD7);
    }
}

// The program loop over the buffer: upper latches, the datum (a blank one is
// skipped), datum() for the rest.
template <class Datum> int ProgramLoop(Datum&& datum) { return flashbus::ProgramLoop(Wide(), datum); }

// ---- entries -----------------------------------------------------------------------

int Identify() {
    UseFrame();
    PowerOn(Row40() ? 1 : 2);
    WriteRegister3(0);
    WriteRegister(4, WritePattern());
    Unlock(0x90);
    WriteRegister(1, 0);
    WriteRegister(2, 0);
    WriteRegister(0, 0);
    ChipMakerId = DatumNow();
    WriteRegister(0, 1);
    ChipDeviceId = DatumNow();
    if (Row40()) {
        WriteRegister(0, 2);
        DatumNow();
    }
    CommandCycle(0, 0xF0);
    PowerDown();
    return 1;
}

int Read(int mode) {
    UseFrame();
    const bool wide = Wide();
    PowerOn(2);
    Row40OverrideOn();
    WriteRegister3(NotSocket(CurrentSocket));
    // The loop steps the address from the start, which every entry loads.
    WriteRegister(0, DeviceStart & 0xFF);
    WriteRegister(1, (DeviceStart >> 8) & 0xFF);
    const int r = ReadLoop(mode, wide, RowLines().Loop, CurrentAlgorithm == 55 ? 2 * DeviceSubVariant + 1 : 1);
    Row40OverrideOff();
    PowerDown();
    return r;
}

int Program40() {
    UseFrame();
    PowerOn(1);
    Row40OverrideOn();
    WriteRegister3(0);
    if (DeviceVariant == 0) WriteRegister(8, 8);
    else SevenReads(false);
    WriteRegister(4, 0xDD);
    const int r = ProgramLoop([] {
        for (int attempt = 0; attempt < 25; ++attempt) {
            // The address load before every attempt points the auto-command
            // cycles at the command addresses again.
            WriteRegister(0, ChipAddress & 0xFF);
            if (DeviceVariant == 0) {
                for (uint32_t d : {0xAAu, 0x55u, 0xA0u}) WriteRegister(6, d);
            } else {
                WriteRegister(6, 0x10);
            }
            WriteRegister(6, ExpectedValue);
            if (PollProgrammed()) return 1;
        }
        return -1;
    });
    if (DeviceVariant == 1) SevenReads(true);
    Row40OverrideOff();
    PowerDown();
    return r;
}

int Program41() {
    UseFrame();
    PowerOn(1);
    if (Row41OverrideOn() != 1) {
        PowerDown();
        return -1;
    }
    WriteRegister(8, 8);
    WriteRegister3(0);
    DelayMsSlot(10);
    WriteRegister(4, 0x9D);
    const int r = ProgramLoop([] {
        if (DeviceSubVariant == 2) {
            for (int attempt = 0; attempt < 20; ++attempt) {
                WriteRegister(0, ChipAddress & 0xFF);
                for (uint32_t d : {0xAAu, 0x55u, 0xA0u}) WriteRegister(6, d);
                WriteDatum(ExpectedValue);
                DelayUsSlot(PulseWidth);
                if (EverySocket([](uint32_t v) { return v == ExpectedValue; })) return 1;
                DelayMsSlot(10);
            }
            return -1;
        }
        WriteRegister(0, ChipAddress & 0xFF);
        for (uint32_t d : {0xAAu, 0x55u, 0xA0u}) WriteRegister(6, d);
        WriteDatum(ExpectedValue);
        return PollProgrammed() ? 1 : -1;
    });
    Row41OverrideOff();
    PowerDown();
    return r;
}

int Program55() {
    UseFrame();
    PowerOn(1);
    WriteRegister3(0);
    WriteRegister(5, 2 * DeviceSubVariant);
    WriteRegister(4, 0x9D);
    FiveUnlockCycles(); // the fast program mode, entered once
    CommandCycle(0x5555, 0xA0);
    const int r = ProgramLoop([] {
        WriteRegister(0, ChipAddress & 0xFF);
        for (int attempt = 0; attempt < 25; ++attempt) {
            WriteDatum(ExpectedValue);
            if (PollProgrammed()) return 1;
        }
        return -1;
    });
    PowerDown(true);
    return r;
}

int Program() {
    if (Row40()) return Program40();
    return CurrentAlgorithm == 55 ? Program55() : Program41();
}

// Erase passes: the pass number as the elapsed time, 100 ms, every socket's
// bit 7. 1, the user's break, or -1 at the limit.
int EraseEverySocketPass(uint32_t limit) {
    return ErasePasses(limit, [] { return EverySocket([](uint32_t v) { return (v & 0x80) != 0; }); });
}

int Erase() {
    UseFrame();
    const uint32_t row = CurrentAlgorithm;
    PowerOn(1);
    if (!Row40() && row != 55 && Row41OverrideOn() != 1) {
        PowerDown();
        return -1;
    }
    Row40OverrideOn();
    WriteRegister3(0);
    if (Row40() && DeviceVariant == 1) SevenReads(false);
    if (row == 41 || row == 52) DelayMsSlot(10);
    WriteRegister(4, WritePattern());
    int r;
    if (Row40() && DeviceVariant != 0) {
        CommandCycle(0, 0x30);
        CommandCycle(0, 0x30);
    } else {
        FiveUnlockCycles();
        CommandCycle(0x5555, 0x10);
    }
    if ((row == 41 || row == 52) && DeviceSubVariant == 2) {
        DelayMsSlot(500);
        r = 1;
    } else {
        r = EraseEverySocketPass(row == 55 ? 300 : 100);
    }
    if (Row40() && DeviceVariant == 1) SevenReads(true);
    Row40OverrideOff();
    if (row == 41 || row == 52) Row41OverrideOff();
    PowerDown(true);
    return r;
}

// ---- protection ----------------------------------------------------------------------

// Power-up with every socket in write mode.
void ProtectionSession(int mode) {
    UseFrame();
    PowerOn(mode);
    WriteRegister3(0);
    WriteRegister(4, WritePattern());
}

void LockoutLine(uint32_t on) { ShowMessageLine(on ? "Boot block lockout enabled." : "Boot block lockout disabled."); }

// The sector's start (4K-word units) on registers 1 and 2.
void SectorLatches(uint32_t start) {
    WriteRegister(1, (start * 16) & 0xFF);
    WriteRegister(2, (start / 16) & 0xFF);
}

// Row 52: one protect command on a sector with its held /WE pulse; the
// verify word at A1 set reads 1 once protected.
bool ProtectSector52(uint32_t start) {
    for (int attempt = 0; attempt < 25; ++attempt) {
        FiveUnlockCycles();
        const uint32_t a = (start << 12) + 1;
        WriteRegister(0, a & 0xFF);
        WriteRegister(1, (a >> 8) & 0xFF);
        WriteRegister(2, (start / 16) & 0xFF); // the sector's upper address bits too
        WriteRegister(6, 0x40);
        DelayUsSlot(10);
        WriteRegister(4, 0x19);
        DelayUsSlot(100);
        WriteRegister(4, 0x99);
        WriteRegister(0, 2);
        const bool ok = DatumNow() == 1;
        CommandCycle(0, 0xF0);
        if (ok) return true;
    }
    return false;
}

// Row 52: unprotect the chip, checking every sector after each pulse.
bool UnprotectAll52(uint32_t n, const uint32_t* boundaries) {
    bool ok = false;
    for (int attempt = 0; attempt < 1000 && !ok; ++attempt) {
        FiveUnlockCycles();
        WriteRegister(0, 0x41);
        WriteRegister(1, 0x90);
        WriteRegister(6, 0x60);
        DelayUsSlot(10);
        WriteRegister(4, 0x19);
        DelayMsSlot(10);
        WriteRegister(4, 0x99);
        WriteRegister(0, 0x42);
        uint32_t i = 0;
        for (; i < n; ++i) {
            SectorLatches(boundaries[i]);
            if (DatumNow() != 0) break;
        }
        ok = i == n;
    }
    CommandCycle(0, 0xF0);
    return ok;
}

// The identification mode at address 2 (the words at 0 and 1 read first
// with readIds); the word there.
uint32_t IdentificationWord2(bool readIds) {
    Unlock(0x90);
    WriteRegister(1, 0);
    WriteRegister(2, 0);
    for (uint32_t a = readIds ? 0 : 2; a < 2; ++a) {
        WriteRegister(0, a);
        DatumNow();
    }
    WriteRegister(0, 2);
    return DatumNow();
}

// Row 55: the sector's state in the identification mode (bit 0 at A1 set).
uint32_t LockState55(uint32_t start) {
    Unlock(0x90);
    WriteRegister(0, 2);
    SectorLatches(start);
    const uint32_t v = DatumNow() & 1;
    CommandCycle(0, 0xF0);
    return v;
}

} // namespace

void ActivateTopBottomBlock40(int top) {
    ProtectionSession(1);
    FiveUnlockCycles();
    CommandCycle(top ? 0x2AAA : 0x5555, 0x70);
    DelayMsSlot(25);
    PowerDown();
}

int ReadBlockProtection40() {
    ProtectionSession(1);
    Unlock(0x95);
    const uint32_t bits = DatumNow() & 3;
    CommandCycle(0, 0xF0);
    PowerDown();
    static const char* const kLines[4] = {"Block protection disabled.", "Bottom block protected.",
                                          "Top block protected.", "Unknown."};
    ShowMessageLine("%s", kLines[bits]);
    return static_cast<int>(bits);
}

void SetBootBlockLockout40(int disable) {
    ProtectionSession(1);
    Row40OverrideOn();
    FiveUnlockCycles();
    CommandCycle(0x5555, disable ? 0x20 : 0x40);
    DelayMsSlot(1000);
    Row40OverrideOff();
    PowerDown();
}

int ReadBootBlockLockout40() {
    ProtectionSession(1);
    Row40OverrideOn();
    const uint32_t on = IdentificationWord2(false) & 1;
    CommandCycle(0, 0xF0);
    Row40OverrideOff();
    PowerDown();
    LockoutLine(on);
    return static_cast<int>(on);
}

void ActivateBootBlockLockout41() {
    ProtectionSession(1);
    FiveUnlockCycles();
    CommandCycle(0x5555, 0x40);
    DelayMsSlot(1000);
    PowerDown();
}

int ReadBootBlockLockout41() {
    ProtectionSession(1);
    const uint32_t v = IdentificationWord2(true);
    CommandCycle(0, 0xF0);
    PowerDown();
    LockoutLine(v & 1);
    return static_cast<int>(v & 1);
}

int ReadSectorProtection52(uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    ProtectionSession(2);
    WriteRegister3(ProtectionReadMask());
    IdentificationWord2(true);
    for (uint32_t i = 0; i < n; ++i) {
        SectorLatches(boundaries[i]);
        states[i] = DatumNow() == 1 ? 1 : 0;
    }
    CommandCycle(0, 0xF0);
    PowerDown();
    return 1;
}

// Protect every sector, unprotect the chip, protect the wanted sectors; -1
// when a step fails.
int WriteSectorProtection52(const uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    ProtectionSession(1);
    bool ok = true;
    for (uint32_t i = 0; i < n && ok; ++i) ok = ProtectSector52(boundaries[i]);
    if (ok) ok = UnprotectAll52(n, boundaries);
    for (uint32_t i = 0; i < n && ok; ++i) {
        if (states[i] != 0) ok = ProtectSector52(boundaries[i]);
    }
    PowerDown();
    return ok ? 1 : -1;
}

int ReadSectorProtection55(uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    ProtectionSession(2);
    WriteRegister3(ProtectionReadMask());
    Unlock(0x90);
    WriteRegister(1, 0);
    WriteRegister(2, 0);
    WriteRegister(0, 2);
    for (uint32_t i = 0; i < n; ++i) {
        SectorLatches(boundaries[i]);
        states[i] = DatumNow() & 1;
    }
    CommandCycle(0, 0xF0);
    PowerDown();
    return 1;
}

// Locks the sectors asked for, checking each; a locked sector has no unlock
// command, so a sector asked to be unprotected that reads locked fails the
// call (-1 with a line) instead of passing for done.
int WriteSectorProtection55(const uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    ProtectionSession(2);
    int r = 1;
    for (uint32_t i = 0; i < n && r == 1; ++i) {
        if (states[i] == 0) continue;
        FiveUnlockCycles();
        CommandCycle(boundaries[i] << 12, 0x40);
        DelayMsSlot(1000);
        CommandCycle(0, 0xF0);
        if (LockState55(boundaries[i]) == 0) r = -1;
    }
    for (uint32_t i = 0; i < n && r == 1; ++i) {
        if (states[i] == 0 && LockState55(boundaries[i]) != 0) {
            ShowMessageLine(" Sector %06Xh is locked and can not be unprotected!", boundaries[i] << 12);
            r = -1;
        }
    }
    PowerDown();
    return r;
}

int Alg40Options() {
    if (ShowBlockProtectionHook != nullptr) ShowBlockProtectionHook();
    return 1;
}

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 40,
     .Identify = Identify,
     .Read = Read,
     .Program = Program,
     .Erase = Erase,
     .Options = Alg40Options},
    {.Row = 41, .Read = Read, .Program = Program, .Erase = Erase, .Options = Alg40Options},
    {.Row = 52, .Read = Read, .Program = Program, .Erase = EraseNamingProtectedSectors<Erase>, .Options = Alg6Options},
    {.Row = 55,
     .Identify = Identify,
     .Read = Read,
     .Program = Program,
     .Erase = EraseNamingProtectedSectors<Erase>,
     .Options = Alg6Options},
};

ROW_FAMILY("LockoutFlash", Memory, 190, kAlgorithmRows);
