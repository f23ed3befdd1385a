// Helpers the PIC family files share: the buffer word view, the supply
// sequences every member's power-up and power-down begin and end with, and
// the data memory's size.
#pragma once
#include <cstdint>

// Buffer word `index` words past the current bank's start, through the
// whole image (a run's words go on across banks).
uint16_t& PicWord(uint32_t index);
// Word `index` at its fixed place in the buffer, whatever bank a run shows:
// the configuration, ID, calibration and data words sit where the PIC
// toolchains' files put them, in bank 0 (row 113's configuration in bank 1),
// wherever Buffer Start puts the program words.
uint16_t& PicFixedWord(uint32_t index);
// Supply chosen by phase (1 program, otherwise the read VCC), ground on,
// 100 ms, every socket pin floating.
void PicSocketReady(int phase);
// Vpp off, then 100 us (vppOffMs 0) or vppOffMs, the supply and ground off.
void PicSupplyOff(uint32_t vppOffMs);
// Bytes of the selected device's data memory (0: none), one to a buffer
// word from word 2100h: 64 on row 112; on row 121 128 for a part of 4K
// program words and 256 for one of 8K (0 for another size, which the row
// refuses).
uint32_t PicDataBytes();
