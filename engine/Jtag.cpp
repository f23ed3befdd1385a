#include "engine/Jtag.h"

#include "engine/Buffer.h"
#include "engine/Pins.h"

JtagPinSet JtagPins;
int JtagIrLength = 0;
int JtagTmsLevel = 0;
int JtagTdiLevel = 0;
bool JtagFirstStep = true;

namespace {

// Entry from Run-Test/Idle to Shift-DR or Shift-IR.
void EnterShiftDr() {
    JtagStep(1, 0);
    JtagStep(0, 0);
    JtagStep(0, 0);
}

void EnterShiftIr() {
    JtagStep(1, 0);
    JtagStep(1, 0);
    JtagStep(0, 0);
    JtagStep(0, 0);
}

// From Exit1 through Update to Run-Test/Idle. With no bits shifted the same
// steps lead from the shift state to Exit1 and Pause.
void ExitShift() {
    JtagStep(1, 0);
    JtagStep(0, 0);
}

// Sends count bits given by bitAt(i), TMS high on the last.
template <class BitAt> void SendBits(int count, BitAt bitAt) {
    for (int i = 0; i < count; ++i) JtagStep(i == count - 1 ? 1 : 0, bitAt(i));
}

// Reads TDO before each step and hands bit i to store(i, level); TDI low.
template <class Store> void CaptureBits(int count, Store store) {
    for (int i = 0; i < count; ++i) {
        store(i, GetPin(JtagPins.tdo));
        JtagStep(i == count - 1 ? 1 : 0, 0);
    }
}

int ValueBit(uint64_t value, int i) { return i < 64 ? static_cast<int>((value >> i) & 1) : 0; }

} // namespace

void JtagInit(int tmsPin, int tckPin, int tdiPin, int tdoPin, int instructionLength) {
    JtagPins = {tmsPin, tckPin, tdiPin, tdoPin};
    JtagIrLength = instructionLength;
    SetPin(tmsPin, 0);
    SetPin(tckPin, 0);
    SetPin(tdiPin, 0);
    SetPin(tdoPin, 2);
    JtagFirstStep = true;
}

void JtagStep(int tms, int tdi) {
    tms = tms ? 1 : 0;
    tdi = tdi ? 1 : 0;
    if (JtagFirstStep) {
        SetPin(JtagPins.tms, tms);
        SetPin(JtagPins.tdi, tdi);
        JtagTmsLevel = tms;
        JtagTdiLevel = tdi;
        JtagFirstStep = false;
    } else {
        if (tms != JtagTmsLevel) {
            SetPin(JtagPins.tms, tms);
            JtagTmsLevel = tms;
        }
        if (tdi != JtagTdiLevel) {
            SetPin(JtagPins.tdi, tdi);
            JtagTdiLevel = tdi;
        }
    }
    PulsePin(JtagPins.tck, 3);
}

void JtagReset() {
    for (int i = 0; i < 5; ++i) JtagStep(1, 0);
}

void JtagShiftIr(uint64_t value, int bitCount) {
    EnterShiftIr();
    SendBits(bitCount, [&](int i) { return ValueBit(value, i); });
    ExitShift();
}

void JtagLoadInstruction(uint64_t value) { JtagShiftIr(value, JtagIrLength); }

void JtagShiftDr(uint64_t value, int bitCount) {
    EnterShiftDr();
    SendBits(bitCount, [&](int i) { return ValueBit(value, i); });
    ExitShift();
}

void JtagReadDr(uint64_t* value, int bitCount) {
    uint64_t v = 0;
    EnterShiftDr();
    CaptureBits(bitCount, [&](int i, int level) {
        if (i < 64 && level) v |= uint64_t{1} << i;
    });
    ExitShift();
    if (value) *value = v;
}

void JtagReadDr(uint32_t* value, int bitCount) {
    uint64_t v = 0;
    JtagReadDr(&v, bitCount);
    if (value) *value = static_cast<uint32_t>(v);
}

void JtagShiftDrBytes(const uint8_t* bytes, int byteCount) {
    EnterShiftDr();
    const int count = bytes ? byteCount * 8 : 0;
    SendBits(count, [&](int i) { return (bytes[i / 8] >> (i % 8)) & 1; });
    ExitShift();
}

void JtagReadDrBytes(uint8_t* bytes, int byteCount) {
    EnterShiftDr();
    if (bytes) {
        for (int b = 0; b < byteCount; ++b) bytes[b] = 0;
    }
    const int count = bytes ? byteCount * 8 : 0;
    CaptureBits(count, [&](int i, int level) {
        if (level) bytes[i / 8] = static_cast<uint8_t>(bytes[i / 8] | (1u << (i % 8)));
    });
    ExitShift();
}

void JtagShiftDrFromBuffer(uint32_t firstBit, int count) {
    EnterShiftDr();
    SendBits(count, [&](int i) { return GetBufferBit(firstBit + static_cast<uint32_t>(i)); });
    ExitShift();
}

void JtagShiftDrFromBufferReversed(uint32_t firstBit, int count) {
    EnterShiftDr();
    SendBits(count, [&](int i) { return GetBufferBit(firstBit + static_cast<uint32_t>(count - 1 - i)); });
    ExitShift();
}

void JtagCaptureDrToBuffer(uint32_t firstBit, int count) {
    EnterShiftDr();
    CaptureBits(count, [&](int i, int level) { SetBufferBit(firstBit + static_cast<uint32_t>(i), level); });
    ExitShift();
}

void JtagCaptureDrToBufferReversed(uint32_t firstBit, int count) {
    EnterShiftDr();
    CaptureBits(count, [&](int i, int level) {
        SetBufferBit(firstBit + static_cast<uint32_t>(count - 1 - i), level);
    });
    ExitShift();
}

void JtagInstructionThenShiftDrReversed(uint64_t instruction, uint32_t firstBit, int count) {
    EnterShiftIr();
    SendBits(JtagIrLength, [&](int i) { return ValueBit(instruction, i); });
    // Update-IR, Select-DR-Scan, Capture-DR, Shift-DR.
    JtagStep(1, 0);
    JtagStep(1, 0);
    JtagStep(0, 0);
    JtagStep(0, 0);
    SendBits(count, [&](int i) { return GetBufferBit(firstBit + static_cast<uint32_t>(count - 1 - i)); });
    ExitShift();
}

void ResetJtagState() {
    JtagPins = {};
    JtagIrLength = 0;
    JtagTmsLevel = 0;
    JtagTdiLevel = 0;
    JtagFirstStep = true;
}
