// What the device library must respect per memory row: the count of each
// per-row table indexed by a device's variant or sub-variant, and the least
// Page of the rows that take their pulse limit from it. The librarian
// refuses records past these.
#pragma once
#include <cstdint>

#include "memory/BootBlockFlash.h"
#include "memory/Eprom.h"
#include "memory/NandGeometry.h"
#include "memory/EpromCtrlBus.h"
#include "memory/SerialEeprom.h"
#include "memory/PinMapProm.h"
#include "memory/JtagMemory.h"
#include "memory/PulseFlash.h"
#include "memory/WordFlash.h"
#include "memory/BufferFlash.h"
#include "memory/PageLockFlash.h"

struct RowTableCount {
    uint32_t Row;
    bool SubVariant; // indexed by the sub-variant, else by the variant
    const char* Table;
    uint32_t Count;
};
inline constexpr RowTableCount kRowTableCounts[] = {
    {0, false, "EpromEraseVariantTable", EpromEraseVariantCount},
    {90, false, "EpromEraseVariantTable", EpromEraseVariantCount},
    {302, false, "Row302VariantTable", Row302VariantCount},
    {10, false, "MicrowireVariantTables", MicrowireVariantCount},
    {11, false, "the two-wire address forms", TwoWireFormCount},
    {14, false, "the two-wire address forms", TwoWireFormCount},
    {14, true, "the register-0 values", Row14SubVariantCount},
    {16, false, "the two-wire address forms", TwoWireFormCount},
    {71, false, "the start conditions", 2},
    {300, false, "PromPinMapTable", PromPinMapCount},
    {21, false, "BootBlockLayoutTable", BootBlockLayoutCount},
    {36, false, "BootBlockLayoutTable", BootBlockLayoutCount},
    {77, false, "the row-77 geometry table", 6},
    {83, false, "NandDeviceNames", 7},
    {86, false, "the row-86 geometry table", 6},
    {2, false, "the command sets", PulseFlashVariantCount},
    {7, false, "the command sets", PulseFlashVariantCount},
    {19, false, "the erase methods", WordPulseFlashVariantCount},
    {38, false, "BlockLayoutTable38", BlockLayout38Count},
    {26, false, "BlockLayoutTable26", BlockLayout26Count},
    {91, false, "the register-8 values", Row91VariantCount},
    {37, false, "the block sizes", BufferFlashBlockVariantCount},
    {39, false, "the block sizes", BufferFlashBlockVariantCount},
    {30, false, "the identification offsets", 4},
    {34, false, "the identification offsets", 3},
    {31, false, "the address forms", 2},
};
// Variants past a row's table that select an erase of their own.
struct RowSpecialVariant {
    uint32_t Row;
    uint32_t Variant;
};
inline constexpr RowSpecialVariant kRowSpecialVariants[] = {
    {21, kUniformBlocksVariant}, {21, kChipEraseVariant}, {36, kUniformBlocksVariant}, {36, kChipEraseVariant}};

// Rows 0, 66 and 301 give at most Page - 1 pulses, row 302 at most Page; the
// serial page rows write pages of Page bytes.
struct RowPageMinimum {
    uint32_t Row;
    uint32_t Least;
};
inline constexpr RowPageMinimum kRowPageMinimums[] = {{0, 2}, {66, 2}, {301, 2}, {302, 1}, {11, 1}, {14, 1}, {16, 1}, {81, 1}, {48, 1}, {45, 1}, {47, 1}, {13, 1}, {57, 1}, {44, 1}, {43, 1}, {37, 1}, {39, 1},
                                                      {30, 1}, {31, 1}, {54, 1}, {74, 1}};
// The serial page rows take a page from the buffer window, which holds a
// bank and 256 bytes more; row 43's page address has room for 1024 bytes;
// the write-buffer and page-write flash rows take at most 128 words.
struct RowPageMaximum {
    uint32_t Row;
    uint32_t Most;
};
inline constexpr RowPageMaximum kRowPageMaximums[] = {{11, 256}, {13, 256}, {14, 256}, {16, 256}, {44, 256},
                                                      {48, 256}, {57, 256}, {81, 256}, {43, 1024}, {37, 128}, {39, 128},
                                                      {30, 21}, {31, 256}, {54, 128}, {74, 128}};
