// Pin driver of the universal logic image: each of the 48 socket pins driven
// low, high or left floating, and read back; pin groups carry multi-bit values
// over numbered lists of socket pins (bit 0 on the first pin of the list).
//
// Pin latches: register 2g holds the float bits of 8-pin block g (1 = floating),
// register 2g + 1 the drive levels; reading register g gives the pins' actual
// levels. Pins outside 1-48 are ignored by every routine here.
#pragma once
#include <cstdint>

constexpr int kPinGroupCount = 5;
constexpr int kPinGroupRowBytes = 50;    // up to 49 pins and the terminating 0
constexpr int kPinGroupMaxPins = kPinGroupRowBytes - 1;

// Rows of ZIF pin numbers, each ending with 0.
extern uint8_t PinGroupTable[kPinGroupCount][kPinGroupRowBytes];
// Shared by group writes (latch values before the change) and group reads
// (bytes 0-5 levels of registers 0-5, bytes 6-11 flags of the blocks read).
extern uint8_t PinSnapshot[12];

// level 0 low, 1 high, 2 float; any other value drives low.
void SetPin(int pin, int level);
// Level read back from the socket: 0 or 1 (0 for a pin outside 1-48).
int GetPin(int pin);
// polarity 3: high then low; any other value: low then high.
void PulsePin(int pin, int polarity);
// As PulsePin with the microsecond delay slot between the two edges.
void PulsePinTimed(int pin, int polarity, uint32_t microseconds);
void FloatPinRange(int firstPin, int lastPin);

// Stores the pins that follow `group`, up to the terminating 0, as that row.
// The label is not used. A group number outside 0-4 is ignored; at most 49 pins
// are read from the list.
void DefinePinGroup(const char* label, int group, ...);

// Group values are 64 bits wide, so every list (at most 49 pins) fits; bits
// beyond 63 of a position range are neither driven nor read.
void WritePinGroup(int group, int first, int last, uint64_t value);
uint64_t ReadPinGroup(int group, int first, int last);
void FloatPinGroup(int group, int first, int last);
void SetGroupPin(int group, int position, int level);
int GetGroupPin(int group, int position);
void SetGroupPinSupply(int group, int position, int state);
void WriteGroupSupplyPins(int group, int first, int last, uint64_t value);
void WriteGroupGroundPins(int group, int first, int last, uint64_t value);

// The pin at a group position; 0 for a group or position outside the table.
int GroupPin(int group, int position);

// Deferred latch writes: change only the shadow, then write each changed latch
// once, in register order.
void SetPinDeferred(int pin, int level);
void SnapshotPinLatches();
void FlushPinLatches();
// Reads the pin's 8-pin block into PinSnapshot unless this group read did already.
void ReadPinLevelsOnce(int pin);

// For a programmable-logic module: direction 1 sets buffer bit n + 10000 to
// value, or to buffer bit n when value is 2; any other direction with value 2
// copies bit n + 10000 back to bit n.
void CopyFuseShadowBit(int direction, int value, uint32_t n);

// Back to the start-up state of this area.
void ResetPinsState();
