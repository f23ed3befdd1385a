// PAL emulation of the 16V8-type and 20V8-type GALs: the PAL-type tables, the
// remap between the user's fuse map (fuse 0 on, in the emulated PAL type's
// JEDEC numbering) and the device image (fuse 10000 on, in the GAL's own
// numbering), and the choice the option dialog makes.
#pragma once
#include <cstdint>

constexpr int PalEmulationTypes = 22; // per set; set 0 16V8 types, set 1 20V8 types
constexpr int PalEmulationRows = 2 * PalEmulationTypes;

// The chosen PAL type, 0 = the GAL itself. Written by the option dialog's OK
// and set back to 0 by every device selection.
extern int32_t PalEmulationIndex;

// Column-absent bits (bytes 0-4, MSB first), row-used bits (bytes 5-12, LSB
// first), byte 13 unused; row = set * 22 + index.
extern const uint8_t PalEmulationMasks[PalEmulationRows][14];
// Architecture bits (XOR 0-7, AC1 0-7, SYN, AC0): 0/1 forced, 2 copied; byte 18 unused.
extern const int8_t PalEmulationArchitecture[PalEmulationRows][19];

// Fuse bases of the device image beyond the array, per set.
struct GalFuseBaseEntry {
    uint32_t Xor, Ac1, SynAc0, ProductTermDisable, Ues;
};
extern const GalFuseBaseEntry GalFuseBases[2];

// The dialog's lists: name, JEDEC fuse count and row width of each type.
struct PalTypeGeometry {
    uint32_t Fuses;
    uint32_t RowWidth;
};
extern const char* const PalEmulationNames[2][PalEmulationTypes];
extern const PalTypeGeometry PalEmulationGeometry[2][PalEmulationTypes];

// Set 0 for a 20-pin package of the current device, else set 1.
int PalEmulationSet();

// Direction 1: user map -> device image; any other value: image -> user map.
void RemapFuseRows(int direction);

// The option dialog's OK: stores the index, takes the type's fuse count and
// row width as the device's, and brings the address range, the checksum and
// the buffer views up to date. An index outside the list changes nothing.
void ApplyPalEmulationChoice(int index, int use20V8List);

// Option dialog flags, set by the Options entries before the dialog is made.
extern uint8_t OptRalShowSleepMode;
extern int32_t OptRalUse20V8List;
// Shows the option dialog and returns its modal result; installed by the
// shell (nullptr: the entries do nothing).
using OptRalDialogFn = int (*)();
extern OptRalDialogFn ShowOptRalDialogHook;

// Options entries: Alg207Options (16V8 list), Alg243Options (16V8 list with
// the sleep-mode group), Alg208Options (20V8 list).
int Alg207Options();
int Alg243Options();
int Alg208Options();

// Start-up state of this area.
void ResetPalEmulationState();
