// The NAND flash rows: 77 (bad blocks found by a spare-area scan at every
// power-up and skipped) and 83 and 86 (a bad-block and block map kept in
// block 0 of the chip), on the NAND logic image: register 2 the latch lines
// and ready, 3 the chip enables (active low), 4 the read strobe mode, 5 the
// data path, 6 command, address and data bytes, 7 the wiring of the
// 256-byte-page parts.
#pragma once
#include <cstdint>

// The settings the option dialog keeps between operations (reset when a
// device is selected): the logical blocks of row 83 and the read modes
// (0 logical address, 1 physical address).
extern uint32_t ProgramBlockSize;
extern uint32_t NandReadMode83;
extern uint32_t NandReadMode86;

// Format names of row 83 by DeviceVariant (3-6; the others empty).
extern const char* const NandDeviceNames[7];

// The bad-block lists of the option dialog, written to the log.
void ShowBadBlocks83();
void ShowBadSectors86();

// Opens the option dialog of rows 83 and 86 (set by the dialog's unit).
using ShowOptNandDialogFn = int (*)();
extern ShowOptNandDialogFn ShowOptNandDialogHook;
