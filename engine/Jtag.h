// JTAG driver: an IEEE 1149.1 test access port bit-banged over four socket pins
// through the pin driver. Values go out least significant bit first; bytes in
// array order, each bit 0 first; data-buffer bits are the fuse-map bits.
// Every shift starts and ends in Run-Test/Idle (JtagReset followed by one step
// with TMS low brings the TAP there).
#pragma once
#include <cstdint>

struct JtagPinSet {
    int tms = 0;
    int tck = 0;
    int tdi = 0;
    int tdo = 0;
};

extern JtagPinSet JtagPins;
extern int JtagIrLength;
// Levels of TMS and TDI as last driven; not valid until the first step after JtagInit.
extern int JtagTmsLevel;
extern int JtagTdiLevel;
extern bool JtagFirstStep;

void JtagInit(int tmsPin, int tckPin, int tdiPin, int tdoPin, int instructionLength);
// One TCK cycle: TMS and TDI set (only when changed), then TCK high and low.
void JtagStep(int tms, int tdi);
// Five TCK cycles with TMS high: Test-Logic-Reset from any state.
void JtagReset();

void JtagShiftIr(uint64_t value, int bitCount);
void JtagLoadInstruction(uint64_t value);
// Bits beyond 63 are sent as 0; every bit of the count is clocked.
void JtagShiftDr(uint64_t value, int bitCount);
// Captures count bits; bits beyond the width of the destination are clocked and
// dropped.
void JtagReadDr(uint32_t* value, int bitCount);
void JtagReadDr(uint64_t* value, int bitCount);
void JtagShiftDrBytes(const uint8_t* bytes, int byteCount);
void JtagReadDrBytes(uint8_t* bytes, int byteCount);

void JtagShiftDrFromBuffer(uint32_t firstBit, int count);
void JtagShiftDrFromBufferReversed(uint32_t firstBit, int count);
void JtagCaptureDrToBuffer(uint32_t firstBit, int count);
void JtagCaptureDrToBufferReversed(uint32_t firstBit, int count);
// Loads an instruction and shifts buffer bits first + count - 1 down to first
// into the data register, going from Update-IR to Shift-DR directly.
void JtagInstructionThenShiftDrReversed(uint64_t instruction, uint32_t firstBit, int count);

// Back to the start-up state of this area.
void ResetJtagState();
