// The sector protect and unprotect procedures of the JEDEC flash rows: row 6's
// unprotect methods with A9, /OE, /WE and /CE at 12 V on the adapter's pins;
// row 46's with RESET# (or A9 and /OE) at the protection voltage; row 93's
// with A9 and /OE; row 78's autoselect; row 72's procedure pair of each
// sub-variant. Each step drives the flash bus of a powered-up part and
// returns 1, or -1 when a sector never verifies.
#include "memory/JedecFlashShared.h"

#include <cstring>

#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Services.h"
#include "engine/Tables.h"
#include "memory/FlashBus.h"
#include "memory/Gang.h"
#include "memory/MemoryFrame.h"

namespace jedec {

// ---- row 6 sector protection ---------------------------------------------------------

namespace {

bool Row6ShiftedVariant() {
    const uint32_t v = DeviceVariant;
    return v == 18 || v == 31 || v == 32 || (v == 14 && DeviceSubVariant == 3);
}
// Variants 10/2 and 11/1 hold /CE at 12 V through method A's pulse.
bool Row6CeVariant() {
    return (DeviceVariant == 10 && DeviceSubVariant == 2) || (DeviceVariant == 11 && DeviceSubVariant == 1);
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
        // A1 high and A0 low: the address the chip unprotect pulse wants.
        WriteRegister(0, 0x82);
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

} // namespace

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
        // Method B reads the sectors' states as the others do, with A9 at
        // 12 V: an autoselect command would need the unlock addresses, which
        // the sector address replaces.
        if (m == Unprotect6::B) {
            WriteRegister(0, 0x02);
            WriteRegister(4, 0xC3);
            Pin6(p.A, 1, 4);
        }
        while (next < n) {
            Row6Sector(b[next]);
            if (ReadRegister(6) != 0) break;
            ++next;
        }
        if (m == Unprotect6::B) {
            Pin6(p.A, 0, 4);
            WriteRegister(4, 0xD3);
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

// ---- row 46 sector protection ------------------------------------------------------

namespace {

// Bit 0 of every gang socket's datum at the latched address equals `want`;
// register 3 = 0 afterwards.
bool SectorVerify(uint32_t want) {
    return OnEverySocket(GangPass{}, [&](uint32_t) { return (StrobedDatum(true) & 1) == want; });
}

} // namespace

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

// ---- row 78 sector protection: by command, no unprotect --------------------------

// The autoselect mode at 5555h/2AAAh, the die code read and dropped.
void Autoselect78() {
    Unlock(kUnlock5555, 0x90);
    WriteAddress(3);
    StrobedDatum(true);
}

// ---- row 72 sector protection: the procedure pair of each sub-variant ---------------

namespace {

bool MakerIs(const char* name) { return std::strcmp(MakerName(MakerIndex), name) == 0; }
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

} // namespace

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

} // namespace jedec
