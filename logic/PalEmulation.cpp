#include "logic/PalEmulation.h"

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/RowDef.h"
#include "engine/RowHooks.h"
#include "engine/Services.h"
#include "engine/Tables.h"
#include "logic/FuseCells.h"

int32_t PalEmulationIndex = 0;
uint8_t OptRalShowSleepMode = 0;
int32_t OptRalUse20V8List = 0;
OptRalDialogFn ShowOptRalDialogHook = nullptr;

const uint8_t PalEmulationMasks[PalEmulationRows][14] = {
    {0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, // 0 16V8
    {0x03, 0x33, 0x33, 0x30, 0x00, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x00}, // 1 10H8
    {0x03, 0x33, 0x33, 0x30, 0x00, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x00}, // 2 10L8
    {0x03, 0x33, 0x33, 0x30, 0x00, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x00}, // 3 10P8
    {0x00, 0x33, 0x33, 0x00, 0x00, 0x00, 0x0F, 0x03, 0x03, 0x03, 0x03, 0x0F, 0x00, 0x00}, // 4 12H6
    {0x00, 0x33, 0x33, 0x00, 0x00, 0x00, 0x0F, 0x03, 0x03, 0x03, 0x03, 0x0F, 0x00, 0x00}, // 5 12L6
    {0x00, 0x33, 0x33, 0x00, 0x00, 0x00, 0x0F, 0x03, 0x03, 0x03, 0x03, 0x0F, 0x00, 0x00}, // 6 12P6
    {0x00, 0x03, 0x30, 0x00, 0x00, 0x00, 0x00, 0x0F, 0x0F, 0x0F, 0x0F, 0x00, 0x00, 0x00}, // 7 14H4
    {0x00, 0x03, 0x30, 0x00, 0x00, 0x00, 0x00, 0x0F, 0x0F, 0x0F, 0x0F, 0x00, 0x00, 0x00}, // 8 14L4
    {0x00, 0x03, 0x30, 0x00, 0x00, 0x00, 0x00, 0x0F, 0x0F, 0x0F, 0x0F, 0x00, 0x00, 0x00}, // 9 14P4
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}, // 10 16H2
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}, // 11 16L2
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}, // 12 16P2
    {0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, // 13 16H8
    {0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, // 14 16L8
    {0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, // 15 16P8
    {0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, // 16 16R4
    {0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, // 17 16R6
    {0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, // 18 16R8
    {0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, // 19 16RP4
    {0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, // 20 16RP6
    {0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, // 21 16RP8
    {0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, // 22 20V8
    {0x00, 0x33, 0x33, 0x33, 0x00, 0x0F, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x0F, 0x00}, // 23 14H8
    {0x00, 0x33, 0x33, 0x33, 0x00, 0x0F, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x0F, 0x00}, // 24 14L8
    {0x00, 0x33, 0x33, 0x33, 0x00, 0x0F, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x0F, 0x00}, // 25 14P8
    {0x00, 0x03, 0x33, 0x30, 0x00, 0x00, 0x0F, 0x0F, 0x03, 0x03, 0x0F, 0x0F, 0x00, 0x00}, // 26 16H6
    {0x00, 0x03, 0x33, 0x30, 0x00, 0x00, 0x0F, 0x0F, 0x03, 0x03, 0x0F, 0x0F, 0x00, 0x00}, // 27 16L6
    {0x00, 0x03, 0x33, 0x30, 0x00, 0x00, 0x0F, 0x0F, 0x03, 0x03, 0x0F, 0x0F, 0x00, 0x00}, // 28 16P6
    {0x00, 0x00, 0x33, 0x00, 0x00, 0x00, 0x00, 0x3F, 0x0F, 0x0F, 0x3F, 0x00, 0x00, 0x00}, // 29 18H4
    {0x00, 0x00, 0x33, 0x00, 0x00, 0x00, 0x00, 0x3F, 0x0F, 0x0F, 0x3F, 0x00, 0x00, 0x00}, // 30 18L4
    {0x00, 0x00, 0x33, 0x00, 0x00, 0x00, 0x00, 0x3F, 0x0F, 0x0F, 0x3F, 0x00, 0x00, 0x00}, // 31 18P4
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}, // 32 20H2
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}, // 33 20L2
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}, // 34 20P2
    {0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, // 35 20H8
    {0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, // 36 20L8
    {0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, // 37 20P8
    {0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, // 38 20R4
    {0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, // 39 20R6
    {0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, // 40 20R8
    {0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, // 41 20RP4
    {0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, // 42 20RP6
    {0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, // 43 20RP8
};

// 14P4, 16P2 and their 20V8-list kin number the copied polarity bits right
// after their array; 20P8 copies its polarity like 16P8 and the RP types.
const int8_t PalEmulationArchitecture[PalEmulationRows][19] = {
    {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 0}, // 16V8
    {1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0}, // 10H8
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0}, // 10L8
    {2, 2, 2, 2, 2, 2, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0}, // 10P8
    {1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0}, // 12H6
    {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0}, // 12L6
    {0, 2, 2, 2, 2, 2, 2, 0, 1, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0}, // 12P6
    {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 1, 1, 1, 0, 0}, // 14H4
    {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1, 1, 0, 0}, // 14L4
    {0, 0, 2, 2, 2, 2, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1, 1, 0, 0}, // 14P4
    {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 1, 1, 1, 1, 0, 0}, // 16H2
    {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 0, 0, 1, 1, 1, 1, 0, 0}, // 16L2
    {0, 0, 0, 2, 2, 0, 0, 0, 1, 1, 1, 0, 0, 1, 1, 1, 1, 0, 0}, // 16P2
    {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}, // 16H8
    {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}, // 16L8
    {2, 2, 2, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}, // 16P8
    {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1, 0, 1, 0}, // 16R4
    {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0}, // 16R6
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0}, // 16R8
    {2, 2, 2, 2, 2, 2, 2, 2, 1, 1, 0, 0, 0, 0, 1, 1, 0, 1, 0}, // 16RP4
    {2, 2, 2, 2, 2, 2, 2, 2, 1, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0}, // 16RP6
    {2, 2, 2, 2, 2, 2, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0}, // 16RP8
    {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 0}, // 20V8
    {1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0}, // 14H8
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0}, // 14L8
    {2, 2, 2, 2, 2, 2, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0}, // 14P8
    {1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0}, // 16H6
    {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0}, // 16L6
    {0, 2, 2, 2, 2, 2, 2, 0, 1, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0}, // 16P6
    {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 1, 1, 1, 0, 0}, // 18H4
    {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1, 1, 0, 0}, // 18L4
    {0, 0, 2, 2, 2, 2, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1, 1, 0, 0}, // 18P4
    {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 1, 1, 1, 1, 0, 0}, // 20H2
    {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 0, 0, 1, 1, 1, 1, 0, 0}, // 20L2
    {0, 0, 0, 2, 2, 0, 0, 0, 1, 1, 1, 0, 0, 1, 1, 1, 1, 0, 0}, // 20P2
    {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}, // 20H8
    {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}, // 20L8
    {2, 2, 2, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}, // 20P8
    {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1, 0, 1, 0}, // 20R4
    {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0}, // 20R6
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0}, // 20R8
    {2, 2, 2, 2, 2, 2, 2, 2, 1, 1, 0, 0, 0, 0, 1, 1, 0, 1, 0}, // 20RP4
    {2, 2, 2, 2, 2, 2, 2, 2, 1, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0}, // 20RP6
    {2, 2, 2, 2, 2, 2, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0}, // 20RP8
};

const GalFuseBaseEntry GalFuseBases[2] = {
    {2048, 2120, 2192, 2128, 2056},
    {2560, 2632, 2704, 2640, 2568},
};

const char* const PalEmulationNames[2][PalEmulationTypes] = {
    {"16V8", "10H8", "10L8", "10P8", "12H6", "12L6", "12P6", "14H4", "14L4", "14P4", "16H2", "16L2", "16P2", "16H8", "16L8", "16P8", "16R4", "16R6", "16R8", "16RP4", "16RP6", "16RP8"},
    {"20V8", "14H8", "14L8", "14P8", "16H6", "16L6", "16P6", "18H4", "18L4", "18P4", "20H2", "20L2", "20P2", "20H8", "20L8", "20P8", "20R4", "20R6", "20R8", "20RP4", "20RP6", "20RP8"},
};

// Fuse counts are what the masks describe: used product terms x present
// columns, plus one fuse per copied polarity bit.
const PalTypeGeometry PalEmulationGeometry[2][PalEmulationTypes] = {
    {{2194, 32}, {320, 20}, {320, 20}, {328, 20}, {384, 24}, {384, 24}, {390, 24}, {448, 28}, {448, 28}, {452, 28}, {512, 32}, {512, 32}, {514, 32}, {2048, 32}, {2048, 32}, {2056, 32}, {2048, 32}, {2048, 32}, {2048, 32}, {2056, 32}, {2056, 32}, {2056, 32}},
    {{2706, 40}, {560, 28}, {560, 28}, {568, 28}, {640, 32}, {640, 32}, {646, 32}, {720, 36}, {720, 36}, {724, 36}, {640, 40}, {640, 40}, {642, 40}, {2560, 40}, {2560, 40}, {2568, 40}, {2560, 40}, {2560, 40}, {2560, 40}, {2568, 40}, {2568, 40}, {2568, 40}},
};

namespace {

constexpr uint32_t kProductTerms = 64;
constexpr uint32_t kUesBits = 64;

bool ColumnAbsent(const uint8_t* mask, uint32_t column) { return (mask[column / 8] >> (7 - column % 8)) & 1; }
bool TermUsed(const uint8_t* mask, uint32_t term) { return (mask[5 + term / 8] >> (term % 8)) & 1; }

void CopyBit(int direction, uint32_t user, uint32_t image) {
    if (direction == 1) {
        SetBufferBit(image, GetBufferBit(user));
    } else {
        SetBufferBit(user, GetBufferBit(image));
    }
}

// Resets the emulation at every device selection: a new device's fuse count
// is its own, so an earlier PAL choice must not remap its map.
void ResetEmulationAtSelection() { PalEmulationIndex = 0; }

int ShowOptRal(uint8_t sleepMode, int32_t use20V8) {
    OptRalShowSleepMode = sleepMode;
    OptRalUse20V8List = use20V8;
    return ShowOptRalDialogHook != nullptr ? ShowOptRalDialogHook() : 0;
}

} // namespace

int PalEmulationSet() { return PackageRow(PackageIndex).PinCount == 20 ? 0 : 1; }

void RemapFuseRows(int direction) {
    const int set = PalEmulationSet();
    const uint32_t columns = set == 0 ? 32 : 40;
    const GalFuseBaseEntry& bases = GalFuseBases[set];
    const int index = PalEmulationIndex >= 0 && PalEmulationIndex < PalEmulationTypes ? PalEmulationIndex : 0;
    if (index == 0) {
        for (uint32_t x = 0; x < DeviceSize; ++x) CopyBit(direction, x, ShadowFuseBase + x);
        return;
    }
    const int row = set * PalEmulationTypes + index;
    const uint8_t* mask = PalEmulationMasks[row];
    uint32_t k = 0;
    for (uint32_t r = 0; r < kProductTerms; ++r) {
        for (uint32_t c = 0; c < columns; ++c) {
            const uint32_t image = ShadowFuseBase + r * columns + c;
            if (ColumnAbsent(mask, c)) {
                if (direction == 1) SetBufferBit(image, 1);
            } else if (TermUsed(mask, r)) {
                CopyBit(direction, k++, image);
            } else if (direction == 1) {
                SetBufferBit(image, 0);
            }
        }
    }
    // Architecture bits: forced ones go into the image; copied ones (the
    // output polarity of P types) follow the array in the user map, in
    // ascending order.
    const uint32_t groupBase[3] = {bases.Xor, bases.Ac1, bases.SynAc0};
    uint32_t copied = k;
    for (uint32_t b = 0; b < 18; ++b) {
        const int value = PalEmulationArchitecture[row][b];
        const uint32_t image = ShadowFuseBase + groupBase[b / 8] + b % 8;
        if (value == 2) {
            CopyBit(direction, copied++, image);
        } else if (direction == 1) {
            SetBufferBit(image, static_cast<uint32_t>(value));
        }
    }
    for (uint32_t r = 0; r < kProductTerms; ++r)
        SetBufferBit(ShadowFuseBase + bases.ProductTermDisable + r, TermUsed(mask, r) ? 1 : 0);
    for (uint32_t i = 0; i < kUesBits; ++i) CopyBit(direction, bases.Ues + i, ShadowFuseBase + bases.Ues + i);
}

void ApplyPalEmulationChoice(int index, int use20V8List) {
    if (index < 0 || index >= PalEmulationTypes) return;
    const PalTypeGeometry& g = PalEmulationGeometry[use20V8List != 0 ? 1 : 0][index];
    PalEmulationIndex = index;
    DeviceSize = g.Fuses;
    FuseRowLength = g.RowWidth;
    // The image's byte range, checksum and the fuse editor follow the new count.
    SetupAddressRange();
    ComputeBufferChecksum(BufferStart, BufferEnd);
    RefreshMainForm();
}

int Alg207Options() { return ShowOptRal(0, 0); }
int Alg243Options() { return ShowOptRal(1, 0); }
int Alg208Options() { return ShowOptRal(0, 1); }

namespace {

// No rows of its own: the emulation's reset at every device selection, first
// of the logic families'.
void PalEmulationAtInstall() { AddSelectionDefaultsHook(&ResetEmulationAtSelection); }

} // namespace

ROW_FAMILY("PalEmulation", Logic, 10, {}, PalEmulationAtInstall);

void ResetPalEmulationState() {
    PalEmulationIndex = 0;
    OptRalShowSleepMode = 0;
    OptRalUse20V8List = 0;
}
