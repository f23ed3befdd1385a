// Helpers the PIC family files share: the buffer word view and the supply
// sequences every member's power-up and power-down begin and end with.
#pragma once
#include <cstdint>

// Buffer word `index` of the word view (bounded to the window).
uint16_t& PicWord(uint32_t index);
// Supply chosen by phase (1 program, otherwise the read VCC), ground on,
// 100 ms, every socket pin floating.
void PicSocketReady(int phase);
// Vpp off, then 100 us (vppOffMs 0) or vppOffMs, the supply and ground off.
void PicSupplyOff(uint32_t vppOffMs);
