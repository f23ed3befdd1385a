// The one-time serial configuration PROMs whose RESET/OE polarity is a
// programmable bit (rows 30 and 34), on the clock-burst engine of their
// logic image.
#pragma once
#include <cstdint>

// The polarity bit as last read (0 active high, the shipped state; else
// active low), per row.
extern uint32_t ResetPolarityBit30;
extern uint32_t ResetPolarityBit34;

// The option dialog's writers: 1 when the bit reads set afterwards, else -1.
int ProgramResetPolarity30();
int ProgramResetPolarity34();

// The Options entries show the polarity dialog through this hook (no Qt in
// the algorithm files); nullptr: they do nothing.
using ShowConfigPromDialogFn = int (*)();
extern ShowConfigPromDialogFn ShowOptXc17xxxHook;

// Row 30's burst: n clocks through register 8, at most 200 per write.
int ClockBurst(uint32_t n);
