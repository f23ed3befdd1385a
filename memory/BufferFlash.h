// Write-buffer command flash on the 16-bit command bus (BufferFlash.cpp):
// rows 37 and 39.
#pragma once
#include <cstdint>

// Block erase: variant 0 blocks of 65536 words, 1 of 32768.
constexpr uint32_t BufferFlashBlockVariantCount = 2;

// Registers 0-2 = the chip start (register 2 ORed with flag).
void LatchChipStart(uint32_t flag = 0);

// The buffer (or page) length Page of the buffered rows fits the buffer
// window and divides the chip start: a power of two up to 128; else a line
// and false.
bool BufferLengthServed();

// The program walk of those rows: from the chip start in steps of Page
// words, the upper latches at their boundaries, write(words) for each buffer
// (the last one ending at the chip end), the buffer index and bank moved on.
int WalkBuffers(int (*write)(uint32_t words));
