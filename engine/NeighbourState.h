// Program-wide state that the engine keeps for the device families: the
// security settings of the 8051-type microcontrollers, the identity-check
// bypass of the microcontroller option dialogs, the per-fuse progress switch
// of the logic modules, the socket pin layout the modules fill, and the
// offset some power-ups add to their supply ramp.
#pragma once
#include <cstdint>

// Encryption table of the 8051-type parts: 128 bytes, all FFh at start-up.
// EncryptionTableSize is the Page parameter of the selected device, kept
// within the table (at most 128).
constexpr uint32_t EncryptionTableCapacity = 128;
extern uint8_t EncryptionTable[EncryptionTableCapacity];
extern uint32_t EncryptionTableSize;
// 0 at start; not 0: reads are decoded through the table.
extern uint32_t EncryptionEnable;
// 0, 1 or 2; 1 at start.
extern uint32_t SecurityMode;

// Cleared by the engine at the start of every run and before each Options
// call; microcontroller option dialogs set it to skip the identity check.
extern uint32_t SkipIdCheck;

// 1: the logic modules' fuse check polls progress and user break for every
// fuse (set by the operation preparation for the PLD section).
extern uint32_t FuseProgressCheck;

// Socket pin numbers that device modules fill with their pin layout.
constexpr uint32_t SocketPinMapSize = 43;
extern uint32_t SocketPinMap[SocketPinMapSize];

// Added by some power-ups to the DAC channel 4 values of their supply ramp;
// -11, written by nothing.
extern int32_t SupplyRampOffset;

// Sets EncryptionTableSize from a Page value, bounded by the table.
void SetEncryptionTableSize(uint32_t pageSize);

// The encryption array of the selected part: its record's Page when that is
// a table size (16, 32, 64 or 128), else 0 (the part has none).
uint32_t EncryptionArraySize();
// The entries an encryption writer programs: the table size, never past the
// part's array; the entries after them stay erased.
uint32_t EncryptionEntriesWritten();
// Entry i of the part's array after the writer ran: the table's entry below
// the entries written, erased (FFh, which gives a code byte unchanged) past
// them.
uint8_t EncryptionArrayEntry(uint32_t i);

// Back to the start-up state of this area.
void ResetNeighbourState();
