// Electrically erasable PLDs programmed a byte at a time (a 10-bit word on
// the 22V10 type) through a 2-bit command bus with serial data and clock,
// which keep a program/erase cycle record in two rows of the chip. Every
// power-up reads the record; Read in mode 2 logs the counter and the limit;
// Erase adds one to the counter and writes the record back.
//
// Row 235: 16V8 type, row 236: 20V8 type with an identification letter
// (both on the PAL-emulation device image, fuse f at ShadowFuseBase + f);
// row 237: 22V10 type with an identification word, on the fuse map itself.
#pragma once
#include <cstdint>

// Module state: the record (rows 235/236: bytes 0-15, row 237: words 0-37),
// the counter and limit it holds, the byte (word) index last sent to the chip
// (-1 after every power-up) and the identification code read at power-up.
extern uint16_t InfoWords[38];
extern uint32_t CycleCounter;
extern uint32_t LimitCounter;
extern int32_t CachedByteIndex;
extern int32_t ChipIdCode;
