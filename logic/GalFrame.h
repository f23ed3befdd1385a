// The GAL frame: what the GAL families of logic/ share. The edit-mode
// supply, the architecture-row fuse orders of the 16V8 and 20V8 types, and
// the extended electronic ID of the low-voltage parts (its place in the
// buffer, its decoding and the edit voltages it gives).
#pragma once
#include <array>
#include <cstdint>

// Architecture row of the 16V8 type: JEDEC fuse of each of the 82 bits
// shifted; set 1 for signature type codes 26 and up. The 20V8 orders are the
// same 512 fuses higher.
extern const std::array<std::array<uint16_t, 82>, 2> GalArchitectureRowOrder;
extern const std::array<std::array<uint16_t, 82>, 2> Gal20V8ArchitectureRowOrder;

// The supply of a GAL edit-mode power-up: 5.0 V (and Vccp) when writing
// (mode 1), else the read supply of the operation.
void GalChooseSupply(int mode);

// Supply and edit-mode levels (0.1 V) of the extended-ID parts: they start at
// 3.3 V (5.0 V for a 5 V part's programming) with the edit pin ramped from
// 2.0 V to 10.0 V.
constexpr int kGalLowSupplyTenths = 33;
constexpr int kGalHighSupplyTenths = 50;
constexpr int kGalEditStartTenths = 20;
constexpr int kGalEditModeTenths = 100;

// Where rows 232 and 233 keep the 64 bits of the extended ID.
constexpr uint32_t GalExtendedIdFuse = 20000;
// count buffer bits from fuse first as an integer, first in bit 0.
uint32_t GetBufferBits(uint32_t first, int count);

// Module state of rows 232 and 233 from the extended ID: the edit voltages
// (0.1 V), the load strobe, erase and program times (us) and the type code.
struct GalExtendedState {
    uint32_t ProgramTenths, ReadTenths, EditTenths;
    uint32_t StrobeUs, EraseUs, ProgramUs;
    uint32_t TypeCode, SupplyCode;
};
extern GalExtendedState GalExtended;

// The extended ID at GalExtendedIdFuse: true (GalExtended decoded) when its
// supply code is 15h or 25h, its type one of `types` (0 = none) and its
// maker A1h.
bool GalExtendedIdAccepted(const uint8_t (&types)[4]);
// From 10.0 V up to the programming (mode 1, raising a 5 V part's supply
// first) or reading edit voltage; and from the reading one down to 2.0 V.
void GalRaiseExtendedEdit(int mode);
void GalLowerExtendedEdit();
