// Rows 8 and 9: 8 KB EEPROMs on a multiplexed address/data bus, written page
// by page behind the software data protection prefix, the end of each write
// found by toggle polling on bit 6 (or a timed wait) and a read-back of the
// page; and the block protect write their option dialog calls.
#pragma once
#include <cstdint>

// Flag n set: protect the 1 KB block n. Kept for the program's run.
extern uint32_t BlockProtectFlags[8];
// The block protect byte from the flags.
uint8_t BlockProtectMask();

// Writes BlockProtectMask() into the chip's block protect register.
void WriteBlockProtection8();
void WriteBlockProtection9();

// The option dialog the rows' Options entries open (set by the UI).
using ShowBlockProtectDialogFn = void (*)();
extern ShowBlockProtectDialogFn ShowOptXx8C64DialogHook;

// The page length the page-write rows take from PageSize: a power of two
// from 1 to 256, with DeviceStart on a page boundary; otherwise logs why and
// returns false.
bool PageLengthUsable(uint32_t page);
