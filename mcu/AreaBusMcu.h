// Microcontrollers with a code array and small areas of option cells, driven
// through the registers of their logic image and two high-voltage pins on
// supply A (rows 150 and 151). Each area is selected by an area command; the
// option cells hold 2 to 4 bits, the others of a byte are written as 1. The
// rows sum the buffer with their own checksum (only the bits that are cells).
#pragma once
#include <cstdint>

// Row 150: the signature byte read in the last run (0 before the first); F9h
// and F3h select the verified option-row procedure.
extern uint32_t Signature150;

void ResetOptionAreaState();
