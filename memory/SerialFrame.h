// What the serial memory modules share: power-up and power-down driven by the
// row's table line, the two shift engines of the serial logic images (byte
// engine: registers 3-7; word engine: registers 6-9), the two-wire start and
// stop conditions, the read walk and the page loop.
//
// The engine waits are bounded: a programmer that stops answering in the
// middle of a shift ends the entry with -1 and marks the link lost, so the
// operation reports "Can not be executed with Communication Error!".
#pragma once
#include <algorithm>
#include <cstdint>

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Services.h"

// A serial row's line of the row table and the family's steps around the
// frame's own (each may be nullptr).
struct SerialRow {
    int VccRangeMode = 1;            // SetVccRange mode
    uint32_t ProgressStep = 16;      // 0 leaves ProgressStep unchanged
    bool ResetAtPowerDown = false;   // ResetProgrammerOutputs after the supply
    bool KeepGround = false;         // power-down leaves the ground switches closed
    void (*Settings)() = nullptr;    // copies, pin numbers (before the supply range)
    void (*IdleLines)() = nullptr;   // the lines before the supply goes on
    void (*AfterSupply)() = nullptr; // settling wait and post-power steps
    void (*ParkLines)() = nullptr;   // the lines before the supply goes off
};

void SerialPowerOn(const SerialRow& row, int mode);
void SerialPowerOff(const SerialRow& row);

// What a walk's step gives when a ready wait timed out: the entry ends with
// -1 at once and leaves the socket on for the operation driver's reset.
constexpr int kSerialNotReady = -2;
// How an entry ends after its walk gave r: powered down with r, -1 when an
// engine wait gave up, or -1 without the power-down after kSerialNotReady.
int SerialEndEntry(const SerialRow& row, int r);

// What a part did instead of answering for the cell a step failed on.
constexpr const char* kSerialNotReadyText = "not ready";
constexpr const char* kSerialPageNotReadyText = "page not ready";
constexpr const char* kSerialWordNotReadyText = "word not ready";
constexpr const char* kSerialNoAcknowledgeText = "no acknowledge";
// A step the part did not answer (`why`): the fail lines name the cell at
// BufferIndex with the buffer's datum there and no chip datum. Gives r.
int SerialNoAnswer(const char* why, int r);

// A register write read back: 1 when `read` holds what was `written` in the
// bits `compared` (those the write sets and the part keeps), else both values
// logged as " <name> : %02x written, %02x read" and -1.
int SerialRegisterReadBack(const char* name, uint32_t written, uint32_t read, uint32_t compared);

// Byte engine. The waits give 1, or -1 when the engine never went idle.
int SerialEngineWaitIdle();
int SerialEngineShift(uint32_t cycles);
int SerialEngineSendByte(uint32_t value);
int SerialEngineReceiveByte();
void SerialBusStart();
void SerialBusStop();
// Word engine: WordEngineShift sends the n low bits of value, MSB first;
// WordEngineSend sends the top n bits of the 16-bit value as written.
int WordEngineWaitIdle();
// Command engine: busy is bit 1 of register 5.
int CommandEngineWaitIdle();
int WordEngineSend(uint32_t value16, uint32_t n);
int WordEngineShift(uint32_t value, uint32_t n);

// True once an engine wait gave up in this entry (cleared at power-up, or by
// SerialEngineArm for rows with a power-up of their own).
bool SerialEngineLost();
void SerialEngineArm();

// Pin-driver shifts, most significant bit first: each bit set on `data`,
// then a PulsePin of `clock` with `pulse`; reading, each bit is taken from
// `data` before its pulse.
void PinShiftOutMsbFirst(int data, int clock, int pulse, uint32_t value, int n);
uint32_t PinShiftInMsbFirst(int data, int clock, int pulse, int n);

// The SPI pinout on the pin driver (/CS 21, SO 22, /WP 23, SI 25, SCK 26):
// the lines before the supply (all pins floated, /WP and /CS high, SCK and
// SI low), and bytes sent and received with SCK pulsed high then low; the
// chip takes SI on the rising edge and has its bit out before each clock.
namespace spi_pins {
constexpr int kCs = 21, kSo = 22, kWp = 23, kSi = 25, kClk = 26;
void IdleLines();
void Send(uint32_t b);
uint32_t Receive();
} // namespace spi_pins

// Page sizes the page loops take: 1..256 (the buffer window holds a bank and
// 256 bytes more).
bool SerialPageSizeValid(uint32_t page);

// The read walk: per address of DeviceStart..DeviceEnd, StepProgress, then
// datum() (1 goes on; any other result ends the walk with it). -1 when an
// engine wait failed.
template <class Datum> int SerialReadWalk(Datum&& datum) {
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        int r = StepProgress(ChipAddress);
        if (r == 1) r = datum();
        if (r == 1 && SerialEngineLost()) r = -1;
        if (r != 1) return r;
    }
    return 1;
}

// The piece loop: ChipAddress from DeviceStart to DeviceEnd in pieces that
// never cross a page boundary of the chip and never pass DeviceEnd;
// StepProgress, then piece(n) for the n bytes from ChipAddress (1 goes on).
template <class Piece> int SerialPieceLoop(uint32_t pageSize, Piece&& piece) {
    for (uint64_t a = DeviceStart; a <= DeviceEnd;) {
        ChipAddress = static_cast<uint32_t>(a);
        int r = StepProgress(ChipAddress);
        const uint32_t n = static_cast<uint32_t>(
            std::min<uint64_t>(pageSize - a % pageSize, uint64_t{DeviceEnd} - a + 1));
        if (r == 1) r = piece(n);
        if (r == 1 && SerialEngineLost()) r = -1;
        if (r != 1) return r;
        a += n;
    }
    return 1;
}

// The page's bytes from the buffer window through a row's send.
void SendPage(uint32_t n, void (*send)(uint32_t));

// The two-wire page write of the engine rows with a fixed wait: start, the
// address bytes, the page, stop, PulseWidth.
int EnginePageWrites(uint32_t page, void (*address)(uint32_t), void (*send)(uint32_t));

// The page loop: the piece loop writing; page(n) writes the buffer bytes
// BufferIndex + i, i < n (through the image, across banks), at ChipAddress
// (1 goes on), then BufferIndex moves on by n and, with advanceBank, to the
// next bank at its end.
template <class Page> int SerialPageLoop(uint32_t pageSize, Page&& page, bool advanceBank = false) {
    return SerialPieceLoop(pageSize, [&](uint32_t n) {
        int r = page(n);
        if (r != 1) return r;
        BufferIndex += n;
        if (advanceBank && BufferIndex >= 0x10000) r = AdvanceToNextBank();
        return r;
    });
}
