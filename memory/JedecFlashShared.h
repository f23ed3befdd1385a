// What the JEDEC flash files share: the command core's power-ups and pins
// (JedecFlash.cpp), the sector protect and unprotect procedures
// (JedecProtectProcedures.cpp) and the readers and writers the sector
// protection dialog runs (JedecProtectRoutines.cpp).
#pragma once
#include <cstdint>

#include "memory/FlashBus.h"

namespace jedec {

using namespace flashbus;

// ---- the command core ------------------------------------------------------------

// Row 6, variant 14: the die identifier; 0 or 1, anything else fails.
extern uint32_t g_dieId;

// The power-up of rows 6, 56 and 58; row 6's die-ID check can fail it (-1).
int PowerOnCore(int mode);

// Row 6's die-ID check can fail the power-up: body() runs only when it passed.
template <class Body> int OnCore(bool word, int mode, Body&& body) {
    UseFrame(word);
    const int r = PowerOnCore(mode) == 1 ? body() : -1;
    PowerOff();
    return r;
}

bool Flag(uint32_t bit);

// Rows 93 and 72: A9 and OE# by the package's pin count (0: none).
struct HvPins {
    int A9 = 0;
    int Oe = 0;
    int Vpp = 0;
    int Reset = 0;
    int Ce = 0;
    int We = 0;
};
int PackagePins();
// Row 72's pins by the package's pin count, row 46's by adapter.
HvPins PinsOf72();
HvPins PinsOf46();

// The power-up of rows 78, 87, 93, 72 and 46 by the row's table.
int PowerOnFamily(int mode);

// ---- the protection procedures ---------------------------------------------------

// Pins A-D (A9, /OE, /WE, /CE of a 32-pin part on the default adapter); the
// adapters 'P' and 'Q' wire no /WE or /CE pin (0).
struct Row6Pins {
    int A, B, C, D;
};
Row6Pins PinsOf6();
// Registers 1 and 2 at the sector starting at boundary `start`.
void Row6Sector(uint32_t start);
// The verify read of row 6's latched sector or code.
uint32_t Row6Verify();

enum class Unprotect6 { A, B, C, D, None };
// The variant's unprotect method (and the die's for variant 14).
Unprotect6 Row6Method();
int Protect6(const Row6Pins& pins, int mode, const uint32_t* states, uint32_t n, const uint32_t* b);
int Unprotect6Chip(const Row6Pins& p, Unprotect6 m, uint32_t n, const uint32_t* b);
bool Row6HasPins(const Row6Pins& p, Unprotect6 m);

// The byte address of sector i.
uint32_t SectorAddress(const uint32_t* boundaries, uint32_t i);
int ResetPinProtect46(int resetPin, int mode, const uint32_t* states, uint32_t n, const uint32_t* boundaries);
int ResetPinUnprotect46(int resetPin, uint32_t n, const uint32_t* boundaries);
int PulseProtect46(const HvPins& pins, int mode, const uint32_t* states, uint32_t n, const uint32_t* boundaries);
int PulseUnprotect46(const HvPins& pins, uint32_t n, const uint32_t* boundaries);

HvPins PinsOf93();
void SetSectorAddress(uint32_t b, uint32_t x, uint32_t y);
int HvA9Protect(const HvPins& pins, int mode, const uint32_t* states, uint32_t n, const uint32_t* boundaries);
int HvA9Unprotect(const HvPins& pins, uint32_t n, const uint32_t* boundaries);

void Autoselect78();

bool Row72HasPins(const HvPins& p);
// Row 72's protect and chip unprotect by the sub-variant's procedure pair.
int Protect72(const HvPins& p, int mode, const uint32_t* states, uint32_t n, const uint32_t* b);
int Unprotect72(const HvPins& p, uint32_t n, const uint32_t* b);

} // namespace jedec
