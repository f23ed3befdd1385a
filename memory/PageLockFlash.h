// Page-write command flash with per-block lock bits on the 16-bit command
// bus (PageLockFlash.cpp): row 74, and its block protection routines for the
// sector protection dialog.
#pragma once
#include <cstdint>

// states[i] of the block starting at starts[i] (units of 4096 words): 1
// locked, 0 not; 1.
int ReadBlockProtection74(uint32_t* states, uint32_t count, const uint32_t* starts);
// Locks every block whose state is not 0; 1 when the chip then holds exactly
// the states asked for, -1 when a lock did not finish or a block marked 0
// is locked (the part has no command that opens a lock).
int WriteBlockProtection74(const uint32_t* states, uint32_t count, const uint32_t* starts);

// Row 74's erase exists for adapter 'd' (the chip erase) and for adapter
// 'i' with a block start table (variants 45 and 46).
constexpr bool Row74EraseServed(uint32_t adapter, uint32_t variant) {
    return adapter == 'd' || (adapter == 'i' && (variant == 45 || variant == 46));
}
